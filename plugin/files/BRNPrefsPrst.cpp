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
    bool loaded = LoadSettings();
    // The library is read even when the settings file is missing or broken, so that the
    // save below writes the packages back instead of deleting them.
    LoadLibrary();
    if (!loaded) Save(true, true);
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

bool BRNPrefsPrst::LoadSettings() {
    CV_TRACE("BRNPrefsPrst::LoadSettings");
    IDFile file;
    if (!GetSettingsFile(&file) || !FileUtils::DoesFileExist(file)) return false;
    CVExpatSimpleDOM& dom = CVExpatSimpleDOM::Instance();
    if (!dom.ParseFile(file)) {
        PMString message("0xA8260kBRNSettingsUnreadableStringKey");
        message.Translate();
        message.Append(dom.GetError());
        CAlert::ErrorAlert(message);
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
    return true;
}

void BRNPrefsPrst::LoadLibrary() {
    CV_TRACE("BRNPrefsPrst::LoadLibrary");
    fUnreadable.clear();
    IDFile folder;
    if (!GetPackagesFolder(&folder)) return;
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
}

bool BRNPrefsPrst::SaveSettingsFile(bool overwrite) {
    IDFile file;
    if (!GetSettingsFile(&file)) return false;
    if (!overwrite && FileUtils::DoesFileExist(file)) return true;
    InterfacePtr<IPMStream> stream(StreamUtil::CreateFileStreamWrite(file));
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
    return true;
}

bool BRNPrefsPrst::SavePackageFiles() {
    IDFile folder;
    if (!GetPackagesFolder(&folder)) return false;
    bool ok = true;
    for (const BRNPackage& p : fPackages) {
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
            ok = false;
            continue;
        }
        if (!BRNPackageUtils::WritePackageFile(file, p)) ok = false;
    }
    // Mirror the library: a package file whose package is gone is removed. A file that
    // does not read as a package is someone's own and stays.
    std::set<std::u16string> names, bases;
    const size_t suffixLength = std::char_traits<char16_t>::length(kPackageSuffix);
    for (const BRNPackage& p : fPackages) {
        std::u16string f = PackageFileName(p.GetName()).Units();
        bases.insert(f.substr(0, f.size() - suffixLength));
        names.insert(std::move(f));
    }
    fRemoved.clear();
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
            ok = false;
        } else {
            fRemoved.push_back(file);
        }
    }
    return ok;
}

void BRNPrefsPrst::Save(bool packages, bool overwrite) {
    CV_TRACE("BRNPrefsPrst::Save");
    bool ok = SaveSettingsFile(overwrite);
    if (packages) ok = SavePackageFiles() && ok;
    fLastSaveSucceeded = ok ? kTrue : kFalse;
}

void BRNPrefsPrst::SetUseDefaultPackage(bool16 value) {
    value = value ? kTrue : kFalse;
    if (value == fUseDefaultPackage) return;
    fUseDefaultPackage = value;
    Save(false, true);
}

bool16 BRNPrefsPrst::GetUseLatestPackage() {
    fLatestPackageChanged = kFalse;
    return fUseLatestPackage;
}

void BRNPrefsPrst::SetUseLatestPackage(bool16 value) {
    fUseLatestPackage = value ? kTrue : kFalse;
    fLatestPackageChanged = kTrue;
    Save(false, true);
}

const BRNPackage* BRNPrefsPrst::FindPackage(const PMString& name) const { return ::FindPackage(fPackages, name); }

void BRNPrefsPrst::SetPackages(const BRNPackageList& packages) {
    CV_TRACE("BRNPrefsPrst::SetPackages");
    fPackages = packages;
    Save(true, true);
    InterfacePtr<ISubject> subject(this, IID_ISUBJECT);
    if (subject)
        subject->Change(kBRNLibraryChangedMessage, kBRNProtocol, static_cast<IBRNPrefs*>(this));
    else
        CV_LOG_FAILED();
}

void BRNPrefsPrst::SetDataType(int32 dataType) {
    if (dataType == fDataType) return;
    fDataType = dataType;
    Save(false, true);
}
