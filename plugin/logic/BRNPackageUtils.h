// Package definition files: reading one, writing one, exporting from the library.
#pragma once

#include "files/IBRNPrefs.h"
#include "io/IDFile.h"
#include "model/BRNPackage.h"
#include "model/BRNTagEntry.h"
#include "objectmodel/UIDList.h"

#include <vector>

namespace BRNPackageUtils {
// Reads a package definition file. 0 when a package with a name was read; otherwise 1
// and, when asked, a message saying why.
int32 LoadPackageFile(const IDFile& file, BRNPackage& package, PMString* error = nullptr);
// Reads every package of a file given to the import (UTF-8 or UTF-16, see
// BRNXMLImporter::ReadPackages). 0 when at least one was read; otherwise 1 and, when asked,
// a message saying why.
int32 ReadImportFile(const IDFile& file, BRNPackageList& packages, PMString* error = nullptr);
// Writes the package as a definition file (declaration, "brindle" root, "package"
// element), replacing the file in one step. False when it could not be stored.
bool16 WritePackageFile(const IDFile& file, const BRNPackage& package);
// The bytes WritePackageFile writes for the package; false when they cannot be made.
bool16 PackageFileBytes(const BRNPackage& package, std::string* bytes);
// "BRN_" + name + "_v" + version + ".xml".
PMString ProposedFileName(const PMString& name, uint32 version);
// Writes the named library package to a file that the user chooses. A modified package
// has its version raised in the library first. False when nothing was written.
bool16 doExportPackage(const PMString& name);
// Reads each file (ReadImportFile) and puts its packages into the library, replacing one of the same name.
// When a file is not a valid package file nothing is changed and the errors say why.
// The packages put into the library are handed back in file order when asked, with the
// file each came from.
bool16 ImportPackageFiles(const std::vector<IDFile>& files, std::vector<PMString>* errors,
                          BRNPackageList* imported = nullptr, std::vector<IDFile>* importedFrom = nullptr);
// Removes the first library package of that name and saves the library (also when there
// was none). Nothing happens for an empty name.
void DeleteLibraryPackage(const PMString& name);
// The settings object of the session, referenced, or null.
IBRNPrefs* QueryPrefs();

// --- Packages in documents and stories ---------------------------------------------------

// Stores the package list into the targets (documents or stories of one database) through
// the set-metadata command; with deletePackages only removes the stored packages.
ErrorCode StorePackages(const UIDList& targets, const BRNPackageList& packages, bool16 deletePackages,
                        bool16 purgeLegacy);
// Writes one field's value into every stored package that has that field.
ErrorCode StoreField(const UIDList& targets, const BRNField& field);
// The packages a document or story holds; data found under the older namespace is moved to
// the current one at once (through the command).
BRNPackageList ReadPackages(const UIDRef& target);

// --- Calculated fields and text tags ---------------------------------------------------

// "<cvbrindle:"
extern const char16_t* const kTagPrefix;
// The tags a package offers: package, version, enabled, then one per field (by short name,
// or by name where the short name is empty). Without a package only the first three.
BRNTagList GetTagList(const BRNPackage* package);
// The same for a library package found by exact name.
BRNTagList GetTagList(const PMString& packageName);
// Whether every tag of the template is well formed and offered by the package (and, with
// checkRequired, whether the required fields it names are filled). The first fault is
// shown in an alert.
bool16 CheckTags(const BRNPackage& package, const PMString& templateText, bool16 checkRequired);
// The message CheckTags would show for the first fault, or the empty text when there is none.
PMString FindTagFault(const BRNPackage& package, const PMString& templateText, bool16 checkRequired);
// The longest result a template may give, in UTF-16 units (1 MiB of them); beyond it the
// evaluation fails as a failing check does.
constexpr int32 kMaxTemplateResultLength = 1 << 20;
// The template with each tag replaced by its value; the template itself (and ok false)
// when the check fails (alerted) or the result would be longer than kMaxTemplateResultLength
// (alerted too). Each tag costs in proportion to what it gives, not to its value's length.
PMString EvaluateTags(const BRNPackage& package, const PMString& templateText, bool16* ok, bool16 escape,
                      bool16 checkRequired);
// Applies the tag's format="..." (one printf conversion) to the value. A format that
// is not exactly one conversion of d i o x X e E f g G s, with flags, width and precision in
// digits only, leaves the value unchanged; so does a value that does not read as a number
// under a numeric conversion (or is longer than 1024 units), and output longer than the value
// plus 512 characters. Widths and precisions count characters (code points); the literal
// text around the conversion may hold any character but control characters.
PMString FormatTagValue(const PMString& tagBody, const PMString& value);
// Applies the tag's substring="start[,count]" to the value; start and count count characters
// (code points), and numbers beyond 64 bits are clamped.
PMString SubstringTagValue(const PMString& tagBody, const PMString& value);
// 0: not a calculated field, or overridden; -1: its template fails the check; 1: value stored.
int32 UpdateCalculatedField(const BRNPackage& package, BRNField& field);
// Recomputes every calculated field against the values the package holds before the pass.
// The number updated, or -1 (and the package unchanged) on the first failing template.
int32 UpdateCalculatedFields(BRNPackage& package);

// --- Values ---------------------------------------------------------------------------

// True when the text is no acceptable date: "yyyy/mm/dd" by position (no range check), the
// empty text, "ACTIVATION" and "now" in any case are acceptable.
bool16 IsInvalidDate(const PMString& text);
// Today, local time, as "yyyy/mm/dd".
PMString FormatToday();
// Stores each field's default as its value, then recomputes the calculated fields.
void ApplyDefaults(BRNPackage& package);
// Stores a value given as text (a defaults file) by the rules of the field's type.
void SetValueFromText(BRNField& field, const PMString& text);
// The selection joined by ", ".
PMString JoinMultiChoice(const PMStringList& values);
// The selection a joined text stands for: split at every ", "; none for the empty text.
PMStringList SplitMultiChoice(const PMString& text);
// A deadline given as "planned,executed,by" (missing parts empty, a third comma belongs to
// "by"); the colour table is taken from old.
BRNDeadline ParseDeadlineText(const PMString& text, const BRNDeadline& old);
// Splits a list text at every ","; no trimming, no trailing empty part.
PMStringList SplitListText(const PMString& text);
// Entry checks: whether the text may be entered (empty text is accepted).
bool16 CheckIntegerText(const PMString& text);
bool16 CheckDecimalText(const PMString& text);
// A value entered for a MultiChoice list may not hold ",".
bool16 CheckMultiChoiceText(const PMString& text);
// The entry check of the field's type with its alert; true when the text may be stored.
bool16 CheckEntry(const BRNField& field, const PMString& text);
// The date alert: the translated text with the name in place of its first "#".
void ShowDateAlert(const PMString& name);
// Drops the "." that a Decimal's text ends in when it is its first; true when it did.
bool16 TidyDecimal(BRNField& field);

// --- Applying and upgrading packages -------------------------------------------------------

enum : int32 { kBRNApplyToDocument = 0, kBRNApplyToSelectedStories = 1 }; // target kinds
enum : int32 { kBRNApplyQuiet = 1, kBRNApplyAllStories = 2 };             // flags

// Applies the library package of that name to the front document, or to the selected
// stories: the first of them, or every one with kBRNApplyAllStories. Stories must be
// unlocked and exported for text editing; kBRNApplyQuiet leaves out those two alerts (the
// operation still stops). A target that holds the package in the library's version gets its
// own package written back; otherwise the package gets its defaults, the defaults file and
// the values of the version the target held. The package written is enabled.
// kSuccess when every target was written.
ErrorCode ApplyPackage(int32 targetKind, const PMString& packageName, int32 flags);
// The same for the targets given: documents, or stories (stories true) that are checked as
// ApplyPackage checks the selected ones; an empty story list gives the no-story alert.
ErrorCode ApplyPackageTo(const UIDList& targets, bool16 stories, const PMString& packageName, int32 flags);
// Copies the values and histories of the old package's fields into the matching fields of
// the new one (same type, and the same short name, or the same name where the old field has
// no short name); fields without a match take their defaults. Then recomputes the
// calculated fields.
void MergeValues(BRNPackage& newPackage, const BRNPackage& oldPackage);
// Brings the first package of a target's list to the library's version. A package the
// library lacks, or holds in an older version, is taken into the library instead. With the
// silent-upgrade setting (UseLatestPackage) off, the user is asked whether the library
// should take the document's version. True when the target was written.
//
// What an upgrade did beyond the targets it wrote is handed back when asked: every change
// of the library, in the order made, and every target whose upgraded package was refused.
struct BRNLibraryChange {
    PMString package;
    bool16 added = kFalse;  // the library did not hold the package before
    uint32 from = 0;        // the library's version before (when not added)
    uint32 to = 0;          // the version the library holds now
    bool16 raised = kFalse; // the library's own edited package raised; else a document's
};
struct BRNUpgradeRefusal {
    UIDRef target;
    PMString package;
    PMString reason;
};
struct BRNUpgradeReport {
    std::vector<BRNLibraryChange> library;
    std::vector<BRNUpgradeRefusal> refused;
};
bool16 UpgradePackages(const BRNPackageList& packages, const UIDRef& target,
                       BRNUpgradeReport* report = nullptr);
// Upgrades the packages of the document's assignment stories (only the unlocked ones when
// asked), of the document itself and, in the text-editing edition, of its other stories.
// The number of targets written.
int32 UpgradeDocumentPackages(const UIDRef& document, bool16 onlyEditable,
                              BRNUpgradeReport* report = nullptr);
// Why a package's calculated fields cannot be computed ("the template of field ...: ..."),
// empty when they can.
PMString CalculatedFieldsFault(const BRNPackage& package);
// Recomputes the calculated fields of each package and stores it into every target, in
// place of the target's package of the same name (appended when the target has none). The
// target's other packages stay. A package whose calculated fields fail is not written.
// kFailure when a package was left out or a store failed.
ErrorCode WritePackages(const BRNPackageList& packages, const UIDList& targets);
ErrorCode WritePackage(const BRNPackage& package, const UIDList& targets);

// --- Required fields ------------------------------------------------------------------

// A date or template fault met by the required-field pass.
struct BRNFieldFault {
    PMString package;
    PMString field;
};

// What the required-field pass found in one document.
struct BRNRequiredFieldsDocument {
    UIDRef document;
    PMStringList missing;                     // each name once within the document
    std::vector<BRNFieldFault> missingFields; // the same, each with its package
    int32 packages = 0;                       // packages the document holds (enabled or not)
    std::vector<BRNFieldFault> badDates;      // values that are no acceptable date
    std::vector<BRNFieldFault> badTemplates;
    // Packages whose values were tidied or whose history was stamped: written back, or
    // (without write-back) left as they were.
    int32 packagesChanged = 0;
};

// What the whole pass found.
struct BRNRequiredFieldsReport {
    PMStringList missing; // each name once, in the order found
    bool16 showPanel = kFalse;
    std::vector<BRNRequiredFieldsDocument> documents;
};

// The required-field pass over documents (or stories), in list order: reports empty
// required fields, invalid dates and failing templates, tidies Decimal values, stamps
// history and writes changed packages back. 0 lets the caller go on. With the report flag
// off nothing is shown about missing fields and the result is 0. With the dialog flag the
// result is the required-fields dialog's (1 for OK, 0 when dismissed); otherwise 1 after
// the alert. The details are handed back when asked; a caller that will not keep the
// documents' changes (a check that saves nothing) may leave out the write-back.
//
// Documents live in databases of their own, so a list of documents is a list of UIDRefs;
// a UIDList names targets of one database.
int16 CheckRequiredFields(const std::vector<UIDRef>& documents, bool16 report, bool16 dialog,
                          BRNRequiredFieldsReport* details = nullptr, bool16 writeBack = kTrue);
int16 CheckRequiredFields(const UIDList& documents, bool16 report, bool16 dialog);
// The end of the pass when required fields are missing: brings the metadata panel to the
// front and shows the message (the translated "0xA8260kBRNReqfieldError", then a "\n- "
// line per name) in the required-fields dialog, whose answer is returned, or in an alert
// (result 1). Callers that run the pass in parts report once with this.
int16 ReportMissingFields(const PMStringList& missing, bool16 dialog);
// Appends a history entry (the session's user and alias, now) when the field's value
// changed since its last entry. 1 when it appended one.
int16 StampHistory(BRNField& field);
// The required-fields dialog: the message with OK and Cancel; 1 for OK, 0 otherwise.
int16 ShowRequiredFieldsDialog(const PMString& message);
// The same with the missing fields listed in the dialog (the "required" dialog of the faces).
int16 ShowRequiredFieldsDialog(const PMString& message, const PMStringList& missing);
} // namespace BRNPackageUtils
