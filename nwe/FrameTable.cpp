#include "nwe/FrameTable.h"

#include <algorithm>
#include <thread>

#include "nwe/Engine.h"
#include "nwe/Peer.h"

int64_t NWEFrame::GetTime() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_time;
}
int16_t NWEFrame::GetExpected() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return static_cast<int16_t>(m_expected);
}
int16_t NWEFrame::GetReceived() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return static_cast<int16_t>(m_received);
}
uint32_t NWEFrame::GetValue() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_value;
}
void NWEFrame::SetValue(uint32_t v) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    m_value = v;
}
uint16_t NWEFrame::GetPeekId() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_peekId;
}
void NWEFrame::SetPeekId(uint16_t id) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    m_peekId = id;
}
bool NWEFrame::IsComplete() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    return m_present && m_expected == m_received;
}
void NWEFrame::IsDue() {
    int64_t now = m_table->GetEngine()->GetClock().Now();
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (now > m_time) m_time = now;
}
void NWEFrame::IncReceived() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (m_expected == kNotAnnounced) m_expected = 0;
    ++m_expected;
}
void NWEFrame::SetExpected(uint16_t n) {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    m_expected = n;
}

bool NWEFrame::File(const NWEMessagePtr& m, uint32_t flags) {
    int64_t now = m_table->GetEngine()->GetClock().Now();
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    if (now > m_time) m_time = now;
    // More messages than the server announced is a protocol error, not a frame
    // that can never complete.
    if (m_expected != kNotAnnounced && m_received >= m_expected) return false;
    ++m_received;
    m_messages.push_back(m);
    m->m_filed = true;
    m_value |= flags;
    return true;
}

std::vector<NWEMessagePtr> NWEFrame::TakeMessages() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    std::vector<NWEMessagePtr> out;
    out.swap(m_messages);
    return out;
}

void NWEFrame::PutBack(const std::vector<NWEMessagePtr>& ms) {
    if (ms.empty()) return;
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    m_messages.insert(m_messages.begin(), ms.begin(), ms.end());
}

void NWEFrame::Init(bool announcing) {
    int64_t now = m_table->GetEngine()->GetClock().Now();
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    m_received = 0;
    m_value = 0;
    m_expected = announcing ? 0 : kNotAnnounced;
    m_peekId = 65535;
    if (now > m_time) m_time = now;
    m_present = true;
}

void NWEFrame::Clear() {
    CSysScopedLock<CSysCriticalSection> l(m_lock);
    m_present = false;
    m_time = 0;
    m_received = 0;
    m_expected = kNotAnnounced;
    m_value = 0;
    m_messages.clear();
}

NWEFrameTable::NWEFrameTable(NWEEngine* engine) : m_frames(kFrames), m_engine(engine) {
    for (int i = 0; i < kFrames; ++i) {
        m_frames[i].m_number = static_cast<uint16_t>(i);
        m_frames[i].m_table = this;
    }
    if (m_engine) m_engine->LinkFrameTable(this);
}

NWEFrameTable::~NWEFrameTable() {
    if (m_engine) m_engine->UnlinkFrameTable(this);
    for (auto& f : m_frames) f.m_guard.Close();
}

// Takes frame n shared, waiting while it is held exclusively; tells whether
// it is present.
NWEFrame* NWEFrameTable::TakeShared(uint16_t n, bool* present) {
    if (n == 0 || n >= kFrames) return nullptr;
    NWEFrame& f = m_frames[n];
    while (!f.m_guard.TryShared()) {
        if (f.m_guard.IsClosing()) return nullptr;
        std::this_thread::yield();
    }
    CSysScopedLock<CSysCriticalSection> l(f.m_lock);
    *present = f.m_present;
    return &f;
}

NWEFrame* NWEFrameTable::GetShared(uint16_t n) {
    bool present = false;
    NWEFrame* f = TakeShared(n, &present);
    if (f && !present) f->Init(IsAnnouncing());
    return f;
}

NWEFrame* NWEFrameTable::Lookup(uint16_t n) {
    bool present = false;
    NWEFrame* f = TakeShared(n, &present);
    if (f && !present) {
        f->m_guard.ReleaseShared();
        return nullptr;
    }
    return f;
}

uint16_t NWEFrameTable::Advance(int k) const {
    uint16_t n = GetCurrentNumber();
    for (int i = 0; i < k % kLastFrameNumber; ++i) n = NextFrameNumber(n);
    return n;
}

void NWEFrameTable::SetCurrent(uint16_t n) {
    if (n == 0 || n >= kFrames) return;
    CSysScopedLock<CSysCriticalSection> c(m_currentLock);
    CSysScopedLock<CSysCriticalSection> t(m_tableLock);
    m_current.store(n);
}

void NWEFrameTable::Reset() {
    CSysScopedLock<CSysCriticalSection> c(m_currentLock);
    CSysScopedLock<CSysCriticalSection> t(m_tableLock);
    m_current.store(1);
    for (auto& f : m_frames) {
        if (!f.m_guard.Exclusive()) continue;
        f.Clear();
        f.m_guard.ReleaseExclusive();
    }
}

int NWEFrameTable::Compare(uint16_t a, uint16_t b) {
    int d = (static_cast<int>(a) - static_cast<int>(b)) & (kFrames - 1);
    if (d == 0) return 0;
    return d < 4096 ? 1 : -1;
}

int NWEFrameTable::Ahead(uint16_t n) const {
    int d = (static_cast<int>(n) - static_cast<int>(GetCurrentNumber())) % kLastFrameNumber;
    return d < 0 ? d + kLastFrameNumber : d;
}

void NWEFrameTable::Process() {
    CSysScopedLock<CSysCriticalSection> c(m_currentLock);
    uint16_t number = GetCurrentNumber();
    NWEFrame* f = GetShared(number);
    if (!f) return;
    if (IsAnnouncing()) {
        uint16_t count = static_cast<uint16_t>(f->GetExpected());
        uint8_t payload[4];
        payload[0] = static_cast<uint8_t>(number);
        payload[1] = static_cast<uint8_t>(number >> 8);
        payload[2] = static_cast<uint8_t>(count);
        payload[3] = static_cast<uint8_t>(count >> 8);
        for (NWEListEntry* e = m_peers.FirstShared(); e; e = m_peers.NextShared(e)) {
            // Sent at once: every client's next tick waits for this count.
            if (NWEPeer* p = NWEEngine::GetPeer(e)) {
                if (p->GetFrameSync())
                    p->SendMessage(NS_NOTIFYTYPE_FRAME_INFO, payload, 4, nullptr, 65535, 0);
                p->Release();
            }
        }
    }
    f->Clear();
    f->m_guard.ReleaseShared();
    m_current.store(NextFrameNumber(number));
}

void NWEFrameTable::AddPeer(NWEPeer* p) {
    if (NWEListEntry* e = m_peers.FindShared(p)) {
        e->m_guard.ReleaseShared();
        return;
    }
    new NWEListEntry(&m_peers, p);
}

void NWEFrameTable::RemovePeer(NWEPeer* p) {
    // Entries of peers that are gone name nothing: they go too.
    std::vector<NWEListEntry*> gone;
    for (NWEListEntry* e = m_peers.FirstShared(); e; e = m_peers.NextShared(e))
        if (e->Names(p) || e->Names(nullptr)) gone.push_back(e);
    for (NWEListEntry* e : gone) e->Destroy();
}
