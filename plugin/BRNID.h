// Every ID of the plug-in: the prefix 0xA8260 plus a small offset.
#pragma once

#include "base/PMTypes.h"

constexpr PluginID kBRNPluginID = 688736; // 0xA8260
constexpr uint32 kBRNPrefix = 0xA8260;

// Interfaces
enum : PMIID {
    IID_IBRNPREFS = kBRNPrefix + 0,
    IID_IBRNFIELDDATA = kBRNPrefix + 1,
    IID_IBRNDOCPREFS = kBRNPrefix + 2,
    IID_IBRNSETXMPCMDDATA = kBRNPrefix + 3,
    IID_IBRNPANELDATA = kBRNPrefix + 4,
    IID_IBRNSUITE = kBRNPrefix + 5,
    // The panel's selection observer (the panel's own observer is its IID_IOBSERVER).
    IID_IBRNPANELSELECTIONOBSERVER = kBRNPrefix + 6,
    IID_IBRINDLE = 0xA826A,
    // The document observer, on the document.
    IID_IBRNDOCOBSERVER = 0xA826B,
    // The class of the host's own file handler, kept on the document when ours is installed.
    IID_IBRNSAVEDFILEHANDLER = 0xA8271,
    // The plug-in's change protocol of the document observer's broadcast.
    IID_IBRNDOCCHANGE = 0xA8270,
};

// Implementations
enum : ImplementationID {
    kBRNPrefsPrstImpl = kBRNPrefix + 0,
    kBRNFieldDataImpl = kBRNPrefix + 1,
    kBRNDocPrefsPrstImpl = kBRNPrefix + 2,
    kBRNDocPrefsImpl = kBRNPrefix + 3,
    kBRNSetDocPrefsCmdImpl = kBRNPrefix + 4,
    kBRNSetXMPCmdDataImpl = kBRNPrefix + 5,
    kBRNSetXMPDataCmdImpl = kBRNPrefix + 6,
    kBRNBrindleImpl = kBRNPrefix + 7,
    kBRNPanelDataImpl = kBRNPrefix + 8,
    kBRNPanelSubjectImpl = kBRNPrefix + 9,
    kBRNSuiteASBImpl = kBRNPrefix + 10,
    kBRNSuiteLayoutCSBImpl = kBRNPrefix + 11,
    kBRNSuiteTextCSBImpl = kBRNPrefix + 12,
    kBRNSuiteGalleyCSBImpl = kBRNPrefix + 13,
    kBRNResponderImpl = kBRNPrefix + 14,
    kBRNServiceProviderImpl = kBRNPrefix + 15,
    kBRNDocFileHandlerImpl = kBRNPrefix + 16,
    kBRNDocObserverImpl = kBRNPrefix + 17,
    kBRNActionComponentImpl = kBRNPrefix + 18,
    kBRNTipImpl = kBRNPrefix + 19,
    kBRNPanelObserverImpl = kBRNPrefix + 20,
    kBRNPanelSelectionObserverImpl = kBRNPrefix + 21,
};

// Classes
enum : ClassID {
    kBRNSetXMPDataCmdBoss = kBRNPrefix + 0x20,
    kBRNSetDocPrefsCmdBoss = kBRNPrefix + 0x21,
    kBRNBrindleBoss = kBRNPrefix + 0x22,
    // The metadata panel's own object: its data (IBRNPanelData) and its subject.
    kBRNPanelBoss = kBRNPrefix + 0x23,
    // The selection suites: the abstract one, and one concrete suite per selection kind.
    kBRNSuiteBoss = kBRNPrefix + 0x24,
    kBRNSuiteLayoutBoss = kBRNPrefix + 0x25,
    kBRNSuiteTextBoss = kBRNPrefix + 0x26,
    kBRNSuiteGalleyBoss = kBRNPrefix + 0x27,
    // The responder to document signals and the provider that names them.
    kBRNResponderServiceBoss = kBRNPrefix + 0x28,
    kBRNDocFileHandlerBoss = 0xA827B,
    kBRNActionComponentBoss = kBRNPrefix + 0x29,
};

