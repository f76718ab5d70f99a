#include "metadata/BRNXMPSchema.h"

#include "CVLog.h"
#include "base/GlobalTime.h"
#include "files/BRNUtils.h"
#include "io/FileUtils.h"
#include "logic/BRNPackageUtils.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>

namespace {

// Paths are composed here in UTF-8 by the convention of XMPPacketAccess.h (the bare name
// first, the registered prefix on every later step) and handed to the UTF-8 calls: the
// store is asked for nothing per value but the value itself.

std::string U8(const PMString& s) {
    return s.GetUTF8String();
}

const char* Flag(bool16 v) {
    return v ? "True" : "False";
}

// "True" in any case, as PMString::IsEqualNoCase compares: ASCII letters only, so the bytes
// decide as the UTF-16 units would.
bool IsTrue(std::string_view s) {
    if (s.size() != 4) return false;
    const char* t = "true";
    for (size_t i = 0; i < 4; ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        if (c != t[i]) return false;
    }
    return true;
}

PMString Text(std::string_view s) {
    PMString p(s);
    p.SetTranslatable(kFalse);
    return p;
}

int32 Number(std::string_view s) {
    return Text(s).GetAsNumber();
}

void AppendIndex(std::string& path, int32 index) {
    char buf[16];
    const int n = std::snprintf(buf, sizeof buf, "[%d]", index);
    path.append(buf, static_cast<size_t>(n));
}

// Writes under one namespace. Arrays it fills were created (or emptied) by this write, so
// their item count is known: item 1 is appended, which creates the array in the ordered
// form; a later item comes into being with its first member, the toolkit creating the item
// at count + 1 just as an append would.
class Writer {
public:
    Writer(IXMPPacketAccess* xmp, std::string ns, std::string prefix)
        : fXMP(xmp), fNS(std::move(ns)), fPrefix(std::move(prefix)) {}

    IXMPPacketAccess* XMP() const { return fXMP; }
    const char* NS() const { return fNS.c_str(); }

    // structPath + "/prefix:name"
    std::string Member(const std::string& structPath, const char* name) const {
        std::string p;
        p.reserve(structPath.size() + fPrefix.size() + 24);
        p += structPath;
        p += '/';
        p += fPrefix;
        p += ':';
        p += name;
        return p;
    }
    // The same, in a buffer that keeps "structPath/prefix:" while the struct stays the same.
    const char* MemberPath(const std::string& structPath, const char* name) {
        const size_t n = structPath.size();
        if (fBase != n + fPrefix.size() + 2 || std::memcmp(fPath.data(), structPath.data(), n) != 0) {
            fPath.assign(structPath);
            fPath += '/';
            fPath += fPrefix;
            fPath += ':';
            fBase = fPath.size();
        } else {
            fPath.resize(fBase);
        }
        fPath += name;
        return fPath.c_str();
    }

    // Item `count + 1` of an array this write filled with `count` items so far.
    std::string NewItem(const std::string& array, int32 count) {
        std::string item = array;
        AppendIndex(item, count + 1);
        if (count == 0) {
            fXMP->AppendArrayItemUTF8(NS(), array.c_str(), "", IXMPPacketAccess::kArrayOrdered,
                                      IXMPPacketAccess::kItemIsStruct);
            fPending.clear();
        } else {
            fPending = array;
        }
        return item;
    }

