// The layout package (.idml): a zip of XML entries.
//
// Read: the document's packet is the entry META-INF/metadata.xml; each story is an entry named
// by designmap.xml (idPkg:Story src), its packet found by StoryXml; text frames are the
// TextFrame elements of the spread entries (idPkg:Spread src) with the story they show
// (ParentStory); assignments are the Assignment elements of designmap.xml with their
// AssignedStory children. A packet in designmap.xml (written by old versions) is not read.
//
// Write: only the entries that change are written (the document's packet, the changed
// stories); every other entry is copied as stored (its compressed bytes, method, time and
// order). `mimetype` is the first entry, stored. The new package is written to a temporary
// file beside the old one, read back, and then put in its place (FileReplace).
//
// An entry that claims more than kMaxEntrySize bytes is refused before anything is read.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace IdmlPackage {

constexpr uint64_t kMaxEntrySize = 512ull * 1024 * 1024;

struct Story {
    std::string self;  // as the file writes it ("u11b")
    std::string name;  // StoryTitle without "$ID/"
    std::string entry; // "Stories/Story_u11b.xml"
    bool hasPacket = false;
    std::string packet;
    std::vector<std::string> links; // LinkResourceURI of the story's own Link elements
};

struct Frame {
    std::string self;
    std::string story; // ParentStory
};

struct AssignedStory {
    std::string self;
    std::string story;    // StoryReference
    std::string filePath; // the story file, as written ("file:..."), "$ID/" removed
};

struct Assignment {
    std::string self, name, user, filePath;
    std::vector<AssignedStory> stories;
};

struct Contents {
    bool hasPacket = false;
    std::string packet;
    std::vector<Story> stories; // in designmap order
    std::vector<Frame> frames;  // in spread order
    std::vector<Assignment> assignments;
};

// Whether the file is a zip whose `mimetype` entry names the layout package format.
bool IsPackage(const std::filesystem::path& file);
// Whether the file begins as a zip does (a local file header): the cheap test, needing no zip
// library, that every other document fails.
bool StartsAsZip(const std::filesystem::path& file);

// Only the document's packet. False, with the reason, when the file is no readable package.
bool ReadPacket(const std::filesystem::path& file, bool* hasPacket, std::string* packet, std::string* error);

// Everything above. False, with the reason, when the file or one of the entries read cannot be.
bool Read(const std::filesystem::path& file, Contents* contents, std::string* error);

struct Changes {
    bool documentPacket = false;
    std::string packet;
    std::map<std::string, std::string> stories; // entry name -> the story's new packet
};

// Writes the changes into the package; the file is as it was when this fails.
bool Write(const std::filesystem::path& file, const Changes& changes, std::string* error);

} // namespace IdmlPackage
