#include "nwe/Engine.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "nwe/FrameTable.h"
#include "nwe/ListEntry.h"
#include "nwe/Peer.h"
#include "nwe/Socket.h"
#include "nwe/Wire.h"

using ScopedLock = CSysScopedLock<CSysCriticalSection>;

NWEEngine::NWEEngine(const SNWEEngineSetup& setup) {
    if (setup.clock) m_clock.SetSource(setup.clock, setup.clockContext);
    m_records.reset(new NWEPool<SPacketRecord>(256));
    m_system = new NWEMessageTypes(this);
    // Receipts and loss hints are handled inside the packet receiver.
    m_system->Register("NS_NOTIFYTYPE_RECEIPT", NS_NOTIFYTYPE_RECEIPT, nullptr, nullptr, nullptr, nullptr,
                       nullptr, 1, 1, 1, 1, 1);
    m_system->Register("NS_NOTIFYTYPE_PACKETLOSTHINT", NS_NOTIFYTYPE_PACKETLOSTHINT, nullptr, this, nullptr,
                       nullptr, nullptr, 1, 1, 1, 1, 1);
    m_system->Register("NS_NOTIFYTYPE_KEEP_ALIVE", NS_NOTIFYTYPE_KEEP_ALIVE, nullptr, nullptr, &m_engineQueue,
                       nullptr, nullptr, 0, 1, 1, 1, 1);
    m_system->Register("NS_NOTIFYTYPE_FRAME_INFO", NS_NOTIFYTYPE_FRAME_INFO, &NWEEngine::OnFrameInfo, this,
                       &m_engineQueue, nullptr, nullptr, 0, 2, 1, 1, 1);
    m_system->Register("NS_NOTIFYTYPE_REQUEST_PACKETSIZE", NS_NOTIFYTYPE_REQUEST_PACKETSIZE,
                       &NWEEngine::OnRequestPacketSize, this, &m_engineQueue, nullptr, nullptr, 0, 2, 1, 1,
                       1);
    m_system->Register("NS_NOTIFYTYPE_REQUEST_RATE", NS_NOTIFYTYPE_REQUEST_RATE, &NWEEngine::OnRequestRate,
                       this, &m_engineQueue, nullptr, nullptr, 0, 2, 1, 1, 1);
    if (!m_poller.IsValid()) Report("Could not create a socket notification window");
    if (setup.threads) {
        m_receiveThread.Start([this] { ReceiveThread(); });
        m_tickThread.Start([this] { TickThread(); });
    }
}

void NWEEngine::Shutdown() {
    m_closing.store(true);
    WakeReceiver();
    m_tickWake.Set();
    m_receiveThread.Join();
    m_tickThread.Join();
}

NWEEngine::~NWEEngine() {
    Shutdown();
    for (;;) {
        NWESocket* s;
        {
            ScopedLock l(m_socketsLock);
            if (m_sockets.empty()) break;
            s = m_sockets.front();
        }
        if (s->m_guard.Close())
            delete s;
        else
            UnlinkSocket(s);  // someone else is closing it
    }
    m_engineQueue.Clear();
    delete m_system;
    m_system = nullptr;
    for (;;) {
        NWEMessageTypes* r;
        {
            ScopedLock l(m_registriesLock);
            if (m_registries.empty()) break;
            r = m_registries.front();
        }
        UnlinkRegistry(r);  // owned by the application; it only leaves our list
        r->DetachEngine();
    }
    ScopedLock l(m_tablesLock);
    for (NWEFrameTable* t : m_tables) t->DetachEngine();
    m_tables.clear();
}

void NWEEngine::Report(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    ReportV(fmt, ap);
    va_end(ap);
}

void NWEEngine::ReportV(const char*, va_list) {}

void NWE_ReportTo(NWEEngine* e, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    e->ReportV(fmt, ap);
    va_end(ap);
}

