// One end of a conversation: a remote address on a socket, or a local partner
// peer in the same process.
//
// Sending queues a message by class and priority, packs queued messages into
// packets and sends them within the peer's byte budget; a reliable (class 0)
// packet is resent after a time-out that follows the measured round trip
// until its receipt comes. What one peer may hold is bounded: the bytes of
// reliable packets out without a receipt (its window: more waits in the
// queue), the memory of the messages waiting to be sent or confirmed (a link
// that outgrows its limit is given up and times out), a remote that confirms
// nothing for as long as a silent one may stay (given up alike), and on the
// receiving side the memory of unfinished
// multi-part messages (counted as their bytes arrive, per peer and per socket).
// Receiving is in PeerReceive.cpp, sending in PeerSend.cpp.
#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <vector>

#include "core/StrBuf.h"
#include "nwe/AccessGuard.h"
#include "nwe/Datagram.h"
#include "nwe/ListEntry.h"
#include "nwe/Message.h"
#include "nwe/Wire.h"
#include "platform/net/Udp.h"
#include "platform/sys/Thread.h"

class NWEEngine;
class NWESocket;
class NWEMessageTypes;
class NWEMessageType;
class NWEFrame;
struct SPacketRecord;

class NWEPeer : public NWEObject {
public:
    // Receive window of sequence numbers: anything older is refused.
    static constexpr uint32_t kSequenceWindow = 8192;
    // A sequence number further ahead of the highest one seen than this is a
    // damaged header: a sender never has that many packets out at once.
    static constexpr uint32_t kSequenceAhead = 2048;
    static constexpr size_t kMaxPartials = 1024;
    // Lower bound of the resend time-out, in seconds.
    static constexpr float kMinResendTimeout = 0.004f;
    // Frames ahead of (or behind) the current one a framed message may name.
    static constexpr int kFrameWindow = 1024;
    // Bytes of reliable packets out without a receipt, and memory of the
    // messages waiting to be sent or confirmed, by default.
    static constexpr uint32_t kDefaultSendWindow = 512u << 10;
    static constexpr uint32_t kDefaultQueueLimit = 16u << 20;
    // Receipts owed leave at once after this many datagrams, not only when the
    // socket has been read empty: a sender's window keeps moving.
    static constexpr size_t kReceiptBatch = 4;
    // Bookkeeping counted per stored part of an unfinished message, and per
    // message held for sending beside its record.
    static constexpr uint32_t kPieceOverhead = 64;
    static constexpr uint32_t kMessageBookkeeping = 64;

    enum EState { kStateNew = 0, kStateRemote = 1, kStateOther = 2, kStateLocal = 3 };

    NWEPeer(NWESocket* socket, NWEMessageTypes* application, const char* name);
    virtual ~NWEPeer();
    NWEPeer(const NWEPeer&) = delete;
    NWEPeer& operator=(const NWEPeer&) = delete;

    // Periodic work (run for each peer by its socket's check).
    virtual void Update(bool fromTickThread);

    // Queues a message: 65535 in priority, immediacy or class takes the type's
    // default. A group counts the message until it is delivered or has failed
    // (class 0 only). With `after`, the message is packed only once every
    // message that joined that group before it is packed (a player's send
    // slot passed as both keeps the player's messages in order). A frame
    // number other than 0 files the message into that frame at the receiver.
    // False for an unregistered id, a message larger than the engine allows,
    // or a queue over its limit (which gives the link up).
    virtual bool SendMessage(uint16_t id, const void* data, uint32_t size, NWEList* group = nullptr,
                             uint16_t priority = 65535, uint16_t immediacy = 65535, uint16_t cls = 65535,
                             uint16_t frame = 0, NWEList* after = nullptr);
    // Sends the header bytes followed by `length` bytes of an open file read at
    // `offset` (a map sent to a client).
    virtual bool SendById(uint16_t id, const void* header, uint32_t headerSize, class CVFSFile* file,
                          uint32_t offset, uint32_t length, NWEList* group = nullptr,
                          uint16_t priority = 65535, uint16_t immediacy = 65535, uint16_t frame = 0,
                          NWEList* after = nullptr);
    // Drops a queued message that has not been packed yet.
    bool FlushMessage(uint32_t key);
    virtual bool SendByDataType(uint16_t id, const void* data, uint32_t size, uint16_t frame = 0);
    // One message in a fresh unsequenced packet to an explicit address.
    bool SendRaw(const SNetAddress& to, uint16_t id, const void* data, uint32_t size);

