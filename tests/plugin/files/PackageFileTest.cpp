// Package definition files: reading (byte-order marks, attribute rules, wrong documents),
// writing (checked with Python's own XML parser) and round trips, and the sample library.
#include "TestSupport.h"
#include "files/BRNXMLImporter.h"
#include "io/StreamUtil.h"
#include "logic/BRNPackageUtils.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::ToUTF16;
using testsupport::WriteFile;

namespace {

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

PMStringList List(std::initializer_list<const char*> items) {
    PMStringList l;
    for (const char* s : items)
        l.emplace_back(s);
    return l;
}

std::vector<std::string> Strings(const PMStringList& l) {
    std::vector<std::string> out;
    for (const auto& s : l)
        out.push_back(U8(s));
    return out;
}

// ---- An independent reader: Python's minidom, which keeps attribute order ----

struct XmlNode {
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::vector<XmlNode> children;

    std::vector<std::string> AttrNames() const {
        std::vector<std::string> n;
        for (const auto& a : attrs)
            n.push_back(a.first);
        return n;
    }
    std::vector<std::string> ChildTags() const {
        std::vector<std::string> n;
        for (const auto& c : children)
            n.push_back(c.tag);
        return n;
    }
    std::string Attr(const std::string& name) const {
        for (const auto& a : attrs)
            if (a.first == name) return a.second;
        return "<missing>";
    }
    const XmlNode* Child(const std::string& t) const {
        for (const auto& c : children)
            if (c.tag == t) return &c;
        return nullptr;
    }
};

// One line per element: depth|tag|name=value|..., with \ | and line breaks escaped.
const char* const kDumpScript = R"PY(
import sys, xml.dom.minidom as m
sys.stdout.reconfigure(encoding="utf-8")
def esc(s):
    return s.replace("\\", "\\\\").replace("|", "\\p").replace("\n", "\\n").replace("\r", "\\r").replace("\t", "\\t")
def walk(e, d):
    print(str(d) + "|" + e.tagName + "".join("|" + esc(k) + "=" + esc(v) for k, v in e.attributes.items()))
    for c in e.childNodes:
        if c.nodeType == c.ELEMENT_NODE:
            walk(c, d + 1)
walk(m.parse(sys.argv[1]).documentElement, 0)
)PY";

std::string Unescape(const std::string& s) {
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 == s.size()) {
            out.push_back(s[i]);
            continue;
        }
        char c = s[++i];
        out.push_back(c == 'p' ? '|' : c == 'n' ? '\n' : c == 'r' ? '\r' : c == 't' ? '\t' : c);
    }
    return out;
}

std::vector<std::string> SplitOn(const std::string& s, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : s) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur.push_back(c);
        }
    }
    parts.push_back(cur);
    return parts;
}

// The document element of the file as Python reads it; false when Python could not parse it.
bool ParseWithPython(const fs::path& file, XmlNode* root) {
    std::string cmd = "python3 -c '" + std::string(kDumpScript) + "' '" + file.string() + "' 2>&1";
    int status = 0;
    std::string out = testsupport::CaptureOutput(cmd, &status);
    if (status != 0) {
        ADD_FAILURE() << "python could not parse " << file << ":\n" << out;
        return false;
    }
    std::vector<XmlNode*> stack;
    bool first = true;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> parts = SplitOn(line, '|');
        int depth = std::stoi(parts[0]);
        XmlNode node;
        node.tag = parts[1];
        for (size_t i = 2; i < parts.size(); ++i) {
            size_t eq = parts[i].find('=');
            node.attrs.emplace_back(Unescape(parts[i].substr(0, eq)), Unescape(parts[i].substr(eq + 1)));
        }
        if (first) {
            *root = std::move(node);
            stack.push_back(root);
            first = false;
            continue;
        }
        stack.resize(static_cast<size_t>(depth));
        stack.back()->children.push_back(std::move(node));
        stack.push_back(&stack.back()->children.back());
    }
    return !first;
}

// ---- Helpers around the reader ----

int32 LoadFromBytes(const std::string& bytes, BRNPackage& package) {
    InterfacePtr<IPMStream> stream(StreamUtil::CreateMemoryStreamRead(bytes));
    return BRNXMLImporter::LoadXML(package, stream);
}

// A package document around the given package attributes and inner XML.
std::string PackageDoc(const std::string& packageAttrs, const std::string& inner) {
    return "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<brindle version=\"1\">\n<package " + packageAttrs +
           ">" + inner + "</package>\n</brindle>\n";
}

std::string FieldXml(const std::string& attrs, const std::string& inner = "") {
    return "<field " + attrs + (inner.empty() ? "/>" : ">" + inner + "</field>");
}

// A package that was already there, to see that a failed read leaves it alone.
BRNPackage Sentinel() {
    BRNPackage p(PMString("Keep"), PMString("pw"), 12);
    p.SetVersion(42);
    p.Fields().push_back(BRNField(PMString("kept")));
    return p;
}

void ExpectSentinel(const BRNPackage& p) {
    EXPECT_EQ(U8(p.GetName()), "Keep");
    EXPECT_EQ(p.GetVersion(), 42u);
    EXPECT_EQ(p.GetFields().size(), 1u);
}

