// Interface and class IDs of the host's own objects.
#pragma once

#include "base/PMTypes.h"

enum : PMIID {
    IID_IUNKNOWN = 0x0001,
    IID_IPMSTREAM = 0x0010,
    IID_IXMLOUTSTREAM = 0x0011,
    IID_IXMLUTILS = 0x0012,
    IID_ISESSION = 0x0020,
    IID_ISUBJECT = 0x0021,
    IID_IOBSERVER = 0x0022,
    IID_IPLUGINLIST = 0x0023,
    IID_IXFERBYTES = 0x0024,
    IID_IK2SERVICEPROVIDER = 0x0025,
    IID_IXMPPACKETACCESS = 0x0030,
    IID_IPANELMGR = 0x0031,
    // A panel's widget tree (on the panel's object), for the faces that render panels.
    IID_IPANELVIEW = 0x0032,
    // The protocol of the selection's changes on the session's subject.
    IID_ISELECTIONMGR = 0x0033,
    // The component behind menu actions, the tip of a widget, and a widget's text.
    IID_IACTIONCOMPONENT = 0x0034,
    IID_ITIP = 0x0035,
    IID_ITEXTCONTROLDATA = 0x0036,
    IID_ICVLOGGER = 0x64f00,
};

enum : ClassID {
    kSessionBoss = 0x1001,
    kUtilsBoss = 0x1002,
    kCVLoggerBoss = 0x1003,
    // Changes on the session's subject: the front document changed (another one came to the
    // front, or the first opened) and the front document closed, on protocol IID_IDOCUMENTLIST;
    // the selection changed, on protocol IID_ISELECTIONMGR.
    kFrontDocChangedMessage = 0x0E0A,
    kFrontDocClosedMessage = 0x0E06,
    kSelectionChangedMessage = 0x102A,
};

// Documents, stories, commands and document signals.
enum : PMIID {
    IID_IDOCUMENT = 0x0E02,
    IID_IDOCUMENTSIGNALDATA = 0x0E1E,
    IID_IDOCCOMMANDNOTIFY = 0x1012,
    IID_IASSIGNMENTMGR = 0xAB0D,
    IID_IDOCUMENTLIST = 0x0040,
    IID_ISTORYDATA = 0x0041,
    IID_ICOMMAND = 0x0042,
    IID_ICOMMANDSEQUENCE = 0x0043,
    IID_ISIGNALMGR = 0x0044,
    IID_IRESPONDER = 0x0045,
    IID_IDOCFILEHANDLER = 0x0046,
    IID_ILAZYSUBJECT = 0x0047,
    IID_ICLASSIDDATA = 0x0048,
    IID_ISTORYREFERENCE = 0x0049,
};

enum : ClassID {
    // Changes announced on a document's subject (protocol IID_IDOCCOMMANDNOTIFY) around each command.
    kBeforeDoMessage = 0x1005,
    kAfterDoMessage = 0x1006,
    kDocBoss = 0x1020,
    kDocWorkspaceBoss = 0x1021,
    kStoryBoss = 0x1022,
    kHostDocFileHandlerBoss = 0x1023,
    // Objects that refer to a story (IStoryReference): a text frame, and the link of a story
    // handed out for text editing.
    kTextFrameBoss = 0x1024,
    kStoryLinkBoss = 0x1025,
    // Changes announced on the targets' subjects (protocol IID_IXMPPACKETACCESS) by undo and redo.
    kUndoMessage = 0x1028,
    kRedoMessage = 0x1029,
    // The story workflow's commands (StoryWorkflow.h): their classes, as announced around each.
    kAssignmentChangedCmdBoss = 0x1BE1A, // an assignment's user or stories changed
    kCheckInStoryCmdBoss = 0x18E36,      // a story is checked in
    kCheckOutStoryCmdBoss = 0x18E34,     // a story is checked out
    kCancelCheckOutStoryCmdBoss = 0x18E38,
    kUpdateStoryFromFileCmdBoss = 0x1D01C, // a story updated from its story file
    kPlaceStoryFileCmdBoss = 0x2C02,       // a story file placed
    kImportAssignmentCmdBoss = 0x7313,
    kUpdateAssignmentCmdBoss = 0x7319,
    kRelinkStoryCmdBoss = 0x8C55, // a story link pointed at another file
};

enum : ServiceID {
    kInvalidService = 0,
    kAfterNewDocSignalResponderService = 0x0E0C,
    kAfterOpenDocSignalResponderService = 0x0E0F,
    kBeforeSaveDocSignalResponderService = 0x0E10,
    kAfterSaveDocSignalResponderService = 0x0E11,
    kBeforeSaveAsDocSignalResponderService = 0x0E12,
    kAfterSaveAsDocSignalResponderService = 0x0E13,
    kBeforeCloseDocSignalResponderService = 0x0E19,
};

// Host implementations that plug-ins may put on classes of their own as add-ins.
enum : ImplementationID {
    kHostClassIDDataImpl = 0x2100,
    // One text (ITextControlData), for widgets of a plug-in's own classes.
    kHostTextControlDataImpl = 0x2110,
};
