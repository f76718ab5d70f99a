// The `brindle packages` and `dump-xmp` commands, run as the built program on copies of real
// files into which this test process wrote packages through the plug-in.
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "logic/BRNPackageUtils.h"
#include "TestSupport.h"

#include <nlohmann/json.hpp>
#include <regex>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using nlohmann::json;
using testsupport::HostFixture;
using testsupport::RunBrindle;
using testsupport::TempDir;

using testsupport::Field;

namespace {

struct Result {
    int code = -1;
    std::string out, err;
};

// One field of each type, with the details each one keeps.
BRNPackage EveryType() {
    GlobalTime when;
    when.SetTime(2021, 3, 4, 9, 8, 7);
    BRNFieldList fields = {
        Field("Headline", "Head", kBRNTypeString, "Spring \"tides\" & <storms>"),
        Field("Words", "W", kBRNTypeInteger, "1200"),
        Field("Legal OK", "Legal", kBRNTypeBoolean, ""),
        Field("Section", "Sec", kBRNTypeChoice, "News"),
        Field("Kicker", "Kick", kBRNTypeChoiceString, "Own words"),
        Field("Price", "Price", kBRNTypeDecimal, "12.5"),
        Field("Published", "Pub", kBRNTypeDate, "2021/03/05"),
        Field("Folder", "Dir", kBRNTypeDirectory, "/work/pics"),
        Field("Abstract", "Abs", kBRNTypeText, "line one\nline two"),
        Field("Keywords", "Keys", kBRNTypeMultiChoice, ""),
        Field("Story ID", "ID", kBRNTypeCalculatedString, "N-1200"),
        Field("Copy due", "Due", kBRNTypeDeadline, ""),
    };
    for (BRNField& f : fields)
        f.SetDescription(PMString("About " + f.GetName().GetUTF8String()));
    fields[0].SetRequired(kTrue);
    fields[0].GetHistory().emplace_back(PMString("ann"), PMString("A."), when, PMString("Spring tides"));
    fields[0].GetHistory().emplace_back(PMString("bo"), PMString(""), when, PMString(""));
    fields[1].SetHasDefault(kTrue);
    fields[1].SetDefaultValue(PMString("800"));
    fields[2].SetBoolValue(kTrue);
    fields[2].SetReadOnly(kTrue);
    fields[3].SetOptions({PMString("News"), PMString("Sport"), PMString("Arts")});
    fields[3].SetDefaultValues({PMString("Sport")});
    fields[4].SetOptions({PMString("Breaking")});
    fields[4].SetHidden(kTrue);
    fields[8].SetVisibleLines(9);
    fields[9].SetOptions({PMString("a"), PMString("b"), PMString("c")});
    fields[9].SetDefaultValues({PMString("b")});
    fields[9].SetVisibleLines(3);
    fields[9].SetAllowUserValues(kTrue);
    fields[9].SetSelectedValues({PMString("c"), PMString("a")}, PMString(", "));
    fields[10].SetAllowUserValues(kTrue);
    fields[10].SetFieldOverridden(kTrue);
    fields[11].SetDeadline(BRNDeadline(PMString("2021/04/01"), PMString("2021/03/30"), PMString("eva")));
    fields[11].GetHistory().emplace_back(PMString("eva"), PMString("E."), when, PMString("2021/04/01,,"));
    BRNPackage p(fields, PMString("Every Type"), PMString("pw"), 17);
    p.SetVersion(4);
    p.SetEnabled(kTrue);
    return p;
}

json Strings(const PMStringList& values) {
    json a = json::array();
    for (const PMString& v : values)
        a.push_back(v.GetUTF8String());
    return a;
}

// The JSON the command gives for a field that was stored as this one.
json ExpectedField(const BRNField& f) {
    const int32 t = f.GetType();
    const bool lines = t == kBRNTypeText || t == kBRNTypeMultiChoice;
    const bool userValues = t == kBRNTypeMultiChoice || t == kBRNTypeCalculatedString;
    json history = json::array();
    for (const BRNHistory& h : f.GetHistory())
        history.push_back({{"user", h.GetUser().GetUTF8String()},
                           {"alias", h.GetAlias().GetUTF8String()},
                           {"time", "2021-03-04T09:08:07"},
                           {"value", h.GetValue().GetUTF8String()}});
    json j = {{"name", f.GetName().GetUTF8String()},
              {"shortName", f.GetShortName().GetUTF8String()},
              {"description", f.GetDescription().GetUTF8String()},
              {"type", t},
              {"typeName", BRNField::TypeName(t).GetUTF8String()},
              {"value", f.GetValue().GetUTF8String()},
              {"boolValue", f.GetBoolValue() != 0},
              {"required", f.GetRequired() != 0},
              {"hidden", f.GetHidden() != 0},
              {"readOnly", f.GetReadOnly() != 0},
              {"hasDefault", f.GetHasDefault() != 0},
              {"defaultValue", f.GetHasDefault() ? f.GetDefaultValue().GetUTF8String() : ""},
              {"allowUserValues", userValues && f.GetAllowUserValues()},
              {"fieldOverridden", t == kBRNTypeCalculatedString && f.GetFieldOverridden()},
              {"visibleLines", lines ? f.GetVisibleLines() : 5},
              {"options", Strings(f.GetOptions())},
              {"defaultValues", Strings(f.GetDefaultValues())},
              {"selectedValues", Strings(f.GetSelectedValues())},
              {"history", history}};
    if (t == kBRNTypeDeadline)
        j["deadline"] = {{"plannedDate", f.GetDeadline().PlannedDate.GetUTF8String()},
                         {"executedDate", f.GetDeadline().ExecutedDate.GetUTF8String()},
                         {"executedBy", f.GetDeadline().ExecutedBy.GetUTF8String()}};
    return j;
}

fs::path RealSample(const char* name) {
    return fs::path(BRINDLE_TEST_DATA) / "xmp-files" / name;
}

// The host runs in this process to write the files; the program runs with a home of its own.
class DocumentCommandTest : public HostFixture {
protected:
    fs::path Copy(const char* sample, const std::string& as) {
        fs::path to = fDir / as;
        fs::copy_file(RealSample(sample), to);
        fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
        return to;
    }
    void Store(const fs::path& file, const BRNPackageList& packages) {
        std::string error;
        IDocument* doc = Host::OpenDocument(IDFile(file), &error);
        ASSERT_NE(doc, nullptr) << error;
        IDataBase* db = doc->GetDocumentDataBase();
        ASSERT_EQ(BRNPackageUtils::StorePackages(UIDList(db, db->GetRootUID()), packages, kFalse, kFalse),
                  kSuccess);
        ASSERT_TRUE(Host::SaveDocument(doc, &error)) << error;
        Host::CloseDocument(doc);
    }
    Result Run(const std::string& args) {
        Result r;
        r.code = RunBrindle("--home " + Quote(fProgramHome.path().string()) + " " + args, &r.out, &r.err);
        return r;
    }

