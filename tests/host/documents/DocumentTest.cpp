#include "base/ErrorUtils.h"
#include "documents/DocumentHost.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocFileHandler.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "documents/IStoryData.h"
#include "formats/DocFileTypes.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/IClassIDData.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "session/Host.h"
#include "subjects/CResponder.h"
#include "subjects/IDocumentSignalData.h"
#include "subjects/ISignalMgr.h"
#include "subjects/ISubject.h"
#include "subjects/ResponderRegistry.h"
#include "TestSupport.h"
#include "xmp/IXMPPacketAccess.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using testsupport::TempDir;

const WideString kDC("http://purl.org/dc/elements/1.1/");
const WideString kXMP("http://ns.adobe.com/xap/1.0/");
const WideString kPhotoshop("http://ns.adobe.com/photoshop/1.0/");
const WideString kXMPMM("http://ns.adobe.com/xap/1.0/mm/");
const WideString kTestNS("http://ns.example.test/brindle-doc-test/1.0/");

enum : PMIID { IID_ITESTWORKSPACEDATA = 0x7E001 };
enum : ImplementationID {
    kTestResponderImpl = 0x7E101,
    kTestForwardingHandlerImpl = 0x7E102,
};
enum : ClassID {
    kTestResponderBoss = 0x7E201,
    kTestForwardingHandlerBoss = 0x7E202,
};

fs::path Sample(const std::string& name) {
    return fs::path(BRINDLE_TEST_DATA) / "xmp-files" / name;
}

std::string Get(IXMPPacketAccess* xmp, const WideString& ns, const WideString& path) {
    WideString v;
    xmp->GetProperty(ns, path, &v);
    return v.GetUTF8String();
}

std::string Title(IXMPPacketAccess* xmp) {
    WideString item;
    if (!xmp->ComposeArrayItemPath(kDC, WideString("title"), 1, &item)) return {};
    return Get(xmp, kDC, item);
}

// What one signal delivered.
struct Heard {
    ServiceID service;
    UIDRef doc;
    IDFile file;
    bool operator==(const Heard&) const = default;
};

std::vector<Heard>& Signals() {
    static std::vector<Heard> heard;
    return heard;
}

class TestResponder : public CResponder {
public:
    explicit TestResponder(Boss* boss) : CResponder(boss) {}
    void Respond(ISignalMgr* signal) override {
        InterfacePtr<IDocumentSignalData> data(signal, IID_IDOCUMENTSIGNALDATA);
        Signals().push_back({signal->GetServiceID(), data ? data->GetDocument() : UIDRef(),
                             data ? data->GetFile() : IDFile()});
    }
};

// Records the operations that reach it and, unless told to refuse closing, hands them to the
// host's own handler, as a plug-in's handler does.
std::vector<std::string>& HandlerCalls() {
    static std::vector<std::string> calls;
    return calls;
}
bool gRefuseClose = false;

