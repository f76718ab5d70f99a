// The metadata service IBrindle, reached through the host's utilities: its work on documents
// and stories, on the metadata panel's list (a panel object registered with the host's panel
// manager stands in for the panel) and its dialogs (answered through the host's dialog hooks).
#include "TestSupport.h"
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/HostSelection.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "files/BRNXMLImporter.h"
#include "formats/DocFileTypes.h"
#include "io/FileUtils.h"
#include "io/IXMLUtils.h"
#include "io/StreamUtil.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/ObjectModel.h"
#include "service/BRNBrindle.h"
#include "service/IBrindle.h"
#include "session/IPanelMgr.h"
#include "session/Utils.h"
#include "subjects/CObserver.h"
#include "subjects/ISubject.h"
#include "ui/HostDialogs.h"
#include "ui/IBRNPanelData.h"
#include "xmp/IXMPPacketAccess.h"

#include "ui/DialogDriver.h"
#include "ui/ScriptDialogFace.h"
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::HostFixture;
using testsupport::TempDir;

using testsupport::Field;

namespace {

BRNPackage Package(const char* name, uint32 version, BRNFieldList fields, bool enabled = true) {
    BRNPackage p(fields, PMString(name), PMString(), 0);
    p.SetVersion(version);
    p.SetEnabled(enabled ? kTrue : kFalse);
    return p;
}

// An issue package: a calculated field built from two others.
BRNPackage Issue(uint32 version = 3) {
    BRNField id = Field("Story ID", "StoryID", kBRNTypeCalculatedString);
    id.SetHasDefault(kTrue);
    id.SetDefaultValue(PMString("N<cvbrindle:IssueNo format=\"%03d\"/>-<cvbrindle:Section/>"));
    BRNField section = Field("Section", "Section", kBRNTypeChoice, "News");
    section.SetOptions({PMString("News"), PMString("Sport")});
    BRNField keys = Field("Keywords", "Keys", kBRNTypeMultiChoice);
    keys.SetOptions({PMString("a"), PMString("b"), PMString("c")});
    BRNField headline = Field("Headline", "Head", kBRNTypeString, "Tides");
    headline.SetRequired(kTrue);
    return Package("Issue", version,
                   {headline, Field("Issue number", "IssueNo", kBRNTypeInteger, "7"), section, keys,
                    Field("Legal review", "LegalOK", kBRNTypeBoolean), id,
                    Field("Copy due", "Due", kBRNTypeDeadline)});
}

// Records the changes a subject announces on the plug-in's protocol.
class ChangeRecorder : public CStandaloneUnknown<IObserver> {
public:
    void Update(const ClassID& change, ISubject*, const PMIID& protocol, void*) override {
        if (protocol == kBRNProtocol) changes.push_back(change);
    }
    std::vector<ClassID> changes;
};

std::string Text(const PMString& s) {
    return s.GetUTF8String();
}

BRNHistory Who(const char* user = "eva", const char* alias = "E. Lund") {
    GlobalTime t;
    t.SetTime(2026, 4, 2, 10, 15, 0);
    return BRNHistory(PMString(user), PMString(alias), t, PMString());
}

// A package read back from package-file text.
BRNPackage ParsePackageText(const PMString& xml) {
    BRNPackage p;
    InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead(testsupport::ToUTF16(Text(xml))));
    EXPECT_EQ(BRNXMLImporter::LoadXML(p, in), 0) << Text(xml);
    return p;
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class BrindleServiceTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fBrindle.reset(static_cast<IBrindle*>(UtilsBoss::QueryUtils(IID_IBRINDLE)));
        ASSERT_TRUE(fBrindle);
        fDoc = NewDocument("issue.indd");
        HostDialogs::ClearQueuedAnswers();
    }
    void TearDown() override {
        HostDialogs::ClearQueuedAnswers();
        if (fPanelSubject) fPanelSubject->DetachObserver(&fRecorder, kBRNProtocol);
        fPanelSubject.reset();
        fPanel.reset();
        fBrindle.reset();
        HostFixture::TearDown();
    }

    IDocument* NewDocument(const std::string& name, FileTypeInfoID type = kInvalidFileTypeInfoID) {
        return Host::NewDocument(IDFile(fDir / name), type);
    }
    static UIDRef Root(IDocument* doc) {
        IDataBase* db = doc->GetDocumentDataBase();
        return UIDRef(db, db->GetRootUID());
    }
    static void Store(const UIDRef& target, const BRNPackageList& packages) {
        ASSERT_EQ(BRNPackageUtils::StorePackages(UIDList(target), packages, kFalse, kFalse), kSuccess);
    }
    UIDRef NewStory(const char* name, const BRNPackageList& packages = {}) {
        UIDRef story(fDoc->GetDocumentDataBase(), Host::NewStory(fDoc, PMString(name)));
        if (!packages.empty()) Store(story, packages);
        return story;
    }
    std::string Packet(IDocument* doc) {
        InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
        return xmp->SerializePacket();
    }

    // A panel as the host keeps one: registered with the panel manager under its widget ID.
    IBRNPanelData* OpenPanel(const BRNPackageList& packages = {}, const UIDList& targets = UIDList()) {
        fPanel.reset(CreateObject2<IBRNPanelData>(kBRNPanelBoss));
        EXPECT_TRUE(fPanel);
        fPanel->SetPackages(packages);
        fPanel->SetTargets(targets);
        fPanelSubject.reset(static_cast<ISubject*>(fPanel->QueryInterface(IID_ISUBJECT)));
        fPanelSubject->AttachObserver(&fRecorder, kBRNProtocol);
        GetPanelManager()->RegisterPanel(kBRNPanelWidgetID, fPanel);
        return fPanel.get();
    }
    void ClosePanel() { GetPanelManager()->UnregisterPanel(kBRNPanelWidgetID); }
    std::vector<ClassID>& PanelChanges() { return fRecorder.changes; }

    TempDir fDir;
    InterfacePtr<IBrindle> fBrindle;
    IDocument* fDoc = nullptr;
    InterfacePtr<IBRNPanelData> fPanel;
    InterfacePtr<ISubject> fPanelSubject;
    ChangeRecorder fRecorder;
};

// --- The service itself -------------------------------------------------------------------

