#include "files/BRNUtils.h"

#include "base/GlobalTime.h"
#include "CVLog.h"
#include "io/FileUtils.h"
#include "io/StreamUtil.h"
#include "objectmodel/InterfacePtr.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace BRNUtils {

namespace {

// The log is for people and for tools that read it line by line: control characters in a
// message (a package name can come from any document) are written as escapes, so one
// message is always one line.
std::string EscapeControls(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (unsigned char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if ((c < 0x20 && c != '\t') || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else
            out += static_cast<char>(c);
    }
    return out;
}

// Cuts the text to at most max bytes without splitting a UTF-8 sequence.
std::string CutUTF8(const std::string& text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = max;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    return text.substr(0, end) + " [cut]";
}

} // namespace

void AppendToLogFile(const PMString& fileName, const PMString& message, const std::string& sourceFile, int32 line) {
    IDFile file;
    if (!FileUtils::GetRecoveryFolder(&file, PMString("corvane"))) return;
    FileUtils::CreateFolderIfNeeded(file);
    FileUtils::AppendPath(&file, fileName);
    const std::string path = file.Path().string();
    // A log that has grown past its bound starts again; the previous one is kept once.
    struct stat st;
    if (::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        static_cast<uint64>(st.st_size) >= kMaxLogFileSize)
        ::rename(path.c_str(), (path + ".1").c_str());
    // Never through a symbolic link (it could point anywhere), and only into a regular file.
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0) {
        CV_LOG(30, "");
        return;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        CV_LOG(30, "");
        return;
    }
    GlobalTime now;
    now.CurrentTime();
    int32 y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    now.GetTime(&y, &mo, &d, &h, &mi, &s);
    size_t slash = sourceFile.rfind('\\');
    std::string shortName = slash == std::string::npos ? sourceFile : sourceFile.substr(slash + 1);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%02d-%02d-%d %02d:%02d:%02d ", d, mo, y, h, mi, s);
    std::string text = std::string(stamp) + "[" + EscapeControls(shortName) + ":" + std::to_string(line) + "] " +
                       EscapeControls(CutUTF8(message.GetPlatformString(), kMaxLogMessageSize)) + "\n";
    // One write call per line, so lines of two processes do not interleave.
    for (size_t done = 0; done < text.size();) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
}

} // namespace BRNUtils
