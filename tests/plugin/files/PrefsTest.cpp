// The settings object and the package library on disk: the settings file, the packages
// folder, change notification, and what happens to files that are missing, broken,
// oddly named or cannot be written.
#include "CVExpatSimpleDOM.h"
#include "files/BRNPrefsPrst.h"
#include "logic/BRNPackageUtils.h"
#include "session/ISession.h"
#include "subjects/IObserver.h"
#include "subjects/ISubject.h"
#include "TestSupport.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::ToUTF16;
using testsupport::WriteFile;

namespace {

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

// ---- Python's XML parser as an independent reader of the settings file ----

struct XmlElement {
    int depth = 0;
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attrs;
    std::vector<std::string> AttrNames() const {
        std::vector<std::string> n;
        for (const auto& a : attrs)
            n.push_back(a.first);
        return n;
    }
    std::string Attr(const std::string& name) const {
        for (const auto& a : attrs)
            if (a.first == name) return a.second;
        return "<missing>";
    }
};

// Every element in document order: depth|tag|name=value|... (values contain no | or line breaks here).
const char* const kDumpScript = R"PY(
import sys, xml.dom.minidom as m
sys.stdout.reconfigure(encoding="utf-8")
def walk(e, d):
    print(str(d) + "|" + e.tagName + "".join("|" + k + "=" + v for k, v in e.attributes.items()))
    for c in e.childNodes:
        if c.nodeType == c.ELEMENT_NODE:
            walk(c, d + 1)
walk(m.parse(sys.argv[1]).documentElement, 0)
)PY";

std::vector<XmlElement> ParseWithPython(const fs::path& file) {
    std::string cmd = "python3 -c '" + std::string(kDumpScript) + "' '" + file.string() + "' 2>&1";
    std::vector<XmlElement> elements;
    int status = 0;
    std::string out = testsupport::CaptureOutput(cmd, &status);
    if (status != 0) {
        ADD_FAILURE() << "python could not parse " << file << ":\n" << out;
        return elements;
    }
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        std::vector<std::string> parts;
        std::stringstream ss(line);
        for (std::string part; std::getline(ss, part, '|');)
            parts.push_back(part);
        XmlElement e;
        e.depth = std::stoi(parts.at(0));
        e.tag = parts.at(1);
        for (size_t i = 2; i < parts.size(); ++i) {
            size_t eq = parts[i].find('=');
            e.attrs.emplace_back(parts[i].substr(0, eq), parts[i].substr(eq + 1));
        }
        elements.push_back(std::move(e));
    }
    return elements;
}

// ---- Settings files and package files made by hand ----

std::string SettingsXml(const std::vector<std::pair<std::string, std::string>>& properties,
                        const std::string& root = "Brindle") {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n<" + root + " version=\"1.0\">\n";
    for (const auto& [name, value] : properties)
        xml += "  <property name=\"" + name + "\" value=\"" + value + "\"/>\n";
    xml += "  <packages/>\n</" + root + ">\n";
    return ToUTF16(xml);
}

BRNPackage Package(const std::string& name, uint32 version = 1) {
    BRNField f(PMString("Title"));
    f.SetShortName(PMString("Title"));
    f.SetValue(PMString("v" + std::to_string(version)));
    BRNPackage p(BRNFieldList{f}, PMString(name), PMString(""), 0);
    p.SetVersion(version);
    p.SetModified(kFalse);
    return p;
}

void WritePackageAt(const fs::path& file, const std::string& name, uint32 version = 1) {
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), Package(name, version)));
}

// Observes the session's subject for one protocol and records what it is told.
class RecordingObserver : public IObserver {
public:
    struct Seen {
        ClassID change;
        PMIID protocol;
        void* changedBy;
    };
    ~RecordingObserver() override = default;
    IPMUnknown* QueryInterface(PMIID) const override { return nullptr; }
    void AddRef() const override {}
    void Release() const override {}
    void Update(const ClassID& theChange, ISubject*, const PMIID& protocol, void* changedBy) override {
        seen.push_back({theChange, protocol, changedBy});
    }
    std::vector<Seen> seen;
};

