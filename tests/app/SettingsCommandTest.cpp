// The `brindle settings` commands and the global options, run as the built program.
#include "TestSupport.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::Quote;
using testsupport::ReadFile;
using testsupport::RunBrindle;
using testsupport::SamplesLibrary;
using testsupport::TempDir;

namespace {

class SettingsCommand : public ::testing::Test {
protected:
    int Brindle(const std::string& args, std::string* out = nullptr, std::string* err = nullptr) {
        return RunBrindle("--home " + Quote(fHome.path()) + " " + args, out, err);
    }
    nlohmann::json SettingsJSON() {
        std::string out, err;
        EXPECT_EQ(Brindle("settings --json", &out, &err), 0) << err;
        nlohmann::json j = nlohmann::json::parse(out, nullptr, false);
        EXPECT_TRUE(j.is_object()) << out;
        return j;
    }
    fs::path SettingsFile() const { return fHome.path() / "config/corvane/BrindleSettings.xml"; }

    TempDir fHome;
};

TEST_F(SettingsCommand, DefaultsOfAFreshHome) {
    nlohmann::json j = SettingsJSON();
    EXPECT_EQ(j["useDefaultPackage"], true);
    EXPECT_EQ(j["useLatestPackage"], true);
    EXPECT_EQ(j["dataType"], "InDesign");
    EXPECT_EQ(j["packageCount"], 0);
    ASSERT_TRUE(j["settingsFile"].is_string());
    ASSERT_TRUE(j["packagesFolder"].is_string());
    EXPECT_EQ(fs::path(j["settingsFile"].get<std::string>()), SettingsFile());
    EXPECT_EQ(fs::path(j["packagesFolder"].get<std::string>()),
              fHome.path() / "config/corvane/BrindlePackages");
    EXPECT_TRUE(fs::exists(SettingsFile()));
}

TEST_F(SettingsCommand, PackageCountFollowsTheLibrary) {
    std::string out, err;
    ASSERT_EQ(Brindle("library import " + Quote(SamplesLibrary() / "Editorial_ID.xml") + " " +
                          Quote(SamplesLibrary() / "Production_ID.xml"),
                      &out, &err),
              0)
        << err;
    EXPECT_EQ(SettingsJSON()["packageCount"], 2);
}

TEST_F(SettingsCommand, SetValuesPersistAcrossRuns) {
    struct Case {
        std::string key, value, jsonKey;
        nlohmann::json expected;
    };
    const std::vector<Case> cases = {
        {"UseLatestPackage", "false", "useLatestPackage", false},
        {"UseDefaultPackage", "false", "useDefaultPackage", false},
        {"DataType", "InCopy", "dataType", "InCopy"},
        {"DataType", "Assignment", "dataType", "Assignment"},
        {"UseDefaultPackage", "true", "useDefaultPackage", true},
        {"DataType", "InDesign", "dataType", "InDesign"},
    };
    nlohmann::json expected = SettingsJSON();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key + " " + c.value);
        std::string out, err;
        ASSERT_EQ(Brindle("settings set " + c.key + " " + c.value, &out, &err), 0) << err;
        expected[c.jsonKey] = c.expected;
        // A new run reads the settings back from the file.
        EXPECT_EQ(SettingsJSON(), expected);
    }
}

TEST_F(SettingsCommand, SetWritesTheSettingsFile) {
    std::string out, err;
    ASSERT_EQ(Brindle("settings set UseLatestPackage false", &out, &err), 0) << err;
    ASSERT_EQ(Brindle("settings set DataType InCopy", &out, &err), 0) << err;
    std::string text = testsupport::ReadUTF16File(SettingsFile());
    EXPECT_NE(text.find("\"UseLatestPackage\" value=\"false\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"DataType\" value=\"InCopy\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"UseDefaultPackage\" value=\"true\""), std::string::npos) << text;
}

