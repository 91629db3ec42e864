#include "tests/support/WorldTestHost.h"

#include "world/ExplosionManager.h"
#include "world/GridMember.h"
#include "world/PhysicsEngine.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitWeapon.h"

CWorldTestHost::CWorldTestHost()
    : m_rootHolder(new CE3DFrame(nullptr)),
      m_playersHolder(new CPlayerList),
      m_root(m_rootHolder.get()),
      world(Roles()),
      scene(&world.Scene()),
      grid(&world.Grid()),
      explosions(&world.Explosions()),
      physics(&world.Physics()),
      players(m_playersHolder.get()) {
    world.SetRootFrame(m_root);
    world.SetPlayers(players);
}

// The world goes first (objects, then templates), then the players, then
// the scene root (the members' order).
CWorldTestHost::~CWorldTestHost() = default;

void CWorldTestHost::TickWorld(const CTurnOrders& orders) {
    gameTime += 79545;
    world.Tick(STurn(), orders);
}

std::string CWorldTestHost::FindLine(const char* text) const {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it)
        if (it->find(text) != std::string::npos) return *it;
    return "";
}

CTessarakObject* CWorldTestHost::Make(CTessarakObjectTemplate* tmpl, int32_t id, CPlayer* owner) {
    return scene->CreateObjectByClass(tmpl, nullptr, owner, id);
}

SDemoTemplates::SDemoTemplates(CWorldTestHost& host)
    : tank(host.MakeTemplate<CUnitTemplate>(host.m_root, 10, "Tank")),
      gun(host.MakeTemplate<CUnitWeaponTemplate>(tank, 11, "Gun")),
      ring(host.MakeTemplate<CTessarakObjectTemplate>(tank, 12, "Selection")),
      rock(host.MakeTemplate<CTessarakObjectTemplate>(host.m_root, 20, "Rock")),
      depot(host.MakeTemplate<CGridMemberTemplate>(host.m_root, 30, "Depot")) {}

std::vector<uint8_t> SyncImageOf(CTessarakObject* object) {
    CStateArchive ar;
    object->WriteSyncState(ar);
    return ar.GetBuffer();
}

std::vector<uint8_t> SavedRecordOf(CTessarakObject* object) {
    CStateArchive ar;
    object->SaveState(ar);
    return ar.GetBuffer();
}
