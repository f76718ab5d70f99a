#include "CVExpatSimpleDOM.h"
#include "io/StreamUtil.h"
#include "objectmodel/InterfacePtr.h"
#include "session/Host.h"
#include "TestSupport.h"

#include <expat.h>
#include <sys/stat.h>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ReadUTF16File;
using testsupport::TempDir;
using testsupport::ToUTF16;
using testsupport::WriteFile;

namespace {

// The tree as one line of text, for comparing whole trees: elements as name[attrs](children),
// text nodes quoted.
std::string Dump(const CVDomElement* n) {
    if (!n) return "null";
    if (!n->IsElement()) return "\"" + n->GetRawText() + "\"";
    std::string s = n->GetName() + "[";
    for (const auto& [k, v] : n->GetAttributes())
        s += k + "=" + v + ";";
    s += "](";
    for (int32 i = 0; i < n->ChildCount(); ++i)
        s += (i ? "," : "") + Dump(n->ChildAt(i));
    return s + ")";
}

// Every node's parent is the node that holds it.
void ExpectParentsRight(const CVDomElement* n) {
    for (int32 i = 0; i < n->ChildCount(); ++i) {
        EXPECT_EQ(n->ChildAt(i)->GetParent(), n);
        ExpectParentsRight(n->ChildAt(i));
    }
}

const std::string kDocument = "<?xml version=\"1.0\"?>\n"
                              "<library name=\"Main\" owner=\"\xC3\x86sa\">\n"
                              "<package id=\"1\" title=\"a &amp; b\">First</package>\n"
                              "<package id=\"2\"/>\n"
                              "<note>\xF0\x9F\x98\x80 &lt;ok&gt;</note>\n"
                              "</library>\n";

const std::string kDocumentDump = "library[name=Main;owner=\xC3\x86sa;](\"\n\","
                                  "package[id=1;title=a & b;](\"First\"),\"\n\","
                                  "package[id=2;](),\"\n\","
                                  "note[](\"\xF0\x9F\x98\x80 <ok>\"),\"\n\")";

enum class Encoding { kUTF8, kUTF16LE, kUTF16BE };
enum class Source { kBuffer, kBufferPointer, kString, kStream, kFile };

std::string Encode(const std::string& utf8, Encoding e) {
    switch (e) {
    case Encoding::kUTF8:
        return utf8;
    case Encoding::kUTF16LE:
        return ToUTF16(utf8, false);
    case Encoding::kUTF16BE:
        return ToUTF16(utf8, true);
    }
    return {};
}

struct ParseCase {
    Encoding encoding;
    Source source;
};

std::string CaseName(const ::testing::TestParamInfo<ParseCase>& info) {
    static const char* enc[] = {"UTF8", "UTF16LE", "UTF16BE"};
    static const char* src[] = {"Buffer", "BufferPointer", "String", "Stream", "File"};
    return std::string(enc[static_cast<int>(info.param.encoding)]) + "_" +
           src[static_cast<int>(info.param.source)];
}

class DOMParseTest : public ::testing::TestWithParam<ParseCase> {
protected:
    bool Parse(CVExpatSimpleDOM& dom, const std::string& bytes) {
        switch (GetParam().source) {
        case Source::kBuffer:
            return dom.ParseBuffer(bytes);
        case Source::kBufferPointer:
            return dom.ParseBuffer(bytes.data(), static_cast<int32>(bytes.size()));
        case Source::kString:
            return dom.ParseString(PMString(bytes));
        case Source::kStream: {
            InterfacePtr<IPMStream> s(StreamUtil::CreateMemoryStreamRead(bytes));
            return dom.ParseStream(s);
        }
        case Source::kFile: {
            WriteFile(fTmp / "doc.xml", bytes);
            return dom.ParseFile(IDFile(fTmp / "doc.xml"));
        }
        }
        return false;
    }
    TempDir fTmp;
};

TEST_P(DOMParseTest, BuildsTheWholeTree) {
    CVExpatSimpleDOM dom;
    ASSERT_TRUE(Parse(dom, Encode(kDocument, GetParam().encoding))) << dom.GetError().GetUTF8String();
    EXPECT_TRUE(dom.GetError().IsEmpty());
    std::unique_ptr<CVDomElement> root(dom.GetRoot());
    ASSERT_TRUE(root);
    EXPECT_EQ(Dump(root.get()), kDocumentDump);
    EXPECT_EQ(root->GetParent(), nullptr);
    ExpectParentsRight(root.get());
    EXPECT_EQ(root->GetAttribute("owner").Units(), u"\u00C6sa");
    EXPECT_EQ(root->FindChild("note")->GetText().Units(), u"\U0001F600 <ok>");
}

TEST_P(DOMParseTest, TruncatedDocumentReportsExpatErrorAndLine) {
    struct Case {
        const char* name;
        std::string text;
        XML_Error error;
        int line;
    };
    const std::vector<Case> cases = {
        {"ends inside an element", "<a>\n<b>\n</b>", XML_ERROR_NO_ELEMENTS, 3},
        {"ends inside a tag", "<a>\n<b>\n<c att", XML_ERROR_UNCLOSED_TOKEN, 3},
        {"mismatched tag", "<a>\n<b></c>\n</a>", XML_ERROR_TAG_MISMATCH, 2},
        {"duplicate attribute", "<a x=\"1\"\n x=\"2\"/>", XML_ERROR_DUPLICATE_ATTRIBUTE, 2},
        {"empty document", "", XML_ERROR_NO_ELEMENTS, 1},
    };
    for (const auto& c : cases) {
        if (GetParam().encoding != Encoding::kUTF8 && c.text.empty()) continue; // a lone BOM is another case
        SCOPED_TRACE(c.name);
        CVExpatSimpleDOM dom;
        EXPECT_FALSE(Parse(dom, Encode(c.text, GetParam().encoding)));
        EXPECT_EQ(dom.GetError().GetUTF8String(),
                  std::string(XML_ErrorString(c.error)) + " at line " + std::to_string(c.line) + "\n");
    }
}

INSTANTIATE_TEST_SUITE_P(AllSources, DOMParseTest,
                         ::testing::Values(ParseCase{Encoding::kUTF8, Source::kBuffer},
                                           ParseCase{Encoding::kUTF8, Source::kBufferPointer},
                                           ParseCase{Encoding::kUTF8, Source::kString},
                                           ParseCase{Encoding::kUTF8, Source::kStream},
                                           ParseCase{Encoding::kUTF8, Source::kFile},
                                           ParseCase{Encoding::kUTF16LE, Source::kBuffer},
                                           ParseCase{Encoding::kUTF16LE, Source::kStream},
                                           ParseCase{Encoding::kUTF16LE, Source::kFile},
                                           ParseCase{Encoding::kUTF16BE, Source::kBuffer},
                                           ParseCase{Encoding::kUTF16BE, Source::kStream},
                                           ParseCase{Encoding::kUTF16BE, Source::kFile}),
                         CaseName);

class DOMTest : public ::testing::Test {
protected:
    std::unique_ptr<CVDomElement> Parse(const std::string& text) {
        if (!fDom.ParseBuffer(text)) {
            ADD_FAILURE() << fDom.GetError().GetUTF8String();
            return nullptr;
        }
        return std::unique_ptr<CVDomElement>(fDom.GetRoot());
    }
    CVExpatSimpleDOM fDom;
    TempDir fTmp;
};

TEST_F(DOMTest, NullStreamIsInvalid) {
    EXPECT_FALSE(fDom.ParseStream(nullptr));
    EXPECT_EQ(fDom.GetError(), PMString("Invalid stream"));
    EXPECT_EQ(BuildDOMFromStream(nullptr), nullptr);
}

TEST_F(DOMTest, MissingFileIsReportedWithItsPath) {
    const fs::path missing = fTmp / "no such.xml";
    EXPECT_FALSE(fDom.ParseFile(IDFile(missing)));
    EXPECT_EQ(fDom.GetError().GetUTF8String(), "Could not open file:" + missing.string());
    EXPECT_FALSE(fDom.ParseFile(IDFile(fTmp.path())));
    EXPECT_EQ(fDom.GetError().GetUTF8String(), "Could not open file:" + fTmp.path().string());
}

TEST_F(DOMTest, ErrorIsClearedByTheNextGoodParse) {
    EXPECT_FALSE(fDom.ParseBuffer(std::string("<a>")));
    EXPECT_FALSE(fDom.GetError().IsEmpty());
    auto root = Parse("<b/>");
    ASSERT_TRUE(root);
    EXPECT_TRUE(fDom.GetError().IsEmpty());
    EXPECT_EQ(root->GetName(), "b");
}

TEST_F(DOMTest, EachParseStartsAFreshTree) {
    ASSERT_TRUE(fDom.ParseBuffer(std::string("<first><x/></first>")));
    auto second = Parse("<second/>");
    ASSERT_TRUE(second);
    EXPECT_EQ(Dump(second.get()), "second[]()");
    EXPECT_EQ(fDom.GetRoot(), nullptr) << "the root was taken";
}

TEST_F(DOMTest, TextAroundANestedElementMakesTwoTextNodes) {
    auto root = Parse("<p>before<b>bold</b>after</p>");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->ChildCount(), 3);
    EXPECT_EQ(root->ChildAt(0)->GetKind(), CVDomElement::kText);
    EXPECT_EQ(root->ChildAt(0)->GetRawText(), "before");
    EXPECT_EQ(root->ChildAt(1)->GetName(), "b");
    EXPECT_EQ(root->ChildAt(2)->GetKind(), CVDomElement::kText);
    EXPECT_EQ(root->ChildAt(2)->GetRawText(), "after");
    EXPECT_TRUE(root->GetText().empty()) << "more than one child: no text";
    EXPECT_EQ(root->FindChild("b")->GetTextUTF8(), "bold");
}