class PrefsTest : public testsupport::HostFixture {
protected:
    std::vector<std::string> LibraryNames() {
        std::vector<std::string> names;
        for (const BRNPackage& p : Prefs()->GetPackages())
            names.push_back(U8(p.GetName()));
        return names;
    }
    std::vector<std::string> PackageFileNames() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(PackagesFolder()))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Leftovers of interrupted writes anywhere in the home.
    std::vector<std::string> TemporaryFiles() const {
        std::vector<std::string> found;
        for (const auto& e : fs::recursive_directory_iterator(fHome->path()))
            if (e.path().filename().string().rfind(".brindle-tmp-", 0) == 0)
                found.push_back(e.path().string());
        return found;
    }
    void Restart() {
        StopHost();
        StartHost();
    }
    // Saves a package under each name, checks that only the packages folder receives files,
    // one per package, that every package comes back after a restart, and that an empty
    // library leaves the folder empty.
    void ExpectNamesRoundTrip(const std::vector<std::string>& names) {
        std::set<std::string> fileNames;
        for (const std::string& n : names) {
            std::string f = U8(BRNPrefsPrst::PackageFileName(PMString(n)));
            EXPECT_EQ(f.find('/'), std::string::npos) << n;
            EXPECT_TRUE(fileNames.insert(f).second) << "two names share the file " << f << " (" << n << ")";
        }

        BRNPackageList library;
        for (size_t i = 0; i < names.size(); ++i)
            library.push_back(Package(names[i], static_cast<uint32>(i + 1)));
        Prefs()->SetPackages(library);
        EXPECT_TRUE(Prefs()->GetLastSaveSucceeded());

        for (const auto& e : fs::recursive_directory_iterator(fHome->path())) {
            if (e.is_directory()) {
                EXPECT_NE(e.path().parent_path(), PackagesFolder()) << "folder made by a name: " << e.path();
                continue;
            }
            EXPECT_TRUE(e.path() == SettingsFile() || e.path() == SettingsFile().parent_path() / ".BrindleLibrary.lock" ||
                        e.path().parent_path() == PackagesFolder())
                << "file outside the packages folder: " << e.path();
        }
        EXPECT_EQ(PackageFileNames().size(), names.size());

        Restart();
        std::vector<std::string> expected = names;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(LibraryNames(), expected);
        for (size_t i = 0; i < names.size(); ++i) {
            const BRNPackage* p = Prefs()->FindPackage(PMString(names[i]));
            ASSERT_NE(p, nullptr) << names[i];
            EXPECT_EQ(p->GetVersion(), i + 1) << names[i];
        }
        EXPECT_TRUE(Prefs()->GetUnreadableFiles().empty());

        Prefs()->SetPackages({});
        EXPECT_TRUE(PackageFileNames().empty());
        EXPECT_TRUE(fs::is_directory(PackagesFolder()));
    }
    // The properties of the settings file, read from its text (the structure is checked with Python once).
    std::map<std::string, std::string> SettingsProperties() const {
        std::map<std::string, std::string> values;
        const std::string text = testsupport::ReadUTF16File(SettingsFile());
        static const std::regex property("<property name=\"([^\"]*)\" value=\"([^\"]*)\"");
        for (auto it = std::sregex_iterator(text.begin(), text.end(), property); it != std::sregex_iterator();
             ++it)
            values[(*it)[1]] = (*it)[2];
        return values;
    }
};

// ---- Settings ----

TEST_F(PrefsTest, FreshHomeHasDefaultsAndWritesTheSettingsFile) {
    EXPECT_TRUE(Prefs()->GetUseDefaultPackage());
    EXPECT_FALSE(Prefs()->GetLatestPackageChanged());
    EXPECT_TRUE(Prefs()->GetUseLatestPackage());
    EXPECT_EQ(Prefs()->GetDataType(), IBRNPrefs::kInDesign);
    EXPECT_TRUE(Prefs()->GetPackages().empty());
    EXPECT_TRUE(Prefs()->GetUnreadableFiles().empty());
    EXPECT_TRUE(Prefs()->GetLastSaveSucceeded());
    EXPECT_EQ(Prefs()->Reserved1(), 0);
    EXPECT_EQ(Prefs()->Reserved2(), 0);

    IDFile settings, folder;
    ASSERT_TRUE(Prefs()->GetSettingsFile(&settings));
    ASSERT_TRUE(Prefs()->GetPackagesFolder(&folder));
    EXPECT_EQ(settings.Path(), SettingsFile());
    EXPECT_EQ(folder.Path(), PackagesFolder());
    EXPECT_TRUE(fs::is_directory(PackagesFolder()));

    ASSERT_TRUE(fs::is_regular_file(SettingsFile()));
    std::string bytes = ReadFile(SettingsFile());
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]), 0xFE);
    EXPECT_EQ(testsupport::ReadUTF16File(SettingsFile()).rfind("<?xml version=\"1.0\"", 0), 0u);

    std::vector<XmlElement> e = ParseWithPython(SettingsFile());
    ASSERT_EQ(e.size(), 5u);
    EXPECT_EQ(e[0].tag, "Brindle");
    EXPECT_EQ(e[0].AttrNames(), std::vector<std::string>{"version"});
    EXPECT_EQ(e[0].Attr("version"), "1.0");
    const std::pair<const char*, const char*> properties[] = {
        {"UseDefaultPackage", "true"}, {"UseLatestPackage", "true"}, {"DataType", "InDesign"}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(e[i + 1].depth, 1);
        EXPECT_EQ(e[i + 1].tag, "property");
        EXPECT_EQ(e[i + 1].AttrNames(), (std::vector<std::string>{"name", "value"}));
        EXPECT_EQ(e[i + 1].Attr("name"), properties[i].first);
        EXPECT_EQ(e[i + 1].Attr("value"), properties[i].second);
    }
    EXPECT_EQ(e[4].depth, 1);
    EXPECT_EQ(e[4].tag, "packages");
    EXPECT_TRUE(e[4].attrs.empty());
}

