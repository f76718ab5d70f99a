// XML services of the host, reached through the utilities.
#pragma once

#include "io/IPMStream.h"
#include "io/IXMLOutStream.h"

class IXMLUtils : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IXMLUTILS };
    enum Encoding { kUTF16 };
    // An XML writer on the stream (which it references), or null without a stream.
    virtual IXMLOutStream* CreateXMLOutStream(IPMStream* stream, Encoding encoding = kUTF16) = 0;
};
