#include "ui/CAlert.h"

#include <cstdio>
#include <iostream>
#include <unistd.h>

namespace {
std::shared_ptr<AlertSink>& TheSink() {
    static std::shared_ptr<AlertSink> sink;
    return sink;
}

std::string Shown(PMString s) {
    s.Translate();
    return s.GetUTF8String();
}
} // namespace

int16 TerminalAlertSink::Answer(const AlertRequest& request) {
    std::cerr << "alert: " << request.message << std::endl;
    if (request.buttons.size() < 2) return 1;
    auto find = [&](const char* label) -> int16 {
        for (size_t i = 0; i < request.buttons.size(); ++i)
            if (request.buttons[i] == label) return static_cast<int16>(i + 1);
        return 0;
    };
    if (fFixed != Fixed::kNone) {
        int16 b = find(fFixed == Fixed::kYes ? "Yes" : "No");
        return b ? b : request.defaultButton;
    }
    if (!::isatty(STDIN_FILENO)) return request.defaultButton;
    for (;;) {
        std::cerr << "  ";
        for (size_t i = 0; i < request.buttons.size(); ++i)
            std::cerr << "[" << i + 1 << "] " << request.buttons[i] << (i + 1 == static_cast<size_t>(request.defaultButton) ? " (default)  " : "  ");
        std::cerr << "? " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return request.defaultButton;
        if (line.empty()) return request.defaultButton;
        for (size_t i = 0; i < request.buttons.size(); ++i) {
            const std::string& b = request.buttons[i];
            if (line == std::to_string(i + 1) || (!b.empty() && (line == b || std::tolower(line[0]) == std::tolower(b[0]))))
                return static_cast<int16>(i + 1);
        }
    }
}

int16 RecordingAlertSink::Answer(const AlertRequest& request) {
    fAlerts.push_back(request);
    if (!fAnswers.empty()) {
        int16 b = fAnswers.front();
        fAnswers.pop_front();
        return b;
    }
    return request.defaultButton;
}

PMString CAlert::OkButtonString() { return PMString("OK"); }
PMString CAlert::YesButtonString() { return PMString("Yes"); }
PMString CAlert::NoButtonString() { return PMString("No"); }

int16 CAlert::ModalAlert(const PMString& message, const PMString& button1, const PMString& button2,
                         const PMString& button3, int16 defaultButton, int16 icon) {
    AlertRequest r;
    r.message = Shown(message);
    for (const PMString* b : {&button1, &button2, &button3})
        if (!b->IsEmpty()) r.buttons.push_back(Shown(*b));
    if (r.buttons.empty()) r.buttons.push_back("OK");
    r.defaultButton = (defaultButton >= 1 && defaultButton <= static_cast<int16>(r.buttons.size())) ? defaultButton : 1;
    r.icon = icon;
    AlertSink* sink = TheSink().get();
    int16 answer = sink ? sink->Answer(r) : r.defaultButton;
    if (answer < 1 || answer > static_cast<int16>(r.buttons.size())) answer = r.defaultButton;
    return answer;
}

void CAlert::ErrorAlert(const PMString& message) { ModalAlert(message, OkButtonString(), {}, {}, 1, kErrorIcon); }
void CAlert::InformationAlert(const PMString& message) {
    ModalAlert(message, OkButtonString(), {}, {}, 1, kNoteIcon);
}
void CAlert::WarningAlert(const PMString& message) {
    ModalAlert(message, OkButtonString(), {}, {}, 1, kWarningIcon);
}

void CAlert::SetSink(std::shared_ptr<AlertSink> sink) { TheSink() = std::move(sink); }
AlertSink* CAlert::GetSink() { return TheSink().get(); }
