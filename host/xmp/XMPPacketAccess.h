// The XMP packet of a document or story, held in memory by exempi's XMP core.
//
// Paths follow the XMP toolkit's composed-path convention: the first step is the bare
// property name, qualified by the namespace passed with it ("Packages"); every later step
// carries the prefix registered for its namespace ("Packages[1]/dunmoreBRN:Fields[2]/
// dunmoreBRN:Name"). ComposeArrayItemPath and ComposeStructFieldPath only append to the
// path they are given, so a first step that already has its prefix works as well. The
// UTF-8 calls take paths their caller composed by this convention.
//
// The namespace registry is the toolkit's and is shared by the whole process: a namespace
// registered (or met while parsing a packet) by one packet is known to all of them.
//
// Failures of the toolkit never escape: the call returns false (or 0, or an empty text).
#pragma once

#include "objectmodel/CPMUnknown.h"
#include "xmp/IXMPPacketAccess.h"
#include "xmp/XmpText.h"

#include <exempi/xmp.h>

#include <map>
#include <memory>
#include <string>

class XMPPacketAccess final : public CStandaloneUnknown<IXMPPacketAccess> {
public:
    // An empty packet, clean.
    XMPPacketAccess();
    ~XMPPacketAccess() override;
    XMPPacketAccess(const XMPPacketAccess&) = delete;
    XMPPacketAccess& operator=(const XMPPacketAccess&) = delete;

    bool16 GetNamespacePrefix(const WideString& ns, WideString* prefix) override;
    // True whenever the namespace ends up registered, even under another prefix than the
    // suggested one (the suggested prefix may belong to another namespace already).
    bool16 RegisterNamespace(const WideString& ns, const WideString& suggestedPrefix,
                             WideString* registeredPrefix) override;
    bool16 DoesPropertyExist(const WideString& ns, const WideString& path) override;
    bool16 GetProperty(const WideString& ns, const WideString& path, WideString* value,
                       uint32* options = nullptr) override;
    // Simple values only: options that ask for a struct or an array give false.
    bool16 SetProperty(const WideString& ns, const WideString& path, const WideString& value,
                       uint32 options = 0) override;
    void DeleteProperty(const WideString& ns, const WideString& path) override;
    int32 CountArrayItems(const WideString& ns, const WideString& arrayPath) override;
    // arrayForm: kArrayUnordered (rdf:Bag), kArrayOrdered (rdf:Seq), kArrayAlternative
    // (rdf:Alt), or 0 to append only to an array that exists. A struct item takes no value.
    bool16 AppendArrayItem(const WideString& ns, const WideString& arrayPath, const WideString& value,
                           int32 arrayForm, uint32 itemOptions) override;
    // False for an unregistered namespace, an empty path, or an index that is neither >= 1
    // nor kLastItem.
    bool16 ComposeArrayItemPath(const WideString& ns, const WideString& arrayPath, int32 index,
                                WideString* path) override;
    // False when either namespace is not registered or the field name is not a plain name.
    bool16 ComposeStructFieldPath(const WideString& ns, const WideString& structPath,
                                  const WideString& fieldNS, const WideString& fieldName,
                                  WideString* path) override;
    // Out-of-range members (month 13, minute 60, a time-zone sign other than -1/0/+1…) give
    // false. Month and day 0 stand for a date given to the year or month only. A date-time
    // whose time is 00:00:00 is stored as a date alone, and a zero time-zone sign as a time
    // without zone: both read back as the same members.
    bool16 SetProperty_Date(const WideString& ns, const WideString& path, const XMPDateTime& value) override;
    // False, and a zeroed value, when the property is missing or is not a date.
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
    // Built from the text of the last parse while nothing changed since and the text allows
    // it, else from the packet serialized without wrapper or formatting.
    bool16 ReadNamespaceTree(const char* ns, XMPTree* tree) override;

    // UTF-8 RDF/XML inside the packet wrapper, with the toolkit's default padding.
    std::string SerializePacket() const override;
    // Replaces the whole tree; on false the tree is unchanged. A successful parse counts
    // as a change (an undo restores a packet this way), so a host that loads a packet from
    // its file marks it clean afterwards.
    bool16 ParsePacket(const std::string& rdf) override;
    // Set by every call that changes the tree; a delete of a missing property changes nothing.
    bool16 IsDirty() const override { return fDirty; }
    void SetDirty(bool16 dirty) override { fDirty = dirty != 0; }

    // Initialises exempi once for the process; true when it is usable.
    static bool InitToolkit();
    // The packet as RDF/XML without wrapper or formatting: the least text that parses back to
    // the same tree, kept until the next change (the namespace trees are built from it).
    // Empty when the toolkit fails to serialize.
    std::string CompactText() const;
    // Text that parses back to the packet's tree, made as cheaply as the packet allows: the text
    // of the last parse while nothing changed since, else CompactText.
    std::string SnapshotText() const { return !fParsed.empty() ? fParsed : CompactText(); }
    // The toolkit's tree, for a writer that serializes it into a file (never to be changed
    // behind the packet's back, which would leave its kept serializations stale).
    XmpPtr Tree() const { return fXmp; }

private:
    bool Usable(const char* ns, const char* path) const { return fXmp && ns && *ns && path && *path; }
    bool Get(const char* ns, const char* path, std::string* value, uint32* options);
    bool Set(const char* ns, const char* path, const char* value, uint32 options);
    // Every change of the tree: dirty, and the parsed text no longer describes it.
    void Changed();

    XmpPtr fXmp = nullptr;
    bool fDirty = false;
    // Receives the values read, so that a read allocates no exempi string.
    xmptext::XmpText fScratch;
    // The text of the last parse while the tree is unchanged since, else empty.
    std::string fParsed;
    // The tree's serializations (packet, and compact for ReadNamespaceTree) made since the
    // last change: a document is serialized many times between two changes (the plug-in's
    // checks, the save), and the text is a function of the tree.
    mutable std::string fSerialized, fCompact;
    mutable bool fHasSerialized = false, fHasCompact = false;
    // The namespace trees built since the last change, by namespace: the plug-in reads its
    // namespace whole several times between two changes (open, checks, the set, the save).
    std::map<std::string, std::unique_ptr<XMPTree>, std::less<>> fTrees;
};
