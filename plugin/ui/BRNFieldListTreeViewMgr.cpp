#include "BRNFieldListTreeViewMgr.h"

#include "BRNID.h"
#include "CVLog.h"

std::unique_ptr<WidgetModel> BRNFieldListTreeViewMgr::CreateWidgetForNode(int32) const {
    auto row = std::make_unique<WidgetModel>(kBRNFieldListRowWidgetID, WidgetKind::kGroup);
    row->AddChild(kBRNFieldListRowTextWidgetID, WidgetKind::kStaticText);
    return row;
}

WidgetID BRNFieldListTreeViewMgr::GetWidgetTypeForNode(int32) const {
    return kBRNFieldListRowWidgetID;
}

bool16 BRNFieldListTreeViewMgr::ApplyNodeIDToWidget(int32 node, WidgetModel* widget) const {
    WidgetModel* view = GetTreeView();
    if (!view || view->GetKind() != WidgetKind::kTreeView) {
        CV_LOG(30, "BRNFieldListTreeViewMgr: the field list has no string list");
        return kTrue;
    }
    const std::vector<PMString>& list = view->GetStringList();
    WidgetModel* text = widget ? widget->FindWidget(kBRNFieldListRowTextWidgetID) : nullptr;
    if (!text || node < 0 || node >= static_cast<int32>(list.size())) return kTrue;
    PMString s = list[static_cast<size_t>(node)];
    s.SetTranslatable(kFalse);
    text->SetLabel(s);
    text->SetText(s);
    return kTrue;
}
