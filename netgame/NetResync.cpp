// Sync checks and resync.
//
// Once per logic tick on every machine: the server spot-checks a few units a
// frame (their sync CRCs go to the clients, which compare them with their
// own and report a difference), and when a resync is called for it sends
// the timing, the object-id counter, every player's sync record and every
// object's sync CRC (or state) in one frame. Every machine then rebuilds its
// world from what that frame carried: what differs is asked for and sent
// again, what the server does not have goes. No machine ticks until the
// server says the resync is over.
#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>

#include "netgame/NetGame.h"
#include "world/GameScene.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"

namespace {
// A client may ask for a full resync once in this many seconds.
constexpr float kReportInterval = 3.0f;

bool Leaving(const CTessarakObject* o) {
    return o->m_objectId < 0 || o->IsReleased() || (o->m_flagsA & kFrameOnUpdateList);
}

// The CHECKUNIT in the send buffer (u32 id, u32 CRC) is kept for weighing
// the clients' reports.
void NoteSentCheck(CSentChecks& checks, const CStateArchive& check, uint16_t frame) {
    checks.NoteObject(frame, static_cast<int32_t>(NWE_Get32(check.GetData())),
                      NWE_Get32(check.GetData() + 4));
}
}  // namespace

void CNetGame::ResyncClients() {
    NWEFrame* rec = m_frameTable->Current();
    if (!rec) return;
    uint16_t frame = rec->GetMark();
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    if (m_hosting && scene) {
        bool running = Flow().GuiWord() == 0 && Flow().GameState() == 2;
        if (!running || m_resyncing) {
            m_resyncCountdown = 0;
            m_syncEveryFrame = 0;
        }
        auto history = [this] {
            for (int i = 0; i < 9; ++i) m_dataHistory[i] = m_dataHistory[i + 1];
            m_dataHistory[9] = m_frameData;
            int32_t sum = 0;
            for (int32_t v : m_dataHistory) sum += v;
            m_dataGenerated = static_cast<float>(sum) * 0.1f;
        };
        if (m_resyncCountdown == 30 || m_syncEveryFrame != 0) {
            history();
            PrintColor(255, 0, 255, true, "Resyncing on frame %d", (int)frame);
            Flow().Lock();
            WriteTimingInfo();
            SendBuiltToAll(NS_NOTIFYTYPE_SYNC_UPDATETIMINGINFO, nullptr, frame);
            // SYNC_INFO_GLOBAL: u32 the object-id counter.
            m_send.Reset();
            m_send.WriteI32(scene->m_idTable.GetCounter());
            SendBuiltToAll(NS_NOTIFYTYPE_SYNC_INFO_GLOBAL, nullptr, frame);
            for (CPlayer* p : m_players.m_players) {
                if (p == m_players.m_neutral) continue;
                m_send.Reset();
                p->WriteSyncInfo(m_send);
                SendBuiltToAll(NS_NOTIFYTYPE_SYNC_INFO_PLAYER, nullptr, frame);
            }
            int phase = m_syncEveryFrame;
            if (phase >= 1 && phase <= 3) {
                for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
                    if (Leaving(o)) continue;
                    m_send.Reset();
                    if (phase == 1) {
                        if (!o->IsUnit()) continue;
                        o->WriteSyncState(m_send);
                        SendBuiltToAll(NS_NOTIFYTYPE_SYNC_INFO_UNIT_EVERYFRAME, nullptr, frame);
                    } else {
                        if (phase == 2 && !o->IsUnit()) continue;
                        // CHECKUNIT: u32 object id, u32 its sync CRC.
                        o->WriteSyncCRC(m_send);
                        NoteSentCheck(m_sentChecks, m_send, frame);
                        SendBuiltToAll(NS_NOTIFYTYPE_CHECKUNIT, nullptr, frame);
                    }
                }
                rec->SetValue(rec->GetValue() | kFrameResync);
                SendToAllClients(NS_NOTIFYTYPE_SYNC_SOFTSYNC, nullptr, 0, nullptr, nullptr, frame);
                rec->SetValue(rec->GetValue() | kFrameSoftSyncDone);
            } else {
                // The full resync: every client answers anew.
                std::vector<CGameSocket*> clients = TakeClients();
                for (CGameSocket* c : clients) c->m_gotAllUnits = c->m_syncFinished = 0;
                ReleaseAll(clients);
                std::vector<CTessarakObject*> gone;
                for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext)
                    if (Leaving(o)) gone.push_back(o);
                for (CTessarakObject* o : gone) scene->DeleteObject(o);
                for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
                    m_send.Reset();
                    o->WriteSyncCRC(m_send);  // SYNC_INFO_UNIT_CRC: u32 id, u32 CRC
                    SendBuiltToAll(NS_NOTIFYTYPE_SYNC_INFO_UNIT_CRC, nullptr, frame);
                }
                rec->SetValue(rec->GetValue() | kFrameResync);
            }
            if (m_syncEveryFrame > 2) m_syncEveryFrame = 0;
            Flow().Unlock();
        } else if (running && !Clock().Paused()) {
            // CHECKUNITTREE: u32 the object-id counter, every frame.
            m_send.Reset();
            m_send.WriteI32(scene->m_idTable.GetCounter());
            m_sentChecks.NoteIdCounter(frame, static_cast<uint32_t>(scene->m_idTable.GetCounter()));
            SendBuiltToAll(NS_NOTIFYTYPE_CHECKUNITTREE, nullptr, frame);
            m_checkFraction += m_checksPerFrame;
            std::vector<CUnit*> units;
            for (CUnit* u = scene->m_units; u; u = u->m_unitNext) units.push_back(u);
            while (m_checkFraction > 0.0f) {
                m_checkFraction -= 1.0f;
                if (units.empty()) continue;
                m_checkCursor = (m_checkCursor + 1) % static_cast<int32_t>(units.size());
                CUnit* u = units[m_checkCursor];
                if (u->m_objectId < 0) continue;
                m_send.Reset();
                u->WriteSyncCRC(m_send);
                NoteSentCheck(m_sentChecks, m_send, frame);
                SendBuiltToAll(NS_NOTIFYTYPE_CHECKUNIT, nullptr, frame);
            }
            history();
        }
        if (m_resyncCountdown > 0) --m_resyncCountdown;
    }
    m_frameData = 4 + 4;
    Resync(rec);
    // What the frame still holds was for this frame only: it goes from every
    // queue (a frame run before all its messages came leaves the rest).
    std::vector<NWEMessagePtr> left = rec->TakeMessages();
    for (NWEMessagePtr& m : left)
        for (NWEQueue* q : {&m_queue1, &m_queue2, &m_queue3, &m_syncQueue}) q->Remove(m.get());
    // The frame's message count as it is announced, for the reports of a
    // client that ran the frame short.
    if (m_hosting) m_sentChecks.NoteFrameCount(frame, rec->GetExpected());
    m_frameTable->Release(rec);
    m_frameTable->Process();
    m_frameExecuted = 0;
    if (m_hosting) {
        // Clients that joined during this frame get frames from the next one
        // on; the one that asked for its player id meanwhile gets it now.
        std::vector<NWEListEntry*> moved;
        for (NWEListEntry* e = m_waiting.FirstShared(); e; e = m_waiting.NextShared(e)) moved.push_back(e);
        for (NWEListEntry* e : moved) {
            if (CGameSocket* c = static_cast<CGameSocket*>(NWEEngine::GetPeer(e))) {
                Printf("Adding client to list on frame %d", (int)m_frameTable->GetCurrentNumber());
                new NWEListEntry(&m_clients, c);
                c->m_waiting = 0;
                m_frameTable->AddPeer(c);
                if (c->m_idWanted) {
                    c->m_idWanted = 0;
                    c->m_assignedId = m_nextPlayerId++;
                    c->m_joinState = 3;
                    m_send.Reset();
                    m_send.WriteI32(c->m_assignedId);
                    c->SendMessage(NS_NOTIFYTYPE_ASSIGNPLAYERID, m_send.GetData(), 4);
                }
                c->Release();
            }
            e->Destroy();
        }
    }
}