TEST_F(DOMTest, TextDeliveredInPiecesIsJoined) {
    // Entities, line ends and chunk borders all split expat's character data; the text is longer
    // than any chunk a reader would hand over at once.
    std::string longText(100000, 'x');
    longText += "\xC3\xA6\xE2\x82\xAC\xF0\x9F\x98\x80";
    longText += std::string(100000, 'y');
    const std::string doc = "<r>a &amp; b\nc" + longText + "</r>";
    enum Way { kBuffer, kStreamUTF8, kStreamUTF16LE, kStreamUTF16BE };
    for (Way way : {kBuffer, kStreamUTF8, kStreamUTF16LE, kStreamUTF16BE}) {
        SCOPED_TRACE(way);
        std::unique_ptr<CVDomElement> root;
        if (way == kBuffer) {
            root = Parse(doc);
        } else {
            const std::string bytes = way == kStreamUTF8 ? doc : ToUTF16(doc, way == kStreamUTF16BE);
            InterfacePtr<IPMStream> s(StreamUtil::CreateMemoryStreamRead(bytes));
            root = BuildDOMFromStream(s);
        }
        ASSERT_TRUE(root);
        ASSERT_EQ(root->ChildCount(), 1);
        EXPECT_EQ(root->GetTextUTF8(), "a & b\nc" + longText);
    }
}

