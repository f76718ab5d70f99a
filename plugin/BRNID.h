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
    kBRNResponderImpl = kBRNPrefix + 10,
    kBRNServiceProviderImpl = kBRNPrefix + 11,
    kBRNDocFileHandlerImpl = kBRNPrefix + 12,
    kBRNDocObserverImpl = kBRNPrefix + 13,
    kBRNActionComponentImpl = kBRNPrefix + 14,
    kBRNTipImpl = kBRNPrefix + 15,
};

// Classes
enum : ClassID {
    kBRNSetXMPDataCmdBoss = kBRNPrefix + 0x20,
    kBRNSetDocPrefsCmdBoss = kBRNPrefix + 0x21,
    kBRNBrindleBoss = kBRNPrefix + 0x22,
    // The metadata panel's own object: its data (IBRNPanelData) and its subject.
    kBRNPanelBoss = kBRNPrefix + 0x23,
    // The responder to document signals and the provider that names them.
    kBRNResponderServiceBoss = kBRNPrefix + 0x24,
    kBRNDocFileHandlerBoss = 0xA827B,
    kBRNActionComponentBoss = kBRNPrefix + 0x25,
};

// Widgets
enum : WidgetID {
    // The metadata panel's top widget: the panel manager knows the panel by it.
    kBRNPanelWidgetID = kBRNPrefix + 0,
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
