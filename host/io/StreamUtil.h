// Streams on files and memory.
#pragma once

#include "io/IDFile.h"
#include "io/IPMStream.h"

#include <string>

using FileTypeCode = uint32;
constexpr FileTypeCode kAnyFileType = 0;
constexpr FileTypeCode kAnyCreator = 0;

// Open modes of a write stream.
enum : int32 {
    kOpenIn = 1,
    kOpenOut = 2,
    kOpenApp = 4,
    kOpenTrunc = 8,
};

namespace StreamUtil {
// A stream reading the file, or null when it cannot be opened.
IPMStream* CreateFileStreamRead(const IDFile& file, int32 mode = kOpenIn, FileTypeCode type = kAnyFileType,
                                FileTypeCode creator = kAnyCreator);
// A stream writing the file. With kOpenApp bytes go to the end of the file (created when
// missing); otherwise the file is replaced when the stream is closed, in one step, so a
// failed or interrupted write leaves the old file. Null when the file cannot be written.
IPMStream* CreateFileStreamWrite(const IDFile& file, int32 mode = kOpenOut | kOpenTrunc,
                                 FileTypeCode type = kAnyFileType, FileTypeCode creator = kAnyCreator);
// Like a write stream with kOpenApp.
IPMStream* CreateFileStreamWriteAppend(const IDFile& file);
IPMStream* CreateMemoryStreamRead(std::string bytes);
IPMStream* CreateMemoryStreamWrite();
// The bytes written so far to a memory write stream (empty for other streams).
std::string GetMemoryStreamBytes(IPMStream* stream);
} // namespace StreamUtil

constexpr FileTypeCode MakeTypeCode(const char (&four)[5]) {
    return (static_cast<uint32>(static_cast<uchar>(four[0])) << 24) |
           (static_cast<uint32>(static_cast<uchar>(four[1])) << 16) |
           (static_cast<uint32>(static_cast<uchar>(four[2])) << 8) | static_cast<uint32>(static_cast<uchar>(four[3]));
}
