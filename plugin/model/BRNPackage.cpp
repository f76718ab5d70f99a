#include "model/BRNPackage.h"

#include "CVLog.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace {
PMString Untranslatable(PMString s) {
    s.SetTranslatable(kFalse);
    return s;
}

WideString TrueFalse(bool16 v) {
    return WideString(v ? "True" : "False");
}

void WriteList(IXMLOutStream* out, const char* element, const PMStringList& values) {
    out->Push(WideString(element), kTrue);
    for (const auto& v : values) {
        out->PushWithAttributes(WideString("value"), {{WideString("name"), WideString(v)}}, kTrue);
        out->Pop(kTrue);
    }
    out->Pop(kTrue);
}
} // namespace

uint32 BRNPackage::Hash(const PMString& text) {
    uint32 h = 0;
    for (char16_t c : text.Units())
        h = (h * 32u + c) % 33554393u;
    return h;
}

BRNPackage::BRNPackage() = default;

BRNPackage::BRNPackage(const PMString& name, const PMString& password, int32 timestamp)
    : fName(Untranslatable(name)), fPassword(password), fLocked(kFalse), fModified(kTrue), fVersion(0),
      fPasswordCheck(Hash(name) + Hash(password) + 1), fTimestamp(timestamp) {}

BRNPackage::BRNPackage(const BRNFieldList& fields, const PMString& name, const PMString& password,
                       int32 timestamp)
    : BRNPackage(name, password, timestamp) {
    fFields = fields;
}

bool16 BRNPackage::Unlock(const PMString& password) {
    bool16 ok = CheckPassword(password);
    if (ok) fLocked = kFalse;
    return ok;
}

bool16 BRNPackage::CheckPassword(const PMString& password) const {
    return Hash(fName) + Hash(password) + 1 == fPasswordCheck ? kTrue : kFalse;
}

BRNField* BRNPackage::FindField(const PMString& shortName) {
    auto it = std::find_if(fFields.begin(), fFields.end(),
                           [&](const BRNField& f) { return f.GetShortName() == shortName; });
    return it == fFields.end() ? nullptr : &*it;
}

const BRNField* BRNPackage::FindField(const PMString& shortName) const {
    return const_cast<BRNPackage*>(this)->FindField(shortName);
}

void BRNPackage::SetPassword(const PMString& password) {
    fPassword = password;
    fPasswordCheck = Hash(fName) + Hash(fPassword) + 1;
    fLocked = kFalse;
}

void BRNPackage::SetName(const PMString& name) {
    fName = Untranslatable(name);
}

void BRNPackage::RaiseVersion() {
    fVersion = NextVersion();
    fModified = kFalse;
}

uint32 BRNPackage::NextVersion() const {
    return fVersion == std::numeric_limits<uint32>::max() ? fVersion : fVersion + 1;
}

bool BRNPackage::ParseVersion(std::string_view text, uint32* version) {
    uint64_t v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > std::numeric_limits<uint32>::max()) return false;
    }
    *version = static_cast<uint32>(v);
    return true;
}

int32 BRNPackage::CompareVersion(uint32 version) const {
    if (version < fVersion) return -1;
    if (version > fVersion) return 1;
    return fModified ? -1 : 0;
}

PMString BRNPackage::GetVersionString() const {
    return PMString::AsNumber(fVersion);
}

void BRNPackage::WriteElement(IXMLOutStream* out) const {
    CV_TRACE("BRNPackage::WriteElement");
    if (!out) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    IXMLOutStream::AttributeList pa{
        {WideString("name"), WideString(fName)},
        {WideString("password"), WideString(fPassword)},
        {WideString("version"), WideString(std::to_string(fVersion))},
        {WideString("timestamp"), WideString(std::to_string(GetTimestamp()))},
    };
    if (fModified) pa.emplace_back(WideString("modified"), WideString("true"));
    out->PushWithAttributes(WideString("package"), pa, kTrue);
    for (const BRNField& f : fFields) {
        const int32 type = f.GetType();
        IXMLOutStream::AttributeList a;
        a.reserve(16);
        a.emplace_back(WideString("Name"), WideString(f.GetName()));
        a.emplace_back(WideString("ShortName"), WideString(f.GetShortName()));
        a.emplace_back(WideString("Description"), WideString(f.GetDescription()));
        a.emplace_back(WideString("Required"), TrueFalse(f.GetRequired()));
        a.emplace_back(WideString("Value"),
                       type == kBRNTypeBoolean ? TrueFalse(f.GetBoolValue()) : WideString(f.GetValue()));
        if (type == kBRNTypeText || type == kBRNTypeMultiChoice)
            a.emplace_back(WideString("VisibleLines"), WideString(std::to_string(f.GetVisibleLines())));
        if (type == kBRNTypeMultiChoice)
            a.emplace_back(WideString("AllowUserValues"), TrueFalse(f.GetAllowUserValues()));
        a.emplace_back(WideString("Type"), WideString(std::to_string(type)));
        a.emplace_back(WideString("HasDefault"), TrueFalse(f.GetHasDefault()));
        if (f.GetHasDefault() && type != kBRNTypeMultiChoice)
            a.emplace_back(WideString("DefaultValue"), WideString(f.GetDefaultValue()));
        if (type == kBRNTypeCalculatedString) {
            a.emplace_back(WideString("AllowUserValues"), TrueFalse(f.GetAllowUserValues()));
            a.emplace_back(WideString("FieldOverridden"), TrueFalse(f.GetFieldOverridden()));
        }
        a.emplace_back(WideString("Hidden"), TrueFalse(f.GetHidden()));
        a.emplace_back(WideString("ReadOnly"), TrueFalse(f.GetReadOnly()));
        out->PushWithAttributes(WideString("field"), a, kTrue);
        bool options = type != kBRNTypeString && type != kBRNTypeInteger && type != kBRNTypeBoolean &&
                       type != kBRNTypeCalculatedString;
        if (options) WriteList(out, "options", f.GetOptions());
        if (type == kBRNTypeMultiChoice) {
            if (f.GetHasDefault()) WriteList(out, "DefaultValues", f.GetDefaultValues());
            WriteList(out, "SelectedValues", f.GetSelectedValues());
        }
        out->Pop(kTrue);
    }
    out->Pop(kTrue);
    CV_RETURN_VOID();
}

BRNPackage* FindPackage(BRNPackageList& list, const PMString& name) {
    auto it =
        std::find_if(list.begin(), list.end(), [&](const BRNPackage& p) { return p.GetName() == name; });
    return it == list.end() ? nullptr : &*it;
}

const BRNPackage* FindPackage(const BRNPackageList& list, const PMString& name) {
    return FindPackage(const_cast<BRNPackageList&>(list), name);
}

bool RemovePackage(BRNPackageList& list, const PMString& name) {
    auto it =
        std::find_if(list.begin(), list.end(), [&](const BRNPackage& p) { return p.GetName() == name; });
    if (it == list.end()) return false;
    list.erase(it);
    return true;
}
