#include "files/BRNXMLImporter.h"

#include "CVExpatSimpleDOM.h"
#include "CVLog.h"

#include <array>
#include <cstdio>
#include <expat.h>
#include <utf8.h>

namespace {

// A field or package element as the reader sees it: attributes by name, and the lists
// held by the first child element of each name. Both the tree reader and the streaming
// reader hand their elements to the same code through this.
struct AttributeList {
    std::vector<std::pair<std::string, std::string>> items;
    const std::string* Find(std::string_view name) const {
        for (const auto& [n, v] : items)
            if (n == name) return &v;
        return nullptr;
    }
};

const std::array<const char*, 3> kListNames = {"options", "DefaultValues", "SelectedValues"};

struct DomSource {
    const CVDomElement* e;
    const std::string* Attr(const char* name) const { return e->FindAttributeUTF8(name); }
    PMStringList List(int which) const;
};

struct StreamSource {
    const AttributeList* attrs;
    const std::array<PMStringList, 3>* lists;
    const std::string* Attr(const char* name) const { return attrs->Find(name); }
    PMStringList List(int which) const { return (*lists)[static_cast<size_t>(which)]; }
};

PMString Untranslated(const std::string* v) {
    PMString s = v ? PMString(std::string_view(*v)) : PMString();
    s.SetTranslatable(kFalse);
    return s;
}

template <class Source> PMString Text(const Source& e, const char* name) {
    return Untranslated(e.Attr(name));
}

template <class Source> bool ContainsTrue(const Source& e, const char* name) {
    const std::string* v = e.Attr(name);
    return v && v->find("True") != std::string::npos;
}

template <class Source> int32 Number(const Source& e, const char* name) {
    return Text(e, name).GetAsNumber();
}

PMStringList DomSource::List(int which) const {
    PMStringList values;
    const CVDomElement* list = e->FindChild(kListNames[static_cast<size_t>(which)], 0);
    if (!list) return values;
    for (int32 i = 0; i < list->ChildCount(); ++i) {
        const CVDomElement* c = list->ChildAt(i);
        if (c->IsElement() && c->GetName() == "value")
            values.push_back(Untranslated(c->FindAttributeUTF8("name")));
    }
    return values;
}

enum { kOptions = 0, kDefaultValues = 1, kSelectedValues = 2 };

template <class Source> BRNField ReadField(const Source& e) {
    BRNField f;
    f.SetName(Text(e, "Name"));
    f.SetShortName(Text(e, "ShortName"));
    f.SetDescription(Text(e, "Description"));
    f.SetDefaultValue(Text(e, "DefaultValue"));
    f.SetRequired(ContainsTrue(e, "Required"));
    f.SetHasDefault(ContainsTrue(e, "HasDefault"));
    f.SetHidden(ContainsTrue(e, "Hidden"));
    f.SetReadOnly(ContainsTrue(e, "ReadOnly"));
    f.SetType(Number(e, "Type"));
    if (const std::string* lines = e.Attr("VisibleLines"); lines && !lines->empty())
        f.SetVisibleLines(Number(e, "VisibleLines"));
    switch (f.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
    case kBRNTypeDirectory:
    case kBRNTypeText:
        f.SetValue(Text(e, "Value"));
        break;
    case kBRNTypeBoolean:
        f.SetBoolValue(ContainsTrue(e, "Value"));
        break;
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
        f.SetOptions(e.List(kOptions));
        break;
    case kBRNTypeMultiChoice:
        f.SetAllowUserValues(ContainsTrue(e, "AllowUserValues"));
        f.SetDefaultValues(e.List(kDefaultValues));
        f.SetSelectedValues(e.List(kSelectedValues), PMString(", "));
        f.SetOptions(e.List(kOptions));
        break;
    case kBRNTypeCalculatedString:
        f.SetAllowUserValues(ContainsTrue(e, "AllowUserValues"));
        f.SetFieldOverridden(ContainsTrue(e, "FieldOverridden"));
        f.SetValue(Text(e, "Value"));
        break;
    default:
        break;
    }
    return f;
}

std::string& LastError();

// Replaces the package by the one the "package" element and its fields describe. False (and
// the package untouched) when its version is no number a package can have.
template <class Source> bool BuildPackage(BRNPackage& package, const Source& p, BRNFieldList fields) {
    PMString modified = Text(p, "modified");
    const std::string* versionText = p.Attr("version");
    uint32 version = 0;
    if (versionText && !BRNPackage::ParseVersion(*versionText, &version)) {
        LastError() = "its version \"" + *versionText + "\" is not a whole number from 0 to 4294967295";
        return false;
    }
    BRNPackage result(Text(p, "name"), Text(p, "password"), Number(p, "timestamp"));
    result.SetVersion(version);
    result.SetLocked(kTrue);
    result.Fields() = std::move(fields);
    result.SetModified(modified.IsEqualNoCase(PMString("true")) ? kTrue : kFalse);
    package = std::move(result);
    return true;
}

bool ReadPackageElement(BRNPackage& package, const CVDomElement* p) {
    BRNFieldList fields;
    fields.reserve(static_cast<size_t>(p->ChildCount() / 2 + 1));
    for (int32 i = 0; i < p->ChildCount(); ++i) {
        const CVDomElement* c = p->ChildAt(i);
        if (c->IsElement() && c->GetName() == "field") fields.push_back(ReadField(DomSource{c}));
    }
    return BuildPackage(package, DomSource{p}, std::move(fields));
}

// Reads a package file straight from the parser's events, without building a tree: only
// the first "package" under a "brindle" root, its "field" children and their first list
// elements matter, exactly what the tree reader looks at.
class StreamingReader {
public:
    bool Parse(IPMStream* stream, std::string* error);
    bool HasPackage() const { return fRootOK && fPackageSeen; }
    bool Fill(BRNPackage& package) {
        return BuildPackage(package, StreamSource{&fPackageAttrs, nullptr}, std::move(fFields));
    }

private:
    static void Start(void* self, const char* name, const char** attrs) {
        static_cast<StreamingReader*>(self)->OnStart(name, attrs);
    }
    static void End(void* self, const char*) { static_cast<StreamingReader*>(self)->OnEnd(); }
    static void Copy(AttributeList& into, const char** attrs) {
        into.items.clear();
        for (const char** a = attrs; a && a[0]; a += 2)
            into.items.emplace_back(a[0], a[1]);
    }
    void OnStart(const char* name, const char** attrs);
    void OnEnd();

