// The plug-in's menu: the action component's actions and states, and the panel's tip.
#include "TestSupport.h"

#include "BRNID.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/ObjectModel.h"
#include "session/Host.h"
#include "session/IPanelMgr.h"
#include "subjects/CObserver.h"
#include "subjects/ISubject.h"
#include "ui/ActionRegistry.h"
#include "ui/HostDialogs.h"
#include "ui/IBRNPanelData.h"
#include "ui/ITip.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

class ActionComponentTest : public HostFixture {
protected:
    void TearDown() override {
        HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kAsk);
        HostFixture::TearDown();
    }
    void Library(std::initializer_list<const char*> names) {
        BRNPackageList list;
        for (const char* n : names)
            list.emplace_back(BRNFieldList{Field("A", "A", kBRNTypeString)}, Untranslated(n), PMString(), 0);
        Prefs()->SetPackages(list);
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const BRNPackage& p : Prefs()->GetPackages())
            names.push_back(p.GetName().GetUTF8String());
        return names;
    }
    // The panel with its current package.
    void Current(const char* name) {
        IPanelMgr* panels = GetPanelManager();
        ASSERT_TRUE(panels);
        InterfacePtr<IPMUnknown> panel(CreateObject(kBRNPanelBoss, IID_IBRNPANELDATA));
        ASSERT_TRUE(panel);
        panels->RegisterPanel(kBRNPanelWidgetID, panel);
        InterfacePtr<IBRNPanelData> data(panel, IID_IBRNPANELDATA);
        data->SetCurrentPackage(Untranslated(name));
    }
    int16 StateOf(const ActionStateList& list, ActionID id) {
        for (int32 i = 0; i < list.Length(); ++i)
            if (list.GetNthAction(i) == id) return list.GetNthActionState(i);
        ADD_FAILURE() << "no action " << id;
        return -1;
    }
};

TEST_F(ActionComponentTest, UpdateActionStatesTouchesOnlyTheUseLatestSwitch) {
    InterfacePtr<IActionComponent> component(
        static_cast<IActionComponent*>(CreateObject(kBRNActionComponentBoss, IID_IACTIONCOMPONENT)));
    ASSERT_TRUE(component);
    for (bool latest : {true, false}) {
        Prefs()->SetUseLatestPackage(latest ? kTrue : kFalse);
        ActionStateList list;
        list.Add(kBRNAboutActionID, ActionStateList::kDisabled);
        list.Add(kBRNToggleLatestActionID, ActionStateList::kDisabled);
        list.Add(kBRNRefreshActionID, ActionStateList::kSelectedAction);
        list.Add(0x1234, ActionStateList::kEnabledAction);
        component->UpdateActionStates(&list);
        EXPECT_EQ(list.GetNthActionState(0), ActionStateList::kDisabled);
        EXPECT_EQ(list.GetNthActionState(1), latest ? 3 : 1);
        EXPECT_EQ(list.GetNthActionState(2), ActionStateList::kSelectedAction);
        EXPECT_EQ(list.GetNthActionState(3), ActionStateList::kEnabledAction);
    }
}

TEST_F(ActionComponentTest, ToggleTwiceRestoresTheSwitchAndSavesBothTimes) {
    const bool before = Prefs()->GetUseLatestPackage() != 0;
    for (int i = 0; i < 2; ++i) {
        fs::remove(SettingsFile());
        ASSERT_TRUE(ActionRegistry::Do(kBRNToggleLatestActionID));
        EXPECT_TRUE(fs::exists(SettingsFile())) << i;
        EXPECT_EQ(StateOf(ActionRegistry::States(), kBRNToggleLatestActionID), (i == 0) != before ? 3 : 1);
    }
    EXPECT_EQ(Prefs()->GetUseLatestPackage() != 0, before);
}

TEST_F(ActionComponentTest, DeleteTakesThePanelsCurrentPackageWithoutAsking) {
    struct Case {
        const char* current; // null: no panel
        std::vector<std::string> after;
        bool saved;
    };
    const Case cases[] = {
        {nullptr, {"Alpha", "Beta"}, false},
        {"", {"Alpha", "Beta"}, false},
        {"Gamma", {"Alpha", "Beta"}, true},
        {"beta", {"Alpha", "Beta"}, true},
        {"Beta", {"Alpha"}, true},
    };
    for (const Case& c : cases) {
        Library({"Alpha", "Beta"});
        if (c.current) Current(c.current);
        fs::remove(SettingsFile());
        fAlerts->Clear();
        ASSERT_TRUE(ActionRegistry::Do(kBRNDeletePackageActionID));
        EXPECT_EQ(Names(), c.after) << (c.current ? c.current : "(no panel)");
        EXPECT_EQ(fs::exists(SettingsFile()), c.saved) << (c.current ? c.current : "(no panel)");
        EXPECT_TRUE(fAlerts->Alerts().empty());
        GetPanelManager()->UnregisterPanel(kBRNPanelWidgetID);
    }
}

