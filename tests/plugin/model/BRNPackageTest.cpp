// Packages: the check hash, password handling, versions, timestamps and list look-ups.
#include "model/BRNPackage.h"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr uint64 kModulus = 33554393;

// The hash computed the long way, in 64 bits, to check the 32-bit one against.
uint32 ReferenceHash(const std::u16string& units) {
    uint64 h = 0;
    for (char16_t c : units)
        h = (h * 32 + c) % kModulus;
    return static_cast<uint32>(h);
}

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

BRNField FieldWithShortName(const char* shortName, const char* value) {
    BRNField f{PMString(shortName)};
    f.SetShortName(PMString(shortName));
    f.SetValue(PMString(value));
    return f;
}

TEST(BRNPackageTest, HashOfKnownTexts) {
    const struct {
        std::u16string text;
        uint32 hash;
    } cases[] = {
        {u"", 0},
        {u"A", 65},
        {u"AB", 2146},
        {u"ABC", 2146 * 32 + 67},
        {u"\u00C6", 0xC6},
        // Code units, not code points: a surrogate pair counts as two.
        {u"\U0001F600", static_cast<uint32>((0xD83Dull * 32 + 0xDE00) % kModulus)},
    };
    for (const auto& c : cases)
        EXPECT_EQ(BRNPackage::Hash(PMString(c.text)), c.hash) << U8(PMString(c.text));
}

TEST(BRNPackageTest, HashOfLongTextsStaysBelowModulus) {
    std::u16string texts[] = {
        std::u16string(1000, u'z'),
        std::u16string(257, u'\uFFFF'),
        u"Ærø-Foto / Redaktion42 / adsales2024 / a password that is rather long indeed",
    };
    for (const auto& t : texts) {
        uint32 h = BRNPackage::Hash(PMString(t));
        EXPECT_LT(h, kModulus);
        EXPECT_EQ(h, ReferenceHash(t));
    }
}

TEST(BRNPackageTest, NamedConstructorStartsModifiedAndUnlocked) {
    BRNPackage p(PMString("Editorial"), PMString("secret"), 41234);
    EXPECT_EQ(U8(p.GetName()), "Editorial");
    EXPECT_FALSE(p.GetName().GetTranslatable());
    EXPECT_EQ(U8(p.GetPassword()), "secret");
    EXPECT_TRUE(p.IsModified());
    EXPECT_EQ(p.GetVersion(), 0u);
    EXPECT_FALSE(p.GetLocked());
    EXPECT_FALSE(p.GetEnabled());
    EXPECT_EQ(p.GetTimestamp(), 41234);
    EXPECT_TRUE(p.GetFields().empty());
    EXPECT_EQ(p.GetPasswordCheck(),
              BRNPackage::Hash(PMString("Editorial")) + BRNPackage::Hash(PMString("secret")) + 1);
    EXPECT_TRUE(p.HasPassword());
    EXPECT_FALSE(BRNPackage(PMString("Open"), PMString(""), 0).HasPassword());
}

TEST(BRNPackageTest, FieldsConstructorCopiesFields) {
    BRNFieldList fields{FieldWithShortName("Title", "t"), FieldWithShortName("Author", "a")};
    BRNPackage p(fields, PMString("Editorial"), PMString(""), 7);
    fields[0].SetValue(PMString("changed"));
    ASSERT_EQ(p.GetFields().size(), 2u);
    EXPECT_EQ(U8(p.GetFields()[0].GetValue()), "t");
    EXPECT_EQ(U8(p.GetFields()[1].GetShortName()), "Author");
    EXPECT_TRUE(p.IsModified());
    EXPECT_FALSE(p.GetLocked());
    EXPECT_EQ(p.GetVersion(), 0u);
    EXPECT_EQ(p.GetTimestamp(), 7);
}

TEST(BRNPackageTest, DefaultConstructorIsEmptyAndLocked) {
    BRNPackage p;
    EXPECT_TRUE(p.GetName().IsEmpty());
    EXPECT_TRUE(p.GetPassword().IsEmpty());
    EXPECT_TRUE(p.GetLocked());
    EXPECT_FALSE(p.GetEnabled());
    EXPECT_EQ(p.GetPasswordCheck(), 1u);
    EXPECT_TRUE(p.GetFields().empty());
    // Empty name and password agree with the check value 1.
    EXPECT_TRUE(p.CheckPassword(PMString("")));
    EXPECT_FALSE(p.CheckPassword(PMString("x")));
}

