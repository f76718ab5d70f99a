// Advisory locks between processes (flock), so that two brindle processes changing the same
// file do not lose one side's change.
//
// Two kinds of lock, both exclusive and both released when the object goes:
//   - on a lock file that exists only to be locked (the package library and settings keep
//     one beside them); it is created when missing and never removed;
//   - on a document file itself, held from before the document is read until it is closed.
//
// A writer that replaces a file by renaming a new one over it gives the new file a new inode,
// and a lock belongs to the inode. So the writers hand the lock over (HandOver) before the
// rename: the new file is locked by the holder before any other process can open it by name.
// A process that waited on the old inode sees, once it has the lock, that the name now
// belongs to another inode, and starts again on the new one.
//
// flock locks belong to the open file description: closing some other descriptor of the
// same file (a reader of the document) does not release them, unlike fcntl record locks.
// They are advisory: only processes that take them are kept apart.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

class FileLock {
public:
    enum class Kind {
        kLockFile, // a file kept only for its lock: created when missing
        kDocument, // an existing regular file: never created
    };
    enum class Outcome {
        kLocked,
        kNotAFile, // a document that is missing or not a regular file: nothing to lock
        kTimedOut, // another process held the lock for the whole wait
        kFailed,   // the file could not be opened (the reason is in the error text)
    };

    // Waits up to Timeout() for the lock. On kLocked *lock holds it; otherwise *error says why.
    static Outcome Acquire(const std::filesystem::path& file, Kind kind, std::unique_ptr<FileLock>* lock,
                           std::string* error);

    // How long a lock is waited for, in seconds: $BRINDLE_LOCK_TIMEOUT when it holds a number
    // of seconds (fractions allowed, 0 tries once), else 30.
    static double Timeout();

    // Called by a writer just before it renames `replacement` over `replaced`: when this
    // process holds a lock on `replaced`, `replacement` is locked too, by the same holder.
    static void HandOver(const std::filesystem::path& replaced, const std::filesystem::path& replacement);

    // Called once by Acquire before it starts waiting for a lock another process holds (set by
    // whoever holds locks of its own that the other process may be waiting for); null: none.
    static void SetBeforeWait(std::function<void()> hook);

    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    const std::filesystem::path& File() const { return fFile; }

private:
    explicit FileLock(std::filesystem::path file) : fFile(std::move(file)) {}
    bool Holds(dev_t dev, ino_t ino) const;

    std::filesystem::path fFile;
    // The descriptors holding the lock: the file's first inode, then each inode handed over.
    std::vector<int> fFds;
    std::vector<std::pair<dev_t, ino_t>> fInodes;
};
