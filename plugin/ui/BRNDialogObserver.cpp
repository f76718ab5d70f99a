#include "BRNDialogObserver.h"

#include "BRNID.h"
#include "CVLog.h"
#include "logic/BRNPackageUtils.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/CAlert.h"

#include <algorithm>

namespace {

using BRNUtils::Plain;

// The menu's order is not the order of the type codes.
constexpr struct {
    const char* key;
    int32 type;
} kMenu[BRNDialogObserver::kMenuEntries] = {
    {"0xA8260kBRNStringStringKey", kBRNTypeString},
    {"0xA8260kBRNIntegerStringKey", kBRNTypeInteger},
    {"0xA8260kBRNDecimalStringKey", kBRNTypeDecimal},
    {"0xA8260kBRNBoolStringKey", kBRNTypeBoolean},
    {"0xA8260kBRNDateStringKey", kBRNTypeDate},
    {"0xA8260kBRNChoiceStringKey", kBRNTypeChoice},
    {"0xA8260kBRNUChoiceStringKey", kBRNTypeChoiceString},
    {"0xA8260kBRNDirectoryStringKey", kBRNTypeDirectory},
    {"0xA8260kBRNTextStringKey", kBRNTypeText},
    {"0xA8260kBRNMultiChoiceStringKey", kBRNTypeMultiChoice},
    {"0xA8260kBRNCalculatedStringStringKey", kBRNTypeCalculatedString},
    {"0xA8260kBRNDeadlineStringKey", kBRNTypeDeadline},
};

constexpr WidgetID kAttached[] = {
    kBRNEditorFieldListWidgetID, kBRNEditorAddFieldWidgetID,   kBRNEditorRemoveFieldWidgetID,
    kBRNEditorFieldUpWidgetID,   kBRNEditorFieldDownWidgetID,  kBRNEditorNameWidgetID,
    kBRNEditorShortNameWidgetID, kBRNEditorDescriptionWidgetID, kBRNEditorTypeWidgetID,
    kBRNEditorRequiredWidgetID,  kBRNEditorHiddenWidgetID,     kBRNEditorReadOnlyWidgetID,
    kBRNEditorUserValuesWidgetID, kBRNEditorDefaultWidgetID,   kBRNEditorLinesWidgetID,
    kBRNEditorValueListWidgetID, kBRNEditorValueWidgetID,      kBRNEditorAddValueWidgetID,
    kBRNEditorRemoveValueWidgetID, kBRNEditorValueUpWidgetID,  kBRNEditorValueDownWidgetID,
    kBRNEditorDefaultValuesWidgetID, kBRNEditorPlannedWidgetID, kBRNEditorExecutedWidgetID,
    kBRNEditorExecutedByWidgetID,
};

bool HasValueList(int32 type) {
    return type == kBRNTypeChoice || type == kBRNTypeChoiceString || type == kBRNTypeMultiChoice;
}

} // namespace

int32 BRNDialogObserver::TypeOfMenuEntry(int32 entry) {
    return entry >= 0 && entry < kMenuEntries ? kMenu[entry].type : -1;
}

int32 BRNDialogObserver::MenuEntryOfType(int32 type) {
    for (int32 i = 0; i < kMenuEntries; ++i)
        if (kMenu[i].type == type) return i;
    return -1;
}

const char* BRNDialogObserver::MenuKey(int32 entry) {
    return entry >= 0 && entry < kMenuEntries ? kMenu[entry].key : "";
}

void BRNDialogObserver::Attach(bool attach) {
    for (WidgetID id : kAttached)
        if (attach)
            AttachWidget(id);
        else
            DetachWidget(id);
}

void BRNDialogObserver::AutoAttach() {
    CV_TRACE("BRNDialogObserver::AutoAttach");
    Attach(true);
    fSelected = fFields->empty() ? -1 : 0;
    fSelectedValue = -1;
    ShowFields();
}

void BRNDialogObserver::AutoDetach() {
    Attach(false);
}

BRNField* BRNDialogObserver::Current() {
    if (fSelected < 0 || fSelected >= static_cast<int32>(fFields->size())) return nullptr;
    return &(*fFields)[static_cast<size_t>(fSelected)];
}

