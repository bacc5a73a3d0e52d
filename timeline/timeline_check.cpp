// The check of an edited document before it is loaded: each key, track and bookmark list is
// taken as the loader would take it, and anything the loader would skip, truncate or wrap is
// the error that names it. Reads the tree only.
#include "timeline/timeline_check.h"

#include "timeline/easing.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace {

// The member's value, or null; a missing member is the caller's error to name.
const JsonValue* member(const JsonObject& object, const char* key)
{
    size_t length = std::strlen(key);
    for (const JsonMember& m : object.members)
        if (m.key.string.length == length && std::memcmp(m.key.string.chars, key, length) == 0)
            return &m.value;
    return nullptr;
}

// A name as the messages quote it: at most 64 bytes, and the first zero byte ends it.
struct Quoted {
    int length;
    const char* chars;
};
Quoted quoted(const JsonString& name)
{
    return {int(std::min<uint64_t>(std::strlen(name.chars), 64)), name.chars};
}

// A number as the loader converts it: exactly, or false.
bool numberAsFloat(const JsonNumber& number, double& value)
{
    if (number.kind == JsonNumberKind::FloatNumber) {
        value = asFloat(number.bits);
        return true;
    }
    value = double(int32_t(number.bits));
    return double(float(value)) == value; // 16777217 has no float
}

bool numberAsUint(const JsonNumber& number, double& value)
{
    value = number.kind == JsonNumberKind::IntegerNumber ? double(int32_t(number.bits)) : asFloat(number.bits);
    return value >= 0.0 && value < 4294967296.0 && std::floor(value) == value;
}

// One key's problem, or none: where the key is (track and its place in the list, or its
// frame once known) comes first in every message.
struct KeyCheck {
    TimelineReport& report;
    Quoted track;
    uint32_t index;
    uint32_t frame = UINT32_MAX; // not known yet

    __attribute__((format(gnu_printf, 2, 3))) bool fail(const char* format, ...)
    {
        char what[160];
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(what, sizeof(what), format, arguments);
        va_end(arguments);
        if (frame == UINT32_MAX)
            failCheck(report, "Track \"%.*s\", key %u: %s\n", track.length, track.chars, index + 1, what);
        else
            failCheck(report, "Track \"%.*s\", key at frame %u: %s\n", track.length, track.chars, frame, what);
        return false;
    }

    bool value(const JsonValue& number, bool whole, const ValueRange& range)
    {
        double v = 0.0;
        if (number.type != JsonValueType::Number)
            return fail("a value is not a number");
        if (!(whole ? numberAsUint(number.number, v) : numberAsFloat(number.number, v)))
            return fail(whole ? "a value is not a whole number from 0" : "a value has no exact float");
        if (!inRange(range, v))
            return fail("value %g is outside %s%g, %g%s", v, range.open ? "(" : "[", range.min, range.max,
                        range.open ? ")" : "]");
        return true;
    }

    // FLOAT3: exactly three numbers, each in range.
    bool components(const JsonValue& list, const ValueRange& range)
    {
        if (list.type != JsonValueType::Array || list.array->count != 3)
            return fail("the value is not a list of three numbers");
        const JsonArray& array = *list.array;
        for (uint32_t i = 0; i < 3; ++i) {
            JsonValue number{};
            number.type = JsonValueType::Number;
            if (array.kind == JsonArrayKind::Floats)
                number.number = {JsonNumberKind::FloatNumber, floatBits(array.floats[i])};
            else if (array.kind == JsonArrayKind::Integers)
                number.number = {JsonNumberKind::IntegerNumber, uint32_t(array.integers[i])};
            else
                number = array.values[i];
            if (!value(number, false, range))
                return false;
        }
        return true;
    }
};

bool checkKey(KeyCheck& check, const JsonValue& element, const TrackRule& rule, uint32_t frameCount,
              DynamicArray<bool>& taken)
{
    if (element.type != JsonValueType::Object)
        return check.fail("not an object");
    const JsonObject& key = *element.object;
    for (const char* name : {"frame", "easing", "value"})
        if (!member(key, name))
            return check.fail("no \"%s\"", name);
    const JsonValue& frame = *member(key, "frame");
    double f = 0.0;
    if (frame.type != JsonValueType::Number || !numberAsUint(frame.number, f) || f >= frameCount)
        return check.fail("the frame is not a whole number from 0 to %u", frameCount - 1);
    check.frame = uint32_t(f);
    if (taken[check.frame])
        return check.fail("a second key on this frame");
    taken[check.frame] = true;
    const JsonValue& easing = *member(key, "easing");
    if (easing.type != JsonValueType::String ||
        easingIndex({easing.string.chars, size_t(easing.string.length)}) >= easingCount)
        return check.fail("unknown easing");
    const JsonValue& value = *member(key, "value");
    return rule.type == TrackType::FLOAT3 ? check.components(value, rule.range)
                                          : check.value(value, rule.type == TrackType::UINT, rule.range);
}