    void SetAddress(const SNetAddress& a);
    void GetAddress(SNetAddress* out);
    SNetAddress GetAddress();
    // The host's own in-process link: messages go straight to the partner.
    void LinkLocal(NWEPeer* partner);
    // Whether the local partner link names this peer.
    bool HasId(const NWEPeer* p);
    // Moves the local partner link to another peer.
    void Unlink(NWEPeer* newPartner);

    void SetOwnRate(float rate);
    void SetKeepAlive(bool on);
    void SetFrameSync(bool on);
    void SetTimeoutCheck(bool on);
    void SetTimedOut(bool on);      // marks for removal
    void SetRateRequests(bool on);  // take the rate from the remote side
    void SetTimeout(float seconds);
    void SetRequestedPacketSize(uint32_t size);
    void SetResendInterval(float seconds);  // upper bound of the resend back-off
    void SetKeepAliveInterval(float seconds);
    void SetReceiveCrcSeed(uint32_t seed);
    void SetSendCrcSeed(uint32_t seed);
    // Bytes of reliable packets out without a receipt; memory the messages
    // waiting to be sent or confirmed may take.
    void SetSendLimits(uint32_t window, uint32_t queue);
    uint32_t GetPacketSize();
    // The names these settings have in the engine's description.
    void SetSettingC(float rate) { SetOwnRate(rate); }
    void SetSettingD(float seconds) { SetTimeout(seconds); }
    void SetSettingE(uint32_t size) { SetRequestedPacketSize(size); }
    uint32_t GetSettingF() { return GetPacketSize(); }

    bool IsTimedOut();
    bool HasTimedOutNotice();
    float GetSendRate();
    bool GetFrameSync();
    int GetState();
    bool IsActive();
    // The remote side has shown that it receives what we send to its address
    // (a receipt came back).
    bool IsEstablished() const { return m_established.load(); }

    // Reliable on: packets go out sequenced and class 0 is resent until its receipt.
    void SetActive(bool on);
    // The remote side's REQUEST_RATE (already clamped).
    void OnRateDemand(float rate);
    void RequestPacketSize(uint32_t size);
    void RequestRate(uint32_t rate);
    uint32_t NextMessageKey();

    // Receiving: one datagram from this peer's address.
    void ReceivePacket(const uint8_t* data, size_t size, const SNetAddress& from);
    // Packs everything queued and sends it now, in as few packets as it fits
    // (messages queued with a delay, then one flush: a burst in full packets).
    void Flush();
    // Sends the receipts and loss hints owed now.
    void FlushReplies();

    // Delivers the messages filed in a frame that still sit in the given queue.
    static void ProcessIncoming(NWEFrame* frame, NWEQueue* queue);
    void Release();

    // Statistics.
    uint32_t GetPacketsIn();
    uint32_t GetPacketsOut();
    uint32_t GetPendingBytes();
    uint64_t GetHeldBytes();  // memory of the messages waiting to be sent or confirmed
    size_t GetUnackedCount();
    uint32_t GetUnackedBytes();
    uint64_t GetPartialBytes();  // memory held by unfinished incoming messages
    size_t GetPartialCount();
    uint64_t GetMessagesAcked();
    double GetSmoothedRtt();    // seconds, 0 before the first sample
    double GetResendTimeout();  // seconds
    int64_t NextResendDue();    // engine ticks, 0 when nothing waits

    // For tests that need the counters near their wrap.
    void SetSequenceCounter(uint32_t next);
    void SetKeyCounter(uint32_t next);

    NWEEngine* GetEngine() const { return m_engine; }
    NWESocket* GetSocket() const { return m_socket; }
    NWEMessageTypes* GetApplicationRegistry() const { return m_application; }
    const char* GetName() const { return m_name.GetText(); }

private:
    friend class NWESocket;
    enum class EPack { Full, Done };
    enum class EQueueState { Empty, Waiting, Blocked };

