// The video step of the capture (see video.h).
#include "tools/video.h"

#include "system/system.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::string findProgram(const char* name, const char* folderList)
{
    if (!folderList)
        return {};
    std::string folders = folderList;
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(pathListSeparator, start);
        if (end == std::string::npos)
            end = folders.size();
        // An empty entry means the current folder, as the shell reads PATH.
        std::string folder = end > start ? folders.substr(start, end - start) : ".";
        std::filesystem::path candidate = std::filesystem::path(folder) / (std::string(name) + programFileSuffix);
        std::error_code error;
        auto status = std::filesystem::status(candidate, error);
        bool executable = (status.permissions() & std::filesystem::perms::owner_exec) != std::filesystem::perms::none;
        if (!error && std::filesystem::is_regular_file(status) && executable)
            return candidate.string();
        start = end + 1;
    }
    return {};
}

std::string framePath(const std::string& folder, uint32_t frame)
{
    char name[32];
    std::snprintf(name, sizeof(name), "frame_%05u.png", frame);
    return (std::filesystem::path(folder) / name).string();
}

std::vector<std::string> muxArguments(const std::string& ffmpeg, const std::string& frameFolder, uint32_t firstFrame,
                                      uint32_t frameCount, const std::string& wavPath, const std::string& videoPath)
{
    // ffmpeg reads the file name as a printf pattern: a '%' of the folder's own is doubled.
    std::string folder;
    for (char c : frameFolder)
        folder += c == '%' ? std::string("%%") : std::string(1, c);
    std::string framePattern = (std::filesystem::path(folder) / "frame_%05d.png").string();
    // The frames are read for count / 60 s: frame k lasts from k / 60 to (k + 1) / 60, and ffmpeg
    // keeps the frames that end within the duration, so exactly `count` of them (half a frame
    // less lost the last frame of 4, 7, 10, ... frames). An output frame limit (-frames:v) would
    // end the file with the last picture and drop the sound still buffered for it: a short
    // clip's MP4 then had none at all.
    char duration[32];
    std::snprintf(duration, sizeof(duration), "%.9f", double(frameCount) / 60.0);
    // yuv420p: the pixel format every player takes; the encoders follow the file's extension.
    return {ffmpeg, "-nostdin", "-y", "-loglevel", "error", "-framerate", "60", "-start_number",
            std::to_string(firstFrame), "-t", duration, "-i", framePattern, "-i", wavPath, "-pix_fmt", "yuv420p",
            "-shortest", videoPath};
}
