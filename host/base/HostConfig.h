// What the host was started with: folders, user, edition and how it talks to the user.
#pragma once

#include "base/PMTypes.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

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
    // Plug-ins of others that the session reports as loaded (the host has no modules of
    // theirs; tests and configurations declare them).
    std::vector<PluginID> presentPlugins;
    // Where document events are announced ("ADDR:PORT"); empty: nowhere.
    std::string companion;
    // Whether a document opened for change is locked against other processes (an advisory
    // lock on its file, held until it closes). A read-only session takes no lock.
    bool lockDocuments = true;

    // Reads "key = value" lines ("companion = ADDR:PORT", "plugin = ID", one per plug-in;
    // "#" starts a comment); a missing file is no error. False, with the line, for a line
    // that is neither.
    bool ReadFile(const std::filesystem::path& file, std::string* error = nullptr);
    // The configuration file in the roaming folder.
    std::filesystem::path ConfigFile() const;

    static HostConfig& Get();
    std::filesystem::path RoamingDataRoot() const;
    std::filesystem::path RecoveryRoot() const;
};