TEST_F(DOMTest, StreamIsParsedFromItsStart) {
    InterfacePtr<IPMStream> s(StreamUtil::CreateMemoryStreamRead("<a><b/></a>"));
    uchar sink[64];
    s->XferByte(sink, sizeof sink); // at the end now
    ASSERT_TRUE(fDom.ParseStream(s)) << fDom.GetError().GetUTF8String();
    std::unique_ptr<CVDomElement> root(fDom.GetRoot());
    EXPECT_EQ(Dump(root.get()), "a[](b[]())");
}

TEST_F(DOMTest, WhitespaceBetweenElementsIsKept) {
    auto root = Parse("<r>\n  <a/>\n  <b/>\n</r>");
    ASSERT_TRUE(root);
    EXPECT_EQ(Dump(root.get()), "r[](\"\n  \",a[](),\"\n  \",b[](),\"\n\")");
}

TEST_F(DOMTest, FindChild) {
    auto root = Parse("<r>text<Field n=\"0\"/><other/><Field n=\"1\"/>more<Field n=\"2\"/></r>");
    ASSERT_TRUE(root);
    struct Case {
        const char* name;
        int32 n;
        const char* expectedN; // null: no child
    };
    const std::vector<Case> cases = {
        {"Field", 0, "0"},      {"Field", 1, "1"},     {"Field", 2, "2"},     {"Field", 3, nullptr},
        {"Field", -1, nullptr}, {"field", 0, nullptr}, {"FIELD", 1, nullptr}, {"Fiel", 0, nullptr},
        {"other", 0, ""},       {"other", 1, nullptr}, {"", 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " #" + std::to_string(c.n));
        CVDomElement* found = root->FindChild(c.name, c.n);
        if (!c.expectedN) {
            EXPECT_EQ(found, nullptr);
            continue;
        }
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->GetName(), c.name);
        EXPECT_EQ(found->GetAttribute("n").GetUTF8String(), c.expectedN);
    }
    EXPECT_EQ(root->ChildAt(-1), nullptr);
    EXPECT_EQ(root->ChildAt(root->ChildCount()), nullptr);
    EXPECT_EQ(root->ChildAt(0)->GetRawText(), "text");
}

