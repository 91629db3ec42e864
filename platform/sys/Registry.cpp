#include "platform/sys/Registry.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/sys/Path.h"

namespace {

struct SRegValue {
    std::string name;
    uint32_t type = REG_NONE;
    std::vector<uint8_t> data;
};

struct SRegKey {
    std::string path;
    std::vector<SRegValue> values;
};

using CHive = std::vector<SRegKey>;

std::mutex g_regLock;
std::string g_userOverride, g_machineOverride;

std::string InstallFolder() {
    std::string install = Sys_GetInstallFolder();
    if (!install.empty()) return install;
    std::string exe = Sys_GetExecutableFolder();
    size_t slash = exe.rfind('/');
    std::string leaf = slash == std::string::npos ? exe : exe.substr(slash + 1);
    if (strcasecmp(leaf.c_str(), "System") == 0 && slash != std::string::npos && slash > 0)
        return exe.substr(0, slash);
    return exe;
}

// The files a hive is read from (later ones override), and the one it is written to.
void HiveFiles(uint32_t root, std::vector<std::string>& reads, std::string& write) {
    reads.clear();
    if (root == HKEY_LOCAL_MACHINE) {
        if (!g_machineOverride.empty()) {
            write = g_machineOverride;
        } else {
            std::string beside = InstallFolder() + "/registry.ini";
            std::string config = Sys_GetUserConfigFolder() + "/registry-machine.ini";
            // A shared installation may be declared read-only even where the
            // file system would let this user write to it.
            bool writable = Sys_GetInstallFolder().empty() ? access(InstallFolder().c_str(), W_OK) == 0
                                                           : Sys_IsInstallWritable();
            reads.push_back(beside);
            write = writable ? beside : config;
        }
    } else {
        write = !g_userOverride.empty() ? g_userOverride : Sys_GetUserConfigFolder() + "/registry.ini";
    }
    if (reads.empty() || reads.back() != write) reads.push_back(write);
}

std::string Trim(const std::string& s) {
    size_t a = s.find_first_not_of(" \t\r\n");
    size_t b = s.find_last_not_of(" \t\r\n");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A quoted text at s[pos] (pos on the opening quote); pos ends behind the closing quote.
bool ParseQuoted(const std::string& s, size_t& pos, std::string& out) {
    if (pos >= s.size() || s[pos] != '"') return false;
    out.clear();
    for (++pos; pos < s.size(); ++pos) {
        char c = s[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < s.size()) {
            char e = s[++pos];
            if (e == 'x' && pos + 2 < s.size() && HexDigit(s[pos + 1]) >= 0 && HexDigit(s[pos + 2]) >= 0) {
                out += static_cast<char>(HexDigit(s[pos + 1]) * 16 + HexDigit(s[pos + 2]));
                pos += 2;
            } else {
                out += e;
            }
        } else {
            out += c;
        }
    }
    return false;
}

std::string Quote(const std::string& s) {
    std::string r = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            r += '\\';
            r += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            r += hex;
        } else {
            r += static_cast<char>(c);
        }
    }
    return r + "\"";
}

bool ParseValue(const std::string& text, SRegValue& v) {
    v.data.clear();
    if (!text.empty() && text[0] == '"') {
        std::string s;
        size_t pos = 0;
        if (!ParseQuoted(text, pos, s)) return false;
        v.type = REG_SZ;
        v.data.assign(s.begin(), s.end());
        v.data.push_back(0);
        return true;
    }
    if (strncasecmp(text.c_str(), "dword:", 6) == 0) {
        unsigned long n = std::strtoul(text.c_str() + 6, nullptr, 16);
        v.type = REG_DWORD;
        for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<uint8_t>((n >> (8 * i)) & 0xFF));
        return true;
    }
    size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    std::string kind = text.substr(0, colon);
    if (strcasecmp(kind.c_str(), "hex") == 0) {
        v.type = REG_BINARY;
    } else if (strncasecmp(kind.c_str(), "hex(", 4) == 0) {
        v.type = static_cast<uint32_t>(std::strtoul(kind.c_str() + 4, nullptr, 16));
    } else {
        return false;
    }
    for (size_t pos = colon + 1; pos < text.size();) {
        while (pos < text.size() && (text[pos] == ',' || text[pos] == ' ' || text[pos] == '\\')) ++pos;
        if (pos >= text.size()) break;
        int hi = HexDigit(text[pos]);
        int lo = pos + 1 < text.size() ? HexDigit(text[pos + 1]) : -1;
        if (hi < 0 || lo < 0) return false;
        v.data.push_back(static_cast<uint8_t>(hi * 16 + lo));
        pos += 2;
    }
    return true;
}

