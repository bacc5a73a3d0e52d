// The Vulkan objects behind the graphics layer's records. Included only by gfx/*.cpp and
// the GPU tests; nothing above gfx/ sees Vulkan.
#pragma once

#include "gfx/commands.h"
#include "gfx/context.h"
#include "gfx/descriptors.h"
#include "gfx/passes.h"
#include "gfx/pipelines.h"
#include "gfx/resources.h"

#include <vulkan/vulkan.h>

// Which destroy call a deferred handle needs.
enum class ReleaseKind : uint32_t {
    Buffer = 1,
    Image,
    ImageView,
    Memory,
    Pipeline,
    PipelineLayout,
    DescriptorSetLayout,
    Sampler,
    DescriptorPool,
    QueryPool,
    Framebuffer,
};
// deferRelease of a Vulkan handle of that kind.
inline void deferRelease(RenderApp& app, ReleaseKind kind, uint64_t handle)
{
    deferRelease(app, ReleaseEntry{uint32_t(kind), handle});
}

struct BufferResource {
    VkDevice device;
    VkBuffer buffer;
    VkDeviceMemory memory;
    VkDeviceSize size;
    void* mapped;       // host-visible buffers stay mapped
    bool coherent;
};

struct ImageView {
    uint32_t format;
    VkImageView view;
};

struct ImageResource {
    VkImage image;
    VkDeviceMemory memory; // null for swapchain images
    VkFormat format;
    VkImageAspectFlags aspect;
    DynamicArray<ImageView> views; // one per view format, made on first use
    bool swapchainImage;           // state PRESENT means PRESENT_SRC_KHR only for these
    bool zeroPending;              // made without data: zeroed when its first layout is recorded
    RenderApp* app;
};

struct DescriptorPoolResource {
    VkDevice device;
    VkDescriptorPool pool;
    // Counted here because some drivers (lavapipe) allocate past maxSets without failing.
    uint32_t setsAllocated;
    uint32_t maxSets;
};

struct PipelineResource {
    VkPipeline pipeline;
    VkPipelineLayout layout;
    VkDescriptorSetLayout setLayout;
    VkSampler samplers[staticSamplerLimit];
    VkPipelineBindPoint bindPoint;
    VkShaderStageFlags pushStages;    // 0 without root constants
    uint32_t rootConstantParameter;
    DynamicArray<RootBinding> bindings; // descriptor bindings of the tables, in table order
    DynamicArray<VkDescriptorType> types; // per binding, from the programs (or the range type)
    uint32_t parameterCount;
    uint32_t renderTargetFormat; // graphics: the first render target's format (0 = none)
};

struct CommandList {
    VkCommandBuffer buffer;
    RenderApp* app;
    DescriptorHeap* heap;
    Pipeline* pipeline;
    DescriptorTable tables[rootParameterLimit];
    bool tableBound[rootParameterLimit];
    bool setDirty;
    ViewRecord renderTarget; // the target set by setRenderTarget (kind None when none)
    bool rendering;          // inside vkCmdBeginRendering
    uint64_t barrierCalls;
};

struct VulkanContext {
    VkInstance instance;
    VkDebugUtilsMessengerEXT messenger;
    VkPhysicalDevice physicalDevice;
    VkDevice device;
    VkQueue queue;
    uint32_t queueFamily;
    VkPhysicalDeviceMemoryProperties memoryProperties;
    bool debugUtils;
    char deviceName[VK_MAX_PHYSICAL_DEVICE_NAME_SIZE]; // as the driver names it
    uint32_t imageSizeLimit; // pixels, either side of a 2-D image
    AllocationFailureReport allocationFailureReport; // null: a PANIC
    void* allocationFailureData;
    uint64_t validationErrors;

    VkCommandPool commandPools[frameCount];
    CommandList commandLists[frameCount];
    VkSemaphore frameFences[frameCount]; // timeline semaphores: the D3D12 fences of the slots
    DynamicArray<Image*> pendingLayouts; // images whose first layout is still to be recorded
    DynamicArray<Buffer*> pendingFills;  // device-local buffers still to be zeroed

