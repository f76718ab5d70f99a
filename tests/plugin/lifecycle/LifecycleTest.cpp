// The responder, the file handler and the service provider in a running host.
#include "TestSupport.h"

#include "BRNID.h"
#include "base/ErrorUtils.h"
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "lifecycle/BRNDocFileHandler.h"
#include "lifecycle/BRNResponder.h"
#include "lifecycle/BRNServiceProvider.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/IClassIDData.h"
#include "objectmodel/ObjectModel.h"
#include "ui/HostDialogs.h"

using namespace testsupport;
namespace fs = std::filesystem;

namespace {

BRNField F(const char* name, int32 type, const char* value, bool required = false) {
    BRNField f = Field(name, name, type, value);
    f.SetRequired(required);
    return f;
}

BRNPackage P(const BRNFieldList& fields) {
    BRNPackage p(fields, Untranslated("P"), PMString(), 0);
    p.SetVersion(1);
    p.SetEnabled(kTrue);
    return p;
}

class LifecycleTest : public HostFixture {
protected:
    void TearDown() override {
        HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kAsk);
        HostFixture::TearDown();
    }
    // A saved file holding the packages, opened as the host opens files (with signals).
    IDocument* OpenWith(const BRNPackageList& packages, const char* name = "doc.txt") {
        const fs::path file = fHome->path() / name;
        WriteFile(file, "text");
        IDocument* doc = Host::NewDocument(IDFile(file));
        const UIDRef ref = Ref(doc);
        EXPECT_EQ(BRNPackageUtils::StorePackages(UIDList(ref), packages, kFalse, kFalse), kSuccess);
        EXPECT_TRUE(Host::SaveDocument(doc));
        EXPECT_TRUE(Host::CloseDocument(doc));
        std::string error;
        IDocument* opened = Host::OpenDocument(IDFile(file), &error);
        EXPECT_TRUE(opened) << error;
        return opened;
    }
    static UIDRef Ref(IDocument* doc) {
        IDataBase* db = doc->GetDocumentDataBase();
        return UIDRef(db, db->GetRootUID());
    }
    static ClassID Saved(IDocument* doc) {
        InterfacePtr<IClassIDData> saved(doc, IID_IBRNSAVEDFILEHANDLER);
        return saved ? saved->GetClassID() : kInvalidClass;
    }
    static bool IsOpen(IDocument* doc) {
        IDocumentList* list = Host::GetDocumentList();
        for (int32 i = 0; i < list->GetDocCount(); ++i)
            if (list->GetNthDoc(i) == doc) return true;
        return false;
    }
};

TEST_F(LifecycleTest, ProviderNamesSevenSignalsInOrder) {
    InterfacePtr<IK2ServiceProvider> provider(
        static_cast<IK2ServiceProvider*>(CreateObject(kBRNResponderServiceBoss, IID_IK2SERVICEPROVIDER)));
    ASSERT_TRUE(provider);
    std::vector<ServiceID> ids;
    provider->GetServiceIDs(ids);
    EXPECT_EQ(ids, (std::vector<ServiceID>{0xE0C, 0xE0F, 0xE19, 0xE10, 0xE11, 0xE12, 0xE13}));
    EXPECT_EQ(provider->GetServiceID(), 0xE0Cu);
    PMString name;
    provider->GetName(&name);
    EXPECT_EQ(name.GetUTF8String(), "CvZPanel Responder Service");
    InterfacePtr<IResponder> responder(provider, IID_IRESPONDER);
    EXPECT_TRUE(responder);
}

TEST_F(LifecycleTest, FileHandlerInstalledOnceKeepingTheHostsClass) {
    IDocument* doc = OpenWith({P({F("Title", kBRNTypeString, "x")})});
    ASSERT_TRUE(doc);
    EXPECT_EQ(doc->GetDocFileHandler(), kBRNDocFileHandlerBoss);
    EXPECT_EQ(Saved(doc), kHostDocFileHandlerBoss);
    // Created and opened both install; a further install changes nothing.
    BRNResponder::InstallFileHandler(doc);
    EXPECT_EQ(Saved(doc), kHostDocFileHandlerBoss);
    EXPECT_TRUE(Host::CloseDocument(doc));
}

TEST_F(LifecycleTest, BeforeSaveTidiesDecimalsAndLeavesOthers) {
    struct Case {
        int32 type;
        const char* value;
        const char* saved;
    };
    const Case cases[] = {
        {kBRNTypeDecimal, "12.", "12"},
        {kBRNTypeDecimal, "1.5.", "1.5."},
        {kBRNTypeDecimal, "7", "7"},
        {kBRNTypeString, "12.", "12."},
    };
    for (const Case& c : cases) {
        IDocument* doc = OpenWith({P({F("V", c.type, c.value)})});
        ASSERT_TRUE(doc);
        ASSERT_TRUE(Host::SaveDocument(doc));
        const BRNPackageList stored = BRNPackageUtils::ReadPackages(Ref(doc));
        ASSERT_EQ(stored.size(), 1u);
        EXPECT_EQ(stored[0].GetFields()[0].GetValue().GetUTF8String(), c.saved) << c.value;
        Host::CloseDocument(doc, kSuppressUI);
    }
}

