// The text-editing workflow through `brindle shell`: check-out, check-in, cancel, update from
// the story file, relink, place and the assignments, each one host command the plug-in's
// document observer sees; and the maker's components declared present in the host's
// configuration.
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using namespace testsupport;

namespace {

const fs::path kData = fs::path(BRINDLE_TEST_DATA);

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The lock files beside a story file.
std::vector<fs::path> LockFiles(const fs::path& folder) {
    std::vector<fs::path> locks;
    for (const auto& e : fs::directory_iterator(folder))
        if (e.path().extension() == ".idlk") locks.push_back(e.path());
    return locks;
}

class StoryWorkflowShellTest : public CommandSessionTest {
protected:
    StoryWorkflowShellTest() : CommandSessionTest("--user ci") {}
    void SetUp() override {
        CommandSessionTest::SetUp();
        if (HasFatalFailure()) return;
        // The layout package with an assignment of three stories and their story files.
        fIdml = fDir.path() / "layout.idml";
        fs::copy_file(kData / "idml" / "4_story_pointers.idml", fIdml);
        fs::permissions(fIdml, fs::perms::owner_write, fs::perm_options::add);
        std::string map = CaptureOutput("unzip -p " + Quote(fIdml) + " designmap.xml");
        std::string add = "\t<Assignment Self=\"uas1\" Name=\"Safety\" UserName=\"jane\" FilePath=\"file:" +
                          (fDir.path() / "Safety.icma").string() + "\">\n";
        for (const auto& [story, file] : {std::pair{"u1043a", "A.icml"}, {"u10482", "B.icml"}})
            add += std::string("\t\t<AssignedStory Self=\"as") + story + "\" StoryReference=\"" + story +
                   "\" FilePath=\"file:" + (fDir.path() / file).string() + "\" />\n";
        map.replace(map.rfind("</Document>"), 11, add + "\t</Assignment>\n</Document>");
        const fs::path zipDir = fDir.path() / "zip";
        fs::create_directories(zipDir);
        WriteFile(zipDir / "designmap.xml", map);
        ASSERT_EQ(std::system(("cd " + Quote(zipDir) + " && zip -q " + Quote(fIdml) + " designmap.xml").c_str()), 0);
        fs::remove_all(zipDir);
        // The story files: B holds the Editorial package with a headline of its own.
        for (const char* name : {"A.icml", "B.icml"}) {
            fs::copy_file(kData / "icml" / "CDATA_Test.icml", fDir.path() / name);
            fs::permissions(fDir.path() / name, fs::perms::owner_write, fs::perm_options::add);
        }
        ASSERT_EQ(Run("apply " + Quote(fDir.path() / "B.icml") + " Editorial"), 0) << fErr;
        ASSERT_EQ(Run("set " + Quote(fDir.path() / "B.icml") + " Headline=FromFile"), 0) << fErr;
    }
    // The library's Editorial one version on: what the documents hold is then older.
    void RaiseLibraryVersion() {
        std::string xml = ReadUTF16File(SamplesLibrary() / "Editorial_ID.xml");
        const std::string from = "name=\"Editorial\" password=\"Redaktion42\" version=\"3\"";
        ASSERT_TRUE(Contains(xml, from));
        xml.replace(xml.find(from), from.size(), "name=\"Editorial\" password=\"Redaktion42\" version=\"4\"");
        const fs::path raised = fDir.path() / "Editorial_ID.xml";
        WriteFile(raised, ToUTF16(xml));
        ASSERT_EQ(Run("library import --force " + Quote(raised)), 0) << fErr;
    }
    fs::path B() const { return fDir.path() / "B.icml"; }

