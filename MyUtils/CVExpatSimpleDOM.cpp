#include "CVExpatSimpleDOM.h"

#include "CVLog.h"
#include "io/FileUtils.h"
#include "io/IXMLUtils.h"
#include "io/StreamUtil.h"
#include "session/Utils.h"

#include <cstdio>
#include <expat.h>

namespace {
CVExpatSimpleDOM* gParsing = nullptr;
// Bytes handed to expat per call. Streams here are memory-backed, so large chunks cost
// nothing and spare expat re-scanning tags cut at a chunk end.
constexpr int kChunk = 64 * 1024;

void WriteNode(IXMLOutStream* out, const CVDomElement* node, bool16 indent) {
    if (!node->IsElement()) {
        out->Write(WideString(node->GetRawText()));
        return;
    }
    IXMLOutStream::AttributeList attrs;
    attrs.reserve(node->GetAttributes().size());
    for (const auto& [n, v] : node->GetAttributes()) attrs.emplace_back(WideString(n), WideString(v));
    out->PushWithAttributes(WideString(node->GetName()), attrs, indent);
    for (int32 i = 0; i < node->ChildCount(); ++i) WriteNode(out, node->ChildAt(i), indent);
    out->Pop(indent);
}
} // namespace

CVExpatSimpleDOM::~CVExpatSimpleDOM() {
    if (gParsing == this) gParsing = nullptr;
}

CVExpatSimpleDOM& CVExpatSimpleDOM::Instance() {
    static CVExpatSimpleDOM instance;
    return instance;
}

bool CVExpatSimpleDOM::Begin(XML_ParserStruct** parser) {
    fError.Clear();
    fPending.clear();
    fRoot.reset();
    fCurrent = nullptr;
    fDepth = 0;
    fTooDeep = false;
    gParsing = this;
    *parser = XML_ParserCreate(nullptr);
    fParser = *parser;
    if (!*parser) {
        fError = PMString("Parser not initialized");
        return false;
    }
    XML_SetElementHandler(*parser, &StartElement, &EndElement);
    XML_SetCharacterDataHandler(*parser, &CharacterData);
    return true;
}

bool CVExpatSimpleDOM::Fail(XML_ParserStruct* parser, const char* message) {
    fError = PMString(message);
    if (parser) XML_ParserFree(parser);
    return false;
}

bool CVExpatSimpleDOM::FailWithParserError(XML_ParserStruct* parser) {
    char buf[512];
    if (fTooDeep)
        std::snprintf(buf, sizeof buf, "elements nested deeper than %d levels at line %d\n",
                      static_cast<int>(kMaxDepth), static_cast<int>(XML_GetCurrentLineNumber(parser)));
    else
        std::snprintf(buf, sizeof buf, "%s at line %d\n", XML_ErrorString(XML_GetErrorCode(parser)),
                      static_cast<int>(XML_GetCurrentLineNumber(parser)));
    return Fail(parser, buf);
}

bool CVExpatSimpleDOM::ParseStream(IPMStream* stream) {
    CV_TRACE("CVExpatSimpleDOM::ParseStream");
    XML_ParserStruct* parser = nullptr;
    if (!stream) {
        Begin(&parser);
        CV_RETURN_FAILED(Fail(parser, "Invalid stream"));
    }
    if (!Begin(&parser)) CV_RETURN_FAILED(false);
    stream->Seek(0, IPMStream::kSeekFromStart);
    for (;;) {
        void* buf = XML_GetBuffer(parser, kChunk);
        if (!buf) CV_RETURN_FAILED(Fail(parser, "Failed to allocate buffer"));
        int32 n = stream->XferByte(static_cast<uchar*>(buf), kChunk);
        if (n < 0) CV_RETURN_FAILED(Fail(parser, "Could not read from stream"));
        bool last = n == 0;
        if (XML_ParseBuffer(parser, n, last ? 1 : 0) == XML_STATUS_ERROR) CV_RETURN_FAILED(FailWithParserError(parser));
        if (last) break;
    }
    XML_ParserFree(parser);
    CV_RETURN(true);
}