// ---- Reading ----

TEST(PackageFileReadTest, AcceptsBothByteOrders) {
    const std::string doc =
        PackageDoc(R"(name="Ærø Pakke" password="pw" version="3" timestamp="41")",
                   FieldXml(R"(Name="Titel" ShortName="T" Description="Ω" Required="True" )"
                            R"(Value="x" Type="0" HasDefault="False" Hidden="False" )"
                            R"(ReadOnly="False")"));
    for (bool bigEndian : {false, true}) {
        BRNPackage p;
        ASSERT_EQ(LoadFromBytes(ToUTF16(doc, bigEndian), p), 0)
            << (bigEndian ? "big" : "little") << "-endian";
        EXPECT_EQ(U8(p.GetName()), "Ærø Pakke");
        EXPECT_EQ(U8(p.GetPassword()), "pw");
        EXPECT_EQ(p.GetVersion(), 3u);
        EXPECT_EQ(p.GetTimestamp(), 41);
        EXPECT_FALSE(p.IsModified());
        EXPECT_TRUE(p.GetLocked());
        EXPECT_TRUE(p.CheckPassword(PMString("pw")));
        ASSERT_EQ(p.GetFields().size(), 1u);
        EXPECT_EQ(U8(p.GetFields()[0].GetName()), "Titel");
        EXPECT_EQ(U8(p.GetFields()[0].GetDescription()), "Ω");
        EXPECT_EQ(U8(p.GetFields()[0].GetValue()), "x");
        EXPECT_TRUE(p.GetFields()[0].GetRequired());
    }
}

TEST(PackageFileReadTest, RejectsDocumentsWithoutUTF16ByteOrderMark) {
    const std::string doc = PackageDoc(R"(name="P" password="" version="1" timestamp="0")", "");
    std::string utf16NoBom = ToUTF16(doc).substr(2);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"well-formed UTF-8", doc},
        {"UTF-8 with its own BOM", "\xEF\xBB\xBF" + doc},
        {"UTF-16 without BOM", utf16NoBom},
        {"empty", ""},
        {"one byte", "\xFF"},
        {"BOM, then not XML", ToUTF16("this is not xml")},
        {"BOM, then truncated XML", ToUTF16(doc.substr(0, doc.size() / 2))},
        {"BOM only", "\xFF\xFE"},
    };
    for (const auto& c : cases) {
        BRNPackage p = Sentinel();
        EXPECT_EQ(LoadFromBytes(c.bytes, p), 1) << c.what;
        ExpectSentinel(p);
    }
}

TEST(PackageFileReadTest, OtherDocumentsReadAsSuccessButLeaveThePackage) {
    const struct {
        const char* what;
        std::string xml;
    } cases[] = {
        {"another root", R"(<other version="1"><package name="P" version="1"/></other>)"},
        {"root differs in case", R"(<Brindle version="1"><package name="P" version="1"/></Brindle>)"},
        {"no package element", R"(<brindle version="1"><packages/></brindle>)"},
        {"package nested deeper", R"(<brindle version="1"><x><package name="P" version="1"/></x></brindle>)"},
    };
    for (const auto& c : cases) {
        BRNPackage p = Sentinel();
        EXPECT_EQ(LoadFromBytes(ToUTF16(c.xml), p), 0) << c.what;
        ExpectSentinel(p);
    }
}

TEST(PackageFileReadTest, RootVersionIsNotChecked) {
    BRNPackage p;
    EXPECT_EQ(LoadFromBytes(ToUTF16(R"(<brindle version="99"><package name="P" version="2"/></brindle>)"), p),
              0);
    EXPECT_EQ(U8(p.GetName()), "P");
    EXPECT_EQ(p.GetVersion(), 2u);
}

TEST(PackageFileReadTest, FlagsAreTrueWhenTheyContainTrueInThatCase) {
    const struct {
        const char* attr; // the attribute with its value, or empty for none
        bool set;
    } cases[] = {
        {R"("True")", true},   {R"("true")", false}, {R"("TRUE")", false}, {R"("False")", false},
        {R"("xTruex")", true}, {R"("")", false},     {nullptr, false},
    };
    for (const auto& c : cases) {
        auto attr = [&](const char* name) {
            return c.attr ? std::string(name) + "=" + c.attr + " " : std::string();
        };
        std::string fields =
            FieldXml("Name=\"S\" ShortName=\"s\" " + attr("Required") + attr("HasDefault") + attr("Hidden") +
                     attr("ReadOnly") + "Type=\"0\"") +
            FieldXml("Name=\"B\" ShortName=\"b\" " + attr("Value") + "Type=\"2\"") +
            FieldXml("Name=\"M\" ShortName=\"m\" " + attr("AllowUserValues") + "Type=\"9\"") +
            FieldXml("Name=\"C\" ShortName=\"c\" " + attr("AllowUserValues") + attr("FieldOverridden") +
                     "Type=\"10\"");
        BRNPackage p;
        ASSERT_EQ(LoadFromBytes(ToUTF16(PackageDoc(R"(name="P")", fields)), p), 0);
        ASSERT_EQ(p.GetFields().size(), 4u);
        const std::string what = c.attr ? c.attr : "(absent)";
        const BRNField& s = p.GetFields()[0];
        EXPECT_EQ(s.GetRequired() != 0, c.set) << what;
        EXPECT_EQ(s.GetHasDefault() != 0, c.set) << what;
        EXPECT_EQ(s.GetHidden() != 0, c.set) << what;
        EXPECT_EQ(s.GetReadOnly() != 0, c.set) << what;
        EXPECT_EQ(p.GetFields()[1].GetBoolValue() != 0, c.set) << what;
        EXPECT_EQ(p.GetFields()[2].GetAllowUserValues() != 0, c.set) << what;
        EXPECT_EQ(p.GetFields()[3].GetAllowUserValues() != 0, c.set) << what;
        EXPECT_EQ(p.GetFields()[3].GetFieldOverridden() != 0, c.set) << what;
        EXPECT_TRUE(p.GetFields()[3].GetHasDefault()) << "a CalculatedString always has a default";
    }
}

