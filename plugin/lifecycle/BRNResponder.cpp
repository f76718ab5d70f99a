#include "lifecycle/BRNResponder.h"

#include "BRNID.h"
#include "CVLog.h"
#include "base/WLocaleSetting.h"
#include "commands/IDocCommandNotify.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "files/BRNUtils.h"
#include "files/IBRNPrefs.h"
#include "lifecycle/BRNDocObserver.h"
#include "logic/BRNPackageUtils.h"
#include "metadata/BRNXMPSchema.h"
#include "metadata/IBRNDocPrefs.h"
#include "objectmodel/IClassIDData.h"
#include "objectmodel/InterfacePtr.h"
#include "session/Host.h"
#include "session/IPanelMgr.h"
#include "subjects/IDocumentSignalData.h"
#include "subjects/ISignalMgr.h"
#include "subjects/ISubject.h"
#include "ui/CAlert.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <cstdlib>

namespace {

bool TextEdition() {
    const uint16 product = WLocaleSetting::GetLocale().GetProductFS() >> 8;
    return product == 0x02 || product == 0xFF;
}

bool CompanionPresent() {
    return Host::IsPluginLoaded(kCVComponentPluginID);
}

void Notify(IDocument* document, const char* event) {
    if (!CompanionPresent()) BRNUtils::NotifyDocumentEvent(document, PMString(event));
}

void AttachObserver(const UIDRef& ref, bool attach) {
    InterfacePtr<IObserver> observer(Instantiate<IObserver>(ref, IID_IBRNDOCOBSERVER));
    if (!observer) {
        CV_LOG_FAILED();
        return;
    }
    if (attach)
        observer->AutoAttach();
    else
        observer->AutoDetach();
}

// Whether anyone may be shown anything: the maker's component is not installed here, so yes.
bool16 Interactive() {
    return kTrue;
}

void ShowPanel() {
    IPanelMgr* panels = GetPanelManager();
    if (panels && !panels->IsPanelWithWidgetIDShown(kBRNPanelWidgetID))
        panels->ShowPanelByWidgetID(kBRNPanelWidgetID);
}

} // namespace

bool16 BRNResponder::VersionAtLeast(const PMString& version, const PMString& minimum) {
    if (version.IsEmpty()) return kFalse;
    auto parts = [](const PMString& s) {
        std::vector<long long> out;
        const std::string t = s.GetUTF8String();
        size_t from = 0;
        while (true) {
            const size_t dot = t.find('.', from);
            out.push_back(std::atoll(t.substr(from, dot - from).c_str()));
            if (dot == std::string::npos) break;
            from = dot + 1;
        }
        return out;
    };
    const auto v = parts(version), m = parts(minimum);
    for (size_t i = 0; i < m.size(); ++i) {
        if (i >= v.size()) return kFalse;
        if (v[i] != m[i]) return v[i] > m[i] ? kTrue : kFalse;
    }
    return kTrue;
}

void BRNResponder::InstallFileHandler(IDocument* document) {
    if (!document) return;
    InterfacePtr<IClassIDData> saved(document, IID_IBRNSAVEDFILEHANDLER);
    if (!saved) {
        CV_LOG_FAILED();
        return;
    }
    if (saved->GetClassID() != kInvalidClass) return;
    saved->Set(document->GetDocFileHandler());
    document->SetDocFileHandler(kBRNDocFileHandlerBoss);
}

void BRNResponder::Respond(ISignalMgr* signalMgr) {
    CV_TRACE("BRNResponder::Respond");
    InterfacePtr<IDocumentSignalData> data(signalMgr, IID_IDOCUMENTSIGNALDATA);
    if (!data) {
        CV_LOG(60, "Invalid IDocumentSignalData* - BRNResponder::Respond");
        CV_RETURN_VOID();
    }
    const UIDRef ref = data->GetDocument();
    switch (signalMgr->GetServiceID()) {
    case kAfterNewDocSignalResponderService: {
        AttachObserver(ref, true);
        InterfacePtr<IDocument> doc(Instantiate<IDocument>(ref));
        InstallFileHandler(doc);
        break;
    }
    case kAfterOpenDocSignalResponderService:
        DocumentOpened(ref);
        break;
    case kBeforeSaveDocSignalResponderService:
    case kBeforeSaveAsDocSignalResponderService:
        BeforeSave(ref);
        break;
    case kAfterSaveDocSignalResponderService:
    case kAfterSaveAsDocSignalResponderService: {
        InterfacePtr<IDocument> doc(Instantiate<IDocument>(ref));
        if (doc) Notify(doc, "SAVE");
        break;
    }
    case kBeforeCloseDocSignalResponderService: {
        InterfacePtr<IDocument> doc(Instantiate<IDocument>(ref));
        if (!doc) break;
        AttachObserver(ref, false);
        Notify(doc, "CLOSE");
        break;
    }
    default:
        break;
    }
    CV_RETURN_VOID();
}

