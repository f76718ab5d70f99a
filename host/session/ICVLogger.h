// The maker's outside logging component.
#pragma once

#include "objectmodel/IPMUnknown.h"

class ICVLogger : public IPMUnknown {
public:
    enum { kDefaultIID = IID_ICVLOGGER };
    virtual void Log(int32 level, const char* product, const char* version, const char* sourceFile, int32 line,
                     const char* message) = 0;
    virtual void LogExtended(int32 level, const char* product, const char* version, const char* sourceFile,
                             int32 line, const char* message) = 0;
    // The level configured for a product; 0 means nothing is wanted.
    virtual int32 GetLogLevel(const char* product) = 0;
};
