// The game protocol: the message types of the network game, ids 80 to 162
// (and the game's copy of the engine's frame information, id 1).
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

enum ENetMessage : uint16_t {
    NS_NOTIFYTYPE_APP_FRAME_INFO = 1,
    NS_NOTIFYTYPE_EXTERNAL_CONNECT = 80,
    NS_NOTIFYTYPE_CONNECT = 81,
    NS_NOTIFYTYPE_EXTERNAL_PING = 82,
    NS_NOTIFYTYPE_EXTERNAL_BROADCAST_AREYOUTHERE = 83,
    NS_NOTIFYTYPE_FRAMEFINISHED = 84,
    NS_NOTIFYTYPE_EXTERNAL_BROADCAST_IMHERE = 85,
    NS_NOTIFYTYPE_EXTERNAL_DISCONNECT = 86,
    NS_NOTIFYTYPE_EXTERNAL_REQUESTSERVER = 87,
    NS_NOTIFYTYPE_SM_MESSAGE = 88,
    NS_NOTIFYTYPE_SM_WRAPMESSAGE = 89,
    NS_NOTIFYTYPE_DISCONNECT = 90,
    NS_NOTIFYTYPE_SERVERQUIT = 91,
    NS_NOTIFYTYPE_CONNECTVALIDATE = 92,
    NS_NOTIFYTYPE_PING_AND_GET_TIME = 93,
    NS_NOTIFYTYPE_UPDATETIMINGINFO = 94,
    NS_NOTIFYTYPE_CHANCHEMODECONNECTED = 95,
    NS_NOTIFYTYPE_ASSIGNPLAYERID = 96,
    NS_NOTIFYTYPE_GAMEDIR = 97,
    NS_NOTIFYTYPE_QUERY_GAMEDIR = 98,
    NS_NOTIFYTYPE_QUERY_PLAYERS = 99,
    NS_NOTIFYTYPE_PLAYERS = 100,
    NS_NOTIFYTYPE_DUMMYDATA = 101,
    NS_NOTIFYTYPE_STARTGAME = 102,
    NS_NOTIFYTYPE_STARTGAME_REPLY = 103,
    NS_NOTIFYTYPE_MAPCHANGESTART = 104,
    NS_NOTIFYTYPE_MAPCHANGESTART_REPLY = 105,
    NS_NOTIFYTYPE_MAPFINISHUP = 106,
    NS_NOTIFYTYPE_MAPFINISHUP_REPLY = 107,
    NS_NOTIFYTYPE_SETGAMESPEED = 108,
    NS_NOTIFYTYPE_SETTARGETFPS = 109,
    NS_NOTIFYTYPE_CREATEUNIT = 110,
    NS_NOTIFYTYPE_SETGAMELOOP = 111,
    NS_NOTIFYTYPE_PING = 112,
    NS_NOTIFYTYPE_MESSAGE = 113,
    NS_NOTIFYTYPE_MESSAGE_PERSONAL = 114,
    NS_NOTIFYTYPE_MESSAGE_TEAM = 115,
    NS_NOTIFYTYPE_MESSAGE_ALLIES = 116,
    NS_NOTIFYTYPE_SERVERINFO_ATTRIBS = 117,
    NS_NOTIFYTYPE_SERVERINFO_MAP = 118,
    NS_NOTIFYTYPE_SERVERINFO_MAPCRCMATCH = 119,
    NS_NOTIFYTYPE_REQUESTMAP = 120,
    NS_NOTIFYTYPE_MAPBOX = 121,
    NS_NOTIFYTYPE_NEWTEAM = 122,
    NS_NOTIFYTYPE_DELETETEAM = 123,
    NS_NOTIFYTYPE_DELETEPLAYER = 124,
    NS_NOTIFYTYPE_PLAYER_REGISTER = 125,
    NS_NOTIFYTYPE_PLAYER_NAME = 126,
    NS_NOTIFYTYPE_PLAYER_TEAM = 127,
    NS_NOTIFYTYPE_PLAYER_RACE = 128,
    NS_NOTIFYTYPE_PLAYER_COLOR = 129,
    NS_NOTIFYTYPE_PLAYER_CONNECTION = 130,
    NS_NOTIFYTYPE_ALLY = 131,
    NS_NOTIFYTYPE_BREAKALLY = 132,
    NS_NOTIFYTYPE_PLAYER_NEXTCOLOR = 133,
    NS_NOTIFYTYPE_ORDER = 134,
    NS_NOTIFYTYPE_UNIT_CONNECT = 135,
    NS_NOTIFYTYPE_UNIT_DISCONNECT = 136,
    NS_NOTIFYTYPE_STOPCURRENTORDER = 137,
    NS_NOTIFYTYPE_MODE_ON = 138,
    NS_NOTIFYTYPE_MODE_OFF = 139,
    NS_NOTIFYTYPE_WAYPOINTLIST = 142,
    NS_NOTIFYTYPE_SIGNAL = 143,
    NS_NOTIFYTYPE_ASKFORFRAME = 144,
    NS_NOTIFYTYPE_CHECKUNIT = 145,
    NS_NOTIFYTYPE_CHECKUNITTREE = 146,
    NS_NOTIFYTYPE_SYNC_INFO_GLOBAL = 147,
    NS_NOTIFYTYPE_SYNC_INFO_PLAYER = 148,
    NS_NOTIFYTYPE_SYNC_INFO_UNIT_CRC = 149,
    NS_NOTIFYTYPE_SYNC_INFO_UNIT = 150,
    NS_NOTIFYTYPE_SYNC_INFO_UNIT_EVERYFRAME = 151,
    NS_NOTIFYTYPE_SYNC_GOTALLUNITS = 152,
    NS_NOTIFYTYPE_SYNC_FINISHSYNC = 153,
    NS_NOTIFYTYPE_SYNC_SYNCFINISHED = 154,
    NS_NOTIFYTYPE_SYNC_GOOUTOFSYNC = 155,
    NS_NOTIFYTYPE_SYNC_UPDATETIMINGINFO = 156,
    NS_NOTIFYTYPE_SYNC_SOFTSYNC = 157,
    NS_NOTIFYTYPE_SYNC_REPORT = 158,
    NS_NOTIFYTYPE_GIVERESOURCESTOALL = 159,
    NS_NOTIFYTYPE_GIVERESOURCES = 160,
    NS_NOTIFYTYPE_KILLUNIT = 161,
    NS_NOTIFYTYPE_PAUSE = 162,
};

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
    kConnectVersion = 4,  // the client's version is not ours (never admitted)
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
};

// The rows, in id order, and their count.
const SNetMessageRow* NetMessage_Table(size_t* count);
// The row of an id, or null.
const SNetMessageRow* NetMessage_Find(uint16_t id);
