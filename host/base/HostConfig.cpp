#include "base/HostConfig.h"
#include "base/WLocaleSetting.h"

#include <cstdlib>
#include <fstream>

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

std::filesystem::path HostConfig::ConfigFile() const {
    const std::filesystem::path root = RoamingDataRoot();
    return root.empty() ? root : root / "brindle" / "host.conf";
}

bool HostConfig::ReadFile(const std::filesystem::path& file, std::string* error) {
    std::ifstream in(file);
    if (!in) return true;
    auto trim = [](std::string t) {
        const char* ws = " \t\r";
        t.erase(0, t.find_first_not_of(ws));
        t.erase(t.find_last_not_of(ws) + 1);
        return t;
    };
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = trim(line.substr(0, line.find('#')));
        if (line.empty()) continue;
        const size_t eq = line.find('=');
        const std::string key = eq == std::string::npos ? line : trim(line.substr(0, eq));
        const std::string value = eq == std::string::npos ? "" : trim(line.substr(eq + 1));
        bool ok = !value.empty();
        if (ok && key == "companion") {
            companion = value;
        } else if (ok && key == "plugin") {
            char* end = nullptr;
            const unsigned long id = std::strtoul(value.c_str(), &end, 0);
            ok = end && *end == 0 && id <= 0xFFFFFFFFul;
            if (ok) presentPlugins.push_back(static_cast<PluginID>(id));
        } else {
            ok = false;
        }
        if (!ok) {
            if (error) *error = file.string() + ":" + std::to_string(number) + ": not a setting: " + line;
            return false;
        }
    }
    return true;
}

namespace WLocaleSetting {
PMLocaleId GetLocale() {
    PMLocaleId id;
    id.productFS = HostConfig::Get().edition == HostConfig::Edition::kText ? kTextProductFS : kLayoutProductFS;
    return id;
}
} // namespace WLocaleSetting
