// A byte sink that collects what is written into a string.
#pragma once

#include "io/IXferBytes.h"

#include <string>

class CVIXferBytes : public IXferBytes {
public:
    uint32 Read(void*, uint32) override { return 0; }
    uint32 Write(void* buffer, uint32 count) override {
        if (buffer && count) fBytes.append(static_cast<const char*>(buffer), count);
        return count;
    }
    uint32 Seek(int32 count, SeekFromWhere) override { return static_cast<uint32>(count); }
    void Flush() override {}
    void SetEndOfStream() override {}
    void SetStreamState(StreamState) override {}
    StreamState GetStreamState() override { return kStreamStateGood; }
    void Reset() override { fBytes.clear(); }

    const std::string& GetString() const { return fBytes; }

private:
    std::string fBytes;
};
