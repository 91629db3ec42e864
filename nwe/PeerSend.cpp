// Sending: queues, packing, the window of unacknowledged packets, resends,
// keep-alive and time-out.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/VFSFile.h"
#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
#include "nwe/MessageTypes.h"
#include "nwe/Peer.h"
#include "nwe/Socket.h"

using ScopedLock = CSysScopedLock<CSysCriticalSection>;

void NWEPeer::SSendQueue::Put(NWEMessage* m) {
    NWE_PutByPriority(levels, m);
    m->m_inQueue = true;
    ++count;
}

NWEMessage* NWEPeer::MakeSent(uint16_t id, NWEMessageType* type, const void* data, uint32_t size) {
    NWEMessage* m = NWE_NewSentMessage();
    m->m_id = id;
    m->m_type = type;
    m->m_typeShared = false;
    m->m_peer = this;
    m->SetPayload(data, size);
    return m;
}

// A sent message goes once no queue and no record waiting for a receipt holds
// it; one that was not delivered by then has failed.
void NWEPeer::Settle(NWEMessage* m) {
    if (m->m_inQueue || m->m_recordsOut > 0) return;
    if (!m->m_finished) FinishSent(m, false);
    NWE_FreeSentMessage(m);
}

NWEPeer::SSendQueue& NWEPeer::SendQueueFor(uint16_t cls) {
    if (cls == 0) return m_class0;
    if (cls == 1) return m_class1;
    return m_class2;
}

bool NWEPeer::SendByDataType(uint16_t id, const void* data, uint32_t size, uint16_t frame) {
    return SendMessage(id, data, size, nullptr, 65535, 65535, 65535, frame);
}

bool NWEPeer::SendMessage(uint16_t id, const void* data, uint32_t size, NWEList* group, uint16_t priority,
                          uint16_t immediacy, uint16_t cls, uint16_t frame, NWEList* after) {
    if (m_state == kStateLocal) return SendLocal(id, data, size, group, cls, frame);
    NWEMessageType* type = PeekType(id);
    if (!type) {
        m_engine->Report("An attempt was made to send an unregistered message DataType: %d", id);
        return false;
    }
    if (size > m_engine->GetMaxMessageSize()) {
        m_engine->Report("Message %d of %u bytes is larger than the largest message (%u bytes)", id, size,
                         m_engine->GetMaxMessageSize());
        return false;
    }
    if (cls == 65535) cls = type->m_class;
    if (priority == 65535 || priority > 11) priority = type->m_priority;
    if (immediacy == 65535) immediacy = type->m_delay;
    bool shortHeader = type->m_shortHeader != 0;
    // The copy is made before the lock: the caller's buffer is free on return.
    NWEMessage* m = MakeSent(id, type, data, size);
    m->m_frame = shortHeader ? 0 : frame;
    m->m_priority = static_cast<uint8_t>(priority);
    m->m_class = cls;
    std::vector<NWEMessagePtr> deliver;
    bool sent = false;
    {
        ScopedLock l(m_lock);
        // A short-header message is never split: one that cannot fit a packet
        // would block the peer's queue for good, so it is refused here.
        if (shortHeader &&
            (size > 0xFFFF || size + kPacketHeaderReserve + kShortHeaderOverhead >= m_packetSize)) {
            m_engine->Report("Message %d of %u bytes is too large for a short header", id, size);
            NWE_FreeSentMessage(m);
            return false;
        }
        uint32_t room = m_packetSize > 64 ? m_packetSize - 64 : 1;
        m->m_accounted = shortHeader ? size + kShortHeaderOverhead
                                     : size + kLongHeaderOverhead + kPartOverhead * (size / room + 1);
        // What the message holds while it waits to be sent and confirmed: its
        // record and a payload that does not fit inside it.
        uint32_t held = static_cast<uint32_t>(sizeof(NWEMessage)) + kMessageBookkeeping +
                        (size > NWEMessage::kInlinePayload ? size : 0);
        if (static_cast<uint64_t>(m_heldBytes) + held > m_queueLimit) {
            m_engine->Report(
                "Peer %s: %llu bytes wait to be sent or confirmed, over the limit of %u; the link is "
                "given up",
                m_name.GetText(), static_cast<unsigned long long>(m_heldBytes) + held, m_queueLimit);
            FailLink(&deliver);
            NWE_FreeSentMessage(m);
        } else {
            m->m_held = held;
            m_heldBytes += held;
            // After first: a message in the group it waits on waits only for earlier members.
            if (after) NWE_SetAfter(m, after, &m_groupCache);
            if (group && cls == 0) NWE_JoinGroup(m, group, &m_groupCache);
            m->m_key = m_keyCounter;
            m_keyCounter = m_keyCounter >= kMaxMessageKey ? 1 : m_keyCounter + 1;
            m_pending += m->m_accounted;
            sent = true;
            bool packed = false;
            if (immediacy == 0 && m_state != kStateNew && !NWE_MustWait(m)) {
                packed = PackAndSend(m, cls == 0);
                if (packed) {
                    // Settled first: sending the record may settle it too.
                    Settle(m);
                    SendSlot(cls == 0, true);
                }
            }
            if (!packed) SendQueueFor(cls).Put(m);
        }
    }
    for (auto& d : deliver) NWE_Deliver(d);
    return sent;
}

