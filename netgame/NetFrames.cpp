// The network game's per-frame service and the lockstep frame loop: the
// client's join and pings, the host's game-speed control, the decision
// whether a logic tick runs, the frame's messages, and the closing of a
// frame.
#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cmath>

#include "core/CRC32.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "netgame/ServerBrowser.h"
#include "nwe/Socket.h"
#include "world/GameScene.h"
#include "world/TessarakObject.h"
#include "world/WireText.h"
#include "world/World.h"

namespace {
constexpr float kConnectRetrySeconds = 1.0f;
// A client pings every second: one silent for longer keeps the game waiting.
constexpr double kWaitPingSeconds = 3.0;
// Longer than this without the network served (seconds) is a stall of this
// machine, not a silence of the server.
constexpr double kStallSeconds = 1.0;

uint16_t ClampU16(float v) {
    if (!(v > 0.0f)) return 0;
    return v >= 65535.0f ? 65535 : static_cast<uint16_t>(std::lround(v));
}
}  // namespace

// ---- the per-frame service

void CNetGame::Update(int idleOnly) {
    {
        const int64_t now = GetClock().Now();
        if (!m_hosting && m_lastServiced != 0 && GetClock().Seconds(now - m_lastServiced) > kStallSeconds)
            m_touchTime = 1;
        m_lastServiced = now;
    }
    // A client whose link went (lost, refused or the server quit) is back in
    // a local game before anything else runs.
    if (!m_hosting && m_clientConnected) {
        CGameSocket* link = TakeClientLink();
        if (!link || link->IsTimedOut()) {
            LeaveJoinedGame(link);
            return;
        }
        link->Release();
    }
    {
        std::lock_guard<std::mutex> l(m_announceLock);
        m_announcedName = m_serverInfo.m_name.GetText();
        m_announcing = m_hosting;
    }
    if (!GetTickThreadEnabled() || m_polling) Poll(0);
    Tick(false);
    if (idleOnly) return;
    DropStaleEntries();
    if (m_master) m_master->Update();
    if (m_browser) m_browser->Update();
    if (!m_hosting) SendDummyTraffic();

    // Statistics once a second.
    int64_t now = GetClock().Now();
    double elapsed = GetClock().Seconds(now - m_statsTime);
    if (elapsed >= 1.0) {
        uint32_t counters[4] = {GetPacketsIn(), GetPacketsOut(), GetDataIn(), GetDataOut()};
        for (int i = 0; i < 4; ++i) {
            m_rates[i] = static_cast<float>((counters[i] - m_statsCounters[i]) / elapsed);
            m_statsCounters[i] = counters[i];
        }
        m_statsTime = now;
    }

    // What the clients reported: the slowest one sets the pace.
    m_largestDataLag = 0.0f;
    m_largestFrameTime = Clock().FrameStep();
    m_largestTimeLag = Clock().Lag();
    float lowestRate = 1000000000.0f;
    const float waited = m_waitStamp != 0 ? static_cast<float>(GetClock().Seconds(now - m_waitStamp)) : 0.0f;
    m_waitStamp = now;
    if (m_hosting) {
        m_pingRate = Clock().TickRate();
        m_pingSpeed = Clock().GameSpeed();
        m_pingNextTick = Clock().NextTickTime();
        std::vector<CGameSocket*> clients = TakeClients();
        for (CGameSocket* c : clients) {
            if (c->GetState() != NWEPeer::kStateRemote) continue;
            float rate = std::max(c->GetSendRate(), 1.0f);
            m_largestDataLag = std::max(m_largestDataLag, static_cast<float>(c->GetPendingBytes()) / rate);
            float frameTime, timeLag, ping;
            int64_t lastPing;
            {
                std::lock_guard<std::mutex> l(c->m_pingLock);
                frameTime = c->m_frameTime;
                timeLag = c->m_timeLag;
                ping = c->m_reportedPing;
                lastPing = c->m_lastPing;
            }
            m_largestFrameTime = std::max(m_largestFrameTime, frameTime);
            m_largestTimeLag = std::max(m_largestTimeLag, timeLag);
            // The players of the connection take the ping it reported, and
            // the game waits for them while the connection runs more than
            // half a second behind (where the pace starts to slow for it)
            // or its pings stop coming.
            // (The host's own link runs its frames.)
            const bool behind = !IsLocalServerEnd(c) &&
                                (timeLag / std::max(Clock().GameSpeed(), 1.0f) > 0.5f ||
                                 (lastPing != 0 && GetClock().Seconds(now - lastPing) > kWaitPingSeconds));
            for (CPlayer* p : m_players.m_players) {
                if (p->m_connection != c) continue;
                if (ping >= 0.0f) p->m_latency = ping;
                p->m_waitTime = behind ? p->m_waitTime + waited : 0.0f;
            }
            lowestRate = std::min(lowestRate, rate);
        }
        ReleaseAll(clients);
        StepResync();
        SpeedControl();
        (void)lowestRate;
    } else if (m_clientConnected) {
        if (CGameSocket* link = TakeClientLink()) {
            ClientUpdate(link);
            link->Release();
        }
    }
}