TEST(PackageFileReadTest, ModifiedIsTrueInAnyLetterCase) {
    const struct {
        const char* attr;
        bool modified;
    } cases[] = {
        {R"(modified="true")", true},   {R"(modified="TRUE")", true},   {R"(modified="True")", true},
        {R"(modified="false")", false}, {R"(modified="yes")", false},   {R"(modified="1")", false},
        {R"(modified="")", false},      {R"(modified=" true")", false}, {"", false},
    };
    for (const auto& c : cases) {
        BRNPackage p;
        ASSERT_EQ(LoadFromBytes(ToUTF16(PackageDoc(std::string(R"(name="P" version="1" )") + c.attr, "")), p),
                  0);
        EXPECT_EQ(p.IsModified() != 0, c.modified) << c.attr;
        EXPECT_TRUE(p.GetLocked()) << c.attr;
    }
}

TEST(PackageFileReadTest, NumbersAndMissingAttributes) {
    std::string fields = FieldXml(R"(Name="T1" Type="8")") +
                         FieldXml(R"(Name="T2" Type="8" VisibleLines="")") +
                         FieldXml(R"(Name="T3" Type="8" VisibleLines="9")") +
                         FieldXml(R"(Name="T4" Type="0" VisibleLines="2")") + FieldXml(R"(Name="T5")");
    BRNPackage p;
    ASSERT_EQ(
        LoadFromBytes(ToUTF16(PackageDoc(R"(name="P" password="" version="" timestamp="")", fields)), p), 0);
    EXPECT_EQ(p.GetVersion(), 0u);
    EXPECT_EQ(p.GetTimestamp(), 0);
    ASSERT_EQ(p.GetFields().size(), 5u);
    EXPECT_EQ(p.GetFields()[0].GetVisibleLines(), 5);
    EXPECT_EQ(p.GetFields()[1].GetVisibleLines(), 5);
    EXPECT_EQ(p.GetFields()[2].GetVisibleLines(), 9);
    EXPECT_EQ(p.GetFields()[3].GetVisibleLines(), 2);
    // No Type attribute: a String with empty texts.
    const BRNField& bare = p.GetFields()[4];
    EXPECT_EQ(bare.GetType(), kBRNTypeString);
    EXPECT_TRUE(bare.GetShortName().IsEmpty());
    EXPECT_TRUE(bare.GetValue().IsEmpty());
    EXPECT_FALSE(bare.GetRequired());

    BRNPackage q;
    ASSERT_EQ(LoadFromBytes(ToUTF16(PackageDoc(R"(name="Q" version="12" timestamp="50001")", "")), q), 0);
    EXPECT_EQ(q.GetVersion(), 12u);
    EXPECT_EQ(q.GetTimestamp(), 0) << "readers treat a timestamp above 50000 as 0";
    EXPECT_TRUE(q.GetPassword().IsEmpty());
}

