// Videos on surfaces and picture surfaces, on clips the build makes: each
// frame of "counter.bik" shows its own number in eight bars, so a test reads
// back from the surface which frame it holds.
#include "e3d/Video.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "core/VFSTable.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "platform/d3d/Recorder.h"
#include "platform/sys/Path.h"
#include "platform/video/Video.h"
#include "tests/support/TempDir.h"
#include "tools/lib/BMPWriter.h"
#include "tools/lib/PackWriter.h"

namespace {
std::string Media(const char* name) {
    const char* build = std::getenv("TESSARAK_BUILD");
    return std::string(build ? build : ".") + "/testmedia/" + name;
}
std::string WinMedia(const char* name) {
    return Sys_ToWindowsPath(Media(name).c_str());
}
std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// The clock the videos wait by: one frame period per step.
int64_t g_now = 0;
int64_t TestClock() {
    return g_now;
}

class VideoTest : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&recorder);
        screen.reset(new CE3DScreen(nullptr, nullptr));
        CVideoStream::SetClock(&TestClock);
        g_now = 1000000;
    }
    void TearDown() override {
        CVideoStream::SetClock(nullptr);
        screen.reset();
        DDraw_SetFactory(nullptr);
    }
    // The frame number the bars of a surface show at (x, y).
    static int ReadCounter(CE3DSurface* s, int x0 = 0, int y0 = 0, int width = 64) {
        EXPECT_TRUE(s->LockToRead());
        int n = 0;
        for (int bit = 0; bit < 8; ++bit) {
            int x = x0 + bit * width / 8 + width / 16;
            uint32_t pixel;
            std::memcpy(&pixel, s->Bits() + (y0 + 8) * s->Pitch() + x * 4, 4);
            if (((pixel >> 8) & 0xFF) > 128) n |= 1 << bit;
        }
        s->Unlock();
        return n;
    }
    CE3DSurface* Target(int w, int h) {
        CE3DSurface* s = new CE3DSurface(screen.get());
        EXPECT_TRUE(s->Create(w, h, true, SSurfacePixelFormat::Xrgb8888()));
        s->Fill(0);
        return s;
    }
    CD3DRecorder recorder;
    std::unique_ptr<CE3DScreen> screen;
};
}  // namespace

TEST_F(VideoTest, PlaysEveryFrameInOrderThenStopsOnTheLast) {
    CE3DVideo video(screen.get());
    ASSERT_TRUE(video.OpenFile(WinMedia("counter.bik").c_str(), false, true));
    ASSERT_TRUE(video.HasHandle());
    EXPECT_EQ(video.Width(), 64u);
    EXPECT_EQ(video.Height(), 48u);
    ASSERT_EQ(video.FrameCount(), 24u);
    // Opened paused: the service shows nothing until Play.
    video.DecodeFrame();
    video.Play();
    EXPECT_EQ(ReadCounter(video.m_target), 0);
    int64_t period = 1193182 / 25;
    std::vector<int> shown;
    for (int step = 0; step < 40 && video.m_playing; ++step) {
        // Not yet due: nothing changes.
        uint32_t before = video.FrameNumber();
        video.DecodeFrame();
        EXPECT_EQ(video.FrameNumber(), before);
        g_now += period;
        video.DecodeFrame();
        shown.push_back(ReadCounter(video.m_target));
    }
    std::vector<int> expected;
    for (int i = 1; i < 24; ++i) expected.push_back(i);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(video.m_playing, 0);
    EXPECT_EQ(ReadCounter(video.m_target), 23);  // the last frame stays
}

TEST_F(VideoTest, GoingToAFrameShowsExactlyThatFrame) {
    CE3DVideo video(screen.get());
    ASSERT_TRUE(video.OpenFile(WinMedia("counter.bik").c_str(), false, true));
    // Key frames every 5 frames: these land before, on and after them, and
    // go backwards.
    for (int k : {7, 0, 23, 10, 4, 5, 19, 18, 1}) {
        video.GotoFrame(k);
        EXPECT_EQ(ReadCounter(video.m_target), k) << k;
        EXPECT_EQ(video.FrameNumber(), (uint32_t)(k == 23 ? 1 : k + 2));
    }
}

TEST_F(VideoTest, LoopingVideoStartsOverAfterTheLastFrame) {
    CE3DVideo video(screen.get());
    ASSERT_TRUE(video.OpenFile(WinMedia("counter.bik").c_str(), false, true));
    video.m_loop = 1;
    video.m_timedByEngine = 0;
    video.Play();
    for (int i = 0; i < 23; ++i) {
        g_now += 1193182 / 25;
        video.DecodeFrame();
    }
    // The last frame went by and frame 0 shows again; play goes on.
    EXPECT_EQ(video.m_playing, 1);
    EXPECT_EQ(ReadCounter(video.m_target), 0);
    g_now += 1193182 / 25;
    video.DecodeFrame();
    EXPECT_EQ(ReadCounter(video.m_target), 1);
}

