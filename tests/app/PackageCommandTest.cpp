// The `brindle apply`, `upgrade` and `check` commands, run as the built program on copies of
// the sample documents with the sample library imported into a home of its own.
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "logic/BRNPackageUtils.h"
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using nlohmann::json;
using testsupport::HostFixture;
using testsupport::ReadFile;
using testsupport::ReadUTF16File;
using testsupport::ToUTF16;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;

namespace {

struct Result {
    int code = -1;
    std::string out, err;
};

fs::path Samples() {
    return SamplesLibrary().parent_path();
}

std::string Today() {
    std::time_t now = std::time(nullptr);
    char buf[16];
    std::strftime(buf, sizeof buf, "%Y/%m/%d", std::localtime(&now));
    return buf;
}

// The fields of the document's first package by name: value and history length.
json FieldsOf(const json& document) {
    json fields = json::object();
    for (const json& f : document["packages"][0]["fields"])
        fields[f["name"].get<std::string>()] = {
            {"value", f["value"]},
            {"history", f["history"].size()},
            {"last", f["history"].empty() ? json() : f["history"].back()}};
    return fields;
}

// The host in this process writes packages into copies; the program has a home of its own
// with the sample library imported.
class PackageCommandTest : public HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        std::vector<std::string> files;
        std::string args = "library import";
        for (const char* name : {"Editorial_ID.xml", "Production_ID.xml", "Advertising_ID.xml"})
            args += " " + Quote(SamplesLibrary() / name);
        Result r = Run(args);
        ASSERT_EQ(r.code, 0) << r.err;
    }
    fs::path Copy(const char* sample, const std::string& as) {
        fs::path to = fDir.path() / as;
        fs::copy_file(Samples() / "documents" / sample, to);
        fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
        return to;
    }
    Result Run(const std::string& args) {
        Result r;
        r.code = RunBrindle("--home " + Quote(fProgramHome.path()) + " --user ci " + args, &r.out, &r.err);
        return r;
    }
    json Packages(const fs::path& file) {
        Result r = Run("packages --json " + Quote(file));
        EXPECT_EQ(r.code, 0) << r.err;
        return json::parse(r.out)["documents"][0];
    }
    // The first package of the file, as this process reads it.
    BRNPackage Read(const fs::path& file) {
        std::string error;
        IDocument* doc = Host::OpenDocument(IDFile(file), &error);
        EXPECT_NE(doc, nullptr) << error;
        IDataBase* db = doc->GetDocumentDataBase();
        BRNPackageList list = BRNPackageUtils::ReadPackages(UIDRef(db, db->GetRootUID()));
        Host::CloseDocument(doc);
        return list.at(0);
    }
    void Store(const fs::path& file, const BRNPackage& package) {
        std::string error;
        IDocument* doc = Host::OpenDocument(IDFile(file), &error);
        ASSERT_NE(doc, nullptr) << error;
        IDataBase* db = doc->GetDocumentDataBase();
        ASSERT_EQ(BRNPackageUtils::StorePackages(UIDList(db, db->GetRootUID()), {package}, kFalse, kFalse),
                  kSuccess);
        ASSERT_TRUE(Host::SaveDocument(doc, &error)) << error;
        Host::CloseDocument(doc);
    }
    // The sample document's package made an older version, its headline changed.
    fs::path OlderEditorial(const std::string& as, uint32 version) {
        fs::path file = Copy("Editorial-BlueSquare.jpg", as);
        BRNPackage p = Read(file);
        p.SetVersion(version);
        p.Fields()[0].SetValue(PMString("Kept from version " + std::to_string(version)));
        Store(file, p);
        return file;
    }

    TempDir fDir;
    TempDir fProgramHome;
};

TEST_F(PackageCommandTest, ApplyGivesDefaultsAndTheDefaultsFile) {
    const fs::path file = Copy("Plain-BlueSquare.jpg", "plain.jpg");
    Result r = Run("--plugin-dir " + Quote(testsupport::PlugInFolderWith(Samples() / "plugin")) + " apply " + Quote(file) + " Editorial");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, file.string() + ": Editorial version 3\n");

    const json doc = Packages(file);
    ASSERT_EQ(doc["packages"].size(), 1u) << doc;
    EXPECT_EQ(doc["packages"][0]["version"], 3);
    EXPECT_EQ(doc["packages"][0]["enabled"], true);
    const json f = FieldsOf(doc);
    EXPECT_EQ(f["Section"]["value"], "News") << "from the defaults file";
    EXPECT_EQ(f["Word count"]["value"], "900");
    EXPECT_EQ(f["Issue number"]["value"], "1") << "the package's default";
    EXPECT_EQ(f["Publication date"]["value"], Today());
    EXPECT_EQ(f["Keywords"]["value"], "Politics, Economy");
}

