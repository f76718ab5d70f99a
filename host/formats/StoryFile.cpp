#include "formats/StoryFile.h"

#include "formats/FileReplace.h"
#include "io/FileUtils.h"
#include "xmp/XMPToolkitName.h"

#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace fs = std::filesystem;

namespace StoryFile {

namespace {
// The largest story file read: beyond it the file is refused, not read into memory.
constexpr uint64 kMaxStoryFile = 512ull * 1024 * 1024;

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}
} // namespace

bool IsStoryFileName(const fs::path& file) {
    std::string ext = file.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext == ".icml" || ext == ".wcml";
}

static bool ReadWithBytes(const fs::path& file, StoryXml::Story* story, std::string* bytes,
                          std::string* error) {
    std::string why;
    if (!FileUtils::ReadRegularFile(IDFile(file), bytes, &why, kMaxStoryFile)) return Fail(error, why);
    if (!StoryXml::Find(*bytes, story, &why)) return Fail(error, why);
    return true;
}

bool Read(const fs::path& file, StoryXml::Story* story, std::string* error) {
    std::string bytes;
    return ReadWithBytes(file, story, &bytes, error);
}

bool WritePacket(const fs::path& file, const std::string& packet, std::string* error) {
    std::error_code ec;
    const fs::path real = fs::canonical(fs::absolute(file, ec), ec);
    if (ec) return Fail(error, "no such file");
    std::string bytes;
    StoryXml::Story story;
    if (!ReadWithBytes(real, &story, &bytes, error)) return false;
    // The name of the program that wrote the packet stays the file's.
    std::string kept = packet;
    XMPToolkitName::Keep(&kept, story.hasPacket ? story.packet : std::string(), false);
    const std::string out = StoryXml::WithPacket(bytes, story, kept);
    fs::path temp;
    if (!FileReplace::WriteTemp(real, out, &temp)) return Fail(error, "cannot write a temporary file");
    StoryXml::Story back;
    std::string written;
    if (!ReadWithBytes(temp, &back, &written, nullptr) || !back.hasPacket || back.packet != kept) {
        ::unlink(temp.c_str());
        return Fail(error, "the written story does not read back");
    }
    std::string why;
    if (!FileReplace::Commit(temp, real, &why))
        return Fail(error, why.empty() ? "cannot replace the file" : why);
    return true;
}

} // namespace StoryFile
