// The host's string table: localisation keys to display text (English only here).
// Plug-ins register their table when they are loaded.
#pragma once

#include <string>
#include <string_view>

namespace LocaleStrings {
void Register(std::string_view key, std::string_view text);
// The text for a key, or null when the key is unknown.
const std::u16string* Lookup(const std::u16string& key);
void Clear();
} // namespace LocaleStrings
