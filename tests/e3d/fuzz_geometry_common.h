// What the geometry fuzz targets share: a sound shape block made by the
// writer, and a file in memory to read records from.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/VFSFile.h"
#include "e3d/Material.h"
#include "e3d/ShapeBlock.h"
#include "tests/support/MemFile.h"

// A block of `sets` position sets over a small grid of faces.
inline void Fuzz_FillBlock(CE3DShapeBlock& b, uint8_t shape) {
    const uint32_t V = 3 + (shape & 7), P = 1 + (shape >> 3 & 1), T = shape >> 4 & 3, Q = shape >> 6 & 1;
    b.m_name = "block";
    b.m_vertexCount = V;
    b.m_positions.assign(P, std::vector<float>(size_t(V) * 6, 0.5f));
    b.m_positionNames.assign(P, CStrBuf("set"));
    b.m_colors.assign(Q, std::vector<uint32_t>(V, 0xFF808080u));
    b.m_texCoords.assign(T, std::vector<float>(size_t(V) * 2, 0.25f));
    const uint32_t K = 1 + (shape % 3);
    b.AllocIndices(V / K, K);
    for (size_t i = 0; i < b.m_indices.size(); ++i) b.m_indices[i] = uint16_t(i % V);
    b.m_byteChannels.assign(shape >> 7, std::vector<uint8_t>(V, 9));
    b.AllocBuffers((Q ? 0x40u : 0u) | (T > 2 ? 2u : T) << 8);
    b.ComputeCentre();
}

// XORs the input into the record, byte by byte.
inline void Fuzz_Mix(std::vector<uint8_t>& record, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size && i < record.size(); ++i) record[i] ^= data[i];
}

struct SFuzzFile {
    SMemFile mem{"record"};
    CVFSTable table;
    CVFSFile file;
    void Open(const uint8_t* data, size_t size) {
        file.Close();
        mem.Set(data, size);
        file.Open(mem.path.c_str(), CVFSFile::kModeRead, &table);
    }
};
