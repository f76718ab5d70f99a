// Layout packages and story files as documents: `brindle apply`, `set`, `stories` and `key` on
// real files, checked with independent readers (unzip, Python's XML parser, exiftool).
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <map>
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
using testsupport::WriteFile;

namespace {

const fs::path kData = fs::path(BRINDLE_TEST_DATA);

class StoryCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string lib;
        for (const auto& e : fs::directory_iterator(SamplesLibrary()))
            if (e.path().extension() == ".xml") lib += " " + Quote(e.path());
        ASSERT_EQ(Run("library import" + lib), 0) << fErr;
    }
    int Run(const std::string& args, std::string* out = nullptr) {
        return RunBrindle("--home " + Quote(fHome.path()) + " --user ci " + args, out, &fErr);
    }
    fs::path Copy(const fs::path& from) {
        const fs::path to = fDir / from.filename().string();
        fs::copy_file(from, to);
        fs::permissions(to, fs::perms::owner_write, fs::perm_options::add);
        return to;
    }
    TempDir fHome, fDir;
    std::string fErr;
};

// Name, method and CRC of each entry, in order (zipinfo's verbose listing, one line each).
std::vector<std::string> Entries(const fs::path& zip) {
    std::istringstream in(CaptureOutput("zipinfo -1 " + Quote(zip)));
    std::vector<std::string> names;
    for (std::string line; std::getline(in, line);)
        names.push_back(line);
    return names;
}

// The compression method column of a zipinfo line ("stor", "defX", ...).
std::string Method(const std::string& line) {
    std::istringstream in(line);
    std::string field;
    for (int i = 0; i < 6 && in >> field; ++i) {
    }
    return field;
}

std::string Entry(const fs::path& zip, const std::string& name) {
    return CaptureOutput("unzip -p " + Quote(zip) + " " + Quote(name));
}

// The story's own packet, read with Python's XML parser: the text of
// Story/MetadataPacketPreference/Properties/Contents directly under the story.
std::string StoryPacket(const fs::path& xmlFile) {
    return CaptureOutput("python3 -c " +
                         Quote("import sys, xml.etree.ElementTree as E\n"
                               "r = E.parse(sys.argv[1]).getroot()\n"
                               "s = r.find('Story')\n"
                               "c = s.find('MetadataPacketPreference/Properties/Contents')\n"
                               "sys.stdout.write(c.text if c is not None else '')") +
                         " " + Quote(xmlFile));
}

// exiftool's reading of a packet.
std::string ExifTool(const fs::path& dir, const std::string& packet) {
    const fs::path f = dir / "packet.xmp";
    WriteFile(f, packet);
    return CaptureOutput("exiftool -a -G1 -s " + Quote(f));
}

// An assignment of three stories of the 24-story sample, with their story files, added to
// designmap.xml (no public sample holds one).
void AddAssignment(const fs::path& idml, const fs::path& work) {
    std::string map = Entry(idml, "designmap.xml");
    const std::string add =
        "\t<Assignment Self=\"uas1\" Name=\"Safety\" UserName=\"jane\" ExportOptions=\"AssignedSpreads\" "
        "IncludeLinksWhenPackage=\"true\" FilePath=\"file:" +
        (work / "Safety.icma").string() +
        "\">\n"
        "\t\t<AssignedStory Self=\"uas2\" StoryReference=\"u1043a\" FilePath=\"file:" +
        (work / "A.icml").string() +
        "\" />\n\t\t<AssignedStory Self=\"uas3\" StoryReference=\"u10482\" FilePath=\"file:" +
        (work / "B.icml").string() +
        "\" />\n\t\t<AssignedStory Self=\"uas4\" StoryReference=\"u10594\" FilePath=\"file:" +
        (work / "C.icml").string() + "\" />\n\t</Assignment>\n</Document>";
    map.replace(map.rfind("</Document>"), 11, add);
    WriteFile(work / "designmap.xml", map);
    ASSERT_EQ(std::system(("cd " + Quote(work) + " && zip -q " + Quote(idml) + " designmap.xml").c_str()), 0);
    fs::remove(work / "designmap.xml");
}

