// Asks the user for one folder through the host's folder dialog.
#pragma once

#include "SDKFileHelper.h"

class SDKFolderChooser : public SDKFileHelper {
public:
    SDKFolderChooser();
    void ShowDialog();
    const PMString& GetTitle() const { return fTitle; }

private:
    PMString fTitle;
};
