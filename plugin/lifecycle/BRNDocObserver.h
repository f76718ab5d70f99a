// Watches a document's commands and its document preferences: upgrades packages after the
// commands that bring stories in, checks required fields before a story is checked in,
// re-stamps the stories a relink touches, and tells the panel to refresh.
#pragma once

#include "objectmodel/UIDList.h"
#include "subjects/CObserver.h"

// Host commands the rules act on (a headless host maps its own commands to these classes).
enum : ClassID {
    kAssignmentChangedCmdBoss = 0x1BE1A, // an assignment was changed
    kCheckInStoryCmdBoss = 0x18E36,      // a story is checked in
    kCheckOutStoryCmdBoss = 0x18E34,     // a story is checked out
    kCancelCheckOutStoryCmdBoss = 0x18E38,
    kUpdateStoryFromFileCmdBoss = 0x1D01C, // a story updated from its story file
    kPlaceStoryFileCmdBoss = 0x2C02,       // a story file placed
    kImportAssignmentCmdBoss = 0x7313,
    kUpdateAssignmentCmdBoss = 0x7319,
    kRelinkStoryCmdBoss = 0x8C55, // a story link pointed at another file
};

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
