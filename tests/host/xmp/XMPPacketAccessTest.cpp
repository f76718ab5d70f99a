#include "objectmodel/InterfacePtr.h"
#include "xmp/XMPPacketAccess.h"
#include "xmp/XMPTree.h"

#include <exempi/xmp.h>

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const WideString kNS("http://ns.example.test/brindle-test/1.0/");
const WideString kOtherNS("http://ns.example.test/brindle-test/other/");
const WideString kDC("http://purl.org/dc/elements/1.1/");

std::string U8(const WideString& w) {
    return w.GetUTF8String();
}

class XMPPacketAccessTest : public ::testing::Test {
protected:
    void SetUp() override {
        fXMP.reset(new XMPPacketAccess());
        WideString prefix;
        ASSERT_TRUE(fXMP->RegisterNamespace(kNS, WideString("bt"), &prefix));
        fPrefix = U8(prefix);
    }

    WideString Item(const WideString& array, int32 index) {
        WideString p;
        EXPECT_TRUE(fXMP->ComposeArrayItemPath(kNS, array, index, &p));
        return p;
    }
    WideString Field(const WideString& structPath, const char* name) {
        WideString p;
        EXPECT_TRUE(fXMP->ComposeStructFieldPath(kNS, structPath, kNS, WideString(name), &p));
        return p;
    }
    std::string Get(const WideString& path, IXMPPacketAccess* xmp = nullptr) {
        WideString v;
        (xmp ? xmp : fXMP.get())->GetProperty(kNS, path, &v);
        return U8(v);
    }
    // Appends a struct item to the array and names it.
    void AppendNamed(const WideString& array, const std::string& name) {
        ASSERT_TRUE(fXMP->AppendArrayItem(kNS, array, WideString(), IXMPPacketAccess::kArrayOrdered,
                                          IXMPPacketAccess::kItemIsStruct));
        ASSERT_TRUE(fXMP->SetProperty(kNS, Field(Item(array, IXMPPacketAccess::kLastItem), "Name"),
                                      WideString(name)));
    }

    InterfacePtr<XMPPacketAccess> fXMP;
    std::string fPrefix;
};

TEST_F(XMPPacketAccessTest, IsAnInterfaceOfItsOwn) {
    InterfacePtr<IXMPPacketAccess> again(fXMP.get(), UseDefaultIID());
    ASSERT_TRUE(again);
    EXPECT_EQ(static_cast<IXMPPacketAccess*>(fXMP.get()), again.get());
    EXPECT_EQ(fXMP->QueryInterface(IID_ISUBJECT), nullptr);
    EXPECT_FALSE(fXMP->IsDirty()) << "a new packet is clean";
}

TEST_F(XMPPacketAccessTest, NamespacesAndPrefixes) {
    EXPECT_EQ(fPrefix, "bt") << "no colon in a prefix";
    WideString prefix("stale");
    EXPECT_TRUE(fXMP->GetNamespacePrefix(kNS, &prefix));
    EXPECT_EQ(U8(prefix), "bt");
    EXPECT_TRUE(fXMP->GetNamespacePrefix(kDC, &prefix));
    EXPECT_EQ(U8(prefix), "dc");

    prefix = WideString("stale");
    EXPECT_FALSE(fXMP->GetNamespacePrefix(WideString("http://ns.example.test/never-registered/"), &prefix));
    EXPECT_TRUE(prefix.empty());
    EXPECT_FALSE(fXMP->GetNamespacePrefix(WideString(), nullptr));

    // Registering again keeps the prefix the namespace has.
    EXPECT_TRUE(fXMP->RegisterNamespace(kNS, WideString("other"), &prefix));
    EXPECT_EQ(U8(prefix), "bt");

    // A prefix that is taken: the namespace is still registered, under another prefix, and
    // composed paths use that one.
    WideString second;
    ASSERT_TRUE(fXMP->RegisterNamespace(kOtherNS, WideString("bt"), &second));
    ASSERT_FALSE(second.empty());
    EXPECT_NE(U8(second), "bt");
    WideString check;
    EXPECT_TRUE(fXMP->GetNamespacePrefix(kOtherNS, &check));
    EXPECT_EQ(check, second);
    WideString path;
    ASSERT_TRUE(fXMP->ComposeStructFieldPath(kNS, WideString("Holder"), kOtherNS, WideString("Name"), &path));
    EXPECT_EQ(U8(path), "Holder/" + U8(second) + ":Name");
    ASSERT_TRUE(fXMP->SetProperty(kNS, path, WideString("inner")));
    EXPECT_EQ(Get(path), "inner");
    EXPECT_NE(fXMP->SerializePacket().find("<" + U8(second) + ":Name>inner<"), std::string::npos);

    EXPECT_FALSE(fXMP->RegisterNamespace(WideString(), WideString("x"), &prefix));
    EXPECT_FALSE(
        fXMP->RegisterNamespace(WideString("http://ns.example.test/no-prefix/"), WideString(), &prefix));
}

TEST_F(XMPPacketAccessTest, SimpleValuesRoundTrip) {
    const std::vector<std::string> values = {
        "plain",
        "",
        "  leading and trailing  ",
        "a & b < c > d \"quoted\" 'single'",
        "line one\nline two",
        "tab\there",
        "caf\xC3\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x98\x80",
        "</bt:Name><injected/>",
    };
    int n = 0;
    for (const auto& v : values) {
        SCOPED_TRACE(v);
        WideString path("Value" + std::to_string(++n));
        EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, path));
        ASSERT_TRUE(fXMP->SetProperty(kNS, path, WideString(v)));
        EXPECT_TRUE(fXMP->DoesPropertyExist(kNS, path));
        uint32 options = 0xFFFF;
        WideString got;
        EXPECT_TRUE(fXMP->GetProperty(kNS, path, &got, &options));
        EXPECT_EQ(U8(got), v);
        EXPECT_EQ(options & XMP_PROP_COMPOSITE_MASK, 0u);
    }
    // The same values after a trip through the packet text.
    InterfacePtr<XMPPacketAccess> copy(new XMPPacketAccess());
    ASSERT_TRUE(copy->ParsePacket(fXMP->SerializePacket()));
    n = 0;
    for (const auto& v : values)
        EXPECT_EQ(Get(WideString("Value" + std::to_string(++n)), copy.get()), v);

    // Replacing a value.
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("Value1"), WideString("second")));
    EXPECT_EQ(Get(WideString("Value1")), "second");
}

