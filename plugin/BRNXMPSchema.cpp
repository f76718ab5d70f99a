#include "BRNXMPSchema.h"

#include "BRNPackageUtils.h"
#include "BRNUtils.h"
#include "CVLog.h"
#include "FileUtils.h"
#include "GlobalTime.h"

#include <ctime>

namespace {

using Path = WideString;

// Keeps the namespace and composes paths under it.
class Store {
public:
    Store(IXMPPacketAccess* xmp, const WideString& ns) : fXMP(xmp), fNS(ns) {}
    Path Item(const Path& array, int32 index) const {
        Path p;
        fXMP->ComposeArrayItemPath(fNS, array, index, &p);
        return p;
    }
    Path Member(const Path& structPath, const char* name) const {
        Path p;
        fXMP->ComposeStructFieldPath(fNS, structPath, fNS, WideString(name), &p);
        return p;
    }
    WideString Get(const Path& structPath, const char* name) const {
        WideString v;
        fXMP->GetProperty(fNS, Member(structPath, name), &v);
        return v;
    }
    PMString GetText(const Path& structPath, const char* name) const {
        PMString s(Get(structPath, name));
        s.SetTranslatable(kFalse);
        return s;
    }
    bool GetFlag(const Path& structPath, const char* name) const {
        return GetText(structPath, name).IsEqualNoCase(PMString("True"));
    }
    int32 GetNumber(const Path& structPath, const char* name) const { return GetText(structPath, name).GetAsNumber(); }
    void Set(const Path& structPath, const char* name, const WideString& value) const {
        fXMP->SetProperty(fNS, Member(structPath, name), value, 0);
    }
    void Set(const Path& structPath, const char* name, const PMString& value) const {
        Set(structPath, name, WideString(value));
    }
    void SetFlag(const Path& structPath, const char* name, bool16 v) const {
        Set(structPath, name, WideString(v ? "True" : "False"));
    }
    void Delete(const Path& structPath, const char* name) const { fXMP->DeleteProperty(fNS, Member(structPath, name)); }
    void DeleteThenSet(const Path& structPath, const char* name, const WideString& value) const {
        Delete(structPath, name);
        Set(structPath, name, value);
    }
    // Appends a struct item and returns its path.
    Path Append(const Path& array) const {
        fXMP->AppendArrayItem(fNS, array, WideString(), IXMPPacketAccess::kArrayOrdered,
                              IXMPPacketAccess::kItemIsStruct);
        return Item(array, IXMPPacketAccess::kLastItem);
    }
    int32 Count(const Path& array) const { return fXMP->CountArrayItems(fNS, array); }
    void WriteList(const Path& structPath, const char* name, const PMStringList& values) const {
        Path array = Member(structPath, name);
        for (const PMString& v : values) Set(Append(array), "Value", v);
    }
    PMStringList ReadList(const Path& structPath, const char* name) const {
        PMStringList values;
        Path array = Member(structPath, name);
        for (int32 i = 1, n = Count(array); i <= n; ++i) values.push_back(GetText(Item(array, i), "Value"));
        return values;
    }
    IXMPPacketAccess* XMP() const { return fXMP; }
    const WideString& NS() const { return fNS; }

private:
    IXMPPacketAccess* fXMP;
    WideString fNS;
};

WideString Number(int64 n) { return WideString(std::to_string(n)); }

bool HasDocType(IXMPPacketAccess* xmp, const WideString& ns) {
    WideString prefix;
    return xmp->GetNamespacePrefix(ns, &prefix) && xmp->DoesPropertyExist(ns, WideString("DocType"));
}

// The entry's calendar time with the time zone of the present moment.
XMPDateTime HistoryTime(const GlobalTime& t) {
    XMPDateTime dt;
    t.GetTime(&dt.year, &dt.month, &dt.day, &dt.hour, &dt.minute, &dt.second);
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    long offset = local.tm_gmtoff;
    dt.tzSign = offset > 0 ? 1 : offset < 0 ? -1 : 0;
    offset = offset < 0 ? -offset : offset;
    dt.tzHour = static_cast<int32>(offset / 3600);
    dt.tzMinute = static_cast<int32>((offset % 3600) / 60);
    return dt;
}

void WriteValue(const Store& s, const Path& item, const BRNField& f) {
    switch (f.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
    case kBRNTypeDirectory:
    case kBRNTypeText: s.DeleteThenSet(item, "Value", WideString(f.GetValue())); break;
    case kBRNTypeBoolean: s.DeleteThenSet(item, "Value", WideString(f.GetBoolValue() ? "True" : "False")); break;
    case kBRNTypeMultiChoice:
        s.Delete(item, "SelectedValues");
        s.WriteList(item, "SelectedValues", f.GetSelectedValues());
        s.DeleteThenSet(item, "Value", WideString(f.GetValue()));
        break;
    case kBRNTypeCalculatedString:
        s.DeleteThenSet(item, "AllowUserValues", WideString(f.GetAllowUserValues() ? "True" : "False"));
        s.DeleteThenSet(item, "FieldOverridden", WideString(f.GetFieldOverridden() ? "True" : "False"));
        s.DeleteThenSet(item, "Value", WideString(f.GetValue()));
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
        s.DeleteThenSet(item, "PlannedDate", WideString(d.PlannedDate));
        s.DeleteThenSet(item, "ExecutedDate", WideString(d.ExecutedDate));
        s.DeleteThenSet(item, "ExecutedBy", WideString(d.ExecutedBy));
        s.DeleteThenSet(item, "Value", WideString(f.GetValue()));
        break;
    }
    default: break;
    }
}

