#include "io/XMLOutStream.h"

#include <algorithm>

namespace {
// Characters that XML 1.0 cannot carry at all; they are replaced, never written raw.
bool IsForbidden(char16_t c) {
    return (c < 0x20 && c != 0x9 && c != 0xA && c != 0xD) || c == 0xFFFE || c == 0xFFFF;
}

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// Half of a surrogate pair without its other half cannot be encoded either.
std::u16string PairedOnly(const std::u16string& s) {
    if (std::none_of(s.begin(), s.end(), [](char16_t c) { return c >= 0xD800 && c <= 0xDFFF; })) return s;
    std::u16string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        if (IsHighSurrogate(out[i]) && i + 1 < out.size() && IsLowSurrogate(out[i + 1]))
            ++i;
        else if (IsHighSurrogate(out[i]) || IsLowSurrogate(out[i]))
            out[i] = u'\uFFFD';
    }
    return out;
}
} // namespace

XMLOutStream::XMLOutStream(IPMStream* stream) : fStream(stream) {
    if (fStream) fStream->AddRef();
    // Byte-order mark: little-endian UTF-16.
    fBuffer.push_back(static_cast<char>(0xFF));
    fBuffer.push_back(static_cast<char>(0xFE));
}

XMLOutStream::~XMLOutStream() {
    if (!fClosed) Close();
}

std::u16string XMLOutStream::EscapeText(const std::u16string& raw) {
    const std::u16string text = PairedOnly(raw);
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'\r': out += u"&#xD;"; break;
        default: out.push_back(IsForbidden(c) ? u'\uFFFD' : c);
        }
    }
    return out;
}

std::u16string XMLOutStream::EscapeAttribute(const std::u16string& raw) {
    const std::u16string value = PairedOnly(raw);
    std::u16string out;
    out.reserve(value.size());
    for (char16_t c : value) {
        switch (c) {
        case u'&': out += u"&amp;"; break;
        case u'<': out += u"&lt;"; break;
        case u'>': out += u"&gt;"; break;
        case u'"': out += u"&quot;"; break;
        case u'\t': out += u"&#x9;"; break;
        case u'\n': out += u"&#xA;"; break;
        case u'\r': out += u"&#xD;"; break;
        default: out.push_back(IsForbidden(c) ? u'\uFFFD' : c);
        }
    }
    return out;
}

void XMLOutStream::Emit(const std::u16string& units) {
    for (char16_t c : units) {
        fBuffer.push_back(static_cast<char>(c & 0xFF));
        fBuffer.push_back(static_cast<char>(c >> 8));
    }
    if (fBuffer.size() >= 8192 && fStream) {
        if (fStream->XferByte(reinterpret_cast<uchar*>(fBuffer.data()), static_cast<int32>(fBuffer.size())) !=
            static_cast<int32>(fBuffer.size()))
            fFailed = true;
        fBuffer.clear();
    }
}

void XMLOutStream::EmitNewLine(size_t depth) {
    std::u16string s = u"\n";
    s.append(depth, u'\t');
    Emit(s);
}

void XMLOutStream::CloseStartTag() {
    if (fStartTagOpen) {
        Emit(u">");
        fStartTagOpen = false;
    }
}

void XMLOutStream::DocHeader(const WideString& version, bool16 standalone) {
    std::u16string s = u"<?xml version=\"" + EscapeAttribute(version.Units()) + u"\" encoding=\"UTF-16\"";
    if (standalone) s += u" standalone=\"yes\"";
    s += u"?>";
    Emit(s);
}

void XMLOutStream::Push(const WideString& tag, bool16 indent) { PushWithAttributes(tag, {}, indent); }

void XMLOutStream::PushWithAttributes(const WideString& tag, const AttributeList& attrs, bool16 indent) {
    CloseStartTag();
    if (indent && !fLastWasText) EmitNewLine(fOpen.size());
    std::u16string s = u"<" + tag.Units();
    for (const auto& a : attrs) s += u" " + a.name.Units() + u"=\"" + EscapeAttribute(a.value.Units()) + u"\"";
    Emit(s);
    fStartTagOpen = true;
    fOpen.push_back(tag.Units());
    fHasChildren = false;
    fLastWasText = false;
}

void XMLOutStream::Pop(bool16 indent) {
    if (fOpen.empty()) return;
    std::u16string tag = std::move(fOpen.back());
    fOpen.pop_back();
    if (fStartTagOpen) {
        Emit(u"/>");
        fStartTagOpen = false;
    } else {
        if (indent && fHasChildren && !fLastWasText) EmitNewLine(fOpen.size());
        Emit(u"</" + tag + u">");
    }
    fHasChildren = true; // the parent now has content
    fLastWasText = false;
}

void XMLOutStream::Write(const WideString& text) {
    CloseStartTag();
    Emit(EscapeText(text.Units()));
    fHasChildren = true;
    fLastWasText = true;
}

bool16 XMLOutStream::Close() {
    if (fClosed) return fFailed ? kFalse : kTrue;
    while (!fOpen.empty()) Pop(kTrue);
    Emit(u"\n");
    fClosed = true;
    if (!fStream) return kFalse;
    if (!fBuffer.empty() &&
        fStream->XferByte(reinterpret_cast<uchar*>(fBuffer.data()), static_cast<int32>(fBuffer.size())) !=
            static_cast<int32>(fBuffer.size()))
        fFailed = true;
    fBuffer.clear();
    if (!fStream->Close()) fFailed = true;
    return fFailed ? kFalse : kTrue;
}