void BRNResponder::DocumentOpened(const UIDRef& ref) {
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(ref));
    if (!doc || !doc->GetDocumentDataBase()) {
        InstallFileHandler(doc);
        return;
    }
    // The maker's document component is not part of this host: nothing to hand the document to.
    AttachObserver(ref, true);
    if (!TextEdition()) BRNPackageUtils::UpgradeDocumentPackages(ref, kFalse);
    ApplyDefaultsOnOpen(ref);
    Notify(doc, "OPEN");
    AskDualSchema(doc, ref);
    InstallFileHandler(doc);
}

void BRNResponder::ApplyDefaultsOnOpen(const UIDRef& ref) {
    if (!BRNUtils::ApplyDefaultsOnOpen(ref)) return;
    InterfacePtr<IBRNPrefs> prefs(BRNPackageUtils::QueryPrefs());
    InterfacePtr<ISubject> subject(prefs, IID_ISUBJECT);
    if (!subject) {
        CV_LOG_FAILED();
        return;
    }
    subject->Change(kBRNStoryAppliedMessage, kBRNProtocol, this);
}

void BRNResponder::AskDualSchema(IDocument* document, const UIDRef& ref) {
    InterfacePtr<IXMPPacketAccess> xmp(document, IID_IXMPPACKETACCESS);
    if (!xmp) return;
    auto holds = [&](const WideString& ns) {
        WideString prefix;
        return xmp->GetNamespacePrefix(ns, &prefix) && xmp->DoesPropertyExist(ns, WideString("DocType"));
    };
    if (!holds(BRNXMPSchema::LegacyNamespace()) || !holds(BRNXMPSchema::CurrentNamespace())) return;
    const int32 answer =
        CAlert::ModalAlert(PMString("0xA8260kBRNDualXMPPackagesErrorStringKey"), CAlert::YesButtonString(),
                           CAlert::NoButtonString(), PMString(), 1, CAlert::kWarningIcon);
    if (answer != 1) return;
    const BRNPackageList packages = BRNPackageUtils::ReadPackages(ref);
    BRNPackageUtils::StorePackages(UIDList(ref), packages, kFalse, kTrue);
}

void BRNResponder::BeforeSave(const UIDRef& ref) {
    IDataBase* db = ref.GetDataBase();
    if (!db) return;
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(ref));
    if (!doc) {
        CV_LOG_FAILED();
        return;
    }
    BRNPackageList packages = BRNPackageUtils::ReadPackages(ref);
    if (packages.empty()) return;
    InterfacePtr<IBRNDocPrefs> prefs(Instantiate<IBRNDocPrefs>(doc->GetDocWorkSpace(), IID_IBRNDOCPREFS));
    if (!prefs) {
        CV_LOG_FAILED();
        return;
    }
    PMStringList missing;
    bool dateError = false;
    bool writeBack = false;
    for (BRNPackage& package : packages) {
        BRNFieldList fields = package.GetFields();
        bool changed = false;
        for (BRNField& field : fields) {
            const int32 type = field.GetType();
            const bool counted =
                type == 0 || type == 1 || type == 3 || type == 4 || type == 5 || type == 6 || type == 8;
            if (field.GetRequired() && counted && field.GetValue().IsEmpty() &&
                std::find(missing.begin(), missing.end(), field.GetName()) == missing.end())
                missing.push_back(field.GetName());
            if (type == 5 && BRNPackageUtils::TidyDecimal(field)) changed = true;
            if (type == 6 && BRNPackageUtils::IsInvalidDate(field.GetValue())) {
                BRNPackageUtils::ShowDateAlert(field.GetName());
                dateError = true;
            }
        }
        if (changed) {
            package.SetFields(fields);
            writeBack = true;
        }
    }
    if (Interactive() && (!missing.empty() || dateError)) ShowPanel();
    if (!writeBack) return;
    // Our own write must not come back to our observers as a command of the user's.
    InterfacePtr<IDocCommandNotify> notify(Instantiate<IDocCommandNotify>(ref, IID_IDOCCOMMANDNOTIFY));
    db->BeginTransaction();
    if (notify) notify->SetNotify(kFalse);
    BRNPackageUtils::StorePackages(UIDList(ref), packages, kFalse, kFalse);
    if (notify) notify->SetNotify(kTrue);
    db->EndTransaction();
}
