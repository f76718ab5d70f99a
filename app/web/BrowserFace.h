// The browser face of the dialog driver and of the alerts: a dialog that opens on the session
// is sent to every page, and the page's answer (the values typed, then the button pressed)
// comes back through a request; a Yes/No question goes the same way. An OK alert is shown to
// the page whose request raised it.
//
// The session thread runs the dialogs and waits in NextStep and Answer; the server's threads
// deliver answers. Nothing waits for ever: a dialog nobody answers is cancelled and a question
// gets its default after the timeout, and Shutdown releases whatever waits at once.
#pragma once

#include "ui/CAlert.h"
#include "ui/IDialogFace.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

class BrowserFace : public IDialogFace, public AlertSink {
public:
    // Told (on the session thread, without the face's lock) when a dialog or question opens,
    // changes or closes.
    using Publish = std::function<void()>;
    explicit BrowserFace(Publish publish, std::chrono::milliseconds timeout = std::chrono::minutes(10));

    // --- the session thread
    std::optional<DialogStep> NextStep(DialogModel& dialog, bool refused) override;
    void DialogOpened(DialogModel& dialog) override;
    void DialogClosed(DialogModel& dialog, bool confirmed) override;
    int16 Answer(const AlertRequest& request) override;
    // The OK alerts shown since the last call, oldest first.
    std::vector<std::string> TakeAlerts();

    // --- any thread
    // {"dialog": {...} or null, "question": {...} or null}; each carries the serial an answer names.
    nlohmann::json Pending() const;
    // A dialog or question is waiting for a page.
    bool Busy() const;
    enum class Reply { kTaken, kNothingOpen, kStale };
    // The steps of one attempt, ending with the button; no steps cancels the dialog.
    Reply AnswerDialog(uint64_t serial, std::vector<DialogStep> steps);
    // button: 1-based.
    Reply AnswerQuestion(uint64_t serial, int16 button);
    // Cancels what waits and everything that would wait from now on.
    void Shutdown();

private:
    void Announce();

    Publish fPublish;
    std::chrono::milliseconds fTimeout;
    mutable std::mutex fMutex;
    std::condition_variable fAnswered;
    bool fShutdown = false;
    uint64_t fSerial = 0;

    // The open dialog as the pages see it, and the steps of the attempt being applied.
    nlohmann::json fDialog;
    bool fDialogWaiting = false;
    std::optional<std::vector<DialogStep>> fDialogAnswer;
    std::deque<DialogStep> fSteps;
    std::vector<std::string> fDialogAlerts;
    bool fInDialog = false;

    nlohmann::json fQuestion;
    std::optional<int16> fQuestionAnswer;

    std::vector<std::string> fAlerts;
};
