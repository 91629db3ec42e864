// The peer's life, settings and statistics. Sending is in PeerSend.cpp,
// receiving in PeerReceive.cpp.
#include "nwe/Peer.h"

#include <algorithm>

#include "nwe/Engine.h"
#include "nwe/MessageTypes.h"
#include "nwe/Socket.h"

using ScopedLock = CSysScopedLock<CSysCriticalSection>;

NWEPeer::NWEPeer(NWESocket* socket, NWEMessageTypes* application, const char* name)
    : m_engine(socket->GetEngine()),
      m_socket(socket),
      m_system(socket->GetEngine()->GetSystemRegistry()),
      m_application(application),
      m_name(name ? name : "") {
    int64_t now = m_engine->GetClock().Now();
    m_lastRefill = now;
    m_deadline = now + m_engine->GetClock().Ticks(m_timeout);
    m_keepAliveDue = now + m_engine->GetClock().Ticks(m_keepAliveInterval);
    m_socket->LinkPeer(this);
    m_socket->NoteSendParameters(this);
}

NWEPeer::~NWEPeer() {
    m_guard.Close();
    // What it received and is still waiting to be handled is never handed on.
    m_alive->store(false);
    DetachEntries();
    m_socket->UnlinkPeer(this);
    ScopedLock l(m_lock);
    // Whatever was not confirmed is not delivered: its groups learn that it failed.
    for (SPacketRecord* r : {m_ackSlot, m_unackSlot})
        if (r) FailRecord(r);
    m_ackSlot = m_unackSlot = nullptr;
    for (auto& e : m_unacked) FailRecord(e.second);
    m_unacked.clear();
    for (SPacketRecord* r : m_raw) ReleaseRecord(r);
    m_raw.clear();
    DropQueued();
    while (!m_partials.empty()) DropPartial(m_partials.begin());
}

NWEMessageType* NWEPeer::LookUp(uint32_t id) {
    if (id < NWE_SYSTEM_TYPES) return m_system->Get(id);
    return m_application ? m_application->Get(id) : nullptr;
}

NWEMessageType* NWEPeer::PeekType(uint32_t id) {
    if (id < NWE_SYSTEM_TYPES) return m_system->Peek(id);
    return m_application ? m_application->Peek(id) : nullptr;
}

NWEMessagePtr NWEPeer::MakeMessage(uint16_t id, NWEMessageType* type, const void* data, uint32_t size) {
    NWEMessagePtr m = NWE_NewMessage();
    m->m_id = id;
    m->m_type = type;
    m->m_peer = this;
    m->m_peerAlive = m_alive;
    m->SetPayload(data, size);
    return m;
}

// --- settings ---------------------------------------------------------------

void NWEPeer::SetAddress(const SNetAddress& a) {
    SNetAddress old;
    {
        ScopedLock l(m_lock);
        old = m_address;
        m_address = a;
        m_state = kStateRemote;
    }
    m_socket->Rehome(this, old, a);
    m_socket->NoteSendParameters(this);
}

void NWEPeer::GetAddress(SNetAddress* out) {
    ScopedLock l(m_lock);
    *out = m_address;
}

SNetAddress NWEPeer::GetAddress() {
    return NWE_Read(m_lock, m_address);
}

void NWEPeer::LinkLocal(NWEPeer* partner) {
    {
        ScopedLock l(m_lock);
        if (m_partnerLink)
            m_partnerLink->Retarget(partner);
        else
            m_partnerLink = new NWEListEntry(&m_links, partner);
        m_state = kStateLocal;
    }
    m_socket->NoteSendParameters(this);
}

bool NWEPeer::HasId(const NWEPeer* p) {
    ScopedLock l(m_lock);
    return m_partnerLink && m_partnerLink->Names(p);
}

void NWEPeer::Unlink(NWEPeer* newPartner) {
    ScopedLock l(m_lock);
    if (m_partnerLink) m_partnerLink->Retarget(newPartner);
}

void NWEPeer::SetOwnRate(float rate) {
    {
        ScopedLock l(m_lock);
        m_ownRate = rate;
        m_remoteDemandPresent = false;
    }
    m_socket->UpdateSendParameters();
    if (m_state == kStateRemote) RequestRate(static_cast<uint32_t>(rate));
}

