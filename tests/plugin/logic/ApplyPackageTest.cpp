// Applying library packages: carrying values over between versions, the defaults file, the
// targets (front document, selected stories) and the library's version raise.
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/HostSelection.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "files/BRNUtils.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/HostIDs.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>

namespace fs = std::filesystem;
using testsupport::HostFixture;
using testsupport::LocalTicks;
using testsupport::WriteFile;

using testsupport::Field;
using testsupport::Untranslated;

namespace {

BRNField WithDefault(BRNField f, const char* value) {
    f.SetHasDefault(kTrue);
    f.SetDefaultValue(Untranslated(value));
    return f;
}

BRNHistoryList History(const char* value) {
    GlobalTime when;
    when.SetTime(2020, 2, 3, 4, 5, 6);
    return {BRNHistory(Untranslated("ann"), Untranslated("A."), when, Untranslated(value))};
}

// A library package as loaded: released (not modified).
BRNPackage Package(const char* name, uint32 version, const BRNFieldList& fields) {
    BRNPackage p(fields, Untranslated(name), PMString(), 0);
    p.SetVersion(version);
    p.SetModified(kFalse);
    return p;
}

const BRNField* Find(const BRNPackage& p, const char* name) {
    for (const BRNField& f : p.GetFields())
        if (f.GetName() == Untranslated(name)) return &f;
    return nullptr;
}

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

// --- MergeValues: one old field against one new field ------------------------------------

struct MergeCase {
    const char* what;
    BRNField oldField;
    BRNField newField;
    std::string value;                 // the new field's value afterwards
    std::optional<bool> boolValue;     // for Boolean fields
    std::vector<std::string> selected; // for MultiChoice fields
    bool keepsHistory;                 // the old field's history came along
};

std::vector<MergeCase> MergeCases() {
    BRNField oldOverridden = Field("Code", "Code", kBRNTypeCalculatedString, "typed by hand");
    BRNField newOverridden = Field("Code", "Code", kBRNTypeCalculatedString, "");
    newOverridden.SetDefaultValue(Untranslated("C-<cvbrindle:package/>"));
    newOverridden.SetAllowUserValues(kTrue);
    newOverridden.SetFieldOverridden(kTrue);
    BRNField newCalculated = newOverridden;
    newCalculated.SetFieldOverridden(kFalse);

    BRNField oldBool = Field("Legal", "Legal", kBRNTypeBoolean, "");
    oldBool.SetBoolValue(kTrue);
    BRNField oldMulti = Field("Keys", "Keys", kBRNTypeMultiChoice, "");
    oldMulti.SetSelectedValues({Untranslated("b"), Untranslated("a")}, Untranslated(", "));
    BRNField newMulti = Field("Keys", "Keys", kBRNTypeMultiChoice, "");
    newMulti.SetSelectedValues({Untranslated("c")}, Untranslated(", "));
    BRNField newMultiDefault = WithDefault(Field("Keys", "Keys", kBRNTypeMultiChoice, ""), "");
    newMultiDefault.SetDefaultValues({Untranslated("x"), Untranslated("y")});

    auto withHistory = [](BRNField f, const char* h) {
        f.SetHistory(History(h));
        return f;
    };
    return {
        {"same short name and type keeps the value",
         withHistory(Field("Head", "H", kBRNTypeString, "Kept"), "Kept"),
         WithDefault(Field("Head", "H", kBRNTypeString, ""), "dflt"),
         "Kept",
         {},
         {},
         true},
        {"a renamed field with the same short name keeps its value",
         Field("Old title", "H", kBRNTypeString, "Kept"),
         WithDefault(Field("New title", "H", kBRNTypeString, ""), "d"),
         "Kept",
         {},
         {},
         false},
        {"without a short name the name matches",
         withHistory(Field("Notes", "", kBRNTypeText, "two\nlines"), "x"),
         Field("Notes", "", kBRNTypeText, ""),
         "two\nlines",
         {},
         {},
         true},
        {"an old field with a short name is not matched by name",
         Field("Notes", "N1", kBRNTypeText, "old"),
         WithDefault(Field("Notes", "N2", kBRNTypeText, ""), "the default"),
         "the default",
         {},
         {},
         false},
        {"a type change takes the default",
         withHistory(Field("Words", "W", kBRNTypeString, "many"), "many"),
         WithDefault(Field("Words", "W", kBRNTypeInteger, "5"), "1200"),
         "1200",
         {},
         {},
         false},
        {"a type change without a default keeps the new definition's value",
         Field("Words", "W", kBRNTypeString, "many"),
         Field("Words", "W", kBRNTypeInteger, "7"),
         "7",
         {},
         {},
         false},
        {"an unmatched ACTIVATION date becomes today",
         Field("Other", "O", kBRNTypeDate, "2001/01/01"),
         WithDefault(Field("Due", "Due", kBRNTypeDate, ""), "ACTIVATION"),
         "2014/03/05",
         {},
         {},
         false},
        {"a matched date is carried over as it is",
         Field("Due", "Due", kBRNTypeDate, "2013/12/24"),
         WithDefault(Field("Due", "Due", kBRNTypeDate, ""), "ACTIVATION"),
         "2013/12/24",
         {},
         {},
         false},
        {"Integer values are carried as text",
         Field("N", "N", kBRNTypeInteger, "0042"),
         WithDefault(Field("N", "N", kBRNTypeInteger, ""), "1"),
         "0042",
         {},
         {},
         false},
        {"Decimal",
         Field("Fee", "Fee", kBRNTypeDecimal, "12.50"),
         Field("Fee", "Fee", kBRNTypeDecimal, "1"),
         "12.50",
         {},
         {},
         false},
        {"Directory",
         Field("Dir", "Dir", kBRNTypeDirectory, "/srv/a"),
         Field("Dir", "Dir", kBRNTypeDirectory, ""),
         "/srv/a",
         {},
         {},
         false},
        {"Choice / String",
         Field("K", "K", kBRNTypeChoiceString, "own words"),
         Field("K", "K", kBRNTypeChoiceString, "Exclusive"),
         "own words",
         {},
         {},
         false},
        {"Boolean takes the flag",
         withHistory(oldBool, "True"),
         WithDefault(Field("Legal", "Legal", kBRNTypeBoolean, ""), "False"),
         "",
         true,
         {},
         true},
        {"an unmatched Boolean takes its default",
         Field("X", "X", kBRNTypeBoolean, ""),
         WithDefault(Field("Legal", "Legal", kBRNTypeBoolean, ""), "True"),
         "",
         true,
         {},
         false},
        {"MultiChoice takes the selection", oldMulti, newMulti, "b, a", {}, {"b", "a"}, false},
        {"an unmatched MultiChoice takes its default values",
         Field("X", "X", kBRNTypeMultiChoice, ""),
         newMultiDefault,
         "x, y",
         {},
         {"x", "y"},
         false},
        {"an overridden calculated field keeps the typed value",
         oldOverridden,
         newOverridden,
         "typed by hand",
         {},
         {},
         false},
        {"a calculated field that is not overridden is computed",
         oldOverridden,
         newCalculated,
         "C-Pkg",
         {},
         {},
         false},
    };
}

class MergeValuesTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        GlobalTime::SetClock([] { return LocalTicks(2014, 3, 5, 10, 0, 0); });
    }
};

