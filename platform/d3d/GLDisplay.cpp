// The OpenGL back end's display: the context, the back buffer's framebuffer
// shared with the CPU copy, presenting, and the DirectDraw-shaped objects.
#include <SDL.h>

#include <algorithm>
#include <cstring>

#include "platform/d3d/GLCore.h"
#include "platform/display/Display.h"

ID3DDevice* GL_CreateDevice(const D3DDEVICEDESC7& desc, CSoftSurface* target);
D3DDEVICEDESC7 GL_DeviceDesc(const D3DDEVICEDESC7& standard);

namespace {
// One colour channel of a packed pixel format, its place worked out once per
// picture rather than per pixel.
struct SChannel {
    explicit SChannel(uint32_t m)
        : mask(m), shift(m ? __builtin_ctz(m) : 0), bits(m ? __builtin_popcount(m) : 0) {}
    // The channel of a packed pixel as 0 to 255.
    uint32_t Expand(uint32_t v) const {
        if (!mask) return 0;
        uint32_t c = (v & mask) >> shift;
        if (bits >= 8) return c >> (bits - 8);
        // Replicate the top bits so that full intensity stays 255.
        uint32_t r = c << (8 - bits);
        for (int have = bits; have < 8; have += bits) r |= c << (8 - bits) >> have;
        return r & 0xff;
    }
    // A value of 0 to 255 placed in the channel (narrow channels keep its top bits).
    uint32_t Pack(uint32_t v8) const {
        if (!mask) return 0;
        return ((v8 >> (8 - bits)) << shift) & mask;
    }
    uint32_t mask;
    int shift, bits;
};
}  // namespace

CGLCore& CGLCore::Get() {
    static CGLCore core;
    return core;
}

bool CGLCore::Bind(CDisplayWindow* window) {
    SDL_Window* w = window && window->HasGL() ? static_cast<SDL_Window*>(window->Native()) : nullptr;
    if (!m_hiddenWindow) {
        // The context is made on a hidden window of our own, which lives as long
        // as the context: some drivers lose a context with the window it was
        // made on, and the game's window may close and open again.
        if (!Display_Init()) return false;
        m_hiddenWindow = SDL_CreateWindow("Tessarak GL", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!m_hiddenWindow) {
            Display_Shutdown();
            return false;
        }
    }
    if (!w) w = static_cast<SDL_Window*>(m_hiddenWindow);
    if (!m_context) {
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        m_context = SDL_GL_CreateContext(static_cast<SDL_Window*>(m_hiddenWindow));
        if (!m_context) return false;
        glGenVertexArrays(1, &m_vao);
        glBindVertexArray(m_vao);
        glGenBuffers(1, &m_vbo);
        glGenBuffers(1, &m_ibo);
        glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);  // flat shading takes the first vertex
    }
    if (SDL_GL_MakeCurrent(w, m_context) != 0) return false;
    SDL_GL_SetSwapInterval(0);  // presents never wait for the vertical blank
    m_windowId = SDL_GetWindowID(w);
    return true;
}

void* CGLCore::Current() {
    SDL_Window* w = SDL_GetWindowFromID(m_windowId);
    if (!w) {
        // The window we drew to is gone: draw on through the hidden one.
        w = static_cast<SDL_Window*>(m_hiddenWindow);
        if (!w) return nullptr;
        m_windowId = SDL_GetWindowID(w);
    }
    if (SDL_GL_GetCurrentContext() != m_context || SDL_GL_GetCurrentWindow() != w)
        SDL_GL_MakeCurrent(w, m_context);
    return w;
}

