#include "e3d/SurfacePixels.h"

#include "e3d/Surface.h"

bool E3DSurface_PixelDesc(const CE3DSurface& surface, SSurfaceDesc& out) {
    if (!surface.Bits()) return false;
    const SSurfacePixelFormat& f = surface.m_desc.pixelFormat;
    out.m_width = surface.m_desc.width;
    out.m_height = surface.m_desc.height;
    out.m_pitch = surface.m_desc.pitch;
    out.m_pixels = surface.Bits();
    out.m_bitCount = f.bitCount;
    out.m_redMask = f.rMask;
    out.m_greenMask = f.gMask;
    out.m_blueMask = f.bMask;
    out.m_alphaMask = f.aMask;
    return true;
}