TEST_F(MergeValuesTest, EachFieldPairAsTheTypeSays) {
    for (const MergeCase& c : MergeCases()) {
        SCOPED_TRACE(c.what);
        BRNPackage older = Package("Pkg", 2, {c.oldField});
        BRNPackage newer = Package("Pkg", 3, {c.newField});
        BRNPackageUtils::MergeValues(newer, older);
        ASSERT_EQ(newer.GetFields().size(), 1u);
        const BRNField& f = newer.GetFields()[0];
        EXPECT_EQ(U8(f.GetValue()), c.value);
        if (c.boolValue) {
            EXPECT_EQ(f.GetBoolValue() != 0, *c.boolValue);
        }
        if (f.GetType() == kBRNTypeMultiChoice) {
            std::vector<std::string> selected;
            for (const PMString& s : f.GetSelectedValues())
                selected.push_back(U8(s));
            EXPECT_EQ(selected, c.selected);
        }
        if (c.keepsHistory) {
            EXPECT_EQ(f.GetHistory(), c.oldField.GetHistory());
        }
        EXPECT_EQ(f.GetName(), c.newField.GetName()) << "the definition's name stays";
    }
}

TEST_F(MergeValuesTest, DeadlineDatesComeAlongAndTheLastMatchWins) {
    BRNField oldDue = Field("Due", "Due", kBRNTypeDeadline, "");
    oldDue.SetDeadline(
        BRNDeadline(Untranslated("2020/01/10"), Untranslated("2020/01/09"), Untranslated("eva")));
    BRNField newDue = Field("Due", "Due", kBRNTypeDeadline, "");
    newDue.GetDeadline().Colors = {BRNDeadlineColor{}};
    BRNField first = Field("First", "T", kBRNTypeString, "first");
    BRNField second = Field("Second", "T", kBRNTypeString, "second");
    second.SetHistory(History("second"));

    BRNPackage newer = Package("Pkg", 3, {newDue, Field("Title", "T", kBRNTypeString, "")});
    BRNPackageUtils::MergeValues(newer, Package("Pkg", 2, {oldDue, first, second}));
    const BRNDeadline& d = newer.GetFields()[0].GetDeadline();
    EXPECT_EQ(d.PlannedDate, Untranslated("2020/01/10"));
    EXPECT_EQ(d.ExecutedDate, Untranslated("2020/01/09"));
    EXPECT_EQ(d.ExecutedBy, Untranslated("eva"));
    EXPECT_EQ(d.Colors.size(), 1u) << "the colour table is the new definition's";
    EXPECT_EQ(newer.GetFields()[0].GetValue(), Untranslated("2020/01/10,2020/01/09,eva"));
    EXPECT_EQ(newer.GetFields()[1].GetValue(), Untranslated("second"));
    EXPECT_EQ(newer.GetFields()[1].GetHistory(), History("second"));
}

