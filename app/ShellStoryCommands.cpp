// The text-editing workflow in the shell: story list, check-out, check-in, cancel-checkout,
// update and relink, place, and the assignments of the front document. Each step is one host
// command (documents/StoryWorkflow.h) on the front document, which stays open and unsaved.
#include "ShellSession.h"

#include "documents/FileStories.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "documents/StoryWorkflow.h"
#include "objectmodel/InterfacePtr.h"

#include <algorithm>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

const char* kStoryUsage = "story list | story checkout|checkin|cancel-checkout|update ID | story relink ID FILE";
const char* kAssignmentUsage =
    "assignment list | assignment user NAME USER | assignment add|remove NAME ID... | assignment update NAME";

// The story of the front document with the id; kInvalidUID (reported) when there is none.
UID StoryOf(IDocument* doc, const std::string& id, const char* command) {
    const UID uid = Host::FindFileStory(doc, id);
    if (uid == kInvalidUID) Fail(kExitInput, std::string(command) + ": no story \"" + id + "\" in the front document");
    return uid;
}

// What the workflow says of the story.
std::string Status(IDocument* doc, UID story) {
    InterfacePtr<IStoryData> data(Instantiate<IStoryData>(doc->GetDocumentDataBase(), story));
    if (!data || data->GetStoryFile().IsEmpty()) return "not handed out";
    const Host::StoryLock lock = Host::ReadStoryLock(data->GetStoryFile());
    if (!lock.known) return "lock unknown";
    if (Host::IsOwnLock(lock)) return "checked out by you";
    if (lock.present) return "checked out by " + (lock.owner.empty() ? std::string("someone else") : lock.owner);
    return "available";
}

int ListStories(IDocument* doc, std::ostream& out) {
    IDataBase* db = doc->GetDocumentDataBase();
    for (UID uid : doc->GetStoryList()) {
        InterfacePtr<IStoryData> data(Instantiate<IStoryData>(db, uid));
        const std::string self = Host::GetFileStorySelf(doc, uid);
        if (self.empty()) continue;
        out << self << "\t" << (data ? UTF8(data->GetName()) : std::string()) << "\t" << Status(doc, uid);
        if (data && !data->GetStoryFile().IsEmpty()) out << "\t" << data->GetStoryFile().Path().string();
        out << "\n";
    }
    return kExitOK;
}

int StoryRequest(ShellSession& s, const ShellArgs& args, std::ostream& out) {
    if (args.empty()) return Fail(kExitInput, std::string("usage: ") + kStoryUsage);
    const std::string& what = args[0];
    IDocument* doc = s.Front();
    if (!doc) return kExitInput;
    if (what == "list") return args.size() == 1 ? ListStories(doc, out) : Fail(kExitInput, "story list takes no arguments");
    struct Step {
        const char* name;
        bool (*run)(IDocument*, UID, std::string*);
        const char* done;
    };
    static const Step kSteps[] = {
        {"checkout", Host::CheckOutStory, "checked out"},
        {"checkin", Host::CheckInStory, "checked in"},
        {"cancel-checkout", Host::CancelCheckOutStory, "check-out cancelled"},
        {"update", Host::UpdateStoryFromFile, "updated from its story file"},
    };
    const std::string command = "story " + what;
    std::string error;
    for (const Step& step : kSteps) {
        if (what != step.name) continue;
        if (args.size() != 2) return Fail(kExitInput, "usage: story " + what + " ID");
        const UID story = StoryOf(doc, args[1], command.c_str());
        if (story == kInvalidUID) return kExitInput;
        if (!step.run(doc, story, &error)) return Fail(kExitInput, command + " " + args[1] + ": " + error);
        out << args[1] << ": " << step.done << "\n";
        return kExitOK;
    }
    if (what == "relink") {
        if (args.size() != 3) return Fail(kExitInput, "usage: story relink ID FILE");
        const UID story = StoryOf(doc, args[1], command.c_str());
        if (story == kInvalidUID) return kExitInput;
        if (!Host::RelinkStory(doc, story, IDFile(fs::path(args[2])), &error))
            return Fail(kExitInput, command + " " + args[1] + ": " + error);
        out << args[1] << ": linked to " << args[2] << "\n";
        return kExitOK;
    }
    return Fail(kExitInput, std::string("usage: ") + kStoryUsage);
}

