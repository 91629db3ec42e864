#include "e3d/SurfaceList.h"

#include "e3d/Engine.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"

void E3DScreen_LinkSurface(CE3DScreen* screen, CE3DSurface* surface) {
  surface->m_prev = nullptr;
  surface->m_next = screen->m_surfaces;
  if (screen->m_surfaces) screen->m_surfaces->m_prev = surface;
  screen->m_surfaces = surface;
  ++screen->m_surfaceCount;
}

void E3DScreen_UnlinkSurface(CE3DScreen* screen, CE3DSurface* surface) {
  if (surface->m_prev) surface->m_prev->m_next = surface->m_next;
  if (surface->m_next) surface->m_next->m_prev = surface->m_prev;
  if (screen->m_surfaces == surface) screen->m_surfaces = surface->m_next;
  surface->m_next = surface->m_prev = nullptr;
  --screen->m_surfaceCount;
}

SSurfacePixelFormat E3DScreen_PlainSurfaceFormat(CE3DScreen* screen) {
  if (screen->m_backBuffer && screen->m_backBuffer->Platform()) return screen->m_backBuffer->Platform()->Format();
  return screen->m_displayBits == 16 ? SSurfacePixelFormat::Rgb565() : SSurfacePixelFormat::Xrgb8888();
}

void E3DSurface_ReportError(CE3DScreen* screen, int32_t result) {
  E3DErrorText(screen ? screen->m_engine : nullptr, result);
}
