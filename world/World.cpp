#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "core/StrBuf.h"
#include "world/ExplosionManager.h"
#include "world/GameMessages.h"
#include "world/GameScene.h"
#include "world/GridMember.h"
#include "world/OrderMessages.h"
#include "world/PhysicsEngine.h"
#include "world/Player.h"
#include "world/StateArchive.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/World.h"
#include "world/WorldGrid.h"

void IWorldConsole::Printf(const char* fmt, ...) {
    CStrBuf text;
    va_list ap;
    va_start(ap, fmt);
    text.FormatV(fmt, ap);
    va_end(ap);
    Print(text.GetText());
}

IWorldConsole& WorldRoles_QuietConsole() {
    class CQuietConsole : public IWorldConsole {
    public:
        void Print(const char*) override {}
        void PrintColor(int, int, int, bool, const char*) override {}
        bool RunScriptFile(const char*) override { return false; }
        const char* GetSystemText(int) override { return ""; }
    };
    static CQuietConsole s_console;
    return s_console;
}

IWorldFiles& WorldRoles_PlainFiles() {
    class CPlainFiles : public IWorldFiles {
    public:
        const char* GetPath(const char*, const char* name) override { return name ? name : ""; }
    };
    static CPlainFiles s_files;
    return s_files;
}

namespace {

// ---- the quiet defaults of roles that were not given

class CStoppedClock : public IWorldClock {
public:
    uint64_t GameTime() override { return 0; }
    float TickStep() override { return 0.0f; }
    float GameSeconds() override { return 0.0f; }
};

class CNoSender : public IOrderSender {
public:
    bool Send(int, const void*, int) override { return false; }
};

class CNoView : public IWorldView {
public:
    void ShakeAt(float, float, float) override {}
    void PostEventMessage(int, int32_t, float, float, const char*) override {}
};

class CNoSound : public IWorldSound {
public:
    bool SoundOff() override { return true; }
    SWorldSample* LoadSample(const char*) override { return nullptr; }
    void FreeSample(SWorldSample*) override {}
    void PlaySample(SWorldSample*, int) override {}
    void QueueVoice(SWorldSample*, int, int) override {}
    void ListeningPoint(float* x, float* z) override { *x = *z = 0.0f; }
};

class CPlainSession : public IWorldSession {
public:
    void Lock() override {}
    void Unlock() override {}
    bool InLobby() override { return false; }
    int32_t UnitLimit() override { return 0; }
    [[noreturn]] void FatalExit(int exitCode) override {
        std::fflush(stdout);
        std::exit(exitCode);
    }
};

CStoppedClock s_stoppedClock;
CNoSender s_noSender;
CNoView s_noView;
CNoSound s_noSound;
CPlainSession s_plainSession;

bool Finite(float v) {
    return v == v && v > -1.0e30f && v < 1.0e30f;
}

float LoadF32(const uint8_t* p) {
    uint32_t bits = LE_LoadU32(p);
    float v;
    std::memcpy(&v, &bits, 4);
    return v;
}

}  // namespace

void CTurnOrders::Add(uint16_t type, const void* data, size_t length) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    m_orders.push_back({type, std::vector<uint8_t>(bytes, bytes + (bytes ? length : 0))});
}

CWorld::CWorld(const SWorldRoles& roles) {
    SetRoles(roles);
    m_physics = new CPhysicsEngine(this);
    m_explosions = new CExplosionManager(this);
    m_grid = new CWorldGrid(this);
    m_scene = new CGameScene(*this);
}

CWorld::~CWorld() {
    // The view's effects show templates of the scene: they go first.
    m_explosions->ClearEffects();
    delete m_scene;  // objects, then templates
    m_scene = nullptr;
    delete m_grid;
    m_grid = nullptr;
    delete m_physics;
    m_physics = nullptr;
    delete m_explosions;
    m_explosions = nullptr;
    if (m_players && m_players->World() == this) m_players->SetWorld(nullptr);
}

