#include "BRNFieldListTreeViewAdapter.h"

#include "CVLog.h"

int32 BRNFieldListTreeViewAdapter::GetNumListItems() const {
    WidgetModel* view = GetTreeView();
    if (!view || view->GetKind() != WidgetKind::kTreeView) {
        CV_LOG(30, "BRNFieldListTreeViewAdapter: the field list has no string list");
        return 0;
    }
    return static_cast<int32>(view->GetStringList().size());
}