void BRNDialogObserver::SetWidgetText(WidgetID id, const PMString& text) {
    if (WidgetModel* w = GetDialog()->FindWidget(id)) w->SetText(Plain(text), false);
}

void BRNDialogObserver::SetWidgetCheck(WidgetID id, bool16 checked) {
    if (WidgetModel* w = GetDialog()->FindWidget(id)) w->SetChecked(checked, false);
}

void BRNDialogObserver::ShowFields() {
    fFilling = true;
    WidgetModel* list = GetDialog()->FindWidget(kBRNEditorFieldListWidgetID);
    std::vector<PMString> names;
    for (const BRNField& f : *fFields)
        names.push_back(Plain(f.GetName()));
    list->SetStringList(names);
    list->Select(fSelected, false);
    fFilling = false;
    ShowField();
}

void BRNDialogObserver::ShowField() {
    fFilling = true;
    DialogModel* d = GetDialog();
    const BRNField* f = Current();
    const int32 type = f ? f->GetType() : -1;
    auto enable = [&](WidgetID id, bool on) {
        if (WidgetModel* w = d->FindWidget(id)) w->Enable(on && f);
    };
    for (WidgetID id : {kBRNEditorRemoveFieldWidgetID, kBRNEditorFieldUpWidgetID, kBRNEditorFieldDownWidgetID,
                        kBRNEditorNameWidgetID, kBRNEditorShortNameWidgetID, kBRNEditorDescriptionWidgetID,
                        kBRNEditorTypeWidgetID, kBRNEditorRequiredWidgetID, kBRNEditorHiddenWidgetID,
                        kBRNEditorReadOnlyWidgetID})
        enable(id, true);
    enable(kBRNEditorUserValuesWidgetID, type == kBRNTypeMultiChoice || type == kBRNTypeCalculatedString);
    enable(kBRNEditorDefaultWidgetID, type != kBRNTypeMultiChoice && type != kBRNTypeDeadline);
    enable(kBRNEditorLinesWidgetID, type == kBRNTypeText || type == kBRNTypeMultiChoice);
    for (WidgetID id : {kBRNEditorValueListWidgetID, kBRNEditorValueWidgetID, kBRNEditorAddValueWidgetID,
                        kBRNEditorRemoveValueWidgetID, kBRNEditorValueUpWidgetID, kBRNEditorValueDownWidgetID})
        enable(id, HasValueList(type));
    enable(kBRNEditorDefaultValuesWidgetID, type == kBRNTypeMultiChoice);
    for (WidgetID id : {kBRNEditorPlannedWidgetID, kBRNEditorExecutedWidgetID, kBRNEditorExecutedByWidgetID})
        enable(id, type == kBRNTypeDeadline);
    SetWidgetText(kBRNEditorNameWidgetID, f ? f->GetName() : PMString());
    SetWidgetText(kBRNEditorShortNameWidgetID, f ? f->GetShortName() : PMString());
    SetWidgetText(kBRNEditorDescriptionWidgetID, f ? f->GetDescription() : PMString());
    if (WidgetModel* menu = d->FindWidget(kBRNEditorTypeWidgetID)) menu->Select(MenuEntryOfType(type), false);
    SetWidgetCheck(kBRNEditorRequiredWidgetID, f ? f->GetRequired() : kFalse);
    SetWidgetCheck(kBRNEditorHiddenWidgetID, f ? f->GetHidden() : kFalse);
    SetWidgetCheck(kBRNEditorReadOnlyWidgetID, f ? f->GetReadOnly() : kFalse);
    SetWidgetCheck(kBRNEditorUserValuesWidgetID, f ? f->GetAllowUserValues() : kFalse);
    SetWidgetText(kBRNEditorDefaultWidgetID, f ? f->GetDefaultValue() : PMString());
    PMString lines;
    if (f) lines.AppendNumber(static_cast<int64>(f->GetVisibleLines()));
    SetWidgetText(kBRNEditorLinesWidgetID, lines);
    SetWidgetText(kBRNEditorDefaultValuesWidgetID,
                  f ? BRNPackageUtils::JoinMultiChoice(f->GetDefaultValues()) : PMString());
    SetWidgetText(kBRNEditorPlannedWidgetID, f ? f->GetDeadline().PlannedDate : PMString());
    SetWidgetText(kBRNEditorExecutedWidgetID, f ? f->GetDeadline().ExecutedDate : PMString());
    SetWidgetText(kBRNEditorExecutedByWidgetID, f ? f->GetDeadline().ExecutedBy : PMString());
    fFilling = false;
    ShowValues();
}

