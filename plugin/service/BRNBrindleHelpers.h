// What the metadata service's operations share: key texts, reading and changing fields in
// package lists and in the panel's targets, package XML as text, finding the document of a
// file. Used only by the service's own sources.
#pragma once

#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "io/IPMStream.h"
#include "io/IXMLOutStream.h"
#include "model/BRNPackage.h"
#include "objectmodel/UIDList.h"
#include "ui/BRNUtilsDialogs.h"
#include "ui/IBRNPanelData.h"

#include <functional>
#include <utility>

namespace BRNBrindleHelpers {

inline constexpr const char* kVersionText = "7.1.5";
inline constexpr const char* kLayoutKeyPrefix = "ID-+-";
inline constexpr const char* kTextKeyPrefix = "IC-+-";
inline constexpr const char* kKeySeparator = "-+-";
inline constexpr const char* kNoPackagesXML = "<xmp />\n";
inline constexpr const char* kMultiChoiceSeparator = ", ";

// Text as it stands, and a key's translated text: the same as the dialogs use.
inline PMString Untranslatable(PMString s) {
    return BRNUtils::Plain(std::move(s));
}
using BRNUtils::Translated;

BRNPackageList Read(const UIDRef& target);

bool HasMetadata(const UIDRef& target);

// A story reference (text frame, story link) stands for its story; anything else for itself.
UIDRef TargetOf(const UIDRef& item);

// Whether the database still belongs to an open document: the panel's targets may outlive
// the document they were read from.
bool IsOpenDataBase(IDataBase* db);

// The panel's targets that can still be written, in order.
UIDList UsableTargets(const IBRNPanelData* panel);

void RefreshPanel(const void* changedBy);

// The value as the field stores it, as a history entry records it.
PMString StoredText(const BRNField& f);

void AddHistory(BRNField& f, const BRNHistory& who);

// Stores a value given as text by the rules of the field's type; false for a type outside
// the table.
bool SetValueByType(BRNField& f, const PMString& text);

// Changes every field of that name (and, when type is not -1, of that type) in the list;
// a package whose fields changed has its calculated fields recomputed, except those changed
// here, which keep what they were given. The number of fields changed.
int32 ChangeFields(BRNPackageList& packages, const PMString& name, int32 type,
                   const std::function<bool(BRNField&)>& change);

// One package carrying the fields of all, so that a tag may name a field of any package; the
// package tags name the first package.
BRNPackage MergedPackage(const BRNPackageList& packages);

// The UTF-16 text an XML writer left in a memory stream.
PMString TextOfStream(IPMStream* stream);

// Runs the writer on a memory stream and gives back the whole text; false when it failed.
bool WriteToText(const std::function<void(IXMLOutStream*)>& write, PMString* text);

// The root goes on a line of its own only after something else.
void WritePackagesElement(const BRNPackageList& packages, IXMLOutStream* out, bool16 indentRoot = kTrue);

bool16 WritePackagesXML(const BRNPackageList& packages, IXMLOutStream* out);

bool16 PackagesXMLText(const BRNPackageList& packages, bool declaration, PMString& xml);

PMString PackageKey(const char* prefix, const BRNPackage& p);

// The URL the text names: a file URL as it stands, a path turned into one.
PMString AsFileURL(const PMString& text);

// The file a story is known by: its own, or its link resource's.
IDFile StoryFile(IStoryData* story);

// The open document of the file, or of the story file; with the key prefix it selects.
IDocument* FindDocumentOfURL(const PMString& fileURL, const char** prefix);

UIDRef RootOf(IDocument* doc);

const BRNPackage* FindPackageNoCase(const BRNPackageList& packages, const PMString& name);

// The panel's fields of that name and type, the first one copied out; false when none.
bool FirstPanelField(IBRNPanelData* panel, const PMString& name, int32 type, BRNField* first);

// Changes the fields in the panel's list and in each of its targets (read, changed, stored
// one by one, so that every target keeps its own other values); then the panel redraws.
ErrorCode ChangePanelFields(IBRNPanelData* panel, const PMString& name, int32 type,
                            const std::function<bool(BRNField&)>& change, const void* changedBy);

} // namespace BRNBrindleHelpers
