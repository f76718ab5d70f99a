#include "lifecycle/BRNDocFileHandler.h"

#include "BRNID.h"
#include "CVLog.h"
#include "base/ErrorUtils.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/IClassIDData.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"

#include <algorithm>
#include <vector>

namespace {

std::vector<IDataBase*> gClosing;

// The host's own handler of the document, referenced, or null.
IDocFileHandler* QueryHostHandler(const UIDRef& doc) {
    InterfacePtr<IClassIDData> saved(Instantiate<IClassIDData>(doc, IID_IBRNSAVEDFILEHANDLER));
    if (!saved || saved->GetClassID() == kInvalidClass) {
        CV_LOG_FAILED();
        return nullptr;
    }
    return static_cast<IDocFileHandler*>(CreateObject(saved->GetClassID(), IID_IDOCFILEHANDLER));
}

} // namespace

const std::vector<IDataBase*>& BRNDocFileHandler::ClosesInProgress() {
    return gClosing;
}

#define BRN_FORWARD(call, fallback)                                                                          \
    do {                                                                                                     \
        InterfacePtr<IDocFileHandler> host(QueryHostHandler(doc));                                           \
        if (!host) return fallback;                                                                          \
        return host->call;                                                                                   \
    } while (0)

bool16 BRNDocFileHandler::CanSave(const UIDRef& doc) {
    BRN_FORWARD(CanSave(doc), kFalse);
}
void BRNDocFileHandler::Save(const UIDRef& doc, UIFlags uiFlags) {
    BRN_FORWARD(Save(doc, uiFlags), );
}
bool16 BRNDocFileHandler::CanSaveAs(const UIDRef& doc) {
    BRN_FORWARD(CanSaveAs(doc), kFalse);
}
void BRNDocFileHandler::SaveAs(const UIDRef& doc, const IDFile* destFile, UIFlags uiFlags,
                               bool16 asStationery, FileTypeInfoID fileTypeID) {
    BRN_FORWARD(SaveAs(doc, destFile, uiFlags, asStationery, fileTypeID), );
}
bool16 BRNDocFileHandler::CanSaveACopy(const UIDRef& doc) {
    BRN_FORWARD(CanSaveACopy(doc), kFalse);
}
void BRNDocFileHandler::SaveACopy(const UIDRef& doc, const IDFile* destFile, UIFlags uiFlags,
                                  bool16 asStationery, FileTypeInfoID fileTypeID) {
    BRN_FORWARD(SaveACopy(doc, destFile, uiFlags, asStationery, fileTypeID), );
}
bool16 BRNDocFileHandler::CanRevert(const UIDRef& doc) {
    BRN_FORWARD(CanRevert(doc), kFalse);
}
void BRNDocFileHandler::Revert(const UIDRef& doc, UIFlags uiFlags) {
    BRN_FORWARD(Revert(doc, uiFlags), );
}
bool16 BRNDocFileHandler::CanClose(const UIDRef& doc) {
    BRN_FORWARD(CanClose(doc), kFalse);
}
void BRNDocFileHandler::GetCopyDefaultName(const UIDRef& doc, IDFile* name, bool16& useSystemDefaultDir) {
    BRN_FORWARD(GetCopyDefaultName(doc, name, useSystemDefaultDir), );
}

IDocFileHandler::CloseOptions BRNDocFileHandler::CheckOnClose(const UIDRef& doc, UIFlags uiFlags) {
    if (!doc.GetDataBase()) return kSave;
    // The maker's component that could forbid asking is not part of this host: the flags decide.
    const bool16 interactive = uiFlags != kSuppressUI ? kTrue : kFalse;
    return BRNPackageUtils::CheckRequiredFields(UIDList(doc), interactive, kTrue) != 0 ? kCancel : kSave;
}

void BRNDocFileHandler::Close(const UIDRef& doc, UIFlags uiFlags, bool16 allowCancel, CloseCmdMode cmdMode) {
    IDataBase* db = doc.GetDataBase();
    if (std::find(gClosing.begin(), gClosing.end(), db) != gClosing.end()) return;
    gClosing.push_back(db);
    GuardedClose(doc, uiFlags, allowCancel, cmdMode);
    gClosing.erase(std::find(gClosing.begin(), gClosing.end(), db));
}

void BRNDocFileHandler::GuardedClose(const UIDRef& doc, UIFlags uiFlags, bool16 allowCancel,
                                     CloseCmdMode cmdMode) {
    if (cmdMode != kProcess) {
        if (!allowCancel || uiFlags == kSuppressUI) {
            // A close that goes on whatever the check finds (it may not be cancelled, or nobody
            // can be asked): the fields are reported once, since asking again and again could
            // never end when nobody can answer. The document closes without saving, so what the
            // check would stamp into its packages is not written: the close would throw it away,
            // and a document saved just before would close with changes of the check's own.
            if (doc.GetDataBase())
                BRNPackageUtils::CheckRequiredFields({doc}, uiFlags != kSuppressUI ? kTrue : kFalse, kTrue,
                                                     nullptr, kFalse);
        } else if (CheckOnClose(doc, uiFlags) == kCancel) {
            ErrorUtils::PMSetGlobalErrorCode(kCancel);
            return;
        }
    }
    InterfacePtr<IDocument> document(Instantiate<IDocument>(doc));
    if (!document) {
        CV_LOG_FAILED();
        return;
    }
    InterfacePtr<IDocFileHandler> host(QueryHostHandler(doc));
    if (!host) return;
    host->Close(doc, uiFlags, allowCancel, cmdMode);
}
