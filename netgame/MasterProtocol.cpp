#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cctype>
#include <cstring>

#include "core/StrBuf.h"
#include "netgame/MasterProtocol.h"
#include "nwe/MessageTypes.h"
#include "world/WireText.h"

namespace {
// id, name, chat link, class, priority, delay, short header.
const SMasterMessageRow kRows[] = {
    {16, "Client2Master NS_VXM_CLIENT_CONNECT", true, 1, 5, 1, 1},
    {17, "Server2Master NS_VXM_SERVER_CONNECT", false, 1, 5, 1, 1},
    {18, "Client2Master NS_VXM_CLIENT_DISCONNECT", true, 1, 5, 0, 1},
    {19, "Client2Master NS_VXM_CLIENT_CHAT_JOINCHANNEL", true, 0, 5, 1, 0},
    {20, "Client2Master NS_VXM_CLIENT_CHAT_PING", true, 0, 5, 1, 0},
    {21, "Client2Master NS_VXM_CLIENT_CHAT_SAY", true, 0, 5, 1, 0},
    {22, "Client2Master NS_VXM_CLIENT_CHAT_CHANNELLIST", true, 0, 5, 1, 0},
    {23, "Client2Master NS_VXM_CLIENT_CHAT_ADDCHANNEL", true, 0, 5, 1, 0},
    {24, "Client2Master NS_VXM_CLIENT_CHAT_REMOVECHANNEL", true, 0, 5, 1, 0},
    {25, "Client2Master NS_VXM_CLIENT_CHAT_USERLIST", true, 0, 5, 1, 0},
    {26, "Client2Master NS_VXM_CLIENT_CHAT_ADDUSER", true, 0, 5, 1, 0},
    {27, "Client2Master NS_VXM_CLIENT_CHAT_REMOVEUSER", true, 0, 5, 1, 0},
    {28, "Client2Master NS_VXM_CLIENT_CHAT_CHANGEUSERNAME", true, 0, 5, 1, 0},
    {29, "Client2Master NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION", true, 0, 5, 1, 0},
    {30, "Client2Master NS_VXM_CLIENT_QUERY", true, 0, 5, 1, 0},
    {31, "Client2Master NS_VXM_CLIENT_QUERY_ANSWER_SERVER", true, 0, 5, 1, 0},
    {32, "Server2Master NS_VXM_SERVER_DISCONNECT", false, 1, 5, 0, 1},
    {33, "Server2Master NS_VXM_SERVER_UNIQUEID", false, 0, 5, 1, 1},
    {34, "Server2Master NS_VXM_SERVER_NAME", false, 0, 5, 1, 1},
    {35, "Server2Master NS_VXM_SERVER_LOCATION", false, 0, 5, 1, 1},
    {36, "Server2Master NS_VXM_SERVER_DEDICATED", false, 0, 5, 1, 1},
    {37, "Server2Master NS_VXM_SERVER_SPEED", false, 0, 5, 1, 1},
    {38, "Server2Master NS_VXM_SERVER_CONNECTION", false, 0, 5, 1, 1},
    {39, "Server2Master NS_VXM_SERVER_MAP", false, 0, 5, 1, 1},
    {40, "Server2Master NS_VXM_SERVER_GAME", false, 0, 5, 1, 1},
    {41, "Server2Master NS_VXM_SERVER_INPROGRESS", false, 0, 5, 1, 1},
};

// Bytes the smallest record of a list takes: no count may claim more records
// than the bytes left could hold.
constexpr size_t kChannelRecordMin = 4 + 1;
constexpr size_t kUserRecordMin = 4 + 2 + 1 + 1;
constexpr size_t kServerRecordSize = 4 + 2;

}  // namespace

const SMasterMessageRow* MasterMessage_Table(size_t* count) {
    *count = sizeof kRows / sizeof kRows[0];
    return kRows;
}

const SMasterMessageRow* MasterMessage_Find(uint16_t id) {
    for (const SMasterMessageRow& r : kRows)
        if (r.id == id) return &r;
    return nullptr;
}

void MasterMessage_Register(NWEMessageTypes* registry, bool chat, MasterHandler (*handlerFor)(uint16_t),
                            void* context, NWEQueue* queue) {
    for (const SMasterMessageRow& r : kRows) {
        if (r.chatLink != chat) continue;
        MasterHandler h = handlerFor ? handlerFor(r.id) : nullptr;
        registry->Register(r.name, r.id, h, context, queue, nullptr, nullptr, r.cls, r.priority, r.delay, 0,
                           r.shortHeader);
    }
}

