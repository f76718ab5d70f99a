#include "files/BRNXMLImporter.h"

#include "CVLog.h"

#include <array>
#include <cstdio>
#include <expat.h>

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
        return 1;
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
        return 1;
    }
    // The same result as building the tree and reading it with ParseDOM, without the tree:
    // loading the library is dominated by this.
    StreamingReader reader;
    LastError().clear();
    if (!reader.Parse(stream, &LastError())) return 1;
    if (reader.HasPackage() && !reader.Fill(package)) return kInvalidValue;
    return 0;
}

const std::string& BRNXMLImporter::GetLastError() {
    return LastError();
}

int32 BRNXMLImporter::ParseDOM(BRNPackage& package, const CVDomElement* root) {
    CV_TRACE("BRNXMLImporter::ParseDOM");
    if (!root || !root->IsElement() || root->GetName() != "brindle") return 0;
    const CVDomElement* p = root->FindChild("package", 0);
    if (!p) return 0;
    BRNFieldList fields;
    fields.reserve(static_cast<size_t>(p->ChildCount() / 2 + 1));
    for (int32 i = 0; i < p->ChildCount(); ++i) {
        const CVDomElement* c = p->ChildAt(i);
        if (c->IsElement() && c->GetName() == "field") fields.push_back(ReadField(DomSource{c}));
    }
    LastError().clear();
    return BuildPackage(package, DomSource{p}, std::move(fields)) ? 0 : kInvalidValue;
}
