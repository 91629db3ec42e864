// Receiving, in its steps: the datagram read whole (header, CRC, message
// headers), its parts checked against the frames, the unfinished messages
// they belong to and the memory they may take, its sequence number against
// the duplicates and gaps, the parts joined into messages, and the complete
// messages delivered. Nothing is recorded, acknowledged or delivered before
// every check has passed.
#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
#include "nwe/MessageTypes.h"
#include "nwe/Peer.h"
#include "nwe/Socket.h"

using ScopedLock = CSysScopedLock<CSysCriticalSection>;

void NWEPeer::ReceivePacket(const uint8_t* data, size_t size, const SNetAddress& from) {
    std::vector<NWEMessagePtr> complete;
    {
        ScopedLock l(m_lock);
        ++m_packetsIn;
        m_bytesIn += static_cast<float>(size);
        SDatagram& d = m_datagram;
        EDatagramError e = NWE_ReadDatagram(data, size, m_receiveSeed, m_engine->IsCrcRequired(), m_system,
                                            m_application, &d);
        if (e != EDatagramError::None) {
            NWE_ReportRefused(m_engine, e, d, from);
            return;
        }
        if (!HeaderFits(d, from)) return;
        uint64_t added = 0;
        if (!CheckParts(d, from, &added)) return;
        if (!AcceptSequence(d.header)) return;
        int64_t now = m_engine->GetClock().Now();
        m_deadline = now + m_engine->GetClock().Ticks(m_timeout);
        m_timeoutNoticed = false;
        Reassemble(d, from, now, &complete);
        if (d.IsSequenced() && d.header.receiptWanted && m_state == kStateRemote)
            m_receiptsDue.push_back(d.header.sequence);
        // Receipts that freed the window send what waited for them.
        if (m_windowBlocked && m_unackedBytes < m_sendWindow) {
            m_windowBlocked = false;
            PackQueues();
            SendSlot(true, true);
        }
        if (m_receiptsDue.size() >= kReceiptBatch) FlushReplies();
    }
    // Without the peer's lock: handlers may send on any peer.
    Deliver(complete);
}

// --- the parts against what they belong to -----------------------------------

bool NWEPeer::IsFramed(const NWEMessageType* t, bool hasFrame) const {
    return hasFrame && m_frameSync.load() && t && t->m_frameTable && !t->m_frameTable->IsAnnouncing();
}

// Whether a frame number is one a sender in step with us can name: a framed
// message, or the frame information of the application's frame table.
bool NWEPeer::IsNearFrame(uint16_t id, uint16_t frame) {
    NWEMessageType* t = id == NS_NOTIFYTYPE_FRAME_INFO
                            ? (m_application ? m_application->Get(NS_NOTIFYTYPE_FRAME_INFO) : nullptr)
                            : LookUp(id);
    if (!t) return true;
    bool near = !IsFramed(t, true) || t->m_frameTable->IsNear(frame, kFrameWindow);
    t->m_guard.ReleaseShared();
    return near;
}

bool NWEPeer::Refuse(const SNetAddress& from, const char* fmt, ...) {
    char why[128];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(why, sizeof why, fmt, ap);
    va_end(ap);
    m_engine->CountRejected();
    m_engine->Report("Packet from %s ignored: %s", Net_FormatAddress(from).c_str(), why);
    return false;
}

