// Our file handler in front of the host's for each document we have seen: every operation is
// handed to the host's handler, but a close first checks the required fields and can be
// abandoned while any is empty.
#pragma once

#include "documents/IDocFileHandler.h"
#include "objectmodel/CPMUnknown.h"

class IDataBase;

class BRNDocFileHandler : public CPMUnknown<IDocFileHandler> {
public:
    explicit BRNDocFileHandler(Boss* boss) : CPMUnknown<IDocFileHandler>(boss) {}

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

    // The databases whose close is running (a close started from within one does nothing).
    static const std::vector<IDataBase*>& ClosesInProgress();

private:
    void GuardedClose(const UIDRef& doc, UIFlags uiFlags, bool16 allowCancel, CloseCmdMode cmdMode);
};