TEST_F(BrindleServiceTest, ReachedThroughTheUtilitiesAndOnItsOwnBoss) {
    InterfacePtr<IBrindle> own(CreateObject2<IBrindle>(kBRNBrindleBoss));
    ASSERT_TRUE(own);
    for (IBrindle* b : {fBrindle.get(), own.get()}) {
        PMString v;
        EXPECT_EQ(Text(b->GetVersion(v)), "7.1.5");
        EXPECT_EQ(Text(v), "7.1.5");
        b->Reserved1(); // the empty slots do nothing
        b->Reserved2();
    }
    PMStringList parts;
    EXPECT_EQ(fBrindle->SplitText(parts, PMString(",a,,b c,")),
              (PMStringList{PMString(""), PMString("a"), PMString(""), PMString("b c")}));
}

// --- The panel's list -----------------------------------------------------------------------

TEST_F(BrindleServiceTest, WithoutAnOpenPanelThePanelOperationsDoNothing) {
    const UIDRef root = Root(fDoc);
    Store(root, {Issue()});
    const std::string before = Packet(fDoc);
    struct Case {
        const char* what;
        std::function<bool(IBrindle*)> nothingDone;
    };
    const std::vector<Case> cases = {
        {"GetPanelPackages",
         [](IBrindle* b) {
             BRNPackageList l{Issue()};
             b->GetPanelPackages(l);
             return l.size() == 1;
         }},
        {"FindPanelFieldList",
         [](IBrindle* b) {
             BRNFieldList l;
             return b->FindPanelFieldList(l, PMString("Headline")).empty();
         }},
        {"FindPanelField",
         [](IBrindle* b) {
             BRNField f;
             return b->FindPanelField(f, PMString("Headline")).GetName().IsEmpty();
         }},
        {"GetPanelPackageKeys",
         [](IBrindle* b) {
             PMStringList k;
             return b->GetPanelPackageKeys(k).empty();
         }},
        {"GetPanelPackageXML",
         [](IBrindle* b) {
             PMString x;
             return Text(b->GetPanelPackageXML(x, PMString("Issue"), kTrue)) == "package: Issue not found";
         }},
        {"ExportPackageByKey",
         [this](IBrindle* b) {
             PMString m;
             return b->ExportPackageByKey(PMString("ID-+-Issue-+-3"), IDFile(fDir.path()), m) == kFailure &&
                    Text(m) == "package: Issue not found" && fs::is_empty(fDir.path());
         }},
        {"ImportPackageFile",
         [](IBrindle* b) {
             return b->ImportPackageFile(
                        PMString((testsupport::SamplesLibrary() / "Editorial_ID.xml").string())) == kFailure;
         }},
        {"SyncPanelTarget", [root](IBrindle* b) { return b->SyncPanelTarget(root) == kFailure; }},
        {"LoadPanelTarget", [root](IBrindle* b) { return b->LoadPanelTarget(root) == kFailure; }},
        {"EditMultiChoice",
         [](IBrindle* b) {
             PMStringList v;
             auto face = std::make_shared<ScriptDialogFace>();
             face->Queue({"multichoice", {{"a", "true"}}, "OK"});
             DialogDriver::SetFace(face);
             return b->EditMultiChoice(PMString("Keywords"), Who(), v) == kFailure;
         }},
        {"EditDeadline",
         [](IBrindle* b) {
             BRNDeadline d;
             auto face = std::make_shared<ScriptDialogFace>();
             face->Queue({"deadline", {{"planned", "2026/01/01"}}, "OK"});
             DialogDriver::SetFace(face);
             return b->EditDeadline(PMString("Copy due"), Who(), d) == kFailure;
         }},
        {"SetPanelMode",
         [](IBrindle* b) {
             b->SetPanelMode(1);
             return true;
         }},
    };
    for (const Case& c : cases) {
        // The same with no panel manager entry and with a panel that was closed again.
        EXPECT_TRUE(c.nothingDone(fBrindle)) << c.what;
        OpenPanel();
        ClosePanel();
        EXPECT_TRUE(c.nothingDone(fBrindle)) << c.what << " after the panel closed";
        HostDialogs::ClearQueuedAnswers();
    }
    EXPECT_EQ(Packet(fDoc), before);
    EXPECT_TRUE(PanelChanges().empty());
}

TEST_F(BrindleServiceTest, PanelListIsCopiedAndKeyedInPanelOrder) {
    BRNPackage photo = Package("Photo Rights", 5, {Field("Headline", "H2", kBRNTypeString, "second")});
    OpenPanel({Issue(3), photo});

    BRNPackageList shown;
    fBrindle->GetPanelPackages(shown);
    ASSERT_EQ(shown.size(), 2u);
    shown[0].SetName(PMString("changed"));
    BRNPackageList again;
    fBrindle->GetPanelPackages(again);
    EXPECT_EQ(Text(again[0].GetName()), "Issue") << "the caller gets a copy";

    PMStringList keys;
    EXPECT_EQ(fBrindle->GetPanelPackageKeys(keys),
              (PMStringList{PMString("ID-+-Issue-+-3"), PMString("ID-+-Photo Rights-+-5")}));

    BRNFieldList fields;
    fBrindle->FindPanelFieldList(fields, PMString("Headline"));
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_EQ(Text(fields[0].GetValue()), "Tides");
    EXPECT_EQ(Text(fields[1].GetValue()), "second");
    EXPECT_TRUE(fBrindle->FindPanelFieldList(fields, PMString("Head")).empty()) << "by name, not short name";
    BRNField first;
    EXPECT_EQ(Text(fBrindle->FindPanelField(first, PMString("Headline")).GetValue()), "Tides");
}

TEST_F(BrindleServiceTest, PanelModeTakesTheThreeModesAndAlwaysTellsThePanel) {
    IBRNPanelData* panel = OpenPanel();
    const struct {
        int32 mode;
        int32 expected;
    } cases[] = {{1, 1}, {2, 2}, {3, 2}, {-1, 2}, {0, 0}, {7, 0}};
    for (const auto& c : cases) {
        PanelChanges().clear();
        fBrindle->SetPanelMode(c.mode);
        EXPECT_EQ(panel->GetMode(), c.expected) << c.mode;
        EXPECT_EQ(PanelChanges(), std::vector<ClassID>{kBRNPanelModeMessage}) << c.mode;
    }
}

// --- Exports ------------------------------------------------------------------------------

