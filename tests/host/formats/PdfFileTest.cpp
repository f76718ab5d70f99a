// PDFs keep their document packet in the newest catalog's /Metadata stream; writes are
// appended as incremental updates. Checked with qpdf --check and exiftool's full tag list.
#include "formats/PdfFile.h"
#include "TestSupport.h"
#include "formats/XMPFiles.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/XMPPacketAccess.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CaptureOutput;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using XMPFiles::Result;

namespace {

const WideString kNS("http://ns.example.test/brindle-test/1.0/");
const WideString kDC("http://purl.org/dc/elements/1.1/");

std::string Packet(const std::string& title) {
    return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
           "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
           "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">"
           "<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">" +
           title +
           "</rdf:li></rdf:Alt></dc:title></rdf:Description></rdf:RDF></x:xmpmeta>\n"
           "<?xpacket end=\"w\"?>";
}

// A one-page PDF with a classic table whose placed image carries a metadata stream of its own,
// stored before the catalog and the document's (or, withoutPacket, the catalog names none).
// A hybrid file keeps the page tree and the document information in an object stream that
// only a cross-reference stream named by the trailer's /XRefStm lists; the classic table
// lists them as free, as such files do for readers that know no object streams.
std::string MakePdf(bool withoutPacket = false, bool hybrid = false) {
    const std::string image = Packet("Image title"), doc = Packet("Document title");
    const std::string content = "q 10 0 0 10 0 0 cm /Im1 Do Q";
    std::vector<std::string> objects = {
        "<< /Type /Metadata /Subtype /XML /Length " + std::to_string(image.size()) + " >>\nstream\n" + image +
            "\nendstream",
        "<< /Type /XObject /Subtype /Image /Width 1 /Height 1 /ColorSpace /DeviceGray /BitsPerComponent 8 "
        "/Metadata 1 0 R /Length 1 >>\nstream\n\x80\nendstream",
        std::string("<< /Type /Catalog /Pages 4 0 R /PageMode /UseNone") +
            (withoutPacket ? "" : " /Metadata 6 0 R") + " >>",
        "<< /Type /Pages /Kids [ 5 0 R ] /Count 1 >>",
        "<< /Type /Page /Parent 4 0 R /MediaBox [ 0 0 10 10 ] /Resources << /XObject << /Im1 2 0 R >> >> "
        "/Contents 7 0 R >>",
        "<< /Type /Metadata /Subtype /XML /Length " + std::to_string(doc.size()) + " >>\nstream\n" + doc +
            "\nendstream",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Title (Made in the test) /Producer (PdfFileTest) >>",
    };
    std::string pdf = "%PDF-1.6\n%\xE2\xE3\xCF\xD3\n";
    std::vector<size_t> offsets;
    std::string xrefStm;
    if (hybrid) {
        // Objects 4 and 8 go into object stream 9; stream 10 lists them.
        const std::string pages = objects[3], info = objects[7];
        const std::string body = pages + "\n" + info;
        const std::string header = "4 0 8 " + std::to_string(pages.size() + 1) + "\n";
        objects[3] = objects[7] = "";
        objects.push_back("<< /Type /ObjStm /N 2 /First " + std::to_string(header.size()) + " /Length " +
                          std::to_string(header.size() + body.size()) + " >>\nstream\n" + header + body +
                          "\nendstream");
        std::string rows;
        for (int index : {0, 1})
            rows += std::string{'\x02', 0, 0, 0, '\x09', 0, static_cast<char>(index)};
        xrefStm = "<< /Type /XRef /Size 11 /W [ 1 4 2 ] /Index [ 4 1 8 1 ] /Length " +
                  std::to_string(rows.size()) + " >>\nstream\n" + rows + "\nendstream";
        objects.push_back(xrefStm);
    }
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(objects[i].empty() ? 0 : pdf.size());
        if (!objects[i].empty()) pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t at : offsets) {
        char entry[32];
        std::snprintf(entry, sizeof entry, at ? "%010zu 00000 n \n" : "%010zu 00001 f \n", at);
        pdf += entry;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 3 0 R /Info 8 0 R /ID [ <0011223344556677> <0011223344556677> ]" +
           (hybrid ? " /XRefStm " + std::to_string(offsets.back()) : std::string()) + " >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

// exiftool's full tag list, one "[group] tag: value" line each, without what is about the
// file rather than its metadata.
std::multiset<std::string> TagList(const fs::path& file) {
    std::istringstream out(CaptureOutput("exiftool -a -G1 -s " + Quote(file) + " 2>&1"));
    std::multiset<std::string> lines;
    std::string line;
    while (std::getline(out, line))
        if (line.rfind("[System]", 0) != 0 && line.rfind("[ExifTool]", 0) != 0) lines.insert(line);
    return lines;
}

// The lines of one list missing from the other, each way, but those of the groups allowed.
std::string Diff(const std::multiset<std::string>& a, const std::multiset<std::string>& b,
                 const std::vector<std::string>& allowed) {
    auto skip = [&](const std::string& l) {
        for (const std::string& p : allowed)
            if (l.rfind(p, 0) == 0) return true;
        return false;
    };
    std::string out;
    for (const auto& l : a)
        if (!b.count(l) && !skip(l)) out += "- " + l + "\n";
    for (const auto& l : b)
        if (!a.count(l) && !skip(l)) out += "+ " + l + "\n";
    return out;
}

bool QpdfChecks(const fs::path& file) {
    int status = -1;
    CaptureOutput("qpdf --check " + Quote(file) + " 2>&1", &status);
    return status == 0;
}

std::string Get(IXMPPacketAccess* xmp, const WideString& ns, const std::string& path) {
    WideString v;
    xmp->GetProperty(ns, WideString(path), &v);
    return v.GetUTF8String();
}

InterfacePtr<XMPPacketAccess> Load(const fs::path& file, bool* sidecar = nullptr) {
    std::string rdf;
    bool side = false;
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    EXPECT_EQ(XMPFiles::Read(IDFile(file), &rdf, &side), Result::kOK) << file;
    EXPECT_TRUE(xmp->ParsePacket(rdf)) << file;
    if (sidecar) *sidecar = side;
    return xmp;
}

// The packet without its wrapper, as sidecars were written.
std::string Bare(const std::string& packet) {
    std::istringstream in(packet);
    std::string line, out;
    while (std::getline(in, line))
        if (line.find("<?xpacket") == std::string::npos) out += line + "\n";
    return out;
}

void SetTitle(IXMPPacketAccess* xmp, const std::string& title) {
    WideString prefix;
    ASSERT_TRUE(xmp->RegisterNamespace(kNS, WideString("bt"), &prefix));
    ASSERT_TRUE(xmp->SetProperty(kNS, WideString("Title"), WideString(title)));
}

class PdfFileTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(XMPPacketAccess::InitToolkit()); }
    // The test's PDF, turned by qpdf (when args are given) into another flavour of the file.
    fs::path Made(const std::string& name, const std::string& qpdfArgs, bool withoutPacket = false,
                  bool hybrid = false) {
        const fs::path plain = fDir / ("plain-" + name);
        WriteFile(plain, MakePdf(withoutPacket, hybrid));
        if (qpdfArgs.empty()) return plain;
        const fs::path out = fDir / name;
        int status = -1;
        CaptureOutput("qpdf " + qpdfArgs + " " + Quote(plain) + " " + Quote(out) + " 2>&1", &status);
        EXPECT_EQ(status, 0) << qpdfArgs;
        return out;
    }
    TempDir fDir;
};

