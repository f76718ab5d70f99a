// `brindle xml` and `brindle dump-xmp` over many documents: each document's text as that
// document alone prints it, after a line "==> FILE <==" (or in an object with --json and
// --jsonl), in argument order; a document that cannot be read is named on standard error and
// makes the exit code 2 without stopping the others.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::Quote;
using testsupport::RunBrindle;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

const fs::path kDocuments = fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents";

struct Outcome {
    int code = -1;
    std::string out, err;
};

class DocumentTextCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : {"Editorial-BlueSquare.jpg", "Editorial-BlueSquare.png", "Plain-BlueSquare.jpg"})
            fs::copy_file(kDocuments / name, fDir / "docs" / name, fs::copy_options::none),
                fs::permissions(fDir / "docs" / name, fs::perms::owner_read | fs::perms::owner_write);
    }
    Outcome Run(const std::string& args) {
        Outcome r;
        r.code = RunBrindle("--home " + Quote(fHome.path().string()) + " " + args, &r.out, &r.err);
        return r;
    }
    fs::path Doc(const char* name) const { return fDir / "docs" / name; }

    struct Dir : TempDir {
        Dir() { fs::create_directory(path() / "docs"); }
    } fDir;
    TempDir fHome;
};

TEST_F(DocumentTextCommandTest, SeveralDocumentsEachAfterItsOwnHeader) {
    const std::vector<fs::path> docs = {Doc("Editorial-BlueSquare.jpg"), Doc("missing.jpg"),
                                        Doc("Plain-BlueSquare.jpg"), Doc("Editorial-BlueSquare.png")};
    struct Case {
        const char* command;
        const char* key;
        const char* marker; // in every readable document's text
        const char* options;
    };
    const std::vector<Case> cases = {
        {"xml", "xml", "<brindle", "-j 1"},
        {"xml", "xml", "<brindle", "-j 2"},
        {"dump-xmp", "xmp", "<x:xmpmeta", "-j 1"},
        {"dump-xmp", "xmp", "<x:xmpmeta", "-j 2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.command) + " " + c.options);
        // What each document prints alone.
        std::vector<Outcome> alone;
        for (const fs::path& d : docs)
            alone.push_back(Run(std::string(c.command) + " " + Quote(d.string())));
        ASSERT_EQ(alone[0].code, 0) << alone[0].err;
        EXPECT_EQ(alone[1].code, 2) << "missing.jpg is not there";
        EXPECT_EQ(alone[0].out.rfind("==>", 0), std::string::npos) << "one document prints its text alone";
        EXPECT_NE(alone[0].out.find(c.marker), std::string::npos) << alone[0].out;

        std::string args = std::string(c.command) + " " + c.options;
        for (const fs::path& d : docs)
            args += " " + Quote(d.string());

        const Outcome text = Run(args);
        EXPECT_EQ(text.code, 2) << text.err;
        std::string expected;
        for (size_t i = 0; i < docs.size(); ++i) {
            if (alone[i].code != 0) continue;
            std::string body = alone[i].out;
            if (body.empty() || body.back() != '\n') body += '\n';
            expected += "==> " + docs[i].string() + " <==\n" + body;
        }
        EXPECT_EQ(text.out, expected);
        EXPECT_NE(text.err.find("brindle: error: " + Doc("missing.jpg").string()), std::string::npos) << text.err;

        const Outcome lines = Run(args + " --jsonl");
        EXPECT_EQ(lines.code, 2) << lines.err;
        std::vector<json> objects;
        size_t from = 0;
        for (size_t nl; (nl = lines.out.find('\n', from)) != std::string::npos; from = nl + 1)
            objects.push_back(json::parse(lines.out.substr(from, nl - from), nullptr, false));
        ASSERT_EQ(objects.size(), docs.size() + 1) << lines.out;
        for (size_t i = 0; i < docs.size(); ++i) {
            SCOPED_TRACE(docs[i].filename().string());
            EXPECT_EQ(objects[i]["file"], docs[i].string());
            if (alone[i].code == 0)
                EXPECT_EQ(objects[i][c.key], alone[i].out);
            else
                EXPECT_TRUE(objects[i].contains("error")) << objects[i].dump();
        }
        EXPECT_EQ(objects.back()["summary"]["failed"], 1);

        const Outcome list = Run(args + " --json");
        const json j = json::parse(list.out, nullptr, false);
        ASSERT_TRUE(j.is_object()) << list.out;
        ASSERT_EQ(j["documents"].size(), docs.size());
        EXPECT_EQ(j["documents"][0][c.key], alone[0].out);
        EXPECT_EQ(j["documents"][1]["file"], docs[1].string());
        EXPECT_TRUE(j["documents"][1].contains("error")) << j["documents"][1].dump();
    }
}

TEST_F(DocumentTextCommandTest, FoldersAndListsAsTheOtherCommandsTakeThem) {
    WriteFile(fDir / "list.txt", Doc("Plain-BlueSquare.jpg").string() + "\n");
    WriteFile(fDir / "two.txt", Doc("missing.jpg").string() + "\n" + Doc("Plain-BlueSquare.jpg").string() + "\n");
    struct Case {
        std::string args;
        std::vector<std::string> headers;
        int code;
    };
    const std::vector<Case> cases = {
        // A folder walked in name order, filtered by extension.
        {"-r --ext png " + Quote((fDir / "docs").string()), {Doc("Editorial-BlueSquare.png").string()}, 0},
        {"-r --ext jpg " + Quote((fDir / "docs").string()),
         {Doc("Editorial-BlueSquare.jpg").string(), Doc("Plain-BlueSquare.jpg").string()},
         0},
        // A list of one still names its document: the run may have named many.
        {"--files-from " + Quote((fDir / "list.txt").string()), {Doc("Plain-BlueSquare.jpg").string()}, 0},
        // A name in the list that is not there fails alone.
        {"--files-from " + Quote((fDir / "two.txt").string()), {Doc("Plain-BlueSquare.jpg").string()}, 2},
    };
    for (const char* command : {"xml", "dump-xmp"}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(command) + " " + c.args);
            const Outcome r = Run(std::string(command) + " -q " + c.args);
            EXPECT_EQ(r.code, c.code) << r.err;
            std::vector<std::string> headers;
            size_t from = 0;
            for (size_t nl; (nl = r.out.find('\n', from)) != std::string::npos; from = nl + 1) {
                const std::string line = r.out.substr(from, nl - from);
                if (line.rfind("==> ", 0) == 0) headers.push_back(line.substr(4, line.size() - 8));
            }
            EXPECT_EQ(headers, c.headers) << r.out;
        }
        const Outcome none = Run(std::string(command));
        EXPECT_EQ(none.code, 1) << "no documents named";
    }
}

} // namespace