TEST_F(BrindleServiceTest, FileNameMapping) {
    const struct {
        std::u16string name;
        std::u16string file;
    } cases[] = {
        {u"A/B C", u"AlB_C"},
        {u"Ads", u"Ads"},
        {u"\"*!", u"MUL"},                // below 43: up by 43
        {u"+,-.09", u"+,-.09"},           // 43..57 stay
        {u":;<=>?@", u"DEFGHIJ"},         // 58..64: up by 10
        {u"[\\]^_`", u"efghij"},          // 91..96: up by 10
        {u"{|}~\u007f\u0080", u"ghijkl"}, // 123..128: down by 20
        {u"\t\x0f", u"4D"},               // 9 -> 52; 15 -> 58 -> 68: the steps run one after the other
        {u"\u00a9\u00bf\u00c0\u00e6\u4e2d", u"\u00a9\u00bfxxx"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BRNBrindle::MapFileName(PMString(c.name)).Units(), c.file) << Text(PMString(c.name));
}

TEST_F(BrindleServiceTest, PackageNameOfKey) {
    const struct {
        const char* key;
        const char* name;
    } cases[] = {{"ID-+-Ads-+-3", "Ads"}, {"IC-+-Photo Rights-+-5", "Photo Rights"}, {"ID-+-Ads", "Ads"},
                 {"Ads-+-3", "Ads"},      {"ID-+-A-B+C-+-1-+-x", "A-B+C"},           {"", ""}};
    for (const auto& c : cases)
        EXPECT_EQ(Text(BRNBrindle::PackageNameOfKey(PMString(c.key))), c.name) << c.key;
}

TEST_F(BrindleServiceTest, ExportingTwiceWritesConsecutiveVersionsUnderTheMappedName) {
    BRNPackage p = Issue(3);
    p.SetName(PMString("A/B C"));
    p.SetModified(kTrue);
    IBRNPanelData* panel = OpenPanel({p});
    PMString message;
    ASSERT_EQ(fBrindle->ExportPackageByKey(PMString("ID-+-A/B C-+-3"), IDFile(fDir.path()), message),
              kSuccess);
    ASSERT_EQ(fBrindle->ExportPackageByKeyQuiet(PMString("ID-+-A/B C-+-4"), IDFile(fDir.path())), kSuccess);
    EXPECT_TRUE(message.IsEmpty());
    for (uint32 v : {4u, 5u}) {
        const fs::path file = fDir / ("ID-+-AlB_C-+-" + std::to_string(v) + ".xml");
        ASSERT_TRUE(fs::exists(file)) << file;
        BRNPackage read;
        ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), read), 0);
        EXPECT_EQ(read.GetVersion(), v);
        EXPECT_FALSE(read.IsModified());
        EXPECT_EQ(read.GetFields().size(), p.GetFields().size());
        EXPECT_EQ(testsupport::ReadUTF16File(file).rfind("<?xml version=\"1.0\"", 0), 0u);
    }
    EXPECT_EQ(panel->GetPackages()[0].GetVersion(), 5u);
    EXPECT_FALSE(panel->GetPackages()[0].IsModified());
    EXPECT_EQ(std::count(PanelChanges().begin(), PanelChanges().end(), kBRNRefreshMessage), 2);
}

TEST_F(BrindleServiceTest, ExportIntoAFolderThatCannotBeWrittenKeepsThePanelVersion) {
    IBRNPanelData* panel = OpenPanel({Issue(3)});
    PMString message;
    EXPECT_EQ(
        fBrindle->ExportPackageByKey(PMString("ID-+-Issue-+-3"), IDFile(fDir / "no such folder"), message),
        kFailure);
    EXPECT_EQ(Text(message), "Could not open file!");
    EXPECT_EQ(panel->GetPackages()[0].GetVersion(), 3u);
    EXPECT_EQ(fBrindle->ExportPackageByKey(PMString("ID-+-Nope-+-1"), IDFile(fDir.path()), message),
              kFailure);
    EXPECT_EQ(Text(message), "package: Nope not found");
}

TEST_F(BrindleServiceTest, PanelPackageXMLIsAPackageFileAndRaisesTheVersionWhenAsked) {
    IBRNPanelData* panel = OpenPanel({Issue(3), Package("Other", 1, {})});
    PMString xml;
    fBrindle->GetPanelPackageXML(xml, PMString("Issue"), kFalse);
    EXPECT_EQ(ParsePackageText(xml).GetVersion(), 3u);
    EXPECT_EQ(panel->GetPackages()[0].GetVersion(), 3u);
    EXPECT_TRUE(PanelChanges().empty());

    fBrindle->GetPanelPackageXMLByKey(xml, PMString("ID-+-Issue-+-3"));
    BRNPackage read = ParsePackageText(xml);
    EXPECT_EQ(Text(read.GetName()), "Issue");
    EXPECT_EQ(read.GetVersion(), 4u);
    EXPECT_EQ(read.GetFields().size(), Issue().GetFields().size());
    EXPECT_EQ(panel->GetPackages()[0].GetVersion(), 4u);
    EXPECT_EQ(PanelChanges(), std::vector<ClassID>{kBRNRefreshMessage});
    EXPECT_EQ(Text(fBrindle->GetPanelPackageXML(xml, PMString("issue"), kTrue)), "package: issue not found");
}

TEST_F(BrindleServiceTest, ImportPutsTheFilesPackageIntoThePanel) {
    IBRNPanelData* panel = OpenPanel({Package("Editorial", 1, {}), Issue()});
    const fs::path editorial = testsupport::SamplesLibrary() / "Editorial_ID.xml";
    const fs::path bad = fDir / "bad.xml";
    testsupport::WriteFile(bad, "<brindle version=\"1\"><package name=\"X\"/></brindle>"); // not UTF-16
    const struct {
        PMString url;
        ErrorCode result;
    } cases[] = {
        {FileUtils::FileToURL(IDFile(editorial)), kSuccess},
        {PMString((testsupport::SamplesLibrary() / "Production_ID.xml").string()), kSuccess},
        {FileUtils::FileToURL(IDFile(fDir / "missing.xml")), kFailure},
        {FileUtils::FileToURL(IDFile(bad)), kFailure},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fBrindle->ImportPackageFile(c.url), c.result) << Text(c.url);
    const BRNPackageList& shown = panel->GetPackages();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(Text(shown[0].GetName()), "Editorial") << "replaced in place";
    EXPECT_EQ(shown[0].GetVersion(), 3u);
    EXPECT_FALSE(shown[0].GetFields().empty());
    EXPECT_EQ(Text(shown[1].GetName()), "Issue");
    EXPECT_EQ(Text(shown[2].GetName()), "Production");
    EXPECT_EQ(PanelChanges(), (std::vector<ClassID>{kBRNRefreshMessage, kBRNRefreshMessage}));
}

