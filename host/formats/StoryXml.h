// The story element of a story's XML text and the story's own XMP packet in it.
//
// The story is the first `Story` element that is either a child of the root (a layout
// package's story entry, whose root is `idPkg:Story`; a story file, whose root is `Document`)
// or a child of a `Document` that is a grandchild of the root (a story file inside a wrapper
// such as `ea:Stories/ea:Story/Document`). Its packet is the text of
// `MetadataPacketPreference/Properties/Contents` where that `MetadataPacketPreference` is a
// direct child of the story: packets deeper down belong to placed images and are never taken.
//
// Edits replace bytes of the text and nothing else, so every other byte of the file stays.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace StoryXml {

struct Story {
    std::string self;  // the story's Self, as written ("u11b")
    std::string title; // StoryTitle, "$ID/" removed
    bool hasPacket = false;
    std::string packet; // the text of Contents (CDATA and character data, decoded)
    // With a packet: the bytes that hold it (the one CDATA section of Contents, or all of
    // Contents' content). Without one: where a new MetadataPacketPreference goes (after
    // StoryPreference, else after Properties, else right after the story's start tag), and
    // the white space that indents the story's children there.
    size_t begin = 0, end = 0;
    std::string indent;
    // LinkResourceURI of each Link element that is a direct child of the story.
    std::vector<std::string> links;
};

// False (with the reason) when the text is not well-formed XML, is not UTF-8, or holds no story.
bool Find(const std::string& xml, Story* story, std::string* error = nullptr);

// The text with the story's packet replaced by `packet` (or a MetadataPacketPreference added
// where the format puts it), as CDATA.
std::string WithPacket(const std::string& xml, const Story& story, const std::string& packet);

} // namespace StoryXml
