// The window, its message pump and its Vulkan surface on Win32. The pump's rules are in
// platform/input.cpp; this file only turns window messages into InputEvents. With the edit
// mode's UI on, ImGui's Win32 backend sees every message too (platform/window_ui.h).
#include "platform/platform.h"
#include "platform/window_ui.h"

#include "core/log.h"

#include <windows.h>
#include <windowsx.h>

#include <imgui.h>
#include <imgui_impl_win32.h>
#include <volk.h>

// Declared by the backend's header only in a comment, so that it need not include windows.h.
extern IMGUI_IMPL_API LRESULT ImGui_ImplWin32_WndProcHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

struct Window {
    HWND handle;
    uint32_t width, height; // the size at creation: the screen's, or the one asked for
    bool cursorVisible;
    bool feedsUi; // between startWindowUi and stopWindowUi
};

namespace {

constexpr DWORD windowStyle = WS_POPUP | WS_VISIBLE; // 0x90000000: borderless, shown

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The UI's backend first; it answers WM_SETCURSOR itself over the UI.
    const Window* owner = reinterpret_cast<const Window*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner && owner->feedsUi && ImGui_ImplWin32_WndProcHandler(window, message, wParam, lParam))
        return 1;
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        DestroyWindow(window);
        return 0;
    case WM_SYSCOMMAND: // Alt alone would open the window menu's modal loop, the frames stopped
        if ((wParam & 0xFFF0) == SC_KEYMENU)
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    case WM_SIZE: // the swapchain follows the drawable size on its own
    case WM_CONTEXTMENU:
    case WM_CHAR:
    case WM_ENTERSIZEMOVE:
    case WM_EXITSIZEMOVE:
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

// Button messages -> index 0 left, 1 middle, 2 right.
InputEvent translate(const MSG& message)
{
    InputEvent input = {InputEventType::Other, 0, 0, 0};
    switch (message.message) {
    case WM_QUIT: input.type = InputEventType::Quit; break;
    case WM_MOUSEMOVE:
        input.type = InputEventType::MouseMove;
        input.x = float(GET_X_LPARAM(message.lParam)); // signed low word
        input.y = float(GET_Y_LPARAM(message.lParam)); // signed high word
        break;
    case WM_KEYDOWN:
    case WM_KEYUP:
        input.type = message.message == WM_KEYDOWN ? InputEventType::KeyDown : InputEventType::KeyUp;
        input.code = uint32_t(message.wParam & 0xFF);
        break;
    case WM_LBUTTONDOWN: input = {InputEventType::ButtonDown, 0, 0, 0}; break;
    case WM_MBUTTONDOWN: input = {InputEventType::ButtonDown, 1, 0, 0}; break;
    case WM_RBUTTONDOWN: input = {InputEventType::ButtonDown, 2, 0, 0}; break;
    case WM_LBUTTONUP: input = {InputEventType::ButtonUp, 0, 0, 0}; break;
    case WM_MBUTTONUP: input = {InputEventType::ButtonUp, 1, 0, 0}; break;
    case WM_RBUTTONUP: input = {InputEventType::ButtonUp, 2, 0, 0}; break;
    case WM_MOUSEWHEEL:
        input.type = InputEventType::Wheel;
        input.x = float(GET_WHEEL_DELTA_WPARAM(message.wParam) / 120.0); // notches
        break;
    default: break;
    }
    return input;
}

} // namespace

