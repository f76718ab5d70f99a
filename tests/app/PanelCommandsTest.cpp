// The metadata panel driven as a user drives it (set, click, choose, mode), its dialogs
// answered through the script face; what the panel, the targets' packets, the library and the
// alerts then hold.
#include "PanelCommands.h"
#include "TestSupport.h"

#include "BRNID.h"
#include "CVLog.h"
#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "documents/HostSelection.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "session/Host.h"
#include "session/ICVLogger.h"
#include "session/IPanelMgr.h"
#include "session/ISession.h"
#include "subjects/CObserver.h"
#include "subjects/ISubject.h"
#include "ui/BRNDialogObserver.h"
#include "ui/BRNPanelObserver.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/DialogDriver.h"
#include "ui/HostDialogs.h"
#include "ui/ScriptDialogFace.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace {

using testsupport::Field;
using testsupport::TempDir;
using testsupport::Untranslated;

BRNPackage Package(const char* name, uint32 version, BRNFieldList fields) {
    BRNPackage p(fields, Untranslated(name), PMString(), 0);
    p.SetVersion(version);
    p.SetEnabled(kTrue);
    return p;
}

BRNPackage Issue(uint32 version = 3) {
    BRNField section = Field("Section", "Section", kBRNTypeChoice, "News");
    section.SetOptions({Untranslated("News"), Untranslated("Sport")});
    BRNField tags = Field("Tags", "Tags", kBRNTypeMultiChoice);
    tags.SetOptions({Untranslated("red"), Untranslated("blue")});
    tags.SetAllowUserValues(kTrue);
    BRNField locked = Field("Desk", "Desk", kBRNTypeString, "Culture");
    locked.SetReadOnly(kTrue);
    return Package("Issue", version,
                   {Field("Headline", "Head", kBRNTypeString, "Tides"), Field("Issue number", "IssueNo", kBRNTypeInteger, "7"),
                    Field("Price", "Price", kBRNTypeDecimal, "1.5"), Field("Print date", "Date", kBRNTypeDate, "2026/05/01"),
                    Field("Legal review", "LegalOK", kBRNTypeBoolean), section, Field("Body", "Body", kBRNTypeText, "a\\nb"),
                    tags, Field("Copy due", "Due", kBRNTypeDeadline), locked});
}

std::string Text(const PMString& s) {
    return s.GetUTF8String();
}

class PanelTest : public testsupport::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fFace = std::make_shared<ScriptDialogFace>();
        DialogDriver::SetFace(fFace);
        Prefs()->SetPackages({Issue(3), Package("Sport", 1, {Field("Result", "Result", kBRNTypeString, "0-0")})});
    }
    void TearDown() override {
        PanelCommands::Close();
        Host::ClearSelection();
        DialogDriver::SetFace(nullptr);
        HostFixture::TearDown();
    }
    IDocument* NewDocument(const BRNPackageList& packages) {
        IDocument* doc = Host::NewDocument(IDFile(fDir / "issue.jpg"));
        if (!packages.empty()) {
            EXPECT_EQ(BRNPackageUtils::StorePackages(UIDList(Root(doc)), packages, kFalse, kFalse), kSuccess);
        }
        // What a test sets up is no edit of the user's: the first edit makes a step of its own.
        CmdUtils::EndUndoStep(doc);
        return doc;
    }
    static UIDRef Root(IDocument* doc) {
        IDataBase* db = doc->GetDocumentDataBase();
        return UIDRef(db, db->GetRootUID());
    }
    // The field of the first package of the target.
    static BRNField Held(const UIDRef& target, const char* name) {
        for (const BRNPackage& p : BRNPackageUtils::ReadPackages(target))
            for (const BRNField& f : p.GetFields())
                if (Text(f.GetName()) == name) return f;
        return BRNField();
    }
    std::string Shown() {
        std::ostringstream out;
        EXPECT_EQ(PanelCommands::Show(out), 0);
        return out.str();
    }
    BRNPanelObserver* Observer() {
        IPMUnknown* panel = GetPanelManager()->GetPanelFromWidgetID(kBRNPanelWidgetID);
        InterfacePtr<IObserver> o(panel, IID_IOBSERVER);
        return dynamic_cast<BRNPanelObserver*>(o.get());
    }
    std::vector<std::string> AlertTexts() const {
        std::vector<std::string> t;
        for (const auto& a : fAlerts->Alerts())
            t.push_back(a.message);
        return t;
    }
    WidgetModel* Widget(WidgetID id) { return PanelCommands::PanelWidget()->FindWidget(id); }

    TempDir fDir;
    std::shared_ptr<ScriptDialogFace> fFace;
};

