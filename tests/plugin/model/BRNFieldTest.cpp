// Fields: defaults, type names, the value rules of the setters, equality and copies.
#include "model/BRNField.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

PMStringList List(std::initializer_list<const char*> items) {
    PMStringList l;
    for (const char* s : items)
        l.emplace_back(s);
    return l;
}

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

BRNField Typed(int32 type, const char* name = "Field") {
    BRNField f{PMString(name)};
    f.SetType(type);
    return f;
}

// A field with every member set to something other than its default.
BRNField FullyFilled() {
    BRNField f(PMString("Keywords"));
    f.SetShortName(PMString("kw"));
    f.SetDescription(PMString("Subject keywords"));
    f.SetType(kBRNTypeMultiChoice);
    f.SetValue(PMString("A; B"));
    f.SetDefaultValue(PMString("A"));
    f.SetRequired(kTrue);
    f.SetBoolValue(kTrue);
    f.SetHasDefault(kTrue);
    f.SetAllowUserValues(kTrue);
    f.SetHidden(kTrue);
    f.SetReadOnly(kTrue);
    f.SetOptions(List({"A", "B", "C", "A"}));
    f.SetDefaultValues(List({"A"}));
    f.SetSelectedValues(List({"A", "B"}), PMString("; "));
    BRNDeadline d(PMString("2024/01/02"), PMString("2024/01/03"), PMString("kim"));
    BRNDeadlineColor c;
    c.hours = 24;
    c.red = 1.0;
    d.Colors.push_back(c);
    f.GetDeadline() = d;
    f.SetVisibleLines(9);
    f.SetHistory({BRNHistory(PMString("kim"), PMString("K"), GlobalTime(1234567), PMString("A")),
                  BRNHistory(PMString("lee"), PMString("L"), GlobalTime(7654321), PMString("A; B"))});
    f.SetFieldOverridden(kTrue);
    return f;
}

void ExpectSameMembers(const BRNField& a, const BRNField& b) {
    EXPECT_EQ(a.GetName(), b.GetName());
    EXPECT_EQ(a.GetShortName(), b.GetShortName());
    EXPECT_EQ(a.GetDescription(), b.GetDescription());
    EXPECT_EQ(a.GetValue(), b.GetValue());
    EXPECT_EQ(a.GetDefaultValue(), b.GetDefaultValue());
    EXPECT_EQ(a.GetRequired(), b.GetRequired());
    EXPECT_EQ(a.GetBoolValue(), b.GetBoolValue());
    EXPECT_EQ(a.GetHasDefault(), b.GetHasDefault());
    EXPECT_EQ(a.GetAllowUserValues(), b.GetAllowUserValues());
    EXPECT_EQ(a.GetHidden(), b.GetHidden());
    EXPECT_EQ(a.GetReadOnly(), b.GetReadOnly());
    EXPECT_EQ(a.GetType(), b.GetType());
    EXPECT_EQ(a.GetOptions(), b.GetOptions());
    EXPECT_EQ(a.GetDefaultValues(), b.GetDefaultValues());
    EXPECT_EQ(a.GetSelectedValues(), b.GetSelectedValues());
    EXPECT_TRUE(a.GetDeadline() == b.GetDeadline());
    EXPECT_EQ(a.GetVisibleLines(), b.GetVisibleLines());
    EXPECT_TRUE(a.GetHistory() == b.GetHistory());
    EXPECT_EQ(a.GetFieldOverridden(), b.GetFieldOverridden());
}