void CWorld::SetRoles(const SWorldRoles& roles) {
    m_console = roles.console ? roles.console : &WorldRoles_QuietConsole();
    m_files = roles.files ? roles.files : &WorldRoles_PlainFiles();
    m_clock = roles.clock ? roles.clock : &s_stoppedClock;
    m_sender = roles.sender ? roles.sender : &s_noSender;
    m_view = roles.view ? roles.view : &s_noView;
    m_sound = roles.sound ? roles.sound : &s_noSound;
    m_session = roles.session ? roles.session : &s_plainSession;
}

void CWorld::SetPlayers(CPlayerList* players) {
    if (m_players && m_players != players && m_players->World() == this) m_players->SetWorld(nullptr);
    m_players = players;
    if (players) players->SetWorld(this);
}

void CWorld::SetRootFrame(CE3DFrame* root) {
    m_scene->m_rootFrame = root;
}

CObjectIdTable& CWorld::Ids() {
    return m_scene->m_idTable;
}

// ---- the door

void CWorld::Tick(const STurn& turn, const CTurnOrders& orders) {
    for (const CTurnOrders::SOrder& o : orders.Orders()) ApplyOrder(o.type, o.data.data(), o.data.size());
    if (turn.step == STurn::kOrdersOnly) return;
    DeleteQueuedFrames(turn);
    Step(turn);
}

void CWorld::DeleteQueuedFrames(const STurn& turn) {
    if (turn.step == STurn::kOrdersOnly) return;
    // Every turn, whether or not the objects step (the map editor, a game
    // that has ended): the frames of effects that ended go, objects that
    // left play after their linger.
    m_scene->DeleteQueuedFrames(Clock().TickStep());
}

void CWorld::TickAfterDeletions(const STurn& turn, const CTurnOrders& orders) {
    for (const CTurnOrders::SOrder& o : orders.Orders()) ApplyOrder(o.type, o.data.data(), o.data.size());
    if (turn.step != STurn::kOrdersOnly) Step(turn);
}

void CWorld::Step(const STurn& turn) {
    if (turn.step == STurn::kStep) m_scene->Tick();
    m_grid->Update();
    m_scene->m_ticked = 1;
}

uint32_t CWorld::StateHash() {
    CCRC32 crc;
    uint32_t values[2] = {static_cast<uint32_t>(m_scene->m_idTable.GetCounter()), m_scene->ComputeSyncCRC()};
    crc.Update(values, 8);
    CStateArchive ar;
    if (m_players)
        for (CPlayer* p : m_players->m_players)
            if (p != m_players->m_neutral) p->WriteSyncInfo(ar);
    crc.Update(ar.GetData(), ar.GetBuffer().size());
    return crc.GetValue();
}

void CWorld::SaveState(CStateArchive& ar) {
    ar.WriteI32(m_scene->m_idTable.GetCounter());
    std::vector<CPlayer*> players;
    if (m_players)
        for (CPlayer* p : m_players->m_players)
            if (p != m_players->m_neutral) players.push_back(p);
    ar.WriteU32(static_cast<uint32_t>(players.size()));
    for (CPlayer* p : players) p->WriteSyncInfo(ar);
    m_scene->SaveObjects(ar);
    m_scene->SaveValues(ar);
    m_scene->Objectives().Transfer(ar);
    m_grid->SavePathState(ar);
}

