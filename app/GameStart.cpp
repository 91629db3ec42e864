// The start of a game and the map load: what the game messages of the start
// handshake call on every machine, and the unit creation that the network
// handlers, the map scripts and the computer players share.
#include <cstring>
#include <vector>

#include "ai/AIManager.h"
#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameConsole.h"
#include "app/GameRoles.h"
#include "app/GameScreen.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "app/Progress.h"
#include "app/SoundEngine.h"
#include "console/CommandInterpreter.h"
#include "core/LittleEndian.h"
#include "core/Math.h"
#include "core/Random.h"
#include "core/ShownText.h"
#include "core/VFSFile.h"
#include "core/VFSTable.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Camera.h"
#include "netgame/MapFiles.h"
#include "netgame/NetGame.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/MapEditor.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitTemplate.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldGrid.h"

// The replies of the start handshake this machine answers
// (NS_NOTIFYTYPE_STARTGAME_REPLY, MAPCHANGESTART_REPLY, MAPFINISHUP_REPLY):
// a reply with one byte of 1 reports a failure, and the host then returns
// everyone to the lobby.

int CGame::StartGame() {
    Progress_Push(GetSystemText(228), 3);
    CStrBuf text;
    text.Format("%s...", GetSystemText(235));
    Progress_SetText(text.GetText(), "", 1);
    if (m_world) m_world->Scene().Clear();
    if (!LoadUnitFiles()) {
        Progress_Pop();
        // The host must not wait for a start reply that never comes.
        ReturnToLobby("Error starting game: the unit files did not load", NS_NOTIFYTYPE_STARTGAME_REPLY);
        return 0;
    }
    Game_Print(" ");
    Game_Print("Initializing Game... ");
    Game_Print(" ");
    // The battlefield's camera and the view as a game begins: its matrices
    // up to date, the narrow start lens (the player's own camera takes over
    // at the first drawn frame) and the screen that started the game
    // released. The cursor stays where the pointer is: the game's cursor
    // follows the window system's pointer, and moving only the game's copy
    // would draw it where the pointer is not.
    if (m_gameScreen && m_gameScreen->m_mainCamera) m_gameScreen->m_mainCamera->UpdateMatrixDown();
    if (m_gameView) m_gameView->SetFieldOfView(0.3f);
    if (m_interface) {
        if (m_interface->m_activeGUI != 1000)
            if (CGUIObject* active = m_interface->FindActiveGUI()) active->OnPressed(0);
    }
    if (m_world) {
        m_world->Grid().SetMapRect(-128, 128, 128, -128);
        m_world->Grid().Reset();
    }
    m_vars.drawGrid = 0;
    m_vars.drawGridAfter = 0;
    if (m_world) m_world->Explosions().Restart();
    static const char* const kScripts[] = {"Game_Single.cfg", "Game_Skirmish.cfg", "Game_Multi.cfg"};
    if (m_vars.gameType >= 0 && m_vars.gameType <= 2) Game_RunScript(kScripts[m_vars.gameType]);
    // The interface takes in what the game script set before the start goes
    // on (a game without its GUI has nothing to take it in).
    if (m_interface && m_interface->m_GUIRoot) m_interface->Update(0, 0);
    if (m_netGame && m_netGame->m_hosting) ResetClientFlags();
    Game_Print(" ");
    Game_Print("Starting up game... ");
    Game_Print(" ");
    Game_HideConsole(this);
    Progress_Pop();
    m_gameState = 1;
    SendToSession(NS_NOTIFYTYPE_STARTGAME_REPLY, nullptr, 0);
    return 1;
}

void CGame::ResetClientFlags() {
    m_startState = -1;
    m_gameLoading = 1;
    if (m_netGame) m_netGame->ResetClientFlags();
}

void CGame::ReturnToLobby(const char* message, int replyType) {
    Game_PrintColor(255, 0, 0, true, "%s", message);
    uint8_t failure = 1;
    if (replyType) SendToSession(replyType, &failure, 1);
    m_guiWord = 1;
    m_gameLoading = 0;
    m_mapLoading = 0;
    // A host stops its handshake: nobody waits for replies that never come.
    if (m_netGame && m_netGame->m_hosting) m_startState = 3;
}

