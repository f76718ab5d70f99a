#include "io/StreamUtil.h"

#include "io/FileUtils.h"
#include "objectmodel/CPMUnknown.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

int32 IPMStream::XferInt16(int16& value) {
    uchar b[2];
    if (IsWriting()) {
        auto u = static_cast<uint16>(value);
        b[0] = static_cast<uchar>(u & 0xFF);
        b[1] = static_cast<uchar>(u >> 8);
        if (GetSwapping()) std::swap(b[0], b[1]);
        return XferByte(b, 2);
    }
    int32 n = XferByte(b, 2);
    if (n == 2) {
        if (GetSwapping()) std::swap(b[0], b[1]);
        value = static_cast<int16>(b[0] | (b[1] << 8));
    }
    return n;
}

int32 IPMStream::XferInt32(int32& value) {
    uchar b[4];
    if (IsWriting()) {
        auto u = static_cast<uint32>(value);
        for (int i = 0; i < 4; ++i) b[i] = static_cast<uchar>(u >> (8 * i));
        if (GetSwapping()) std::reverse(b, b + 4);
        return XferByte(b, 4);
    }
    int32 n = XferByte(b, 4);
    if (n == 4) {
        if (GetSwapping()) std::reverse(b, b + 4);
        value = static_cast<int32>(static_cast<uint32>(b[0]) | (static_cast<uint32>(b[1]) << 8) |
                                   (static_cast<uint32>(b[2]) << 16) | (static_cast<uint32>(b[3]) << 24));
    }
    return n;
}

namespace {

class StreamBase : public CStandaloneUnknown<IPMStream> {
public:
    void SetSwapping(bool16 swap) override { fSwap = swap != 0; }
    bool16 GetSwapping() const override { return fSwap ? kTrue : kFalse; }
    StreamState GetStreamState() const override { return fState; }

protected:
    bool fSwap = false;
    StreamState fState = kStreamStateGood;
};

// Reads from bytes held in memory; file read streams load the file first.
class MemoryReadStream : public StreamBase {
public:
    explicit MemoryReadStream(std::string bytes) : fBytes(std::move(bytes)) {}
    bool16 IsReading() const override { return kTrue; }
    bool16 IsWriting() const override { return kFalse; }
    int32 XferByte(uchar* buf, int32 num) override {
        if (num < 0 || (!buf && num > 0)) return -1;
        size_t left = fBytes.size() - fPos;
        size_t n = std::min(left, static_cast<size_t>(num));
        if (n) std::memcpy(buf, fBytes.data() + fPos, n);
        fPos += n;
        if (fPos >= fBytes.size() && n < static_cast<size_t>(num)) fState = kStreamStateEOF;
        return static_cast<int32>(n);
    }
    int64 Seek(int64 offset, SeekFrom from) override {
        int64 base = from == kSeekFromStart ? 0 : from == kSeekFromCurrent ? static_cast<int64>(fPos)
                                                                            : static_cast<int64>(fBytes.size());
        int64 to = base + offset;
        if (to < 0 || to > static_cast<int64>(fBytes.size())) return -1;
        fPos = static_cast<size_t>(to);
        fState = kStreamStateGood;
        return to;
    }
    int64 GetPosition() const override { return static_cast<int64>(fPos); }
    void Flush() override {}
    bool16 Close() override { return kTrue; }

private:
    std::string fBytes;
    size_t fPos = 0;
};

// Collects written bytes; a file write stream stores them when it is closed.
class MemoryWriteStream : public StreamBase {
public:
    bool16 IsReading() const override { return kFalse; }
    bool16 IsWriting() const override { return kTrue; }
    int32 XferByte(uchar* buf, int32 num) override {
        if (num < 0 || (!buf && num > 0) || fClosed) return -1;
        if (fPos == fBytes.size()) {
            fBytes.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(num));
        } else {
            if (fPos + static_cast<size_t>(num) > fBytes.size()) fBytes.resize(fPos + static_cast<size_t>(num));
            std::memcpy(fBytes.data() + fPos, buf, static_cast<size_t>(num));
        }
        fPos += static_cast<size_t>(num);
        return num;
    }
    int64 Seek(int64 offset, SeekFrom from) override {
        int64 base = from == kSeekFromStart ? 0 : from == kSeekFromCurrent ? static_cast<int64>(fPos)
                                                                            : static_cast<int64>(fBytes.size());
        int64 to = base + offset;
        if (to < 0 || to > static_cast<int64>(fBytes.size())) return -1;
        fPos = static_cast<size_t>(to);
        return to;
    }
    int64 GetPosition() const override { return static_cast<int64>(fPos); }
    void Flush() override {}
    bool16 Close() override {
        fClosed = true;
        return kTrue;
    }
    const std::string& Bytes() const { return fBytes; }

protected:
    std::string fBytes;
    size_t fPos = 0;
    bool fClosed = false;
};

