// The OpenGL back end's device: states turned into GL state and shader keys,
// clears, and draws: kept stores from buffers that live as long as their
// owner and are sent again only after a change, other draws from memory
// through a streaming buffer.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

#include "platform/d3d/D3DDeviceState.h"
#include "platform/d3d/GLCore.h"

namespace {

GLenum BlendFactor(uint32_t b, bool src) {
    switch (b) {
        case D3DBLEND_ZERO:
            return GL_ZERO;
        case D3DBLEND_ONE:
            return GL_ONE;
        case D3DBLEND_SRCCOLOR:
            return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR:
            return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA:
            return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA:
            return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA:
            return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA:
            return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR:
            return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR:
            return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT:
            return GL_SRC_ALPHA_SATURATE;
        // The "both" factors set the source and the matching inverse destination.
        case D3DBLEND_BOTHSRCALPHA:
            return src ? GL_SRC_ALPHA : GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_BOTHINVSRCALPHA:
            return src ? GL_ONE_MINUS_SRC_ALPHA : GL_SRC_ALPHA;
    }
    return src ? GL_ONE : GL_ZERO;
}

// Normals go to view space through the inverse transpose of the world-view
// matrix's upper 3 x 3, as Direct3D lights them: a scaled object's normals
// shrink where its positions grow (they are not normalized again). Stored
// row by row like the D3D matrices, which GL reads as the transpose.
void NormalMatrix(const D3DMATRIX& m, float out[9]) {
    const float a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    const float d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    const float g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    const float co[9] = {e * i - f * h, f * g - d * i, d * h - e * g, c * h - b * i, a * i - c * g,
                         b * g - a * h, b * f - c * e, c * d - a * f, a * e - b * d};
    const float det = a * co[0] + b * co[1] + c * co[2];
    if (!std::isfinite(det) || std::fabs(det) < 1e-20f) {
        // A flattened matrix has no inverse: its own rows serve.
        const float rows[9] = {a, b, c, d, e, f, g, h, i};
        memcpy(out, rows, sizeof rows);
        return;
    }
    // The inverse's transpose is the cofactor matrix over the determinant.
    for (int k = 0; k < 9; ++k) out[k] = co[k] / det;
}

GLenum CompareFunc(uint32_t f) {
    switch (f) {
        case D3DCMP_NEVER:
            return GL_NEVER;
        case D3DCMP_LESS:
            return GL_LESS;
        case D3DCMP_EQUAL:
            return GL_EQUAL;
        case D3DCMP_LESSEQUAL:
            return GL_LEQUAL;
        case D3DCMP_GREATER:
            return GL_GREATER;
        case D3DCMP_NOTEQUAL:
            return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL:
            return GL_GEQUAL;
    }
    return GL_ALWAYS;
}

GLenum Address(uint32_t a) {
    switch (a) {
        case D3DTADDRESS_MIRROR:
            return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP:
            return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER:
            return GL_CLAMP_TO_BORDER;
    }
    return GL_REPEAT;
}

void Color4(uint32_t argb, float* out) {
    out[0] = float((argb >> 16) & 0xff) / 255.0f;
    out[1] = float((argb >> 8) & 0xff) / 255.0f;
    out[2] = float(argb & 0xff) / 255.0f;
    out[3] = float(argb >> 24) / 255.0f;
}

class CGLDevice : public CD3DDeviceState {
public:
    CGLDevice(const D3DDEVICEDESC7& desc, CSoftSurface* target) : m_desc(desc), m_target(target) {}

    D3DResult GetCaps(D3DDEVICEDESC7* d) override {
        if (!d) return DDERR_INVALIDPARAMS;
        *d = m_desc;
        return D3D_OK;
    }
    D3DResult EnumTextureFormats(std::vector<DDPIXELFORMAT>* out) override {
        out->clear();
        auto add = [&](uint32_t flags, uint32_t bits, uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
            DDPIXELFORMAT f;
            f.dwFlags = flags;
            f.dwRGBBitCount = bits;
            f.dwRBitMask = r;
            f.dwGBitMask = g;
            f.dwBBitMask = b;
            f.dwRGBAlphaBitMask = a;
            out->push_back(f);
        };
        add(DDPF_RGB, 16, 0xf800, 0x07e0, 0x001f, 0);
        add(DDPF_RGB, 16, 0x7c00, 0x03e0, 0x001f, 0);
        add(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x7c00, 0x03e0, 0x001f, 0x8000);
        add(DDPF_RGB | DDPF_ALPHAPIXELS, 16, 0x0f00, 0x00f0, 0x000f, 0xf000);
        add(DDPF_RGB, 32, 0xff0000, 0xff00, 0xff, 0);
        add(DDPF_RGB | DDPF_ALPHAPIXELS, 32, 0xff0000, 0xff00, 0xff, 0xff000000u);
        add(DDPF_PALETTEINDEXED8 | DDPF_RGB, 8, 0, 0, 0, 0);
        return D3D_OK;
    }
    D3DResult SetRenderTarget(CSoftSurface* s) override {
        if (!s || s != CGLCore::Get().BackBuffer()) return DDERR_INVALIDSURFACETYPE;
        m_target = s;
        return D3D_OK;
    }

