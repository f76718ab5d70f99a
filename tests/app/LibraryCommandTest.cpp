// The `brindle library` commands, run as the built program against a fresh home each time.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::ReadUTF16File;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;
using testsupport::ToUTF16;
using testsupport::WriteFile;

namespace {

// A shell word for a path or text, whatever it holds.
// Runs the program with the current folder set to dir; RunBrindle cannot change folder.
int RunBrindleIn(const fs::path& dir, const std::string& args, std::string* out, std::string* err) {
    TempDir tmp;
    std::string cmd = "cd " + Quote(dir) + " && " + Quote(std::string(BRINDLE_BINARY)) + " " + args + " >" +
                      Quote(tmp / "out") + " 2>" + Quote(tmp / "err") + " </dev/null";
    int status = std::system(cmd.c_str());
    if (out) *out = ReadFile(tmp / "out");
    if (err) *err = ReadFile(tmp / "err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What an independent XML parser sees in an exported file: root tag and version, the number of
// "package" children, the first one's name, version and "modified" attribute, and its field count.
struct ParsedExport {
    std::string root, rootVersion, packageCount, name, version, modified, fieldCount;
};

// One interpreter run for all files: its start-up is the slow part.
std::vector<ParsedExport> ParseWithPython(const std::vector<fs::path>& files) {
    TempDir tmp;
    WriteFile(tmp / "check.py", "import sys, xml.etree.ElementTree as ET\n"
                                "for name in sys.argv[1:]:\n"
                                "    r = ET.parse(name).getroot()\n"
                                "    p = r.findall('package')\n"
                                "    f = p[0] if p else None\n"
                                "    print(r.tag, r.get('version'), len(p),\n"
                                "          f.get('name') if f is not None else '',\n"
                                "          f.get('version') if f is not None else '',\n"
                                "          f.get('modified', '-') if f is not None else '',\n"
                                "          len(f.findall('field')) if f is not None else -1, sep='|')\n");
    std::string cmd = "python3 -I -S " + Quote(tmp / "check.py");
    for (const auto& f : files)
        cmd += " " + Quote(f);
    cmd += " 2>&1";
    std::string text = testsupport::CaptureOutput(cmd);
    std::vector<ParsedExport> parsed;
    std::stringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> parts;
        std::stringstream s(line);
        for (std::string part; std::getline(s, part, '|');)
            parts.push_back(part);
        if (parts.size() != 7) break;
        parsed.push_back({parts[0], parts[1], parts[2], parts[3], parts[4], parts[5], parts[6]});
    }
    if (parsed.size() != files.size()) {
        ADD_FAILURE() << "python3 could not parse every file:\n" << text;
        parsed.resize(files.size());
    }
    return parsed;
}

// The field names of a package definition file, in file order, read from its UTF-16 text.
std::vector<std::string> FieldNamesInFile(const fs::path& file) {
    std::string text = ReadUTF16File(file);
    std::vector<std::string> names;
    static const std::regex field(R"(<field\s[^>]*?\bName="([^"]*)\")");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), field); it != std::sregex_iterator(); ++it)
        names.push_back((*it)[1]);
    return names;
}

std::map<std::string, std::string> FolderBytes(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec))
        files[e.path().filename().string()] = ReadFile(e.path());
    return files;
}

struct SamplePackage {
    std::string name;
    int version;
    bool modified;
    bool hasPassword;
};

// The sample library in the order the library keeps it (by name).
const std::vector<SamplePackage> kSamples = {
    {"Advertising", 1, false, true},
    {"Editorial", 3, false, true},
    {"Photo Rights", 5, true, true},
    {"Production", 7, false, false},
};

fs::path SampleFile(const std::string& name) {
    return SamplesLibrary() / (name + "_ID.xml");
}

class LibraryCommand : public ::testing::Test {
protected:
    int Brindle(const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
        return RunBrindle("--home " + Quote(fHome.path()) + " " + args, out, err);
    }
    int BrindleIn(const fs::path& dir, const std::string& args, std::string* out = nullptr,
                  std::string* err = nullptr) {
        return RunBrindleIn(dir, "--home " + Quote(fHome.path()) + " " + args, out, err);
    }
    void Import(const std::vector<std::string>& names) {
        std::string args = "library import";
        for (const auto& n : names)
            args += " " + Quote(SampleFile(n));
        std::string out, err;
        ASSERT_EQ(Brindle(args, &out, &err), 0) << err;
    }
    void ImportAllSamples() {
        std::vector<std::string> names;
        for (const auto& s : kSamples)
            names.push_back(s.name);
        Import(names);
    }
    nlohmann::json ListJSON() {
        std::string out, err;
        EXPECT_EQ(Brindle("library list --json", &out, &err), 0) << err;
        return nlohmann::json::parse(out, nullptr, false);
    }
    std::vector<std::string> ListedNames() {
        std::vector<std::string> names;
        nlohmann::json j = ListJSON();
        if (j.is_object() && j["packages"].is_array())
            for (const auto& p : j["packages"])
                names.push_back(p.value("name", ""));
        return names;
    }
    fs::path PackagesFolder() const { return fHome.path() / "config/corvane/BrindlePackages"; }