TEST_F(MergeValuesTest, CalculatedFieldsSeeTheMergedValues) {
    BRNField code = Field("Code", "Code", kBRNTypeCalculatedString, "stale");
    code.SetDefaultValue(Untranslated("<cvbrindle:Sec/>-<cvbrindle:version/>"));
    BRNPackage newer = Package("Pkg", 3, {Field("Section", "Sec", kBRNTypeChoice, "News"), code});
    BRNPackageUtils::MergeValues(newer,
                                 Package("Pkg", 2, {Field("Section", "Sec", kBRNTypeChoice, "Sport")}));
    EXPECT_EQ(newer.GetFields()[1].GetValue(), Untranslated("Sport-3"));
}

// --- ApplyPackage ----------------------------------------------------------------------

class ApplyPackageTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        GlobalTime::SetClock([] { return LocalTicks(2014, 3, 5, 10, 0, 0); });
        fs::create_directories(fHome->path() / "plugin");
        fDoc = Host::NewDocument();
        ASSERT_NE(fDoc, nullptr);
        fDB = fDoc->GetDocumentDataBase();
    }
    UIDRef DocRef() const { return UIDRef(fDB, fDB->GetRootUID()); }
    void Store(const UIDRef& target, const BRNPackageList& packages) {
        ASSERT_EQ(BRNPackageUtils::StorePackages(UIDList(target), packages, kFalse, kFalse), kSuccess);
    }
    void Defaults(const std::string& body) {
        WriteFile(fHome->path() / "plugin/BrindleDefaults.xml",
                  "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<defaults>\n" + body + "</defaults>\n");
    }
    UID Story(const char* name, bool locked, bool exported) {
        UID uid = Host::NewStory(fDoc, Untranslated(name));
        InterfacePtr<IStoryData> story(Instantiate<IStoryData>(fDB, uid));
        story->SetLocked(locked);
        story->SetExportedForTextEditing(exported);
        return uid;
    }

    // Version 3 of Editorial: a renamed field, a type change, a new field, a calculated one.
    static BRNPackage EditorialV3() {
        BRNField code = Field("Story ID", "ID", kBRNTypeCalculatedString, "");
        code.SetDefaultValue(Untranslated("ED-<cvbrindle:Sec/>-<cvbrindle:Words/>"));
        return Package("Editorial", 3,
                       {WithDefault(Field("Main title", "Head", kBRNTypeString, ""), "Untitled"),
                        WithDefault(Field("Section", "Sec", kBRNTypeChoice, ""), "Features"),
                        WithDefault(Field("Words", "Words", kBRNTypeInteger, ""), "1200"),
                        WithDefault(Field("Published", "Pub", kBRNTypeDate, ""), "ACTIVATION"), code});
    }
    static BRNPackage EditorialV2() {
        BRNField head = Field("Headline", "Head", kBRNTypeString, "Blue squares");
        head.SetHistory(History("Blue squares"));
        BRNPackage p = Package("Editorial", 2,
                               {head, Field("Section", "Sec", kBRNTypeChoice, "Culture"),
                                Field("Words", "Words", kBRNTypeString, "about 900"),
                                Field("Published", "Pub", kBRNTypeDate, "2014/01/31")});
        p.SetEnabled(kTrue);
        return p;
    }

    IDocument* fDoc = nullptr;
    IDataBase* fDB = nullptr;
};

