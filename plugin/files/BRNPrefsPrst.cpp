#include "files/BRNPrefsPrst.h"

#include "CVExpatSimpleDOM.h"
#include "CVLog.h"
#include "io/FileUtils.h"
#include "io/IXMLUtils.h"
#include "io/StreamUtil.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "PosixFileSystemIterator.h"
#include "session/Utils.h"
#include "subjects/ISubject.h"
#include "ui/CAlert.h"

#include <algorithm>
#include <set>
#include <sys/stat.h>

namespace {
const char* const kMakerFolder = "corvane";
const char* const kSettingsFileName = "BrindleSettings.xml";
const char* const kPackagesFolderName = "BrindlePackages";
const char16_t* const kPackageSuffix = u"_ID.xml";

// The whole packages folder is read and mirrored: a library never loses packages to a
// listing limit.
constexpr int32 kPackageFolderEntries = PosixFileSystemIterator::kMaxEntries;

bool IsSafeFileNameComponent(const std::u16string& name) {
    if (name.empty() || name == u"." || name == u"..") return false;
    for (char16_t c : name)
        if (c == u'/' || c == u'\\' || c < 0x20 || c == 0x7F) return false;
    // Room for the suffix within the usual 255-byte limit of a file name.
    return StringUtils::UTF16ToUTF8(name).size() + 7 <= 255;
}

std::vector<IDFile> PackageFiles(const IDFile& folder) {
    PosixFileSystemIterator lister;
    std::vector<IDFile> entries, files;
    lister.ListEntries(folder, entries, kPackageFolderEntries);
    for (const IDFile& e : entries) {
        if (lister.IsDirectory(e)) continue;
        // Only names that end in the suffix: a backup such as "Notes_ID.xml.old" or
        // "Notes_ID.xml~" is not a file of the library.
        const std::u16string name = e.GetFileName().Units();
        const std::u16string suffix(kPackageSuffix);
        if (name.size() < suffix.size() || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        files.push_back(e);
    }
    return files;
}
} // namespace

std::u16string BRNPrefsPrst::FileNamePart(const PMString& name, size_t suffixBytes) {
    std::u16string base;
    if (IsSafeFileNameComponent(name.Units()) &&
        StringUtils::UTF16ToUTF8(name.Units()).size() + suffixBytes <= 255)
        return name.Units();
    // Escaped, so nothing can reach outside the folder; the check value of the whole name
    // keeps the file apart from a safe name that reads like the escaped form.
    static const char16_t* hex = u"0123456789ABCDEF";
    bool dotsOnly = name.Units() == u"." || name.Units() == u"..";
    for (char16_t c : name.Units()) {
        bool escape = c == u'/' || c == u'\\' || c == u'%' || c < 0x20 || c == 0x7F || (dotsOnly && c == u'.');
        if (escape) {
            base += u'%';
            base += hex[(c >> 4) & 15];
            base += hex[c & 15];
        } else {
            base += c;
        }
    }
    const size_t room = 255 - suffixBytes - 17; // the suffix and "~" with sixteen digits
    if (StringUtils::UTF16ToUTF8(base).size() > room) {
        while (StringUtils::UTF16ToUTF8(base).size() > room) base.pop_back();
        if (!base.empty() && base.back() >= 0xD800 && base.back() <= 0xDBFF) base.pop_back();
    }
    // 64-bit FNV-1a over the whole name's UTF-8: two names cut to the same text still get
    // different files (a shorter check value let long names share one file).
    uint64 h = 0xcbf29ce484222325ull;
    for (unsigned char c : StringUtils::UTF16ToUTF8(name.Units())) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    base += u'~';
    for (int i = 15; i >= 0; --i) base += hex[(h >> (4 * i)) & 15];
    return base;
}

PMString BRNPrefsPrst::PackageFileName(const PMString& name) {
    PMString s(FileNamePart(name, 7) + kPackageSuffix);
    s.SetTranslatable(kFalse);
    return s;
}

PMString BRNPrefsPrst::DataTypeName(int32 dataType) {
    switch (dataType) {
    case kInDesign: return PMString("InDesign");
    case kInCopy: return PMString("InCopy");
    case kAssignment: return PMString("Assignment");
    default: return PMString("Unknown");
    }
}

BRNPrefsPrst::BRNPrefsPrst(Boss* boss) : CPMUnknown<IBRNPrefs>(boss) {
    // The settings object is made once, with the session, when the plug-in starts: the
    // time to take the diagnostic threshold from the outside logger.
    CVLog::InitThreshold();
    CV_TRACE("BRNPrefsPrst::BRNPrefsPrst");
    const bool loaded = LoadSettings();
    LoadLibrary();
    if (loaded) CV_RETURN_VOID();
    // A missing or broken settings file is written with what is in force, unless another
    // process wrote one meanwhile.
    std::unique_ptr<FileLock> lock;
    if (!Lock(&lock)) CV_RETURN_FAILED();
    if (LoadSettings(true)) CV_RETURN_VOID();
    Reload();
    fLastSaveSucceeded = Store({}, false) ? kTrue : kFalse;
    CV_RETURN_VOID();
}

bool BRNPrefsPrst::Lock(std::unique_ptr<FileLock>* lock) {
    IDFile folder;
    if (!BaseFolder(&folder)) {
        SaveFailed("the settings folder cannot be made");
        return false;
    }
    std::string why;
    FileUtils::AppendPath(&folder, PMString(kLockFileName));
    if (FileLock::Acquire(folder.Path(), FileLock::Kind::kLockFile, lock, &why) == FileLock::Outcome::kLocked)
        return true;
    CV_LOG(10, "library lock: " + why);
    SaveFailed("the package library is locked: " + why);
    return false;
}

void BRNPrefsPrst::SaveFailed(const std::string& why) {
    fLastSaveSucceeded = kFalse;
    fLastSaveError = PMString(why);
    fLastSaveError.SetTranslatable(kFalse);
}

void BRNPrefsPrst::Reload() {
    LoadSettings(true);
    LoadLibrary();
}

bool BRNPrefsPrst::BaseFolder(IDFile* folder) const {
    if (!FileUtils::GetAppRoamingDataFolder(folder, PMString(kMakerFolder))) return false;
    return FileUtils::CreateFolderIfNeeded(*folder);
}

bool16 BRNPrefsPrst::GetSettingsFile(IDFile* file) const {
    if (!BaseFolder(file)) return kFalse;
    FileUtils::AppendPath(file, PMString(kSettingsFileName));
    return kTrue;
}

bool16 BRNPrefsPrst::GetPackagesFolder(IDFile* folder) const {
    if (!BaseFolder(folder)) return kFalse;
    FileUtils::AppendPath(folder, PMString(kPackagesFolderName));
    return FileUtils::CreateFolderIfNeeded(*folder) ? kTrue : kFalse;
}

bool BRNPrefsPrst::LoadSettings(bool quiet) {
    CV_TRACE("BRNPrefsPrst::LoadSettings");
    IDFile file;
    if (!GetSettingsFile(&file) || !FileUtils::DoesFileExist(file)) {
        CV_TRACE_FAILED();
        return false;
    }
    CVExpatSimpleDOM& dom = CVExpatSimpleDOM::Instance();
    if (!dom.ParseFile(file)) {
        if (!quiet) {
            PMString message("0xA8260kBRNSettingsUnreadableStringKey");
            message.Translate();
            message.Append(dom.GetError());
            CAlert::ErrorAlert(message);
        }
        CV_TRACE_FAILED();
        return false;
    }
    std::unique_ptr<CVDomElement> root = dom.TakeRoot();
    for (int32 i = 0; const CVDomElement* p = root ? root->FindChild("property", i) : nullptr; ++i) {
        const std::string* name = p->FindAttributeUTF8("name");
        const std::string* value = p->FindAttributeUTF8("value");
        std::string v = value ? *value : std::string();
        if (!name) continue;
        if (*name == "UseDefaultPackage")
            fUseDefaultPackage = v == "true" ? kTrue : kFalse;
        else if (*name == "UseLatestPackage")
            fUseLatestPackage = v == "true" ? kTrue : kFalse;
        else if (*name == "DataType") {
            if (v == "InDesign")
                fDataType = kInDesign;
            else if (v == "InCopy")
                fDataType = kInCopy;
            else if (v == "Assignment")
                fDataType = kAssignment;
        }
    }
    CV_RETURN(true);
}

void BRNPrefsPrst::LoadLibrary() {
    CV_TRACE("BRNPrefsPrst::LoadLibrary");
    fUnreadable.clear();
    IDFile folder;
    if (!GetPackagesFolder(&folder)) CV_RETURN_FAILED();
    fDuplicateFiles.clear();
    fDuplicateNames.clear();
    BRNPackageList library;
    std::vector<IDFile> sources; // the file each package of the library came from
    auto modified = [](const IDFile& f) {
        struct stat st {};
        return ::stat(f.Path().c_str(), &st) == 0 ? std::pair<int64, int64>(st.st_mtim.tv_sec, st.st_mtim.tv_nsec)
                                                 : std::pair<int64, int64>(0, 0);
    };
    for (const IDFile& file : PackageFiles(folder)) {
        BRNPackage package;
        PMString why;
        if (BRNPackageUtils::LoadPackageFile(file, package, &why) != 0) {
            CV_LOG(25, "package file " + file.Path().string() + " skipped: " + why.GetUTF8String());
            fUnreadable.push_back(file);
            continue;
        }
        auto at = std::lower_bound(library.begin(), library.end(), package.GetName(),
                                   [](const BRNPackage& a, const PMString& n) { return a.GetName() < n; });
        const size_t i = static_cast<size_t>(at - library.begin());
        if (at != library.end() && at->GetName() == package.GetName()) {
            // One package per name: the highest version, on a tie the newest file.
            const bool newer = package.GetVersion() > at->GetVersion() ||
                               (package.GetVersion() == at->GetVersion() && modified(file) > modified(sources[i]));
            IDFile loser = newer ? sources[i] : file;
            if (newer) {
                *at = std::move(package);
                sources[i] = file;
            }
            CV_LOG(25, "package file " + loser.Path().string() + " defines a package another file defines too");
            fDuplicateFiles.push_back(loser);
            fDuplicateNames.push_back(at->GetName());
            continue;
        }
        library.insert(at, std::move(package));
        sources.insert(sources.begin() + static_cast<std::ptrdiff_t>(i), file);
    }
    fPackages = std::move(library);
    fStored = fPackages;
    // A package whose file is not the one its name maps to (a copy kept under another name
    // that won over the library's own file) is written to its own file at the next save.
    fMisplaced.clear();
    for (size_t k = 0; k < fPackages.size(); ++k)
        if (sources[k].GetFileName().Units() != PackageFileName(fPackages[k].GetName()).Units())
            fMisplaced.push_back(fPackages[k].GetName());
    CV_RETURN_VOID();
}

bool BRNPrefsPrst::SettingsBytes(std::string* bytes) const {
    InterfacePtr<IPMStream> stream(StreamUtil::CreateMemoryStreamWrite());
    Utils<IXMLUtils> xmlUtils;
    InterfacePtr<IXMLOutStream> out(stream && xmlUtils ? xmlUtils->CreateXMLOutStream(stream) : nullptr);
    if (!out) {
        CV_LOG(30, "");
        return false;
    }
    auto property = [&](const char* name, const PMString& value) {
        out->PushWithAttributes(WideString("property"),
                                {{WideString("name"), WideString(name)}, {WideString("value"), WideString(value)}},
                                kTrue);
        out->Pop(kTrue);
    };
    out->DocHeader(WideString("1.0"));
    out->PushWithAttributes(WideString("Brindle"), {{WideString("version"), WideString("1.0")}}, kTrue);
    property("UseDefaultPackage", PMString(fUseDefaultPackage ? "true" : "false"));
    property("UseLatestPackage", PMString(fUseLatestPackage ? "true" : "false"));
    property("DataType", DataTypeName(fDataType));
    out->Push(WideString("packages"), kTrue);
    for (const BRNPackage& p : fPackages) {
        out->PushWithAttributes(WideString("package"), {{WideString("name"), WideString(p.GetName())}}, kTrue);
        out->Pop(kTrue);
    }
    out->Pop(kTrue);
    out->Pop(kTrue);
    if (!out->Close()) {
        CV_LOG(30, "");
        return false;
    }
    *bytes = StreamUtil::GetMemoryStreamBytes(stream);
    return true;
}

bool BRNPrefsPrst::Store(const BRNPackageList& changed, bool packages) {
    IDFile settingsFile, folder;
    std::vector<std::pair<IDFile, std::string>> files;
    std::string bytes;
    if (!GetSettingsFile(&settingsFile) || !SettingsBytes(&bytes)) {
        SaveFailed("the settings file cannot be written");
        return false;
    }
    files.emplace_back(settingsFile, std::move(bytes));
    if (packages && !GetPackagesFolder(&folder)) {
        SaveFailed("the packages folder cannot be made");
        return false;
    }
    for (const BRNPackage& p : changed) {
        if (p.GetName().IsEmpty()) {
            // Such a package could never be read back; it is not written at all.
            CV_LOG(25, "package without a name not saved");
            continue;
        }
        PMString fileName = PackageFileName(p.GetName());
        IDFile file = folder;
        FileUtils::AppendPath(&file, fileName);
        // Never over a file that holds another package: two names that map to one file name
        // must not cost one of them its package.
        // Only a mapped name can be shared; a safe name is its own file.
        const bool mapped = fileName.Units() != p.GetName().Units() + kPackageSuffix;
        BRNPackage held;
        if (mapped && FileUtils::DoesFileExist(file) && BRNPackageUtils::LoadPackageFile(file, held) == 0 &&
            held.GetName() != p.GetName()) {
            CV_LOG(25, "package file " + file.Path().string() + " holds package \"" + held.GetName().GetUTF8String() +
                           "\"; \"" + p.GetName().GetUTF8String() + "\" not written over it");
            SaveFailed(file.Path().string() + " holds package \"" + held.GetName().GetUTF8String() + "\"; \"" +
                       p.GetName().GetUTF8String() + "\" is not written over it");
            return false;
        }
        if (!BRNPackageUtils::PackageFileBytes(p, &bytes)) {
            SaveFailed("package \"" + p.GetName().GetUTF8String() + "\" cannot be written");
            return false;
        }
        files.emplace_back(file, std::move(bytes));
    }
    // The package files first and the settings file last: a failure part-way puts back
    // every file already replaced.
    std::rotate(files.begin(), files.begin() + 1, files.end());
    std::string why;
    if (!FileUtils::WriteFilesAtomically(files, &why)) {
        CV_LOG(10, "Could not open file! " + why);
        SaveFailed(why);
        return false;
    }
    fRemoved.clear();
    if (!packages) return true;
    // Mirror the library: a package file whose package is gone is removed. A file that
    // does not read as a package is someone's own and stays.
    bool ok = true;
    std::set<std::u16string> names, bases;
    const size_t suffixLength = std::char_traits<char16_t>::length(kPackageSuffix);
    for (const BRNPackage& p : fPackages) {
        std::u16string f = PackageFileName(p.GetName()).Units();
        bases.insert(f.substr(0, f.size() - suffixLength));
        names.insert(std::move(f));
    }
    for (const IDFile& file : PackageFiles(folder)) {
        std::u16string name = file.GetFileName().Units();
        if (names.count(name)) continue;
        // A second file of a package still in the library stays as it is (it was named in a
        // warning); once the package is gone, it goes with it.
        const auto dup = std::find(fDuplicateFiles.begin(), fDuplicateFiles.end(), file);
        if (dup != fDuplicateFiles.end() &&
            FindPackage(fDuplicateNames[static_cast<size_t>(dup - fDuplicateFiles.begin())]))
            continue;
        // A file such as "Notes_ID.xml.bak" belongs to the package named before the suffix;
        // a name that ends in the suffix is a package file of its own.
        bool endsInSuffix = name.size() >= suffixLength &&
                            name.compare(name.size() - suffixLength, suffixLength, kPackageSuffix) == 0;
        if (!endsInSuffix && bases.count(name.substr(0, name.find(kPackageSuffix)))) continue;
        BRNPackage probe;
        if (BRNPackageUtils::LoadPackageFile(file, probe) != 0) {
            CV_LOG(25, "package file " + file.Path().string() + " does not load; left in place");
            continue;
        }
        if (!FileUtils::DeleteFile(file)) {
            CV_LOG_FAILED();
            SaveFailed("cannot remove " + file.Path().string());
            ok = false;
        } else {
            fRemoved.push_back(file);
        }
    }
    return ok;
}

void BRNPrefsPrst::SaveSetting(const std::function<bool()>& change) {
    CV_TRACE("BRNPrefsPrst::SaveSetting");
    std::unique_ptr<FileLock> lock;
    if (!Lock(&lock)) {
        CV_TRACE_FAILED();
        return;
    }
    // The other settings and the package list as they are on disk now; only this one
    // setting is this process's to change.
    Reload();
    fLastSaveError.Clear();
    if (!change()) {
        fLastSaveSucceeded = kTrue;
        CV_RETURN_VOID();
    }
    fLastSaveSucceeded = Store({}, false) ? kTrue : kFalse;
    CV_RETURN_VOID();
}

void BRNPrefsPrst::SetUseDefaultPackage(bool16 value) {
    value = value ? kTrue : kFalse;
    SaveSetting([&] {
        if (value == fUseDefaultPackage) return false;
        fUseDefaultPackage = value;
        return true;
    });
}

bool16 BRNPrefsPrst::GetUseLatestPackage() {
    fLatestPackageChanged = kFalse;
    return fUseLatestPackage;
}

void BRNPrefsPrst::SetUseLatestPackage(bool16 value) {
    SaveSetting([&] {
        fUseLatestPackage = value ? kTrue : kFalse;
        fLatestPackageChanged = kTrue;
        return true;
    });
}

const BRNPackage* BRNPrefsPrst::FindPackage(const PMString& name) const { return ::FindPackage(fPackages, name); }

void BRNPrefsPrst::SetPackages(const BRNPackageList& packages) {
    CV_TRACE("BRNPrefsPrst::SetPackages");
    // What this process changed, against the library as it last read or stored it: a package
    // given and not the same as before, and a package no longer given. A change that could not
    // be stored is still a change at the next save.
    auto same = [](const BRNPackage& a, const BRNPackage& b) {
        std::string x, y;
        return BRNPackageUtils::PackageFileBytes(a, &x) && BRNPackageUtils::PackageFileBytes(b, &y) && x == y;
    };
    BRNPackageList changed;
    std::vector<PMString> removed;
    for (const BRNPackage& p : packages) {
        const BRNPackage* before = ::FindPackage(fStored, p.GetName());
        if (!before || !same(*before, p)) changed.push_back(p);
    }
    for (const BRNPackage& p : fStored)
        if (!::FindPackage(packages, p.GetName())) removed.push_back(p.GetName());

    std::unique_ptr<FileLock> lock;
    if (Lock(&lock)) {
        // The library as other processes left it, with this process's change on top.
        Reload();
        fLastSaveError.Clear();
        for (const PMString& name : removed)
            RemovePackage(fPackages, name);
        for (const PMString& name : fMisplaced)
            if (const BRNPackage* p = FindPackage(name); p && !::FindPackage(changed, name)) changed.push_back(*p);
        for (const BRNPackage& p : changed) {
            auto at = std::lower_bound(fPackages.begin(), fPackages.end(), p.GetName(),
                                       [](const BRNPackage& a, const PMString& n) { return a.GetName() < n; });
            if (at != fPackages.end() && at->GetName() == p.GetName())
                *at = p;
            else
                fPackages.insert(at, p);
        }
        if (Store(changed, true)) {
            fLastSaveSucceeded = kTrue;
            fStored = fPackages;
            fMisplaced.clear();
        } else {
            fLastSaveSucceeded = kFalse;
        }
        lock.reset();
    } else {
        fPackages = packages;
    }
    InterfacePtr<ISubject> subject(this, IID_ISUBJECT);
    if (subject)
        subject->Change(kBRNLibraryChangedMessage, kBRNProtocol, static_cast<IBRNPrefs*>(this));
    else
        CV_LOG_FAILED();
    if (!fLastSaveSucceeded) CV_RETURN_FAILED();
    CV_RETURN_VOID();
}

void BRNPrefsPrst::SetDataType(int32 dataType) {
    SaveSetting([&] {
        if (dataType == fDataType) return false;
        fDataType = dataType;
        return true;
    });
}
