// The drawing table of a surface and its checked calls.
#include "e3d/DrawRoutines.h"

void CE3DSurface::SelectDrawTable() {
    m_draw = SE3DDrawTable{};
    switch (m_desc.pixelFormat.bitCount) {
        case 8:
            m_draw =
                SE3DDrawTable{nullptr,     DrawLine8,         DrawPatternLine8, DrawRect8, DrawFilledRect8,
                              DrawCircle8, DrawFilledCircle8, DrawGlyphs8,      nullptr,   PutPixel8};
            break;
        case 16:
            m_draw = SE3DDrawTable{ScalePixel16,     DrawLine16,   DrawPatternLine16,  DrawRect16,
                                   DrawFilledRect16, DrawCircle16, DrawFilledCircle16, DrawGlyphs16,
                                   DrawRotated16,    PutPixel16};
            break;
        case 32:
            m_draw = SE3DDrawTable{ScalePixel32,     DrawLine32,   DrawPatternLine32,  DrawRect32,
                                   DrawFilledRect32, DrawCircle32, DrawFilledCircle32, DrawGlyphs32,
                                   DrawRotated32,    PutPixel32};
            break;
        default:
            break;  // no routines: the checked calls refuse
    }
}

bool CE3DSurface::ScalePixel(int x, int y, uint32_t sr, uint32_t sg, uint32_t sb) {
    if (!m_draw.scalePixel || !Bits()) return false;
    m_draw.scalePixel(this, x, y, sr, sg, sb);
    return true;
}

bool CE3DSurface::DrawLine(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    if (!m_draw.line || !Bits()) return false;
    m_draw.line(this, x0, y0, x1, y1, r, g, b);
    return true;
}

bool CE3DSurface::DrawPatternLine(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                                  uint8_t period, uint8_t threshold, uint8_t phase) {
    if (!m_draw.patternLine || !Bits()) return false;
    m_draw.patternLine(this, x0, y0, x1, y1, r, g, b, period, threshold, phase);
    return true;
}

bool CE3DSurface::DrawRect(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    if (!m_draw.rect || !Bits()) return false;
    m_draw.rect(this, x0, y0, x1, y1, r, g, b);
    return true;
}

bool CE3DSurface::DrawFilledRect(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
    if (!m_draw.filledRect || !Bits()) return false;
    m_draw.filledRect(this, x0, y0, x1, y1, r, g, b);
    return true;
}

bool CE3DSurface::DrawCircle(int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    if (!m_draw.circle || !Bits()) return false;
    m_draw.circle(this, cx, cy, radius, r, g, b);
    return true;
}

bool CE3DSurface::DrawFilledCircle(int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b) {
    if (!m_draw.filledCircle || !Bits()) return false;
    m_draw.filledCircle(this, cx, cy, radius, r, g, b);
    return true;
}

int CE3DSurface::DrawGlyphs(const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b,
                            bool transparentBackground, bool ignoreCodes, int start, bool countOnly) {
    if (!m_draw.glyphs || !Bits()) return -1;
    return m_draw.glyphs(this, text, x, y, r, g, b, transparentBackground, ignoreCodes, start, countOnly);
}

bool CE3DSurface::DrawRotated(CE3DSurface* source, float scale, float angle, float centreX, float centreY) {
    if (!m_draw.rotated || !Bits()) return false;
    m_draw.rotated(this, source, scale, angle, centreX, centreY);
    return true;
}

bool CE3DSurface::PutPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b) {
    if (!m_draw.putPixel || !Bits()) return false;
    m_draw.putPixel(this, x, y, r, g, b);
    return true;
}
