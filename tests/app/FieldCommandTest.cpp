// The `brindle tags`, `eval` and `deadline-colour` commands, run as the built program
// against the sample library and the sample defaults file.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// A shell word for a path or text, whatever it holds.
fs::path SamplePluginDir() {
    return fs::path(BRINDLE_SOURCE_DIR) / "samples/plugin";
}

// Today plus some days, local time, as yyyy/mm/dd.
std::string LocalDate(int daysFromToday) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    t.tm_mday += daysFromToday;
    t.tm_hour = 12;
    t.tm_isdst = -1;
    std::mktime(&t);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y/%m/%d", &t);
    return buf;
}

struct Result {
    int code = -1;
    std::string out, err;
};

// One home with the sample library imported serves every test: none of these commands
// changes the library.
class FieldCommandTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        sHome = std::make_unique<TempDir>();
        std::string args = "library import";
        for (const auto& e : fs::directory_iterator(SamplesLibrary()))
            if (e.path().extension() == ".xml") args += " " + Quote(e.path().string());
        Result r = Run(args);
        ASSERT_EQ(r.code, 0) << r.err;
    }
    static void TearDownTestSuite() { sHome.reset(); }

    static Result Run(const std::string& args, const fs::path& pluginDir = SamplePluginDir()) {
        Result r;
        r.code = RunBrindle("--home " + Quote(sHome->path().string()) + " --plugin-dir " +
                                Quote(testsupport::PlugInFolderWith(pluginDir).string()) + " " + args,
                            &r.out, &r.err);
        return r;
    }
    static Result Eval(const std::string& templateText, const std::string& flags = "") {
        return Run("eval Editorial " + Quote(templateText) + (flags.empty() ? "" : " " + flags));
    }
    static nlohmann::json Colour(const std::string& package, const std::string& planned,
                                 const std::string& executed, const fs::path& pluginDir = SamplePluginDir()) {
        Result r = Run("deadline-colour " + Quote(package) + " " + Quote(planned) + " " + Quote(executed) +
                           " --json",
                       pluginDir);
        EXPECT_EQ(r.code, 0) << r.err;
        return r.code == 0 ? nlohmann::json::parse(r.out) : nlohmann::json::object();
    }
    static void ExpectColour(const nlohmann::json& j, double red, double green, double blue) {
        ASSERT_TRUE(j.contains("red")) << j.dump();
        EXPECT_DOUBLE_EQ(j["red"].get<double>(), red) << j.dump();
        EXPECT_DOUBLE_EQ(j["green"].get<double>(), green) << j.dump();
        EXPECT_DOUBLE_EQ(j["blue"].get<double>(), blue) << j.dump();
    }

    static std::unique_ptr<TempDir> sHome;
};

std::unique_ptr<TempDir> FieldCommandTest::sHome;

