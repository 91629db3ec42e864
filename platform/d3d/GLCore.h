// Inside the OpenGL back end: the one GL context with the back buffer's
// framebuffer, the texture uploads and the generated shaders.
#pragma once

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <array>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/d3d/Direct3D.h"

class CDisplayWindow;

// Everything a generated shader depends on. Two draws with equal keys share
// one program.
struct SGLShaderKey {
    std::array<uint32_t, 16> w{};
    bool operator==(const SGLShaderKey& o) const { return w == o.w; }
};
struct SGLShaderKeyHash {
    size_t operator()(const SGLShaderKey& k) const {
        size_t h = 1469598103934665603ull;
        for (uint32_t v : k.w) h = (h ^ v) * 1099511628211ull;
        return h;
    }
};

// Decoded form of the key, used to write the GLSL.
struct SGLShaderDesc {
    uint32_t fvf = 0;
    bool lighting = false;
    uint32_t lightCount = 0;
    uint32_t lightTypes[8] = {};
    uint32_t diffuseSource = 0, specularSource = 0, ambientSource = 0, emissiveSource = 0;
    bool specularEnable = false;
    uint32_t fogKind = 0;  // 0 none, 1 table (per pixel), 2 vertex, 3 from specular alpha
    uint32_t fogMode = 0;  // D3DFOG_*
    bool rangeFog = false;
    uint32_t alphaFunc = D3DCMP_ALWAYS;
    bool flat = false;
    uint32_t stages = 0;  // stages before the first COLOROP DISABLE (at most 3)
    uint32_t colorOp[3] = {}, colorArg1[3] = {}, colorArg2[3] = {};
    uint32_t alphaOp[3] = {}, alphaArg1[3] = {}, alphaArg2[3] = {};
    uint32_t texCoord[3] = {};
    bool hasTexture[3] = {};
    bool keyed[3] = {};  // colour-keyed texture with COLORKEYENABLE

    SGLShaderKey Key() const;
};

struct SGLProgram {
    GLuint program = 0;
    // Uniform locations.
    GLint uWorldView = -1, uClip = -1, uNormalMatrix = -1, uScreen = -1;
    GLint uMatDiffuse = -1, uMatAmbient = -1, uMatSpecular = -1, uMatEmissive = -1, uMatPower = -1;
    GLint uAmbient = -1;
    GLint uLightPos = -1, uLightDir = -1, uLightDiffuse = -1, uLightSpecular = -1, uLightAmbient = -1;
    GLint uLightAtten = -1, uLightSpot = -1;
    GLint uFog = -1, uFogColor = -1, uTFactor = -1, uAlphaRef = -1;
    GLint uTex[3] = {-1, -1, -1};
    // What the uniforms that do not change from object to object were last
    // made from (GL keeps a program's uniforms): the same inputs need no
    // calls. Empty until first set.
    std::vector<uint8_t> miscFrom, lightsFrom;
};

// Writes, compiles and links the program of a description; 0 on failure.
bool GL_BuildProgram(const SGLShaderDesc& desc, SGLProgram* out);
// Compiles and links a program of two shaders' sources; 0 on failure.
GLuint GL_LinkProgram(const std::string& vertex, const std::string& fragment);

struct SGLTexture {
    GLuint id = 0;
    std::vector<CSoftSurface*> levels;  // the smaller levels of a mip chain (owned)
    bool dirty = true;
    uint32_t keyed = 2;  // colour key state at the last upload (2: never uploaded)
    uint32_t key = 0;
    uint32_t params[7] = {};  // address u, v, border, mag, min, mip, max mip level as last set
    float lodBias = 0.0f;
    bool paramsSet = false;
};

// What OpenGL holds of one kept store: its own vertex array with the
// attributes set for the store's format, a vertex buffer with the vertices of
// the change count it saw last (the range [validFirst, validEnd) of them: a
// store that changes is sent only as far as its draws reach) and an index
// buffer with its index list, checked against the vertex count once per
// change.
struct SGLKept {
    GLuint vao = 0, vbo = 0, ibo = 0;
    uint32_t fvf = 0;            // the format the vertex array's attributes were set for
    size_t vboBytes = 0;         // the vertex buffer's size
    uint32_t vertexChanges = 0;  // the store's count when its vertices were sent
    uint32_t validFirst = 0, validEnd = 0;
    uint32_t indexChanges = 0;  // the store's count when its indices were sent
    // The index list checked against a vertex count: at the store's change
    // count checkedIndexChanges, the position of its first index past the
    // vertices (the list's length when there is none).
    uint32_t checkedIndexChanges = 0, checkedVertices = 0, firstBadIndex = 0;
    bool hasVertices = false, hasIndices = false, indexChecked = false;
    GLuint boundIbo = 0;  // the index buffer bound in the vertex array
};

class CGLCore : public ISurfaceShare {
public:
    static CGLCore& Get();

    // Makes the context current on the window (a hidden window of our own when
    // null). False when no GL context can be had.
    bool Bind(CDisplayWindow* window);
    bool Ready() const { return m_context != nullptr; }

