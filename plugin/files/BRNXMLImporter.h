// Reads a package definition file (UTF-16 XML) into a package.
#pragma once

#include "CVDomElement.h"
#include "io/IPMStream.h"
#include "model/BRNPackage.h"

class BRNXMLImporter {
public:
    // What LoadXML and ParseDOM give for a well-formed package whose values no package can
    // have (a version beyond 32 bits); GetLastError says which.
    static constexpr int32 kInvalidValue = 2;
    // 0 on success; 1 when the stream has no UTF-16 byte-order mark or does not parse.
    // A file with another root or without a "package" element gives 0 and leaves the
    // package untouched, so callers check the name.
    static int32 LoadXML(BRNPackage& package, IPMStream* stream);
    // Fills the package from a parsed tree; 0, or kInvalidValue.
    static int32 ParseDOM(BRNPackage& package, const CVDomElement* root);
    // The parser's message after LoadXML failed on a document that is not well formed, or
    // what value was refused.
    static const std::string& GetLastError();
    // Reads every package of a file given to the import: UTF-16 with a byte-order mark, or
    // UTF-8 (with or without one). Unlike LoadXML it refuses what it would otherwise read
    // silently as something else: false, with a message naming the attribute, for a text
    // that is not valid in its encoding, a missing name or version, an unknown type, a
    // flag that is not "True" or "False", a number that is not one.
    static bool ReadPackages(const std::string& bytes, BRNPackageList& packages, std::string* error);
};
