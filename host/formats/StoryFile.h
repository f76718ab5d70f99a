// The story file (.icml, and wrappers such as .wcml that hold the same story): one XML file
// whose story (found by StoryXml) carries the file's own packet. A write replaces the bytes of
// that packet (or adds a MetadataPacketPreference where the format puts it) and nothing else;
// packets of placed images inside the story are never read or written.
#pragma once

#include "formats/StoryXml.h"

#include <filesystem>
#include <string>

namespace StoryFile {

// Whether the file's name says story file (.icml, .wcml, any case).
bool IsStoryFileName(const std::filesystem::path& file);
// The story of the file. False, with the reason, when it cannot be read or holds no story.
bool Read(const std::filesystem::path& file, StoryXml::Story* story, std::string* error);
// Writes the story's packet: to a temporary file beside it, read back, then put in place.
bool WritePacket(const std::filesystem::path& file, const std::string& packet, std::string* error);

} // namespace StoryFile
