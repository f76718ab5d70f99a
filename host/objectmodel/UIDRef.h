// References to objects kept in a document's database.
#pragma once

#include "base/PMTypes.h"

class IDataBase;

using UID = uint32;
constexpr UID kInvalidUID = 0;

// A database and a UID in it. Holds no reference: the database owns the object.
class UIDRef {
public:
    UIDRef() = default;
    UIDRef(IDataBase* db, UID uid) : fDataBase(db), fUID(uid) {}

    IDataBase* GetDataBase() const { return fDataBase; }
    UID GetUID() const { return fUID; }
    // Whether the database is there and still holds the UID.
    bool16 ExistsInDB() const;

    friend bool operator==(const UIDRef&, const UIDRef&) = default;

    static const UIDRef gNull;

private:
    IDataBase* fDataBase = nullptr;
    UID fUID = kInvalidUID;
};
