# Compiles one HLSL program to SPIR-V and embeds its words in a C++ source.
# Run by kivrel_shader_library (cmake/kivrel.cmake) as: cmake -DSOURCE=... -DNAME=... -DSTAGE=...
#   -DINCLUDE_DIR=... -DWORK_DIR=... -DHEADER=... -DOUTPUT=... [-DDEFINE=macro] -P compile_shader.cmake
# Every step that fails stops the build with the tool's own message.

set(GLSLANG_COMMAND glslangValidator -D -V --target-env vulkan1.1 -e main -S ${STAGE} --hlsl-iomap
    --shift-texture-binding 0 --shift-UAV-binding 16 --shift-cbuffer-binding 32 --shift-sampler-binding 48
    -I${INCLUDE_DIR})
if(DEFINE)
    list(APPEND GLSLANG_COMMAND -D${DEFINE})
endif()
set(RAW_SPV ${WORK_DIR}/${NAME}.raw.spv)
set(FIXED_SPV ${WORK_DIR}/${NAME}.fixed.spv)
set(FINAL_SPV ${WORK_DIR}/${NAME}.spv)

function(run_step)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "${NAME}: '${ARGN}' failed (${result}):\n${out}${err}")
    endif()
endfunction()

run_step(${GLSLANG_COMMAND} -o ${RAW_SPV} ${SOURCE})

# glslang 12 declares every RWTexture2D<float4> as Rgba32f. Our storage images are only
# written, so each storage-image type (Sampled = 2) becomes format Unknown and the module
# declares StorageImageWriteWithoutFormat; images that became equal are merged by spirv-opt.
run_step(spirv-dis --raw-id ${RAW_SPV} -o ${WORK_DIR}/${NAME}.spvasm)
file(READ ${WORK_DIR}/${NAME}.spvasm assembly)
string(REGEX REPLACE "(OpTypeImage %[0-9]+ [A-Za-z0-9]+ [0-9] [0-9] [0-9] 2 )[A-Za-z0-9]+"
       "\\1Unknown" fixed "${assembly}")
if(NOT fixed STREQUAL assembly AND NOT fixed MATCHES "OpCapability StorageImageWriteWithoutFormat")
    string(REPLACE "OpCapability Shader\n"
           "OpCapability Shader\nOpCapability StorageImageWriteWithoutFormat\n" fixed "${fixed}")
endif()
file(WRITE ${WORK_DIR}/${NAME}.fixed.spvasm "${fixed}")
run_step(spirv-as --target-env vulkan1.1 ${WORK_DIR}/${NAME}.fixed.spvasm -o ${FIXED_SPV})
run_step(spirv-opt --skip-validation --remove-duplicates ${FIXED_SPV} -o ${FINAL_SPV})
run_step(spirv-val --target-env vulkan1.1 ${FINAL_SPV})

# SPIR-V is a stream of little-endian 32-bit words.
file(READ ${FINAL_SPV} hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR remainder "${hexLength} % 8")
if(hexLength EQUAL 0 OR NOT remainder EQUAL 0)
    message(FATAL_ERROR "${NAME}: ${FINAL_SPV} is not a whole number of 32-bit words")
endif()
math(EXPR wordCount "${hexLength} / 8")
string(REGEX REPLACE "([0-9a-f][0-9a-f])([0-9a-f][0-9a-f])([0-9a-f][0-9a-f])([0-9a-f][0-9a-f])"
       "0x\\4\\3\\2\\1u," words "${hex}")
string(REGEX REPLACE "((0x[0-9a-f]+u,){8})" "\\1\n    " words "${words}")

list(JOIN GLSLANG_COMMAND " " commandText)
set(generated "// Made by: ${commandText} -o ${NAME}.spv ${SOURCE}; storage images -> format Unknown + OpCapability StorageImageWriteWithoutFormat; spirv-opt --skip-validation --remove-duplicates; spirv-val --target-env vulkan1.1
// Generated file: edit ${NAME}.hlsl instead.
#include \"${HEADER}\"

namespace {
const uint32_t words[${wordCount}] = {
    ${words}
};
} // namespace

const ShaderBytecode ${NAME} = {words, sizeof(words)};
")
file(WRITE ${OUTPUT}.tmp "${generated}")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
