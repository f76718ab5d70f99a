#include "base/ErrorUtils.h"
#include "commands/CmdUtils.h"
#include "commands/Command.h"
#include "commands/IDocCommandNotify.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "session/Host.h"
#include "subjects/CObserver.h"
#include "subjects/ILazySubject.h"
#include "subjects/ISubject.h"
#include "xmp/IXMPPacketAccess.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const WideString kTestNS("http://ns.example.test/brindle-cmd-test/1.0/");
const WideString kValue("Value");

enum : PMIID { IID_ITESTPROTOCOL = 0x7D001, IID_ITESTOBSERVER = 0x7D002 };
enum : ClassID {
    kTestSetValueCmdBoss = 0x7D201,
    kTestObserverBoss = 0x7D202,
    kTestChange = 0x7D301,
};
enum : ImplementationID { kTestSetValueCmdImpl = 0x7D101, kTestObserverImpl = 0x7D102 };

// Sets Value in the packet of each item that has one, then announces the change on the
// document's workspace, as a plug-in's metadata command does.
class TestSetValueCmd : public Command {
public:
    explicit TestSetValueCmd(Boss* boss) : Command(boss) {}
    void Do() override {
        const UIDList* list = GetItemList();
        for (UID uid : *list) {
            InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(list->GetDataBase(), uid));
            if (xmp) xmp->SetProperty(kTestNS, kValue, WideString(value));
        }
        if (fail) ErrorUtils::PMSetGlobalErrorCode(kFailure);
    }
    void NotifyAfterDo() override {
        ++notified;
        IDataBase* db = GetItemList()->GetDataBase();
        if (!db) return;
        InterfacePtr<IDocument> doc(Instantiate<IDocument>(db, db->GetRootUID()));
        InterfacePtr<ISubject> ws(Instantiate<ISubject>(doc->GetDocWorkSpace()));
        if (ws) ws->Change(kTestChange, IID_ITESTPROTOCOL, this);
    }
    bool16 CanJoin(ICommand* other) override {
        if (!joinable || ::GetClass(other) != GetClass()) return kFalse;
        return static_cast<TestSetValueCmd*>(other)->joinable && other->GetName() == GetName() ? kTrue
                                                                                               : kFalse;
    }

    std::string value;
    bool joinable = false;
    bool fail = false;
    int notified = 0;
};

