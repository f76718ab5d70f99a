// The host's file and folder dialogs. Without a desktop they are answered by the
// host: with a path given on the command line (or by a test), or by cancelling.
#pragma once

#include "base/PMString.h"
#include "io/IDFile.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

struct DialogAnswer {
    enum class Kind {
        kCancel,          // the user cancels
        kPath,            // the user chooses this path
        kProposedInFolder // the user accepts the proposed file name in this folder
    };
    Kind kind = Kind::kCancel;
    std::filesystem::path path;
};

namespace HostDialogs {
struct FileFilter {
    PMString description; // "XML file"
    PMString extension;   // "xml"
};

// The save-file dialog: true and the file when the user confirmed.
bool ChooseSaveFile(const PMString& title, const std::vector<FileFilter>& filters,
                    const PMString& proposedName, IDFile* chosen);
// The open-file dialog: true and the file when the user confirmed one.
bool ChooseOpenFile(const PMString& title, const std::vector<FileFilter>& filters, IDFile* chosen);
// The folder dialog: true and the folder when the user confirmed exactly one folder.
bool ChooseFolder(const PMString& title, IDFile* chosen);

// How the next dialogs are answered (the default is to cancel).
void SetSaveFileAnswer(DialogAnswer answer);
void SetOpenFileAnswer(DialogAnswer answer);
void SetFolderAnswer(DialogAnswer answer);
// The title of the last dialog shown, and the last file or folder the user chose.
PMString LastTitle();
IDFile LastChosen();

// --- Dialogs of the plug-in's own, answered by the host -----------------------------------
// Each takes the next answer queued for it (in order), or is cancelled when none is left. A
// dialog whose check refuses an answer asks again, so it takes the next one.

// The three texts of the deadline dialog.
struct DeadlineTexts {
    PMString planned;
    PMString executed;
    PMString executedBy;
};
// Shows the texts; true and the texts as the user left them when confirmed.
bool AskDeadline(const PMString& title, DeadlineTexts* texts);
void QueueDeadlineAnswer(std::optional<DeadlineTexts> texts);
// Drops the answers still queued for the plug-in's dialogs.
void ClearQueuedAnswers();

// A message with the buttons OK and Cancel (the required-fields dialog). How it is
// answered: kAsk shows the message on standard error and asks on the terminal when
// standard input is one, else it is dismissed; kOK and kDismiss answer at once (a test or
// a command line's fixed answer).
enum class MessageAnswer { kAsk, kOK, kDismiss };
void SetMessageAnswer(MessageAnswer answer);
MessageAnswer GetMessageAnswer();
// True when the user confirmed with OK. With kAsk, ask (when given) puts the question to the
// person through a dialog of the caller's; it answers nothing when it cannot ask, and the
// terminal is asked as without it.
bool ShowMessageDialog(const PMString& title, const PMString& message,
                       const std::function<std::optional<bool>()>& ask = {});
// The message of the last message dialog shown, and how many were shown since the start.
PMString LastMessage();
int32 MessageDialogCount();
} // namespace HostDialogs
