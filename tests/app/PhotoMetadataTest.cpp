// `brindle apply` on photos that carry native metadata of every kind: the write changes our
// namespace and nothing else that exiftool reports, and the image data stays byte for byte.
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::CaptureOutput;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;

namespace {

const fs::path kSamples = fs::path(BRINDLE_TEST_DATA) / "xmp-files";

// exiftool's full tag list (every group, duplicates kept, values as numbers) of each file:
// "[group] tag: value" lines, by file name.
std::map<std::string, std::multiset<std::string>> TagLists(const std::vector<fs::path>& files) {
    std::string cmd = "exiftool -a -G1 -s -n";
    for (const fs::path& f : files)
        cmd += " " + Quote(f);
    std::istringstream out(CaptureOutput(cmd + " 2>&1"));
    std::map<std::string, std::multiset<std::string>> lists;
    std::string line, current = files.size() == 1 ? files[0].filename().string() : "";
    while (std::getline(out, line)) {
        if (line.rfind("======== ", 0) == 0) {
            current = fs::path(line.substr(9)).filename().string();
            continue;
        }
        if (line.empty() || line[0] != '[') continue;
        lists[current].insert(line);
    }
    return lists;
}

std::string Group(const std::string& line) {
    return line.substr(1, line.find(']') - 1);
}

// The lines that are about the file rather than its metadata, or that are ours.
bool Ignored(const std::string& line) {
    const std::string g = Group(line);
    return g == "System" || g == "ExifTool" || g == "XMP-dunmoreBRN";
}

std::multiset<std::string> Kept(const std::multiset<std::string>& lines) {
    std::multiset<std::string> kept;
    for (const auto& l : lines)
        if (!Ignored(l)) kept.insert(l);
    return kept;
}

std::vector<std::string> Diff(const std::multiset<std::string>& a, const std::multiset<std::string>& b) {
    std::vector<std::string> out;
    for (const auto& l : a)
        if (!b.count(l)) out.push_back("- " + l);
    for (const auto& l : b)
        if (!a.count(l)) out.push_back("+ " + l);
    return out;
}

uint32_t Be32(const std::string& b, size_t at) {
    return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
           uint32_t(uint8_t(b[at + 2])) << 8 | uint32_t(uint8_t(b[at + 3]));
}

// The bytes of the image itself: a JPEG's scan to its end; a PSD's layers and image data
// (everything after the image resources); a TIFF's strips, by the offsets exiftool lists.
std::string ImageData(const std::string& ext, const std::string& bytes,
                      const std::multiset<std::string>& tags) {
    if (ext == "jpg") {
        size_t pos = 2;
        while (pos + 4 <= bytes.size() && uint8_t(bytes[pos + 1]) != 0xDA)
            pos += 2 + ((uint8_t(bytes[pos + 2]) << 8) | uint8_t(bytes[pos + 3]));
        return bytes.substr(pos);
    }
    if (ext == "psd") {
        const size_t resources = 26 + 4 + Be32(bytes, 26);
        return bytes.substr(resources + 4 + Be32(bytes, resources));
    }
    std::vector<uint64_t> offsets, counts;
    for (const auto& l : tags) {
        auto values = [&](std::vector<uint64_t>* into) {
            std::istringstream in(l.substr(l.find(':') + 1));
            uint64_t v;
            while (in >> v)
                into->push_back(v);
        };
        if (l.rfind("[IFD0]", 0) == 0 && l.find(" StripOffsets ") != std::string::npos) values(&offsets);
        if (l.rfind("[IFD0]", 0) == 0 && l.find(" StripByteCounts ") != std::string::npos) values(&counts);
    }
    std::string data;
    for (size_t i = 0; i < offsets.size() && i < counts.size(); ++i)
        data += bytes.substr(offsets[i], counts[i]);
    return data;
}

class PhotoMetadataTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string args = "library import";
        for (const char* name : {"Photo Rights_ID.xml", "Production_ID.xml"})
            args += " " + Quote(SamplesLibrary() / name);
        ASSERT_EQ(Run(args), 0) << fErr;
    }
    int Run(const std::string& args) {
        fErr.clear();
        return RunBrindle("--home " + Quote(fHome.path()) + " --user ci " + args, nullptr, &fErr);
    }
    TempDir fDir, fHome;
    std::string fErr;
};

