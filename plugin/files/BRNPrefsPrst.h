// The settings and library object on the session.
#pragma once

#include "files/IBRNPrefs.h"
#include "io/FileLock.h"
#include "objectmodel/CPMUnknown.h"

#include <functional>
#include <memory>
#include <string>

class BRNPrefsPrst : public CPMUnknown<IBRNPrefs> {
public:
    explicit BRNPrefsPrst(Boss* boss);
    ~BRNPrefsPrst() override = default;

    bool16 GetUseDefaultPackage() const override { return fUseDefaultPackage; }
    void SetUseDefaultPackage(bool16 value) override;
    bool16 GetLatestPackageChanged() const override { return fLatestPackageChanged; }
    bool16 GetUseLatestPackage() override;
    void SetUseLatestPackage(bool16 value) override;
    int32 Reserved1() const override { return 0; }
    const BRNPackageList& GetPackages() const override { return fPackages; }
    const BRNPackage* FindPackage(const PMString& name) const override;
    void SetPackages(const BRNPackageList& packages) override;
    int32 GetDataType() const override { return fDataType; }
    void SetDataType(int32 dataType) override;
    int32 Reserved2() const override { return 0; }

    bool16 GetLastSaveSucceeded() const override { return fLastSaveSucceeded; }
    PMString GetLastSaveError() const override { return fLastSaveError; }
    bool16 GetSettingsFile(IDFile* file) const override;
    bool16 GetPackagesFolder(IDFile* folder) const override;
    const std::vector<IDFile>& GetUnreadableFiles() const override { return fUnreadable; }
    const std::vector<IDFile>& GetDuplicateFiles() const override { return fDuplicateFiles; }
    const std::vector<IDFile>& GetRemovedFiles() const override { return fRemoved; }

    // The file a package of that name is kept in: Name + "_ID.xml" when the name is a
    // safe file-name component; otherwise an escaped form that cannot leave the folder.
    static PMString PackageFileName(const PMString& name);
    // The name as one part of a file name that leaves suffixBytes for the rest: as it is
    // when it is a safe name, otherwise escaped ("%2F" for "/" and so on, cut to fit) and
    // followed by "~" and a check value of the whole name.
    static std::u16string FileNamePart(const PMString& name, size_t suffixBytes);
    static PMString DataTypeName(int32 dataType);
    // The lock file of the library and settings, beside the settings file: hidden, and named
    // so that neither the settings reader nor the packages folder ever takes it for theirs.
    static constexpr const char* kLockFileName = ".BrindleLibrary.lock";

private:
    // Reads the settings file; a file that does not parse is reported with an alert unless quiet.
    bool LoadSettings(bool quiet = false);
    void LoadLibrary();
    // Takes the lock of the library and settings, waiting as long as FileLock allows. False,
    // with the reason kept for GetLastSaveError, when another process holds it throughout.
    bool Lock(std::unique_ptr<FileLock>* lock);
    // Under the lock: what the other processes stored since this one read it.
    void Reload();
    // Writes the settings file, the given packages' files and removes the files of packages
    // that left the library, as one change as far as the files written go.
    bool Store(const BRNPackageList& changed, bool packages);
    bool SettingsBytes(std::string* bytes) const;
    // Under the lock: reloads, applies the change, stores the settings file.
    void SaveSetting(const std::function<bool()>& change);
    bool BaseFolder(IDFile* folder) const;
    void SaveFailed(const std::string& why);

    bool16 fUseDefaultPackage = kTrue;
    bool16 fUseLatestPackage = kTrue;
    bool16 fLatestPackageChanged = kFalse;
    BRNPackageList fPackages;
    // The library as this process last read it from disk or stored it: what a change is
    // measured against, so that only this process's own changes are written.
    BRNPackageList fStored;
    // Packages loaded from a file other than the one their name maps to.
    std::vector<PMString> fMisplaced;
    int32 fDataType = kInDesign;
    bool16 fLastSaveSucceeded = kTrue;
    PMString fLastSaveError;
    std::vector<IDFile> fUnreadable;
    // Files that lost to another file defining the same package, with that package's name.
    std::vector<IDFile> fDuplicateFiles;
    std::vector<PMString> fDuplicateNames;
    std::vector<IDFile> fRemoved;
};
