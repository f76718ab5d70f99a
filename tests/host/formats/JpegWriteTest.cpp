// The JPEG writer that copies a plain JPEG's bytes around its new packet, checked against the
// toolkit's way of writing the same packet and against exiftool's reading of the result.
#include "formats/JpegFile.h"
#include "formats/XMPFiles.h"
#include "TestSupport.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/XMPPacketAccess.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using XMPFiles::Result;

namespace {

const WideString kNS("http://ns.example.test/brindle-test/1.0/");

// The real JPEGs at hand: the test data, the bundled samples and the shared real samples.
std::vector<fs::path> RealJpegs() {
    std::vector<fs::path> files = {fs::path(BRINDLE_TEST_DATA) / "xmp-files" / "BlueSquare.jpg",
                                   fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents" / "Editorial-BlueSquare.jpg",
                                   fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents" / "Plain-BlueSquare.jpg"};
    const fs::path shared = fs::path(BRINDLE_SOURCE_DIR) / ".." / "shared" / "samples" / "real" / "xmp-files";
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(shared, ec)) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (ext == ".jpg" || ext == ".jpeg") files.push_back(e.path());
    }
    return files;
}

// The header segments (marker and all; a fill byte alone) up to the start of scan, then the rest
// as one part.
struct Segment {
    unsigned char marker;
    std::string bytes;
};
std::vector<Segment> Segments(const std::string& b) {
    std::vector<Segment> parts;
    for (size_t i = 2; i + 4 <= b.size() && static_cast<unsigned char>(b[i]) == 0xFF;) {
        const auto marker = static_cast<unsigned char>(b[i + 1]);
        if (marker == 0xFF) { // a fill byte
            parts.push_back({marker, b.substr(i++, 1)});
            continue;
        }
        if (marker == 0xDA) {
            parts.push_back({marker, b.substr(i)});
            break;
        }
        const size_t len = (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
        parts.push_back({marker, b.substr(i, 2 + len)});
        i += 2 + len;
    }
    return parts;
}

std::string Join(const std::vector<Segment>& parts) {
    std::string b = "\xFF\xD8";
    for (const auto& p : parts)
        b += p.bytes;
    return b;
}

bool IsXMP(const Segment& s) {
    return s.marker == 0xE1 && (s.bytes.compare(4, 29, std::string("http://ns.adobe.com/xap/1.0/\0", 29)) == 0 ||
                                s.bytes.compare(4, 34, "http://ns.adobe.com/xmp/extension/") == 0);
}

std::vector<std::string> NonXMP(const std::string& jpeg) {
    std::vector<std::string> kept;
    for (const auto& s : Segments(jpeg))
        if (!IsXMP(s)) kept.push_back(s.bytes);
    return kept;
}

// exiftool's reading of every tag but our test namespace's and the file system's.
nlohmann::json OtherTags(const fs::path& file) {
    const std::string out = testsupport::CaptureOutput("exiftool -json -struct -a -G1 '" + file.string() + "' 2>/dev/null");
    auto parsed = nlohmann::json::parse(out, nullptr, false);
    if (!parsed.is_array() || parsed.empty()) return nullptr;
    nlohmann::json tags = nlohmann::json::object();
    for (auto& [key, value] : parsed[0].items())
        if (key.rfind("XMP-bt:", 0) != 0 && key.rfind("System:", 0) != 0 && key != "SourceFile" &&
            key != "File:FileSize")
            tags[key] = value;
    return tags;
}

std::string OurTitle(const fs::path& file) {
    const std::string out = testsupport::CaptureOutput("exiftool -s3 -XMP-bt:Title '" + file.string() + "' 2>/dev/null");
    return out.substr(0, out.find('\n'));
}

void MakeWritable(const fs::path& p) {
    fs::permissions(p, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
}

// The file's packet with our test schema: a title and `items` entries of some length.
InterfacePtr<XMPPacketAccess> WithTestSchema(const fs::path& file, const std::string& title, int items) {
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    std::string rdf;
    bool sidecar = false;
    const Result read = XMPFiles::Read(IDFile(file), &rdf, &sidecar);
    EXPECT_TRUE(read == Result::kOK || read == Result::kNoPacket) << file;
    if (read == Result::kOK) {
        EXPECT_TRUE(xmp->ParsePacket(rdf)) << file;
    }
    WideString prefix;
    EXPECT_TRUE(xmp->RegisterNamespace(kNS, WideString("bt"), &prefix));
    EXPECT_TRUE(xmp->SetProperty(kNS, WideString("Title"), WideString(title)));
    for (int i = 0; i < items; ++i)
        EXPECT_TRUE(xmp->AppendArrayItem(kNS, WideString("Notes"),
                                         WideString("note " + std::to_string(i) + " with some words to make it longer"),
                                         IXMPPacketAccess::kArrayOrdered, 0));
    return xmp;
}

// Writes the same packet into two copies of `original`: one by the plain writer, one the
// toolkit's way. Both results are handed back (empty when a write failed).
struct Written {
    Result plain, toolkit;
    bool byPlainWriter = false; // the first write was the plain writer's
    std::string plainBytes, toolkitBytes;
    fs::path plainFile;
};
Written WriteBothWays(const fs::path& dir, const std::string& original, const std::string& title, int items) {
    Written w;
    const fs::path a = dir / "plain.jpg", b = dir / "toolkit.jpg";
    WriteFile(a, original);
    WriteFile(b, original);
    InterfacePtr<XMPPacketAccess> xmp = WithTestSchema(a, title, items);
    const size_t before = XMPFiles::PlainJpegWriteCount();
    w.plain = XMPFiles::Write(IDFile(a), xmp.get(), nullptr);
    w.byPlainWriter = XMPFiles::PlainJpegWriteCount() == before + 1;
    XMPFiles::SetPlainJpegWrites(false);
    w.toolkit = XMPFiles::Write(IDFile(b), xmp->SerializePacket());
    XMPFiles::SetPlainJpegWrites(true);
    w.plainBytes = ReadFile(a);
    w.toolkitBytes = ReadFile(b);
    w.plainFile = a;
    return w;
}

bool NoTemporaries(const fs::path& dir) {
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name != "plain.jpg" && name != "toolkit.jpg" && name != "file.jpg") return false;
    }
    return true;
}

} // namespace

