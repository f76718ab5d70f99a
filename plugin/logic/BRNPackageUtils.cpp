#include "logic/BRNPackageUtils.h"

#include "CVExpatSimpleDOM.h"
#include "CVLog.h"
#include "files/BRNPrefsPrst.h"
#include "files/BRNXMLImporter.h"
#include "io/FileUtils.h"
#include "io/IXMLUtils.h"
#include "io/StreamUtil.h"
#include "session/ISession.h"
#include "session/Utils.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"

#include <algorithm>

namespace BRNPackageUtils {

IBRNPrefs* QueryPrefs() {
    ISession* session = GetExecutionContextSession();
    if (!session) return nullptr;
    return static_cast<IBRNPrefs*>(session->QueryInterface(IID_IBRNPREFS));
}

int32 LoadPackageFile(const IDFile& file, BRNPackage& package, PMString* error) {
    CV_TRACE("BRNPackageUtils::LoadPackageFile");
    auto fail = [&](const std::string& why) {
        if (error) *error = PMString(why);
        return 1;
    };
    std::string bytes, why;
    if (!FileUtils::ReadRegularFile(file, &bytes, &why)) CV_RETURN_FAILED(fail(why));
    InterfacePtr<IPMStream> stream(StreamUtil::CreateMemoryStreamRead(std::move(bytes)));
    if (!stream) CV_RETURN_FAILED(fail("cannot be opened"));
    BRNPackage read;
    const int32 loaded = BRNXMLImporter::LoadXML(read, stream);
    if (loaded == BRNXMLImporter::kInvalidValue) CV_RETURN_FAILED(fail(BRNXMLImporter::GetLastError()));
    if (loaded != 0) {
        PMString domError(BRNXMLImporter::GetLastError());
        uchar bom[2] = {0, 0};
        stream->Seek(0, IPMStream::kSeekFromStart);
        bool utf16 = stream->XferByte(bom, 2) == 2 &&
                     ((bom[0] == 0xFF && bom[1] == 0xFE) || (bom[0] == 0xFE && bom[1] == 0xFF));
        if (!utf16)
            CV_RETURN_FAILED(fail("is not a package definition file (it must be UTF-16 with a byte-order mark)"));
        std::string msg = domError.GetUTF8String();
        while (!msg.empty() && msg.back() == '\n')
            msg.pop_back();
        CV_RETURN_FAILED(fail("is not well-formed XML: " + msg));
    }
    if (read.GetName().IsEmpty())
        CV_RETURN_FAILED(fail("holds no package definition (a \"brindle\" root with a named \"package\" element)"));
    package = std::move(read);
    CV_RETURN(0);
}

int32 ReadImportFile(const IDFile& file, BRNPackageList& packages, PMString* error) {
    CV_TRACE("BRNPackageUtils::ReadImportFile");
    std::string bytes, why;
    if (!FileUtils::ReadRegularFile(file, &bytes, &why) ||
        !BRNXMLImporter::ReadPackages(bytes, packages, &why)) {
        if (error) *error = PMString(why);
        CV_RETURN_FAILED(1);
    }
    CV_RETURN(0);
}

namespace {
bool16 WritePackage(IPMStream* stream, const BRNPackage& package) {
    Utils<IXMLUtils> xmlUtils;
    if (!stream || !xmlUtils) {
        CV_LOG(10, "Could not open file!");
        return kFalse;
    }
    InterfacePtr<IXMLOutStream> out(xmlUtils->CreateXMLOutStream(stream));
    if (!out) {
        CV_LOG(10, "Could not open file!");
        return kFalse;
    }
    out->DocHeader(WideString("1.0"));
    out->PushWithAttributes(WideString("brindle"), {{WideString("version"), WideString("1")}}, kTrue);
    package.WriteElement(out);
    out->Pop(kTrue);
    if (!out->Close()) {
        CV_LOG_FAILED();
        return kFalse;
    }
    return kTrue;
}
} // namespace

bool16 WritePackageFile(const IDFile& file, const BRNPackage& package) {
    InterfacePtr<IPMStream> stream(StreamUtil::CreateFileStreamWrite(
        file, kOpenOut | kOpenTrunc, MakeTypeCode("TEXT"), MakeTypeCode("R*ch")));
    return WritePackage(stream.get(), package);
}

bool16 PackageFileBytes(const BRNPackage& package, std::string* bytes) {
    InterfacePtr<IPMStream> stream(StreamUtil::CreateMemoryStreamWrite());
    if (!WritePackage(stream.get(), package)) return kFalse;
    *bytes = StreamUtil::GetMemoryStreamBytes(stream.get());
    return kTrue;
}

PMString ProposedFileName(const PMString& name, uint32 version) {
    // One file name in the chosen folder: the package name is mapped as the packages folder
    // maps a name that is not a safe file name.
    const std::string tail = "_v" + std::to_string(version) + ".xml";
    PMString s("BRN_");
    s.Append(PMString(BRNPrefsPrst::FileNamePart(name, 4 + tail.size())));
    s.Append(PMString(tail));
    s.SetTranslatable(kFalse);
    return s;
}

bool16 doExportPackage(const PMString& name) {
    CV_TRACE("BRNPackageUtils::doExportPackage");
    if (name.IsEmpty()) CV_RETURN(kFalse);
    InterfacePtr<IBRNPrefs> prefs(QueryPrefs());
    if (!prefs) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(kFalse);
    }
    BRNPackageList packages = prefs->GetPackages();
    BRNPackage* package = FindPackage(packages, name);
    if (!package) {
        CV_LOG(25, "package: " + name.GetUTF8String() + " not found");
        CV_RETURN_FAILED(kFalse);
    }
    uint32 version = package->IsModified() ? package->NextVersion() : package->GetVersion();
    IDFile file;
    bool written = false;
    if (HostDialogs::ChooseSaveFile(PMString("Export Package"), {{PMString("XML file"), PMString("xml")}},
                                    ProposedFileName(name, version), &file)) {
        if (package->IsModified()) {
            package->RaiseVersion();
            prefs->SetPackages(packages);
        }
        written = WritePackageFile(file, *package) != kFalse;
    }
    if (!written) {
        CAlert::ErrorAlert(PMString("0xA8260BRNErrorExportingString"));
        CV_LOG(80, "Export Workflow failed");
        CV_RETURN_FAILED(kFalse);
    }
    CV_RETURN(kTrue);
}

