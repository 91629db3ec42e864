#include "nwe/Wire.h"

#include <algorithm>
#include <cstring>

size_t NWE_PacketHeaderSize(EPacketForm form) {
    switch (form) {
        case EPacketForm::SequencedCrc:
            return 11;
        case EPacketForm::Sequenced:
            return 7;
        case EPacketForm::UnsequencedCrc:
            return 6;
        case EPacketForm::Unsafe:
            return 10;
        case EPacketForm::Bare:
            return 2;
    }
    return 2;
}

// The CRC of a datagram covers the messages behind its header: bytes 11 to
// the end in the sequenced form, 6 and 10 to the end in the two unsequenced
// forms, continued from the seed. The header itself is not covered, so a
// peer built to the format reads our datagrams and we read its. A header
// damaged on the way is caught by what it must agree with instead: its
// message count with the messages the bytes hold (NWE_ParseMessages uses
// them up exactly), its sequence number with the receive window and its tries
// byte with its receipt bit (NWEPeer::AcceptSequence); nwe/README.md says
// what such a header can still do. On a real network UDP's own checksum
// stands in front of all of it.
uint32_t NWE_DatagramCrc(uint32_t seed, const uint8_t* datagram, size_t size, size_t crcOffset) {
    size_t start = crcOffset + 4;
    return NWE_PacketCrc(seed, datagram + start, size - start);
}

size_t NWE_CrcCoveredStart(const uint8_t* datagram, size_t size) {
    if (size < 2) return size;
    uint16_t w = NWE_Get16(datagram);
    size_t start = size;
    if (w & kWireSequenced) {
        if (size >= 7 && (datagram[6] & 0x80)) start = 11;
    } else if (w & kWireCrc) {
        start = (w & kWireUnsafe) ? 10 : 6;
    }
    return start < size ? start : size;
}

size_t NWE_WritePacketHeader(uint8_t* buffer, size_t length, EPacketForm form, uint16_t count,
                             uint32_t sequence, bool receiptWanted, uint8_t tries, uint32_t seed) {
    size_t h = NWE_PacketHeaderSize(form);
    size_t start = kPacketHeaderReserve - h;
    uint8_t* p = buffer + start;
    size_t size = length - start;
    uint16_t w = count & kWireCountMask;
    uint32_t seqWord = (sequence & 0x7FFFFFFFu) | (receiptWanted ? 0x80000000u : 0u);
    switch (form) {
        case EPacketForm::SequencedCrc:
            NWE_Put16(p, w | kWireSequenced);
            NWE_Put32(p + 2, seqWord);
            p[6] = static_cast<uint8_t>((tries & 0x7F) | 0x80);
            NWE_Put32(p + 7, NWE_DatagramCrc(seed, p, size, 7));
            break;
        case EPacketForm::Sequenced:
            NWE_Put16(p, w | kWireSequenced);
            NWE_Put32(p + 2, seqWord);
            p[6] = static_cast<uint8_t>(tries & 0x7F);
            break;
        case EPacketForm::UnsequencedCrc:
            NWE_Put16(p, w | kWireCrc);
            NWE_Put32(p + 2, NWE_DatagramCrc(seed, p, size, 2));
            break;
        case EPacketForm::Unsafe:
            NWE_Put16(p, w | kWireCrc | kWireUnsafe);
            NWE_Put32(p + 2, seed);
            NWE_Put32(p + 6, NWE_DatagramCrc(seed, p, size, 6));
            break;
        case EPacketForm::Bare:
            NWE_Put16(p, w);
            break;
    }
    return start;
}

