// The game protocol: how the network game sends its message types (their
// numbers, ids 80 to 162 and the frame information's 1, are named once in
// world/GameMessages.h).
//
// Every type is registered twice, once for the client side and once for the
// server side, each with its handler, its delivery queue, whether it is bound
// to a lockstep frame, and its sending options (reliability class, priority,
// delay, short header). What travels on the wire per type (its header form
// and reliability) is fixed by this table and must be the same on every
// machine; the payload layouts are written beside their readers and writers
// in the handlers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "world/GameMessages.h"

// The version both ends of a join must have.
constexpr uint32_t kNetProtocolVersion = 13;
// The server's game port unless StartServer names another.
constexpr uint16_t kNetDefaultServerPort = 47222;

// Results of CONNECT (81): u32 13, u32 one of these.
enum : uint32_t {
    kConnectAdmitted = 0,
    kConnectFull = 1,
    kConnectRunning = 2,
    kConnectPassword = 3,
    // The join failure of a client whose server speaks another version. The
    // server answers such a client {13, 0}: the client sees a version other
    // than its own and gives up (the server admits nothing for it).
    kConnectVersion = 4,
    kConnectClosed = 5,
};

// The frame value's bits: a resync frame, and the end of its soft sync.
enum : uint32_t { kFrameResync = 1, kFrameSoftSyncDone = 2 };

// Lengths of texts from the wire (characters, the zero not counted).
constexpr int kNetMaxPassword = 256;
constexpr int kNetMaxChat = 255;
constexpr int kNetMaxFolder = 255;

// One row of the table, per side: its registry, handler, queue, whether it
// is bound to a frame, and the options.
enum class ENetRegistry : uint8_t {
    None,
    ClientGame,     // the client's link to its server
    ClientContact,  // the client's contacts before joining (browser, chat)
    ServerGame,     // the server's end of each joined client
    ServerContact,  // the server's contacts before joining
    ServerConnect,  // the server's socket's default peer: first contact
};
enum class ENetQueue : uint8_t { None, Connect, Server, Client, Sync };

class CNetGame;
class NWEPeer;
class NWEMessage;
typedef void (*NetHandler)(NWEPeer* peer, NWEMessage* m, void* context);

struct SNetSide {
    ENetRegistry registry;   // None: not registered on this side
    ENetRegistry registry2;  // a second registry with the same settings, or None
    NetHandler handler;      // null: registered without a handler
    ENetQueue queue;
    bool framed;
};

struct SNetMessageRow {
    uint16_t id;
    const char* name;  // after "NS_NOTIFYTYPE_"
    // Options of every registration: reliability class (0 acknowledged),
    // priority, delay (0: packed by the send call), short header.
    uint8_t cls, priority, delay, shortHeader;
    SNetSide client, server;
    // Handled at once on the engine's receiving thread (option D), whatever
    // queue the row names: the discovery and ping types, whose handlers touch
    // only what they lock.
    uint8_t direct = 0;
};

// The rows, in id order, and their count.
const SNetMessageRow* NetMessage_Table(size_t* count);
// The row of an id, or null.
const SNetMessageRow* NetMessage_Find(uint16_t id);
