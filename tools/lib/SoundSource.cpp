#include "tools/lib/SoundSource.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A repeatable noise in [-1, 1) from its own generator.
struct SNoise {
    uint32_t state;
    double Next() {
        state = state * 1664525u + 1013904223u;
        return double((state >> 8) & 0xFFFF) / 32768.0 - 1.0;
    }
};

void Normalise(std::vector<double>& wave, double volume, std::vector<int16_t>& out) {
    double peak = 0.0;
    for (double v : wave) peak = std::max(peak, std::fabs(v));
    const double scale = peak > 0.0 ? volume * 32767.0 / peak : 0.0;
    out.resize(wave.size());
    for (size_t i = 0; i < wave.size(); ++i) out[i] = int16_t(std::lround(wave[i] * scale));
}

struct SParseError {
    std::string text;
};

[[noreturn]] void Fail(const std::string& at, const std::string& what) {
    throw SParseError{at + ": " + what};
}

double Number(const std::string& at, const toml::table& t, const char* key, double fallback, double lo,
              double hi) {
    const toml::node* n = t.get(key);
    if (!n) return fallback;
    auto v = n->value<double>();
    if (!v) Fail(at, std::string(key) + " must be a number");
    if (*v < lo || *v > hi)
        Fail(at, std::string(key) + " lies outside " + std::to_string(lo) + " to " + std::to_string(hi));
    return *v;
}

}  // namespace

std::vector<int16_t> SoundSource_Make(const SSoundRecipe& r) {
    const int frames = std::max(1, int(int64_t(r.lengthMs) * kSoundSourceRate / 1000));
    const double length = double(frames) / kSoundSourceRate;
    std::vector<double> wave(size_t(frames), 0.0);
    SNoise noise{r.seed * 2654435761u + 1u};
    const double tone = r.tones.empty() ? 0.0 : r.tones[0];
    switch (r.kind) {
        case SSoundRecipe::kShot:
            // A crack: full at once (after a millisecond and a half), gone
            // within the length; the ring lasts a little longer than the noise.
            for (int i = 0; i < frames; ++i) {
                const double t = double(i) / kSoundSourceRate;
                const double attack = std::min(1.0, t / 0.0015);
                const double crack = noise.Next() * std::exp(-t / (length / 6.0));
                const double ring = std::sin(2.0 * kPi * tone * t) * std::exp(-t / (length / 3.0));
                wave[size_t(i)] = attack * (r.noise * crack + (1.0 - r.noise) * ring);
            }
            break;
        case SSoundRecipe::kExplosion: {
            // A roar: noise through a low pass (darker than the crack),
            // swelling in 20 ms, fading over the length, over the rumble.
            double low = 0.0;
            const double a = 1.0 - std::exp(-2.0 * kPi * 400.0 / kSoundSourceRate);
            for (int i = 0; i < frames; ++i) {
                const double t = double(i) / kSoundSourceRate;
                low += a * (noise.Next() - low);
                const double envelope = std::min(1.0, t / 0.02) * std::exp(-t / (length / 3.5));
                const double rumble = std::sin(2.0 * kPi * tone * t);
                wave[size_t(i)] = envelope * (r.noise * 4.0 * low + (1.0 - r.noise) * rumble);
            }
            break;
        }
        case SSoundRecipe::kTones: {
            const size_t n = std::max<size_t>(1, r.tones.size());
            const int part = frames / int(n);
            const int fade = std::min(part / 4, kSoundSourceRate * 8 / 1000);
            for (size_t k = 0; k < r.tones.size(); ++k)
                for (int i = 0; i < part; ++i) {
                    const double t = double(i) / kSoundSourceRate;
                    double envelope = 1.0;
                    if (fade > 0) envelope = std::min({1.0, double(i) / fade, double(part - 1 - i) / fade});
                    wave[size_t(int(k) * part + i)] = envelope * std::sin(2.0 * kPi * r.tones[k] * t);
                }
            break;
        }
    }
    std::vector<int16_t> out;
    Normalise(wave, r.volume, out);
    return out;
}

bool SoundSource_Parse(const std::string& text, const std::string& fileName, std::vector<SSoundRecipe>& out,
                       std::string& error) {
    out.clear();
    toml::table root;
    try {
        root = toml::parse(text, fileName);
    } catch (const toml::parse_error& e) {
        error = fileName + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
        return false;
    }
    try {
        const toml::array* sounds = root["sound"].as_array();
        if (!sounds) Fail(fileName, "no [[sound]] in the file");
        for (const toml::node& node : *sounds) {
            const toml::table* t = node.as_table();
            const std::string at = fileName + ":" + std::to_string(node.source().begin.line);
            if (!t) Fail(at, "a [[sound]] is a table");
            SSoundRecipe r;
            auto name = (*t)["name"].value<std::string>();
            if (!name || name->empty()) Fail(at, "a sound needs its name");
            // One plain file name, of the form the game loads.
            if (name->find_first_of("/\\:") != std::string::npos || *name == "." || *name == ".." ||
                name->size() < 5 || name->size() > 255 || name->compare(name->size() - 4, 4, ".wav") != 0)
                Fail(at, "a sound's name is a plain file name ending in .wav: " + *name);
            r.name = *name;
            const std::string kind = (*t)["kind"].value_or(std::string("tones"));
            if (kind == "shot")
                r.kind = SSoundRecipe::kShot;
            else if (kind == "explosion")
                r.kind = SSoundRecipe::kExplosion;
            else if (kind == "tones")
                r.kind = SSoundRecipe::kTones;
            else
                Fail(at, "kind is \"shot\", \"explosion\" or \"tones\": " + kind);
            r.lengthMs = int(Number(at, *t, "length", 200.0, 10.0, 10000.0));
            if (const toml::array* tones = (*t)["tones"].as_array()) {
                for (const toml::node& v : *tones) {
                    auto hz = v.value<double>();
                    if (!hz || *hz < 20.0 || *hz > 10000.0) Fail(at, "tones are numbers from 20 to 10000 Hz");
                    r.tones.push_back(*hz);
                }
                if (r.tones.empty() || r.tones.size() > 64) Fail(at, "tones holds 1 to 64 tones");
            } else {
                r.tones.push_back(Number(at, *t, "tone", 440.0, 20.0, 10000.0));
            }
            r.noise = Number(at, *t, "noise", 0.5, 0.0, 1.0);
            r.volume = Number(at, *t, "volume", 80.0, 1.0, 100.0) / 100.0;
            r.seed = uint32_t(Number(at, *t, "seed", 1.0, 0.0, 4294967295.0));
            for (const SSoundRecipe& other : out)
                if (other.name == r.name) Fail(at, "two sounds named " + r.name);
            out.push_back(std::move(r));
        }
    } catch (const SParseError& e) {
        error = e.text;
        out.clear();
        return false;
    }
    return true;
}