TEST_F(PanelTest, WithoutAFrontDocumentNothingIsDrawnAndApplyIsOff) {
    const std::string shown = Shown();
    EXPECT_NE(shown.find("package: Issue  v. 3  (library: Issue Sport)"), std::string::npos) << shown;
    EXPECT_NE(shown.find("target: document: no document"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[apply]"), std::string::npos) << shown;
    EXPECT_TRUE(Observer()->GetRows().empty());
    std::string error;
    EXPECT_EQ(PanelCommands::Click("apply", &error), 1);
    EXPECT_NE(error.find("not enabled"), std::string::npos);
    // A document opened afterwards is loaded at once.
    NewDocument({Issue(3)});
    EXPECT_EQ(Observer()->GetRows().size(), Issue().GetFields().size());
    EXPECT_TRUE(Widget(kBRNApplyButtonWidgetID)->IsEnabled());
}

TEST_F(PanelTest, AnEmptyLibraryDisablesTheDropDownAndThePackageButtons) {
    Prefs()->SetPackages({});
    NewDocument({});
    Shown();
    EXPECT_FALSE(Widget(kBRNPackageDropDownWidgetID)->IsEnabled());
    for (WidgetID id : {kBRNEditPackageButtonWidgetID, kBRNExportPackageButtonWidgetID,
                        kBRNDeletePackageButtonWidgetID, kBRNCopyPackageButtonWidgetID})
        EXPECT_FALSE(Widget(id)->IsEnabled()) << id;
    EXPECT_TRUE(Widget(kBRNNewPackageButtonWidgetID)->IsEnabled());
}

TEST_F(PanelTest, EditingARowStoresTheValueOrShowsTheEntryAlert) {
    IDocument* doc = NewDocument({Issue(3)});
    const struct {
        const char* row;
        const char* typed;
        const char* field;
        const char* stored; // the value the document holds afterwards
        std::vector<std::string> alerts;
    } cases[] = {
        {"Headline", "Storm", "Headline", "Storm", {}},
        {"2", "12", "Issue number", "12", {}},
        {"Issue number", "twelve", "Issue number", "12", {"Please enter a whole number."}},
        {"Issue number", "1.5", "Issue number", "12", {"Please enter a whole number."}},
        {"Price", "2.75", "Price", "2.75", {}},
        {"Price", "2,75", "Price", "2.75", {"Please enter a decimal number with \".\" as the decimal point."}},
        {"Print date", "2026/06/30", "Print date", "2026/06/30", {}},
        {"Print date", "30.06.2026", "Print date", "2026/06/30",
         {"The date of Print date is not valid. Please write it as yyyy/mm/dd."}},
        {"Section", "Sport", "Section", "Sport", {}},
        {"Body", "one\ntwo\r\nthree", "Body", "one\\ntwo\\nthree", {}},
    };
    for (const auto& c : cases) {
        fAlerts->Clear();
        std::string error;
        EXPECT_EQ(PanelCommands::Set(c.row, c.typed, &error), 0) << c.row << ": " << error;
        EXPECT_EQ(Text(Held(Root(doc), c.field).GetValue()), c.stored) << c.row << " " << c.typed;
        EXPECT_EQ(AlertTexts(), c.alerts) << c.row << " " << c.typed;
    }
    // The panel shows what the document holds, the refused text is gone.
    EXPECT_NE(Shown().find("Issue number        edit                12"), std::string::npos) << Shown();
    // Check boxes and the read-only row.
    std::string error;
    EXPECT_EQ(PanelCommands::Set("Legal review", "true", &error), 0) << error;
    EXPECT_TRUE(Held(Root(doc), "Legal review").GetBoolValue());
    EXPECT_EQ(PanelCommands::Set("Desk", "Sport", &error), 1);
    EXPECT_EQ(Text(Held(Root(doc), "Desk").GetValue()), "Culture");
    EXPECT_EQ(PanelCommands::Set("Nothing", "x", &error), 1);
    EXPECT_NE(error.find("no row Nothing"), std::string::npos);
}

TEST_F(PanelTest, AnEditIsOneUndoStepNamedUpdateMetadata) {
    IDocument* doc = NewDocument({Issue(3)});
    std::string error;
    ASSERT_EQ(PanelCommands::Set("Headline", "Storm", &error), 0) << error;
    EXPECT_EQ(Text(CmdUtils::GetUndoName(doc)), "Update Metadata");
    ASSERT_TRUE(CmdUtils::Undo(doc));
    EXPECT_EQ(Text(Held(Root(doc), "Headline").GetValue()), "Tides");
    // The panel follows the undo when told to refresh.
    PanelCommands::Click("refresh", &error);
    EXPECT_NE(Shown().find("Tides"), std::string::npos);
}

TEST_F(PanelTest, ThreeStoriesOfAnAssignmentTakeAnEditInOneUndoStep) {
    IDocument* doc = NewDocument({});
    IDataBase* db = doc->GetDocumentDataBase();
    std::vector<UID> stories;
    for (const char* name : {"lead", "side", "box"}) {
        UID uid = Host::NewStory(doc, Untranslated(name));
        InterfacePtr<IStoryData> story(Instantiate<IStoryData>(db, uid));
        story->SetExportedForTextEditing(kTrue);
        ASSERT_EQ(BRNPackageUtils::StorePackages(UIDList(db, uid), {Issue(3)}, kFalse, kFalse), kSuccess);
        stories.push_back(uid);
    }
    InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(Root(doc)));
    assignments->AddAssignment({Untranslated("Front"), Untranslated("eva"), IDFile(), stories});
    CmdUtils::EndUndoStep(doc);
    ASSERT_TRUE(Host::SetTextFocus(UIDRef(db, stories[1])));
    std::string error;
    ASSERT_EQ(PanelCommands::Mode("assignment", &error), 0) << error;
    EXPECT_EQ(Prefs()->GetDataType(), 2);
    EXPECT_NE(Shown().find("target: assignment: side, lead, box in"), std::string::npos) << Shown();
    ASSERT_EQ(PanelCommands::Set("Headline", "Storm", &error), 0) << error;
    for (UID uid : stories)
        EXPECT_EQ(Text(Held(UIDRef(db, uid), "Headline").GetValue()), "Storm");
    ASSERT_TRUE(CmdUtils::Undo(doc));
    for (UID uid : stories)
        EXPECT_EQ(Text(Held(UIDRef(db, uid), "Headline").GetValue()), "Tides") << "one step undoes all three";
    // The story mode writes the focused story only.
    ASSERT_EQ(PanelCommands::Mode("story", &error), 0) << error;
    ASSERT_EQ(PanelCommands::Set("Headline", "Calm", &error), 0) << error;
    EXPECT_EQ(Text(Held(UIDRef(db, stories[1]), "Headline").GetValue()), "Calm");
    EXPECT_EQ(Text(Held(UIDRef(db, stories[0]), "Headline").GetValue()), "Tides");
    // A new selection moves the panel along.
    ASSERT_TRUE(Host::SetTextFocus(UIDRef(db, stories[2])));
    EXPECT_NE(Shown().find("target: story: box in"), std::string::npos) << Shown();
}

TEST_F(PanelTest, ChoosingAnotherPackageRedrawsItsRowsAndVersion) {
    NewDocument({Issue(3), Package("Sport", 1, {Field("Result", "Result", kBRNTypeString, "2-1")})});
    std::string error;
    ASSERT_EQ(PanelCommands::Choose("Sport", &error), 0) << error;
    const std::string shown = Shown();
    EXPECT_NE(shown.find("package: Sport  v. 1"), std::string::npos) << shown;
    EXPECT_NE(shown.find("1   Result              edit                2-1"), std::string::npos) << shown;
    EXPECT_EQ(Observer()->GetRows().size(), 1u);
    EXPECT_EQ(PanelCommands::Choose("Absent", &error), 1);
}

TEST_F(PanelTest, APackageGoneFromTheLibraryLeavesTheVersionText) {
    NewDocument({Issue(3)});
    Shown();
    EXPECT_EQ(Text(Widget(kBRNVersionTextWidgetID)->GetText()), "v. 3");
    Prefs()->SetPackages({});
    EXPECT_EQ(Text(Widget(kBRNVersionTextWidgetID)->GetText()), "v. 3");
    EXPECT_TRUE(Observer()->GetRows().empty());
}

TEST_F(PanelTest, ADocumentWithoutThePackageShowsTheLibraryRowsUntilApplied) {
    IDocument* doc = NewDocument({});
    std::string shown = Shown();
    EXPECT_TRUE(Observer()->IsNotApplied());
    EXPECT_NE(shown.find("Not applied"), std::string::npos) << shown;
    EXPECT_NE(shown.find("(read-only)"), std::string::npos);
    std::string error;
    EXPECT_EQ(PanelCommands::Set("Headline", "Storm", &error), 1) << "nothing to write into";
    ASSERT_EQ(PanelCommands::Click("apply", &error), 0) << error;
    EXPECT_FALSE(Observer()->IsNotApplied());
    EXPECT_EQ(Text(Held(Root(doc), "Headline").GetValue()), "Tides");
    ASSERT_EQ(PanelCommands::Set("Headline", "Storm", &error), 0) << error;
    EXPECT_EQ(Text(Held(Root(doc), "Headline").GetValue()), "Storm");
}

TEST_F(PanelTest, AnOlderPackageShowsConflictAndTheResolveDialogSettlesIt) {
    BRNPackage old = Issue(2);
    old.Fields()[0].SetValue(Untranslated("Kept"));
    old.Fields().pop_back(); // the library's version added the Desk field
    const struct {
        const char* answer;
        uint32 version;       // the document's version afterwards
        bool conflict;        // still in conflict
        const char* headline; // the document's value afterwards
    } cases[] = {
        {"action=upgrade", 3, false, "Kept"},
        {"action=keep", 2, true, "Kept"}, // an older definition never replaces the library's
    };
    for (const auto& c : cases) {
        IDocument* doc = NewDocument({old});
        Shown();
        EXPECT_TRUE(Observer()->IsConflict());
        EXPECT_NE(Shown().find("\nConflict\n"), std::string::npos);
        std::vector<std::string> words{"resolve"};
        words.push_back(c.answer);
        DialogAnswerScript a;
        ASSERT_TRUE(ScriptDialogFace::Parse(words, &a, nullptr));
        fFace->Queue(a);
        std::string error;
        ASSERT_EQ(PanelCommands::Click("resolve", &error), 0) << error;
        const BRNPackageList held = BRNPackageUtils::ReadPackages(Root(doc));
        ASSERT_EQ(held.size(), 1u);
        EXPECT_EQ(held[0].GetVersion(), c.version) << c.answer;
        EXPECT_EQ(Observer()->IsConflict(), c.conflict) << c.answer;
        EXPECT_EQ(Text(Held(Root(doc), "Headline").GetValue()), c.headline) << c.answer;
        EXPECT_EQ(Prefs()->FindPackage(Untranslated("Issue"))->GetVersion(), 3u);
        Host::CloseDocument(doc);
    }
}

TEST_F(PanelTest, ResetAndDeleteAskFirst) {
    const struct {
        const char* button;
        int16 answer; // 1 Yes, 2 No
        size_t packages;
        const char* question;
    } cases[] = {
        {"reset", 2, 2, "Remove all packages from the document?"},
        {"reset", 1, 0, "Remove all packages from the document?"},
        {"delete", 2, 2, "Remove the package from the targets shown?"},
        {"delete", 1, 1, "Remove the package from the targets shown?"},
    };
    for (const auto& c : cases) {
        IDocument* doc = NewDocument({Issue(3), Package("Sport", 1, {})});
        fAlerts->Clear();
        fAlerts->QueueAnswer(c.answer);
        std::string error;
        ASSERT_EQ(PanelCommands::Click(c.button, &error), 0) << error;
        EXPECT_EQ(BRNPackageUtils::ReadPackages(Root(doc)).size(), c.packages) << c.button << c.answer;
        EXPECT_EQ(AlertTexts(), std::vector<std::string>{c.question});
        EXPECT_EQ(Prefs()->GetPackages().size(), 2u) << "the library keeps its packages";
        Host::CloseDocument(doc);
    }
}

TEST_F(PanelTest, CheckTargetsListsThemOrSaysWhyNot) {
    IDocument* doc = NewDocument({Issue(3)});
    IDataBase* db = doc->GetDocumentDataBase();
    UID story = Host::NewStory(doc, Untranslated("lead"));
    std::string error;
    ASSERT_EQ(PanelCommands::Mode("story", &error), 0);
    fAlerts->Clear();
    ASSERT_EQ(PanelCommands::Click("check", &error), 0) << error;
    EXPECT_EQ(AlertTexts(), std::vector<std::string>{"The list may not be empty."});
    InterfacePtr<IStoryData> data(Instantiate<IStoryData>(db, story));
    data->SetLocked(kTrue);
    ASSERT_TRUE(Host::SetTextFocus(UIDRef(db, story)));
    fAlerts->Clear();
    ASSERT_EQ(PanelCommands::Click("check", &error), 0) << error;
    EXPECT_EQ(AlertTexts(), std::vector<std::string>{"The package is locked."});
    data->SetLocked(kFalse);
    fAlerts->Clear();
    fFace->Queue({"targets", {}, "OK"});
    ASSERT_EQ(PanelCommands::Click("check", &error), 0) << error;
    EXPECT_TRUE(AlertTexts().empty());
    EXPECT_EQ(fFace->Opened().back(), "targets");
}

TEST_F(PanelTest, TargetChoiceIsKeptInTheSettings) {
    NewDocument({Issue(3)});
    std::string error;
    for (auto [mode, type] : {std::pair{"story", 1}, {"assignment", 2}, {"document", 0}}) {
        ASSERT_EQ(PanelCommands::Mode(mode, &error), 0) << error;
        EXPECT_EQ(Prefs()->GetDataType(), type);
    }
    PanelCommands::Close();
    StartHost(); // a new run reads the mode back
    EXPECT_EQ(Prefs()->GetDataType(), 0);
    EXPECT_EQ(PanelCommands::Mode("galley", &error), 1);
}

TEST_F(PanelTest, NewAndCopyGoThroughTheNameAndPasswordDialogs) {
    NewDocument({});
    fFace->Queue({"package", {{"name", "Issue"}}, "OK"}); // taken: asked again
    fFace->Queue({"package", {{"name", "Culture"}}, "OK"});
    fFace->Queue({"password", {{"password", "pw"}, {"confirm", "pw"}}, "OK"});
    std::string error;
    ASSERT_EQ(PanelCommands::Click("new", &error), 0) << error;
    const BRNPackage* made = Prefs()->FindPackage(Untranslated("Culture"));
    ASSERT_NE(made, nullptr);
    EXPECT_TRUE(made->CheckPassword(Untranslated("pw")));
    EXPECT_EQ(Text(Observer()->GetCurrentPackage()), "Culture");
    // Copying a protected package asks its password first; a wrong one copies nothing.
    fFace->Queue({"enter-password", {{"password", "nope"}}, "OK"});
    ASSERT_EQ(PanelCommands::Click("copy", &error), 0) << error;
    EXPECT_EQ(Prefs()->GetPackages().size(), 3u);
    fFace->Queue({"enter-password", {{"password", "pw"}}, "OK"});
    fFace->Queue({"package", {{"name", "Culture 2"}}, "OK"});
    fFace->Queue({"password", {}, "Cancel"});
    ASSERT_EQ(PanelCommands::Click("copy", &error), 0) << error;
    const BRNPackage* copy = Prefs()->FindPackage(Untranslated("Culture 2"));
    ASSERT_NE(copy, nullptr);
    EXPECT_FALSE(copy->HasPassword());
}

TEST_F(PanelTest, MultiChoiceDialogTakesChoicesAndCheckedOwnValues) {
    IDocument* doc = NewDocument({Issue(3)});
    Shown();
    const struct {
        std::vector<DialogAnswerScript> answers;
        const char* stored;
        std::vector<std::string> alerts;
    } cases[] = {
        {{{"multichoice", {{"red", "true"}}, "OK"}}, "red", {}},
        {{{"multichoice", {{"blue", "true"}, {"own", "green"}}, "add"}, {"multichoice", {}, "OK"}},
         "red, blue, green",
         {}},
        {{{"multichoice", {{"own", "a,b"}}, "OK"}, {"multichoice", {{"own", "red"}}, "OK"}, {"multichoice", {}, "Cancel"}},
         "red, blue, green",
         {"A value may not contain a comma.", "The value is in the list already."}},
        {{{"multichoice", {{"red", "false"}, {"green", "false"}}, "OK"}}, "blue", {}},
    };
    const int32 row = Observer()->GetRows()[7].field + 1;
    for (const auto& c : cases) {
        fAlerts->Clear();
        for (const auto& a : c.answers)
            fFace->Queue(a);
        std::string error;
        ASSERT_EQ(PanelCommands::Click(std::to_string(row) + ".change", &error), 0) << error;
        EXPECT_EQ(Text(Held(Root(doc), "Tags").GetValue()), c.stored);
        EXPECT_EQ(AlertTexts(), c.alerts);
    }
}

TEST_F(PanelTest, DeadlineRowSignsAndEditsThroughItsDialog) {
    IDocument* doc = NewDocument({Issue(3)});
    Shown();
    const std::string row = std::to_string(Observer()->GetRows()[8].field + 1);
    std::string error;
    fFace->Queue({"deadline", {{"planned", "2014/6/30"}}, "OK"});
    fFace->Queue({"deadline", {{"planned", "2026/07/01"}}, "OK"});
    ASSERT_EQ(PanelCommands::Click(row + ".deadline", &error), 0) << error;
    EXPECT_EQ(Text(Held(Root(doc), "Copy due").GetDeadline().PlannedDate), "2026/07/01");
    ASSERT_EQ(PanelCommands::Click(row + ".sign", &error), 0) << error;
    const BRNDeadline d = Held(Root(doc), "Copy due").GetDeadline();
    EXPECT_EQ(Text(d.ExecutedBy), "tester");
    EXPECT_EQ(d.ExecutedDate, BRNPackageUtils::FormatToday());
    EXPECT_NE(Shown().find("deadline            Planned for: 2026/07/01\\nExecuted on: "), std::string::npos) << Shown();
    EXPECT_NE(Shown().find("(colour #"), std::string::npos);
}

// --- The package editor ----------------------------------------------------------------------

class PackageEditorTest : public PanelTest {
protected:
    void Answer(std::vector<std::pair<std::string, std::string>> values, const char* button) {
        fFace->Queue({"editor", std::move(values), button});
    }
};

TEST_F(PackageEditorTest, TypeMenuFollowsItsOwnOrderNotTheCodes) {
    const int32 expected[] = {0, 1, 5, 2, 6, 3, 4, 7, 8, 9, 10, 11};
    for (int32 i = 0; i < 12; ++i) {
        EXPECT_EQ(BRNDialogObserver::TypeOfMenuEntry(i), expected[i]);
        EXPECT_EQ(BRNDialogObserver::MenuEntryOfType(expected[i]), i);
    }
}

TEST_F(PackageEditorTest, ConfirmedEditsGoIntoTheLibraryWithARaisedVersion) {
    Answer({}, "add");
    Answer({{"name", "Title"}, {"shortName", "t"}, {"type", "Integer"}, {"default", "x"}}, "add");
    Answer({{"name", "title"}, {"type", "Choice"}}, "addValue");
    Answer({}, "addValue");
    Answer({{"fields", "Headline"}, {"required", "true"}}, "down");
    Answer({}, "OK");
    ASSERT_TRUE(BRNUtils::InvokeEditPackageDialog(Untranslated("Issue")));
    const BRNPackage* p = Prefs()->FindPackage(Untranslated("Issue"));
    ASSERT_EQ(p->GetVersion(), 4u);
    const BRNFieldList& f = p->GetFields();
    ASSERT_EQ(f.size(), Issue().GetFields().size() + 2);
    EXPECT_EQ(Text(f[0].GetName()), "Issue number");
    EXPECT_EQ(Text(f[1].GetName()), "Headline");
    EXPECT_TRUE(f[1].GetRequired());
    const BRNField& title = f[f.size() - 2];
    EXPECT_EQ(Text(title.GetName()), "Title");
    EXPECT_EQ(title.GetType(), kBRNTypeInteger);
    EXPECT_TRUE(title.GetDefaultValue().IsEmpty()) << "x is no whole number";
    const BRNField& second = f.back();
    EXPECT_EQ(Text(second.GetName()), "title") << "names differ by letter case";
    EXPECT_EQ(second.GetType(), kBRNTypeChoice);
    ASSERT_EQ(second.GetOptions().size(), 2u);
    EXPECT_EQ(Text(second.GetOptions()[0]), "aValue1");
    EXPECT_EQ(Text(second.GetOptions()[1]), "aValue2");
    EXPECT_EQ(AlertTexts(), std::vector<std::string>{"Please enter a whole number."});
}

TEST_F(PackageEditorTest, ChecksRefuseInOrderAndSelectTheOffendingEntry) {
    const struct {
        const char* what;
        std::vector<DialogAnswerScript> answers; // the last confirms or cancels
        bool16 stored;
        std::vector<std::string> alerts;
    } cases[] = {
        {"A/A refused, then fixed",
         {{"editor", {{"fields", "Section"}, {"values", "Sport"}, {"value", "News"}}, "OK"},
          {"editor", {{"value", "Culture"}}, "OK"}},
         kTrue,
         {"The value is in the list already."}},
        {"an empty name, then a duplicate",
         {{"editor", {{"fields", "Headline"}, {"name", ""}}, "OK"},
          {"editor", {{"name", "Price"}}, "OK"},
          {"editor", {}, "Cancel"}},
         kFalse,
         {"Every field needs a name.", "Two fields have the same name."}},
        {"a bad date default",
         {{"editor", {{"fields", "Print date"}, {"default", "2014/6/30"}}, "OK"}, {"editor", {}, "Cancel"}},
         kFalse,
         {"The date of Print date is not valid. Please write it as yyyy/mm/dd."}},
        {"a template naming no field",
         {{"editor", {}, "add"},
          {"editor", {{"type", "CalculatedString"}, {"default", "<cvbrindle:Nope/>"}}, "OK"},
          {"editor", {}, "Cancel"}},
         kFalse,
         {"The package offers no such tag:"}},
    };
    for (const auto& c : cases) {
        Prefs()->SetPackages({Issue(3)});
        fAlerts->Clear();
        for (const auto& a : c.answers)
            fFace->Queue(a);
        EXPECT_EQ(BRNUtils::InvokeEditPackageDialog(Untranslated("Issue")), c.stored) << c.what;
        EXPECT_EQ(Prefs()->FindPackage(Untranslated("Issue"))->GetVersion(), c.stored ? 4u : 3u) << c.what;
        ASSERT_EQ(AlertTexts().size(), c.alerts.size()) << c.what;
        for (size_t i = 0; i < c.alerts.size(); ++i)
            EXPECT_EQ(AlertTexts()[i].rfind(c.alerts[i], 0), 0u) << c.what << ": " << AlertTexts()[i];
        EXPECT_EQ(fFace->Pending(), 0u) << c.what;
    }
}

TEST_F(PackageEditorTest, AWrongPasswordKeepsTheEditorShut) {
    BRNPackage p = Issue(3);
    p.SetPassword(Untranslated("secret"));
    Prefs()->SetPackages({p});
    fFace->Queue({"enter-password", {{"password", "wrong"}}, "OK"});
    EXPECT_FALSE(BRNUtils::DoEditPackage(Untranslated("Issue")));
    EXPECT_EQ(fFace->Opened(), std::vector<std::string>{"enter-password"});
    fFace->Queue({"enter-password", {{"password", "secret"}}, "OK"});
    fFace->Queue({"editor", {{"fields", "Headline"}, {"description", "The big one"}}, "OK"});
    EXPECT_TRUE(BRNUtils::DoEditPackage(Untranslated("Issue")));
    EXPECT_EQ(Text(Prefs()->FindPackage(Untranslated("Issue"))->GetFields()[0].GetDescription()), "The big one");
}

} // namespace