// Versions use all 32 bits; a version beyond them is refused with the value named, never
// read as some other number (the old reader gave 0 from 2^31 on).
TEST(PackageFileReadTest, VersionsUseAll32BitsAndLargerOnesAreRefused) {
    struct Case {
        const char* text;
        int32 result;
        uint32 version;
    };
    const Case cases[] = {
        {"2147483647", 0, 2147483647u},
        {"2147483648", 0, 2147483648u},
        {"4294967295", 0, 4294967295u},
        {"4294967296", 2, 0},
        {"99999999999999999999", 2, 0},
        {"-1", 2, 0},
        {"3x", 2, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        BRNPackage p = Sentinel();
        const std::string doc = PackageDoc(std::string("name=\"P\" version=\"") + c.text + "\"", "");
        ASSERT_EQ(LoadFromBytes(ToUTF16(doc), p), c.result);
        if (c.result == 0) {
            EXPECT_EQ(p.GetVersion(), c.version);
        } else {
            ExpectSentinel(p);
            EXPECT_NE(BRNXMLImporter::GetLastError().find(c.text), std::string::npos);
        }
    }
}

TEST(PackageFileReadTest, OnlyFieldElementsAndValueEntriesCount) {
    std::string inner =
        "<note/>" +
        FieldXml(
            R"(Name="First" Type="3")",
            R"(<options><value name="a"/><other name="skip"/><value name="b"/><value name="a"/></options>)"
            R"(<options><value name="second list"/></options>)") +
        "<comment>text</comment>" + FieldXml(R"(Name="Second" Type="4")");
    BRNPackage p;
    ASSERT_EQ(LoadFromBytes(ToUTF16(PackageDoc(R"(name="P")", inner)), p), 0);
    ASSERT_EQ(p.GetFields().size(), 2u);
    EXPECT_EQ(U8(p.GetFields()[0].GetName()), "First");
    EXPECT_EQ(Strings(p.GetFields()[0].GetOptions()), (std::vector<std::string>{"a", "b", "a"}));
    EXPECT_EQ(U8(p.GetFields()[1].GetName()), "Second");
    EXPECT_TRUE(p.GetFields()[1].GetOptions().empty()) << "a missing list reads as empty";
}

// ---- Writing ----

// The writer uses the host's XML output stream, so the host runs.
class PackageFileWriteTest : public testsupport::HostFixture {};

// A package holding every type, with a few variants where the writer's rules branch.
BRNPackage EveryTypePackage() {
    BRNFieldList fields;
    auto add = [&](int32 type, const char* shortName, bool hasDefault) -> BRNField& {
        BRNField f(PMString(std::string("Field ") + shortName));
        f.SetShortName(PMString(shortName));
        f.SetDescription(PMString(std::string("About ") + shortName));
        f.SetType(type);
        f.SetValue(PMString(std::string("v-") + shortName));
        f.SetHasDefault(hasDefault ? kTrue : kFalse);
        f.SetDefaultValue(PMString(std::string("d-") + shortName));
        fields.push_back(f);
        return fields.back();
    };
    add(0, "str", true).SetRequired(kTrue);
    add(0, "strnodef", false);
    add(1, "int", true);
    BRNField& b = add(2, "bool", true);
    b.SetBoolValue(kTrue);
    b.SetValue(PMString("not the flag"));
    add(3, "choice", true).SetOptions(List({"a", "b"}));
    add(4, "choicestr", false).SetOptions(List({"x"}));
    add(5, "dec", true);
    add(6, "date", true).SetHidden(kTrue);
    add(7, "dir", true).SetReadOnly(kTrue);
    add(8, "text", true).SetVisibleLines(7);
    BRNField& m = add(9, "multi", true);
    m.SetOptions(List({"o1", "o2", "o3"}));
    m.SetDefaultValues(List({"o1"}));
    m.SetSelectedValues(List({"o2", "o3"}), PMString(", "));
    m.SetAllowUserValues(kTrue);
    m.SetVisibleLines(3);
    BRNField& mn = add(9, "multinodef", false);
    mn.SetOptions(List({"o1"}));
    mn.SetSelectedValues(List({"o1"}), PMString(", "));
    BRNField& c = add(10, "calc", false);
    c.SetAllowUserValues(kTrue);
    c.SetFieldOverridden(kFalse);
    add(11, "dead", false);
    add(3, "choiceempty", false);
    BRNPackage p(fields, PMString("All Types"), PMString("pw"), 60000);
    p.SetVersion(8);
    return p;
}

TEST_F(PackageFileWriteTest, AttributeOrderAndElementsPerFieldType) {
    TempDir dir;
    const fs::path file = dir / "All_ID.xml";
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), EveryTypePackage()));

    std::string bytes = ReadFile(file);
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
    EXPECT_NE(testsupport::ReadUTF16File(file).find("<?xml version=\"1.0\""), std::string::npos);

    XmlNode root;
    ASSERT_TRUE(ParseWithPython(file, &root));
    EXPECT_EQ(root.tag, "brindle");
    EXPECT_EQ(root.AttrNames(), std::vector<std::string>{"version"});
    EXPECT_EQ(root.Attr("version"), "1");
    ASSERT_EQ(root.ChildTags(), std::vector<std::string>{"package"});
    const XmlNode& package = root.children[0];
    EXPECT_EQ(package.AttrNames(),
              (std::vector<std::string>{"name", "password", "version", "timestamp", "modified"}));
    EXPECT_EQ(package.Attr("name"), "All Types");
    EXPECT_EQ(package.Attr("password"), "pw");
    EXPECT_EQ(package.Attr("version"), "8");
    EXPECT_EQ(package.Attr("timestamp"), "0") << "a timestamp above 50000 is written as 0";
    EXPECT_EQ(package.Attr("modified"), "true");

    using Names = std::vector<std::string>;
    const Names plainWithDefault = {"Name", "ShortName",  "Description",  "Required", "Value",
                                    "Type", "HasDefault", "DefaultValue", "Hidden",   "ReadOnly"};
    const Names plainNoDefault = {"Name", "ShortName",  "Description", "Required", "Value",
                                  "Type", "HasDefault", "Hidden",      "ReadOnly"};
    const Names multi = {"Name",       "ShortName",    "Description",     "Required",
                         "Value",      "VisibleLines", "AllowUserValues", "Type",
                         "HasDefault", "Hidden",       "ReadOnly"};
    const struct {
        const char* shortName;
        Names attrs;
        Names children;
        std::map<std::string, std::string> values;
    } expected[] = {
        {"str",
         plainWithDefault,
         {},
         {{"Type", "0"}, {"Required", "True"}, {"Value", "v-str"}, {"HasDefault", "True"}}},
        {"strnodef", plainNoDefault, {}, {{"Required", "False"}, {"HasDefault", "False"}}},
        {"int", plainWithDefault, {}, {{"Type", "1"}, {"DefaultValue", "d-int"}}},
        {"bool", plainWithDefault, {}, {{"Type", "2"}, {"Value", "True"}}},
        {"choice", plainWithDefault, {"options"}, {{"Type", "3"}, {"Value", "v-choice"}}},
        {"choicestr", plainNoDefault, {"options"}, {{"Type", "4"}}},
        {"dec", plainWithDefault, {"options"}, {{"Type", "5"}}},
        {"date", plainWithDefault, {"options"}, {{"Type", "6"}, {"Hidden", "True"}, {"ReadOnly", "False"}}},
        {"dir", plainWithDefault, {"options"}, {{"Type", "7"}, {"Hidden", "False"}, {"ReadOnly", "True"}}},
        {"text",
         {"Name", "ShortName", "Description", "Required", "Value", "VisibleLines", "Type", "HasDefault",
          "DefaultValue", "Hidden", "ReadOnly"},
         {"options"},
         {{"Type", "8"}, {"VisibleLines", "7"}}},
        {"multi",
         multi,
         {"options", "DefaultValues", "SelectedValues"},
         {{"Type", "9"}, {"VisibleLines", "3"}, {"AllowUserValues", "True"}, {"HasDefault", "True"}}},
        {"multinodef",
         multi,
         {"options", "SelectedValues"},
         {{"AllowUserValues", "False"}, {"HasDefault", "False"}}},
        {"calc",
         {"Name", "ShortName", "Description", "Required", "Value", "Type", "HasDefault", "DefaultValue",
          "AllowUserValues", "FieldOverridden", "Hidden", "ReadOnly"},
         {},
         {{"Type", "10"},
          {"HasDefault", "True"},
          {"DefaultValue", "d-calc"},
          {"AllowUserValues", "True"},
          {"FieldOverridden", "False"}}},
        {"dead", plainNoDefault, {"options"}, {{"Type", "11"}, {"Value", "v-dead"}}},
        {"choiceempty", plainNoDefault, {"options"}, {{"Type", "3"}}},
    };
    ASSERT_EQ(package.children.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const auto& e = expected[i];
        const XmlNode& field = package.children[i];
        SCOPED_TRACE(e.shortName);
        EXPECT_EQ(field.tag, "field");
        EXPECT_EQ(field.Attr("ShortName"), e.shortName);
        EXPECT_EQ(field.AttrNames(), e.attrs);
        EXPECT_EQ(field.ChildTags(), e.children);
        for (const auto& [name, value] : e.values)
            EXPECT_EQ(field.Attr(name), value) << name;
        for (const XmlNode& list : field.children)
            for (const XmlNode& entry : list.children) {
                EXPECT_EQ(entry.tag, "value");
                EXPECT_EQ(entry.AttrNames(), Names{"name"});
            }
    }
    auto entries = [](const XmlNode* list) {
        Names n;
        if (list)
            for (const XmlNode& v : list->children)
                n.push_back(v.Attr("name"));
        return n;
    };
    const XmlNode& m = package.children[10];
    EXPECT_EQ(entries(m.Child("options")), (Names{"o1", "o2", "o3"}));
    EXPECT_EQ(entries(m.Child("DefaultValues")), Names{"o1"});
    EXPECT_EQ(entries(m.Child("SelectedValues")), (Names{"o2", "o3"}));
    EXPECT_EQ(entries(package.children[4].Child("options")), (Names{"a", "b"}));
    // A Choice without options still has its (empty) list.
    const XmlNode* empty = package.children[14].Child("options");
    ASSERT_NE(empty, nullptr);
    EXPECT_TRUE(empty->children.empty());
    EXPECT_TRUE(empty->attrs.empty());
    EXPECT_EQ(package.children[11].Child("DefaultValues"), nullptr);
    EXPECT_EQ(entries(package.children[11].Child("SelectedValues")), Names{"o1"});
}

