// Packages saved into real files through the document host: read back by our own reader from
// a fresh open, and by exiftool, an independent XMP reader; the rest of each packet survives.
#include "TestSupport.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "formats/XMPFiles.h"
#include "logic/BRNPackageUtils.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;
using testsupport::ExpectSameStoredField;
using testsupport::HostFixture;

namespace {

const char* const kOurGroup = "XMP-dunmoreBRN";

// Where the packet of each format ends up: in the file (a PDF's as an appended update), or
// (text files) in a sidecar. A JPEG whose packet grows is
// rewritten under the toolkit's photo rules, which drop the XMP copies of its native Exif and
// TIFF values (the native values themselves stay).
struct Format {
    const char* file;
    bool sidecar;
    bool photoRules;
};
const Format kFormats[] = {
    {"BlueSquare.jpg", false, true},
    {"BlueSquare.png", false, false},
    {"BlueSquare.pdf", false, false},
    {"notes.txt", true, false},
};

// The sidecar a text file starts with: a title and another application's namespace.
const char* const kTextSidecar = R"(<?xpacket begin="" id="W5M0MpCehiHzreSzNTczkc9d"?>
<x:xmpmeta xmlns:x="adobe:ns:meta/">
 <rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#">
  <rdf:Description rdf:about="" xmlns:dc="http://purl.org/dc/elements/1.1/"
    xmlns:acme="http://ns.example.com/acme/workflow/1.0/">
   <dc:title><rdf:Alt><rdf:li xml:lang="x-default">Notes for the next issue</rdf:li></rdf:Alt></dc:title>
   <acme:Job>J-77</acme:Job>
   <acme:Steps><rdf:Seq><rdf:li>draft</rdf:li><rdf:li>edit</rdf:li></rdf:Seq></acme:Steps>
  </rdf:Description>
 </rdf:RDF>
</x:xmpmeta>
<?xpacket end="w"?>)";

BRNField Field(const std::string& name, const std::string& shortName, int32 type, const std::string& value) {
    BRNField f{PMString(name)};
    f.SetShortName(PMString(shortName));
    f.SetType(type);
    f.SetValue(PMString(value));
    return f;
}

// Every type with history, options and defaults; text with characters XML must escape.
BRNPackageList Packages() {
    BRNFieldList fields;
    GlobalTime when;
    when.SetTime(2014, 6, 29, 18, 5, 7);
    for (int32 t = 0; t < kBRNTypeCount; ++t) {
        const std::string n = std::to_string(t);
        BRNField f = Field("Field " + n, "F" + n, t, "value <" + n + "> & \"more\"");
        f.SetDescription(PMString("about " + n + " \xC3\xA6\xC3\xB8\xC3\xA5"));
        f.SetRequired(t % 2 == 0);
        f.SetHidden(t % 3 == 0);
        f.SetReadOnly(t % 4 == 0);
        f.SetHasDefault(t % 2 == 1);
        f.SetDefaultValue(PMString("default " + n));
        f.SetOptions({PMString("zeta"), PMString("b, c"), PMString("alpha")});
        f.SetDefaultValues({PMString("alpha"), PMString("zeta")});
        f.SetVisibleLines(7);
        f.GetHistory().emplace_back(PMString("ann"), PMString("A."), when, PMString("old " + n));
        f.GetHistory().emplace_back(PMString("bo"), PMString(""), when, PMString("older"));
        if (t == kBRNTypeBoolean) f.SetBoolValue(kTrue);
        if (t == kBRNTypeMultiChoice)
            f.SetSelectedValues({PMString("zeta"), PMString("alpha")}, PMString(", "));
        if (t == kBRNTypeCalculatedString) {
            f.SetAllowUserValues(kTrue);
            f.SetFieldOverridden(kTrue);
        }
        if (t == kBRNTypeDeadline)
            f.SetDeadline(BRNDeadline(PMString("2014/06/30"), PMString("2014/07/02"), PMString("eva")));
        fields.push_back(f);
    }
    BRNPackage every(fields, PMString("Every Type"), PMString("secret"), 1234);
    every.SetVersion(7);
    every.SetEnabled(kTrue);
    BRNPackage second({Field("Note", "N", kBRNTypeString, "second package")}, PMString("Second"), PMString(),
                      0);
    second.SetVersion(2);
    return {every, second};
}

