// Runs the fuzz target over every file of the folders named on the command line, for builds
// without libFuzzer (the corpus replay of the unit tests). A failed check aborts in the target.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argumentCount, char** arguments)
{
    uint32_t fileCount = 0;
    for (int i = 1; i < argumentCount; ++i)
        for (const auto& entry : std::filesystem::directory_iterator(arguments[i])) {
            // The name first: a crash inside the target is then known by its input.
            std::fprintf(stderr, "%s\n", entry.path().c_str());
            std::ifstream file(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
            LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
            ++fileCount;
        }
    std::fprintf(stderr, "%u inputs ran\n", unsigned(fileCount));
    return fileCount > 0 ? 0 : 1;
}