void CGame::CallOffGameStart() {
    if (m_world) m_world->Scene().Clear();
    m_gameState = 1;
    m_guiWord = 1;
    m_gameLoading = 0;
    m_mapLoading = 0;
    m_mapLoaded = 0;
    m_startState = 3;
}

bool CGame::SetMapName(const char* name) {
    if (!MapName_IsPlain(name)) {
        Game_Printf("Invalid map name: %s", Text_Shown(name).c_str());
        return false;
    }
    m_mapName.Assign(name);
    return true;
}

bool CGame::MapFromServer() {
    // A client of another machine's server plays the map that server chose,
    // whose box may have come from it; a box that came from a server once
    // stays a server's box when this machine hosts it later.
    return (m_netGame && m_netGame->m_clientConnected && !m_netGame->m_hosting) ||
           MapBox_CameFromServer(m_roles->Files(), m_mapName.GetText());
}

bool CGame::HasMapBox(const char* name) {
    CVFSTable box;
    return MountMapBox(&box, name);
}

bool CGame::MountMapBox(CVFSTable* box, const char* mapName) {
    if (!mapName) mapName = m_mapName.GetText();
    if (!MapName_IsPlain(mapName)) return false;
    CStrBuf name;
    name.Format("%s\\MapData.box", mapName);
    CStrBuf path(GetPath("Maps", name.GetText()));
    SVFSEntry* entry = g_VFS.Find(path.GetText());
    if (!entry || entry->isFolder || !entry->container) return false;
    // The box may itself lie inside another pack: it is mounted from its
    // container at its own place.
    return box->MountPack(entry->container->fileName.GetText(), entry->dataOffset, entry->size);
}

namespace {
// A map's picture larger than this is not one.
constexpr uint32_t kMaxPictureBytes = 32u << 20;

// A member of a map box read whole, with a terminating zero after it; false
// when the box has no such member, it is larger than limit or does not read.
bool ReadMember(CVFSTable* box, const char* member, uint32_t limit, std::vector<char>& out) {
    CVFSFile file;
    if (!box || !box->Find(member) || !file.Open(member, CVFSFile::kModeRead, box)) return false;
    uint32_t size = file.GetSize();
    if (size > limit) return false;
    out.assign(size + 1, 0);
    if (file.Read(out.data(), size) != size) return false;
    out.resize(size);
    out.push_back(0);
    return true;
}
}  // namespace

void CGame::RestoreRadar(const char* mapFolder) {
    // "Maps\<map>": the map's box, as a map load mounts it.
    const char* map = mapFolder ? mapFolder : "";
    if (std::strncmp(map, "Maps\\", 5) == 0) map += 5;
    CVFSTable box;
    if (!MapName_IsPlain(map) || !MountMapBox(&box, map)) {
        Game_Printf("Error loading map: %s\\MapData.box", mapFolder ? mapFolder : "");
        return;
    }
    std::vector<char> radar;
    if (!box.Find("radar.bik") || !ReadMember(&box, "radar.bik", kMaxPictureBytes, radar)) {
        Game_Print("Error loading map: radar.bik not found in map box");
        return;
    }
    if (m_interface && Game_Screen(this)) m_interface->m_hud.LoadRadar(radar.data(), radar.size() - 1);
}

bool CGame::RunMapScript(CVFSTable* box, const char* member, bool globalToo) {
    CCommandInterpreter* ip = Game_Interpreter(this);
    if (!ip) return false;
    bool restricted = MapFromServer();
    std::vector<char> text;
    if (ReadMember(box, member, kMaxScriptBytes, text)) {
        CStrBuf source;
        source.Format("%s\\%s", m_mapName.GetText(), member);
        if (restricted) ip->BeginRestricted(box);
        ip->ExecuteScript(source.GetText(), text.data(), (int)text.size() - 1);
        if (restricted) ip->EndRestricted();
        return true;
    }
    if (!globalToo) return false;
    CStrBuf name;
    name.Format("%s\\%s", m_mapName.GetText(), member);
    CStrBuf path(GetPath("Maps", name.GetText()));
    if (!g_VFS.Find(path.GetText())) return false;
    if (restricted) ip->BeginRestricted(nullptr);
    m_roles->Console().RunScriptFile(path.GetText());
    if (restricted) ip->EndRestricted();
    return true;
}

