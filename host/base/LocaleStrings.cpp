#include "base/LocaleStrings.h"

#include "base/PMString.h"

#include <unordered_map>

namespace {
std::unordered_map<std::u16string, std::u16string>& Table() {
    static std::unordered_map<std::u16string, std::u16string> table;
    return table;
}
} // namespace

namespace LocaleStrings {
void Register(std::string_view key, std::string_view text) {
    Table()[StringUtils::UTF8ToUTF16(key)] = StringUtils::UTF8ToUTF16(text);
}
const std::u16string* Lookup(const std::u16string& key) {
    auto it = Table().find(key);
    return it == Table().end() ? nullptr : &it->second;
}
void Clear() { Table().clear(); }
} // namespace LocaleStrings