TEST_F(PackageFileWriteTest, UnmodifiedPackageHasNoModifiedAttribute) {
    TempDir dir;
    BRNPackage p(PMString("Plain"), PMString(""), 50000);
    p.SetModified(kFalse);
    p.SetVersion(2);
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(dir / "p.xml"), p));
    const std::string text = testsupport::ReadUTF16File(dir / "p.xml");
    std::smatch tag;
    ASSERT_TRUE(std::regex_search(text, tag, std::regex("<package ([^>]*)>")));
    const std::string attrs = tag[1];
    std::vector<std::pair<std::string, std::string>> found;
    static const std::regex attr("([A-Za-z]+)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(attrs.begin(), attrs.end(), attr); it != std::sregex_iterator(); ++it)
        found.emplace_back((*it)[1], (*it)[2]);
    EXPECT_EQ(found, (std::vector<std::pair<std::string, std::string>>{
                         {"name", "Plain"}, {"password", ""}, {"version", "2"}, {"timestamp", "50000"}}));
    EXPECT_EQ(text.find("<field"), std::string::npos);
}

TEST_F(PackageFileWriteTest, ChoiceWithoutOptionsWritesEmptyList) {
    TempDir dir;
    BRNField choice(PMString("Section"));
    choice.SetType(kBRNTypeChoice);
    BRNPackage p(BRNFieldList{choice}, PMString("P"), PMString(""), 0);
    const fs::path file = dir / "p.xml";
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), p));
    EXPECT_NE(testsupport::ReadUTF16File(file).find("<options"), std::string::npos);

    BRNPackage read;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), read), 0);
    ASSERT_EQ(read.GetFields().size(), 1u);
    EXPECT_EQ(read.GetFields()[0].GetType(), kBRNTypeChoice);
    EXPECT_TRUE(read.GetFields()[0].GetOptions().empty());
}

