#include "formats/XMPFiles.h"
#include "TestSupport.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/XMPPacketAccess.h"
#include "xmp/XMPTree.h"

#include <exempi/xmp.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
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
const WideString kDC("http://purl.org/dc/elements/1.1/");

std::string U8(const WideString& w) {
    return w.GetUTF8String();
}

std::string Quote(const fs::path& p) {
    std::string out = "'";
    for (char c : p.string()) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

// exiftool's reading of the files, by file: every tag with its family-1 group, structures kept.
std::map<std::string, nlohmann::json> ExifTool(const std::vector<fs::path>& files) {
    std::string cmd = "exiftool -json -struct -a -G1";
    for (const auto& f : files)
        cmd += " " + Quote(f);
    cmd += " 2>/dev/null";
    std::string out = testsupport::CaptureOutput(cmd);
    std::map<std::string, nlohmann::json> byFile;
    auto parsed = nlohmann::json::parse(out, nullptr, false);
    if (parsed.is_array())
        for (auto& entry : parsed)
            byFile[entry.value("SourceFile", "")] = entry;
    return byFile;
}

// A writable copy of a sample file (the samples themselves are read-only).
void CopySample(const char* name, const fs::path& to) {
    fs::copy_file(kSamples / name, to);
    fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
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

std::string Get(IXMPPacketAccess* xmp, const WideString& ns, const std::string& path) {
    WideString v;
    xmp->GetProperty(ns, WideString(path), &v);
    return U8(v);
}

// Adds our test schema: a title and an array of named, ranked struct items, in the order given.
void AddTestSchema(IXMPPacketAccess* xmp, const std::string& title, const std::vector<std::string>& names) {
    WideString prefix;
    ASSERT_TRUE(xmp->RegisterNamespace(kNS, WideString("bt"), &prefix));
    ASSERT_TRUE(xmp->SetProperty(kNS, WideString("Title"), WideString(title)));
    xmp->DeleteProperty(kNS, WideString("Items"));
    int rank = 0;
    for (const auto& name : names) {
        ASSERT_TRUE(xmp->AppendArrayItem(kNS, WideString("Items"), WideString(),
                                         IXMPPacketAccess::kArrayOrdered, IXMPPacketAccess::kItemIsStruct));
        WideString item, field;
        ASSERT_TRUE(xmp->ComposeArrayItemPath(kNS, WideString("Items"), IXMPPacketAccess::kLastItem, &item));
        ASSERT_TRUE(xmp->ComposeStructFieldPath(kNS, item, kNS, WideString("Name"), &field));
        ASSERT_TRUE(xmp->SetProperty(kNS, field, WideString(name)));
        ASSERT_TRUE(xmp->ComposeStructFieldPath(kNS, item, kNS, WideString("Rank"), &field));
        ASSERT_TRUE(xmp->SetProperty(kNS, field, WideString(std::to_string(++rank))));
    }
}

std::vector<std::string> ItemNames(IXMPPacketAccess* xmp) {
    std::vector<std::string> names;
    for (int32 i = 1, n = xmp->CountArrayItems(kNS, WideString("Items")); i <= n; ++i)
        names.push_back(Get(xmp, kNS, "Items[" + std::to_string(i) + "]/bt:Name"));
    return names;
}

std::vector<std::string> ExifToolItemNames(const nlohmann::json& tags) {
    std::vector<std::string> names;
    auto it = tags.find("XMP-bt:Items");
    if (it == tags.end()) return names;
    for (const auto& item : *it)
        names.push_back(item.value("Name", std::string("?")));
    return names;
}

// True when the files have the same size and every differing byte lies inside one packet
// (from "<?xpacket begin" to its "<?xpacket end…?>") of the first.
bool ChangedOnlyInsideAPacket(const std::string& before, const std::string& after, std::string* why) {
    if (before.size() != after.size()) {
        *why = "size changed from " + std::to_string(before.size()) + " to " + std::to_string(after.size());
        return false;
    }
    size_t first = 0;
    while (first < before.size() && before[first] == after[first])
        ++first;
    if (first == before.size()) {
        *why = "nothing changed";
        return false;
    }
    size_t last = before.size() - 1;
    while (before[last] == after[last])
        --last;
    size_t begin = before.rfind("<?xpacket begin", first);
    size_t endPI = begin == std::string::npos ? std::string::npos : before.find("<?xpacket end", begin);
    size_t end = endPI == std::string::npos ? std::string::npos : before.find("?>", endPI);
    if (end == std::string::npos || last > end + 1) {
        *why = "bytes " + std::to_string(first) + ".." + std::to_string(last) + " changed outside the packet";
        return false;
    }
    return true;
}

// The JPEG's segments up to the start of scan, and then everything from there to the end.
std::vector<std::string> JPEGParts(const std::string& b) {
    std::vector<std::string> parts;
    size_t i = 2;
    while (i + 4 <= b.size() && static_cast<unsigned char>(b[i]) == 0xFF) {
        auto marker = static_cast<unsigned char>(b[i + 1]);
        if (marker == 0xDA) {
            parts.push_back(b.substr(i));
            break;
        }
        size_t len = (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
        parts.push_back(b.substr(i, 2 + len));
        i += 2 + len;
    }
    return parts;
}

bool IsXMPSegment(const std::string& segment) {
    return segment.compare(4, 28, "http://ns.adobe.com/xap/1.0/") == 0 ||
           segment.compare(4, 34, "http://ns.adobe.com/xmp/extension/") == 0;
}

std::vector<std::string> NonXMPParts(const std::string& jpeg) {
    std::vector<std::string> kept;
    for (auto& p : JPEGParts(jpeg))
        if (!IsXMPSegment(p)) kept.push_back(p);
    return kept;
}

// PNG chunks (type, data and CRC) other than the XMP text chunk.
std::vector<std::string> NonXMPChunks(const std::string& b) {
    std::vector<std::string> chunks;
    for (size_t i = 8; i + 12 <= b.size();) {
        size_t len = (static_cast<unsigned char>(b[i]) << 24) | (static_cast<unsigned char>(b[i + 1]) << 16) |
                     (static_cast<unsigned char>(b[i + 2]) << 8) | static_cast<unsigned char>(b[i + 3]);
        std::string chunk = b.substr(i + 4, len + 8);
        if (chunk.compare(0, 4, "iTXt") != 0 || chunk.compare(4, 17, "XML:com.adobe.xmp") != 0)
            chunks.push_back(chunk);
        i += 12 + len;
    }
    return chunks;
}

mode_t Mode(const fs::path& p) {
    struct stat st {};
    ::stat(p.c_str(), &st);
    return st.st_mode & 07777;
}

std::set<std::string> Listing(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        names.insert(e.path().string());
    return names;
}

TEST(XMPFilesTest, RealFilesKeepEverythingButTheirPacket) {
    struct Case {
        const char* ext;
        bool inPlace; // the new packet fits into the space of the old one
    };
    // (PDF and AI are appended to instead: PdfFileTest.)
    const std::vector<Case> cases = {
        {"jpg", true}, {"tif", true},  {"psd", true},  {"pdf", false},
        {"ai", false}, {"png", false}, {"gif", false},
    };
    const std::vector<std::string> names = {"zeta", "alpha", "mu"};
    TempDir dir;
    std::vector<fs::path> originals, written;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ext);
        const fs::path original = kSamples / (std::string("BlueSquare.") + c.ext);
        const fs::path file = dir / (std::string("BlueSquare.") + c.ext);
        fs::copy_file(original, file);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read,
                        fs::perm_options::replace);
        originals.push_back(original);
        written.push_back(file);
        const std::string before = ReadFile(file);

        EXPECT_FALSE(XMPFiles::UsesSidecar(IDFile(file)));
        bool sidecar = true;
        InterfacePtr<XMPPacketAccess> xmp = Load(file, &sidecar);
        EXPECT_FALSE(sidecar);
        const std::string title = Get(xmp, kDC, "title[1]");
        EXPECT_NE(title.find("Blue Square"), std::string::npos) << "the file's own packet was read";
        AddTestSchema(xmp, std::string("written to ") + c.ext, names);
        ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket()), Result::kOK);

        EXPECT_FALSE(fs::exists(XMPFiles::SidecarFile(IDFile(file)).Path()));
        EXPECT_EQ(Mode(file), 0640u) << "the file keeps its permissions";
        const std::string after = ReadFile(file);
        if (c.inPlace) {
            std::string why;
            EXPECT_TRUE(ChangedOnlyInsideAPacket(before, after, &why)) << why;
        }
        if (std::string(c.ext) == "pdf" || std::string(c.ext) == "ai") {
            EXPECT_TRUE(after.compare(0, before.size(), before) == 0) << "the original bytes stay the prefix";
        }
        if (std::string(c.ext) == "jpg") {
            // (Compared as booleans: the segments are binary.)
            EXPECT_TRUE(NonXMPParts(after) == NonXMPParts(before))
                << "every segment but the packet is unchanged";
            EXPECT_TRUE(JPEGParts(after).back() == JPEGParts(before).back()) << "the image data is unchanged";
        }
        if (std::string(c.ext) == "png") {
            EXPECT_TRUE(NonXMPChunks(after) == NonXMPChunks(before))
                << "every chunk but the packet is unchanged";
        }

        InterfacePtr<XMPPacketAccess> back = Load(file);
        EXPECT_EQ(Get(back, kNS, "Title"), std::string("written to ") + c.ext);
        EXPECT_EQ(ItemNames(back), names);
        EXPECT_EQ(Get(back, kNS, "Items[3]/bt:Rank"), "3");
        EXPECT_EQ(Get(back, kDC, "title[1]"), title);
    }

    // An independent reader sees our schema, and everything else it saw before.
    std::vector<fs::path> all = originals;
    all.insert(all.end(), written.begin(), written.end());
    auto tags = ExifTool(all);
    ASSERT_EQ(tags.size(), all.size()) << "exiftool read every file";
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].ext);
        const auto& was = tags[originals[i].string()];
        const auto& now = tags[written[i].string()];
        EXPECT_EQ(now.value("XMP-bt:Title", std::string()), std::string("written to ") + cases[i].ext);
        EXPECT_EQ(ExifToolItemNames(now), names);
        ASSERT_TRUE(was.contains("XMP-dc:Title"));
        for (const auto& [key, value] : was.items()) {
            const std::string group = key.substr(0, key.find(':'));
            if (key == "SourceFile" || group == "System" || group == "ExifTool" || key == "XMP-x:XMPToolkit")
                continue;
            // An update appended to a linearized PDF leaves it valid but no longer linearized.
            if (key == "PDF:Linearized") continue;
            // The toolkit does not keep an empty struct (the Illustrator file's xmpMM:DerivedFrom).
            if (value == "") continue;
            EXPECT_EQ(now.contains(key) ? now[key] : nlohmann::json(), value) << key;
        }
    }
}

