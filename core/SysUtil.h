// Small services the whole game shares: heap blocks, system information, bit
// helpers, registry values, folder creation, stored relative paths, sorting
// of intrusive linked lists by a field, and the "View data" box that shows a
// failure until the user silences it with Cancel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/StrBuf.h"
#include "platform/sys/Registry.h"

// --- memory ----------------------------------------------------------------
// Blocks on the process heap. MemSize gives the size asked for, exactly.
void* MemAlloc(size_t size);
void* MemCalloc(size_t count, size_t size);  // zero-filled; null when count * size overflows
void* MemRealloc(void* block, size_t size);
void MemFree(void* block);
size_t MemSize(const void* block);

// --- system information --------------------------------------------------------
struct SOSVersionInfo {
    uint32_t size = 148;
    uint32_t majorVersion = 0;
    uint32_t minorVersion = 0;
    uint32_t buildNumber = 0;
    uint32_t platformId = 0;  // 2: the NT family, which the game treats as modern
    char servicePack[128] = {};
};

struct SSystemInfo {
    uint16_t processorArchitecture = 0;  // 9 x86-64, 12 ARM64, 0 x86
    uint32_t pageSize = 0;
    uint32_t numberOfProcessors = 0;
    uint32_t processorType = 0;
    uint32_t allocationGranularity = 0;
};

extern SOSVersionInfo g_OSVersionInfo;
extern SSystemInfo g_SystemInfo;
void InitSystemInfo();

// --- bits and bounds ---------------------------------------------------------
int LowestSetBit(uint32_t v);  // -1 for 0
int BitCount(uint32_t v);
uint32_t LowBitsMask(int n);  // 2^n - 1; 0 for n <= 0, all bits for n >= 32
int MaxInt(int a, int b);
int MinInt(int a, int b);
float MinFloat(float a, float b);

// --- registry ------------------------------------------------------------------
// Reads a value of the expected type. A DWORD (4) or big-endian DWORD (5) is
// stored into out (a uint32_t). A string (1) or binary (3) value is returned
// as a new[] buffer through out (a char**), which the caller deletes with
// delete[]; strings are always terminated, and size (when given) receives the
// stored byte count. False, with out untouched, when the value is missing or
// of another type.
bool RegReadValue(uint32_t root, const char* subKey, const char* name, uint32_t type, void* out,
                  uint32_t* size = nullptr);
// Writes a value: types 4 and 5 write 4 bytes, 1 and 3 the size given.
bool RegWriteValue(uint32_t root, const char* subKey, const char* name, uint32_t type, const void* data,
                   uint32_t size);

// --- paths ---------------------------------------------------------------------
// Creates every folder along the path; true when the folder exists afterwards.
bool CreateDirectoryPath(const char* path);
// Joins a folder and a stored relative name whose first byte counts the
// folder levels to go up (0x80: the text is a complete path); the
// zero-terminated text follows that byte, whatever its value.
void PathJoin(CStrBuf& out, const char* folder, const char* stored);

// --- sorting ---------------------------------------------------------------------
// Sorts an intrusive doubly linked list in place (stable insertion sort) by
// the field at keyOffset, and stores the new first element in *first.
// Kinds: 0/1 u8, 2/3 u16, 4/5 u32, 6/7 s32, 8/9 float (even ascending, odd
// descending); 10/11 a character array, 12/13 a CStrBuf (10 and 12
// descending, 11 and 13 ascending, ignoring case); 14 the comparison given.
// A kind above 14 leaves the list unchanged.
typedef int (*SortCompare)(const void* a, const void* b);
void SortRecords(void** first, size_t nextOffset, size_t prevOffset, size_t keyOffset, int kind,
                 SortCompare compare = nullptr);
// Kind 14: by a comparison of two records.
inline void SortRecords(void** first, size_t nextOffset, size_t prevOffset, SortCompare compare) {
    SortRecords(first, nextOffset, prevOffset, 0, 14, compare);
}

// --- diagnostics ---------------------------------------------------------------
// Shows "View data" with OK and Cancel; text and number as "%s %ld " when
// the number is not 0. After a Cancel no box shows for the rest of the run.
// Returns the button pressed (IDOK, IDCANCEL), or 0 once silenced.
int ViewDataBox(const char* text, int32_t number);
bool IsViewDataSilenced();
void ResetViewDataSilence();  // for tests