SRegKey* FindKey(CHive& hive, const char* path, bool create) {
    for (auto& k : hive)
        if (strcasecmp(k.path.c_str(), path) == 0) return &k;
    if (!create) return nullptr;
    hive.push_back(SRegKey{path, {}});
    return &hive.back();
}

SRegValue* FindValue(SRegKey& key, const char* name, bool create) {
    for (auto& v : key.values)
        if (strcasecmp(v.name.c_str(), name) == 0) return &v;
    if (!create) return nullptr;
    key.values.push_back(SRegValue{name, REG_NONE, {}});
    return &key.values.back();
}

// A hive file is small: one that is larger, or is no regular file at all (a
// pipe, a device), is not read, and said so once per file.
constexpr size_t kMaxHiveBytes = 1u << 20;

void ReportHiveFault(const std::string& file, ESysReadResult result) {
    static std::vector<std::string> reported;
    if (std::find(reported.begin(), reported.end(), file) != reported.end()) return;
    reported.push_back(file);
    if (result == kSysReadTooLarge)
        std::fprintf(stderr, "Tessarak: the registry file %s is larger than %zu bytes; it is not read\n",
                     file.c_str(), kMaxHiveBytes);
    else if (result == kSysReadNotRegular)
        std::fprintf(stderr, "Tessarak: the registry file %s is not a regular file; it is not read\n",
                     file.c_str());
    else
        std::fprintf(stderr, "Tessarak: the registry file %s cannot be read\n", file.c_str());
}

// False when the file is there but could not be read (it is then left alone).
// The file a hive is written to.
std::string HiveWriteFile(uint32_t root) {
    std::vector<std::string> reads;
    std::string write;
    HiveFiles(root, reads, write);
    return write;
}

bool ReadHiveFile(const std::string& file, CHive& hive) {
    std::string all;
    ESysReadResult result = Sys_ReadRegularFile(file, kMaxHiveBytes, all);
    if (result == kSysReadMissing) return true;
    if (result != kSysReadOk) {
        ReportHiveFault(file, result);
        return false;
    }
    SRegKey* key = nullptr;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos) end = all.size();
        std::string line = Trim(all.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            key =
                close == std::string::npos ? nullptr : FindKey(hive, line.substr(1, close - 1).c_str(), true);
            continue;
        }
        if (!key) continue;
        SRegValue v;
        size_t pos = 0;
        if (line[0] == '@') {
            pos = 1;
        } else if (!ParseQuoted(line, pos, v.name)) {
            continue;
        }
        while (pos < line.size() && line[pos] == ' ') ++pos;
        if (pos >= line.size() || line[pos] != '=') continue;
        if (!ParseValue(Trim(line.substr(pos + 1)), v)) continue;
        SRegValue* slot = FindValue(*key, v.name.c_str(), true);
        *slot = v;
    }
    return true;
}

// The first time a hive is read, the temporary files that interrupted writes
// of it left beside its file are removed.
void RemoveStaleTemporariesOnce(const std::string& file) {
    static std::vector<std::string> cleaned;
    std::string folder = file.substr(0, file.rfind('/') + 1);
    if (folder.empty() || std::find(cleaned.begin(), cleaned.end(), folder) != cleaned.end()) return;
    cleaned.push_back(folder);
    Sys_RemoveStaleTemporaries(folder.c_str());
}

CHive ReadHive(uint32_t root) {
    std::vector<std::string> reads;
    std::string write;
    HiveFiles(root, reads, write);
    RemoveStaleTemporariesOnce(write);
    CHive hive;
    for (const auto& f : reads) ReadHiveFile(f, hive);
    return hive;
}

