// What the OpenGL device really does, as the capability record it reports:
// the engine lowers what a material asks for to what is here (a shade mode,
// fog, blending, alpha testing, a texture operation, an address mode or a
// filter the device does not have).
#include "platform/d3d/GLCore.h"

D3DDEVICEDESC7 GL_DeviceDesc(const D3DDEVICEDESC7& standard) {
    D3DDEVICEDESC7 d = standard;
    D3DPRIMCAPS p = d.dpcTriCaps;
    p.dwMiscCaps = D3DPMISCCAPS_MASKZ | D3DPMISCCAPS_CULLNONE | D3DPMISCCAPS_CULLCW | D3DPMISCCAPS_CULLCCW;
    // Table and vertex fog (by eye depth or by range), a depth bias, a mip
    // bias and dithering; no stipple patterns and no anti-aliasing.
    p.dwRasterCaps = D3DPRASTERCAPS_DITHER | D3DPRASTERCAPS_ZTEST | D3DPRASTERCAPS_FOGVERTEX |
                     D3DPRASTERCAPS_FOGTABLE | D3DPRASTERCAPS_MIPMAPLODBIAS | D3DPRASTERCAPS_ZBIAS |
                     D3DPRASTERCAPS_FOGRANGE;
    p.dwZCmpCaps = p.dwAlphaCmpCaps = 0xff;  // every comparison
    p.dwSrcBlendCaps = p.dwDestBlendCaps = 0x1fff;
    // Flat and Gouraud shading with specular, blending and fog in both; no
    // Phong shading and no stippled alpha.
    p.dwShadeCaps = D3DPSHADECAPS_COLORFLATRGB | D3DPSHADECAPS_COLORGOURAUDRGB |
                    D3DPSHADECAPS_SPECULARFLATRGB | D3DPSHADECAPS_SPECULARGOURAUDRGB |
                    D3DPSHADECAPS_ALPHAFLATBLEND | D3DPSHADECAPS_ALPHAGOURAUDBLEND | D3DPSHADECAPS_FOGFLAT |
                    D3DPSHADECAPS_FOGGOURAUD;
    // Point and linear filters and mip filters; an anisotropic or cubic
    // filter is not done.
    p.dwTextureFilterCaps =
        D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR | D3DPTFILTERCAPS_MIPNEAREST |
        D3DPTFILTERCAPS_MIPLINEAR | D3DPTFILTERCAPS_LINEARMIPNEAREST | D3DPTFILTERCAPS_LINEARMIPLINEAR |
        D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
        D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    p.dwTextureAddressCaps = D3DPTADDRESSCAPS_WRAP | D3DPTADDRESSCAPS_MIRROR | D3DPTADDRESSCAPS_CLAMP |
                             D3DPTADDRESSCAPS_BORDER | D3DPTADDRESSCAPS_INDEPENDENTUV;
    d.dpcTriCaps = d.dpcLineCaps = p;
    // The generated shaders write out every operation but the premodulation
    // and the bump maps, for three stages with three coordinate sets.
    d.dwTextureOpCaps = 0;
    for (uint32_t op = D3DTOP_DISABLE; op <= D3DTOP_DOTPRODUCT3; ++op)
        if (op != D3DTOP_PREMODULATE && op != D3DTOP_BUMPENVMAP && op != D3DTOP_BUMPENVMAPLUMINANCE)
            d.dwTextureOpCaps |= D3D_TextureOpCap(op);
    d.dwFVFCaps = 3;
    d.wMaxTextureBlendStages = d.wMaxSimultaneousTextures = 3;
    d.dwMaxActiveLights = 8;
    d.dwMaxAnisotropy = 1;
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    if (size > 0) d.dwMaxTextureWidth = d.dwMaxTextureHeight = uint32_t(size);
    return d;
}
