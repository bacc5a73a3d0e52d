// The JSON reader: token forms, packed number arrays, lenient commas, and every PANIC with
// the input that produces it.
#include "tests/unit/exit_status.h"
#include "timeline/json.h"

#include <gtest/gtest.h>

#include <cstring>
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

float bitsAsFloat(uint32_t bits)
{
    float value;
    std::memcpy(&value, &bits, sizeof(value));
    return value;
}

// Death tests match what the logger writes to standard output, so send it to stderr.
void parseInChild(const std::string& text)
{
    std::fflush(stdout);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    JsonValue value;
    parseJson(value, text.data(), text.size(), 0);
}

} // namespace

TEST(JsonReader, NumbersKeepTheFormTheyWereWrittenIn)
{
    Parsed fraction("-208.839996");
    ASSERT_TRUE(fraction.ok);
    EXPECT_EQ(fraction.value.number.kind, JsonNumberKind::FloatNumber);
    EXPECT_EQ(bitsAsFloat(fraction.value.number.bits), -208.839996f);

    Parsed integer("64");
    EXPECT_EQ(integer.value.number.kind, JsonNumberKind::IntegerNumber);
    EXPECT_EQ(integer.value.number.bits, 64u);

    Parsed trailingDot("1.");
    EXPECT_EQ(trailingDot.value.number.kind, JsonNumberKind::FloatNumber);
    EXPECT_EQ(bitsAsFloat(trailingDot.value.number.bits), 1.0f);

    // atoi of "-" is 0.
    Parsed loneMinus("-");
    EXPECT_EQ(loneMinus.value.number.kind, JsonNumberKind::IntegerNumber);
    EXPECT_EQ(loneMinus.value.number.bits, 0u);

    Parsed negative("-7");
    EXPECT_EQ(negative.value.number.bits, uint32_t(-7));
}

TEST(JsonReader, ArraysOfOneNumberKindArePacked)
{
    Parsed integers("[0,3254,3255]");
    ASSERT_EQ(integers.value.type, JsonValueType::Array);
    EXPECT_EQ(integers.value.array->kind, JsonArrayKind::Integers);
    ASSERT_EQ(integers.value.array->count, 3u);
    EXPECT_EQ(integers.value.array->integers[2], 3255);

    Parsed floats("[0.000000,1.570000,0.000000]");
    EXPECT_EQ(floats.value.array->kind, JsonArrayKind::Floats);
    ASSERT_EQ(floats.value.array->count, 3u);
    EXPECT_EQ(floats.value.array->floats[1], 1.57f);

    for (const char* text : {"[]", "[1,2.5]", "[1,]", "[[1],2]"}) {
        Parsed values(text);
        EXPECT_EQ(values.value.array->kind, JsonArrayKind::Values) << text;
    }
    Parsed empty("[]");
    EXPECT_EQ(empty.value.array->count, 0u);
    Parsed mixed("[1,2.5]");
    ASSERT_EQ(mixed.value.array->count, 2u);
    EXPECT_EQ(mixed.value.array->values[1].number.kind, JsonNumberKind::FloatNumber);
    Parsed trailing("[1,]");
    EXPECT_EQ(trailing.value.array->count, 1u);
}

TEST(JsonReader, ObjectsAcceptTrailingCommasAndKeepDuplicateKeys)
{
    Parsed one("{\"a\":1,}");
    ASSERT_EQ(one.value.type, JsonValueType::Object);
    EXPECT_EQ(one.value.object->memberCount, 1u);
    Parsed none("{}");
    EXPECT_EQ(none.value.object->memberCount, 0u);

    Parsed nested("{\"a\":{\"b\":[true,false,null,\"s\"]},\"a\":2}");
    const JsonObject& root = *nested.value.object;
    EXPECT_EQ(root.memberCount, 2u);
    const JsonValue* a = findValue(root, "a"); // the first of the two
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->type, JsonValueType::Object);
    const JsonArray& list = *findValue(*a->object, "b")->array;
    ASSERT_EQ(list.count, 4u);
    EXPECT_TRUE(list.values[0].boolean);
    EXPECT_FALSE(list.values[1].boolean);
    EXPECT_EQ(list.values[2].type, JsonValueType::Null);
    EXPECT_STREQ(list.values[3].string.chars, "s");
    EXPECT_EQ(list.values[3].string.length, 1u);
}

