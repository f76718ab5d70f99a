#include "metadata/BRNSetDocPrefsCmd.h"

#include "CVLog.h"
#include "documents/IDataBase.h"
#include "metadata/IBRNDocPrefs.h"
#include "objectmodel/InterfacePtr.h"

BRNSetDocPrefsCmd::BRNSetDocPrefsCmd(Boss* boss) : Command(boss) { SetName(PMString("BRNSetDocPrefsCmd")); }

PMString BRNSetDocPrefsCmd::MakeUndoName() {
    PMString name("Set Brindle DocPrefs");
    name.SetTranslatable(kFalse);
    return name;
}

void BRNSetDocPrefsCmd::Do() {
    CV_TRACE("BRNSetDocPrefsCmd::Do");
    InterfacePtr<IBRNDocPrefs> value(this, IID_IBRNDOCPREFS);
    if (!value) CV_RETURN_VOID();
    const UIDList* items = GetItemList();
    if (!items || items->IsEmpty() || !items->GetDataBase()) {
        CV_LOG(20, "The itemList is nil or empty");
        CV_RETURN_FAILED();
    }
    IDataBase* db = items->GetDataBase();
    for (UID uid : *items) {
        if (uid == kInvalidUID || !db->IsValidUID(uid)) {
            CV_LOG(20, "Invalid UIDRef");
            CV_RETURN_FAILED();
        }
        InterfacePtr<IBRNDocPrefs> prefs(Instantiate<IBRNDocPrefs>(db, uid));
        if (!prefs) {
            CV_LOG_FAILED();
            CV_RETURN_FAILED();
        }
        // The value this command carries is what its caller wants the targets to hold.
        prefs->SetState(value->GetState());
    }
    CV_RETURN_VOID();
}
