// CE3DSurface is the engine's one 2D object: the screen's primary and back
// buffers, every picture the interface shows, each video's target, and the
// base of textures and picture surfaces. It wraps a surface of the platform
// layer and keeps a copy of its description, the pixel format reduced to
// channel shifts, a clip rectangle, source and destination rectangles, a
// counted lock, a source colour key, the selected bitmap font, the text colours
// and a table of ten software drawing routines for its pixel depth.
//
// Blits need no lock. Software drawing does: lock, call the drawing routines
// (through the checked members below, or the table's slots directly), unlock.
// Colours given to the routines are three 8-bit channels that the surface packs
// by its shifts. Callers set the rectangles, text flags and colours by writing
// the fields, and call ClampClip after changing the clip rectangle.
#pragma once

#include <cstdint>

#include "platform/surface/SoftSurface.h"

class CE3DScreen;
class CE3DFont;
class CE3DSurface;

// The ten drawing slots; every slot takes the surface first. A slot is null
// where the surface's depth has no routine for it (every slot on a 24-bit
// surface).
struct SE3DDrawTable {
    void (*scalePixel)(CE3DSurface* s, int x, int y, uint32_t scaleR, uint32_t scaleG, uint32_t scaleB);
    void (*line)(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
    void (*patternLine)(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b,
                        uint8_t period, uint8_t threshold, uint8_t phase);
    void (*rect)(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
    void (*filledRect)(CE3DSurface* s, int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
    void (*circle)(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
    void (*filledCircle)(CE3DSurface* s, int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
    int (*glyphs)(CE3DSurface* s, const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b,
                  bool transparentBackground, bool ignoreCodes, int start, bool countOnly);
    void (*rotated)(CE3DSurface* s, CE3DSurface* source, float scale, float angle, float centreX,
                    float centreY);
    void (*putPixel)(CE3DSurface* s, int x, int y, uint8_t r, uint8_t g, uint8_t b);
};

constexpr uint32_t kE3DSurfaceTypePlain = 14;
constexpr uint32_t kE3DTextRight = 16;   // right-align text at x
constexpr uint32_t kE3DTextCentre = 32;  // centre text on x

class CE3DSurface {
public:
    explicit CE3DSurface(CE3DScreen* screen);
    virtual ~CE3DSurface();
    CE3DSurface(const CE3DSurface&) = delete;
    CE3DSurface& operator=(const CE3DSurface&) = delete;

    virtual void Restore();

    // A plain surface in the display's pixel format (the screen's back buffer
    // format; 32-bit X8R8G8B8 without a screen).
    bool Create(int width, int height, bool systemMemory);
    // The same in a pixel format of the caller's choice (textures, tests).
    bool Create(int width, int height, bool systemMemory, const SSurfacePixelFormat& format);
    // Adopts a platform surface that someone else made (the screen's buffers);
    // the object owns it from now on.
    void Attach(CSoftSurface* surface);
    void ReleaseSurface();  // releases the platform surface; the object stays

    void RefreshSize();
    void ReadPixelFormat();
    void SelectDrawTable();
    void ResetClip();
    void ClampClip();
    // Lock for drawing: on a back buffer whose picture the GPU drew, the
    // pixels may hold only what the CPU drew since (a reader gets nothing of
    // the picture, and nothing is read back for it). LockToRead gives the
    // whole picture, read back when needed; inside a drawing lock it makes
    // the locked pixels whole.
    bool Lock();
    bool LockToRead();
    int32_t Unlock();
    bool SetColorKey(uint8_t r, uint8_t g, uint8_t b);
    void SetFont(CE3DFont* font) { m_font = font; }
    void Fill(uint32_t pixel);
    void BltFastTo(int x, int y, CE3DSurface* target);
    void BltTo(int x, int y, CE3DSurface* target);
    void BltToClipped(int x, int y, CE3DSurface* target);
    void BltStretchTo(int x, int y, int w, int h, CE3DSurface* target);
    void BltToDestRect(CE3DSurface* target);
    static void ClipBlitRect(int& x, int& y, SSurfaceRect& src, const SSurfaceRect& clip);

    // The colour packing rule: 8-bit channels into a pixel of this surface.
    uint32_t Pack(uint8_t r, uint8_t g, uint8_t b) const;

    // Text in lines from the clip rectangle's left edge; returns the lines.
    int DrawText(const char* text, bool topDown, int lineHeight, uint8_t r, uint8_t g, uint8_t b,
                 bool transparentBackground, bool ignoreCodes);
    // Index of the first character from start that does not fit on the line.
    int FitLine(const char* text, int x, int y, int start);

    // Checked calls of the drawing slots: false (and nothing drawn) when the
    // surface is not locked or its depth has no routine for the slot.
    bool ScalePixel(int x, int y, uint32_t sr, uint32_t sg, uint32_t sb);
    bool DrawLine(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
    bool DrawPatternLine(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b, uint8_t period,
                         uint8_t threshold, uint8_t phase);
    bool DrawRect(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
    bool DrawFilledRect(int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b);
    bool DrawCircle(int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
    bool DrawFilledCircle(int cx, int cy, int radius, uint8_t r, uint8_t g, uint8_t b);
    // -1 when refused; otherwise the slot's result.
    int DrawGlyphs(const char* text, int x, int y, uint8_t r, uint8_t g, uint8_t b,
                   bool transparentBackground, bool ignoreCodes, int start, bool countOnly);
    bool DrawRotated(CE3DSurface* source, float scale, float angle, float centreX, float centreY);
    bool PutPixel(int x, int y, uint8_t r, uint8_t g, uint8_t b);

    // Memory of a locked surface (null otherwise).
    uint8_t* Bits() const { return static_cast<uint8_t*>(m_desc.surface); }
    int Pitch() const { return m_desc.pitch; }
    CSoftSurface* Platform() const { return m_surface; }
    CE3DScreen* Screen() const { return m_screen; }

    bool m_created = false;
    bool m_inSystemMemory = false;
    uint32_t m_type = kE3DSurfaceTypePlain;
    CE3DScreen* m_screen;
    SDDSurfaceDesc m_desc;
    CSoftSurface* m_surface = nullptr;
    CE3DSurface* m_next = nullptr;
    CE3DSurface* m_prev = nullptr;
    int32_t m_combinedShiftR = 0, m_combinedShiftG = 0, m_combinedShiftB = 0;
    int32_t m_shiftR = 0, m_shiftG = 0, m_shiftB = 0;
    int32_t m_lossR = 0, m_lossG = 0, m_lossB = 0;
    uint32_t m_bytesPerPixel = 0;
    bool m_locked = false;
    int32_t m_width = 0, m_height = 0;
    bool m_colorKeySet = false;
    uint8_t m_keyR = 0, m_keyG = 0, m_keyB = 0;
    SSurfaceRect m_srcRect{0, 0, 0, 0};
    SSurfaceRect m_destRect{0, 0, 0, 0};
    SSurfaceRect m_clipRect{0, 0, 0, 0};
    CE3DFont* m_font = nullptr;  // not counted: the screen owns fonts
    uint32_t m_textFlags = 0;
    uint8_t m_textBgR = 0, m_textBgG = 0, m_textBgB = 0;
    uint8_t m_outlineR = 0, m_outlineG = 0, m_outlineB = 0;
    int32_t m_lockCount = 0;
    SE3DDrawTable m_draw{};

private:
    void AfterBlt(int32_t result, CE3DSurface* target, bool report);
    void BltClipped(int x, int y, CE3DSurface* target, bool keyed);
};
