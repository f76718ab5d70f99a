// How packages live in a document's or a story's XMP packet: the writer and the reader.
#pragma once

#include "io/IDFile.h"
#include "model/BRNPackage.h"
#include "xmp/IXMPPacketAccess.h"

#include <vector>

// One InCopy assignment of a document, as the writer records it.
struct BRNAssignmentRecord {
    struct Story {
        PMString name;
        IDFile file; // the story's own file, or the file its link resource names
    };
    PMString name;
    PMString user;
    IDFile file;
    std::vector<Story> stories;
};

// What the writer needs of a document; a story is written without one.
struct BRNXMPDocumentInfo {
    bool isTemplate = false;
    std::vector<BRNAssignmentRecord> assignments;
};

// What to write: the full list, one field's value in the packages already stored, or only
// the removal of the packages.
struct BRNXMPWriteRequest {
    bool deletePackages = false;
    bool singleField = false;
    bool purgeLegacy = false;
    BRNPackageList packages;
    BRNField field;
};

class BRNXMPSchema {
public:
    static const WideString& CurrentNamespace();
    static const WideString& LegacyNamespace();
    static const WideString& SuggestedPrefix(); // "dunmoreBRN"

    // Writes the request into the packet; document is null for a story.
    static void Write(IXMPPacketAccess* xmp, const BRNXMPWriteRequest& request, const BRNXMPDocumentInfo* document);
    // The packages the packet holds (empty when it has none of ours); legacy is set when
    // they came from the older namespace and should be written back at once.
    static BRNPackageList Read(IXMPPacketAccess* xmp, bool* legacy = nullptr);
    // Today as "yyyy/mm/dd" where a deadline says "now".
    static PMString Today();
};
