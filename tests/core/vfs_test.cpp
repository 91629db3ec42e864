#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/CRC32.h"
#include "core/VFSFile.h"
#include "core/VFSMedia.h"
#include "platform/sys/Path.h"
#include "tests/support/TempDir.h"
#include "tools/lib/PackWriter.h"

namespace {

std::string ReadAll(CVFSFile& f) {
    std::string out;
    char buf[7];  // small on purpose: many reads
    while (f.Read(buf, sizeof buf) > 0) out.append(buf, f.BytesRead());
    return out;
}

std::string ReadMember(CVFSTable& table, const std::string& path) {
    CVFSFile f(path.c_str(), 161, &table);
    return f.IsOpen() ? ReadAll(f) : "<closed>";
}

// What a decoder reading the file through its own handle gets.
std::string ReadMedia(CVFSTable& table, const std::string& path) {
    std::unique_ptr<CMediaInput> in = VFS_OpenMedia(path.c_str(), &table);
    if (!in) return "<closed>";
    std::string out(size_t(in->Size()), '\0');
    uint8_t* at = reinterpret_cast<uint8_t*>(&out[0]);
    for (int got; (got = in->Read(at, 3)) > 0;) at += got;
    return out;
}

}  // namespace

TEST(VFSPack, WritePackBytesAndRemount) {
    CTempDir dir;
    CPackWriter source;
    source.Add("a", "xyz");
    source.Add("b\\c", "q");
    ASSERT_TRUE(source.WriteTo(dir.File("src.box")));

    CVFSTable table;
    ASSERT_TRUE(table.MountPack(dir.WinFile("src.box").c_str()));
    ASSERT_TRUE(table.WritePack(dir.WinFile("out.box").c_str()));
    const unsigned char expect[] = {0x78, 0x79, 0x7a, 0x71, 0x02, 0x00, 0x00, 0x00, 0x61, 0x00, 0x00, 0x00,
                                    0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x62, 0x5c, 0x63, 0x00, 0x03, 0x00,
                                    0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00};
    EXPECT_EQ(dir.Read("out.box"), std::string(reinterpret_cast<const char*>(expect), sizeof expect));

    CVFSTable again;
    ASSERT_TRUE(again.MountPack(dir.WinFile("out.box").c_str(), 0, -1));
    SVFSEntry* e = again.Find("B\\C");
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->size, 1u);
    EXPECT_EQ(ReadMember(again, "b/c"), "q");
    EXPECT_EQ(ReadMember(again, "A"), "xyz");
    ASSERT_NE(again.Find("b"), nullptr);
    EXPECT_TRUE(again.Find("b")->isFolder);
    EXPECT_FALSE(again.WritePack("Q:\\no\\such\\drive.box"));
}

// A pack is written beside the old one and renamed over it once whole: a
// write that fails leaves the old pack as it was, and a pack can be written
// again from its own members (which the old in-place write truncated first).
TEST(VFSPack, WritePackReplacesTheOldPackOnlyWhenWhole) {
    CTempDir dir;
    CPackWriter source;
    source.Add("MapData\\map.cfg", std::string(70000, 'm'));
    source.Add("visual.bin", "objects");
    ASSERT_TRUE(source.WriteTo(dir.File("MapData.box")));
    const std::string before = dir.Read("MapData.box");

    CVFSTable own;
    ASSERT_TRUE(own.MountPack(dir.WinFile("MapData.box").c_str()));
    ASSERT_TRUE(own.WritePack(dir.WinFile("MapData.box").c_str()));
    EXPECT_EQ(dir.Read("MapData.box"), before);

    // A member that can no longer be read whole (its file was cut short).
    ASSERT_TRUE(dir.Write("loose/big", std::string(1000, 'b')));
    CVFSTable broken;
    broken.AddFolderTree(dir.WinFile("loose").c_str());
    ASSERT_TRUE(dir.Write("loose/big", "short"));
    EXPECT_FALSE(broken.WritePack(dir.WinFile("MapData.box").c_str()));
    EXPECT_EQ(dir.Read("MapData.box"), before);
    int left = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.File(""))) left += e.is_regular_file();
    EXPECT_EQ(left, 1);  // no temporary left behind
}