// Every real sample, with a small change (fits in the old packet's padding) and a large one
// (a new, larger segment): the plain writer gives the bytes the toolkit's way gives, every
// segment but the packet's stays byte for byte, and exiftool reads every other tag as before.
TEST(JpegWriteTest, RealSamplesWriteAsTheToolkitWayAndKeepEveryOtherByte) {
    struct Change {
        const char* what;
        int items;
        bool sameSize;
    };
    const std::vector<Change> changes = {{"fits the padding", 0, true}, {"outgrows the segment", 200, false}};
    const std::vector<fs::path> samples = RealJpegs();
    ASSERT_GE(samples.size(), 3u);
    for (const fs::path& sample : samples) {
        for (const Change& c : changes) {
            SCOPED_TRACE(sample.string() + ": " + c.what);
            TempDir dir;
            const std::string original = ReadFile(sample);
            WriteFile(dir / "original.jpg", original);
            const Written w = WriteBothWays(dir.path(), original, c.what, c.items);
            ASSERT_EQ(w.plain, Result::kOK);
            ASSERT_EQ(w.toolkit, Result::kOK);
            EXPECT_TRUE(w.byPlainWriter);
            EXPECT_TRUE(w.plainBytes == w.toolkitBytes) << "the same bytes as the toolkit's way";
            EXPECT_EQ(w.plainBytes.size() == original.size(), c.sameSize);
            EXPECT_TRUE(NonXMP(w.plainBytes) == NonXMP(original)) << "every other segment and the image kept";
            EXPECT_EQ(OurTitle(w.plainFile), c.what);
            const nlohmann::json before = OtherTags(dir / "original.jpg"), after = OtherTags(w.plainFile);
            ASSERT_FALSE(before.is_null());
            EXPECT_EQ(before, after) << "no other tag changed";
        }
    }
}