namespace {

// The dialogs the panel and the close guard open beside the package dialogs.
class OpenDialogsTest : public PanelTest {};

TEST_F(OpenDialogsTest, RequiredFieldsDialogListsTheMissingFieldsAndTakesItsAnswer) {
    const PMStringList missing{Untranslated("Headline"), Untranslated("Author")};
    struct Seen : public IDialogFace {
        std::optional<DialogStep> NextStep(DialogModel& d, bool) override {
            list = d.FindWidget(kBRNRequiredListWidgetID)->GetStringList();
            return button.empty() ? std::nullopt : std::optional<DialogStep>({DialogStep::Kind::kClick, button, {}});
        }
        std::vector<PMString> list;
        std::string button;
    };
    const struct {
        HostDialogs::MessageAnswer answer;
        const char* button; // what the person presses; empty: the dialog is closed
        int16 result;
        bool asked;
    } cases[] = {
        {HostDialogs::MessageAnswer::kAsk, "OK", 1, true},
        {HostDialogs::MessageAnswer::kAsk, "Cancel", 0, true},
        {HostDialogs::MessageAnswer::kAsk, "", 0, true},
        {HostDialogs::MessageAnswer::kOK, "Cancel", 1, false},
        {HostDialogs::MessageAnswer::kDismiss, "OK", 0, false},
    };
    for (const auto& c : cases) {
        auto face = std::make_shared<Seen>();
        face->button = c.button;
        DialogDriver::SetFace(face);
        HostDialogs::SetMessageAnswer(c.answer);
        EXPECT_EQ(BRNPackageUtils::ReportMissingFields(missing, kTrue), c.result) << c.button;
        EXPECT_EQ(face->list, c.asked ? missing : std::vector<PMString>{}) << c.button;
        EXPECT_NE(Text(HostDialogs::LastMessage()).find("- Author"), std::string::npos);
    }
    HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kAsk);
    // Without the dialog flag the same pass shows an alert.
    fAlerts->Clear();
    EXPECT_EQ(BRNPackageUtils::ReportMissingFields(missing, kFalse), 1);
    ASSERT_EQ(fAlerts->Alerts().size(), 1u);
    EXPECT_NE(fAlerts->Alerts()[0].message.find("- Headline"), std::string::npos);
}