bool CWorld::LoadState(CStateArchive& ar, const std::vector<int32_t>* playerIds) {
    if (!ar.IsReading()) return false;
    const bool apply = ar.IsApplying();
    if (apply && m_scene->m_allObjects) return false;
    const CStateArchive::EMode mode = ar.GetMode();
    const size_t start = ar.GetPosition();
    // The players' records: each names a player that exists (or, for a
    // check, one that will).
    auto players = [&](CStateArchive::EMode pass) {
        ar.SetReadMode(pass);
        const int32_t counter = ar.ReadI32();
        uint32_t count = 0;
        ar.Count(count, 4);
        bool ok = ar.Ok() && counter >= 0;
        for (uint32_t n = 0; ok && n < count; ++n) {
            const int32_t id = ar.ReadI32();
            CPlayer* p = m_players ? m_players->FindPlayerById(id) : nullptr;
            if (pass == CStateArchive::kCheck && playerIds) {
                const bool named = std::find(playerIds->begin(), playerIds->end(), id) != playerIds->end();
                // Any record reads a record alike while checking.
                p = named && m_players ? m_players->m_neutral : nullptr;
            } else if (p && p == m_players->m_neutral) {
                p = nullptr;
            }
            bool changed = false;
            ok = p && p->ReadSyncInfo(ar, &changed);
        }
        return ok && ar.Ok() ? counter : -1;
    };
    // 1. Everything is checked; nothing changes.
    bool ok = players(CStateArchive::kCheck) >= 0;
    if (ok) {
        ar.SetReadMode(CStateArchive::kCheck);
        ok = m_scene->LoadObjects(ar) && m_scene->LoadValues(ar);
        m_scene->Objectives().Transfer(ar);
        ok = ok && ar.Ok() && m_grid->LoadPathState(ar);
    }
    if (!ok || !apply) {
        ar.SetReadMode(mode);
        return ok;
    }
    // 2. Then taken: the objects (which check themselves once more), the
    // players, the scene's values, the objectives (their units exist now),
    // the way searches, the id counter last.
    const size_t end = ar.GetPosition();
    ar.Rewind(start);
    players(CStateArchive::kCheck);
    ar.SetReadMode(CStateArchive::kApply);
    ok = m_scene->LoadObjects(ar);
    if (ok) {
        const size_t values = ar.GetPosition();
        ar.Rewind(start);
        const int32_t counter = players(CStateArchive::kApply);
        ar.Rewind(values);
        ar.SetReadMode(CStateArchive::kApply);
        ok = counter >= 0 && m_scene->LoadValues(ar);
        m_scene->Objectives().Transfer(ar);
        ok = ok && ar.Ok() && m_grid->LoadPathState(ar);
        if (counter >= 0) m_scene->m_idTable.SetCounter(counter);
    }
    ar.SetReadMode(mode);
    if (ok) ar.Rewind(end);
    return ok;
}

bool CWorld::SearchInProgress() const {
    return m_grid->SearchInProgress();
}

bool CWorld::IsWorldOrder(uint16_t type) {
    switch (type) {
        case NS_NOTIFYTYPE_CREATEUNIT:
        case NS_NOTIFYTYPE_ORDER:
        case NS_NOTIFYTYPE_UNIT_CONNECT:
        case NS_NOTIFYTYPE_UNIT_DISCONNECT:
        case NS_NOTIFYTYPE_STOPCURRENTORDER:
        case NS_NOTIFYTYPE_MODE_ON:
        case NS_NOTIFYTYPE_MODE_OFF:
        case NS_NOTIFYTYPE_WAYPOINTLIST:
        case NS_NOTIFYTYPE_SIGNAL:
        case NS_NOTIFYTYPE_GIVERESOURCESTOALL:
        case NS_NOTIFYTYPE_GIVERESOURCES:
        case NS_NOTIFYTYPE_KILLUNIT:
            return true;
        default:
            return false;
    }
}