    int fDepth = 0;
    bool fRootOK = false;
    bool fPackageSeen = false;
    bool fInPackage = false;
    bool fInField = false;
    int fList = -1;
    std::array<bool, 3> fListSeen{};
    AttributeList fPackageAttrs;
    AttributeList fFieldAttrs;
    std::array<PMStringList, 3> fLists;
    BRNFieldList fFields;
};

void StreamingReader::OnStart(const char* name, const char** attrs) {
    ++fDepth;
    std::string_view n(name);
    if (fDepth == 1) {
        fRootOK = n == "brindle";
    } else if (fDepth == 2) {
        if (fRootOK && !fPackageSeen && n == "package") {
            fPackageSeen = fInPackage = true;
            Copy(fPackageAttrs, attrs);
        }
    } else if (fDepth == 3) {
        if (fInPackage && n == "field") {
            fInField = true;
            Copy(fFieldAttrs, attrs);
            for (auto& l : fLists)
                l.clear();
            fListSeen = {};
        }
    } else if (fDepth == 4) {
        fList = -1;
        if (!fInField) return;
        for (int k = 0; k < 3; ++k) {
            if (n == kListNames[static_cast<size_t>(k)] && !fListSeen[static_cast<size_t>(k)]) {
                fListSeen[static_cast<size_t>(k)] = true;
                fList = k;
            }
        }
    } else if (fDepth == 5 && fList >= 0 && n == "value") {
        const char* value = nullptr;
        for (const char** a = attrs; a && a[0]; a += 2)
            if (std::string_view(a[0]) == "name") {
                value = a[1];
                break;
            }
        PMString s(value ? value : "");
        s.SetTranslatable(kFalse);
        fLists[static_cast<size_t>(fList)].push_back(std::move(s));
    }
}

void StreamingReader::OnEnd() {
    if (fDepth == 4) {
        fList = -1;
    } else if (fDepth == 3 && fInField) {
        fFields.push_back(ReadField(StreamSource{&fFieldAttrs, &fLists}));
        fInField = false;
    } else if (fDepth == 2) {
        fInPackage = false;
    }
    --fDepth;
}

bool StreamingReader::Parse(IPMStream* stream, std::string* error) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) {
        *error = "Parser not initialized";
        return false;
    }
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, &Start, &End);
    // The whole text goes to expat in one buffer: a token is then scanned once however long
    // it is (fed in chunks, expat scans an unfinished token again at every chunk).
    stream->Seek(0, IPMStream::kSeekFromStart);
    std::string bytes;
    uchar buf[65536];
    for (int32 n; (n = stream->XferByte(buf, sizeof buf)) != 0;) {
        if (n < 0) {
            *error = "Could not read from stream";
            XML_ParserFree(parser);
            return false;
        }
        bytes.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(n));
    }
    if (bytes.size() > static_cast<size_t>(INT32_MAX) ||
        XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), 1) == XML_STATUS_ERROR) {
        char msg[512];
        std::snprintf(msg, sizeof msg, "%s at line %d\n", XML_ErrorString(XML_GetErrorCode(parser)),
                      static_cast<int>(XML_GetCurrentLineNumber(parser)));
        *error = msg;
        XML_ParserFree(parser);
        return false;
    }
    XML_ParserFree(parser);
    return true;
}

