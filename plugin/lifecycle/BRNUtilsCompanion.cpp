// The companion notification and the companion-mode flag.
#include "BRNID.h"
#include "CVLog.h"
#include "base/HostConfig.h"
#include "base/WLocaleSetting.h"
#include "documents/IDocument.h"
#include "files/BRNUtils.h"
#include "io/Datagram.h"
#include "io/FileUtils.h"
#include "session/Host.h"
#include "session/ISession.h"

namespace {
constexpr int16 kUndetermined = static_cast<int16>(-1); // 65535 as a 16-bit flag
int16 gCompanionMode = kUndetermined;
} // namespace

namespace BRNUtils {

std::string DocumentEventPayload(IDocument* document, const PMString& event) {
    IDFile file;
    if (!document || !document->GetDocFile(&file) || file.IsEmpty()) return {};
    PMString user;
    if (ISession* session = GetExecutionContextSession()) {
        user = session->GetUserAlias();
        if (user.IsEmpty()) user = session->GetUserName();
    }
    const std::string sep = "CORVANEDEL";
    return "WIN" + sep + event.GetUTF8String() + sep + user.GetUTF8String() + sep +
           FileUtils::FileToURL(file).GetUTF8String();
}

void NotifyDocumentEvent(IDocument* document, const PMString& event) {
    // Nobody asked for the announcement: a tool run in scripts must not send user names and
    // paths to the network unasked.
    const std::string& destination = HostConfig::Get().companion;
    if (destination.empty()) return;
    const std::string payload = DocumentEventPayload(document, event);
    if (payload.empty()) return;
    Datagram::Send(destination, payload);
}

int16 IsCompanionMode() {
    if (gCompanionMode != kUndetermined) return gCompanionMode;
    gCompanionMode = Host::IsPluginLoaded(kCompanionPluginID) ? 1 : 0;
    if (gCompanionMode) return gCompanionMode;
    const uint16 product = WLocaleSetting::GetLocale().GetProductFS() >> 8;
    if (product != 0x02 && product != 0xFF) return gCompanionMode;
    IDFile plugin;
    if (!Host::GetPluginFile(kBRNPluginID, &plugin)) {
        CV_LOG_FAILED();
        return gCompanionMode;
    }
    IDFile marker = plugin.Parent();
    FileUtils::AppendPath(&marker, PMString("sidelink"));
    if (FileUtils::DoesFileExist(marker)) gCompanionMode = 1;
    return gCompanionMode;
}

void ResetCompanionMode() {
    gCompanionMode = kUndetermined;
}

} // namespace BRNUtils