TEST_F(XMPPacketAccessTest, MissingPropertiesAndDeletes) {
    WideString value("stale");
    uint32 options = 7;
    EXPECT_FALSE(fXMP->GetProperty(kNS, WideString("Nothing"), &value, &options));
    EXPECT_TRUE(value.empty());
    EXPECT_EQ(options, 0u);
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Nothing")));
    fXMP->DeleteProperty(kNS, WideString("Nothing")); // harmless
    EXPECT_FALSE(fXMP->IsDirty()) << "deleting nothing changes nothing";

    // Deleting a struct item's tree removes everything below it.
    AppendNamed(WideString("Packages"), "one");
    ASSERT_TRUE(fXMP->AppendArrayItem(kNS, Field(Item(WideString("Packages"), 1), "Fields"), WideString(),
                                      IXMPPacketAccess::kArrayOrdered, IXMPPacketAccess::kItemIsStruct));
    fXMP->DeleteProperty(kNS, WideString("Packages"));
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Packages")));
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Packages[1]/bt:Name")));
    EXPECT_EQ(fXMP->CountArrayItems(kNS, WideString("Packages")), 0);

    // Malformed or empty arguments fail quietly.
    EXPECT_FALSE(fXMP->SetProperty(kNS, WideString(), WideString("x")));
    EXPECT_FALSE(fXMP->SetProperty(WideString(), WideString("X"), WideString("x")));
    EXPECT_FALSE(fXMP->SetProperty(kNS, WideString("Bad//Path"), WideString("x")));
    EXPECT_FALSE(fXMP->SetProperty(kNS, WideString("Packages[1]/NoPrefix"), WideString("x")));
    EXPECT_FALSE(fXMP->SetProperty(WideString("http://ns.example.test/unregistered/"), WideString("X"),
                                   WideString("x")));
    EXPECT_FALSE(fXMP->GetProperty(kNS, WideString(), &value));
    // A struct or array cannot be made with SetProperty.
    EXPECT_FALSE(fXMP->SetProperty(kNS, WideString("S"), WideString(), XMP_PROP_VALUE_IS_STRUCT));
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("S")));
}

TEST_F(XMPPacketAccessTest, ArraysOfStructs) {
    const WideString packages("Packages");
    for (const char* name : {"zeta", "alpha", "mu"})
        AppendNamed(packages, name);
    EXPECT_EQ(fXMP->CountArrayItems(kNS, packages), 3);

    EXPECT_EQ(U8(Item(packages, 3)), "Packages[3]");
    EXPECT_EQ(U8(Item(packages, IXMPPacketAccess::kLastItem)), "Packages[last()]");
    EXPECT_EQ(U8(Field(Item(packages, 2), "Name")), "Packages[2]/bt:Name");
    EXPECT_EQ(Get(Field(Item(packages, 1), "Name")), "zeta");
    EXPECT_EQ(Get(Field(Item(packages, 2), "Name")), "alpha");
    EXPECT_EQ(Get(Field(Item(packages, 3), "Name")), "mu");
    EXPECT_EQ(Get(Field(Item(packages, IXMPPacketAccess::kLastItem), "Name")), "mu");

    // The array is an rdf:Seq of struct items.
    uint32 options = 0;
    WideString value("stale");
    ASSERT_TRUE(fXMP->GetProperty(kNS, packages, &value, &options));
    EXPECT_TRUE(value.empty());
    EXPECT_TRUE(options & XMP_PROP_VALUE_IS_ARRAY);
    EXPECT_TRUE(options & XMP_PROP_ARRAY_IS_ORDERED);
    EXPECT_FALSE(options & XMP_PROP_ARRAY_IS_ALT);
    ASSERT_TRUE(fXMP->GetProperty(kNS, Item(packages, 1), &value, &options));
    EXPECT_TRUE(options & XMP_PROP_VALUE_IS_STRUCT);
    const std::string text = fXMP->SerializePacket();
    const auto seq = text.find("<rdf:Seq>");
    ASSERT_NE(seq, std::string::npos);
    EXPECT_LT(seq, text.find("zeta"));
    EXPECT_LT(text.find("zeta"), text.find("alpha"));
    EXPECT_LT(text.find("alpha"), text.find("mu<"));

    // Nested arrays, composed the same way at every level.
    const WideString fields = Field(Item(packages, 2), "Fields");
    EXPECT_EQ(U8(fields), "Packages[2]/bt:Fields");
    EXPECT_EQ(fXMP->CountArrayItems(kNS, fields), 0);
    AppendNamed(fields, "first");
    AppendNamed(fields, "second");
    EXPECT_EQ(U8(Field(Item(fields, 2), "Name")), "Packages[2]/bt:Fields[2]/bt:Name");
    EXPECT_EQ(Get(WideString("Packages[2]/bt:Fields[2]/bt:Name")), "second");
    EXPECT_EQ(fXMP->CountArrayItems(kNS, fields), 2);
    EXPECT_EQ(fXMP->CountArrayItems(kNS, Field(Item(packages, 1), "Fields")), 0);

    // A first step that carries its prefix names the same property.
    EXPECT_EQ(Get(WideString("bt:Packages[3]/bt:Name")), "mu");

    // Removing an item closes the gap.
    fXMP->DeleteProperty(kNS, Item(packages, 1));
    EXPECT_EQ(fXMP->CountArrayItems(kNS, packages), 2);
    EXPECT_EQ(Get(Field(Item(packages, 1), "Name")), "alpha");

    // An item beyond the end cannot be written, and nothing appears.
    EXPECT_FALSE(fXMP->SetProperty(kNS, Field(Item(packages, 9), "Name"), WideString("x")));
    EXPECT_EQ(fXMP->CountArrayItems(kNS, packages), 2);
}