void CGame::LoadMapInfo(const char* mapFile) {
    CNetGame* net = m_netGame;
    // No map chosen yet: nothing to describe.
    if (!net || !mapFile || !mapFile[0]) return;
    CServerInfo& info = net->m_joinedInfo;
    CVFSTable box;
    bool mounted = MountMapBox(&box, mapFile);
    // The description script fills the current description through its
    // si_Map_ variables; a box from a server runs it restricted.
    std::vector<char> text;
    CCommandInterpreter* ip = Game_Interpreter(this);
    if (mounted && ip && ReadMember(&box, "information.vxm", kMaxScriptBytes, text)) {
        bool restricted =
            (net->m_clientConnected && !net->m_hosting) || MapBox_CameFromServer(m_roles->Files(), mapFile);
        CStrBuf source;
        source.Format("%s\\information.vxm", mapFile);
        if (restricted) ip->BeginRestricted(&box);
        ip->ExecuteScript(source.GetText(), text.data(), (int)text.size() - 1);
        if (restricted) ip->EndRestricted();
    } else {
        Game_Print("Error loading map data");
    }
    delete info.m_picture;
    info.m_picture = nullptr;
    std::vector<char> picture;
    CE3DScreen* screen = Game_Screen(this);
    if (mounted && screen && ReadMember(&box, "background.bik", kMaxPictureBytes, picture)) {
        info.m_picture = new CBitmapSurface(screen);
        if (!info.m_picture->LoadVideo(picture.data(), (uint32_t)picture.size() - 1)) {
            delete info.m_picture;
            info.m_picture = nullptr;
        }
    }
    if (!info.m_picture) Game_Print("Error loading map image");
}

