// tessarak_reg: reads and writes the game's registry values, for installers,
// server operators and tests.
//
//   tessarak_reg set HKLM "Software\Zq\Tessarak Dodo\Settings" InstalledPath sz "Z:\opt\tessarak"
//   tessarak_reg set HKCU "Software\Zq\Tessarak\Settings" UniqueServerID dword 42
//   tessarak_reg get HKCU "Software\Zq\Tessarak\Settings" UniqueServerID
//   tessarak_reg delete HKCU "Software\Zq\Tessarak\Settings" UniqueServerID
//   tessarak_reg file HKLM
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/sys/Registry.h"

namespace {

bool ParseRoot(const char* s, uint32_t& root) {
    if (!strcasecmp(s, "HKCU") || !strcasecmp(s, "HKEY_CURRENT_USER")) {
        root = HKEY_CURRENT_USER;
        return true;
    }
    if (!strcasecmp(s, "HKLM") || !strcasecmp(s, "HKEY_LOCAL_MACHINE")) {
        root = HKEY_LOCAL_MACHINE;
        return true;
    }
    return false;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: tessarak_reg set ROOT KEY NAME sz|dword|binary VALUE\n"
                 "       tessarak_reg get|delete ROOT KEY NAME\n"
                 "       tessarak_reg file ROOT\n"
                 "ROOT is HKCU or HKLM; binary values are hex digits.\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return Usage();
    uint32_t root;
    if (!ParseRoot(argv[2], root)) return Usage();
    std::string cmd = argv[1];
    if (cmd == "file") {
        std::printf("%s\n", Sys_RegGetFile(root).c_str());
        return 0;
    }
    if (argc < 5) return Usage();
    const char* key = argv[3];
    const char* name = argv[4];
    if (cmd == "get") {
        uint32_t type = 0;
        std::vector<uint8_t> data;
        if (!Sys_RegQueryValue(root, key, name, &type, &data)) {
            std::fprintf(stderr, "no such value\n");
            return 1;
        }
        if (type == REG_SZ) {
            // A hand-edited file may hold a string without its terminator.
            std::string text(data.begin(), data.end());
            std::printf("%s\n", text.c_str());
        } else if (type == REG_DWORD && data.size() == 4) {
            std::printf("%u\n",
                        data[0] | data[1] << 8 | data[2] << 16 | static_cast<unsigned>(data[3]) << 24);
        } else {
            for (uint8_t b : data) std::printf("%02x", b);
            std::printf("\n");
        }
        return 0;
    }
    if (cmd == "delete") return Sys_RegDeleteValue(root, key, name) ? 0 : 1;
    if (cmd != "set" || argc < 7) return Usage();
    std::string type = argv[5];
    const char* value = argv[6];
    bool ok = false;
    if (type == "sz") {
        ok = Sys_RegSetValue(root, key, name, REG_SZ, value, static_cast<uint32_t>(std::strlen(value) + 1));
    } else if (type == "dword") {
        uint32_t v = static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
        uint8_t b[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
                        static_cast<uint8_t>(v >> 24)};
        ok = Sys_RegSetValue(root, key, name, REG_DWORD, b, 4);
    } else if (type == "binary") {
        std::vector<uint8_t> bytes;
        size_t n = std::strlen(value);
        if (n % 2 || std::strspn(value, "0123456789abcdefABCDEF") != n) return Usage();
        for (size_t i = 0; i < n; i += 2)
            bytes.push_back(
                static_cast<uint8_t>(std::strtoul(std::string(value + i, 2).c_str(), nullptr, 16)));
        ok = Sys_RegSetValue(root, key, name, REG_BINARY, bytes.data(), static_cast<uint32_t>(bytes.size()));
    } else {
        return Usage();
    }
    if (!ok) std::fprintf(stderr, "could not write %s\n", Sys_RegGetFile(root).c_str());
    return ok ? 0 : 1;
}
