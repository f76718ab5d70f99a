#include "formats/IdmlPackage.h"

#include "formats/FileReplace.h"
#include "formats/StoryXml.h"
#include "xmp/XMPToolkitName.h"

#include <expat.h>
#include <zip.h>

#include <cstring>
#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <unistd.h>

namespace fs = std::filesystem;

namespace IdmlPackage {

namespace {

constexpr const char* kMimeType = "application/vnd.adobe.indesign-idml-package";
constexpr const char* kMetadataEntry = "META-INF/metadata.xml";
constexpr const char* kDesignMap = "designmap.xml";
constexpr const char* kNoName = "$ID/";

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

struct Archive {
    zip_t* z = nullptr;
    ~Archive() {
        if (z) zip_discard(z);
    }
};

bool OpenReadOnly(const fs::path& file, Archive* a, std::string* error) {
    int code = 0;
    a->z = zip_open(file.c_str(), ZIP_RDONLY, &code);
    if (!a->z) return Fail(error, "not a zip package");
    return true;
}

// The entry's bytes; refused when it claims more than kMaxEntrySize.
bool ReadEntry(zip_t* z, zip_int64_t index, std::string* bytes, std::string* error) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(z, static_cast<zip_uint64_t>(index), 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        return Fail(error, "an entry cannot be read");
    const std::string name = st.name ? st.name : "";
    if (st.size > kMaxEntrySize) return Fail(error, "the entry " + name + " is too large");
    zip_file_t* f = zip_fopen_index(z, static_cast<zip_uint64_t>(index), 0);
    if (!f) return Fail(error, "the entry " + name + " cannot be read");
    bytes->assign(static_cast<size_t>(st.size), '\0');
    const zip_int64_t got = st.size ? zip_fread(f, bytes->data(), st.size) : 0;
    zip_fclose(f);
    if (got != static_cast<zip_int64_t>(st.size)) return Fail(error, "the entry " + name + " is damaged");
    return true;
}

bool ReadNamed(zip_t* z, const std::string& name, std::string* bytes, bool* present, std::string* error) {
    const zip_int64_t i = zip_name_locate(z, name.c_str(), 0);
    if (present) *present = i >= 0;
    if (i < 0) return present ? true : Fail(error, "no entry " + name);
    return ReadEntry(z, i, bytes, error);
}

bool IsPackage(zip_t* z) {
    std::string mime;
    bool present = false;
    if (!ReadNamed(z, "mimetype", &mime, &present, nullptr) || !present) return false;
    while (!mime.empty() && (mime.back() == '\n' || mime.back() == '\r' || mime.back() == ' '))
        mime.pop_back();
    return mime == kMimeType;
}

// Walks the elements of an XML text.
using ElementFn = std::function<void(size_t depth, const char* name, const char** attributes)>;
struct XmlWalk {
    ElementFn fn;
    size_t depth = 0;
};

void XMLCALL WalkStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* w = static_cast<XmlWalk*>(data);
    w->fn(++w->depth, name, attributes);
}

void XMLCALL WalkEnd(void* data, const XML_Char*) {
    --static_cast<XmlWalk*>(data)->depth;
}

bool WalkElements(const std::string& xml, const ElementFn& fn, std::string* error, const std::string& entry) {
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) return Fail(error, "no XML parser");
    XmlWalk w{fn, 0};
    XML_SetUserData(parser, &w);
    XML_SetElementHandler(parser, WalkStart, WalkEnd);
    const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return ok || Fail(error, "the entry " + entry + " is not well-formed XML");
}

std::string Attribute(const char** attributes, const char* name) {
    for (size_t i = 0; attributes[i]; i += 2)
        if (std::strcmp(attributes[i], name) == 0) return attributes[i + 1];
    return {};
}

std::string WithoutNoName(std::string s) {
    if (s.rfind(kNoName, 0) == 0) s.erase(0, std::strlen(kNoName));
    return s;
}

