// The graphics context on Vulkan: instance, device and queue, the frame ring's command
// buffers and fences (timeline semaphores), deferred release, headless back buffer.
// The swapchain lives in vk_swapchain.cpp.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <cstring>

void acquireBackBuffer(RenderApp& app, uint32_t slot);
void submitAndPresent(RenderApp& app, uint32_t slot, uint64_t fenceValue);
void createSwapchain(RenderApp& app);
void destroySwapchain(RenderApp& app);

namespace {

PFN_vkSetDebugUtilsObjectNameEXT setObjectName = nullptr;

VKAPI_ATTR VkBool32 VKAPI_CALL onValidationMessage(VkDebugUtilsMessageSeverityFlagBitsEXT severity,
                                                   VkDebugUtilsMessageTypeFlagsEXT,
                                                   const VkDebugUtilsMessengerCallbackDataEXT* data, void* user)
{
    bool error = severity & VK_DEBUG_UTILS_MESSAGE_SEVERITY_ERROR_BIT_EXT;
    if (error)
        *static_cast<uint64_t*>(user) += 1;
    logMessage("gfx: validation %s: %s\n", error ? "error" : "warning", data->pMessage);
    return VK_FALSE;
}

bool hasLayer(const char* name)
{
    uint32_t count = 0;
    vkEnumerateInstanceLayerProperties(&count, nullptr);
    DynamicArray<VkLayerProperties> layers;
    if (count == 0)
        return false;
    layers.reserve(count);
    vkEnumerateInstanceLayerProperties(&count, layers.data);
    bool found = false;
    for (uint32_t i = 0; i < count; ++i)
        found = found || std::strcmp(layers.data[i].layerName, name) == 0;
    layers.clear();
    return found;
}

bool hasInstanceExtension(const char* name)
{
    uint32_t count = 0;
    vkEnumerateInstanceExtensionProperties(nullptr, &count, nullptr);
    if (count == 0)
        return false;
    DynamicArray<VkExtensionProperties> extensions;
    extensions.reserve(count);
    vkEnumerateInstanceExtensionProperties(nullptr, &count, extensions.data);
    bool found = false;
    for (uint32_t i = 0; i < count; ++i)
        found = found || std::strcmp(extensions.data[i].extensionName, name) == 0;
    extensions.clear();
    return found;
}

void createInstance(RenderApp& app, VulkanContext& vk, const GraphicsOptions& options)
{
    if (!loadVulkan())
        PANIC("PANIC: Failed to create factory\n");
    FixedArray<const char*, 16> extensions;
    if (app.window) {
        uint32_t count = 0;
        const char* const* names = windowVulkanExtensions(app.window, &count);
        for (uint32_t i = 0; i < count; ++i)
            extensions.push(names[i]);
    }
    vk.debugUtils = options.validation || hasInstanceExtension(VK_EXT_DEBUG_UTILS_EXTENSION_NAME);
    if (vk.debugUtils)
        extensions.push(VK_EXT_DEBUG_UTILS_EXTENSION_NAME);
    const char* layers[] = {"VK_LAYER_KHRONOS_validation"};
    if (options.validation && !hasLayer(layers[0]))
        PANIC("PANIC: Validation layer VK_LAYER_KHRONOS_validation is not installed\n");

    VkApplicationInfo application = {.sType = VK_STRUCTURE_TYPE_APPLICATION_INFO,
                                     .pApplicationName = "KIVREL",
                                     .pEngineName = "KIVREL",
                                     .apiVersion = VK_API_VERSION_1_3};
    VkDebugUtilsMessengerCreateInfoEXT messenger = {
        .sType = VK_STRUCTURE_TYPE_DEBUG_UTILS_MESSENGER_CREATE_INFO_EXT,
        .messageSeverity = VK_DEBUG_UTILS_MESSAGE_SEVERITY_WARNING_BIT_EXT | VK_DEBUG_UTILS_MESSAGE_SEVERITY_ERROR_BIT_EXT,
        .messageType = VK_DEBUG_UTILS_MESSAGE_TYPE_GENERAL_BIT_EXT | VK_DEBUG_UTILS_MESSAGE_TYPE_VALIDATION_BIT_EXT,
        .pfnUserCallback = onValidationMessage,
        .pUserData = &app.validationErrors,
    };
    VkInstanceCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_INSTANCE_CREATE_INFO,
        .pNext = options.validation ? &messenger : nullptr,
        .pApplicationInfo = &application,
        .enabledLayerCount = options.validation ? 1u : 0u,
        .ppEnabledLayerNames = layers,
        .enabledExtensionCount = uint32_t(extensions.count),
        .ppEnabledExtensionNames = extensions.data,
    };
    checkVulkan(vkCreateInstance(&info, nullptr, &vk.instance), "PANIC: Failed to create factory\n");
    loadVulkanInstance(vk.instance);
    if (options.validation) {
        auto create = reinterpret_cast<PFN_vkCreateDebugUtilsMessengerEXT>(
            vkGetInstanceProcAddr(vk.instance, "vkCreateDebugUtilsMessengerEXT"));
        checkVulkan(create ? create(vk.instance, &messenger, nullptr, &vk.messenger) : VK_ERROR_EXTENSION_NOT_PRESENT,
                    "PANIC: Failed to create factory\n");
    }
    if (vk.debugUtils) {
        setObjectName = reinterpret_cast<PFN_vkSetDebugUtilsObjectNameEXT>(
            vkGetInstanceProcAddr(vk.instance, "vkSetDebugUtilsObjectNameEXT"));
    }
}

