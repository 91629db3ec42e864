// Reading picture data through the file table.
#pragma once

#include <cstdint>
#include <vector>

class CVFSFile;

// The largest picture file (or stored picture) read into memory: 512 MiB.
constexpr uint32_t kImageMaxFileBytes = 512u << 20;

// With length -1 the whole file from its first byte, else length bytes from
// the current position. False when the file is closed, too large or ends
// first.
bool Image_ReadFileBytes(CVFSFile& file, int64_t length, std::vector<uint8_t>& out);
