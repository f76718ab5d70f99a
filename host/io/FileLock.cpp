#include "io/FileLock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// The locks this process holds, for HandOver. One thread works on files at a time (the
// host's main thread), so no mutex.
std::vector<FileLock*>& Live() {
    static std::vector<FileLock*> live;
    return live;
}

std::function<void()>& BeforeWait() {
    static std::function<void()> hook;
    return hook;
}

std::string Seconds(double s) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", s);
    return buf;
}

} // namespace

double FileLock::Timeout() {
    const char* text = std::getenv("BRINDLE_LOCK_TIMEOUT");
    if (text && *text) {
        char* end = nullptr;
        const double v = std::strtod(text, &end);
        if (end && *end == '\0' && std::isfinite(v) && v >= 0) return v;
    }
    return 30;
}

FileLock::Outcome FileLock::Acquire(const fs::path& file, Kind kind, std::unique_ptr<FileLock>* lock,
                                    std::string* error) {
    auto say = [&](const std::string& why) {
        if (error) *error = why;
    };
    const double timeout = Timeout();
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::microseconds(static_cast<int64_t>(timeout * 1e6));
    auto pause = std::chrono::milliseconds(2);
    bool waited = false;
    for (;;) {
        // Non-blocking, so that a FIFO in a document's place does not wait for a writer.
        const int flags = kind == Kind::kLockFile ? O_RDWR | O_CREAT | O_CLOEXEC : O_RDONLY | O_NONBLOCK | O_CLOEXEC;
        const int fd = ::open(file.c_str(), flags, 0666);
        if (fd < 0) {
            if (kind == Kind::kDocument && errno == ENOENT) return Outcome::kNotAFile;
            say("cannot open " + file.string() + " to lock it: " + std::strerror(errno));
            return Outcome::kFailed;
        }
        struct stat held {};
        if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode)) {
            ::close(fd);
            if (kind == Kind::kDocument) return Outcome::kNotAFile;
            say(file.string() + " is not a regular file and cannot serve as a lock");
            return Outcome::kFailed;
        }
        // Within this process a second lock on the same file would wait for itself.
        for (FileLock* l : Live()) {
            if (l->Holds(held.st_dev, held.st_ino)) {
                ::close(fd);
                say(file.string() + " is already locked by this process");
                return Outcome::kFailed;
            }
        }
        bool locked = false;
        for (;;) {
            if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
                locked = true;
                break;
            }
            if (errno == EINTR) continue;
            if (errno != EWOULDBLOCK) {
                say("cannot lock " + file.string() + ": " + std::strerror(errno));
                ::close(fd);
                return Outcome::kFailed;
            }
            if (std::chrono::steady_clock::now() >= deadline) break;
            if (!waited && BeforeWait()) {
                waited = true;
                // A copy: the hook may clear itself.
                const std::function<void()> hook = BeforeWait();
                hook();
                continue;
            }
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                pause, deadline - std::chrono::steady_clock::now()));
            pause = std::min(pause * 2, std::chrono::milliseconds(100));
        }
        if (!locked) {
            ::close(fd);
            say(file.string() + " is locked by another process (waited " + Seconds(timeout) +
                " s; BRINDLE_LOCK_TIMEOUT sets the wait)");
            return Outcome::kTimedOut;
        }
        // The name may have moved on to another inode while we waited (the holder replaced
        // the file, or removed a lock file): the lock must be on what the name is now.
        struct stat now {};
        if (::stat(file.c_str(), &now) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino) {
            std::unique_ptr<FileLock> l(new FileLock(file));
            l->fFds.push_back(fd);
            l->fInodes.emplace_back(held.st_dev, held.st_ino);
            Live().push_back(l.get());
            *lock = std::move(l);
            return Outcome::kLocked;
        }
        ::close(fd);
        if (std::chrono::steady_clock::now() >= deadline && timeout > 0) {
            say(file.string() + " kept changing while it was being locked");
            return Outcome::kTimedOut;
        }
    }
}

bool FileLock::Holds(dev_t dev, ino_t ino) const {
    return std::find(fInodes.begin(), fInodes.end(), std::make_pair(dev, ino)) != fInodes.end();
}

void FileLock::HandOver(const fs::path& replaced, const fs::path& replacement) {
    if (Live().empty()) return;
    struct stat st {};
    if (::stat(replaced.c_str(), &st) != 0) return;
    for (FileLock* l : Live()) {
        if (!l->Holds(st.st_dev, st.st_ino)) continue;
        const int fd = ::open(replacement.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        struct stat fresh {};
        // Nobody else knows the new file yet, so the lock is there to take.
        if (fd < 0) return;
        if (::fstat(fd, &fresh) != 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            ::close(fd);
            return;
        }
        l->fFds.push_back(fd);
        l->fInodes.emplace_back(fresh.st_dev, fresh.st_ino);
        return;
    }
}

void FileLock::SetBeforeWait(std::function<void()> hook) {
    BeforeWait() = std::move(hook);
}

FileLock::~FileLock() {
    auto& live = Live();
    live.erase(std::remove(live.begin(), live.end(), this), live.end());
    // Closing the descriptor releases its lock.
    for (int fd : fFds)
        ::close(fd);
}