TEST_F(VideoTest, ClipInsideAPackPlaysAsOnDisk) {
    CTempDir dir;
    CPackWriter w;
    w.Add("Movies\\Counter.bik", ReadFile(Media("counter.bik")));
    w.Add("Movies\\Other.txt", "not a video");
    ASSERT_TRUE(w.WriteTo(dir.File("Movies.box"), "some leading bytes"));
    CVFSTable& vfs = g_VFS;
    ASSERT_TRUE(vfs.MountPack(dir.WinFile("Movies.box").c_str(), 18, -1));
    std::string root = vfs.GetRoot();
    std::string path = (root.empty() ? std::string() : root + "\\") + "movies\\counter.BIK";
    CE3DVideo packed(screen.get()), disk(screen.get());
    ASSERT_TRUE(packed.OpenFile(path.c_str(), false, true)) << path;
    ASSERT_TRUE(disk.OpenFile(WinMedia("counter.bik").c_str(), false, true));
    EXPECT_EQ(packed.FrameCount(), disk.FrameCount());
    for (int k : {0, 12, 23}) {
        packed.GotoFrame(k);
        disk.GotoFrame(k);
        ASSERT_TRUE(packed.m_target->LockToRead() && disk.m_target->LockToRead());
        EXPECT_EQ(0, std::memcmp(packed.m_target->Bits(), disk.m_target->Bits(),
                                 (size_t)disk.m_target->Pitch() * 48));
        packed.m_target->Unlock();
        disk.m_target->Unlock();
    }
    // A member that is no video opens nothing.
    CE3DVideo text(screen.get());
    std::string other = (root.empty() ? std::string() : root + "\\") + "Movies\\Other.txt";
    EXPECT_FALSE(text.OpenFile(other.c_str(), false, true));
    EXPECT_FALSE(text.HasHandle());
}

TEST_F(VideoTest, FramesGoToTheirPlaceAndNeverPastTheSurface) {
    CE3DVideo video(screen.get());
    ASSERT_TRUE(video.OpenFile(WinMedia("counter.bik").c_str(), false, false));
    // A target narrower and shorter than the frame at an offset: the frame is
    // cut at the target's edges, and the row after the surface's memory is
    // never touched (the surface would have been overrun otherwise).
    std::unique_ptr<CE3DSurface> target(Target(80, 40));
    video.SetTarget(target.get());
    video.m_destX = 40;
    video.m_destY = 10;
    video.GotoFrame(5);
    ASSERT_TRUE(target->LockToRead());
    uint32_t corner, inside;
    std::memcpy(&corner, target->Bits() + 5 * target->Pitch() + 20 * 4, 4);
    std::memcpy(&inside, target->Bits() + 20 * target->Pitch() + (40 + 4) * 4, 4);
    target->Unlock();
    EXPECT_EQ(corner & 0xFFFFFF, 0u);       // outside the frame's place
    EXPECT_GT((inside >> 8) & 0xFF, 128u);  // bar 0 of frame 5 is lit
}

TEST_F(VideoTest, EngineTimingUsesTheExactFrameRate) {
    CE3DVideo video(screen.get());
    ASSERT_TRUE(video.OpenFile(WinMedia("counter.bik").c_str(), false, false));
    // 25 frames a second on the 1,193,182-count timer.
    EXPECT_EQ(video.TicksPerFrame(), 1193182 / 25);
    // 30000 over 1001: 29.97 frames a second, not the 29 of a whole division
    // of the rate by its divisor (41,144 counts a frame, a second lost every
    // half minute).
    ASSERT_TRUE(video.OpenFile(WinMedia("ntsc.bik").c_str(), false, false));
    EXPECT_EQ(video.TicksPerFrame(), 1193182ll * 1001 / 30000);
    video.m_frameRate = 0;  // an absurd override must not divide by zero
    ASSERT_TRUE(video.OpenFile(WinMedia("counter.bik").c_str(), false, false));
    EXPECT_GT(video.TicksPerFrame(), 0);
}

TEST_F(VideoTest, BrokenOrMissingFilesLeaveNoHandleAndEveryCallIsHarmless) {
    CTempDir dir;
    std::string counter = ReadFile(Media("counter.bik"));
    ASSERT_TRUE(dir.Write("cut.bik", counter.substr(0, 700)));
    ASSERT_TRUE(dir.Write("junk.bik", std::string(4000, 'x')));
    for (const std::string& name :
         {dir.WinFile("missing.bik"), dir.WinFile("junk.bik"), dir.WinFile("cut.bik")}) {
        CE3DVideo video(screen.get());
        bool opened = video.OpenFile(name.c_str(), false, true);
        if (!opened) {
            EXPECT_FALSE(video.HasHandle()) << name;
            EXPECT_EQ(video.m_ownSurface, nullptr);
        }
        video.Play();
        video.DecodeFrame();
        video.GotoFrame(3);
        video.Pause();
        video.Resume();
    }
}

