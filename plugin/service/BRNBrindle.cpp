#include "service/BRNBrindle.h"

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

namespace {

const char* const kVersionText = "7.1.5";
const char* const kLayoutKeyPrefix = "ID-+-";
const char* const kTextKeyPrefix = "IC-+-";
const char* const kKeySeparator = "-+-";
const char* const kNoPackagesXML = "<xmp />\n";
const char* const kMultiChoiceSeparator = ", ";

PMString Untranslatable(PMString s) {
    s.SetTranslatable(kFalse);
    return s;
}

PMString Translated(const char* key) {
    PMString s(key);
    s.Translate();
    return Untranslatable(s);
}

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
    case kBRNTypeCalculatedString:
        f.SetValue(Untranslatable(text));
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
// here, which keep what they were given. The number of fields changed.
int32 ChangeFields(BRNPackageList& packages, const PMString& name, int32 type,
                   const std::function<bool(BRNField&)>& change) {
    int32 changed = 0;
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
        if (BRNPackageUtils::UpdateCalculatedFields(p) > 0)
            for (size_t i : touched)
                p.Fields()[i] = given.GetFields()[i];
    }
    return changed;
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
void WritePackagesElement(const BRNPackageList& packages, IXMLOutStream* out, bool16 indentRoot = kTrue) {
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

} // namespace

// --- Helpers open to tests ----------------------------------------------------------------

PMString BRNBrindle::MapFileName(const PMString& packageName) {
    std::u16string units = packageName.Units();
    for (char16_t& u : units) {
        if (u < 43 && u != 32) u = static_cast<char16_t>(u + 43);
        if (u >= 58 && u <= 64) u = static_cast<char16_t>(u + 10);
        if (u >= 91 && u <= 96) u = static_cast<char16_t>(u + 10);
        if (u >= 123 && u <= 128) u = static_cast<char16_t>(u - 20);
        if (u == u' ')
            u = u'_';
        else if (u == u'/')
            u = u'l';
        else if (u >= 192)
            u = u'x';
    }
    return Untranslatable(PMString(std::move(units)));
}

PMString BRNBrindle::PackageNameOfKey(const PMString& key) {
    const std::u16string& k = key.Units();
    const std::u16string sep = u"-+-";
    size_t start = 0;
    if (k.rfind(u"ID-+-", 0) == 0 || k.rfind(u"IC-+-", 0) == 0) start = 5;
    size_t end = k.find(sep, start);
    return Untranslatable(
        PMString(k.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start)));
}

// --- The panel's list -------------------------------------------------------------------

void BRNBrindle::GetPanelPackages(BRNPackageList& packages) {
    CV_TRACE("BRNBrindle::GetPanelPackages");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (panel) packages = panel->GetPackages();
}

BRNFieldList& BRNBrindle::FindPanelFieldList(BRNFieldList& fields, const PMString& fieldName) {
    CV_TRACE("BRNBrindle::FindPanelFieldList");
    fields.clear();
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (!panel) return fields;
    for (const BRNPackage& p : panel->GetPackages())
        for (const BRNField& f : p.GetFields())
            if (f.GetName() == fieldName) fields.push_back(f);
    return fields;
}

BRNField& BRNBrindle::FindPanelField(BRNField& field, const PMString& fieldName) {
    CV_TRACE("BRNBrindle::FindPanelField");
    BRNFieldList found;
    FindPanelFieldList(found, fieldName);
    field = found.empty() ? BRNField() : found.front();
    return field;
}

void BRNBrindle::SetPanelMode(int32 mode) {
    CV_TRACE("BRNBrindle::SetPanelMode");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (!panel) {
        CV_LOG(30, "SetPanelMode: the panel is not open");
        return;
    }
    if (mode >= IBRNPanelData::kDocumentMode && mode <= IBRNPanelData::kAssignmentMode) panel->SetMode(mode);
    BRNPanelData::TellPanel(kBRNPanelModeMessage, this);
}