TEST(VFSPack, LooseTreeRoundTripsThroughWritePack) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("tree/Scripts/Startup.cfg", "run this"));
    ASSERT_TRUE(
        dir.Write("tree/Scripts/Config/Video.cfg", std::string(70000, 'v')));  // more than one copy block
    ASSERT_TRUE(dir.Write("tree/readme", ""));
    CVFSTable loose;
    loose.AddFolderTree(dir.WinFile("tree").c_str());
    ASSERT_TRUE(loose.WritePack(dir.WinFile("tree.box").c_str()));

    CVFSTable packed;
    ASSERT_TRUE(packed.MountPack(dir.WinFile("tree.box").c_str()));
    int files = 0;
    for (SVFSEntry* e = loose.GetFirstEntry(); e; e = e->next) {
        if (e->isFolder) continue;
        ++files;
        SVFSEntry* p = packed.Find(e->path.GetText());
        ASSERT_NE(p, nullptr) << e->path.GetText();
        EXPECT_EQ(p->size, e->size);
        EXPECT_EQ(ReadMember(packed, e->path.GetText()), ReadMember(loose, e->path.GetText()));
    }
    EXPECT_EQ(files, 3);
    // Listing order is case-insensitive: Config before Startup.cfg inside Scripts.
    std::string firstFile;
    for (SVFSEntry* e = loose.GetFirstEntry(); e && firstFile.empty(); e = e->next)
        if (!e->isFolder) firstFile = e->path.GetText();
    EXPECT_NE(firstFile.find("readme"), std::string::npos);
}

TEST(VFSPack, RootAndFolderEntries) {
    CTempDir dir;
    CPackWriter w;
    w.Add("Scripts\\Startup.cfg", "s");
    ASSERT_TRUE(w.WriteTo(dir.File("p.box")));
    CVFSTable table;
    table.SetRoot("C:\\Game");
    ASSERT_TRUE(table.MountPack(dir.WinFile("p.box").c_str()));
    SVFSEntry* e = table.Find("c:\\game\\scripts\\startup.cfg");
    ASSERT_NE(e, nullptr);
    const char* levels[] = {"C:\\Game\\Scripts", "C:\\Game", "C:"};
    SVFSEntry* up = e;
    for (const char* level : levels) {
        up = up->parent;
        ASSERT_NE(up, nullptr) << level;
        EXPECT_STREQ(up->path.GetText(), level);
        EXPECT_TRUE(up->isFolder);
    }
    EXPECT_EQ(up->parent, nullptr);
    // A folder entry is not a file.
    CVFSFile f("C:\\Game\\Scripts", 0, &table);
    EXPECT_FALSE(f.IsOpen());
    CVFSFile w2("C:\\Game", 2, &table);
    EXPECT_FALSE(w2.IsOpen());
}

TEST(VFSPack, BaseOffsetInsideLargerFile) {
    CTempDir dir;
    CPackWriter w;
    w.Add("one", "11111");
    w.Add("two", "22");
    std::string pack = w.Build();
    std::string prefix(100, 'P');
    std::string suffix(5000 - pack.size(), 'S');
    // The range [100, 5100) holds the pack padded to 5000 bytes at its front,
    // so the directory offset must be read from byte 5096.
    std::string padded = std::string(5000 - pack.size(), 'x');
    CPackWriter shifted;
    shifted.Add("pad", padded);
    shifted.Add("one", "11111");
    shifted.Add("two", "22");
    std::string inner = shifted.Build();
    ASSERT_TRUE(PackWriter_WriteBytes(dir.File("big.bin"), prefix + inner + "TRAILING JUNK"));
    CVFSTable table;
    ASSERT_TRUE(table.MountPack(dir.WinFile("big.bin").c_str(), 100, static_cast<int64_t>(inner.size())));
    SVFSEntry* one = table.Find("one");
    ASSERT_NE(one, nullptr);
    EXPECT_EQ(one->dataOffset, 100u + padded.size());
    EXPECT_EQ(ReadMember(table, "one"), "11111");
    EXPECT_EQ(ReadMember(table, "two"), "22");
    EXPECT_EQ(ReadMedia(table, "two"), "22");  // a member's bytes, not the rest of the file
    // A range past the end of the file mounts nothing.
    EXPECT_FALSE(table.MountPack(dir.WinFile("big.bin").c_str(), 100, 1 << 20));
}

