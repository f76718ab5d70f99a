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
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <set>

using namespace BRNBrindleHelpers;

// --- Documents and stories ----------------------------------------------------------------

void BRNBrindle::ApplyToSelectedStory(const UIDRef& target, const PMString& packageName, int32 mode) {
    CV_TRACE("BRNBrindle::ApplyToSelectedStory");
    // The mode number carries the apply flags: 1 quiet, 2 every selected story.
    BRNPackageUtils::ApplyPackage(
        BRNPackageUtils::kBRNApplyToSelectedStories, packageName,
        mode & (BRNPackageUtils::kBRNApplyQuiet | BRNPackageUtils::kBRNApplyAllStories));
    BRNPanelData::TellPanel(kBRNStoryAppliedMessage, this);
    CV_RETURN_VOID();
}

void BRNBrindle::ApplyToSelectedStories(const UIDRef& target, const PMString& packageName) {
    CV_TRACE("BRNBrindle::ApplyToSelectedStories");
    BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToSelectedStories, packageName,
                                  BRNPackageUtils::kBRNApplyAllStories);
    BRNPanelData::TellPanel(kBRNStoryAppliedMessage, this);
    CV_RETURN_VOID();
}

void BRNBrindle::StoreDocumentPackages(const UIDRef& document) {
    CV_TRACE("BRNBrindle::StoreDocumentPackages");
    if (!HasMetadata(document)) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    BRNPackageUtils::StorePackages(UIDList(document), Read(document), kFalse, kFalse);
    RefreshPanel(this);
    CV_RETURN_VOID();
}

PMStringList& BRNBrindle::SplitText(PMStringList& parts, const PMString& text) {
    parts = BRNPackageUtils::SplitListText(text);
    return parts;
}

PMString& BRNBrindle::ExpandTagsForFile(PMString& expanded, const PMString& fileURL, const PMString& text,
                                        int32& errors, bool16 escape) {
    CV_TRACE("BRNBrindle::ExpandTagsForFile");
    const char* prefix = nullptr;
    IDocument* doc = FindDocumentOfURL(fileURL, &prefix);
    if (!doc) {
        errors = kExpandNoDocument;
        expanded = text;
        CV_RETURN(expanded);
    }
    CV_RETURN(ExpandTags(expanded, RootOf(doc), text, errors, escape));
}

PMString& BRNBrindle::ExpandTags(PMString& expanded, const UIDRef& document, const PMString& text,
                                 int32& errors, bool16 escape) {
    CV_TRACE("BRNBrindle::ExpandTags");
    errors = 0;
    expanded = text;
    if (!HasMetadata(document)) {
        errors = kExpandNoDocument;
        CV_RETURN(expanded);
    }
    const BRNPackageList packages = Read(document);
    if (packages.empty()) {
        errors = kExpandNoPackage;
        CV_RETURN(expanded);
    }
    const BRNPackage merged = MergedPackage(packages);
    const PMString fault = BRNPackageUtils::FindTagFault(merged, text, kTrue);
    if (!fault.IsEmpty()) {
        CAlert::WarningAlert(fault);
        errors = kExpandCheckFailed;
        CV_RETURN(expanded);
    }
    bool16 ok = kFalse;
    expanded = BRNPackageUtils::EvaluateTags(merged, text, &ok, escape, kTrue);
    if (!ok) errors = kExpandCheckFailed;
    CV_RETURN(expanded);
}

ErrorCode BRNBrindle::CheckTags(const UIDRef& document, const PMString& text, PMString& error) {
    CV_TRACE("BRNBrindle::CheckTags");
    const BRNPackageList packages = Read(document);
    // Without a package only the package tags are offered (and name nothing).
    error =
        BRNPackageUtils::FindTagFault(packages.empty() ? BRNPackage() : MergedPackage(packages), text, kTrue);
    if (error.IsEmpty()) CV_RETURN(kSuccess);
    CAlert::WarningAlert(error);
    CV_RETURN_FAILED(kFailure);
}

