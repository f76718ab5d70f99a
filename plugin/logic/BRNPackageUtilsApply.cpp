// Applying library packages to documents and stories, and bringing the packages they hold
// up to the library's version.
#include "logic/BRNPackageUtils.h"

#include "files/BRNUtils.h"
#include "service/BRNAssignmentHelper.h"
#include "service/BRNSuiteASB.h"

#include "CVLog.h"
#include "base/HostConfig.h"
#include "documents/DocumentHost.h"
#include "documents/HostSelection.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/CAlert.h"

#include <algorithm>
#include <optional>

namespace BRNPackageUtils {

namespace {

// Puts the package in place of the list's package of the same name, or appends it.
void ReplaceInto(BRNPackageList& list, const BRNPackage& package) {
    if (BRNPackage* held = FindPackage(list, package.GetName()))
        *held = package;
    else
        list.push_back(package);
}

// Replaces the library's package of that name (removed by name, the new one appended) and
// saves the library. The change is recorded in the report when one is kept.
void ReplaceInLibrary(IBRNPrefs* prefs, const BRNPackage& package, BRNUpgradeReport* report = nullptr,
                      bool16 raised = kFalse) {
    BRNPackageList library = prefs->GetPackages();
    if (report) {
        BRNLibraryChange change;
        change.package = package.GetName();
        const BRNPackage* before = FindPackage(library, package.GetName());
        change.added = before ? kFalse : kTrue;
        change.from = before ? before->GetVersion() : 0;
        change.to = package.GetVersion();
        change.raised = raised;
        report->library.push_back(change);
    }
    RemovePackage(library, package.GetName());
    library.push_back(package);
    prefs->SetPackages(library);
}

// The default of one field, as ApplyDefaults stores it; a calculated field takes its
// template only when the user may override it and did.
void ApplyFieldDefault(BRNField& f) {
    switch (f.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
    case kBRNTypeDecimal:
    case kBRNTypeDirectory:
    case kBRNTypeText:
        f.SetValue(f.GetDefaultValue());
        break;
    case kBRNTypeBoolean:
        f.SetBoolValue(f.GetDefaultValue() == PMString("True"));
        break;
    case kBRNTypeDate:
        f.SetValue(f.GetDefaultValue() == PMString("ACTIVATION") ? FormatToday() : f.GetDefaultValue());
        break;
    case kBRNTypeMultiChoice:
        f.SetSelectedValues(f.GetDefaultValues(), PMString(", "));
        break;
    case kBRNTypeCalculatedString:
        if (f.GetFieldOverridden()) f.SetValue(f.GetDefaultValue());
        break;
    default:
        break;
    }
}

// Stores the package into the target whose current list is given: the calculated fields
// are recomputed first and a package whose template fails is not stored.
ErrorCode StoreInto(const UIDRef& target, BRNPackageList held, BRNPackage package) {
    if (UpdateCalculatedFields(package) < 0) {
        CV_LOG(25, "package: " + package.GetName().GetUTF8String());
        return kFailure;
    }
    ReplaceInto(held, package);
    return StorePackages(UIDList(target), held, kFalse, kFalse);
}

bool16 IsEditable(const UIDRef& story) {
    InterfacePtr<IStoryData> data(Instantiate<IStoryData>(story));
    if (!data) {
        CV_LOG_FAILED();
        return kFalse;
    }
    return data->IsLocked() ? kFalse : kTrue;
}

// Whether packages are upgraded without asking. Reading the setting clears the flag that
// tells the menu it changed; a change still pending is put back so this read does not eat it.
bool16 SilentUpgrades(IBRNPrefs* prefs) {
    const bool16 pending = prefs->GetLatestPackageChanged();
    const bool16 silent = prefs->GetUseLatestPackage();
    if (pending) prefs->SetUseLatestPackage(silent);
    return silent;
}

// A package from a document as the library keeps it: a released version, not an edit.
BRNPackage AsLibraryPackage(const BRNPackage& package) {
    BRNPackage p = package;
    p.SetModified(kFalse);
    return p;
}

} // namespace

ErrorCode WritePackages(const BRNPackageList& packages, const UIDList& targets) {
    CV_TRACE("BRNPackageUtils::WritePackages");
    BRNPackageList ready;
    ErrorCode result = kSuccess;
    for (BRNPackage p : packages) {
        if (UpdateCalculatedFields(p) < 0) {
            CV_LOG(25, "package: " + p.GetName().GetUTF8String());
            result = kFailure;
            continue;
        }
        ready.push_back(std::move(p));
    }
    if (ready.empty()) CV_RETURN(result);
    for (int32 i = 0; i < targets.Length(); ++i) {
        const UIDRef target = targets.GetRef(i);
        BRNPackageList held = ReadPackages(target);
        for (const BRNPackage& p : ready)
            ReplaceInto(held, p);
        if (StorePackages(UIDList(target), held, kFalse, kFalse) != kSuccess) result = kFailure;
    }
    CV_RETURN(result);
}

ErrorCode WritePackage(const BRNPackage& package, const UIDList& targets) {
    return WritePackages(BRNPackageList{package}, targets);
}

void MergeValues(BRNPackage& newPackage, const BRNPackage& oldPackage) {
    CV_TRACE("BRNPackageUtils::MergeValues");
    BRNFieldList fields = newPackage.GetFields();
    for (BRNField& n : fields) {
        bool matched = false;
        for (const BRNField& o : oldPackage.GetFields()) {
            if (o.GetType() != n.GetType()) continue;
            const bool same = o.GetShortName().IsEmpty() ? o.GetName() == n.GetName()
                                                         : o.GetShortName() == n.GetShortName();
            if (!same) continue;
            matched = true;
            switch (n.GetType()) {
            case kBRNTypeString:
            case kBRNTypeInteger:
            case kBRNTypeChoice:
            case kBRNTypeChoiceString:
            case kBRNTypeDecimal:
            case kBRNTypeDate:
            case kBRNTypeDirectory:
            case kBRNTypeText:
                n.SetValue(o.GetValue());
                break;
            case kBRNTypeBoolean:
                n.SetBoolValue(o.GetBoolValue());
                break;
            case kBRNTypeMultiChoice:
                n.SetSelectedValues(o.GetSelectedValues(), PMString(", "));
                break;
            case kBRNTypeCalculatedString:
                if (n.GetFieldOverridden()) n.SetValue(o.GetValue());
                break;
            case kBRNTypeDeadline: {
                // The dates and who did it; the colour table stays the new package's.
                BRNDeadline d = n.GetDeadline();
                d.PlannedDate = o.GetDeadline().PlannedDate;
                d.ExecutedDate = o.GetDeadline().ExecutedDate;
                d.ExecutedBy = o.GetDeadline().ExecutedBy;
                n.SetDeadline(d);
                break;
            }
            default:
                break;
            }
            n.SetHistory(o.GetHistory());
        }
        if (!matched && n.GetHasDefault()) ApplyFieldDefault(n);
    }
    newPackage.SetFields(fields);
    UpdateCalculatedFields(newPackage);
    CV_RETURN_VOID();
}

ErrorCode ApplyPackage(int32 targetKind, const PMString& packageName, int32 flags) {
    CV_TRACE("BRNPackageUtils::ApplyPackage");
    if (targetKind == kBRNApplyToDocument) {
        IDocument* doc = Host::GetFrontDocument();
        IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
        if (!db) {
            CV_LOG_FAILED();
            CV_RETURN_FAILED(kFailure);
        }
        CV_RETURN(ApplyPackageTo(UIDList(db, db->GetRootUID()), kFalse, packageName, flags));
    }
    if (targetKind != kBRNApplyToSelectedStories) {
        CV_LOG(20, "Invalid UIDRef");
        CV_RETURN_FAILED(kFailure);
    }
    // The stories of the selection, through its suite; the host's story selection otherwise.
    UIDList selected = BRNSuiteASB::SelectionStories();
    if (selected.IsEmpty()) selected = Host::GetSelectedStories();
    UIDList targets(selected.GetDataBase());
    const int32 count =
        (flags & kBRNApplyAllStories) ? selected.Length() : std::min<int32>(1, selected.Length());
    for (int32 i = 0; i < count; ++i)
        targets.Append(selected[i]);
    CV_RETURN(ApplyPackageTo(targets, kTrue, packageName, flags));
}

ErrorCode ApplyPackageTo(const UIDList& targets, bool16 stories, const PMString& packageName, int32 flags) {
    CV_TRACE("BRNPackageUtils::ApplyPackageTo");
    if (stories) {
        if (targets.IsEmpty()) {
            CAlert::WarningAlert(PMString("0xA8260kBRNNoStorySelectedStringKey"));
            CV_RETURN_FAILED(kFailure);
        }
        const bool quiet = (flags & kBRNApplyQuiet) != 0;
        for (int32 i = 0; i < targets.Length(); ++i) {
            bool16 locked = kFalse, exported = kFalse;
            if (BRNAssignmentHelper::GetStoryStatus(targets.GetRef(i), &locked, &exported) != 0)
                CV_RETURN_FAILED(kFailure);
            if (locked) {
                if (!quiet) CAlert::WarningAlert(PMString("0xA8260kBRNStoryLockedStringKey"));
                CV_RETURN_FAILED(kFailure);
            }
            if (!exported) {
                if (!quiet) CAlert::WarningAlert(PMString("0xA8260kBRNStoryNotExportedStringKey"));
                CV_RETURN_FAILED(kFailure);
            }
        }
    } else if (targets.IsEmpty()) {
        CV_LOG(20, "The itemList is nil or empty");
        CV_RETURN_FAILED(kFailure);
    }

    InterfacePtr<IBRNPrefs> prefs(QueryPrefs());
    if (!prefs) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(kFailure);
    }
    const BRNPackage* found = prefs->FindPackage(packageName);
    if (!found) {
        CV_LOG(25, "Package Version not found");
        CV_RETURN_FAILED(kFailure);
    }
    BRNPackage library = *found;
    if (library.IsModified()) {
        library.RaiseVersion();
        ReplaceInLibrary(prefs, library);
    }

