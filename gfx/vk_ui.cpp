// The UI renderer (gfx/ui.h) on ImGui's Vulkan backend. The backend of 1.86 draws inside a
// render pass, so the UI has one of its own that loads the final pass's picture and draws over
// it; a framebuffer is made for each frame's back buffer and released with the frame.
#include "gfx/ui.h"

#include "core/log.h"
#include "gfx/vk_internal.h"

#include <imgui.h>
#include <imgui_impl_vulkan.h>

struct UiRenderer {
    VkRenderPass renderPass;
    VkDescriptorPool descriptorPool; // the font texture's set
    bool fontsUploaded;              // recorded into the first frame that draws the UI
};

namespace {

void checkUiResult(VkResult result)
{
    checkVulkan(result, "PANIC: The UI renderer failed\n");
}

// One colour attachment kept as it is (loaded, stored, a render target before and after),
// ordered after the final pass's writes to it.
VkRenderPass createUiRenderPass(VkDevice device, VkFormat format)
{
    const VkAttachmentDescription attachment = {
        .format = format,
        .samples = VK_SAMPLE_COUNT_1_BIT,
        .loadOp = VK_ATTACHMENT_LOAD_OP_LOAD, .storeOp = VK_ATTACHMENT_STORE_OP_STORE,
        .stencilLoadOp = VK_ATTACHMENT_LOAD_OP_DONT_CARE, .stencilStoreOp = VK_ATTACHMENT_STORE_OP_DONT_CARE,
        .initialLayout = VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL, .finalLayout = VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL,
    };
    const VkAttachmentReference colour = {0, VK_IMAGE_LAYOUT_COLOR_ATTACHMENT_OPTIMAL};
    const VkSubpassDescription subpass = {
        .pipelineBindPoint = VK_PIPELINE_BIND_POINT_GRAPHICS,
        .colorAttachmentCount = 1,
        .pColorAttachments = &colour,
    };
    const VkSubpassDependency dependency = {
        .srcSubpass = VK_SUBPASS_EXTERNAL, .dstSubpass = 0,
        .srcStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT,
        .dstStageMask = VK_PIPELINE_STAGE_COLOR_ATTACHMENT_OUTPUT_BIT,
        .srcAccessMask = VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT,
        .dstAccessMask = VK_ACCESS_COLOR_ATTACHMENT_READ_BIT | VK_ACCESS_COLOR_ATTACHMENT_WRITE_BIT,
    };
    const VkRenderPassCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_RENDER_PASS_CREATE_INFO,
        .attachmentCount = 1, .pAttachments = &attachment,
        .subpassCount = 1, .pSubpasses = &subpass,
        .dependencyCount = 1, .pDependencies = &dependency,
    };
    VkRenderPass renderPass = VK_NULL_HANDLE;
    checkVulkan(vkCreateRenderPass(device, &info, nullptr, &renderPass), "PANIC: Failed to create the UI render pass\n");
    return renderPass;
}

VkDescriptorPool createUiDescriptorPool(VkDevice device)
{
    const VkDescriptorPoolSize size = {VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER, 4};
    const VkDescriptorPoolCreateInfo info = {
        .sType = VK_STRUCTURE_TYPE_DESCRIPTOR_POOL_CREATE_INFO,
        .flags = VK_DESCRIPTOR_POOL_CREATE_FREE_DESCRIPTOR_SET_BIT, // the backend frees its set
        .maxSets = 4,
        .poolSizeCount = 1,
        .pPoolSizes = &size,
    };
    VkDescriptorPool pool = VK_NULL_HANDLE;
    checkVulkan(vkCreateDescriptorPool(device, &info, nullptr, &pool), "PANIC: Failed to create the UI descriptor pool\n");
    return pool;
}

} // namespace