TEST(VFSPack, FirstEntryOfANameWins) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("root/Scripts/A.cfg", "loose"));
    CPackWriter w;
    w.Add("scripts\\a.cfg", "packed");
    w.Add("Scripts\\New.cfg", "first");
    w.Add("SCRIPTS\\NEW.CFG", "duplicate");
    ASSERT_TRUE(w.WriteTo(dir.File("p.box")));
    CPackWriter later;
    later.Add("Scripts\\New.cfg", "later pack");
    ASSERT_TRUE(later.WriteTo(dir.File("q.box")));

    CVFSTable table;
    table.AddFolderTree(dir.WinFile("root").c_str());
    table.SetRoot(dir.WinFile("root").c_str());
    ASSERT_TRUE(table.MountPack(dir.WinFile("p.box").c_str()));
    ASSERT_TRUE(table.MountPack(dir.WinFile("q.box").c_str()));
    EXPECT_EQ(ReadMember(table, dir.WinFile("root/scripts/a.cfg")), "loose");
    EXPECT_EQ(ReadMember(table, dir.WinFile("root/Scripts/new.cfg")), "first");
}

TEST(VFSPack, MountPacksInFolderTakesOnlyDotBox) {
    CTempDir dir;
    const char* names[] = {"x.box", "y.BOX", "z.box.bak", "w.boxx"};
    for (const char* n : names) {
        CPackWriter w;
        w.Add(std::string("from-") + n, "1");
        ASSERT_TRUE(dir.Write(std::string("packs/") + n, w.Build()));
    }
    CVFSTable table;
    table.MountPacksInFolder(dir.WinFile("packs").c_str());
    EXPECT_NE(table.Find("from-x.box"), nullptr);
    EXPECT_EQ(table.Find("from-y.BOX"), nullptr);
    EXPECT_EQ(table.Find("from-z.box.bak"), nullptr);
    EXPECT_EQ(table.Find("from-w.boxx"), nullptr);
}

TEST(VFSFile, DiskFilesEnterTheTable) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("Data/Thing.TXT", "hello"));
    CVFSTable table;
    std::string asked = dir.WinFile("data/thing.txt");
    EXPECT_EQ(table.Find(asked.c_str()), nullptr);
    EXPECT_EQ(ReadMember(table, asked), "hello");
    SVFSEntry* e = table.Find(asked.c_str());
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->size, 5u);
    EXPECT_EQ(ReadMember(table, asked), "hello");
    EXPECT_EQ(table.Find(asked.c_str()), e);
    // Changed on the disk behind the table's back (a modder's editor, a test
    // writing it again): the next open reads the file as it is now.
    ASSERT_TRUE(dir.Write("Data/Thing.TXT", "hello, world"));
    EXPECT_EQ(ReadMember(table, asked), "hello, world");
    ASSERT_TRUE(dir.Write("Data/Thing.TXT", "hi"));
    EXPECT_EQ(ReadMember(table, asked), "hi");
    // So does a decoder's own handle, before any ordinary read sees the change.
    ASSERT_TRUE(dir.Write("Data/Thing.TXT", "longer than before"));
    EXPECT_EQ(ReadMedia(table, asked), "longer than before");
    CVFSFile missing(dir.WinFile("nope.txt").c_str(), 0, &table);
    EXPECT_FALSE(missing.IsOpen());
    EXPECT_EQ(missing.Read(nullptr, 0), 0u);
}

