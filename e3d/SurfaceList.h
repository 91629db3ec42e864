// What a surface needs of its screen: membership of the screen's surface
// list, the pixel format of plain surfaces, and the engine's error report.
#pragma once

#include <cstdint>

#include "platform/surface/SoftSurface.h"

class CE3DScreen;
class CE3DSurface;

void E3DScreen_LinkSurface(CE3DScreen* screen, CE3DSurface* surface);
void E3DScreen_UnlinkSurface(CE3DScreen* screen, CE3DSurface* surface);
// The display's format: the back buffer's when it exists.
SSurfacePixelFormat E3DScreen_PlainSurfaceFormat(CE3DScreen* screen);
// A failed blit, handed to the engine's error-text routine.
void E3DSurface_ReportError(CE3DScreen* screen, int32_t result);
