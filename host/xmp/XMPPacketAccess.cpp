#include "xmp/XMPPacketAccess.h"

#include "xmp/XMPPacketLimits.h"
#include "xmp/XmpText.h"

#include <climits>
#include <cstdio>
#include <mutex>
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
    // Packets may be read on several threads at once.
    static std::mutex lock;
    static std::unordered_map<std::string, std::string> known;
    {
        std::lock_guard<std::mutex> hold(lock);
        if (auto it = known.find(ns); it != known.end()) return it->second;
    }
    XmpText prefix;
    if (!prefix.get() || !xmp_namespace_prefix(ns.c_str(), prefix.get())) return {};
    std::string p = prefix.str();
    if (!p.empty() && p.back() == ':') p.pop_back();
    if (!p.empty()) {
        std::lock_guard<std::mutex> hold(lock);
        known.emplace(ns, p);
    }
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

int DaysInMonth(int32 year, int32 month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    return month == 2 && leap ? 29 : days[month - 1];
}

// The text the toolkit writes for a valid date-time with a time of day and no fraction:
// "YYYY-MM-DDThh:mm", then ":ss" unless the seconds are 0, then the zone unless its sign
// is 0. False for the forms left to the toolkit (a date alone, fractions, years outside
// 1..9999, days it would roll over into the next month).
bool FormatDate(const XMPDateTime& d, char (&text)[32]) {
    if (d.year < 1 || d.year > 9999 || d.month < 1 || d.day < 1 || d.day > DaysInMonth(d.year, d.month) ||
        d.nanoSecond != 0 || (d.hour == 0 && d.minute == 0 && d.second == 0 && d.tzSign == 0) ||
        (d.tzSign == 0 && (d.tzHour != 0 || d.tzMinute != 0)))
        return false;
    int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d", d.year, d.month, d.day, d.hour,
                          d.minute);
    if (d.second != 0) n += std::snprintf(text + n, sizeof text - static_cast<size_t>(n), ":%02d", d.second);
    if (d.tzSign != 0)
        std::snprintf(text + n, sizeof text - static_cast<size_t>(n), "%c%02d:%02d", d.tzSign > 0 ? '+' : '-',
                      d.tzHour, d.tzMinute);
    return true;
}

} // namespace

void XMPPacketAccess::Changed() {
    fDirty = true;
    std::string().swap(fParsed);
    fHasSerialized = fHasCompact = false;
    std::string().swap(fSerialized);
    std::string().swap(fCompact);
    fTrees.clear();
}

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
    std::string p;
    const bool16 ok = GetNamespacePrefixUTF8(ToUTF8(ns).c_str(), &p);
    if (prefix) *prefix = WideString(p);
    return ok;
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
    return DoesPropertyExistUTF8(ToUTF8(ns).c_str(), ToUTF8(path).c_str());
}

bool16 XMPPacketAccess::GetProperty(const WideString& ns, const WideString& path, WideString* value,
                                    uint32* options) {
    if (value) *value = WideString();
    if (options) *options = 0;
    std::string text;
    uint32 bits = 0;
    if (!Get(ToUTF8(ns).c_str(), ToUTF8(path).c_str(), &text, &bits)) return kFalse;
    if (value) *value = WideString(text);
    if (options) *options = bits;
    return kTrue;
}

bool16 XMPPacketAccess::SetProperty(const WideString& ns, const WideString& path, const WideString& value,
                                    uint32 options) {
    // exempi mishandles composite options here (and crashes on a null value for them).
    if (options & XMP_PROP_COMPOSITE_MASK) return kFalse;
    return Set(ToUTF8(ns).c_str(), ToUTF8(path).c_str(), ToUTF8(value).c_str(), options);
}

void XMPPacketAccess::DeleteProperty(const WideString& ns, const WideString& path) {
    DeletePropertyUTF8(ToUTF8(ns).c_str(), ToUTF8(path).c_str());
}

int32 XMPPacketAccess::CountArrayItems(const WideString& ns, const WideString& arrayPath) {
    return CountArrayItemsUTF8(ToUTF8(ns).c_str(), ToUTF8(arrayPath).c_str());
}