PMString& BRNBrindle::GetVersion(PMString& version) {
    version = Untranslatable(PMString(kVersionText));
    return version;
}

int32 BRNBrindle::IsFirstPackageEnabled(const UIDRef& target) {
    CV_TRACE("BRNBrindle::IsFirstPackageEnabled");
    const BRNPackageList packages = Read(TargetOf(target));
    CV_RETURN(!packages.empty() && packages.front().GetEnabled() ? 1 : 0);
}

BRNPackageList BRNBrindle::ReadDocumentPackagesCopy(const UIDRef& document) {
    CV_TRACE("BRNBrindle::ReadDocumentPackagesCopy");
    CV_RETURN(Read(document));
}

BRNPackageList& BRNBrindle::GetDocumentPackages(BRNPackageList& packages, const UIDRef& document,
                                                int32 flags) {
    CV_TRACE("BRNBrindle::GetDocumentPackages");
    packages = Read(document);
    if (flags & kEnabledPackagesOnly)
        std::erase_if(packages, [](const BRNPackage& p) { return !p.GetEnabled(); });
    CV_RETURN(packages);
}

PMString& BRNBrindle::GetFieldBooleanText(PMString& text, const UIDRef& document, const PMString& packageName,
                                          const PMString& shortName) {
    CV_TRACE("BRNBrindle::GetFieldBooleanText");
    text.clear();
    const BRNPackageList packages = Read(document);
    const BRNPackage* p = FindPackageNoCase(packages, packageName);
    const BRNField* f = p ? p->FindField(shortName) : nullptr;
    if (f) text = PMString(f->GetType() == kBRNTypeBoolean && f->GetBoolValue() ? "True" : "False");
    text.SetTranslatable(kFalse);
    CV_RETURN(text);
}

PMString& BRNBrindle::GetFieldBooleanTextAlt(PMString& text, const UIDRef& document,
                                             const PMString& packageName, const PMString& shortName) {
    CV_TRACE("BRNBrindle::GetFieldBooleanTextAlt");
    const BRNPackageList packages = Read(document);
    const BRNPackage* p = FindPackageNoCase(packages, packageName);
    const BRNField* f = p ? p->FindField(shortName) : nullptr;
    bool yes = false;
    if (f)
        yes = f->GetType() == kBRNTypeBoolean ? f->GetBoolValue() != 0
                                              : f->GetValue().IsEqualNoCase(PMString("true"));
    text = Untranslatable(PMString(yes ? "True" : "False"));
    CV_RETURN(text);
}

ErrorCode BRNBrindle::SetFieldValue(const UIDRef& document, const PMString& fieldName, const PMString& value,
                                    const BRNHistory& history) {
    CV_TRACE("BRNBrindle::SetFieldValue");
    if (!HasMetadata(document)) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(kFailure);
    }
    BRNPackageList packages = Read(document);
    const int32 changed = ChangeFields(packages, fieldName, -1, [&](BRNField& f) {
        if (!SetValueByType(f, value)) return false;
        AddHistory(f, history);
        return true;
    });
    if (changed <= 0) CV_RETURN_FAILED(kFailure);
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(document), packages, kFalse, kFalse);
    RefreshPanel(this);
    CV_RETURN(result);
}

bool16 BRNBrindle::CheckAssignment(const UIDRef& assignmentObject) {
    CV_TRACE("BRNBrindle::CheckAssignment");
    CV_RETURN(BRNAssignmentHelper::IsStoryEditable(assignmentObject));
}

