// The DirectDraw- and Direct3D-7-shaped display and device of the engine.
//
// The engine's screen talks to the display through three objects that mirror
// the ones it was designed against: IDDraw (one display driver: cooperative
// level, display mode, the screen's own surfaces, presenting), ID3D (the
// devices of that driver, their Z-buffer formats, device creation) and
// ID3DDevice (render and texture-stage states by their Direct3D numbers,
// transforms, materials, lights, viewport, clears, scenes and draws from
// memory in flexible vertex formats). Results are the published codes of
// D3DErrors.h.
//
// Surfaces are CSoftSurface (platform/surface): CPU pixels with a pitch and a
// lock. The back buffer is the one surface the 3D device also draws into: the
// OpenGL back end keeps the 3D image in a framebuffer and, through the
// surface's share, reads it back when the CPU locks the back buffer after 3D
// drawing and uploads the CPU copy when it changed before more 3D drawing or
// when presenting. Texture surfaces are uploaded when a draw uses them after
// their pixels changed. Every surface made by IDDraw::CreateSurface is given
// back through IDDraw::ForgetSurface before it is deleted.
//
// Two back ends stand behind these interfaces: OpenGL (the game; Mesa's
// software renderer in CI) and the recorder (tests: every call is logged with
// its arguments, capabilities and failures are scripted). DDraw_Factory()
// gives the one in use.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/d3d/D3DErrors.h"
#include "platform/d3d/D3DTypes.h"
#include "platform/surface/SoftSurface.h"

class CDisplayWindow;
class ID3D;
class ID3DDevice;

// Vertices and indices that their owner keeps from draw to draw (a vertex
// list's). The owner names the store once with a name no other store ever
// gets (D3D_NewKeptName) and counts its changes; a back end may keep a copy
// of its own under the name and send the data again only when a count moved.
// Indices given to a draw that lie inside [indices, indices + indexCount)
// (the owner's list or its leading part) are the kept ones; other indices (a
// sorted copy) come with the draw. D3D_ForgetKept lets the copies go.
struct SD3DKept {
    uint64_t name = 0;
    uint32_t vertexChanges = 0;
    uint32_t indexChanges = 0;
    const uint16_t* indices = nullptr;
    uint32_t indexCount = 0;
    // The back end's record of its copies, found once by the name and kept
    // here (the owner never reads it).
    mutable void* backEnd = nullptr;
};

// One display driver as enumeration reports it.
struct SDDDriverRecord {
    bool hasGuid = false;  // false for the primary display driver
    SD3DGuid guid{};
    char description[256] = {};
    char name[256] = {};
    int monitor = 0;  // display index + 1; 0 for none
};

// One Direct3D device of a driver as EnumDevices reports it.
struct SD3DDeviceRecord {
    char description[256] = {};
    char name[256] = {};
    D3DDEVICEDESC7 desc{};
};

class IDDraw {
public:
    virtual ~IDDraw() = default;

    virtual D3DResult GetCaps(DDCAPS* caps) = 0;
    // The window the display draws into. Full screen and exclusive with
    // DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE, windowed with DDSCL_NORMAL.
    virtual D3DResult SetCooperativeLevel(CDisplayWindow* window, uint32_t flags) = 0;
    virtual D3DResult SetDisplayMode(uint32_t width, uint32_t height, uint32_t bits, uint32_t refresh) = 0;
    virtual D3DResult RestoreDisplayMode() = 0;
    // D3D_OK while the program owns the display (the game polls it after a
    // loss before re-creating its surfaces).
    virtual D3DResult TestCooperativeLevel() = 0;

