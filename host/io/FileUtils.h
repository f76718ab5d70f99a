// File system services of the host.
#pragma once

#include "base/PMString.h"
#include "io/IDFile.h"

#include <string>

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
} // namespace FileUtils
