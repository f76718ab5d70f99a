// Packages in XMP packets: what the writer stores, what the reader gives back, and the
// set-metadata command around them.
#include "BRNPackageUtils.h"
#include "BRNXMPSchema.h"
#include "CmdUtils.h"
#include "DocumentHost.h"
#include "IBRNDocPrefs.h"
#include "IBRNSetXMPCmdData.h"
#include "IDataBase.h"
#include "IDocument.h"
#include "IObserver.h"
#include "IStoryData.h"
#include "ISubject.h"
#include "TestSupport.h"
#include "XMPPacketAccess.h"

#include <gtest/gtest.h>

namespace {

using testsupport::HostFixture;

const WideString& Cur() { return BRNXMPSchema::CurrentNamespace(); }
const WideString& Old() { return BRNXMPSchema::LegacyNamespace(); }

BRNField Field(const char* name, const char* shortName, int32 type, const char* value) {
    BRNField f{PMString(name)};
    f.SetShortName(PMString(shortName));
    f.SetType(type);
    f.SetValue(PMString(value));
    return f;
}

// A package using every type, with history, a deadline, options and defaults.
BRNPackage EveryType() {
    BRNFieldList fields;
    for (int32 t = 0; t < kBRNTypeCount; ++t) {
        BRNField f = Field(("Field " + std::to_string(t)).c_str(), ("F" + std::to_string(t)).c_str(), t,
                           ("value " + std::to_string(t)).c_str());
        f.SetDescription(PMString("about " + std::to_string(t)));
        f.SetRequired(t % 2 == 0);
        f.SetHidden(t % 3 == 0);
        f.SetReadOnly(t % 4 == 0);
        f.SetHasDefault(t % 2 == 1);
        f.SetDefaultValue(PMString("default " + std::to_string(t)));
        f.SetOptions({PMString("a"), PMString("b, c"), PMString("d")});
        f.SetDefaultValues({PMString("a")});
        f.SetVisibleLines(7);
        GlobalTime when;
        when.SetTime(2014, 6, 29, 18, 5, 7);
        f.GetHistory().emplace_back(PMString("ann"), PMString("A."), when, PMString("old"));
        f.GetHistory().emplace_back(PMString("bo"), PMString(""), when, PMString("older"));
        if (t == kBRNTypeBoolean) f.SetBoolValue(kTrue);
        if (t == kBRNTypeMultiChoice) f.SetSelectedValues({PMString("a"), PMString("d")}, PMString(", "));
        if (t == kBRNTypeCalculatedString) {
            f.SetAllowUserValues(kTrue);
            f.SetFieldOverridden(kTrue);
        }
        if (t == kBRNTypeDeadline) f.SetDeadline(BRNDeadline(PMString("2014/06/30"), PMString(""), PMString("")));
        fields.push_back(f);
    }
    BRNPackage p(fields, PMString("Every Type"), PMString("secret"), 1234);
    p.SetVersion(7);
    p.SetEnabled(kTrue);
    return p;
}

WideString Prop(IXMPPacketAccess* xmp, const WideString& ns, const char* path) {
    WideString v;
    xmp->GetProperty(ns, WideString(path), &v);
    return v;
}

class XMPSchemaTest : public HostFixture {};

TEST_F(XMPSchemaTest, EveryTypeRoundTripsWithHistoryAndDeadline) {
    InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
    BRNXMPWriteRequest request;
    request.packages = {EveryType(), BRNPackage(PMString("Second"), PMString(), 0)};
    BRNXMPSchema::Write(xmp, request, nullptr);

    bool legacy = true;
    BRNPackageList read = BRNXMPSchema::Read(xmp, &legacy);
    EXPECT_FALSE(legacy);
    ASSERT_EQ(read.size(), 2u);
    const BRNPackage& p = read[0];
    const BRNPackage original = EveryType();
    EXPECT_EQ(p.GetName(), original.GetName());
    EXPECT_TRUE(p.CheckPassword(PMString("secret")));
    EXPECT_TRUE(p.GetLocked());
    EXPECT_EQ(p.GetVersion(), 7u);
    EXPECT_EQ(p.GetTimestamp(), 1234);
    EXPECT_TRUE(p.GetEnabled());
    ASSERT_EQ(p.GetFields().size(), original.GetFields().size());
    for (size_t i = 0; i < p.GetFields().size(); ++i) {
        const BRNField& a = p.GetFields()[i];
        const BRNField& b = original.GetFields()[i];
        SCOPED_TRACE(b.GetName().GetUTF8String());
        EXPECT_EQ(a.GetType(), b.GetType());
        EXPECT_TRUE(a.IsEqual(b));
        EXPECT_EQ(a.GetShortName(), b.GetShortName());
        EXPECT_EQ(a.GetDescription(), b.GetDescription());
        EXPECT_EQ(a.GetRequired(), b.GetRequired());
        EXPECT_EQ(a.GetHidden(), b.GetHidden());
        EXPECT_EQ(a.GetReadOnly(), b.GetReadOnly());
        EXPECT_EQ(a.GetHasDefault(), b.GetHasDefault());
        if (b.GetHasDefault()) EXPECT_EQ(a.GetDefaultValue(), b.GetDefaultValue());
        EXPECT_EQ(a.GetOptions(), b.GetOptions());
        EXPECT_EQ(a.GetDefaultValues(), b.GetDefaultValues());
        EXPECT_EQ(a.GetHistory(), b.GetHistory());
        if (b.GetType() == kBRNTypeText || b.GetType() == kBRNTypeMultiChoice) EXPECT_EQ(a.GetVisibleLines(), 7);
    }
    const BRNField& multi = p.GetFields()[kBRNTypeMultiChoice];
    EXPECT_EQ(multi.GetValue(), PMString("a, d"));
    const BRNField& calc = p.GetFields()[kBRNTypeCalculatedString];
    EXPECT_TRUE(calc.GetAllowUserValues());
    EXPECT_TRUE(calc.GetFieldOverridden());
    EXPECT_EQ(p.GetFields()[kBRNTypeDeadline].GetDeadline().PlannedDate, PMString("2014/06/30"));
    EXPECT_TRUE(read[1].GetFields().empty());
    // A package without fields is written without a Fields array.
    EXPECT_FALSE(xmp->DoesPropertyExist(Cur(), WideString("Packages[2]/dunmoreBRN:Fields")));
    EXPECT_EQ(Prop(xmp, Cur(), "Packages[1]/dunmoreBRN:PackageType"), WideString("0"));
    EXPECT_EQ(Prop(xmp, Cur(), "DocType"), WideString("Adobe InCopy"));
}

TEST_F(XMPSchemaTest, DocTypeAndAssignmentsOfDocuments) {
    struct Case {
        bool isTemplate;
        const char* docType;
    };
    for (const Case& c : {Case{false, "Adobe InDesign"}, Case{true, "Adobe InDesign Template"}}) {
        InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
        BRNXMPDocumentInfo doc;
        doc.isTemplate = c.isTemplate;
        doc.assignments.push_back({PMString("Ads"), PMString("eva"), IDFile(std::filesystem::path("/work/a b/Ads.icma")),
                                   {{PMString("Story 1"), IDFile(std::filesystem::path("/work/a b/s1.icml"))}}});
        doc.assignments.push_back({PMString("Empty"), PMString("x"), IDFile(), {}}); // skipped
        BRNXMPWriteRequest request;
        request.deletePackages = true; // still writes assignments and DocType
        BRNXMPSchema::Write(xmp, request, &doc);
        EXPECT_EQ(Prop(xmp, Cur(), "DocType"), WideString(c.docType));
        EXPECT_EQ(xmp->CountArrayItems(Cur(), WideString("Assignments")), 1);
        EXPECT_EQ(Prop(xmp, Cur(), "Assignments[1]/dunmoreBRN:FileName"), WideString("Ads.icma"));
        EXPECT_EQ(Prop(xmp, Cur(), "Assignments[1]/dunmoreBRN:FilePathURI"),
                  WideString("file:///work/a%20b/Ads.icma"));
        EXPECT_EQ(Prop(xmp, Cur(), "Assignments[1]/dunmoreBRN:Stories[1]/dunmoreBRN:FilePath"),
                  WideString("/work/a b/s1.icml"));
    }
}

TEST_F(XMPSchemaTest, LegacyDataIsReadAndTakenOverOnWrite) {
    InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
    WideString prefix;
    xmp->RegisterNamespace(Old(), WideString("oldBRN"), &prefix);
    xmp->SetProperty(Old(), WideString("DocType"), WideString("Adobe InDesign"));
    xmp->AppendArrayItem(Old(), WideString("Packages"), WideString(), IXMPPacketAccess::kArrayOrdered,
                         IXMPPacketAccess::kItemIsStruct);
    WideString item, name, enabled;
    xmp->ComposeArrayItemPath(Old(), WideString("Packages"), 1, &item);
    xmp->ComposeStructFieldPath(Old(), item, Old(), WideString("Name"), &name);
    xmp->ComposeStructFieldPath(Old(), item, Old(), WideString("Enabled"), &enabled);
    xmp->SetProperty(Old(), name, WideString("Old One"));
    xmp->SetProperty(Old(), enabled, WideString("true")); // any case counts

    bool legacy = false;
    BRNPackageList read = BRNXMPSchema::Read(xmp, &legacy);
    EXPECT_TRUE(legacy);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].GetName(), PMString("Old One"));
    EXPECT_TRUE(read[0].GetEnabled());

    BRNXMPWriteRequest request;
    request.packages = read;
    BRNXMPSchema::Write(xmp, request, nullptr);
    EXPECT_FALSE(xmp->DoesPropertyExist(Old(), WideString("DocType")));
    EXPECT_FALSE(xmp->DoesPropertyExist(Old(), WideString("Packages")));
    read = BRNXMPSchema::Read(xmp, &legacy);
    EXPECT_FALSE(legacy);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].GetName(), PMString("Old One"));
}

