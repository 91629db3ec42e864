// Drawing the timed screen messages over the running game.
#include <algorithm>

#include "console/Console.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"

namespace {
// The message band: left edge and top in pixels, and the room kept free on
// the right for the HUD.
constexpr int kScreenMessageLeft = 80;
constexpr int kScreenMessageTop = 35;
constexpr int kScreenMessageRightRoom = 280;
}  // namespace

void CConsole::DrawScreenMessages(CE3DSurface* canvas, CE3DFont* font) {
    AdvanceScreenMessages();
    if (!canvas || !font) return;
    // Printing threads recycle these lines while the frame draws them: the
    // mutex keeps a line's text from changing under the glyph walk.
    CSysScopedLock<CSysMutex> lock(m_mutex);
    if (!canvas->Lock()) return;
    const int rowHeight = font->m_height + 1;
    int rows = std::clamp<int>(m_messageLinesSetting ? *m_messageLinesSetting : m_numMessageLines, 0,
                               kMaxScreenMessageRows);
    canvas->SetFont(font);
    canvas->ResetClip();
    canvas->m_clipRect.left = kScreenMessageLeft;
    canvas->m_clipRect.top = kScreenMessageTop;
    canvas->m_clipRect.bottom = kScreenMessageTop + rows * rowHeight;
    for (int i = 0; rows > 0; ++i) {
        const CConsoleScreenLine* line = GetScreenLine(i);
        if (!line) break;
        canvas->m_clipRect.right = canvas->m_width - kScreenMessageRightRoom;
        int used = 1;
        if (!line->text.IsEmpty())
            used = std::max(1, canvas->DrawText(line->text.GetText(), false, rowHeight, line->r, line->g,
                                                line->b, true, false));
        canvas->m_clipRect.bottom -= used * rowHeight;
        rows -= used;
    }
    canvas->Unlock();
    canvas->ResetClip();
}
