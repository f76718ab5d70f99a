#include "documents/StoryWorkflow.h"

#include "base/ErrorUtils.h"
#include "base/HostConfig.h"
#include "commands/CmdUtils.h"
#include "commands/Command.h"
#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/HostDocument.h"
#include "documents/HostStoryData.h"
#include "documents/IDataBase.h"
#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "formats/StoryFile.h"
#include "io/FileUtils.h"
#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"
#include "xmp/IXMPPacketAccess.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

enum : ImplementationID {
    kCheckOutStoryCmdImpl = 0x21F0,
    kCheckInStoryCmdImpl = 0x21F1,
    kCancelCheckOutStoryCmdImpl = 0x21F2,
    kUpdateStoryFromFileCmdImpl = 0x21F3,
    kRelinkStoryCmdImpl = 0x21F4,
    kPlaceStoryFileCmdImpl = 0x21F5,
    kAssignmentChangedCmdImpl = 0x21F6,
    kUpdateAssignmentCmdImpl = 0x21F7,
};

// A story with nothing of the plug-ins' (or anyone's) metadata yet.
const char* kEmptyPacket = "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
                           "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/></x:xmpmeta>";

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string Trim(std::string s) {
    const char* ws = " \t\r\n";
    s.erase(0, s.find_first_not_of(ws));
    s.erase(s.find_last_not_of(ws) + 1);
    return s;
}

std::string SessionUser() {
    return HostConfig::Get().userName;
}

IStoryData* QueryStoryData(IDocument* doc, UID story) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    if (!db || !db->IsValidUID(story) || db->GetClass(story) != kStoryBoss) return nullptr;
    return Instantiate<IStoryData>(db, story);
}

IXMPPacketAccess* QueryPacket(IDataBase* db, UID uid) {
    return static_cast<IXMPPacketAccess*>(db->Instantiate(uid, IID_IXMPPACKETACCESS));
}

// The story file of the story, when it has one that exists.
bool ExistingStoryFile(IStoryData* data, IDFile* file, std::string* error) {
    if (!data) return Fail(error, "no such story");
    const IDFile f = data->GetStoryFile();
    if (f.IsEmpty()) return Fail(error, "the story was never handed out for text editing (it has no story file)");
    std::error_code ec;
    if (!fs::is_regular_file(f.Path(), ec))
        return Fail(error, "the story file \"" + f.Path().string() + "\" is missing");
    *file = f;
    return true;
}

// The packet of a story file (an empty packet when it holds none).
bool ReadStoryPacket(const IDFile& file, StoryXml::Story* story, std::string* error) {
    std::string why;
    if (!StoryFile::IsStoryFileName(file.Path()))
        return Fail(error, "\"" + file.Path().string() + "\" is not a story file (.icml, .wcml)");
    if (!StoryFile::Read(file.Path(), story, &why))
        return Fail(error, "\"" + file.Path().string() + "\" cannot be read: " + why);
    if (!story->hasPacket) story->packet = kEmptyPacket;
    return true;
}

bool TakePacket(IDataBase* db, UID story, const std::string& packet) {
    InterfacePtr<IXMPPacketAccess> xmp(QueryPacket(db, story));
    if (!xmp || !xmp->ParsePacket(packet)) return false;
    xmp->SetDirty(kTrue);
    return true;
}

// The lock state of the story from the facts on disk.
void RefreshLock(IStoryData* data) {
    if (!data) return;
    const Host::StoryLock lock = Host::ReadStoryLock(data->GetStoryFile());
    data->SetLocked(lock.present && !Host::IsOwnLock(lock) ? kTrue : kFalse);
    if (auto* host = dynamic_cast<HostStoryData*>(data)) host->SetLockKnown(lock.known ? kTrue : kFalse);
}

