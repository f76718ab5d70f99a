// Calculated fields and text tags.
#include "logic/BRNPackageUtils.h"

#include "CVLog.h"
#include "CVUtils.h"
#include "files/BRNUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/CAlert.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace BRNPackageUtils {

const char16_t* const kTagPrefix = u"<cvbrindle:";

namespace {

constexpr size_t kNone = std::u16string::npos;
const std::u16string kPrefix = u"<cvbrindle:";

// Where one tag sits in a template.
struct TagPosition {
    size_t prefix = kNone; // position of "<cvbrindle:"
    size_t nameStart = 0;
    size_t nameEnd = 0;
    size_t bodyEnd = 0;
    size_t close = kNone; // position of the first ">" after the name
    bool slashClosed = false;
};

// Finds the next tag at or after from; false when no prefix follows.
bool LocateTag(const std::u16string& t, size_t from, TagPosition* tag) {
    tag->prefix = t.find(kPrefix, from);
    if (tag->prefix == kNone) return false;
    tag->nameStart = tag->prefix + kPrefix.size();
    tag->close = t.find(u'>', tag->nameStart);
    tag->slashClosed = tag->close != kNone && tag->close > tag->nameStart && t[tag->close - 1] == u'/';
    tag->bodyEnd = tag->slashClosed ? tag->close - 1 : tag->close;
    const size_t limit = tag->close == kNone ? t.size() : tag->close;
    size_t blank = std::u16string_view(t).substr(0, limit).find(u' ', tag->nameStart);
    tag->nameEnd = (blank != kNone && blank <= tag->bodyEnd) ? blank : tag->bodyEnd;
    return true;
}

bool IsReserved(const std::u16string& name) {
    return name == u"package" || name == u"version" || name == u"enabled";
}

PMString Untranslatable(PMString s) {
    s.SetTranslatable(kFalse);
    return s;
}

PMString Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return s;
}

using FieldIndex = std::unordered_map<std::u16string_view, const BRNField*>;

// Each name and short name to the first field that carries it.
FieldIndex IndexFields(const BRNPackage& package) {
    FieldIndex index;
    index.reserve(2 * package.GetFields().size());
    for (const BRNField& f : package.GetFields()) {
        if (!f.GetName().IsEmpty()) index.emplace(f.GetName().Units(), &f);
        if (!f.GetShortName().IsEmpty()) index.emplace(f.GetShortName().Units(), &f);
    }
    return index;
}

PMString Replacement(const BRNPackage& package, const FieldIndex& index, const std::u16string& name) {
    PMString lower(name);
    lower.ToLower();
    if (lower.Units() == u"package") return package.GetName();
    if (lower.Units() == u"version") return package.GetVersionString();
    if (lower.Units() == u"enabled") return PMString(package.GetEnabled() ? "True" : "False");
    auto it = index.find(std::u16string_view(name));
    return it == index.end() ? PMString() : it->second->GetValue();
}

// The text of attr="..." in the body, after a blank; false when absent or unterminated.
bool AttributeText(const std::u16string& body, const std::u16string& attr, std::u16string* text) {
    std::u16string key = u" " + attr + u"=\"";
    size_t at = body.find(key);
    if (at == kNone) return false;
    size_t start = at + key.size();
    size_t end = body.find(u'"', start);
    if (end == kNone) return false;
    *text = body.substr(start, end - start);
    return true;
}

// A checked printf specification: literal text, exactly one conversion, literal text.
struct FormatSpec {
    std::string text; // the whole specification, ASCII
    char conversion = 0;
};

bool ParseFormatSpec(const std::u16string& spec, FormatSpec* out) {
    std::string s;
    for (char16_t c : spec) {
        // Only printable ASCII: the format text is handed to the C library.
        if (c < 0x20 || c > 0x7E) return false;
        s.push_back(static_cast<char>(c));
    }
    int conversions = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '%') continue;
        if (i + 1 < s.size() && s[i + 1] == '%') {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < s.size() && std::string_view("-+ #0").find(s[j]) != std::string_view::npos)
            ++j;
        size_t widthStart = j;
        while (j < s.size() && s[j] >= '0' && s[j] <= '9')
            ++j;
        if (j - widthStart > 4) return false;
        if (j < s.size() && s[j] == '.') {
            size_t precStart = ++j;
            while (j < s.size() && s[j] >= '0' && s[j] <= '9')
                ++j;
            if (j - precStart > 4) return false;
        }
        if (j >= s.size()) return false;
        if (std::string_view("diouxXeEfgGs").find(s[j]) == std::string_view::npos) return false;
        out->conversion = s[j];
        ++conversions;
        i = j;
    }
    if (conversions != 1) return false;
    out->text = std::move(s);
    return true;
}

} // namespace

