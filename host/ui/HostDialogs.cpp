#include "ui/HostDialogs.h"

#include <deque>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {
struct State {
    DialogAnswer save;
    DialogAnswer open;
    DialogAnswer folder;
    PMString lastTitle;
    IDFile lastChosen;
    std::deque<std::optional<HostDialogs::DeadlineTexts>> deadline;
};
State& TheState() {
    static State s;
    return s;
}
} // namespace

namespace HostDialogs {

bool ChooseSaveFile(const PMString& title, const std::vector<FileFilter>& filters,
                    const PMString& proposedName, IDFile* chosen) {
    TheState().lastTitle = title;
    const DialogAnswer& a = TheState().save;
    std::filesystem::path p;
    switch (a.kind) {
    case DialogAnswer::Kind::kCancel:
        return false;
    case DialogAnswer::Kind::kPath:
        p = a.path;
        break;
    case DialogAnswer::Kind::kProposedInFolder:
        p = a.path / proposedName.GetUTF8String();
        break;
    }
    TheState().lastChosen = IDFile(p);
    if (chosen) *chosen = IDFile(p);
    return true;
}

bool ChooseOpenFile(const PMString& title, const std::vector<FileFilter>&, IDFile* chosen) {
    TheState().lastTitle = title;
    const DialogAnswer& a = TheState().open;
    if (a.kind != DialogAnswer::Kind::kPath || a.path.empty()) return false;
    TheState().lastChosen = IDFile(a.path);
    if (chosen) *chosen = IDFile(a.path);
    return true;
}

bool ChooseFolder(const PMString& title, IDFile* chosen) {
    TheState().lastTitle = title;
    const DialogAnswer& a = TheState().folder;
    if (a.kind == DialogAnswer::Kind::kCancel || a.path.empty()) return false;
    TheState().lastChosen = IDFile(a.path);
    if (chosen) *chosen = IDFile(a.path);
    return true;
}

void SetSaveFileAnswer(DialogAnswer answer) {
    TheState().save = std::move(answer);
}
void SetOpenFileAnswer(DialogAnswer answer) {
    TheState().open = std::move(answer);
}
void SetFolderAnswer(DialogAnswer answer) {
    TheState().folder = std::move(answer);
}
PMString LastTitle() {
    return TheState().lastTitle;
}
IDFile LastChosen() {
    return TheState().lastChosen;
}

bool AskDeadline(const PMString& title, DeadlineTexts* texts) {
    State& s = TheState();
    s.lastTitle = title;
    if (s.deadline.empty()) return false;
    std::optional<DeadlineTexts> answer = std::move(s.deadline.front());
    s.deadline.pop_front();
    if (!answer) return false;
    if (texts) *texts = std::move(*answer);
    return true;
}

void QueueDeadlineAnswer(std::optional<DeadlineTexts> texts) {
    TheState().deadline.push_back(std::move(texts));
}

void ClearQueuedAnswers() {
    TheState().deadline.clear();
}

} // namespace HostDialogs

// The message dialog keeps its own state: its answer is a setting, not a queue.
namespace {
struct MessageState {
    HostDialogs::MessageAnswer answer = HostDialogs::MessageAnswer::kAsk;
    PMString lastMessage;
    int32 count = 0;
};
MessageState& TheMessageState() {
    static MessageState s;
    return s;
}

bool AskOnTerminal() {
    if (!::isatty(STDIN_FILENO)) {
        std::cerr << "  (dismissed: no terminal to ask)" << std::endl;
        return false;
    }
    for (;;) {
        std::cerr << "  [1] OK (default)  [2] Cancel  ? " << std::flush;
        std::string line;
        if (!std::getline(std::cin, line)) return false;
        if (line.empty() || line == "1" || line == "OK" || line == "ok" || line == "o" || line == "O")
            return true;
        if (line == "2" || line == "Cancel" || line == "cancel" || line == "c" || line == "C") return false;
    }
}
} // namespace

namespace HostDialogs {

void SetMessageAnswer(MessageAnswer answer) {
    TheMessageState().answer = answer;
}
MessageAnswer GetMessageAnswer() {
    return TheMessageState().answer;
}

bool ShowMessageDialog(const PMString& title, const PMString& message,
                       const std::function<std::optional<bool>()>& ask) {
    MessageState& s = TheMessageState();
    TheState().lastTitle = title;
    s.lastMessage = message;
    ++s.count;
    PMString shownTitle(title), shownMessage(message);
    shownTitle.Translate();
    shownMessage.Translate();
    std::cerr << "dialog: " << shownTitle.GetUTF8String() << "\n"
              << shownMessage.GetUTF8String() << std::endl;
    switch (s.answer) {
    case MessageAnswer::kOK:
        return true;
    case MessageAnswer::kDismiss:
        return false;
    case MessageAnswer::kAsk:
        break;
    }
    if (ask)
        if (std::optional<bool> answer = ask()) return *answer;
    return AskOnTerminal();
}

PMString LastMessage() {
    return TheMessageState().lastMessage;
}
int32 MessageDialogCount() {
    return TheMessageState().count;
}

} // namespace HostDialogs
