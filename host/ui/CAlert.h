// Modal alerts. The host answers them through an alert sink: a terminal, a script of
// answers, or a recorder in tests.
#pragma once

#include "base/PMString.h"

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct AlertRequest {
    std::string message; // translated text as shown
    std::vector<std::string> buttons;
    int16 defaultButton = 1; // 1-based
    int16 icon = 0;
};

class AlertSink {
public:
    virtual ~AlertSink() = default;
    // The 1-based number of the button chosen.
    virtual int16 Answer(const AlertRequest& request) = 0;
};

// Prints "alert: <text>" to standard error. A question is answered by the fixed
// answer when there is one, else asked on the terminal when standard input is one,
// else given its default button.
class TerminalAlertSink : public AlertSink {
public:
    enum class Fixed { kNone, kYes, kNo };
    explicit TerminalAlertSink(Fixed fixed = Fixed::kNone) : fFixed(fixed) {}
    int16 Answer(const AlertRequest& request) override;

private:
    Fixed fFixed;
};

// Records every alert; answers from a queue of button numbers, then with the default.
class RecordingAlertSink : public AlertSink {
public:
    int16 Answer(const AlertRequest& request) override;
    void QueueAnswer(int16 button) { fAnswers.push_back(button); }
    const std::vector<AlertRequest>& Alerts() const { return fAlerts; }
    void Clear() { fAlerts.clear(); }

private:
    std::deque<int16> fAnswers;
    std::vector<AlertRequest> fAlerts;
};

class CAlert {
public:
    enum { kNoIcon = 0, kErrorIcon = 1, kWarningIcon = 2, kNoteIcon = 3 };
    static PMString OkButtonString();
    static PMString YesButtonString();
    static PMString NoButtonString();

    // Shows the message (translated when translatable) with up to three buttons; returns
    // the 1-based number of the button chosen.
    static int16 ModalAlert(const PMString& message, const PMString& button1, const PMString& button2 = PMString(),
                            const PMString& button3 = PMString(), int16 defaultButton = 1, int16 icon = kNoIcon);
    static void ErrorAlert(const PMString& message);
    static void InformationAlert(const PMString& message);
    static void WarningAlert(const PMString& message);

    // The sink in use; the host installs one at start. Without one, alerts take their default.
    static void SetSink(std::shared_ptr<AlertSink> sink);
    static AlertSink* GetSink();
};
