// Reads an XML document into a tree of CVDomElement nodes, and writes such a tree.
#pragma once

#include "base/PMString.h"
#include "CVDomElement.h"
#include "io/IDFile.h"
#include "io/IPMStream.h"

#include <string>

class ICVExpatSimpleDOM {
public:
    virtual ~ICVExpatSimpleDOM() = default;
    // Parses the stream from its start.
    virtual bool ParseStream(IPMStream* stream) = 0;
    virtual bool ParseBuffer(const std::string& bytes) = 0;
    // Converts the text to the platform's 8-bit encoding and parses that.
    virtual bool ParseString(const PMString& text) = 0;
    // Parses one complete document held in memory.
    virtual bool ParseBuffer(const char* bytes, int32 length) = 0;
    virtual bool ParseFile(const IDFile& file) = 0;
    // The root of the last successful parse; the caller owns it once taken.
    virtual CVDomElement* GetRoot() = 0;
    virtual PMString GetError() const = 0;
    // 0 on success, 1 when no output stream could be opened (or the file could not be stored).
    virtual int32 WriteToFile(const IDFile& file, const CVDomElement* root, bool16 indent) = 0;
};