bool16 XMPPacketAccess::AppendArrayItem(const WideString& ns, const WideString& arrayPath,
                                        const WideString& value, int32 arrayForm, uint32 itemOptions) {
    return AppendArrayItemUTF8(ToUTF8(ns).c_str(), ToUTF8(arrayPath).c_str(), ToUTF8(value).c_str(),
                               arrayForm, itemOptions);
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
    const std::string uri = ToUTF8(ns), fieldURI = ToUTF8(fieldNS);
    if (p.empty() || !IsPlainName(name) || PrefixOf(uri).empty()) return kFalse;
    std::string fieldPrefix = fieldURI == uri ? PrefixOf(uri) : PrefixOf(fieldURI);
    if (fieldPrefix.empty()) return kFalse;
    *path = WideString(p + '/' + fieldPrefix + ':' + name);
    return kTrue;
}

bool16 XMPPacketAccess::SetProperty_Date(const WideString& ns, const WideString& path,
                                         const XMPDateTime& value) {
    return SetProperty_DateUTF8(ToUTF8(ns).c_str(), ToUTF8(path).c_str(), value);
}

bool16 XMPPacketAccess::GetProperty_Date(const WideString& ns, const WideString& path, XMPDateTime* value) {
    return GetProperty_DateUTF8(ToUTF8(ns).c_str(), ToUTF8(path).c_str(), value);
}

bool16 XMPPacketAccess::GetNamespacePrefixUTF8(const char* ns, std::string* prefix) {
    std::string p = ns ? PrefixOf(ns) : std::string();
    const bool16 ok = p.empty() ? kFalse : kTrue;
    if (prefix) *prefix = std::move(p);
    return ok;
}

bool16 XMPPacketAccess::DoesPropertyExistUTF8(const char* ns, const char* path) {
    if (!Usable(ns, path)) return kFalse;
    return xmp_has_property(fXmp, ns, path) ? kTrue : kFalse;
}

bool XMPPacketAccess::Get(const char* ns, const char* path, std::string* value, uint32* options) {
    if (!Usable(ns, path)) return false;
    if (!fScratch.get()) return false;
    uint32_t bits = 0;
    if (!xmp_get_property(fXmp, ns, path, fScratch.get(), &bits)) return false;
    const char* s = xmp_string_cstr(fScratch.get());
    if (value) value->assign(s ? s : "", s ? xmp_string_len(fScratch.get()) : 0);
    if (options) *options = bits;
    return true;
}

bool16 XMPPacketAccess::GetPropertyUTF8(const char* ns, const char* path, std::string* value) {
    if (value) value->clear();
    return Get(ns, path, value, nullptr) ? kTrue : kFalse;
}

bool XMPPacketAccess::Set(const char* ns, const char* path, const char* value, uint32 options) {
    if (!Usable(ns, path)) return false;
    if (!xmp_set_property(fXmp, ns, path, value ? value : "", options)) return false;
    Changed();
    return true;
}

bool16 XMPPacketAccess::SetPropertyUTF8(const char* ns, const char* path, const char* value) {
    return Set(ns, path, value, 0) ? kTrue : kFalse;
}

void XMPPacketAccess::DeletePropertyUTF8(const char* ns, const char* path) {
    if (!Usable(ns, path)) return;
    if (!xmp_has_property(fXmp, ns, path)) return;
    if (xmp_delete_property(fXmp, ns, path)) Changed();
}

