#include "core/CRC32.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "core/VFSFile.h"
#include "tests/support/TempDir.h"
#include "tools/lib/PackWriter.h"

TEST(CRC32, KnownValuesAndChaining) {
    CCRC32 crc;
    EXPECT_EQ(crc.Update("", 0), 0u);
    EXPECT_EQ(crc.Update("123456789", 9), 0xCBF43926u);
    CCRC32 pieces;
    pieces.Update("ab", 2);
    EXPECT_EQ(pieces.Update("c", 1), 0x352441C2u);
    EXPECT_EQ(CRC32_Compute("abc", 3), 0x352441C2u);
    uint32_t table[256];
    CRC32_BuildTable(table);
    for (int i = 0; i < 256; ++i) ASSERT_EQ(table[i], CRC32_Table()[i]);
}

TEST(CRC32, AgreesWithZlibOnEveryLength) {
    std::mt19937 rng(7);
    std::vector<unsigned char> data(4096 + 16);
    for (auto& b : data) b = static_cast<unsigned char>(rng());
    for (size_t len = 0; len <= 4096; ++len) {
        size_t start = len % 13;  // unaligned starts too
        uint32_t expect = static_cast<uint32_t>(crc32(0, data.data() + start, static_cast<uInt>(len)));
        ASSERT_EQ(CRC32_Compute(data.data() + start, len), expect) << "length " << len;
    }
    // Chained in uneven pieces, as a stream is fed.
    CCRC32 crc;
    for (size_t pos = 0; pos < 4096;) {
        size_t piece = std::min<size_t>(rng() % 100, 4096 - pos);
        crc.Update(data.data() + pos, piece);
        pos += piece;
    }
    EXPECT_EQ(crc.GetValue(), static_cast<uint32_t>(crc32(0, data.data(), 4096)));
}

TEST(CRC32, FileOfPackMemberEqualsLooseFile) {
    CTempDir dir;
    std::string content(200000, '\0');
    for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 31 + 7);
    ASSERT_TRUE(dir.Write("loose.bin", content));
    CPackWriter pack;
    pack.Add("first.txt", "something before");
    pack.Add("Data\\member.bin", content);
    ASSERT_TRUE(pack.WriteTo(dir.File("p.box")));

    CVFSTable table;
    ASSERT_TRUE(table.MountPack(dir.WinFile("p.box").c_str()));
    uint32_t expect =
        static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(content.data()), content.size()));
    EXPECT_EQ(CRC32_File(dir.WinFile("loose.bin").c_str()), expect);
    // Mount into the global table to read the member by name.
    ASSERT_TRUE(g_VFS.MountPack(dir.WinFile("p.box").c_str()));
    EXPECT_EQ(CRC32_File("data\\MEMBER.bin"), expect);

    bool found = true;
    EXPECT_EQ(CRC32_File(dir.WinFile("missing.bin").c_str(), &found), 0u);
    EXPECT_FALSE(found);
    ASSERT_TRUE(dir.Write("empty.bin", ""));
    EXPECT_EQ(CRC32_File(dir.WinFile("empty.bin").c_str(), &found), 0u);
    EXPECT_TRUE(found);
}