TEST_F(XMPSchemaTest, BothNamespacesPreferCurrentAndPurgeOnlyWhenAsked) {
    InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
    BRNXMPWriteRequest request;
    request.packages = {BRNPackage(PMString("New"), PMString(), 0)};
    BRNXMPSchema::Write(xmp, request, nullptr);
    WideString prefix;
    xmp->RegisterNamespace(Old(), WideString("oldBRN"), &prefix);
    xmp->SetProperty(Old(), WideString("DocType"), WideString("Adobe InDesign"));

    bool legacy = true;
    BRNPackageList read = BRNXMPSchema::Read(xmp, &legacy);
    EXPECT_FALSE(legacy);
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].GetName(), PMString("New"));

    BRNXMPSchema::Write(xmp, request, nullptr);
    EXPECT_TRUE(xmp->DoesPropertyExist(Old(), WideString("DocType")));
    request.purgeLegacy = true;
    BRNXMPSchema::Write(xmp, request, nullptr);
    EXPECT_FALSE(xmp->DoesPropertyExist(Old(), WideString("DocType")));
}

TEST_F(XMPSchemaTest, SingleFieldUpdatesEveryMatchingFieldAndNothingElse) {
    InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
    BRNField title = Field("Title", "T", kBRNTypeString, "old");
    title.SetOptions({PMString("keep")});
    GlobalTime when;
    when.SetTime(2020, 1, 2, 3, 4, 5);
    title.GetHistory().emplace_back(PMString("u"), PMString("a"), when, PMString("old"));
    BRNField sameNameOtherType = Field("Title", "T", kBRNTypeText, "text stays");
    BRNPackage a({title, sameNameOtherType}, PMString("A"), PMString(), 0);
    BRNPackage b({Field("Other", "O", kBRNTypeString, "x"), title}, PMString("B"), PMString(), 0);
    BRNXMPWriteRequest request;
    request.packages = {a, b};
    BRNXMPSchema::Write(xmp, request, nullptr);

    BRNXMPWriteRequest single;
    single.singleField = true;
    single.field = Field("Title", "T", kBRNTypeString, "new");
    BRNXMPSchema::Write(xmp, single, nullptr);

    BRNPackageList read = BRNXMPSchema::Read(xmp);
    ASSERT_EQ(read.size(), 2u);
    EXPECT_EQ(read[0].GetFields()[0].GetValue(), PMString("new"));
    EXPECT_EQ(read[0].GetFields()[1].GetValue(), PMString("text stays"));
    EXPECT_EQ(read[1].GetFields()[0].GetValue(), PMString("x"));
    EXPECT_EQ(read[1].GetFields()[1].GetValue(), PMString("new"));
    EXPECT_EQ(read[1].GetFields()[1].GetOptions(), PMStringList{PMString("keep")});
    ASSERT_EQ(read[1].GetFields()[1].GetHistory().size(), 1u);
    EXPECT_EQ(read[1].GetFields()[1].GetHistory()[0].GetValue(), PMString("old"));
}