bool CVExpatSimpleDOM::ParseBuffer(const std::string& bytes) {
    return ParseBuffer(bytes.data(), static_cast<int32>(bytes.size()));
}

bool CVExpatSimpleDOM::ParseString(const PMString& text) { return ParseBuffer(text.GetPlatformString()); }

bool CVExpatSimpleDOM::ParseBuffer(const char* bytes, int32 length) {
    XML_ParserStruct* parser = nullptr;
    if (!Begin(&parser)) return false;
    if (XML_Parse(parser, bytes, length, 1) == XML_STATUS_ERROR) return FailWithParserError(parser);
    XML_ParserFree(parser);
    return true;
}

bool CVExpatSimpleDOM::ParseFile(const IDFile& file) {
    // The whole file in one buffer: expat then scans each token once, however long, and
    // only a regular file of bounded size is read (a FIFO or a device would never end).
    std::string bytes, why;
    if (!FileUtils::ReadRegularFile(file, &bytes, &why)) {
        XML_ParserStruct* parser = nullptr;
        Begin(&parser);
        std::string msg = "Could not open file:" + file.Path().string();
        return Fail(parser, msg.c_str());
    }
    if (bytes.size() > static_cast<size_t>(INT32_MAX)) {
        XML_ParserStruct* parser = nullptr;
        Begin(&parser);
        return Fail(parser, "File too large");
    }
    return ParseBuffer(bytes.data(), static_cast<int32>(bytes.size()));
}

void CVExpatSimpleDOM::FlushPendingText() {
    if (!fPending.empty() && fCurrent) fCurrent->AddText(std::move(fPending));
    fPending.clear();
}

void CVExpatSimpleDOM::StartElement(void*, const char* name, const char** attrs) {
    CVExpatSimpleDOM* self = gParsing;
    if (!self) return;
    if (++self->fDepth > kMaxDepth) {
        self->fTooDeep = true;
        XML_StopParser(self->fParser, XML_FALSE);
        return;
    }
    self->FlushPendingText();
    auto node = CVDomElement::NewElement(name);
    size_t count = 0;
    for (const char** a = attrs; a && a[0]; a += 2) ++count;
    node->ReserveAttributes(count);
    for (const char** a = attrs; a && a[0]; a += 2) node->AddAttribute(a[0], a[1]);
    CVDomElement* raw = node.get();
    if (!self->fRoot) {
        self->fRoot = std::move(node);
    } else if (self->fCurrent && self->fCurrent->IsElement()) {
        self->fCurrent->InsertChild(std::move(node));
    } else {
        return;
    }
    self->fCurrent = raw;
}

void CVExpatSimpleDOM::EndElement(void*, const char*) {
    CVExpatSimpleDOM* self = gParsing;
    if (!self) return;
    --self->fDepth;
    self->FlushPendingText();
    if (self->fCurrent) self->fCurrent = self->fCurrent->GetParent();
}

void CVExpatSimpleDOM::CharacterData(void*, const char* s, int len) {
    if (CVExpatSimpleDOM* self = gParsing) self->fPending.append(s, static_cast<size_t>(len));
}

int32 CVExpatSimpleDOM::WriteToFile(const IDFile& file, const CVDomElement* root, bool16 indent) {
    InterfacePtr<IPMStream> stream(StreamUtil::CreateFileStreamWrite(file));
    Utils<IXMLUtils> xmlUtils;
    if (!stream || !xmlUtils) return 1;
    InterfacePtr<IXMLOutStream> out(xmlUtils->CreateXMLOutStream(stream));
    if (!out) return 1;
    out->DocHeader(WideString("1.0"));
    if (root) WriteNode(out, root, indent);
    return out->Close() ? 0 : 1;
}

std::unique_ptr<CVDomElement> BuildDOMFromStream(IPMStream* stream) {
    CVExpatSimpleDOM& dom = CVExpatSimpleDOM::Instance();
    if (!dom.ParseStream(stream)) return nullptr;
    return dom.TakeRoot();
}
