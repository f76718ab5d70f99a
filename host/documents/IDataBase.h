// A document's database: the persistent objects of one document, each a boss kept under a
// UID. The database owns its bosses and releases them when the document closes; an
// interface instantiated from it is referenced and may outlive the document, but then no
// longer belongs to any database.
#pragma once

#include "objectmodel/IPMUnknown.h"
#include "objectmodel/UIDRef.h"

class IDataBase {
public:
    virtual ~IDataBase() = default;

    // Creates a boss of the class and keeps it under a new UID; kInvalidUID when the class is unknown.
    virtual UID NewUID(ClassID classID) = 0;
    // Releases the object; its UID becomes invalid and is never given out again.
    virtual void DeleteUID(UID uid) = 0;
    virtual bool16 IsValidUID(UID uid) const = 0;
    // The class of the object, or kInvalidClass.
    virtual ClassID GetClass(UID uid) const = 0;
    // The object's interface, referenced, or null (unknown UID or no such interface).
    virtual IPMUnknown* Instantiate(UID uid, PMIID interfaceID) const = 0;
    // The document's own UID.
    virtual UID GetRootUID() const = 0;

    // The writes between the outermost begin and end form one unit: commands processed
    // inside undo as one step, and lazy observers hear of the changes once at the end.
    virtual void BeginTransaction() = 0;
    virtual void EndTransaction() = 0;
    virtual bool16 IsInTransaction() const = 0;
};

// Where an object lives: its database and UID, or null / kInvalidUID for an object that is
// not kept in a database (or whose document has closed).
IDataBase* GetDataBase(const IPMUnknown* object);
UID GetUID(const IPMUnknown* object);
UIDRef GetUIDRef(const IPMUnknown* object);

// InterfacePtr<IDocument> doc(Instantiate<IDocument>(ref));
template <class T> T* Instantiate(const UIDRef& ref, PMIID interfaceID = static_cast<PMIID>(T::kDefaultIID)) {
    if (!ref.GetDataBase() || ref.GetUID() == kInvalidUID) return nullptr;
    return static_cast<T*>(ref.GetDataBase()->Instantiate(ref.GetUID(), interfaceID));
}
template <class T>
T* Instantiate(IDataBase* db, UID uid, PMIID interfaceID = static_cast<PMIID>(T::kDefaultIID)) {
    return Instantiate<T>(UIDRef(db, uid), interfaceID);
}
