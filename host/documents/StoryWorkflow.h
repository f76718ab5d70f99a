// The text-editing workflow on a document's stories, each step one host command whose class
// the document's subject announces before and after it runs (kBeforeDoMessage and
// kAfterDoMessage on IID_IDOCCOMMANDNOTIFY, the command as changedBy), so that observers of
// the document see the step as the application's own.
//
// Check-out state lives beside the story file, where every other workstation sees it: a
// story is checked out while a lock file of its story file exists (FileStories.h names it).
// This host writes the session's user name into the lock files it makes; a lock file that
// names the session's user is this user's check-out (the story stays editable here), any
// other lock file (an empty one included) is someone else's and locks the story.
//
// Each step checks what it needs first and refuses, with the reason and without changing
// anything, when it cannot be done: no story file, the story file missing or unreadable, the
// story checked out by someone else, not checked out, a lock file that cannot be made.
//
//   CheckOutStory        kCheckOutStoryCmdBoss        items: the story. Makes the lock file.
//   CheckInStory         kCheckInStoryCmdBoss         items: the story. Writes the story's packet
//                                                     into its story file, removes the lock file.
//   CancelCheckOutStory  kCancelCheckOutStoryCmdBoss  items: the story. Removes the lock file and
//                                                     takes the story's packet back from the file.
//   UpdateStoryFromFile  kUpdateStoryFromFileCmdBoss  items: the story. The packet of the story
//                                                     file replaces the story's.
//   RelinkStory          kRelinkStoryCmdBoss          items: the story's link. The link and the
//                                                     story file become the new file; its packet
//                                                     replaces the story's.
//   PlaceStoryFile       kPlaceStoryFileCmdBoss       items: the document. A new story linked to
//                                                     the file, with the file's packet.
//   ChangeAssignment     kAssignmentChangedCmdBoss    items: the document. The assignment's user
//                                                     and stories.
//   UpdateAssignment     kUpdateAssignmentCmdBoss     items: the assignment's stories. Each story
//                                                     with a readable story file takes its packet.
//
// Undo puts back packets only, so only the two update steps can be undone; every other step
// (its effect is a file, a link or the document's structure) ends the document's undo history.
//
// What reaches the document's file on save is what the file format holds of these: the
// packets of the stories it has entries for. Placed stories, links and assignments are the
// session's until then; the lock files and story files are written at once.
#pragma once

#include "documents/IAssignmentMgr.h"
#include "io/IDFile.h"
#include "objectmodel/UIDRef.h"

#include <filesystem>
#include <string>

class IDocument;

namespace Host {

struct StoryLock {
    bool present = false;
    bool known = true;          // false when the story file's folder cannot be listed
    std::filesystem::path file; // the lock file, when present
    std::string owner;          // the user name it holds; empty when it names none
};
// The lock of the story file (the first lock file found beside it).
StoryLock ReadStoryLock(const IDFile& storyFile);
// Whether the lock is the session user's own.
bool IsOwnLock(const StoryLock& lock);

bool CheckOutStory(IDocument* doc, UID story, std::string* error);
bool CheckInStory(IDocument* doc, UID story, std::string* error);
bool CancelCheckOutStory(IDocument* doc, UID story, std::string* error);
bool UpdateStoryFromFile(IDocument* doc, UID story, std::string* error);
bool RelinkStory(IDocument* doc, UID story, const IDFile& file, std::string* error);
// The new story; kInvalidUID, with the reason, when the file cannot be placed.
UID PlaceStoryFile(IDocument* doc, const IDFile& file, std::string* error);
// Replaces the assignment at the index (its stories must be the document's).
bool ChangeAssignment(IDocument* doc, int32 index, const Assignment& assignment, std::string* error);
bool UpdateAssignment(IDocument* doc, int32 index, std::string* error);

// The story link of a story (made when the story has none yet); kInvalidUID without a story.
UID GetStoryLink(IDocument* doc, UID story);

} // namespace Host

// Registers the workflow's command classes (the host does this when it starts).
void RegisterStoryWorkflowCommands();
