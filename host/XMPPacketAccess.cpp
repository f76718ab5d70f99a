#include "XMPPacketAccess.h"
#include "XmpText.h"

#include <climits>
#include <string_view>
#include <unordered_map>

namespace {

using xmptext::kRDFNamespace;
using xmptext::XmpText;

std::string ToUTF8(const WideString& w) {
    return w.GetUTF8String();
}

// The registered prefix of the namespace, without the colon; empty when unregistered.
std::string PrefixOf(const std::string& ns) {
    if (ns.empty()) return {};
    // The toolkit's registry is the process's and a registered prefix never changes, so a
    // prefix found once is kept; a namespace not registered yet is asked again next time.
    static std::unordered_map<std::string, std::string> known;
    if (auto it = known.find(ns); it != known.end()) return it->second;
    XmpText prefix;
    if (!prefix.get() || !xmp_namespace_prefix(ns.c_str(), prefix.get())) return {};
    std::string p = prefix.str();
    if (!p.empty() && p.back() == ':') p.pop_back();
    if (!p.empty()) known.emplace(ns, p);
    return p;
}

// A step name that can follow a prefix: no path syntax, no white space.
bool IsPlainName(std::string_view name) {
    if (name.empty()) return false;
    for (char c : name) {
        switch (c) {
        case '/':
        case '[':
        case ']':
        case ':':
        case '?':
        case '@':
        case '*':
        case '"':
        case '\'':
        case '=':
        case ' ':
        case '\t':
        case '\r':
        case '\n':
            return false;
        default:
            break;
        }
    }
    return true;
}

bool ValidDate(const XMPDateTime& d) {
    return d.month >= 0 && d.month <= 12 && d.day >= 0 && d.day <= 31 && d.hour >= 0 && d.hour <= 23 &&
           d.minute >= 0 && d.minute <= 59 && d.second >= 0 && d.second <= 59 && d.tzSign >= -1 &&
           d.tzSign <= 1 && d.tzHour >= 0 && d.tzHour <= 23 && d.tzMinute >= 0 && d.tzMinute <= 59 &&
           d.nanoSecond >= 0 && d.nanoSecond <= 999999999;
}

} // namespace

bool XMPPacketAccess::InitToolkit() {
    // Once per process, thread-safe; exempi is never terminated, since other threads or
    // static objects may still hold packets at exit.
    static const bool ok = xmp_init();
    return ok;
}

XMPPacketAccess::XMPPacketAccess() {
    if (InitToolkit()) fXmp = xmp_new_empty();
}

XMPPacketAccess::~XMPPacketAccess() {
    if (fXmp) xmp_free(fXmp);
}

bool16 XMPPacketAccess::GetNamespacePrefix(const WideString& ns, WideString* prefix) {
    std::string p = PrefixOf(ToUTF8(ns));
    if (prefix) *prefix = WideString(p);
    return p.empty() ? kFalse : kTrue;
}

bool16 XMPPacketAccess::RegisterNamespace(const WideString& ns, const WideString& suggestedPrefix,
                                          WideString* registeredPrefix) {
    if (registeredPrefix) *registeredPrefix = WideString();
    std::string uri = ToUTF8(ns);
    std::string suggested = ToUTF8(suggestedPrefix);
    if (!suggested.empty() && suggested.back() == ':') suggested.pop_back();
    if (uri.empty() || suggested.empty() || !InitToolkit()) return kFalse;
    // exempi answers false when it had to pick another prefix, though the namespace is then
    // registered: ask the registry what holds.
    XmpText ignored;
    xmp_register_namespace(uri.c_str(), suggested.c_str(), ignored.get());
    std::string actual = PrefixOf(uri);
    if (actual.empty()) return kFalse;
    if (registeredPrefix) *registeredPrefix = WideString(actual);
    return kTrue;
}

bool16 XMPPacketAccess::DoesPropertyExist(const WideString& ns, const WideString& path) {
    std::string uri = ToUTF8(ns), p = ToUTF8(path);
    if (!fXmp || uri.empty() || p.empty()) return kFalse;
    return xmp_has_property(fXmp, uri.c_str(), p.c_str()) ? kTrue : kFalse;
}

