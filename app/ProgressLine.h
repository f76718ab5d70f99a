// "1200/20000 documents" on a terminal's standard error while a long run goes on; never on a
// pipe or a file, and only once the run has taken a second.
#pragma once

#include <chrono>
#include <cstddef>

class ProgressLine {
public:
    ProgressLine(size_t total, bool enabled);
    ~ProgressLine() { Clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    void Update(size_t done);
    // Takes the line away (before other output, and at the end).
    void Clear();

private:
    size_t fTotal;
    bool fEnabled;
    bool fShown = false;
    std::chrono::steady_clock::time_point fStart, fLast;
};
