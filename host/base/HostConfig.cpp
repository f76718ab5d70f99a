#include "base/HostConfig.h"

#include <cstdlib>

namespace {
std::filesystem::path EnvFolder(const char* var, const char* fallbackUnderHome) {
    if (const char* v = std::getenv(var); v && *v && std::filesystem::path(v).is_absolute()) return v;
    const char* home = std::getenv("HOME");
    if (!home || !*home) return {};
    return std::filesystem::path(home) / fallbackUnderHome;
}
} // namespace

HostConfig& HostConfig::Get() {
    static HostConfig config;
    return config;
}

std::filesystem::path HostConfig::RoamingDataRoot() const {
    if (!home.empty()) return home / "config";
    return EnvFolder("XDG_CONFIG_HOME", ".config");
}

std::filesystem::path HostConfig::RecoveryRoot() const {
    if (!home.empty()) return home / "state";
    return EnvFolder("XDG_STATE_HOME", ".local/state");
}
