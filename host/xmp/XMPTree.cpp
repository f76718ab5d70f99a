#include "xmp/XMPTree.h"

#include "xmp/XMPPacketAccess.h"
#include "xmp/XmpText.h"

#include <exempi/xmp.h>

#include <algorithm>
#include <cstring>

namespace {

constexpr std::string_view kRDF = xmptext::kRDFNamespace;
constexpr std::string_view kXMPMeta = "adobe:ns:meta/";

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

// Bytes that end a tag or attribute name.
struct NameEnds {
    bool table[256] = {};
    constexpr NameEnds() {
        for (unsigned char c : {' ', '\t', '\n', '\r', '/', '>', '='})
            table[c] = true;
    }
};
constexpr NameEnds kNameEnds;

bool IsNameEnd(char c) {
    return kNameEnds.table[static_cast<unsigned char>(c)];
}

void AppendUTF8(char32_t c, char*& w) {
    if (c < 0x80) {
        *w++ = static_cast<char>(c);
    } else if (c < 0x800) {
        *w++ = static_cast<char>(0xC0 | (c >> 6));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        *w++ = static_cast<char>(0xE0 | (c >> 12));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    } else {
        *w++ = static_cast<char>(0xF0 | (c >> 18));
        *w++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        *w++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        *w++ = static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Well-formed UTF-8 without overlong forms, surrogates or code points above U+10FFFF.
bool ValidUTF8(std::string_view s) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const unsigned char* end = p + s.size();
    while (p < end) {
        // Eight ASCII bytes at a time: most of a packet.
        if (end - p >= 8) {
            uint64 block;
            std::memcpy(&block, p, 8);
            if ((block & 0x8080808080808080ULL) == 0) {
                p += 8;
                continue;
            }
        }
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int n = 0;
        char32_t cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= n) return false;
        for (int i = 1; i <= n; ++i) {
            if ((p[i] & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (p[i] & 0x3F);
        }
        if ((n == 2 && cp < 0x800) || (n == 3 && cp < 0x10000) || cp > 0x10FFFF ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += n + 1;
    }
    return true;
}

// The two-digit (or four-digit) number at p, or -1.
int Digits(std::string_view s, size_t pos, size_t n) {
    if (pos + n > s.size()) return -1;
    int v = 0;
    for (size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// The toolkit's conversion, for forms the fast reading leaves to it: the text set as a
// property of a scratch packet and read back as a date.
bool ToolkitDate(std::string_view text, XMPDateTime* value) {
    if (!XMPPacketAccess::InitToolkit() || text.find('\0') != std::string_view::npos) return false;
    XmpPtr scratch = xmp_new_empty();
    if (!scratch) return false;
    const char* ns = "http://ns.adobe.com/xap/1.0/";
    XmpDateTime d{};
    const std::string s(text);
    const bool ok = xmp_set_property(scratch, ns, "CreateDate", s.c_str(), 0) &&
                    xmp_get_property_date(scratch, ns, "CreateDate", &d, nullptr);
    xmp_free(scratch);
    if (!ok) return false;
    *value = XMPDateTime{d.year,   d.month,  d.day,    d.hour,     d.minute,
                         d.second, d.tzSign, d.tzHour, d.tzMinute, d.nanoSecond};
    return true;
}

} // namespace

// A strict reader of the toolkit's own serialization; see XMPTree.h for the form. Values
// and attribute values are decoded in place (a decoded text is never longer).
class XMPTree::Scanner {
public:
    Scanner(std::string& text, std::string_view ns, std::vector<Node>& nodes, bool stored)
        : fP(text.data()), fEnd(text.data() + text.size()), fNS(ns), fNodes(nodes), fStored(stored) {}

    bool Run() {
        fNodes.push_back(Node{{}, {}, kNone, kNone, 0, kStruct});
        if (fStored && !SkipProlog()) return false;
        Tag tag;
        // <x:xmpmeta> <rdf:RDF> then rdf:Description elements.
        // The toolkit takes the wrapper only in its own namespace: another is no packet.
        if (!NextStart(&tag) || tag.name != "x:xmpmeta" || tag.empty || !BindAll(tag) ||
            !IsBoundTo("x", kXMPMeta))
            return false;
        if (!NextStart(&tag) || tag.name != "rdf:RDF" || tag.empty || !BindAll(tag)) return false;
        if (!RDFIsBound()) return false;
        int32 last = kNone;
        for (;;) {
            SkipSpace();
            if (AtEndTag()) break;
            if (!NextStart(&tag) || tag.name != "rdf:Description" || !BindAll(tag)) return false;
            // Simple properties as attributes (the compact layout), then elements.
            if (!AttrFields(0, &last, tag)) return false;
            if (tag.empty) continue;
            if (!Fields(0, &last, "rdf:Description")) return false;
        }
        if (!EndTag("rdf:RDF")) return false;
        SkipSpace();
        if (!EndTag("x:xmpmeta")) return false;
        if (fStored && !SkipProlog()) return false;
        SkipSpace();
        return fP == fEnd;
    }

private:
    struct Attr {
        std::string_view name;
        std::string_view value;
    };
    struct Tag {
        std::string_view name;
        bool empty = false;
        std::vector<Attr> attrs;
    };

    static bool IsXmlns(std::string_view name) { return name == "xmlns" || name.substr(0, 6) == "xmlns:"; }
    static std::string_view Prefix(std::string_view qname) {
        size_t colon = qname.find(':');
        return colon == std::string_view::npos ? std::string_view() : qname.substr(0, colon);
    }
    static std::string_view Local(std::string_view qname) {
        size_t colon = qname.find(':');
        return colon == std::string_view::npos ? qname : qname.substr(colon + 1);
    }

    void SkipSpace() {
        while (fP < fEnd && IsSpace(*fP))
            ++fP;
    }
    // Spaces, a byte-order mark and processing instructions (the packet wrapper, an XML
    // declaration) around the packet as stored.
    bool SkipProlog() {
        for (;;) {
            SkipSpace();
            if (fEnd - fP >= 3 && std::memcmp(fP, "\xEF\xBB\xBF", 3) == 0) {
                fP += 3;
                continue;
            }
            if (fEnd - fP < 2 || fP[0] != '<' || fP[1] != '?') return true;
            const char* end = static_cast<const char*>(std::memchr(fP, '>', static_cast<size_t>(fEnd - fP)));
            if (!end || end[-1] != '?') return false;
            fP = const_cast<char*>(end) + 1;
        }
    }
    // A character the toolkit turns into a space when it parses a packet (it already did so
    // when the value was set, in text it wrote itself).
    static bool Replaced(char32_t c) {
        return (c < 0x20 && c != '\t' && c != '\n' && c != '\r') || (c >= 0x7F && c <= 0x9F);
    }
    bool AtEndTag() const { return fEnd - fP >= 2 && fP[0] == '<' && fP[1] == '/'; }

    // Decodes the text from fP up to stop (not included) in place; false for an entity
    // that is not XML's or a character reference that is not a character.
    bool Decode(char stop, std::string_view* out) {
        const bool attribute = stop != '<';
        char* start = fP;
        // Up to the first reference nothing moves.
        while (fP < fEnd) {
            const char c = *fP;
            if (c == stop || c == '&' || c == '<' || c == '\r' || (attribute && (c == '\t' || c == '\n')) ||
                (fStored && static_cast<unsigned char>(c) < 0x80 && Replaced(static_cast<unsigned char>(c))))
                break;
            ++fP;
        }
        char* w = fP;
        while (fP < fEnd && *fP != stop) {
            char c = *fP;
            if (c == '<') return false;
            if (c != '&') {
                // XML turns a raw carriage return into a line feed; the toolkit always
                // writes it as a reference, so a raw one means another writer.
                if (c == '\r') return false;
                // In an attribute XML turns tabs and line feeds into spaces; the toolkit
                // writes them as references there.
                if (attribute && (c == '\t' || c == '\n')) return false;
                if (fStored && static_cast<unsigned char>(c) < 0x80 &&
                    Replaced(static_cast<unsigned char>(c)))
                    return false;
                *w++ = c;
                ++fP;
                continue;
            }
            const char* semi = static_cast<const char*>(std::memchr(fP, ';', static_cast<size_t>(fEnd - fP)));
            if (!semi || semi - fP > 12) return false;
            std::string_view ent(fP + 1, static_cast<size_t>(semi - fP - 1));
            fP = const_cast<char*>(semi) + 1;
            if (ent == "amp")
                *w++ = '&';
            else if (ent == "lt")
                *w++ = '<';
            else if (ent == "gt")
                *w++ = '>';
            else if (ent == "quot")
                *w++ = '"';
            else if (ent == "apos")
                *w++ = '\'';
            else if (ent.size() >= 2 && ent[0] == '#') {
                char32_t cp = 0;
                const bool hex = ent[1] == 'x';
                std::string_view digits = ent.substr(hex ? 2 : 1);
                if (digits.empty() || digits.size() > 8) return false;
                for (char d : digits) {
                    int v = d >= '0' && d <= '9'          ? d - '0'
                            : hex && d >= 'a' && d <= 'f' ? d - 'a' + 10
                            : hex && d >= 'A' && d <= 'F' ? d - 'A' + 10
                                                          : -1;
                    if (v < 0) return false;
                    cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(v);
                }
                if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) return false;
                if (fStored && Replaced(cp)) return false;
                AppendUTF8(cp, w);
            } else {
                return false;
            }
        }
        if (fP >= fEnd) return false;
        *out = std::string_view(start, static_cast<size_t>(w - start));
        return true;
    }

    // The start tag at fP (after spaces); false for anything else there (an end tag, text,
    // a comment or processing instruction, which the toolkit never writes inside a packet).
    bool NextStart(Tag* tag) {
        SkipSpace();
        if (fP >= fEnd || *fP != '<' || fEnd - fP < 2) return false;
        ++fP;
        if (*fP == '/' || *fP == '!' || *fP == '?') return false;
        const char* n = fP;
        while (fP < fEnd && !IsNameEnd(*fP))
            ++fP;
        tag->name = std::string_view(n, static_cast<size_t>(fP - n));
        tag->attrs.clear();
        tag->empty = false;
        if (tag->name.empty()) return false;
        for (;;) {
            SkipSpace();
            if (fP >= fEnd) return false;
            if (*fP == '>') {
                ++fP;
                return true;
            }
            if (*fP == '/') {
                if (fEnd - fP < 2 || fP[1] != '>') return false;
                fP += 2;
                tag->empty = true;
                return true;
            }
            const char* a = fP;
            while (fP < fEnd && !IsNameEnd(*fP))
                ++fP;
            std::string_view name(a, static_cast<size_t>(fP - a));
            SkipSpace();
            if (name.empty() || fP >= fEnd || *fP != '=') return false;
            ++fP;
            SkipSpace();
            if (fP >= fEnd || (*fP != '"' && *fP != '\'')) return false;
            const char quote = *fP++;
            std::string_view value;
            if (!Decode(quote, &value)) return false;
            ++fP;
            tag->attrs.push_back({name, value});
        }
    }

    bool EndTag(std::string_view name) {
        SkipSpace();
        if (!AtEndTag()) return false;
        fP += 2;
        if (static_cast<size_t>(fEnd - fP) < name.size() || std::string_view(fP, name.size()) != name)
            return false;
        fP += name.size();
        SkipSpace();
        if (fP >= fEnd || *fP != '>') return false;
        ++fP;
        return true;
    }

    // Namespace declarations of the tag; the toolkit declares each prefix once for the
    // whole packet, so one prefix bound to two URIs is refused rather than scoped.
    bool BindAll(const Tag& tag) {
        for (const Attr& a : tag.attrs) {
            if (!IsXmlns(a.name)) continue;
            if (a.name == "xmlns") return false; // a default namespace: not the toolkit's form
            std::string_view prefix = a.name.substr(6);
            auto it = std::find_if(fBindings.begin(), fBindings.end(),
                                   [&](const auto& b) { return b.first == prefix; });
            if (it != fBindings.end()) {
                if (it->second != a.value) return false;
                continue;
            }
            fBindings.emplace_back(prefix, a.value);
            if (a.value == fNS) fOurs.push_back(prefix);
        }
        return true;
    }
    bool IsBoundTo(std::string_view prefix, std::string_view uri) const {
        return std::any_of(fBindings.begin(), fBindings.end(),
                           [&](const auto& b) { return b.first == prefix && b.second == uri; });
    }
    bool RDFIsBound() const {
        return std::any_of(fBindings.begin(), fBindings.end(),
                           [](const auto& b) { return b.first == "rdf" && b.second == kRDF; });
    }
    bool Bound(std::string_view prefix) const {
        return std::any_of(fBindings.begin(), fBindings.end(),
                           [&](const auto& b) { return b.first == prefix; });
    }
    bool IsOurs(std::string_view qname) const {
        std::string_view p = Prefix(qname);
        return std::find(fOurs.begin(), fOurs.end(), p) != fOurs.end();
    }

    int32 NewNode(int32 parent, int32* last, std::string_view name) {
        const auto idx = static_cast<int32>(fNodes.size());
        fNodes.push_back(Node{name, {}, kNone, kNone, 0, kSimple});
        if (*last == kNone)
            fNodes[static_cast<size_t>(parent)].firstChild = idx;
        else
            fNodes[static_cast<size_t>(*last)].next = idx;
        *last = idx;
        ++fNodes[static_cast<size_t>(parent)].count;
        return idx;
    }

    // The elements up to the end tag `end`: struct fields of node; others skipped.
    bool Fields(int32 node, int32* last, std::string_view end) {
        Tag tag;
        for (;;) {
            SkipSpace();
            if (AtEndTag()) return EndTag(end);
            if (!NextStart(&tag) || !BindAll(tag)) return false;
            const std::string_view prefix = Prefix(tag.name);
            if (std::find(fOurs.begin(), fOurs.end(), prefix) == fOurs.end()) {
                // rdf:value is a qualified value, and other RDF elements are not fields.
                if (prefix == "rdf" || !Bound(prefix) || !Skip(tag)) return false;
                continue;
            }
            const int32 child = NewNode(node, last, Local(tag.name));
            if (!Value(child, tag)) return false;
        }
    }

    // A property attribute: a field of the struct the element stands for.
    static bool IsFieldAttr(std::string_view name) {
        return !IsXmlns(name) && name.substr(0, 4) != "rdf:" && name.substr(0, 4) != "xml:";
    }

    // The fields of our namespace written as attributes, as children of node.
    bool AttrFields(int32 node, int32* last, const Tag& tag) {
        for (const Attr& a : tag.attrs) {
            if (!IsFieldAttr(a.name)) continue;
            if (!Bound(Prefix(a.name))) return false;
            if (!IsOurs(a.name)) continue;
            const int32 child = NewNode(node, last, Local(a.name));
            fNodes[static_cast<size_t>(child)].value = a.value;
        }
        return true;
    }

    // The content of a property or array item element whose start tag was just read. Both
    // of the toolkit's layouts: a struct as rdf:parseType="Resource" with field elements,
    // or (compact) as a nested rdf:Description, or as an empty element, with its simple
    // fields as attributes.
    bool Value(int32 node, const Tag& tag) {
        bool isStruct = false;
        bool fieldAttrs = false;
        for (const Attr& a : tag.attrs) {
            if (IsXmlns(a.name)) continue;
            // A language changes no value; but the toolkit's parse may reorder language
            // alternatives, so stored text with languages is left to it.
            if (a.name == "xml:lang" && !fStored) continue;
            if (a.name == "rdf:parseType" && a.value == "Resource") {
                isStruct = true;
                continue;
            }
            if (IsFieldAttr(a.name)) {
                fieldAttrs = true;
                continue;
            }
            return false; // rdf:resource, rdf:value, rdf:ID…
        }
        auto n = [&]() -> Node& { return fNodes[static_cast<size_t>(node)]; };
        if (fieldAttrs) {
            // Only on an empty element, and not together with parseType.
            if (!tag.empty || isStruct) return false;
            n().kind = kStruct;
            int32 last = kNone;
            return AttrFields(node, &last, tag);
        }
        if (isStruct) {
            n().kind = kStruct;
            if (tag.empty) return true;
            int32 last = kNone;
            return Fields(node, &last, tag.name);
        }
        if (tag.empty) return true; // an empty simple value
        std::string_view text;
        if (!Decode('<', &text)) return false;
        if (AtEndTag()) {
            n().value = text;
            return EndTag(tag.name);
        }
        // Otherwise an array or a nested struct: only spaces before it.
        if (std::any_of(text.begin(), text.end(), [](char c) { return !IsSpace(c); })) return false;
        Tag inner;
        if (!NextStart(&inner) || !BindAll(inner)) return false;
        if (inner.name == "rdf:Description") {
            for (const Attr& a : inner.attrs)
                if (!IsXmlns(a.name) && !IsFieldAttr(a.name)) return false;
            n().kind = kStruct;
            int32 last = kNone;
            if (!AttrFields(node, &last, inner)) return false;
            if (!inner.empty && !Fields(node, &last, "rdf:Description")) return false;
            return EndTag(tag.name);
        }
        if (inner.name != "rdf:Seq" && inner.name != "rdf:Bag" && (inner.name != "rdf:Alt" || fStored))
            return false;
        for (const Attr& a : inner.attrs)
            if (!IsXmlns(a.name)) return false;
        n().kind = kArray;
        if (!inner.empty) {
            int32 last = kNone;
            Tag item;
            for (;;) {
                SkipSpace();
                if (AtEndTag()) break;
                if (!NextStart(&item) || !BindAll(item) || item.name != "rdf:li") return false;
                const int32 child = NewNode(node, &last, {});
                if (!Value(child, item)) return false;
            }
            if (!EndTag(inner.name)) return false;
        }
        return EndTag(tag.name);
    }

    // Passes over an element of another namespace and everything in it.
    bool Skip(const Tag& start) {
        if (start.empty) return true;
        int depth = 1;
        Tag tag;
        while (depth > 0) {
            const char* lt = static_cast<const char*>(std::memchr(fP, '<', static_cast<size_t>(fEnd - fP)));
            if (!lt) return false;
            fP = const_cast<char*>(lt);
            if (AtEndTag()) {
                fP += 2;
                const char* close =
                    static_cast<const char*>(std::memchr(fP, '>', static_cast<size_t>(fEnd - fP)));
                if (!close) return false;
                fP = const_cast<char*>(close) + 1;
                --depth;
                continue;
            }
            if (!NextStart(&tag) || !BindAll(tag)) return false;
            if (!tag.empty) ++depth;
        }
        return true;
    }

    char* fP;
    char* fEnd;
    std::string_view fNS;
    std::vector<Node>& fNodes;
    std::vector<std::pair<std::string_view, std::string_view>> fBindings;
    std::vector<std::string_view> fOurs;
    bool fStored;
};

bool XMPTree::Build(std::string rdf, std::string_view ns, Source source) {
    Clear();
    fText = std::move(rdf);
    const bool stored = source == kStoredText;
    // The toolkit reads bytes that are not UTF-8 as another encoding.
    if (stored && !ValidUTF8(fText)) {
        Clear();
        return false;
    }
    // A node takes some 40 bytes of text in the packets written here.
    fNodes.reserve(fText.size() / 40 + 1);
    Scanner scan(fText, ns, fNodes, stored);
    if (ns.empty() || !scan.Run()) {
        Clear();
        return false;
    }
    return true;
}

bool XMPTree::CopyFrom(const XMPTree& other) {
    if (&other == this) return true;
    fText = other.fText;
    fNodes = other.fNodes;
    const char* from = other.fText.data();
    const size_t size = fText.size();
    // Names and values are views of the text: each is moved to the same place in the copy.
    auto rebase = [&](std::string_view& v) {
        if (v.empty()) {
            v = std::string_view();
            return true;
        }
        if (v.data() < from || v.data() + v.size() > from + size) return false;
        v = std::string_view(fText.data() + (v.data() - from), v.size());
        return true;
    };
    for (Node& n : fNodes)
        if (!rebase(n.name) || !rebase(n.value)) {
            Clear();
            return false;
        }
    return true;
}

void XMPTree::Clear() {
    fNodes.clear();
    fText.clear();
}

int32 XMPTree::Field(int32 node, std::string_view name) const {
    if (node == kNone || At(node).kind != kStruct) return kNone;
    for (int32 c = At(node).firstChild; c != kNone; c = At(c).next) {
        const std::string_view n = At(c).name;
        // Most names differ in length or in their first letter.
        if (n.size() == name.size() && !n.empty() && n[0] == name[0] && n == name) return c;
    }
    return kNone;
}

bool XMPTree::ParseDate(std::string_view s, XMPDateTime* value) {
    *value = XMPDateTime{};
    // YYYY-MM-DD, optionally THH:MM, :SS, a fraction, and Z or a +/-HH:MM zone.
    XMPDateTime d;
    bool fast = s.size() >= 10 && s[4] == '-' && s[7] == '-';
    if (fast) {
        d.year = Digits(s, 0, 4);
        d.month = Digits(s, 5, 2);
        d.day = Digits(s, 8, 2);
        fast = d.year >= 0 && d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31;
    }
    size_t p = 10;
    if (fast && p < s.size()) {
        fast = s.size() >= 16 && s[10] == 'T' && s[13] == ':';
        if (fast) {
            d.hour = Digits(s, 11, 2);
            d.minute = Digits(s, 14, 2);
            fast = d.hour >= 0 && d.hour <= 23 && d.minute >= 0 && d.minute <= 59;
            p = 16;
        }
        if (fast && p < s.size() && s[p] == ':') {
            d.second = Digits(s, p + 1, 2);
            fast = d.second >= 0 && d.second <= 59;
            p += 3;
            if (fast && p < s.size() && s[p] == '.') {
                size_t q = p + 1;
                int32 nano = 0, digits = 0;
                while (q < s.size() && s[q] >= '0' && s[q] <= '9') {
                    if (digits < 9) nano = nano * 10 + (s[q] - '0');
                    ++digits;
                    ++q;
                }
                for (int32 i = digits; i < 9; ++i)
                    nano *= 10;
                fast = digits > 0 && digits <= 9;
                d.nanoSecond = nano;
                p = q;
            }
        }
        if (fast && p < s.size()) {
            if (s[p] == 'Z' && p + 1 == s.size()) {
                p += 1;
            } else if ((s[p] == '+' || s[p] == '-') && p + 6 == s.size() && s[p + 3] == ':') {
                d.tzHour = Digits(s, p + 1, 2);
                d.tzMinute = Digits(s, p + 4, 2);
                fast = d.tzHour >= 0 && d.tzHour <= 23 && d.tzMinute >= 0 && d.tzMinute <= 59;
                d.tzSign = s[p] == '+' ? 1 : -1; // also for +00:00, as the toolkit reads it
                p += 6;
            } else {
                fast = false;
            }
        }
        fast = fast && p == s.size();
    }
    if (fast) {
        *value = d;
        return true;
    }
    return ToolkitDate(s, value);
}
