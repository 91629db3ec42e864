#include "e3d/Font.h"

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "core/LittleEndian.h"
#include "core/VFSFile.h"
#include "e3d/DrawMarkup.h"
#include "e3d/FontList.h"
#include "platform/font/FontRaster.h"

int32_t CE3DFont::s_codePageIndex = 6;

CE3DFont::CE3DFont(CE3DScreen* screen) : m_screen(screen) {
    if (m_screen) E3DScreen_LinkFont(m_screen, this);
}

CE3DFont::~CE3DFont() {
    delete[] m_pixels;
    if (m_screen) E3DScreen_UnlinkFont(m_screen, this);
}

void CE3DFont::Clear() {
    delete[] m_pixels;
    m_pixels = nullptr;
    m_totalWidth = m_height = 0;
    std::memset(m_start, 0, sizeof m_start);
    std::memset(m_end, 0, sizeof m_end);
    std::memset(m_width, 0, sizeof m_width);
}

bool CE3DFont::Matches(const char* name, int32_t width, int32_t height, int32_t weight, int32_t attributes,
                       uint8_t outline) const {
    return m_name.EqualsNoCase(name ? name : "") && m_reqWidth == width && m_reqHeight == height &&
           m_weight == weight && m_attributes == attributes && m_outline == outline;
}

int32_t CE3DFont::Release() {
    const int32_t left = --m_refCount;
    if (left <= 0) delete this;
    return left;
}

void CE3DFont::MeasureText(const char* text, int32_t* width, int32_t* height) const {
    int32_t w = 0;
    for (const char* p = text ? text : ""; *p;) {
        const uint8_t c = uint8_t(*p);
        if (E3DMarkup_IsCode(c)) {
            p += E3DMarkup_Read(p).length;
            continue;
        }
        w += m_width[c];
        ++p;
    }
    if (width) *width = w;
    if (height) *height = m_height;
}

void CE3DFont::Build(const char* name, int32_t width, int32_t height, int32_t weight, int32_t attributes,
                     uint8_t outline) {
    std::unique_ptr<IFontRasterizer> raster = FontRaster_CreateFreeType();
    Build(*raster, name, width, height, weight, attributes, outline);
}

void CE3DFont::Build(IFontRasterizer& raster, const char* name, int32_t width, int32_t height, int32_t weight,
                     int32_t attributes, uint8_t outline) {
    m_name = name ? name : "";
    m_reqWidth = width;
    m_reqHeight = height;
    m_weight = weight;
    m_attributes = attributes;
    m_outline = outline ? 1 : 0;
    const bool fixed = attributes == kE3DFontFixedPitch;

    SFontRequest req;
    if (attributes >= 0 && attributes <= kE3DFontFixedPitch) {
        req.face = m_name.GetText();
        req.width = fixed ? 0 : width;
        req.height = height;
        req.weight = weight;
        req.italic = attributes == kE3DFontItalic;
        req.underline = attributes == kE3DFontUnderline;
        req.strikeOut = attributes == kE3DFontStrikeOut;
        req.fixedPitch = fixed;
    }  // other attributes make no font: the glyphs come from the default face
    req.codePageIndex = s_codePageIndex;
    raster.Select(req);

    SFontCanvas canvas;
    canvas.Clear(SFontCanvas::kWidth, SFontCanvas::kHeight);
    const int32_t ring = m_outline ? 2 : 0;
    int32_t x[256];
    int32_t total = 0, cellHeight = 0, widest = 0;
    for (int c = 0; c < 256; ++c) {
        int32_t ew = 0, eh = 0;
        const bool ok = raster.Extent(uint8_t(c), ew, eh);
        if (ok) cellHeight = m_outline ? eh + 2 : std::max(cellHeight, eh);
        if (!fixed) {
            int32_t w = 0;
            if (ok) {
                canvas.Clear(ew + 1, cellHeight + 1);
                raster.Draw(uint8_t(c), canvas, 0, 0);
                // A glyph that reaches into its last column gets one more pixel.
                bool lastLit = false;
                for (int y = 0; y < cellHeight && !lastLit; ++y) lastLit = canvas.Lit(ew - 1, y);
                w = ew + (lastLit ? 1 : 0) + ring;
            }
            m_width[c] = w;
            x[c] = total;
            total += w;
        } else if (width) {
            m_width[c] = width;
            x[c] = total;
            total += width;
        } else if (ok) {
            widest = std::max(widest, ew);
        }
    }
    if (fixed && !width) {
        // Every glyph as wide as the widest, with room for the ring.
        total = 0;
        for (int c = 0; c < 256; ++c) {
            m_width[c] = widest + ring;
            x[c] = total;
            total += m_width[c];
        }
    }
    m_totalWidth = total;
    m_height = cellHeight;
    delete[] m_pixels;
    m_pixels = new uint8_t[size_t(std::max(total, 1)) * size_t(std::max(cellHeight, 1))]();

    const int32_t h = m_height;
    for (int c = 0; c < 256; ++c) {
        const int32_t w = m_width[c];
        canvas.Clear(w + 1, h + 1);
        raster.Draw(uint8_t(c), canvas, 0, 0);
        m_start[c] = uint32_t(h) * uint32_t(x[c]);
        m_end[c] = m_start[c] + uint32_t(h) * uint32_t(w);
        uint8_t* cell = m_pixels + m_start[c];
        if (!m_outline) {
            for (int y = 0; y < h; ++y)
                for (int i = 0; i < w; ++i) cell[y * w + i] = canvas.Lit(i, y) ? 1 : 0;
            continue;
        }
        // The glyph sits one pixel in from the top-left; the ring is every empty
        // pixel next to a stroke, diagonals included.
        for (int y = 1; y < h - 1; ++y)
            for (int i = 1; i < w - 1; ++i) cell[y * w + i] = canvas.Lit(i - 1, y - 1) ? 1 : 0;
        static const int kRing[8][2] = {{0, 0}, {1, 0}, {2, 0}, {2, 1}, {2, 2}, {1, 2}, {0, 2}, {0, 1}};
        for (const auto& o : kRing) {
            const int dx = o[0], dy = o[1];
            for (int y = dy; y < h - 2 + dy; ++y)
                for (int i = dx; i < w - 2 + dx; ++i)
                    if (canvas.Lit(i - dx, y - dy) && !(cell[y * w + i] & 1)) cell[y * w + i] |= 2;
        }
    }
}