float CNetGame::LargestWait() const {
    float wait = 0.0f;
    for (const CPlayer* p : m_players.m_players) wait = std::max(wait, p->m_waitTime);
    return wait;
}

void CNetGame::ClientUpdate(CGameSocket* link) {
    NWEClock& clock = GetClock();
    int64_t now = clock.Now();
    m_lastJoinState = link->m_joinState;
    float rate = Clock().TickRate();
    float speed = Clock().GameSpeed();
    float sendRate = std::max(link->GetSendRate(), 1.0f);
    float lead = 1.0f / std::max(rate, 1.0f) + 1.25f * link->m_averagePing +
                 0.5f * speed * rate * (m_dataGenerated / sendRate);
    if (!(lead >= 0.1111f)) lead = 0.1111f;
    if (lead > 1.0f) lead = 1.0f;
    m_lagEstimate = m_tickLead = lead;

    if (link->m_joinState == 0) {
        // CONNECT travels unacknowledged: it goes again until it is answered
        // (or the link times out).
        if (now >= link->m_connectDue) {
            m_send.Reset();
            m_send.WriteU32(kNetProtocolVersion);
            WireText_Write(m_send, m_clientPassword.GetText(), kNetMaxPassword);
            link->SendMessage(NS_NOTIFYTYPE_CONNECT, m_send.GetData(),
                              static_cast<uint32_t>(m_send.GetBuffer().size()));
            link->m_connectDue = now + clock.Ticks(kConnectRetrySeconds);
        }
        return;
    }
    // The join: each request waits for the answer to the one before.
    switch (link->m_joinState) {
        case 1:
            if (link->m_subState == 1 && link->m_validated && NWEQueue::IsEmpty(&link->m_group)) {
                link->m_subState = 2;
                link->m_replied = 0;
                link->SendOn(NS_NOTIFYTYPE_QUERY_GAMEDIR, nullptr, 0);
            } else if (link->m_subState == 2 && link->m_replied) {
                link->m_joinState = 2;
                link->m_replied = 0;
                link->SendOn(NS_NOTIFYTYPE_PING_AND_GET_TIME, nullptr, 0);
            }
            break;
        case 2:
            if (link->m_replied) {
                link->m_joinState = 3;
                link->m_subState = 96;
                link->m_replied = 0;
                link->SendOn(NS_NOTIFYTYPE_ASSIGNPLAYERID, nullptr, 0);
            }
            break;
        case 3:
            if (link->m_subState == 96 && link->m_replied) {
                link->m_subState = 99;
                link->m_replied = 0;
                link->SendOn(NS_NOTIFYTYPE_QUERY_PLAYERS, nullptr, 0);
            } else if (link->m_subState == 99 && link->m_replied) {
                ResolveTeamLeaders();
                link->m_replied = 0;
                if (CPlayer* local = m_players.m_local) {
                    // The player joins under their own name and colour.
                    if (!m_wantedName.IsEmpty()) local->m_name.Assign(m_wantedName.GetText());
                    if (m_wantedColourSet)
                        for (int i = 0; i < 3; ++i) local->m_colour[i] = m_wantedColour[i];
                    m_send.Reset();
                    local->WriteInfo(m_send);
                    SendBuilt(NS_NOTIFYTYPE_PLAYER_REGISTER, &local->m_sendSlot);
                }
                link->m_pingDue = 0;
                link->m_joinState = 4;
                link->SendOn(NS_NOTIFYTYPE_CHANCHEMODECONNECTED, nullptr, 0);
            }
            break;
        default:
            break;
    }
    // A ping every second once the clocks are in step: PING (12 bytes), u16
    // slot index (1, 2, ... 7, 0), u16 the average ping x 6553.5, u32 this
    // machine's current frame, f32 its frame time minus its lag estimate
    // (seconds).
    if (link->m_joinState >= 2 && now >= link->m_pingDue) {
        link->m_pingDue = now + clock.Ticks(1.0f);
        link->m_pingIndex = static_cast<uint16_t>((link->m_pingIndex + 1) & 7);
        float sum = 0.0f;
        {
            std::lock_guard<std::mutex> l(link->m_pingLock);
            link->m_pingSent[link->m_pingIndex] = now;
            for (float t : link->m_pingTimes) sum += t;
        }
        link->m_averagePing = sum / CGameSocket::kPingSlots;
        m_send.Reset();
        uint16_t index = link->m_pingIndex, latency = ClampU16(link->m_averagePing * 6553.5f);
        m_send.U16(index);
        m_send.U16(latency);
        m_send.WriteU32(m_frameTable->GetCurrentNumber());
        float value = Clock().FrameStep() - m_lagEstimate;
        m_send.F32(value);
        SendBuilt(NS_NOTIFYTYPE_PING);
    }
}

