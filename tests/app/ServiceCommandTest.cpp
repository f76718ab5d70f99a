// The `brindle key`, `xml`, `expand` and `set` commands, run as the built program on copies of
// the sample documents; what `set` wrote is read back by `brindle packages` and by exiftool.
#include "files/BRNXMLImporter.h"
#include "io/StreamUtil.h"
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using nlohmann::json;
using testsupport::RunBrindle;
using testsupport::TempDir;

namespace {

struct Result {
    int code = -1;
    std::string out, err;
};

fs::path Sample(const std::string& name) {
    return fs::path(BRINDLE_SOURCE_DIR) / "samples/documents" / name;
}

bool HaveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

class ServiceCommandTest : public ::testing::Test {
protected:
    // A writable copy of a sample (with its sidecar, when it has one).
    fs::path Copy(const std::string& sample) {
        for (const std::string& name : {sample, sample + ".xmp"}) {
            if (!fs::exists(Sample(name))) continue;
            fs::copy_file(Sample(name), fDir / name);
            fs::permissions(fDir / name, fs::perms::owner_read | fs::perms::owner_write);
        }
        return fDir / sample;
    }
    Result Run(const std::string& args) {
        Result r;
        r.code = RunBrindle("--home " + Quote(fHome.path().string()) + " " + args, &r.out, &r.err);
        return r;
    }
    // The fields of the first package, by name, as `brindle packages --json` shows them.
    json Fields(const fs::path& file) {
        Result r = Run("packages --json " + Quote(file.string()));
        EXPECT_EQ(r.code, 0) << r.err;
        const json all = json::parse(r.out);
        json byName;
        for (const json& f : all["documents"][0]["packages"][0]["fields"])
            byName[f["name"].get<std::string>()] = f;
        return byName;
    }

    TempDir fDir;
    TempDir fHome;
};

TEST_F(ServiceCommandTest, KeyAndXmlOfTheSampleDocuments) {
    const struct {
        const char* sample;
        const char* key;
    } cases[] = {
        {"Editorial-BlueSquare.jpg", "ID-+-Editorial-+-3"},
        {"Editorial-BlueSquare.png", "ID-+-Editorial-+-3"},
        {"Editorial-BlueSquare.pdf", "ID-+-Editorial-+-3"},
        {"Plain-BlueSquare.jpg", ""},
    };
    for (const auto& c : cases) {
        const fs::path file = Copy(c.sample);
        Result r = Run("key " + Quote(file.string()));
        ASSERT_EQ(r.code, 0) << c.sample << r.err;
        EXPECT_EQ(r.out, std::string(c.key) + "\n") << c.sample;
        r = Run("key --json " + Quote(file.string()));
        EXPECT_EQ(json::parse(r.out), (json{{"file", file.string()}, {"key", c.key}})) << c.sample;

        r = Run("xml " + Quote(file.string()));
        ASSERT_EQ(r.code, 0) << c.sample << r.err;
        if (*c.key == 0) {
            EXPECT_EQ(r.out, "<xmp />\n");
            continue;
        }
        EXPECT_EQ(r.out.rfind("<brindle version=\"1\">", 0), 0u) << r.out.substr(0, 100);
        ASSERT_GT(r.out.size(), 11u);
        EXPECT_EQ(r.out.substr(r.out.size() - 11), "</brindle>\n");
        // It reads back as the package the document holds.
        BRNPackage read;
        InterfacePtr<IPMStream> in(StreamUtil::CreateMemoryStreamRead(testsupport::ToUTF16(r.out)));
        ASSERT_EQ(BRNXMLImporter::LoadXML(read, in), 0);
        EXPECT_EQ(read.GetName().GetUTF8String(), "Editorial");
        EXPECT_EQ(read.GetVersion(), 3u);
        ASSERT_EQ(read.GetFields().size(), 13u);
        EXPECT_EQ(read.GetFields()[0].GetValue().GetUTF8String(), "Blue squares take over the city");
    }
    Result r = Run("key " + Quote((fDir / "missing.jpg").string()));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("missing.jpg"), std::string::npos) << r.err;
}

