// brindle shell: one session driven by a script, documents kept open between requests, the
// lifecycle on the session's open, save and close, undo and redo, the close guard.
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const char* kDualPacket =
    "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
    "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
    "<rdf:Description rdf:about=\"\" xmlns:old=\"http://www.corvane.dk/xmp/indesign/brindle/1.0/\" "
    "xmlns:dunmoreBRN=\"https://ns.corvane.com/xmp/indesign/brindle/2.0/\" old:DocType=\"InDesign\" "
    "dunmoreBRN:DocType=\"InDesign\"/></rdf:RDF></x:xmpmeta>";

class ShellCommandTest : public CommandSessionTest {
protected:
    fs::path Copy(const std::string& name) { return CopyJpeg(name); }
    std::string Q(const fs::path& p) { return Quote(p); }
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
    const std::string script = "open " + Quote(file) + "\n"
                               "select story ucc\n"
                               "apply Editorial\n"
                               "set Headline=Framed 'Author=Ann Lee'\n"
                               "check\n"
                               "select none\n"
                               "packages\n"
                               "save\n"
                               "select story nowhere\n";
    EXPECT_EQ(Shell(script), 1) << fErr;
    EXPECT_TRUE(Contains(fErr, "no story \"nowhere\"")) << fErr;
    // The check saw the story's filled fields; the document itself holds no package.
    EXPECT_TRUE(Contains(fOut, "required fields: all filled in 1 document")) << fOut;
    EXPECT_TRUE(Contains(fOut, file.string() + ": 0 packages")) << fOut;
    ASSERT_EQ(Run("packages " + Quote(file) + " --story ucc"), 0) << fErr;
    EXPECT_TRUE(Contains(fOut, "Headline [Headline] String, required: Framed")) << fOut;
}

TEST_F(ShellCommandTest, MenuActionsWithTheirStatesAndDialogs) {
    const fs::path exported = fDir.path() / "editorial.xml";
    const std::string script = "menu\n"
                               "action use-latest-package\n"
                               "menu\n"
                               "answer enter-password password=Redaktion42\n"
                               "answer package name=Copied\n"
                               "answer password password=pw confirm=pw\n"
                               "action copy-package --package Editorial\n"
                               "action export-package --package Copied --file " + Quote(exported) + "\n"
                               "action delete-package --package Copied\n"
                               "action nothing\n";
    EXPECT_EQ(Shell(script), 1) << fErr;
    // The switch's state follows the setting, before and after the toggle.
    const size_t first = fOut.find("use-latest-package");
    const size_t second = fOut.find("use-latest-package", fOut.find("action: use-latest-package") + 30);
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    const bool checkedFirst = fOut.compare(first + 20, 16, "enabled, checked") == 0;
    const bool checkedSecond = fOut.compare(second + 20, 16, "enabled, checked") == 0;
    EXPECT_NE(checkedFirst, checkedSecond) << fOut;
    EXPECT_TRUE(Contains(fErr, "no action \"nothing\"")) << fErr;
    EXPECT_TRUE(fs::exists(exported));
    ASSERT_EQ(Run("library list"), 0) << fErr;
    EXPECT_FALSE(Contains(fOut, "Copied")) << fOut;
    EXPECT_TRUE(Contains(ReadUTF16File(exported), "name=\"Copied\"")) << ReadUTF16File(exported);
}

} // namespace