// Statistics are counted per datagram from every thread: plain atomics.
void NWEEngine::ResetStatistics() {
    m_dataOut = m_dataIn = m_packetsIn = m_packetsOut = 0;
}
uint32_t NWEEngine::GetDataOut() {
    return m_dataOut.load();
}
uint32_t NWEEngine::GetDataIn() {
    return m_dataIn.load();
}
uint32_t NWEEngine::GetPacketsIn() {
    return m_packetsIn.load();
}
uint32_t NWEEngine::GetPacketsOut() {
    return m_packetsOut.load();
}
void NWEEngine::CountOut(size_t bytes) {
    m_dataOut.fetch_add(static_cast<uint32_t>(bytes + 8), std::memory_order_relaxed);
    m_packetsOut.fetch_add(1, std::memory_order_relaxed);
}
void NWEEngine::CountIn(size_t bytes) {
    m_dataIn.fetch_add(static_cast<uint32_t>(bytes + 8), std::memory_order_relaxed);
    m_packetsIn.fetch_add(1, std::memory_order_relaxed);
}

void NWEEngine::SetReceiveThreadEnabled(uint8_t v) {
    m_receiveEnabled.store(v);
    WakeReceiver();
}

void NWEEngine::SetTickThreadMode(uint8_t v) {
    {
        ScopedLock l(m_optionsLock);
        m_tickMode = v;
    }
    m_tickWake.Set();
}
void NWEEngine::SetCloseMarkedSockets(uint8_t v) {
    NWE_Write(m_optionsLock, m_closeMarked, v);
}
void NWEEngine::SetTickThreadEnabled(uint8_t v) {
    {
        ScopedLock l(m_optionsLock);
        m_tickEnabled = v;
    }
    m_tickWake.Set();
}
uint8_t NWEEngine::GetTickThreadMode() {
    return NWE_Read(m_optionsLock, m_tickMode);
}
uint8_t NWEEngine::GetCloseMarkedSockets() {
    return NWE_Read(m_optionsLock, m_closeMarked);
}
uint8_t NWEEngine::GetTickThreadEnabled() {
    return NWE_Read(m_optionsLock, m_tickEnabled);
}

NWESocket* NWEEngine::FirstSocket() {
    ScopedLock l(m_socketsLock);
    for (NWESocket* s : m_sockets)
        if (s->m_guard.TryShared()) return s;
    return nullptr;
}

NWESocket* NWEEngine::NextSocket(NWESocket* cur) {
    ScopedLock l(m_socketsLock);
    size_t i = cur->m_engineSlot;
    cur->m_guard.ReleaseShared();
    // A socket unlinked while it was held is no longer at its slot: the walk ends.
    if (i >= m_sockets.size() || m_sockets[i] != cur) return nullptr;
    for (++i; i < m_sockets.size(); ++i)
        if (m_sockets[i]->m_guard.TryShared()) return m_sockets[i];
    return nullptr;
}

void NWEEngine::ReleaseSocket(NWESocket* s) {
    if (s) s->m_guard.ReleaseShared();
}

size_t NWEEngine::GetSocketCount() {
    ScopedLock l(m_socketsLock);
    return m_sockets.size();
}

NWEPeer* NWEEngine::GetPeer(NWEListEntry* entry) {
    return entry ? static_cast<NWEPeer*>(entry->TakeTarget()) : nullptr;
}

NWEPeer* NWEEngine::GetPeer(NWEPeer* p) {
    if (p && p->m_guard.TryShared()) return p;
    return nullptr;
}

void NWEEngine::LinkSocket(NWESocket* s) {
    {
        ScopedLock l(m_socketsLock);
        m_sockets.insert(m_sockets.begin(), s);
        RenumberSockets();
    }
    WakeReceiver();
}

void NWEEngine::UnlinkSocket(NWESocket* s) {
    ScopedLock l(m_socketsLock);
    m_sockets.erase(std::remove(m_sockets.begin(), m_sockets.end(), s), m_sockets.end());
    RenumberSockets();
}

// Called with the list lock held.
void NWEEngine::RenumberSockets() {
    for (size_t i = 0; i < m_sockets.size(); ++i) m_sockets[i]->m_engineSlot = i;
}

