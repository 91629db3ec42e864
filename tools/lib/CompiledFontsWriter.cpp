#include "tools/lib/CompiledFontsWriter.h"

#include <cstdio>
#include <cstring>

#include "core/LittleEndian.h"

std::vector<uint8_t> CompiledFonts_Record(const SCompiledFont& font) {
    int32_t total = 0;
    for (const SCompiledGlyph& g : font.glyphs) total += g.width;
    const size_t pixels = size_t(font.height) * size_t(total);
    std::vector<uint8_t> out(kCofPixels + pixels, 0);
    LE_StoreU32(out.data() + kCofTotalWidth, uint32_t(total));
    LE_StoreU32(out.data() + kCofHeight, uint32_t(font.height));
    uint32_t x = 0;
    for (int c = 0; c < 256; ++c) {
        const SCompiledGlyph& g = font.glyphs[c];
        const uint32_t start = uint32_t(font.height) * x;
        LE_StoreU32(out.data() + kCofStart + 4 * size_t(c), start);
        LE_StoreU32(out.data() + kCofEnd + 4 * size_t(c), start + uint32_t(font.height) * uint32_t(g.width));
        LE_StoreU32(out.data() + kCofWidths + 4 * size_t(c), uint32_t(g.width));
        const size_t n = size_t(font.height) * size_t(g.width);
        for (size_t i = 0; i < n && i < g.cells.size(); ++i) out[kCofPixels + start + i] = g.cells[i];
        x += uint32_t(g.width);
    }
    std::strncpy(reinterpret_cast<char*>(&out[kCofName]), font.name.c_str(), 255);
    LE_StoreU32(out.data() + kCofReqWidth, uint32_t(font.reqWidth));
    LE_StoreU32(out.data() + kCofReqWidth + 4, uint32_t(font.reqHeight));
    LE_StoreU32(out.data() + kCofReqWidth + 8, uint32_t(font.weight));
    LE_StoreU32(out.data() + kCofReqWidth + 12, uint32_t(font.attributes));
    out[kCofOutline] = font.outline;
    return out;
}

std::vector<uint8_t> CompiledFonts_File(const std::vector<SCompiledFont>& fonts) {
    std::vector<uint8_t> out(4, 0);
    LE_StoreU32(out.data(), uint32_t(fonts.size()));
    for (const SCompiledFont& f : fonts) {
        std::vector<uint8_t> r = CompiledFonts_Record(f);
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

bool CompiledFonts_Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

SCompiledFont CompiledFonts_PatternFont(const std::string& name, int32_t height, bool outline) {
    SCompiledFont font;
    font.name = name;
    font.height = height;
    font.reqHeight = height;
    font.outline = outline ? 1 : 0;
    for (int c = 0; c < 256; ++c) {
        SCompiledGlyph& g = font.glyphs[c];
        g.width = c < 32 ? 0 : c % 3 + 1;
        g.cells.assign(size_t(height) * size_t(g.width), 0);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < g.width; ++x) {
                const bool lit = (x + y + c) % 2 == 1;
                g.cells[size_t(y) * size_t(g.width) + size_t(x)] = lit ? 1 : (outline ? 2 : 0);
            }
    }
    return font;
}
