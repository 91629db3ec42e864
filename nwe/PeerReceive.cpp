// Receiving: a datagram is checked whole (header, CRC, every message header
// and length, ids, frame numbers, part offsets against their message) before
// any of it is recorded, acknowledged or delivered.
#include <algorithm>
#include <cstring>
#include <map>

#include "nwe/Engine.h"
#include "nwe/FrameTable.h"
#include "nwe/MessageTypes.h"
#include "nwe/Peer.h"
#include "nwe/Socket.h"

using ScopedLock = CSysScopedLock<CSysCriticalSection>;

namespace {

struct SKindContext {
    NWEMessageTypes* system;
    NWEMessageTypes* application;
};

int KindOf(uint16_t id, void* context) {
    SKindContext* c = static_cast<SKindContext*>(context);
    if (id < NWE_SYSTEM_TYPES) return c->system->Kind(id);
    return c->application ? c->application->Kind(id) : -1;
}

const char* ParseErrorText(EParseError e) {
    switch (e) {
        case EParseError::Truncated:
            return "message runs past the datagram";
        case EParseError::UnknownId:
            return "unknown message id";
        case EParseError::BadFrame:
            return "frame number out of range";
        case EParseError::BadSize:
            return "part does not fit its message";
        case EParseError::LeftOver:
            return "bytes left over";
        case EParseError::TooManyMessages:
            return "too many messages";
        case EParseError::None:
            break;
    }
    return "";
}

// Payload sizes of the system messages.
int SystemPayloadSize(uint16_t id) {
    return id == NS_NOTIFYTYPE_KEEP_ALIVE ? 0 : 4;
}

}  // namespace

