#include "formats/PdfFile.h"

#include "io/FileStamp.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <cctype>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>


namespace fs = std::filesystem;

namespace PdfFile {

namespace {

// The file as qpdf reads it: no repair (a repaired cross-reference is a guess, and an update
// appended to a guess chains to nothing), warnings kept for the caller rather than printed.
class Opened {
public:
    bool Open(const fs::path& file, std::string* reason) {
        try {
            fPdf = std::make_unique<QPDF>();
            fPdf->setSuppressWarnings(true);
            fPdf->setAttemptRecovery(false);
            fPdf->processFile(file.c_str());
            if (fPdf->isEncrypted()) return Refuse(reason, "the PDF is encrypted");
            fRoot = fPdf->getTrailer().getKey("/Root");
            if (!fRoot.isDictionary() || !fRoot.isIndirect())
                return Refuse(reason, "the PDF's trailer names no catalog");
            QPDFObjectHandle metadata = fRoot.getKey("/Metadata");
            if (metadata.isStream()) {
                auto data = metadata.getStreamData(qpdf_dl_all);
                fPacket.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
                fHasPacket = true;
            }
            if (fPdf->anyWarnings()) {
                const auto warnings = fPdf->getWarnings();
                return Refuse(reason,
                              "the PDF is damaged (" +
                                  (warnings.empty() ? std::string("qpdf warns") : warnings.front().what()) +
                                  ")");
            }
            return true;
        } catch (const QPDFExc& e) {
            // A file encrypted with a user password does not open at all.
            if (e.getErrorCode() == qpdf_e_password) return Refuse(reason, "the PDF is encrypted");
            return Refuse(reason, std::string("the PDF cannot be read without repair (") + e.what() + ")");
        } catch (const std::exception& e) {
            return Refuse(reason, std::string("the PDF cannot be read (") + e.what() + ")");
        }
    }
    QPDF& Pdf() { return *fPdf; }
    QPDFObjectHandle& Root() { return fRoot; }
    bool HasPacket() const { return fHasPacket; }
    std::string& Packet() { return fPacket; }

private:
    static bool Refuse(std::string* reason, const std::string& why) {
        if (reason) *reason = why;
        return false;
    }
    std::unique_ptr<QPDF> fPdf;
    QPDFObjectHandle fRoot;
    std::string fPacket;
    bool fHasPacket = false;
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

// The offset the file's last startxref names, and whether a classic table sits there
// (otherwise a cross-reference stream). qpdf has followed the same pointer already.
bool LastSection(const fs::path& file, uint64_t* offset, bool* classic, char* lastByte) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    const auto size = static_cast<uint64_t>(in.tellg());
    if (size == 0) return false;
    const uint64_t tail = std::min<uint64_t>(size, 2048);
    std::string end(tail, '\0');
    in.seekg(static_cast<std::streamoff>(size - tail));
    if (!in.read(end.data(), static_cast<std::streamsize>(tail))) return false;
    *lastByte = end.back();
    const size_t at = end.rfind("startxref");
    if (at == std::string::npos) return false;
    size_t p = at + 9;
    while (p < end.size() && IsSpace(end[p]))
        ++p;
    uint64_t value = 0;
    size_t digits = 0;
    for (; p < end.size() && std::isdigit(static_cast<unsigned char>(end[p])); ++p, ++digits)
        value = value * 10 + static_cast<uint64_t>(end[p] - '0');
    if (digits == 0 || digits > 19 || value >= size) return false;
    std::string head(64, '\0');
    in.seekg(static_cast<std::streamoff>(value));
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<size_t>(in.gcount()));
    size_t s = 0;
    while (s < head.size() && IsSpace(head[s]))
        ++s;
    *offset = value;
    *classic = head.compare(s, 4, "xref") == 0;
    return true;
}

std::string Number(uint64_t n) {
    return std::to_string(n);
}

void PutBig(std::string* out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        *out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

// What was read of a file, remembered so that the write which usually follows the read of a
// large PDF does not parse its cross-reference sections again. It is taken only while the
// file is the same one, untouched since (device, inode, size, modification and change times)
// and its last startxref still names the same section.
using Identity = FileUtils::FileStamp;

bool IdentityOf(const fs::path& file, Identity* id) {
    return FileUtils::StampOf(file, id) && id->regular;
}

class Memo {
public:
    static Memo& Get() {
        static Memo memo;
        return memo;
    }
    void Keep(const fs::path& file, const Identity& id, const Revision& r, Status status) {
        std::lock_guard<std::mutex> lock(fMutex);
        // A batch over thousands of PDFs reads each once: keep a handful, not all of them.
        if (fEntries.size() >= kMaxEntries) fEntries.clear();
        fEntries[file.string()] = Entry{id, r, status};
    }
    bool Find(const fs::path& file, const Identity& id, Revision* r, Status* status) {
        std::lock_guard<std::mutex> lock(fMutex);
        const auto it = fEntries.find(file.string());
        if (it == fEntries.end() || !(it->second.id == id)) return false;
        *r = it->second.revision;
        *status = it->second.status;
        return true;
    }
    void Forget(const fs::path& file) {
        std::lock_guard<std::mutex> lock(fMutex);
        fEntries.erase(file.string());
    }

private:
    static constexpr size_t kMaxEntries = 16;
    struct Entry {
        Identity id;
        Revision revision;
        Status status;
    };
    std::mutex fMutex;
    std::map<std::string, Entry> fEntries;
};

// Reads the file through qpdf for what an update needs (no memo).
Status ReadRevision(const fs::path& file, Revision* r, std::string* reason) {
    Opened pdf;
    if (!pdf.Open(file, reason)) return Status::kRefused;
    if (!LastSection(file, &r->prev, &r->classic, &r->lastByte)) {
        if (reason) *reason = "the PDF's startxref cannot be found";
        return Status::kRefused;
    }
    QPDFObjectHandle trailer = pdf.Pdf().getTrailer();
    QPDFObjectHandle sizeKey = trailer.getKey("/Size");
    if (!sizeKey.isInteger() || sizeKey.getIntValue() <= 0) {
        if (reason) *reason = "the PDF's trailer has no /Size";
        return Status::kRefused;
    }
    r->size = sizeKey.getIntValue();
    r->catalogNumber = pdf.Root().getObjectID();
    r->catalogGen = pdf.Root().getGeneration();
    QPDFObjectHandle copy = pdf.Root().shallowCopy();
    copy.removeKey("/Metadata");
    r->catalog = copy.unparse();
    r->root = pdf.Root().unparse();
    if (trailer.hasKey("/Info")) r->info = trailer.getKey("/Info").unparse();
    if (trailer.hasKey("/ID")) r->id = trailer.getKey("/ID").unparse();
    r->hasPacket = pdf.HasPacket();
    r->packet = std::move(pdf.Packet());
    return r->hasPacket ? Status::kPacket : Status::kNone;
}

} // namespace

Status Prepare(const fs::path& file, Revision* r, std::string* reason) {
    Identity before, after;
    const bool known = IdentityOf(file, &before);
    if (known) {
        Revision kept;
        Status status = Status::kNone;
        uint64_t prev = 0;
        bool classic = true;
        char lastByte = 0;
        if (Memo::Get().Find(file, before, &kept, &status) &&
            LastSection(file, &prev, &classic, &lastByte) && prev == kept.prev &&
            classic == kept.classic && lastByte == kept.lastByte) {
            *r = std::move(kept);
            return status;
        }
    }
    *r = Revision();
    const Status status = ReadRevision(file, r, reason);
    // Remembered only when the file did not change while it was read.
    if (status != Status::kRefused && known && IdentityOf(file, &after) && after == before)
        Memo::Get().Keep(file, before, *r, status);
    else
        Memo::Get().Forget(file);
    return status;
}

bool Append(const fs::path& file, const Revision& r, const std::string& packet, std::string* reason) {
    std::string catalog = r.catalog;
    const std::string &root = r.root, &info = r.info, &id = r.id;
    const uint64_t prev = r.prev;
    const bool classic = r.classic;
    const char lastByte = r.lastByte;
    const int catalogNumber = r.catalogNumber, catalogGen = r.catalogGen;
    const long long size = r.size;
    if (catalog.rfind("<<", 0) != 0 || size >= (1LL << 31) - 2) {
        if (reason) *reason = "the PDF's catalog cannot be revised";
        return false;
    }
    const uint64_t metadataNumber = static_cast<uint64_t>(size);
    catalog.insert(2, " /Metadata " + Number(metadataNumber) + " 0 R");

    std::ifstream probe(file, std::ios::binary | std::ios::ate);
    if (!probe) {
        if (reason) *reason = "the PDF cannot be opened";
        return false;
    }
    const auto start = static_cast<uint64_t>(probe.tellg());
    probe.close();

    std::string update;
    if (lastByte != '\n' && lastByte != '\r') update += '\n';
    const uint64_t metadataAt = start + update.size();
    update += Number(metadataNumber) + " 0 obj\n<< /Type /Metadata /Subtype /XML /Length " +
              Number(packet.size()) + " >>\nstream\n";
    update += packet;
    update += "\nendstream\nendobj\n";
    const uint64_t catalogAt = start + update.size();
    update += Number(static_cast<uint64_t>(catalogNumber)) + " " + Number(static_cast<uint64_t>(catalogGen)) +
              " obj\n" + catalog + "\nendobj\n";
    std::string trailerKeys = " /Root " + root;
    if (!info.empty()) trailerKeys += " /Info " + info;
    if (!id.empty()) trailerKeys += " /ID " + id;
    trailerKeys += " /Prev " + Number(prev);
    const uint64_t xrefAt = start + update.size();
    if (classic) {
        char entry[32];
        update += "xref\n" + Number(static_cast<uint64_t>(catalogNumber)) + " 1\n";
        std::snprintf(entry, sizeof entry, "%010" PRIu64 " %05d n \n", catalogAt, catalogGen);
        update += entry;
        update += Number(metadataNumber) + " 1\n";
        std::snprintf(entry, sizeof entry, "%010" PRIu64 " 00000 n \n", metadataAt);
        update += entry;
        update += "trailer\n<< /Size " + Number(metadataNumber + 1) + trailerKeys + " >>\n";
    } else {
        // The stream names itself too: it is object Size + 1.
        const uint64_t xrefNumber = metadataNumber + 1;
        std::string rows;
        auto row = [&](uint64_t at, int gen) {
            PutBig(&rows, 1, 1);
            PutBig(&rows, at, 8);
            PutBig(&rows, static_cast<uint64_t>(gen), 2);
        };
        row(catalogAt, catalogGen);
        row(metadataAt, 0);
        row(xrefAt, 0);
        update += Number(xrefNumber) + " 0 obj\n<< /Type /XRef /Size " + Number(xrefNumber + 1) +
                  " /Index [ " + Number(static_cast<uint64_t>(catalogNumber)) + " 1 " +
                  Number(metadataNumber) + " 2 ] /W [ 1 8 2 ]" + trailerKeys + " /Length " +
                  Number(rows.size()) + " >>\nstream\n" + rows + "\nendstream\nendobj\n";
    }
    update += "startxref\n" + Number(xrefAt) + "\n%%EOF\n";

    std::ofstream out(file, std::ios::binary | std::ios::app);
    out.write(update.data(), static_cast<std::streamsize>(update.size()));
    out.close();
    if (!out) {
        if (reason) *reason = "the update cannot be appended";
        return false;
    }
    // What is on disk now: the earlier bytes and then exactly the update.
    std::ifstream back(file, std::ios::binary | std::ios::ate);
    std::string tail(update.size(), '\0');
    if (!back || static_cast<uint64_t>(back.tellg()) != start + update.size() ||
        !back.seekg(static_cast<std::streamoff>(start)) ||
        !back.read(tail.data(), static_cast<std::streamsize>(tail.size())) || tail != update) {
        if (reason) *reason = "the appended update does not read back";
        return false;
    }
    return true;
}

} // namespace PdfFile