bool16 ImportPackageFiles(const std::vector<IDFile>& files, std::vector<PMString>* errors,
                          BRNPackageList* imported, std::vector<IDFile>* importedFrom) {
    CV_TRACE("BRNPackageUtils::ImportPackageFiles");
    InterfacePtr<IBRNPrefs> prefs(QueryPrefs());
    if (!prefs) {
        CV_LOG_FAILED();
        if (errors) errors->push_back(PMString("the package library is not available"));
        CV_RETURN(kFalse);
    }
    BRNPackageList loaded;
    std::vector<IDFile> from;
    bool ok = true;
    for (const IDFile& file : files) {
        BRNPackageList packages;
        PMString why;
        if (ReadImportFile(file, packages, &why) != 0) {
            ok = false;
            if (errors) errors->push_back(PMString(file.Path().string() + ": ") + why);
            continue;
        }
        for (BRNPackage& p : packages) {
            loaded.push_back(std::move(p));
            from.push_back(file);
        }
    }
    if (!ok) CV_RETURN_FAILED(kFalse);
    if (imported) *imported = loaded;
    if (importedFrom) *importedFrom = from;
    BRNPackageList library = prefs->GetPackages();
    for (BRNPackage& p : loaded) {
        RemovePackage(library, p.GetName());
        auto at = std::lower_bound(library.begin(), library.end(), p.GetName(),
                                   [](const BRNPackage& a, const PMString& n) { return a.GetName() < n; });
        library.insert(at, std::move(p));
    }
    prefs->SetPackages(library);
    CV_RETURN(prefs->GetLastSaveSucceeded());
}

void DeleteLibraryPackage(const PMString& name) {
    CV_TRACE("BRNPackageUtils::DeleteLibraryPackage");
    if (name.IsEmpty()) CV_RETURN_VOID();
    InterfacePtr<IBRNPrefs> prefs(QueryPrefs());
    if (!prefs) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    BRNPackageList packages = prefs->GetPackages();
    RemovePackage(packages, name);
    prefs->SetPackages(packages);
    CV_RETURN_VOID();
}

} // namespace BRNPackageUtils
