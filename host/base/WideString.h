// WideString: plain UTF-16 text without the translation flag.
#pragma once

#include "base/PMString.h"

class WideString {
public:
    WideString() = default;
    WideString(const char* utf8) : fText(StringUtils::UTF8ToUTF16(utf8)) {}
    WideString(std::string_view utf8) : fText(StringUtils::UTF8ToUTF16(utf8)) {}
    WideString(const std::string& utf8) : fText(StringUtils::UTF8ToUTF16(utf8)) {}
    WideString(std::u16string units) : fText(std::move(units)) {}
    explicit WideString(const PMString& s) : fText(s.Units()) {}

    const std::u16string& Units() const { return fText; }
    std::u16string& Units() { return fText; }
    int32 CharCount() const { return static_cast<int32>(fText.size()); }
    bool empty() const { return fText.empty(); }
    void Append(const WideString& w) { fText += w.fText; }
    void Append(textchar c) { fText.push_back(c); }
    std::string GetUTF8String() const { return StringUtils::UTF16ToUTF8(fText); }

    friend bool operator==(const WideString& a, const WideString& b) { return a.fText == b.fText; }
    friend auto operator<=>(const WideString& a, const WideString& b) { return a.fText <=> b.fText; }

private:
    std::u16string fText;
};
