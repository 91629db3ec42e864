// What a client's sync report names, and the server's record of its own
// checks to weigh it against.
//
// A client reports (SYNC_REPORT, 158) when a check the server sent does not
// hold on its world, or when it had to run a frame it did not have whole.
// The message table gives 158 no payload; ours carries what the client found
// so that the server can see for itself that something differs before it
// stops every machine for a resync: a report that names nothing, or names a
// check whose value the client has as the server sent it, is refused.
//   11 bytes: u16 the frame of the check, u8 kind, i32 object id (-1 none),
//   u32 the client's value:
//     1 object check (CHECKUNIT): the client's sync CRC of the object
//     2 object check of an object the client does not have: 0
//     3 id counter check (CHECKUNITTREE): the client's object-id counter
//     4 a frame run short of its messages: the messages it had of it
// Written by SyncReport_Write (the client's handlers), read by
// SyncReport_Read (the server's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>

class CStateArchive;

enum ESyncReportKind : uint8_t {
    kReportObjectCrc = 1,
    kReportNoObject = 2,
    kReportIdCounter = 3,
    kReportShortFrame = 4,
};

struct SSyncReport {
    uint16_t frame = 0;
    uint8_t kind = 0;
    int32_t id = -1;
    uint32_t value = 0;
};

constexpr uint32_t kSyncReportSize = 11;

void SyncReport_Write(CStateArchive& ar, const SSyncReport& report);
bool SyncReport_Read(const uint8_t* data, size_t size, SSyncReport* out);

// The server's checks of the last frames: each object check (id and the sync
// CRC sent), each id counter check and each frame's message count as
// announced.
class CSentChecks {
public:
    // How many checks are kept (some thousand frames' worth).
    static constexpr size_t kKept = 8192;

    void NoteObject(uint16_t frame, int32_t id, uint32_t crc) { Note(frame, kReportObjectCrc, id, crc); }
    void NoteIdCounter(uint16_t frame, uint32_t counter) { Note(frame, kReportIdCounter, -1, counter); }
    void NoteFrameCount(uint16_t frame, uint32_t count) { Note(frame, kReportShortFrame, -1, count); }
    // True when the report names a check of these that its value contradicts:
    // an object CRC or id counter other than the one sent, an object the
    // server checked that the client has not, a frame the client had fewer or
    // more messages of than were announced.
    bool Agrees(const SSyncReport& report) const;
    void Clear() { m_checks.clear(); }

private:
    struct SCheck {
        uint16_t frame;
        uint8_t kind;
        int32_t id;
        uint32_t value;
    };
    void Note(uint16_t frame, uint8_t kind, int32_t id, uint32_t value);
    std::deque<SCheck> m_checks;  // oldest first
};
