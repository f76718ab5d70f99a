#include "files/BRNUtils.h"

#include "base/GlobalTime.h"
#include "CVLog.h"
#include "io/FileUtils.h"
#include "io/StreamUtil.h"
#include "objectmodel/InterfacePtr.h"

#include <cstdio>

namespace BRNUtils {

void AppendToLogFile(const PMString& fileName, const PMString& message, const std::string& sourceFile, int32 line) {
    IDFile file;
    if (!FileUtils::GetRecoveryFolder(&file, PMString("corvane"))) return;
    FileUtils::CreateFolderIfNeeded(file);
    FileUtils::AppendPath(&file, fileName);
    InterfacePtr<IPMStream> stream(
        StreamUtil::CreateFileStreamWrite(file, kOpenOut | kOpenApp, MakeTypeCode("TEXT"), MakeTypeCode("R*ch")));
    if (!stream) {
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
    std::string header = std::string(stamp) + "[" + shortName + ":" + std::to_string(line) + "] ";
    std::string body = message.GetPlatformString();
    std::string end = "\n";
    for (std::string* piece : {&header, &body, &end})
        stream->XferByte(reinterpret_cast<uchar*>(piece->data()), static_cast<int32>(piece->size()));
    stream->Flush();
    stream->Close();
}

} // namespace BRNUtils