bool NWEPeer::CheckParts(const SDatagram& d, const SNetAddress& from, uint64_t* addedBytes) {
    // What this packet would add to each unfinished message it touches.
    struct SPending {
        uint32_t key;
        bool haveFirst;
        uint16_t id;
        uint32_t total;
        std::vector<std::pair<uint32_t, uint32_t>> spans;  // offset, length
    };
    std::vector<SPending> pending;
    const uint64_t maxSize = m_engine->GetMaxMessageSize();
    size_t newPartials = 0;
    uint64_t added = 0;
    for (const SWirePart& p : d.parts) {
        if (p.shortHeader) {
            if (p.id == NS_NOTIFYTYPE_FRAME_INFO && !IsNearFrame(p.id, NWE_Get16(p.data)))
                return Refuse(from, "frame information for frame %u", NWE_Get16(p.data));
            continue;
        }
        if (p.start && p.hasFrame && !IsNearFrame(p.id, p.frame))
            return Refuse(from, "message %u for frame %u", p.id, p.frame);
        auto known = m_partials.find(p.key);
        auto mine =
            std::find_if(pending.begin(), pending.end(), [&](const SPending& x) { return x.key == p.key; });
        // A whole message in one part needs no bookkeeping unless its key is
        // already in use by unfinished parts.
        if (p.start && p.last && known == m_partials.end() && mine == pending.end()) {
            if (p.total > maxSize) return Refuse(from, "message %u of %u bytes", p.id, p.total);
            continue;
        }
        if (mine == pending.end()) {
            SPending x{p.key, false, 0, 0, {}};
            if (known != m_partials.end()) {
                x.haveFirst = known->second.haveFirst;
                x.id = known->second.id;
                x.total = known->second.total;
            } else {
                ++newPartials;
            }
            pending.push_back(x);
            mine = pending.end() - 1;
        }
        SPending& x = *mine;
        const uint64_t a = p.offset, b = a + p.length;
        // The furthest byte held so far, here or from earlier packets.
        uint64_t held = 0;
        for (auto& s : x.spans) held = std::max<uint64_t>(held, static_cast<uint64_t>(s.first) + s.second);
        if (known != m_partials.end() && !known->second.pieces.empty()) {
            auto last = std::prev(known->second.pieces.end());
            held = std::max<uint64_t>(held, last->first + last->second.size());
        }
        bool bad = b > maxSize;
        if (p.start) {
            bad = bad || p.total > maxSize || (x.haveFirst && (x.total != p.total || x.id != p.id)) ||
                  held > p.total;
            x.haveFirst = true;
            x.id = p.id;
            x.total = p.total;
        } else {
            bad = bad || (x.haveFirst && (b > x.total || (p.last && b != x.total)));
        }
        if (bad) return Refuse(from, "inconsistent message parts (key %u)", p.key);
        // Parts never overlap: a resent packet repeats its parts exactly, and
        // an exact repeat adds nothing.
        bool repeat = false;
        auto overlaps = [&](uint64_t s, uint64_t n) {
            if (s == a && n == p.length) {
                repeat = true;
                return false;
            }
            return s < b && a < s + n;
        };
        for (auto& s : x.spans)
            if (overlaps(s.first, s.second)) return Refuse(from, "overlapping message parts (key %u)", p.key);
        if (known != m_partials.end()) {
            auto& pieces = known->second.pieces;
            auto it = pieces.upper_bound(static_cast<uint32_t>(a));
            if (it != pieces.begin()) --it;
            for (; it != pieces.end() && it->first < std::max<uint64_t>(b, a + 1); ++it)
                if (overlaps(it->first, it->second.size()))
                    return Refuse(from, "overlapping message parts (key %u)", p.key);
        }
        if (!repeat) {
            x.spans.push_back({p.offset, p.length});
            added += p.length + kPieceOverhead;
        }
    }
    if (m_partials.size() + newPartials > kMaxPartials) return Refuse(from, "too many unfinished messages");
    if (added && (m_partialBytes + added > m_engine->GetMaxPartialBytes() ||
                  m_socket->GetPartialBytes() + static_cast<int64_t>(added) > m_socket->GetPartialBudget()))
        return Refuse(from, "unfinished messages over their memory budget");
    *addedBytes = added;
    return true;
}

// --- the sequence number --------------------------------------------------------

// The CRC does not reach the header, so a header damaged on the way is caught
// by what it must agree with (its message count and size by the parse): a
// sequence number of 0 or 0x7FFFFFFF, or one far ahead of what this peer has
// seen, which would otherwise move the receive window and refuse every real
// packet after it as too old; a tries byte below its first value on a packet
// that asked for no receipt (only packets with a receipt are ever resent);
// and a receipt bit cleared on a packet that carries a reliable (class 0)
// message, whose messages would then miss their frame.
bool NWEPeer::HeaderFits(const SDatagram& d, const SNetAddress& from) {
    if (!d.IsSequenced()) return true;
    const SPacketHeader& h = d.header;
    if (h.sequence == 0 || h.sequence > kMaxSequence)
        return Refuse(from, "sequence number %u out of range", h.sequence);
    if (m_state == kStateRemote) {
        int64_t ahead = m_receiveHigh == 0 ? static_cast<int64_t>(h.sequence)
                                           : NWE_SequenceDiff(h.sequence, m_receiveHigh);
        if (ahead > static_cast<int64_t>(kSequenceAhead)) {
            // A sender that really moved on (a long outage) sends the next
            // number near this one; one damaged header does not repeat.
            bool confirmed = m_farAhead != 0 && std::llabs(NWE_SequenceDiff(h.sequence, m_farAhead)) <=
                                                    static_cast<int64_t>(kSequenceAhead);
            m_farAhead = h.sequence;
            if (!confirmed)
                return Refuse(from, "sequence number %u far ahead of the receive window", h.sequence);
        }
    }
    if (h.receiptWanted) return true;
    if (h.tries != kInitialTries) return Refuse(from, "tries %u on a packet without a receipt", h.tries);
    for (const SWirePart& p : d.parts) {
        if (p.id < NWE_SYSTEM_TYPES || !p.start) continue;
        NWEMessageType* t = LookUp(p.id);
        if (!t) continue;
        bool reliable = t->m_class == 0;
        t->m_guard.ReleaseShared();
        if (reliable) return Refuse(from, "reliable message %u in a packet without a receipt", p.id);
    }
    return true;
}

