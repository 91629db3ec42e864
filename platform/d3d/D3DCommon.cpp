// What both back ends share: vertex sizes, display formats, Direct3D's start
// values of the states, the capability record, the back-end selection and
// the names of kept stores.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/d3d/Direct3D.h"

namespace {
IDDFactory* g_factory = nullptr;
std::atomic<uint64_t> g_keptNames{0};
}  // namespace

uint64_t D3D_NewKeptName() {
    return g_keptNames.fetch_add(1, std::memory_order_relaxed) + 1;
}

IDDFactory* DDraw_Factory() {
    return g_factory ? g_factory : DDraw_OpenGLFactory();
}
void DDraw_SetFactory(IDDFactory* factory) {
    g_factory = factory;
}

uint32_t D3D_VertexSize(uint32_t fvf) {
    uint32_t size;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ:
            size = 12;
            break;
        case D3DFVF_XYZRHW:
            size = 16;
            break;
        default:
            return 0;
    }
    if (fvf & D3DFVF_NORMAL) size += 12;
    if (fvf & D3DFVF_RESERVED1) size += 4;
    if (fvf & D3DFVF_DIFFUSE) size += 4;
    if (fvf & D3DFVF_SPECULAR) size += 4;
    uint32_t tex = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    if (tex > 8) return 0;
    return size + tex * 8;
}

SSurfacePixelFormat D3D_DisplayFormat(uint32_t bits) {
    return bits == 16 ? SSurfacePixelFormat::Rgb565() : SSurfacePixelFormat::Xrgb8888();
}

bool D3D_DefaultRenderState(uint32_t state, uint32_t* value) {
    uint32_t v = 0;
    if (state == 0 || state >= kD3DRenderStateCount) return false;
    if (state >= 96 && state < D3DRENDERSTATE_WRAP0) return false;
    if (state >= 61 && state < D3DRENDERSTATE_STIPPLEPATTERN00) return false;
    if (state == 149 || state == 150) return false;
    switch (state) {
        case D3DRENDERSTATE_TEXTUREADDRESS:
            v = D3DTADDRESS_WRAP;
            break;
        case D3DRENDERSTATE_TEXTUREPERSPECTIVE:
            v = 1;
            break;
        case D3DRENDERSTATE_ZENABLE:
            v = D3DZB_TRUE;
            break;
        case D3DRENDERSTATE_FILLMODE:
            v = D3DFILL_SOLID;
            break;
        case D3DRENDERSTATE_SHADEMODE:
            v = D3DSHADE_GOURAUD;
            break;
        case D3DRENDERSTATE_PLANEMASK:
            v = 0xffffffffu;
            break;
        case D3DRENDERSTATE_ZWRITEENABLE:
            v = 1;
            break;
        case D3DRENDERSTATE_LASTPIXEL:
            v = 1;
            break;
        case D3DRENDERSTATE_TEXTUREMAG:
            v = 1;
            break;
        case D3DRENDERSTATE_TEXTUREMIN:
            v = 1;
            break;
        case D3DRENDERSTATE_SRCBLEND:
            v = D3DBLEND_ONE;
            break;
        case D3DRENDERSTATE_DESTBLEND:
            v = D3DBLEND_ZERO;
            break;
        case D3DRENDERSTATE_TEXTUREMAPBLEND:
            v = 2;
            break;  // D3DTBLEND_MODULATE, as stage 0 starts
        case D3DRENDERSTATE_CULLMODE:
            v = D3DCULL_CCW;
            break;
        case D3DRENDERSTATE_ZFUNC:
            v = D3DCMP_LESSEQUAL;
            break;
        case D3DRENDERSTATE_ALPHAFUNC:
            v = D3DCMP_ALWAYS;
            break;
        case D3DRENDERSTATE_FOGEND:
            v = D3D_FloatBits(1.0f);
            break;
        case D3DRENDERSTATE_FOGDENSITY:
            v = D3D_FloatBits(1.0f);
            break;
        case D3DRENDERSTATE_TEXTUREADDRESSU:
            v = D3DTADDRESS_WRAP;
            break;
        case D3DRENDERSTATE_TEXTUREADDRESSV:
            v = D3DTADDRESS_WRAP;
            break;
        case D3DRENDERSTATE_ANISOTROPY:
            v = 1;
            break;
        case D3DRENDERSTATE_STENCILFAIL:
        case D3DRENDERSTATE_STENCILZFAIL:
        case D3DRENDERSTATE_STENCILPASS:
            v = D3DSTENCILOP_KEEP;
            break;
        case D3DRENDERSTATE_STENCILFUNC:
            v = D3DCMP_ALWAYS;
            break;
        case D3DRENDERSTATE_STENCILMASK:
        case D3DRENDERSTATE_STENCILWRITEMASK:
            v = 0xffffffffu;
            break;
        case D3DRENDERSTATE_TEXTUREFACTOR:
            v = 0xffffffffu;
            break;
        case D3DRENDERSTATE_CLIPPING:
            v = 1;
            break;
        case D3DRENDERSTATE_LIGHTING:
            v = 1;
            break;
        case D3DRENDERSTATE_COLORVERTEX:
            v = 1;
            break;
        case D3DRENDERSTATE_LOCALVIEWER:
            v = 1;
            break;
        case D3DRENDERSTATE_DIFFUSEMATERIALSOURCE:
            v = D3DMCS_COLOR1;
            break;
        case D3DRENDERSTATE_SPECULARMATERIALSOURCE:
            v = D3DMCS_COLOR2;
            break;
        default:
            v = 0;
            break;
    }
    *value = v;
    return true;
}