// Serves one entry's new bytes to libzip when it writes the archive, so that only one changed
// entry is held at a time.
struct LazyEntry {
    std::function<bool(std::string*)> make;
    std::string bytes;
    zip_uint64_t offset = 0;
    zip_error_t error{};
};

zip_int64_t LazySource(void* state, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
    auto* e = static_cast<LazyEntry*>(state);
    switch (cmd) {
    case ZIP_SOURCE_OPEN:
        if (!e->make(&e->bytes)) {
            zip_error_set(&e->error, ZIP_ER_READ, 0);
            return -1;
        }
        e->offset = 0;
        return 0;
    case ZIP_SOURCE_READ: {
        const zip_uint64_t n = std::min<zip_uint64_t>(len, e->bytes.size() - e->offset);
        std::memcpy(data, e->bytes.data() + e->offset, n);
        e->offset += n;
        return static_cast<zip_int64_t>(n);
    }
    case ZIP_SOURCE_CLOSE:
        e->bytes.clear();
        e->bytes.shrink_to_fit();
        return 0;
    case ZIP_SOURCE_STAT: {
        auto* st = static_cast<zip_stat_t*>(data);
        zip_stat_init(st);
        st->mtime = std::time(nullptr);
        st->valid |= ZIP_STAT_MTIME;
        return sizeof(*st);
    }
    case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&e->error, data, len);
    case ZIP_SOURCE_FREE:
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
        zip_error_set(&e->error, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
}

// Removes a temporary file unless it was put in place.
struct TempFile {
    fs::path path;
    ~TempFile() {
        if (!path.empty()) ::unlink(path.c_str());
    }
};

} // namespace

bool IsPackage(const fs::path& file) {
    // Only a file that starts as a zip is opened as one.
    if (!StartsAsZip(file)) return false;
    Archive a;
    return OpenReadOnly(file, &a, nullptr) && IsPackage(a.z);
}

bool ReadPacket(const fs::path& file, bool* hasPacket, std::string* packet, std::string* error) {
    Archive a;
    if (!OpenReadOnly(file, &a, error)) return false;
    if (!IsPackage(a.z)) return Fail(error, "not a layout package");
    packet->clear();
    return ReadNamed(a.z, kMetadataEntry, packet, hasPacket, error);
}

bool Read(const fs::path& file, Contents* c, std::string* error) {
    *c = Contents();
    Archive a;
    if (!OpenReadOnly(file, &a, error)) return false;
    if (!IsPackage(a.z)) return Fail(error, "not a layout package");
    if (!ReadNamed(a.z, kMetadataEntry, &c->packet, &c->hasPacket, error)) return false;

    std::string map;
    if (!ReadNamed(a.z, kDesignMap, &map, nullptr, error)) return false;
    std::vector<std::string> storyEntries, spreadEntries;
    Assignment* current = nullptr;
    auto onDesignMap = [&](size_t depth, const char* name, const char** attributes) {
        if (depth == 2 && std::strcmp(name, "idPkg:Story") == 0)
            storyEntries.push_back(Attribute(attributes, "src"));
        if (depth == 2 && std::strcmp(name, "idPkg:Spread") == 0)
            spreadEntries.push_back(Attribute(attributes, "src"));
        if (depth == 2) current = nullptr;
        if (depth == 2 && std::strcmp(name, "Assignment") == 0) {
            c->assignments.push_back({Attribute(attributes, "Self"),
                                      WithoutNoName(Attribute(attributes, "Name")),
                                      WithoutNoName(Attribute(attributes, "UserName")),
                                      WithoutNoName(Attribute(attributes, "FilePath")),
                                      {}});
            current = &c->assignments.back();
        }
        if (depth == 3 && current && std::strcmp(name, "AssignedStory") == 0)
            current->stories.push_back({Attribute(attributes, "Self"),
                                        Attribute(attributes, "StoryReference"),
                                        WithoutNoName(Attribute(attributes, "FilePath"))});
    };
    if (!WalkElements(map, onDesignMap, error, kDesignMap)) return false;
    map.clear();
    map.shrink_to_fit();

    for (const std::string& entry : storyEntries) {
        std::string bytes, why;
        if (!ReadNamed(a.z, entry, &bytes, nullptr, error)) return false;
        StoryXml::Story s;
        if (!StoryXml::Find(bytes, &s, &why)) return Fail(error, "the story entry " + entry + ": " + why);
        c->stories.push_back({s.self, s.title, entry, s.hasPacket, std::move(s.packet), std::move(s.links)});
    }
    for (const std::string& entry : spreadEntries) {
        std::string bytes;
        if (!ReadNamed(a.z, entry, &bytes, nullptr, error)) return false;
        auto onSpread = [&](size_t, const char* name, const char** attributes) {
            if (std::strcmp(name, "TextFrame") == 0)
                c->frames.push_back({Attribute(attributes, "Self"), Attribute(attributes, "ParentStory")});
        };
        if (!WalkElements(bytes, onSpread, error, entry)) return false;
    }
    return true;
}

