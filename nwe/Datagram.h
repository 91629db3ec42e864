// Reading one datagram whole before any of it is believed: its header form
// and size, its CRC, every message and part header against the bytes left and
// against the registries, and the sizes of the system messages. Nothing here
// touches a peer, so a socket can check a datagram from an address it does
// not know before it makes anything for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "nwe/Wire.h"
#include "platform/net/Udp.h"

class NWEEngine;
class NWEMessageTypes;

struct SDatagram {
    SPacketHeader header;
    std::vector<SWirePart> parts;
    bool IsSequenced() const {
        return header.form == EPacketForm::SequencedCrc || header.form == EPacketForm::Sequenced;
    }
};

enum class EDatagramError {
    None,
    TooShort,
    NoCrc,
    BadCrc,
    TooManyMessages,
    Truncated,
    UnknownId,
    BadFrame,
    BadSize,
    LeftOver,
    SystemSize,
};

// Ids below 6 are looked up in `system`, the others in `application` (which
// may be null: then only system messages are known). The CRC is checked with
// `seed`, the unsafe form's with its own seed field.
EDatagramError NWE_ReadDatagram(const uint8_t* data, size_t size, uint32_t seed, bool crcRequired,
                                NWEMessageTypes* system, NWEMessageTypes* application, SDatagram* out);

// Reports a refused datagram (the CRC failures and unknown ids in their
// established words) and counts it as rejected.
void NWE_ReportRefused(NWEEngine* engine, EDatagramError error, const SDatagram& d, const SNetAddress& from);
