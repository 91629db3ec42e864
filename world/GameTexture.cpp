#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <cstring>
#include <vector>

#include "core/CRC32.h"
#include "core/PackedDIB.h"
#include "core/PixelConvert.h"
#include "core/VFSFile.h"
#include "e3d/Device.h"
#include "e3d/RecordReader.h"
#include "e3d/Screen.h"
#include "world/GameScene.h"
#include "world/GameTexture.h"
#include "world/Project.h"
#include "world/World.h"

CGameTexture::CGameTexture(CProjectList* owner, CProject* project)
    : CE3DTexture(owner ? owner->m_screen : nullptr),
      m_project(project),
      m_owner(owner),
      m_colorImage(0, 0, 0),
      m_alphaImage(0, 0, 0) {
    m_type = kNodeTypeGameTexture;
    if (owner) m_projectId = owner->m_currentProjectId;
    if (project) {
        m_projectNext = project->m_textures;
        if (m_projectNext) m_projectNext->m_projectPrev = this;
        project->m_textures = this;
        ++project->m_textureCount;
    }
}

CGameTexture::~CGameTexture() {
    if (m_indexed && m_owner) m_owner->m_textureIndex.Remove(m_indexKey, this);
    if (m_project) {
        if (m_projectPrev)
            m_projectPrev->m_projectNext = m_projectNext;
        else if (m_project->m_textures == this)
            m_project->m_textures = m_projectNext;
        if (m_projectNext) m_projectNext->m_projectPrev = m_projectPrev;
        --m_project->m_textureCount;
    }
}

void CGameTexture::Index() {
    if (!m_owner) return;
    if (m_indexed) m_owner->m_textureIndex.Remove(m_indexKey, this);
    m_indexKey = CIdPairIndex::Key(m_projectId, m_textureId);
    m_owner->m_textureIndex.Add(m_indexKey, this);
    m_indexed = 1;
}

void CGameTexture::MarkReplaced() {
    m_gameFlags |= kReplaced;
    m_skip = 1;  // the screen's look-ups pass over it
}

bool CGameTexture::Read(CVFSFile& file, int version, const char* path) {
    if (version < kContentFirstVersion) return false;
    uint8_t flags[7];
    {
        CE3DRecordReader in(file);
        CStrBuf name, dropped;
        in.String(name, kContentMaxName);
        in.String(dropped);
        in.String(dropped);
        m_width = in.U32();
        m_height = in.U32();
        const uint32_t id = in.U32();
        m_colorDepth = in.U32();
        m_wantedDepth = in.U32();
        m_alphaDepth = in.U32();
        m_fourth = in.U32();
        in.Bytes(flags, 7);
        m_mipmapped = in.U8();
        const uint32_t reduction = in.U32();
        const uint16_t projectId = in.U16();
        m_engineWord = in.U32();
        m_byte = in.U8();
        m_gameFlags = in.U8();
        in.Skip(5);
        if (!in.Ok()) return false;
        m_name = name;
        m_textureId = id;
        m_projectId = projectId;
        m_maxReduction = reduction > 16 ? 16 : int32_t(reduction);
    }
    // Bytes 1 to 6 and 8; byte 7 (the surface is made) is the texture's own.
    std::memcpy(m_flags, flags, 6);
    m_flags[6] = 0;
    m_flags[7] = flags[6];
    // The pictures are read where they lie when the surface is made; the
    // stamp of the texture cache is the CRC-32 of their stored bytes, so a
    // cache file of other pictures is never taken.
    const uint32_t start = file.Tell();
    if (m_flags[4] && !ReadStoredImageSet(m_colorImage, file, version, false, path)) return false;
    if (m_flags[5] && !ReadStoredImageSet(m_alphaImage, file, version, false, path)) return false;
    const uint32_t end = file.Tell();
    CCRC32 crc;
    std::vector<uint8_t> chunk(65536);
    for (uint32_t at = start; at < end;) {
        const uint32_t n = end - at < chunk.size() ? end - at : uint32_t(chunk.size());
        if (file.ReadAt(at, chunk.data(), n) != n) return false;
        crc.Update(chunk.data(), n);
        at += n;
    }
    m_stamp = crc.GetValue() ^ (m_width * 2654435761u) ^ m_height;
    return file.Seek(end);
}

uint32_t CGameTexture::EffectiveDepth(int32_t setting) const {
    uint32_t depth = m_wantedDepth;
    if (setting == 16 && depth > 16) depth = 16;
    if (setting == 64 && depth >= 16 && (m_colorDepth > 23 || (m_flags[5] && m_alphaDepth > 4))) depth = 32;
    return depth;
}

