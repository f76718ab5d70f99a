// Commands: the one way documents and stories change undoably. A command works on the
// objects of its item list; the host processes it (CmdUtils::ProcessCommand), which runs
// Do, then NotifyAfterDo, and records the step that undo and redo replay.
#pragma once

#include "base/PMString.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDList.h"

class ICommand : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ICOMMAND };
    enum CommandState { kNotDone = 0, kDone = 1, kFailed = 2 };

    virtual void SetItemList(const UIDList& list) = 0;
    // Never null; an empty list with no database until one is set.
    virtual const UIDList* GetItemList() const = 0;

    // The change itself. A failure is reported through ErrorUtils::PMSetGlobalErrorCode; the
    // host then puts the targets back as they were and does not notify.
    virtual void Do() = 0;
    // Announces the change, after Do succeeded.
    virtual void NotifyAfterDo() = 0;
    // Whether the other command, processed right after this one, joins this one's undo step.
    virtual bool16 CanJoin(ICommand* other) = 0;
    // The name shown for the undo step; the command's name when empty.
    virtual PMString MakeUndoName() = 0;

    virtual PMString GetName() const = 0;
    virtual void SetName(const PMString& name) = 0;
    virtual CommandState GetCommandState() const = 0;
    // The host's own use while processing.
    virtual void SetCommandState(CommandState state) = 0;
};

// An open command sequence: every command processed until it ends undoes as one step.
class ICommandSequence : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ICOMMANDSEQUENCE };
    virtual void SetName(const PMString& name) = 0;
    virtual PMString GetName() const = 0;
};