class TestForwardingHandler : public CPMUnknown<IDocFileHandler> {
public:
    explicit TestForwardingHandler(Boss* boss) : CPMUnknown<IDocFileHandler>(boss) {}
    bool16 CanSave(const UIDRef& doc) override { return Host()->CanSave(doc); }
    void Save(const UIDRef& doc, UIFlags f) override {
        HandlerCalls().push_back("Save");
        Host()->Save(doc, f);
    }
    bool16 CanSaveAs(const UIDRef& doc) override { return Host()->CanSaveAs(doc); }
    void SaveAs(const UIDRef& doc, const IDFile* dest, UIFlags f, bool16 s, FileTypeInfoID t) override {
        HandlerCalls().push_back("SaveAs");
        Host()->SaveAs(doc, dest, f, s, t);
    }
    bool16 CanSaveACopy(const UIDRef& doc) override { return Host()->CanSaveACopy(doc); }
    void SaveACopy(const UIDRef& doc, const IDFile* dest, UIFlags f, bool16 s, FileTypeInfoID t) override {
        Host()->SaveACopy(doc, dest, f, s, t);
    }
    bool16 CanRevert(const UIDRef& doc) override { return Host()->CanRevert(doc); }
    void Revert(const UIDRef& doc, UIFlags f) override { Host()->Revert(doc, f); }
    bool16 CanClose(const UIDRef& doc) override { return Host()->CanClose(doc); }
    void Close(const UIDRef& doc, UIFlags f, bool16 allowCancel, CloseCmdMode mode) override {
        HandlerCalls().push_back("Close");
        if (gRefuseClose && allowCancel) {
            ErrorUtils::PMSetGlobalErrorCode(kCancel);
            return;
        }
        Host()->Close(doc, f, allowCancel, mode);
    }
    CloseOptions CheckOnClose(const UIDRef& doc, UIFlags f) override { return Host()->CheckOnClose(doc, f); }
    void GetCopyDefaultName(const UIDRef& doc, IDFile* name, bool16& useDefault) override {
        Host()->GetCopyDefaultName(doc, name, useDefault);
    }

private:
    InterfacePtr<IDocFileHandler> Host() {
        return InterfacePtr<IDocFileHandler>(
            static_cast<IDocFileHandler*>(CreateObject(kHostDocFileHandlerBoss, IID_IDOCFILEHANDLER)));
    }
};

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Host::Start(nullptr));
        Signals().clear();
        HandlerCalls().clear();
        gRefuseClose = false;
        ObjectModel::RegisterImplementation(kTestResponderImpl, MakeFactory<TestResponder>());
        ObjectModel::RegisterClass(kTestResponderBoss, {{IID_IRESPONDER, kTestResponderImpl}});
        ObjectModel::RegisterImplementation(kTestForwardingHandlerImpl, MakeFactory<TestForwardingHandler>());
        ObjectModel::RegisterClass(kTestForwardingHandlerBoss,
                                   {{IID_IDOCFILEHANDLER, kTestForwardingHandlerImpl}});
        WideString prefix;
        InterfacePtr<IXMPPacketAccess> scratch(
            static_cast<IXMPPacketAccess*>(CreateObject(kStoryBoss, IID_IXMPPACKETACCESS)));
        ASSERT_TRUE(scratch);
        ASSERT_TRUE(scratch->RegisterNamespace(kTestNS, WideString("bdt"), &prefix));
    }
    void TearDown() override { Host::Stop(); }

    // A copy of a sample in the temporary folder; the samples themselves are never written.
    IDFile Copy(const std::string& sample) {
        fs::path to = fDir / sample;
        fs::copy_file(Sample(sample), to, fs::copy_options::overwrite_existing);
        // The samples are read-only; their copies are ours to write.
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
        return IDFile(to);
    }
    void ListenToAllSignals() {
        for (ServiceID s : {kAfterNewDocSignalResponderService, kAfterOpenDocSignalResponderService,
                            kBeforeSaveDocSignalResponderService, kAfterSaveDocSignalResponderService,
                            kBeforeSaveAsDocSignalResponderService, kAfterSaveAsDocSignalResponderService,
                            kBeforeCloseDocSignalResponderService})
            ResponderRegistry::RegisterClass(s, kTestResponderBoss);
    }

    TempDir fDir;
};