    fs::path fIdml;
};

// The Editorial package of the first target of the last `packages --json` in the output.
json LastEditorial(const std::string& out) {
    const size_t at = out.rfind("{\n  \"documents\"");
    if (at == std::string::npos) return json();
    const size_t end = out.find("\n}\n", at);
    if (end == std::string::npos) return json();
    const json j = json::parse(out.substr(at, end + 2 - at), nullptr, false);
    if (j.is_discarded() || j["documents"].empty()) return json();
    for (const json& p : j["documents"][0]["packages"])
        if (p["name"] == "Editorial") return p;
    return json();
}

std::string Value(const json& package, const std::string& field) {
    if (!package.is_object()) return "<no package>";
    for (const json& f : package["fields"])
        if (f["name"] == field) return f["value"].get<std::string>();
    return "<no field>";
}

TEST_F(StoryWorkflowShellTest, CheckOutCheckInAndCancelWorkOnTheLockFileAndTheStoryFile) {
    const std::string script = "open " + Quote(fIdml) +
                               "\n"
                               "story list\n"
                               "story checkout u10482\n"
                               "story list\n"
                               "select story u10482\n"
                               "apply Editorial\n"
                               "set Headline=Edited\n"
                               "# Author is missing: reported before the check-in, which goes on\n"
                               "story checkin u10482\n"
                               "story list\n"
                               "story checkout u10482\n"
                               "set Headline=Dropped\n"
                               "story cancel-checkout u10482\n"
                               "packages --json\n";
    ASSERT_EQ(Shell(script), 0) << fOut << fErr;
    EXPECT_TRUE(Contains(fOut, "u10482\t")) << fOut;
    EXPECT_TRUE(Contains(fOut, "\tchecked out by you\t" + B().string())) << fOut;
    EXPECT_TRUE(Contains(fOut, "u10482: checked in")) << fOut;
    // The required-field check ran on the story before it was checked in.
    EXPECT_TRUE(Contains(fErr, "alert: ")) << fErr;
    EXPECT_TRUE(Contains(fErr, "- Author")) << fErr;
    // Checked in: the story file holds the story's packet; no lock is left.
    EXPECT_TRUE(LockFiles(fDir.path()).empty());
    EXPECT_TRUE(Contains(ReadFile(B()), "Edited"));
    EXPECT_FALSE(Contains(ReadFile(B()), "Dropped"));
    // Cancelled: the story took the story file's packet back.
    EXPECT_EQ(Value(LastEditorial(fOut), "Headline"), "Edited") << fOut;
}

TEST_F(StoryWorkflowShellTest, ACheckOutIsSeenByOtherSessionsAndKeptAcrossSessions) {
    ASSERT_EQ(Shell("open " + Quote(fIdml) + "\nstory checkout u10482\n"), 0) << fErr;
    const std::vector<fs::path> locks = LockFiles(fDir.path());
    ASSERT_EQ(locks.size(), 1u);
    EXPECT_EQ(locks[0].filename().string().substr(0, 3), "~b~");
    EXPECT_EQ(ReadFile(locks[0]), "ci\n");
    // Another user sees the story locked and cannot write it.
    std::string out;
    ASSERT_EQ(RunBrindle("--home " + Quote(fHome.path()) + " --user jane stories --json " + Quote(fIdml), &out, &fErr),
              0);
    EXPECT_TRUE(Contains(out.substr(out.find("\"u10482\"") - 300, 600), "\"locked\": true")) << out;
    EXPECT_EQ(RunBrindle("--home " + Quote(fHome.path()) + " --user jane set " + Quote(fIdml) +
                             " Headline=Theirs --story u10482",
                         nullptr, &fErr),
              1);
    // The owner checks it in from a later session.
    ASSERT_EQ(Shell("open " + Quote(fIdml) + "\nstory list\nstory checkin u10482\n"), 0) << fOut << fErr;
    EXPECT_TRUE(Contains(fOut, "\tchecked out by you\t")) << fOut;
    EXPECT_TRUE(LockFiles(fDir.path()).empty());
}

TEST_F(StoryWorkflowShellTest, RefusedRequestsSayWhyAndChangeNothing) {
    WriteFile(fDir.path() / "~a~abc123.idlk", "jane\n");
    WriteFile(fDir.path() / "notes.txt", "not a story");
    struct Case {
        std::string request;
        std::string message;
        bool open = true;
    };
    const std::vector<Case> cases = {
        {"story checkout u10482", "no document is open", false},
        {"place " + Quote(B()), "no document is open", false},
        {"story checkout nosuch", "no story \"nosuch\""},
        {"story checkout u1043a", "checked out by jane"},
        {"story checkin u10482", "not checked out"},
        {"story cancel-checkout u1043a", "checked out by jane"},
        {"story update u1139d", "no story file"},
        {"story relink u10482 " + Quote(fDir.path() / "missing.icml"), "missing"},
        {"story relink u10482 " + Quote(fDir.path() / "notes.txt"), "not a story file"},
        {"place " + Quote(fDir.path() / "missing.icml"), "missing"},
        {"assignment user Nobody ann", "no assignment \"Nobody\""},
        {"assignment add Safety nosuch", "no story \"nosuch\""},
        {"story frobnicate u10482", "usage: story"},
    };
    const std::string bBytes = ReadFile(B()), idmlBytes = ReadFile(fIdml);
    for (const Case& c : cases) {
        const std::string open = c.open ? "open " + Quote(fIdml) + "\n" : "";
        EXPECT_EQ(Shell(open + c.request + "\nstory list\n"), 1) << c.request << "\n" << fOut;
        EXPECT_TRUE(Contains(fErr, c.message)) << c.request << "\n" << fErr;
        EXPECT_FALSE(Contains(fOut, "u10482\t")) << c.request << ": the script goes no further";
        EXPECT_EQ(LockFiles(fDir.path()).size(), 1u) << c.request;
        EXPECT_EQ(ReadFile(B()), bBytes) << c.request;
        EXPECT_EQ(ReadFile(fIdml), idmlBytes) << c.request;
    }
}

// After an update from the story file the text edition brings the packages to the library's
// version; the layout edition does not.
TEST_F(StoryWorkflowShellTest, UpdateFromTheStoryFileUpgradesInTheTextEdition) {
    RaiseLibraryVersion();
    struct Case {
        const char* edition;
        int version;
    };
    for (const Case c : {Case{"text", 4}, Case{"layout", 3}}) {
        const std::string script = "open " + Quote(fIdml) +
                                   "\n"
                                   "story update u10482\n"
                                   "select story u10482\n"
                                   "packages --json\n";
        ASSERT_EQ(Shell(script, std::string("--edition ") + c.edition), 0) << fOut << fErr;
        const json editorial = LastEditorial(fOut);
        EXPECT_EQ(Value(editorial, "Headline"), "FromFile") << c.edition << "\n" << fOut;
        EXPECT_EQ(editorial.value("version", 0), c.version) << c.edition << "\n" << fOut;
    }
}

// A placed story file brings its packages in; the document's packages are then upgraded.
TEST_F(StoryWorkflowShellTest, PlacingAStoryFileUpgradesTheDocumentsPackages) {
    ASSERT_EQ(Run("--edition text apply " + Quote(fIdml) + " Editorial"), 0) << fErr;
    RaiseLibraryVersion();
    const std::string script = "open " + Quote(fIdml) +
                               "\n"
                               "packages --json\n"
                               "place " + Quote(B()) + "\n"
                               "story list\n"
                               "packages --json\n";
    ASSERT_EQ(Shell(script, "--edition text"), 0) << fOut << fErr;
    const size_t placed = fOut.find("placed " + B().string() + " as story ");
    ASSERT_NE(placed, std::string::npos) << fOut;
    EXPECT_EQ(LastEditorial(fOut.substr(0, placed)).value("version", 0), 3) << fOut;
    EXPECT_EQ(LastEditorial(fOut).value("version", 0), 4) << fOut;
    // The new story is linked to the file and has its packet.
    const std::string id = fOut.substr(placed).substr(std::string("placed " + B().string() + " as story ").size());
    const std::string self = id.substr(0, id.find('\n'));
    EXPECT_TRUE(Contains(fOut, self + "\t")) << fOut;
    EXPECT_TRUE(Contains(fOut, "\tavailable\t" + B().string())) << fOut;
    ASSERT_EQ(Shell("open " + Quote(fIdml) + "\nplace " + Quote(B()) + "\nselect story " + self +
                        "\npackages --json\n",
                    "--edition text"),
              0)
        << fErr;
    EXPECT_EQ(Value(LastEditorial(fOut), "Headline"), "FromFile") << fOut;
}

TEST_F(StoryWorkflowShellTest, RelinkTakesTheNewFileAndWritesTheStorysPackagesAgain) {
    const fs::path other = fDir.path() / "Other.icml";
    fs::copy_file(B(), other);
    ASSERT_EQ(Run("set " + Quote(other) + " Headline=Relinked"), 0) << fErr;
    // The plug-in's writes of packages, counted in its log: with and without the relink.
    auto writes = [&](const std::string& script, const std::string& name) {
        const fs::path log = fDir.path() / (name + ".log");
        EXPECT_EQ(Shell(script, "--log-level 100 --log-file " + Quote(log)), 0) << fOut << fErr;
        return PackageStoresLogged(ReadFile(log));
    };
    const std::string open = "open " + Quote(fIdml) + "\n";
    const size_t baseline = writes(open + "story list\n", "baseline");
    const size_t relinked = writes(open + "story relink u10482 " + Quote(other) + "\nstory list\nhistory\nsave\n", "relink");
    EXPECT_EQ(relinked, baseline + 1) << "the relinked story's packages are written once more";
    EXPECT_TRUE(Contains(fOut, "u10482: linked to " + other.string())) << fOut;
    EXPECT_TRUE(Contains(fOut, "\tavailable\t" + other.string())) << fOut;
    // The relink ended the undo history (undo cannot put the old link back).
    EXPECT_FALSE(Contains(fOut, "undo 1:")) << fOut;
    // Saved: the layout package's story holds the new file's packages.
    ASSERT_EQ(Run("packages " + Quote(fIdml) + " --json --story u10482"), 0) << fErr;
    EXPECT_EQ(Value(LastEditorial(fOut), "Headline"), "Relinked") << fOut;
}

TEST_F(StoryWorkflowShellTest, AssignmentsChangeAndUpdateTheirStories) {
    RaiseLibraryVersion();
    const std::string script = "open " + Quote(fIdml) +
                               "\n"
                               "assignment list\n"
                               "assignment user Safety ann\n"
                               "assignment remove Safety u1043a\n"
                               "assignment add Safety u1139d\n"
                               "assignment list\n"
                               "assignment update Safety\n"
                               "select story u10482\n"
                               "packages --json\n";
    ASSERT_EQ(Shell(script), 0) << fOut << fErr;
    EXPECT_TRUE(Contains(fOut, "Safety\tuser: jane\tstories: u1043a u10482\n")) << fOut;
    EXPECT_TRUE(Contains(fOut, "Safety\tuser: ann\tstories: u10482 u1139d\n")) << fOut;
    // The update took the story file's packet and upgraded it (in any edition).
    const json editorial = LastEditorial(fOut);
    EXPECT_EQ(Value(editorial, "Headline"), "FromFile") << fOut;
    EXPECT_EQ(editorial.value("version", 0), 4) << fOut;
}

// The panel shows a story anew when a command the document observer answers changed it.
TEST_F(StoryWorkflowShellTest, ThePanelShowsTheUpdatedStory) {
    const std::string script = "open " + Quote(fIdml) +
                               "\n"
                               "select story u10482\n"
                               "apply Editorial\n"
                               "set Headline=Before\n"
                               "panel mode story\n"
                               "story update u10482\n"
                               "panel\n";
    ASSERT_EQ(Shell(script, "--edition text"), 0) << fOut << fErr;
    const size_t updated = fOut.find("u10482: updated from its story file");
    ASSERT_NE(updated, std::string::npos) << fOut;
    EXPECT_TRUE(Contains(fOut.substr(0, updated), "Before")) << fOut;
    EXPECT_TRUE(Contains(fOut.substr(updated), "FromFile")) << fOut;
    EXPECT_FALSE(Contains(fOut.substr(updated), "Before")) << fOut;
}

// Only the maker's component stops the announcements of open, save and close; the host's
// configuration declares which components are loaded.
TEST_F(StoryWorkflowShellTest, TheMakersComponentDeclaredPresentStopsTheAnnouncements) {
    const fs::path jpg = fDir.path() / "one.jpg";
    fs::copy_file(kData / "xmp-files/BlueSquare.jpg", jpg);
    struct Case {
        const char* conf;
        bool announced;
    };
    const Case cases[] = {
        {"", true},
        {"plugin = 0x64DB0\n", false},
        {"plugin = 413104\n", false}, // the same component, in decimal
        {"plugin = 414209\n", true},  // the other companion plug-in does not stop them
        {"plugin = 414209\nplugin = 0x64db0\n", false},
    };
    for (const Case& c : cases) {
        DatagramListener listener;
        fs::create_directories(fHome.path() / "config/brindle");
        WriteFile(fHome.path() / "config/brindle/host.conf", std::string(c.conf) + "companion = " +
                                                                 listener.Destination() + "\n");
        ASSERT_EQ(Shell("open " + Quote(jpg) + "\nsave\nclose\n"), 0) << c.conf << fErr;
        const std::vector<std::string> got = listener.Drain();
        EXPECT_EQ(got.size(), c.announced ? 3u : 0u) << c.conf;
        if (c.announced && got.size() == 3) {
            EXPECT_TRUE(Contains(got[0], "OPEN")) << got[0];
            EXPECT_TRUE(Contains(got[2], "CLOSE")) << got[2];
        }
    }
}

} // namespace

