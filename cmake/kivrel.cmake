# Build helpers shared by every folder of the project.

# Warnings for our own code; third-party code is compiled without them.
function(kivrel_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(KIVREL_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# kivrel_layer(NAME <target> [SOURCES files...] [DEPENDS targets...])
# A layer is a static library of the .cpp files of its folder; the project root
# is the include root, so code includes "core/log.h", "gfx/context.h", ...
function(kivrel_layer)
    cmake_parse_arguments(LAYER "" "NAME" "SOURCES;DEPENDS" ${ARGN})
    add_library(${LAYER_NAME} STATIC ${LAYER_SOURCES})
    target_include_directories(${LAYER_NAME} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR})
    target_link_libraries(${LAYER_NAME} PUBLIC ${LAYER_DEPENDS})
    kivrel_warnings(${LAYER_NAME})
endfunction()