    TempDir fHome;
    TempDir fWork;
};

TEST_F(LibraryCommand, ListJSONShowsTheSamplesSortedWithVersionsFlagsAndFieldCounts) {
    ImportAllSamples();
    nlohmann::json j = ListJSON();
    ASSERT_TRUE(j.is_object()) << "not JSON";
    ASSERT_TRUE(j["packages"].is_array());
    ASSERT_EQ(j["packages"].size(), kSamples.size());
    for (size_t i = 0; i < kSamples.size(); ++i) {
        const SamplePackage& s = kSamples[i];
        const nlohmann::json& p = j["packages"][i];
        SCOPED_TRACE(s.name);
        EXPECT_EQ(p["name"], s.name);
        EXPECT_EQ(p["version"], s.version);
        EXPECT_EQ(p["modified"], s.modified);
        EXPECT_EQ(p["hasPassword"], s.hasPassword);
        size_t fieldsInFile = FieldNamesInFile(SampleFile(s.name)).size();
        ASSERT_GT(fieldsInFile, 0u);
        EXPECT_EQ(p["fieldCount"], fieldsInFile);
    }
}

TEST_F(LibraryCommand, ListTextHasOneRowPerPackageInOrder) {
    ImportAllSamples();
    std::string out, err;
    ASSERT_EQ(Brindle("library list", &out, &err), 0) << err;
    std::vector<std::string> lines;
    std::stringstream s(out);
    for (std::string line; std::getline(s, line);)
        if (!line.empty()) lines.push_back(line);
    ASSERT_EQ(lines.size(), kSamples.size() + 1) << out;
    EXPECT_EQ(lines[0].rfind("NAME", 0), 0u) << lines[0];
    for (size_t i = 0; i < kSamples.size(); ++i) {
        const SamplePackage& p = kSamples[i];
        const std::string& line = lines[i + 1];
        SCOPED_TRACE(line);
        ASSERT_EQ(line.rfind(p.name + " ", 0), 0u);
        std::stringstream cols(line.substr(p.name.size()));
        std::string version, modified, password, fields;
        cols >> version >> modified >> password >> fields;
        EXPECT_EQ(version, std::to_string(p.version));
        EXPECT_EQ(modified, p.modified ? "yes" : "no");
        EXPECT_EQ(password, p.hasPassword ? "yes" : "no");
        EXPECT_EQ(fields, std::to_string(FieldNamesInFile(SampleFile(p.name)).size()));
    }
}

TEST_F(LibraryCommand, ShowJSONGivesEveryFieldWithAllItsKeys) {
    ImportAllSamples();
    std::string out, err;
    ASSERT_EQ(Brindle("library show " + Quote(std::string("Photo Rights")) + " --json", &out, &err), 0)
        << err;
    nlohmann::json j = nlohmann::json::parse(out, nullptr, false);
    ASSERT_TRUE(j.is_object()) << out;

    EXPECT_EQ(j["name"], "Photo Rights");
    EXPECT_EQ(j["version"], 5);
    EXPECT_EQ(j["modified"], true);
    EXPECT_EQ(j["hasPassword"], true);
    EXPECT_EQ(j["timestamp"], 12007);

    std::vector<std::string> expectedNames = FieldNamesInFile(SampleFile("Photo Rights"));
    ASSERT_TRUE(j["fields"].is_array());
    EXPECT_EQ(j["fieldCount"], expectedNames.size());
    ASSERT_EQ(j["fields"].size(), expectedNames.size());

    const std::vector<std::string> keys = {"name",
                                           "shortName",
                                           "description",
                                           "type",
                                           "typeName",
                                           "value",
                                           "boolValue",
                                           "hasDefault",
                                           "defaultValue",
                                           "required",
                                           "hidden",
                                           "readOnly",
                                           "allowUserValues",
                                           "fieldOverridden",
                                           "visibleLines",
                                           "options",
                                           "defaultValues",
                                           "selectedValues"};
    const std::vector<std::string> lists = {"options", "defaultValues", "selectedValues"};
    std::map<std::string, nlohmann::json> byName;
    for (size_t i = 0; i < expectedNames.size(); ++i) {
        const nlohmann::json& f = j["fields"][i];
        SCOPED_TRACE(expectedNames[i]);
        for (const auto& k : keys)
            EXPECT_TRUE(f.contains(k)) << "missing key " << k;
        for (const auto& k : lists)
            EXPECT_TRUE(f[k].is_array()) << k;
        EXPECT_EQ(f["name"], expectedNames[i]);
        byName[expectedNames[i]] = f;
    }

    const nlohmann::json& usage = byName["Usage"];
    EXPECT_EQ(usage["type"], 9);
    EXPECT_EQ(usage["typeName"], "MultiChoice");
    EXPECT_EQ(usage["selectedValues"], nlohmann::json::array({"Print"}));
    EXPECT_EQ(usage["defaultValues"], nlohmann::json::array());
    EXPECT_EQ(usage["options"], nlohmann::json::array({"Print", "Web", "Social media", "Archive", "Cover"}));
    EXPECT_EQ(usage["visibleLines"], 5);
    EXPECT_EQ(usage["allowUserValues"], false);

    const nlohmann::json& release = byName["Model release"];
    EXPECT_EQ(release["type"], 2);
    EXPECT_EQ(release["boolValue"], true);
    EXPECT_EQ(release["hasDefault"], true);

    const nlohmann::json& credit = byName["Credit line"];
    EXPECT_EQ(credit["type"], 10);
    EXPECT_EQ(credit["allowUserValues"], true);
    EXPECT_EQ(credit["fieldOverridden"], false);
    EXPECT_EQ(credit["value"], "\xC2\xA9 <cvbrindle:Photographer/> / <cvbrindle:Agency/>");

    EXPECT_EQ(byName["Fee"]["defaultValue"], "150.00");
    EXPECT_EQ(byName["Agency"]["options"][4], "\xC3\x86r\xC3\xB8 Bildbyr\xC3\xA5");
    EXPECT_EQ(byName["Invoice number"]["hidden"], true);
    EXPECT_EQ(byName["Photographer"]["required"], true);
}

