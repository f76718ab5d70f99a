#include "xmp/HostXMPPacketAccess.h"

#include "xmp/XMPPacketAccess.h"

HostXMPPacketAccess::HostXMPPacketAccess(Boss* boss)
    : CPMUnknown<IXMPPacketAccess>(boss), fPacket(new XMPPacketAccess) {}

XmpPtr HostXMPPacketAccess::TreeOf(IXMPPacketAccess* packet) {
    if (auto* host = dynamic_cast<HostXMPPacketAccess*>(packet)) packet = host->fPacket.get();
    auto* own = dynamic_cast<XMPPacketAccess*>(packet);
    return own ? own->Tree() : nullptr;
}

std::string HostXMPPacketAccess::SnapshotOf(IXMPPacketAccess* packet) {
    if (!packet) return {};
    IXMPPacketAccess* inner = packet;
    if (auto* host = dynamic_cast<HostXMPPacketAccess*>(packet)) inner = host->fPacket.get();
    if (auto* own = dynamic_cast<XMPPacketAccess*>(inner)) return own->SnapshotText();
    return packet->SerializePacket();
}

bool16 HostXMPPacketAccess::GetNamespacePrefix(const WideString& ns, WideString* prefix) {
    return fPacket->GetNamespacePrefix(ns, prefix);
}

bool16 HostXMPPacketAccess::RegisterNamespace(const WideString& ns, const WideString& suggestedPrefix,
                                              WideString* registeredPrefix) {
    return fPacket->RegisterNamespace(ns, suggestedPrefix, registeredPrefix);
}

bool16 HostXMPPacketAccess::DoesPropertyExist(const WideString& ns, const WideString& path) {
    return fPacket->DoesPropertyExist(ns, path);
}

bool16 HostXMPPacketAccess::GetProperty(const WideString& ns, const WideString& path, WideString* value,
                                        uint32* options) {
    return fPacket->GetProperty(ns, path, value, options);
}

bool16 HostXMPPacketAccess::SetProperty(const WideString& ns, const WideString& path, const WideString& value,
                                        uint32 options) {
    return fPacket->SetProperty(ns, path, value, options);
}

void HostXMPPacketAccess::DeleteProperty(const WideString& ns, const WideString& path) {
    fPacket->DeleteProperty(ns, path);
}

int32 HostXMPPacketAccess::CountArrayItems(const WideString& ns, const WideString& arrayPath) {
    return fPacket->CountArrayItems(ns, arrayPath);
}

bool16 HostXMPPacketAccess::AppendArrayItem(const WideString& ns, const WideString& arrayPath,
                                            const WideString& value, int32 arrayForm, uint32 itemOptions) {
    return fPacket->AppendArrayItem(ns, arrayPath, value, arrayForm, itemOptions);
}

bool16 HostXMPPacketAccess::ComposeArrayItemPath(const WideString& ns, const WideString& arrayPath,
                                                 int32 index, WideString* path) {
    return fPacket->ComposeArrayItemPath(ns, arrayPath, index, path);
}

bool16 HostXMPPacketAccess::ComposeStructFieldPath(const WideString& ns, const WideString& structPath,
                                                   const WideString& fieldNS, const WideString& fieldName,
                                                   WideString* path) {
    return fPacket->ComposeStructFieldPath(ns, structPath, fieldNS, fieldName, path);
}

bool16 HostXMPPacketAccess::SetProperty_Date(const WideString& ns, const WideString& path,
                                             const XMPDateTime& value) {
    return fPacket->SetProperty_Date(ns, path, value);
}

bool16 HostXMPPacketAccess::GetProperty_Date(const WideString& ns, const WideString& path,
                                             XMPDateTime* value) {
    return fPacket->GetProperty_Date(ns, path, value);
}

bool16 HostXMPPacketAccess::GetNamespacePrefixUTF8(const char* ns, std::string* prefix) {
    return fPacket->GetNamespacePrefixUTF8(ns, prefix);
}

bool16 HostXMPPacketAccess::DoesPropertyExistUTF8(const char* ns, const char* path) {
    return fPacket->DoesPropertyExistUTF8(ns, path);
}

bool16 HostXMPPacketAccess::GetPropertyUTF8(const char* ns, const char* path, std::string* value) {
    return fPacket->GetPropertyUTF8(ns, path, value);
}

bool16 HostXMPPacketAccess::SetPropertyUTF8(const char* ns, const char* path, const char* value) {
    return fPacket->SetPropertyUTF8(ns, path, value);
}

void HostXMPPacketAccess::DeletePropertyUTF8(const char* ns, const char* path) {
    fPacket->DeletePropertyUTF8(ns, path);
}

int32 HostXMPPacketAccess::CountArrayItemsUTF8(const char* ns, const char* arrayPath) {
    return fPacket->CountArrayItemsUTF8(ns, arrayPath);
}

bool16 HostXMPPacketAccess::AppendArrayItemUTF8(const char* ns, const char* arrayPath, const char* value,
                                                int32 arrayForm, uint32 itemOptions) {
    return fPacket->AppendArrayItemUTF8(ns, arrayPath, value, arrayForm, itemOptions);
}

bool16 HostXMPPacketAccess::SetProperty_DateUTF8(const char* ns, const char* path, const XMPDateTime& value) {
    return fPacket->SetProperty_DateUTF8(ns, path, value);
}

bool16 HostXMPPacketAccess::GetProperty_DateUTF8(const char* ns, const char* path, XMPDateTime* value) {
    return fPacket->GetProperty_DateUTF8(ns, path, value);
}

bool16 HostXMPPacketAccess::ReadNamespaceTree(const char* ns, XMPTree* tree) {
    return fPacket->ReadNamespaceTree(ns, tree);
}

std::string HostXMPPacketAccess::SerializePacket() const {
    return fPacket->SerializePacket();
}

bool16 HostXMPPacketAccess::ParsePacket(const std::string& rdf) {
    return fPacket->ParsePacket(rdf);
}

bool16 HostXMPPacketAccess::IsDirty() const {
    return fPacket->IsDirty();
}

void HostXMPPacketAccess::SetDirty(bool16 dirty) {
    fPacket->SetDirty(dirty);
}
