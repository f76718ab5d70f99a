#include "ProgressLine.h"

#include <cstdio>
#include <unistd.h>

ProgressLine::ProgressLine(size_t total, bool enabled)
    : fTotal(total), fEnabled(enabled && ::isatty(STDERR_FILENO)), fStart(std::chrono::steady_clock::now()) {}

void ProgressLine::Update(size_t done) {
    if (!fEnabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - fStart < std::chrono::seconds(1)) return;
    if (fShown && now - fLast < std::chrono::milliseconds(100)) return;
    fLast = now;
    std::fprintf(stderr, "\r%zu/%zu documents\033[K", done, fTotal);
    std::fflush(stderr);
    fShown = true;
}

void ProgressLine::Clear() {
    if (!fShown) return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    fShown = false;
}
