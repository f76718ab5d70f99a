// Puts new content in place of a file and keeps what the file is besides its bytes.
//
// A file with one name is replaced by a temporary file beside it, renamed into place: it
// takes the old file's owner and group, then its mode bits (setuid, setgid and sticky
// included: set after the owner, since a change of owner clears them) and its extended
// attributes (access control lists are kept there). A file with several hard links is
// written in place instead, so that every name keeps the new content: a copy of the old
// content is kept beside it until the new content has been read back whole, and put back
// when it was not.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace FileReplace {

// A new empty file beside `real`, named with the same extension (the toolkit picks some
// handlers by it), readable and writable by its owner only. False when it cannot be made.
bool MakeTemp(const std::filesystem::path& real, std::filesystem::path* temp);

// Writes bytes into a temporary file beside `real` (see MakeTemp).
bool WriteTemp(const std::filesystem::path& real, const std::string& bytes, std::filesystem::path* temp);

// Replaces `real` (a regular file, links resolved) with the content of `temp`, keeping owner,
// group, mode and extended attributes. `temp` is gone afterwards, whatever the outcome. On
// failure `real` is as it was and `error` says why.
bool Commit(const std::filesystem::path& temp, const std::filesystem::path& real,
            std::string* error = nullptr);

// Many documents' replacements made durable together. While a Group is open in this process,
// Commit prepares the new file (attributes copied, read back by its writer) but neither syncs
// nor renames it: it waits in the group, beside the file it replaces, for the group's Commit,
// which makes every waiting file durable with a single pass of syncs, renames each into place
// (handing the document's lock over, as Commit does) and then syncs each folder once. A
// power loss at any moment leaves each file wholly old or wholly new: a waiting file is only
// a temporary of ours beside it until its bytes are on disk.
//
// The replacements are grouped by document (BeginDocument). Actions that must wait until a
// document's new file is in place (AfterCommit: the after-save signal) or until its group is
// done (WhenDone: closing it) are kept with it; outside a group, or for a document with no
// file waiting, they run at once.
class Group {
public:
    enum class Outcome {
        kNothing,   // no replacement waited for the group: what the document's writer said stands
        kCommitted, // every replacement of the document is in place and durable
        kFailed,    // not (or not wholly) in place: the reason is in Error()
    };
    // How the waiting files are made durable. One syncfs per file system is the quicker here
    // (64 files of 30 KB: 10-40 ms, against 20-110 ms for write-back then fsync of each, and
    // 100-280 ms for an fsync of each on its own), though it also flushes what other programs
    // wrote to the same file system.
    enum class Sync {
        kEachFile,   // start write-back of every file, then fsync each
        kFileSystem, // one syncfs per file system
    };
    struct Result {
        Outcome outcome = Outcome::kNothing;
        std::string error;
    };

    explicit Group(Sync sync = Sync::kFileSystem);
    // Whatever still waits is abandoned: the temporaries are removed, the files stay as they
    // were, and the documents' WhenDone actions run.
    ~Group();
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    // The group Commit waits in, or null.
    static Group* Current();

    // The replacements and actions that follow belong to a new document; its number.
    size_t BeginDocument();
    // Documents begun since the last Commit, and how many of them have a file waiting.
    size_t Documents() const;
    size_t Waiting() const;
    // Commits every document begun so far, runs their actions and forgets them. The outcome
    // of each, by the number BeginDocument gave; documents already committed keep theirs until
    // TakeResults. With keepCurrent the last document begun is at work still: what it writes
    // next keeps its number (and a later outcome of the same number adds to this one).
    void Commit(bool keepCurrent = false);
    // Whether a new content of this file (any name of it) waits in the group.
    bool IsWaiting(const std::filesystem::path& real) const;
    // The outcomes of the documents committed since the last call, by document number.
    std::vector<std::pair<size_t, Result>> TakeResults();

    // A fault for tests: the sync step fails, or the rename of files with this name fails.
    struct Fault {
        bool sync = false;
        std::string renameName;
    };
    static void SetFault(const Fault& fault);

    // Used by Commit: keeps a prepared replacement for the current document.
    void Keep(const std::filesystem::path& temp, const std::filesystem::path& real);
    void AddAction(std::function<void()> action, bool onlyWhenCommitted);

private:
    struct Document;
    Sync fSync;
    Group* fOuter = nullptr;
    bool fCommitting = false;
    size_t fNext = 0;
    std::vector<Document> fDocuments;
    std::vector<std::pair<size_t, Result>> fResults;
};

// Before a file is written: when its new content still waits in the current group (a document
// saved twice before its group commits), the group is committed first, so that the writer
// starts from the content it replaces and not from the older one.
void BeforeWriting(const std::filesystem::path& real);

// Runs the action once the current document's new file is in place: at once when no group is
// open or nothing of the document waits; after the group's commit otherwise, and not at all
// when that commit failed.
void AfterCommit(std::function<void()> action);
// Runs the action once the current document's group is done with it, committed or not (at once
// when nothing of the document waits).
void WhenDone(std::function<void()> action);

} // namespace FileReplace