TEST_F(FieldCommandTest, TagsJsonListsPackageTagsThenFields) {
    Result r = Run("tags Editorial --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const nlohmann::json j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["package"], "Editorial");
    std::vector<std::string> tags;
    for (const auto& t : j["tags"])
        tags.push_back(t["tag"].get<std::string>());
    EXPECT_EQ(tags,
              (std::vector<std::string>{"<cvbrindle:package>", "<cvbrindle:version>", "<cvbrindle:enabled>",
                                        "<cvbrindle:Headline>", "<cvbrindle:Author>", "<cvbrindle:IssueNo>",
                                        "<cvbrindle:Section>", "<cvbrindle:Kicker>", "<cvbrindle:PubDate>",
                                        "<cvbrindle:Words>", "<cvbrindle:Abstract>", "<cvbrindle:Keywords>",
                                        "<cvbrindle:LegalOK>", "<cvbrindle:StoryID>", "<cvbrindle:CopyDue>",
                                        "<cvbrindle:WFState>"}));
    // The package tags are described by translated texts, the fields by their descriptions.
    for (int i = 0; i < 3; ++i) {
        const std::string d = j["tags"][i]["description"].get<std::string>();
        EXPECT_FALSE(d.empty());
        EXPECT_EQ(d.find("0xA8260"), std::string::npos) << d;
    }
    EXPECT_EQ(j["tags"][3]["description"], "Main title of the article as printed");
    EXPECT_EQ(j["tags"][9]["description"], "Target length in words");

    Result plain = Run("tags Editorial");
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(plain.out.substr(0, plain.out.find('\n')),
              "<cvbrindle:package>\t" + j["tags"][0]["description"].get<std::string>());

    Result unknown = Run("tags Nothing");
    EXPECT_EQ(unknown.code, 1);
    EXPECT_NE(unknown.err.find("no package named \"Nothing\""), std::string::npos) << unknown.err;
}

TEST_F(FieldCommandTest, EvalWithDefaultsApplied) {
    std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    const std::string year = std::to_string(t.tm_year + 1900);

    const struct {
        std::string templateText;
        std::string flags;
        std::string out;
    } cases[] = {
        {"<cvbrindle:package/> v<cvbrindle:version/>", "", "Editorial v3\n"},
        {"<cvbrindle:Keywords/>", "", "Politics, Economy\n"},
        {"<cvbrindle:Words format=\"%06d\"/>|<cvbrindle:Section substring=\"0,4\"/>", "", "001200|Feat\n"},
        {"<cvbrindle:PubDate substring=\"0,4\"/>", "", year + "\n"}, // ACTIVATION: today
        {"<cvbrindle:StoryID/>", "", "ED-" + year + "-001-Fea\n"},   // recomputed with the defaults
        {"[<cvbrindle:Headline/>]", "", "[]\n"},
        {"line one\nline <cvbrindle:package/>", "", "line one\nline Editorial\n"},
        {"plain text", "", "plain text\n"},
        {"a b <cvbrindle:Keywords/>/<cvbrindle:Section/>", "--escape", "a b Politics%2C+Economy/Features\n"},
        {"<cvbrindle:IssueNo/>", "--check-required", "1\n"},
    };
    for (const auto& c : cases) {
        Result r = Eval(c.templateText, c.flags);
        EXPECT_EQ(r.code, 0) << c.templateText << ": " << r.err;
        EXPECT_EQ(r.out, c.out) << c.templateText;
        EXPECT_EQ(r.err, "") << c.templateText;
    }
}

TEST_F(FieldCommandTest, EvalRefusesTemplatesThatDoNotCheck) {
    const struct {
        std::string templateText;
        std::string flags;
        std::string alertHas;
    } cases[] = {
        {"x <cvbrindle:Nope/>", "", "<cvbrindle:Nope/>"},
        {"<cvbrindle:Word count/>", "", "<cvbrindle:Word/>"},
        {"<cvbrindle:package", "", ""},
        {"<cvbrindle:Headline/>", "--check-required", "Headline"},
    };
    for (const auto& c : cases) {
        Result r = Eval(c.templateText, c.flags);
        EXPECT_EQ(r.code, 1) << c.templateText;
        EXPECT_EQ(r.out, "") << c.templateText;
        EXPECT_EQ(r.err.rfind("alert: ", 0), 0u) << r.err;
        const std::string alertLine = r.err.substr(0, r.err.find('\n'));
        EXPECT_NE(alertLine.find(c.alertHas), std::string::npos) << alertLine;
        EXPECT_NE(r.err.find("brindle: error: "), std::string::npos) << r.err;
    }
    EXPECT_EQ(Run("eval Nothing 'x'").code, 1);
}

TEST_F(FieldCommandTest, DeadlineColourFromSampleTable) {
    // Planned in 30 days, not done: the green entry (72 < hours left <= 9999).
    nlohmann::json j = Colour("Editorial", LocalDate(30), "");
    EXPECT_GT(j["hoursLeft"].get<int>(), 72);
    EXPECT_LE(j["hoursLeft"].get<int>(), 30 * 24 + 1);
    ExpectColour(j, 0.3, 0.8, 0.3);
    EXPECT_EQ(j["defaultColour"], false);
    EXPECT_EQ(j["tableEntries"], 5);

    // Within a day: red; overdue: red as well.
    ExpectColour(Colour("Editorial", LocalDate(1), ""), 1.0, 0.2, 0.2);
    ExpectColour(Colour("Editorial", LocalDate(-3), ""), 1.0, 0.2, 0.2);

    // More than 9999 hours ahead: no threshold covers it.
    j = Colour("Editorial", LocalDate(3 * 365), "");
    EXPECT_GT(j["hoursLeft"].get<int>(), 9999);
    EXPECT_EQ(j["defaultColour"], true);

    // Not planned: the "empty" entry, whatever the clock.
    ExpectColour(Colour("Editorial", "", ""), 0.6, 0.7, 0.8);

    // Done three days early: hours between the two dates, the executed entry.
    j = Colour("Editorial", "2014/07/10", "2014/07/07");
    EXPECT_EQ(j["hoursLeft"], 72);
    ExpectColour(j, 0.2, 0.4, 1.0);

    // A package the file does not name takes the first table in it.
    EXPECT_EQ(Colour("Advertising", LocalDate(30), "")["tableEntries"], 5);
}

TEST_F(FieldCommandTest, DeadlineColourRefusesBadDates) {
    const struct {
        std::string planned, executed, named;
    } cases[] = {
        {"2030-01-01", "", "Planned"},
        {"2030/1/01", "2030/01/02", "Planned"},
        {"2030/01/01", "02.01.2030", "Executed"},
    };
    for (const auto& c : cases) {
        Result r = Run("deadline-colour Editorial " + Quote(c.planned) + " " + Quote(c.executed) + " --json");
        EXPECT_EQ(r.code, 1) << c.planned << " / " << c.executed;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("alert: ", 0), 0u) << r.err;
        EXPECT_NE(r.err.substr(0, r.err.find('\n')).find(c.named), std::string::npos) << r.err;
    }
}