TEST_F(ApplyPackageTest, NewPackageGetsDefaultsThenTheDefaultsFile) {
    Defaults("<package name=\"Other\"><value shortname=\"Sec\">Opinion</value></package>\n"
             "<package name=\"Editorial\"><value shortname=\"Words\">900</value>"
             "<value shortname=\"Nope\">x</value></package>\n");
    Prefs()->SetPackages({EditorialV3()});
    ASSERT_EQ(
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, Untranslated("Editorial"), 0),
        kSuccess);

    BRNPackageList held = BRNPackageUtils::ReadPackages(DocRef());
    ASSERT_EQ(held.size(), 1u);
    const BRNPackage& p = held[0];
    EXPECT_EQ(p.GetVersion(), 3u);
    EXPECT_TRUE(p.GetEnabled());
    EXPECT_EQ(Find(p, "Main title")->GetValue(), Untranslated("Untitled"));
    EXPECT_EQ(Find(p, "Section")->GetValue(), Untranslated("Features"))
        << "another package's element is not used";
    EXPECT_EQ(Find(p, "Words")->GetValue(), Untranslated("900"));
    EXPECT_EQ(Find(p, "Published")->GetValue(), Untranslated("2014/03/05"));
    EXPECT_EQ(Find(p, "Story ID")->GetValue(), Untranslated("ED-Features-900"));
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(ApplyPackageTest, VersionThreeOverVersionTwoKeepsValuesByShortNameAndType) {
    Prefs()->SetPackages({EditorialV3()});
    BRNPackage other = Package("Rights", 1, {Field("Credit", "Cr", kBRNTypeString, "Lee")});
    Store(DocRef(), {other, EditorialV2()});
    ASSERT_EQ(
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, Untranslated("Editorial"), 0),
        kSuccess);

    BRNPackageList held = BRNPackageUtils::ReadPackages(DocRef());
    ASSERT_EQ(held.size(), 2u) << "the document's other package stays, in its place";
    EXPECT_EQ(held[0].GetName(), Untranslated("Rights"));
    const BRNPackage& p = held[1];
    EXPECT_EQ(p.GetVersion(), 3u);
    EXPECT_EQ(Find(p, "Main title")->GetValue(), Untranslated("Blue squares")) << "renamed, same short name";
    EXPECT_EQ(Find(p, "Main title")->GetHistory(), History("Blue squares"));
    EXPECT_EQ(Find(p, "Section")->GetValue(), Untranslated("Culture"));
    EXPECT_EQ(Find(p, "Words")->GetValue(), Untranslated("1200")) << "String became Integer: the default";
    EXPECT_EQ(Find(p, "Published")->GetValue(), Untranslated("2014/01/31"));
    EXPECT_EQ(Find(p, "Story ID")->GetValue(), Untranslated("ED-Culture-1200"));
}

