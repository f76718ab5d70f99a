// Small helpers over exempi shared by the packet and file code.
#pragma once

#include <exempi/xmp.h>

#include <string>
#include <string_view>

namespace xmptext {

constexpr std::string_view kRDFNamespace = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

// An exempi string, freed on scope exit.
class XmpText {
public:
    XmpText() : fString(xmp_string_new()) {}
    ~XmpText() {
        if (fString) xmp_string_free(fString);
    }
    XmpText(const XmpText&) = delete;
    XmpText& operator=(const XmpText&) = delete;
    XmpStringPtr get() const { return fString; }
    std::string str() const {
        if (!fString) return {};
        const char* s = xmp_string_cstr(fString);
        return s ? std::string(s, xmp_string_len(fString)) : std::string();
    }

private:
    XmpStringPtr fString;
};

} // namespace xmptext