bool CGLCore::SetBackBuffer(CSoftSurface* surface) {
    m_back = surface;
    m_gpuNewer = m_cpuNewer = false;
    m_overlay = m_overlayStale = false;
    if (!surface || !m_context) return surface == nullptr;
    surface->SetShare(this);
    if (!Current()) return false;
    int w = surface->Width(), h = surface->Height();
    if (w == m_fbW && h == m_fbH && m_fbo) return true;
    if (!m_fbo) {
        glGenFramebuffers(1, &m_fbo);
        glGenTextures(1, &m_color);
        glGenRenderbuffers(1, &m_depth);
    }
    glBindTexture(GL_TEXTURE_2D, m_color);
    // The back buffer has no alpha of its own (X8R8G8B8 or 16 bits): blending
    // by the destination's alpha then reads it as opaque, as on the displays.
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glBindRenderbuffer(GL_RENDERBUFFER, m_depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, m_color, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depth);
    bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    m_fbW = w;
    m_fbH = h;
    // A new back buffer starts black, as the CPU copy does.
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 0);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);
    m_fixedStateOwner = nullptr;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    return ok;
}

bool CGLCore::OverlayReady() {
    if (!m_overlayProgram && !m_overlayBroken) {
        // One triangle over the whole framebuffer; each fragment takes the
        // overlay's pixel at its own place (rows run the same way in both).
        static const char* kVertex =
            "#version 330 core\n"
            "void main() {\n"
            "  vec2 p = vec2(float((gl_VertexID & 1) * 4 - 1), float((gl_VertexID & 2) * 2 - 1));\n"
            "  gl_Position = vec4(p, 0.0, 1.0);\n"
            "}\n";
        static const char* kFragment =
            "#version 330 core\n"
            "uniform sampler2D uOverlay;\n"
            "uniform vec4 uClear;\n"
            "out vec4 fragColor;\n"
            "void main() {\n"
            "  vec4 c = texelFetch(uOverlay, ivec2(gl_FragCoord.xy), 0);\n"
            "  if (all(lessThan(abs(c - uClear), vec4(0.5 / 255.0)))) discard;\n"
            "  fragColor = vec4(c.rgb, 1.0);\n"
            "}\n";
        m_overlayProgram = GL_LinkProgram(kVertex, kFragment);
        // Without it every drawing lock reads the picture back, as a reader's does.
        m_overlayBroken = m_overlayProgram == 0;
        if (m_overlayBroken) return false;
        glGenVertexArrays(1, &m_overlayVao);
        glGenTextures(1, &m_overlayTexture);
    }
    return m_overlayProgram != 0;
}

void CGLCore::LayOverlay() {
    const int w = m_back->Width(), h = m_back->Height();
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, m_overlayTexture);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, m_back->Pitch() / 4);
    if (w != m_overlayW || h != m_overlayH) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, m_back->Pixels());
        m_overlayW = w;
        m_overlayH = h;
    } else {
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, m_back->Pixels());
    }
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    glUseProgram(m_overlayProgram);
    glUniform1i(glGetUniformLocation(m_overlayProgram, "uOverlay"), 0);
    const uint32_t k = kOverlayClear;
    glUniform4f(glGetUniformLocation(m_overlayProgram, "uClear"), float((k >> 16) & 0xff) / 255.0f,
                float((k >> 8) & 0xff) / 255.0f, float(k & 0xff) / 255.0f, float(k >> 24) / 255.0f);
    glViewport(0, 0, w, h);
    glDisable(GL_SCISSOR_TEST);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_BLEND);
    glDisable(GL_CULL_FACE);
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    glBindVertexArray(m_overlayVao);
    glDrawArrays(GL_TRIANGLES, 0, 3);
    glBindVertexArray(m_vao);
    // The device sets its own states again before it draws.
    m_fixedStateOwner = nullptr;
}

void CGLCore::UploadBack() {
    if (!m_back || !m_fbo) return;
    ++m_uploads;
    if (m_overlay) {
        // The CPU's drawing over the GPU's picture: the picture stays newer.
        LayOverlay();
        m_cpuNewer = false;
        return;
    }
    const SSurfacePixelFormat& f = m_back->Format();
    glBindTexture(GL_TEXTURE_2D, m_color);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    if (f.bitCount == 32) {
        glPixelStorei(GL_UNPACK_ROW_LENGTH, m_back->Pitch() / 4);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_back->Width(), m_back->Height(), GL_BGRA, GL_UNSIGNED_BYTE,
                        m_back->Pixels());
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    } else {
        GL_ConvertToRGBA(*m_back, false, &m_scratch);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, m_back->Width(), m_back->Height(), GL_RGBA, GL_UNSIGNED_BYTE,
                        m_scratch.data());
    }
    m_cpuNewer = false;
}