bool NWEPeer::IsFramed(const NWEMessageType* t, bool hasFrame) const {
    return hasFrame && m_frameSync.load() && t && t->m_frameTable && !t->m_frameTable->IsAnnouncing();
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

void NWEPeer::ExpirePartials(int64_t now) {
    int64_t life = m_engine->GetClock().Ticks(m_duplicateFilter);
    for (auto it = m_partials.begin(); it != m_partials.end();) {
        if (now - it->second.created > life) {
            m_partialBytes -= it->second.data.size();
            it = m_partials.erase(it);
        } else {
            ++it;
        }
    }
}

void NWEPeer::ReceivePacket(const uint8_t* data, size_t size, const SNetAddress& from) {
    std::vector<NWEMessagePtr> complete;
    {
        ScopedLock l(m_lock);
        ++m_packetsIn;
        m_bytesIn += static_cast<float>(size);
        SPacketHeader h;
        EHeaderError he = NWE_ReadPacketHeader(data, size, m_receiveSeed, m_engine->IsCrcRequired(), &h);
        if (he != EHeaderError::None) {
            m_engine->CountRejected();
            if (he == EHeaderError::BadCrc) {
                if (h.form == EPacketForm::SequencedCrc)
                    m_engine->Report("Packet CRC check failed, ignoring data, %d: CRC:%x",
                                     static_cast<int>(h.sequence), h.crc);
                else
                    m_engine->Report("Unsafe packet CRC check failed, ignoring data: CRC:%x", h.crc);
            }
            return;
        }
        std::vector<SWirePart> parts;
        SKindContext kc{m_system, m_application};
        EParseError pe = NWE_ParseMessages(data + h.size, size - h.size, h.count, KindOf, &kc, &parts);
        if (pe != EParseError::None) {
            m_engine->CountRejected();
            if (pe == EParseError::UnknownId && !parts.empty())
                m_engine->Report("A message has just been lost in the void %d",
                                 static_cast<int>(parts.back().id));
            else
                m_engine->Report("Packet from %s ignored: %s", Net_FormatAddress(from).c_str(),
                                 ParseErrorText(pe));
            return;
        }

        // What the packet's parts do to the unfinished messages, checked before
        // anything is changed: the parts of one message must agree with each
        // other and with what arrived before.
        struct SCheck {
            bool haveFirst;
            uint16_t id;
            uint32_t total;
            uint64_t maxEnd;
        };
        std::map<uint32_t, SCheck> checks;
        const uint64_t maxSize = m_engine->GetMaxMessageSize();
        size_t newPartials = 0;
        for (const SWirePart& p : parts) {
            if (p.start && p.shortHeader) {
                if (p.id < NWE_SYSTEM_TYPES) {
                    if (static_cast<int>(p.length) != SystemPayloadSize(p.id)) {
                        m_engine->CountRejected();
                        m_engine->Report("Packet from %s ignored: system message %d of %u bytes",
                                         Net_FormatAddress(from).c_str(), p.id, p.length);
                        return;
                    }
                    if (p.id == NS_NOTIFYTYPE_FRAME_INFO) {
                        uint16_t f = NWE_Get16(p.data);
                        bool bad = f == 0 || f > 8191;
                        if (!bad && m_frameSync.load() && m_application) {
                            if (NWEMessageType* t = m_application->Get(NS_NOTIFYTYPE_FRAME_INFO)) {
                                if (t->m_frameTable && !t->m_frameTable->IsAnnouncing()) {
                                    int ahead = t->m_frameTable->Ahead(f);
                                    bad = ahead >= kFrameWindow && ahead < 8191 - kFrameWindow;
                                }
                                m_application->Release(t);
                            }
                        }
                        if (bad) {
                            m_engine->CountRejected();
                            m_engine->Report("Packet from %s ignored: frame information for frame %d",
                                             Net_FormatAddress(from).c_str(), f);
                            return;
                        }
                    }
                }
                continue;
            }
            // A whole message in one part needs no bookkeeping unless its key is
            // already in use by unfinished parts.
            if (p.start && p.last && m_partials.find(p.key) == m_partials.end() &&
                checks.find(p.key) == checks.end()) {
                bool bad = p.total > maxSize;
                if (!bad && p.hasFrame) {
                    NWEMessageType* t = LookUp(p.id);
                    if (IsFramed(t, true)) {
                        int ahead = t->m_frameTable->Ahead(p.frame);
                        bad = ahead >= kFrameWindow && ahead < 8191 - kFrameWindow;
                    }
                    if (t) t->m_guard.ReleaseShared();
                }
                if (bad) {
                    m_engine->CountRejected();
                    m_engine->Report("Packet from %s ignored: message %d of %u bytes",
                                     Net_FormatAddress(from).c_str(), p.id, p.total);
                    return;
                }
                continue;
            }
            auto it = checks.find(p.key);
            if (it == checks.end()) {
                SCheck c{false, 0, 0, 0};
                auto pit = m_partials.find(p.key);
                if (pit != m_partials.end()) {
                    c.haveFirst = pit->second.haveFirst;
                    c.id = pit->second.id;
                    c.total = pit->second.total;
                    c.maxEnd = pit->second.data.size();
                } else {
                    ++newPartials;
                }
                it = checks.emplace(p.key, c).first;
            }
            SCheck& c = it->second;
            uint64_t end = static_cast<uint64_t>(p.offset) + p.length;
            bool bad = end > maxSize;
            if (p.start) {
                bad = bad || p.total > maxSize || (c.haveFirst && (c.total != p.total || c.id != p.id)) ||
                      c.maxEnd > p.total;
                if (!bad && p.hasFrame) {
                    NWEMessageType* t = LookUp(p.id);
                    if (IsFramed(t, true)) {
                        int ahead = t->m_frameTable->Ahead(p.frame);
                        bad = ahead >= kFrameWindow && ahead < 8191 - kFrameWindow;
                    }
                    if (t) t->m_guard.ReleaseShared();
                }
                c.haveFirst = true;
                c.id = p.id;
                c.total = p.total;
            } else {
                bad = bad || (c.haveFirst && (end > c.total || (p.last && end != c.total)));
            }
            c.maxEnd = std::max(c.maxEnd, end);
            if (bad) {
                m_engine->CountRejected();
                m_engine->Report("Packet from %s ignored: inconsistent message parts (key %u)",
                                 Net_FormatAddress(from).c_str(), p.key);
                return;
            }
        }
        if (m_partials.size() + newPartials > kMaxPartials) {
            m_engine->CountRejected();
            m_engine->Report("Packet from %s ignored: too many unfinished messages",
                             Net_FormatAddress(from).c_str());
            return;
        }

        bool sequenced = h.form == EPacketForm::SequencedCrc || h.form == EPacketForm::Sequenced;
        if (sequenced && m_state == kStateRemote) {
            bool tooOld;
            if (SequenceSeen(h.sequence, &tooOld)) {
                if (tooOld) {
                    m_engine->CountRejected();
                    return;
                }
                // A copy of a packet already taken: its receipt may have been lost.
                m_engine->CountDuplicate();
                if (h.receiptWanted) QueueReply(NS_NOTIFYTYPE_RECEIPT, h.sequence);
                return;
            }
            // A first transmission after a gap: ask at once for what is missing, so
            // one lost datagram costs about one round trip.
            if (h.tries == kInitialTries && m_receiveHigh != 0) {
                int64_t d = NWE_SequenceDiff(h.sequence, m_receiveHigh);
                if (d >= 2 && d <= 16) {
                    uint32_t n = m_receiveHigh;
                    for (int64_t i = 1; i < d; ++i) {
                        n = NWE_NextSequence(n);
                        if (!m_received[n % kSequenceWindow]) QueueReply(NS_NOTIFYTYPE_PACKETLOSTHINT, n);
                    }
                }
            }
            MarkSequence(h.sequence);
        }
        int64_t now = m_engine->GetClock().Now();
        m_deadline = now + m_engine->GetClock().Ticks(m_timeout);
        m_timeoutNoticed = false;

        for (const SWirePart& p : parts) {
            if (p.shortHeader) {
                if (p.id == NS_NOTIFYTYPE_RECEIPT) {
                    Acknowledge(NWE_Get32(p.data));
                    continue;
                }
                if (p.id == NS_NOTIFYTYPE_PACKETLOSTHINT) {
                    OnLossHint(NWE_Get32(p.data));
                    continue;
                }
                NWEMessageType* t = LookUp(p.id);
                if (!t) continue;
                NWEMessagePtr m = MakeMessage(p.id, t, p.data, p.length);
                m->m_acknowledged = h.receiptWanted;
                m->m_source = from;
                complete.push_back(m);
                continue;
            }
            if (p.start && p.last && m_partials.find(p.key) == m_partials.end()) {
                NWEMessageType* t = LookUp(p.id);
                if (!t) continue;
                NWEMessagePtr m = MakeMessage(p.id, t, p.data, p.length);
                m->m_key = p.key;
                m->m_frame = p.hasFrame ? p.frame : 0;
                m->m_acknowledged = h.receiptWanted;
                m->m_source = from;
                complete.push_back(m);
                continue;
            }
            SPartial& part = m_partials[p.key];
            if (part.created == 0) part.created = now;
            size_t before = part.data.size();
            if (p.start && !part.haveFirst) {
                part.haveFirst = true;
                part.id = p.id;
                part.total = p.total;
                part.hasFrame = p.hasFrame;
                part.frame = p.frame;
                part.acknowledged = h.receiptWanted;
                part.data.resize(p.total);
            } else if (!part.haveFirst && part.data.size() < static_cast<size_t>(p.offset) + p.length) {
                part.data.resize(static_cast<size_t>(p.offset) + p.length);
            }
            m_partialBytes += part.data.size() - before;
            if (p.length) std::memcpy(part.data.data() + p.offset, p.data, p.length);
            // Merge [offset, offset + length) into the covered runs.
            uint32_t a = p.offset, b = p.offset + p.length;
            if (b > a) {
                auto it = part.covered.upper_bound(a);
                if (it != part.covered.begin()) {
                    auto prev = std::prev(it);
                    if (prev->second >= a) it = prev;
                }
                while (it != part.covered.end() && it->first <= b) {
                    a = std::min(a, it->first);
                    b = std::max(b, it->second);
                    part.coveredBytes -= it->second - it->first;
                    it = part.covered.erase(it);
                }
                part.covered[a] = b;
                part.coveredBytes += b - a;
            }
            if (part.haveFirst && part.coveredBytes == part.total) {
                NWEMessageType* t = LookUp(part.id);
                if (t) {
                    NWEMessagePtr m = std::make_shared<NWEMessage>();
                    m->m_id = part.id;
                    m->m_type = t;
                    m->m_peer = this;
                    m->m_key = p.key;
                    m->m_frame = part.hasFrame ? part.frame : 0;
                    m->m_acknowledged = part.acknowledged;
                    m->m_source = from;
                    m->m_payload.swap(part.data);
                    complete.push_back(m);
                }
                m_partialBytes -= std::min<uint64_t>(m_partialBytes, part.total);
                m_partials.erase(p.key);
            }
        }
        if (sequenced && h.receiptWanted && m_state == kStateRemote)
            QueueReply(NS_NOTIFYTYPE_RECEIPT, h.sequence);
        if (m_partialBytes > m_engine->GetMaxPartialBytes()) {
            // Too much half-received data: drop the oldest unfinished messages.
            while (m_partialBytes > m_engine->GetMaxPartialBytes() && !m_partials.empty()) {
                auto oldest = std::min_element(
                    m_partials.begin(), m_partials.end(),
                    [](const auto& x, const auto& y) { return x.second.created < y.second.created; });
                m_partialBytes -= std::min<uint64_t>(m_partialBytes, oldest->second.data.size());
                m_partials.erase(oldest);
            }
        }
    }

    // Delivery runs without the peer's lock: handlers may send on any peer.
    for (const NWEMessagePtr& m : complete) {
        NWEMessageType* t = m->m_type;
        bool filed = false;
        if (m->m_acknowledged && IsFramed(t, m->m_frame != 0)) {
            NWEFrameTable* table = t->m_frameTable;
            if (table->Ahead(m->m_frame) >= kFrameWindow) {
                m_engine->Report("Message %d for frame %d arrived after its frame; dropped", m->m_id,
                                 m->m_frame);
                continue;
            }
            NWEFrame* f = table->GetShared(m->m_frame);
            if (!f) continue;
            filed = f->File(m, t->m_frameFlags);
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
            if (m->m_type) m->m_type->CallHandler(m->m_peer, m.get());
            keep.push_back(m);
            continue;
        }
        if (queue && queue->Remove(m.get())) NWE_Deliver(m);
    }
    frame->PutBack(keep);
}