std::string& LastError() {
    static std::string error;
    return error;
}

} // namespace

int32 BRNXMLImporter::LoadXML(BRNPackage& package, IPMStream* stream) {
    CV_TRACE("BRNXMLImporter::LoadXML");
    if (!stream) {
        CV_LOG_FAILED();
        CV_RETURN_FAILED(1);
    }
    uchar bom[2] = {0, 0};
    stream->Seek(0, IPMStream::kSeekFromStart);
    int32 n = stream->XferByte(bom, 2);
    if (n == 2 && bom[0] == 0xFE && bom[1] == 0xFF) {
        stream->SetSwapping(kTrue);
        CV_LOG(100, "Importing mac file");
    } else if (n == 2 && bom[0] == 0xFF && bom[1] == 0xFE) {
        CV_LOG(100, "Importing win file");
    } else {
        CV_LOG(100, "Importing unknown file. Stopping");
        CV_RETURN_FAILED(1);
    }
    // The same result as building the tree and reading it with ParseDOM, without the tree:
    // loading the library is dominated by this.
    StreamingReader reader;
    LastError().clear();
    if (!reader.Parse(stream, &LastError())) CV_RETURN_FAILED(1);
    if (reader.HasPackage() && !reader.Fill(package)) CV_RETURN_FAILED(kInvalidValue);
    CV_RETURN(0);
}

const std::string& BRNXMLImporter::GetLastError() {
    return LastError();
}

int32 BRNXMLImporter::ParseDOM(BRNPackage& package, const CVDomElement* root) {
    CV_TRACE("BRNXMLImporter::ParseDOM");
    if (!root || !root->IsElement() || root->GetName() != "brindle") CV_RETURN(0);
    const CVDomElement* p = root->FindChild("package", 0);
    if (!p) CV_RETURN(0);
    LastError().clear();
    CV_RETURN(ReadPackageElement(package, p) ? 0 : kInvalidValue);
}