TEST(BRNFieldTest, NewFieldHasDefaults) {
    for (const BRNField& f : {BRNField(), BRNField(PMString("Title"))}) {
        EXPECT_EQ(f.GetVisibleLines(), 5);
        EXPECT_EQ(f.GetType(), kBRNTypeString);
        EXPECT_FALSE(f.GetRequired());
        EXPECT_FALSE(f.GetBoolValue());
        EXPECT_FALSE(f.GetHasDefault());
        EXPECT_FALSE(f.GetAllowUserValues());
        EXPECT_FALSE(f.GetHidden());
        EXPECT_FALSE(f.GetReadOnly());
        EXPECT_FALSE(f.GetFieldOverridden());
        EXPECT_TRUE(f.GetShortName().IsEmpty());
        EXPECT_TRUE(f.GetDescription().IsEmpty());
        EXPECT_TRUE(f.GetValue().IsEmpty());
        EXPECT_TRUE(f.GetDefaultValue().IsEmpty());
        EXPECT_TRUE(f.GetOptions().empty());
        EXPECT_TRUE(f.GetDefaultValues().empty());
        EXPECT_TRUE(f.GetSelectedValues().empty());
        EXPECT_TRUE(f.GetHistory().empty());
        EXPECT_TRUE(f.GetDeadline() == BRNDeadline());
    }
    EXPECT_TRUE(BRNField().GetName().IsEmpty());
    EXPECT_EQ(U8(BRNField(PMString("Title")).GetName()), "Title");
}