// A new lock file of the story file naming the session's user; never replaces one.
bool MakeLockFile(const IDFile& storyFile, fs::path* made, std::string* error) {
    const fs::path p = storyFile.Path();
    std::string stem = Lower(p.stem().string());
    if (stem.size() > 18) stem.resize(18);
    const fs::path folder = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string tag;
        for (int i = 0; i < 6; ++i)
            tag += kChars[random() % (sizeof kChars - 1)];
        const fs::path lock = folder / ("~" + stem + "~" + tag + ".idlk");
        const int fd = ::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return Fail(error, "the lock file \"" + lock.string() + "\" cannot be made: " + std::strerror(errno));
        }
        const std::string owner = SessionUser() + "\n";
        const bool written = ::write(fd, owner.data(), owner.size()) == static_cast<ssize_t>(owner.size());
        const bool closed = ::close(fd) == 0;
        if (!written || !closed) {
            ::unlink(lock.c_str());
            return Fail(error, "the lock file \"" + lock.string() + "\" cannot be written");
        }
        *made = lock;
        return true;
    }
    return Fail(error, "no free name for a lock file beside \"" + p.string() + "\"");
}

// The story's own check-out: the lock file that names the session's user.
bool OwnCheckOut(IStoryData* data, IDFile* storyFile, Host::StoryLock* lock, std::string* error) {
    if (!ExistingStoryFile(data, storyFile, error)) return false;
    *lock = Host::ReadStoryLock(*storyFile);
    if (!lock->known) return Fail(error, "the lock of the story file cannot be read (its folder cannot be listed)");
    if (!lock->present) return Fail(error, "the story is not checked out");
    if (!Host::IsOwnLock(*lock))
        return Fail(error, "the story is checked out by " + (lock->owner.empty() ? "someone else" : lock->owner));
    return true;
}

// ---------------------------------------------------------------------------------------------

// The commands. The host function checks what a step needs before it processes the command;
// Do reports what can still fail (the file system) through the global error code, and the
// reason through the command.
class WorkflowCmd : public Command {
public:
    explicit WorkflowCmd(Boss* boss) : Command(boss) {}
    IDocument* fDoc = nullptr;
    IDFile fFile;
    Assignment fAssignment;
    int32 fIndex = -1;
    UID fResult = kInvalidUID;
    std::string fError;

protected:
    IDataBase* DataBase() const { return GetItemList()->GetDataBase(); }
    void Failed(const std::string& why) {
        fError = why;
        ErrorUtils::PMSetGlobalErrorCode(kFailure);
    }
    // The story takes its story file's packet; false, with the reason, when the file or its
    // packet cannot be read.
    bool TakeFilePacket(UID story, const IDFile& file, std::string* why) const {
        StoryXml::Story read;
        if (!ReadStoryPacket(file, &read, why)) return false;
        if (TakePacket(DataBase(), story, read.packet)) return true;
        *why = "the story file's packet cannot be read";
        return false;
    }
    // The stories of the item list (links resolved).
    std::vector<UID> Stories() const {
        std::vector<UID> stories;
        const UIDList* items = GetItemList();
        for (int32 i = 0; i < items->Length(); ++i)
            if (UID s = ResolveStoryUID(DataBase(), items->At(i)); s != kInvalidUID) stories.push_back(s);
        return stories;
    }
};

class CheckOutStoryCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        for (UID s : Stories()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(DataBase(), s));
            fs::path made;
            std::string why;
            if (!data || !MakeLockFile(data->GetStoryFile(), &made, &why)) return Failed(why);
            RefreshLock(data.get());
        }
    }
};

// Ends the user's check-out: the lock file goes and the story reads as editable by anyone.
bool ReleaseLock(const Host::StoryLock& lock, IStoryData* data, std::string* why) {
    std::error_code ec;
    if (!fs::remove(lock.file, ec) || ec) {
        *why = "the lock file \"" + lock.file.string() + "\" cannot be removed: " + ec.message();
        return false;
    }
    RefreshLock(data);
    return true;
}

class CheckInStoryCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        for (UID s : Stories()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(DataBase(), s));
            InterfacePtr<IXMPPacketAccess> xmp(QueryPacket(DataBase(), s));
            IDFile file;
            Host::StoryLock lock;
            std::string why;
            if (!xmp || !OwnCheckOut(data.get(), &file, &lock, &why)) return Failed(why);
            if (!StoryFile::WritePacket(file.Path(), xmp->SerializePacket(), &why))
                return Failed("the story file \"" + file.Path().string() + "\" cannot be written: " + why);
            if (!ReleaseLock(lock, data.get(), &why)) return Failed(why);
        }
    }
};

class CancelCheckOutStoryCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        for (UID s : Stories()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(DataBase(), s));
            IDFile file;
            Host::StoryLock lock;
            std::string why;
            // What was changed here since the check-out is given up: the story file's packet again.
            if (!OwnCheckOut(data.get(), &file, &lock, &why) || !TakeFilePacket(s, file, &why) ||
                !ReleaseLock(lock, data.get(), &why))
                return Failed(why);
        }
    }
};

class UpdateStoryFromFileCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        for (UID s : Stories()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(DataBase(), s));
            IDFile file;
            std::string why;
            if (!ExistingStoryFile(data.get(), &file, &why) || !TakeFilePacket(s, file, &why)) return Failed(why);
            RefreshLock(data.get());
        }
    }
};

class RelinkStoryCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        StoryXml::Story story;
        std::string why;
        if (!ReadStoryPacket(fFile, &story, &why)) return Failed(why);
        for (UID s : Stories()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(DataBase(), s));
            if (!data || !TakePacket(DataBase(), s, story.packet))
                return Failed("the story file's packet cannot be read");
            data->SetStoryFile(fFile);
            data->SetLinkResource(FileUtils::FileToURL(fFile));
            data->SetExportedForTextEditing(kTrue);
            RefreshLock(data.get());
        }
    }
};

class PlaceStoryFileCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        StoryXml::Story story;
        std::string why;
        if (!ReadStoryPacket(fFile, &story, &why)) return Failed(why);
        const std::string name = story.title.empty() ? fFile.Path().stem().string() : story.title;
        const UID uid = Host::NewStory(fDoc, PMString(name));
        InterfacePtr<IStoryData> data(Instantiate<IStoryData>(DataBase(), uid));
        if (!data || !TakePacket(DataBase(), uid, story.packet)) {
            if (uid != kInvalidUID) fDoc->RemoveStory(uid);
            return Failed("the story file's packet cannot be read");
        }
        data->SetStoryFile(fFile);
        data->SetLinkResource(FileUtils::FileToURL(fFile));
        data->SetExportedForTextEditing(kTrue);
        RefreshLock(data.get());
        if (auto* host = dynamic_cast<HostDocument*>(fDoc)) {
            // Known by the file's id of the story, unless the document has a story of that id.
            HostFileStories& files = host->FileStories();
            std::string self = story.self.empty() ? "placed" : story.self;
            for (int n = 2; Host::FindFileStory(fDoc, self) != kInvalidUID; ++n)
                self = (story.self.empty() ? "placed" : story.self) + "-" + std::to_string(n);
            files.stories.emplace_back(self, uid);
        }
        Host::GetStoryLink(fDoc, uid);
        fResult = uid;
    }
};

class AssignmentChangedCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        InterfacePtr<IAssignmentMgr> assignments(fDoc, IID_IASSIGNMENTMGR);
        if (!assignments || !assignments->SetNthAssignment(fIndex, fAssignment))
            return Failed("the assignment cannot be changed");
    }
};

class UpdateAssignmentCmd final : public WorkflowCmd {
public:
    using WorkflowCmd::WorkflowCmd;
    void Do() override {
        for (UID s : Stories()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(DataBase(), s));
            IDFile file;
            std::string why;
            // A story whose file is not there (not handed out yet) keeps what it has.
            if (!ExistingStoryFile(data.get(), &file, &why)) continue;
            if (!TakeFilePacket(s, file, &why)) return Failed(why);
            RefreshLock(data.get());
        }
    }
};