    D3DResult Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color, float z,
                    uint32_t) override {
        CGLCore& core = CGLCore::Get();
        if (count && !rects) return DDERR_INVALIDPARAMS;
        const bool refused = (flags & D3DCLEAR_ZBUFFER) && !core.DepthAttached();
        if (!refused && (flags & D3DCLEAR_TARGET) && m_target == core.BackBuffer() &&
            ClearsWholeTarget(count, rects))
            core.DiscardCpuCopy();
        if (!core.BeginGPUWork() || m_target != core.BackBuffer()) return DDERR_SURFACELOST;
        if (refused) return D3DERR_ZBUFFER_NOTPRESENT;
        GLbitfield mask = 0;
        if (flags & D3DCLEAR_TARGET) {
            float c[4];
            Color4(color, c);
            glClearColor(c[0], c[1], c[2], c[3]);
            glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
            mask |= GL_COLOR_BUFFER_BIT;
        }
        if (flags & D3DCLEAR_ZBUFFER) {
            glClearDepth(z);
            glDepthMask(GL_TRUE);
            mask |= GL_DEPTH_BUFFER_BIT;
        }
        if (!mask) return D3D_OK;
        for (uint32_t i = 0; i < (count ? count : 1); ++i) {
            int x0, y0, x1, y1;
            if (!ClearRect(count ? &rects[i] : nullptr, &x0, &y0, &x1, &y1)) continue;
            // A clear of the whole target needs no scissor (and is faster without).
            bool whole = x0 == 0 && y0 == 0 && x1 == m_target->Width() && y1 == m_target->Height();
            if (whole) {
                glDisable(GL_SCISSOR_TEST);
            } else {
                glEnable(GL_SCISSOR_TEST);
                glScissor(x0, y0, x1 - x0, y1 - y0);
            }
            glClear(mask);
        }
        glDisable(GL_SCISSOR_TEST);
        glDepthMask(m_rs[D3DRENDERSTATE_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
        m_fixedValid = false;  // the depth mask may no longer be the applied one
        core.GPUDrew();
        return D3D_OK;
    }

    D3DResult DrawPrimitive(uint32_t type, uint32_t fvf, const void* v, uint32_t count, uint32_t,
                            const SD3DKept* kept) override {
        D3DResult r = CheckDraw(type, fvf, v, count);
        if (r) return r;
        return Draw(type, fvf, v, count, nullptr, 0, kept);
    }
    D3DResult DrawIndexedPrimitive(uint32_t type, uint32_t fvf, const void* v, uint32_t vc,
                                   const uint16_t* idx, uint32_t ic, uint32_t,
                                   const SD3DKept* kept) override {
        D3DResult r = CheckDraw(type, fvf, v, vc);
        if (r) return r;
        if (ic && !idx) return DDERR_INVALIDPARAMS;
        return Draw(type, fvf, v, vc, idx, ic, kept);
    }

private:
    // The part of a clear rectangle (the whole viewport when null) inside the
    // viewport, as [x0, x1) x [y0, y1); false when nothing is left.
    bool ClearRect(const D3DRECT* r, int* x0, int* y0, int* x1, int* y1) const {
        // Clears stay inside the viewport.
        int vx0 = int(m_viewport.dwX), vy0 = int(m_viewport.dwY);
        int vx1 = vx0 + int(m_viewport.dwWidth), vy1 = vy0 + int(m_viewport.dwHeight);
        if (m_viewport.dwWidth == 0) {
            vx0 = vy0 = 0;
            vx1 = m_target->Width();
            vy1 = m_target->Height();
        }
        const D3DRECT whole{vx0, vy0, vx1, vy1};
        if (!r) r = &whole;
        *x0 = std::max(r->x1, vx0), *y0 = std::max(r->y1, vy0);
        *x1 = std::min(r->x2, vx1), *y1 = std::min(r->y2, vy1);
        return *x0 < *x1 && *y0 < *y1;
    }
    bool ClearsWholeTarget(uint32_t count, const D3DRECT* rects) const {
        for (uint32_t i = 0; i < (count ? count : 1); ++i) {
            int x0, y0, x1, y1;
            if (ClearRect(count ? &rects[i] : nullptr, &x0, &y0, &x1, &y1) && x0 == 0 && y0 == 0 &&
                x1 == m_target->Width() && y1 == m_target->Height())
                return true;
        }
        return false;
    }
    D3DResult Draw(uint32_t type, uint32_t fvf, const void* v, uint32_t vc, const uint16_t* idx, uint32_t ic,
                   const SD3DKept* kept);
    // Checks the indices of a draw against its vertex count: the kept ones
    // once per change of the store (k then holds where the first bad one
    // is), others each draw, finding the range [*first, *end) of the
    // vertices they reach.
    bool CheckIndices(const SD3DKept* kept, SGLKept* k, const uint16_t* idx, uint32_t ic, uint32_t vc,
                      uint32_t* first, uint32_t* end);
    // Sends the vertices [first, end) the draw reads: into the kept store's
    // buffer when its copy is older or does not reach them, else into the
    // streaming buffer (then the first vertex sent is vertex 0 to GL, and
    // *baseVertex says how far the indices must move).
    void SendVertices(const SD3DKept* kept, SGLKept* k, uint32_t fvf, const void* v, uint32_t vc,
                      uint32_t first, uint32_t end, GLint* baseVertex);
    void ApplyFixedState(bool rhw);
    void ApplySampler(SGLTexture* t, uint32_t stage);
    // The inputs of the fixed state last applied (valid while this device
    // was the last to apply it and nothing else changed those GL states).
    struct SFixedStateKey {
        uint32_t rhw, width, height, depthAttached;
        D3DVIEWPORT7 viewport;
        uint32_t rs[10];
    };
    SFixedStateKey m_fixed;
    bool m_fixedValid = false;
    void SetUniforms(SGLProgram& p, const SGLShaderDesc& d);
    void SetMiscUniforms(const SGLProgram& p);
    void SetLightUniforms(const SGLProgram& p);

    D3DDEVICEDESC7 m_desc;
    CSoftSurface* m_target;
};

void CGLDevice::ApplyFixedState(bool rhw) {
    CGLCore& core = CGLCore::Get();
    // Everything the states below are made of: a draw whose inputs are those
    // of the last draw needs no GL call here (a frame's draws mostly share
    // them, and each call costs the driver a look even when nothing changes).
    SFixedStateKey key;
    std::memset(&key, 0, sizeof key);
    key.rhw = rhw;
    key.width = uint32_t(m_target->Width());
    key.height = uint32_t(m_target->Height());
    key.depthAttached = core.DepthAttached();
    key.viewport = m_viewport;
    const uint32_t states[] = {D3DRENDERSTATE_ZENABLE,          D3DRENDERSTATE_ZFUNC,
                               D3DRENDERSTATE_ZWRITEENABLE,     D3DRENDERSTATE_ZBIAS,
                               D3DRENDERSTATE_ALPHABLENDENABLE, D3DRENDERSTATE_SRCBLEND,
                               D3DRENDERSTATE_DESTBLEND,        D3DRENDERSTATE_CULLMODE,
                               D3DRENDERSTATE_DITHERENABLE,     D3DRENDERSTATE_FILLMODE};
    static_assert(sizeof states / sizeof states[0] == sizeof key.rs / sizeof key.rs[0], "one slot per state");
    for (size_t i = 0; i < sizeof states / sizeof states[0]; ++i) key.rs[i] = m_rs[states[i]];
    if (m_fixedValid && core.FixedStateOwner() == this && std::memcmp(&key, &m_fixed, sizeof key) == 0)
        return;
    m_fixed = key;
    m_fixedValid = true;
    core.SetFixedStateOwner(this);
    if (rhw) {
        glViewport(0, 0, m_target->Width(), m_target->Height());
        glDepthRange(0.0, 1.0);
    } else {
        glViewport(int(m_viewport.dwX), int(m_viewport.dwY), int(m_viewport.dwWidth),
                   int(m_viewport.dwHeight));
        glDepthRange(m_viewport.dvMinZ, m_viewport.dvMaxZ);
    }
    bool depth = core.DepthAttached() && m_rs[D3DRENDERSTATE_ZENABLE] != D3DZB_FALSE;
    if (depth) {
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(CompareFunc(m_rs[D3DRENDERSTATE_ZFUNC]));
        glDepthMask(m_rs[D3DRENDERSTATE_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
    } else {
        glDisable(GL_DEPTH_TEST);
    }
    int32_t bias = int32_t(m_rs[D3DRENDERSTATE_ZBIAS]);
    if (bias) {
        // A higher bias draws nearer: a small step toward the viewer per level.
        glEnable(GL_POLYGON_OFFSET_FILL);
        glEnable(GL_POLYGON_OFFSET_LINE);
        glPolygonOffset(0.0f, -float(bias) * 2.0f);
    } else {
        glDisable(GL_POLYGON_OFFSET_FILL);
        glDisable(GL_POLYGON_OFFSET_LINE);
    }
    if (m_rs[D3DRENDERSTATE_ALPHABLENDENABLE]) {
        glEnable(GL_BLEND);
        uint32_t src = m_rs[D3DRENDERSTATE_SRCBLEND], dst = m_rs[D3DRENDERSTATE_DESTBLEND];
        GLenum s = BlendFactor(src, true), d = BlendFactor(dst, false);
        if (src == D3DBLEND_BOTHSRCALPHA || src == D3DBLEND_BOTHINVSRCALPHA) d = BlendFactor(src, false);
        glBlendFunc(s, d);
    } else {
        glDisable(GL_BLEND);
    }
    // Clockwise triangles face the viewer in Direct3D; after the flip of y the
    // same triangles wind counter-clockwise in GL's window space.
    switch (m_rs[D3DRENDERSTATE_CULLMODE]) {
        case D3DCULL_CW:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CCW);
            glCullFace(GL_FRONT);
            break;
        case D3DCULL_CCW:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CCW);
            glCullFace(GL_BACK);
            break;
        default:
            glDisable(GL_CULL_FACE);
            break;
    }
    if (m_rs[D3DRENDERSTATE_DITHERENABLE])
        glEnable(GL_DITHER);
    else
        glDisable(GL_DITHER);
    switch (m_rs[D3DRENDERSTATE_FILLMODE]) {
        case D3DFILL_POINT:
            glPolygonMode(GL_FRONT_AND_BACK, GL_POINT);
            break;
        case D3DFILL_WIREFRAME:
            glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
            break;
        default:
            glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
            break;
    }
}

void CGLDevice::ApplySampler(SGLTexture* t, uint32_t stage) {
    const uint32_t* ts = m_tss[stage];
    uint32_t want[7] = {ts[D3DTSS_ADDRESSU],   ts[D3DTSS_ADDRESSV],  ts[D3DTSS_BORDERCOLOR],
                        ts[D3DTSS_MAGFILTER],  ts[D3DTSS_MINFILTER], ts[D3DTSS_MIPFILTER],
                        ts[D3DTSS_MAXMIPLEVEL]};
    float bias = D3D_BitsFloat(ts[D3DTSS_MIPMAPLODBIAS]);
    if (t->paramsSet && memcmp(want, t->params, sizeof want) == 0 && bias == t->lodBias) return;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GLint(Address(want[0])));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GLint(Address(want[1])));
    float border[4];
    Color4(want[2], border);
    glTexParameterfv(GL_TEXTURE_2D, GL_TEXTURE_BORDER_COLOR, border);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, want[3] == D3DTFG_POINT ? GL_NEAREST : GL_LINEAR);
    // Anisotropic minification is taken as linear; without a mip chain the mip
    // filter has nothing to choose from.
    bool linear = want[4] != D3DTFN_POINT;
    GLint min = linear ? GL_LINEAR : GL_NEAREST;
    if (!t->levels.empty()) {
        if (want[5] == D3DTFP_POINT) min = linear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
        if (want[5] == D3DTFP_LINEAR) min = linear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, min);
    // The largest level used: Direct3D counts from the top, as GL's base does.
    GLint base = GLint(std::min<uint32_t>(want[6], uint32_t(t->levels.size())));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, base);
    glTexParameterf(GL_TEXTURE_2D, GL_TEXTURE_LOD_BIAS, std::isfinite(bias) ? bias : 0.0f);
    memcpy(t->params, want, sizeof want);
    t->lodBias = bias;
    t->paramsSet = true;
}

