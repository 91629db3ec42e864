// Fuzz target of the map objects file reader: any bytes are read or refused
// whole; what reads encodes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "netgame/MapFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SMapObjects map;
    if (!MapObjects_Decode(data, size, &map)) return 0;
    std::vector<uint8_t> again;
    MapObjects_Encode(map, again);
    // Floats keep their bits (NaN payloads included): the bytes must match.
    if (again.size() != size || std::memcmp(again.data(), data, size) != 0) std::abort();
    return 0;
}