    void Set(const std::string& structPath, const char* name, const char* value) {
        if (fXMP->SetPropertyUTF8(NS(), MemberPath(structPath, name), value) || fPending.empty()) {
            fPending.clear();
            return;
        }
        // The item was not created by its first member: append it as the toolkit would have.
        fXMP->AppendArrayItemUTF8(NS(), fPending.c_str(), "", IXMPPacketAccess::kArrayOrdered,
                                  IXMPPacketAccess::kItemIsStruct);
        fPending.clear();
        fXMP->SetPropertyUTF8(NS(), MemberPath(structPath, name), value);
    }
    void Set(const std::string& structPath, const char* name, const std::string& value) {
        Set(structPath, name, value.c_str());
    }
    void Set(const std::string& structPath, const char* name, const PMString& value) {
        // The text converted into a reused buffer; ASCII (most text) unit by unit, the rest
        // as PMString converts it.
        const std::u16string& units = value.Units();
        fValue.resize(units.size());
        size_t i = 0;
        for (; i < units.size() && units[i] < 0x80; ++i)
            fValue[i] = static_cast<char>(units[i]);
        if (i < units.size()) {
            fValue.resize(i);
            fValue += StringUtils::UTF16ToUTF8(std::u16string_view(units).substr(i));
        }
        Set(structPath, name, fValue.c_str());
    }
    void Delete(const std::string& structPath, const char* name) {
        fXMP->DeletePropertyUTF8(NS(), MemberPath(structPath, name));
    }
    // A member set again moves to the end of its struct; one set first on a fresh item needs
    // no delete.
    void DeleteThenSet(const std::string& structPath, const char* name, const std::string& value,
                       bool fresh) {
        if (!fresh) Delete(structPath, name);
        Set(structPath, name, value);
    }
    void SetDate(const std::string& structPath, const char* name, const XMPDateTime& value) {
        fXMP->SetProperty_DateUTF8(NS(), MemberPath(structPath, name), value);
    }
    std::string Get(const std::string& structPath, const char* name) {
        std::string v;
        fXMP->GetPropertyUTF8(NS(), MemberPath(structPath, name), &v);
        return v;
    }
    int32 Count(const std::string& array) { return fXMP->CountArrayItemsUTF8(NS(), array.c_str()); }
    // One struct item per string, each with member "Value", into an array this write creates.
    void WriteList(const std::string& structPath, const char* name, const PMStringList& values) {
        const std::string array = Member(structPath, name);
        int32 n = 0;
        for (const PMString& v : values)
            Set(NewItem(array, n++), "Value", v);
    }

private:
    IXMPPacketAccess* fXMP;
    std::string fNS;
    std::string fPrefix;
    std::string fPath;    // the member path handed to the store, reused
    size_t fBase = 0;     // length of its "structPath/prefix:" part
    std::string fValue;   // a value converted to UTF-8, reused
    std::string fPending; // the array whose item the next Set creates
};

bool HasDocType(IXMPPacketAccess* xmp, const std::string& ns) {
    std::string prefix;
    return xmp->GetNamespacePrefixUTF8(ns.c_str(), &prefix) &&
           xmp->DoesPropertyExistUTF8(ns.c_str(), "DocType");
}

// The time zone of the present moment, for the history entries of one write.
struct Zone {
    int32 sign = 0, hour = 0, minute = 0;
    static Zone Now() {
        Zone z;
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        long offset = local.tm_gmtoff;
        z.sign = offset > 0 ? 1 : offset < 0 ? -1 : 0;
        offset = offset < 0 ? -offset : offset;
        z.hour = static_cast<int32>(offset / 3600);
        z.minute = static_cast<int32>((offset % 3600) / 60);
        return z;
    }
};

// The entry's calendar time with the time zone of the present moment.
XMPDateTime HistoryTime(const GlobalTime& t, const Zone& zone) {
    XMPDateTime dt;
    t.GetTime(&dt.year, &dt.month, &dt.day, &dt.hour, &dt.minute, &dt.second);
    dt.tzSign = zone.sign;
    dt.tzHour = zone.hour;
    dt.tzMinute = zone.minute;
    return dt;
}

// The value step; fresh when the item was appended by this write and has none of these
// members yet.
void WriteValue(Writer& s, const std::string& item, const BRNField& f, bool fresh) {
    switch (f.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
    case kBRNTypeDirectory:
    case kBRNTypeText:
        s.DeleteThenSet(item, "Value", U8(f.GetValue()), fresh);
        break;
    case kBRNTypeBoolean:
        s.DeleteThenSet(item, "Value", Flag(f.GetBoolValue()), fresh);
        break;
    case kBRNTypeMultiChoice:
        if (!fresh) s.Delete(item, "SelectedValues");
        s.WriteList(item, "SelectedValues", f.GetSelectedValues());
        s.DeleteThenSet(item, "Value", U8(f.GetValue()), fresh);
        break;
    case kBRNTypeCalculatedString:
        s.DeleteThenSet(item, "AllowUserValues", Flag(f.GetAllowUserValues()), fresh);
        s.DeleteThenSet(item, "FieldOverridden", Flag(f.GetFieldOverridden()), fresh);
        s.DeleteThenSet(item, "Value", U8(f.GetValue()), fresh);
        break;
    case kBRNTypeDeadline: {
        BRNDeadline d = f.GetDeadline();
        PMString planned = d.PlannedDate, executed = d.ExecutedDate;
        planned.ToLower();
        executed.ToLower();
        if (planned == PMString("now"))
            d.PlannedDate = BRNXMPSchema::Today();
        else if (executed == PMString("now"))
            d.ExecutedDate = BRNXMPSchema::Today();
        s.DeleteThenSet(item, "PlannedDate", U8(d.PlannedDate), fresh);
        s.DeleteThenSet(item, "ExecutedDate", U8(d.ExecutedDate), fresh);
        s.DeleteThenSet(item, "ExecutedBy", U8(d.ExecutedBy), fresh);
        s.DeleteThenSet(item, "Value", U8(f.GetValue()), fresh);
        break;
    }
    default:
        // A type outside the table: its value text goes back as it was read.
        s.DeleteThenSet(item, "Value", U8(f.GetValue()), fresh);
        break;
    }
}

// The type name a field is stored under: the table's, or the text it was read with.
PMString StoredTypeName(const BRNField& f) {
    if (f.IsKnownType() || f.GetStoredTypeName().IsEmpty()) return BRNField::TypeName(f.GetType());
    return f.GetStoredTypeName();
}

void WriteNewField(Writer& s, const std::string& fieldsArray, int32 index, const BRNField& f,
                   const Zone& zone) {
    const std::string item = s.NewItem(fieldsArray, index);
    s.Set(item, "Name", f.GetName());
    s.Set(item, "ShortName", f.GetShortName());
    s.Set(item, "Description", f.GetDescription());
    s.Set(item, "Required", Flag(f.GetRequired()));
    s.Set(item, "Hidden", Flag(f.GetHidden()));
    s.Set(item, "ReadOnly", Flag(f.GetReadOnly()));
    WriteValue(s, item, f, true);
    const int32 type = f.GetType();
    s.Set(item, "Type", StoredTypeName(f));
    s.Set(item, "HasDefault", Flag(f.GetHasDefault()));
    if (f.GetHasDefault()) s.Set(item, "DefaultValue", f.GetDefaultValue());
    if (type == kBRNTypeText || type == kBRNTypeMultiChoice)
        s.DeleteThenSet(item, "VisibleLines", std::to_string(f.GetVisibleLines()), true);
    // The value step of a CalculatedString wrote it already: set again, it moves to here.
    if (type == kBRNTypeMultiChoice || type == kBRNTypeCalculatedString)
        s.DeleteThenSet(item, "AllowUserValues", Flag(f.GetAllowUserValues()), type == kBRNTypeMultiChoice);
    s.WriteList(item, "Options", f.GetOptions());
    const std::string history = s.Member(item, "History");
    int32 n = 0;
    for (const BRNHistory& h : f.GetHistory()) {
        const std::string entry = s.NewItem(history, n++);
        s.Set(entry, "User", h.GetUser());
        s.Set(entry, "Alias", h.GetAlias());
        s.SetDate(entry, "Time", HistoryTime(h.GetTime(), zone));
        s.Set(entry, "Value", h.GetValue());
    }
    s.WriteList(item, "DefaultValues", f.GetDefaultValues());
}

void UpdateField(Writer& s, const BRNField& f) {
    const std::string packages("Packages");
    if (!s.XMP()->DoesPropertyExistUTF8(s.NS(), packages.c_str())) return;
    const std::string name = U8(f.GetName()), shortName = U8(f.GetShortName());
    for (int32 i = 1, np = s.Count(packages); i <= np; ++i) {
        std::string package = packages;
        AppendIndex(package, i);
        const std::string fields = s.Member(package, "Fields");
        for (int32 j = 1, nf = s.Count(fields); j <= nf; ++j) {
            std::string item = fields;
            AppendIndex(item, j);
            // Compared as the UTF-16 texts they become, so that invalid UTF-8 compares as read.
            if (Text(s.Get(item, "Name")) != f.GetName() ||
                Text(s.Get(item, "ShortName")) != f.GetShortName())
                continue;
            if (Text(s.Get(item, "Type")) != StoredTypeName(f)) continue;
            WriteValue(s, item, f, false);
        }
    }
}

PMString FileName(const IDFile& f) {
    PMString s(f.Path().filename().string());
    s.SetTranslatable(kFalse);
    return s;
}

void WriteAssignments(Writer& s, const BRNXMPDocumentInfo& doc) {
    const std::string assignments("Assignments");
    s.XMP()->DeletePropertyUTF8(s.NS(), assignments.c_str());
    int32 n = 0;
    for (const BRNAssignmentRecord& a : doc.assignments) {
        if (a.stories.empty() && a.file.IsEmpty()) continue;
        const std::string item = s.NewItem(assignments, n++);
        s.Set(item, "Name", a.name);
        s.Set(item, "User", a.user);
        s.Set(item, "FileName", FileName(a.file));
        s.Set(item, "FilePath", a.file.GetPathString());
        s.Set(item, "FilePathURI", FileUtils::FileToURL(a.file));
        const std::string stories = s.Member(item, "Stories");
        int32 k = 0;
        for (const auto& story : a.stories) {
            const std::string st = s.NewItem(stories, k++);
            s.Set(st, "Name", story.name);
            s.Set(st, "FileName", FileName(story.file));
            s.Set(st, "FilePath", story.file.GetPathString());
            s.Set(st, "FilePathURI", FileUtils::FileToURL(story.file));
        }
    }
}

// The reader runs over either of two sources with the same steps: the namespace's tree read
// at once, or property calls with composed paths for a packet the tree cannot give.
class TreeSource {
public:
    using Node = int32;
    explicit TreeSource(const XMPTree& tree) : fTree(tree) {}
    Node Member(Node structNode, const char* name) const { return fTree.Field(structNode, name); }
    std::string_view Get(Node structNode, const char* name) const {
        return fTree.Value(Member(structNode, name));
    }
    // fn(item) for each item of the array, in order.
    template <class Fn> void ForEachItem(Node array, Fn fn) const {
        if (fTree.Count(array) == 0) return;
        for (Node item = fTree.FirstChild(array); item != XMPTree::kNone; item = fTree.Next(item))
            fn(item);
    }
    bool Date(Node structNode, const char* name, XMPDateTime* value) const {
        const Node n = Member(structNode, name);
        // The toolkit converts simple values only.
        if (n == XMPTree::kNone || fTree.At(n).kind != XMPTree::kSimple) return false;
        return XMPTree::ParseDate(fTree.Value(n), value);
    }

private:
    const XMPTree& fTree;
};

class PathSource {
public:
    using Node = std::string;
    PathSource(IXMPPacketAccess* xmp, std::string ns, std::string prefix)
        : fXMP(xmp), fNS(std::move(ns)), fPrefix(std::move(prefix)) {}
    Node Member(const Node& structPath, const char* name) const {
        return structPath + '/' + fPrefix + ':' + name;
    }
    std::string_view Get(const Node& structPath, const char* name) const {
        fValue.clear();
        fXMP->GetPropertyUTF8(fNS.c_str(), Member(structPath, name).c_str(), &fValue);
        return fValue;
    }
    template <class Fn> void ForEachItem(const Node& array, Fn fn) const {
        for (int32 i = 1, n = fXMP->CountArrayItemsUTF8(fNS.c_str(), array.c_str()); i <= n; ++i) {
            std::string item = array;
            AppendIndex(item, i);
            fn(item);
        }
    }
    bool Date(const Node& structPath, const char* name, XMPDateTime* value) const {
        return fXMP->GetProperty_DateUTF8(fNS.c_str(), Member(structPath, name).c_str(), value);
    }

private:
    IXMPPacketAccess* fXMP;
    std::string fNS;
    std::string fPrefix;
    mutable std::string fValue; // the last value read, valid until the next Get
};

template <class Source>
PMStringList ReadList(const Source& s, const typename Source::Node& item, const char* name) {
    PMStringList values;
    s.ForEachItem(s.Member(item, name),
                  [&](const typename Source::Node& entry) { values.push_back(Text(s.Get(entry, "Value"))); });
    return values;
}

template <class Source>
BRNField ReadField(const Source& s, const typename Source::Node& item,
                   const std::vector<BRNDeadlineColor>& colors) {
    BRNField f;
    f.SetName(Text(s.Get(item, "Name")));
    f.SetShortName(Text(s.Get(item, "ShortName")));
    f.SetDescription(Text(s.Get(item, "Description")));
    const bool required = IsTrue(s.Get(item, "Required"));
    PMString typeName = Text(s.Get(item, "Type"));
    PMString value = Text(s.Get(item, "Value"));
    const bool hasDefault = IsTrue(s.Get(item, "HasDefault"));
    PMString defaultValue = Text(s.Get(item, "DefaultValue"));
    const bool hidden = IsTrue(s.Get(item, "Hidden"));
    const bool readOnly = IsTrue(s.Get(item, "ReadOnly"));
    // A name outside the table stays outside it, so nothing type-specific is read.
    int32 type = BRNField::TypeFromName(typeName);
    if (type == kBRNTypeString && typeName != BRNField::TypeName(kBRNTypeString)) type = kBRNTypeCount;
    f.SetType(type);
    switch (type) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
    case kBRNTypeDirectory:
        f.SetValue(value);
        break;
    case kBRNTypeBoolean:
        f.SetBoolValue(value.IsEqualNoCase(PMString("True")));
        break;
    case kBRNTypeText:
        f.SetVisibleLines(Number(s.Get(item, "VisibleLines")));
        f.SetValue(value);
        break;
    case kBRNTypeMultiChoice:
        f.SetVisibleLines(Number(s.Get(item, "VisibleLines")));
        f.SetAllowUserValues(IsTrue(s.Get(item, "AllowUserValues")));
        break;
    case kBRNTypeCalculatedString:
        f.SetAllowUserValues(IsTrue(s.Get(item, "AllowUserValues")));
        f.SetFieldOverridden(IsTrue(s.Get(item, "FieldOverridden")));
        f.SetValue(value);
        break;
    case kBRNTypeDeadline: {
        PMString planned = Text(s.Get(item, "PlannedDate"));
        PMString executed = Text(s.Get(item, "ExecutedDate"));
        BRNDeadline d(planned, executed, Text(s.Get(item, "ExecutedBy")));
        d.Colors = colors;
        f.SetDeadline(d);
        break;
    }
    default:
        // Kept as read, so that a write of the package gives both back.
        f.SetStoredTypeName(typeName);
        f.SetValue(value);
        break;
    }
    f.SetRequired(required);
    f.SetHidden(hidden);
    f.SetReadOnly(readOnly);
    f.SetHasDefault(hasDefault);
    if (f.GetHasDefault()) f.SetDefaultValue(defaultValue);
    f.SetOptions(ReadList(s, item, "Options"));
    f.SetDefaultValues(ReadList(s, item, "DefaultValues"));
    f.SetSelectedValues(ReadList(s, item, "SelectedValues"), PMString(", "));
    s.ForEachItem(s.Member(item, "History"), [&](const typename Source::Node& entry) {
        XMPDateTime dt;
        GlobalTime time;
        if (s.Date(entry, "Time", &dt)) {
            // A date of reduced precision ("2023-05", "2023", as other writers may store it)
            // stands for its first instant; a month or day of 0 would roll back into the one
            // before.
            if (dt.month < 1) dt.month = 1;
            if (dt.day < 1) dt.day = 1;
            time.SetTime(dt.year, dt.month, dt.day, dt.hour, dt.minute, dt.second);
        }
        PMString user = Text(s.Get(entry, "User"));
        PMString alias = Text(s.Get(entry, "Alias"));
        f.GetHistory().emplace_back(std::move(user), std::move(alias), time, Text(s.Get(entry, "Value")));
    });
    return f;
}