void CGLDevice::SetUniforms(SGLProgram& p, const SGLShaderDesc& d) {
    D3DMATRIX wv = D3D_Multiply(m_world, m_view);
    glUniformMatrix4fv(p.uWorldView, 1, GL_FALSE, &wv.m[0][0]);
    // Direct3D's clip space into GL's: depth 0..w becomes -w..w, y turns
    // over (the image is kept top row first), and Direct3D's pixel centres
    // (on whole coordinates) move half a pixel onto GL's.
    float vw = m_viewport.dwWidth ? float(m_viewport.dwWidth) : 1.0f;
    float vh = m_viewport.dwHeight ? float(m_viewport.dwHeight) : 1.0f;
    D3DMATRIX toGL;
    memset(&toGL, 0, sizeof toGL);
    toGL.m[0][0] = 1.0f;
    toGL.m[1][1] = -1.0f;
    toGL.m[2][2] = 2.0f;
    toGL.m[3][0] = 1.0f / vw;
    toGL.m[3][1] = 1.0f / vh;
    toGL.m[3][2] = -1.0f;
    toGL.m[3][3] = 1.0f;
    const D3DMATRIX clip = D3D_Multiply(D3D_Multiply(wv, m_projection), toGL);
    glUniformMatrix4fv(p.uClip, 1, GL_FALSE, &clip.m[0][0]);
    if (d.lighting) {
        float normal[9];
        NormalMatrix(wv, normal);
        glUniformMatrix3fv(p.uNormalMatrix, 1, GL_FALSE, normal);
    }
    // The rest changes seldom within a frame: sent only when what it is made
    // of changed since this program last got it.
    auto changed = [](std::vector<uint8_t>& from,
                      std::initializer_list<std::pair<const void*, size_t>> parts) {
        size_t total = 0;
        for (const auto& part : parts) total += part.second;
        bool same = from.size() == total;
        size_t at = 0;
        for (const auto& part : parts) {
            same = same && std::memcmp(from.data() + at, part.first, part.second) == 0;
            at += part.second;
        }
        if (same) return false;
        from.resize(total);
        at = 0;
        for (const auto& part : parts) {
            std::memcpy(from.data() + at, part.first, part.second);
            at += part.second;
        }
        return true;
    };
    const int size[2] = {m_target->Width(), m_target->Height()};
    const uint32_t misc[] = {m_rs[D3DRENDERSTATE_TEXTUREFACTOR], m_rs[D3DRENDERSTATE_FOGCOLOR],
                             m_rs[D3DRENDERSTATE_FOGSTART],      m_rs[D3DRENDERSTATE_FOGEND],
                             m_rs[D3DRENDERSTATE_FOGDENSITY],    m_rs[D3DRENDERSTATE_ALPHAREF]};
    if (changed(p.miscFrom, {{size, sizeof size}, {misc, sizeof misc}})) SetMiscUniforms(p);
    if (!d.lighting) return;
    const uint32_t ambient = m_rs[D3DRENDERSTATE_AMBIENT];
    if (changed(p.lightsFrom, {{&m_material, sizeof m_material},
                               {&ambient, sizeof ambient},
                               {&m_view, sizeof m_view},
                               {m_lightOn, sizeof m_lightOn},
                               {m_lights, sizeof m_lights}}))
        SetLightUniforms(p);
}

