// Bringing packages held by documents and stories to the library's version, and the library
// learning versions it does not know.
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "logic/BRNPackageUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace fs = std::filesystem;
using testsupport::HostFixture;
using testsupport::ReadFile;

using testsupport::Field;
using testsupport::Untranslated;

namespace {

// Version v of the package: in version 3 the title field was renamed and a field added.
BRNPackage Version(uint32 v, const char* title, bool modified = false) {
    BRNFieldList fields = {Field(v >= 3 ? "Main title" : "Headline", "Head", kBRNTypeString, title)};
    if (v >= 3) {
        BRNField words = Field("Words", "Words", kBRNTypeInteger, "");
        words.SetHasDefault(kTrue);
        words.SetDefaultValue(Untranslated("1200"));
        fields.push_back(words);
    }
    BRNPackage p(fields, Untranslated("Editorial"), PMString(), 0);
    p.SetVersion(v);
    p.SetModified(modified);
    return p;
}

class UpgradeTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fDoc = Host::NewDocument();
        ASSERT_NE(fDoc, nullptr);
        fDB = fDoc->GetDocumentDataBase();
    }
    UIDRef DocRef() const { return UIDRef(fDB, fDB->GetRootUID()); }
    void Store(const UIDRef& target, const BRNPackageList& packages) {
        ASSERT_EQ(BRNPackageUtils::StorePackages(UIDList(target), packages, kFalse, kFalse), kSuccess);
    }
    BRNPackage Held(const UIDRef& target) {
        BRNPackageList list = BRNPackageUtils::ReadPackages(target);
        return list.empty() ? BRNPackage() : list[0];
    }
    std::string Log() const {
        const fs::path log = RecoveryFolder() / "BRN.log";
        return fs::exists(log) ? ReadFile(log) : std::string();
    }
    UID Story(const char* name, bool locked) {
        UID uid = Host::NewStory(fDoc, Untranslated(name));
        InterfacePtr<IStoryData> story(Instantiate<IStoryData>(fDB, uid));
        story->SetLocked(locked);
        return uid;
    }

    IDocument* fDoc = nullptr;
    IDataBase* fDB = nullptr;
};

struct UpgradeCase {
    const char* what;
    std::optional<BRNPackage> library; // none: the library lacks the package
    uint32 held;                       // the document's version
    bool silent;                       // UseLatestPackage
    int16 answer;                      // to the question, when it is asked (1 Yes, 2 No)
    bool asked;
    uint32 documentAfter; // the document's version afterwards
    uint32 libraryAfter;
    bool libraryModifiedAfter;
    bool logged; // "Pakke opdateret: "
};

TEST_F(UpgradeTest, TheFourCases) {
    const std::vector<UpgradeCase> cases = {
        {"the library lacks the package: it learns it", std::nullopt, 2, true, 0, false, 2, 2, false, true},
        {"the document is newer: the library learns its version", Version(2, "lib"), 3, true, 0, false, 3, 3,
         false, true},
        {"the same version: nothing", Version(3, "lib"), 3, true, 0, false, 3, 3, false, false},
        {"the same version, silent off: nothing is asked", Version(3, "lib"), 3, false, 0, false, 3, 3, false,
         false},
        {"the library is newer, silent: the document is upgraded", Version(3, "lib"), 2, true, 0, false, 3, 3,
         false, false},
        {"the library was edited, silent: raised, then the document upgraded", Version(3, "lib", true), 3,
         true, 0, false, 4, 4, false, false},
        {"the library is newer, asked, No: nothing changes", Version(3, "lib"), 2, false, 2, true, 2, 3,
         false, false},
        {"the library is newer, asked, Yes: the library takes the older version", Version(3, "lib"), 2, false,
         1, true, 2, 2, false, false},
        {"the library was edited, asked, Yes", Version(3, "lib", true), 3, false, 1, true, 3, 3, false,
         false},
        {"the library was edited, asked, No: it stays edited", Version(3, "lib", true), 3, false, 2, true, 3,
         3, true, false},
    };
    for (const UpgradeCase& c : cases) {
        SCOPED_TRACE(c.what);
        Prefs()->SetPackages(c.library ? BRNPackageList{*c.library} : BRNPackageList{});
        Prefs()->SetUseLatestPackage(c.silent);
        fAlerts->Clear();
        fs::remove(RecoveryFolder() / "BRN.log");
        if (c.asked) fAlerts->QueueAnswer(c.answer);
        BRNPackage held = Version(c.held, "Doc title");
        held.SetEnabled(kFalse);
        Store(DocRef(), {held});

        const bool written =
            BRNPackageUtils::UpgradePackages(BRNPackageUtils::ReadPackages(DocRef()), DocRef());
        const BRNPackage after = Held(DocRef());
        EXPECT_EQ(written, after.GetVersion() != c.held);
        EXPECT_EQ(after.GetVersion(), c.documentAfter);
        EXPECT_EQ(after.GetFields().at(0).GetValue(), Untranslated("Doc title")) << "the value is kept";
        EXPECT_FALSE(after.GetEnabled()) << "the enabled state is kept";
        if (c.documentAfter >= 3 && c.held < 3) {
            EXPECT_EQ(after.GetFields().at(1).GetValue(), Untranslated("1200"));
        }

        const BRNPackage* library = Prefs()->FindPackage(Untranslated("Editorial"));
        ASSERT_NE(library, nullptr);
        EXPECT_EQ(library->GetVersion(), c.libraryAfter);
        EXPECT_EQ(library->IsModified() != 0, c.libraryModifiedAfter);
        EXPECT_EQ(Log().find("Pakke opdateret: Editorial") != std::string::npos, c.logged) << Log();

        ASSERT_EQ(fAlerts->Alerts().size(), c.asked ? 1u : 0u);
        if (c.asked) {
            const AlertRequest& q = fAlerts->Alerts()[0];
            EXPECT_NE(q.message.find("Editorial ver. " + std::to_string(c.held)), std::string::npos)
                << q.message;
            EXPECT_EQ(q.buttons, (std::vector<std::string>{"Yes", "No"}));
            EXPECT_EQ(q.defaultButton, 2);
        }
    }
}