void WriteNewField(const Store& s, const Path& fieldsArray, const BRNField& f) {
    Path item = s.Append(fieldsArray);
    s.Set(item, "Name", f.GetName());
    s.Set(item, "ShortName", f.GetShortName());
    s.Set(item, "Description", f.GetDescription());
    s.SetFlag(item, "Required", f.GetRequired());
    s.SetFlag(item, "Hidden", f.GetHidden());
    s.SetFlag(item, "ReadOnly", f.GetReadOnly());
    WriteValue(s, item, f);
    const int32 type = f.GetType();
    s.Set(item, "Type", BRNField::TypeName(type));
    s.SetFlag(item, "HasDefault", f.GetHasDefault());
    if (f.GetHasDefault()) s.Set(item, "DefaultValue", f.GetDefaultValue());
    if (type == kBRNTypeText || type == kBRNTypeMultiChoice)
        s.DeleteThenSet(item, "VisibleLines", Number(f.GetVisibleLines()));
    if (type == kBRNTypeMultiChoice || type == kBRNTypeCalculatedString)
        s.DeleteThenSet(item, "AllowUserValues", WideString(f.GetAllowUserValues() ? "True" : "False"));
    s.WriteList(item, "Options", f.GetOptions());
    Path history = s.Member(item, "History");
    for (const BRNHistory& h : f.GetHistory()) {
        Path entry = s.Append(history);
        s.Set(entry, "User", h.GetUser());
        s.Set(entry, "Alias", h.GetAlias());
        s.XMP()->SetProperty_Date(s.NS(), s.Member(entry, "Time"), HistoryTime(h.GetTime()));
        s.Set(entry, "Value", h.GetValue());
    }
    s.WriteList(item, "DefaultValues", f.GetDefaultValues());
}

void UpdateField(const Store& s, const BRNField& f) {
    const Path packages("Packages");
    if (!s.XMP()->DoesPropertyExist(s.NS(), packages)) return;
    for (int32 i = 1, np = s.Count(packages); i <= np; ++i) {
        Path fields = s.Member(s.Item(packages, i), "Fields");
        for (int32 j = 1, nf = s.Count(fields); j <= nf; ++j) {
            Path item = s.Item(fields, j);
            if (s.GetText(item, "Name") != f.GetName() || s.GetText(item, "ShortName") != f.GetShortName()) continue;
            if (BRNField::TypeFromName(s.GetText(item, "Type")) != f.GetType()) continue;
            WriteValue(s, item, f);
        }
    }
}