BRNTagList GetTagList(const BRNPackage* package) {
    CV_TRACE("BRNPackageUtils::GetTagList");
    BRNTagList list;
    const PMString prefix(kTagPrefix);
    list.emplace_back(Untranslatable(prefix + PMString("package>")), Translated("0xA8260kBRNNameTagDesc"));
    list.emplace_back(Untranslatable(prefix + PMString("version>")), Translated("0xA8260kBRNVersionTagDesc"));
    list.emplace_back(Untranslatable(prefix + PMString("enabled>")), Translated("0xA8260kBRNEnabledTagDesc"));
    if (!package) return list;
    list.reserve(3 + package->GetFields().size());
    for (const BRNField& f : package->GetFields()) {
        PMString tag = prefix;
        tag.Append(f.GetShortName().IsEmpty() ? f.GetName() : f.GetShortName());
        tag.Append(u'>');
        list.emplace_back(Untranslatable(tag), Untranslatable(f.GetDescription()));
    }
    return list;
}

BRNTagList GetTagList(const PMString& packageName) {
    InterfacePtr<IBRNPrefs> prefs(QueryPrefs());
    if (!prefs) {
        CV_LOG_FAILED();
        return GetTagList(nullptr);
    }
    return GetTagList(prefs->FindPackage(packageName));
}

PMString FindTagFault(const BRNPackage& package, const PMString& templateText, bool16 checkRequired) {
    const std::u16string& t = templateText.Units();
    if (t.find(kPrefix) == kNone) return PMString();
    // The names GetTagList offers, without building its entries.
    std::unordered_set<std::u16string_view> offeredTags{u"package", u"version", u"enabled"};
    offeredTags.reserve(3 + package.GetFields().size());
    for (const BRNField& f : package.GetFields())
        offeredTags.insert((f.GetShortName().IsEmpty() ? f.GetName() : f.GetShortName()).Units());
    size_t scan = 0;
    TagPosition tag;
    while (scan <= t.size() && LocateTag(t, scan, &tag)) {
        if (tag.close == kNone || tag.nameEnd <= tag.nameStart)
            return Untranslatable(Translated("0xA8260kBRNErrorInTagsStringKey"));
        std::u16string name = t.substr(tag.nameStart, tag.nameEnd - tag.nameStart);
        bool offered = offeredTags.count(std::u16string_view(name)) != 0;
        if (!offered) {
            PMString m = Translated("0xA8260kBRNNoTagStringKey");
            m.Append(PMString(u" " + kPrefix + name + (tag.slashClosed ? u"/>" : u">")));
            return Untranslatable(m);
        }
        if (checkRequired && !IsReserved(name)) {
            for (const BRNField& f : package.GetFields()) {
                if (f.GetName().Units() != name && f.GetShortName().Units() != name) continue;
                int32 type = f.GetType();
                bool textual = type == kBRNTypeString || type == kBRNTypeInteger || type == kBRNTypeChoice ||
                               type == kBRNTypeChoiceString || type == kBRNTypeDirectory ||
                               type == kBRNTypeText || type == kBRNTypeMultiChoice;
                if (f.GetRequired() && textual && f.GetValue().IsEmpty()) {
                    PMString m = Translated("0xA8260kBRNReqfieldError");
                    m.Append(f.GetName());
                    return Untranslatable(m);
                }
            }
        }
        scan = tag.close + 1;
    }
    return PMString();
}

bool16 CheckTags(const BRNPackage& package, const PMString& templateText, bool16 checkRequired) {
    CV_TRACE("BRNPackageUtils::CheckTags");
    const PMString fault = FindTagFault(package, templateText, checkRequired);
    if (fault.IsEmpty()) return kTrue;
    CAlert::WarningAlert(fault);
    return kFalse;
}

PMString EvaluateTags(const BRNPackage& package, const PMString& templateText, bool16* ok, bool16 escape,
                      bool16 checkRequired) {
    CV_TRACE("BRNPackageUtils::EvaluateTags");
    if (!CheckTags(package, templateText, checkRequired)) {
        if (ok) *ok = kFalse;
        return templateText;
    }
    if (ok) *ok = kTrue;
    const std::u16string& t = templateText.Units();
    std::u16string result;
    result.reserve(t.size());
    const FieldIndex index = IndexFields(package);
    size_t scan = 0;
    TagPosition tag;
    while (scan < t.size() && LocateTag(t, scan, &tag)) {
        result.append(t, scan, tag.prefix - scan);
        std::u16string name = t.substr(tag.nameStart, tag.nameEnd - tag.nameStart);
        PMString body(t.substr(tag.nameStart, tag.bodyEnd - tag.nameStart));
        PMString value = Replacement(package, index, name);
        value = SubstringTagValue(body, FormatTagValue(body, value));
        if (escape) value = BRNUtils::EscapeValue(value);
        result += value.Units();
        scan = tag.close + 1;
    }
    if (scan < t.size()) result.append(t, scan, kNone);
    return Untranslatable(PMString(std::move(result)));
}

