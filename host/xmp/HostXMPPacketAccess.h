// The XMP packet of a document or story boss: an owned XMPPacketAccess that every call goes to.
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "objectmodel/InterfacePtr.h"
#include "xmp/IXMPPacketAccess.h"

#include <exempi/xmp.h>

class HostXMPPacketAccess final : public CPMUnknown<IXMPPacketAccess> {
public:
    explicit HostXMPPacketAccess(Boss* boss);

    bool16 GetNamespacePrefix(const WideString& ns, WideString* prefix) override;
    bool16 RegisterNamespace(const WideString& ns, const WideString& suggestedPrefix,
                             WideString* registeredPrefix) override;
    bool16 DoesPropertyExist(const WideString& ns, const WideString& path) override;
    bool16 GetProperty(const WideString& ns, const WideString& path, WideString* value,
                       uint32* options) override;
    bool16 SetProperty(const WideString& ns, const WideString& path, const WideString& value,
                       uint32 options) override;
    void DeleteProperty(const WideString& ns, const WideString& path) override;
    int32 CountArrayItems(const WideString& ns, const WideString& arrayPath) override;
    bool16 AppendArrayItem(const WideString& ns, const WideString& arrayPath, const WideString& value,
                           int32 arrayForm, uint32 itemOptions) override;
    bool16 ComposeArrayItemPath(const WideString& ns, const WideString& arrayPath, int32 index,
                                WideString* path) override;
    bool16 ComposeStructFieldPath(const WideString& ns, const WideString& structPath,
                                  const WideString& fieldNS, const WideString& fieldName,
                                  WideString* path) override;
    bool16 SetProperty_Date(const WideString& ns, const WideString& path, const XMPDateTime& value) override;
    bool16 GetProperty_Date(const WideString& ns, const WideString& path, XMPDateTime* value) override;
    bool16 GetNamespacePrefixUTF8(const char* ns, std::string* prefix) override;
    bool16 DoesPropertyExistUTF8(const char* ns, const char* path) override;
    bool16 GetPropertyUTF8(const char* ns, const char* path, std::string* value) override;
    bool16 SetPropertyUTF8(const char* ns, const char* path, const char* value) override;
    void DeletePropertyUTF8(const char* ns, const char* path) override;
    int32 CountArrayItemsUTF8(const char* ns, const char* arrayPath) override;
    bool16 AppendArrayItemUTF8(const char* ns, const char* arrayPath, const char* value, int32 arrayForm,
                               uint32 itemOptions) override;
    bool16 SetProperty_DateUTF8(const char* ns, const char* path, const XMPDateTime& value) override;
    bool16 GetProperty_DateUTF8(const char* ns, const char* path, XMPDateTime* value) override;
    bool16 ReadNamespaceTree(const char* ns, XMPTree* tree) override;
    std::string SerializePacket() const override;
    bool16 ParsePacket(const std::string& rdf) override;
    bool16 IsDirty() const override;
    void SetDirty(bool16 dirty) override;

    // The toolkit's tree behind a packet of this host (a document's or a bare one), or null.
    static XmpPtr TreeOf(IXMPPacketAccess* packet);
    // Text that parses back to the packet's tree, as cheaply as the packet gives it (for the
    // undo history's snapshots): XMPPacketAccess::SnapshotText when it is one of this host's,
    // else its serialization.
    static std::string SnapshotOf(IXMPPacketAccess* packet);

private:
    InterfacePtr<IXMPPacketAccess> fPacket;
};
