// Two brindle processes changing the same library, settings or document at once: each
// keeps the other's change. And a lock held elsewhere makes a writer wait, then give up.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <ostream>
#include <gtest/gtest.h>
#include <string>
#include <sys/file.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;

namespace {

std::string Sample(const std::string& name) {
    return Quote(SamplesLibrary() / (name + "_ID.xml"));
}

struct Outcome {
    int code = -1;
    std::string err;
};

// Runs the commands (brindle arguments each) at the same time; their exit codes and errors.
std::vector<Outcome> RunTogether(const std::vector<std::string>& commands) {
    TempDir tmp;
    std::string script;
    for (size_t i = 0; i < commands.size(); ++i) {
        const std::string n = std::to_string(i);
        script += "( " + Quote(std::string(BRINDLE_BINARY)) + " " + commands[i] + " >/dev/null 2>" +
                  Quote(tmp / ("err" + n)) + " </dev/null; echo $? >" + Quote(tmp / ("code" + n)) + " ) & ";
    }
    script += "wait";
    EXPECT_EQ(std::system(script.c_str()), 0);
    std::vector<Outcome> outcomes(commands.size());
    for (size_t i = 0; i < commands.size(); ++i) {
        const std::string n = std::to_string(i);
        outcomes[i].code = std::atoi(ReadFile(tmp / ("code" + n)).c_str());
        outcomes[i].err = ReadFile(tmp / ("err" + n));
    }
    return outcomes;
}

nlohmann::json JSONOf(const std::string& args) {
    std::string out, err;
    EXPECT_EQ(RunBrindle(args, &out, &err), 0) << args << "\n" << err;
    return nlohmann::json::parse(out, nullptr, false);
}

std::vector<std::string> LibraryNames(const std::string& home) {
    std::vector<std::string> names;
    const nlohmann::json j = JSONOf("--home " + home + " library list --json");
    if (j.is_object() && j["packages"].is_array())
        for (const auto& p : j["packages"])
            names.push_back(p.value("name", ""));
    return names;
}

// The value of the field of the document's first package, by short name.
std::string FieldValue(const fs::path& doc, const std::string& shortName) {
    const nlohmann::json j = JSONOf("packages --json " + Quote(doc));
    if (!j.is_object() || !j["documents"].is_array() || j["documents"].empty()) return "<unreadable>";
    for (const auto& p : j["documents"][0]["packages"])
        for (const auto& f : p["fields"])
            if (f.value("shortName", "") == shortName) return f.value("value", "");
    return "<missing>";
}

// One pair of commands that change what both depend on: prepared in a fresh home, run at
// once, then checked for both changes.
struct Race {
    const char* name;
    std::function<void(const std::string& home, const fs::path& doc)> prepare;
    std::function<std::vector<std::string>(const std::string& home, const fs::path& doc, int round)> commands;
    std::function<void(const std::string& home, const fs::path& doc, int round)> check;
};

// The case's name where a test's parameter is printed (ctest lists it).
void PrintTo(const Race& race, std::ostream* os) {
    *os << race.name;
}

void Prepare(const std::string& args) {
    std::string err;
    ASSERT_EQ(RunBrindle(args, nullptr, &err), 0) << args << "\n" << err;
}

const Race kRaces[] = {
    {"TwoImportsOfDifferentPackages", [](const std::string&, const fs::path&) {},
     [](const std::string& home, const fs::path&, int) {
         return std::vector<std::string>{"--home " + home + " library import " + Sample("Advertising"),
                                         "--home " + home + " library import " + Sample("Production")};
     },
     [](const std::string& home, const fs::path&, int) {
         EXPECT_EQ(LibraryNames(home), (std::vector<std::string>{"Advertising", "Production"}));
     }},
    {"ImportAndSettingsSet", [](const std::string&, const fs::path&) {},
     [](const std::string& home, const fs::path&, int round) {
         return std::vector<std::string>{"--home " + home + " library import " + Sample("Production"),
                                         "--home " + home + " settings set DataType " +
                                             (round % 2 ? "InCopy" : "Assignment")};
     },
     [](const std::string& home, const fs::path&, int round) {
         EXPECT_EQ(LibraryNames(home), std::vector<std::string>{"Production"});
         const nlohmann::json s = JSONOf("--home " + home + " settings --json");
         EXPECT_EQ(s.value("dataType", ""), round % 2 ? "InCopy" : "Assignment");
         EXPECT_EQ(s.value("packageCount", 0), 1);
     }},
    {"DeleteAndImport",
     [](const std::string& home, const fs::path&) {
         Prepare("--home " + home + " library import " + Sample("Advertising"));
     },
     [](const std::string& home, const fs::path&, int) {
         return std::vector<std::string>{"--home " + home + " library delete Advertising",
                                         "--home " + home + " library import " + Sample("Production")};
     },
     [](const std::string& home, const fs::path&, int) {
         EXPECT_EQ(LibraryNames(home), std::vector<std::string>{"Production"});
     }},
    {"TwoSetsOfDifferentFieldsOnOneDocument",
     [](const std::string& home, const fs::path&) {
         Prepare("--home " + home + " library import " + Sample("Editorial"));
     },
     [](const std::string& home, const fs::path& doc, int round) {
         const std::string n = std::to_string(round);
         return std::vector<std::string>{"--home " + home + " --user a set " + Quote(doc) + " 'Headline=Head " + n + "'",
                                         "--home " + home + " --user b set " + Quote(doc) + " 'Kicker=Kick " + n + "'"};
     },
     [](const std::string&, const fs::path& doc, int round) {
         const std::string n = std::to_string(round);
         EXPECT_EQ(FieldValue(doc, "Headline"), "Head " + n);
         EXPECT_EQ(FieldValue(doc, "Kicker"), "Kick " + n);
     }},
    // The worker processes of -j lock each document as a single run does.
    {"BatchWorkersAndASet",
     [](const std::string& home, const fs::path& doc) {
         Prepare("--home " + home + " library import " + Sample("Editorial"));
         fs::copy_file(doc, doc.parent_path() / "other.jpg", fs::copy_options::overwrite_existing);
     },
     [](const std::string& home, const fs::path& doc, int round) {
         const std::string n = std::to_string(round);
         return std::vector<std::string>{"--home " + home + " set -q -j 2 -s 'Headline=Head " + n + "' " +
                                             Quote(doc.parent_path() / "other.jpg") + " " + Quote(doc),
                                         "--home " + home + " set " + Quote(doc) + " 'Kicker=Kick " + n + "'"};
     },
     [](const std::string&, const fs::path& doc, int round) {
         const std::string n = std::to_string(round);
         EXPECT_EQ(FieldValue(doc, "Headline"), "Head " + n);
         EXPECT_EQ(FieldValue(doc, "Kicker"), "Kick " + n);
     }},
};

class LockRaceTest : public ::testing::TestWithParam<Race> {};

TEST_P(LockRaceTest, NeitherChangeIsLost) {
    const Race& race = GetParam();
    TempDir work;
    const fs::path doc = work / "story.jpg";
    fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.jpg", doc);
    constexpr int kRounds = 20;
    for (int round = 0; round < kRounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        TempDir home;
        const std::string h = Quote(home.path());
        race.prepare(h, doc);
        for (const Outcome& o : RunTogether(race.commands(h, doc, round)))
            EXPECT_EQ(o.code, 0) << o.err;
        race.check(h, doc, round);
        if (::testing::Test::HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Races, LockRaceTest, ::testing::ValuesIn(kRaces),
                         [](const ::testing::TestParamInfo<Race>& info) { return std::string(info.param.name); });

// Holds an exclusive lock on a file, as another brindle process would, until released.
class HeldLock {
public:
    explicit HeldLock(const fs::path& file) {
        fFd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
        EXPECT_GE(fFd, 0) << file;
        EXPECT_EQ(::flock(fFd, LOCK_EX | LOCK_NB), 0) << file;
    }
    ~HeldLock() { Release(); }
    void Release() {
        if (fFd >= 0) ::close(fFd);
        fFd = -1;
    }

private:
    int fFd = -1;
};

class LockWaitTest : public ::testing::Test {
protected:
    void SetUp() override {
        fH = Quote(fHome.path());
        fDoc = fWork / "story.jpg";
        fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.jpg", fDoc);
        std::string err;
        ASSERT_EQ(RunBrindle("--home " + fH + " library import " + Sample("Editorial"), nullptr, &err), 0) << err;
    }
    void TearDown() override { ::unsetenv("BRINDLE_LOCK_TIMEOUT"); }
    fs::path LibraryLock() const { return fHome.path() / "config/corvane/.BrindleLibrary.lock"; }

    TempDir fHome, fWork;
    std::string fH;
    fs::path fDoc;
};

// What a writer does while another process holds the lock it needs for the whole wait: it
// gives up with exit 2, says which lock, and nothing changes.
TEST_F(LockWaitTest, AWriterGivesUpOnALockHeldThroughout) {
    struct Case {
        const char* what;
        std::function<fs::path()> lockFile;
        std::string args;
        std::function<void()> unchanged;
    };
    const std::vector<Case> cases = {
        {"library import", [&] { return LibraryLock(); }, "library import " + Sample("Production"),
         [&] { EXPECT_EQ(LibraryNames(fH), std::vector<std::string>{"Editorial"}); }},
        {"library delete", [&] { return LibraryLock(); }, "library delete Editorial",
         [&] { EXPECT_EQ(LibraryNames(fH), std::vector<std::string>{"Editorial"}); }},
        {"settings set", [&] { return LibraryLock(); }, "settings set DataType InCopy",
         [&] { EXPECT_EQ(JSONOf("--home " + fH + " settings --json").value("dataType", ""), "InDesign"); }},
        {"set on a document", [&] { return fDoc; }, "set " + Quote(fDoc) + " Headline=Locked",
         [&] { EXPECT_EQ(FieldValue(fDoc, "Headline"), "Blue squares take over the city"); }},
    };
    ::setenv("BRINDLE_LOCK_TIMEOUT", "0.3", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path file = c.lockFile();
        HeldLock held(file);
        std::string err;
        EXPECT_EQ(RunBrindle("--home " + fH + " " + c.args, nullptr, &err), 2) << err;
        EXPECT_NE(err.find("locked by another process"), std::string::npos) << err;
        EXPECT_NE(err.find(file.string()), std::string::npos) << err;
        held.Release();
        c.unchanged();
    }
}

// A lock released while the writer waits: the writer goes on and its change is stored.
TEST_F(LockWaitTest, AWriterWaitsForALockReleasedMeanwhile) {
    const struct {
        const char* what;
        bool document;
    } cases[] = {{"library import", false}, {"set on a document", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        HeldLock held(c.document ? fDoc : LibraryLock());
        const std::string args = c.document ? "set " + Quote(fDoc) + " Headline=Waited"
                                            : "library import " + Sample("Production");
        std::thread release([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            held.Release();
        });
        std::string err;
        const int code = RunBrindle("--home " + fH + " " + args, nullptr, &err);
        release.join();
        EXPECT_EQ(code, 0) << err;
        if (c.document)
            EXPECT_EQ(FieldValue(fDoc, "Headline"), "Waited");
        else
            EXPECT_EQ(LibraryNames(fH), (std::vector<std::string>{"Editorial", "Production"}));
    }
}

// Commands that only read take no lock: they run while a writer holds one.
TEST_F(LockWaitTest, ReadersTakeNoLock) {
    ::setenv("BRINDLE_LOCK_TIMEOUT", "0", 1);
    HeldLock library(LibraryLock());
    HeldLock document(fDoc);
    const std::vector<std::string> readers = {"library list", "settings", "packages " + Quote(fDoc),
                                              "check " + Quote(fDoc), "dump-xmp " + Quote(fDoc)};
    for (const std::string& args : readers) {
        std::string err;
        const int code = RunBrindle("--home " + fH + " " + args, nullptr, &err);
        EXPECT_TRUE(code == 0 || code == 3) << args << ": " << code << "\n" << err;
        EXPECT_EQ(err.find("locked"), std::string::npos) << args << "\n" << err;
    }
}

} // namespace
