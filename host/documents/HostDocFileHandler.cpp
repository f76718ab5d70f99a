#include "documents/HostDocFileHandler.h"

#include "base/ErrorUtils.h"
#include "commands/CmdUtils.h"
#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/HostDocument.h"
#include "documents/HostDocumentList.h"
#include "documents/IDataBase.h"
#include "formats/DocFileTypes.h"
#include "formats/FileReplace.h"
#include "formats/XMPFiles.h"
#include "objectmodel/InterfacePtr.h"
#include "subjects/ResponderRegistry.h"
#include "xmp/IXMPPacketAccess.h"
#include "xmp/XMPPacketAccess.h"

#include <cstdio>
#include <filesystem>

namespace {

std::string Quoted(const IDFile& file) {
    return "\"" + file.Path().string() + "\"";
}

void Fail(const std::string& why) {
    Host::SetDocumentError(why);
    ErrorUtils::PMSetGlobalErrorCode(kFailure);
}

IDocument* OpenDocument(const UIDRef& ref) {
    IDocument* doc = Instantiate<IDocument>(ref);
    HostDocumentList* list = HostDocumentList::Get();
    if (doc && (!list || !list->IsOpen(doc))) {
        doc->Release();
        return nullptr;
    }
    return doc;
}

bool WritePacket(IDocument* doc, const IDFile& file, bool markClean) {
    InterfacePtr<IXMPPacketAccess> packet(doc, IID_IXMPPACKETACCESS);
    if (!packet) {
        Fail("The document " + doc->GetName().GetUTF8String() + " has no metadata to save");
        return false;
    }
    // A layout package or story file: the document's packet and its stories' packets together.
    if (Host::HasFileStories(doc)) {
        std::string why;
        if (!Host::SaveFileStories(doc, file, markClean, &why)) {
            Fail(why);
            return false;
        }
        return true;
    }
    std::string note;
    if (XMPFiles::Write(file, packet.get(), &note) != XMPFiles::Result::kOK) {
        Fail("Cannot write the metadata of " + Quoted(file) + (note.empty() ? "" : ": " + note));
        return false;
    }
    if (!note.empty()) std::fprintf(stderr, "note: %s\n", note.c_str());
    if (markClean) packet->SetDirty(kFalse);
    return true;
}

// Brings the document's file to the destination, so that everything but the packet is kept.
bool CopyFileTo(IDocument* doc, const IDFile& dest) {
    IDFile source;
    std::error_code ec;
    if (!doc->GetDocFile(&source) || !std::filesystem::exists(source.Path(), ec)) return true;
    if (std::filesystem::exists(dest.Path(), ec) &&
        std::filesystem::equivalent(source.Path(), dest.Path(), ec))
        return true;
    std::filesystem::copy_file(source.Path(), dest.Path(), std::filesystem::copy_options::overwrite_existing,
                               ec);
    if (ec) {
        Fail("Cannot copy " + Quoted(source) + " to " + Quoted(dest) + ": " + ec.message());
        return false;
    }
    return true;
}

FileTypeInfoID TypeFor(const IDFile& dest, bool16 asStationery, FileTypeInfoID fileTypeID) {
    if (fileTypeID != kInvalidFileTypeInfoID) return fileTypeID;
    if (asStationery) return kInDesignTemplateFileTypeInfoID;
    return DocFileTypes::FromFile(dest);
}

} // namespace

bool16 HostDocFileHandler::CanSave(const UIDRef& ref) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    return doc && doc->GetDocFile(nullptr) ? kTrue : kFalse;
}

void HostDocFileHandler::Save(const UIDRef& ref, UIFlags uiFlags) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    if (!doc) return Fail("The document is not open");
    IDFile file;
    if (!doc->GetDocFile(&file)) return SaveAs(ref, nullptr, uiFlags, kFalse, kInvalidFileTypeInfoID);
    ResponderRegistry::SendDocSignal(kBeforeSaveDocSignalResponderService, ref, file);
    if (!WritePacket(doc, file, true)) return;
    // Once the new file is in place: in a batch that commits its documents together, after
    // the commit (and never when it failed).
    FileReplace::AfterCommit(
        [ref, file] { ResponderRegistry::SendDocSignal(kAfterSaveDocSignalResponderService, ref, file); });
}

