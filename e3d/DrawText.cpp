// Text: one line of glyphs with the inline markup (slot 7), line fitting and
// text in lines.
#include <climits>
#include <cstring>

#include "e3d/DrawMarkup.h"
#include "e3d/DrawRoutines.h"
#include "e3d/Font.h"

namespace {

// What a glyph cell's pixel becomes.
enum ECellInk : uint8_t { kInkNone, kInkFore, kInkBack, kInkOutline };

// Fonts with an outline: by inverse, tb, tf, to (in that bit order) the ink
// of a glyph, ring and empty pixel.
const uint8_t kOutlineInk[16][3] = {
    {kInkFore, kInkOutline, kInkBack}, {kInkFore, kInkBack, kInkBack},    {kInkBack, kInkOutline, kInkBack},
    {kInkNone, kInkNone, kInkBack},    {kInkFore, kInkOutline, kInkNone}, {kInkFore, kInkNone, kInkNone},
    {kInkNone, kInkOutline, kInkNone}, {kInkNone, kInkNone, kInkNone},    {kInkBack, kInkOutline, kInkFore},
    {kInkBack, kInkFore, kInkFore},    {kInkBack, kInkOutline, kInkBack}, {kInkBack, kInkBack, kInkNone},
    {kInkNone, kInkOutline, kInkFore}, {kInkNone, kInkNone, kInkFore},    {kInkNone, kInkOutline, kInkNone},
    {kInkNone, kInkNone, kInkNone},
};

struct STextState {
    uint32_t fore, back, outline;
    bool tb, tf, to, inverseA, inverseZ;
};

struct SGlyphCall {
    const char* text;
    int x, y;
    uint8_t r, g, b;
    bool transparentBackground, ignoreCodes;
    int start;
    bool countOnly;
    bool fitOnly = false;  // FitLine: no test of y, nothing written
    int end = INT_MAX;     // the walk ends here (one line of DrawText)
    int alignWidth = -1;   // the width aligned by; -1: the whole text's
};

using CellWriter = void (*)(CE3DSurface* s, const CE3DFont* f, uint8_t glyph, int x, int y,
                            const STextState& st);

template <typename P>
void WriteCell(CE3DSurface* s, const CE3DFont* f, uint8_t glyph, int x, int y, const STextState& st) {
    const int w = f->m_width[glyph], h = f->m_height;
    const uint8_t* cell = f->Cell(glyph);
    const bool inverse = st.inverseA || st.inverseZ;
    uint8_t ink[3];  // glyph, ring, empty
    if (f->m_outline) {
        const int row = (inverse ? 8 : 0) | (st.tb ? 4 : 0) | (st.tf ? 2 : 0) | (st.to ? 1 : 0);
        std::memcpy(ink, kOutlineInk[row], 3);
    } else if (!inverse) {
        ink[0] = st.tf ? kInkNone : kInkFore;
        ink[2] = st.tb ? kInkNone : kInkBack;
        ink[1] = ink[2];
    } else {
        ink[0] = st.tb ? kInkNone : kInkBack;
        ink[2] = st.tf ? kInkNone : kInkFore;
        ink[1] = ink[2];
    }
    const P colours[4] = {0, P(st.fore), P(st.back), P(st.outline)};
    for (int j = 0; j < h; ++j) {
        P* d = E3DDraw_At<P>(s, x, y + j);
        const uint8_t* c = cell + size_t(j) * size_t(w);
        for (int i = 0; i < w; ++i) {
            const uint8_t v = c[i];
            const uint8_t k = ink[(v & 1) ? 0 : (f->m_outline && (v & 2)) ? 1 : 2];
            if (k != kInkNone) d[i] = colours[k];
        }
    }
}

// Width of the glyphs whose index lies in [from, to), markup skipped.
int MeasureRange(const CE3DFont* f, const char* text, int from, int to) {
    int width = 0;
    for (int i = 0; text[i] && i < to;) {
        const uint8_t c = uint8_t(text[i]);
        if (E3DMarkup_IsCode(c)) {
            i += E3DMarkup_Read(text + i).length;
            continue;
        }
        if (i >= from) width += f->m_width[c];
        ++i;
    }
    return width;
}

int WalkGlyphs(CE3DSurface* s, const SGlyphCall& call, CellWriter writer) {
    const CE3DFont* f = s->m_font;
    const char* text = call.text;
    if (!f || !text || !text[0]) return call.start;
    SE3DClip c;
    if (!E3DDraw_Clip(s, c)) return call.fitOnly ? call.start : 0;
    int width = call.alignWidth;
    if (width < 0) {
        int32_t w = 0, h = 0;
        f->MeasureText(text, &w, &h);
        width = w;
    }
    int x = call.x, y = call.y;
    if (s->m_textFlags & kE3DTextRight) {
        x -= width;
    } else if (s->m_textFlags & kE3DTextCentre) {
        x -= width / 2;
    }
    if (call.fitOnly) {
        if (x + width < c.left || x >= c.right) return call.start;
    } else if (y + f->m_height > c.bottom || y < c.top || x + width < c.left || x >= c.right) {
        return 0;
    }
    const bool draw = !call.countOnly && !call.fitOnly;

    STextState start;
    start.fore = s->Pack(call.r, call.g, call.b);
    start.back = s->Pack(s->m_textBgR, s->m_textBgG, s->m_textBgB);
    start.outline = s->Pack(s->m_outlineR, s->m_outlineG, s->m_outlineB);
    start.tb = call.transparentBackground;
    start.tf = start.to = start.inverseA = start.inverseZ = false;
    STextState st = start;

    int i = 0;
    while (text[i] && i < call.end) {
        const uint8_t ch = uint8_t(text[i]);
        if (E3DMarkup_IsCode(ch)) {
            const SE3DMarkup m = E3DMarkup_Read(text + i);
            i += m.length;
            if (!m.complete) continue;  // the text ends inside the code
            if (ch == kE3DCodeReset) {
                if (!call.ignoreCodes) {
                    const bool z = st.inverseZ;
                    st = start;
                    st.inverseZ = z;
                }
            } else if (ch == kE3DCodeInverse) {
                if (!call.ignoreCodes) {
                    if (m.letter == '2') {
                        st.inverseZ = !st.inverseZ;
                    } else {
                        st.inverseA = m.letter == '1';
                    }
                }
            } else {
                uint32_t* colour = ch == kE3DCodeForeground   ? &st.fore
                                   : ch == kE3DCodeBackground ? &st.back
                                                              : &st.outline;
                bool* transparent = ch == kE3DCodeForeground   ? &st.tf
                                    : ch == kE3DCodeBackground ? &st.tb
                                                               : &st.to;
                if (m.rgbForm) {
                    if (!call.ignoreCodes) *colour = s->Pack(m.r, m.g, m.b);
                } else if (m.letter == 't' || m.letter == 'T') {
                    *transparent = true;
                } else if (m.letter == 's' || m.letter == 'S') {
                    *transparent = false;
                } else if (!call.ignoreCodes) {
                    uint8_t r, g, b;
                    E3DMarkup_TableColour(E3DMarkup_HexDigit(m.letter), r, g, b);
                    *colour = s->Pack(r, g, b);
                }
            }
            continue;
        }
        if (i < call.start) {
            ++i;
            continue;
        }
        const int gw = f->m_width[ch];
        if (x + gw >= c.right) break;
        if (draw && x >= c.left) writer(s, f, ch, x, y, st);
        x += gw;
        ++i;
    }
    return i;
}

template <typename P>
int DrawGlyphsT(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b, bool tb,
                bool ignoreCodes, int start, bool countOnly) {
    SGlyphCall call{text, x, y, r, g, b, tb, ignoreCodes, start, countOnly};
    return WalkGlyphs(s, call, &WriteCell<P>);
}

}  // namespace