EHeaderError NWE_ReadPacketHeader(const uint8_t* data, size_t size, uint32_t crcSeed, bool crcRequired,
                                  SPacketHeader* out) {
    if (size < 2) return EHeaderError::TooShort;
    SPacketHeader h;
    uint16_t w = NWE_Get16(data);
    h.count = w & kWireCountMask;
    if (w & kWireSequenced) {
        if (size < 7) return EHeaderError::TooShort;
        h.form = (data[6] & 0x80) ? EPacketForm::SequencedCrc : EPacketForm::Sequenced;
    } else if (w & kWireCrc) {
        h.form = (w & kWireUnsafe) ? EPacketForm::Unsafe : EPacketForm::UnsequencedCrc;
    } else {
        h.form = EPacketForm::Bare;
    }
    h.size = NWE_PacketHeaderSize(h.form);
    // The smallest datagram carries one empty short message.
    if (size < h.size + kShortHeaderOverhead) return EHeaderError::TooShort;
    // The CRC covers the bytes behind the header (NWE_DatagramCrc).
    switch (h.form) {
        case EPacketForm::SequencedCrc:
        case EPacketForm::Sequenced: {
            uint32_t s = NWE_Get32(data + 2);
            h.sequence = s & 0x7FFFFFFFu;
            h.receiptWanted = (s & 0x80000000u) != 0;
            h.tries = data[6] & 0x7F;
            if (h.form == EPacketForm::Sequenced) {
                if (crcRequired) return EHeaderError::NoCrc;
                break;
            }
            h.crc = NWE_Get32(data + 7);
            if (NWE_DatagramCrc(crcSeed, data, size, 7) != h.crc) {
                *out = h;
                return EHeaderError::BadCrc;
            }
            break;
        }
        case EPacketForm::UnsequencedCrc:
            h.crc = NWE_Get32(data + 2);
            if (NWE_DatagramCrc(crcSeed, data, size, 2) != h.crc) {
                *out = h;
                return EHeaderError::BadCrc;
            }
            break;
        case EPacketForm::Unsafe:
            h.clearSeed = NWE_Get32(data + 2);
            h.crc = NWE_Get32(data + 6);
            if (NWE_DatagramCrc(h.clearSeed, data, size, 6) != h.crc) {
                *out = h;
                return EHeaderError::BadCrc;
            }
            break;
        case EPacketForm::Bare:
            if (crcRequired) return EHeaderError::NoCrc;
            break;
    }
    *out = h;
    if (h.count > kMaxMessagesPerPacket) return EHeaderError::TooManyMessages;
    return EHeaderError::None;
}

namespace {

// Bounded cursor over the message bytes of one datagram.
struct SCursor {
    const uint8_t* p;
    size_t left;
    bool Take(size_t n, const uint8_t** at) {
        if (n > left) return false;
        *at = p;
        p += n;
        left -= n;
        return true;
    }
    bool U8(uint8_t* v) {
        const uint8_t* a;
        if (!Take(1, &a)) return false;
        *v = a[0];
        return true;
    }
    bool U16(uint16_t* v) {
        const uint8_t* a;
        if (!Take(2, &a)) return false;
        *v = NWE_Get16(a);
        return true;
    }
    bool U32(uint32_t* v) {
        const uint8_t* a;
        if (!Take(4, &a)) return false;
        *v = NWE_Get32(a);
        return true;
    }
    // Part count: u16 below 32768, else u16 (count >> 16) | 0x8000 then u16 low.
    bool PartCount(uint32_t* v) {
        uint16_t hi;
        if (!U16(&hi)) return false;
        if (!(hi & 0x8000)) {
            *v = hi;
            return true;
        }
        uint16_t lo;
        if (!U16(&lo)) return false;
        *v = (static_cast<uint32_t>(hi & 0x7FFF) << 16) | lo;
        return true;
    }
};

}  // namespace

