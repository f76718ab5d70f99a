#include "service/BRNBrindle.h"
#include "service/BRNBrindleHelpers.h"

#include "CVLog.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "files/BRNUtils.h"
#include "formats/DocFileTypes.h"
#include "io/FileUtils.h"
#include "io/IXMLUtils.h"
#include "io/StreamUtil.h"
#include "logic/BRNPackageUtils.h"
#include "service/BRNAssignmentHelper.h"
#include "session/Utils.h"
#include "ui/BRNPanelData.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <set>

using namespace BRNBrindleHelpers;

// --- The panel's list -------------------------------------------------------------------

void BRNBrindle::GetPanelPackages(BRNPackageList& packages) {
    CV_TRACE("BRNBrindle::GetPanelPackages");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (panel) packages = panel->GetPackages();
    CV_RETURN_VOID();
}

BRNFieldList& BRNBrindle::FindPanelFieldList(BRNFieldList& fields, const PMString& fieldName) {
    CV_TRACE("BRNBrindle::FindPanelFieldList");
    fields.clear();
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (!panel) CV_RETURN(fields);
    for (const BRNPackage& p : panel->GetPackages())
        for (const BRNField& f : p.GetFields())
            if (f.GetName() == fieldName) fields.push_back(f);
    CV_RETURN(fields);
}

BRNField& BRNBrindle::FindPanelField(BRNField& field, const PMString& fieldName) {
    CV_TRACE("BRNBrindle::FindPanelField");
    BRNFieldList found;
    FindPanelFieldList(found, fieldName);
    field = found.empty() ? BRNField() : found.front();
    CV_RETURN(field);
}

void BRNBrindle::SetPanelMode(int32 mode) {
    CV_TRACE("BRNBrindle::SetPanelMode");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (!panel) {
        CV_LOG(30, "SetPanelMode: the panel is not open");
        CV_RETURN_FAILED();
    }
    if (mode >= IBRNPanelData::kDocumentMode && mode <= IBRNPanelData::kAssignmentMode) panel->SetMode(mode);
    BRNPanelData::TellPanel(kBRNPanelModeMessage, this);
    CV_RETURN_VOID();
}

PMStringList& BRNBrindle::GetPanelPackageKeys(PMStringList& keys) {
    CV_TRACE("BRNBrindle::GetPanelPackageKeys");
    keys.clear();
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (!panel) CV_RETURN(keys);
    for (const BRNPackage& p : panel->GetPackages())
        keys.push_back(PackageKey(kLayoutKeyPrefix, p));
    CV_RETURN(keys);
}

ErrorCode BRNBrindle::ExportPackageByKey(const PMString& key, const IDFile& folder, PMString& message) {
    CV_TRACE("BRNBrindle::ExportPackageByKey");
    message.clear();
    const PMString name = PackageNameOfKey(key);
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNPackageList packages;
    if (panel) packages = panel->GetPackages();
    BRNPackage* package = FindPackage(packages, name);
    if (!package) {
        message = Untranslatable(PMString("package: ") + name + PMString(" not found"));
        CV_RETURN_FAILED(kFailure);
    }
    package->RaiseVersion();
    PMString fileName(kLayoutKeyPrefix);
    fileName.Append(MapFileName(name));
    fileName.Append(kKeySeparator);
    fileName.AppendNumber(static_cast<int64>(package->GetVersion()));
    fileName.Append(".xml");
    IDFile file = folder;
    FileUtils::AppendPath(&file, fileName);
    if (!BRNPackageUtils::WritePackageFile(file, *package)) {
        message = Untranslatable(PMString("Could not open file!"));
        CV_RETURN_FAILED(kFailure);
    }
    // The raised version is kept only once the file holds it.
    panel->SetPackages(packages);
    RefreshPanel(this);
    CV_RETURN(kSuccess);
}

ErrorCode BRNBrindle::ExportPackageByKeyQuiet(const PMString& key, const IDFile& folder) {
    PMString discarded;
    return ExportPackageByKey(key, folder, discarded);
}

ErrorCode BRNBrindle::ImportPackageFile(const PMString& fileURL) {
    CV_TRACE("BRNBrindle::ImportPackageFile");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    IDFile file;
    if (!panel || !FileUtils::URLToFile(fileURL, &file) || !FileUtils::DoesFileExist(file)) CV_RETURN_FAILED(kFailure);
    BRNPackage package;
    PMString why;
    if (BRNPackageUtils::LoadPackageFile(file, package, &why) != 0) {
        CV_LOG(30, file.Path().string() + " " + why.GetUTF8String());
        CV_RETURN_FAILED(kFailure);
    }
    BRNPackageList packages = panel->GetPackages();
    if (BRNPackage* same = FindPackage(packages, package.GetName()))
        *same = package;
    else
        packages.push_back(package);
    panel->SetPackages(packages);
    RefreshPanel(this);
    CV_RETURN(kSuccess);
}

PMString& BRNBrindle::GetPanelPackageXMLByKey(PMString& xml, const PMString& key) {
    return GetPanelPackageXML(xml, PackageNameOfKey(key), kTrue);
}