std::string FormatValue(const SRegValue& v) {
    char hex[16];
    if (v.type == REG_SZ) {
        std::string s(v.data.begin(), v.data.end());
        size_t z = s.find('\0');
        if (z != std::string::npos) s.resize(z);
        return Quote(s);
    }
    if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t n = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<uint32_t>(v.data[3]) << 24;
        std::snprintf(hex, sizeof hex, "dword:%08x", n);
        return hex;
    }
    std::string r;
    if (v.type == REG_BINARY) {
        r = "hex:";
    } else {
        std::snprintf(hex, sizeof hex, "hex(%x):", v.type);
        r = hex;
    }
    for (size_t i = 0; i < v.data.size(); ++i) {
        std::snprintf(hex, sizeof hex, i ? ",%02x" : "%02x", v.data[i]);
        r += hex;
    }
    return r;
}

bool WriteHive(uint32_t root, const CHive& hive) {
    const std::string file = HiveWriteFile(root);
    std::string text = root == HKEY_LOCAL_MACHINE ? "; Tessarak registry: HKEY_LOCAL_MACHINE\n"
                                                  : "; Tessarak registry: HKEY_CURRENT_USER\n";
    for (const auto& k : hive) {
        text += "\n[" + k.path + "]\n";
        for (const auto& v : k.values)
            text += (v.name.empty() ? std::string("@") : Quote(v.name)) + "=" + FormatValue(v) + "\n";
    }
    return Sys_WriteFileAtomic(file.c_str(), text.data(), text.size());
}

bool KnownRoot(uint32_t root) {
    return root == HKEY_CURRENT_USER || root == HKEY_LOCAL_MACHINE;
}

}  // namespace

bool Sys_RegQueryValue(uint32_t root, const char* subKey, const char* name, uint32_t* type,
                       std::vector<uint8_t>* data) {
    if (!KnownRoot(root) || !subKey) return false;
    std::lock_guard<std::mutex> lock(g_regLock);
    CHive hive = ReadHive(root);
    SRegKey* key = FindKey(hive, subKey, false);
    SRegValue* v = key ? FindValue(*key, name ? name : "", false) : nullptr;
    if (!v) return false;
    if (type) *type = v->type;
    if (data) *data = v->data;
    return true;
}

bool Sys_RegSetValue(uint32_t root, const char* subKey, const char* name, uint32_t type, const void* data,
                     uint32_t size) {
    if (!KnownRoot(root) || !subKey || (size && !data)) return false;
    std::lock_guard<std::mutex> lock(g_regLock);
    CHive hive;
    // Only the file we write: values of a read-only install file stay there.
    // A file that is there but cannot be read is not replaced.
    if (!ReadHiveFile(HiveWriteFile(root), hive)) return false;
    SRegValue* v = FindValue(*FindKey(hive, subKey, true), name ? name : "", true);
    v->type = type;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    v->data.assign(bytes, bytes + size);
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        auto z = std::find(v->data.begin(), v->data.end(), 0);
        v->data.erase(z, v->data.end());
        v->data.push_back(0);
        v->type = REG_SZ;
    }
    return WriteHive(root, hive);
}

bool Sys_RegDeleteValue(uint32_t root, const char* subKey, const char* name) {
    if (!KnownRoot(root) || !subKey) return false;
    std::lock_guard<std::mutex> lock(g_regLock);
    CHive hive;
    if (!ReadHiveFile(HiveWriteFile(root), hive)) return false;
    SRegKey* key = FindKey(hive, subKey, false);
    if (!key) return false;
    for (auto it = key->values.begin(); it != key->values.end(); ++it) {
        if (strcasecmp(it->name.c_str(), name ? name : "") == 0) {
            key->values.erase(it);
            return WriteHive(root, hive);
        }
    }
    return false;
}

bool Sys_RegKeyExists(uint32_t root, const char* subKey) {
    if (!KnownRoot(root) || !subKey) return false;
    std::lock_guard<std::mutex> lock(g_regLock);
    CHive hive = ReadHive(root);
    return FindKey(hive, subKey, false) != nullptr;
}

std::string Sys_RegGetFile(uint32_t root) {
    std::lock_guard<std::mutex> lock(g_regLock);
    return HiveWriteFile(root);
}

void Sys_RegSetFile(uint32_t root, const char* linuxPath) {
    std::lock_guard<std::mutex> lock(g_regLock);
    (root == HKEY_LOCAL_MACHINE ? g_machineOverride : g_userOverride) = linuxPath ? linuxPath : "";
}