// --- Panel targets and dialogs ------------------------------------------------------------

TEST_F(BrindleServiceTest, LoadAndSyncMoveTheListBetweenPanelAndTarget) {
    const UIDRef story = NewStory("One", {Issue(2)});
    IBRNPanelData* panel = OpenPanel();
    ASSERT_EQ(fBrindle->LoadPanelTarget(story), kSuccess);
    ASSERT_EQ(panel->GetPackages().size(), 1u);
    EXPECT_EQ(panel->GetPackages()[0].GetVersion(), 2u);
    EXPECT_EQ(panel->GetTargets(), UIDList(story));

    const UIDRef root = Root(fDoc);
    panel->SetPackages({Issue(9), Package("Second", 1, {})});
    ASSERT_EQ(fBrindle->SyncPanelTarget(root), kSuccess);
    BRNPackageList stored;
    fBrindle->GetDocumentPackages(stored, root, IBrindle::kAllPackages);
    ASSERT_EQ(stored.size(), 2u);
    EXPECT_EQ(stored[0].GetVersion(), 9u);
    EXPECT_EQ(panel->GetTargets(), UIDList(root));
    EXPECT_EQ(fBrindle->LoadPanelTarget(UIDRef(root.GetDataBase(), 9999)), kFailure);
}

TEST_F(BrindleServiceTest, MultiChoiceDialogShowsTheSelectionThenWritesEveryTarget) {
    BRNPackage issue = Issue();
    issue.Fields()[3].SetSelectedValues({PMString("b")}, PMString(", "));
    const UIDRef one = NewStory("One", {issue});
    BRNPackage other = issue;
    other.Fields()[0].SetValue(PMString("story two's own"));
    const UIDRef two = NewStory("Two", {other});
    UIDList targets(one);
    targets.Append(two);
    IBRNPanelData* panel = OpenPanel({issue}, targets);

    auto face = std::make_shared<ScriptDialogFace>();
    DialogDriver::SetFace(face);
    // The field allows no own values: only its choices are offered, the selection checked.
    face->Queue({"multichoice", {{"own", "z"}}, "OK"});
    PMStringList chosen;
    EXPECT_EQ(fBrindle->EditMultiChoice(PMString("Keywords"), Who(), chosen), kFailure);
    face->Queue({"multichoice", {{"c", "true"}, {"b", "false"}, {"a", "true"}}, "OK"});
    ASSERT_EQ(fBrindle->EditMultiChoice(PMString("Keywords"), Who(), chosen), kSuccess);
    EXPECT_EQ(chosen, (PMStringList{PMString("a"), PMString("c")})) << "in the order of the choices";
    EXPECT_TRUE(fAlerts->Alerts().empty());

    EXPECT_EQ(Text(panel->GetPackages()[0].GetFields()[3].GetValue()), "a, c");
    for (const UIDRef& target : {one, two}) {
        const BRNField f = BRNPackageUtils::ReadPackages(target)[0].GetFields()[3];
        EXPECT_EQ(Text(f.GetValue()), "a, c");
        ASSERT_EQ(f.GetHistory().size(), 1u);
        EXPECT_EQ(Text(f.GetHistory()[0].GetValue()), "a, c");
        EXPECT_EQ(Text(f.GetHistory()[0].GetAlias()), "E. Lund");
    }
    EXPECT_EQ(Text(BRNPackageUtils::ReadPackages(two)[0].GetFields()[0].GetValue()), "story two's own");

    // Cancelled: nothing changes.
    face->Queue({"multichoice", {{"b", "true"}}, "Cancel"});
    EXPECT_EQ(fBrindle->EditMultiChoice(PMString("Keywords"), Who(), chosen), kFailure);
    EXPECT_EQ(Text(panel->GetPackages()[0].GetFields()[3].GetValue()), "a, c");
    EXPECT_EQ(fBrindle->EditMultiChoice(PMString("Headline"), Who(), chosen), kFailure)
        << "not a MultiChoice";
    DialogDriver::SetFace(nullptr);
}

TEST_F(BrindleServiceTest, DeadlineDialogChecksDatesAndSignsAnExecutedDeadline) {
    const UIDRef story = NewStory("One", {Issue()});
    IBRNPanelData* panel = OpenPanel({Issue()}, UIDList(story));
    auto face = std::make_shared<ScriptDialogFace>();
    DialogDriver::SetFace(face);
    face->Queue({"deadline", {{"planned", "2026/13"}}, "OK"});
    face->Queue({"deadline", {{"planned", "2026/04/10"}, {"executed", "2026/04/09"}}, "OK"});
    const std::string oldAlias = HostConfig::Get().alias;
    HostConfig::Get().alias = "eva";
    BRNDeadline result;
    ASSERT_EQ(fBrindle->EditDeadline(PMString("Copy due"), Who("eva", ""), result), kSuccess);
    ASSERT_EQ(fAlerts->Alerts().size(), 1u);
    EXPECT_NE(fAlerts->Alerts()[0].message.find("Planned"), std::string::npos)
        << fAlerts->Alerts()[0].message;
    EXPECT_EQ(result, BRNDeadline(PMString("2026/04/10"), PMString("2026/04/09"), PMString("eva")));
    const BRNField stored = BRNPackageUtils::ReadPackages(story)[0].GetFields()[6];
    EXPECT_EQ(Text(stored.GetValue()), "2026/04/10,2026/04/09,eva");
    ASSERT_EQ(stored.GetHistory().size(), 1u);
    EXPECT_EQ(Text(stored.GetHistory()[0].GetValue()), "2026/04/10,2026/04/09,eva");
    EXPECT_EQ(Text(panel->GetPackages()[0].GetFields()[6].GetValue()), "2026/04/10,2026/04/09,eva");
    face->Queue({"deadline", {{"planned", "2026/04/11"}}, "Cancel"});
    EXPECT_EQ(fBrindle->EditDeadline(PMString("Copy due"), Who(), result), kFailure);
    EXPECT_EQ(Text(BRNPackageUtils::ReadPackages(story)[0].GetFields()[6].GetValue()),
              "2026/04/10,2026/04/09,eva");
    DialogDriver::SetFace(nullptr);
    HostConfig::Get().alias = oldAlias;
}