bool CGLCore::BeginGPUWork() {
    if (!m_context || !m_fbo || !m_back) return false;
    if (!Current()) return false;
    if (m_cpuNewer) UploadBack();
    // What the GPU draws now may lie under the overlay's pixels: they must
    // not be laid again.
    if (m_overlay) m_overlayStale = true;
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    return true;
}

void CGLCore::PullPixels(CSoftSurface& surface, bool read) {
    if (&surface != m_back || !m_gpuNewer || !m_fbo || !Current()) return;
    if (!read && surface.Format().bitCount == 32 && OverlayReady()) {
        if (!m_overlay || m_overlayStale) {
            std::fill_n(reinterpret_cast<uint32_t*>(surface.Pixels()),
                        size_t(surface.Pitch() / 4) * size_t(surface.Height()), kOverlayClear);
            m_overlay = true;
            m_overlayStale = false;
        }
        return;
    }
    // A reader: what the CPU drew is laid first, then the whole picture
    // comes back.
    if (m_overlay && m_cpuNewer) UploadBack();
    m_overlay = m_overlayStale = false;
    ++m_readBacks;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    int w = surface.Width(), h = surface.Height();
    if (surface.Format().bitCount == 32) {
        glPixelStorei(GL_PACK_ROW_LENGTH, surface.Pitch() / 4);
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, surface.Pixels());
        glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    } else {
        m_scratch.resize(size_t(w) * h * 4);
        glReadPixels(0, 0, w, h, GL_BGRA, GL_UNSIGNED_BYTE, m_scratch.data());
        const SSurfacePixelFormat& f = surface.Format();
        const SChannel r(f.rMask), g(f.gMask), b(f.bMask);
        const int bpp = int(f.bitCount / 8);
        for (int y = 0; y < h; ++y) {
            uint8_t* row = surface.Pixels() + size_t(y) * surface.Pitch();
            const uint8_t* src = m_scratch.data() + size_t(y) * w * 4;
            for (int x = 0; x < w; ++x)
                if (bpp == 2 || bpp == 3)
                    SoftPixel_Write(row + x * bpp, bpp,
                                    r.Pack(src[x * 4 + 2]) | g.Pack(src[x * 4 + 1]) | b.Pack(src[x * 4]));
        }
    }
    m_gpuNewer = false;
}

void CGLCore::PixelsChanged(CSoftSurface& surface) {
    if (&surface == m_back) {
        m_cpuNewer = true;
        // An overlay holds only what the CPU drew: the rest is the GPU's.
        if (!m_overlay) m_gpuNewer = false;
        return;
    }
    CSoftSurface* top = &surface;
    auto lv = m_levelTop.find(top);
    if (lv != m_levelTop.end()) top = lv->second;
    auto it = m_textures.find(top);
    if (it != m_textures.end()) it->second.dirty = true;
}

bool CGLCore::Present(int w, int h) {
    if (!m_context || !m_fbo) return false;
    SDL_Window* win = static_cast<SDL_Window*>(Current());
    if (!win) return false;
    if (m_cpuNewer) UploadBack();
    int dw = 0, dh = 0;
    SDL_GL_GetDrawableSize(win, &dw, &dh);
    w = std::min(w, m_fbW);
    h = std::min(h, m_fbH);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, m_fbo);
    // The framebuffer's row 0 is the picture's top row; the window's is its
    // bottom: the copy flips.
    glBlitFramebuffer(0, 0, w, h, 0, dh, w, dh - h, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (m_capture) {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        std::vector<uint32_t> up(size_t(dw) * dh);
        glReadPixels(0, 0, dw, dh, GL_BGRA, GL_UNSIGNED_BYTE, up.data());
        m_captured.resize(up.size());
        for (int y = 0; y < dh; ++y)
            memcpy(&m_captured[size_t(y) * dw], &up[size_t(dh - 1 - y) * dw], size_t(dw) * 4);
        m_capturedW = dw;
        m_capturedH = dh;
    }
    SDL_GL_SwapWindow(win);
    glBindFramebuffer(GL_FRAMEBUFFER, m_fbo);
    return true;
}