    // Windowed only.
    VkSurfaceKHR surface;
    VkSwapchainKHR swapchain;
    VkFormat swapchainFormat;
    VkExtent2D swapchainExtent;
    VkSemaphore acquired[frameCount];          // per frame slot
    VkSemaphore renderDone[backBufferLimit];   // per swapchain image
    bool backBufferNeedsLayout[backBufferLimit]; // not acquired since the swapchain was made
    VkSemaphore presentFence;                  // timeline: signalled after each present
    uint64_t presentFenceValue;
    bool imageAcquired;                        // this frame presents
    bool swapchainStale;                       // recreate before the next acquire
    bool surfaceLost;                          // the window went away: a quit, nothing presented again
    // Stands in for the back buffer when headless, or while the window has no area.
    Image offscreen;
    Image* frameBackBuffer;
};

// A failed Vulkan call with a message of the system's own is a PANIC with that message.
// >>instance and device (vk_device.cpp)
void createInstance(RenderApp& app, VulkanContext& vk, const GraphicsOptions& options);
// Discrete > integrated > virtual > CPU; the device needs Vulkan 1.3, one queue family with
// graphics and compute (and presentation when windowed) and the features createDevice enables.
void pickPhysicalDevice(VulkanContext& vk);
void createDevice(RenderApp& app, VulkanContext& vk);
// The device, the surface, the validation messenger and the instance, in that order.
void destroyDevice(VulkanContext& vk);

void checkVulkan(VkResult result, const char* panicMessage);
void setDebugName(RenderApp& app, VkObjectType type, uint64_t handle, const char* name);
VulkanContext& vulkanOf(RenderApp& app);

VkFormat vulkanFormat(uint32_t format);
bool isDepthFormat(uint32_t format);
// Layout, access and stages of a tracked D3D12 state (images pass swapchainImage).
VkImageLayout layoutForState(uint32_t state, bool swapchainImage);
VkAccessFlags2 accessForState(uint32_t state);
VkPipelineStageFlags2 stagesForState(uint32_t state);

BufferResource* createBufferResource(RenderApp& app, VkDeviceSize size, bool hostVisible, bool readback,
                                     const char* name);
// Makes CPU writes to a mapped block visible to the GPU (nothing to do on coherent memory).
void flushMapped(BufferResource* resource);
void deferBufferResource(RenderApp& app, BufferResource*& resource);
// createImage and destroyImage on a record the caller owns (the back buffers).
void initImageRecord(RenderApp& app, Image* image, uint32_t width, uint32_t height, const void* data,
                     uint32_t initialState, uint32_t format, uint32_t flags);
void releaseImageRecord(RenderApp& app, Image* image);
VkImageView imageViewFor(Image* image, uint32_t format);
// The whole image as one copy region from or to a buffer of bufferBytes bytes laid out as
// imageFootprint says; false, after an ASSERT, when the buffer cannot hold it.
bool footprintRegion(const Image* image, uint64_t bufferBytes, VkBufferImageCopy* region);
// The layout of the image's creation state, zeroing it first when it was made without data.
void recordFirstLayout(CommandList* list, Image* image);
// A zero fill (vkCmdFillBuffer) is complete before any later command reads or writes the buffer.
void recordFillBarrier(CommandList* list);
// Records the first layout of every image created since (before its first use).
void recordPendingLayouts(RenderApp& app, CommandList* list);
void recordUploads(RenderApp& app, FrameContext& frame);
void dropPendingUploads(RenderApp& app, Image* image, Buffer* buffer);

// What the programs declare: the descriptor type per binding of set 0 (MAX_ENUM = none), and
// whether they have push constants. reflectProgram adds one program's declarations.
constexpr uint32_t programBindingLimit = 64;
struct ProgramInterface {
    VkDescriptorType types[programBindingLimit];
    bool pushConstants;
};
void reflectProgram(ShaderBytecode program, ProgramInterface& interface);

void openCommandList(CommandList* list);
void closeCommandList(CommandList* list);
void endRendering(CommandList* list);
// What an image is used as on one side of a barrier.
struct ImageAccess {
    VkImageLayout layout;
    VkPipelineStageFlags2 stages;
    VkAccessFlags2 access;
};
// The layout, stages and access of a tracked D3D12 state.
ImageAccess imageAccessFor(uint32_t state, bool swapchainImage);
// A barrier over the whole image (its one mip and layer).
VkImageMemoryBarrier2 wholeImageBarrier(const ImageResource& resource, ImageAccess from, ImageAccess to);
// One global memory dependency (vkCmdPipelineBarrier2 with a single VkMemoryBarrier2).
void recordMemoryBarrier(CommandList* list, VkPipelineStageFlags2 sourceStages, VkAccessFlags2 sourceAccess,
                         VkPipelineStageFlags2 destinationStages, VkAccessFlags2 destinationAccess);
