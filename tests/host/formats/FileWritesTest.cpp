// What a write of a file's packet keeps besides the packet: a PNG that stays readable however
// its packet changes size, files that are not there to write, and the file's own attributes.
#include "TestSupport.h"
#include "formats/FileReplace.h"
#include "formats/GifFile.h"
#include "formats/JpegFile.h"
#include "formats/PngFile.h"
#include "formats/PsdFile.h"
#include "formats/TiffFile.h"
#include "formats/XMPFiles.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/XMPPacketAccess.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;
using XMPFiles::Result;

namespace {

const fs::path kSamples = fs::path(BRINDLE_TEST_DATA) / "xmp-files";
const WideString kNS("http://ns.example.test/brindle-test/1.0/");

void CopySample(const char* name, const fs::path& to) {
    fs::copy_file(kSamples / name, to);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
}

// A packet whose test schema holds a title and `count` longish items.
std::string PacketWith(const std::string& title, int count, XMPPacketAccess* from = nullptr) {
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    if (from) xmp->ParsePacket(from->SerializePacket());
    WideString prefix;
    xmp->RegisterNamespace(kNS, WideString("bt"), &prefix);
    xmp->SetProperty(kNS, WideString("Title"), WideString(title));
    xmp->DeleteProperty(kNS, WideString("Items"));
    for (int i = 0; i < count; ++i)
        xmp->AppendArrayItem(kNS, WideString("Items"),
                             WideString("item " + std::to_string(i) + " of the test packet"),
                             IXMPPacketAccess::kArrayOrdered, 0);
    return xmp->SerializePacket();
}

std::string TitleOf(const fs::path& file, Result* result = nullptr) {
    std::string rdf;
    bool sidecar = false;
    const Result r = XMPFiles::Read(IDFile(file), &rdf, &sidecar);
    if (result) *result = r;
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    if (r != Result::kOK || !xmp->ParsePacket(rdf)) return "(unread)";
    WideString v;
    xmp->GetProperty(kNS, WideString("Title"), &v);
    return v.GetUTF8String();
}

// A POSIX access control list as the kernel keeps it in system.posix_acl_access: version 2,
// then (tag, permissions, id) entries, little-endian.
std::string AclBytes() {
    std::string b;
    auto put = [&](uint32_t v, int size) {
        for (int i = 0; i < size; ++i)
            b += static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(2, 4);
    const uint32_t undefined = 0xFFFFFFFFu;
    const uint32_t entries[][3] = {{0x01, 6, undefined},
                                   {0x02, 4, 4242},
                                   {0x04, 5, undefined},
                                   {0x10, 5, undefined},
                                   {0x20, 0, undefined}};
    for (const auto& e : entries) {
        put(e[0], 2);
        put(e[1], 2);
        put(e[2], 4);
    }
    return b;
}

std::string ExifToolWarnings(const fs::path& file) {
    return testsupport::CaptureOutput("exiftool -q -q -Warning -s3 '" + file.string() + "' 2>&1");
}

} // namespace

// A PNG packet that grows and then shrinks: each write leaves a chunk of its true length and
// CRC, so the file reads back (by us, by the toolkit and by exiftool) every time.
TEST(FileWritesTest, APNGPacketGrowsAndShrinksAndStaysReadable) {
    TempDir dir;
    const fs::path file = dir / "square.png";
    CopySample("BlueSquare.png", file);
    struct Step {
        const char* title;
        int items;
    };
    const std::vector<Step> steps = {{"large", 400}, {"small", 1}, {"medium", 40}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.title);
        ASSERT_EQ(XMPFiles::Write(IDFile(file), PacketWith(s.title, s.items)), Result::kOK);
        const std::string bytes = ReadFile(file);
        std::string packet;
        EXPECT_TRUE(PngFile::Check(bytes, &packet)) << "every chunk has its true length and CRC";
        EXPECT_EQ(packet.find("<?xpacket begin"), 0u);
        EXPECT_EQ(packet.compare(packet.size() - 2, 2, "?>"), 0) << "nothing stale after the packet's end";
        EXPECT_EQ(TitleOf(file), s.title);
    }
    EXPECT_EQ(ExifToolWarnings(file), "");
}

TEST(FileWritesTest, ThePNGCheckFindsBrokenChunks) {
    const std::string good = ReadFile(kSamples / "BlueSquare.png");
    ASSERT_TRUE(PngFile::Check(good));
    std::string out;
    ASSERT_TRUE(PngFile::SetPacket(good, "<?xpacket begin=\"\"?>x<?xpacket end=\"w\"?>", &out));
    ASSERT_TRUE(PngFile::Check(out));
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::string badCrc = out, badLength = out;
    const size_t chunk = out.find("iTXt") - 4;
    badCrc[chunk + 30] ^= 1;   // a byte of the packet, the CRC left as it was
    badLength[chunk + 3] += 3; // a length past the chunk's data
    const std::vector<Case> cases = {
        {"changed byte", badCrc},
        {"wrong length", badLength},
        {"cut short", out.substr(0, out.size() - 12)},
        {"not a PNG", "GIF89a" + out.substr(6)},
    };
    for (const Case& c : cases)
        EXPECT_FALSE(PngFile::Check(c.bytes)) << c.what;
}

