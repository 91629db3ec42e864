// The content build's sound effects: what a sounds file says becomes the
// sound described (a shot's crack and ring gone within its length, an
// explosion's roar over its rumble, tones one after another), and a file
// with a mistake names its line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "tests/support/SoundCapture.h"
#include "tools/lib/SoundSource.h"

namespace {

std::vector<float> Floats(const std::vector<int16_t>& s) {
    std::vector<float> out;
    for (int16_t v : s) out.push_back(float(v) / 32768.0f);
    return out;
}

float Peak(const std::vector<float>& s) {
    float peak = 0.0f;
    for (float v : s) peak = std::max(peak, std::fabs(v));
    return peak;
}

size_t Ms(int ms) {
    return size_t(ms) * kSoundSourceRate / 1000;
}

}  // namespace

TEST(SoundSource, EachKindSoundsAsItsSourceSays) {
    std::vector<SSoundRecipe> recipes;
    std::string error;
    ASSERT_TRUE(SoundSource_Parse(R"(
[[sound]]
name = "Shot.wav"
kind = "shot"
length = 300
tone = 1100
noise = 0.5
volume = 80

[[sound]]
name = "Boom.wav"
kind = "explosion"
length = 1200
tone = 90
noise = 0.6

[[sound]]
name = "Ack.wav"
length = 200
tones = [500, 800]
volume = 50
)",
                                  "test.sounds.toml", recipes, error))
        << error;
    ASSERT_EQ(recipes.size(), 3u);

    // The shot: its peak at the volume, at once; its ring stands out; it is
    // nearly gone by the end of its length.
    std::vector<float> shot = Floats(SoundSource_Make(recipes[0]));
    ASSERT_EQ(shot.size(), Ms(300));
    EXPECT_LT(Sound_FirstAbove(shot, 0.5f), Ms(10));
    EXPECT_NEAR(Peak(shot), 0.8f, 0.001f);
    const double ring = Sound_ToneEnergy(shot, kSoundSourceRate, 1100.0, 0, Ms(100));
    EXPECT_GT(ring, 5.0 * Sound_ToneEnergy(shot, kSoundSourceRate, 300.0, 0, Ms(100)));
    EXPECT_LT(Sound_Rms(shot, Ms(250), Ms(300)), 0.1 * Sound_Rms(shot, 0, Ms(50)));

    // The explosion: it swells, then roars on long after a shot would have
    // gone, its rumble far below the ring.
    std::vector<float> boom = Floats(SoundSource_Make(recipes[1]));
    ASSERT_EQ(boom.size(), Ms(1200));
    EXPECT_LT(Sound_Rms(boom, 0, Ms(5)), Sound_Rms(boom, Ms(20), Ms(60)));
    EXPECT_GT(Sound_Rms(boom, Ms(400), Ms(500)), 0.2 * Sound_Rms(boom, Ms(20), Ms(120)));
    EXPECT_GT(Sound_ToneEnergy(boom, kSoundSourceRate, 90.0, 0, Ms(600)),
              5.0 * Sound_ToneEnergy(boom, kSoundSourceRate, 1100.0, 0, Ms(600)));

    // The tones: the first half the one, the second the other.
    std::vector<float> ack = Floats(SoundSource_Make(recipes[2]));
    ASSERT_EQ(ack.size(), Ms(200));
    EXPECT_NEAR(Sound_Frequency(ack, kSoundSourceRate, Ms(10), Ms(90)), 500.0, 15.0);
    EXPECT_NEAR(Sound_Frequency(ack, kSoundSourceRate, Ms(110), Ms(190)), 800.0, 15.0);
    EXPECT_NEAR(Peak(ack), 0.5f, 0.001f);

    // The same source makes the same sound.
    EXPECT_EQ(SoundSource_Make(recipes[1]), SoundSource_Make(recipes[1]));
}

TEST(SoundSource, AMistakeNamesItsLine) {
    struct SCase {
        const char* text;
        const char* says;
    };
    const SCase cases[] = {
        {"[[sound]]\nkind = \"shot\"\n", "test.sounds.toml:1: a sound needs its name"},
        {"[[sound]]\nname = \"a/b.wav\"\n", "plain file name ending in .wav"},
        {"[[sound]]\nname = \"a.mp3\"\n", "plain file name ending in .wav"},
        {"[[sound]]\nname = \"a.wav\"\nkind = \"bang\"\n", "kind is"},
        {"[[sound]]\nname = \"a.wav\"\nlength = 0\n", "length lies outside"},
        {"[[sound]]\nname = \"a.wav\"\ntones = []\n", "tones holds 1 to 64 tones"},
        {"[[sound]]\nname = \"a.wav\"\nnoise = 2\n", "noise lies outside"},
        {"[[sound]]\nname = \"a.wav\"\n\n[[sound]]\nname = \"a.wav\"\n",
         "test.sounds.toml:4: two sounds named a.wav"},
        {"name = \"a.wav\"\n", "no [[sound]]"},
        {"[[sound]\n", "test.sounds.toml:1:"},
    };
    for (const SCase& c : cases) {
        std::vector<SSoundRecipe> recipes;
        std::string error;
        EXPECT_FALSE(SoundSource_Parse(c.text, "test.sounds.toml", recipes, error)) << c.text;
        EXPECT_NE(error.find(c.says), std::string::npos) << c.text << "\n" << error;
        EXPECT_TRUE(recipes.empty());
    }
}