void CNetGame::SpeedControl() {
    // While a resync holds the game, the waiting clients' lag says nothing
    // of their pace: the speed stays as it was.
    if (!HasGameClock() || m_syncState != 0) return;
    float frameTime = std::min(std::max(m_largestFrameTime, 0.001f), 10.0f);
    // A machine's lag counts in real seconds: at ten times real time a lag
    // of a game second is a tenth of a second behind.
    float timeLag = std::min(std::max(m_largestTimeLag, 0.0f), 60.0f) / std::max(Clock().GameSpeed(), 1.0f);
    float f = m_targetFps * m_speedFactor;
    // At normal speed and below a machine's frame time bounds the tick rate
    // (a tick a frame). A faster game runs all the ticks that are due
    // between two drawn frames, so there its frame time bounds nothing: it
    // slows (and its ticks shorten) only for a machine that falls behind.
    float r1;
    if (timeLag <= 0.5f)
        r1 = m_speedFactor <= 1.0f && f * frameTime > 0.95f ? 0.95f / frameTime : f;
    else
        r1 = timeLag > 4.0f ? 0.001f : (1.0f / frameTime) * (1.0f / (timeLag + 1.0f));
    float r2 = m_largestDataLag > 2.0f ? r1 / (m_largestDataLag - 2.0f) : f;
    float r = std::min(std::min(r1, r2), f);
    if (!(r > 0.0f)) r = 0.001f;
    float ratio = f > 0.0f ? r / f : 1.0f;
    float target = ((1.0f - ratio) * (1.0f - m_accuratenessRatio) + ratio) * m_targetFps;
    target = std::max(target, m_minFps);
    // No bound above: the game runs as fast as it is asked to and its
    // machines keep up with.
    float speed = std::max(r / target, 0.001f);
    // A rise is sent only when it is worth it; any drop at once.
    if (m_lastSpeedSent < 0.0f || speed < m_lastSpeedSent || speed > m_lastSpeedSent * 1.025f) {
        m_lastSpeedSent = speed;
        m_send.Reset();
        m_send.F32(speed);
        SendBuiltToAll(NS_NOTIFYTYPE_SETGAMESPEED);
    }
    float current = Clock().TickRate();
    if (m_lastRateSent < 0.0f || target < m_lastRateSent || target > m_lastRateSent + 0.025f * current) {
        m_lastRateSent = target;
        m_send.Reset();
        m_send.F32(target);
        SendBuiltToAll(NS_NOTIFYTYPE_SETTARGETFPS);
    }
}

