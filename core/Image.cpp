#include "core/Image.h"

#include "core/ImageBMP.h"
#include "core/PixelConvert.h"

CImage::CImage(int32_t width, int32_t height, int32_t bits) {
    m_loaded = 1;
    Create(width, height, bits);
}

CImage::~CImage() {
    DIB_Free(m_bitmap);
}

void CImage::Refresh() {
    m_colorTable = m_bitmap ? DIB_ColorTable(m_bitmap) : nullptr;
    m_pixels = m_bitmap ? DIB_Pixels(m_bitmap) : nullptr;
}

void CImage::Adopt(SPackedDIB* dib) {
    if (dib != m_bitmap) DIB_Free(m_bitmap);
    m_bitmap = dib;
    if (dib) {
        m_width = dib->m_width;
        m_height = dib->m_height;
        m_bitCount = dib->m_bitCount;
    }
    Refresh();
}

bool CImage::Create(int32_t width, int32_t height, int32_t bits) {
    m_width = width;
    m_height = height;
    m_bitCount = bits;
    DIB_Free(m_bitmap);
    m_bitmap = nullptr;
    bool wanted = width > 0 && height > 0 && bits > 0;
    if (wanted) m_bitmap = DIB_Create(width, height, bits);
    Refresh();
    return !wanted || m_bitmap != nullptr;
}

bool CImage::LoadBMP(const char* path, int convertOption, int resizeMode, bool keepAsLoaded) {
    const int32_t width = m_width, height = m_height, bits = m_bitCount;
    DIB_Free(m_bitmap);
    m_bitmap = nullptr;
    SPackedDIB* dib = DIB_ReadBMP(path);
    if (!dib) {
        // A blank picture of the old size keeps its users drawing something.
        Create(width, height, bits);
        return false;
    }
    Adopt(dib);
    if (!keepAsLoaded) {
        if (width > 0 && height > 0) Resize(width, height, resizeMode);
        if (bits > 0) SetDepth(bits, convertOption != 0, false);
    }
    Refresh();
    return true;
}

bool CImage::Resize(int32_t width, int32_t height, int mode) {
    m_width = width;
    m_height = height;
    if (!m_bitmap) return true;
    bool ok = DIB_Scale(*this, width, height, mode);
    if (!ok) Adopt(m_bitmap);  // the size stays the picture's own
    return ok;
}

bool CImage::SetDepth(int32_t bits, bool dither, bool grey) {
    m_bitCount = bits;
    if (!m_bitmap) return true;
    bool ok = DIB_ConvertDepth(*this, bits, dither, nullptr, grey);
    if (!ok) Adopt(m_bitmap);
    return ok;
}

bool DIB_ConvertDepth(CImage& image, int32_t bits, bool dither, const uint8_t* palette, bool grey) {
    SPackedDIB* old = image.GetBitmap();
    if (!old) return false;
    if (bits == old->m_bitCount && !grey) return true;
    SPackedDIB* dib = DIB_ConvertDepthBlock(old, bits, dither, palette, grey);
    if (!dib) return false;
    image.Adopt(dib);
    return true;
}

bool DIB_Scale(CImage& image, int32_t width, int32_t height, int mode) {
    SPackedDIB* old = image.GetBitmap();
    if (!old) return false;
    if (width == old->m_width && height == old->m_height) return true;
    SPackedDIB* dib = DIB_ScaleBlock(old, width, height, mode);
    if (!dib) return false;
    image.Adopt(dib);
    return true;
}
