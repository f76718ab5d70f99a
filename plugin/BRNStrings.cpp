#include "BRNStrings.h"

#include "base/LocaleStrings.h"

namespace BRNStrings {
void Register() {
    static const struct {
        const char* key;
        const char* text;
    } kTable[] = {
        {"0xA8260BRNErrorExportingString", "The package could not be exported."},
        {"0xA8260BRNErrorEmptyPackageString", "Please give the package a name."},
        {"0xA8260BRNErrorEmptyPasswordString", "Please enter a password."},
        {"0xA8260BRNErrorIncorrectPasswordString", "The password is not correct."},
        {"0xA8260BRNErrorPackageAlreadyExists", "A package of that name already exists."},
        {"0xA8260BRNErrorVerifyingPasswordString", "The two passwords differ."},
        {"0xA8260BRNQuestionImportOldString",
         "The document holds another version of this package. Take it into the library? "},
        {"0xA8260kBRNSettingsUnreadableStringKey", "The Brindle settings file could not be read: "},
        {"0xA8260kBRNAboutBoxStringKey", "Brindle 7.1.5: package metadata for documents and stories."},
        {"0xA8260kBRNAboutDialogTitleKey", "About Brindle"},
        {"0xA8260kBRNNameTagDesc", "The name of the package"},
        {"0xA8260kBRNVersionTagDesc", "The version of the package"},
        {"0xA8260kBRNEnabledTagDesc", "True when the package is enabled, else False"},
        {"0xA8260kBRNErrorInTagsStringKey", "The template holds a tag that is not well formed."},
        {"0xA8260kBRNNoTagStringKey", "The package offers no such tag:"},
        {"0xA8260kBRNTemplateTooLongStringKey",
         "The template's result is longer than 1,048,576 characters; nothing was changed."},
        {"0xA8260kBRNReqfieldError", "Required fields are empty: "},
        {"0xA8260kBRNIntConversionError", "Please enter a whole number."},
        {"0xA8260kBRNDecimalConversionError",
         "Please enter a decimal number with \".\" as the decimal point."},
        {"0xA8260kBRNErrorInDateStringKey", "The date of # is not valid. Please write it as yyyy/mm/dd."},
        {"0xA8260kBRNMCCommaWarningStringKey", "A value may not contain a comma."},
        {"0xA8260kBRNNoStorySelectedStringKey", "Please select a story first."},
        {"0xA8260kBRNStoryLockedStringKey", "The story is locked."},
        {"0xA8260kBRNStoryNotExportedStringKey", "The story has not been exported for the text editor."},
        {"0xA8260kBRNLockedErrorStringKey", "The package is locked."},
        {"0xA8260kBRNDualXMPPackagesErrorStringKey",
         "The document holds packages in both the old and the new form."},
        {"0xA8260kBRNDeletePackageQuestionString", "Remove the package from the targets shown?"},
        {"0xA8260kBRNEmptyListErrorStringKey", "The list may not be empty."},
        {"0xA8260kBRNEmptyFieldNameErrorString", "Every field needs a name."},
        {"0xA8260kBRNDublicatedFieldNameErrorString", "Two fields have the same name."},
        {"0xA8260kBRNDublicatedFieldShortNameErrorString", "Two fields have the same short name."},
        {"0xA8260kBRNDublicatedValueErrorString", "The value is in the list already."},
        {"0xA8260kBRNMCNotAChoiceStringKey", "Only the field's own choices may be selected."},
        {"0xA8260kBRNResetString", "Remove all packages from the document?"},
        {"0xA8260kBRNMCChangeStringKey", "Change..."},
        {"0xA8260kBRNSetXMPMetaDataCmdStringKey", "Set Metadata"},
        {"0xA8260kBRNUpdateXMPMetaDataCmdStringKey", "Update Metadata"},
        {"0xA8260kBRNStringStringKey", "String"},
        {"0xA8260kBRNIntegerStringKey", "Integer"},
        {"0xA8260kBRNBoolStringKey", "Boolean"},
        {"0xA8260kBRNChoiceStringKey", "Choice"},
        {"0xA8260kBRNUChoiceStringKey", "Choice / String"},
        {"0xA8260kBRNDecimalStringKey", "Decimal"},
        {"0xA8260kBRNDateStringKey", "Date"},
        {"0xA8260kBRNDirectoryStringKey", "Directory"},
        {"0xA8260kBRNTextStringKey", "Text"},
        {"0xA8260kBRNMultiChoiceStringKey", "MultiChoice"},
        {"0xA8260kBRNCalculatedStringStringKey", "CalculatedString"},
        {"0xA8260kBRNDeadlineStringKey", "Deadline"},
        {"0xA8260kBRNPackageStringKey", "Package"},
        {"0xA8260kBRNNewPackageStringKey", "New Package"},
        {"0xA8260kBRNCopyPackageStringKey", "Copy Package"},
        {"0xA8260kBRNEnabledStringKey", "Enabled"},
        {"0xA8260kBRNPackageDialogStaticTextKey", "Package name:"},
        {"0xA8260kBRNCheckToApplyPackageToAllStories", "Apply the package to all stories"},
        {"Choose a Folder", "Choose a Folder"},
    };
    for (const auto& e : kTable)
        LocaleStrings::Register(e.key, e.text);
}
} // namespace BRNStrings
