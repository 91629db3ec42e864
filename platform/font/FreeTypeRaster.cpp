#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/font/FontRaster.h"

void SFontCanvas::Clear(int w, int h) {
    w = std::min(w, kWidth);
    h = std::min(h, kHeight);
    for (int y = 0; y < h; ++y) std::memset(&pixels[size_t(y) * kWidth], 0, size_t(std::max(w, 0)));
}

bool FontRaster_DrawStringDirect(const SFontRequest& request, const char* text, SFontCanvas& canvas,
                                 std::vector<int>& pens);

namespace {

const char* CodePageName(int32_t index) {
    static const char* const kNames[11] = {"CP437",  "CP1256", "CP1257", "CP1250", "CP1251", "CP1253",
                                           "CP1252", "CP874",  "CP1254", "CP1252", "CP1258"};
    return index >= 0 && index < 11 ? kNames[index] : "CP1252";
}

// Byte values to characters through a code page; unmapped bytes give 0.
void MapCodePage(int32_t index, uint32_t (&out)[256]) {
    for (int c = 0; c < 256; ++c) out[c] = uint32_t(c);  // Latin-1 when iconv has no table
    iconv_t cd = iconv_open("UTF-32LE", CodePageName(index));
    if (cd == iconv_t(-1)) return;
    for (int c = 1; c < 256; ++c) {
        char in = char(c);
        uint32_t u = 0;
        char* ip = &in;
        char* op = reinterpret_cast<char*>(&u);
        size_t il = 1, ol = 4;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        out[c] = iconv(cd, &ip, &il, &op, &ol) == size_t(-1) ? 0 : u;
    }
    out[0] = 0;
    iconv_close(cd);
}

// The face's name for fontconfig: the Windows names map onto the families
// that fontconfig's aliases know; an empty name asks for the default face.
std::string MatchFile(const SFontRequest& req, int* faceIndex, bool* bold, bool* italic) {
    static bool ready = FcInit();
    if (!ready) return {};
    FcPattern* pat = FcPatternCreate();
    const char* family = req.face.empty() ? (req.fixedPitch ? "monospace" : "sans-serif") : req.face.c_str();
    FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pat, FC_WEIGHT,
                        FcWeightFromOpenType(std::clamp(req.weight ? req.weight : 400, 1, 1000)));
    FcPatternAddInteger(pat, FC_SLANT, req.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_OUTLINE, FcTrue);
    // A fixed-pitch request for a face that is not installed falls back to
    // Courier New's stand-in, as Windows falls back to Courier New, and then
    // to any fixed-pitch face; an installed face still wins.
    if (req.fixedPitch) {
        if (!req.face.empty())
            FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>("Courier New"));
        FcPatternAddInteger(pat, FC_SPACING, FC_MONO);
    }
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    std::string file;
    if (match) {
        FcChar8* path = nullptr;
        int index = 0, weight = 0, slant = 0;
        if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch)
            file = reinterpret_cast<char*>(path);
        FcPatternGetInteger(match, FC_INDEX, 0, &index);
        FcPatternGetInteger(match, FC_WEIGHT, 0, &weight);
        FcPatternGetInteger(match, FC_SLANT, 0, &slant);
        if (faceIndex) *faceIndex = index;
        if (bold) *bold = weight >= FC_WEIGHT_DEMIBOLD;
        if (italic) *italic = slant != FC_SLANT_ROMAN;
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pat);
    return file;
}

class CFreeTypeRasterizer : public IFontRasterizer {
public:
    CFreeTypeRasterizer() { m_ok = FT_Init_FreeType(&m_library) == 0; }
    ~CFreeTypeRasterizer() override {
        if (m_face) FT_Done_Face(m_face);
        if (m_ok) FT_Done_FreeType(m_library);
    }

