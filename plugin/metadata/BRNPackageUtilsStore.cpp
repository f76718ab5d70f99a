// Reading and storing the packages of documents and stories.
#include "logic/BRNPackageUtils.h"

#include "commands/CmdUtils.h"
#include "CVLog.h"
#include "documents/IDataBase.h"
#include "metadata/BRNXMPSchema.h"
#include "metadata/IBRNSetXMPCmdData.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/IXMPPacketAccess.h"

namespace BRNPackageUtils {

namespace {
ErrorCode Process(const UIDList& targets, const std::function<void(IBRNSetXMPCmdData*)>& fill) {
    InterfacePtr<ICommand> cmd(CmdUtils::CreateCommand(kBRNSetXMPDataCmdBoss));
    InterfacePtr<IBRNSetXMPCmdData> data(cmd, IID_IBRNSETXMPCMDDATA);
    if (!cmd || !data) {
        CV_LOG_FAILED();
        return kFailure;
    }
    cmd->SetItemList(targets);
    data->Reset();
    fill(data);
    return CmdUtils::ProcessCommand(cmd);
}
} // namespace

ErrorCode StorePackages(const UIDList& targets, const BRNPackageList& packages, bool16 deletePackages,
                        bool16 purgeLegacy) {
    CV_TRACE("BRNPackageUtils::StorePackages");
    CV_RETURN(Process(targets, [&](IBRNSetXMPCmdData* data) {
        data->SetPackages(packages);
        data->SetDeletePackages(deletePackages);
        data->SetPurgeLegacy(purgeLegacy);
    }));
}

ErrorCode StoreField(const UIDList& targets, const BRNField& field) {
    CV_TRACE("BRNPackageUtils::StoreField");
    CV_RETURN(Process(targets, [&](IBRNSetXMPCmdData* data) { data->SetSingleField(kTrue, field); }));
}

BRNPackageList ReadPackages(const UIDRef& target) {
    CV_TRACE("BRNPackageUtils::ReadPackages");
    InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(target));
    if (!xmp) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED({});
    }
    bool legacy = false;
    BRNPackageList packages = BRNXMPSchema::Read(xmp, &legacy);
    if (legacy) StorePackages(UIDList(target), packages, kFalse, kFalse);
    CV_RETURN(packages);
}

} // namespace BRNPackageUtils