PMStringList& BRNBrindle::GetPanelPackageKeys(PMStringList& keys) {
    CV_TRACE("BRNBrindle::GetPanelPackageKeys");
    keys.clear();
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    if (!panel) return keys;
    for (const BRNPackage& p : panel->GetPackages())
        keys.push_back(PackageKey(kLayoutKeyPrefix, p));
    return keys;
}

ErrorCode BRNBrindle::ExportPackageByKey(const PMString& key, const IDFile& folder, PMString& message) {
    CV_TRACE("BRNBrindle::ExportPackageByKey");
    message.clear();
    const PMString name = PackageNameOfKey(key);
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNPackageList packages;
    if (panel) packages = panel->GetPackages();
    BRNPackage* package = FindPackage(packages, name);
    if (!package) {
        message = Untranslatable(PMString("package: ") + name + PMString(" not found"));
        return kFailure;
    }
    package->RaiseVersion();
    PMString fileName(kLayoutKeyPrefix);
    fileName.Append(MapFileName(name));
    fileName.Append(kKeySeparator);
    fileName.AppendNumber(static_cast<int64>(package->GetVersion()));
    fileName.Append(".xml");
    IDFile file = folder;
    FileUtils::AppendPath(&file, fileName);
    if (!BRNPackageUtils::WritePackageFile(file, *package)) {
        message = Untranslatable(PMString("Could not open file!"));
        return kFailure;
    }
    // The raised version is kept only once the file holds it.
    panel->SetPackages(packages);
    RefreshPanel(this);
    return kSuccess;
}

ErrorCode BRNBrindle::ExportPackageByKeyQuiet(const PMString& key, const IDFile& folder) {
    PMString discarded;
    return ExportPackageByKey(key, folder, discarded);
}

ErrorCode BRNBrindle::ImportPackageFile(const PMString& fileURL) {
    CV_TRACE("BRNBrindle::ImportPackageFile");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    IDFile file;
    if (!panel || !FileUtils::URLToFile(fileURL, &file) || !FileUtils::DoesFileExist(file)) return kFailure;
    BRNPackage package;
    PMString why;
    if (BRNPackageUtils::LoadPackageFile(file, package, &why) != 0) {
        CV_LOG(30, file.Path().string() + " " + why.GetUTF8String());
        return kFailure;
    }
    BRNPackageList packages = panel->GetPackages();
    if (BRNPackage* same = FindPackage(packages, package.GetName()))
        *same = package;
    else
        packages.push_back(package);
    panel->SetPackages(packages);
    RefreshPanel(this);
    return kSuccess;
}

PMString& BRNBrindle::GetPanelPackageXMLByKey(PMString& xml, const PMString& key) {
    return GetPanelPackageXML(xml, PackageNameOfKey(key), kTrue);
}

PMString& BRNBrindle::GetPanelPackageXML(PMString& xml, const PMString& packageName, bool16 raiseVersion) {
    CV_TRACE("BRNBrindle::GetPanelPackageXML");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNPackageList packages;
    if (panel) packages = panel->GetPackages();
    BRNPackage* package = FindPackage(packages, packageName);
    if (!package) {
        xml = Untranslatable(PMString("package: ") + packageName + PMString(" not found"));
        return xml;
    }
    if (raiseVersion) {
        package->RaiseVersion();
        panel->SetPackages(packages);
        RefreshPanel(this);
    }
    xml.clear();
    WriteToText(
        [&](IXMLOutStream* out) {
            out->DocHeader(WideString("1.0"));
            out->PushWithAttributes(WideString("brindle"), {{WideString("version"), WideString("1")}}, kTrue);
            package->WriteElement(out);
            out->Pop(kTrue);
        },
        &xml);
    return xml;
}

ErrorCode BRNBrindle::SyncPanelTarget(const UIDRef& item) {
    CV_TRACE("BRNBrindle::SyncPanelTarget");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    const UIDRef target = TargetOf(item);
    if (!panel || !HasMetadata(target)) return kFailure;
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(target), panel->GetPackages(), kFalse, kFalse);
    panel->SetTargets(UIDList(target));
    RefreshPanel(this);
    return result;
}