// --- Documents ----------------------------------------------------------------------------

TEST_F(BrindleServiceTest, SetFieldValueStoresTheTextByTypeWithHistory) {
    const struct {
        const char* field;
        const char* text;
        const char* stored; // the value text, or True/False for a Boolean
        std::vector<const char*> selected;
    } cases[] = {
        {"Headline", "Spring tides", "Spring tides", {}},
        {"Issue number", "15", "15", {}},
        {"Section", "Sport", "Sport", {}},
        {"Legal review", "TRUE", "True", {}},
        {"Legal review", "yes", "False", {}},
        {"Keywords", "c, a", "c, a", {"c", "a"}},
        {"Keywords", "", "", {}},
        {"Copy due", "2026/04/10,,", "2026/04/10,,", {}},
        {"Copy due", "2026/04/10", "2026/04/10,,", {}},
        {"Story ID", "by hand", "by hand", {}},
    };
    const UIDRef root = Root(fDoc);
    for (const auto& c : cases) {
        Store(root, {Issue()});
        ASSERT_EQ(fBrindle->SetFieldValue(root, PMString(c.field), PMString(c.text), Who()), kSuccess)
            << c.field;
        const BRNPackageList read = BRNPackageUtils::ReadPackages(root);
        const BRNField* f = nullptr;
        for (const BRNField& x : read[0].GetFields())
            if (x.GetName() == PMString(c.field)) f = &x;
        ASSERT_NE(f, nullptr);
        const std::string value =
            f->GetType() == kBRNTypeBoolean ? (f->GetBoolValue() ? "True" : "False") : Text(f->GetValue());
        EXPECT_EQ(value, c.stored) << c.field << " = " << c.text;
        if (f->GetType() == kBRNTypeMultiChoice) {
            PMStringList want;
            for (const char* s : c.selected)
                want.emplace_back(s);
            EXPECT_EQ(f->GetSelectedValues(), want) << c.text;
        }
        ASSERT_EQ(f->GetHistory().size(), 1u) << c.field;
        EXPECT_EQ(f->GetHistory()[0],
                  BRNHistory(PMString("eva"), PMString("E. Lund"), Who().GetTime(), PMString(c.stored)));
    }
}

TEST_F(BrindleServiceTest, SetFieldValueChangesEveryPackageAndRecomputesCalculatedFields) {
    const UIDRef root = Root(fDoc);
    BRNPackage second = Package("Second", 1, {Field("Issue number", "No", kBRNTypeString, "x")});
    Store(root, {Issue(), second});
    OpenPanel();
    ASSERT_EQ(fBrindle->SetFieldValue(root, PMString("Issue number"), PMString("15"), Who()), kSuccess);
    BRNPackageList read = BRNPackageUtils::ReadPackages(root);
    EXPECT_EQ(Text(read[0].GetFields()[1].GetValue()), "15");
    EXPECT_EQ(Text(read[1].GetFields()[0].GetValue()), "15");
    EXPECT_EQ(Text(read[0].GetFields()[5].GetValue()), "N015-News") << "the calculated field follows";
    EXPECT_NE(std::find(PanelChanges().begin(), PanelChanges().end(), kBRNRefreshMessage),
              PanelChanges().end());

    // By the exact name only; nothing is written when no field has it.
    const std::string before = Packet(fDoc);
    for (const char* name : {"IssueNo", "issue number", "Nothing"})
        EXPECT_EQ(fBrindle->SetFieldValue(root, PMString(name), PMString("1"), Who()), kFailure) << name;
    EXPECT_EQ(Packet(fDoc), before);
}

TEST_F(BrindleServiceTest, PackageKeyOfDocumentsAndStoryFiles) {
    IDocument* icml = NewDocument("story.icml");
    IDocument* incx = NewDocument("story.incx");
    IDocument* incd = NewDocument("doc.incd");
    IDocument* empty = NewDocument("empty.indd");
    IDocument* untitled = Host::NewDocument();
    for (IDocument* d : {fDoc, icml, incx, incd, untitled})
        Store(Root(d), {Issue(3), Package("Other", 8, {})});
    EXPECT_EQ(icml->GetOpenFileType(), kInCopyICMLFileTypeInfoID);
    // A story of the layout document, linked out to its own file.
    UIDRef story = NewStory("Linked");
    InterfacePtr<IStoryData> data(Instantiate<IStoryData>(story));
    data->SetStoryFile(IDFile(fDir / "linked.icml"));

    const struct {
        PMString url;
        const char* key;
    } cases[] = {
        {FileUtils::FileToURL(IDFile(fDir / "issue.indd")), "ID-+-Issue-+-3"},
        {PMString((fDir / "issue.indd").string()), "ID-+-Issue-+-3"},
        {FileUtils::FileToURL(IDFile(fDir / "story.icml")), "IC-+-Issue-+-3"},
        {FileUtils::FileToURL(IDFile(fDir / "story.incx")), "IC-+-Issue-+-3"},
        {FileUtils::FileToURL(IDFile(fDir / "doc.incd")), "IC-+-Issue-+-3"},
        {FileUtils::FileToURL(IDFile(fDir / "linked.icml")), "IC-+-Issue-+-3"},
        {FileUtils::FileToURL(IDFile(fDir / "empty.indd")), ""},
        {FileUtils::FileToURL(IDFile(fDir / "unknown.indd")), ""},
        {PMString(), ""},
    };
    for (const auto& c : cases) {
        PMString key("stale");
        EXPECT_EQ(Text(fBrindle->GetPackageKey(key, c.url)), c.key) << Text(c.url);
    }
    (void)empty;
}

