#include "nwe/Socket.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "nwe/Datagram.h"
#include "nwe/Engine.h"
#include "nwe/Peer.h"

using ScopedLock = CSysScopedLock<CSysCriticalSection>;

namespace {
uint64_t AddressKey(const SNetAddress& a) {
    return (static_cast<uint64_t>(a.ip) << 16) | a.port;
}
}  // namespace

NWESocket::NWESocket(NWEEngine* engine) : m_engine(engine) {
    m_lastRefill = engine->GetClock().Now();
    engine->LinkSocket(this);
}

NWESocket::~NWESocket() {
    // Peers first: each takes itself out of the lists.
    for (;;) {
        NWEPeer* p;
        {
            ScopedLock l(m_peersLock);
            if (!m_firstPeer) break;
            p = m_firstPeer;
        }
        delete p;
    }
    m_engine->UnlinkSocket(this);
    m_handle = -1;
    m_net.reset();
}

bool NWESocket::Open(const SNetAddress& bindTo) {
    int err = 0;
    CNetSocket* s = Net_OpenUdpSocket(bindTo, &err);
    if (!s) {
        m_engine->Report("Socket error from %s: %s", "socket", Net_ErrorText(err).c_str());
        return false;
    }
    return Open(s);
}

bool NWESocket::Open(CNetSocket* socket) {
    {
        ScopedLock rl(m_receiveLock);
        ScopedLock sl(m_sendLock);
        m_net.reset(socket);
        m_handle = socket ? socket->GetHandle() : -1;
    }
    m_engine->WakeReceiver();
    return m_handle >= 0;
}

bool NWESocket::GetSocketName(SNetAddress* out) {
    int err = 0;
    if (m_net && m_net->GetName(out, &err)) return true;
    m_engine->Report("Socket error from %s: %s", "GetSocketName", Net_ErrorText(err).c_str());
    return false;
}

// --- peers ----------------------------------------------------------------------

void NWESocket::LinkPeer(NWEPeer* p) {
    ScopedLock l(m_peersLock);
    p->m_socketPrev = nullptr;
    p->m_socketNext = m_firstPeer;
    if (m_firstPeer) m_firstPeer->m_socketPrev = p;
    m_firstPeer = p;
    p->m_socketLinked = true;
    m_linked.insert(p);
    ++m_peerCount;
    m_shareDirty.store(true);
}

void NWESocket::UnlinkPeer(NWEPeer* p) {
    ScopedLock l(m_peersLock);
    if (p->m_socketLinked) {
        if (p->m_socketPrev)
            p->m_socketPrev->m_socketNext = p->m_socketNext;
        else
            m_firstPeer = p->m_socketNext;
        if (p->m_socketNext) p->m_socketNext->m_socketPrev = p->m_socketPrev;
        p->m_socketPrev = p->m_socketNext = nullptr;
        p->m_socketLinked = false;
        m_linked.erase(p);
        --m_peerCount;
    }
    Unmap(p);
    if (p->m_halfOpen)
        for (size_t i = 0; i < m_halfOpen.size(); ++i)
            if (m_halfOpen[i].peer == p) {
                ForgetHalfOpen(i);
                break;
            }
    m_shareDirty.store(true);
}

void NWESocket::Unmap(NWEPeer* p) {
    if (!p->m_addressMapped) return;
    auto it = m_byAddress.find(p->m_addressKey);
    if (it != m_byAddress.end() && it->second == p) m_byAddress.erase(it);
    p->m_addressMapped = false;
}

void NWESocket::Rehome(NWEPeer* p, const SNetAddress& oldAddr, const SNetAddress& newAddr) {
    (void)oldAddr;
    ScopedLock l(m_peersLock);
    Unmap(p);
    if (newAddr.ip == 0) return;
    NWEPeer*& slot = m_byAddress[AddressKey(newAddr)];
    if (slot && slot != p) slot->m_addressMapped = false;
    slot = p;
    p->m_addressMapped = true;
    p->m_addressKey = AddressKey(newAddr);
}

NWEPeer* NWESocket::FindPeer(const SNetAddress& from) {
    ScopedLock l(m_peersLock);
    auto it = m_byAddress.find(AddressKey(from));
    if (it != m_byAddress.end()) return it->second->m_guard.TryShared() ? it->second : nullptr;
    return m_defaultLink ? static_cast<NWEPeer*>(m_defaultLink->TakeTarget()) : nullptr;
}

