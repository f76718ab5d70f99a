// The pass over documents before they are saved or closed: empty required fields, bad
// dates and templates, Decimal tidy-up and history stamps.
#include "logic/BRNPackageUtils.h"

#include "base/GlobalTime.h"
#include "CVLog.h"
#include "documents/IDataBase.h"
#include "session/IPanelMgr.h"
#include "session/ISession.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"

#include <algorithm>
#include <optional>

namespace BRNPackageUtils {

namespace {

constexpr WidgetID kMetadataPanelWidgetID = 0xA8260;

void ShowMetadataPanel() {
    if (IPanelMgr* panels = GetPanelManager()) panels->ShowPanelByWidgetID(kMetadataPanelWidgetID);
}

bool IsRequiredAndEmpty(const BRNField& f) {
    if (!f.GetRequired() || !f.GetValue().IsEmpty()) return false;
    switch (f.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
    case kBRNTypeText:
        return true;
    default:
        return false;
    }
}

void AddOnce(PMStringList& names, const PMString& name) {
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
}

// The parts of a list text, each without blanks at either end.
PMStringList TrimmedParts(const PMString& text) {
    PMStringList parts = SplitListText(text);
    for (PMString& p : parts) {
        std::u16string& u = p.Units();
        const size_t first = u.find_first_not_of(u" \t");
        if (first == std::u16string::npos) {
            u.clear();
            continue;
        }
        u = u.substr(first, u.find_last_not_of(u" \t") - first + 1);
    }
    return parts;
}

// The value the field's next history entry would record, or nothing when it need not get one.
std::optional<PMString> ValueToStamp(const BRNField& f) {
    const BRNHistoryList& history = f.GetHistory();
    const BRNHistory* last = history.empty() ? nullptr : &history.back();
    switch (f.GetType()) {
    case kBRNTypeDirectory:
        return std::nullopt;
    case kBRNTypeBoolean: {
        const bool value = f.GetBoolValue() != 0;
        if (last && value == last->GetValue().IsEqualNoCase(PMString("true"))) return std::nullopt;
        return PMString(value ? "True" : "False");
    }
    case kBRNTypeMultiChoice:
        if (!last) {
            if (f.GetValue().IsEmpty()) return std::nullopt;
        } else if (TrimmedParts(f.GetValue()) == TrimmedParts(last->GetValue())) {
            return std::nullopt;
        }
        return f.GetValue();
    default:
        if (!last ? f.GetValue().IsEmpty() : f.GetValue() == last->GetValue()) return std::nullopt;
        return f.GetValue();
    }
}

// Runs the pass over one target's packages; the changed ones are written back at once.
void CheckTarget(const UIDRef& target, bool writeBack, BRNRequiredFieldsReport& report,
                 BRNRequiredFieldsDocument& doc) {
    BRNPackageList packages = ReadPackages(target);
    doc.packages = static_cast<int32>(packages.size());
    std::vector<std::pair<size_t, BRNPackage>> changed;
    for (size_t index = 0; index < packages.size(); ++index) {
        const BRNPackage& package = packages[index];
        if (!package.GetEnabled()) continue;
        BRNFieldList fields = package.GetFields();
        bool packageChanged = false;
        bool templateFailed = false;
        for (BRNField& f : fields) {
            if (IsRequiredAndEmpty(f)) {
                AddOnce(report.missing, f.GetName());
                AddOnce(doc.missing, f.GetName());
                const bool known = std::any_of(
                    doc.missingFields.begin(), doc.missingFields.end(), [&](const BRNFieldFault& m) {
                        return m.package == package.GetName() && m.field == f.GetName();
                    });
                if (!known) doc.missingFields.push_back({package.GetName(), f.GetName()});
            }
            if (TidyDecimal(f)) packageChanged = true;
            if (f.GetType() == kBRNTypeDate && IsInvalidDate(f.GetValue())) {
                ShowDateAlert(f.GetName());
                doc.badDates.push_back({package.GetName(), f.GetName()});
                report.showPanel = kTrue;
            }
            if (f.GetType() == kBRNTypeCalculatedString && !CheckTags(package, f.GetDefaultValue(), kFalse)) {
                PMString message("Error in calculated field: ");
                message.Append(f.GetName());
                message.SetTranslatable(kFalse);
                CAlert::WarningAlert(message);
                doc.badTemplates.push_back({package.GetName(), f.GetName()});
                templateFailed = true;
                report.showPanel = kTrue;
            }
            if (StampHistory(f)) packageChanged = true;
        }
        // The write would recompute the failing template (and show its fault again): a
        // package whose template fails is not written.
        if (!packageChanged || templateFailed) continue;
        BRNPackage p = package;
        p.SetFields(fields);
        changed.emplace_back(index, std::move(p));
    }
    if (changed.empty()) return;
    // One store for the target: the changed packages in place of their stored forms, each
    // recomputed first; one whose template fails keeps its stored form.
    for (auto& [index, p] : changed) {
        if (UpdateCalculatedFields(p) < 0) continue;
        packages[index] = std::move(p);
        ++doc.packagesChanged;
    }
    if (writeBack && doc.packagesChanged > 0 &&
        StorePackages(UIDList(target), packages, kFalse, kFalse) != kSuccess)
        CV_LOG_FAILED();
}

} // namespace

int16 StampHistory(BRNField& field) {
    std::optional<PMString> value = ValueToStamp(field);
    if (!value) return 0;
    PMString user, alias;
    if (ISession* session = GetExecutionContextSession()) {
        user = session->GetUserName();
        alias = session->GetUserAlias();
    } else {
        CV_LOG_FAILED();
    }
    GlobalTime now;
    now.CurrentTime();
    value->SetTranslatable(kFalse);
    BRNHistoryList history = field.GetHistory();
    history.emplace_back(user, alias, now, *value);
    field.SetHistory(history);
    return 1;
}

int16 ShowRequiredFieldsDialog(const PMString& message) {
    PMString title("Required fields");
    title.SetTranslatable(kFalse);
    return HostDialogs::ShowMessageDialog(title, message) ? 1 : 0;
}

int16 ReportMissingFields(const PMStringList& missing, bool16 dialog) {
    ShowMetadataPanel();
    PMString message("0xA8260kBRNReqfieldError");
    message.Translate();
    message.Append("\n");
    for (const PMString& name : missing) {
        message.Append("\n- ");
        message.Append(name);
    }
    message.SetTranslatable(kFalse);
    if (dialog) return ShowRequiredFieldsDialog(message);
    CAlert::WarningAlert(message);
    return 1;
}

int16 CheckRequiredFields(const std::vector<UIDRef>& documents, bool16 report, bool16 dialog,
                          BRNRequiredFieldsReport* details, bool16 writeBack) {
    CV_TRACE("BRNPackageUtils::CheckRequiredFields");
    BRNRequiredFieldsReport found;
    for (const UIDRef& ref : documents) {
        BRNRequiredFieldsDocument doc;
        doc.document = ref;
        if (ref.GetDataBase() && ref.GetDataBase()->IsValidUID(ref.GetUID()))
            CheckTarget(ref, writeBack != 0, found, doc);
        else
            CV_LOG(20, "Invalid UIDRef");
        found.documents.push_back(std::move(doc));
    }

    int16 result = 0;
    if (found.missing.empty()) {
        if (found.showPanel) ShowMetadataPanel();
    } else if (report) {
        result = ReportMissingFields(found.missing, dialog);
    }
    if (details) *details = std::move(found);
    CV_RETURN(result);
}

int16 CheckRequiredFields(const UIDList& documents, bool16 report, bool16 dialog) {
    std::vector<UIDRef> refs;
    refs.reserve(static_cast<size_t>(documents.Length()));
    for (int32 i = 0; i < documents.Length(); ++i)
        refs.push_back(documents.GetRef(i));
    return CheckRequiredFields(refs, report, dialog);
}

} // namespace BRNPackageUtils
