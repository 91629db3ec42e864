// A texture made from a stored picture (BMP or JPEG bytes), the way a game
// texture is: the surfaces at the picture's size, then the texture cache when
// it is on and holds a file with the same stamp (the CRC-32 of the picture's
// bytes, so a changed picture never takes an old file), otherwise the picture
// decoded and converted into the staging surface and a new cache file.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "core/CRC32.h"
#include "core/Image.h"
#include "core/ImageBMP.h"
#include "core/PackedDIB.h"
#include "core/PixelConvert.h"
#include "e3d/SurfacePixels.h"
#include "e3d/Texture.h"

class CImageTexture : public CE3DTexture {
public:
    CImageTexture(CE3DScreen* screen, std::vector<uint8_t> bytes, int width, int height, bool cache)
        : CE3DTexture(screen), m_bytes(std::move(bytes)), m_w(width), m_h(height), m_cache(cache) {}

    bool LoadImage() override {
        CreateSurfaces(m_w, m_h, SSurfacePixelFormat::Xrgb8888());
        return FillStaging() && FillFromStaging();
    }

    // The staging surface from the cache or from the picture.
    bool FillStaging() {
        m_stamp = CRC32_Compute(m_bytes.data(), m_bytes.size());
        m_fromCache = false;
        if (!Staging()) return false;
        if (m_cache && ReadCache()) {
            m_fromCache = true;
        } else {
            const bool bmp = m_bytes.size() > 2 && m_bytes[0] == 'B' && m_bytes[1] == 'M';
            SPackedDIB* dib = bmp ? DIB_ReadBMPMemory(m_bytes.data(), m_bytes.size())
                                  : DIB_ReadJPEGMemory(m_bytes.data(), m_bytes.size());
            if (!dib) return false;
            SDDSurfaceDesc d;
            if (Staging()->Lock(&d) != kDD_OK) {
                DIB_Free(dib);
                return false;
            }
            const bool ok = DIB_ConvertB_RGB32(E3DSurface_PixelDesc(d), dib, false);
            Staging()->Unlock();
            DIB_Free(dib);
            if (!ok) return false;
            if (m_cache) WriteCache();
        }
        return true;
    }

    std::vector<uint8_t> m_bytes;
    int m_w, m_h;
    bool m_cache;
    bool m_fromCache = false;
};
