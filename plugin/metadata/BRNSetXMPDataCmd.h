// The one undoable way the plug-in changes the metadata of documents and stories.
#pragma once

#include "base/WideString.h"
#include "commands/Command.h"

class BRNSetXMPDataCmd : public Command {
public:
    explicit BRNSetXMPDataCmd(Boss* boss);
    bool16 CanJoin(ICommand* other) override;
    void Do() override;
    void NotifyAfterDo() override;
    PMString MakeUndoName() override;

private:
    WideString fNamespace;
};
