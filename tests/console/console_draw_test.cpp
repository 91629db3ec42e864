// Drawing the console onto a canvas: its background video or picture, the
// mini console inside its panel, and the command line with its marks and
// caret. Pixels are read back from the canvas.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "console/Console.h"
#include "console/EditField.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Screen.h"
#include "e3d/Surface.h"
#include "e3d/Video.h"
#include "platform/d3d/Recorder.h"
#include "platform/sys/Path.h"
#include "tests/support/TempDir.h"
#include "tools/lib/BMPWriter.h"

namespace {
class ConsoleDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&recorder);
        screen.reset(new CE3DScreen(nullptr, nullptr));
        canvas.reset(new CE3DSurface(screen.get()));
        ASSERT_TRUE(canvas->Create(320, 240, true, SSurfacePixelFormat::Xrgb8888()));
        font = screen->GetFont("Courier New", 0, 12, 400, kE3DFontFixedPitch, 0);
        ASSERT_NE(font, nullptr);
        console.Init(100, 17, 8);
        d.canvas = canvas.get();
        d.font = font;
        d.lineHeight = font->m_height;
    }
    void TearDown() override {
        console.SetBackgroundVideo(nullptr);
        console.ReleasePictures();
        canvas.reset();
        screen.reset();
        DDraw_SetFactory(nullptr);
    }
    uint32_t Pixel(int x, int y) {
        canvas->LockToRead();
        uint32_t p;
        std::memcpy(&p, canvas->Bits() + y * canvas->Pitch() + x * 4, 4);
        canvas->Unlock();
        return p & 0xFFFFFF;
    }
    // Lit (non-background) pixels in a rectangle.
    int Lit(int x0, int y0, int x1, int y1, uint32_t background = 0) {
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (Pixel(x, y) != background) ++n;
        return n;
    }
    void Clear(uint32_t colour = 0) {
        canvas->ResetClip();
        canvas->Fill(colour);
    }
    CD3DRecorder recorder;
    std::unique_ptr<CE3DScreen> screen;
    std::unique_ptr<CE3DSurface> canvas;
    CE3DFont* font = nullptr;
    CConsole console;
    SConsoleDraw d;
};

std::string Media(const char* name) {
    const char* build = std::getenv("TESSARAK_BUILD");
    return Sys_ToWindowsPath((std::string(build ? build : ".") + "/testmedia/" + name).c_str());
}
}  // namespace

TEST_F(ConsoleDrawTest, BackgroundVideoOrPictureFillsTheWholeCanvas) {
    // No pictures in the folder: each is reported, and nothing is drawn
    // behind the lines.
    CTempDir dir;
    console.LoadPictures(screen.get(), dir.Win().c_str());
    ASSERT_GE(console.GetLineCount(), 3);
    EXPECT_EQ(std::string(console.GetLine(2)->text.GetText()),
              "Error loading console bitmap: " + dir.WinFile("Console.jpg"));
    EXPECT_EQ(std::string(console.GetLine(1)->text.GetText()),
              "Error loading ConfirmDialogSprite1 bitmap: " + dir.WinFile("dialog_1.bmp"));
    Clear(0x123456);
    ASSERT_TRUE(console.Draw(d));
    EXPECT_EQ(Pixel(300, 5), 0x123456u);

    // A picture (the sprites load the same way) is stretched over the canvas.
    SPackedDIB* dib = DIB_Create(2, 2, 24);
    std::memset(DIB_Pixels(dib), 0xC0, 8);
    std::vector<uint8_t> bmp = BMP_Build(dib, SBMPForm());
    DIB_Free(dib);
    ASSERT_TRUE(dir.Write("dialog_1.bmp", std::string(bmp.begin(), bmp.end())));
    console.LoadPictures(screen.get(), dir.Win().c_str());
    ASSERT_NE(console.DialogSprite(0), nullptr);
    EXPECT_EQ(console.DialogSprite(0)->m_width, 2);

    // The background video's current frame: frame 21 lights bars 0, 2 and 4
    // of eight, each 40 pixels wide once stretched.
    CE3DVideo* video = new CE3DVideo(screen.get());
    ASSERT_TRUE(video->OpenFile(Media("counter.bik").c_str(), false, true));
    video->GotoFrame(21);
    console.SetBackgroundVideo(video);
    Clear(0x123456);
    ASSERT_TRUE(console.Draw(d));
    EXPECT_GT((Pixel(20, 230) >> 8) & 0xFF, 128u);
    EXPECT_LT((Pixel(60, 230) >> 8) & 0xFF, 64u);
    EXPECT_GT((Pixel(180, 230) >> 8) & 0xFF, 128u);
    EXPECT_LT((Pixel(300, 5) >> 8) & 0xFF, 64u);
}