TEST_F(ServiceCommandTest, ExpandFillsTheTagsFromTheDocumentAndRefusesFaults) {
    const fs::path file = Copy("Editorial-BlueSquare.jpg");
    const fs::path plain = Copy("Plain-BlueSquare.jpg");
    const std::string before = testsupport::ReadFile(file);
    const struct {
        fs::path file;
        std::string args;
        int code;
        std::string out;   // the whole output when the command succeeds
        std::string error; // part of the error output otherwise
    } cases[] = {
        {file, "'No. <cvbrindle:IssueNo format=\"%03d\"/>: <cvbrindle:Headline/>'", 0,
         "No. 014: Blue squares take over the city\n", ""},
        {file,
         "'<cvbrindle:package/> v<cvbrindle:version/>, <cvbrindle:StoryID/>, <cvbrindle:PubDate "
         "substring=\"0,4\"/>'",
         0, "Editorial v3, ED-2026-014-Cul, 2026\n", ""},
        {file, "'q=<cvbrindle:Author/>' --escape", 0, "q=Eva+Lund%3B+Jon+Berg\n", ""},
        {file, "'nothing to fill'", 0, "nothing to fill\n", ""},
        {file, "'<cvbrindle:Issue number/>'", 1, "", "The package offers no such tag: <cvbrindle:Issue/>"},
        {file, "'<cvbrindle:Nope>'", 1, "", "alert: The package offers no such tag: <cvbrindle:Nope>"},
        {file, "'<cvbrindle:IssueNo'", 1, "", "The template holds a tag that is not well formed."},
        {plain, "'<cvbrindle:package/>'", 1, "", "holds no packages"},
    };
    for (const auto& c : cases) {
        Result r = Run("expand " + Quote(c.file.string()) + " " + c.args);
        EXPECT_EQ(r.code, c.code) << c.args << "\n" << r.err;
        if (c.code == 0) {
            EXPECT_EQ(r.out, c.out) << c.args;
        } else {
            EXPECT_EQ(r.out, "") << c.args;
            EXPECT_NE(r.err.find(c.error), std::string::npos) << c.args << "\n" << r.err;
        }
    }
    Result r = Run("expand --json " + Quote(file.string()) + " '<cvbrindle:Section/>'");
    EXPECT_EQ(json::parse(r.out), (json{{"file", file.string()}, {"text", "Culture"}}));
    r = Run("expand --json " + Quote(file.string()) + " '<cvbrindle:Nope/>'");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(json::parse(r.out), (json{{"file", file.string()},
                                        {"error", "The package offers no such tag: <cvbrindle:Nope/>"}}));
    EXPECT_EQ(testsupport::ReadFile(file), before) << "expand writes nothing";
}

TEST_F(ServiceCommandTest, SetRefusesTheWholeCallOnTheFirstBadValueAndLeavesTheFileAsItWas) {
    const fs::path file = Copy("Editorial-BlueSquare.jpg");
    const std::string before = testsupport::ReadFile(file);
    const struct {
        std::string args;
        std::string error;
    } cases[] = {
        {"'Issue number=fourteen'",
         "field \"Issue number\" of Editorial: \"fourteen\": Please enter a whole number."},
        {"'Publication date=17.04.2026'", "The date of Publication date is not valid"},
        {"'Copy deadline=2026/04/10,soon'", "The date of Executed is not valid"},
        {"'Copy deadline=a,b,c,d'", "planned,executed,by"},
        {"'Keywords=Politics,Travel'", "A value may not contain a comma."},
        {"'Keywords=Travel, Travel'", "The value is in the list already."},
        {"'Section=Gossip'", "not one of the choices (News, Features, Culture, Sport, Opinion, Rédaction)"},
        {"'Legal review=maybe'", "a Boolean takes true, false, yes, no, 1 or 0"},
        {"'Story ID=Mine'", "field \"Story ID\" of Editorial is read-only (--force sets it all the same)"},
        {"'No such field=1'", "no field named \"No such field\""},
        {"Headline", "\"Headline\" is not NAME=VALUE"},
        // Good values before the bad one are not written either.
        {"'Headline=Changed' 'Issue number=15' 'Word count=12.5'", "field \"Word count\""},
    };
    for (const auto& c : cases) {
        Result r = Run("set " + Quote(file.string()) + " " + c.args);
        EXPECT_EQ(r.code, 1) << c.args;
        EXPECT_NE(r.err.find(c.error), std::string::npos) << c.args << "\n" << r.err;
        EXPECT_TRUE(testsupport::ReadFile(file) == before) << c.args << ": the file changed";
    }
    Result r = Run("set --json " + Quote(file.string()) + " 'Issue number=x'");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(json::parse(r.out)["error"],
              "field \"Issue number\" of Editorial: \"x\": Please enter a whole number.");
    const fs::path plain = Copy("Plain-BlueSquare.jpg");
    const std::string plainBefore = testsupport::ReadFile(plain);
    r = Run("set " + Quote(plain.string()) + " 'Headline=x'");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("holds no packages"), std::string::npos) << r.err;
    EXPECT_TRUE(testsupport::ReadFile(plain) == plainBefore);
}

