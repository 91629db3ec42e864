// The content build's sound effects: a "<name>.sounds.toml" file describes
// sounds made from a few numbers (content/README.md), each of which becomes
// a WAV file beside it in the installation: weapon shots, explosions by size,
// the units' acknowledgements and the announcer's event sounds. Nothing
// recorded is kept in the tree.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One sound as its source describes it.
struct SSoundRecipe {
    enum EKind { kShot, kExplosion, kTones };
    std::string name;  // the file it becomes ("X.wav")
    EKind kind = kTones;
    int lengthMs = 200;         // the whole sound
    std::vector<double> tones;  // Hz: the shot's ring, the explosion's rumble, or the tones one after another
    double noise = 0.5;         // share of noise (shots and explosions), 0 to 1
    double volume = 0.8;        // peak, share of full scale
    uint32_t seed = 1;
};

// The rate and form of every made sound: mono, 16 bits.
constexpr int kSoundSourceRate = 22050;

// The samples of a recipe: a shot is a sharp crack of noise with its ring,
// falling away within the length; an explosion a swelling roar of darker
// noise over its rumble, fading over the length; tones are sine tones one
// after another (each an equal part of the length), each faded in and out.
std::vector<int16_t> SoundSource_Make(const SSoundRecipe& recipe);

// The recipes of a sounds file's text; false with the file and line of the
// first mistake in error.
bool SoundSource_Parse(const std::string& text, const std::string& fileName, std::vector<SSoundRecipe>& out,
                       std::string& error);