// ---------------------------------------------------------------------------
// Textures.

void GL_ConvertToRGBA(const CSoftSurface& s, bool keyed, std::vector<uint8_t>* out) {
    const SSurfacePixelFormat& f = s.Format();
    int w = s.Width(), h = s.Height();
    out->resize(size_t(w) * h * 4);
    uint32_t channelMask = f.rMask | f.gMask | f.bMask;
    const SChannel rc(f.rMask), gc(f.gMask), bc(f.bMask), ac(f.aMask);
    const int bpp = s.BytesPerPixel();
    const uint32_t* palette = const_cast<CSoftSurface&>(s).Palette();
    for (int y = 0; y < h; ++y) {
        const uint8_t* row = s.Pixels() + size_t(y) * s.Pitch();
        uint8_t* dst = out->data() + size_t(y) * w * 4;
        for (int x = 0; x < w; ++x) {
            uint32_t v = SoftPixel_Read(row + x * bpp, bpp);
            uint8_t r, g, b, a;
            if (f.bitCount == 8) {
                uint32_t p = palette[v & 0xff];
                r = uint8_t(p >> 16);
                g = uint8_t(p >> 8);
                b = uint8_t(p);
                a = 255;
            } else {
                r = uint8_t(rc.Expand(v));
                g = uint8_t(gc.Expand(v));
                b = uint8_t(bc.Expand(v));
                a = f.aMask ? uint8_t(ac.Expand(v)) : 255;
            }
            if (keyed) {
                uint32_t cmp = f.bitCount == 8 ? (v & 0xff) : (v & channelMask);
                uint32_t key = f.bitCount == 8 ? (s.ColorKey() & 0xff) : (s.ColorKey() & channelMask);
                if (cmp == key) a = 0;
            }
            dst[x * 4] = r;
            dst[x * 4 + 1] = g;
            dst[x * 4 + 2] = b;
            dst[x * 4 + 3] = a;
        }
    }
}

void CGLCore::Upload(CSoftSurface* surface, SGLTexture* t) {
    ++m_textureUploads;
    bool keyed = surface->HasColorKey();
    if (!t->id) glGenTextures(1, &t->id);
    glBindTexture(GL_TEXTURE_2D, t->id);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    std::vector<CSoftSurface*> all(1, surface);
    all.insert(all.end(), t->levels.begin(), t->levels.end());
    for (size_t level = 0; level < all.size(); ++level) {
        CSoftSurface* s = all[level];
        // Smaller levels take the top level's colour key.
        if (level) {
            if (keyed)
                s->SetColorKey(surface->ColorKey());
            else
                s->ClearColorKey();
        }
        GL_ConvertToRGBA(*s, keyed, &m_scratch);
        glTexImage2D(GL_TEXTURE_2D, GLint(level), GL_RGBA8, s->Width(), s->Height(), 0, GL_RGBA,
                     GL_UNSIGNED_BYTE, m_scratch.data());
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(t->levels.size()));
    t->dirty = false;
    t->keyed = keyed ? 1 : 0;
    t->key = surface->ColorKey();
}

void CGLCore::AddMipChain(const std::vector<CSoftSurface*>& chain) {
    if (chain.empty()) return;
    SGLTexture& t = m_textures[chain[0]];
    t.levels.assign(chain.begin() + 1, chain.end());
    chain[0]->SetShare(this);
    for (size_t i = 1; i < chain.size(); ++i) {
        chain[i]->SetShare(this);
        m_levelTop[chain[i]] = chain[0];
    }
}

CSoftSurface* CGLCore::MipLevel(CSoftSurface* top, uint32_t level) {
    if (level == 0) return top;
    auto it = m_textures.find(top);
    if (it == m_textures.end() || level > it->second.levels.size()) return nullptr;
    return it->second.levels[level - 1];
}

