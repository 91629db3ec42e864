// The software drawing routines behind a surface's drawing table, one member
// per pixel width, and the helpers they share. Every routine draws only inside
// the surface's clip rectangle as cut to the surface, so a clip rectangle that
// was not clamped cannot lead a routine outside the locked memory.
#pragma once

#include <cstdint>
#include <cstring>

#include "e3d/Surface.h"

// The clip rectangle cut to the locked memory: [left, right) x [top, bottom).
struct SE3DClip {
    int left, top, right, bottom;
};

inline bool E3DDraw_Clip(const CE3DSurface* s, SE3DClip& c) {
    if (!s->Bits()) return false;
    const int w = int(s->m_desc.width), h = int(s->m_desc.height);
    c.left = s->m_clipRect.left < 0 ? 0 : s->m_clipRect.left;
    c.top = s->m_clipRect.top < 0 ? 0 : s->m_clipRect.top;
    c.right = s->m_clipRect.right > w ? w : s->m_clipRect.right;
    c.bottom = s->m_clipRect.bottom > h ? h : s->m_clipRect.bottom;
    return c.left < c.right && c.top < c.bottom;
}

template <typename P>
inline P* E3DDraw_At(const CE3DSurface* s, int x, int y) {
    return reinterpret_cast<P*>(s->Bits() + ptrdiff_t(y) * s->Pitch() + ptrdiff_t(x) * ptrdiff_t(sizeof(P)));
}

template <typename P>
inline P E3DDraw_Pack(const CE3DSurface* s, uint8_t r, uint8_t g, uint8_t b) {
    return P(s->Pack(r, g, b));
}

// Round a single-precision value to the nearest integer, ties to even, with
// values beyond the int range held at its ends (no undefined conversion).
int E3DDraw_Nearest(float v);

// Cuts a line to the clip; false when nothing of it remains.
bool ClipLine(CE3DSurface* s, int& x0, int& y0, int& x1, int& y1);

void ScalePixel16(CE3DSurface* s, int x, int y, uint32_t sr, uint32_t sg, uint32_t sb);
void ScalePixel32(CE3DSurface* s, int x, int y, uint32_t sr, uint32_t sg, uint32_t sb);
void DrawLine8(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawLine16(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawLine32(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawPatternLine8(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                      uint8_t period, uint8_t threshold, uint8_t phase);
void DrawPatternLine16(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                       uint8_t period, uint8_t threshold, uint8_t phase);
void DrawPatternLine32(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                       uint8_t period, uint8_t threshold, uint8_t phase);
void DrawRect8(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawRect16(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawRect32(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawFilledRect8(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawFilledRect16(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawFilledRect32(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
void DrawCircle8(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
void DrawCircle16(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
void DrawCircle32(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
void DrawFilledCircle8(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
void DrawFilledCircle16(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
void DrawFilledCircle32(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
int DrawGlyphs8(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b, bool tb,
                bool ignoreCodes, int start, bool countOnly);
int DrawGlyphs16(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b, bool tb,
                 bool ignoreCodes, int start, bool countOnly);
int DrawGlyphs32(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b, bool tb,
                 bool ignoreCodes, int start, bool countOnly);
void DrawRotated16(CE3DSurface* s, CE3DSurface* src, float scale, float angle, float cx, float cy);
void DrawRotated32(CE3DSurface* s, CE3DSurface* src, float scale, float angle, float cx, float cy);
void PutPixel8(CE3DSurface* s, int x, int y, uint8_t r, uint8_t g, uint8_t b);
void PutPixel16(CE3DSurface* s, int x, int y, uint8_t r, uint8_t g, uint8_t b);
void PutPixel32(CE3DSurface* s, int x, int y, uint8_t r, uint8_t g, uint8_t b);
