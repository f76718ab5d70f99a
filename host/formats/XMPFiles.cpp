#include "formats/XMPFiles.h"
#include "xmp/XmpText.h"

#include "io/FileUtils.h"
#include "xmp/XMPPacketAccess.h"

#include <exempi/xmp.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <string_view>
#include <sys/stat.h>
#include <system_error>
#include <type_traits>
#include <unistd.h>

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

// Formats whose handler, when it rewrites the file, also applies the toolkit's photo rules
// to Exif, TIFF and Photoshop data; an in-place packet rewrite leaves those alone.
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

bool IsRegularFile(const fs::path& p) {
    std::error_code ec;
    return fs::is_regular_file(p, ec);
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
    if (!packet.get() || rdf.find(kRDFNamespace) == std::string::npos) return false;
    return xmp_parse(packet.get(), rdf.data(), rdf.size());
}

Result ReadSidecar(const fs::path& sidecar, std::string* rdf) {
    std::string bytes;
    Packet check;
    if (!ReadBytes(sidecar, &bytes) || !ParseInto(bytes, check)) return Result::kCannotRead;
    *rdf = std::move(bytes);
    return Result::kOK;
}

// A copy of the file beside it, updated and then renamed over the file, so that the file is
// either the old one or the whole new one. exempi's own safe update does not keep the
// file's permissions, and some handlers swap files in several renames.
class TempCopy {
public:
    explicit TempCopy(const Target& target) : fTarget(target) {
        std::string ext = target.real.extension().string();
        // The extension stays, since exempi picks some handlers by it.
        std::string tmpl = (target.real.parent_path() / (".brindle-tmp-XXXXXX" + ext)).string();
        int fd = ::mkstemps(tmpl.data(), static_cast<int>(ext.size()));
        if (fd < 0) return;
        ::close(fd);
        fPath = tmpl;
        std::error_code ec;
        if (!fs::copy_file(target.real, fPath, fs::copy_options::overwrite_existing, ec) || ec ||
            ::chmod(fPath.c_str(), S_IRUSR | S_IWUSR) != 0) {
            Discard();
            return;
        }
        fOK = true;
    }
    ~TempCopy() { Discard(); }
    TempCopy(const TempCopy&) = delete;
    TempCopy& operator=(const TempCopy&) = delete;
    explicit operator bool() const { return fOK; }
    const fs::path& Path() const { return fPath; }

    bool Commit() {
        if (!fOK) return false;
        ::chmod(fPath.c_str(), fTarget.st.st_mode & 07777);
        // Only possible for a privileged process; otherwise the file was ours anyway.
        int owned = ::chown(fPath.c_str(), fTarget.st.st_uid, fTarget.st.st_gid);
        (void)owned;
        int fd = ::open(fPath.c_str(), O_RDONLY);
        if (fd < 0) return false;
        bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!synced || ::rename(fPath.c_str(), fTarget.real.c_str()) != 0) return false;
        fPath.clear();
        return true;
    }

private:
    void Discard() {
        if (!fPath.empty()) ::unlink(fPath.c_str());
        fPath.clear();
        fOK = false;
    }
    const Target& fTarget;
    fs::path fPath;
    bool fOK = false;
};

