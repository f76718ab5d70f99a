#include "BRNStrings.h"

#include "LocaleStrings.h"

namespace BRNStrings {
void Register() {
    static const struct {
        const char* key;
        const char* text;
    } kTable[] = {
        {"0xA8260BRNErrorExportingString", "The package could not be exported."},
        {"0xA8260kBRNSettingsUnreadableStringKey", "The Brindle settings file could not be read: "},
        {"0xA8260BRNQuestionImportOldString", "The document holds another version of a package. Import it into the library? "},
        {"0xA8260kBRNAboutBoxStringKey", "Brindle 7.1.5: package metadata for documents and stories."},
        {"0xA8260kBRNAboutDialogTitleKey", "About Brindle"},
        {"Choose a Folder", "Choose a Folder"},
    };
    for (const auto& e : kTable) LocaleStrings::Register(e.key, e.text);
}
} // namespace BRNStrings