void CGame::LoadMap() {
    if (m_world) {
        m_world->Scene().Clear();
        // Every machine numbers the new map's objects from the start: one
        // that played a game before must not go on from its old count.
        m_world->Ids().SetCounter(0);
    }
    m_gameLoading = 1;
    if (m_clock) {
        m_clockWasFrozen = m_clock->m_frozen;
        m_clock->m_frozen = 0;
    }
    m_mapLoading = 1;
    m_mapLoaded = 0;
    // A new game: nobody has been asked to watch, the map is not revealed,
    // and the render draws between this game's ticks, not the last one's.
    m_watchOffered = 0;
    m_cellMapRevealed = 0;
    m_tickPair = m_publishedTick = SGameTickRecord();
    m_lastTick = SGameTickStamp();
    m_tickFactor = 1.0f;
    m_drawnGameTime = -1;
    m_roles->Console().RunScriptFile(GetPath("Units", "Special Effects\\Colors.cfg"));
    if (m_netGame) m_netGame->ResetPlayerCounters();
    SoundEngine_FreeQueuedVoices(m_soundEngine);
    if (m_interface) {
        m_interface->m_fullConsole = 0;
        // The HUD's per-game state: the radar's rings, the warnings, the
        // selection panel's pages, the last event.
        m_interface->m_hud.ResetForGame();
        // The notices of the game before end with it.
        m_interface->m_console.ClearScreenMessages();
    }

    CVFSTable box;
    if (!MountMapBox(&box)) {
        ReturnToLobby("Error loading map: MapData.box not found", NS_NOTIFYTYPE_MAPCHANGESTART_REPLY);
        return;
    }
    if (!box.Find("init.vxm"))
        Game_Print("Error loading map: init.vxm not found in map box");
    else
        RunMapScript(&box, "init.vxm", false);

    int32_t left = Math_RoundToInt(-0.5f * m_mapWidth), right = Math_RoundToInt(0.5f * m_mapWidth);
    int32_t top = Math_RoundToInt(0.5f * m_mapDepth), bottom = Math_RoundToInt(-0.5f * m_mapDepth);
    if (m_world) {
        if (!m_world->Grid().SetMapRect(left, top, right, bottom))
            Game_Printf("Error loading map: the map size %g x %g is refused", m_mapWidth, m_mapDepth);
        m_world->Grid().Reset();
    }

    // The radar's picture: the map's own, seen from above.
    if (m_interface) {
        std::vector<char> radar;
        if (!box.Find("radar.bik") || !ReadMember(&box, "radar.bik", kMaxPictureBytes, radar)) {
            Game_Print("Error loading map: radar.bik not found in map box");
            radar.clear();
        }
        if (Game_Screen(this))
            m_interface->m_hud.LoadRadar(radar.empty() ? nullptr : radar.data(),
                                         radar.empty() ? 0 : radar.size() - 1);
    } else if (!box.Find("radar.bik")) {
        Game_Print("Error loading map: radar.bik not found in map box");
    }

    CVFSFile visual;
    if (box.Find("visual.bin") && visual.Open("visual.bin", CVFSFile::kModeRead, &box)) {
        CWorld* world = m_world;
        CGameScene* scene = Scene();
        CPlayer* neutral = scene ? scene->NeutralPlayer() : nullptr;
        LoadMapObjects(scene, &visual, [this, world, neutral](CTessarakObjectTemplate* t, float x, float z) {
            return CreateUnitForLocalPlayer(t->m_projectId, t->m_nodeId, x, z, neutral, world->Ids().NewId());
        });
        visual.Close();
    } else {
        Game_Print("Error loading map: visual.bin not found in map box");
    }
    // The computer players start on the map (their generators seeded from
    // the game's), "ai.cfg" runs, then the map's own script for them: the
    // map box's copy first, else the one in the map's folder. A saved game
    // brings its computer players' own state, which its load puts over
    // these, and runs no script for them.
    if (m_aiManager) {
        CStrBuf folder(GetPath("Maps", m_mapName.GetText()));
        m_aiManager->m_seed = GetRandomSeedState();
        m_aiManager->InitializeCommanders(m_mapName.GetText(), folder.GetText());
    }
    if (!m_netGame || !m_netGame->SavedGamePending()) RunMapScript(&box, "AI.vxm", true);
    SendToSession(NS_NOTIFYTYPE_MAPCHANGESTART_REPLY, nullptr, 0);
}

void CGame::RunObjectiveScript() {
    // A campaign's mission brings its own objectives.
    if (m_vars.gameType == 0 && m_interface && !m_interface->m_campaignName.IsEmpty() &&
        !m_interface->m_missionName.IsEmpty()) {
        CStrBuf campaigns(GetPath("Campaigns", "")), path;
        path.Format("%s\\%s\\%s\\Objective.vxm", campaigns.GetText(), m_interface->m_campaignName.GetText(),
                    m_interface->m_missionName.GetText());
        if (Game_FileExists(path.GetText())) {
            m_roles->Console().RunScriptFile(path.GetText());
            return;
        }
    }
    CVFSTable box;
    bool mounted = MountMapBox(&box);
    RunMapScript(mounted ? &box : nullptr, "Objective.vxm", true);
}

