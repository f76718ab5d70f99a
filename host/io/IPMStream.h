// A byte stream that reads or writes (files, memory).
#pragma once

#include "objectmodel/IPMUnknown.h"

class IPMStream : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IPMSTREAM };
    enum StreamState { kStreamStateGood, kStreamStateEOF, kStreamStateFailure };
    enum SeekFrom { kSeekFromStart, kSeekFromCurrent, kSeekFromEnd };

    virtual bool16 IsReading() const = 0;
    virtual bool16 IsWriting() const = 0;
    // Reads up to num bytes into buf, or writes num bytes from it. Returns the count
    // moved; a read returns 0 at the end and -1 on an error.
    virtual int32 XferByte(uchar* buf, int32 num) = 0;
    // Numbers are moved in the stream's byte order: swapped when swapping is on.
    int32 XferInt16(int16& value);
    int32 XferInt32(int32& value);
    virtual void SetSwapping(bool16 swap) = 0;
    virtual bool16 GetSwapping() const = 0;
    // The new position from the start, or -1.
    virtual int64 Seek(int64 offset, SeekFrom from) = 0;
    virtual int64 GetPosition() const = 0;
    virtual StreamState GetStreamState() const = 0;
    virtual void Flush() = 0;
    // Ends the stream; for a stream that writes, false when the bytes could not be stored.
    virtual bool16 Close() = 0;
};