TEST(BRNFieldTest, TypeFromNameMatchesExactNamesOnly) {
    const struct {
        const char* name;
        int32 code;
    } cases[] = {
        {"String", 0},
        {"Integer", 1},
        {"Boolean", 2},
        {"Choice", 3},
        {"Choice / String", 4},
        {"Decimal", 5},
        {"Date", 6},
        {"Directory", 7},
        {"Text", 8},
        {"MultiChoice", 9},
        {"CalculatedString", 10},
        {"Deadline", 11},
        // Anything not spelled exactly is a String.
        {"Choice/String", 0},
        {"Choice /String", 0},
        {"boolean", 0},
        {"BOOLEAN", 0},
        {"multichoice", 0},
        {" Integer", 0},
        {"Integer ", 0},
        {"Deadlines", 0},
        {"3", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BRNField::TypeFromName(PMString(c.name)), c.code) << '"' << c.name << '"';
}

TEST(BRNFieldTest, TypeNameOfEveryCode) {
    const std::vector<std::string> names = {
        "String", "Integer",   "Boolean", "Choice",      "Choice / String",  "Decimal",
        "Date",   "Directory", "Text",    "MultiChoice", "CalculatedString", "Deadline"};
    ASSERT_EQ(names.size(), static_cast<size_t>(kBRNTypeCount));
    for (int32 t = 0; t < kBRNTypeCount; ++t) {
        EXPECT_EQ(U8(BRNField::TypeName(t)), names[static_cast<size_t>(t)]) << t;
        EXPECT_EQ(BRNField::TypeFromName(BRNField::TypeName(t)), t) << t;
    }
    for (int32 outside : {12, 99, -1})
        EXPECT_EQ(U8(BRNField::TypeName(outside)), "String") << outside;
}

TEST(BRNFieldTest, CalculatedStringAlwaysHasDefault) {
    BRNField calc = Typed(kBRNTypeCalculatedString);
    EXPECT_TRUE(calc.GetHasDefault());
    calc.SetHasDefault(kFalse);
    EXPECT_TRUE(calc.GetHasDefault());
    // What was stored for the CalculatedString stays when the type changes later.
    calc.SetType(kBRNTypeString);
    EXPECT_TRUE(calc.GetHasDefault());

    // A field that becomes a CalculatedString reports a default whatever it stored.
    BRNField plain = Typed(kBRNTypeString);
    plain.SetHasDefault(kFalse);
    plain.SetType(kBRNTypeCalculatedString);
    EXPECT_TRUE(plain.GetHasDefault());

    for (int32 t = 0; t < kBRNTypeCount; ++t) {
        if (t == kBRNTypeCalculatedString) continue;
        BRNField f = Typed(t);
        f.SetHasDefault(kTrue);
        EXPECT_TRUE(f.GetHasDefault()) << t;
        f.SetHasDefault(kFalse);
        EXPECT_FALSE(f.GetHasDefault()) << t;
    }
}

TEST(BRNFieldTest, SetSelectedValuesJoinsOnlyForMultiChoice) {
    const struct {
        PMStringList values;
        const char* separator;
        const char* joined;
    } cases[] = {
        {List({"A", "B", "C"}), ", ", "A, B, C"},
        {List({"A"}), ", ", "A"},
        {List({}), ", ", ""},
        {List({"A", "B"}), "", "AB"},
        {List({"A", "A", ""}), ";", "A;A;"},
        {List({"Ærø", "Café"}), " | ", "Ærø | Café"},
    };
    for (const auto& c : cases) {
        BRNField multi = Typed(kBRNTypeMultiChoice);
        multi.SetValue(PMString("old"));
        multi.SetSelectedValues(c.values, PMString(c.separator));
        EXPECT_EQ(U8(multi.GetValue()), c.joined);
        EXPECT_EQ(multi.GetSelectedValues(), c.values);

        for (int32 t = 0; t < kBRNTypeCount; ++t) {
            if (t == kBRNTypeMultiChoice) continue;
            BRNField other = Typed(t);
            other.SetValue(PMString("old"));
            other.SetSelectedValues(c.values, PMString(c.separator));
            EXPECT_EQ(U8(other.GetValue()), "old") << "type " << t;
            EXPECT_EQ(other.GetSelectedValues(), c.values) << "type " << t;
        }
    }
}

TEST(BRNFieldTest, SetDeadlineStoresRecordAndValue) {
    const struct {
        const char* planned;
        const char* executed;
        const char* by;
        const char* value;
    } cases[] = {
        {"a", "", "", "a,,"},
        {"", "", "", ",,"},
        {"", "e", "", ",e,"},
        {"", "", "kim", ",,kim"},
        {"2024/05/01 12:00", "2024/05/02 08:30", "Kim Ærø", "2024/05/01 12:00,2024/05/02 08:30,Kim Ærø"},
    };
    for (const auto& c : cases) {
        BRNField f = Typed(kBRNTypeDeadline);
        f.SetValue(PMString("old"));
        BRNDeadline d(PMString(c.planned), PMString(c.executed), PMString(c.by));
        BRNDeadlineColor color;
        color.wantsPlanned = 1;
        color.hours = 48;
        color.green = 0.5;
        d.Colors.push_back(color);
        f.SetDeadline(d);
        EXPECT_EQ(U8(f.GetValue()), c.value);
        EXPECT_TRUE(f.GetDeadline() == d);
    }
}

TEST(BRNFieldTest, SetValueWorksForEveryType) {
    for (int32 t = 0; t < kBRNTypeCount; ++t) {
        BRNField f = Typed(t);
        f.SetValue(PMString("v"));
        EXPECT_EQ(U8(f.GetValue()), "v") << t;
    }
}

TEST(BRNFieldTest, IsEqualComparesNameTypeAndTheValueOfTheType) {
    using Change = std::function<void(BRNField&)>;
    const auto none = [](BRNField&) {};
    const struct {
        const char* what;
        int32 type;
        Change changeA;
        Change changeB;
        bool equal;
    } cases[] = {
        {"same value", kBRNTypeString, none, none, true},
        {"different value", kBRNTypeString, none, [](BRNField& f) { f.SetValue(PMString("other")); }, false},
        {"value differs in case", kBRNTypeString, none, [](BRNField& f) { f.SetValue(PMString("VALUE")); },
         false},
        {"different name", kBRNTypeString, none, [](BRNField& f) { f.SetName(PMString("Other")); }, false},
        {"name differs in case", kBRNTypeString, none, [](BRNField& f) { f.SetName(PMString("field")); },
         false},
        {"different type, same value", kBRNTypeString, none, [](BRNField& f) { f.SetType(kBRNTypeText); },
         false},
        {"everything but name, type and value differs", kBRNTypeString, none,
         [](BRNField& f) {
             f.SetShortName(PMString("x"));
             f.SetDescription(PMString("x"));
             f.SetDefaultValue(PMString("x"));
             f.SetRequired(kTrue);
             f.SetBoolValue(kTrue);
             f.SetHasDefault(kTrue);
             f.SetHidden(kTrue);
             f.SetReadOnly(kTrue);
             f.SetAllowUserValues(kTrue);
             f.SetOptions(List({"x"}));
             f.SetDefaultValues(List({"x"}));
             f.SetSelectedValues(List({"x"}), PMString(","));
             f.SetVisibleLines(1);
             f.SetFieldOverridden(kTrue);
             f.SetHistory({BRNHistory(PMString("u"), PMString("a"), GlobalTime(1), PMString("v"))});
         },
         true},
        {"Boolean: same flag, different text", kBRNTypeBoolean, none,
         [](BRNField& f) { f.SetValue(PMString("something else")); }, true},
        {"Boolean: different flag, same text", kBRNTypeBoolean, none,
         [](BRNField& f) { f.SetBoolValue(kTrue); }, false},
        {"MultiChoice: same selection, different text", kBRNTypeMultiChoice, none,
         [](BRNField& f) { f.SetValue(PMString("other")); }, true},
        {"MultiChoice: same selection, other separator", kBRNTypeMultiChoice, none,
         [](BRNField& f) {
             f.SetSelectedValues(List({"A", "B"}), PMString("|"));
         },
         true},
        {"MultiChoice: same selection, other order", kBRNTypeMultiChoice, none,
         [](BRNField& f) {
             f.SetSelectedValues(List({"B", "A"}), PMString(", "));
         },
         false},
        {"MultiChoice: one more entry", kBRNTypeMultiChoice, none,
         [](BRNField& f) {
             f.SetSelectedValues(List({"A", "B", "B"}), PMString(", "));
         },
         false},
        {"MultiChoice: shorter selection", kBRNTypeMultiChoice, none,
         [](BRNField& f) { f.SetSelectedValues(List({"A"}), PMString(", ")); }, false},
        {"code 12, identical", 12, none, none, false},
        {"code 99, identical", 99, none, none, false},
    };
    for (const auto& c : cases) {
        BRNField a = Typed(c.type);
        a.SetValue(PMString("value"));
        a.SetSelectedValues(List({"A", "B"}), PMString(", "));
        if (c.type == kBRNTypeMultiChoice) a.SetValue(PMString("A, B"));
        BRNField b = a;
        c.changeA(a);
        c.changeB(b);
        EXPECT_EQ(a.IsEqual(b), c.equal) << c.what;
        EXPECT_EQ(b.IsEqual(a), c.equal) << c.what << " (reversed)";
    }
}

TEST(BRNFieldTest, IsEqualComparesValueTextForTheOtherTypes) {
    for (int32 t : {0, 1, 3, 4, 5, 6, 7, 8, 10, 11}) {
        BRNField a = Typed(t);
        a.SetValue(PMString("1"));
        a.SetBoolValue(kTrue);
        BRNField b = a;
        // The flag and the selection do not count for these types.
        b.SetBoolValue(kFalse);
        b.SetSelectedValues(List({"x"}), PMString(","));
        EXPECT_TRUE(a.IsEqual(b)) << t;
        b.SetValue(PMString("2"));
        EXPECT_FALSE(a.IsEqual(b)) << t;
    }
}

TEST(BRNFieldTest, CopiesKeepEveryMember) {
    const BRNField original = FullyFilled();

    BRNField copied(original);
    ExpectSameMembers(copied, original);

    BRNField assigned;
    assigned = original;
    ExpectSameMembers(assigned, original);

    // A copy is a value: changing it leaves the original alone.
    copied.GetHistory().clear();
    copied.SetOptions(List({}));
    copied.GetDeadline().Colors.clear();
    EXPECT_EQ(original.GetHistory().size(), 2u);
    EXPECT_EQ(original.GetOptions().size(), 4u);
    EXPECT_EQ(original.GetDeadline().Colors.size(), 1u);

    BRNFieldList list{original, original};
    list[0].SetName(PMString("changed"));
    EXPECT_EQ(U8(list[1].GetName()), "Keywords");
    ExpectSameMembers(list[1], original);
}

} // namespace