    bool Select(const SFontRequest& req) override {
        if (!m_ok) return false;
        if (m_face) FT_Done_Face(m_face);
        m_face = nullptr;
        m_req = req;
        int index = 0;
        bool bold = false, italic = false;
        std::string file = MatchFile(req, &index, &bold, &italic);
        if (file.empty() || FT_New_Face(m_library, file.c_str(), index, &m_face) != 0) {
            m_face = nullptr;
            return false;
        }
        m_emboldenSynth = req.weight >= 600 && !bold;
        m_italicSynth = req.italic && !italic;
        MapCodePage(req.codePageIndex, m_chars);

        // Windows metrics: the cell is the face's Windows ascent plus descent.
        const double upem = m_face->units_per_EM ? m_face->units_per_EM : 2048;
        double winAscent = m_face->ascender, winDescent = -m_face->descender;
        double avgWidth = upem / 2;
        if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(m_face, FT_SFNT_OS2))) {
            if (os2->usWinAscent + os2->usWinDescent > 0) {
                winAscent = os2->usWinAscent;
                winDescent = os2->usWinDescent;
            }
            if (os2->xAvgCharWidth > 0) avgWidth = os2->xAvgCharWidth;
            m_strikePos = os2->yStrikeoutPosition;
            m_strikeSize = os2->yStrikeoutSize;
        }
        int32_t height = req.height ? req.height : -16;  // 0 asks for the default size
        double em;
        if (height > 0) {
            em = height * upem / (winAscent + winDescent);
            m_ascent = int32_t(std::lround(winAscent * em / upem));
            m_cellHeight = height;
        } else {
            em = -double(height);
            m_ascent = int32_t(std::lround(winAscent * em / upem));
            m_cellHeight = m_ascent + int32_t(std::lround(winDescent * em / upem));
        }
        m_scale = em / upem;
        double emX = req.width > 0 ? req.width * upem / avgWidth : em;
        FT_Set_Char_Size(m_face, FT_F26Dot6(std::lround(emX * 64)), FT_F26Dot6(std::lround(em * 64)), 72, 72);
        return true;
    }

    bool Extent(uint8_t c, int32_t& width, int32_t& height) override {
        if (!Load(c)) return false;
        width = Advance();
        height = m_cellHeight;
        return true;
    }

    void Draw(uint8_t c, SFontCanvas& canvas, int x, int y) override {
        if (!Load(c)) return;
        FT_GlyphSlot slot = m_face->glyph;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE && FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) == 0) {
            const FT_Bitmap& bm = slot->bitmap;
            const int ox = x + slot->bitmap_left, oy = y + m_ascent - slot->bitmap_top;
            for (unsigned row = 0; row < bm.rows; ++row) {
                const uint8_t* line = bm.buffer + ptrdiff_t(row) * bm.pitch;
                for (unsigned col = 0; col < bm.width; ++col) {
                    bool lit = bm.pixel_mode == FT_PIXEL_MODE_MONO ? (line[col >> 3] >> (7 - (col & 7))) & 1
                                                                   : line[col] >= 128;
                    if (lit) canvas.Set(ox + int(col), oy + int(row));
                }
            }
        }
        // Underline and strike-out run across the whole advance, as Windows draws them.
        const int advance = Advance();
        auto bar = [&](double posUnits, double sizeUnits) {
            const int thick = std::max(1, int(std::lround(sizeUnits * m_scale)));
            const int top = y + m_ascent - int(std::lround(posUnits * m_scale));
            for (int j = 0; j < thick; ++j)
                for (int i = 0; i < advance; ++i) canvas.Set(x + i, std::min(top + j, y + m_cellHeight - 1));
        };
        if (m_req.underline) bar(m_face->underline_position, m_face->underline_thickness);
        if (m_req.strikeOut) {
            double pos = m_strikePos > 0 ? m_strikePos : m_face->units_per_EM * 0.26;
            double size = m_strikeSize > 0 ? m_strikeSize : m_face->underline_thickness;
            bar(pos + size, size);
        }
    }

private:
    bool Load(uint8_t c) {
        if (!m_face) return false;
        const FT_UInt glyph = m_chars[c] ? FT_Get_Char_Index(m_face, m_chars[c]) : 0;
        if (FT_Load_Glyph(m_face, glyph, FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) != 0) return false;
        FT_GlyphSlot slot = m_face->glyph;
        m_synthAdvance = 0;
        if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
            if (m_italicSynth) {
                FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees, as Windows slants
                FT_Outline_Transform(&slot->outline, &shear);
            }
            if (m_emboldenSynth && glyph != 0) {
                FT_Outline_EmboldenXY(&slot->outline, 64, 0);
                m_synthAdvance = 1;  // Windows widens a synthesized bold glyph by one pixel
            }
        }
        return true;
    }
    friend bool ::FontRaster_DrawStringDirect(const SFontRequest&, const char*, SFontCanvas&,
                                              std::vector<int>&);
    int32_t Advance() const { return int32_t((m_face->glyph->advance.x + 32) >> 6) + m_synthAdvance; }

    FT_Library m_library = nullptr;
    FT_Face m_face = nullptr;
    bool m_ok = false;
    bool m_emboldenSynth = false, m_italicSynth = false;
    int32_t m_synthAdvance = 0;
    SFontRequest m_req;
    uint32_t m_chars[256] = {};
    int32_t m_ascent = 0, m_cellHeight = 0;
    double m_scale = 0;
    int32_t m_strikePos = 0, m_strikeSize = 0;
};

}  // namespace

bool FontRaster_DrawStringDirect(const SFontRequest& request, const char* text, SFontCanvas& canvas,
                                 std::vector<int>& pens) {
    CFreeTypeRasterizer r;
    if (!r.Select(request)) return false;
    FT_Face face = r.m_face;
    int pen = 0;
    pens.clear();
    for (const char* p = text; *p; ++p) {
        pens.push_back(pen);
        const uint32_t ch = r.m_chars[uint8_t(*p)];
        if (FT_Load_Char(face, ch, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO | FT_LOAD_NO_BITMAP) != 0) continue;
        const FT_Bitmap& bm = face->glyph->bitmap;
        const int ox = pen + face->glyph->bitmap_left, oy = r.m_ascent - face->glyph->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row)
            for (unsigned col = 0; col < bm.width; ++col)
                if ((bm.buffer[ptrdiff_t(row) * bm.pitch + (col >> 3)] >> (7 - (col & 7))) & 1)
                    canvas.Set(ox + int(col), oy + int(row));
        pen += int((face->glyph->advance.x + 32) >> 6);
    }
    return true;
}

std::unique_ptr<IFontRasterizer> FontRaster_CreateFreeType() {
    return std::make_unique<CFreeTypeRasterizer>();
}

std::string FontRaster_MatchFile(const SFontRequest& request) {
    return MatchFile(request, nullptr, nullptr, nullptr);
}
