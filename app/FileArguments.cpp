#include "FileArguments.h"

#include "AppContext.h"
#include "io/FolderWalk.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <iostream>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool IsFolder(const std::string& name) {
    std::error_code ec;
    return fs::is_directory(name, ec);
}

} // namespace

void FileArguments::AddOptions(CLI::App* command) {
    command->add_flag("-r,--recursive", fRecursive, "Take the files of folders and their sub-folders");
    command->add_flag("-L,--follow-links", fFollowLinks,
                      "With -r, follow symbolic links (not followed otherwise)");
    command
        ->add_option("--ext", fExtensions,
                     "With -r or --files-from, only files ending in these (jpg,pdf,idml)")
        ->delimiter(',')
        ->allow_extra_args(false);
    command->add_option("--files-from", fFilesFrom,
                        "Read the documents' names from FILE, one a line (- for standard input)");
    command->add_flag("-0,--null", fNulSeparated, "With --files-from, names are separated by NUL bytes");
}

bool FileArguments::Wanted(const std::string& name) const {
    if (fExtensions.empty()) return true;
    const std::string ext = Lower(fs::path(name).extension().string());
    for (std::string e : fExtensions) {
        e = Lower(e);
        if (!e.empty() && e[0] != '.') e = "." + e;
        if (ext == e) return true;
    }
    return false;
}

bool FileArguments::ReadList(std::vector<std::string>* files, std::string* error) const {
    std::ifstream file;
    std::istream* in = &std::cin;
    if (fFilesFrom != "-") {
        file.open(fFilesFrom, std::ios::binary);
        if (!file) {
            *error = fFilesFrom + ": the list of files cannot be read";
            return false;
        }
        in = &file;
    }
    const char separator = fNulSeparated ? '\0' : '\n';
    for (std::string line; std::getline(*in, line, separator);) {
        if (!fNulSeparated && !line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (Wanted(line)) files->push_back(line);
    }
    if (in->bad()) {
        *error = fFilesFrom + ": the list of files could not be read to its end";
        return false;
    }
    return true;
}

bool FileArguments::Expand(const std::vector<std::string>& args, std::vector<std::string>* files,
                           std::string* error) const {
    std::vector<std::string> all;
    for (const std::string& a : args) {
        if (!IsFolder(a)) {
            all.push_back(a);
            continue;
        }
        if (!fRecursive) {
            *error = a + " is a folder (use -r to take its files)";
            return false;
        }
        // A walk's sidecars are the sidecars of its documents, dropped below with them; a
        // bare packet with no document beside it is a document of its own.
        FolderWalk::Walk(
            a, fFollowLinks,
            [&](const fs::path& p) {
                const std::string name = p.string();
                // Our own interrupted writes are never documents.
                if (p.filename().string().rfind(".brindle-tmp-", 0) == 0) return;
                if (Wanted(name) || Lower(p.extension().string()) == ".xmp") all.push_back(name);
            },
            [](const fs::path& p, const std::error_code& ec) {
                std::cerr << "brindle: warning: " << p.string() << ": " << ec.message() << std::endl;
            });
    }
    if (!fFilesFrom.empty() && !ReadList(&all, error)) return false;
    // A sidecar let in only for its document goes when the document is not taken.
    std::vector<std::string> kept = WithoutListedSidecars(all);
    if (!fExtensions.empty() && !Wanted(".xmp")) {
        std::vector<std::string> filtered;
        for (const std::string& f : kept) {
            const bool named = std::find(args.begin(), args.end(), f) != args.end();
            if (named || Lower(fs::path(f).extension().string()) != ".xmp") filtered.push_back(f);
        }
        kept.swap(filtered);
    }
    *files = std::move(kept);
    return true;
}
