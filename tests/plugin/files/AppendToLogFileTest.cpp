// The plug-in's own log file in the recovery folder.
#include "base/HostConfig.h"
#include "CVLog.h"
#include "files/BRNUtils.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <string>

namespace fs = std::filesystem;
using testsupport::ReadFile;

namespace {

const char* const kSource = "..\\..\\..\\source\\Corvane\\Brindle\\BRNUtils";

class AppendToLogFileTest : public testsupport::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        SetNow(2015, 3, 3, 9, 5, 7);
    }
    static void SetNow(int year, int month, int day, int hour, int minute, int second) {
        const uint64 ticks = testsupport::LocalTicks(year, month, day, hour, minute, second);
        GlobalTime::SetClock([ticks] { return ticks; });
    }
    fs::path LogFile() const { return RecoveryFolder() / "BRN.log"; }
    static void Append(const std::string& message, const std::string& source = kSource, int32 line = 2145) {
        BRNUtils::AppendToLogFile(PMString("BRN.log"), PMString(message), source, line);
    }
};

TEST_F(AppendToLogFileTest, WritesOneLineWithTimeAndSourcePosition) {
    ASSERT_FALSE(fs::exists(LogFile()));
    Append("hello");
    EXPECT_EQ(ReadFile(LogFile()), "03-03-2015 09:05:07 [BRNUtils:2145] hello\n");
}

TEST_F(AppendToLogFileTest, LaterCallsAppend) {
    Append("hello");
    SetNow(2015, 3, 3, 9, 5, 8);
    Append("Pakke opdateret: Ærø", kSource, 7);
    EXPECT_EQ(ReadFile(LogFile()), "03-03-2015 09:05:07 [BRNUtils:2145] hello\n"
                                   "03-03-2015 09:05:08 [BRNUtils:7] Pakke opdateret: Ærø\n");
}

TEST_F(AppendToLogFileTest, HeaderFormats) {
    const struct {
        int year, month, day, hour, minute, second;
        const char* source;
        int32 line;
        const char* header;
    } cases[] = {
        {2015, 3, 3, 9, 5, 7, kSource, 2145, "03-03-2015 09:05:07 [BRNUtils:2145] "},
        {1999, 12, 31, 23, 59, 59, "BRNUtils", 1, "31-12-1999 23:59:59 [BRNUtils:1] "},
        {2024, 1, 9, 0, 0, 0, "a\\b\\BRNPrefsPrst", 0, "09-01-2024 00:00:00 [BRNPrefsPrst:0] "},
        {2024, 10, 10, 12, 30, 1, "folder\\", 42, "10-10-2024 12:30:01 [:42] "},
        // Only backslashes separate folders in these source names.
        {2024, 6, 15, 7, 8, 9, "src/BRNUtils", 3, "15-06-2024 07:08:09 [src/BRNUtils:3] "},
        {2024, 6, 15, 7, 8, 9, "x", -1, "15-06-2024 07:08:09 [x:-1] "},
    };
    for (const auto& c : cases) {
        fs::remove(LogFile());
        SetNow(c.year, c.month, c.day, c.hour, c.minute, c.second);
        Append("m", c.source, c.line);
        EXPECT_EQ(ReadFile(LogFile()), std::string(c.header) + "m\n") << c.source;
    }
}