TEST_F(DOMTest, AttributesMissingEmptyAndCase) {
    auto root = Parse("<a empty=\"\" Name=\"upper\" name=\"lower\" v=\"&quot;q&quot; &#x9;t\"/>");
    ASSERT_TRUE(root);
    struct Case {
        const char* name;
        bool has;
        std::string value;
    };
    const std::vector<Case> cases = {
        {"empty", true, ""},     {"missing", false, ""}, {"Name", true, "upper"},
        {"name", true, "lower"}, {"NAME", false, ""},    {"v", true, "\"q\" \tt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(root->HasAttribute(c.name), c.has);
        EXPECT_EQ(root->GetAttribute(c.name).GetUTF8String(), c.value);
        const std::string* raw = root->FindAttributeUTF8(c.name);
        if (c.has) {
            ASSERT_NE(raw, nullptr);
            EXPECT_EQ(*raw, c.value);
        } else {
            EXPECT_EQ(raw, nullptr);
        }
    }
    // Document order.
    ASSERT_EQ(root->GetAttributes().size(), 4u);
    EXPECT_EQ(root->GetAttributes()[1].first, "Name");
    EXPECT_EQ(root->GetAttributes()[2].first, "name");
}

TEST_F(DOMTest, DuplicateAttributesAreRefusedByTheParser) {
    EXPECT_FALSE(fDom.ParseBuffer(std::string("<a x=\"1\" x=\"2\"/>")));
    EXPECT_EQ(fDom.GetError().GetUTF8String(),
              std::string(XML_ErrorString(XML_ERROR_DUPLICATE_ATTRIBUTE)) + " at line 1\n");
}

TEST_F(DOMTest, AddedAttributesKeepDuplicatesInOrder) {
    auto e = CVDomElement::NewElement("e");
    e->AddAttribute("k", "first");
    e->AddAttribute("k", "second");
    ASSERT_EQ(e->GetAttributes().size(), 2u);
    EXPECT_EQ(e->GetAttribute("k").GetUTF8String(), "first");
    EXPECT_EQ(e->GetAttributes()[1].second, "second");
}

TEST_F(DOMTest, GetTextRules) {
    auto root = Parse("<r><one>alone</one><none/><elem><x/></elem><mixed>a<x/></mixed><blank> </blank></r>");
    ASSERT_TRUE(root);
    EXPECT_EQ(root->FindChild("one")->GetText().Units(), u"alone");
    EXPECT_EQ(root->FindChild("one")->ChildAt(0)->GetText().Units(), u"alone") << "a text node's own text";
    EXPECT_TRUE(root->FindChild("none")->GetText().empty());
    EXPECT_TRUE(root->FindChild("elem")->GetText().empty());
    EXPECT_TRUE(root->FindChild("mixed")->GetText().empty());
    EXPECT_EQ(root->FindChild("blank")->GetTextUTF8(), " ");

    auto twoTexts = CVDomElement::NewElement("t");
    twoTexts->AddText("a");
    twoTexts->AddText("b");
    EXPECT_EQ(twoTexts->ChildCount(), 2);
    EXPECT_TRUE(twoTexts->GetText().empty());
}

// Counts its destruction, to see who owns whom.
class TrackedElement : public CVDomElement {
public:
    TrackedElement(Kind kind, std::string text, int* destroyed)
        : CVDomElement(kind, std::move(text)), fDestroyed(destroyed) {}
    ~TrackedElement() override { ++*fDestroyed; }

private:
    int* fDestroyed;
};

TEST_F(DOMTest, InsertChildPositions) {
    struct Case {
        int32 position;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {0, "p[](new[](),a[](),b[](),c[]())"},  {1, "p[](a[](),new[](),b[](),c[]())"},
        {2, "p[](a[](),b[](),new[](),c[]())"},  {3, "p[](a[](),b[](),c[](),new[]())"},
        {99, "p[](a[](),b[](),c[](),new[]())"}, {-1, "p[](a[](),b[](),c[](),new[]())"},
        {-7, "p[](a[](),b[](),c[](),new[]())"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        auto p = CVDomElement::NewElement("p");
        for (const char* n : {"a", "b", "c"})
            ASSERT_TRUE(p->InsertChild(CVDomElement::NewElement(n)));
        auto child = CVDomElement::NewElement("new");
        CVDomElement* raw = child.get();
        EXPECT_TRUE(p->InsertChild(std::move(child), c.position));
        EXPECT_EQ(Dump(p.get()), c.expected);
        EXPECT_EQ(raw->GetParent(), p.get());
    }
}

TEST_F(DOMTest, TextNodeTakesNoChildren) {
    int destroyed = 0;
    auto text = CVDomElement::NewText("t");
    EXPECT_FALSE(
        text->InsertChild(std::make_unique<TrackedElement>(CVDomElement::kElement, "x", &destroyed)));
    EXPECT_EQ(destroyed, 1) << "the refused child is destroyed, not leaked";
    EXPECT_EQ(text->ChildCount(), 0);
    EXPECT_FALSE(text->AddText("more"));
    EXPECT_EQ(text->ChildCount(), 0);
    EXPECT_FALSE(CVDomElement::NewElement("e")->InsertChild(nullptr));
}

TEST_F(DOMTest, NodeOwnsItsSubtree) {
    int destroyed = 0;
    {
        auto root = CVDomElement::NewElement("r");
        auto mid = std::make_unique<TrackedElement>(CVDomElement::kElement, "m", &destroyed);
        mid->InsertChild(std::make_unique<TrackedElement>(CVDomElement::kText, "leaf", &destroyed));
        root->InsertChild(std::move(mid));
        root->InsertChild(std::make_unique<TrackedElement>(CVDomElement::kText, "t", &destroyed));
        EXPECT_EQ(destroyed, 0);
    }
    EXPECT_EQ(destroyed, 3);
}

TEST_F(DOMTest, NewNodesHaveTheirKind) {
    auto e = CVDomElement::NewElement("name");
    auto t = CVDomElement::NewText("text");
    EXPECT_TRUE(e->IsElement());
    EXPECT_EQ(e->GetKind(), CVDomElement::kElement);
    EXPECT_EQ(e->GetName(), "name");
    EXPECT_EQ(e->GetRawText(), "");
    EXPECT_FALSE(t->IsElement());
    EXPECT_EQ(t->GetKind(), CVDomElement::kText);
    EXPECT_EQ(t->GetName(), "");
    EXPECT_EQ(t->GetRawText(), "text");
}

TEST_F(DOMTest, BuildDOMFromStream) {
    InterfacePtr<IPMStream> good(StreamUtil::CreateMemoryStreamRead(ToUTF16(kDocument, true)));
    auto root = BuildDOMFromStream(good);
    ASSERT_TRUE(root);
    EXPECT_EQ(Dump(root.get()), kDocumentDump);

    InterfacePtr<IPMStream> bad(StreamUtil::CreateMemoryStreamRead("<a><b></a>"));
    EXPECT_EQ(BuildDOMFromStream(bad), nullptr);
    EXPECT_EQ(CVExpatSimpleDOM::Instance().GetError().GetUTF8String(),
              std::string(XML_ErrorString(XML_ERROR_TAG_MISMATCH)) + " at line 1\n");
}

class DOMWriteTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(Host::Start(nullptr)); }
    void TearDown() override { Host::Stop(); }
    CVExpatSimpleDOM fDom;
    TempDir fTmp;
};

