// Runs one command over many documents: in this process, or in worker processes (-j) whose
// output is printed in argument order as each document and all before it are done; then the
// summary line and the folded exit code.
#pragma once

#include "AppContext.h"

#include <functional>
#include <string>
#include <vector>

// The test hook $BRINDLE_COMMIT_FAULT for the groups a command commits: "sync" makes a group's
// sync fail, "rename:NAME" the rename of every file named NAME.
void ApplyCommitFaultFromEnvironment();

class BatchRunner {
public:
    struct Settings {
        int jobs = 0;          // worker processes; 0: the machine's cores
        bool quiet = false;    // no summary line, no progress
        bool jsonl = false;    // one JSON object a line, then the summary object
        bool json = false;     // with several documents, one object with a "documents" list
        bool parallel = false; // whether the command may run in several processes at all
        bool summary = false;  // a summary line even for one document (folders or a list given)
        bool withoutLifecycle = false; // documents open and close without the plug-in's signals
        // The documents' new files are made durable and put in place in groups (see
        // FileReplace::Group): a document counts as saved, and its result is printed, once
        // its group is committed. Only for a run over more than one document.
        bool groupCommit = false;
        std::string verb = "read";
        // Adds -j, -q and --jsonl to the command; --json is the command's own.
        void AddOptions(CLI::App* command, bool withJobs);
    };
    using Task = std::function<DocumentResult(const std::string& file)>;

    BatchRunner(const GlobalOptions& options, Settings settings)
        : fOptions(options), fSettings(std::move(settings)) {}
    // Starts the host (once per process) and runs the task on every file.
    int Run(const std::vector<std::string>& files, const Task& task);

    // How many documents a group holds at most: $BRINDLE_COMMIT_GROUP when it is a number from
    // 1 up, else 64. A group is also committed once it has waited half a second.
    static size_t GroupSize();

private:
    int RunGrouped(const std::vector<std::string>& files, const Task& task);
    int RunHere(const std::vector<std::string>& files, const Task& task);
    int RunWorkers(const std::vector<std::string>& files, const Task& task, size_t workers);
    void Begin(size_t count);
    int End(size_t count, const class RunSummary& summary);

    const GlobalOptions& fOptions;
    Settings fSettings;
    bool fGrouped = false;
};
