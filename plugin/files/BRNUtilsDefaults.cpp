// Escaped values, defaults files and deadline colour tables.
#include "BRNID.h"
#include "files/BRNUtils.h"
#include "logic/BRNPackageUtils.h"

#include "CVExpatSimpleDOM.h"
#include "CVLog.h"
#include "io/FileUtils.h"
#include "io/StreamUtil.h"
#include "objectmodel/InterfacePtr.h"
#include "PosixFileSystemIterator.h"

#include <map>
#include <mutex>
#include <time.h>

#include <algorithm>
#include "session/Host.h"
#include "ui/CAlert.h"

namespace BRNUtils {

namespace {
const std::u16string kUnicodeOpen = u"%3cCVUNICODE%3a";
const std::u16string kUnicodeClose = u"%2f%3e";
const char16_t* const kHex = u"0123456789ABCDEF";

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    return -1;
}

// The number of n hexadecimal digits at position i, or -1.
int32 HexAt(const std::u16string& s, size_t i, size_t n) {
    if (i + n > s.size()) return -1;
    int32 v = 0;
    for (size_t k = 0; k < n; ++k) {
        int d = HexDigit(s[i + k]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// The file's text for the log: UTF-16 files are decoded, anything else is taken as it is.
std::string FileText(const IDFile& file) {
    InterfacePtr<IPMStream> stream(StreamUtil::CreateFileStreamRead(file));
    if (!stream) return {};
    std::string bytes;
    uchar buf[4096];
    for (int32 n; (n = stream->XferByte(buf, sizeof buf)) > 0;)
        bytes.append(reinterpret_cast<char*>(buf), n);
    if (bytes.size() >= 2 && ((uchar)bytes[0] == 0xFF && (uchar)bytes[1] == 0xFE)) {
        std::u16string u;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            u.push_back(static_cast<char16_t>((uchar)bytes[i] | ((uchar)bytes[i + 1] << 8)));
        return StringUtils::UTF16ToUTF8(u);
    }
    if (bytes.size() >= 2 && ((uchar)bytes[0] == 0xFE && (uchar)bytes[1] == 0xFF)) {
        std::u16string u;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            u.push_back(static_cast<char16_t>(((uchar)bytes[i] << 8) | (uchar)bytes[i + 1]));
        return StringUtils::UTF16ToUTF8(u);
    }
    return bytes;
}

enum class Visit { kFound, kNotFound, kFailed };

using Stamp = FileUtils::FileStamp;

bool StampOf(const IDFile& file, Stamp* s) {
    return FileUtils::StampOf(file.Path(), s);
}

bool Settled(const Stamp& s) {
    return FileUtils::IsSettled(s);
}

// Parsed defaults files, kept while each file is unchanged: a batch opens one document after
// another and each asks for the defaults of its packages. A file that fails to parse is not
// kept, so it is reported each time it is asked for.
struct ParsedFile {
    Stamp stamp;
    std::shared_ptr<CVDomElement> tree;
};
std::mutex gParsedMutex;
std::map<std::string, ParsedFile> gParsed;

std::shared_ptr<CVDomElement> KeptTree(const IDFile& file, Stamp* stamp, bool* known) {
    *known = StampOf(file, stamp);
    if (!*known) return nullptr;
    std::lock_guard<std::mutex> lock(gParsedMutex);
    const auto it = gParsed.find(file.Path().string());
    return it != gParsed.end() && it->second.stamp == *stamp ? it->second.tree : nullptr;
}

void KeepTree(const IDFile& file, const Stamp& stamp, const std::shared_ptr<CVDomElement>& tree) {
    std::lock_guard<std::mutex> lock(gParsedMutex);
    if (gParsed.size() >= 64) gParsed.clear();
    gParsed[file.Path().string()] = ParsedFile{stamp, tree};
}

// Visits the parsed defaults files in order until the visitor returns true. A file that
// does not parse is reported; it ends the visit, or is skipped when skipBroken is set.
template <class Visitor> Visit VisitDefaultsFiles(Visitor visit, bool skipBroken) {
    bool failed = false;
    for (const IDFile& file : GetDefaultsFiles()) {
        Stamp stamp;
        bool known = false;
        if (std::shared_ptr<CVDomElement> kept = KeptTree(file, &stamp, &known)) {
            if (visit(kept, file)) return Visit::kFound;
            continue;
        }
        CVExpatSimpleDOM& dom = CVExpatSimpleDOM::Instance();
        if (!dom.ParseFile(file)) {
            PMString message("Brindle failed to parse XML in file ");
            message.Append(file.GetFileName());
            message.Append(" XML Parser error: ");
            message.Append(dom.GetError());
            message.SetTranslatable(kFalse);
            CAlert::ErrorAlert(message);
            BRN_APPEND_TO_LOG_FILE(
                PMString("Brindle failed to parse xmlStr from defaults file:\n" + FileText(file)));
            if (!skipBroken) return Visit::kFailed;
            failed = true;
            continue;
        }
        std::shared_ptr<CVDomElement> tree(dom.TakeRoot());
        Stamp after;
        if (tree && known && Settled(stamp) && StampOf(file, &after) && after == stamp)
            KeepTree(file, stamp, tree);
        if (tree && visit(tree, file)) return Visit::kFound;
    }
    return failed ? Visit::kFailed : Visit::kNotFound;
}
} // namespace

PMString EscapeValue(const PMString& value) {
    std::u16string out;
    out.reserve(static_cast<size_t>(value.CharCount()) * 3);
    for (char16_t c : value.Units()) {
        if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (c >= u'0' && c <= u'9') || c == u'-') {
            out.push_back(c);
        } else if (c == u' ') {
            out.push_back(u'+');
        } else if (c > 255) {
            out += kUnicodeOpen;
            for (int shift = 12; shift >= 0; shift -= 4)
                out.push_back(kHex[(c >> shift) & 15]);
            out += kUnicodeClose;
        } else {
            out.push_back(u'%');
            out.push_back(kHex[(c >> 4) & 15]);
            out.push_back(kHex[c & 15]);
        }
    }
    PMString s(std::move(out));
    s.SetTranslatable(kFalse);
    return s;
}

PMString UnescapeValue(const PMString& escaped) {
    const std::u16string& s = escaped.Units();
    std::u16string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        if (s.compare(i, kUnicodeOpen.size(), kUnicodeOpen) == 0) {
            int32 code = HexAt(s, i + kUnicodeOpen.size(), 4);
            size_t close = i + kUnicodeOpen.size() + 4;
            if (code >= 0 && s.compare(close, kUnicodeClose.size(), kUnicodeClose) == 0) {
                out.push_back(static_cast<char16_t>(code));
                i = close + kUnicodeClose.size();
                continue;
            }
        }
        if (s[i] == u'%') {
            int32 code = HexAt(s, i + 1, 2);
            if (code >= 0) {
                out.push_back(static_cast<char16_t>(code));
                i += 3;
                continue;
            }
        }
        out.push_back(s[i] == u'+' ? u' ' : s[i]);
        ++i;
    }
    PMString r(std::move(out));
    r.SetTranslatable(kFalse);
    return r;
}

std::vector<IDFile> GetDefaultsFiles() {
    std::vector<IDFile> files;
    IDFile plugin;
    if (!Host::GetPluginFile(kBRNPluginID, &plugin)) {
        CV_LOG_FAILED();
        return files;
    }
    // The folder is listed again only when its entries changed (its own times change then).
    static std::mutex listMutex;
    static std::string listedFolder;
    static Stamp listedStamp;
    static std::vector<IDFile> listed;
    Stamp folderStamp;
    const bool stamped = StampOf(plugin.Parent(), &folderStamp);
    {
        std::lock_guard<std::mutex> lock(listMutex);
        if (stamped && listedFolder == plugin.Parent().Path().string() && listedStamp == folderStamp)
            return listed;
    }
    PosixFileSystemIterator lister;
    std::vector<IDFile> entries;
    lister.ListEntries(plugin.Parent(), entries, 256);
    for (const IDFile& e : entries) {
        if (lister.IsDirectory(e)) continue;
        std::u16string name = e.GetFileName().Units();
        if (name.find(u"Brindle") == std::u16string::npos) continue;
        size_t from = name.size() > 5 ? name.size() - 5 : 0;
        if (name.find(u".xml", from) == std::u16string::npos) continue;
        files.push_back(e);
    }
    // By file name in byte order, so that every machine visits them alike whatever order the
    // file system lists them in.
    std::sort(files.begin(), files.end(), [](const IDFile& a, const IDFile& b) {
        return a.Path().filename().string() < b.Path().filename().string();
    });
    Stamp afterStamp;
    if (stamped && Settled(folderStamp) && StampOf(plugin.Parent(), &afterStamp) && afterStamp == folderStamp) {
        std::lock_guard<std::mutex> lock(listMutex);
        listedFolder = plugin.Parent().Path().string();
        listedStamp = folderStamp;
        listed = files;
    }
    return files;
}

BRNPackageDefaults GetPackageDefaults(const PMString& packageName) {
    CV_TRACE("BRNUtils::GetPackageDefaults");
    BRNPackageDefaults exact, fallback;
    const std::string name = packageName.GetUTF8String();
    Visit result = VisitDefaultsFiles(
        [&](const std::shared_ptr<CVDomElement>& tree, const IDFile& file) {
            for (int32 i = 0; const CVDomElement* p = tree->FindChild("package", i); ++i) {
                const std::string* n = p->FindAttributeUTF8("name");
                if (!n) continue;
                if (*n == name) {
                    exact = BRNPackageDefaults(tree, p, file);
                    return true;
                }
                if (!fallback) fallback = BRNPackageDefaults(tree, p, file);
            }
            return false;
        },
        false);
    // A file that failed to parse means no defaults at all.
    if (result == Visit::kFailed) CV_RETURN_FAILED({});
    CV_RETURN(exact ? exact : fallback);
}

std::vector<BRNDeadlineColor> ParseDeadlineColors(const CVDomElement* deadlineColors) {
    std::vector<BRNDeadlineColor> colors;
    if (!deadlineColors) return colors;
    for (int32 i = 0; i < deadlineColors->ChildCount(); ++i) {
        const CVDomElement* e = deadlineColors->ChildAt(i);
        if (!e->IsElement() || e->GetName() != "deadlinecolor") continue;
        BRNDeadlineColor c;
        if (const std::string* v = e->FindAttributeUTF8("planned")) c.wantsPlanned = *v == "empty" ? 0 : 1;
        if (const std::string* v = e->FindAttributeUTF8("executed")) c.wantsExecuted = *v == "empty" ? 0 : 1;
        // A number that does not read as one skips the entry (with a line in the log) rather
        // than counting as 0.
        std::string fault;
        if (const std::string* v = e->FindAttributeUTF8("hours"); v && !v->empty()) {
            int32 err = 0;
            c.hours = PMString(*v).GetAsNumber(&err);
            if (err) fault = "hours=\"" + *v + "\" is not a whole number";
        }
        auto component = [&](const char* attr, double* out) {
            const std::string* v = e->FindAttributeUTF8(attr);
            if (!v || v->empty() || !fault.empty()) return;
            int32 err = 0;
            *out = PMString(*v).GetAsDouble(&err);
            if (err) fault = std::string(attr) + "=\"" + *v + "\" is not a number";
        };
        component("red", &c.red);
        component("green", &c.green);
        component("blue", &c.blue);
        if (!fault.empty()) {
            BRN_APPEND_TO_LOG_FILE(PMString("Brindle skipped a deadlinecolor entry: " + fault));
            continue;
        }
        colors.push_back(c);
    }
    return colors;
}

std::vector<BRNDeadlineColor> GetDeadlineColors(const PMString& packageName) {
    CV_TRACE("BRNUtils::GetDeadlineColors");
    const std::string name = packageName.GetUTF8String();
    std::vector<BRNDeadlineColor> exact, fallback;
    bool haveFallback = false;
    Visit result = VisitDefaultsFiles(
        [&](const std::shared_ptr<CVDomElement>& tree, const IDFile&) {
            for (int32 i = 0; const CVDomElement* p = tree->FindChild("package", i); ++i) {
                const CVDomElement* table = p->FindChild("deadlinecolors", 0);
                const std::string* n = p->FindAttributeUTF8("name");
                if (n && *n == name) {
                    exact = ParseDeadlineColors(table);
                    return true;
                }
                if (table && !haveFallback) {
                    fallback = ParseDeadlineColors(table);
                    haveFallback = true;
                }
            }
            return false;
        },
        true);
    CV_RETURN(result == Visit::kFound ? exact : fallback);
}

bool16 CheckDeadlineDates(const PMString& planned, const PMString& executed) {
    bool16 badPlanned = BRNPackageUtils::IsInvalidDate(planned);
    bool16 badExecuted = BRNPackageUtils::IsInvalidDate(executed);
    if (!badPlanned && !badExecuted) return kTrue;
    BRNPackageUtils::ShowDateAlert(PMString(badPlanned ? "Planned" : "Executed"));
    return kFalse;
}

} // namespace BRNUtils

