#include "service/BRNBrindleHelpers.h"

#include "CVLog.h"
#include "documents/DocumentHost.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IDocumentList.h"
#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "files/BRNUtils.h"
#include "formats/DocFileTypes.h"
#include "io/FileUtils.h"
#include "io/IXMLUtils.h"
#include "io/StreamUtil.h"
#include "logic/BRNPackageUtils.h"
#include "service/BRNAssignmentHelper.h"
#include "session/Utils.h"
#include "ui/BRNPanelData.h"
#include "ui/CAlert.h"
#include "ui/HostDialogs.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <set>

namespace BRNBrindleHelpers {

BRNPackageList Read(const UIDRef& target) {
    return BRNPackageUtils::ReadPackages(target);
}

bool HasMetadata(const UIDRef& target) {
    InterfacePtr<IXMPPacketAccess> xmp(Instantiate<IXMPPacketAccess>(target));
    return xmp != nullptr;
}

// A story reference (text frame, story link) stands for its story; anything else for itself.
UIDRef TargetOf(const UIDRef& item) {
    UID story = ResolveStoryUID(item.GetDataBase(), item.GetUID());
    return story == kInvalidUID ? item : UIDRef(item.GetDataBase(), story);
}

// Whether the database still belongs to an open document: the panel's targets may outlive
// the document they were read from.
bool IsOpenDataBase(IDataBase* db) {
    IDocumentList* docs = Host::GetDocumentList();
    if (!db || !docs) return false;
    for (int32 i = 0; i < docs->GetDocCount(); ++i)
        if (docs->GetNthDoc(i)->GetDocumentDataBase() == db) return true;
    return false;
}

// The panel's targets that can still be written, in order.
UIDList UsableTargets(const IBRNPanelData* panel) {
    const UIDList& targets = panel->GetTargets();
    UIDList usable(targets.GetDataBase());
    if (!IsOpenDataBase(targets.GetDataBase())) return usable;
    for (UID uid : targets)
        if (targets.GetDataBase()->IsValidUID(uid)) usable.Append(uid);
    return usable;
}

void RefreshPanel(const void* changedBy) {
    BRNPanelData::TellPanel(kBRNRefreshMessage, const_cast<void*>(changedBy));
}

// The value as the field stores it, as a history entry records it.
PMString StoredText(const BRNField& f) {
    if (f.GetType() == kBRNTypeBoolean) return Untranslatable(PMString(f.GetBoolValue() ? "True" : "False"));
    return Untranslatable(f.GetValue());
}

void AddHistory(BRNField& f, const BRNHistory& who) {
    f.GetHistory().emplace_back(who.GetUser(), who.GetAlias(), who.GetTime(), StoredText(f));
}

// Stores a value given as text by the rules of the field's type; false for a type outside
// the table.
bool SetValueByType(BRNField& f, const PMString& text) {
    switch (f.GetType()) {
    case kBRNTypeString:
    case kBRNTypeInteger:
    case kBRNTypeChoice:
    case kBRNTypeChoiceString:
    case kBRNTypeDecimal:
    case kBRNTypeDate:
    case kBRNTypeDirectory:
    case kBRNTypeText:
        f.SetValue(Untranslatable(text));
        return true;
    case kBRNTypeCalculatedString:
        // A value given by the user replaces the template's result for good, as the panel's
        // edit does: no later recomputation (another assignment in the same call included)
        // may take it back.
        f.SetValue(Untranslatable(text));
        f.SetFieldOverridden(kTrue);
        return true;
    case kBRNTypeBoolean:
        f.SetBoolValue(text.IsEqualNoCase(PMString("true")));
        return true;
    case kBRNTypeMultiChoice:
        f.SetSelectedValues(BRNPackageUtils::SplitMultiChoice(text), PMString(kMultiChoiceSeparator));
        return true;
    case kBRNTypeDeadline:
        f.SetDeadline(BRNPackageUtils::ParseDeadlineText(text, f.GetDeadline()));
        return true;
    default:
        return false;
    }
}

// Changes every field of that name (and, when type is not -1, of that type) in the list;
// a package whose fields changed has its calculated fields recomputed, except those changed
// here, which keep what they were given. The number of fields changed, or -1 when a
// recomputed template fails (it has been alerted; the list must not be stored then).
int32 ChangeFields(BRNPackageList& packages, const PMString& name, int32 type,
                   const std::function<bool(BRNField&)>& change) {
    int32 changed = 0;
    bool failed = false;
    for (BRNPackage& p : packages) {
        std::vector<size_t> touched;
        BRNFieldList& fields = p.Fields();
        for (size_t i = 0; i < fields.size(); ++i) {
            if (fields[i].GetName() != name || (type >= 0 && fields[i].GetType() != type)) continue;
            if (change(fields[i])) touched.push_back(i);
        }
        if (touched.empty()) continue;
        changed += static_cast<int32>(touched.size());
        BRNPackage given = p;
        const int32 updated = BRNPackageUtils::UpdateCalculatedFields(p);
        if (updated < 0) failed = true;
        if (updated > 0)
            for (size_t i : touched)
                p.Fields()[i] = given.GetFields()[i];
    }
    return failed ? -1 : changed;
}

// One package carrying the fields of all, so that a tag may name a field of any package; the
// package tags name the first package.
BRNPackage MergedPackage(const BRNPackageList& packages) {
    BRNPackage merged = packages.front();
    for (size_t i = 1; i < packages.size(); ++i)
        for (const BRNField& f : packages[i].GetFields())
            merged.Fields().push_back(f);
    return merged;
}

// The UTF-16 text an XML writer left in a memory stream.
PMString TextOfStream(IPMStream* stream) {
    const std::string bytes = StreamUtil::GetMemoryStreamBytes(stream);
    std::u16string units;
    size_t i =
        bytes.size() >= 2 && static_cast<uchar>(bytes[0]) == 0xFF && static_cast<uchar>(bytes[1]) == 0xFE ? 2
                                                                                                          : 0;
    units.reserve(bytes.size() / 2);
    for (; i + 1 < bytes.size(); i += 2)
        units.push_back(
            static_cast<char16_t>(static_cast<uchar>(bytes[i]) | (static_cast<uchar>(bytes[i + 1]) << 8)));
    return Untranslatable(PMString(std::move(units)));
}

// Runs the writer on a memory stream and gives back the whole text; false when it failed.
bool WriteToText(const std::function<void(IXMLOutStream*)>& write, PMString* text) {
    Utils<IXMLUtils> xmlUtils;
    InterfacePtr<IPMStream> stream(StreamUtil::CreateMemoryStreamWrite());
    if (!xmlUtils || !stream) {
        CV_LOG_FAILED();
        return false;
    }
    InterfacePtr<IXMLOutStream> out(xmlUtils->CreateXMLOutStream(stream));
    if (!out) {
        CV_LOG_FAILED();
        return false;
    }
    write(out);
    if (!out->Close()) {
        CV_LOG_FAILED();
        return false;
    }
    *text = TextOfStream(stream);
    return true;
}

// The root goes on a line of its own only after something else.
void WritePackagesElement(const BRNPackageList& packages, IXMLOutStream* out, bool16 indentRoot) {
    out->PushWithAttributes(WideString("brindle"), {{WideString("version"), WideString("1")}}, indentRoot);
    for (const BRNPackage& p : packages)
        p.WriteElement(out);
    out->Pop(kTrue);
}

bool16 WritePackagesXML(const BRNPackageList& packages, IXMLOutStream* out) {
    if (!out) {
        CV_LOG_FAILED();
        return kFalse;
    }
    if (packages.empty()) return kFalse;
    WritePackagesElement(packages, out);
    return kTrue;
}

bool16 PackagesXMLText(const BRNPackageList& packages, bool declaration, PMString& xml) {
    xml = Untranslatable(PMString(kNoPackagesXML));
    if (packages.empty()) return kFalse;
    PMString text;
    if (!WriteToText(
            [&](IXMLOutStream* out) {
                if (declaration) out->DocHeader(WideString("1.0"));
                WritePackagesElement(packages, out, declaration);
            },
            &text))
        return kFalse;
    xml = text;
    return kTrue;
}

PMString PackageKey(const char* prefix, const BRNPackage& p) {
    PMString key(prefix);
    key.Append(p.GetName());
    key.Append(kKeySeparator);
    key.AppendNumber(static_cast<int64>(p.GetVersion()));
    return Untranslatable(key);
}

// The URL the text names: a file URL as it stands, a path turned into one.
PMString AsFileURL(const PMString& text) {
    if (text.Units().rfind(u"file://", 0) == 0) return text;
    return FileUtils::FileToURL(IDFile(text));
}

// The file a story is known by: its own, or its link resource's.
IDFile StoryFile(IStoryData* story) {
    IDFile linked;
    if (story->ResolveLinkResource(&linked)) return linked;
    if (!story->GetStoryFile().IsEmpty()) return story->GetStoryFile();
    if (!story->GetLinkResource().IsEmpty()) {
        IDFile file;
        if (FileUtils::URLToFile(story->GetLinkResource(), &file)) return file;
    }
    return IDFile();
}

// The open document of the file, or of the story file; with the key prefix it selects.
IDocument* FindDocumentOfURL(const PMString& fileURL, const char** prefix) {
    IDocumentList* docs = Host::GetDocumentList();
    if (!docs || fileURL.IsEmpty()) return nullptr;
    const PMString url = AsFileURL(fileURL);
    for (int32 i = 0; i < docs->GetDocCount(); ++i) {
        IDocument* doc = docs->GetNthDoc(i);
        IDFile file;
        if (!doc->GetDocFile(&file)) continue;
        if (FileUtils::FileToURL(file) == url) {
            *prefix =
                DocFileTypes::IsTextEditingType(doc->GetOpenFileType()) ? kTextKeyPrefix : kLayoutKeyPrefix;
            return doc;
        }
        IDataBase* db = doc->GetDocumentDataBase();
        for (UID uid : doc->GetStoryList()) {
            InterfacePtr<IStoryData> story(Instantiate<IStoryData>(db, uid));
            if (!story) continue;
            IDFile storyFile = StoryFile(story);
            if (!storyFile.IsEmpty() && FileUtils::FileToURL(storyFile) == url) {
                *prefix = kTextKeyPrefix;
                return doc;
            }
        }
    }
    return nullptr;
}

UIDRef RootOf(IDocument* doc) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    return db ? UIDRef(db, db->GetRootUID()) : UIDRef();
}

