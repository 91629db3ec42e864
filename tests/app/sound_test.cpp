// The sound engine, heard: OpenAL Soft writes the mix into a WAV file that the
// tests read back (tests/support/SoundCapture). The mixer runs in real time,
// so each test that listens plays a fraction of a second.
#include "platform/sound/Sound.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Game.h"
#include "app/GameRoles.h"
#include "app/SoundEngine.h"
#include "core/VFSFile.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "e3d/Video.h"
#include "platform/d3d/Recorder.h"
#include "platform/sys/Path.h"
#include "platform/video/Video.h"
#include "tests/support/SoundCapture.h"
#include "tests/support/TempDir.h"
#include "tools/lib/SoundBankWriter.h"
#include "tools/lib/WaveWriter.h"

namespace {
// Before anything opens a sound device.
struct SInstall {
    SInstall() { CSoundCapture::Install(); }
} s_install;

std::string Media(const char* name) {
    const char* build = std::getenv("TESSARAK_BUILD");
    return Sys_ToWindowsPath((std::string(build ? build : ".") + "/testmedia/" + name).c_str());
}

uint64_t g_counter = 0;
uint64_t TestCounter() {
    return g_counter;
}

class SoundTest : public ::testing::Test {
protected:
    static void Log(const char* text, void* context) {
        static_cast<SoundTest*>(context)->log.push_back(text);
    }
    bool Logged(const std::string& line) const {
        for (const std::string& l : log)
            if (l == line) return true;
        return false;
    }
    void Open(int channels = -1) {
        engine.reset(new SoundEngine(nullptr));
        engine->m_mixChannels = channels;
        ASSERT_TRUE(SoundEngine_Initialize(engine.get(), &Log, this));
    }
    // Closes the device and reads what it played.
    SCapturedSound Finish() {
        engine.reset();
        SCapturedSound out;
        EXPECT_TRUE(CSoundCapture::Read(out));
        return out;
    }
    std::string Write(const std::string& name, const std::string& bytes) {
        EXPECT_TRUE(dir.Write(name, bytes));
        return dir.WinFile(name);
    }
    // A sample of the file, loaded (a new sample loads at its second
    // preparation).
    SoundSample* Load(const std::string& path) {
        SoundSample* s = new SoundSample(engine.get());
        s->Prepare(path.c_str());
        EXPECT_TRUE(s->Prepare(nullptr));
        return s;
    }
    int Playing() const {
        int n = 0;
        for (int i = 0; i < engine->ChannelCount(); ++i)
            if (engine->Channel(i)->voice->Status() == CSoundVoice::kPlaying) ++n;
        return n;
    }
    CTempDir dir;
    std::vector<std::string> log;
    std::unique_ptr<SoundEngine> engine;
};
}  // namespace

TEST_F(SoundTest, RateAndPanReachTheSpeakers) {
    struct SCase {
        int channels;
        int rateFactor;
        int pan;
        double hz;
        bool left, right;
    } cases[] = {{1, 2, 64, 880, true, true},
                 {1, 1, 0, 440, true, false},
                 {1, 1, 127, 440, false, true},
                 {2, 1, 0, 440, true, false},
                 {2, 1, 127, 440, false, true}};
    for (const SCase& c : cases) {
        std::string path = Write("tone" + std::to_string(c.channels) + ".wav",
                                 Wave_Build(Wave_Sine(440, 22050, 22050 / 4, c.channels), c.channels, 22050));
        Open();
        SoundSample* s = Load(path);
        s->m_rate = 22050 * c.rateFactor;
        s->m_pan = c.pan;
        ASSERT_TRUE(SoundEngine_Play(engine.get(), s, false, kSoundCategoryEffects));
        ASSERT_TRUE(CSoundCapture::WaitMixed(0.35));
        SCapturedSound out = Finish();
        ASSERT_GT(out.Frames(), 4000u);
        const std::vector<float>& loud = c.left ? out.left : out.right;
        size_t start = Sound_FirstAbove(loud, 0.02f);
        ASSERT_LT(start + 4000, out.Frames()) << c.channels << "/" << c.pan;
        EXPECT_NEAR(Sound_Frequency(loud, out.rate, start + 100, start + 4000), c.hz, c.hz * 0.02) << c.pan;
        EXPECT_EQ(Sound_Rms(out.left, start, start + 4000) > 0.01, c.left) << c.channels << "/" << c.pan;
        EXPECT_EQ(Sound_Rms(out.right, start, start + 4000) > 0.01, c.right) << c.channels << "/" << c.pan;
    }
}

