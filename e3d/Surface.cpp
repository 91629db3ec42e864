#include "e3d/Surface.h"

#include <algorithm>

#include "e3d/SurfaceList.h"

CE3DSurface::CE3DSurface(CE3DScreen* screen) : m_screen(screen) {
    m_desc.size = 124;
    m_desc.pixelFormat.size = 32;
    if (m_screen) E3DScreen_LinkSurface(m_screen, this);
}

CE3DSurface::~CE3DSurface() {
    if (m_screen) E3DScreen_UnlinkSurface(m_screen, this);
    ReleaseSurface();
}

void CE3DSurface::Restore() {
    if (m_surface) m_surface->Restore();
}

void CE3DSurface::ReleaseSurface() {
    delete m_surface;
    m_surface = nullptr;
    m_locked = false;
    m_lockCount = 0;
    m_desc.surface = nullptr;
}

bool CE3DSurface::Create(int width, int height, bool systemMemory) {
    SSurfacePixelFormat format =
        m_screen ? E3DScreen_PlainSurfaceFormat(m_screen) : SSurfacePixelFormat::Xrgb8888();
    return Create(width, height, systemMemory, format);
}

bool CE3DSurface::Create(int width, int height, bool systemMemory, const SSurfacePixelFormat& format) {
    m_width = width;
    m_height = height;
    ReleaseSurface();
    m_created = true;
    m_inSystemMemory = systemMemory;
    uint32_t caps = kCapsOffscreenPlain | (systemMemory ? kCapsSystemMemory : kCapsVideoMemory);
    m_surface = CSoftSurface::Create(width, height, format, caps);
    if (!m_surface) return false;
    Attach(m_surface);
    return true;
}

void CE3DSurface::Attach(CSoftSurface* surface) {
    if (surface != m_surface) {
        ReleaseSurface();
        m_surface = surface;
    }
    if (!m_surface) return;
    m_surface->GetSurfaceDesc(&m_desc);
    m_font = nullptr;
    m_width = int32_t(m_desc.width);
    m_height = int32_t(m_desc.height);
    m_destRect = m_srcRect = m_clipRect = SSurfaceRect{0, 0, m_width, m_height};
    ReadPixelFormat();
    m_lockCount = 0;
    m_locked = false;
    m_colorKeySet = m_surface->HasColorKey();
}

void CE3DSurface::RefreshSize() {
    if (!m_surface) return;
    m_surface->GetSurfaceDesc(&m_desc);
    m_width = int32_t(m_desc.width);
    m_height = int32_t(m_desc.height);
}

namespace {

void ChannelShift(uint32_t mask, int32_t& shift, int32_t& loss, int32_t& combined) {
    shift = -1;
    int bits = 0;
    for (int i = 0; i < 32; ++i) {
        if (mask & (1u << i)) {
            if (shift < 0) shift = i;
            ++bits;
        }
    }
    loss = 8 - bits;
    combined = shift - loss;
}

}  // namespace

void CE3DSurface::ReadPixelFormat() {
    SDDSurfaceDesc desc;
    if (m_surface) m_surface->GetSurfaceDesc(&desc);
    if (m_locked) desc.surface = m_desc.surface;  // keep the memory pointer of a held lock
    m_desc = desc;
    const SSurfacePixelFormat& f = m_desc.pixelFormat;
    ChannelShift(f.rMask, m_shiftR, m_lossR, m_combinedShiftR);
    ChannelShift(f.gMask, m_shiftG, m_lossG, m_combinedShiftG);
    ChannelShift(f.bMask, m_shiftB, m_lossB, m_combinedShiftB);
    m_bytesPerPixel = f.bitCount / 8;
    SelectDrawTable();
}

uint32_t CE3DSurface::Pack(uint8_t r, uint8_t g, uint8_t b) const {
    // Shifts are taken modulo 32, so an empty mask (shift -1, loss 8) adds 0.
    auto part = [](uint8_t v, int32_t loss, int32_t shift) -> uint32_t {
        uint32_t x = loss >= 8 ? 0u : uint32_t(v) >> (uint32_t(loss) & 31);
        return x << (uint32_t(shift) & 31);
    };
    return part(r, m_lossR, m_shiftR) | part(g, m_lossG, m_shiftG) | part(b, m_lossB, m_shiftB);
}

void CE3DSurface::ResetClip() {
    m_clipRect = SSurfaceRect{0, 0, m_width, m_height};
}

void CE3DSurface::ClampClip() {
    SSurfaceRect& c = m_clipRect;
    c.left = std::clamp(c.left, 0, std::max(m_width, 0));
    c.right = std::clamp(c.right, 0, std::max(m_width, 0));
    c.top = std::clamp(c.top, 0, std::max(m_height, 0));
    c.bottom = std::clamp(c.bottom, 0, std::max(m_height, 0));
    if (c.top > c.bottom) c.top = c.bottom;
    if (c.left > c.right) c.left = c.right;
}