TEST_F(PdfFileTest, PackagesAreAppendedAsUpdatesThatChainAndChangeOnlyOurNamespace) {
    struct Case {
        const char* name;
        const char* qpdf;
        bool withoutPacket;
        bool linearized;
        bool hybrid;
    };
    const std::vector<Case> cases = {
        {"classic.pdf", "", false, false, false},
        {"xref-stream.pdf", "--object-streams=generate", false, false, false},
        {"linearized.pdf", "--linearize", false, true, false},
        {"no-packet.pdf", "", true, false, false},
        {"hybrid.pdf", "", false, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = Made(c.name, c.qpdf, c.withoutPacket, c.hybrid);
        ASSERT_TRUE(QpdfChecks(file)) << "the fixture is sound";
        const std::string original = ReadFile(file);
        const auto before = TagList(file);
        std::string rdf;
        bool sidecar = true;
        const Result read = XMPFiles::Read(IDFile(file), &rdf, &sidecar);
        EXPECT_FALSE(sidecar);
        InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
        if (c.withoutPacket) {
            EXPECT_EQ(read, Result::kNoPacket);
        } else {
            ASSERT_EQ(read, Result::kOK);
            ASSERT_TRUE(xmp->ParsePacket(rdf));
            EXPECT_EQ(Get(xmp, kDC, "title[1]"), "Document title") << "the catalog's packet, not the image's";
        }
        std::string previous = original;
        for (const char* title : {"first", "second", "third"}) {
            SCOPED_TRACE(title);
            SetTitle(xmp, title);
            std::string note;
            ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket(), &note), Result::kOK) << note;
            const std::string now = ReadFile(file);
            EXPECT_GT(now.size(), previous.size());
            EXPECT_TRUE(now.compare(0, previous.size(), previous) == 0)
                << "the earlier bytes stay the prefix";
            EXPECT_TRUE(QpdfChecks(file));
            EXPECT_FALSE(fs::exists(XMPFiles::SidecarFile(IDFile(file)).Path()));
            EXPECT_EQ(Get(Load(file), kNS, "Title"), title);
            EXPECT_EQ(CaptureOutput("exiftool -s3 -XMP-bt:Title " + Quote(file)), std::string(title) + "\n");
            previous = now;
        }
        const auto after = TagList(file);
        std::vector<std::string> allowed = {"[XMP-bt]"};
        if (c.linearized) allowed.push_back("[PDF]           Linearized");
        if (c.withoutPacket) allowed.push_back("[XMP-x]");
        EXPECT_EQ(Diff(before, after, allowed), "") << "changed outside our namespace";
        if (!c.withoutPacket) {
            EXPECT_EQ(Get(Load(file), kDC, "title[1]"), "Document title");
        }

        // Saving what the file holds appends nothing.
        ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket()), Result::kOK);
        EXPECT_EQ(ReadFile(file).size(), previous.size());
    }
}