bool NWEPeer::SendById(uint16_t id, const void* header, uint32_t headerSize, CVFSFile* file, uint32_t offset,
                       uint32_t length, NWEList* group, uint16_t priority, uint16_t immediacy, uint16_t frame,
                       NWEList* after) {
    NWEMessageType* type = PeekType(id);
    if (!type) {
        m_engine->Report("An attempt was made to send an unregistered message ID: %d", id);
        return false;
    }
    uint16_t cls = type->m_class;
    uint64_t total = static_cast<uint64_t>(headerSize) + length;
    if (total > m_engine->GetMaxMessageSize()) {
        m_engine->Report("Message %d of %llu bytes is larger than the largest message (%u bytes)", id,
                         static_cast<unsigned long long>(total), m_engine->GetMaxMessageSize());
        return false;
    }
    if (!file || !file->IsOpen()) return false;
    std::vector<uint8_t> bytes(static_cast<size_t>(total));
    if (headerSize) std::memcpy(bytes.data(), header, headerSize);
    if (length && file->ReadAt(offset, bytes.data() + headerSize, length) != length) {
        m_engine->Report("Message %d: the file could not be read (%u bytes at %u)", id, length, offset);
        return false;
    }
    return SendMessage(id, bytes.data(), static_cast<uint32_t>(bytes.size()), group, priority, immediacy, cls,
                       frame, after);
}

bool NWEPeer::FlushMessage(uint32_t key) {
    ScopedLock l(m_lock);
    for (SSendQueue* q : {&m_class0, &m_class1, &m_class2}) {
        for (auto& level : q->levels) {
            for (auto it = level.begin(); it != level.end(); ++it) {
                NWEMessage* m = *it;
                if (m->m_key != key || m->m_started || m->m_packedAll) continue;
                level.erase(it);
                --q->count;
                m->m_inQueue = false;
                m_pending -= std::min(m_pending, m->m_accounted);
                Settle(m);
                return true;
            }
        }
    }
    return false;
}

