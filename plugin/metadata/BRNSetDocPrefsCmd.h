// Applies a document-preferences value to the workspaces of its item list.
#pragma once

#include "commands/Command.h"

class BRNSetDocPrefsCmd : public Command {
public:
    explicit BRNSetDocPrefsCmd(Boss* boss);
    ~BRNSetDocPrefsCmd() override = default;
    void Do() override;
    PMString MakeUndoName() override;
};
