// String helpers shared by the plug-in.
#pragma once

#include "base/PMString.h"
#include "formats/IFileTypeInfo.h"

#include <vector>

namespace CVUtils {
// Splits at every occurrence of the separator. A separator at the very end adds no empty
// piece; an empty text gives no pieces. With strip, blanks are removed from both ends of
// each piece. Pieces are not translatable.
std::vector<PMString> Split(const PMString& text, textchar separator, bool16 strip);
// Replaces each occurrence of find, left to right, continuing after the inserted text.
PMString ReplaceAll(const PMString& text, const PMString& find, const PMString& replacement);
// The file type information ID of a host object, or kInvalidFileTypeInfoID.
FileTypeInfoID GetFileTypeInfoID(const IPMUnknown* object);
} // namespace CVUtils