// Discrete > integrated > virtual > CPU; the device needs Vulkan 1.3, one queue family with
// graphics and compute (and presentation when windowed) and the features below.
void pickPhysicalDevice(VulkanContext& vk)
{
    uint32_t count = 0;
    vkEnumeratePhysicalDevices(vk.instance, &count, nullptr);
    DynamicArray<VkPhysicalDevice> devices;
    if (count)
        devices.reserve(count);
    vkEnumeratePhysicalDevices(vk.instance, &count, devices.data);
    int bestScore = 0;
    for (uint32_t i = 0; i < count; ++i) {
        VkPhysicalDeviceProperties properties;
        vkGetPhysicalDeviceProperties(devices.data[i], &properties);
        VkPhysicalDeviceFeatures features;
        vkGetPhysicalDeviceFeatures(devices.data[i], &features);
        if (properties.apiVersion < VK_API_VERSION_1_3 || !features.shaderStorageImageWriteWithoutFormat)
            continue;
        uint32_t familyCount = 0;
        vkGetPhysicalDeviceQueueFamilyProperties(devices.data[i], &familyCount, nullptr);
        VkQueueFamilyProperties families[16];
        familyCount = familyCount > 16 ? 16 : familyCount;
        vkGetPhysicalDeviceQueueFamilyProperties(devices.data[i], &familyCount, families);
        int family = -1;
        for (uint32_t f = 0; f < familyCount && family < 0; ++f) {
            VkQueueFlags needed = VK_QUEUE_GRAPHICS_BIT | VK_QUEUE_COMPUTE_BIT;
            VkBool32 present = VK_TRUE;
            if (vk.surface)
                vkGetPhysicalDeviceSurfaceSupportKHR(devices.data[i], f, vk.surface, &present);
            if ((families[f].queueFlags & needed) == needed && present)
                family = int(f);
        }
        if (family < 0)
            continue;
        int score = properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_DISCRETE_GPU     ? 4
                    : properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_INTEGRATED_GPU ? 3
                    : properties.deviceType == VK_PHYSICAL_DEVICE_TYPE_VIRTUAL_GPU    ? 2
                                                                                      : 1;
        if (score > bestScore) {
            bestScore = score;
            vk.physicalDevice = devices.data[i];
            std::memcpy(vk.deviceName, properties.deviceName, sizeof(vk.deviceName));
            vk.queueFamily = uint32_t(family);
        }
    }
    devices.clear();
    if (!vk.physicalDevice)
        PANIC("PANIC: Failed to aquire adapter\n");
    vkGetPhysicalDeviceMemoryProperties(vk.physicalDevice, &vk.memoryProperties);
    VkPhysicalDeviceProperties2 properties = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2};
    vkGetPhysicalDeviceProperties2(vk.physicalDevice, &properties);
    vk.imageSizeLimit = properties.properties.limits.maxImageDimension2D;
}

