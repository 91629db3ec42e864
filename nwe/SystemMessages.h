// The engine's own message types, carried in the system registry of every
// engine (an application's types start at NWE_SYSTEM_TYPES; an application
// that frames its messages registers NS_NOTIFYTYPE_FRAME_INFO in its own
// registry too).
#pragma once

#include <cstdint>

enum : uint16_t {
    NS_NOTIFYTYPE_RECEIPT = 0,
    NS_NOTIFYTYPE_FRAME_INFO = 1,
    NS_NOTIFYTYPE_PACKETLOSTHINT = 2,
    NS_NOTIFYTYPE_KEEP_ALIVE = 3,
    NS_NOTIFYTYPE_REQUEST_PACKETSIZE = 4,
    NS_NOTIFYTYPE_REQUEST_RATE = 5,
    NWE_SYSTEM_TYPES = 6,          // ids below this live in the system registry
    NWE_TIMEOUT_NOTIFICATION = 6,  // application id told of a silent peer
};
