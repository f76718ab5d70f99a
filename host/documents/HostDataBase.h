// The host's document database.
#pragma once

#include "commands/UndoHistory.h"
#include "documents/IDataBase.h"

#include <map>
#include <vector>

class HostDataBase final : public IDataBase {
public:
    HostDataBase();
    ~HostDataBase() override;
    HostDataBase(const HostDataBase&) = delete;
    HostDataBase& operator=(const HostDataBase&) = delete;

    UID NewUID(ClassID classID) override;
    void DeleteUID(UID uid) override;
    bool16 IsValidUID(UID uid) const override;
    ClassID GetClass(UID uid) const override;
    IPMUnknown* Instantiate(UID uid, PMIID interfaceID) const override;
    UID GetRootUID() const override { return fRoot; }
    void BeginTransaction() override;
    void EndTransaction() override;
    bool16 IsInTransaction() const override { return fTransactionDepth > 0 ? kTrue : kFalse; }

    // The undo group of the running transaction, 0 outside one.
    uint64 GetTransactionGroup() const { return fTransactionGroup; }
    UndoHistory& GetUndoHistory() { return fHistory; }
    // Every UID in use, in creation order.
    std::vector<UID> GetUIDs() const;
    // Releases every object, the document's last; afterwards the database holds nothing.
    void ReleaseAll();

    // The databases that exist now.
    static std::vector<HostDataBase*> All();

private:
    std::map<UID, IPMUnknown*> fObjects;
    UID fNext = 1;
    UID fRoot = kInvalidUID;
    int32 fTransactionDepth = 0;
    uint64 fTransactionGroup = 0;
    UndoHistory fHistory;
};
