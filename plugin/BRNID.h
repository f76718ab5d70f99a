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
    kBRNRefreshButtonWidgetID = 0xA8296,
    // Row controls are numbered from here, one per control made.
    kBRNFirstRowWidgetID = 0xA8298,
    kBRNStoryTargetWidgetID = 0xEF203,
    kBRNAssignmentTargetWidgetID = 0xEF204,
    kBRNCheckTargetsWidgetID = 0xEF209,
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

// Outside components of the maker.
constexpr PluginID kCVComponentPluginID = 0x64DB0;
