#include "tests/support/UnitWorld.h"

#include <cstdlib>

#include "world/GameMessages.h"
#include "world/GridMember.h"
#include "world/Project.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/UnitWeapon.h"
#include "world/WorldGrid.h"

CUnitWorld::CUnitWorld(int32_t half) {
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
    // The objects first, while the grid still stands; the templates go with
    // their projects.
    while (scene->m_allObjects) delete scene->m_allObjects;
    world.SetProjects(nullptr);
    delete projectList;
    projects = nullptr;
}

std::string Test_DemoUnitsFolder(std::string& error) {
    const char* build = std::getenv("TESSARAK_BUILD");
#ifdef TESSARAK_BUILD_DIR
    if (!build) build = TESSARAK_BUILD_DIR;  // a program of the build (a benchmark)
#endif
    if (!build) {
        error = "TESSARAK_BUILD is not set: run through ctest";
        return "";
    }
    return std::string("Z:") + build + "/install/Tessarak/Units";
}

bool CUnitWorld::LoadDemoTemplates(std::string& error) {
    const std::string units = Test_DemoUnitsFolder(error);
    if (units.empty()) return false;
    if (!projectList) {
        projectList = new CProjectList(nullptr, scene);
        projects = projectList;
        world.SetProjects(projectList);
    }
    if (!scene->LoadUnits(units.c_str())) {
        for (const std::string& l : lines) error += l + "\n";
        return false;
    }
    scene->DeriveTemplateSizes();
    for (CPlayer* p : players->m_players) p->m_race = players->FindRace(p->m_raceName.GetText());
    return true;
}

CUnitTemplate* CUnitWorld::UnitTemplate(const char* name) const {
    CTessarakObjectTemplate* t = scene->FindTemplate(name);
    return t && (t->m_classMask & kClassUnit) ? static_cast<CUnitTemplate*>(t) : nullptr;
}

CUnit* CUnitWorld::Spawn(const char* templateName, float x, float z, CPlayer* owner, bool complete) {
    CTessarakObjectTemplate* t = scene->FindTemplate(templateName);
    return t ? Spawn(t, x, z, owner, complete) : nullptr;
}

CUnit* CUnitWorld::Spawn(CTessarakObjectTemplate* t, float x, float z, CPlayer* owner, bool complete) {
    const float at[3] = {x, 0.0f, z};
    CTessarakObject* o = scene->CreateObjectByClass(t, at, owner, scene->m_idTable.NewId());
    if (!o || !o->IsUnit()) return nullptr;
    CUnit* unit = static_cast<CUnit*>(o);
    if (complete) unit->m_gridFlags |= CGridMember::kG_Complete;
    return unit;
}

CUnitTemplate* CUnitWorld::MakeUnitTemplate(const char* name,
                                            const std::vector<std::pair<const char*, const char*>>& keys) {
    CUnitTemplate* t = MakeTemplate<CUnitTemplate>(m_root, m_nextTemplateId++, name);
    for (const auto& k : keys) t->m_config.Add(k.first, k.second);
    t->LoadProperties();
    for (CPlayer* p : players->m_players)
        if (!t->GetPlayerData(p)) t->AddPlayer(p);
    return t;
}

void CUnitWorld::Tick(int count) {
    for (int i = 0; i < count; ++i) TickWorld();
}

CTurnOrders CUnitWorld::TakeOrders() {
    std::vector<SSent> messages;
    messages.swap(sent);
    CTurnOrders orders;
    for (SSent& m : messages) {
        if (m.type == NS_NOTIFYTYPE_ORDER || m.type == NS_NOTIFYTYPE_STOPCURRENTORDER ||
            m.type == NS_NOTIFYTYPE_WAYPOINTLIST)
            orders.Add(static_cast<uint16_t>(m.type), m.data.data(), m.data.size());
        else
            sent.push_back(std::move(m));
    }
    return orders;
}

size_t CUnitWorld::Deliver() {
    const CTurnOrders orders = TakeOrders();
    STurn turn;
    turn.step = STurn::kOrdersOnly;
    world.Tick(turn, orders);
    return orders.Count();
}

size_t CUnitWorld::Run(int count) {
    size_t taken = 0;
    for (int i = 0; i < count; ++i) {
        const CTurnOrders orders = TakeOrders();
        taken += orders.Count();
        TickWorld(orders);
    }
    return taken;
}
