// Fuzz target: a learning file's text as the computer players read it. Every
// parameter takes its entry (a default and a spread of at most +-1,000,000,
// a whole number for an int) and re-rolls to a value from default - spread
// to default + spread; the template lines read as numbers as well.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ai/ComputerPlayer.h"
#include "ai/LearningFiles.h"
#include "core/Random.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CAIFile file;
    file.SetText(std::string(reinterpret_cast<const char*>(data), size));
    CRandomStream random(7);
    for (SAIParameter p : AIParameter_Defaults()) {
        if (!AIParameter_Read(file, p)) continue;
        AIParameter_Reroll(p, random);
        if (!(p.value == p.value) || p.def > 1000000.0f || p.def < -1000000.0f) std::abort();
        if (p.kind == SAIParameter::kBool) {
            if (p.value != 0.0f && p.value != 1.0f) std::abort();
            continue;
        }
        const float spread = p.spread > 0.0f ? p.spread : 0.0f;
        if (p.value < p.def - spread || p.value > p.def + spread) std::abort();
        if (p.kind == SAIParameter::kInt && p.value != static_cast<float>(static_cast<int32_t>(p.value)))
            std::abort();
    }
    float wins = 0.0f, matches = 0.0f;
    if (file.FindNumbers("Granite_LightTank", &wins, &matches) && !(wins == wins && matches == matches))
        std::abort();
    return 0;
}