void CGLDevice::SetMiscUniforms(const SGLProgram& p) {
    glUniform2f(p.uScreen, float(m_target->Width()), float(m_target->Height()));
    float c[4];
    Color4(m_rs[D3DRENDERSTATE_TEXTUREFACTOR], c);
    glUniform4fv(p.uTFactor, 1, c);
    Color4(m_rs[D3DRENDERSTATE_FOGCOLOR], c);
    glUniform4fv(p.uFogColor, 1, c);
    glUniform4f(p.uFog, D3D_BitsFloat(m_rs[D3DRENDERSTATE_FOGSTART]),
                D3D_BitsFloat(m_rs[D3DRENDERSTATE_FOGEND]), D3D_BitsFloat(m_rs[D3DRENDERSTATE_FOGDENSITY]),
                0.0f);
    glUniform1f(p.uAlphaRef, float(m_rs[D3DRENDERSTATE_ALPHAREF] & 0xff));
}

void CGLDevice::SetLightUniforms(const SGLProgram& p) {
    float c[4];
    glUniform4fv(p.uMatDiffuse, 1, &m_material.diffuse.r);
    glUniform4fv(p.uMatAmbient, 1, &m_material.ambient.r);
    glUniform4fv(p.uMatSpecular, 1, &m_material.specular.r);
    glUniform4fv(p.uMatEmissive, 1, &m_material.emissive.r);
    glUniform1f(p.uMatPower, m_material.power);
    Color4(m_rs[D3DRENDERSTATE_AMBIENT], c);
    glUniform4fv(p.uAmbient, 1, c);
    float pos[8][3], dir[8][3], dif[8][4], spe[8][4], amb[8][4], att[8][4], spot[8][4];
    uint32_t n = 0;
    for (uint32_t i = 0; i < kMaxLights; ++i) {
        if (!m_lightOn[i]) continue;
        const D3DLIGHT7& l = m_lights[i];
        // Lights are lit in view space: positions and directions go through the
        // view matrix once here.
        const float* V = &m_view.m[0][0];
        float px = l.dvPosition.x, py = l.dvPosition.y, pz = l.dvPosition.z;
        for (int k = 0; k < 3; ++k) {
            pos[n][k] = px * V[0 * 4 + k] + py * V[1 * 4 + k] + pz * V[2 * 4 + k] + V[3 * 4 + k];
            dir[n][k] = l.dvDirection.x * V[0 * 4 + k] + l.dvDirection.y * V[1 * 4 + k] +
                        l.dvDirection.z * V[2 * 4 + k];
        }
        // Unit length here, once per draw, rather than for every vertex (the
        // lighting takes the direction's way only).
        const float len = std::sqrt(dir[n][0] * dir[n][0] + dir[n][1] * dir[n][1] + dir[n][2] * dir[n][2]);
        if (len > 0.0f)
            for (float& c : dir[n]) c /= len;
        memcpy(dif[n], &l.dcvDiffuse, 16);
        memcpy(spe[n], &l.dcvSpecular, 16);
        memcpy(amb[n], &l.dcvAmbient, 16);
        att[n][0] = l.dvAttenuation0;
        att[n][1] = l.dvAttenuation1;
        att[n][2] = l.dvAttenuation2;
        att[n][3] = l.dvRange;
        spot[n][0] = std::cos(l.dvTheta * 0.5f);
        spot[n][1] = std::cos(l.dvPhi * 0.5f);
        spot[n][2] = l.dvFalloff;
        spot[n][3] = 0.0f;
        ++n;
    }
    if (!n) return;
    glUniform3fv(p.uLightPos, GLsizei(n), &pos[0][0]);
    glUniform3fv(p.uLightDir, GLsizei(n), &dir[0][0]);
    glUniform4fv(p.uLightDiffuse, GLsizei(n), &dif[0][0]);
    glUniform4fv(p.uLightSpecular, GLsizei(n), &spe[0][0]);
    glUniform4fv(p.uLightAmbient, GLsizei(n), &amb[0][0]);
    glUniform4fv(p.uLightAtten, GLsizei(n), &att[0][0]);
    glUniform4fv(p.uLightSpot, GLsizei(n), &spot[0][0]);
}

