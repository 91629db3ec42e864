// One end of a conversation: a remote address on a socket, or a local partner
// peer in the same process.
#pragma once

#include <atomic>
#include <bitset>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "core/StrBuf.h"
#include "nwe/AccessGuard.h"
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
    static constexpr size_t kMaxPartials = 1024;
    // Lower bound of the resend time-out, in seconds.
    static constexpr float kMinResendTimeout = 0.004f;
    // Frames ahead of the current one a framed message may name.
    static constexpr int kFrameWindow = 1024;

    enum EState { kStateNew = 0, kStateRemote = 1, kStateOther = 2, kStateLocal = 3 };

    NWEPeer(NWESocket* socket, NWEMessageTypes* application, const char* name);
    virtual ~NWEPeer();
    NWEPeer(const NWEPeer&) = delete;
    NWEPeer& operator=(const NWEPeer&) = delete;

    // Periodic work (run for each peer by its socket's check).
    virtual void Update(bool fromTickThread);

    // Queues a message: 65535 in priority, immediacy or class takes the type's
    // default. A group counts the message until it is delivered or has failed
    // (class 0 only). `after` must be packed before this one. A frame number
    // other than 0 files the message into that frame at the receiver.
    virtual bool SendMessage(uint16_t id, const void* data, uint32_t size, NWEList* group = nullptr,
                             uint16_t priority = 65535, uint16_t immediacy = 65535, uint16_t cls = 65535,
                             uint16_t frame = 0, const NWEMessagePtr& after = nullptr);
    // Sends the header bytes followed by `length` bytes of an open file read at
    // `offset` (a map sent to a client).
    virtual bool SendById(uint16_t id, const void* header, uint32_t headerSize, class CVFSFile* file,
                          uint32_t offset, uint32_t length, NWEList* group = nullptr,
                          uint16_t priority = 65535, uint16_t immediacy = 65535, uint16_t frame = 0);
    // Drops a queued message that has not been packed yet.
    bool FlushMessage(uint32_t key);
    virtual bool SendByDataType(uint16_t id, const void* data, uint32_t size, uint16_t frame = 0);
    // One message in a fresh unsequenced packet to an explicit address.
    bool SendRaw(const SNetAddress& to, uint16_t id, const void* data, uint32_t size);

    void SetAddress(const SNetAddress& a);
    void GetAddress(SNetAddress* out);
    SNetAddress GetAddress();
    void LinkLocal(NWEPeer* partner);
    bool HasId(const NWEPeer* p) const { return m_partner == p; }

    void SetSettingC(float rate);  // own rate
    void SetKeepAlive(bool on);
    void SetFrameSync(bool on);
    void SetTimeoutCheck(bool on);
    void SetTimedOut(bool on);              // marks for removal
    void SetRateRequests(bool on);          // take the rate from the remote side
    void SetSettingD(float seconds);        // time-out
    void SetSettingE(uint32_t size);        // requested packet size
    void SetResendInterval(float seconds);  // upper bound of the resend back-off
    void SetKeepAliveInterval(float seconds);
    void SetReceiveCrcSeed(uint32_t seed);
    void SetSendCrcSeed(uint32_t seed);
    uint32_t GetSettingF();  // packet size
    bool IsTimedOut();
    bool HasTimedOutNotice();
    float GetSendRate();
    bool GetFrameSync();
    int GetState();
    bool IsActive();

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
    // Sends the queued receipts and loss hints now.
    void FlushReplies();

    // Delivers the messages filed in a frame that still sit in the given queue.
    static void ProcessIncoming(NWEFrame* frame, NWEQueue* queue);
    void Release();

    // Statistics.
    uint32_t GetPacketsIn();
    uint32_t GetPacketsOut();
    uint32_t GetPendingBytes();
    size_t GetUnackedCount();
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
    enum class EPack { Full, Done, Wait };
    struct SPartial {
        bool haveFirst = false;
        uint16_t id = 0;
        uint32_t total = 0;
        bool hasFrame = false;
        uint16_t frame = 0;
        bool acknowledged = false;
        std::vector<uint8_t> data;
        std::map<uint32_t, uint32_t> covered;  // start -> end of byte runs received
        uint64_t coveredBytes = 0;
        int64_t created = 0;
    };

    NWEMessageType* LookUp(uint32_t id);  // taken shared
    NWEMessagePtr MakeMessage(uint16_t id, NWEMessageType* type, const void* data, uint32_t size);
    bool SendLocal(uint16_t id, const void* data, uint32_t size, uint16_t frame);
    NWEQueue* SendQueueFor(uint16_t cls);
    SPacketRecord* Slot(bool acknowledged);
    EPack PackInto(SPacketRecord* rec, NWEMessage* m);
    bool SendSlot(bool acknowledged, bool force);
    bool PackAndSend(const NWEMessagePtr& m, bool acknowledged);
    bool PackQueue(NWEQueue* q);
    void PackRepliesInto(SPacketRecord* rec);
    void FinishSent(const NWEMessagePtr& m, bool delivered);
    void Acknowledge(uint32_t sequence);
    void OnLossHint(uint32_t sequence);
    void ReleaseRecord(SPacketRecord* r);
    // Gives a record back whose messages did not arrive: they fail their groups.
    void FailRecord(SPacketRecord* r);
    void ResendDue(int64_t now);
    void GiveUp();
    void RefillBudget(int64_t now);
    void QueueReply(uint16_t id, uint32_t value);
    int64_t CurrentTimeout();
    void TakeRttSample(double seconds);
    bool SequenceSeen(uint32_t s, bool* tooOld);
    void MarkSequence(uint32_t s);
    void ExpirePartials(int64_t now);
    bool IsFramed(const NWEMessageType* t, bool hasFrame) const;
    void NotifyTimeout(std::vector<NWEMessagePtr>* deliver);

    NWEEngine* m_engine;
    NWESocket* m_socket;
    NWEMessageTypes* m_system;
    NWEMessageTypes* m_application;
    CStrBuf m_name;

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
    NWEPeer* m_partner = nullptr;
    bool m_reliable = false;
    std::atomic<int> m_state{kStateNew};

    SPacketRecord* m_ackSlot = nullptr;
    SPacketRecord* m_unackSlot = nullptr;
    std::map<uint32_t, SPacketRecord*> m_unacked;  // by sequence number: waiting for receipts
    std::vector<SPacketRecord*> m_raw;
    NWEQueue m_replies{1}, m_class0{0}, m_class1{1}, m_class2{2};

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
    uint32_t m_pending = 0;
    uint64_t m_messagesAcked = 0;

    double m_srtt = 0, m_rttvar = 0;
    bool m_haveRtt = false;

    uint32_t m_receiveHigh = 0;  // highest sequence number received (0: none yet)
    std::bitset<kSequenceWindow> m_received;
    std::map<uint32_t, SPartial> m_partials;
    uint64_t m_partialBytes = 0;
};
