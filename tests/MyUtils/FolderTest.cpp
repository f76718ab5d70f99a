#include "base/LocaleStrings.h"
#include "CVIXferBytes.h"
#include "PosixFileSystemIterator.h"
#include "SDKFolderChooser.h"
#include "TestSupport.h"
#include "ui/HostDialogs.h"

#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

std::set<std::string> Names(const std::vector<IDFile>& files) {
    std::set<std::string> names;
    for (const auto& f : files)
        names.insert(f.Path().filename().string());
    return names;
}

class FileSystemIteratorTest : public ::testing::Test {
protected:
    // Every name the iterator hands out from FindFirst/FindNext with the pattern.
    std::vector<IDFile> FindAll(const fs::path& folder, const char* pattern) {
        std::vector<IDFile> found;
        fIter.SetStartingPath(IDFile(folder));
        IDFile f;
        for (bool16 more = fIter.FindFirst(&f, PMString(pattern)); more; more = fIter.FindNext(&f)) {
            found.push_back(f);
            if (found.size() > 10000) break;
        }
        return found;
    }
    PosixFileSystemIterator fIter;
    TempDir fTmp;
};

TEST_F(FileSystemIteratorTest, ListEntriesStopsAtTheMaximum) {
    for (int i = 0; i < 300; ++i)
        WriteFile(fTmp / ("file" + std::to_string(i) + ".xml"), "x");
    std::vector<IDFile> list = {IDFile(fs::path("/stale/entry"))};
    fIter.ListEntries(IDFile(fTmp.path()), list, 256);
    ASSERT_EQ(list.size(), 256u);
    const auto names = Names(list);
    EXPECT_EQ(names.size(), 256u) << "no entry twice";
    for (const auto& f : list) {
        EXPECT_EQ(f.Path().parent_path(), fTmp.path());
        EXPECT_TRUE(fs::is_regular_file(f.Path())) << f.Path();
    }

    fIter.ListEntries(IDFile(fTmp.path()), list, 1000);
    EXPECT_EQ(list.size(), 300u);
    EXPECT_EQ(Names(list).size(), 300u);

    fIter.ListEntries(IDFile(fTmp.path()), list, 0);
    EXPECT_TRUE(list.empty());
}

TEST_F(FileSystemIteratorTest, ListEntriesSkipsDotsAndKeepsFolders) {
    WriteFile(fTmp / "a.xml", "x");
    WriteFile(fTmp / "noextension", "x");
    WriteFile(fTmp / ".hidden", "x");
    fs::create_directory(fTmp / "sub.d");
    std::vector<IDFile> list;
    fIter.ListEntries(IDFile(fTmp.path()), list, 256);
    EXPECT_EQ(Names(list), (std::set<std::string>{"a.xml", "noextension", ".hidden", "sub.d"}));
    for (const auto& f : list)
        EXPECT_EQ(fIter.IsDirectory(f), f.Path().filename() == "sub.d" ? kTrue : kFalse) << f.Path();
}

TEST_F(FileSystemIteratorTest, ListEntriesOfEmptyOrMissingFolder) {
    std::vector<IDFile> list = {IDFile(fs::path("/stale"))};
    fIter.ListEntries(IDFile(fTmp.path()), list, 256);
    EXPECT_TRUE(list.empty());
    list = {IDFile(fs::path("/stale"))};
    fIter.ListEntries(IDFile(fTmp / "missing"), list, 256);
    EXPECT_TRUE(list.empty());
}