PMString FileName(const IDFile& f) {
    PMString s(f.Path().filename().string());
    s.SetTranslatable(kFalse);
    return s;
}

void WriteAssignments(const Store& s, const BRNXMPDocumentInfo& doc) {
    const Path assignments("Assignments");
    s.XMP()->DeleteProperty(s.NS(), assignments);
    for (const BRNAssignmentRecord& a : doc.assignments) {
        if (a.stories.empty() && a.file.IsEmpty()) continue;
        Path item = s.Append(assignments);
        s.Set(item, "Name", a.name);
        s.Set(item, "User", a.user);
        s.Set(item, "FileName", FileName(a.file));
        s.Set(item, "FilePath", a.file.GetPathString());
        s.Set(item, "FilePathURI", FileUtils::FileToURL(a.file));
        Path stories = s.Member(item, "Stories");
        for (const auto& story : a.stories) {
            Path st = s.Append(stories);
            s.Set(st, "Name", story.name);
            s.Set(st, "FileName", FileName(story.file));
            s.Set(st, "FilePath", story.file.GetPathString());
            s.Set(st, "FilePathURI", FileUtils::FileToURL(story.file));
        }
    }
}

BRNField ReadField(const Store& s, const Path& item, const std::vector<BRNDeadlineColor>& colors) {
    BRNField f;
    f.SetName(s.GetText(item, "Name"));
    f.SetShortName(s.GetText(item, "ShortName"));
    f.SetDescription(s.GetText(item, "Description"));
    const bool required = s.GetFlag(item, "Required");
    PMString typeName = s.GetText(item, "Type");
    PMString value = s.GetText(item, "Value");
    const bool hasDefault = s.GetFlag(item, "HasDefault");
    PMString defaultValue = s.GetText(item, "DefaultValue");
    const bool hidden = s.GetFlag(item, "Hidden");
    const bool readOnly = s.GetFlag(item, "ReadOnly");
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
    case kBRNTypeDirectory: f.SetValue(value); break;
    case kBRNTypeBoolean: f.SetBoolValue(value.IsEqualNoCase(PMString("True"))); break;
    case kBRNTypeText:
        f.SetVisibleLines(s.GetNumber(item, "VisibleLines"));
        f.SetValue(value);
        break;
    case kBRNTypeMultiChoice:
        f.SetVisibleLines(s.GetNumber(item, "VisibleLines"));
        f.SetAllowUserValues(s.GetFlag(item, "AllowUserValues"));
        break;
    case kBRNTypeCalculatedString:
        f.SetAllowUserValues(s.GetFlag(item, "AllowUserValues"));
        f.SetFieldOverridden(s.GetFlag(item, "FieldOverridden"));
        f.SetValue(value);
        break;
    case kBRNTypeDeadline: {
        BRNDeadline d(s.GetText(item, "PlannedDate"), s.GetText(item, "ExecutedDate"), s.GetText(item, "ExecutedBy"));
        d.Colors = colors;
        f.SetDeadline(d);
        break;
    }
    default: break;
    }
    f.SetRequired(required);
    f.SetHidden(hidden);
    f.SetReadOnly(readOnly);
    f.SetHasDefault(hasDefault);
    if (f.GetHasDefault()) f.SetDefaultValue(defaultValue);
    f.SetOptions(s.ReadList(item, "Options"));
    f.SetDefaultValues(s.ReadList(item, "DefaultValues"));
    f.SetSelectedValues(s.ReadList(item, "SelectedValues"), PMString(", "));
    Path history = s.Member(item, "History");
    for (int32 h = 1, n = s.Count(history); h <= n; ++h) {
        Path entry = s.Item(history, h);
        XMPDateTime dt;
        GlobalTime time;
        if (s.XMP()->GetProperty_Date(s.NS(), s.Member(entry, "Time"), &dt))
            time.SetTime(dt.year, dt.month, dt.day, dt.hour, dt.minute, dt.second);
        f.GetHistory().emplace_back(s.GetText(entry, "User"), s.GetText(entry, "Alias"), time,
                                    s.GetText(entry, "Value"));
    }
    return f;
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

PMString BRNXMPSchema::Today() { return BRNPackageUtils::FormatToday(); }