TEST_F(PrefsTest, SettingsFileListsTheLibrary) {
    Prefs()->SetPackages({Package("Alpha"), Package("Beta"), Package("Photo Rights")});
    std::vector<XmlElement> e = ParseWithPython(SettingsFile());
    auto packages = std::find_if(e.begin(), e.end(), [](const XmlElement& x) { return x.tag == "packages"; });
    ASSERT_NE(packages, e.end());
    EXPECT_EQ(packages->depth, 1);
    std::vector<std::string> listed;
    for (auto it = packages + 1; it != e.end() && it->depth > 1; ++it) {
        EXPECT_EQ(it->depth, 2);
        EXPECT_EQ(it->tag, "package");
        EXPECT_EQ(it->AttrNames(), std::vector<std::string>{"name"});
        listed.push_back(it->Attr("name"));
    }
    EXPECT_EQ(listed, (std::vector<std::string>{"Alpha", "Beta", "Photo Rights"}));
}

TEST_F(PrefsTest, SettingsSurviveARestart) {
    Prefs()->SetUseDefaultPackage(kFalse);
    Prefs()->SetUseLatestPackage(kFalse);
    Prefs()->SetDataType(IBRNPrefs::kAssignment);
    EXPECT_EQ(SettingsProperties(), (std::map<std::string, std::string>{{"UseDefaultPackage", "false"},
                                                                        {"UseLatestPackage", "false"},
                                                                        {"DataType", "Assignment"}}));
    Restart();
    EXPECT_FALSE(Prefs()->GetUseDefaultPackage());
    EXPECT_FALSE(Prefs()->GetUseLatestPackage());
    EXPECT_EQ(Prefs()->GetDataType(), IBRNPrefs::kAssignment);
    EXPECT_FALSE(Prefs()->GetLatestPackageChanged());
}

