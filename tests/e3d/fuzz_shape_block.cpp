// Fuzz target of the shape-block reader. The first byte picks the block the
// writer makes (vertex, set and face counts) and whether the rest is read as
// a record of its own or XORed into that block's record. A block that loads
// must save and load back to the same bytes, with every index inside it.
#include <cstdlib>

#include "tests/e3d/fuzz_geometry_common.h"
#include "tools/lib/GeometryWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SFuzzFile in;
    if (size < 1) return 0;
    std::vector<uint8_t> record;
    if (data[0] & 1) {
        record.assign(data + 1, data + size);
    } else {
        CE3DShapeBlock sound(nullptr);
        Fuzz_FillBlock(sound, uint8_t(data[0] >> 1));
        ShapeBlock_Write(record, sound);
        Fuzz_Mix(record, data + 1, size - 1);
    }
    in.Open(record.data(), record.size());
    CE3DShapeBlock b(nullptr);
    if (!b.Load(in.file, 29)) {
        if (b.PositionSets() || b.m_faceCount || b.m_vertexCount) std::abort();  // half-built
        return 0;
    }
    for (uint16_t i : b.m_indices)
        if (i >= b.m_vertexCount) std::abort();
    std::vector<uint8_t> saved;
    ShapeBlock_Write(saved, b);
    in.Open(saved.data(), saved.size());
    CE3DShapeBlock again(nullptr);
    if (!again.Load(in.file, 29)) std::abort();
    std::vector<uint8_t> twice;
    ShapeBlock_Write(twice, again);
    if (twice != saved) std::abort();
    return 0;
}