EParseError NWE_ParseMessages(const uint8_t* data, size_t size, unsigned count, NWEIdKindFn kind,
                              void* context, std::vector<SWirePart>* out) {
    out->clear();
    if (count > kMaxMessagesPerPacket) return EParseError::TooManyMessages;
    SCursor c{data, size};
    for (unsigned i = 0; i < count; ++i) {
        SWirePart part;
        uint8_t b0;
        if (!c.U8(&b0)) return EParseError::Truncated;
        if (b0 & 0x80) {
            // Continuation: key, part word, offset, bytes, [part count].
            part.start = false;
            uint16_t keyLow, word;
            if (!c.U16(&keyLow) || !c.U16(&word)) return EParseError::Truncated;
            part.key = (static_cast<uint32_t>(b0 & 0x7F) << 16) | keyLow;
            if (word & 0x4000) {
                if (!c.U32(&part.offset)) return EParseError::Truncated;
            } else {
                uint16_t o;
                if (!c.U16(&o)) return EParseError::Truncated;
                part.offset = o;
            }
            part.length = word & 0x3FFF;
            part.last = (word & 0x8000) != 0;
            if (!c.Take(part.length, &part.data)) return EParseError::Truncated;
            if (static_cast<uint64_t>(part.offset) + part.length > 0xFFFFFFFFull) return EParseError::BadSize;
            if (part.last) {
                if (!c.PartCount(&part.partCount)) return EParseError::Truncated;
                if (part.partCount < 2) return EParseError::BadSize;  // a continuation implies a first part
            }
            out->push_back(part);
            continue;
        }
        uint8_t b1;
        if (!c.U8(&b1)) return EParseError::Truncated;
        part.id = static_cast<uint16_t>((b0 << 8) | b1);
        int k = kind(part.id, context);
        if (k < 0) {
            out->push_back(part);  // names the id for the report
            return EParseError::UnknownId;
        }
        if (k == 1) {
            part.shortHeader = true;
            uint16_t len;
            if (!c.U16(&len)) return EParseError::Truncated;
            part.length = part.total = len;
            if (!c.Take(len, &part.data)) return EParseError::Truncated;
            part.last = true;
            part.partCount = 1;
            out->push_back(part);
            continue;
        }
        uint8_t keyHigh;
        uint16_t keyLow, word;
        if (!c.U8(&keyHigh) || !c.U16(&keyLow)) return EParseError::Truncated;
        part.key = (static_cast<uint32_t>(keyHigh & 0x7F) << 16) | keyLow;
        if (keyHigh & 0x80) {
            part.hasFrame = true;
            if (!c.U16(&part.frame)) return EParseError::Truncated;
            if (part.frame == 0 || part.frame > kLastFrameNumber) return EParseError::BadFrame;
        }
        if (!c.U16(&word)) return EParseError::Truncated;
        if (word & 0x4000) {
            if (!c.U32(&part.total)) return EParseError::Truncated;
        } else {
            uint16_t t;
            if (!c.U16(&t)) return EParseError::Truncated;
            part.total = t;
        }
        part.length = word & 0x3FFF;
        part.last = (word & 0x8000) != 0;
        if (part.length > part.total) return EParseError::BadSize;
        if (!c.Take(part.length, &part.data)) return EParseError::Truncated;
        if (part.last) {
            if (!c.PartCount(&part.partCount)) return EParseError::Truncated;
            // The part that ends the payload: a first part can only be it alone.
            if (part.partCount != 1 || part.length != part.total) return EParseError::BadSize;
        }
        out->push_back(part);
    }
    if (c.left != 0) return EParseError::LeftOver;
    return EParseError::None;
}

size_t NWE_ShortMessageSize(size_t payload) {
    return kShortHeaderOverhead + payload;
}

size_t NWE_WriteShortMessage(uint8_t* out, size_t room, uint16_t id, const uint8_t* payload, uint16_t size) {
    size_t n = NWE_ShortMessageSize(size);
    if (n > room) return 0;
    out[0] = static_cast<uint8_t>((id >> 8) & 0x7F);
    out[1] = static_cast<uint8_t>(id & 0xFF);
    NWE_Put16(out + 2, size);
    if (size) std::memcpy(out + 4, payload, size);
    return n;
}

size_t NWE_FirstPartHeaderSize(bool hasFrame, uint32_t total) {
    return 2 + 3 + (hasFrame ? 2 : 0) + 2 + (total > 0xFFFF ? 4 : 2);
}

size_t NWE_ContinuationHeaderSize(uint32_t offset) {
    return 3 + 2 + (offset > 0xFFFF ? 4 : 2);
}

