#include "base/HostConfig.h"
#include "CVLog.h"
#include "logic/BRNPackageUtils.h"
#include "session/Host.h"
#include "TestSupport.h"

#include <gtest/gtest.h>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::ReadFile;
using testsupport::TempDir;
using testsupport::WriteFile;

namespace {

// The lines of the host logger's file, without their line breaks.
std::vector<std::string> Lines(const fs::path& file) {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(file));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::string Line(int32 level, int line, const std::string& message) {
    return std::to_string(level) + " " + CVLog::kProductID + " 7.1.5 " + CVLog::SourceName(__FILE__) + ":" +
           std::to_string(line) + " " + message;
}

// The exit line of a trace may name the line of the return or of the trace; only its text counts.
std::vector<std::string> WithoutExitLine(std::vector<std::string> lines) {
    for (auto& l : lines) {
        const size_t exit = l.find(" Exit: ");
        if (exit == std::string::npos) continue;
        const size_t colon = l.rfind(':', exit);
        if (colon != std::string::npos) l.replace(colon + 1, exit - colon - 1, "N");
    }
    return lines;
}

// Where the traced function below wrote from.
struct Positions {
    int trace = 0, level10 = 0, level30 = 0, failed = 0, level100 = 0;
};

// A traced function writing at the levels the plug-in uses.
Positions TracedWork() {
    Positions p;
    p.trace = __LINE__ + 1;
    CV_TRACE("BRNTest::Work");
    p.level10 = __LINE__ + 1;
    CV_LOG(10, "Could not open file!");
    p.level30 = __LINE__ + 1;
    CV_LOG(30, std::string("step ") + "failed");
    p.failed = __LINE__ + 1;
    CV_LOG_FAILED();
    p.level100 = __LINE__ + 1;
    CV_LOG(100, "Importing mac file");
    return p;
}

// A traced function with a normal return, a failure return and a throw.
struct ReturnLines {
    int trace = 0, normal = 0;
};
int TracedOutcome(const std::string& outcome, ReturnLines* lines) {
    lines->trace = __LINE__ + 1;
    CV_TRACE("BRNTest::Outcome");
    if (outcome == "throw") throw std::runtime_error("thrown");
    if (outcome == "failed") {
        CV_TRACE_FAILED();
        return -1;
    }
    lines->normal = __LINE__ + 1;
    CV_RETURN(1);
}

class CVLogTest : public ::testing::Test {
protected:
    void SetUp() override {
        HostConfig::Get().logFile = fTmp / "outside.log";
        ASSERT_TRUE(Host::Start(nullptr));
    }
    void TearDown() override {
        CVLog::LogThreshold = 0;
        Host::SetOutsideComponentsInstalled(true);
        Host::Stop();
        HostConfig::Get() = HostConfig{};
    }
    fs::path LogFile() const { return fTmp / "outside.log"; }
    TempDir fTmp;
};

TEST_F(CVLogTest, ThresholdBands) {
    struct Case {
        uint16 threshold;
        std::vector<std::pair<int32, std::string>> lines; // level, which line
    };
    const std::vector<Case> cases = {
        {0, {}},
        {5, {}},
        {9, {}},
        {10, {{10, "10"}}},
        {30, {{10, "10"}, {30, "30"}, {30, "failed"}}},
        {74, {{10, "10"}, {30, "30"}, {30, "failed"}}},
        {75, {{75, "enter"}, {10, "10"}, {30, "30"}, {30, "failed"}, {75, "exit"}}},
        {100, {{75, "enter"}, {10, "10"}, {30, "30"}, {30, "failed"}, {100, "100"}, {75, "exit"}}},
        {999, {{75, "enter"}, {10, "10"}, {30, "30"}, {30, "failed"}, {100, "100"}, {75, "exit"}}},
        {1000, {}},
        {1009, {}},
        {1010, {{1010, "10"}}},
        {1030, {{1010, "10"}, {1030, "30"}, {1030, "failed"}}},
        {1075, {{1075, "enter"}, {1010, "10"}, {1030, "30"}, {1030, "failed"}, {1075, "exit"}}},
        {1100,
         {{1075, "enter"}, {1010, "10"}, {1030, "30"}, {1030, "failed"}, {1100, "100"}, {1075, "exit"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("threshold " + std::to_string(c.threshold));
        fs::remove(LogFile());
        CVLog::LogThreshold = c.threshold;
        const Positions p = TracedWork();
        CVLog::LogThreshold = 0;
        std::vector<std::string> expected;
        for (const auto& [level, which] : c.lines) {
            if (which == "enter") expected.push_back(Line(level, p.trace, "Enter: BRNTest::Work"));
            if (which == "exit") expected.push_back(Line(level, p.trace, "Exit: BRNTest::Work"));
            if (which == "10") expected.push_back(Line(level, p.level10, "Could not open file!"));
            if (which == "30") expected.push_back(Line(level, p.level30, "step failed"));
            if (which == "failed") expected.push_back(Line(level, p.failed, ""));
            if (which == "100") expected.push_back(Line(level, p.level100, "Importing mac file"));
        }
        EXPECT_EQ(WithoutExitLine(Lines(LogFile())), WithoutExitLine(expected));
    }
}

TEST_F(CVLogTest, WantsFollowsTheBands) {
    struct Case {
        uint16 threshold;
        int32 level;
        bool wanted;
    };
    const std::vector<Case> cases = {
        {0, 10, false},   {5, 10, false},    {10, 10, true},   {30, 30, true},     {30, 75, false},
        {75, 75, true},   {75, 100, false},  {100, 100, true}, {1009, 10, false},  {1010, 10, true},
        {1030, 30, true}, {1030, 75, false}, {1075, 75, true}, {1075, 100, false}, {1100, 100, true},
    };
    for (const auto& c : cases) {
        CVLog::LogThreshold = c.threshold;
        EXPECT_EQ(CVLog::Wants(c.level), c.wanted) << "threshold " << c.threshold << ", level " << c.level;
    }
}

TEST_F(CVLogTest, MessageIsNotBuiltWhenNotWritten) {
    int built = 0;
    auto message = [&] {
        ++built;
        return std::string("costly");
    };
    CVLog::LogThreshold = 0;
    CV_LOG(30, message());
    EXPECT_EQ(built, 0);
    CVLog::LogThreshold = 20;
    CV_LOG(30, message());
    EXPECT_EQ(built, 0);
    CVLog::LogThreshold = 30;
    const int line = __LINE__ + 1;
    CV_LOG(30, message());
    EXPECT_EQ(built, 1);
    EXPECT_EQ(Lines(LogFile()), std::vector<std::string>{Line(30, line, "costly")});
}

TEST_F(CVLogTest, NothingWithoutOutsideComponents) {
    Host::SetOutsideComponentsInstalled(false);
    EXPECT_EQ(CVLog::GetLogger(), nullptr);
    CVLog::LogThreshold = 1100;
    TracedWork();
    CVLog::LogThreshold = 100;
    TracedWork();
    EXPECT_FALSE(fs::exists(LogFile()));
}

TEST_F(CVLogTest, NothingWithoutASession) {
    Host::Stop();
    EXPECT_EQ(CVLog::GetLogger(), nullptr);
    CVLog::LogThreshold = 100;
    TracedWork();
    EXPECT_FALSE(fs::exists(LogFile()));
}

TEST_F(CVLogTest, LoggerComesFromTheSession) {
    ICVLogger* logger = CVLog::GetLogger();
    ASSERT_NE(logger, nullptr);
    HostConfig::Get().logLevel = 42;
    EXPECT_EQ(logger->GetLogLevel(CVLog::kProductID), 42);
    logger->Release();
}

TEST_F(CVLogTest, InitThresholdTakesTheLoggersLevel) {
    struct Case {
        int32 configured;
        uint16 threshold;
    };
    const std::vector<Case> cases = {{0, 0}, {75, 75}, {1030, 1030}, {-5, 0}, {70000, 0xFFFF}};
    for (const auto& c : cases) {
        HostConfig::Get().logLevel = c.configured;
        CVLog::LogThreshold = 12;
        CVLog::InitThreshold();
        EXPECT_EQ(CVLog::LogThreshold, c.threshold) << "configured " << c.configured;
    }
    Host::SetOutsideComponentsInstalled(false);
    HostConfig::Get().logLevel = 75;
    CVLog::InitThreshold();
    EXPECT_EQ(CVLog::LogThreshold, 0) << "no logger: nothing wanted";
}

TEST(CVLogSourceNameTest, MakersRelativePath) {
    struct Case {
        const char* file;
        const char* expected;
    };
    const std::vector<Case> cases = {
        {"/x/plugin/BRNUtils.cpp", "..\\..\\..\\source\\Corvane\\Brindle\\BRNUtils"},
        {"/work/main/plugin/BRNActionComponent.cpp",
         "..\\..\\..\\source\\Corvane\\Brindle\\BRNActionComponent"},
        {"/work/main/MyUtils/CVExpatSimpleDOM.cpp", "..\\..\\..\\source\\Corvane\\MyUtils\\CVExpatSimpleDOM"},
        {"C:\\src\\plugin\\BRNUtils.cpp", "..\\..\\..\\source\\Corvane\\Brindle\\BRNUtils"},
        {"/x/plugin/BRNPrefs.h", "..\\..\\..\\source\\Corvane\\Brindle\\BRNPrefs"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CVLog::SourceName(c.file), c.expected) << c.file;
}

TEST(CVLogConstantsTest, VersionAndProduct) {
    EXPECT_STREQ(CVLog::kVersion, "7.1.5");
    ASSERT_NE(CVLog::kProductID, nullptr);
    EXPECT_GT(std::string(CVLog::kProductID).size(), 0u);
}


// The Exit line carries the line of the normal return, and only a normal return writes one.
TEST_F(CVLogTest, ExitLineOnlyOnNormalReturnWithItsLine) {
    const struct {
        const char* outcome;
        bool exitLine;
    } cases[] = {{"normal", true}, {"failed", false}, {"throw", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.outcome);
        fs::remove(LogFile());
        CVLog::LogThreshold = 75;
        ReturnLines lines;
        try {
            TracedOutcome(c.outcome, &lines);
        } catch (const std::runtime_error&) {
        }
        CVLog::LogThreshold = 0;
        std::vector<std::string> expected = {Line(75, lines.trace, "Enter: BRNTest::Outcome")};
        if (c.exitLine) expected.push_back(Line(75, lines.normal, "Exit: BRNTest::Outcome"));
        EXPECT_EQ(Lines(LogFile()), expected);
    }
}

// A function of the plug-in, as the log shows it: "Enter:" with the line of its trace, and on a
// normal return "Exit:" with the line of that return; a failure return writes no Exit line.
TEST_F(CVLogTest, APlugInFunctionLogsTheLineItReturnsFrom) {
    // Where the function traces and returns, as its source says.
    const fs::path source = fs::path(BRINDLE_SOURCE_DIR) / "plugin/logic/BRNPackageUtils.cpp";
    std::ifstream in(source);
    int traceLine = 0, returnLine = 0;
    std::string text;
    for (int n = 1; std::getline(in, text); ++n) {
        if (text.find("CV_TRACE(\"BRNPackageUtils::ReadImportFile\")") != std::string::npos) traceLine = n;
        if (traceLine && !returnLine && text.find("CV_RETURN(0);") != std::string::npos) returnLine = n;
    }
    ASSERT_GT(traceLine, 0);
    ASSERT_GT(returnLine, traceLine);
    const std::string where = " " + std::string(CVLog::kProductID) + " 7.1.5 " + CVLog::SourceName(source.c_str()) + ":";
    const std::string enter = "75" + where + std::to_string(traceLine) + " Enter: BRNPackageUtils::ReadImportFile";
    const std::string exit = "75" + where + std::to_string(returnLine) + " Exit: BRNPackageUtils::ReadImportFile";

    fs::copy_file(testsupport::SamplesLibrary() / "Editorial_ID.xml", fTmp / "good.xml");
    WriteFile(fTmp / "bad.xml", "not XML");
    const struct {
        const char* file;
        bool read;
    } cases[] = {{"good.xml", true}, {"bad.xml", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        fs::remove(LogFile());
        CVLog::LogThreshold = 75;
        BRNPackageList packages;
        EXPECT_EQ(BRNPackageUtils::ReadImportFile(IDFile(fTmp / c.file), packages), c.read ? 0 : 1);
        CVLog::LogThreshold = 0;
        // Only this function's own lines: the functions it calls trace too.
        std::vector<std::string> own;
        for (const std::string& l : Lines(LogFile()))
            if (l.find(": BRNPackageUtils::ReadImportFile") != std::string::npos) own.push_back(l);
        std::vector<std::string> expected = {enter};
        if (c.read) expected.push_back(exit);
        EXPECT_EQ(own, expected);
    }
}

} // namespace
