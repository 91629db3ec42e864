#include "platform/sys/Path.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

namespace {

std::string Lower(const std::string& s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return r;
}

bool IsSep(char c) {
    return c == '\\' || c == '/';
}

// One folder's names, for case-insensitive lookups.
struct SFolderNames {
    std::unordered_map<std::string, std::string> byLower;  // lower-case name -> name on disk
    std::unordered_set<std::string> exact;
};

std::mutex g_cacheLock;
std::unordered_map<std::string, SFolderNames> g_cache;

void ReadFolderNames(const std::string& dir, SFolderNames& names) {
    names.byLower.clear();
    names.exact.clear();
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n == "." || n == "..") continue;
        names.exact.insert(n);
        std::string l = Lower(n);
        auto it = names.byLower.find(l);
        // Two names that differ only in case: the smaller one wins, so the
        // choice does not depend on the order readdir gives.
        if (it == names.byLower.end() || n < it->second) names.byLower[l] = n;
    }
    closedir(d);
}

// The on-disk spelling of one component of a folder, or "" when absent.
std::string LookUpName(const std::string& dir, const std::string& comp) {
    std::lock_guard<std::mutex> lock(g_cacheLock);
    for (int pass = 0; pass < 2; ++pass) {
        auto it = g_cache.find(dir);
        if (it == g_cache.end() || pass == 1) {
            ReadFolderNames(dir, g_cache[dir]);
            it = g_cache.find(dir);
        }
        if (it->second.exact.count(comp)) return comp;
        auto n = it->second.byLower.find(Lower(comp));
        if (n != it->second.byLower.end()) return n->second;
    }
    return std::string();
}

// Splits a Windows or Linux path into its starting folder and components.
bool SplitPath(const char* path, std::string& base, std::vector<std::string>& comps) {
    comps.clear();
    if (!path) return false;
    const char* rest = path;
    if (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':') {
        if (path[0] != 'Z' && path[0] != 'z') return false;
        base = "/";
        rest = path + 2;
    } else if (IsSep(path[0])) {
        base = "/";
    } else {
        char cwd[4096];
        if (!getcwd(cwd, sizeof cwd)) return false;
        base = cwd;
    }
    std::string cur;
    for (const char* p = rest;; ++p) {
        if (*p == '\0' || IsSep(*p)) {
            if (cur == "..") {
                if (!comps.empty()) comps.pop_back();
            } else if (!cur.empty() && cur != ".") {
                comps.push_back(cur);
            }
            cur.clear();
            if (*p == '\0') break;
        } else {
            cur += *p;
        }
    }
    return true;
}