template <class Source> BRNPackageList ReadPackages(const Source& s, const typename Source::Node& packages) {
    BRNPackageList result;
    s.ForEachItem(packages, [&](const typename Source::Node& item) {
        PMString name = Text(s.Get(item, "Name"));
        BRNPackage p(name, PMString(), 0);
        p.SetPassword(Text(s.Get(item, "Password")));
        p.SetLocked(kTrue);
        // A version no package can have reads as 0: the package stays in the document, and
        // any copy in the library counts as newer.
        uint32 version = 0;
        if (!BRNPackage::ParseVersion(s.Get(item, "Version"), &version)) version = 0;
        p.SetVersion(version);
        p.SetTimestampValue(Number(s.Get(item, "Timestamp")));
        p.SetEnabled(IsTrue(s.Get(item, "Enabled")));
        // Deadline fields get their package's colour table from the defaults files.
        std::vector<BRNDeadlineColor> colors;
        bool colorsRead = false;
        s.ForEachItem(s.Member(item, "Fields"), [&](const typename Source::Node& fieldItem) {
            if (!colorsRead && BRNField::TypeFromName(Text(s.Get(fieldItem, "Type"))) == kBRNTypeDeadline) {
                colors = BRNUtils::GetDeadlineColors(name);
                colorsRead = true;
            }
            p.Fields().push_back(ReadField(s, fieldItem, colors));
        });
        result.push_back(std::move(p));
    });
    return result;
}

} // namespace

