#include "lifecycle/BRNTip.h"

#include "CVLog.h"
#include "objectmodel/InterfacePtr.h"

PMString BRNTip::GetTipText() {
    InterfacePtr<ITextControlData> text(this, IID_ITEXTCONTROLDATA);
    if (!text) {
        CV_LOG_FAILED();
        return PMString();
    }
    // The widget's text is shown as it is: it was translated when it was set.
    PMString tip = text->GetString();
    tip.SetTranslatable(kFalse);
    return tip;
}
