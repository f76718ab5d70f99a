#include "io/FileUtils.h"
#include "io/FileLock.h"

#include "base/HostConfig.h"

#include <cstdio>
#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace FileUtils {

namespace {
bool FolderUnder(const fs::path& root, const PMString& sub, IDFile* folder) {
    if (root.empty() || !folder) return false;
    fs::path p = root;
    if (!sub.IsEmpty()) p /= sub.GetUTF8String();
    *folder = IDFile(p);
    return true;
}
} // namespace

bool GetAppRoamingDataFolder(IDFile* folder, const PMString& subFolder) {
    return FolderUnder(HostConfig::Get().RoamingDataRoot(), subFolder, folder);
}

bool GetRecoveryFolder(IDFile* folder, const PMString& subFolder) {
    return FolderUnder(HostConfig::Get().RecoveryRoot(), subFolder, folder);
}

bool CreateFolderIfNeeded(const IDFile& folder, bool16 createParents) {
    std::error_code ec;
    if (fs::is_directory(folder.Path(), ec)) return true;
    if (createParents)
        fs::create_directories(folder.Path(), ec);
    else
        fs::create_directory(folder.Path(), ec);
    return fs::is_directory(folder.Path(), ec);
}

void AppendPath(IDFile* file, const PMString& name) {
    if (file) *file = IDFile(file->Path() / name.GetUTF8String());
}

bool DoesFileExist(const IDFile& file) {
    std::error_code ec;
    return fs::exists(file.Path(), ec);
}

bool IsDirectory(const IDFile& file) {
    std::error_code ec;
    return fs::is_directory(file.Path(), ec);
}

bool DeleteFile(const IDFile& file) {
    std::error_code ec;
    return fs::remove(file.Path(), ec);
}

PMString FileToURL(const IDFile& file) {
    std::error_code ec;
    fs::path p = fs::absolute(file.Path(), ec);
    if (ec) p = file.Path();
    std::string url = "file://";
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : p.generic_string()) {
        bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                     c == '/' || c == '-' || c == '_' || c == '.' || c == '~';
        if (plain) {
            url.push_back(static_cast<char>(c));
        } else {
            url.push_back('%');
            url.push_back(hex[c >> 4]);
            url.push_back(hex[c & 15]);
        }
    }
    PMString s(url);
    s.SetTranslatable(kFalse);
    return s;
}

bool URLToFile(const PMString& url, IDFile* file) {
    std::string u = url.GetUTF8String();
    if (u.rfind("file://", 0) != 0) {
        if (u.empty()) return false;
        *file = IDFile(fs::path(u));
        return true;
    }
    u.erase(0, 7);
    if (u.rfind("localhost/", 0) == 0) u.erase(0, 9);
    std::string path;
    for (size_t i = 0; i < u.size(); ++i) {
        auto hexval = [](char c) -> int {
            if (c >= '0' && c <= '9') return c - '0';
            if (c >= 'a' && c <= 'f') return c - 'a' + 10;
            if (c >= 'A' && c <= 'F') return c - 'A' + 10;
            return -1;
        };
        if (u[i] == '%' && i + 2 < u.size() + 0 && hexval(u[i + 1]) >= 0 && hexval(u[i + 2]) >= 0) {
            path.push_back(static_cast<char>(hexval(u[i + 1]) * 16 + hexval(u[i + 2])));
            i += 2;
        } else {
            path.push_back(u[i]);
        }
    }
    if (path.empty()) return false;
    *file = IDFile(fs::path(path));
    return true;
}