TEST(XMPFilesTest, APacketThatOutgrowsItsSpaceRewritesTheJPEG) {
    TempDir dir;
    const fs::path file = dir / "photo.jpg";
    CopySample("BlueSquare.jpg", file);
    const std::string original = ReadFile(file);

    auto namesOf = [](int count, const char* stem) {
        std::vector<std::string> names;
        for (int i = 1; i <= count; ++i)
            names.push_back(std::string(stem) + " " + std::to_string(i) +
                            " with some words to make it longer");
        return names;
    };
    struct Step {
        const char* what;
        int items;
        const char* stem;
    };
    // About 30 KB, then the same size again, then over the 64 KB of one JPEG segment, then small.
    const std::vector<Step> steps = {{"grows", 400, "first"},
                                     {"same size", 400, "again"},
                                     {"extended", 2000, "many"},
                                     {"small", 3, "few"}};
    std::string previous = original;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        InterfacePtr<XMPPacketAccess> xmp = Load(file);
        AddTestSchema(xmp, s.what, namesOf(s.items, s.stem));
        ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket()), Result::kOK);
        const std::string now = ReadFile(file);
        // Whatever the handler does with the packet, the image data and the Exif and
        // colour-profile segments stay as they were.
        auto parts = JPEGParts(now), originalParts = JPEGParts(original);
        ASSERT_FALSE(parts.empty());
        EXPECT_TRUE(parts.back() == originalParts.back()) << "the image data is unchanged";
        for (const auto& p : originalParts) {
            if (p.compare(4, 4, "Exif") == 0 || p.compare(4, 11, "ICC_PROFILE") == 0) {
                EXPECT_TRUE(std::find(parts.begin(), parts.end(), p) != parts.end())
                    << p.substr(4, 11) << " kept";
            }
        }
        if (std::string(s.what) == "same size") {
            std::string why;
            EXPECT_TRUE(ChangedOnlyInsideAPacket(previous, now, &why))
                << "the grown packet kept its padding: " << why;
        }
        previous = now;

        InterfacePtr<XMPPacketAccess> back = Load(file);
        EXPECT_EQ(Get(back, kNS, "Title"), s.what);
        EXPECT_EQ(ItemNames(back), namesOf(s.items, s.stem));
        EXPECT_EQ(Get(back, kDC, "title[1]"), "Blue Square Test File - .jpg");
    }
}