std::string S(const PMString& s) {
    return s.GetUTF8String();
}
std::string Flag(bool16 b) {
    return b ? "True" : "False";
}

json ValueList(const PMStringList& values) {
    json a = json::array();
    for (const PMString& v : values)
        a.push_back({{"Value", S(v)}});
    return a;
}

// What exiftool should show for one field: every member the writer stores, nothing else.
// History times are left out here (their zone is the machine's) and checked on their own.
json ExpectedField(const BRNField& f) {
    const int32 t = f.GetType();
    json j = {{"Name", S(f.GetName())},
              {"ShortName", S(f.GetShortName())},
              {"Description", S(f.GetDescription())},
              {"Required", Flag(f.GetRequired())},
              {"Hidden", Flag(f.GetHidden())},
              {"ReadOnly", Flag(f.GetReadOnly())},
              {"Type", S(BRNField::TypeName(t))},
              {"HasDefault", Flag(f.GetHasDefault())},
              {"Value", t == kBRNTypeBoolean ? Flag(f.GetBoolValue()) : S(f.GetValue())}};
    // An empty list is written as no array at all.
    if (!f.GetOptions().empty()) j["Options"] = ValueList(f.GetOptions());
    if (!f.GetDefaultValues().empty()) j["DefaultValues"] = ValueList(f.GetDefaultValues());
    if (f.GetHasDefault()) j["DefaultValue"] = S(f.GetDefaultValue());
    if (t == kBRNTypeText || t == kBRNTypeMultiChoice) j["VisibleLines"] = f.GetVisibleLines();
    if (t == kBRNTypeMultiChoice || t == kBRNTypeCalculatedString)
        j["AllowUserValues"] = Flag(f.GetAllowUserValues());
    if (t == kBRNTypeMultiChoice) j["SelectedValues"] = ValueList(f.GetSelectedValues());
    if (t == kBRNTypeCalculatedString) j["FieldOverridden"] = Flag(f.GetFieldOverridden());
    if (t == kBRNTypeDeadline) {
        j["PlannedDate"] = S(f.GetDeadline().PlannedDate);
        j["ExecutedDate"] = S(f.GetDeadline().ExecutedDate);
        j["ExecutedBy"] = S(f.GetDeadline().ExecutedBy);
    }
    if (!f.GetHistory().empty()) {
        json h = json::array();
        for (const BRNHistory& e : f.GetHistory())
            h.push_back({{"User", S(e.GetUser())}, {"Alias", S(e.GetAlias())}, {"Value", S(e.GetValue())}});
        j["History"] = h;
    }
    return j;
}

json ExpectedPackages(const BRNPackageList& packages) {
    json a = json::array();
    for (const BRNPackage& p : packages) {
        json j = {{"Name", S(p.GetName())},    {"Password", S(p.GetPassword())},
                  {"Version", p.GetVersion()}, {"Timestamp", p.GetTimestamp()},
                  {"PackageType", 0},          {"Enabled", Flag(p.GetEnabled())}};
        json fields = json::array();
        for (const BRNField& f : p.GetFields())
            fields.push_back(ExpectedField(f));
        if (!fields.empty()) j["Fields"] = fields;
        a.push_back(j);
    }
    return a;
}

