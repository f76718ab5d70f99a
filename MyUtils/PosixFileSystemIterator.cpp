#include "PosixFileSystemIterator.h"

#include "io/FileUtils.h"

#include <cstring>
#include <fnmatch.h>

PosixFileSystemIterator::~PosixFileSystemIterator() { CloseSearch(); }

void PosixFileSystemIterator::CloseSearch() {
    if (fSearch) ::closedir(fSearch);
    fSearch = nullptr;
}

bool PosixFileSystemIterator::Matches(const char* name) const {
    // "*.*" is the listing of everything, names without a dot included.
    if (fPattern == "*.*" || fPattern == "*" || fPattern.empty()) return true;
    return ::fnmatch(fPattern.c_str(), name, 0) == 0;
}

bool16 PosixFileSystemIterator::FindFirst(IDFile* file, const PMString& pattern) {
    fPattern = pattern.GetUTF8String();
    CloseSearch();
    fCount = 0;
    fSearch = ::opendir(fFolder.Path().empty() ? "." : fFolder.Path().c_str());
    if (!fSearch) return kFalse;
    return FindNext(file);
}

bool16 PosixFileSystemIterator::FindNext(IDFile* file) {
    if (!fSearch) return kFalse;
    if (fCount >= kMaxEntries) {
        CloseSearch();
        return kFalse;
    }
    while (dirent* e = ::readdir(fSearch)) {
        if (!Matches(e->d_name)) continue;
        ++fCount;
        if (file) *file = IDFile(fFolder.Path() / e->d_name);
        return kTrue;
    }
    CloseSearch();
    return kFalse;
}

bool16 PosixFileSystemIterator::IsDirectory(const IDFile& file) {
    return FileUtils::IsDirectory(file) ? kTrue : kFalse;
}

void PosixFileSystemIterator::ListEntries(const IDFile& folder, std::vector<IDFile>& list, int32 max) {
    list.clear();
    SetStartingPath(folder);
    IDFile entry;
    for (bool16 more = FindFirst(&entry, PMString("*.*")); more && static_cast<int32>(list.size()) < max;
         more = FindNext(&entry)) {
        auto name = entry.Path().filename().string();
        if (name == "." || name == "..") continue;
        list.push_back(entry);
    }
    CloseSearch();
}
