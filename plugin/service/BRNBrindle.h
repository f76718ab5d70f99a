// The metadata service. Keeps nothing but its boss.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "service/IBrindle.h"

class BRNBrindle : public CPMUnknown<IBrindle> {
public:
    explicit BRNBrindle(Boss* boss) : CPMUnknown<IBrindle>(boss) {}

    void GetPanelPackages(BRNPackageList& packages) override;
    void ApplyToSelectedStory(const UIDRef& target, const PMString& packageName, int32 mode) override;
    void ApplyToSelectedStories(const UIDRef& target, const PMString& packageName) override;
    void StoreDocumentPackages(const UIDRef& document) override;
    PMStringList& SplitText(PMStringList& parts, const PMString& text) override;
    PMString& ExpandTagsForFile(PMString& expanded, const PMString& fileURL, const PMString& text,
                                int32& errors, bool16 escape) override;
    PMString& ExpandTags(PMString& expanded, const UIDRef& document, const PMString& text, int32& errors,
                         bool16 escape) override;
    ErrorCode CheckTags(const UIDRef& document, const PMString& text, PMString& error) override;
    PMString& GetVersion(PMString& version) override;
    void Reserved1() override {}
    int32 IsFirstPackageEnabled(const UIDRef& target) override;
    BRNPackageList ReadDocumentPackagesCopy(const UIDRef& document) override;
    BRNPackageList& GetDocumentPackages(BRNPackageList& packages, const UIDRef& document,
                                        int32 flags) override;
    PMString& GetFieldBooleanText(PMString& text, const UIDRef& document, const PMString& packageName,
                                  const PMString& shortName) override;
    PMString& GetFieldBooleanTextAlt(PMString& text, const UIDRef& document, const PMString& packageName,
                                     const PMString& shortName) override;
    BRNFieldList& FindPanelFieldList(BRNFieldList& fields, const PMString& fieldName) override;
    BRNField& FindPanelField(BRNField& field, const PMString& fieldName) override;
    ErrorCode SetFieldValue(const UIDRef& document, const PMString& fieldName, const PMString& value,
                            const BRNHistory& history) override;
    void Reserved2() override {}
    void SetPanelMode(int32 mode) override;
    bool16 CheckAssignment(const UIDRef& assignmentObject) override;
    ErrorCode UpdateStoryFromDocument(const UIDRef& story, const UIDRef& document) override;
    int32 UpdateStoriesFromDocument(const UIDRef& document) override;
    bool16 WriteStoryPackagesXML(const UIDRef& story, IXMLOutStream* out) override;
    bool16 WriteDocumentPackagesXML(const UIDRef& document, IXMLOutStream* out) override;
    bool16 GetStoryPackagesXML(const UIDRef& story, PMString& xml) override;
    bool16 GetDocumentPackagesXML(const UIDRef& document, PMString& xml, bool16 declaration) override;
    PMStringList& GetPanelPackageKeys(PMStringList& keys) override;
    ErrorCode ExportPackageByKey(const PMString& key, const IDFile& folder, PMString& message) override;
    ErrorCode ExportPackageByKeyQuiet(const PMString& key, const IDFile& folder) override;
    ErrorCode ImportPackageFile(const PMString& fileURL) override;
    ErrorCode RefreshTarget(const UIDRef& target) override;
    PMString& GetPanelPackageXMLByKey(PMString& xml, const PMString& key) override;
    PMString& GetPanelPackageXML(PMString& xml, const PMString& packageName, bool16 raiseVersion) override;
    PMString& GetPackageKey(PMString& key, const PMString& fileURL) override;
    ErrorCode EditMultiChoice(const PMString& fieldName, const BRNHistory& history,
                              PMStringList& values) override;
    ErrorCode SyncPanelTarget(const UIDRef& target) override;
    ErrorCode LoadPanelTarget(const UIDRef& target) override;
    ErrorCode EditDeadline(const PMString& fieldName, const BRNHistory& history,
                           BRNDeadline& deadline) override;

    // The name a package file of the package gets: units below 43 (but the blank) move up by
    // 43, then 58..64 and 91..96 by 10, 123..128 down by 20; then a blank becomes "_", "/"
    // becomes "l" and anything from 192 up "x".
    static PMString MapFileName(const PMString& packageName);
    // The package name a key names: the text after "ID-+-" or "IC-+-" up to the next "-+-".
    static PMString PackageNameOfKey(const PMString& key);
};