TEST_F(PrefsTest, PropertiesAreReadExactly) {
    using Props = std::vector<std::pair<std::string, std::string>>;
    const struct {
        const char* what;
        Props props;
        std::string root;
        bool useDefault;
        bool useLatest;
        int32 dataType;
    } cases[] = {
        {"all set",
         {{"UseDefaultPackage", "true"}, {"UseLatestPackage", "true"}, {"DataType", "InCopy"}},
         "Brindle",
         true,
         true,
         1},
        {"capital letters are not true",
         {{"UseDefaultPackage", "True"}, {"UseLatestPackage", "TRUE"}, {"DataType", "Assignment"}},
         "Brindle",
         false,
         false,
         2},
        {"blanks are not true",
         {{"UseDefaultPackage", " true"}, {"UseLatestPackage", "true "}},
         "Brindle",
         false,
         false,
         0},
        {"unknown data type keeps the default",
         {{"UseDefaultPackage", "false"}, {"UseLatestPackage", "true"}, {"DataType", "Unknown"}},
         "Brindle",
         false,
         true,
         0},
        {"data type names are exact", {{"DataType", "incopy"}}, "Brindle", true, true, 0},
        {"other order, unknown names ignored",
         {{"DataType", "InCopy"},
          {"Colour", "red"},
          {"UseLatestPackage", "false"},
          {"usedefaultpackage", "false"}},
         "Brindle",
         true,
         false,
         1},
        {"root name is not checked",
         {{"UseDefaultPackage", "false"}, {"DataType", "Assignment"}},
         "Other",
         false,
         true,
         2},
        {"no properties at all", {}, "Brindle", true, true, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StopHost();
        const std::string written = SettingsXml(c.props, c.root);
        WriteFile(SettingsFile(), written);
        fAlerts->Clear();
        StartHost();
        EXPECT_EQ(Prefs()->GetUseDefaultPackage() != 0, c.useDefault);
        EXPECT_EQ(Prefs()->GetUseLatestPackage() != 0, c.useLatest);
        EXPECT_EQ(Prefs()->GetDataType(), c.dataType);
        EXPECT_TRUE(fAlerts->Alerts().empty());
        EXPECT_EQ(ReadFile(SettingsFile()), written) << "a readable settings file is not rewritten at start";
    }
}

TEST_F(PrefsTest, UnknownDataTypeIsWrittenBackAsInDesignOnlyWhenSaved) {
    StopHost();
    WriteFile(
        SettingsFile(),
        SettingsXml({{"UseDefaultPackage", "true"}, {"UseLatestPackage", "true"}, {"DataType", "Unknown"}}));
    StartHost();
    EXPECT_EQ(Prefs()->GetDataType(), 0);
    EXPECT_EQ(SettingsProperties()["DataType"], "Unknown");
    Prefs()->SetUseLatestPackage(kTrue);
    EXPECT_EQ(SettingsProperties()["DataType"], "InDesign");
}

TEST_F(PrefsTest, DataTypeOutsideTheTableIsWrittenAsUnknown) {
    Prefs()->SetDataType(7);
    EXPECT_EQ(Prefs()->GetDataType(), 7);
    EXPECT_EQ(SettingsProperties()["DataType"], "Unknown");
    Restart();
    EXPECT_EQ(Prefs()->GetDataType(), 0);
    EXPECT_EQ(U8(BRNPrefsPrst::DataTypeName(0)), "InDesign");
    EXPECT_EQ(U8(BRNPrefsPrst::DataTypeName(1)), "InCopy");
    EXPECT_EQ(U8(BRNPrefsPrst::DataTypeName(2)), "Assignment");
    EXPECT_EQ(U8(BRNPrefsPrst::DataTypeName(-1)), "Unknown");
}

TEST_F(PrefsTest, SettersSaveOnlyWhenTheyShould) {
    // The settings file is removed before each call: its presence afterwards shows a save.
    const struct {
        const char* what;
        std::function<void(IBRNPrefs*)> set;
        bool saves;
        const char* property;
        const char* value;
    } cases[] = {
        {"UseDefaultPackage, same value", [](IBRNPrefs* p) { p->SetUseDefaultPackage(kTrue); }, false, "",
         ""},
        {"UseDefaultPackage, new value", [](IBRNPrefs* p) { p->SetUseDefaultPackage(kFalse); }, true,
         "UseDefaultPackage", "false"},
        {"UseDefaultPackage, same value again", [](IBRNPrefs* p) { p->SetUseDefaultPackage(kFalse); }, false,
         "", ""},
        {"UseLatestPackage, same value", [](IBRNPrefs* p) { p->SetUseLatestPackage(kTrue); }, true,
         "UseLatestPackage", "true"},
        {"UseLatestPackage, new value", [](IBRNPrefs* p) { p->SetUseLatestPackage(kFalse); }, true,
         "UseLatestPackage", "false"},
        {"DataType, same value", [](IBRNPrefs* p) { p->SetDataType(IBRNPrefs::kInDesign); }, false, "", ""},
        {"DataType, new value", [](IBRNPrefs* p) { p->SetDataType(IBRNPrefs::kInCopy); }, true, "DataType",
         "InCopy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove(SettingsFile());
        c.set(Prefs());
        ASSERT_EQ(fs::exists(SettingsFile()), c.saves);
        if (c.saves) {
            EXPECT_EQ(SettingsProperties()[c.property], c.value);
        }
    }
    // A settings save alone does not touch package files.
    EXPECT_TRUE(Prefs()->GetLastSaveSucceeded());
}

TEST_F(PrefsTest, ReadingUseLatestPackageClearsTheChangeFlag) {
    for (bool16 value : {kFalse, kFalse, kTrue}) {
        Prefs()->SetUseLatestPackage(value);
        EXPECT_TRUE(Prefs()->GetLatestPackageChanged());
        EXPECT_EQ(Prefs()->GetUseLatestPackage(), value);
        EXPECT_FALSE(Prefs()->GetLatestPackageChanged());
        EXPECT_EQ(Prefs()->GetUseLatestPackage(), value);
        EXPECT_FALSE(Prefs()->GetLatestPackageChanged());
    }
    // The flag belongs to this run only.
    Prefs()->SetUseLatestPackage(kFalse);
    Restart();
    EXPECT_FALSE(Prefs()->GetLatestPackageChanged());
}

// ---- Library ----

TEST_F(PrefsTest, SetPackagesTellsTheSessionsObservers) {
    InterfacePtr<ISubject> subject(GetExecutionContextSession(), IID_ISUBJECT);
    ASSERT_TRUE(subject);
    RecordingObserver library, other;
    subject->AttachObserver(&library, kBRNProtocol);
    subject->AttachObserver(&other, kBRNProtocol + 1);

    Prefs()->SetPackages({Package("Alpha")});
    ASSERT_EQ(library.seen.size(), 1u);
    EXPECT_EQ(library.seen[0].change, 0xA8289u);
    EXPECT_EQ(library.seen[0].protocol, 0xA8260u);
    EXPECT_EQ(library.seen[0].changedBy, static_cast<void*>(Prefs()));
    EXPECT_EQ(LibraryNames(), std::vector<std::string>{"Alpha"});

    BRNPackageUtils::DeleteLibraryPackage(PMString("Alpha"));
    EXPECT_EQ(library.seen.size(), 2u);
    BRNPackageUtils::DeleteLibraryPackage(PMString("Nobody"));
    EXPECT_EQ(library.seen.size(), 3u) << "a delete of an unknown name still saves and tells";
    BRNPackageUtils::DeleteLibraryPackage(PMString(""));
    EXPECT_EQ(library.seen.size(), 3u) << "an empty name does nothing";

    // Settings changes are not library changes.
    Prefs()->SetUseLatestPackage(kFalse);
    Prefs()->SetUseDefaultPackage(kFalse);
    EXPECT_EQ(library.seen.size(), 3u);
    EXPECT_TRUE(other.seen.empty());

    subject->DetachObserver(&library, kBRNProtocol);
    subject->DetachObserver(&other, kBRNProtocol + 1);
}

TEST_F(PrefsTest, LibraryRoundTripsThroughTheFolder) {
    BRNField choice(PMString("Section"));
    choice.SetShortName(PMString("Section"));
    choice.SetType(kBRNTypeChoice);
    choice.SetOptions({PMString("News"), PMString("Sport")});
    choice.SetRequired(kTrue);
    BRNPackage p(BRNFieldList{choice}, PMString("Editorial"), PMString("secret"), 41234);
    p.SetVersion(3);
    Prefs()->SetPackages({p, Package("Advertising", 1)});
    EXPECT_TRUE(Prefs()->GetLastSaveSucceeded());
    EXPECT_EQ(PackageFileNames(), (std::vector<std::string>{"Advertising_ID.xml", "Editorial_ID.xml"}));

    Restart();
    EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"Advertising", "Editorial"}));
    const BRNPackage* read = Prefs()->FindPackage(PMString("Editorial"));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->GetVersion(), 3u);
    EXPECT_TRUE(read->IsModified());
    EXPECT_TRUE(read->GetLocked());
    EXPECT_TRUE(read->CheckPassword(PMString("secret")));
    EXPECT_EQ(read->GetTimestamp(), 41234);
    ASSERT_EQ(read->GetFields().size(), 1u);
    EXPECT_EQ(read->GetFields()[0].GetOptions().size(), 2u);
    EXPECT_TRUE(read->GetFields()[0].GetRequired());
    EXPECT_EQ(Prefs()->FindPackage(PMString("editorial")), nullptr);
}

