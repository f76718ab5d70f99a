#include "CVDomElement.h"

CVDomElement::CVDomElement(Kind kind, std::string nameOrText) : fKind(kind) {
    if (kind == kElement)
        fName = std::move(nameOrText);
    else
        fText = std::move(nameOrText);
}

CVDomElement::~CVDomElement() {
    // Children are taken apart with a work list rather than by recursion, so a tree of any
    // depth is destroyed without running out of stack.
    std::vector<std::unique_ptr<CVDomElement>> pending = std::move(fChildren);
    while (!pending.empty()) {
        std::unique_ptr<CVDomElement> node = std::move(pending.back());
        pending.pop_back();
        for (auto& c : node->fChildren) pending.push_back(std::move(c));
        node->fChildren.clear();
    }
}

std::unique_ptr<CVDomElement> CVDomElement::NewElement(std::string name) {
    return std::make_unique<CVDomElement>(kElement, std::move(name));
}

std::unique_ptr<CVDomElement> CVDomElement::NewText(std::string text) {
    return std::make_unique<CVDomElement>(kText, std::move(text));
}

CVDomElement* CVDomElement::FindChild(std::string_view name, int32 n) const {
    if (n < 0) return nullptr;
    for (const auto& c : fChildren) {
        if (c->fKind == kElement && c->fName == name) {
            if (n == 0) return c.get();
            --n;
        }
    }
    return nullptr;
}

CVDomElement* CVDomElement::ChildAt(int32 i) const {
    if (i < 0 || i >= ChildCount()) return nullptr;
    return fChildren[static_cast<size_t>(i)].get();
}

bool CVDomElement::HasAttribute(std::string_view name) const { return FindAttributeUTF8(name) != nullptr; }

const std::string* CVDomElement::FindAttributeUTF8(std::string_view name) const {
    for (const auto& a : fAttributes)
        if (a.first == name) return &a.second;
    return nullptr;
}

WideString CVDomElement::GetAttribute(std::string_view name) const {
    const std::string* v = FindAttributeUTF8(name);
    return v ? WideString(*v) : WideString();
}

std::string CVDomElement::GetTextUTF8() const {
    if (fKind == kText) return fText;
    if (fChildren.size() == 1 && fChildren.front()->fKind == kText) return fChildren.front()->fText;
    return {};
}

WideString CVDomElement::GetText() const { return WideString(GetTextUTF8()); }

void CVDomElement::AddAttribute(std::string name, std::string value) {
    fAttributes.emplace_back(std::move(name), std::move(value));
}

bool CVDomElement::AddText(std::string text) { return InsertChild(NewText(std::move(text))); }

bool CVDomElement::InsertChild(std::unique_ptr<CVDomElement> child, int32 position) {
    if (fKind != kElement || !child) return false;
    child->fParent = this;
    if (position < 0 || position >= ChildCount())
        fChildren.push_back(std::move(child));
    else
        fChildren.insert(fChildren.begin() + position, std::move(child));
    return true;
}