    // The screen's surfaces, by their caps: the primary (DDSCAPS_PRIMARYSURFACE,
    // with DDSCAPS_FLIP | DDSCAPS_COMPLEX and a back-buffer count for a
    // full-screen flipping chain), the back buffer (DDSCAPS_OFFSCREENPLAIN |
    // DDSCAPS_3DDEVICE), a Z-buffer (DDSCAPS_ZBUFFER with a Z pixel format) or a
    // texture (DDSCAPS_TEXTURE with a pixel format). The caller owns the
    // surface; the back buffer's pixel format is the display mode's depth
    // (5-6-5 at 16 bits, X8R8G8B8 otherwise).
    virtual D3DResult CreateSurface(const SDDSurfaceDesc& desc, CSoftSurface** out) = 0;
    // A texture with a chain of smaller levels, each half the size of the one
    // before (at least 1), `levels` in all (0: down to 1 x 1). The top level
    // comes back; GetMipLevel gives the others. The chain belongs to the top
    // level: forgetting it frees the smaller levels.
    virtual D3DResult CreateMipTexture(uint32_t width, uint32_t height, uint32_t levels,
                                       const SSurfacePixelFormat& format, CSoftSurface** out) = 0;
    // Level 0 is the top itself. DDERR_NOTFOUND beyond the last level.
    virtual D3DResult GetMipLevel(CSoftSurface* top, uint32_t level, CSoftSurface** out) = 0;
    // The back buffer of a flipping chain.
    virtual D3DResult GetAttachedBackBuffer(CSoftSurface* primary, CSoftSurface** out) = 0;
    // Attaches a Z-buffer to a back buffer.
    virtual D3DResult AddAttachedSurface(CSoftSurface* target, CSoftSurface* zbuffer) = 0;
    // Forgets what the display keeps for a surface (call before deleting it).
    virtual void ForgetSurface(CSoftSurface* surface) = 0;

    virtual D3DResult CreateClipper(CDisplayWindow* window) = 0;
    virtual void ReleaseClipper() = 0;

    // Windowed presentation: the back buffer's (0, 0, w, h) to the client area's
    // top-left. Full screen: Flip.
    virtual D3DResult Blt(CSoftSurface* primary, const SSurfaceRect& dest, CSoftSurface* back,
                          const SSurfaceRect& src) = 0;
    virtual D3DResult Flip(CSoftSurface* primary) = 0;

    // Direct3D of this driver; the caller deletes it.
    virtual D3DResult QueryDirect3D(ID3D** out) = 0;
};

class ID3D {
public:
    virtual ~ID3D() = default;
    virtual D3DResult EnumDevices(std::vector<SD3DDeviceRecord>* out) = 0;
    virtual D3DResult EnumZBufferFormats(const SD3DGuid& device, std::vector<DDPIXELFORMAT>* out) = 0;
    // A device that renders into the back buffer (which has its Z-buffer
    // attached). The caller deletes it.
    virtual D3DResult CreateDevice(const SD3DGuid& device, CSoftSurface* backBuffer, ID3DDevice** out) = 0;
    virtual D3DResult EvictManagedTextures() = 0;
};

class ID3DDevice {
public:
    virtual ~ID3DDevice() = default;

    virtual D3DResult GetCaps(D3DDEVICEDESC7* desc) = 0;
    virtual D3DResult EnumTextureFormats(std::vector<DDPIXELFORMAT>* out) = 0;
    virtual D3DResult SetRenderTarget(CSoftSurface* backBuffer) = 0;

    // Unknown state numbers and stages beyond 7 answer DDERR_INVALIDPARAMS.
    virtual D3DResult SetRenderState(uint32_t state, uint32_t value) = 0;
    virtual D3DResult GetRenderState(uint32_t state, uint32_t* value) = 0;
    virtual D3DResult SetTextureStageState(uint32_t stage, uint32_t state, uint32_t value) = 0;
    virtual D3DResult GetTextureStageState(uint32_t stage, uint32_t state, uint32_t* value) = 0;
    // A stage without a texture reads opaque white as its texture argument.
    virtual D3DResult SetTexture(uint32_t stage, CSoftSurface* texture) = 0;
    virtual D3DResult GetTexture(uint32_t stage, CSoftSurface** texture) = 0;

    virtual D3DResult SetTransform(uint32_t which, const D3DMATRIX& m) = 0;
    virtual D3DResult GetTransform(uint32_t which, D3DMATRIX* m) = 0;
    virtual D3DResult SetViewport(const D3DVIEWPORT7& vp) = 0;
    virtual D3DResult GetViewport(D3DVIEWPORT7* vp) = 0;
    virtual D3DResult SetMaterial(const D3DMATERIAL7& m) = 0;
    virtual D3DResult GetMaterial(D3DMATERIAL7* m) = 0;
    // Lights 0 to 7; others answer DDERR_INVALIDPARAMS.
    virtual D3DResult SetLight(uint32_t index, const D3DLIGHT7& light) = 0;
    virtual D3DResult GetLight(uint32_t index, D3DLIGHT7* light) = 0;
    virtual D3DResult LightEnable(uint32_t index, bool on) = 0;
    virtual D3DResult GetLightEnable(uint32_t index, bool* on) = 0;