TEST_F(PrefsTest, LibraryIsSortedByNameWhateverTheFileNames) {
    StopHost();
    WritePackageAt(PackagesFolder() / "A_ID.xml", "Beta");
    WritePackageAt(PackagesFolder() / "Z_ID.xml", "Alpha");
    WritePackageAt(PackagesFolder() / "M_ID.xml", "alpha");
    WritePackageAt(PackagesFolder() / "B_ID.xml", "Ærø");
    // Only files whose names hold the suffix, and no folders.
    WritePackageAt(PackagesFolder() / "Gamma.xml", "Gamma");
    fs::create_directory(PackagesFolder() / "Sub_ID.xml");
    WritePackageAt(PackagesFolder() / "Sub_ID.xml" / "Delta_ID.xml", "Delta");
    StartHost();
    // Ordered by UTF-16 code units: capitals before small letters before non-ASCII.
    EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"Alpha", "Beta", "alpha", "Ærø"}));
}

// A backup beside the library ("Notes_ID.xml.old", "Notes_ID.xml~") only holds the suffix:
// it is not a file of the library, is never loaded and never touched.
TEST_F(PrefsTest, FilesThatOnlyContainTheSuffixAreNotLibraryFiles) {
    StopHost();
    WritePackageAt(PackagesFolder() / "Notes_ID.xml.bak", "Notes", 9);
    WritePackageAt(PackagesFolder() / "Notes_ID.xml~", "Notes", 8);
    const std::string bak = ReadFile(PackagesFolder() / "Notes_ID.xml.bak");
    StartHost();
    EXPECT_TRUE(LibraryNames().empty());
    Prefs()->SetPackages({Package("Other")});
    BRNPackageUtils::DeleteLibraryPackage(PMString("Notes"));
    EXPECT_EQ(ReadFile(PackagesFolder() / "Notes_ID.xml.bak"), bak);
    EXPECT_TRUE(fs::exists(PackagesFolder() / "Notes_ID.xml~"));
}