TEST_F(XMPSchemaTest, DeadlineNowReplacesOnlyOneDate) {
    GlobalTime::SetClock([] { return testsupport::LocalTicks(2014, 3, 5, 12, 0, 0); });
    struct Case {
        const char* planned;
        const char* executed;
        const char* plannedAfter;
        const char* executedAfter;
    };
    const Case cases[] = {
        {"NOW", "NOW", "2014/03/05", "NOW"},
        {"2014/01/01", "now", "2014/01/01", "2014/03/05"},
        {"Now", "", "2014/03/05", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.planned);
        InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
        BRNField d = Field("Due", "D", kBRNTypeDeadline, "");
        d.SetDeadline(BRNDeadline(PMString(c.planned), PMString(c.executed), PMString("me")));
        BRNXMPWriteRequest request;
        request.packages = {BRNPackage({d}, PMString("P"), PMString(), 0)};
        BRNXMPSchema::Write(xmp, request, nullptr);
        BRNPackageList read = BRNXMPSchema::Read(xmp);
        ASSERT_EQ(read.size(), 1u);
        const BRNDeadline& got = read[0].GetFields()[0].GetDeadline();
        EXPECT_EQ(got.PlannedDate, PMString(c.plannedAfter));
        EXPECT_EQ(got.ExecutedDate, PMString(c.executedAfter));
        EXPECT_EQ(got.ExecutedBy, PMString("me"));
    }
}

