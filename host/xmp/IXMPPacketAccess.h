// The XMP packet of a document or a story, in the XMP data model: simple properties,
// structs and arrays (1-based items), addressed by a schema namespace and composed paths.
// Every path argument is composed by this interface, never written by hand.
#pragma once

#include "base/WideString.h"
#include "objectmodel/IPMUnknown.h"
#include "xmp/XMPDateTime.h"
#include "xmp/XMPTree.h"

#include <string>

class IXMPPacketAccess : public IPMUnknown {
public:
    enum { kDefaultIID = IID_IXMPPACKETACCESS };
    // Array forms of AppendArrayItem.
    enum ArrayForm : int32 { kArrayUnordered = 1, kArrayOrdered = 2, kArrayAlternative = 3 };
    // Item option: the appended item is a struct.
    static constexpr uint32 kItemIsStruct = 0x100;
    // ComposeArrayItemPath index for the last item.
    static constexpr int32 kLastItem = -1;

    // True when the namespace is registered; its prefix (without ":").
    virtual bool16 GetNamespacePrefix(const WideString& ns, WideString* prefix) = 0;
    // Registers the namespace (again is harmless); the prefix actually registered.
    virtual bool16 RegisterNamespace(const WideString& ns, const WideString& suggestedPrefix,
                                     WideString* registeredPrefix) = 0;
    virtual bool16 DoesPropertyExist(const WideString& ns, const WideString& path) = 0;
    // False, and an empty value, when the property is missing.
    virtual bool16 GetProperty(const WideString& ns, const WideString& path, WideString* value,
                               uint32* options = nullptr) = 0;
    // Creates or replaces a simple value.
    virtual bool16 SetProperty(const WideString& ns, const WideString& path, const WideString& value,
                               uint32 options = 0) = 0;
    // Removes the property and everything under it; nothing happens when it is missing.
    virtual void DeleteProperty(const WideString& ns, const WideString& path) = 0;
    // Items of the array; 0 when it is missing.
    virtual int32 CountArrayItems(const WideString& ns, const WideString& arrayPath) = 0;
    // Appends an item at the end (a struct with kItemIsStruct), creating the array when missing.
    virtual bool16 AppendArrayItem(const WideString& ns, const WideString& arrayPath, const WideString& value,
                                   int32 arrayForm, uint32 itemOptions) = 0;
    // The path of item index (1-based; kLastItem for the last).
    virtual bool16 ComposeArrayItemPath(const WideString& ns, const WideString& arrayPath, int32 index,
                                        WideString* path) = 0;
    virtual bool16 ComposeStructFieldPath(const WideString& ns, const WideString& structPath,
                                          const WideString& fieldNS, const WideString& fieldName,
                                          WideString* path) = 0;
    virtual bool16 SetProperty_Date(const WideString& ns, const WideString& path,
                                    const XMPDateTime& value) = 0;
    virtual bool16 GetProperty_Date(const WideString& ns, const WideString& path, XMPDateTime* value) = 0;

    // The same calls in UTF-8, for callers that compose their own paths (by the convention
    // described in XMPPacketAccess.h) and keep their texts in UTF-8: no conversion per call.
    // Named apart from the calls above, since a literal converts to WideString and to a
    // string alike. The defaults go through the UTF-16 calls.
    virtual bool16 GetNamespacePrefixUTF8(const char* ns, std::string* prefix) {
        WideString p;
        const bool16 ok = GetNamespacePrefix(WideString(ns), &p);
        if (prefix) *prefix = p.GetUTF8String();
        return ok;
    }
    virtual bool16 DoesPropertyExistUTF8(const char* ns, const char* path) {
        return DoesPropertyExist(WideString(ns), WideString(path));
    }
    virtual bool16 GetPropertyUTF8(const char* ns, const char* path, std::string* value) {
        WideString v;
        const bool16 ok = GetProperty(WideString(ns), WideString(path), &v);
        if (value) *value = v.GetUTF8String();
        return ok;
    }
    virtual bool16 SetPropertyUTF8(const char* ns, const char* path, const char* value) {
        return SetProperty(WideString(ns), WideString(path), WideString(value), 0);
    }
    virtual void DeletePropertyUTF8(const char* ns, const char* path) {
        DeleteProperty(WideString(ns), WideString(path));
    }
    virtual int32 CountArrayItemsUTF8(const char* ns, const char* arrayPath) {
        return CountArrayItems(WideString(ns), WideString(arrayPath));
    }
    virtual bool16 AppendArrayItemUTF8(const char* ns, const char* arrayPath, const char* value,
                                       int32 arrayForm, uint32 itemOptions) {
        return AppendArrayItem(WideString(ns), WideString(arrayPath), WideString(value), arrayForm,
                               itemOptions);
    }
    virtual bool16 SetProperty_DateUTF8(const char* ns, const char* path, const XMPDateTime& value) {
        return SetProperty_Date(WideString(ns), WideString(path), value);
    }
    virtual bool16 GetProperty_DateUTF8(const char* ns, const char* path, XMPDateTime* value) {
        return GetProperty_Date(WideString(ns), WideString(path), value);
    }
    // Every property of the namespace at once (XMPTree.h). False, with the tree empty, when
    // the packet cannot be given so; the caller then reads through the calls above.
    virtual bool16 ReadNamespaceTree(const char* ns, XMPTree* tree) {
        if (tree) tree->Clear();
        return kFalse;
    }

    // The host's own use: the whole packet as RDF/XML (for saving, undo and display), and
    // replacing it from such text. False when the text is not an XMP packet.
    virtual std::string SerializePacket() const = 0;
    virtual bool16 ParsePacket(const std::string& rdf) = 0;
    // Whether the packet changed since it was read or last marked clean.
    virtual bool16 IsDirty() const = 0;
    virtual void SetDirty(bool16 dirty) = 0;
};