TEST_F(LibraryCommand, ShowOfAMissingPackageFailsNamingIt) {
    ImportAllSamples();
    for (const char* option : {"", " --json"}) {
        std::string out, err;
        EXPECT_EQ(Brindle(std::string("library show Missing") + option, &out, &err), 1) << option;
        EXPECT_NE(err.find("Missing"), std::string::npos) << err;
        EXPECT_EQ(out, "");
    }
}

TEST_F(LibraryCommand, ImportWithABadFileNamesItAndChangesNothing) {
    Import({"Advertising", "Production"});
    std::string listBefore;
    ASSERT_EQ(Brindle("library list --json", &listBefore), 0);
    auto folderBefore = FolderBytes(PackagesFolder());
    ASSERT_EQ(folderBefore.size(), 2u);

    // Latin-1 bytes in a file that says it is UTF-8.
    const fs::path utf8 = fWork / "utf8.xml";
    WriteFile(utf8,
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<brindle version=\"1\"><package name=\"R\xE9" "d\" "
              "version=\"2\"/></brindle>");
    const fs::path text = fWork / "notes.txt";
    WriteFile(text, "these are not the packages you are looking for\n");
    const fs::path broken = fWork / "broken.xml";
    WriteFile(broken,
              ToUTF16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<brindle version=\"1\"><package "));
    const fs::path wrongRoot = fWork / "wrong root.xml";
    WriteFile(wrongRoot,
              ToUTF16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<library version=\"1\">"
                      "<package name=\"Rooted\" password=\"\" version=\"2\" timestamp=\"1\"/></library>"));
    const fs::path missing = fWork / "missing_ID.xml";

    struct Case {
        std::string what;
        std::vector<fs::path> bad;
    };
    const std::vector<Case> cases = {
        {"UTF-8 XML that is not UTF-8", {utf8}},
        {"not XML", {text}},
        {"UTF-16 but not well-formed", {broken}},
        {"UTF-16 with a wrong root", {wrongRoot}},
        {"missing file", {missing}},
        {"all of them", {utf8, text, broken, wrongRoot, missing}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The good file comes first so a partial import would show.
        std::string args = "library import " + Quote(SampleFile("Editorial"));
        for (const auto& b : c.bad)
            args += " " + Quote(b);
        std::string out, err;
        EXPECT_EQ(Brindle(args, &out, &err), 1);
        for (const auto& b : c.bad)
            EXPECT_NE(err.find(b.string()), std::string::npos) << b << " not named in\n" << err;
        EXPECT_EQ(err.find(SampleFile("Editorial").string()), std::string::npos) << "the good file is named\n"
                                                                                 << err;

        std::string listAfter;
        EXPECT_EQ(Brindle("library list --json", &listAfter), 0);
        EXPECT_EQ(listAfter, listBefore);
        EXPECT_EQ(FolderBytes(PackagesFolder()), folderBefore);
    }
}

