// A stand-in ffmpeg.exe for the capture's video step under Wine (tests/win32/tools_check.sh):
// writes its arguments, one a line, into the file named last, as ffmpeg would write the video
// there, and exits 0. So the check sees what the capture handed over, argument for argument.
#include <cstdio>

int main(int argc, char** argv)
{
    std::FILE* file = argc > 1 ? std::fopen(argv[argc - 1], "wb") : nullptr;
    if (!file)
        return 1;
    for (int i = 1; i < argc; ++i)
        std::fprintf(file, "%s\n", argv[i]);
    return std::fclose(file) == 0 ? 0 : 1;
}
