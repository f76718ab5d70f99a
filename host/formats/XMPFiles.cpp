#include "formats/XMPFiles.h"
#include "xmp/XMPPacketLimits.h"
#include "xmp/XMPToolkitName.h"
#include "xmp/XmpText.h"

#include "formats/FileReplace.h"
#include "formats/GifFile.h"
#include "formats/IdmlPackage.h"
#include "formats/JpegFile.h"
#include "formats/PdfFile.h"
#include "formats/PngFile.h"
#include "formats/PsdFile.h"
#include "formats/StoryFile.h"
#include "formats/TiffFile.h"
#include "io/FileUtils.h"
#include "xmp/HostXMPPacketAccess.h"
#include "xmp/XMPPacketAccess.h"

#include <exempi/xmp.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <type_traits>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace XMPFiles {

namespace {

using xmptext::kRDFNamespace;
using xmptext::XmpText;
// A JPEG's main packet names this property when the rest of the packet lives in
// extended segments; only the file handler puts the two together.
constexpr std::string_view kExtendedMarker = "HasExtendedXMP";

class Packet {
public:
    Packet() : fXmp(xmp_new_empty()) {}
    ~Packet() {
        if (fXmp) xmp_free(fXmp);
    }
    Packet(const Packet&) = delete;
    Packet& operator=(const Packet&) = delete;
    XmpPtr get() const { return fXmp; }

private:
    XmpPtr fXmp;
};

// An open exempi file, closed without writing unless Close is called.
class OpenFile {
public:
    OpenFile(const fs::path& path, int options)
        : fFile(xmp_files_open_new(path.c_str(), static_cast<XmpOpenFileOptions>(options))) {
        if (fFile) {
            XmpFileType format = XMP_FT_UNKNOWN;
            // The toolkit stores a combination of flags that its enum type does not list
            // (every TIFF handler's): the bytes are taken as a number, never read as the enum.
            alignas(XmpFileFormatOptions) unsigned char flags[sizeof(XmpFileFormatOptions)] = {};
            if (xmp_files_get_file_info(fFile, nullptr, nullptr, &format,
                                        reinterpret_cast<XmpFileFormatOptions*>(flags))) {
                std::underlying_type_t<XmpFileFormatOptions> value;
                static_assert(sizeof value == sizeof flags);
                std::memcpy(&value, flags, sizeof value);
                fFormat = format;
                fFlags = static_cast<uint32>(value);
            }
        }
    }
    ~OpenFile() {
        if (fFile) {
            xmp_files_close(fFile, XMP_CLOSE_NOOPTION);
            xmp_files_free(fFile);
        }
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;
    explicit operator bool() const { return fFile != nullptr; }
    XmpFilePtr get() const { return fFile; }
    XmpFileType Format() const { return fFormat; }
    uint32 Flags() const { return fFlags; }
    // Writes what was put, and closes.
    bool Close() {
        if (!fFile) return false;
        bool ok = xmp_files_close(fFile, XMP_CLOSE_NOOPTION);
        xmp_files_free(fFile);
        fFile = nullptr;
        return ok;
    }

private:
    XmpFilePtr fFile;
    XmpFileType fFormat = XMP_FT_UNKNOWN;
    uint32 fFlags = 0;
};

// What the file's own handler finds.
struct Probe {
    XmpFileType format = XMP_FT_UNKNOWN;
    uint32 flags = 0;
    bool hasPacket = false;
    bool writable = false; // a wrapped packet whose trailer allows an in-place rewrite
    bool extended = false;
    int64 offset = -1;
    int32 length = 0;
    int charForm = 0;
    std::string raw;
};

bool ProbeOpen(const OpenFile& f, Probe* probe) {
    probe->format = f.Format();
    probe->flags = f.Flags();
    XmpText raw;
    XmpPacketInfo info{};
    if (!raw.get()) return false;
    // The handler of a file without a packet (JPEG, for one) may report one that is empty.
    if (xmp_files_get_xmp_xmpstring(f.get(), raw.get(), &info) && xmp_string_len(raw.get()) > 0) {
        probe->hasPacket = true;
        probe->writable = info.hasWrapper && info.writeable;
        probe->offset = info.offset;
        probe->length = info.length;
        probe->charForm = info.charForm;
        probe->raw = raw.str();
        probe->extended = probe->raw.find(kExtendedMarker) != std::string::npos;
    }
    return true;
}

// Handlers that can add a packet to any file of their format and grow it.
bool AlwaysInFile(const Probe& p) {
    return p.format != XMP_FT_UNKNOWN && (p.flags & XMP_FMT_CAN_INJECT_XMP) && (p.flags & XMP_FMT_CAN_EXPAND);
}

// Formats whose packet may be rewritten byte for byte inside its padding (no checksum covers
// it); the toolkit's handler, which would apply its photo rules to Exif, TIFF and Photoshop
// data, is never used for them.
bool PhotoFormat(XmpFileType format) {
    return format == XMP_FT_JPEG || format == XMP_FT_TIFF || format == XMP_FT_PHOTOSHOP;
}

// The file as it will be opened: absolute, symbolic links resolved (so that replacing it
// replaces the real file), a readable regular file.
struct Target {
    fs::path given; // absolute, as named: the sidecar sits beside this name
    fs::path real;
    struct stat st {};
};

bool Locate(const IDFile& file, Target* t) {
    if (file.IsEmpty()) return false;
    std::error_code ec;
    t->given = fs::absolute(file.Path(), ec);
    if (ec) return false;
    t->real = fs::canonical(t->given, ec);
    if (ec) return false;
    if (::stat(t->real.c_str(), &t->st) != 0 || !S_ISREG(t->st.st_mode)) return false;
    return ::access(t->real.c_str(), R_OK) == 0;
}

fs::path SidecarOf(const fs::path& absolute) {
    fs::path p = absolute;
    p += ".xmp";
    return p;
}

// Write permission, also for a privileged process: a file marked read-only is not ours to
// change.
bool Writable(const fs::path& p, const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 && ::access(p.c_str(), W_OK) == 0;
}

bool WritableOrMissing(const fs::path& p) {
    struct stat st {};
    if (::stat(p.c_str(), &st) != 0) return errno == ENOENT;
    return S_ISREG(st.st_mode) && Writable(p, st);
}

bool ReadBytes(const fs::path& p, std::string* bytes) {
    std::ifstream in(p, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    if (in.bad()) return false;
    *bytes = s.str();
    return true;
}

// Parses UTF-8 RDF/XML; false when it is not an XMP packet.
bool ParseInto(const std::string& rdf, const Packet& packet) {
    if (!packet.get() || rdf.find(kRDFNamespace) == std::string::npos || !XMPPacketLimits::Check(rdf))
        return false;
    return xmp_parse(packet.get(), rdf.data(), rdf.size());
}

Result ReadSidecar(const fs::path& sidecar, std::string* rdf) {
    std::string bytes;
    Packet check;
    if (!ReadBytes(sidecar, &bytes) || !ParseInto(bytes, check)) return Result::kCannotRead;
    *rdf = std::move(bytes);
    return Result::kOK;
}

// A temporary file beside the target, removed unless it was put in the target's place.
class Temp {
public:
    ~Temp() {
        if (!fPath.empty()) ::unlink(fPath.c_str());
    }
    fs::path* Out() { return &fPath; }
    const fs::path& Path() const { return fPath; }
    explicit operator bool() const { return !fPath.empty(); }
    // Puts the temporary file in the target's place, keeping the target's attributes.
    bool Commit(const fs::path& real) {
        const fs::path p = std::move(fPath);
        fPath.clear();
        return FileReplace::Commit(p, real);
    }

private:
    fs::path fPath;
};

// A copy of the file beside it, for the toolkit's handler or an in-place rewrite to update.
bool CopyToTemp(const fs::path& real, Temp* temp) {
    if (!FileReplace::MakeTemp(real, temp->Out())) return false;
    std::error_code ec;
    return fs::copy_file(real, temp->Path(), fs::copy_options::overwrite_existing, ec) && !ec;
}

// A JPEG's main packet read straight from its header segments: the toolkit's handler opens
// and scans far more of the file to give the same bytes.
enum class Jpeg { kPacket, kNone, kAskHandler, kRefused };

constexpr std::string_view kXMPSignature{"http://ns.adobe.com/xap/1.0/\0", 29};
constexpr std::string_view kExtendedSignature{"http://ns.adobe.com/xmp/extension/\0", 35};

bool IsJpegName(const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".jpg" || ext == ".jpeg";
}

// The payload of the file's one standard XMP segment (the packet as stored, with its
// wrapper and padding), kNone for a JPEG without one, or kAskHandler for anything the
// handler should judge: no JPEG start, fill bytes or markers without a length before the
// image data, a truncated segment, a second XMP segment, extended XMP, a packet that is not
// UTF-8. kRefused for extended segments whose claimed full length or offsets break the
// packet limits: the handler would reserve the claimed length (up to 4 GB) before reading.
Jpeg ReadJpegPacket(const fs::path& path, std::string* packet) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Jpeg::kAskHandler;
    std::string head;
    // Reads until at least `want` bytes are held; false at the end of the file.
    auto have = [&](size_t want) {
        while (head.size() < want) {
            const size_t old = head.size();
            const size_t chunk = std::max<size_t>(want - old, 64 * 1024);
            head.resize(old + chunk);
            const ssize_t got = ::pread(fd, head.data() + old, chunk, static_cast<off_t>(old));
            head.resize(old + static_cast<size_t>(got > 0 ? got : 0));
            if (got <= 0) return false;
        }
        return true;
    };
    auto byte = [&](size_t i) { return static_cast<unsigned char>(head[i]); };
    Jpeg result = Jpeg::kAskHandler;
    bool found = false, extended = false;
    size_t pos = 2;
    if (have(4) && byte(0) == 0xFF && byte(1) == 0xD8) {
        for (;;) {
            if (!have(pos + 4) || byte(pos) != 0xFF) break;
            const unsigned char marker = byte(pos + 1);
            if (marker == 0xDA || marker == 0xD9) { // image data, or the end: no more metadata
                result = extended ? Jpeg::kAskHandler : found ? Jpeg::kPacket : Jpeg::kNone;
                break;
            }
            // Fill bytes, restart markers and TEM carry no length.
            if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) break;
            const size_t length = (static_cast<size_t>(byte(pos + 2)) << 8) | byte(pos + 3);
            if (length < 2) break;
            // A truncated segment is judged by what it holds: the handler may read it anyway.
            const bool whole = have(pos + 2 + length);
            const std::string_view payload(head.data() + pos + 4,
                                           std::min(length - 2, head.size() - (pos + 4)));
            if (marker == 0xE1 && payload.substr(0, kExtendedSignature.size()) == kExtendedSignature) {
                if (!JpegFile::ExtendedWithinLimits(payload, length - 2)) {
                    result = Jpeg::kRefused;
                    break;
                }
                extended = true;
            }
            if (!whole) break;
            if (extended) { // the handler puts the parts together; the rest are only checked
                pos += 2 + length;
                continue;
            }
            if (marker == 0xE1 && payload.substr(0, kXMPSignature.size()) == kXMPSignature) {
                if (found) break;
                found = true;
                packet->assign(payload.substr(kXMPSignature.size()));
            }
            pos += 2 + length;
        }
    }
    ::close(fd);
    if (result == Jpeg::kPacket &&
        (packet->empty() || packet->find('\0') != std::string::npos || packet->front() != '<' ||
         packet->find(kExtendedMarker) != std::string::npos))
        result = Jpeg::kAskHandler;
    if (result != Jpeg::kPacket) packet->clear();
    return result;
}

// Whether the toolkit's handler may open the file: any file whose content is a JPEG (whatever
// its name) is checked first.
bool SafeForHandler(const fs::path& real) {
    std::string ignored;
    return ReadJpegPacket(real, &ignored) != Jpeg::kRefused;
}

enum class Update { kDone, kDoesNotFit, kFailed };

// A packet the file's handler reports with its place in the file, which can be replaced
// byte for byte.
bool Rewritable(const Probe& p) {
    return p.hasPacket && p.writable && !p.extended && p.charForm == 0 && p.offset >= 0 && p.length > 0;
}

// The packet serialized to exactly the length of the one in the file, or false when it does
// not fit. Compact RDF without line breaks, as the toolkit's handlers write it, fits the most.
bool SerializeToFit(XmpPtr xmp, int32 length, std::string* bytes) {
    const uint32_t compact = XMP_SERIAL_USECOMPACTFORMAT | XMP_SERIAL_OMITALLFORMATTING;
    XmpText tight, exact;
    // Measured first: asking for a length that is too short makes exempi complain on
    // standard error.
    if (!tight.get() || !exact.get() || !xmp_serialize(xmp, tight.get(), compact, 1) ||
        xmp_string_len(tight.get()) > static_cast<size_t>(length))
        return false;
    if (!xmp_serialize(xmp, exact.get(), compact | XMP_SERIAL_EXACTPACKETLENGTH,
                       static_cast<uint32_t>(length)) ||
        xmp_string_len(exact.get()) != static_cast<size_t>(length))
        return false;
    *bytes = exact.str();
    return true;
}

// Replaces the packet at offset with bytes of the same length; every other byte stays.
Update RewriteAt(const fs::path& path, int64 offset, const std::string& bytes) {
    int fd = ::open(path.c_str(), O_RDWR);
    if (fd < 0) return Update::kFailed;
    std::string old(bytes.size(), '\0');
    bool ok = ::pread(fd, old.data(), old.size(), offset) == static_cast<ssize_t>(old.size());
    // The handler's offset must point at the wrapper of the packet it read.
    ok = ok && old.rfind("<?xpacket begin", 0) == 0 && old.size() >= 2 &&
         old.compare(old.size() - 2, 2, "?>") == 0;
    if (!ok) {
        ::close(fd);
        return Update::kDoesNotFit;
    }
    ok = ::pwrite(fd, bytes.data(), bytes.size(), offset) == static_cast<ssize_t>(bytes.size());
    return ::close(fd) == 0 && ok ? Update::kDone : Update::kFailed;
}

// Puts the packet into the file through its handler, which may rewrite the whole file.
Update UpdateWithHandler(const fs::path& path, XmpPtr xmp) {
    OpenFile f(path, XMP_OPEN_FORUPDATE | XMP_OPEN_ONLYXMP);
    if (!f) return Update::kFailed;
    if (!xmp_files_can_put_xmp(f.get(), xmp)) return Update::kDoesNotFit;
    if (!xmp_files_put_xmp(f.get(), xmp)) return Update::kFailed;
    return f.Close() ? Update::kDone : Update::kFailed;
}

// The handler writes the toolkit's own name into the packet: the name the file had is put
// back in place, inside the packet's padding. Only for layout documents, whose packet no
// checksum covers (the handler marks its object "no checksum"); in other formats the
// handler's name stays. False when the written packet cannot be read or rewritten.
bool RestoreToolkitName(const fs::path& path, const std::string& old) {
    Probe written;
    {
        OpenFile f(path, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
        if (!f || !ProbeOpen(f, &written) || !written.hasPacket) return false;
    }
    std::string bytes = written.raw;
    if (written.format != XMP_FT_INDESIGN || !Rewritable(written) || !XMPToolkitName::Keep(&bytes, old, true) ||
        bytes == written.raw)
        return true;
    return RewriteAt(path, written.offset, bytes) != Update::kFailed;
}

Result WriteSidecar(const fs::path& sidecar, XmpPtr xmp) {
    // A sidecar that is a link is written through to the file it names.
    fs::path target = sidecar;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(sidecar, ec))) {
        target = fs::canonical(sidecar, ec);
        if (ec) return Result::kCannotWrite;
    }
    if (!WritableOrMissing(target)) return Result::kCannotWrite;
    XmpText out;
    // A sidecar is a bare packet: no wrapper, no padding.
    if (!out.get() || !xmp_serialize(xmp, out.get(), XMP_SERIAL_OMITPACKETWRAPPER, 0))
        return Result::kCannotWrite;
    if (!FileUtils::IsRegularFile(IDFile(target)))
        return FileUtils::WriteFileAtomically(IDFile(target), out.str()) ? Result::kOK : Result::kCannotWrite;
    Temp temp;
    if (!FileReplace::WriteTemp(target, out.str(), temp.Out())) return Result::kCannotWrite;
    Packet check;
    std::string back;
    if (!ReadBytes(temp.Path(), &back) || !ParseInto(back, check)) return Result::kCannotWrite;
    return temp.Commit(target) ? Result::kOK : Result::kCannotWrite;
}

