// The sound output as the player sets it in Sound.cfg: the game starts on
// OpenAL Soft's wave-file writer, plays a looping tone, quits, and the file
// the writer made has the channels and the sample size asked for, with the
// tone in its samples.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "tests/support/GameRun.h"
#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/TempDir.h"
#include "tools/lib/WaveWriter.h"

TEST(SoundOutput, ChannelsAndBitsOfSoundCfgShapeTheOutput) {
    struct SCase {
        int channels, bits;
    } cases[] = {{1, 8}, {1, 16}, {2, 8}, {4, 16}};
    for (const SCase& c : cases) {
        const std::string name = std::to_string(c.channels) + "x" + std::to_string(c.bits);
        CTempDir dir;
        if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
        ASSERT_TRUE(dir.Write("Tessarak/Scripts/Config/Sound.cfg",
                              "se_OutChannels(" + std::to_string(c.channels) + ");\nse_Bits(" +
                                  std::to_string(c.bits) + ");\n"));
        ASSERT_TRUE(
            dir.Write("Tessarak/Units/Sounds/tone.wav", Wave_Build(Wave_Sine(440, 22050, 22050), 1, 22050)));
        ASSERT_TRUE(dir.Write("Tessarak/Scripts/Autoexec.cfg", "se_PlayLooping(\"tone.wav\", 1);\n"));
        const std::string wave = dir.File("mix.wav");
        ASSERT_TRUE(dir.Write("alsoft.conf", "[wave]\nfile = " + wave + "\n"));
        CTestProcess game;
        ASSERT_TRUE(Test_StartGame(game, dir,
                                   {{"ALSOFT_DRIVERS", "wave"}, {"ALSOFT_CONF", dir.File("alsoft.conf")}}));
        ASSERT_TRUE(game.WaitForLine("...SoundEngine_OpenDriver() : ", 30.0, true)) << game.Output();
        // Half a second of the tone (the mixer runs in real time).
        auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (Sound_WrittenFrames(wave) < 44100 && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        game.Write("Quit();\n");
        ASSERT_EQ(game.Wait(30), 0) << game.Output();

        SCapturedSound out;
        ASSERT_TRUE(Sound_ReadWave(wave, out)) << name;
        EXPECT_EQ(out.channels, c.channels) << name;
        EXPECT_EQ(out.bits, c.bits) << name;
        EXPECT_FALSE(out.floats) << name;
        EXPECT_EQ(out.rate, 44100) << name;
        size_t start = Sound_FirstAbove(out.left, 0.05f);
        ASSERT_LT(start + 8000, out.Frames()) << name << "\n" << game.Output();
        for (const std::vector<float>* ch : {&out.left, &out.right}) {
            EXPECT_NEAR(Sound_Frequency(*ch, out.rate, start + 100, start + 8000), 440.0, 8.0) << name;
            EXPECT_GT(Sound_Rms(*ch, start + 100, start + 8000), 0.1) << name;
        }
    }
}

// A machine without a sound card: the sound libraries' own error lines stay
// off the terminal (dbg_LibraryLog shows them), the game says once in its
// own words that it plays without sound, and goes on.
TEST(SoundOutput, NoSoundCardIsSaidOnceInTheGamesWords) {
    CTempDir dir;
    if (!Test_CopyInstallation(dir)) FAIL() << "the game program is not built";
    // ALSA's default device names a card that no machine has.
    ASSERT_TRUE(dir.Write("asound.conf", "pcm.!default { type hw card \"NoSuchCard\" }\n"));
    CTestProcess game;
    ASSERT_TRUE(Test_StartGame(game, dir,
                               {{"ALSOFT_DRIVERS", "alsa"}, {"ALSA_CONFIG_PATH", dir.File("asound.conf")}}));
    ASSERT_TRUE(game.WaitForLine("Tessarak is ready.", 30.0)) << game.Output();
    game.Write("dbg_LibraryLog(); echo(\"listed\");\n");
    ASSERT_TRUE(game.WaitForLine("listed", 10.0)) << game.Output();
    const std::string out = game.Output();
    const std::string said = "; the game goes on without sound";
    EXPECT_TRUE(game.HasLine("...SoundEngine_OpenDriver() : cannot open sound device ", true)) << out;
    ASSERT_NE(out.find(said), std::string::npos) << out;
    EXPECT_EQ(out.find(said, out.find(said) + 1), std::string::npos) << out;
    // Only through dbg_LibraryLog, in its own words.
    EXPECT_EQ(out.find("ALSA lib"), std::string::npos) << out;
    EXPECT_EQ(out.find("AL lib"), std::string::npos) << out;
    EXPECT_TRUE(game.HasLine("ALSA: confmisc.c", true)) << out;
    game.Write("Quit();\n");
    EXPECT_EQ(game.Wait(30), 0) << game.Output();
}
