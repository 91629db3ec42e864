// The datagram format byte for byte, and the checks that refuse what does not
// fit it.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/nwe/NweTestKit.h"

namespace {

int KnownIds(uint16_t id, void*) {
    if (id < 6 || id == 92 || id == 80 || id == 82) return 1;  // short header
    if (id == 134 || id == 200) return 0;                      // long header
    return -1;
}

}  // namespace

// The CRC fields here are the plain CRC-32 of the messages behind the header
// (bytes 11, 6 or 10 to the end) continued from the seed, as a peer built to
// the format computes them (the expected values come from zlib's crc32).
TEST(NweWire, HeaderFormsByteForByte) {
    struct SCase {
        const char* name;
        EPacketForm form;
        uint32_t seq;
        bool receipt;
        uint32_t seed;
        const char* messages;
        const char* datagram;
    } cases[] = {
        {"sequenced, receipt, seed 13", EPacketForm::SequencedCrc, 1, true, 13, "00 5c 04 00 78 56 34 12",
         "01 80 01 00 00 80 ff a3 53 ea 0f 00 5c 04 00 78 56 34 12"},
        {"receipt message, seed 13", EPacketForm::SequencedCrc, 1, false, 13, "00 00 04 00 01 00 00 00",
         "01 80 01 00 00 00 ff cb ef 0a dd 00 00 04 00 01 00 00 00"},
        {"unsafe form, seed 0", EPacketForm::Unsafe, 0, false, 0, "00 50 09 00 0d 00 00 00 01 42 6f 62 00",
         "01 60 00 00 00 00 62 f9 30 a1 00 50 09 00 0d 00 00 00 01 42 6f 62 00"},
        {"unsequenced with CRC, seed 13", EPacketForm::UnsequencedCrc, 0, false, 13,
         "00 52 04 00 07 00 00 00", "01 40 89 48 2b 4c 00 52 04 00 07 00 00 00"},
        {"sequenced without CRC", EPacketForm::Sequenced, 0x01020304, true, 13, "00 5c 00 00",
         "01 80 04 03 02 81 7f 00 5c 00 00"},
        {"bare", EPacketForm::Bare, 0, false, 0, "00 5c 00 00", "01 00 00 5c 00 00"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> d = MakeDatagram(c.form, 1, c.seq, c.receipt, 127, c.seed, Hex(c.messages));
        EXPECT_EQ(d, Hex(c.datagram));
        SPacketHeader h;
        ASSERT_EQ(NWE_ReadPacketHeader(d.data(), d.size(), c.seed, false, &h), EHeaderError::None);
        EXPECT_EQ(h.form, c.form);
        EXPECT_EQ(h.count, 1);
        EXPECT_EQ(h.sequence, c.seq);
        EXPECT_EQ(h.receiptWanted, c.receipt);
    }
}

TEST(NweWire, MessageHeadersByteForByte) {
    // A framed long message in one part: id 134, key 5, frame 100, 44 bytes.
    std::vector<uint8_t> body(44, 0xAB);
    std::vector<uint8_t> out(64);
    size_t n = NWE_WriteFirstPart(out.data(), out.size(), 134, 5, true, 100, 44, body.data(), 44, true, 1);
    ASSERT_EQ(n, 13u + 44);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 11), Hex("00 86 80 05 00 64 00 2c 80 2c 00"));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 55, out.begin() + 57), Hex("01 00"));

    // A continuation with a 32-bit offset and a part count of 32768 or more.
    uint8_t three[3] = {1, 2, 3};
    n = NWE_WriteContinuation(out.data(), out.size(), 0x123456, 70000, three, 3, true, 40000);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
              Hex("92 56 34 03 c0 70 11 01 00 01 02 03 00 80 40 9c"));

    // A first part of a message over 64 KiB carries its total as u32.
    n = NWE_WriteFirstPart(out.data(), out.size(), 200, 0x7FFFFF, false, 0, 100000, three, 3, false, 0);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
              Hex("00 c8 7f ff ff 03 40 a0 86 01 00 01 02 03"));

    std::vector<SWirePart> parts;
    ASSERT_EQ(NWE_ParseMessages(out.data(), n, 1, KnownIds, nullptr, &parts), EParseError::None);
    EXPECT_EQ(parts[0].key, 0x7FFFFFu);
    EXPECT_EQ(parts[0].total, 100000u);
    EXPECT_FALSE(parts[0].last);
}

TEST(NweWire, HeaderChecks) {
    std::vector<uint8_t> empty = ShortMessage(92, {});
    std::vector<uint8_t> d = MakeDatagram(EPacketForm::UnsequencedCrc, 1, 0, false, 127, 13, empty);
    SPacketHeader h;
    ASSERT_EQ(d.size(), 10u);
    EXPECT_EQ(NWE_ReadPacketHeader(d.data(), 10, 13, true, &h), EHeaderError::None);
    EXPECT_EQ(NWE_ReadPacketHeader(d.data(), 9, 13, true, &h), EHeaderError::TooShort);
    // The receiver's own seed checks the sequenced and 6-byte forms.
    EXPECT_EQ(NWE_ReadPacketHeader(d.data(), 10, 8, true, &h), EHeaderError::BadCrc);
    d[9] ^= 0x10;
    EXPECT_EQ(NWE_ReadPacketHeader(d.data(), 10, 13, true, &h), EHeaderError::BadCrc);

    std::vector<uint8_t> plain = MakeDatagram(EPacketForm::Sequenced, 1, 5, false, 127, 0, empty);
    EXPECT_EQ(NWE_ReadPacketHeader(plain.data(), plain.size(), 0, true, &h), EHeaderError::NoCrc);
    EXPECT_EQ(NWE_ReadPacketHeader(plain.data(), plain.size(), 0, false, &h), EHeaderError::None);
    std::vector<uint8_t> bare = MakeDatagram(EPacketForm::Bare, 1, 0, false, 0, 0, empty);
    EXPECT_EQ(NWE_ReadPacketHeader(bare.data(), bare.size(), 0, true, &h), EHeaderError::NoCrc);

    std::vector<uint8_t> many = MakeDatagram(EPacketForm::SequencedCrc, 513, 1, false, 127, 0, empty);
    EXPECT_EQ(NWE_ReadPacketHeader(many.data(), many.size(), 0, true, &h), EHeaderError::TooManyMessages);
}

