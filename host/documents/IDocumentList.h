// The session's open documents, in the order they were opened. On the session boss.
#pragma once

#include "io/IDFile.h"
#include "objectmodel/IPMUnknown.h"

class IDocument;

class IDocumentList : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IDOCUMENTLIST };
    virtual int32 GetDocCount() const = 0;
    // Not referenced: the list keeps the document until it closes.
    virtual IDocument* GetNthDoc(int32 index) const = 0;
    // The open document of that file, or null.
    virtual IDocument* FindDoc(const IDFile& file) const = 0;
    virtual bool16 IsOpen(const IDocument* doc) const = 0;
};