bool CE3DSurface::Lock() {
    if (!m_locked) m_lockCount = 0;
    ++m_lockCount;
    if (m_lockCount > 1) return true;
    SDDSurfaceDesc desc;
    int32_t result = m_surface ? m_surface->Lock(&desc) : kDDErrGeneric;
    m_locked = result == kDD_OK;
    if (m_locked) {
        m_desc = desc;
    } else {
        m_lockCount = 0;
    }
    return m_locked;
}

bool CE3DSurface::LockToRead() {
    if (!Lock()) return false;
    m_surface->MakeReadable();
    return true;
}

int32_t CE3DSurface::Unlock() {
    if (!m_locked) return 0;
    if (--m_lockCount > 0) return 0;
    m_locked = false;
    m_lockCount = 0;
    m_desc.surface = nullptr;
    return m_surface ? m_surface->Unlock() : 0;
}

bool CE3DSurface::SetColorKey(uint8_t r, uint8_t g, uint8_t b) {
    m_keyR = r;
    m_keyG = g;
    m_keyB = b;
    ReadPixelFormat();
    m_colorKeySet = m_surface && m_surface->SetColorKey(Pack(r, g, b)) == kDD_OK;
    return m_colorKeySet;
}

void CE3DSurface::Fill(uint32_t pixel) {
    if (m_surface) m_surface->ColorFill(nullptr, pixel);
}

void CE3DSurface::ClipBlitRect(int& x, int& y, SSurfaceRect& s, const SSurfaceRect& clip) {
    if (x - s.left + s.right > clip.right) s.right = clip.right - x + s.left;
    if (x < clip.left) {
        s.left += clip.left - x;
        x = clip.left;
    }
    if (y < clip.top) {
        s.top += clip.top - y;
        y = clip.top;
    }
    if (y - s.top + s.bottom > clip.bottom) s.bottom = clip.bottom - y + s.top;
}

void CE3DSurface::AfterBlt(int32_t result, CE3DSurface* target, bool report) {
    if (result == kDDErrSurfaceLost) {
        // Restore both ends; the owner redraws the pixels later.
        for (CE3DSurface* s : {target, this}) {
            if (s && s->m_surface && s->m_surface->IsLost() == kDDErrSurfaceLost) s->m_surface->Restore();
        }
        return;
    }
    if (result != kDD_OK && report) E3DSurface_ReportError(m_screen, result);
}

void CE3DSurface::BltFastTo(int x, int y, CE3DSurface* target) {
    if (!target || !target->m_surface || !m_surface) return;
    uint32_t flags = kBltFastWait | (m_colorKeySet ? kBltFastSrcColorKey : 0);
    AfterBlt(target->m_surface->BltFast(x, y, m_surface, &m_srcRect, flags), target, true);
}

void CE3DSurface::BltClipped(int x, int y, CE3DSurface* target, bool keyed) {
    if (!target || !target->m_surface || !m_surface) return;
    SSurfaceRect s = m_srcRect;
    ClipBlitRect(x, y, s, target->m_clipRect);
    if (s.left >= s.right || s.top >= s.bottom) return;
    const uint32_t flags = kBltFastWait | (keyed ? kBltFastSrcColorKey : 0);
    AfterBlt(target->m_surface->BltFast(x, y, m_surface, &s, flags), target, true);
}

void CE3DSurface::BltTo(int x, int y, CE3DSurface* target) {
    BltClipped(x, y, target, m_colorKeySet);
}

void CE3DSurface::BltToClipped(int x, int y, CE3DSurface* target) {
    BltClipped(x, y, target, false);
}

void CE3DSurface::BltStretchTo(int x, int y, int w, int h, CE3DSurface* target) {
    if (!target || !target->m_surface || !m_surface) return;
    SSurfaceRect d{x, y, x + w, y + h};
    AfterBlt(target->m_surface->Blt(&d, m_surface, &m_srcRect, kBltWait), target, true);
}

void CE3DSurface::BltToDestRect(CE3DSurface* target) {
    if (!target || !target->m_surface || !m_surface) return;
    SSurfaceRect s = m_srcRect;
    s.left = std::clamp(s.left, 0, m_width);
    s.right = std::clamp(s.right, 0, m_width);
    s.top = std::clamp(s.top, 0, m_height);
    s.bottom = std::clamp(s.bottom, 0, m_height);
    if (s.top > s.bottom) s.top = s.bottom;
    if (s.left > s.right) s.left = s.right;
    int x = m_destRect.left, y = m_destRect.top;
    ClipBlitRect(x, y, s, SSurfaceRect{0, 0, target->m_width, target->m_height});
    if (s.left >= s.right || s.top >= s.bottom) return;
    AfterBlt(target->m_surface->BltFast(x, y, m_surface, &s, kBltFastWait), target, false);
}