TEST_F(FieldCommandTest, DeadlineColourWithoutTableIsDefault) {
    TempDir plugin;
    WriteFile(plugin / "BrindleDefaults.xml",
              "<defaults><package name=\"Plain\"><value shortname=\"x\">1</value>"
              "</package></defaults>");
    nlohmann::json j = Colour("Plain", LocalDate(1), "", plugin.path());
    EXPECT_EQ(j["defaultColour"], true);
    EXPECT_EQ(j["tableEntries"], 0);

    TempDir empty;
    j = Colour("Editorial", "", "", empty.path());
    EXPECT_EQ(j["defaultColour"], true);
    EXPECT_EQ(j["tableEntries"], 0);

    Result text = Run("deadline-colour Plain ''", plugin.path());
    ASSERT_EQ(text.code, 0) << text.err;
    EXPECT_NE(text.out.find("(default)"), std::string::npos) << text.out;
}

// defaultColour says whether a table entry applied, whatever colour the entry gives.
TEST_F(FieldCommandTest, DefaultColourSaysWhetherAnEntryApplied) {
    TempDir plugin;
    WriteFile(plugin / "BrindleDefaults.xml",
              "<defaults><package name=\"Grey\"><deadlinecolors>"
              // the default box colour itself, for deadlines without a planned date
              "<deadlinecolor planned=\"empty\" red=\"0.85\" green=\"0.85\" blue=\"0.85\"/>"
              // no red: the default colour, for executed deadlines
              "<deadlinecolor planned=\"set\" executed=\"set\" hours=\"9999\" green=\"0.5\" blue=\"0.5\"/>"
              "<deadlinecolor planned=\"set\" hours=\"9999\" red=\"1\" green=\"0\" blue=\"0\"/>"
              "</deadlinecolors></package></defaults>");
    const struct {
        std::string planned, executed;
        bool isDefault;
        double red;
    } cases[] = {
        {"", "", false, 0.85},
        {LocalDate(1), LocalDate(0), false, 0.85},
        {LocalDate(1), "", false, 1.0},
        {LocalDate(20000), "", true, 0.85}, // beyond every threshold: no entry
    };
    for (const auto& c : cases) {
        nlohmann::json j = Colour("Grey", c.planned, c.executed, plugin.path());
        EXPECT_EQ(j["defaultColour"], c.isDefault) << c.planned << " / " << c.executed;
        EXPECT_DOUBLE_EQ(j["red"].get<double>(), c.red) << c.planned << " / " << c.executed;
    }
}

} // namespace