bool D3D_DefaultTextureStageState(uint32_t stage, uint32_t state, uint32_t* value) {
    if (stage >= kD3DMaxTextureStages || state == 0 || state >= kD3DTextureStageStateCount) return false;
    uint32_t v = 0;
    switch (state) {
        case D3DTSS_COLOROP:
            v = stage == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
            break;
        case D3DTSS_ALPHAOP:
            v = stage == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
            break;
        case D3DTSS_COLORARG1:
        case D3DTSS_ALPHAARG1:
            v = D3DTA_TEXTURE;
            break;
        case D3DTSS_COLORARG2:
        case D3DTSS_ALPHAARG2:
            v = D3DTA_CURRENT;
            break;
        case D3DTSS_TEXCOORDINDEX:
            v = stage;
            break;
        case D3DTSS_ADDRESS:
        case D3DTSS_ADDRESSU:
        case D3DTSS_ADDRESSV:
            v = D3DTADDRESS_WRAP;
            break;
        case D3DTSS_MAGFILTER:
            v = D3DTFG_POINT;
            break;
        case D3DTSS_MINFILTER:
            v = D3DTFN_POINT;
            break;
        case D3DTSS_MIPFILTER:
            v = D3DTFP_NONE;
            break;
        case D3DTSS_MAXANISOTROPY:
            v = 1;
            break;
        default:
            v = 0;
            break;
    }
    *value = v;
    return true;
}