PMString& BRNBrindle::GetPanelPackageXML(PMString& xml, const PMString& packageName, bool16 raiseVersion) {
    CV_TRACE("BRNBrindle::GetPanelPackageXML");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNPackageList packages;
    if (panel) packages = panel->GetPackages();
    BRNPackage* package = FindPackage(packages, packageName);
    if (!package) {
        xml = Untranslatable(PMString("package: ") + packageName + PMString(" not found"));
        CV_RETURN(xml);
    }
    if (raiseVersion) {
        package->RaiseVersion();
        panel->SetPackages(packages);
        RefreshPanel(this);
    }
    xml.clear();
    WriteToText(
        [&](IXMLOutStream* out) {
            out->DocHeader(WideString("1.0"));
            out->PushWithAttributes(WideString("brindle"), {{WideString("version"), WideString("1")}}, kTrue);
            package->WriteElement(out);
            out->Pop(kTrue);
        },
        &xml);
    CV_RETURN(xml);
}

ErrorCode BRNBrindle::SyncPanelTarget(const UIDRef& item) {
    CV_TRACE("BRNBrindle::SyncPanelTarget");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    const UIDRef target = TargetOf(item);
    if (!panel || !HasMetadata(target)) CV_RETURN_FAILED(kFailure);
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(target), panel->GetPackages(), kFalse, kFalse);
    panel->SetTargets(UIDList(target));
    RefreshPanel(this);
    CV_RETURN(result);
}

ErrorCode BRNBrindle::LoadPanelTarget(const UIDRef& item) {
    CV_TRACE("BRNBrindle::LoadPanelTarget");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    const UIDRef target = TargetOf(item);
    if (!panel || !HasMetadata(target)) CV_RETURN_FAILED(kFailure);
    panel->SetPackages(Read(target));
    panel->SetTargets(UIDList(target));
    RefreshPanel(this);
    CV_RETURN(kSuccess);
}

ErrorCode BRNBrindle::EditMultiChoice(const PMString& fieldName, const BRNHistory& history,
                                      PMStringList& values) {
    CV_TRACE("BRNBrindle::EditMultiChoice");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNField field;
    if (!panel || !FirstPanelField(panel, fieldName, kBRNTypeMultiChoice, &field)) CV_RETURN_FAILED(kFailure);
    HostDialogs::MultiChoiceRequest request{field.GetOptions(), field.GetSelectedValues(),
                                            field.GetAllowUserValues()};
    std::vector<PMString> chosen;
    for (;;) {
        if (!HostDialogs::AskMultiChoice(field.GetName(), request, &chosen)) CV_RETURN_FAILED(kFailure);
        // The dialog stays open until its list passes: no value with a comma, no value twice,
        // and only the field's choices unless the user may add values.
        auto comma = std::find_if(chosen.begin(), chosen.end(), [](const PMString& v) {
            return !BRNPackageUtils::CheckMultiChoiceText(v);
        });
        if (comma != chosen.end()) {
            CAlert::WarningAlert(Translated("0xA8260kBRNMCCommaWarningStringKey"));
            continue;
        }
        std::set<std::u16string> seen;
        auto twice = std::find_if(chosen.begin(), chosen.end(),
                                  [&](const PMString& v) { return !seen.insert(v.Units()).second; });
        if (twice != chosen.end()) {
            CAlert::WarningAlert(Translated("0xA8260kBRNDublicatedValueErrorString"));
            continue;
        }
        const PMStringList& options = field.GetOptions();
        auto unknown = std::find_if(chosen.begin(), chosen.end(), [&](const PMString& v) {
            return std::find(options.begin(), options.end(), v) == options.end();
        });
        if (!field.GetAllowUserValues() && unknown != chosen.end()) {
            CAlert::WarningAlert(Translated("0xA8260kBRNMCNotAChoiceStringKey"));
            continue;
        }
        break;
    }
    values = chosen;
    CV_RETURN(ChangePanelFields(
        panel, fieldName, kBRNTypeMultiChoice,
        [&](BRNField& f) {
            f.SetSelectedValues(chosen, PMString(kMultiChoiceSeparator));
            AddHistory(f, history);
            return true;
        },
        this));
}

ErrorCode BRNBrindle::EditDeadline(const PMString& fieldName, const BRNHistory& history,
                                   BRNDeadline& deadline) {
    CV_TRACE("BRNBrindle::EditDeadline");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNField field;
    if (!panel || !FirstPanelField(panel, fieldName, kBRNTypeDeadline, &field)) CV_RETURN_FAILED(kFailure);
    // The dialog works on a copy: the panel's targets get the record through the command below.
    BRNField edited = field;
    if (!BRNUtils::InvokeDeadlineDialog(edited, kFalse)) CV_RETURN_FAILED(kFailure);
    BRNDeadline result = edited.GetDeadline();
    result.PlannedDate = Untranslatable(result.PlannedDate);
    result.ExecutedDate = Untranslatable(result.ExecutedDate);
    result.ExecutedBy = Untranslatable(result.ExecutedBy);
    deadline = result;
    CV_RETURN(ChangePanelFields(
        panel, fieldName, kBRNTypeDeadline,
        [&](BRNField& f) {
            BRNDeadline d = result;
            d.Colors = f.GetDeadline().Colors;
            f.SetDeadline(d);
            AddHistory(f, history);
            return true;
        },
        this));
}