TEST_F(ApplyPackageTest, SameVersionWritesTheDocumentsOwnPackageBack) {
    Prefs()->SetPackages({EditorialV3()});
    BRNPackage own = EditorialV3();
    own.Fields()[0].SetValue(Untranslated("Own title"));
    own.Fields()[2].SetValue(Untranslated("77"));
    own.Fields()[4].SetValue(Untranslated("stale"));
    own.SetEnabled(kFalse);
    Store(DocRef(), {own});
    ASSERT_EQ(
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, Untranslated("Editorial"), 0),
        kSuccess);

    const BRNPackage p = BRNPackageUtils::ReadPackages(DocRef()).at(0);
    EXPECT_EQ(Find(p, "Main title")->GetValue(), Untranslated("Own title"))
        << "no defaults over the document's values";
    EXPECT_EQ(Find(p, "Section")->GetValue(), Untranslated(""));
    EXPECT_EQ(Find(p, "Story ID")->GetValue(), Untranslated("ED--77")) << "recomputed";
    EXPECT_TRUE(p.GetEnabled());
}

TEST_F(ApplyPackageTest, AModifiedLibraryPackageIsRaisedFirst) {
    BRNPackage edited = EditorialV3();
    edited.SetModified(kTrue);
    Prefs()->SetPackages({edited});
    // The document holds version 3: after the raise to 4 it is another version.
    Store(DocRef(), {EditorialV3()});
    ASSERT_EQ(
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, Untranslated("Editorial"), 0),
        kSuccess);

    EXPECT_EQ(BRNPackageUtils::ReadPackages(DocRef()).at(0).GetVersion(), 4u);
    const BRNPackage* library = Prefs()->FindPackage(Untranslated("Editorial"));
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(library->GetVersion(), 4u);
    EXPECT_FALSE(library->IsModified());
    // The raise was saved: a new start of the program sees it.
    StartHost();
    EXPECT_EQ(Prefs()->FindPackage(Untranslated("Editorial"))->GetVersion(), 4u);
}

TEST_F(ApplyPackageTest, FailuresLeaveTheDocumentAlone) {
    Prefs()->SetPackages({EditorialV3()});
    Store(DocRef(), {EditorialV2()});
    EXPECT_EQ(BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, Untranslated("Unknown"), 0),
              kFailure);
    EXPECT_EQ(BRNPackageUtils::ApplyPackage(7, Untranslated("Editorial"), 0), kFailure);
    EXPECT_EQ(BRNPackageUtils::ReadPackages(DocRef()).at(0).GetVersion(), 2u);

    // A template that fails: the package is not written.
    BRNPackage broken = EditorialV3();
    broken.Fields()[4].SetDefaultValue(Untranslated("<cvbrindle:NoSuchField/>"));
    Prefs()->SetPackages({broken});
    EXPECT_EQ(
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, Untranslated("Editorial"), 0),
        kFailure);
    EXPECT_EQ(BRNPackageUtils::ReadPackages(DocRef()).at(0).GetVersion(), 2u);
    EXPECT_FALSE(fAlerts->Alerts().empty()) << "the template's fault is shown";

    ASSERT_TRUE(Host::CloseDocument(fDoc));
    EXPECT_EQ(
        BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToDocument, Untranslated("Editorial"), 0),
        kFailure)
        << "no front document";
}