// One message is one line: line breaks and other control characters are escaped, so a
// name taken from a document cannot forge a line of its own.
TEST_F(AppendToLogFileTest, ControlCharactersAreEscapedSoAMessageIsOneLine) {
    struct Case {
        std::string message;
        std::string written;
    };
    const Case cases[] = {
        {"line 1\nline 2", "line 1\\nline 2"},
        {"windows\r\nbreak", "windows\\r\\nbreak"},
        {"", ""},
        {"trailing\n", "trailing\\n"},
        {"tab\tand 100% [x:1]", "tab\tand 100% [x:1]"},
        {"Pkg\n03-03-2015 09:05:07 [BRNUtils:1] forged", "Pkg\\n03-03-2015 09:05:07 [BRNUtils:1] forged"},
        {std::string("nul\0bell\a esc\x1b del\x7f", 19), "nul\\x00bell\\x07 esc\\x1B del\\x7F"},
        {"Året \xC3\xA9t\xC3\xA9", "Året \xC3\xA9t\xC3\xA9"},
    };
    std::string expected;
    for (const Case& c : cases) {
        Append(c.message);
        expected += "03-03-2015 09:05:07 [BRNUtils:2145] " + c.written + "\n";
    }
    EXPECT_EQ(ReadFile(LogFile()), expected);
}

// A symbolic link in the log's place is not written through.
TEST_F(AppendToLogFileTest, ASymbolicLinkInTheLogsPlaceIsNotFollowed) {
    const fs::path target = fHome->path() / "elsewhere.txt";
    testsupport::WriteFile(target, "keep\n");
    fs::create_directories(LogFile().parent_path());
    fs::create_symlink(target, LogFile());
    Append("not here");
    EXPECT_EQ(ReadFile(target), "keep\n");
    EXPECT_TRUE(fs::is_symlink(LogFile()));
}

// One message and the whole file are bounded: a long message is cut at a character, a
// full file is moved aside to "BRN.log.1" (replacing an older one) and a new one begun.
TEST_F(AppendToLogFileTest, MessagesAndTheFileAreBounded) {
    std::string longMessage;
    while (longMessage.size() < 3 * BRNUtils::kMaxLogMessageSize) longMessage += "\xC3\xA9";
    Append(longMessage);
    const std::string first = ReadFile(LogFile());
    EXPECT_LE(first.size(), BRNUtils::kMaxLogMessageSize + 64);
    EXPECT_NE(first.find(" [cut]\n"), std::string::npos);
    EXPECT_EQ(first.find("\xC3 [cut]"), std::string::npos) << "a character was split";

    testsupport::WriteFile(LogFile(), std::string(BRNUtils::kMaxLogFileSize, 'x'));
    testsupport::WriteFile(fs::path(LogFile().string() + ".1"), "older\n");
    Append("fresh");
    EXPECT_EQ(ReadFile(LogFile()), "03-03-2015 09:05:07 [BRNUtils:2145] fresh\n");
    EXPECT_EQ(fs::file_size(LogFile().string() + ".1"), BRNUtils::kMaxLogFileSize);
}

TEST_F(AppendToLogFileTest, MacroNamesTheCallersSource) {
    // clang-format off
    const int32 line = __LINE__; BRN_APPEND_TO_LOG_FILE(PMString("from the macro"));
    // clang-format on
    EXPECT_EQ(ReadFile(LogFile()),
              "03-03-2015 09:05:07 [AppendToLogFileTest:" + std::to_string(line) + "] from the macro\n");
}

TEST_F(AppendToLogFileTest, WritesEvenWithTheDiagnosticChannelOff) {
    CVLog::LogThreshold = 0;
    Append("still written");
    EXPECT_EQ(ReadFile(LogFile()), "03-03-2015 09:05:07 [BRNUtils:2145] still written\n");
}

TEST_F(AppendToLogFileTest, FailuresStayQuiet) {
    // The log file's place is taken by a folder.
    fs::create_directories(LogFile());
    EXPECT_NO_THROW(Append("lost"));
    EXPECT_TRUE(fs::is_directory(LogFile()));

    // The recovery folder cannot be made: the home is a plain file.
    const fs::path plain = fHome->path() / "plain-file";
    testsupport::WriteFile(plain, "x");
    HostConfig::Get().home = plain;
    EXPECT_NO_THROW(Append("lost too"));
    EXPECT_EQ(ReadFile(plain), "x");
    EXPECT_TRUE(fAlerts->Alerts().empty());
}

} // namespace
