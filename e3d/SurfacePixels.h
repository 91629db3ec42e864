// A locked surface's memory as the picture converters of the core take it
// (pictures written into surfaces, surfaces read back into pictures, mip
// levels halved): what Windows did through a device context on the surface.
#pragma once

#include "core/PixelConvert.h"
#include "platform/surface/SoftSurface.h"

class CE3DSurface;

// The memory a lock handed out, as it describes itself.
SSurfaceDesc E3DSurface_PixelDesc(const SDDSurfaceDesc& locked);
// False (and out untouched) when the surface is not locked.
bool E3DSurface_PixelDesc(const CE3DSurface& surface, SSurfaceDesc& out);
