#include "BatchRunner.h"

#include "commands/CmdUtils.h"
#include "formats/FileReplace.h"
#include "io/FileUtils.h"

#include "ProgressLine.h"
#include "RunSummary.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <map>
#include <set>
#include <signal.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, void* data, size_t size) {
    char* p = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// One document's result as a worker sends it: code, outcome, then its standard output and
// standard error, each with its length.
struct Frame {
    DocumentResult result;
    std::string out, err;
};

bool SendFrame(int fd, const Frame& f) {
    const int32_t head[2] = {f.result.code, static_cast<int32_t>(f.result.outcome)};
    const uint64_t sizes[2] = {f.out.size(), f.err.size()};
    return WriteAll(fd, head, sizeof head) && WriteAll(fd, sizes, sizeof sizes) &&
           WriteAll(fd, f.out.data(), f.out.size()) && WriteAll(fd, f.err.data(), f.err.size());
}

bool ReceiveFrame(int fd, Frame* f) {
    int32_t head[2];
    uint64_t sizes[2];
    if (!ReadAll(fd, head, sizeof head) || !ReadAll(fd, sizes, sizeof sizes)) return false;
    f->result.code = head[0];
    f->result.outcome = static_cast<DocumentOutcome>(head[1]);
    f->out.resize(sizes[0]);
    f->err.resize(sizes[1]);
    return ReadAll(fd, f->out.data(), f->out.size()) && ReadAll(fd, f->err.data(), f->err.size());
}

// Standard output and standard error into strings while the object lives.
class Capture {
public:
    Capture() : fOut(std::cout.rdbuf(fOutText.rdbuf())), fErr(std::cerr.rdbuf(fErrText.rdbuf())) {}
    ~Capture() {
        std::cout.rdbuf(fOut);
        std::cerr.rdbuf(fErr);
    }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;
    std::string Out() const { return fOutText.str(); }
    std::string Err() const { return fErrText.str(); }

private:
    std::ostringstream fOutText, fErrText;
    std::streambuf* fOut;
    std::streambuf* fErr;
};

// Runs the task on documents one after another, their new files waiting in a group that is
// committed every GroupSize() documents (or after half a second): each document's output and
// result are handed on, in order, only once its group is committed. A document of the group
// that was not committed is reported as failed, with the reason, in place of its output.
class GroupedTasks {
public:
    using Emit = std::function<void(Frame&)>;
    GroupedTasks(const BatchRunner::Task& task, bool json, Emit emit)
        : fTask(task), fJSON(json), fEmit(std::move(emit)), fSize(BatchRunner::GroupSize()),
          fUndoWas(CmdUtils::UndoHistoryOn()) {
        ApplyCommitFaultFromEnvironment();
        // Each document is closed once its group is done, with no one to undo its changes.
        CmdUtils::SetUndoHistory(false);
    }
    ~GroupedTasks() {
        Flush();
        CmdUtils::SetUndoHistory(fUndoWas);
    }

    void Run(const std::string& file) {
        // A document already waiting in the group (named twice, or by another name) is
        // committed and closed before it is opened again.
        struct stat st {};
        bool known = ::stat(file.c_str(), &st) == 0;
        if (known && fIds.count({st.st_dev, st.st_ino})) {
            Flush();
            // Committed: the name now stands for the new file.
            known = ::stat(file.c_str(), &st) == 0;
        }
        const auto id = std::make_pair(st.st_dev, st.st_ino);
        if (fPending.empty()) fStart = std::chrono::steady_clock::now();
        Pending p;
        p.file = file;
        p.number = fGroup.BeginDocument();
        {
            Capture capture;
            p.frame.result = fTask(file);
            std::cout.flush();
            p.frame.out = capture.Out();
            p.frame.err = capture.Err();
        }
        fPending.push_back(std::move(p));
        if (known) fIds.insert(id);
        if (fGroup.Waiting() >= fSize ||
            std::chrono::steady_clock::now() - fStart >= std::chrono::milliseconds(500))
            Flush();
    }

    void Flush() {
        if (fPending.empty()) return;
        std::string out, err;
        {
            // What the documents' signals and closing print goes with the group's first document.
            Capture capture;
            fGroup.Commit();
            std::cout.flush();
            out = capture.Out();
            err = capture.Err();
        }
        std::map<size_t, FileReplace::Group::Result> results;
        // A document committed in parts (saved again before its group was done) failed when
        // any part did.
        for (auto& [number, result] : fGroup.TakeResults()) {
            auto& r = results[number];
            if (r.outcome != FileReplace::Group::Outcome::kFailed) r = std::move(result);
        }
        std::vector<Pending> pending;
        pending.swap(fPending);
        fIds.clear();
        for (Pending& p : pending) {
            Frame& f = p.frame;
            const auto r = results.find(p.number);
            if (r != results.end() && r->second.outcome == FileReplace::Group::Outcome::kFailed) {
                // Nothing it printed holds: the document is not saved.
                f.result = {kExitIO, DocumentOutcome::kFailed};
                f.out.clear();
                if (fJSON) {
                    Capture capture;
                    PrintJSON({{"file", p.file}, {"error", r->second.error}});
                    std::cout.flush();
                    f.out = capture.Out();
                }
                f.err += "brindle: error: " + p.file + ": " + r->second.error + "\n";
            }
            f.out = out + f.out;
            f.err = err + f.err;
            out.clear();
            err.clear();
            fEmit(f);
        }
    }

private:
    struct Pending {
        std::string file;
        size_t number = 0;
        Frame frame;
    };
    const BatchRunner::Task& fTask;
    bool fJSON;
    Emit fEmit;
    size_t fSize;
    FileReplace::Group fGroup;
    std::vector<Pending> fPending;
    std::set<std::pair<dev_t, ino_t>> fIds;
    std::chrono::steady_clock::time_point fStart;
    bool fUndoWas;
};

