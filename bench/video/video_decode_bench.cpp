// Video decoding into a 640 x 480 surface, against the ffmpeg command-line
// tool decoding the same file to nothing, in the same run. The clip is the
// build's testmedia/bench640.bik (ten seconds of 640 x 480 at 25 frames a
// second). Compare the two items_per_second figures (frames a second).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "e3d/Video.h"
#include "platform/d3d/Recorder.h"
#include "platform/sys/Path.h"
#include "platform/video/Video.h"

namespace {
std::string Clip() {
    const char* build = std::getenv("TESSARAK_BUILD");
    return std::string(build ? build : ".") + "/testmedia/bench640.bik";
}

// Every call is a second later: each frame is due at once.
int64_t g_now = 0;
int64_t Later() {
    return g_now += 1193182;
}

void BM_DecodeIntoSurface(benchmark::State& state) {
    CD3DRecorder recorder;
    DDraw_SetFactory(&recorder);
    CVideoStream::SetClock(&Later);
    {
        CE3DScreen screen(nullptr, nullptr);
        CE3DSurface target(&screen);
        target.Create(640, 480, true, SSurfacePixelFormat::Xrgb8888());
        std::string clip = Sys_ToWindowsPath(Clip().c_str());
        int64_t frames = 0;
        for (auto _ : state) {
            CE3DVideo video(&screen);
            if (!video.OpenFile(clip.c_str(), false, false)) {
                state.SkipWithError("no clip (build the testmedia target)");
                break;
            }
            video.SetTarget(&target);
            video.Play();
            ++frames;
            while (video.m_playing) {
                video.DecodeFrame();
                ++frames;
            }
        }
        state.SetItemsProcessed(frames);
    }
    CVideoStream::SetClock(nullptr);
    DDraw_SetFactory(nullptr);
}
BENCHMARK(BM_DecodeIntoSurface)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);

void BM_FFmpegToNull(benchmark::State& state) {
    std::string command = "ffmpeg -v error -nostdin -i '" + Clip() + "' -f null - 2>/dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    state.SetItemsProcessed(state.iterations() * 250);
}
BENCHMARK(BM_FFmpegToNull)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
}  // namespace