namespace {

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

bool IsDecimal(const std::string& s) {
    if (s.empty() || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return std::stoull(s) <= INT32_MAX;
}

// Versions take all 32 bits.
bool IsVersion(const std::string& s) {
    if (s.empty() || s.size() > 10) return false;
    for (char c : s)
        if (c < '0' || c > '9') return false;
    return std::stoull(s) <= UINT32_MAX;
}

// The encoding the declaration names, empty when there is no declaration or it names none.
std::string DeclaredEncoding(const std::string& bytes, size_t from) {
    if (bytes.compare(from, 5, "<?xml") != 0) return {};
    const size_t end = bytes.find("?>", from);
    const size_t at = bytes.find("encoding", from);
    if (end == std::string::npos || at == std::string::npos || at > end) return {};
    const size_t quote = bytes.find_first_of("\"'", at);
    if (quote == std::string::npos || quote > end) return {};
    const size_t close = bytes.find(bytes[quote], quote + 1);
    if (close == std::string::npos || close > end) return {};
    return bytes.substr(quote + 1, close - quote - 1);
}

// Checks the attributes that the reader would otherwise take as false, 0 or String.
class Checker {
public:
    explicit Checker(std::string* error) : fError(error) {}
    bool Package(const CVDomElement* p, int32 index) {
        fWhere = "package " + std::to_string(index + 1);
        const std::string* name = p->FindAttributeUTF8("name");
        if (!name || name->empty()) return Fail("has no \"name\"");
        fWhere = "package \"" + *name + "\"";
        const std::string* version = p->FindAttributeUTF8("version");
        if (!version) return Fail("has no \"version\"");
        if (!IsVersion(*version)) return Bad("version", *version, "a whole number from 0 to 4294967295");
        if (!Number(p, "timestamp")) return false;
        if (const std::string* m = p->FindAttributeUTF8("modified"); m && !m->empty()) {
            const std::string v = Lower(*m);
            if (v != "true" && v != "false") return Bad("modified", *m, "true or false");
        }
        const std::string package = fWhere;
        for (int32 i = 0; i < p->ChildCount(); ++i) {
            const CVDomElement* f = p->ChildAt(i);
            if (!f->IsElement() || f->GetName() != "field") continue;
            const std::string* fieldName = f->FindAttributeUTF8("Name");
            fWhere = package + ", field " +
                     (fieldName && !fieldName->empty() ? "\"" + *fieldName + "\"" : std::to_string(i + 1));
            if (!Field(f)) return false;
        }
        return true;
    }

private:
    bool Field(const CVDomElement* f) {
        const std::string* type = f->FindAttributeUTF8("Type");
        if (!type) return Fail("has no \"Type\"");
        int32 code = -1;
        if (IsDecimal(*type)) {
            code = static_cast<int32>(std::stol(*type));
        } else {
            for (int32 t = 0; t < kBRNTypeCount; ++t)
                if (BRNField::TypeName(t).GetUTF8String() == *type) code = t;
        }
        if (code < 0 || code >= kBRNTypeCount)
            return Bad("Type", *type,
                       "a known type (a code from 0 to " + std::to_string(kBRNTypeCount - 1) + ")");
        for (const char* flag :
             {"Required", "HasDefault", "Hidden", "ReadOnly", "AllowUserValues", "FieldOverridden"})
            if (!Flag(f, flag)) return false;
        if (code == kBRNTypeBoolean && !Flag(f, "Value")) return false;
        return Number(f, "VisibleLines");
    }
    // A flag the reader takes as set only for "True": anything else but "False" would be
    // read as not set without a word.
    bool Flag(const CVDomElement* e, const char* name) {
        const std::string* v = e->FindAttributeUTF8(name);
        if (!v || *v == "True" || *v == "False") return true;
        return Bad(name, *v, "True or False");
    }
    bool Number(const CVDomElement* e, const char* name) {
        const std::string* v = e->FindAttributeUTF8(name);
        if (!v || v->empty() || IsDecimal(*v)) return true;
        return Bad(name, *v, "a whole number");
    }
    bool Bad(const char* name, const std::string& value, const std::string& wanted) {
        return Fail("attribute \"" + std::string(name) + "\" is \"" + value + "\", not " + wanted);
    }
    bool Fail(const std::string& what) {
        *fError = fWhere + ": " + what;
        return false;
    }

    std::string* fError;
    std::string fWhere;
};

} // namespace

bool BRNXMLImporter::ReadPackages(const std::string& bytes, BRNPackageList& packages, std::string* error) {
    CV_TRACE("BRNXMLImporter::ReadPackages");
    std::string ignored;
    if (!error) error = &ignored;
    const bool utf16 = bytes.size() >= 2 &&
                       ((static_cast<uchar>(bytes[0]) == 0xFF && static_cast<uchar>(bytes[1]) == 0xFE) ||
                        (static_cast<uchar>(bytes[0]) == 0xFE && static_cast<uchar>(bytes[1]) == 0xFF));
    if (!utf16) {
        const size_t start = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
        // Without a byte-order mark XML is UTF-8 unless its declaration says otherwise.
        const std::string declared = Lower(DeclaredEncoding(bytes, start));
        if (!declared.empty() && declared != "utf-8" && declared != "utf8") {
            *error = "declares the encoding \"" + DeclaredEncoding(bytes, start) +
                     "\"; package files are read as UTF-8, or UTF-16 with a byte-order mark";
            CV_RETURN_FAILED(false);
        }
        const auto bad = utf8::find_invalid(bytes.begin() + static_cast<std::ptrdiff_t>(start), bytes.end());
        if (bad != bytes.end()) {
            *error = "is not valid UTF-8 (at byte " + std::to_string(bad - bytes.begin()) +
                     "); package files are read as UTF-8, or UTF-16 with a byte-order mark";
            CV_RETURN_FAILED(false);
        }
    }
    CVExpatSimpleDOM& dom = CVExpatSimpleDOM::Instance();
    if (!dom.ParseBuffer(bytes)) {
        std::string msg = dom.GetError().GetUTF8String();
        while (!msg.empty() && msg.back() == '\n')
            msg.pop_back();
        *error = "is not well-formed XML: " + msg;
        CV_RETURN_FAILED(false);
    }
    std::unique_ptr<CVDomElement> root = dom.TakeRoot();
    if (!root || !root->IsElement() || root->GetName() != "brindle") {
        *error = "holds no package definition (a \"brindle\" root with a named \"package\" element)";
        CV_RETURN_FAILED(false);
    }
    BRNPackageList read;
    Checker checker(error);
    for (int32 i = 0; const CVDomElement* p = root->FindChild("package", i); ++i) {
        if (!checker.Package(p, i)) CV_RETURN_FAILED(false);
        BRNPackage package;
        if (!ReadPackageElement(package, p)) {
            *error = LastError();
            CV_RETURN_FAILED(false);
        }
        read.push_back(std::move(package));
    }
    if (read.empty()) {
        *error = "holds no package definition (a \"brindle\" root with a named \"package\" element)";
        CV_RETURN_FAILED(false);
    }
    packages = std::move(read);
    CV_RETURN(true);
}
