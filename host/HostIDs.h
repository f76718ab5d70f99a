// Interface and class IDs of the host's own objects.
#pragma once

#include "PMTypes.h"

enum : PMIID {
    IID_IUNKNOWN = 0x0001,
    IID_IPMSTREAM = 0x0010,
    IID_IXMLOUTSTREAM = 0x0011,
    IID_IXMLUTILS = 0x0012,
    IID_ISESSION = 0x0020,
    IID_ISUBJECT = 0x0021,
    IID_IOBSERVER = 0x0022,
    IID_IPLUGINLIST = 0x0023,
    IID_IXFERBYTES = 0x0024,
    IID_IK2SERVICEPROVIDER = 0x0025,
    IID_IXMPPACKETACCESS = 0x0030,
    IID_ICVLOGGER = 0x64f00,
};

enum : ClassID {
    kSessionBoss = 0x1001,
    kUtilsBoss = 0x1002,
    kCVLoggerBoss = 0x1003,
};