TEST(VFSFile, ALooseFileCutShortWhileOpenIsReadAfreshNextTime) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("cut.txt", "hello world"));
    CVFSTable table;
    const std::string path = dir.WinFile("cut.txt");
    {
        CVFSFile f(path.c_str(), 161, &table);
        ASSERT_TRUE(f.IsOpen());
        ASSERT_EQ(truncate(dir.File("cut.txt").c_str(), 3), 0);
        char buf[16];
        EXPECT_EQ(f.Read(buf, sizeof buf), 3u);
        EXPECT_EQ(f.Read(buf, sizeof buf), 0u);  // the rest is gone
        EXPECT_EQ(f.Read(buf, sizeof buf), 0u);
    }
    // Closed, the file lets go of its handle: the next open sees the file anew.
    ASSERT_TRUE(dir.Write("cut.txt", "a longer text than before"));
    EXPECT_EQ(ReadMember(table, path), "a longer text than before");
}

TEST(VFSFile, WritingAPackMemberMakesADiskFile) {
    CTempDir dir;
    CPackWriter w;
    w.Add("Scripts\\Config\\Video.cfg", "packed video");
    ASSERT_TRUE(w.WriteTo(dir.File("p.box")));
    std::string packBytes = dir.Read("p.box");
    CVFSTable table;
    table.SetRoot(dir.Win().c_str());
    ASSERT_TRUE(table.MountPack(dir.WinFile("p.box").c_str()));
    std::string member = dir.WinFile("scripts/config/video.cfg");
    {
        CVFSFile out(member.c_str(), 2, &table);
        ASSERT_TRUE(out.IsOpen());
        EXPECT_TRUE(out.WriteString("new"));
        EXPECT_TRUE(out.WriteU32(0xA1B2C3D4u));
    }
    EXPECT_EQ(dir.Read("p.box"), packBytes);
    std::string disk = dir.Read("scripts/config/video.cfg");
    EXPECT_EQ(disk, std::string("\x03\x00new\xD4\xC3\xB2\xA1", 9));
    CVFSFile in(member.c_str(), 0, &table);
    ASSERT_TRUE(in.IsOpen());
    EXPECT_EQ(in.GetSize(), 9u);
    CStrBuf s;
    uint32_t v = 0;
    EXPECT_TRUE(in.ReadString(s));
    EXPECT_TRUE(in.ReadU32(v));
    EXPECT_STREQ(s.GetText(), "new");
    EXPECT_EQ(v, 0xA1B2C3D4u);
    EXPECT_TRUE(in.AtEnd());
    {
        CVFSFile app(member.c_str(), 2 | 8, &table);
        ASSERT_TRUE(app.IsOpen());
        app.Write("!", 1);
    }
    EXPECT_EQ(dir.Read("scripts/config/video.cfg").size(), 10u);
}

TEST(VFSFile, WritesReplaceTheOldFileOnlyWhenClosed) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("Config/Game.cfg", "old settings"));
    CVFSTable table;
    std::string path = dir.WinFile("config/game.cfg");
    CVFSFile reader(path.c_str(), 0, &table);
    char c[3] = {};
    ASSERT_EQ(reader.Read(c, 2), 2u);  // the shared handle is in use
    {
        CVFSFile out(path.c_str(), 2, &table);
        ASSERT_TRUE(out.IsOpen());
        out.Write("new", 3);
        EXPECT_EQ(dir.Read("Config/Game.cfg"), "old settings");  // a crash now loses nothing
    }
    EXPECT_EQ(dir.Read("Config/Game.cfg"), "new");
    std::vector<SSysFindData> found;
    Sys_FindFiles(dir.WinFile("config/*").c_str(), found);
    EXPECT_EQ(found.size(), 1u);
    reader.Close();
    EXPECT_EQ(ReadMember(table, path), "new");
    CVFSFile folder(dir.WinFile("config").c_str(), 2, &table);
    EXPECT_FALSE(folder.IsOpen());
}