void NWEEngine::LinkRegistry(NWEMessageTypes* r) {
    ScopedLock l(m_registriesLock);
    m_registries.insert(m_registries.begin(), r);
}

void NWEEngine::UnlinkRegistry(NWEMessageTypes* r) {
    ScopedLock l(m_registriesLock);
    m_registries.erase(std::remove(m_registries.begin(), m_registries.end(), r), m_registries.end());
}

void NWEEngine::LinkFrameTable(NWEFrameTable* t) {
    ScopedLock l(m_tablesLock);
    m_tables.push_back(t);
}

void NWEEngine::UnlinkFrameTable(NWEFrameTable* t) {
    ScopedLock l(m_tablesLock);
    m_tables.erase(std::remove(m_tables.begin(), m_tables.end(), t), m_tables.end());
}

void NWEEngine::ScheduleWake(int64_t when) {
    // While the tick thread runs (nothing planned) it looks again when done.
    int64_t planned = m_plannedWake.load();
    if (planned != 0 && when < planned) m_tickWake.Set();
}

void NWEEngine::Tick(bool fromTickThread) {
    m_clock.Update();
    bool mode = GetTickThreadMode() != 0;
    RunChecks(fromTickThread, fromTickThread == mode);
}

void NWEEngine::RunChecks(bool fromTickThread, bool full) {
    std::vector<NWESocket*> closing;
    for (NWESocket* s = FirstSocket(); s; s = NextSocket(s)) {
        if (!full) {
            s->Check(fromTickThread);
        } else if (!s->IsMarkedForClosing()) {
            s->Check(fromTickThread);
        } else if (GetCloseMarkedSockets()) {
            closing.push_back(s);
            s->m_guard.TryShared();  // kept past NextSocket's release
        }
    }
    for (NWESocket* s : closing) s->Close();
    if (full) m_engineQueue.Flush();
}

int NWEEngine::Poll(int waitMs) {
    auto readAll = [this] {
        int n = 0;
        for (NWESocket* s = FirstSocket(); s; s = NextSocket(s)) {
            if (s->GetHandle() < 0) continue;
            ScopedLock l(m_engineLock);
            n += s->Receive(0);
        }
        return n;
    };
    int n = readAll();
    if (n > 0 || waitMs <= 0) return n;
    std::vector<int> handles, ready;
    for (NWESocket* s = FirstSocket(); s; s = NextSocket(s))
        if (s->GetHandle() >= 0) handles.push_back(s->GetHandle());
    m_callerPoller.Wait(handles, waitMs, &ready);
    return ready.empty() ? 0 : readAll();
}

void NWEEngine::ReceiveThread() {
    using SteadyClock = std::chrono::steady_clock;
    std::vector<NWESocket*> held;
    std::vector<int> handles, ready;
    auto window = std::chrono::microseconds(kBusyPollMinMicroseconds);
    SteadyClock::time_point asleepSince{};
    while (!m_closing.load()) {
        held.clear();
        handles.clear();
        const uint32_t changes = m_receiverChanges.load();
        if (m_receiveEnabled.load()) {
            ScopedLock l(m_socketsLock);
            for (NWESocket* s : m_sockets) {
                if (s->GetHandle() < 0 || s->m_leaving.load() || !s->m_guard.TryShared()) continue;
                held.push_back(s);
                handles.push_back(s->GetHandle());
            }
        }
        // Held shared while waiting: a socket that closes wakes us first.
        m_poller.Wait(handles, 1000, &ready);
        bool busy = false;
        for (NWESocket* s : held) {
            if (!m_closing.load() && std::find(ready.begin(), ready.end(), s->GetHandle()) != ready.end()) {
                ScopedLock l(m_engineLock);
                busy = s->Receive(0) > 0 || busy;
            }
        }
        if (busy && asleepSince != SteadyClock::time_point{}) {
            // How long reading on would have had to last to spare this wake-up.
            auto slept = SteadyClock::now() - asleepSince;
            const auto lowest = std::chrono::microseconds(kBusyPollMinMicroseconds);
            const auto highest = std::chrono::microseconds(kBusyPollMaxMicroseconds);
            window = slept <= highest ? std::min(window * 2, highest) : std::max(window / 2, lowest);
        }
        // Traffic comes in bursts and streams: after a datagram the sockets
        // are read again for a while before the thread sleeps, so the next
        // one does not wait for the thread to be woken. A socket added or
        // closing (WakeReceiver) ends it at once.
        auto until = SteadyClock::now() + window;
        while (busy && !m_closing.load() && m_receiverChanges.load() == changes) {
            if (SteadyClock::now() >= until) break;
            int read = 0;
            for (NWESocket* s : held) {
                ScopedLock l(m_engineLock);
                read += s->Receive(0);
            }
            if (read > 0)
                until = SteadyClock::now() + window;
            else
                std::this_thread::yield();
        }
        if (busy) asleepSince = SteadyClock::now();
        for (NWESocket* s : held) s->m_guard.ReleaseShared();
    }
}