// exiftool prints numbers that look like numbers as JSON numbers; compare as text.
json Normalized(const json& j) {
    if (j.is_object()) {
        json o = json::object();
        for (auto it = j.begin(); it != j.end(); ++it)
            o[it.key()] = Normalized(it.value());
        return o;
    }
    if (j.is_array()) {
        json a = json::array();
        for (const json& e : j)
            a.push_back(Normalized(e));
        return a;
    }
    // Its JSON also turns the texts True and False into booleans.
    if (j.is_boolean()) return j.get<bool>() ? "True" : "False";
    return j.is_string() ? j : json(j.dump());
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool HaveExiftool() {
    return std::system("exiftool -ver >/dev/null 2>&1") == 0;
}

// exiftool's JSON view of the files (one call for all), keyed by file.
std::map<std::string, json> Exiftool(const std::string& tags, const std::vector<fs::path>& files) {
    std::string cmd = "exiftool -q -j -struct -G1 " + tags;
    for (const fs::path& f : files)
        cmd += " " + Quote(f.string());
    cmd += " 2>/dev/null";
    std::string out = testsupport::CaptureOutput(cmd);
    std::map<std::string, json> byFile;
    json all = json::parse(out, nullptr, false);
    if (!all.is_array()) {
        ADD_FAILURE() << "exiftool gave no JSON: " << out;
        return byFile;
    }
    for (json& j : all) {
        std::string source = j["SourceFile"].get<std::string>();
        j.erase("SourceFile");
        byFile[source] = j;
    }
    return byFile;
}

class XMPInteropTest : public HostFixture {
protected:
    // Copies of the formats' files in a fresh folder (a text file gets its sidecar).
    std::vector<fs::path> CopyFormats() {
        std::vector<fs::path> files;
        for (const Format& f : kFormats) {
            fs::path to = fDir / f.file;
            if (fs::path(f.file).extension() == ".txt") {
                testsupport::WriteFile(to, "plain text\n");
                testsupport::WriteFile(XMPFiles::SidecarFile(IDFile(to)).Path(), kTextSidecar);
            } else {
                fs::copy_file(fs::path(BRINDLE_TEST_DATA) / "xmp-files" / f.file, to);
                fs::permissions(to, fs::perms::owner_read | fs::perms::owner_write);
            }
            files.push_back(to);
        }
        return files;
    }
    // Where an independent reader finds the file's packet.
    static fs::path PacketFile(const fs::path& file) {
        return XMPFiles::UsesSidecar(IDFile(file)) ? XMPFiles::SidecarFile(IDFile(file)).Path() : file;
    }
    void StoreAndSave(const fs::path& file, const BRNPackageList& packages) {
        std::string error;
        IDocument* doc = Host::OpenDocument(IDFile(file), &error);
        ASSERT_NE(doc, nullptr) << error;
        IDataBase* db = doc->GetDocumentDataBase();
        ASSERT_EQ(BRNPackageUtils::StorePackages(UIDList(db, db->GetRootUID()), packages, kFalse, kFalse),
                  kSuccess);
        EXPECT_TRUE(Host::SaveDocument(doc, &error)) << error;
        EXPECT_TRUE(Host::CloseDocument(doc));
    }
    BRNPackageList ReadFresh(const fs::path& file) {
        std::string error;
        IDocument* doc = Host::OpenDocument(IDFile(file), &error);
        EXPECT_NE(doc, nullptr) << error;
        if (!doc) return {};
        IDataBase* db = doc->GetDocumentDataBase();
        BRNPackageList read = BRNPackageUtils::ReadPackages(UIDRef(db, db->GetRootUID()));
        Host::CloseDocument(doc);
        return read;
    }

    testsupport::TempDir fDir;
};

TEST_F(XMPInteropTest, EveryFieldTypeReadsBackEqualHereAndInExiftool) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    const BRNPackageList packages = Packages();
    const std::vector<fs::path> files = CopyFormats();
    std::vector<fs::path> packetFiles;
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(kFormats[i].file);
        StoreAndSave(files[i], packages);
        EXPECT_EQ(XMPFiles::UsesSidecar(IDFile(files[i])), kFormats[i].sidecar);
        packetFiles.push_back(PacketFile(files[i]));

        const BRNPackageList read = ReadFresh(files[i]);
        ASSERT_EQ(read.size(), packages.size());
        for (size_t p = 0; p < read.size(); ++p) {
            EXPECT_EQ(read[p].GetName(), packages[p].GetName());
            EXPECT_EQ(read[p].GetPassword(), packages[p].GetPassword());
            EXPECT_EQ(read[p].GetVersion(), packages[p].GetVersion());
            EXPECT_EQ(read[p].GetTimestamp(), packages[p].GetTimestamp());
            EXPECT_EQ(read[p].GetEnabled(), packages[p].GetEnabled());
            ASSERT_EQ(read[p].GetFields().size(), packages[p].GetFields().size());
            for (size_t f = 0; f < read[p].GetFields().size(); ++f)
                ExpectSameStoredField(read[p].GetFields()[f], packages[p].GetFields()[f]);
        }
    }

    std::map<std::string, json> seen = Exiftool("-XMP-dunmoreBRN:all", packetFiles);
    const json expected = Normalized(ExpectedPackages(packages));
    const std::regex historyTime(R"(2014[-:]06[-:]29[T ]18:05:07(Z|[+-]\d\d:\d\d)?)");
    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(kFormats[i].file);
        const json& tags = seen[packetFiles[i].string()];
        EXPECT_EQ(tags.value(std::string(kOurGroup) + ":DocType", ""), "Adobe InDesign");
        json got = Normalized(tags.value(std::string(kOurGroup) + ":Packages", json()));
        ASSERT_TRUE(got.is_array()) << tags.dump(1);
        // Times in their own check, then out of the comparison.
        for (json& p : got)
            if (p.contains("Fields"))
                for (json& f : p["Fields"])
                    if (f.contains("History"))
                        for (json& h : f["History"]) {
                            EXPECT_TRUE(std::regex_match(h.value("Time", ""), historyTime)) << h.dump();
                            h.erase("Time");
                        }
        EXPECT_TRUE(got == expected) << "exiftool:\n" << got.dump(1) << "\nexpected:\n" << expected.dump(1);
    }
}

