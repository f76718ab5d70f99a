// Replacements made durable together: until the group commits, every file is as it was and
// only temporaries of ours lie beside it; afterwards each committed file holds its new bytes,
// each failed one its old bytes, no temporary is left, and the locks went with the content.
#include "TestSupport.h"
#include "formats/FileReplace.h"
#include "formats/IdmlPackage.h"
#include "formats/StoryXml.h"
#include "io/FileLock.h"
#include "io/FileUtils.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <sys/file.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using FileReplace::Group;
using testsupport::FreeToLock;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::Temporaries;
using testsupport::WriteFile;

namespace {

struct FaultReset {
    ~FaultReset() { Group::SetFault({}); }
};

enum class Step { kCommit, kAbandon };

struct Case {
    const char* name;
    Group::Fault fault;
    std::string madeAFolder; // the document replaced by a folder between prepare and commit
    Step step;
    std::vector<bool> committed; // a.txt, b.txt, c.txt
    Group::Sync sync = Group::Sync::kFileSystem;
};

TEST(GroupCommitTest, EachFileIsWhollyOldOrWhollyNewAndNothingIsLeftBehind) {
    const std::vector<std::string> names = {"a.txt", "b.txt", "c.txt"};
    const std::vector<Case> cases = {
        {"all committed", {}, "", Step::kCommit, {true, true, true}},
        {"all committed, each file synced", {}, "", Step::kCommit, {true, true, true}, Group::Sync::kEachFile},
        {"one rename fails, each file synced", {false, "a.txt"}, "", Step::kCommit, {false, true, true},
         Group::Sync::kEachFile},
        {"the sync fails", {true, ""}, "", Step::kCommit, {false, false, false}},
        {"one rename fails", {false, "b.txt"}, "", Step::kCommit, {true, false, true}},
        {"a folder took a file's place", {}, "c.txt", Step::kCommit, {true, true, false}},
        {"the group is abandoned", {}, "", Step::kAbandon, {false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FaultReset reset;
        TempDir tmp;
        std::vector<std::unique_ptr<FileLock>> locks(names.size());
        for (size_t i = 0; i < names.size(); ++i) {
            WriteFile(tmp / names[i], "old " + names[i]);
            ASSERT_EQ(FileLock::Acquire(tmp / names[i], FileLock::Kind::kDocument, &locks[i], nullptr),
                      FileLock::Outcome::kLocked);
        }
        std::vector<std::string> events;
        std::map<size_t, size_t> numberOf;
        {
            Group group(c.sync);
            ASSERT_EQ(Group::Current(), &group);
            for (size_t i = 0; i < names.size(); ++i) {
                numberOf[i] = group.BeginDocument();
                fs::path temp;
                ASSERT_TRUE(FileReplace::WriteTemp(tmp / names[i], "new " + names[i], &temp));
                ASSERT_TRUE(FileReplace::Commit(temp, tmp / names[i]));
                FileReplace::AfterCommit([&events, n = names[i]] { events.push_back("saved " + n); });
                FileReplace::WhenDone([&events, n = names[i]] { events.push_back("closed " + n); });
            }
            EXPECT_EQ(group.Waiting(), names.size());
            // Prepared, not committed: what a power loss now would leave.
            for (const std::string& n : names)
                EXPECT_EQ(ReadFile(tmp / n), "old " + n);
            EXPECT_EQ(Temporaries(tmp.path()).size(), names.size());
            EXPECT_TRUE(events.empty());

            if (!c.madeAFolder.empty()) {
                fs::remove(tmp / c.madeAFolder);
                fs::create_directory(tmp / c.madeAFolder);
                WriteFile(tmp / c.madeAFolder / "inside", "x");
            }
            Group::SetFault(c.fault);
            if (c.step == Step::kCommit) {
                group.Commit();
                const auto results = group.TakeResults();
                ASSERT_EQ(results.size(), names.size());
                for (size_t i = 0; i < names.size(); ++i) {
                    SCOPED_TRACE(names[i]);
                    EXPECT_EQ(results[i].first, numberOf[i]);
                    EXPECT_EQ(results[i].second.outcome,
                              c.committed[i] ? Group::Outcome::kCommitted : Group::Outcome::kFailed);
                    EXPECT_EQ(results[i].second.error.empty(), c.committed[i]) << results[i].second.error;
                }
                EXPECT_EQ(group.Waiting(), 0u);
            }
        }
        EXPECT_EQ(Group::Current(), nullptr);
        EXPECT_TRUE(Temporaries(tmp.path()).empty());
        std::vector<std::string> expected;
        for (size_t i = 0; i < names.size(); ++i)
            if (c.committed[i]) expected.push_back("saved " + names[i]);
        for (const std::string& n : names)
            expected.push_back("closed " + n);
        if (c.step == Step::kCommit) {
            // Per document: saved (when committed), then closed.
            expected.clear();
            for (size_t i = 0; i < names.size(); ++i) {
                if (c.committed[i]) expected.push_back("saved " + names[i]);
                expected.push_back("closed " + names[i]);
            }
        }
        EXPECT_EQ(events, expected);
        for (size_t i = 0; i < names.size(); ++i) {
            SCOPED_TRACE(names[i]);
            if (names[i] == c.madeAFolder) continue;
            EXPECT_EQ(ReadFile(tmp / names[i]), (c.committed[i] ? "new " : "old ") + names[i]);
            // The lock stayed with the document, on whichever content the name now holds.
            EXPECT_FALSE(FreeToLock(tmp / names[i]));
            locks[i].reset();
            EXPECT_TRUE(FreeToLock(tmp / names[i]));
        }
    }
}

// Outside a group the actions run at once and a replacement is in place when Commit returns.
TEST(GroupCommitTest, WithoutAGroupAReplacementIsMadeAtOnce) {
    TempDir tmp;
    WriteFile(tmp / "a.txt", "old");
    fs::path temp;
    ASSERT_TRUE(FileReplace::WriteTemp(tmp / "a.txt", "new", &temp));
    ASSERT_TRUE(FileReplace::Commit(temp, tmp / "a.txt"));
    EXPECT_EQ(ReadFile(tmp / "a.txt"), "new");
    std::vector<std::string> events;
    FileReplace::AfterCommit([&] { events.push_back("saved"); });
    FileReplace::WhenDone([&] { events.push_back("closed"); });
    EXPECT_EQ(events, (std::vector<std::string>{"saved", "closed"}));
    EXPECT_TRUE(Temporaries(tmp.path()).empty());
}

// Waiting for a lock another process holds first commits what waits here: the other process
// may be waiting for one of ours.
TEST(GroupCommitTest, WaitingForALockCommitsTheGroupFirst) {
    TempDir tmp;
    WriteFile(tmp / "mine.txt", "old");
    WriteFile(tmp / "theirs.txt", "theirs");
    ::setenv("BRINDLE_LOCK_TIMEOUT", "0.1", 1);
    const int other = ::open((tmp / "theirs.txt").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    {
        Group group;
        group.BeginDocument();
        fs::path temp;
        ASSERT_TRUE(FileReplace::WriteTemp(tmp / "mine.txt", "new", &temp));
        ASSERT_TRUE(FileReplace::Commit(temp, tmp / "mine.txt"));
        EXPECT_EQ(ReadFile(tmp / "mine.txt"), "old");
        group.BeginDocument();
        std::unique_ptr<FileLock> lock;
        EXPECT_EQ(FileLock::Acquire(tmp / "theirs.txt", FileLock::Kind::kDocument, &lock, nullptr),
                  FileLock::Outcome::kTimedOut);
        EXPECT_EQ(ReadFile(tmp / "mine.txt"), "new");
        const auto results = group.TakeResults();
        ASSERT_EQ(results.size(), 1u);
        EXPECT_EQ(results[0].second.outcome, Group::Outcome::kCommitted);
    }
    ::close(other);
    ::unsetenv("BRINDLE_LOCK_TIMEOUT");
}

// A document saved twice before its group commits: the second write starts from the first's
// content, not from the file as it was, and both belong to the same document.
TEST(GroupCommitTest, ASecondSaveBeforeTheCommitBuildsOnTheFirst) {
    TempDir tmp;
    const fs::path idml = tmp / "layout.idml";
    fs::copy_file(fs::path(BRINDLE_TEST_DATA) / "idml" / "4_story_pointers.idml", idml);
    fs::permissions(idml, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    auto packet = [](const char* value) {
        return std::string("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
                           "rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmp:Label=\"") +
               value + "\"/></rdf:RDF></x:xmpmeta>";
    };
    const std::string first = "Stories/Story_u1043a.xml", second = "Stories/Story_u10482.xml";
    std::string error;
    Group group;
    const size_t number = group.BeginDocument();
    IdmlPackage::Changes a, b;
    a.stories[first] = packet("first");
    b.stories[second] = packet("second");
    ASSERT_TRUE(IdmlPackage::Write(idml, a, &error)) << error;
    EXPECT_EQ(group.Waiting(), 1u);
    ASSERT_TRUE(IdmlPackage::Write(idml, b, &error)) << error;
    group.Commit();
    EXPECT_EQ(group.Waiting(), 0u);
    const auto results = group.TakeResults();
    ASSERT_EQ(results.size(), 2u);
    for (const auto& [n, r] : results) {
        EXPECT_EQ(n, number);
        EXPECT_EQ(r.outcome, Group::Outcome::kCommitted) << r.error;
    }
    for (const auto& [entry, value] : {std::pair{first, "first"}, std::pair{second, "second"}}) {
        const std::string xml = testsupport::CaptureOutput("unzip -p " + testsupport::Quote(idml) + " " + entry);
        StoryXml::Story story;
        ASSERT_TRUE(StoryXml::Find(xml, &story)) << entry;
        EXPECT_NE(story.packet.find(std::string("xmp:Label=\"") + value + "\""), std::string::npos) << entry;
    }
    EXPECT_TRUE(Temporaries(tmp.path()).empty());
}

} // namespace
