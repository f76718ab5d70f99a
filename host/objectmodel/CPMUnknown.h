// Bosses and their implementations.
//
// A boss is one object made of several implementations, each reached by its
// interface ID. The implementations share the boss's reference count; the boss
// destroys them all when the last reference goes.
#pragma once

#include "objectmodel/IPMUnknown.h"

#include <atomic>
#include <memory>
#include <utility>
#include <vector>

class Boss {
public:
    explicit Boss(ClassID classID) : fClass(classID) {}
    Boss(const Boss&) = delete;
    Boss& operator=(const Boss&) = delete;

    ClassID GetClass() const { return fClass; }
    // The implementation of the interface, referenced, or null.
    IPMUnknown* Query(PMIID interfaceID) const;
    void AddRef() const { ++fRefCount; }
    void Release() const;
    int32 RefCount() const { return fRefCount; }
    void Add(PMIID interfaceID, IPMUnknown* implementation);

private:
    ~Boss();
    ClassID fClass;
    mutable std::atomic<int32> fRefCount{0};
    std::vector<std::pair<PMIID, IPMUnknown*>> fImplementations;
};

// Base of every implementation that lives in a boss.
template <class I> class CPMUnknown : public I {
public:
    explicit CPMUnknown(Boss* boss) : fBoss(boss) {}
    IPMUnknown* QueryInterface(PMIID interfaceID) const override { return fBoss->Query(interfaceID); }
    void AddRef() const override { fBoss->AddRef(); }
    void Release() const override { fBoss->Release(); }
    ClassID GetClassOfObject() const override { return fBoss->GetClass(); }
    Boss* GetBoss() const { return fBoss; }
    ClassID GetClass() const { return fBoss->GetClass(); }

private:
    Boss* fBoss;
};

// Base of a host object that is a single implementation with its own count (streams).
template <class I> class CStandaloneUnknown : public I {
public:
    IPMUnknown* QueryInterface(PMIID interfaceID) const override {
        if (interfaceID != static_cast<PMIID>(I::kDefaultIID) && interfaceID != IID_IUNKNOWN) return nullptr;
        AddRef();
        return const_cast<CStandaloneUnknown*>(this);
    }
    void AddRef() const override { ++fRefCount; }
    void Release() const override {
        if (--fRefCount == 0) delete this;
    }

private:
    mutable std::atomic<int32> fRefCount{1};
};

// The class of the object behind an interface, or kInvalidClass.
ClassID GetClass(const IPMUnknown* object);
