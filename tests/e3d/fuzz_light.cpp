// Fuzz target of the light-record reader: the first byte picks the version
// (10 to 30); the rest is XORed into a writer's record. A record that loads
// writes back to the bytes it read, with a known light type.
#include <algorithm>
#include <cstdlib>

#include "tests/e3d/fuzz_geometry_common.h"
#include "tools/lib/GeometryWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SFuzzFile in;
    if (size < 1) return 0;
    const int version = 10 + data[0] % 21;
    SE3DLightRecord sound;
    sound.type = D3DLIGHT_SPOT;
    std::vector<uint8_t> record;
    LightRecord_Write(record, sound, version);
    if (data[0] & 0x80)
        record.assign(data + 1, data + size);
    else
        Fuzz_Mix(record, data + 1, size - 1);
    in.Open(record.data(), record.size());
    SE3DLightRecord got;
    if (!E3DLightRecord_Read(in.file, version, &got)) return 0;
    if (version >= 12 && (got.type < 1 || got.type > 3)) std::abort();
    std::vector<uint8_t> back;
    LightRecord_Write(back, got, version);
    if (back.size() > record.size() || !std::equal(back.begin(), back.end(), record.begin())) std::abort();
    return 0;
}