// An import of several files stores every package of them or none: a file that does not read,
// a version the library refuses, or a package file that cannot be stored part-way leaves the
// library, its folder and the settings file as they were.
TEST_F(LibraryCommand, ImportOfSeveralFilesIsAllOrNothing) {
    auto editorial = [&](const char* version) {
        std::string text = ReadUTF16File(SampleFile("Editorial"));
        const std::string old = "version=\"3\" timestamp";
        text.replace(text.find(old), old.size(), std::string("version=\"") + version + "\" timestamp");
        const fs::path file = fWork / (std::string("Editorial v") + version + ".xml");
        WriteFile(file, ToUTF16(text));
        return file;
    };
    const fs::path lower = editorial("2"), higher = editorial("4");
    const fs::path bad = fWork / "bad.xml";
    WriteFile(bad, "not a package\n");
    const fs::path advertising = SampleFile("Advertising"), production = SampleFile("Production");
    struct Case {
        const char* what;
        std::vector<fs::path> files;
        int code;
        std::function<void()> spoil, restore; // what makes the store fail, and undoes it
    };
    const fs::path folder = PackagesFolder();
    const std::vector<Case> cases = {
        {"a good file, then one that does not read", {advertising, bad}, 1, {}, {}},
        {"a file that does not read, then a good one", {bad, advertising}, 1, {}, {}},
        {"a version the library refuses in the second file", {advertising, lower}, 1, {}, {}},
        // The new package and the replaced one are stored before the one in the way fails.
        {"a folder where the last package file goes",
         {advertising, higher, production},
         2,
         [&] { fs::create_directory(folder / "Production_ID.xml"); },
         [&] { fs::remove(folder / "Production_ID.xml"); }},
        {"a packages folder that cannot be written",
         {advertising, production},
         2,
         [&] { fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove); },
         [&] { fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add); }},
    };
    Import({"Editorial"});
    const fs::path settings = fHome.path() / "config/corvane/BrindleSettings.xml";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.spoil) c.spoil();
        if (std::string(c.what).find("cannot be written") != std::string::npos && ::access(folder.c_str(), W_OK) == 0) {
            c.restore(); // the superuser writes anyway
            continue;
        }
        const std::string listBefore = ListJSON().dump();
        const auto folderBefore = FolderBytes(folder);
        const std::string settingsBefore = ReadFile(settings);
        std::string args = "library import";
        for (const fs::path& f : c.files)
            args += " " + Quote(f);
        std::string out, err;
        EXPECT_EQ(Brindle(args, &out, &err), c.code) << err;
        EXPECT_EQ(out, "");
        EXPECT_EQ(ListJSON().dump(), listBefore);
        EXPECT_EQ(FolderBytes(folder), folderBefore);
        EXPECT_EQ(ReadFile(settings), settingsBefore);
        if (c.restore) c.restore();
    }
    // And with nothing in the way, all of them.
    std::string err;
    EXPECT_EQ(Brindle("library import " + Quote(advertising) + " " + Quote(higher) + " " + Quote(production),
                      nullptr, &err),
              0)
        << err;
    EXPECT_EQ(ListedNames(), (std::vector<std::string>{"Advertising", "Editorial", "Production"}));
}

// Each file alone into an empty library: what is read (packages by name and version), or that
// the import refuses it naming the file and what is wrong.
TEST_F(LibraryCommand, ImportReadsUTF8AndUTF16AndChecksWhatItReads) {
    const std::string field =
        "<field Name=\"Ref\" ShortName=\"Ref\" Description=\"\" Required=\"False\" "
        "Value=\"x\" Type=\"0\" HasDefault=\"False\" Hidden=\"False\" ReadOnly=\"False\"/>";
    auto doc = [](const std::string& packages) {
        return "<brindle version=\"1\">" + packages + "</brindle>";
    };
    auto package = [](const std::string& name, const std::string& attrs, const std::string& fields) {
        return "<package name=\"" + name + "\" password=\"\" " + attrs + ">" + fields + "</package>";
    };
    const std::string redaction = package("R\u00e9daction", "version=\"2\" timestamp=\"1\"", field);
    const std::string decl8 = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    struct Case {
        std::string what;
        std::string bytes;
        std::vector<std::string> listed; // "name version"; empty when refused
        std::vector<std::string> named;  // in the error, besides the file
    };
    const std::vector<Case> cases = {
        {"UTF-8 declared", decl8 + doc(redaction), {"R\u00e9daction 2"}, {}},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + doc(redaction), {"R\u00e9daction 2"}, {}},
        {"UTF-8 without declaration", doc(redaction), {"R\u00e9daction 2"}, {}},
        {"UTF-16 little-endian",
         ToUTF16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + doc(redaction)),
         {"R\u00e9daction 2"},
         {}},
        {"UTF-16 big-endian", ToUTF16(doc(redaction), true), {"R\u00e9daction 2"}, {}},
        {"several packages",
         doc(redaction + package("Zeta", "version=\"4\"", field) + package("Alpha", "version=\"1\"", "")),
         {"Alpha 1", "R\u00e9daction 2", "Zeta 4"},
         {}},
        {"UTF-8 declared, Latin-1 inside", decl8 + doc(package("R\xE9", "version=\"2\"", "")), {}, {"UTF-8"}},
        {"an encoding not read",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" + doc(redaction),
         {},
         {"ISO-8859-1"}},
        {"unknown type",
         doc(package("P", "version=\"1\"", "<field Name=\"Tone\" Type=\"Colour\"/>")),
         {},
         {"\"Tone\"", "\"Type\"", "Colour"}},
        {"type code out of range",
         doc(package("P", "version=\"1\"", "<field Name=\"Tone\" Type=\"12\"/>")),
         {},
         {"\"Tone\"", "\"Type\""}},
        {"type missing",
         doc(package("P", "version=\"1\"", "<field Name=\"Tone\"/>")),
         {},
         {"\"Tone\"", "\"Type\""}},
        {"flag not True or False",
         doc(package("P", "version=\"1\"", "<field Name=\"Tone\" Type=\"0\" Required=\"true\"/>")),
         {},
         {"\"Tone\"", "\"Required\"", "\"true\""}},
        {"Boolean value not a Boolean",
         doc(package("P", "version=\"1\"", "<field Name=\"Proofed\" Type=\"2\" Value=\"yes\"/>")),
         {},
         {"\"Proofed\"", "\"Value\"", "\"yes\""}},
        {"version missing",
         doc(package("Later", "timestamp=\"1\"", field)),
         {},
         {"\"Later\"", "\"version\""}},
        {"version not a number",
         doc(package("Later", "version=\"v2\"", field)),
         {},
         {"\"Later\"", "\"version\""}},
        {"a later package is bad",
         doc(redaction + package("Later", "", field)),
         {},
         {"\"Later\"", "\"version\""}},
        {"no packages", "<xmp />\n", {}, {"no package"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir home;
        const fs::path file = fWork / "in put.xml";
        WriteFile(file, c.bytes);
        std::string out, err;
        const int code =
            RunBrindle("--home " + Quote(home.path()) + " library import " + Quote(file), &out, &err);
        std::string listed;
        ASSERT_EQ(RunBrindle("--home " + Quote(home.path()) + " library list --json", &listed), 0);
        std::vector<std::string> got;
        const nlohmann::json j = nlohmann::json::parse(listed);
        for (const auto& p : j["packages"])
            got.push_back(p["name"].get<std::string>() + " " + std::to_string(p["version"].get<int>()));
        EXPECT_EQ(got, c.listed) << err;
        if (c.listed.empty()) {
            EXPECT_EQ(code, 1);
            EXPECT_NE(err.find(file.string()), std::string::npos) << err;
            for (const auto& n : c.named)
                EXPECT_NE(err.find(n), std::string::npos) << n << " not named in\n" << err;
            continue;
        }
        EXPECT_EQ(code, 0) << err;
        // The library keeps its own format whatever the import read.
        for (const auto& [name, bytes] : FolderBytes(home.path() / "config/corvane/BrindlePackages"))
            EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE") << name;
    }
}