    TempDir fDir;
    TempDir fProgramHome;
};

TEST_F(DocumentCommandTest, FileWithoutOurDataListsNoPackages) {
    const fs::path plain = Copy("BlueSquare.jpg", "plain.jpg");
    Result r = Run("packages " + Quote(plain.string()) + " --json");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(json::parse(r.out),
              (json{{"documents", {{{"file", plain.string()}, {"packages", json::array()}}}}}));
    r = Run("packages " + Quote(plain.string()));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, plain.string() + ": 0 packages\n");
}

TEST_F(DocumentCommandTest, JsonListsEveryFieldOfEachFileInOrder) {
    const BRNPackage every = EveryType();
    BRNPackage other({Field("Credit", "Cr", kBRNTypeString, "Photo: Lee")}, PMString("Photo Rights"),
                     PMString(), 0);
    const fs::path jpg = Copy("BlueSquare.jpg", "every.jpg");
    const fs::path png = Copy("BlueSquare.png", "two.png");
    const fs::path plain = Copy("BlueSquare.pdf", "plain.pdf");
    Store(jpg, {every});
    Store(png, {other, every});

    Result r = Run("packages " + Quote(jpg.string()) + " " + Quote(plain.string()) + " " +
                   Quote(png.string()) + " --json");
    ASSERT_EQ(r.code, 0) << r.err;
    const json docs = json::parse(r.out)["documents"];
    ASSERT_EQ(docs.size(), 3u) << r.out;
    EXPECT_EQ(docs[0]["file"], jpg.string());
    EXPECT_EQ(docs[1]["file"], plain.string());
    EXPECT_EQ(docs[1]["packages"], json::array());
    EXPECT_EQ(docs[2]["file"], png.string());
    ASSERT_EQ(docs[2]["packages"].size(), 2u);
    EXPECT_EQ(docs[2]["packages"][0]["name"], "Photo Rights");
    EXPECT_EQ(docs[2]["packages"][0]["hasPassword"], false);
    EXPECT_EQ(docs[2]["packages"][0]["fields"][0]["value"], "Photo: Lee");

    for (const json& p : {docs[0]["packages"][0], docs[2]["packages"][1]}) {
        EXPECT_EQ(p["name"], "Every Type");
        EXPECT_EQ(p["version"], 4);
        EXPECT_EQ(p["timestamp"], 17);
        EXPECT_EQ(p["enabled"], true);
        EXPECT_EQ(p["hasPassword"], true);
        ASSERT_EQ(p["fields"].size(), every.GetFields().size());
        for (size_t i = 0; i < every.GetFields().size(); ++i) {
            json want = ExpectedField(every.GetFields()[i]);
            json got = p["fields"][i];
            // A Boolean keeps its value as the flag only.
            if (every.GetFields()[i].GetType() == kBRNTypeBoolean) {
                want.erase("value");
                got.erase("value");
            }
            EXPECT_EQ(got, want) << "got:\n" << got.dump(1) << "\nwant:\n" << want.dump(1);
        }
    }
    // Values that depend on the type, spelled out.
    const json& f = docs[0]["packages"][0]["fields"];
    EXPECT_EQ(f[2]["boolValue"], true);
    EXPECT_EQ(f[9]["value"], "c, a");
    EXPECT_EQ(f[9]["selectedValues"], (json{"c", "a"}));
    EXPECT_EQ(f[11]["value"], "2021/04/01,2021/03/30,eva");
}

