// The registry, kept as typed values in small text files.
//
// HKEY_CURRENT_USER lives in $XDG_CONFIG_HOME/tessarak/registry.ini;
// HKEY_LOCAL_MACHINE in registry.ini beside the installation, or in
// $XDG_CONFIG_HOME/tessarak/registry-machine.ini when the installation is not
// writable or is declared read-only (values there override the installation's
// own file). The files use the layout of Windows .reg exports, so installers
// and modders can write them by hand:
//
//   [Software\Zq\Tessarak\Settings]
//   "UniqueServerID"=dword:0000002a
//   "InstalledPath"="Z:\\opt\\tessarak"
//   "Blob"=hex:01,02,ff
//   "Other"=hex(5):00,00,00,2a
//
// Key paths and value names compare ignoring case. Every call reads the file
// afresh and every change rewrites it through a temporary file, so a value
// written is seen by the next process at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

enum : uint32_t {
    HKEY_CLASSES_ROOT = 0x80000000u,
    HKEY_CURRENT_USER = 0x80000001u,
    HKEY_LOCAL_MACHINE = 0x80000002u,
    HKEY_USERS = 0x80000003u,
};

enum : uint32_t {
    REG_NONE = 0,
    REG_SZ = 1,
    REG_EXPAND_SZ = 2,
    REG_BINARY = 3,
    REG_DWORD = 4,
    REG_DWORD_BIG_ENDIAN = 5,
};

// The value's type and bytes (a string comes back with its terminator).
bool Sys_RegQueryValue(uint32_t root, const char* subKey, const char* name, uint32_t* type,
                       std::vector<uint8_t>* data);
bool Sys_RegSetValue(uint32_t root, const char* subKey, const char* name, uint32_t type, const void* data,
                     uint32_t size);
bool Sys_RegDeleteValue(uint32_t root, const char* subKey, const char* name);
bool Sys_RegKeyExists(uint32_t root, const char* subKey);

// The file a hive is written to.
std::string Sys_RegGetFile(uint32_t root);
// Puts a hive's file elsewhere (installers, tests); null or "" restores the default.
void Sys_RegSetFile(uint32_t root, const char* linuxPath);
