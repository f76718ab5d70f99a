// The message dialog with OK and Cancel: fixed answers, and a dismissal when there is no
// terminal to ask.
#include "base/LocaleStrings.h"
#include "ui/HostDialogs.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Standard input taken from /dev/null for the test, as in a script.
class MessageDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        fSavedStdin = ::dup(STDIN_FILENO);
        int null = ::open("/dev/null", O_RDONLY);
        ASSERT_GE(null, 0);
        ::dup2(null, STDIN_FILENO);
        ::close(null);
        LocaleStrings::Register("brnTest.DialogMessage", "Fields are missing:");
    }
    void TearDown() override {
        ::dup2(fSavedStdin, STDIN_FILENO);
        ::close(fSavedStdin);
        HostDialogs::SetMessageAnswer(HostDialogs::MessageAnswer::kAsk);
    }
    int fSavedStdin = -1;
};

TEST_F(MessageDialogTest, AnswersAndWhatWasShown) {
    struct Case {
        HostDialogs::MessageAnswer answer;
        bool confirmed;
    };
    for (const Case& c :
         {Case{HostDialogs::MessageAnswer::kOK, true}, Case{HostDialogs::MessageAnswer::kDismiss, false},
          Case{HostDialogs::MessageAnswer::kAsk, false}}) {
        HostDialogs::SetMessageAnswer(c.answer);
        EXPECT_EQ(HostDialogs::GetMessageAnswer(), c.answer);
        const int32 before = HostDialogs::MessageDialogCount();
        testing::internal::CaptureStderr();
        EXPECT_EQ(
            HostDialogs::ShowMessageDialog(PMString("Required fields"), PMString("brnTest.DialogMessage")),
            c.confirmed);
        const std::string shown = testing::internal::GetCapturedStderr();
        EXPECT_EQ(shown.rfind("dialog: Required fields\nFields are missing:\n", 0), 0u) << shown;
        EXPECT_EQ(HostDialogs::MessageDialogCount(), before + 1);
        EXPECT_EQ(HostDialogs::LastMessage(), PMString("brnTest.DialogMessage"));
        EXPECT_EQ(HostDialogs::LastTitle(), PMString("Required fields"));
    }
}

} // namespace