// Counts what it is told, regularly and lazily.
class TestObserver : public CObserver {
public:
    explicit TestObserver(Boss* boss) : CObserver(boss, IID_ITESTOBSERVER) {}
    void Update(const ClassID& change, ISubject*, const PMIID& protocol, void* changedBy) override {
        updates.push_back({change, protocol, changedBy});
    }
    void LazyUpdate(ISubject*, const PMIID& protocol, const LazyNotificationData* data) override {
        lazy.push_back({protocol, data ? data->changes : std::vector<ClassID>{}});
    }
    struct Told {
        ClassID change;
        PMIID protocol;
        void* changedBy;
    };
    struct ToldLazily {
        PMIID protocol;
        std::vector<ClassID> changes;
    };
    std::vector<Told> updates;
    std::vector<ToldLazily> lazy;
};

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(Host::Start(nullptr));
        ObjectModel::RegisterImplementation(kTestSetValueCmdImpl, MakeFactory<TestSetValueCmd>());
        ObjectModel::RegisterClass(kTestSetValueCmdBoss, {{IID_ICOMMAND, kTestSetValueCmdImpl}});
        ObjectModel::RegisterImplementation(kTestObserverImpl, MakeFactory<TestObserver>());
        ObjectModel::RegisterClass(kTestObserverBoss, {{IID_IOBSERVER, kTestObserverImpl}});
        fDoc = Host::NewDocument();
        ASSERT_NE(fDoc, nullptr);
        fDB = fDoc->GetDocumentDataBase();
        fStory1 = Host::NewStory(fDoc, "one");
        fStory2 = Host::NewStory(fDoc, "two");
        WideString prefix;
        ASSERT_TRUE(Packet(fStory1)->RegisterNamespace(kTestNS, WideString("bct"), &prefix));
    }
    void TearDown() override { Host::Stop(); }

    InterfacePtr<IXMPPacketAccess> Packet(UID uid) {
        return InterfacePtr<IXMPPacketAccess>(Instantiate<IXMPPacketAccess>(fDB, uid));
    }
    std::string Value(UID uid) {
        WideString v;
        Packet(uid)->GetProperty(kTestNS, kValue, &v);
        return v.GetUTF8String();
    }
    UID Root() const { return fDB->GetRootUID(); }

    InterfacePtr<ICommand> MakeCmd(std::vector<UID> items, const std::string& value, bool joinable = false,
                                   const std::string& name = "Set value") {
        InterfacePtr<ICommand> cmd(CmdUtils::CreateCommand(kTestSetValueCmdBoss));
        EXPECT_TRUE(cmd);
        UIDList list(fDB);
        for (UID uid : items)
            list.Append(uid);
        cmd->SetItemList(list);
        cmd->SetName(name);
        auto* impl = static_cast<TestSetValueCmd*>(cmd.get());
        impl->value = value;
        impl->joinable = joinable;
        return cmd;
    }
    ErrorCode Run(std::vector<UID> items, const std::string& value, bool joinable = false,
                  const std::string& name = "Set value") {
        return CmdUtils::ProcessCommand(MakeCmd(items, value, joinable, name));
    }
    int UndoAll() {
        int steps = 0;
        while (CmdUtils::Undo(fDoc))
            ++steps;
        return steps;
    }
    InterfacePtr<TestObserver> NewObserver() {
        return InterfacePtr<TestObserver>(static_cast<TestObserver*>(
            static_cast<IObserver*>(CreateObject(kTestObserverBoss, IID_IOBSERVER))));
    }

    IDocument* fDoc = nullptr;
    IDataBase* fDB = nullptr;
    UID fStory1 = kInvalidUID;
    UID fStory2 = kInvalidUID;
};

TEST_F(CommandTest, WritesEveryItemAndUndoRedoRestoreExactly) {
    ASSERT_TRUE(Packet(fStory1)->SetProperty(kTestNS, WideString("Kept"), WideString("as it was")));
    Packet(fStory2)->SetProperty(kTestNS, kValue, WideString("old"));
    const std::string before1 = Packet(fStory1)->SerializePacket();
    const std::string before2 = Packet(fStory2)->SerializePacket();
    const std::string beforeDoc = Packet(Root())->SerializePacket();

    InterfacePtr<ICommand> cmd = MakeCmd({fStory1, fStory2}, "new");
    EXPECT_EQ(cmd->GetCommandState(), ICommand::kNotDone);
    ASSERT_EQ(CmdUtils::ProcessCommand(cmd), kSuccess);
    EXPECT_EQ(cmd->GetCommandState(), ICommand::kDone);
    EXPECT_EQ(static_cast<TestSetValueCmd*>(cmd.get())->notified, 1);
    EXPECT_EQ(Value(fStory1), "new");
    EXPECT_EQ(Value(fStory2), "new");
    const std::string after1 = Packet(fStory1)->SerializePacket();
    const std::string after2 = Packet(fStory2)->SerializePacket();

    ASSERT_TRUE(CmdUtils::CanUndo(fDoc));
    EXPECT_EQ(CmdUtils::GetUndoName(fDoc).GetUTF8String(), "Set value");
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(Packet(fStory1)->SerializePacket(), before1);
    EXPECT_EQ(Packet(fStory2)->SerializePacket(), before2);
    EXPECT_EQ(Packet(Root())->SerializePacket(), beforeDoc) << "the document was no target";
    EXPECT_FALSE(CmdUtils::CanUndo(fDoc));

    ASSERT_TRUE(CmdUtils::CanRedo(fDoc));
    ASSERT_TRUE(CmdUtils::Redo(fDoc));
    EXPECT_EQ(Packet(fStory1)->SerializePacket(), after1);
    EXPECT_EQ(Packet(fStory2)->SerializePacket(), after2);
    EXPECT_FALSE(CmdUtils::CanRedo(fDoc));

    // A new command after an undo drops what could be redone.
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    ASSERT_EQ(Run({fStory1}, "other"), kSuccess);
    EXPECT_FALSE(CmdUtils::CanRedo(fDoc));
}