TEST_F(DOMWriteTest, WrittenFileReadsBackEqual) {
    const std::string doc = "<root a=\"1 &amp; 2\" tricky=\"&lt;&gt;&quot;&#x9;&#xA;&#xD;'\">\n"
                            "  <item k=\"\xC3\xA6\xC3\xB8\xC3\xA5\">x &lt; y &amp; \xF0\x9F\x98\x80</item>\n"
                            "  <mixed>before<b>bold</b>after</mixed>\n"
                            "  <empty/>\n"
                            "</root>";
    ASSERT_TRUE(fDom.ParseBuffer(doc)) << fDom.GetError().GetUTF8String();
    std::unique_ptr<CVDomElement> original(fDom.GetRoot());
    const std::string expected = Dump(original.get());

    for (bool16 indent : {kFalse, kTrue}) {
        SCOPED_TRACE(indent ? "indented" : "flat");
        const fs::path file = fTmp / (indent ? "indented.xml" : "flat.xml");
        ASSERT_EQ(fDom.WriteToFile(IDFile(file), original.get(), indent), 0);
        const std::string bytes = ReadFile(file);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << "UTF-16 with a byte-order mark";
        EXPECT_EQ(ReadUTF16File(file).rfind("<?xml version=\"1.0\"", 0), 0u);

        ASSERT_TRUE(fDom.ParseFile(IDFile(file))) << fDom.GetError().GetUTF8String();
        std::unique_ptr<CVDomElement> back(fDom.GetRoot());
        EXPECT_EQ(Dump(back.get()), expected);
    }
}

