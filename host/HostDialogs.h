// The host's file and folder dialogs. Without a desktop they are answered by the
// host: with a path given on the command line (or by a test), or by cancelling.
#pragma once

#include "IDFile.h"
#include "PMString.h"

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
bool ChooseSaveFile(const PMString& title, const std::vector<FileFilter>& filters, const PMString& proposedName,
                    IDFile* chosen);
// The folder dialog: true and the folder when the user confirmed exactly one folder.
bool ChooseFolder(const PMString& title, IDFile* chosen);

// How the next dialogs are answered (the default is to cancel).
void SetSaveFileAnswer(DialogAnswer answer);
void SetFolderAnswer(DialogAnswer answer);
// The title of the last dialog shown, and the last file or folder the user chose.
PMString LastTitle();
IDFile LastChosen();
} // namespace HostDialogs
