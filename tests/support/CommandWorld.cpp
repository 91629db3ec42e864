#include "tests/support/CommandWorld.h"

#include "app/GameRoles.h"
#include "app/GameView.h"
#include "tests/support/UnitWorld.h"
#include "ui/Interface.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/Project.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldGrid.h"

CCommandWorld::CCommandWorld(int32_t half, bool display) {
    if (display) {
        DDraw_SetFactory(&recorder);
        view = new CGameView(&game, 0);
        game.SetGameView(view);
        view->ChooseDisplay();
    }
    game.SetClock(new CGameClock);
    net = new CNetGame(game.Roles().Net());
    game.SetNetGame(net);
    game.CreateWorld(&root);
    world = game.World();
    console.Start(game);
    // The world's roles are this test host's: its messages are recorded.
    world->SetRoles(Roles());
    world->Grid().SetMapRect(-half, half, half, -half);
    world->Grid().Reset();
    CPlayerList& players = net->m_players;
    local = players.m_local;
    local->SetId(2);
    local->m_raceName = "Granite";
    enemy = new CPlayer(&players);
    enemy->SetId(3);
    enemy->m_raceName = "Coral";
}

CCommandWorld::~CCommandWorld() {
    console.Stop();
    // The objects first, while the grid still stands; the templates go with
    // their projects.
    CGameScene& scene = world->Scene();
    while (scene.m_allObjects) delete scene.m_allObjects;
    world->SetProjects(nullptr);
    game.SetProjects(nullptr);
    delete projectList;
    game.DeleteWorld();
    delete net;
    game.SetNetGame(nullptr);
    delete game.Clock();
    game.SetClock(nullptr);
    if (view) {
        game.SetGameView(nullptr);
        delete view;
        DDraw_SetFactory(nullptr);
    }
}

bool CCommandWorld::Load(std::string& error) {
    const std::string units = Test_DemoUnitsFolder(error);
    if (units.empty()) return false;
    CGameScene& scene = world->Scene();
    projectList = new CProjectList(nullptr, &scene);
    world->SetProjects(projectList);
    if (!scene.LoadUnits(units.c_str())) {
        for (const std::string& l : lines) error += l + "\n";
        return false;
    }
    scene.DeriveTemplateSizes();
    for (CPlayer* p : net->m_players.m_players) p->m_race = net->m_players.FindRace(p->m_raceName.GetText());
    return true;
}

CUnit* CCommandWorld::Spawn(const char* templateName, float x, float z, CPlayer* owner) {
    CGameScene& scene = world->Scene();
    CTessarakObjectTemplate* t = scene.FindTemplate(templateName);
    if (!t) return nullptr;
    const float at[3] = {x, 0.0f, z};
    CTessarakObject* o = scene.CreateObjectByClass(t, at, owner, scene.m_idTable.NewId());
    if (!o || !o->IsUnit()) return nullptr;
    CUnit* unit = static_cast<CUnit*>(o);
    unit->m_gridFlags |= CGridMember::kG_Complete;
    return unit;
}

void CCommandWorld::Select(const std::vector<CUnit*>& units) {
    world->Commands().DeselectAll();
    std::vector<int32_t> ids;
    for (CUnit* u : units) ids.push_back(u->m_objectId);
    world->Commands().SelectUnits(ids);
}

CUnitTemplate* CCommandWorld::MakeUnitTemplate(const char* name,
                                               const std::vector<std::pair<const char*, const char*>>& keys) {
    CGameScene& scene = world->Scene();
    CUnitTemplate* t = new CUnitTemplate(&scene, &root, 1, nullptr);
    t->m_projectId = 1;
    t->m_nodeId = nextTemplateId++;
    t->m_name = name;
    t->m_power = 100.0f;
    for (const auto& k : keys) t->m_config.Add(k.first, k.second);
    t->LoadProperties();
    for (CPlayer* p : net->m_players.m_players)
        if (!t->GetPlayerData(p)) t->AddPlayer(p);
    return t;
}

size_t CCommandWorld::Turn(int count, bool steps) {
    size_t taken = 0;
    for (int i = 0; i < count; ++i) {
        std::vector<SSent> messages;
        messages.swap(sent);
        CTurnOrders orders;
        for (SSent& m : messages)
            if (CWorld::IsWorldOrder(static_cast<uint16_t>(m.type)))
                orders.Add(static_cast<uint16_t>(m.type), m.data.data(), m.data.size());
        taken += orders.Count();
        gameTime += 79545;
        STurn turn;
        turn.step = steps ? STurn::kStep : STurn::kOrdersOnly;
        world->Tick(turn, orders);
    }
    return taken;
}

std::vector<CTestGameHost::SSent> CCommandWorld::Sent(int type) const {
    std::vector<SSent> of;
    for (const SSent& m : sent)
        if (m.type == type) of.push_back(m);
    return of;
}

void CCommandWorld::LookAt(float x, float z) {
    CGameCamera& camera = game.Interface()->m_camera;
    camera.LookAt(x, z);
    if (!view) return;
    float eye[3], target[3];
    camera.Placement(eye, target);
    view->PlaceCamera(eye, target, camera.m_zoom);
    view->UpdateCamera();
}

void CCommandWorld::RunningGame() {
    game.SetGuiWord(0);
    game.SetGameState(2);
    game.SetGameLoading(false);
}
