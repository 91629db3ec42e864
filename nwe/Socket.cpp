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
            if (m_peers.empty()) break;
            p = m_peers.front();
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
    m_peers.insert(m_peers.begin(), p);
}

void NWESocket::UnlinkPeer(NWEPeer* p) {
    ScopedLock l(m_peersLock);
    m_peers.erase(std::remove(m_peers.begin(), m_peers.end(), p), m_peers.end());
    for (auto it = m_byAddress.begin(); it != m_byAddress.end();)
        it = it->second == p ? m_byAddress.erase(it) : std::next(it);
    m_halfOpen.erase(
        std::remove_if(m_halfOpen.begin(), m_halfOpen.end(), [p](const SHalfOpen& h) { return h.peer == p; }),
        m_halfOpen.end());
}

void NWESocket::Rehome(NWEPeer* p, const SNetAddress& oldAddr, const SNetAddress& newAddr) {
    ScopedLock l(m_peersLock);
    auto it = m_byAddress.find(AddressKey(oldAddr));
    if (it != m_byAddress.end() && it->second == p) m_byAddress.erase(it);
    if (newAddr.ip != 0) m_byAddress[AddressKey(newAddr)] = p;
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

void NWESocket::DropHalfOpen(size_t i) {
    NWEPeer* p = m_halfOpen[i].peer;
    m_halfOpen.erase(m_halfOpen.begin() + static_cast<std::ptrdiff_t>(i));
    // No longer reached by its address; the next check removes it.
    for (auto it = m_byAddress.begin(); it != m_byAddress.end();)
        it = it->second == p ? m_byAddress.erase(it) : std::next(it);
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
        // Room for one more: the oldest half-open peer of the address, or of all, gives way.
        ScopedLock l(m_peersLock);
        auto oldest = [&](bool sameAddress) {
            size_t best = m_halfOpen.size();
            for (size_t i = 0; i < m_halfOpen.size(); ++i)
                if ((!sameAddress || m_halfOpen[i].ip == from.ip) &&
                    (best == m_halfOpen.size() || m_halfOpen[i].since < m_halfOpen[best].since))
                    best = i;
            return best;
        };
        int sameAddress = 0;
        for (const SHalfOpen& h : m_halfOpen) sameAddress += h.ip == from.ip;
        if (sameAddress >= m_halfOpenPerAddress) DropHalfOpen(oldest(true));
        if (static_cast<int>(m_halfOpen.size()) >= m_halfOpenTotal) DropHalfOpen(oldest(false));
    }
    NWEPeer* p = fn(this, from, context);
    if (p) {
        ScopedLock l(m_peersLock);
        if (!p->IsEstablished()) m_halfOpen.push_back({p, from.ip, m_engine->GetClock().Now()});
    }
    return p;
}

void NWESocket::ExpireHalfOpen(int64_t now) {
    ScopedLock l(m_peersLock);
    int64_t life = m_engine->GetClock().Ticks(m_halfOpenLife);
    for (size_t i = 0; i < m_halfOpen.size();) {
        if (m_halfOpen[i].peer->IsEstablished())
            m_halfOpen.erase(m_halfOpen.begin() + static_cast<std::ptrdiff_t>(i));
        else if (now - m_halfOpen[i].since > life)
            DropHalfOpen(i);
        else
            ++i;
    }
}

NWEPeer* NWESocket::FirstPeer() {
    ScopedLock l(m_peersLock);
    for (NWEPeer* p : m_peers)
        if (p->m_guard.TryShared()) return p;
    return nullptr;
}

NWEPeer* NWESocket::NextPeer(NWEPeer* cur) {
    ScopedLock l(m_peersLock);
    auto it = std::find(m_peers.begin(), m_peers.end(), cur);
    cur->m_guard.ReleaseShared();
    if (it == m_peers.end()) return nullptr;
    for (++it; it != m_peers.end(); ++it)
        if ((*it)->m_guard.TryShared()) return *it;
    return nullptr;
}

void NWESocket::ReleasePeer(NWEPeer* p) {
    if (p) p->m_guard.ReleaseShared();
}

size_t NWESocket::GetPeerCount() {
    ScopedLock l(m_peersLock);
    return m_peers.size();
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
            if (std::find(m_peers.begin(), m_peers.end(), p) == m_peers.end()) continue;
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

void NWESocket::UpdateSendParameters() {
    float cap, factor;
    {
        ScopedLock l(m_optionsLock);
        cap = m_rateCap;
        factor = m_shareFactor;
    }
    std::vector<NWEPeer*> peers;
    ScopedLock pl(m_peersLock);
    for (NWEPeer* p : m_peers)
        if (p->GetState() != NWEPeer::kStateLocal) peers.push_back(p);
    if (peers.empty()) return;
    struct SShare {
        NWEPeer* peer;
        float demand;
        bool remote;
        float own;
    };
    std::vector<SShare> share;
    float total = 0;
    for (NWEPeer* p : peers) {
        CSysScopedLock<CSysCriticalSection> l(p->m_lock);
        p->m_burst = std::round(static_cast<float>(kBufferWord) * 0.8f / static_cast<float>(peers.size()));
        uint32_t req = std::min<uint32_t>(std::max<uint32_t>(p->m_requestedPacketSize, 64), 1500);
        p->m_packetSize = std::min<uint32_t>(std::min<uint32_t>(req - 32, kLargestPayload), kMaxPacketSize);
        if (p->m_excluded) continue;
        SShare s{p, p->m_remoteDemandPresent ? p->m_remoteDemand : p->m_ownRate, p->m_remoteDemandPresent,
                 p->m_ownRate};
        total += s.demand;
        share.push_back(s);
    }
    std::vector<std::pair<NWEPeer*, float>> grants;
    if (total < cap) {
        for (auto& s : share) grants.push_back({s.peer, s.demand});
    } else {
        float remaining = cap * factor;
        std::vector<SShare> pool = share;
        while (!pool.empty()) {
            float equal = remaining / static_cast<float>(pool.size());
            bool any = false;
            for (auto it = pool.begin(); it != pool.end();) {
                if (it->demand < equal) {
                    grants.push_back({it->peer, it->demand});
                    remaining -= it->demand;
                    it = pool.erase(it);
                    any = true;
                } else {
                    ++it;
                }
            }
            if (any) continue;
            for (auto& s : pool) grants.push_back({s.peer, std::min(equal, s.own)});
            break;
        }
    }
    for (auto& g : grants) {
        CSysScopedLock<CSysCriticalSection> l(g.first->m_lock);
        g.first->m_grantedRate = g.second;
    }
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
            if (std::find(touched.begin(), touched.end(), p) == touched.end())
                touched.push_back(p);
            else
                p->m_guard.ReleaseShared();
        }
        // A short batch read everything there was.
        if (n < kReceiveBatch) break;
    }
    // Receipts and loss hints leave as soon as the waiting datagrams are read.
    for (NWEPeer* p : touched) {
        p->FlushReplies();
        p->m_guard.ReleaseShared();
    }
    return read;
}
