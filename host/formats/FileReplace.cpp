#include "formats/FileReplace.h"

#include "io/FileLock.h"
#include "io/FileUtils.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <set>
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

namespace {

// MakeTemp, keeping the new file open for writing: its descriptor, or -1.
int OpenTemp(const fs::path& real, fs::path* temp) {
    const std::string ext = real.extension().string();
    std::string tmpl = (real.parent_path() / (std::string(FileUtils::kTemporaryPrefix) + "XXXXXX" + ext)).string();
    const int fd = ::mkstemps(tmpl.data(), static_cast<int>(ext.size()));
    if (fd < 0) return -1;
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    *temp = tmpl;
    return fd;
}

} // namespace

bool MakeTemp(const fs::path& real, fs::path* temp) {
    const int fd = OpenTemp(real, temp);
    return fd >= 0 && ::close(fd) == 0;
}

bool WriteTemp(const fs::path& real, const std::string& bytes, fs::path* temp) {
    // Written through the descriptor that made it: the file is opened once.
    const int fd = OpenTemp(real, temp);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, bytes.data(), bytes.size());
    if (::close(fd) != 0 || !ok) {
        ::unlink(temp->c_str());
        temp->clear();
        return false;
    }
    return true;
}

bool Commit(const fs::path& temp, const fs::path& real, std::string* error) {
    struct Cleanup {
        const fs::path& p;
        bool keep = false;
        ~Cleanup() {
            if (!keep) ::unlink(p.c_str());
        }
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
    Group* group = Group::Current();
    ok = ok && ::fchmod(fd, st.st_mode & 07777) == 0 && (group || ::fsync(fd) == 0);
    ::close(fd);
    if (!ok) {
        Say(error, "cannot give the new file the attributes of the old one");
        return false;
    }
    if (group) {
        // Synced and renamed with the rest of the group.
        group->Keep(temp, real);
        cleanup.keep = true;
        return true;
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

namespace {
Group* gCurrent = nullptr;
Group::Fault gFault;
} // namespace

struct Group::Document {
    size_t number = 0;
    std::vector<std::pair<fs::path, fs::path>> files; // the waiting file, the file it replaces
    std::vector<std::pair<dev_t, ino_t>> replaced;     // the file it replaces, as it was kept
    std::vector<std::pair<std::function<void()>, bool>> actions; // with "only when committed"
};

Group::Group(Sync sync) : fSync(sync), fOuter(gCurrent) {
    gCurrent = this;
    // A lock another process waits for may be one of ours, held only until the group commits:
    // before waiting for someone else's, what waits here is committed and its documents closed.
    FileLock::SetBeforeWait([] {
        if (gCurrent && !gCurrent->fCommitting) gCurrent->Commit();
    });
}

Group::~Group() {
    std::vector<Document> left;
    left.swap(fDocuments);
    for (Document& d : left)
        for (const auto& f : d.files)
            ::unlink(f.first.c_str());
    for (Document& d : left)
        for (auto& a : d.actions)
            if (!a.second) a.first();
    gCurrent = fOuter;
    if (!gCurrent) FileLock::SetBeforeWait(nullptr);
}

Group* Group::Current() {
    return gCurrent;
}

void Group::SetFault(const Fault& fault) {
    gFault = fault;
}

size_t Group::BeginDocument() {
    Document d;
    d.number = fNext++;
    fDocuments.push_back(std::move(d));
    return fDocuments.back().number;
}

size_t Group::Documents() const {
    return fDocuments.size();
}

size_t Group::Waiting() const {
    size_t n = 0;
    for (const Document& d : fDocuments)
        n += d.files.empty() ? 0 : 1;
    return n;
}

void Group::Keep(const fs::path& temp, const fs::path& real) {
    if (fDocuments.empty()) BeginDocument();
    fDocuments.back().files.emplace_back(temp, real);
    // Its identity, for IsWaiting: a waiting file stays in place until the group renames it.
    struct stat st {};
    const bool known = ::stat(real.c_str(), &st) == 0;
    fDocuments.back().replaced.emplace_back(known ? st.st_dev : 0, known ? st.st_ino : 0);
}

void Group::AddAction(std::function<void()> action, bool onlyWhenCommitted) {
    if (fDocuments.empty() || fDocuments.back().files.empty()) {
        action();
        return;
    }
    fDocuments.back().actions.emplace_back(std::move(action), onlyWhenCommitted);
}

namespace {

// Every waiting file's bytes and attributes on disk; false with the reason when any is not.
bool SyncAll(const std::vector<fs::path>& files, Group::Sync how, std::string* why) {
    if (gFault.sync) {
        *why = "the new files could not be synced to disk (a fault set for a test)";
        return false;
    }
    std::vector<int> fds;
    bool ok = true;
    for (const fs::path& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            *why = "cannot open " + f.string() + " to sync it: " + std::strerror(errno);
            ok = false;
            break;
        }
        fds.push_back(fd);
    }
    if (ok && how == Group::Sync::kEachFile) {
        // Write-back of all of them started first, so that each sync finds its blocks on the
        // way rather than writing them one file at a time.
        for (int fd : fds)
            ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
        for (size_t i = 0; ok && i < fds.size(); ++i) {
            if (::fsync(fds[i]) != 0) {
                *why = "cannot sync " + files[i].string() + ": " + std::strerror(errno);
                ok = false;
            }
        }
    } else if (ok) {
        std::set<dev_t> done;
        for (size_t i = 0; ok && i < fds.size(); ++i) {
            struct stat st {};
            if (::fstat(fds[i], &st) != 0 || done.count(st.st_dev)) continue;
            done.insert(st.st_dev);
            if (::syncfs(fds[i]) != 0) {
                *why = std::string("cannot sync the file system: ") + std::strerror(errno);
                ok = false;
            }
        }
    }
    for (int fd : fds)
        ::close(fd);
    return ok;
}

} // namespace

void Group::Commit(bool keepCurrent) {
    if (fCommitting) return;
    fCommitting = true;
    // A document begun but with nothing waiting yet (its writer is at work) stays begun.
    std::vector<Document> docs;
    docs.swap(fDocuments);
    if (!docs.empty() && docs.back().files.empty() && docs.back().actions.empty()) {
        fDocuments.push_back(std::move(docs.back()));
        docs.pop_back();
    }
    if (keepCurrent && fDocuments.empty() && !docs.empty()) {
        Document current;
        current.number = docs.back().number;
        fDocuments.push_back(std::move(current));
    }
    std::vector<fs::path> temps;
    for (const Document& d : docs)
        for (const auto& f : d.files)
            temps.push_back(f.first);
    std::string syncError;
    const bool synced = temps.empty() || SyncAll(temps, fSync, &syncError);

    std::set<std::string> folders;
    std::vector<Result> results(docs.size());
    for (size_t i = 0; i < docs.size(); ++i) {
        Result& r = results[i];
        if (docs[i].files.empty()) continue;
        r.outcome = synced ? Outcome::kCommitted : Outcome::kFailed;
        if (!synced) r.error = syncError + "; the file is as it was";
        size_t renamed = 0;
        for (const auto& [temp, real] : docs[i].files) {
            if (r.outcome != Outcome::kCommitted) {
                ::unlink(temp.c_str());
                continue;
            }
            // A lock this process holds on the file moves to the new content with it.
            FileLock::HandOver(real, temp);
            const bool fault = !gFault.renameName.empty() && real.filename() == gFault.renameName;
            if (fault || ::rename(temp.c_str(), real.c_str()) != 0) {
                const std::string why = fault ? "a fault set for a test" : std::strerror(errno);
                ::unlink(temp.c_str());
                r.outcome = Outcome::kFailed;
                r.error = "cannot replace " + real.string() + ": " + why +
                          (renamed ? "; the document's other files were replaced" : "; the file is as it was");
                continue;
            }
            ++renamed;
            folders.insert(real.parent_path().string());
        }
    }
    // The new names made durable, once per folder.
    for (const std::string& folder : folders) {
        FileUtils::SyncFolder(IDFile(fs::path(folder)));
        FileUtils::RemoveStaleTemporariesOnce(IDFile(fs::path(folder)));
    }
    for (size_t i = 0; i < docs.size(); ++i)
        for (auto& [action, onlyWhenCommitted] : docs[i].actions)
            if (!onlyWhenCommitted || results[i].outcome == Outcome::kCommitted) action();
    for (size_t i = 0; i < docs.size(); ++i)
        fResults.emplace_back(docs[i].number, std::move(results[i]));
    fCommitting = false;
}

bool Group::IsWaiting(const fs::path& real) const {
    struct stat want {};
    if (::stat(real.c_str(), &want) != 0) return false;
    // One stat, not one for each waiting file: a batch asks this before every document it writes.
    for (const Document& d : fDocuments) {
        for (size_t i = 0; i < d.files.size(); ++i) {
            if (d.files[i].second == real) return true;
            const auto& [dev, ino] = d.replaced[i];
            if (ino != 0 && dev == want.st_dev && ino == want.st_ino) return true;
        }
    }
    return false;
}

void BeforeWriting(const fs::path& real) {
    Group* group = Group::Current();
    if (group && group->Waiting() > 0 && group->IsWaiting(real)) group->Commit(true);
}

std::vector<std::pair<size_t, Group::Result>> Group::TakeResults() {
    std::vector<std::pair<size_t, Result>> out;
    out.swap(fResults);
    return out;
}

void AfterCommit(std::function<void()> action) {
    if (Group* g = Group::Current())
        g->AddAction(std::move(action), true);
    else
        action();
}

void WhenDone(std::function<void()> action) {
    if (Group* g = Group::Current())
        g->AddAction(std::move(action), false);
    else
        action();
}

} // namespace FileReplace