int PlaceRequest(ShellSession& s, const ShellArgs& args, std::ostream& out) {
    if (args.size() != 1) return Fail(kExitInput, "usage: place FILE");
    IDocument* doc = s.Front();
    if (!doc) return kExitInput;
    std::string error;
    const UID story = Host::PlaceStoryFile(doc, IDFile(fs::path(args[0])), &error);
    if (story == kInvalidUID) return Fail(kExitInput, "place " + args[0] + ": " + error);
    out << "placed " << args[0] << " as story " << Host::GetFileStorySelf(doc, story) << "\n";
    return kExitOK;
}

int32 AssignmentIndex(IAssignmentMgr* assignments, const std::string& name) {
    for (int32 i = 0; assignments && i < assignments->GetAssignmentCount(); ++i)
        if (UTF8(assignments->GetNthAssignment(i).name) == name) return i;
    return -1;
}

int AssignmentRequest(ShellSession& s, const ShellArgs& args, std::ostream& out) {
    if (args.empty()) return Fail(kExitInput, std::string("usage: ") + kAssignmentUsage);
    IDocument* doc = s.Front();
    if (!doc) return kExitInput;
    InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
    const std::string& what = args[0];
    if (what == "list") {
        if (args.size() != 1) return Fail(kExitInput, "assignment list takes no arguments");
        for (int32 i = 0; assignments && i < assignments->GetAssignmentCount(); ++i) {
            const Assignment a = assignments->GetNthAssignment(i);
            out << UTF8(a.name) << "\tuser: " << (a.user.IsEmpty() ? "-" : UTF8(a.user)) << "\tstories:";
            for (UID uid : a.stories)
                out << " " << Host::GetFileStorySelf(doc, uid);
            out << "\n";
        }
        return kExitOK;
    }
    const bool known = what == "user" || what == "add" || what == "remove" || what == "update";
    if (!known || args.size() < 2) return Fail(kExitInput, std::string("usage: ") + kAssignmentUsage);
    const std::string command = "assignment " + what;
    const int32 index = AssignmentIndex(assignments, args[1]);
    if (index < 0) return Fail(kExitInput, command + ": no assignment \"" + args[1] + "\" in the front document");
    std::string error;
    if (what == "update") {
        if (args.size() != 2) return Fail(kExitInput, "usage: assignment update NAME");
        if (!Host::UpdateAssignment(doc, index, &error)) return Fail(kExitInput, command + " " + args[1] + ": " + error);
        out << args[1] << ": stories updated from their story files\n";
        return kExitOK;
    }
    Assignment a = assignments->GetNthAssignment(index);
    if (what == "user") {
        if (args.size() != 3) return Fail(kExitInput, "usage: assignment user NAME USER");
        a.user = PMString(args[2]);
    } else {
        if (args.size() < 3) return Fail(kExitInput, "usage: assignment " + what + " NAME ID...");
        for (size_t i = 2; i < args.size(); ++i) {
            const UID story = StoryOf(doc, args[i], command.c_str());
            if (story == kInvalidUID) return kExitInput;
            auto at = std::find(a.stories.begin(), a.stories.end(), story);
            if (what == "add" && at == a.stories.end()) a.stories.push_back(story);
            if (what == "remove" && at != a.stories.end()) a.stories.erase(at);
        }
    }
    if (!Host::ChangeAssignment(doc, index, a, &error)) return Fail(kExitInput, command + " " + args[1] + ": " + error);
    out << args[1] << ": assignment changed\n";
    return kExitOK;
}

} // namespace

void AddShellStoryCommands(ShellRegistry& registry) {
    registry.Add({"story", kStoryUsage,
                  "The front document's stories in the text-editing workflow: list, check out, check in, cancel a "
                  "check-out, update from or relink to a story file",
                  StoryRequest});
    registry.Add({"place", "place FILE", "Place a story file into the front document as a new linked story",
                  PlaceRequest});
    registry.Add({"assignment", kAssignmentUsage,
                  "The front document's assignments: list them, change their user or stories, update their stories",
                  AssignmentRequest});
}
