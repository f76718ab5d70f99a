// Calculated fields and text tags.
#include "logic/BRNPackageUtils.h"

#include "CVLog.h"
#include "CVUtils.h"
#include "files/BRNUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/CAlert.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
using View = std::u16string_view;
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

// The replacement text of a tag name; storage holds the text of a package tag.
View Replacement(const BRNPackage& package, const FieldIndex& index, const std::u16string& name,
                 PMString* storage) {
    PMString lower(name);
    lower.ToLower();
    if (lower.Units() == u"package")
        *storage = package.GetName();
    else if (lower.Units() == u"version")
        *storage = package.GetVersionString();
    else if (lower.Units() == u"enabled")
        *storage = PMString(package.GetEnabled() ? "True" : "False");
    else {
        auto it = index.find(View(name));
        return it == index.end() ? View() : View(it->second->GetValueRef().Units());
    }
    return View(storage->Units());
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

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// The unit index n code points on from the index from (or the end), and how many code points
// were passed. A surrogate pair is one code point; a lone surrogate counts as one.
size_t AdvanceCodePoints(View v, size_t from, uint64_t n, uint64_t* passed) {
    size_t i = from;
    uint64_t k = 0;
    while (i < v.size() && k < n) {
        i += (IsHighSurrogate(v[i]) && i + 1 < v.size() && IsLowSurrogate(v[i + 1])) ? 2 : 1;
        ++k;
    }
    if (passed) *passed = k;
    return i;
}

// The number of code points of v, counting no further than limit.
uint64_t CodePointsUpTo(View v, uint64_t limit) {
    uint64_t n = 0;
    AdvanceCodePoints(v, 0, limit, &n);
    return n;
}

// A tag's text before its substring is taken: pieces that are read in order, so that a long
// value is never copied to be formatted or cut.
using Pieces = std::vector<View>;

// A checked printf format: literal text, exactly one conversion, literal text. Only
// the conversion goes to the C library; the literal text may hold any character.
struct FormatSpec {
    std::u16string before, after; // literal text, "%%" already one "%"
    std::string conversionText;   // "%", flags, width, precision, conversion: ASCII
    char conversion = 0;
    bool leftAlign = false;
    int width = 0;
    int precision = -1; // none
};

bool ParseFormatSpec(View spec, FormatSpec* out) {
    int conversions = 0;
    for (size_t i = 0; i < spec.size(); ++i) {
        const char16_t c = spec[i];
        // Control characters are refused, as are surrogates that do not make a pair.
        if (c < 0x20 || c == 0x7F) return false;
        if (IsHighSurrogate(c)) {
            if (i + 1 >= spec.size() || !IsLowSurrogate(spec[i + 1])) return false;
            (conversions ? out->after : out->before).append(spec.substr(i, 2));
            ++i;
            continue;
        }
        if (IsLowSurrogate(c)) return false;
        if (c != u'%') {
            (conversions ? out->after : out->before).push_back(c);
            continue;
        }
        if (i + 1 < spec.size() && spec[i + 1] == u'%') {
            (conversions ? out->after : out->before).push_back(u'%');
            ++i;
            continue;
        }
        if (++conversions > 1) return false;
        std::string conv("%");
        size_t j = i + 1;
        while (j < spec.size() && spec[j] < 0x80 &&
               std::string_view("-+ #0").find(static_cast<char>(spec[j])) != std::string_view::npos) {
            if (spec[j] == u'-') out->leftAlign = true;
            conv.push_back(static_cast<char>(spec[j++]));
        }
        size_t digits = j;
        while (j < spec.size() && spec[j] >= u'0' && spec[j] <= u'9') {
            if (j - digits >= 4) return false; // at most four digits
            out->width = out->width * 10 + (spec[j] - u'0');
            conv.push_back(static_cast<char>(spec[j++]));
        }
        if (j - digits > 4) return false;
        if (j < spec.size() && spec[j] == u'.') {
            conv.push_back('.');
            digits = ++j;
            out->precision = 0;
            while (j < spec.size() && spec[j] >= u'0' && spec[j] <= u'9') {
                if (j - digits >= 4) return false;
                out->precision = out->precision * 10 + (spec[j] - u'0');
                conv.push_back(static_cast<char>(spec[j++]));
            }
            if (j - digits > 4) return false;
        }
        if (j >= spec.size() || spec[j] >= 0x80) return false;
        const char letter = static_cast<char>(spec[j]);
        if (std::string_view("dioxXeEfgGs").find(letter) == std::string_view::npos) return false;
        conv.push_back(letter);
        out->conversion = letter;
        out->conversionText = std::move(conv);
        i = j;
    }
    return conversions == 1;
}

// Longer texts are not read as numbers, so that formatting a number never reads a whole
// long value.
constexpr size_t kMaxNumberText = 1024;

// A value formatted by a tag: owned parts around a view of the value.
struct Formatted {
    std::u16string before, after, padding, number;
    View value;        // the value's part (%s)
    bool isNumber = false;
    bool padFirst = true;
    Pieces Parts() const {
        if (isNumber) return {before, number, after};
        return padFirst ? Pieces{before, padding, value, after} : Pieces{before, value, padding, after};
    }
};

// Applies the tag's format to the value; false (value unchanged) when the format text is
// refused, the value does not read as a number under a numeric conversion, or the output
// would be longer than the value plus 512 characters. Widths, precisions and lengths count
// characters (code points). The work is bounded by the output, not by the value's length.
bool FormatValue(View body, View value, Formatted* out) {
    std::u16string specText;
    if (!AttributeText(std::u16string(body), u"format", &specText)) return false;
    FormatSpec spec;
    if (!ParseFormatSpec(specText, &spec)) return false;
    const uint64_t literal = CodePointsUpTo(spec.before, UINT64_MAX) + CodePointsUpTo(spec.after, UINT64_MAX);
    uint64_t outLength = 0;
    if (spec.conversion == 's') {
        uint64_t taken = 0;
        const size_t end = AdvanceCodePoints(value, 0, spec.precision < 0 ? UINT64_MAX : spec.precision, &taken);
        const uint64_t pad = static_cast<uint64_t>(spec.width) > taken ? spec.width - taken : 0;
        outLength = literal + taken + pad;
        out->value = value.substr(0, end);
        out->padding.assign(pad, u' ');
        out->padFirst = !spec.leftAlign;
    } else {
        if (value.size() > kMaxNumberText) return false;
        const PMString number{std::u16string(value)};
        int32 err = 0;
        int n = -1;
        std::string text;
        auto print = [&](auto v) {
            n = std::snprintf(nullptr, 0, spec.conversionText.c_str(), v);
            if (n < 0) return;
            text.assign(static_cast<size_t>(n) + 1, '\0');
            n = std::snprintf(text.data(), text.size(), spec.conversionText.c_str(), v);
        };
        if (std::string_view("dioxX").find(spec.conversion) != std::string_view::npos) {
            const int32 v = number.GetAsNumber(&err);
            if (err) return false;
            if (spec.conversion == 'd' || spec.conversion == 'i')
                print(static_cast<int>(v));
            else
                print(static_cast<unsigned>(v));
        } else {
            const double v = number.GetAsDouble(&err);
            if (err) return false;
            print(v);
        }
        if (n < 0) return false;
        text.resize(static_cast<size_t>(n));
        out->number.assign(text.begin(), text.end());
        out->isNumber = true;
        outLength = literal + static_cast<uint64_t>(n);
    }
    // The value needs to be counted only as far as the output reaches.
    if (outLength > 512 && CodePointsUpTo(value, outLength - 512) < outLength - 512) return false;
    out->before = std::move(spec.before);
    out->after = std::move(spec.after);
    return true;
}

// A number of a substring attribute: blanks around it, a sign, digits. Beyond 64 bits it
// is clamped; anything else reads as 0.
int64_t ClampedNumber(View text) {
    auto blank = [](char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); };
    size_t b = 0, e = text.size();
    while (b < e && blank(text[b])) ++b;
    while (e > b && blank(text[e - 1])) --e;
    bool negative = false;
    if (b < e && (text[b] == u'+' || text[b] == u'-')) negative = text[b++] == u'-';
    if (b == e) return 0;
    uint64_t magnitude = 0;
    bool clamped = false;
    for (size_t i = b; i < e; ++i) {
        if (text[i] < u'0' || text[i] > u'9') return 0;
        const uint64_t digit = text[i] - u'0';
        if (magnitude > (UINT64_MAX - digit) / 10)
            clamped = true;
        else
            magnitude = magnitude * 10 + digit;
    }
    const uint64_t limit = negative ? uint64_t(INT64_MAX) + 1 : uint64_t(INT64_MAX);
    if (clamped || magnitude > limit) magnitude = limit;
    return negative ? static_cast<int64_t>(~magnitude + 1) : static_cast<int64_t>(magnitude);
}