TEST(JsonReader, MissingKeyIsReportedWithItsName)
{
    Parsed object("{\"frame\":1}");
    testing::internal::CaptureStdout();
    EXPECT_EQ(findValue(*object.value.object, "fram"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "ASSERT: Failed to find value with key \"fram\"\n\n");
}

TEST(JsonReader, LogsItsTwoStepsAndIgnoresTrailingZerosAndTokens)
{
    std::string text("{\"a\": [1, 2]} 7");
    text.push_back('\0');
    JsonValue value;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(parseJson(value, text.data(), text.size(), 64));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Lexing JSON buffer\n\nParsing JSON token stream. Token count: 10\n\n");
    EXPECT_EQ(value.type, JsonValueType::Object);
    releaseJson(value);
    EXPECT_EQ(value.type, JsonValueType::Null);
}

TEST(JsonReader, NothingToReadGivesFalse)
{
    JsonValue value;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(parseJson(value, nullptr, 10, 0));
    EXPECT_FALSE(parseJson(value, "1", 0, 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    Parsed closing("]");
    EXPECT_FALSE(closing.ok);
    Parsed blank(std::string(" \n\t\r\0", 5));
    EXPECT_FALSE(blank.ok);
}

TEST(JsonReaderDeathTest, LexicalErrorsNameTheirLine)
{
    // A line feed inside a string counts: the bad byte is on line 3.
    EXPECT_EXIT(parseInChild("{\"a\nb\":\n @}"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Undefine token at line 3\n$");
    EXPECT_EXIT(parseInChild("\n[trux]"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Undefine token at line 2\n$");
    EXPECT_EXIT(parseInChild("[fals"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Undefine token at line 1\n$");
    EXPECT_EXIT(parseInChild("tru"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Undefine token at line 1\n$");
    EXPECT_EXIT(parseInChild("\n\n1.2.3"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Invalid token at line 3\n$");
    EXPECT_EXIT(parseInChild("[\"abc\n\ndef"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Incomplete string at line 3\n$");
}

TEST(JsonReaderDeathTest, SyntaxErrorsNameTheMissingToken)
{
    EXPECT_EXIT(parseInChild("{\"a\" 1}"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing colon \\(:\\) token\n$");
    EXPECT_EXIT(parseInChild("{\"a\":1 ]"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\}\n$");
    EXPECT_EXIT(parseInChild("{\"a\":1 \"b\":2}"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\}\n$");
    EXPECT_EXIT(parseInChild("[\"a\" \"b\"]"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\]\n$");
    EXPECT_EXIT(parseInChild("[1,2}"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\]\n$");
    EXPECT_EXIT(parseInChild("[{\"a\":1}}"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\]\n$");
}

TEST(JsonReaderDeathTest, TextThatEndsEarlyStopsAtTheLastToken)
{
    EXPECT_EXIT(parseInChild("{\"a\""), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing colon \\(:\\) token\n$");
    EXPECT_EXIT(parseInChild("{\"a\":"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\}\n$");
    EXPECT_EXIT(parseInChild("{\"a\":1,"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\}\n$");
    EXPECT_EXIT(parseInChild("[1,2"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\]\n$");
    EXPECT_EXIT(parseInChild("[1.5,"), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\]\n$");
    EXPECT_EXIT(parseInChild("["), testing::ExitedWithCode(minusOneExitStatus), "PANIC: Missing \\]\n$");
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