void createDevice(RenderApp& app, VulkanContext& vk)
{
    VkPhysicalDeviceVulkan13Features features13 = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_3_FEATURES};
    VkPhysicalDeviceVulkan12Features features12 = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_FEATURES,
                                                   .pNext = &features13};
    VkPhysicalDeviceFeatures2 supported = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_FEATURES_2, .pNext = &features12};
    vkGetPhysicalDeviceFeatures2(vk.physicalDevice, &supported);
    if (!features13.dynamicRendering || !features13.synchronization2 || !features12.timelineSemaphore)
        PANIC("PANIC: Failed to create device\n");

    VkPhysicalDeviceVulkan13Features enable13 = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_3_FEATURES,
                                                 .synchronization2 = VK_TRUE,
                                                 .dynamicRendering = VK_TRUE};
    VkPhysicalDeviceVulkan12Features enable12 = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_VULKAN_1_2_FEATURES,
                                                 .pNext = &enable13,
                                                 .timelineSemaphore = VK_TRUE};
    VkPhysicalDeviceFeatures2 enable = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_FEATURES_2, .pNext = &enable12};
    enable.features.shaderStorageImageWriteWithoutFormat = VK_TRUE;

    float priority = 1.0f;
    VkDeviceQueueCreateInfo queue = {.sType = VK_STRUCTURE_TYPE_DEVICE_QUEUE_CREATE_INFO,
                                     .queueFamilyIndex = vk.queueFamily,
                                     .queueCount = 1,
                                     .pQueuePriorities = &priority};
    const char* extensions[] = {VK_KHR_SWAPCHAIN_EXTENSION_NAME};
    VkDeviceCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_DEVICE_CREATE_INFO,
        .pNext = &enable,
        .queueCreateInfoCount = 1,
        .pQueueCreateInfos = &queue,
        .enabledExtensionCount = vk.surface ? 1u : 0u,
        .ppEnabledExtensionNames = extensions,
    };
    checkVulkan(vkCreateDevice(vk.physicalDevice, &info, nullptr, &vk.device), "PANIC: Failed to create device\n");
    vkGetDeviceQueue(vk.device, vk.queueFamily, 0, &vk.queue);
    if (!vk.queue)
        PANIC("PANIC: Failed to create command queue\n");
    setDebugName(app, VK_OBJECT_TYPE_QUEUE, uint64_t(vk.queue), "gfx::graphicsCommandQueue");
}

VkSemaphore createTimelineSemaphore(RenderApp& app, const char* name, const char* panicMessage)
{
    VkSemaphoreTypeCreateInfo type = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_TYPE_CREATE_INFO,
                                      .semaphoreType = VK_SEMAPHORE_TYPE_TIMELINE,
                                      .initialValue = 0};
    VkSemaphoreCreateInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_CREATE_INFO, .pNext = &type};
    VkSemaphore semaphore = VK_NULL_HANDLE;
    checkVulkan(vkCreateSemaphore(vulkanOf(app).device, &info, nullptr, &semaphore), panicMessage);
    setDebugName(app, VK_OBJECT_TYPE_SEMAPHORE, uint64_t(semaphore), name);
    return semaphore;
}

void createFrameSlots(RenderApp& app, VulkanContext& vk)
{
    for (uint32_t slot = 0; slot < frameCount; ++slot) {
        VkCommandPoolCreateInfo poolInfo = {.sType = VK_STRUCTURE_TYPE_COMMAND_POOL_CREATE_INFO,
                                            .queueFamilyIndex = vk.queueFamily};
        checkVulkan(vkCreateCommandPool(vk.device, &poolInfo, nullptr, &vk.commandPools[slot]),
                    "PANIC: Failed to create command allocator\n");
        VkCommandBufferAllocateInfo listInfo = {.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_ALLOCATE_INFO,
                                                .commandPool = vk.commandPools[slot],
                                                .level = VK_COMMAND_BUFFER_LEVEL_PRIMARY,
                                                .commandBufferCount = 1};
        CommandList& list = vk.commandLists[slot];
        list = {};
        list.app = &app;
        checkVulkan(vkAllocateCommandBuffers(vk.device, &listInfo, &list.buffer),
                    "PANIC: Failed to create command list\n");
        vk.frameFences[slot] = createTimelineSemaphore(app, "gfx::frame::fence", "PANIC: Failed to create fence\n");
        setDebugName(app, VK_OBJECT_TYPE_COMMAND_POOL, uint64_t(vk.commandPools[slot]), "gfx::frame::commandAllocator");
        setDebugName(app, VK_OBJECT_TYPE_COMMAND_BUFFER, uint64_t(list.buffer), "gfx::frame::commandList");
        app.frames[slot] = {.commandList = &list, .index = slot};
    }
}