// `brindle xml` prints what import takes as it stands.
TEST_F(LibraryCommand, XmlOfADocumentImportsAsItStands) {
    const fs::path doc = fWork / "doc.jpg";
    fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples/documents/Editorial-BlueSquare.jpg", doc);
    std::string xml, err;
    // Opening the document teaches the library its newer package; the export is read from a
    // host of its own so that the import below meets a library without it.
    testsupport::TempDir elsewhere;
    ASSERT_EQ(RunBrindle("--home " + Quote(elsewhere.path()) + " xml " + Quote(doc), &xml, &err), 0) << err;
    const fs::path file = fWork / "f.xml";
    WriteFile(file, xml);
    std::string out;
    ASSERT_EQ(Brindle("library import " + Quote(file), &out, &err), 0) << err;
    EXPECT_EQ(out, "imported Editorial version 3 from " + file.string() + "\n");
    std::string shown;
    ASSERT_EQ(Brindle("library show Editorial --json", &shown, &err), 0) << err;
    const nlohmann::json j = nlohmann::json::parse(shown);
    EXPECT_EQ(j["version"], 3);
    ASSERT_EQ(j["fields"].size(), 13u);
    EXPECT_EQ(j["fields"][0]["value"], "Blue squares take over the city");
    ParsedExport kept = ParseWithPython({PackagesFolder() / "Editorial_ID.xml"})[0];
    EXPECT_EQ(kept.name, "Editorial");
    EXPECT_EQ(kept.fieldCount, "13");
    // The same text again is the same version with the same content.
    EXPECT_EQ(Brindle("library import " + Quote(file), &out, &err), 0) << err;
}

TEST_F(LibraryCommand, ImportReplacesAPackageOfTheSameName) {
    ImportAllSamples();
    std::string text = ReadUTF16File(SampleFile("Editorial"));
    const std::string oldVersion = "version=\"3\" timestamp=\"41234\"";
    size_t at = text.find(oldVersion);
    ASSERT_NE(at, std::string::npos);
    text.replace(at, oldVersion.size(), "version=\"9\" timestamp=\"41300\"");
    // Drop the last field so the replacement is visible beyond the version too.
    size_t lastField = text.rfind("<field ");
    size_t packageEnd = text.find("</package>");
    ASSERT_NE(lastField, std::string::npos);
    ASSERT_NE(packageEnd, std::string::npos);
    text.erase(lastField, packageEnd - lastField);
    const fs::path newer = fWork / "Editorial newer.xml";
    WriteFile(newer, ToUTF16(text));
    const size_t newFieldCount = FieldNamesInFile(newer).size();
    ASSERT_EQ(newFieldCount + 1, FieldNamesInFile(SampleFile("Editorial")).size());

    std::string out, err;
    ASSERT_EQ(Brindle("library import " + Quote(newer), &out, &err), 0) << err;
    EXPECT_NE(out.find("Editorial version 9"), std::string::npos) << out;

    nlohmann::json j = ListJSON();
    ASSERT_EQ(j["packages"].size(), kSamples.size());
    std::vector<std::string> names;
    for (const auto& p : j["packages"])
        names.push_back(p["name"]);
    EXPECT_EQ(names, (std::vector<std::string>{"Advertising", "Editorial", "Photo Rights", "Production"}));
    EXPECT_EQ(j["packages"][1]["version"], 9);
    EXPECT_EQ(j["packages"][1]["fieldCount"], newFieldCount);

    ParsedExport kept = ParseWithPython({PackagesFolder() / "Editorial_ID.xml"})[0];
    EXPECT_EQ(kept.version, "9");
    EXPECT_EQ(kept.fieldCount, std::to_string(newFieldCount));
    EXPECT_EQ(FolderBytes(PackagesFolder()).size(), kSamples.size());
}