size_t NWE_PartCountSize(uint32_t parts) {
    return parts < 32768 ? 2 : 4;
}

static uint8_t* PutPartCount(uint8_t* p, uint32_t parts) {
    if (parts < 32768) {
        NWE_Put16(p, static_cast<uint16_t>(parts));
        return p + 2;
    }
    NWE_Put16(p, static_cast<uint16_t>((parts >> 16) | 0x8000));
    NWE_Put16(p + 2, static_cast<uint16_t>(parts & 0xFFFF));
    return p + 4;
}

size_t NWE_WriteFirstPart(uint8_t* out, size_t room, uint16_t id, uint32_t key, bool hasFrame, uint16_t frame,
                          uint32_t total, const uint8_t* bytes, uint32_t length, bool last,
                          uint32_t partCount) {
    size_t n = NWE_FirstPartHeaderSize(hasFrame, total) + length + (last ? NWE_PartCountSize(partCount) : 0);
    if (n > room || length > 0x3FFF) return 0;
    uint8_t* p = out;
    *p++ = static_cast<uint8_t>((id >> 8) & 0x7F);
    *p++ = static_cast<uint8_t>(id & 0xFF);
    *p++ = static_cast<uint8_t>(((key >> 16) & 0x7F) | (hasFrame ? 0x80 : 0));
    NWE_Put16(p, static_cast<uint16_t>(key & 0xFFFF));
    p += 2;
    if (hasFrame) {
        NWE_Put16(p, frame);
        p += 2;
    }
    bool wide = total > 0xFFFF;
    NWE_Put16(p, static_cast<uint16_t>(length | (wide ? 0x4000 : 0) | (last ? 0x8000 : 0)));
    p += 2;
    if (wide) {
        NWE_Put32(p, total);
        p += 4;
    } else {
        NWE_Put16(p, static_cast<uint16_t>(total));
        p += 2;
    }
    if (length) std::memcpy(p, bytes, length);
    p += length;
    if (last) p = PutPartCount(p, partCount);
    return static_cast<size_t>(p - out);
}

size_t NWE_WriteContinuation(uint8_t* out, size_t room, uint32_t key, uint32_t offset, const uint8_t* bytes,
                             uint32_t length, bool last, uint32_t partCount) {
    size_t n = NWE_ContinuationHeaderSize(offset) + length + (last ? NWE_PartCountSize(partCount) : 0);
    if (n > room || length > 0x3FFF) return 0;
    uint8_t* p = out;
    *p++ = static_cast<uint8_t>(0x80 | ((key >> 16) & 0x7F));
    NWE_Put16(p, static_cast<uint16_t>(key & 0xFFFF));
    p += 2;
    bool wide = offset > 0xFFFF;
    NWE_Put16(p, static_cast<uint16_t>(length | (wide ? 0x4000 : 0) | (last ? 0x8000 : 0)));
    p += 2;
    if (wide) {
        NWE_Put32(p, offset);
        p += 4;
    } else {
        NWE_Put16(p, static_cast<uint16_t>(offset));
        p += 2;
    }
    if (length) std::memcpy(p, bytes, length);
    p += length;
    if (last) p = PutPartCount(p, partCount);
    return static_cast<size_t>(p - out);
}

float NWE_RefillBudget(float budget, double elapsed, float rate, float ceiling) {
    if (elapsed <= 0) return budget;
    float b = budget + static_cast<float>(elapsed * rate);
    b = std::min(b, std::max(rate, 2000.0f));
    b = std::min(b, std::max(ceiling, 2000.0f));
    return std::max(budget, b);
}

int64_t NWE_SequenceDiff(uint32_t a, uint32_t b) {
    const int64_t m = kMaxSequence;
    int64_t d = (static_cast<int64_t>(a) - static_cast<int64_t>(b)) % m;
    if (d < 0) d += m;
    if (d > m / 2) d -= m;
    return d;
}

uint32_t NWE_NextSequence(uint32_t s) {
    return s >= kMaxSequence ? 1 : s + 1;
}
