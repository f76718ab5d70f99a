// The command at scale: folders, file lists, many files per write, JSON Lines, summaries,
// exit codes folded over many files; and the conventions of the command line.
#include "AppContext.h"
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::Quote;
using testsupport::RunBrindle;
using testsupport::TempDir;

namespace {

struct Result {
    int code = -1;
    std::string out, err;
};

const fs::path kDocuments = fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents";

std::vector<json> Lines(const std::string& out) {
    std::vector<json> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        json j = json::parse(line, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << "not one JSON object a line: " << line;
        lines.push_back(j);
    }
    return lines;
}

class ScaleCommandTest : public ::testing::Test {
protected:
    Result Run(const std::string& args) {
        Result r;
        r.code = RunBrindle("--home " + Quote(fHome.path()) + " " + args, &r.out, &r.err);
        return r;
    }
    fs::path Copy(const std::string& sample, const fs::path& to) {
        fs::create_directories(to.parent_path());
        fs::copy_file(kDocuments / sample, to);
        fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
        return to;
    }
    // The fields of the first package, by name, as `packages --json` shows them.
    json Fields(const fs::path& file) {
        Result r = Run("packages --json " + Quote(file));
        EXPECT_EQ(r.code, 0) << r.err;
        const json all = json::parse(r.out);
        json byName;
        for (const json& f : all["documents"][0]["packages"][0]["fields"])
            byName[f["name"].get<std::string>()] = f;
        return byName;
    }

    TempDir fDir, fHome;
};

TEST_F(ScaleCommandTest, TheCommandLineAnswersAsUsersExpect) {
    const struct {
        std::string args;
        int code;
        std::string out, err;
    } cases[] = {
        {"", 1, "Usage: brindle", ""},
        {"--version", 0, "brindle 1.", ""},
        {"help set", 0, "--files-from", ""},
        {"help chek", 1, "", "did you mean \"check\""},
        {"pakages x.jpg", 1, "", "no command \"pakages\"; did you mean \"packages\"?"},
        {"check --jsn x.jpg", 1, "", "no option \"--jsn\"; did you mean \"--json\"?"},
        {"key --recursiv x", 1, "", "did you mean \"--recursive\"?"},
        // The command named after global options, its own help, and its errors.
        {"set --help", 0, "--files-from", ""},
        {"--log-level 0 --answer=no check --jsn x.jpg", 1, "", "no option \"--jsn\"; did you mean \"--json\"?"},
        {"--log-level 0 deadline-color", 1, "", "NAME is required"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        Result r;
        r.code = RunBrindle(c.args, &r.out, &r.err);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
        EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
    }
    // A global option after the command is the global option.
    Result r;
    r.code = RunBrindle("settings --json --home " + Quote(fHome.path()), &r.out, &r.err);
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(json::parse(r.out)["settingsFile"].get<std::string>().rfind(fHome.path().string(), 0), 0u)
        << r.out;
}

// The command line builds only the group of commands a command line names (falling back to
// all of them for help and errors): each group's names must be those its commands answer to.
TEST(CommandLineGroups, EachGroupNamesTheCommandsItAdds) {
    const std::vector<std::vector<std::string>> known = CommandNamesByGroup(false);
    std::vector<std::vector<std::string>> added = CommandNamesByGroup(true);
    ASSERT_EQ(known.size(), added.size());
    for (size_t g = 0; g < known.size(); ++g) {
        std::vector<std::string> a = known[g], b = added[g];
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        EXPECT_EQ(a, b) << "group " << g;
        EXPECT_FALSE(b.empty()) << "group " << g;
    }
}

TEST_F(ScaleCommandTest, SetTakesShortNamesAnyCaseAndTheUsualSpellingsOfBooleansAndDates) {
    const fs::path a = Copy("Editorial-BlueSquare.jpg", fDir / "a.jpg");
    const fs::path b = Copy("Editorial-BlueSquare.jpg", fDir / "b.jpg");
    Result r = Run("set -q -s issueno=21 -s 'LEGAL review=no' -s PubDate=2026-05-01 " + Quote(a) + " " +
                   Quote(b) + " -- headline=Both");
    ASSERT_EQ(r.code, 0) << r.err;
    for (const fs::path& f : {a, b}) {
        SCOPED_TRACE(f.filename().string());
        json fields = Fields(f);
        EXPECT_EQ(fields["Issue number"]["value"], "21");
        EXPECT_EQ(fields["Legal review"]["boolValue"], false);
        EXPECT_EQ(fields["Publication date"]["value"], "2026/05/01");
        EXPECT_EQ(fields["Headline"]["value"], "Both");
    }
    for (const char* v : {"1", "yes", "True"}) {
        ASSERT_EQ(Run("set " + Quote(a) + " 'Legal review=" + v + "'").code, 0) << v;
        EXPECT_EQ(Fields(a)["Legal review"]["boolValue"], true) << v;
        ASSERT_EQ(Run("set " + Quote(a) + " 'Legal review=0'").code, 0);
    }
    // Without any assignment nothing is taken for one.
    r = Run("set " + Quote(a) + " " + Quote(b));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("no NAME=VALUE given"), std::string::npos) << r.err;
}

TEST_F(ScaleCommandTest, FoldersAndListsGiveTheDocumentsInOrderAndJSONLinesStreamThem) {
    const fs::path tree = fDir / "tree";
    Copy("Editorial-BlueSquare.jpg", tree / "a.jpg");
    Copy("Plain-BlueSquare.jpg", tree / "plain.JPG");
    Copy("Editorial-BlueSquare.jpg", tree / "sub" / "b.jpg");
    Copy("Editorial-BlueSquare.pdf", tree / "sub" / "c.pdf");
    Copy("Editorial-BlueSquare.pdf.xmp", tree / "sub" / "c.pdf.xmp");
    Copy("Editorial-BlueSquare.jpg", fDir / "outside" / "o.jpg");
    fs::create_directory_symlink(fDir / "outside", tree / "linked");

    auto files = [](const std::vector<json>& lines) {
        std::vector<std::string> names;
        for (const json& l : lines)
            if (l.contains("file"))
                names.push_back(fs::path(l["file"].get<std::string>()).filename().string());
        return names;
    };
    Result r = Run("packages -r --jsonl " + Quote(tree));
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<json> lines = Lines(r.out);
    // The sidecar is its document's, the link is not followed.
    EXPECT_EQ(files(lines), (std::vector<std::string>{"a.jpg", "plain.JPG", "b.jpg", "c.pdf"}));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back()["summary"]["documents"], 4);
    EXPECT_EQ(lines[3]["packages"][0]["name"], "Editorial") << "the PDF's packages are in its sidecar";
    EXPECT_EQ(r.err, "4 documents read, 0 unreadable\n");

