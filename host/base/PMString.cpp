#include "base/PMString.h"

#include "base/LocaleStrings.h"
#include "base/WideString.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <utf8.h>

namespace StringUtils {

std::u16string UTF8ToUTF16(std::string_view utf8) {
    std::u16string out(utf8.size(), u'\0');
    // Most text the plug-in handles is ASCII: copy it unit by unit until the first byte
    // that is not, and convert (with validation) only from there.
    size_t i = 0;
    for (; i < utf8.size(); ++i) {
        auto c = static_cast<unsigned char>(utf8[i]);
        if (c >= 0x80) break;
        out[i] = c;
    }
    out.resize(i);
    if (i == utf8.size()) return out;
    std::string_view rest = utf8.substr(i);
    std::string fixed;
    if (!utf8::is_valid(rest.begin(), rest.end())) {
        utf8::replace_invalid(rest.begin(), rest.end(), std::back_inserter(fixed));
        rest = fixed;
    }
    // A UTF-8 sequence never needs more UTF-16 units than it has bytes.
    out.resize(i + rest.size());
    auto end = utf8::unchecked::utf8to16(rest.begin(), rest.end(), out.begin() + static_cast<std::ptrdiff_t>(i));
    out.resize(static_cast<size_t>(end - out.begin()));
    return out;
}

std::string UTF16ToUTF8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    // Fast path for ASCII, which is most of what the plug-in handles.
    size_t i = 0;
    for (; i < utf16.size() && utf16[i] < 0x80; ++i) out.push_back(static_cast<char>(utf16[i]));
    if (i == utf16.size()) return out;
    try {
        utf8::utf16to8(utf16.begin() + static_cast<std::ptrdiff_t>(i), utf16.end(), std::back_inserter(out));
    } catch (const utf8::exception&) {
        // A lone surrogate: convert unit by unit, replacing what cannot be encoded.
        out.resize(i);
        for (size_t j = i; j < utf16.size(); ++j) {
            char32_t c = utf16[j];
            if (c >= 0xD800 && c <= 0xDBFF && j + 1 < utf16.size() && utf16[j + 1] >= 0xDC00 &&
                utf16[j + 1] <= 0xDFFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (utf16[j + 1] - 0xDC00);
                ++j;
            } else if (c >= 0xD800 && c <= 0xDFFF) {
                c = 0xFFFD;
            }
            utf8::unchecked::append(c, std::back_inserter(out));
        }
    }
    return out;
}

} // namespace StringUtils

PMString::PMString(const char* utf8) : fText(StringUtils::UTF8ToUTF16(utf8 ? utf8 : "")) {}
PMString::PMString(const std::string& utf8) : fText(StringUtils::UTF8ToUTF16(utf8)) {}
PMString::PMString(std::string_view utf8) : fText(StringUtils::UTF8ToUTF16(utf8)) {}
PMString::PMString(const WideString& w) : fText(w.Units()) {}

std::string PMString::GetUTF8String() const { return StringUtils::UTF16ToUTF8(fText); }

void PMString::Append(const char* utf8) { fText += StringUtils::UTF8ToUTF16(utf8 ? utf8 : ""); }

void PMString::AppendNumber(int64 n) { Append(std::to_string(n).c_str()); }

void PMString::AppendNumber(double d, int32 digits) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", std::clamp(digits, 0, 30), d);
    Append(buf);
}

PMString PMString::AsNumber(int64 n) {
    PMString s;
    s.AppendNumber(n);
    s.SetTranslatable(kFalse);
    return s;
}

void PMString::Insert(const PMString& s, int32 pos) {
    pos = std::clamp(pos, 0, CharCount());
    fText.insert(static_cast<size_t>(pos), s.fText);
}

void PMString::Remove(int32 pos, int32 count) {
    if (pos < 0 || pos >= CharCount() || count <= 0) return;
    fText.erase(static_cast<size_t>(pos), static_cast<size_t>(count));
}