// The name of the command's undo step.
const char* StepName(ClassID cls) {
    switch (cls) {
    case kCheckOutStoryCmdBoss: return "Check Out Story";
    case kCheckInStoryCmdBoss: return "Check In Story";
    case kCancelCheckOutStoryCmdBoss: return "Cancel Check Out";
    case kUpdateStoryFromFileCmdBoss: return "Update Story";
    case kRelinkStoryCmdBoss: return "Relink Story";
    case kPlaceStoryFileCmdBoss: return "Place Story File";
    case kAssignmentChangedCmdBoss: return "Change Assignment";
    case kUpdateAssignmentCmdBoss: return "Update Assignment";
    default: return "";
    }
}

// Whether undo can take the step back. It puts back packets only; a lock file made or removed,
// a story file written, a link changed, a story placed or an assignment changed stay as they
// are. Such a step therefore leaves no undo step and ends the document's undo history: undoing
// an earlier step past it would put back packets that no longer belong to the files and links
// (a story edited after it was checked in, say).
bool Undoable(ClassID cls) {
    return cls == kUpdateStoryFromFileCmdBoss || cls == kUpdateAssignmentCmdBoss;
}

// Processes the command of the class on the items; the command's reason when it failed.
template <typename Setup>
bool Process(ClassID cls, const UIDList& items, IDocument* doc, std::string* error, Setup setup,
             UID* result = nullptr) {
    InterfacePtr<ICommand> cmd(CmdUtils::CreateCommand(cls));
    auto* workflow = dynamic_cast<WorkflowCmd*>(cmd.get());
    if (!workflow) return Fail(error, "the host has no command for this step");
    workflow->fDoc = doc;
    PMString name(StepName(cls));
    name.SetTranslatable(kFalse);
    cmd->SetName(name);
    setup(*workflow);
    cmd->SetItemList(items);
    const ErrorCode code = CmdUtils::ProcessCommand(cmd);
    if (code != kSuccess) {
        ErrorUtils::PMSetGlobalErrorCode(kSuccess);
        return Fail(error, workflow->fError.empty() ? "the command failed" : workflow->fError);
    }
    if (!Undoable(cls)) CmdUtils::ClearUndo(doc);
    if (result) *result = workflow->fResult;
    return true;
}

bool StoryItem(IDocument* doc, UID story, IStoryData** data, std::string* error) {
    *data = QueryStoryData(doc, story);
    return *data ? true : Fail(error, "no such story");
}

} // namespace

namespace Host {

StoryLock ReadStoryLock(const IDFile& storyFile) {
    StoryLock lock;
    if (storyFile.IsEmpty()) return lock;
    bool known = true;
    if (!IsStoryFileLocked(storyFile, &known)) {
        lock.known = known;
        return lock;
    }
    // The first lock file of the story file, as IsStoryFileLocked finds it.
    const fs::path p = storyFile.Path();
    std::string stem = Lower(p.stem().string());
    if (stem.size() > 18) stem.resize(18);
    const std::string prefix = "~" + stem + "~";
    const fs::path folder = p.parent_path().empty() ? fs::path(".") : p.parent_path();
    std::error_code ec;
    std::vector<fs::path> found;
    for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string n = it->path().filename().string();
        if (n.size() == prefix.size() + 6 + 5 && n.rfind(prefix, 0) == 0 && Lower(n.substr(n.size() - 5)) == ".idlk")
            found.push_back(it->path());
    }
    if (found.empty()) return lock;
    std::sort(found.begin(), found.end());
    lock.present = true;
    lock.file = found.front();
    // The owner is the first line; a lock file written by another application holds other
    // bytes, and names nobody this host knows.
    std::ifstream in(lock.file, std::ios::binary);
    std::string line;
    if (in && std::getline(in, line)) {
        line = Trim(line);
        const bool text = std::all_of(line.begin(), line.end(), [](unsigned char c) { return c >= 0x20; });
        if (text && line.size() <= 256) lock.owner = line;
    }
    return lock;
}

bool IsOwnLock(const StoryLock& lock) {
    return lock.present && !lock.owner.empty() && lock.owner == SessionUser();
}

