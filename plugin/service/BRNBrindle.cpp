#include "service/BRNBrindle.h"
#include "service/BRNBrindleHelpers.h"

#include "CVLog.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "files/BRNUtils.h"
#include "formats/DocFileTypes.h"
#include "io/FileUtils.h"
#include "io/IXMLUtils.h"
#include "io/StreamUtil.h"
#include "logic/BRNPackageUtils.h"
#include "service/BRNAssignmentHelper.h"
#include "session/Utils.h"
#include "ui/BRNPanelData.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <set>

using namespace BRNBrindleHelpers;

// --- Helpers open to tests ----------------------------------------------------------------

PMString BRNBrindle::MapFileName(const PMString& packageName) {
    std::u16string units = packageName.Units();
    for (char16_t& u : units) {
        if (u < 43 && u != 32) u = static_cast<char16_t>(u + 43);
        if (u >= 58 && u <= 64) u = static_cast<char16_t>(u + 10);
        if (u >= 91 && u <= 96) u = static_cast<char16_t>(u + 10);
        if (u >= 123 && u <= 128) u = static_cast<char16_t>(u - 20);
        if (u == u' ')
            u = u'_';
        else if (u == u'/')
            u = u'l';
        else if (u >= 192)
            u = u'x';
    }
    return Untranslatable(PMString(std::move(units)));
}

PMString BRNBrindle::PackageNameOfKey(const PMString& key) {
    const std::u16string& k = key.Units();
    const std::u16string sep = u"-+-";
    size_t start = 0;
    if (k.rfind(u"ID-+-", 0) == 0 || k.rfind(u"IC-+-", 0) == 0) start = 5;
    size_t end = k.find(sep, start);
    return Untranslatable(
        PMString(k.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start)));
}