ErrorCode BRNBrindle::LoadPanelTarget(const UIDRef& item) {
    CV_TRACE("BRNBrindle::LoadPanelTarget");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    const UIDRef target = TargetOf(item);
    if (!panel || !HasMetadata(target)) return kFailure;
    panel->SetPackages(Read(target));
    panel->SetTargets(UIDList(target));
    RefreshPanel(this);
    return kSuccess;
}

ErrorCode BRNBrindle::EditMultiChoice(const PMString& fieldName, const BRNHistory& history,
                                      PMStringList& values) {
    CV_TRACE("BRNBrindle::EditMultiChoice");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNField field;
    if (!panel || !FirstPanelField(panel, fieldName, kBRNTypeMultiChoice, &field)) return kFailure;
    HostDialogs::MultiChoiceRequest request{field.GetOptions(), field.GetSelectedValues(),
                                            field.GetAllowUserValues()};
    std::vector<PMString> chosen;
    for (;;) {
        if (!HostDialogs::AskMultiChoice(field.GetName(), request, &chosen)) return kFailure;
        // The dialog stays open until its list passes: no value with a comma, no value twice,
        // and only the field's choices unless the user may add values.
        auto comma = std::find_if(chosen.begin(), chosen.end(), [](const PMString& v) {
            return !BRNPackageUtils::CheckMultiChoiceText(v);
        });
        if (comma != chosen.end()) {
            CAlert::WarningAlert(Translated("0xA8260kBRNMCCommaWarningStringKey"));
            continue;
        }
        std::set<std::u16string> seen;
        auto twice = std::find_if(chosen.begin(), chosen.end(),
                                  [&](const PMString& v) { return !seen.insert(v.Units()).second; });
        if (twice != chosen.end()) {
            CAlert::WarningAlert(Translated("0xA8260kBRNDublicatedValueErrorString"));
            continue;
        }
        const PMStringList& options = field.GetOptions();
        auto unknown = std::find_if(chosen.begin(), chosen.end(), [&](const PMString& v) {
            return std::find(options.begin(), options.end(), v) == options.end();
        });
        if (!field.GetAllowUserValues() && unknown != chosen.end()) {
            CAlert::WarningAlert(Translated("0xA8260kBRNMCNotAChoiceStringKey"));
            continue;
        }
        break;
    }
    values = chosen;
    return ChangePanelFields(
        panel, fieldName, kBRNTypeMultiChoice,
        [&](BRNField& f) {
            f.SetSelectedValues(chosen, PMString(kMultiChoiceSeparator));
            AddHistory(f, history);
            return true;
        },
        this);
}

ErrorCode BRNBrindle::EditDeadline(const PMString& fieldName, const BRNHistory& history,
                                   BRNDeadline& deadline) {
    CV_TRACE("BRNBrindle::EditDeadline");
    InterfacePtr<IBRNPanelData> panel(BRNPanelData::QueryOpenPanel());
    BRNField field;
    if (!panel || !FirstPanelField(panel, fieldName, kBRNTypeDeadline, &field)) return kFailure;
    const BRNDeadline& old = field.GetDeadline();
    HostDialogs::DeadlineTexts texts;
    for (;;) {
        texts = {old.PlannedDate, old.ExecutedDate, old.ExecutedBy};
        if (!HostDialogs::AskDeadline(field.GetName(), &texts)) return kFailure;
        // A newly executed deadline is signed by the user unless someone is named.
        if (texts.executed != old.ExecutedDate && texts.executedBy.IsEmpty())
            texts.executedBy = history.GetAlias().IsEmpty() ? history.GetUser() : history.GetAlias();
        if (BRNUtils::CheckDeadlineDates(texts.planned, texts.executed)) break;
    }
    BRNDeadline result(Untranslatable(texts.planned), Untranslatable(texts.executed),
                       Untranslatable(texts.executedBy));
    result.Colors = old.Colors;
    deadline = result;
    return ChangePanelFields(
        panel, fieldName, kBRNTypeDeadline,
        [&](BRNField& f) {
            BRNDeadline d = result;
            d.Colors = f.GetDeadline().Colors;
            f.SetDeadline(d);
            AddHistory(f, history);
            return true;
        },
        this);
}

