// Exporting a library package to a file that the user chooses.
#include "logic/BRNPackageUtils.h"
#include "TestSupport.h"
#include "ui/HostDialogs.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::TempDir;

namespace {

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

std::string Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return s.GetUTF8String();
}

std::vector<std::string> FilesIn(const fs::path& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

BRNPackage Package(const char* name, uint32 version, bool modified) {
    BRNField f(PMString("Title"));
    f.SetShortName(PMString("Title"));
    f.SetValue(PMString("value"));
    BRNPackage p(BRNFieldList{f}, PMString(name), PMString("pw"), 100);
    p.SetVersion(version);
    p.SetModified(modified ? kTrue : kFalse);
    return p;
}

class ExportTest : public testsupport::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fOut = std::make_unique<TempDir>();
        Prefs()->SetPackages({Package("Alpha", 4, true), Package("Beta", 2, false)});
        ASSERT_TRUE(Prefs()->GetLastSaveSucceeded());
        fAlerts->Clear();
    }
    void TearDown() override {
        HostDialogs::SetSaveFileAnswer(DialogAnswer{});
        HostFixture::TearDown();
    }
    void AnswerInFolder(const fs::path& dir) {
        HostDialogs::SetSaveFileAnswer(DialogAnswer{DialogAnswer::Kind::kProposedInFolder, dir});
    }
    // Marks the dialog state so that a later check can tell whether a dialog was shown.
    static void MarkDialogs() {
        HostDialogs::SetFolderAnswer(DialogAnswer{});
        IDFile ignored;
        HostDialogs::ChooseFolder(PMString("marker"), &ignored);
    }
    void ExpectOneExportAlert() {
        ASSERT_EQ(fAlerts->Alerts().size(), 1u);
        const std::string text = Translated("0xA8260BRNErrorExportingString");
        EXPECT_NE(text, "0xA8260BRNErrorExportingString") << "the key has a text";
        EXPECT_EQ(fAlerts->Alerts()[0].message, text);
    }

    std::unique_ptr<TempDir> fOut;
};

TEST_F(ExportTest, ModifiedPackageIsExportedWithRaisedVersion) {
    AnswerInFolder(fOut->path());
    ASSERT_TRUE(BRNPackageUtils::doExportPackage(PMString("Alpha")));
    EXPECT_TRUE(fAlerts->Alerts().empty());

    EXPECT_EQ(FilesIn(fOut->path()), std::vector<std::string>{"BRN_Alpha_v5.xml"});
    const fs::path file = fOut->path() / "BRN_Alpha_v5.xml";
    const std::string text = testsupport::ReadUTF16File(file);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(text, m, std::regex("<package ([^>]*)>")));
    EXPECT_NE(m[1].str().find("version=\"5\""), std::string::npos) << m[1];
    EXPECT_EQ(m[1].str().find("modified="), std::string::npos)
        << "the exported version is no longer modified";

    BRNPackage exported;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), exported), 0);
    EXPECT_EQ(U8(exported.GetName()), "Alpha");
    EXPECT_EQ(exported.GetVersion(), 5u);
    EXPECT_FALSE(exported.IsModified());
    EXPECT_TRUE(exported.CheckPassword(PMString("pw")));
    ASSERT_EQ(exported.GetFields().size(), 1u);
    EXPECT_EQ(U8(exported.GetFields()[0].GetValue()), "value");

    const BRNPackage* inLibrary = Prefs()->FindPackage(PMString("Alpha"));
    ASSERT_NE(inLibrary, nullptr);
    EXPECT_EQ(inLibrary->GetVersion(), 5u);
    EXPECT_FALSE(inLibrary->IsModified());

    // The raised version is in the library on disk too.
    StartHost();
    inLibrary = Prefs()->FindPackage(PMString("Alpha"));
    ASSERT_NE(inLibrary, nullptr);
    EXPECT_EQ(inLibrary->GetVersion(), 5u);
    EXPECT_FALSE(inLibrary->IsModified());
}

TEST_F(ExportTest, UnmodifiedPackageKeepsItsVersion) {
    AnswerInFolder(fOut->path());
    ASSERT_TRUE(BRNPackageUtils::doExportPackage(PMString("Beta")));
    EXPECT_EQ(FilesIn(fOut->path()), std::vector<std::string>{"BRN_Beta_v2.xml"});
    BRNPackage exported;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(fOut->path() / "BRN_Beta_v2.xml"), exported), 0);
    EXPECT_EQ(exported.GetVersion(), 2u);
    const BRNPackage* inLibrary = Prefs()->FindPackage(PMString("Beta"));
    ASSERT_NE(inLibrary, nullptr);
    EXPECT_EQ(inLibrary->GetVersion(), 2u);
    // The other package is not touched.
    const BRNPackage* alpha = Prefs()->FindPackage(PMString("Alpha"));
    ASSERT_NE(alpha, nullptr);
    EXPECT_TRUE(alpha->IsModified());
    EXPECT_EQ(alpha->GetVersion(), 4u);
}

TEST_F(ExportTest, ChosenPathIsUsedAsGiven) {
    const fs::path chosen = fOut->path() / "my export.xml";
    HostDialogs::SetSaveFileAnswer(DialogAnswer{DialogAnswer::Kind::kPath, chosen});
    ASSERT_TRUE(BRNPackageUtils::doExportPackage(PMString("Beta")));
    EXPECT_EQ(FilesIn(fOut->path()), std::vector<std::string>{"my export.xml"});
}

TEST_F(ExportTest, CancelledDialogReportsFailureAndWritesNothing) {
    HostDialogs::SetSaveFileAnswer(DialogAnswer{});
    EXPECT_FALSE(BRNPackageUtils::doExportPackage(PMString("Alpha")));
    ExpectOneExportAlert();
    EXPECT_TRUE(FilesIn(fOut->path()).empty());
    const BRNPackage* inLibrary = Prefs()->FindPackage(PMString("Alpha"));
    ASSERT_NE(inLibrary, nullptr);
    EXPECT_EQ(inLibrary->GetVersion(), 4u) << "nothing was exported, so the version stays";
    EXPECT_TRUE(inLibrary->IsModified());
}

TEST_F(ExportTest, UnknownOrEmptyNameShowsNoDialog) {
    AnswerInFolder(fOut->path());
    for (const char* name : {"Gamma", "alpha", ""}) {
        MarkDialogs();
        EXPECT_FALSE(BRNPackageUtils::doExportPackage(PMString(name))) << name;
        EXPECT_EQ(U8(HostDialogs::LastTitle()), "marker") << name;
        EXPECT_TRUE(fAlerts->Alerts().empty()) << name;
    }
    EXPECT_TRUE(FilesIn(fOut->path()).empty());
    EXPECT_EQ(Prefs()->GetPackages().size(), 2u);
}

TEST_F(ExportTest, UnwritableLocationReportsFailure) {
    const fs::path missing = fOut->path() / "missing";
    AnswerInFolder(missing);
    EXPECT_FALSE(BRNPackageUtils::doExportPackage(PMString("Beta")));
    ExpectOneExportAlert();
    EXPECT_FALSE(fs::exists(missing));

    // A folder where the file should go.
    fs::create_directory(fOut->path() / "BRN_Beta_v2.xml");
    fAlerts->Clear();
    AnswerInFolder(fOut->path());
    EXPECT_FALSE(BRNPackageUtils::doExportPackage(PMString("Beta")));
    ExpectOneExportAlert();
    EXPECT_TRUE(fs::is_directory(fOut->path() / "BRN_Beta_v2.xml"));
}

} // namespace