void NWESocket::SetDefaultPeer(NWEPeer* p) {
    ScopedLock l(m_peersLock);
    if (m_defaultLink)
        m_defaultLink->Retarget(p);
    else
        m_defaultLink = new NWEListEntry(&m_links, p);
}

void NWESocket::SetListener(NWEMessageTypes* registry, uint32_t receiveSeed, NWEUnknownSourceFn fn,
                            void* context) {
    ScopedLock l(m_peersLock);
    m_listenRegistry = registry;
    m_listenSeed = receiveSeed;
    m_unknownFn = fn;
    m_unknownContext = context;
}

void NWESocket::SetHalfOpenLimits(int perAddress, int total, float lifeSeconds) {
    ScopedLock l(m_peersLock);
    m_halfOpenPerAddress = std::max(perAddress, 1);
    m_halfOpenTotal = std::max(total, 1);
    m_halfOpenLife = lifeSeconds;
}

size_t NWESocket::GetHalfOpenCount() {
    ScopedLock l(m_peersLock);
    return m_halfOpen.size();
}

void NWESocket::ForgetHalfOpen(size_t i) {
    auto count = m_halfOpenByIp.find(m_halfOpen[i].ip);
    if (count != m_halfOpenByIp.end() && --count->second <= 0) m_halfOpenByIp.erase(count);
    m_halfOpen[i].peer->m_halfOpen = false;
    m_halfOpen.erase(m_halfOpen.begin() + static_cast<std::ptrdiff_t>(i));
}

void NWESocket::DropHalfOpen(size_t i) {
    NWEPeer* p = m_halfOpen[i].peer;
    ForgetHalfOpen(i);
    // No longer reached by its address; the next check removes it.
    Unmap(p);
    p->SetTimedOut(true);
}

NWEPeer* NWESocket::Admit(const uint8_t* data, size_t size, const SNetAddress& from) {
    NWEUnknownSourceFn fn;
    void* context;
    NWEMessageTypes* registry;
    uint32_t seed;
    {
        ScopedLock l(m_peersLock);
        fn = m_unknownFn;
        context = m_unknownContext;
        registry = m_listenRegistry;
        seed = m_listenSeed;
    }
    if (!fn) {
        m_engine->Report("Nonhomed packet received");
        return nullptr;
    }
    // Nothing is made for a datagram that is not valid as it stands.
    SDatagram d;
    EDatagramError e = NWE_ReadDatagram(data, size, seed, m_engine->IsCrcRequired(),
                                        m_engine->GetSystemRegistry(), registry, &d);
    if (e != EDatagramError::None) {
        NWE_ReportRefused(m_engine, e, d, from);
        return nullptr;
    }
    {
        // Room for one more: the oldest half-open peer of the address, or of
        // all, gives way (the list is in the order they came).
        ScopedLock l(m_peersLock);
        auto same = m_halfOpenByIp.find(from.ip);
        if (same != m_halfOpenByIp.end() && same->second >= m_halfOpenPerAddress)
            for (size_t i = 0; i < m_halfOpen.size(); ++i)
                if (m_halfOpen[i].ip == from.ip) {
                    DropHalfOpen(i);
                    break;
                }
        if (!m_halfOpen.empty() && static_cast<int>(m_halfOpen.size()) >= m_halfOpenTotal) DropHalfOpen(0);
    }
    NWEPeer* p = fn(this, from, context);
    if (p) {
        ScopedLock l(m_peersLock);
        if (!p->IsEstablished() && !p->m_halfOpen && p->m_socketLinked) {
            m_halfOpen.push_back({p, from.ip, m_engine->GetClock().Now()});
            ++m_halfOpenByIp[from.ip];
            p->m_halfOpen = true;
        }
    }
    return p;
}

void NWESocket::ExpireHalfOpen(int64_t now) {
    ScopedLock l(m_peersLock);
    int64_t life = m_engine->GetClock().Ticks(m_halfOpenLife);
    // One pass that keeps the rest in order: the established leave the list,
    // the expired go.
    size_t kept = 0;
    for (size_t i = 0; i < m_halfOpen.size(); ++i) {
        SHalfOpen h = m_halfOpen[i];
        const bool established = h.peer->IsEstablished();
        if (!established && now - h.since <= life) {
            m_halfOpen[kept++] = h;
            continue;
        }
        auto count = m_halfOpenByIp.find(h.ip);
        if (count != m_halfOpenByIp.end() && --count->second <= 0) m_halfOpenByIp.erase(count);
        h.peer->m_halfOpen = false;
        if (!established) {
            Unmap(h.peer);
            h.peer->SetTimedOut(true);
        }
    }
    m_halfOpen.resize(kept);
}