// The write after a read does not parse the file again, but what it kept of the read is used
// only for the same, untouched file: a file another program rewrote or updated meanwhile
// (a new inode, or the same one grown) gets an update chained to what it holds now.
TEST_F(PdfFileTest, AWriteChainsToTheFileAsItIsNotAsItWasRead) {
    struct Case {
        const char* name;
        std::string change; // shell command run on the file between the read and the write
    };
    const std::vector<Case> cases = {
        {"rewritten.pdf", "qpdf --replace-input --object-streams=generate"},
        {"appended-in-place.pdf", "keep-inode"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = Made(c.name, "");
        InterfacePtr<XMPPacketAccess> xmp = Load(file);
        SetTitle(xmp, "ours");
        if (c.change == "keep-inode") {
            // Another writer appends its own update to the same inode.
            const fs::path other = fDir / "other.pdf";
            fs::copy_file(file, other);
            InterfacePtr<XMPPacketAccess> theirs = Load(other);
            SetTitle(theirs, "theirs");
            ASSERT_EQ(XMPFiles::Write(IDFile(other), theirs->SerializePacket()), Result::kOK);
            WriteFile(file, ReadFile(other));
        } else {
            int status = -1;
            CaptureOutput(c.change + " " + Quote(file) + " 2>&1", &status);
            ASSERT_EQ(status, 0);
        }
        const std::string changed = ReadFile(file);
        std::string note;
        ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket(), &note), Result::kOK) << note;
        EXPECT_TRUE(ReadFile(file).compare(0, changed.size(), changed) == 0);
        EXPECT_TRUE(QpdfChecks(file));
        EXPECT_EQ(Get(Load(file), kNS, "Title"), "ours");
    }
}

