#include "TestSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>

#include "base/HostConfig.h"
#include "base/PMString.h"
#include "io/FileUtils.h"
#include "BRNPlugIn.h"
#include "CVLog.h"
#include "logic/BRNPackageUtils.h"
#include "session/Host.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "brindle-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    fPath = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Folders a test made read-only must be writable again to be removed.
    for (auto& e : fs::recursive_directory_iterator(fPath, ec))
        if (e.is_directory(ec)) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(fPath, ec);
}

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string ReadUTF16File(const fs::path& p) {
    std::string b = ReadFile(p);
    if (b.size() < 2) return {};
    bool be = static_cast<unsigned char>(b[0]) == 0xFE && static_cast<unsigned char>(b[1]) == 0xFF;
    std::u16string u;
    for (size_t i = 2; i + 1 < b.size(); i += 2) {
        auto lo = static_cast<unsigned char>(b[be ? i + 1 : i]);
        auto hi = static_cast<unsigned char>(b[be ? i : i + 1]);
        u.push_back(static_cast<char16_t>(lo | (hi << 8)));
    }
    return StringUtils::UTF16ToUTF8(u);
}

std::string ToUTF16(const std::string& utf8, bool bigEndian) {
    std::u16string u = StringUtils::UTF8ToUTF16(utf8);
    std::string out = bigEndian ? std::string("\xFE\xFF") : std::string("\xFF\xFE");
    for (char16_t c : u) {
        char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
        if (bigEndian) {
            out.push_back(hi);
            out.push_back(lo);
        } else {
            out.push_back(lo);
            out.push_back(hi);
        }
    }
    return out;
}

uint64 LocalTicks(int year, int month, int day, int hour, int minute, int second) {
    GlobalTime t;
    t.SetTime(year, month, day, hour, minute, second);
    return t.GetTime();
}

void HostFixture::SetUp() {
    fHome = std::make_unique<TempDir>();
    fAlerts = std::make_shared<RecordingAlertSink>();
    StartHost();
}

void HostFixture::TearDown() {
    StopHost();
    CAlert::SetSink(nullptr);
    GlobalTime::SetClock({});
    CVLog::LogThreshold = 0;
    HostConfig::Get() = HostConfig{};
    Host::SetOutsideComponentsInstalled(true);
    fHome.reset();
}

void HostFixture::StartHost() {
    StopHost();
    HostConfig& cfg = HostConfig::Get();
    cfg.home = fHome->path();
    cfg.pluginDir = fHome->path() / "plugin";
    cfg.userName = "tester";
    CAlert::SetSink(fAlerts);
    ASSERT_TRUE(Host::Start(GetPlugIn()));
    fPrefs.reset(BRNPackageUtils::QueryPrefs());
    ASSERT_TRUE(fPrefs);
}

void HostFixture::StopHost() {
    fPrefs.reset();
    Host::Stop();
}

IBRNPrefs* HostFixture::Prefs() {
    return fPrefs.get();
}

fs::path HostFixture::PackagesFolder() const {
    return fHome->path() / "config/corvane/BrindlePackages";
}
fs::path HostFixture::SettingsFile() const {
    return fHome->path() / "config/corvane/BrindleSettings.xml";
}
fs::path HostFixture::RecoveryFolder() const {
    return fHome->path() / "state/corvane";
}

fs::path PlugInModule() {
    return fs::path(BRINDLE_BINARY).parent_path() / "Brindle.pln";
}

fs::path PlugInFolderWith(const fs::path& files) {
    static TempDir all;
    static int count = 0;
    const fs::path dir = all.path() / std::to_string(++count);
    fs::create_directories(dir);
    if (!files.empty())
        for (const auto& e : fs::directory_iterator(files))
            if (e.is_regular_file()) fs::copy_file(e.path(), dir / e.path().filename());
    fs::create_symlink(PlugInModule(), dir / "Brindle.pln");
    return dir;
}

void CommandSessionTest::SetUp() {
    fPlugIn = PlugInFolderWith();
    ASSERT_EQ(Run("library import " + Quote(SamplesLibrary() / "Editorial_ID.xml")), 0) << fErr;
}

int CommandSessionTest::Run(const std::string& args) {
    return RunBrindle("--home " + Quote(fHome.path()) + " --plugin-dir " + Quote(fPlugIn) + " " + fUserOptions +
                          " " + args,
                      &fOut, &fErr);
}

int CommandSessionTest::Shell(const std::string& script, const std::string& options,
                              const std::string& shellOptions) {
    const fs::path file = fDir.path() / "script.brindle";
    WriteFile(file, script);
    return Run(options + " shell " + shellOptions + " --script " + Quote(file));
}

fs::path CommandSessionTest::CopyJpeg(const std::string& name) {
    const fs::path file = fDir.path() / name;
    fs::copy_file(fs::path(BRINDLE_TEST_DATA) / "xmp-files/BlueSquare.jpg", file);
    return file;
}