// Formats whose packet is written straight into the file, leaving every other byte of it.
enum class Direct { kNone, kJpeg, kTiff, kPsd, kPng, kGif };

Direct DirectFormat(XmpFileType format) {
    switch (format) {
    case XMP_FT_JPEG:
        return Direct::kJpeg;
    case XMP_FT_TIFF:
        return Direct::kTiff;
    case XMP_FT_PHOTOSHOP:
        return Direct::kPsd;
    case XMP_FT_PNG:
        return Direct::kPng;
    case XMP_FT_GIF:
        return Direct::kGif;
    default:
        return Direct::kNone;
    }
}

// The file's bytes with the packet written into them.
bool WriteDirect(Direct d, const std::string& in, XmpPtr xmp, const std::string& old, std::string* out) {
    if (d == Direct::kJpeg) {
        std::string standard, extended;
        if (!JpegFile::Serialize(xmp, &standard, &extended)) return false;
        // (The extended part is named by its digest, so it is left as serialized.)
        XMPToolkitName::Keep(&standard, old, false);
        return JpegFile::SetPacket(in, standard, extended, out);
    }
    XmpText text;
    if (!text.get() || !xmp_serialize(xmp, text.get(), XMP_SERIAL_USECOMPACTFORMAT, 2048)) return false;
    std::string packet = text.str();
    XMPToolkitName::Keep(&packet, old, false);
    switch (d) {
    case Direct::kTiff:
        return TiffFile::SetPacket(in, packet, out);
    case Direct::kPsd:
        return PsdFile::SetPacket(in, packet, out);
    case Direct::kPng:
        return PngFile::SetPacket(in, packet, out);
    case Direct::kGif:
        return GifFile::SetPacket(in, packet, out);
    default:
        return false;
    }
}