TEST_F(DocumentTest, OpensRealFilesWithTheirPackets) {
    struct Case {
        std::string sample;
        std::string title;
        std::string documentID;
    };
    const std::vector<Case> cases = {
        {"BlueSquare.jpg", "Blue Square Test File - .jpg", "uuid:9A3B7F52214211DAB6308A7391270C13"},
        {"BlueSquare.png", "Blue Square Test File - .psd", "uuid:9A3B7F4E214211DAB6308A7391270C13"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sample);
        IDFile file = Copy(c.sample);
        std::string error;
        IDocument* doc = Host::OpenDocument(file, &error);
        ASSERT_NE(doc, nullptr) << error;
        InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
        ASSERT_TRUE(xmp);
        EXPECT_EQ(Title(xmp), c.title);
        EXPECT_EQ(Get(xmp, kXMPMM, WideString("DocumentID")), c.documentID);
        EXPECT_FALSE(doc->IsModified()) << "a packet just read is clean";

        IDFile docFile;
        ASSERT_TRUE(doc->GetDocFile(&docFile));
        EXPECT_EQ(docFile, file);
        EXPECT_EQ(doc->GetName().GetUTF8String(), c.sample);
        EXPECT_EQ(doc->GetOpenFileType(), kOtherFileTypeInfoID);
        InterfacePtr<IFileTypeInfo> type(doc, IID_IFILETYPEINFO);
        ASSERT_TRUE(type);
        EXPECT_EQ(type->GetFileTypeInfoID(), kOtherFileTypeInfoID);
        EXPECT_FALSE(doc->IsTemplate());

        IDocumentList* list = Host::GetDocumentList();
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->FindDoc(file), doc);
        EXPECT_EQ(Host::OpenDocument(file), doc) << "an open file gives its open document";
        EXPECT_TRUE(Host::CloseDocument(doc));
        EXPECT_EQ(list->FindDoc(file), nullptr);
    }
}

TEST_F(DocumentTest, SaveWritesThePacketAndKeepsEverythingElse) {
    for (const std::string sample : {"BlueSquare.jpg", "BlueSquare.png"}) {
        SCOPED_TRACE(sample);
        IDFile file = Copy(sample);
        IDocument* doc = Host::OpenDocument(file);
        ASSERT_NE(doc, nullptr);
        std::string creator, documentID, colorMode, title;
        {
            InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
            creator = Get(xmp, kXMP, WideString("CreatorTool"));
            documentID = Get(xmp, kXMPMM, WideString("DocumentID"));
            colorMode = Get(xmp, kPhotoshop, WideString("ColorMode"));
            title = Title(xmp);
            ASSERT_FALSE(creator.empty());
            ASSERT_TRUE(xmp->SetProperty(kTestNS, WideString("Status"), WideString("approved")));
            EXPECT_TRUE(doc->IsModified());
        }
        std::string error;
        ASSERT_TRUE(Host::SaveDocument(doc, &error)) << error;
        EXPECT_FALSE(doc->IsModified()) << "saving marks the packet clean";
        ASSERT_TRUE(Host::CloseDocument(doc));

        IDocument* again = Host::OpenDocument(file, &error);
        ASSERT_NE(again, nullptr) << error;
        InterfacePtr<IXMPPacketAccess> xmp(again, IID_IXMPPACKETACCESS);
        EXPECT_EQ(Get(xmp, kTestNS, WideString("Status")), "approved");
        EXPECT_EQ(Get(xmp, kXMP, WideString("CreatorTool")), creator);
        EXPECT_EQ(Get(xmp, kXMPMM, WideString("DocumentID")), documentID);
        EXPECT_EQ(Get(xmp, kPhotoshop, WideString("ColorMode")), colorMode);
        EXPECT_EQ(Title(xmp), title);
    }
}

TEST_F(DocumentTest, AFileThatCannotBeReadIsRefusedAndLeftAlone) {
    fs::create_directories(fDir / "folder.jpg");
    // A file whose packet lives in a sidecar that is no XMP packet.
    testsupport::WriteFile(fDir / "notes.txt", "plain text\n");
    testsupport::WriteFile(fDir / "notes.txt.xmp", "this is not a packet");
    struct Case {
        fs::path path;
        std::string reason;
    };
    const std::vector<Case> cases = {
        {fDir / "missing.jpg", "no such file"},
        {fDir / "folder.jpg", "not a file"},
        {fDir / "notes.txt", "cannot be read"},
    };
    ListenToAllSignals();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path.string());
        std::string error;
        EXPECT_EQ(Host::OpenDocument(IDFile(c.path), &error), nullptr);
        EXPECT_NE(error.find(c.path.string()), std::string::npos) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    EXPECT_EQ(Host::GetDocumentList()->GetDocCount(), 0);
    EXPECT_TRUE(Signals().empty()) << "no document, no signal";
    EXPECT_FALSE(fs::exists(fDir / "missing.jpg"));
    EXPECT_EQ(testsupport::ReadFile(fDir / "notes.txt"), "plain text\n");
    EXPECT_EQ(testsupport::ReadFile(fDir / "notes.txt.xmp"), "this is not a packet");
}

