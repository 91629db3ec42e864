#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include "e3d/BitmapSurface.h"
#include "netgame/ServerInfo.h"
#include "world/StateArchive.h"
#include "world/WireText.h"

namespace {
constexpr int kMaxName = 63;
constexpr int kMaxText = 255;
}  // namespace

CServerInfo::~CServerInfo() {
    delete m_picture;
}

void CServerInfo::WriteAttributes(CStateArchive& ar) const {
    WireText_Write(ar, m_name.GetText(), kMaxName);
    WireText_Write(ar, m_serverDescription.GetText(), kMaxText);
    ar.WriteI32(m_startResources);
    ar.WriteI32(m_location);
    ar.WriteI32(m_maxPlayers);
    ar.WriteI32(m_maxUnits);
    ar.WriteU32(m_flags);
    ar.WriteU8(m_fogOfWar);
    ar.WriteU8(m_alliedVictory);
    ar.WriteU8(m_cheats);
}

bool CServerInfo::ReadAttributes(CStateArchive& ar) {
    CStrBuf name, description;
    WireText_Read(ar, &name, kMaxName);
    WireText_Read(ar, &description, kMaxText);
    int32_t resources = ar.ReadI32();
    int32_t location = ar.ReadI32();
    int32_t maxPlayers = ar.ReadI32();
    int32_t maxUnits = ar.ReadI32();
    uint32_t flags = ar.ReadU32();
    uint8_t fog = ar.ReadU8();
    uint8_t allied = ar.ReadU8();
    uint8_t cheats = ar.ReadU8();
    if (!ar.Ok()) return false;
    m_name = name;
    m_serverDescription = description;
    m_startResources = resources;
    m_location = location;
    m_maxPlayers = maxPlayers;
    m_maxUnits = maxUnits;
    m_flags = flags;
    m_fogOfWar = fog;
    m_alliedVictory = allied;
    m_cheats = cheats;
    return true;
}

void CServerInfo::WriteMap(CStateArchive& ar) const {
    WireText_Write(ar, m_mapFile.GetText(), kMaxText);
    ar.WriteU32(m_mapChecksum);
}

bool CServerInfo::ReadMap(CStateArchive& ar) {
    CStrBuf file;
    WireText_Read(ar, &file, kMaxText);
    uint32_t checksum = ar.ReadU32();
    if (!ar.Ok()) return false;
    m_mapFile = file;
    m_mapChecksum = checksum;
    return true;
}
