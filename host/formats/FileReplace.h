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
#include <string>

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

} // namespace FileReplace
