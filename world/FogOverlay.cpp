#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The fog-of-war overlay: a flat object of the effect system's fog-of-war
// template laid over the ground around the view's focus, one texel of its
// texture per cell of the world grid's cell map. Each frame the texture is
// painted from what the local player sees: unexplored cells in the fog
// colour, explored ones in the half colour and half covered, watched ones
// clear. The view's alone: the cell map is the local player's and the
// overlay is an object without an id.
#include "e3d/Material.h"
#include "e3d/Surface.h"
#include "e3d/Texture.h"
#include "e3d/VertexList.h"
#include "world/ExplosionManager.h"
#include "world/TessarakObject.h"
#include "world/World.h"
#include "world/WorldGrid.h"

namespace {

// The texture the overlay's first vertex list samples, or null.
CE3DTexture* OverlayTexture(CTessarakObject* overlay) {
    for (CE3DVertexList* l = overlay->m_lists; l; l = l->m_next) {
        CE3DMaterial* m = l->m_material;
        if (!m) continue;
        for (int stages = 1; stages <= 3; ++stages)
            if (CE3DMaterialPass* pass = m->Passes(stages))
                for (CE3DTextureStage* s : pass->m_stages)
                    if (s && s->m_texture) return s->m_texture;
    }
    return nullptr;
}

// A channel value 0 to 255 into the bits of a mask.
uint32_t Channel(uint32_t mask, uint32_t value) {
    if (!mask) return 0;
    uint32_t shift = 0;
    while (!((mask >> shift) & 1u)) ++shift;
    const uint32_t top = mask >> shift;
    return ((value * top + 127u) / 255u) << shift;
}

}  // namespace

uint32_t ExplosionManager_FogTexel(const CExplosionManager& m, uint32_t sum, const SSurfacePixelFormat& f) {
    // sum: four cell states (0 to 1020). Watched (a mean of 200 or more) is
    // clear; explored fades from the half colour; unexplored is the fog.
    const uint32_t mean = sum / 4u;
    uint32_t r, g, b, a;
    if (mean >= 200u) {
        r = g = b = 0u;
        a = 0u;
    } else if (mean >= 128u) {
        r = uint32_t(m.m_fogHalfColour[0]), g = uint32_t(m.m_fogHalfColour[1]),
        b = uint32_t(m.m_fogHalfColour[2]);
        a = 128u - (mean - 128u) * 128u / 72u;
    } else {
        const uint32_t t = mean * 255u / 128u;  // 0 fog .. 255 half colour
        auto mix = [t](int32_t fog, int32_t half) {
            return uint32_t((fog * int32_t(255u - t) + half * int32_t(t)) / 255);
        };
        r = mix(m.m_fogColour[0], m.m_fogHalfColour[0]);
        g = mix(m.m_fogColour[1], m.m_fogHalfColour[1]);
        b = mix(m.m_fogColour[2], m.m_fogHalfColour[2]);
        a = 255u - mean;
    }
    if (f.bitCount == 8) return a;  // a grey level of cover
    return Channel(f.rMask, r) | Channel(f.gMask, g) | Channel(f.bMask, b) | Channel(f.aMask, a);
}

void CExplosionManager::PaintFog(float focusX, float focusZ) {
    CTessarakObject* overlay = FogOverlay();
    if (!overlay || !m_world) return;
    CWorldGrid* grid = &m_world->Grid();
    if (!m_fogOfWar || !m_viewEffects || !grid || !grid->m_cellMap.m_fogOfWar) {
        overlay->m_flagsA |= kFrameHidden;
        return;
    }
    overlay->m_flagsA &= uint8_t(~kFrameHidden);
    CE3DTexture* texture = OverlayTexture(overlay);
    const int32_t w = texture && texture->m_width > 0 ? texture->m_width : 64;
    const int32_t h = texture && texture->m_height > 0 ? texture->m_height : 64;
    // The overlay's corner cell: the focus less half the texture, whole cells.
    const int32_t left = Math_Truncate(focusX) - w / 2;
    const int32_t far = Math_Truncate(focusZ) + h / 2;
    overlay->SetScale(float(w), 1.0f, float(h));
    overlay->SetPosition(float(left) + float(w) * 0.5f, 0.0f, float(far) - float(h) * 0.5f);
    overlay->ResetMatrixHistory();
    if (!texture || !texture->Lock()) return;
    const CCellMap& map = grid->m_cellMap;
    const SSurfacePixelFormat& format = texture->m_desc.pixelFormat;
    const int bytes = int(format.bitCount / 8u) > 0 ? int(format.bitCount / 8u) : 1;
    uint8_t* bits = texture->Bits();
    // A border cell stands for the cells beyond it.
    auto state = [&map](int cx, int cy) -> uint32_t {
        if (map.Width() <= 0 || map.Height() <= 0) return 0u;
        cx = cx < 0 ? 0 : (cx >= map.Width() ? map.Width() - 1 : cx);
        cy = cy < 0 ? 0 : (cy >= map.Height() ? map.Height() - 1 : cy);
        return map.At(cx, cy)->state;
    };
    int cx0 = 0, cy0 = 0;
    map.CellOf(float(left), float(far), cx0, cy0);
    for (int32_t j = 0; j < h && bits; ++j) {
        uint8_t* row = bits + j * texture->Pitch();
        for (int32_t i = 0; i < w; ++i) {
            const int cx = cx0 + i, cy = cy0 + j;
            const uint32_t sum =
                state(cx, cy) + state(cx + 1, cy) + state(cx, cy + 1) + state(cx + 1, cy + 1);
            const uint32_t texel = ExplosionManager_FogTexel(*this, sum, format);
            for (int k = 0; k < bytes; ++k) row[i * bytes + k] = uint8_t(texel >> (8 * k));
        }
    }
    texture->Unlock();
}
