// The small JSON reader of the timeline files: a lexer (text -> tokens) and a parser
// (tokens -> tree). No escapes, no exponents; trailing commas are accepted. Numbers keep
// the form they were written in, and arrays of only integers or only fractions are packed.
// An integer must fit 32 signed bits and a fraction a finite float: larger ones are errors.
#pragma once

#include "core/array.h"

#include <cstdint>

enum class JsonTokenKind : uint32_t {
    FloatNumber, IntegerNumber, String,
    TrueWord, FalseWord, NullWord,
    ObjectBegin, ObjectEnd, ArrayBegin, ArrayEnd, Comma, Colon,
};

struct JsonToken {
    JsonTokenKind kind;
    union {
        const char* chars; // string: first character after the opening quote
        uint32_t bits;     // number: the 32 bits of the integer or float
    };
    uint32_t length; // string: characters between the quotes
    uint32_t line;   // line on which the token ends, from 1
    uint32_t end;    // buffer position just after the token
};
static_assert(sizeof(JsonToken) == 32);

enum class JsonValueType : uint32_t { String = 0, Number = 1, Object = 2, Array = 3, Boolean = 4, Null = 5 };
// The number kinds are those of the tokens: 0 float, 1 integer.
enum class JsonNumberKind : uint32_t { FloatNumber = 0, IntegerNumber = 1 };

struct JsonObject;
struct JsonArray;

struct JsonString {
    char* chars; // heap copy with a terminating zero
    uint64_t length;
};

struct JsonNumber {
    JsonNumberKind kind;
    uint32_t bits;
};

struct JsonValue {
    JsonValueType type;
    union {
        JsonString string;
        JsonNumber number;
        JsonObject* object;
        JsonArray* array;
        bool boolean;
    };
};
static_assert(sizeof(JsonValue) == 24);

struct JsonMember {
    JsonValue key; // a string
    JsonValue value;
};
static_assert(sizeof(JsonMember) == 48);

// Members in document order; several may share a key (lookup finds the first).
struct JsonObject {
    uint32_t memberCount;
    DynamicArray<JsonMember> members;
};

enum class JsonArrayKind : uint32_t { Values = 0, Integers = 1, Floats = 2 };

// Only the list of the array's kind is used.
struct JsonArray {
    JsonArrayKind kind;
    uint32_t count;
    DynamicArray<JsonValue> values;
    DynamicArray<int32_t> integers;
    DynamicArray<float> floats;
};

// Objects and arrays nest at most this deep (the root is level 1).
constexpr uint32_t jsonDepthLimit = 64;

// Where a reading that must not end the process (a file being edited) keeps its error: the
// text the PANIC would have printed. Only the first error is kept.
struct JsonError {
    bool failed = false;
    char message[256] = {};
};

// Reads one value from the text. length counts bytes; zero bytes count as white space, so a
// zero-terminated text may be passed with its terminator. A lexical or syntax error, or
// nesting deeper than jsonDepthLimit, is a PANIC, or, given an error record, is kept there
// and gives false with the value null. Returns false, without a message, for a null buffer or
// a length of 0, and when the tokens do not begin a value. The buffer is never changed.
bool parseJson(JsonValue& value, const char* buffer, uint64_t length, uint64_t tokenReserve,
               JsonError* error = nullptr);
// Frees everything the tree owns and leaves the value null.
void releaseJson(JsonValue& value);

// The value of the first member with that key, or null after an ASSERT.
const JsonValue* findValue(const JsonObject& object, const char* key);