// --- Defaults pushed into packages ------------------------------------------------------

namespace BRNUtils {

namespace {
// The field of the package with that short name in the working copy, or null.
BRNField* FieldByShortName(BRNFieldList& fields, const PMString& shortName) {
    for (BRNField& f : fields)
        if (f.GetShortName() == shortName) return &f;
    return nullptr;
}

// Calls visit(field, text) for each value element of the defaults element whose non-empty
// "shortname" names a field of the list.
template <class Visit>
void ForEachDefaultValue(const CVDomElement* element, BRNFieldList& fields, Visit visit) {
    for (int32 i = 0; i < element->ChildCount(); ++i) {
        const CVDomElement* e = element->ChildAt(i);
        if (!e->IsElement()) continue;
        const std::string* shortName = e->FindAttributeUTF8("shortname");
        if (!shortName || shortName->empty()) continue;
        BRNField* field = FieldByShortName(fields, PMString(*shortName));
        if (!field) continue;
        PMString text(e->GetTextUTF8());
        text.SetTranslatable(kFalse);
        visit(*field, text);
    }
}
} // namespace

void ApplyDefaultsFile(BRNPackage& package) {
    CV_TRACE("BRNUtils::ApplyDefaultsFile");
    BRNPackageDefaults defaults = GetPackageDefaults(package.GetName());
    if (!defaults) {
        BRN_APPEND_TO_LOG_FILE(PMString("Brindle failed to parse xmlStr from defaults file!"));
        CV_RETURN_FAILED();
    }
    BRNFieldList fields = package.GetFields();
    ForEachDefaultValue(defaults.GetElement(), fields, [](BRNField& f, const PMString& text) {
        BRNPackageUtils::SetValueFromText(f, text);
    });
    package.SetFields(fields);
    CV_RETURN_VOID();
}

bool16 ApplyDefaultsOnOpen(const UIDRef& document) {
    CV_TRACE("BRNUtils::ApplyDefaultsOnOpen");
    BRNPackageList packages = BRNPackageUtils::ReadPackages(document);
    if (packages.empty() || !packages.front().GetEnabled()) CV_RETURN(kFalse);
    BRNPackage& package = packages.front();
    BRNPackageDefaults defaults = GetPackageDefaults(package.GetName());
    if (!defaults) CV_RETURN(kFalse);
    const std::string* onOpen = defaults.GetElement()->FindAttributeUTF8("applyondocumentopen");
    if (!onOpen || *onOpen != "true") CV_RETURN(kFalse);

    // Only real differences count, so that a document whose values already agree with the
    // defaults file is not rewritten (and marked changed) at every open.
    int32 changes = 0;
    BRNFieldList fields = package.GetFields();
    ForEachDefaultValue(defaults.GetElement(), fields, [&](BRNField& f, const PMString& text) {
        switch (f.GetType()) {
        case kBRNTypeString:
        case kBRNTypeInteger:
        case kBRNTypeChoice:
        case kBRNTypeChoiceString:
        case kBRNTypeDecimal:
        case kBRNTypeDirectory:
        case kBRNTypeText:
            if (f.GetValue() == text) return;
            f.SetValue(text);
            break;
        case kBRNTypeBoolean: {
            const bool16 value = text == PMString("True") ? kTrue : kFalse;
            if (f.GetBoolValue() == value) return;
            f.SetBoolValue(value);
            break;
        }
        case kBRNTypeDate:
            // "ACTIVATION" means the day a package was applied, not the day it was opened.
            if (text == PMString("ACTIVATION") || f.GetValue() == text) return;
            f.SetValue(text);
            break;
        case kBRNTypeMultiChoice: {
            PMStringList parts = BRNPackageUtils::SplitListText(text);
            if (parts == f.GetSelectedValues()) return;
            f.SetSelectedValues(parts, PMString(", "));
            break;
        }
        case kBRNTypeCalculatedString:
            if (f.GetDefaultValue() == text) return;
            f.SetDefaultValue(text);
            break;
        default:
            return;
        }
        ++changes;
    });
    package.SetFields(fields);

    const BRNFieldList before = package.GetFields();
    if (BRNPackageUtils::UpdateCalculatedFields(package) < 0) CV_RETURN_FAILED(kFalse);
    for (size_t i = 0; i < before.size(); ++i)
        if (before[i].GetValue() != package.GetFields()[i].GetValue()) ++changes;
    if (changes == 0) CV_RETURN(kFalse);
    CV_RETURN(BRNPackageUtils::StorePackages(UIDList(document), packages, kFalse, kFalse) == kSuccess ? kTrue
                                                                                                   : kFalse);
}

} // namespace BRNUtils
