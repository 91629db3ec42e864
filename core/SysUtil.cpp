#include "core/SysUtil.h"

#include <strings.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/sys/Format.h"
#include "platform/sys/MessageBox.h"
#include "platform/sys/Path.h"

// --- memory ----------------------------------------------------------------------

namespace {
// Each block carries its requested size in front, so MemSize is exact.
constexpr size_t kHeader = 16;
}  // namespace

void* MemAlloc(size_t size) {
    if (size > SIZE_MAX - kHeader) return nullptr;
    auto* p = static_cast<unsigned char*>(std::malloc(size + kHeader));
    if (!p) return nullptr;
    std::memcpy(p, &size, sizeof size);
    return p + kHeader;
}

void* MemCalloc(size_t count, size_t size) {
    if (size && count > SIZE_MAX / size) return nullptr;
    void* p = MemAlloc(count * size);
    if (p) std::memset(p, 0, count * size);
    return p;
}

void* MemRealloc(void* block, size_t size) {
    if (!block) return MemAlloc(size);
    if (size > SIZE_MAX - kHeader) return nullptr;
    auto* base = static_cast<unsigned char*>(block) - kHeader;
    auto* p = static_cast<unsigned char*>(std::realloc(base, size + kHeader));
    if (!p) return nullptr;
    std::memcpy(p, &size, sizeof size);
    return p + kHeader;
}

void MemFree(void* block) {
    if (block) std::free(static_cast<unsigned char*>(block) - kHeader);
}

size_t MemSize(const void* block) {
    if (!block) return 0;
    size_t size;
    std::memcpy(&size, static_cast<const unsigned char*>(block) - kHeader, sizeof size);
    return size;
}

// --- system information ------------------------------------------------------------

SOSVersionInfo g_OSVersionInfo;
SSystemInfo g_SystemInfo;

void InitSystemInfo() {
    g_OSVersionInfo = SOSVersionInfo();
    g_OSVersionInfo.platformId = 2;
    utsname u;
    if (uname(&u) == 0) {
        unsigned major = 0, minor = 0, build = 0;
        std::sscanf(u.release, "%u.%u.%u", &major, &minor, &build);
        g_OSVersionInfo.majorVersion = major;
        g_OSVersionInfo.minorVersion = minor;
        g_OSVersionInfo.buildNumber = build;
        std::strncpy(g_OSVersionInfo.servicePack, u.sysname, sizeof g_OSVersionInfo.servicePack - 1);
    }
    g_SystemInfo = SSystemInfo();
#if defined(__x86_64__)
    g_SystemInfo.processorArchitecture = 9;
    g_SystemInfo.processorType = 8664;
#elif defined(__aarch64__)
    g_SystemInfo.processorArchitecture = 12;
#else
    g_SystemInfo.processorType = 586;
#endif
    long page = sysconf(_SC_PAGESIZE);
    long cpus = sysconf(_SC_NPROCESSORS_ONLN);
    g_SystemInfo.pageSize = page > 0 ? static_cast<uint32_t>(page) : 4096;
    g_SystemInfo.numberOfProcessors = cpus > 0 ? static_cast<uint32_t>(cpus) : 1;
    g_SystemInfo.allocationGranularity = 65536;
}

namespace {
// Filled once at program start, before anything can read it.
const bool g_systemInfoReady = (InitSystemInfo(), true);
}  // namespace

// --- bits and bounds -----------------------------------------------------------------

int LowestSetBit(uint32_t v) {
    return v ? __builtin_ctz(v) : -1;
}
int BitCount(uint32_t v) {
    return __builtin_popcount(v);
}

uint32_t LowBitsMask(int n) {
    if (n <= 0) return 0;
    if (n >= 32) return 0xFFFFFFFFu;
    return (1u << n) - 1;
}

int MaxInt(int a, int b) {
    return a > b ? a : b;
}
int MinInt(int a, int b) {
    return a < b ? a : b;
}
float MinFloat(float a, float b) {
    return a >= b ? b : a;
}

// --- registry ----------------------------------------------------------------------

bool RegReadValue(uint32_t root, const char* subKey, const char* name, uint32_t type, void* out,
                  uint32_t* size) {
    if (!out) return false;
    uint32_t stored = REG_NONE;
    std::vector<uint8_t> data;
    if (!Sys_RegQueryValue(root, subKey, name, &stored, &data) || stored != type) return false;
    if (type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN) {
        if (data.size() != 4) return false;
        std::memcpy(out, data.data(), 4);
        if (size) *size = 4;
        return true;
    }
    if (type == REG_SZ || type == REG_BINARY) {
        // One byte more than stored, zero: text read from it always ends.
        char* buf = new char[data.size() + 1];
        if (!data.empty()) std::memcpy(buf, data.data(), data.size());
        buf[data.size()] = '\0';
        *static_cast<char**>(out) = buf;
        if (size) *size = static_cast<uint32_t>(data.size());
        return true;
    }
    return false;
}

bool RegWriteValue(uint32_t root, const char* subKey, const char* name, uint32_t type, const void* data,
                   uint32_t size) {
    if (type == REG_DWORD || type == REG_DWORD_BIG_ENDIAN)
        return data && Sys_RegSetValue(root, subKey, name, type, data, 4);
    if (type == REG_SZ || type == REG_BINARY) return Sys_RegSetValue(root, subKey, name, type, data, size);
    return false;
}