TEST_F(DocumentTest, SignalsArriveInLifecycleOrder) {
    ListenToAllSignals();
    IDFile file = Copy("BlueSquare.jpg");
    IDocument* doc = Host::OpenDocument(file);
    ASSERT_NE(doc, nullptr);
    const UIDRef ref = GetUIDRef(doc);
    ASSERT_NE(ref.GetDataBase(), nullptr);
    EXPECT_EQ(ref.GetUID(), ref.GetDataBase()->GetRootUID());
    ASSERT_TRUE(Host::SaveDocument(doc));
    IDFile renamed(fDir / "renamed.jpg");
    ASSERT_TRUE(Host::SaveDocumentAs(doc, renamed));
    ASSERT_TRUE(Host::CloseDocument(doc));

    const std::vector<Heard> expected = {
        {kAfterNewDocSignalResponderService, ref, file},
        {kAfterOpenDocSignalResponderService, ref, file},
        {kBeforeSaveDocSignalResponderService, ref, file},
        {kAfterSaveDocSignalResponderService, ref, file},
        {kBeforeSaveAsDocSignalResponderService, ref, renamed},
        {kAfterSaveAsDocSignalResponderService, ref, renamed},
        {kBeforeCloseDocSignalResponderService, ref, renamed},
    };
    EXPECT_EQ(Signals(), expected);
    EXPECT_TRUE(fs::exists(renamed.Path()));
}

TEST_F(DocumentTest, AFailedWriteIsReportedAndChangesNothing) {
    ListenToAllSignals();
    IDFile file = Copy("BlueSquare.jpg");
    fs::permissions(file.Path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);
    const std::string bytes = testsupport::ReadFile(file.Path());
    IDocument* doc = Host::OpenDocument(file);
    ASSERT_NE(doc, nullptr) << "a read-only file opens";
    {
        InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
        xmp->SetProperty(kTestNS, WideString("Status"), WideString("unsaved"));
    }
    Signals().clear();
    std::string error;
    EXPECT_FALSE(Host::SaveDocument(doc, &error));
    EXPECT_NE(error.find(file.Path().string()), std::string::npos) << error;
    EXPECT_TRUE(doc->IsModified());
    EXPECT_EQ(testsupport::ReadFile(file.Path()), bytes);
    ASSERT_EQ(Signals().size(), 1u) << "no after-save signal for a save that failed";
    EXPECT_EQ(Signals()[0].service, kBeforeSaveDocSignalResponderService);
}

TEST_F(DocumentTest, ResponderObjectsAndNewDocuments) {
    InterfacePtr<IResponder> responder(
        static_cast<IResponder*>(CreateObject(kTestResponderBoss, IID_IRESPONDER)));
    ResponderRegistry::Register(kAfterNewDocSignalResponderService, responder);
    ResponderRegistry::Register(kAfterNewDocSignalResponderService, responder);
    IDocument* doc = Host::NewDocument();
    ASSERT_NE(doc, nullptr);
    ASSERT_EQ(Signals().size(), 2u) << "a responder registered twice hears twice";
    EXPECT_EQ(Signals()[0].doc, GetUIDRef(doc));
    EXPECT_TRUE(Signals()[0].file.IsEmpty());
    EXPECT_FALSE(doc->GetDocFile(nullptr));
    EXPECT_EQ(doc->GetName().GetUTF8String().rfind("Untitled-", 0), 0u);

    ResponderRegistry::Unregister(kAfterNewDocSignalResponderService, responder);
    Signals().clear();
    Host::NewDocument();
    EXPECT_EQ(Signals().size(), 1u);
    std::string error;
    EXPECT_FALSE(Host::SaveDocument(doc, &error)) << "nowhere to save to";
    EXPECT_FALSE(error.empty());
}

