#include "core/CRC32.h"
#include "nwe/Wire.h"

// The packet CRC is the standard CRC-32 continued from the link's seed; what
// a datagram's CRC covers is NWE_DatagramCrc's (Wire.cpp).
uint32_t NWE_PacketCrc(uint32_t seed, const uint8_t* data, size_t size) {
    return CRC32_Compute(data, size, seed);
}