// The packet as one line of RDF, for comparing two packets.
std::string Canonical(XmpPtr xmp) {
    // Every node as namespace, path, value and flags, sorted: two packets with the same
    // properties compare equal whatever order a handler stored their schemas and properties
    // in (array items keep their order through their paths).
    XmpIteratorPtr it = xmp_iterator_new(xmp, nullptr, nullptr, XMP_ITER_PROPERTIES);
    if (!it) return {};
    XmpText ns, path, value;
    std::vector<std::string> nodes;
    uint32_t options = 0;
    while (xmp_iterator_next(it, ns.get(), path.get(), value.get(), &options))
        nodes.push_back(ns.str() + '\x1f' + path.str() + '\x1f' + value.str() + '\x1f' +
                        std::to_string(options));
    xmp_iterator_free(it);
    std::sort(nodes.begin(), nodes.end());
    std::string all;
    for (const std::string& n : nodes)
        all += n + '\x1e';
    return all;
}

// Whether two packets hold the same properties. Most often the one read back was parsed from
// a serialization of the other and serializes alike, which is quickly seen; otherwise (a
// handler that stored schemas or properties in another order) their canonical forms decide.
bool SameProperties(XmpPtr read, XmpPtr meant) {
    auto compact = [](XmpPtr xmp) {
        XmpText t;
        if (!t.get() || !xmp_serialize(xmp, t.get(), XMP_SERIAL_OMITPACKETWRAPPER | XMP_SERIAL_OMITALLFORMATTING, 0))
            return std::string();
        return t.str();
    };
    const std::string a = compact(read);
    if (!a.empty() && a == compact(meant)) return true;
    const std::string want = Canonical(meant);
    return !want.empty() && Canonical(read) == want;
}