    // The back buffer: its framebuffer follows the surface's size.
    bool SetBackBuffer(CSoftSurface* surface);
    CSoftSurface* BackBuffer() const { return m_back; }
    void SetDepthAttached(bool on) { m_depthAttached = on; }
    bool DepthAttached() const { return m_depthAttached; }
    // Before 3D drawing: the framebuffer bound, the CPU copy uploaded if newer.
    bool BeginGPUWork();
    void GPUDrew() { m_gpuNewer = true; }
    // The 3D device is about to clear the whole back buffer: what the CPU
    // drew since the last upload would be covered at once, so it is not sent.
    void DiscardCpuCopy() { m_cpuNewer = false; }

    // The CPU's drawing over a picture that the GPU drew (the interface over
    // the 3D scene) does not read that picture back. A drawing lock of a
    // 32-bit back buffer whose picture is on the GPU fills the CPU copy with
    // kOverlayClear and makes it an overlay: the upload then lays it over the
    // framebuffer, leaving the pixels that still hold kOverlayClear alone.
    // Only a reader (a screenshot, a capture, a blit from the back buffer)
    // reads the framebuffer back, after the overlay is laid. The value's top
    // byte, which X8R8G8B8 leaves unused and our drawing writes as 0, keeps
    // it apart from any colour drawn.
    static constexpr uint32_t kOverlayClear = 0x5A0A0B0Cu;
    bool OverlayMode() const { return m_overlay; }

    void PullPixels(CSoftSurface& surface, bool read) override;
    void PixelsChanged(CSoftSurface& surface) override;

    // Shows the back buffer's (sx, sy, w, h) at the window's client (0, 0).
    bool Present(int w, int h);
    // The window's pixels as last presented (X8R8G8B8 rows top-down), kept when
    // capturing is on.
    void SetCapture(bool on) { m_capture = on; }
    const std::vector<uint32_t>& Captured(int* w, int* h) const {
        *w = m_capturedW;
        *h = m_capturedH;
        return m_captured;
    }

    // Textures: uploaded on use after a change.
    SGLTexture* Texture(CSoftSurface* surface);
    void ForgetTexture(CSoftSurface* surface);
    // Registers a mip chain: the top level and its smaller levels (owned).
    void AddMipChain(const std::vector<CSoftSurface*>& chain);
    CSoftSurface* MipLevel(CSoftSurface* top, uint32_t level);
    void EvictTextures();

    SGLProgram* Program(const SGLShaderDesc& desc);
    size_t ProgramCount() const { return m_programs.size(); }

    // The device whose fixed states (viewport, depth, bias, blending,
    // culling, dither, fill) GL holds; null after anything else set them.
    const void* FixedStateOwner() const { return m_fixedStateOwner; }
    void SetFixedStateOwner(const void* device) { m_fixedStateOwner = device; }

    // The kept store of a name, made on first use; ForgetKept deletes its
    // buffers.
    SGLKept& Kept(uint64_t name);
    void ForgetKept(uint64_t name);
    size_t KeptCount() const { return m_kept.size(); }

    int m_readBacks = 0, m_uploads = 0;
    int m_textureUploads = 0;    // texture images sent to GL (all levels of one texture count once)
    uint64_t m_bufferBytes = 0;  // vertex and index bytes sent to GL
    // The streaming vertex array and buffers of draws from memory; the
    // format whose attributes the vertex array has.
    GLuint m_vao = 0, m_vbo = 0, m_ibo = 0;
    uint32_t m_streamFvf = 0;
    std::vector<uint8_t> m_scratch;

private:
    CGLCore() = default;
    void Upload(CSoftSurface* surface, SGLTexture* t);
    void UploadBack();

    void* m_context = nullptr;  // SDL_GLContext
    void* m_hiddenWindow = nullptr;
    uint32_t m_windowId = 0;  // by id: the window may be destroyed under us
    void* Current();          // makes the context current; the window drawn to
    GLuint m_fbo = 0, m_color = 0, m_depth = 0;
    int m_fbW = 0, m_fbH = 0;
    CSoftSurface* m_back = nullptr;
    bool m_depthAttached = false;
    bool m_gpuNewer = false;
    bool m_cpuNewer = false;
    // The CPU copy is an overlay (see kOverlayClear); stale once the GPU drew
    // after it was laid, so the next drawing lock clears it again.
    bool m_overlay = false, m_overlayStale = false, m_overlayBroken = false;
    GLuint m_overlayTexture = 0, m_overlayProgram = 0, m_overlayVao = 0;
    int m_overlayW = 0, m_overlayH = 0;
    bool OverlayReady();  // its program made (once)
    void LayOverlay();
    bool m_capture = false;
    std::vector<uint32_t> m_captured;
    int m_capturedW = 0, m_capturedH = 0;
    std::unordered_map<CSoftSurface*, SGLTexture> m_textures;
    std::unordered_map<CSoftSurface*, CSoftSurface*> m_levelTop;  // smaller level -> its top
    std::unordered_map<SGLShaderKey, SGLProgram, SGLShaderKeyHash> m_programs;
    std::unordered_map<uint64_t, SGLKept> m_kept;
    const void* m_fixedStateOwner = nullptr;
};

// Converts any CPU surface to RGBA8 rows (alpha 0 where the colour key
// matches when keyed; alpha 255 where the format has none).
void GL_ConvertToRGBA(const CSoftSurface& s, bool keyed, std::vector<uint8_t>* out);
