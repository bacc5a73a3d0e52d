// The capture's video step: paths quoted for the shell, and ffmpeg found on the search path.
// The video itself is checked end to end (tests/e2e/tools_test.cpp).
#include "tools/video.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

TEST(CaptureVideo, QuotesEveryPathForTheShellAndFindsOnlyExecutableFiles)
{
    // Single quotes take everything literally; a quote inside ends them, is escaped, and
    // quotes again: 'it'\''s'.
    const std::pair<const char*, const char*> quoted[] = {
        {"two words", "'two words'"}, {"it's", "'it'\\''s'"}, {"$HOME `x` \"y\"", "'$HOME `x` \"y\"'"}};
    for (auto [path, expected] : quoted)
        EXPECT_EQ(shellQuote(path), expected);

    namespace fs = std::filesystem;
    fs::path root = fs::path(KIVREL_TEST_OUTPUT_DIR) / "find_program";
    fs::remove_all(root);
    fs::create_directories(root / "first");
    fs::create_directories(root / "second");
    fs::create_directories(root / "third" / "tool"); // a folder of the name is not the program
    std::ofstream(root / "first" / "tool") << "not executable";
    std::ofstream(root / "second" / "tool") << "#!/bin/sh\n";
    fs::permissions(root / "second" / "tool", fs::perms::owner_all);
    std::string list = (root / "third").string() + "::" + (root / "first").string() + ":" + (root / "second").string();
    EXPECT_EQ(findProgram("tool", list.c_str()), (root / "second" / "tool").string());
    EXPECT_EQ(findProgram("tool", (root / "first").string().c_str()), "");
    EXPECT_EQ(findProgram("tool", nullptr), "");
}
