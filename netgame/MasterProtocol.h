// The master server's protocol: the messages between a game and the master
// server (tessarak_master), which keeps the list of running game servers and
// carries the chat of channels and users.
//
// A game keeps two links to the master. The server link goes from a hosting
// game's own game socket, so the master lists the server at the address and
// port its link comes from (the one its players reach); on it the game keeps
// its entry up to date. The chat link goes from a socket of its own; on it a
// player's game asks for server lists and takes part in the chat. Both sides
// register the rows below with the same options, so every message travels
// with the same header form and reliability whichever end sends it.
//
// Payloads are little-endian; texts are zero-terminated with the zero sent;
// the layouts are given beside each id. Whatever reads a payload here checks
// every length and count against the bytes it has.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "world/StateArchive.h"

class NWEMessageTypes;
class NWEQueue;
class NWEPeer;
class NWEMessage;

enum EMasterMessage : uint16_t {
    // ---- the chat link ("Client2Master")
    // to the master: u32 protocol version, u8 connection kind, user name
    // [, u32 cookie]. from the master: u32 status (0 accepted, 1 another
    // protocol version, 2 refused: the master is full or this address has
    // links enough), or u32 3 (kMasterChallenge), u32 cookie.
    //
    // The master's handshake: a CONNECT without the cookie of its address
    // (the first one, or one with a cookie gone stale) is answered with the
    // challenge, and the game sends its CONNECT again with that cookie
    // appended; only a CONNECT with the right cookie makes a user or a
    // server. A sender whose address is forged never hears the cookie, so
    // it makes nothing.
    NS_VXM_CLIENT_CONNECT = 16,
    // ---- the server link ("Server2Master")
    // to the master: u32 protocol version, u32 the server's unique id (0
    // when it has none yet) [, u32 cookie]. from the master: as for 16.
    NS_VXM_SERVER_CONNECT = 17,
    NS_VXM_CLIENT_DISCONNECT = 18,          // to the master: u32 0
    NS_VXM_CLIENT_CHAT_JOINCHANNEL = 19,    // to: channel name; from: u32 channel id
    NS_VXM_CLIENT_CHAT_PING = 20,           // both ways, no data (the master's says it is there)
    NS_VXM_CLIENT_CHAT_SAY = 21,            // to: text [u32 user id: to that user only]; from: the line
    NS_VXM_CLIENT_CHAT_CHANNELLIST = 22,    // from: u32 n, n x (u32 id, name)
    NS_VXM_CLIENT_CHAT_ADDCHANNEL = 23,     // from: u32 id, name
    NS_VXM_CLIENT_CHAT_REMOVECHANNEL = 24,  // from: u32 id
    NS_VXM_CLIENT_CHAT_USERLIST = 25,    // from: u32 n, u32 channel, n x (u32 id, u16 value, u8 kind, name)
    NS_VXM_CLIENT_CHAT_ADDUSER = 26,     // from: u32 channel, u32 id, u16 value, u8 kind, name
    NS_VXM_CLIENT_CHAT_REMOVEUSER = 27,  // from: u32 channel, u32 id
    NS_VXM_CLIENT_CHAT_CHANGEUSERNAME = 28,        // to: name; from: u32 channel, u32 id, name
    NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION = 29,  // to: u8 kind; from: u32 channel, u32 id, u8 kind
    NS_VXM_CLIENT_QUERY = 30,                      // to: the query filter (SMasterQueryFilter)
    NS_VXM_CLIENT_QUERY_ANSWER_SERVER = 31,        // from: u32 n, n x (u32 IPv4 in network order, u16 port)
    NS_VXM_SERVER_DISCONNECT = 32,                 // to: u32 the unique server id
    NS_VXM_SERVER_UNIQUEID = 33,                   // from: u32 the unique server id (again now and then)
    NS_VXM_SERVER_NAME = 34,                       // to: server name
    NS_VXM_SERVER_LOCATION = 35,                   // to: u8 location
    NS_VXM_SERVER_DEDICATED = 36,                  // to: u8 dedicated
    NS_VXM_SERVER_SPEED = 37,                      // to: u16 benchmark speed
    NS_VXM_SERVER_CONNECTION = 38,                 // to: u8 connection kind
    NS_VXM_SERVER_MAP = 39,                        // to: map file name
    NS_VXM_SERVER_GAME = 40,                       // to: the game folder's name
    NS_VXM_SERVER_INPROGRESS = 41,                 // to: u8 1 in progress, 2 not
};

// The master's protocol version (CONNECT's first word).
constexpr uint32_t kMasterProtocolVersion = 13;
// Status words of the CONNECT answers.
enum : uint32_t { kMasterAccepted = 0, kMasterWrongVersion = 1, kMasterRefused = 2, kMasterChallenge = 3 };
// The CRC seed both ends use once a link is accepted (the game sends the
// unsafe form with its seed in clear before that).
constexpr uint32_t kMasterCrcSeed = 8;
// The master's port unless told otherwise: the game's client port + 100.
constexpr uint16_t kMasterDefaultPort = 45422;

// Lengths of texts (characters, the zero not counted).
constexpr int kMasterMaxName = 31;      // user, server and channel names
constexpr int kMasterMaxText = 255;     // chat lines, map and game folder names
constexpr int kMasterMaxAnswer = 1024;  // servers in one answer to a query

