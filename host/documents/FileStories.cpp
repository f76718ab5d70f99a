#include "documents/FileStories.h"

#include "documents/DocumentHost.h"
#include "documents/HostDocument.h"
#include "documents/HostStoryData.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IStoryReference.h"
#include "documents/StoryWorkflow.h"
#include "formats/IdmlPackage.h"
#include "formats/StoryFile.h"
#include "io/FileUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

HostDocument* HostOf(IDocument* doc) {
    return dynamic_cast<HostDocument*>(doc);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

bool NamesStoryFile(const std::string& uri) {
    const std::string ext = Lower(fs::path(uri).extension().string());
    return ext == ".icml" || ext == ".wcml" || ext == ".incx";
}

IDFile FileOfLocation(const std::string& location) {
    IDFile file;
    // "file:" URLs as the format writes them ("file:/a/b", "file:///a/b"); a plain path as is.
    std::string loc = location;
    if (loc.rfind("file:", 0) == 0 && loc.rfind("file://", 0) != 0) loc = "file://" + loc.substr(5);
    if (FileUtils::URLToFile(PMString(loc), &file)) return file;
    return IDFile(fs::path(location));
}

// A story of the document with its packet, status and frames.
UID AddStory(IDocument* doc, const std::string& name, bool hasPacket, const std::string& packet,
             const IDFile& storyFile, const std::string& link) {
    UID uid = Host::NewStory(doc, PMString(name));
    IDataBase* db = doc->GetDocumentDataBase();
    InterfacePtr<IStoryData> data(Instantiate<IStoryData>(db, uid));
    InterfacePtr<IXMPPacketAccess> xmp(
        static_cast<IXMPPacketAccess*>(db->Instantiate(uid, IID_IXMPPACKETACCESS)));
    if (!data || !xmp) return kInvalidUID;
    if (hasPacket && !xmp->ParsePacket(packet)) return kInvalidUID;
    xmp->SetDirty(kFalse);
    if (!link.empty()) data->SetLinkResource(PMString(link));
    if (!storyFile.IsEmpty()) {
        data->SetStoryFile(storyFile);
        data->SetExportedForTextEditing(kTrue);
        // Locked when someone else has it checked out; the session user's own check-out leaves
        // it editable here.
        const Host::StoryLock lock = Host::ReadStoryLock(storyFile);
        data->SetLocked(lock.present && !Host::IsOwnLock(lock) ? kTrue : kFalse);
        if (auto* host = dynamic_cast<HostStoryData*>(data.get())) host->SetLockKnown(lock.known ? kTrue : kFalse);
    }
    return uid;
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

} // namespace

namespace Host {

bool IsStoryFileLocked(const IDFile& storyFile, bool* known) {
    *known = true;
    const fs::path p = storyFile.Path();
    std::string stem = Lower(p.stem().string());
    if (stem.size() > 18) stem.resize(18);
    const std::string prefix = "~" + stem + "~";
    std::error_code ec;
    const fs::path folder = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    if (!fs::exists(p, ec)) return false; // no such file here: nothing can lock it
    fs::directory_iterator it(folder, ec);
    if (ec) {
        *known = false;
        return false;
    }
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) {
            *known = false;
            return false;
        }
        const std::string n = it->path().filename().string();
        if (n.size() == prefix.size() + 6 + 5 && n.rfind(prefix, 0) == 0 &&
            Lower(n.substr(n.size() - 5)) == ".idlk")
            return true;
    }
    return false;
}

bool LoadFileStories(IDocument* doc, const IDFile& file, std::string* error) {
    HostDocument* host = HostOf(doc);
    if (!host || file.IsEmpty()) return true;
    std::error_code ec;
    const fs::path path = fs::absolute(file.Path(), ec);
    HostFileStories& fs_ = host->FileStories();
    IDataBase* db = doc->GetDocumentDataBase();
    if (StoryFile::IsStoryFileName(path)) {
        StoryXml::Story s;
        std::string why;
        if (!StoryFile::Read(path, &s, &why)) return Fail(error, why);
        UID uid = AddStory(doc, s.title, s.hasPacket, s.packet, IDFile(path), {});
        if (uid == kInvalidUID) return Fail(error, "the story's XMP packet cannot be read");
        fs_.fromFile = fs_.storyFile = true;
        fs_.stories.emplace_back(s.self, uid);
        return true;
    }
    if (!IdmlPackage::IsPackage(path)) return true;
    IdmlPackage::Contents c;
    std::string why;
    if (!IdmlPackage::Read(path, &c, &why)) return Fail(error, why);
    for (const IdmlPackage::Story& s : c.stories) {
        IDFile storyFile;
        std::string link;
        for (const IdmlPackage::Assignment& a : c.assignments)
            for (const IdmlPackage::AssignedStory& as : a.stories)
                if (as.story == s.self && !as.filePath.empty() && storyFile.IsEmpty())
                    storyFile = FileOfLocation(as.filePath);
        for (const std::string& l : s.links)
            if (NamesStoryFile(l) && link.empty()) link = l;
        if (storyFile.IsEmpty() && !link.empty()) storyFile = FileOfLocation(link);
        UID uid = AddStory(doc, s.name, s.hasPacket, s.packet, storyFile, link);
        if (uid == kInvalidUID) return Fail(error, "the XMP packet of story " + s.self + " cannot be read");
        fs_.stories.emplace_back(s.self, uid);
        fs_.entries[uid] = s.entry;
    }
    for (const IdmlPackage::Frame& f : c.frames) {
        UID story = FindFileStory(doc, f.story);
        UID frame = NewStoryReference(doc, kTextFrameBoss, story);
        fs_.frames.push_back({f.self, frame, story});
    }
    InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
    for (const IdmlPackage::Assignment& a : c.assignments) {
        Assignment record;
        record.name = PMString(a.name);
        record.user = PMString(a.user);
        if (!a.filePath.empty()) record.file = FileOfLocation(a.filePath);
        for (const IdmlPackage::AssignedStory& as : a.stories)
            if (UID uid = FindFileStory(doc, as.story); uid != kInvalidUID) record.stories.push_back(uid);
        // The default container of content not assigned yet holds nothing and names no file.
        if (assignments && (!record.stories.empty() || !a.filePath.empty()))
            assignments->AddAssignment(record);
    }
    (void)db;
    fs_.fromFile = true;
    return true;
}

