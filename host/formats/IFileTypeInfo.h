// The file type information of a host object (documents and their files).
#pragma once

#include "objectmodel/IPMUnknown.h"

using FileTypeInfoID = int32;
constexpr FileTypeInfoID kInvalidFileTypeInfoID = 0;

enum : PMIID { IID_IFILETYPEINFO = 90905 };

class IFileTypeInfo : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IFILETYPEINFO };
    virtual FileTypeInfoID GetFileTypeInfoID() const = 0;
};