namespace {

int AlphaBits(uint32_t mask) {
    int n = 0;
    for (; mask; mask &= mask - 1) ++n;
    return n;
}

// The device's RGB format nearest to the depth, with alpha bits when the
// texture has an alpha picture (and without when it has none): the
// difference in bit count first, then in alpha bits.
const DDPIXELFORMAT* ChooseFormat(const std::vector<DDPIXELFORMAT>& formats, uint32_t depth, bool alpha) {
    const DDPIXELFORMAT* best = nullptr;
    int bestScore = 0;
    for (const DDPIXELFORMAT& f : formats) {
        if (!(f.dwFlags & DDPF_RGB) || (f.dwFlags & (DDPF_PALETTEINDEXED1 | DDPF_PALETTEINDEXED2 |
                                                     DDPF_PALETTEINDEXED4 | DDPF_PALETTEINDEXED8)))
            continue;
        if (f.dwRGBBitCount != 16 && f.dwRGBBitCount != 24 && f.dwRGBBitCount != 32) continue;
        const int hasAlpha = (f.dwFlags & DDPF_ALPHAPIXELS) && f.dwRGBAlphaBitMask ? 1 : 0;
        const int bits = int(f.dwRGBBitCount) - int(depth);
        int score = (bits < 0 ? -bits : bits) * 4;
        if (hasAlpha != (alpha ? 1 : 0)) score += 64;
        if (alpha) score += 8 - (AlphaBits(f.dwRGBAlphaBitMask) > 8 ? 8 : AlphaBits(f.dwRGBAlphaBitMask));
        if (!best || score < bestScore) {
            best = &f;
            bestScore = score;
        }
    }
    return best;
}

}  // namespace

bool CGameTexture::LoadImage() {
    CE3DScreen* screen = m_screen;
    CE3DDevice* device = screen ? screen->m_currentDevice : nullptr;
    if (!device) return false;
    if (m_flags[6] && Staging()) return true;
    const bool alpha = m_flags[5] != 0;
    const DDPIXELFORMAT* f =
        ChooseFormat(device->m_textureFormats, EffectiveDepth(screen->m_textureQuality), alpha);
    if (!f) {
        if (m_owner && m_owner->m_scene)
            m_owner->m_scene->World().Console().Print(
                "Could not find a suitable Textureformat. Consider this a severe error.");
        return false;
    }
    SSurfacePixelFormat format;
    format.flags = f->dwFlags;
    format.bitCount = f->dwRGBBitCount;
    format.rMask = f->dwRBitMask;
    format.gMask = f->dwGBitMask;
    format.bMask = f->dwBBitMask;
    format.aMask = f->dwRGBAlphaBitMask;
    const int w = m_width ? int(m_width) : 8, h = m_height ? int(m_height) : 8;
    CreateSurfaces(w, h, format);
    if (!Staging()) return false;
    m_flags[6] = 1;
    const bool cache = !screen->m_cacheFolder.IsEmpty() && !m_noImage;
    if (!(cache && ReadCache())) {
        SDDSurfaceDesc d;
        if (Staging()->Lock(&d) != kDD_OK) return false;
        const SSurfaceDesc dst{d.width,
                               d.height,
                               d.pitch,
                               static_cast<uint8_t*>(d.surface),
                               d.pixelFormat.bitCount,
                               d.pixelFormat.rMask,
                               d.pixelFormat.gMask,
                               d.pixelFormat.bMask,
                               d.pixelFormat.aMask};
        bool ok = false;
        if (m_noImage || !m_flags[4]) {
            // No picture: white, so that the lit colour shows.
            for (uint32_t y = 0; y < d.height; ++y)
                std::memset(static_cast<uint8_t*>(d.surface) + size_t(y) * size_t(d.pitch), 0xFF,
                            size_t(d.width) * (d.pixelFormat.bitCount / 8));
            ok = true;
        } else if (ReadStoredImage(m_colorImage) && (!alpha || ReadStoredImage(m_alphaImage))) {
            // The pictures at the staging surface's size (the device may ask
            // for a reduced or a power-of-two one).
            if (m_colorImage.GetWidth() != int32_t(d.width) || m_colorImage.GetHeight() != int32_t(d.height))
                DIB_Scale(m_colorImage, int32_t(d.width), int32_t(d.height), 0);
            if (alpha && (m_alphaImage.GetWidth() != int32_t(d.width) ||
                          m_alphaImage.GetHeight() != int32_t(d.height)))
                DIB_Scale(m_alphaImage, int32_t(d.width), int32_t(d.height), 0);
            const SPackedDIB* dib = m_colorImage.GetBitmap();
            const SPackedDIB* mask = alpha ? m_alphaImage.GetBitmap() : nullptr;
            switch (d.pixelFormat.bitCount) {
                case 16:
                    ok = mask ? DIB_ConvertA_RGB16(dst, dib, mask, true, false, false)
                              : DIB_ConvertB_RGB16(dst, dib, true);
                    break;
                case 24:
                    ok = mask ? DIB_ConvertA_RGB24(dst, dib, mask, false, false, false)
                              : DIB_ConvertB_RGB24(dst, dib, false);
                    break;
                default:
                    ok = mask ? DIB_ConvertA_RGB32(dst, dib, mask, false, false, false)
                              : DIB_ConvertB_RGB32(dst, dib, false);
                    break;
            }
            // The pictures are read again when they are needed again.
            m_colorImage.Create(0, 0, 0);
            m_alphaImage.Create(0, 0, 0);
        }
        Staging()->Unlock();
        if (!ok) return false;
        if (cache) WriteCache();
    }
    return FillFromStaging();
}