TEST_F(OpenDialogsTest, AboutIsADialogWithTheLoggingComponentElseAnAlert) {
    fFace->Queue({"about", {}, "OK"});
    EXPECT_EQ(PanelCommands::About(), 0);
    EXPECT_EQ(fFace->Opened(), std::vector<std::string>{"about"});
    EXPECT_TRUE(fAlerts->Alerts().empty());
    Host::SetOutsideComponentsInstalled(false);
    EXPECT_EQ(PanelCommands::About(), 0);
    ASSERT_EQ(fAlerts->Alerts().size(), 1u);
    EXPECT_EQ(fAlerts->Alerts()[0].message.rfind("Brindle 7.1.5", 0), 0u);
}

TEST_F(OpenDialogsTest, ImportRefusesAnOlderPackageAndExportWritesTheChosenFile) {
    NewDocument({});
    Shown();
    const auto file = fDir / "issue.xml";
    BRNPackage older = Issue(2);
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), older));
    fFace->Queue({"import", {{"file", file.string()}}, "OK"});
    fFace->Queue({"import", {{"file", (fDir / "none.xml").string()}}, "OK"});
    std::string error;
    ASSERT_EQ(PanelCommands::Click("import", &error), 0) << error;
    EXPECT_EQ(Prefs()->FindPackage(Untranslated("Issue"))->GetVersion(), 3u);
    ASSERT_EQ(fAlerts->Alerts().size(), 2u);
    EXPECT_EQ(fAlerts->Alerts()[0].message, "The library holds a newer version of Issue.");
    const auto out = fDir / "out.xml";
    fFace->Queue({"export", {{"file", out.string()}}, "OK"});
    ASSERT_EQ(PanelCommands::Click("export", &error), 0) << error;
    BRNPackage read;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(out), read), 0);
    EXPECT_EQ(Text(read.GetName()), "Issue");
    EXPECT_EQ(read.GetFields().size(), Issue().GetFields().size());
    // A newer version is taken and becomes the panel's package.
    BRNPackage newer = Issue(5);
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), newer));
    fFace->Queue({"import", {{"file", file.string()}}, "OK"});
    ASSERT_EQ(PanelCommands::Click("import", &error), 0) << error;
    EXPECT_EQ(Prefs()->FindPackage(Untranslated("Issue"))->GetVersion(), 5u);
    EXPECT_NE(Shown().find("package: Issue  v. 5"), std::string::npos) << Shown();
}

} // namespace