Window* createWindow(const char* title, const WindowShape& shape)
{
    // The piece's window covers the primary screen; a framed one has the size asked for.
    uint32_t width = shape.framed ? shape.width : uint32_t(GetSystemMetrics(SM_CXSCREEN));
    uint32_t height = shape.framed ? shape.height : uint32_t(GetSystemMetrics(SM_CYSCREEN));
    DWORD style = shape.framed ? WS_OVERLAPPEDWINDOW | WS_VISIBLE : windowStyle;

    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW windowClass = {
        .style = 0,
        .lpfnWndProc = windowProcedure,
        .cbClsExtra = 0,
        .cbWndExtra = 0,
        .hInstance = instance,
        .hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION)),
        .hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW)),
        .hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1),
        .lpszMenuName = nullptr,
        .lpszClassName = L"WindowClass",
    };
    // A second window of the process finds the class already there.
    RegisterClassW(&windowClass);

    RECT rectangle = {0, 0, LONG(width), LONG(height)};
    AdjustWindowRect(&rectangle, style, FALSE);
    HWND handle = CreateWindowExA(0, "WindowClass", title, style, 0, 0,
                                  rectangle.right - rectangle.left, rectangle.bottom - rectangle.top,
                                  nullptr, nullptr, instance, nullptr);
    // Without a window there is nothing to present to: stop here with the reason.
    if (!handle)
        PANIC("PANIC: Failed to create window: error %lu\n", GetLastError());
    Window* result = new Window{handle, width, height, true, false};
    SetWindowLongPtrW(handle, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(result));
    return result;
}

void destroyWindow(Window*& window)
{
    if (!window)
        return;
    if (IsWindow(window->handle)) {
        SetWindowLongPtrW(window->handle, GWLP_USERDATA, 0);
        DestroyWindow(window->handle);
    }
    // The quit that WM_DESTROY posted belongs to this window: a later one must not see it.
    MSG message;
    PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    delete window;
    window = nullptr;
}

void windowSize(Window* window, uint32_t* width, uint32_t* height)
{
    *width = window->width;
    *height = window->height;
}

void windowDrawableSize(Window* window, uint32_t* width, uint32_t* height)
{
    // A closed (destroyed) or minimised window has nothing to present to.
    RECT client;
    if (!IsWindow(window->handle) || IsIconic(window->handle) || !GetClientRect(window->handle, &client)) {
        *width = *height = 0;
        return;
    }
    *width = uint32_t(client.right - client.left);
    *height = uint32_t(client.bottom - client.top);
}

bool windowShown(Window* window)
{
    return IsWindow(window->handle) && IsWindowVisible(window->handle) && !IsIconic(window->handle);
}

void pumpWindowMessages(Window* window, InputState& input, WindowState& state)
{
    beginInputFrame(input, state);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        InputEvent event = translate(message);
        // The messages handled here are not dispatched, except to the UI, which needs them all.
        if (event.type == InputEventType::Other || window->feedsUi)
            DispatchMessageA(&message);
        if (!applyInputEvent(input, state, event))
            break; // the rest waits for the next frame
    }
    endInputFrame(input, state);
}

void setCursorVisible(Window* window, bool visible)
{
    // ShowCursor counts: call it only when the state changes.
    if (window->cursorVisible == visible)
        return;
    ShowCursor(visible ? TRUE : FALSE);
    window->cursorVisible = visible;
}

const char* const* windowVulkanExtensions(Window*, uint32_t* count)
{
    static const char* const extensions[] = {VK_KHR_SURFACE_EXTENSION_NAME, VK_KHR_WIN32_SURFACE_EXTENSION_NAME};
    *count = 2;
    return extensions;
}

bool createWindowSurface(Window* window, void* instance, uint64_t* surface)
{
    VkWin32SurfaceCreateInfoKHR info = {
        .sType = VK_STRUCTURE_TYPE_WIN32_SURFACE_CREATE_INFO_KHR,
        .pNext = nullptr,
        .flags = 0,
        .hinstance = GetModuleHandleW(nullptr),
        .hwnd = window->handle,
    };
    VkSurfaceKHR result = VK_NULL_HANDLE;
    if (!vkCreateWin32SurfaceKHR || vkCreateWin32SurfaceKHR(static_cast<VkInstance>(instance), &info, nullptr, &result) != VK_SUCCESS)
        return false;
    *surface = uint64_t(result);
    return true;
}

// >>the edit mode's UI

void startWindowUi(Window* window)
{
    if (!ImGui_ImplWin32_Init(window->handle))
        PANIC("PANIC: Failed to start the UI on the window\n");
    window->feedsUi = true;
}

void beginWindowUiFrame(Window*)
{
    ImGui_ImplWin32_NewFrame();
}

void stopWindowUi(Window* window)
{
    window->feedsUi = false;
    ImGui_ImplWin32_Shutdown();
}
