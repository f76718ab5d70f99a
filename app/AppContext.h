// What every brindle command shares: the host started with the plug-in, output helpers
// and exit codes.
#pragma once

#include "base/PMString.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

enum ExitCode : int {
    kExitOK = 0,
    kExitInput = 1,    // usage or input errors
    kExitIO = 2,       // the file system or a file failed us
    kExitRequired = 3, // a check found missing required fields
};

struct GlobalOptions {
    std::string home;
    std::string pluginDir;
    std::string edition = "layout";
    std::string user;
    std::string alias;
    std::string answer;
    int logLevel = 0;
    std::string logFile;
    std::string companion;
};

// Starts the host with the plug-in for the lifetime of the object.
class HostSessionScope {
public:
    // A read-only session opens and closes its documents without document signals, so that
    // what it shows is what the files store.
    explicit HostSessionScope(const GlobalOptions& options, bool readOnly = false);
    ~HostSessionScope();
    HostSessionScope(const HostSessionScope&) = delete;
    HostSessionScope& operator=(const HostSessionScope&) = delete;
    bool ok() const { return fOK; }
    // Why the host did not start (a faulty configuration file).
    const std::string& error() const { return fError; }

private:
    bool fOK = false;
    std::string fError;
};

std::string UTF8(const PMString& s);
// Prints "brindle: error: <text>" to standard error and returns the code.
int Fail(int code, const std::string& message);
void PrintJSON(const nlohmann::json& j);
// The document names without any "<file>.xmp" whose file is named too: a document and its
// sidecar are one document.
std::vector<std::string> WithoutListedSidecars(const std::vector<std::string>& files);

// Each group adds its subcommands; the callback it stores runs the command and sets the exit code.
void AddLibraryCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddSettingsCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddFieldCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddDocumentCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddServiceCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
void AddPackageCommands(CLI::App& app, const GlobalOptions& options, int& exitCode);