TEST(XMPFilesTest, FilesThatCannotHoldAPacketGetASidecar) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const std::vector<Case> cases = {
        {"notes.txt", "Some notes.\nNothing else.\n"},
        {"data.brindle-unknown", std::string("\x00\x01\x02\xFF binary", 11)},
    };
    TempDir dir;
    std::vector<fs::path> sidecars;
    std::vector<std::string> expectedTitles;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        WriteFile(file, c.bytes);
        const fs::path side = XMPFiles::SidecarFile(IDFile(file)).Path();
        EXPECT_EQ(side, dir / (std::string(c.name) + ".xmp"));

        EXPECT_TRUE(XMPFiles::UsesSidecar(IDFile(file)));
        std::string rdf = "stale";
        bool sidecar = false;
        EXPECT_EQ(XMPFiles::Read(IDFile(file), &rdf, &sidecar), Result::kNoPacket);
        EXPECT_TRUE(rdf.empty());
        EXPECT_TRUE(sidecar) << "a write would go to the sidecar";
        EXPECT_FALSE(fs::exists(side)) << "reading creates nothing";

        for (const char* round : {"first", "second"}) {
            InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
            AddTestSchema(xmp, std::string(round) + " " + c.name, {"one", "two", std::string(round)});
            ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket()), Result::kOK);
            EXPECT_EQ(ReadFile(file), c.bytes) << "the file itself is untouched";
            ASSERT_TRUE(fs::exists(side));
            EXPECT_EQ(ReadFile(side).find("<?xpacket"), std::string::npos) << "a sidecar is a bare packet";

            bool fromSidecar = false;
            InterfacePtr<XMPPacketAccess> back = Load(file, &fromSidecar);
            EXPECT_TRUE(fromSidecar);
            EXPECT_EQ(Get(back, kNS, "Title"), std::string(round) + " " + c.name);
            EXPECT_EQ(ItemNames(back), (std::vector<std::string>{"one", "two", round}));
        }
        sidecars.push_back(side);
        expectedTitles.push_back(std::string("second ") + c.name);
    }
    auto tags = ExifTool(sidecars);
    for (size_t i = 0; i < sidecars.size(); ++i) {
        const auto& t = tags[sidecars[i].string()];
        EXPECT_EQ(t.value("XMP-bt:Title", std::string()), expectedTitles[i]);
        EXPECT_EQ(ExifToolItemNames(t), (std::vector<std::string>{"one", "two", "second"}));
    }
}

