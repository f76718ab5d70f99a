// The maker's outside logging component.
#pragma once

#include "objectmodel/IPMUnknown.h"

#include <string>

// Announced on the session's subject, protocol IID_ICVLOGGER, when the component's status
// (its level or its file) changes; the changer is the component.
enum : ClassID { kCVLoggerStatusChangedMessage = 0xA8288 };

class ICVLogger : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ICVLOGGER };
    virtual void Log(int32 level, const char* product, const char* version, const char* sourceFile, int32 line,
                     const char* message) = 0;
    virtual void LogExtended(int32 level, const char* product, const char* version, const char* sourceFile,
                             int32 line, const char* message) = 0;
    // The level configured for a product; 0 means nothing is wanted.
    virtual int32 GetLogLevel(const char* product) = 0;

    // The component's status: the level it answers (0: switched off) and the file its lines
    // go to (empty: standard error).
    virtual std::string GetLogFile() = 0;
    // Switches the component; a change of either part is announced, setting the same status
    // again is not.
    virtual void SetStatus(int32 level, const std::string& file) = 0;
};
