# Writes a C++ source that holds the bytes of one file as a constant array, so the
# program carries the file and reads nothing at run time.
# cmake -DINPUT=<file> -DOUTPUT=<source.cpp> -DSYMBOL=<name> -P embed_bytes.cmake
# defines `const uint8_t <name>Bytes[]` and `const size_t <name>Size`.
foreach(variable INPUT OUTPUT SYMBOL)
    if(NOT DEFINED ${variable})
        message(FATAL_ERROR "embed_bytes.cmake needs -D${variable}=...")
    endif()
endforeach()

file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
if(hexLength EQUAL 0)
    message(FATAL_ERROR "embed_bytes.cmake: ${INPUT} is empty")
endif()
math(EXPR size "${hexLength} / 2")

# 32 bytes a line (CMake's regular expressions have no {n} repeat).
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REPEAT "0x..," 32 line)
string(REGEX REPLACE "(${line})" "\\1\n" bytes "${bytes}")

file(WRITE "${OUTPUT}.tmp"
"// cmake -DINPUT=${INPUT} -DOUTPUT=${OUTPUT} -DSYMBOL=${SYMBOL} -P embed_bytes.cmake
#include <cstddef>
#include <cstdint>

extern const uint8_t ${SYMBOL}Bytes[];
extern const size_t ${SYMBOL}Size;

const uint8_t ${SYMBOL}Bytes[${size}] = {
${bytes}
};
const size_t ${SYMBOL}Size = ${size};
")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
