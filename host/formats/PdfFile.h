// A PDF's document packet: the metadata stream that the newest revision's catalog names
// (trailer /Root, then /Metadata), read through qpdf. A new packet is appended as an
// incremental update: a new metadata stream, a new revision of the catalog naming it, a
// cross-reference section in the file's own flavour (a classic table, or a stream for files
// whose newest section is one) and a trailer chained to the previous one by /Prev. The
// original bytes stay the file's prefix, so signatures over them stay valid; a linearized
// file stays a valid PDF but is no longer linearized.
#pragma once

#include <cstdint>
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

// What an update needs of the file's newest revision, and its document packet.
struct Revision {
    uint64_t prev = 0;    // offset of the newest cross-reference section
    bool classic = true;  // a table there, not a stream
    char lastByte = '\n'; // the file's last byte
    long long size = 0;   // the trailer's /Size: the new stream's object number
    int catalogNumber = 0, catalogGen = 0;
    std::string catalog; // the catalog's dictionary without /Metadata, as qpdf unparses it
    std::string root, info, id;
    bool hasPacket = false;
    std::string packet;
};

// Reads the file once, for ReadPacket's answer and for Append. kRefused as ReadPacket. What
// was read is remembered for the file while it stays untouched, so the write that follows a
// read (ReadPacket goes through here) does not parse the file again.
Status Prepare(const std::filesystem::path& file, Revision* revision, std::string* reason);

// Appends to `file` (a byte-for-byte copy of the file Prepare read) the update that makes
// `packet` its document packet, then reads the file's tail back: false, with the reason,
// when it cannot be written or does not hold exactly the update after the earlier bytes.
bool Append(const std::filesystem::path& file, const Revision& revision, const std::string& packet,
            std::string* reason);

} // namespace PdfFile