SGLTexture* CGLCore::Texture(CSoftSurface* surface) {
    if (!surface) return nullptr;
    SGLTexture& t = m_textures[surface];
    if (surface->Share() == nullptr) surface->SetShare(this);
    bool keyed = surface->HasColorKey();
    if (t.dirty || !t.id || t.keyed != (keyed ? 1u : 0u) || (keyed && t.key != surface->ColorKey())) {
        Upload(surface, &t);
        t.paramsSet = false;
    }
    return &t;
}

void CGLCore::ForgetTexture(CSoftSurface* surface) {
    auto it = m_textures.find(surface);
    if (it == m_textures.end()) return;
    if (it->second.id && m_context && Current()) glDeleteTextures(1, &it->second.id);
    for (CSoftSurface* level : it->second.levels) {
        m_levelTop.erase(level);
        delete level;
    }
    m_textures.erase(it);
}

void CGLCore::EvictTextures() {
    // The GL copies go; the CPU pixels stay and are uploaded again on use.
    if (!m_context || !Current()) return;
    for (auto& kv : m_textures) {
        if (kv.second.id && m_context) glDeleteTextures(1, &kv.second.id);
        kv.second.id = 0;
        kv.second.dirty = true;
    }
}

SGLProgram* CGLCore::Program(const SGLShaderDesc& desc) {
    SGLShaderKey key = desc.Key();
    auto it = m_programs.find(key);
    if (it != m_programs.end()) return it->second.program ? &it->second : nullptr;
    SGLProgram p;
    GL_BuildProgram(desc, &p);
    SGLProgram& stored = m_programs[key] = p;
    return stored.program ? &stored : nullptr;
}

void DDraw_GLCapturePresent(bool on) {
    CGLCore::Get().SetCapture(on);
}
std::vector<uint32_t> DDraw_GLCapturedPresent(int* width, int* height) {
    return CGLCore::Get().Captured(width, height);
}
size_t DDraw_GLProgramCount() {
    return CGLCore::Get().ProgramCount();
}
void DDraw_GLTransferCounts(int* readBacks, int* uploads) {
    *readBacks = CGLCore::Get().m_readBacks;
    *uploads = CGLCore::Get().m_uploads;
}

int DDraw_GLTextureUploads() {
    return CGLCore::Get().m_textureUploads;
}

void DDraw_GLFinish() {
    glFinish();
}

// ---------------------------------------------------------------------------
// The DirectDraw- and Direct3D-shaped objects.

namespace {

class CGLD3D;

class CGLDDraw : public IDDraw {
public:
    explicit CGLDDraw(int display) : m_display(display) {}
    ~CGLDDraw() override {}

