// The host's utilities: stateless services reached by interface ID.
#pragma once

#include "objectmodel/InterfacePtr.h"

namespace UtilsBoss {
// The utility interface, referenced, or null.
IPMUnknown* QueryUtils(PMIID interfaceID);
} // namespace UtilsBoss

// Utils<IXMLUtils>()->CreateXMLOutStream(...)
template <class T> class Utils : public InterfacePtr<T> {
public:
    Utils() : InterfacePtr<T>(static_cast<T*>(UtilsBoss::QueryUtils(T::kDefaultIID))) {}
};