void BRNDialogObserver::ShowValues() {
    fFilling = true;
    const BRNField* f = Current();
    WidgetModel* list = GetDialog()->FindWidget(kBRNEditorValueListWidgetID);
    std::vector<PMString> values;
    if (f)
        for (const PMString& v : f->GetOptions())
            values.push_back(Plain(v));
    list->SetStringList(values);
    if (fSelectedValue >= static_cast<int32>(values.size())) fSelectedValue = static_cast<int32>(values.size()) - 1;
    list->Select(fSelectedValue, false);
    SetWidgetText(kBRNEditorValueWidgetID, fSelectedValue >= 0 ? values[static_cast<size_t>(fSelectedValue)]
                                                               : PMString());
    fFilling = false;
}

void BRNDialogObserver::SelectEntry(int32 field, int32 value) {
    fSelected = field;
    fSelectedValue = value;
    ShowFields();
}

PMString BRNDialogObserver::NewName(const char* stem, const PMStringList& taken, int32* counter) const {
    for (;;) {
        PMString name(stem);
        name.AppendNumber(static_cast<int64>((*counter)++));
        if (std::find(taken.begin(), taken.end(), name) == taken.end()) return Plain(name);
    }
}

void BRNDialogObserver::Update(WidgetModel& widget, Change change) {
    if (fFilling) return;
    if (change == kClicked) {
        Click(widget.GetID());
        return;
    }
    if (change == kValueChanged || change == kStateChanged) Edit(widget);
}

void BRNDialogObserver::Edit(WidgetModel& widget) {
    const WidgetID id = widget.GetID();
    if (id == kBRNEditorFieldListWidgetID) {
        fSelected = widget.GetSelectedIndex();
        fSelectedValue = -1;
        ShowField();
        return;
    }
    if (id == kBRNEditorValueListWidgetID) {
        fSelectedValue = widget.GetSelectedIndex();
        ShowValues();
        return;
    }
    BRNField* f = Current();
    if (!f) return;
    const PMString text = Plain(widget.GetText());
    switch (id) {
    case kBRNEditorNameWidgetID:
        f->SetName(text);
        ShowFields();
        return;
    case kBRNEditorShortNameWidgetID:
        f->SetShortName(text);
        return;
    case kBRNEditorDescriptionWidgetID:
        f->SetDescription(text);
        return;
    case kBRNEditorTypeWidgetID: {
        const int32 type = TypeOfMenuEntry(widget.GetSelectedIndex());
        if (type >= 0) f->SetType(type);
        ShowField();
        return;
    }
    case kBRNEditorRequiredWidgetID:
        f->SetRequired(widget.IsChecked());
        return;
    case kBRNEditorHiddenWidgetID:
        f->SetHidden(widget.IsChecked());
        return;
    case kBRNEditorReadOnlyWidgetID:
        f->SetReadOnly(widget.IsChecked());
        return;
    case kBRNEditorUserValuesWidgetID:
        f->SetAllowUserValues(widget.IsChecked());
        return;
    case kBRNEditorDefaultWidgetID: {
        // Whole and decimal numbers are refused as they are typed; dates when confirmed.
        if (f->GetType() == kBRNTypeInteger && !BRNPackageUtils::CheckIntegerText(text)) {
            CAlert::WarningAlert(PMString("0xA8260kBRNIntConversionError"));
            ShowField();
            return;
        }
        if (f->GetType() == kBRNTypeDecimal && !BRNPackageUtils::CheckDecimalText(text)) {
            CAlert::WarningAlert(PMString("0xA8260kBRNDecimalConversionError"));
            ShowField();
            return;
        }
        f->SetDefaultValue(text);
        f->SetHasDefault(text.IsEmpty() ? kFalse : kTrue);
        return;
    }
    case kBRNEditorLinesWidgetID: {
        if (!BRNPackageUtils::CheckIntegerText(text) || text.IsEmpty() || text.GetAsNumber() < 1) {
            CAlert::WarningAlert(PMString("0xA8260kBRNIntConversionError"));
            ShowField();
            return;
        }
        f->SetVisibleLines(text.GetAsNumber());
        return;
    }
    case kBRNEditorDefaultValuesWidgetID:
        f->SetDefaultValues(BRNPackageUtils::SplitMultiChoice(text));
        return;
    case kBRNEditorValueWidgetID: {
        if (fSelectedValue < 0) return;
        if (f->GetType() == kBRNTypeMultiChoice && !BRNPackageUtils::CheckMultiChoiceText(text)) {
            CAlert::WarningAlert(PMString("0xA8260kBRNMCCommaWarningStringKey"));
            ShowValues();
            return;
        }
        PMStringList options = f->GetOptions();
        options[static_cast<size_t>(fSelectedValue)] = text;
        f->SetOptions(options);
        ShowValues();
        return;
    }
    case kBRNEditorPlannedWidgetID:
    case kBRNEditorExecutedWidgetID:
    case kBRNEditorExecutedByWidgetID: {
        BRNDeadline d = f->GetDeadline();
        (id == kBRNEditorPlannedWidgetID    ? d.PlannedDate
         : id == kBRNEditorExecutedWidgetID ? d.ExecutedDate
                                            : d.ExecutedBy) = text;
        f->SetDeadline(d);
        return;
    }
    default:
        return;
    }
}