struct StoryCase {
    const char* what;
    std::vector<std::pair<bool, bool>> stories; // locked, exported; all selected
    int32 flags;
    const char* alert;         // expected alert text, or null
    std::vector<bool> written; // per story
};

TEST_F(ApplyPackageTest, SelectedStories) {
    const std::vector<StoryCase> cases = {
        {"nothing selected", {}, 0, "Please select a story first.", {}},
        {"nothing selected, quiet", {}, BRNPackageUtils::kBRNApplyQuiet, "Please select a story first.", {}},
        {"one story", {{false, true}}, 0, nullptr, {true}},
        {"a locked story", {{true, true}}, 0, "The story is locked.", {false}},
        {"a locked story, quiet", {{true, true}}, BRNPackageUtils::kBRNApplyQuiet, nullptr, {false}},
        {"not exported",
         {{false, false}},
         0,
         "The story has not been exported for the text editor.",
         {false}},
        {"not exported, quiet", {{false, false}}, BRNPackageUtils::kBRNApplyQuiet, nullptr, {false}},
        {"two stories: the first only", {{false, true}, {false, true}}, 0, nullptr, {true, false}},
        {"two stories, all of them",
         {{false, true}, {false, true}},
         BRNPackageUtils::kBRNApplyAllStories,
         nullptr,
         {true, true}},
        {"all stories, the second locked: none written",
         {{false, true}, {true, true}},
         BRNPackageUtils::kBRNApplyAllStories,
         "The story is locked.",
         {false, false}},
        {"only the first is looked at without all stories",
         {{false, true}, {true, false}},
         0,
         nullptr,
         {true, false}},
    };
    Prefs()->SetPackages({EditorialV3()});
    for (const StoryCase& c : cases) {
        SCOPED_TRACE(c.what);
        fAlerts->Clear();
        UIDList selection(fDB);
        for (auto [locked, exported] : c.stories)
            selection.Append(Story("s", locked, exported));
        Host::SetSelectedStories(selection);
        ErrorCode rc = BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToSelectedStories,
                                                     Untranslated("Editorial"), c.flags);
        const bool allWritten =
            !c.written.empty() && std::find(c.written.begin(), c.written.end(), false) == c.written.end();
        const bool anyWritten = std::find(c.written.begin(), c.written.end(), true) != c.written.end();
        EXPECT_EQ(rc == kSuccess, anyWritten || allWritten);
        if (c.alert) {
            ASSERT_EQ(fAlerts->Alerts().size(), 1u);
            EXPECT_EQ(fAlerts->Alerts()[0].message, c.alert);
        } else {
            EXPECT_TRUE(fAlerts->Alerts().empty());
        }
        for (size_t i = 0; i < c.written.size(); ++i) {
            BRNPackageList held = BRNPackageUtils::ReadPackages(selection.GetRef(static_cast<int32>(i)));
            EXPECT_EQ(held.size(), c.written[i] ? 1u : 0u) << "story " << i;
            if (!held.empty()) {
                EXPECT_EQ(held[0].GetVersion(), 3u);
            }
        }
        EXPECT_TRUE(BRNPackageUtils::ReadPackages(DocRef()).empty()) << "the document itself is no target";
    }
}

TEST_F(ApplyPackageTest, InTheTextEditionAStoryIsHandedOutWhenAnAssignmentHoldsIt) {
    Prefs()->SetPackages({EditorialV3()});
    HostConfig::Get().edition = HostConfig::Edition::kText;
    const UID held = Story("held", false, false); // the layout's flag says no: not asked here
    const UID loose = Story("loose", false, true);
    InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(DocRef()));
    ASSERT_TRUE(assignments);
    assignments->AddAssignment({Untranslated("A"), Untranslated("eva"), IDFile(), {held}});
    struct Case {
        const char* what;
        UID selected;
        UID story;
        bool written;
    };
    const Case cases[] = {{"held by an assignment", held, held, true},
                          {"in no assignment", loose, loose, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fAlerts->Clear();
        Store(UIDRef(fDB, c.story), {});
        Host::SetSelectedStories(UIDList(fDB, c.selected));
        ErrorCode rc = BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToSelectedStories,
                                                     Untranslated("Editorial"), 0);
        EXPECT_EQ(rc == kSuccess, c.written);
        EXPECT_EQ(BRNPackageUtils::ReadPackages(UIDRef(fDB, c.story)).size(), c.written ? 1u : 0u);
        EXPECT_EQ(fAlerts->Alerts().size(), c.written ? 0u : 1u);
    }
    HostConfig::Get().edition = HostConfig::Edition::kLayout;
}

