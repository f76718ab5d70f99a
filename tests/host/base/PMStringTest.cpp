#include "base/LocaleStrings.h"
#include "base/PMString.h"
#include "base/WideString.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

bool HasLoneSurrogate(const std::u16string& u) {
    for (size_t i = 0; i < u.size(); ++i) {
        char16_t c = u[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= u.size() || u[i + 1] < 0xDC00 || u[i + 1] > 0xDFFF) return true;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return true;
        }
    }
    return false;
}

struct UnicodeCase {
    const char* name;
    std::string utf8;
    std::u16string utf16;
};

TEST(PMStringUnicodeTest, UTF8AndUTF16RoundTrip) {
    const std::vector<UnicodeCase> cases = {
        {"empty", "", u""},
        {"ascii", "Brindle 7.1.5", u"Brindle 7.1.5"},
        {"latin", "\xC3\xA6\xC3\xB8\xC3\xA5", u"\u00E6\u00F8\u00E5"},
        {"euro", "\xE2\x82\xAC 10", u"\u20AC 10"},
        {"cjk", "\xE6\x97\xA5\xE6\x9C\xAC", u"\u65E5\u672C"},
        {"non-BMP alone", "\xF0\x9F\x98\x80", u"\U0001F600"},
        {"non-BMP inside", "a\xF0\x9F\x98\x80z\xF0\x90\x80\x80", u"a\U0001F600z\U00010000"},
        {"ascii then non-ascii", "abc\xC3\xA9", u"abc\u00E9"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PMString s(c.utf8);
        EXPECT_EQ(s.Units(), c.utf16);
        EXPECT_EQ(s.CharCount(), static_cast<int32>(c.utf16.size()));
        EXPECT_EQ(s.GetUTF8String(), c.utf8);
        EXPECT_EQ(PMString(c.utf16).GetUTF8String(), c.utf8);
        EXPECT_EQ(WideString(c.utf8).Units(), c.utf16);
        EXPECT_EQ(StringUtils::UTF16ToUTF8(StringUtils::UTF8ToUTF16(c.utf8)), c.utf8);
    }
}

TEST(PMStringUnicodeTest, NonBMPCharacterTakesTwoUnits) {
    PMString s("\xF0\x9F\x98\x80");
    ASSERT_EQ(s.CharCount(), 2);
    EXPECT_EQ(s[0], u'\xD83D');
    EXPECT_EQ(s[1], u'\xDE00');
}

TEST(PMStringUnicodeTest, InvalidUTF8IsRepairedNotRejected) {
    struct Case {
        const char* name;
        std::string bytes;
        std::u16string expected; // empty: only the general checks
    };
    const std::vector<Case> cases = {
        {"stray byte",
         "a\xFF"
         "b",
         u"a\uFFFDb"},
        {"lead byte without continuation", "\xC3(", u"\uFFFD("},
        {"truncated at end", "ab\xC3", u"ab\uFFFD"},
        {"encoded surrogate", "\xED\xA0\x80z", u""},
        {"overlong slash", "x\xC0\xAFy", u""},
        {"truncated four-byte", "\xF0\x9F\x98", u""},
        {"lone continuation bytes", "\x80\x80\x80", u""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PMString s(c.bytes);
        if (!c.expected.empty()) {
            EXPECT_EQ(s.Units(), c.expected);
        }
        EXPECT_NE(s.Units().find(u'\uFFFD'), std::u16string::npos);
        EXPECT_FALSE(HasLoneSurrogate(s.Units()));
        // What comes back out is valid UTF-8 that reads the same again.
        std::string back = s.GetUTF8String();
        EXPECT_EQ(PMString(back).Units(), s.Units());
    }
}

TEST(PMStringUnicodeTest, LoneSurrogateBecomesReplacementInUTF8) {
    struct Case {
        std::u16string units;
        std::string utf8;
    };
    const std::vector<Case> cases = {
        {u"a\xD800"
         u"b",
         "a\xEF\xBF\xBD"
         "b"},
        {u"\u00E9\xDC00", "\xC3\xA9\xEF\xBF\xBD"},
        {u"\U0001F600\xD83D", "\xF0\x9F\x98\x80\xEF\xBF\xBD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StringUtils::UTF16ToUTF8(c.units), c.utf8);
}

struct NumberCase {
    const char* text;
    int32 intError;
    int32 intValue; // checked when intError is 0
    int32 doubleError;
    double doubleValue; // checked when doubleError is 0
};

TEST(PMStringNumberTest, GetAsNumberAndGetAsDouble) {
    const std::vector<NumberCase> cases = {
        {"42", 0, 42, 0, 42.0},
        {" 7 ", 0, 7, 0, 7.0},
        {"\t12\n", 0, 12, 0, 12.0},
        {"-3", 0, -3, 0, -3.0},
        {"+5", 0, 5, 0, 5.0},
        {"007", 0, 7, 0, 7.0},
        {"0", 0, 0, 0, 0.0},
        {"2147483647", 0, 2147483647, 0, 2147483647.0},
        {"-2147483648", 0, -2147483647 - 1, 0, -2147483648.0},
        {"2147483648", 1, 0, 0, 2147483648.0},
        {"-2147483649", 1, 0, 0, -2147483649.0},
        {"99999999999999999999", 1, 0, 0, 1e20},
        {"1e3", 1, 0, 0, 1000.0},
        {"3.5", 1, 0, 0, 3.5},
        {"-0.25", 1, 0, 0, -0.25},
        {".5", 1, 0, 0, 0.5},
        {"12abc", 1, 0, 1, 0},
        {"abc", 1, 0, 1, 0},
        {"", 1, 0, 1, 0},
        {"   ", 1, 0, 1, 0},
        {"+", 1, 0, 1, 0},
        {"-", 1, 0, 1, 0},
        {"+-3", 1, 0, 1, 0},
        {"--3", 1, 0, 1, 0},
        {"1 2", 1, 0, 1, 0},
        {"- 3", 1, 0, 1, 0},
        {"0x10", 1, 0, 1, 0},
        {"1,5", 1, 0, 1, 0},
        {"inf", 1, 0, 1, 0},
        {"nan", 1, 0, 1, 0},
        {"1e999", 1, 0, 1, 0},
        {"\xEF\xBC\x95", 1, 0, 1, 0}, // a full-width digit is not a digit here
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        PMString s(c.text);
        int32 err = -1;
        int32 n = s.GetAsNumber(&err);
        EXPECT_EQ(err, c.intError);
        if (c.intError == 0)
            EXPECT_EQ(n, c.intValue);
        else
            EXPECT_EQ(n, 0);
        EXPECT_EQ(s.GetAsNumber(), n) << "the result must not depend on asking for the error";

        err = -1;
        double d = s.GetAsDouble(&err);
        EXPECT_EQ(err, c.doubleError);
        if (c.doubleError == 0)
            EXPECT_DOUBLE_EQ(d, c.doubleValue);
        else
            EXPECT_EQ(d, 0.0);
    }
}

TEST(PMStringNumberTest, AppendNumberAndAsNumber) {
    PMString s("n=");
    s.AppendNumber(int64{-12});
    EXPECT_EQ(s, PMString("n=-12"));
    PMString d;
    d.AppendNumber(2.5, 2);
    EXPECT_EQ(d, PMString("2.50"));
    PMString big = PMString::AsNumber(int64{1} << 40);
    EXPECT_EQ(big, PMString("1099511627776"));
    EXPECT_EQ(big.GetTranslatable(), kFalse);
}

TEST(PMStringStripTest, Modes) {
    struct Case {
        PMString::StripType mode;
        const char16_t* text;
        const char16_t* expected;
    };
    const std::vector<Case> cases = {
        {PMString::kLeadingWhiteSpace, u" \t a b \n", u"a b \n"},
        {PMString::kTrailingWhiteSpace, u" \t a b \n", u" \t a b"},
        {PMString::kLeadingAndTrailingWhiteSpace, u" \t a b \n", u"a b"},
        {PMString::kAllWhiteSpace, u" \t a b \n c ", u"abc"},
        {PMString::kLeadingAndTrailingWhiteSpace, u"   ", u""},
        {PMString::kLeadingAndTrailingWhiteSpace, u"", u""},
        {PMString::kLeadingAndTrailingWhiteSpace, u"abc", u"abc"},
        {PMString::kTrailingWhiteSpace, u"\r\n", u""},
        {PMString::kLeadingAndTrailingWhiteSpace, u"\u00A0x\u00A0", u"x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.mode));
        PMString s(c.text);
        s.StripWhiteSpace(c.mode);
        EXPECT_EQ(s.Units(), std::u16string(c.expected));
    }
    // Mode value 2 is what callers pass; it is also the default.
    PMString byValue(u"  x  ");
    byValue.StripWhiteSpace(static_cast<PMString::StripType>(2));
    EXPECT_EQ(byValue, PMString("x"));
    PMString byDefault(u"  x  ");
    byDefault.StripWhiteSpace();
    EXPECT_EQ(byDefault, PMString("x"));
}

TEST(PMStringSearchTest, IndexOfString) {
    struct Case {
        const char* text;
        const char* find;
        int32 start;
        int32 expected;
    };
    const std::vector<Case> cases = {
        {"abcabc", "bc", 0, 1}, {"abcabc", "bc", 1, 1},   {"abcabc", "bc", 2, 4}, {"abcabc", "bc", 5, -1},
        {"abcabc", "x", 0, -1}, {"abcabc", "abc", -5, 0}, {"abc", "c", 3, -1},    {"abc", "c", 99, -1},
        {"abc", "abcd", 0, -1}, {"", "a", 0, -1},         {"aaa", "aa", 1, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.find + " from " + std::to_string(c.start));
        EXPECT_EQ(PMString(c.text).IndexOfString(PMString(c.find), c.start), c.expected);
    }
    // Positions count UTF-16 units: a non-BMP character before the match counts twice.
    EXPECT_EQ(PMString("\xF0\x9F\x98\x80x").IndexOfString(PMString("x")), 2);
    EXPECT_TRUE(PMString("metadata").Contains(PMString("tad")));
    EXPECT_FALSE(PMString("metadata").Contains(PMString("Tad")));
}

TEST(PMStringEditTest, SubstringInsertRemove) {
    PMString s("abcdef");
    EXPECT_EQ(s.Substring(2, 3), PMString("cde"));
    EXPECT_EQ(s.Substring(4), PMString("ef"));
    EXPECT_EQ(s.Substring(4, 99), PMString("ef"));
    EXPECT_TRUE(s.Substring(6).IsEmpty());
    EXPECT_TRUE(s.Substring(-1, 2).IsEmpty());

    PMString t("ace");
    t.Insert(PMString("b"), 1);
    t.Insert(PMString("d"), 3);
    t.Insert(PMString("f"), 99); // past the end appends
    EXPECT_EQ(t, PMString("abcdef"));
    t.Remove(1, 2);
    EXPECT_EQ(t, PMString("adef"));
    t.Remove(3, 10);
    EXPECT_EQ(t, PMString("ade"));
    t.Remove(7, 1);
    EXPECT_EQ(t, PMString("ade"));
}

TEST(PMStringEditTest, CaseHelpers) {
    PMString s("AbC \xC3\x89");
    s.ToLower();
    EXPECT_EQ(s.Units().substr(0, 4), u"abc ");
    EXPECT_TRUE(PMString("Brindle").IsEqualNoCase(PMString("bRINDLE")));
    EXPECT_FALSE(PMString("Brindle").IsEqualNoCase(PMString("Brindl")));
    EXPECT_FALSE(PMString("Brindle").IsEqualNoCase(PMString("Brindlf")));
}

class PMStringTranslateTest : public ::testing::Test {
protected:
    void SetUp() override {
        LocaleStrings::Register("brnTest.Greeting", "Hello there");
        LocaleStrings::Register("brnTest.Unicode", "\xC3\x86"
                                                   "ble \xF0\x9F\x98\x80");
    }
};

TEST_F(PMStringTranslateTest, TranslatableTextIsLookedUp) {
    PMString s("brnTest.Greeting");
    ASSERT_EQ(s.GetTranslatable(), kTrue);
    s.Translate();
    EXPECT_EQ(s, PMString("Hello there"));
    EXPECT_EQ(s.GetTranslatable(), kFalse);

    PMString u("brnTest.Unicode");
    u.Translate();
    EXPECT_EQ(u.GetUTF8String(), "\xC3\x86"
                                 "ble \xF0\x9F\x98\x80");
}

TEST_F(PMStringTranslateTest, FlagHonouredAndTranslatedOnlyOnce) {
    PMString fixed("brnTest.Greeting");
    fixed.SetTranslatable(kFalse);
    fixed.Translate();
    EXPECT_EQ(fixed, PMString("brnTest.Greeting"));

    // A translated text is not taken for a key again.
    LocaleStrings::Register("Hello there", "should not appear");
    PMString s("brnTest.Greeting");
    s.Translate();
    s.Translate();
    EXPECT_EQ(s, PMString("Hello there"));
}

TEST_F(PMStringTranslateTest, UnknownKeyStaysAsItIs) {
    PMString s("brnTest.NoSuchKey");
    s.Translate();
    EXPECT_EQ(s, PMString("brnTest.NoSuchKey"));
    EXPECT_EQ(LocaleStrings::Lookup(u"brnTest.NoSuchKey"), nullptr);
    ASSERT_NE(LocaleStrings::Lookup(u"brnTest.Greeting"), nullptr);
    EXPECT_EQ(*LocaleStrings::Lookup(u"brnTest.Greeting"), u"Hello there");
}

TEST(PMStringOrderTest, ByUTF16UnitsIgnoringTranslatableFlag) {
    PMString a("abc");
    PMString b("abc");
    b.SetTranslatable(kFalse);
    EXPECT_EQ(a, b);
    EXPECT_TRUE((a <=> b) == 0);

    struct Case {
        std::u16string lower;
        std::u16string higher;
    };
    const std::vector<Case> cases = {
        {u"B", u"a"},               // code units, not letters
        {u"ab", u"abc"},            // a prefix sorts first
        {u"", u"a"},                //
        {u"Z", u"\u00C5"},          //
        {u"\U0001F600", u"\uFF5E"}, // a surrogate unit is below U+FF5E, unlike the code points
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(StringUtils::UTF16ToUTF8(c.lower) + " < " + StringUtils::UTF16ToUTF8(c.higher));
        EXPECT_LT(PMString(c.lower), PMString(c.higher));
        EXPECT_GT(PMString(c.higher), PMString(c.lower));
        EXPECT_NE(PMString(c.lower), PMString(c.higher));
    }
}

TEST(PMStringOrderTest, ConcatenationKeepsUnits) {
    PMString s = PMString("a") + PMString(u"\U0001F600");
    s += "\xC3\xA9";
    s.Append(u'!');
    EXPECT_EQ(s.Units(), u"a\U0001F600\u00E9!");
}

} // namespace
