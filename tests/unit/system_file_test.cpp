// writeWholeFile against what a user's disk can do to a save: a full disk, a missing folder, a
// folder where the file should be. The file is replaced whole or left byte for byte as it was.
#include "system/system.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

std::set<std::string> entries(const fs::path& folder)
{
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder))
        names.insert(fs::relative(entry.path(), folder).generic_string());
    return names;
}

// Writes with the process's file size limit at limitBytes (0: none), restored after.
FileWriteResult writeLimited(const fs::path& path, const std::string& bytes, uint64_t limitBytes)
{
#ifndef _WIN32
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    rlimit limit = previous;
    limit.rlim_cur = limitBytes ? limitBytes : previous.rlim_cur;
    setrlimit(RLIMIT_FSIZE, &limit);
    // SIGXFSZ is not ignored here: writeWholeFile must survive it on its own, as kivrel does.
    FileWriteResult result = writeWholeFile(path.string().c_str(), bytes.data(), bytes.size());
    setrlimit(RLIMIT_FSIZE, &previous);
    return result;
#else
    (void)limitBytes;
    return writeWholeFile(path.string().c_str(), bytes.data(), bytes.size());
#endif
}

} // namespace

TEST(WholeFile, IsReplacedWholeOrLeftAsItWasWithNothingLeftBehind)
{
    fs::path folder = fs::path(KIVREL_TEST_OUTPUT_DIR) / "system_file";
    const std::string oldBytes(8192, 'o'), newBytes(20000, 'n');
    struct Case {
        const char* name;
        const char* path;     // in the case's folder, which holds "file" (oldBytes) and "folder/"
        uint64_t limitBytes;  // RLIMIT_FSIZE while writing, 0: none
        FileWriteResult expected;
        const std::string& bytesAfter; // of "file"
    } cases[] = {
        {"replaces an existing file", "file", 0, FileWriteResult::Ok, newBytes},
        // 4096 bytes of the 20000 fit: a full disk, found before anything is renamed.
        {"full disk", "file", 4096, FileWriteResult::WriteFailed, oldBytes},
        {"missing folder", "missing/file", 0, FileWriteResult::OpenFailed, oldBytes},
        {"path is a folder", "folder", 0, FileWriteResult::OpenFailed, oldBytes},
    };
    for (const Case& c : cases) {
#ifdef _WIN32
        if (c.limitBytes)
            continue; // Windows has no per-process file size limit
#endif
        fs::path caseFolder = folder / c.name;
        fs::remove_all(caseFolder);
        fs::create_directories(caseFolder / "folder");
        std::ofstream(caseFolder / "file", std::ios::binary) << oldBytes;
#ifndef _WIN32
        fs::permissions(caseFolder / "file", fs::perms::owner_read | fs::perms::owner_write);
#endif
        const std::set<std::string> before = entries(caseFolder);

        EXPECT_EQ(writeLimited(caseFolder / c.path, newBytes, c.limitBytes), c.expected) << c.name;
        std::string after;
        readWholeFile((caseFolder / "file").string().c_str(), after);
        EXPECT_TRUE(after == c.bytesAfter) << c.name;
        EXPECT_EQ(entries(caseFolder), before) << c.name << ": a file made or lost";
#ifndef _WIN32
        // A private file stays private when replaced.
        EXPECT_EQ(fs::status(caseFolder / "file").permissions(), fs::perms::owner_read | fs::perms::owner_write)
            << c.name;
#endif
    }
}