void CNetGame::Resync(NWEFrame* rec) {
    uint32_t value = rec->GetValue();
    if (!(value & kFrameResync) || (value & kFrameSoftSyncDone)) {
        m_notInSoftSync = 1;
        ProcessFrameQueue(rec, &m_syncQueue);
        return;
    }
    CGameScene* scene = m_world ? &m_world->Scene() : nullptr;
    if (scene) scene->WinGame = scene->LooseGame = 0;
    m_syncRequests = m_syncAnswers = 0;
    m_resyncing = 1;
    m_notInSoftSync = 0;
    PrintColor(255, 0, 0, true, "Resyncing Game. Gametime is %f, Frame %d", (double)Clock().GameSeconds(),
               (int)rec->GetMark());
    Flow().Lock();
    m_syncedIds.clear();
    if (scene) {
        std::vector<CTessarakObject*> gone;
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext)
            if (Leaving(o)) gone.push_back(o);
        for (CTessarakObject* o : gone) scene->DeleteObject(o);
    }
    for (CPlayer* p : m_players.m_players) p->m_synced = 0;
    ProcessFrameQueue(rec, &m_syncQueue);
    std::vector<CPlayer*> unsynced;
    for (CPlayer* p : m_players.m_players)
        if (!p->m_synced && p != m_players.m_local && p != m_players.m_neutral) unsynced.push_back(p);
    for (CPlayer* p : unsynced) DeletePlayer(p);
    for (CPlayer* p : m_players.m_players) p->m_synced = 1;
    if (scene) {
        std::vector<CTessarakObject*> gone;
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext)
            if (Leaving(o) || !m_syncedIds.count(o->m_objectId)) gone.push_back(o);
        for (CTessarakObject* o : gone) {
            PrintColor(255, 0, 0, false, "Sync: Unit found that does not belong (%d)", (int)o->m_objectId);
            scene->DeleteObject(o);
        }
    }
    m_syncState = 1;
    m_syncSince = GetClock().Now();
    if (m_syncRequests == 0) Send(NS_NOTIFYTYPE_SYNC_GOTALLUNITS, nullptr, 0);
    Flow().Unlock();
}