bool checkTrack(const JsonString& name, const JsonObject& track, const TrackRule& rule, uint32_t frameCount,
                TimelineReport& report)
{
    const Quoted q = quoted(name);
    const JsonValue* type = member(track, "type");
    if (!type || type->type != JsonValueType::String || std::strcmp(type->string.chars, trackTypeNames[uint32_t(rule.type)]) != 0) {
        failCheck(report, "Track \"%.*s\" is not of type %s\n", q.length, q.chars, trackTypeNames[uint32_t(rule.type)]);
        return false;
    }
    const JsonValue* frames = member(track, "frames");
    if (!frames || frames->type != JsonValueType::Array ||
        (frames->array->kind != JsonArrayKind::Values && frames->array->count > 0)) {
        failCheck(report, "Track \"%.*s\" has no list of keys under \"frames\"\n", q.length, q.chars);
        return false;
    }
    DynamicArray<bool> taken;
    for (uint32_t frame = 0; frame < frameCount; ++frame)
        taken.push(false);
    bool ok = true;
    for (uint32_t i = 0; ok && i < frames->array->values.count; ++i) {
        KeyCheck check{report, q, i};
        ok = checkKey(check, frames->array->values[i], rule, frameCount, taken);
    }
    taken.clear();
    return ok;
}

bool checkBookmarks(const JsonArray& bookmarks, uint32_t frameCount, TimelineReport& report)
{
    if (bookmarks.count == 0)
        return true;
    if (bookmarks.kind != JsonArrayKind::Integers || bookmarks.count > checkedBookmarkLimit) {
        failCheck(report, "The bookmarks are not a list of at most %u frames\n", checkedBookmarkLimit);
        return false;
    }
    for (int32_t frame : bookmarks.integers)
        if (frame < 0 || uint32_t(frame) >= frameCount) {
            failCheck(report, "Bookmark %d is not a frame from 0 to %u\n", frame, frameCount - 1);
            return false;
        }
    return true;
}

bool checkMember(const JsonMember& m, uint32_t frameCount, const TimelineRules& rules, DynamicArray<const TrackRule*>& seen,
                 TimelineReport& report)
{
    const JsonString& name = m.key.string;
    const Quoted q = quoted(name);
    if (std::strcmp(name.chars, "__bookmarks__") == 0 && m.value.type == JsonValueType::Array)
        return checkBookmarks(*m.value.array, frameCount, report);
    const TrackRule* rule = findRule(rules, name);
    if (m.value.type != JsonValueType::Object || !rule) {
        char line[128];
        std::snprintf(line, sizeof(line), "\"%.*s\" is not a track of the timeline: left out\n", q.length, q.chars);
        report.warnings += line;
        return true;
    }
    for (const TrackRule* earlier : seen)
        if (earlier == rule) {
            failCheck(report, "Track \"%s\" is there twice\n", rule->name);
            return false;
        }
    seen.push(rule);
    return checkTrack(name, *m.value.object, *rule, frameCount, report);
}

} // namespace

const TrackRule* findRule(const TimelineRules& rules, const JsonString& name)
{
    return std::strlen(name.chars) == name.length ? rules.findTrack(name.chars) : nullptr;
}

void failCheck(TimelineReport& report, const char* format, ...)
{
    if (report.error.failed)
        return;
    report.error.failed = true;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(report.error.message, sizeof(report.error.message), format, arguments);
    va_end(arguments);
}

bool checkDocument(const JsonValue& root, uint32_t frameCount, const TimelineRules& rules, TimelineReport& report)
{
    if (root.type != JsonValueType::Object) {
        failCheck(report, "The document is not an object\n");
        return false;
    }
    DynamicArray<const TrackRule*> seen;
    bool ok = true;
    for (uint32_t i = 0; ok && i < root.object->members.count; ++i)
        ok = checkMember(root.object->members[i], frameCount, rules, seen, report);
    seen.clear();
    return ok;
}

bool inRange(const ValueRange& range, double value)
{
    return range.open ? value > range.min && value < range.max : value >= range.min && value <= range.max;
}

float clampToRange(const ValueRange& range, float value)
{
    float low = float(range.min), high = float(range.max);
    if (range.open) {
        low = std::nextafter(low, high);
        high = std::nextafter(high, low);
    }
    return value >= low ? (value <= high ? value : high) : low; // NaN compares false: low
}