// --- paths ---------------------------------------------------------------------------

bool CreateDirectoryPath(const char* path) {
    if (!path || !*path) return false;
    std::string p(path);
    for (size_t i = 1; i < p.size(); ++i) {
        if (p[i] != '\\' && p[i] != '/') continue;
        std::string level = p.substr(0, i);
        if (level.size() == 2 && level[1] == ':') continue;  // a drive
        Sys_CreateFolder(level.c_str());
    }
    Sys_CreateFolder(path);
    return Sys_IsFolder(path);
}

void PathJoin(CStrBuf& out, const char* folder, const char* stored) {
    if (!folder) folder = "";
    if (!stored) stored = "\0";
    unsigned count = static_cast<unsigned char>(stored[0]);
    const char* text = stored + 1;  // the count byte is followed by the text, even when it is 0
    if (count == 0x80) {
        out.Assign(text);
        return;
    }
    size_t end = std::strlen(folder);
    for (unsigned removed = 0; removed < count;) {
        if (end == 0) {
            out.Assign("");
            return;
        }
        if (folder[--end] == '\\') ++removed;
    }
    if (count > 0 && end == 0) {
        out.Assign("");
        return;
    }
    std::string joined(folder, end);
    joined += '\\';
    joined += text;
    if (joined.back() == '\\') joined.pop_back();
    out.Assign(joined.c_str());
}

// --- sorting ---------------------------------------------------------------------------

namespace {

struct SSortContext {
    size_t nextOffset, prevOffset, keyOffset;
    int kind;
    SortCompare compare;

    void*& Next(void* r) const { return *reinterpret_cast<void**>(static_cast<char*>(r) + nextOffset); }
    void*& Prev(void* r) const { return *reinterpret_cast<void**>(static_cast<char*>(r) + prevOffset); }
    const char* Key(const void* r) const { return static_cast<const char*>(r) + keyOffset; }

    template <typename T>
    int Cmp(const void* a, const void* b) const {
        T x, y;
        std::memcpy(&x, Key(a), sizeof x);
        std::memcpy(&y, Key(b), sizeof y);
        return x < y ? -1 : (y < x ? 1 : 0);
    }

    // True when a belongs behind b.
    bool After(const void* a, const void* b) const {
        int c = 0;
        switch (kind) {
            case 0:
            case 1:
                c = Cmp<uint8_t>(a, b);
                break;
            case 2:
            case 3:
                c = Cmp<uint16_t>(a, b);
                break;
            case 4:
            case 5:
                c = Cmp<uint32_t>(a, b);
                break;
            case 6:
            case 7:
                c = Cmp<int32_t>(a, b);
                break;
            case 8:
            case 9:
                c = Cmp<float>(a, b);
                break;
            case 10:
            case 11:
                c = strcasecmp(Key(a), Key(b));
                break;
            case 12:
            case 13:
                c = strcasecmp(reinterpret_cast<const CStrBuf*>(Key(a))->GetText(),
                               reinterpret_cast<const CStrBuf*>(Key(b))->GetText());
                break;
            case 14:
                c = compare(a, b);
                break;
        }
        bool descending = kind <= 9 ? (kind & 1) != 0 : (kind == 10 || kind == 12);
        return descending ? c < 0 : c > 0;
    }
};

}  // namespace

void SortRecords(void** first, size_t nextOffset, size_t prevOffset, size_t keyOffset, int kind,
                 SortCompare compare) {
    if (!first || kind < 0 || kind > 14 || (kind == 14 && !compare)) return;
    SSortContext ctx{nextOffset, prevOffset, keyOffset, kind, compare};
    void* head = nullptr;
    void* tail = nullptr;
    void* in = *first;
    while (in) {
        void* e = in;
        in = ctx.Next(e);
        void* r = tail;
        while (r && ctx.After(r, e)) r = ctx.Prev(r);
        if (!r) {
            ctx.Prev(e) = nullptr;
            ctx.Next(e) = head;
            if (head) ctx.Prev(head) = e;
            head = e;
            if (!tail) tail = e;
        } else {
            void* n = ctx.Next(r);
            ctx.Prev(e) = r;
            ctx.Next(e) = n;
            ctx.Next(r) = e;
            if (n)
                ctx.Prev(n) = e;
            else
                tail = e;
        }
    }
    *first = head;
}

// --- diagnostics ---------------------------------------------------------------------

namespace {
bool g_viewDataSilenced = false;
}

int ViewDataBox(const char* text, int32_t number) {
    if (g_viewDataSilenced) return 0;
    CStrBuf message;
    if (number != 0)
        message.Format("%s %ld ", text ? text : "", number);
    else
        message.Format("%s", text ? text : "");
    int answer = Sys_MessageBox(message.GetText(), "View data", MB_OKCANCEL);
    if (answer == IDCANCEL) g_viewDataSilenced = true;
    return answer;
}

bool IsViewDataSilenced() {
    return g_viewDataSilenced;
}
void ResetViewDataSilence() {
    g_viewDataSilenced = false;
}