int32 XMPPacketAccess::CountArrayItemsUTF8(const char* ns, const char* arrayPath) {
    if (!Usable(ns, arrayPath)) return 0;
    // Indexing something that is not an array makes exempi complain on standard error.
    uint32_t bits = 0;
    if (!fScratch.get() || !xmp_get_property(fXmp, ns, arrayPath, fScratch.get(), &bits) ||
        !(bits & XMP_PROP_VALUE_IS_ARRAY))
        return 0;
    std::string item = arrayPath;
    const size_t base = item.size();
    auto has = [&](int32 n) {
        item.resize(base);
        item += '[';
        item += std::to_string(n);
        item += ']';
        return xmp_has_property(fXmp, ns, item.c_str());
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

bool16 XMPPacketAccess::AppendArrayItemUTF8(const char* ns, const char* arrayPath, const char* value,
                                            int32 arrayForm, uint32 itemOptions) {
    if (!Usable(ns, arrayPath)) return kFalse;
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
    const char* itemValue = value ? value : "";
    if (itemOptions & XMP_PROP_COMPOSITE_MASK) {
        // A composite item must be given no value at all: with one, the toolkit fails after
        // it has already created the array.
        if (*itemValue) return kFalse;
        itemValue = nullptr;
    }
    if (!xmp_append_array_item(fXmp, ns, arrayPath, arrayOptions, itemValue, itemOptions)) return kFalse;
    Changed();
    return kTrue;
}

bool16 XMPPacketAccess::SetProperty_DateUTF8(const char* ns, const char* path, const XMPDateTime& value) {
    if (!Usable(ns, path) || !ValidDate(value)) return kFalse;
    // The toolkit's date call costs about twice a plain set: the common forms are written
    // here as the same text.
    char text[32];
    if (FormatDate(value, text)) return Set(ns, path, text, 0) ? kTrue : kFalse;
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
    if (!xmp_set_property_date(fXmp, ns, path, &d, 0)) return kFalse;
    Changed();
    return kTrue;
}

bool16 XMPPacketAccess::GetProperty_DateUTF8(const char* ns, const char* path, XMPDateTime* value) {
    if (!value) return kFalse;
    *value = XMPDateTime{};
    if (!Usable(ns, path)) return kFalse;
    XmpDateTime d{};
    if (!xmp_get_property_date(fXmp, ns, path, &d, nullptr)) return kFalse;
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

bool16 XMPPacketAccess::ReadNamespaceTree(const char* ns, XMPTree* tree) {
    if (!tree) return kFalse;
    tree->Clear();
    if (!fXmp || !ns || !*ns) return kFalse;
    if (const auto kept = fTrees.find(std::string_view(ns)); kept != fTrees.end() && tree->CopyFrom(*kept->second))
        return kTrue;
    bool built = !fParsed.empty() && tree->Build(fParsed, ns, XMPTree::kStoredText);
    if (!built) {
        if (CompactText().empty()) return kFalse;
        built = tree->Build(fCompact, ns);
    }
    if (!built) return kFalse;
    auto keep = std::make_unique<XMPTree>();
    if (keep->CopyFrom(*tree)) fTrees[ns] = std::move(keep);
    return kTrue;
}

std::string XMPPacketAccess::CompactText() const {
    if (!fXmp) return {};
    if (!fHasCompact) {
        XmpText out;
        // Without wrapper and formatting: the least text to write and to read back.
        if (!out.get() ||
            !xmp_serialize(fXmp, out.get(), XMP_SERIAL_OMITPACKETWRAPPER | XMP_SERIAL_OMITALLFORMATTING, 0))
            return {};
        fCompact = out.str();
        fHasCompact = true;
    }
    return fCompact;
}

std::string XMPPacketAccess::SerializePacket() const {
    if (!fXmp) return {};
    if (fHasSerialized) return fSerialized;
    XmpText out;
    // Padding 0 asks for the toolkit's default, which lets a file handler update in place.
    if (!out.get() || !xmp_serialize(fXmp, out.get(), XMP_SERIAL_ENCODEUTF8, 0)) return {};
    fSerialized = out.str();
    fHasSerialized = true;
    return fSerialized;
}

bool16 XMPPacketAccess::ParsePacket(const std::string& rdf) {
    // The toolkit reads text without any RDF as an empty packet; that is not a packet.
    if (rdf.find(kRDFNamespace) == std::string::npos || !InitToolkit()) return kFalse;
    if (!XMPPacketLimits::Check(rdf)) return kFalse;
    XmpPtr fresh = xmp_new_empty();
    if (!fresh) return kFalse;
    if (!xmp_parse(fresh, rdf.data(), rdf.size())) {
        xmp_free(fresh);
        return kFalse;
    }
    if (fXmp) xmp_free(fXmp);
    fXmp = fresh;
    Changed();
    // Kept while the tree stays as parsed: a reader of a whole namespace may then read it
    // instead of a new serialization. Only text in the toolkit's layout is worth keeping.
    const std::string_view head = std::string_view(rdf).substr(0, 1024);
    if (head.find("<x:xmpmeta") != std::string_view::npos) fParsed = rdf;
    return kTrue;
}
