#include "io/FolderWalk.h"

#include <algorithm>
#include <set>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Identity = std::pair<dev_t, ino_t>;

void WalkFolder(const fs::path& folder, bool followLinks, std::set<Identity>& open,
                const FolderWalk::FileFound& onFile, const FolderWalk::Fault& onFault) {
    struct stat st;
    if (::stat(folder.c_str(), &st) != 0) {
        onFault(folder, std::error_code(errno, std::generic_category()));
        return;
    }
    const Identity self{st.st_dev, st.st_ino};
    if (!open.insert(self).second) return;
    std::error_code ec;
    // Names are sorted so that a run over the same tree lists it the same way everywhere.
    std::vector<fs::directory_entry> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        entries.push_back(*it);
    if (ec) onFault(folder, ec);
    std::sort(entries.begin(), entries.end(),
              [](const fs::directory_entry& a, const fs::directory_entry& b) { return a.path() < b.path(); });
    for (const fs::directory_entry& e : entries) {
        std::error_code typeError;
        const bool link = e.is_symlink(typeError);
        // As find does without -L: a link, to a file or a folder, is not taken.
        if (link && !followLinks) continue;
        if (e.is_directory(typeError))
            WalkFolder(e.path(), followLinks, open, onFile, onFault);
        else if (e.is_regular_file(typeError))
            onFile(e.path());
    }
    open.erase(self);
}

} // namespace

void FolderWalk::Walk(const fs::path& root, bool followLinks, const FileFound& onFile, const Fault& onFault) {
    std::set<Identity> open;
    WalkFolder(root, followLinks, open, onFile, onFault);
}