TEST_F(DocumentTest, FileTypesByName) {
    struct Case {
        std::string name;
        FileTypeInfoID type;
        bool isTemplate;
        bool textEditing;
    };
    const std::vector<Case> cases = {
        {"a.indd", kInDesignDocFileTypeInfoID, false, false},
        {"a.INDT", kInDesignTemplateFileTypeInfoID, true, false},
        {"a.idmt", kInDesignTemplateFileTypeInfoID, true, false},
        {"a.icml", 269, false, true},
        {"a.incx", 287, false, true},
        {"a.incd", 301, false, true},
        {"a.jpg", kOtherFileTypeInfoID, false, false},
        {"noextension", kOtherFileTypeInfoID, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        IDocument* doc = Host::NewDocument(IDFile(fDir / c.name));
        ASSERT_NE(doc, nullptr);
        EXPECT_EQ(doc->GetOpenFileType(), c.type);
        EXPECT_EQ(bool(doc->IsTemplate()), c.isTemplate);
        EXPECT_EQ(DocFileTypes::IsTextEditingType(doc->GetOpenFileType()), c.textEditing);
    }
}

TEST_F(DocumentTest, DatabaseStoriesAndAssignments) {
    IDocument* doc = Host::NewDocument();
    ASSERT_NE(doc, nullptr);
    IDataBase* db = doc->GetDocumentDataBase();
    ASSERT_NE(db, nullptr);
    UID first = Host::NewStory(doc, "Headline");
    UID second = Host::NewStory(doc, "Body");
    ASSERT_NE(first, kInvalidUID);
    ASSERT_NE(second, first);

    struct UIDCase {
        UID uid;
        bool valid;
    };
    for (const auto& c : std::vector<UIDCase>{{db->GetRootUID(), true},
                                              {doc->GetDocWorkSpace().GetUID(), true},
                                              {first, true},
                                              {kInvalidUID, false},
                                              {second + 100, false}}) {
        SCOPED_TRACE(c.uid);
        EXPECT_EQ(bool(db->IsValidUID(c.uid)), c.valid);
        InterfacePtr<ISubject> subject(Instantiate<ISubject>(db, c.uid));
        EXPECT_EQ(bool(subject), c.valid) << "documents, workspaces and stories are subjects";
    }
    EXPECT_EQ(db->GetClass(first), kStoryBoss);
    EXPECT_EQ(db->GetClass(doc->GetDocWorkSpace().GetUID()), kDocWorkspaceBoss);

    UIDList stories = doc->GetStoryList();
    ASSERT_EQ(stories.Length(), 2);
    EXPECT_EQ(stories.GetDataBase(), db);
    EXPECT_EQ(stories.At(0), first);
    EXPECT_EQ(stories.At(1), second);

    // Each story has a packet of its own, apart from the document's.
    InterfacePtr<IXMPPacketAccess> storyXMP(Instantiate<IXMPPacketAccess>(db, first));
    InterfacePtr<IXMPPacketAccess> docXMP(doc, IID_IXMPPACKETACCESS);
    ASSERT_TRUE(storyXMP && docXMP);
    ASSERT_TRUE(storyXMP->SetProperty(kTestNS, WideString("Owner"), WideString("story")));
    EXPECT_FALSE(docXMP->DoesPropertyExist(kTestNS, WideString("Owner")));
    InterfacePtr<IXMPPacketAccess> otherStoryXMP(Instantiate<IXMPPacketAccess>(db, second));
    EXPECT_FALSE(otherStoryXMP->DoesPropertyExist(kTestNS, WideString("Owner")));

    InterfacePtr<IStoryData> story(Instantiate<IStoryData>(db, first));
    ASSERT_TRUE(story);
    EXPECT_EQ(story->GetName().GetUTF8String(), "Headline");
    EXPECT_FALSE(story->IsLocked());
    story->SetLocked(kTrue);
    EXPECT_TRUE(story->IsLocked());
    testsupport::WriteFile(fDir / "linked story.icml", "x");
    struct LinkCase {
        std::string location;
        bool resolves;
    };
    for (const auto& c :
         std::vector<LinkCase>{{(fDir / "linked story.icml").string(), true},
                               {"file://" + fDir.path().string() + "/linked%20story.icml", true},
                               {(fDir / "gone.icml").string(), false},
                               {"", false}}) {
        SCOPED_TRACE(c.location);
        story->SetLinkResource(c.location);
        IDFile resolved;
        EXPECT_EQ(bool(story->ResolveLinkResource(&resolved)), c.resolves);
        if (c.resolves) {
            EXPECT_EQ(resolved.Path(), fDir / "linked story.icml");
        }
    }

    EXPECT_EQ(GetUIDRef(story), UIDRef(db, first));
    EXPECT_EQ(GetUIDRef(doc), UIDRef(db, db->GetRootUID()));

    InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
    ASSERT_TRUE(assignments);
    EXPECT_EQ(assignments->FindStory(first), -1);
    assignments->AddAssignment({"Front page", "ann", IDFile(fDir / "front.icma"), {first}});
    assignments->AddAssignment({"Inside", "bob", IDFile(fDir / "inside.icma"), {second, first}});
    EXPECT_EQ(assignments->GetAssignmentCount(), 2);
    EXPECT_EQ(assignments->FindStory(first), 0);
    EXPECT_EQ(assignments->FindStory(second), 1);
    EXPECT_EQ(assignments->GetNthAssignment(1).user.GetUTF8String(), "bob");
    EXPECT_TRUE(assignments->RemoveAssignment(0));
    EXPECT_FALSE(assignments->RemoveAssignment(5));
    EXPECT_EQ(assignments->FindStory(first), 0) << "the remaining assignment holds it too";
    EXPECT_TRUE(assignments->GetNthAssignment(7).name.IsEmpty());

    db->DeleteUID(second);
    EXPECT_FALSE(db->IsValidUID(second));
    EXPECT_TRUE(db->IsValidUID(first));
    EXPECT_EQ(Host::NewStory(doc, "Later"), second + 1) << "a deleted UID is never given out again";

    // Closing releases the database; what is still held no longer belongs to one.
    ASSERT_TRUE(Host::CloseDocument(doc));
    EXPECT_EQ(GetDataBase(story), nullptr);
    EXPECT_EQ(story->GetName().GetUTF8String(), "Headline");
}

TEST_F(DocumentTest, PlugInAddInsOnTheWorkspace) {
    // What a plug-in does from its registration: keep a class ID on each document's workspace.
    ObjectModel::AddIn(kDocWorkspaceBoss, {IID_ITESTWORKSPACEDATA, kHostClassIDDataImpl});
    IDocument* doc = Host::NewDocument();
    ASSERT_NE(doc, nullptr);
    UIDRef ws = doc->GetDocWorkSpace();
    InterfacePtr<IClassIDData> data(Instantiate<IClassIDData>(ws, IID_ITESTWORKSPACEDATA));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->GetClassID(), kInvalidClass);
    data->Set(0x1234);
    InterfacePtr<IClassIDData> again(Instantiate<IClassIDData>(ws, IID_ITESTWORKSPACEDATA));
    EXPECT_EQ(again->GetClassID(), 0x1234u) << "one object per workspace";
    InterfacePtr<IClassIDData> onDoc(doc, IID_ITESTWORKSPACEDATA);
    EXPECT_FALSE(onDoc) << "the add-in is the workspace's, not the document's";
}

