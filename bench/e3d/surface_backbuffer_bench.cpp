// The back buffer shared with the 3D device at 1024 x 768: per frame a 3D
// clear, the lock that reads the 3D image back, a little software drawing,
// and the present that uploads what software drew and shows it; then a
// 3D-only frame for comparison. The counters give the read-back (lock after
// 3D drawing) and the presents (with and without the upload) in milliseconds. Run under Xvfb:
//   LIBGL_ALWAYS_SOFTWARE=1 xvfb-run -a -s "-screen 0 1280x1024x24" surface_backbuffer_bench
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

#include "e3d/E3D.h"
#include "e3d/Surface.h"
#include "platform/display/Display.h"

namespace {

constexpr int kW = 1024, kH = 768;

double Ms(std::chrono::steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void BackBufferFrame(benchmark::State& state) {
    std::unique_ptr<CDisplayWindow> window(CDisplayWindow::Create("Tessarak", kW, kH));
    if (!window || !window->HasGL()) {
        state.SkipWithError("no OpenGL display");
        return;
    }
    auto engine = std::make_unique<CE3DEngine>();
    CE3DScreen* screen = engine->m_driverCount ? new CE3DScreen(engine.get(), engine->m_drivers[0]) : nullptr;
    if (!screen || !screen->SetWindowedMode(engine->m_drivers[0], window.get(), kW, kH, true)) {
        state.SkipWithError("no windowed mode");
        return;
    }
    ID3DDevice* d = screen->m_currentDevice->m_device;
    d->SetViewport(D3DVIEWPORT7{0, 0, kW, kH, 0.0f, 1.0f});
    CE3DSurface* back = screen->m_backBuffer;
    double readBack = 0, present = 0, presentPlain = 0;
    uint32_t colour = 0x102030;
    for (auto _ : state) {
        // A frame with software drawing: read back, then upload at present.
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour++, 1.0f, 0);
        const auto t0 = std::chrono::steady_clock::now();
        back->Lock();
        const auto t1 = std::chrono::steady_clock::now();
        back->DrawFilledRect(10, 10, 200, 40, 255, 255, 255);
        back->Unlock();
        const auto t2 = std::chrono::steady_clock::now();
        screen->Present();
        const auto t3 = std::chrono::steady_clock::now();
        // A 3D-only frame: nothing to read back or upload.
        d->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, colour++, 1.0f, 0);
        const auto t4 = std::chrono::steady_clock::now();
        screen->Present();
        const auto t5 = std::chrono::steady_clock::now();
        readBack += Ms(t1 - t0);
        present += Ms(t3 - t2);
        presentPlain += Ms(t5 - t4);
    }
    const double n = double(state.iterations());
    state.counters["readback_ms"] = readBack / n;
    state.counters["present_ms"] = present / n;
    state.counters["present_3d_only_ms"] = presentPlain / n;
    engine.reset();
}
BENCHMARK(BackBufferFrame)->Unit(benchmark::kMillisecond)->Iterations(60);

}  // namespace