TEST_F(XMPPacketAccessTest, CountsArraysOfEverySize) {
    const WideString array("Many");
    EXPECT_EQ(fXMP->CountArrayItems(kNS, array), 0) << "missing";
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("Simple"), WideString("v")));
    EXPECT_EQ(fXMP->CountArrayItems(kNS, WideString("Simple")), 0) << "not an array";
    EXPECT_EQ(fXMP->CountArrayItems(kNS, WideString()), 0);

    // Sizes around the powers of two catch an off-by-one in the search.
    const std::vector<int32> checkpoints = {1,  2,  3,  4,   5,   7,   8,    9,    15,
                                            16, 17, 33, 255, 256, 257, 1024, 1025, 2000};
    int32 size = 0;
    for (int32 target : checkpoints) {
        while (size < target) {
            ASSERT_TRUE(fXMP->AppendArrayItem(kNS, array, WideString(), IXMPPacketAccess::kArrayOrdered,
                                              IXMPPacketAccess::kItemIsStruct));
            ++size;
        }
        EXPECT_EQ(fXMP->CountArrayItems(kNS, array), target);
    }
    ASSERT_TRUE(fXMP->SetProperty(kNS, Field(Item(array, 2000), "Name"), WideString("end")));
    EXPECT_EQ(Get(Field(Item(array, IXMPPacketAccess::kLastItem), "Name")), "end");
}

TEST_F(XMPPacketAccessTest, ArrayFormsAndItemKinds) {
    struct Case {
        int32 form;
        const char* element;
        uint32 bits;
    };
    const std::vector<Case> cases = {
        {IXMPPacketAccess::kArrayUnordered, "<rdf:Bag>", XMP_PROP_VALUE_IS_ARRAY},
        {IXMPPacketAccess::kArrayOrdered, "<rdf:Seq>", XMP_PROP_VALUE_IS_ARRAY | XMP_PROP_ARRAY_IS_ORDERED},
        {IXMPPacketAccess::kArrayAlternative, "<rdf:Alt>",
         XMP_PROP_VALUE_IS_ARRAY | XMP_PROP_ARRAY_IS_ORDERED | XMP_PROP_ARRAY_IS_ALT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.element);
        InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
        const WideString array("List");
        ASSERT_TRUE(xmp->AppendArrayItem(kNS, array, WideString("one"), c.form, 0));
        // Form 0 appends to an array that exists.
        ASSERT_TRUE(xmp->AppendArrayItem(kNS, array, WideString("two"), 0, 0));
        EXPECT_EQ(xmp->CountArrayItems(kNS, array), 2);
        uint32 options = 0;
        WideString v;
        ASSERT_TRUE(xmp->GetProperty(kNS, array, &v, &options));
        EXPECT_EQ(options & XMP_PROP_ARRAY_FORM_MASK, c.bits);
        EXPECT_EQ(Get(WideString("List[2]"), xmp.get()), "two");
        EXPECT_NE(xmp->SerializePacket().find(c.element), std::string::npos);
    }

    EXPECT_FALSE(fXMP->AppendArrayItem(kNS, WideString("Absent"), WideString("x"), 0, 0))
        << "no form to create the array with";
    EXPECT_FALSE(fXMP->AppendArrayItem(kNS, WideString("Odd"), WideString("x"), 7, 0));
    // A struct item with a value is refused before anything is created.
    EXPECT_FALSE(fXMP->AppendArrayItem(kNS, WideString("Valued"), WideString("x"),
                                       IXMPPacketAccess::kArrayOrdered, IXMPPacketAccess::kItemIsStruct));
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Valued")));
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Absent")));
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Odd")));
}

TEST_F(XMPPacketAccessTest, ComposedPathsRefuseWhatTheToolkitWould) {
    struct Case {
        const char* what;
        WideString ns;
        WideString array;
        int32 index;
    };
    const std::vector<Case> arrayCases = {
        {"index 0", kNS, WideString("A"), 0},
        {"negative index", kNS, WideString("A"), -2},
        {"empty path", kNS, WideString(), 1},
        {"unregistered namespace", WideString("http://ns.example.test/unregistered/"), WideString("A"), 1},
    };
    for (const auto& c : arrayCases) {
        WideString path("untouched");
        EXPECT_FALSE(fXMP->ComposeArrayItemPath(c.ns, c.array, c.index, &path)) << c.what;
        EXPECT_EQ(U8(path), "untouched") << c.what;
    }
    const std::vector<std::pair<const char*, WideString>> badNames = {
        {"empty", WideString()},          {"slash", WideString("a/b")}, {"index", WideString("a[1]")},
        {"prefixed", WideString("bt:a")}, {"space", WideString("a b")},
    };
    for (const auto& [what, name] : badNames) {
        WideString path;
        EXPECT_FALSE(fXMP->ComposeStructFieldPath(kNS, WideString("S"), kNS, name, &path)) << what;
    }
    WideString path;
    EXPECT_FALSE(fXMP->ComposeStructFieldPath(
        kNS, WideString("S"), WideString("http://ns.example.test/unregistered/"), WideString("Name"), &path));
    EXPECT_FALSE(fXMP->ComposeStructFieldPath(kNS, WideString(), kNS, WideString("Name"), &path));
    EXPECT_FALSE(fXMP->ComposeArrayItemPath(kNS, WideString("A"), 1, nullptr));
}

