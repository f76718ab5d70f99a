#include "HostDialogs.h"

namespace {
struct State {
    DialogAnswer save;
    DialogAnswer folder;
    PMString lastTitle;
    IDFile lastChosen;
};
State& TheState() {
    static State s;
    return s;
}
} // namespace

namespace HostDialogs {

bool ChooseSaveFile(const PMString& title, const std::vector<FileFilter>& filters, const PMString& proposedName,
                    IDFile* chosen) {
    TheState().lastTitle = title;
    const DialogAnswer& a = TheState().save;
    std::filesystem::path p;
    switch (a.kind) {
    case DialogAnswer::Kind::kCancel: return false;
    case DialogAnswer::Kind::kPath: p = a.path; break;
    case DialogAnswer::Kind::kProposedInFolder: p = a.path / proposedName.GetUTF8String(); break;
    }
    TheState().lastChosen = IDFile(p);
    if (chosen) *chosen = IDFile(p);
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

void SetSaveFileAnswer(DialogAnswer answer) { TheState().save = std::move(answer); }
void SetFolderAnswer(DialogAnswer answer) { TheState().folder = std::move(answer); }
PMString LastTitle() { return TheState().lastTitle; }
IDFile LastChosen() { return TheState().lastChosen; }

} // namespace HostDialogs