NWEPeer* NWESocket::FirstPeer() {
    ScopedLock l(m_peersLock);
    for (NWEPeer* p = m_firstPeer; p; p = p->m_socketNext)
        if (p->m_guard.TryShared()) return p;
    return nullptr;
}

NWEPeer* NWESocket::NextPeer(NWEPeer* cur) {
    // The caller's shared reference keeps `cur` linked (a peer closes its
    // guard before it leaves the list), so its neighbour is the next one.
    ScopedLock l(m_peersLock);
    NWEPeer* next = cur->m_socketLinked ? cur->m_socketNext : nullptr;
    cur->m_guard.ReleaseShared();
    for (; next; next = next->m_socketNext)
        if (next->m_guard.TryShared()) return next;
    return nullptr;
}

void NWESocket::ReleasePeer(NWEPeer* p) {
    if (p) p->m_guard.ReleaseShared();
}

size_t NWESocket::GetPeerCount() {
    ScopedLock l(m_peersLock);
    return m_peerCount;
}

// --- life -------------------------------------------------------------------------

void NWESocket::MarkForClosing() {
    ScopedLock l(m_optionsLock);
    m_markedForClosing = true;
}

bool NWESocket::IsMarkedForClosing() {
    ScopedLock l(m_optionsLock);
    return m_markedForClosing;
}

void NWESocket::Close() {
    m_leaving.store(true);
    m_engine->WakeReceiver();
    if (!m_guard.CloseWhileShared()) return;
    delete this;
}

void NWESocket::Destroy() {
    m_leaving.store(true);
    m_engine->WakeReceiver();
    if (!m_guard.Close()) return;
    delete this;
}

void NWESocket::RefillBudget(int64_t now) {
    m_budget = NWE_RefillBudget(m_budget, m_engine->GetClock().Seconds(now - m_lastRefill), m_rateCap,
                                static_cast<float>(kBufferWord));
    m_lastRefill = now;
}

void NWESocket::Check(bool fromTickThread) {
    int64_t now = m_engine->GetClock().Now();
    {
        ScopedLock l(m_sendLock);
        RefillBudget(now);
    }
    bool full = fromTickThread == (m_engine->GetTickThreadMode() != 0);
    if (full) ExpireHalfOpen(now);
    // Links that came, went or changed since the last check: the share of
    // the rate cap is worked out once for all of them.
    if (m_shareDirty.exchange(false)) UpdateSendParameters();
    // Receipts that wait unread (the thread that reads this socket was held
    // up) are taken before any packet is judged lost and sent again.
    bool resendDue = false;
    for (NWEPeer* p = FirstPeer(); p; p = NextPeer(p)) {
        int64_t due = p->NextResendDue();
        resendDue = resendDue || (due != 0 && due <= now);
    }
    if (resendDue && m_handle >= 0) {
        m_engine->Lock();
        Receive(0);
        m_engine->Unlock();
    }
    std::vector<NWEPeer*> remove;
    for (NWEPeer* p = FirstPeer(); p; p = NextPeer(p)) {
        if (!p->IsTimedOut())
            p->Update(fromTickThread);
        else
            remove.push_back(p);
    }
    if (!full) return;
    for (NWEPeer* p : remove) {
        {
            ScopedLock l(m_peersLock);
            if (!m_linked.count(p)) continue;
        }
        // Outside the peers lock: closing waits for threads that use the peer,
        // and one of them may be waiting for that lock.
        ClosePeer(p);
    }
}

void NWESocket::ClosePeer(NWEPeer* p) {
    delete p;
}

// --- rates -------------------------------------------------------------------------

void NWESocket::SetRateCap(float rateCap) {
    {
        ScopedLock l(m_optionsLock);
        m_rateCap = rateCap;
    }
    {
        ScopedLock l(m_sendLock);
        m_budget = std::max(m_budget, std::min(rateCap, static_cast<float>(kBufferWord)));
    }
    UpdateSendParameters();
}

float NWESocket::GetRateCap() {
    ScopedLock l(m_optionsLock);
    return m_rateCap;
}