// A file cut short inside its header is refused by each format's writer, whatever is left.
TEST(FileWritesTest, WritersRefuseFilesCutShort) {
    const std::string packet =
        "<?xpacket begin=\"\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"/><?xpacket end=\"w\"?>";
    using Writer = std::function<bool(const std::string&, std::string*)>;
    const std::vector<std::pair<const char*, Writer>> writers = {
        {"BlueSquare.jpg",
         [&](const std::string& in, std::string* out) { return JpegFile::SetPacket(in, packet, "", out); }},
        {"BlueSquare.tif",
         [&](const std::string& in, std::string* out) { return TiffFile::SetPacket(in, packet, out); }},
        {"BlueSquare.psd",
         [&](const std::string& in, std::string* out) { return PsdFile::SetPacket(in, packet, out); }},
        {"BlueSquare.png",
         [&](const std::string& in, std::string* out) { return PngFile::SetPacket(in, packet, out); }},
        {"BlueSquare.gif",
         [&](const std::string& in, std::string* out) { return GifFile::SetPacket(in, packet, out); }},
    };
    for (const auto& [name, write] : writers) {
        SCOPED_TRACE(name);
        const std::string whole = ReadFile(kSamples / name);
        std::string out;
        ASSERT_TRUE(write(whole, &out)) << "the whole file is written";
        for (size_t cut : {size_t(0), size_t(3), size_t(9), size_t(40), size_t(200)})
            EXPECT_FALSE(write(whole.substr(0, cut), &out)) << "cut at " << cut;
    }
}

// An empty file, one emptied since it was read, or a photo replaced by something else, is no
// document to write: the write fails and leaves no sidecar and no temporary file.
TEST(FileWritesTest, AnEmptiedFileIsAnErrorAndNothingIsWritten) {
    TempDir dir;
    const fs::path empty = dir / "empty.jpg";
    WriteFile(empty, "");
    const fs::path emptied = dir / "emptied.jpg";
    CopySample("BlueSquare.jpg", emptied);
    ASSERT_NE(TitleOf(emptied), "(unread)");
    fs::resize_file(emptied, 0);
    const fs::path text = dir / "notes.txt";
    WriteFile(text, "");
    const fs::path replaced = dir / "replaced.png";
    CopySample("BlueSquare.png", replaced);
    ASSERT_NE(TitleOf(replaced), "(unread)");
    WriteFile(replaced, "no longer a picture");
    for (const fs::path& f : {empty, emptied, text, replaced}) {
        const std::string before = ReadFile(f);
        EXPECT_EQ(XMPFiles::Write(IDFile(f), PacketWith("never", 1)), Result::kCannotWrite) << f;
        EXPECT_EQ(ReadFile(f), before) << f;
    }
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"emptied.jpg", "empty.jpg", "notes.txt", "replaced.png"}));
}

// A replaced file keeps its owner, its mode bits (setuid and setgid too) and its extended
// attributes.
TEST(FileWritesTest, AReplacedFileKeepsItsAttributes) {
    TempDir dir;
    const std::vector<const char*> samples = {"BlueSquare.jpg", "BlueSquare.png", "BlueSquare.tif",
                                              "BlueSquare.psd", "BlueSquare.gif"};
    for (const char* name : samples) {
        SCOPED_TRACE(name);
        const fs::path file = dir / name;
        CopySample(name, file);
        // Owned by someone else where this process may give files away: the copy that replaces
        // the file takes its owner first and its mode after, so the change of owner does not
        // clear setuid and setgid.
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(file.c_str(), 4242, 4343), 0);
        }
        ASSERT_EQ(::chmod(file.c_str(), 06750), 0);
        ASSERT_EQ(::setxattr(file.c_str(), "user.brindle.test", "kept", 4, 0), 0);
        // An access control list: the owner, user 4242, the group, the mask and others.
        const std::string acl = AclBytes();
        const bool withAcl =
            ::setxattr(file.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
        struct stat was {};
        ::stat(file.c_str(), &was);
        ASSERT_EQ(XMPFiles::Write(IDFile(file), PacketWith("attributes", 300)), Result::kOK);
        struct stat now {};
        ::stat(file.c_str(), &now);
        EXPECT_NE(now.st_ino, was.st_ino) << "the file was replaced";
        EXPECT_EQ(now.st_mode & 07777, was.st_mode & 07777);
        EXPECT_EQ(now.st_mode & 06000, 06000u) << "setuid and setgid kept";
        EXPECT_EQ(now.st_uid, was.st_uid);
        EXPECT_EQ(now.st_gid, was.st_gid);
        char value[16] = {};
        EXPECT_EQ(::getxattr(file.c_str(), "user.brindle.test", value, sizeof value), 4);
        EXPECT_STREQ(value, "kept");
        if (withAcl) {
            std::string back(64, '\0');
            const ssize_t n = ::getxattr(file.c_str(), "system.posix_acl_access", back.data(), back.size());
            ASSERT_GT(n, 0);
            back.resize(static_cast<size_t>(n));
            EXPECT_TRUE(back == acl) << "the access control list is kept";
        }
        EXPECT_EQ(TitleOf(file), "attributes");
    }
}