bool16 HostDocFileHandler::CanSaveAs(const UIDRef& ref) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    return doc ? kTrue : kFalse;
}

void HostDocFileHandler::SaveAs(const UIDRef& ref, const IDFile* destFile, UIFlags uiFlags,
                                bool16 asStationery, FileTypeInfoID fileTypeID) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    if (!doc) return Fail("The document is not open");
    if (!destFile || destFile->IsEmpty())
        return Fail("The document " + doc->GetName().GetUTF8String() + " has no file to save to");
    const IDFile dest = *destFile;
    ResponderRegistry::SendDocSignal(kBeforeSaveAsDocSignalResponderService, ref, dest);
    if (!CopyFileTo(doc, dest) || !WritePacket(doc, dest, true)) return;
    if (auto* host = dynamic_cast<HostDocument*>(doc.get()))
        host->SetFile(dest, TypeFor(dest, asStationery, fileTypeID));
    FileReplace::AfterCommit(
        [ref, dest] { ResponderRegistry::SendDocSignal(kAfterSaveAsDocSignalResponderService, ref, dest); });
}

bool16 HostDocFileHandler::CanSaveACopy(const UIDRef& ref) {
    return CanSaveAs(ref);
}

void HostDocFileHandler::SaveACopy(const UIDRef& ref, const IDFile* destFile, UIFlags, bool16,
                                   FileTypeInfoID) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    if (!doc) return Fail("The document is not open");
    if (!destFile || destFile->IsEmpty()) return Fail("No file to save the copy to");
    if (!CopyFileTo(doc, *destFile)) return;
    WritePacket(doc, *destFile, false);
}

bool16 HostDocFileHandler::CanRevert(const UIDRef& ref) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    return doc && doc->GetDocFile(nullptr) && doc->IsModified() ? kTrue : kFalse;
}

void HostDocFileHandler::Revert(const UIDRef& ref, UIFlags) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    if (!doc) return Fail("The document is not open");
    IDFile file;
    if (!doc->GetDocFile(&file))
        return Fail("The document " + doc->GetName().GetUTF8String() + " has no file");
    InterfacePtr<IXMPPacketAccess> packet(doc, IID_IXMPPACKETACCESS);
    if (!packet) return Fail("The document " + doc->GetName().GetUTF8String() + " has no metadata");
    std::string rdf;
    bool sidecar = false;
    switch (XMPFiles::Read(file, &rdf, &sidecar)) {
    case XMPFiles::Result::kOK:
        break;
    case XMPFiles::Result::kNoPacket: {
        InterfacePtr<IXMPPacketAccess> empty(new XMPPacketAccess);
        rdf = empty->SerializePacket();
        break;
    }
    default:
        return Fail("Cannot read " + Quoted(file));
    }
    if (!packet->ParsePacket(rdf)) return Fail("The XMP packet of " + Quoted(file) + " cannot be read");
    packet->SetDirty(kFalse);
    CmdUtils::ClearUndo(doc);
}

bool16 HostDocFileHandler::CanClose(const UIDRef& ref) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    return doc ? kTrue : kFalse;
}

void HostDocFileHandler::Close(const UIDRef& ref, UIFlags, bool16, CloseCmdMode) {
    InterfacePtr<IDocument> doc(OpenDocument(ref));
    if (!doc) return;
    IDFile file;
    doc->GetDocFile(&file);
    ResponderRegistry::SendDocSignal(kBeforeCloseDocSignalResponderService, ref, file);
    if (HostDocumentList* list = HostDocumentList::Get()) list->Remove(doc);
}

IDocFileHandler::CloseOptions HostDocFileHandler::CheckOnClose(const UIDRef&, UIFlags) {
    return kDontSave;
}

void HostDocFileHandler::GetCopyDefaultName(const UIDRef& ref, IDFile* name, bool16& useSystemDefaultDir) {
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(ref));
    if (!doc || !name) return;
    IDFile file;
    if (doc->GetDocFile(&file)) {
        const auto& p = file.Path();
        *name = IDFile(p.parent_path() / (p.stem().string() + " copy" + p.extension().string()));
        useSystemDefaultDir = kFalse;
    } else {
        *name = IDFile(std::filesystem::path(doc->GetName().GetUTF8String() + " copy"));
        useSystemDefaultDir = kTrue;
    }
}
