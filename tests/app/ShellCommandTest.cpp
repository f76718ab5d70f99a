// brindle shell: one session driven by a script, documents kept open between requests, the
// lifecycle on the session's open, save and close, undo and redo, the close guard.
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::string FileURL(const fs::path& p) {
    std::string s = "file://";
    for (char c : p.string())
        s += c == ' ' ? std::string("%20") : std::string(1, c);
    return s;
}

const char* kDualPacket =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
    "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:old=\"http://www.corvane.dk/xmp/indesign/brindle/1.0/\" "
    "xmlns:dunmoreBRN=\"https://ns.corvane.com/xmp/indesign/brindle/2.0/\" old:DocType=\"InDesign\" "
    "dunmoreBRN:DocType=\"InDesign\"/></rdf:RDF></x:xmpmeta>";

class ShellCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        fPlugIn = PlugInFolderWith();
        ASSERT_EQ(Run("library import " + Quote(SamplesLibrary() / "Editorial_ID.xml")), 0) << fErr;
    }
    int Run(const std::string& args) {
        return RunBrindle("--home " + Quote(fHome.path()) + " --plugin-dir " + Quote(fPlugIn) +
                              " --user login --alias Ann " + args,
                          &fOut, &fErr);
    }
    // Runs the script through --script; the exit code.
    int Shell(const std::string& script, const std::string& options = "", const std::string& shellOptions = "") {
        const fs::path file = fDir.path() / "script.brindle";
        WriteFile(file, script);
        return Run(options + " shell " + shellOptions + " --script " + Quote(file));
    }
    fs::path Copy(const std::string& name) {
        const fs::path file = fDir.path() / name;
        fs::copy_file(fs::path(BRINDLE_TEST_DATA) / "xmp-files/BlueSquare.jpg", file);
        return file;
    }
    std::string Q(const fs::path& p) { return Quote(p); }

    TempDir fHome, fDir;
    fs::path fPlugIn;
    std::string fOut, fErr;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(ShellCommandTest, AWholeDay) {
    DatagramListener listener;
    const fs::path a = Copy("a.jpg"), b = Copy("b one.jpg"), c = Copy("c.jpg");
    const fs::path yes = fDir.path() / "dual-yes.txt", no = fDir.path() / "dual-no.txt";
    for (const fs::path& f : {yes, no}) {
        WriteFile(f, "text");
        WriteFile(fs::path(f.string() + ".xmp"), kDualPacket);
    }
    const std::string script =
        "# the morning: three documents\n"
        "open " + Q(a) + " " + Q(b) + " " + Q(c) + "\n"
        "documents\n"
        "front " + Q(a) + "\n"
        "apply Editorial\n"
        "set Headline='Early edition' 'Author=Ann Lee'\n"
        "set Headline=Late\n"
        "undo\n"
        "packages\n"
        "redo\n"
        "history\n"
        "save\n"
        "# b lacks its author: the close is refused, then forced\n"
        "front " + Q(b) + "\n"
        "apply Editorial\n"
        "set Headline=Only\n"
        "# OK in the required-fields dialog: back to fill them in\n"
        "answer yes\n"
        "close\n"
        "documents\n"
        "close --no-cancel\n"
        "close " + Q(c) + "\n"
        "close " + Q(a) + "\n"
        "open " + Q(a) + "\n"
        "packages\n"
        "answer yes\n"
        "open " + Q(yes) + "\n"
        "save\n"
        "answer no\n"
        "open " + Q(no) + "\n"
        "save\n"
        "quit\n"
        "packages\n";
    // The refused close fails the script's one request; the day goes on with --keep-going.
    EXPECT_EQ(Shell(script, "--companion " + listener.Destination(), "--keep-going"), 3) << fOut << fErr;

    EXPECT_TRUE(Contains(fOut, "  " + a.string() + "\n  " + b.string() + "\n* " + c.string() + "\n")) << fOut;
    // Undo took back the second set alone; redo brought it again.
    EXPECT_TRUE(Contains(fOut, "undone: ")) << fOut;
    EXPECT_TRUE(Contains(fOut, "Headline [Headline] String, required: Early edition")) << fOut;
    EXPECT_TRUE(Contains(fErr, "not closed: required fields are missing")) << fErr;
    EXPECT_TRUE(Contains(fOut, "* " + b.string() + " (modified)")) << fOut;
    EXPECT_TRUE(Contains(fOut, "closed " + b.string())) << fOut;
    // Reopened: what was saved.
    EXPECT_TRUE(Contains(fOut, "Headline [Headline] String, required: Late")) << fOut;
    EXPECT_TRUE(Contains(fOut, "Author [Author] String, required: Ann Lee")) << fOut;
    // quit ends the session: nothing after it runs.
    EXPECT_EQ(fOut.find("package", fOut.rfind("saved " + no.string())), std::string::npos) << fOut;

    // The dual-schema question, answered both ways.
    EXPECT_FALSE(Contains(ReadFile(fs::path(yes.string() + ".xmp")), "brindle/1.0/"));
    EXPECT_TRUE(Contains(ReadFile(fs::path(no.string() + ".xmp")), "brindle/1.0/"));

    // Every open, save and close of the day, announced with its exact payload.
    auto said = [](const char* event, const fs::path& f) {
        return std::string("WINCORVANEDEL") + event + "CORVANEDELAnnCORVANEDEL" + FileURL(f);
    };
    const std::vector<std::string> expected = {
        said("OPEN", a),  said("OPEN", b),    said("OPEN", c),    said("SAVE", a),
        said("CLOSE", b), said("CLOSE", c),   said("CLOSE", a),   said("OPEN", a),
        said("OPEN", yes), said("SAVE", yes), said("OPEN", no),   said("SAVE", no),
        said("CLOSE", a), said("CLOSE", yes), said("CLOSE", no),
    };
    EXPECT_EQ(listener.Drain(), expected);
}