TEST_F(CommandTest, WhichCommandsShareAnUndoStep) {
    struct Step {
        std::string value;
        bool joinable;
        std::string name;
        bool touchOutsideFirst; // change the packet without a command before this one
        bool newStepFirst = false; // a front end marks a person's next action before this one
    };
    struct Case {
        std::string what;
        std::vector<Step> commands;
        int steps;
    };
    const std::vector<Case> cases = {
        {"two joinable commands", {{"a", true, "Set", false}, {"b", true, "Set", false}}, 1},
        {"three joinable commands",
         {{"a", true, "Set", false}, {"b", true, "Set", false}, {"c", true, "Set", false}},
         1},
        {"a command that does not join", {{"a", true, "Set", false}, {"b", false, "Set", false}}, 2},
        {"joinable but named otherwise", {{"a", true, "Set", false}, {"b", true, "Other", false}}, 2},
        {"a change in between", {{"a", true, "Set", false}, {"b", true, "Set", true}}, 2},
        {"non-joinable commands", {{"a", false, "Set", false}, {"b", false, "Set", false}}, 2},
        {"a new step begun in between", {{"a", true, "Set", false}, {"b", true, "Set", false, true}}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Packet(fStory1)->DeleteProperty(kTestNS, kValue);
        CmdUtils::ClearUndo(fDoc);
        const std::string original = Packet(fStory1)->SerializePacket();
        for (const auto& s : c.commands) {
            if (s.touchOutsideFirst)
                Packet(fStory1)->SetProperty(kTestNS, WideString("Outside"), WideString("x"));
            if (s.newStepFirst) CmdUtils::BeginNewUndoStep(fDoc);
            ASSERT_EQ(Run({fStory1}, s.value, s.joinable, s.name), kSuccess);
        }
        EXPECT_EQ(Value(fStory1), c.commands.back().value);
        ASSERT_TRUE(CmdUtils::Undo(fDoc));
        if (c.steps == 1) {
            EXPECT_EQ(Packet(fStory1)->SerializePacket(), original) << "one undo takes back the whole run";
        } else {
            EXPECT_EQ(Value(fStory1), c.commands[c.commands.size() - 2].value)
                << "the last command undoes alone";
        }
        EXPECT_EQ(1 + UndoAll(), c.steps);
    }
}

TEST_F(CommandTest, NoJoinAcrossUndo) {
    ASSERT_EQ(Run({fStory1}, "a", true), kSuccess);
    ASSERT_EQ(Run({fStory1}, "b", false), kSuccess);
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    ASSERT_EQ(Run({fStory1}, "c", true), kSuccess);
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(Value(fStory1), "a") << "the command after an undo starts a step of its own";
}

TEST_F(CommandTest, ASequenceUndoesAsOneStep) {
    ICommandSequence* seq = CmdUtils::BeginCommandSequence();
    ASSERT_NE(seq, nullptr);
    seq->SetName("Three edits");
    ASSERT_EQ(Run({fStory1}, "a"), kSuccess);
    ASSERT_EQ(Run({fStory2}, "b"), kSuccess);
    ICommandSequence* inner = CmdUtils::BeginCommandSequence();
    ASSERT_EQ(Run({Root()}, "c"), kSuccess);
    EXPECT_FALSE(CmdUtils::Undo(fDoc)) << "no undo while a sequence is open";
    EXPECT_EQ(CmdUtils::EndCommandSequence(inner), kSuccess);
    EXPECT_EQ(CmdUtils::EndCommandSequence(seq), kSuccess);
    ASSERT_EQ(Run({fStory1}, "after"), kSuccess);

    EXPECT_EQ(CmdUtils::GetUndoName(fDoc).GetUTF8String(), "Set value");
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(Value(fStory1), "a") << "the command after the sequence is a step of its own";
    EXPECT_EQ(CmdUtils::GetUndoName(fDoc).GetUTF8String(), "Three edits");
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(Value(fStory1), "");
    EXPECT_EQ(Value(fStory2), "");
    EXPECT_EQ(Value(Root()), "");
    EXPECT_FALSE(CmdUtils::CanUndo(fDoc));
    ASSERT_TRUE(CmdUtils::Redo(fDoc));
    EXPECT_EQ(Value(fStory1), "a");
    EXPECT_EQ(Value(fStory2), "b");
    EXPECT_EQ(Value(Root()), "c");
}

TEST_F(CommandTest, ATransactionUndoesAsOneStep) {
    fDB->BeginTransaction();
    ASSERT_EQ(Run({fStory1}, "a"), kSuccess);
    ASSERT_EQ(Run({fStory2}, "b"), kSuccess);
    fDB->EndTransaction();
    EXPECT_FALSE(fDB->IsInTransaction());
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(Value(fStory1), "");
    EXPECT_EQ(Value(fStory2), "");
    EXPECT_FALSE(CmdUtils::CanUndo(fDoc));
}

TEST_F(CommandTest, ItemListsWithInvalidItems) {
    const UID gone = Host::NewStory(fDoc, "gone");
    fDB->DeleteUID(gone);
    struct Case {
        std::string what;
        std::vector<UID> items;
        bool makesStep;
    };
    const std::vector<Case> cases = {
        {"an invalid UID among stories", {kInvalidUID, fStory1, gone, 9999}, true},
        {"only invalid UIDs", {kInvalidUID, gone}, false},
        {"the workspace, which has no packet", {fDoc->GetDocWorkSpace().GetUID()}, false},
        {"an empty list", {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        CmdUtils::ClearUndo(fDoc);
        Packet(fStory1)->DeleteProperty(kTestNS, kValue);
        for (UID uid : c.items) {
            EXPECT_EQ(bool(fDB->IsValidUID(uid)), uid == fStory1 || uid == fDoc->GetDocWorkSpace().GetUID());
        }
        InterfacePtr<ICommand> cmd = MakeCmd(c.items, "v");
        EXPECT_EQ(cmd->GetItemList()->Length(), static_cast<int32>(c.items.size()));
        ASSERT_EQ(CmdUtils::ProcessCommand(cmd), kSuccess);
        EXPECT_EQ(CmdUtils::CanUndo(fDoc), c.makesStep);
        if (c.makesStep) {
            EXPECT_EQ(Value(fStory1), "v");
            ASSERT_TRUE(CmdUtils::Undo(fDoc));
            EXPECT_EQ(Value(fStory1), "");
        }
    }
    // A command without a database runs, and nothing is recorded anywhere.
    InterfacePtr<ICommand> loose(CmdUtils::CreateCommand(kTestSetValueCmdBoss));
    EXPECT_EQ(loose->GetItemList()->GetDataBase(), nullptr);
    EXPECT_EQ(CmdUtils::ProcessCommand(loose), kSuccess);
    EXPECT_EQ(CmdUtils::ProcessCommand(nullptr), kFailure);
    EXPECT_EQ(CmdUtils::CreateCommand(kTestObserverBoss), nullptr) << "not a command class";
}

TEST_F(CommandTest, AFailedCommandLeavesNoTrace) {
    ASSERT_EQ(Run({fStory1}, "kept"), kSuccess);
    const std::string before = Packet(fStory1)->SerializePacket();
    InterfacePtr<ICommand> cmd = MakeCmd({fStory1, fStory2}, "broken");
    static_cast<TestSetValueCmd*>(cmd.get())->fail = true;
    EXPECT_EQ(CmdUtils::ProcessCommand(cmd), kFailure);
    EXPECT_EQ(cmd->GetCommandState(), ICommand::kFailed);
    EXPECT_EQ(static_cast<TestSetValueCmd*>(cmd.get())->notified, 0);
    EXPECT_EQ(Packet(fStory1)->SerializePacket(), before);
    EXPECT_EQ(Value(fStory2), "");
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(Value(fStory1), "") << "the step below is the earlier command's";
    EXPECT_FALSE(CmdUtils::CanUndo(fDoc));
}

TEST_F(CommandTest, WithoutHistoryACommandRecordsNoStepAndAFailureStillLeavesNoTrace) {
    struct On {
        ~On() { CmdUtils::SetUndoHistory(true); }
    } restore;
    CmdUtils::SetUndoHistory(false);
    EXPECT_EQ(Run({fStory1}, "kept"), kSuccess);
    EXPECT_EQ(Value(fStory1), "kept");
    EXPECT_FALSE(CmdUtils::CanUndo(fDoc));
    const std::string before = Packet(fStory1)->SerializePacket();
    InterfacePtr<ICommand> cmd = MakeCmd({fStory1, fStory2}, "broken");
    static_cast<TestSetValueCmd*>(cmd.get())->fail = true;
    EXPECT_EQ(CmdUtils::ProcessCommand(cmd), kFailure);
    EXPECT_EQ(Packet(fStory1)->SerializePacket(), before);
    EXPECT_EQ(Value(fStory2), "");
    CmdUtils::SetUndoHistory(true);
    EXPECT_EQ(Run({fStory1}, "again"), kSuccess);
    ASSERT_TRUE(CmdUtils::Undo(fDoc)) << "recorded again once switched on";
    EXPECT_EQ(Value(fStory1), "kept");
}

TEST_F(CommandTest, TheDocumentHearsOfEachCommandUnlessSwitchedOff) {
    InterfacePtr<TestObserver> observer = NewObserver();
    InterfacePtr<ISubject> subject(fDoc, IID_ISUBJECT);
    subject->AttachObserver(observer, IID_IDOCCOMMANDNOTIFY, IID_ITESTOBSERVER);
    InterfacePtr<ICommand> cmd = MakeCmd({fStory1}, "x");
    ASSERT_EQ(CmdUtils::ProcessCommand(cmd), kSuccess);
    ASSERT_EQ(observer->updates.size(), 2u);
    EXPECT_EQ(observer->updates[0].change, kBeforeDoMessage);
    EXPECT_EQ(observer->updates[1].change, kAfterDoMessage);
    for (const auto& u : observer->updates) {
        EXPECT_EQ(u.protocol, IID_IDOCCOMMANDNOTIFY);
        ASSERT_EQ(u.changedBy, static_cast<void*>(cmd.get()));
        EXPECT_EQ(GetClass(static_cast<ICommand*>(u.changedBy)), kTestSetValueCmdBoss);
    }

    InterfacePtr<IDocCommandNotify> notify(fDoc, IID_IDOCCOMMANDNOTIFY);
    ASSERT_TRUE(notify);
    notify->SetNotify(kFalse);
    ASSERT_EQ(Run({fStory1}, "quiet"), kSuccess);
    EXPECT_EQ(observer->updates.size(), 2u);
    notify->SetNotify(kTrue);
    subject->DetachObserver(observer, IID_IDOCCOMMANDNOTIFY, IID_ITESTOBSERVER);
}

TEST_F(CommandTest, LazyObserversHearOnceWhenTheOutermostWorkEnds) {
    InterfacePtr<TestObserver> regular = NewObserver();
    InterfacePtr<TestObserver> lazy = NewObserver();
    UIDRef ws = fDoc->GetDocWorkSpace();
    InterfacePtr<ISubject> subject(Instantiate<ISubject>(ws));
    InterfacePtr<ILazySubject> lazySubject(Instantiate<ILazySubject>(ws));
    ASSERT_TRUE(subject && lazySubject);
    subject->AttachObserver(regular, IID_ITESTPROTOCOL, IID_ITESTOBSERVER);
    lazySubject->AttachLazyObserver(lazy, IID_ITESTPROTOCOL, IID_ITESTOBSERVER);
    lazySubject->AttachLazyObserver(lazy, IID_ITESTPROTOCOL, IID_ITESTOBSERVER);
    EXPECT_TRUE(lazySubject->IsLazilyAttached(lazy, IID_ITESTPROTOCOL, IID_ITESTOBSERVER));
    EXPECT_FALSE(subject->IsAttached(lazy, IID_ITESTPROTOCOL, IID_ITESTOBSERVER));

    ICommandSequence* seq = CmdUtils::BeginCommandSequence();
    for (const char* v : {"a", "b", "c"})
        ASSERT_EQ(Run({fStory1}, v), kSuccess);
    EXPECT_EQ(regular->updates.size(), 3u) << "regular observers hear at once";
    EXPECT_TRUE(lazy->lazy.empty()) << "lazy observers wait for the end of the sequence";
    CmdUtils::EndCommandSequence(seq);
    ASSERT_EQ(lazy->lazy.size(), 1u);
    EXPECT_EQ(lazy->lazy[0].protocol, IID_ITESTPROTOCOL);
    EXPECT_EQ(lazy->lazy[0].changes, std::vector<ClassID>{kTestChange});

    ASSERT_EQ(Run({fStory1}, "d"), kSuccess);
    EXPECT_EQ(lazy->lazy.size(), 2u) << "a command on its own ends its own batch";

    // Undo and redo repeat what the commands announced, so observers refresh.
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    EXPECT_EQ(lazy->lazy.size(), 3u);
    EXPECT_EQ(regular->updates.back().change, kTestChange);
    EXPECT_EQ(regular->updates.back().changedBy, nullptr) << "no command announces an undo";
    ASSERT_TRUE(CmdUtils::Redo(fDoc));
    EXPECT_EQ(lazy->lazy.size(), 4u);

    lazySubject->DetachLazyObserver(lazy, IID_ITESTPROTOCOL, IID_ITESTOBSERVER);
    ASSERT_EQ(Run({fStory1}, "e"), kSuccess);
    EXPECT_EQ(lazy->lazy.size(), 4u);
    subject->DetachObserver(regular, IID_ITESTPROTOCOL, IID_ITESTOBSERVER);
}

TEST_F(CommandTest, UndoAndRedoTellTheTargets) {
    InterfacePtr<TestObserver> observer = NewObserver();
    InterfacePtr<ISubject> story(Instantiate<ISubject>(fDB, fStory2));
    story->AttachObserver(observer, IID_IXMPPACKETACCESS, IID_ITESTOBSERVER);
    ASSERT_EQ(Run({fStory1, fStory2}, "x"), kSuccess);
    EXPECT_TRUE(observer->updates.empty());
    ASSERT_TRUE(CmdUtils::Undo(fDoc));
    ASSERT_TRUE(CmdUtils::Redo(fDoc));
    ASSERT_EQ(observer->updates.size(), 2u);
    EXPECT_EQ(observer->updates[0].change, kUndoMessage);
    EXPECT_EQ(observer->updates[1].change, kRedoMessage);
    story->DetachObserver(observer, IID_IXMPPACKETACCESS, IID_ITESTOBSERVER);
}

// Writes story two once, from inside the first command it hears of, as a document observer may.
class NestingObserver : public CObserver {
public:
    explicit NestingObserver(Boss* boss) : CObserver(boss, IID_ITESTOBSERVER) {}
    void Update(const ClassID& change, ISubject*, const PMIID&, void* changedBy) override {
        if (done || change != when) return;
        done = true;
        InterfacePtr<ICommand> nested(CmdUtils::CreateCommand(kTestSetValueCmdBoss));
        nested->SetItemList(target);
        static_cast<TestSetValueCmd*>(nested.get())->value = "nested";
        result = CmdUtils::ProcessCommand(nested);
    }
    ClassID when = kBeforeDoMessage;
    UIDList target;
    bool done = false;
    ErrorCode result = kFailure;
};

TEST_F(CommandTest, CommandsProcessedFromInsideAnotherJoinItsStep) {
    enum : ImplementationID { kNestingObserverImpl = 0x7D103 };
    enum : ClassID { kNestingObserverBoss = 0x7D203 };
    ObjectModel::RegisterImplementation(kNestingObserverImpl, MakeFactory<NestingObserver>());
    ObjectModel::RegisterClass(kNestingObserverBoss, {{IID_IOBSERVER, kNestingObserverImpl}});
    InterfacePtr<ISubject> subject(fDoc, IID_ISUBJECT);
    for (ClassID when : {kBeforeDoMessage, kAfterDoMessage}) {
        SCOPED_TRACE(when);
        CmdUtils::ClearUndo(fDoc);
        Packet(fStory1)->DeleteProperty(kTestNS, kValue);
        Packet(fStory2)->DeleteProperty(kTestNS, kValue);
        InterfacePtr<NestingObserver> observer(static_cast<NestingObserver*>(
            static_cast<IObserver*>(CreateObject(kNestingObserverBoss, IID_IOBSERVER))));
        observer->when = when;
        observer->target = UIDList(fDB, fStory2);
        subject->AttachObserver(observer, IID_IDOCCOMMANDNOTIFY, IID_ITESTOBSERVER);
        ASSERT_EQ(Run({fStory1}, "outer"), kSuccess);
        subject->DetachObserver(observer, IID_IDOCCOMMANDNOTIFY, IID_ITESTOBSERVER);
        ASSERT_EQ(observer->result, kSuccess);
        EXPECT_EQ(Value(fStory2), "nested");
        ASSERT_TRUE(CmdUtils::Undo(fDoc));
        EXPECT_EQ(Value(fStory1), "");
        EXPECT_EQ(Value(fStory2), "") << "one undo takes back the nested command too";
        EXPECT_FALSE(CmdUtils::CanUndo(fDoc));
    }
}

TEST_F(CommandTest, ASucceedingCommandKeepsTheCallersErrorCode) {
    ErrorUtils::PMSetGlobalErrorCode(kCancel);
    ASSERT_EQ(Run({fStory1}, "x"), kSuccess);
    EXPECT_EQ(ErrorUtils::PMGetGlobalErrorCode(), kCancel);
    ErrorUtils::PMSetGlobalErrorCode(kSuccess);
}

TEST_F(CommandTest, EachDocumentHasItsOwnHistory) {
    IDocument* other = Host::NewDocument();
    ASSERT_NE(other, nullptr);
    IDataBase* otherDB = other->GetDocumentDataBase();
    InterfacePtr<ICommand> cmd(CmdUtils::CreateCommand(kTestSetValueCmdBoss));
    cmd->SetItemList(UIDList(otherDB, otherDB->GetRootUID()));
    static_cast<TestSetValueCmd*>(cmd.get())->value = "elsewhere";
    ASSERT_EQ(CmdUtils::ProcessCommand(cmd), kSuccess);
    EXPECT_FALSE(CmdUtils::CanUndo(fDoc));
    EXPECT_TRUE(CmdUtils::CanUndo(other));
    other->AddRef();
    InterfacePtr<IDocument> held(other);
    EXPECT_TRUE(Host::CloseDocument(other));
    EXPECT_FALSE(CmdUtils::CanUndo(other)) << "a closed document has no history";
}

} // namespace