namespace {
// The start template of a player's race (null when the race names none).
CTessarakObjectTemplate* StartTemplateOf(const CPlayer* player) {
    return player && player->m_race ? player->m_race->m_startUnit : nullptr;
}

float ReachOf(const CTessarakObjectTemplate* t) {
    return t ? t->m_collisionRadius : 1.0f;
}

// A start unit's player, place and reach; the room that another start unit
// keeps from it.
struct SStartPlace {
    CPlayer* player;
    float x, z, radius;
    float gap = 0.0f;
};

// The room kept between start units and what stands still by them: ways
// wide enough for a harvester between every two (a base that walls in its
// own harvester leaves it no way to its field); units that move keep less.
constexpr float kStartUnitGap = 3.5f;
constexpr float kMovingUnitGap = 1.0f;

// Where a further start unit of the given reach stands by the start unit:
// on rings around it (the first clears both units by the gap, each next one
// lies 1 farther out) in 32 directions, the place nearest the start unit
// and the direction given (a turn of a quarter counts as 6 more), inside
// the map by the unit's reach and 1 more, clear of every place taken.
bool FurtherStartPlace(const CWorldGrid& grid, const std::vector<SStartPlace>& taken,
                       const SStartPlace& start, float toward, float radius, float& outX, float& outZ) {
    const float margin = radius + 1.0f;
    const float first = start.radius + radius + kStartUnitGap;
    float best = -1.0f;
    for (float ring = first; ring < first + 40.0f; ring += 1.0f) {
        if (best >= 0.0f && ring - first >= best) break;  // nothing farther out can do better
        for (int k = 0; k < 32; ++k) {
            const float turn = static_cast<float>((k + 1) / 2) * (kTwoPi / 32.0f);
            const float angle = toward + ((k & 1) ? turn : -turn);
            const float x = start.x + Math_Cos(angle) * ring, z = start.z + Math_Sin(angle) * ring;
            const float score = ring - first + turn * (6.0f / 1.5707964f);
            if ((best >= 0.0f && score >= best) || x < float(grid.m_x1) + margin ||
                x > float(grid.m_x2) - margin || z < float(grid.m_y2) + margin ||
                z > float(grid.m_y1) - margin)
                continue;
            bool clear = true;
            for (const SStartPlace& t : taken)
                clear = clear && Distance2D(x, z, t.x, t.z) >= t.radius + radius + t.gap - 0.01f;
            if (!clear) continue;
            best = score;
            outX = x;
            outZ = z;
        }
    }
    return best >= 0.0f;
}

// The races' further start units (a depot, a factory, a harvester), each by
// its player's start unit, clear of the map's objects: a harvester and its
// depot on the side of the crystal field nearest the start (short ways to
// carry), the others behind it, away from the map's middle (the way forward
// stays open for the army). The world grid knows none of
// them yet (the map's objects enter it with their first tick, the start
// units come with the create messages): the scene's grid members and the
// places taken here are what counts.
void PlaceFurtherStartUnits(CGame* game, const CWorldGrid* grid, const std::vector<SStartPlace>& starts) {
    CGameScene* scene = game->Scene();
    if (!grid || !scene) return;
    std::vector<SStartPlace> taken = starts;
    for (CGridMember* m = scene->m_gridMembers; m; m = m->m_gridNext) {
        const bool moves = m->IsUnit() && (static_cast<CUnit*>(m)->m_unitState & CUnit::kU_Mobile);
        taken.push_back({nullptr, m->m_position[0], m->m_position[2], m->m_objectRadius,
                         moves ? kMovingUnitGap : kStartUnitGap});
    }
    for (const SStartPlace& s : starts) {
        if (!s.player->m_race) continue;
        const float toMiddle = Math_Atan2(-s.z, -s.x);
        float toField = toMiddle, nearest = 40.0f;
        for (CGridMember* m = scene->m_gridMembers; m; m = m->m_gridNext) {
            const float d = Distance2D(s.x, s.z, m->m_position[0], m->m_position[2]);
            if (m->m_resourceType > 0 && d < nearest) {
                nearest = d;
                toField = Math_Atan2(m->m_position[2] - s.z, m->m_position[0] - s.x);
            }
        }
        for (CTessarakObjectTemplate* t : s.player->m_race->m_moreStartUnits) {
            const CUnitTemplate* u =
                t->m_classMask & kClassUnit ? static_cast<const CUnitTemplate*>(t) : nullptr;
            const bool carries = u && (u->m_harvestDepot || u->m_harvestType);
            float x = 0.0f, z = 0.0f;
            const float toward = carries ? toField : toMiddle + kTwoPi * 0.5f;
            if (!FurtherStartPlace(*grid, taken, s, toward, ReachOf(t), x, z)) continue;
            taken.push_back({s.player, x, z, ReachOf(t), kStartUnitGap});
            game->RequestCreateUnit(t, x, 0.0f, z, 0.0f, 0, -1, 0, s.player->m_ownerId, nullptr);
        }
    }
}
}  // namespace

