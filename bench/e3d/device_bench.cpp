// The device's speed: state changes through the cache, and 10,000 lit,
// textured triangles drawn from memory against the same triangles drawn by a
// minimal raw OpenGL loop in the same context. Run under Xvfb (or with
// SDL_VIDEODRIVER=offscreen) with LIBGL_ALWAYS_SOFTWARE=1.
//
// The drawing cases are timed by the wall clock: the software renderer does
// most of its work on threads of its own, which the main thread's CPU time
// leaves out. Each drawing case starts from a freshly activated device, so
// states an earlier case left (depth writes off, say) do not change the work.
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <vector>

#include "e3d/E3D.h"
#include "e3d/Surface.h"

namespace {

constexpr int kSize = 256;
constexpr int kTriangles = 10000;

struct SVertex {  // XYZ | NORMAL | TEX1
    float x, y, z, nx, ny, nz, u, v;
};

struct SWorld {
    CE3DEngine* engine = nullptr;
    CE3DScreen* screen = nullptr;
    CSoftSurface* texture = nullptr;
    std::vector<SVertex> triangles;
    bool ok = false;

    SWorld() {
        engine = new CE3DEngine;
        if (engine->m_driverCount < 1) return;
        screen = new CE3DScreen(engine, engine->m_drivers[0]);
        if (!screen->SetWindowedMode(engine->m_drivers[0], nullptr, kSize, kSize, true)) return;
        SDDSurfaceDesc td;
        td.flags = kDescCaps | kDescWidth | kDescHeight | kDescPixelFormat;
        td.width = td.height = 64;
        td.pixelFormat = SSurfacePixelFormat::Xrgb8888();
        td.caps = DDSCAPS_TEXTURE;
        if (screen->m_ddraw->CreateSurface(td, &texture)) return;
        SDDSurfaceDesc lock;
        texture->Lock(&lock);
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) {
                uint32_t c = ((x ^ y) & 8) ? 0xffc08040u : 0xff4080c0u;
                memcpy(static_cast<uint8_t*>(lock.surface) + y * lock.pitch + x * 4, &c, 4);
            }
        texture->Unlock();
        // Small triangles scattered over the view at depth 5 to 9, facing the
        // viewer, clockwise on screen.
        uint32_t seed = 12345;
        auto rnd = [&]() {
            seed = seed * 1103515245u + 12345u;
            return float((seed >> 8) & 0xffff) / 65535.0f;
        };
        for (int i = 0; i < kTriangles; ++i) {
            float cx = rnd() * 8.0f - 4.0f, cy = rnd() * 8.0f - 4.0f, cz = 5.0f + rnd() * 4.0f;
            float s = 0.15f;
            triangles.push_back({cx - s, cy - s, cz, 0, 0, -1, 0, 1});
            triangles.push_back({cx, cy + s, cz, 0, 0, -1, 0.5f, 0});
            triangles.push_back({cx + s, cy - s, cz, 0, 0, -1, 1, 1});
        }
        ok = true;
    }
};

// Page faults of the whole process so far (the renderer's threads included).
long MinorFaults() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_minflt;
}

SWorld& World() {
    static SWorld w;
    return w;
}

D3DMATRIX Perspective() {
    D3DMATRIX m;
    memset(&m, 0, sizeof m);
    float q = 100.0f / 99.0f;
    m.m[0][0] = m.m[1][1] = 1.0f;
    m.m[2][2] = q;
    m.m[2][3] = 1.0f;
    m.m[3][2] = -q;
    return m;
}

void BM_StateChangeThroughCache(benchmark::State& state) {
    SWorld& w = World();
    if (!w.ok) return state.SkipWithError("no OpenGL display");
    CE3DDevice* d = w.screen->m_currentDevice;
    bool changing = state.range(0) != 0;
    uint32_t v = 0;
    for (auto _ : state) {
        // Eight states per round; with changing values every call reaches the
        // device, otherwise the cache answers.
        if (changing) v ^= 1;
        d->SetRenderState(D3DRENDERSTATE_ALPHABLENDENABLE, v);
        d->SetRenderState(D3DRENDERSTATE_ZWRITEENABLE, v);
        d->SetRenderState(D3DRENDERSTATE_FOGENABLE, v);
        d->SetRenderState(D3DRENDERSTATE_SPECULARENABLE, v);
        d->SetRenderState(D3DRENDERSTATE_ALPHATESTENABLE, v);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1 + v);
        d->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE + v);
        d->SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTFG_POINT + v);
    }
    state.SetItemsProcessed(state.iterations() * 8);
}
BENCHMARK(BM_StateChangeThroughCache)->Arg(1)->Arg(0);