// ---- the query filter

void SMasterQueryFilter::Write(CStateArchive& ar) const {
    uint8_t bits = 0;
    if (location) bits |= 0x01;
    if (inProgress) bits |= 0x02;
    if (connection) bits |= 0x04;
    if (maxCount > 0) bits |= 0x08;
    if (dedicated) bits |= 0x10;
    if (!name.empty()) bits |= 0x20;
    if (!map.empty()) bits |= 0x40;
    if (!game.empty()) bits |= 0x80;
    ar.WriteU8(bits);
    if (bits & 0x01) ar.WriteU8(location);
    if (bits & 0x02) ar.WriteU8(inProgress);
    if (bits & 0x04) ar.WriteU8(connection);
    if (bits & 0x08) {
        uint16_t n = maxCount;
        ar.U16(n);
    }
    if (bits & 0x10) ar.WriteU8(dedicated);
    if (bits & 0x20) WireText_Write(ar, name.c_str(), kMasterMaxName);
    if (bits & 0x40) WireText_Write(ar, map.c_str(), kMasterMaxText);
    if (bits & 0x80) WireText_Write(ar, game.c_str(), kMasterMaxText);
}

bool SMasterQueryFilter::Read(CStateArchive& ar) {
    SMasterQueryFilter f;
    f.inProgress = 0;  // absent fields are 0
    uint8_t bits = ar.ReadU8();
    if (bits & 0x01) f.location = ar.ReadU8();
    if (bits & 0x02) f.inProgress = ar.ReadU8();
    if (bits & 0x04) f.connection = ar.ReadU8();
    if (bits & 0x08) f.maxCount = ar.ReadU16();
    if (bits & 0x10) f.dedicated = ar.ReadU8();
    if (bits & 0x20) f.name = MasterText_Read(ar, kMasterMaxName);
    if (bits & 0x40) f.map = MasterText_Read(ar, kMasterMaxText);
    if (bits & 0x80) f.game = MasterText_Read(ar, kMasterMaxText);
    if (!ar.Ok()) return false;
    *this = f;
    return true;
}

bool MasterFilter_Location(int selector, int location) {
    switch (selector) {
        case 0:
            return true;
        case 4:
            return location >= 4 && location <= 7;
        case 9:
            return location >= 9 && location <= 13;
        case 10:
            return location >= 10 && location <= 13;
        default:
            return location == selector;
    }
}

bool MasterFilter_Connection(int selector, int kind) {
    switch (selector) {
        case 0:
            return true;
        case 1:
            return kind == 1 || kind == 5 || kind == 6;
        case 2:
            return kind == 2 || kind == 7 || kind == 8;
        case 3:
            return kind == 3 || kind == 5 || kind == 7;
        case 4:
            return kind == 4 || kind == 6 || kind == 8;
        default:
            return kind == selector;
    }
}

bool MasterFilter_Contains(const char* text, const char* part) {
    if (!part || !*part) return true;
    if (!text) return false;
    size_t n = std::strlen(part);
    for (const char* t = text; *t; ++t) {
        size_t i = 0;
        while (i < n && t[i] &&
               std::tolower(static_cast<unsigned char>(t[i])) ==
                   std::tolower(static_cast<unsigned char>(part[i])))
            ++i;
        if (i == n) return true;
    }
    return false;
}

uint8_t Net_ConnectionClassFromRate(float rate) {
    const float limits[] = {2700,  3150,   3500,   6000,   12000,   45000,
                            50000, 140000, 180000, 500000, 1000000, 3000000};
    long whole = rate > 0.0f ? static_cast<long>(rate) : 0;
    for (int i = 0; i < 12; ++i)
        if (whole < limits[i]) return static_cast<uint8_t>(i + 1);
    return 13;
}

// ---- list records

bool MasterAddress_Usable(uint32_t ip, uint16_t port) {
    if (port == 0 || ip == 0 || ip == 0xFFFFFFFFu) return false;
    if ((ip >> 28) == 0xE) return false;  // multicast
    if ((ip >> 24) == 0) return false;    // "this network"
    return true;
}

