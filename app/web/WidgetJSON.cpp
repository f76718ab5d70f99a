#include "WidgetJSON.h"

#include "BRNID.h"

#include <cstdio>

namespace WidgetJSON {
namespace {
// The package password boxes: what is typed in them never leaves the session. A refused
// attempt is shown to every page again, and the state is there for any reader of the API.
bool Secret(const WidgetModel& w) {
    return w.GetKind() == WidgetKind::kEditBox &&
           (w.GetID() == kBRNPasswordWidgetID || w.GetID() == kBRNPasswordConfirmWidgetID);
}
} // namespace

std::string ColorText(const WidgetColor& c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c.red, c.green, c.blue);
    return text;
}

nlohmann::json Widget(const WidgetModel& w) {
    nlohmann::json j = {{"id", w.GetID()},
                        {"kind", WidgetKindName(w.GetKind())},
                        {"enabled", static_cast<bool>(w.IsEnabled())},
                        {"shown", static_cast<bool>(w.IsShown())}};
    if (!w.GetName().empty()) j["name"] = w.GetName();
    PMString label = w.GetLabel();
    if (!label.IsEmpty()) {
        label.Translate();
        j["label"] = label.GetUTF8String();
    }
    switch (w.GetKind()) {
    case WidgetKind::kCheckBox:
        j["checked"] = static_cast<bool>(w.IsChecked());
        break;
    case WidgetKind::kDropDown:
    case WidgetKind::kEditableDropDown:
    case WidgetKind::kTreeView: {
        nlohmann::json list = nlohmann::json::array();
        for (const PMString& s : w.GetStringList())
            list.push_back(s.GetUTF8String());
        j["list"] = std::move(list);
        j["selected"] = w.GetSelectedIndex();
        j["text"] = w.GetText().GetUTF8String();
        break;
    }
    case WidgetKind::kColorView:
        j["color"] = ColorText(w.GetColor());
        j["text"] = w.GetText().GetUTF8String();
        break;
    case WidgetKind::kGroup:
        // A group's text is a note over its children (the panel's "not applied" line).
        if (!w.GetText().IsEmpty()) j["text"] = w.GetText().GetUTF8String();
        break;
    case WidgetKind::kButton:
        break;
    default:
        if (Secret(w)) {
            j["secret"] = true;
            j["text"] = "";
        } else {
            j["text"] = w.GetText().GetUTF8String();
        }
    }
    if (!w.GetChildren().empty()) {
        nlohmann::json children = nlohmann::json::array();
        for (const auto& c : w.GetChildren())
            children.push_back(Widget(*c));
        j["children"] = std::move(children);
    }
    return j;
}

nlohmann::json Dialog(DialogModel& d) {
    PMString title = d.GetTitle();
    title.Translate();
    return {{"name", d.GetName()},
            {"title", title.GetUTF8String()},
            {"focus", d.GetFocus()},
            {"root", Widget(d.Root())}};
}
} // namespace WidgetJSON