D3DDEVICEDESC7 D3D_StandardDeviceDesc(bool hardware, bool transformAndLight) {
    D3DDEVICEDESC7 d;
    memset(&d, 0, sizeof d);
    d.dwDevCaps = D3DDEVCAPS_FLOATTLVERTEX | D3DDEVCAPS_EXECUTESYSTEMMEMORY |
                  D3DDEVCAPS_TLVERTEXSYSTEMMEMORY | D3DDEVCAPS_TEXTURESYSTEMMEMORY |
                  D3DDEVCAPS_DRAWPRIMTLVERTEX | D3DDEVCAPS_CANRENDERAFTERFLIP | D3DDEVCAPS_DRAWPRIMITIVES2 |
                  D3DDEVCAPS_DRAWPRIMITIVES2EX;
    if (hardware) d.dwDevCaps |= D3DDEVCAPS_HWRASTERIZATION;
    if (transformAndLight) d.dwDevCaps |= D3DDEVCAPS_HWTRANSFORMANDLIGHT;
    D3DPRIMCAPS p;
    memset(&p, 0, sizeof p);
    p.dwMiscCaps = 0x2 | 0x10 | 0x20 | 0x40;  // mask Z, cull none, cull CW, cull CCW
    p.dwRasterCaps =
        0x1 | 0x80 | 0x10000 | 0x2000 | 0x100;  // dither, fog vertex, fog range, mip LOD bias, fog table
    p.dwZCmpCaps = 0xff;
    p.dwSrcBlendCaps = 0x1fff;
    p.dwDestBlendCaps = 0x1fff;
    p.dwAlphaCmpCaps = 0xff;
    p.dwShadeCaps = 0x8 | 0x2000 | 0x200 | 0x80000 | 0x40000 | 0x1000 | 0x4000;
    p.dwTextureCaps = D3DPTEXTURECAPS_PERSPECTIVE | D3DPTEXTURECAPS_POW2 | D3DPTEXTURECAPS_ALPHA |
                      D3DPTEXTURECAPS_TRANSPARENCY | D3DPTEXTURECAPS_BORDER;  // not square-only
    p.dwTextureFilterCaps =
        D3DPTFILTERCAPS_NEAREST | D3DPTFILTERCAPS_LINEAR | D3DPTFILTERCAPS_MIPNEAREST |
        D3DPTFILTERCAPS_MIPLINEAR | D3DPTFILTERCAPS_LINEARMIPNEAREST | D3DPTFILTERCAPS_LINEARMIPLINEAR |
        D3DPTFILTERCAPS_MINFPOINT | D3DPTFILTERCAPS_MINFLINEAR | D3DPTFILTERCAPS_MIPFPOINT |
        D3DPTFILTERCAPS_MIPFLINEAR | D3DPTFILTERCAPS_MAGFPOINT | D3DPTFILTERCAPS_MAGFLINEAR;
    p.dwTextureBlendCaps = 0xff;
    p.dwTextureAddressCaps = 0x1 | 0x2 | 0x4 | 0x8 | 0x10;  // wrap, mirror, clamp, border, independent UV
    d.dpcLineCaps = p;
    d.dpcTriCaps = p;
    d.dwDeviceRenderBitDepth = 0x400 | 0x100;  // 16 and 32 bits
    d.dwDeviceZBufferBitDepth = 0x400;         // 16 bits
    d.dwMinTextureWidth = d.dwMinTextureHeight = 1;
    d.dwMaxTextureWidth = d.dwMaxTextureHeight = 2048;
    d.dwMaxTextureRepeat = 8192;
    d.dwMaxTextureAspectRatio = 0;  // "no limit", as many drivers said
    d.dwMaxAnisotropy = 1;
    d.dvGuardBandLeft = d.dvGuardBandTop = -2048.0f;
    d.dvGuardBandRight = d.dvGuardBandBottom = 2047.0f;
    d.dwFVFCaps = 8;                                             // texture coordinate sets
    d.dwTextureOpCaps = 0x00ffffffu & ~(0x200000u | 0x400000u);  // every operation but the bump-map ones
    d.wMaxTextureBlendStages = 3;
    d.wMaxSimultaneousTextures = 3;
    d.dwMaxActiveLights = 8;
    d.dvMaxVertexW = 1e10f;
    const char* tag = transformAndLight ? "TESSD3D-TNLHAL.."
                      : hardware        ? "TESSD3D-HAL....."
                                        : "TESSD3D-RGB.....";
    memcpy(d.deviceGUID.bytes, tag, 16);
    return d;
}

std::vector<SD3DDeviceRecord> D3D_StandardDevices() {
    const char* names[3][2] = {
        {"Microsoft Direct3D RGB Software Emulation", "RGB Emulation"},
        {"Microsoft Direct3D Hardware acceleration through Direct3D HAL", "Direct3D HAL"},
        {"Microsoft Direct3D Hardware Transform and Lighting acceleration capable device",
         "Direct3D T&L HAL"}};
    std::vector<SD3DDeviceRecord> out;
    for (int i = 0; i < 3; ++i) {
        SD3DDeviceRecord r;
        snprintf(r.description, sizeof r.description, "%s", names[i][0]);
        snprintf(r.name, sizeof r.name, "%s", names[i][1]);
        r.desc = D3D_StandardDeviceDesc(i >= 1, i == 2);
        out.push_back(r);
    }
    return out;
}

std::vector<CSoftSurface*> D3D_MakeMipChain(uint32_t width, uint32_t height, uint32_t levels,
                                            const SSurfacePixelFormat& format) {
    std::vector<CSoftSurface*> chain;
    if (width == 0 || height == 0) return chain;
    uint32_t w = width, h = height;
    for (uint32_t i = 0; levels == 0 || i < levels; ++i) {
        const uint32_t caps = DDSCAPS_TEXTURE | (i ? uint32_t(DDSCAPS_MIPMAP) : 0u);
        CSoftSurface* s = CSoftSurface::Create(int(w), int(h), format, caps);
        if (!s) {
            for (CSoftSurface* c : chain) delete c;
            chain.clear();
            return chain;
        }
        chain.push_back(s);
        if (w == 1 && h == 1) break;
        w = w > 1 ? w / 2 : 1;
        h = h > 1 ? h / 2 : 1;
    }
    return chain;
}