TEST_F(StoryCommandTest, PackageRoundTripChangesOnlyTheEntriesWritten) {
    const fs::path idml = Copy(kData / "idml" / "4_story_pointers.idml");
    TempDir work;
    AddAssignment(idml, work.path());
    const fs::path before = fDir / "before.idml";
    fs::copy_file(idml, before);
    const std::vector<std::string> stories = {"u1043a", "u10482", "u10594"};

    ASSERT_EQ(Run("apply " + Quote(idml) + " Production"), 0) << fErr;
    ASSERT_EQ(Run("apply " + Quote(idml) + " Production --story u1043a --story u10482 --frame u10591"), 0)
        << fErr;
    ASSERT_EQ(Run("set " + Quote(idml) + " 'Job number=4711'"), 0) << fErr;
    ASSERT_EQ(Run("set " + Quote(idml) + " 'Job number=815' --story u1043a --story u10482 --story u10594"), 0)
        << fErr;

    EXPECT_NE(CaptureOutput("unzip -t " + Quote(idml)).find("No errors detected"), std::string::npos);
    const std::string first = CaptureOutput("zipinfo " + Quote(idml) + " | sed -n 3p");
    EXPECT_NE(first.find(" stor "), std::string::npos) << first;
    EXPECT_NE(first.find("mimetype"), std::string::npos) << first;
    ASSERT_EQ(Entries(idml), Entries(before));

    // Our values, read by exiftool from the document's packet and from each story's packet;
    // the toolkit name each packet had stays (the one that wrote it, not ours).
    auto toolkit = [&](const std::string& exiftool) {
        std::istringstream in(exiftool);
        for (std::string l; std::getline(in, l);)
            if (l.find("[XMP-x]") == 0 && l.find(" XMPToolkit ") != std::string::npos) return l;
        return std::string("(none)");
    };
    const std::string document = ExifTool(work.path(), Entry(idml, "META-INF/metadata.xml"));
    EXPECT_NE(document.find("4711"), std::string::npos);
    EXPECT_EQ(toolkit(document), toolkit(ExifTool(work.path(), Entry(before, "META-INF/metadata.xml"))));
    for (const std::string& s : stories) {
        const fs::path x = work / "story.xml";
        WriteFile(x, Entry(before, "Stories/Story_" + s + ".xml"));
        const std::string was = toolkit(ExifTool(work.path(), StoryPacket(x)));
        WriteFile(x, Entry(idml, "Stories/Story_" + s + ".xml"));
        const std::string packet = ExifTool(work.path(), StoryPacket(x));
        EXPECT_NE(packet.find("815"), std::string::npos) << s;
        EXPECT_EQ(toolkit(packet), was) << s;
    }
    // Every other entry keeps its bytes, and its compression (zipinfo's method column).
    std::istringstream listing(CaptureOutput("zipinfo " + Quote(before)));
    std::istringstream after(CaptureOutput("zipinfo " + Quote(idml)));
    std::map<std::string, std::string> methodBefore, methodAfter;
    for (std::string l; std::getline(listing, l);)
        if (l.size() > 40) methodBefore[l.substr(l.rfind(' ') + 1)] = l.substr(0, 40);
    for (std::string l; std::getline(after, l);)
        if (l.size() > 40) methodAfter[l.substr(l.rfind(' ') + 1)] = l.substr(0, 40);
    // Both packages extracted whole (one unzip each), then compared entry by entry.
    ASSERT_EQ(std::system(("unzip -q " + Quote(idml) + " -d " + Quote(work.path() / "a")).c_str()), 0);
    ASSERT_EQ(std::system(("unzip -q " + Quote(before) + " -d " + Quote(work.path() / "b")).c_str()), 0);
    for (const std::string& name : Entries(before)) {
        bool changed = name == "META-INF/metadata.xml";
        for (const std::string& s : stories)
            changed = changed || name == "Stories/Story_" + s + ".xml";
        if (changed) continue;
        EXPECT_EQ(ReadFile(work.path() / "a" / name), ReadFile(work.path() / "b" / name)) << name;
        EXPECT_EQ(Method(methodAfter[name]), Method(methodBefore[name])) << name;
    }
    // The story packets that were there keep their other properties.
    EXPECT_NE(ExifTool(work.path(), StoryPacket([&] {
                           WriteFile(work / "s.xml", Entry(idml, "Stories/Story_u1043a.xml"));
                           return work / "s.xml";
                       }()))
                  .find("Safety First V2"),
              std::string::npos);
}

