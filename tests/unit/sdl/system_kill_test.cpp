// A save killed with SIGKILL at any moment (Linux: fork and kill) leaves the file whole.
#include "system/system.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

TEST(WholeFile, ASaveKilledAtAnyMomentLeavesTheOldFileOrTheNewOneNeverAPart)
{
    const std::string path = (std::filesystem::path(KIVREL_TEST_OUTPUT_DIR) / "killed_save.json").string();
    const std::string bytes[2] = {std::string(1 << 20, 'a'), std::string(1 << 20, 'b')};
    ASSERT_EQ(writeWholeFile(path.c_str(), bytes[0].data(), bytes[0].size()), FileWriteResult::Ok);
    for (useconds_t delay : {0, 300, 1000, 3000, 10000}) { // microseconds into a run of saves
        pid_t child = fork();
        if (child == 0)
            for (int i = 1;; ++i)
                writeWholeFile(path.c_str(), bytes[i % 2].data(), bytes[i % 2].size());
        usleep(delay);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);
        std::string onDisk;
        EXPECT_EQ(readWholeFile(path.c_str(), onDisk), FileReadResult::Ok);
        EXPECT_TRUE(onDisk == bytes[0] || onDisk == bytes[1]) << delay << " us: " << onDisk.size() << " bytes";
    }
}