int DrawGlyphs8(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b, bool tb,
                bool ignoreCodes, int start, bool countOnly) {
    return DrawGlyphsT<uint8_t>(s, text, x, y, r, g, b, tb, ignoreCodes, start, countOnly);
}
int DrawGlyphs16(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b, bool tb,
                 bool ignoreCodes, int start, bool countOnly) {
    return DrawGlyphsT<uint16_t>(s, text, x, y, r, g, b, tb, ignoreCodes, start, countOnly);
}
int DrawGlyphs32(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b, bool tb,
                 bool ignoreCodes, int start, bool countOnly) {
    return DrawGlyphsT<uint32_t>(s, text, x, y, r, g, b, tb, ignoreCodes, start, countOnly);
}

int CE3DSurface::FitLine(const char* text, int x, int y, int start) {
    SGlyphCall call{text, x, y, 0, 0, 0, false, false, start, true};
    call.fitOnly = true;
    return WalkGlyphs(this, call, nullptr);
}

int CE3DSurface::DrawText(const char* text, bool topDown, int lineHeight, uint8_t r, uint8_t g, uint8_t b,
                          bool transparentBackground, bool ignoreCodes) {
    if (!m_draw.glyphs || !Bits() || !text) return 0;
    CellWriter writer = m_bytesPerPixel == 1   ? &WriteCell<uint8_t>
                        : m_bytesPerPixel == 2 ? &WriteCell<uint16_t>
                                               : &WriteCell<uint32_t>;
    SE3DClip c;
    if (!E3DDraw_Clip(this, c)) return 0;
    const int L = c.left;
    int y = topDown ? c.top : c.bottom - lineHeight;
    if (y < c.top) return 0;
    const int length = int(std::strlen(text));
    // Aligned text is aligned line by line, each by its own width: the lines
    // are found unaligned first.
    const uint32_t flags = m_textFlags;
    const bool aligned = (flags & (kE3DTextRight | kE3DTextCentre)) != 0;

    // A line that would end inside a word ends after the word before it
    // (after the last blank that fits); a word longer than the line is cut.
    auto lineEnd = [&](int p, int atY) {
        SGlyphCall call{text, L, atY, r, g, b, transparentBackground, ignoreCodes, p, true};
        int e = WalkGlyphs(this, call, writer);
        if (e <= p) e = FitLine(text, L, atY, p);
        if (e > p && e < length && text[e] != ' ' && text[e - 1] != ' ')
            for (int k = e - 1; k > p; --k)
                if (text[k] == ' ') return k + 1;
        return e;
    };

    int lines = 0;
    m_textFlags = aligned ? flags & ~(kE3DTextRight | kE3DTextCentre) : flags;
    for (int p = 0; p < length;) {
        ++lines;
        const int e = lineEnd(p, y);
        if (e <= p) break;
        p = e;
        y += topDown ? lineHeight : -lineHeight;
    }

    y = topDown ? c.top : c.bottom - lines * lineHeight;
    for (int p = 0; p < length;) {
        SGlyphCall call{text, L, y, r, g, b, transparentBackground, ignoreCodes, p, false};
        m_textFlags = flags & ~(kE3DTextRight | kE3DTextCentre);
        call.end = lineEnd(p, y);
        if (call.end <= p) break;
        if (aligned) call.alignWidth = MeasureRange(m_font, text, p, call.end);
        m_textFlags = flags;
        int e = WalkGlyphs(this, call, writer);
        if (e <= p) e = call.end;
        if (e <= p) break;
        p = e;
        y += lineHeight;
    }
    m_textFlags = flags;
    return lines;
}