TEST_F(ShellCommandTest, AScriptStopsAtItsFirstFailingRequest) {
    const fs::path a = Copy("a.jpg");
    struct Case {
        const char* name;
        std::string script;
        std::string options;
        int code;
        bool lastRan; // the request after the failing one ran
    };
    const std::string open = "open " + Quote(a) + "\n";
    const Case cases[] = {
        {"unknown command", open + "frobnicate\ndocuments\n", "", 1, false},
        {"missing file", "open " + Quote(fDir.path() / "none.jpg") + "\ndocuments\n", "", 2, false},
        {"nothing to undo", open + "undo\ndocuments\n", "", 1, false},
        {"unclosed quote", open + "set Headline='x\ndocuments\n", "", 1, false},
        {"no document", "key\n" + open + "documents\n", "", 1, false},
        {"unknown field", open + "apply Editorial\nset Nothing=1\ndocuments\n", "", 1, false},
        {"keep going", open + "undo\ndocuments\n", "--keep-going", 1, true},
        {"all well", open + "documents\n", "", 0, true},
    };
    for (const Case& c : cases) {
        const fs::path script = fDir.path() / "s.brindle";
        WriteFile(script, c.script);
        EXPECT_EQ(Run("shell " + c.options + " --script " + Quote(script)), c.code) << c.name << "\n" << fErr;
        EXPECT_EQ(Contains(fOut, "* " + a.string()), c.lastRan) << c.name << "\n" << fOut;
    }
    // The same from standard input.
    WriteFile(fDir.path() / "s.brindle", open + "undo\ndocuments\n");
    int status = 0;
    const std::string out = CaptureOutput("'" + std::string(BRINDLE_BINARY) + "' --home " + Quote(fHome.path()) +
                                              " shell < " + Quote(fDir.path() / "s.brindle") + " 2>/dev/null",
                                          &status);
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(Contains(out, "* " + a.string())) << out;
}

TEST_F(ShellCommandTest, SaveUndoSaveRoundTripsAndJoinedEditsUndoAsOneStep) {
    const fs::path a = Copy("a.jpg");
    ASSERT_EQ(Run("apply " + Quote(a) + " Editorial"), 0) << fErr;
    ASSERT_EQ(Run("dump-xmp " + Quote(a)), 0) << fErr;
    const std::string applied = fOut;
    const std::string script = "open " + Quote(a) + "\n"
                               "set Headline=One Author=Two 'Issue number=7'\n"
                               "save\n"
                               "undo\n"
                               "history\n"
                               "save\n";
    ASSERT_EQ(Shell(script), 0) << fErr;
    // Three fields in one request were one step: one undo took them all back.
    EXPECT_TRUE(Contains(fOut, "redo 1: Set Metadata")) << fOut;
    EXPECT_FALSE(Contains(fOut, "undo 1: ")) << fOut;
    // The packet saved after the undo is the one the file held before the edit.
    ASSERT_EQ(Run("dump-xmp " + Quote(a)), 0) << fErr;
    EXPECT_EQ(fOut, applied);
}

TEST_F(ShellCommandTest, SelectedStoriesAreWhatDocumentCommandsWorkOn) {
    const fs::path file = fDir.path() / "story.icml";
    fs::copy_file(fs::path(BRINDLE_TEST_DATA) / "icml/Bullets_Test_EN.icml", file);
    ASSERT_EQ(Run("stories --json " + Quote(file)), 0) << fErr;
    const std::string script = "open " + Quote(file) + "\n"
                               "select story nowhere\n";
    EXPECT_EQ(Shell(script), 1);
    EXPECT_TRUE(Contains(fErr, "no story \"nowhere\"")) << fErr;
}

} // namespace
