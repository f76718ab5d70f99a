// Walks the entries of a folder.
#pragma once

#include "base/PMString.h"
#include "io/IDFile.h"

class FileSystemIterator {
public:
    virtual ~FileSystemIterator() = default;
    virtual void SetStartingPath(const IDFile& folder) = 0;
    // The first entry matching the pattern ("*.*" matches every entry), as a file inside the folder.
    virtual bool16 FindFirst(IDFile* file, const PMString& pattern) = 0;
    virtual bool16 FindNext(IDFile* file) = 0;
    virtual bool16 IsDirectory(const IDFile& file) = 0;
};
