// InterfacePtr: holds one reference to an interface and releases it when it goes.
#pragma once

#include "objectmodel/IPMUnknown.h"

#include <utility>

struct UseDefaultIID {};

template <class T> class InterfacePtr {
public:
    InterfacePtr() = default;
    // Adopts a reference that the caller already holds.
    explicit InterfacePtr(T* adopted) : fPtr(adopted) {}
    InterfacePtr(const IPMUnknown* object, PMIID interfaceID)
        : fPtr(object ? static_cast<T*>(object->QueryInterface(interfaceID)) : nullptr) {}
    InterfacePtr(const IPMUnknown* object, UseDefaultIID)
        : InterfacePtr(object, static_cast<PMIID>(T::kDefaultIID)) {}
    InterfacePtr(const InterfacePtr&) = delete;
    InterfacePtr& operator=(const InterfacePtr&) = delete;
    InterfacePtr(InterfacePtr&& other) noexcept : fPtr(std::exchange(other.fPtr, nullptr)) {}
    InterfacePtr& operator=(InterfacePtr&& other) noexcept {
        if (this != &other) reset(std::exchange(other.fPtr, nullptr));
        return *this;
    }
    ~InterfacePtr() { reset(); }

    T* get() const { return fPtr; }
    T* operator->() const { return fPtr; }
    T& operator*() const { return *fPtr; }
    operator T*() const { return fPtr; }
    explicit operator bool() const { return fPtr != nullptr; }
    // Gives up the reference without releasing it.
    T* forget() { return std::exchange(fPtr, nullptr); }
    void reset(T* p = nullptr) {
        if (fPtr) fPtr->Release();
        fPtr = p;
    }

private:
    T* fPtr = nullptr;
};