    virtual D3DResult Clear(uint32_t count, const D3DRECT* rects, uint32_t flags, uint32_t color, float z,
                            uint32_t stencil) = 0;
    virtual D3DResult BeginScene() = 0;
    virtual D3DResult EndScene() = 0;
    // Draws from memory: vertices laid out by the FVF bits, indices 16-bit.
    // With a kept store the vertices (and the indices inside its list) are
    // the store's, which the back end may have kept since its last change.
    virtual D3DResult DrawPrimitive(uint32_t type, uint32_t fvf, const void* vertices, uint32_t count,
                                    uint32_t flags, const SD3DKept* kept = nullptr) = 0;
    virtual D3DResult DrawIndexedPrimitive(uint32_t type, uint32_t fvf, const void* vertices,
                                           uint32_t vertexCount, const uint16_t* indices, uint32_t indexCount,
                                           uint32_t flags, const SD3DKept* kept = nullptr) = 0;
    // For each sphere the D3DSTATUS clip bits against the view frustum of the
    // current world, view and projection.
    virtual D3DResult ComputeSphereVisibility(const D3DVECTOR* centres, const float* radii, uint32_t count,
                                              uint32_t flags, uint32_t* results) = 0;
};

class IDDFactory {
public:
    virtual ~IDDFactory() = default;
    // Drivers of one enumeration pass (flags 0 or one DDENUM_* bit).
    virtual void EnumerateDrivers(uint32_t passFlags, std::vector<SDDDriverRecord>* out) = 0;
    // False when the driver's DirectDraw cannot be had (no modes then).
    virtual bool EnumerateModes(const SDDDriverRecord& driver, std::vector<DDSURFACEDESC2>* out) = 0;
    // guid null: the primary display driver.
    virtual D3DResult CreateDirectDraw(const SD3DGuid* guid, IDDraw** out) = 0;
};

// The back end in use: OpenGL unless a test installed another.
IDDFactory* DDraw_Factory();
void DDraw_SetFactory(IDDFactory* factory);  // null: OpenGL again
IDDFactory* DDraw_OpenGLFactory();
// OpenGL back end, for tests and tools: keep the window's pixels at each
// present (X8R8G8B8, rows top-down) and read them.
void DDraw_GLCapturePresent(bool on);
std::vector<uint32_t> DDraw_GLCapturedPresent(int* width, int* height);
// Number of shader programs generated so far (each state combination once).
size_t DDraw_GLProgramCount();
// Back-buffer transfers so far: read-backs of the 3D image into the CPU copy
// and uploads of the CPU copy.
void DDraw_GLTransferCounts(int* readBacks, int* uploads);
// Texture uploads so far: a texture goes to GL on first use and again only
// after its pixels or colour key changed.
int DDraw_GLTextureUploads();
// Waits until OpenGL has carried out everything sent so far: a benchmark
// times whole frames with it.
void DDraw_GLFinish();
// Bytes of vertex and index data sent to OpenGL so far, and the kept stores
// it holds now.
uint64_t DDraw_GLBufferBytes();
size_t DDraw_GLKeptStores();

// A name for a kept store that no other store of the process ever gets.
uint64_t D3D_NewKeptName();
// Lets every back end's copies of a kept store go (its owner is going).
void D3D_ForgetKept(uint64_t name);

// Size in bytes of one vertex of a flexible vertex format (0 when the
// position bits are not XYZ or XYZRHW).
uint32_t D3D_VertexSize(uint32_t fvf);
// The pixel format of a display depth: 5-6-5 at 16 bits, X8R8G8B8 otherwise.
SSurfacePixelFormat D3D_DisplayFormat(uint32_t bits);

// Direct3D's documented start values of render states and texture-stage
// states (ZENABLE assumes a Z-buffer). False for unknown numbers.
bool D3D_DefaultRenderState(uint32_t state, uint32_t* value);
bool D3D_DefaultTextureStageState(uint32_t stage, uint32_t state, uint32_t* value);
// The fixed capability record every back end reports for its devices.
D3DDEVICEDESC7 D3D_StandardDeviceDesc(bool hardware, bool transformAndLight);
// The surfaces of a mip chain, largest first (empty when one cannot be had).
std::vector<CSoftSurface*> D3D_MakeMipChain(uint32_t width, uint32_t height, uint32_t levels,
                                            const SSurfacePixelFormat& format);
// The devices every driver offers: software emulation, hardware, hardware
// with transform and lighting (one renderer stands behind all three).
std::vector<SD3DDeviceRecord> D3D_StandardDevices();