namespace {

// The metadata panel in a shell session: shown, edited row by row, a refused value alerted, a
// dialog answered from the script, and what the panel wrote reaches the file on save.
TEST_F(ShellCommandTest, APanelSession) {
    const fs::path a = Copy("a.jpg");
    const std::string script =
        "open " + Q(a) + "\n"
        "panel\n"
        "panel click apply\n"
        "panel set Headline 'Storm warning'\n"
        "panel set 'Issue number' twelve\n"
        "panel set 3 12\n"
        "panel set 'Legal review' true\n"
        "answer multichoice Politics=false own=Sport --button add\n"
        "answer multichoice\n"
        "panel click 9.change\n"
        "panel mode story\n"
        "panel mode document\n"
        "save\n";
    ASSERT_EQ(Shell(script), 0) << fErr;
    EXPECT_TRUE(Contains(fOut, "package: Editorial  v. ")) << fOut;
    EXPECT_TRUE(Contains(fOut, "Not applied to the target")) << fOut;
    EXPECT_TRUE(Contains(fOut, "1   Headline            edit                Storm warning")) << fOut;
    EXPECT_TRUE(Contains(fOut, "3   Issue number        edit                12")) << fOut;
    EXPECT_TRUE(Contains(fOut, "10  Legal review        check               true")) << fOut;
    EXPECT_TRUE(Contains(fOut, "9   Keywords            multi-choice        Economy, Sport")) << fOut;
    EXPECT_TRUE(Contains(fOut, "target: story: no story selected in")) << fOut;
    EXPECT_FALSE(Contains(fOut, "Workflow state")) << "a hidden field gets no row";
    EXPECT_TRUE(Contains(fErr, "alert: Please enter a whole number.")) << fErr;
    ASSERT_EQ(Run("packages --json " + Q(a)), 0) << fErr;
    EXPECT_TRUE(Contains(fOut, "Storm warning")) << fOut;
    EXPECT_TRUE(Contains(fOut, "Economy, Sport")) << fOut;
}

TEST_F(ShellCommandTest, TheLoggingComponentIsSwitchedAndThePanelShowsIt) {
    const fs::path a = Copy("a.jpg");
    const fs::path log = fDir.path() / "outside.log";
    std::string script;
    for (const std::string& line :
         {"open " + Q(a), std::string("log"), std::string("panel"), "log level 75 file " + Q(log),
          std::string("panel"), std::string("log file -"), std::string("log off"), std::string("panel"),
          std::string("log level lots")})
        script += line + "\n";
    EXPECT_EQ(Shell(script, "--log-level 30"), 1) << fErr;
    const std::vector<std::string> inOrder = {"log: level 30, to standard error\n",
                                              "log: level 30, to standard error\n",
                                              "log: level 75, to " + log.string() + "\n",
                                              "log: level 75, to " + log.string() + "\n",
                                              "log: level 75, to standard error\n",
                                              "log: off, to standard error\n",
                                              "log: off\n"};
    size_t at = 0;
    for (const std::string& line : inOrder) {
        at = fOut.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << fOut;
        at += line.size();
    }
    EXPECT_TRUE(Contains(fErr, "log: the level is a whole number from 0 to 65535, not lots")) << fErr;
}

TEST_F(ShellCommandTest, PanelRequestsThatCannotBeDone) {
    const struct {
        const char* line;
        const char* error;
    } cases[] = {
        {"panel set Headline x", "panel: the panel has no row Headline"},
        {"panel click nothing", "panel: no widget nothing"},
        {"panel choose Absent", "panel: widget package has no entry Absent"},
        {"panel mode galley", "panel: mode: document, story or assignment, not galley"},
        {"panel wave", "panel [set ROW VALUE"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Shell(std::string(c.line) + "\n"), 1) << c.line;
        EXPECT_TRUE(Contains(fErr, c.error)) << c.line << "\n" << fErr;
    }
}

} // namespace

// At a terminal the shell reads with the line editor, a module of its own loaded only there:
// the prompt names the front document, requests run, and the history is kept in the home.
// A program without the module still runs scripts, and refuses the terminal naming the module.
TEST_F(ShellCommandTest, AtATerminalTheLineEditorReadsAndKeepsTheHistory) {
    if (std::system("script --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1) for a terminal";
    const fs::path a = Copy("a.jpg");
    const fs::path built = fs::path(BRINDLE_BINARY).parent_path();
    TempDir without;
    for (const char* name : {"brindle", "brindle-commands.so", "Brindle.pln"})
        fs::copy_file(built / name, without / name);
    struct Case {
        fs::path program;
        bool editor;
    };
    for (const Case& c : {Case{BRINDLE_BINARY, true}, Case{without / "brindle", false}}) {
        // script(1) gives the shell a terminal and passes the requests on to it.
        const std::string shell = Quote(c.program) + " --home " + Quote(fHome.path()) + " shell";
        int status = 0;
        const std::string out =
            CaptureOutput("printf 'open %s\\npackages\\nquit\\n' " + Quote(a) + " | script -qec " + Quote(shell) +
                              " /dev/null 2>&1",
                          &status);
        const fs::path history = fHome / "config/brindle/shell_history";
        if (c.editor) {
            EXPECT_EQ(status, 0) << out;
            EXPECT_TRUE(Contains(out, "brindle> ")) << out;
            EXPECT_TRUE(Contains(out, "brindle a.jpg> ")) << out;
            EXPECT_TRUE(Contains(out, "a.jpg: 0 packages")) << out;
            EXPECT_TRUE(Contains(ReadFile(history), "packages\nquit")) << ReadFile(history);
            EXPECT_EQ(out.find("libedit"), std::string::npos) << out;
        } else {
            EXPECT_NE(status, 0) << out;
            EXPECT_TRUE(Contains(out, "the line editor " + (without / "brindle-lineedit.so").string() +
                                          " cannot be loaded"))
                << out;
            // A script needs no editor.
            EXPECT_EQ(CaptureOutput("printf 'open %s\\npackages\\n' " + Quote(a) + " | " + shell + " 2>&1", &status),
                      "opened " + a.string() + "\n" + a.string() + ": 0 packages\n");
            EXPECT_EQ(status, 0);
        }
    }
}