uint64_t fenceCompletedValue(void* user, uint32_t slot)
{
    VulkanContext& vk = *static_cast<VulkanContext*>(user);
    uint64_t value = 0;
    checkVulkan(vkGetSemaphoreCounterValue(vk.device, vk.frameFences[slot], &value), "PANIC: Failed to wait for fence\n");
    return value;
}

void fenceWait(void* user, uint32_t slot, uint64_t value)
{
    VulkanContext& vk = *static_cast<VulkanContext*>(user);
    VkSemaphoreWaitInfo info = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_WAIT_INFO,
                                .semaphoreCount = 1,
                                .pSemaphores = &vk.frameFences[slot],
                                .pValues = &value};
    checkVulkan(vkWaitSemaphores(vk.device, &info, UINT64_MAX), "PANIC: Failed to wait for fence\n");
}

void releaseHandle(void* user, const ReleaseEntry& entry)
{
    VkDevice device = static_cast<VulkanContext*>(user)->device;
    switch (entry.kind) {
    case RELEASE_BUFFER: vkDestroyBuffer(device, VkBuffer(entry.handle), nullptr); break;
    case RELEASE_IMAGE: vkDestroyImage(device, VkImage(entry.handle), nullptr); break;
    case RELEASE_IMAGE_VIEW: vkDestroyImageView(device, VkImageView(entry.handle), nullptr); break;
    case RELEASE_MEMORY: vkFreeMemory(device, VkDeviceMemory(entry.handle), nullptr); break;
    case RELEASE_PIPELINE: vkDestroyPipeline(device, VkPipeline(entry.handle), nullptr); break;
    case RELEASE_PIPELINE_LAYOUT: vkDestroyPipelineLayout(device, VkPipelineLayout(entry.handle), nullptr); break;
    case RELEASE_DESCRIPTOR_SET_LAYOUT:
        vkDestroyDescriptorSetLayout(device, VkDescriptorSetLayout(entry.handle), nullptr);
        break;
    case RELEASE_SAMPLER: vkDestroySampler(device, VkSampler(entry.handle), nullptr); break;
    case RELEASE_DESCRIPTOR_POOL: vkDestroyDescriptorPool(device, VkDescriptorPool(entry.handle), nullptr); break;
    case RELEASE_QUERY_POOL: vkDestroyQueryPool(device, VkQueryPool(entry.handle), nullptr); break;
    default: ASSERT(false, "ASSERT: Unknown release kind %u\n", entry.kind); break;
    }
}

FrameFenceCallbacks fenceCallbacks(VulkanContext& vk)
{
    return {.user = &vk, .completedValue = fenceCompletedValue, .waitForValue = fenceWait, .release = releaseHandle};
}

} // namespace

// >>helpers

void checkVulkan(VkResult result, const char* panicMessage)
{
    if (result != VK_SUCCESS)
        PANIC("%s", panicMessage);
}

VulkanContext& vulkanOf(RenderApp& app)
{
    return *app.vulkan;
}

void setDebugName(RenderApp& app, VkObjectType type, uint64_t handle, const char* name)
{
    if (!setObjectName || !app.vulkan || !handle)
        return;
    VkDebugUtilsObjectNameInfoEXT info = {.sType = VK_STRUCTURE_TYPE_DEBUG_UTILS_OBJECT_NAME_INFO_EXT,
                                          .objectType = type,
                                          .objectHandle = handle,
                                          .pObjectName = name};
    setObjectName(app.vulkan->device, &info);
}