UiRenderer* createUiRenderer(RenderApp& app)
{
    ASSERT(app.window, "ASSERT: the UI renderer needs a window\n");
    VulkanContext& vk = vulkanOf(app);
    UiRenderer* ui = new UiRenderer{};
    ui->renderPass = createUiRenderPass(vk.device, vulkanFormat(backBufferFormat(app)));
    ui->descriptorPool = createUiDescriptorPool(vk.device);
    // The backend keeps one vertex and index buffer per image count and takes the next each
    // draw: one per frame slot, so a buffer is never refilled while its frame is in flight.
    ImGui_ImplVulkan_InitInfo info = {
        .Instance = vk.instance, .PhysicalDevice = vk.physicalDevice, .Device = vk.device,
        .QueueFamily = vk.queueFamily, .Queue = vk.queue,
        .DescriptorPool = ui->descriptorPool,
        .MinImageCount = frameCount, .ImageCount = frameCount,
        .MSAASamples = VK_SAMPLE_COUNT_1_BIT,
        .CheckVkResultFn = checkUiResult,
    };
    // Where the backend is built without prototypes (Windows: Vulkan through volk), it takes its
    // entry points from the instance; elsewhere this changes nothing.
    auto loader = [](const char* name, void* instance) {
        return vkGetInstanceProcAddr(static_cast<VkInstance>(instance), name);
    };
    if (!ImGui_ImplVulkan_LoadFunctions(loader, vk.instance) || !ImGui_ImplVulkan_Init(&info, ui->renderPass))
        PANIC("PANIC: Failed to start the UI renderer\n");
    // The atlas exists before the first ImGui frame; its texture goes up with the first draw.
    ImGui::GetIO().Fonts->Build();
    return ui;
}

void destroyUiRenderer(RenderApp& app, UiRenderer*& ui)
{
    if (!ui)
        return;
    waitForAllFrames(app);
    VulkanContext& vk = vulkanOf(app);
    ImGui_ImplVulkan_Shutdown(); // the font texture and its upload buffer too
    vkDestroyDescriptorPool(vk.device, ui->descriptorPool, nullptr);
    vkDestroyRenderPass(vk.device, ui->renderPass, nullptr);
    delete ui;
    ui = nullptr;
}

void recordUi(RenderApp& app, UiRenderer& ui, CommandList* list)
{
    ImDrawData* data = ImGui::GetDrawData();
    if (!data)
        return;
    endRendering(list); // the final pass's dynamic rendering
    if (!ui.fontsUploaded) {
        ImGui_ImplVulkan_CreateFontsTexture(list->buffer); // a copy: outside the render pass
        ui.fontsUploaded = true;
    }
    Image* backBuffer = currentBackBuffer(app);
    VkImageView view = imageViewFor(backBuffer, backBuffer->format);
    const VkFramebufferCreateInfo framebufferInfo = {
        .sType = VK_STRUCTURE_TYPE_FRAMEBUFFER_CREATE_INFO,
        .renderPass = ui.renderPass,
        .attachmentCount = 1,
        .pAttachments = &view,
        .width = backBuffer->width,
        .height = backBuffer->height,
        .layers = 1,
    };
    VkDevice device = vulkanOf(app).device;
    VkFramebuffer framebuffer = VK_NULL_HANDLE;
    checkVulkan(vkCreateFramebuffer(device, &framebufferInfo, nullptr, &framebuffer),
                "PANIC: Failed to create the UI framebuffer\n");
    deferRelease(app, ReleaseKind::Framebuffer, uint64_t(framebuffer));

    const VkRenderPassBeginInfo begin = {
        .sType = VK_STRUCTURE_TYPE_RENDER_PASS_BEGIN_INFO,
        .renderPass = ui.renderPass,
        .framebuffer = framebuffer,
        .renderArea = {{0, 0}, {backBuffer->width, backBuffer->height}},
    };
    vkCmdBeginRenderPass(list->buffer, &begin, VK_SUBPASS_CONTENTS_INLINE);
    ImGui_ImplVulkan_RenderDrawData(data, list->buffer);
    vkCmdEndRenderPass(list->buffer);
    // The backend bound a pipeline and sets of its own.
    list->pipeline = nullptr;
    list->setDirty = true;
}
