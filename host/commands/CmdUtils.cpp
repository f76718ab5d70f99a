#include "commands/CmdUtils.h"

#include "base/ErrorUtils.h"
#include "commands/IDocCommandNotify.h"
#include "documents/HostDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryReference.h"
#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "subjects/HostSubject.h"
#include "subjects/ISubject.h"
#include "xmp/HostXMPPacketAccess.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <vector>

namespace {

// The outermost command running, and the undo group that it and the commands it causes share.
int32 gCommandDepth = 0;
uint64 gCommandGroup = 0;
int32 gSequenceDepth = 0;
bool gUndoHistory = true;
uint64 gSequenceGroup = 0;

// The changes announced on objects of a database while one command runs.
struct Recording {
    IDataBase* db;
    std::vector<UndoChange> changes;
};
std::vector<Recording*> gRecordings;

class CommandSequence final : public CStandaloneUnknown<ICommandSequence> {
public:
    void SetName(const PMString& name) override { fName = name; }
    PMString GetName() const override { return fName; }

private:
    PMString fName;
};

// The packets of the list's items that have one, each once.
std::vector<UndoTarget> Snapshot(IDataBase* db, const UIDList* list) {
    std::vector<UndoTarget> targets;
    if (!db || !list) return targets;
    for (UID item : *list) {
        // A story reference's metadata is its story's.
        const UID story = ResolveStoryUID(db, item);
        const UID uid = story != kInvalidUID ? story : item;
        if (std::any_of(targets.begin(), targets.end(), [&](const UndoTarget& t) { return t.uid == uid; }))
            continue;
        InterfacePtr<IXMPPacketAccess> packet(
            static_cast<IXMPPacketAccess*>(db->Instantiate(uid, IID_IXMPPACKETACCESS)));
        if (packet) targets.push_back({uid, HostXMPPacketAccess::SnapshotOf(packet.get()), {}});
    }
    return targets;
}

void Restore(IDataBase* db, UID uid, const std::string& rdf) {
    if (!db) return;
    InterfacePtr<IXMPPacketAccess> packet(
        static_cast<IXMPPacketAccess*>(db->Instantiate(uid, IID_IXMPPACKETACCESS)));
    if (!packet) return;
    packet->ParsePacket(rdf);
    packet->SetDirty(kTrue);
}

PMString UndoNameOf(ICommand* cmd) {
    PMString name = cmd->MakeUndoName();
    return name.IsEmpty() ? cmd->GetName() : name;
}

// The step of the group, searched from the top.
UndoStep* StepOfGroup(UndoHistory& history, uint64 group) {
    auto it = std::find_if(history.undo.rbegin(), history.undo.rend(),
                           [group](const UndoStep& s) { return s.group == group; });
    return it == history.undo.rend() ? nullptr : &*it;
}

// Lets the command's group take over the top step when the step's last command joins it and
// nothing has changed the shared packets since.
void JoinTopStep(UndoHistory& history, uint64 group, ICommand* cmd, const std::vector<UndoTarget>& before) {
    UndoStep* top = history.Top();
    if (!top || top->group == group || history.joinBlocked || !top->lastCommand) return;
    if (!top->lastCommand->CanJoin(cmd)) return;
    for (const auto& t : before) {
        const UndoTarget* kept = top->Find(t.uid);
        if (kept && kept->after != t.before) return;
    }
    top->group = group;
}

void Record(UndoHistory& history, uint64 group, ICommand* cmd, bool outermost,
            std::vector<UndoTarget> targets) {
    UndoStep* step = history.Top();
    if (!step || step->group != group) {
        // A command that keeps no packet makes no step of its own.
        if (targets.empty()) return;
        history.undo.emplace_back();
        step = &history.undo.back();
        step->group = group;
        step->name = UndoNameOf(cmd);
    }
    for (auto& t : targets) {
        if (UndoTarget* kept = step->Find(t.uid))
            kept->after = std::move(t.after);
        else
            step->targets.push_back(std::move(t));
    }
    if (outermost || !step->lastCommand) {
        cmd->AddRef();
        step->lastCommand.reset(cmd);
    }
    history.redo.clear();
    history.joinBlocked = false;
}

bool CommandNotificationsOn(IDataBase* db) {
    if (!db) return false;
    InterfacePtr<IDocCommandNotify> sw(
        static_cast<IDocCommandNotify*>(db->Instantiate(db->GetRootUID(), IID_IDOCCOMMANDNOTIFY)));
    return !sw || sw->GetNotify();
}

void TellDocument(IDataBase* db, ClassID message, ICommand* cmd) {
    if (!CommandNotificationsOn(db)) return;
    InterfacePtr<ISubject> subject(static_cast<ISubject*>(db->Instantiate(db->GetRootUID(), IID_ISUBJECT)));
    if (subject) subject->Change(message, IID_IDOCCOMMANDNOTIFY, cmd);
}

// The database may close while a command runs (an observer closes the document).
bool Alive(const HostDataBase* db) {
    auto all = HostDataBase::All();
    return db && std::find(all.begin(), all.end(), db) != all.end();
}

HostDataBase* HostDataBaseOf(IDocument* doc) {
    return doc ? dynamic_cast<HostDataBase*>(doc->GetDocumentDataBase()) : nullptr;
}

bool Busy() {
    return gCommandDepth > 0 || gSequenceDepth > 0;
}

// Tells the targets' subjects, then repeats what the step's commands announced.
// Takes copies: observers may process commands that rewrite the history.
void Announce(IDataBase* db, const UndoStep& step, ClassID message) {
    std::vector<UID> targets(step.targets.size());
    std::transform(step.targets.begin(), step.targets.end(), targets.begin(),
                   [](const UndoTarget& t) { return t.uid; });
    auto changes = step.changes;
    for (UID uid : targets) {
        InterfacePtr<ISubject> subject(static_cast<ISubject*>(db->Instantiate(uid, IID_ISUBJECT)));
        if (subject) subject->Change(message, IID_IXMPPACKETACCESS, nullptr);
    }
    for (const auto& c : changes) {
        InterfacePtr<ISubject> subject(static_cast<ISubject*>(db->Instantiate(c.subject, IID_ISUBJECT)));
        if (subject) subject->Change(c.change, c.protocol, nullptr);
    }
}

} // namespace

