#include "BatchRunner.h"

#include "io/FileUtils.h"

#include "ProgressLine.h"
#include "RunSummary.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iostream>
#include <signal.h>
#include <sstream>
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

// Worker k takes the documents k, k + n, k + 2n, ... and sends each one's result in turn.
[[noreturn]] void Work(const GlobalOptions& options, const std::vector<std::string>& files,
                       const BatchRunner::Task& task, size_t k, size_t n, int fd) {
    int status = 0;
    {
        std::ostringstream out, err;
        std::streambuf* coutBuf = std::cout.rdbuf(out.rdbuf());
        std::streambuf* cerrBuf = std::cerr.rdbuf(err.rdbuf());
        {
            HostSessionScope host(options);
            FileUtils::FolderSyncBatch folders;
            for (size_t i = k; i < files.size(); i += n) {
                Frame f;
                if (!host.ok())
                    f.result = {Fail(kExitIO, "the plug-in could not be started"), DocumentOutcome::kFailed};
                else
                    f.result = task(files[i]);
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
        std::cout.rdbuf(coutBuf);
        std::cerr.rdbuf(cerrBuf);
    }
    ::close(fd);
    // No exit handlers: they belong to the parent.
    ::_exit(status);
}

} // namespace

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

int BatchRunner::Run(const std::vector<std::string>& files, const Task& task) {
    size_t jobs = fSettings.jobs > 0 ? static_cast<size_t>(fSettings.jobs)
                                     : std::max<size_t>(1, std::thread::hardware_concurrency());
    jobs = std::min(jobs, files.size());
    // A shell session's documents live in this process: its requests never go to workers.
    if (fSettings.parallel && jobs > 1 && !InShellSession()) return RunWorkers(files, task, jobs);
    return RunHere(files, task);
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
            Work(fOptions, files, task, k, workers, fds[1]);
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
            std::cerr << f.err << std::flush;
            if (list && !f.out.empty()) {
                while (!f.out.empty() && f.out.back() == '\n')
                    f.out.pop_back();
                std::cout << (first ? "" : ",\n");
                first = false;
            }
            std::cout << f.out << std::flush;
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