struct SMasterMessageRow {
    uint16_t id;
    const char* name;  // as registered
    bool chatLink;     // a row of the chat link, else of the server link
    // Options of every registration: reliability class (0 acknowledged),
    // priority, delay, short header.
    uint8_t cls, priority, delay, shortHeader;
};

// The rows in id order and their count.
const SMasterMessageRow* MasterMessage_Table(size_t* count);
const SMasterMessageRow* MasterMessage_Find(uint16_t id);

typedef void (*MasterHandler)(NWEPeer* peer, NWEMessage* m, void* context);
// Registers the rows of the chat link (chat true) or the server link into the
// registry, each with the handler that `handlerFor` gives for its id (null:
// registered without one) and the queue.
void MasterMessage_Register(NWEMessageTypes* registry, bool chat, MasterHandler (*handlerFor)(uint16_t),
                            void* context, NWEQueue* queue);

// ---- the query filter (30): what servers a game asks the master for.
// Wire form: u8 presence bits, then the present fields in this order:
// bit 0 u8 location selector, bit 1 u8 in-progress selector, bit 2 u8
// connection selector, bit 3 u16 the most servers wanted, bit 4 u8 dedicated
// selector, bit 5 name part, bit 6 map part, bit 7 game folder. A byte
// field is present when it is not 0, the count when above 0, a text when
// not empty: the filter as made is the two bytes 02 02.
struct SMasterQueryFilter {
    uint8_t location = 0;         // 0 any; 4, 9, 10 a range (MasterFilter_Location); else that one
    uint8_t inProgress = 2;       // 0 any, 1 games in progress only, 2 games not started only
    uint8_t connection = 0;       // 0 any; 1 to 4 a group (MasterFilter_Connection); else that kind
    uint16_t maxCount = 0;        // 0: the master's own limit
    uint8_t dedicated = 0;        // 0 any, 1 dedicated only, 2 not dedicated only
    std::string name, map, game;  // parts to find, ignoring case (the game folder: equal)

    void Write(CStateArchive& ar) const;
    // False when the record does not read whole (the filter is then as made).
    bool Read(CStateArchive& ar);
};

// The selectors of a filter: a location selector of 0 takes any, 4 the
// locations 4 to 7, 9 those of 9 to 13, 10 those of 10 to 13, any other the
// one location; a connection selector of 0 takes any, 1 the kinds 1, 5 and 6,
// 2 the kinds 2, 7 and 8, 3 the kinds 3, 5 and 7, 4 the kinds 4, 6 and 8,
// any other the one kind.
bool MasterFilter_Location(int selector, int location);
bool MasterFilter_Connection(int selector, int kind);
// Whether `part` is found in `text` ignoring case (an empty part always is).
bool MasterFilter_Contains(const char* text, const char* part);

// The connection class of a rate in bytes a second (1 a 14.4 modem ... 13 a
// 100 Mbit network), as the settings screens name them.
uint8_t Net_ConnectionClassFromRate(float rate);

// ---- records of the lists

// One server of an answer (31).
struct SMasterServerAddress {
    uint32_t ip = 0;  // host order
    uint16_t port = 0;
};
void MasterAnswer_Write(CStateArchive& ar, const std::vector<SMasterServerAddress>& servers);
// Reads an answer: at most `cap` servers and no more than the bytes hold;
// addresses nobody can be sent to (0.0.0.0, broadcast, multicast, port 0)
// are left out. False when the count or a record does not read.
bool MasterAnswer_Read(CStateArchive& ar, size_t cap, std::vector<SMasterServerAddress>* out);
// Whether a game may send to the address at all.
bool MasterAddress_Usable(uint32_t ip, uint16_t port);

struct SMasterChannelRecord {
    uint32_t id = 0;
    std::string name;
};
struct SMasterUserRecord {
    uint32_t id = 0;
    uint16_t value = 0;  // the user's ping in milliseconds as the master measured it
    uint8_t kind = 0;    // connection kind
    std::string name;
};
// 22: u32 n, per channel u32 id and name. The readers take at most `cap`
// records and never more than the bytes can hold.
void MasterChannels_Write(CStateArchive& ar, const std::vector<SMasterChannelRecord>& channels);
bool MasterChannels_Read(CStateArchive& ar, size_t cap, std::vector<SMasterChannelRecord>* out);
// 25: u32 n, u32 channel id, per user u32 id, u16 value, u8 kind, name.
void MasterUsers_Write(CStateArchive& ar, uint32_t channel, const std::vector<SMasterUserRecord>& users);
bool MasterUsers_Read(CStateArchive& ar, size_t cap, uint32_t* channel, std::vector<SMasterUserRecord>* out);
// One user record (26 after its channel id, 25's records).
void MasterUser_Write(CStateArchive& ar, const SMasterUserRecord& u);
bool MasterUser_Read(CStateArchive& ar, SMasterUserRecord* u);

// A text of the wire as the master and the game keep it: cut to the length,
// control bytes dropped; an empty result when it does not read.
std::string MasterText_Read(CStateArchive& ar, int maxLength);
