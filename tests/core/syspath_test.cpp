#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
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

// A named pipe, a device or a folder where a file is expected is never
// opened: each call answers at once. The alarm fails the test instead of
// letting it hang when one of them blocks.
TEST(SysPath, OnlyRegularFilesAreOpened) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("tree/Scripts/a.cfg", "a"));
    ASSERT_EQ(mkfifo(dir.File("tree/Scripts/pipe.cfg").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(dir.File("tree/Pipe.box").c_str(), 0644), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.File("tree/zero.box").c_str()), 0);
    alarm(30);
    for (const char* name : {"tree/Scripts/pipe.cfg", "tree/zero.box", "tree/Scripts"}) {
        const std::string path = dir.WinFile(name);
        EXPECT_EQ(Sys_OpenRead(path.c_str()), -1) << name;
        EXPECT_EQ(Sys_OpenWrite(path.c_str()), -1) << name;
        EXPECT_EQ(Sys_OpenAppend(path.c_str()), -1) << name;
        EXPECT_EQ(Sys_FOpen(path.c_str(), "rb"), nullptr) << name;
        EXPECT_EQ(Sys_FOpen(path.c_str(), "ab"), nullptr) << name;
        std::string data;
        EXPECT_EQ(Sys_ReadRegularFile(dir.File(name), 1 << 20, data), kSysReadNotRegular) << name;
    }
    // The file table walks past them and mounts nothing from them.
    CVFSTable table;
    table.AddFolderTree(dir.WinFile("tree").c_str());
    table.MountPacksInFolder(dir.WinFile("tree").c_str());
    EXPECT_NE(table.Find(dir.WinFile("tree\\Scripts\\a.cfg").c_str()), nullptr);
    EXPECT_EQ(table.Find(dir.WinFile("tree\\Scripts\\pipe.cfg").c_str()), nullptr);
    CVFSFile file(dir.WinFile("tree\\Scripts\\pipe.cfg").c_str(), CVFSFile::kModeRead, &table);
    EXPECT_FALSE(file.IsOpen());
    alarm(0);

    std::string data;
    EXPECT_EQ(Sys_ReadRegularFile(dir.File("tree/Scripts/a.cfg"), 1, data), kSysReadOk);
    EXPECT_EQ(data, "a");
    EXPECT_EQ(Sys_ReadRegularFile(dir.File("tree/Scripts/a.cfg"), 0, data), kSysReadTooLarge);
    EXPECT_EQ(Sys_ReadRegularFile(dir.File("tree/none"), 1, data), kSysReadMissing);
}

// With a read-only installation the user's data overlays it: a folder lists
// what both hold, and the user's file is the one found where both have one.
TEST(SysPath, UserDataOverlaysAReadOnlyInstallation) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("install/Tessarak/Content.box", "shipped pack"));
    ASSERT_TRUE(dir.Write("install/Tessarak/Scripts/Autoexec.cfg", "shipped"));
    ASSERT_TRUE(dir.Write("install/Tessarak/Scripts/Startup.cfg", "shipped"));
    ASSERT_TRUE(dir.Write("data/tessarak/Tessarak/Scripts/AUTOEXEC.cfg", "the user's own"));
    ASSERT_TRUE(dir.Write("data/tessarak/Tessarak/Scripts/Config/Console.cfg", "saved"));
    const char* oldData = std::getenv("XDG_DATA_HOME");
    const std::string savedData = oldData ? oldData : "";
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    Sys_SetInstallFolder(dir.WinFile("install").c_str(), 0);

    auto list = [&](const char* pattern) {
        std::vector<SSysFindData> found;
        Sys_FindFiles(dir.WinFile(pattern).c_str(), found);
        std::string all;
        for (const auto& f : found) all += f.name + (f.isFolder ? "/" : ":" + std::to_string(f.size)) + " ";
        return all;
    };
    EXPECT_EQ(list("install/Tessarak/*.*"), "Content.box:12 Scripts/ ");
    EXPECT_EQ(list("install/Tessarak/Scripts/*.*"), "AUTOEXEC.cfg:14 Config/ Startup.cfg:7 ");
    EXPECT_EQ(list("install/Tessarak/Scripts/autoexec.cfg"), "AUTOEXEC.cfg:14 ");

    CVFSTable table;
    table.AddFolderTree(dir.WinFile("install\\Tessarak").c_str());
    for (const char* name :
         {"Content.box", "Scripts\\Startup.cfg", "Scripts\\Autoexec.cfg", "Scripts\\Config\\Console.cfg"})
        EXPECT_NE(table.Find((dir.WinFile("install\\Tessarak\\") + name).c_str()), nullptr) << name;
    CVFSFile file(dir.WinFile("install\\Tessarak\\Scripts\\Autoexec.cfg").c_str(), CVFSFile::kModeRead,
                  &table);
    char text[32] = {};
    file.Read(text, sizeof text - 1);
    EXPECT_STREQ(text, "the user's own");

    Sys_SetInstallFolder(nullptr);
    if (oldData)
        setenv("XDG_DATA_HOME", savedData.c_str(), 1);
    else
        unsetenv("XDG_DATA_HOME");
}

