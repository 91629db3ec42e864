// ImageMagick's convert as the reference decoder and encoder of picture
// tests: fixtures are made by it at test time and our decoding is compared
// with its own. The real program is used (/usr/bin/convert when it is there,
// whatever a stand-in earlier on the PATH does).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/PackedDIB.h"

// Runs convert with the arguments (a shell word list); true on exit code 0.
bool Magick_Run(const std::string& args);
// Decodes a picture file with convert into 8-bit RGB rows, top row first.
bool Magick_ReadRGB(const std::string& file, std::vector<uint8_t>& rgb);
// Writes 8-bit RGB rows, top row first, as a binary PPM.
bool Magick_WritePPM(const std::string& file, int width, int height, const std::vector<uint8_t>& rgb);
// A deterministic picture: smooth gradients with noise on top (seeded).
std::vector<uint8_t> Magick_TestPicture(int width, int height, uint32_t seed);

// Reads a whole file; empty when missing.
std::vector<uint8_t> ReadBytes(const std::string& file);
bool WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes);

// A bitmap of any depth as 8-bit RGB rows, top row first.
std::vector<uint8_t> DIB_ToRGB(const SPackedDIB* dib);
// A 24-bit bitmap from 8-bit RGB rows, top row first.
SPackedDIB* DIB_FromRGB(int width, int height, const std::vector<uint8_t>& rgb);

// Owned packed bitmaps in tests.
struct SDIBDeleter {
    void operator()(SPackedDIB* d) const { DIB_Free(d); }
};
using DIBPtr = std::unique_ptr<SPackedDIB, SDIBDeleter>;
// A 24-bit bitmap from 0xRRGGBB colours, top row first.
DIBPtr DIB_FromColours(int width, int height, const std::vector<uint32_t>& colours);