// Files that cannot take an update safely are refused with the reason and stay byte for byte.
TEST_F(PdfFileTest, EncryptedAndDamagedPDFsAreRefusedUnchanged) {
    const fs::path encrypted = Made("encrypted.pdf", "--encrypt user owner 256 --");
    const fs::path openable = Made("open-encrypted.pdf", "--encrypt '' owner 256 --");
    const fs::path damaged = fDir / "damaged.pdf";
    std::string bytes = MakePdf();
    bytes.replace(bytes.rfind("startxref\n") + 10, 1, "9"); // the table's offset points elsewhere
    WriteFile(damaged, bytes);
    struct Case {
        fs::path file;
        const char* reason;
    };
    for (const Case& c : std::vector<Case>{
             {encrypted, "encrypted"}, {openable, "encrypted"}, {damaged, "cannot be read without repair"}}) {
        SCOPED_TRACE(c.file.filename().string());
        const std::string original = ReadFile(c.file);
        std::string rdf, why;
        bool sidecar = false;
        EXPECT_EQ(XMPFiles::Read(IDFile(c.file), &rdf, &sidecar, &why), Result::kCannotRead);
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
        SetTitle(xmp, "refused");
        std::string note;
        EXPECT_EQ(XMPFiles::Write(IDFile(c.file), xmp->SerializePacket(), &note), Result::kCannotWrite);
        EXPECT_NE(note.find(c.reason), std::string::npos) << note;
        EXPECT_EQ(ReadFile(c.file), original);
        EXPECT_FALSE(fs::exists(XMPFiles::SidecarFile(IDFile(c.file)).Path()));
    }
}

// A sidecar the old behaviour made (a bare packet that started from the PDF's own) is what
// the user saved last: read while it exists, then moved into the PDF and removed. Anyone
// else's sidecar is neither read nor removed.
TEST_F(PdfFileTest, OurOldSidecarIsReadThenMovedIntoThePDF) {
    const fs::path ours = Made("ours.pdf", ""), theirs = Made("theirs.pdf", "");
    {
        InterfacePtr<XMPPacketAccess> xmp = Load(ours);
        SetTitle(xmp, "saved in the sidecar");
        WriteFile(XMPFiles::SidecarFile(IDFile(ours)).Path(), Bare(xmp->SerializePacket()));
        InterfacePtr<XMPPacketAccess> other(new XMPPacketAccess());
        SetTitle(other, "someone else's");
        // (Bare too, but without the PDF's own schemas.)
        WriteFile(XMPFiles::SidecarFile(IDFile(theirs)).Path(), Bare(other->SerializePacket()));
    }
    bool sidecar = false;
    InterfacePtr<XMPPacketAccess> xmp = Load(ours, &sidecar);
    EXPECT_TRUE(sidecar);
    EXPECT_EQ(Get(xmp, kNS, "Title"), "saved in the sidecar");
    std::string note;
    ASSERT_EQ(XMPFiles::Write(IDFile(ours), xmp->SerializePacket(), &note), Result::kOK);
    EXPECT_NE(note.find("removed the sidecar"), std::string::npos) << note;
    EXPECT_FALSE(fs::exists(XMPFiles::SidecarFile(IDFile(ours)).Path()));
    EXPECT_EQ(Get(Load(ours, &sidecar), kNS, "Title"), "saved in the sidecar");
    EXPECT_FALSE(sidecar);

    InterfacePtr<XMPPacketAccess> t = Load(theirs, &sidecar);
    EXPECT_FALSE(sidecar);
    EXPECT_EQ(Get(t, kNS, "Title"), "");
    SetTitle(t, "in the file");
    ASSERT_EQ(XMPFiles::Write(IDFile(theirs), t->SerializePacket(), &note), Result::kOK);
    EXPECT_TRUE(fs::exists(XMPFiles::SidecarFile(IDFile(theirs)).Path()));
    EXPECT_EQ(Get(Load(theirs), kNS, "Title"), "in the file");
}

} // namespace
