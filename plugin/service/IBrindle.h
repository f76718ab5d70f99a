// The metadata service: everything that concerns the packages held by a document, a story
// or the metadata panel. Reached through the host's utilities:
//     Utils<IBrindle> brindle;
// It holds no state: each call re-reads the documents and finds the panel again (the panel
// may be closed; the operations on its list then do nothing or give an empty result).
// Packages are stored only through the set-metadata command.
//
// Documents and stories are given as UIDRefs; a "document" is its root UIDRef.
#pragma once

#include "BRNID.h"
#include "io/IDFile.h"
#include "io/IXMLOutStream.h"
#include "model/BRNHistory.h"
#include "model/BRNPackage.h"
#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDRef.h"

class IBrindle : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IBRINDLE };

    // Bits of the error flags of the tag expansion.
    enum : int32 {
        kExpandNoDocument = 1, // no open document (or none of that file)
        kExpandNoPackage = 2,  // the document holds no package
        kExpandCheckFailed = 4 // a tag is not well formed, unknown, or names an empty required field
    };
    // Flags of GetDocumentPackages.
    enum : int32 { kAllPackages = 0, kEnabledPackagesOnly = 1 };

    // Copies the packages the panel shows; the list is left empty without a panel.
    virtual void GetPanelPackages(BRNPackageList& packages) = 0;
    // Applies the library package to the stories the host has selected (the target is the
    // caller's and is not consulted): mode 0 the first with alerts, 1 quietly, 2 every
    // selected story. Then tells the panel that a package was applied.
    virtual void ApplyToSelectedStory(const UIDRef& target, const PMString& packageName, int32 mode) = 0;
    // The same for all selected stories.
    virtual void ApplyToSelectedStories(const UIDRef& target, const PMString& packageName) = 0;
    // Reads the document's packages and stores them back, then refreshes the panel.
    virtual void StoreDocumentPackages(const UIDRef& document) = 0;
    // The text split at every ","; no trimming, no trailing empty part.
    virtual PMStringList& SplitText(PMStringList& parts, const PMString& text) = 0;
    // ExpandTags against the open document of the file (a file URL or a path), found as
    // GetPackageKey finds it.
    virtual PMString& ExpandTagsForFile(PMString& expanded, const PMString& fileURL, const PMString& text,
                                        int32& errors, bool16 escape) = 0;
    // The text with each "<cvbrindle:" tag replaced by its value from the document's packages:
    // "package", "version" and "enabled" (any letter case) name the first package, any other
    // name the first field of that name or short name in document order. Tags must name
    // filled required fields. On a fault the text comes back unchanged and errors says why.
    virtual PMString& ExpandTags(PMString& expanded, const UIDRef& document, const PMString& text,
                                 int32& errors, bool16 escape) = 0;
    // kSuccess when every tag of the text is well formed and offered by the document's packages
    // and names no empty required field; otherwise kFailure and the alert's text in error.
    virtual ErrorCode CheckTags(const UIDRef& document, const PMString& text, PMString& error) = 0;
    // "7.1.5"
    virtual PMString& GetVersion(PMString& version) = 0;
    virtual void Reserved1() = 0;
    // 1 when the document or story holds packages and the first is enabled, else 0.
    virtual int32 IsFirstPackageEnabled(const UIDRef& target) = 0;
    virtual BRNPackageList ReadDocumentPackagesCopy(const UIDRef& document) = 0;
    // The document's packages (all, or only the enabled ones) into packages.
    virtual BRNPackageList& GetDocumentPackages(BRNPackageList& packages, const UIDRef& document,
                                                int32 flags) = 0;
    // "True" or "False" for the field of that short name (exact) in the package of that name
    // (any letter case); empty when there is no such field.
    virtual PMString& GetFieldBooleanText(PMString& text, const UIDRef& document, const PMString& packageName,
                                          const PMString& shortName) = 0;
    // The same lookup, but a field that is not a Boolean answers whether its value text says
    // "true" (any case), and a missing field answers "False".
    virtual PMString& GetFieldBooleanTextAlt(PMString& text, const UIDRef& document,
                                             const PMString& packageName, const PMString& shortName) = 0;
    // The panel's fields of that name, in panel order.
    virtual BRNFieldList& FindPanelFieldList(BRNFieldList& fields, const PMString& fieldName) = 0;
    // A copy of the first panel field of that name; an empty field when there is none.
    virtual BRNField& FindPanelField(BRNField& field, const PMString& fieldName) = 0;
    // Every field of that exact name, in every package of the document, takes the value (by
    // its type) and a history entry: the given one's user, alias and time with the value as
    // the field now holds it. The whole list is then stored and the panel refreshed.
    // kFailure when no field has the name or nothing could be stored.
    virtual ErrorCode SetFieldValue(const UIDRef& document, const PMString& fieldName, const PMString& value,
                                    const BRNHistory& history) = 0;
    virtual void Reserved2() = 0;
    // Sets the open panel's target mode (0, 1 or 2; other numbers leave it) and tells the panel.
    virtual void SetPanelMode(int32 mode) = 0;
    // Whether the story (or an object that refers to one) may take metadata: it is there, not
    // locked and handed out for text editing.
    virtual bool16 CheckAssignment(const UIDRef& assignmentObject) = 0;
    // Copies the document's values into the story when each holds exactly one package.
    virtual ErrorCode UpdateStoryFromDocument(const UIDRef& story, const UIDRef& document) = 0;
    // UpdateStoryFromDocument for every story of the document that is not locked; 1.
    virtual int32 UpdateStoriesFromDocument(const UIDRef& document) = 0;
    // A "brindle" element with one "package" element per package; false (nothing written)
    // when there is none.
    virtual bool16 WriteStoryPackagesXML(const UIDRef& story, IXMLOutStream* out) = 0;
    virtual bool16 WriteDocumentPackagesXML(const UIDRef& document, IXMLOutStream* out) = 0;
    // The whole package XML of the story, or "<xmp />\n" and false when it has none.
    virtual bool16 GetStoryPackagesXML(const UIDRef& story, PMString& xml) = 0;
    // The same for a document; with declaration the text starts with the XML declaration.
    virtual bool16 GetDocumentPackagesXML(const UIDRef& document, PMString& xml, bool16 declaration) = 0;
    // "ID-+-" name "-+-" version for each panel package, in panel order.
    virtual PMStringList& GetPanelPackageKeys(PMStringList& keys) = 0;
    // Writes the panel package that the key names to a package file in the folder, its
    // version raised by one (kept in the panel). The message says why when it fails.
    virtual ErrorCode ExportPackageByKey(const PMString& key, const IDFile& folder, PMString& message) = 0;
    virtual ErrorCode ExportPackageByKeyQuiet(const PMString& key, const IDFile& folder) = 0;
    // Puts the package of a package file (file URL or path) into the open panel's list,
    // replacing one of the same name.
    virtual ErrorCode ImportPackageFile(const PMString& fileURL) = 0;
    // Re-reads the target's packages, recomputes their calculated fields and stores them back.
    virtual ErrorCode RefreshTarget(const UIDRef& target) = 0;
    virtual PMString& GetPanelPackageXMLByKey(PMString& xml, const PMString& key) = 0;
    // The package file text of the panel package; with raiseVersion its version is raised by
    // one first (kept in the panel). "package: <name> not found" when there is none.
    virtual PMString& GetPanelPackageXML(PMString& xml, const PMString& packageName, bool16 raiseVersion) = 0;
    // The key of the first package of the open document of the file (file URL or path), or of
    // the document one of whose story files it is; empty when none.
    virtual PMString& GetPackageKey(PMString& key, const PMString& fileURL) = 0;
    // Opens the multi-choice dialog for the panel's MultiChoice fields of that name and stores
    // the choice, with the history entry, into the panel's targets. The new selection comes
    // back in values. kFailure when cancelled or there is no such field.
    virtual ErrorCode EditMultiChoice(const PMString& fieldName, const BRNHistory& history,
                                      PMStringList& values) = 0;
    // Stores the panel's packages into the target and makes it the panel's target.
    virtual ErrorCode SyncPanelTarget(const UIDRef& target) = 0;
    // Reads the target's packages into the panel and makes it the panel's target.
    virtual ErrorCode LoadPanelTarget(const UIDRef& target) = 0;
    // Opens the deadline dialog for the panel's Deadline fields of that name and stores the
    // result as EditMultiChoice does; the new deadline comes back in deadline.
    virtual ErrorCode EditDeadline(const PMString& fieldName, const BRNHistory& history,
                                   BRNDeadline& deadline) = 0;
};
