// JSON lexer and parser. Every lexical error PANICs with its line, every missing bracket or
// colon with the token that was missing, nesting past the depth limit with its line (or keeps
// that text in the caller's error record and unwinds); the parser never reads past the last token.
#include "timeline/json.h"

#include "core/log.h"

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Without a record this is the PANIC, with the same text; with one, the first error is kept
// and the caller stops reading.
__attribute__((format(gnu_printf, 2, 3))) void failReading(JsonError* error, const char* format, ...)
{
    char text[sizeof(JsonError::message)];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof(text), format, arguments);
    va_end(arguments);
    if (!error)
        PANIC("%s", text);
    if (!error->failed) {
        error->failed = true;
        std::memcpy(error->message, text, sizeof(text));
    }
}

// >>lexer

// The three words and the six one-byte tokens.
struct JsonKeyword {
    const char* word;
    JsonTokenKind kind;
};
constexpr JsonKeyword jsonKeywords[] = {
    {"true", JsonTokenKind::TrueWord}, {"false", JsonTokenKind::FalseWord}, {"null", JsonTokenKind::NullWord}};
struct JsonSymbol {
    char symbol;
    JsonTokenKind kind;
};
constexpr JsonSymbol jsonSymbols[] = {{'[', JsonTokenKind::ArrayBegin}, {']', JsonTokenKind::ArrayEnd},
                                      {'{', JsonTokenKind::ObjectBegin}, {'}', JsonTokenKind::ObjectEnd},
                                      {':', JsonTokenKind::Colon},       {',', JsonTokenKind::Comma}};

const JsonKeyword* keywordStartingWith(char c)
{
    for (const JsonKeyword& keyword : jsonKeywords)
        if (keyword.word[0] == c)
            return &keyword;
    return nullptr;
}

const JsonSymbol* symbolOf(char c)
{
    for (const JsonSymbol& symbol : jsonSymbols)
        if (symbol.symbol == c)
            return &symbol;
    return nullptr;
}

struct Lexer {
    const char* buffer;
    uint64_t length;
    uint64_t position = 0;
    uint32_t line = 1;
    DynamicArray<JsonToken>& tokens;
    JsonError* error = nullptr;

    bool failed() const { return error && error->failed; }

    void add(JsonToken token)
    {
        token.line = line;
        token.end = uint32_t(position);
        tokens.push(token);
    }

    void lexNumber()
    {
        uint64_t start = position;
        bool fraction = false;
        ++position; // the sign or first digit
        if (position < length && buffer[position] == '.') {
            fraction = true;
            ++position;
        }
        while (position < length && isDigit(buffer[position])) {
            ++position;
            if (position < length && buffer[position] == '.') {
                if (fraction) {
                    failReading(error, "PANIC: Invalid token at line %u\n", line);
                    return;
                }
                fraction = true;
                ++position;
            }
        }
        // Converted from a copy: the text may end right after the number. A number has a digit
        // ("-" or "-." alone is none) and fits its 32 bits: no wrap, no infinity.
        std::string text(buffer + start, size_t(position - start));
        if (text.find_first_of("0123456789") == std::string::npos) {
            failReading(error, "PANIC: Invalid token at line %u\n", line);
            return;
        }
        JsonToken token{};
        errno = 0;
        if (fraction) {
            token.kind = JsonTokenKind::FloatNumber;
            float value = float(std::strtod(text.c_str(), nullptr));
            if (!std::isfinite(value)) {
                failReading(error, "PANIC: Number out of range at line %u\n", line);
                return;
            }
            std::memcpy(&token.bits, &value, sizeof(value));
        } else {
            token.kind = JsonTokenKind::IntegerNumber;
            long long wide = std::strtoll(text.c_str(), nullptr, 10);
            if (errno == ERANGE || wide < INT32_MIN || wide > INT32_MAX) {
                failReading(error, "PANIC: Number out of range at line %u\n", line);
                return;
            }
            int32_t value = int32_t(wide);
            std::memcpy(&token.bits, &value, sizeof(value));
        }
        add(token);
    }

    void lexString()
    {
        uint64_t start = ++position; // after the opening quote
        while (position < length && buffer[position] != '"') {
            if (buffer[position] == '\n')
                ++line;
            ++position;
        }
        if (position >= length) {
            failReading(error, "PANIC: Incomplete string at line %u\n", line);
            return;
        }
        JsonToken token{};
        token.kind = JsonTokenKind::String;
        token.chars = buffer + start;
        token.length = uint32_t(position - start);
        ++position; // the closing quote
        add(token);
    }

