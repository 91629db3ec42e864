#include "core/SysUtil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sys/MessageBox.h"
#include "platform/sys/Path.h"
#include "tests/support/TempDir.h"

TEST(SysUtil, BitsAndBounds) {
    EXPECT_EQ(LowestSetBit(0), -1);
    EXPECT_EQ(LowestSetBit(0x80000000u), 31);
    EXPECT_EQ(LowestSetBit(12), 2);
    EXPECT_EQ(BitCount(0xF0F0), 8);
    EXPECT_EQ(LowBitsMask(0), 0u);
    EXPECT_EQ(LowBitsMask(5), 31u);
    EXPECT_EQ(LowBitsMask(32), 0xFFFFFFFFu);
    EXPECT_EQ(MaxInt(-1, 3), 3);
    EXPECT_EQ(MinInt(-1, 3), -1);
    EXPECT_EQ(MinFloat(2.0f, 2.0f), 2.0f);
    EXPECT_EQ(MinFloat(1.0f, 2.0f), 1.0f);
}

TEST(SysUtil, HeapBlocksKnowTheirSize) {
    char* p = static_cast<char*>(MemAlloc(10));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(MemSize(p), 10u);
    std::memcpy(p, "0123456789", 10);
    p = static_cast<char*>(MemRealloc(p, 100000));
    EXPECT_EQ(MemSize(p), 100000u);
    EXPECT_EQ(std::string(p, 10), "0123456789");
    MemFree(p);
    auto* z = static_cast<unsigned char*>(MemCalloc(7, 9));
    EXPECT_EQ(MemSize(z), 63u);
    for (int i = 0; i < 63; ++i) ASSERT_EQ(z[i], 0);
    MemFree(z);
    EXPECT_EQ(MemCalloc(SIZE_MAX / 2, 4), nullptr);
    MemFree(nullptr);
    // Filled at program start, without a call of its own.
    EXPECT_EQ(g_OSVersionInfo.platformId, 2u);
    EXPECT_GE(g_SystemInfo.pageSize, 4096u);
    InitSystemInfo();
    EXPECT_EQ(g_OSVersionInfo.platformId, 2u);
    EXPECT_EQ(g_OSVersionInfo.size, 148u);
    EXPECT_GE(g_SystemInfo.numberOfProcessors, 1u);
}

TEST(SysUtil, PathJoin) {
    struct SCase {
        std::string stored;
        const char* expect;
    };
    const SCase cases[] = {
        {std::string("\x01") + "Sounds\\Fire.wav", "C:\\Game\\Sounds\\Fire.wav"},
        {std::string(1, '\0') + "Sounds\\Fire.wav", "C:\\Game\\Units\\Sounds\\Fire.wav"},
        {std::string("\x80") + "D:\\X.wav", "D:\\X.wav"},
        {std::string(2, '\0'), "C:\\Game\\Units"},
        {std::string("\x02") + "a", "C:\\a"},
        {std::string("\x03") + "a", ""},
        {std::string("\x09") + "a", ""},
    };
    for (const auto& c : cases) {
        CStrBuf out("old");
        PathJoin(out, "C:\\Game\\Units", c.stored.c_str());  // the count byte, then the text
        EXPECT_STREQ(out.GetText(), c.expect) << c.expect;
    }
}

struct SRec {
    SRec* next = nullptr;
    SRec* prev = nullptr;
    int32_t key = 0;
    char tag = 0;
    char text[8] = {};
    CStrBuf name;
};

namespace {

std::string SortedTags(std::vector<SRec>& recs, int kind, size_t keyOffset, SortCompare cmp = nullptr) {
    for (size_t i = 0; i < recs.size(); ++i) {
        recs[i].next = i + 1 < recs.size() ? &recs[i + 1] : nullptr;
        recs[i].prev = i ? &recs[i - 1] : nullptr;
    }
    void* first = recs.empty() ? nullptr : &recs[0];
    SortRecords(&first, offsetof(SRec, next), offsetof(SRec, prev), keyOffset, kind, cmp);
    std::string tags;
    SRec* prev = nullptr;
    for (auto* r = static_cast<SRec*>(first); r; r = r->next) {
        EXPECT_EQ(r->prev, prev);
        prev = r;
        tags += r->tag;
    }
    return tags;
}

}  // namespace

