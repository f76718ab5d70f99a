#include "model/BRNField.h"

namespace {
const char* const kTypeNames[kBRNTypeCount] = {
    "String", "Integer", "Boolean", "Choice", "Choice / String", "Decimal",
    "Date",   "Directory", "Text",  "MultiChoice", "CalculatedString", "Deadline",
};
} // namespace

void BRNField::SetSelectedValues(const PMStringList& values, const PMString& separator) {
    fSelectedValues = values;
    if (fType != kBRNTypeMultiChoice) return;
    PMString joined;
    for (size_t i = 0; i < values.size(); ++i) {
        if (i) joined.Append(separator);
        joined.Append(values[i]);
    }
    joined.SetTranslatable(kFalse);
    fValue = joined;
}

void BRNField::SetHasDefault(bool16 hasDefault) {
    fHasDefault = (fType == kBRNTypeCalculatedString || hasDefault) ? kTrue : kFalse;
}

void BRNField::SetDeadline(const BRNDeadline& deadline) {
    fDeadline = deadline;
    PMString v = deadline.PlannedDate;
    v.Append(PMString(","));
    v.Append(deadline.ExecutedDate);
    v.Append(PMString(","));
    v.Append(deadline.ExecutedBy);
    v.SetTranslatable(kFalse);
    fValue = v;
}

bool BRNField::IsEqual(const BRNField& other) const {
    if (fName != other.fName || fType != other.fType || fType >= kBRNTypeCount || fType < 0) return false;
    switch (fType) {
    case kBRNTypeBoolean: return fBoolValue == other.fBoolValue;
    case kBRNTypeMultiChoice: return fSelectedValues == other.fSelectedValues;
    default: return fValue == other.fValue;
    }
}

PMString BRNField::TypeName(int32 type) {
    PMString s(type >= 0 && type < kBRNTypeCount ? kTypeNames[type] : kTypeNames[0]);
    s.SetTranslatable(kFalse);
    return s;
}

int32 BRNField::TypeFromName(const PMString& name) {
    for (int32 t = 1; t < kBRNTypeCount; ++t)
        if (name == PMString(kTypeNames[t])) return t;
    return kBRNTypeString;
}