    r = Run("key -r -L --ext jpg -j 2 --jsonl " + Quote(tree));
    ASSERT_EQ(r.code, 0) << r.err;
    lines = Lines(r.out);
    EXPECT_EQ(files(lines), (std::vector<std::string>{"a.jpg", "o.jpg", "plain.JPG", "b.jpg"}));
    EXPECT_EQ(lines[0]["key"], "ID-+-Editorial-+-3");

    // A folder without -r is a usage error; a list names documents, NUL-separated with -0.
    r = Run("packages " + Quote(tree));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("is a folder (use -r"), std::string::npos) << r.err;
    const std::string list = (tree / "a.jpg").string() + '\0' + (fDir / "gone.jpg").string() + '\0' +
                             (tree / "sub" / "b.jpg").string() + '\0';
    testsupport::WriteFile(fDir / "list", list);
    r = Run("check -0 --files-from " + Quote(fDir / "list"));
    EXPECT_EQ(r.code, 2) << "an unreadable file outweighs the rest";
    EXPECT_NE(r.err.find("gone.jpg"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("3 documents checked, 1 unreadable"), std::string::npos) << r.err;
    r = Run("check -q --jsonl -0 --files-from " + Quote(fDir / "list"));
    lines = Lines(r.out);
    EXPECT_EQ(files(lines), (std::vector<std::string>{"gone.jpg", "a.jpg", "b.jpg"}));
    EXPECT_EQ(lines.back()["summary"]["failed"], 1);
    EXPECT_EQ(r.err.find("documents checked"), std::string::npos) << "-q silences the summary";
}

TEST_F(ScaleCommandTest, AWriteOverManyFilesKeepsArgumentOrderAndFoldsExitCodes) {
    std::vector<fs::path> docs;
    std::string args;
    for (int i = 0; i < 6; ++i) {
        docs.push_back(Copy("Editorial-BlueSquare.jpg", fDir / ("d" + std::to_string(i) + ".jpg")));
        args += " " + Quote(docs.back());
    }
    Result r = Run("set -j 3 --jsonl -s 'Headline=Many at once'" + args);
    ASSERT_EQ(r.code, 0) << r.err;
    std::vector<json> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), docs.size() + 1);
    for (size_t i = 0; i < docs.size(); ++i) {
        EXPECT_EQ(lines[i]["file"], docs[i].string());
        EXPECT_EQ(lines[i]["set"][0]["value"], "Many at once");
    }
    EXPECT_EQ(lines.back()["summary"]["updated"], 6);
    EXPECT_EQ(r.err, "6 updated, 0 unchanged, 0 failed\n");
    if (std::system("exiftool -ver >/dev/null 2>&1") == 0) {
        // An independent reader finds the value in every file.
        for (const fs::path& d : docs) {
            const std::string dump = testsupport::CaptureOutput("exiftool -a -G1 -s -XMP:all " + Quote(d));
            EXPECT_NE(dump.find("Many at once"), std::string::npos) << d;
        }
    }

    // One document without packages among good ones: the others are written, exit 1 (input).
    const fs::path plain = Copy("Plain-BlueSquare.jpg", fDir / "plain.jpg");
    r = Run("set -j 2 -s Headline=Again " + Quote(docs[0]) + " " + Quote(plain) + " " + Quote(docs[1]));
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("2 updated, 0 unchanged, 1 failed"), std::string::npos) << r.err;
    EXPECT_EQ(Fields(docs[1])["Headline"]["value"], "Again");

    // A required field left empty: check says 3 over the many files, 2 once one cannot be read.
    ASSERT_EQ(Run("set " + Quote(docs[2]) + " Headline=").code, 0);
    EXPECT_EQ(Run("check" + args).code, 3);
    EXPECT_EQ(Run("check" + args + " " + Quote(fDir / "gone.jpg")).code, 2);
}