TEST_F(XMPPacketAccessTest, DatesRoundTripWithTheirZone) {
    struct Case {
        const char* what;
        XMPDateTime value;
        const char* stored; // the text in the packet, when it matters
    };
    const std::vector<Case> cases = {
        {"east", {2024, 3, 5, 10, 20, 30, 1, 2, 0, 0}, "2024-03-05T10:20:30+02:00"},
        {"west with minutes", {2023, 12, 31, 23, 59, 59, -1, 5, 30, 0}, "2023-12-31T23:59:59-05:30"},
        {"no zone", {2024, 2, 29, 8, 0, 1, 0, 0, 0, 0}, "2024-02-29T08:00:01"},
        {"fraction", {2024, 3, 5, 10, 20, 30, 1, 1, 0, 123456789}, "2024-03-05T10:20:30.123456789+01:00"},
        {"midnight", {2024, 3, 5, 0, 0, 0, 0, 0, 0, 0}, nullptr},
        {"year only", {2024, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "2024"},
    };
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WideString path("When" + std::to_string(++n));
        ASSERT_TRUE(fXMP->SetProperty_Date(kNS, path, c.value));
        if (c.stored) {
            EXPECT_EQ(Get(path), c.stored);
        }
        XMPDateTime back;
        ASSERT_TRUE(fXMP->GetProperty_Date(kNS, path, &back));
        EXPECT_EQ(back, c.value);
    }
    // And through the packet text.
    InterfacePtr<XMPPacketAccess> copy(new XMPPacketAccess());
    ASSERT_TRUE(copy->ParsePacket(fXMP->SerializePacket()));
    n = 0;
    for (const auto& c : cases) {
        XMPDateTime back;
        ASSERT_TRUE(copy->GetProperty_Date(kNS, WideString("When" + std::to_string(++n)), &back)) << c.what;
        EXPECT_EQ(back, c.value) << c.what;
    }

    // Dates written as text by others.
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("Utc"), WideString("2024-03-05T10:20:30Z")));
    XMPDateTime utc;
    ASSERT_TRUE(fXMP->GetProperty_Date(kNS, WideString("Utc"), &utc));
    EXPECT_EQ(utc, (XMPDateTime{2024, 3, 5, 10, 20, 30, 0, 0, 0, 0}));

    XMPDateTime junk{1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("NotADate"), WideString("next tuesday")));
    EXPECT_FALSE(fXMP->GetProperty_Date(kNS, WideString("NotADate"), &junk));
    EXPECT_EQ(junk, XMPDateTime{});
    EXPECT_FALSE(fXMP->GetProperty_Date(kNS, WideString("Missing"), &junk));

    const std::vector<XMPDateTime> invalid = {
        {2024, 13, 1, 0, 0, 0, 0, 0, 0, 0}, {2024, 1, 32, 0, 0, 0, 0, 0, 0, 0},
        {2024, 1, 1, 24, 0, 0, 0, 0, 0, 0}, {2024, 1, 1, 0, 60, 0, 0, 0, 0, 0},
        {2024, 1, 1, 0, 0, 60, 0, 0, 0, 0}, {2024, 1, 1, 0, 0, 0, 2, 1, 0, 0},
        {2024, 1, 1, 0, 0, 0, 1, 24, 0, 0}, {2024, 1, 1, 0, 0, 0, 0, 0, 0, -1},
    };
    for (const auto& d : invalid) {
        EXPECT_FALSE(fXMP->SetProperty_Date(kNS, WideString("Invalid"), d));
        EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Invalid")));
    }
}

TEST_F(XMPPacketAccessTest, SerializeAndParseRoundTrip) {
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("DocType"), WideString("Adobe InDesign")));
    for (const char* name : {"one", "two", "three"})
        AppendNamed(WideString("Packages"), name);
    AppendNamed(WideString("Packages[3]/bt:Fields"), "inner");
    ASSERT_TRUE(
        fXMP->SetProperty_Date(kNS, WideString("Packages[1]/bt:Time"), {2024, 3, 5, 10, 20, 30, 1, 2, 0, 0}));

    const std::string text = fXMP->SerializePacket();
    ASSERT_EQ(text.rfind("<?xpacket begin=", 0), 0u) << "the packet wrapper";
    const auto end = text.find("<?xpacket end=\"w\"?>");
    ASSERT_NE(end, std::string::npos);
    // The toolkit's default padding, which lets a file handler rewrite the packet in place.
    const auto lastElement = text.rfind("</x:xmpmeta>");
    ASSERT_NE(lastElement, std::string::npos);
    const std::string padding = text.substr(lastElement + 12, end - lastElement - 12);
    EXPECT_GE(padding.size(), 2000u);
    EXPECT_EQ(padding.find_first_not_of(" \n"), std::string::npos);

    InterfacePtr<XMPPacketAccess> copy(new XMPPacketAccess());
    ASSERT_TRUE(copy->SetProperty(kNS, WideString("Leftover"), WideString("x")));
    ASSERT_TRUE(copy->ParsePacket(text));
    EXPECT_FALSE(copy->DoesPropertyExist(kNS, WideString("Leftover"))) << "parsing replaces the whole tree";
    EXPECT_EQ(Get(WideString("DocType"), copy.get()), "Adobe InDesign");
    EXPECT_EQ(copy->CountArrayItems(kNS, WideString("Packages")), 3);
    EXPECT_EQ(Get(WideString("Packages[2]/bt:Name"), copy.get()), "two");
    EXPECT_EQ(copy->CountArrayItems(kNS, WideString("Packages[3]/bt:Fields")), 1);
    EXPECT_EQ(Get(WideString("Packages[3]/bt:Fields[1]/bt:Name"), copy.get()), "inner");
    XMPDateTime when;
    ASSERT_TRUE(copy->GetProperty_Date(kNS, WideString("Packages[1]/bt:Time"), &when));
    EXPECT_EQ(when, (XMPDateTime{2024, 3, 5, 10, 20, 30, 1, 2, 0, 0}));
    EXPECT_EQ(copy->SerializePacket(), text) << "serializing what was parsed gives the same text";

    // A bare packet without the wrapper is a packet too.
    const auto meta = text.find("<x:xmpmeta");
    ASSERT_NE(meta, std::string::npos);
    InterfacePtr<XMPPacketAccess> bare(new XMPPacketAccess());
    ASSERT_TRUE(bare->ParsePacket(text.substr(meta, lastElement + 12 - meta)));
    EXPECT_EQ(Get(WideString("Packages[1]/bt:Name"), bare.get()), "one");
}