TEST_F(ConsoleDrawTest, MiniConsoleDrawsOnlyInsideItsPanel) {
    for (int i = 0; i < 30; ++i)
        console.Print("MMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMMM", false, 255, 255, 255, false);
    console.m_mini = 1;
    console.m_miniLines = 3;
    // Without the GUI's panel the mini console has nowhere to go.
    Clear();
    EXPECT_FALSE(console.Draw(d));
    EXPECT_EQ(Lit(0, 0, 320, 240), 0);
    d.hasPanel = true;
    d.panelLeft = 40;
    d.panelTop = 100;
    d.panelRight = 200;
    d.panelBottom = 100 + 3 * d.lineHeight;
    Clear();
    ASSERT_TRUE(console.Draw(d));
    EXPECT_GT(Lit(40, 100, 200, d.panelBottom), 0);
    EXPECT_EQ(Lit(0, 0, 320, 100), 0);
    EXPECT_EQ(Lit(0, d.panelBottom, 320, 240), 0);
    EXPECT_EQ(Lit(0, 100, 40, d.panelBottom), 0);
    EXPECT_EQ(Lit(200, 100, 320, d.panelBottom), 0);
    // Fewer than one row: nothing.
    console.m_miniLines = 0;
    Clear();
    EXPECT_FALSE(console.Draw(d));
    EXPECT_EQ(Lit(0, 0, 320, 240), 0);
}

TEST_F(ConsoleDrawTest, CommandLineShowsItsSelectionAndKeepsTheCaretInside) {
    CEditField edit;
    console.CommandLine().Assign("WWWW");
    edit.Attach(&console.CommandLine());  // the first attach selects it all
    ASSERT_TRUE(edit.HasSelection());
    d.commandLine = true;
    d.edit = &edit;
    const int row = 240 - console.m_marginY - d.lineHeight;
    Clear();
    ASSERT_TRUE(console.Draw(d));
    int selected = Lit(0, row, 320, row + d.lineHeight);
    edit.End();  // no selection
    Clear();
    ASSERT_TRUE(console.Draw(d));
    int plain = Lit(0, row, 320, row + d.lineHeight);
    // The selection is drawn inverse: its cells are filled.
    EXPECT_GT(selected, plain + 20);
    // Without the edit field on the command line, no line is drawn.
    d.edit = nullptr;
    Clear();
    console.Draw(d);
    EXPECT_EQ(Lit(0, row, 320, row + d.lineHeight), 0);

    // A line wider than the room, caret at its start: the text moves right
    // until the caret is 32 pixels inside the left margin, where its line is.
    console.CommandLine().Assign(std::string(200, 'i').c_str());
    d.edit = &edit;
    edit.Home();
    console.ResetBlink();
    Clear();
    ASSERT_TRUE(console.Draw(d));
    int caretX = console.m_marginX + 32;
    int column = 0;
    for (int y = row + 1; y < row + d.lineHeight - 1; ++y)
        if (Pixel(caretX, y) == 0xFFFFFF) ++column;
    EXPECT_EQ(column, d.lineHeight - 2);
    // Nothing of the line left of the margin's caret room is drawn from before the caret.
    EXPECT_EQ(Lit(0, row, caretX, row + d.lineHeight), 0);
}