std::string FileURL(const fs::path& p) {
    std::string s = "file://";
    for (char c : p.string())
        s += c == ' ' ? std::string("%20") : std::string(1, c);
    return s;
}

fs::path SamplesLibrary() {
    return fs::path(BRINDLE_SOURCE_DIR) / "samples/library";
}

std::string CaptureOutput(const std::string& command, int* status) {
    std::string out;
    FILE* p = ::popen(command.c_str(), "r");
    if (!p) {
        if (status) *status = -1;
        return out;
    }
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    int rc = ::pclose(p);
    if (status) *status = rc;
    return out;
}

int RunBrindle(const std::string& args, std::string* out, std::string* err) {
    TempDir tmp;
    std::string cmd = std::string("'") + BRINDLE_BINARY + "' " + args + " >'" + (tmp / "out").string() +
                      "' 2>'" + (tmp / "err").string() + "' </dev/null";
    int status = std::system(cmd.c_str());
    if (out) *out = ReadFile(tmp / "out");
    if (err) *err = ReadFile(tmp / "err");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

PMString Untranslated(const char* text) {
    PMString s(text);
    s.SetTranslatable(kFalse);
    return s;
}

BRNField Field(const char* name, const char* shortName, int32 type, const char* value) {
    BRNField f{Untranslated(name)};
    f.SetShortName(Untranslated(shortName));
    f.SetType(type);
    f.SetValue(Untranslated(value));
    return f;
}

void ExpectSameStoredField(const BRNField& a, const BRNField& b) {
    SCOPED_TRACE(b.GetName().GetUTF8String());
    EXPECT_EQ(a.GetType(), b.GetType());
    EXPECT_TRUE(a.IsEqual(b)) << a.GetValue().GetUTF8String() << " / " << b.GetValue().GetUTF8String();
    EXPECT_EQ(a.GetShortName(), b.GetShortName());
    EXPECT_EQ(a.GetDescription(), b.GetDescription());
    EXPECT_EQ(a.GetRequired(), b.GetRequired());
    EXPECT_EQ(a.GetHidden(), b.GetHidden());
    EXPECT_EQ(a.GetReadOnly(), b.GetReadOnly());
    EXPECT_EQ(a.GetHasDefault(), b.GetHasDefault());
    if (b.GetHasDefault()) {
        EXPECT_EQ(a.GetDefaultValue(), b.GetDefaultValue());
    }
    EXPECT_EQ(a.GetOptions(), b.GetOptions());
    EXPECT_EQ(a.GetDefaultValues(), b.GetDefaultValues());
    EXPECT_EQ(a.GetSelectedValues(), b.GetSelectedValues());
    EXPECT_EQ(a.GetHistory(), b.GetHistory());
    EXPECT_EQ(a.GetAllowUserValues(), b.GetAllowUserValues());
    EXPECT_EQ(a.GetFieldOverridden(), b.GetFieldOverridden());
    if (b.GetType() == kBRNTypeText || b.GetType() == kBRNTypeMultiChoice) {
        EXPECT_EQ(a.GetVisibleLines(), b.GetVisibleLines());
    }
    if (b.GetType() == kBRNTypeDeadline) {
        EXPECT_EQ(a.GetDeadline().PlannedDate, b.GetDeadline().PlannedDate);
        EXPECT_EQ(a.GetDeadline().ExecutedDate, b.GetDeadline().ExecutedDate);
        EXPECT_EQ(a.GetDeadline().ExecutedBy, b.GetDeadline().ExecutedBy);
    }
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string Quote(const std::filesystem::path& p) {
    return Quote(p.string());
}


DatagramListener::DatagramListener() {
    fSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fSocket, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fSocket, reinterpret_cast<sockaddr*>(&a), &len);
    fPort = ntohs(a.sin_port);
}

DatagramListener::~DatagramListener() {
    close(fSocket);
}

std::optional<std::string> DatagramListener::Receive(int waitMs) {
    pollfd p{fSocket, POLLIN, 0};
    if (poll(&p, 1, waitMs) != 1) return std::nullopt;
    char buf[65536];
    const ssize_t n = recv(fSocket, buf, sizeof buf, 0);
    return n < 0 ? std::nullopt : std::optional<std::string>(std::string(buf, static_cast<size_t>(n)));
}

std::vector<std::string> DatagramListener::Drain() {
    std::vector<std::string> got;
    while (std::optional<std::string> d = Receive(100))
        got.push_back(std::move(*d));
    return got;
}

size_t Occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); !part.empty() && at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

bool FreeToLock(const std::filesystem::path& file) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

std::vector<std::string> Temporaries(const std::filesystem::path& folder) {
    std::vector<std::string> found;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().filename().string().rfind(FileUtils::kTemporaryPrefix, 0) == 0)
            found.push_back(e.path().filename().string());
    return found;
}

} // namespace testsupport

