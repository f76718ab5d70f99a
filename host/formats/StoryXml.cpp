#include "formats/StoryXml.h"

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace StoryXml {

namespace {

constexpr std::string_view kNoName = "$ID/";

struct Walk {
    XML_Parser parser = nullptr;
    std::vector<std::string> names; // the open elements
    bool badEncoding = false;

    Story* story = nullptr;
    size_t storyDepth = 0; // depth of the story element (root = 1) once found
    bool found = false, done = false;
    size_t storyStartEnd = 0; // end of the story's start tag
    size_t afterProperties = 0, afterPreference = 0;

    // The story's MetadataPacketPreference/Properties/Contents.
    enum { kNone, kPacket, kPacketProperties, kContents, kPacketDone } packet = kNone;
    size_t contentsBegin = 0, contentsEnd = 0;
    int cdataSections = 0;
    bool inCdata = false;
    std::string cdataText;
    size_t cdataBegin = 0, cdataEnd = 0;
    int otherChildren = 0; // elements inside Contents (not a packet then)

    size_t Index() const { return static_cast<size_t>(XML_GetCurrentByteIndex(parser)); }
    size_t Count() const { return static_cast<size_t>(XML_GetCurrentByteCount(parser)); }
};

const char* Attribute(const XML_Char** attributes, const char* name) {
    for (size_t i = 0; attributes[i]; i += 2)
        if (std::strcmp(attributes[i], name) == 0) return attributes[i + 1];
    return nullptr;
}

void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto* w = static_cast<Walk*>(data);
    w->names.emplace_back(name);
    const size_t depth = w->names.size();
    if (w->done) return;
    if (!w->found) {
        const bool underRoot = depth == 2;
        const bool underWrappedDocument = depth == 4 && w->names[2] == "Document";
        if (std::strcmp(name, "Story") == 0 && (underRoot || underWrappedDocument)) {
            w->found = true;
            w->storyDepth = depth;
            w->storyStartEnd = w->Index() + w->Count();
            if (const char* self = Attribute(attributes, "Self")) w->story->self = self;
            if (const char* title = Attribute(attributes, "StoryTitle")) {
                std::string t = title;
                if (t.rfind(kNoName, 0) == 0) t.erase(0, kNoName.size());
                w->story->title = t;
            }
        }
        return;
    }
    if (depth == w->storyDepth + 1) {
        if (std::strcmp(name, "MetadataPacketPreference") == 0 && w->packet == Walk::kNone)
            w->packet = Walk::kPacket;
        else if (std::strcmp(name, "Link") == 0)
            if (const char* uri = Attribute(attributes, "LinkResourceURI")) w->story->links.emplace_back(uri);
    } else if (depth == w->storyDepth + 2 && w->packet == Walk::kPacket &&
               std::strcmp(name, "Properties") == 0) {
        w->packet = Walk::kPacketProperties;
    } else if (depth == w->storyDepth + 3 && w->packet == Walk::kPacketProperties &&
               std::strcmp(name, "Contents") == 0) {
        w->packet = Walk::kContents;
        w->contentsBegin = w->Index() + w->Count();
    } else if (w->packet == Walk::kContents) {
        ++w->otherChildren;
    }
}

void XMLCALL OnEnd(void* data, const XML_Char* name) {
    auto* w = static_cast<Walk*>(data);
    const size_t depth = w->names.size();
    w->names.pop_back();
    if (w->done || !w->found) return;
    // An empty element's end comes with no bytes of its own: it ends with its start tag.
    const size_t end = w->Count() == 0 ? w->Index() : w->Index() + w->Count();
    if (depth == w->storyDepth) {
        w->done = true;
        return;
    }
    if (depth == w->storyDepth + 1) {
        if (std::strcmp(name, "StoryPreference") == 0 && !w->afterPreference) w->afterPreference = end;
        if (std::strcmp(name, "Properties") == 0 && !w->afterProperties) w->afterProperties = end;
        if (w->packet == Walk::kPacket || w->packet == Walk::kPacketProperties) w->packet = Walk::kPacketDone;
    } else if (depth == w->storyDepth + 3 && w->packet == Walk::kContents &&
               std::strcmp(name, "Contents") == 0) {
        w->contentsEnd = w->Count() == 0 ? w->contentsBegin : w->Index();
        w->packet = Walk::kPacketDone;
        w->story->hasPacket = w->otherChildren == 0;
    }
}

void XMLCALL OnText(void* data, const XML_Char* s, int len) {
    auto* w = static_cast<Walk*>(data);
    if (w->done || w->packet != Walk::kContents) return;
    w->story->packet.append(s, static_cast<size_t>(len));
    if (w->inCdata) w->cdataText.append(s, static_cast<size_t>(len));
}

void XMLCALL OnCdataStart(void* data) {
    auto* w = static_cast<Walk*>(data);
    if (w->done || w->packet != Walk::kContents) return;
    w->inCdata = true;
    if (++w->cdataSections == 1) w->cdataBegin = w->Index();
}

void XMLCALL OnCdataEnd(void* data) {
    auto* w = static_cast<Walk*>(data);
    if (w->done || w->packet != Walk::kContents) return;
    w->inCdata = false;
    if (w->cdataSections == 1) w->cdataEnd = w->Index() + w->Count();
}

void XMLCALL OnDeclaration(void* data, const XML_Char*, const XML_Char* encoding, int) {
    auto* w = static_cast<Walk*>(data);
    if (!encoding) return;
    std::string e = encoding;
    std::transform(e.begin(), e.end(), e.begin(), [](unsigned char c) { return std::tolower(c); });
    if (e != "utf-8" && e != "utf8") w->badEncoding = true;
}

bool Fail(std::string* error, const std::string& why) {
    if (error) *error = why;
    return false;
}

// Packet text as CDATA; "]]>" inside it is split over two sections.
std::string AsCdata(const std::string& packet) {
    std::string out = "<![CDATA[";
    size_t from = 0;
    for (size_t at; (at = packet.find("]]>", from)) != std::string::npos; from = at + 2)
        out += packet.substr(from, at + 2 - from) + "]]><![CDATA[";
    out += packet.substr(from) + "]]>";
    return out;
}

} // namespace