TEST_F(SoundTest, LoopBlockRepeatsExactlyThatBlock) {
    // A tone, then a block of 441 frames that the sampler chunk loops, then a
    // high tone that a looping play must never reach.
    const int rate = 44100, block = 441;
    std::vector<int16_t> samples = Wave_Sine(300, rate, 2205);
    for (int i = 0; i < block; ++i) samples.push_back((int16_t)(i * 60 - 13000));
    std::vector<int16_t> high = Wave_Sine(5000, rate, 4410);
    samples.insert(samples.end(), high.begin(), high.end());
    SWaveWriterLoop loop{2205, 2205 + block - 1};
    std::string path = Write("loop.wav", Wave_Build(samples, 1, rate, 16, &loop));
    Open();
    ASSERT_TRUE(SoundEngine_LoadSample(engine.get(), path.c_str(), 3));
    ASSERT_TRUE(CSoundCapture::WaitMixed(0.4));
    SCapturedSound out = Finish();
    size_t start = Sound_FirstAbove(out.left, 0.01f);
    ASSERT_LT(start + 12000, out.Frames());
    size_t from = start + 2205 + block, to = std::min(out.Frames(), start + 12000) - block;
    double worst = 0;
    for (size_t i = from; i < to; ++i)
        worst = std::max(worst, (double)std::fabs(out.left[i] - out.left[i + block]));
    EXPECT_LT(worst, 1e-3);
    EXPECT_GT(Sound_Rms(out.left, from, to), 0.05);
    EXPECT_LT(Sound_ToneEnergy(out.left, out.rate, 5000, from, to), 1e-4);
}

