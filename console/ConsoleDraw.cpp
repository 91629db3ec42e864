// Drawing the console: the full console over its background, the mini
// console inside the GUI's "Console" panel, and the command line with its
// selection marks and blinking cursor.
#include <algorithm>
#include <cstring>

#include "console/Console.h"
#include "console/EditField.h"
#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "e3d/Video.h"

namespace {
// The cursor keeps this far inside the left edge when a long line scrolls.
constexpr int kCursorInset = 32;
// The mini console's command line starts this far into its panel.
constexpr int kMiniLineInset = 9;

CBitmapSurface* LoadPicture(CConsole& console, CE3DScreen* screen, const char* folder, const char* file,
                            const char* error) {
    CStrBuf path;
    path.Format("%s\\%s", folder ? folder : "", file);
    CBitmapSurface* p = new CBitmapSurface(screen);
    if (p->Load(path.GetText(), true, -1, -1)) {
        p->AddRef();
        return p;
    }
    delete p;
    console.Printf(error, path.GetText());
    return nullptr;
}

void ReleasePicture(CBitmapSurface*& p) {
    if (p) p->Release();
    p = nullptr;
}
}  // namespace

void CConsole::ReleasePictures() {
    ReleasePicture(m_picture);
    ReleasePicture(m_dialogSprites[0]);
    ReleasePicture(m_dialogSprites[1]);
}

void CConsole::LoadBackgroundPicture(CE3DScreen* screen, const char* guiFolder) {
    ReleasePicture(m_picture);
    if (screen)
        m_picture = LoadPicture(*this, screen, guiFolder, "Console.jpg", "Error loading console bitmap: %s");
}

void CConsole::LoadPictures(CE3DScreen* screen, const char* guiFolder) {
    LoadBackgroundPicture(screen, guiFolder);
    ReleasePicture(m_dialogSprites[0]);
    ReleasePicture(m_dialogSprites[1]);
    if (!screen) return;
    m_dialogSprites[0] = LoadPicture(*this, screen, guiFolder, "dialog_1.bmp",
                                     "Error loading ConfirmDialogSprite1 bitmap: %s");
    m_dialogSprites[1] = LoadPicture(*this, screen, guiFolder, "dialog_2.bmp",
                                     "Error loading ConfirmDialogSprite2 bitmap: %s");
}

void CConsole::SetBackgroundVideo(CE3DVideo* video) {
    if (video == m_backgroundVideo) return;
    delete m_backgroundVideo;
    m_backgroundVideo = video;
}

bool CConsole::Draw(const SConsoleDraw& d) {
    CE3DSurface* canvas = d.canvas;
    if (!canvas || !d.font) return false;
    const int lineHeight = d.lineHeight > 0 ? d.lineHeight : 11;
    const int width = canvas->m_width, height = canvas->m_height;
    const bool mini = m_mini != 0;
    int rows, left, top, right, bottom, commandY;
    if (!mini) {
        rows = height / lineHeight - 2;
        left = m_marginX;
        right = width - m_marginX;
        top = m_marginY;
        commandY = height - m_marginY - lineHeight;
        bottom = commandY;
        // The background: the video's current frame, else the picture, each
        // stretched over the whole canvas.
        CE3DSurface* background = nullptr;
        if (m_backgroundVideo && m_backgroundVideo->m_target) {
            m_backgroundVideo->DecodeFrame();
            background = m_backgroundVideo->m_target;
        } else if (m_picture && m_picture->Platform()) {
            background = m_picture;
        }
        if (background) {
            canvas->ResetClip();
            background->BltStretchTo(0, 0, width, height, canvas);
        }
    } else {
        if (!d.hasPanel || m_miniLines < 1) return false;
        rows = m_miniLines - (d.commandLine ? 1 : 0);
        left = d.panelLeft;
        right = d.panelRight;
        top = d.panelTop;
        bottom = d.panelBottom - (d.commandLine ? lineHeight : 0);
        commandY = bottom;
    }

    if (!canvas->Lock()) return false;
    canvas->SetFont(d.font);
    canvas->m_clipRect = SSurfaceRect{left, top, right, bottom};
    canvas->ClampClip();
    for (int i = GetViewOffset(); rows > 0; ++i) {
        const CConsoleLine* line = GetLine(i);
        if (!line) break;
        int used = 1;
        if (!line->text.IsEmpty())
            used = canvas->DrawText(line->text.GetText(), false, lineHeight, line->r, line->g, line->b, true,
                                    false);
        if (used < 1) used = 1;
        rows -= used;
        canvas->m_clipRect.bottom -= used * lineHeight;
        if (canvas->m_clipRect.bottom <= canvas->m_clipRect.top) break;
    }

    if (d.commandLine && d.edit && d.edit->Attached() == &m_commandLine) {
        // The line as the edit field shows it: the selection, or the
        // character under the overwrite cursor, between inverse marks.
        CStrBuf shown;
        d.edit->FormatEditText(shown);
        int32_t textWidth = 0, textHeight = 0;
        d.font->MeasureText(shown.GetText(), &textWidth, &textHeight);
        CE3DFont* font = d.font;
        int cursor = d.edit->CursorOffset([font](uint8_t c) { return (int)font->GlyphWidth(c); });
        cursor = std::max(0, cursor);
        int lineLeft = mini ? left + kMiniLineInset : left;
        int x = lineLeft;
        if (textWidth > right - lineLeft) {
            // Right-aligned at the right edge, moved right as far as needed
            // to keep the cursor inside the left edge.
            x = right - textWidth;
            if (x + cursor < lineLeft + kCursorInset) x = lineLeft + kCursorInset - cursor;
        }
        canvas->ResetClip();
        canvas->DrawGlyphs(shown.GetText(), x, commandY, 255, 255, 255, true, false, 0, false);
        if (UpdateBlink()) {
            int cx = x + cursor;
            canvas->DrawLine(cx, commandY + 1, cx, commandY + lineHeight - 1, 255, 255, 255);
        }
    }
    canvas->Unlock();
    canvas->ResetClip();
    return true;
}
