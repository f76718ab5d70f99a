// Any text as a template evaluated against a small package, and as the format and substring
// of a tag applied to fixed values.
#include "base/PMString.h"
#include "logic/BRNPackageUtils.h"
#include "model/BRNPackage.h"
#include "ui/CAlert.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

BRNField Field(const char* name, const char* shortName, int32 type, const char* value) {
    BRNField f{PMString(name)};
    f.SetShortName(PMString(shortName));
    f.SetType(type);
    f.SetValue(PMString(value));
    return f;
}

// Fields of several types; one is named by its name only, one is required and empty, and
// one is calculated from others.
BRNPackage MakePackage() {
    BRNFieldList fields;
    fields.push_back(Field("Title", "T", kBRNTypeString, "Hello, world"));
    fields.push_back(Field("Count", "N", kBRNTypeInteger, "42"));
    fields.push_back(Field("Ratio", "R", kBRNTypeDecimal, "-7.25"));
    fields.push_back(Field("Due", "D", kBRNTypeDate, "2024/05/17"));
    fields.push_back(Field("Notes", "", kBRNTypeText,
                           "Gr\xC3\xBC\xC3\x9F"
                           "e <b>&amp;</b> \"q\""));
    BRNField required = Field("Owner", "O", kBRNTypeString, "");
    required.SetRequired(kTrue);
    fields.push_back(required);
    BRNField calc = Field("Code", "C", kBRNTypeCalculatedString, "");
    calc.SetDefaultValue(PMString("<cvbrindle:T substring=\"0,5\">-<cvbrindle:N format=\"%04d\">"));
    fields.push_back(calc);
    BRNPackage package(fields, PMString("Fuzz"), PMString(), 0);
    package.SetEnabled(kTrue);
    BRNPackageUtils::UpdateCalculatedFields(package);
    return package;
}

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Alerts take their default answer and print nothing.
    CAlert::SetSink(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const BRNPackage package = MakePackage();
    const PMString input(std::string_view(reinterpret_cast<const char*>(data), size));

    for (bool16 escape : {kFalse, kTrue}) {
        bool16 ok = kTrue;
        PMString out = BRNPackageUtils::EvaluateTags(package, input, &ok, escape, escape);
        // A template that fails the check comes back as it was.
        if (!ok && !(out == input)) Fail("failed evaluation changed the template");
    }

    // The input as the template of the calculated field.
    BRNPackage copy = package;
    for (BRNField& f : copy.Fields())
        if (f.GetType() == kBRNTypeCalculatedString) f.SetDefaultValue(input);
    BRNPackageUtils::UpdateCalculatedFields(copy);

    PMString formatBody(" format=\"");
    formatBody.Append(input);
    formatBody.Append("\"");
    PMString substringBody(" substring=\"");
    substringBody.Append(input);
    substringBody.Append("\"");
    for (const char* value : {"42", "-7.25e3",
                              "Gr\xC3\xBC\xC3\x9F"
                              "e, world",
                              ""}) {
        const PMString v(value);
        PMString formatted = BRNPackageUtils::FormatTagValue(formatBody, v);
        // The output is bounded by the value plus 512 characters.
        if (formatted.CharCount() > v.CharCount() + 512) Fail("formatted value too long");
        PMString part = BRNPackageUtils::SubstringTagValue(substringBody, v);
        if (part.CharCount() > v.CharCount()) Fail("substring longer than the value");
    }
    return 0;
}
