// Package definition files: reading one, writing one, exporting from the library.
#pragma once

#include "BRNPackage.h"
#include "BRNTagEntry.h"
#include "IDFile.h"
#include "UIDList.h"
#include "IBRNPrefs.h"

#include <vector>

namespace BRNPackageUtils {
// Reads a package definition file. 0 when a package with a name was read; otherwise 1
// and, when asked, a message saying why.
int32 LoadPackageFile(const IDFile& file, BRNPackage& package, PMString* error = nullptr);
// Writes the package as a definition file (declaration, "brindle" root, "package"
// element), replacing the file in one step. False when it could not be stored.
bool16 WritePackageFile(const IDFile& file, const BRNPackage& package);
// "BRN_" + name + "_v" + version + ".xml".
PMString ProposedFileName(const PMString& name, uint32 version);
// Writes the named library package to a file that the user chooses. A modified package
// has its version raised in the library first. False when nothing was written.
bool16 doExportPackage(const PMString& name);
// Loads each file and puts its package into the library, replacing one of the same name.
// When a file is not a valid package file nothing is changed and the errors say why.
// The packages put into the library are handed back in file order when asked.
bool16 ImportPackageFiles(const std::vector<IDFile>& files, std::vector<PMString>* errors,
                          BRNPackageList* imported = nullptr);
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
// The template with each tag replaced by its value; the template itself (and ok false)
// when the check fails.
PMString EvaluateTags(const BRNPackage& package, const PMString& templateText, bool16* ok, bool16 escape,
                      bool16 checkRequired);
// Applies the tag's format="..." (one printf conversion) to the value. A specification that
// is not exactly one conversion of d i o x X e E f g G s, with flags, width and precision in
// digits only, leaves the value unchanged; so does a value that does not read as a number
// under a numeric conversion, and output longer than the value plus 512 characters.
PMString FormatTagValue(const PMString& tagBody, const PMString& value);
// Applies the tag's substring="start[,count]" to the value.
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
} // namespace BRNPackageUtils
