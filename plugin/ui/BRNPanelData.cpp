#include "ui/BRNPanelData.h"

#include "objectmodel/InterfacePtr.h"
#include "session/IPanelMgr.h"
#include "subjects/ISubject.h"

void BRNPanelData::SetMode(int32 mode) {
    if (mode >= kDocumentMode && mode <= kAssignmentMode) fMode = mode;
}

IBRNPanelData* BRNPanelData::QueryOpenPanel() {
    IPanelMgr* panels = GetPanelManager();
    IPMUnknown* panel = panels ? panels->GetPanelFromWidgetID(kBRNPanelWidgetID) : nullptr;
    return panel ? static_cast<IBRNPanelData*>(panel->QueryInterface(IID_IBRNPANELDATA)) : nullptr;
}

bool16 BRNPanelData::TellPanel(ClassID change, void* changedBy) {
    InterfacePtr<IBRNPanelData> panel(QueryOpenPanel());
    InterfacePtr<ISubject> subject(panel, IID_ISUBJECT);
    if (!subject) return kFalse;
    subject->Change(change, kBRNProtocol, changedBy);
    return kTrue;
}
