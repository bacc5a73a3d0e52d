// GPU timestamps: marks written into a frame's command list when the GPU gets there, read
// back once the frame has finished. For measurements (tools, tests); the piece writes none.
#pragma once

#include <cstdint>

struct RenderApp;
struct CommandList;
struct TimestampQueries; // Vulkan query pool, defined in gfx/vk_timestamps.cpp

// count marks; null when the device's queue cannot take timestamps.
TimestampQueries* createTimestampQueries(RenderApp& app, uint32_t count);
// Defers the query pool and frees the record; null does nothing.
void destroyTimestampQueries(RenderApp& app, TimestampQueries*& queries);
// Clears every mark; recorded once per measured frame, before its first mark.
void resetTimestamps(CommandList* list, TimestampQueries* queries);
// Mark index is taken once every command recorded before it has finished.
void writeTimestamp(CommandList* list, TimestampQueries* queries, uint32_t index);
// Milliseconds of marks 0 .. count - 1 from mark 0, after waiting for every submitted frame;
// false when a mark was not written (or the marks were never reset).
bool readTimestamps(RenderApp& app, TimestampQueries* queries, double* milliseconds, uint32_t count);