namespace {
uint32_t PacketSizeFor(uint32_t requested) {
    uint32_t req = std::min<uint32_t>(std::max<uint32_t>(requested, 64), 1500);
    return std::min<uint32_t>(std::min<uint32_t>(req - 32, NWESocket::kLargestPayload), kMaxPacketSize);
}

float BurstFor(size_t peers) {
    return std::round(static_cast<float>(NWESocket::kBufferWord) * 0.8f /
                      static_cast<float>(std::max<size_t>(peers, 1)));
}

// A peer's share under the level (see m_shareLevel), under its lock.
float GrantUnder(float level, float demand, float own) {
    return demand < level ? demand : std::min(level, own);
}
}  // namespace

void NWESocket::UpdateSendParameters() {
    m_shareDirty.store(false);
    float cap, factor;
    {
        ScopedLock l(m_optionsLock);
        cap = m_rateCap;
        factor = m_shareFactor;
    }
    ScopedLock pl(m_peersLock);
    std::vector<NWEPeer*> peers;
    peers.reserve(m_peerCount);
    for (NWEPeer* p = m_firstPeer; p; p = p->m_socketNext)
        if (p->GetState() != NWEPeer::kStateLocal) peers.push_back(p);
    if (peers.empty()) return;
    struct SShare {
        NWEPeer* peer;
        float demand, own;
    };
    std::vector<SShare> share;
    share.reserve(peers.size());
    float total = 0;
    const float burst = BurstFor(peers.size());
    for (NWEPeer* p : peers) {
        CSysScopedLock<CSysCriticalSection> l(p->m_lock);
        p->m_burst = burst;
        p->m_packetSize = PacketSizeFor(p->m_requestedPacketSize);
        if (p->m_excluded) continue;
        SShare s{p, p->m_remoteDemandPresent ? p->m_remoteDemand : p->m_ownRate, p->m_ownRate};
        total += s.demand;
        share.push_back(s);
    }
    // Under the cap every demand is granted. Above it the cap (times the
    // share factor) is handed out smallest demand first: a demand below the
    // equal share of what is left is granted whole, and once the smallest
    // left is not, every peer left gets that equal share (at most its own
    // rate). The demands sorted once make it n log n.
    float level = 1e30f;
    if (total >= cap) {
        std::vector<float> demands;
        demands.reserve(share.size());
        for (const SShare& s : share) demands.push_back(s.demand);
        std::sort(demands.begin(), demands.end());
        float remaining = cap * factor;
        for (size_t i = 0; i < demands.size(); ++i) {
            float equal = remaining / static_cast<float>(demands.size() - i);
            if (!(demands[i] < equal)) {
                level = equal;
                break;
            }
            remaining -= demands[i];
        }
    }
    m_shareLevel = level;
    for (const SShare& s : share) {
        CSysScopedLock<CSysCriticalSection> l(s.peer->m_lock);
        s.peer->m_grantedRate = GrantUnder(level, s.demand, s.own);
    }
}

void NWESocket::NoteSendParameters(NWEPeer* p) {
    // The peer's own values at once, from the share as last worked out; the
    // whole share again at the next check.
    float level, burst;
    {
        ScopedLock pl(m_peersLock);
        level = m_shareLevel;
        burst = BurstFor(m_peerCount);
    }
    {
        CSysScopedLock<CSysCriticalSection> l(p->m_lock);
        p->m_packetSize = PacketSizeFor(p->m_requestedPacketSize);
        if (p->m_state != NWEPeer::kStateLocal) {
            p->m_burst = burst;
            if (!p->m_excluded)
                p->m_grantedRate = GrantUnder(
                    level, p->m_remoteDemandPresent ? p->m_remoteDemand : p->m_ownRate, p->m_ownRate);
        }
    }
    m_shareDirty.store(true);
}

// --- datagrams ----------------------------------------------------------------------