TEST_F(DocumentCommandTest, TextListsPackagesFieldsAndChanges) {
    const fs::path jpg = Copy("BlueSquare.jpg", "every.jpg");
    Store(jpg, {EveryType()});
    Result r = Run("packages " + Quote(jpg.string()));
    ASSERT_EQ(r.code, 0) << r.err;
    const std::string expected =
        jpg.string() + ": 1 package\n"
                       "  Every Type version 4\n"
                       "    Headline [Head] String, required: Spring \"tides\" & <storms>  (2 changes)\n"
                       "    Words [W] Integer: 1200\n"
                       "    Legal OK [Legal] Boolean: True\n";
    EXPECT_EQ(r.out.substr(0, expected.size()), expected) << r.out;
    EXPECT_NE(r.out.find("    Copy due [Due] Deadline: 2021/04/01,2021/03/30,eva  (1 changes)\n"),
              std::string::npos)
        << r.out;
}

TEST_F(DocumentCommandTest, MissingFileFailsWithItsNameAndTheOthersAreStillListed) {
    const fs::path jpg = Copy("BlueSquare.jpg", "every.jpg");
    Store(jpg, {EveryType()});
    const fs::path plain = Copy("BlueSquare.png", "plain.png");
    const fs::path missing = fDir.path() / "no such file.jpg";
    const std::string args =
        Quote(jpg.string()) + " " + Quote(missing.string()) + " " + Quote(plain.string());

    Result r = Run("packages " + args + " --json");
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find(missing.string()), std::string::npos) << r.err;
    const json docs = json::parse(r.out)["documents"];
    ASSERT_EQ(docs.size(), 3u) << r.out;
    EXPECT_EQ(docs[0]["packages"][0]["name"], "Every Type");
    EXPECT_EQ(docs[1]["file"], missing.string());
    EXPECT_TRUE(docs[1].contains("error") && !docs[1]["error"].get<std::string>().empty()) << docs[1].dump();
    EXPECT_FALSE(docs[1].contains("packages"));
    EXPECT_EQ(docs[2]["packages"], json::array());

    r = Run("packages " + args);
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find(missing.string()), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(jpg.string() + ": 1 package\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(plain.string() + ": 0 packages\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find(missing.string()), std::string::npos) << r.out;
}

