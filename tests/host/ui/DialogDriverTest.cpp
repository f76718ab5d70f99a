#include "ui/DialogDriver.h"
#include "ui/CDialogController.h"
#include "ui/CDialogObserver.h"
#include "ui/ScriptDialogFace.h"
#include "ui/TerminalDialogFace.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

enum : WidgetID { kName = 100, kChoice = 101, kFlag = 102, kAdd = 103 };

// A name that must not be empty; the controller applies it into the string data.
class NameController : public CDialogController {
public:
    int validations = 0;
    void InitializeDialog() override { SetTextControlData(kName, PMString("start")); }
    WidgetID ValidateDialog() override {
        ++validations;
        return GetTextControlData(kName).IsEmpty() ? WidgetID(kName) : WidgetID(0);
    }
    void ApplyDialog() override { GetDialog()->SetStringData(GetTextControlData(kName)); }
};

class CountingObserver : public CDialogObserver {
public:
    int changes = 0, adds = 0, attached = 0;
    bool refuseOK = false;
    void AutoAttach() override {
        ++attached;
        AttachWidget(kName);
        AttachWidget(kAdd);
        AttachWidget(kOKButtonWidgetID);
    }
    void AutoDetach() override {
        --attached;
        DetachWidget(kName);
        DetachWidget(kAdd);
        DetachWidget(kOKButtonWidgetID);
    }
    void Update(WidgetModel& w, Change change) override {
        if (w.GetID() == kName && change == kValueChanged) ++changes;
        if (w.GetID() == kAdd) ++adds;
        if (w.GetID() == kOKButtonWidgetID && refuseOK) {
            refuseOK = false;
            GetDialog()->KeepOpen();
        }
    }
};

struct Fixture {
    DialogModel dialog{"sample", PMString("Sample")};
    NameController* controller;
    CountingObserver* observer;
    Fixture() {
        WidgetModel* name = dialog.Root().AddChild(kName, WidgetKind::kEditBox, PMString("Name"));
        name->SetName("name");
        WidgetModel* choice = dialog.Root().AddChild(kChoice, WidgetKind::kDropDown, PMString("Choice"));
        choice->SetName("choice");
        choice->SetStringList({PMString("a"), PMString("b")});
        dialog.Root().AddChild(kFlag, WidgetKind::kCheckBox, PMString("Flag"))->SetName("flag");
        dialog.Root().AddChild(kAdd, WidgetKind::kButton, PMString("Add"))->SetName("add");
        auto c = std::make_unique<NameController>();
        controller = c.get();
        dialog.SetController(std::move(c));
        auto o = std::make_unique<CountingObserver>();
        observer = o.get();
        dialog.SetObserver(std::move(o));
    }
};

class DialogDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        face = std::make_shared<ScriptDialogFace>();
        DialogDriver::SetFace(face);
    }
    void TearDown() override { DialogDriver::SetFace(nullptr); }
    std::shared_ptr<ScriptDialogFace> face;
};

TEST_F(DialogDriverTest, ScriptedAnswerIsAppliedCheckedAndDetachedAfter) {
    Fixture f;
    face->Queue({"sample", {{"name", "Nyheder"}, {"choice", "b"}, {"flag", "true"}}, "OK"});
    EXPECT_EQ(DialogDriver::RunModal(f.dialog), DialogDriver::Result::kOK);
    EXPECT_EQ(f.dialog.GetStringData(), PMString("Nyheder"));
    EXPECT_EQ(f.dialog.FindWidget(kChoice)->GetSelectedIndex(), 1);
    EXPECT_TRUE(f.dialog.FindWidget(kFlag)->IsChecked());
    // The controller's own fill on open is not heard: the observer attaches after it.
    EXPECT_EQ(f.observer->changes, 1);
    EXPECT_EQ(f.observer->attached, 0);
    EXPECT_EQ(face->Opened(), std::vector<std::string>{"sample"});
}

TEST_F(DialogDriverTest, RefusedCheckTakesTheNextAnswerAndFocusesTheFailingWidget) {
    Fixture f;
    face->Queue({"sample", {{"name", ""}}, "OK"});
    face->Queue({"sample", {{"name", "ok"}}, "OK"});
    EXPECT_EQ(DialogDriver::RunModal(f.dialog), DialogDriver::Result::kOK);
    EXPECT_EQ(f.controller->validations, 2);
    EXPECT_EQ(f.dialog.GetFocus(), static_cast<WidgetID>(kName));
    EXPECT_EQ(f.dialog.GetStringData(), PMString("ok"));
}

TEST_F(DialogDriverTest, CancelsWhenAnswersRunOutOrBelongToAnotherDialog) {
    struct Case {
        std::vector<DialogAnswerScript> answers;
        size_t left;
    } cases[] = {
        {{}, 0},
        {{{"sample", {{"name", ""}}, "OK"}}, 0},
        {{{"other", {{"name", "x"}}, "OK"}}, 1},
        {{{"sample", {{"name", "x"}}, "Cancel"}}, 0},
        {{{"sample", {{"nosuch", "x"}}, "OK"}}, 0},
        {{{"sample", {{"choice", "c"}}, "OK"}}, 0},
        {{{"sample", {{"flag", "maybe"}}, "OK"}}, 0},
    };
    for (const Case& c : cases) {
        Fixture f;
        face->Clear();
        for (const auto& a : c.answers)
            face->Queue(a);
        EXPECT_EQ(DialogDriver::RunModal(f.dialog), DialogDriver::Result::kCancel);
        EXPECT_TRUE(f.dialog.GetStringData().IsEmpty());
        EXPECT_EQ(face->Pending(), c.left);
    }
}