TEST_F(UpgradeTest, TheLibraryKeepsWhatItLearnsAcrossStarts) {
    Prefs()->SetPackages({Version(2, "lib")});
    Store(DocRef(), {Version(5, "Doc title")});
    EXPECT_FALSE(BRNPackageUtils::UpgradePackages(BRNPackageUtils::ReadPackages(DocRef()), DocRef()));
    StartHost();
    const BRNPackage* library = Prefs()->FindPackage(Untranslated("Editorial"));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->GetVersion(), 5u);
    EXPECT_FALSE(library->IsModified()) << "a version from a document is a released one";
    EXPECT_EQ(library->GetFields().at(0).GetName(), Untranslated("Main title"));
}

TEST_F(UpgradeTest, ReadingTheSwitchLeavesAPendingChangeForTheMenu) {
    Prefs()->SetPackages({Version(3, "lib")});
    Prefs()->SetUseLatestPackage(kTrue); // marks it changed
    Store(DocRef(), {Version(2, "Doc title")});
    ASSERT_TRUE(BRNPackageUtils::UpgradePackages(BRNPackageUtils::ReadPackages(DocRef()), DocRef()));
    EXPECT_TRUE(Prefs()->GetLatestPackageChanged());
    EXPECT_TRUE(Prefs()->GetUseLatestPackage());
}

TEST_F(UpgradeTest, OnlyTheFirstPackageOfAListIsLookedAt) {
    BRNPackage rights({Field("Credit", "Cr", kBRNTypeString, "Lee")}, Untranslated("Rights"), PMString(), 0);
    rights.SetVersion(1);
    BRNPackage rightsV2 = rights;
    rightsV2.SetVersion(2);
    Prefs()->SetPackages({Version(3, "lib"), rightsV2});
    Store(DocRef(), {Version(2, "Doc title"), rights});
    ASSERT_TRUE(BRNPackageUtils::UpgradePackages(BRNPackageUtils::ReadPackages(DocRef()), DocRef()));
    BRNPackageList after = BRNPackageUtils::ReadPackages(DocRef());
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[0].GetVersion(), 3u);
    EXPECT_EQ(after[1].GetName(), Untranslated("Rights"));
    EXPECT_EQ(after[1].GetVersion(), 1u);
}

TEST_F(UpgradeTest, DocumentAssignmentsAndTextEditionStories) {
    Prefs()->SetPackages({Version(3, "lib")});
    Prefs()->SetUseLatestPackage(kTrue);
    const UID open = Story("open", false);
    const UID locked = Story("locked", true);
    const UID own = Story("own", false);
    for (UID s : {open, locked, own})
        Store(UIDRef(fDB, s), {Version(2, "story")});
    Store(DocRef(), {Version(2, "doc")});
    InterfacePtr<IAssignmentMgr> assignments(fDoc, IID_IASSIGNMENTMGR);
    ASSERT_TRUE(assignments);
    Assignment a;
    a.name = Untranslated("Pages 1-2");
    a.stories = {open, locked};
    assignments->AddAssignment(a);

    struct Case {
        const char* what;
        bool onlyEditable;
        HostConfig::Edition edition;
        int32 written;
        std::vector<uint32> versions; // open, locked, own, document
    };
    const std::vector<Case> cases = {
        {"only editable, layout", true, HostConfig::Edition::kLayout, 2, {3, 2, 2, 3}},
        {"all, layout", false, HostConfig::Edition::kLayout, 3, {3, 3, 2, 3}},
        {"only editable, text edition: the document's own stories too",
         true,
         HostConfig::Edition::kText,
         3,
         {3, 2, 3, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (UID s : {open, locked, own})
            Store(UIDRef(fDB, s), {Version(2, "story")});
        Store(DocRef(), {Version(2, "doc")});
        HostConfig::Get().edition = c.edition;
        EXPECT_EQ(BRNPackageUtils::UpgradeDocumentPackages(DocRef(), c.onlyEditable), c.written);
        std::vector<uint32> versions;
        for (UID s : {open, locked, own})
            versions.push_back(Held(UIDRef(fDB, s)).GetVersion());
        versions.push_back(Held(DocRef()).GetVersion());
        EXPECT_EQ(versions, c.versions);
    }
    EXPECT_EQ(BRNPackageUtils::UpgradeDocumentPackages(UIDRef(), kFalse), 0);
}

} // namespace