TEST(VFSFile, SharedHandleServesInterleavedReaders) {
    CTempDir dir;
    CPackWriter w;
    w.Add("a", "AAAAAAAAAAAAAAAAAAAA");
    w.Add("b", "bbbbbbbbbbbbbbbbbbbbbbbbb");
    ASSERT_TRUE(w.WriteTo(dir.File("p.box")));
    CVFSTable table;
    ASSERT_TRUE(table.MountPack(dir.WinFile("p.box").c_str()));
    CVFSFile a1("a", 0, &table), a2("a", 0, &table), b("b", 0, &table);
    ASSERT_TRUE(a1.IsOpen() && a2.IsOpen() && b.IsOpen());
    EXPECT_TRUE(a1.IsInPack());
    EXPECT_FALSE(a2.IsInPack());  // the entry is busy: a handle of its own
    std::string ra1, ra2, rb;
    char c[3];
    for (int i = 0; i < 20; ++i) {
        if (a1.Read(c, 3)) ra1.append(c, a1.BytesRead());
        if (b.Read(c, 2)) rb.append(c, b.BytesRead());
        if (a2.Read(c, 3)) ra2.append(c, a2.BytesRead());
    }
    EXPECT_EQ(ra1, "AAAAAAAAAAAAAAAAAAAA");
    EXPECT_EQ(ra2, ra1);  // stops at the member's end, not at the pack's
    EXPECT_EQ(rb, "bbbbbbbbbbbbbbbbbbbbbbbbb");
    EXPECT_TRUE(a1.AtEnd() && a2.AtEnd() && b.AtEnd());
    EXPECT_EQ(a2.ReadAt(18, c, 3), 2u);
    EXPECT_TRUE(b.Seek(24));
    EXPECT_EQ(b.Read(c, 3), 1u);
    EXPECT_FALSE(b.Seek(26));
}

// A file read whole answers as the file did, from the place it had reached,
// for a shared pack member, a member on a handle of its own and a loose file;
// the member is let go at once (the next opener shares the pack's handle),
// and a file over the cap stays as it was.
TEST(VFSFile, AFileReadWholeReadsOnFromMemory) {
    CTempDir dir;
    CPackWriter w;
    w.Add("a", "0123456789abcdefghij");
    w.Add("b", "bbbbbbbbbb");
    ASSERT_TRUE(w.WriteTo(dir.File("p.box")));
    ASSERT_TRUE(dir.Write("loose.bin", "0123456789abcdefghij"));
    CVFSTable table;
    ASSERT_TRUE(table.MountPack(dir.WinFile("p.box").c_str()));
    CVFSFile shared("a", 0, &table), own("a", 0, &table);
    CVFSFile loose(dir.WinFile("loose.bin").c_str(), 0, &table);
    ASSERT_TRUE(shared.IsInPack() && !own.IsInPack() && loose.IsOpen());
    for (CVFSFile* f : {&shared, &own, &loose}) {
        char c[8] = {};
        ASSERT_EQ(f->Read(c, 4), 4u);
        EXPECT_FALSE(f->ReadWhole(19));  // over the cap: unchanged
        EXPECT_EQ(f->Tell(), 4u);
        ASSERT_TRUE(f->ReadWhole(20));
        EXPECT_FALSE(f->IsInPack());
        EXPECT_EQ(f->Tell(), 4u);
        EXPECT_EQ(f->GetSize(), 20u);
        ASSERT_EQ(f->Read(c, 6), 6u);
        EXPECT_EQ(std::string(c, 6), "456789");
        EXPECT_EQ(f->ReadAt(16, c, 8), 4u);
        EXPECT_EQ(std::string(c, 4), "ghij");
        EXPECT_TRUE(f->AtEnd());
        EXPECT_FALSE(f->Seek(21));
    }
    CVFSFile next("a", 0, &table);
    EXPECT_TRUE(next.IsInPack());
    EXPECT_TRUE(shared.Close());
    EXPECT_FALSE(shared.IsOpen());
}

