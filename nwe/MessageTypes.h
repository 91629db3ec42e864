// Message-type registries.
#pragma once

#include <atomic>
#include <cstdint>

#include "core/StrBuf.h"
#include "nwe/AccessGuard.h"
#include "platform/sys/Thread.h"

class NWEEngine;
class NWEPeer;
class NWEMessage;
class NWEQueue;
class NWEFrameTable;

typedef void (*NWEHandler)(NWEPeer* peer, NWEMessage* message, void* context);

// One registered type and the settings that decide how its messages are
// queued, sent, acknowledged and delivered.
class NWEMessageType {
public:
    NWEAccessGuard m_guard;
    uint16_t m_id = 0;
    NWEHandler m_handler = nullptr;
    void* m_context = nullptr;
    NWEQueue* m_queue = nullptr;            // delivery queue, or none
    NWEFrameTable* m_frameTable = nullptr;  // lockstep frames, or none
    CSysEvent* m_event = nullptr;           // signalled when a message arrives
    uint16_t m_class = 0;                   // 0 acknowledged, 1 unacknowledged, 2+ after class 0
    uint16_t m_delay = 0;                   // 0: packed and sent by the send call
    uint8_t m_priority = 5;                 // 0..11, lower first
    uint8_t m_direct = 0;                   // 1: handled on the receiving thread
    uint8_t m_shortHeader = 0;              // 1: 4-byte header, one part, no key or frame
    uint32_t m_frameFlags = 0;              // OR-ed into a frame's value when filed
    CStrBuf m_name;

    void SetOption(uint32_t flags) { m_frameFlags = flags; }
    void CallHandler(NWEPeer* peer, NWEMessage* message) {
        if (m_handler) m_handler(peer, message, m_context);
    }
};

// A registry of message types. Registration happens at start-up; lookups come
// from every thread for every message, so they take no lock: the descriptors
// sit in pages of atomic pointers and live as long as the registry.
class NWEMessageTypes {
public:
    static constexpr uint16_t kMaxId = 32767;
    explicit NWEMessageTypes(NWEEngine* engine);
    ~NWEMessageTypes();
    NWEMessageTypes(const NWEMessageTypes&) = delete;
    NWEMessageTypes& operator=(const NWEMessageTypes&) = delete;

    // 0 registered, 1 id above 32767, 2 id already taken.
    int Register(const char* name, uint32_t id, NWEHandler handler, void* context, NWEQueue* queue,
                 NWEFrameTable* frameTable, CSysEvent* event, uint16_t cls, uint8_t priority, uint16_t delay,
                 uint8_t direct, uint8_t shortHeader);
    // The descriptor taken shared, or null when the id is out of range, free or
    // closing. Give it back with Release.
    NWEMessageType* Get(uint32_t id);
    void Release(NWEMessageType* type);
    // The descriptor without a reference (valid as long as the registry), or
    // null when the id is out of range or free.
    NWEMessageType* Peek(uint32_t id) const { return Find(id); }
    // -1 unknown, 0 long header, 1 short header (no reference kept).
    int Kind(uint32_t id);
    uint32_t Overhead(uint32_t id, uint32_t size, uint32_t parts);
    size_t GetLength();
    // The engine is going first: forget it.
    void DetachEngine() { m_engine = nullptr; }

    NWEAccessGuard m_guard;

private:
    static constexpr uint32_t kPageSize = 256;
    static constexpr uint32_t kPages = (kMaxId + 1) / kPageSize;
    NWEMessageType* Find(uint32_t id) const;

    NWEEngine* m_engine;
    CSysCriticalSection m_lock;  // registration
    std::atomic<std::atomic<NWEMessageType*>*> m_pages[kPages] = {};
    std::atomic<size_t> m_length{0};
};