// The device set up for the lit, textured triangles: a freshly activated
// device, so that states an earlier case left do not change the work.
bool SetUpDevice(SWorld& w) {
    CE3DDevice* device = w.screen->m_currentDevice;
    if (!device->Activate(device)) return false;
    ID3DDevice* d = device->m_device;
    d->SetViewport(D3DVIEWPORT7{0, 0, kSize, kSize, 0.0f, 1.0f});
    d->SetTransform(D3DTRANSFORMSTATE_PROJECTION, Perspective());
    D3DMATERIAL7 mat{};
    mat.diffuse = {1, 1, 1, 1};
    mat.ambient = {1, 1, 1, 1};
    d->SetMaterial(mat);
    D3DLIGHT7 light{};
    light.dltType = D3DLIGHT_DIRECTIONAL;
    light.dcvDiffuse = {1, 1, 1, 1};
    light.dvDirection = {0.3f, -0.3f, 1.0f};
    d->SetLight(0, light);
    d->LightEnable(0, true);
    d->SetRenderState(D3DRENDERSTATE_AMBIENT, 0x202020);
    d->SetTexture(0, w.texture);
    return true;
}

void DeviceFrame(SWorld& w) {
    ID3DDevice* d = w.screen->m_currentDevice->m_device;
    d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
    d->BeginScene();
    d->DrawPrimitive(D3DPT_TRIANGLELIST, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1, w.triangles.data(),
                     uint32_t(w.triangles.size()), 0);
    d->EndScene();
    glFinish();
}

// The same work written straight in GL: one program with the same lighting
// and texturing, the vertices uploaded from memory each frame.
const char* kRawVS = R"(#version 330 core
layout(location = 0) in vec3 aPos; layout(location = 1) in vec3 aNormal; layout(location = 2) in vec2 aTex;
uniform mat4 uProj; uniform vec3 uLightDir; out vec4 vColor; out vec2 vTex;
void main() {
  vec4 c = uProj * vec4(aPos, 1.0);
  c.z = c.z * 2.0 - c.w; c.y = -c.y;
  gl_Position = c;
  float nl = max(dot(aNormal, -normalize(uLightDir)), 0.0);
  vColor = vec4(clamp(vec3(0.125) + vec3(nl), 0.0, 1.0), 1.0);
  vTex = aTex;
})";
const char* kRawFS = R"(#version 330 core
in vec4 vColor; in vec2 vTex; uniform sampler2D uTex; out vec4 fragColor;
void main() { fragColor = texture(uTex, vTex) * vColor; })";

