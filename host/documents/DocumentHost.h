// Opening, saving and closing documents on real files.
//
// A document's XMP packet is read from its file (or the file's sidecar) when it opens and
// written back when it is saved; nothing else of the file changes. Documents belong to the
// session's document list: the pointers returned here are not referenced and stay valid
// until the document closes (CloseDocument, or Host::Stop).
//
// Signals sent to the registered responders (ResponderRegistry):
//   OpenDocument:  kAfterNewDocSignalResponderService, then kAfterOpenDocSignalResponderService
//   NewDocument:   kAfterNewDocSignalResponderService
//   SaveDocument:  kBeforeSaveDocSignalResponderService, write, kAfterSaveDocSignalResponderService
//   SaveDocumentAs: the same with the save-as services
//   CloseDocument: kBeforeCloseDocSignalResponderService
// Saving always writes the packet, changed or not, so that what the before-save responders
// wrote reaches the file.
#pragma once

#include "base/HostConfig.h"
#include "base/PMString.h"
#include "documents/IDocFileHandler.h"
#include "formats/IFileTypeInfo.h"
#include "io/IDFile.h"
#include "objectmodel/UIDRef.h"

#include <string>

class IDocument;
class IDocumentList;

namespace Host {

// The document of the file, or null with the reason in error (the file is missing, cannot be
// read, or holds a packet that is not XMP); the file is never written here. A file that is
// already open gives its open document, without signals.
IDocument* OpenDocument(const IDFile& file, std::string* error = nullptr);
// A document held in memory with an empty packet, and the file it would be saved to (none
// when empty); type kInvalidFileTypeInfoID takes the type from the file's name.
IDocument* NewDocument(const IDFile& file = IDFile(), FileTypeInfoID type = kInvalidFileTypeInfoID);
// Through the document's installed file handler. False, with the reason, when the packet could not be
// written.
bool SaveDocument(IDocument* doc, std::string* error = nullptr);
bool SaveDocumentAs(IDocument* doc, const IDFile& destination, std::string* error = nullptr);
// Through the document's installed file handler; true when the document closed (a handler may
// abandon the close with the global error code kCancel, unless cancelling is not allowed). The
// document is not saved.
bool CloseDocument(IDocument* doc, UIFlags uiFlags = kFullUI, bool allowCancel = true);
// Through the document's installed file handler: the packet is read from the file again and
// the undo steps are forgotten. False, with the reason, when that failed.
bool RevertDocument(IDocument* doc, std::string* error = nullptr);

// A new story in the document's database, added to its story list; kInvalidUID without a document.
UID NewStory(IDocument* doc, const PMString& name);
// A text frame (kTextFrameBoss) or story link (kStoryLinkBoss) in the document's database that
// refers to the story; kInvalidUID without a document or for another kind.
UID NewStoryReference(IDocument* doc, ClassID kind, UID story);

// The session's document list, and the document in front (the last opened unless set).
IDocumentList* GetDocumentList();
IDocument* GetFrontDocument();
void SetFrontDocument(IDocument* doc);

// The edition a document is worked on in. A story file is the text-editing edition's own,
// whatever the session's edition: one call may hold story files and layout packages, and
// each is worked on as the application that opens it would. Any other document, or none,
// takes the session's edition.
HostConfig::Edition GetDocumentEdition(const IDocument* doc);
// The same for the document whose database holds the object.
HostConfig::Edition GetDocumentEdition(const UIDRef& object);

// File handlers report why an operation failed here; SaveDocument hands it on.
void SetDocumentError(const std::string& error);
std::string GetDocumentError();

} // namespace Host

// Registers the document, workspace, story and file handler classes (the host does this when it starts).
void RegisterDocumentClasses();