TEST_F(DOMWriteTest, BuiltTreeWrittenFlatReadsBackEqual) {
    auto root = CVDomElement::NewElement("Package");
    root->AddAttribute("Name", "Pakke \"1\"");
    auto field = CVDomElement::NewElement("Field");
    field->AddAttribute("Type", "String");
    field->AddText("line one\nline two\t& more");
    root->InsertChild(std::move(field));
    root->InsertChild(CVDomElement::NewElement("Empty"));
    const std::string expected = Dump(root.get());

    const fs::path file = fTmp / "built.xml";
    ASSERT_EQ(fDom.WriteToFile(IDFile(file), root.get(), kFalse), 0);
    ASSERT_TRUE(fDom.ParseFile(IDFile(file))) << fDom.GetError().GetUTF8String();
    std::unique_ptr<CVDomElement> back(fDom.GetRoot());
    EXPECT_EQ(Dump(back.get()), expected);
}

TEST_F(DOMWriteTest, WriteIntoMissingFolderFails) {
    auto root = CVDomElement::NewElement("r");
    const fs::path file = fTmp / "missing" / "out.xml";
    EXPECT_EQ(fDom.WriteToFile(IDFile(file), root.get(), kTrue), 1);
    EXPECT_FALSE(fs::exists(file.parent_path()));
}

TEST_F(DOMWriteTest, WriteReplacesAnExistingFile) {
    const fs::path file = fTmp / "out.xml";
    WriteFile(file, std::string(10000, 'z'));
    auto root = CVDomElement::NewElement("r");
    ASSERT_EQ(fDom.WriteToFile(IDFile(file), root.get(), kTrue), 0);
    ASSERT_TRUE(fDom.ParseFile(IDFile(file))) << fDom.GetError().GetUTF8String();
    std::unique_ptr<CVDomElement> back(fDom.GetRoot());
    EXPECT_EQ(Dump(back.get()), "r[]()");
}

} // namespace

