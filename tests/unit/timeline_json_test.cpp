// The JSON reader: token forms, packed number arrays, lenient commas, and every PANIC with
// the input that produces it.
#include "tests/unit/test_platform.h"
#include "timeline/json.h"

#include <gtest/gtest.h>

#include <bit>
#include <utility>
#include <string>
#include <unistd.h>

namespace {

// Parses the text (without a terminator) and keeps the tree until the end of the test.
struct Parsed {
    JsonValue value{};
    bool ok = false;

    explicit Parsed(const std::string& text)
    {
        testing::internal::CaptureStdout();
        ok = parseJson(value, text.data(), text.size(), 0);
        testing::internal::GetCapturedStdout();
    }
    ~Parsed() { releaseJson(value); }
};

// Death tests match what the logger writes to standard output, so send it to stderr.
void parseInChild(const std::string& text)
{
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    JsonValue value;
    parseJson(value, text.data(), text.size(), 0);
}

} // namespace

TEST(JsonReader, NumbersKeepTheFormTheyWereWrittenInAndArraysOfMixedValuesAreLists)
{
    struct Case {
        const char* text;
        JsonNumberKind kind;
        uint32_t bits;
    };
    const Case numbers[] = {
        {"-208.839996", JsonNumberKind::FloatNumber, std::bit_cast<uint32_t>(-208.839996f)},
        {"64", JsonNumberKind::IntegerNumber, 64},
        {"1.", JsonNumberKind::FloatNumber, std::bit_cast<uint32_t>(1.0f)},
        {"-2147483648", JsonNumberKind::IntegerNumber, 0x80000000u}, // the 32 bits' ends
        {"2147483647", JsonNumberKind::IntegerNumber, 0x7FFFFFFFu},
        {"-7", JsonNumberKind::IntegerNumber, uint32_t(-7)},
    };
    for (const Case& c : numbers) {
        Parsed number(c.text);
        ASSERT_TRUE(number.ok) << c.text;
        EXPECT_EQ(number.value.number.kind, c.kind) << c.text;
        EXPECT_EQ(number.value.number.bits, c.bits) << c.text;
    }
    // Mixed, empty, with a trailing comma, or nested: a list of values. (Arrays of one kind are
    // packed: the timeline's bookmarks and FLOAT3 values come back from their text.)
    const std::pair<const char*, uint32_t> lists[] = {{"[]", 0}, {"[1,2.5]", 2}, {"[1,]", 1}, {"[[1],2]", 2}};
    for (auto [text, count] : lists) {
        Parsed values(text);
        EXPECT_EQ(values.value.array->kind, JsonArrayKind::Values) << text;
        EXPECT_EQ(values.value.array->count, count) << text;
    }
}

TEST(JsonReader, ObjectsKeepDuplicateKeysAndReportMissingOnesTrailingTextIsIgnoredAndNothingGivesFalse)
{
    std::string text("{\"a\":{\"b\":[true,false,null,\"s\"],},\"a\":2} 7");
    text.push_back('\0'); // the compiled-in text is read with its terminator
    Parsed nested(text);
    ASSERT_TRUE(nested.ok);
    const JsonObject& root = *nested.value.object;
    EXPECT_EQ(root.memberCount, 2u);
    const JsonValue* a = findValue(root, "a"); // the first of the two
    ASSERT_EQ(a->type, JsonValueType::Object);
    EXPECT_EQ(a->object->memberCount, 1u); // the trailing comma adds nothing
    const JsonArray& list = *findValue(*a->object, "b")->array;
    ASSERT_EQ(list.count, 4u);
    EXPECT_TRUE(list.values[0].boolean && !list.values[1].boolean);
    EXPECT_EQ(list.values[2].type, JsonValueType::Null);
    EXPECT_STREQ(list.values[3].string.chars, "s");
    testing::internal::CaptureStdout();
    EXPECT_EQ(findValue(root, "b"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Failed to find value with key \"b\"\n\n");
    JsonValue value;
    EXPECT_FALSE(parseJson(value, nullptr, 10, 0));
    EXPECT_FALSE(parseJson(value, "1", 0, 0));
    for (const std::string& nothing : {std::string("]"), std::string(" \n\t\r\0", 5)})
        EXPECT_FALSE(Parsed(nothing).ok);
}

TEST(JsonReaderDeathTest, ErrorsNameTheirLineOrTheMissingToken)
{
    const std::pair<const char*, const char*> cases[] = {
        // Lexical: a line feed inside a string counts, so the bad byte is on line 3.
        {"{\"a\nb\":\n @}", "PANIC: Undefine token at line 3\n$"},
        {"\n[trux]", "PANIC: Undefine token at line 2\n$"},
        {"[fals", "PANIC: Undefine token at line 1\n$"},
        {"\n\n1.2.3", "PANIC: Invalid token at line 3\n$"},
        {"[\"abc\n\ndef", "PANIC: Incomplete string at line 3\n$"},
        // A number has a digit and fits 32 bits, a fraction a finite float: no wrap, no infinity.
        {"[-]", "PANIC: Invalid token at line 1\n$"},
        {"\n[4294968296]", "PANIC: Number out of range at line 2\n$"},
        {"[2147483648]", "PANIC: Number out of range at line 1\n$"},
        {"[1000000000000000000000000000000000000000.0]", "PANIC: Number out of range at line 1\n$"},
        // Syntax: the token that should have come.
        {"{\"a\" 1}", "PANIC: Missing colon \\(:\\) token\n$"},
        {"{\"a\":1 ]", "PANIC: Missing \\}\n$"},
        {"[\"a\" \"b\"]", "PANIC: Missing \\]\n$"},
        {"[{\"a\":1}}", "PANIC: Missing \\]\n$"},
        // Text that ends early stops at its last token.
        {"{\"a\"", "PANIC: Missing colon \\(:\\) token\n$"},
        {"{\"a\":", "PANIC: Missing \\}\n$"},
        {"{\"a\":1,", "PANIC: Missing \\}\n$"},
        {"[1,2", "PANIC: Missing \\]\n$"},
        {"[1.5,", "PANIC: Missing \\]\n$"},
        {"[", "PANIC: Missing \\]\n$"},
    };
    for (auto [text, message] : cases)
        EXPECT_EXIT(parseInChild(text), testing::ExitedWithCode(minusOneExitStatus), message) << text;
}

TEST(JsonReaderDeathTest, NestingIsBoundedAtSixtyFourLevels)
{
    // The root is level 1: 64 arrays nest; an object inside them is the 65th level.
    Parsed deepest(std::string(64, '[') + std::string(64, ']'));
    EXPECT_TRUE(deepest.ok);
    EXPECT_EXIT(parseInChild(std::string(64, '[') + "{}" + std::string(64, ']')),
                testing::ExitedWithCode(minusOneExitStatus), "PANIC: Nested deeper than 64 levels at line 1\n$");
    // 100,000 levels stop at the same bound instead of overflowing the stack.
    EXPECT_EXIT(parseInChild("\n" + std::string(100000, '[')), testing::ExitedWithCode(minusOneExitStatus),
                "PANIC: Nested deeper than 64 levels at line 2\n$");
}
