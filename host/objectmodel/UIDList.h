// An ordered list of UIDs that all live in one database.
#pragma once

#include "objectmodel/UIDRef.h"

#include <algorithm>
#include <vector>

class UIDList {
public:
    UIDList() = default;
    explicit UIDList(IDataBase* db) : fDataBase(db) {}
    UIDList(IDataBase* db, UID uid) : fDataBase(db) { fUIDs.push_back(uid); }
    explicit UIDList(const UIDRef& ref) : UIDList(ref.GetDataBase(), ref.GetUID()) {}

    IDataBase* GetDataBase() const { return fDataBase; }
    int32 Length() const { return static_cast<int32>(fUIDs.size()); }
    bool IsEmpty() const { return fUIDs.empty(); }
    UID At(int32 i) const { return fUIDs.at(static_cast<size_t>(i)); }
    UID operator[](int32 i) const { return At(i); }
    UIDRef GetRef(int32 i) const { return UIDRef(fDataBase, At(i)); }

    void Append(UID uid) { fUIDs.push_back(uid); }
    // A reference from another database is not taken; an empty list takes the reference's database.
    bool Append(const UIDRef& ref) {
        if (!fDataBase && fUIDs.empty()) fDataBase = ref.GetDataBase();
        if (ref.GetDataBase() != fDataBase) return false;
        fUIDs.push_back(ref.GetUID());
        return true;
    }
    // The index of the first occurrence, or -1.
    int32 Location(UID uid) const {
        auto it = std::find(fUIDs.begin(), fUIDs.end(), uid);
        return it == fUIDs.end() ? -1 : static_cast<int32>(it - fUIDs.begin());
    }
    bool Contains(UID uid) const { return Location(uid) >= 0; }
    void Remove(int32 i) { fUIDs.erase(fUIDs.begin() + i); }
    void Clear() { fUIDs.clear(); }

    std::vector<UID>::const_iterator begin() const { return fUIDs.begin(); }
    std::vector<UID>::const_iterator end() const { return fUIDs.end(); }

    friend bool operator==(const UIDList&, const UIDList&) = default;

private:
    IDataBase* fDataBase = nullptr;
    std::vector<UID> fUIDs;
};