namespace {

// Writes bytes to a new temporary file beside target, with the permissions of the file it
// will replace (a new file gets the usual ones), synced. False, with what failed, when the
// folder cannot take it; nothing is left behind then.
bool WriteTemporary(const fs::path& target, const std::string& bytes, fs::path* temp, std::string* what) {
    fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    // The temporary name never looks like a file that a folder reader would pick up.
    std::string tmpl = (dir / (std::string(kTemporaryPrefix) + "XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        *what = "cannot create a temporary file beside";
        return false;
    }
    const char* p = bytes.data();
    size_t left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            ::unlink(tmpl.c_str());
            *what = "write failed for";
            return false;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    struct stat st {};
    if (::stat(target.c_str(), &st) == 0)
        ::fchmod(fd, st.st_mode & 07777);
    else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        ::fchmod(fd, 0666 & ~mask);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        ::unlink(tmpl.c_str());
        *what = "write failed for";
        return false;
    }
    *temp = tmpl;
    return true;
}

// A second name for the file's current content, under a temporary name beside it (a hard
// link, or a copy where the file system has none). Empty when it cannot be made.
fs::path KeepOldContent(const fs::path& target) {
    static std::mt19937_64 random{std::random_device{}()};
    const fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    for (int attempt = 0; attempt < 8; ++attempt) {
        char name[64];
        std::snprintf(name, sizeof name, "%skeep-%016llx", kTemporaryPrefix,
                      static_cast<unsigned long long>(random()));
        const fs::path keep = dir / name;
        if (::link(target.c_str(), keep.c_str()) == 0) return keep;
        if (errno == EEXIST) continue;
        std::string bytes, why;
        fs::path copy;
        if (ReadRegularFile(IDFile(target), &bytes) && WriteTemporary(target, bytes, &copy, &why)) return copy;
        return {};
    }
    return {};
}

} // namespace

bool WriteFileAtomically(const IDFile& file, const std::string& bytes, std::string* error) {
    auto fail = [&](const std::string& what) {
        if (error) *error = what + ": " + file.Path().string();
        return false;
    };
    fs::path target = file.Path();
    fs::path dir = target.parent_path().empty() ? fs::path(".") : target.parent_path();
    fs::path temp;
    std::string what;
    if (!WriteTemporary(target, bytes, &temp, &what)) return fail(what);
    FileLock::HandOver(target, temp);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return fail("cannot replace");
    }
    SyncFolder(IDFile(dir));
    RemoveStaleTemporaries(IDFile(dir));
    return true;
}

bool WriteFilesAtomically(const std::vector<std::pair<IDFile, std::string>>& files, std::string* error) {
    struct Step {
        fs::path target, temp, keep;
        bool existed = false;
    };
    std::vector<Step> steps(files.size());
    auto removeAll = [&](bool keeps) {
        for (const Step& s : steps) {
            if (!s.temp.empty()) ::unlink(s.temp.c_str());
            if (keeps && !s.keep.empty()) ::unlink(s.keep.c_str());
        }
    };
    // Every new content is written beside its file first: a folder that cannot take one
    // (full, read-only) fails the whole write before any file has changed.
    for (size_t i = 0; i < files.size(); ++i) {
        steps[i].target = files[i].first.Path();
        std::string what;
        if (!WriteTemporary(steps[i].target, files[i].second, &steps[i].temp, &what)) {
            removeAll(true);
            if (error) *error = what + ": " + steps[i].target.string();
            return false;
        }
    }
    // The old contents keep a second name until every new one is in place, to be put back
    // when a later file cannot be replaced.
    for (Step& s : steps) {
        struct stat st {};
        s.existed = ::lstat(s.target.c_str(), &st) == 0;
        if (!s.existed || !S_ISREG(st.st_mode)) continue;
        s.keep = KeepOldContent(s.target);
        if (s.keep.empty()) {
            removeAll(true);
            if (error) *error = "cannot keep the old content of " + s.target.string();
            return false;
        }
    }
    for (size_t i = 0; i < steps.size(); ++i) {
        Step& s = steps[i];
        FileLock::HandOver(s.target, s.temp);
        if (::rename(s.temp.c_str(), s.target.c_str()) == 0) {
            s.temp.clear();
            continue;
        }
        const std::string why = std::strerror(errno);
        // Back to what was there: the old content where there was a file, nothing where there
        // was none.
        for (size_t j = 0; j < i; ++j) {
            Step& done = steps[j];
            if (!done.keep.empty() && ::rename(done.keep.c_str(), done.target.c_str()) == 0)
                done.keep.clear();
            else if (!done.existed)
                ::unlink(done.target.c_str());
        }
        removeAll(true);
        if (error) *error = "cannot replace " + s.target.string() + ": " + why;
        return false;
    }
    std::vector<fs::path> dirs;
    for (const Step& s : steps) {
        fs::path dir = s.target.parent_path().empty() ? fs::path(".") : s.target.parent_path();
        if (std::find(dirs.begin(), dirs.end(), dir) == dirs.end()) dirs.push_back(dir);
    }
    removeAll(true);
    for (const fs::path& dir : dirs) {
        SyncFolder(IDFile(dir));
        RemoveStaleTemporaries(IDFile(dir));
    }
    return true;
}

} // namespace FileUtils