void BRNXMPSchema::Write(IXMPPacketAccess* xmp, const BRNXMPWriteRequest& request, const BRNXMPDocumentInfo* document) {
    CV_TRACE("BRNXMPSchema::Write");
    if (!xmp) {
        CV_LOG_FAILED();
        return;
    }
    const WideString& current = CurrentNamespace();
    const WideString& legacy = LegacyNamespace();
    const bool legacyPresent = HasDocType(xmp, legacy);
    const bool currentPresent = HasDocType(xmp, current);
    if ((legacyPresent && !currentPresent) || (request.purgeLegacy && legacyPresent)) {
        xmp->DeleteProperty(legacy, WideString("Packages"));
        xmp->DeleteProperty(legacy, WideString("DocType"));
    }
    WideString registered;
    xmp->RegisterNamespace(current, SuggestedPrefix(), &registered);
    Store s(xmp, current);
    const Path packages("Packages");
    if (request.deletePackages) {
        xmp->DeleteProperty(current, packages);
    } else if (request.singleField) {
        UpdateField(s, request.field);
    } else {
        xmp->DeleteProperty(current, packages);
        for (const BRNPackage& p : request.packages) {
            Path item = s.Append(packages);
            s.Set(item, "Name", p.GetName());
            s.Set(item, "Password", p.GetPassword());
            s.Set(item, "Version", Number(p.GetVersion()));
            s.Set(item, "Timestamp", Number(p.GetTimestamp()));
            s.Set(item, "PackageType", WideString("0"));
            s.SetFlag(item, "Enabled", p.GetEnabled());
            Path fields = s.Member(item, "Fields");
            for (const BRNField& f : p.GetFields()) WriteNewField(s, fields, f);
        }
    }
    if (document) WriteAssignments(s, *document);
    const char* docType = !document ? "Adobe InCopy" : document->isTemplate ? "Adobe InDesign Template" : "Adobe InDesign";
    xmp->SetProperty(current, WideString("DocType"), WideString(docType), 0);
}

BRNPackageList BRNXMPSchema::Read(IXMPPacketAccess* xmp, bool* legacy) {
    CV_TRACE("BRNXMPSchema::Read");
    if (legacy) *legacy = false;
    BRNPackageList result;
    if (!xmp) {
        CV_LOG_FAILED();
        return result;
    }
    const bool legacyPresent = HasDocType(xmp, LegacyNamespace());
    const bool currentPresent = HasDocType(xmp, CurrentNamespace());
    if (!currentPresent && !legacyPresent) return result;
    Store s(xmp, currentPresent ? CurrentNamespace() : LegacyNamespace());
    const Path packages("Packages");
    if (!xmp->DoesPropertyExist(s.NS(), packages)) return result;
    for (int32 i = 1, np = s.Count(packages); i <= np; ++i) {
        Path item = s.Item(packages, i);
        PMString name = s.GetText(item, "Name");
        BRNPackage p(name, PMString(), 0);
        p.SetPassword(s.GetText(item, "Password"));
        p.SetLocked(kTrue);
        p.SetVersion(static_cast<uint32>(s.GetNumber(item, "Version")));
        p.SetTimestampValue(s.GetNumber(item, "Timestamp"));
        p.SetEnabled(s.GetFlag(item, "Enabled"));
        // Deadline fields get their package's colour table from the defaults files.
        std::vector<BRNDeadlineColor> colors;
        Path fields = s.Member(item, "Fields");
        const int32 nf = s.Count(fields);
        bool colorsRead = false;
        for (int32 j = 1; j <= nf; ++j) {
            Path fieldItem = s.Item(fields, j);
            if (!colorsRead && BRNField::TypeFromName(s.GetText(fieldItem, "Type")) == kBRNTypeDeadline) {
                colors = BRNUtils::GetDeadlineColors(name);
                colorsRead = true;
            }
            p.Fields().push_back(ReadField(s, fieldItem, colors));
        }
        result.push_back(std::move(p));
    }
    if (legacy) *legacy = legacyPresent && !currentPresent;
    return result;
}