ErrorCode BRNBrindle::UpdateStoryFromDocument(const UIDRef& storyItem, const UIDRef& document) {
    CV_TRACE("BRNBrindle::UpdateStoryFromDocument");
    const UIDRef story = TargetOf(storyItem);
    if (!HasMetadata(story) || !HasMetadata(document)) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(kFailure);
    }
    BRNPackageList storyPackages = Read(story);
    const BRNPackageList docPackages = Read(document);
    if (storyPackages.size() != 1 || docPackages.size() != 1) CV_RETURN_FAILED(kFailure);
    const BRNPackage& source = docPackages.front();
    for (BRNField& f : storyPackages.front().Fields()) {
        const BRNField* from = source.FindField(f.GetShortName());
        if (!from || from->GetType() != f.GetType()) continue;
        switch (f.GetType()) {
        case kBRNTypeString:
        case kBRNTypeInteger:
        case kBRNTypeChoice:
        case kBRNTypeChoiceString:
        case kBRNTypeDecimal:
        case kBRNTypeDate:
        case kBRNTypeDirectory:
        case kBRNTypeText:
        case kBRNTypeCalculatedString:
            f.SetValue(from->GetValue());
            break;
        case kBRNTypeBoolean:
            f.SetBoolValue(from->GetBoolValue());
            break;
        case kBRNTypeMultiChoice:
            f.SetSelectedValues(from->GetSelectedValues(), PMString(kMultiChoiceSeparator));
            break;
        case kBRNTypeDeadline:
            f.SetDeadline(from->GetDeadline());
            break;
        default:
            break;
        }
    }
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(story), storyPackages, kFalse, kFalse);
    std::cout << "story updated\n" << std::flush;
    CV_RETURN(result);
}

int32 BRNBrindle::UpdateStoriesFromDocument(const UIDRef& document) {
    CV_TRACE("BRNBrindle::UpdateStoriesFromDocument");
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(document));
    if (!doc) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(1);
    }
    IDataBase* db = document.GetDataBase();
    for (UID uid : doc->GetStoryList()) {
        // A locked story is not the user's to change.
        bool16 locked = kFalse;
        if (BRNAssignmentHelper::GetStoryStatus(UIDRef(db, uid), &locked, nullptr) == 0 && locked) continue;
        UpdateStoryFromDocument(UIDRef(db, uid), document);
    }
    CV_RETURN(1);
}

bool16 BRNBrindle::WriteStoryPackagesXML(const UIDRef& story, IXMLOutStream* out) {
    CV_TRACE("BRNBrindle::WriteStoryPackagesXML");
    CV_RETURN(WritePackagesXML(Read(TargetOf(story)), out));
}

bool16 BRNBrindle::WriteDocumentPackagesXML(const UIDRef& document, IXMLOutStream* out) {
    CV_TRACE("BRNBrindle::WriteDocumentPackagesXML");
    CV_RETURN(WritePackagesXML(Read(document), out));
}

bool16 BRNBrindle::GetStoryPackagesXML(const UIDRef& story, PMString& xml) {
    CV_TRACE("BRNBrindle::GetStoryPackagesXML");
    CV_RETURN(PackagesXMLText(Read(TargetOf(story)), false, xml));
}

bool16 BRNBrindle::GetDocumentPackagesXML(const UIDRef& document, PMString& xml, bool16 declaration) {
    CV_TRACE("BRNBrindle::GetDocumentPackagesXML");
    CV_RETURN(PackagesXMLText(Read(document), declaration != kFalse, xml));
}

ErrorCode BRNBrindle::RefreshTarget(const UIDRef& item) {
    CV_TRACE("BRNBrindle::RefreshTarget");
    const UIDRef target = TargetOf(item);
    if (!HasMetadata(target)) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(kFailure);
    }
    BRNPackageList packages = Read(target);
    // A package whose template fails keeps the values it was read with.
    for (BRNPackage& p : packages)
        BRNPackageUtils::UpdateCalculatedFields(p);
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(target), packages, kFalse, kFalse);
    RefreshPanel(this);
    CV_RETURN(result);
}

PMString& BRNBrindle::GetPackageKey(PMString& key, const PMString& fileURL) {
    CV_TRACE("BRNBrindle::GetPackageKey");
    key.clear();
    key.SetTranslatable(kFalse);
    const char* prefix = nullptr;
    IDocument* doc = FindDocumentOfURL(fileURL, &prefix);
    if (!doc) CV_RETURN(key);
    const BRNPackageList packages = Read(RootOf(doc));
    if (!packages.empty()) key = PackageKey(prefix, packages.front());
    CV_RETURN(key);
}