// A packet longer than one JPEG segment goes on in extended segments that exiftool puts
// together again, as the toolkit does.
TEST(FileWritesTest, AnExtendedJPEGPacketReadsElsewhereToo) {
    TempDir dir;
    const fs::path file = dir / "big.jpg";
    CopySample("BlueSquare.jpg", file);
    const std::string title(150000, 'x');
    ASSERT_EQ(XMPFiles::Write(IDFile(file), PacketWith(title, 2)), Result::kOK);
    ASSERT_NE(ReadFile(file).find("http://ns.adobe.com/xmp/extension/"), std::string::npos);
    EXPECT_EQ(TitleOf(file), title);
    const std::string out =
        testsupport::CaptureOutput("exiftool -q -q -b -XMP-bt:Title '" + file.string() + "' 2>&1");
    EXPECT_TRUE(out == title) << "exiftool read " << out.size() << " bytes: " << out.substr(0, 200);
    EXPECT_EQ(ExifToolWarnings(file), "");
}

// A file with several names is written in place: every name sees the new packet, and no copy
// is left behind.
TEST(FileWritesTest, AHardLinkedFileIsWrittenInPlace) {
    TempDir dir;
    const fs::path file = dir / "photo.jpg";
    CopySample("BlueSquare.jpg", file);
    fs::create_hard_link(file, dir / "other-name.jpg");
    struct stat was {};
    ::stat(file.c_str(), &was);
    ASSERT_EQ(XMPFiles::Write(IDFile(file), PacketWith("both names", 300)), Result::kOK);
    struct stat now {};
    ::stat(file.c_str(), &now);
    EXPECT_EQ(now.st_ino, was.st_ino);
    EXPECT_EQ(now.st_nlink, 2u);
    EXPECT_EQ(TitleOf(dir / "other-name.jpg"), "both names");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

// A sidecar that is a link is written through to the file it names.
TEST(FileWritesTest, ASymlinkedSidecarIsWrittenThrough) {
    TempDir dir;
    const fs::path notes = dir / "notes.txt";
    WriteFile(notes, "some notes");
    fs::create_directory(dir / "kept");
    const fs::path real = dir / "kept" / "notes.xmp";
    WriteFile(real, PacketWith("first", 1));
    fs::create_symlink(real, dir / "notes.txt.xmp");
    ASSERT_EQ(XMPFiles::Write(IDFile(notes), PacketWith("second", 1)), Result::kOK);
    EXPECT_TRUE(fs::is_symlink(dir / "notes.txt.xmp"));
    EXPECT_NE(ReadFile(real).find("second"), std::string::npos);
    EXPECT_EQ(TitleOf(notes), "second");
}

// The copy that stands in for a file until it is committed takes the file's mode after its
// owner, so a group change does not clear setgid.
TEST(FileWritesTest, CommitKeepsSetgidAfterAnOwnerChange) {
    if (::geteuid() != 0) GTEST_SKIP() << "only a privileged process can give a file away";
    TempDir dir;
    const fs::path file = dir / "owned.bin";
    WriteFile(file, "old");
    ASSERT_EQ(::chown(file.c_str(), 4242, 4343), 0);
    ASSERT_EQ(::chmod(file.c_str(), 02755), 0);
    fs::path temp;
    ASSERT_TRUE(FileReplace::WriteTemp(file, "new", &temp));
    ASSERT_TRUE(FileReplace::Commit(temp, file));
    struct stat st {};
    ::stat(file.c_str(), &st);
    EXPECT_EQ(st.st_uid, 4242u);
    EXPECT_EQ(st.st_gid, 4343u);
    EXPECT_EQ(st.st_mode & 07777, 02755u);
    EXPECT_EQ(ReadFile(file), "new");
    EXPECT_FALSE(fs::exists(temp));
}