TEST(SysUtil, SortRecordsIsStableForEveryKind) {
    std::vector<SRec> recs(4);
    const int keys[] = {3, -1, 3, 0};
    const char* texts[] = {"beta", "Alpha", "BETA", "gamma"};
    for (int i = 0; i < 4; ++i) {
        recs[i].key = keys[i];
        recs[i].tag = static_cast<char>('a' + i);
        std::strcpy(recs[i].text, texts[i]);
        recs[i].name.Assign(texts[i]);
    }
    EXPECT_EQ(SortedTags(recs, 6, offsetof(SRec, key)), "bdac");  // -1, 0, 3a, 3b
    EXPECT_EQ(SortedTags(recs, 7, offsetof(SRec, key)), "acdb");
    EXPECT_EQ(SortedTags(recs, 4, offsetof(SRec, key)), "dacb");    // unsigned: -1 is largest
    EXPECT_EQ(SortedTags(recs, 10, offsetof(SRec, text)), "dacb");  // text descending
    EXPECT_EQ(SortedTags(recs, 11, offsetof(SRec, text)), "bacd");
    EXPECT_EQ(SortedTags(recs, 13, offsetof(SRec, name)), "bacd");
    EXPECT_EQ(SortedTags(recs, 12, offsetof(SRec, name)), "dacb");
    EXPECT_EQ(SortedTags(recs, 15, offsetof(SRec, key)), "abcd");  // unknown kind: unchanged
    auto byTagDesc = [](const void* a, const void* b) {
        return static_cast<const SRec*>(b)->tag - static_cast<const SRec*>(a)->tag;
    };
    EXPECT_EQ(SortedTags(recs, 14, 0, byTagDesc), "dcba");
    std::vector<SRec> one(1), none;
    one[0].tag = 'x';
    EXPECT_EQ(SortedTags(one, 6, offsetof(SRec, key)), "x");
    EXPECT_EQ(SortedTags(none, 6, offsetof(SRec, key)), "");
}

TEST(SysUtil, CreateDirectoryPath) {
    CTempDir dir;
    EXPECT_TRUE(CreateDirectoryPath(dir.WinFile("a\\b\\c").c_str()));
    EXPECT_TRUE(Sys_IsFolder(dir.WinFile("a/b/c").c_str()));
    EXPECT_TRUE(CreateDirectoryPath(dir.WinFile("A\\B\\c").c_str()));  // exists already: still success
    ASSERT_TRUE(dir.Write("file", "x"));
    EXPECT_FALSE(CreateDirectoryPath(dir.WinFile("file\\sub").c_str()));
}

TEST(SysUtil, RegistryValuesReachANewProcess) {
    CTempDir dir;
    Sys_RegSetFile(HKEY_CURRENT_USER, dir.File("user.ini").c_str());
    Sys_RegSetFile(HKEY_LOCAL_MACHINE, dir.File("machine.ini").c_str());
    const char* key = "Software\\Zq\\Tessarak\\Settings";
    uint32_t id = 0xC0FFEE;
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, key, "UniqueServerID", REG_DWORD, &id, 0));
    const char path[] = "Z:\\opt\\\"tessarak\"\n";
    ASSERT_TRUE(RegWriteValue(HKEY_LOCAL_MACHINE, "Software\\Zq\\Tessarak Dodo\\Settings", "InstalledPath",
                              REG_SZ, path, sizeof path));
    const unsigned char blob[] = {0, 1, 0xFF};
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, key, "Blob", REG_BINARY, blob, 3));
    EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, key, "Odd", 7, blob, 3));

    // A child process reads what this one wrote, from the files alone.
    std::string script = "cat " + dir.File("user.ini") + " | grep -qi 'uniqueserverid\"=dword:00c0ffee'";
    EXPECT_EQ(std::system(script.c_str()), 0);

    uint32_t got = 0;
    EXPECT_TRUE(RegReadValue(HKEY_CURRENT_USER, "software\\zq\\TESSARAK\\settings", "uniqueserverid",
                             REG_DWORD, &got));
    EXPECT_EQ(got, 0xC0FFEEu);
    char* text = nullptr;
    uint32_t size = 0;
    ASSERT_TRUE(RegReadValue(HKEY_LOCAL_MACHINE, "Software\\Zq\\Tessarak Dodo\\Settings", "InstalledPath",
                             REG_SZ, &text, &size));
    EXPECT_STREQ(text, path);
    EXPECT_EQ(size, sizeof path);
    delete[] text;
    char* bytes = nullptr;
    ASSERT_TRUE(RegReadValue(HKEY_CURRENT_USER, key, "Blob", REG_BINARY, &bytes, &size));
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(std::string(bytes, 3), std::string("\0\1\xFF", 3));
    delete[] bytes;

    // The wrong type or a missing value leaves the output untouched.
    uint32_t untouched = 77;
    EXPECT_FALSE(RegReadValue(HKEY_LOCAL_MACHINE, "Software\\Zq\\Tessarak Dodo\\Settings", "InstalledPath",
                              REG_DWORD, &untouched));
    EXPECT_FALSE(RegReadValue(HKEY_CURRENT_USER, key, "Missing", REG_DWORD, &untouched));
    EXPECT_EQ(untouched, 77u);

    // Hand-written files in .reg form are read, damaged lines skipped.
    ASSERT_TRUE(dir.Write("user.ini",
                          "[Software\\Zq]\n\"A\"=dword:0000000a\nbroken line\n\"B\"=hex:zz\n"
                          "\"C\"=hex(5):00,00,00,2a\n"));
    EXPECT_TRUE(RegReadValue(HKEY_CURRENT_USER, "Software\\Zq", "A", REG_DWORD, &got));
    EXPECT_EQ(got, 10u);
    EXPECT_FALSE(RegReadValue(HKEY_CURRENT_USER, "Software\\Zq", "B", REG_BINARY, &bytes));
    EXPECT_TRUE(RegReadValue(HKEY_CURRENT_USER, "Software\\Zq", "C", REG_DWORD_BIG_ENDIAN, &got));
    EXPECT_EQ(got, 0x2A000000u);
    Sys_RegSetFile(HKEY_CURRENT_USER, nullptr);
    Sys_RegSetFile(HKEY_LOCAL_MACHINE, nullptr);
}

