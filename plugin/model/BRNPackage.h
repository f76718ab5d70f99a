// A named, versioned, optionally password-protected ordered list of fields.
// Copied by value; Name is its key in every list.
#pragma once

#include "base/PMString.h"
#include "io/IXMLOutStream.h"
#include "model/BRNField.h"

#include <string_view>
#include <vector>

class BRNPackage {
public:
    // An empty, locked package.
    BRNPackage();
    BRNPackage(const PMString& name, const PMString& password, int32 timestamp);
    BRNPackage(const BRNFieldList& fields, const PMString& name, const PMString& password, int32 timestamp);
    BRNPackage(const BRNPackage&) = default;
    BRNPackage& operator=(const BRNPackage&) = default;
    BRNPackage(BRNPackage&&) noexcept = default;
    BRNPackage& operator=(BRNPackage&&) noexcept = default;
    virtual ~BRNPackage() = default;

    virtual bool16 Unlock(const PMString& password);
    virtual bool16 CheckPassword(const PMString& password) const;
    virtual bool16 IsModified() const { return fModified == 1 ? kTrue : kFalse; }
    virtual void SetModified(bool16 modified) { fModified = modified ? kTrue : kFalse; }
    virtual const BRNFieldList& GetFields() const { return fFields; }
    virtual void SetFields(const BRNFieldList& fields) { fFields = fields; }
    // The first field with exactly this short name, or null.
    virtual BRNField* FindField(const PMString& shortName);
    const BRNField* FindField(const PMString& shortName) const;

    BRNFieldList& Fields() { return fFields; }
    void SetPassword(const PMString& password);
    // Version + 1 and no longer modified (done when an edited definition is saved). The
    // highest version stays: wrapping to 0 would make every older copy look newer.
    void RaiseVersion();
    // The version after RaiseVersion.
    uint32 NextVersion() const;
    // A version as text: decimal digits for 0..4294967295 (empty text is 0). False for
    // anything else, which is never read as some other number.
    static bool ParseVersion(std::string_view text, uint32* version);
    // -1 when the given version is older (or equal while this one is modified), 1 when it
    // is newer, 0 when the same.
    int32 CompareVersion(uint32 version) const;
    // The stored timestamp, or 0 when it is above 50000.
    int32 GetTimestamp() const { return fTimestamp <= 50000 ? fTimestamp : 0; }
    int32 GetRawTimestamp() const { return fTimestamp; }
    void SetTimestampValue(int32 timestamp) { fTimestamp = timestamp; }
    PMString GetVersionString() const;

    const PMString& GetName() const { return fName; }
    void SetName(const PMString& name);
    const PMString& GetPassword() const { return fPassword; }
    bool16 GetLocked() const { return fLocked; }
    void SetLocked(bool16 locked) { fLocked = locked ? kTrue : kFalse; }
    uint32 GetVersion() const { return fVersion; }
    void SetVersion(uint32 version) { fVersion = version; }
    uint32 GetPasswordCheck() const { return fPasswordCheck; }
    bool16 GetEnabled() const { return fEnabled; }
    void SetEnabled(bool16 enabled) { fEnabled = enabled ? kTrue : kFalse; }
    bool HasPassword() const { return !fPassword.IsEmpty(); }

    // Writes the "package" element and its fields to an open XML stream.
    void WriteElement(IXMLOutStream* out) const;

    // The check hash: h = (h * 32 + unit) mod 33554393 over the UTF-16 code units.
    static uint32 Hash(const PMString& text);

private:
    PMString fName;
    PMString fPassword;
    bool16 fLocked = kTrue;
    bool16 fModified = kFalse;
    uint32 fVersion = 0;
    uint32 fPasswordCheck = 1;
    int32 fTimestamp = 0;
    BRNFieldList fFields;
    bool16 fEnabled = kFalse;
};

using BRNPackageList = std::vector<BRNPackage>;

// The first package of that exact name, or null.
BRNPackage* FindPackage(BRNPackageList& list, const PMString& name);
const BRNPackage* FindPackage(const BRNPackageList& list, const PMString& name);
// Removes the first package of that exact name; true when one was removed.
bool RemovePackage(BRNPackageList& list, const PMString& name);