    D3DResult GetCaps(DDCAPS* caps) override {
        DDCAPS c;
        c.dwFXCaps = DDFXCAPS_BLTSTRETCHX | DDFXCAPS_BLTSTRETCHY;
        *caps = c;
        return D3D_OK;
    }
    D3DResult SetCooperativeLevel(CDisplayWindow* window, uint32_t flags) override {
        m_window = window;
        m_flags = flags;
        if (!(flags & DDSCL_EXCLUSIVE)) m_givenBack = false;
        return CGLCore::Get().Bind(window) ? D3D_OK : DDERR_NODIRECTDRAWHW;
    }
    D3DResult SetDisplayMode(uint32_t w, uint32_t h, uint32_t bits, uint32_t refresh) override {
        if (w == 0 || h == 0 || (bits != 16 && bits != 32)) return DDERR_INVALIDMODE;
        if (!(m_flags & DDSCL_EXCLUSIVE)) return DDERR_NOEXCLUSIVEMODE;
        if (m_window) {
            SDisplayMode mode;
            mode.width = int(w);
            mode.height = int(h);
            mode.bitsPerPixel = int(bits);
            mode.refreshRate = int(refresh);
            if (!m_window->SetFullscreen(m_display, mode)) return DDERR_INVALIDMODE;
        }
        m_bits = bits;
        m_givenBack = false;
        return D3D_OK;
    }
    // After a full-screen display was given back to the desktop the program
    // owns it again once its window is the active one.
    D3DResult TestCooperativeLevel() override {
        if (!CGLCore::Get().Ready()) return DDERR_NOEXCLUSIVEMODE;
        if (m_givenBack && m_window && !m_window->HasInputFocus()) return DDERR_NOEXCLUSIVEMODE;
        return D3D_OK;
    }
    // The desktop gets its mode back. A full-screen display so given back has
    // lost its flipping chain, as DirectDraw's exclusive mode does: flips
    // answer DDERR_SURFACELOST until a display mode is set again.
    D3DResult RestoreDisplayMode() override {
        if (m_window && m_window->IsFullscreen()) {
            int w = 0, h = 0;
            m_window->GetClientSize(&w, &h);
            m_window->SetWindowed(m_display, w, h);
            if (m_flags & DDSCL_EXCLUSIVE) m_givenBack = true;
        }
        m_bits = 32;
        return D3D_OK;
    }
    D3DResult CreateSurface(const SDDSurfaceDesc& d, CSoftSurface** out) override {
        *out = nullptr;
        CGLCore& core = CGLCore::Get();
        if (d.caps & kCapsPrimary) {
            int w = int(d.width), h = int(d.height);
            if (!(d.flags & kDescWidth) || w < 1 || h < 1) {
                w = h = 1;
                if (m_window) m_window->GetClientSize(&w, &h);
            }
            CSoftSurface* p =
                CSoftSurface::Create(std::max(w, 1), std::max(h, 1), D3D_DisplayFormat(m_bits), d.caps);
            if (!p) return DDERR_OUTOFMEMORY;
            if (d.caps & DDSCAPS_FLIP) {
                CSoftSurface* back =
                    CSoftSurface::Create(w, h, D3D_DisplayFormat(m_bits),
                                         kCapsOffscreenPlain | kCaps3DDevice | DDSCAPS_BACKBUFFER);
                if (!back || !core.SetBackBuffer(back)) {
                    delete back;
                    delete p;
                    return DDERR_OUTOFVIDEOMEMORY;
                }
                m_flipBack = back;
                m_flipPrimary = p;
            }
            *out = p;
            return D3D_OK;
        }
        if (d.width < 1 || d.height < 1) return DDERR_INVALIDPARAMS;
        if (d.caps & DDSCAPS_ZBUFFER) {
            SSurfacePixelFormat z;
            z.flags = kPixelZBuffer;
            z.bitCount = 16;
            z.rMask = 0xffff;
            CSoftSurface* s = CSoftSurface::Create(int(d.width), int(d.height), z, d.caps);
            if (!s) return DDERR_OUTOFMEMORY;
            *out = s;
            return D3D_OK;
        }
        SSurfacePixelFormat fmt = D3D_DisplayFormat(m_bits);
        if ((d.flags & kDescPixelFormat) && d.pixelFormat.bitCount) fmt = d.pixelFormat;
        CSoftSurface* s = CSoftSurface::Create(int(d.width), int(d.height), fmt, d.caps);
        if (!s) return DDERR_OUTOFMEMORY;
        if (d.caps & kCaps3DDevice) {
            if (!core.Ready() && !core.Bind(m_window)) {
                delete s;
                return DDERR_NODIRECTDRAWHW;
            }
            if (!core.SetBackBuffer(s)) {
                delete s;
                return DDERR_OUTOFVIDEOMEMORY;
            }
        } else if (d.caps & DDSCAPS_TEXTURE) {
            s->SetShare(&core);
        }
        *out = s;
        return D3D_OK;
    }
    D3DResult CreateMipTexture(uint32_t w, uint32_t h, uint32_t levels, const SSurfacePixelFormat& f,
                               CSoftSurface** out) override {
        *out = nullptr;
        std::vector<CSoftSurface*> chain = D3D_MakeMipChain(w, h, levels, f);
        if (chain.empty()) return DDERR_INVALIDPARAMS;
        CGLCore::Get().AddMipChain(chain);
        *out = chain[0];
        return D3D_OK;
    }
    D3DResult GetMipLevel(CSoftSurface* top, uint32_t level, CSoftSurface** out) override {
        CSoftSurface* s = CGLCore::Get().MipLevel(top, level);
        if (!s) return DDERR_NOTFOUND;
        *out = s;
        return D3D_OK;
    }
    D3DResult GetAttachedBackBuffer(CSoftSurface* primary, CSoftSurface** out) override {
        if (primary != m_flipPrimary || !m_flipBack) return DDERR_NOTFOUND;
        *out = m_flipBack;
        m_flipBack = nullptr;
        return D3D_OK;
    }
    D3DResult AddAttachedSurface(CSoftSurface* target, CSoftSurface* z) override {
        CGLCore& core = CGLCore::Get();
        if (!target || !z || target != core.BackBuffer()) return DDERR_CANNOTATTACHSURFACE;
        if (z->Width() != target->Width() || z->Height() != target->Height())
            return DDERR_CANNOTATTACHSURFACE;
        core.SetDepthAttached(true);
        m_zBuffer = z;
        return D3D_OK;
    }
    void ForgetSurface(CSoftSurface* s) override {
        CGLCore& core = CGLCore::Get();
        if (!s) return;
        if (s == core.BackBuffer()) {
            s->SetShare(nullptr);
            core.SetBackBuffer(nullptr);
            core.SetDepthAttached(false);
        }
        if (s == m_zBuffer) {
            core.SetDepthAttached(false);
            m_zBuffer = nullptr;
        }
        if (s == m_flipPrimary) {
            delete m_flipBack;
            m_flipBack = nullptr;
            m_flipPrimary = nullptr;
        }
        core.ForgetTexture(s);
    }
    D3DResult CreateClipper(CDisplayWindow*) override { return D3D_OK; }
    void ReleaseClipper() override {}
    D3DResult Blt(CSoftSurface*, const SSurfaceRect& dest, CSoftSurface* back,
                  const SSurfaceRect& src) override {
        CGLCore& core = CGLCore::Get();
        if (back != core.BackBuffer() || src.left != 0 || src.top != 0) return DDERR_INVALIDPARAMS;
        (void)dest;
        return core.Present(src.right, src.bottom) ? D3D_OK : DDERR_GENERIC;
    }
    D3DResult Flip(CSoftSurface*) override {
        if (m_givenBack) return DDERR_SURFACELOST;
        CGLCore& core = CGLCore::Get();
        if (!core.BackBuffer()) return DDERR_NOTFLIPPABLE;
        return core.Present(core.BackBuffer()->Width(), core.BackBuffer()->Height()) ? D3D_OK : DDERR_GENERIC;
    }
    D3DResult QueryDirect3D(ID3D** out) override;

private:
    int m_display;
    CDisplayWindow* m_window = nullptr;
    uint32_t m_flags = 0;
    uint32_t m_bits = 32;
    bool m_givenBack = false;  // a full-screen display handed back to the desktop
    CSoftSurface* m_flipPrimary = nullptr;
    CSoftSurface* m_flipBack = nullptr;
    CSoftSurface* m_zBuffer = nullptr;
};

class CGLD3D : public ID3D {
public:
    D3DResult EnumDevices(std::vector<SD3DDeviceRecord>* out) override {
        // One renderer stands behind all three: each reports what it does.
        *out = D3D_StandardDevices();
        for (SD3DDeviceRecord& r : *out) r.desc = GL_DeviceDesc(r.desc);
        return D3D_OK;
    }
    D3DResult EnumZBufferFormats(const SD3DGuid&, std::vector<DDPIXELFORMAT>* out) override {
        DDPIXELFORMAT z;
        z.dwFlags = DDPF_ZBUFFER;
        z.dwRGBBitCount = 16;
        z.dwRBitMask = 0xffff;
        out->assign(1, z);
        return D3D_OK;
    }
    D3DResult CreateDevice(const SD3DGuid& guid, CSoftSurface* back, ID3DDevice** out) override {
        std::vector<SD3DDeviceRecord> devices;
        EnumDevices(&devices);
        for (const SD3DDeviceRecord& d : devices)
            if (d.desc.deviceGUID == guid) {
                if (!back || back != CGLCore::Get().BackBuffer()) return DDERR_INVALIDSURFACETYPE;
                *out = GL_CreateDevice(d.desc, back);
                return *out ? D3D_OK : D3DERR_INITFAILED;
            }
        return D3DERR_INVALID_DEVICE;
    }
    D3DResult EvictManagedTextures() override {
        CGLCore::Get().EvictTextures();
        return D3D_OK;
    }
};

D3DResult CGLDDraw::QueryDirect3D(ID3D** out) {
    if (!CGLCore::Get().Ready()) return DDERR_NO3D;
    *out = new CGLD3D;
    return D3D_OK;
}

class CGLFactory : public IDDFactory {
public:
    void EnumerateDrivers(uint32_t passFlags, std::vector<SDDDriverRecord>* out) override {
        out->clear();
        // The first pass asks the system; the later passes and the mode lists of
        // the same enumeration use that answer.
        if (passFlags == 0 || m_displays.empty()) m_displays = Display_GetDrivers();
        for (const SDisplayDriverInfo& d : m_displays) {
            // The primary display answers the first pass without a GUID; the
            // others answer the attached-secondary pass with one.
            bool want = d.primary ? passFlags == 0 : passFlags == DDENUM_ATTACHEDSECONDARYDEVICES;
            if (!want) continue;
            SDDDriverRecord r;
            r.hasGuid = !d.primary;
            memcpy(r.guid.bytes, "TESSDISPLAY.....", 16);
            r.guid.bytes[15] = uint8_t(d.display);
            snprintf(r.description, sizeof r.description, "%s", d.description);
            snprintf(r.name, sizeof r.name, "%s", d.name);
            r.monitor = d.display + 1;
            out->push_back(r);
        }
    }
    bool EnumerateModes(const SDDDriverRecord& driver, std::vector<DDSURFACEDESC2>* out) override {
        out->clear();
        if (m_displays.empty()) m_displays = Display_GetDrivers();
        int index = driver.monitor - 1;
        for (const SDisplayDriverInfo& d : m_displays) {
            if (d.display != index) continue;
            for (const SDisplayMode& m : d.modes) {
                DDSURFACEDESC2 s;
                s.dwFlags = DDSD_WIDTH | DDSD_HEIGHT | DDSD_PIXELFORMAT | DDSD_REFRESHRATE | DDSD_PITCH;
                s.dwWidth = uint32_t(m.width);
                s.dwHeight = uint32_t(m.height);
                s.dwRefreshRate = uint32_t(m.refreshRate);
                s.lPitch = m.width * (m.bitsPerPixel / 8);
                SSurfacePixelFormat f = D3D_DisplayFormat(uint32_t(m.bitsPerPixel));
                s.ddpfPixelFormat.dwFlags = DDPF_RGB;
                s.ddpfPixelFormat.dwRGBBitCount = f.bitCount;
                s.ddpfPixelFormat.dwRBitMask = f.rMask;
                s.ddpfPixelFormat.dwGBitMask = f.gMask;
                s.ddpfPixelFormat.dwBBitMask = f.bMask;
                out->push_back(s);
            }
            return true;
        }
        return false;
    }
    D3DResult CreateDirectDraw(const SD3DGuid* guid, IDDraw** out) override {
        int display = guid ? guid->bytes[15] : 0;
        if (!Display_Init()) return DDERR_NODIRECTDRAWHW;
        Display_Shutdown();  // the window or the GL core keeps video running
        *out = new CGLDDraw(display);
        return D3D_OK;
    }

private:
    std::vector<SDisplayDriverInfo> m_displays;
};

}  // namespace

IDDFactory* DDraw_OpenGLFactory() {
    static CGLFactory factory;
    return &factory;
}