// --- Documents and stories ----------------------------------------------------------------

void BRNBrindle::ApplyToSelectedStory(const UIDRef& target, const PMString& packageName, int32 mode) {
    CV_TRACE("BRNBrindle::ApplyToSelectedStory");
    // The mode number carries the apply flags: 1 quiet, 2 every selected story.
    BRNPackageUtils::ApplyPackage(
        BRNPackageUtils::kBRNApplyToSelectedStories, packageName,
        mode & (BRNPackageUtils::kBRNApplyQuiet | BRNPackageUtils::kBRNApplyAllStories));
    BRNPanelData::TellPanel(kBRNStoryAppliedMessage, this);
}

void BRNBrindle::ApplyToSelectedStories(const UIDRef& target, const PMString& packageName) {
    CV_TRACE("BRNBrindle::ApplyToSelectedStories");
    BRNPackageUtils::ApplyPackage(BRNPackageUtils::kBRNApplyToSelectedStories, packageName,
                                  BRNPackageUtils::kBRNApplyAllStories);
    BRNPanelData::TellPanel(kBRNStoryAppliedMessage, this);
}

void BRNBrindle::StoreDocumentPackages(const UIDRef& document) {
    CV_TRACE("BRNBrindle::StoreDocumentPackages");
    if (!HasMetadata(document)) {
        CV_LOG_FAILED();
        return;
    }
    BRNPackageUtils::StorePackages(UIDList(document), Read(document), kFalse, kFalse);
    RefreshPanel(this);
}

PMStringList& BRNBrindle::SplitText(PMStringList& parts, const PMString& text) {
    parts = BRNPackageUtils::SplitListText(text);
    return parts;
}

PMString& BRNBrindle::ExpandTagsForFile(PMString& expanded, const PMString& fileURL, const PMString& text,
                                        int32& errors, bool16 escape) {
    CV_TRACE("BRNBrindle::ExpandTagsForFile");
    const char* prefix = nullptr;
    IDocument* doc = FindDocumentOfURL(fileURL, &prefix);
    if (!doc) {
        errors = kExpandNoDocument;
        expanded = text;
        return expanded;
    }
    return ExpandTags(expanded, RootOf(doc), text, errors, escape);
}

PMString& BRNBrindle::ExpandTags(PMString& expanded, const UIDRef& document, const PMString& text,
                                 int32& errors, bool16 escape) {
    CV_TRACE("BRNBrindle::ExpandTags");
    errors = 0;
    expanded = text;
    if (!HasMetadata(document)) {
        errors = kExpandNoDocument;
        return expanded;
    }
    const BRNPackageList packages = Read(document);
    if (packages.empty()) {
        errors = kExpandNoPackage;
        return expanded;
    }
    const BRNPackage merged = MergedPackage(packages);
    const PMString fault = BRNPackageUtils::FindTagFault(merged, text, kTrue);
    if (!fault.IsEmpty()) {
        CAlert::WarningAlert(fault);
        errors = kExpandCheckFailed;
        return expanded;
    }
    bool16 ok = kFalse;
    expanded = BRNPackageUtils::EvaluateTags(merged, text, &ok, escape, kTrue);
    if (!ok) errors = kExpandCheckFailed;
    return expanded;
}

ErrorCode BRNBrindle::CheckTags(const UIDRef& document, const PMString& text, PMString& error) {
    CV_TRACE("BRNBrindle::CheckTags");
    const BRNPackageList packages = Read(document);
    // Without a package only the package tags are offered (and name nothing).
    error =
        BRNPackageUtils::FindTagFault(packages.empty() ? BRNPackage() : MergedPackage(packages), text, kTrue);
    if (error.IsEmpty()) return kSuccess;
    CAlert::WarningAlert(error);
    return kFailure;
}