// Records the document-preferences state each time the workspace announces a change.
class StateRecorder : public IObserver {
public:
    explicit StateRecorder(IBRNDocPrefs* prefs) : fPrefs(prefs) {}
    IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
    void AddRef() const override {}
    void Release() const override {}
    void Update(const ClassID& change, ISubject*, const PMIID& protocol, void*) override {
        if (change == kBRNDocPrefsChangedMessage && protocol == IID_IBRNDOCPREFS) seen.push_back(fPrefs->GetState());
    }
    std::vector<uint16> seen;

private:
    IBRNDocPrefs* fPrefs;
};

class SetXMPCommandTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fDoc = Host::NewDocument();
        ASSERT_NE(fDoc, nullptr);
        fDB = fDoc->GetDocumentDataBase();
        fStory1 = Host::NewStory(fDoc, PMString("One"));
        fStory2 = Host::NewStory(fDoc, PMString("Two"));
    }
    BRNPackageList Read(UID uid) { return BRNPackageUtils::ReadPackages(UIDRef(fDB, uid)); }
    std::string Packet(UID uid) {
        InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(fDB, uid));
        return xmp ? xmp->SerializePacket() : std::string();
    }
    IDocument* fDoc = nullptr;
    IDataBase* fDB = nullptr;
    UID fStory1 = kInvalidUID;
    UID fStory2 = kInvalidUID;
};