bool HasFileStories(IDocument* doc) {
    HostDocument* host = HostOf(doc);
    return host && host->FileStories().fromFile;
}

bool SaveFileStories(IDocument* doc, const IDFile& file, bool markClean, std::string* error) {
    HostDocument* host = HostOf(doc);
    if (!host) return Fail(error, "not a document of the host");
    HostFileStories& fs_ = host->FileStories();
    IDataBase* db = doc->GetDocumentDataBase();
    InterfacePtr<IXMPPacketAccess> xmp(doc, IID_IXMPPACKETACCESS);
    if (!xmp) return Fail(error, "the document has no metadata");
    std::vector<InterfacePtr<IXMPPacketAccess>> written;
    std::error_code ec;
    const fs::path path = fs::absolute(file.Path(), ec);
    bool ok = true;
    std::string why;
    if (fs_.storyFile) {
        // One packet in the file: the document's when it changed, else the story's.
        InterfacePtr<IXMPPacketAccess> story(fs_.stories.empty()
                                                 ? nullptr
                                                 : static_cast<IXMPPacketAccess*>(db->Instantiate(
                                                       fs_.stories.front().second, IID_IXMPPACKETACCESS)));
        IXMPPacketAccess* source = xmp->IsDirty() || !story || !story->IsDirty() ? xmp.get() : story.get();
        ok = StoryFile::WritePacket(path, source->SerializePacket(), &why);
        if (story) story->AddRef(), written.emplace_back(story.get());
    } else {
        IdmlPackage::Changes changes;
        changes.documentPacket = xmp->IsDirty() != 0;
        if (changes.documentPacket) changes.packet = xmp->SerializePacket();
        for (const auto& [uid, entry] : fs_.entries) {
            InterfacePtr<IXMPPacketAccess> story(
                static_cast<IXMPPacketAccess*>(db->Instantiate(uid, IID_IXMPPACKETACCESS)));
            if (!story || !story->IsDirty()) continue;
            changes.stories[entry] = story->SerializePacket();
            story->AddRef();
            written.emplace_back(story.get());
        }
        if (changes.documentPacket || !changes.stories.empty()) ok = IdmlPackage::Write(path, changes, &why);
    }
    if (!ok) return Fail(error, "Cannot write the metadata of \"" + file.Path().string() + "\": " + why);
    if (markClean) {
        xmp->SetDirty(kFalse);
        for (auto& s : written)
            s->SetDirty(kFalse);
    }
    return true;
}

UID FindFileStory(IDocument* doc, const std::string& self) {
    HostDocument* host = HostOf(doc);
    if (!host) return kInvalidUID;
    for (const auto& [s, uid] : host->FileStories().stories)
        if (s == self) return uid;
    return kInvalidUID;
}

UID FindFileFrame(IDocument* doc, const std::string& self) {
    HostDocument* host = HostOf(doc);
    if (!host) return kInvalidUID;
    for (const HostFileStories::Frame& f : host->FileStories().frames)
        if (f.self == self) return f.frame;
    return kInvalidUID;
}

std::string GetFileStorySelf(IDocument* doc, UID story) {
    HostDocument* host = HostOf(doc);
    if (!host) return {};
    for (const auto& [s, uid] : host->FileStories().stories)
        if (uid == story) return s;
    return {};
}

std::vector<std::string> GetFileStoryFrames(IDocument* doc, UID story) {
    std::vector<std::string> frames;
    if (HostDocument* host = HostOf(doc))
        for (const HostFileStories::Frame& f : host->FileStories().frames)
            if (f.story == story && story != kInvalidUID) frames.push_back(f.self);
    return frames;
}

} // namespace Host
