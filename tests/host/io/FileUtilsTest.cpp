#include "base/HostConfig.h"
#include "io/FileUtils.h"
#include "TestSupport.h"

#include <csignal>
#include <cstdlib>
#include <chrono>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// Sets (or with null, removes) an environment variable for one test and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : fName(name) {
        if (const char* old = std::getenv(name)) fOld = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (fOld)
            ::setenv(fName.c_str(), fOld->c_str(), 1);
        else
            ::unsetenv(fName.c_str());
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string fName;
    std::optional<std::string> fOld;
};

std::vector<std::string> EntryNames(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    return names;
}

fs::perms PermsOf(const fs::path& p) {
    return fs::status(p).permissions() & fs::perms::mask;
}

class FileUtilsTest : public ::testing::Test {
protected:
    void TearDown() override { HostConfig::Get() = HostConfig{}; }
    TempDir fTmp;
};

TEST_F(FileUtilsTest, FoldersUnderConfiguredHome) {
    HostConfig::Get().home = fTmp.path();
    IDFile roaming, recovery, roamingRoot;
    ASSERT_TRUE(FileUtils::GetAppRoamingDataFolder(&roaming, PMString("corvane")));
    ASSERT_TRUE(FileUtils::GetRecoveryFolder(&recovery, PMString("corvane")));
    ASSERT_TRUE(FileUtils::GetAppRoamingDataFolder(&roamingRoot, PMString()));
    EXPECT_EQ(roaming.Path(), fTmp.path() / "config" / "corvane");
    EXPECT_EQ(recovery.Path(), fTmp.path() / "state" / "corvane");
    EXPECT_EQ(roamingRoot.Path(), fTmp.path() / "config");
    // Asking for a folder does not make it.
    EXPECT_FALSE(fs::exists(roaming.Path()));
    EXPECT_FALSE(fs::exists(recovery.Path()));
    EXPECT_FALSE(FileUtils::GetAppRoamingDataFolder(nullptr, PMString("x")));
}

TEST_F(FileUtilsTest, XDGFoldersWhenNoHomeIsConfigured) {
    HostConfig::Get().home.clear();
    const std::string config = (fTmp.path() / "xdg-config").string();
    const std::string state = (fTmp.path() / "xdg-state").string();
    ScopedEnv c("XDG_CONFIG_HOME", config.c_str());
    ScopedEnv s("XDG_STATE_HOME", state.c_str());
    IDFile roaming, recovery;
    ASSERT_TRUE(FileUtils::GetAppRoamingDataFolder(&roaming, PMString("corvane")));
    ASSERT_TRUE(FileUtils::GetRecoveryFolder(&recovery, PMString("corvane")));
    EXPECT_EQ(roaming.Path(), fs::path(config) / "corvane");
    EXPECT_EQ(recovery.Path(), fs::path(state) / "corvane");
}

TEST_F(FileUtilsTest, XDGFallsBackUnderHOME) {
    HostConfig::Get().home.clear();
    const std::string home = (fTmp.path() / "user").string();
    ScopedEnv h("HOME", home.c_str());
    struct Case {
        const char* name;
        const char* configValue; // null: unset
    };
    // An unset, empty or relative XDG value is ignored.
    const std::vector<Case> cases = {{"unset", nullptr}, {"empty", ""}, {"relative", "rel/config"}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.name);
        ScopedEnv c("XDG_CONFIG_HOME", k.configValue);
        ScopedEnv s("XDG_STATE_HOME", k.configValue);
        IDFile roaming, recovery;
        ASSERT_TRUE(FileUtils::GetAppRoamingDataFolder(&roaming, PMString("corvane")));
        ASSERT_TRUE(FileUtils::GetRecoveryFolder(&recovery, PMString("corvane")));
        EXPECT_EQ(roaming.Path(), fs::path(home) / ".config" / "corvane");
        EXPECT_EQ(recovery.Path(), fs::path(home) / ".local/state" / "corvane");
    }
}

TEST_F(FileUtilsTest, NoFolderWithoutHomeOrXDG) {
    HostConfig::Get().home.clear();
    ScopedEnv h("HOME", nullptr);
    ScopedEnv c("XDG_CONFIG_HOME", nullptr);
    ScopedEnv s("XDG_STATE_HOME", nullptr);
    IDFile f(fs::path("/untouched"));
    EXPECT_FALSE(FileUtils::GetAppRoamingDataFolder(&f, PMString("corvane")));
    EXPECT_FALSE(FileUtils::GetRecoveryFolder(&f, PMString("corvane")));
}