TEST(BRNPackageTest, RightPasswordChecksWhileLockedAndUnlocks) {
    BRNPackage p(PMString("Photo Rights"), PMString("Ærø-Foto"), 0);
    p.SetLocked(kTrue);

    EXPECT_TRUE(p.CheckPassword(PMString("Ærø-Foto")));
    EXPECT_TRUE(p.GetLocked()) << "checking alone does not unlock";

    for (const char* wrong : {"", "ærø-foto", "Ærø-Foto ", "Aero-Foto"}) {
        EXPECT_FALSE(p.CheckPassword(PMString(wrong))) << wrong;
        EXPECT_FALSE(p.Unlock(PMString(wrong))) << wrong;
        EXPECT_TRUE(p.GetLocked()) << wrong;
    }

    EXPECT_TRUE(p.Unlock(PMString("Ærø-Foto")));
    EXPECT_FALSE(p.GetLocked());
}

TEST(BRNPackageTest, PackageWithoutPasswordUnlocksWithEmptyText) {
    BRNPackage p(PMString("Production"), PMString(""), 0);
    p.SetLocked(kTrue);
    EXPECT_FALSE(p.Unlock(PMString("anything")));
    EXPECT_TRUE(p.GetLocked());
    EXPECT_TRUE(p.Unlock(PMString("")));
    EXPECT_FALSE(p.GetLocked());
}

TEST(BRNPackageTest, SetPasswordReplacesCheckAndUnlocks) {
    BRNPackage p(PMString("Editorial"), PMString("old"), 0);
    p.SetLocked(kTrue);
    p.SetPassword(PMString("new"));
    EXPECT_FALSE(p.GetLocked());
    EXPECT_EQ(U8(p.GetPassword()), "new");
    EXPECT_TRUE(p.CheckPassword(PMString("new")));
    EXPECT_FALSE(p.CheckPassword(PMString("old")));
    EXPECT_EQ(p.GetPasswordCheck(),
              BRNPackage::Hash(PMString("Editorial")) + BRNPackage::Hash(PMString("new")) + 1);

    // A package copied under another name needs a fresh check value.
    p.SetName(PMString("Editorial copy"));
    EXPECT_FALSE(p.CheckPassword(PMString("new")));
    p.SetPassword(PMString("new"));
    EXPECT_TRUE(p.CheckPassword(PMString("new")));
}

TEST(BRNPackageTest, CompareVersionTable) {
    const struct {
        uint32 version;
        bool modified;
        uint32 given;
        int32 result;
    } cases[] = {
        {3, false, 3, 0},           {3, true, 3, -1},
        {3, false, 2, -1},          {3, true, 2, -1},
        {3, false, 4, 1},           {3, true, 4, 1},
        {0, false, 0, 0},           {0, true, 0, -1},
        {3, false, 0xFFFFFFFFu, 1}, {0xFFFFFFFFu, false, 0, -1},
    };
    for (const auto& c : cases) {
        BRNPackage p(PMString("P"), PMString(""), 0);
        p.SetVersion(c.version);
        p.SetModified(c.modified ? kTrue : kFalse);
        EXPECT_EQ(p.CompareVersion(c.given), c.result)
            << "version " << c.version << (c.modified ? " modified" : "") << " given " << c.given;
    }
}

TEST(BRNPackageTest, TimestampAboveLimitReadsAsZero) {
    const struct {
        int32 stored;
        int32 read;
    } cases[] = {{50000, 50000}, {50001, 0}, {0, 0}, {1, 1}, {2000000000, 0}, {-5, -5}};
    for (const auto& c : cases) {
        BRNPackage p(PMString("P"), PMString(""), c.stored);
        EXPECT_EQ(p.GetTimestamp(), c.read) << c.stored;
        EXPECT_EQ(p.GetRawTimestamp(), c.stored);
    }
}

TEST(BRNPackageTest, RaiseVersionIncrementsAndClearsModified) {
    BRNPackage p(PMString("Alpha"), PMString(""), 0);
    p.SetVersion(4);
    ASSERT_TRUE(p.IsModified());
    p.RaiseVersion();
    EXPECT_EQ(p.GetVersion(), 5u);
    EXPECT_FALSE(p.IsModified());
    p.RaiseVersion();
    EXPECT_EQ(p.GetVersion(), 6u);
    EXPECT_FALSE(p.IsModified());
    EXPECT_EQ(U8(p.GetVersionString()), "6");
    EXPECT_FALSE(p.GetVersionString().GetTranslatable());
}

TEST(BRNPackageTest, FindFieldMatchesShortNameExactly) {
    BRNPackage p(BRNFieldList{FieldWithShortName("Title", "first"), FieldWithShortName("Subtitle", "s"),
                              FieldWithShortName("Title", "second")},
                 PMString("P"), PMString(""), 0);
    BRNField* title = p.FindField(PMString("Title"));
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(U8(title->GetValue()), "first");
    for (const char* miss : {"title", "TITLE", "Titl", "Title ", "itle", ""})
        EXPECT_EQ(p.FindField(PMString(miss)), nullptr) << '"' << miss << '"';

    // The field found is the package's own, not a copy.
    title->SetValue(PMString("edited"));
    EXPECT_EQ(U8(p.GetFields()[0].GetValue()), "edited");

    const BRNPackage& cp = p;
    const BRNField* sub = cp.FindField(PMString("Subtitle"));
    ASSERT_NE(sub, nullptr);
    EXPECT_EQ(sub, &cp.GetFields()[1]);
}