// --- The defaults file on open ---------------------------------------------------------

class DefaultsOnOpenTest : public ApplyPackageTest {};

TEST_F(DefaultsOnOpenTest, ValuesArePushedIntoTheFirstPackage) {
    Defaults("<package name=\"Editorial\" applyondocumentopen=\"true\">"
             "<value shortname=\"Head\">From the desk</value>"
             "<value shortname=\"Pub\">ACTIVATION</value>"
             "<value shortname=\"Words\">900</value>"
             "<value shortname=\"\">ignored</value></package>\n");
    Store(DocRef(), {EditorialV2()});
    ASSERT_TRUE(BRNUtils::ApplyDefaultsOnOpen(DocRef()));
    BRNPackage p = BRNPackageUtils::ReadPackages(DocRef()).at(0);
    EXPECT_EQ(Find(p, "Headline")->GetValue(), Untranslated("From the desk"));
    EXPECT_EQ(Find(p, "Published")->GetValue(), Untranslated("2014/01/31"))
        << "ACTIVATION never overwrites on open";
    EXPECT_EQ(Find(p, "Words")->GetValue(), Untranslated("900"));

    // The user edits the field; the next open undoes the edit. Nothing to change: no write.
    BRNField edited = *Find(p, "Headline");
    edited.SetValue(Untranslated("My own"));
    ASSERT_EQ(BRNPackageUtils::StoreField(UIDList(DocRef()), edited), kSuccess);
    EXPECT_TRUE(BRNUtils::ApplyDefaultsOnOpen(DocRef()));
    EXPECT_EQ(Find(BRNPackageUtils::ReadPackages(DocRef()).at(0), "Headline")->GetValue(),
              Untranslated("From the desk"));
    EXPECT_FALSE(BRNUtils::ApplyDefaultsOnOpen(DocRef())) << "the values already agree";
}

struct OnOpenCase {
    const char* what;
    std::string defaults;
    bool enabled;
    bool written;
};

TEST_F(DefaultsOnOpenTest, WhenNothingIsPushed) {
    const std::vector<OnOpenCase> cases = {
        {"no defaults file", "", true, false},
        {"applyondocumentopen is not exactly true",
         "<package name=\"Editorial\" applyondocumentopen=\"True\"><value "
         "shortname=\"Head\">x</value></package>",
         true, false},
        {"no applyondocumentopen",
         "<package name=\"Editorial\"><value shortname=\"Head\">x</value></package>", true, false},
        {"a disabled first package",
         "<package name=\"Editorial\" applyondocumentopen=\"true\"><value "
         "shortname=\"Head\">x</value></package>",
         false, false},
        {"only an ACTIVATION date",
         "<package name=\"Editorial\" applyondocumentopen=\"true\"><value "
         "shortname=\"Pub\">ACTIVATION</value></package>",
         true, false},
        {"the same value",
         "<package name=\"Editorial\" applyondocumentopen=\"true\"><value shortname=\"Head\">Blue "
         "squares</value></package>",
         true, false},
        {"another package's element serves when none names this one",
         "<package name=\"Other\" applyondocumentopen=\"true\"><value shortname=\"Head\">x</value></package>",
         true, true},
    };
    for (const OnOpenCase& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(fHome->path() / "plugin/BrindleDefaults.xml");
        if (!c.defaults.empty()) Defaults(c.defaults + "\n");
        BRNPackage v2 = EditorialV2();
        v2.SetEnabled(c.enabled);
        Store(DocRef(), {v2});
        EXPECT_EQ(BRNUtils::ApplyDefaultsOnOpen(DocRef()) != 0, c.written);
        EXPECT_EQ(Find(BRNPackageUtils::ReadPackages(DocRef()).at(0), "Headline")->GetValue() ==
                      Untranslated("x"),
                  c.written);
    }
}