// Widgets
enum : WidgetID {
    // The metadata panel's top widget: the panel manager knows the panel by it.
    kBRNPanelWidgetID = kBRNPrefix + 0,
    kBRNApplyButtonWidgetID = 0xA8262,
    kBRNPackageDropDownWidgetID = 0xA8265,
    kBRNVersionTextWidgetID = 0xA8266,
    // The package and password dialogs.
    kBRNPackageStaticTextWidgetID = 0xA8267,
    kBRNPackageNameWidgetID = 0xA8268,
    kBRNPasswordWidgetID = 0xA8269,
    kBRNPasswordConfirmWidgetID = 0xA826A,
    // The field list: the row's text and the row widget's class.
    kBRNFieldListRowTextWidgetID = 0xA826E,
    kBRNFieldListRowWidgetID = 0xA827A,
    kBRNResetButtonWidgetID = 0xA828C,
    kBRNNewPackageButtonWidgetID = 0xA828F,
    kBRNDeletePackageButtonWidgetID = 0xA8290,
    kBRNCopyPackageButtonWidgetID = 0xA8291,
    kBRNEditPackageButtonWidgetID = 0xA8292,
    kBRNImportPackageButtonWidgetID = 0xA8293,
    kBRNExportPackageButtonWidgetID = 0xA8294,
    // The panel's status line: what the targets are.
    kBRNStatusTextWidgetID = 0xA8295,
    kBRNRefreshButtonWidgetID = 0xA8296,
    // The group that holds the rows of the current package.
    kBRNRowsWidgetID = 0xA8297,
    // Row controls are numbered from here, one per control made.
    kBRNFirstRowWidgetID = 0xA8298,
    // Target choice: the front document (mode 0), the selected story (1), its assignment (2).
    kBRNDocumentTargetWidgetID = 0xEF202,
    kBRNStoryTargetWidgetID = 0xEF203,
    kBRNAssignmentTargetWidgetID = 0xEF204,
    kBRNCheckTargetsWidgetID = 0xEF209,
    // The "Conflict" label, and the button that opens the resolve dialog.
    kBRNConflictWidgetID = 0xEF20B,
    kBRNResolveButtonWidgetID = 0xEF20C,
    // The package editor.
    kBRNEditorFieldListWidgetID = 0xEF210,
    kBRNEditorAddFieldWidgetID = 0xEF211,
    kBRNEditorRemoveFieldWidgetID = 0xEF212,
    kBRNEditorFieldUpWidgetID = 0xEF213,
    kBRNEditorFieldDownWidgetID = 0xEF214,
    kBRNEditorNameWidgetID = 0xEF215,
    kBRNEditorShortNameWidgetID = 0xEF216,
    kBRNEditorDescriptionWidgetID = 0xEF217,
    kBRNEditorTypeWidgetID = 0xEF218,
    kBRNEditorRequiredWidgetID = 0xEF219,
    kBRNEditorHiddenWidgetID = 0xEF21A,
    kBRNEditorReadOnlyWidgetID = 0xEF21B,
    kBRNEditorUserValuesWidgetID = 0xEF21C,
    kBRNEditorDefaultWidgetID = 0xEF21D,
    kBRNEditorLinesWidgetID = 0xEF21E,
    kBRNEditorValueListWidgetID = 0xEF21F,
    kBRNEditorValueWidgetID = 0xEF220,
    kBRNEditorAddValueWidgetID = 0xEF221,
    kBRNEditorRemoveValueWidgetID = 0xEF222,
    kBRNEditorValueUpWidgetID = 0xEF225,
    kBRNEditorValueDownWidgetID = 0xEF226,
    kBRNEditorDefaultValuesWidgetID = 0xEF227,
    kBRNEditorPlannedWidgetID = 0xEF228,
    kBRNEditorExecutedWidgetID = 0xEF229,
    kBRNEditorExecutedByWidgetID = 0xEF22A,
    // The dialogs of the multi-choice value, the conflict, the target list, import and export.
    kBRNMultiChoiceOwnValueWidgetID = 0xEF230,
    kBRNMultiChoiceAddWidgetID = 0xEF231,
    kBRNMultiChoiceFirstOptionWidgetID = 0xEF240,
    kBRNResolveTextWidgetID = 0xEF232,
    kBRNResolveActionWidgetID = 0xEF233,
    kBRNResolveAllStoriesWidgetID = 0xEF234,
    kBRNResolveEnabledWidgetID = 0xEF235,
    kBRNTargetListWidgetID = 0xEF236,
    kBRNFileWidgetID = 0xEF237,
    kBRNAboutTextWidgetID = 0xEF238,
    kBRNRequiredTextWidgetID = 0xEF239,
    kBRNRequiredListWidgetID = 0xEF23A,
    // The panel's line on the maker's logging component: off, or its level and file.
    kBRNLogStatusWidgetID = 0xEF23F,
    // The deadline dialog's three texts.
    kBRNDeadlinePlannedWidgetID = 979492,
    kBRNDeadlineExecutedWidgetID = 979493,
    kBRNDeadlineExecutedByWidgetID = 979494,
};

// Actions
enum : ActionID {
    kBRNAboutActionID = kBRNPrefix + 0,
    kBRNAbout2ActionID = kBRNPrefix + 3,
    kBRNNewPackageActionID = kBRNPrefix + 4,
    kBRNDeletePackageActionID = kBRNPrefix + 5,
    kBRNCopyPackageActionID = kBRNPrefix + 6,
    kBRNEditPackageActionID = kBRNPrefix + 7,
    kBRNImportPackageActionID = kBRNPrefix + 8,
    kBRNExportPackageActionID = kBRNPrefix + 9,
    kBRNToggleLatestActionID = kBRNPrefix + 10,
    kBRNRefreshActionID = kBRNPrefix + 12,
};

// Changes broadcast on the plug-in's protocol
constexpr PMIID kBRNProtocol = kBRNPrefix;
enum : ClassID {
    kBRNLibraryChangedMessage = 0xA8289,
    // A package was applied to the selected stories.
    kBRNStoryAppliedMessage = 0xA828A,
    kBRNRefreshMessage = 0xA828B,
    kBRNDocPrefsChangedMessage = 0xA828C,
    // The panel's target mode changed.
    kBRNPanelModeMessage = 0xA828F,
    // Sent by the document observer on IID_IBRNDOCCHANGE after commands that touch metadata.
    kBRNDocChangedMessage = 0xA828E,
    // The document's preferences changed.
    kBRNDocPrefsLazyMessage = 0xA8290,
};

// What the panel passes on: the same change on this protocol through the settings' subject.
constexpr PMIID kBRNPassOnProtocol = 0xA8270;
// The maker's logging component announces a status change (0xA8288) on its protocol; the
// document component learns of panel edits (0xA828C) on its own.
constexpr PMIID kCVLoggerProtocol = 0x64F00;
constexpr ClassID kCVLoggerStatusMessage = 0xA8288;
constexpr PMIID kCVDocComponentProtocol = 0x64CDA;

// Outside components of the maker.
constexpr PluginID kCVComponentPluginID = 0x64DB0;
