// The mixer's CPU share: the process's CPU time over wall time while the
// sound engine plays N looping voices (0 and the 55 channels of the default
// table) on OpenAL Soft's null device, which mixes as a speaker would but
// throws the result away. The figure is the counter cpu_percent.
#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "app/SoundEngine.h"
#include "core/VFSFile.h"
#include "platform/sound/Sound.h"
#include "platform/sys/Path.h"
#include "tools/lib/WaveWriter.h"

namespace {
double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return (double)t.tv_sec + (double)t.tv_nsec * 1e-9;
}

void BM_MixerCpuShare(benchmark::State& state) {
    setenv("ALSOFT_DRIVERS", "null", 1);
    const int voices = (int)state.range(0);
    SoundEngine engine(nullptr);
    if (!SoundEngine_Initialize(&engine, nullptr, nullptr)) {
        state.SkipWithError("no sound device");
        return;
    }
    // One second of a different tone on each voice, 22050 Hz mono, looping:
    // every voice is resampled to the mix rate and panned.
    std::string dir = "/tmp/tessarak-mixer-bench";
    std::system(("mkdir -p " + dir).c_str());
    std::vector<SoundSample*> samples;
    for (int i = 0; i < voices; ++i) {
        std::string path = dir + "/v" + std::to_string(i) + ".wav";
        std::string wav = Wave_Build(Wave_Sine(200 + 17 * i, 22050, 22050), 1, 22050);
        CVFSFile f(Sys_ToWindowsPath(path.c_str()).c_str(), CVFSFile::kModeWrite);
        f.Write(wav.data(), (uint32_t)wav.size());
        f.Close();
        SoundSample* s = new SoundSample(&engine);
        s->Prepare(Sys_ToWindowsPath(path.c_str()).c_str());
        s->m_pan = (i * 127) / std::max(1, voices - 1);
        s->m_looping = 1;
        SoundEngine_Play(&engine, s, true, kSoundCategoryEffects);
        samples.push_back(s);
    }
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        double c0 = CpuSeconds();
        auto w0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        cpu += CpuSeconds() - c0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
    }
    int playing = 0;
    for (int i = 0; i < engine.ChannelCount(); ++i)
        if (engine.Channel(i)->voice->Status() == CSoundVoice::kPlaying) ++playing;
    state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0;
    state.counters["voices_playing"] = playing;
}
BENCHMARK(BM_MixerCpuShare)->Arg(0)->Arg(55)->Iterations(6)->Unit(benchmark::kMillisecond)->UseRealTime();
}  // namespace