bool Write(const fs::path& file, const Changes& changes, std::string* error) {
    FileReplace::BeforeWriting(file);
    Archive src;
    if (!OpenReadOnly(file, &src, error)) return false;
    if (!IsPackage(src.z)) return Fail(error, "not a layout package");
    const zip_int64_t count = zip_get_num_entries(src.z, 0);
    if (count < 0) return Fail(error, "the package cannot be read");

    // Each changed story is checked before anything is written: a story entry that does not
    // read refuses the whole write.
    // The name of the program that wrote each packet stays the one the entry had.
    std::map<std::string, std::string> packets;
    for (const auto& [entry, packet] : changes.stories) {
        std::string bytes, why;
        StoryXml::Story s;
        if (!ReadNamed(src.z, entry, &bytes, nullptr, error)) return false;
        if (!StoryXml::Find(bytes, &s, &why)) return Fail(error, "the story entry " + entry + ": " + why);
        std::string kept = packet;
        XMPToolkitName::Keep(&kept, s.hasPacket ? s.packet : std::string(), false);
        packets[entry] = std::move(kept);
    }
    std::string metadata = changes.packet;
    if (changes.documentPacket) {
        std::string old;
        bool had = false;
        if (!ReadNamed(src.z, kMetadataEntry, &old, &had, error)) return false;
        XMPToolkitName::Keep(&metadata, had ? old : std::string(), false);
    }

    TempFile temp;
    if (!FileReplace::MakeTemp(file, &temp.path)) return Fail(error, "cannot make a temporary file");
    int code = 0;
    zip_t* dst = zip_open(temp.path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    if (!dst) return Fail(error, "cannot write a temporary package");
    std::vector<std::unique_ptr<LazyEntry>> lazy;
    bool ok = true;
    std::vector<std::string> order;

    auto copy = [&](zip_int64_t i) {
        zip_stat_t st;
        zip_stat_init(&st);
        const char* name = zip_get_name(src.z, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_RAW);
        if (!name || zip_stat_index(src.z, static_cast<zip_uint64_t>(i), 0, &st) != 0) return false;
        const std::string n = name;
        zip_source_t* s = nullptr;
        zip_int32_t method = st.comp_method;
        const bool isMetadata = n == kMetadataEntry && changes.documentPacket;
        const auto story = packets.find(n);
        if (isMetadata) {
            s = zip_source_buffer(dst, metadata.data(), metadata.size(), 0);
            method = ZIP_CM_DEFLATE;
        } else if (story != packets.end()) {
            auto e = std::make_unique<LazyEntry>();
            const std::string packet = story->second;
            e->make = [&src, n, packet](std::string* out) {
                std::string bytes;
                StoryXml::Story s;
                if (!ReadNamed(src.z, n, &bytes, nullptr, nullptr) || !StoryXml::Find(bytes, &s))
                    return false;
                *out = StoryXml::WithPacket(bytes, s, packet);
                return true;
            };
            zip_error_init(&e->error);
            s = zip_source_function(dst, LazySource, e.get());
            lazy.push_back(std::move(e));
            method = ZIP_CM_DEFLATE;
        } else if (n == "mimetype" && method != ZIP_CM_STORE) {
            // The format wants it stored: its text is read and stored.
            s = zip_source_zip(dst, src.z, static_cast<zip_uint64_t>(i), 0, 0, -1);
            method = ZIP_CM_STORE;
        } else {
            s = zip_source_zip(dst, src.z, static_cast<zip_uint64_t>(i), ZIP_FL_COMPRESSED, 0, -1);
        }
        if (!s) return false;
        const zip_int64_t at = zip_file_add(dst, name, s, ZIP_FL_ENC_GUESS);
        if (at < 0) {
            zip_source_free(s);
            return false;
        }
        order.push_back(n);
        zip_uint8_t system = 0;
        zip_uint32_t attributes = 0;
        if (zip_file_get_external_attributes(src.z, static_cast<zip_uint64_t>(i), 0, &system, &attributes) ==
            0)
            zip_file_set_external_attributes(dst, static_cast<zip_uint64_t>(at), 0, system, attributes);
        if (!isMetadata && story == packets.end() && (st.valid & ZIP_STAT_MTIME))
            zip_file_set_mtime(dst, static_cast<zip_uint64_t>(at), st.mtime, 0);
        return zip_set_file_compression(dst, static_cast<zip_uint64_t>(at), method, 0) == 0;
    };

    const zip_int64_t mime = zip_name_locate(src.z, "mimetype", 0);
    if (mime >= 0) ok = copy(mime);
    for (zip_int64_t i = 0; ok && i < count; ++i)
        if (i != mime) ok = copy(i);
    if (ok && changes.documentPacket && zip_name_locate(src.z, kMetadataEntry, 0) < 0) {
        zip_source_t* s = zip_source_buffer(dst, metadata.data(), metadata.size(), 0);
        const zip_int64_t at = s ? zip_file_add(dst, kMetadataEntry, s, ZIP_FL_ENC_UTF_8) : -1;
        if (at < 0 && s) zip_source_free(s);
        ok = at >= 0 && zip_set_file_compression(dst, static_cast<zip_uint64_t>(at), ZIP_CM_DEFLATE, 0) == 0;
        order.push_back(kMetadataEntry);
    }
    if (!ok || zip_close(dst) != 0) {
        const std::string why = zip_strerror(dst);
        zip_discard(dst);
        return Fail(error, "cannot write the package: " + why);
    }

    // Read back: every entry in its place, and the changed ones carry what was meant.
    {
        Archive back;
        int backCode = 0;
        back.z = zip_open(temp.path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &backCode);
        if (!back.z || zip_get_num_entries(back.z, 0) != static_cast<zip_int64_t>(order.size()))
            return Fail(error, "the written package does not read back");
        for (size_t i = 0; i < order.size(); ++i) {
            const char* name = zip_get_name(back.z, i, ZIP_FL_ENC_RAW);
            if (!name || order[i] != name) return Fail(error, "the written package does not read back");
        }
        if (changes.documentPacket) {
            std::string bytes;
            if (!ReadNamed(back.z, kMetadataEntry, &bytes, nullptr, error) || bytes != metadata)
                return Fail(error, "the written package does not read back");
        }
        for (const auto& [entry, packet] : packets) {
            std::string bytes;
            StoryXml::Story s;
            if (!ReadNamed(back.z, entry, &bytes, nullptr, error) || !StoryXml::Find(bytes, &s) ||
                !s.hasPacket || s.packet != packet)
                return Fail(error, "the story entry " + entry + " does not read back");
        }
    }
    std::string why;
    const fs::path written = std::move(temp.path);
    temp.path.clear();
    if (!FileReplace::Commit(written, file, &why))
        return Fail(error, why.empty() ? "cannot replace the file" : why);
    return true;
}

} // namespace IdmlPackage
