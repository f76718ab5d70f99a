// Stories, text frames and assignments of documents whose file holds them: a layout package
// (.idml) or a story file (.icml, .wcml).
//
// What decides a story's status, from the files alone:
// - its story file: the FilePath of the AssignedStory that names it in designmap.xml, else
//   the LinkResourceURI of a Link element directly under the story that names a story file
//   (.icml, .wcml, .incx); a story file opened as a document is its own story file;
// - exported: it has a story file;
// - locked: a lock file of that story file lies beside it: a file named "~", the story
//   file's name without extension in lower case (its first 18 characters), "~", six
//   characters and ".idlk". When that folder cannot be listed, the lock is unknown.
#pragma once

#include "io/IDFile.h"
#include "objectmodel/UIDRef.h"

#include <string>
#include <vector>

class IDocument;

namespace Host {

// Fills a new document with the stories, frames and assignments of its file (nothing for
// other files). False, with the reason, when the file says it is one of these formats but
// cannot be read.
bool LoadFileStories(IDocument* doc, const IDFile& file, std::string* error);
// Whether the document's stories came from its file; SaveFileStories then saves it.
bool HasFileStories(IDocument* doc);
// Writes the document's packet (when changed) and each changed story's packet into the file,
// in one replacement of the file. Marks what was written as saved when markClean.
bool SaveFileStories(IDocument* doc, const IDFile& file, bool markClean, std::string* error);

// The story or frame of the document that the file calls `self`; kInvalidUID when none.
UID FindFileStory(IDocument* doc, const std::string& self);
UID FindFileFrame(IDocument* doc, const std::string& self);
// The Self of a story, and the Selfs of its frames in file order.
std::string GetFileStorySelf(IDocument* doc, UID story);
std::vector<std::string> GetFileStoryFrames(IDocument* doc, UID story);

// Whether a lock file of the story file lies beside it; false with `known` false when its
// folder cannot be listed.
bool IsStoryFileLocked(const IDFile& storyFile, bool* known);

} // namespace Host
