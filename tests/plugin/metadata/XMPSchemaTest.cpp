// Packages in XMP packets: what the writer stores, what the reader gives back, and the
// set-metadata command around them.
#include "TestSupport.h"
#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "logic/BRNPackageUtils.h"
#include "metadata/BRNXMPSchema.h"
#include "metadata/IBRNDocPrefs.h"
#include "metadata/IBRNSetXMPCmdData.h"
#include "subjects/IObserver.h"
#include "subjects/ISubject.h"
#include "xmp/XMPPacketAccess.h"

#include <exempi/xmp.h>

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using testsupport::ExpectSameStoredField;
using testsupport::HostFixture;

const WideString& Cur() {
    return BRNXMPSchema::CurrentNamespace();
}
const WideString& Old() {
    return BRNXMPSchema::LegacyNamespace();
}

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
        if (t == kBRNTypeDeadline)
            f.SetDeadline(BRNDeadline(PMString("2014/06/30"), PMString(""), PMString("")));
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
        ExpectSameStoredField(p.GetFields()[i], original.GetFields()[i]);
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

// A document's versions use all 32 bits; one no package can have reads as 0 (the package
// stays, and any library copy counts as newer) instead of failing the document.
TEST_F(XMPSchemaTest, VersionsUseAll32Bits) {
    for (uint32 version : {2147483648u, 4294967295u}) {
        InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
        BRNXMPWriteRequest request;
        BRNPackage p(PMString("Big"), PMString(), 0);
        p.SetVersion(version);
        request.packages = {p};
        BRNXMPSchema::Write(xmp, request, nullptr);
        EXPECT_EQ(Prop(xmp, Cur(), "Packages[1]/dunmoreBRN:Version"), WideString(std::to_string(version)));
        BRNPackageList read = BRNXMPSchema::Read(xmp, nullptr);
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].GetVersion(), version);
        xmp->SetProperty(Cur(), WideString("Packages[1]/dunmoreBRN:Version"), WideString("4294967296"));
        read = BRNXMPSchema::Read(xmp, nullptr);
        ASSERT_EQ(read.size(), 1u);
        EXPECT_EQ(read[0].GetVersion(), 0u);
        EXPECT_EQ(read[0].GetName(), PMString("Big"));
    }
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
        doc.assignments.push_back(
            {PMString("Ads"),
             PMString("eva"),
             IDFile(std::filesystem::path("/work/a b/Ads.icma")),
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
        if (change == kBRNDocPrefsChangedMessage && protocol == IID_IBRNDOCPREFS)
            seen.push_back(fPrefs->GetState());
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

// Everything the reader gives of the packages, as text to compare.
std::string Describe(const BRNPackageList& list) {
    std::ostringstream o;
    auto u = [](const PMString& s) { return s.GetUTF8String(); };
    for (const BRNPackage& p : list) {
        o << "package " << u(p.GetName()) << "|" << u(p.GetPassword()) << "|" << p.GetVersion() << "|"
          << p.GetTimestamp() << "|" << p.GetEnabled() << p.GetLocked() << "\n";
        for (const BRNField& f : p.GetFields()) {
            o << " field " << u(f.GetName()) << "|" << u(f.GetShortName()) << "|" << u(f.GetDescription())
              << "|" << f.GetType() << "|" << u(f.GetValue()) << "|" << f.GetBoolValue() << f.GetRequired()
              << f.GetHidden() << f.GetReadOnly() << f.GetHasDefault() << f.GetAllowUserValues()
              << f.GetFieldOverridden() << "|" << u(f.GetDefaultValue()) << "|" << f.GetVisibleLines() << "|"
              << u(f.GetDeadline().PlannedDate) << "|" << u(f.GetDeadline().ExecutedDate) << "|"
              << u(f.GetDeadline().ExecutedBy);
            for (const PMStringList* l : {&f.GetOptions(), &f.GetDefaultValues(), &f.GetSelectedValues()}) {
                o << " [";
                for (const PMString& v : *l)
                    o << u(v) << ";";
                o << "]";
            }
            o << "\n";
            for (const BRNHistory& h : f.GetHistory()) {
                int32 y, mo, d, hh, mi, ss;
                h.GetTime().GetTime(&y, &mo, &d, &hh, &mi, &ss);
                o << "  history " << u(h.GetUser()) << "|" << u(h.GetAlias()) << "|" << u(h.GetValue()) << "|"
                  << y << "-" << mo << "-" << d << " " << hh << ":" << mi << ":" << ss << "\n";
            }
        }
    }
    return o.str();
}

// A packet that answers the UTF-16 calls only: the reader then takes the property calls (the
// interface's UTF-8 defaults over the UTF-16 calls), as for any packet that cannot give its
// namespace as a tree.
class PropertyCallsOnly : public CStandaloneUnknown<IXMPPacketAccess> {
public:
    explicit PropertyCallsOnly(IXMPPacketAccess* inner) : f(inner) {}
    bool16 GetNamespacePrefix(const WideString& ns, WideString* p) override {
        return f->GetNamespacePrefix(ns, p);
    }
    bool16 RegisterNamespace(const WideString& ns, const WideString& s, WideString* r) override {
        return f->RegisterNamespace(ns, s, r);
    }
    bool16 DoesPropertyExist(const WideString& ns, const WideString& p) override {
        return f->DoesPropertyExist(ns, p);
    }
    bool16 GetProperty(const WideString& ns, const WideString& p, WideString* v, uint32* o) override {
        return f->GetProperty(ns, p, v, o);
    }
    bool16 SetProperty(const WideString& ns, const WideString& p, const WideString& v, uint32 o) override {
        return f->SetProperty(ns, p, v, o);
    }
    void DeleteProperty(const WideString& ns, const WideString& p) override { f->DeleteProperty(ns, p); }
    int32 CountArrayItems(const WideString& ns, const WideString& p) override {
        return f->CountArrayItems(ns, p);
    }
    bool16 AppendArrayItem(const WideString& ns, const WideString& p, const WideString& v, int32 a,
                           uint32 o) override {
        return f->AppendArrayItem(ns, p, v, a, o);
    }
    bool16 ComposeArrayItemPath(const WideString& ns, const WideString& a, int32 i, WideString* p) override {
        return f->ComposeArrayItemPath(ns, a, i, p);
    }
    bool16 ComposeStructFieldPath(const WideString& ns, const WideString& s, const WideString& fns,
                                  const WideString& n, WideString* p) override {
        return f->ComposeStructFieldPath(ns, s, fns, n, p);
    }
    bool16 SetProperty_Date(const WideString& ns, const WideString& p, const XMPDateTime& v) override {
        return f->SetProperty_Date(ns, p, v);
    }
    bool16 GetProperty_Date(const WideString& ns, const WideString& p, XMPDateTime* v) override {
        return f->GetProperty_Date(ns, p, v);
    }
    std::string SerializePacket() const override { return f->SerializePacket(); }
    bool16 ParsePacket(const std::string& r) override { return f->ParsePacket(r); }
    bool16 IsDirty() const override { return f->IsDirty(); }
    void SetDirty(bool16 d) override { f->SetDirty(d); }

private:
    IXMPPacketAccess* f;
};

// The packet in the toolkit's compact layout, as its file handlers write it into files.
std::string Compact(const std::string& rdf) {
    XmpPtr x = xmp_new_empty();
    XmpStringPtr out = xmp_string_new();
    std::string text;
    if (xmp_parse(x, rdf.data(), rdf.size()) &&
        xmp_serialize(x, out, XMP_SERIAL_USECOMPACTFORMAT | XMP_SERIAL_OMITALLFORMATTING, 0))
        text = xmp_string_cstr(out);
    xmp_string_free(out);
    xmp_free(x);
    return text;
}

// The packet as exiftool rewrites it (members sorted, its own quoting and layout).
std::string ByExiftool(const std::string& rdf) {
    if (std::system("exiftool -ver >/dev/null 2>&1") != 0) return {};
    testsupport::TempDir dir;
    const std::filesystem::path file = dir / "packet.xmp";
    testsupport::WriteFile(file, rdf);
    if (std::system(
            ("exiftool -q -overwrite_original -XMP-dc:Title=changed '" + file.string() + "' 2>/dev/null")
                .c_str()) != 0)
        return {};
    return testsupport::ReadFile(file);
}

// The reader takes a namespace's tree at once where the packet gives one, else property calls:
// both must give the same packages, for every layout a packet comes in.
TEST_F(XMPSchemaTest, TreeAndPropertyCallsReadTheSamePackages) {
    BRNPackage every = EveryType();
    BRNField odd = Field("Odd", "O", kBRNTypeText, "  two\nlines & <tags> \"quoted\" \t ");
    odd.SetDescription(PMString("caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8C\x8A"));
    GlobalTime midnight;
    midnight.SetTime(2020, 2, 29, 0, 0, 0);
    odd.GetHistory().emplace_back(PMString(""), PMString(" "), midnight, PMString("&amp;"));
    every.Fields().push_back(odd);
    BRNXMPWriteRequest request;
    request.packages = {every, BRNPackage(PMString("Second"), PMString(), 0)};
    InterfacePtr<IXMPPacketAccess> written(new XMPPacketAccess());
    BRNXMPSchema::Write(written, request, nullptr);
    const std::string rdf = written->SerializePacket();
    std::string legacyRdf = rdf;
    const std::string cur = Cur().GetUTF8String(), old = Old().GetUTF8String();
    legacyRdf.replace(legacyRdf.find(cur), cur.size(), old);

    struct Case {
        const char* what;
        std::string rdf;
        bool legacy;
    };
    const std::vector<Case> cases = {
        {"as written", rdf, false},
        {"compact", Compact(rdf), false},
        {"by exiftool", ByExiftool(rdf), false},
        {"legacy namespace", legacyRdf, true},
        {"legacy namespace, by exiftool", ByExiftool(legacyRdf), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.rdf.empty()) continue; // no exiftool here
        InterfacePtr<IXMPPacketAccess> parsed(new XMPPacketAccess());
        ASSERT_TRUE(parsed->ParsePacket(c.rdf));
        XMPTree tree;
        EXPECT_TRUE(parsed->ReadNamespaceTree((c.legacy ? old : cur).c_str(), &tree)) << "read as a tree";
        bool legacyTree = false, legacyCalls = false;
        const std::string byTree = Describe(BRNXMPSchema::Read(parsed, &legacyTree));
        InterfacePtr<IXMPPacketAccess> calls(new PropertyCallsOnly(parsed));
        const std::string byCalls = Describe(BRNXMPSchema::Read(calls, &legacyCalls));
        EXPECT_EQ(byTree, byCalls);
        EXPECT_EQ(legacyTree, c.legacy);
        EXPECT_EQ(legacyCalls, c.legacy);
        EXPECT_NE(byTree.find("two\nlines & <tags>"), std::string::npos) << byTree;
        EXPECT_NE(byTree.find("history | |&amp;|2020-2-29 0:0:0"), std::string::npos) << byTree;
    }
}

// Writing through the UTF-8 calls stores what writing through the UTF-16 calls stores: the
// same packet, member for member, for a full write and for a single-field update.
TEST_F(XMPSchemaTest, WritesTheSamePacketThroughEitherCalls) {
    BRNXMPDocumentInfo doc;
    BRNAssignmentRecord a;
    a.name = PMString("Layout");
    a.user = PMString("ann");
    a.file = IDFile(std::filesystem::path("/tmp/assign ment.icma"));
    a.stories.push_back({PMString("Story"), IDFile(std::filesystem::path("/tmp/story.icml"))});
    doc.assignments = {a, a};
    BRNXMPWriteRequest full;
    full.packages = {EveryType(), EveryType(), BRNPackage(PMString("Empty"), PMString(), 0)};
    BRNXMPWriteRequest single;
    single.singleField = true;
    single.field = EveryType().GetFields()[kBRNTypeCalculatedString];
    single.field.SetValue(PMString("updated"));
    single.field.SetFieldOverridden(kFalse);

    InterfacePtr<IXMPPacketAccess> direct(new XMPPacketAccess());
    InterfacePtr<IXMPPacketAccess> inner(new XMPPacketAccess());
    InterfacePtr<IXMPPacketAccess> calls(new PropertyCallsOnly(inner));
    for (const BRNXMPWriteRequest* r : {&full, &single}) {
        BRNXMPSchema::Write(direct, *r, &doc);
        BRNXMPSchema::Write(calls, *r, &doc);
        EXPECT_EQ(direct->SerializePacket(), inner->SerializePacket());
    }
    const BRNPackageList read = BRNXMPSchema::Read(direct);
    ASSERT_EQ(read.size(), 3u);
    EXPECT_EQ(read[1].GetFields()[kBRNTypeCalculatedString].GetValue(), PMString("updated"));
}

// A field whose type name is none of the table's (a newer version's, or written by hand)
// keeps its type name and value through full writes and single-field updates of other fields.
TEST_F(XMPSchemaTest, AFieldOfAnUnknownTypeKeepsItsTypeNameAndValueThroughWrites) {
    const char* const typeNames[] = {"Geolocation", "string", "Deadline ", "CalculatedString2"};
    for (const char* typeName : typeNames) {
        SCOPED_TRACE(typeName);
        BRNXMPWriteRequest request;
        BRNField other = Field("Headline", "H", kBRNTypeString, "old");
        request.packages = {BRNPackage({Field("Place", "P", kBRNTypeString, "55.68,12.57"), other},
                                       PMString("News"), PMString(), 0)};
        InterfacePtr<IXMPPacketAccess> xmp(new XMPPacketAccess());
        BRNXMPSchema::Write(xmp, request, nullptr);
        xmp->SetProperty(Cur(), WideString("Packages[1]/dunmoreBRN:Fields[1]/dunmoreBRN:Type"),
                         WideString(typeName), 0);

        BRNPackageList read = BRNXMPSchema::Read(xmp);
        ASSERT_EQ(read.size(), 1u);
        const BRNField& place = read[0].GetFields()[0];
        EXPECT_FALSE(place.IsKnownType());
        EXPECT_EQ(place.GetValue(), PMString("55.68,12.57"));
        EXPECT_EQ(place.GetStoredTypeName(), PMString(typeName));

        // A full write after another field changed.
        read[0].Fields()[1].SetValue(PMString("new"));
        BRNXMPWriteRequest full;
        full.packages = read;
        BRNXMPSchema::Write(xmp, full, nullptr);
        // A single-field update of the other field.
        BRNXMPWriteRequest single;
        single.singleField = true;
        single.field = read[0].GetFields()[1];
        single.field.SetValue(PMString("newer"));
        BRNXMPSchema::Write(xmp, single, nullptr);

        EXPECT_EQ(Prop(xmp, Cur(), "Packages[1]/dunmoreBRN:Fields[1]/dunmoreBRN:Type"), WideString(typeName));
        EXPECT_EQ(Prop(xmp, Cur(), "Packages[1]/dunmoreBRN:Fields[1]/dunmoreBRN:Value"),
                  WideString("55.68,12.57"));
        EXPECT_EQ(Prop(xmp, Cur(), "Packages[1]/dunmoreBRN:Fields[2]/dunmoreBRN:Value"), WideString("newer"));
        const BRNPackageList again = BRNXMPSchema::Read(xmp);
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(again[0].GetFields()[0].GetStoredTypeName(), PMString(typeName));
        EXPECT_EQ(again[0].GetFields()[0].GetValue(), PMString("55.68,12.57"));
    }
}

} // namespace
