// PMString: the host's UI text, UTF-16 code units plus a "translatable" flag.
// Translation looks the text up as a key in the host's string table.
#pragma once

#include "base/PMTypes.h"

#include <compare>
#include <string>
#include <string_view>

class WideString;

class PMString {
public:
    enum TranslationControl { kTranslateDuringCall, kDontTranslateDuringCall };
    // How StripWhiteSpace treats the text; value 2 strips both ends.
    enum StripType { kLeadingWhiteSpace = 0, kTrailingWhiteSpace = 1, kLeadingAndTrailingWhiteSpace = 2,
                     kAllWhiteSpace = 3 };

    PMString() = default;
    PMString(const char* utf8);
    PMString(const std::string& utf8);
    PMString(std::string_view utf8);
    PMString(std::u16string units) : fText(std::move(units)) {}
    PMString(const char16_t* units) : fText(units) {}
    explicit PMString(const WideString& w);

    // Text
    const std::u16string& Units() const { return fText; }
    std::u16string& Units() { return fText; }
    std::string GetUTF8String() const;
    // The platform's 8-bit encoding is UTF-8 on this host.
    std::string GetPlatformString() const { return GetUTF8String(); }
    int32 CharCount() const { return static_cast<int32>(fText.size()); }
    bool IsEmpty() const { return fText.empty(); }
    void clear() { fText.clear(); }
    void Clear() { fText.clear(); }
    textchar operator[](int32 i) const { return fText[static_cast<size_t>(i)]; }

    void Append(const PMString& s) { fText += s.fText; }
    void Append(const char* utf8);
    void Append(textchar c) { fText.push_back(c); }
    void AppendNumber(int64 n);
    void Insert(const PMString& s, int32 pos = 0);
    void Remove(int32 pos, int32 count);
    PMString Substring(int32 pos, int32 count = -1) const;
    // Position of the first occurrence at or after start, or -1.
    int32 IndexOfString(const PMString& s, int32 start = 0) const;
    int32 IndexOfCharacter(textchar c, int32 start = 0) const;
    bool Contains(const PMString& s) const { return IndexOfString(s) >= 0; }
    void SetString(const PMString& s) { fText = s.fText; }
    void ToLower();
    bool IsEqualNoCase(const PMString& other) const;

    // Numbers. errorCode (when given) becomes 0 when the whole text (after blanks)
    // is a number, else 1; the value is what could be read, or 0.
    int32 GetAsNumber(int32* errorCode = nullptr) const;
    double GetAsDouble(int32* errorCode = nullptr) const;
    void AppendNumber(double d, int32 digits);
    static PMString AsNumber(int64 n);

    void StripWhiteSpace(StripType mode = kLeadingAndTrailingWhiteSpace);

    // Translation
    void SetTranslatable(bool16 t) { fTranslatable = t != 0; }
    bool16 GetTranslatable() const { return fTranslatable ? kTrue : kFalse; }
    void Translate();

    PMString& operator+=(const PMString& s) { Append(s); return *this; }
    PMString& operator+=(const char* s) { Append(s); return *this; }
    friend PMString operator+(PMString a, const PMString& b) { a.Append(b); return a; }

    // The host's ordering: by UTF-16 code units; translatable flag does not count.
    friend bool operator==(const PMString& a, const PMString& b) { return a.fText == b.fText; }
    friend std::strong_ordering operator<=>(const PMString& a, const PMString& b) {
        return a.fText <=> b.fText;
    }

private:
    std::u16string fText;
    bool fTranslatable = true;
};

// Text conversions shared across the host; UTF-8 that is not valid is repaired
// (invalid sequences become U+FFFD) rather than rejected.
namespace StringUtils {
std::u16string UTF8ToUTF16(std::string_view utf8);
std::string UTF16ToUTF8(std::u16string_view utf16);
} // namespace StringUtils