TEST(XMPFilesTest, ASidecarBesideAFileThatHoldsItsPacketIsIgnored) {
    TempDir dir;
    const fs::path file = dir / "photo.jpg";
    CopySample("BlueSquare.jpg", file);
    InterfacePtr<XMPPacketAccess> stray(new XMPPacketAccess());
    AddTestSchema(stray, "from the sidecar", {"stray"});
    const fs::path side = XMPFiles::SidecarFile(IDFile(file)).Path();
    WriteFile(side, stray->SerializePacket());

    EXPECT_FALSE(XMPFiles::UsesSidecar(IDFile(file)));
    bool fromSidecar = true;
    InterfacePtr<XMPPacketAccess> xmp = Load(file, &fromSidecar);
    EXPECT_FALSE(fromSidecar);
    EXPECT_FALSE(xmp->DoesPropertyExist(kNS, WideString("Title")));
    AddTestSchema(xmp, "in the file", {"kept"});
    ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket()), Result::kOK);
    EXPECT_EQ(ReadFile(side), stray->SerializePacket());
    EXPECT_EQ(Get(Load(file), kNS, "Title"), "in the file");
}

TEST(XMPFilesTest, WhatCannotBeReadIsLeftAlone) {
    TempDir dir;
    fs::create_directory(dir / "folder");
    fs::create_symlink(dir / "gone.jpg", dir / "dangling.jpg");
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    AddTestSchema(xmp, "never written", {"x"});
    const std::string packet = xmp->SerializePacket();
    const std::vector<std::pair<const char*, IDFile>> cases = {
        {"missing file", IDFile(dir / "missing.jpg")},
        {"missing file of no known format", IDFile(dir / "missing.txt")},
        {"missing folder", IDFile(dir / "nowhere" / "file.jpg")},
        {"folder", IDFile(dir / "folder")},
        {"dangling link", IDFile(dir / "dangling.jpg")},
        {"empty path", IDFile()},
    };
    const auto listing = Listing(dir.path());
    for (const auto& [what, file] : cases) {
        std::string rdf = "stale";
        bool sidecar = true;
        EXPECT_EQ(XMPFiles::Read(file, &rdf, &sidecar), Result::kCannotRead) << what;
        EXPECT_TRUE(rdf.empty()) << what;
        EXPECT_FALSE(sidecar) << what;
        EXPECT_EQ(XMPFiles::Write(file, packet), Result::kCannotWrite) << what;
        EXPECT_FALSE(XMPFiles::UsesSidecar(file)) << what;
        EXPECT_EQ(Listing(dir.path()), listing) << what << ": nothing was created";
    }
}

