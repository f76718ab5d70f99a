// Widget trees as JSON for the web page: every widget with its ID, kind, name, label, value,
// list, enabled and shown state and colour, children in order. The page draws any tree from
// this alone, so panels and dialogs need no page code of their own.
#pragma once

#include "ui/DialogModel.h"
#include "ui/WidgetModel.h"

#include <nlohmann/json.hpp>

namespace WidgetJSON {
nlohmann::json Widget(const WidgetModel& widget);
// The dialog's name, title, focus and widget tree.
nlohmann::json Dialog(DialogModel& dialog);
// "#rrggbb"
std::string ColorText(const WidgetColor& color);
} // namespace WidgetJSON
