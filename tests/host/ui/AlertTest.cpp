#include "base/LocaleStrings.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class AlertTest : public ::testing::Test {
protected:
    void SetUp() override {
        fSink = std::make_shared<RecordingAlertSink>();
        CAlert::SetSink(fSink);
        LocaleStrings::Register("brnTest.AlertMessage", "The package could not be saved.");
        LocaleStrings::Register("brnTest.ButtonKeep", "Keep");
    }
    void TearDown() override { CAlert::SetSink(nullptr); }
    std::shared_ptr<RecordingAlertSink> fSink;
};

TEST_F(AlertTest, ModalAlertIsRecordedAsShown) {
    EXPECT_EQ(CAlert::GetSink(), fSink.get());
    int16 answer = CAlert::ModalAlert(PMString("Save changes?"), CAlert::YesButtonString(),
                                      CAlert::NoButtonString(), PMString("Cancel"), 2, CAlert::kWarningIcon);
    EXPECT_EQ(answer, 2) << "no queued answer: the default button";
    ASSERT_EQ(fSink->Alerts().size(), 1u);
    const AlertRequest& r = fSink->Alerts()[0];
    EXPECT_EQ(r.message, "Save changes?");
    EXPECT_EQ(r.buttons, (std::vector<std::string>{"Yes", "No", "Cancel"}));
    EXPECT_EQ(r.defaultButton, 2);
    EXPECT_EQ(r.icon, CAlert::kWarningIcon);
}

TEST_F(AlertTest, QueuedAnswersThenDefault) {
    fSink->QueueAnswer(3);
    fSink->QueueAnswer(1);
    auto ask = [] {
        return CAlert::ModalAlert(PMString("Q"), PMString("A"), PMString("B"), PMString("C"), 2);
    };
    EXPECT_EQ(ask(), 3);
    EXPECT_EQ(ask(), 1);
    EXPECT_EQ(ask(), 2);
    EXPECT_EQ(fSink->Alerts().size(), 3u);
    fSink->Clear();
    EXPECT_TRUE(fSink->Alerts().empty());
}

