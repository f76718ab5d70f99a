#include "BRNID.h"
#include "ui/BRNTextColorBackgroundCustomView.h"
#include "ui/BRNUtilsDialogs.h"
#include "TestSupport.h"
#include "base/HostConfig.h"
#include "ui/DialogDriver.h"
#include "ui/ScriptDialogFace.h"

namespace {

class BRNDeadlineDialogTest : public testsupport::HostFixture {
protected:
    void SetUp() override {
        HostFixture::SetUp();
        fOldAlias = HostConfig::Get().alias;
        HostConfig::Get().alias = "eva";
        fFace = std::make_shared<ScriptDialogFace>();
        DialogDriver::SetFace(fFace);
    }
    void TearDown() override {
        DialogDriver::SetFace(nullptr);
        HostConfig::Get().alias = fOldAlias;
        HostFixture::TearDown();
    }
    static BRNField Deadline(const char* planned, const char* executed, const char* by) {
        BRNField f = testsupport::Field("Copy due", "due", kBRNTypeDeadline);
        f.SetDeadline(BRNDeadline(testsupport::Untranslated(planned), testsupport::Untranslated(executed),
                                  testsupport::Untranslated(by)));
        return f;
    }
    std::shared_ptr<ScriptDialogFace> fFace;
    std::string fOldAlias;
};

TEST_F(BRNDeadlineDialogTest, WhatTheUserDoesAndWhatTheFieldThenHolds) {
    const struct {
        const char* what;
        const char* by; // executed-by before
        std::vector<DialogAnswerScript> answers;
        bool16 viewOnly;
        bool16 result;
        BRNDeadline after;
        size_t alerts;
    } cases[] = {
        {"executed date signs an empty box",
         "",
         {{"deadline", {{"executed", "2026/04/09"}}, "OK"}},
         kFalse,
         kTrue,
         {PMString("2026/04/10"), PMString("2026/04/09"), PMString("eva")},
         0},
        {"a named executor stays",
         "bo",
         {{"deadline", {{"executed", "2026/04/09"}}, "OK"}},
         kFalse,
         kTrue,
         {PMString("2026/04/10"), PMString("2026/04/09"), PMString("bo")},
         0},
        {"bad planned date keeps it open, field unchanged",
         "",
         {{"deadline", {{"planned", "2014/6/30"}}, "OK"}},
         kFalse,
         kFalse,
         {PMString("2026/04/10"), PMString(), PMString()},
         1},
        {"bad date then a good one",
         "",
         {{"deadline", {{"planned", "2026/4/1"}}, "OK"}, {"deadline", {{"planned", "2026/05/01"}}, "OK"}},
         kFalse,
         kTrue,
         {PMString("2026/05/01"), PMString(), PMString()},
         1},
        {"view-only confirms but never stores",
         "",
         {{"deadline", {{"planned", "2026/05/01"}}, "OK"}},
         kTrue,
         kTrue,
         {PMString("2026/04/10"), PMString(), PMString()},
         0},
        {"cancel",
         "",
         {{"deadline", {{"planned", "2026/05/01"}}, "Cancel"}},
         kFalse,
         kFalse,
         {PMString("2026/04/10"), PMString(), PMString()},
         0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fAlerts->Clear();
        fFace->Clear();
        for (const auto& a : c.answers)
            fFace->Queue(a);
        BRNField f = Deadline("2026/04/10", "", c.by);
        EXPECT_EQ(BRNUtils::InvokeDeadlineDialog(f, c.viewOnly), c.result);
        EXPECT_EQ(f.GetDeadline().PlannedDate, c.after.PlannedDate);
        EXPECT_EQ(f.GetDeadline().ExecutedDate, c.after.ExecutedDate);
        EXPECT_EQ(f.GetDeadline().ExecutedBy, c.after.ExecutedBy);
        ASSERT_EQ(fAlerts->Alerts().size(), c.alerts);
        if (c.alerts) {
            EXPECT_NE(fAlerts->Alerts()[0].message.find("Planned"), std::string::npos);
        }
    }
}

TEST(BRNTextColorBackgroundCustomView, FillsWithTheWidgetsColourAndGreysDisabledText) {
    WidgetModel box(0xA8298, WidgetKind::kColorView);
    box.SetText(PMString("3 days"));
    BRNTextColorBackgroundCustomView::SetColor(box, RGBColor{1.0, 0.0, 0.5});
    auto d = BRNTextColorBackgroundCustomView::Draw(box);
    EXPECT_EQ(box.GetColor(), (WidgetColor{255, 0, 128}));
    EXPECT_EQ(d.text, PMString("3 days"));
    EXPECT_EQ(d.textColor, BRNTextColorBackgroundCustomView::kEnabledTextColor);
    box.Enable(kFalse);
    EXPECT_EQ(BRNTextColorBackgroundCustomView::Draw(box).textColor,
              BRNTextColorBackgroundCustomView::kDisabledTextColor);
}

} // namespace
