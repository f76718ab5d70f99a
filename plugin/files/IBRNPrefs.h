// The plug-in's application settings and the package library, kept on disk in the
// user's roaming folder. An add-in of the session; every change is saved at once.
//
// Other processes may change the same library and settings at the same time. Every save
// holds the library's lock (a lock file beside the settings file), reads what is on disk
// under it and writes only this process's change on top: a package this process did not
// touch keeps what another process stored, and a setting keeps its latest value.
#pragma once

#include "BRNID.h"
#include "io/IDFile.h"
#include "model/BRNPackage.h"
#include "objectmodel/IPMUnknown.h"

class IBRNPrefs : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IBRNPREFS };
    enum DataType : int32 { kInDesign = 0, kInCopy = 1, kAssignment = 2 };

    virtual bool16 GetUseDefaultPackage() const = 0;
    // Saves the settings file when the value changes.
    virtual void SetUseDefaultPackage(bool16 value) = 0;
    virtual bool16 GetLatestPackageChanged() const = 0;
    // Also clears the changed flag.
    virtual bool16 GetUseLatestPackage() = 0;
    // Stores, marks changed and saves the settings file, even when the value is the same.
    virtual void SetUseLatestPackage(bool16 value) = 0;
    virtual int32 Reserved1() const = 0;
    virtual const BRNPackageList& GetPackages() const = 0;
    virtual const BRNPackage* FindPackage(const PMString& name) const = 0;
    // Replaces the library, saves settings and package files, and tells the session's observers.
    virtual void SetPackages(const BRNPackageList& packages) = 0;
    virtual int32 GetDataType() const = 0;
    // Saves the settings file when the value changes.
    virtual void SetDataType(int32 dataType) = 0;
    virtual int32 Reserved2() const = 0;

    // Whether the last save stored everything it meant to. A save is all or nothing for the
    // package files it writes: when one cannot be stored, none of them is.
    virtual bool16 GetLastSaveSucceeded() const = 0;
    // Why the last save failed, when it knows more than that it did (the library was locked
    // by another process, a file could not be written); empty otherwise.
    virtual PMString GetLastSaveError() const = 0;
    virtual bool16 GetSettingsFile(IDFile* file) const = 0;
    virtual bool16 GetPackagesFolder(IDFile* folder) const = 0;
    // Files of the packages folder that did not load as packages at the last load.
    virtual const std::vector<IDFile>& GetUnreadableFiles() const = 0;
    // Files of the packages folder that define a package another file defines too, at the
    // last load: the library keeps the highest version (on a tie the newest file), and
    // these files stay as they are until their package is deleted.
    virtual const std::vector<IDFile>& GetDuplicateFiles() const = 0;
    // The package files that the last save removed.
    virtual const std::vector<IDFile>& GetRemovedFiles() const = 0;
};