bool NWESocket::SendData(NWEPeer* peer, SPacketRecord* r, bool force, bool unsequenced,
                         const SNetAddress* address) {
    NWEEngine* e = m_engine;
    int64_t now = e->GetClock().Now();
    peer->RefillBudget(now);
    ScopedLock l(m_sendLock);
    RefillBudget(now);
    if (r->length < kPacketHeaderReserve + 1) return false;
    float len = static_cast<float>(r->length);
    if (len > peer->m_budget || len > m_budget) return false;
    if (!force && static_cast<float>(peer->m_packetSize) - 21.0f > m_budget) return false;
    bool newSequence = false;
    EPacketForm form;
    if (!unsequenced) {
        if (r->sequence == 0) {
            r->sequence = peer->m_sequenceCounter;
            peer->m_sequenceCounter = NWE_NextSequence(peer->m_sequenceCounter);
            newSequence = true;
        }
        form = e->IsCrcOn() ? EPacketForm::SequencedCrc : EPacketForm::Sequenced;
    } else {
        form = !e->IsCrcOn()      ? EPacketForm::Bare
               : peer->m_sendSeed ? EPacketForm::UnsequencedCrc
                                  : EPacketForm::Unsafe;
    }
    bool receipt = !unsequenced && r->receiptWanted;
    size_t start = NWE_WritePacketHeader(r->buffer, r->length, form, r->count, r->sequence, receipt, r->tries,
                                         peer->m_sendSeed);
    size_t size = r->length - start;
    const SNetAddress& to = address ? *address : peer->m_address;
    int err = 0;
    ENetIo io = m_net ? m_net->Send(r->buffer + start, size, to, &err) : ENetIo::Error;
    if (io != ENetIo::Ok) {
        if (newSequence) {
            peer->m_sequenceCounter = r->sequence;
            r->sequence = 0;
        }
        if (io == ENetIo::WouldBlock) {
            peer->m_budget = -static_cast<float>(size + 8);
            m_budget = -static_cast<float>(size + 8);
        } else if (io == ENetIo::Error) {
            e->Report("Socket error from %s: %s", "SendData", Net_ErrorText(err).c_str());
        }
        return false;
    }
    float counted = static_cast<float>(size + 8);
    peer->m_budget -= counted;
    m_budget -= counted;
    peer->m_keepAliveDue = now + e->GetClock().Ticks(peer->m_keepAliveInterval);
    ++peer->m_packetsOut;
    peer->m_bytesOut += static_cast<float>(size);
    e->CountOut(size);
    m_packetsOut.fetch_add(1);
    m_bytesOut += counted;
    return true;
}

int NWESocket::Receive(int error) {
    if (error != 0) return 0;
    ScopedLock rl(m_receiveLock);
    if (!m_net) return 0;
    std::vector<NWEPeer*>& touched = m_touched;
    touched.clear();
    SNetDatagramIn batch[kReceiveBatch];
    for (int i = 0; i < kReceiveBatch; ++i) {
        batch[i].buf = m_receiveBuffers + static_cast<size_t>(i) * kPacketBufferSize;
        batch[i].cap = kPacketBufferSize;
    }
    int read = 0;
    for (;;) {
        int n = 0, err = 0;
        ENetIo io = m_net->ReceiveBatch(batch, kReceiveBatch, &n, &err);
        if (io == ENetIo::WouldBlock) break;
        if (io == ENetIo::Refused)
            continue;  // an ICMP error about one remote: the socket stays open for the rest
        if (io == ENetIo::Error) {
            m_engine->Report("Socket error from %s: %s", "FD_READ", Net_ErrorText(err).c_str());
            break;
        }
        for (int i = 0; i < n; ++i) {
            SNetDatagramIn& d = batch[i];
            ++read;
            m_engine->CountIn(d.got);
            m_packetsIn.fetch_add(1);
            m_bytesIn += static_cast<float>(d.got + 8);
            if (d.truncated) {
                m_engine->CountRejected();
                continue;
            }
            NWEPeer* p = FindPeer(d.from);
            if (!p) p = Admit(d.buf, d.got, d.from);
            if (!p) continue;
            p->ReceivePacket(d.buf, d.got, d.from);
            // Each peer once (its mark, under the receive lock), however many
            // peers the drain reaches.
            if (!p->m_touched) {
                p->m_touched = true;
                touched.push_back(p);
            } else {
                p->m_guard.ReleaseShared();
            }
        }
        // A short batch read everything there was. A drain ends after a
        // bounded number of datagrams even when more keep coming, so the
        // caller's other work (time-outs, removing the peers that went) is
        // never starved by a flood; the rest is read at the next call.
        if (n < kReceiveBatch || read >= kDrainMost) break;
    }
    // Receipts and loss hints leave as soon as the waiting datagrams are read.
    for (NWEPeer* p : touched) {
        p->m_touched = false;
        p->FlushReplies();
        p->m_guard.ReleaseShared();
    }
    return read;
}