std::string Join(const std::string& dir, const std::string& name) {
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

bool ResolveLinux(const char* path, std::string& out) {
    std::string base;
    std::vector<std::string> comps;
    if (!SplitPath(path, base, comps)) return false;
    std::string exact = base;
    for (const auto& c : comps) exact = Join(exact, c);
    struct stat st;
    if (lstat(exact.c_str(), &st) == 0) {
        out = exact;
        return true;
    }
    std::string cur = base;
    size_t i = 0;
    for (; i < comps.size(); ++i) {
        std::string real = LookUpName(cur, comps[i]);
        if (real.empty()) break;
        cur = Join(cur, real);
    }
    for (; i < comps.size(); ++i) cur = Join(cur, comps[i]);
    out = cur;
    return true;
}

std::mutex g_installLock;
std::string g_install;  // Linux path, no trailing slash
bool g_installWritable = true;

// The user-data copy of a path below a read-only installation, or "".
std::string UserDataTwin(const std::string& linuxPath) {
    std::lock_guard<std::mutex> lock(g_installLock);
    if (g_install.empty() || g_installWritable) return std::string();
    if (linuxPath.size() <= g_install.size() || linuxPath.compare(0, g_install.size(), g_install) != 0 ||
        linuxPath[g_install.size()] != '/')
        return std::string();
    return Sys_GetUserDataFolder() + linuxPath.substr(g_install.size());
}

// The folders a listing reads, the user's first: with a read-only
// installation the user's data overlays it, so a folder lists what both hold
// and the user's file wins where both have one.
std::vector<std::string> ListingFolders(const std::string& folder) {
    std::vector<std::string> dirs;
    std::string dir;
    if (!ResolveLinux(folder.c_str(), dir)) return dirs;
    std::string twin = UserDataTwin(dir), resolvedTwin;
    struct stat st;
    if (!twin.empty() && ResolveLinux(twin.c_str(), resolvedTwin) && stat(resolvedTwin.c_str(), &st) == 0 &&
        S_ISDIR(st.st_mode))
        dirs.push_back(resolvedTwin);
    dirs.push_back(dir);
    return dirs;
}

bool MakeParents(const std::string& linuxPath) {
    for (size_t pos = 1; (pos = linuxPath.find('/', pos)) != std::string::npos; ++pos) {
        std::string dir = linuxPath.substr(0, pos);
        if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

std::string EnvFolder(const char* var, const char* fallback) {
    const char* v = std::getenv(var);
    if (v && *v == '/') return std::string(v) + "/tessarak";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + fallback + "/tessarak";
}

}  // namespace

bool Sys_ResolvePath(const char* path, std::string& linuxPath) {
    if (!ResolveLinux(path, linuxPath)) return false;
    std::string twin = UserDataTwin(linuxPath);
    if (!twin.empty()) {
        std::string resolvedTwin;
        struct stat st;
        if (ResolveLinux(twin.c_str(), resolvedTwin) && lstat(resolvedTwin.c_str(), &st) == 0)
            linuxPath = resolvedTwin;
    }
    return true;
}

bool Sys_ResolveWritePath(const char* path, std::string& linuxPath) {
    if (!ResolveLinux(path, linuxPath)) return false;
    std::string twin = UserDataTwin(linuxPath);
    if (!twin.empty()) return ResolveLinux(twin.c_str(), linuxPath);
    return true;
}

std::string Sys_ToWindowsPath(const char* linuxPath) {
    std::string r;
    if (linuxPath && linuxPath[0] == '/') r = "Z:";
    for (const char* p = linuxPath; p && *p; ++p) r += (*p == '/') ? '\\' : *p;
    return r;
}

void Sys_FlushPathCache() {
    std::lock_guard<std::mutex> lock(g_cacheLock);
    g_cache.clear();
}

void Sys_SetInstallFolder(const char* path, int writable) {
    std::string l;
    if (path && *path) ResolveLinux(path, l);
    while (l.size() > 1 && l.back() == '/') l.pop_back();
    std::lock_guard<std::mutex> lock(g_installLock);
    g_install = l;
    g_installWritable = l.empty() || (writable >= 0 ? writable != 0 : access(l.c_str(), W_OK) == 0);
}

std::string Sys_GetInstallFolder() {
    std::lock_guard<std::mutex> lock(g_installLock);
    return g_install;
}

bool Sys_IsInstallWritable() {
    std::lock_guard<std::mutex> lock(g_installLock);
    return g_installWritable;
}

std::string Sys_GetUserDataFolder() {
    return EnvFolder("XDG_DATA_HOME", "/.local/share");
}
std::string Sys_GetUserConfigFolder() {
    return EnvFolder("XDG_CONFIG_HOME", "/.config");
}

std::string Sys_GetExecutableFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return ".";
    buf[n] = '\0';
    std::string s(buf);
    size_t slash = s.rfind('/');
    return slash == 0 ? "/" : s.substr(0, slash);
}

// Opens a regular file only. A named pipe would block the open (a pipe in
// the game's folders would hang start-up) and a device such as /dev/zero
// reads without end; folders POSIX would open for reading. The open itself
// does not wait (O_NONBLOCK), the kind is checked on the open descriptor, and
// the descriptor then blocks as usual.
static int OpenRegular(const std::string& linuxPath, int flags) {
    struct stat st;
    if (stat(linuxPath.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return -1;
    int fd = open(linuxPath.c_str(), flags | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0644);
    if (fd < 0) return -1;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        return -1;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int Sys_OpenRead(const char* path) {
    std::string l;
    return Sys_ResolvePath(path, l) ? OpenRegular(l, O_RDONLY) : -1;
}

static int OpenForWriting(const char* path, int flags) {
    std::string l;
    if (!Sys_ResolveWritePath(path, l)) return -1;
    MakeParents(l);
    return OpenRegular(l, O_RDWR | O_CREAT | flags);
}

int Sys_OpenWrite(const char* path) {
    return OpenForWriting(path, O_TRUNC);
}

int Sys_OpenAppend(const char* path) {
    int fd = OpenForWriting(path, 0);
    if (fd >= 0) lseek(fd, 0, SEEK_END);
    return fd;
}

void Sys_CloseFile(int handle) {
    if (handle >= 0) close(handle);
}

int64_t Sys_ReadFile(int handle, void* buf, int64_t n) {
    if (handle < 0 || n < 0) return -1;
    int64_t done = 0;
    while (done < n) {
        ssize_t r = read(handle, static_cast<char*>(buf) + done, static_cast<size_t>(n - done));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return done ? done : -1;
        if (r == 0) break;
        done += r;
    }
    return done;
}

int64_t Sys_WriteFile(int handle, const void* buf, int64_t n) {
    if (handle < 0 || n < 0) return -1;
    int64_t done = 0;
    while (done < n) {
        ssize_t r = write(handle, static_cast<const char*>(buf) + done, static_cast<size_t>(n - done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return done ? done : -1;
        done += r;
    }
    return done;
}

int64_t Sys_ReadAt(int handle, int64_t offset, void* buf, int64_t n) {
    if (handle < 0 || n < 0 || offset < 0) return -1;
    int64_t done = 0;
    while (done < n) {
        ssize_t r =
            pread(handle, static_cast<char*>(buf) + done, static_cast<size_t>(n - done), offset + done);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return done ? done : -1;
        if (r == 0) break;
        done += r;
    }
    return done;
}

int64_t Sys_Seek(int handle, int64_t offset) {
    if (handle < 0 || offset < 0) return -1;
    return lseek(handle, offset, SEEK_SET);
}

int64_t Sys_Tell(int handle) {
    return handle < 0 ? -1 : lseek(handle, 0, SEEK_CUR);
}

int64_t Sys_FileSize(int handle) {
    struct stat st;
    if (handle < 0 || fstat(handle, &st) != 0) return -1;
    return st.st_size;
}

FILE* Sys_FOpen(const char* path, const char* mode) {
    if (!mode) return nullptr;
    bool writes = std::strpbrk(mode, "wa+") != nullptr;
    std::string l;
    if (writes ? !Sys_ResolveWritePath(path, l) : !Sys_ResolvePath(path, l)) return nullptr;
    if (writes) MakeParents(l);
    int flags = std::strchr(mode, '+') ? O_RDWR : (writes ? O_WRONLY : O_RDONLY);
    if (mode[0] == 'w') flags |= O_CREAT | O_TRUNC;
    if (mode[0] == 'a') flags |= O_CREAT | O_APPEND;
    int fd = OpenRegular(l, flags);
    if (fd < 0) return nullptr;
    FILE* f = fdopen(fd, mode);
    if (!f) close(fd);
    return f;
}

ESysReadResult Sys_ReadRegularFile(const std::string& linuxPath, size_t limit, std::string& out) {
    out.clear();
    struct stat st;
    if (stat(linuxPath.c_str(), &st) != 0) return kSysReadMissing;
    if (!S_ISREG(st.st_mode)) return kSysReadNotRegular;
    int fd = OpenRegular(linuxPath, O_RDONLY);
    if (fd < 0) return kSysReadFailed;
    ESysReadResult result = kSysReadOk;
    if (fstat(fd, &st) != 0) {
        result = kSysReadFailed;
    } else if (static_cast<uint64_t>(st.st_size) > limit) {
        result = kSysReadTooLarge;
    } else {
        // The size may change under us: read no more than the limit allows.
        out.resize(static_cast<size_t>(st.st_size));
        int64_t got = Sys_ReadFile(fd, &out[0], static_cast<int64_t>(out.size()));
        if (got < 0) {
            result = kSysReadFailed;
            out.clear();
        } else {
            out.resize(static_cast<size_t>(got));
        }
    }
    close(fd);
    return result;
}

// A temporary file of ours is named ".<name>.tmp.<process id>.XXXXXX" beside
// the file it replaces, so that a start-up can tell whose it is.
int Sys_BeginReplace(const char* path, std::string& tempPath, std::string& finalPath) {
    if (!Sys_ResolveWritePath(path, finalPath)) return -1;
    MakeParents(finalPath);
    struct stat st;
    if (stat(finalPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return -1;
    size_t slash = finalPath.rfind('/');
    tempPath = finalPath.substr(0, slash + 1) + "." + finalPath.substr(slash + 1) + ".tmp." +
               std::to_string(static_cast<long>(getpid())) + ".XXXXXX";
    int fd = mkostemp(&tempPath[0], O_CLOEXEC);
    if (fd < 0) return -1;
    fchmod(fd, 0644);
    return fd;
}

// Whether a name is one of our temporary files, and the process that wrote
// it (0 for the older names that carry none: ".<name>.tmp.XXXXXX").
static bool IsOurTemporary(const char* name, long& writer) {
    writer = 0;
    size_t n = std::strlen(name);
    if (name[0] != '.' || n < 12) return false;
    const char* tmp = nullptr;
    for (const char* p = std::strstr(name, ".tmp."); p; p = std::strstr(p + 1, ".tmp.")) tmp = p;
    if (!tmp || tmp == name) return false;
    const char* rest = tmp + 5;
    const char* end = name + n;
    if (end - rest == 6) return true;  // no writer named
    const char* dot = std::strchr(rest, '.');
    if (!dot || end - dot != 7 || dot == rest) return false;
    for (const char* p = rest; p < dot; ++p)
        if (*p < '0' || *p > '9') return false;
    writer = std::strtol(rest, nullptr, 10);
    return true;
}

static void RemoveStaleIn(const std::string& dir, int depth, time_t now, int& removed) {
    DIR* d = opendir(dir.c_str());
    if (!d) return;
    std::vector<std::string> subfolders;
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        std::string full = Join(dir, e->d_name);
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            if (depth > 0) subfolders.push_back(full);
            continue;
        }
        long writer = 0;
        if (!S_ISREG(st.st_mode) || !IsOurTemporary(e->d_name, writer)) continue;
        // A writer still at work (this process, or another one on this
        // machine) keeps its file; so does a file younger than a minute, which
        // a game on another machine sharing the folder may be writing.
        bool writerGone = writer <= 0 || (kill(static_cast<pid_t>(writer), 0) != 0 && errno == ESRCH);
        if (writerGone && now - st.st_mtime > 60 && unlink(full.c_str()) == 0) ++removed;
    }
    closedir(d);
    for (const std::string& sub : subfolders) RemoveStaleIn(sub, depth - 1, now, removed);
}

int Sys_RemoveStaleTemporaries(const char* folder, int depth) {
    if (!folder) return 0;
    int removed = 0;
    time_t now = time(nullptr);
    for (const std::string& dir : ListingFolders(folder)) RemoveStaleIn(dir, depth, now, removed);
    if (removed) Sys_FlushPathCache();
    return removed;
}

bool Sys_CommitReplace(int handle, const std::string& tempPath, const std::string& finalPath) {
    bool ok = handle >= 0 && close(handle) == 0;
    if (ok) ok = rename(tempPath.c_str(), finalPath.c_str()) == 0;
    if (!ok) unlink(tempPath.c_str());
    return ok;
}

void Sys_AbortReplace(int handle, const std::string& tempPath) {
    if (handle >= 0) close(handle);
    unlink(tempPath.c_str());
}

bool Sys_WriteFileAtomic(const char* path, const void* data, size_t size) {
    std::string temp, final;
    int fd = Sys_BeginReplace(path, temp, final);
    if (fd < 0) return false;
    if (Sys_WriteFile(fd, data, static_cast<int64_t>(size)) != static_cast<int64_t>(size) || fsync(fd) != 0) {
        Sys_AbortReplace(fd, temp);
        return false;
    }
    return Sys_CommitReplace(fd, temp, final);
}

bool Sys_WildcardMatch(const char* pattern, const char* name) {
    auto fold = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    // Iterative matching with one backtrack point for the last '*'.
    const char* p = pattern;
    const char* n = name;
    const char* star = nullptr;
    const char* starName = nullptr;
    while (*n) {
        if (*p == '*') {
            star = p++;
            starName = n;
        } else if (*p == '?' || (*p && fold(*p) == fold(*n))) {
            ++p;
            ++n;
        } else if (star) {
            p = star + 1;
            n = ++starName;
        } else {
            break;
        }
    }
    if (!*n) {
        while (*p == '*') ++p;
        if (!*p) return true;
    }
    // "name.*" matches a name that has no extension at all, as the Windows search does.
    size_t pl = std::strlen(pattern);
    if (pl >= 2 && pattern[pl - 2] == '.' && pattern[pl - 1] == '*' && !std::strchr(name, '.')) {
        std::string shorter(pattern, pl - 2);
        return Sys_WildcardMatch(shorter.c_str(), name);
    }
    return false;
}

bool Sys_FindFiles(const char* pattern, std::vector<SSysFindData>& found) {
    found.clear();
    if (!pattern) return false;
    std::string pat(pattern);
    size_t cut = pat.find_last_of("\\/");
    std::string folder = cut == std::string::npos ? std::string(".") : pat.substr(0, cut + 1);
    std::string leaf = cut == std::string::npos ? pat : pat.substr(cut + 1);
    if (folder.size() == 2 && folder[1] == ':') folder += '\\';
    const std::vector<std::string> dirs = ListingFolders(folder);
    if (dirs.empty()) return false;
    bool wild = leaf.find_first_of("*?") != std::string::npos;
    auto addOne = [&](const std::string& dir, const std::string& name) {
        std::string full = Join(dir, name);
        struct stat st;
        if (lstat(full.c_str(), &st) != 0) return;
        SSysFindData f;
        f.name = name;
        f.isLink = S_ISLNK(st.st_mode);
        if (f.isLink && stat(full.c_str(), &st) != 0) return;  // dangling link
        f.isFolder = S_ISDIR(st.st_mode);
        f.size = f.isFolder ? 0 : static_cast<uint64_t>(st.st_size);
        struct tm local;
        const time_t when = st.st_mtime;
        if (localtime_r(&when, &local)) {
            const int32_t parts[6] = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                      local.tm_hour,        local.tm_min,     local.tm_sec};
            std::copy(parts, parts + 6, f.written);
        }
        found.push_back(f);
    };
    if (!wild) {
        if (leaf.empty()) return false;
        for (const std::string& dir : dirs) {
            std::string real = LookUpName(dir, leaf);
            if (real.empty()) continue;
            addOne(dir, real);
            break;
        }
        return !found.empty();
    }
    // Name and folder of every match; a name the user's folder holds hides
    // the installation's one of the same name in any letter case.
    std::vector<std::pair<std::string, const std::string*>> names;
    std::unordered_set<std::string> seen;
    for (const std::string& dir : dirs) {
        DIR* d = opendir(dir.c_str());
        if (!d) continue;
        std::vector<std::string> here;
        while (dirent* e = readdir(d)) {
            if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
            if (Sys_WildcardMatch(leaf.c_str(), e->d_name)) here.push_back(e->d_name);
        }
        closedir(d);
        for (const std::string& n : here)
            if (!seen.count(Lower(n))) names.emplace_back(n, &dir);
        for (const std::string& n : here) seen.insert(Lower(n));
    }
    std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) {
        int c = strcasecmp(a.first.c_str(), b.first.c_str());
        return c != 0 ? c < 0 : a.first < b.first;
    });
    for (const auto& n : names) addOne(*n.second, n.first);
    return !found.empty();
}

bool Sys_PathExists(const char* path) {
    std::vector<SSysFindData> found;
    if (path && std::strpbrk(path, "*?")) return Sys_FindFiles(path, found);
    std::string l;
    struct stat st;
    return Sys_ResolvePath(path, l) && stat(l.c_str(), &st) == 0;
}

bool Sys_IsFolder(const char* path) {
    std::string l;
    struct stat st;
    return Sys_ResolvePath(path, l) && stat(l.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Sys_CreateFolder(const char* path) {
    std::string l, direct;
    if (!Sys_ResolveWritePath(path, l) || !ResolveLinux(path, direct)) return false;
    if (mkdir(l.c_str(), 0755) != 0 && errno != EEXIST) {
        if (errno != ENOENT || l == direct) return false;
        MakeParents(l);  // the user-data twin's parents may not exist yet
        if (mkdir(l.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st;
    return stat(l.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Sys_DeleteFile(const char* path) {
    std::string l;
    return Sys_ResolveWritePath(path, l) && unlink(l.c_str()) == 0;
}

bool Sys_RenameFile(const char* from, const char* to) {
    std::string a, b;
    return Sys_ResolvePath(from, a) && Sys_ResolveWritePath(to, b) && rename(a.c_str(), b.c_str()) == 0;
}

bool Sys_IsSafeRelativePath(const char* path) {
    if (!path || !*path || std::strlen(path) > 259) return false;
    if (IsSep(path[0]) || std::strchr(path, ':')) return false;
    const char* comp = path;
    for (const char* p = path;; ++p) {
        if (static_cast<unsigned char>(*p) < 32 && *p != '\0') return false;
        if (*p == '\0' || IsSep(*p)) {
            if (p - comp == 2 && comp[0] == '.' && comp[1] == '.') return false;
            if (*p == '\0') return true;
            comp = p + 1;
        }
    }
}
