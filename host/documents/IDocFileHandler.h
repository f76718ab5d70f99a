// The handler of a document's file operations. Each document names the class of its handler
// (IDocument::GetDocFileHandler); the host's own is kHostDocFileHandlerBoss, and a plug-in that
// installs its own class forwards to it by CreateObject(kHostDocFileHandlerBoss, IID_IDOCFILEHANDLER).
// Failures are reported through ErrorUtils::PMSetGlobalErrorCode; a handler that sets kCancel
// in Close abandons the close.
#pragma once

#include "formats/IFileTypeInfo.h"
#include "io/IDFile.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDRef.h"

// How much the user may be asked.
enum UIFlags : int32 { kSuppressUI = 0, kMinimalUI = 1, kFullUI = 2 };

class IDocFileHandler : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IDOCFILEHANDLER };
    // kProcess closes at once; kSchedule runs the close checks first.
    enum CloseCmdMode { kProcess = 0, kSchedule = 1 };
    enum CloseOptions { kSave = 0, kDontSave = 1, kCancel = 2 };

    virtual bool16 CanSave(const UIDRef& doc) = 0;
    // Writes the document's packet to its file, between the before-save and after-save signals.
    virtual void Save(const UIDRef& doc, UIFlags uiFlags = kFullUI) = 0;
    virtual bool16 CanSaveAs(const UIDRef& doc) = 0;
    // Copies the document's file to destFile, writes the packet there, and the document goes
    // on with destFile, between the before-save-as and after-save-as signals.
    virtual void SaveAs(const UIDRef& doc, const IDFile* destFile = nullptr, UIFlags uiFlags = kFullUI,
                        bool16 asStationery = kFalse, FileTypeInfoID fileTypeID = kInvalidFileTypeInfoID) = 0;
    virtual bool16 CanSaveACopy(const UIDRef& doc) = 0;
    // As SaveAs, but the document stays with its own file and is not signalled.
    virtual void SaveACopy(const UIDRef& doc, const IDFile* destFile = nullptr, UIFlags uiFlags = kFullUI,
                           bool16 asStationery = kFalse,
                           FileTypeInfoID fileTypeID = kInvalidFileTypeInfoID) = 0;
    virtual bool16 CanRevert(const UIDRef& doc) = 0;
    // Reads the packet from the file again and forgets the undo steps.
    virtual void Revert(const UIDRef& doc, UIFlags uiFlags = kFullUI) = 0;
    virtual bool16 CanClose(const UIDRef& doc) = 0;
    // Sends the before-close signal and closes the document without saving it.
    virtual void Close(const UIDRef& doc, UIFlags uiFlags = kFullUI, bool16 allowCancel = kTrue,
                       CloseCmdMode cmdMode = kSchedule) = 0;
    // Whether the close may go on; the host's handler never asks and answers kDontSave.
    virtual CloseOptions CheckOnClose(const UIDRef& doc, UIFlags uiFlags) = 0;
    // The file a copy would be saved to by default.
    virtual void GetCopyDefaultName(const UIDRef& doc, IDFile* name, bool16& useSystemDefaultDir) = 0;
};