const BRNPackage* FindPackageNoCase(const BRNPackageList& packages, const PMString& name) {
    auto it = std::find_if(packages.begin(), packages.end(),
                           [&](const BRNPackage& p) { return p.GetName().IsEqualNoCase(name); });
    return it == packages.end() ? nullptr : &*it;
}

// The panel's fields of that name and type, the first one copied out; false when none.
bool FirstPanelField(IBRNPanelData* panel, const PMString& name, int32 type, BRNField* first) {
    for (const BRNPackage& p : panel->GetPackages())
        for (const BRNField& f : p.GetFields())
            if (f.GetName() == name && f.GetType() == type) {
                *first = f;
                return true;
            }
    return false;
}

// Changes the fields in the panel's list and in each of its targets (read, changed, stored
// one by one, so that every target keeps its own other values); then the panel redraws.
ErrorCode ChangePanelFields(IBRNPanelData* panel, const PMString& name, int32 type,
                            const std::function<bool(BRNField&)>& change, const void* changedBy) {
    BRNPackageList shown = panel->GetPackages();
    ChangeFields(shown, name, type, change);
    panel->SetPackages(shown);
    ErrorCode result = kSuccess;
    const UIDList targets = UsableTargets(panel);
    for (int32 i = 0; i < targets.Length(); ++i) {
        BRNPackageList packages = Read(targets.GetRef(i));
        if (ChangeFields(packages, name, type, change) == 0) continue;
        if (BRNPackageUtils::StorePackages(UIDList(targets.GetRef(i)), packages, kFalse, kFalse) != kSuccess)
            result = kFailure;
    }
    RefreshPanel(changedBy);
    return result;
}

} // namespace BRNBrindleHelpers
