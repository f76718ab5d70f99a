#include "io/StreamUtil.h"
#include "io/XMLOutStream.h"
#include "objectmodel/InterfacePtr.h"
#include "TestSupport.h"

#include <expat.h>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;

namespace {

// What an independent reader (expat) sees in a document, as UTF-8.
struct ReadBack {
    bool ok = false;
    std::string error;
    struct Element {
        std::string name;
        std::vector<std::pair<std::string, std::string>> attributes;
        std::string text; // all character data directly inside
        int depth = 0;
    };
    std::vector<Element> elements; // in document order
};

struct ReaderState {
    ReadBack* out;
    std::vector<size_t> open;
};

ReadBack ParseWithExpat(const std::string& bytes) {
    ReadBack result;
    ReaderState state{&result, {}};
    XML_Parser p = XML_ParserCreate(nullptr);
    XML_SetUserData(p, &state);
    XML_SetElementHandler(
        p,
        [](void* ud, const XML_Char* name, const XML_Char** attrs) {
            auto* st = static_cast<ReaderState*>(ud);
            ReadBack::Element e;
            e.name = name;
            for (const XML_Char** a = attrs; *a; a += 2)
                e.attributes.emplace_back(a[0], a[1]);
            e.depth = static_cast<int>(st->open.size());
            st->out->elements.push_back(std::move(e));
            st->open.push_back(st->out->elements.size() - 1);
        },
        [](void* ud, const XML_Char*) { static_cast<ReaderState*>(ud)->open.pop_back(); });
    XML_SetCharacterDataHandler(p, [](void* ud, const XML_Char* s, int len) {
        auto* st = static_cast<ReaderState*>(ud);
        if (!st->open.empty()) st->out->elements[st->open.back()].text.append(s, static_cast<size_t>(len));
    });
    result.ok = XML_Parse(p, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_OK;
    if (!result.ok)
        result.error = std::string(XML_ErrorString(XML_GetErrorCode(p))) + " at line " +
                       std::to_string(XML_GetCurrentLineNumber(p));
    XML_ParserFree(p);
    return result;
}

std::u16string DecodeUTF16LE(const std::string& bytes) {
    std::u16string u;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        u.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    return u;
}

// An attribute list from (name, value) pairs.
IXMLOutStream::AttributeList Attrs(const std::vector<std::pair<std::string, WideString>>& pairs) {
    IXMLOutStream::AttributeList list;
    for (const auto& [name, value] : pairs) {
        const WideString n(name);
        list.emplace_back(n, value);
    }
    return list;
}

// A writer on a memory stream; Finish closes it and hands back the bytes.
class Writer {
public:
    Writer() : fStream(StreamUtil::CreateMemoryStreamWrite()), fOut(new XMLOutStream(fStream)) {}
    IXMLOutStream* operator->() const { return fOut.get(); }
    std::string Finish() {
        EXPECT_EQ(fOut->Close(), kTrue);
        return StreamUtil::GetMemoryStreamBytes(fStream);
    }

private:
    InterfacePtr<IPMStream> fStream;
    InterfacePtr<IXMLOutStream> fOut;
};

TEST(XMLOutStreamTest, StartsWithByteOrderMarkAndDeclaration) {
    struct Case {
        bool16 standalone;
        std::u16string declaration;
    };
    const std::vector<Case> cases = {
        {kFalse, u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>"},
        {kTrue, u"<?xml version=\"1.0\" encoding=\"UTF-16\" standalone=\"yes\"?>"},
    };
    for (const auto& c : cases) {
        Writer w;
        w->DocHeader(WideString("1.0"), c.standalone);
        w->Push(WideString("root"));
        const std::string bytes = w.Finish();
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
        EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
        EXPECT_EQ(bytes.size() % 2, 0u);
        const std::u16string text = DecodeUTF16LE(bytes.substr(2));
        EXPECT_EQ(text.substr(0, c.declaration.size()), c.declaration);
        ReadBack r = ParseWithExpat(bytes);
        ASSERT_TRUE(r.ok) << r.error;
        ASSERT_EQ(r.elements.size(), 1u);
        EXPECT_EQ(r.elements[0].name, "root");
    }
}

TEST(XMLOutStreamTest, EscapeAttribute) {
    struct Case {
        std::u16string in;
        std::u16string out;
    };
    const std::vector<Case> cases = {
        {u"plain", u"plain"},
        {u"a&b", u"a&amp;b"},
        {u"<tag>", u"&lt;tag&gt;"},
        {u"say \"hi\"", u"say &quot;hi&quot;"},
        {u"it's", u"it's"},
        {u"a\tb\nc\rd", u"a&#x9;b&#xA;c&#xD;d"},
        {u"x\x01y\x1Fz", u"x\uFFFDy\uFFFDz"},
        {u"\uFFFE\uFFFF", u"\uFFFD\uFFFD"},
        {u"&amp;", u"&amp;amp;"},
        {u"\U0001F600", u"\U0001F600"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XMLOutStream::EscapeAttribute(c.in), c.out);
}

TEST(XMLOutStreamTest, EscapeText) {
    struct Case {
        std::u16string in;
        std::u16string out;
    };
    const std::vector<Case> cases = {
        {u"a & b < c > d", u"a &amp; b &lt; c &gt; d"},
        {u"]]>", u"]]&gt;"},
        {u"\"quoted\" 'text'", u"\"quoted\" 'text'"},
        {u"tab\tnew\nline", u"tab\tnew\nline"},
        {u"cr\r", u"cr&#xD;"},
        {u"bell\x07", u"bell\uFFFD"},
        {std::u16string(u"nul\0end", 7), u"nul\uFFFDend"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(XMLOutStream::EscapeText(c.in), c.out);
}

TEST(XMLOutStreamTest, AttributeValuesAndTextSurviveARealReader) {
    const std::vector<std::string> values = {
        "",
        "plain",
        "a & b",
        "<not a tag>",
        "\"double\" and 'single'",
        "tab\there",
        "two\nlines",
        "cr\rlf\r\n",
        "  leading and trailing  ",
        "\xC3\xA6\xC3\xB8\xC3\xA5 \xE2\x82\xAC \xF0\x9F\x98\x80",
        "&amp; stays literal",
        "]]>",
    };
    Writer w;
    w->DocHeader(WideString("1.0"));
    w->Push(WideString("values"));
    for (size_t i = 0; i < values.size(); ++i) {
        w->PushWithAttributes(WideString("item"),
                              Attrs({{"v", WideString(values[i])}, {"i", WideString(std::to_string(i))}}));
        w->Write(WideString(values[i]));
        w->Pop();
    }
    w->Pop();
    const std::string bytes = w.Finish();

    ReadBack r = ParseWithExpat(bytes);
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.elements.size(), values.size() + 1);
    for (size_t i = 0; i < values.size(); ++i) {
        SCOPED_TRACE(i);
        const auto& e = r.elements[i + 1];
        EXPECT_EQ(e.name, "item");
        ASSERT_EQ(e.attributes.size(), 2u);
        EXPECT_EQ(e.attributes[0], std::make_pair(std::string("v"), values[i]));
        EXPECT_EQ(e.attributes[1], std::make_pair(std::string("i"), std::to_string(i)));
        EXPECT_EQ(e.text, values[i]);
    }
}

TEST(XMLOutStreamTest, CharactersXMLCannotCarryAreReplaced) {
    struct Case {
        const char* name;
        std::u16string raw;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {"control",
         u"a\x01"
         u"b\x1B",
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
        {"nul", std::u16string(u"x\0y", 3), "x\xEF\xBF\xBDy"},
        {"non-characters", u"\uFFFE\uFFFF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"lone high surrogate",
         u"a\xD800"
         u"b",
         "a\xEF\xBF\xBD"
         "b"},
        {"lone low surrogate", u"\xDC00z", "\xEF\xBF\xBDz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Writer w;
        w->DocHeader(WideString("1.0"));
        w->PushWithAttributes(WideString("r"), Attrs({{"v", WideString(c.raw)}}));
        w->Write(WideString(c.raw));
        w->Pop();
        ReadBack r = ParseWithExpat(w.Finish());
        if (!r.ok) {
            ADD_FAILURE() << "the document is not well-formed: " << r.error;
            continue;
        }
        ASSERT_EQ(r.elements.size(), 1u);
        ASSERT_EQ(r.elements[0].attributes.size(), 1u);
        EXPECT_EQ(r.elements[0].attributes[0].second, c.expected);
        EXPECT_EQ(r.elements[0].text, c.expected);
    }
}

TEST(XMLOutStreamTest, NestingAndMixedContent) {
    Writer w;
    w->DocHeader(WideString("1.0"));
    w->Push(WideString("root"));
    w->Push(WideString("empty"));
    w->Pop();
    w->Push(WideString("para"));
    w->Write(WideString("before "));
    w->Push(WideString("b"));
    w->Write(WideString("bold"));
    w->Pop();
    w->Write(WideString(" after"));
    w->Pop();
    w->Push(WideString("outer"));
    w->Push(WideString("inner"));
    w->Write(WideString("deep"));
    // Close shuts what is still open.
    ReadBack r = ParseWithExpat(w.Finish());
    ASSERT_TRUE(r.ok) << r.error;
    struct Expect {
        const char* name;
        int depth;
        const char* text;
    };
    const std::vector<Expect> expected = {
        {"root", 0, nullptr}, {"empty", 1, ""},      {"para", 1, "before  after"},
        {"b", 2, "bold"},     {"outer", 1, nullptr}, {"inner", 2, "deep"},
    };
    ASSERT_EQ(r.elements.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(r.elements[i].name, expected[i].name);
        EXPECT_EQ(r.elements[i].depth, expected[i].depth);
        // Mixed content must not gain indentation.
        if (expected[i].text) {
            EXPECT_EQ(r.elements[i].text, expected[i].text);
        }
    }
}

TEST(XMLOutStreamTest, IndentPutsTagsOnTheirOwnLines) {
    Writer indented;
    indented->DocHeader(WideString("1.0"));
    indented->Push(WideString("root"));
    indented->Push(WideString("child"));
    indented->Write(WideString("x"));
    indented->Pop();
    indented->Pop();
    const std::u16string a = DecodeUTF16LE(indented.Finish().substr(2));
    EXPECT_NE(a.find(u"\n<root>"), std::u16string::npos);
    EXPECT_NE(a.find(u"\n\t<child>x</child>\n</root>"), std::u16string::npos);

    Writer flat;
    flat->DocHeader(WideString("1.0"));
    flat->Push(WideString("root"), kFalse);
    flat->Push(WideString("child"), kFalse);
    flat->Write(WideString("x"));
    flat->Pop(kFalse);
    flat->Pop(kFalse);
    const std::u16string b = DecodeUTF16LE(flat.Finish().substr(2));
    EXPECT_NE(b.find(u"?><root><child>x</child></root>"), std::u16string::npos);
}

TEST(XMLOutStreamTest, LargeDocumentIsWrittenWhole) {
    // Far more than the writer buffers at a time.
    Writer w;
    w->DocHeader(WideString("1.0"));
    w->Push(WideString("list"));
    const int count = 3000;
    for (int i = 0; i < count; ++i) {
        w->PushWithAttributes(WideString("e"), Attrs({{"n", WideString(std::to_string(i))}}));
        w->Write(WideString("\xC3\xA6 text & more"));
        w->Pop();
    }
    w->Pop();
    ReadBack r = ParseWithExpat(w.Finish());
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.elements.size(), static_cast<size_t>(count + 1));
    for (int i : {0, 1, 2047, 2999}) {
        EXPECT_EQ(r.elements[static_cast<size_t>(i) + 1].attributes.at(0).second, std::to_string(i));
        EXPECT_EQ(r.elements[static_cast<size_t>(i) + 1].text, "\xC3\xA6 text & more");
    }
}

TEST(XMLOutStreamTest, ReleasingWithoutCloseStillFinishesTheDocument) {
    InterfacePtr<IPMStream> stream(StreamUtil::CreateMemoryStreamWrite());
    {
        InterfacePtr<IXMLOutStream> out(new XMLOutStream(stream));
        out->DocHeader(WideString("1.0"));
        out->Push(WideString("a"));
        out->Push(WideString("b"));
    }
    ReadBack r = ParseWithExpat(StreamUtil::GetMemoryStreamBytes(stream));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.elements.size(), 2u);
    EXPECT_EQ(r.elements[1].name, "b");
}

TEST(XMLOutStreamTest, CloseReportsAStoreThatFailed) {
    TempDir tmp;
    const fs::path folder = tmp / "vanishing";
    fs::create_directory(folder);
    InterfacePtr<IPMStream> stream(StreamUtil::CreateFileStreamWrite(IDFile(folder / "out.xml")));
    ASSERT_TRUE(stream);
    InterfacePtr<IXMLOutStream> out(new XMLOutStream(stream));
    out->DocHeader(WideString("1.0"));
    out->Push(WideString("a"));
    fs::remove_all(folder);
    EXPECT_EQ(out->Close(), kFalse);
    EXPECT_EQ(out->Close(), kFalse);
}

TEST(XMLOutStreamTest, WritesToAFileThatAReaderAccepts) {
    TempDir tmp;
    const fs::path file = tmp / "doc.xml";
    {
        InterfacePtr<IPMStream> stream(StreamUtil::CreateFileStreamWrite(IDFile(file)));
        ASSERT_TRUE(stream);
        InterfacePtr<IXMLOutStream> out(new XMLOutStream(stream));
        out->DocHeader(WideString("1.0"));
        out->PushWithAttributes(WideString("package"), Attrs({{"name", WideString("N\xC3\xA6vn")}}));
        EXPECT_EQ(out->Close(), kTrue);
    }
    ReadBack r = ParseWithExpat(ReadFile(file));
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.elements.size(), 1u);
    EXPECT_EQ(r.elements[0].attributes.at(0).second, "N\xC3\xA6vn");
}

TEST(XMLOutStreamTest, WithoutAStreamCloseFails) {
    InterfacePtr<IXMLOutStream> out(new XMLOutStream(nullptr));
    out->DocHeader(WideString("1.0"));
    EXPECT_EQ(out->Close(), kFalse);
}

} // namespace
