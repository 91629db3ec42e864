#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/VFSFile.h"
#include "platform/sys/Path.h"
#include "tests/support/TempDir.h"

TEST(SysPath, ComponentsResolveIgnoringCase) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("Scripts/Config/video.CFG", "video"));
    std::string l;
    ASSERT_TRUE(Sys_ResolvePath(dir.WinFile("scripts\\config\\Video.cfg").c_str(), l));
    EXPECT_EQ(l, dir.File("Scripts/Config/video.CFG"));
    // Slashes, dot components and a missing tail keep their spelling.
    ASSERT_TRUE(Sys_ResolvePath((dir.Path() + "/SCRIPTS/./x/../config/New.txt").c_str(), l));
    EXPECT_EQ(l, dir.File("Scripts/Config/New.txt"));
    EXPECT_FALSE(Sys_ResolvePath("C:\\Windows", l));
    EXPECT_TRUE(Sys_ResolvePath("z:\\", l));
    EXPECT_EQ(l, "/");
    EXPECT_EQ(Sys_ToWindowsPath("/opt/tessarak"), "Z:\\opt\\tessarak");

    // The game's file object reads it through the Windows spelling.
    CVFSTable table;
    CVFSFile f(dir.WinFile("SCRIPTS\\CONFIG\\VIDEO.CFG").c_str(), 0, &table);
    ASSERT_TRUE(f.IsOpen());
    char buf[8] = {};
    EXPECT_EQ(f.Read(buf, 7), 5u);
    EXPECT_STREQ(buf, "video");

    // A file made after the folder was cached is still found.
    ASSERT_TRUE(dir.Write("Scripts/Config/Later.cfg", "l"));
    EXPECT_TRUE(Sys_PathExists(dir.WinFile("scripts\\config\\LATER.cfg").c_str()));
}

TEST(SysPath, SearchesMatchAndSortLikeWindows) {
    CTempDir dir;
    for (const char* n : {"b.box", "A.box", "c.BOX", "noext", "a.box.bak", "Zed"})
        ASSERT_TRUE(dir.Write(n, "x"));
    ASSERT_TRUE(dir.Write("sub/inner", "x"));
    auto names = [&](const char* pattern) {
        std::vector<SSysFindData> found;
        Sys_FindFiles(dir.WinFile(pattern).c_str(), found);
        std::string all;
        for (const auto& f : found) all += f.name + (f.isFolder ? "/" : "") + " ";
        return all;
    };
    EXPECT_EQ(names("*.*"), "A.box a.box.bak b.box c.BOX noext sub/ Zed ");
    EXPECT_EQ(names("*.box"), "A.box b.box c.BOX ");
    EXPECT_EQ(names("?.b*"), "A.box a.box.bak b.box c.BOX ");
    EXPECT_EQ(names("NOEXT"), "noext ");
    EXPECT_EQ(names("missing*"), "");
    EXPECT_TRUE(FileExists(dir.WinFile("*.bak").c_str()));
    EXPECT_TRUE(FileExists(dir.WinFile("SUB").c_str()));
    EXPECT_FALSE(FileExists(dir.WinFile("*.zip").c_str()));

    struct SMatch {
        const char* pattern;
        const char* name;
        bool match;
    };
    const SMatch matches[] = {
        {"*.*", "abc", true},       {"*", "", true},    {"a*c", "ABBC", true},    {"a?c", "ac", false},
        {"*.cfg", "x.cfgx", false}, {"x.*", "x", true}, {"*a*a", "banana", true}, {"", "a", false}};
    for (const auto& m : matches)
        EXPECT_EQ(Sys_WildcardMatch(m.pattern, m.name), m.match) << m.pattern << " " << m.name;
}

TEST(SysPath, FoldersAndUserDataRedirection) {
    CTempDir dir;
    EXPECT_TRUE(Sys_CreateFolder(dir.WinFile("One").c_str()));
    EXPECT_TRUE(Sys_CreateFolder(dir.WinFile("one").c_str()));  // exists (in other case): still true
    EXPECT_FALSE(Sys_CreateFolder(dir.WinFile("missing/two").c_str()));
    EXPECT_TRUE(Sys_IsFolder(dir.WinFile("ONE").c_str()));

    // A read-only installation: writes go to the user's data folder, reads look there first.
    ASSERT_TRUE(dir.Write("install/Scripts/Config.cfg", "shipped"));
    ASSERT_TRUE(dir.Write("data/.keep", ""));
    std::string oldData = std::getenv("XDG_DATA_HOME") ? std::getenv("XDG_DATA_HOME") : "";
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    std::string install = dir.File("install");
    chmod(install.c_str(), 0555);
    Sys_SetInstallFolder(Sys_ToWindowsPath(install.c_str()).c_str(), 0);  // root could write anyway
    int h = Sys_OpenWrite(dir.WinFile("install/scripts/config.cfg").c_str());
    ASSERT_NE(h, -1);
    Sys_WriteFile(h, "mine", 4);
    Sys_CloseFile(h);
    EXPECT_EQ(dir.Read("install/Scripts/Config.cfg"), "shipped");
    EXPECT_EQ(dir.Read("data/tessarak/Scripts/Config.cfg"), "mine");
    h = Sys_OpenRead(dir.WinFile("install/SCRIPTS/config.cfg").c_str());
    char buf[8] = {};
    Sys_ReadFile(h, buf, 7);
    Sys_CloseFile(h);
    EXPECT_STREQ(buf, "mine");
    Sys_SetInstallFolder(nullptr);
    chmod(install.c_str(), 0755);
    if (oldData.empty())
        unsetenv("XDG_DATA_HOME");
    else
        setenv("XDG_DATA_HOME", oldData.c_str(), 1);
}

TEST(SysPath, AtomicWriteReplacesWhole) {
    CTempDir dir;
    ASSERT_TRUE(Sys_WriteFileAtomic(dir.WinFile("deep/er/f.cfg").c_str(), "one", 3));
    ASSERT_TRUE(Sys_WriteFileAtomic(dir.WinFile("DEEP/ER/F.CFG").c_str(), "second", 6));
    EXPECT_EQ(dir.Read("deep/er/f.cfg"), "second");
    std::vector<SSysFindData> found;
    Sys_FindFiles(dir.WinFile("deep/er/*").c_str(), found);
    EXPECT_EQ(found.size(), 1u);  // no temporary left behind
}

TEST(SysPath, PathsFromOutsideAreChecked) {
    struct SCase {
        const char* path;
        bool safe;
    };
    const SCase cases[] = {{"Maps\\M1\\MapData.box", true},
                           {"a/b.txt", true},
                           {"..x\\y", true},
                           {"", false},
                           {nullptr, false},
                           {"..", false},
                           {"Maps\\..\\..\\etc", false},
                           {"a/../b", false},
                           {"\\root", false},
                           {"/etc/passwd", false},
                           {"C:\\x", false},
                           {"Z:x", false},
                           {"bad\nname", false}};
    for (const auto& c : cases)
        EXPECT_EQ(Sys_IsSafeRelativePath(c.path), c.safe) << (c.path ? c.path : "null");
    EXPECT_FALSE(Sys_IsSafeRelativePath(std::string(260, 'a').c_str()));
}
