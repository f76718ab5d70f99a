#include "ui/ActionRegistry.h"

#include "objectmodel/InterfacePtr.h"
#include "objectmodel/ObjectModel.h"

#include <algorithm>

namespace {
std::vector<ActionEntry>& Entries() {
    static std::vector<ActionEntry> entries;
    return entries;
}

IActionComponent* QueryComponent(ClassID component) {
    return static_cast<IActionComponent*>(CreateObject(component, IID_IACTIONCOMPONENT));
}
} // namespace

namespace ActionRegistry {

void Register(ActionEntry entry) {
    auto& all = Entries();
    auto it = std::find_if(all.begin(), all.end(), [&](const ActionEntry& e) { return e.id == entry.id; });
    if (it != all.end())
        *it = std::move(entry);
    else
        all.push_back(std::move(entry));
}

void Clear() {
    Entries().clear();
}

const std::vector<ActionEntry>& All() {
    return Entries();
}

const ActionEntry* Find(const std::string& name) {
    const auto& all = Entries();
    auto it = std::find_if(all.begin(), all.end(), [&](const ActionEntry& e) { return e.name == name; });
    return it == all.end() ? nullptr : &*it;
}

bool Do(ActionID id) {
    const auto& all = Entries();
    auto it = std::find_if(all.begin(), all.end(), [&](const ActionEntry& e) { return e.id == id; });
    if (it == all.end()) return false;
    InterfacePtr<IActionComponent> component(QueryComponent(it->component));
    if (!component) return false;
    component->DoAction(id);
    return true;
}

ActionStateList States() {
    ActionStateList list;
    std::vector<ClassID> components;
    for (const ActionEntry& e : Entries()) {
        list.Add(e.id, ActionStateList::kEnabledAction);
        if (std::find(components.begin(), components.end(), e.component) == components.end())
            components.push_back(e.component);
    }
    for (ClassID c : components) {
        InterfacePtr<IActionComponent> component(QueryComponent(c));
        if (component) component->UpdateActionStates(&list);
    }
    return list;
}

} // namespace ActionRegistry