TEST_F(FileSystemIteratorTest, FindFirstWithPattern) {
    for (const char* n : {"one.xml", "two.xml", "three.txt", "xml", "four.xml.bak"})
        WriteFile(fTmp / n, "x");
    fs::create_directory(fTmp / "dir.xml");
    struct Case {
        const char* pattern;
        std::set<std::string> names;
    };
    const std::vector<Case> cases = {
        {"*.xml", {"one.xml", "two.xml", "dir.xml"}},
        {"t*", {"two.xml", "three.txt"}},
        {"*.txt", {"three.txt"}},
        {"*.pdf", {}},
        {"*.*", {"one.xml", "two.xml", "three.txt", "xml", "four.xml.bak", "dir.xml"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        auto found = FindAll(fTmp.path(), c.pattern);
        // Whether the search shows "." and ".." is the platform's business; callers skip them.
        std::erase_if(
            found, [](const IDFile& f) { return f.Path().filename() == "." || f.Path().filename() == ".."; });
        EXPECT_EQ(Names(found), c.names);
        EXPECT_EQ(found.size(), c.names.size());
        for (const auto& f : found)
            EXPECT_EQ(f.Path().parent_path(), fTmp.path());
    }
}

TEST_F(FileSystemIteratorTest, SearchEndsCleanly) {
    WriteFile(fTmp / "only.xml", "x");
    fIter.SetStartingPath(IDFile(fTmp.path()));
    IDFile f;
    ASSERT_EQ(fIter.FindFirst(&f, PMString("*.xml")), kTrue);
    EXPECT_EQ(f.Path(), fTmp.path() / "only.xml");
    EXPECT_EQ(fIter.FindNext(&f), kFalse);
    EXPECT_EQ(fIter.FindNext(&f), kFalse) << "asking again after the end";
    // A new search starts over.
    ASSERT_EQ(fIter.FindFirst(&f, PMString("*.xml")), kTrue);
    EXPECT_EQ(f.Path(), fTmp.path() / "only.xml");

    fIter.SetStartingPath(IDFile(fTmp / "missing"));
    EXPECT_EQ(fIter.FindFirst(&f, PMString("*.*")), kFalse);
    EXPECT_EQ(fIter.FindNext(&f), kFalse);
}

TEST_F(FileSystemIteratorTest, IsDirectory) {
    WriteFile(fTmp / "file", "x");
    fs::create_directory(fTmp / "folder");
    EXPECT_EQ(fIter.IsDirectory(IDFile(fTmp / "folder")), kTrue);
    EXPECT_EQ(fIter.IsDirectory(IDFile(fTmp / "file")), kFalse);
    EXPECT_EQ(fIter.IsDirectory(IDFile(fTmp / "missing")), kFalse);
}

TEST(CVIXferBytesTest, CollectsWrittenBytes) {
    CVIXferBytes x;
    IXferBytes& sink = x;
    char part1[] = "abc";
    char part2[] = {'\0', '\xFF', 'z'};
    EXPECT_EQ(sink.Write(part1, 3), 3u);
    EXPECT_EQ(sink.Write(part2, 3), 3u);
    EXPECT_EQ(sink.Write(nullptr, 0), 0u);
    EXPECT_EQ(x.GetString(), std::string("abc\0\xFFz", 6));

    char buf[8] = {};
    EXPECT_EQ(sink.Read(buf, sizeof buf), 0u) << "a sink gives nothing back";
    EXPECT_EQ(sink.Seek(17, IXferBytes::kSeekFromStart), 17u);
    sink.Flush();
    sink.SetEndOfStream();
    sink.SetStreamState(IXferBytes::kStreamStateFailure);
    EXPECT_EQ(sink.GetStreamState(), IXferBytes::kStreamStateGood);
    EXPECT_EQ(x.GetString().size(), 6u);

    sink.Reset();
    EXPECT_TRUE(x.GetString().empty());
    EXPECT_EQ(sink.Read(buf, sizeof buf), 0u);
    EXPECT_EQ(sink.Write(part1, 2), 2u);
    EXPECT_EQ(x.GetString(), "ab");
}

class FolderChooserTest : public ::testing::Test {
protected:
    void TearDown() override {
        HostDialogs::SetFolderAnswer({});
        LocaleStrings::Register("Choose a Folder", "Choose a Folder");
    }
    TempDir fTmp;
};

TEST_F(FolderChooserTest, ChosenFolder) {
    const fs::path folder = fTmp / "Bibliotek \xC3\xA6";
    fs::create_directory(folder);
    HostDialogs::SetFolderAnswer({DialogAnswer::Kind::kPath, folder});
    SDKFolderChooser chooser;
    EXPECT_EQ(chooser.IsChosen(), kFalse);
    chooser.ShowDialog();
    EXPECT_EQ(chooser.IsChosen(), kTrue);
    EXPECT_EQ(chooser.GetIDFile().Path(), folder);
    EXPECT_EQ(chooser.GetPath().GetUTF8String(), folder.string());
    EXPECT_EQ(chooser.GetPath().GetTranslatable(), kFalse);
    EXPECT_EQ(HostDialogs::LastTitle(), PMString("Choose a Folder"));
    EXPECT_EQ(chooser.GetTitle(), PMString("Choose a Folder"));
}

TEST_F(FolderChooserTest, CancelledOrEmptyAnswerChoosesNothing) {
    for (const DialogAnswer& answer : {DialogAnswer{DialogAnswer::Kind::kCancel, fTmp.path()},
                                       DialogAnswer{DialogAnswer::Kind::kPath, {}}}) {
        HostDialogs::SetFolderAnswer(answer);
        SDKFolderChooser chooser;
        chooser.ShowDialog();
        EXPECT_EQ(chooser.IsChosen(), kFalse);
        EXPECT_TRUE(chooser.GetPath().IsEmpty());
        EXPECT_TRUE(chooser.GetIDFile().IsEmpty());
        EXPECT_EQ(HostDialogs::LastTitle(), PMString("Choose a Folder"));
    }
}

TEST_F(FolderChooserTest, TitleIsTranslated) {
    LocaleStrings::Register("Choose a Folder", "V\xC3\xA6lg en mappe");
    HostDialogs::SetFolderAnswer({DialogAnswer::Kind::kCancel, {}});
    SDKFolderChooser chooser;
    chooser.ShowDialog();
    EXPECT_EQ(chooser.GetTitle().GetUTF8String(), "V\xC3\xA6lg en mappe");
    EXPECT_EQ(HostDialogs::LastTitle().GetUTF8String(), "V\xC3\xA6lg en mappe");
}

TEST(FileHelperTest, PathGivenAtConstruction) {
    SDKFileHelper helper(PMString("/tmp/some file.xml"));
    EXPECT_EQ(helper.IsChosen(), kFalse);
    EXPECT_EQ(helper.GetIDFile().Path(), fs::path("/tmp/some file.xml"));
    EXPECT_EQ(helper.GetPath(), PMString("/tmp/some file.xml"));
}

} // namespace