bool CWorld::ApplyOrder(uint16_t type, const void* data, size_t length) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    if (!bytes && length) return false;
    auto object = [&](size_t at) -> CTessarakObject* {
        return m_scene->m_idTable.Find(static_cast<int32_t>(LE_LoadU32(bytes + at)));
    };
    auto unit = [&](size_t at) -> CUnit* {
        CTessarakObject* o = object(at);
        return o && o->IsUnit() ? static_cast<CUnit*>(o) : nullptr;
    };
    auto player = [&]() -> CPlayer* {
        return m_players ? m_players->FindPlayerById(static_cast<int32_t>(LE_LoadU32(bytes))) : nullptr;
    };
    switch (type) {
        case NS_NOTIFYTYPE_CREATEUNIT:
            return ApplyCreateUnit(bytes, length);
        case NS_NOTIFYTYPE_ORDER:
            return Orders_ApplyOrder(*m_scene, bytes, length);
        case NS_NOTIFYTYPE_STOPCURRENTORDER:
            return Orders_ApplyStopOrder(*m_scene, bytes, length);
        case NS_NOTIFYTYPE_WAYPOINTLIST:
            return Orders_ApplyWaypointList(*m_scene, bytes, length);
        case NS_NOTIFYTYPE_MODE_ON:
        case NS_NOTIFYTYPE_MODE_OFF: {
            // Bit 0x80 of the unit's mode byte.
            CUnit* u = length == 4 ? unit(0) : nullptr;
            if (!u) return false;
            if (type == NS_NOTIFYTYPE_MODE_ON)
                u->m_mode |= 0x80;
            else
                u->m_mode &= static_cast<uint8_t>(~0x80);
            return true;
        }
        case NS_NOTIFYTYPE_SIGNAL: {
            // The signal the unit waits for (0: it goes on).
            CUnit* u = length == 5 ? unit(0) : nullptr;
            if (!u) return false;
            u->m_waitSignal = bytes[4];
            return true;
        }
        case NS_NOTIFYTYPE_UNIT_CONNECT: {
            // A tow cable between the two units when they are near enough.
            if (length != 8) return false;
            CUnit* a = unit(0);
            CUnit* b = unit(4);
            return a && b && m_physics->TryAttachTowCable(a, b);
        }
        case NS_NOTIFYTYPE_UNIT_DISCONNECT: {
            // Every cable that holds the unit lets it go.
            CUnit* u = length == 4 ? unit(0) : nullptr;
            return u && m_physics->ReleaseLinksTo(u);
        }
        case NS_NOTIFYTYPE_KILLUNIT: {
            CTessarakObject* o = length == 8 ? object(0) : nullptr;
            if (!o) return false;
            if (LE_LoadU32(bytes + 4) != 0) {
                o->AddToUpdateList();
            } else {
                // Destroyed the normal way: the damage that leaves it at -1,
                // forced, explodes it (setting the power alone left it
                // standing at -1 for ever).
                o->ApplyDamage(nullptr, o->m_power + 1.0f, true);
                o->Activate();
            }
            return true;
        }
        case NS_NOTIFYTYPE_GIVERESOURCESTOALL:
        case NS_NOTIFYTYPE_GIVERESOURCES: {
            // 159: {u32 player id, u32 amount} added (the server's relay
            // of a cheat; the amount is the integer the server writes, not
            // its bits read as a float). From the host for its computer
            // player, 12 bytes: {u32 player id, f32 amount added, f32 the
            // energy help it gets from now on (0 to 1,000,000; negative:
            // unchanged)}. 160: {u32 player id, f32 resources}.
            const bool computer = type == NS_NOTIFYTYPE_GIVERESOURCESTOALL && length == 12;
            CPlayer* p = length == 8 || computer ? player() : nullptr;
            if (!p) return false;
            const float amount = type == NS_NOTIFYTYPE_GIVERESOURCESTOALL && !computer
                                     ? static_cast<float>(LE_LoadU32(bytes + 4))
                                     : LoadF32(bytes + 4);
            if (!Finite(amount)) return false;
            if (computer) {
                const float energy = LoadF32(bytes + 8);
                if (!Finite(energy) || energy > 1000000.0f) return false;
                if (energy >= 0.0f) p->m_energyHelp = energy;
            }
            if (type == NS_NOTIFYTYPE_GIVERESOURCESTOALL)
                p->m_resources += amount;
            else
                p->m_resources = amount;
            return true;
        }
        default:
            return false;
    }
}