TEST_F(XMPPacketAccessTest, TextThatIsNoPacketLeavesTheTreeAlone) {
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("Keep"), WideString("me")));
    const std::string good = fXMP->SerializePacket();
    fXMP->SetDirty(kFalse);
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"empty", ""},
        {"plain text", "hello"},
        {"other XML", "<?xml version=\"1.0\"?><note>hi</note>"},
        {"cut inside the tree", good.substr(0, good.find("bt:Keep") + 4)},
        {"broken XML",
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description></x:xmpmeta>"},
    };
    for (const auto& [what, text] : cases) {
        EXPECT_FALSE(fXMP->ParsePacket(text)) << what;
        EXPECT_EQ(Get(WideString("Keep")), "me") << what;
        EXPECT_FALSE(fXMP->IsDirty()) << what;
    }
}

TEST_F(XMPPacketAccessTest, EveryChangeMakesThePacketDirty) {
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("Existing"), WideString("v")));
    AppendNamed(WideString("Arr"), "x");
    const std::string packet = fXMP->SerializePacket();
    struct Case {
        const char* what;
        std::function<void(XMPPacketAccess*)> action;
        bool dirties;
    };
    const std::vector<Case> cases = {
        {"set", [](XMPPacketAccess* x) { x->SetProperty(kNS, WideString("New"), WideString("v")); }, true},
        {"set the same value",
         [](XMPPacketAccess* x) { x->SetProperty(kNS, WideString("Existing"), WideString("v")); }, true},
        {"delete", [](XMPPacketAccess* x) { x->DeleteProperty(kNS, WideString("Existing")); }, true},
        {"delete missing", [](XMPPacketAccess* x) { x->DeleteProperty(kNS, WideString("Missing")); }, false},
        {"append",
         [](XMPPacketAccess* x) {
             x->AppendArrayItem(kNS, WideString("Arr"), WideString(), 0, IXMPPacketAccess::kItemIsStruct);
         },
         true},
        {"set date",
         [](XMPPacketAccess* x) {
             x->SetProperty_Date(kNS, WideString("D"), {2024, 1, 2, 3, 4, 5, 0, 0, 0, 0});
         },
         true},
        {"parse", [&](XMPPacketAccess* x) { x->ParsePacket(packet); }, true},
        {"failed set",
         [](XMPPacketAccess* x) { x->SetProperty(kNS, WideString("Arr[9]/bt:Name"), WideString("v")); },
         false},
        {"failed parse", [](XMPPacketAccess* x) { x->ParsePacket("nonsense"); }, false},
        {"reads",
         [](XMPPacketAccess* x) {
             WideString v, p;
             XMPDateTime d;
             x->GetProperty(kNS, WideString("Existing"), &v);
             x->DoesPropertyExist(kNS, WideString("Existing"));
             x->CountArrayItems(kNS, WideString("Arr"));
             x->ComposeArrayItemPath(kNS, WideString("Arr"), 1, &p);
             x->ComposeStructFieldPath(kNS, p, kNS, WideString("Name"), &p);
             x->GetProperty_Date(kNS, WideString("Existing"), &d);
             x->GetNamespacePrefix(kNS, &p);
             x->RegisterNamespace(kNS, WideString("bt"), &p);
             (void)x->SerializePacket();
         },
         false},
    };
    for (const auto& c : cases) {
        InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
        ASSERT_TRUE(xmp->ParsePacket(packet));
        xmp->SetDirty(kFalse);
        ASSERT_FALSE(xmp->IsDirty());
        c.action(xmp.get());
        EXPECT_EQ(xmp->IsDirty() != 0, c.dirties) << c.what;
        xmp->SetDirty(kFalse);
        EXPECT_FALSE(xmp->IsDirty()) << c.what;
    }
}