// The host's own link: the message is made on the partner at once, complete,
// filed into its frame and queued for delivery, as if it had arrived.
bool NWEPeer::SendLocal(uint16_t id, const void* data, uint32_t size, NWEList* group, uint16_t cls,
                        uint16_t frame) {
    NWEObject* target = nullptr;
    {
        ScopedLock l(m_lock);
        if (m_partnerLink) target = m_partnerLink->TakeTarget();
    }
    NWEPeer* partner = static_cast<NWEPeer*>(target);
    if (!partner) return true;  // the partner is gone: nothing to deliver to
    NWEMessageType* type = partner->LookUp(id);
    if (!type) {
        partner->Release();
        m_engine->Report("An attempt was made to send an unregistered message DataType: %d", id);
        return false;
    }
    NWEMessagePtr m = partner->MakeMessage(id, type, data, size);
    m->m_frame = frame;
    m->m_acknowledged = true;
    // Filed into its frame on either side: the host's own client executes the
    // frames of the announcing table it shares with the server.
    bool filed = false;
    if (type->m_frameTable && frame != 0) {
        if (NWEFrame* f = type->m_frameTable->GetShared(frame)) {
            filed = f->File(m, type->m_frameFlags);
            type->m_frameTable->Release(f);
        }
    }
    // Delivery in the same process is certain: a reliable message counts as delivered.
    if (group && (cls == 65535 ? type->m_class : cls) == 0) {
        SGroupCache cache;
        NWE_JoinGroup(m.get(), group, &cache);
        NWE_LeaveGroup(m.get(), true);
    }
    if (type->m_event) type->m_event->Set();
    if (type->m_queue)
        type->m_queue->Put(m);
    else if (!filed)
        NWE_Deliver(m);
    partner->Release();
    return true;
}

