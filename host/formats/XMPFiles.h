// The XMP packet of a file on disk.
//
// Where the packet lives, by the file's content:
// - JPEG, TIFF, PSD, PNG and GIF: in the file, written straight into the XMP segment (and
//   extended segments), tag 700, image resource 1060, iTXt chunk or application extension
//   (JpegFile, TiffFile, PsdFile, PngFile, GifFile), so that nothing else of the file
//   changes. Other formats whose handler can always hold a packet (INDD…): in the file,
//   through exempi's handler.
// - PDF (and AI, which is PDF inside): the metadata stream of the newest catalog, a new one
//   appended as an incremental update (PdfFile). A sidecar of ours beside it, left by earlier
//   versions, is read while it exists and removed by the next write.
// - Any other file (text, unknown formats): in the sidecar "<file>.xmp" once one exists;
//   otherwise in the file's own packet when it has a writable one that the new packet fits
//   into; otherwise in a new sidecar, which is from then on the one read and written.
// - A ".xmp" file that holds a packet is itself the packet.
//
// A packet that fits into the old one's space (its padding) replaces only those bytes. Every
// rewritten file is read back before it replaces the original (FileReplace: owner, mode,
// extended attributes and hard links kept); sidecars likewise. A JPEG laid out plainly (see
// JpegFile::ReadPlainLayout) is written by copying its other bytes, and read back by comparing
// the written file with the bytes meant, segment by segment; any other file is read back
// through the toolkit's handler.
// Paths are made absolute and symbolic links are followed, so a link stays a link.
#pragma once

#include "io/IDFile.h"
#include "xmp/IXMPPacketAccess.h"

#include <string>

namespace XMPFiles {

enum class Result { kOK, kNoPacket, kCannotRead, kCannotWrite };

// The packet of the file (or of its sidecar) as UTF-8 RDF/XML, and whether it came from the
// sidecar. A packet inside the file is handed over as stored (IXMPPacketAccess::ParsePacket
// tells whether it is well formed); a sidecar is checked here. kNoPacket when the file is
// readable but holds none (sidecar then tells where a write would put it); kCannotRead when
// the file is missing, is a folder, cannot be opened, or its sidecar is not an XMP packet.
// Reading never changes anything on disk.
Result Read(const IDFile& file, std::string* rdf, bool* sidecar);
// The same; `why` (when given) tells why a file cannot be read, when more is known than that
// (an encrypted or damaged PDF).
Result Read(const IDFile& file, std::string* rdf, bool* sidecar, std::string* why);
// Writes the packet (RDF/XML, as IXMPPacketAccess::SerializePacket gives it) to the file or
// its sidecar. kCannotWrite when the text is not a packet, the file is missing or a folder,
// the file (for a packet kept in it) or the sidecar is read-only, or the update fails; the
// file and its sidecar are then as they were.
Result Write(const IDFile& file, const std::string& rdf);
// The same; `note` (when given) tells what the user should know of besides the packet: a new
// sidecar made for the file, or a sidecar of ours removed since the file now holds the packet;
// after kCannotWrite, why (when known: an encrypted or damaged PDF, say).
Result Write(const IDFile& file, const std::string& rdf, std::string* note);
// The same for a packet in memory: its tree is written as it is when the file is a JPEG laid out
// plainly (no second serialization and parse of the packet), else its serialization as above.
Result Write(const IDFile& file, IXMPPacketAccess* packet, std::string* note);
// Whether the file's packet is (or would be) kept in its sidecar. False for a file that
// cannot be read.
bool UsesSidecar(const IDFile& file);
// "<file>.xmp".
IDFile SidecarFile(const IDFile& file);

// For tests: whether plain JPEGs are written by copying their bytes (the default) or through
// the toolkit's way, as any other JPEG.
void SetPlainJpegWrites(bool on);
// For tests: how many files the plain JPEG writer has put in place (or handed to the group).
size_t PlainJpegWriteCount();

} // namespace XMPFiles