struct SubstringSpec {
    int64_t start = 0;
    int64_t count = -1; // to the end when absent
    bool hasCount = false;
};

bool ParseSubstringSpec(View body, SubstringSpec* out) {
    std::u16string specText;
    if (!AttributeText(std::u16string(body), u"substring", &specText)) return false;
    // Empty leading parts kept, a trailing empty part dropped, no trimming.
    std::vector<View> parts;
    const View spec(specText);
    size_t start = 0;
    for (size_t i = 0; i < spec.size(); ++i) {
        if (spec[i] == u',') {
            parts.push_back(spec.substr(start, i - start));
            start = i + 1;
        }
    }
    if (start < spec.size()) parts.push_back(spec.substr(start));
    if (parts.empty()) return false;
    out->start = ClampedNumber(parts[0]);
    if (parts.size() > 1) {
        out->hasCount = true;
        out->count = ClampedNumber(parts[1]);
    }
    return true;
}

// A place in pieces: which piece and which unit of it.
struct Place {
    size_t piece = 0;
    size_t unit = 0;
};

Place Settle(const Pieces& ps, Place p) {
    while (p.piece < ps.size() && p.unit >= ps[p.piece].size()) {
        ++p.piece;
        p.unit = 0;
    }
    return p;
}

// n code points on from p.
Place Forward(const Pieces& ps, Place p, uint64_t n) {
    p = Settle(ps, p);
    while (n > 0 && p.piece < ps.size()) {
        uint64_t passed = 0;
        p.unit = AdvanceCodePoints(ps[p.piece], p.unit, n, &passed);
        n -= passed;
        p = Settle(ps, p);
    }
    return p;
}