void NWEPeer::SetKeepAlive(bool on) {
    NWE_Write(m_lock, m_keepAlive, on);
}
void NWEPeer::SetFrameSync(bool on) {
    m_frameSync.store(on);
}
void NWEPeer::SetTimeoutCheck(bool on) {
    NWE_Write(m_lock, m_timeoutCheck, on);
}
void NWEPeer::SetTimedOut(bool on) {
    m_markedForRemoval.store(on);
}
void NWEPeer::SetRateRequests(bool on) {
    NWE_Write(m_lock, m_rateFromRemote, on);
}
void NWEPeer::SetTimeout(float seconds) {
    ScopedLock l(m_lock);
    m_timeout = seconds;
    m_deadline = m_engine->GetClock().Now() + m_engine->GetClock().Ticks(seconds);
}
void NWEPeer::SetRequestedPacketSize(uint32_t size) {
    {
        ScopedLock l(m_lock);
        m_requestedPacketSize = size;
    }
    m_socket->NoteSendParameters(this);
}
void NWEPeer::SetResendInterval(float seconds) {
    NWE_Write(m_lock, m_resendInterval, seconds);
}
void NWEPeer::SetKeepAliveInterval(float seconds) {
    NWE_Write(m_lock, m_keepAliveInterval, seconds);
}
void NWEPeer::SetReceiveCrcSeed(uint32_t seed) {
    NWE_Write(m_lock, m_receiveSeed, seed);
}
void NWEPeer::SetSendCrcSeed(uint32_t seed) {
    NWE_Write(m_lock, m_sendSeed, seed);
}
void NWEPeer::SetSendLimits(uint32_t window, uint32_t queue) {
    ScopedLock l(m_lock);
    m_sendWindow = window;
    m_queueLimit = queue;
}
uint32_t NWEPeer::GetPacketSize() {
    return NWE_Read(m_lock, m_packetSize);
}
bool NWEPeer::IsTimedOut() {
    return m_markedForRemoval.load();
}
bool NWEPeer::HasTimedOutNotice() {
    return NWE_Read(m_lock, m_timeoutNoticed);
}
float NWEPeer::GetSendRate() {
    return NWE_Read(m_lock, m_grantedRate);
}
bool NWEPeer::GetFrameSync() {
    return m_frameSync.load();
}
int NWEPeer::GetState() {
    return m_state.load();
}
bool NWEPeer::IsActive() {
    ScopedLock l(m_lock);
    return m_reliable && m_state == kStateRemote;
}

void NWEPeer::SetActive(bool on) {
    {
        ScopedLock l(m_lock);
        m_reliable = on;
        if (!on) {
            m_received.reset();
            m_receiveHigh = 0;
            for (auto& e : m_unacked) FailRecord(e.second);
            m_unacked.clear();
            m_unackedBytes = 0;
        }
    }
    RequestRate(static_cast<uint32_t>(NWE_Read(m_lock, m_ownRate)));
}

void NWEPeer::OnRateDemand(float rate) {
    ScopedLock l(m_lock);
    if (!m_rateFromRemote) {
        m_remoteDemand = rate;
        m_remoteDemandPresent = true;
    } else {
        m_ownRate = rate;
    }
}

void NWEPeer::RequestPacketSize(uint32_t size) {
    if (m_state != kStateRemote) return;
    SetRequestedPacketSize(size);
    uint8_t p[4];
    NWE_Put32(p, size);
    SendByDataType(NS_NOTIFYTYPE_REQUEST_PACKETSIZE, p, 4);
}

void NWEPeer::RequestRate(uint32_t rate) {
    if (m_state != kStateRemote) return;
    {
        ScopedLock l(m_lock);
        if (!m_rateFromRemote) m_ownRate = static_cast<float>(rate);
    }
    uint8_t p[4];
    NWE_Put32(p, rate);
    SendByDataType(NS_NOTIFYTYPE_REQUEST_RATE, p, 4);
}

uint32_t NWEPeer::NextMessageKey() {
    ScopedLock l(m_lock);
    uint32_t k = m_keyCounter;
    m_keyCounter = m_keyCounter >= kMaxMessageKey ? 1 : m_keyCounter + 1;
    return k;
}

void NWEPeer::SetSequenceCounter(uint32_t next) {
    NWE_Write(m_lock, m_sequenceCounter, next);
}
void NWEPeer::SetKeyCounter(uint32_t next) {
    NWE_Write(m_lock, m_keyCounter, next);
}

void NWEPeer::Release() {
    m_guard.ReleaseShared();
}

// --- statistics -------------------------------------------------------------

uint32_t NWEPeer::GetPacketsIn() {
    return NWE_Read(m_lock, m_packetsIn);
}
uint32_t NWEPeer::GetPacketsOut() {
    return NWE_Read(m_lock, m_packetsOut);
}
uint32_t NWEPeer::GetPendingBytes() {
    return NWE_Read(m_lock, m_pending);
}
uint64_t NWEPeer::GetHeldBytes() {
    return NWE_Read(m_lock, m_heldBytes);
}
size_t NWEPeer::GetUnackedCount() {
    ScopedLock l(m_lock);
    return m_unacked.size();
}
uint32_t NWEPeer::GetUnackedBytes() {
    return NWE_Read(m_lock, m_unackedBytes);
}
uint64_t NWEPeer::GetPartialBytes() {
    return NWE_Read(m_lock, m_partialBytes);
}
size_t NWEPeer::GetPartialCount() {
    ScopedLock l(m_lock);
    return m_partials.size();
}
uint64_t NWEPeer::GetMessagesAcked() {
    return NWE_Read(m_lock, m_messagesAcked);
}
double NWEPeer::GetSmoothedRtt() {
    ScopedLock l(m_lock);
    return m_haveRtt ? m_srtt : 0.0;
}
double NWEPeer::GetResendTimeout() {
    ScopedLock l(m_lock);
    return m_engine->GetClock().Seconds(CurrentTimeout());
}
int64_t NWEPeer::NextResendDue() {
    ScopedLock l(m_lock);
    int64_t due = 0;
    for (auto& e : m_unacked)
        if (due == 0 || e.second->resendTime < due) due = e.second->resendTime;
    return due;
}