// A document that cannot be opened is an error object in the JSON however many workers ran:
// the workers' objects reach the output as the parent's own do.
TEST_F(ScaleCommandTest, AnUnreadableDocumentIsAnErrorObjectWithAndWithoutWorkers) {
    const fs::path good = Copy("Editorial-BlueSquare.jpg", fDir / "good.jpg");
    const fs::path missing = fDir / "missing.jpg";
    for (const char* command : {"key", "set -s Headline=Worked", "expand -t '<cvbrindle:package/>'", "xml"}) {
        for (const char* jobs : {"-j 1", "-j 2"}) {
            SCOPED_TRACE(std::string(command) + " " + jobs);
            Result r = Run(std::string(command) + " " + jobs + " --json " + Quote(good) + " " + Quote(missing));
            EXPECT_EQ(r.code, 2) << r.err;
            const json all = json::parse(r.out, nullptr, false);
            ASSERT_FALSE(all.is_discarded()) << r.out;
            ASSERT_EQ(all["documents"].size(), 2u) << r.out;
            EXPECT_EQ(all["documents"][0]["file"], good.string());
            EXPECT_FALSE(all["documents"][0].contains("error"));
            EXPECT_EQ(all["documents"][1]["file"], missing.string());
            EXPECT_TRUE(all["documents"][1].contains("error")) << r.out;
        }
    }
}

TEST_F(ScaleCommandTest, WithoutUSERTheAccountNamesTheHistoryEntry) {
    const fs::path a = Copy("Editorial-BlueSquare.jpg", fDir / "a.jpg");
    struct passwd* pw = ::getpwuid(::getuid());
    ASSERT_NE(pw, nullptr);
    int status = 0;
    testsupport::CaptureOutput("env -u USER '" BRINDLE_BINARY "' --home " + Quote(fHome.path()) + " set " +
                                   Quote(a) + " Headline=Mine 2>&1",
                               &status);
    ASSERT_EQ(status, 0);
    EXPECT_EQ(Fields(a)["Headline"]["history"].back()["user"], pw->pw_name);
}

// Importing never loses work silently: a lower version, or the same version with other
// content, is refused (naming the file and why) unless --force; the same content is fine.
TEST_F(ScaleCommandTest, ImportRefusesALowerVersionOrTheSameVersionChangedUnlessForced) {
    const fs::path library = fs::path(BRINDLE_SOURCE_DIR) / "samples/library/Editorial_ID.xml";
    ASSERT_EQ(Run("library import " + Quote(library)).code, 0);
    const std::string text = testsupport::ReadUTF16File(library);
    auto variant = [&](const std::string& from, const std::string& to, const std::string& name) {
        std::string t = text;
        const size_t at = t.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        t.replace(at, from.size(), to);
        testsupport::WriteFile(fDir / name, testsupport::ToUTF16(t));
        return fDir / name;
    };
    const struct {
        fs::path file;
        int code;
        std::string error;
    } cases[] = {
        {library, 0, ""},
        {variant("version=\"3\"", "version=\"2\"", "low.xml"), 1, "is lower than the library's version 3"},
        {variant("Main title", "Main TITLE", "same.xml"), 1, "is the library's version with other content"},
        {variant("version=\"3\"", "version=\"4\"", "high.xml"), 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file.filename().string());
        Result r = Run("library import " + Quote(c.file));
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << r.err;
        if (c.code != 0) {
            EXPECT_NE(r.err.find(c.file.string()), std::string::npos) << "the file is named";
            EXPECT_EQ(Run("library import --force " + Quote(c.file)).code, 0);
            ASSERT_EQ(Run("library import --force " + Quote(library)).code, 0);
        }
    }
}

} // namespace