// ---- the lockstep frames

void CNetGame::SortByKey(std::vector<NWEMessagePtr>& list) {
    // A frame's messages run in the order the server sent them, whatever
    // order their datagrams came in: the server's link numbers its messages
    // as it sends them (the key, 23 bits, counted round from the frame's
    // first). The host's own client gets them in that order already.
    if (list.size() < 2) return;
    uint32_t base = list.front()->GetKey();
    for (const NWEMessagePtr& m : list)
        if (((m->GetKey() - base) & kMaxMessageKey) > (kMaxMessageKey >> 1)) base = m->GetKey();
    std::stable_sort(list.begin(), list.end(), [base](const NWEMessagePtr& a, const NWEMessagePtr& b) {
        return ((a->GetKey() - base) & kMaxMessageKey) < ((b->GetKey() - base) & kMaxMessageKey);
    });
}

void CNetGame::ProcessFrameQueue(NWEFrame* frame, NWEQueue* queue) {
    std::vector<NWEMessagePtr> list = frame->TakeMessages();
    SortByKey(list);
    std::vector<NWEMessagePtr> keep;
    for (NWEMessagePtr& m : list) {
        if (queue->Remove(m.get())) {
            NoteExecuted(m.get());
            NWE_Deliver(m);
        } else {
            keep.push_back(m);
        }
    }
    // Messages of the other queues stay for their step of the tick.
    frame->PutBack(keep);
}

void CNetGame::NoteExecuted(const NWEMessage* m) {
    uint16_t id = m->GetId();
    // The timing messages set each machine's own clock; the host sends its
    // own past its frame.
    if (id == NS_NOTIFYTYPE_SYNC_UPDATETIMINGINFO || id == NS_NOTIFYTYPE_UPDATETIMINGINFO) return;
    uint8_t head[4] = {static_cast<uint8_t>(m->GetFrame()), static_cast<uint8_t>(m->GetFrame() >> 8),
                       static_cast<uint8_t>(id), static_cast<uint8_t>(id >> 8)};
    m_frameDigest = CRC32_Compute(head, 4, m_frameDigest);
    m_frameDigest = CRC32_Compute(m->GetData(), m->GetSize(), m_frameDigest);
}

void CNetGame::ExecuteFrame(CTurnOrders& orders) {
    NWEFrame* rec = m_frameTable->Current();
    if (!rec) return;
    // A save asked for is taken now, between two ticks, once no way search
    // of this machine is half done: the world as the last tick left it and
    // the orders of the tick about to run.
    if (!m_saveRequest.empty() && m_world && !m_world->SearchInProgress()) WriteRequestedSave(rec);
    m_frameDigest = 0;
    m_turnOrders = &orders;
    ProcessFrameQueue(rec, &m_queue3);
    m_turnOrders = nullptr;
    m_frameTable->Release(rec);
    m_frameExecuted = 1;
}

