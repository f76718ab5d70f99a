// The simple DOM over expat. One shared instance serves the whole plug-in; parsing is
// not reentrant (expat's callbacks reach the instance that is parsing through one
// process-wide pointer).
#pragma once

#include "ICVExpatSimpleDOM.h"

#include <memory>

struct XML_ParserStruct;

class CVExpatSimpleDOM : public ICVExpatSimpleDOM {
public:
    // Elements nested deeper than this are refused: no file the plug-in reads comes near it,
    // and the writer and the code that walks a tree go down one call per level.
    static constexpr int32 kMaxDepth = 256;

    CVExpatSimpleDOM() = default;
    ~CVExpatSimpleDOM() override;

    static CVExpatSimpleDOM& Instance();

    bool ParseStream(IPMStream* stream) override;
    bool ParseBuffer(const std::string& bytes) override;
    bool ParseString(const PMString& text) override;
    bool ParseBuffer(const char* bytes, int32 length) override;
    bool ParseFile(const IDFile& file) override;
    CVDomElement* GetRoot() override { return fRoot.release(); }
    std::unique_ptr<CVDomElement> TakeRoot() { return std::move(fRoot); }
    PMString GetError() const override { return fError; }
    int32 WriteToFile(const IDFile& file, const CVDomElement* root, bool16 indent) override;

private:
    bool Begin(XML_ParserStruct** parser);
    bool Fail(XML_ParserStruct* parser, const char* message);
    bool FailWithParserError(XML_ParserStruct* parser);
    void FlushPendingText();

    static void StartElement(void* userData, const char* name, const char** attrs);
    static void EndElement(void* userData, const char* name);
    static void CharacterData(void* userData, const char* s, int len);

    PMString fError;
    std::string fPending;
    std::unique_ptr<CVDomElement> fRoot;
    CVDomElement* fCurrent = nullptr;
    XML_ParserStruct* fParser = nullptr;
    int32 fDepth = 0;
    bool fTooDeep = false;
};

// Parses the stream with the shared instance; the tree, or null when parsing failed.
std::unique_ptr<CVDomElement> BuildDOMFromStream(IPMStream* stream);
