// The session's document list; it owns the databases of the open documents.
#pragma once

#include "documents/HostDataBase.h"
#include "documents/IDocumentList.h"
#include "io/FileLock.h"
#include "objectmodel/CPMUnknown.h"

#include <memory>
#include <vector>

class HostDocumentList final : public CPMUnknown<IDocumentList> {
public:
    explicit HostDocumentList(Boss* boss) : CPMUnknown<IDocumentList>(boss) {}
    // The host quits: documents close without signals.
    ~HostDocumentList() override;

    int32 GetDocCount() const override { return static_cast<int32>(fEntries.size()); }
    IDocument* GetNthDoc(int32 index) const override;
    IDocument* FindDoc(const IDFile& file) const override;
    bool16 IsOpen(const IDocument* doc) const override;

    void Add(IDocument* doc, std::unique_ptr<HostDataBase> db);
    // Releases the document's database with everything in it.
    void Remove(const IDocument* doc);
    // The lock on the document's file, held until the document leaves the list.
    void SetLock(const IDocument* doc, std::unique_ptr<FileLock> lock);
    IDocument* GetFront() const { return fFront; }
    void SetFront(IDocument* doc);

    // The list of the running session, or null.
    static HostDocumentList* Get();

private:
    struct Entry {
        IDocument* doc;
        std::unique_ptr<HostDataBase> db;
        std::unique_ptr<FileLock> lock;
    };
    std::vector<Entry> fEntries;
    IDocument* fFront = nullptr;
};