const WideString& BRNXMPSchema::CurrentNamespace() {
    static const WideString ns("https://ns.corvane.com/xmp/indesign/brindle/2.0/");
    return ns;
}

const WideString& BRNXMPSchema::LegacyNamespace() {
    static const WideString ns("http://www.corvane.dk/xmp/indesign/brindle/1.0/");
    return ns;
}

const WideString& BRNXMPSchema::SuggestedPrefix() {
    static const WideString prefix("dunmoreBRN");
    return prefix;
}

PMString BRNXMPSchema::Today() {
    return BRNPackageUtils::FormatToday();
}

void BRNXMPSchema::Write(IXMPPacketAccess* xmp, const BRNXMPWriteRequest& request,
                         const BRNXMPDocumentInfo* document) {
    CV_TRACE("BRNXMPSchema::Write");
    if (!xmp) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED();
    }
    static const std::string current = CurrentNamespace().GetUTF8String();
    static const std::string legacy = LegacyNamespace().GetUTF8String();
    const bool legacyPresent = HasDocType(xmp, legacy);
    const bool currentPresent = HasDocType(xmp, current);
    if ((legacyPresent && !currentPresent) || (request.purgeLegacy && legacyPresent)) {
        xmp->DeletePropertyUTF8(legacy.c_str(), "Packages");
        xmp->DeletePropertyUTF8(legacy.c_str(), "DocType");
    }
    WideString registered;
    xmp->RegisterNamespace(CurrentNamespace(), SuggestedPrefix(), &registered);
    Writer s(xmp, current, registered.GetUTF8String());
    if (request.deletePackages) {
        xmp->DeletePropertyUTF8(current.c_str(), "Packages");
    } else if (request.singleField) {
        UpdateField(s, request.field);
    } else {
        const std::string packages("Packages");
        xmp->DeletePropertyUTF8(current.c_str(), packages.c_str());
        const Zone zone = Zone::Now();
        int32 np = 0;
        for (const BRNPackage& p : request.packages) {
            const std::string item = s.NewItem(packages, np++);
            s.Set(item, "Name", p.GetName());
            s.Set(item, "Password", p.GetPassword());
            s.Set(item, "Version", std::to_string(p.GetVersion()));
            s.Set(item, "Timestamp", std::to_string(p.GetTimestamp()));
            s.Set(item, "PackageType", "0");
            s.Set(item, "Enabled", Flag(p.GetEnabled()));
            const std::string fields = s.Member(item, "Fields");
            int32 nf = 0;
            for (const BRNField& f : p.GetFields())
                WriteNewField(s, fields, nf++, f, zone);
        }
    }
    if (document) WriteAssignments(s, *document);
    const char* docType = !document              ? "Adobe InCopy"
                          : document->isTemplate ? "Adobe InDesign Template"
                                                 : "Adobe InDesign";
    xmp->SetPropertyUTF8(current.c_str(), "DocType", docType);
    CV_RETURN_VOID();
}

