// One typed item of metadata: its definition and its current value, with the history
// of that value. Copied by value into package field lists.
#pragma once

#include "base/PMString.h"
#include "model/BRNDeadline.h"
#include "model/BRNHistory.h"

#include <vector>

using PMStringList = std::vector<PMString>;
using BRNHistoryList = std::vector<BRNHistory>;

enum BRNFieldType : int32 {
    kBRNTypeString = 0,
    kBRNTypeInteger = 1,
    kBRNTypeBoolean = 2,
    kBRNTypeChoice = 3,
    kBRNTypeChoiceString = 4,
    kBRNTypeDecimal = 5,
    kBRNTypeDate = 6,
    kBRNTypeDirectory = 7,
    kBRNTypeText = 8,
    kBRNTypeMultiChoice = 9,
    kBRNTypeCalculatedString = 10,
    kBRNTypeDeadline = 11,
    kBRNTypeCount = 12,
};

class BRNField {
public:
    BRNField() = default;
    explicit BRNField(const PMString& name) : fName(name) {}
    BRNField(const BRNField&) = default;
    BRNField& operator=(const BRNField&) = default;
    BRNField(BRNField&&) noexcept = default;
    BRNField& operator=(BRNField&&) noexcept = default;
    virtual ~BRNField() = default;

    virtual const PMStringList& GetOptions() const { return fOptions; }
    virtual void SetOptions(const PMStringList& options) { fOptions = options; }
    virtual const PMStringList& GetDefaultValues() const { return fDefaultValues; }
    virtual void SetDefaultValues(const PMStringList& values) { fDefaultValues = values; }
    virtual const PMStringList& GetSelectedValues() const { return fSelectedValues; }
    // Replaces the selection; a MultiChoice field also takes the selection joined by the
    // separator as its value.
    virtual void SetSelectedValues(const PMStringList& values, const PMString& separator);
    virtual bool16 GetFieldOverridden() const { return fFieldOverridden; }
    virtual void SetFieldOverridden(bool16 overridden) { fFieldOverridden = overridden ? kTrue : kFalse; }

    PMString GetValue() const { return fValue; }
    // The value without a copy, valid while the field is.
    const PMString& GetValueRef() const { return fValue; }
    void SetValue(PMString value) { fValue = std::move(value); }
    // A CalculatedString always counts as having a default.
    bool16 GetHasDefault() const { return fType == kBRNTypeCalculatedString ? kTrue : fHasDefault; }
    void SetHasDefault(bool16 hasDefault);
    // Stores the record and sets the value to "planned,executed,by".
    void SetDeadline(const BRNDeadline& deadline);
    const BRNDeadline& GetDeadline() const { return fDeadline; }
    BRNDeadline& GetDeadline() { return fDeadline; }

    const PMString& GetName() const { return fName; }
    void SetName(PMString name) { fName = std::move(name); }
    const PMString& GetShortName() const { return fShortName; }
    void SetShortName(PMString shortName) { fShortName = std::move(shortName); }
    const PMString& GetDescription() const { return fDescription; }
    void SetDescription(PMString description) { fDescription = std::move(description); }
    const PMString& GetDefaultValue() const { return fDefaultValue; }
    void SetDefaultValue(PMString value) { fDefaultValue = std::move(value); }
    bool16 GetRequired() const { return fRequired; }
    void SetRequired(bool16 v) { fRequired = v ? kTrue : kFalse; }
    bool16 GetBoolValue() const { return fBoolValue; }
    void SetBoolValue(bool16 v) { fBoolValue = v ? kTrue : kFalse; }
    bool16 GetAllowUserValues() const { return fAllowUserValues; }
    void SetAllowUserValues(bool16 v) { fAllowUserValues = v ? kTrue : kFalse; }
    bool16 GetHidden() const { return fHidden; }
    void SetHidden(bool16 v) { fHidden = v ? kTrue : kFalse; }
    bool16 GetReadOnly() const { return fReadOnly; }
    void SetReadOnly(bool16 v) { fReadOnly = v ? kTrue : kFalse; }
    int32 GetType() const { return fType; }
    void SetType(int32 type) { fType = type; }
    // The type name as a document stored it, for a type outside the table (written by a newer
    // version or by hand); kept so that the field is written back as it was read.
    const PMString& GetStoredTypeName() const { return fStoredTypeName; }
    void SetStoredTypeName(PMString name) { fStoredTypeName = std::move(name); }
    // Whether the type is one of the table's.
    bool IsKnownType() const { return fType >= 0 && fType < kBRNTypeCount; }
    int32 GetVisibleLines() const { return fVisibleLines; }
    void SetVisibleLines(int32 lines) { fVisibleLines = lines; }
    const BRNHistoryList& GetHistory() const { return fHistory; }
    BRNHistoryList& GetHistory() { return fHistory; }
    void SetHistory(const BRNHistoryList& history) { fHistory = history; }

    // Whether two copies hold the same value: name and type equal, then the value as the
    // type keeps it. Nothing else takes part.
    bool IsEqual(const BRNField& other) const;

    // The English name of a type code ("String" for codes outside the table).
    static PMString TypeName(int32 type);
    // The code of an exact type name; anything else is String (0).
    static int32 TypeFromName(const PMString& name);

private:
    PMString fName;
    PMString fShortName;
    PMString fDescription;
    PMString fValue;
    PMString fDefaultValue;
    bool16 fRequired = kFalse;
    bool16 fBoolValue = kFalse;
    bool16 fHasDefault = kFalse;
    bool16 fAllowUserValues = kFalse;
    bool16 fHidden = kFalse;
    bool16 fReadOnly = kFalse;
    int32 fType = kBRNTypeString;
    PMStringList fOptions;
    PMStringList fDefaultValues;
    PMStringList fSelectedValues;
    BRNDeadline fDeadline;
    int32 fVisibleLines = 5;
    BRNHistoryList fHistory;
    bool16 fFieldOverridden = kFalse;
    PMString fStoredTypeName;
};

using BRNFieldList = std::vector<BRNField>;