namespace {

// The panel's targets by mode and selection, for every action that writes to them.
class PanelTargetsTest : public PanelTest {
protected:
    // A document whose stories lead, side and box make the assignment "Front", and loose
    // belongs to none; every story (and the document) holds what the action starts from.
    IDocument* Assignment(const BRNPackageList& held) {
        IDocument* doc = Host::NewDocument(IDFile(fDir / "front.jpg"));
        IDataBase* db = doc->GetDocumentDataBase();
        fStories.clear();
        for (const char* name : {"lead", "side", "box", "loose"}) {
            UID uid = Host::NewStory(doc, Untranslated(name));
            InterfacePtr<IStoryData> story(Instantiate<IStoryData>(db, uid));
            story->SetExportedForTextEditing(kTrue);
            fStories[name] = uid;
        }
        fFrame = Host::NewStoryReference(doc, kTextFrameBoss, fStories["side"]);
        InterfacePtr<IAssignmentMgr> assignments(Instantiate<IAssignmentMgr>(Root(doc)));
        assignments->AddAssignment({Untranslated("Front"),
                                    Untranslated("eva"),
                                    IDFile(),
                                    {fStories["lead"], fStories["side"], fStories["box"]}});
        if (!held.empty()) {
            EXPECT_EQ(BRNPackageUtils::StorePackages(UIDList(Root(doc)), held, kFalse, kFalse), kSuccess);
            for (const auto& [name, uid] : fStories)
                EXPECT_EQ(BRNPackageUtils::StorePackages(UIDList(db, uid), held, kFalse, kFalse), kSuccess);
        }
        // What a test sets up is no step of the user's.
        CmdUtils::ClearUndo(doc);
        return doc;
    }
    // The targets (stories by name, the document as "document") whose packet passes the test.
    std::set<std::string> Changed(IDocument* doc, const std::function<bool(const BRNPackageList&)>& changed) {
        IDataBase* db = doc->GetDocumentDataBase();
        std::set<std::string> names;
        if (changed(BRNPackageUtils::ReadPackages(Root(doc)))) names.insert("document");
        for (const auto& [name, uid] : fStories)
            if (changed(BRNPackageUtils::ReadPackages(UIDRef(db, uid)))) names.insert(name);
        return names;
    }
    UIDList Stories(IDocument* doc, const std::vector<std::string>& names) {
        UIDList list(doc->GetDocumentDataBase());
        for (const std::string& n : names)
            list.Append(fStories[n]);
        return list;
    }

