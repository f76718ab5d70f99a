// Text tags: locating and checking tags, evaluating templates, the format and substring
// attributes, escaping, the tag list and the recomputation of calculated fields.
#include "files/BRNUtils.h"
#include "logic/BRNPackageUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using testsupport::Field;

namespace {

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

std::string Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return U8(s);
}

BRNField Calculated(const char* name, const char* shortName, const char* templateText,
                    const char* value = "") {
    BRNField f = Field(name, shortName, kBRNTypeCalculatedString, value);
    f.SetDefaultValue(PMString(templateText));
    return f;
}

BRNPackage Package(const BRNFieldList& fields, bool enabled = true) {
    BRNPackage p(fields, PMString("Editorial"), PMString(), 0);
    p.SetVersion(3);
    p.SetEnabled(enabled ? kTrue : kFalse);
    return p;
}

// A package with a field of each way of being referenced.
BRNPackage SamplePackage() {
    BRNField multi = Field("Keywords", "kw", kBRNTypeMultiChoice, "");
    multi.SetSelectedValues({PMString("Politics"), PMString("Economy")}, PMString(", "));
    BRNField flag = Field("Legal review", "LegalOK", kBRNTypeBoolean, "False");
    flag.SetBoolValue(kTrue); // the tag gives the stored text, not the flag
    BRNField due = Field("Copy deadline", "CopyDue", kBRNTypeDeadline, "");
    due.SetDeadline(BRNDeadline(PMString("2014/06/30"), PMString(), PMString("kim")));
    return Package({Field("Headline", "Head", kBRNTypeString, "Storm warning"),
                    Field("Issue", "", kBRNTypeInteger, "42"),
                    Field("Publication date", "PubDate", kBRNTypeDate, "2014/06/30"), multi, flag, due,
                    Field("Price", "Price", kBRNTypeDecimal, "3.14159")});
}

PMString Evaluate(const BRNPackage& p, const std::string& templateText, bool16* ok, bool16 escape = kFalse,
                  bool16 checkRequired = kFalse) {
    return BRNPackageUtils::EvaluateTags(p, PMString(templateText), ok, escape, checkRequired);
}

class TagsTest : public testsupport::HostFixture {
protected:
    // Evaluation that must succeed without an alert.
    std::string Good(const BRNPackage& p, const std::string& templateText, bool16 escape = kFalse) {
        bool16 ok = kFalse;
        std::string result = U8(Evaluate(p, templateText, &ok, escape));
        EXPECT_TRUE(ok) << templateText;
        EXPECT_TRUE(fAlerts->Alerts().empty()) << templateText << ": " << fAlerts->Alerts().front().message;
        fAlerts->Clear();
        return result;
    }
    // Evaluation that must fail with one OK alert and hand back the template; the alert text.
    std::string Bad(const BRNPackage& p, const std::string& templateText, bool16 checkRequired = kFalse) {
        bool16 ok = kTrue;
        EXPECT_EQ(U8(Evaluate(p, templateText, &ok, kFalse, checkRequired)), templateText);
        EXPECT_FALSE(ok) << templateText;
        EXPECT_FALSE(BRNPackageUtils::CheckTags(p, PMString(templateText), checkRequired)) << templateText;
        const auto& alerts = fAlerts->Alerts();
        EXPECT_EQ(alerts.size(), 2u) << templateText; // one from the evaluation, one from the check
        std::string message;
        if (!alerts.empty()) {
            message = alerts.front().message;
            EXPECT_EQ(alerts.front().buttons, std::vector<std::string>{U8(CAlert::OkButtonString())});
            EXPECT_EQ(alerts.back().message, message);
        }
        fAlerts->Clear();
        return message;
    }
};

TEST_F(TagsTest, PackageTagsInRunningText) {
    const BRNPackage p = SamplePackage();
    EXPECT_EQ(Good(p, "Pkg: <cvbrindle:package/> v<cvbrindle:version/> on=<cvbrindle:enabled/>."),
              "Pkg: Editorial v3 on=True.");
    EXPECT_EQ(Good(Package({}, false), "<cvbrindle:enabled/>"), "False");
    // A bare ">" closes a tag as well.
    EXPECT_EQ(Good(p, "[<cvbrindle:package>]"), "[Editorial]");
    BRNPackage big = Package({});
    big.SetVersion(1234567);
    EXPECT_EQ(Good(big, "<cvbrindle:version/>"), "1234567");
}