UID GetStoryLink(IDocument* doc, UID story) {
    auto* host = dynamic_cast<HostDocument*>(doc);
    if (!host || story == kInvalidUID) return kInvalidUID;
    auto& links = host->FileStories().links;
    if (auto it = links.find(story); it != links.end()) return it->second;
    const UID link = NewStoryReference(doc, kStoryLinkBoss, story);
    if (link != kInvalidUID) links[story] = link;
    return link;
}

bool CheckOutStory(IDocument* doc, UID story, std::string* error) {
    IStoryData* raw = nullptr;
    if (!StoryItem(doc, story, &raw, error)) return false;
    InterfacePtr<IStoryData> data(raw);
    IDFile file;
    if (!ExistingStoryFile(data.get(), &file, error)) return false;
    const StoryLock lock = ReadStoryLock(file);
    if (!lock.known) return Fail(error, "the lock of the story file cannot be read (its folder cannot be listed)");
    if (IsOwnLock(lock)) return Fail(error, "the story is checked out already");
    if (lock.present)
        return Fail(error, "the story is checked out by " + (lock.owner.empty() ? "someone else" : lock.owner));
    if (SessionUser().empty()) return Fail(error, "no user name to check the story out to");
    return Process(kCheckOutStoryCmdBoss, UIDList(doc->GetDocumentDataBase(), story), doc, error,
                   [](WorkflowCmd&) {});
}

namespace {
// Check-in and cancel: both need the user's own check-out and a story file that reads.
bool EndCheckOut(ClassID cls, IDocument* doc, UID story, std::string* error) {
    IStoryData* raw = nullptr;
    if (!StoryItem(doc, story, &raw, error)) return false;
    InterfacePtr<IStoryData> data(raw);
    IDFile file;
    StoryLock lock;
    StoryXml::Story s;
    if (!OwnCheckOut(data.get(), &file, &lock, error) || !ReadStoryPacket(file, &s, error)) return false;
    return Process(cls, UIDList(doc->GetDocumentDataBase(), story), doc, error, [](WorkflowCmd&) {});
}
} // namespace

bool CheckInStory(IDocument* doc, UID story, std::string* error) {
    return EndCheckOut(kCheckInStoryCmdBoss, doc, story, error);
}

bool CancelCheckOutStory(IDocument* doc, UID story, std::string* error) {
    return EndCheckOut(kCancelCheckOutStoryCmdBoss, doc, story, error);
}

bool UpdateStoryFromFile(IDocument* doc, UID story, std::string* error) {
    IStoryData* raw = nullptr;
    if (!StoryItem(doc, story, &raw, error)) return false;
    InterfacePtr<IStoryData> data(raw);
    IDFile file;
    StoryXml::Story s;
    if (!ExistingStoryFile(data.get(), &file, error) || !ReadStoryPacket(file, &s, error)) return false;
    return Process(kUpdateStoryFromFileCmdBoss, UIDList(doc->GetDocumentDataBase(), story), doc, error,
                   [](WorkflowCmd&) {});
}

bool RelinkStory(IDocument* doc, UID story, const IDFile& file, std::string* error) {
    IStoryData* raw = nullptr;
    if (!StoryItem(doc, story, &raw, error)) return false;
    InterfacePtr<IStoryData> data(raw);
    std::error_code ec;
    if (!fs::is_regular_file(file.Path(), ec)) return Fail(error, "\"" + file.Path().string() + "\" is missing");
    const IDFile absolute(fs::absolute(file.Path(), ec));
    StoryXml::Story s;
    if (!ReadStoryPacket(absolute, &s, error)) return false;
    const UID link = GetStoryLink(doc, story);
    if (link == kInvalidUID) return Fail(error, "the story has no link");
    return Process(kRelinkStoryCmdBoss, UIDList(doc->GetDocumentDataBase(), link), doc, error,
                   [&](WorkflowCmd& c) { c.fFile = absolute; });
}

