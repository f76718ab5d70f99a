// Writes an XML document to a byte stream as UTF-16 with a byte-order mark.
#pragma once

#include "base/WideString.h"
#include "objectmodel/IPMUnknown.h"

#include <vector>

class IXMLOutStream : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IXMLOUTSTREAM };
    struct Attribute {
        Attribute(WideString n, WideString v) : name(std::move(n)), value(std::move(v)) {}
        WideString name;
        WideString value;
    };
    using AttributeList = std::vector<Attribute>;

    // The XML declaration; the first thing written after the byte-order mark.
    virtual void DocHeader(const WideString& version, bool16 standalone = kFalse) = 0;
    // Opens an element; with indent the tag starts on a new, indented line.
    virtual void Push(const WideString& tag, bool16 indent = kTrue) = 0;
    virtual void PushWithAttributes(const WideString& tag, const AttributeList& attrs, bool16 indent = kTrue) = 0;
    // Closes the innermost open element.
    virtual void Pop(bool16 indent = kTrue) = 0;
    // Character data, escaped.
    virtual void Write(const WideString& text) = 0;
    // Closes the elements still open and the stream; false when the bytes could not be stored.
    virtual bool16 Close() = 0;
};