TEST_F(SoundTest, ChannelTableGuardAndFullTable) {
    std::string a = Write("a.wav", Wave_Build(Wave_Sine(440, 22050, 22050), 1, 22050));
    std::string b = Write("b.wav", Wave_Build(Wave_Sine(660, 22050, 22050), 1, 22050));
    Open();
    // 64 mixing channels leave 55 to play on.
    EXPECT_EQ(engine->ChannelCount(), 55);
    EXPECT_TRUE(Logged("...SoundEngine_OpenDriver() : " + std::string(engine->m_deviceName.GetText()) +
                       " (64 channels)"));
    engine->m_counter = &TestCounter;
    g_counter = 1000000;
    SoundSample* sa = Load(a);
    SoundSample* sb = Load(b);
    // The same sound twice within a quarter second plays once.
    EXPECT_TRUE(SoundEngine_Play(engine.get(), sa, false, kSoundCategoryEffects));
    g_counter += 1193182 / 5;
    EXPECT_TRUE(SoundEngine_Play(engine.get(), sa, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 1);
    g_counter += 1193182 / 10;
    EXPECT_TRUE(SoundEngine_Play(engine.get(), sa, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 2);
    // Switched-off categories are skipped, and counted as done.
    engine->m_effectsOn = 0;
    EXPECT_TRUE(SoundEngine_Play(engine.get(), sb, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 2);
    engine.reset();

    // Twelve mixing channels leave three; a fourth play finds the table full.
    Open(12);
    engine->m_counter = &TestCounter;
    ASSERT_EQ(engine->ChannelCount(), 3);
    std::vector<SoundSample*> four;
    for (int i = 0; i < 4; ++i) four.push_back(Load(i % 2 ? b : a));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(SoundEngine_Play(engine.get(), four[i], false, 2));
    EXPECT_FALSE(SoundEngine_Play(engine.get(), four[3], false, 2));
    EXPECT_TRUE(Logged("...SoundEngine_Play() : Playtable is full."));
}

// The channel read-out marks a loop told to stop looping, that plays out
// its round, with 'R'; a stopped channel is free again.
TEST_F(SoundTest, TheChannelLineMarksAReleasedLoop) {
    std::string path = Write("loop.wav", Wave_Build(Wave_Sine(440, 22050, 22050), 1, 22050));
    Open(12);
    ASSERT_EQ(engine->ChannelCount(), 3);
    EXPECT_EQ(SoundEngine_ChannelLine(engine.get()), "Channels : --- (0/3)");
    ASSERT_TRUE(SoundEngine_LoadSample(engine.get(), path.c_str(), 7));
    EXPECT_EQ(SoundEngine_ChannelLine(engine.get()), "Channels : P-- (1/3)");
    SoundEngine_StopLooping(engine.get(), 7);
    EXPECT_EQ(SoundEngine_ChannelLine(engine.get()), "Channels : R-- (1/3)");
    SoundEngine_StopChannel(engine.get(), 7);
    EXPECT_NE(SoundEngine_ChannelLine(engine.get()).substr(11, 1), "R");
}

// The mixer's load (the statistics' "SOUND  %d %%"): the share of a
// processor its thread ("alsoft-mixer") took since the last reading (here a
// thread of the test's own, with no device open).
TEST(SoundMixerLoad, TheMixerThreadsShareOfAProcessor) {
    std::atomic<bool> stop{false}, named{false};
    std::thread mixer([&] {
        pthread_setname_np(pthread_self(), "alsoft-mixer");
        named = true;
        volatile uint64_t n = 0;
        while (!stop) ++n;
    });
    while (!named) std::this_thread::yield();
    EXPECT_EQ(CSoundDevice::MixerCpuPercent(), 0);  // the first reading
    // A busy mixer for a fifth of a second of its own processor time.
    const auto began = std::chrono::steady_clock::now();
    timespec cpu{};
    clockid_t clock;
    ASSERT_EQ(pthread_getcpuclockid(mixer.native_handle(), &clock), 0);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        clock_gettime(clock, &cpu);
    } while (cpu.tv_sec == 0 && cpu.tv_nsec < 200000000);
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
    const int load = CSoundDevice::MixerCpuPercent();
    stop = true;
    mixer.join();
    // What it took of the time that passed, within the tick's grain.
    EXPECT_GT(load, 0);
    EXPECT_LE(load, 100);
    EXPECT_NEAR(load, std::min(100.0, 20.0 / wall), 10.0 / wall + 5.0) << wall;
}

TEST_F(SoundTest, RestartKeepsTheLoadedSoundsPlayable) {
    std::string path = Write("r.wav", Wave_Build(Wave_Sine(440, 22050, 22050), 1, 22050));
    Open();
    SoundSample* s = Load(path);
    ASSERT_TRUE(SoundEngine_Play(engine.get(), s, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 1);
    // se_Restart: the device opens again.
    ASSERT_TRUE(SoundEngine_Initialize(engine.get(), &Log, this));
    EXPECT_TRUE(Logged("...SoundEngine_Reinitialize()"));
    s->m_busyUntil = 0;
    ASSERT_TRUE(SoundEngine_Play(engine.get(), s, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 1);
}

TEST_F(SoundTest, SettingsOutOfTheirUsefulRangeAreClamped) {
    // se_Channels of 9 or fewer still leave one channel.
    for (int channels : {0, 1, 9, 10, 11}) {
        Open(channels);
        EXPECT_EQ(engine->ChannelCount(), channels == 11 ? 2 : 1) << channels;
        engine.reset();
    }
    // Qualities 0 and 5 convert as 1 and 4.
    std::string path = Write("q.wav", Wave_Build(Wave_Sine(440, 22050, 2205), 1, 22050));
    struct SCase {
        int quality;
        uint32_t rate;
        uint16_t bits;
        uint8_t inMemory;
    } cases[] = {{0, 11050, 8, 1},  {1, 11050, 8, 1},  {2, 22050, 8, 1},
                 {3, 22050, 16, 1}, {4, 22050, 16, 0}, {5, 22050, 16, 0}};
    Open();
    for (const SCase& c : cases) {
        engine->m_quality = c.quality;
        SoundSample* s = Load(path);
        EXPECT_EQ(s->m_convertedFormat.samplesPerSec, c.rate) << c.quality;
        EXPECT_EQ(s->m_convertedFormat.bitsPerSample, c.bits) << c.quality;
        EXPECT_EQ(s->m_inMemory, c.inMemory) << c.quality;
        EXPECT_EQ(s->m_rate, (int32_t)c.rate) << c.quality;
        EXPECT_NEAR(s->LengthMs(), 100u, 1u) << c.quality;
        delete s;
    }
}

// The lowest quality's 11050 Hz in 8 bits is a rate the mixer takes: the
// tone comes out at its pitch.
TEST_F(SoundTest, TheLowestQualityPlaysInTune) {
    std::string path = Write("low.wav", Wave_Build(Wave_Sine(440, 22050, 22050 / 4), 1, 22050));
    Open();
    engine->m_quality = 1;
    SoundSample* s = Load(path);
    ASSERT_EQ(s->m_convertedFormat.samplesPerSec, 11050u);
    ASSERT_TRUE(SoundEngine_Play(engine.get(), s, false, kSoundCategoryEffects));
    ASSERT_TRUE(CSoundCapture::WaitMixed(0.35));
    SCapturedSound out = Finish();
    size_t start = Sound_FirstAbove(out.left, 0.02f);
    ASSERT_LT(start + 4000, out.Frames());
    EXPECT_NEAR(Sound_Frequency(out.left, out.rate, start + 100, start + 4000), 440, 440 * 0.02);
}

// The output's channels and bits: a kind of output the mixer does not write
// leaves the engine without a driver and says so; once the mixer has its
// format, another one waits for the next start while sound goes on.
TEST_F(SoundTest, OutputFormatIsRefusedOrKeptUntilTheNextStart) {
    struct SCase {
        int channels, bits;
    } refused[] = {{0, 16}, {3, 16}, {5, 16}, {9, 16}, {2, 0}, {2, 12}, {2, 24}};
    for (const SCase& c : refused) {
        engine.reset(new SoundEngine(nullptr));
        engine->m_outChannels = c.channels;
        engine->m_bits = c.bits;
        log.clear();
        EXPECT_FALSE(SoundEngine_Initialize(engine.get(), &Log, this));
        EXPECT_FALSE(engine->HasDriver());
        EXPECT_TRUE(Logged("...SoundEngine_OpenDriver() : no output of " + std::to_string(c.channels) +
                           " channels of " + std::to_string(c.bits) + " bits"))
            << c.channels << "/" << c.bits;
    }
    Open();
    int channels = CSoundDevice::OutputChannels(), bits = CSoundDevice::OutputBits();
    ASSERT_TRUE(engine->HasDriver());
    engine.reset(new SoundEngine(nullptr));
    engine->m_outChannels = channels == 1 ? 2 : 1;
    engine->m_bits = 8;
    log.clear();
    ASSERT_TRUE(SoundEngine_Initialize(engine.get(), &Log, this));
    EXPECT_TRUE(engine->HasDriver());
    EXPECT_TRUE(Logged("...SoundEngine_OpenDriver() : " + std::to_string(engine->m_outChannels) +
                       " channels of 8 bits take effect at the next start; the output stays at " +
                       std::to_string(channels) + " channels of " + std::to_string(bits) + " bits"))
        << (log.empty() ? "" : log.back());
    EXPECT_EQ(CSoundDevice::OutputChannels(), channels);
}

TEST_F(SoundTest, WithoutADriverPlaysFailQuietly) {
    // Another open device keeps the engine from opening its own.
    CSoundDevice other;
    ASSERT_TRUE(other.Open(nullptr, 44100, 16));
    engine.reset(new SoundEngine(nullptr));
    EXPECT_FALSE(SoundEngine_Initialize(engine.get(), &Log, this));
    EXPECT_FALSE(engine->HasDriver());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back().rfind("...SoundEngine_OpenDriver() : ", 0), 0u) << log.back();
    std::string path = Write("t.wav", Wave_Build(Wave_Sine(440, 22050, 2205), 1, 22050));
    SoundSample* s = Load(path);
    size_t lines = log.size();
    EXPECT_FALSE(SoundEngine_Play(engine.get(), s, false, kSoundCategoryEffects));
    EXPECT_FALSE(SoundEngine_Stream(engine.get(), Media("a.mp3").c_str(), 0));
    EXPECT_EQ(log.size(), lines);
    // With sound switched off everything answers done.
    engine->m_noSound = 1;
    EXPECT_TRUE(SoundEngine_Play(engine.get(), s, false, kSoundCategoryEffects));
    engine.reset();
}

TEST_F(SoundTest, UrgentVoiceThrowsOutTheQueue) {
    std::string path = Write("v.wav", Wave_Build(Wave_Sine(440, 22050, 2205), 1, 22050));
    Open();
    engine->m_counter = &TestCounter;
    g_counter = 5000000;
    SoundSample* a = Load(path);
    SoundSample* b = Load(path);
    SoundSample* c = Load(path);
    new PlayNode(engine.get(), a, 1);
    new PlayNode(engine.get(), b, kPlayNodeUrgent);
    new PlayNode(engine.get(), c, 2);
    SoundEngine_Update(engine.get());
    EXPECT_EQ(engine->m_voiceHead, nullptr);
    EXPECT_EQ(b->m_playHandle, engine->m_reserved[1]);
    EXPECT_EQ(a->m_playHandle, nullptr);
    // The next voice waits for the length of the one playing (100 ms).
    EXPECT_EQ(engine->m_nextVoiceTime, g_counter + 119318u);
    new PlayNode(engine.get(), c, 1);
    SoundEngine_Update(engine.get());
    EXPECT_NE(engine->m_voiceHead, nullptr);
    // The game queues the world's voices (a player's event sounds) the same
    // way, at their volume.
    CGame game(nullptr, "No datafile");
    game.SetSound(engine.get());
    game.Roles().World(nullptr).sound->QueueVoice(reinterpret_cast<SWorldSample*>(a), 127, 3);
    game.SetSound(nullptr);
    ASSERT_NE(engine->m_voiceTail, nullptr);
    EXPECT_EQ(engine->m_voiceTail->m_sample, a);
    EXPECT_EQ(engine->m_voiceTail->m_kind, 3);
    EXPECT_EQ(a->m_volume, 127);
}

// A new map: the voices the last game queued go unsaid, and a sound played
// just before may play again at once.
TEST_F(SoundTest, ANewMapDropsTheQueuedVoicesAndTheSamplesLastPlays) {
    std::string path = Write("n.wav", Wave_Build(Wave_Sine(440, 22050, 2205), 1, 22050));
    Open();
    engine->m_counter = &TestCounter;
    g_counter = 7000000;
    SoundSample* a = Load(path);
    ASSERT_TRUE(SoundEngine_Play(engine.get(), a, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 1);
    EXPECT_TRUE(SoundEngine_Play(engine.get(), a, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 1);  // within a quarter second: held back
    new PlayNode(engine.get(), a, 1);
    new PlayNode(engine.get(), a, 2);
    SoundEngine_FreeQueuedVoices(engine.get());
    EXPECT_EQ(engine->m_voiceHead, nullptr);
    EXPECT_EQ(engine->m_voiceTail, nullptr);
    SoundEngine_ForgetPlayTimes(engine.get());
    EXPECT_TRUE(SoundEngine_Play(engine.get(), a, false, kSoundCategoryEffects));
    EXPECT_EQ(Playing(), 2);
}

TEST_F(SoundTest, PlayListReadsItsLinesAndWraps) {
    Write("a.mp3", "x");
    Write("b.mp3", "x");
    std::string list = dir.WinFile("a.mp3") + "\n  # " + dir.WinFile("b.mp3") + "\r\n\r\n" +
                       dir.WinFile("missing.mp3") + "\n\r" + dir.WinFile("b.mp3");
    std::string path = Write("list.m3u", list);
    MusicPlaylist p;
    EXPECT_FALSE(p.Load(dir.WinFile("none.m3u").c_str()));
    ASSERT_TRUE(p.Load(path.c_str()));
    EXPECT_EQ(p.m_active, 1);
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(std::string(p.Next()), dir.WinFile("a.mp3"));
    EXPECT_EQ(std::string(p.Next()), dir.WinFile("b.mp3"));
    EXPECT_EQ(std::string(p.Next()), dir.WinFile("a.mp3"));
    p.Clear();
    EXPECT_EQ(p.Next(), nullptr);
    EXPECT_EQ(p.m_active, 0);
}

TEST_F(SoundTest, MusicPlayListPlaysItsTitlesInOrderAndWraps) {
    std::string list = Media("a.mp3") + "\n" + Media("b.mp3") + "\n";
    Open();
    ASSERT_TRUE(engine->m_playlist->Load(Write("music.m3u", list).c_str()));
    ASSERT_TRUE(SoundEngine_Stream(engine.get(), "", 0));
    // The game's frames service the stream.
    ASSERT_TRUE(CSoundCapture::WaitMixed(
        1.15, [](void* e) { SoundEngine_UpdateStream(static_cast<SoundEngine*>(e)); }, engine.get()));
    SCapturedSound out = Finish();
    // The tones heard, window by window, without repeats.
    std::vector<int> heard;
    const size_t window = 2205;
    for (size_t at = 0; at + window <= out.Frames(); at += window) {
        if (Sound_Rms(out.left, at, at + window) < 0.05) continue;
        double hz = Sound_Frequency(out.left, out.rate, at, at + window);
        int tone = std::fabs(hz - 440) < 20 ? 440 : std::fabs(hz - 880) < 30 ? 880 : 0;
        if (tone && (heard.empty() || heard.back() != tone)) heard.push_back(tone);
    }
    ASSERT_GE(heard.size(), 3u);
    EXPECT_EQ(heard[0], 440);
    EXPECT_EQ(heard[1], 880);
    EXPECT_EQ(heard[2], 440);
}

TEST_F(SoundTest, StreamsThatCannotOpenAreLogged) {
    Open();
    std::string junk = Write("junk.mp3", std::string(3000, 'j'));
    std::string missing = dir.WinFile("missing.mp3");
    EXPECT_FALSE(SoundEngine_Stream(engine.get(), junk.c_str(), 0));
    EXPECT_TRUE(Logged("...SoundEngine_Stream() : '" + junk + "' FAILED"));
    EXPECT_TRUE(Logged("MSS Err : not a sound file"));
    EXPECT_FALSE(SoundEngine_Stream(engine.get(), missing.c_str(), 0));
    EXPECT_TRUE(Logged("MSS Err : file not found"));
    EXPECT_FALSE(engine->StreamOpen());
    EXPECT_FALSE(SoundEngine_CloseStream(engine.get(), false));
}

TEST_F(SoundTest, PackedWaveAndMP3FilesAreDecoded) {
    Open();
    for (const char* name : {"adpcm.wav", "a.mp3"}) {
        SoundSample* s = Load(Media(name));
        ASSERT_TRUE(s->m_prepared) << name;
        ASSERT_EQ(s->m_format.bitsPerSample, 16) << name;
        std::vector<float> mono;
        const int16_t* pcm = reinterpret_cast<const int16_t*>(s->m_converted.get());
        for (uint32_t i = 0; i < s->m_convertedSize / 2; i += s->m_format.channels)
            mono.push_back(pcm[i] / 32768.0f);
        EXPECT_NEAR(Sound_Frequency(mono, (int)s->m_format.samplesPerSec, 2000, mono.size() - 2000), 440, 5)
            << name;
    }
    // Anything else is no sound.
    SoundSample* text = new SoundSample(engine.get());
    text->Prepare(Write("t.wav", "plain text, no sound").c_str());
    EXPECT_FALSE(text->Prepare(nullptr));
    EXPECT_FALSE(text->m_prepared);
    EXPECT_FALSE(SoundEngine_Play(engine.get(), text, false, 2));
    // A PCM header whose block align is 0 (found by the fuzzer: it divided by
    // it) is no sound either.
    std::string fmt = Wave_FormatBody(1, 1, 8000, 16);
    fmt[12] = fmt[13] = 0;
    SoundSample* align = new SoundSample(engine.get());
    align->Prepare(Write("align.wav", Wave_BuildChunks({{"fmt ", fmt}, {"data", "abcd"}})).c_str());
    EXPECT_FALSE(align->Prepare(nullptr));
}

TEST_F(SoundTest, VideoSoundReachesTheMixer) {
    Open();
    CD3DRecorder recorder;
    DDraw_SetFactory(&recorder);
    {
        CE3DScreen screen(nullptr, nullptr);
        CE3DVideo video(&screen);
        ASSERT_TRUE(video.OpenFile(Media("counter.bik").c_str(), false, true));
        EXPECT_EQ(video.Handle()->HasSound(), 1u);
        video.Play();
        ASSERT_TRUE(CSoundCapture::WaitMixed(
            0.7, [](void* v) { static_cast<CE3DVideo*>(v)->DecodeFrame(); }, &video));
    }
    DDraw_SetFactory(nullptr);
    SCapturedSound out = Finish();
    size_t start = Sound_FirstAbove(out.left, 0.02f);
    ASSERT_LT(start + 8000, out.Frames());
    EXPECT_NEAR(Sound_Frequency(out.left, out.rate, start + 200, start + 8000), 440, 9);
}

TEST_F(SoundTest, SoundBanksLoadTheirSamplesAndRefuseDamage) {
    std::vector<int16_t> tone = Wave_Sine(440, 22050, 100);
    std::string pcm(reinterpret_cast<const char*>(tone.data()), tone.size() * 2);
    SSoundBankEntry click;
    click.name = "Click";
    click.volume = 80;
    click.rate = 30000;
    click.pan = -100;
    click.flag = 3;
    click.data = pcm;
    SSoundBankEntry adpcm = click;
    adpcm.name = "Packed";
    adpcm.formatTag = 2;
    std::string good = SoundBank_Build(std::string(300, 'N'), {click, adpcm});
    engine.reset(new SoundEngine(nullptr));
    {
        CVFSFile f;
        ASSERT_TRUE(f.Open(Write("good.bank", good).c_str(), CVFSFile::kModeRead));
        SoundBank bank;
        ASSERT_TRUE(bank.Load(f, engine.get()));
        EXPECT_EQ(bank.m_name.GetLength(), 255);  // a name without its zero is cut at its field
        ASSERT_EQ(bank.m_count, 2);
        SoundSample* s = bank.m_samples[0];
        EXPECT_EQ(s->m_volume, 80);
        EXPECT_EQ(s->m_rate, 30000);
        EXPECT_EQ(s->m_pan, -100 / 2 + 64);
        EXPECT_EQ(s->m_bankFlag, 3);
        EXPECT_EQ(s->m_prepared, 1);
        EXPECT_EQ(s->m_convertedSize, pcm.size());
        EXPECT_EQ(bank.m_samples[1]->m_enabled, 0);  // only PCM plays from a bank
        // Preparing again keeps the bank's sound (it has no file).
        EXPECT_TRUE(s->Prepare(nullptr));
        EXPECT_EQ(s->m_convertedSize, pcm.size());
    }
    SSoundBankEntry lying = click;
    lying.sizeOverride = 1u << 30;
    struct SCase {
        const char* what;
        std::string bytes;
    } damaged[] = {{"cut in the data", good.substr(0, good.size() - 7)},
                   {"cut in a name", good.substr(0, 300)},
                   {"count beyond the limit", SoundBank_Build("B", {click}, 5000000)},
                   {"count beyond the file", SoundBank_Build("B", {click}, 3)},
                   {"size beyond the file", SoundBank_Build("B", {lying})}};
    for (const SCase& c : damaged) {
        CVFSFile f;
        ASSERT_TRUE(f.Open(Write("bad.bank", c.bytes).c_str(), CVFSFile::kModeRead));
        SoundBank bank;
        EXPECT_FALSE(bank.Load(f, engine.get())) << c.what;
    }
    engine.reset();
}

TEST(WaveChunks, ChunksAreBelievedOnlyAsFarAsTheFileGoes) {
    std::string fmt = Wave_FormatBody(1, 1, 22050, 16);
    std::string smpl(36 + 24, '\0');
    smpl[28] = 1;        // one loop
    smpl[36 + 8] = 10;   // start 10
    smpl[36 + 12] = 20;  // end 20
    struct SCase {
        const char* what;
        std::string bytes;
        bool wave, format, data, loop;
    } cases[] = {
        {"plain", Wave_BuildChunks({{"fmt ", fmt}, {"data", std::string(100, 'd')}}), true, true, true,
         false},
        {"odd chunk padded", Wave_BuildChunks({{"odd ", "abc"}, {"fmt ", fmt}, {"data", "dd"}}), true, true,
         true, false},
        {"loop", Wave_BuildChunks({{"fmt ", fmt}, {"smpl", smpl}, {"data", "dd"}}), true, true, true, true},
        {"data cut short", Wave_BuildChunks({{"fmt ", fmt}, {"data", "dd", 5000}}), true, true, false, false},
        {"format cut short", Wave_BuildChunks({{"fmt ", fmt.substr(0, 10)}}), true, false, false, false},
        {"loop chunk too small", Wave_BuildChunks({{"fmt ", fmt}, {"smpl", smpl.substr(0, 40)}}), true, true,
         false, false},
        {"not riff", "RIFX....WAVEfmt ", false, false, false, false},
        {"too short", "RIFF", false, false, false, false},
    };
    for (const SCase& c : cases) {
        SWaveInfo info;
        bool wave = Wave_ReadChunks(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size(), info);
        EXPECT_EQ(wave, c.wave) << c.what;
        EXPECT_EQ(info.hasFormat, c.format) << c.what;
        EXPECT_EQ(info.hasData, c.data) << c.what;
        EXPECT_EQ(info.hasLoop, c.loop) << c.what;
        if (c.loop) {
            EXPECT_EQ(info.loopStart, 10u);
            EXPECT_EQ(info.loopEnd, 20u);
        }
        if (info.hasData) {
            EXPECT_LE(info.dataOffset + info.dataSize, c.bytes.size()) << c.what;
        }
    }
}