TEST_F(DefaultsOnOpenTest, ApplyDefaultsFileByTypeAndTheLogWithoutAnElement) {
    BRNField flag = Field("Flag", "Flag", kBRNTypeBoolean, "");
    BRNField keys = Field("Keys", "Keys", kBRNTypeMultiChoice, "");
    BRNField code = Field("Code", "Code", kBRNTypeCalculatedString, "");
    BRNPackage p = Package("P", 1, {flag, keys, code, Field("Due", "Due", kBRNTypeDate, "")});
    BRNUtils::ApplyDefaultsFile(p);
    const fs::path log = RecoveryFolder() / "BRN.log";
    ASSERT_TRUE(fs::exists(log));
    EXPECT_NE(testsupport::ReadFile(log).find("Brindle failed to parse xmlStr from defaults file!"),
              std::string::npos);

    Defaults(
        "<package name=\"P\"><value shortname=\"Flag\">True</value><value shortname=\"Keys\">a, b</value>"
        "<value shortname=\"Code\">X-&lt;cvbrindle:Due/&gt;</value><value "
        "shortname=\"Due\">ACTIVATION</value>"
        "</package>\n");
    BRNUtils::ApplyDefaultsFile(p);
    EXPECT_TRUE(p.GetFields()[0].GetBoolValue());
    EXPECT_EQ(p.GetFields()[1].GetSelectedValues(), (PMStringList{Untranslated("a"), Untranslated(" b")}));
    EXPECT_EQ(p.GetFields()[2].GetDefaultValue(), Untranslated("X-<cvbrindle:Due/>"));
    EXPECT_EQ(p.GetFields()[3].GetValue(), Untranslated("2014/03/05"));
}

// --- The selection ---------------------------------------------------------------------

TEST_F(ApplyPackageTest, SelectionBelongsToTheFrontDocumentAndEndsWithIt) {
    UID a = Story("a", false, true);
    IDocument* other = Host::NewDocument();
    ASSERT_NE(other, nullptr);
    UIDList selection(fDB);
    selection.Append(a);
    ASSERT_TRUE(Host::SetSelectedStories(selection));
    EXPECT_EQ(Host::GetFrontDocument(), fDoc) << "selecting brings the document to the front";
    EXPECT_EQ(Host::GetSelectedStories(), selection);

    Host::SetFrontDocument(other);
    EXPECT_TRUE(Host::GetSelectedStories().IsEmpty()) << "the selection is the front document's";
    Host::SetFrontDocument(fDoc);
    EXPECT_EQ(Host::GetSelectedStories(), selection);

    UIDList notStories(fDB);
    notStories.Append(fDB->GetRootUID());
    EXPECT_FALSE(Host::SetSelectedStories(notStories));
    EXPECT_TRUE(Host::GetSelectedStories().IsEmpty());

    ASSERT_TRUE(Host::SetSelectedStories(selection));
    ASSERT_TRUE(Host::CloseDocument(fDoc));
    Host::SetFrontDocument(other);
    EXPECT_TRUE(Host::GetSelectedStories().IsEmpty()) << "closing the document ends its selection";

    // A new start of the host does not bring back an old selection.
    IDataBase* db = other->GetDocumentDataBase();
    UIDList inOther(db);
    inOther.Append(Host::NewStory(other, Untranslated("b")));
    ASSERT_TRUE(Host::SetSelectedStories(inOther));
    StartHost();
    EXPECT_TRUE(Host::GetSelectedStories().IsEmpty());
}

} // namespace
