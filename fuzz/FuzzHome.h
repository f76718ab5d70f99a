// A home of the fuzz target's own (a temporary folder, removed at exit) where the host
// finds its settings, library and defaults files, for targets that read files the way the
// program does.
#pragma once
#include "base/HostConfig.h"
#include "BRNPlugIn.h"
#include "session/Host.h"
#include "ui/CAlert.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace fuzzhome {

inline const std::filesystem::path& Home() {
    static const std::filesystem::path home = [] {
        char pattern[] = "/tmp/brindle-fuzz-XXXXXX";
        const char* made = ::mkdtemp(pattern);
        if (!made) std::abort();
        std::filesystem::path p(made);
        static const std::filesystem::path removed = p;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(removed, ec);
        });
        return p;
    }();
    return home;
}

inline void WriteBytes(const std::filesystem::path& file, const uint8_t* data, size_t size) {
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Alerts take their default answer and print nothing; the host reads its files from Home.
inline void Configure() {
    CAlert::SetSink(nullptr);
    HostConfig& cfg = HostConfig::Get();
    cfg.home = Home();
    cfg.pluginDir = Home() / "plugin";
    cfg.userName = "fuzz";
    std::filesystem::create_directories(cfg.pluginDir);
}

inline void Start() {
    if (!Host::Start(GetPlugIn())) {
        std::fprintf(stderr, "the host did not start\n");
        std::abort();
    }
}

} // namespace fuzzhome