TEST_F(TagsTest, TextOutsideTagsIsCopiedUnchanged) {
    const BRNPackage p = SamplePackage();
    EXPECT_EQ(Good(p, "a\n<cvbrindle:package/>\r\n\tb > c /> \n"), "a\nEditorial\r\n\tb > c /> \n");
    EXPECT_EQ(Good(p, "<cvbrindle:package/><cvbrindle:package/>"), "EditorialEditorial");
}

TEST_F(TagsTest, TemplateWithoutTagsEvaluatesToItself) {
    const BRNPackage p = SamplePackage();
    for (const char* t : {"", "plain text", "a > b /> c", "<cvbrindle", "cvbrindle:package/>",
                          "<CVBRINDLE:package/>", "line\nbreaks\r\n"}) {
        EXPECT_EQ(Good(p, t), t);
        EXPECT_TRUE(BRNPackageUtils::CheckTags(p, PMString(t), kTrue)) << t;
    }
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(TagsTest, FieldTagsGiveTheStoredValueText) {
    const BRNPackage p = SamplePackage();
    const struct {
        const char* tag;
        const char* value;
    } cases[] = {
        {"<cvbrindle:Head/>", "Storm warning"},                // by ShortName
        {"<cvbrindle:Issue/>", "42"},                          // by Name, ShortName empty
        {"<cvbrindle:PubDate/>", "2014/06/30"},                // Date
        {"<cvbrindle:kw/>", "Politics, Economy"},              // MultiChoice: the selection joined
        {"<cvbrindle:LegalOK/>", "False"},                     // Boolean: its Value text, not the flag
        {"<cvbrindle:CopyDue/>", "2014/06/30,,kim"},           // Deadline: its Value text
        {"<cvbrindle:Price>", "3.14159"},                      // closed by a bare ">"
        {"<cvbrindle:Head  format=\"%s\"/>", "Storm warning"}, // the name ends at the first blank
    };
    for (const auto& c : cases)
        EXPECT_EQ(Good(p, c.tag), c.value) << c.tag;
}

TEST_F(TagsTest, FieldWithShortNameReferencedByNameFails) {
    const BRNPackage p = SamplePackage();
    const std::string noTag = Translated("0xA8260kBRNNoTagStringKey");
    ASSERT_NE(noTag, "0xA8260kBRNNoTagStringKey");
    const struct {
        const char* templateText;
        const char* alertEnd;
    } cases[] = {
        {"x <cvbrindle:Headline/> y", "<cvbrindle:Headline/>"},
        {"<cvbrindle:Headline>", "<cvbrindle:Headline>"},
        {"<cvbrindle:Headline format=\"%s\"/>", "<cvbrindle:Headline/>"},
        {"<cvbrindle:Nothing/>", "<cvbrindle:Nothing/>"},
        // Only the listed lower-case forms of the package tags are offered.
        {"<cvbrindle:Package/>", "<cvbrindle:Package/>"},
        {"<cvbrindle:VERSION>", "<cvbrindle:VERSION>"},
        // Field names are compared with their case.
        {"<cvbrindle:head/>", "<cvbrindle:head/>"},
        // The first fault is reported, after a good tag.
        {"<cvbrindle:package/> <cvbrindle:Bad1/> <cvbrindle:Bad2/>", "<cvbrindle:Bad1/>"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Bad(p, c.templateText), noTag + " " + c.alertEnd) << c.templateText;
}

TEST_F(TagsTest, MalformedTagsFailWithErrorInTags) {
    const BRNPackage p = SamplePackage();
    const std::string error = Translated("0xA8260kBRNErrorInTagsStringKey");
    ASSERT_NE(error, "0xA8260kBRNErrorInTagsStringKey");
    for (const char* t : {
             "<cvbrindle:package",                     // no ">" after the prefix
             "text <cvbrindle:",                       // prefix at the very end
             "<cvbrindle:>",                           // prefix directly followed by ">"
             "<cvbrindle:/>",                          // ... or by "/>"
             "<cvbrindle: package/>",                  // ... or by a blank
             "<cvbrindle:package/> and <cvbrindle:kw", // a good tag, then a broken one
         }) {
        EXPECT_EQ(Bad(p, t), error) << t;
    }
}

// A prefix without its own ">" takes the text up to the next ">" as its name.
TEST_F(TagsTest, UnclosedPrefixSwallowsNextTag) {
    const BRNPackage p = SamplePackage();
    EXPECT_EQ(Bad(p, "<cvbrindle:<cvbrindle:package/>"),
              Translated("0xA8260kBRNNoTagStringKey") + " <cvbrindle:<cvbrindle:package/>");
}

TEST_F(TagsTest, BodyEndsAtFirstCloseAfterName) {
    const BRNPackage p = SamplePackage();
    // A bare ">" ends the tag: a "/" inside the body stays part of the format.
    EXPECT_EQ(Good(p, "<cvbrindle:package format=\"[%s]/x\">"), "[Editorial]/x");
    // A later "/>" is plain text.
    EXPECT_EQ(Good(p, "<cvbrindle:package>text/>"), "Editorialtext/>");
}

// The package tags are resolved first and without regard to case: a field that offers
// "Version" by its name is shadowed by the package's version.
TEST_F(TagsTest, PackageTagsWinOverFieldsOfTheSameNameInAnyCase) {
    const BRNPackage p = Package({Field("Version", "", kBRNTypeString, "field text"),
                                  Field("Other", "ENABLED", kBRNTypeString, "field text")});
    EXPECT_EQ(Good(p, "<cvbrindle:Version/> <cvbrindle:ENABLED/>"), "3 True");
}

TEST_F(TagsTest, FormatComesBeforeSubstringAndAttributesNeverShow) {
    const BRNPackage p = SamplePackage();
    const struct {
        const char* templateText;
        const char* result;
    } cases[] = {
        {"<cvbrindle:Issue format=\"%05d\" substring=\"0,3\"/>", "000"},
        {"<cvbrindle:Issue substring=\"0,3\" format=\"%05d\"/>", "000"},
        {"ID-<cvbrindle:PubDate substring=\"0,4\"/>-<cvbrindle:Issue format=\"%03d\"/>-<cvbrindle:Head "
         "substring=\"0,3\"/>",
         "ID-2014-042-Sto"},
        {"<cvbrindle:Price format=\"%.2f\"/> EUR", "3.14 EUR"},
        {"<cvbrindle:Head other=\"x\"/>", "Storm warning"}, // unknown attributes are ignored
    };
    for (const auto& c : cases)
        EXPECT_EQ(Good(p, c.templateText), c.result) << c.templateText;
}

TEST_F(TagsTest, EscapingAppliesToSubstitutedValuesOnly) {
    const BRNPackage p = SamplePackage();
    EXPECT_EQ(Good(p, "a b/<cvbrindle:Head/>|<cvbrindle:kw/>", kTrue),
              "a b/Storm+warning|Politics%2C+Economy");
    // After the format: the "!" the format adds is escaped as well.
    EXPECT_EQ(Good(p, "<cvbrindle:Head format=\"%s!\"/>", kTrue), "Storm+warning%21");
}

TEST_F(TagsTest, CheckRequiredRefusesEmptyRequiredTextualFields) {
    const std::string reqError = Translated("0xA8260kBRNReqfieldError");
    ASSERT_NE(reqError, "0xA8260kBRNReqfieldError");
    const struct {
        int32 type;
        bool checked;
    } cases[] = {
        {kBRNTypeString, true},       {kBRNTypeInteger, true},           {kBRNTypeChoice, true},
        {kBRNTypeChoiceString, true}, {kBRNTypeDirectory, true},         {kBRNTypeText, true},
        {kBRNTypeMultiChoice, true},  {kBRNTypeBoolean, false},          {kBRNTypeDecimal, false},
        {kBRNTypeDate, false},        {kBRNTypeCalculatedString, false}, {kBRNTypeDeadline, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(BRNField::TypeName(c.type)));
        BRNField f = Field("Headline", "Head", c.type, "");
        f.SetRequired(kTrue);
        const BRNPackage p = Package({f});
        // Referenced by its short name; the alert names the field by its Name.
        if (c.checked)
            EXPECT_EQ(Bad(p, "<cvbrindle:Head/>", kTrue), reqError + "Headline");
        else
            EXPECT_EQ(Good(p, "<cvbrindle:Head/>"), "");
        bool16 ok = kFalse;
        EXPECT_EQ(U8(Evaluate(p, "[<cvbrindle:Head/>]", &ok, kFalse, c.checked ? kFalse : kTrue)), "[]");
        EXPECT_TRUE(ok);
        EXPECT_TRUE(fAlerts->Alerts().empty());
        fAlerts->Clear();
    }
}

TEST_F(TagsTest, CheckRequiredAcceptsFilledOrOptionalFields) {
    BRNField filled = Field("Headline", "Head", kBRNTypeString, "Storm");
    filled.SetRequired(kTrue);
    BRNField optional = Field("Kicker", "", kBRNTypeString, "");
    bool16 ok = kFalse;
    const BRNPackage p = Package({filled, optional});
    EXPECT_EQ(
        U8(Evaluate(p, "<cvbrindle:Head/>:<cvbrindle:Kicker/>:<cvbrindle:package/>", &ok, kFalse, kTrue)),
        "Storm::Editorial");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(TagsTest, TagListOrderAndDescriptions) {
    BRNField a = Field("Headline", "Head", kBRNTypeString, "");
    a.SetDescription(PMString("Main title"));
    BRNField b = Field("Issue number", "", kBRNTypeInteger, "");
    b.SetDescription(PMString("0xA8260kBRNNameTagDesc")); // a description is never translated
    const BRNPackage p = Package({a, b});

    using Entries = std::vector<std::pair<std::string, std::string>>;
    const Entries expected = {
        {"<cvbrindle:package>", Translated("0xA8260kBRNNameTagDesc")},
        {"<cvbrindle:version>", Translated("0xA8260kBRNVersionTagDesc")},
        {"<cvbrindle:enabled>", Translated("0xA8260kBRNEnabledTagDesc")},
        {"<cvbrindle:Head>", "Main title"},
        {"<cvbrindle:Issue number>", "0xA8260kBRNNameTagDesc"},
    };
    ASSERT_NE(expected[0].second, "0xA8260kBRNNameTagDesc");
    auto entries = [](const BRNTagList& list) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& e : list) {
            PMString shown = e.GetDescription();
            shown.Translate(); // as a list would show it
            out.emplace_back(U8(e.GetTag()), U8(shown));
        }
        return out;
    };
    EXPECT_EQ(entries(BRNPackageUtils::GetTagList(&p)), expected);
    EXPECT_EQ(entries(BRNPackageUtils::GetTagList(nullptr)), Entries(expected.begin(), expected.begin() + 3));

    // By name from the library: exact name only.
    Prefs()->SetPackages({p});
    EXPECT_EQ(entries(BRNPackageUtils::GetTagList(PMString("Editorial"))), expected);
    EXPECT_EQ(BRNPackageUtils::GetTagList(PMString("editorial")).size(), 3u);
    EXPECT_EQ(BRNPackageUtils::GetTagList(PMString("Nothing")).size(), 3u);
}

// ---- Calculated fields ------------------------------------------------------------------

TEST_F(TagsTest, UpdateCalculatedFieldResults) {
    const BRNPackage p = SamplePackage();

    BRNField plain = Field("Headline", "H", kBRNTypeString, "kept");
    plain.SetDefaultValue(PMString("<cvbrindle:package/>"));
    EXPECT_EQ(BRNPackageUtils::UpdateCalculatedField(p, plain), 0);
    EXPECT_EQ(U8(plain.GetValue()), "kept");

    BRNField overridden = Calculated("Id", "Id", "<cvbrindle:package/>", "typed by the user");
    overridden.SetFieldOverridden(kTrue);
    EXPECT_EQ(BRNPackageUtils::UpdateCalculatedField(p, overridden), 0);
    EXPECT_EQ(U8(overridden.GetValue()), "typed by the user");

    BRNField failing = Calculated("Id", "Id", "<cvbrindle:Nothing/>", "old");
    EXPECT_EQ(BRNPackageUtils::UpdateCalculatedField(p, failing), -1);
    EXPECT_EQ(U8(failing.GetValue()), "old");
    EXPECT_EQ(fAlerts->Alerts().size(), 1u);
    fAlerts->Clear();

    BRNField good = Calculated("Id", "Id", "<cvbrindle:package/>-<cvbrindle:Issue format=\"%03d\"/>", "old");
    EXPECT_EQ(BRNPackageUtils::UpdateCalculatedField(p, good), 1);
    EXPECT_EQ(U8(good.GetValue()), "Editorial-042");
    EXPECT_FALSE(good.GetValue().GetTranslatable());

    // Required fields are not checked here.
    BRNField empty = Field("Headline", "Head", kBRNTypeString, "");
    empty.SetRequired(kTrue);
    BRNField usesEmpty = Calculated("Id", "Id", "[<cvbrindle:Head/>]", "old");
    EXPECT_EQ(BRNPackageUtils::UpdateCalculatedField(Package({empty}), usesEmpty), 1);
    EXPECT_EQ(U8(usesEmpty.GetValue()), "[]");
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(TagsTest, CalculatedFieldsSeeValuesFromBeforeThePass) {
    BRNField overridden = Calculated("C", "C", "<cvbrindle:S/>", "mine");
    overridden.SetFieldOverridden(kTrue);
    const BRNField s = Field("Source", "S", kBRNTypeString, "v");
    const BRNField a = Calculated("A", "A", "a(<cvbrindle:B/>)", "oldA");
    const BRNField b = Calculated("B", "B", "b(<cvbrindle:S/>)", "oldB");

    // Whichever comes first, A sees B's value from before the pass.
    for (bool bFirst : {false, true}) {
        SCOPED_TRACE(bFirst ? "B before A" : "A before B");
        BRNPackage p = bFirst ? Package({s, b, a, overridden}) : Package({s, a, b, overridden});
        EXPECT_EQ(BRNPackageUtils::UpdateCalculatedFields(p), 2);
        EXPECT_EQ(U8(p.FindField(PMString("A"))->GetValue()), "a(oldB)");
        EXPECT_EQ(U8(p.FindField(PMString("B"))->GetValue()), "b(v)");
        EXPECT_EQ(U8(p.FindField(PMString("C"))->GetValue()), "mine");
        // A second pass sees the first pass's values.
        EXPECT_EQ(BRNPackageUtils::UpdateCalculatedFields(p), 2);
        EXPECT_EQ(U8(p.FindField(PMString("A"))->GetValue()), "a(b(v))");
    }
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(TagsTest, FailingTemplateLeavesPackageUnchanged) {
    const BRNField good = Calculated("A", "A", "<cvbrindle:package/>", "oldA");
    const BRNField bad = Calculated("B", "B", "<cvbrindle:Nothing/>", "oldB");
    const BRNField later = Calculated("C", "C", "<cvbrindle:version/>", "oldC");
    BRNPackage p = Package({good, bad, later});
    EXPECT_EQ(BRNPackageUtils::UpdateCalculatedFields(p), -1);
    for (const char* n : {"A", "B", "C"})
        EXPECT_EQ(U8(p.FindField(PMString(n))->GetValue()), std::string("old") + n);
    EXPECT_EQ(fAlerts->Alerts().size(), 1u);

    BRNPackage none = Package({Field("S", "S", kBRNTypeString, "v")});
    EXPECT_EQ(BRNPackageUtils::UpdateCalculatedFields(none), 0);
    EXPECT_EQ(U8(none.GetFields()[0].GetValue()), "v");
}

// A template's result is bounded: beyond kMaxTemplateResultLength units the evaluation fails
// with an alert and hands back the template, as a failing check does.
TEST_F(TagsTest, ResultsBeyondTheLimitFailWithAnAlert) {
    const size_t limit = BRNPackageUtils::kMaxTemplateResultLength;
    const struct {
        size_t valueLength;
        std::string templateText;
        bool ok;
    } cases[] = {
        {limit / 2, "<cvbrindle:Big/><cvbrindle:Big/>", true},
        {limit / 2, "<cvbrindle:Big/><cvbrindle:Big/>x", false},
        {limit, "<cvbrindle:Big/>", true},
        {limit, "<cvbrindle:Big/><cvbrindle:Big/>", false},
        {limit, "<cvbrindle:Big format=\"%s.\"/>", false},
        {1000, std::string(2000, '.') + "<cvbrindle:Big/>", true},
        {limit / 1000, [] {
             std::string t;
             for (int i = 0; i < 2000; ++i) t += "<cvbrindle:Big/>";
             return t;
         }(), false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.valueLength) + " " + c.templateText.substr(0, 40));
        const BRNPackage p = Package({Field("Big", "", kBRNTypeText, std::string(c.valueLength, 'x').c_str())});
        bool16 ok = !c.ok;
        const PMString result = Evaluate(p, c.templateText, &ok);
        EXPECT_EQ(ok, c.ok ? kTrue : kFalse);
        if (c.ok) {
            EXPECT_TRUE(fAlerts->Alerts().empty());
            EXPECT_LE(static_cast<size_t>(result.CharCount()), limit);
        } else {
            EXPECT_EQ(U8(result), c.templateText);
            ASSERT_EQ(fAlerts->Alerts().size(), 1u);
            EXPECT_EQ(fAlerts->Alerts().front().message, Translated("0xA8260kBRNTemplateTooLongStringKey"));
        }
        fAlerts->Clear();
    }
}

// A calculated field that names itself doubles at every pass until the limit refuses it; the
// package then keeps the last value that fitted.
TEST_F(TagsTest, ASelfReferencingCalculatedFieldStopsAtTheLimit) {
    BRNPackage p = Package({Calculated("Self", "", "<cvbrindle:Self/><cvbrindle:Self/>", "x")});
    int passes = 0;
    while (passes < 40 && BRNPackageUtils::UpdateCalculatedFields(p) > 0)
        ++passes;
    EXPECT_EQ(passes, 20);
    EXPECT_EQ(static_cast<size_t>(p.GetFields()[0].GetValue().CharCount()),
              static_cast<size_t>(BRNPackageUtils::kMaxTemplateResultLength));
    EXPECT_EQ(fAlerts->Alerts().size(), 1u);
    fAlerts->Clear();
}

// Many small tags over one long value give only what they take of it.
TEST_F(TagsTest, SmallTagsOverALongValueGiveWhatTheyTake) {
    std::string value = "7" + std::string(1 << 20, 'x') + "z";
    const BRNPackage p = Package({Field("Big", "", kBRNTypeText, value.c_str())});
    std::string templateText, expected;
    for (int i = 0; i < 1000; ++i) {
        templateText += "<cvbrindle:Big format=\"%.1s\"/><cvbrindle:Big substring=\"0,1\"/>"
                        "<cvbrindle:Big substring=\"-1\"/><cvbrindle:Big format=\"[%3.2s]\" substring=\"1,2\"/>";
        expected += "77z 7";
    }
    EXPECT_EQ(Good(p, templateText), expected);
}

// ---- Format, substring and escaping -----------------------------------------------------

struct AttributeCase {
    std::string attribute;
    std::string value;
    std::string result;
};

std::string Format(const std::string& attribute, const std::string& value) {
    return U8(BRNPackageUtils::FormatTagValue(PMString("v format=\"" + attribute + "\""), PMString(value)));
}

TEST(FormatTagValueTest, OneConversion) {
    const std::vector<AttributeCase> cases = {
        {"%05d", "42", "00042"},
        {"%.2f", "3.14159", "3.14"},
        {"%5.2f", "3.14159", " 3.14"},
        {"[%8s]", "abc", "[     abc]"},
        {"%-8s|", "abc", "abc     |"},
        {"%.2s", "abcdef", "ab"},
        {"%s", "", ""},
        {"%x", "255", "ff"},
        {"%X", "255", "FF"},
        {"%#x", "255", "0xff"},
        {"%x", "-1", "ffffffff"}, // read as a 32-bit integer
        {"%o", "8", "10"},
        {"%i", "-7", "-7"},
        {"%+d", "42", "+42"},
        {"%-5d|", "42", "42   |"},
        {"%e", "1234.5", "1.234500e+03"},
        {"%g", "0.5", "0.5"},
        {"%G", "1e20", "1E+20"},
        {"%d%%", "5", "5%"},
        {"No. %03d of 2014", "7", "No. 007 of 2014"},
        {"%500d", "1", std::string(499, ' ') + "1"},
        {"%1000s", std::string(600, 'a'),
         std::string(400, ' ') + std::string(600, 'a')}, // room grows with the value
    };
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.attribute, c.value), c.result) << c.attribute << " on " << c.value;
}