TEST_F(ServiceCommandTest, SetStoresValuesWithHistoryThatPackagesAndExiftoolShow) {
    for (const char* sample :
         {"Editorial-BlueSquare.jpg", "Editorial-BlueSquare.png", "Editorial-BlueSquare.pdf"}) {
        SCOPED_TRACE(sample);
        const fs::path file = Copy(sample);
        Result r = Run(
            "--user ann --alias 'A. Berg' set --json " + Quote(file.string()) +
            " 'Headline=Red circles, too' 'Issue number=15' 'Keywords=Travel, Politics' 'Legal review=false'"
            " 'Copy deadline=2026/04/10,2026/04/09' 'Publication date=2027/01/02'");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(json::parse(r.out),
                  (json{{"file", file.string()},
                        {"set",
                         {{{"name", "Headline"}, {"value", "Red circles, too"}, {"fields", 1}},
                          {{"name", "Issue number"}, {"value", "15"}, {"fields", 1}},
                          {{"name", "Keywords"}, {"value", "Travel, Politics"}, {"fields", 1}},
                          {{"name", "Legal review"}, {"value", "False"}, {"fields", 1}},
                          {{"name", "Copy deadline"}, {"value", "2026/04/10,2026/04/09,"}, {"fields", 1}},
                          {{"name", "Publication date"}, {"value", "2027/01/02"}, {"fields", 1}}}}}));

        json f = Fields(file);
        EXPECT_EQ(f["Headline"]["value"], "Red circles, too");
        EXPECT_EQ(f["Issue number"]["value"], "15");
        EXPECT_EQ(f["Keywords"]["selectedValues"], (json{"Travel", "Politics"}));
        EXPECT_EQ(f["Legal review"]["boolValue"], false);
        EXPECT_EQ(f["Copy deadline"]["deadline"]["executedDate"], "2026/04/09");
        EXPECT_EQ(f["Story ID"]["value"], "ED-2027-015-Cul") << "the calculated field follows its fields";
        const json& history = f["Headline"]["history"];
        ASSERT_EQ(history.size(), 2u);
        EXPECT_EQ(history[0]["user"], "eva") << "earlier entries stay";
        EXPECT_EQ(history[1]["user"], "ann");
        EXPECT_EQ(history[1]["alias"], "A. Berg");
        EXPECT_EQ(history[1]["value"], "Red circles, too");
        EXPECT_EQ(f["Legal review"]["history"][0]["value"], "False");
        EXPECT_EQ(f["Author"]["history"], json::array()) << "fields not named keep their history";

        if (!HaveExiftool()) continue;
        // The PDF's packet lives in its sidecar.
        const fs::path packet = fs::exists(file.string() + ".xmp") ? fs::path(file.string() + ".xmp") : file;
        const std::string out = testsupport::CaptureOutput(
            "exiftool -q -j -struct -XMP-dunmoreBRN:Packages " + Quote(packet.string()) + " 2>/dev/null");
        json all = json::parse(out, nullptr, false);
        ASSERT_TRUE(all.is_array()) << out;
        const json& fields = all[0]["Packages"][0]["Fields"];
        ASSERT_TRUE(fields.is_array()) << out;
        EXPECT_EQ(fields[0]["Name"], "Headline");
        EXPECT_EQ(fields[0]["Value"], "Red circles, too");
        ASSERT_EQ(fields[0]["History"].size(), 2u) << fields[0].dump();
        EXPECT_EQ(fields[0]["History"][1]["User"], "ann");
        EXPECT_EQ(fields[0]["History"][1]["Alias"], "A. Berg");
        EXPECT_EQ(fields[0]["History"][1]["Value"], "Red circles, too");
        EXPECT_FALSE(fields[0]["History"][1]["Time"].get<std::string>().empty());
    }
}

TEST_F(ServiceCommandTest, SetTextOutputNamesEachFieldAndItsStoredValue) {
    const fs::path file = Copy("Editorial-BlueSquare.jpg");
    Result r = Run("set " + Quote(file.string()) + " 'Legal review=TRUE' 'Keywords='");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Legal review: True\nKeywords: \n");
    json f = Fields(file);
    EXPECT_EQ(f["Legal review"]["boolValue"], true);
    EXPECT_EQ(f["Keywords"]["selectedValues"], json::array());
}

} // namespace