    // true, false and null must fit the buffer whole; the byte after the word is lexed next.
    void lexWord(const char* word, JsonTokenKind kind)
    {
        uint64_t wordLength = std::strlen(word);
        if (position + wordLength - 1 >= length || std::memcmp(buffer + position, word, wordLength) != 0) {
            failReading(error, "PANIC: Undefine token at line %u\n", line);
            return;
        }
        position += wordLength;
        JsonToken token{};
        token.kind = kind;
        add(token);
    }

    void lexSymbol(JsonTokenKind kind)
    {
        ++position;
        JsonToken token{};
        token.kind = kind;
        add(token);
    }

    void run()
    {
        while (position < length && !failed()) {
            char c = buffer[position];
            if (c == '-' || isDigit(c)) {
                lexNumber();
            } else if (c == '"') {
                lexString();
            } else if (const JsonKeyword* keyword = keywordStartingWith(c)) {
                lexWord(keyword->word, keyword->kind);
            } else if (const JsonSymbol* symbol = symbolOf(c)) {
                lexSymbol(symbol->kind);
            } else if (c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\0') {
                if (c == '\n')
                    ++line;
                ++position;
            } else {
                failReading(error, "PANIC: Undefine token at line %u\n", line);
            }
        }
    }
};

// >>parser

struct Parser {
    const DynamicArray<JsonToken>& tokens;
    uint64_t index = 0;
    uint32_t depth = 0; // objects and arrays open around the current token
    JsonError* error = nullptr;

    // After a kept error every level returns what it has built so far, for releaseJson.
    bool failed() const { return error && error->failed; }

    // The token at index + offset, or null past the last token.
    const JsonToken* peek(uint64_t offset = 0) const
    {
        uint64_t at = index + offset;
        return at < tokens.count ? &tokens[at] : nullptr;
    }

    bool peekIs(JsonTokenKind kind, uint64_t offset = 0) const
    {
        const JsonToken* token = peek(offset);
        return token && token->kind == kind;
    }

    static JsonValue copyString(const JsonToken& token)
    {
        JsonValue value{};
        value.type = JsonValueType::String;
        value.string.chars = static_cast<char*>(std::malloc(size_t(token.length) + 1));
        std::memcpy(value.string.chars, token.chars, token.length);
        value.string.chars[token.length] = '\0';
        value.string.length = token.length;
        return value;
    }

    // Each level costs a few stack frames here and in releaseJson: the bound keeps a hostile
    // text from overflowing the stack.
    bool enterLevel(const JsonToken& token)
    {
        if (depth == jsonDepthLimit) {
            failReading(error, "PANIC: Nested deeper than %u levels at line %u\n", jsonDepthLimit, token.line);
            return false;
        }
        ++depth;
        return true;
    }

    bool parseValue(JsonValue& value)
    {
        value = JsonValue{};
        value.type = JsonValueType::Null;
        const JsonToken* token = peek();
        if (!token)
            return false;
        switch (token->kind) {
        case JsonTokenKind::NullWord:
            ++index;
            return true;
        case JsonTokenKind::String:
            value = copyString(*token);
            ++index;
            return true;
        case JsonTokenKind::FloatNumber:
        case JsonTokenKind::IntegerNumber:
            value.type = JsonValueType::Number;
            value.number.kind = token->kind == JsonTokenKind::FloatNumber ? JsonNumberKind::FloatNumber
                                                                          : JsonNumberKind::IntegerNumber;
            value.number.bits = token->bits;
            ++index;
            return true;
        case JsonTokenKind::TrueWord:
        case JsonTokenKind::FalseWord:
            value.type = JsonValueType::Boolean;
            value.boolean = token->kind == JsonTokenKind::TrueWord;
            ++index;
            return true;
        case JsonTokenKind::ObjectBegin:
            if (!enterLevel(*token))
                return true; // null, released with the rest
            value.type = JsonValueType::Object;
            value.object = parseObject();
            --depth;
            return true;
        case JsonTokenKind::ArrayBegin:
            if (!enterLevel(*token))
                return true;
            value.type = JsonValueType::Array;
            value.array = parseArray();
            --depth;
            return true;
        default:
            return false; // the index does not move
        }
    }

    JsonObject* parseObject()
    {
        ++index; // {
        JsonObject* object = new JsonObject{};
        while (peekIs(JsonTokenKind::String)) {
            JsonMember member{};
            member.key = copyString(*peek());
            ++index;
            if (!peekIs(JsonTokenKind::Colon)) {
                object->members.push(member); // its key is released with the object
                failReading(error, "PANIC: Missing colon (:) token\n");
                break;
            }
            ++index;
            // A value that fails leaves the member holding null; the bracket check reports it.
            parseValue(member.value);
            object->members.push(member);
            if (failed() || !peekIs(JsonTokenKind::Comma))
                break;
            ++index;
        }
        object->memberCount = uint32_t(object->members.count);
        if (!failed() && !peekIs(JsonTokenKind::ObjectEnd))
            failReading(error, "PANIC: Missing }\n");
        ++index;
        return object;
    }

