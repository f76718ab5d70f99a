// Helpers of the plug-in that hold no state.
#pragma once

#include "base/PMString.h"
#include "CVDomElement.h"
#include "files/BRNPackageDefaults.h"
#include "model/BRNDeadlineColor.h"
#include "model/BRNPackage.h"
#include "objectmodel/UIDRef.h"

class IDocument;

#include <string>
#include <vector>

namespace BRNUtils {
// The most one message and the whole log file take: a longer message is cut (marked
// " [cut]"); a file past the size is renamed to "<name>.1" and a new one begun.
constexpr size_t kMaxLogMessageSize = 4096;
constexpr uint64 kMaxLogFileSize = 1024 * 1024;
// Appends "DD-MM-YYYY HH:MM:SS [file:line] message\n" to the named file in the maker's
// recovery folder. Line breaks and other control characters of the message are written as
// escapes ("\n", "\r", "\xHH"). A symbolic link in the file's place is never written
// through. Never fails towards the caller.
void AppendToLogFile(const PMString& fileName, const PMString& message, const std::string& sourceFile,
                     int32 line);

// The escaped form of a value: A-Z, a-z, 0-9 and "-" stay, a blank becomes "+", other
// characters up to 255 become "%" and two upper-case hexadecimal digits, characters above
// 255 become "%3cCVUNICODE%3a", four upper-case hexadecimal digits and "%2f%3e".
PMString EscapeValue(const PMString& value);
// Reads the escaped form back; text that is not in that form is kept as it is.
PMString UnescapeValue(const PMString& escaped);

// The defaults files: every file beside the plug-in's own file whose name holds "Brindle"
// and ends in ".xml" (one character may follow), in the folder's listing order.
std::vector<IDFile> GetDefaultsFiles();
// The "package" element of the defaults files for the package: the first whose "name" is
// the package name, else the first with a "name" at all, else none. A file that does not
// parse stops the search with an alert and a line in the plug-in log file.
BRNPackageDefaults GetPackageDefaults(const PMString& packageName);
// The colour entries of a "deadlinecolors" element, in order; none for a null element.
std::vector<BRNDeadlineColor> ParseDeadlineColors(const CVDomElement* deadlineColors);
// The colour table of the package from the defaults files: the table of the first
// "package" element named so, else the first table met, else none.
std::vector<BRNDeadlineColor> GetDeadlineColors(const PMString& packageName);
// True when both dates are acceptable; otherwise the date alert names the first bad one
// ("Planned" or "Executed").
bool16 CheckDeadlineDates(const PMString& planned, const PMString& executed);
// Stores the values of the package's defaults element (GetPackageDefaults) in its fields by
// short name, with the rules of SetValueFromText. Without an element nothing changes and
// the plug-in log file says so.
void ApplyDefaultsFile(BRNPackage& package);
// When the defaults element of the document's first (enabled) package asks for it
// ("applyondocumentopen"), pushes the element's values into that package; an "ACTIVATION"
// date is never applied here. True when the package list was written back.
bool16 ApplyDefaultsOnOpen(const UIDRef& document);

// The plug-in of ours whose presence turns the companion mode on.
constexpr PluginID kCompanionPluginID = 414209;
// The datagram announcing a document event: "WIN", the event word ("OPEN", "SAVE",
// "CLOSE"), the user (alias, else user name) and the document's file URL, joined by
// "CORVANEDEL", in UTF-8 without an end. Empty for a document without a file.
std::string DocumentEventPayload(IDocument* document, const PMString& event);
// Sends the payload to the destination the host was given (HostConfig::companion); nothing
// without one or without a file. Silent in every case.
void NotifyDocumentEvent(IDocument* document, const PMString& event);
// On when the companion plug-in is loaded, or in the text-editing edition when the marker
// file "sidelink" lies beside the plug-in's file. Settled on the first call for the rest of
// the plug-in's life (each start of the host loads the plug-in anew).
int16 IsCompanionMode();
void ResetCompanionMode();
} // namespace BRNUtils

// Appends a line to "BRN.log" with the caller's source position.
#define BRN_APPEND_TO_LOG_FILE(message)                                                                      \
    BRNUtils::AppendToLogFile(PMString("BRN.log"), (message), CVLog::SourceName(__FILE__), __LINE__)