TEST(BRNPackageTest, CopyKeepsEveryMember) {
    BRNPackage p(BRNFieldList{FieldWithShortName("Title", "t")}, PMString("Alpha"), PMString("pw"), 60000);
    p.SetVersion(9);
    p.SetModified(kFalse);
    p.SetLocked(kTrue);
    p.SetEnabled(kTrue);
    for (const BRNPackage& c : {BRNPackage(p), [&] {
                                    BRNPackage a;
                                    a = p;
                                    return a;
                                }()}) {
        EXPECT_EQ(c.GetName(), p.GetName());
        EXPECT_EQ(c.GetPassword(), p.GetPassword());
        EXPECT_EQ(c.GetVersion(), 9u);
        EXPECT_FALSE(c.IsModified());
        EXPECT_TRUE(c.GetLocked());
        EXPECT_TRUE(c.GetEnabled());
        EXPECT_EQ(c.GetRawTimestamp(), 60000);
        EXPECT_EQ(c.GetPasswordCheck(), p.GetPasswordCheck());
        ASSERT_EQ(c.GetFields().size(), 1u);
        EXPECT_TRUE(c.GetFields()[0].IsEqual(p.GetFields()[0]));
    }
}

TEST(BRNPackageTest, SetFieldsReplacesTheList) {
    BRNPackage p(BRNFieldList{FieldWithShortName("A", "a"), FieldWithShortName("B", "b")}, PMString("P"),
                 PMString(""), 0);
    BRNFieldList fresh{FieldWithShortName("C", "c")};
    p.SetFields(fresh);
    fresh[0].SetValue(PMString("changed"));
    ASSERT_EQ(p.GetFields().size(), 1u);
    EXPECT_EQ(U8(p.GetFields()[0].GetValue()), "c");
    EXPECT_EQ(p.FindField(PMString("A")), nullptr);
}

TEST(BRNPackageTest, FindAndRemoveInListsUseExactNameAndFirstMatch) {
    auto make = [](const char* name, uint32 version) {
        BRNPackage p(PMString(name), PMString(""), 0);
        p.SetVersion(version);
        return p;
    };
    BRNPackageList list{make("Alpha", 1), make("Beta", 2), make("Alpha", 3)};

    BRNPackage* found = FindPackage(list, PMString("Alpha"));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->GetVersion(), 1u);
    EXPECT_EQ(found, &list[0]);
    for (const char* miss : {"alpha", "Alph", "Alpha ", ""})
        EXPECT_EQ(FindPackage(list, PMString(miss)), nullptr);
    const BRNPackageList& clist = list;
    ASSERT_NE(FindPackage(clist, PMString("Beta")), nullptr);
    EXPECT_EQ(FindPackage(clist, PMString("Beta"))->GetVersion(), 2u);

    EXPECT_FALSE(RemovePackage(list, PMString("alpha")));
    EXPECT_EQ(list.size(), 3u);

    EXPECT_TRUE(RemovePackage(list, PMString("Alpha")));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(U8(list[0].GetName()), "Beta");
    EXPECT_EQ(list[1].GetVersion(), 3u) << "only the first Alpha goes";

    EXPECT_TRUE(RemovePackage(list, PMString("Alpha")));
    EXPECT_FALSE(RemovePackage(list, PMString("Alpha")));
    ASSERT_EQ(list.size(), 1u);

    BRNPackageList empty;
    EXPECT_EQ(FindPackage(empty, PMString("Alpha")), nullptr);
    EXPECT_FALSE(RemovePackage(empty, PMString("Alpha")));
}

} // namespace

// The highest version is not raised further: wrapping to 0 would make every older copy of the
// package look newer.
TEST(BRNPackageTest, RaiseVersionStopsAtTheHighestVersion) {
    const struct {
        uint32 from, to;
    } cases[] = {{0, 1}, {2147483647u, 2147483648u}, {4294967294u, 4294967295u}, {4294967295u, 4294967295u}};
    for (const auto& c : cases) {
        BRNPackage p(PMString("P"), PMString(), 0);
        p.SetVersion(c.from);
        EXPECT_EQ(p.NextVersion(), c.to);
        p.RaiseVersion();
        EXPECT_EQ(p.GetVersion(), c.to) << c.from;
        EXPECT_FALSE(p.IsModified());
    }
}