// Two files of the library define one package: the library keeps the highest version (on a
// tie the newest file), the other file is named and never written over with older data,
// and a delete removes every file that defines the package, so it does not come back.
TEST_F(PrefsTest, TwoFilesOfOnePackageKeepTheNewestAndDeleteRemovesBoth) {
    struct Case {
        std::string what;
        uint32 ownVersion, copyVersion;
        bool copyNewerFile;
        uint32 kept;
    };
    const Case cases[] = {
        {"copy has the higher version", 3, 5, false, 5},
        {"own file has the higher version", 6, 2, true, 6},
        {"same version, copy is newer", 4, 4, true, 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StopHost();
        fs::remove_all(PackagesFolder());
        fs::create_directories(PackagesFolder());
        const fs::path own = PackagesFolder() / "Notes_ID.xml";
        const fs::path copy = PackagesFolder() / "Copy of Notes_ID.xml";
        WritePackageAt(own, "Notes", c.ownVersion);
        WritePackageAt(copy, "Notes", c.copyVersion);
        const auto now = fs::file_time_type::clock::now();
        fs::last_write_time(c.copyNewerFile ? own : copy, now - std::chrono::hours(1));
        fs::last_write_time(c.copyNewerFile ? copy : own, now);
        StartHost();
        ASSERT_NE(Prefs()->FindPackage(PMString("Notes")), nullptr);
        EXPECT_EQ(Prefs()->FindPackage(PMString("Notes"))->GetVersion(), c.kept);
        ASSERT_EQ(Prefs()->GetDuplicateFiles().size(), 1u);

        // A save writes the kept version; the library's own file never goes back.
        Prefs()->SetPackages(Prefs()->GetPackages());
        BRNPackage read;
        ASSERT_EQ(BRNPackageUtils::LoadPackageFile(IDFile(own), read), 0);
        EXPECT_EQ(read.GetVersion(), c.kept);

        BRNPackageUtils::DeleteLibraryPackage(PMString("Notes"));
        EXPECT_FALSE(fs::exists(own));
        EXPECT_FALSE(fs::exists(copy));
        Restart();
        EXPECT_EQ(Prefs()->FindPackage(PMString("Notes")), nullptr);
    }
}

TEST_F(PrefsTest, DeletingAPackageRemovesItsFile) {
    Prefs()->SetPackages({Package("Alpha"), Package("Beta")});
    ASSERT_EQ(PackageFileNames(), (std::vector<std::string>{"Alpha_ID.xml", "Beta_ID.xml"}));

    BRNPackageUtils::DeleteLibraryPackage(PMString("Alpha"));
    EXPECT_EQ(LibraryNames(), std::vector<std::string>{"Beta"});
    EXPECT_EQ(PackageFileNames(), std::vector<std::string>{"Beta_ID.xml"});

    // An unknown name changes nothing but is saved all the same.
    ASSERT_TRUE(fs::remove(SettingsFile()));
    BRNPackageUtils::DeleteLibraryPackage(PMString("beta"));
    EXPECT_EQ(LibraryNames(), std::vector<std::string>{"Beta"});
    EXPECT_TRUE(fs::exists(SettingsFile()));
    EXPECT_EQ(PackageFileNames(), std::vector<std::string>{"Beta_ID.xml"});

    ASSERT_TRUE(fs::remove(SettingsFile()));
    BRNPackageUtils::DeleteLibraryPackage(PMString(""));
    EXPECT_EQ(LibraryNames(), std::vector<std::string>{"Beta"});
    EXPECT_FALSE(fs::exists(SettingsFile()));

    Restart();
    EXPECT_EQ(LibraryNames(), std::vector<std::string>{"Beta"});
}

// ---- Files that are missing, broken, oddly named or cannot be written ----

TEST_F(PrefsTest, MissingOrUnreadableSettingsKeepThePackageFiles) {
    const struct {
        const char* what;
        bool garbage;
    } cases[] = {{"settings file missing", false}, {"settings file unreadable", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Prefs()->SetPackages({Package("Alpha", 2), Package("Beta", 3)});
        Prefs()->SetUseDefaultPackage(kFalse);
        StopHost();
        std::string expectedError;
        if (c.garbage) {
            const std::string garbage = "this is <not> a settings file &&";
            WriteFile(SettingsFile(), garbage);
            // The parser's own words for this text.
            TempDir scratch;
            WriteFile(scratch / "same.xml", garbage);
            ASSERT_FALSE(CVExpatSimpleDOM::Instance().ParseFile(IDFile(scratch / "same.xml")));
            expectedError = U8(CVExpatSimpleDOM::Instance().GetError());
            while (!expectedError.empty() && expectedError.back() == '\n')
                expectedError.pop_back();
            ASSERT_FALSE(expectedError.empty());
        } else {
            ASSERT_TRUE(fs::remove(SettingsFile()));
        }
        fAlerts->Clear();
        StartHost();

        EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"Alpha", "Beta"}));
        const BRNPackage* beta = Prefs()->FindPackage(PMString("Beta"));
        ASSERT_NE(beta, nullptr);
        EXPECT_EQ(beta->GetVersion(), 3u);
        EXPECT_EQ(PackageFileNames(), (std::vector<std::string>{"Alpha_ID.xml", "Beta_ID.xml"}));
        // The defaults are in force and written back.
        EXPECT_TRUE(Prefs()->GetUseDefaultPackage());
        EXPECT_EQ(SettingsProperties()["UseDefaultPackage"], "true");
        if (c.garbage) {
            ASSERT_EQ(fAlerts->Alerts().size(), 1u);
            EXPECT_NE(fAlerts->Alerts()[0].message.find(expectedError), std::string::npos)
                << fAlerts->Alerts()[0].message;
        } else {
            EXPECT_TRUE(fAlerts->Alerts().empty());
        }

        // A further run finds everything as it was.
        fAlerts->Clear();
        Restart();
        EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"Alpha", "Beta"}));
        EXPECT_TRUE(fAlerts->Alerts().empty());
    }
}

