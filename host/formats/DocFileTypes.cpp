#include "formats/DocFileTypes.h"

#include <algorithm>
#include <cctype>
#include <string>

namespace DocFileTypes {

FileTypeInfoID FromFile(const IDFile& file) {
    std::string ext = file.Path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    if (ext == ".indd") return kInDesignDocFileTypeInfoID;
    if (ext == ".indt" || ext == ".idmt") return kInDesignTemplateFileTypeInfoID;
    if (ext == ".idml") return kIDMLFileTypeInfoID;
    if (ext == ".icml" || ext == ".wcml") return kInCopyICMLFileTypeInfoID;
    if (ext == ".incx") return kInCopyInterchangeFileTypeInfoID;
    if (ext == ".incd") return kInCopyDocFileTypeInfoID;
    return kOtherFileTypeInfoID;
}

bool IsTemplate(FileTypeInfoID type) {
    return type == kInDesignTemplateFileTypeInfoID;
}

bool IsTextEditingType(FileTypeInfoID type) {
    return type == kInCopyICMLFileTypeInfoID || type == kInCopyInterchangeFileTypeInfoID ||
           type == kInCopyDocFileTypeInfoID;
}

} // namespace DocFileTypes