TEST_F(SetXMPCommandTest, WritesEveryTargetOfItsList) {
    UIDList stories(fDB);
    stories.Append(fStory1);
    stories.Append(fStory2);
    BRNPackageList packages = {EveryType()};
    EXPECT_EQ(BRNPackageUtils::StorePackages(stories, packages, kFalse, kFalse), kSuccess);
    for (UID s : {fStory1, fStory2}) {
        BRNPackageList read = Read(s);
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].GetName(), PMString("Every Type"));
    }
    // The document itself was not in the list.
    EXPECT_TRUE(Read(fDB->GetRootUID()).empty());
}

TEST_F(SetXMPCommandTest, StoryReferencesWriteTheirStoriesAndUndoRestoresThem) {
    struct Case {
        const char* what;
        ClassID kind;
        bool refersToStory;
    };
    const Case cases[] = {
        {"text frame", kTextFrameBoss, true},
        {"story link", kStoryLinkBoss, true},
        {"text frame without a story", kTextFrameBoss, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string before = Packet(fStory1);
        UID ref = Host::NewStoryReference(fDoc, c.kind, c.refersToStory ? fStory1 : kInvalidUID);
        ASSERT_NE(ref, kInvalidUID);
        BRNPackageUtils::StorePackages(UIDList(fDB, ref), {EveryType()}, kFalse, kFalse);
        if (!c.refersToStory) {
            // Nothing to write to: nothing written, and no undo step for a story it does not have.
            EXPECT_TRUE(Read(fStory1).empty());
            continue;
        }
        BRNPackageList read = Read(fStory1);
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].GetName(), PMString("Every Type"));
        EXPECT_NE(Packet(fStory1).find("Adobe InCopy"), std::string::npos); // written as a story
        EXPECT_TRUE(Read(fStory2).empty());
        ASSERT_TRUE(CmdUtils::Undo(fDoc));
        EXPECT_EQ(Packet(fStory1), before);
    }
}

TEST_F(SetXMPCommandTest, AnItemWithoutMetadataStopsTheCommandBeforeWriting) {
    UIDList items(fDB);
    items.Append(fDoc->GetDocWorkSpace().GetUID()); // a workspace has no packet
    items.Append(fStory1);
    BRNPackageUtils::StorePackages(items, {EveryType()}, kFalse, kFalse);
    EXPECT_TRUE(Read(fStory1).empty());
}

TEST_F(SetXMPCommandTest, ConsecutiveCommandsUndoAsOneStepAndRedoExactly) {
    const UID doc = fDB->GetRootUID();
    const std::string before = Packet(doc);
    BRNPackageUtils::StorePackages(UIDList(fDB, doc), {EveryType()}, kFalse, kFalse);
    BRNField f = EveryType().GetFields()[0];
    f.SetValue(PMString("changed"));
    BRNPackageUtils::StoreField(UIDList(fDB, doc), f);
    const std::string after = Packet(doc);
    ASSERT_NE(before, after);
    EXPECT_EQ(Read(doc)[0].GetFields()[0].GetValue(), PMString("changed"));

    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(Packet(doc), before);
    EXPECT_FALSE(CmdUtils::CanUndo(fDoc));
    ASSERT_TRUE(CmdUtils::Redo(fDoc));
    EXPECT_EQ(Packet(doc), after);
}

TEST_F(SetXMPCommandTest, DeletePackagesIgnoresTheListAndStillWritesDocType) {
    const UID doc = fDB->GetRootUID();
    BRNPackageUtils::StorePackages(UIDList(fDB, doc), {EveryType()}, kFalse, kFalse);
    BRNPackageUtils::StorePackages(UIDList(fDB, doc), {EveryType()}, kTrue, kFalse);
    EXPECT_TRUE(Read(doc).empty());
    InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(fDB, doc));
    EXPECT_EQ(Prop(xmp, Cur(), "DocType"), WideString("Adobe InDesign"));
}

