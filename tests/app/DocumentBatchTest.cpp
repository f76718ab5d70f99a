// `brindle packages` with several files reads them ahead on worker threads, without opening
// documents in the host; with one file it opens the document. Both must print the same.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using nlohmann::json;
using testsupport::ReadFile;
using testsupport::RunBrindle;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const fs::path kDocuments = fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents";

bool HaveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

struct Outcome {
    int code = -1;
    std::string out, err;
};

class DocumentBatchTest : public ::testing::Test {
protected:
    Outcome Packages(const std::vector<fs::path>& files, bool asJSON) {
        std::string args = "--home " + Quote(fHome.path().string()) + " packages" + (asJSON ? " --json" : "");
        for (const fs::path& f : files)
            args += " " + Quote(f.string());
        Outcome r;
        r.code = RunBrindle(args, &r.out, &r.err);
        return r;
    }
    fs::path Copy(const char* name, const std::string& as = {}) {
        const fs::path to = fDir / (as.empty() ? name : as);
        fs::copy_file(kDocuments / name, to);
        fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
        return to;
    }

    TempDir fDir, fHome;
};

TEST_F(DocumentBatchTest, SeveralFilesPrintWhatEachPrintsAlone) {
    std::vector<fs::path> files = {Copy("Editorial-BlueSquare.jpg"), Copy("Editorial-BlueSquare.png"),
                                   Copy("Editorial-BlueSquare.pdf"), Copy("Plain-BlueSquare.jpg")};
    Copy("Editorial-BlueSquare.pdf.xmp");
    // The same packages under the older namespace, which the host writes back when it reads.
    std::string legacy = ReadFile(kDocuments / "Editorial-BlueSquare.pdf.xmp");
    const std::string current = "https://ns.corvane.com/xmp/indesign/brindle/2.0/";
    ASSERT_NE(legacy.find(current), std::string::npos);
    legacy.replace(legacy.find(current), current.size(), "http://www.corvane.dk/xmp/indesign/brindle/1.0/");
    WriteFile(fDir / "legacy.txt", "notes\n");
    WriteFile(fDir / "legacy.txt.xmp", legacy);
    files.push_back(fDir / "legacy.txt");
    // A JPEG with no packet at all, one whose packet does not parse, one that is missing.
    std::string jpeg = ReadFile(kDocuments / "Plain-BlueSquare.jpg");
    const std::string signature("http://ns.adobe.com/xap/1.0/\0", 29);
    const size_t xmp = jpeg.find(signature);
    ASSERT_NE(xmp, std::string::npos);
    const size_t start = xmp - 4, length = (static_cast<unsigned char>(jpeg[start + 2]) << 8) |
                                           static_cast<unsigned char>(jpeg[start + 3]);
    std::string none = jpeg, broken = jpeg;
    none.erase(start, 2 + length);
    broken.replace(xmp + signature.size(), length - 2 - signature.size(),
                   std::string("<not a packet").append(length - 2 - signature.size() - 13, ' '));
    WriteFile(fDir / "none.jpg", none);
    WriteFile(fDir / "broken.jpg", broken);
    files.push_back(fDir / "none.jpg");
    files.push_back(fDir / "broken.jpg");
    files.push_back(fDir / "missing.jpg");
    // The packet as exiftool rewrites it.
    if (HaveExiftool()) {
        const fs::path by = Copy("Editorial-BlueSquare.jpg", "exiftool.jpg");
        ASSERT_EQ(std::system(("exiftool -q -overwrite_original -XMP-dc:Title=changed " + Quote(by.string()) +
                               " >/dev/null 2>&1")
                                  .c_str()),
                  0);
        files.push_back(by);
    }
    files.push_back(files[0]); // a file named twice is read twice

    for (bool asJSON : {true, false}) {
        SCOPED_TRACE(asJSON ? "json" : "text");
        const Outcome batch = Packages(files, asJSON);
        std::string out, err;
        bool failed = false;
        json documents = json::array();
        for (const fs::path& f : files) {
            SCOPED_TRACE(f.filename().string());
            const Outcome one = Packages({f}, asJSON);
            failed = failed || one.code != 0;
            err += one.err;
            if (!asJSON) {
                out += one.out;
                continue;
            }
            const json j = json::parse(one.out, nullptr, false);
            ASSERT_TRUE(j.is_object()) << one.out;
            ASSERT_EQ(j["documents"].size(), 1u);
            documents.push_back(j["documents"][0]);
        }
        EXPECT_EQ(batch.code, failed ? 2 : 0);
        // The run ends with its summary line.
        EXPECT_EQ(batch.err, err + "10 documents read, 2 unreadable\n");
        if (asJSON) {
            const json j = json::parse(batch.out, nullptr, false);
            ASSERT_TRUE(j.is_object()) << batch.out;
            EXPECT_EQ(j["documents"], documents);
            // Laid out as the single file's JSON is laid out, character for character.
            EXPECT_EQ(batch.out, j.dump(2) + "\n");
            EXPECT_EQ(j["documents"][0]["packages"].size(), 1u) << "the sample's package was read";
        } else {
            EXPECT_EQ(batch.out, out);
        }
    }
    EXPECT_EQ(ReadFile(fDir / "legacy.txt.xmp"), legacy) << "printing changes no file";
}

} // namespace