TEST_F(PackageFileWriteTest, MultiChoiceWithoutDefaultKeepsSelectionOnly) {
    TempDir dir;
    BRNField m(PMString("Usage"));
    m.SetType(kBRNTypeMultiChoice);
    m.SetOptions(List({"Print", "Web"}));
    m.SetDefaultValues(List({"Web"})); // not used without a default
    m.SetSelectedValues(List({"Print", "Web"}), PMString(", "));
    BRNPackage p(BRNFieldList{m}, PMString("P"), PMString(""), 0);
    const fs::path file = dir / "p.xml";
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), p));
    const std::string text = testsupport::ReadUTF16File(file);
    EXPECT_EQ(text.find("DefaultValues"), std::string::npos);
    EXPECT_NE(text.find("<SelectedValues"), std::string::npos);

    BRNPackage read;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), read), 0);
    const BRNField& f = read.GetFields().at(0);
    EXPECT_EQ(Strings(f.GetSelectedValues()), (std::vector<std::string>{"Print", "Web"}));
    EXPECT_TRUE(f.GetDefaultValues().empty());
    EXPECT_EQ(Strings(f.GetOptions()), (std::vector<std::string>{"Print", "Web"}));
    EXPECT_FALSE(f.GetHasDefault());
}

TEST_F(PackageFileWriteTest, DeadlineKeepsFlagsAndTextsButNotItsRecord) {
    TempDir dir;
    BRNField d(PMString("Copy due"));
    d.SetType(kBRNTypeDeadline);
    d.SetShortName(PMString("CopyDue"));
    d.SetDescription(PMString("Copy to the desk"));
    d.SetRequired(kTrue);
    d.SetHidden(kTrue);
    d.SetReadOnly(kTrue);
    d.SetHasDefault(kTrue);
    d.SetDefaultValue(PMString("2024/01/01"));
    BRNDeadline record(PMString("2024/02/01 10:00"), PMString("2024/02/02 11:00"), PMString("kim"));
    record.Colors.push_back(BRNDeadlineColor{1, 0, 12, 1.0, 0.0, 0.0});
    d.SetDeadline(record);
    BRNPackage p(BRNFieldList{d}, PMString("P"), PMString(""), 0);
    const fs::path file = dir / "p.xml";
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), p));

    BRNPackage read;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), read), 0);
    const BRNField& f = read.GetFields().at(0);
    EXPECT_EQ(f.GetType(), kBRNTypeDeadline);
    EXPECT_EQ(U8(f.GetName()), "Copy due");
    EXPECT_EQ(U8(f.GetShortName()), "CopyDue");
    EXPECT_EQ(U8(f.GetDescription()), "Copy to the desk");
    EXPECT_EQ(U8(f.GetDefaultValue()), "2024/01/01");
    EXPECT_TRUE(f.GetRequired());
    EXPECT_TRUE(f.GetHidden());
    EXPECT_TRUE(f.GetReadOnly());
    EXPECT_TRUE(f.GetHasDefault());
    EXPECT_TRUE(f.GetDeadline() == BRNDeadline());
}

