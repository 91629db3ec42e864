// Fuzz target: the WAV chunk walk and the sample loader behind it. Whatever
// the chunks claim, the reported data lies inside the file, and a sample that
// loads holds whole frames of a format the mixer plays.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/SoundEngine.h"
#include "app/WaveFile.h"
#include "platform/sys/Path.h"
#include "tests/support/MemFile.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SMemFile file("wave");
    SWaveInfo info;
    bool wave = Wave_ReadChunks(data, size, info);
    if (info.hasData) Check(info.dataOffset + info.dataSize <= size);
    if (!wave) Check(!info.hasFormat && !info.hasData && !info.hasLoop);
    // Packed formats go to the decoder library; the walk is what is fuzzed
    // here, so only plain PCM goes on to the loader.
    if (!wave || !info.hasFormat || !Wave_IsPlainPCM(info.format)) return 0;
    file.Set(data, size);
    std::string path = Sys_ToWindowsPath(file.path.c_str());
    SoundEngine engine(nullptr);
    for (int quality : {1, 4}) {
        engine.m_quality = quality;
        SoundSample* s = new SoundSample(&engine);
        s->Prepare(path.c_str());
        if (s->Prepare(nullptr)) {
            const SWaveFormat& f = s->m_convertedFormat;
            Check(f.blockAlign == f.channels * f.bitsPerSample / 8 && f.blockAlign > 0);
            Check(s->m_convertedSize % f.blockAlign == 0 && s->m_decodedSize <= size);
        }
        delete s;
    }
    return 0;
}