void NWEEngine::TickThread() {
    while (!m_closing.load()) {
        bool mode = GetTickThreadMode() != 0;
        int64_t now = m_clock.Now();
        int64_t wake = now + m_clock.Ticks(mode ? 0.020f : 1.0f);
        // Wake early for a resend that falls due before the next period.
        if (GetTickThreadEnabled()) {
            for (NWESocket* s = FirstSocket(); s; s = NextSocket(s))
                for (NWEPeer* p = s->FirstPeer(); p; p = s->NextPeer(p)) {
                    int64_t due = p->NextResendDue();
                    if (due && due < wake) wake = due;
                }
        }
        m_plannedWake.store(wake);
        int64_t wait = wake - now;
        uint32_t ms =
            wait <= 0 ? 0
                      : static_cast<uint32_t>((wait * 1000 + m_clock.Ticks(1.0f) - 1) / m_clock.Ticks(1.0f));
        if (ms > 0) m_tickWake.Wait(ms);
        m_plannedWake.store(0);
        if (m_closing.load()) break;
        if (GetTickThreadEnabled()) Tick(true);
    }
}

// Frame information is taken only from the link that serves the frames (the
// peer with frame sync on), only into a table that receives.
void NWEEngine::OnFrameInfo(NWEPeer* peer, NWEMessage* m, void*) {
    int state = peer->GetState();
    if (state == NWEPeer::kStateOther || state == NWEPeer::kStateLocal || !peer->GetFrameSync()) return;
    if (m->GetSize() != 4) return;
    NWEMessageTypes* app = peer->GetApplicationRegistry();
    if (!app) return;
    NWEMessageType* t = app->Get(NS_NOTIFYTYPE_FRAME_INFO);
    if (!t) return;
    NWEFrameTable* table = t->m_frameTable;
    uint16_t frame = NWE_Get16(m->GetData());
    uint16_t count = NWE_Get16(m->GetData() + 2);
    if (table && !table->IsAnnouncing() && frame >= 1 && frame <= kLastFrameNumber &&
        NWEFrameTable::Compare(frame, table->GetCurrentNumber()) >= 0) {
        if (NWEFrame* f = table->GetShared(frame)) {
            f->SetExpected(count);
            f->IsDue();
            table->Release(f);
        }
    }
    app->Release(t);
}

void NWEEngine::OnRequestPacketSize(NWEPeer* peer, NWEMessage* m, void*) {
    if (m->GetSize() != 4) return;
    // A size below a minimal datagram would leave no room for any message.
    uint32_t size = std::min<uint32_t>(std::max<uint32_t>(NWE_Get32(m->GetData()), 576), 1500);
    peer->SetSettingE(size);
}

void NWEEngine::OnRequestRate(NWEPeer* peer, NWEMessage* m, void*) {
    if (m->GetSize() != 4) return;
    float cap = peer->GetSocket()->GetRateCap();
    float rate =
        std::min(std::max(static_cast<float>(NWE_Get32(m->GetData())), 400.0f), std::max(cap, 400.0f));
    peer->OnRateDemand(rate);
    peer->GetSocket()->NoteSendParameters(peer);
}