PMString& BRNBrindle::GetVersion(PMString& version) {
    version = Untranslatable(PMString(kVersionText));
    return version;
}

int32 BRNBrindle::IsFirstPackageEnabled(const UIDRef& target) {
    CV_TRACE("BRNBrindle::IsFirstPackageEnabled");
    const BRNPackageList packages = Read(TargetOf(target));
    return !packages.empty() && packages.front().GetEnabled() ? 1 : 0;
}

BRNPackageList BRNBrindle::ReadDocumentPackagesCopy(const UIDRef& document) {
    CV_TRACE("BRNBrindle::ReadDocumentPackagesCopy");
    return Read(document);
}

BRNPackageList& BRNBrindle::GetDocumentPackages(BRNPackageList& packages, const UIDRef& document,
                                                int32 flags) {
    CV_TRACE("BRNBrindle::GetDocumentPackages");
    packages = Read(document);
    if (flags & kEnabledPackagesOnly)
        std::erase_if(packages, [](const BRNPackage& p) { return !p.GetEnabled(); });
    return packages;
}

PMString& BRNBrindle::GetFieldBooleanText(PMString& text, const UIDRef& document, const PMString& packageName,
                                          const PMString& shortName) {
    CV_TRACE("BRNBrindle::GetFieldBooleanText");
    text.clear();
    const BRNPackageList packages = Read(document);
    const BRNPackage* p = FindPackageNoCase(packages, packageName);
    const BRNField* f = p ? p->FindField(shortName) : nullptr;
    if (f) text = PMString(f->GetType() == kBRNTypeBoolean && f->GetBoolValue() ? "True" : "False");
    text.SetTranslatable(kFalse);
    return text;
}

PMString& BRNBrindle::GetFieldBooleanTextAlt(PMString& text, const UIDRef& document,
                                             const PMString& packageName, const PMString& shortName) {
    CV_TRACE("BRNBrindle::GetFieldBooleanTextAlt");
    const BRNPackageList packages = Read(document);
    const BRNPackage* p = FindPackageNoCase(packages, packageName);
    const BRNField* f = p ? p->FindField(shortName) : nullptr;
    bool yes = false;
    if (f)
        yes = f->GetType() == kBRNTypeBoolean ? f->GetBoolValue() != 0
                                              : f->GetValue().IsEqualNoCase(PMString("true"));
    text = Untranslatable(PMString(yes ? "True" : "False"));
    return text;
}

ErrorCode BRNBrindle::SetFieldValue(const UIDRef& document, const PMString& fieldName, const PMString& value,
                                    const BRNHistory& history) {
    CV_TRACE("BRNBrindle::SetFieldValue");
    if (!HasMetadata(document)) {
        CV_LOG_FAILED();
        return kFailure;
    }
    BRNPackageList packages = Read(document);
    const int32 changed = ChangeFields(packages, fieldName, -1, [&](BRNField& f) {
        if (!SetValueByType(f, value)) return false;
        AddHistory(f, history);
        return true;
    });
    if (changed == 0) return kFailure;
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(document), packages, kFalse, kFalse);
    RefreshPanel(this);
    return result;
}

bool16 BRNBrindle::CheckAssignment(const UIDRef& assignmentObject) {
    CV_TRACE("BRNBrindle::CheckAssignment");
    return BRNAssignmentHelper::IsStoryEditable(assignmentObject);
}

