// The `brindle apply`, `upgrade` and `check` commands, run as the built program on copies of
// the sample documents with the sample library imported into a home of its own.
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "logic/BRNPackageUtils.h"
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::HostFixture;
using testsupport::ReadFile;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;

namespace {

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Q(const fs::path& p) {
    return Quote(p.string());
}

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
            args += " " + Q(SamplesLibrary() / name);
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
        r.code = RunBrindle("--home " + Q(fProgramHome.path()) + " --user ci " + args, &r.out, &r.err);
        return r;
    }
    json Packages(const fs::path& file) {
        Result r = Run("packages --json " + Q(file));
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
    Result r = Run("--plugin-dir " + Q(Samples() / "plugin") + " apply " + Q(file) + " Editorial");
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
    Result r = Run("apply " + Q(file) + " Editorial");
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
    Result r = Run("apply " + Q(file) + " Nonexistent");
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("the library has no package \"Nonexistent\""), std::string::npos) << r.err;
    r = Run("apply " + Q(fDir.path() / "missing.jpg") + " Editorial");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no such file"), std::string::npos) << r.err;
    r = Run("apply " + Q(file));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST_F(PackageCommandTest, UpgradeTakesTheLibrarysVersion) {
    const fs::path file = OlderEditorial("old.jpg", 2);
    Result r = Run("upgrade " + Q(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, file.string() + ": Editorial version 3 (saved)\n");
    const json f = FieldsOf(Packages(file));
    EXPECT_EQ(f["Headline"]["value"], "Kept from version 2");

    // Nothing left to do: the file stays as it is.
    const std::string bytes = ReadFile(file);
    r = Run("upgrade " + Q(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, file.string() + ": Editorial version 3 (unchanged)\n");
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST_F(PackageCommandTest, UpgradeAsksWhenTheSwitchIsOff) {
    ASSERT_EQ(Run("settings set UseLatestPackage false").code, 0);
    const fs::path file = OlderEditorial("old.jpg", 2);
    const std::string bytes = ReadFile(file);

    Result r = Run("--answer no upgrade " + Q(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("alert: "), std::string::npos);
    EXPECT_NE(r.err.find("Editorial ver. 2"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, file.string() + ": Editorial version 2 (unchanged)\n");
    EXPECT_EQ(ReadFile(file), bytes);

    r = Run("--answer yes upgrade " + Q(file));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "library: Editorial version 3 -> 2\n" + file.string() + ": Editorial version 2 (unchanged)\n");
    EXPECT_EQ(ReadFile(file), bytes) << "the document is not changed either way";
}

TEST_F(PackageCommandTest, ANewerDocumentTeachesTheLibrary) {
    const fs::path file = OlderEditorial("new.jpg", 9);
    const std::string bytes = ReadFile(file);
    Result r = Run("upgrade " + Q(file));
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
    ASSERT_EQ(Run("apply " + Q(empty1) + " Editorial").code, 0);
    ASSERT_EQ(Run("apply " + Q(empty2) + " Editorial").code, 0);
    const std::string before1 = ReadFile(full), before2 = ReadFile(empty1);

    Result r = Run("check --json " + Q(full) + " " + Q(empty1) + " " + Q(empty2));
    ASSERT_EQ(r.code, 3) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["missing"], (json{"Headline", "Author"}));
    ASSERT_EQ(j["documents"].size(), 3u);
    EXPECT_EQ(j["documents"][0]["file"], full.string());
    EXPECT_EQ(j["documents"][0]["missing"], json::array());
    EXPECT_EQ(j["documents"][1]["missing"], (json{"Headline", "Author"}));
    EXPECT_EQ(j["documents"][2]["saved"], false);
    EXPECT_EQ(j["errors"], json::array());
    // The pass's own alert names each field once.
    EXPECT_NE(r.err.find("\n- Headline\n- Author"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("- Headline", r.err.find("- Headline") + 1), std::string::npos) << r.err;
    // Without --save nothing is written, though the pass stamped history in memory.
    EXPECT_GT(j["documents"][1]["packagesChanged"].get<int>(), 0);
    EXPECT_EQ(ReadFile(full), before1);
    EXPECT_EQ(ReadFile(empty1), before2);

    r = Run("check " + Q(empty1) + " " + Q(full));
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.out, empty1.string() +
                         ": missing: Headline, Author\n"
                         "required fields missing in 1 of 2 documents:\n- Headline\n- Author\n");

    r = Run("check " + Q(full));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "required fields: all filled in 1 document\n");
}

TEST_F(PackageCommandTest, ManyFilesAreOneListAndAFileNamedTwiceIsCheckedOnce) {
    const fs::path empty = Copy("Plain-BlueSquare.jpg", "empty.jpg");
    ASSERT_EQ(Run("apply " + Q(empty) + " Editorial").code, 0);
    std::string args = "check --json";
    for (int i = 0; i < 140; ++i) {
        // The empty document comes once early, once again late (in another batch).
        if (i == 3 || i == 130) args += " " + Q(empty);
        args += " " + Q(Copy("Editorial-BlueSquare.jpg", "full" + std::to_string(i) + ".jpg"));
    }
    Result r = Run(args);
    ASSERT_EQ(r.code, 3) << r.err;
    const json j = json::parse(r.out);
    EXPECT_EQ(j["missing"], (json{"Headline", "Author"}));
    ASSERT_EQ(j["documents"].size(), 141u);
    EXPECT_EQ(j["documents"][3]["file"], empty.string());
    EXPECT_EQ(j["documents"][3]["missing"], (json{"Headline", "Author"}));
    EXPECT_EQ(j["documents"][140]["file"], (fDir.path() / "full139.jpg").string());
    size_t alerts = 0;
    for (size_t at = r.err.find("alert: "); at != std::string::npos; at = r.err.find("alert: ", at + 1))
        ++alerts;
    EXPECT_EQ(alerts, 1u) << "one report for all the files";
}

TEST_F(PackageCommandTest, CheckWithSaveWritesStampsAndTidiedValues) {
    const fs::path file = Copy("Plain-BlueSquare.jpg", "doc.jpg");
    ASSERT_EQ(Run("apply " + Q(file) + " Production").code, 0);
    BRNPackage p = Read(file);
    for (BRNField& f : p.Fields())
        if (f.GetType() == kBRNTypeDecimal) f.SetValue(PMString("80."));
    Store(file, p);

    Result r = Run("check --save --json " + Q(file));
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
    r = Run("check --save --json " + Q(file));
    EXPECT_EQ(json::parse(r.out)["documents"][0]["saved"], false);
    EXPECT_EQ(ReadFile(file), bytes);
}

TEST_F(PackageCommandTest, CheckReportsUnreadableFilesAndGoesOn) {
    const fs::path full = Copy("Editorial-BlueSquare.jpg", "full.jpg");
    const fs::path broken = fDir.path() / "broken.jpg";
    testsupport::WriteFile(broken, "<x:xmpmeta not really");
    Result r = Run("check --json " + Q(full) + " " + Q(fDir.path() / "missing.jpg"));
    EXPECT_EQ(r.code, 2);
    const json j = json::parse(r.out);
    EXPECT_EQ(j["documents"].size(), 1u);
    ASSERT_EQ(j["errors"].size(), 1u);
    EXPECT_EQ(j["errors"][0]["file"], (fDir.path() / "missing.jpg").string());
    EXPECT_NE(r.err.find("missing.jpg"), std::string::npos);
}

} // namespace

// Other names of one file (a hard link, a symbolic link, a path with "..") are one
// document: checked and saved once, never closed twice.
TEST_F(PackageCommandTest, CheckWithSaveTakesOtherNamesOfAFileAsOneDocument) {
    const fs::path file = Copy("Plain-BlueSquare.jpg", "doc.jpg");
    ASSERT_EQ(Run("apply " + Q(file) + " Production").code, 0);
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
        for (const fs::path& n : c.names) args += " " + Q(n);
        Result r = Run(args);
        ASSERT_TRUE(r.code == 0 || r.code == 3) << r.code << r.err;
        const json j = json::parse(r.out);
        ASSERT_EQ(j["documents"].size(), 1u) << r.out;
        EXPECT_EQ(j["documents"][0]["file"], c.names[0].string());
    }
}