TEST(XMPFilesTest, BrokenInputFailsWithoutHarm) {
    TempDir dir;
    const fs::path jpeg = dir / "photo.jpg";
    CopySample("BlueSquare.jpg", jpeg);
    const std::string before = ReadFile(jpeg);
    const auto listing = Listing(dir.path());
    for (const char* text : {"", "not a packet", "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><broken"}) {
        EXPECT_EQ(XMPFiles::Write(IDFile(jpeg), text), Result::kCannotWrite) << text;
        EXPECT_EQ(ReadFile(jpeg), before) << text;
        EXPECT_EQ(Listing(dir.path()), listing) << text;
    }

    // A sidecar that is not a packet cannot be read, and is not mistaken for an empty one.
    const fs::path notes = dir / "notes.txt";
    WriteFile(notes, "text");
    WriteFile(dir / "notes.txt.xmp", "this is not XMP");
    std::string rdf;
    bool sidecar = false;
    EXPECT_EQ(XMPFiles::Read(IDFile(notes), &rdf, &sidecar), Result::kCannotRead);
    EXPECT_TRUE(rdf.empty());
}

TEST(XMPFilesTest, ReadOnlyFilesAreNotChanged) {
    TempDir dir;
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    AddTestSchema(xmp, "attempt", {"x"});
    const std::string packet = xmp->SerializePacket();
    const auto readOnly = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;

    // A packet that lives in the file.
    const fs::path jpeg = dir / "locked.jpg";
    CopySample("BlueSquare.jpg", jpeg);
    fs::permissions(jpeg, readOnly, fs::perm_options::replace);
    const std::string before = ReadFile(jpeg);
    const auto listing = Listing(dir.path());
    EXPECT_EQ(XMPFiles::Write(IDFile(jpeg), packet), Result::kCannotWrite);
    EXPECT_EQ(ReadFile(jpeg), before);
    EXPECT_EQ(Listing(dir.path()), listing) << "no sidecar, no temporary file";

    // A sidecar file that is read-only is not replaced; the file beside it is not touched
    // by a sidecar write, so its own permissions do not matter.
    const fs::path notes = dir / "notes.txt";
    WriteFile(notes, "text");
    fs::permissions(notes, readOnly, fs::perm_options::replace);
    ASSERT_EQ(XMPFiles::Write(IDFile(notes), packet), Result::kOK);
    const fs::path side = XMPFiles::SidecarFile(IDFile(notes)).Path();
    const std::string sidecarBytes = ReadFile(side);
    fs::permissions(side, readOnly, fs::perm_options::replace);
    AddTestSchema(xmp, "second attempt", {"y"});
    EXPECT_EQ(XMPFiles::Write(IDFile(notes), xmp->SerializePacket()), Result::kCannotWrite);
    EXPECT_EQ(ReadFile(side), sidecarBytes);
}