// Temporary files of replacing writes that were cut short are removed at the
// next start, as long as their writer is gone and they are not fresh.
TEST(SysPath, StaleTemporariesOfInterruptedWritesAreRemoved) {
    CTempDir dir;
    const std::string folder = dir.WinFile("Config");
    ASSERT_TRUE(Sys_CreateFolder(folder.c_str()));
    // A writer that dies half-way, as a crash would leave it.
    pid_t child = fork();
    if (child == 0) {
        std::string temp, final;
        int fd = Sys_BeginReplace((folder + "\\Console.cfg").c_str(), temp, final);
        _exit(fd >= 0 && Sys_WriteFile(fd, "half", 4) == 4 ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_EQ(WEXITSTATUS(status), 0);
    const std::string dead = std::to_string(child), alive = std::to_string(getpid());
    const char* names[] = {
        "a.cfg", ".a.cfg.tmp.Xy12Zq", ".b.cfg.tmp.Xy12Zq", ".b.cfg.tmp.x", ".hidden", "a.cfg.tmp", ""};
    std::vector<std::string> files(names, names + 6);
    files.push_back(".c.cfg.tmp." + dead + ".AbCdEf");
    files.push_back(".d.cfg.tmp." + alive + ".AbCdEf");
    files.push_back(".e.cfg.tmp." + dead + ".AbCdEf");
    for (const std::string& f : files) ASSERT_TRUE(dir.Write("Config/" + f, "x"));
    ASSERT_TRUE(dir.Write("Config/Sub/.f.cfg.tmp." + dead + ".AbCdEf", "x"));
    // All old but two fresh ones.
    std::vector<SSysFindData> found;
    ASSERT_TRUE(Sys_FindFiles((folder + "\\*.*").c_str(), found));
    for (const auto& f : found) {
        std::string p = dir.File("Config/" + f.name);
        struct timeval old[2] = {{time(nullptr) - 600, 0}, {time(nullptr) - 600, 0}};
        if (f.name != ".b.cfg.tmp.Xy12Zq" && f.name != ".e.cfg.tmp." + dead + ".AbCdEf")
            utimes(p.c_str(), old);
    }
    struct timeval old[2] = {{time(nullptr) - 600, 0}, {time(nullptr) - 600, 0}};
    utimes(dir.File("Config/Sub/.f.cfg.tmp." + dead + ".AbCdEf").c_str(), old);

    EXPECT_EQ(Sys_RemoveStaleTemporaries(folder.c_str()), 3);  // the dead writer's, and two without a writer
    Sys_FindFiles((folder + "\\*.*").c_str(), found);
    std::string left;
    for (const auto& f : found) left += f.name + " ";
    EXPECT_EQ(left, ".b.cfg.tmp.x .b.cfg.tmp.Xy12Zq .d.cfg.tmp." + alive + ".AbCdEf .e.cfg.tmp." + dead +
                        ".AbCdEf .hidden a.cfg a.cfg.tmp Sub ");
    EXPECT_EQ(Sys_RemoveStaleTemporaries(folder.c_str(), 1), 1);  // one level down
}
