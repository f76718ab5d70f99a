// Walks a folder tree for its files, in name order, one folder at a time.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <system_error>

class FolderWalk {
public:
    using FileFound = std::function<void(const std::filesystem::path&)>;
    using Fault = std::function<void(const std::filesystem::path&, const std::error_code&)>;

    // Symbolic links are taken (files) and entered (folders) only when followLinks; a followed
    // link that leads back into a folder being walked is skipped, so a loop ends. What cannot
    // be listed is reported and the walk goes on.
    static void Walk(const std::filesystem::path& root, bool followLinks, const FileFound& onFile,
                     const Fault& onFault);
};