TEST_F(BrindleServiceTest, PackagesXMLIsTheWholeTextHoweverLong) {
    const UIDRef root = Root(fDoc);
    const UIDRef story = NewStory("One");
    PMString xml("stale");
    EXPECT_FALSE(fBrindle->GetStoryPackagesXML(story, xml));
    EXPECT_EQ(Text(xml), "<xmp />\n");
    EXPECT_FALSE(fBrindle->GetDocumentPackagesXML(root, xml, kTrue));
    EXPECT_EQ(Text(xml), "<xmp />\n");

    // Far more than the 20480 bytes an older design cut the text at.
    BRNPackageList many;
    for (int i = 0; i < 40; ++i) {
        BRNPackage p = Issue(static_cast<uint32>(i));
        p.SetName(PMString("Package " + std::to_string(i)));
        many.push_back(p);
    }
    Store(root, many);
    Store(story, many);
    ASSERT_TRUE(fBrindle->GetDocumentPackagesXML(root, xml, kFalse));
    const std::string doc = Text(xml);
    EXPECT_GT(doc.size(), 40000u);
    EXPECT_EQ(doc.rfind("<brindle version=\"1\">", 0), 0u) << doc.substr(0, 80);
    EXPECT_EQ(doc.substr(doc.size() - 11), "</brindle>\n");
    EXPECT_EQ(Count(doc, "<package "), 40u);
    EXPECT_NE(doc.find("name=\"Package 39\""), std::string::npos);
    EXPECT_EQ(Text(ParsePackageText(xml).GetName()), "Package 0") << "well formed";

    ASSERT_TRUE(fBrindle->GetStoryPackagesXML(story, xml));
    EXPECT_EQ(Text(xml), doc);
    ASSERT_TRUE(fBrindle->GetDocumentPackagesXML(root, xml, kTrue));
    EXPECT_EQ(Text(xml), "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n" + doc);
}

TEST_F(BrindleServiceTest, PackagesXMLOnAWriterTheCallerOwns) {
    const UIDRef root = Root(fDoc);
    const UIDRef story = NewStory("One", {Issue()});
    Utils<IXMLUtils> xmlUtils;
    InterfacePtr<IPMStream> stream(StreamUtil::CreateMemoryStreamWrite());
    InterfacePtr<IXMLOutStream> out(xmlUtils->CreateXMLOutStream(stream));
    out->Push(WideString("both"));
    EXPECT_FALSE(fBrindle->WriteDocumentPackagesXML(root, out));
    EXPECT_TRUE(fBrindle->WriteStoryPackagesXML(story, out));
    out->Pop();
    ASSERT_TRUE(out->Close());
    std::string bytes = StreamUtil::GetMemoryStreamBytes(stream);
    std::u16string units;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        units.push_back(
            static_cast<char16_t>(static_cast<uchar>(bytes[i]) | (static_cast<uchar>(bytes[i + 1]) << 8)));
    const std::string text = StringUtils::UTF16ToUTF8(units);
    EXPECT_EQ(Count(text, "<brindle version=\"1\">"), 1u) << text;
    EXPECT_EQ(Count(text, "<package name=\"Issue\""), 1u) << text;
}

TEST_F(BrindleServiceTest, StoryTakesTheDocumentsValuesWhenEachHoldsOnePackage) {
    const UIDRef root = Root(fDoc);
    BRNPackage docPackage = Issue();
    BRNFieldList& d = docPackage.Fields();
    d[0].SetValue(PMString("From the document"));
    d[1].SetValue(PMString("12"));
    d[3].SetSelectedValues({PMString("c"), PMString("b")}, PMString(", "));
    d[4].SetBoolValue(kTrue);
    d[6].SetDeadline(BRNDeadline(PMString("2026/05/01"), PMString(""), PMString("")));
    d[2].SetType(kBRNTypeString); // Section: another type in the document
    d[2].SetValue(PMString("not copied"));
    Store(root, {docPackage});
    BRNPackage storyPackage = Issue();
    storyPackage.Fields().push_back(Field("Story only", "Only", kBRNTypeString, "kept"));
    const UIDRef story = NewStory("One", {storyPackage});

    testing::internal::CaptureStdout();
    ASSERT_EQ(fBrindle->UpdateStoryFromDocument(story, root), kSuccess);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "story updated\n");
    const BRNFieldList s = BRNPackageUtils::ReadPackages(story)[0].GetFields();
    EXPECT_EQ(Text(s[0].GetValue()), "From the document");
    EXPECT_EQ(Text(s[1].GetValue()), "12");
    EXPECT_EQ(Text(s[2].GetValue()), "News") << "a field of another type keeps its value";
    EXPECT_EQ(s[3].GetSelectedValues(), (PMStringList{PMString("c"), PMString("b")}));
    EXPECT_EQ(Text(s[3].GetValue()), "c, b");
    EXPECT_TRUE(s[4].GetBoolValue());
    EXPECT_EQ(Text(s[6].GetValue()), "2026/05/01,,");
    EXPECT_EQ(Text(s[7].GetValue()), "kept");

    // No merge unless both hold exactly one package.
    const struct {
        BRNPackageList document, story;
    } refused[] = {
        {{docPackage, Package("More", 1, {})}, {Issue()}},
        {{docPackage}, {Issue(), Package("More", 1, {})}},
        {{}, {Issue()}},
    };
    for (const auto& c : refused) {
        Store(root, c.document);
        Store(story, c.story);
        testing::internal::CaptureStdout();
        EXPECT_EQ(fBrindle->UpdateStoryFromDocument(story, root), kFailure);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(Text(BRNPackageUtils::ReadPackages(story)[0].GetFields()[0].GetValue()), "Tides");
    }
}

TEST_F(BrindleServiceTest, StoriesOfTheDocumentAreUpdatedUnlessLocked) {
    const UIDRef root = Root(fDoc);
    BRNPackage docPackage = Issue();
    docPackage.Fields()[0].SetValue(PMString("New"));
    Store(root, {docPackage});
    const UIDRef open = NewStory("Open", {Issue()});
    const UIDRef locked = NewStory("Locked", {Issue()});
    InterfacePtr<IStoryData>(Instantiate<IStoryData>(locked))->SetLocked(kTrue);
    testing::internal::CaptureStdout();
    EXPECT_EQ(fBrindle->UpdateStoriesFromDocument(root), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "story updated\n");
    EXPECT_EQ(Text(BRNPackageUtils::ReadPackages(open)[0].GetFields()[0].GetValue()), "New");
    EXPECT_EQ(Text(BRNPackageUtils::ReadPackages(locked)[0].GetFields()[0].GetValue()), "Tides");
}

