// The package dialog: the name of a new package, or of a copy. The name comes back in the
// dialog's string; it stays empty unless the name is new to the library.
#pragma once

#include "ui/CDialogController.h"

class BRNPackageDlgController : public CDialogController {
public:
    void InitializeDialog() override;
    WidgetID ValidateDialog() override;
    void ApplyDialog() override;
};