TEST(FormatTagValueTest, RefusedFormatsLeaveValueUnchanged) {
    const std::vector<AttributeCase> cases = {
        {"%Q", "42", "42"},                                                    // unknown conversion
        {"%u", "42", "42"},                                                    // not in the list
        {"%c", "42", "42"},     {"%p", "42", "42"},          {"", "42", "42"}, // empty format
        {"%%", "42", "42"},                                                    // no conversion at all
        {"%%d", "42", "42"},    {"%d%d", "42", "42"},                          // two conversions
        {"%s%s", "ab", "ab"},   {"%n", "42", "42"},          {"%d%n", "42", "42"},
        {"%*d", "42", "42"},                          // width from an argument
        {"%.*f", "4.2", "4.2"}, {"%5$d", "42", "42"}, // positional argument
        {"%ld", "42", "42"},                          // length modifiers
        {"%lld", "42", "42"},   {"%hhd", "42", "42"},        {"%Lf", "4.2", "4.2"},
        {"%99999d", "1", "1"},                               // width over four digits
        {"%-8.88888888888888888888888888888883s", "1", "1"}, // far more digits than an int holds
        {"%88888888888888888888888888d", "1", "1"},
        {"%.99999f", "1", "1"},                              // precision over four digits
        {"%4000d", "1", "1"},                                // output beyond the value's length + 512
        {"%.4000f", "1", "1"},  {"%5\xC3\xA9", "42", "42"}, // non-ASCII inside the conversion
        {"\t%d", "42", "42"},                                // control character
        {"%", "42", "42"},      {"%5", "42", "42"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.attribute, c.value), c.result) << c.attribute;
}

