// One node of the simple DOM: an element with attributes and children, or a text node.
// A node owns its children.
#pragma once

#include "base/PMTypes.h"
#include "base/WideString.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

class CVDomElement {
public:
    enum Kind : int32 { kElement = 0, kText = 1 };
    using Attribute = std::pair<std::string, std::string>;

    CVDomElement(Kind kind, std::string nameOrText);
    virtual ~CVDomElement();
    CVDomElement(const CVDomElement&) = delete;
    CVDomElement& operator=(const CVDomElement&) = delete;

    static std::unique_ptr<CVDomElement> NewElement(std::string name);
    static std::unique_ptr<CVDomElement> NewText(std::string text);

    Kind GetKind() const { return fKind; }
    bool IsElement() const { return fKind == kElement; }
    const std::string& GetName() const { return fName; }
    const std::string& GetRawText() const { return fText; }
    const std::vector<Attribute>& GetAttributes() const { return fAttributes; }
    CVDomElement* GetParent() const { return fParent; }

    // The n-th child element (from 0) whose name equals the name exactly, or null.
    CVDomElement* FindChild(std::string_view name, int32 n = 0) const;
    // The i-th child, element or text, or null.
    CVDomElement* ChildAt(int32 i) const;
    int32 ChildCount() const { return static_cast<int32>(fChildren.size()); }
    bool HasAttribute(std::string_view name) const;
    // The value of the first attribute of that name; empty when there is none.
    WideString GetAttribute(std::string_view name) const;
    // The same, as the UTF-8 bytes of the document (null when missing).
    const std::string* FindAttributeUTF8(std::string_view name) const;
    // The text of a text node, or of an element whose only child is a text node.
    WideString GetText() const;
    std::string GetTextUTF8() const;

    void AddAttribute(std::string name, std::string value);
    void AddAttribute(const char* name, const char* value) { fAttributes.emplace_back(name, value); }
    void ReserveAttributes(size_t n) { fAttributes.reserve(n); }
    // Adds a text child; refused (false) on a text node.
    bool AddText(std::string text);
    // Inserts a child at the position (appended when out of range) and takes it; refused
    // on a text node, and the child is then destroyed.
    bool InsertChild(std::unique_ptr<CVDomElement> child, int32 position = -1);

private:
    Kind fKind;
    std::string fName;
    std::string fText;
    std::vector<Attribute> fAttributes;
    CVDomElement* fParent = nullptr;
    std::vector<std::unique_ptr<CVDomElement>> fChildren;
};
