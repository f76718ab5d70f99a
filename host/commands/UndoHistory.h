// The undo and redo stacks of one document. Each step keeps, for every object whose packet
// a command touched, the packet as it was before the first command of the step and as it
// was after the last one, plus the changes those commands announced, so that undo and redo
// can tell the same observers again.
#pragma once

#include "base/PMString.h"
#include "commands/ICommand.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/UIDRef.h"

#include <algorithm>
#include <string>
#include <vector>

struct UndoTarget {
    UID uid = kInvalidUID;
    std::string before;
    std::string after;
};

struct UndoChange {
    UID subject = kInvalidUID;
    ClassID change = kInvalidClass;
    PMIID protocol = kInvalidInterfaceID;
    bool operator==(const UndoChange&) const = default;
};

struct UndoStep {
    PMString name;
    // The group (command sequence, transaction or one outermost command) the step belongs to.
    uint64 group = 0;
    std::vector<UndoTarget> targets;
    std::vector<UndoChange> changes;
    // The outermost command last merged into the step: the one asked whether it joins the next.
    InterfacePtr<ICommand> lastCommand;

    UndoTarget* Find(UID uid) {
        auto it =
            std::find_if(targets.begin(), targets.end(), [uid](const UndoTarget& t) { return t.uid == uid; });
        return it == targets.end() ? nullptr : &*it;
    }
};

class UndoHistory {
public:
    std::vector<UndoStep> undo;
    std::vector<UndoStep> redo;
    // Set by undo and redo: the next command starts a step of its own.
    bool joinBlocked = false;

    UndoStep* Top() { return undo.empty() ? nullptr : &undo.back(); }
    void Clear() {
        undo.clear();
        redo.clear();
        joinBlocked = false;
    }
};

// A token that no group had before.
uint64 NewUndoGroup();
