#include "ui/WidgetModel.h"

#include <algorithm>
#include <charconv>

const char* WidgetKindName(WidgetKind kind) {
    switch (kind) {
    case WidgetKind::kStaticText:
        return "text";
    case WidgetKind::kEditBox:
        return "edit";
    case WidgetKind::kCheckBox:
        return "check";
    case WidgetKind::kDropDown:
        return "drop-down";
    case WidgetKind::kEditableDropDown:
        return "editable drop-down";
    case WidgetKind::kDateEdit:
        return "date";
    case WidgetKind::kButton:
        return "button";
    case WidgetKind::kTreeView:
        return "list";
    case WidgetKind::kColorView:
        return "colour";
    case WidgetKind::kGroup:
        return "group";
    }
    return "?";
}

WidgetModel::WidgetModel(WidgetID id, WidgetKind kind, const PMString& label)
    : fID(id), fKind(kind), fLabel(label) {}

void WidgetModel::SetText(const PMString& text, bool notify) {
    if (fText == text) return;
    fText = text;
    if (notify) Notify(IWidgetObserver::kValueChanged);
}

void WidgetModel::SetChecked(bool16 checked, bool notify) {
    const bool16 value = checked ? kTrue : kFalse;
    if (fChecked == value) return;
    fChecked = value;
    if (notify) Notify(IWidgetObserver::kStateChanged);
}

void WidgetModel::SetStringList(const std::vector<PMString>& list) {
    fList = list;
    if (fSelected >= static_cast<int32>(fList.size())) fSelected = -1;
    Notify(IWidgetObserver::kListChanged);
}

void WidgetModel::Select(int32 index, bool notify) {
    if (index < -1 || index >= static_cast<int32>(fList.size())) return;
    fSelected = index;
    const PMString text = index >= 0 ? fList[static_cast<size_t>(index)] : PMString();
    if (fText == text && !notify) return;
    fText = text;
    if (notify) Notify(IWidgetObserver::kValueChanged);
}

int32 WidgetModel::IndexOf(const PMString& text) const {
    auto it = std::find(fList.begin(), fList.end(), text);
    return it == fList.end() ? -1 : static_cast<int32>(it - fList.begin());
}

void WidgetModel::Click() {
    Notify(IWidgetObserver::kClicked);
}

WidgetModel* WidgetModel::AddChild(std::unique_ptr<WidgetModel> child) {
    fChildren.push_back(std::move(child));
    return fChildren.back().get();
}

WidgetModel* WidgetModel::AddChild(WidgetID id, WidgetKind kind, const PMString& label) {
    return AddChild(std::make_unique<WidgetModel>(id, kind, label));
}

void WidgetModel::RemoveChildren() {
    fChildren.clear();
}

std::vector<std::unique_ptr<WidgetModel>> WidgetModel::TakeChildren() {
    std::vector<std::unique_ptr<WidgetModel>> taken;
    taken.swap(fChildren);
    return taken;
}

WidgetModel* WidgetModel::FindWidget(WidgetID id) {
    if (fID == id) return this;
    for (auto& c : fChildren)
        if (WidgetModel* w = c->FindWidget(id)) return w;
    return nullptr;
}

namespace {
WidgetModel* FindByName(WidgetModel* w, const std::string& name) {
    if (w->GetName() == name) return w;
    for (auto& c : w->GetChildren())
        if (WidgetModel* found = FindByName(c.get(), name)) return found;
    return nullptr;
}
} // namespace

WidgetModel* WidgetModel::FindWidget(const std::string& nameOrID) {
    if (nameOrID.empty()) return nullptr;
    if (WidgetModel* w = FindByName(this, nameOrID)) return w;
    const bool hex = nameOrID.size() > 2 && nameOrID[0] == '0' && (nameOrID[1] == 'x' || nameOrID[1] == 'X');
    const char* first = nameOrID.data() + (hex ? 2 : 0);
    const char* last = nameOrID.data() + nameOrID.size();
    WidgetID id = 0;
    auto [end, ec] = std::from_chars(first, last, id, hex ? 16 : 10);
    if (ec != std::errc() || end != last) return nullptr;
    return FindWidget(id);
}

void WidgetModel::AttachObserver(IWidgetObserver* observer) {
    if (observer && !IsAttached(observer)) fObservers.push_back(observer);
}

void WidgetModel::DetachObserver(IWidgetObserver* observer) {
    fObservers.erase(std::remove(fObservers.begin(), fObservers.end(), observer), fObservers.end());
}

bool WidgetModel::IsAttached(IWidgetObserver* observer) const {
    return std::find(fObservers.begin(), fObservers.end(), observer) != fObservers.end();
}

void WidgetModel::Notify(IWidgetObserver::Change change) {
    // An observer may detach itself (or others) while being told.
    const std::vector<IWidgetObserver*> observers = fObservers;
    for (IWidgetObserver* o : observers)
        if (IsAttached(o)) o->WidgetChanged(*this, change);
}