TEST_F(DocumentCommandTest, DumpXmpShowsOurDataBesideTheFilesOwnTags) {
    const fs::path jpg = Copy("BlueSquare.jpg", "every.jpg");
    Store(jpg, {EveryType()});
    Result r = Run("dump-xmp " + Quote(jpg.string()));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("<rdf:RDF"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"https://ns.corvane.com/xmp/indesign/brindle/2.0/\""), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("<dunmoreBRN:Name>Every Type</dunmoreBRN:Name>"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Blue Square Test File - .jpg"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Adobe Photoshop CS2 Macintosh"), std::string::npos) << r.out;

    r = Run("dump-xmp " + Quote((fDir.path() / "gone.jpg").string()));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("gone.jpg"), std::string::npos) << r.err;
}

} // namespace

// Bytes that are not UTF-8 in a file name, an argument or the home folder: every JSON
// command still prints valid JSON (the bytes replaced) and none fails after saving.
TEST_F(DocumentCommandTest, JsonOutputStaysValidForBytesThatAreNotUTF8) {
    const std::string bad = "bad\xff\xfe-name.jpg";
    const fs::path file = fDir / bad;
    fs::copy_file(fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents" / "Editorial-BlueSquare.jpg", file);
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    std::string importArgs = "library import";
    for (const char* name : {"Editorial_ID.xml", "Production_ID.xml"})
        importArgs += " " + Quote((testsupport::SamplesLibrary() / name).string());
    ASSERT_EQ(Run(importArgs).code, 0);
    const std::string f = Quote(file.string());
    struct Case {
        std::string args;
        int code;
    };
    const Case cases[] = {
        {"packages --json " + f, 0},
        {"key --json " + f, 0},
        {"expand --json " + f + " '<cvbrindle:package/>'", 0},
        {"set --json " + f + " 'Headline=in\xff valid'", 0},
        {"check --json " + f, 0},
        {"settings --json", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Result r = Run(c.args);
        EXPECT_EQ(r.code, c.code) << r.err;
        const nlohmann::json j = nlohmann::json::parse(r.out, nullptr, false);
        EXPECT_FALSE(j.is_discarded()) << "not valid JSON:\n" << r.out;
    }
    // The home folder's name too.
    Result r;
    r.code = RunBrindle("--home " + Quote((fProgramHome.path() / "h\xff").string()) + " settings --json", &r.out,
                        &r.err);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(nlohmann::json::parse(r.out, nullptr, false).is_discarded()) << r.out;
}

// History times of reduced precision, as other writers store them, are read as the first
// instant they name (never rolled back into the month or year before), with nothing from
// the toolkit on standard error.
TEST_F(DocumentCommandTest, ReducedPrecisionHistoryTimesAreTheirFirstInstant) {
    const fs::path sample = fs::path(BRINDLE_SOURCE_DIR) / "samples" / "documents" / "Editorial-BlueSquare.jpg";
    Result dump = Run("dump-xmp " + Quote(sample.string()));
    ASSERT_EQ(dump.code, 0) << dump.err;
    const std::regex firstTime("Time>[^<]*<");
    ASSERT_TRUE(std::regex_search(dump.out, firstTime));
    const fs::path doc = fDir / "notes.txt";
    testsupport::WriteFile(doc, "text\n");
    struct Case {
        std::string stored;
        std::string read;
    };
    const Case cases[] = {
        {"2023", "2023-01-01T00:00:00"},
        {"2023-05", "2023-05-01T00:00:00"},
        {"2023-05-07", "2023-05-07T00:00:00"},
        {"2023-05-07T10:15", "2023-05-07T10:15:00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        testsupport::WriteFile(fs::path(doc.string() + ".xmp"),
                               std::regex_replace(dump.out, firstTime, "Time>" + c.stored + "<",
                                                  std::regex_constants::format_first_only));
        Result r = Run("packages --json " + Quote(doc.string()));
        ASSERT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const json j = json::parse(r.out);
        const json& field = j["documents"][0]["packages"][0]["fields"][0];
        ASSERT_FALSE(field["history"].empty()) << field.dump();
        EXPECT_EQ(field["history"][0]["time"], c.read);
    }
}