// The CRC covers the messages: one bit flipped anywhere behind the header,
// or in the CRC field, fails it. A bit flipped in the header's message count
// is caught by the messages, which no longer use up the datagram exactly;
// the other header fields are checked by the receiving peer (NweHostile).
TEST(NweWire, TheCrcCoversTheMessagesAndADamagedCountIsRefused) {
    std::vector<uint8_t> two = ShortMessage(92, {1, 2, 3, 4});
    std::vector<uint8_t> other = ShortMessage(80, {});
    two.insert(two.end(), other.begin(), other.end());
    NWEEngine engine{SNWEEngineSetup{false, nullptr, nullptr}};
    NWEMessageTypes application(&engine);
    NWEMessageTypes* system = engine.GetSystemRegistry();
    application.Register("92", 92, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 1, 0, 1);
    application.Register("80", 80, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 5, 1, 0, 1);
    for (EPacketForm form : {EPacketForm::SequencedCrc, EPacketForm::UnsequencedCrc, EPacketForm::Unsafe}) {
        SCOPED_TRACE(static_cast<int>(form));
        uint32_t seed = form == EPacketForm::Unsafe ? 0 : 13;
        std::vector<uint8_t> d = MakeDatagram(form, 2, 0x1234, true, 127, seed, two);
        SDatagram read;
        ASSERT_EQ(NWE_ReadDatagram(d.data(), d.size(), seed, true, system, &application, &read),
                  EDatagramError::None);
        size_t header = NWE_PacketHeaderSize(form);
        EXPECT_EQ(NWE_CrcCoveredStart(d.data(), d.size()), header);
        for (size_t bit = (header - 4) * 8; bit < d.size() * 8; ++bit) {
            std::vector<uint8_t> bad = d;
            bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            SPacketHeader h;
            EXPECT_EQ(NWE_ReadPacketHeader(bad.data(), bad.size(), seed, true, &h), EHeaderError::BadCrc)
                << "bit " << bit;
        }
        for (int bit = 0; bit < 10; ++bit) {
            std::vector<uint8_t> bad = d;
            bad[bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            EXPECT_NE(NWE_ReadDatagram(bad.data(), bad.size(), seed, true, system, &application, &read),
                      EDatagramError::None)
                << "count bit " << bit;
        }
    }
}

TEST(NweWire, MalformedMessagesAreRefused) {
    struct SCase {
        const char* name;
        unsigned count;
        const char* bytes;
        EParseError expect;
    } cases[] = {
        {"well formed", 1, "00 5c 02 00 aa bb", EParseError::None},
        {"short payload past the end", 1, "00 5c 05 00 aa bb", EParseError::Truncated},
        {"fewer messages than announced", 2, "00 5c 00 00", EParseError::Truncated},
        {"byte left over", 1, "00 5c 00 00 ff", EParseError::LeftOver},
        {"unknown id", 1, "00 63 00 00", EParseError::UnknownId},
        {"frame 0", 1, "00 86 80 01 00 00 00 01 80 01 00 ee 01 00", EParseError::BadFrame},
        {"frame 8192", 1, "00 86 80 01 00 00 20 01 80 01 00 ee 01 00", EParseError::BadFrame},
        {"part longer than its message", 1, "00 86 00 01 00 02 00 01 00 aa bb", EParseError::BadSize},
        {"single part short of its total", 1, "00 86 00 01 00 01 80 02 00 aa 01 00", EParseError::BadSize},
        {"single part claiming two parts", 1, "00 86 00 01 00 01 80 01 00 aa 02 00", EParseError::BadSize},
        {"continuation claiming one part", 1, "80 01 00 01 80 05 00 aa 01 00", EParseError::BadSize},
        {"part count cut short", 1, "80 01 00 01 80 05 00 aa 00 80", EParseError::Truncated},
        {"part length past the end", 1, "80 01 00 10 00 05 00 aa", EParseError::Truncated},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> b = Hex(c.bytes);
        std::vector<SWirePart> parts;
        EXPECT_EQ(NWE_ParseMessages(b.data(), b.size(), c.count, KnownIds, nullptr, &parts), c.expect);
    }
}

TEST(NweWire, CountersAndCrc) {
    EXPECT_EQ(NWE_NextSequence(0x7FFFFFFE), 1u);
    EXPECT_EQ(NWE_NextSequence(1), 2u);
    EXPECT_EQ(NWE_SequenceDiff(1, 0x7FFFFFFE), 1);
    EXPECT_EQ(NWE_SequenceDiff(0x7FFFFFFE, 1), -1);
    EXPECT_EQ(NWE_SequenceDiff(14, 10), 4);
    const char* nine = "123456789";
    EXPECT_EQ(NWE_PacketCrc(0, reinterpret_cast<const uint8_t*>(nine), 9), 0xCBF43926u);
}