TEST(XMPFilesTest, AFileWithoutReadPermissionCannotBeRead) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not stop a privileged user";
    TempDir dir;
    const fs::path file = dir / "locked.jpg";
    CopySample("BlueSquare.jpg", file);
    fs::permissions(file, fs::perms::none, fs::perm_options::replace);
    std::string rdf;
    bool sidecar = false;
    EXPECT_EQ(XMPFiles::Read(IDFile(file), &rdf, &sidecar), Result::kCannotRead);
    EXPECT_FALSE(fs::exists(XMPFiles::SidecarFile(IDFile(file)).Path()));
}

// Changes the working folder for the test's life.
class InFolder {
public:
    explicit InFolder(const fs::path& p) : fOld(fs::current_path()) { fs::current_path(p); }
    ~InFolder() { fs::current_path(fOld); }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    fs::path fOld;
};

TEST(XMPFilesTest, RelativePathsAndLinks) {
    TempDir dir;
    fs::create_directory(dir / "t");
    CopySample("BlueSquare.jpg", dir / "t" / "z.jpg");
    fs::create_symlink("t/z.jpg", dir / "link.jpg");
    InFolder here(dir.path());

    // A one-letter first folder is the relative form exempi itself fails on.
    InterfacePtr<XMPPacketAccess> xmp = Load("t/z.jpg");
    AddTestSchema(xmp, "relative", {"r"});
    ASSERT_EQ(XMPFiles::Write(IDFile(fs::path("t/z.jpg")), xmp->SerializePacket()), Result::kOK);
    EXPECT_EQ(Get(Load(dir / "t" / "z.jpg"), kNS, "Title"), "relative");

    // Writing through a link updates the file it points to and leaves the link a link.
    AddTestSchema(xmp, "through the link", {"l"});
    ASSERT_EQ(XMPFiles::Write(IDFile(fs::path("link.jpg")), xmp->SerializePacket()), Result::kOK);
    EXPECT_TRUE(fs::is_symlink(dir / "link.jpg"));
    EXPECT_EQ(Get(Load(dir / "t" / "z.jpg"), kNS, "Title"), "through the link");
}

// The segments of a JPEG's header up to the image data: marker and whole segment bytes.
std::vector<std::pair<unsigned char, std::string>> JpegSegments(const std::string& jpeg) {
    std::vector<std::pair<unsigned char, std::string>> segments;
    size_t pos = 2;
    while (pos + 4 <= jpeg.size() && static_cast<unsigned char>(jpeg[pos + 1]) != 0xDA) {
        const size_t length =
            (static_cast<unsigned char>(jpeg[pos + 2]) << 8) | static_cast<unsigned char>(jpeg[pos + 3]);
        segments.emplace_back(static_cast<unsigned char>(jpeg[pos + 1]), jpeg.substr(pos, 2 + length));
        pos += 2 + length;
    }
    segments.emplace_back(0xDA, jpeg.substr(pos));
    return segments;
}

bool IsXMPSegment(const std::pair<unsigned char, std::string>& s) {
    return s.first == 0xE1 && s.second.compare(4, 29, std::string("http://ns.adobe.com/xap/1.0/\0", 29)) == 0;
}

// What the toolkit's JPEG handler reports as the file's packet (empty when none).
std::string HandlerPacket(const fs::path& file) {
    std::string packet;
    XmpFilePtr f = xmp_files_open_new(fs::absolute(file).c_str(),
                                      static_cast<XmpOpenFileOptions>(XMP_OPEN_READ | XMP_OPEN_ONLYXMP));
    if (!f) return "(cannot open)";
    XmpStringPtr raw = xmp_string_new();
    XmpPacketInfo info{};
    if (xmp_files_get_xmp_xmpstring(f, raw, &info)) packet.assign(xmp_string_cstr(raw), xmp_string_len(raw));
    xmp_string_free(raw);
    xmp_files_close(f, XMP_CLOSE_NOOPTION);
    xmp_files_free(f);
    return packet;
}