TEST_F(SettingsCommand, BadKeysAndValuesAreRejectedAndChangeNothing) {
    std::string out, err;
    ASSERT_EQ(Brindle("settings set DataType InCopy", &out, &err), 0) << err;
    const nlohmann::json before = SettingsJSON();
    const std::string fileBefore = ReadFile(SettingsFile());

    const std::vector<std::string> bad = {
        "settings set UseDefaultPackage maybe",
        "settings set UseLatestPackage True_",
        "settings set UseLatestPackage ''",
        "settings set DataType Word",
        "settings set DataType incopy",
        "settings set DataType 7",
        "settings set UseFancyPackage true",
        "settings set usedefaultpackage false",
        "settings set DataType",
        "settings set",
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args);
        EXPECT_EQ(Brindle(args, &out, &err), 1);
        EXPECT_NE(err, "");
        EXPECT_EQ(ReadFile(SettingsFile()), fileBefore);
        EXPECT_EQ(SettingsJSON(), before);
    }
}

TEST_F(SettingsCommand, TextOutputNamesEverySetting) {
    std::string out, err;
    ASSERT_EQ(Brindle("settings set UseDefaultPackage false", &out, &err), 0) << err;
    ASSERT_EQ(Brindle("settings", &out, &err), 0) << err;
    EXPECT_NE(out.find("UseDefaultPackage  false"), std::string::npos) << out;
    EXPECT_NE(out.find("UseLatestPackage   true"), std::string::npos) << out;
    EXPECT_NE(out.find("DataType           InDesign"), std::string::npos) << out;
    EXPECT_NE(out.find(SettingsFile().string()), std::string::npos) << out;
}

class BrindleGlobalOptions : public SettingsCommand {};

TEST_F(BrindleGlobalOptions, LogLevelSendsTracesToTheLogFile) {
    const fs::path log = fHome / "trace.log";
    std::string out, err;
    ASSERT_EQ(Brindle("--log-level 75 --log-file " + Quote(log) + " library list", &out, &err), 0) << err;
    ASSERT_TRUE(fs::exists(log));
    std::string text = ReadFile(log);
    EXPECT_NE(text.find("Enter: "), std::string::npos) << text;
    EXPECT_NE(text.find("Exit: "), std::string::npos) << text;
    EXPECT_EQ(err.find("Enter: "), std::string::npos) << "traces also went to standard error:\n" << err;
}

TEST_F(BrindleGlobalOptions, LogLevelZeroWritesNothing) {
    const fs::path log = fHome / "quiet.log";
    std::string out, err;
    ASSERT_EQ(Brindle("--log-level 0 --log-file " + Quote(log) + " library list", &out, &err), 0) << err;
    EXPECT_TRUE(!fs::exists(log) || fs::file_size(log) == 0) << ReadFile(log);
    EXPECT_EQ(err, "");
}

TEST_F(BrindleGlobalOptions, UsageErrorsExitWithOne) {
    const std::vector<std::string> bad = {
        "frobnicate",
        "library frobnicate",
        "library",
        "library show",
        "--log-level -1 library list",
        "--log-level lots library list",
        "--edition print library list",
        "--answer maybe library list",
        "library list --colour",
        "",
    };
    for (const auto& args : bad) {
        SCOPED_TRACE(args);
        std::string out, err;
        EXPECT_EQ(Brindle(args, &out, &err), 1);
        EXPECT_NE(err, "");
    }
}

TEST_F(BrindleGlobalOptions, HelpExitsWithZero) {
    for (const char* args : {"--help", "library --help", "settings --help"}) {
        SCOPED_TRACE(args);
        std::string out, err;
        EXPECT_EQ(RunBrindle(args, &out, &err), 0);
        EXPECT_NE((out + err).find("Usage"), std::string::npos) << out << err;
    }
    std::string out;
    ASSERT_EQ(RunBrindle("--help", &out), 0);
    EXPECT_NE(out.find("library"), std::string::npos) << out;
    EXPECT_NE(out.find("settings"), std::string::npos) << out;
}

} // namespace