BRNPackageList BRNXMPSchema::Read(IXMPPacketAccess* xmp, bool* legacy) {
    CV_TRACE("BRNXMPSchema::Read");
    if (legacy) *legacy = false;
    BRNPackageList result;
    if (!xmp) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(result);
    }
    static const std::string current = CurrentNamespace().GetUTF8String();
    static const std::string old = LegacyNamespace().GetUTF8String();
    const bool legacyPresent = HasDocType(xmp, old);
    const bool currentPresent = HasDocType(xmp, current);
    if (!currentPresent && !legacyPresent) CV_RETURN(result);
    const std::string& ns = currentPresent ? current : old;
    if (!xmp->DoesPropertyExistUTF8(ns.c_str(), "Packages")) CV_RETURN(result);
    XMPTree tree;
    if (xmp->ReadNamespaceTree(ns.c_str(), &tree)) {
        TreeSource source(tree);
        result = ReadPackages(source, source.Member(XMPTree::Root(), "Packages"));
    } else {
        std::string prefix;
        xmp->GetNamespacePrefixUTF8(ns.c_str(), &prefix);
        result = ReadPackages(PathSource(xmp, ns, prefix), std::string("Packages"));
    }
    if (legacy) *legacy = legacyPresent && !currentPresent;
    CV_RETURN(result);
}
