#include "BrowserFace.h"

#include "WidgetJSON.h"

#include <iostream>

BrowserFace::BrowserFace(Publish publish, std::chrono::milliseconds timeout)
    : fPublish(std::move(publish)), fTimeout(timeout) {}

void BrowserFace::Announce() {
    if (fPublish) fPublish();
}

void BrowserFace::DialogOpened(DialogModel&) {
    std::lock_guard<std::mutex> lock(fMutex);
    fSteps.clear();
    fDialogAlerts.clear();
    fInDialog = true;
}

void BrowserFace::DialogClosed(DialogModel&, bool) {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fSteps.clear();
        fDialog = nullptr;
        fDialogWaiting = false;
        fInDialog = false;
    }
    Announce();
}

std::optional<DialogStep> BrowserFace::NextStep(DialogModel& dialog, bool refused) {
    std::unique_lock<std::mutex> lock(fMutex);
    // A refused attempt drops what was left of it: the page is asked again.
    if (refused) fSteps.clear();
    if (!fSteps.empty()) {
        DialogStep s = fSteps.front();
        fSteps.pop_front();
        return s;
    }
    if (fShutdown) return std::nullopt;
    fDialog = WidgetJSON::Dialog(dialog);
    fDialog["serial"] = ++fSerial;
    fDialog["refused"] = refused;
    fDialog["alerts"] = fDialogAlerts;
    fDialogWaiting = true;
    fDialogAnswer.reset();
    const uint64_t serial = fSerial;
    lock.unlock();
    Announce();
    lock.lock();
    const bool answered =
        fAnswered.wait_for(lock, fTimeout, [&] { return fShutdown || fDialogAnswer.has_value(); });
    fDialogWaiting = false;
    if (!answered || fShutdown || fSerial != serial || !fDialogAnswer || fDialogAnswer->empty()) {
        fDialogAnswer.reset();
        return std::nullopt;
    }
    fDialogAlerts.clear();
    fSteps.assign(fDialogAnswer->begin(), fDialogAnswer->end());
    fDialogAnswer.reset();
    DialogStep s = fSteps.front();
    fSteps.pop_front();
    return s;
}

int16 BrowserFace::Answer(const AlertRequest& request) {
    // As everywhere: the alert is on standard error too, so the server's log tells what users saw.
    std::cerr << "alert: " << request.message << std::endl;
    std::unique_lock<std::mutex> lock(fMutex);
    if (request.buttons.size() < 2) {
        if (fInDialog)
            fDialogAlerts.push_back(request.message);
        else
            fAlerts.push_back(request.message);
        return 1;
    }
    if (fShutdown) return request.defaultButton;
    fQuestion = {{"serial", ++fSerial},
                 {"message", request.message},
                 {"buttons", request.buttons},
                 {"default", request.defaultButton}};
    fQuestionAnswer.reset();
    const uint64_t serial = fSerial;
    lock.unlock();
    Announce();
    lock.lock();
    fAnswered.wait_for(lock, fTimeout, [&] { return fShutdown || fQuestionAnswer.has_value(); });
    int16 button = request.defaultButton;
    if (fQuestionAnswer && fSerial == serial && *fQuestionAnswer >= 1 &&
        *fQuestionAnswer <= static_cast<int16>(request.buttons.size()))
        button = *fQuestionAnswer;
    fQuestion = nullptr;
    fQuestionAnswer.reset();
    lock.unlock();
    Announce();
    return button;
}

std::vector<std::string> BrowserFace::TakeAlerts() {
    std::lock_guard<std::mutex> lock(fMutex);
    std::vector<std::string> out;
    out.swap(fAlerts);
    return out;
}

nlohmann::json BrowserFace::Pending() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return {{"dialog", fDialogWaiting ? fDialog : nlohmann::json()}, {"question", fQuestion}};
}

bool BrowserFace::Busy() const {
    std::lock_guard<std::mutex> lock(fMutex);
    return fInDialog || !fQuestion.is_null();
}

BrowserFace::Reply BrowserFace::AnswerDialog(uint64_t serial, std::vector<DialogStep> steps) {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        if (!fDialogWaiting) return Reply::kNothingOpen;
        if (serial != fSerial || fDialogAnswer) return Reply::kStale;
        fDialogAnswer = std::move(steps);
    }
    fAnswered.notify_all();
    return Reply::kTaken;
}

BrowserFace::Reply BrowserFace::AnswerQuestion(uint64_t serial, int16 button) {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        if (fQuestion.is_null()) return Reply::kNothingOpen;
        if (serial != fSerial || fQuestionAnswer) return Reply::kStale;
        fQuestionAnswer = button;
    }
    fAnswered.notify_all();
    return Reply::kTaken;
}

void BrowserFace::Shutdown() {
    {
        std::lock_guard<std::mutex> lock(fMutex);
        fShutdown = true;
    }
    fAnswered.notify_all();
}
