// The Vulkan instance (the validation layer and its messenger, debug names), the physical
// device, chosen discrete > integrated > virtual > CPU, and the logical device with its one
// queue; and their destruction.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <cstdlib>
#include <cstring>

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

// Whether the layer is one that a loader below the program's enables by itself: under Wine,
// winevulkan lists no layers and refuses any asked for, and the host's loader enables those of
// its VK_INSTANCE_LAYERS, which Wine keeps from the program's environment; who sets that says
// so in KIVREL_HOST_VULKAN_LAYERS (tests/win32/CMakeLists.txt).
bool hostEnablesLayer(const char* name)
{
    const char* list = std::getenv("KIVREL_HOST_VULKAN_LAYERS");
    return list && std::strstr(list, name);
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

} // namespace

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
    // A layer enabled below still reports to the messenger, as one asked for does.
    const char* layers[] = {"VK_LAYER_KHRONOS_validation"};
    const bool askForLayer = options.validation && (hasLayer(layers[0]) || !hostEnablesLayer(layers[0]));
    if (askForLayer && !hasLayer(layers[0]))
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
        .enabledLayerCount = askForLayer ? 1u : 0u,
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
        // The path tracer's waves share their sphere reads (lane shuffles) and vote on when
        // their paths have ended.
        VkPhysicalDeviceSubgroupProperties subgroups = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_SUBGROUP_PROPERTIES};
        VkPhysicalDeviceProperties2 withSubgroups = {.sType = VK_STRUCTURE_TYPE_PHYSICAL_DEVICE_PROPERTIES_2,
                                                     .pNext = &subgroups};
        vkGetPhysicalDeviceProperties2(devices.data[i], &withSubgroups);
        const VkSubgroupFeatureFlags waveOperations =
            VK_SUBGROUP_FEATURE_VOTE_BIT | VK_SUBGROUP_FEATURE_ARITHMETIC_BIT | VK_SUBGROUP_FEATURE_SHUFFLE_BIT;
        if (!(subgroups.supportedStages & VK_SHADER_STAGE_COMPUTE_BIT) ||
            (subgroups.supportedOperations & waveOperations) != waveOperations)
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

void destroyDevice(VulkanContext& vk)
{
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
}
