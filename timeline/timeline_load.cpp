// Loading a timeline document. Only what the parsed tree holds is read: members of the wrong
// type, short value arrays and unknown names are reported and skipped; a checked load
// (timeline/timeline_check.cpp) refuses first what this would skip.
#include "timeline/timeline_io.h"

#include "core/log.h"
#include "timeline/easing.h"
#include "timeline/json.h"
#include "timeline/timeline_check.h"

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

// A number in either form as a float: an integer is converted (1 -> 1.0), never taken as bits.
float numberAsFloat(const JsonNumber& number)
{
    return number.kind == JsonNumberKind::FloatNumber ? asFloat(number.bits) : float(int32_t(number.bits));
}

// A number in either form as an unsigned integer. An integer keeps its 32 bits; a fraction is
// truncated toward zero within 0 .. 2^32 - 1, reported when that changes it (2.7 -> 2).
uint32_t numberAsUint(const JsonNumber& number, const char* what, const char* trackName)
{
    if (number.kind == JsonNumberKind::IntegerNumber)
        return number.bits;
    float value = asFloat(number.bits);
    uint32_t whole = value >= 4294967296.0f ? UINT32_MAX : value >= 0.0f ? uint32_t(value) : 0; // NaN gives 0
    if (double(whole) != double(value))
        ASSERT(false, "ASSERT: %s %f of track \"%s\" is not a whole number: taken as %u\n", what, double(value),
               trackName, whole);
    return whole;
}

// The first three elements of a numbers array as floats; false when there are fewer.
bool readFloat3(const JsonArray& array, Float3& xyz)
{
    if (array.count < 3)
        return false;
    float v[3];
    for (uint32_t i = 0; i < 3; ++i) {
        if (array.kind == JsonArrayKind::Floats) {
            v[i] = array.floats[i];
        } else if (array.kind == JsonArrayKind::Integers) {
            v[i] = float(array.integers[i]);
        } else if (array.values[i].type == JsonValueType::Number) {
            v[i] = numberAsFloat(array.values[i].number); // [1.0,2,3.0] mixes both forms
        } else {
            return false;
        }
    }
    xyz = {v[0], v[1], v[2]};
    return true;
}

// Each value is converted to the track's type, whichever number form the text used.
void loadKey(Timeline& timeline, const char* trackName, TrackType type, const JsonValue& element)
{
    if (element.type != JsonValueType::Object) {
        ASSERT(false, "ASSERT: Key of track \"%s\" is not an object\n", trackName);
        return;
    }
    const JsonObject& key = *element.object;
    const JsonValue* frame = findTyped(key, "frame", JsonValueType::Number);
    const JsonValue* easingName = findTyped(key, "easing", JsonValueType::String);
    const JsonValue* value = findValue(key, "value");
    if (!frame || !easingName || !value)
        return;
    uint32_t easing = easingIndex({easingName->string.chars, size_t(easingName->string.length)});
    if (easing >= easingCount) {
        ASSERT(false, "ASSERT: Unknown easing \"%s\"\n", easingName->string.chars);
        return;
    }
    uint32_t frameNumber = numberAsUint(frame->number, "Frame", trackName);
    if ((type == TrackType::FLOAT || type == TrackType::UINT) && value->type != JsonValueType::Number) {
        ASSERT(false, "ASSERT: Value of key \"%s\" has the wrong type\n", "value");
        return;
    }
    switch (type) {
    case TrackType::FLOAT: {
        float x = numberAsFloat(value->number);
        setKeyFloat(timeline, trackName, frameNumber, &x, easing);
        break;
    }
    case TrackType::UINT: {
        uint32_t x = numberAsUint(value->number, "Value", trackName);
        setKeyUint(timeline, trackName, frameNumber, &x, easing);
        break;
    }
    case TrackType::FLOAT3: {
        Float3 xyz;
        if (value->type != JsonValueType::Array || !readFloat3(*value->array, xyz)) {
            ASSERT(false, "ASSERT: FLOAT3 value of track \"%s\" needs three numbers\n", trackName);
            return;
        }
        setKeyFloat3(timeline, trackName, frameNumber, &xyz, easing);
        break;
    }
    case TrackType::INVALID:
        break; // an INVALID track keeps no keys
    }
}

void loadTrack(Timeline& timeline, const char* name, const JsonObject& description)
{
    const JsonValue* typeName = findTyped(description, "type", JsonValueType::String);
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
    const JsonValue* frames = findTyped(description, "frames", JsonValueType::Array);
    if (!frames)
        return;
    const JsonArray& keys = *frames->array;
    if (keys.kind != JsonArrayKind::Values) {
        ASSERT(false, "ASSERT: Key of track \"%s\" is not an object\n", name);
        return;
    }
    for (const JsonValue& element : keys.values)
        loadKey(timeline, name, type, element);
}

void loadBookmarks(Timeline& timeline, const JsonArray& bookmarks)
{
    if (bookmarks.kind == JsonArrayKind::Integers) {
        for (int32_t frame : bookmarks.integers)
            timeline.bookmarks.push(uint32_t(frame));
    } else if (bookmarks.count > 0) {
        ASSERT(false, "ASSERT: Bookmarks are not a list of integers\n");
    }
}

// Every track and bookmark of the document into the timeline; given a lookup, only the tracks
// it knows (the others take no memory).
void loadDocument(Timeline& timeline, const JsonObject& root, const TimelineRules* rules)
{
    clearTimeline(timeline);
    for (const JsonMember& member : root.members) {
        const char* key = member.key.string.chars;
        if (member.value.type == JsonValueType::Object && (!rules || findRule(*rules, member.key.string)))
            loadTrack(timeline, key, *member.value.object);
        else if (member.value.type == JsonValueType::Array && std::strcmp(key, "__bookmarks__") == 0)
            loadBookmarks(timeline, *member.value.array);
    }
}

} // namespace

bool loadTimeline(Timeline& timeline, const char* text, uint64_t length, JsonError* error)
{
    JsonValue root;
    if (!parseJson(root, text, length, 0, error)) {
        if (error && !error->failed)
            *error = {.failed = true, .message = "Timeline document holds no value\n"};
        return false;
    }
    if (root.type != JsonValueType::Object) {
        if (error)
            *error = {.failed = true, .message = "ASSERT: Timeline document is not an object\n"};
        else
            ASSERT(false, "ASSERT: Timeline document is not an object\n");
        releaseJson(root);
        return false;
    }
    loadDocument(timeline, *root.object, nullptr);
    // Nothing keeps pointers into the tree.
    releaseJson(root);
    return true;
}

bool loadCheckedTimeline(Timeline& timeline, const char* text, uint64_t length, const TimelineRules& rules,
                         TimelineReport& report)
{
    report = {};
    if (length > checkedDocumentLimit) {
        failCheck(report, "The document is larger than %llu bytes\n", (unsigned long long)checkedDocumentLimit);
        return false;
    }
    JsonValue root;
    if (!parseJson(root, text, length, 0, &report.error)) {
        if (!report.error.failed)
            failCheck(report, "The document holds no value\n");
        return false;
    }
    // A checked document loads without a report: nothing in it is skipped or changed.
    bool checked = checkDocument(root, timeline.frameCount, rules, report);
    if (checked)
        loadDocument(timeline, *root.object, &rules);
    releaseJson(root);
    return checked;
}