RenderApp::~RenderApp()
{
    delete vulkan;
}

// >>context

void initGraphics(RenderApp& app, const GraphicsOptions& options)
{
    ASSERT(!app.vulkan, "ASSERT: initGraphics called twice\n");
    app.vulkan = new VulkanContext{};
    VulkanContext& vk = *app.vulkan;
    vk.allocationFailureReport = options.allocationFailureReport;
    vk.allocationFailureData = options.allocationFailureData;
    app.ring = {};
    app.windowState = {};
    if (options.headless) {
        app.width = options.width;
        app.height = options.height;
    } else {
        app.window = createWindow("KIVREL");
        windowSize(app.window, &app.width, &app.height);
    }
    createInstance(app, vk, options);
    if (app.window) {
        uint64_t surface = 0;
        if (!createWindowSurface(app.window, vk.instance, &surface))
            PANIC("PANIC: Failed to create window surface\n");
        vk.surface = VkSurfaceKHR(surface);
    }
    pickPhysicalDevice(vk);
    createDevice(app, vk);
    createFrameSlots(app, vk);

    if (app.window)
        createSwapchain(app);
    // The offscreen back buffer: the headless context's only one, and the stand-in (in the
    // swapchain's format) while a window has no area to present to.
    Image* offscreen = app.window ? &vk.offscreen : &app.backBuffers[0];
    uint32_t format = app.backBufferCount ? app.backBuffers[0].format : uint32_t(FORMAT_R8G8B8A8_UNORM);
    initImageRecord(app, offscreen, app.width, app.height, nullptr, STATE_PRESENT, format,
                    RESOURCE_FLAG_ALLOW_RENDER_TARGET);
    setDebugName(app, VK_OBJECT_TYPE_IMAGE, uint64_t(offscreen->resource->image), "gfx::backbuffer");
    if (!app.window) {
        app.backBufferCount = 1;
        vk.frameBackBuffer = offscreen;
    }
}

const char* graphicsDeviceName(const RenderApp& app)
{
    return app.vulkan ? app.vulkan->deviceName : "";
}

uint32_t backBufferFormat(const RenderApp& app)
{
    return app.window ? app.vulkan->offscreen.format : app.backBuffers[0].format;
}

FrameContext* beginFrame(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    uint32_t slot = frameRingBegin(app.ring, fenceCallbacks(vk));
    FrameContext& frame = app.frames[slot];
    checkVulkan(vkResetCommandPool(vk.device, vk.commandPools[slot], 0), "PANIC: Failed to reset command allocator\n");
    openCommandList(frame.commandList);
    if (app.window)
        acquireBackBuffer(app, slot);
    else
        vk.frameBackBuffer = &app.backBuffers[0];
    recordPendingLayouts(app, frame.commandList);
    recordUploads(app, frame);
    frameRingRecording(app.ring);
    return &frame;
}

void endFrame(RenderApp& app)
{
    VulkanContext& vk = vulkanOf(app);
    uint32_t recordedSlot = uint32_t(app.ring.currentFrame);
    closeCommandList(app.frames[recordedSlot].commandList);
    uint32_t slot = 0;
    uint64_t value = frameRingSubmit(app.ring, &slot);
    if (app.window) {
        submitAndPresent(app, slot, value);
    } else {
        VkCommandBufferSubmitInfo commands = {.sType = VK_STRUCTURE_TYPE_COMMAND_BUFFER_SUBMIT_INFO,
                                              .commandBuffer = app.frames[slot].commandList->buffer};
        VkSemaphoreSubmitInfo signal = {.sType = VK_STRUCTURE_TYPE_SEMAPHORE_SUBMIT_INFO,
                                        .semaphore = vk.frameFences[slot],
                                        .value = value,
                                        .stageMask = VK_PIPELINE_STAGE_2_ALL_COMMANDS_BIT};
        VkSubmitInfo2 submit = {.sType = VK_STRUCTURE_TYPE_SUBMIT_INFO_2,
                                .commandBufferInfoCount = 1,
                                .pCommandBufferInfos = &commands,
                                .signalSemaphoreInfoCount = 1,
                                .pSignalSemaphoreInfos = &signal};
        checkVulkan(vkQueueSubmit2(vk.queue, 1, &submit, VK_NULL_HANDLE), "PANIC: Failed to signal frame fence\n");
    }
    frameRingEnd(app.ring);
}