bool Find(const std::string& xml, Story* story, std::string* error) {
    *story = Story();
    if (xml.size() >= 2 && ((xml[0] == '\xFF' && xml[1] == '\xFE') || (xml[0] == '\xFE' && xml[1] == '\xFF')))
        return Fail(error, "the XML is not UTF-8");
    XML_Parser parser = XML_ParserCreate(nullptr);
    if (!parser) return Fail(error, "no XML parser");
    Walk w;
    w.parser = parser;
    w.story = story;
    XML_SetUserData(parser, &w);
    XML_SetElementHandler(parser, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser, OnText);
    XML_SetCdataSectionHandler(parser, OnCdataStart, OnCdataEnd);
    XML_SetXmlDeclHandler(parser, OnDeclaration);
    // One call: expat rescans an unfinished token at every chunk.
    const bool ok = XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK;
    std::string why;
    if (!ok)
        why = std::string("not well-formed XML (line ") + std::to_string(XML_GetCurrentLineNumber(parser)) +
              ": " + XML_ErrorString(XML_GetErrorCode(parser)) + ")";
    XML_ParserFree(parser);
    if (!ok) return Fail(error, why);
    if (w.badEncoding) return Fail(error, "the XML is not UTF-8");
    if (!w.found) return Fail(error, "no story");
    if (story->hasPacket) {
        if (w.cdataSections == 1) {
            // The white space around the one section is layout, not packet.
            story->packet = std::move(w.cdataText);
            story->begin = w.cdataBegin;
            story->end = w.cdataEnd;
        } else {
            story->begin = w.contentsBegin;
            story->end = w.contentsEnd;
        }
    } else {
        story->packet.clear();
        const size_t at = w.afterPreference   ? w.afterPreference
                          : w.afterProperties ? w.afterProperties
                                              : w.storyStartEnd;
        story->begin = story->end = at;
        // The indent of the story's children: that of the line after the story's start tag.
        const size_t nl = xml.find('\n', w.storyStartEnd);
        if (nl != std::string::npos) {
            size_t e = nl + 1;
            while (e < xml.size() && (xml[e] == ' ' || xml[e] == '\t'))
                ++e;
            if (e < xml.size() && xml[e] == '<') story->indent = xml.substr(nl, e - nl);
        }
    }
    return true;
}

std::string WithPacket(const std::string& xml, const Story& story, const std::string& packet) {
    std::string out;
    out.reserve(xml.size() + packet.size() + 200);
    out.append(xml, 0, story.begin);
    if (story.hasPacket) {
        out += AsCdata(packet);
    } else {
        // As the format writes it: one element per line, each level one tab deeper.
        const std::string& i = story.indent;
        const std::string tab = i.empty() ? "" : "\t";
        out += i + "<MetadataPacketPreference>" + i + tab + "<Properties>" + i + tab + tab + "<Contents>" +
               AsCdata(packet) + "</Contents>" + i + tab + "</Properties>" + i +
               "</MetadataPacketPreference>";
    }
    out.append(xml, story.end, std::string::npos);
    return out;
}

} // namespace StoryXml