void BRNDialogObserver::Click(WidgetID id) {
    const int32 count = static_cast<int32>(fFields->size());
    switch (id) {
    case kBRNEditorAddFieldWidgetID: {
        PMStringList names;
        for (const BRNField& f : *fFields)
            names.push_back(f.GetName());
        BRNField f(NewName("aField", names, &fFieldCounter));
        f.SetType(kBRNTypeString);
        fFields->push_back(f);
        fSelected = count;
        fSelectedValue = -1;
        ShowFields();
        return;
    }
    case kBRNEditorRemoveFieldWidgetID:
        if (!Current()) return;
        fFields->erase(fFields->begin() + fSelected);
        if (fSelected >= static_cast<int32>(fFields->size())) fSelected = static_cast<int32>(fFields->size()) - 1;
        fSelectedValue = -1;
        ShowFields();
        return;
    case kBRNEditorFieldUpWidgetID:
    case kBRNEditorFieldDownWidgetID: {
        const int32 to = fSelected + (id == kBRNEditorFieldUpWidgetID ? -1 : 1);
        if (!Current() || to < 0 || to >= count) return;
        std::swap((*fFields)[static_cast<size_t>(fSelected)], (*fFields)[static_cast<size_t>(to)]);
        fSelected = to;
        ShowFields();
        return;
    }
    default:
        break;
    }
    BRNField* f = Current();
    if (!f) return;
    PMStringList options = f->GetOptions();
    const int32 values = static_cast<int32>(options.size());
    switch (id) {
    case kBRNEditorAddValueWidgetID:
        options.push_back(NewName("aValue", options, &fValueCounter));
        fSelectedValue = values;
        break;
    case kBRNEditorRemoveValueWidgetID:
        if (fSelectedValue < 0 || fSelectedValue >= values) return;
        options.erase(options.begin() + fSelectedValue);
        break;
    case kBRNEditorValueUpWidgetID:
    case kBRNEditorValueDownWidgetID: {
        const int32 to = fSelectedValue + (id == kBRNEditorValueUpWidgetID ? -1 : 1);
        if (fSelectedValue < 0 || to < 0 || to >= values) return;
        std::swap(options[static_cast<size_t>(fSelectedValue)], options[static_cast<size_t>(to)]);
        fSelectedValue = to;
        break;
    }
    default:
        return;
    }
    f->SetOptions(options);
    ShowValues();
}
