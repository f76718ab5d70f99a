// A byte sink or source that the host writes into or reads from.
#pragma once

#include "base/PMTypes.h"

class IXferBytes {
public:
    enum SeekFromWhere { kSeekFromStart, kSeekFromCurrent, kSeekFromEnd };
    enum StreamState { kStreamStateGood, kStreamStateEOF, kStreamStateFailure };
    virtual ~IXferBytes() = default;
    virtual uint32 Read(void* buffer, uint32 count) = 0;
    virtual uint32 Write(void* buffer, uint32 count) = 0;
    virtual uint32 Seek(int32 count, SeekFromWhere from) = 0;
    virtual void Flush() = 0;
    virtual void SetEndOfStream() = 0;
    virtual void SetStreamState(StreamState state) = 0;
    virtual StreamState GetStreamState() = 0;
    virtual void Reset() = 0;
};