bool NWEPeer::SendRaw(const SNetAddress& to, uint16_t id, const void* data, uint32_t size) {
    NWEMessageType* type = PeekType(id);
    if (!type) {
        m_engine->Report("An attempt was made to send an unregistered message DataType: %d", id);
        return false;
    }
    std::unique_ptr<NWEMessage, void (*)(NWEMessage*)> m(MakeSent(id, type, data, size), NWE_FreeSentMessage);
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

// --- packing ------------------------------------------------------------------

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
// is packed (the last part may still sit in the open record); false when a
// full record could not go (budget or window), the rest waiting in its queue.
bool NWEPeer::PackAndSend(NWEMessage* m, bool acknowledged) {
    for (;;) {
        SPacketRecord* rec = Slot(acknowledged);
        size_t before = rec->count;
        EPack r = PackInto(rec, m);
        if (m->m_class == 0 && rec->count != before && (rec->messages.empty() || rec->messages.back() != m)) {
            rec->messages.push_back(m);
            ++m->m_recordsOut;
        }
        if (r == EPack::Done) {
            m_pending -= std::min(m_pending, m->m_accounted);
            NWE_MarkPacked(m);
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

// Receipts and loss hints owed ride along in a packet that leaves now,
// instead of taking a datagram of their own.
void NWEPeer::PackRepliesInto(SPacketRecord* rec) {
    const size_t need = NWE_ShortMessageSize(4);
    for (std::vector<uint32_t>* due : {&m_receiptsDue, &m_hintsDue}) {
        uint16_t id = due == &m_receiptsDue ? NS_NOTIFYTYPE_RECEIPT : NS_NOTIFYTYPE_PACKETLOSTHINT;
        while (!due->empty() && rec->length + need < m_packetSize && rec->count < kMaxMessagesPerPacket) {
            uint8_t p[4];
            NWE_Put32(p, due->back());
            rec->length += NWE_WriteShortMessage(rec->buffer + rec->length, need, id, p, 4);
            ++rec->count;
            due->pop_back();
        }
    }
}

// Queue by queue: replies, class 1, class 0, class 2. A message waiting for
// earlier members of its group is passed over; a queue that cannot go on for
// lack of budget or window stops the rest.
NWEPeer::EQueueState NWEPeer::PackQueue(SSendQueue& q) {
    for (auto& level : q.levels) {
        for (auto it = level.begin(); it != level.end();) {
            NWEMessage* m = *it;
            if (NWE_MustWait(m)) {
                ++it;
                continue;
            }
            if (!PackAndSend(m, m->m_class == 0)) return EQueueState::Blocked;
            if (it == level.begin()) {
                level.pop_front();
                it = level.begin();
            } else {
                it = level.erase(it);
            }
            --q.count;
            m->m_inQueue = false;
            Settle(m);
        }
    }
    return q.count == 0 ? EQueueState::Empty : EQueueState::Waiting;
}

void NWEPeer::PackQueues() {
    while (HasRepliesDue()) {
        PackRepliesInto(Slot(false));
        if (!HasRepliesDue() || !SendSlot(false, true)) break;
    }
    // A message passed over because it waits for an earlier one gets another
    // pass once that one has been packed (it may sit in a later queue).
    for (int pass = 0; pass < 4; ++pass) {
        size_t before = m_class0.count + m_class1.count + m_class2.count;
        bool waiting = false;
        for (SSendQueue* q : {&m_class1, &m_class0, &m_class2}) {
            EQueueState st = PackQueue(*q);
            if (st == EQueueState::Blocked) return;
            waiting = waiting || st == EQueueState::Waiting;
        }
        if (!waiting || m_class0.count + m_class1.count + m_class2.count == before) return;
    }
}

bool NWEPeer::SendSlot(bool acknowledged, bool force) {
    SPacketRecord*& s = acknowledged ? m_ackSlot : m_unackSlot;
    if (!s || s->count == 0) return true;
    SPacketRecord* rec = s;
    bool sequenced = m_state == kStateRemote && m_reliable;
    rec->receiptWanted = acknowledged && sequenced;
    // A full window waits for receipts; they send what waits (PeerReceive.cpp).
    if (rec->receiptWanted && m_unackedBytes >= m_sendWindow) {
        m_windowBlocked = true;
        return false;
    }
    PackRepliesInto(rec);
    if (!m_socket->SendData(this, rec, force, !sequenced, nullptr)) return false;
    s = nullptr;
    if (rec->receiptWanted) {
        m_unacked[rec->sequence] = rec;
        m_unackedBytes += static_cast<uint32_t>(rec->length);
        OnRecordSent(rec, m_engine->GetClock().Now());
        return true;
    }
    // Nobody will confirm these: the messages are sent, but not delivered.
    for (NWEMessage* m : rec->messages) {
        if (--m->m_recordsOut == 0 && m->m_packedAll) FinishSent(m, false);
        Settle(m);
    }
    ReleaseRecord(rec);
    return true;
}

void NWEPeer::OnRecordSent(SPacketRecord* r, int64_t now) {
    if (r->firstSent == 0) r->firstSent = now;
    r->lastSent = now;
    if (r->timeout == 0) r->timeout = CurrentTimeout();
    r->resendTime = now + r->timeout;
    m_engine->ScheduleWake(r->resendTime);
}

void NWEPeer::FinishSent(NWEMessage* m, bool delivered, SLeaveBatch* batch) {
    if (m->m_finished) return;
    m->m_finished = true;
    m_heldBytes -= std::min<uint64_t>(m_heldBytes, m->m_held);
    m->m_held = 0;
    if (delivered) ++m_messagesAcked;
    NWE_LeaveGroup(m, delivered, batch);
}

void NWEPeer::ReleaseRecord(SPacketRecord* r) {
    r->messages.clear();
    m_engine->GetRecordPool().Release(r);
}

void NWEPeer::FailRecord(SPacketRecord* r) {
    for (NWEMessage* m : r->messages) {
        if (--m->m_recordsOut == 0) FinishSent(m, false);
        Settle(m);
    }
    ReleaseRecord(r);
}

// --- receipts, resends, the link's end -----------------------------------------

void NWEPeer::Acknowledge(uint32_t sequence) {
    auto it = m_unacked.find(sequence);
    if (it == m_unacked.end()) return;  // already receipted or given up
    SPacketRecord* r = it->second;
    m_unacked.erase(it);
    m_unackedBytes -= std::min(m_unackedBytes, static_cast<uint32_t>(r->length));
    m_established.store(true);
    // Only a packet sent once gives a clean round trip.
    if (r->tries == kInitialTries && r->firstSent)
        TakeRttSample(m_engine->GetClock().Seconds(m_engine->GetClock().Now() - r->firstSent));
    SLeaveBatch batch;  // the messages of a packet mostly share one group
    for (NWEMessage* m : r->messages) {
        if (--m->m_recordsOut == 0 && m->m_packedAll) FinishSent(m, true, &batch);
        Settle(m);
    }
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
    if (m_socket->SendData(this, r, true, false, nullptr)) r->lastSent = now;
}

void NWEPeer::RefillBudget(int64_t now) {
    m_budget =
        NWE_RefillBudget(m_budget, m_engine->GetClock().Seconds(now - m_lastRefill), m_grantedRate, m_burst);
    m_lastRefill = now;
}

void NWEPeer::ResendDue(int64_t now, std::vector<NWEMessagePtr>* deliver) {
    std::vector<SPacketRecord*> due;
    int64_t oldest = 0;
    for (auto& e : m_unacked) {
        if (now >= e.second->resendTime) due.push_back(e.second);
        if (oldest == 0 || e.second->firstSent < oldest) oldest = e.second->firstSent;
    }
    // A remote that goes on talking but confirms nothing for as long as a
    // silent one may stay is not receiving us.
    if (m_timeoutCheck && oldest != 0 && now - oldest >= m_engine->GetClock().Ticks(m_timeout)) {
        m_engine->Report("Peer %s: nothing confirmed for %.1f s; the link is given up", m_name.GetText(),
                         m_engine->GetClock().Seconds(now - oldest));
        FailLink(deliver);
        return;
    }
    int64_t cap = m_engine->GetClock().Ticks(m_resendInterval);
    for (SPacketRecord* r : due) {
        if (r->tries == 0) {
            m_engine->Report("Failed to send a very important network message.... deleteing data");
            FailLink(deliver);
            return;
        }
        r->timeout = std::min(cap, std::max<int64_t>(r->timeout * 2, 1));
        r->resendTime = now + r->timeout;
        if (static_cast<float>(r->length) > m_budget) continue;
        --r->tries;
        m_engine->CountResend();
        if (m_socket->SendData(this, r, true, false, nullptr)) r->lastSent = now;
        m_engine->ScheduleWake(r->resendTime);
    }
}

void NWEPeer::DropQueued() {
    for (SSendQueue* q : {&m_class0, &m_class1, &m_class2}) {
        for (auto& level : q->levels) {
            for (NWEMessage* m : level) {
                m->m_inQueue = false;
                Settle(m);
            }
            level.clear();
        }
        q->count = 0;
    }
    m_pending = 0;
}

// The link is dead: nothing it still holds will be confirmed, so every
// message of it fails (its groups learn so) and its memory goes at once; the
// peer then times out exactly as a silent one does.
void NWEPeer::FailLink(std::vector<NWEMessagePtr>* deliver) {
    for (auto& e : m_unacked) FailRecord(e.second);
    m_unacked.clear();
    m_unackedBytes = 0;
    m_windowBlocked = false;
    if (m_ackSlot) FailRecord(m_ackSlot);
    if (m_unackSlot) FailRecord(m_unackSlot);
    m_ackSlot = m_unackSlot = nullptr;
    DropQueued();
    NotifyTimeout(deliver);
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

// --- periodic work ----------------------------------------------------------------

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
            PackQueues();
            bool force = m_pending < 64;
            SendSlot(true, force);
            SendSlot(false, force);
        }
        if (fromTickThread == (m_engine->GetTickThreadMode() != 0)) {
            ExpirePartials(now);
            if (m_state == kStateRemote) ResendDue(now, &deliver);
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
    PackQueues();
    SendSlot(true, true);
    SendSlot(false, true);
}

void NWEPeer::FlushReplies() {
    ScopedLock l(m_lock);
    if (m_state != kStateRemote) return;
    while (HasRepliesDue()) {
        PackRepliesInto(Slot(false));
        if (!SendSlot(false, true)) break;
    }
}