TEST_F(DialogDriverTest, ObserverMayRefuseOKAndDisabledWidgetsCannotBeUsed) {
    Fixture f;
    f.observer->refuseOK = true;
    f.dialog.FindWidget(kAdd)->Enable(kFalse);
    face->Queue({"sample", {{"name", "first"}}, "OK"});
    face->Queue({"sample", {}, "add"});
    EXPECT_EQ(DialogDriver::RunModal(f.dialog), DialogDriver::Result::kCancel);
    EXPECT_EQ(f.controller->validations, 0);
    EXPECT_EQ(f.observer->adds, 0);
    EXPECT_NE(DialogDriver::LastError().find("not enabled"), std::string::npos);
}

TEST_F(DialogDriverTest, ButtonAnswersPressButtonsWithoutClosing) {
    Fixture f;
    face->Queue({"sample", {}, "add"});
    face->Queue({"sample", {}, "0x67"}); // the add button by its ID
    face->Queue({"sample", {}, "OK"});
    EXPECT_EQ(DialogDriver::RunModal(f.dialog), DialogDriver::Result::kOK);
    EXPECT_EQ(f.observer->adds, 2);
    EXPECT_EQ(f.dialog.GetStringData(), PMString("start"));
}

TEST(ScriptDialogFaceParse, ReadsTheShellsAnswerLine) {
    DialogAnswerScript a;
    std::string error;
    ASSERT_TRUE(
        ScriptDialogFace::Parse({"password", "password=a=b", "confirm=", "--button", "Cancel"}, &a, &error));
    EXPECT_EQ(a.dialog, "password");
    ASSERT_EQ(a.values.size(), 2u);
    EXPECT_EQ(a.values[0].second, "a=b");
    EXPECT_EQ(a.values[1].second, "");
    EXPECT_EQ(a.button, "Cancel");
    EXPECT_FALSE(ScriptDialogFace::Parse({"password", "novalue"}, &a, &error));
    EXPECT_FALSE(ScriptDialogFace::Parse({"password", "--button"}, &a, &error));
    EXPECT_FALSE(ScriptDialogFace::Parse({}, &a, &error));
}

TEST(TerminalDialogFace, AsksEachFieldKeepsEmptyAnswersAndAsksAgainAfterRefusal) {
    Fixture f;
    std::istringstream in("\n\n\n!add\nfirst\nb\ntrue\n");
    std::ostringstream out;
    DialogDriver::SetFace(std::make_shared<TerminalDialogFace>(in, out));
    // The first attempt keeps "start"; the controller refuses nothing, so it closes at once.
    EXPECT_EQ(DialogDriver::RunModal(f.dialog), DialogDriver::Result::kOK);
    EXPECT_EQ(f.dialog.GetStringData(), PMString("start"));
    EXPECT_NE(out.str().find("Name [start]: "), std::string::npos);
    EXPECT_NE(out.str().find("choices: [a] [b]"), std::string::npos);

    Fixture g;
    EXPECT_EQ(DialogDriver::RunModal(g.dialog), DialogDriver::Result::kOK);
    EXPECT_EQ(g.observer->adds, 1);
    EXPECT_EQ(g.dialog.GetStringData(), PMString("first"));
    EXPECT_EQ(g.dialog.FindWidget(kChoice)->GetText(), PMString("b"));

    Fixture h; // end of input cancels
    EXPECT_EQ(DialogDriver::RunModal(h.dialog), DialogDriver::Result::kCancel);
    DialogDriver::SetFace(nullptr);
}

TEST(WidgetModel, FindsByNameOrIDAndNotifiesOnlyOnChange) {
    WidgetModel root(0, WidgetKind::kGroup);
    WidgetModel* box = root.AddChild(0xA8268, WidgetKind::kEditBox);
    box->SetName("name");
    EXPECT_EQ(root.FindWidget(std::string("name")), box);
    EXPECT_EQ(root.FindWidget(std::string("0xA8268")), box);
    EXPECT_EQ(root.FindWidget(std::string("688744")), box);
    EXPECT_EQ(root.FindWidget(std::string("0xZZ")), nullptr);
    struct Count : IWidgetObserver {
        int n = 0;
        void WidgetChanged(WidgetModel&, Change) override { ++n; }
    } count;
    box->AttachObserver(&count);
    box->AttachObserver(&count);
    box->SetText(PMString("a"));
    box->SetText(PMString("a"));
    box->SetText(PMString("b"), false);
    EXPECT_EQ(count.n, 1);
    box->DetachObserver(&count);
    box->SetText(PMString("c"));
    EXPECT_EQ(count.n, 1);
}

} // namespace