TEST_F(FileUtilsTest, CreateFolderIfNeeded) {
    IDFile deep(fTmp.path() / "a" / "b" / "c");
    EXPECT_FALSE(FileUtils::CreateFolderIfNeeded(deep, kFalse)) << "parents are missing";
    EXPECT_FALSE(fs::exists(deep.Path()));
    EXPECT_TRUE(FileUtils::CreateFolderIfNeeded(deep, kTrue));
    EXPECT_TRUE(fs::is_directory(deep.Path()));
    EXPECT_TRUE(FileUtils::CreateFolderIfNeeded(deep)) << "an existing folder is fine";

    IDFile one(fTmp.path() / "a" / "single");
    EXPECT_TRUE(FileUtils::CreateFolderIfNeeded(one, kFalse));
    EXPECT_TRUE(FileUtils::IsDirectory(one));

    WriteFile(fTmp / "plain", "x");
    EXPECT_FALSE(FileUtils::CreateFolderIfNeeded(IDFile(fTmp / "plain")));
    EXPECT_FALSE(FileUtils::CreateFolderIfNeeded(IDFile(fTmp / "plain" / "sub")));
}

TEST_F(FileUtilsTest, PathAndExistenceHelpers) {
    IDFile f(fTmp.path());
    FileUtils::AppendPath(&f, PMString("sub"));
    FileUtils::AppendPath(&f, PMString("n\xC3\xA6vn.xml"));
    EXPECT_EQ(f.Path(), fTmp.path() / "sub" / "n\xC3\xA6vn.xml");
    EXPECT_FALSE(FileUtils::DoesFileExist(f));

    fs::create_directories(f.Path().parent_path());
    WriteFile(f.Path(), "data");
    EXPECT_TRUE(FileUtils::DoesFileExist(f));
    EXPECT_FALSE(FileUtils::IsDirectory(f));
    EXPECT_TRUE(FileUtils::IsDirectory(f.Parent()));
    EXPECT_TRUE(FileUtils::DeleteFile(f));
    EXPECT_FALSE(FileUtils::DoesFileExist(f));
    EXPECT_FALSE(FileUtils::DeleteFile(f));
}

TEST_F(FileUtilsTest, WriteFileAtomicallyCreatesAndReplaces) {
    const fs::path target = fTmp / "prefs.xml";
    std::string error;
    ASSERT_TRUE(FileUtils::WriteFileAtomically(IDFile(target), "first version, rather long", &error))
        << error;
    EXPECT_EQ(ReadFile(target), "first version, rather long");

    const std::string binary("short\0with\xFFnul", 14);
    ASSERT_TRUE(FileUtils::WriteFileAtomically(IDFile(target), binary, &error)) << error;
    EXPECT_EQ(ReadFile(target), binary);

    ASSERT_TRUE(FileUtils::WriteFileAtomically(IDFile(target), "", &error)) << error;
    EXPECT_EQ(ReadFile(target), "");
    EXPECT_TRUE(fs::exists(target));

    // Nothing but the target is left in the folder.
    EXPECT_EQ(EntryNames(fTmp.path()), std::vector<std::string>{"prefs.xml"});
}

TEST_F(FileUtilsTest, WriteFileAtomicallyKeepsPermissionsOfExistingFile) {
    const fs::path target = fTmp / "secret.xml";
    WriteFile(target, "old");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                    fs::perm_options::replace);
    ASSERT_TRUE(FileUtils::WriteFileAtomically(IDFile(target), "new"));
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(PermsOf(target), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(FileUtilsTest, WriteFileAtomicallyGivesNewFileTheUsualPermissions) {
    const mode_t old = ::umask(022);
    const fs::path target = fTmp / "new.xml";
    const bool ok = FileUtils::WriteFileAtomically(IDFile(target), "x");
    ::umask(old);
    ASSERT_TRUE(ok);
    // mkstemp alone would give 0600.
    EXPECT_EQ(PermsOf(target), static_cast<fs::perms>(0644));
}

TEST_F(FileUtilsTest, WriteFileAtomicallyIntoMissingFolderFails) {
    const fs::path target = fTmp / "missing" / "f.xml";
    std::string error;
    EXPECT_FALSE(FileUtils::WriteFileAtomically(IDFile(target), "x", &error));
    EXPECT_NE(error.find(target.string()), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(target.parent_path()));
    EXPECT_FALSE(FileUtils::WriteFileAtomically(IDFile(target), "x")) << "no error text wanted is fine";
}

TEST_F(FileUtilsTest, WriteFileAtomicallyIntoReadOnlyFolderLeavesOldFile) {
    const fs::path folder = fTmp / "locked";
    fs::create_directory(folder);
    const fs::path target = folder / "settings.xml";
    WriteFile(target, "old content");
    fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    if (::access(folder.c_str(), W_OK) == 0) {
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
        GTEST_SKIP() << "the folder stays writable for this user (root)";
    }
    std::string error;
    const bool ok = FileUtils::WriteFileAtomically(IDFile(target), "new content", &error);
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    EXPECT_FALSE(ok);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFile(target), "old content");
    EXPECT_EQ(EntryNames(folder), std::vector<std::string>{"settings.xml"});
}

