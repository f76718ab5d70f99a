// Any bytes through the simple DOM: a tree that parses is written out and must parse again
// into the same tree (names, attributes and text, in order).
#include "CVDomElement.h"
#include "CVExpatSimpleDOM.h"
#include "FuzzHome.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

// The tree as one text: kind, name, attributes, text and children.
void Describe(const CVDomElement* e, std::string& out) {
    if (!e->IsElement()) {
        out += "T(" + e->GetRawText() + ")";
        return;
    }
    out += "E(" + e->GetName();
    for (const auto& a : e->GetAttributes())
        out += " " + a.first + "=" + a.second;
    out += ":";
    for (int32 i = 0; i < e->ChildCount(); ++i)
        Describe(e->ChildAt(i), out);
    out += ")";
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzhome::Configure();
    // The writer takes the host's XML services.
    fuzzhome::Start();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CVExpatSimpleDOM& dom = CVExpatSimpleDOM::Instance();
    if (!dom.ParseBuffer(reinterpret_cast<const char*>(data), static_cast<int32>(size))) return 0;
    std::unique_ptr<CVDomElement> root = dom.TakeRoot();
    if (!root) return 0;
    std::string first;
    Describe(root.get(), first);
    const std::filesystem::path out = fuzzhome::Home() / "dom.xml";
    if (dom.WriteToFile(IDFile(out), root.get(), kFalse) != 0) return 0;
    if (!dom.ParseFile(IDFile(out))) {
        std::fprintf(stderr, "a written tree does not parse: %s\n", dom.GetError().GetUTF8String().c_str());
        std::abort();
    }
    std::unique_ptr<CVDomElement> again = dom.TakeRoot();
    std::string second;
    if (again) Describe(again.get(), second);
    if (first != second) {
        std::fprintf(stderr, "the tree changed:\n%s\n%s\n", first.c_str(), second.c_str());
        std::abort();
    }
    return 0;
}