TEST_F(StoryCommandTest, StoriesListFramesAssignmentsAndLocks) {
    const fs::path idml = Copy(kData / "idml" / "4_story_pointers.idml");
    TempDir work;
    AddAssignment(idml, work.path());
    // B.icml is checked out: its lock file lies beside it.
    WriteFile(work / "B.icml", "<Document/>");
    WriteFile(work / "~b~abc123.idlk", "");
    std::string out;
    ASSERT_EQ(Run("stories --json " + Quote(idml), &out), 0) << fErr;
    auto story = [&](const std::string& id) {
        const size_t at = out.find("\"id\": \"" + id + "\"");
        EXPECT_NE(at, std::string::npos) << id;
        const size_t open = out.rfind('{', at);
        return out.substr(open, out.find('}', at) - open);
    };
    EXPECT_NE(story("u1043a").find("\"assignment\": \"Safety\""), std::string::npos);
    EXPECT_NE(story("u1043a").find("\"exported\": true"), std::string::npos);
    EXPECT_NE(story("u1043a").find("\"locked\": false"), std::string::npos);
    EXPECT_NE(story("u10482").find("\"locked\": true"), std::string::npos);
    EXPECT_NE(story("u1139d").find("\"exported\": false"), std::string::npos);
    EXPECT_NE(story("u1139d").find("uaaac"), std::string::npos); // its text frame
    // A locked story refuses the package; nothing is written.
    const std::string bytes = ReadFile(idml);
    EXPECT_EQ(Run("apply " + Quote(idml) + " Production --story u10482"), 1);
    EXPECT_NE(fErr.find("alert:"), std::string::npos);
    EXPECT_EQ(ReadFile(idml), bytes);
    // So does a story that was never handed out, and an id the file does not have.
    EXPECT_EQ(Run("apply " + Quote(idml) + " Production --story u1139d"), 1);
    EXPECT_EQ(Run("set " + Quote(idml) + " 'Job number=1' --story nosuch"), 1);
    EXPECT_EQ(ReadFile(idml), bytes);
}

// Packets that are not the story's own (a placed image's) are never taken nor changed.
TEST_F(StoryCommandTest, OnlyTheStorysOwnPacketIsWritten) {
    auto count = [](const std::string& s, const std::string& what) {
        size_t n = 0;
        for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1))
            ++n;
        return n;
    };
    TempDir work;
    const fs::path idml = Copy(kData / "idml" / "magazineA-bloc-notes.idml");
    const std::string storyBefore = Entry(idml, "Stories/Story_u11b.xml");
    ASSERT_EQ(Run("--edition text apply " + Quote(idml) + " Production --story u11b"), 0) << fErr;
    const std::string storyAfter = Entry(idml, "Stories/Story_u11b.xml");
    WriteFile(work / "s.xml", storyAfter);
    const std::string own = StoryPacket(work / "s.xml");
    EXPECT_NE(own.find("Production"), std::string::npos);
    EXPECT_EQ(own.find("photoshop"), std::string::npos);
    EXPECT_EQ(count(storyAfter, "photoshop:"), count(storyBefore, "photoshop:"));

    const fs::path icml = Copy(kData / "icml" / "CDATA_Test.icml");
    const std::string before = ReadFile(icml);
    std::string out;
    ASSERT_EQ(Run("dump-xmp " + Quote(icml), &out), 0);
    EXPECT_EQ(out.find("photoshop"), std::string::npos);
    ASSERT_EQ(Run("apply " + Quote(icml) + " Production"), 0) << fErr;
    const std::string after = ReadFile(icml);
    EXPECT_EQ(StoryPacket(icml).find("photoshop"), std::string::npos);
    EXPECT_EQ(count(after, "photoshop:"), count(before, "photoshop:"));
}

