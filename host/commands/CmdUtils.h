// Processing commands, command sequences, and undo and redo per document.
//
// Undo works on packets: before a command runs, the host keeps the XMP packet of every item
// of its item list that has one (documents and stories; other items are not kept), and after
// it ran, the packets again. Undo puts back the "before", redo the "after". A command joins
// the previous step when that step's last command says CanJoin and the packets it shares with
// the step are still as the step left them; everything in a command sequence, a transaction
// or a command processed from inside another command is one step.
#pragma once

#include "base/PMString.h"
#include "commands/ICommand.h"

#include <vector>

class IDocument;
class ISubject;

namespace CmdUtils {

// A new command of the class, referenced; null when the class has no ICommand.
ICommand* CreateCommand(ClassID commandClass);
// Runs Do, then NotifyAfterDo, and records the undo step. Before Do and after NotifyAfterDo the
// document's subject is told (kBeforeDoMessage / kAfterDoMessage on protocol
// IID_IDOCCOMMANDNOTIFY, the command as changedBy) unless the document's IDocCommandNotify is off.
// The error Do reported, or kSuccess.
ErrorCode ProcessCommand(ICommand* cmd);

// Whether commands record undo steps (on unless switched off). A run whose documents are closed
// without anyone able to undo them (a batch over many files) switches it off: a command's packets
// are still kept before it runs, and put back when it fails, but no step is recorded.
void SetUndoHistory(bool on);
bool UndoHistoryOn();

// Referenced; EndCommandSequence releases it. Sequences nest; the outermost makes the step.
ICommandSequence* BeginCommandSequence();
ErrorCode EndCommandSequence(ICommandSequence* sequence);

bool CanUndo(IDocument* doc);
// The next command on the document starts a step of its own instead of joining the last one:
// a front end calls it where a person's action begins, so that each action is undone alone.
void BeginNewUndoStep(IDocument* doc);
bool CanRedo(IDocument* doc);
PMString GetUndoName(IDocument* doc);
PMString GetRedoName(IDocument* doc);
// Restores the packets of the last step and tells the targets' subjects (kUndoMessage or
// kRedoMessage on protocol IID_IXMPPACKETACCESS), then repeats the changes the step's
// commands announced on objects of the document. False when there is nothing to undo or a
// command or sequence is running.
bool Undo(IDocument* doc);
bool Redo(IDocument* doc);
// The names of the document's undo steps and redo steps, the next one to undo (redo) last.
std::vector<PMString> GetUndoNames(IDocument* doc);
std::vector<PMString> GetRedoNames(IDocument* doc);
// The next command starts a step of its own instead of joining the last one (a session that
// takes one request at a time ends the step with each request).
void EndUndoStep(IDocument* doc);
// Forgets the document's steps (after a revert).
void ClearUndo(IDocument* doc);

// The host's subjects report every change here, so that undo can repeat what a command announced.
void NoteChange(const ISubject* subject, ClassID theChange, PMIID protocol);

} // namespace CmdUtils
