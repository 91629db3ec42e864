// Fuzz target of the map objects file reader: any bytes are read or refused
// whole; what reads is written in the canonical spelling and reads back the
// same, and the canonical bytes are written again byte for byte.
//
// A file may spell one object two ways: a kind 3 record whose scale
// increment is 0 (or -0) is the kind 2 record (netgame/MapFiles.h), so the
// check is what was read, not the input's bytes; an input with no such
// record must come back byte for byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "netgame/MapFiles.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

// Floats compared by their bits: a -0 that became +0 is a change.
bool SameBits(const float* a, const float* b, size_t n) {
    return std::memcmp(a, b, n * sizeof(float)) == 0;
}

bool SameObjects(const SMapObjects& a, const SMapObjects& b) {
    if (a.startX.size() != b.startX.size() || a.startZ.size() != b.startZ.size() ||
        a.objects.size() != b.objects.size())
        return false;
    if (!SameBits(a.startX.data(), b.startX.data(), a.startX.size()) ||
        !SameBits(a.startZ.data(), b.startZ.data(), a.startZ.size()) ||
        !SameBits(a.layers, b.layers, kMapLayers))
        return false;
    for (size_t i = 0; i < a.objects.size(); ++i) {
        const SMapObjectRecord& x = a.objects[i];
        const SMapObjectRecord& y = b.objects[i];
        const bool scaled = x.kind != kMapObjectSpot;
        // A zero scale of a kind 2 object is written as no scale at all, so
        // its sign is not kept; any other scale keeps its bits.
        const bool scaleKept = !scaled || x.scaleIncrement != 0.0f
                                   ? SameBits(&x.scaleIncrement, &y.scaleIncrement, 1)
                                   : y.scaleIncrement == 0.0f;
        if (x.templateId != y.templateId || x.projectId != y.projectId || x.kind != y.kind ||
            !SameBits(&x.x, &y.x, 1) || !SameBits(&x.z, &y.z, 1) || x.owner != y.owner ||
            x.layer != y.layer || x.mapId != y.mapId ||
            !SameBits(&x.headingIncrement, &y.headingIncrement, 1) || !scaleKept ||
            !SameBits(x.spot, y.spot, 3))
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SMapObjects map;
    if (!MapObjects_Decode(data, size, &map)) return 0;
    std::vector<uint8_t> canonical;
    MapObjects_Encode(map, canonical);
    SMapObjects again;
    Check(MapObjects_Decode(canonical.data(), canonical.size(), &again));
    Check(SameObjects(map, again));
    std::vector<uint8_t> twice;
    MapObjects_Encode(again, twice);
    Check(twice == canonical);
    // Only a kind 3 record with a zero scale is spelt shorter (four bytes
    // fewer): an input as long as its canonical bytes is those bytes.
    Check(canonical.size() <= size && (size - canonical.size()) % 4 == 0 &&
          (size - canonical.size()) / 4 <= map.objects.size());
    if (canonical.size() == size) Check(std::memcmp(canonical.data(), data, size) == 0);
    return 0;
}