// The UTF-8 calls take paths composed by the caller and must agree with the UTF-16 calls on
// the same packet, either way round.
TEST_F(XMPPacketAccessTest, UTF8CallsAgreeWithTheUTF16Calls) {
    const std::string ns = U8(kNS);
    const std::string items = "Items", item2 = "Items[2]/" + fPrefix + ":Name";
    std::string prefix;
    ASSERT_TRUE(fXMP->GetNamespacePrefixUTF8(ns.c_str(), &prefix));
    EXPECT_EQ(prefix, fPrefix);
    EXPECT_FALSE(fXMP->GetNamespacePrefixUTF8("http://ns.example.test/never-registered/", &prefix));

    // Written in UTF-8, read in UTF-16.
    EXPECT_TRUE(fXMP->SetPropertyUTF8(ns.c_str(), "Title",
                                      "Gr\xC3\xBC\xC3\x9F"
                                      "e \xF0\x9F\x8C\x8A"));
    EXPECT_EQ(Get(WideString("Title")), "Gr\xC3\xBC\xC3\x9F"
                                        "e \xF0\x9F\x8C\x8A");
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(fXMP->AppendArrayItemUTF8(ns.c_str(), items.c_str(), "", IXMPPacketAccess::kArrayOrdered,
                                              IXMPPacketAccess::kItemIsStruct));
        const std::string name = items + "[" + std::to_string(i + 1) + "]/" + fPrefix + ":Name";
        ASSERT_TRUE(fXMP->SetPropertyUTF8(ns.c_str(), name.c_str(), ("item " + std::to_string(i)).c_str()));
    }
    EXPECT_EQ(fXMP->CountArrayItems(kNS, WideString("Items")), 3);
    EXPECT_EQ(Get(Field(Item(WideString("Items"), 2), "Name")), "item 1");
    // A struct item takes no value: refused before anything is created.
    EXPECT_FALSE(fXMP->AppendArrayItemUTF8(ns.c_str(), "Other", "x", IXMPPacketAccess::kArrayOrdered,
                                           IXMPPacketAccess::kItemIsStruct));
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, WideString("Other")));

    // Written in UTF-16, read in UTF-8.
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("Note"), WideString("a & <b>")));
    std::string v = "stale";
    EXPECT_TRUE(fXMP->GetPropertyUTF8(ns.c_str(), "Note", &v));
    EXPECT_EQ(v, "a & <b>");
    EXPECT_TRUE(fXMP->DoesPropertyExistUTF8(ns.c_str(), item2.c_str()));
    EXPECT_EQ(fXMP->CountArrayItemsUTF8(ns.c_str(), "Items"), 3);
    EXPECT_EQ(fXMP->CountArrayItemsUTF8(ns.c_str(), "Note"), 0) << "not an array";

    // Missing, empty arguments, deletes.
    v = "stale";
    EXPECT_FALSE(fXMP->GetPropertyUTF8(ns.c_str(), "Missing", &v));
    EXPECT_EQ(v, "");
    EXPECT_FALSE(fXMP->SetPropertyUTF8("", "Title", "x"));
    EXPECT_FALSE(fXMP->SetPropertyUTF8(ns.c_str(), "", "x"));
    EXPECT_FALSE(fXMP->DoesPropertyExistUTF8(nullptr, "Title"));
    fXMP->DeletePropertyUTF8(ns.c_str(), item2.c_str());
    EXPECT_FALSE(fXMP->DoesPropertyExist(kNS, Field(Item(WideString("Items"), 2), "Name")));
    fXMP->DeletePropertyUTF8(ns.c_str(), "Items");
    EXPECT_EQ(fXMP->CountArrayItems(kNS, WideString("Items")), 0);

    // Dates both ways.
    const XMPDateTime when{2024, 2, 29, 23, 59, 58, -1, 5, 30, 0};
    ASSERT_TRUE(fXMP->SetProperty_DateUTF8(ns.c_str(), "When", when));
    XMPDateTime back;
    ASSERT_TRUE(fXMP->GetProperty_Date(kNS, WideString("When"), &back));
    EXPECT_EQ(back, when);
    ASSERT_TRUE(fXMP->GetProperty_DateUTF8(ns.c_str(), "When", &back));
    EXPECT_EQ(back, when);
    EXPECT_FALSE(fXMP->GetProperty_DateUTF8(ns.c_str(), "Note", &back)) << "not a date";
    EXPECT_EQ(back, XMPDateTime{});
}

// Dates are written as text here for the common forms: the stored text must be the toolkit's
// own, for every form.
TEST_F(XMPPacketAccessTest, DatesAreStoredAsTheToolkitWritesThem) {
    const XMPDateTime cases[] = {
        {2024, 1, 1, 9, 0, 0, 0, 0, 0, 0},        {2024, 1, 1, 9, 0, 5, 0, 0, 0, 0},
        {2024, 1, 1, 0, 0, 0, 0, 0, 0, 0},        {2024, 1, 1, 0, 0, 0, 1, 2, 0, 0},
        {2024, 1, 1, 0, 0, 1, 1, 2, 0, 0},        {2024, 12, 31, 23, 59, 59, -1, 5, 30, 0},
        {2024, 1, 1, 9, 0, 0, 1, 0, 0, 0},        {2024, 1, 1, 9, 0, 0, -1, 0, 0, 0},
        {2024, 1, 1, 9, 0, 0, 0, 0, 0, 5},        {999, 1, 1, 9, 0, 0, 0, 0, 0, 0},
        {0, 1, 1, 9, 0, 0, 0, 0, 0, 0},           {2024, 0, 0, 9, 1, 0, 0, 0, 0, 0},
        {2024, 2, 30, 9, 1, 0, 0, 0, 0, 0},       {2023, 2, 29, 9, 1, 0, 0, 0, 0, 0},
        {2024, 2, 29, 9, 1, 0, 0, 0, 0, 0},       {2000, 2, 29, 12, 0, 0, 1, 14, 0, 0},
        {1900, 2, 29, 12, 0, 0, 0, 0, 0, 0},      {2024, 4, 31, 12, 0, 0, 0, 0, 0, 0},
        {9999, 12, 31, 23, 59, 59, 1, 23, 59, 0},
    };
    const std::string ns = U8(kNS);
    for (const XMPDateTime& d : cases) {
        SCOPED_TRACE(std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day) +
                     " " + std::to_string(d.hour) + ":" + std::to_string(d.minute) + ":" +
                     std::to_string(d.second) + " zone " + std::to_string(d.tzSign));
        XmpPtr raw = xmp_new_empty();
        XmpDateTime rd{d.year,   d.month,  d.day,    d.hour,     d.minute,
                       d.second, d.tzSign, d.tzHour, d.tzMinute, d.nanoSecond};
        XmpStringPtr text = xmp_string_new();
        const bool ok = xmp_set_property_date(raw, ns.c_str(), "When", &rd, 0) &&
                        xmp_get_property(raw, ns.c_str(), "When", text, nullptr);
        EXPECT_EQ(fXMP->SetProperty_Date(kNS, WideString("When"), d) != 0, ok);
        if (ok) {
            EXPECT_EQ(Get(WideString("When")), xmp_string_cstr(text));
        }
        xmp_string_free(text);
        xmp_free(raw);
    }
}