bool16 XMPPacketAccess::GetProperty(const WideString& ns, const WideString& path, WideString* value,
                                    uint32* options) {
    if (value) *value = WideString();
    if (options) *options = 0;
    std::string uri = ToUTF8(ns), p = ToUTF8(path);
    if (!fXmp || uri.empty() || p.empty()) return kFalse;
    XmpText text;
    uint32_t bits = 0;
    if (!text.get() || !xmp_get_property(fXmp, uri.c_str(), p.c_str(), text.get(), &bits)) return kFalse;
    if (value) *value = WideString(text.str());
    if (options) *options = bits;
    return kTrue;
}

bool16 XMPPacketAccess::SetProperty(const WideString& ns, const WideString& path, const WideString& value,
                                    uint32 options) {
    std::string uri = ToUTF8(ns), p = ToUTF8(path);
    if (!fXmp || uri.empty() || p.empty()) return kFalse;
    // exempi mishandles composite options here (and crashes on a null value for them).
    if (options & XMP_PROP_COMPOSITE_MASK) return kFalse;
    if (!xmp_set_property(fXmp, uri.c_str(), p.c_str(), ToUTF8(value).c_str(), options)) return kFalse;
    fDirty = true;
    return kTrue;
}

void XMPPacketAccess::DeleteProperty(const WideString& ns, const WideString& path) {
    std::string uri = ToUTF8(ns), p = ToUTF8(path);
    if (!fXmp || uri.empty() || p.empty()) return;
    if (!xmp_has_property(fXmp, uri.c_str(), p.c_str())) return;
    if (xmp_delete_property(fXmp, uri.c_str(), p.c_str())) fDirty = true;
}

int32 XMPPacketAccess::CountArrayItems(const WideString& ns, const WideString& arrayPath) {
    std::string uri = ToUTF8(ns), base = ToUTF8(arrayPath);
    if (!fXmp || uri.empty() || base.empty()) return 0;
    // Indexing something that is not an array makes exempi complain on standard error.
    XmpText ignored;
    uint32_t bits = 0;
    if (!xmp_get_property(fXmp, uri.c_str(), base.c_str(), ignored.get(), &bits) ||
        !(bits & XMP_PROP_VALUE_IS_ARRAY))
        return 0;
    auto has = [&](int32 n) {
        std::string item = base + '[' + std::to_string(n) + ']';
        return xmp_has_property(fXmp, uri.c_str(), item.c_str());
    };
    // The C API cannot count: find the last item by doubling, then halving.
    if (!has(1)) return 0;
    int32 present = 1;
    int32 absent = 2;
    while (has(absent)) {
        present = absent;
        if (absent > INT32_MAX / 2) return present;
        absent *= 2;
    }
    while (absent - present > 1) {
        int32 mid = present + (absent - present) / 2;
        if (has(mid))
            present = mid;
        else
            absent = mid;
    }
    return present;
}

bool16 XMPPacketAccess::AppendArrayItem(const WideString& ns, const WideString& arrayPath,
                                        const WideString& value, int32 arrayForm, uint32 itemOptions) {
    std::string uri = ToUTF8(ns), p = ToUTF8(arrayPath);
    if (!fXmp || uri.empty() || p.empty()) return kFalse;
    uint32_t arrayOptions = 0;
    switch (arrayForm) {
    case 0:
        break;
    case kArrayUnordered:
        arrayOptions = XMP_PROP_VALUE_IS_ARRAY;
        break;
    case kArrayOrdered:
        arrayOptions = XMP_PROP_VALUE_IS_ARRAY | XMP_PROP_ARRAY_IS_ORDERED;
        break;
    case kArrayAlternative:
        arrayOptions = XMP_PROP_VALUE_IS_ARRAY | XMP_PROP_ARRAY_IS_ORDERED | XMP_PROP_ARRAY_IS_ALT;
        break;
    default:
        return kFalse;
    }
    std::string text = ToUTF8(value);
    const char* itemValue = text.c_str();
    if (itemOptions & XMP_PROP_COMPOSITE_MASK) {
        // A composite item must be given no value at all: with one, the toolkit fails after
        // it has already created the array.
        if (!text.empty()) return kFalse;
        itemValue = nullptr;
    }
    if (!xmp_append_array_item(fXmp, uri.c_str(), p.c_str(), arrayOptions, itemValue, itemOptions))
        return kFalse;
    fDirty = true;
    return kTrue;
}

