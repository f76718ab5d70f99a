// Makes the metadata panel follow the selection: in the story and assignment modes the
// targets are the selection's stories, so a new selection rebuilds them and the rows.
#pragma once

#include "BRNID.h"
#include "subjects/CObserver.h"

class BRNPanelSelectionObserver : public CObserver {
public:
    explicit BRNPanelSelectionObserver(Boss* boss) : CObserver(boss, IID_IBRNPANELSELECTIONOBSERVER) {}
    void AutoAttach() override;
    void AutoDetach() override;
    void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol, void* changedBy) override;
};