bool CGLDevice::CheckIndices(const SD3DKept* kept, SGLKept* k, const uint16_t* idx, uint32_t ic, uint32_t vc,
                             uint32_t* first, uint32_t* end) {
    const bool keptIndices =
        k && kept->indices && idx >= kept->indices && idx + ic <= kept->indices + kept->indexCount;
    if (keptIndices) {
        // The whole list once per change of its indices or of the vertex
        // count; a draw of indices before the first bad one needs no look.
        if (!k->indexChecked || k->checkedIndexChanges != kept->indexChanges || k->checkedVertices != vc) {
            uint32_t bad = kept->indexCount;
            for (uint32_t i = 0; i < kept->indexCount; ++i)
                if (kept->indices[i] >= vc) {
                    bad = i;
                    break;
                }
            k->firstBadIndex = bad;
            k->checkedIndexChanges = kept->indexChanges;
            k->checkedVertices = vc;
            k->indexChecked = true;
        }
        const uint32_t offset = uint32_t(idx - kept->indices);
        if (offset + ic <= k->firstBadIndex) return true;
    }
    uint32_t lo = 0xFFFF, hi = 0;
    for (uint32_t i = 0; i < ic; ++i) {
        const uint32_t x = idx[i];
        if (x >= vc) return false;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
    // Kept vertices are sent whole; vertices from memory only as far as
    // these indices reach.
    if (!k && ic) {
        *first = lo;
        *end = hi + 1;
    }
    return true;
}

// The vertex array's attributes for a format, at the format's offsets in
// the buffer bound to GL_ARRAY_BUFFER.
void SetAttributes(uint32_t fvf, uint32_t stride) {
    const bool rhw = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    for (GLuint a = 0; a < 7; ++a) glDisableVertexAttribArray(a);
    size_t off = 0;
    auto attr = [&](GLuint loc, GLint size, GLenum typ, GLboolean norm, size_t len) {
        glEnableVertexAttribArray(loc);
        glVertexAttribPointer(loc, size, typ, norm, GLsizei(stride), reinterpret_cast<const void*>(off));
        off += len;
    };
    if (rhw)
        attr(0, 4, GL_FLOAT, GL_FALSE, 16);
    else
        attr(0, 3, GL_FLOAT, GL_FALSE, 12);
    if (fvf & D3DFVF_NORMAL) attr(1, 3, GL_FLOAT, GL_FALSE, 12);
    if (fvf & D3DFVF_RESERVED1) off += 4;
    if (fvf & D3DFVF_DIFFUSE) attr(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    if (fvf & D3DFVF_SPECULAR) attr(3, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    uint32_t sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
    for (uint32_t t = 0; t < sets; ++t) {
        if (t < 3)
            attr(4 + t, 2, GL_FLOAT, GL_FALSE, 8);
        else
            off += 8;
    }
}

void CGLDevice::SendVertices(const SD3DKept* kept, SGLKept* k, uint32_t fvf, const void* v, uint32_t vc,
                             uint32_t first, uint32_t end, GLint* baseVertex) {
    CGLCore& core = CGLCore::Get();
    const uint32_t stride = D3D_VertexSize(fvf);
    const uint8_t* bytes = static_cast<const uint8_t*>(v);
    *baseVertex = 0;
    if (!k) {
        // From memory: the range the draw reads, in a fresh store each draw
        // (the driver never waits for the last draw's data).
        glBindVertexArray(core.m_vao);
        glBindBuffer(GL_ARRAY_BUFFER, core.m_vbo);
        const size_t n = size_t(end - first) * stride;
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(n), bytes + size_t(first) * stride, GL_STREAM_DRAW);
        core.m_bufferBytes += n;
        if (core.m_streamFvf != fvf) {
            SetAttributes(fvf, stride);
            core.m_streamFvf = fvf;
        }
        *baseVertex = -GLint(first);
        return;
    }
    if (!k->vao) {
        glGenVertexArrays(1, &k->vao);
        glGenBuffers(1, &k->vbo);
        glGenBuffers(1, &k->ibo);
    }
    glBindVertexArray(k->vao);
    glBindBuffer(GL_ARRAY_BUFFER, k->vbo);
    const size_t need = size_t(vc) * stride;
    if (!k->hasVertices || k->vertexChanges != kept->vertexChanges || k->vboBytes < need || k->fvf != fvf) {
        // A new copy: a fresh store at the list's size (a draw still reading
        // the old one keeps it), filled as far as this draw reads. A store
        // that changed after its first copy is marked as one that changes.
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(need), nullptr,
                     k->hasVertices ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        k->vboBytes = need;
        k->vertexChanges = kept->vertexChanges;
        k->hasVertices = true;
        k->validFirst = k->validEnd = first;
    }
    if (first < k->validFirst || end > k->validEnd) {
        // The part of [first, end) the copy lacks, with what lies between.
        const uint32_t a = k->validFirst == k->validEnd ? first : std::min(first, k->validFirst);
        const uint32_t b = k->validFirst == k->validEnd ? end : std::max(end, k->validEnd);
        const size_t n = size_t(b - a) * stride;
        glBufferSubData(GL_ARRAY_BUFFER, GLintptr(size_t(a) * stride), GLsizeiptr(n),
                        bytes + size_t(a) * stride);
        core.m_bufferBytes += n;
        k->validFirst = a;
        k->validEnd = b;
    }
    if (k->fvf != fvf) {
        SetAttributes(fvf, stride);
        k->fvf = fvf;
    }
}

D3DResult CGLDevice::Draw(uint32_t type, uint32_t fvf, const void* v, uint32_t vc, const uint16_t* idx,
                          uint32_t ic, const SD3DKept* kept) {
    CGLCore& core = CGLCore::Get();
    SGLKept* k = nullptr;
    if (kept && kept->name) {
        if (!kept->backEnd) kept->backEnd = &core.Kept(kept->name);  // map nodes stay where they are
        k = static_cast<SGLKept*>(kept->backEnd);
    }
    // The vertices the draw reads: all of them unless indices say less.
    uint32_t first = 0, end = vc;
    // An index past the vertices would read memory the caller never gave.
    if (idx && !CheckIndices(kept, k, idx, ic, vc, &first, &end)) return DDERR_INVALIDPARAMS;
    if (!core.BeginGPUWork() || m_target != core.BackBuffer()) return DDERR_SURFACELOST;
    if (vc == 0 || (idx && ic == 0)) return D3D_OK;
    bool rhw = (fvf & D3DFVF_POSITION_MASK) == D3DFVF_XYZRHW;
    if (!rhw && (m_viewport.dwWidth == 0 || m_viewport.dwHeight == 0)) return D3DERR_VIEWPORTDATANOTSET;

    SGLShaderDesc d;
    d.fvf = fvf;
    d.lighting = !rhw && m_rs[D3DRENDERSTATE_LIGHTING] != 0;
    if (d.lighting) {
        for (uint32_t i = 0; i < kMaxLights; ++i)
            if (m_lightOn[i]) d.lightTypes[d.lightCount++] = m_lights[i].dltType;
        bool colorVertex = m_rs[D3DRENDERSTATE_COLORVERTEX] != 0;
        d.diffuseSource = colorVertex ? m_rs[D3DRENDERSTATE_DIFFUSEMATERIALSOURCE] : 0;
        d.specularSource = colorVertex ? m_rs[D3DRENDERSTATE_SPECULARMATERIALSOURCE] : 0;
        d.ambientSource = colorVertex ? m_rs[D3DRENDERSTATE_AMBIENTMATERIALSOURCE] : 0;
        d.emissiveSource = colorVertex ? m_rs[D3DRENDERSTATE_EMISSIVEMATERIALSOURCE] : 0;
    }
    d.specularEnable = m_rs[D3DRENDERSTATE_SPECULARENABLE] != 0;
    d.flat = m_rs[D3DRENDERSTATE_SHADEMODE] == D3DSHADE_FLAT;
    if (m_rs[D3DRENDERSTATE_FOGENABLE]) {
        uint32_t table = m_rs[D3DRENDERSTATE_FOGTABLEMODE], vertex = m_rs[D3DRENDERSTATE_FOGVERTEXMODE];
        if (table != D3DFOG_NONE && table <= D3DFOG_LINEAR) {
            d.fogKind = 1;
            d.fogMode = table;
        } else if (vertex != D3DFOG_NONE && vertex <= D3DFOG_LINEAR && !rhw) {
            d.fogKind = 2;
            d.fogMode = vertex;
            d.rangeFog = m_rs[D3DRENDERSTATE_RANGEFOGENABLE] != 0;
        } else if (fvf & D3DFVF_SPECULAR) {
            d.fogKind = 3;  // the fog factor comes in the specular colour's alpha
        }
    }
    if (m_rs[D3DRENDERSTATE_ALPHATESTENABLE]) d.alphaFunc = m_rs[D3DRENDERSTATE_ALPHAFUNC];
    bool colorKey = m_rs[D3DRENDERSTATE_COLORKEYENABLE] != 0;
    SGLTexture* bound[3] = {};
    for (uint32_t s = 0; s < 3; ++s) {
        if (m_tss[s][D3DTSS_COLOROP] == D3DTOP_DISABLE || m_tss[s][D3DTSS_COLOROP] > D3DTOP_DOTPRODUCT3)
            break;
        d.stages = s + 1;
        d.colorOp[s] = m_tss[s][D3DTSS_COLOROP];
        d.colorArg1[s] = m_tss[s][D3DTSS_COLORARG1] & 0x3f;
        d.colorArg2[s] = m_tss[s][D3DTSS_COLORARG2] & 0x3f;
        d.alphaOp[s] = m_tss[s][D3DTSS_ALPHAOP];
        d.alphaArg1[s] = m_tss[s][D3DTSS_ALPHAARG1] & 0x3f;
        d.alphaArg2[s] = m_tss[s][D3DTSS_ALPHAARG2] & 0x3f;
        d.texCoord[s] = m_tss[s][D3DTSS_TEXCOORDINDEX] & 0xffff;
        if (m_textures[s]) {
            bound[s] = core.Texture(m_textures[s]);
            d.hasTexture[s] = bound[s] != nullptr;
            d.keyed[s] = colorKey && m_textures[s]->HasColorKey();
        }
    }
    SGLProgram* p = core.Program(d);
    if (!p) return D3DERR_INVALIDVERTEXFORMAT;
    glUseProgram(p->program);
    for (uint32_t s = 0; s < d.stages; ++s) {
        if (!bound[s]) continue;
        glActiveTexture(GL_TEXTURE0 + s);
        glBindTexture(GL_TEXTURE_2D, bound[s]->id);
        ApplySampler(bound[s], s);
    }
    glActiveTexture(GL_TEXTURE0);
    ApplyFixedState(rhw);
    SetUniforms(*p, d);

    GLint baseVertex = 0;
    SendVertices(kept, k, fvf, v, vc, first, end, &baseVertex);
    GLenum mode;
    switch (type) {
        case D3DPT_POINTLIST:
            mode = GL_POINTS;
            break;
        case D3DPT_LINELIST:
            mode = GL_LINES;
            break;
        case D3DPT_LINESTRIP:
            mode = GL_LINE_STRIP;
            break;
        case D3DPT_TRIANGLESTRIP:
            mode = GL_TRIANGLE_STRIP;
            break;
        case D3DPT_TRIANGLEFAN:
            mode = GL_TRIANGLE_FAN;
            break;
        default:
            mode = GL_TRIANGLES;
            break;
    }
    if (idx) {
        size_t offset = 0;
        if (k && kept->indices && idx >= kept->indices && idx + ic <= kept->indices + kept->indexCount) {
            // The store's own indices: sent once per change, drawn from their
            // buffer (a leading part of them as the draw asks).
            if (k->boundIbo != k->ibo) {
                glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, k->ibo);
                k->boundIbo = k->ibo;
            }
            if (!k->hasIndices || k->indexChanges != kept->indexChanges) {
                const size_t bytes = size_t(kept->indexCount) * 2;
                glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(bytes), kept->indices, GL_STATIC_DRAW);
                core.m_bufferBytes += bytes;
                k->hasIndices = true;
                k->indexChanges = kept->indexChanges;
            }
            offset = size_t(idx - kept->indices) * 2;
        } else {
            // Indices made for this draw (a sorted copy): streamed with it.
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, core.m_ibo);
            if (k) k->boundIbo = core.m_ibo;
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(size_t(ic) * 2), idx, GL_STREAM_DRAW);
            core.m_bufferBytes += size_t(ic) * 2;
        }
        const void* at = reinterpret_cast<const void*>(offset);
        if (baseVertex)
            glDrawElementsBaseVertex(mode, GLsizei(ic), GL_UNSIGNED_SHORT, at, baseVertex);
        else
            glDrawElements(mode, GLsizei(ic), GL_UNSIGNED_SHORT, at);
    } else {
        glDrawArrays(mode, 0, GLsizei(vc));
    }
    core.GPUDrew();
    return D3D_OK;
}

}  // namespace

ID3DDevice* GL_CreateDevice(const D3DDEVICEDESC7& desc, CSoftSurface* target) {
    return new CGLDevice(desc, target);
}

SGLKept& CGLCore::Kept(uint64_t name) {
    return m_kept[name];
}

void CGLCore::ForgetKept(uint64_t name) {
    auto it = m_kept.find(name);
    if (it == m_kept.end()) return;
    SGLKept& k = it->second;
    if (k.vao && m_context && Current()) {
        glDeleteVertexArrays(1, &k.vao);
        glDeleteBuffers(1, &k.vbo);
        glDeleteBuffers(1, &k.ibo);
        // A deleted vertex array that was bound leaves none bound.
        glBindVertexArray(m_vao);
    }
    m_kept.erase(it);
}

uint64_t DDraw_GLBufferBytes() {
    return CGLCore::Get().m_bufferBytes;
}

size_t DDraw_GLKeptStores() {
    return CGLCore::Get().KeptCount();
}

void D3D_ForgetKept(uint64_t name) {
    if (name) CGLCore::Get().ForgetKept(name);
}
