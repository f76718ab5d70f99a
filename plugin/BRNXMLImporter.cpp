#include "BRNXMLImporter.h"

#include "CVExpatSimpleDOM.h"
#include "CVLog.h"

namespace {

PMString Text(const CVDomElement* e, const char* name) {
    PMString s(e->GetAttribute(name));
    s.SetTranslatable(kFalse);
    return s;
}

bool ContainsTrue(const CVDomElement* e, const char* name) {
    const std::string* v = e->FindAttributeUTF8(name);
    return v && v->find("True") != std::string::npos;
}

int32 Number(const CVDomElement* e, const char* name) { return Text(e, name).GetAsNumber(); }

PMStringList ReadList(const CVDomElement* field, const char* listName) {
    PMStringList values;
    const CVDomElement* list = field->FindChild(listName, 0);
    if (!list) return values;
    for (int32 i = 0; i < list->ChildCount(); ++i) {
        const CVDomElement* c = list->ChildAt(i);
        if (c->IsElement() && c->GetName() == "value") values.push_back(Text(c, "name"));
    }
    return values;
}

BRNField ReadField(const CVDomElement* e) {
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
    if (const std::string* lines = e->FindAttributeUTF8("VisibleLines"); lines && !lines->empty())
        f.SetVisibleLines(Number(e, "VisibleLines"));
    switch (f.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
    case kBRNTypeDirectory:
    case kBRNTypeText: f.SetValue(Text(e, "Value")); break;
    case kBRNTypeBoolean: f.SetBoolValue(ContainsTrue(e, "Value")); break;
    case kBRNTypeChoice:
    case kBRNTypeChoiceString: f.SetOptions(ReadList(e, "options")); break;
    case kBRNTypeMultiChoice:
        f.SetAllowUserValues(ContainsTrue(e, "AllowUserValues"));
        f.SetDefaultValues(ReadList(e, "DefaultValues"));
        f.SetSelectedValues(ReadList(e, "SelectedValues"), PMString(", "));
        f.SetOptions(ReadList(e, "options"));
        break;
    case kBRNTypeCalculatedString:
        f.SetAllowUserValues(ContainsTrue(e, "AllowUserValues"));
        f.SetFieldOverridden(ContainsTrue(e, "FieldOverridden"));
        f.SetValue(Text(e, "Value"));
        break;
    default: break;
    }
    return f;
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
    std::unique_ptr<CVDomElement> root = BuildDOMFromStream(stream);
    if (!root) return 1;
    return ParseDOM(package, root.get());
}

int32 BRNXMLImporter::ParseDOM(BRNPackage& package, const CVDomElement* root) {
    CV_TRACE("BRNXMLImporter::ParseDOM");
    if (!root || !root->IsElement() || root->GetName() != "brindle") return 0;
    const CVDomElement* p = root->FindChild("package", 0);
    if (!p) return 0;

    PMString name = Text(p, "name");
    PMString password = Text(p, "password");
    uint32 version = static_cast<uint32>(Number(p, "version"));
    int32 timestamp = Number(p, "timestamp");
    PMString modified = Text(p, "modified");
    bool isModified = modified.IsEqualNoCase(PMString("true"));

    BRNPackage result(name, password, timestamp);
    result.SetVersion(version);
    result.SetLocked(kTrue);
    BRNFieldList fields;
    fields.reserve(static_cast<size_t>(p->ChildCount() / 2 + 1));
    for (int32 i = 0; i < p->ChildCount(); ++i) {
        const CVDomElement* c = p->ChildAt(i);
        if (c->IsElement() && c->GetName() == "field") fields.push_back(ReadField(c));
    }
    result.Fields() = std::move(fields);
    result.SetModified(isModified ? kTrue : kFalse);
    package = std::move(result);
    return 0;
}