// Whether the written file reads back, through the toolkit's own handler (and for PNG a walk
// over every chunk's length and CRC), as the packet that was meant: only then does it replace
// the original.
bool ReadsBack(const fs::path& written, XmpFileType format, XmpPtr meant) {
    std::string bytes;
    if (format == XMP_FT_PNG && (!ReadBytes(written, &bytes) || !PngFile::Check(bytes))) return false;
    // The packet as the handler finds it stored, not its reconciliation with native values.
    OpenFile f(written, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
    Probe probe;
    Packet back;
    if (!f || !ProbeOpen(f, &probe) || !probe.hasPacket || !back.get() || !ParseInto(probe.raw, back))
        return false;
    if (format == XMP_FT_JPEG && probe.extended) {
        // The standard packet names the extended one, which the segments hold whole.
        XmpText guid;
        std::string extended;
        Packet whole;
        if (!guid.get() ||
            !xmp_get_property(back.get(), "http://ns.adobe.com/xmp/note/", "HasExtendedXMP", guid.get(),
                              nullptr) ||
            (bytes.empty() && !ReadBytes(written, &bytes)) ||
            !JpegFile::ExtendedPacket(bytes, guid.str(), &extended) || !ParseInto(extended, whole))
            return false;
        return SameProperties(whole.get(), meant);
    }
    return SameProperties(back.get(), meant);
}

// A file named .xmp whose content is an XMP packet: a sidecar given by its own name.
bool IsPacketFile(const fs::path& real) {
    std::string ext = real.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext != ".xmp") return false;
    std::string bytes;
    Packet check;
    return ReadBytes(real, &bytes) && ParseInto(bytes, check);
}

// The schemas that hold properties in the packet.
std::set<std::string> Schemas(XmpPtr xmp) {
    std::set<std::string> schemas;
    XmpIteratorPtr it = xmp_iterator_new(xmp, nullptr, nullptr, XMP_ITER_JUSTCHILDREN);
    if (!it) return schemas;
    XmpText schema, path, value;
    uint32_t options = 0;
    while (xmp_iterator_next(it, schema.get(), path.get(), value.get(), &options))
        schemas.insert(schema.str());
    xmp_iterator_free(it);
    return schemas;
}

// A sidecar beside a file that now holds the packet is removed when it is one this program
// made: a bare packet (as written here) holding no schema that the file's packet lacks.
bool StaleSidecar(const fs::path& side, XmpPtr written) {
    std::string bytes;
    Packet old;
    if (!FileUtils::IsRegularFile(IDFile(side)) || !ReadBytes(side, &bytes) ||
        bytes.find("<?xpacket") != std::string::npos || !ParseInto(bytes, old))
        return false;
    const std::set<std::string> inFile = Schemas(written), inSidecar = Schemas(old.get());
    if (inSidecar.empty()) return false;
    for (const std::string& s : inSidecar)
        if (!inFile.count(s)) return false;
    return true;
}