PMString PMString::Substring(int32 pos, int32 count) const {
    PMString out;
    out.fTranslatable = fTranslatable;
    if (pos < 0 || pos >= CharCount()) return out;
    size_t n = count < 0 ? std::u16string::npos : static_cast<size_t>(count);
    out.fText = fText.substr(static_cast<size_t>(pos), n);
    return out;
}

int32 PMString::IndexOfString(const PMString& s, int32 start) const {
    if (start < 0) start = 0;
    if (start > CharCount()) return -1;
    size_t at = fText.find(s.fText, static_cast<size_t>(start));
    return at == std::u16string::npos ? -1 : static_cast<int32>(at);
}

int32 PMString::IndexOfCharacter(textchar c, int32 start) const {
    if (start < 0) start = 0;
    if (start >= CharCount()) return -1;
    size_t at = fText.find(c, static_cast<size_t>(start));
    return at == std::u16string::npos ? -1 : static_cast<int32>(at);
}

void PMString::ToLower() {
    for (auto& c : fText)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
}

bool PMString::IsEqualNoCase(const PMString& other) const {
    if (fText.size() != other.fText.size()) return false;
    for (size_t i = 0; i < fText.size(); ++i) {
        char16_t a = fText[i], b = other.fText[i];
        if (a >= u'A' && a <= u'Z') a = static_cast<char16_t>(a + 32);
        if (b >= u'A' && b <= u'Z') b = static_cast<char16_t>(b + 32);
        if (a != b) return false;
    }
    return true;
}

namespace {
bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f' || c == u'\v' || c == 0xA0 ||
           c == 0x3000 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029;
}

// The trimmed ASCII form of a number text, or empty when anything else is in it.
std::string NumberText(const std::u16string& text) {
    size_t b = 0, e = text.size();
    while (b < e && IsSpace(text[b])) ++b;
    while (e > b && IsSpace(text[e - 1])) --e;
    std::string out;
    for (size_t i = b; i < e; ++i) {
        if (text[i] >= 0x80) return {};
        out.push_back(static_cast<char>(text[i]));
    }
    return out;
}
} // namespace

int32 PMString::GetAsNumber(int32* errorCode) const {
    std::string t = NumberText(fText);
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (first != last && *first == '+' && !(last - first > 1 && first[1] == '-')) ++first;
    int64 v = 0;
    auto [ptr, ec] = std::from_chars(first, last, v);
    bool ok = first != last && ec == std::errc() && ptr == last && v >= INT32_MIN && v <= INT32_MAX;
    if (errorCode) *errorCode = ok ? 0 : 1;
    return ok ? static_cast<int32>(v) : 0;
}

double PMString::GetAsDouble(int32* errorCode) const {
    std::string t = NumberText(fText);
    const char* first = t.data();
    const char* last = t.data() + t.size();
    if (first != last && *first == '+' && !(last - first > 1 && first[1] == '-')) ++first;
    double v = 0;
    auto [ptr, ec] = std::from_chars(first, last, v, std::chars_format::fixed | std::chars_format::scientific);
    bool ok = first != last && ec == std::errc() && ptr == last && std::isfinite(v);
    if (errorCode) *errorCode = ok ? 0 : 1;
    return ok ? v : 0.0;
}

void PMString::StripWhiteSpace(StripType mode) {
    if (mode == kAllWhiteSpace) {
        std::erase_if(fText, IsSpace);
        return;
    }
    if (mode == kTrailingWhiteSpace || mode == kLeadingAndTrailingWhiteSpace) {
        size_t e = fText.size();
        while (e > 0 && IsSpace(fText[e - 1])) --e;
        fText.resize(e);
    }
    if (mode == kLeadingWhiteSpace || mode == kLeadingAndTrailingWhiteSpace) {
        size_t b = 0;
        while (b < fText.size() && IsSpace(fText[b])) ++b;
        fText.erase(0, b);
    }
}

void PMString::Translate() {
    if (!fTranslatable) return;
    if (const std::u16string* t = LocaleStrings::Lookup(fText)) fText = *t;
    fTranslatable = false;
}