namespace FileUtils {

bool IsRegularFile(const IDFile& file) {
    struct stat st;
    return ::stat(file.Path().c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ReadRegularFile(const IDFile& file, std::string* bytes, std::string* error, uint64 maxSize) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    // Non-blocking, so that opening a FIFO does not wait for a writer; the mode is checked
    // on the opened descriptor, so the file cannot be swapped between check and read.
    int fd = ::open(file.Path().c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fail(std::string("cannot be opened: ") + std::strerror(errno));
    struct stat st;
    if (::fstat(fd, &st) != 0) {
        int e = errno;
        ::close(fd);
        return fail(std::string("cannot be read: ") + std::strerror(e));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        return fail(S_ISDIR(st.st_mode) ? "is a folder" : "is not a regular file");
    }
    if (static_cast<uint64>(st.st_size) > maxSize) {
        ::close(fd);
        return fail("is larger than " + std::to_string(maxSize) + " bytes");
    }
    std::string data;
    data.resize(static_cast<size_t>(st.st_size));
    size_t got = 0;
    for (;;) {
        if (got == data.size()) {
            // The file may have grown since fstat: read on, within the limit.
            if (data.size() >= maxSize + 1) break;
            data.resize(std::min<uint64>(maxSize + 1, data.size() + 65536));
        }
        ssize_t n = ::read(fd, data.data() + got, data.size() - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            int e = errno;
            ::close(fd);
            return fail(std::string("cannot be read: ") + std::strerror(e));
        }
        if (n == 0) break;
        got += static_cast<size_t>(n);
    }
    ::close(fd);
    if (got > maxSize) return fail("is larger than " + std::to_string(maxSize) + " bytes");
    data.resize(got);
    *bytes = std::move(data);
    return true;
}

} // namespace FileUtils

namespace FileUtils {

void SyncFolder(const IDFile& folder) {
    int fd = ::open(folder.Path().empty() ? "." : folder.Path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

void RemoveStaleTemporaries(const IDFile& folder) {
    const fs::path dir = folder.Path().empty() ? fs::path(".") : folder.Path();
    std::error_code ec;
    const auto now = fs::file_time_type::clock::now();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kTemporaryPrefix, 0) != 0) continue;
        std::error_code e;
        if (!it->is_regular_file(e) || it->is_symlink(e)) continue;
        const auto written = it->last_write_time(e);
        if (e || now - written < std::chrono::minutes(15)) continue;
        fs::remove(it->path(), e);
    }
}

namespace {

std::mutex gFolderMutex;
int gBatches = 0;
std::set<std::string> gPendingSyncs;
std::map<std::string, std::chrono::steady_clock::time_point> gCleaned;

} // namespace

void RemoveStaleTemporariesOnce(const IDFile& folder) {
    const std::string key = folder.Path().string();
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(gFolderMutex);
        auto it = gCleaned.find(key);
        if (it != gCleaned.end() && now - it->second < std::chrono::minutes(15)) return;
        if (gCleaned.size() >= 4096) gCleaned.clear();
        gCleaned[key] = now;
    }
    RemoveStaleTemporaries(folder);
}

void SyncFolderAfterReplace(const IDFile& folder) {
    {
        std::lock_guard<std::mutex> lock(gFolderMutex);
        if (gBatches > 0) {
            gPendingSyncs.insert(folder.Path().string());
            return;
        }
    }
    SyncFolder(folder);
}

FolderSyncBatch::FolderSyncBatch() {
    std::lock_guard<std::mutex> lock(gFolderMutex);
    ++gBatches;
}

FolderSyncBatch::~FolderSyncBatch() {
    std::set<std::string> due;
    {
        std::lock_guard<std::mutex> lock(gFolderMutex);
        if (--gBatches > 0) return;
        due.swap(gPendingSyncs);
    }
    for (const std::string& folder : due)
        SyncFolder(IDFile(fs::path(folder)));
}

bool StampOf(const std::filesystem::path& file, FileStamp* stamp) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return false;
    stamp->dev = st.st_dev;
    stamp->ino = st.st_ino;
    stamp->size = st.st_size;
    stamp->mtime = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    stamp->ctime = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    stamp->regular = S_ISREG(st.st_mode);
    return true;
}

bool IsSettled(const FileStamp& stamp) {
    timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    const long long at = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
    constexpr long long kTwoSeconds = 2000000000LL;
    return at - stamp.mtime > kTwoSeconds && at - stamp.ctime > kTwoSeconds;
}

} // namespace FileUtils
