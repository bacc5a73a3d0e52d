// The capture's video step: finding ffmpeg and the command that muxes frames and sound.
#include "tools/video.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

TEST(CaptureVideo, QuotesEveryPathForTheShell)
{
    EXPECT_EQ(shellQuote("plain"), "'plain'");
    EXPECT_EQ(shellQuote("two words"), "'two words'");
    // ' ends the quotes, an escaped quote, quotes again: 'it'\''s'
    EXPECT_EQ(shellQuote("it's"), "'it'\\''s'");
    EXPECT_EQ(shellQuote("$HOME `x` \"y\""), "'$HOME `x` \"y\"'");
}

TEST(CaptureVideo, MuxesTheCapturedFramesAtSixtyPerSecondWithTheSoundtrack)
{
    EXPECT_EQ(framePath("out", 7), "out/frame_00007.png");
    EXPECT_EQ(framePath("out", 7400), "out/frame_07400.png");

    std::string command = muxCommand("/usr/bin/ffmpeg", "/tmp/my frames", 700, 11, "/tmp/my frames/s.wav", "/tmp/v.mp4");
    EXPECT_EQ(command, "'/usr/bin/ffmpeg' -nostdin -y -loglevel error -framerate 60 -start_number 700"
                       " -i '/tmp/my frames/frame_%05d.png' -i '/tmp/my frames/s.wav' -frames:v 11"
                       " -pix_fmt yuv420p -shortest '/tmp/v.mp4'");
    // ffmpeg reads the frame name as a pattern: a folder's own '%' is doubled.
    std::string percent = muxCommand("ffmpeg", "/tmp/100%", 0, 1, "a.wav", "b.mkv");
    EXPECT_NE(percent.find("'/tmp/100%%/frame_%05d.png'"), std::string::npos) << percent;
}

TEST(CaptureVideo, FindsOnlyExecutableFilesOnTheFolderList)
{
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
    EXPECT_EQ(findProgram("tool", ""), "");
    EXPECT_EQ(findProgram("tool", nullptr), "");
}