    // The package a target that does not hold this version gets, made once.
    std::optional<BRNPackage> prepared;
    auto Prepared = [&]() -> const BRNPackage& {
        if (!prepared) {
            prepared = library;
            ApplyDefaults(*prepared);
            BRNUtils::ApplyDefaultsFile(*prepared);
            prepared->SetEnabled(kTrue);
        }
        return *prepared;
    };

    ErrorCode result = kSuccess;
    UIDList fresh(targets.GetDataBase());
    for (int32 i = 0; i < targets.Length(); ++i) {
        const UIDRef target = targets.GetRef(i);
        BRNPackageList held = ReadPackages(target);
        const BRNPackage* own = FindPackage(held, packageName);
        if (!own) {
            fresh.Append(target.GetUID());
            continue;
        }
        BRNPackage package;
        if (own->GetVersion() == library.GetVersion()) {
            package = *own;
        } else {
            package = Prepared();
            MergeValues(package, *own);
        }
        package.SetEnabled(kTrue);
        if (StoreInto(target, std::move(held), std::move(package)) != kSuccess) result = kFailure;
    }
    if (!fresh.IsEmpty() && WritePackage(Prepared(), fresh) != kSuccess) result = kFailure;
    CV_RETURN(result);
}

PMString CalculatedFieldsFault(const BRNPackage& package) {
    for (const BRNField& f : package.GetFields()) {
        if (f.GetType() != kBRNTypeCalculatedString || f.GetFieldOverridden()) continue;
        const PMString fault = FindTagFault(package, f.GetDefaultValue(), kFalse);
        if (fault.IsEmpty()) continue;
        PMString why("the template of field \"");
        why.Append(f.GetName());
        why.Append("\" fails: ");
        why.Append(fault);
        why.SetTranslatable(kFalse);
        return why;
    }
    BRNPackage copy = package;
    if (UpdateCalculatedFields(copy) < 0) {
        PMString why("its calculated fields cannot be computed");
        why.SetTranslatable(kFalse);
        return why;
    }
    return PMString();
}

