// The datagram format of the engine: packet headers in their five forms and
// the message headers inside a packet. Every reader here works on a bounded
// byte range and refuses anything that does not fit it exactly; nothing is
// acted on by these functions, so a datagram can be checked whole before any
// of it is recorded, acknowledged or delivered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Header word W: bits 0-9 the message count, bit 15 sequenced, bit 14
// unsequenced with CRC, bit 13 (with 14) the unsafe form with its seed in clear.
constexpr uint16_t kWireSequenced = 0x8000;
constexpr uint16_t kWireCrc = 0x4000;
constexpr uint16_t kWireUnsafe = 0x2000;
constexpr uint16_t kWireCountMask = 0x03FF;

constexpr int kMaxMessagesPerPacket = 512;
constexpr size_t kPacketBufferSize = 1500;
constexpr size_t kPacketHeaderReserve = 11;  // record payload starts here
constexpr size_t kMaxPacketSize = 1468;
constexpr uint32_t kMaxSequence = 0x7FFFFFFE;  // numbers run 1..this, then 1 again
constexpr uint8_t kInitialTries = 127;
constexpr uint32_t kMaxMessageKey = 0x7FFFFF;
// Lockstep frame numbers run 1..this and wrap to 1; 0 means "not framed".
constexpr uint16_t kLastFrameNumber = 8191;

// Overheads used for accounting queued bytes.
constexpr uint32_t kShortHeaderOverhead = 4;
constexpr uint32_t kPartOverhead = 13;
constexpr uint32_t kLongHeaderOverhead = 17;

enum class EPacketForm { SequencedCrc, Sequenced, UnsequencedCrc, Unsafe, Bare };

struct SPacketHeader {
    EPacketForm form = EPacketForm::Bare;
    uint16_t count = 0;     // messages announced
    uint32_t sequence = 0;  // 0 for unsequenced forms
    bool receiptWanted = false;
    uint8_t tries = 0;  // tries left, 0..127
    uint32_t crc = 0;
    uint32_t clearSeed = 0;  // the unsafe form's seed field
    size_t size = 0;         // header bytes
};

size_t NWE_PacketHeaderSize(EPacketForm form);

// CRC-32 of the bytes continued from a seed (a seed of 0 is the plain CRC).
uint32_t NWE_PacketCrc(uint32_t seed, const uint8_t* data, size_t size);
// The CRC a datagram carries: over the bytes behind its CRC field at
// `crcOffset` (7 in the sequenced form, 2 in the 6-byte form, 6 in the unsafe
// form), that is from byte 11, 6 or 10 to the end, continued from the seed.
uint32_t NWE_DatagramCrc(uint32_t seed, const uint8_t* datagram, size_t size, size_t crcOffset);

// Where the CRC of a datagram as it stands begins (11, 6 or 10), or its size
// when its form carries no CRC: the bytes a damaged bit is caught in.
size_t NWE_CrcCoveredStart(const uint8_t* datagram, size_t size);

// Writes the header of the given form in front of a record's payload. The
// record's buffer keeps kPacketHeaderReserve bytes free at its start and holds
// `length` bytes counted from the buffer's start; the header is written so that
// it ends right before the payload. Returns the offset where the datagram
// starts (kPacketHeaderReserve minus the header size).
size_t NWE_WritePacketHeader(uint8_t* buffer, size_t length, EPacketForm form, uint16_t count,
                             uint32_t sequence, bool receiptWanted, uint8_t tries, uint32_t seed);

// Reads and checks a packet header: the form bits, the datagram's minimum size
// (header plus one empty short message), and the CRC when the form has one.
// `crcSeed` is the receiver's seed for the sequenced and 6-byte forms; the
// unsafe form is checked with its own seed field. Returns false with a reason.
enum class EHeaderError { None, TooShort, NoCrc, BadCrc, TooManyMessages };
EHeaderError NWE_ReadPacketHeader(const uint8_t* data, size_t size, uint32_t crcSeed, bool crcRequired,
                                  SPacketHeader* out);

// One message or part as read from a packet. Pointers refer into the datagram.
struct SWirePart {
    bool start = true;  // a message start (short or long first part)
    bool shortHeader = false;
    uint16_t id = 0;
    uint32_t key = 0;
    bool hasFrame = false;
    uint16_t frame = 0;
    uint32_t total = 0;   // long first part: the message's total size
    uint32_t offset = 0;  // where the part's bytes go
    const uint8_t* data = nullptr;
    uint32_t length = 0;
    bool last = false;  // carries the part count
    uint32_t partCount = 0;
};

// How the receiver's registries know an id: -1 unknown, 0 long header, 1 short.
typedef int (*NWEIdKindFn)(uint16_t id, void* context);

enum class EParseError { None, Truncated, UnknownId, BadFrame, BadSize, LeftOver, TooManyMessages };

// Reads `count` messages back to back from the bytes after the packet header.
// Every length is checked against what is left, a long message's part against
// its total size, frame numbers against 1..kLastFrameNumber, and the messages must use up
// the bytes exactly.
EParseError NWE_ParseMessages(const uint8_t* data, size_t size, unsigned count, NWEIdKindFn kind,
                              void* context, std::vector<SWirePart>* out);

// Writers of the message headers. Each returns the bytes written, or 0 when
// `room` is too small. Sizes are for planning how much of a payload fits.
size_t NWE_ShortMessageSize(size_t payload);
size_t NWE_WriteShortMessage(uint8_t* out, size_t room, uint16_t id, const uint8_t* payload, uint16_t size);
size_t NWE_FirstPartHeaderSize(bool hasFrame, uint32_t total);
size_t NWE_ContinuationHeaderSize(uint32_t offset);
size_t NWE_PartCountSize(uint32_t parts);
size_t NWE_WriteFirstPart(uint8_t* out, size_t room, uint16_t id, uint32_t key, bool hasFrame, uint16_t frame,
                          uint32_t total, const uint8_t* bytes, uint32_t length, bool last,
                          uint32_t partCount);
size_t NWE_WriteContinuation(uint8_t* out, size_t room, uint32_t key, uint32_t offset, const uint8_t* bytes,
                             uint32_t length, bool last, uint32_t partCount);

// A byte budget refilled for elapsed seconds at a rate, capped at
// max(rate, 2000) and at max(ceiling, 2000); a budget already above the caps
// keeps its value.
float NWE_RefillBudget(float budget, double elapsed, float rate, float ceiling);

// Little-endian access.
inline uint16_t NWE_Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t NWE_Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void NWE_Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
inline void NWE_Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}

// Sequence numbers run 1..kMaxSequence and wrap to 1: the signed distance
// from b to a the short way round.
int64_t NWE_SequenceDiff(uint32_t a, uint32_t b);
uint32_t NWE_NextSequence(uint32_t s);