UID PlaceStoryFile(IDocument* doc, const IDFile& file, std::string* error) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    if (!db) {
        Fail(error, "no document");
        return kInvalidUID;
    }
    std::error_code ec;
    if (!fs::is_regular_file(file.Path(), ec))
    {
        Fail(error, "\"" + file.Path().string() + "\" is missing");
        return kInvalidUID;
    }
    const IDFile absolute(fs::absolute(file.Path(), ec));
    StoryXml::Story s;
    if (!ReadStoryPacket(absolute, &s, error)) return kInvalidUID;
    UID placed = kInvalidUID;
    if (!Process(kPlaceStoryFileCmdBoss, UIDList(db, db->GetRootUID()), doc, error,
                 [&](WorkflowCmd& c) { c.fFile = absolute; }, &placed))
        return kInvalidUID;
    return placed;
}

bool ChangeAssignment(IDocument* doc, int32 index, const Assignment& assignment, std::string* error) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
    if (!db || !assignments) return Fail(error, "the document has no assignments");
    if (index < 0 || index >= assignments->GetAssignmentCount()) return Fail(error, "no such assignment");
    for (UID s : assignment.stories)
        if (!db->IsValidUID(s) || db->GetClass(s) != kStoryBoss) return Fail(error, "no such story");
    return Process(kAssignmentChangedCmdBoss, UIDList(db, db->GetRootUID()), doc, error, [&](WorkflowCmd& c) {
        c.fIndex = index;
        c.fAssignment = assignment;
    });
}

bool UpdateAssignment(IDocument* doc, int32 index, std::string* error) {
    IDataBase* db = doc ? doc->GetDocumentDataBase() : nullptr;
    InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
    if (!db || !assignments) return Fail(error, "the document has no assignments");
    if (index < 0 || index >= assignments->GetAssignmentCount()) return Fail(error, "no such assignment");
    UIDList stories(db);
    for (UID s : assignments->GetNthAssignment(index).stories) {
        InterfacePtr<IStoryData> data(QueryStoryData(doc, s));
        IDFile file;
        StoryXml::Story story;
        std::string why;
        if (!data) continue;
        if (ExistingStoryFile(data.get(), &file, &why) && !ReadStoryPacket(file, &story, error)) return false;
        stories.Append(s);
    }
    if (stories.IsEmpty()) return Fail(error, "the assignment holds no stories");
    return Process(kUpdateAssignmentCmdBoss, stories, doc, error, [&](WorkflowCmd& c) { c.fIndex = index; });
}

} // namespace Host

void RegisterStoryWorkflowCommands() {
    struct Entry {
        ClassID cls;
        ImplementationID impl;
        ImplementationFactory factory;
    };
    const Entry entries[] = {
        {kCheckOutStoryCmdBoss, kCheckOutStoryCmdImpl, MakeFactory<CheckOutStoryCmd>()},
        {kCheckInStoryCmdBoss, kCheckInStoryCmdImpl, MakeFactory<CheckInStoryCmd>()},
        {kCancelCheckOutStoryCmdBoss, kCancelCheckOutStoryCmdImpl, MakeFactory<CancelCheckOutStoryCmd>()},
        {kUpdateStoryFromFileCmdBoss, kUpdateStoryFromFileCmdImpl, MakeFactory<UpdateStoryFromFileCmd>()},
        {kRelinkStoryCmdBoss, kRelinkStoryCmdImpl, MakeFactory<RelinkStoryCmd>()},
        {kPlaceStoryFileCmdBoss, kPlaceStoryFileCmdImpl, MakeFactory<PlaceStoryFileCmd>()},
        {kAssignmentChangedCmdBoss, kAssignmentChangedCmdImpl, MakeFactory<AssignmentChangedCmd>()},
        {kUpdateAssignmentCmdBoss, kUpdateAssignmentCmdImpl, MakeFactory<UpdateAssignmentCmd>()},
    };
    for (const Entry& e : entries) {
        ObjectModel::RegisterImplementation(e.impl, e.factory);
        ObjectModel::RegisterClass(e.cls, {{IID_ICOMMAND, e.impl}});
    }
}
