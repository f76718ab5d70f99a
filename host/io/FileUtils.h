// File system services of the host.
#pragma once

#include "base/PMString.h"
#include "io/FileStamp.h"
#include "io/IDFile.h"

#include <string>
#include <utility>
#include <vector>

namespace FileUtils {
// The roaming application-data folder, with the given sub-folder appended (not created).
// False when the host has no such folder.
bool GetAppRoamingDataFolder(IDFile* folder, const PMString& subFolder);
// The host's recovery folder, with the given sub-folder appended (not created).
bool GetRecoveryFolder(IDFile* folder, const PMString& subFolder);
// Creates the folder and its parents when missing; true when it exists afterwards.
bool CreateFolderIfNeeded(const IDFile& folder, bool16 createParents = kTrue);
void AppendPath(IDFile* file, const PMString& name);
bool DoesFileExist(const IDFile& file);
bool IsDirectory(const IDFile& file);
bool DeleteFile(const IDFile& file);
// A file: URL with the path percent-encoded.
PMString FileToURL(const IDFile& file);
// The file for a file: URL (or a plain path); false when the text is neither.
bool URLToFile(const PMString& url, IDFile* file);
// Writes bytes to a temporary file beside the target and renames it into place,
// so the target is either the old file or the whole new one.
bool WriteFileAtomically(const IDFile& file, const std::string& bytes, std::string* error = nullptr);
// Writes several files as one change: afterwards every file holds its new bytes, or (on
// failure, with the reason in error) every file is as it was. The new contents are all
// written beside their files before the first is renamed into place, and the old contents
// are kept until the last one is, so a failure part-way puts back what was replaced.
bool WriteFilesAtomically(const std::vector<std::pair<IDFile, std::string>>& files,
                          std::string* error = nullptr);

// The start of the name of every temporary file this host writes beside a file it replaces:
// hidden, and never a name that a folder reader takes for a file of its own.
constexpr const char* kTemporaryPrefix = ".brindle-tmp-";
// Removes the temporary files of ours in the folder that an interrupted write left behind
// (older than a quarter of an hour, so a write still under way keeps its file).
void RemoveStaleTemporaries(const IDFile& folder);
// The same, for a folder written again and again in one run (a batch over its documents):
// the first call per folder in a quarter of an hour looks, the others return at once.
void RemoveStaleTemporariesOnce(const IDFile& folder);
// Flushes the folder's entries to disk, so that a rename into it survives a power loss.
void SyncFolder(const IDFile& folder);
// SyncFolder for a document's folder after the document was replaced: at once, or, while a
// FolderSyncBatch is alive, once per folder when the last batch ends. The new file's bytes
// are on disk before its rename either way, so a power loss in between leaves the old or the
// new file, never a broken one; the batch only makes the new name durable once per folder
// instead of once per document.
void SyncFolderAfterReplace(const IDFile& folder);
class FolderSyncBatch {
public:
    FolderSyncBatch();
    ~FolderSyncBatch();
    FolderSyncBatch(const FolderSyncBatch&) = delete;
    FolderSyncBatch& operator=(const FolderSyncBatch&) = delete;
};

// The most a file read whole by ReadRegularFile may hold unless the caller says otherwise.
constexpr uint64 kMaxReadSize = 64ull * 1024 * 1024;
// Reads a whole regular file (a symbolic link is followed to one). Anything else (a FIFO, a
// device, a folder, a socket) and a file larger than maxSize is refused without reading or
// waiting, with the reason in error.
bool ReadRegularFile(const IDFile& file, std::string* bytes, std::string* error = nullptr,
                     uint64 maxSize = kMaxReadSize);
// Whether the path names a regular file (after following symbolic links).
bool IsRegularFile(const IDFile& file);
} // namespace FileUtils
