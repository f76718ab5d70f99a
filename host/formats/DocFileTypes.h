// The file types a document can be opened as, by file name extension.
#pragma once

#include "formats/IFileTypeInfo.h"
#include "io/IDFile.h"

enum : FileTypeInfoID {
    // Any file the host opens for its metadata only (images, PDF, ...).
    kOtherFileTypeInfoID = 1,
    kInDesignDocFileTypeInfoID = 257,       // .indd
    kInDesignTemplateFileTypeInfoID = 258,  // .indt, .idmt
    kIDMLFileTypeInfoID = 259,              // .idml
    kInCopyICMLFileTypeInfoID = 269,        // .icml
    kInCopyInterchangeFileTypeInfoID = 287, // .incx
    kInCopyDocFileTypeInfoID = 301,         // .incd
};

namespace DocFileTypes {
// The type of a file, from its extension (any case); kOtherFileTypeInfoID when unknown.
FileTypeInfoID FromFile(const IDFile& file);
bool IsTemplate(FileTypeInfoID type);
// The text-editing edition's own story files.
bool IsTextEditingType(FileTypeInfoID type);
} // namespace DocFileTypes