// The record of one font in the compiled-fonts file, little-endian:
//   0 total width i32, 4 height i32, 8 start offsets 256 x u32,
//   1032 end offsets 256 x u32, 2056 widths 256 x i32,
//   3080 face name, 256 bytes zero-terminated (zeros after the terminator),
//   3336 requested width, 3340 height, 3344 weight, 3348 attributes (i32 each),
//   3352 outline (byte), 3353 the pixels, height x total width bytes.
void CE3DFont::Encode(std::vector<uint8_t>& out) const {
    const size_t pixels = size_t(std::max(m_height, 0)) * size_t(std::max(m_totalWidth, 0));
    const size_t base = out.size();
    out.resize(base + kE3DFontRecordFixed + pixels, 0);
    uint8_t* p = out.data() + base;
    LE_StoreU32(p + 0, uint32_t(m_totalWidth));
    LE_StoreU32(p + 4, uint32_t(m_height));
    for (int c = 0; c < 256; ++c) {
        LE_StoreU32(p + 8 + 4 * c, m_start[c]);
        LE_StoreU32(p + 1032 + 4 * c, m_end[c]);
        LE_StoreU32(p + 2056 + 4 * c, uint32_t(m_width[c]));
    }
    // Longer names than the field holds are cut so the terminator always fits.
    std::strncpy(reinterpret_cast<char*>(p + 3080), m_name.GetText(), kE3DFontNameField - 1);
    LE_StoreU32(p + 3336, uint32_t(m_reqWidth));
    LE_StoreU32(p + 3340, uint32_t(m_reqHeight));
    LE_StoreU32(p + 3344, uint32_t(m_weight));
    LE_StoreU32(p + 3348, uint32_t(m_attributes));
    p[3352] = m_outline;
    if (pixels && m_pixels) std::memcpy(p + kE3DFontRecordFixed, m_pixels, pixels);
}

bool CE3DFont::DecodeFixed(const uint8_t* p) {
    const int32_t total = int32_t(LE_LoadU32(p + 0)), height = int32_t(LE_LoadU32(p + 4));
    if (total < 0 || height < 0 || height > kE3DFontMaxHeight) return false;
    const int64_t bytes = int64_t(total) * height;
    if (bytes > kE3DFontMaxPixels) return false;
    if (p[3080 + kE3DFontNameField - 1] != 0 && std::memchr(p + 3080, 0, kE3DFontNameField) == nullptr)
        return false;
    if (p[3352] > 1) return false;
    // Every cell must lie inside the strip, one glyph width by the height.
    for (int c = 0; c < 256; ++c) {
        const uint32_t start = LE_LoadU32(p + 8 + 4 * c), end = LE_LoadU32(p + 1032 + 4 * c);
        const int32_t w = int32_t(LE_LoadU32(p + 2056 + 4 * c));
        if (w < 0 || w > total) return false;
        if (int64_t(end) - int64_t(start) != int64_t(w) * height || int64_t(end) > bytes) return false;
    }
    Clear();
    m_totalWidth = total;
    m_height = height;
    for (int c = 0; c < 256; ++c) {
        m_start[c] = LE_LoadU32(p + 8 + 4 * c);
        m_end[c] = LE_LoadU32(p + 1032 + 4 * c);
        m_width[c] = int32_t(LE_LoadU32(p + 2056 + 4 * c));
    }
    m_name = reinterpret_cast<const char*>(p + 3080);
    m_reqWidth = int32_t(LE_LoadU32(p + 3336));
    m_reqHeight = int32_t(LE_LoadU32(p + 3340));
    m_weight = int32_t(LE_LoadU32(p + 3344));
    m_attributes = int32_t(LE_LoadU32(p + 3348));
    m_outline = p[3352];
    return true;
}

void CE3DFont::Save(CVFSFile* file) const {
    if (!file || !file->IsOpen()) return;
    std::vector<uint8_t> record;
    Encode(record);
    file->Write(record.data(), uint32_t(record.size()));
}

bool CE3DFont::Load(CVFSFile* file) {
    if (!file || !file->IsOpen()) return false;
    return Decode([file](void* buf, size_t n) -> size_t { return file->Read(buf, uint32_t(n)); });
}
