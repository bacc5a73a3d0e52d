// Runs the fuzz target over files and folders named on the command line, for builds without
// libFuzzer (the corpus replay of the unit tests). A failed check aborts inside the target.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

void runFile(const std::filesystem::path& path)
{
    // The name first: a crash inside the target is then known by its input.
    std::fprintf(stderr, "%s\n", path.c_str());
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
}

} // namespace

int main(int argumentCount, char** arguments)
{
    uint32_t fileCount = 0;
    for (int i = 1; i < argumentCount; ++i) {
        std::error_code error;
        if (std::filesystem::is_regular_file(arguments[i], error)) {
            runFile(arguments[i]);
            ++fileCount;
            continue;
        }
        std::filesystem::directory_iterator folder(arguments[i], error);
        if (error) {
            std::fprintf(stderr, "Cannot read %s: %s\n", arguments[i], error.message().c_str());
            return 1;
        }
        for (const auto& entry : folder)
            if (entry.is_regular_file()) {
                runFile(entry.path());
                ++fileCount;
            }
    }
    std::fprintf(stderr, "%u inputs ran\n", unsigned(fileCount));
    return fileCount > 0 ? 0 : 1;
}
