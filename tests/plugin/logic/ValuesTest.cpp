// Text forms of values: dates and their keywords, defaults, values from text, the entry
// checks with their alerts and the decimal tidy-up.
#include "logic/BRNPackageUtils.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

std::vector<std::string> U8(const PMStringList& l) {
    std::vector<std::string> out;
    for (const auto& s : l)
        out.push_back(U8(s));
    return out;
}

PMStringList List(std::initializer_list<const char*> items) {
    PMStringList l;
    for (const char* s : items)
        l.emplace_back(s);
    return l;
}

std::string Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return U8(s);
}

BRNField Typed(int32 type, const char* name = "Field", const char* shortName = "f") {
    BRNField f{PMString(name)};
    f.SetShortName(PMString(shortName));
    f.SetType(type);
    return f;
}

// 5 March 2014, afternoon.
class ValuesTest : public testsupport::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        GlobalTime::SetClock([] { return testsupport::LocalTicks(2014, 3, 5, 15, 30, 0); });
    }
};

TEST(IsInvalidDateTest, AcceptedDates) {
    for (const char* d : {"2014/06/30", "", "ACTIVATION", "now", "NOW", "NoW", "2014/13/45", "2014/06/3",
                          "0000/00/00", "2014/06/300", "9999/99/99"})
        EXPECT_FALSE(BRNPackageUtils::IsInvalidDate(PMString(d))) << d;
}

TEST(IsInvalidDateTest, RefusedDates) {
    for (const char* d : {"activation", "Activation", "2014-06-30", "14/06/30", "2014/6/30", "2014/06/",
                          "2014/06/3x", "20x4/06/30", "2014/0x/30", "2014/06", "2014", "now ", " now",
                          "2014/06/30/", "2014//06/30", "yyyy/mm/dd", "tomorrow"})
        EXPECT_TRUE(BRNPackageUtils::IsInvalidDate(PMString(d))) << d;
}

TEST_F(ValuesTest, FormatTodayPadsMonthAndDay) {
    EXPECT_EQ(U8(BRNPackageUtils::FormatToday()), "2014/03/05");
    GlobalTime::SetClock([] { return testsupport::LocalTicks(1999, 12, 31, 23, 59, 59); });
    EXPECT_EQ(U8(BRNPackageUtils::FormatToday()), "1999/12/31");
    GlobalTime::SetClock([] { return testsupport::LocalTicks(2024, 1, 1, 0, 0, 0); });
    EXPECT_EQ(U8(BRNPackageUtils::FormatToday()), "2024/01/01");
}