bool16 UpgradePackages(const BRNPackageList& packages, const UIDRef& target, BRNUpgradeReport* report) {
    CV_TRACE("BRNPackageUtils::UpgradePackages");
    if (packages.empty()) CV_RETURN(kFalse);
    const BRNPackage& held = packages.front();
    InterfacePtr<IBRNPrefs> prefs(QueryPrefs());
    if (!prefs) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(kFalse);
    }
    CV_LOG(25, "package: " + held.GetName().GetUTF8String());
    const BRNPackage* found = prefs->FindPackage(held.GetName());
    if (!found || found->GetVersion() < held.GetVersion()) {
        // The document knows a package, or a version of it, that the library does not: the
        // library learns it.
        BRN_APPEND_TO_LOG_FILE(PMString("Pakke opdateret: ") + held.GetName());
        ReplaceInLibrary(prefs, AsLibraryPackage(held), report);
        CV_RETURN(kFalse);
    }
    BRNPackage library = *found;
    if (library.GetVersion() == held.GetVersion() && !library.IsModified()) CV_RETURN(kFalse);

    if (!SilentUpgrades(prefs)) {
        PMString question("0xA8260BRNQuestionImportOldString");
        question.Translate();
        question.Append(held.GetName());
        question.Append(" ver. ");
        question.AppendNumber(static_cast<int64>(held.GetVersion()));
        question.SetTranslatable(kFalse);
        if (CAlert::ModalAlert(question, CAlert::YesButtonString(), CAlert::NoButtonString(), PMString(), 2,
                               CAlert::kWarningIcon) == 1)
            ReplaceInLibrary(prefs, AsLibraryPackage(held), report);
        CV_RETURN(kFalse);
    }

    if (library.IsModified()) {
        library.RaiseVersion();
        ReplaceInLibrary(prefs, library, report, kTrue);
    }
    BRNPackage upgraded = library;
    upgraded.SetEnabled(held.GetEnabled());
    MergeValues(upgraded, held);
    // Into what the target holds now, whatever list the caller read.
    if (WritePackage(upgraded, UIDList(target)) == kSuccess) CV_RETURN(kTrue);
    if (report) {
        PMString why = CalculatedFieldsFault(upgraded);
        if (why.IsEmpty()) why = PMString("the package could not be stored");
        why.SetTranslatable(kFalse);
        report->refused.push_back({target, upgraded.GetName(), why});
    }
    CV_RETURN_FAILED(kFalse);
}

