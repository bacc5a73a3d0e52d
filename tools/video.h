// The video step of the capture: the written PNG frames and the soundtrack muxed into one
// file by ffmpeg (ffmpeg.exe on Windows), when one is on the PATH. The program is run without
// a shell (system.h's runProgram), so folder names with spaces or quotes reach it unchanged.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The first executable `name` (with the system's program ending) in a folder list of PATH's
// form; empty when none.
std::string findProgram(const char* name, const char* folderList);
// A captured frame's file: <folder>/frame_<timeline frame, five digits>.png.
std::string framePath(const std::string& folder, uint32_t frame);
// ffmpeg reading `frameCount` frames at 60 per second from the folder's frame files starting
// at firstFrame, and the WAV; overwrites videoPath. Paths that start with '-' must be given
// with a folder ("./-x") so that ffmpeg does not read them as options.
std::vector<std::string> muxArguments(const std::string& ffmpeg, const std::string& frameFolder, uint32_t firstFrame,
                                      uint32_t frameCount, const std::string& wavPath, const std::string& videoPath);
