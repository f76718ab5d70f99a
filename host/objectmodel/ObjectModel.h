// The class registry: implementations by ID, classes as lists of
// (interface, implementation) pairs, add-ins that plug-ins put on host classes.
#pragma once

#include "objectmodel/CPMUnknown.h"

#include <functional>
#include <vector>

using ImplementationFactory = std::function<IPMUnknown*(Boss*)>;

template <class Impl> ImplementationFactory MakeFactory() {
    return [](Boss* boss) -> IPMUnknown* { return new Impl(boss); };
}

struct InterfaceBinding {
    PMIID interfaceID;
    ImplementationID implementationID;
};

namespace ObjectModel {
void RegisterImplementation(ImplementationID id, ImplementationFactory factory);
void RegisterClass(ClassID classID, std::vector<InterfaceBinding> bindings);
void AddIn(ClassID classID, InterfaceBinding binding);
bool IsRegistered(ClassID classID);
// A new boss of the class, referenced once through the returned interface; null
// when the class is unknown or does not carry the interface.
IPMUnknown* CreateObject(ClassID classID, PMIID interfaceID);
// The same, but the caller supplies a step that runs once the boss exists and
// before its implementations are made (the session uses this to be reachable
// while its add-ins initialise).
IPMUnknown* CreateObject(ClassID classID, PMIID interfaceID, const std::function<void(Boss*)>& onBoss);
// Forgets everything (between tests).
void Reset();
} // namespace ObjectModel

inline IPMUnknown* CreateObject(ClassID classID, PMIID interfaceID) {
    return ObjectModel::CreateObject(classID, interfaceID);
}

template <class T> T* CreateObject2(ClassID classID, PMIID interfaceID = T::kDefaultIID) {
    return static_cast<T*>(ObjectModel::CreateObject(classID, interfaceID));
}
