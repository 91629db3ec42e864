#include "tests/support/UnitWorld.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/Math.h"
#include "e3d/Shape.h"
#include "tools/lib/ContentProject.h"
#include "world/GridMember.h"
#include "world/OrderMessages.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/UnitWeapon.h"
#include "world/WorldGrid.h"

namespace {

CTessarakObjectTemplate* MakeNode(CWorldTestHost& host, CE3DFrame* parent, const SPackedNode& node,
                                  std::vector<CTessarakObjectTemplate*>& made) {
    const bool top = parent == host.m_root;
    CTessarakObjectTemplate* t;
    if (node.classKey == "CUnit")
        t = new CUnitTemplate(host.scene, parent, top ? 1 : 0, nullptr);
    else if (node.classKey == "CGridMember")
        t = new CGridMemberTemplate(host.scene, parent, top ? 1 : 0, nullptr);
    else if (node.classKey == "CUnitWeapon")
        t = new CUnitWeaponTemplate(host.scene, parent, top ? 1 : 0, nullptr);
    else
        t = new CTessarakObjectTemplate(host.scene, parent, top ? 1 : 0, nullptr);
    t->m_projectId = node.projectId;
    t->m_nodeId = node.nodeId;
    t->m_name = node.name.c_str();
    t->SetPosition(node.position[0], node.position[1], node.position[2]);
    for (const auto& kv : node.config) t->m_config.Add(kv.first.c_str(), kv.second.c_str());
    float radius = 0.5f;
    if (node.shape) {
        node.shape->ComputeBounds();
        radius = std::max(std::max(node.shape->m_extents[0], node.shape->m_extents[2]), 0.5f);
    }
    t->m_collisionRadius = radius;
    t->m_footprintHalfSize = static_cast<uint8_t>(Math_RoundToInt(radius * 3.0f));  // path cells
    made.push_back(t);
    for (const SPackedNode& c : node.children) MakeNode(host, t, c, made);
    return t;
}

}  // namespace

CUnitWorld::CUnitWorld(int32_t half) {
    grid = new CWorldGrid(this);
    grid->SetMapRect(-half, half, half, -half);
    grid->Reset();
    red = new CPlayer(players);
    red->SetId(2);
    red->m_raceName = "Granite";
    blue = new CPlayer(players);
    blue->SetId(3);
    blue->m_raceName = "Coral";
}

CUnitWorld::~CUnitWorld() {
    delete scene;  // objects first, while the grid still stands
    scene = nullptr;
    delete grid;
    grid = nullptr;
}

bool CUnitWorld::LoadDemoTemplates(std::string& error) {
    const char* source = std::getenv("TESSARAK_SOURCE");
    std::string folder = std::string(source ? source : ".") + "/content/Tessarak/Units/PackedProject.VXP";
    SContentBuild build;
    if (!ContentProject_Load(folder, build, error)) return false;
    // The races of the global settings, with their build effects.
    for (const SPackedNode& n : build.project.templates) {
        if (n.name != "!GlobalSettings") continue;
        for (const SPackedNode& races : n.children) {
            if (races.name != "!Races") continue;
            for (const SPackedNode& r : races.children) {
                if (r.name == "!Default" || r.name == "!Watching" || r.name.empty()) continue;
                CRace* race = new CRace(players, r.name.c_str() + 1);
                for (const auto& kv : r.config)
                    if (kv.first == "BuildEffect")
                        race->m_buildEffect = kv.second == "WireLightning"   ? 1
                                              : kv.second == "IntestineBlob" ? 2
                                              : kv.second == "IceScale"      ? 3
                                                                             : 0;
            }
        }
    }
    for (CPlayer* p : players->m_players) p->m_race = players->FindRace(p->m_raceName.GetText());
    std::vector<CTessarakObjectTemplate*> made;
    for (const SPackedNode& n : build.project.templates)
        if (n.name.empty() || n.name[0] != '!') MakeNode(*this, m_root, n, made);
    scene->m_spotTemplate = scene->FindTemplate("Game_Resource_Spot");
    for (CTessarakObjectTemplate* t : made) t->LoadProperties();
    for (CTessarakObjectTemplate* t : made)
        if (t->m_classMask & kClassUnit) static_cast<CUnitTemplate*>(t)->SortBuildList();
    for (CPlayer* p : players->m_players) scene->AddPlayerToTemplates(p);
    return true;
}

CUnitTemplate* CUnitWorld::UnitTemplate(const char* name) const {
    CTessarakObjectTemplate* t = scene->FindTemplate(name);
    return t && (t->m_classMask & kClassUnit) ? static_cast<CUnitTemplate*>(t) : nullptr;
}

CUnit* CUnitWorld::Spawn(const char* templateName, float x, float z, CPlayer* owner, bool complete) {
    CTessarakObjectTemplate* t = scene->FindTemplate(templateName);
    if (!t) return nullptr;
    const float at[3] = {x, 0.0f, z};
    CTessarakObject* o = scene->CreateObjectByClass(t, at, owner, scene->m_idTable.NewId());
    if (!o || !o->IsUnit()) return nullptr;
    CUnit* unit = static_cast<CUnit*>(o);
    if (complete) unit->m_gridFlags |= CGridMember::kG_Complete;
    return unit;
}

void CUnitWorld::Tick(int count) {
    for (int i = 0; i < count; ++i) {
        gameTime += 79545;
        scene->Tick();
        grid->Update();
    }
}

size_t CUnitWorld::Deliver() {
    std::vector<SSent> messages;
    messages.swap(sent);
    size_t taken = 0;
    for (SSent& m : messages) {
        const uint8_t* data = m.data.data();
        const size_t size = m.data.size();
        if (m.type == kMsgOrder)
            Orders_ApplyOrder(*scene, data, size);
        else if (m.type == kMsgStopOrder)
            Orders_ApplyStopOrder(*scene, data, size);
        else if (m.type == kMsgWaypointList)
            Orders_ApplyWaypointList(*scene, data, size);
        else {
            sent.push_back(std::move(m));
            continue;
        }
        ++taken;
    }
    return taken;
}

size_t CUnitWorld::Run(int count) {
    size_t taken = 0;
    for (int i = 0; i < count; ++i) {
        taken += Deliver();
        Tick();
    }
    return taken;
}
