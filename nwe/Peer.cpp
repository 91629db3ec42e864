// The peer's life and settings, sending, packing, resends, keep-alive and
// time-out. Receiving is in PeerReceive.cpp.
#include "nwe/Peer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/VFSFile.h"
#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
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
    m_socket->UpdateSendParameters();
}

NWEPeer::~NWEPeer() {
    m_guard.Close();
    m_socket->UnlinkPeer(this);
    m_engine->ForgetPeer(this);
    ScopedLock l(m_lock);
    // Whatever was not confirmed is not delivered: its groups learn that it failed.
    for (SPacketRecord* r : {m_ackSlot, m_unackSlot})
        if (r) FailRecord(r);
    m_ackSlot = m_unackSlot = nullptr;
    for (auto& e : m_unacked) FailRecord(e.second);
    m_unacked.clear();
    for (SPacketRecord* r : m_raw) ReleaseRecord(r);
    m_raw.clear();
    for (NWEQueue* q : {&m_class0, &m_class1, &m_class2, &m_replies})
        while (NWEMessagePtr m = q->Take()) FinishSent(m, false);
}

NWEMessageType* NWEPeer::LookUp(uint32_t id) {
    if (id < NWE_SYSTEM_TYPES) return m_system->Get(id);
    return m_application ? m_application->Get(id) : nullptr;
}

NWEMessagePtr NWEPeer::MakeMessage(uint16_t id, NWEMessageType* type, const void* data, uint32_t size) {
    NWEMessagePtr m = std::make_shared<NWEMessage>();
    m->m_id = id;
    m->m_type = type;
    m->m_peer = this;
    if (size)
        m->m_payload.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
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
    m_socket->UpdateSendParameters();
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
        m_partner = partner;
        m_state = kStateLocal;
    }
    m_socket->UpdateSendParameters();
}

