#include "objectmodel/ObjectModel.h"

#include <map>

IPMUnknown* Boss::Query(PMIID interfaceID) const {
    for (const auto& [iid, impl] : fImplementations) {
        if (iid == interfaceID || interfaceID == IID_IUNKNOWN) {
            AddRef();
            return impl;
        }
    }
    return nullptr;
}

void Boss::Release() const {
    if (--fRefCount == 0) delete this;
}

void Boss::Add(PMIID interfaceID, IPMUnknown* implementation) {
    fImplementations.emplace_back(interfaceID, implementation);
}

Boss::~Boss() {
    // Implementations go in reverse order of creation, so later ones may use earlier ones.
    for (auto it = fImplementations.rbegin(); it != fImplementations.rend(); ++it) delete it->second;
}

ClassID GetClass(const IPMUnknown* object) { return object ? object->GetClassOfObject() : kInvalidClass; }

namespace {
struct Registry {
    std::map<ImplementationID, ImplementationFactory> implementations;
    std::map<ClassID, std::vector<InterfaceBinding>> classes;
    std::map<ClassID, std::vector<InterfaceBinding>> addIns;
};
Registry& TheRegistry() {
    static Registry r;
    return r;
}
} // namespace

namespace ObjectModel {

void RegisterImplementation(ImplementationID id, ImplementationFactory factory) {
    TheRegistry().implementations[id] = std::move(factory);
}

void RegisterClass(ClassID classID, std::vector<InterfaceBinding> bindings) {
    TheRegistry().classes[classID] = std::move(bindings);
}

void AddIn(ClassID classID, InterfaceBinding binding) { TheRegistry().addIns[classID].push_back(binding); }

bool IsRegistered(ClassID classID) { return TheRegistry().classes.count(classID) != 0; }

IPMUnknown* CreateObject(ClassID classID, PMIID interfaceID, const std::function<void(Boss*)>& onBoss) {
    Registry& r = TheRegistry();
    auto cls = r.classes.find(classID);
    if (cls == r.classes.end()) return nullptr;
    std::vector<InterfaceBinding> bindings = cls->second;
    if (auto add = r.addIns.find(classID); add != r.addIns.end())
        bindings.insert(bindings.end(), add->second.begin(), add->second.end());
    auto* boss = new Boss(classID);
    // Hold the boss while its implementations are made: they may query it.
    boss->AddRef();
    if (onBoss) onBoss(boss);
    for (const auto& b : bindings) {
        auto f = r.implementations.find(b.implementationID);
        if (f == r.implementations.end()) continue;
        boss->Add(b.interfaceID, f->second(boss));
    }
    IPMUnknown* result = boss->Query(interfaceID);
    boss->Release();
    return result;
}

IPMUnknown* CreateObject(ClassID classID, PMIID interfaceID) { return CreateObject(classID, interfaceID, {}); }

void Reset() {
    TheRegistry() = Registry{};
}

} // namespace ObjectModel
