#include "CVUtils.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<std::string> AsUTF8(const std::vector<PMString>& pieces) {
    std::vector<std::string> out;
    for (const auto& p : pieces)
        out.push_back(p.GetUTF8String());
    return out;
}

struct SplitCase {
    const char* text;
    bool strip;
    std::vector<std::string> pieces;
};

TEST(CVUtilsSplitTest, Table) {
    const std::vector<SplitCase> cases = {
        {"a,b", false, {"a", "b"}},
        {"a,", false, {"a"}},
        {",a", false, {"", "a"}},
        {"a,,b", false, {"a", "", "b"}},
        {"", false, {}},
        {",", false, {""}},
        {",,", false, {"", ""}},
        {"a,,", false, {"a", ""}},
        {"abc", false, {"abc"}},
        {" a , b ", false, {" a ", " b "}},
        {" a , b ", true, {"a", "b"}},
        {"a, ,b", true, {"a", "", "b"}},
        {" \t", true, {""}},
        {"x , ", true, {"x", ""}},
        {"\xC3\xA6,\xF0\x9F\x98\x80,\xE2\x82\xAC", false, {"\xC3\xA6", "\xF0\x9F\x98\x80", "\xE2\x82\xAC"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("\"") + c.text + "\"" + (c.strip ? " stripped" : ""));
        PMString text(c.text);
        ASSERT_EQ(text.GetTranslatable(), kTrue);
        auto pieces = CVUtils::Split(text, u',', c.strip ? kTrue : kFalse);
        EXPECT_EQ(AsUTF8(pieces), c.pieces);
        for (const auto& p : pieces)
            EXPECT_EQ(p.GetTranslatable(), kFalse);
    }
}

TEST(CVUtilsSplitTest, OtherSeparators) {
    EXPECT_EQ(AsUTF8(CVUtils::Split(PMString("a;b,c"), u';', kFalse)),
              (std::vector<std::string>{"a", "b,c"}));
    EXPECT_EQ(AsUTF8(CVUtils::Split(PMString("a\xC3\xA6"
                                             "b"),
                                    u'\u00E6', kFalse)),
              (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(AsUTF8(CVUtils::Split(PMString("line1\nline2\n"), u'\n', kFalse)),
              (std::vector<std::string>{"line1", "line2"}));
}

TEST(CVUtilsReplaceAllTest, Table) {
    struct Case {
        const char* text;
        const char* find;
        const char* replacement;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"axb", "x", "xx", "axxb"},         // the replacement holds the search text: no loop
        {"xxx", "x", "xx", "xxxxxx"},       //
        {"aaa", "a", "b", "bbb"},           //
        {"aaaa", "aa", "a", "aa"},          // no rescanning of what was put in
        {"abab", "ab", "ba", "baba"},       //
        {"abc", "", "z", "abc"},            // nothing to find: unchanged
        {"abc", "d", "z", "abc"},           //
        {"", "a", "b", ""},                 //
        {"xx", "x", "", ""},                //
        {"a.b.c", ".", "\\.", "a\\.b\\.c"}, //
        {"Dato: #", "#", "\xC3\xA6\xF0\x9F\x98\x80", "Dato: \xC3\xA6\xF0\x9F\x98\x80"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.text) + " / " + c.find + " -> " + c.replacement);
        PMString result = CVUtils::ReplaceAll(PMString(c.text), PMString(c.find), PMString(c.replacement));
        EXPECT_EQ(result.GetUTF8String(), c.expected);
        EXPECT_EQ(result.GetTranslatable(), kFalse);
    }
}

TEST(CVUtilsReplaceAllTest, InputIsNotChanged) {
    const PMString text("axb");
    PMString out = CVUtils::ReplaceAll(text, PMString("x"), PMString("yy"));
    EXPECT_EQ(text, PMString("axb"));
    EXPECT_EQ(text.GetTranslatable(), kTrue);
    EXPECT_EQ(out, PMString("ayyb"));
}

// -- file type information
// ----------------------------------------------------------------------------------------

enum : ImplementationID { kTestFileTypeInfoImpl = 0x7F501, kTestPlainImpl = 0x7F502 };
enum : ClassID { kTestDocumentBoss = 0x7F601, kTestPlainBoss = 0x7F602 };
enum : PMIID { IID_ITESTPLAIN = 0x7F701 };

class TestFileTypeInfo : public CPMUnknown<IFileTypeInfo> {
public:
    explicit TestFileTypeInfo(Boss* boss) : CPMUnknown<IFileTypeInfo>(boss) {}
    ~TestFileTypeInfo() override { ++sDestroyed; }
    static inline int sDestroyed = 0;
    FileTypeInfoID GetFileTypeInfoID() const override { return 4711; }
};

class ITestPlain : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ITESTPLAIN };
};

class TestPlain : public CPMUnknown<ITestPlain> {
public:
    explicit TestPlain(Boss* boss) : CPMUnknown<ITestPlain>(boss) {}
};

class CVUtilsFileTypeTest : public ::testing::Test {
protected:
    void SetUp() override {
        ObjectModel::Reset();
        ObjectModel::RegisterImplementation(kTestFileTypeInfoImpl, MakeFactory<TestFileTypeInfo>());
        ObjectModel::RegisterImplementation(kTestPlainImpl, MakeFactory<TestPlain>());
        ObjectModel::RegisterClass(kTestDocumentBoss, {{IID_ITESTPLAIN, kTestPlainImpl},
                                                       {IID_IFILETYPEINFO, kTestFileTypeInfoImpl}});
        ObjectModel::RegisterClass(kTestPlainBoss, {{IID_ITESTPLAIN, kTestPlainImpl}});
    }
    void TearDown() override { ObjectModel::Reset(); }
};

TEST_F(CVUtilsFileTypeTest, AsksTheObjectForItsFileType) {
    InterfacePtr<ITestPlain> document(CreateObject2<ITestPlain>(kTestDocumentBoss));
    InterfacePtr<ITestPlain> plain(CreateObject2<ITestPlain>(kTestPlainBoss));
    ASSERT_TRUE(document && plain);
    EXPECT_EQ(CVUtils::GetFileTypeInfoID(document), 4711);
    EXPECT_EQ(CVUtils::GetFileTypeInfoID(plain), kInvalidFileTypeInfoID);
    EXPECT_EQ(CVUtils::GetFileTypeInfoID(nullptr), kInvalidFileTypeInfoID);
    // The query holds no reference beyond the call.
    TestFileTypeInfo::sDestroyed = 0;
    document.reset();
    EXPECT_EQ(TestFileTypeInfo::sDestroyed, 1);
}

} // namespace
