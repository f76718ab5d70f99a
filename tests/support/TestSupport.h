// Shared test fixtures: a temporary folder, a host started with the plug-in in a fresh
// home, recorded alerts and a fixed clock.
#pragma once

#include "base/GlobalTime.h"
#include "files/IBRNPrefs.h"
#include "model/BRNField.h"
#include "objectmodel/InterfacePtr.h"
#include "ui/CAlert.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return fPath; }
    std::filesystem::path operator/(const std::string& name) const { return fPath / name; }

private:
    std::filesystem::path fPath;
};

std::string ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const std::string& bytes);
// UTF-16 text of a file as UTF-8 (the byte-order mark decides the byte order).
std::string ReadUTF16File(const std::filesystem::path& p);
// UTF-8 text as UTF-16 bytes with a byte-order mark.
std::string ToUTF16(const std::string& utf8, bool bigEndian = false);

// Local time as ticks, for a fixed clock.
uint64 LocalTicks(int year, int month, int day, int hour, int minute, int second);

// Starts the host with the plug-in loaded, its home in a temporary folder, alerts recorded.
// Stops the host, restores the clock and the log threshold at the end.
class HostFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // (Re)starts the host on the same home, as a new run of the program would.
    void StartHost();
    void StopHost();
    IBRNPrefs* Prefs();
    std::filesystem::path PackagesFolder() const;
    std::filesystem::path SettingsFile() const;
    std::filesystem::path RecoveryFolder() const;

    std::unique_ptr<TempDir> fHome;
    std::shared_ptr<RecordingAlertSink> fAlerts;
    InterfacePtr<IBRNPrefs> fPrefs;
};

// The sample library of the project.
std::filesystem::path SamplesLibrary();
// The text as one word of a POSIX shell command line (single quotes, a quote inside escaped).
std::string Quote(const std::string& s);
std::string Quote(const std::filesystem::path& p);
inline std::string Quote(const char* s) { return Quote(std::string(s)); }
// Runs a shell command and returns what it printed on standard output; the exit status
// (as pclose gives it, 0 for success) when asked.
std::string CaptureOutput(const std::string& command, int* status = nullptr);
// Runs the brindle program with the arguments; returns its exit code, and its output.
int RunBrindle(const std::string& args, std::string* out = nullptr, std::string* err = nullptr);

// How often the part occurs in the text (counting overlaps).
size_t Occurrences(const std::string& text, const std::string& part);
// The package stores of the plug-in (its set-metadata command) in a log written at level 100.
inline size_t PackageStoresLogged(const std::string& log) {
    return Occurrences(log, "Enter: BRNSetXMPDataCmd::Do");
}

// Whether another open file description could take an exclusive lock on the file now (false
// when it is locked, or cannot be opened).
bool FreeToLock(const std::filesystem::path& file);
// The names of the temporary files (the host's prefix) in the folder.
std::vector<std::string> Temporaries(const std::filesystem::path& folder);

// The plug-in module the built program loads.
std::filesystem::path PlugInModule();
// A fresh plug-in folder (removed when the tests end) holding the module and copies of the
// files of the given folder (defaults files, marker files), for --plugin-dir.
std::filesystem::path PlugInFolderWith(const std::filesystem::path& files = {});

// The program run in a home of its own with a plug-in folder of the build's module and the
// sample Editorial package in its library: the one-shot commands and `brindle shell`.
class CommandSessionTest : public ::testing::Test {
protected:
    // The user options every run takes (the default: a login name and the alias Ann).
    explicit CommandSessionTest(std::string userOptions = "--user login --alias Ann")
        : fUserOptions(std::move(userOptions)) {}
    void SetUp() override;
    // Runs brindle with the arguments; its exit code, its output in fOut and fErr.
    int Run(const std::string& args);
    // Runs the script through `shell --script`; the exit code.
    int Shell(const std::string& script, const std::string& options = "", const std::string& shellOptions = "");
    // A copy of the sample JPEG (no packages) in the test's folder, by name.
    std::filesystem::path CopyJpeg(const std::string& name);

    std::string fUserOptions;
    TempDir fHome, fDir;
    std::filesystem::path fPlugIn;
    std::string fOut, fErr;
};

// The file URL the host gives a document (a blank as %20; the names used hold nothing else
// to escape).
std::string FileURL(const std::filesystem::path& p);

// A text that is never translated (names and values of fields and packages).
PMString Untranslated(const char* text);
// A field with a name, short name, type and value, all else at its defaults.
BRNField Field(const char* name, const char* shortName, int32 type, const char* value = "");
// Expects a field read back from a packet to carry every member the packet stores of b.
void ExpectSameStoredField(const BRNField& a, const BRNField& b);


// A UDP socket on 127.0.0.1 and a port the system picks, for what the host announces.
class DatagramListener {
public:
    DatagramListener();
    ~DatagramListener();
    DatagramListener(const DatagramListener&) = delete;
    DatagramListener& operator=(const DatagramListener&) = delete;
    std::string Destination() const { return "127.0.0.1:" + std::to_string(fPort); }
    // The next datagram, or nothing when none came within the wait.
    std::optional<std::string> Receive(int waitMs = 2000);
    // Every datagram waiting now (for a program that has ended).
    std::vector<std::string> Drain();

private:
    int fSocket = -1;
    int fPort = 0;
};

} // namespace testsupport