bool RemoveStaleSidecar(const fs::path& side, XmpPtr written) {
    return StaleSidecar(side, written) && ::unlink(side.c_str()) == 0;
}

// RemoveStaleSidecar once the file's new content is in place. A removal that waits for a
// group's commit is said on standard error when it happens.
void RemoveSidecarAfterCommit(const fs::path& side, const fs::path& given, XmpPtr written, std::string* note) {
    const std::string said =
        "removed the sidecar " + side.string() + ": the metadata of " + given.string() + " is kept in the file";
    FileReplace::Group* group = FileReplace::Group::Current();
    if (!group || group->Waiting() == 0) {
        if (RemoveStaleSidecar(side, written) && note) *note = said;
        return;
    }
    // The packet is judged now, while it is at hand; the sidecar is removed after the commit.
    if (!StaleSidecar(side, written)) return;
    FileReplace::AfterCommit([side, said] {
        if (::unlink(side.c_str()) == 0) std::fprintf(stderr, "note: %s\n", said.c_str());
    });
}

// The format a file's name promises, for the names of formats that hold their packet in
// the file; XMP_FT_UNKNOWN for any other name.
XmpFileType PromisedFormat(const fs::path& p) {
    std::string ext = p.extension().string();
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".jpg" || ext == ".jpeg") return XMP_FT_JPEG;
    if (ext == ".tif" || ext == ".tiff") return XMP_FT_TIFF;
    if (ext == ".psd" || ext == ".psb") return XMP_FT_PHOTOSHOP;
    if (ext == ".png") return XMP_FT_PNG;
    if (ext == ".gif") return XMP_FT_GIF;
    return XMP_FT_UNKNOWN;
}

// Layout packages and story files keep their packet in an entry or element of their own,
// read structurally: never by scanning, which finds a placed image's packet.
enum class Structured { kNone, kPackage, kStory };

Structured StructuredFormat(const fs::path& real) {
    if (StoryFile::IsStoryFileName(real)) return Structured::kStory;
    return IdmlPackage::IsPackage(real) ? Structured::kPackage : Structured::kNone;
}

Result ReadStructured(Structured kind, const fs::path& real, std::string* text, std::string* why) {
    bool has = false;
    if (kind == Structured::kPackage) {
        if (!IdmlPackage::ReadPacket(real, &has, text, why)) return Result::kCannotRead;
    } else {
        StoryXml::Story story;
        if (!StoryFile::Read(real, &story, nullptr)) return Result::kCannotRead;
        has = story.hasPacket;
        *text = std::move(story.packet);
    }
    if (!has) return Result::kNoPacket;
    return XMPPacketLimits::Check(*text) ? Result::kOK : Result::kCannotRead;
}

// A sidecar the old behaviour made beside a PDF: a bare packet that started from the PDF's own
// (so it holds each of its schemas). Only such a sidecar is read in the PDF's place.
bool OurPdfSidecar(const fs::path& side, const std::string& pdfPacket, std::string* text) {
    std::string bytes;
    Packet mine, inFile;
    if (!FileUtils::IsRegularFile(IDFile(side)) || !ReadBytes(side, &bytes) ||
        bytes.find("<?xpacket") != std::string::npos || !ParseInto(bytes, mine))
        return false;
    if (!pdfPacket.empty()) {
        if (!ParseInto(pdfPacket, inFile)) return false;
        const std::set<std::string> have = Schemas(mine.get());
        for (const std::string& s : Schemas(inFile.get()))
            if (!have.count(s)) return false;
    }
    *text = std::move(bytes);
    return true;
}

Result ReadPdf(const Target& t, std::string* text, bool* fromSidecar, std::string* why) {
    std::string packet;
    const PdfFile::Status status = PdfFile::ReadPacket(t.real, &packet, why);
    if (status == PdfFile::Status::kRefused) return Result::kCannotRead;
    if (OurPdfSidecar(SidecarOf(t.given), packet, text)) {
        *fromSidecar = true;
        return Result::kOK;
    }
    if (status == PdfFile::Status::kNone) return Result::kNoPacket;
    if (!XMPPacketLimits::Check(packet)) {
        if (why) *why = "the PDF's metadata stream is not an XMP packet within the limits";
        return Result::kCannotRead;
    }
    *text = std::move(packet);
    return Result::kOK;
}

constexpr off_t kPdfWholeReadBack = 16 * 1024 * 1024;