TEST(FormatTagValueTest, NonNumberUnderNumericConversionIsLeftUnchanged) {
    const std::vector<AttributeCase> cases = {
        {"%d", "abc", "abc"},
        {"%d", "3.7", "3.7"},
        {"%d", "", ""},
        {"%x", "12x", "12x"},
        {"%d", "2147483648", "2147483648"},
        {"%f", "abc", "abc"},
        {"%.2f", "", ""},
        {"%e", "1,5", "1,5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.attribute, c.value), c.result) << c.attribute << " on " << c.value;
}

TEST(FormatTagValueTest, MissingOrUnterminatedAttribute) {
    for (const char* body :
         {"v", "vformat=\"%05d\"", "v format=\"%05d", "v format=%05d", "v substring=\"0,1\""})
        EXPECT_EQ(U8(BRNPackageUtils::FormatTagValue(PMString(body), PMString("42"))), "42") << body;
}

TEST(SubstringTagValueTest, StartAndCount) {
    const std::string date = "2014/06/30";
    const std::vector<AttributeCase> cases = {
        {"0,4", date, "2014"},                            // year
        {"5,2", date, "06"},                              // month
        {"-2", date, "30"},                               // last two
        {"2", date, "14/06/30"},                          // to the end
        {"3,", date, "4/06/30"},                          // a trailing empty part is dropped
        {"8,10", date, "30"},                             // count beyond the end
        {"0,0", date, ""},       {"20", date, ""},        // start beyond the end
        {"10", date, ""},                                 // start at the end
        {"0,-1", date, date},                             // negative count: the whole value
        {"3,-5", date, date},    {"-20,4", date, "2014"}, // start still negative after adding the length: 0
        {"-10,2", date, "20"},   {",3", date, "201"},     // an empty start reads as 0
        {"", date, date},                                 // no part: unchanged
        {"0,4", "", ""},
    };
    for (const auto& c : cases) {
        const std::string body = "v substring=\"" + c.attribute + "\"";
        EXPECT_EQ(U8(BRNPackageUtils::SubstringTagValue(PMString(body), PMString(c.value))), c.result)
            << c.attribute;
    }
    for (const char* body : {"v", "v substring=\"0,4", "vsubstring=\"0,4\"", "v format=\"0,4\""})
        EXPECT_EQ(U8(BRNPackageUtils::SubstringTagValue(PMString(body), PMString(date))), date) << body;
}

// Widths, precisions, starts and counts are characters (code points), whatever their UTF-8
// or UTF-16 length; literal text around the conversion may be any text.
TEST(FormatTagValueTest, WidthAndPrecisionCountCharacters) {
    const std::vector<AttributeCase> cases = {
        {"%5s", "\xC3\xA9", "    \xC3\xA9"},
        {"%.1s", "\xC3\xA9\xC3\xA8\xC3\xAA", "\xC3\xA9"},
        {"%-3s|", "\xC3\xA9\xC3\xA8", "\xC3\xA9\xC3\xA8 |"},
        {"%.1s", "\xF0\x9F\x98\x80x", "\xF0\x9F\x98\x80"},
        {"[%3s]", "\xF0\x9F\x98\x80", "[  \xF0\x9F\x98\x80]"},
        {"%05s", "ab", "   ab"},
        {"A\xC3\xB1o %d", "7", "A\xC3\xB1o 7"},
        {"%d \xE2\x82\xAC", "5", "5 \xE2\x82\xAC"},
        {"%5d\xC3\xA9", "42", "   42\xC3\xA9"},
        {"\xF0\x9F\x8C\x8A %s %%", "x", "\xF0\x9F\x8C\x8A x %"},
        // The room beyond the value counts characters too.
        {"%512s", "\xC3\xA9", std::string(511, ' ') + "\xC3\xA9"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Format(c.attribute, c.value), c.result) << c.attribute << " on " << c.value;
}

TEST(SubstringTagValueTest, CharactersAndNumbersBeyond32Bits) {
    const std::string date = "2014/06/30";
    const std::string face = "\xF0\x9F\x98\x80";
    const std::vector<AttributeCase> cases = {
        {"1,1", "a" + face + "b", face},
        {"2", "a" + face + "b", "b"},
        {"-1", "a" + face, face},
        {"-2,1", face + face, face},
        {"0,1", "\xC3\xA9\xC3\xA8", "\xC3\xA9"},
        {"4294967296", date, ""},                      // a start beyond 32 bits is not 0
        {"0,4294967297", date, date},                  // nor is such a count
        {"-4294967296,4", date, "2014"},               // before the start: 0
        {"99999999999999999999999", date, ""},         // beyond 64 bits: clamped
        {"0,99999999999999999999999", date, date},
        {"-99999999999999999999999,4", date, "2014"},
        {"2,-99999999999999999999999", date, date},    // a negative count: the whole value
        {" 5 ,2", date, "06"},
    };
    for (const auto& c : cases) {
        const std::string body = "v substring=\"" + c.attribute + "\"";
        EXPECT_EQ(U8(BRNPackageUtils::SubstringTagValue(PMString(body), PMString(c.value))), c.result)
            << c.attribute;
    }
}

TEST(EscapeValueTest, CharacterClasses) {
    const struct {
        std::u16string in;
        std::string out;
    } cases[] = {
        {u"AZaz09-", "AZaz09-"},
        {u"a b", "a+b"},
        {u"/", "%2F"},
        {u"\u00e9", "%E9"},
        {u"\u00ff", "%FF"},
        {u"\u20ac", "%3cCVUNICODE%3a20AC%2f%3e"},
        {u"\u0100", "%3cCVUNICODE%3a0100%2f%3e"},
        {u"\n", "%0A"},
        {u"+%_.,", "%2B%25%5F%2E%2C"},
        {u"\U0001F600", "%3cCVUNICODE%3aD83D%2f%3e%3cCVUNICODE%3aDE00%2f%3e"},
        {u"", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(U8(BRNUtils::EscapeValue(PMString(c.in))), c.out) << c.out;
}

TEST(EscapeValueTest, UnescapeReadsEscapedTextBack) {
    for (const std::u16string& s :
         {std::u16string(u"a b+c%25/\u00e9\u20ac\U0001F600\n-_\u00ff\u0100\r\t"),
          std::u16string(u"%3cCVUNICODE%3a20AC%2f%3e"), std::u16string(u"+++ %%% ")}) {
        const PMString escaped = BRNUtils::EscapeValue(PMString(s));
        EXPECT_EQ(BRNUtils::UnescapeValue(escaped).Units(), s) << U8(escaped);
    }
    // Text that is not in the escaped form is kept.
    for (const char* s : {"100%", "%4", "%zz", "plain"})
        EXPECT_EQ(U8(BRNUtils::UnescapeValue(PMString(s))), s);
}

} // namespace
