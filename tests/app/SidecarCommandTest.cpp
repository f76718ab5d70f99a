// Sidecars as the commands meet them: made only for a file that cannot hold a packet and
// announced, read when named themselves, one document with their file, and removed once the
// file holds the packet.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace fs = std::filesystem;
using testsupport::Quote;
using nlohmann::json;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

class SidecarCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(Run("library import " + Quote(SamplesLibrary() / "Production_ID.xml")), 0) << fErr;
    }
    int Run(const std::string& args) {
        fOut.clear();
        fErr.clear();
        return RunBrindle("--home " + Quote(fHome.path()) + " --user ci " + args, &fOut, &fErr);
    }
    TempDir fDir, fHome;
    std::string fOut, fErr;
};

TEST_F(SidecarCommandTest, ASidecarIsAnnouncedReadByNameAndOneDocumentWithItsFile) {
    const fs::path notes = fDir / "notes.txt";
    const fs::path side = fDir / "notes.txt.xmp";
    WriteFile(notes, "plain text cannot hold a packet\n");
    ASSERT_EQ(Run("apply " + Quote(notes) + " Production"), 0) << fErr;
    EXPECT_NE(fErr.find("sidecar " + side.string()), std::string::npos)
        << "the new sidecar is announced: " << fErr;
    ASSERT_TRUE(fs::exists(side));

    struct Case {
        const char* what;
        std::string args;
        size_t documents;
    };
    const std::vector<Case> cases = {
        {"the sidecar by its own name", "packages --json " + Quote(side), 1},
        {"file and sidecar", "packages --json " + Quote(notes) + " " + Quote(side), 1},
        {"check of file and sidecar", "check --json " + Quote(side) + " " + Quote(notes), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const int code = Run(c.args);
        EXPECT_TRUE(code == 0 || code == 3) << fErr;
        const json j = json::parse(fOut, nullptr, false);
        ASSERT_TRUE(j.is_object()) << fOut;
        ASSERT_EQ(j["documents"].size(), c.documents);
        if (j["documents"][0].contains("packages") && j["documents"][0]["packages"].is_array()) {
            ASSERT_EQ(j["documents"][0]["packages"].size(), 1u);
            EXPECT_EQ(j["documents"][0]["packages"][0]["name"], "Production");
        }
    }
}

// Where the packages go is judged by the file's content: a JPEG under any name holds them; a
// file named as a photo that is none, or an empty one, is an error and gets no sidecar.
TEST_F(SidecarCommandTest, ContentDecidesAndBrokenPhotosGetNoSidecar) {
    const std::string jpeg =
        testsupport::ReadFile(fs::path(BRINDLE_TEST_DATA) / "xmp-files" / "BlueSquare.jpg");
    struct Case {
        const char* name;
        std::string bytes;
        bool written;
    };
    const std::vector<Case> cases = {
        {"picture.data", jpeg, true},
        {"empty.jpg", "", false},
        {"not-a-photo.jpg", "just some text\n", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = fDir / c.name;
        WriteFile(file, c.bytes);
        const int code = Run("apply " + Quote(file) + " Production");
        EXPECT_EQ(code == 0, c.written) << fErr;
        EXPECT_FALSE(fs::exists(file.string() + ".xmp"));
        EXPECT_EQ(fErr.find("sidecar"), std::string::npos) << fErr;
        if (!c.written) {
            EXPECT_EQ(testsupport::ReadFile(file), c.bytes);
        }
        if (c.written) {
            ASSERT_EQ(Run("packages --json " + Quote(file)), 0) << fErr;
            EXPECT_EQ(json::parse(fOut)["documents"][0]["packages"].size(), 1u);
        }
    }
}

// A photo with a sidecar of ours beside it (as an older version wrote for a file it could
// not read): the next save keeps the packages in the photo and removes the sidecar, saying so.
TEST_F(SidecarCommandTest, TheFileWinsOverASidecarOfOurs) {
    const fs::path notes = fDir / "notes.txt";
    WriteFile(notes, "text\n");
    ASSERT_EQ(Run("apply " + Quote(notes) + " Production"), 0) << fErr;
    const fs::path photo = fDir / "photo.jpg";
    fs::copy_file(fs::path(BRINDLE_TEST_DATA) / "xmp-files" / "BlueSquare.jpg", photo);
    fs::permissions(photo, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
    const fs::path side = fDir / "photo.jpg.xmp";
    fs::copy_file(fDir / "notes.txt.xmp", side);
    // Someone else's sidecar, holding a schema of its own, stays.
    const fs::path other = fDir / "other.jpg";
    fs::copy_file(photo, other);
    const fs::path otherSide = fDir / "other.jpg.xmp";
    WriteFile(
        otherSide,
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
        "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
        "xmlns:darktable=\"http://darktable.sf.net/\" darktable:xmp_version=\"5\"/></rdf:RDF></x:xmpmeta>");

    ASSERT_EQ(Run("apply " + Quote(photo) + " Production"), 0) << fErr;
    EXPECT_FALSE(fs::exists(side));
    EXPECT_NE(fErr.find("removed the sidecar " + side.string()), std::string::npos) << fErr;
    ASSERT_EQ(Run("apply " + Quote(other) + " Production"), 0) << fErr;
    EXPECT_TRUE(fs::exists(otherSide));
    EXPECT_EQ(fErr.find("sidecar"), std::string::npos) << fErr;

    ASSERT_EQ(Run("packages --json " + Quote(photo)), 0) << fErr;
    const json j = json::parse(fOut);
    ASSERT_EQ(j["documents"][0]["packages"].size(), 1u);
    EXPECT_EQ(j["documents"][0]["packages"][0]["name"], "Production");
}

} // namespace