bool CNetGame::AskForFrame(NWEFrame* rec, ETickStep step) {
    int32_t& w = m_askForFrame;
    if (w == 0xFFFF) {
        Send(NS_NOTIFYTYPE_ASKFORFRAME, nullptr, 0);
        w = 0xFF01;
        return false;
    }
    if (w > 0xFF00) {
        ++w;
        return false;
    }
    uint16_t current = m_frameTable->PeekNumber(0);
    bool ahead = NWEFrameTable::Compare(static_cast<uint16_t>(w), current) > 0;
    w = 0xFFFF;
    if (!ahead) return false;
    // The server is ahead: this machine reports, and runs the frame with
    // what it has, so it keeps up; the server's resync brings it back.
    if (step == ETickStep::Logic) {
        // A running game's tick also says that it holds every unit and has
        // finished syncing, so a resync the server still waits on goes on.
        Send(NS_NOTIFYTYPE_SYNC_GOTALLUNITS, nullptr, 0);
        Send(NS_NOTIFYTYPE_SYNC_SYNCFINISHED, nullptr, 0);
        if (rec) {
            PrintColor(
                255, 0, 0, true,
                "GL: Severe network errer (Wrong number of messages), asking server to resync (%d, %d)",
                (int)rec->GetExpected(), (int)rec->GetReceived());
            Send(NS_NOTIFYTYPE_SYNC_REPORT, nullptr, 0);
        } else {
            Send(NS_NOTIFYTYPE_SYNC_REPORT, nullptr, 0);
            PrintColor(255, 0, 0, true, "Severe network error (No FTI), asking server to resync");
        }
        return true;
    }
    if (rec)
        PrintColor(255, 0, 0, true,
                   "Severe network errer (Wrong number of messages), asking server to resync (%d, %d), %d",
                   (int)rec->GetExpected(), (int)rec->GetReceived(), (int)current);
    else
        PrintColor(255, 0, 0, true, "Severe network errer (No FTI), asking server to resync (%d)",
                   (int)current);
    // The server is ahead: this machine reports the frame and what it had of
    // it, and runs the frame with that, so it keeps up; the server's resync
    // brings it back when the frame did hold more.
    SSyncReport report;
    report.frame = current;
    report.kind = kReportShortFrame;
    report.value = rec ? rec->GetReceived() : 0;
    m_send.Reset();
    SyncReport_Write(m_send, report);
    SendBuilt(NS_NOTIFYTYPE_SYNC_REPORT);
    m_queue1.Flush();
    return true;
}

bool CNetGame::InterfaceTickGate() {
    if (m_hosting) return true;
    NWEFrame* rec = m_frameTable->TryCurrent();
    CGameSocket* link = TakeClientLink();
    if (link && m_frameCountdown < 0.0f && !rec && m_clientConnected && link->m_joinState == 4) {
        m_frameCountdown = Clock().FrameTimeout();
        link->Release();
        return AskForFrame(nullptr, ETickStep::Interface);
    }
    if (link) link->Release();
    if (!rec) return false;
    return FrameReady(rec, ETickStep::Interface);
}

bool CNetGame::FrameReady(NWEFrame* rec, ETickStep step) {
    float timeout = Clock().FrameTimeout();
    m_frameCountdown = timeout;
    if (m_touchTime || m_touchTimeAfterSync) {
        rec->TouchTime();
        m_touchTime = m_touchTimeAfterSync = 0;
    }
    bool complete = rec->IsComplete();
    bool run = complete;
    if (!complete) {
        double waited = GetClock().Seconds(GetClock().Now() - rec->GetTime());
        if (waited > timeout) run = AskForFrame(rec, step);
    } else {
        m_askForFrame = 0xFFFF;
        // The interface frame hands over what came for the connection.
        if (step == ETickStep::Interface) m_queue1.Flush();
    }
    m_frameTable->Release(rec);
    return run;
}