TEST_F(StoryCommandTest, StoryFilesRoundTripInPlace) {
    for (const char* name :
         {"icml/Bullets_Test_EN.icml", "icml/CDATA_Test.icml", "icml/321950.icml", "icml/Test01.wcml"}) {
        const fs::path f = Copy(kData / name);
        const std::string before = ReadFile(f);
        ASSERT_EQ(Run("apply " + Quote(f) + " Production"), 0) << name << fErr;
        ASSERT_EQ(Run("set " + Quote(f) + " 'Job number=31'"), 0) << name << fErr;
        std::string key;
        ASSERT_EQ(Run("key " + Quote(f), &key), 0);
        EXPECT_EQ(key, "IC-+-Production-+-7\n") << name;
        // A plain XML parser finds our value in the story's own packet.
        const std::string after = ReadFile(f);
        if (std::string(name).find(".wcml") == std::string::npos) {
            const std::string packet = StoryPacket(f);
            EXPECT_NE(packet.find("31"), std::string::npos) << name;
            EXPECT_NE(packet.find("Production"), std::string::npos) << name;
        }
        // The packet's toolkit name is the one the file had.
        const std::string tk = "x:xmptk=";
        const size_t was = before.find(tk, before.find("<Story ")), now = after.find(tk, after.find("<Story "));
        auto name_at = [&](const std::string& s, size_t at) {
            return at == std::string::npos ? std::string() : s.substr(at, s.find(s[at + tk.size()], at + tk.size() + 1) - at);
        };
        if (was != std::string::npos) {
            EXPECT_EQ(name_at(after, now), name_at(before, was)) << name;
        }
        // Everything up to the story is as it was.
        const size_t at = before.find("<Story ");
        ASSERT_NE(at, std::string::npos);
        EXPECT_EQ(after.substr(0, at), before.substr(0, at)) << name;
    }
}

// check --story and --frame check the named stories instead of the document; each entry
// names its story, and a story the file lacks is an input error.
TEST_F(StoryCommandTest, CheckTheNamedStories) {
    const fs::path idml = Copy(kData / "idml" / "4_story_pointers.idml");
    const fs::path icml = Copy(kData / "icml" / "CDATA_Test.icml");
    ASSERT_EQ(Run("--edition text apply " + Quote(idml) + " Production --story u1043a"), 0) << fErr;
    struct Case {
        std::string args;
        int code;
        std::vector<std::string> found, absent;
    } cases[] = {
        {"check --json " + Quote(idml) + " --story u1043a --story u10482",
         0,
         {"\"story\": \"u1043a\"", "\"story\": \"u10482\"", "#u10482"},
         {"\"story\": \"u10594\""}},
        {"check " + Quote(idml) + " --frame u10591", 0, {"#u10594: no packages"}, {"#u1043a"}},
        {"check " + Quote(idml) + " --story nosuch", 1, {}, {"#"}},
        {"check --json " + Quote(icml) + " --frame u10591", 1, {"\"errors\""}, {"\"story\""}},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Run(c.args, &out), c.code) << c.args << fErr;
        for (const std::string& f : c.found)
            EXPECT_NE(out.find(f), std::string::npos) << c.args << " lacks " << f << "\n" << out;
        for (const std::string& a : c.absent)
            EXPECT_EQ(out.find(a), std::string::npos) << c.args << " has " << a << "\n" << out;
    }
}

} // namespace
