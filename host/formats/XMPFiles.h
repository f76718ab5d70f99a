// The XMP packet of a file on disk, through exempi's file handlers.
//
// Where the packet lives:
// - Formats whose handler can always hold a packet (JPEG, PNG, TIFF, PSD, GIF, INDD…): in
//   the file. A sidecar beside such a file is never read or written.
// - Any other file (PDF and AI, which exempi reads by scanning for the packet; text and
//   unknown formats): in the sidecar "<file>.xmp" once one exists; otherwise in the file's
//   own packet when it has a writable one that the new packet fits into; otherwise in a new
//   sidecar, which is from then on the one read and written.
//
// A write to JPEG, TIFF, PSD and scanned files replaces only the bytes of the packet when
// the new packet fits into the old one's space (its padding); every other byte stays. When
// it does not fit, or for the other formats, the format's handler rewrites the file; for
// JPEG, TIFF and PSD the toolkit's photo rules then also apply (XMP copies of native Exif
// and TIFF values and Photoshop's copyright-flag resource are dropped, the IPTC digest is
// refreshed). A rewritten packet keeps the toolkit's padding, so the next write fits again.
// Files are replaced through a temporary file renamed into place and keep their permission
// bits; sidecars are written the same way. Paths are made absolute and symbolic links are
// followed, so a link stays a link.
#pragma once

#include "io/IDFile.h"

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
// Writes the packet (RDF/XML, as IXMPPacketAccess::SerializePacket gives it) to the file or
// its sidecar. kCannotWrite when the text is not a packet, the file is missing or a folder,
// the file (for a packet kept in it) or the sidecar is read-only, or the update fails; the
// file and its sidecar are then as they were.
Result Write(const IDFile& file, const std::string& rdf);
// The same; `note` (when given) tells what the user should know of besides the packet: a new
// sidecar made for the file, or a sidecar of ours removed since the file now holds the packet.
Result Write(const IDFile& file, const std::string& rdf, std::string* note);
// Whether the file's packet is (or would be) kept in its sidecar. False for a file that
// cannot be read.
bool UsesSidecar(const IDFile& file);
// "<file>.xmp".
IDFile SidecarFile(const IDFile& file);

} // namespace XMPFiles