bool NWEPeer::SequenceSeen(uint32_t s, bool* tooOld) {
    *tooOld = false;
    if (m_receiveHigh == 0) return false;
    int64_t d = NWE_SequenceDiff(s, m_receiveHigh);
    if (d > 0) return false;
    // Half the bitmap, so that indices never collide across the counter's wrap.
    if (-d >= static_cast<int64_t>(kSequenceWindow / 2)) {
        *tooOld = true;
        return true;
    }
    return m_received[s % kSequenceWindow];
}

void NWEPeer::MarkSequence(uint32_t s) {
    if (m_receiveHigh == 0) {
        m_received.reset();
        m_receiveHigh = s;
    } else {
        int64_t d = NWE_SequenceDiff(s, m_receiveHigh);
        if (d >= static_cast<int64_t>(kSequenceWindow)) {
            m_received.reset();
            m_receiveHigh = s;
        } else if (d > 0) {
            uint32_t n = m_receiveHigh;
            for (int64_t i = 0; i < d; ++i) {
                n = NWE_NextSequence(n);
                m_received[n % kSequenceWindow] = false;
            }
            m_receiveHigh = s;
        }
    }
    m_received[s % kSequenceWindow] = true;
}

// A packet seen before is acknowledged again (its receipt may have been lost)
// and goes no further; a first transmission after a gap asks at once for what
// is missing, so one lost datagram costs about one round trip.
bool NWEPeer::AcceptSequence(const SPacketHeader& h) {
    bool sequenced = h.form == EPacketForm::SequencedCrc || h.form == EPacketForm::Sequenced;
    if (!sequenced || m_state != kStateRemote) return true;
    bool tooOld;
    if (SequenceSeen(h.sequence, &tooOld)) {
        if (tooOld) {
            m_engine->CountRejected();
            return false;
        }
        m_engine->CountDuplicate();
        if (h.receiptWanted) m_receiptsDue.push_back(h.sequence);
        return false;
    }
    if (h.tries == kInitialTries && m_receiveHigh != 0) {
        int64_t d = NWE_SequenceDiff(h.sequence, m_receiveHigh);
        if (d >= 2 && d <= 16) {
            uint32_t n = m_receiveHigh;
            for (int64_t i = 1; i < d; ++i) {
                n = NWE_NextSequence(n);
                if (!m_received[n % kSequenceWindow]) m_hintsDue.push_back(n);
            }
        }
    }
    MarkSequence(h.sequence);
    return true;
}

// --- reassembly -------------------------------------------------------------------

void NWEPeer::Reassemble(const SDatagram& d, const SNetAddress& from, int64_t now,
                         std::vector<NWEMessagePtr>* out) {
    const bool acknowledged = d.header.receiptWanted;
    for (const SWirePart& p : d.parts) {
        if (p.shortHeader && p.id == NS_NOTIFYTYPE_RECEIPT) {
            Acknowledge(NWE_Get32(p.data));
            continue;
        }
        if (p.shortHeader && p.id == NS_NOTIFYTYPE_PACKETLOSTHINT) {
            OnLossHint(NWE_Get32(p.data));
            continue;
        }
        if (p.shortHeader || (p.start && p.last && m_partials.find(p.key) == m_partials.end())) {
            NWEMessageType* t = LookUp(p.id);
            if (!t) continue;
            NWEMessagePtr m = MakeMessage(p.id, t, p.data, p.length);
            m->m_key = p.shortHeader ? 0 : p.key;
            m->m_frame = p.hasFrame ? p.frame : 0;
            m->m_acknowledged = acknowledged;
            m->m_source = from;
            out->push_back(m);
            continue;
        }
        AddPiece(p.key, p, acknowledged, now, from, out);
    }
}