TEST(VFSFile, StringsAreBounded) {
    CTempDir dir;
    CVFSTable table;
    std::string path = dir.WinFile("s.bin");
    {
        CVFSFile out(path.c_str(), 2, &table);
        ASSERT_TRUE(out.IsOpen());
        EXPECT_TRUE(out.WriteString(CStrBuf()));
        EXPECT_TRUE(out.WriteString("0123456789"));
        EXPECT_FALSE(out.WriteString(std::string(65536, 'L').c_str()));  // refused, nothing written
        EXPECT_TRUE(out.WriteString(std::string(65535, 'M').c_str()));
        EXPECT_TRUE(out.WriteU16(40));  // a length that runs past the end
        out.Write("short", 5);
    }
    EXPECT_EQ(dir.Read("s.bin").size(), 2u + 12u + 65537u + 7u);
    CVFSFile in(path.c_str(), 0, &table);
    char small[4] = "zzz";
    CStrBuf s("x");
    EXPECT_TRUE(in.ReadString(s));
    EXPECT_STREQ(s.GetText(), "");
    EXPECT_TRUE(in.ReadString(small, sizeof small));  // keeps 3, skips 7
    EXPECT_STREQ(small, "012");
    EXPECT_TRUE(in.ReadString(s));
    EXPECT_EQ(s.GetLength(), 65535);
    EXPECT_EQ(s.GetSize(), 65536);
    EXPECT_FALSE(in.ReadString(s));
    EXPECT_STREQ(s.GetText(), "short");
    EXPECT_FALSE(in.ReadString(small, sizeof small));
    EXPECT_STREQ(small, "");
}

TEST(VFSFile, TextTokens) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("t.txt", "  alpha\t42 -3.5e1\r\nxyz 7  \n "));
    CVFSTable table;
    CVFSFile f(dir.WinFile("t.txt").c_str(), 0, &table);
    CStrBuf tok;
    EXPECT_FALSE(f.ReadToken(tok));
    EXPECT_STREQ(tok.GetText(), "alpha");
    int32_t i = -1;
    float x = 0;
    f.ReadInt(i).ReadFloat(x);
    EXPECT_EQ(i, 42);
    EXPECT_FLOAT_EQ(x, -35.0f);
    int32_t keep = 9;
    f.ReadInt(keep);  // "xyz" is no number
    EXPECT_EQ(keep, 9);
    char word[2];
    f.ReadWord(word, sizeof word);
    EXPECT_STREQ(word, "7");
    EXPECT_TRUE(f.ReadToken(tok));
    EXPECT_STREQ(tok.GetText(), "");
    EXPECT_TRUE(f.AtEnd());
}