// n code points back from the end, or the start when there are fewer.
Place Backward(const Pieces& ps, uint64_t n) {
    for (size_t i = ps.size(); i-- > 0;) {
        const View v = ps[i];
        size_t u = v.size();
        while (u > 0 && n > 0) {
            u -= (u >= 2 && IsLowSurrogate(v[u - 1]) && IsHighSurrogate(v[u - 2])) ? 2 : 1;
            --n;
        }
        if (n == 0) return Settle(ps, {i, u});
    }
    return Settle(ps, {});
}

// Appends at most n code points from p.
void AppendFrom(const Pieces& ps, Place p, uint64_t n, std::u16string* out) {
    p = Settle(ps, p);
    while (n > 0 && p.piece < ps.size()) {
        const View v = ps[p.piece];
        uint64_t passed = 0;
        const size_t end = AdvanceCodePoints(v, p.unit, n, &passed);
        out->append(v.substr(p.unit, end - p.unit));
        n -= passed;
        p = {p.piece + 1, 0};
    }
}

// Appends the tag's substring of the pieces (all of them without a substring attribute).
// Starts and counts are code points; the work is bounded by the start and the output.
void AppendSubstring(View body, const Pieces& ps, std::u16string* out) {
    SubstringSpec spec;
    if (!ParseSubstringSpec(body, &spec)) {
        AppendFrom(ps, {}, UINT64_MAX, out);
        return;
    }
    const Place from = spec.start >= 0 ? Forward(ps, {}, static_cast<uint64_t>(spec.start))
                                       : Backward(ps, ~static_cast<uint64_t>(spec.start) + 1);
    if (from.piece >= ps.size()) return; // at or beyond the end: empty
    if (spec.hasCount && spec.count < 0) {
        AppendFrom(ps, {}, UINT64_MAX, out); // the whole value
        return;
    }
    AppendFrom(ps, from, spec.hasCount ? static_cast<uint64_t>(spec.count) : UINT64_MAX, out);
}

// The tag's value after its format and then its substring.
void AppendTagValue(View body, View value, std::u16string* out) {
    Formatted formatted;
    if (FormatValue(body, value, &formatted))
        AppendSubstring(body, formatted.Parts(), out);
    else
        AppendSubstring(body, Pieces{value}, out);
}

} // namespace

BRNTagList GetTagList(const BRNPackage* package) {
    CV_TRACE("BRNPackageUtils::GetTagList");
    BRNTagList list;
    const PMString prefix(kTagPrefix);
    list.emplace_back(Untranslatable(prefix + PMString("package>")), Translated("0xA8260kBRNNameTagDesc"));
    list.emplace_back(Untranslatable(prefix + PMString("version>")), Translated("0xA8260kBRNVersionTagDesc"));
    list.emplace_back(Untranslatable(prefix + PMString("enabled>")), Translated("0xA8260kBRNEnabledTagDesc"));
    if (!package) CV_RETURN(list);
    list.reserve(3 + package->GetFields().size());
    for (const BRNField& f : package->GetFields()) {
        PMString tag = prefix;
        tag.Append(f.GetShortName().IsEmpty() ? f.GetName() : f.GetShortName());
        tag.Append(u'>');
        list.emplace_back(Untranslatable(tag), Untranslatable(f.GetDescription()));
    }
    CV_RETURN(list);
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
    if (fault.IsEmpty()) CV_RETURN(kTrue);
    CAlert::WarningAlert(fault);
    CV_RETURN(kFalse);
}