TEST_F(DocumentTest, AnInstalledFileHandlerCarriesSaveAndClose) {
    ListenToAllSignals();
    IDFile file = Copy("BlueSquare.jpg");
    IDocument* doc = Host::OpenDocument(file);
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(doc->GetDocFileHandler(), kHostDocFileHandlerBoss);
    doc->SetDocFileHandler(kTestForwardingHandlerBoss);
    {
        InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
        xmp->SetProperty(kTestNS, WideString("Status"), WideString("through the handler"));
    }
    ASSERT_TRUE(Host::SaveDocument(doc));

    gRefuseClose = true;
    Signals().clear();
    EXPECT_FALSE(Host::CloseDocument(doc)) << "the handler abandoned the close";
    EXPECT_TRUE(Host::GetDocumentList()->IsOpen(doc));
    EXPECT_TRUE(Signals().empty()) << "an abandoned close sends no before-close signal";
    EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kCancel);

    gRefuseClose = false;
    EXPECT_TRUE(Host::CloseDocument(doc));
    EXPECT_EQ(HandlerCalls(), (std::vector<std::string>{"Save", "Close", "Close"}));
    ASSERT_EQ(Signals().size(), 1u);
    EXPECT_EQ(Signals()[0].service, kBeforeCloseDocSignalResponderService);

    IDocument* again = Host::OpenDocument(file);
    ASSERT_NE(again, nullptr);
    InterfacePtr<IXMPPacketAccess> xmp(again, IID_IXMPPACKETACCESS);
    EXPECT_EQ(Get(xmp, kTestNS, WideString("Status")), "through the handler");
    EXPECT_EQ(again->GetDocFileHandler(), kHostDocFileHandlerBoss) << "a new document starts with the host's";
}

