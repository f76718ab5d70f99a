// Text forms of field values, defaults and entry checks.
#include "logic/BRNPackageUtils.h"

#include "base/GlobalTime.h"
#include "CVLog.h"
#include "ui/CAlert.h"

#include <cstdio>

namespace BRNPackageUtils {

bool16 IsInvalidDate(const PMString& text) {
    if (text.IsEmpty()) return kFalse;
    if (text == PMString("ACTIVATION")) return kFalse;
    PMString lower(text);
    lower.ToLower();
    if (lower == PMString("now")) return kFalse;
    int32 first = text.IndexOfCharacter(u'/');
    if (first != 4) return kTrue;
    int32 second = text.IndexOfCharacter(u'/', first + 1);
    if (second != 7) return kTrue;
    PMString day = text.Substring(8);
    if (day.IsEmpty()) return kTrue;
    int32 e1 = 0, e2 = 0, e3 = 0;
    text.Substring(0, 4).GetAsNumber(&e1);
    text.Substring(5, 2).GetAsNumber(&e2);
    day.GetAsNumber(&e3);
    return (e1 || e2 || e3) ? kTrue : kFalse;
}

PMString FormatToday() {
    GlobalTime now;
    now.CurrentTime();
    int32 y = 0, m = 0, d = 0;
    now.GetTime(&y, &m, &d, nullptr, nullptr, nullptr);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d", y, m, d);
    PMString s(buf);
    s.SetTranslatable(kFalse);
    return s;
}

PMString JoinMultiChoice(const PMStringList& values) {
    PMString joined;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) joined.Append(", ");
        joined.Append(values[i]);
    }
    joined.SetTranslatable(kFalse);
    return joined;
}

PMStringList SplitMultiChoice(const PMString& text) {
    PMStringList parts;
    if (text.IsEmpty()) return parts;
    const std::u16string& t = text.Units();
    const std::u16string sep = u", ";
    size_t start = 0;
    for (size_t at = t.find(sep); at != std::u16string::npos; at = t.find(sep, start)) {
        parts.emplace_back(t.substr(start, at - start));
        start = at + sep.size();
    }
    parts.emplace_back(t.substr(start));
    for (auto& p : parts)
        p.SetTranslatable(kFalse);
    return parts;
}

BRNDeadline ParseDeadlineText(const PMString& text, const BRNDeadline& old) {
    PMString parts[3];
    const std::u16string& t = text.Units();
    size_t start = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t comma = i < 2 ? t.find(u',', start) : std::u16string::npos;
        parts[i] =
            PMString(t.substr(start, comma == std::u16string::npos ? std::u16string::npos : comma - start));
        parts[i].SetTranslatable(kFalse);
        if (comma == std::u16string::npos) break;
        start = comma + 1;
    }
    BRNDeadline d(parts[0], parts[1], parts[2]);
    d.Colors = old.Colors;
    return d;
}

PMStringList SplitListText(const PMString& text) {
    PMStringList parts;
    const std::u16string& t = text.Units();
    size_t start = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == u',') {
            parts.emplace_back(t.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < t.size()) parts.emplace_back(t.substr(start));
    for (auto& p : parts)
        p.SetTranslatable(kFalse);
    return parts;
}

void ApplyDefaults(BRNPackage& package) {
    CV_TRACE("BRNPackageUtils::ApplyDefaults");
    BRNFieldList fields = package.GetFields();
    for (BRNField& f : fields) {
        if (!f.GetHasDefault()) continue;
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
        default:
            break;
        }
    }
    package.SetFields(fields);
    UpdateCalculatedFields(package);
    CV_RETURN_VOID();
}

void SetValueFromText(BRNField& field, const PMString& text) {
    switch (field.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
    case kBRNTypeDecimal:
    case kBRNTypeDirectory:
    case kBRNTypeText:
        field.SetValue(text);
        break;
    case kBRNTypeBoolean:
        field.SetBoolValue(text == PMString("True"));
        break;
    case kBRNTypeDate:
        field.SetValue(text == PMString("ACTIVATION") ? FormatToday() : text);
        break;
    case kBRNTypeMultiChoice: {
        PMStringList parts = SplitListText(text);
        field.SetSelectedValues(parts, PMString(", "));
        field.SetValue(JoinMultiChoice(parts));
        break;
    }
    case kBRNTypeCalculatedString:
        field.SetDefaultValue(text);
        break;
    default:
        break;
    }
}

bool16 CheckIntegerText(const PMString& text) {
    if (text.IsEmpty()) return kTrue;
    int32 err = 0;
    text.GetAsNumber(&err);
    return err ? kFalse : kTrue;
}

bool16 CheckDecimalText(const PMString& text) {
    if (text.IsEmpty()) return kTrue;
    int32 err = 0;
    text.GetAsDouble(&err);
    return err ? kFalse : kTrue;
}

bool16 CheckMultiChoiceText(const PMString& text) {
    return text.IndexOfCharacter(u',') < 0 ? kTrue : kFalse;
}

void ShowDateAlert(const PMString& name) {
    PMString t("0xA8260kBRNErrorInDateStringKey");
    t.Translate();
    int32 hash = t.IndexOfCharacter(u'#');
    PMString m;
    if (hash < 0) {
        m = t;
    } else {
        m = t.Substring(0, hash);
        m.Append(name);
        m.Append(t.Substring(hash + 1));
    }
    m.SetTranslatable(kFalse);
    CAlert::WarningAlert(m);
}

bool16 CheckEntry(const BRNField& field, const PMString& text) {
    switch (field.GetType()) {
    case kBRNTypeInteger:
        if (CheckIntegerText(text)) return kTrue;
        CAlert::WarningAlert(PMString("0xA8260kBRNIntConversionError"));
        return kFalse;
    case kBRNTypeDecimal:
        if (CheckDecimalText(text)) return kTrue;
        CAlert::WarningAlert(PMString("0xA8260kBRNDecimalConversionError"));
        return kFalse;
    case kBRNTypeDate:
        if (!IsInvalidDate(text)) return kTrue;
        ShowDateAlert(field.GetName());
        return kFalse;
    case kBRNTypeMultiChoice:
        if (CheckMultiChoiceText(text)) return kTrue;
        CAlert::WarningAlert(PMString("0xA8260kBRNMCCommaWarningStringKey"));
        return kFalse;
    default:
        return kTrue;
    }
}

bool16 TidyDecimal(BRNField& field) {
    if (field.GetType() != kBRNTypeDecimal) return kFalse;
    PMString v = field.GetValue();
    if (v.IsEmpty()) return kFalse;
    int32 dot = v.IndexOfCharacter(u'.');
    if (dot < 0 || dot != v.CharCount() - 1) return kFalse;
    v.Remove(dot, 1);
    field.SetValue(v);
    return kTrue;
}

} // namespace BRNPackageUtils
