// The defaults files beside the plug-in: which files are read, the package element chosen
// for a package, broken files, and the deadline colour tables.
#include "CVExpatSimpleDOM.h"
#include "files/BRNUtils.h"
#include "TestSupport.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>
#include <filesystem>
#include <gtest/gtest.h>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::ToUTF16;
using testsupport::WriteFile;

namespace {

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

std::string Defaults(const std::string& packages) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<defaults>\n" + packages + "</defaults>\n";
}

class DefaultsFilesTest : public testsupport::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fs::create_directories(PluginDir());
    }
    fs::path PluginDir() const { return fHome->path() / "plugin"; }
    void Write(const std::string& name, const std::string& bytes) const {
        WriteFile(PluginDir() / name, bytes);
    }
    static std::vector<std::string> DefaultsFileNames() {
        std::vector<std::string> names;
        for (const IDFile& f : BRNUtils::GetDefaultsFiles())
            names.push_back(U8(f.GetFileName()));
        return names;
    }
    // The "name" of the element found for the package and the file that holds it; empty when none.
    static std::pair<std::string, std::string> Found(const char* package) {
        BRNPackageDefaults d = BRNUtils::GetPackageDefaults(PMString(package));
        if (!d) return {};
        const std::string* name = d.GetElement()->FindAttributeUTF8("name");
        return {name ? *name : "<no name>", U8(d.GetFile().GetFileName())};
    }
    static std::string Marker(const BRNPackageDefaults& d) {
        const CVDomElement* e = d ? d.GetElement()->FindChild("marker") : nullptr;
        return e ? e->GetTextUTF8() : "";
    }
};

