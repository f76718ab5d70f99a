#include "SDKFolderChooser.h"

#include "ui/HostDialogs.h"

SDKFolderChooser::SDKFolderChooser() : fTitle("Choose a Folder") { fTitle.Translate(); }

void SDKFolderChooser::ShowDialog() {
    IDFile folder;
    if (HostDialogs::ChooseFolder(fTitle, &folder)) SetChosen(folder);
}