// A JPEG's main packet read straight from its header segments: the toolkit's handler opens
// and scans far more of the file to give the same bytes.
enum class Jpeg { kPacket, kNone, kAskHandler };

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
// UTF-8.
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
    bool found = false;
    size_t pos = 2;
    if (have(4) && byte(0) == 0xFF && byte(1) == 0xD8) {
        for (;;) {
            if (!have(pos + 4) || byte(pos) != 0xFF) break;
            const unsigned char marker = byte(pos + 1);
            if (marker == 0xDA || marker == 0xD9) { // image data, or the end: no more metadata
                result = found ? Jpeg::kPacket : Jpeg::kNone;
                break;
            }
            // Fill bytes, restart markers and TEM carry no length.
            if (marker == 0xFF || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) break;
            const size_t length = (static_cast<size_t>(byte(pos + 2)) << 8) | byte(pos + 3);
            if (length < 2 || !have(pos + 2 + length)) break;
            const std::string_view payload(head.data() + pos + 4, length - 2);
            if (marker == 0xE1 && payload.substr(0, kExtendedSignature.size()) == kExtendedSignature) break;
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

Result WriteSidecar(const fs::path& sidecar, XmpPtr xmp) {
    if (!WritableOrMissing(sidecar)) return Result::kCannotWrite;
    XmpText out;
    // A sidecar is a bare packet: no wrapper, no padding.
    if (!out.get() || !xmp_serialize(xmp, out.get(), XMP_SERIAL_OMITPACKETWRAPPER, 0))
        return Result::kCannotWrite;
    return FileUtils::WriteFileAtomically(IDFile(sidecar), out.str()) ? Result::kOK : Result::kCannotWrite;
}

} // namespace

IDFile SidecarFile(const IDFile& file) {
    std::error_code ec;
    fs::path abs = fs::absolute(file.Path(), ec);
    return IDFile(SidecarOf(ec ? file.Path() : abs));
}

Result Read(const IDFile& file, std::string* rdf, bool* sidecar) {
    std::string text;
    bool fromSidecar = false;
    auto finish = [&](Result r) {
        if (rdf) *rdf = r == Result::kOK ? std::move(text) : std::string();
        if (sidecar) *sidecar = fromSidecar;
        return r;
    };
    Target t;
    if (!Locate(file, &t) || !XMPPacketAccess::InitToolkit()) return finish(Result::kCannotRead);
    // JPEG keeps its packet in the file, never in a sidecar.
    if (IsJpegName(t.real)) {
        switch (ReadJpegPacket(t.real, &text)) {
        case Jpeg::kPacket:
            return finish(Result::kOK);
        case Jpeg::kNone:
            return finish(Result::kNoPacket);
        case Jpeg::kAskHandler:
            break;
        }
    }
    OpenFile f(t.real, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
    Probe probe;
    if (!f || !ProbeOpen(f, &probe)) return finish(Result::kCannotRead);
    if (!AlwaysInFile(probe)) {
        fs::path side = SidecarOf(t.given);
        if (IsRegularFile(side)) {
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
    if (!XMPPacketAccess::InitToolkit()) return Result::kCannotWrite;
    Packet packet;
    if (!ParseInto(rdf, packet)) return Result::kCannotWrite;
    Target t;
    if (!Locate(file, &t)) return Result::kCannotWrite;
    Probe probe;
    {
        OpenFile f(t.real, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
        if (!f || !ProbeOpen(f, &probe)) return Result::kCannotWrite;
    }
    const fs::path side = SidecarOf(t.given);
    const bool inFile = AlwaysInFile(probe);
    const bool scanned = probe.format == XMP_FT_UNKNOWN;
    if (!inFile && IsRegularFile(side)) return WriteSidecar(side, packet.get());

    // In place when the packet fits: for the photo formats this also keeps the handler's
    // photo rules away from the rest of the file. Not for formats with checksums over their
    // chunks (PNG), which only the handler can update.
    std::string exact;
    const bool inPlace = Rewritable(probe) && (PhotoFormat(probe.format) || scanned) &&
                         SerializeToFit(packet.get(), probe.length, &exact);
    if (!inFile && !inPlace && (scanned || !probe.hasPacket)) return WriteSidecar(side, packet.get());

    if (!Writable(t.real, t.st)) return Result::kCannotWrite;
    TempCopy copy(t);
    if (!copy) return Result::kCannotWrite;
    Update u = inPlace ? RewriteAt(copy.Path(), probe.offset, exact) : Update::kDoesNotFit;
    if (u == Update::kDoesNotFit && !scanned) u = UpdateWithHandler(copy.Path(), packet.get());
    if (u == Update::kDone) return copy.Commit() ? Result::kOK : Result::kCannotWrite;
    if (u == Update::kDoesNotFit && !inFile) return WriteSidecar(side, packet.get());
    return Result::kCannotWrite;
}

bool UsesSidecar(const IDFile& file) {
    Target t;
    if (!Locate(file, &t) || !XMPPacketAccess::InitToolkit()) return false;
    OpenFile f(t.real, XMP_OPEN_READ | XMP_OPEN_ONLYXMP);
    Probe probe;
    if (!f || !ProbeOpen(f, &probe) || AlwaysInFile(probe)) return false;
    if (IsRegularFile(SidecarOf(t.given))) return true;
    return probe.format == XMP_FT_UNKNOWN ? !Rewritable(probe) : !probe.hasPacket;
}

} // namespace XMPFiles
