# Dear ImGui for the edit mode's UI: the library and headers from the system (Debian's
# libimgui-dev, 1.86) and its SDL2 and Vulkan backends compiled from the package's examples.
# Third-party code: built apart, without our warnings. Sets KIVREL_EDITOR when found.
find_package(PkgConfig REQUIRED)
pkg_check_modules(IMGUI REQUIRED IMPORTED_TARGET imgui)
find_package(SDL2 REQUIRED)
find_package(Vulkan REQUIRED)
set(IMGUI_BACKENDS /usr/share/doc/libimgui-dev/examples/backends)
add_library(kivrel_imgui_backends STATIC ${IMGUI_BACKENDS}/imgui_impl_sdl.cpp ${IMGUI_BACKENDS}/imgui_impl_vulkan.cpp)
target_include_directories(kivrel_imgui_backends SYSTEM PUBLIC /usr/include/imgui/backends)
target_link_libraries(kivrel_imgui_backends PUBLIC PkgConfig::IMGUI SDL2::SDL2 Vulkan::Vulkan)
target_compile_options(kivrel_imgui_backends PRIVATE -w)
set(KIVREL_EDITOR ON)