TEST_F(SetXMPCommandTest, NotificationMarksThePreferencesBeforeAnnouncing) {
    UIDRef workspace = fDoc->GetDocWorkSpace();
    InterfacePtr<IBRNDocPrefs> prefs(Instantiate<IBRNDocPrefs>(workspace));
    InterfacePtr<ISubject> subject(Instantiate<ISubject>(workspace));
    ASSERT_TRUE(prefs && subject);
    EXPECT_EQ(prefs->GetState(), 0);
    StateRecorder recorder(prefs);
    subject->AttachObserver(&recorder, IID_IBRNDOCPREFS);
    BRNPackageUtils::StorePackages(UIDList(fDB, fDB->GetRootUID()), {EveryType()}, kFalse, kFalse);
    subject->DetachObserver(&recorder, IID_IBRNDOCPREFS);
    EXPECT_EQ(recorder.seen, std::vector<uint16>{1});
    EXPECT_EQ(prefs->GetState(), 1);
}

TEST_F(SetXMPCommandTest, LegacyPackagesAreMovedWhenRead) {
    const UID doc = fDB->GetRootUID();
    {
        InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(fDB, doc));
        WideString prefix, item, name;
        xmp->RegisterNamespace(Old(), WideString("oldBRN"), &prefix);
        xmp->SetProperty(Old(), WideString("DocType"), WideString("Adobe InDesign"));
        xmp->AppendArrayItem(Old(), WideString("Packages"), WideString(), IXMPPacketAccess::kArrayOrdered,
                             IXMPPacketAccess::kItemIsStruct);
        xmp->ComposeArrayItemPath(Old(), WideString("Packages"), 1, &item);
        xmp->ComposeStructFieldPath(Old(), item, Old(), WideString("Name"), &name);
        xmp->SetProperty(Old(), name, WideString("Legacy"));
    }
    ASSERT_EQ(Read(doc).size(), 1u);
    InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(fDB, doc));
    EXPECT_FALSE(xmp->DoesPropertyExist(Old(), WideString("DocType")));
    EXPECT_EQ(Prop(xmp, Cur(), "Packages[1]/dunmoreBRN:Name"), WideString("Legacy"));
}

TEST_F(SetXMPCommandTest, SetDocPrefsCommandCopiesItsValueIntoEachTarget) {
    InterfacePtr<ICommand> cmd(CmdUtils::CreateCommand(kBRNSetDocPrefsCmdBoss));
    InterfacePtr<IBRNDocPrefs> value(cmd, IID_IBRNDOCPREFS);
    ASSERT_TRUE(cmd && value);
    EXPECT_EQ(cmd->MakeUndoName(), PMString("Set Brindle DocPrefs"));
    value->SetState(1);
    UIDList targets(fDB);
    targets.Append(fDoc->GetDocWorkSpace().GetUID());
    targets.Append(fStory1);
    cmd->SetItemList(targets);
    CmdUtils::ProcessCommand(cmd);
    for (UID uid : targets) {
        InterfacePtr<IBRNDocPrefs> prefs(Instantiate<IBRNDocPrefs>(fDB, uid));
        ASSERT_TRUE(prefs);
        EXPECT_EQ(prefs->GetState(), 1);
    }
    // An empty list changes nothing.
    InterfacePtr<ICommand> empty(CmdUtils::CreateCommand(kBRNSetDocPrefsCmdBoss));
    InterfacePtr<IBRNDocPrefs> zero(empty, IID_IBRNDOCPREFS);
    zero->SetState(0);
    CmdUtils::ProcessCommand(empty);
    InterfacePtr<IBRNDocPrefs> story(Instantiate<IBRNDocPrefs>(fDB, fStory1));
    EXPECT_EQ(story->GetState(), 1);
}

} // namespace