// Nesting: a file nested deeper than the limit is refused with a clear message instead of
// building a tree that the recursive writer and walkers could not go down; a tree of any
// depth, however it was built, is destroyed without recursion.
TEST_F(DOMTest, NestingDeeperThanTheLimitIsRefused) {
    auto nested = [](int depth) {
        std::string s;
        for (int i = 0; i < depth; ++i) s += "<a>";
        for (int i = 0; i < depth; ++i) s += "</a>";
        return s;
    };
    struct Case {
        int depth;
        bool ok;
    };
    for (const Case& c : {Case{1, true}, Case{CVExpatSimpleDOM::kMaxDepth, true},
                          Case{CVExpatSimpleDOM::kMaxDepth + 1, false}, Case{200000, false}}) {
        SCOPED_TRACE(c.depth);
        EXPECT_EQ(fDom.ParseBuffer(nested(c.depth)), c.ok);
        if (!c.ok) {
            EXPECT_NE(fDom.GetError().GetUTF8String().find("nested deeper than"), std::string::npos)
                << fDom.GetError().GetUTF8String();
        }
        std::unique_ptr<CVDomElement>(fDom.GetRoot());
    }
    // The same limit holds for a file.
    const fs::path deep = fTmp / "deep.xml";
    WriteFile(deep, nested(5000));
    EXPECT_FALSE(fDom.ParseFile(IDFile(deep)));
    EXPECT_NE(fDom.GetError().GetUTF8String().find("nested deeper than"), std::string::npos);
}

TEST_F(DOMTest, AVeryDeepTreeIsDestroyedWithoutRecursion) {
    auto root = CVDomElement::NewElement("a");
    CVDomElement* tip = root.get();
    for (int i = 0; i < 1000000; ++i) {
        auto child = CVDomElement::NewElement("a");
        CVDomElement* next = child.get();
        ASSERT_TRUE(tip->InsertChild(std::move(child)));
        tip = next;
    }
    tip->InsertChild(CVDomElement::NewText("end"));
    root.reset(); // a recursive destructor overflows the stack here
    SUCCEED();
}

// Only regular files are read: a FIFO (no writer), a link to a device and a folder are
// refused at once instead of blocking or reading without end.
TEST_F(DOMTest, OnlyRegularFilesAreParsed) {
    const fs::path fifo = fTmp / "fifo.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path zero = fTmp / "zero.xml";
    fs::create_symlink("/dev/zero", zero);
    const fs::path good = fTmp / "good.xml";
    WriteFile(good, "<ok/>");
    const fs::path linkToGood = fTmp / "link.xml";
    fs::create_symlink(good, linkToGood);
    struct Case {
        fs::path path;
        bool ok;
    };
    for (const Case& c : {Case{fifo, false}, Case{zero, false}, Case{fTmp.path(), false}, Case{good, true},
                          Case{linkToGood, true}}) {
        SCOPED_TRACE(c.path.string());
        EXPECT_EQ(fDom.ParseFile(IDFile(c.path)), c.ok);
        if (!c.ok) {
            EXPECT_EQ(fDom.GetError().GetUTF8String(), "Could not open file:" + c.path.string());
        }
        std::unique_ptr<CVDomElement>(fDom.GetRoot());
    }
}

// One long token (an attribute of several megabytes) is read whole from a file.
TEST_F(DOMTest, AFileWithOneLongAttributeIsRead) {
    const std::string value(5 * 1024 * 1024, 'v');
    const fs::path big = fTmp / "big.xml";
    WriteFile(big, "<a x=\"" + value + "\"/>");
    ASSERT_TRUE(fDom.ParseFile(IDFile(big))) << fDom.GetError().GetUTF8String();
    std::unique_ptr<CVDomElement> root(fDom.GetRoot());
    ASSERT_TRUE(root);
    const std::string* x = root->FindAttributeUTF8("x");
    ASSERT_TRUE(x);
    EXPECT_EQ(*x, value);
}