PMString EvaluateTags(const BRNPackage& package, const PMString& templateText, bool16* ok, bool16 escape,
                      bool16 checkRequired) {
    CV_TRACE("BRNPackageUtils::EvaluateTags");
    if (!CheckTags(package, templateText, checkRequired)) {
        if (ok) *ok = kFalse;
        CV_RETURN(templateText);
    }
    const std::u16string& t = templateText.Units();
    std::u16string result;
    result.reserve(std::min<size_t>(t.size(), kMaxTemplateResultLength));
    const FieldIndex index = IndexFields(package);
    size_t scan = 0;
    TagPosition tag;
    std::u16string escaped;
    auto tooLong = [&]() {
        if (result.size() <= static_cast<size_t>(kMaxTemplateResultLength)) return false;
        PMString m = Translated("0xA8260kBRNTemplateTooLongStringKey");
        CV_LOG(30, "template result over " + std::to_string(kMaxTemplateResultLength) + " characters");
        CAlert::WarningAlert(Untranslatable(m));
        if (ok) *ok = kFalse;
        return true;
    };
    while (scan < t.size() && LocateTag(t, scan, &tag)) {
        result.append(t, scan, tag.prefix - scan);
        const std::u16string name = t.substr(tag.nameStart, tag.nameEnd - tag.nameStart);
        const View body = View(t).substr(tag.nameStart, tag.bodyEnd - tag.nameStart);
        PMString storage;
        const View value = Replacement(package, index, name, &storage);
        if (escape) {
            escaped.clear();
            AppendTagValue(body, value, &escaped);
            result += BRNUtils::EscapeValue(PMString(escaped)).Units();
        } else {
            AppendTagValue(body, value, &result);
        }
        if (tooLong()) CV_RETURN(templateText);
        scan = tag.close + 1;
    }
    if (scan < t.size()) result.append(t, scan, kNone);
    if (tooLong()) CV_RETURN(templateText);
    if (ok) *ok = kTrue;
    CV_RETURN(Untranslatable(PMString(std::move(result))));
}

PMString FormatTagValue(const PMString& tagBody, const PMString& value) {
    Formatted formatted;
    if (!FormatValue(tagBody.Units(), value.Units(), &formatted)) return value;
    std::u16string out;
    for (View part : formatted.Parts())
        out += part;
    return Untranslatable(PMString(std::move(out)));
}

PMString SubstringTagValue(const PMString& tagBody, const PMString& value) {
    std::u16string out;
    SubstringSpec spec;
    if (!ParseSubstringSpec(tagBody.Units(), &spec)) return value;
    AppendSubstring(tagBody.Units(), Pieces{View(value.Units())}, &out);
    return Untranslatable(PMString(std::move(out)));
}

int32 UpdateCalculatedField(const BRNPackage& package, BRNField& field) {
    CV_TRACE("BRNPackageUtils::UpdateCalculatedField");
    if (field.GetType() != kBRNTypeCalculatedString || field.GetFieldOverridden()) CV_RETURN(0);
    bool16 ok = kFalse;
    PMString value = EvaluateTags(package, field.GetDefaultValue(), &ok, kFalse, kFalse);
    if (!ok) {
        CV_TRACE_FAILED();
        return -1;
    }
    value.SetTranslatable(kFalse);
    field.SetValue(value);
    CV_RETURN(1);
}

int32 UpdateCalculatedFields(BRNPackage& package) {
    CV_TRACE("BRNPackageUtils::UpdateCalculatedFields");
    BRNFieldList copy = package.GetFields();
    int32 updated = 0;
    for (BRNField& f : copy) {
        if (f.GetType() != kBRNTypeCalculatedString || f.GetFieldOverridden()) continue;
        // Evaluated against the package as it was before this pass.
        if (UpdateCalculatedField(package, f) < 0) CV_RETURN_FAILED(-1);
        ++updated;
    }
    if (updated > 0) package.SetFields(copy);
    CV_RETURN(updated);
}

} // namespace BRNPackageUtils