    std::map<std::string, UID> fStories;
    UID fFrame = kInvalidUID;
};

const BRNPackage* Named(const BRNPackageList& held, const char* name) {
    for (const BRNPackage& p : held)
        if (Text(p.GetName()) == name) return &p;
    return nullptr;
}

TEST_F(PanelTargetsTest, EveryWritingActionReachesTheTargetsOfTheModeAndSelection) {
    enum class Select { kText, kGalley, kFrame, kStories };
    const struct {
        const char* mode;
        Select how;
        std::vector<std::string> selected;
        std::set<std::string> targets;
    } cases[] = {
        {"assignment", Select::kText, {"side"}, {"lead", "side", "box"}},
        {"assignment", Select::kGalley, {"box"}, {"lead", "side", "box"}},
        {"assignment", Select::kFrame, {"side"}, {"lead", "side", "box"}},
        {"assignment", Select::kStories, {"side"}, {"lead", "side", "box"}},
        {"assignment", Select::kStories, {"loose"}, {"loose"}},
        {"assignment", Select::kStories, {"loose", "box"}, {"loose", "lead", "side", "box"}},
        {"story", Select::kText, {"side"}, {"side"}},
        {"story", Select::kStories, {"box", "side"}, {"box"}},
        {"document", Select::kText, {"side"}, {"document"}},
    };
    BRNPackage older = Issue(2);
    older.Fields().pop_back();
    const struct {
        const char* action;
        BRNPackageList held; // what every target holds before
        std::function<int(std::string*)> run;
        std::function<bool(const BRNPackageList&)> changed;
        bool frontDocument = false; // of the front document in every mode
    } actions[] = {
        {"apply",
         {},
         [](std::string* e) { return PanelCommands::Click("apply", e); },
         [](const BRNPackageList& h) { return Named(h, "Issue") != nullptr; }},
        {"edit",
         {Issue(3)},
         [](std::string* e) { return PanelCommands::Set("Headline", "Storm", e); },
         [](const BRNPackageList& h) {
             return Named(h, "Issue") && Text(Named(h, "Issue")->GetFields()[0].GetValue()) == "Storm";
         }},
        {"reset",
         {Issue(3)},
         [this](std::string* e) {
             fAlerts->QueueAnswer(1);
             return PanelCommands::Click("reset", e);
         },
         [](const BRNPackageList& h) { return h.empty(); },
         true},
        {"delete",
         {Issue(3), Package("Sport", 1, {})},
         [this](std::string* e) {
             fAlerts->QueueAnswer(1);
             return PanelCommands::Click("delete", e);
         },
         [](const BRNPackageList& h) { return !h.empty() && !Named(h, "Issue"); }},
        {"upgrade",
         {older},
         [this](std::string* e) {
             fFace->Queue({"resolve", {{"action", "upgrade"}}, "OK"});
             return PanelCommands::Click("resolve", e);
         },
         [this](const BRNPackageList& h) {
             // The library's version (an apply raises the version of a definition still marked modified).
             return Named(h, "Issue") && Named(h, "Issue")->GetVersion() ==
                                             Prefs()->FindPackage(Untranslated("Issue"))->GetVersion();
         }},
    };
    for (const auto& c : cases) {
        for (const auto& a : actions) {
            SCOPED_TRACE(std::string(a.action) + " in " + c.mode + " mode, selected " + c.selected.front());
            IDocument* doc = Assignment(a.held);
            switch (c.how) {
            case Select::kText:
            case Select::kGalley:
                ASSERT_TRUE(
                    Host::SetTextFocus(UIDRef(doc->GetDocumentDataBase(), fStories[c.selected.front()]),
                                       c.how == Select::kGalley));
                break;
            case Select::kFrame:
                ASSERT_TRUE(Host::SelectPageItems(UIDList(doc->GetDocumentDataBase(), fFrame)));
                break;
            case Select::kStories:
                Host::ClearSelection();
                ASSERT_TRUE(Host::SetSelectedStories(Stories(doc, c.selected)));
                break;
            }
            std::string error;
            ASSERT_EQ(PanelCommands::Mode(c.mode, &error), 0) << error;
            fAlerts->Clear();
            ASSERT_EQ(a.run(&error), 0) << error;
            EXPECT_EQ(Changed(doc, a.changed), a.frontDocument ? std::set<std::string>{"document"} : c.targets);
            EXPECT_TRUE(AlertTexts().size() <= 1u) << "only the question is asked";
            Host::ClearSelection();
            Host::SetSelectedStories(UIDList());
            Host::CloseDocument(doc);
        }
    }
}

} // namespace