// A JPEG's packet is read from its header segments, for anything unusual by the toolkit's
// handler: either way the packet the handler would give.
TEST(XMPFilesTest, JPEGPacketsAreReadAsTheHandlerReadsThem) {
    ASSERT_TRUE(XMPPacketAccess::InitToolkit());
    const std::string sample = ReadFile(kSamples / "BlueSquare.jpg");
    const auto segments = JpegSegments(sample);
    auto rebuild = [&](const std::function<std::string(const std::pair<unsigned char, std::string>&)>& each) {
        std::string out = "\xFF\xD8";
        for (const auto& s : segments)
            out += each(s);
        return out;
    };
    struct Case {
        const char* name;
        std::string bytes;
        Result result;
    };
    const std::vector<Case> cases = {
        {"sample.jpg", sample, Result::kOK},
        {"upper.JPEG", sample, Result::kOK},
        {"none.jpg", rebuild([](const auto& s) { return IsXMPSegment(s) ? std::string() : s.second; }),
         Result::kNoPacket},
        {"two.jpg", rebuild([](const auto& s) { return IsXMPSegment(s) ? s.second + s.second : s.second; }),
         Result::kOK},
        {"fill.jpg", rebuild([](const auto& s) { return IsXMPSegment(s) ? "\xFF" + s.second : s.second; }),
         Result::kOK},
        {"garbage.jpg", rebuild([](const auto& s) {
             if (!IsXMPSegment(s)) return s.second;
             const std::string payload = std::string("http://ns.adobe.com/xap/1.0/\0", 29) + "<not a packet";
             return std::string("\xFF\xE1") + char((payload.size() + 2) >> 8) +
                    char((payload.size() + 2) & 0xFF) + payload;
         }),
         Result::kOK},
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        WriteFile(file, c.bytes);
        std::string rdf = "stale";
        bool sidecar = true;
        ASSERT_EQ(XMPFiles::Read(IDFile(file), &rdf, &sidecar), c.result);
        EXPECT_FALSE(sidecar) << "a JPEG keeps its packet in the file";
        EXPECT_EQ(rdf, HandlerPacket(file));
        EXPECT_EQ(ReadFile(file), c.bytes) << "reading changes nothing";
    }

    // A file without a packet takes one, which then reads back.
    const fs::path none = dir / "none.jpg";
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    AddTestSchema(xmp, "added", {"one"});
    ASSERT_EQ(XMPFiles::Write(IDFile(none), xmp->SerializePacket()), Result::kOK);
    EXPECT_EQ(Get(Load(none), kNS, "Title"), "added");
}

// A packet too large for one segment is split by the handler into extended segments; only
// the handler puts it together again.
TEST(XMPFilesTest, ExtendedJPEGPacketsAreReadWhole) {
    TempDir dir;
    const fs::path file = dir / "big.jpg";
    CopySample("BlueSquare.jpg", file);
    InterfacePtr<XMPPacketAccess> xmp = Load(file);
    const std::string big(150000, 'x');
    AddTestSchema(xmp, big, {"one", "two"});
    ASSERT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket()), Result::kOK);
    ASSERT_NE(ReadFile(file).find(std::string("http://ns.adobe.com/xmp/extension/\0", 35)), std::string::npos)
        << "the test needs an extended packet";
    InterfacePtr<XMPPacketAccess> back = Load(file);
    EXPECT_EQ(Get(back, kNS, "Title"), big);
    EXPECT_EQ(ItemNames(back), (std::vector<std::string>{"one", "two"}));
}

// An extended segment holding one part of a packet: `full` bytes in all, this part at `offset`.
std::string ExtendedSegment(uint32_t full, uint32_t offset, const std::string& part) {
    std::string payload = std::string("http://ns.adobe.com/xmp/extension/\0", 35) + std::string(32, 'A');
    for (uint32_t v : {full, offset})
        for (int shift = 24; shift >= 0; shift -= 8)
            payload += static_cast<char>((v >> shift) & 0xFF);
    payload += part;
    return std::string("\xFF\xE1") + char((payload.size() + 2) >> 8) + char((payload.size() + 2) & 0xFF) +
           payload;
}