// Layouts made from a real sample: where the packet's segment goes, and which files are left to
// the toolkit's way. The plain writer's result must match the toolkit's wherever both write it.
TEST(JpegWriteTest, LayoutsBesideTheUsualOne) {
    const std::string original = ReadFile(fs::path(BRINDLE_TEST_DATA) / "xmp-files" / "BlueSquare.jpg");
    const std::vector<Segment> parts = Segments(original);
    ASSERT_GT(parts.size(), 5u);
    std::vector<Segment> withoutXMP, moved;
    Segment xmp{};
    for (const auto& s : parts)
        if (IsXMP(s))
            xmp = s;
        else
            withoutXMP.push_back(s);
    moved = withoutXMP;
    moved.insert(moved.end() - 1, xmp); // just before the start of scan
    std::string readOnly = original;
    const size_t trailer = readOnly.find("<?xpacket end=\"w\"?>");
    ASSERT_NE(trailer, std::string::npos);
    readOnly[trailer + 15] = 'r';
    std::string fill = original;
    fill.insert(Segments(original)[0].bytes.size() + 2, "\xFF"); // a fill byte before the Exif segment

    struct Case {
        const char* what;
        std::string bytes;
        int items;
        size_t xmpIndex; // where the packet's segment is expected among the header segments
        bool plain;      // written by the plain writer (else left to the toolkit's way)
    };
    const std::vector<Case> cases = {
        {"no packet yet: after the leading APP0/APP1 segments", Join(withoutXMP), 0, 2, true},
        {"the packet's segment late in the header stays there", Join(moved), 0, moved.size() - 2, true},
        {"the same, outgrowing its segment", Join(moved), 200, moved.size() - 2, true},
        {"a read-only trailer: in place all the same", readOnly, 0, 2, true},
        {"a fill byte: the toolkit's way", fill, 0, 3, false},
        {"extended XMP: the toolkit's way", original, 3000, 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const Written w = WriteBothWays(dir.path(), c.bytes, c.what, c.items);
        ASSERT_EQ(w.plain, Result::kOK);
        ASSERT_EQ(w.toolkit, Result::kOK);
        EXPECT_EQ(w.byPlainWriter, c.plain);
        EXPECT_TRUE(w.plainBytes == w.toolkitBytes);
        EXPECT_TRUE(NonXMP(w.plainBytes) == NonXMP(c.bytes));
        const std::vector<Segment> after = Segments(w.plainBytes);
        ASSERT_GT(after.size(), c.xmpIndex);
        EXPECT_TRUE(IsXMP(after[c.xmpIndex])) << "the packet's segment at " << c.xmpIndex;
        EXPECT_EQ(OurTitle(w.plainFile), c.what);
        EXPECT_TRUE(NoTemporaries(dir.path()));
    }
}

// The read-back check of the plain writer: a written file passes only as the original with its
// packet replaced, and any other difference (a changed byte elsewhere, segments moved or lost,
// another packet, the image cut) fails it.
TEST(JpegWriteTest, TheReadBackCheckCatchesEveryOtherDifference) {
    const std::string original = ReadFile(fs::path(BRINDLE_TEST_DATA) / "xmp-files" / "BlueSquare.jpg");
    const std::vector<Segment> parts = Segments(original);
    std::vector<Segment> others;
    size_t xmpIndex = 0;
    for (size_t i = 0; i < parts.size(); ++i)
        if (IsXMP(parts[i]))
            xmpIndex = i;
        else
            others.push_back(parts[i]);
    ASSERT_GT(xmpIndex, 0u);
    const std::string packet = "<?xpacket begin=\"\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/><?xpacket end=\"w\"?>";
    auto withPacket = [&](std::vector<Segment> list, size_t at, const std::string& p) {
        std::string payload = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + p;
        std::string seg = "\xFF\xE1";
        seg += static_cast<char>((payload.size() + 2) >> 8);
        seg += static_cast<char>((payload.size() + 2) & 0xFF);
        list.insert(list.begin() + static_cast<long>(at), Segment{0xE1, seg + payload});
        return Join(list);
    };
    const std::string good = withPacket(others, xmpIndex, packet);
    std::string flipped = good;
    flipped[good.size() - 100] ^= 1; // in the image data
    std::string exif = good;
    exif[Segments(good)[1].bytes.size() / 2 + 2 + Segments(good)[0].bytes.size()] ^= 1; // inside the Exif segment
    std::vector<Segment> swapped = others;
    std::swap(swapped[0], swapped[1]);
    std::vector<Segment> lost = others;
    lost.erase(lost.begin() + 3);

    struct Case {
        const char* what;
        std::string written;
        bool passes;
    };
    const std::vector<Case> cases = {
        {"the original with the packet replaced", good, true},
        {"a byte of the image changed", flipped, false},
        {"a byte of the Exif segment changed", exif, false},
        {"two segments swapped", withPacket(swapped, xmpIndex, packet), false},
        {"a segment lost", withPacket(lost, xmpIndex, packet), false},
        {"the packet's segment moved", withPacket(others, xmpIndex + 1, packet), false},
        {"another packet", withPacket(others, xmpIndex, packet + " "), false},
        {"no packet", Join(others), false},
        {"the image cut short", good.substr(0, good.size() - 10), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(JpegFile::IsOriginalWithPacket(original, c.written, packet), c.passes);
    }
}

// Files the writer must refuse leave the file as it was and nothing beside it.
TEST(JpegWriteTest, WhatCannotBeWrittenIsLeftUntouched) {
    const std::string original = ReadFile(fs::path(BRINDLE_TEST_DATA) / "xmp-files" / "BlueSquare.jpg");
    const size_t xmpAt = original.find("http://ns.adobe.com/xap/1.0/");
    ASSERT_NE(xmpAt, std::string::npos);
    struct Case {
        const char* what;
        std::string bytes;
        bool readOnly;
    };
    const std::vector<Case> cases = {
        {"cut inside the packet's segment", original.substr(0, xmpAt + 200), false},
        {"cut right after the start marker", original.substr(0, 3), false},
        {"garbage named .jpg", std::string(4096, 'x'), false},
        {"a segment length pointing past the end", original.substr(0, 20) + "\xFF\xE1\xFF\xF0" + "abc", false},
        {"read-only", original, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        const fs::path file = dir / "file.jpg";
        WriteFile(file, c.bytes);
        InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
        ASSERT_TRUE(xmp->ParsePacket("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                                     "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>"));
        WideString prefix;
        ASSERT_TRUE(xmp->RegisterNamespace(kNS, WideString("bt"), &prefix));
        ASSERT_TRUE(xmp->SetProperty(kNS, WideString("Title"), WideString("refused")));
        if (c.readOnly) fs::permissions(file, fs::perms::owner_read, fs::perm_options::replace);
        EXPECT_EQ(XMPFiles::Write(IDFile(file), xmp.get(), nullptr), Result::kCannotWrite);
        EXPECT_TRUE(ReadFile(file) == c.bytes) << "the file is as it was";
        EXPECT_TRUE(NoTemporaries(dir.path()));
        MakeWritable(file);
    }
}