TEST_F(DefaultsFilesTest, SelectionByName) {
    const std::string body = Defaults("<package name=\"P\"/>\n");
    for (const char* name :
         {"BrindleDefaults.xml", "MyBrindle.xmlx", "Brindle.xml", "XBrindleY.xml1", "Brindle.xml.bak",
          "Defaults.xml", "brindle.xml", "Brindle.xmlxx", "Brindle.txt", "BrindleDefaults", "Brindle.pln"})
        Write(name, body);
    fs::create_directories(PluginDir() / "Brindle2.xml"); // a folder
    fs::create_directories(PluginDir() / "sub");
    Write("sub/BrindleNested.xml", body);

    std::vector<std::string> names = DefaultsFileNames();
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Brindle.xml", "BrindleDefaults.xml", "MyBrindle.xmlx",
                                               "XBrindleY.xml1"}));
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(DefaultsFilesTest, NoFolderOrNoFilesGiveNothing) {
    fs::remove_all(PluginDir());
    EXPECT_TRUE(BRNUtils::GetDefaultsFiles().empty());
    EXPECT_FALSE(BRNUtils::GetPackageDefaults(PMString("Editorial")));
    EXPECT_TRUE(BRNUtils::GetDeadlineColors(PMString("Editorial")).empty());
    fs::create_directories(PluginDir());
    EXPECT_FALSE(BRNUtils::GetPackageDefaults(PMString("Editorial")));
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(DefaultsFilesTest, ExactNameWinsAcrossFiles) {
    Write("BrindleA.xml", Defaults("<package name=\"Other\"><marker>A other</marker></package>\n"
                                   "<package name=\"editorial\"><marker>A lower</marker></package>\n"));
    Write("BrindleB.xml", Defaults("<package name=\"Editorial\"><marker>B exact</marker></package>\n"
                                   "<package name=\"Editorial\"><marker>B second</marker></package>\n"));
    Write("BrindleC.xml", Defaults("<package name=\"Editorial \"><marker>C blank</marker></package>\n"));
    // Whatever the listing order, the exact name is found.
    EXPECT_EQ(Found("Editorial"), (std::pair<std::string, std::string>{"Editorial", "BrindleB.xml"}));
    EXPECT_EQ(Marker(BRNUtils::GetPackageDefaults(PMString("Editorial"))), "B exact");
    EXPECT_EQ(Marker(BRNUtils::GetPackageDefaults(PMString("editorial"))), "A lower");
    EXPECT_EQ(Marker(BRNUtils::GetPackageDefaults(PMString("Editorial "))), "C blank");
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

// Parsed files and the folder's listing are kept between calls (a batch asks for the same
// defaults for every document), but never past a change to a file or to the folder.
TEST_F(DefaultsFilesTest, WhatIsKeptBetweenCallsFollowsEveryChange) {
    auto marker = [] { return Marker(BRNUtils::GetPackageDefaults(PMString("Editorial"))); };
    Write("BrindleA.xml", Defaults("<package name=\"Editorial\"><marker>first</marker></package>\n"));
    // Only what has not changed for a while is kept, since file times advance in ticks.
    std::this_thread::sleep_for(std::chrono::milliseconds(2200));
    ASSERT_EQ(marker(), "first");
    ASSERT_EQ(marker(), "first");
    struct Change {
        const char* what;
        std::function<void()> apply;
        const char* marker;
        size_t alerts;
    };
    const std::vector<Change> changes = {
        {"the file rewritten",
         [&] { Write("BrindleA.xml", Defaults("<package name=\"Editorial\"><marker>second one</marker></package>\n")); },
         "second one", 0},
        {"a file added before it",
         [&] { Write("Brindle0.xml", Defaults("<package name=\"Editorial\"><marker>added</marker></package>\n")); },
         "added", 0},
        {"that file removed", [&] { fs::remove(PluginDir() / "Brindle0.xml"); }, "second one", 0},
        {"the file broken", [&] { Write("BrindleA.xml", "<defaults><package name=\"Editorial\">"); }, "", 1},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        fAlerts->Clear();
        c.apply();
        EXPECT_EQ(marker(), c.marker);
        EXPECT_EQ(marker(), c.marker) << "asked again";
        EXPECT_EQ(fAlerts->Alerts().size(), 2 * c.alerts) << "a broken file is reported at every ask";
    }
}

TEST_F(DefaultsFilesTest, FallbackIsFirstNamedPackage) {
    Write("BrindleDefaults.xml", Defaults("<other name=\"NotAPackage\"/>\n"
                                          "<package><marker>no name</marker></package>\n"
                                          "<package name=\"First\"><marker>first</marker></package>\n"
                                          "<package name=\"Second\"><marker>second</marker></package>\n"));
    EXPECT_EQ(Found("Nothing"), (std::pair<std::string, std::string>{"First", "BrindleDefaults.xml"}));
    EXPECT_EQ(Found("Second").first, "Second");
}

// Files are visited by name in byte order, whatever order the folder lists them in.
TEST_F(DefaultsFilesTest, FilesAreVisitedByNameInByteOrder) {
    const std::vector<std::string> sorted = {"Brindle-1.xml", "Brindle0.xml", "BrindleA.xml", "BrindleB.xml",
                                             "BrindleZ.xml",  "Brindle_.xml", "Brindlea.xml", "Brindlez.xml",
                                             "Brindle\xC3\xA6.xml"};
    // Written in another order; each names its own package and offers a fallback.
    for (size_t i = sorted.size(); i-- > 0;)
        Write(sorted[i], Defaults("<package name=\"P" + std::to_string(i) + "\"/>\n"));
    EXPECT_EQ(DefaultsFileNames(), sorted);
    EXPECT_EQ(Found("Nothing"), (std::pair<std::string, std::string>{"P0", sorted[0]}));
}

TEST_F(DefaultsFilesTest, NoPackageElementsGiveNothing) {
    Write("BrindleDefaults.xml", Defaults("<packages name=\"Editorial\"/>\n<package/>\n"));
    Write("BrindleEmpty.xml", "<defaults/>");
    EXPECT_FALSE(BRNUtils::GetPackageDefaults(PMString("Editorial")));
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(DefaultsFilesTest, BrokenFileStopsTheSearch) {
    const std::string broken = "<defaults><package name=\"Editorial\"></defaults>";
    Write("BrindleBroken.xml", broken);
    EXPECT_FALSE(BRNUtils::GetPackageDefaults(PMString("Editorial")));

    ASSERT_EQ(fAlerts->Alerts().size(), 1u);
    const std::string prefix = "Brindle failed to parse XML in file BrindleBroken.xml XML Parser error: ";
    const std::string& message = fAlerts->Alerts()[0].message;
    EXPECT_EQ(message.substr(0, prefix.size()), prefix);
    EXPECT_GT(message.size(), prefix.size()); // the parser's message follows
    EXPECT_EQ(fAlerts->Alerts()[0].buttons, std::vector<std::string>{U8(CAlert::OkButtonString())});

    const std::string log = ReadFile(RecoveryFolder() / "BRN.log");
    EXPECT_NE(log.find("Brindle failed to parse xmlStr from defaults file:\\n" + broken), std::string::npos)
        << log;
}

TEST_F(DefaultsFilesTest, BrokenUTF16FileIsLoggedAsText) {
    const std::string text = "<defaults><package name=\"\xC3\x86r\xC3\xB8\"></defaults>";
    Write("BrindleWide.xml", ToUTF16(text));
    EXPECT_FALSE(BRNUtils::GetPackageDefaults(PMString("\xC3\x86r\xC3\xB8")));
    const std::string log = ReadFile(RecoveryFolder() / "BRN.log");
    EXPECT_NE(log.find("Brindle failed to parse xmlStr from defaults file:\\n" + text), std::string::npos)
        << log;
}

// A broken file means no defaults, unless the exact package was found before it.
TEST_F(DefaultsFilesTest, BrokenFileBesideGoodOne) {
    Write("BrindleBroken.xml", "<defaults><package name=\"Editorial\">");
    Write("BrindleGood.xml", Defaults("<package name=\"Editorial\"/>\n"));
    const std::vector<std::string> order = DefaultsFileNames();
    ASSERT_EQ(order, (std::vector<std::string>{"BrindleBroken.xml", "BrindleGood.xml"}));
    const bool goodFirst = false;

    EXPECT_EQ(static_cast<bool>(BRNUtils::GetPackageDefaults(PMString("Editorial"))), goodFirst);
    EXPECT_EQ(fAlerts->Alerts().size(), goodFirst ? 0u : 1u);
    fAlerts->Clear();
    // Only a fallback in the good file: the broken file always takes the defaults away.
    EXPECT_FALSE(BRNUtils::GetPackageDefaults(PMString("Other")));
    EXPECT_EQ(fAlerts->Alerts().size(), 1u);
}

// ---- Deadline colour tables --------------------------------------------------------------

std::vector<BRNDeadlineColor> ParseTable(const std::string& xml) {
    CVExpatSimpleDOM dom;
    EXPECT_TRUE(dom.ParseBuffer(xml)) << U8(dom.GetError());
    std::unique_ptr<CVDomElement> root = dom.TakeRoot();
    return BRNUtils::ParseDeadlineColors(root.get());
}

TEST(ParseDeadlineColorsTest, AttributeRules) {
    const struct {
        const char* attributes;
        BRNDeadlineColor entry;
    } cases[] = {
        {"", {0, 0, -9999, -1.0, -1.0, -1.0}},
        {"planned=\"empty\" executed=\"empty\"", {0, 0, -9999, -1.0, -1.0, -1.0}},
        {"planned=\"set\" executed=\"yes\"", {1, 1, -9999, -1.0, -1.0, -1.0}},
        {"planned=\"\" executed=\"Empty\"", {1, 1, -9999, -1.0, -1.0, -1.0}}, // only "empty" itself is empty
        {"planned=\"empty\" executed=\"no\"", {0, 1, -9999, -1.0, -1.0, -1.0}},
        {"hours=\"24\"", {0, 0, 24, -1.0, -1.0, -1.0}},
        {"hours=\"-5\"", {0, 0, -5, -1.0, -1.0, -1.0}},
        {"hours=\"\"", {0, 0, -9999, -1.0, -1.0, -1.0}},
        {"red=\"1.0\" green=\"0.85\" blue=\"0.1\"", {0, 0, -9999, 1.0, 0.85, 0.1}},
        {"red=\"0.5\" green=\"\" blue=\"1\"", {0, 0, -9999, 0.5, -1.0, 1.0}},
        {"green=\"0.5\" blue=\"0.5\"", {0, 0, -9999, -1.0, 0.5, 0.5}}, // red missing keeps -1
        {"planned=\"set\" executed=\"empty\" hours=\"9999\" red=\"0.3\" green=\"0.8\" blue=\"0.3\"",
         {1, 0, 9999, 0.3, 0.8, 0.3}},
    };
    for (const auto& c : cases) {
        const auto table =
            ParseTable(std::string("<deadlinecolors><deadlinecolor ") + c.attributes + "/></deadlinecolors>");
        ASSERT_EQ(table.size(), 1u) << c.attributes;
        const BRNDeadlineColor& e = table[0];
        EXPECT_EQ(e.wantsPlanned, c.entry.wantsPlanned) << c.attributes;
        EXPECT_EQ(e.wantsExecuted, c.entry.wantsExecuted) << c.attributes;
        EXPECT_EQ(e.hours, c.entry.hours) << c.attributes;
        EXPECT_DOUBLE_EQ(e.red, c.entry.red) << c.attributes;
        EXPECT_DOUBLE_EQ(e.green, c.entry.green) << c.attributes;
        EXPECT_DOUBLE_EQ(e.blue, c.entry.blue) << c.attributes;
    }
}

// A number that does not read as one skips its entry, with a line in the log; the entries
// around it stay, in order.
TEST_F(DefaultsFilesTest, UnreadableNumbersSkipTheirEntry) {
    const struct {
        const char* attributes;
        const char* logged;
    } cases[] = {
        {"hours=\"24.5\"", "hours=\"24.5\" is not a whole number"},
        {"hours=\"abc\"", "hours=\"abc\" is not a whole number"},
        {"hours=\"99999999999\"", "hours=\"99999999999\" is not a whole number"},
        {"red=\"abc\" green=\"0.5\" blue=\"0.5\"", "red=\"abc\" is not a number"},
        {"red=\"1\" green=\"0,5\" blue=\"0.5\"", "green=\"0,5\" is not a number"},
        {"red=\"1\" green=\"0.5\" blue=\"x1\"", "blue=\"x1\" is not a number"},
    };
    for (const auto& c : cases) {
        const auto table = ParseTable(std::string("<deadlinecolors><deadlinecolor hours=\"1\"/><deadlinecolor ") +
                                      c.attributes + "/><deadlinecolor hours=\"3\"/></deadlinecolors>");
        ASSERT_EQ(table.size(), 2u) << c.attributes;
        EXPECT_EQ(table[0].hours, 1) << c.attributes;
        EXPECT_EQ(table[1].hours, 3) << c.attributes;
        const std::string log = ReadFile(RecoveryFolder() / "BRN.log");
        EXPECT_NE(log.find(std::string("Brindle skipped a deadlinecolor entry: ") + c.logged), std::string::npos)
            << log;
    }
}

TEST(ParseDeadlineColorsTest, OnlyDeadlineColorChildrenInOrder) {
    const auto table =
        ParseTable("<deadlinecolors>\n  <!-- note -->\n  <deadlinecolor hours=\"1\"/>\n"
                   "  <other hours=\"2\"/>\n  text\n  <deadlinecolor hours=\"3\"><deadlinecolor "
                   "hours=\"4\"/></deadlinecolor>\n  <DeadlineColor hours=\"5\"/>\n"
                   "  <deadlinecolor hours=\"6\"/>\n</deadlinecolors>");
    std::vector<int32> hours;
    for (const auto& e : table)
        hours.push_back(e.hours);
    EXPECT_EQ(hours, (std::vector<int32>{1, 3, 6}));
    EXPECT_TRUE(BRNUtils::ParseDeadlineColors(nullptr).empty());
    EXPECT_TRUE(ParseTable("<deadlinecolors/>").empty());
}

std::vector<int32> Hours(const std::vector<BRNDeadlineColor>& table) {
    std::vector<int32> hours;
    for (const auto& e : table)
        hours.push_back(e.hours);
    return hours;
}

std::string Table(std::initializer_list<int> hours) {
    std::string t = "<deadlinecolors>";
    for (int h : hours)
        t += "<deadlinecolor planned=\"set\" hours=\"" + std::to_string(h) + "\" red=\"1\"/>";
    return t + "</deadlinecolors>";
}

TEST_F(DefaultsFilesTest, DeadlineColorsExactPackageAcrossFiles) {
    Write("BrindleA.xml", Defaults("<package name=\"Other\">" + Table({1}) + "</package>\n"));
    Write("BrindleB.xml", Defaults("<package name=\"Editorial\"><value shortname=\"x\">1</value>" +
                                   Table({24, 72}) + Table({99}) + "</package>\n"));
    // The first "deadlinecolors" child of the named package.
    EXPECT_EQ(Hours(BRNUtils::GetDeadlineColors(PMString("Editorial"))), (std::vector<int32>{24, 72}));
    EXPECT_EQ(Hours(BRNUtils::GetDeadlineColors(PMString("Other"))), (std::vector<int32>{1}));
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

TEST_F(DefaultsFilesTest, DeadlineColorsFallBackToFirstTableMet) {
    Write("BrindleDefaults.xml", Defaults("<package name=\"NoTable\"/>\n"
                                          "<package>" +
                                          Table({5}) +
                                          "</package>\n"
                                          "<package name=\"Later\">" +
                                          Table({6}) + "</package>\n"));
    EXPECT_EQ(Hours(BRNUtils::GetDeadlineColors(PMString("Nothing"))), (std::vector<int32>{5}));
    // The named package has no table: it gets none, not another package's.
    EXPECT_TRUE(BRNUtils::GetDeadlineColors(PMString("NoTable")).empty());
    EXPECT_EQ(Hours(BRNUtils::GetDeadlineColors(PMString("Later"))), (std::vector<int32>{6}));
}

TEST_F(DefaultsFilesTest, DeadlineColorsEmptyWithoutAnyTable) {
    Write("BrindleDefaults.xml",
          Defaults("<package name=\"A\"/>\n<package name=\"B\"><deadlinecolor hours=\"1\"/>"
                   "</package>\n"));
    EXPECT_TRUE(BRNUtils::GetDeadlineColors(PMString("Nothing")).empty());
}

// Broken files are skipped for colour tables (after their alert).
TEST_F(DefaultsFilesTest, DeadlineColorsSkipBrokenFiles) {
    Write("BrindleBroken.xml", "<defaults><package name=\"Editorial\">" + Table({1}));
    Write("BrindleGood.xml", Defaults("<package name=\"Editorial\">" + Table({24}) + "</package>\n"));
    const std::vector<std::string> order = DefaultsFileNames();
    ASSERT_EQ(order.size(), 2u);
    const bool brokenFirst = order[0] == "BrindleBroken.xml";

    EXPECT_EQ(Hours(BRNUtils::GetDeadlineColors(PMString("Editorial"))), (std::vector<int32>{24}));
    EXPECT_EQ(fAlerts->Alerts().size(), brokenFirst ? 1u : 0u);
    fAlerts->Clear();
    EXPECT_EQ(Hours(BRNUtils::GetDeadlineColors(PMString("Nothing"))), (std::vector<int32>{24}));
    EXPECT_EQ(fAlerts->Alerts().size(), 1u);
}

TEST_F(DefaultsFilesTest, SampleDefaultsFile) {
    fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/plugin/BrindleDefaults.xml",
                  PluginDir() / "BrindleDefaults.xml");
    const auto editorial = BRNUtils::GetDeadlineColors(PMString("Editorial"));
    ASSERT_EQ(editorial.size(), 5u);
    EXPECT_EQ(editorial[0], (BRNDeadlineColor{0, 0, -9999, 0.6, 0.7, 0.8}));
    EXPECT_EQ(editorial[3], (BRNDeadlineColor{1, 0, 9999, 0.3, 0.8, 0.3}));
    EXPECT_EQ(editorial[4], (BRNDeadlineColor{1, 1, 9999, 0.2, 0.4, 1.0}));
    EXPECT_EQ(Hours(BRNUtils::GetDeadlineColors(PMString("Production"))), (std::vector<int32>{48, 9999}));
    // A package the file does not name gets the first table in the file.
    EXPECT_EQ(BRNUtils::GetDeadlineColors(PMString("Advertising")), editorial);

    const BRNPackageDefaults d = BRNUtils::GetPackageDefaults(PMString("Production"));
    ASSERT_TRUE(d);
    EXPECT_EQ(*d.GetElement()->FindAttributeUTF8("applyondocumentopen"), "true");
    EXPECT_EQ(Found("Advertising").first, "Editorial");
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

} // namespace
