// Folder listing over POSIX directory streams.
#pragma once

#include "io/FileSystemIterator.h"

#include <dirent.h>
#include <vector>

class PosixFileSystemIterator : public FileSystemIterator {
public:
    // More entries than this are never returned by one search.
    static constexpr int32 kMaxEntries = 0x40000;

    PosixFileSystemIterator() = default;
    ~PosixFileSystemIterator() override;
    PosixFileSystemIterator(const PosixFileSystemIterator&) = delete;
    PosixFileSystemIterator& operator=(const PosixFileSystemIterator&) = delete;

    void SetStartingPath(const IDFile& folder) override { fFolder = folder; }
    bool16 FindFirst(IDFile* file, const PMString& pattern) override;
    bool16 FindNext(IDFile* file) override;
    bool16 IsDirectory(const IDFile& file) override;
    // Empties the list and appends every entry of the folder but "." and "..", in the
    // order the system lists them, at most max of them.
    void ListEntries(const IDFile& folder, std::vector<IDFile>& list, int32 max);

private:
    void CloseSearch();
    bool Matches(const char* name) const;

    IDFile fFolder;
    std::string fPattern;
    int32 fCount = 0;
    DIR* fSearch = nullptr;
};
