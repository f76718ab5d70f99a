// Helpers of the plug-in that hold no state.
#pragma once

#include "PMString.h"

#include <string>

namespace BRNUtils {
// Appends "DD-MM-YYYY HH:MM:SS [file:line] message\n" to the named file in the maker's
// recovery folder. Never fails towards the caller.
void AppendToLogFile(const PMString& fileName, const PMString& message, const std::string& sourceFile, int32 line);
} // namespace BRNUtils

// Appends a line to "BRN.log" with the caller's source position.
#define BRN_APPEND_TO_LOG_FILE(message)                                                                        \
    BRNUtils::AppendToLogFile(PMString("BRN.log"), (message), CVLog::SourceName(__FILE__), __LINE__)