namespace {

TEST_F(ServiceCommandTest, SetKeepsTheValueGivenToACalculatedFieldWhateverTheOrder) {
    const struct {
        const char* args;
        const char* storyId;
        bool overridden;
    } cases[] = {
        {"'Story ID=Custom' 'Issue number=16'", "Custom", true},
        {"'Issue number=16' 'Story ID=Custom'", "Custom", true},
        {"'Story ID=Custom' 'Headline=New' 'Issue number=16'", "Custom", true},
        // Without a value of its own the calculated field follows its fields.
        {"'Issue number=16'", "ED-2026-016-Cul", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const fs::path file = fDir.path() / "doc.jpg";
        fs::remove(file);
        fs::copy_file(Sample("Editorial-BlueSquare.jpg"), file);
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        Result r = Run("set --force " + Quote(file.string()) + " " + c.args);
        ASSERT_EQ(r.code, 0) << r.err;
        json f = Fields(file);
        EXPECT_EQ(f["Story ID"]["value"], c.storyId);
        EXPECT_EQ(f["Story ID"]["fieldOverridden"], c.overridden);
        EXPECT_EQ(f["Issue number"]["value"], "16");
        if (c.overridden) {
            ASSERT_FALSE(f["Story ID"]["history"].empty());
            EXPECT_EQ(f["Story ID"]["history"].back()["value"], "Custom") << "history matches the value";
        }
        // A later call leaves the user's value alone.
        r = Run("set " + Quote(file.string()) + " 'Issue number=17'");
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(Fields(file)["Story ID"]["value"], c.overridden ? "Custom" : "ED-2026-017-Cul");
    }
}

} // namespace

namespace {

// A document whose Abstract field was stored with a type name this version does not know.
TEST_F(ServiceCommandTest, AFieldOfAnUnknownTypeKeepsItsValueAndCannotBeSet) {
    const fs::path file = Copy("Editorial-BlueSquare.jpg");
    std::string bytes = testsupport::ReadFile(file);
    const std::string from = "dunmoreBRN:Type=\"Text\"", to = "dunmoreBRN:Type=\"Tex2\"";
    const size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, from.size(), to);
    testsupport::WriteFile(file, bytes);
    const std::string abstract = "Why every test file is a blue square,\nand what that says about us.";

    const char* const refused[] = {"'Abstract=New text'", "'Headline=New' 'Abstract='"};
    for (const char* args : refused) {
        Result r = Run("set " + Quote(file.string()) + " " + args);
        EXPECT_EQ(r.code, 1) << args << r.err;
        EXPECT_NE(r.err.find("\"Tex2\" is not one this version can set"), std::string::npos) << r.err;
        EXPECT_TRUE(testsupport::ReadFile(file) == bytes) << args << ": the file changed";
    }
    Result r = Run("set " + Quote(file.string()) + " 'Headline=New' 'Issue number=16'");
    ASSERT_EQ(r.code, 0) << r.err;
    json f = Fields(file);
    EXPECT_EQ(f["Headline"]["value"], "New");
    EXPECT_EQ(f["Abstract"]["typeName"], "Tex2");
    EXPECT_EQ(f["Abstract"]["type"], 12);
    EXPECT_EQ(f["Abstract"]["value"], abstract);
}

} // namespace

namespace {

// A calculated field whose template fails when recomputed refuses the whole call: its alert
// is printed, the exit code is 1 and the file keeps its bytes.
TEST_F(ServiceCommandTest, SetRefusesACallWhoseCalculatedFieldFails) {
    const fs::path file = Copy("Editorial-BlueSquare.jpg");
    std::string bytes = testsupport::ReadFile(file);
    const std::string from = "&lt;cvbrindle:IssueNo format", to = "&lt;cvbrindle:IssueNX format";
    const size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at, from.size(), to);
    testsupport::WriteFile(file, bytes);
    for (const char* args : {"'Headline=New'", "'Issue number=16' 'Headline=New'"}) {
        Result r = Run("set " + Quote(file.string()) + " " + args);
        EXPECT_EQ(r.code, 1) << args << r.err;
        EXPECT_NE(r.err.find("alert: The package offers no such tag: <cvbrindle:IssueNX/>"), std::string::npos)
            << r.err;
        EXPECT_TRUE(testsupport::ReadFile(file) == bytes) << args << ": the file changed";
    }
    // A value given to the calculated field itself leaves its template alone.
    Result r = Run("set --force " + Quote(file.string()) + " 'Story ID=Mine' 'Headline=New'");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(Fields(file)["Story ID"]["value"], "Mine");
}

} // namespace
