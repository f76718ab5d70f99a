// Deadlines: hours left, the colour a table gives, the tooltip and the date check.
#include "files/BRNUtils.h"
#include "model/BRNDeadline.h"
#include "TestSupport.h"

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include <vector>

namespace {

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

constexpr uint64 kHour = 3600 * GlobalTime::kTicksPerSecond;

const RGBColor kRed{1.0, 0.2, 0.2};
const RGBColor kYellow{1.0, 0.85, 0.1};
const RGBColor kGreen{0.3, 0.8, 0.3};
const RGBColor kBlue{0.2, 0.4, 1.0};
const RGBColor kPurple{0.5, 0.0, 0.5};
const RGBColor kGrey{0.6, 0.7, 0.8};

BRNDeadlineColor Entry(int planned, int executed, int32 hours, RGBColor c) {
    BRNDeadlineColor e;
    e.wantsPlanned = static_cast<bool16>(planned);
    e.wantsExecuted = static_cast<bool16>(executed);
    e.hours = hours;
    e.red = c.red;
    e.green = c.green;
    e.blue = c.blue;
    return e;
}

std::string Describe(const RGBColor& c) {
    return std::to_string(c.red) + "," + std::to_string(c.green) + "," + std::to_string(c.blue);
}

class DeadlineTest : public ::testing::Test {
protected:
    void TearDown() override { GlobalTime::SetClock({}); }
    // Now is the given number of hours before 00:00 of 2014/06/30.
    static void HoursBeforeJune30(int64 hours) {
        const uint64 ticks =
            testsupport::LocalTicks(2014, 6, 30, 0, 0, 0) - static_cast<uint64>(hours * int64(kHour));
        GlobalTime::SetClock([ticks] { return ticks; });
    }
    static BRNDeadline Planned(const char* planned, const char* executed = "") {
        return BRNDeadline(PMString(planned), PMString(executed), PMString());
    }
};

TEST_F(DeadlineTest, HoursLeft) {
    const struct {
        const char* planned;
        const char* executed;
        int32 hours;
    } cases[] = {
        {"2014/06/30", "", 6},   // 2014/06/29 18:00 now
        {"2014/06/29", "", -18}, // overdue, truncated toward zero
        {"2014/07/01", "", 30},
        {"2014/07/10", "2014/07/07", 72}, // executed: days between times 24
        {"2014/07/07", "2014/07/10", -72},
        {"2014/06/30", "2014/06/30", 0},
        {"2014/06/30", "yesterday", 6}, // an executed text that is no date counts as not executed
        {"2014/06/30", "now", 6},
        {"2014-06-30", "", 0}, // a planned text that is no date: 0
        {"2014/06", "", 0},
        {"", "", 0},
        {"2014/06/30/01", "", 0},
    };
    GlobalTime::SetClock([] { return testsupport::LocalTicks(2014, 6, 29, 18, 0, 0); });
    for (const auto& c : cases)
        EXPECT_EQ(Planned(c.planned, c.executed).GetHoursLeft(), c.hours) << c.planned << " / " << c.executed;

    // Whole hours, truncated: 5 h 59 min 59 s before the deadline.
    GlobalTime::SetClock([] { return testsupport::LocalTicks(2014, 6, 29, 18, 0, 1); });
    EXPECT_EQ(Planned("2014/06/30").GetHoursLeft(), 5);
}

// Far dates give their hours without overflow, clamped to 32 bits.
TEST_F(DeadlineTest, HoursLeftOfFarDates) {
    using namespace std::chrono;
    auto daysBetween = [](year_month_day from, year_month_day to) {
        return static_cast<int64>((sys_days{to} - sys_days{from}).count());
    };
    const struct {
        const char* planned;
        const char* executed;
        int64 hours;
    } cases[] = {
        {"30000/06/29", "2014/06/29", daysBetween(year{2014} / 6 / 29, year{30000} / 6 / 29) * 24},
        {"2014/06/29", "30000/06/29", -daysBetween(year{2014} / 6 / 29, year{30000} / 6 / 29) * 24},
        {"32767/12/31", "-32767/01/01", daysBetween(year{-32767} / 1 / 1, year{32767} / 12 / 31) * 24},
        {"2147483647/12/31", "1/1/1", std::numeric_limits<int32>::max()},
        {"1/1/1", "2147483647/12/31", std::numeric_limits<int32>::min()},
        {"999999/01/01", "", std::numeric_limits<int32>::max()},
        {"2014/06/31", "2014/07/01", 0}, // a day beyond the month carries over
        {"2014/13/01", "2015/01/01", 0},
    };
    GlobalTime::SetClock([] { return testsupport::LocalTicks(2014, 6, 29, 18, 0, 0); });
    for (const auto& c : cases)
        EXPECT_EQ(Planned(c.planned, c.executed).GetHoursLeft(), c.hours) << c.planned << " / " << c.executed;
}

// Across a change of daylight-saving time a calendar day still counts 24 hours, so a table's
// thresholds mean days whatever the season.
TEST_F(DeadlineTest, HoursLeftAcrossDaylightSavingChanges) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    setenv("TZ", "Europe/Copenhagen", 1);
    tzset();
    const struct {
        const char* planned;
        const char* executed;
        int nowDay, nowHour; // 2014/03 or 2014/10 by the planned date
        int32 hours;
    } cases[] = {
        // Spring: 2014/03/30 has 23 hours on the clock.
        {"2014/03/31", "2014/03/30", 0, 0, 24},
        {"2014/04/01", "2014/03/29", 0, 0, 72},
        {"2014/03/31", "", 29, 12, 36},
        {"2014/03/31", "", 30, 12, 12},
        // Autumn: 2014/10/26 has 25.
        {"2014/10/27", "2014/10/26", 0, 0, 24},
        {"2014/10/28", "2014/10/25", 0, 0, 72},
        {"2014/10/27", "", 25, 12, 36},
        {"2014/10/27", "", 26, 12, 12},
    };
    for (const auto& c : cases) {
        const int month = std::string(c.planned).substr(5, 2) == "03" ? 3 : 10;
        const uint64 now = testsupport::LocalTicks(2014, month, c.nowDay ? c.nowDay : 1, c.nowHour, 0, 0);
        GlobalTime::SetClock([now] { return now; });
        BRNDeadline d = Planned(c.planned, c.executed);
        d.Colors = {Entry(1, 1, 24, kRed), Entry(1, 1, 48, kGreen), Entry(1, 0, 24, kRed), Entry(1, 0, 48, kGreen)};
        EXPECT_EQ(d.GetHoursLeft(), c.hours) << c.planned << " / " << c.executed << " / " << c.nowDay;
        // One calendar day ahead is within a 24-hour threshold in both seasons.
        if (c.hours == 24) {
            EXPECT_EQ(d.GetDeadlineColor(), kRed) << c.planned;
        }
    }
    if (old)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

TEST_F(DeadlineTest, ThresholdTableChoosesSmallestThresholdAtOrAboveHoursLeft) {
    BRNDeadline d = Planned("2014/06/30");
    d.Colors = {Entry(1, 0, 24, kRed), Entry(1, 0, 72, kYellow), Entry(1, 0, 9999, kGreen)};
    const struct {
        int64 hoursLeft;
        RGBColor colour;
    } cases[] = {
        {10, kRed},
        {24, kRed},
        {25, kYellow},
        {72, kYellow},
        {73, kGreen},
        {100, kGreen},
        {9999, kGreen},
        {-5, kRed}, // overdue
        {10000, UIColors::GetDefaultBoxColor()},
    };
    for (const auto& c : cases) {
        HoursBeforeJune30(c.hoursLeft);
        ASSERT_EQ(d.GetHoursLeft(), c.hoursLeft);
        EXPECT_EQ(d.GetDeadlineColor(), c.colour)
            << c.hoursLeft << " hours: " << Describe(d.GetDeadlineColor());
    }

    // The order of the entries does not matter.
    d.Colors = {Entry(1, 0, 9999, kGreen), Entry(1, 0, 72, kYellow), Entry(1, 0, 24, kRed)};
    HoursBeforeJune30(25);
    EXPECT_EQ(d.GetDeadlineColor(), kYellow);
}

TEST_F(DeadlineTest, ThresholdEdges) {
    const RGBColor fallback = UIColors::GetDefaultBoxColor();
    const struct {
        const char* what;
        std::vector<BRNDeadlineColor> table;
        int64 hoursLeft;
        RGBColor colour;
    } cases[] = {
        {"-9999 is no threshold", {Entry(1, 0, -9999, kRed)}, -20000, fallback},
        {"-9999 is no threshold", {Entry(1, 0, -9999, kRed)}, 0, fallback},
        {"equal thresholds: the first", {Entry(1, 0, 24, kRed), Entry(1, 0, 24, kBlue)}, 10, kRed},
        {"99999 above never applies", {Entry(1, 0, 99999, kRed)}, 0, fallback},
        {"99998 above applies", {Entry(1, 0, 99999, kRed)}, 1, kRed},
        {"planned set: entries for empty skipped", {Entry(0, 0, 9999, kGrey)}, 10, fallback},
        {"not executed: entries for executed skipped", {Entry(1, 1, 9999, kBlue)}, 10, fallback},
        {"no red: the default colour", {BRNDeadlineColor{1, 0, 24, -1.0, 0.5, 0.5}}, 10, fallback},
        // The default colour of an entry still wins over a worse threshold.
        {"no red wins its threshold",
         {BRNDeadlineColor{1, 0, 24, -1.0, 0.5, 0.5}, Entry(1, 0, 72, kYellow)},
         10,
         fallback},
        {"red 0 is a colour", {Entry(1, 0, 24, {0.0, 0.5, 0.5})}, 10, {0.0, 0.5, 0.5}},
        {"empty table", {}, 10, fallback},
    };
    for (const auto& c : cases) {
        BRNDeadline d = Planned("2014/06/30");
        d.Colors = c.table;
        HoursBeforeJune30(c.hoursLeft);
        EXPECT_EQ(d.GetDeadlineColor(), c.colour) << c.what << ": " << Describe(d.GetDeadlineColor());
    }
}

TEST_F(DeadlineTest, WithoutPlannedDateLastMatchingEntryWins) {
    const RGBColor fallback = UIColors::GetDefaultBoxColor();
    HoursBeforeJune30(10);
    const struct {
        const char* what;
        const char* executed;
        std::vector<BRNDeadlineColor> table;
        RGBColor colour;
    } cases[] = {
        {"no threshold used", "", {Entry(0, 0, -9999, kGrey)}, kGrey},
        {"hours ignored", "", {Entry(0, 0, 1, kGrey)}, kGrey},
        {"last wins",
         "",
         {Entry(0, 0, -9999, kGrey), Entry(0, 0, 24, kPurple), Entry(1, 0, 24, kRed)},
         kPurple},
        {"last wins even without red",
         "",
         {Entry(0, 0, -9999, kGrey), BRNDeadlineColor{0, 0, -9999, -1, 1, 1}},
         fallback},
        {"executed set", "2014/06/20", {Entry(0, 0, -9999, kGrey), Entry(0, 1, -9999, kBlue)}, kBlue},
        // Emptiness alone decides the flags.
        {"executed no date", "done", {Entry(0, 0, -9999, kGrey), Entry(0, 1, -9999, kBlue)}, kBlue},
        {"nothing matches", "", {Entry(1, 0, 24, kRed), Entry(0, 1, 24, kBlue)}, fallback},
    };
    for (const auto& c : cases) {
        BRNDeadline d = Planned("", c.executed);
        d.Colors = c.table;
        EXPECT_EQ(d.GetDeadlineColor(), c.colour) << c.what << ": " << Describe(d.GetDeadlineColor());
    }
}

TEST_F(DeadlineTest, BothDatesSetUseExecutedEntriesAndDaysBetween) {
    // The clock plays no part once the work is done.
    HoursBeforeJune30(-100000);
    const std::vector<BRNDeadlineColor> table = {Entry(1, 0, 9999, kGreen), Entry(1, 1, 48, kBlue),
                                                 Entry(1, 1, 100, kPurple), Entry(0, 1, 9999, kGrey)};
    const struct {
        const char* planned;
        const char* executed;
        RGBColor colour;
    } cases[] = {
        {"2014/07/10", "2014/07/07", kPurple}, // 72 hours early
        {"2014/07/10", "2014/07/09", kBlue},   // 24 hours early
        {"2014/07/10", "2014/07/10", kBlue},
        {"2014/07/10", "2014/07/20", kBlue}, // late
        {"2014/07/10", "2014/07/01",
         UIColors::GetDefaultBoxColor()}, // 216 hours early: above every threshold
    };
    for (const auto& c : cases) {
        BRNDeadline d = Planned(c.planned, c.executed);
        d.Colors = table;
        EXPECT_EQ(d.GetDeadlineColor(), c.colour)
            << c.planned << " / " << c.executed << ": " << Describe(d.GetDeadlineColor());
    }
}

TEST_F(DeadlineTest, MalformedDates) {
    const std::vector<BRNDeadlineColor> table = {Entry(1, 0, 24, kRed), Entry(1, 0, 9999, kGreen),
                                                 Entry(1, 1, 9999, kBlue)};
    HoursBeforeJune30(500);
    // A planned text that is no date is set, with 0 hours left.
    BRNDeadline d = Planned("30.06.2014");
    d.Colors = table;
    EXPECT_EQ(d.GetDeadlineColor(), kRed);
    // An executed text that is no date: hours from now, but only entries for executed apply.
    d = Planned("2014/06/30", "soon");
    d.Colors = table;
    EXPECT_EQ(d.GetHoursLeft(), 500);
    EXPECT_EQ(d.GetDeadlineColor(), kBlue);
}

TEST_F(DeadlineTest, TooltipText) {
    EXPECT_EQ(U8(BRNDeadline(PMString("2014/06/30"), PMString("2014/07/01"), PMString("Åse")).GetTooltip()),
              "Planned for: 2014/06/30\nExecuted on: 2014/07/01\nExecuted by: Åse\n");
    EXPECT_EQ(U8(BRNDeadline().GetTooltip()), "Planned for: \nExecuted on: \nExecuted by: \n");
    // Shown as it is, never looked up as a key.
    EXPECT_FALSE(BRNDeadline().GetTooltip().GetTranslatable());
}

class DeadlineDatesTest : public testsupport::HostFixture {};

TEST_F(DeadlineDatesTest, CheckDeadlineDatesNamesFirstBadDate) {
    PMString key("0xA8260kBRNErrorInDateStringKey");
    key.Translate();
    const std::string text = U8(key);
    const size_t hash = text.find('#');
    ASSERT_NE(hash, std::string::npos);
    auto alertFor = [&](const std::string& name) { return std::string(text).replace(hash, 1, name); };

    const struct {
        const char* planned;
        const char* executed;
        const char* named; // null: accepted
    } cases[] = {
        {"2014/06/30", "", nullptr},
        {"2014/06/30", "2014/07/01", nullptr},
        {"", "", nullptr},
        {"now", "NOW", nullptr},
        {"ACTIVATION", "2014/13/45", nullptr},
        {"2014-06-30", "", "Planned"},
        {"2014/6/30", "2014/07/01", "Planned"},
        {"", "01.07.2014", "Executed"},
        {"2014/06/30", "2014/07/", "Executed"},
        {"bad", "bad", "Planned"},
    };
    for (const auto& c : cases) {
        fAlerts->Clear();
        const bool16 ok = BRNUtils::CheckDeadlineDates(PMString(c.planned), PMString(c.executed));
        EXPECT_EQ(ok != 0, c.named == nullptr) << c.planned << " / " << c.executed;
        if (!c.named) {
            EXPECT_TRUE(fAlerts->Alerts().empty()) << c.planned << " / " << c.executed;
            continue;
        }
        ASSERT_EQ(fAlerts->Alerts().size(), 1u) << c.planned << " / " << c.executed;
        EXPECT_EQ(fAlerts->Alerts()[0].message, alertFor(c.named));
        EXPECT_EQ(fAlerts->Alerts()[0].buttons, std::vector<std::string>{U8(CAlert::OkButtonString())});
    }
}

} // namespace