TEST_F(PackageCommandTest, ApplyOverAnOlderVersionKeepsTheValues) {
    const fs::path file = OlderEditorial("old.jpg", 2);
    Result r = Run("apply " + Quote(file) + " Editorial");
    ASSERT_EQ(r.code, 0) << r.err;
    const json doc = Packages(file);
    EXPECT_EQ(doc["packages"][0]["version"], 3);
    const json f = FieldsOf(doc);
    EXPECT_EQ(f["Headline"]["value"], "Kept from version 2");
    EXPECT_EQ(f["Headline"]["history"], 1) << "the history comes along";
    EXPECT_EQ(f["Author"]["value"], "Eva Lund; Jon Berg");
}

TEST_F(PackageCommandTest, ApplyRefusesBadInputAndLeavesTheFile) {
    const fs::path file = Copy("Plain-BlueSquare.jpg", "plain.jpg");
    const std::string bytes = ReadFile(file);
    Result r = Run("apply " + Quote(file) + " Nonexistent");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("the library has no package \"Nonexistent\""), std::string::npos) << r.err;
    r = Run("apply " + Quote(fDir.path() / "missing.jpg") + " Editorial");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;
    r = Run("apply " + Quote(file));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST_F(PackageCommandTest, UpgradeTakesTheLibrarysVersion) {
    const fs::path file = OlderEditorial("old.jpg", 2);
    Result r = Run("upgrade " + Quote(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, file.string() + ": Editorial version 3 (saved)\n");
    const json f = FieldsOf(Packages(file));
    EXPECT_EQ(f["Headline"]["value"], "Kept from version 2");

    // Nothing left to do: the file stays as it is.
    const std::string bytes = ReadFile(file);
    r = Run("upgrade " + Quote(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, file.string() + ": Editorial version 3 (unchanged)\n");
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST_F(PackageCommandTest, UpgradeAsksWhenTheSwitchIsOff) {
    ASSERT_EQ(Run("settings set UseLatestPackage false").code, 0);
    const fs::path file = OlderEditorial("old.jpg", 2);
    const std::string bytes = ReadFile(file);

    Result r = Run("--answer no upgrade " + Quote(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("alert: "), std::string::npos);
    EXPECT_NE(r.err.find("Editorial ver. 2"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, file.string() + ": Editorial version 2 (unchanged)\n");
    EXPECT_EQ(ReadFile(file), bytes);

    r = Run("--answer yes upgrade " + Quote(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "library: Editorial version 3 -> 2\n" + file.string() + ": Editorial version 2 (unchanged)\n");
    EXPECT_EQ(ReadFile(file), bytes) << "the document is not changed either way";
}

TEST_F(PackageCommandTest, ANewerDocumentTeachesTheLibrary) {
    const fs::path file = OlderEditorial("new.jpg", 9);
    const std::string bytes = ReadFile(file);
    Result r = Run("upgrade " + Quote(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "library: Editorial version 3 -> 9\n" + file.string() + ": Editorial version 9 (unchanged)\n");
    EXPECT_EQ(ReadFile(file), bytes);
    EXPECT_NE(ReadFile(fProgramHome.path() / "state/corvane/BRN.log").find("Pakke opdateret: Editorial"),
              std::string::npos);
    r = Run("library list --json");
    ASSERT_EQ(r.code, 0) << r.err;
    bool found = false;
    const json library = json::parse(r.out);
    for (const json& p : library["packages"])
        if (p["name"].get<std::string>() == "Editorial") {
            found = true;
            EXPECT_EQ(p["version"], 9);
            EXPECT_EQ(p["modified"], false);
        }
    EXPECT_TRUE(found) << r.out;
}

TEST_F(PackageCommandTest, CheckListsMissingFieldsOnceAndExitsThree) {
    const fs::path full = Copy("Editorial-BlueSquare.jpg", "full.jpg");
    const fs::path empty1 = Copy("Plain-BlueSquare.jpg", "empty1.jpg");
    const fs::path empty2 = Copy("Plain-BlueSquare.jpg", "empty2.jpg");
    ASSERT_EQ(Run("apply " + Quote(empty1) + " Editorial").code, 0);
    ASSERT_EQ(Run("apply " + Quote(empty2) + " Editorial").code, 0);
    const std::string before1 = ReadFile(full), before2 = ReadFile(empty1);

    Result r = Run("check --json " + Quote(full) + " " + Quote(empty1) + " " + Quote(empty2));
    ASSERT_EQ(r.code, 3) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["missing"], (json{"Headline", "Author"}));
    ASSERT_EQ(j["documents"].size(), 3u);
    EXPECT_EQ(j["documents"][0]["file"], full.string());
    EXPECT_EQ(j["documents"][0]["missing"], json::array());
    const json headlineAuthor = json::parse(R"([{"package": "Editorial", "field": "Headline"},
                                                {"package": "Editorial", "field": "Author"}])");
    EXPECT_EQ(j["documents"][1]["missing"], headlineAuthor);
    EXPECT_EQ(j["documents"][2]["saved"], false);
    EXPECT_EQ(j["errors"], json::array());
    // The pass's own alert names each field once.
    EXPECT_NE(r.err.find("\n- Headline\n- Author"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("- Headline", r.err.find("- Headline") + 1), std::string::npos) << r.err;
    // Without --save nothing is written, though the pass stamped history in memory.
    EXPECT_GT(j["documents"][1]["packagesChanged"].get<int>(), 0);
    EXPECT_EQ(ReadFile(full), before1);
    EXPECT_EQ(ReadFile(empty1), before2);

    r = Run("check " + Quote(empty1) + " " + Quote(full));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, empty1.string() +
                         ": missing: Headline, Author\n"
                         "required fields missing in 1 of 2 documents:\n- Headline\n- Author\n");

    r = Run("check " + Quote(full));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "required fields: all filled in 1 document\n");
}

TEST_F(PackageCommandTest, ManyFilesAreOneListAndAFileNamedTwiceIsCheckedOnce) {
    const fs::path empty = Copy("Plain-BlueSquare.jpg", "empty.jpg");
    ASSERT_EQ(Run("apply " + Quote(empty) + " Editorial").code, 0);
    std::string args = "check --json";
    for (int i = 0; i < 140; ++i) {
        // The empty document comes once early, once again late (in another batch).
        if (i == 3 || i == 130) args += " " + Quote(empty);
        args += " " + Quote(Copy("Editorial-BlueSquare.jpg", "full" + std::to_string(i) + ".jpg"));
    }
    Result r = Run(args);
    ASSERT_EQ(r.code, 3) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["missing"], (json{"Headline", "Author"}));
    ASSERT_EQ(j["documents"].size(), 141u);
    EXPECT_EQ(j["documents"][3]["file"], empty.string());
    EXPECT_EQ(j["documents"][3]["missing"].size(), 2u);
    EXPECT_EQ(j["documents"][3]["missing"][0]["field"], "Headline");
    EXPECT_EQ(j["documents"][140]["file"], (fDir.path() / "full139.jpg").string());
    size_t alerts = 0;
    for (size_t at = r.err.find("alert: "); at != std::string::npos; at = r.err.find("alert: ", at + 1))
        ++alerts;
    EXPECT_EQ(alerts, 1u) << "one report for all the files";
}

TEST_F(PackageCommandTest, CheckWithSaveWritesStampsAndTidiedValues) {
    const fs::path file = Copy("Plain-BlueSquare.jpg", "doc.jpg");
    ASSERT_EQ(Run("apply " + Quote(file) + " Production").code, 0);
    BRNPackage p = Read(file);
    for (BRNField& f : p.Fields())
        if (f.GetType() == kBRNTypeDecimal) f.SetValue(PMString("80."));
    Store(file, p);

    Result r = Run("check --save --json " + Quote(file));
    ASSERT_TRUE(r.code == 0 || r.code == 3) << r.err;
    EXPECT_EQ(json::parse(r.out)["documents"][0]["saved"], true);
    const BRNPackage after = Read(file);
    bool sawDecimal = false;
    for (const BRNField& f : after.GetFields()) {
        if (f.GetType() == kBRNTypeDecimal) {
            sawDecimal = true;
            EXPECT_EQ(f.GetValue(), PMString("80"));
            ASSERT_FALSE(f.GetHistory().empty());
            EXPECT_EQ(f.GetHistory().back().GetValue(), PMString("80"));
            EXPECT_EQ(f.GetHistory().back().GetUser(), PMString("ci"));
        }
    }
    EXPECT_TRUE(sawDecimal);

    // A second pass has nothing to stamp: the file is not written again.
    const std::string bytes = ReadFile(file);
    r = Run("check --save --json " + Quote(file));
    EXPECT_EQ(json::parse(r.out)["documents"][0]["saved"], false);
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST_F(PackageCommandTest, CheckReportsUnreadableFilesAndGoesOn) {
    const fs::path full = Copy("Editorial-BlueSquare.jpg", "full.jpg");
    const fs::path broken = fDir.path() / "broken.jpg";
    testsupport::WriteFile(broken, "<x:xmpmeta not really");
    Result r = Run("check --json " + Quote(full) + " " + Quote(fDir.path() / "missing.jpg"));
    EXPECT_EQ(r.code, 2);
    const json j = json::parse(r.out);
    EXPECT_EQ(j["documents"].size(), 1u);
    ASSERT_EQ(j["errors"].size(), 1u);
    EXPECT_EQ(j["errors"][0]["file"], (fDir.path() / "missing.jpg").string());
    EXPECT_NE(r.err.find("missing.jpg"), std::string::npos);
}

// The sample Editorial package as a definition file: another version, edited in the library
// (modified) or not, its Story ID template naming a field that does not exist or not.
fs::path EditorialFile(const fs::path& dir, uint32 version, bool modified, bool badTemplate) {
    std::string text = ReadUTF16File(SamplesLibrary() / "Editorial_ID.xml");
    const std::string v = "version=\"3\"";
    const size_t at = text.find(v);
    EXPECT_NE(at, std::string::npos);
    text.replace(at, v.size(),
                 "version=\"" + std::to_string(version) + "\"" + (modified ? " modified=\"true\"" : ""));
    if (badTemplate) {
        const std::string t = "DefaultValue=\"ED-";
        const size_t tat = text.find(t);
        EXPECT_NE(tat, std::string::npos);
        text.insert(tat + t.size(), "&lt;cvbrindle:NoSuchField/&gt;");
    }
    const fs::path file = dir / ("Editorial-v" + std::to_string(version) + (modified ? "m" : "") +
                                 (badTemplate ? "-bad" : "") + ".xml");
    testsupport::WriteFile(file, ToUTF16(text));
    return file;
}

// What upgrade reports: every change the library took (also when the document is then not
// written) and a refused write as a failure with its reason, in text and in JSON.
TEST_F(PackageCommandTest, UpgradeReportsLibraryChangesAndRefusedWrites) {
    struct Case {
        const char* what;
        uint32 libraryVersion;
        bool modified, badTemplate;
        uint32 documentVersion;
        int code;
        std::vector<std::string> libraryLines; // after "library: "
        const char* fault;                     // in standard error and in "error"; none when null
        bool written;
        bool saveFails = false; // the document file cannot be changed (immutable)
    };
    const std::vector<Case> cases = {
        {"newer library, template fails", 4, false, true, 2, 1, {}, "the template of field \"Story ID\" fails", false},
        {"edited library, template fails", 3, true, true, 2, 1, {"Editorial version 3 -> 4 (raised)"},
         "the template of field \"Story ID\" fails", false},
        {"edited library", 3, true, false, 2, 0, {"Editorial version 3 -> 4 (raised)"}, nullptr, true},
        {"newer library", 4, false, false, 2, 0, {}, nullptr, true},
        {"newer document", 3, false, false, 9, 0, {"Editorial version 3 -> 9"}, nullptr, false},
        {"edited library, the save fails", 3, true, false, 2, 2, {"Editorial version 3 -> 4 (raised)"}, nullptr,
         false, true},
    };
    int n = 0;
    for (const Case& c : cases) {
        for (bool asJSON : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (asJSON ? " (json)" : ""));
            // A home of its own for each run: the library as the sample left it.
            for (const fs::directory_entry& e : fs::directory_iterator(fProgramHome.path()))
                fs::remove_all(e.path());
            ASSERT_EQ(Run("library import " + Quote(SamplesLibrary() / "Editorial_ID.xml")).code, 0);
            if (c.libraryVersion != 3 || c.modified) {
                // The same version edited, or a lower one, replaces the library's only when forced.
                Result imported = Run("library import --force " +
                                      Quote(EditorialFile(fDir.path(), c.libraryVersion, c.modified, c.badTemplate)));
                ASSERT_EQ(imported.code, 0) << imported.err;
            }
            const fs::path file = OlderEditorial("u" + std::to_string(n++) + ".jpg", c.documentVersion);
            const std::string bytes = ReadFile(file);
            if (c.saveFails && std::system(("chattr +i " + Quote(file) + " 2>/dev/null").c_str()) != 0)
                GTEST_SKIP() << "chattr +i is not available here";
            Result r = Run(std::string("upgrade ") + (asJSON ? "--json " : "") + Quote(file));
            if (c.saveFails) std::system(("chattr -i " + Quote(file)).c_str());
            EXPECT_EQ(r.code, c.code) << r.out << r.err;
            if (c.fault) {
                EXPECT_NE(r.err.find(file.string() + ": the package \"Editorial\" could not be upgraded: " +
                                     c.fault),
                          std::string::npos)
                    << r.err;
            }
            EXPECT_EQ(ReadFile(file) != bytes, c.written);
            if (asJSON) {
                const json j = json::parse(r.out);
                EXPECT_EQ(j["file"], file.string());
                EXPECT_EQ(j["saved"], c.written);
                ASSERT_EQ(j["library"].size(), c.libraryLines.size());
                for (size_t i = 0; i < c.libraryLines.size(); ++i) {
                    const json& l = j["library"][i];
                    const std::string line = l["package"].get<std::string>() + " version " +
                                             std::to_string(l["from"].get<int>()) + " -> " +
                                             std::to_string(l["version"].get<int>()) +
                                             (l["raised"].get<bool>() ? " (raised)" : "");
                    EXPECT_EQ(line, c.libraryLines[i]);
                }
                if (c.fault)
                    EXPECT_NE(j["error"].get<std::string>().find(c.fault), std::string::npos) << r.out;
                else if (c.code != 0)
                    EXPECT_TRUE(j.contains("error")) << r.out;
                else
                    EXPECT_EQ(j["packages"][0]["name"], "Editorial") << r.out;
            } else {
                std::string expected;
                for (const std::string& l : c.libraryLines)
                    expected += "library: " + l + "\n";
                if (c.code == 0)
                    expected += file.string() + ": Editorial version " +
                                std::to_string(c.documentVersion == 9 ? 9 : c.libraryVersion == 3 ? 4 : c.libraryVersion) +
                                (c.written ? " (saved)\n" : " (unchanged)\n");
                EXPECT_EQ(r.out, expected);
            }
        }
    }
}

// Documents without packages are counted and listed apart from those whose fields are all
// filled; a run where none held a package says so.
TEST_F(PackageCommandTest, CheckCountsDocumentsWithoutPackagesApart) {
    const fs::path full = Copy("Editorial-BlueSquare.jpg", "full.jpg");
    const fs::path empty = Copy("Plain-BlueSquare.jpg", "empty.jpg");
    ASSERT_EQ(Run("apply " + Quote(empty) + " Editorial").code, 0);
    const fs::path plain1 = Copy("Plain-BlueSquare.jpg", "plain1.jpg");
    const fs::path plain2 = Copy("Plain-BlueSquare.jpg", "plain2.jpg");
    struct Case {
        std::vector<fs::path> files;
        int code;
        std::string text; // standard output of the text form
        std::vector<fs::path> without;
    };
    const std::vector<Case> cases = {
        {{full, plain1},
         0,
         plain1.string() + ": no packages\nrequired fields: all filled in 1 document (1 document without packages)\n",
         {plain1}},
        {{plain1, plain2},
         0,
         plain1.string() + ": no packages\n" + plain2.string() +
             ": no packages\nrequired fields: no packages in 2 documents\n",
         {plain1, plain2}},
        {{empty, plain2, full},
         3,
         empty.string() + ": missing: Headline, Author\n" + plain2.string() +
             ": no packages\nrequired fields missing in 1 of 2 documents (1 document without packages):\n"
             "- Headline\n- Author\n",
         {plain2}},
        {{full}, 0, "required fields: all filled in 1 document\n", {}},
    };
    for (const Case& c : cases) {
        std::string args;
        for (const fs::path& f : c.files)
            args += " " + Quote(f);
        SCOPED_TRACE(args);
        Result r = Run("check" + args);
        EXPECT_EQ(r.code, c.code) << r.err;
        EXPECT_EQ(r.out, c.text);
        r = Run("check --json" + args);
        EXPECT_EQ(r.code, c.code) << r.err;
        const json j = json::parse(r.out);
        json without = json::array();
        for (const fs::path& f : c.without)
            without.push_back(f.string());
        EXPECT_EQ(j["withoutPackages"], without);
        EXPECT_EQ(j["withPackages"], c.files.size() - c.without.size());
        for (const json& d : j["documents"])
            EXPECT_EQ(d["packages"].get<int>() == 0,
                      std::find(without.begin(), without.end(), d["file"]) != without.end());
    }
}

// Every argument that cannot be opened is reported, however many of them there are and
// whatever they are (missing, broken links, links that loop).
TEST_F(PackageCommandTest, CheckReportsEveryArgumentThatCannotBeResolved) {
    const fs::path full = Copy("Editorial-BlueSquare.jpg", "full.jpg");
    const fs::path link1 = fDir.path() / "link1.jpg";
    const fs::path link2 = fDir.path() / "link2.jpg";
    const fs::path link3 = fDir.path() / "link3.jpg";
    fs::create_symlink(fDir.path() / "gone1.jpg", link1);
    fs::create_symlink(fDir.path() / "gone2.jpg", link2);
    fs::create_symlink(fDir.path() / "gone1.jpg", link3);
    // Links that lead round in circles cannot be resolved at all.
    const fs::path loop1 = fDir.path() / "loop1.jpg";
    const fs::path loop2 = fDir.path() / "loop2.jpg";
    const fs::path self = fDir.path() / "self.jpg";
    fs::create_symlink(loop2, loop1);
    fs::create_symlink(loop1, loop2);
    fs::create_symlink(self, self);
    const fs::path missing1 = fDir.path() / "missing1.jpg";
    const fs::path missing2 = fDir.path() / "sub" / "missing2.jpg";
    const std::vector<fs::path> bad = {link1, loop1, link2, self, link3, loop2, missing1, missing2};
    std::string args = " " + Quote(full);
    for (const fs::path& b : bad)
        args += " " + Quote(b);
    Result r = Run("check --json" + args);
    EXPECT_EQ(r.code, 2);
    const json j = json::parse(r.out);
    EXPECT_EQ(j["documents"].size(), 1u);
    ASSERT_EQ(j["errors"].size(), bad.size()) << r.out;
    for (size_t i = 0; i < bad.size(); ++i) {
        EXPECT_EQ(j["errors"][i]["file"], bad[i].string());
        EXPECT_NE(r.err.find(bad[i].string() + ": "), std::string::npos) << r.err;
    }
}

} // namespace

// Other names of one file (a hard link, a symbolic link, a path with "..") are one
// document: checked and saved once, never closed twice.
TEST_F(PackageCommandTest, CheckWithSaveTakesOtherNamesOfAFileAsOneDocument) {
    const fs::path file = Copy("Plain-BlueSquare.jpg", "doc.jpg");
    ASSERT_EQ(Run("apply " + Quote(file) + " Production").code, 0);
    BRNPackage p = Read(file);
    for (BRNField& f : p.Fields())
        if (f.GetType() == kBRNTypeDecimal) f.SetValue(PMString("80."));
    Store(file, p);
    const fs::path hard = fDir.path() / "hard.jpg";
    const fs::path soft = fDir.path() / "soft.jpg";
    fs::create_symlink(file, soft);
    fs::create_directory(fDir.path() / "sub");
    const fs::path dotted = fDir.path() / "sub" / ".." / "doc.jpg";

    struct Case {
        std::string what;
        std::vector<fs::path> names;
    };
    // The hard link comes last: a save that replaces the file may part it from its link.
    for (const Case& c : {Case{"symbolic link", {soft, file}}, Case{"dotted path", {dotted, soft, file}},
                          Case{"hard link", {file, hard}}}) {
        SCOPED_TRACE(c.what);
        if (c.what == "hard link") fs::create_hard_link(file, hard);
        std::string args = "check --save --json";
        for (const fs::path& n : c.names) args += " " + Quote(n);
        Result r = Run(args);
        ASSERT_TRUE(r.code == 0 || r.code == 3) << r.code << r.err;
        const json j = json::parse(r.out);
        ASSERT_EQ(j["documents"].size(), 1u) << r.out;
        EXPECT_EQ(j["documents"][0]["file"], c.names[0].string());
    }
}