TEST(ListTextTest, SplitAndJoin) {
    const struct {
        const char* text;
        std::vector<std::string> parts;
    } cases[] = {
        {"a,b", {"a", "b"}}, {"a, b", {"a", " b"}},    {"a,", {"a"}},
        {",a", {"", "a"}},   {"a,,b", {"a", "", "b"}}, {"", {}},
        {",", {""}},         {"single", {"single"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(U8(BRNPackageUtils::SplitListText(PMString(c.text))), c.parts) << c.text;
    EXPECT_EQ(U8(BRNPackageUtils::JoinMultiChoice(List({"a", "b", "c"}))), "a, b, c");
    EXPECT_EQ(U8(BRNPackageUtils::JoinMultiChoice(List({"a"}))), "a");
    EXPECT_EQ(U8(BRNPackageUtils::JoinMultiChoice({})), "");
    // A joined selection splits back at ", " only: a bare comma stays inside its value.
    const struct {
        const char* text;
        std::vector<std::string> parts;
    } selections[] = {
        {"a, b, c", {"a", "b", "c"}}, {"a,b", {"a,b"}}, {"", {}}, {"a, ", {"a", ""}}, {"single", {"single"}},
    };
    for (const auto& c : selections)
        EXPECT_EQ(U8(BRNPackageUtils::SplitMultiChoice(PMString(c.text))), c.parts) << c.text;
}

TEST(ListTextTest, DeadlineText) {
    const struct {
        const char* text;
        const char* planned;
        const char* executed;
        const char* by;
    } cases[] = {
        {"2026/01/02,2026/01/03,eva", "2026/01/02", "2026/01/03", "eva"},
        {"2026/01/02", "2026/01/02", "", ""},
        {",,eva", "", "", "eva"},
        {"a,,b,c", "a", "", "b,c"},
        {"", "", "", ""},
    };
    BRNDeadline old;
    old.Colors.resize(2);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const BRNDeadline d = BRNPackageUtils::ParseDeadlineText(PMString(c.text), old);
        EXPECT_EQ(U8(d.PlannedDate), c.planned);
        EXPECT_EQ(U8(d.ExecutedDate), c.executed);
        EXPECT_EQ(U8(d.ExecutedBy), c.by);
        EXPECT_EQ(d.Colors.size(), 2u); // the colour table is kept
    }
}

TEST_F(ValuesTest, ApplyDefaultsByType) {
    const struct {
        int32 type;
        const char* defaultValue;
        const char* value; // expected Value after
        bool boolValue;    // expected BoolValue after
    } cases[] = {
        {kBRNTypeString, "text", "text", false},
        {kBRNTypeInteger, "12", "12", false},
        {kBRNTypeChoice, "News", "News", false},
        {kBRNTypeChoiceString, "Own", "Own", false},
        {kBRNTypeDecimal, "1.5", "1.5", false},
        {kBRNTypeDirectory, "/tmp/x", "/tmp/x", false},
        {kBRNTypeText, "line\nline", "line\nline", false},
        {kBRNTypeDate, "ACTIVATION", "2014/03/05", false},
        {kBRNTypeDate, "activation", "activation", false}, // only the upper-case keyword
        {kBRNTypeDate, "now", "now", false},               // kept, written out later
        {kBRNTypeDate, "2010/01/02", "2010/01/02", false},
        {kBRNTypeBoolean, "True", "before", true},
        {kBRNTypeBoolean, "true", "before", false},
        {kBRNTypeBoolean, "TRUE", "before", false},
        {kBRNTypeDeadline, "2014/06/30", "before", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(BRNField::TypeName(c.type)) + " default " + c.defaultValue);
        BRNField f = Typed(c.type);
        f.SetValue(PMString("before"));
        f.SetBoolValue(kFalse);
        f.SetDefaultValue(PMString(c.defaultValue));
        f.SetHasDefault(kTrue);
        BRNField untouched = f;
        untouched.SetHasDefault(kFalse);
        untouched.SetShortName(PMString("u"));
        untouched.SetBoolValue(kTrue);

        BRNPackage p({f, untouched}, PMString("P"), PMString(), 0);
        BRNPackageUtils::ApplyDefaults(p);
        EXPECT_EQ(U8(p.GetFields()[0].GetValue()), c.value);
        EXPECT_EQ(p.GetFields()[0].GetBoolValue() != 0, c.boolValue);
        // Without HasDefault nothing changes.
        EXPECT_EQ(U8(p.GetFields()[1].GetValue()), "before");
        EXPECT_TRUE(p.GetFields()[1].GetBoolValue());
    }
}

TEST_F(ValuesTest, ApplyDefaultsSelectsMultiChoiceDefaultsAndRecomputes) {
    BRNField multi = Typed(kBRNTypeMultiChoice, "Keywords", "kw");
    multi.SetOptions(List({"Politics", "Economy", "Science"}));
    multi.SetDefaultValues(List({"Politics", "Economy"}));
    multi.SetSelectedValues(List({"Science"}), PMString(", "));
    multi.SetHasDefault(kTrue);

    BRNField date = Typed(kBRNTypeDate, "Publication date", "PubDate");
    date.SetDefaultValue(PMString("ACTIVATION"));
    date.SetHasDefault(kTrue);

    // Computed from the values the defaults have just set.
    BRNField calc = Typed(kBRNTypeCalculatedString, "Id", "Id");
    calc.SetDefaultValue(PMString("<cvbrindle:PubDate substring=\"0,4\"/>|<cvbrindle:kw/>"));
    calc.SetValue(PMString("stale"));

    BRNPackage p({multi, date, calc}, PMString("P"), PMString(), 0);
    BRNPackageUtils::ApplyDefaults(p);
    EXPECT_EQ(U8(p.GetFields()[0].GetSelectedValues()), (std::vector<std::string>{"Politics", "Economy"}));
    EXPECT_EQ(U8(p.GetFields()[0].GetValue()), "Politics, Economy");
    EXPECT_EQ(U8(p.GetFields()[1].GetValue()), "2014/03/05");
    EXPECT_EQ(U8(p.GetFields()[2].GetValue()), "2014|Politics, Economy");
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(ValuesTest, SetValueFromTextByType) {
    const struct {
        int32 type;
        const char* text;
        const char* value;
        bool boolValue;
        std::vector<std::string> selected;
        const char* templateText;
    } cases[] = {
        {kBRNTypeString, "a, b", "a, b", false, {}, "tmpl"},
        {kBRNTypeInteger, "12x", "12x", false, {}, "tmpl"}, // no check here
        {kBRNTypeChoice, "News", "News", false, {}, "tmpl"},
        {kBRNTypeChoiceString, "Mine", "Mine", false, {}, "tmpl"},
        {kBRNTypeDecimal, "1.5", "1.5", false, {}, "tmpl"},
        {kBRNTypeDirectory, "C:\\x", "C:\\x", false, {}, "tmpl"},
        {kBRNTypeText, "a\nb", "a\nb", false, {}, "tmpl"},
        {kBRNTypeBoolean, "True", "before", true, {}, "tmpl"},
        {kBRNTypeBoolean, "true", "before", false, {}, "tmpl"},
        {kBRNTypeDate, "ACTIVATION", "2014/03/05", false, {}, "tmpl"},
        {kBRNTypeDate, "2014/06/30", "2014/06/30", false, {}, "tmpl"},
        {kBRNTypeMultiChoice, "a,b", "a, b", false, {"a", "b"}, "tmpl"},
        {kBRNTypeMultiChoice, "a, b", "a,  b", false, {"a", " b"}, "tmpl"},
        {kBRNTypeMultiChoice, "a,", "a", false, {"a"}, "tmpl"},
        {kBRNTypeMultiChoice, "", "", false, {}, "tmpl"},
        {kBRNTypeCalculatedString, "<cvbrindle:package/>", "before", false, {}, "<cvbrindle:package/>"},
        {kBRNTypeDeadline, "2014/06/30", "before", false, {}, "tmpl"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(BRNField::TypeName(c.type)) + " from " + c.text);
        BRNField f = Typed(c.type);
        f.SetValue(PMString("before"));
        f.SetDefaultValue(PMString("tmpl"));
        BRNPackageUtils::SetValueFromText(f, PMString(c.text));
        EXPECT_EQ(U8(f.GetValue()), c.value);
        EXPECT_EQ(f.GetBoolValue() != 0, c.boolValue);
        EXPECT_EQ(U8(f.GetSelectedValues()), c.selected);
        EXPECT_EQ(U8(f.GetDefaultValue()), c.templateText);
    }
}

TEST_F(ValuesTest, CheckEntryAlerts) {
    const std::string intError = Translated("0xA8260kBRNIntConversionError");
    const std::string decError = Translated("0xA8260kBRNDecimalConversionError");
    const std::string commaError = Translated("0xA8260kBRNMCCommaWarningStringKey");
    std::string dateError = Translated("0xA8260kBRNErrorInDateStringKey");
    ASSERT_NE(intError, "0xA8260kBRNIntConversionError");
    const size_t hash = dateError.find('#');
    ASSERT_NE(hash, std::string::npos);
    dateError.replace(hash, 1, "Publication date");

    const struct {
        int32 type;
        const char* text;
        std::string alert; // empty: accepted
    } cases[] = {
        {kBRNTypeInteger, "12", ""},
        {kBRNTypeInteger, "-12", ""},
        {kBRNTypeInteger, "", ""},
        {kBRNTypeInteger, "12x", intError},
        {kBRNTypeInteger, "1.5", intError},
        {kBRNTypeInteger, "abc", intError},
        {kBRNTypeDecimal, "1.5", ""},
        {kBRNTypeDecimal, ".5", ""},
        {kBRNTypeDecimal, "12", ""},
        {kBRNTypeDecimal, "", ""},
        {kBRNTypeDecimal, "1,5", decError},
        {kBRNTypeDecimal, "1.5.2", decError},
        {kBRNTypeDate, "2014/06/30", ""},
        {kBRNTypeDate, "now", ""},
        {kBRNTypeDate, "", ""},
        {kBRNTypeDate, "30.06.2014", dateError},
        {kBRNTypeDate, "2014/6/30", dateError},
        {kBRNTypeMultiChoice, "a", ""},
        {kBRNTypeMultiChoice, "a b", ""},
        {kBRNTypeMultiChoice, "a,b", commaError},
        {kBRNTypeMultiChoice, ",", commaError},
        {kBRNTypeString, "a,b 12x", ""},
        {kBRNTypeBoolean, "anything", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(BRNField::TypeName(c.type)) + " entry " + c.text);
        const BRNField f = Typed(c.type, "Publication date");
        fAlerts->Clear();
        EXPECT_EQ(BRNPackageUtils::CheckEntry(f, PMString(c.text)) != 0, c.alert.empty());
        if (c.alert.empty()) {
            EXPECT_TRUE(fAlerts->Alerts().empty());
        } else {
            ASSERT_EQ(fAlerts->Alerts().size(), 1u);
            EXPECT_EQ(fAlerts->Alerts()[0].message, c.alert);
            EXPECT_EQ(fAlerts->Alerts()[0].buttons, std::vector<std::string>{U8(CAlert::OkButtonString())});
        }
    }
}

TEST_F(ValuesTest, DateAlertPutsNameAtFirstHash) {
    std::string expected = Translated("0xA8260kBRNErrorInDateStringKey");
    const size_t hash = expected.find('#');
    ASSERT_NE(hash, std::string::npos);
    // A name holding "#" or a key text is inserted as it is.
    for (const char* name : {"Due", "A # B", "0xA8260kBRNIntConversionError", ""}) {
        fAlerts->Clear();
        BRNPackageUtils::ShowDateAlert(PMString(name));
        ASSERT_EQ(fAlerts->Alerts().size(), 1u);
        std::string e = expected;
        e.replace(hash, 1, name);
        EXPECT_EQ(fAlerts->Alerts()[0].message, e) << name;
    }
}

TEST(TidyDecimalTest, DropsTrailingOnlyDot) {
    const struct {
        int32 type;
        const char* before;
        const char* after;
        bool changed;
    } cases[] = {
        {kBRNTypeDecimal, "12.", "12", true},     {kBRNTypeDecimal, ".", "", true},
        {kBRNTypeDecimal, "12.5", "12.5", false}, {kBRNTypeDecimal, ".5", ".5", false},
        {kBRNTypeDecimal, "", "", false},         {kBRNTypeDecimal, "12", "12", false},
        {kBRNTypeDecimal, "1.2.", "1.2.", false}, // the first "." is not the last character
        {kBRNTypeString, "12.", "12.", false},    {kBRNTypeInteger, "12.", "12.", false},
    };
    for (const auto& c : cases) {
        BRNField f = Typed(c.type);
        f.SetValue(PMString(c.before));
        EXPECT_EQ(BRNPackageUtils::TidyDecimal(f) != 0, c.changed) << c.before;
        EXPECT_EQ(U8(f.GetValue()), c.after) << c.before;
    }
}

} // namespace
