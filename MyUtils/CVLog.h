// The diagnostic channel: lines go to the maker's outside logger, filtered by one
// process-wide threshold. The threshold is tested before any text is built, so a
// switched-off trace point costs one comparison.
#pragma once

#include "base/PMTypes.h"
#include "session/ICVLogger.h"

#include <exception>
#include <string>
#include <string_view>

namespace CVLog {
// 0 = nothing; below 1000 lines go through Log, from 1000 on through LogExtended with
// the level raised by 1000.
extern uint16 LogThreshold;
extern const char* const kProductID;
extern const char* const kVersion; // "7.1.5"

// The outside logger, referenced, or null (no session, or the component is not installed).
ICVLogger* GetLogger();
// Sets the threshold from the level the outside logger reports for the product.
void InitThreshold();
// Whether a line of this level would be written under the threshold in force.
bool Wants(int32 level);
// Writes one line when the threshold asks for it; the source file is given as __FILE__.
void Write(int32 level, const char* sourceFile, int32 line, std::string_view message);
// The source name as the logger expects it: the maker's relative path with backslashes.
std::string SourceName(const char* file);

// Writes an "Enter: " line where a function starts and an "Exit: " line where it returns
// normally. A return marked with CV_RETURN gives the Exit line the line of that return; a
// return marked as a failure (CV_TRACE_FAILED) and a scope left by an exception write no
// Exit line. A scope left without either mark writes its Exit line with the trace's line.
class Trace {
public:
    Trace(const char* name, const char* file, int32 line)
        : fName(name), fFile(file), fLine(line), fExceptions(std::uncaught_exceptions()) {
        if (LogThreshold >= 75) Write(75, fFile, fLine, std::string("Enter: ") + fName);
    }
    ~Trace() {
        if (fFailed || std::uncaught_exceptions() > fExceptions) return;
        if (LogThreshold >= 75) Write(75, fFile, fReturnLine ? fReturnLine : fLine, std::string("Exit: ") + fName);
    }
    Trace(const Trace&) = delete;
    Trace& operator=(const Trace&) = delete;
    // The function returns normally from this line.
    void Return(int32 line) { fReturnLine = line; }
    // The function returns because something failed.
    void Failed() { fFailed = true; }

private:
    const char* fName;
    const char* fFile;
    int32 fLine;
    int fExceptions;
    int32 fReturnLine = 0;
    bool fFailed = false;
};
} // namespace CVLog

#define CV_LOG_CAT2(a, b) a##b
#define CV_LOG_CAT(a, b) CV_LOG_CAT2(a, b)

// A line at the given level; the message expression is only evaluated when it will be written.
#define CV_LOG(level, message)                                                                                 \
    do {                                                                                                       \
        if (CVLog::LogThreshold >= (level)) CVLog::Write((level), __FILE__, __LINE__, (message));              \
    } while (0)

// The level-30 line of a failed step: no text, the source position says where.
#define CV_LOG_FAILED() CV_LOG(30, "")

// Traces the enclosing function under the given "Class::Method" name.
#define CV_TRACE(name) CVLog::Trace cvTrace((name), __FILE__, __LINE__)
// A normal return of a traced function, with or without a value: its Exit line carries this
// line. A statement of its own, so it reads as a return in an if without braces, and the
// value is returned as a plain return would (moved, or built in place).
#define CV_RETURN(...)                                                                                         \
    do {                                                                                                       \
        cvTrace.Return(__LINE__);                                                                              \
        return __VA_ARGS__;                                                                                    \
    } while (0)
#define CV_RETURN_VOID() CV_RETURN()
// A return of a traced function because something failed: no Exit line.
#define CV_RETURN_FAILED(...)                                                                                  \
    do {                                                                                                       \
        cvTrace.Failed();                                                                                      \
        return __VA_ARGS__;                                                                                    \
    } while (0)
// Marks the coming return as a failure, where the return itself is written out.
#define CV_TRACE_FAILED() cvTrace.Failed()
