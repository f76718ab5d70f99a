#include "CVUtils.h"

#include "CVLog.h"
#include "objectmodel/InterfacePtr.h"

namespace CVUtils {

std::vector<PMString> Split(const PMString& text, textchar separator, bool16 strip) {
    std::vector<PMString> pieces;
    const std::u16string& t = text.Units();
    auto add = [&](size_t from, size_t to) {
        PMString piece(t.substr(from, to - from));
        piece.SetTranslatable(kFalse);
        if (strip) piece.StripWhiteSpace(PMString::kLeadingAndTrailingWhiteSpace);
        pieces.push_back(std::move(piece));
    };
    size_t start = 0;
    for (size_t i = 0; i < t.size(); ++i) {
        if (t[i] == separator) {
            add(start, i);
            start = i + 1;
        }
    }
    if (start < t.size()) add(start, t.size());
    return pieces;
}

PMString ReplaceAll(const PMString& text, const PMString& find, const PMString& replacement) {
    PMString result(text);
    result.SetTranslatable(kFalse);
    if (find.IsEmpty()) return result;
    std::u16string& r = result.Units();
    size_t pos = 0;
    while ((pos = r.find(find.Units(), pos)) != std::u16string::npos) {
        r.replace(pos, find.Units().size(), replacement.Units());
        pos += replacement.Units().size();
    }
    return result;
}

FileTypeInfoID GetFileTypeInfoID(const IPMUnknown* object) {
    InterfacePtr<IFileTypeInfo> info(object, IID_IFILETYPEINFO);
    if (!info) {
        CV_LOG_FAILED();
        return kInvalidFileTypeInfoID;
    }
    return info->GetFileTypeInfoID();
}

} // namespace CVUtils