// The whole namespace at once must read what the property calls read: from the toolkit's
// serialization, and from the text of the last parse while nothing changed since.
TEST_F(XMPPacketAccessTest, NamespaceTreeReadsWhatThePropertyCallsRead) {
    AppendNamed(WideString("Items"), "first & <one>");
    AppendNamed(WideString("Items"), "second\nline\ttab");
    ASSERT_TRUE(fXMP->SetProperty(kNS, WideString("Title"), WideString("  spaced  ")));
    WideString otherPrefix;
    ASSERT_TRUE(fXMP->RegisterNamespace(kOtherNS, WideString("bo"), &otherPrefix));
    ASSERT_TRUE(fXMP->SetProperty(kOtherNS, WideString("Title"), WideString("other namespace")));
    const std::string ns = U8(kNS);

    auto check = [&](IXMPPacketAccess* xmp, const char* what) {
        SCOPED_TRACE(what);
        XMPTree tree;
        ASSERT_TRUE(xmp->ReadNamespaceTree(ns.c_str(), &tree));
        EXPECT_EQ(tree.Value(tree.Field(XMPTree::Root(), "Title")), "  spaced  ");
        const int32 items = tree.Field(XMPTree::Root(), "Items");
        ASSERT_EQ(tree.Count(items), 2);
        std::vector<std::string> names;
        for (int32 i = tree.FirstChild(items); i != XMPTree::kNone; i = tree.Next(i)) {
            EXPECT_EQ(tree.At(i).kind, XMPTree::kStruct);
            names.emplace_back(tree.Value(tree.Field(i, "Name")));
        }
        EXPECT_EQ(names, (std::vector<std::string>{"first & <one>", "second\nline\ttab"}));
        EXPECT_EQ(tree.Field(XMPTree::Root(), "Missing"), XMPTree::kNone);
        EXPECT_EQ(tree.Count(tree.Field(XMPTree::Root(), "Title")), 0) << "not an array";
    };
    check(fXMP.get(), "serialized");
    InterfacePtr<XMPPacketAccess> parsed(new XMPPacketAccess());
    ASSERT_TRUE(parsed->ParsePacket(fXMP->SerializePacket()));
    check(parsed.get(), "text of the parse");
    check(parsed.get(), "the tree kept since the last read");
    check(fXMP.get(), "the tree kept since the last read, serialized");

    // Every kind of change after a read: the tree kept from it no longer describes the packet.
    XMPTree tree;
    auto title = [&]() {
        EXPECT_TRUE(parsed->ReadNamespaceTree(ns.c_str(), &tree));
        return std::string(tree.Value(tree.Field(XMPTree::Root(), "Title")));
    };
    ASSERT_TRUE(parsed->SetProperty(kNS, WideString("Title"), WideString("changed")));
    EXPECT_EQ(title(), "changed");
    EXPECT_EQ(title(), "changed");
    parsed->DeleteProperty(kNS, WideString("Items"));
    EXPECT_EQ(title(), "changed");
    EXPECT_EQ(tree.Field(XMPTree::Root(), "Items"), XMPTree::kNone);
    ASSERT_TRUE(parsed->AppendArrayItem(kNS, WideString("Items"), WideString("plain"),
                                        IXMPPacketAccess::kArrayOrdered, 0));
    EXPECT_EQ(title(), "changed");
    EXPECT_EQ(tree.Count(tree.Field(XMPTree::Root(), "Items")), 1);
    ASSERT_TRUE(parsed->ParsePacket(fXMP->SerializePacket()));
    EXPECT_EQ(title(), "  spaced  ");
}

TEST(XMPTreeTest, ACopyReadsAsTheOriginalAndOutlivesIt) {
    const std::string ns = "http://ns.example.test/brindle-test/1.0/";
    XMPTree copy;
    {
        XMPTree tree;
        ASSERT_TRUE(tree.Build("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                               "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
                               "rdf:about=\"\" xmlns:bt=\"" + ns + "\"><bt:Title>a &amp; b</bt:Title><bt:Items>"
                               "<rdf:Seq><rdf:li>one</rdf:li><rdf:li></rdf:li></rdf:Seq></bt:Items>"
                               "</rdf:Description></rdf:RDF></x:xmpmeta>",
                               ns));
        ASSERT_TRUE(copy.CopyFrom(tree));
    }
    EXPECT_EQ(copy.Value(copy.Field(XMPTree::Root(), "Title")), "a & b");
    const int32 items = copy.Field(XMPTree::Root(), "Items");
    ASSERT_EQ(copy.Count(items), 2);
    EXPECT_EQ(copy.Value(copy.FirstChild(items)), "one");
    EXPECT_EQ(copy.Value(copy.Next(copy.FirstChild(items))), "");
}