// The packet goes into the PDF as an incremental update, on a copy that must read back
// through its newest catalog before it takes the file's place.
Result WritePdf(const Target& t, XmpPtr xmp, std::string* note) {
    auto fail = [&](const std::string& why) {
        if (note) *note = why;
        return Result::kCannotWrite;
    };
    if (!Writable(t.real, t.st)) return fail("the file is read-only");
    std::string why;
    PdfFile::Revision revision;
    const PdfFile::Status status = PdfFile::Prepare(t.real, &revision, &why);
    const std::string& old = revision.packet;
    if (status == PdfFile::Status::kRefused) return fail(why + "; the file is left unchanged");
    // Only a sidecar that reads in the PDF's place is ours to remove.
    const fs::path side = SidecarOf(t.given);
    std::string sideText;
    const bool ourSidecar =
        OurPdfSidecar(side, status == PdfFile::Status::kPacket ? old : std::string(), &sideText);
    Packet current;
    const bool same = status == PdfFile::Status::kPacket && ParseInto(old, current) &&
                      SameProperties(current.get(), xmp);
    if (!same) {
        XmpText text;
        if (!text.get() || !xmp_serialize(xmp, text.get(), XMP_SERIAL_USECOMPACTFORMAT, 2048))
            return fail("the packet cannot be serialized");
        std::string bytes = text.str();
        XMPToolkitName::Keep(&bytes, old, false);
        Temp temp;
        if (!CopyToTemp(t.real, &temp)) return fail("the file cannot be copied");
        if (!PdfFile::Append(temp.Path(), revision, bytes, &why)) return fail(why);
        // Append has read its own bytes back. A file of ordinary size is also opened whole
        // through its new catalog; a large one is not parsed a second time for it (reading
        // its cross-reference sections costs far more than the copy).
        Packet check;
        std::string back = bytes;
        const bool whole = t.st.st_size <= kPdfWholeReadBack;
        if ((whole && PdfFile::ReadPacket(temp.Path(), &back, &why) != PdfFile::Status::kPacket) ||
            !ParseInto(back, check) || !SameProperties(check.get(), xmp))
            return fail("the updated PDF does not read back as the packet written");
        if (!temp.Commit(t.real)) return fail("the file cannot be replaced");
    }
    if (ourSidecar) RemoveSidecarAfterCommit(side, t.given, xmp, note);
    return Result::kOK;
}

// Whether plain JPEGs are written by a copy of their bytes (see WritePlainJpeg).
std::atomic<bool> gPlainJpegWrites{true};
std::atomic<size_t> gPlainJpegWriteCount{0};

// Larger JPEGs are left to the toolkit's way, which copies the file without holding it.
constexpr off_t kPlainJpegMaxBytes = 64 * 1024 * 1024;

// The whole file, read through one descriptor.
bool ReadWhole(const fs::path& p, std::string* bytes) {
    const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (ok) {
        bytes->resize(static_cast<size_t>(st.st_size));
        size_t have = 0;
        for (;;) {
            if (have == bytes->size()) bytes->resize(have + 4096); // the file grew meanwhile
            const ssize_t n = ::read(fd, bytes->data() + have, bytes->size() - have);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ok = false;
            if (n <= 0) break;
            have += static_cast<size_t>(n);
        }
        bytes->resize(have);
    }
    return ::close(fd) == 0 && ok;
}

// A packet in its wrapper, from "<?xpacket begin" to the trailer's "?>", which fills its segment:
// the space a new packet of the same length may take (the toolkit's handler takes it whatever
// the trailer says, the segment being the packet's alone).
bool Wrapped(const std::string& packet) {
    return packet.rfind("<?xpacket begin", 0) == 0 && packet.size() >= 2 &&
           packet.compare(packet.size() - 2, 2, "?>") == 0 && packet.find("<?xpacket end=") != std::string::npos;
}

// SerializeToFit with one serialization: the toolkit pads a packet without formatting with
// spaces only, between "</x:xmpmeta>" and the trailer, so the tight text padded out to the
// length is the text the toolkit would give for it. False when the packet does not fit, or
// the tight text is not laid out so (then SerializeToFit decides).
bool PadToFit(XmpPtr xmp, int32 length, std::string* bytes, bool* laidOut) {
    *laidOut = false;
    XmpText tight;
    if (!tight.get() ||
        !xmp_serialize(xmp, tight.get(), XMP_SERIAL_USECOMPACTFORMAT | XMP_SERIAL_OMITALLFORMATTING, 1))
        return false;
    std::string text = tight.str();
    const size_t meta = text.rfind("</x:xmpmeta>"), trailer = text.rfind("<?xpacket end=");
    if (meta == std::string::npos || trailer == std::string::npos || trailer < meta + 12 ||
        text.find_first_not_of(' ', meta + 12) != trailer)
        return false;
    *laidOut = true;
    if (text.size() > static_cast<size_t>(length)) return false;
    text.insert(trailer, static_cast<size_t>(length) - text.size(), ' ');
    *bytes = std::move(text);
    return true;
}

enum class Plain { kDone, kNotPlain, kFailed };

// A JPEG laid out plainly (JpegFile::ReadPlainLayout) whose packet its reader takes as stored
// gets the new packet by a copy of every other byte: in the old packet's space when the new one
// fits it (the file keeps its size), else in a new standard segment where the old one was. The
// new file is read back and must be the original with only the packet replaced, segment by
// segment, the packet byte for byte as serialized. kNotPlain (before anything is written) for
// every other file: extended XMP, a packet the reader leaves to the handler, a layout the
// toolkit's handler should judge.
Plain WritePlainJpeg(const Target& t, XmpPtr xmp, std::string* note) {
    if (!gPlainJpegWrites || !IsJpegName(t.real) || t.st.st_size > kPlainJpegMaxBytes) return Plain::kNotPlain;
    std::string in;
    JpegFile::PlainLayout layout;
    if (!ReadWhole(t.real, &in) || !JpegFile::ReadPlainLayout(in, &layout)) return Plain::kNotPlain;
    std::string old;
    if (layout.xmpStart != std::string::npos) {
        old = in.substr(layout.packetStart, layout.xmpEnd - layout.packetStart);
        if (old.empty() || old.find('\0') != std::string::npos || old.front() != '<' ||
            old.find(kExtendedMarker) != std::string::npos)
            return Plain::kNotPlain;
    }
    if (!Writable(t.real, t.st)) return Plain::kFailed;
    std::string packet, out;
    bool laidOut = false;
    const bool fits = !old.empty() && Wrapped(old) &&
                      (PadToFit(xmp, static_cast<int32>(old.size()), &packet, &laidOut) ||
                       (!laidOut && SerializeToFit(xmp, static_cast<int32>(old.size()), &packet)));
    if (fits) {
        XMPToolkitName::Keep(&packet, old, true);
        out = in;
        out.replace(layout.packetStart, old.size(), packet);
    } else {
        std::string extended;
        if (!JpegFile::Serialize(xmp, &packet, &extended)) return Plain::kFailed;
        // Extended XMP is written and read back the toolkit's way.
        if (!extended.empty()) return Plain::kNotPlain;
        XMPToolkitName::Keep(&packet, old, false);
        if (!JpegFile::SetPacket(in, packet, extended, &out)) return Plain::kFailed;
    }
    // A packet naming an extended part would be read through the handler.
    if (packet.find(kExtendedMarker) != std::string::npos) return Plain::kNotPlain;
    Temp temp;
    std::string back;
    if (!FileReplace::WriteTemp(t.real, out, temp.Out()) || !ReadWhole(temp.Path(), &back) || back != out ||
        !JpegFile::IsOriginalWithPacket(in, back, packet) || !temp.Commit(t.real))
        return Plain::kFailed;
    // The file holds the packet now: a sidecar made for it earlier has nothing more to say.
    RemoveSidecarAfterCommit(SidecarOf(t.given), t.given, xmp, note);
    ++gPlainJpegWriteCount;
    return Plain::kDone;
}

