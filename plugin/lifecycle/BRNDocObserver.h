// Watches a document's commands and its document preferences: upgrades packages after the
// commands that bring stories in, checks required fields before a story is checked in,
// re-stamps the stories a relink touches, and tells the panel to refresh.
#pragma once

#include "objectmodel/HostIDs.h"
#include "objectmodel/UIDList.h"
#include "subjects/CObserver.h"

class BRNDocObserver : public CObserver {
public:
    explicit BRNDocObserver(Boss* boss) : CObserver(boss, 0xA826B) {}
    void AutoAttach() override;
    void AutoDetach() override;
    void Update(const ClassID& theChange, ISubject* theSubject, const PMIID& protocol,
                void* changedBy) override;
    void LazyUpdate(ISubject* theSubject, const PMIID& protocol, const LazyNotificationData* data) override;

private:
    void Broadcast();
    UIDList fStories;
};