namespace {

// Runs a command line in a shell and gives its standard output and exit status.
int RunChild(const std::string& cmd, std::string& out) {
    out.clear();
    FILE* f = popen(cmd.c_str(), "r");
    if (!f) return -1;
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) out += buf;
    return pclose(f);
}

}  // namespace

// The registry's own files at their default places, read and written by
// another program: what one process stores, the next one finds.
TEST(SysUtil, RegistryValuesCrossProcesses) {
    CTempDir dir;
    const char* build = std::getenv("TESSARAK_BUILD");
    ASSERT_NE(build, nullptr);
    const std::string tool = std::string(build) + "/install/System/tessarak_reg";
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    Sys_RegSetFile(HKEY_CURRENT_USER, nullptr);
    const std::string env = "XDG_CONFIG_HOME='" + dir.Path() + "' '" + tool + "' ";
    const char* key = "Software\\Zq\\Tessarak\\Settings";

    uint32_t id = 0xC0FFEE;
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, key, "UniqueServerID", REG_DWORD, &id, 4));
    std::string out;
    EXPECT_EQ(RunChild(env + "get HKCU 'software\\zq\\tessarak\\settings' uniqueserverid", out), 0);
    EXPECT_EQ(out, "12648430\n");

    EXPECT_EQ(RunChild(env + "set HKCU '" + std::string(key) + "' PlayerName sz 'Ann \"the\" Bold'", out), 0);
    char* text = nullptr;
    ASSERT_TRUE(RegReadValue(HKEY_CURRENT_USER, key, "PlayerName", REG_SZ, &text));
    EXPECT_STREQ(text, "Ann \"the\" Bold");
    delete[] text;
    // The value written first is still there beside the new one.
    uint32_t got = 0;
    EXPECT_TRUE(RegReadValue(HKEY_CURRENT_USER, key, "UniqueServerID", REG_DWORD, &got));
    EXPECT_EQ(got, id);

    // A string stored without its terminator prints as its bytes; a binary
    // value that is not whole hex bytes is refused, not cut short.
    ASSERT_TRUE(RegWriteValue(HKEY_CURRENT_USER, key, "Bare", REG_SZ, "AB", 2));
    EXPECT_EQ(RunChild(env + "get HKCU '" + std::string(key) + "' Bare", out), 0);
    EXPECT_EQ(out, "AB\n");
    for (const char* bad : {"abc", "0g"})
        EXPECT_EQ(WEXITSTATUS(RunChild(env + "set HKCU '" + std::string(key) + "' Blob binary " + bad, out)),
                  2)
            << bad;
    EXPECT_EQ(RunChild(env + "set HKCU '" + std::string(key) + "' Blob binary 0aFF", out), 0);
    EXPECT_EQ(RunChild(env + "get HKCU '" + std::string(key) + "' Blob", out), 0);
    EXPECT_EQ(out, "0aff\n");

    if (oldConfig)
        setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