TEST_F(XMPInteropTest, OtherSchemasAndExifAreKeptByOurWrite) {
    if (!HaveExiftool()) GTEST_SKIP() << "exiftool is not installed";
    const std::vector<fs::path> files = CopyFormats();
    std::vector<fs::path> before;
    for (const fs::path& f : files)
        before.push_back(PacketFile(f));
    std::map<std::string, json> old = Exiftool("-XMP:all -EXIF:all", before);

    std::vector<fs::path> after;
    for (const fs::path& f : files) {
        StoreAndSave(f, Packages());
        after.push_back(PacketFile(f));
    }
    std::map<std::string, json> now = Exiftool("-XMP:all -EXIF:all", after);

    for (size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE(kFormats[i].file);
        json a = old[before[i].string()], b = now[after[i].string()];
        ASSERT_TRUE(a.contains("XMP-dc:Title")) << a.dump(1);
        // The toolkit names itself in every packet it writes.
        a.erase("XMP-x:XMPToolkit");
        b.erase("XMP-x:XMPToolkit");
        EXPECT_TRUE(b.contains(std::string(kOurGroup) + ":Packages"));
        for (auto it = b.begin(); it != b.end();)
            it = it.key().rfind(kOurGroup, 0) == 0 ? b.erase(it) : std::next(it);
        if (kFormats[i].photoRules) {
            EXPECT_TRUE(a.contains("IFD0:Orientation") && a.contains("ExifIFD:ExifImageWidth")) << a.dump(1);
            for (json* j : {&a, &b})
                for (auto it = j->begin(); it != j->end();) {
                    const bool copy =
                        it.key().rfind("XMP-exif:", 0) == 0 || it.key().rfind("XMP-tiff:", 0) == 0;
                    it = copy ? j->erase(it) : std::next(it);
                }
        }
        EXPECT_TRUE(a == b) << "before:\n" << a.dump(1) << "\nafter:\n" << b.dump(1);
    }
}

} // namespace