void NWEPeer::AddPiece(uint32_t key, const SWirePart& p, bool acknowledged, int64_t now,
                       const SNetAddress& from, std::vector<NWEMessagePtr>* out) {
    auto it = m_partials.find(key);
    if (it == m_partials.end()) it = m_partials.emplace(key, SPartial()).first;
    SPartial& part = it->second;
    if (p.start && !part.haveFirst) {
        part.haveFirst = true;
        part.id = p.id;
        part.total = p.total;
        part.hasFrame = p.hasFrame;
        part.frame = p.frame;
        part.acknowledged = acknowledged;
    }
    auto same = part.pieces.find(p.offset);
    bool repeat = same != part.pieces.end() && same->second.size() == p.length;
    if (!repeat) {
        part.pieces.emplace(p.offset, std::vector<uint8_t>(p.data, p.data + p.length));
        uint64_t cost = p.length + kPieceOverhead;
        part.bytes += p.length;
        part.accounted += cost;
        m_partialBytes += cost;
        m_socket->AddPartialBytes(static_cast<int64_t>(cost));
        part.lastProgress = now;
    }
    if (part.lastProgress == 0) part.lastProgress = now;
    if (!part.haveFirst || part.bytes != part.total) return;
    // Every byte is there (parts never overlap): join them.
    NWEMessageType* t = LookUp(part.id);
    if (t) {
        NWEMessagePtr m = NWE_NewMessage();
        m->m_id = part.id;
        m->m_type = t;
        m->m_peer = this;
        m->m_peerAlive = m_alive;
        m->m_key = key;
        m->m_frame = part.hasFrame ? part.frame : 0;
        m->m_acknowledged = part.acknowledged;
        m->m_source = from;
        uint8_t* payload = m->ResizePayload(part.total);
        for (auto& piece : part.pieces)
            if (!piece.second.empty())
                std::memcpy(payload + piece.first, piece.second.data(), piece.second.size());
        out->push_back(m);
    }
    DropPartial(it);
}

void NWEPeer::DropPartial(std::map<uint32_t, SPartial>::iterator it) {
    m_partialBytes -= std::min(m_partialBytes, it->second.accounted);
    m_socket->AddPartialBytes(-static_cast<int64_t>(it->second.accounted));
    m_partials.erase(it);
}

// An unfinished message lives while its parts keep coming: it expires the
// duplicate-filter time (17 s) after its last new part, however large it is.
void NWEPeer::ExpirePartials(int64_t now) {
    int64_t life = m_engine->GetClock().Ticks(m_duplicateFilter);
    for (auto it = m_partials.begin(); it != m_partials.end();) {
        auto next = std::next(it);
        if (now - it->second.lastProgress > life) DropPartial(it);
        it = next;
    }
}

// --- delivery ------------------------------------------------------------------------

void NWEPeer::Deliver(const std::vector<NWEMessagePtr>& complete) {
    for (const NWEMessagePtr& m : complete) {
        NWEMessageType* t = m->m_type;
        if (m->m_acknowledged && IsFramed(t, m->m_frame != 0)) {
            NWEFrameTable* table = t->m_frameTable;
            if (table->Ahead(m->m_frame) >= kFrameWindow) {
                m_engine->Report("Message %d for frame %d arrived after its frame; dropped", m->m_id,
                                 m->m_frame);
                continue;
            }
            NWEFrame* f = table->GetShared(m->m_frame);
            if (!f) continue;
            bool filed = f->File(m, t->m_frameFlags);
            table->Release(f);
            if (!filed) {
                m_engine->Report("Frame %d got more messages than announced; message %d dropped", m->m_frame,
                                 m->m_id);
                continue;
            }
        }
        if (t->m_direct) {
            NWE_Deliver(m);
        } else {
            if (t->m_queue) t->m_queue->Put(m);
            if (t->m_event) t->m_event->Set();
        }
    }
}

void NWEPeer::ProcessIncoming(NWEFrame* frame, NWEQueue* queue) {
    std::vector<NWEMessagePtr> list = frame->TakeMessages();
    uint16_t peek = frame->GetPeekId();
    std::vector<NWEMessagePtr> keep;
    for (auto& m : list) {
        if (m->m_id == peek) {
            // Looked at without being claimed: it stays for a later pass.
            if (m->m_type && m->PeerAlive()) m->m_type->CallHandler(m->m_peer, m.get());
            keep.push_back(m);
            continue;
        }
        if (queue && queue->Remove(m.get())) NWE_Deliver(m);
    }
    frame->PutBack(keep);
}
