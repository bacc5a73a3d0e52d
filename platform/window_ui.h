// The edit mode's UI on the window: the platform feeds Dear ImGui the window's input, size and
// cursor through ImGui's backend for it (SDL2 on Linux, Win32 on Windows). The caller owns the
// ImGui context; between start and stop every pump hands ImGui each message too.
#pragma once

struct Window;

void startWindowUi(Window* window);
// Before ImGui::NewFrame: the display size, time step, mouse and cursor.
void beginWindowUiFrame(Window* window);
void stopWindowUi(Window* window);