    // A queue of messages waiting to be packed, in priority order (under the
    // peer's lock).
    struct SSendQueue {
        std::deque<NWEMessage*> levels[NWEQueue::kPriorities];
        size_t count = 0;
        void Put(NWEMessage* m);
    };
    // An unfinished incoming message: its parts as they arrived, never
    // overlapping, so its memory is what arrived and no more.
    struct SPartial {
        bool haveFirst = false;
        uint16_t id = 0;
        uint32_t total = 0;
        bool hasFrame = false;
        uint16_t frame = 0;
        bool acknowledged = false;
        std::map<uint32_t, std::vector<uint8_t>> pieces;  // offset -> bytes
        uint64_t bytes = 0;                               // payload bytes held
        uint64_t accounted = 0;                           // bytes plus bookkeeping, counted into the budgets
        int64_t lastProgress = 0;
    };

    NWEMessageType* LookUp(uint32_t id);    // taken shared
    NWEMessageType* PeekType(uint32_t id);  // not taken: for messages this peer sends
    NWEMessagePtr MakeMessage(uint16_t id, NWEMessageType* type, const void* data, uint32_t size);
    bool SendLocal(uint16_t id, const void* data, uint32_t size, NWEList* group, uint16_t cls,
                   uint16_t frame);

    // Sending (PeerSend.cpp); all under m_lock.
    SSendQueue& SendQueueFor(uint16_t cls);
    SPacketRecord* Slot(bool acknowledged);
    EPack PackInto(SPacketRecord* rec, NWEMessage* m);
    bool SendSlot(bool acknowledged, bool force);
    NWEMessage* MakeSent(uint16_t id, NWEMessageType* type, const void* data, uint32_t size);
    void Settle(NWEMessage* m);
    void DropQueued();
    bool PackAndSend(NWEMessage* m, bool acknowledged);
    EQueueState PackQueue(SSendQueue& q);
    void PackQueues();
    void PackRepliesInto(SPacketRecord* rec);
    bool HasRepliesDue() const { return !m_receiptsDue.empty() || !m_hintsDue.empty(); }
    void FinishSent(NWEMessage* m, bool delivered, SLeaveBatch* batch = nullptr);
    void Acknowledge(uint32_t sequence);
    void OnLossHint(uint32_t sequence);
    void OnRecordSent(SPacketRecord* r, int64_t now);
    void ReleaseRecord(SPacketRecord* r);
    // Gives a record back whose messages did not arrive: they fail their groups.
    void FailRecord(SPacketRecord* r);
    void ResendDue(int64_t now, std::vector<NWEMessagePtr>* deliver);
    // The link is dead: everything unconfirmed fails, and the peer times out
    // as a silent one does (a notification to deliver may be added).
    void FailLink(std::vector<NWEMessagePtr>* deliver);
    void RefillBudget(int64_t now);
    int64_t CurrentTimeout();
    void TakeRttSample(double seconds);
    void NotifyTimeout(std::vector<NWEMessagePtr>* deliver);

    // Receiving (PeerReceive.cpp); all under m_lock.
    bool CheckParts(const SDatagram& d, const SNetAddress& from, uint64_t* addedBytes);
    // Counts and reports a refused packet; always false.
    bool Refuse(const SNetAddress& from, const char* fmt, ...);
    bool IsNearFrame(uint16_t id, uint16_t frame);
    bool AcceptSequence(const SPacketHeader& h);
    bool HeaderFits(const SDatagram& d, const SNetAddress& from);
    bool SequenceSeen(uint32_t s, bool* tooOld);
    void MarkSequence(uint32_t s);
    void Reassemble(const SDatagram& d, const SNetAddress& from, int64_t now,
                    std::vector<NWEMessagePtr>* out);
    void AddPiece(uint32_t key, const SWirePart& p, bool acknowledged, int64_t now, const SNetAddress& from,
                  std::vector<NWEMessagePtr>* out);
    void DropPartial(std::map<uint32_t, SPartial>::iterator it);
    void ExpirePartials(int64_t now);
    void Deliver(const std::vector<NWEMessagePtr>& complete);
    bool IsFramed(const NWEMessageType* t, bool hasFrame) const;

