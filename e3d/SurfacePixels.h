// A locked surface's memory as the picture converters of the core take it
// (pictures written into surfaces, surfaces read back into pictures): what
// Windows did through a device context on the surface.
#pragma once

#include "core/PixelConvert.h"

class CE3DSurface;

// False (and out untouched) when the surface is not locked.
bool E3DSurface_PixelDesc(const CE3DSurface& surface, SSurfaceDesc& out);
