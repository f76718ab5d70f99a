// The host's XML writer.
#pragma once

#include "io/IPMStream.h"
#include "io/IXMLOutStream.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"

#include <string>

class XMLOutStream final : public CStandaloneUnknown<IXMLOutStream> {
public:
    explicit XMLOutStream(IPMStream* stream);
    ~XMLOutStream() override;
    void DocHeader(const WideString& version, bool16 standalone) override;
    void Push(const WideString& tag, bool16 indent) override;
    void PushWithAttributes(const WideString& tag, const AttributeList& attrs, bool16 indent) override;
    void Pop(bool16 indent) override;
    void Write(const WideString& text) override;
    bool16 Close() override;

    // Escaping as written, exposed for tests: text escapes & < >; attribute values also
    // the quote and the white-space characters that a reader would otherwise normalise.
    static std::u16string EscapeText(const std::u16string& text);
    static std::u16string EscapeAttribute(const std::u16string& value);

private:
    void Emit(const std::u16string& units);
    void EmitNewLine(size_t depth);
    void CloseStartTag();

    InterfacePtr<IPMStream> fStream;
    std::string fBuffer; // UTF-16LE bytes not yet handed to the stream
    std::vector<std::u16string> fOpen;
    bool fStartTagOpen = false; // "<tag ..." written, waiting for ">" or "/>"
    bool fHasChildren = false;  // the innermost open element has content
    bool fLastWasText = false;
    bool fClosed = false;
    bool fFailed = false;
};