TEST_F(AlertTest, ButtonsAndDefaultAreKeptInRange) {
    struct Case {
        const char* name;
        std::vector<PMString> buttons; // up to three, empty ones skipped
        int16 defaultButton;
        int16 queued; // 0: none
        std::vector<std::string> shown;
        int16 shownDefault;
        int16 answer;
    };
    const std::vector<Case> cases = {
        {"default past the buttons", {PMString("A"), PMString("B")}, 5, 0, {"A", "B"}, 1, 1},
        {"default zero", {PMString("A"), PMString("B")}, 0, 0, {"A", "B"}, 1, 1},
        {"answer past the buttons", {PMString("A"), PMString("B")}, 2, 7, {"A", "B"}, 2, 2},
        {"negative answer", {PMString("A"), PMString("B")}, 1, -1, {"A", "B"}, 1, 1},
        {"no buttons", {PMString(), PMString()}, 1, 0, {"OK"}, 1, 1},
        {"gap in buttons", {PMString("A"), PMString(), PMString("C")}, 2, 2, {"A", "C"}, 2, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fSink->Clear();
        if (c.queued) fSink->QueueAnswer(c.queued);
        PMString b[3];
        for (size_t i = 0; i < c.buttons.size(); ++i)
            b[i] = c.buttons[i];
        EXPECT_EQ(CAlert::ModalAlert(PMString("m"), b[0], b[1], b[2], c.defaultButton), c.answer);
        ASSERT_EQ(fSink->Alerts().size(), 1u);
        EXPECT_EQ(fSink->Alerts()[0].buttons, c.shown);
        EXPECT_EQ(fSink->Alerts()[0].defaultButton, c.shownDefault);
    }
}

TEST_F(AlertTest, MessageAndButtonsAreTranslated) {
    PMString keep("brnTest.ButtonKeep");
    CAlert::ModalAlert(PMString("brnTest.AlertMessage"), keep, CAlert::NoButtonString());
    PMString fixed("brnTest.AlertMessage");
    fixed.SetTranslatable(kFalse);
    CAlert::ModalAlert(fixed, CAlert::OkButtonString());
    ASSERT_EQ(fSink->Alerts().size(), 2u);
    EXPECT_EQ(fSink->Alerts()[0].message, "The package could not be saved.");
    EXPECT_EQ(fSink->Alerts()[0].buttons, (std::vector<std::string>{"Keep", "No"}));
    EXPECT_EQ(fSink->Alerts()[1].message, "brnTest.AlertMessage") << "not translatable: shown as it is";
    // The caller's string is not changed by showing it.
    EXPECT_EQ(keep, PMString("brnTest.ButtonKeep"));
    EXPECT_EQ(keep.GetTranslatable(), kTrue);
}

TEST_F(AlertTest, OneButtonAlertsCarryTheirIcon) {
    CAlert::ErrorAlert(PMString("e"));
    CAlert::InformationAlert(PMString("i"));
    CAlert::WarningAlert(PMString("w"));
    const std::vector<std::pair<std::string, int16>> expected = {
        {"e", CAlert::kErrorIcon}, {"i", CAlert::kNoteIcon}, {"w", CAlert::kWarningIcon}};
    ASSERT_EQ(fSink->Alerts().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(fSink->Alerts()[i].message, expected[i].first);
        EXPECT_EQ(fSink->Alerts()[i].icon, expected[i].second);
        EXPECT_EQ(fSink->Alerts()[i].buttons, std::vector<std::string>{"OK"});
    }
}

TEST_F(AlertTest, WithoutSinkTheDefaultIsTaken) {
    CAlert::SetSink(nullptr);
    EXPECT_EQ(CAlert::GetSink(), nullptr);
    EXPECT_EQ(CAlert::ModalAlert(PMString("q"), PMString("A"), PMString("B"), PMString(), 2), 2);
    EXPECT_TRUE(fSink->Alerts().empty());
}

TEST_F(AlertTest, TerminalSinkWithFixedAnswer) {
    struct Case {
        TerminalAlertSink::Fixed fixed;
        std::vector<std::string> buttons;
        int16 defaultButton;
        int16 expected;
    };
    const std::vector<Case> cases = {
        {TerminalAlertSink::Fixed::kYes, {"No", "Yes"}, 1, 2},
        {TerminalAlertSink::Fixed::kNo, {"Yes", "No"}, 1, 2},
        {TerminalAlertSink::Fixed::kYes, {"Keep", "Discard"}, 2, 2},
        {TerminalAlertSink::Fixed::kNo, {"OK"}, 1, 1},
        {TerminalAlertSink::Fixed::kNone, {"OK"}, 1, 1},
    };
    for (const auto& c : cases) {
        TerminalAlertSink sink(c.fixed);
        AlertRequest r;
        r.message = "question";
        r.buttons = c.buttons;
        r.defaultButton = c.defaultButton;
        EXPECT_EQ(sink.Answer(r), c.expected);
    }
}

class DialogsTest : public ::testing::Test {
protected:
    void TearDown() override {
        HostDialogs::SetSaveFileAnswer({});
        HostDialogs::SetFolderAnswer({});
    }
};

TEST_F(DialogsTest, SaveFileAnswers) {
    const std::vector<HostDialogs::FileFilter> filters = {{PMString("XML file"), PMString("xml")}};
    struct Case {
        const char* name;
        DialogAnswer answer;
        bool chosen;
        fs::path file;
    };
    const std::vector<Case> cases = {
        {"cancel", {DialogAnswer::Kind::kCancel, "/ignored"}, false, {}},
        {"path", {DialogAnswer::Kind::kPath, "/tmp/out/chosen.xml"}, true, "/tmp/out/chosen.xml"},
        {"proposed in folder",
         {DialogAnswer::Kind::kProposedInFolder, "/tmp/out"},
         true,
         "/tmp/out/Pakke \xC3\xA6.xml"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostDialogs::SetSaveFileAnswer(c.answer);
        IDFile chosen(fs::path("/untouched"));
        const bool ok = HostDialogs::ChooseSaveFile(PMString("Export Package"), filters,
                                                    PMString("Pakke \xC3\xA6.xml"), &chosen);
        EXPECT_EQ(ok, c.chosen);
        EXPECT_EQ(HostDialogs::LastTitle(), PMString("Export Package"));
        if (c.chosen) {
            EXPECT_EQ(chosen.Path(), c.file);
            EXPECT_EQ(HostDialogs::LastChosen().Path(), c.file);
        } else {
            EXPECT_EQ(chosen.Path(), fs::path("/untouched"));
        }
    }
}

TEST_F(DialogsTest, DefaultAnswerIsCancel) {
    IDFile f;
    EXPECT_FALSE(HostDialogs::ChooseSaveFile(PMString("t"), {}, PMString("p.xml"), &f));
    EXPECT_FALSE(HostDialogs::ChooseFolder(PMString("t2"), &f));
    EXPECT_EQ(HostDialogs::LastTitle(), PMString("t2"));
    EXPECT_TRUE(f.IsEmpty());
}

TEST_F(DialogsTest, FolderAnswers) {
    struct Case {
        const char* name;
        DialogAnswer answer;
        bool chosen;
    };
    const std::vector<Case> cases = {
        {"cancel", {DialogAnswer::Kind::kCancel, "/tmp/x"}, false},
        {"path", {DialogAnswer::Kind::kPath, "/tmp/library"}, true},
        {"empty path", {DialogAnswer::Kind::kPath, ""}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HostDialogs::SetFolderAnswer(c.answer);
        IDFile chosen;
        EXPECT_EQ(HostDialogs::ChooseFolder(PMString("Choose a Folder"), &chosen), c.chosen);
        EXPECT_EQ(HostDialogs::LastTitle(), PMString("Choose a Folder"));
        if (c.chosen) {
            EXPECT_EQ(chosen.Path(), c.answer.path);
            EXPECT_EQ(HostDialogs::LastChosen().Path(), c.answer.path);
        } else {
            EXPECT_TRUE(chosen.IsEmpty());
        }
    }
}

} // namespace