    NWEEngine* m_engine;
    NWESocket* m_socket;
    NWEMessageTypes* m_system;
    NWEMessageTypes* m_application;
    CStrBuf m_name;
    NWERefList m_links;                     // the entries this peer holds
    NWEListEntry* m_partnerLink = nullptr;  // names the local partner

    // One lock for the peer's state: queues, records, budget, receive state.
    // Lock order: a socket's peers lock, then a peer, then the socket's send lock.
    CSysCriticalSection m_lock;
    float m_resendInterval = 3.0f;
    float m_duplicateFilter = 17.0f;
    float m_ownRate = 500000.0f;
    float m_remoteDemand = 500000.0f;
    bool m_remoteDemandPresent = false;
    float m_keepAliveInterval = 1.0f;
    bool m_keepAlive = false;
    std::atomic<bool> m_frameSync{false};
    bool m_timeoutCheck = true;
    std::atomic<bool> m_markedForRemoval{false};
    bool m_rateFromRemote = false;
    float m_timeout = 15.0f;
    uint32_t m_requestedPacketSize = 1024;
    uint32_t m_packetSize = 992;
    uint32_t m_receiveSeed = 0;
    uint32_t m_sendSeed = 0;
    SNetAddress m_address;
    bool m_reliable = false;
    std::atomic<int> m_state{kStateNew};
    std::atomic<bool> m_established{false};

    SPacketRecord* m_ackSlot = nullptr;
    SPacketRecord* m_unackSlot = nullptr;
    std::map<uint32_t, SPacketRecord*> m_unacked;  // by sequence number: waiting for receipts
    uint32_t m_unackedBytes = 0;
    bool m_windowBlocked = false;  // a packet waits for receipts to free the window
    uint32_t m_sendWindow = kDefaultSendWindow;
    uint32_t m_queueLimit = kDefaultQueueLimit;
    std::vector<SPacketRecord*> m_raw;
    SSendQueue m_class0, m_class1, m_class2;
    SGroupCache m_groupCache;
    std::vector<uint32_t> m_receiptsDue, m_hintsDue;  // sequence numbers

    float m_budget = 5000.0f;
    int64_t m_lastRefill = 0;
    uint32_t m_keyCounter = 1;
    uint32_t m_sequenceCounter = 1;
    float m_grantedRate = 500000.0f;
    uint32_t m_packetsIn = 0, m_packetsOut = 0;
    float m_bytesIn = 0, m_bytesOut = 0;
    int64_t m_deadline = 0;
    float m_burst = 0;
    int64_t m_keepAliveDue = 0;
    bool m_excluded = false;
    bool m_timeoutNoticed = false;  // the silence was reported once
    // True while the peer lives; shared with the messages it received.
    std::shared_ptr<std::atomic<bool>> m_alive = std::make_shared<std::atomic<bool>>(true);
    uint32_t m_pending = 0;
    uint64_t m_heldBytes = 0;
    uint64_t m_messagesAcked = 0;

    double m_srtt = 0, m_rttvar = 0;
    bool m_haveRtt = false;

    uint32_t m_receiveHigh = 0;  // highest sequence number received (0: none yet)
    std::bitset<kSequenceWindow> m_received;
    uint32_t m_farAhead = 0;                  // the last sequence number refused as far ahead
    std::map<uint32_t, SPartial> m_partials;  // by message key
    uint64_t m_partialBytes = 0;              // their accounted bytes
    SDatagram m_datagram;                     // scratch of the receive path

    // The socket's list of its peers and its address map (under the
    // socket's peers lock): a link of any number of peers is reached, and
    // leaves, in a few steps.
    NWEPeer* m_socketPrev = nullptr;
    NWEPeer* m_socketNext = nullptr;
    bool m_socketLinked = false;
    bool m_addressMapped = false;  // m_byAddress names this peer under m_addressKey
    uint64_t m_addressKey = 0;
    bool m_halfOpen = false;  // listed among the socket's half-open peers
    bool m_touched = false;   // reached by the socket's drain under way (under its receive lock)
};
