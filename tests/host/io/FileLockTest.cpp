#include "io/FileLock.h"
#include "io/FileUtils.h"
#include "TestSupport.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::FreeToLock;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Whether another open file description (as another process would have) can lock the file now.
// Sets $BRINDLE_LOCK_TIMEOUT for the scope.
class LockTimeout {
public:
    explicit LockTimeout(const char* seconds) { ::setenv("BRINDLE_LOCK_TIMEOUT", seconds, 1); }
    ~LockTimeout() { ::unsetenv("BRINDLE_LOCK_TIMEOUT"); }
};

TEST(FileLockTest, TimeoutComesFromTheEnvironment) {
    const struct {
        const char* value;
        double seconds;
    } cases[] = {{nullptr, 30}, {"", 30}, {"2.5", 2.5}, {"0", 0}, {"-1", 30}, {"soon", 30}, {"3s", 30}};
    for (const auto& c : cases) {
        if (c.value)
            ::setenv("BRINDLE_LOCK_TIMEOUT", c.value, 1);
        else
            ::unsetenv("BRINDLE_LOCK_TIMEOUT");
        EXPECT_EQ(FileLock::Timeout(), c.seconds) << (c.value ? c.value : "unset");
    }
    ::unsetenv("BRINDLE_LOCK_TIMEOUT");
}

TEST(FileLockTest, WhatCanBeLocked) {
    TempDir tmp;
    WriteFile(tmp / "doc.jpg", "bytes");
    ASSERT_EQ(::mkfifo((tmp / "fifo").c_str(), 0600), 0);
    fs::create_directory(tmp / "folder");
    const struct {
        const char* name;
        FileLock::Kind kind;
        FileLock::Outcome outcome;
        bool created;
    } cases[] = {
        {"doc.jpg", FileLock::Kind::kDocument, FileLock::Outcome::kLocked, false},
        {"missing.jpg", FileLock::Kind::kDocument, FileLock::Outcome::kNotAFile, false},
        {"fifo", FileLock::Kind::kDocument, FileLock::Outcome::kNotAFile, false},
        {"folder", FileLock::Kind::kDocument, FileLock::Outcome::kNotAFile, false},
        {".lock", FileLock::Kind::kLockFile, FileLock::Outcome::kLocked, true},
        {"no folder/.lock", FileLock::Kind::kLockFile, FileLock::Outcome::kFailed, false},
        {"fifo", FileLock::Kind::kLockFile, FileLock::Outcome::kFailed, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<FileLock> lock;
        std::string why;
        EXPECT_EQ(FileLock::Acquire(tmp / c.name, c.kind, &lock, &why), c.outcome) << why;
        EXPECT_EQ(lock != nullptr, c.outcome == FileLock::Outcome::kLocked);
        if (c.outcome == FileLock::Outcome::kFailed) {
            EXPECT_NE(why, "");
        }
        if (c.created) {
            EXPECT_TRUE(fs::is_regular_file(tmp / c.name));
        }
        if (lock) {
            EXPECT_FALSE(FreeToLock(tmp / c.name));
            lock.reset();
            EXPECT_TRUE(FreeToLock(tmp / c.name));
        }
    }
}

TEST(FileLockTest, AHeldLockTimesOutWithItsReason) {
    TempDir tmp;
    WriteFile(tmp / "doc.jpg", "bytes");
    const int other = ::open((tmp / "doc.jpg").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    LockTimeout timeout("0.2");
    std::unique_ptr<FileLock> lock;
    std::string why;
    EXPECT_EQ(FileLock::Acquire(tmp / "doc.jpg", FileLock::Kind::kDocument, &lock, &why),
              FileLock::Outcome::kTimedOut);
    EXPECT_EQ(lock, nullptr);
    EXPECT_NE(why.find("locked by another process"), std::string::npos) << why;
    EXPECT_NE(why.find((tmp / "doc.jpg").string()), std::string::npos) << why;
    ::close(other);
    EXPECT_EQ(FileLock::Acquire(tmp / "doc.jpg", FileLock::Kind::kDocument, &lock, &why),
              FileLock::Outcome::kLocked);
}

// A file replaced by a rename has a new inode: the lock goes with the content, so that no
// other process can take the new file while its writer still holds the document.
TEST(FileLockTest, TheLockFollowsAFileReplacedByOurWriters) {
    TempDir tmp;
    const fs::path doc = tmp / "doc.xmp";
    WriteFile(doc, "old");
    std::unique_ptr<FileLock> lock;
    ASSERT_EQ(FileLock::Acquire(doc, FileLock::Kind::kDocument, &lock, nullptr), FileLock::Outcome::kLocked);
    struct stat before {};
    ASSERT_EQ(::stat(doc.c_str(), &before), 0);
    ASSERT_TRUE(FileUtils::WriteFileAtomically(IDFile(doc), "new"));
    ASSERT_TRUE(FileUtils::WriteFilesAtomically({{IDFile(doc), "newer"}}));
    struct stat after {};
    ASSERT_EQ(::stat(doc.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "the writer replaced the file";
    EXPECT_EQ(ReadFile(doc), "newer");
    EXPECT_FALSE(FreeToLock(doc));
    // A second lock of this process on the same file is refused rather than waited for.
    std::unique_ptr<FileLock> second;
    EXPECT_EQ(FileLock::Acquire(doc, FileLock::Kind::kDocument, &second, nullptr), FileLock::Outcome::kFailed);
    lock.reset();
    EXPECT_TRUE(FreeToLock(doc));
}

// Several files written as one change: all of them, or none when one cannot be written.
TEST(FileUtilsWriteFilesTest, AllOrNothing) {
    struct Case {
        const char* what;
        std::vector<std::string> names; // what is written, in order
        std::string inTheWay;           // a folder of that name where a file goes
        bool ok;
    };
    const std::vector<Case> cases = {
        {"every file", {"a", "b", "new"}, "", true},
        {"the last one is a folder", {"a", "new", "b", "stuck"}, "stuck", false},
        {"the first one is a folder", {"stuck", "a", "b"}, "stuck", false},
        {"a folder that is missing", {"a", "missing/x", "b"}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir tmp;
        WriteFile(tmp / "a", "old a");
        WriteFile(tmp / "b", "old b");
        if (!c.inTheWay.empty()) fs::create_directory(tmp / c.inTheWay);
        std::vector<std::pair<IDFile, std::string>> files;
        for (const std::string& n : c.names)
            files.emplace_back(IDFile(tmp / n), "new " + n);
        std::string why;
        EXPECT_EQ(FileUtils::WriteFilesAtomically(files, &why), c.ok) << why;
        std::map<std::string, std::string> expected = {{"a", "old a"}, {"b", "old b"}};
        if (c.ok)
            for (const std::string& n : c.names)
                expected[n] = "new " + n;
        else
            EXPECT_NE(why, "");
        std::map<std::string, std::string> found;
        for (const auto& e : fs::directory_iterator(tmp.path()))
            if (e.is_regular_file()) found[e.path().filename().string()] = ReadFile(e.path());
        // Nothing of ours is left beside the files either.
        EXPECT_EQ(found, expected);
    }
}

} // namespace