// Both layouts the toolkit writes, other writers' quoting, and what must be left to the
// property calls: general qualifiers, URI values, node elements with an about, text that
// is not UTF-8 or that the toolkit's parse would change.
TEST(XMPTreeTest, BuildsTheToolkitsLayoutsAndRefusesTheRest) {
    const std::string ns = "http://ns.example.test/tree/";
    auto packet = [&](const std::string& body, const std::string& descAttrs = "",
                      const std::string& meta = "adobe:ns:meta/") {
        return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
               "<x:xmpmeta xmlns:x=\"" + meta + "\"><rdf:RDF "
               "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description rdf:about=\"\" "
               "xmlns:t=\"" +
               ns + "\" xmlns:o=\"http://ns.example.test/other/\"" + descAttrs + ">" + body +
               "</rdf:Description></rdf:RDF></x:xmpmeta>\n   \n<?xpacket end=\"w\"?>";
    };
    struct Case {
        const char* what;
        std::string text;
        bool toolkitForm; // as the toolkit's serialization
        bool stored;      // as the text of a parse
        const char* a;    // the value of A[2]/t:N, when built
    };
    const std::string items = "<t:A><rdf:Seq><rdf:li rdf:parseType=\"Resource\"><t:N>one</t:N></rdf:li>";
    const std::vector<Case> cases = {
        {"element layout",
         packet(items + "<rdf:li rdf:parseType=\"Resource\"><t:N>t&amp;o</t:N>"
                        "<o:N>x</o:N></rdf:li></rdf:Seq></t:A>"),
         true, true, "t&o"},
        {"compact layout",
         packet("<t:A><rdf:Seq><rdf:li t:N=\"one\"/><rdf:li><rdf:Description t:N=\"t&amp;o\">"
                "<t:L><rdf:Bag/></t:L></rdf:Description></rdf:li></rdf:Seq></t:A>",
                " t:Top=\"1\""),
         true, true, "t&o"},
        {"single quotes and line breaks",
         packet("\n <t:A>\n  <rdf:Seq>\n   <rdf:li rdf:parseType='Resource'>"
                "<t:N>one</t:N></rdf:li>\n   <rdf:li rdf:parseType='Resource'>\n"
                "    <t:N>t&#xA;o</t:N>\n   </rdf:li>\n  </rdf:Seq>\n </t:A>\n"),
         true, true, "t\no"},
        {"language alternatives",
         packet(items + "<rdf:li rdf:parseType=\"Resource\"><t:N xml:lang=\"en\">two</t:N>"
                        "</rdf:li></rdf:Seq></t:A>"),
         true, false, "two"},
        {"qualified value",
         packet(items + "<rdf:li rdf:parseType=\"Resource\"><t:N rdf:parseType=\"Resource\">"
                        "<rdf:value>two</rdf:value><o:q>x</o:q></t:N></rdf:li></rdf:Seq></t:A>"),
         false, false, nullptr},
        {"URI value", packet(items + "<rdf:li><t:N rdf:resource=\"http://x/\"/></rdf:li></rdf:Seq></t:A>"),
         false, false, nullptr},
        {"node element with about",
         packet(items + "<rdf:li><rdf:Description rdf:about=\"x\" t:N=\"two\"/>"
                        "</rdf:li></rdf:Seq></t:A>"),
         false, false, nullptr},
        {"comment", packet(items + "<!-- two --></rdf:Seq></t:A>"), false, false, nullptr},
        {"not UTF-8", packet(items + "<rdf:li t:N=\"caf\xE9\"/></rdf:Seq></t:A>"), true, false, "caf\xE9"},
        {"control character", packet(items + "<rdf:li t:N=\"a&#x1;b\"/></rdf:Seq></t:A>"), true, false,
         "a\x01"
         "b"},
        {"raw line feed in an attribute", packet(items + "<rdf:li t:N=\"a\nb\"/></rdf:Seq></t:A>"), false,
         false, nullptr},
        // The toolkit reads no properties under a wrapper of another namespace.
        {"wrapper in another namespace",
         packet(items + "<rdf:li t:N=\"two\"/></rdf:Seq></t:A>", "", "http://iptc.oradobe:ns:meta/"), false,
         false, nullptr},
        {"wrapper without its namespace", packet(items + "<rdf:li t:N=\"two\"/></rdf:Seq></t:A>", "", "adobe:ns:meta"),
         false, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (XMPTree::Source source : {XMPTree::kToolkitText, XMPTree::kStoredText}) {
            const bool expected = source == XMPTree::kStoredText ? c.stored : c.toolkitForm;
            // The toolkit's own text comes without the wrapper.
            std::string text = c.text;
            if (source == XMPTree::kToolkitText)
                text = text.substr(text.find("<x:xmpmeta"),
                                   text.find("</x:xmpmeta>") + 12 - text.find("<x:xmpmeta"));
            XMPTree tree;
            ASSERT_EQ(tree.Build(text, ns, source), expected)
                << (source == XMPTree::kStoredText ? "stored" : "toolkit");
            if (!expected) {
                EXPECT_TRUE(tree.Empty());
                continue;
            }
            const int32 a = tree.Field(XMPTree::Root(), "A");
            ASSERT_EQ(tree.Count(a), 2);
            const int32 second = tree.Next(tree.FirstChild(a));
            EXPECT_EQ(tree.Value(tree.Field(tree.FirstChild(a), "N")), "one");
            EXPECT_EQ(tree.Value(tree.Field(second, "N")), c.a);
            EXPECT_EQ(tree.At(second).count, 1 + (std::string(c.what) == "compact layout"))
                << "no foreign fields";
        }
    }
}

// The reader's dates: what the toolkit's conversion gives, for every text.
TEST(XMPTreeTest, DatesParseAsTheToolkitParsesThem) {
    const char* texts[] = {"2024-01-01T09:00",
                           "2024-01-01T09:00:05",
                           "2024-01-01",
                           "2024-02-30T10:00",
                           "2023-02-29",
                           "0000-01-01",
                           "2024-01-01T10:00+00:00",
                           "2024-01-01T10:00-00:30",
                           "2024-01-01T10:00Z",
                           "2024-01-01T10:00:00.5",
                           "2024-01-01T10:00:00.1234567891",
                           "2024-12-31T23:59:59-05:30",
                           "2024-13-01",
                           "2024-01-01T24:00",
                           "2024-1-1",
                           "2024",
                           "2024-05",
                           " 2024-01-01",
                           "2024-01-01T10:00:60",
                           "2024-01-01T10",
                           "yesterday",
                           "",
                           "2024-01-01T10:00+0200",
                           "-0044-03-15T12:00"};
    XMPPacketAccess::InitToolkit();
    const char* ns = "http://ns.adobe.com/xap/1.0/";
    for (const char* t : texts) {
        SCOPED_TRACE(std::string("\"") + t + "\"");
        XmpPtr raw = xmp_new_empty();
        XmpDateTime d{};
        const bool ok = xmp_set_property(raw, ns, "CreateDate", t, 0) &&
                        xmp_get_property_date(raw, ns, "CreateDate", &d, nullptr);
        xmp_free(raw);
        XMPDateTime got;
        ASSERT_EQ(XMPTree::ParseDate(t, &got), ok);
        const XMPDateTime expected = ok ? XMPDateTime{d.year,   d.month,  d.day,    d.hour,     d.minute,
                                                      d.second, d.tzSign, d.tzHour, d.tzMinute, d.nanoSecond}
                                        : XMPDateTime{};
        EXPECT_EQ(got, expected);
    }
}

} // namespace