bool16 XMPPacketAccess::ComposeArrayItemPath(const WideString& ns, const WideString& arrayPath, int32 index,
                                             WideString* path) {
    if (!path) return kFalse;
    std::string p = ToUTF8(arrayPath);
    if (p.empty() || PrefixOf(ToUTF8(ns)).empty()) return kFalse;
    if (index == kLastItem)
        p += "[last()]";
    else if (index >= 1)
        p += '[' + std::to_string(index) + ']';
    else
        return kFalse;
    *path = WideString(p);
    return kTrue;
}

bool16 XMPPacketAccess::ComposeStructFieldPath(const WideString& ns, const WideString& structPath,
                                               const WideString& fieldNS, const WideString& fieldName,
                                               WideString* path) {
    if (!path) return kFalse;
    std::string p = ToUTF8(structPath), name = ToUTF8(fieldName);
    if (p.empty() || !IsPlainName(name) || PrefixOf(ToUTF8(ns)).empty()) return kFalse;
    std::string fieldPrefix = PrefixOf(ToUTF8(fieldNS));
    if (fieldPrefix.empty()) return kFalse;
    *path = WideString(p + '/' + fieldPrefix + ':' + name);
    return kTrue;
}

bool16 XMPPacketAccess::SetProperty_Date(const WideString& ns, const WideString& path,
                                         const XMPDateTime& value) {
    std::string uri = ToUTF8(ns), p = ToUTF8(path);
    if (!fXmp || uri.empty() || p.empty() || !ValidDate(value)) return kFalse;
    XmpDateTime d{};
    d.year = value.year;
    d.month = value.month;
    d.day = value.day;
    d.hour = value.hour;
    d.minute = value.minute;
    d.second = value.second;
    d.tzSign = value.tzSign;
    d.tzHour = value.tzHour;
    d.tzMinute = value.tzMinute;
    d.nanoSecond = value.nanoSecond;
    if (!xmp_set_property_date(fXmp, uri.c_str(), p.c_str(), &d, 0)) return kFalse;
    fDirty = true;
    return kTrue;
}

bool16 XMPPacketAccess::GetProperty_Date(const WideString& ns, const WideString& path, XMPDateTime* value) {
    if (!value) return kFalse;
    *value = XMPDateTime{};
    std::string uri = ToUTF8(ns), p = ToUTF8(path);
    if (!fXmp || uri.empty() || p.empty()) return kFalse;
    XmpDateTime d{};
    if (!xmp_get_property_date(fXmp, uri.c_str(), p.c_str(), &d, nullptr)) return kFalse;
    value->year = d.year;
    value->month = d.month;
    value->day = d.day;
    value->hour = d.hour;
    value->minute = d.minute;
    value->second = d.second;
    value->tzSign = d.tzSign;
    value->tzHour = d.tzHour;
    value->tzMinute = d.tzMinute;
    value->nanoSecond = d.nanoSecond;
    return kTrue;
}

std::string XMPPacketAccess::SerializePacket() const {
    if (!fXmp) return {};
    XmpText out;
    // Padding 0 asks for the toolkit's default, which lets a file handler update in place.
    if (!out.get() || !xmp_serialize(fXmp, out.get(), XMP_SERIAL_ENCODEUTF8, 0)) return {};
    return out.str();
}

bool16 XMPPacketAccess::ParsePacket(const std::string& rdf) {
    // The toolkit reads text without any RDF as an empty packet; that is not a packet.
    if (rdf.find(kRDFNamespace) == std::string::npos || !InitToolkit()) return kFalse;
    XmpPtr fresh = xmp_new_empty();
    if (!fresh) return kFalse;
    if (!xmp_parse(fresh, rdf.data(), rdf.size())) {
        xmp_free(fresh);
        return kFalse;
    }
    if (fXmp) xmp_free(fXmp);
    fXmp = fresh;
    fDirty = true;
    return kTrue;
}
