// The timeline as text: the JSON document and the header that compiles it back in. Writes
// no file; its callers do.
#include "timeline/timeline_io.h"

#include "core/format.h"
#include "timeline/easing.h"

#include <cstdio>

namespace {

// Fixed pieces write their double quotes as \" in the escaped form.
struct Writer {
    std::string& text;
    bool escaped;

    void piece(const char* fixed)
    {
        for (const char* c = fixed; *c; ++c) {
            if (*c == '"' && escaped)
                text += '\\';
            text += *c;
        }
    }

    // Track names are written as they are; in the escaped form the characters that would end
    // or break the literal are escaped, so the header defines the document's characters.
    void name(const char* name)
    {
        for (const char* c = name; *c; ++c) {
            unsigned char byte = static_cast<unsigned char>(*c);
            if (!escaped) {
                text += *c;
            } else if (byte == '\\' || byte == '"') {
                text += '\\';
                text += *c;
            } else if (byte < 0x20 || byte == 0x7f) {
                char octal[5];
                std::snprintf(octal, sizeof(octal), "\\%03o", byte);
                text += octal;
            } else {
                text += *c;
            }
        }
    }
};

} // namespace

std::string serializeTimeline(const Timeline& timeline, bool escaped)
{
    std::string text;
    Writer out{text, escaped};
    out.piece("{");
    out.piece("\"__bookmarks__\": [");
    for (uint64_t i = 0; i < timeline.bookmarks.count; ++i) {
        if (i > 0)
            out.piece(",");
        text += formatUint(timeline.bookmarks[i]);
    }
    out.piece("],");

    for (uint32_t t = 0; t < timeline.tracks.count; ++t) {
        const Track& track = *timeline.tracks[t];
        out.piece("\"");
        out.name(track.name);
        out.piece("\":{");
        out.piece("\"type\":");
        uint32_t type = uint32_t(track.type) < trackTypeCount ? uint32_t(track.type) : uint32_t(TrackType::INVALID);
        out.piece("\"");
        out.piece(trackTypeNames[type]);
        out.piece("\"");
        out.piece(",");
        out.piece("\"frames\":[");
        bool first = true;
        for (uint32_t frame = 0; frame < track.keys.count; ++frame) {
            const Keyframe* key = track.keys[frame];
            if (!key)
                continue;
            out.piece(first ? "{" : ",{");
            first = false;
            out.piece("\"frame\":");
            text += formatUint(frame);
            out.piece(",");
            out.piece("\"easing\":\"");
            out.piece(easingNames[key->easing]);
            out.piece("\",");
            out.piece("\"value\":");
            // Written by the track's type, whatever type the key itself carries.
            switch (TrackType(type)) {
            case TrackType::FLOAT:
                text += formatFloat(asFloat(key->value.x));
                break;
            case TrackType::UINT:
                text += formatUint(key->value.x);
                break;
            case TrackType::FLOAT3:
                text += "[" + formatFloat(asFloat(key->value.x)) + "," + formatFloat(asFloat(key->value.y)) + "," +
                        formatFloat(asFloat(key->value.z)) + "]";
                break;
            case TrackType::INVALID:
                break;
            }
            out.piece("}");
        }
        out.piece("]");
        out.piece(t + 1 < timeline.tracks.count ? "}," : "}");
    }
    out.piece("}");
    return text;
}

std::string timelineHeaderText(const Timeline& timeline)
{
    return "#pragma once\nconst char TIMELINE_JSON_DATA[] = \"" + serializeTimeline(timeline, true) + "\";\n";
}