// Photos as a camera and a picture desk leave them: Exif (with a thumbnail and an ICC
// profile in the JPEG), IPTC, Photoshop's copyright flag, and XMP copies of native values.
TEST_F(PhotoMetadataTest, ApplyingPackagesChangesOnlyOurNamespace) {
    // Each format twice: with its packet, and without any (the packet is added).
    const std::vector<std::string> formats = {"jpg", "tif", "psd", "jpg", "tif", "psd"};
    std::vector<fs::path> files;
    for (size_t i = 0; i < formats.size(); ++i) {
        const std::string& ext = formats[i];
        const fs::path f = fDir / ((i < 3 ? "photo." : "bare.") + ext);
        fs::copy_file(kSamples / ("BlueSquare." + ext), f);
        fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
        files.push_back(f);
    }
    std::string cmd =
        "exiftool -q -overwrite_original -m"
        " '-IFD0:Artist=Ann Lens' '-IFD0:Copyright=(c) 2024 Harbour Photo' '-IFD0:ImageDescription=Boats at "
        "dawn'"
        " '-ExifIFD:DateTimeOriginal=2024:05:06 07:08:09' '-ExifIFD:UserComment=shot from the pier'"
        " -IPTC:Keywords=harbour -IPTC:Keywords=boats '-IPTC:By-line=Ann Lens'"
        " '-IPTC:Caption-Abstract=Boats at dawn' -Photoshop:CopyrightFlag=1"
        " '-IFD0:Make=Harbour Cam' '-XMP-tiff:Make=Harbour Cam' '-XMP-exif:DateTimeOriginal=2024:05:06 "
        "07:08:09'"
        " '-XMP-dc:Rights=(c) 2024 Harbour Photo' '-XMP-photoshop:Credit=Harbour Photo'";
    for (const fs::path& f : files)
        cmd += " " + Quote(f);
    int status = 0;
    CaptureOutput(cmd, &status);
    ASSERT_EQ(status, 0);
    CaptureOutput("exiftool -q -overwrite_original -XMP:all= " + Quote(files[3]) + " " + Quote(files[4]) +
                      " " + Quote(files[5]),
                  &status);
    ASSERT_EQ(status, 0);

    auto before = TagLists(files);
    std::vector<std::string> bytesBefore;
    for (const fs::path& f : files)
        bytesBefore.push_back(ReadFile(f));
    for (size_t i = 0; i < files.size(); ++i) {
        ASSERT_TRUE(before[files[i].filename().string()].count(
            "[IFD0]          Artist                          : Ann Lens"))
            << formats[i] << ": the fixture carries its native values";
        // Both packages: every field type, each apply a write that outgrows the old padding.
        for (const char* package : {"Photo Rights", "Production"})
            ASSERT_EQ(Run("apply " + Quote(files[i]) + " " + Quote(package)), 0)
                << formats[i] << ": " << fErr;
        EXPECT_FALSE(fs::exists(fs::path(files[i].string() + ".xmp"))) << formats[i];
    }

    auto after = TagLists(files);
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(files[i].filename().string());
        const auto& was = before[files[i].filename().string()];
        const auto& now = after[files[i].filename().string()];
        bool ours = false;
        for (const auto& l : now)
            ours = ours || Group(l) == "XMP-dunmoreBRN";
        EXPECT_TRUE(ours) << "exiftool sees the packages";
        const auto diff = Diff(Kept(was), Kept(now));
        std::string shown;
        for (const auto& d : diff)
            shown += d + "\n";
        EXPECT_TRUE(diff.empty()) << "changed outside our namespace:\n" << shown;
        EXPECT_TRUE(ImageData(formats[i], bytesBefore[i], was) ==
                    ImageData(formats[i], ReadFile(files[i]), now))
            << "the image data is byte for byte the same";
        EXPECT_FALSE(ImageData(formats[i], bytesBefore[i], was).empty());
    }
}

// The real samples of every format whose packet lives in the file, each given both packages
// (a write that outgrows the old padding): exiftool's full tag list differs only in our
// namespace, the packet's toolkit name included (the layout document goes through the
// toolkit's own handler, which writes its own name; a story file's packet is ours).
TEST_F(PhotoMetadataTest, RealSamplesOfEveryFormatChangeOnlyOurNamespace) {
    struct Case {
        std::string ext;
        fs::path source;
    };
    const fs::path data = fs::path(BRINDLE_TEST_DATA);
    std::vector<Case> cases;
    for (const char* ext : {"jpg", "tif", "psd", "png", "gif", "indd", "pdf", "ai"})
        cases.push_back({ext, kSamples / (std::string("BlueSquare.") + ext)});
    cases.push_back({"icml", data / "icml" / "CDATA_Test.icml"});
    std::vector<fs::path> files;
    for (const Case& c : cases) {
        const fs::path f = fDir / ("sample." + c.ext);
        fs::copy_file(c.source, f);
        fs::permissions(f, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace);
        files.push_back(f);
    }
    auto before = TagLists(files);
    std::vector<std::string> bytesBefore;
    for (const fs::path& f : files)
        bytesBefore.push_back(ReadFile(f));
    for (size_t i = 0; i < files.size(); ++i)
        for (const char* package : {"Photo Rights", "Production"})
            ASSERT_EQ(Run("apply " + Quote(files[i]) + " " + Quote(package)), 0)
                << cases[i].ext << ": " << fErr;
    auto after = TagLists(files);
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(cases[i].ext);
        EXPECT_FALSE(fs::exists(fs::path(files[i].string() + ".xmp")));
        const auto& now = after[files[i].filename().string()];
        bool ours = false;
        for (const auto& l : now)
            ours = ours || Group(l) == "XMP-dunmoreBRN";
        EXPECT_TRUE(ours) << "exiftool sees the packages";
        std::string shown;
        for (const auto& d : Diff(Kept(before[files[i].filename().string()]), Kept(now)))
            // An update appended to a linearized PDF leaves it no longer linearized.
            if (!(d.find("[PDF]") != std::string::npos && d.find(" Linearized ") != std::string::npos))
                shown += d + "\n";
        EXPECT_EQ(shown, "") << "changed outside our namespace";
        if (cases[i].ext == "pdf" || cases[i].ext == "ai") {
            EXPECT_TRUE(ReadFile(files[i]).compare(0, bytesBefore[i].size(), bytesBefore[i]) == 0)
                << "the original bytes stay the prefix";
            int status = -1;
            CaptureOutput("qpdf --check " + Quote(files[i]) + " 2>&1", &status);
            EXPECT_EQ(status, 0) << "qpdf --check";
        }
    }
}

} // namespace