namespace {

TEST_F(PanelTargetsTest, EachEditIsAnUndoStepOfItsOwnAndCoversAllItsTargets) {
    const struct {
        const char* mode;
        std::vector<std::pair<const char*, const char*>> edits; // row, value; none between them ends a step
        std::set<std::string> targets;
        std::vector<const char*> afterEachUndo; // the Headline of every target, from the last undo back
    } cases[] = {
        {"document", {{"Headline", "Storm"}, {"Headline", "Calm"}}, {"document"}, {"Storm", "Tides"}},
        {"document",
         {{"Headline", "Storm"}, {"Issue number", "12"}, {"Headline", "Calm"}},
         {"document"},
         {"Storm", "Storm", "Tides"}},
        {"assignment",
         {{"Headline", "Storm"}, {"Headline", "Calm"}},
         {"lead", "side", "box"},
         {"Storm", "Tides"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.mode) + ", " + std::to_string(c.edits.size()) + " edits");
        IDocument* doc = Assignment({Issue(3)});
        ASSERT_TRUE(Host::SetTextFocus(UIDRef(doc->GetDocumentDataBase(), fStories["side"])));
        std::string error;
        ASSERT_EQ(PanelCommands::Mode(c.mode, &error), 0) << error;
        for (const auto& [row, value] : c.edits)
            ASSERT_EQ(PanelCommands::Set(row, value, &error), 0) << error;
        EXPECT_EQ(CmdUtils::GetUndoNames(doc).size(), c.edits.size());
        for (const char* expected : c.afterEachUndo) {
            ASSERT_TRUE(CmdUtils::Undo(doc));
            // The targets hold the value, the others were never touched.
            const std::set<std::string> holding = Changed(doc, [&](const BRNPackageList& h) {
                return Named(h, "Issue") && Text(Named(h, "Issue")->GetFields()[0].GetValue()) == expected;
            });
            const std::set<std::string> untouched = Changed(doc, [&](const BRNPackageList& h) {
                return Named(h, "Issue") && Text(Named(h, "Issue")->GetFields()[0].GetValue()) == "Tides";
            });
            for (const char* t : {"document", "lead", "side", "box", "loose"})
                EXPECT_TRUE(c.targets.count(t) ? holding.count(t) : untouched.count(t))
                    << t << " after the undo back to " << expected;
        }
        EXPECT_EQ(Text(Held(Root(doc), "Issue number").GetValue()), "7");
        Host::ClearSelection();
        Host::CloseDocument(doc);
    }
}

// Tells what reaches it on the protocol the panel passes changes on.
class PassedOn : public CObserver {
public:
    explicit PassedOn(Boss* boss) : CObserver(boss) {}
    void Update(const ClassID& change, ISubject*, const PMIID& protocol, void*) override {
        if (protocol == kBRNPassOnProtocol) changes.push_back(change);
    }
    std::vector<ClassID> changes;
};

TEST_F(PanelTest, ALoggerStatusChangeUpdatesThePanelAndIsPassedOn) {
    NewDocument({Issue(3)});
    Shown();
    ObjectModel::RegisterImplementation(0x7E010, MakeFactory<PassedOn>());
    ObjectModel::RegisterClass(0x7E011, {{IID_IOBSERVER, 0x7E010}});
    InterfacePtr<IObserver> observer(static_cast<IObserver*>(CreateObject(0x7E011, IID_IOBSERVER)));
    InterfacePtr<ISubject> session(GetExecutionContextSession(), IID_ISUBJECT);
    ASSERT_TRUE(observer && session);
    session->AttachObserver(observer, kBRNPassOnProtocol);
    auto& seen = static_cast<PassedOn*>(observer.get())->changes;
    InterfacePtr<ICVLogger> logger(CVLog::GetLogger());
    ASSERT_TRUE(logger);
    const std::string file = (fDir / "outside.log").string();
    const struct {
        int32 level;
        std::string file;
        std::string shown; // the panel's log line
        bool announced;
    } cases[] = {
        {75, file, "log: level 75, to " + file, true},
        {75, file, "log: level 75, to " + file, false}, // the same status again is no change
        {30, "", "log: level 30, to standard error", true},
        {0, "", "log: off", true},
    };
    for (const auto& c : cases) {
        seen.clear();
        logger->SetStatus(c.level, c.file);
        EXPECT_NE(Shown().find(c.shown + "\n"), std::string::npos) << Shown();
        EXPECT_EQ(seen, c.announced ? std::vector<ClassID>{kCVLoggerStatusMessage} : std::vector<ClassID>{})
            << c.shown;
    }
    // Lines go where the status says.
    logger->SetStatus(30, file);
    logger->Log(30, "p", "1", "here", 7, "written");
    EXPECT_NE(testsupport::ReadFile(file).find("here:7 written"), std::string::npos);
    logger->SetStatus(0, "");
    session->DetachObserver(observer, kBRNPassOnProtocol);
}

} // namespace
