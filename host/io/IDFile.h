// IDFile: a file or folder on disk.
#pragma once

#include "base/PMString.h"

#include <filesystem>

class IDFile {
public:
    IDFile() = default;
    IDFile(std::filesystem::path p) : fPath(std::move(p)) {}
    explicit IDFile(const PMString& path) : fPath(path.GetUTF8String()) {}

    const std::filesystem::path& Path() const { return fPath; }
    PMString GetPathString() const { return PMString(fPath.string()); }
    PMString GetFileName() const { return PMString(fPath.filename().string()); }
    bool IsEmpty() const { return fPath.empty(); }
    IDFile Parent() const { return IDFile(fPath.parent_path()); }

    friend bool operator==(const IDFile&, const IDFile&) = default;

private:
    std::filesystem::path fPath;
};