TEST_F(DocumentTest, RevertAndSaveACopy) {
    IDFile file = Copy("BlueSquare.jpg");
    IDocument* doc = Host::OpenDocument(file);
    ASSERT_NE(doc, nullptr);
    InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
    const std::string original = xmp->SerializePacket();
    xmp->SetProperty(kTestNS, WideString("Status"), WideString("draft"));

    InterfacePtr<IDocFileHandler> handler(
        static_cast<IDocFileHandler*>(CreateObject(kHostDocFileHandlerBoss, IID_IDOCFILEHANDLER)));
    ASSERT_TRUE(handler);
    const UIDRef ref = GetUIDRef(doc);
    IDFile copy(fDir / "copy.jpg");
    ErrorUtils::PMSetGlobalErrorCode(kSuccess);
    handler->SaveACopy(ref, &copy);
    EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kSuccess);
    EXPECT_TRUE(doc->IsModified()) << "a copy leaves the document as it was";
    IDFile stillThere;
    doc->GetDocFile(&stillThere);
    EXPECT_EQ(stillThere, file);

    EXPECT_TRUE(handler->CanRevert(ref));
    handler->Revert(ref);
    EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kSuccess);
    EXPECT_FALSE(xmp->DoesPropertyExist(kTestNS, WideString("Status")));
    EXPECT_EQ(xmp->SerializePacket(), original);
    EXPECT_FALSE(doc->IsModified());

    IDocument* copied = Host::OpenDocument(copy);
    ASSERT_NE(copied, nullptr);
    InterfacePtr<IXMPPacketAccess> copiedXMP(copied, IID_IXMPPACKETACCESS);
    EXPECT_EQ(Get(copiedXMP, kTestNS, WideString("Status")), "draft");

    IDFile name;
    bool16 useDefault = kTrue;
    handler->GetCopyDefaultName(ref, &name, useDefault);
    EXPECT_EQ(name.Path(), fDir / "BlueSquare copy.jpg");
    EXPECT_FALSE(useDefault);
}

TEST_F(DocumentTest, StoppingTheHostClosesOpenDocuments) {
    ListenToAllSignals();
    IDocument* doc = Host::OpenDocument(Copy("BlueSquare.png"));
    ASSERT_NE(doc, nullptr);
    UID story = Host::NewStory(doc, "Kept");
    InterfacePtr<IStoryData> held(Instantiate<IStoryData>(doc->GetDocumentDataBase(), story));
    Signals().clear();
    Host::Stop();
    EXPECT_TRUE(Signals().empty()) << "quitting sends no close signals";
    EXPECT_EQ(GetDataBase(held), nullptr);
    EXPECT_EQ(Host::GetDocumentList(), nullptr);
    EXPECT_EQ(Host::OpenDocument(Copy("BlueSquare.jpg")), nullptr);
}

} // namespace
