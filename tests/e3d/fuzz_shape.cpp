// Fuzz target of the shape reader. The first byte picks the file version
// (5 to 30) and whether the rest is a record of its own or XORed into a
// writer's shape of two blocks. A shape that loads must save and load back to
// the same bytes.
#include <cstdlib>

#include "e3d/Shape.h"
#include "tests/e3d/fuzz_geometry_common.h"
#include "tools/lib/GeometryWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SFuzzFile in;
    if (size < 1) return 0;
    const int version = 5 + (data[0] >> 1) % 26;
    std::vector<uint8_t> record;
    if (data[0] & 1) {
        record.assign(data + 1, data + size);
    } else {
        CE3DShape sound(static_cast<CE3DEngine*>(nullptr));
        Fuzz_FillBlock(*new CE3DShapeBlock(&sound), 0x5A);
        Fuzz_FillBlock(*new CE3DShapeBlock(&sound), 0x23);
        Shape_Write(record, sound, version);
        Fuzz_Mix(record, data + 1, size - 1);
    }
    in.Open(record.data(), record.size());
    CE3DShape shape(static_cast<CE3DEngine*>(nullptr));
    if (!shape.Load(in.file, version)) {
        if (shape.BlockCount() != 0) std::abort();
        return 0;
    }
    std::vector<uint8_t> saved;
    Shape_Write(saved, shape, version);
    in.Open(saved.data(), saved.size());
    CE3DShape again(static_cast<CE3DEngine*>(nullptr));
    if (!again.Load(in.file, version) || again.BlockCount() != shape.BlockCount()) std::abort();
    std::vector<uint8_t> twice;
    Shape_Write(twice, again, version);
    if (twice != saved) std::abort();
    return 0;
}