class FileReplaceStream final : public MemoryWriteStream {
public:
    explicit FileReplaceStream(IDFile file) : fFile(std::move(file)) {}
    ~FileReplaceStream() override {
        if (!fClosed) Close();
    }
    bool16 Close() override {
        if (fClosed) return fResult ? kTrue : kFalse;
        fClosed = true;
        fResult = FileUtils::WriteFileAtomically(fFile, fBytes);
        if (!fResult) fState = kStreamStateFailure;
        return fResult ? kTrue : kFalse;
    }

private:
    IDFile fFile;
    bool fResult = false;
};

class FileAppendStream final : public StreamBase {
public:
    explicit FileAppendStream(int fd) : fFd(fd) {}
    ~FileAppendStream() override { Close(); }
    bool16 IsReading() const override { return kFalse; }
    bool16 IsWriting() const override { return kTrue; }
    int32 XferByte(uchar* buf, int32 num) override {
        if (fFd < 0 || num < 0 || (!buf && num > 0)) return -1;
        int32 done = 0;
        while (done < num) {
            ssize_t n = ::write(fFd, buf + done, static_cast<size_t>(num - done));
            if (n < 0) {
                if (errno == EINTR) continue;
                fState = kStreamStateFailure;
                return -1;
            }
            done += static_cast<int32>(n);
        }
        return done;
    }
    int64 Seek(int64, SeekFrom) override { return -1; }
    int64 GetPosition() const override { return fFd < 0 ? -1 : static_cast<int64>(::lseek(fFd, 0, SEEK_CUR)); }
    void Flush() override {}
    bool16 Close() override {
        if (fFd < 0) return fState == kStreamStateFailure ? kFalse : kTrue;
        bool ok = ::close(fFd) == 0 && fState != kStreamStateFailure;
        fFd = -1;
        if (!ok) fState = kStreamStateFailure;
        return ok ? kTrue : kFalse;
    }

private:
    int fFd;
};

} // namespace

namespace StreamUtil {

IPMStream* CreateFileStreamRead(const IDFile& file, int32, FileTypeCode, FileTypeCode) {
    // Only a regular file of bounded size: a FIFO, a device or a link to one would block or
    // never end.
    std::string bytes;
    if (!FileUtils::ReadRegularFile(file, &bytes)) return nullptr;
    return new MemoryReadStream(std::move(bytes));
}

IPMStream* CreateFileStreamWrite(const IDFile& file, int32 mode, FileTypeCode, FileTypeCode) {
    if (file.IsEmpty() || FileUtils::IsDirectory(file)) return nullptr;
    if (mode & kOpenApp) return CreateFileStreamWriteAppend(file);
    // Refuse at once when the folder cannot take the file, as opening would.
    auto dir = file.Path().parent_path();
    if (!dir.empty() && !FileUtils::IsDirectory(IDFile(dir))) return nullptr;
    if (::access(dir.empty() ? "." : dir.c_str(), W_OK) != 0) return nullptr;
    return new FileReplaceStream(file);
}

IPMStream* CreateFileStreamWriteAppend(const IDFile& file) {
    int fd = ::open(file.Path().c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    return new FileAppendStream(fd);
}

IPMStream* CreateMemoryStreamRead(std::string bytes) { return new MemoryReadStream(std::move(bytes)); }

IPMStream* CreateMemoryStreamWrite() { return new MemoryWriteStream(); }

std::string GetMemoryStreamBytes(IPMStream* stream) {
    if (auto* m = dynamic_cast<MemoryWriteStream*>(stream)) return m->Bytes();
    return {};
}

} // namespace StreamUtil