// Damaged packs: what is sound mounts, nothing reads outside the pack.
TEST(VFSPack, CorruptDirectories) {
    CTempDir dir;
    CPackWriter w;
    w.Add("good", "GOOD");
    w.Add("bad", "BAD!");
    const std::string sound = w.Build();
    const size_t dirOff = 8;                  // after "GOOD" "BAD!"
    const size_t badEntry = dirOff + 4 + 13;  // count, "good\0", offset, size
    struct SCase {
        const char* name;
        std::string bytes;
        bool mounts;
        bool good;
    };
    auto poke = [&](size_t pos, uint32_t v) {
        std::string b = sound;
        PackWriter_Poke32(b, pos, v);
        return b;
    };
    std::string unterminated = sound.substr(0, dirOff + 4) + std::string(300, 'n');
    PackWriter_PutU32(unterminated, static_cast<uint32_t>(dirOff));
    const SCase cases[] = {
        {"sound", sound, true, true},
        {"empty file", "", false, false},
        {"tiny file", "abc", false, false},
        {"directory past the end", poke(sound.size() - 4, 0xFFFFFFF0u), false, false},
        {"directory in the trailer", poke(sound.size() - 4, static_cast<uint32_t>(sound.size() - 6)), false,
         false},
        {"huge count", poke(dirOff, 0xFFFFFFFFu), true, true},
        {"member size past the data", poke(badEntry + 4 + 4, 1000), true, true},
        {"member offset wraps", poke(badEntry + 4, 0xFFFFFFFEu), true, true},
        {"unterminated name", unterminated, true, false},
        {"truncated directory", sound.substr(0, sound.size() - 10) + sound.substr(sound.size() - 4), true,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(PackWriter_WriteBytes(dir.File("c.box"), c.bytes));
        CVFSTable table;
        EXPECT_EQ(table.MountPack(dir.WinFile("c.box").c_str()), c.mounts);
        EXPECT_EQ(table.Find("good") != nullptr, c.good);
        if (c.good) {
            EXPECT_EQ(ReadMember(table, "good"), "GOOD");
        }
        if (SVFSEntry* bad = table.Find("bad")) {
            EXPECT_LE(static_cast<uint64_t>(bad->dataOffset) + bad->size, dirOff);
            EXPECT_EQ(ReadMember(table, "bad"), "BAD!");
        }
    }
    // A directory larger than any pack's (zeros: a count of none) is refused unread.
    ASSERT_EQ(truncate(dir.File("c.box").c_str(), CVFSTable::kMaxDirectoryBytes + 8), 0);
    CVFSTable table;
    EXPECT_FALSE(table.MountPack(dir.WinFile("c.box").c_str()));
}

// The word-wise hash and compare fold every byte as the byte-wise rule does.
TEST(VFSTable, HashAndLookupFoldEveryByte) {
    std::mt19937 rng(11);
    CVFSTable table;
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) {
        std::string s(1 + rng() % 40, ' ');
        for (char& c : s) c = static_cast<char>(1 + rng() % 255);
        std::string folded = s;
        for (char& c : folded) {
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
            if (c == '/') c = '\\';
        }
        ASSERT_EQ(CVFSTable::HashPath(s.c_str()), CRC32_Compute(folded.data(), folded.size())) << i;
        if (!table.Find(s.c_str())) {
            table.AddEntry(s.c_str());
            names.push_back(s);
        }
    }
    for (const auto& n : names) {
        std::string other = n;
        for (char& c : other) {
            if (c >= 'a' && c <= 'z' && (rng() & 1))
                c = static_cast<char>(c - 'a' + 'A');
            else if (c == '\\' && (rng() & 1))
                c = '/';
        }
        SVFSEntry* e = table.Find(other.c_str());
        ASSERT_NE(e, nullptr);
        EXPECT_STREQ(e->path.GetText(), n.c_str());
    }
    // Removing entries keeps the others reachable.
    for (size_t i = 0; i < names.size(); i += 2) delete table.Find(names[i].c_str());
    for (size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(table.Find(names[i].c_str()) != nullptr, i % 2 == 1) << i;
}

TEST(VFSFile, MemoryReadsAsAFileDoes) {
    const char data[] =
        "\x03\x00"
        "abc"
        "\x2A\x00\x00\x00"
        "tail";
    CVFSFile f;
    ASSERT_TRUE(f.OpenMemory(data, sizeof data - 1));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(f.GetSize(), 13u);
    CStrBuf text;
    EXPECT_TRUE(f.ReadString(text));
    EXPECT_STREQ(text.GetText(), "abc");
    uint32_t v = 0;
    EXPECT_TRUE(f.ReadU32(v));
    EXPECT_EQ(v, 42u);
    EXPECT_EQ(f.Tell(), 9u);
    // Past the end: reads stop at it, skips and seeks are refused.
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 8), 4u);
    EXPECT_TRUE(f.AtEnd());
    EXPECT_FALSE(f.Skip(1));
    EXPECT_FALSE(f.Seek(14));
    EXPECT_EQ(f.ReadAt(2, buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "abc");
    // Nothing is written through it; closing forgets the block.
    EXPECT_EQ(f.Write("x", 1), 0u);
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Read(buf, 1), 0u);
}