// Server: the resync's steps, each when every client answered the one
// before. Run from every frame as well as from the tick gate: while the game
// stands for a resync no tick may fall due (the clients' lag slows the game),
// and the bound must run out all the same.
void CNetGame::StepResync() {
    if (!m_hosting || m_syncState == 0) return;
    // Every client answers each step of the resync; one that has not
    // answered within the bound is dropped, as a silent client is, and
    // the others go on without it.
    bool late = GetClock().Seconds(GetClock().Now() - m_syncSince) > m_resyncTimeout;
    std::vector<CGameSocket*> clients = TakeClients();
    bool all = true;
    for (CGameSocket* c : clients) {
        bool answered = (m_syncState == 1 ? c->m_gotAllUnits : c->m_syncFinished) || c->IsTimedOut();
        if (!answered && late && !IsLocalServerEnd(c)) {
            CPlayer* p = c->FirstPlayer();
            PrintColor(255, 0, 0, true, "%s did not answer the resync and is dropped",
                       p ? p->m_name.GetText() : "A client");
            c->SetTimedOut(true);
            answered = true;
        }
        all = all && answered;
    }
    ReleaseAll(clients);
    if (all && m_syncState == 1) {
        m_syncState = 2;
        m_syncSince = GetClock().Now();
        SendToAllClients(NS_NOTIFYTYPE_SYNC_FINISHSYNC, nullptr, 0);
    } else if (all && m_syncState == 2) {
        // The lag the clients reported while everyone waited is over
        // with the resync (each drops it); their next pings say anew.
        clients = TakeClients();
        for (CGameSocket* c : clients) {
            std::lock_guard<std::mutex> l(c->m_pingLock);
            c->m_timeLag = 0.0f;
        }
        ReleaseAll(clients);
        m_syncState = 3;
        SendToAllClients(NS_NOTIFYTYPE_SYNC_GOOUTOFSYNC, nullptr, 0);
    }
}

// A client's messages must reach it within the frames it can file (1,024
// either way of its current one): the server runs at most kMaxLeadFrames
// frames past the frame a joined client last reported in its ping. At 15
// ticks a second that is a minute, so only a client that stalls meets it
// (and is dropped by its time-out); a machine ticking far faster than the
// game does (a test) meets it between two pings.
bool CNetGame::TooFarAhead() {
    const uint16_t current = m_frameTable->GetCurrentNumber();
    bool far = false;
    std::vector<CGameSocket*> clients = TakeClients();
    for (CGameSocket* c : clients) {
        uint16_t reported;
        {
            std::lock_guard<std::mutex> l(c->m_pingLock);
            reported = c->m_reportedFrame;
        }
        if (IsLocalServerEnd(c) || reported == 0 || c->m_joinState != 4) continue;
        if (NWEFrameTable::Compare(current, reported) <= 0) continue;
        const int ahead = (current - reported + kLastFrameNumber) % kLastFrameNumber;
        far = far || ahead >= kMaxLeadFrames;
    }
    ReleaseAll(clients);
    return far;
}

bool CNetGame::LogicTickGate() {
    float timeout = Clock().FrameTimeout();
    if (m_hosting) {
        m_queue1.Flush();
        m_queue2.Flush();
        if (m_syncState == 0) return !TooFarAhead();
        StepResync();
        return false;
    }
    if (m_syncState != 0) {
        // A resync runs: no tick until the server says it is over. After a
        // stall of this machine the wait starts again; a client that waited
        // the whole time-out says where it is: the units it still expected
        // arrived (GOTALLUNITS), it finished (SYNCFINISHED), or, having said
        // both, it goes back to its frames.
        if (m_touchTime) m_frameCountdown = timeout;
        if (m_frameCountdown < 0.0f) {
            if (m_syncRequests != m_syncAnswers) {
                Send(NS_NOTIFYTYPE_SYNC_GOTALLUNITS, nullptr, 0);
                m_syncRequests = m_syncAnswers;
            } else if (m_syncState == 1) {
                Send(NS_NOTIFYTYPE_SYNC_SYNCFINISHED, nullptr, 0);
            } else {
                m_syncState = 0;
            }
            m_frameCountdown = timeout;
        }
        m_touchTime = 0;
        return false;
    }
    NWEFrame* rec = m_frameTable->TryCurrent();
    if (!rec) {
        if (m_frameCountdown >= 0.0f) return false;
        m_frameCountdown = timeout;
        return AskForFrame(nullptr, ETickStep::Logic);
    }
    return FrameReady(rec, ETickStep::Logic);
}

