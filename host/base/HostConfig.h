// What the host was started with: folders, user, edition and how it talks to the user.
#pragma once

#include "base/PMTypes.h"

#include <filesystem>
#include <optional>
#include <string>

struct HostConfig {
    enum class Edition { kLayout, kText };

    // Base of the roaming and recovery folders; empty means the XDG folders.
    std::filesystem::path home;
    // Where the plug-in module "lives": defaults files and marker files are looked up here.
    std::filesystem::path pluginDir;
    Edition edition = Edition::kLayout;
    std::string userName;
    std::string alias;
    // The outside logger's level for the plug-in and where its lines go (empty: standard error).
    int32 logLevel = 0;
    std::filesystem::path logFile;

    static HostConfig& Get();
    std::filesystem::path RoamingDataRoot() const;
    std::filesystem::path RecoveryRoot() const;
};
