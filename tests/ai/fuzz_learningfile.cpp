// Fuzz target: a learning file's text as the computer players read it, as
// each kind of file (two numbers to an entry, one). Nothing is refused: the
// entries hold finite numbers of at most +-1,000,000, every key search
// gives such numbers, and writing the entries again gives a file that reads
// the same. Every
// parameter then takes its entry (a whole number for an int) and re-rolls to
// a value from default - spread to default + spread.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ai/ComputerPlayer.h"
#include "ai/LearningFiles.h"
#include "core/Random.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    for (int numbers = 1; numbers <= 2; ++numbers) {
        CAIFile file;
        const bool read = file.Parse(text, numbers);
        if (read == file.Entries().empty()) std::abort();
        if (!read) continue;
        // (A heading line, as the writers put: a key that begins like a
        // UTF-8 mark is then no mark.)
        std::string written = "// written again\n";
        for (const CAIFile::SEntry& e : file.Entries()) {
            for (int i = 0; i < numbers; ++i)
                if (!(e.numbers[i] == e.numbers[i]) || e.numbers[i] > CAIFile::kLimit ||
                    e.numbers[i] < -CAIFile::kLimit)
                    std::abort();
            float found[2] = {0.0f, 0.0f};
            if (file.FindNumbers(e.key.c_str(), &found[0], &found[1], numbers == 1))
                for (float f : found)
                    if (!(f == f) || f > CAIFile::kLimit || f < -CAIFile::kLimit) std::abort();
            written += AIFile_Line(e.key, e.numbers, numbers);
        }
        // What the writer makes of the entries reads back to the same numbers
        // (the writer keeps six digits).
        CAIFile again;
        if (!again.Parse(written, numbers) || again.Entries().size() != file.Entries().size()) std::abort();
        for (size_t i = 0; i < file.Entries().size(); ++i)
            for (int n = 0; n < numbers; ++n) {
                const float a = file.Entries()[i].numbers[n], b = again.Entries()[i].numbers[n];
                const float tolerance = (a < 0.0f ? -a : a) * 1e-5f + 1e-5f;
                if (a - b > tolerance || b - a > tolerance) std::abort();
            }
        if (numbers != 2) continue;
        CRandomStream random(7);
        for (SAIParameter p : AIParameter_Defaults()) {
            if (!AIParameter_Read(file, p)) continue;
            AIParameter_Reroll(p, random);
            if (!(p.value == p.value) || p.def > CAIFile::kLimit || p.def < -CAIFile::kLimit) std::abort();
            if (p.kind == SAIParameter::kBool) {
                if (p.value != 0.0f && p.value != 1.0f) std::abort();
                continue;
            }
            const float spread = p.spread > 0.0f ? p.spread : 0.0f;
            if (p.value < p.def - spread || p.value > p.def + spread) std::abort();
            if (p.kind == SAIParameter::kInt && p.value != static_cast<float>(static_cast<int32_t>(p.value)))
                std::abort();
        }
    }
    return 0;
}
