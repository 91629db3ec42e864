// The description of a game server and the map it plays.
//
// The network game holds two: the hosted one, which this machine's server
// sends to its clients (the si_ variables edit it), and the current one,
// which every machine fills from what its server sent and from the map's box
// (the lobby shows it). Two messages carry it: SERVERINFO_ATTRIBS (117, the
// server's name and rules) and SERVERINFO_MAP (118, the map and its
// checksum), laid out beside their writers and readers here.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"
#include "nwe/Message.h"

class CStateArchive;
class CBitmapSurface;

class CServerInfo {
public:
    // Server flags: bit 0 takes contacts that come to chat before joining,
    // bit 1 lets players join.
    enum : uint32_t { kFlagChat = 1, kFlagJoin = 2 };

    CServerInfo() = default;
    ~CServerInfo();
    CServerInfo(const CServerInfo&) = delete;
    CServerInfo& operator=(const CServerInfo&) = delete;

    // 117: server name, server description (texts with their zeros), i32
    // start resources, i32 location, i32 maximum players, i32 maximum units,
    // u32 server flags, u8 fog of war, u8 allied victory, u8 cheats (25
    // bytes with both texts empty).
    void WriteAttributes(CStateArchive& ar) const;
    // Takes the record only when it reads whole.
    bool ReadAttributes(CStateArchive& ar);
    // 118: map file (its folder under "Maps", with its zero), u32 checksum.
    void WriteMap(CStateArchive& ar) const;
    bool ReadMap(CStateArchive& ar);

    // The map's picture (from "background.bik" of its box), owned; none
    // until the map's description was loaded.
    CBitmapSurface* m_picture = nullptr;
    CStrBuf m_mapFile;
    uint32_t m_mapChecksum = 0;
    CStrBuf m_description = "Tessarak Map";
    CStrBuf m_author = "Du Dorov";
    float m_value = 10.0f;
    int32_t m_designedPlayers = 4;
    int32_t m_width = 64;
    int32_t m_height = 64;
    CStrBuf m_name = "Tessarak Server";
    CStrBuf m_serverDescription = "A good and sturdy server";
    int32_t m_startResources = 5000;
    int32_t m_maxPlayers = 8;
    int32_t m_location = 4;
    int32_t m_maxUnits = 300;
    uint32_t m_flags = kFlagChat | kFlagJoin;
    uint8_t m_alliedVictory = 1;
    uint8_t m_fogOfWar = 1;
    uint8_t m_cheats = 0;
    // Not on the wire: the host's benchmark speed, and whether the server is
    // a map editor's.
    uint16_t m_speed = 0;
    uint8_t m_editor = 0;
    NWEList m_sendSlot;
};