ErrorCode BRNBrindle::UpdateStoryFromDocument(const UIDRef& storyItem, const UIDRef& document) {
    CV_TRACE("BRNBrindle::UpdateStoryFromDocument");
    const UIDRef story = TargetOf(storyItem);
    if (!HasMetadata(story) || !HasMetadata(document)) {
        CV_LOG_FAILED();
        return kFailure;
    }
    BRNPackageList storyPackages = Read(story);
    const BRNPackageList docPackages = Read(document);
    if (storyPackages.size() != 1 || docPackages.size() != 1) return kFailure;
    const BRNPackage& source = docPackages.front();
    for (BRNField& f : storyPackages.front().Fields()) {
        const BRNField* from = source.FindField(f.GetShortName());
        if (!from || from->GetType() != f.GetType()) continue;
        switch (f.GetType()) {
        case kBRNTypeString:
        case kBRNTypeInteger:
        case kBRNTypeChoice:
        case kBRNTypeChoiceString:
        case kBRNTypeDecimal:
        case kBRNTypeDate:
        case kBRNTypeDirectory:
        case kBRNTypeText:
        case kBRNTypeCalculatedString:
            f.SetValue(from->GetValue());
            break;
        case kBRNTypeBoolean:
            f.SetBoolValue(from->GetBoolValue());
            break;
        case kBRNTypeMultiChoice:
            f.SetSelectedValues(from->GetSelectedValues(), PMString(kMultiChoiceSeparator));
            break;
        case kBRNTypeDeadline:
            f.SetDeadline(from->GetDeadline());
            break;
        default:
            break;
        }
    }
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(story), storyPackages, kFalse, kFalse);
    std::cout << "story updated\n" << std::flush;
    return result;
}

int32 BRNBrindle::UpdateStoriesFromDocument(const UIDRef& document) {
    CV_TRACE("BRNBrindle::UpdateStoriesFromDocument");
    InterfacePtr<IDocument> doc(Instantiate<IDocument>(document));
    if (!doc) {
        CV_LOG_FAILED();
        return 1;
    }
    IDataBase* db = document.GetDataBase();
    for (UID uid : doc->GetStoryList()) {
        // A locked story is not the user's to change.
        bool16 locked = kFalse;
        if (BRNAssignmentHelper::GetStoryStatus(UIDRef(db, uid), &locked, nullptr) == 0 && locked) continue;
        UpdateStoryFromDocument(UIDRef(db, uid), document);
    }
    return 1;
}

bool16 BRNBrindle::WriteStoryPackagesXML(const UIDRef& story, IXMLOutStream* out) {
    CV_TRACE("BRNBrindle::WriteStoryPackagesXML");
    return WritePackagesXML(Read(TargetOf(story)), out);
}

bool16 BRNBrindle::WriteDocumentPackagesXML(const UIDRef& document, IXMLOutStream* out) {
    CV_TRACE("BRNBrindle::WriteDocumentPackagesXML");
    return WritePackagesXML(Read(document), out);
}

bool16 BRNBrindle::GetStoryPackagesXML(const UIDRef& story, PMString& xml) {
    CV_TRACE("BRNBrindle::GetStoryPackagesXML");
    return PackagesXMLText(Read(TargetOf(story)), false, xml);
}

bool16 BRNBrindle::GetDocumentPackagesXML(const UIDRef& document, PMString& xml, bool16 declaration) {
    CV_TRACE("BRNBrindle::GetDocumentPackagesXML");
    return PackagesXMLText(Read(document), declaration != kFalse, xml);
}

ErrorCode BRNBrindle::RefreshTarget(const UIDRef& item) {
    CV_TRACE("BRNBrindle::RefreshTarget");
    const UIDRef target = TargetOf(item);
    if (!HasMetadata(target)) {
        CV_LOG_FAILED();
        return kFailure;
    }
    BRNPackageList packages = Read(target);
    // A package whose template fails keeps the values it was read with.
    for (BRNPackage& p : packages)
        BRNPackageUtils::UpdateCalculatedFields(p);
    ErrorCode result = BRNPackageUtils::StorePackages(UIDList(target), packages, kFalse, kFalse);
    RefreshPanel(this);
    return result;
}

PMString& BRNBrindle::GetPackageKey(PMString& key, const PMString& fileURL) {
    CV_TRACE("BRNBrindle::GetPackageKey");
    key.clear();
    key.SetTranslatable(kFalse);
    const char* prefix = nullptr;
    IDocument* doc = FindDocumentOfURL(fileURL, &prefix);
    if (!doc) return key;
    const BRNPackageList packages = Read(RootOf(doc));
    if (!packages.empty()) key = PackageKey(prefix, packages.front());
    return key;
}