namespace CmdUtils {

void SetUndoHistory(bool on) {
    gUndoHistory = on;
}

bool UndoHistoryOn() {
    return gUndoHistory;
}

ICommand* CreateCommand(ClassID commandClass) {
    return static_cast<ICommand*>(ObjectModel::CreateObject(commandClass, IID_ICOMMAND));
}

ErrorCode ProcessCommand(ICommand* cmd) {
    if (!cmd) return kFailure;
    cmd->AddRef();
    InterfacePtr<ICommand> hold(cmd);
    const UIDList* list = cmd->GetItemList();
    IDataBase* db = list ? list->GetDataBase() : nullptr;
    auto* hostDb = dynamic_cast<HostDataBase*>(db);

    LazyNotify::BeginBatch();
    const bool outermost = gCommandDepth++ == 0;
    uint64 group = gCommandGroup;
    if (outermost) {
        if (gSequenceDepth > 0)
            group = gSequenceGroup;
        else if (hostDb && hostDb->GetTransactionGroup() != 0)
            group = hostDb->GetTransactionGroup();
        else
            group = NewUndoGroup();
        gCommandGroup = group;
    }
    auto finish = [&] {
        if (--gCommandDepth == 0) gCommandGroup = 0;
        LazyNotify::EndBatch();
    };

    std::vector<UndoTarget> targets = Snapshot(db, list);
    if (outermost && hostDb && gUndoHistory) JoinTopStep(hostDb->GetUndoHistory(), group, cmd, targets);
    if (db) TellDocument(db, kBeforeDoMessage, cmd);

    Recording recording{db, {}};
    gRecordings.push_back(&recording);
    // Do reports through the global code; what the caller had set before stays when Do succeeds.
    const ErrorCode callersError = ErrorUtils::PMGetGlobalErrorCode();
    ErrorUtils::PMSetGlobalErrorCode(kSuccess);
    cmd->SetCommandState(ICommand::kNotDone);
    cmd->Do();
    ErrorCode error = ErrorUtils::PMGetGlobalErrorCode();
    if (error == kSuccess) ErrorUtils::PMSetGlobalErrorCode(callersError);
    if (error != kSuccess) {
        gRecordings.pop_back();
        if (Alive(hostDb) || !hostDb)
            for (auto it = targets.rbegin(); it != targets.rend(); ++it)
                Restore(db, it->uid, it->before);
        cmd->SetCommandState(ICommand::kFailed);
        finish();
        return error;
    }
    if (gUndoHistory && Alive(hostDb)) {
        for (auto& t : targets) {
            InterfacePtr<IXMPPacketAccess> packet(
                static_cast<IXMPPacketAccess*>(db->Instantiate(t.uid, IID_IXMPPACKETACCESS)));
            t.after = packet ? HostXMPPacketAccess::SnapshotOf(packet.get()) : t.before;
        }
        Record(hostDb->GetUndoHistory(), group, cmd, outermost, std::move(targets));
    }
    cmd->SetCommandState(ICommand::kDone);
    cmd->NotifyAfterDo();
    gRecordings.pop_back();
    if (Alive(hostDb) && !recording.changes.empty()) {
        if (UndoStep* step = StepOfGroup(hostDb->GetUndoHistory(), group)) {
            for (const auto& c : recording.changes)
                if (std::find(step->changes.begin(), step->changes.end(), c) == step->changes.end())
                    step->changes.push_back(c);
        }
    }
    if (db && (!hostDb || Alive(hostDb))) TellDocument(db, kAfterDoMessage, cmd);
    finish();
    return kSuccess;
}

ICommandSequence* BeginCommandSequence() {
    if (gSequenceDepth++ == 0) gSequenceGroup = NewUndoGroup();
    LazyNotify::BeginBatch();
    return new CommandSequence;
}

ErrorCode EndCommandSequence(ICommandSequence* sequence) {
    if (!sequence) return kFailure;
    InterfacePtr<ICommandSequence> hold(sequence);
    if (gSequenceDepth == 0) return kFailure;
    if (--gSequenceDepth == 0) {
        PMString name = sequence->GetName();
        if (!name.IsEmpty()) {
            for (HostDataBase* db : HostDataBase::All())
                if (UndoStep* step = StepOfGroup(db->GetUndoHistory(), gSequenceGroup)) step->name = name;
        }
        gSequenceGroup = 0;
    }
    LazyNotify::EndBatch();
    return kSuccess;
}

bool CanUndo(IDocument* doc) {
    HostDataBase* db = HostDataBaseOf(doc);
    return db && !db->GetUndoHistory().undo.empty();
}

void BeginNewUndoStep(IDocument* doc) {
    if (HostDataBase* db = HostDataBaseOf(doc)) db->GetUndoHistory().joinBlocked = true;
}

bool CanRedo(IDocument* doc) {
    HostDataBase* db = HostDataBaseOf(doc);
    return db && !db->GetUndoHistory().redo.empty();
}

PMString GetUndoName(IDocument* doc) {
    HostDataBase* db = HostDataBaseOf(doc);
    return db && !db->GetUndoHistory().undo.empty() ? db->GetUndoHistory().undo.back().name : PMString();
}

PMString GetRedoName(IDocument* doc) {
    HostDataBase* db = HostDataBaseOf(doc);
    return db && !db->GetUndoHistory().redo.empty() ? db->GetUndoHistory().redo.back().name : PMString();
}

bool Undo(IDocument* doc) {
    HostDataBase* db = HostDataBaseOf(doc);
    if (!db || Busy() || db->GetUndoHistory().undo.empty()) return false;
    UndoHistory& history = db->GetUndoHistory();
    UndoStep step = std::move(history.undo.back());
    history.undo.pop_back();
    LazyNotify::BeginBatch();
    for (auto it = step.targets.rbegin(); it != step.targets.rend(); ++it)
        Restore(db, it->uid, it->before);
    history.redo.push_back(std::move(step));
    history.joinBlocked = true;
    Announce(db, history.redo.back(), kUndoMessage);
    LazyNotify::EndBatch();
    return true;
}

bool Redo(IDocument* doc) {
    HostDataBase* db = HostDataBaseOf(doc);
    if (!db || Busy() || db->GetUndoHistory().redo.empty()) return false;
    UndoHistory& history = db->GetUndoHistory();
    UndoStep step = std::move(history.redo.back());
    history.redo.pop_back();
    LazyNotify::BeginBatch();
    for (const auto& t : step.targets)
        Restore(db, t.uid, t.after);
    history.undo.push_back(std::move(step));
    history.joinBlocked = true;
    Announce(db, history.undo.back(), kRedoMessage);
    LazyNotify::EndBatch();
    return true;
}

std::vector<PMString> GetUndoNames(IDocument* doc) {
    std::vector<PMString> names;
    if (HostDataBase* db = HostDataBaseOf(doc))
        for (const UndoStep& step : db->GetUndoHistory().undo)
            names.push_back(step.name);
    return names;
}

std::vector<PMString> GetRedoNames(IDocument* doc) {
    std::vector<PMString> names;
    if (HostDataBase* db = HostDataBaseOf(doc))
        for (const UndoStep& step : db->GetUndoHistory().redo)
            names.push_back(step.name);
    return names;
}

void EndUndoStep(IDocument* doc) {
    if (HostDataBase* db = HostDataBaseOf(doc)) db->GetUndoHistory().joinBlocked = true;
}

void ClearUndo(IDocument* doc) {
    if (HostDataBase* db = HostDataBaseOf(doc)) db->GetUndoHistory().Clear();
}

void NoteChange(const ISubject* subject, ClassID theChange, PMIID protocol) {
    if (gRecordings.empty() || theChange == kBeforeDoMessage || theChange == kAfterDoMessage) return;
    Recording* r = gRecordings.back();
    UIDRef where = GetUIDRef(subject);
    if (!r->db || where.GetDataBase() != r->db) return;
    UndoChange c{where.GetUID(), theChange, protocol};
    if (std::find(r->changes.begin(), r->changes.end(), c) == r->changes.end()) r->changes.push_back(c);
}

} // namespace CmdUtils