TEST_F(LibraryCommand, ExportToAFileWritesAUTF16PackageDefinition) {
    ImportAllSamples();
    struct Case {
        std::string name, version;
        fs::path file;
    };
    std::vector<Case> cases = {{"Editorial", "3", fWork / "Editorial export.xml"},
                               {"Production", "7", fWork / "Production export.xml"}};
    std::vector<fs::path> files;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out, err;
        ASSERT_EQ(Brindle("library export " + c.name + " -o " + Quote(c.file), &out, &err), 0) << err;
        ASSERT_TRUE(fs::exists(c.file));
        std::string bytes = ReadFile(c.file);
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
        EXPECT_EQ(FieldNamesInFile(c.file), FieldNamesInFile(SampleFile(c.name)));
        files.push_back(c.file);
    }
    std::vector<ParsedExport> parsed = ParseWithPython(files);
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const ParsedExport& x = parsed[i];
        SCOPED_TRACE(c.name);
        EXPECT_EQ(x.root, "brindle");
        EXPECT_EQ(x.rootVersion, "1");
        EXPECT_EQ(x.packageCount, "1");
        EXPECT_EQ(x.name, c.name);
        EXPECT_EQ(x.version, c.version);
        EXPECT_EQ(x.modified, "-");
        EXPECT_EQ(x.fieldCount, std::to_string(FieldNamesInFile(SampleFile(c.name)).size()));
    }
}

TEST_F(LibraryCommand, ExportWithoutAFileUsesTheProposedNameInTheCurrentFolder) {
    ImportAllSamples();
    std::string out, err;
    ASSERT_EQ(BrindleIn(fWork.path(), "library export Editorial", &out, &err), 0) << err;
    const fs::path file = fWork / "BRN_Editorial_v3.xml";
    ASSERT_TRUE(fs::exists(file)) << out;
    EXPECT_NE(out.find(file.filename().string()), std::string::npos) << out;
    ParsedExport x = ParseWithPython({file})[0];
    EXPECT_EQ(x.name, "Editorial");
    EXPECT_EQ(x.version, "3");
    EXPECT_EQ(ListJSON()["packages"][1]["version"], 3) << "an unmodified package keeps its version";
}

TEST_F(LibraryCommand, ExportOfAModifiedPackageRaisesItsVersion) {
    ImportAllSamples();
    std::string out, err;
    ASSERT_EQ(BrindleIn(fWork.path(), "library export " + Quote(std::string("Photo Rights")), &out, &err), 0)
        << err;
    const fs::path file = fWork / "BRN_Photo Rights_v6.xml";
    ASSERT_TRUE(fs::exists(file)) << "written: " << out;
    EXPECT_FALSE(fs::exists(fWork / "BRN_Photo Rights_v5.xml"));

    auto parsed = ParseWithPython({file, PackagesFolder() / "Photo Rights_ID.xml"});
    const ParsedExport& x = parsed[0];
    EXPECT_EQ(x.name, "Photo Rights");
    EXPECT_EQ(x.version, "6");
    EXPECT_EQ(x.modified, "-");

    nlohmann::json j = ListJSON();
    ASSERT_EQ(j["packages"].size(), kSamples.size());
    EXPECT_EQ(j["packages"][2]["name"], "Photo Rights");
    EXPECT_EQ(j["packages"][2]["version"], 6);
    EXPECT_EQ(j["packages"][2]["modified"], false);

    // The library's own file follows.
    const ParsedExport& kept = parsed[1];
    EXPECT_EQ(kept.version, "6");
    EXPECT_EQ(kept.modified, "-");
}

TEST_F(LibraryCommand, ExportIntoAMissingFolderFailsWithAnAlert) {
    ImportAllSamples();
    std::string listBefore;
    ASSERT_EQ(Brindle("library list --json", &listBefore), 0);
    const fs::path file = fWork / "no such folder" / "out.xml";
    std::string out, err;
    EXPECT_EQ(Brindle("library export Editorial -o " + Quote(file), &out, &err), 2);
    EXPECT_NE(err.find("could not write"), std::string::npos) << err;
    EXPECT_NE(err.find("alert:"), std::string::npos) << err;
    EXPECT_FALSE(fs::exists(file.parent_path()));
    std::string listAfter;
    EXPECT_EQ(Brindle("library list --json", &listAfter), 0);
    EXPECT_EQ(listAfter, listBefore);
}