// The file to be written, absolute and resolved, once what waits for it in a group is in place.
bool PrepareWrite(const IDFile& file, Target* t) {
    if (!Locate(file, t)) return false;
    FileReplace::BeforeWriting(t->real);
    // An empty file is no document of any format: one emptied since it was read is not
    // given a sidecar in its place.
    return t->st.st_size != 0;
}

Result WriteParsed(const Target& t, XmpPtr xmp, const std::string& rdf, std::string* note);

} // namespace

IDFile SidecarFile(const IDFile& file) {
    std::error_code ec;
    fs::path abs = fs::absolute(file.Path(), ec);
    return IDFile(SidecarOf(ec ? file.Path() : abs));
}

Result Read(const IDFile& file, std::string* rdf, bool* sidecar) {
    return Read(file, rdf, sidecar, nullptr);
}

Result Read(const IDFile& file, std::string* rdf, bool* sidecar, std::string* why) {
    if (why) why->clear();
    std::string text;
    bool fromSidecar = false;
    auto finish = [&](Result r) {
        if (rdf) *rdf = r == Result::kOK ? std::move(text) : std::string();
        if (sidecar) *sidecar = fromSidecar;
        return r;
    };
    Target t;
    if (!Locate(file, &t) || !XMPPacketAccess::InitToolkit()) return finish(Result::kCannotRead);
    if (const Structured kind = StructuredFormat(t.real); kind != Structured::kNone)
        return finish(ReadStructured(kind, t.real, &text, why));
    if (IsPacketFile(t.real)) {
        fromSidecar = true;
        return finish(ReadSidecar(t.real, &text));
    }
    if (PdfFile::IsPdf(t.real)) return finish(ReadPdf(t, &text, &fromSidecar, why));
    // JPEG keeps its packet in the file, never in a sidecar.
    if (IsJpegName(t.real)) {
        switch (ReadJpegPacket(t.real, &text)) {
        case Jpeg::kPacket:
            return finish(Result::kOK);
        case Jpeg::kNone:
            return finish(Result::kNoPacket);
        case Jpeg::kRefused:
            return finish(Result::kCannotRead);
        case Jpeg::kAskHandler:
            break;
        }
    } else if (!SafeForHandler(t.real)) {
        return finish(Result::kCannotRead);
    }
    OpenFile f(t.real, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
    Probe probe;
    if (!f || !ProbeOpen(f, &probe)) return finish(Result::kCannotRead);
    if (!AlwaysInFile(probe)) {
        fs::path side = SidecarOf(t.given);
        if (FileUtils::IsRegularFile(IDFile(side))) {
            fromSidecar = true;
            return finish(ReadSidecar(side, &text));
        }
    }
    if (!probe.hasPacket) {
        fromSidecar = !AlwaysInFile(probe);
        return finish(Result::kNoPacket);
    }
    // The packet as stored, not the handler's reading of it: for JPEG that reading drops
    // properties the toolkit thinks redundant, and a later save would lose them. Extended
    // JPEG packets and packets not in UTF-8 go through the handler.
    if (!XMPPacketLimits::Check(probe.raw)) return finish(Result::kCannotRead);
    if (!probe.extended && probe.charForm == 0) {
        text = std::move(probe.raw);
        return finish(Result::kOK);
    }
    Packet whole;
    XmpText out;
    if (!whole.get() || !out.get() || !xmp_files_get_xmp(f.get(), whole.get()) ||
        !xmp_serialize(whole.get(), out.get(), XMP_SERIAL_ENCODEUTF8, 0))
        return finish(Result::kCannotRead);
    text = out.str();
    return finish(Result::kOK);
}

Result Write(const IDFile& file, const std::string& rdf) {
    return Write(file, rdf, nullptr);
}

Result Write(const IDFile& file, const std::string& rdf, std::string* note) {
    if (note) note->clear();
    if (!XMPPacketAccess::InitToolkit()) return Result::kCannotWrite;
    Packet packet;
    if (!ParseInto(rdf, packet)) return Result::kCannotWrite;
    Target t;
    if (!PrepareWrite(file, &t)) return Result::kCannotWrite;
    if (const Plain p = WritePlainJpeg(t, packet.get(), note); p != Plain::kNotPlain)
        return p == Plain::kDone ? Result::kOK : Result::kCannotWrite;
    return WriteParsed(t, packet.get(), rdf, note);
}

Result Write(const IDFile& file, IXMPPacketAccess* packet, std::string* note) {
    if (note) note->clear();
    if (!packet || !XMPPacketAccess::InitToolkit()) return Result::kCannotWrite;
    Target t;
    if (XmpPtr tree = HostXMPPacketAccess::TreeOf(packet)) {
        if (!PrepareWrite(file, &t)) return Result::kCannotWrite;
        if (const Plain p = WritePlainJpeg(t, tree, note); p != Plain::kNotPlain)
            return p == Plain::kDone ? Result::kOK : Result::kCannotWrite;
    }
    // Any other file takes the packet as its text, as the text's writer above does.
    const std::string rdf = packet->SerializePacket();
    Packet parsed;
    if (!ParseInto(rdf, parsed)) return Result::kCannotWrite;
    if (t.real.empty() && !PrepareWrite(file, &t)) return Result::kCannotWrite;
    return WriteParsed(t, parsed.get(), rdf, note);
}

namespace {

Result WriteParsed(const Target& t, XmpPtr xmp, const std::string& rdf, std::string* note) {
    if (const Structured kind = StructuredFormat(t.real); kind != Structured::kNone) {
        if (!Writable(t.real, t.st)) return Result::kCannotWrite;
        const bool ok = kind == Structured::kStory
                            ? StoryFile::WritePacket(t.real, rdf, nullptr)
                            : IdmlPackage::Write(t.real, {true, rdf, {}}, nullptr);
        return ok ? Result::kOK : Result::kCannotWrite;
    }
    if (IsPacketFile(t.real)) return WriteSidecar(t.real, xmp);
    if (PdfFile::IsPdf(t.real)) return WritePdf(t, xmp, note);
    const fs::path side = SidecarOf(t.given);
    // A new sidecar is announced: it is a file the user did not have before.
    auto toSidecar = [&]() {
        const bool existed = FileUtils::IsRegularFile(IDFile(side)) || fs::is_symlink(side);
        const Result r = WriteSidecar(side, xmp);
        if (r == Result::kOK && !existed && note)
            *note = "the metadata of " + t.given.string() + " is kept in the new sidecar " + side.string() +
                    " (the file cannot hold an XMP packet)";
        return r;
    };
    if (!SafeForHandler(t.real)) return Result::kCannotWrite;
    Probe probe;
    {
        OpenFile f(t.real, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
        if (!f || !ProbeOpen(f, &probe)) return Result::kCannotWrite;
    }
    // A file named as a photo whose content is none (replaced by another program since it was
    // read, say) is an error, not a reason for a sidecar.
    const XmpFileType promised = PromisedFormat(t.given);
    if (promised != XMP_FT_UNKNOWN && promised != probe.format) return Result::kCannotWrite;
    const bool inFile = AlwaysInFile(probe);
    const bool scanned = probe.format == XMP_FT_UNKNOWN;
    if (!inFile && FileUtils::IsRegularFile(IDFile(side))) return toSidecar();

    // In place when the packet fits: every other byte stays. Not for formats with checksums
    // over their chunks (PNG).
    std::string exact;
    const bool inPlace = Rewritable(probe) && (PhotoFormat(probe.format) || scanned) &&
                         SerializeToFit(xmp, probe.length, &exact);
    if (inPlace) XMPToolkitName::Keep(&exact, probe.raw, true);
    if (!inFile && !inPlace && (scanned || !probe.hasPacket)) return toSidecar();

    if (!Writable(t.real, t.st)) return Result::kCannotWrite;
    const Direct direct = DirectFormat(probe.format);
    Temp temp;
    Update u = Update::kDoesNotFit;
    if (inPlace) {
        if (!CopyToTemp(t.real, &temp)) return Result::kCannotWrite;
        u = RewriteAt(temp.Path(), probe.offset, exact);
    }
    if (u == Update::kDoesNotFit && direct != Direct::kNone) {
        std::string in, out;
        if (!ReadBytes(t.real, &in) || !WriteDirect(direct, in, xmp, probe.raw, &out))
            return Result::kCannotWrite;
        Temp fresh;
        if (!FileReplace::WriteTemp(t.real, out, fresh.Out())) return Result::kCannotWrite;
        std::swap(*temp.Out(), *fresh.Out());
        u = Update::kDone;
    } else if (u == Update::kDoesNotFit && !scanned) {
        if (!temp && !CopyToTemp(t.real, &temp)) return Result::kCannotWrite;
        u = UpdateWithHandler(temp.Path(), xmp);
        if (u == Update::kDone && !RestoreToolkitName(temp.Path(), probe.raw)) u = Update::kFailed;
    }
    if (u == Update::kDone) {
        if (!ReadsBack(temp.Path(), probe.format, xmp) || !temp.Commit(t.real))
            return Result::kCannotWrite;
        // The file holds the packet now: a sidecar made for it earlier has nothing more to say
        // (once the new file is in place, when a group commits it later).
        if (inFile) RemoveSidecarAfterCommit(side, t.given, xmp, note);
        return Result::kOK;
    }
    if (u == Update::kDoesNotFit && !inFile) return toSidecar();
    return Result::kCannotWrite;
}

} // namespace

void SetPlainJpegWrites(bool on) {
    gPlainJpegWrites = on;
}

size_t PlainJpegWriteCount() {
    return gPlainJpegWriteCount;
}

bool UsesSidecar(const IDFile& file) {
    Target t;
    if (!Locate(file, &t) || !XMPPacketAccess::InitToolkit() || PdfFile::IsPdf(t.real)) return false;
    if (StructuredFormat(t.real) != Structured::kNone || !SafeForHandler(t.real)) return false;
    OpenFile f(t.real, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
    Probe probe;
    if (!f || !ProbeOpen(f, &probe) || AlwaysInFile(probe)) return false;
    if (FileUtils::IsRegularFile(IDFile(SidecarOf(t.given)))) return true;
    return probe.format == XMP_FT_UNKNOWN ? !Rewritable(probe) : !probe.hasPacket;
}

} // namespace XMPFiles