TEST_F(PrefsTest, PackageFileThatDoesNotLoadIsNeverDeleted) {
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"garbage", "\x01\x02 definitely not a package \xFF"},
        {"UTF-8 without byte-order mark",
         "<?xml version=\"1.0\"?><brindle version=\"1\"><package name=\"Broken\" version=\"1\"/></brindle>"},
        {"UTF-16 but not well-formed", ToUTF16("<brindle version=\"1\"><package name=\"Broken\">")},
        {"UTF-16 without a package", ToUTF16("<brindle version=\"1\"/>")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        StopHost();
        for (const auto& e : fs::directory_iterator(PackagesFolder()))
            fs::remove_all(e.path());
        WritePackageAt(PackagesFolder() / "Alpha_ID.xml", "Alpha");
        const fs::path broken = PackagesFolder() / "Broken_ID.xml";
        WriteFile(broken, c.bytes);
        StartHost();

        EXPECT_EQ(LibraryNames(), std::vector<std::string>{"Alpha"});
        ASSERT_EQ(Prefs()->GetUnreadableFiles().size(), 1u);
        EXPECT_EQ(Prefs()->GetUnreadableFiles()[0].Path(), broken);

        Prefs()->SetPackages(Prefs()->GetPackages());
        EXPECT_EQ(ReadFile(broken), c.bytes);
        Prefs()->SetPackages({});
        EXPECT_EQ(ReadFile(broken), c.bytes);
        EXPECT_EQ(PackageFileNames(), std::vector<std::string>{"Broken_ID.xml"});
        Restart();
        EXPECT_EQ(ReadFile(broken), c.bytes);
        EXPECT_EQ(Prefs()->GetUnreadableFiles().size(), 1u);
    }
}

TEST_F(PrefsTest, PackageFileNameOfOrdinaryNames) {
    EXPECT_EQ(U8(BRNPrefsPrst::PackageFileName(PMString("Editorial"))), "Editorial_ID.xml");
    EXPECT_EQ(U8(BRNPrefsPrst::PackageFileName(PMString("Photo Rights"))), "Photo Rights_ID.xml");
    EXPECT_EQ(U8(BRNPrefsPrst::PackageFileName(PMString("Ærø"))), "Ærø_ID.xml");
    EXPECT_FALSE(BRNPrefsPrst::PackageFileName(PMString("Editorial")).GetTranslatable());
}

// Names that are not file names stay inside the packages folder, each in a file of its own.
TEST_F(PrefsTest, AwkwardNamesStayInsideThePackagesFolder) {
    ExpectNamesRoundTrip(
        {"../evil", "a/b", ".", "..", "x\ny", "back\\slash", "/abs", "100%", "tab\there", "Plain"});
}

// A name that reads like the escaped form of another must not share its file.
TEST_F(PrefsTest, NamesLikeEscapedOnesGetFilesOfTheirOwn) {
    ExpectNamesRoundTrip({"a/b", "a%2Fb", "..", "%2E%2E"});
}

// Long names cut to fit a file name keep a check value of their whole name that does not
// collide in practice; and a file that holds another package is never written over.
TEST_F(PrefsTest, LongNamesGetFilesOfTheirOwnAndNeverTakeAnothersFile) {
    std::vector<std::string> names;
    const std::string prefix(300, 'n');
    for (int i = 0; i < 300; ++i) names.push_back(prefix + std::to_string(i));
    ExpectNamesRoundTrip(names);

    // A file at the long name's place that holds a package of another name stays as it is.
    const std::string longName = prefix + "x";
    const fs::path file = PackagesFolder() / U8(BRNPrefsPrst::PackageFileName(PMString(longName)));
    ASSERT_TRUE(BRNPackageUtils::WritePackageFile(IDFile(file), Package("Someone else", 7)));
    const std::string before = ReadFile(file);
    Prefs()->SetPackages({Package(longName, 2)});
    EXPECT_FALSE(Prefs()->GetLastSaveSucceeded());
    EXPECT_EQ(ReadFile(file), before);
}

TEST_F(PrefsTest, NameContainingTheSuffixSurvivesSavesAndRestarts) {
    Prefs()->SetPackages({Package("X_ID.xmlY", 4), Package("Y", 5)});
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        Prefs()->SetPackages(Prefs()->GetPackages());
        Restart();
        EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"X_ID.xmlY", "Y"}));
        ASSERT_NE(Prefs()->FindPackage(PMString("X_ID.xmlY")), nullptr);
        EXPECT_EQ(Prefs()->FindPackage(PMString("X_ID.xmlY"))->GetVersion(), 4u);
    }
    BRNPackageUtils::DeleteLibraryPackage(PMString("X_ID.xmlY"));
    EXPECT_EQ(PackageFileNames(), std::vector<std::string>{"Y_ID.xml"});
}

TEST_F(PrefsTest, DeletedPackageStaysDeletedBesideAPackageNamedLikeItsPrefix) {
    Prefs()->SetPackages({Package("X", 6), Package("X_ID.xmlY", 4), Package("Y", 5)});
    Restart();
    EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"X", "X_ID.xmlY", "Y"}));

    BRNPackageUtils::DeleteLibraryPackage(PMString("X_ID.xmlY"));
    EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"X", "Y"}));
    EXPECT_EQ(PackageFileNames().size(), 2u);
    Restart();
    EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"X", "Y"}));
}