void NWEPeer::SetSettingC(float rate) {
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
void NWEPeer::SetSettingD(float seconds) {
    ScopedLock l(m_lock);
    m_timeout = seconds;
    m_deadline = m_engine->GetClock().Now() + m_engine->GetClock().Ticks(seconds);
}
void NWEPeer::SetSettingE(uint32_t size) {
    {
        ScopedLock l(m_lock);
        m_requestedPacketSize = size;
    }
    m_socket->UpdateSendParameters();
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
uint32_t NWEPeer::GetSettingF() {
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
            for (auto& e : m_unacked) {
                for (auto& m : e.second->messages)
                    if (--m->m_recordsOut == 0) FinishSent(m, false);
                e.second->messages.clear();
                ReleaseRecord(e.second);
            }
            m_unacked.clear();
        }
    }
    RequestRate(static_cast<uint32_t>(m_ownRate));
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
    SetSettingE(size);
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

uint32_t NWEPeer::GetPacketsIn() {
    return NWE_Read(m_lock, m_packetsIn);
}
uint32_t NWEPeer::GetPacketsOut() {
    return NWE_Read(m_lock, m_packetsOut);
}
uint32_t NWEPeer::GetPendingBytes() {
    return NWE_Read(m_lock, m_pending);
}
size_t NWEPeer::GetUnackedCount() {
    ScopedLock l(m_lock);
    return m_unacked.size();
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

// --- sending ----------------------------------------------------------------

NWEQueue* NWEPeer::SendQueueFor(uint16_t cls) {
    if (cls == 0) return &m_class0;
    if (cls == 1) return &m_class1;
    return &m_class2;
}

bool NWEPeer::SendByDataType(uint16_t id, const void* data, uint32_t size, uint16_t frame) {
    return SendMessage(id, data, size, nullptr, 65535, 65535, 65535, frame);
}

bool NWEPeer::SendMessage(uint16_t id, const void* data, uint32_t size, NWEList* group, uint16_t priority,
                          uint16_t immediacy, uint16_t cls, uint16_t frame, const NWEMessagePtr& after) {
    if (m_state == kStateLocal) return SendLocal(id, data, size, frame);
    NWEMessageType* type = LookUp(id);
    if (!type) {
        m_engine->Report("An attempt was made to send an unregistered message DataType: %d", id);
        return false;
    }
    if (cls == 65535) cls = type->m_class;
    if (priority == 65535 || priority > 11) priority = type->m_priority;
    if (immediacy == 65535) immediacy = type->m_delay;
    // A short-header message is never split: one that cannot fit a packet would
    // block the peer's queue for good, so it is refused here.
    uint32_t packetSize = GetSettingF();
    if (type->m_shortHeader &&
        (size > 0xFFFF || size + kPacketHeaderReserve + kShortHeaderOverhead >= packetSize)) {
        m_engine->Report("Message %d of %u bytes is too large for a short header", id, size);
        type->m_guard.ReleaseShared();
        return false;
    }
    NWEMessagePtr m = MakeMessage(id, type, data, size);
    m->m_frame = type->m_shortHeader ? 0 : frame;
    m->m_priority = static_cast<uint8_t>(priority);
    m->m_class = cls;
    m->m_after = after;
    if (group && cls == 0) {
        group->Join();
        m->m_group = group;
    }
    ScopedLock l(m_lock);
    m->m_key = m_keyCounter;
    m_keyCounter = m_keyCounter >= kMaxMessageKey ? 1 : m_keyCounter + 1;
    uint32_t room = packetSize > 64 ? packetSize - 64 : 1;
    m->m_accounted = type->m_shortHeader ? size + kShortHeaderOverhead
                                         : size + kLongHeaderOverhead + kPartOverhead * (size / room + 1);
    m_pending += m->m_accounted;
    NWEQueue* q = SendQueueFor(cls);
    q->Put(m);
    if (immediacy == 0 && m_state != kStateNew) {
        if (PackAndSend(m, cls == 0)) {
            q->Remove(m.get());
            PackRepliesInto(Slot(cls == 0));
            SendSlot(cls == 0, true);
        }
    }
    return true;
}

bool NWEPeer::SendById(uint16_t id, const void* header, uint32_t headerSize, CVFSFile* file, uint32_t offset,
                       uint32_t length, NWEList* group, uint16_t priority, uint16_t immediacy,
                       uint16_t frame) {
    NWEMessageType* type = LookUp(id);
    if (!type) {
        m_engine->Report("An attempt was made to send an unregistered message ID: %d", id);
        return false;
    }
    uint16_t cls = type->m_class;
    type->m_guard.ReleaseShared();
    if (static_cast<uint64_t>(headerSize) + length > 0xFFFFFFFFull || !file || !file->IsOpen()) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(headerSize) + length);
    if (headerSize) std::memcpy(bytes.data(), header, headerSize);
    if (length && file->ReadAt(offset, bytes.data() + headerSize, length) != length) {
        m_engine->Report("Message %d: the file could not be read (%u bytes at %u)", id, length, offset);
        return false;
    }
    return SendMessage(id, bytes.data(), static_cast<uint32_t>(bytes.size()), group, priority, immediacy, cls,
                       frame);
}

bool NWEPeer::FlushMessage(uint32_t key) {
    ScopedLock l(m_lock);
    for (NWEQueue* q : {&m_class0, &m_class1, &m_class2}) {
        std::vector<NWEMessagePtr> all;
        while (NWEMessagePtr m = q->Take()) all.push_back(m);
        bool found = false;
        for (auto& m : all) {
            if (!found && m->m_key == key && !m->m_started && !m->m_packedAll) {
                found = true;
                m_pending -= std::min(m_pending, m->m_accounted);
                FinishSent(m, false);
                continue;
            }
            q->Put(m);
        }
        if (found) return true;
    }
    return false;
}

bool NWEPeer::SendLocal(uint16_t id, const void* data, uint32_t size, uint16_t frame) {
    NWEPeer* partner = m_partner;
    if (!partner || !partner->m_guard.TryShared()) return true;
    NWEMessageType* type = partner->LookUp(id);
    if (!type) {
        partner->m_guard.ReleaseShared();
        m_engine->Report("An attempt was made to send an unregistered message DataType: %d", id);
        return false;
    }
    NWEMessagePtr m = partner->MakeMessage(id, type, data, size);
    m->m_frame = frame;
    m->m_acknowledged = true;
    bool filed = false;
    if (type->m_frameTable && frame != 0 && !type->m_frameTable->IsAnnouncing()) {
        if (NWEFrame* f = type->m_frameTable->GetShared(frame)) {
            filed = f->File(m, type->m_frameFlags);
            type->m_frameTable->Release(f);
        }
    }
    if (type->m_event) type->m_event->Set();
    if (type->m_queue)
        type->m_queue->Put(m);
    else if (!filed)
        NWE_Deliver(m);
    partner->m_guard.ReleaseShared();
    return true;
}

bool NWEPeer::SendRaw(const SNetAddress& to, uint16_t id, const void* data, uint32_t size) {
    NWEMessageType* type = LookUp(id);
    if (!type) {
        m_engine->Report("An attempt was made to send an unregistered message DataType: %d", id);
        return false;
    }
    NWEMessagePtr m = MakeMessage(id, type, data, size);
    ScopedLock l(m_lock);
    m->m_key = m_keyCounter;
    m_keyCounter = m_keyCounter >= kMaxMessageKey ? 1 : m_keyCounter + 1;
    SPacketRecord* r = m_engine->GetRecordPool().Acquire();
    r->Reset();
    r->raw = true;
    r->rawTo = to;
    if (PackInto(r, m.get()) != EPack::Done) {
        ReleaseRecord(r);
        m_engine->Report("Message %d of %u bytes does not fit one packet", id, size);
        return false;
    }
    if (m_socket->SendData(this, r, true, true, &to)) {
        ReleaseRecord(r);
        return true;
    }
    m_raw.push_back(r);
    return true;
}

SPacketRecord* NWEPeer::Slot(bool acknowledged) {
    SPacketRecord*& s = acknowledged ? m_ackSlot : m_unackSlot;
    if (!s) {
        s = m_engine->GetRecordPool().Acquire();
        s->Reset();
        s->receiptWanted = acknowledged;
    }
    return s;
}

NWEPeer::EPack NWEPeer::PackInto(SPacketRecord* rec, NWEMessage* m) {
    if (NWEMessagePtr after = m->m_after.lock())
        if (!after->m_packedAll) return EPack::Wait;
    if (rec->count >= kMaxMessagesPerPacket) return EPack::Full;
    const size_t limit = m_packetSize;  // a record's length stays below this
    const uint32_t size = m->GetSize();
    if (m->m_type->m_shortHeader) {
        size_t need = NWE_ShortMessageSize(size);
        if (rec->length + need >= limit) return EPack::Full;
        rec->length += NWE_WriteShortMessage(rec->buffer + rec->length, limit - rec->length, m->m_id,
                                             m->GetData(), static_cast<uint16_t>(size));
        ++rec->count;
        m->m_packedAll = true;
        return EPack::Done;
    }
    bool hasFrame = m->m_frame != 0;
    while (!m->m_packedAll) {
        if (rec->count >= kMaxMessagesPerPacket) return EPack::Full;
        uint32_t remaining = size - m->m_packed;
        size_t hdr =
            m->m_started ? NWE_ContinuationHeaderSize(m->m_packed) : NWE_FirstPartHeaderSize(hasFrame, size);
        size_t start = m->m_started ? kPartOverhead : kLongHeaderOverhead;
        if (rec->length + start >= limit) return EPack::Full;
        size_t room = limit - 1 - rec->length;
        if (room < hdr + 4) return EPack::Full;
        size_t avail = std::min<size_t>(room - hdr - 4, 0x3FFF);
        if (avail == 0 && remaining > 0) return EPack::Full;
        uint32_t len = static_cast<uint32_t>(std::min<size_t>(avail, remaining));
        bool last = len == remaining;
        uint32_t parts = m->m_partsPacked + 1;
        size_t n = m->m_started
                       ? NWE_WriteContinuation(rec->buffer + rec->length, room, m->m_key, m->m_packed,
                                               m->GetData() + m->m_packed, len, last, parts)
                       : NWE_WriteFirstPart(rec->buffer + rec->length, room, m->m_id, m->m_key, hasFrame,
                                            m->m_frame, size, m->GetData(), len, last, parts);
        if (n == 0) return EPack::Full;
        rec->length += n;
        ++rec->count;
        m->m_packed += len;
        m->m_partsPacked = parts;
        m->m_started = true;
        m->m_packedAll = last;
    }
    return EPack::Done;
}

// Packs the whole message, sending every record it fills. True when all of it
// is packed (the last part may still sit in the open record).
bool NWEPeer::PackAndSend(const NWEMessagePtr& m, bool acknowledged) {
    for (;;) {
        SPacketRecord* rec = Slot(acknowledged);
        size_t before = rec->count;
        EPack r = PackInto(rec, m.get());
        if (m->m_class == 0 && rec->count != before &&
            (rec->messages.empty() || rec->messages.back().get() != m.get())) {
            rec->messages.push_back(m);
            ++m->m_recordsOut;
        }
        if (r == EPack::Wait) return false;
        if (r == EPack::Done) {
            m_pending -= std::min(m_pending, m->m_accounted);
            if (m->m_class != 0) FinishSent(m, false);
            return true;
        }
        if (rec->count == 0) {
            // Not even an empty packet holds it (the packet size shrank under it).
            m_engine->Report("Message %d of %u bytes dropped: it cannot fit a packet", m->m_id, m->GetSize());
            m_pending -= std::min(m_pending, m->m_accounted);
            FinishSent(m, false);
            return true;
        }
        if (!SendSlot(acknowledged, true)) return false;
    }
}

// Receipts and loss hints waiting to go ride along in a packet that leaves
// now, instead of taking a datagram of their own.
void NWEPeer::PackRepliesInto(SPacketRecord* rec) {
    while (NWEMessagePtr m = m_replies.Front()) {
        if (PackInto(rec, m.get()) != EPack::Done) return;
        m_replies.Remove(m.get());
        m_pending -= std::min(m_pending, m->m_accounted);
    }
}

bool NWEPeer::PackQueue(NWEQueue* q) {
    while (NWEMessagePtr m = q->Front()) {
        if (!PackAndSend(m, m->m_class == 0)) return false;
        q->Remove(m.get());
    }
    return true;
}

bool NWEPeer::SendSlot(bool acknowledged, bool force) {
    SPacketRecord*& s = acknowledged ? m_ackSlot : m_unackSlot;
    if (!s || s->count == 0) return true;
    SPacketRecord* rec = s;
    bool sequenced = m_state == kStateRemote && m_reliable;
    rec->receiptWanted = acknowledged && sequenced;
    if (!m_socket->SendData(this, rec, force, !sequenced, nullptr)) return false;
    s = nullptr;
    if (!rec->receiptWanted) {
        // Nobody will confirm these: the messages are sent, but not delivered.
        for (auto& m : rec->messages)
            if (--m->m_recordsOut == 0 && m->m_packedAll) FinishSent(m, false);
        rec->messages.clear();
        ReleaseRecord(rec);
    }
    return true;
}

void NWEPeer::FinishSent(const NWEMessagePtr& m, bool delivered) {
    if (delivered) ++m_messagesAcked;
    if (m->m_group) {
        m->m_group->Leave(delivered);
        m->m_group = nullptr;
    }
}

void NWEPeer::ReleaseRecord(SPacketRecord* r) {
    r->messages.clear();
    m_engine->GetRecordPool().Release(r);
}

void NWEPeer::FailRecord(SPacketRecord* r) {
    for (auto& m : r->messages)
        if (--m->m_recordsOut == 0) FinishSent(m, false);
    ReleaseRecord(r);
}

void NWEPeer::Acknowledge(uint32_t sequence) {
    auto it = m_unacked.find(sequence);
    if (it == m_unacked.end()) return;  // already receipted or given up
    SPacketRecord* r = it->second;
    m_unacked.erase(it);
    int64_t now = m_engine->GetClock().Now();
    // Only a packet sent once gives a clean round trip.
    if (r->tries == kInitialTries && r->firstSent)
        TakeRttSample(m_engine->GetClock().Seconds(now - r->firstSent));
    for (auto& m : r->messages)
        if (--m->m_recordsOut == 0 && m->m_packedAll) FinishSent(m, true);
    ReleaseRecord(r);
}

void NWEPeer::TakeRttSample(double s) {
    if (!m_haveRtt) {
        m_srtt = s;
        m_rttvar = s / 2;
        m_haveRtt = true;
        return;
    }
    m_rttvar = 0.75 * m_rttvar + 0.25 * std::fabs(m_srtt - s);
    m_srtt = 0.875 * m_srtt + 0.125 * s;
}

// The resend time-out follows the measured round trip; the configured resend
// interval (3.0 s by default) is only its upper bound.
int64_t NWEPeer::CurrentTimeout() {
    double t = m_haveRtt ? m_srtt + 4 * m_rttvar : 0.25;
    t = std::max<double>(t, kMinResendTimeout);
    t = std::min<double>(t, m_resendInterval);
    return m_engine->GetClock().Ticks(static_cast<float>(t));
}

void NWEPeer::OnLossHint(uint32_t sequence) {
    auto it = m_unacked.find(sequence);
    if (it == m_unacked.end()) return;
    SPacketRecord* r = it->second;
    int64_t now = m_engine->GetClock().Now();
    // At most one hinted resend per round trip, and never below zero tries.
    int64_t rtt = m_haveRtt ? m_engine->GetClock().Ticks(static_cast<float>(m_srtt)) : 0;
    if (r->tries == 0 || now - r->lastSent < rtt) return;
    --r->tries;
    m_engine->CountResend();
    m_engine->Report("Packet Lost hint received %d", static_cast<int>(sequence));
    m_socket->SendData(this, r, true, false, nullptr);
}

void NWEPeer::RefillBudget(int64_t now) {
    m_budget =
        NWE_RefillBudget(m_budget, m_engine->GetClock().Seconds(now - m_lastRefill), m_grantedRate, m_burst);
    m_lastRefill = now;
}

void NWEPeer::ResendDue(int64_t now) {
    std::vector<SPacketRecord*> due;
    for (auto& e : m_unacked)
        if (now >= e.second->resendTime) due.push_back(e.second);
    int64_t cap = m_engine->GetClock().Ticks(m_resendInterval);
    for (SPacketRecord* r : due) {
        if (r->tries == 0) {
            GiveUp();
            return;
        }
        r->timeout = std::min(cap, std::max<int64_t>(r->timeout * 2, 1));
        r->resendTime = now + r->timeout;
        if (static_cast<float>(r->length) > m_budget) continue;
        --r->tries;
        m_engine->CountResend();
        m_socket->SendData(this, r, true, false, nullptr);
    }
}

// A reliable packet ran out of tries: its messages did not arrive, and the
// link is treated as dead, exactly as if the peer had fallen silent.
void NWEPeer::GiveUp() {
    m_engine->Report("Failed to send a very important network message.... deleteing data");
    for (auto& e : m_unacked) FailRecord(e.second);
    m_unacked.clear();
    std::vector<NWEMessagePtr> deliver;
    NotifyTimeout(&deliver);
    for (auto& m : deliver) NWE_Deliver(m);
}

void NWEPeer::NotifyTimeout(std::vector<NWEMessagePtr>* deliver) {
    if (m_timeoutNoticed) return;
    m_timeoutNoticed = true;
    NWEMessageType* t = m_application ? m_application->Get(NWE_TIMEOUT_NOTIFICATION) : nullptr;
    if (!t) {
        m_markedForRemoval.store(true);
        return;
    }
    uint8_t nothing[4] = {0, 0, 0, 0};
    NWEMessagePtr m = MakeMessage(NWE_TIMEOUT_NOTIFICATION, t, nothing, 4);
    if (t->m_queue) {
        t->m_queue->Put(m);
        if (t->m_event) t->m_event->Set();
    } else {
        deliver->push_back(m);
    }
}

void NWEPeer::Update(bool fromTickThread) {
    std::vector<NWEMessagePtr> deliver;
    bool keepAlive = false;
    {
        ScopedLock l(m_lock);
        int64_t now = m_engine->GetClock().Now();
        RefillBudget(now);
        for (auto it = m_raw.begin(); it != m_raw.end();) {
            if (m_socket->SendData(this, *it, true, true, &(*it)->rawTo)) {
                ReleaseRecord(*it);
                it = m_raw.erase(it);
            } else {
                ++it;
            }
        }
        if (m_state != kStateNew && m_state != kStateLocal) {
            if (PackQueue(&m_replies) && PackQueue(&m_class1) && PackQueue(&m_class0)) PackQueue(&m_class2);
            bool force = m_pending < 64;
            SendSlot(true, force);
            SendSlot(false, force);
        }
        if (fromTickThread == (m_engine->GetOptionA() != 0)) {
            ExpirePartials(now);
            if (m_state == kStateRemote) ResendDue(now);
            // A peer that never had a remote has no silence to notice.
            if (m_timeoutCheck && m_state == kStateRemote && now >= m_deadline) NotifyTimeout(&deliver);
        }
        if (m_keepAlive && m_state == kStateRemote && now > m_keepAliveDue) {
            m_keepAliveDue = now + m_engine->GetClock().Ticks(m_keepAliveInterval);
            keepAlive = true;
        }
    }
    if (keepAlive) SendByDataType(NS_NOTIFYTYPE_KEEP_ALIVE, nullptr, 0);
    for (auto& m : deliver) NWE_Deliver(m);
}

void NWEPeer::Flush() {
    ScopedLock l(m_lock);
    if (m_state != kStateRemote) return;
    RefillBudget(m_engine->GetClock().Now());
    if (PackQueue(&m_replies) && PackQueue(&m_class1) && PackQueue(&m_class0)) PackQueue(&m_class2);
    PackRepliesInto(Slot(true));
    SendSlot(true, true);
    SendSlot(false, true);
}

void NWEPeer::FlushReplies() {
    ScopedLock l(m_lock);
    if (m_replies.GetCount() == 0 || m_state != kStateRemote) return;
    PackQueue(&m_replies);
    SendSlot(false, true);
}

void NWEPeer::QueueReply(uint16_t id, uint32_t value) {
    NWEMessageType* t = m_system->Get(id);
    if (!t) return;
    uint8_t p[4];
    NWE_Put32(p, value);
    NWEMessagePtr m = MakeMessage(id, t, p, 4);
    m->m_priority = t->m_priority;
    m->m_class = 1;
    m->m_key = m_keyCounter;
    m_keyCounter = m_keyCounter >= kMaxMessageKey ? 1 : m_keyCounter + 1;
    m->m_accounted = 4 + kShortHeaderOverhead;
    m_pending += m->m_accounted;
    m_replies.Put(m);
}
