// The video step of the capture: the written PNG frames and the soundtrack muxed into one
// file by ffmpeg, when ffmpeg is installed. The program is run through the shell with every
// path quoted, so folder names with spaces or quotes reach it unchanged.
#pragma once

#include <cstdint>
#include <string>

// The first executable `name` in the colon-separated folder list (PATH's form); empty when none.
std::string findProgram(const char* name, const char* folderList);
// Quoted for a POSIX shell: the text in single quotes, each ' written as '\''.
std::string shellQuote(const std::string& text);
// A captured frame's file: <folder>/frame_<timeline frame, five digits>.png.
std::string framePath(const std::string& folder, uint32_t frame);
// ffmpeg reading `frameCount` frames at 60 per second from the folder's frame files starting
// at firstFrame, and the WAV; overwrites videoPath. Paths that start with '-' must be given
// with a folder ("./-x") so that ffmpeg does not read them as options.
std::string muxCommand(const std::string& ffmpeg, const std::string& frameFolder, uint32_t firstFrame,
                       uint32_t frameCount, const std::string& wavPath, const std::string& videoPath);
// Runs a shell command; true when it exits with 0.
bool runCommand(const std::string& command);
