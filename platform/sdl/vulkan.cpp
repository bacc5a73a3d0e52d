// The Vulkan loader on Linux: libvulkan is linked, so its entry points are there from the start.
#include "platform/platform.h"

bool loadVulkan()
{
    return true;
}

void loadVulkanInstance(void*)
{
}