// CREATEUNIT (110): 38 bytes, or 50 for the scene's special template. The
// placement that waits for it ends first, whatever comes of it. A payload of
// another length prints "Bogus create unit datasize"; a longer one still makes
// its object from the bytes of the layout, but a shorter one makes nothing (its
// missing bytes would be read from beyond the message).
bool CWorld::ApplyCreateUnit(const uint8_t* bytes, size_t length) {
    ++m_scene->m_createUnitsHandled;
    if (length < 38) {
        Console().Print("Bogus create unit datasize");
        return false;
    }
    CStateArchive ar(bytes, length, CStateArchive::kApply);
    uint16_t projectId = ar.ReadU16();
    uint32_t templateId = ar.ReadU32();
    float values[5] = {};
    ar.F32s(values, 5);
    CGameScene::SPlacement p;
    p.mapId = ar.ReadI32();
    const uint32_t layer = ar.ReadU32();
    p.ownerId = ar.ReadI32();
    CTessarakObjectTemplate* tmpl = m_scene->FindTemplateById(projectId, static_cast<int32_t>(templateId));
    if (!tmpl) {
        Console().Printf("Received bogus create unit call: ProjectID: %d TemplateID: %d", (int)projectId,
                         (int)templateId);
        return false;
    }
    const bool special = tmpl == m_scene->m_spotTemplate;
    const size_t expected = special ? 50 : 38;
    if (length < expected) {
        Console().Print("Bogus create unit datasize");
        return false;
    }
    float spot[3] = {};
    if (special) ar.F32s(spot, 3);
    for (float v : values)
        if (!Finite(v)) return false;
    for (float v : spot)
        if (!Finite(v)) return false;
    if (layer >= static_cast<uint32_t>(CGameScene::kLayers)) return false;
    // Every machine makes it in the same turn: the same next id everywhere,
    // and the same next map id for one asked without.
    CPlayer* neutral = m_players ? m_players->m_neutral : nullptr;
    CTessarakObject* o = CreateUnit(tmpl, values[0], values[2], neutral, m_scene->m_idTable.NewId());
    if (!o) {
        Console().Printf("Error creating object from template : '%s'", tmpl->m_name.GetText());
        return false;
    }
    if (p.mapId < 0) p.mapId = m_scene->m_highestMapId + 1;
    p.x = values[0];
    p.y = values[1];
    p.z = values[2];
    p.layer = static_cast<int32_t>(layer);
    p.headingIncrement = values[3];
    p.scaleIncrement = values[4];
    p.spot = special ? spot : nullptr;
    m_scene->PlaceObject(o, p);
    if (length != expected) Console().Print("Bogus create unit datasize");
    return true;
}

CTessarakObject* CWorld::CreateUnit(CTessarakObjectTemplate* tmpl, float x, float z, CPlayer* owner,
                                    int32_t id) {
    return CreateUnitInFrame(tmpl, x, z, nullptr, owner, id);
}

CTessarakObject* CWorld::CreateUnitInFrame(CTessarakObjectTemplate* tmpl, float x, float z, CE3DFrame* parent,
                                           CPlayer* owner, int32_t id) {
    if (!tmpl) return nullptr;
    float at[3] = {x, 0.0f, z};
    CTessarakObject* o = parent ? m_scene->CreateObjectByClassInFrame(tmpl, at, parent, owner, id)
                                : m_scene->CreateObjectByClass(tmpl, at, owner, id);
    if (!o) return nullptr;
    o->ResetMatrixHistory();
    if (o->IsGridMember()) static_cast<CGridMember*>(o)->EnterGrid();
    if (o->IsUnit()) {
        // Units made here are finished: a map's, a player's start units, the
        // products the game messages announce (a building site is lowered
        // again by its build order).
        static_cast<CUnit*>(o)->MarkFinished();
        o->Activate();
    }
    if (!Sound().SoundOff()) o->PlaySound(tmpl->m_soundCreated, 1);
    return o;
}

void CWorld::SetLocalPlayer(CPlayer* player) {
    if (!m_players || !player) return;
    m_players->m_local = player;
    for (CTessarakObject* o = m_scene->m_allObjects; o; o = o->m_allNext)
        if (o->m_owner == player || m_players->m_revealAll)
            o->m_stateB |= CTessarakObject::kB_LocalOwner;
        else
            o->m_stateB &= ~CTessarakObject::kB_LocalOwner;
}
