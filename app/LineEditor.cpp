// The terminal's line editor (see LineEditor.h).
#include "LineEditor.h"

#include <cstdlib>
#include <cstring>
#include <editline/readline.h>

namespace {

const LineEditing* gEditing = nullptr;
const std::vector<std::string>* gWords = nullptr;

char* NextWord(const char* text, int state) {
    static size_t next = 0;
    if (state == 0) next = 0;
    const size_t length = std::strlen(text);
    while (gWords && next < gWords->size()) {
        const std::string& w = (*gWords)[next++];
        if (w.compare(0, length, text) == 0) return ::strdup(w.c_str());
    }
    return nullptr;
}

char** Complete(const char* text, int start, int) {
    gWords = gEditing->words ? gEditing->words(std::string(rl_line_buffer, static_cast<size_t>(start))) : nullptr;
    return gWords ? ::rl_completion_matches(text, NextWord) : nullptr; // null: file names
}

} // namespace

extern "C" __attribute__((visibility("default"))) bool BrindleEditLines(const LineEditing* editing) {
    gEditing = editing;
    ::using_history();
    ::read_history(editing->history.c_str());
    rl_attempted_completion_function = Complete;
    bool ended = false;
    for (;;) {
        char* raw = ::readline(editing->prompt().c_str());
        if (!raw) {
            ended = true;
            break;
        }
        const std::string line(raw);
        std::free(raw);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        ::add_history(line.c_str());
        if (!editing->run(line)) break;
    }
    ::write_history(editing->history.c_str());
    gEditing = nullptr;
    return ended;
}
