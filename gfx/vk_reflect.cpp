// What a GPU program declares, read from its SPIR-V: the descriptor type of every binding of
// set 0 and whether it has push constants. A D3D12 range does not say image or buffer; the
// program does.
#include "gfx/vk_internal.h"

#include "core/log.h"

#include <cstdlib>

namespace {

// The SPIR-V opcodes, decorations and enumerants read here.
constexpr uint32_t opTypeImage = 25, opTypeSampler = 26, opTypeSampledImage = 27, opTypeArray = 28,
                   opTypeRuntimeArray = 29, opTypeStruct = 30, opTypePointer = 32, opVariable = 59, opDecorate = 71;
constexpr uint32_t decorationBufferBlock = 3, decorationBinding = 33, decorationDescriptorSet = 34;
constexpr uint32_t storagePushConstant = 9, storageStorageBuffer = 12;
constexpr uint32_t dimBuffer = 5, sampledStorage = 2;

// What the declarations say of one id.
struct IdInfo {
    uint32_t opcode;
    uint32_t operand[3];
    int32_t binding;
    int32_t set;
    bool bufferBlock;
};

bool declaresType(uint32_t opcode)
{
    return (opcode >= opTypeImage && opcode <= opTypeStruct) || opcode == opTypePointer;
}

void noteInstruction(IdInfo* ids, uint32_t bound, const uint32_t* op, uint32_t opcode, uint32_t length)
{
    if (opcode == opDecorate && length >= 3 && op[1] < bound) {
        if (op[2] == decorationBinding && length >= 4)
            ids[op[1]].binding = int32_t(op[3]);
        if (op[2] == decorationDescriptorSet && length >= 4)
            ids[op[1]].set = int32_t(op[3]);
        if (op[2] == decorationBufferBlock)
            ids[op[1]].bufferBlock = true;
    } else if (declaresType(opcode) && length >= 2 && op[1] < bound) {
        IdInfo& info = ids[op[1]];
        info.opcode = opcode;
        if (opcode == opTypeImage && length >= 9) {
            info.operand[0] = op[3]; // dim
            info.operand[1] = op[7]; // sampled
        } else if ((opcode == opTypeArray || opcode == opTypeRuntimeArray) && length >= 3) {
            info.operand[0] = op[2]; // element type
        } else if (opcode == opTypePointer && length >= 4) {
            info.operand[0] = op[2]; // storage class
            info.operand[1] = op[3]; // pointee
        }
    } else if (opcode == opVariable && length >= 4 && op[2] < bound) {
        IdInfo& info = ids[op[2]];
        info.opcode = opVariable;
        info.operand[0] = op[1]; // pointer type
        info.operand[1] = op[3]; // storage class
    }
}

// The descriptor a variable of a type needs (an array needs its element's); MAX_ENUM for none.
VkDescriptorType descriptorTypeOf(const IdInfo& type, uint32_t storageClass)
{
    switch (type.opcode) {
    case opTypeImage: {
        bool texelBuffer = type.operand[0] == dimBuffer;
        if (type.operand[1] == sampledStorage)
            return texelBuffer ? VK_DESCRIPTOR_TYPE_STORAGE_TEXEL_BUFFER : VK_DESCRIPTOR_TYPE_STORAGE_IMAGE;
        return texelBuffer ? VK_DESCRIPTOR_TYPE_UNIFORM_TEXEL_BUFFER : VK_DESCRIPTOR_TYPE_SAMPLED_IMAGE;
    }
    case opTypeSampler: return VK_DESCRIPTOR_TYPE_SAMPLER;
    case opTypeSampledImage: return VK_DESCRIPTOR_TYPE_COMBINED_IMAGE_SAMPLER;
    case opTypeStruct: {
        // StorageBuffer, or Uniform with the BufferBlock decoration.
        bool storage = storageClass == storageStorageBuffer || type.bufferBlock;
        return storage ? VK_DESCRIPTOR_TYPE_STORAGE_BUFFER : VK_DESCRIPTOR_TYPE_UNIFORM_BUFFER;
    }
    default: return VK_DESCRIPTOR_TYPE_MAX_ENUM;
    }
}

void noteVariable(const IdInfo* ids, uint32_t bound, const IdInfo& variable, ProgramInterface& interface)
{
    if (variable.operand[1] == storagePushConstant) {
        interface.pushConstants = true;
        return;
    }
    if (variable.binding < 0 || variable.operand[0] >= bound)
        return;
    if (variable.set != 0 || variable.binding >= int32_t(programBindingLimit)) {
        ASSERT(false, "ASSERT: GPU program binding %d of set %d is outside the root signature's range\n",
               variable.binding, variable.set);
        return;
    }
    uint32_t type = ids[variable.operand[0]].operand[1];
    while (type < bound && (ids[type].opcode == opTypeArray || ids[type].opcode == opTypeRuntimeArray))
        type = ids[type].operand[0];
    if (type < bound)
        interface.types[variable.binding] = descriptorTypeOf(ids[type], variable.operand[1]);
}

} // namespace

void reflectProgram(ShaderBytecode program, ProgramInterface& interface)
{
    const uint32_t* words = program.code;
    size_t count = program.size / 4;
    if (count < 5 || words[0] != 0x07230203)
        PANIC("PANIC: GPU program is not SPIR-V\n");
    // Ids are below the header's bound; one pass collects declarations, a second resolves them.
    uint32_t bound = words[3];
    IdInfo* ids = static_cast<IdInfo*>(std::calloc(bound, sizeof(IdInfo)));
    for (uint32_t i = 0; i < bound; ++i)
        ids[i].binding = ids[i].set = -1;
    for (size_t at = 5; at < count;) {
        uint32_t opcode = words[at] & 0xFFFF;
        uint32_t length = words[at] >> 16;
        if (length == 0 || at + length > count)
            break;
        noteInstruction(ids, bound, words + at, opcode, length);
        at += length;
    }
    for (uint32_t id = 0; id < bound; ++id) {
        if (ids[id].opcode == opVariable)
            noteVariable(ids, bound, ids[id], interface);
    }
    std::free(ids);
}