// Machine-wide values live beside the installation; where the installation
// is read-only (or declared so), they go to the user's config folder, and
// there they override the installation's own.
TEST(SysUtil, MachineValuesFollowTheInstallationsWritability) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("install/System/keep", ""));
    const char* oldConfig = std::getenv("XDG_CONFIG_HOME");
    const std::string savedConfig = oldConfig ? oldConfig : "";
    setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
    Sys_RegSetFile(HKEY_LOCAL_MACHINE, nullptr);
    const char* key = "Software\\Zq\\Tessarak Dodo\\Settings";
    const char shipped[] = "Z:\\opt\\tessarak";
    const char mine[] = "Z:\\home\\me\\tessarak";

    Sys_SetInstallFolder(dir.File("install").c_str(), 1);
    EXPECT_EQ(Sys_RegGetFile(HKEY_LOCAL_MACHINE), dir.File("install/registry.ini"));
    ASSERT_TRUE(RegWriteValue(HKEY_LOCAL_MACHINE, key, "InstalledPath", REG_SZ, shipped, sizeof shipped));
    EXPECT_NE(dir.Read("install/registry.ini").find("InstalledPath"), std::string::npos);

    // Declared read-only, though this user could write there.
    Sys_SetInstallFolder(dir.File("install").c_str(), 0);
    EXPECT_EQ(Sys_RegGetFile(HKEY_LOCAL_MACHINE), dir.File("config/tessarak/registry-machine.ini"));
    const std::string before = dir.Read("install/registry.ini");
    char* text = nullptr;
    ASSERT_TRUE(RegReadValue(HKEY_LOCAL_MACHINE, key, "InstalledPath", REG_SZ, &text));
    EXPECT_STREQ(text, shipped);
    delete[] text;
    ASSERT_TRUE(RegWriteValue(HKEY_LOCAL_MACHINE, key, "InstalledPath", REG_SZ, mine, sizeof mine));
    ASSERT_TRUE(RegReadValue(HKEY_LOCAL_MACHINE, key, "InstalledPath", REG_SZ, &text));
    EXPECT_STREQ(text, mine);
    delete[] text;
    EXPECT_EQ(dir.Read("install/registry.ini"), before);
    EXPECT_NE(dir.Read("config/tessarak/registry-machine.ini").find("home"), std::string::npos);

    Sys_SetInstallFolder(nullptr);
    if (oldConfig)
        setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}

TEST(SysUtil, ViewDataBoxFallsSilentAfterCancel) {
    ResetViewDataSilence();
    int shown = Sys_GetMessageBoxCount();
    Sys_QueueMessageBoxAnswer(IDOK);
    EXPECT_EQ(ViewDataBox("Bad bitmap", 42), IDOK);
    EXPECT_EQ(Sys_GetLastMessageBoxText(), "Bad bitmap 42 ");
    Sys_QueueMessageBoxAnswer(IDCANCEL);
    EXPECT_EQ(ViewDataBox("Bad bitmap", 0), IDCANCEL);
    EXPECT_EQ(Sys_GetLastMessageBoxText(), "Bad bitmap");
    EXPECT_TRUE(IsViewDataSilenced());
    EXPECT_EQ(ViewDataBox("again", 1), 0);
    EXPECT_EQ(Sys_GetMessageBoxCount(), shown + 2);
    ResetViewDataSilence();
    // Without a queued answer and without a display: the default answer.
    setenv("TESSARAK_HEADLESS_DIALOGS", "1", 1);
    EXPECT_EQ(Sys_MessageBox("text", "caption", MB_OKCANCEL), IDOK);
    EXPECT_EQ(Sys_MessageBox("text", "caption", MB_YESNO), IDYES);
}

// A registry file that is a pipe or a device is neither read (it would block
// or never end) nor replaced; an oversized one is left as it is.
TEST(SysUtil, RegistryFilesThatAreNoSmallRegularFilesAreLeftAlone) {
    CTempDir dir;
    ASSERT_EQ(mkfifo(dir.File("pipe.ini").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.File("zero.ini").c_str()), 0);
    const std::string huge = "[Software\\Zq]\n\"A\"=dword:00000001\n" + std::string(2 << 20, ';');
    ASSERT_TRUE(dir.Write("huge.ini", huge));
    const char* key = "Software\\Zq";
    alarm(30);
    for (const char* name : {"pipe.ini", "zero.ini", "huge.ini"}) {
        Sys_RegSetFile(HKEY_CURRENT_USER, dir.File(name).c_str());
        uint32_t got = 0, one = 1;
        EXPECT_FALSE(RegReadValue(HKEY_CURRENT_USER, key, "A", REG_DWORD, &got)) << name;
        EXPECT_FALSE(RegWriteValue(HKEY_CURRENT_USER, key, "B", REG_DWORD, &one, 4)) << name;
    }
    alarm(0);
    struct stat st;
    EXPECT_TRUE(lstat(dir.File("pipe.ini").c_str(), &st) == 0 && S_ISFIFO(st.st_mode));
    EXPECT_TRUE(lstat(dir.File("zero.ini").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
    EXPECT_TRUE(dir.Read("huge.ini") == huge);
    Sys_RegSetFile(HKEY_CURRENT_USER, nullptr);
}
