#include "CVLog.h"

#include "objectmodel/InterfacePtr.h"
#include "session/ISession.h"

namespace CVLog {

uint16 LogThreshold = 0;
const char* const kProductID = "Corvane Brindle";
const char* const kVersion = "7.1.5";

ICVLogger* GetLogger() {
    ISession* session = GetExecutionContextSession();
    if (!session) return nullptr;
    InterfacePtr<IPMUnknown> components(session->QueryOutsideComponents());
    if (!components) return nullptr;
    return static_cast<ICVLogger*>(components->QueryInterface(IID_ICVLOGGER));
}

void InitThreshold() {
    InterfacePtr<ICVLogger> logger(GetLogger());
    int32 level = logger ? logger->GetLogLevel(kProductID) : 0;
    LogThreshold = static_cast<uint16>(level < 0 ? 0 : level > 0xFFFF ? 0xFFFF : level);
}

bool Wants(int32 level) {
    uint16 t = LogThreshold;
    return t < 1000 ? t >= level : t >= level + 1000;
}

std::string SourceName(const char* file) {
    std::string_view f(file ? file : "");
    size_t slash = f.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? f : f.substr(slash + 1);
    std::string_view dir = slash == std::string_view::npos ? std::string_view() : f.substr(0, slash);
    size_t dirSlash = dir.find_last_of("/\\");
    std::string_view folder = dirSlash == std::string_view::npos ? dir : dir.substr(dirSlash + 1);
    if (size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(0, dot);
    std::string out = "..\\..\\..\\source\\Corvane\\";
    out += folder == "plugin" ? std::string_view("Brindle") : folder;
    out += '\\';
    out += name;
    return out;
}

void Write(int32 level, const char* sourceFile, int32 line, std::string_view message) {
    uint16 t = LogThreshold;
    if (t < 1000) {
        if (t < level) return;
        InterfacePtr<ICVLogger> logger(GetLogger());
        if (!logger) return;
        std::string msg(message);
        logger->Log(level, kProductID, kVersion, SourceName(sourceFile).c_str(), line, msg.c_str());
    } else {
        if (t < level + 1000) return;
        InterfacePtr<ICVLogger> logger(GetLogger());
        if (!logger) return;
        std::string msg(message);
        logger->LogExtended(level + 1000, kProductID, kVersion, SourceName(sourceFile).c_str(), line,
                            msg.c_str());
    }
}

} // namespace CVLog
