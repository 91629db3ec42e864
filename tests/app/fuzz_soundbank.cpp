// Fuzz target: sound bank records. No count or size is believed beyond the
// file; every sample a bank keeps holds whole frames of its stored format.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/SoundEngine.h"
#include "core/VFSFile.h"
#include "platform/sys/Path.h"
#include "tests/support/MemFile.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SMemFile file("bank");
    file.Set(data, size);
    std::string path = Sys_ToWindowsPath(file.path.c_str());
    SoundEngine engine(nullptr);
    CVFSFile f;
    if (!f.Open(path.c_str(), CVFSFile::kModeRead)) std::abort();
    SoundBank bank;
    bank.Load(f, &engine);
    Check(bank.m_count >= 0 && (size_t)bank.m_count * (255 + 31) <= size);
    uint64_t bytes = 0;
    for (int i = 0; i < bank.m_count; ++i) {
        SoundSample* s = bank.m_samples[i];
        bytes += s->m_convertedSize;
        if (!s->m_enabled) continue;
        Check(s->m_convertedSize > 0 && s->m_convertedSize % s->m_format.blockAlign == 0);
        Check(s->m_pan >= 0 && s->m_pan <= 127);
    }
    Check(bytes <= size);
    bank.Free();
    f.Close();
    return 0;
}