TEST_F(LibraryCommand, ExportOfAMissingPackageFails) {
    ImportAllSamples();
    std::string out, err;
    EXPECT_EQ(BrindleIn(fWork.path(), "library export Missing", &out, &err), 1);
    EXPECT_NE(err.find("Missing"), std::string::npos) << err;
    EXPECT_TRUE(fs::is_empty(fWork.path()));
}

TEST_F(LibraryCommand, DeleteRemovesThePackageAndItsFile) {
    ImportAllSamples();
    ASSERT_TRUE(fs::exists(PackagesFolder() / "Editorial_ID.xml"));
    auto before = FolderBytes(PackagesFolder());

    std::string out, err;
    ASSERT_EQ(Brindle("library delete Editorial", &out, &err), 0) << err;
    EXPECT_EQ(ListedNames(), (std::vector<std::string>{"Advertising", "Photo Rights", "Production"}));
    EXPECT_FALSE(fs::exists(PackagesFolder() / "Editorial_ID.xml"));
    before.erase("Editorial_ID.xml");
    EXPECT_EQ(FolderBytes(PackagesFolder()), before) << "the other package files are untouched";

    EXPECT_EQ(Brindle("library delete Editorial", &out, &err), 1);
    EXPECT_NE(err.find("Editorial"), std::string::npos) << err;
    EXPECT_EQ(Brindle("library delete Missing", &out, &err), 1);
    EXPECT_EQ(ListedNames(), (std::vector<std::string>{"Advertising", "Photo Rights", "Production"}));
    EXPECT_EQ(FolderBytes(PackagesFolder()), before);
}

TEST_F(LibraryCommand, LoadingTheLibraryLeavesItsFilesAsTheyAre) {
    ImportAllSamples();
    auto afterImport = FolderBytes(PackagesFolder());
    ASSERT_EQ(afterImport.size(), kSamples.size());
    for (const auto& s : kSamples)
        EXPECT_TRUE(afterImport.count(s.name + "_ID.xml")) << s.name;
    const std::string settings = ReadFile(fHome / "config/corvane/BrindleSettings.xml");

    std::string out, err;
    ASSERT_EQ(Brindle("library list", &out, &err), 0) << err;
    EXPECT_EQ(err, "");
    EXPECT_EQ(FolderBytes(PackagesFolder()), afterImport);
    EXPECT_EQ(ReadFile(fHome / "config/corvane/BrindleSettings.xml"), settings);
}

} // namespace

// Files that are not regular files (a FIFO without a writer, a link to an endless device)
// are never read: given to import they are named as errors; in the packages folder, as
// the settings file or as a defaults file they are skipped, and every command finishes.
TEST_F(LibraryCommand, FilesThatAreNotRegularFilesAreSkippedNotRead) {
    Import({"Advertising"});
    const fs::path fifo = fWork / "fifo_ID.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path zero = fWork / "zero_ID.xml";
    fs::create_symlink("/dev/zero", zero);
    for (const fs::path& bad : {fifo, zero}) {
        SCOPED_TRACE(bad.string());
        std::string out, err;
        EXPECT_EQ(Brindle("library import " + Quote(SampleFile("Editorial")) + " " + Quote(bad), &out, &err),
                  1);
        EXPECT_NE(err.find(bad.string()), std::string::npos) << err;
        EXPECT_NE(err.find("not a regular file"), std::string::npos) << err;
    }
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"Advertising"});

    // In the packages folder: listed as files that do not load, the library still reads.
    ASSERT_EQ(::mkfifo((PackagesFolder() / "Pipe_ID.xml").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", PackagesFolder() / "Zero_ID.xml");
    std::string out, err;
    EXPECT_EQ(Brindle("library list", &out, &err), 0) << err;
    EXPECT_NE(out.find("Advertising"), std::string::npos) << out;
    EXPECT_NE(err.find("Pipe_ID.xml"), std::string::npos) << err;
    EXPECT_NE(err.find("Zero_ID.xml"), std::string::npos) << err;

    // As the settings file.
    const fs::path settings = fHome.path() / "config/corvane/BrindleSettings.xml";
    fs::remove(settings);
    ASSERT_EQ(::mkfifo(settings.c_str(), 0600), 0);
    EXPECT_NE(Brindle("settings --json", &out, &err), -1);
    fs::remove(settings);

    // As a defaults file beside the plug-in.
    const fs::path plugin = testsupport::PlugInFolderWith();
    ASSERT_EQ(::mkfifo((plugin / "BrindleDefaults.xml").c_str(), 0600), 0);
    EXPECT_EQ(Brindle("--plugin-dir " + Quote(plugin) + " tags Advertising", &out, &err), 0) << err;
}

// Without -o the proposed name is one file in the current folder, whatever the package's
// name holds: separators and dots are escaped as in the packages folder, never a path.
TEST_F(LibraryCommand, ExportWithoutAFileNeverLeavesTheCurrentFolder) {
    struct Case {
        std::string name;
        std::string file;
    };
    const Case cases[] = {
        {"Nyheder/Sport", "BRN_Nyheder%2FSport~"},
        {"x/../../escaped", "BRN_x%2F..%2F..%2Fescaped~"},
        {"..", "BRN_%2E%2E~"},
        {"Plain", "BRN_Plain_v2.xml"},
    };
    const fs::path inner = fWork / "a" / "b";
    fs::create_directories(inner);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path def = fWork / "def.xml";
        WriteFile(
            def,
            ToUTF16("<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<brindle version=\"1\"><package name=\"" +
                    c.name + "\" password=\"\" version=\"2\" timestamp=\"1\"/></brindle>"));
        std::string out, err;
        ASSERT_EQ(Brindle("library import " + Quote(def), &out, &err), 0) << err;
        const auto before = FolderBytes(fWork.path());
        ASSERT_EQ(BrindleIn(inner, "library export " + Quote(c.name), &out, &err), 0) << err;
        std::vector<fs::path> written;
        for (const auto& e : fs::directory_iterator(inner))
            written.push_back(e.path());
        ASSERT_EQ(written.size(), 1u);
        EXPECT_EQ(written[0].filename().string().rfind(c.file, 0), 0u) << written[0];
        EXPECT_EQ(ParseWithPython({written[0]})[0].name, c.name);
        EXPECT_EQ(FolderBytes(fWork.path()), before) << "nothing was written outside the folder";
        fs::remove(written[0]);
    }
}

