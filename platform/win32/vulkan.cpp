// The Vulkan loader on Windows: vulkan-1.dll is loaded at run time through volk, so the
// program starts (and can report) on a system without Vulkan.
#include "platform/platform.h"

#include <volk.h>

bool loadVulkan()
{
    static const bool loaded = volkInitialize() == VK_SUCCESS;
    return loaded;
}

void loadVulkanInstance(void* instance)
{
    volkLoadInstance(static_cast<VkInstance>(instance));
}