TEST_F(PrefsTest, VeryLongNamesAreSavedAndReloaded) {
    std::string ae;
    for (int i = 0; i < 150; ++i)
        ae += "Æ";
    const std::vector<std::string> names = {std::string(300, 'n'), std::string(299, 'n') + "m", ae,
                                            std::string(248, 'k')};
    BRNPackageList library;
    for (size_t i = 0; i < names.size(); ++i)
        library.push_back(Package(names[i], static_cast<uint32>(i + 1)));
    Prefs()->SetPackages(library);
    EXPECT_TRUE(Prefs()->GetLastSaveSucceeded());
    EXPECT_EQ(PackageFileNames().size(), names.size());
    for (const std::string& f : PackageFileNames())
        EXPECT_LE(f.size(), 255u);

    Prefs()->SetPackages(Prefs()->GetPackages());
    Restart();
    std::vector<std::string> expected = names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(LibraryNames(), expected);
    for (size_t i = 0; i < names.size(); ++i) {
        const BRNPackage* p = Prefs()->FindPackage(PMString(names[i]));
        ASSERT_NE(p, nullptr) << i;
        EXPECT_EQ(p->GetVersion(), i + 1);
    }
    BRNPackageUtils::DeleteLibraryPackage(PMString(names[0]));
    EXPECT_EQ(PackageFileNames().size(), names.size() - 1);
}

TEST_F(PrefsTest, SavesLeaveNoTemporaryFiles) {
    Prefs()->SetPackages({Package("Alpha"), Package("Beta"), Package("Gamma")});
    Prefs()->SetUseLatestPackage(kFalse);
    Prefs()->SetPackages({Package("Alpha", 2)});
    EXPECT_TRUE(TemporaryFiles().empty());
    EXPECT_EQ(PackageFileNames(), std::vector<std::string>{"Alpha_ID.xml"});
}

TEST_F(PrefsTest, FailedSaveKeepsTheOldFiles) {
    Prefs()->SetPackages({Package("Alpha", 1)});
    ASSERT_TRUE(Prefs()->GetLastSaveSucceeded());
    const fs::path alpha = PackagesFolder() / "Alpha_ID.xml";
    const std::string before = ReadFile(alpha);

    fs::permissions(PackagesFolder(), fs::perms(0555));
    const bool permissionsHold = ::access(PackagesFolder().c_str(), W_OK) != 0;
    fs::path aside = PackagesFolder();
    aside += ".aside";
    if (!permissionsHold) {
        // Permissions do not stop this user: put a plain file where the folder was.
        fs::permissions(PackagesFolder(), fs::perms(0755));
        fs::rename(PackagesFolder(), aside);
        WriteFile(PackagesFolder(), "not a folder");
    }

    Prefs()->SetPackages({Package("Alpha", 2), Package("Beta", 1)});
    EXPECT_FALSE(Prefs()->GetLastSaveSucceeded());
    if (permissionsHold) {
        EXPECT_EQ(ReadFile(alpha), before);
        EXPECT_FALSE(fs::exists(PackagesFolder() / "Beta_ID.xml"));
        fs::permissions(PackagesFolder(), fs::perms(0755));
    } else {
        EXPECT_EQ(ReadFile(PackagesFolder()), "not a folder");
        EXPECT_EQ(ReadFile(aside / "Alpha_ID.xml"), before);
        fs::remove(PackagesFolder());
        fs::rename(aside, PackagesFolder());
    }
    EXPECT_TRUE(TemporaryFiles().empty());

    // Once writing works again, the next save stores everything.
    Prefs()->SetPackages(Prefs()->GetPackages());
    EXPECT_TRUE(Prefs()->GetLastSaveSucceeded());
    Restart();
    ASSERT_NE(Prefs()->FindPackage(PMString("Alpha")), nullptr);
    EXPECT_EQ(Prefs()->FindPackage(PMString("Alpha"))->GetVersion(), 2u);
}

TEST_F(PrefsTest, OnePackageThatCannotBeWrittenStoresNoneOfTheSave) {
    Prefs()->SetPackages({Package("Alpha", 1)});
    ASSERT_TRUE(Prefs()->GetLastSaveSucceeded());
    const std::string alphaBefore = ReadFile(PackagesFolder() / "Alpha_ID.xml");
    const std::string settingsBefore = ReadFile(SettingsFile());
    // A folder in the way of one package file: the save is one change, so the package that
    // could be written is not either, and the settings file keeps its list.
    fs::create_directory(PackagesFolder() / "Beta_ID.xml");
    Prefs()->SetPackages({Package("Alpha", 3), Package("Beta", 1)});
    EXPECT_FALSE(Prefs()->GetLastSaveSucceeded());
    EXPECT_NE(Prefs()->GetLastSaveError().GetUTF8String().find("Beta_ID.xml"), std::string::npos);
    EXPECT_EQ(ReadFile(PackagesFolder() / "Alpha_ID.xml"), alphaBefore);
    EXPECT_EQ(ReadFile(SettingsFile()), settingsBefore);
    EXPECT_TRUE(TemporaryFiles().empty());

    // The change is kept and stored whole once the way is clear.
    fs::remove(PackagesFolder() / "Beta_ID.xml");
    Prefs()->SetPackages(Prefs()->GetPackages());
    EXPECT_TRUE(Prefs()->GetLastSaveSucceeded());
    Restart();
    EXPECT_EQ(LibraryNames(), (std::vector<std::string>{"Alpha", "Beta"}));
    EXPECT_EQ(Prefs()->FindPackage(PMString("Alpha"))->GetVersion(), 3u);
}

} // namespace