void CGame::PlaceStartUnits() {
    CGameScene* scene = Scene();
    CNetGame* net = m_netGame;
    if (!scene || !net) return;
    if (m_interface) m_interface->m_camera.LookAt(0.0f, 0.0f);
    CPlayerList& players = net->m_players;
    CPlayer* placeholder = players.m_neutral;
    for (CPlayer* p : players.m_players) {
        if (p == placeholder) continue;
        uint8_t data[8];
        LE_StoreU32(data, (uint32_t)p->m_id);
        float resources = (float)net->m_serverInfo.m_startResources;
        uint32_t bits;
        std::memcpy(&bits, &resources, 4);
        LE_StoreU32(data + 4, bits);
        SendToSession(NS_NOTIFYTYPE_GIVERESOURCES, data, 8);
    }
    if (m_vars.gameType <= 0) return;

    std::vector<float> placedX, placedZ;
    std::vector<CPlayer*> extra;
    std::vector<SStartPlace> starts;
    size_t next = 0;
    for (CPlayer* p : players.m_players) {
        if (p == placeholder || (p->m_race && p->m_race->m_watching)) continue;
        if (next < scene->m_startX.size()) {
            float x = scene->m_startX[next], z = scene->m_startZ[next];
            ++next;
            placedX.push_back(x);
            placedZ.push_back(z);
            starts.push_back({p, x, z, ReachOf(StartTemplateOf(p)), kStartUnitGap});
            RequestCreateUnit(StartTemplateOf(p), x, 0.0f, z, 0.0f, 0.0f, -1, 0, p->m_ownerId, nullptr);
        } else {
            extra.push_back(p);
        }
    }
    if (extra.empty()) return PlaceFurtherStartUnits(this, &m_world->Grid(), starts);
    // Players beyond the map's start positions: the free place farthest from
    // every start position taken so far, on a lattice over the map.
    CWorldGrid* grid = &m_world->Grid();
    float gl = (float)grid->m_x1, gr = (float)grid->m_x2, gt = (float)grid->m_y1, gb = (float)grid->m_y2;
    float diagonal = Distance2D(0.0f, 0.0f, gr - gl, gt - gb);
    for (CPlayer* p : extra) {
        CTessarakObjectTemplate* start = StartTemplateOf(p);
        float radius = start ? start->m_collisionRadius : 1.0f;
        float step = 2.0f * radius > 0.5f ? 2.0f * radius : 0.5f;
        float bestX = 0.0f, bestZ = 0.0f, bestScore = -1.0f;
        for (float x = gl + 5.0f; x < gr - 5.0f; x += step)
            for (float z = gb + 5.0f; z < gt - 5.0f; z += step) {
                if (!grid->m_layer[0].QueryAround(2.0f * radius, x, z)) continue;
                float score = 100000000.0f;
                for (size_t i = 0; i < placedX.size(); ++i) {
                    float d = Distance2D(x, z, placedX[i], placedZ[i]) / diagonal;
                    if (d > 0.00001f) d *= d;
                    if (d < score) score = d;
                }
                if (score > bestScore) {
                    bestScore = score;
                    bestX = x;
                    bestZ = z;
                }
            }
        placedX.push_back(bestX);
        placedZ.push_back(bestZ);
        scene->m_startX.push_back(bestX);
        scene->m_startZ.push_back(bestZ);
        starts.push_back({p, bestX, bestZ, radius, kStartUnitGap});
        RequestCreateUnit(start, bestX, 0.0f, bestZ, 0.0f, 0.0f, -1, 0, p->m_ownerId, nullptr);
    }
    PlaceFurtherStartUnits(this, grid, starts);
}