void MasterAnswer_Write(CStateArchive& ar, const std::vector<SMasterServerAddress>& servers) {
    ar.WriteU32(static_cast<uint32_t>(servers.size()));
    for (const SMasterServerAddress& s : servers) {
        // The address in network order (its bytes as written a.b.c.d), the
        // port as a little-endian word.
        ar.WriteU8(static_cast<uint8_t>(s.ip >> 24));
        ar.WriteU8(static_cast<uint8_t>(s.ip >> 16));
        ar.WriteU8(static_cast<uint8_t>(s.ip >> 8));
        ar.WriteU8(static_cast<uint8_t>(s.ip));
        uint16_t port = s.port;
        ar.U16(port);
    }
}

bool MasterAnswer_Read(CStateArchive& ar, size_t cap, std::vector<SMasterServerAddress>* out) {
    out->clear();
    uint32_t claimed = ar.ReadU32();
    if (!ar.Ok() || claimed > ar.GetRemaining() / kServerRecordSize) {
        ar.Fail();
        return false;
    }
    for (uint32_t i = 0; i < claimed; ++i) {
        uint32_t ip = 0;
        for (int b = 0; b < 4; ++b) ip = (ip << 8) | ar.ReadU8();
        uint16_t port = ar.ReadU16();
        if (!ar.Ok()) return false;
        if (out->size() >= cap || !MasterAddress_Usable(ip, port)) continue;
        bool seen = false;
        for (const SMasterServerAddress& s : *out) seen = seen || (s.ip == ip && s.port == port);
        if (!seen) out->push_back({ip, port});
    }
    return ar.Ok();
}

void MasterChannels_Write(CStateArchive& ar, const std::vector<SMasterChannelRecord>& channels) {
    ar.WriteU32(static_cast<uint32_t>(channels.size()));
    for (const SMasterChannelRecord& c : channels) {
        ar.WriteU32(c.id);
        WireText_Write(ar, c.name.c_str(), kMasterMaxName);
    }
}

bool MasterChannels_Read(CStateArchive& ar, size_t cap, std::vector<SMasterChannelRecord>* out) {
    out->clear();
    uint32_t claimed = ar.ReadU32();
    if (!ar.Ok() || claimed > ar.GetRemaining() / kChannelRecordMin) {
        ar.Fail();
        return false;
    }
    for (uint32_t i = 0; i < claimed; ++i) {
        SMasterChannelRecord c;
        c.id = ar.ReadU32();
        c.name = MasterText_Read(ar, kMasterMaxName);
        if (!ar.Ok()) return false;
        if (out->size() < cap) out->push_back(c);
    }
    return true;
}

void MasterUser_Write(CStateArchive& ar, const SMasterUserRecord& u) {
    ar.WriteU32(u.id);
    uint16_t value = u.value;
    ar.U16(value);
    ar.WriteU8(u.kind);
    WireText_Write(ar, u.name.c_str(), kMasterMaxName);
}

bool MasterUser_Read(CStateArchive& ar, SMasterUserRecord* u) {
    u->id = ar.ReadU32();
    u->value = ar.ReadU16();
    u->kind = ar.ReadU8();
    u->name = MasterText_Read(ar, kMasterMaxName);
    return ar.Ok();
}

void MasterUsers_Write(CStateArchive& ar, uint32_t channel, const std::vector<SMasterUserRecord>& users) {
    ar.WriteU32(static_cast<uint32_t>(users.size()));
    ar.WriteU32(channel);
    for (const SMasterUserRecord& u : users) MasterUser_Write(ar, u);
}

bool MasterUsers_Read(CStateArchive& ar, size_t cap, uint32_t* channel, std::vector<SMasterUserRecord>* out) {
    out->clear();
    uint32_t claimed = ar.ReadU32();
    *channel = ar.ReadU32();
    if (!ar.Ok() || claimed > ar.GetRemaining() / kUserRecordMin) {
        ar.Fail();
        return false;
    }
    for (uint32_t i = 0; i < claimed; ++i) {
        SMasterUserRecord u;
        if (!MasterUser_Read(ar, &u)) return false;
        if (out->size() < cap) out->push_back(u);
    }
    return true;
}

std::string MasterText_Read(CStateArchive& ar, int maxLength) {
    CStrBuf text;
    if (!WireText_Read(ar, &text, maxLength)) return std::string();
    return text.GetText();
}