struct SRawGL {
    GLuint prog = 0, fbo = 0, color = 0, depth = 0, tex = 0, vao = 0, vbo = 0;
    size_t bytes = 0;
    explicit SRawGL(SWorld& w) {
        auto compile = [](GLenum t, const char* s) {
            GLuint sh = glCreateShader(t);
            glShaderSource(sh, 1, &s, nullptr);
            glCompileShader(sh);
            return sh;
        };
        prog = glCreateProgram();
        glAttachShader(prog, compile(GL_VERTEX_SHADER, kRawVS));
        glAttachShader(prog, compile(GL_FRAGMENT_SHADER, kRawFS));
        glLinkProgram(prog);
        glGenFramebuffers(1, &fbo);
        glGenTextures(1, &color);
        glBindTexture(GL_TEXTURE_2D, color);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSize, kSize, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glGenRenderbuffers(1, &depth);
        glBindRenderbuffer(GL_RENDERBUFFER, depth);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, kSize, kSize);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, color, 0);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
        std::vector<uint8_t> rgba(64 * 64 * 4, 0x80);
        glGenTextures(1, &tex);
        glBindTexture(GL_TEXTURE_2D, tex);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 64, 64, 0, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glGenVertexArrays(1, &vao);
        glGenBuffers(1, &vbo);
        glUseProgram(prog);
        D3DMATRIX proj = Perspective();
        glUniformMatrix4fv(glGetUniformLocation(prog, "uProj"), 1, GL_FALSE, &proj.m[0][0]);
        glUniform3f(glGetUniformLocation(prog, "uLightDir"), 0.3f, -0.3f, 1.0f);
        bytes = w.triangles.size() * sizeof(SVertex);
    }
    ~SRawGL() {
        glDeleteVertexArrays(1, &vao);
        glDeleteBuffers(1, &vbo);
        glDeleteFramebuffers(1, &fbo);
        glDeleteTextures(1, &color);
        glDeleteTextures(1, &tex);
        glDeleteRenderbuffers(1, &depth);
        glDeleteProgram(prog);
    }
    // Every state the frame needs is set in it, so it can run between frames
    // of the device (which sets its own in every draw).
    void Frame(SWorld& w) {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glUseProgram(prog);
        glActiveTexture(GL_TEXTURE0);
        glBindTexture(GL_TEXTURE_2D, tex);
        glBindVertexArray(vao);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        for (GLuint a = 0; a < 7; ++a) glDisableVertexAttribArray(a);
        glEnableVertexAttribArray(0);
        glEnableVertexAttribArray(1);
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(SVertex), nullptr);
        glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(SVertex), reinterpret_cast<void*>(12));
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(SVertex), reinterpret_cast<void*>(24));
        glViewport(0, 0, kSize, kSize);
        glDisable(GL_SCISSOR_TEST);
        glEnable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDepthMask(GL_TRUE);
        glEnable(GL_CULL_FACE);
        glDisable(GL_BLEND);
        glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
        glClearColor(0, 0, 0, 0);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes), w.triangles.data(), GL_STREAM_DRAW);
        glDrawArrays(GL_TRIANGLES, 0, GLsizei(w.triangles.size()));
        glFinish();
    }
};

void BM_LitTexturedTrianglesDevice(benchmark::State& state) {
    SWorld& w = World();
    if (!w.ok) return state.SkipWithError("no OpenGL display");
    if (!SetUpDevice(w)) return state.SkipWithError("the device cannot be activated");
    const long faults = MinorFaults();
    for (auto _ : state) DeviceFrame(w);
    state.counters["faults/frame"] = double(MinorFaults() - faults) / double(state.iterations());
    w.screen->m_currentDevice->m_device->SetTexture(0, nullptr);
    state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_LitTexturedTrianglesDevice)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_LitTexturedTrianglesRawGL(benchmark::State& state) {
    SWorld& w = World();
    if (!w.ok) return state.SkipWithError("no OpenGL display");
    SRawGL raw(w);
    const long faults = MinorFaults();
    for (auto _ : state) raw.Frame(w);
    state.counters["faults/frame"] = double(MinorFaults() - faults) / double(state.iterations());
    state.SetItemsProcessed(state.iterations() * kTriangles);
}
BENCHMARK(BM_LitTexturedTrianglesRawGL)->Unit(benchmark::kMillisecond)->UseRealTime();

// The two frames taken in turns, each timed by the wall clock: on a machine
// others are using, both see the same load, so their ratio holds from run to
// run where separate cases drift apart. "ratio" is the raw loop's time over
// the device's (1.0: as fast as hand-written GL).
void BM_DeviceAgainstRawGLInTurns(benchmark::State& state) {
    SWorld& w = World();
    if (!w.ok) return state.SkipWithError("no OpenGL display");
    SRawGL raw(w);
    if (!SetUpDevice(w)) return state.SkipWithError("the device cannot be activated");
    double deviceSeconds = 0.0, rawSeconds = 0.0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        DeviceFrame(w);
        auto t1 = std::chrono::steady_clock::now();
        raw.Frame(w);
        auto t2 = std::chrono::steady_clock::now();
        deviceSeconds += std::chrono::duration<double>(t1 - t0).count();
        rawSeconds += std::chrono::duration<double>(t2 - t1).count();
    }
    const double n = double(state.iterations());
    state.counters["device_ms"] = deviceSeconds / n * 1000.0;
    state.counters["raw_ms"] = rawSeconds / n * 1000.0;
    state.counters["ratio"] = deviceSeconds > 0.0 ? rawSeconds / deviceSeconds : 0.0;
    w.screen->m_currentDevice->m_device->SetTexture(0, nullptr);
}
BENCHMARK(BM_DeviceAgainstRawGLInTurns)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
