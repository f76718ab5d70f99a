// An open document: its file, its database, its workspace (where plug-ins keep per-document
// add-ins), its stories and the class of its file handler.
//
// The document's XMP packet is the IXMPPacketAccess of the document's own boss (kDocBoss):
// InterfacePtr<IXMPPacketAccess> xmp(doc, UseDefaultIID()). A story's packet is likewise the
// IXMPPacketAccess of the story's boss.
#pragma once

#include "base/PMString.h"
#include "formats/IFileTypeInfo.h"
#include "io/IDFile.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDList.h"

class IDataBase;

class IDocument : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IDOCUMENT };

    // False, and the file left as it is, when the document has no file (a new one).
    virtual bool16 GetDocFile(IDFile* file) const = 0;
    virtual UIDRef GetDocWorkSpace() const = 0;
    // Null once the document has closed.
    virtual IDataBase* GetDocumentDataBase() const = 0;
    // The file's name, or "Untitled-N" for a document without a file.
    virtual PMString GetName() const = 0;
    // Whether the document was opened from a template file.
    virtual bool16 IsTemplate() const = 0;
    // The file type the document was opened as (see DocFileTypes.h).
    virtual FileTypeInfoID GetOpenFileType() const = 0;
    // Whether the packet changed since it was read or saved.
    virtual bool16 IsModified() const = 0;

    // The document's stories, in the order they were added.
    virtual int32 GetStoryCount() const = 0;
    virtual UID GetNthStoryUID(int32 index) const = 0;
    virtual UIDList GetStoryList() const = 0;
    // Adds a story of the document's database (once); removes it from the list.
    virtual void AddStory(UID story) = 0;
    virtual void RemoveStory(UID story) = 0;

    // The class of the document's file handler (IDocFileHandler); the host's own
    // (kHostDocFileHandlerBoss) until another is installed.
    virtual ClassID GetDocFileHandler() const = 0;
    virtual void SetDocFileHandler(ClassID handlerClass) = 0;
};
