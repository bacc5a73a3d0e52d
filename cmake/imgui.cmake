# Dear ImGui for the edit mode's UI (1.86 on both platforms): kivrel_imgui is the core and
# kivrel_imgui_backends the platform's window backend and the Vulkan backend. Third-party code:
# built apart, without our warnings.
#   Linux: the library and headers of Debian's libimgui-dev, its SDL2 and Vulkan backends
#   compiled from the package's examples.
#   Windows: the core, the Win32 and the Vulkan backends compiled with mingw from Debian's
#   source package of the same version, which scripts/install-deps.sh unpacks.
if(KIVREL_PLATFORM STREQUAL "win32")
    set(KIVREL_IMGUI_SOURCE /usr/local/src/kivrel-imgui CACHE PATH "Dear ImGui's sources (scripts/install-deps.sh)")
    if(NOT EXISTS ${KIVREL_IMGUI_SOURCE}/imgui.h)
        message(FATAL_ERROR "Dear ImGui's sources are not in ${KIVREL_IMGUI_SOURCE}: run scripts/install-deps.sh")
    endif()
    set(IMGUI_CORE_SOURCES imgui.cpp imgui_draw.cpp imgui_tables.cpp imgui_widgets.cpp)
    list(TRANSFORM IMGUI_CORE_SOURCES PREPEND ${KIVREL_IMGUI_SOURCE}/)
    add_library(kivrel_imgui STATIC ${IMGUI_CORE_SOURCES})
    target_include_directories(kivrel_imgui SYSTEM PUBLIC ${KIVREL_IMGUI_SOURCE})
    target_compile_options(kivrel_imgui PRIVATE -w)
    target_link_libraries(kivrel_imgui PUBLIC imm32) # the input method's window position

    # The Vulkan backend without prototypes: it takes its entry points from the instance
    # (gfx/vk_ui.cpp). No gamepads: XInput is not needed.
    set(IMGUI_BACKENDS ${KIVREL_IMGUI_SOURCE}/backends)
    add_library(kivrel_imgui_backends STATIC ${IMGUI_BACKENDS}/imgui_impl_win32.cpp ${IMGUI_BACKENDS}/imgui_impl_vulkan.cpp)
    target_include_directories(kivrel_imgui_backends SYSTEM PUBLIC ${IMGUI_BACKENDS} ${CMAKE_BINARY_DIR}/vulkan-headers)
    target_compile_definitions(kivrel_imgui_backends PUBLIC VK_NO_PROTOTYPES PRIVATE IMGUI_IMPL_WIN32_DISABLE_GAMEPAD)
    target_link_libraries(kivrel_imgui_backends PUBLIC kivrel_imgui dwmapi)
    target_compile_options(kivrel_imgui_backends PRIVATE -w)
else()
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
    find_package(SDL2 REQUIRED)
    find_package(Vulkan REQUIRED)
    add_library(kivrel_imgui INTERFACE)
    target_link_libraries(kivrel_imgui INTERFACE PkgConfig::IMGUI)
    set(IMGUI_BACKENDS /usr/share/doc/libimgui-dev/examples/backends)
    add_library(kivrel_imgui_backends STATIC ${IMGUI_BACKENDS}/imgui_impl_sdl.cpp ${IMGUI_BACKENDS}/imgui_impl_vulkan.cpp)
    target_include_directories(kivrel_imgui_backends SYSTEM PUBLIC /usr/include/imgui/backends)
    target_link_libraries(kivrel_imgui_backends PUBLIC kivrel_imgui SDL2::SDL2 Vulkan::Vulkan)
    target_compile_options(kivrel_imgui_backends PRIVATE -w)
endif()