TEST_F(ActionComponentTest, AboutIsAPlainAlertWithoutTheMakersLogger) {
    HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kOK);
    const int32 dialogs = HostDialogs::MessageDialogCount();
    ASSERT_TRUE(ActionRegistry::Do(kBRNAboutActionID));
    EXPECT_EQ(HostDialogs::MessageDialogCount(), dialogs + 1);
    EXPECT_TRUE(fAlerts->Alerts().empty());

    Host::SetOutsideComponentsInstalled(false);
    StartHost();
    ASSERT_TRUE(ActionRegistry::Do(kBRNAbout2ActionID));
    ASSERT_EQ(fAlerts->Alerts().size(), 1u);
    EXPECT_EQ(fAlerts->Alerts()[0].buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(HostDialogs::MessageDialogCount(), dialogs + 1);
}

TEST_F(ActionComponentTest, ExportAndImportGoThroughTheFileDialogs) {
    Library({"Alpha"});
    Current("Alpha");
    const fs::path file = fHome->path() / "alpha.xml";
    HostDialogs::SetSaveFileAnswer({DialogAnswer::Kind::kPath, file});
    ASSERT_TRUE(ActionRegistry::Do(kBRNExportPackageActionID));
    HostDialogs::SetSaveFileAnswer({});
    ASSERT_TRUE(fs::exists(file));

    Library({});
    ASSERT_TRUE(ActionRegistry::Do(kBRNImportPackageActionID)); // cancelled: nothing
    EXPECT_TRUE(Names().empty());
    HostDialogs::SetOpenFileAnswer({DialogAnswer::Kind::kPath, file});
    ASSERT_TRUE(ActionRegistry::Do(kBRNImportPackageActionID));
    HostDialogs::SetOpenFileAnswer({});
    EXPECT_EQ(Names(), std::vector<std::string>{"Alpha"});
}

TEST_F(ActionComponentTest, ImportRefusesAFileOlderThanTheLibrarysPackage) {
    const struct {
        uint32 fileVersion;
        uint32 libraryVersion; // afterwards
        std::vector<std::string> alerts;
    } cases[] = {
        {2, 3, {"The library holds a newer version of Alpha."}},
        {3, 3, {}},
        {5, 5, {}},
    };
    const fs::path file = fHome->path() / "alpha.xml";
    for (const auto& c : cases) {
        BRNPackage inFile(BRNFieldList{Field("A", "A", kBRNTypeString)}, Untranslated("Alpha"), PMString(),
                          0);
        inFile.SetVersion(c.fileVersion);
        ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), inFile));
        BRNPackage held = inFile;
        held.SetVersion(3);
        Prefs()->SetPackages({held});
        fAlerts->Clear();
        HostDialogs::SetOpenFileAnswer({DialogAnswer::Kind::kPath, file});
        ASSERT_TRUE(ActionRegistry::Do(kBRNImportPackageActionID));
        HostDialogs::SetOpenFileAnswer({});
        EXPECT_EQ(Prefs()->FindPackage(Untranslated("Alpha"))->GetVersion(), c.libraryVersion)
            << c.fileVersion;
        std::vector<std::string> alerts;
        for (const auto& a : fAlerts->Alerts())
            alerts.push_back(a.message);
        EXPECT_EQ(alerts, c.alerts) << c.fileVersion;
    }
}

class RefreshObserver : public CObserver {
public:
    explicit RefreshObserver(Boss* boss) : CObserver(boss) {}
    void Update(const ClassID& change, ISubject*, const PMIID& protocol, void*) override {
        if (protocol == kBRNProtocol) changes.push_back(change);
    }
    std::vector<ClassID> changes;
};

TEST_F(ActionComponentTest, RefreshBroadcastsOnTheSettingsSubject) {
    ObjectModel::RegisterImplementation(0x7E000, MakeFactory<RefreshObserver>());
    ObjectModel::RegisterClass(0x7E001, {{IID_IOBSERVER, 0x7E000}});
    InterfacePtr<IObserver> observer(static_cast<IObserver*>(CreateObject(0x7E001, IID_IOBSERVER)));
    InterfacePtr<ISubject> subject(Prefs(), IID_ISUBJECT);
    ASSERT_TRUE(observer && subject);
    subject->AttachObserver(observer, kBRNProtocol);
    ASSERT_TRUE(ActionRegistry::Do(kBRNRefreshActionID));
    subject->DetachObserver(observer, kBRNProtocol);
    EXPECT_EQ(static_cast<RefreshObserver*>(observer.get())->changes, std::vector<ClassID>{kBRNRefreshMessage});
}

TEST_F(ActionComponentTest, ThePanelsTipIsItsOwnTextUntranslated) {
    InterfacePtr<IPMUnknown> panel(CreateObject(kBRNPanelBoss, IID_IBRNPANELDATA));
    InterfacePtr<ITextControlData> text(panel, IID_ITEXTCONTROLDATA);
    InterfacePtr<ITip> tip(panel, IID_ITIP);
    ASSERT_TRUE(text && tip);
    PMString s("0xA8260kBRNPanelTitle");
    text->SetString(s);
    const PMString t = tip->GetTipText();
    EXPECT_EQ(t.GetUTF8String(), "0xA8260kBRNPanelTitle");
    EXPECT_FALSE(t.GetTranslatable());
}

} // namespace
