// Reading requests at a terminal with line editing, history and completion (libedit). The
// editor lives in the module brindle-lineedit.so beside the program, loaded only when the
// shell reads from a terminal, so that scripts and one-shot commands start without libedit
// and the terminal libraries it brings.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct LineEditing {
    std::filesystem::path history;        // read at the start, written at the end
    std::function<std::string()> prompt; // asked before every line
    // The words that may complete the word being typed, given the line before it; null for
    // file names.
    std::function<const std::vector<std::string>*(const std::string& before)> words;
    // Runs a line that is not blank; false ends the reading.
    std::function<bool(const std::string& line)> run;
};

// Reads and runs lines until the end of input (true) or until `run` says to stop (false).
extern "C" bool BrindleEditLines(const LineEditing* editing);
using EditLinesFn = decltype(&BrindleEditLines);