TEST_F(BrindleServiceTest, ExpandTagsAgainstTheDocumentsPackages) {
    const UIDRef root = Root(fDoc);
    BRNPackage second = Package("Second", 2,
                                {Field("Credit", "Cr", kBRNTypeString, "Lee & Co"),
                                 Field("Headline", "Head", kBRNTypeString, "not this one")});
    BRNPackage issue = Issue(3);
    issue.Fields()[5].SetValue(PMString("N007-News"));
    Store(root, {issue, second});
    const struct {
        const char* text;
        bool escape;
        const char* expanded;
        int32 errors;
        const char* alert;
    } cases[] = {
        {"<cvbrindle:package/> v<cvbrindle:version/> <cvbrindle:enabled/>", false, "Issue v3 True", 0,
         nullptr},
        {"No. <cvbrindle:IssueNo format=\"%04d\"/> by <cvbrindle:Cr/>", false, "No. 0007 by Lee & Co", 0,
         nullptr},
        {"<cvbrindle:Head/>|<cvbrindle:StoryID substring=\"0,4\"/>", false, "Tides|N007", 0, nullptr},
        {"q=<cvbrindle:Cr/>", true, "q=Lee+%26+Co", 0, nullptr},
        {"no tags at all", false, "no tags at all", 0, nullptr},
        {"<cvbrindle:Credit/>", false, "<cvbrindle:Credit/>", IBrindle::kExpandCheckFailed,
         "The package offers no such tag: <cvbrindle:Credit/>"},
        {"<cvbrindle: x/>", false, "<cvbrindle: x/>", IBrindle::kExpandCheckFailed,
         "The template holds a tag that is not well formed."},
    };
    for (const auto& c : cases) {
        fAlerts->Clear();
        int32 errors = -1;
        PMString out;
        fBrindle->ExpandTags(out, root, PMString(c.text), errors, c.escape ? kTrue : kFalse);
        EXPECT_EQ(Text(out), c.expanded) << c.text;
        EXPECT_EQ(errors, c.errors) << c.text;
        ASSERT_EQ(fAlerts->Alerts().size(), c.alert ? 1u : 0u) << c.text;
        if (c.alert) {
            EXPECT_EQ(fAlerts->Alerts()[0].message, c.alert);
        }
        // The same through the document's file.
        fAlerts->Clear();
        fBrindle->ExpandTagsForFile(out, FileUtils::FileToURL(IDFile(fDir / "issue.indd")), PMString(c.text),
                                    errors, c.escape ? kTrue : kFalse);
        EXPECT_EQ(Text(out), c.expanded) << c.text;
    }
    int32 errors = 0;
    PMString out;
    fBrindle->ExpandTagsForFile(out, FileUtils::FileToURL(IDFile(fDir / "other.indd")),
                                PMString("<cvbrindle:package/>"), errors, kFalse);
    EXPECT_EQ(errors, IBrindle::kExpandNoDocument);
    EXPECT_EQ(Text(out), "<cvbrindle:package/>");
    Store(root, {});
    fBrindle->ExpandTags(out, root, PMString("<cvbrindle:package/>"), errors, kFalse);
    EXPECT_EQ(errors, IBrindle::kExpandNoPackage);
}

// The service's check words its faults exactly as the package utilities' check does.
TEST_F(BrindleServiceTest, CheckTagsAgreesWithThePackageCheck) {
    const UIDRef root = Root(fDoc);
    BRNPackage issue = Issue();
    issue.Fields()[0].SetValue(PMString()); // Headline: required and empty
    Store(root, {issue});
    const char* texts[] = {
        "plain",
        "<cvbrindle:IssueNo/> and <cvbrindle:package>",
        "<cvbrindle:Head/>",
        "<cvbrindle:Headline/>",
        "<cvbrindle:Nope>",
        "<cvbrindle:",
        "<cvbrindle:>",
        "<cvbrindle:/>",
        "<cvbrindle: Head/>",
        "<cvbrindle:IssueNo format=\"a>b\"/>",
        "x <cvbrindle:Section/><cvbrindle:Due/> y",
        "<cvbrindle:Package/>",
    };
    for (const char* t : texts) {
        fAlerts->Clear();
        const bool16 utils =
            BRNPackageUtils::CheckTags(BRNPackageUtils::ReadPackages(root)[0], PMString(t), kTrue);
        const std::vector<AlertRequest> utilsAlerts = fAlerts->Alerts();
        fAlerts->Clear();
        PMString error;
        const ErrorCode result = fBrindle->CheckTags(root, PMString(t), error);
        EXPECT_EQ(result == kSuccess, utils != kFalse) << t;
        ASSERT_EQ(fAlerts->Alerts().size(), utilsAlerts.size()) << t;
        if (!utilsAlerts.empty()) {
            EXPECT_EQ(fAlerts->Alerts()[0].message, utilsAlerts[0].message) << t;
            EXPECT_EQ(Text(error), utilsAlerts[0].message) << t;
        } else {
            EXPECT_TRUE(error.IsEmpty()) << t;
        }
    }
}

TEST_F(BrindleServiceTest, ReadingTheFirstPackageAndBooleanFields) {
    const UIDRef root = Root(fDoc);
    const UIDRef story = NewStory("One");
    BRNPackage issue = Issue();
    issue.Fields()[4].SetBoolValue(kTrue);
    issue.Fields()[0].SetValue(PMString("TRUE"));
    const struct {
        BRNPackageList packages;
        int32 enabled;
    } cases[] = {
        {{}, 0},
        {{Package("Off", 1, {}, false), issue}, 0},
        {{issue, Package("Off", 1, {}, false)}, 1},
    };
    for (const auto& c : cases) {
        Store(root, c.packages);
        Store(story, c.packages);
        EXPECT_EQ(fBrindle->IsFirstPackageEnabled(root), c.enabled) << c.packages.size();
        EXPECT_EQ(fBrindle->IsFirstPackageEnabled(story), c.enabled) << c.packages.size();
        EXPECT_EQ(fBrindle->ReadDocumentPackagesCopy(root).size(), c.packages.size());
        BRNPackageList enabled;
        fBrindle->GetDocumentPackages(enabled, root, IBrindle::kEnabledPackagesOnly);
        EXPECT_EQ(enabled.size(), c.packages.empty() ? 0u : 1u);
    }
    const struct {
        const char* package;
        const char* shortName;
        const char* text;
        const char* alt;
    } lookups[] = {
        {"Issue", "LegalOK", "True", "True"}, {"ISSUE", "LegalOK", "True", "True"},
        {"Issue", "Head", "False", "True"},   {"Issue", "Section", "False", "False"},
        {"Issue", "legalok", "", "False"},    {"Off", "LegalOK", "", "False"},
        {"Nope", "LegalOK", "", "False"},
    };
    for (const auto& l : lookups) {
        PMString text("stale"), alt("stale");
        fBrindle->GetFieldBooleanText(text, root, PMString(l.package), PMString(l.shortName));
        fBrindle->GetFieldBooleanTextAlt(alt, root, PMString(l.package), PMString(l.shortName));
        EXPECT_EQ(Text(text), l.text) << l.package << "/" << l.shortName;
        EXPECT_EQ(Text(alt), l.alt) << l.package << "/" << l.shortName;
    }
}