PMString FormatTagValue(const PMString& tagBody, const PMString& value) {
    std::u16string specText;
    if (!AttributeText(tagBody.Units(), u"format", &specText)) return value;
    FormatSpec spec;
    if (!ParseFormatSpec(specText, &spec)) return value;
    const size_t room = static_cast<size_t>(value.CharCount()) + 512;
    std::string out(room + 1, '\0');
    int n = -1;
    switch (spec.conversion) {
    case 'd':
    case 'i':
    case 'o':
    case 'x':
    case 'X': {
        int32 err = 0;
        int32 v = value.GetAsNumber(&err);
        if (err) return value;
        if (spec.conversion == 'd' || spec.conversion == 'i')
            n = std::snprintf(out.data(), out.size(), spec.text.c_str(), static_cast<int>(v));
        else
            n = std::snprintf(out.data(), out.size(), spec.text.c_str(), static_cast<unsigned>(v));
        break;
    }
    case 'e':
    case 'E':
    case 'f':
    case 'g':
    case 'G': {
        int32 err = 0;
        double v = value.GetAsDouble(&err);
        if (err) return value;
        n = std::snprintf(out.data(), out.size(), spec.text.c_str(), v);
        break;
    }
    case 's': {
        std::string utf8 = value.GetUTF8String();
        n = std::snprintf(out.data(), out.size(), spec.text.c_str(), utf8.c_str());
        break;
    }
    default:
        return value;
    }
    if (n < 0 || static_cast<size_t>(n) > room) return value;
    out.resize(static_cast<size_t>(n));
    PMString formatted(out);
    // Precision on %s may cut a character in half; the conversion repairs it.
    if (formatted.CharCount() > static_cast<int32>(room)) return value;
    formatted.SetTranslatable(kFalse);
    return formatted;
}

PMString SubstringTagValue(const PMString& tagBody, const PMString& value) {
    std::u16string specText;
    if (!AttributeText(tagBody.Units(), u"substring", &specText)) return value;
    std::vector<PMString> parts;
    {
        // Empty leading parts kept, a trailing empty part dropped, no trimming.
        size_t start = 0;
        for (size_t i = 0; i < specText.size(); ++i) {
            if (specText[i] == u',') {
                parts.emplace_back(specText.substr(start, i - start));
                start = i + 1;
            }
        }
        if (start < specText.size()) parts.emplace_back(specText.substr(start));
    }
    if (parts.empty()) return value;
    const int64 length = value.CharCount();
    int64 start = parts[0].GetAsNumber();
    if (start < 0) start += length;
    if (start < 0) start = 0;
    if (start >= length) return Untranslatable(PMString());
    int64 count = parts.size() > 1 ? parts[1].GetAsNumber() : std::numeric_limits<int32>::max();
    if (count < 0) return value;
    return Untranslatable(
        value.Substring(static_cast<int32>(start), static_cast<int32>(std::min(count, length - start))));
}

int32 UpdateCalculatedField(const BRNPackage& package, BRNField& field) {
    CV_TRACE("BRNPackageUtils::UpdateCalculatedField");
    if (field.GetType() != kBRNTypeCalculatedString || field.GetFieldOverridden()) return 0;
    bool16 ok = kFalse;
    PMString value = EvaluateTags(package, field.GetDefaultValue(), &ok, kFalse, kFalse);
    if (!ok) return -1;
    value.SetTranslatable(kFalse);
    field.SetValue(value);
    return 1;
}

int32 UpdateCalculatedFields(BRNPackage& package) {
    CV_TRACE("BRNPackageUtils::UpdateCalculatedFields");
    BRNFieldList copy = package.GetFields();
    int32 updated = 0;
    for (BRNField& f : copy) {
        if (f.GetType() != kBRNTypeCalculatedString || f.GetFieldOverridden()) continue;
        // Evaluated against the package as it was before this pass.
        if (UpdateCalculatedField(package, f) < 0) return -1;
        ++updated;
    }
    if (updated > 0) package.SetFields(copy);
    return updated;
}

} // namespace BRNPackageUtils