// Everything the format carries comes back, field by field.
TEST_F(PackageFileWriteTest, RoundTripOfEveryType) {
    TempDir dir;
    BRNPackage original = EveryTypePackage();
    // Texts that need escaping, non-ASCII text and line breaks.
    BRNField& text = original.Fields()[9];
    text.SetValue(PMString("line 1\nline 2\r\n\ttabbed <b>&amp;</b> \"quoted\" 'single'"));
    text.SetDefaultValue(PMString("  padded  "));
    original.Fields()[0].SetDescription(PMString("Ærø – “quotes” & <tags> \U0001F600"));
    original.Fields()[12].SetValue(PMString("ED-<cvbrindle:PubDate substring=\"0,4\"/>"));
    original.SetPassword(PMString("Ærø & <pw>"));
    original.SetModified(kTrue);

    const fs::path file = dir / "All_ID.xml";
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), original));
    BRNPackage read;
    PMString error;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), read, &error), 0) << U8(error);

    EXPECT_EQ(read.GetName(), original.GetName());
    EXPECT_EQ(read.GetPassword(), original.GetPassword());
    EXPECT_EQ(read.GetVersion(), original.GetVersion());
    EXPECT_EQ(read.GetTimestamp(), original.GetTimestamp());
    EXPECT_TRUE(read.IsModified());
    EXPECT_TRUE(read.GetLocked());
    EXPECT_TRUE(read.CheckPassword(PMString("Ærø & <pw>")));

    ASSERT_EQ(read.GetFields().size(), original.GetFields().size());
    for (size_t i = 0; i < original.GetFields().size(); ++i) {
        const BRNField& o = original.GetFields()[i];
        const BRNField& r = read.GetFields()[i];
        const int32 t = o.GetType();
        SCOPED_TRACE(U8(o.GetShortName()));
        EXPECT_EQ(r.GetType(), t);
        EXPECT_EQ(r.GetName(), o.GetName());
        EXPECT_EQ(r.GetShortName(), o.GetShortName());
        EXPECT_EQ(r.GetDescription(), o.GetDescription());
        EXPECT_EQ(r.GetRequired(), o.GetRequired());
        EXPECT_EQ(r.GetHidden(), o.GetHidden());
        EXPECT_EQ(r.GetReadOnly(), o.GetReadOnly());
        EXPECT_EQ(r.GetHasDefault(), o.GetHasDefault());
        if (o.GetHasDefault() && t != kBRNTypeMultiChoice) {
            EXPECT_EQ(r.GetDefaultValue(), o.GetDefaultValue());
        }
        if (t == 0 || t == 1 || (t >= 5 && t <= 8) || t == 10) {
            EXPECT_EQ(r.GetValue(), o.GetValue());
        }
        if (t == kBRNTypeBoolean) {
            EXPECT_EQ(r.GetBoolValue(), o.GetBoolValue());
        }
        if (t == 3 || t == 4 || t == 9) {
            EXPECT_EQ(r.GetOptions(), o.GetOptions());
        }
        EXPECT_EQ(r.GetVisibleLines(), (t == 8 || t == 9) ? o.GetVisibleLines() : 5);
        if (t == 9 || t == 10) {
            EXPECT_EQ(r.GetAllowUserValues(), o.GetAllowUserValues());
        }
        if (t == 10) {
            EXPECT_EQ(r.GetFieldOverridden(), o.GetFieldOverridden());
        }
        if (t == 9) {
            EXPECT_EQ(r.GetSelectedValues(), o.GetSelectedValues());
            EXPECT_EQ(r.GetDefaultValues(), o.GetHasDefault() ? o.GetDefaultValues() : PMStringList{});
        }
        EXPECT_TRUE(r.GetHistory().empty());
    }

    // Writing what was read gives the same file again.
    const fs::path again = dir / "Again_ID.xml";
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(again), read));
    BRNPackage reread;
    ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(again), reread), 0);
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(dir / "Third_ID.xml"), reread));
    EXPECT_EQ(ReadFile(dir / "Third_ID.xml"), ReadFile(again));
}

// What the writer writes the reader reads back, up to the highest version; a file with a
// larger one names itself and the value.
TEST_F(PackageFileWriteTest, VersionsBeyond31BitsRoundTripAndLargerOnesAreRefused) {
    TempDir dir;
    for (uint32 version : {2147483648u, 3000000000u, 4294967295u}) {
        SCOPED_TRACE(version);
        BRNPackage p(PMString("Big"), PMString(), 0);
        p.SetVersion(version);
        const fs::path file = dir / "Big.xml";
        ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), p));
        BRNPackage read;
        PMString error;
        ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), read, &error), 0) << U8(error);
        EXPECT_EQ(read.GetVersion(), version);
    }
    const fs::path file = dir / "Over.xml";
    {
        std::ofstream out(file, std::ios::binary);
        out << ToUTF16(PackageDoc(R"(name="Over" version="4294967296")", ""));
    }
    BRNPackage read;
    PMString error;
    EXPECT_NE(BRNPackageUtils::LoadPackageFile(IDFile(file), read, &error), 0);
    EXPECT_NE(U8(error).find("4294967296"), std::string::npos) << U8(error);
}

TEST_F(PackageFileWriteTest, ReplacesExistingFileAndLeavesNoTemporaries) {
    TempDir dir;
    const fs::path file = dir / "P_ID.xml";
    WriteFile(file, "old contents");
    BRNPackage p(PMString("P"), PMString(""), 0);
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), p));
    BRNPackage read;
    EXPECT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(file), read), 0);
    EXPECT_EQ(U8(read.GetName()), "P");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"P_ID.xml"});
}

TEST_F(PackageFileWriteTest, UnwritableTargetFails) {
    TempDir dir;
    BRNPackage p(PMString("P"), PMString(""), 0);
    EXPECT_FALSE(BRNPackageUtils::WritePackageFile(IDFile(dir / "missing" / "P_ID.xml"), p));
    EXPECT_FALSE(fs::exists(dir / "missing"));
    fs::create_directory(dir / "isdir");
    EXPECT_FALSE(BRNPackageUtils::WritePackageFile(IDFile(dir / "isdir"), p));
    EXPECT_TRUE(fs::is_directory(dir / "isdir"));
}