TEST_F(VideoTest, PicturesLoadByExtensionAndAreSharedByName) {
    CTempDir dir;
    SPackedDIB* dib = DIB_Create(4, 2, 24);
    ASSERT_NE(dib, nullptr);
    std::vector<uint8_t> bmp = BMP_Build(dib, SBMPForm());
    DIB_Free(dib);
    ASSERT_TRUE(dir.Write("a.b.bmp", std::string(bmp.begin(), bmp.end())));
    std::string counter = ReadFile(Media("counter.bik"));
    ASSERT_TRUE(dir.Write("clip.BIK", counter));
    ASSERT_TRUE(dir.Write("still.bik", ReadFile(Media("still.bik"))));

    // Only the text after the last dot counts.
    CBitmapSurface* bmpPic = CBitmapSurface_LoadShared(screen.get(), dir.WinFile("a.b.bmp").c_str());
    ASSERT_NE(bmpPic, nullptr);
    EXPECT_EQ(bmpPic->m_video, nullptr);
    EXPECT_EQ(bmpPic->m_width, 4);
    EXPECT_TRUE(bmpPic->m_colorKeySet);
    // Capitals take the video path; the first frame shows until it plays.
    CBitmapSurface* clip = CBitmapSurface_LoadShared(screen.get(), dir.WinFile("clip.BIK").c_str());
    ASSERT_NE(clip, nullptr);
    ASSERT_NE(clip->m_video, nullptr);
    EXPECT_EQ(clip->m_width, 64);
    EXPECT_EQ(ReadCounter(clip), 0);
    // A one-frame video is a still picture.
    CBitmapSurface* still = CBitmapSurface_LoadShared(screen.get(), dir.WinFile("still.bik").c_str());
    ASSERT_NE(still, nullptr);
    EXPECT_EQ(still->m_video, nullptr);
    // The same name in another case is the same surface, counted twice.
    std::string upper = dir.WinFile("A.B.BMP");
    EXPECT_EQ(CBitmapSurface_LoadShared(screen.get(), upper.c_str()), bmpPic);
    EXPECT_EQ(bmpPic->m_refCount, 2);
    EXPECT_EQ(CBitmapSurface_LoadShared(screen.get(), dir.WinFile("none.bmp").c_str()), nullptr);
    int before = screen->m_surfaceCount;
    bmpPic->Release();
    EXPECT_EQ(screen->m_surfaceCount, before);
    bmpPic->Release();
    EXPECT_EQ(screen->m_surfaceCount, before - 1);
    clip->Release();
    still->Release();
}

TEST_F(VideoTest, ReloadKeepsSizeAndPlayState) {
    CTempDir dir;
    SPackedDIB* dib = DIB_Create(8, 8, 24);
    std::vector<uint8_t> bmp = BMP_Build(dib, SBMPForm());
    DIB_Free(dib);
    ASSERT_TRUE(dir.Write("p.bmp", std::string(bmp.begin(), bmp.end())));
    ASSERT_TRUE(dir.Write("c.bik", ReadFile(Media("counter.bik"))));

    CBitmapSurface* sized = new CBitmapSurface(screen.get());
    ASSERT_TRUE(sized->Load(dir.WinFile("p.bmp").c_str(), true, 20, 10));
    sized->Reload();
    EXPECT_EQ(sized->m_width, 20);
    EXPECT_EQ(sized->m_height, 10);
    // Gone from the disk: the picture comes back blank at its size.
    std::remove(dir.File("p.bmp").c_str());
    sized->Reload();
    EXPECT_EQ(sized->m_width, 20);
    delete sized;

    CBitmapSurface* playing = new CBitmapSurface(screen.get());
    CBitmapSurface* stopped = new CBitmapSurface(screen.get());
    ASSERT_TRUE(playing->Load(dir.WinFile("c.bik").c_str(), true, -1, -1));
    ASSERT_TRUE(stopped->Load(dir.WinFile("c.bik").c_str(), true, -1, -1));
    playing->m_video->Play();
    playing->Reload();
    stopped->Reload();
    ASSERT_NE(playing->m_video, nullptr);
    EXPECT_EQ(playing->m_video->m_playing, 1);
    EXPECT_EQ(stopped->m_video->m_playing, 0);
    EXPECT_EQ(ReadCounter(stopped), 0);
    delete playing;
    delete stopped;
}