void CNetGame::FinishMarkReply() {
    if (m_awaitedFinishMark == -1) return;
    NWEFrame* frame = m_frameTable->Current();
    if (!frame) return;
    if ((int32_t)(frame->GetMark() & 0xFFFF) == m_awaitedFinishMark) {
        m_awaitedFinishMark = -1;
        m_finishReply = frame->GetMark();
        uint8_t payload[2] = {static_cast<uint8_t>(m_finishReply), static_cast<uint8_t>(m_finishReply >> 8)};
        Send(NS_NOTIFYTYPE_FRAMEFINISHED, payload, 2);
    }
    m_frameTable->Release(frame);
}

// ---- the server's start handshake

bool CNetGame::SendStartRequest() {
    m_send.Reset();
    if (!m_hostedSave.IsEmpty()) {
        m_send.WriteU32(m_hostedSaveCrc);
        WireText_Write(m_send, m_hostedSave.GetText(), SavedGame::kMaxNameLength);
    }
    return SendBuilt(NS_NOTIFYTYPE_STARTGAME);
}

bool CNetGame::ReadStartRequest(const uint8_t* data, size_t size, uint32_t* crc, CStrBuf* name) {
    *crc = 0;
    name->Clear();
    if (size == 0) return true;
    if (size < 5) return false;
    CStateArchive ar(data, size, CStateArchive::kApply);
    *crc = ar.ReadU32();
    return WireText_Read(ar, name, SavedGame::kMaxNameLength, false) && ar.GetRemaining() == 0 &&
           !name->IsEmpty();
}

void CNetGame::ResetClientFlags() {
    std::vector<CGameSocket*> clients = TakeClients();
    for (CGameSocket* c : clients) c->m_mapChangeReply = c->m_mapFinishReply = 0;
    ReleaseAll(clients);
}

void CNetGame::StartHandshakeStep(int32_t* state) {
    if (!m_hosting || !state) return;
    std::vector<CGameSocket*> clients = TakeClients();
    auto all = [&clients](uint8_t CGameSocket::*flag) {
        for (CGameSocket* c : clients)
            if (!(c->*flag)) return false;
        return true;
    };
    switch (*state) {
        case -1:
            if (all(&CGameSocket::m_startReply)) {
                *state = 0;
                for (CGameSocket* c : clients) c->m_mapChangeReply = 0;
                // The saved game this start continues went with the start
                // request (SendStartRequest): every machine checks its copy
                // when the map change comes.
                SendToAllClients(NS_NOTIFYTYPE_MAPCHANGESTART, nullptr, 0);
            }
            break;
        case 0:
            if (all(&CGameSocket::m_mapChangeReply)) {
                *state = 1;
                // A saved game brings its own units and resources.
                if (m_hostedSave.IsEmpty()) Maps().PlaceStartUnits();
            }
            break;
        case 1:
            for (CGameSocket* c : clients) c->m_mapFinishReply = 0;
            *state = 2;
            SendToAllClients(NS_NOTIFYTYPE_MAPFINISHUP, nullptr, 0);
            break;
        case 2:
            if (all(&CGameSocket::m_mapFinishReply)) {
                // Every machine starts the game loop in the frame of
                // SETGAMELOOP: with the saved game, or with the map's
                // objectives (CNetGame::StartGameLoop).
                m_hostedSave.Clear();
                *state = 3;
                // SETGAMELOOP carries nothing, as the message table gives it:
                // the clients run their loop from the frame it comes in (the
                // game time comes with the timing messages).
                SendToAllClients(NS_NOTIFYTYPE_SETGAMELOOP, nullptr, 0);
            }
            break;
        default:
            break;
    }
    ReleaseAll(clients);
}