// Worker k takes the documents k, k + n, k + 2n, ... and sends each one's result in turn.
[[noreturn]] void Work(const GlobalOptions& options, const std::vector<std::string>& files,
                       const BatchRunner::Task& task, size_t k, size_t n, int fd, bool grouped, bool json) {
    int status = 0;
    {
        std::ostringstream out, err;
        std::streambuf* coutBuf = std::cout.rdbuf(out.rdbuf());
        std::streambuf* cerrBuf = std::cerr.rdbuf(err.rdbuf());
        {
            HostSessionScope host(options);
            FileUtils::FolderSyncBatch folders;
            const BatchRunner::Task run = [&](const std::string& file) -> DocumentResult {
                if (!host.ok())
                    return {Fail(kExitIO, "the plug-in could not be started"), DocumentOutcome::kFailed};
                return task(file);
            };
            if (grouped) {
                GroupedTasks tasks(run, json, [&](Frame& f) {
                    if (status == 0 && !SendFrame(fd, f)) status = 1;
                });
                for (size_t i = k; i < files.size() && status == 0; i += n)
                    tasks.Run(files[i]);
            } else {
                for (size_t i = k; i < files.size(); i += n) {
                    Frame f;
                    f.result = run(files[i]);
                    std::cout.flush();
                    f.out = out.str();
                    f.err = err.str();
                    out.str({});
                    err.str({});
                    if (!SendFrame(fd, f)) {
                        status = 1;
                        break;
                    }
                }
            }
        }
        std::cout.rdbuf(coutBuf);
        std::cerr.rdbuf(cerrBuf);
    }
    ::close(fd);
    // No exit handlers: they belong to the parent.
    ::_exit(status);
}

// One document's output as it came, the members of a JSON list joined by commas.
void PrintFrame(Frame& f, bool list, bool* first) {
    std::cerr << f.err << std::flush;
    if (list && !f.out.empty()) {
        while (!f.out.empty() && f.out.back() == '\n')
            f.out.pop_back();
        std::cout << (*first ? "" : ",\n");
        *first = false;
    }
    std::cout << f.out << std::flush;
}

} // namespace

void ApplyCommitFaultFromEnvironment() {
    FileReplace::Group::Fault fault;
    if (const char* text = std::getenv("BRINDLE_COMMIT_FAULT")) {
        const std::string t = text;
        if (t == "sync") fault.sync = true;
        if (t.rfind("rename:", 0) == 0) fault.renameName = t.substr(7);
    }
    FileReplace::Group::SetFault(fault);
}

void BatchRunner::Settings::AddOptions(CLI::App* command, bool withJobs) {
    if (withJobs) {
        parallel = true;
        command->add_option("-j,--jobs", jobs, "Documents worked on at once (default: the machine's cores)")
            ->check(CLI::Range(1, 256));
    }
    command->add_flag("-q,--quiet", quiet, "No summary line and no progress on standard error");
    command->add_flag("--jsonl", jsonl,
                      "One JSON object a line per document as it is done, then a summary object");
}

void BatchRunner::Begin(size_t count) {
    if (fSettings.jsonl)
        SetJSONLayout(JSONLayout::kLines);
    else if (fSettings.json && count != 1) {
        SetJSONLayout(JSONLayout::kListMember);
        std::cout << "{\"documents\": [\n";
    }
}

int BatchRunner::End(size_t count, const RunSummary& summary) {
    if (fSettings.jsonl)
        PrintJSON(summary.JSON());
    else if (fSettings.json && count != 1)
        std::cout << (count ? "\n" : "") << "]}" << std::endl;
    SetJSONLayout(JSONLayout::kObject);
    std::cout << std::flush;
    if (!fSettings.quiet && (count > 1 || fSettings.summary)) std::cerr << summary.Text() << std::endl;
    return summary.ExitCode();
}

size_t BatchRunner::GroupSize() {
    if (const char* text = std::getenv("BRINDLE_COMMIT_GROUP")) {
        char* end = nullptr;
        const unsigned long long n = std::strtoull(text, &end, 10);
        if (*text && end && *end == '\0' && n >= 1) return static_cast<size_t>(std::min<unsigned long long>(n, 4096));
    }
    return 64;
}

