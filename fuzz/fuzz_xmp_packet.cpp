// Any bytes as an XMP packet. Where the fast tree reader accepts the text of a namespace,
// every value, array length and struct field it gives must be what the toolkit's own
// property calls give; where it refuses, the reader falls back to the toolkit's
// serialization, which it must then read in the same way.
#include "xmp/XMPPacketAccess.h"
#include "xmp/XMPTree.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

const char* const kNamespaces[] = {"https://ns.corvane.com/xmp/indesign/brindle/2.0/",
                                   "http://www.corvane.dk/xmp/indesign/brindle/1.0/",
                                   "http://purl.org/dc/elements/1.1/", "http://ns.adobe.com/xap/1.0/"};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::abort();
}

// Compares the node at the path with the toolkit's answers, depth first.
void Compare(XMPPacketAccess& xmp, const XMPTree& tree, const char* ns, const std::string& prefix, int32 node,
             const std::string& path, int depth) {
    if (depth > 200) return;
    const XMPTree::Node& n = tree.At(node);
    switch (n.kind) {
    case XMPTree::kSimple: {
        std::string value;
        if (!xmp.GetPropertyUTF8(ns, path.c_str(), &value)) Fail("the toolkit has no " + path);
        if (value != n.value) Fail(path + ": tree \"" + std::string(n.value) + "\", toolkit \"" + value + "\"");
        return;
    }
    case XMPTree::kArray: {
        if (xmp.CountArrayItemsUTF8(ns, path.c_str()) != n.count) Fail(path + ": array length differs");
        int32 i = 1;
        for (int32 c = tree.FirstChild(node); c != XMPTree::kNone; c = tree.Next(c), ++i)
            Compare(xmp, tree, ns, prefix, c, path + "[" + std::to_string(i) + "]", depth + 1);
        return;
    }
    case XMPTree::kStruct:
        if (!xmp.DoesPropertyExistUTF8(ns, path.c_str())) Fail("the toolkit has no struct " + path);
        for (int32 c = tree.FirstChild(node); c != XMPTree::kNone; c = tree.Next(c))
            Compare(xmp, tree, ns, prefix, c, path + "/" + prefix + ":" + std::string(tree.At(c).name), depth + 1);
        return;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!XMPPacketAccess::InitToolkit()) Fail("the toolkit did not start");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    XMPPacketAccess xmp;
    if (!xmp.ParsePacket(std::string(reinterpret_cast<const char*>(data), size))) return 0;
    for (const char* ns : kNamespaces) {
        std::string prefix;
        if (!xmp.GetNamespacePrefixUTF8(ns, &prefix)) continue;
        if (!prefix.empty() && prefix.back() == ':') prefix.pop_back();
        XMPTree tree;
        if (!xmp.ReadNamespaceTree(ns, &tree) || tree.Empty()) continue;
        for (int32 c = tree.FirstChild(XMPTree::Root()); c != XMPTree::kNone; c = tree.Next(c))
            Compare(xmp, tree, ns, prefix, c, std::string(tree.At(c).name), 0);
    }
    // A serialization of what was read reads back.
    const std::string text = xmp.SerializePacket();
    XMPPacketAccess again;
    if (!text.empty() && !again.ParsePacket(text)) Fail("the toolkit's serialization does not parse");
    return 0;
}