TEST_F(FileUtilsTest, WriteFileAtomicallyFailingWriteLeavesOldFile) {
    // A file size limit makes the write fail part-way, for any user.
    const fs::path target = fTmp / "settings.xml";
    WriteFile(target, "old content");
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 4;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    const bool ok = FileUtils::WriteFileAtomically(IDFile(target), std::string(100, 'n'), &error);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_FALSE(ok);
    EXPECT_NE(error.find(target.string()), std::string::npos) << error;
    EXPECT_EQ(ReadFile(target), "old content");
    EXPECT_EQ(EntryNames(fTmp.path()), std::vector<std::string>{"settings.xml"});
}

TEST_F(FileUtilsTest, WriteFileAtomicallyOntoAFolderFailsWithoutLeftovers) {
    const fs::path target = fTmp / "adir";
    fs::create_directory(target);
    WriteFile(target / "inside", "keep");
    std::string error;
    EXPECT_FALSE(FileUtils::WriteFileAtomically(IDFile(target), "x", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(ReadFile(target / "inside"), "keep");
    EXPECT_EQ(EntryNames(fTmp.path()), std::vector<std::string>{"adir"});
}

TEST_F(FileUtilsTest, FileURLRoundTrip) {
    struct Case {
        std::string path;
        std::string url;
    };
    const std::vector<Case> cases = {
        {"/tmp/plain/file.xml", "file:///tmp/plain/file.xml"},
        {"/tmp/with blank/my file.xml", "file:///tmp/with%20blank/my%20file.xml"},
        {"/tmp/\xC3\xA6\xC3\xB8\xC3\xA5/\xE2\x82\xAC.txt", "file:///tmp/%C3%A6%C3%B8%C3%A5/%E2%82%AC.txt"},
        {"/tmp/odd%#?&+;=@'\"/x", "file:///tmp/odd%25%23%3F%26%2B%3B%3D%40%27%22/x"},
        {"/tmp/a-b_c.d~e", "file:///tmp/a-b_c.d~e"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        PMString url = FileUtils::FileToURL(IDFile(fs::path(c.path)));
        EXPECT_EQ(url.GetUTF8String(), c.url);
        EXPECT_EQ(url.GetTranslatable(), kFalse);
        IDFile back;
        ASSERT_TRUE(FileUtils::URLToFile(url, &back));
        EXPECT_EQ(back.Path(), fs::path(c.path));
    }
}

TEST_F(FileUtilsTest, FileToURLMakesRelativePathsAbsolute) {
    PMString url = FileUtils::FileToURL(IDFile(fs::path("rel dir/f.xml")));
    IDFile back;
    ASSERT_TRUE(FileUtils::URLToFile(url, &back));
    EXPECT_TRUE(back.Path().is_absolute());
    EXPECT_EQ(back.Path(), fs::absolute("rel dir/f.xml"));
}

TEST_F(FileUtilsTest, URLToFileForms) {
    struct Case {
        std::string text;
        bool ok;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"file://localhost/tmp/x%20y", true, "/tmp/x y"},
        {"file:///tmp/lower%c3%a6", true, "/tmp/lower\xC3\xA6"},
        {"file:///tmp/not%zzhex", true, "/tmp/not%zzhex"},
        {"/plain/path with blank", true, "/plain/path with blank"},
        {"", false, ""},
        {"file://", false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        IDFile f;
        EXPECT_EQ(FileUtils::URLToFile(PMString(c.text), &f), c.ok);
        if (c.ok) {
            EXPECT_EQ(f.Path(), fs::path(c.path));
        }
    }
}

} // namespace

// A write into a folder removes the temporary files that an interrupted write of ours left
// there, but not one that is still fresh (a write under way) nor any file not of ours.
TEST(FileUtilsTemporaries, AWriteRemovesStaleTemporariesOfOursOnly) {
    testsupport::TempDir dir;
    const auto old = std::filesystem::file_time_type::clock::now() - std::chrono::hours(2);
    struct Case {
        std::string name;
        bool stale;
        bool removed;
    };
    const Case cases[] = {
        {".brindle-tmp-abc123", true, true},
        {".brindle-tmp-def456.jpg", true, true},
        {".brindle-tmp-fresh1", false, false},
        {"notes.brindle-tmp-x", true, false},
        {".other-tmp-abc123", true, false},
    };
    for (const Case& c : cases) {
        testsupport::WriteFile(dir.path() / c.name, "left over");
        if (c.stale) std::filesystem::last_write_time(dir.path() / c.name, old);
    }
    ASSERT_TRUE(FileUtils::WriteFileAtomically(IDFile(dir.path() / "Notes_ID.xml"), "new"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(std::filesystem::exists(dir.path() / c.name), !c.removed);
    }
    EXPECT_EQ(testsupport::ReadFile(dir.path() / "Notes_ID.xml"), "new");
}