// The dialog commands: each row runs after a protected Alpha (password s3) was made; the library
// list afterwards says what was stored.
TEST(LibraryDialogCommandTest, DialogCommandsChangeTheLibraryOnlyWhenConfirmed) {
    struct Case {
        std::string args;
        int code;
        std::string listHas;
    };
    const std::string def =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><brindle version=\"1\"><package name=\"X\">"
        "<field Name=\"Kind\" ShortName=\"k\" Type=\"3\"><options><value name=\"A\"/>"
        "<value name=\"VALUES\"/></options></field></package></brindle>";
    const std::vector<Case> cases = {
        {"library new Alpha", 1, "Alpha                       0        yes       yes       0"},
        {"library copy Alpha Beta --dialog-answer 'enter-password password=bad'", 1, "\n"},
        {"library copy Alpha Beta --dialog-answer 'enter-password password=s3'", 0,
         "Beta                        0        yes       no        0"},
        {"library password Alpha --dialog-answer 'enter-password password=bad' "
         "--dialog-answer 'password password=n confirm=n'",
         1, "Alpha                       0        yes       yes"},
        {"library edit Alpha --from FILE_B --dialog-answer 'enter-password password=s3'", 1,
         "yes       yes       0"},
        {"library edit Alpha --from FILE_A --dialog-answer 'enter-password password=s3'", 0,
         "Alpha                       1        no        yes       1"},
        {"library edit Alpha --from FILE_A --dialog-answer 'enter-password password=bad'", 1,
         "Alpha                       0        yes       yes       0"},
        // The editor itself, answered from the script: a new field named and typed.
        {"library edit Alpha --dialog-answer 'enter-password password=s3' --dialog-answer 'editor --button add' "
         "--dialog-answer 'editor name=Kind type=Choice --button addValue' --dialog-answer 'editor --button OK'",
         0, "Alpha                       1        no        yes       1"},
        // Two values alike are refused; with no answer left the editor is cancelled.
        {"library edit Alpha --dialog-answer 'enter-password password=s3' --dialog-answer 'editor --button add' "
         "--dialog-answer 'editor type=Choice --button addValue' --dialog-answer 'editor --button addValue' "
         "--dialog-answer 'editor value=aValue1 --button OK'",
         1, "Alpha                       0        yes       yes       0"},
        {"library edit Alpha --dialog-answer 'enter-password password=bad' --dialog-answer 'editor --button OK'", 1,
         "Alpha                       0        yes       yes       0"},
    };
    for (const Case& c : cases) {
        TempDir tmp;
        WriteFile(tmp / "a.xml", std::regex_replace(def, std::regex("VALUES"), "B"));
        WriteFile(tmp / "b.xml", std::regex_replace(def, std::regex("VALUES"), "A"));
        const std::string home = "--home " + Quote(tmp / "home") + " ";
        ASSERT_EQ(RunBrindle(home + "library new Alpha --dialog-answer 'password password=s3 confirm=s3'"),
                  0);
        std::string args = std::regex_replace(c.args, std::regex("FILE_A"), Quote(tmp / "a.xml"));
        args = std::regex_replace(args, std::regex("FILE_B"), Quote(tmp / "b.xml"));
        std::string err;
        EXPECT_EQ(RunBrindle(home + args, nullptr, &err), c.code) << c.args << "\n" << err;
        std::string list;
        ASSERT_EQ(RunBrindle(home + "library list", &list), 0);
        EXPECT_NE(list.find(c.listHas), std::string::npos) << c.args << "\n" << list;
    }
}