int BatchRunner::Run(const std::vector<std::string>& files, const Task& task) {
    size_t jobs = fSettings.jobs > 0 ? static_cast<size_t>(fSettings.jobs)
                                     : std::max<size_t>(1, std::thread::hardware_concurrency());
    jobs = std::min(jobs, files.size());
    // One document is saved as a one-shot command saves it; a shell session's documents are the
    // session's, saved when it says.
    fGrouped = fSettings.groupCommit && files.size() > 1 && !InShellSession();
    // A shell session's documents live in this process: its requests never go to workers.
    if (fSettings.parallel && jobs > 1 && !InShellSession()) return RunWorkers(files, task, jobs);
    if (fGrouped) return RunGrouped(files, task);
    return RunHere(files, task);
}

int BatchRunner::RunGrouped(const std::vector<std::string>& files, const Task& task) {
    HostSessionScope host(fOptions, fSettings.withoutLifecycle);
    if (!host.ok()) return Fail(kExitIO, "the plug-in could not be started");
    // Documents print one object each, held until their group is committed; a list around them
    // is laid out here.
    const bool list = !fSettings.jsonl && fSettings.json;
    SetJSONLayout(fSettings.jsonl ? JSONLayout::kLines : JSONLayout::kObject);
    RunSummary summary(fSettings.verb);
    if (list) std::cout << "{\"documents\": [\n";
    bool first = true;
    {
        ProgressLine progress(files.size(), !fSettings.quiet);
        size_t done = 0;
        GroupedTasks tasks(task, fSettings.json || fSettings.jsonl, [&](Frame& f) {
            progress.Clear();
            PrintFrame(f, list, &first);
            summary.Add(f.result);
            progress.Update(++done);
        });
        for (const std::string& file : files)
            tasks.Run(file);
    }
    if (list) {
        std::cout << (first ? "" : "\n") << "]}" << std::endl;
        fSettings.json = false;
    }
    return End(files.size(), summary);
}

int BatchRunner::RunHere(const std::vector<std::string>& files, const Task& task) {
    HostSessionScope host(fOptions, fSettings.withoutLifecycle);
    if (!host.ok()) return Fail(kExitIO, "the plug-in could not be started");
    RunSummary summary(fSettings.verb);
    Begin(files.size());
    {
        FileUtils::FolderSyncBatch folders;
        ProgressLine progress(files.size(), !fSettings.quiet);
        for (size_t i = 0; i < files.size(); ++i) {
            progress.Clear();
            summary.Add(task(files[i]));
            std::cout << std::flush;
            progress.Update(i + 1);
        }
    }
    return End(files.size(), summary);
}

int BatchRunner::RunWorkers(const std::vector<std::string>& files, const Task& task, size_t workers) {
    // Workers print each document's JSON as one object; the list around them is laid out here.
    const bool list = !fSettings.jsonl && fSettings.json;
    SetJSONLayout(fSettings.jsonl ? JSONLayout::kLines : JSONLayout::kObject);
    std::cout << std::flush;
    std::cerr << std::flush;
    std::vector<int> pipes;
    std::vector<pid_t> pids;
    for (size_t k = 0; k < workers; ++k) {
        int fds[2];
        if (::pipe(fds) != 0) break;
        const pid_t pid = ::fork();
        if (pid == 0) {
            for (int fd : pipes)
                ::close(fd);
            ::close(fds[0]);
            Work(fOptions, files, task, k, workers, fds[1], fGrouped, fSettings.json || fSettings.jsonl);
        }
        ::close(fds[1]);
        if (pid < 0) {
            ::close(fds[0]);
            break;
        }
        pipes.push_back(fds[0]);
        pids.push_back(pid);
    }
    if (pids.size() != workers) {
        // Workers already started have their share: they are stopped and the run is done here.
        for (int fd : pipes)
            ::close(fd);
        for (pid_t pid : pids) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        return RunHere(files, task);
    }

    RunSummary summary(fSettings.verb);
    if (list) std::cout << "{\"documents\": [\n";
    bool first = true;
    {
        ProgressLine progress(files.size(), !fSettings.quiet);
        for (size_t i = 0; i < files.size(); ++i) {
            Frame f;
            if (!ReceiveFrame(pipes[i % workers], &f)) {
                f.result = {
                    Fail(kExitIO, files[i] + ": the worker process ended before the document was done"),
                    DocumentOutcome::kFailed};
            }
            progress.Clear();
            PrintFrame(f, list, &first);
            summary.Add(f.result);
            progress.Update(i + 1);
        }
    }
    for (int fd : pipes)
        ::close(fd);
    for (pid_t pid : pids)
        ::waitpid(pid, nullptr, 0);
    if (list) {
        std::cout << (first ? "" : "\n") << "]}" << std::endl;
        fSettings.json = false;
    }
    return End(files.size(), summary);
}
