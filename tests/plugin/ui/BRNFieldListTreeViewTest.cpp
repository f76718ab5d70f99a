#include "ui/BRNFieldListTreeViewAdapter.h"
#include "ui/BRNFieldListTreeViewMgr.h"
#include "BRNID.h"

#include <gtest/gtest.h>

namespace {

std::vector<std::string> Rows(WidgetModel& view) {
    std::vector<std::string> rows;
    for (const auto& row : view.GetChildren()) {
        EXPECT_EQ(row->GetID(), static_cast<WidgetID>(kBRNFieldListRowWidgetID));
        WidgetModel* text = row->FindWidget(kBRNFieldListRowTextWidgetID);
        EXPECT_NE(text, nullptr);
        if (!text) continue;
        EXPECT_FALSE(text->GetText().GetTranslatable());
        rows.push_back(text->GetText().GetUTF8String());
    }
    return rows;
}

TEST(BRNFieldListTreeView, OneRowPerStringInOrderUntranslatedAndReplacedWhole) {
    WidgetModel view(0xA8270, WidgetKind::kTreeView);
    BRNFieldListTreeViewAdapter adapter(&view);
    BRNFieldListTreeViewMgr mgr(&view);
    struct Case {
        std::vector<std::string> list;
    } cases[] = {
        {{"Title", "0xA8260kBRNResetString", "Author"}},
        {{"Only"}}, // shorter list: only the new rows
        {{}},
    };
    for (const Case& c : cases) {
        std::vector<PMString> list(c.list.begin(), c.list.end());
        view.SetStringList(list);
        EXPECT_EQ(adapter.GetNumListItems(), static_cast<int32>(c.list.size()));
        mgr.RebuildRows(adapter);
        EXPECT_EQ(Rows(view), c.list);
    }
    EXPECT_EQ(mgr.GetWidgetTypeForNode(7), static_cast<WidgetID>(kBRNFieldListRowWidgetID));
}

TEST(BRNFieldListTreeView, MissingStringListGivesNoRowsAndOutOfRangeLeavesTheText) {
    WidgetModel notAList(0xA8270, WidgetKind::kEditBox);
    EXPECT_EQ(BRNFieldListTreeViewAdapter(&notAList).GetNumListItems(), 0);
    EXPECT_EQ(BRNFieldListTreeViewAdapter(nullptr).GetNumListItems(), 0);

    WidgetModel view(0xA8270, WidgetKind::kTreeView);
    view.SetStringList({PMString("a")});
    BRNFieldListTreeViewMgr mgr(&view);
    std::unique_ptr<WidgetModel> row = mgr.CreateWidgetForNode(5);
    row->FindWidget(kBRNFieldListRowTextWidgetID)->SetText(PMString("old"));
    EXPECT_TRUE(mgr.ApplyNodeIDToWidget(5, row.get()));
    EXPECT_EQ(row->FindWidget(kBRNFieldListRowTextWidgetID)->GetText(), PMString("old"));
    EXPECT_TRUE(BRNFieldListTreeViewMgr(&notAList).ApplyNodeIDToWidget(0, row.get()));
}

} // namespace