// Extended segments claiming more than a packet may hold, or parts outside their packet, are
// refused before the toolkit's handler (which reserves the claimed length) sees the file:
// whatever the file is named, for reading and for writing, and the file stays as it was.
TEST(XMPFilesTest, ExtendedJPEGSegmentsBeyondThePacketLimitAreRefused) {
    ASSERT_TRUE(XMPPacketAccess::InitToolkit());
    const std::string sample = ReadFile(kSamples / "BlueSquare.jpg");
    const auto segments = JpegSegments(sample);
    auto with = [&](const std::string& extra) {
        std::string out = "\xFF\xD8";
        for (const auto& s : segments)
            out += s.second + (IsXMPSegment(s) ? extra : std::string());
        return out;
    };
    const std::string part(100, 'x');
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string truncated = with("");
    truncated = truncated.substr(0, truncated.find("\xFF\xDA")) + ExtendedSegment(1800000000u, 0, part);
    truncated.resize(truncated.size() - part.size() - 6); // cut inside the full length
    const std::vector<Case> cases = {
        {"huge.jpg", with(ExtendedSegment(1800000000u, 0, part))},
        {"huge-named-otherwise.dat", with(ExtendedSegment(1800000000u, 0, part))},
        {"just-over.jpg", with(ExtendedSegment(64 * 1024 * 1024 + 1, 0, part))},
        {"offset-outside.jpg", with(ExtendedSegment(1000, 950, part))},
        {"second-part-huge.jpg", with(ExtendedSegment(100, 0, part) + ExtendedSegment(4000000000u, 0, part))},
        {"truncated.jpg", truncated},
    };
    TempDir dir;
    InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
    AddTestSchema(xmp, "new", {"one"});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        WriteFile(file, c.bytes);
        std::string rdf = "stale";
        bool sidecar = false;
        EXPECT_EQ(XMPFiles::Read(IDFile(file), &rdf, &sidecar), Result::kCannotRead);
        EXPECT_EQ(rdf, "");
        EXPECT_EQ(XMPFiles::Write(IDFile(file), xmp->SerializePacket()), Result::kCannotWrite);
        EXPECT_FALSE(XMPFiles::UsesSidecar(IDFile(file)));
        EXPECT_EQ(ReadFile(file), c.bytes);
        EXPECT_FALSE(fs::exists(XMPFiles::SidecarFile(IDFile(file)).Path()));
    }
    // A part that fits its claimed length is for the handler to judge, as before.
    const fs::path fits = dir / "fits.jpg";
    WriteFile(fits, with(ExtendedSegment(100, 0, part)));
    std::string rdf;
    bool sidecar = false;
    EXPECT_EQ(XMPFiles::Read(IDFile(fits), &rdf, &sidecar), Result::kOK);
}

// `brindle packages` reads files on several threads at once, each with packets of its own:
// every thread must read and parse what one thread alone does.
TEST(XMPFilesTest, FilesReadAndParseOnSeveralThreadsAtOnce) {
    ASSERT_TRUE(XMPPacketAccess::InitToolkit());
    std::vector<fs::path> files;
    for (const char* name : {"BlueSquare.jpg", "BlueSquare.png", "BlueSquare.tif", "BlueSquare.psd",
                             "BlueSquare.pdf", "BlueSquare.gif"})
        files.push_back(kSamples / name);
    auto readAll = [&]() {
        std::vector<std::string> packets;
        for (const fs::path& f : files) {
            std::string rdf;
            bool sidecar = false;
            InterfacePtr<XMPPacketAccess> xmp(new XMPPacketAccess());
            if (XMPFiles::Read(IDFile(f), &rdf, &sidecar) != Result::kOK || !xmp->ParsePacket(rdf)) {
                packets.push_back("(unread)");
                continue;
            }
            XMPTree tree;
            xmp->ReadNamespaceTree("http://purl.org/dc/elements/1.1/", &tree);
            packets.push_back(xmp->SerializePacket() +
                              std::to_string(tree.Count(tree.Field(XMPTree::Root(), "subject"))));
        }
        return packets;
    };
    const std::vector<std::string> alone = readAll();
    ASSERT_NE(alone[0], "(unread)");
    std::vector<std::vector<std::string>> results(4);
    std::vector<std::thread> threads;
    for (auto& r : results)
        threads.emplace_back([&r, &readAll] {
            for (int round = 0; round < 10 && (r.empty() || r == readAll()); ++round)
                r = readAll();
        });
    for (std::thread& t : threads)
        t.join();
    for (const auto& r : results)
        EXPECT_EQ(r, alone);
}

} // namespace
