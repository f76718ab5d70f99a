// The host's own document file handler (kHostDocFileHandlerBoss). Stateless: everything it
// works on is the document's.
#pragma once

#include "documents/IDocFileHandler.h"
#include "objectmodel/CPMUnknown.h"

class HostDocFileHandler final : public CPMUnknown<IDocFileHandler> {
public:
    explicit HostDocFileHandler(Boss* boss) : CPMUnknown<IDocFileHandler>(boss) {}

    bool16 CanSave(const UIDRef& doc) override;
    void Save(const UIDRef& doc, UIFlags uiFlags) override;
    bool16 CanSaveAs(const UIDRef& doc) override;
    void SaveAs(const UIDRef& doc, const IDFile* destFile, UIFlags uiFlags, bool16 asStationery,
                FileTypeInfoID fileTypeID) override;
    bool16 CanSaveACopy(const UIDRef& doc) override;
    void SaveACopy(const UIDRef& doc, const IDFile* destFile, UIFlags uiFlags, bool16 asStationery,
                   FileTypeInfoID fileTypeID) override;
    bool16 CanRevert(const UIDRef& doc) override;
    void Revert(const UIDRef& doc, UIFlags uiFlags) override;
    bool16 CanClose(const UIDRef& doc) override;
    void Close(const UIDRef& doc, UIFlags uiFlags, bool16 allowCancel, CloseCmdMode cmdMode) override;
    CloseOptions CheckOnClose(const UIDRef& doc, UIFlags uiFlags) override;
    void GetCopyDefaultName(const UIDRef& doc, IDFile* name, bool16& useSystemDefaultDir) override;
};
