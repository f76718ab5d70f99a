// The documents a command is given: names, folders walked with -r, lists read with
// --files-from, filtered by --ext.
#pragma once

#include <CLI/CLI.hpp>
#include <string>
#include <vector>

class FileArguments {
public:
    // Adds -r/--recursive, -L/--follow-links, --ext, --files-from and -0 to the command.
    void AddOptions(CLI::App* command);
    // The documents in argument order (a folder's files in name order, then the list's
    // names), a document's sidecar dropped when the document is named too. A folder given
    // without -r, or a list that cannot be read, is a usage error.
    bool Expand(const std::vector<std::string>& args, std::vector<std::string>* files,
                std::string* error) const;
    // Whether names may come from elsewhere than the command line (then none there is fine).
    bool HasList() const { return !fFilesFrom.empty(); }
    // Whether folders or a list were asked for: a run that may touch many files.
    bool Expands() const { return fRecursive || !fFilesFrom.empty(); }

private:
    bool Wanted(const std::string& name) const;
    bool ReadList(std::vector<std::string>* files, std::string* error) const;

    bool fRecursive = false;
    bool fFollowLinks = false;
    bool fNulSeparated = false;
    std::vector<std::string> fExtensions;
    std::string fFilesFrom;
};
