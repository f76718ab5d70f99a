// brindle stories, and the story options of the commands that work on documents
#include "AppContext.h"

#include "documents/DocumentHost.h"
#include "documents/FileStories.h"
#include "documents/IAssignmentMgr.h"
#include "documents/IDataBase.h"
#include "documents/IDocument.h"
#include "documents/IStoryData.h"
#include "documents/IStoryReference.h"
#include "logic/BRNPackageUtils.h"
#include "objectmodel/InterfacePtr.h"

#include <filesystem>
#include <iostream>

void AddStoryOptions(CLI::App* command, StoryOptions& o, bool allStories) {
    command->add_option("--story", o.stories,
                        "Work on this story (its id in the file, e.g. u11b); repeatable");
    command->add_option("--frame", o.frames, "Work on the story of this text frame; repeatable");
    if (allStories) command->add_flag("--all-stories", o.allStories, "Work on every story of the document");
}

bool ResolveStories(IDocument* doc, const StoryOptions& o, UIDList* stories, std::string* error) {
    IDataBase* db = doc->GetDocumentDataBase();
    *stories = UIDList(db);
    auto add = [&](UID uid) {
        if (!stories->Contains(uid)) stories->Append(uid);
    };
    if (o.allStories)
        for (UID uid : doc->GetStoryList())
            add(uid);
    for (const std::string& id : o.stories) {
        UID uid = Host::FindFileStory(doc, id);
        if (uid == kInvalidUID) {
            *error = "no story \"" + id + "\" in the document";
            return false;
        }
        add(uid);
    }
    for (const std::string& id : o.frames) {
        UID story = ResolveStoryUID(db, Host::FindFileFrame(doc, id));
        if (story == kInvalidUID) {
            *error = "no text frame \"" + id + "\" with a story in the document";
            return false;
        }
        add(story);
    }
    if (stories->IsEmpty()) {
        *error = "the document has no stories";
        return false;
    }
    return true;
}

void AddStoryCommands(CLI::App& app, const GlobalOptions& options, int& exitCode) {
    struct Options {
        std::string file;
        bool json = false;
    };
    auto o = std::make_shared<Options>();
    auto* stories = app.add_subcommand("stories", "The stories of a layout package or story file");
    stories->add_option("FILE", o->file, "Document")->required();
    stories->add_flag("--json", o->json, "Print JSON");
    stories->callback([&options, &exitCode, o]() {
        HostSessionScope host(options);
        if (!host.ok()) {
            exitCode = Fail(kExitIO, "the plug-in could not be started");
            return;
        }
        std::string error;
        IDocument* doc = CommandDocuments::Open(o->file, &error);
        if (!doc) {
            exitCode = Fail(kExitIO, o->file + ": " + error);
            return;
        }
        IDataBase* db = doc->GetDocumentDataBase();
        InterfacePtr<IAssignmentMgr> assignments(doc, IID_IASSIGNMENTMGR);
        nlohmann::json list = nlohmann::json::array();
        for (UID uid : doc->GetStoryList()) {
            InterfacePtr<IStoryData> data(Instantiate<IStoryData>(db, uid));
            const std::vector<std::string> frames = Host::GetFileStoryFrames(doc, uid);
            const int32 a = assignments ? assignments->FindStory(uid) : -1;
            const BRNPackageList packages = BRNPackageUtils::ReadPackages(UIDRef(db, uid));
            nlohmann::json j = {{"id", Host::GetFileStorySelf(doc, uid)},
                                {"name", data ? UTF8(data->GetName()) : std::string()},
                                {"frames", frames},
                                {"exported", data && data->IsExportedForTextEditing()},
                                {"hasPackages", !packages.empty()}};
            j["locked"] =
                data && data->IsLockKnown() ? nlohmann::json(data->IsLocked() != 0) : nlohmann::json();
            j["assignment"] =
                a >= 0 ? nlohmann::json(UTF8(assignments->GetNthAssignment(a).name)) : nlohmann::json();
            j["storyFile"] = data && !data->GetStoryFile().IsEmpty()
                                 ? nlohmann::json(data->GetStoryFile().Path().string())
                                 : nlohmann::json();
            list.push_back(j);
        }
        if (o->json) {
            PrintJSON({{"file", o->file}, {"stories", list}});
        } else {
            for (const nlohmann::json& j : list) {
                std::string frames;
                for (const auto& f : j["frames"])
                    frames += (frames.empty() ? "" : " ") + f.get<std::string>();
                std::cout << j["id"].get<std::string>() << "\t" << j["name"].get<std::string>()
                          << "\tframes: " << (frames.empty() ? "-" : frames)
                          << "\texported: " << (j["exported"].get<bool>() ? "yes" : "no") << "\tlocked: "
                          << (j["locked"].is_null()     ? "unknown"
                              : j["locked"].get<bool>() ? "yes"
                                                        : "no")
                          << "\tassignment: "
                          << (j["assignment"].is_null() ? "-" : j["assignment"].get<std::string>())
                          << "\tpackages: " << (j["hasPackages"].get<bool>() ? "yes" : "no") << "\n";
            }
        }
        std::cout << std::flush;
        CommandDocuments::Close(doc);
        exitCode = kExitOK;
    });
}
