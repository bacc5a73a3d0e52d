// Loading a timeline document. Only what the parsed tree holds is read: members of the wrong
// type, short value arrays and unknown names are reported and skipped.
#include "timeline/timeline_io.h"

#include "core/log.h"
#include "timeline/easing.h"
#include "timeline/json.h"

#include <cstring>

namespace {

// The member's value when it exists and has the expected type.
const JsonValue* findTyped(const JsonObject& object, const char* key, JsonValueType type)
{
    const JsonValue* value = findValue(object, key);
    if (value && value->type != type) {
        ASSERT(false, "ASSERT: Value of key \"%s\" has the wrong type\n", key);
        return nullptr;
    }
    return value;
}

TrackType trackTypeFromName(const char* name, bool& known)
{
    for (uint32_t i = 0; i < trackTypeCount; ++i)
        if (std::strcmp(name, trackTypeNames[i]) == 0) {
            known = true;
            return TrackType(i);
        }
    known = false;
    return TrackType::INVALID;
}

void loadKey(Timeline& timeline, const char* trackName, TrackType type, const JsonValue& element)
{
    if (element.type != JsonValueType::object) {
        ASSERT(false, "ASSERT: Key of track \"%s\" is not an object\n", trackName);
        return;
    }
    const JsonObject& key = *element.object;
    const JsonValue* frame = findTyped(key, "frame", JsonValueType::number);
    const JsonValue* easingName = findTyped(key, "easing", JsonValueType::string);
    const JsonValue* value = findValue(key, "value");
    if (!frame || !easingName || !value)
        return;
    uint32_t easing = easingIndex({easingName->string.chars, size_t(easingName->string.length)});
    if (easing >= easingCount) {
        ASSERT(false, "ASSERT: Unknown easing \"%s\"\n", easingName->string.chars);
        return;
    }
    // Numbers are taken as the reader stored them: no conversion between integer and float.
    uint32_t frameNumber = frame->number.bits;
    switch (type) {
    case TrackType::FLOAT:
    case TrackType::UINT:
        if (value->type != JsonValueType::number) {
            ASSERT(false, "ASSERT: Value of key \"%s\" has the wrong type\n", "value");
            return;
        }
        if (type == TrackType::FLOAT) {
            float x = asFloat(value->number.bits);
            setKeyFloat(timeline, trackName, frameNumber, &x, easing);
        } else {
            setKeyUint(timeline, trackName, frameNumber, &value->number.bits, easing);
        }
        break;
    case TrackType::FLOAT3: {
        const JsonArray* array = value->type == JsonValueType::array ? value->array : nullptr;
        if (!array || array->count < 3 || array->kind == JsonArrayKind::values) {
            ASSERT(false, "ASSERT: FLOAT3 value of track \"%s\" needs three numbers\n", trackName);
            return;
        }
        uint32_t words[3];
        std::memcpy(words, array->kind == JsonArrayKind::floats ? static_cast<const void*>(array->floats.data)
                                                                : static_cast<const void*>(array->integers.data),
                    sizeof(words));
        Float3 xyz{asFloat(words[0]), asFloat(words[1]), asFloat(words[2])};
        setKeyFloat3(timeline, trackName, frameNumber, &xyz, easing);
        break;
    }
    case TrackType::INVALID:
        break; // an INVALID track keeps no keys
    }
}

void loadTrack(Timeline& timeline, const char* name, const JsonObject& description)
{
    const JsonValue* typeName = findTyped(description, "type", JsonValueType::string);
    if (!typeName)
        return;
    bool known = false;
    TrackType type = trackTypeFromName(typeName->string.chars, known);
    if (!known) {
        ASSERT(false, "ASSERT: Unknown track type \"%s\"\n", typeName->string.chars);
        return;
    }
    if (!addTrack(timeline, name, type))
        return;
    const JsonValue* frames = findTyped(description, "frames", JsonValueType::array);
    if (!frames)
        return;
    const JsonArray& keys = *frames->array;
    if (keys.kind != JsonArrayKind::values) {
        ASSERT(false, "ASSERT: Key of track \"%s\" is not an object\n", name);
        return;
    }
    for (const JsonValue& element : keys.values)
        loadKey(timeline, name, type, element);
}

void loadBookmarks(Timeline& timeline, const JsonArray& bookmarks)
{
    if (bookmarks.kind == JsonArrayKind::integers) {
        for (int32_t frame : bookmarks.integers)
            timeline.bookmarks.push(uint32_t(frame));
    } else if (bookmarks.count > 0) {
        ASSERT(false, "ASSERT: Bookmarks are not a list of integers\n");
    }
}

} // namespace

bool loadTimeline(Timeline& timeline, const char* text, uint64_t length)
{
    JsonValue root;
    if (!parseJson(root, text, length, 0))
        return false;
    if (root.type != JsonValueType::object) {
        ASSERT(false, "ASSERT: Timeline document is not an object\n");
        releaseJson(root);
        return false;
    }

    clearTimeline(timeline);
    for (const JsonMember& member : root.object->members) {
        const char* key = member.key.string.chars;
        if (member.value.type == JsonValueType::object)
            loadTrack(timeline, key, *member.value.object);
        else if (member.value.type == JsonValueType::array && std::strcmp(key, "__bookmarks__") == 0)
            loadBookmarks(timeline, *member.value.array);
    }
    // Nothing keeps pointers into the tree.
    releaseJson(root);
    return true;
}
