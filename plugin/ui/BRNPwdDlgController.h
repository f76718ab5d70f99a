// The set-password dialog: a password typed twice; the new password comes back in the
// dialog's string.
#pragma once

#include "ui/CDialogController.h"

class BRNPwdDlgController : public CDialogController {
public:
    void InitializeDialog() override;
    WidgetID ValidateDialog() override;
    void ApplyDialog() override;

    const PMString& GetPackageName() const { return fPackageName; }

private:
    PMString fPackageName;
};