    // Scans ahead without consuming: number (, number)* ] of one kind gives a packed list.
    JsonArrayKind classifyArray(uint64_t& elementCount) const
    {
        elementCount = 0;
        const JsonToken* first = peek(1);
        if (!first || (first->kind != JsonTokenKind::IntegerNumber && first->kind != JsonTokenKind::FloatNumber))
            return JsonArrayKind::Values;
        JsonTokenKind kind = first->kind;
        uint64_t offset = 2;
        elementCount = 1;
        for (;;) {
            if (peekIs(JsonTokenKind::ArrayEnd, offset))
                return kind == JsonTokenKind::IntegerNumber ? JsonArrayKind::Integers : JsonArrayKind::Floats;
            if (!peekIs(JsonTokenKind::Comma, offset) || !peekIs(kind, offset + 1)) {
                elementCount = 0;
                return JsonArrayKind::Values;
            }
            offset += 2;
            ++elementCount;
        }
    }

    // The count fits 32 bits (the array's count field), so the block size cannot overflow.
    template <typename T>
    void takeNumbers(DynamicArray<T>& list, uint32_t elementCount)
    {
        // Exactly the counted elements, written in place: the classification has checked them.
        list.reserve(elementCount);
        for (uint32_t i = 0; i < elementCount; ++i) {
            std::memcpy(&list.data[i], &peek()->bits, sizeof(T));
            index += 2; // the number and the comma or closing bracket after it
        }
        list.count = elementCount;
        --index; // back onto the closing bracket
    }

    JsonArray* parseArray()
    {
        uint64_t elementCount = 0;
        JsonArrayKind kind = classifyArray(elementCount);
        ++index; // [
        JsonArray* array = new JsonArray{};
        array->kind = kind;
        switch (kind) {
        case JsonArrayKind::Integers:
            takeNumbers(array->integers, uint32_t(elementCount));
            break;
        case JsonArrayKind::Floats:
            takeNumbers(array->floats, uint32_t(elementCount));
            break;
        case JsonArrayKind::Values:
            for (;;) {
                JsonValue element;
                if (!parseValue(element))
                    break;
                array->values.push(element);
                if (failed() || !peekIs(JsonTokenKind::Comma))
                    break;
                ++index;
            }
            elementCount = array->values.count;
            break;
        default:
            PANIC("PANIC: Invalid JSON array type\n");
        }
        array->count = uint32_t(elementCount);
        if (!failed() && !peekIs(JsonTokenKind::ArrayEnd))
            failReading(error, "PANIC: Missing ]\n");
        ++index;
        return array;
    }
};

} // namespace

bool parseJson(JsonValue& value, const char* buffer, uint64_t length, uint64_t tokenReserve, JsonError* error)
{
    value = JsonValue{};
    value.type = JsonValueType::Null;
    if (!buffer || length == 0)
        return false;

    DynamicArray<JsonToken> tokens;
    if (tokenReserve)
        tokens.reserve(tokenReserve);
    logMessage("Lexing JSON buffer\n\n");
    Lexer lexer{.buffer = buffer, .length = length, .tokens = tokens, .error = error};
    lexer.run();
    if (lexer.failed()) {
        tokens.clear();
        return false;
    }
    logMessage("Parsing JSON token stream. Token count: %u\n\n", unsigned(tokens.count));

    // Tokens after the first complete value are ignored.
    Parser parser{.tokens = tokens, .error = error};
    bool parsed = parser.parseValue(value);
    tokens.clear();
    if (parser.failed()) {
        releaseJson(value);
        return false;
    }
    return parsed;
}

void releaseJson(JsonValue& value)
{
    switch (value.type) {
    case JsonValueType::String:
        std::free(value.string.chars);
        break;
    case JsonValueType::Object:
        for (JsonMember& member : value.object->members) {
            releaseJson(member.key);
            releaseJson(member.value);
        }
        value.object->members.clear();
        delete value.object;
        break;
    case JsonValueType::Array:
        for (JsonValue& element : value.array->values)
            releaseJson(element);
        value.array->values.clear();
        value.array->integers.clear();
        value.array->floats.clear();
        delete value.array;
        break;
    default:
        break;
    }
    value = JsonValue{};
    value.type = JsonValueType::Null;
}

const JsonValue* findValue(const JsonObject& object, const char* key)
{
    size_t keyLength = std::strlen(key);
    for (const JsonMember& member : object.members) {
        const JsonString& name = member.key.string;
        if (name.length == keyLength && std::memcmp(name.chars, key, keyLength) == 0)
            return &member.value;
    }
    ASSERT(false, "ASSERT: Failed to find value with key \"%s\"\n\n", key);
    return nullptr;
}
