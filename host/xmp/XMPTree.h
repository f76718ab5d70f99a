// The properties of one namespace of an XMP packet, read at once as a plain tree.
//
// A reader that wants most of a large subtree asks for it this way instead of one property
// call per value: each such call makes the toolkit parse the path and walk from the root.
// The tree is built from the packet as the toolkit serializes it, in the RDF form it writes
// (simple values and struct fields as elements, rdf:parseType="Resource" structs, rdf:Seq/
// Bag/Alt arrays). Build refuses anything outside that form (general qualifiers, rdf:value,
// URI values, nested rdf:Description…); a caller then reads through the property calls.
//
// Node 0 is the namespace itself, a struct of its top-level properties. Fields of other
// namespaces are left out, as a path composed in this namespace never reaches them. A
// composite node has no value, as the property calls report it.
#pragma once

#include "base/PMTypes.h"
#include "xmp/XMPDateTime.h"

#include <string>
#include <string_view>
#include <vector>

class XMPTree {
public:
    enum Kind : uchar { kSimple, kStruct, kArray };
    static constexpr int32 kNone = -1;

    struct Node {
        std::string_view name;  // local name of a struct field; empty for an array item
        std::string_view value; // decoded UTF-8, simple values only
        int32 firstChild = kNone;
        int32 next = kNone;
        int32 count = 0; // children
        Kind kind = kSimple;
    };

    XMPTree() = default;
    XMPTree(const XMPTree&) = delete;
    XMPTree& operator=(const XMPTree&) = delete;

    // Where the text comes from. The toolkit's own serialization of a packet gives its tree
    // exactly. A packet as stored (the text the toolkit parsed, unchanged since) does so only
    // where the toolkit's parse keeps every value as written: such text must also be UTF-8
    // and free of the control characters the parse replaces.
    enum Source { kToolkitText, kStoredText };

    // From RDF/XML in the form described above; false (and an empty tree) when the text has
    // anything else.
    bool Build(std::string rdf, std::string_view ns, Source source = kToolkitText);
    // Makes this tree a copy of another (its text and nodes), far quicker than building it
    // again; false (and an empty tree) should a node not lie in the other's text.
    bool CopyFrom(const XMPTree& other);
    void Clear();
    bool Empty() const { return fNodes.empty(); }

    static constexpr int32 Root() { return 0; }
    const Node& At(int32 node) const { return fNodes[static_cast<size_t>(node)]; }
    // The field of a struct node (or of the root) with this name; kNone when missing.
    int32 Field(int32 node, std::string_view name) const;
    // The value of a simple node; empty for a composite or missing node.
    std::string_view Value(int32 node) const { return node == kNone ? std::string_view() : At(node).value; }
    // Items of an array node; 0 for anything else.
    int32 Count(int32 node) const { return node == kNone || At(node).kind != kArray ? 0 : At(node).count; }
    int32 FirstChild(int32 node) const { return node == kNone ? kNone : At(node).firstChild; }
    int32 Next(int32 node) const { return node == kNone ? kNone : At(node).next; }

    // An XMP date-time text as the toolkit's date conversion reads it; false when the text is
    // not a date, the value then zeroed. Common forms are read here, others by the toolkit.
    static bool ParseDate(std::string_view text, XMPDateTime* value);

private:
    class Scanner;
    std::string fText; // the serialized packet; values are decoded in place
    std::vector<Node> fNodes;
};
