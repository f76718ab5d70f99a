// The enter-password dialog: unlocks a protected library package. The dialog's string names
// the package; the controller works on its own copy of it (the library hands out only
// read-only packages), which the launcher gives back unlocked.
#pragma once

#include "model/BRNPackage.h"
#include "ui/CDialogController.h"

#include <optional>

class BRNPwdEnterDlgController : public CDialogController {
public:
    void InitializeDialog() override;
    WidgetID ValidateDialog() override;
    void ApplyDialog() override;
    const std::optional<BRNPackage>& GetPackage() const { return fPackage; }

private:
    std::optional<BRNPackage> fPackage;
};