TEST_F(LifecycleTest, BeforeSaveAlertsEachBadDateAndNeverStopsTheSave) {
    IDocument* doc =
        OpenWith({P({F("Due", kBRNTypeDate, "31-12-2020"), F("Ok", kBRNTypeDate, "2020/12/31")})});
    ASSERT_TRUE(doc);
    fAlerts->Clear();
    EXPECT_TRUE(Host::SaveDocument(doc));
    ASSERT_EQ(fAlerts->Alerts().size(), 1u);
    EXPECT_NE(fAlerts->Alerts()[0].message.find("Due"), std::string::npos);
    Host::CloseDocument(doc, kSuppressUI);
}

TEST_F(LifecycleTest, CloseWithMissingRequiredFields) {
    struct Case {
        const char* what;
        int32 type;
        HostDialogs::MessageAnswer answer;
        bool closes;
    };
    const Case cases[] = {
        {"required String empty, dialog confirmed", kBRNTypeString, HostDialogs::MessageAnswer::kOK, false},
        {"required String empty, dialog dismissed", kBRNTypeString, HostDialogs::MessageAnswer::kDismiss,
         true},
        {"required Boolean never missing", kBRNTypeBoolean, HostDialogs::MessageAnswer::kOK, true},
        {"required MultiChoice never missing", kBRNTypeMultiChoice, HostDialogs::MessageAnswer::kOK, true},
    };
    for (const Case& c : cases) {
        IDocument* doc = OpenWith({P({F("Title", c.type, "", true)})});
        ASSERT_TRUE(doc);
        HostDialogs::SetMessageAnswer(c.answer);
        ErrorUtils::PMSetGlobalErrorCode(kSuccess);
        const bool closed = Host::CloseDocument(doc);
        EXPECT_EQ(closed, c.closes) << c.what;
        EXPECT_EQ(IsOpen(doc), !c.closes) << c.what;
        if (!c.closes) {
            EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kCancel) << c.what;
            HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kDismiss);
            EXPECT_TRUE(Host::CloseDocument(doc)) << c.what;
        }
    }
}

TEST_F(LifecycleTest, CloseThatCannotBeCancelledReportsOnceAndCloses) {
    IDocument* doc = OpenWith({P({F("Title", kBRNTypeString, "", true)})});
    ASSERT_TRUE(doc);
    HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kOK);
    const int32 before = HostDialogs::MessageDialogCount();
    InterfacePtr<IDocFileHandler> handler(
        static_cast<IDocFileHandler*>(CreateObject(kBRNDocFileHandlerBoss, IID_IDOCFILEHANDLER)));
    handler->Close(Ref(doc), kFullUI, kFalse, IDocFileHandler::kSchedule);
    EXPECT_EQ(HostDialogs::MessageDialogCount() - before, 1);
    EXPECT_FALSE(IsOpen(doc));
}

TEST_F(LifecycleTest, CloseInProcessModeSkipsTheCheck) {
    IDocument* doc = OpenWith({P({F("Title", kBRNTypeString, "", true)})});
    ASSERT_TRUE(doc);
    HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kOK);
    const int32 before = HostDialogs::MessageDialogCount();
    InterfacePtr<IDocFileHandler> handler(
        static_cast<IDocFileHandler*>(CreateObject(kBRNDocFileHandlerBoss, IID_IDOCFILEHANDLER)));
    handler->Close(Ref(doc), kFullUI, kTrue, IDocFileHandler::kProcess);
    EXPECT_EQ(HostDialogs::MessageDialogCount(), before);
    EXPECT_FALSE(IsOpen(doc));
    EXPECT_TRUE(BRNDocFileHandler::ClosesInProgress().empty());
}

TEST_F(LifecycleTest, VersionComparison) {
    struct Case {
        const char* version;
        bool atLeast;
    };
    const Case cases[] = {{"4.6.4", true}, {"4.6.10", true},  {"5", true},
                          {"4.7", true},   {"4.6", false},    {"4.6.3", false},
                          {"", false},     {"4.6.4.1", true}, {"3.9.9", false}};
    for (const Case& c : cases)
        EXPECT_EQ(BRNResponder::VersionAtLeast(PMString(c.version), PMString("4.6.4")) != 0, c.atLeast)
            << c.version;
}

} // namespace