int32 UpgradeDocumentPackages(const UIDRef& document, bool16 onlyEditable, BRNUpgradeReport* report) {
    CV_TRACE("BRNPackageUtils::UpgradeDocumentPackages");
    IDataBase* db = document.GetDataBase();
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(document));
    if (!db || !doc) {
        CV_LOG(20, "Invalid UIDRef");
        CV_RETURN_FAILED(0);
    }
    int32 written = 0;
    std::vector<UID> seen;
    auto upgradeStory = [&](UID story) {
        if (std::find(seen.begin(), seen.end(), story) != seen.end()) return;
        seen.push_back(story);
        const UIDRef ref(db, story);
        if (!db->IsValidUID(story) || (onlyEditable && !IsEditable(ref))) return;
        BRNPackageList list = ReadPackages(ref);
        if (!list.empty() && UpgradePackages(list, ref, report)) ++written;
    };

    InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
    if (assignments) {
        for (int32 i = 0; i < assignments->GetAssignmentCount(); ++i)
            for (UID story : assignments->GetNthAssignment(i).stories)
                upgradeStory(story);
    } else {
        CV_LOG_FAILED();
    }

    BRNPackageList own = ReadPackages(document);
    if (!own.empty() && UpgradePackages(own, document, report)) ++written;

    if (Host::GetDocumentEdition(doc.get()) == HostConfig::Edition::kText)
        for (UID story : doc->GetStoryList())
            upgradeStory(story);
    CV_RETURN(written);
}

} // namespace BRNPackageUtils
