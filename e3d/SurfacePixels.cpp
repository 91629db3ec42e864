#include "e3d/SurfacePixels.h"

#include "e3d/Surface.h"

SSurfaceDesc E3DSurface_PixelDesc(const SDDSurfaceDesc& d) {
    const SSurfacePixelFormat& f = d.pixelFormat;
    return SSurfaceDesc{d.width, d.height, d.pitch, static_cast<uint8_t*>(d.surface), f.bitCount, f.rMask,
                        f.gMask, f.bMask,  f.aMask};
}

bool E3DSurface_PixelDesc(const CE3DSurface& surface, SSurfaceDesc& out) {
    if (!surface.Bits()) return false;
    out = E3DSurface_PixelDesc(surface.m_desc);
    return true;
}
