// A PDF's document packet: the metadata stream that the newest revision's catalog names
// (trailer /Root, then /Metadata), read through qpdf. A new packet is appended as an
// incremental update: a new metadata stream, a new revision of the catalog naming it, a
// cross-reference section in the file's own flavour (a classic table, or a stream for files
// whose newest section is one) and a trailer chained to the previous one by /Prev. The
// original bytes stay the file's prefix, so signatures over them stay valid; a linearized
// file stays a valid PDF but is no longer linearized.
#pragma once

#include <filesystem>
#include <string>

namespace PdfFile {

// Whether the file begins like a PDF ("%PDF-" within its first 1024 bytes).
bool IsPdf(const std::filesystem::path& file);

enum class Status { kPacket, kNone, kRefused };

// The document packet as stored in its stream (kNone when the catalog names none). kRefused,
// with the reason, for an encrypted file, one that qpdf can only open by repairing it, or a
// metadata stream that cannot be decoded.
Status ReadPacket(const std::filesystem::path& file, std::string* packet, std::string* reason);

// Appends to `file` the update that makes `packet` its document packet. False, with the
// reason, when the file is refused (as by ReadPacket) or cannot be written; bytes may then
// have been appended, so `file` should be a copy.
bool AppendPacket(const std::filesystem::path& file, const std::string& packet, std::string* reason);

} // namespace PdfFile
