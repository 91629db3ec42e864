#include "tests/support/Magick.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "core/PixelConvert.h"

namespace {

std::string ConvertProgram() {
    if (access("/usr/bin/convert", X_OK) == 0) return "/usr/bin/convert";
    return "convert";
}

}  // namespace

bool Magick_Run(const std::string& args) {
    // One thread: ImageMagick's OpenMP workers spin on a loaded machine (parallel
    // tests) and can make a small conversion take minutes.
    std::string command = "MAGICK_THREAD_LIMIT=1 " + ConvertProgram() + " " + args + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
}

std::vector<uint8_t> ReadBytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::string& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

bool Magick_ReadRGB(const std::string& file, std::vector<uint8_t>& rgb) {
    std::string out = file + ".ref.rgb";
    rgb.clear();
    if (!Magick_Run("'" + file + "' -depth 8 'rgb:" + out + "'")) return false;
    rgb = ReadBytes(out);
    std::remove(out.c_str());
    return !rgb.empty();
}

bool Magick_WritePPM(const std::string& file, int width, int height, const std::vector<uint8_t>& rgb) {
    std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    return WriteBytes(file, bytes);
}

std::vector<uint8_t> Magick_TestPicture(int width, int height, uint32_t seed) {
    std::vector<uint8_t> rgb(size_t(width) * height * 3);
    uint32_t state = seed;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            state = state * 1103515245u + 12345u;
            int noise = int((state >> 16) & 31) - 16;
            auto clamp = [](int v) { return uint8_t(v < 0 ? 0 : (v > 255 ? 255 : v)); };
            uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            p[0] = clamp(x * 255 / (width > 1 ? width - 1 : 1) + noise);
            p[1] = clamp(y * 255 / (height > 1 ? height - 1 : 1) - noise);
            p[2] = clamp(((x + y) * 37 + int(state >> 24)) & 255);
        }
    return rgb;
}

std::vector<uint8_t> DIB_ToRGB(const SPackedDIB* dib) {
    std::vector<uint8_t> rgb;
    SPackedDIB* wide = DIB_ConvertDepthBlock(dib, 24, false, nullptr, false);
    if (!wide) return rgb;
    const int w = wide->m_width, h = wide->m_height;
    const uint32_t row = DIB_RowBytes(w, 24);
    rgb.resize(size_t(w) * h * 3);
    for (int y = 0; y < h; ++y) {
        const uint8_t* s = DIB_Pixels(wide) + size_t(h - 1 - y) * row;
        for (int x = 0; x < w; ++x) {
            rgb[(size_t(y) * w + x) * 3] = s[x * 3 + 2];
            rgb[(size_t(y) * w + x) * 3 + 1] = s[x * 3 + 1];
            rgb[(size_t(y) * w + x) * 3 + 2] = s[x * 3];
        }
    }
    DIB_Free(wide);
    return rgb;
}

SPackedDIB* DIB_FromRGB(int width, int height, const std::vector<uint8_t>& rgb) {
    SPackedDIB* dib = DIB_Create(width, height, 24);
    if (!dib || rgb.size() < size_t(width) * height * 3) return dib;
    const uint32_t row = DIB_RowBytes(width, 24);
    for (int y = 0; y < height; ++y) {
        uint8_t* d = DIB_Pixels(dib) + size_t(height - 1 - y) * row;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
            d[x * 3] = p[2];
            d[x * 3 + 1] = p[1];
            d[x * 3 + 2] = p[0];
        }
    }
    return dib;
}

DIBPtr DIB_FromColours(int width, int height, const std::vector<uint32_t>& colours) {
    std::vector<uint8_t> rgb;
    for (uint32_t c : colours) {
        rgb.push_back(uint8_t(c >> 16));
        rgb.push_back(uint8_t(c >> 8));
        rgb.push_back(uint8_t(c));
    }
    return DIBPtr(DIB_FromRGB(width, height, rgb));
}