void waitForAllFrames(RenderApp& app)
{
    frameRingWaitAll(app.ring, fenceCallbacks(vulkanOf(app)));
}

void deferRelease(RenderApp& app, ReleaseEntry entry)
{
    frameRingDefer(app.ring, entry);
}

Image* currentBackBuffer(RenderApp& app)
{
    return vulkanOf(app).frameBackBuffer;
}

void destroyGraphics(RenderApp& app)
{
    if (!app.vulkan)
        return;
    VulkanContext& vk = vulkanOf(app);
    waitForAllFrames(app);
    vkDeviceWaitIdle(vk.device);
    if (app.window)
        destroySwapchain(app);
    releaseImageRecord(app, app.window ? &vk.offscreen : &app.backBuffers[0]);
    // Both the slot lists and the deferred lists: nothing is left to leak.
    frameRingReleaseAll(app.ring, fenceCallbacks(vk));
    for (uint32_t slot = 0; slot < frameCount; ++slot) {
        vkDestroyCommandPool(vk.device, vk.commandPools[slot], nullptr);
        vkDestroySemaphore(vk.device, vk.frameFences[slot], nullptr);
        app.frames[slot].pendingImageUploads.clear();
        app.frames[slot].pendingBufferUploads.clear();
        app.frames[slot].commandList = nullptr;
    }
    vk.pendingLayouts.clear();
    vkDestroyDevice(vk.device, nullptr);
    if (vk.surface)
        vkDestroySurfaceKHR(vk.instance, vk.surface, nullptr);
    if (vk.messenger) {
        auto destroy = reinterpret_cast<PFN_vkDestroyDebugUtilsMessengerEXT>(
            vkGetInstanceProcAddr(vk.instance, "vkDestroyDebugUtilsMessengerEXT"));
        if (destroy)
            destroy(vk.instance, vk.messenger, nullptr);
    }
    vkDestroyInstance(vk.instance, nullptr);
    setObjectName = nullptr;
    delete app.vulkan;
    app.vulkan = nullptr;
    if (app.window)
        destroyWindow(app.window);
    app.backBufferCount = 0;
}

DynamicArray<uint8_t> readBackBuffer(RenderApp& app)
{
    if (app.window) {
        ASSERT(false, "ASSERT: readBackBuffer needs a headless context\n");
        return {};
    }
    Image* image = &app.backBuffers[0];
    ImageFootprint footprint = imageFootprint(image->width, image->height, image->format);
    Buffer* readback = createBuffer(app, footprint.totalBytes, BUFFER_READBACK, nullptr, false, 0);
    FrameContext* frame = beginFrame(app);
    uint32_t state = image->state;
    transitionNow(frame->commandList, image, STATE_COPY_SOURCE);
    copyImageToBuffer(frame->commandList, readback, image);
    transitionNow(frame->commandList, image, state);
    endFrame(app);
    waitForAllFrames(app);
    DynamicArray<uint8_t> pixels;
    pixels.reserve(footprint.rowSize * footprint.rowCount + 1);
    if (!pixels.data) { // reported by the reserve: the caller gets no pixels
        destroyBuffer(app, readback);
        return pixels;
    }
    const uint8_t* mapped = static_cast<const uint8_t*>(mapBuffer(readback));
    for (uint32_t row = 0; row < footprint.rowCount; ++row)
        std::memcpy(pixels.data + row * footprint.rowSize, mapped + row * footprint.rowPitch, footprint.rowSize);
    pixels.count = footprint.rowSize * footprint.rowCount;
    unmapBuffer(readback);
    destroyBuffer(app, readback);
    return pixels;
}

void pumpMessages(RenderApp& app, InputState& input)
{
    if (app.window)
        pumpWindowMessages(app.window, input, app.windowState);
    // A window destroyed under the surface is closed as surely as one the user closed.
    if (app.vulkan && app.vulkan->surfaceLost)
        app.windowState.quit = true;
}
