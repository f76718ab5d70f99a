// Base of commands: keeps the item list, name and state; does nothing, joins nothing.
// A plug-in command derives from it and overrides Do (and what else it needs):
//
//   class MyCmd : public Command { public: explicit MyCmd(Boss* b) : Command(b) {} void Do() override; };
//   ObjectModel::RegisterImplementation(kMyCmdImpl, MakeFactory<MyCmd>());
//   ObjectModel::RegisterClass(kMyCmdBoss, {{IID_ICOMMAND, kMyCmdImpl}, {IID_IMYCMDDATA, kMyCmdDataImpl}});
//   InterfacePtr<ICommand> cmd(CmdUtils::CreateCommand(kMyCmdBoss));
#pragma once

#include "commands/ICommand.h"
#include "objectmodel/CPMUnknown.h"

class Command : public CPMUnknown<ICommand> {
public:
    explicit Command(Boss* boss) : CPMUnknown<ICommand>(boss) {}

    void SetItemList(const UIDList& list) override { fItemList = list; }
    const UIDList* GetItemList() const override { return &fItemList; }
    void Do() override {}
    void NotifyAfterDo() override {}
    bool16 CanJoin(ICommand* other) override { return kFalse; }
    PMString MakeUndoName() override { return fName; }
    PMString GetName() const override { return fName; }
    void SetName(const PMString& name) override { fName = name; }
    CommandState GetCommandState() const override { return fState; }
    void SetCommandState(CommandState state) override { fState = state; }

private:
    UIDList fItemList;
    PMString fName;
    CommandState fState = kNotDone;
};
