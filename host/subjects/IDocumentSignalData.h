// The data of a document signal: the document and its file.
#pragma once

#include "io/IDFile.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDRef.h"

class IDocumentSignalData : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IDOCUMENTSIGNALDATA };
    virtual UIDRef GetDocument() const = 0;
    // The document's file; empty for a document without one.
    virtual IDFile GetFile() const = 0;
};