TEST(PackageFileLoadTest, FailuresSayWhyAndLeaveThePackage) {
    TempDir dir;
    WriteFile(dir / "utf8.xml", PackageDoc(R"(name="P" version="1")", ""));
    WriteFile(dir / "garbage.xml", ToUTF16("<brindle><package name=\"P\">"));
    WriteFile(dir / "noname.xml", ToUTF16(PackageDoc(R"(version="1")", "")));
    WriteFile(dir / "otherroot.xml", ToUTF16(R"(<other><package name="P"/></other>)"));
    fs::create_directory(dir / "folder.xml");
    for (const char* name :
         {"utf8.xml", "garbage.xml", "noname.xml", "otherroot.xml", "missing.xml", "folder.xml"}) {
        BRNPackage p = Sentinel();
        PMString why;
        EXPECT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(dir / name), p, &why), 1) << name;
        EXPECT_FALSE(why.IsEmpty()) << name;
        ExpectSentinel(p);
        EXPECT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(dir / name), p), 1) << name << " without a message";
    }
}

TEST(PackageFileNameTest, ProposedExportName) {
    EXPECT_EQ(U8(BRNPackageUtils::ProposedFileName(PMString("Alpha"), 5)), "BRN_Alpha_v5.xml");
    EXPECT_EQ(U8(BRNPackageUtils::ProposedFileName(PMString("Photo Rights"), 0)), "BRN_Photo Rights_v0.xml");
}

// ---- The sample library ----

TEST(SampleLibraryTest, EveryFileLoadsWithItsNameAndVersion) {
    const struct {
        const char* file;
        const char* name;
        uint32 version;
        bool modified;
        int32 timestamp;
        const char* password;
    } expected[] = {
        {"Advertising_ID.xml", "Advertising", 1, false, 318, "adsales2024"},
        {"Editorial_ID.xml", "Editorial", 3, false, 41234, "Redaktion42"},
        {"Photo Rights_ID.xml", "Photo Rights", 5, true, 12007, "Ærø-Foto"},
        {"Production_ID.xml", "Production", 7, false, 50000, ""},
    };
    std::set<std::string> files;
    for (const auto& e : fs::directory_iterator(testsupport::SamplesLibrary()))
        if (e.path().extension() == ".xml") files.insert(e.path().filename().string());
    ASSERT_EQ(files.size(), std::size(expected));

    std::set<int32> types;
    for (const auto& e : expected) {
        SCOPED_TRACE(e.file);
        ASSERT_TRUE(files.count(e.file));
        BRNPackage p;
        PMString why;
        ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(testsupport::SamplesLibrary() / e.file), p, &why),
                  0)
            << U8(why);
        EXPECT_EQ(U8(p.GetName()), e.name);
        EXPECT_EQ(p.GetVersion(), e.version);
        EXPECT_EQ(p.IsModified() != 0, e.modified);
        EXPECT_EQ(p.GetTimestamp(), e.timestamp);
        EXPECT_TRUE(p.GetLocked());
        EXPECT_TRUE(p.Unlock(PMString(e.password)));
        EXPECT_FALSE(p.GetFields().empty());
        for (const BRNField& f : p.GetFields())
            types.insert(f.GetType());
    }
    std::set<int32> all;
    for (int32 t = 0; t < kBRNTypeCount; ++t)
        all.insert(t);
    EXPECT_EQ(types, all);
}

TEST(SampleLibraryTest, DetailsOfTheBigEndianSample) {
    BRNPackage p;
    ASSERT_EQ(
        BRNPackageUtils::LoadPackageFile(IDFile(testsupport::SamplesLibrary() / "Photo Rights_ID.xml"), p),
        0);
    const BRNField* usage = p.FindField(PMString("Usage"));
    ASSERT_NE(usage, nullptr);
    EXPECT_EQ(usage->GetType(), kBRNTypeMultiChoice);
    EXPECT_FALSE(usage->GetHasDefault());
    EXPECT_TRUE(usage->GetDefaultValues().empty());
    EXPECT_EQ(Strings(usage->GetSelectedValues()), std::vector<std::string>{"Print"});
    EXPECT_EQ(usage->GetOptions().size(), 5u);
    const BRNField* agency = p.FindField(PMString("Agency"));
    ASSERT_NE(agency, nullptr);
    EXPECT_EQ(agency->GetType(), kBRNTypeChoiceString);
    EXPECT_EQ(U8(agency->GetOptions().at(4)), "Ærø Bildbyrå");
    const BRNField* release = p.FindField(PMString("Release"));
    ASSERT_NE(release, nullptr);
    EXPECT_TRUE(release->GetBoolValue());
    const BRNField* credit = p.FindField(PMString("Credit"));
    ASSERT_NE(credit, nullptr);
    EXPECT_EQ(U8(credit->GetValue()), "© <cvbrindle:Photographer/> / <cvbrindle:Agency/>");
    EXPECT_TRUE(credit->GetAllowUserValues());
}

} // namespace