TEST_F(BrindleServiceTest, StoreAndRefreshWriteBackAndTellThePanel) {
    const UIDRef root = Root(fDoc);
    BRNPackage issue = Issue();
    issue.Fields()[5].SetValue(PMString("stale"));
    Store(root, {issue});
    OpenPanel();
    fBrindle->StoreDocumentPackages(root);
    EXPECT_EQ(Text(BRNPackageUtils::ReadPackages(root)[0].GetFields()[5].GetValue()), "stale");
    EXPECT_NE(std::find(PanelChanges().begin(), PanelChanges().end(), kBRNRefreshMessage),
              PanelChanges().end());

    ASSERT_EQ(fBrindle->RefreshTarget(root), kSuccess);
    EXPECT_EQ(Text(BRNPackageUtils::ReadPackages(root)[0].GetFields()[5].GetValue()), "N007-News");
    EXPECT_EQ(fBrindle->RefreshTarget(UIDRef(root.GetDataBase(), 9999)), kFailure);
}

TEST_F(BrindleServiceTest, EveryStoredChangeRefreshesTheOpenPanel) {
    OpenPanel();
    Store(Root(fDoc), {Issue()});
    EXPECT_EQ(PanelChanges(), std::vector<ClassID>{kBRNRefreshMessage});
}

TEST_F(BrindleServiceTest, CheckAssignmentAsksWhetherTheStoryMayTakeMetadata) {
    const UIDRef free = NewStory("Free");
    const UIDRef locked = NewStory("Locked");
    const UIDRef assigned = NewStory("Assigned");
    for (const UIDRef& s : {free, locked, assigned})
        InterfacePtr<IStoryData>(Instantiate<IStoryData>(s))->SetExportedForTextEditing(kTrue);
    InterfacePtr<IStoryData>(Instantiate<IStoryData>(locked))->SetLocked(kTrue);
    const UIDRef unexported = NewStory("Not handed out");
    InterfacePtr<IAssignmentMgr> assignments(fDoc, IID_IASSIGNMENTMGR);
    assignments->AddAssignment(
        {PMString("A"), PMString("jon"), IDFile(), {assigned.GetUID(), unexported.GetUID()}});
    const UIDRef frame(fDoc->GetDocumentDataBase(),
                       Host::NewStoryReference(fDoc, kTextFrameBoss, free.GetUID()));

    const struct {
        HostConfig::Edition edition;
        UIDRef story;
        bool16 verdict;
    } cases[] = {
        {HostConfig::Edition::kLayout, free, kTrue},
        {HostConfig::Edition::kLayout, frame, kTrue},
        {HostConfig::Edition::kLayout, locked, kFalse},
        {HostConfig::Edition::kLayout, unexported, kFalse},
        {HostConfig::Edition::kLayout, Root(fDoc), kFalse},
        {HostConfig::Edition::kText, assigned, kTrue},
        {HostConfig::Edition::kText, unexported, kTrue},
        {HostConfig::Edition::kText, free, kFalse},
    };
    for (const auto& c : cases) {
        HostConfig::Get().edition = c.edition;
        EXPECT_EQ(fBrindle->CheckAssignment(c.story), c.verdict) << c.story.GetUID();
    }
}

TEST_F(BrindleServiceTest, ApplyingToSelectedStoriesTellsThePanel) {
    BRNPackage library = Issue(4);
    library.SetModified(kFalse);
    Prefs()->SetPackages({library});
    const UIDRef one = NewStory("One");
    const UIDRef two = NewStory("Two");
    for (const UIDRef& s : {one, two})
        InterfacePtr<IStoryData>(Instantiate<IStoryData>(s))->SetExportedForTextEditing(kTrue);
    UIDList both(one);
    both.Append(two);
    OpenPanel();
    const struct {
        std::function<void()> apply;
        size_t onFirst, onSecond;
        size_t alerts;
    } cases[] = {
        {[&] { fBrindle->ApplyToSelectedStory(one, PMString("Issue"), 0); }, 1, 0, 0},
        {[&] { fBrindle->ApplyToSelectedStory(one, PMString("Issue"), 2); }, 1, 1, 0},
        {[&] { fBrindle->ApplyToSelectedStories(one, PMString("Issue")); }, 1, 1, 0},
    };
    for (const auto& c : cases) {
        Store(one, {});
        Store(two, {});
        ASSERT_TRUE(Host::SetSelectedStories(both));
        PanelChanges().clear();
        fAlerts->Clear();
        c.apply();
        EXPECT_EQ(BRNPackageUtils::ReadPackages(one).size(), c.onFirst);
        EXPECT_EQ(BRNPackageUtils::ReadPackages(two).size(), c.onSecond);
        EXPECT_EQ(PanelChanges().back(), kBRNStoryAppliedMessage);
    }
    // Nothing selected: the apply step's alert, and the panel is still told.
    Host::SetSelectedStories(UIDList());
    fAlerts->Clear();
    PanelChanges().clear();
    fBrindle->ApplyToSelectedStory(one, PMString("Issue"), 0);
    ASSERT_EQ(fAlerts->Alerts().size(), 1u);
    EXPECT_EQ(fAlerts->Alerts()[0].message, "Please select a story first.");
    EXPECT_EQ(PanelChanges(), std::vector<ClassID>{kBRNStoryAppliedMessage});
    // Quiet: a locked story stops the step without an alert.
    InterfacePtr<IStoryData>(Instantiate<IStoryData>(one))->SetLocked(kTrue);
    ASSERT_TRUE(Host::SetSelectedStories(both));
    fAlerts->Clear();
    fBrindle->ApplyToSelectedStory(one, PMString("Issue"), 1);
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

} // namespace
