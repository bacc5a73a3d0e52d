// The edit mode's UI renderer: draws Dear ImGui's draw data over the back buffer through
// ImGui's Vulkan backend. The caller owns the ImGui context and builds each frame's UI.
#pragma once

struct CommandList;
struct RenderApp;
struct UiRenderer;

// On a windowed context, with the ImGui context made.
UiRenderer* createUiRenderer(RenderApp& app);
// Waits for every frame first; before the ImGui context goes.
void destroyUiRenderer(RenderApp& app, UiRenderer*& ui);
// Draws the last ImGui::Render()'s draw data over this frame's back buffer, which is a render
// target (after the frame's final pass) and stays one.
void recordUi(RenderApp& app, UiRenderer& ui, CommandList* list);