// Undo puts back packets only. A step whose effect is a lock file, a story file, a link or the
// document's structure leaves no undo step and ends the history before it, so that no earlier
// step can be undone past it; the two update steps, which only take packets, undo as any edit.
TEST_F(StoryWorkflowShellTest, StepsUndoCannotTakeBackEndTheUndoHistory) {
    const fs::path other = fDir.path() / "Other.icml";
    fs::copy_file(B(), other);
    struct Case {
        const char* step;
        bool undoable;
        // The edit before the step: of the checked-out story, or (for the check-out itself) of
        // the document.
        bool editDocument = false;
    };
    const std::string relink = "story relink u10482 " + Quote(other) + "\n";
    const std::string place = "place " + Quote(other) + "\n";
    const Case cases[] = {
        {"story checkout u10482\n", false, true},
        {"story checkin u10482\n", false},
        {"story cancel-checkout u10482\n", false},
        {relink.c_str(), false},
        {place.c_str(), false},
        {"assignment user Safety ann\n", false},
        {"story update u10482\n", true},
        {"assignment update Safety\n", true},
    };
    for (const Case& c : cases) {
        for (const fs::path& lock : LockFiles(fDir.path()))
            fs::remove(lock);
        // An edit of the story (checked out, so that it may be edited), then the step.
        const std::string edit = c.editDocument ? "apply Editorial\nset Headline=Edited\n"
                                                : "story checkout u10482\nselect story u10482\napply Editorial\n"
                                                  "set Headline=Edited\n";
        const std::string script = "open " + Quote(fIdml) + "\n" + edit + c.step + "history\nundo\n";
        const int code = Shell(script, "", "--keep-going");
        if (c.undoable) {
            EXPECT_EQ(code, 0) << c.step << fOut << fErr;
            EXPECT_TRUE(Contains(fOut, "undo 1: ")) << c.step << fOut;
            EXPECT_FALSE(Contains(fErr, "nothing to undo")) << c.step << fErr;
        } else {
            EXPECT_NE(code, 0) << c.step << fOut;
            EXPECT_FALSE(Contains(fOut, "undo 1: ")) << c.step << fOut;
            EXPECT_TRUE(Contains(fErr, "nothing to undo")) << c.step << fErr;
        }
    }
}
