#include "ui/BRNPanelSelectionObserver.h"

#include "BRNID.h"
#include "CVLog.h"
#include "objectmodel/InterfacePtr.h"
#include "session/ISession.h"
#include "subjects/ISubject.h"
#include "ui/BRNPanelObserver.h"
#include "ui/IBRNPanelData.h"

namespace {
ISubject* QuerySessionSubject() {
    ISession* session = GetExecutionContextSession();
    return session ? static_cast<ISubject*>(session->QueryInterface(IID_ISUBJECT)) : nullptr;
}
} // namespace

void BRNPanelSelectionObserver::AutoAttach() {
    InterfacePtr<ISubject> subject(QuerySessionSubject());
    if (subject)
        subject->AttachObserver(this, IID_ISELECTIONMGR, IID_IBRNPANELSELECTIONOBSERVER);
    else
        CV_LOG(30, "BRNPanelSelectionObserver: no session subject");
}

void BRNPanelSelectionObserver::AutoDetach() {
    InterfacePtr<ISubject> subject(QuerySessionSubject());
    if (subject) subject->DetachObserver(this, IID_ISELECTIONMGR, IID_IBRNPANELSELECTIONOBSERVER);
}

void BRNPanelSelectionObserver::Update(const ClassID& theChange, ISubject*, const PMIID& protocol, void*) {
    if (protocol != IID_ISELECTIONMGR || theChange != kSelectionChangedMessage) return;
    InterfacePtr<IBRNPanelData> data(this, IID_IBRNPANELDATA);
    // The front document's own targets do not depend on the selection.
    if (!data || data->GetMode() == IBRNPanelData::kDocumentMode) return;
    InterfacePtr<IObserver> panel(this, IID_IOBSERVER);
    if (auto* observer = dynamic_cast<BRNPanelObserver*>(panel.get())) observer->Load();
}
