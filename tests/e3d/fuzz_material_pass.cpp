// Fuzz target of the material-pass reader (its render-state block and
// texture-stage blocks). The first byte picks the version (4 to 30) and the
// stage count; the rest is XORed into a writer's pass. A pass that loads must
// write back to the bytes it read; one that is refused keeps its values.
#include <algorithm>
#include <cstdlib>

#include "tests/e3d/fuzz_geometry_common.h"
#include "tools/lib/GeometryWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SFuzzFile in;
    if (size < 1) return 0;
    const int version = 4 + (data[0] & 31) % 27;
    const int stages = 1 + (data[0] >> 5) % 3;
    CE3DMaterial material(nullptr, "fuzz");
    CE3DMaterialPass* sound = material.AddPass(stages);
    std::vector<uint8_t> record;
    MaterialPass_Write(record, *sound, version);
    if (data[0] & 0x80)
        record.assign(data + 1, data + size);
    else
        Fuzz_Mix(record, data + 1, size - 1);
    CE3DMaterialPass* pass = material.AddPass(stages);
    in.Open(record.data(), record.size());
    if (!pass->Load(in.file, version)) return 0;
    std::vector<uint8_t> back;
    MaterialPass_Write(back, *pass, version);
    if (back.size() > record.size() || !std::equal(back.begin(), back.end(), record.begin())) {
        // The older stage record keeps only the low half of its project word.
        if (version >= 20) std::abort();
    }
    return 0;
}