void CGame::AfterMapLoad() {
    CGameScene* scene = Scene();
    CPlayer* local = scene ? scene->LocalPlayer() : nullptr;
    CTessarakObjectTemplate* start = StartTemplateOf(local);
    // The camera looks at the local player's start unit (or its last unit).
    if (scene && local && m_interface) {
        for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
            if (u->m_owner != local) continue;
            m_interface->m_camera.LookAt(u->m_position[0], u->m_position[2]);
            if (u->m_template == start) break;
        }
    }
    // The local player's harvesters set to work at once, each at the crystal
    // field nearest to it, as a right click on that field sets them: an
    // order of the player's own, through the world's order interface.
    for (CUnit* u = scene && local && m_world ? scene->m_units : nullptr; u; u = u->m_unitNext) {
        const CUnitTemplate* t = u->UnitTemplate();
        if (u->m_owner != local || !t || !(t->m_classMask & kClassUnit) || !t->m_harvestType ||
            !(t->m_maxResourcesHeld > 0.0f))
            continue;
        CGridMember* field = nullptr;
        float nearest = 0.0f;
        for (CGridMember* m = scene->m_gridMembers; m; m = m->m_gridNext) {
            const float d =
                Distance2D(u->m_position[0], u->m_position[2], m->m_position[0], m->m_position[2]);
            if (m->m_resourceType > 0 && m->m_resourceAmount > 0.0f && (!field || d < nearest)) {
                field = m;
                nearest = d;
            }
        }
        if (field) m_world->Commands().Harvest({u->m_objectId}, field->m_objectId, 0);
    }
    if (m_clock) m_clock->ResetGameSeconds();
    SoundEngine_ForgetPlayTimes(m_soundEngine);
    m_mapLoading = 0;
    m_mapLoaded = 1;
    // The map is there: the in-game screen from now on.
    if (m_interface) m_interface->m_MenuGUIId = 1000;
    CStrBuf text;
    text.Format("%s...", GetSystemText(236));
    Progress_SetText(text.GetText(), "", 1);
    SendToSession(NS_NOTIFYTYPE_MAPFINISHUP_REPLY, nullptr, 0);
}

CTessarakObjectTemplate* CGame::FindTemplate(const char* name) {
    return m_world ? m_world->Scene().FindTemplate(name) : nullptr;
}

CTessarakObject* CGame::CreateUnitForLocalPlayer(uint16_t projectId, uint32_t templateId, float x, float z,
                                                 CPlayer* owner, int32_t objectId) {
    return CreateUnitFor(projectId, templateId, x, z, owner, nullptr, objectId);
}

CTessarakObject* CGame::CreateUnitFor(uint16_t projectId, uint32_t templateId, float x, float z,
                                      CPlayer* owner, CE3DFrame* parent, int32_t objectId) {
    if (!m_world) return nullptr;
    CTessarakObjectTemplate* tmpl = m_world->Scene().FindTemplateById(projectId, int32_t(templateId));
    return tmpl ? m_world->CreateUnitInFrame(tmpl, x, z, parent, owner, objectId) : nullptr;
}

void CGame::RequestCreateUnit(CTessarakObjectTemplate* tmpl, float x, float y, float z,
                              float headingIncrement, float scaleIncrement, int32_t mapId, int32_t layer,
                              int32_t ownerId, const float* spot) {
    if (!tmpl || !m_world) return;
    CGameScene::SPlacement p;
    p.x = x;
    p.y = y;
    p.z = z;
    p.headingIncrement = headingIncrement;
    p.scaleIncrement = scaleIncrement;
    p.mapId = mapId;
    p.layer = layer;
    p.ownerId = ownerId;
    p.spot = spot;
    uint8_t data[50];
    SendToSession(NS_NOTIFYTYPE_CREATEUNIT, data, CreateUnit_Encode(m_world->Scene(), tmpl, p, data));
}

void CGame::RequestCreateUnitByName(const char* name, float x, float y, float z, float headingIncrement,
                                    float scaleIncrement, int32_t mapId, int32_t layer, int32_t ownerId,
                                    const float* spot) {
    RequestCreateUnit(FindTemplate(name), x, y, z, headingIncrement, scaleIncrement, mapId, layer, ownerId,
                      spot);
}

void CGame::ServerStartStep() {
    if (!m_netGame || !m_netGame->m_hosting) return;
    m_netGame->StartHandshakeStep(&m_startState);
}

bool CGame::SendToSession(int type, const void* data, int length) {
    return m_netGame && m_netGame->Send(type, data, length);
}
