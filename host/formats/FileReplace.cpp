#include "formats/FileReplace.h"

#include "io/FileLock.h"
#include "io/FileUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace FileReplace {

namespace {

void Say(std::string* error, const std::string& what) {
    if (error) *error = what;
}

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(const fs::path& p, std::string* bytes) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bytes->clear();
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        bytes->append(buf, static_cast<size_t>(n));
    }
    return ::close(fd) == 0;
}

// Replaces the content of the file open as fd with bytes, and syncs it.
bool Overwrite(int fd, const std::string& bytes) {
    return ::ftruncate(fd, 0) == 0 && ::lseek(fd, 0, SEEK_SET) == 0 &&
           WriteAll(fd, bytes.data(), bytes.size()) && ::fsync(fd) == 0;
}

// Every extended attribute of `from` (ACLs included) set on the open file `to`. An attribute
// that the file system refuses for want of privilege (a trusted.* one) is not ours to keep.
bool CopyAttributes(const fs::path& from, int to) {
    ssize_t size = ::llistxattr(from.c_str(), nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    if (size == 0) return true;
    std::vector<char> names(static_cast<size_t>(size));
    size = ::llistxattr(from.c_str(), names.data(), names.size());
    if (size < 0) return false;
    for (size_t i = 0; i < static_cast<size_t>(size);) {
        const char* name = names.data() + i;
        i += std::strlen(name) + 1;
        ssize_t len = ::lgetxattr(from.c_str(), name, nullptr, 0);
        if (len < 0) return false;
        std::vector<char> value(static_cast<size_t>(len));
        len = ::lgetxattr(from.c_str(), name, value.data(), value.size());
        if (len < 0) return false;
        if (::fsetxattr(to, name, value.data(), static_cast<size_t>(len), 0) != 0 && errno != EPERM)
            return false;
    }
    return true;
}

} // namespace

bool MakeTemp(const fs::path& real, fs::path* temp) {
    const std::string ext = real.extension().string();
    std::string tmpl = (real.parent_path() / (std::string(FileUtils::kTemporaryPrefix) + "XXXXXX" + ext)).string();
    int fd = ::mkstemps(tmpl.data(), static_cast<int>(ext.size()));
    if (fd < 0) return false;
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    ::close(fd);
    *temp = tmpl;
    return true;
}

bool WriteTemp(const fs::path& real, const std::string& bytes, fs::path* temp) {
    if (!MakeTemp(real, temp)) return false;
    int fd = ::open(temp->c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const bool ok = fd >= 0 && WriteAll(fd, bytes.data(), bytes.size());
    if ((fd >= 0 && ::close(fd) != 0) || !ok) {
        ::unlink(temp->c_str());
        temp->clear();
        return false;
    }
    return true;
}

bool Commit(const fs::path& temp, const fs::path& real, std::string* error) {
    struct Cleanup {
        const fs::path& p;
        ~Cleanup() { ::unlink(p.c_str()); }
    } cleanup{temp};
    struct stat st {};
    if (::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Say(error, "the file is gone");
        return false;
    }
    if (st.st_nlink > 1) {
        // Written in place so that every name of the file sees the new content; the old
        // content is kept beside it until the new one reads back whole.
        std::string fresh, old;
        if (!ReadAll(temp, &fresh) || !ReadAll(real, &old)) {
            Say(error, "cannot read the file");
            return false;
        }
        fs::path keep;
        if (!WriteTemp(real, old, &keep)) {
            Say(error, "cannot keep a copy of the file beside it");
            return false;
        }
        int fd = ::open(real.c_str(), O_RDWR | O_CLOEXEC);
        if (fd < 0) {
            ::unlink(keep.c_str());
            Say(error, "cannot open the file for writing");
            return false;
        }
        std::string back;
        bool ok = Overwrite(fd, fresh) && ReadAll(real, &back) && back == fresh;
        if (!ok && !Overwrite(fd, old)) {
            ::close(fd);
            Say(error,
                "the write failed and the old content could not be put back; it is kept in " + keep.string());
            return false;
        }
        ::close(fd);
        ::unlink(keep.c_str());
        if (!ok) Say(error, "the new content did not read back; the file is as it was");
        return ok;
    }
    int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        Say(error, "cannot open the new file");
        return false;
    }
    bool ok = CopyAttributes(real, fd);
    // The owner first (only a privileged process can give a file away; otherwise the file was
    // ours anyway), then the mode, which a change of owner may have cleared of setuid/setgid.
    struct stat mine {};
    if (ok && ::fstat(fd, &mine) == 0 && (mine.st_uid != st.st_uid || mine.st_gid != st.st_gid)) {
        if (::fchown(fd, st.st_uid, st.st_gid) != 0) (void)::fchown(fd, static_cast<uid_t>(-1), st.st_gid);
    }
    ok = ok && ::fchmod(fd, st.st_mode & 07777) == 0 && ::fsync(fd) == 0;
    ::close(fd);
    if (!ok) {
        Say(error, "cannot give the new file the attributes of the old one");
        return false;
    }
    // A lock this process holds on the file moves to the new content with it.
    FileLock::HandOver(real, temp);
    if (::rename(temp.c_str(), real.c_str()) != 0) {
        Say(error, std::string("cannot replace the file: ") + std::strerror(errno));
        return false;
    }
    FileUtils::SyncFolderAfterReplace(IDFile(real.parent_path()));
    FileUtils::RemoveStaleTemporariesOnce(IDFile(real.parent_path()));
    return true;
}

} // namespace FileReplace
