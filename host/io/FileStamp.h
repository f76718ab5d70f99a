// What identifies a file's content without reading it. Kept free of the host's text types so
// that every source may use it, whatever the language standard it is compiled with.
#pragma once

#include <filesystem>

namespace FileUtils {

// Device, inode, size, modification and change times: a file replaced, rewritten or touched
// since has another stamp.
struct FileStamp {
    unsigned long long dev = 0, ino = 0;
    long long size = 0, mtime = 0, ctime = 0; // times in nanoseconds
    bool regular = false;                     // a regular file (after following links)
    bool operator==(const FileStamp& o) const {
        return dev == o.dev && ino == o.ino && size == o.size && mtime == o.mtime && ctime == o.ctime &&
               regular == o.regular;
    }
    bool operator!=(const FileStamp& o) const { return !(*this == o); }
};
// The stamp of a file or folder; false when it cannot be had.
bool StampOf(const std::filesystem::path& file, FileStamp* stamp);
// File times advance in clock ticks, not nanoseconds: a file changed again within the tick
// of its last change keeps its times. A stamp is settled when the file has not changed in
// the last two seconds; what is remembered by stamp is remembered only once it is settled.
bool IsSettled(const FileStamp& stamp);

} // namespace FileUtils
