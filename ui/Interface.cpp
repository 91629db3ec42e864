#include "ui/Interface.h"

#include <cmath>
#include <cstring>
#include <string>

#include "e3d/BitmapSurface.h"
#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "netgame/MasterClient.h"
#include "netgame/NetGame.h"
#include "platform/input/Clipboard.h"
#include "ui/GUIRoles.h"
#include "ui/SettingsLists.h"
#include "world/World.h"
#include "world/WorldRoles.h"

namespace {

class CNoScreen : public IInterfaceScreen {
public:
    CE3DSurface* BackSurface() override { return nullptr; }
    void ClearScreen() override {}
    void Redraw() override {}
    CE3DFont* GetFont(const char*, int, int, int, int, int) override { return nullptr; }
    CE3DScreen* Screen() override { return nullptr; }
    CE3DViewport* Viewport() override { return nullptr; }
};

// A console that never draws, on a clock of its own rate that stands.
class CNoConsole : public IInterfaceConsole {
public:
    uint64_t ClockNow() override { return 0; }
    uint64_t ClockFrequency() override { return 1193182; }
    CCommandInterpreter* Interpreter() override { return nullptr; }
    int CodePage() override { return 1252; }
    bool ConsoleDrawingOff() override { return true; }
    const CEditField* CommandLineEdit() override { return nullptr; }
};

// The lobby, with no modes held.
class CLobbyState : public IInterfaceState {
public:
    int32_t GuiWord() override { return 1; }
    int32_t GameState() override { return 0; }
    uint32_t OrderModes() override { return 0; }
    bool MapEditMode() override { return false; }
};

CNoScreen s_noScreen;
CNoConsole s_noConsole;
CLobbyState s_lobbyState;
IGUIGame s_noGame;

}  // namespace

CInterface::CInterface(const SInterfaceRoles& roles) {
    SetRoles(roles);
    m_console.SetHost(this);
    m_console.m_messageLinesSetting = &m_MessageLines;
    m_guiBindingFile.Assign("Commands_GUI.cfg");
    m_ConsoleFontName.Assign("MS Mincho");
    m_ScreenFontName.Assign("Tahoma");
    m_TCPAddress.Assign("000.000.000.000");
    for (int i = 0; i < kSystemTextCount; ++i) m_SystemTexts[i].name = kSystemTextNames[i];
}

CInterface::~CInterface() {
    FreeGUI();
    FreePictures();
    delete m_guiSurface;
    delete m_ownCanvas;
    if (m_consoleFont) m_consoleFont->Release();
    if (m_screenFont) m_screenFont->Release();
    for (CE3DFont* f : {m_font, m_largeFont, m_clockFont})
        if (f) f->Release();
}

void CInterface::SetRoles(const SInterfaceRoles& roles) {
    m_files = roles.files ? roles.files : &WorldRoles_PlainFiles();
    m_screen = roles.screen ? roles.screen : &s_noScreen;
    m_consoleRole = roles.console ? roles.console : &s_noConsole;
    m_state = roles.state ? roles.state : &s_lobbyState;
    m_guiGame = roles.gui ? roles.gui : &s_noGame;
    m_guiSound = roles.guiSound;
}

int32_t CInterface::GuiWord() {
    return m_state->GuiWord();
}

CE3DScreen* CInterface::Screen() {
    return m_screen->Screen();
}

const char* CInterface::GetPath(const char* subFolder, const char* name) {
    return m_files->GetPath(subFolder, name);
}

void CInterface::SetWorld(CWorld* world) {
    // The old world's cell map paints no radar of this interface any more.
    if (m_world && m_world != world) m_world->SetRadarPainter(nullptr);
    m_world = world;
    m_orders.SetWorld(world);
    if (world && !m_hud.m_radar.Disabled()) world->SetRadarPainter(&m_hud.m_radar);
}

// ---------------------------------------------------------------------------
// The console's host

uint64_t CInterface::ConsoleClockNow() {
    return m_consoleRole->ClockNow();
}

uint64_t CInterface::ConsoleClockFrequency() {
    return m_consoleRole->ClockFrequency();
}

CCommandInterpreter* CInterface::ConsoleInterpreter() {
    return m_consoleRole->Interpreter();
}

void CInterface::ConsoleSendChat(const char* text) {
    CNetGame* net = m_net;
    if (!net || !net->m_players.m_local) return;
    // To whom ChatWith names ("*": everyone).
    net->RouteChat(net->m_master ? net->m_master->m_chatWith.GetText() : "*",
                   net->m_players.m_local->m_name.GetText(), text,
                   (int)std::lround(net->m_players.m_local->m_colour[0]),
                   (int)std::lround(net->m_players.m_local->m_colour[1]),
                   (int)std::lround(net->m_players.m_local->m_colour[2]));
}

IConsoleHost::EClipboard CInterface::ConsoleGetClipboard(CStrBuf& out) {
    std::string text;
    EClipboardResult result = Clipboard_GetText(text, m_consoleRole->CodePage());
    if (result == CLIPBOARD_NOT_TEXT) return kClipboardNotText;
    if (result != CLIPBOARD_OK) return kClipboardOpenFailed;
    out.Assign(text.c_str());
    return kClipboardOk;
}

bool CInterface::ConsoleSetClipboard(const char* text) {
    return Clipboard_SetText(text, std::strlen(text), m_consoleRole->CodePage()) == CLIPBOARD_OK;
}

void CInterface::ConsoleVisibilityChanged() {
    m_redraw = 1;
}

void CInterface::ConsoleRenderNow(bool flag) {
    if (m_consoleRole->ConsoleDrawingOff()) return;
    m_screen->ClearScreen();
    DrawConsole(flag ? 1 : 0);
    m_screen->Redraw();
}

// ---------------------------------------------------------------------------

CE3DSurface* CInterface::Surface() {
    CE3DSurface* back = m_screen->BackSurface();
    if (!m_separateCanvas || !back) return back;
    if (m_ownCanvas && (m_ownCanvas->m_width != back->m_width || m_ownCanvas->m_height != back->m_height)) {
        delete m_ownCanvas;
        m_ownCanvas = nullptr;
    }
    if (!m_ownCanvas) {
        // A surface of its own, transparent where nothing was drawn; when it
        // cannot be had the back buffer it is.
        m_ownCanvas = new CE3DSurface(back->Screen());
        if (!m_ownCanvas->Create(back->m_width, back->m_height, false) ||
            !m_ownCanvas->SetColorKey(kCanvasKey[0], kCanvasKey[1], kCanvasKey[2])) {
            delete m_ownCanvas;
            m_ownCanvas = nullptr;
            m_separateCanvas = 0;
            return back;
        }
        m_ownCanvas->ResetClip();
        m_ownCanvas->Fill(m_ownCanvas->Pack(kCanvasKey[0], kCanvasKey[1], kCanvasKey[2]));
    }
    return m_ownCanvas;
}

void CInterface::ComposeCanvas(CE3DSurface* target) {
    if (!m_ownCanvas || !target || target == m_ownCanvas) return;
    m_ownCanvas->ResetClip();
    m_ownCanvas->BltTo(0, 0, target);
    m_ownCanvas->Fill(m_ownCanvas->Pack(kCanvasKey[0], kCanvasKey[1], kCanvasKey[2]));
}

CE3DFont* CInterface::BuildFont(const char* face, int width, int height, int weight, int attributes,
                                int outline) {
    return m_screen->GetFont(face, width, height, weight, attributes, outline);
}

void CInterface::PrepareFont(const char* face, int width, int height, int weight, int attributes,
                             int outline) {
    m_screen->PrepareFont(face, width, height, weight, attributes, outline);
}

// The new font is asked for before the old one is let go: a setting that did
// not change (the saved settings are read back at every start) finds the font
// it already has instead of building it again with a warning each time.
void CInterface::RebuildConsoleFont() {
    CE3DFont* old = m_consoleFont;
    m_consoleFont =
        BuildFont(m_ConsoleFontName.GetText(), m_ConsoleFontWidth, m_ConsoleFontHeight, 400, 4, 0);
    if (old) old->Release();
    if (m_consoleFont && m_consoleFont->m_height > 0) m_ConsoleLineHeight = m_consoleFont->m_height;
}

void CInterface::RebuildScreenFont() {
    CE3DFont* old = m_screenFont;
    m_screenFont = BuildFont(m_ScreenFontName.GetText(), m_ScreenFontWidth, m_ScreenFontHeight,
                             m_ScreenFontBold ? 700 : 400, 0, 1);
    if (old) old->Release();
}

int CInterface::ConsolePageRows() {
    CE3DSurface* surface = Surface();
    int height = surface ? surface->m_height : 480;
    int line = m_ConsoleLineHeight > 0 ? m_ConsoleLineHeight : 1;
    int rows = height / line - 2;
    return rows > 0 ? rows : 1;
}

void CInterface::CreateFonts() {
    // The interface's faces come with the game: the text and small faces
    // (Tahoma 13), the Asian one (MS Mincho 6 x 11), the outlined set
    // (Tahoma 24 and 13), the console's and the screen messages' as they
    // are set now, and ours; each is found below, none made with a warning.
    struct SFace {
        const char* name;
        int width, height, weight, attributes, outline;
    };
    const SFace faces[] = {
        {"Tahoma", 0, 13, 400, 0, 0},
        {"MS Mincho", 6, 11, 400, 4, 0},
        {"Tahoma", 0, 24, 400, 0, 1},
        {"Tahoma", 0, 13, 400, 0, 1},
        {m_ConsoleFontName.GetText(), m_ConsoleFontWidth, m_ConsoleFontHeight, 400, 4, 0},
        {m_ScreenFontName.GetText(), m_ScreenFontWidth, m_ScreenFontHeight, m_ScreenFontBold ? 700 : 400, 0,
         1},
        {"Arial", 0, 14, 400, 0, 0},
        {"Arial", 0, 24, 700, 0, 0},
        {"Arial", 0, 18, 700, 0, 0},
    };
    for (const SFace& f : faces) PrepareFont(f.name, f.width, f.height, f.weight, f.attributes, f.outline);
    for (CE3DFont** f : {&m_font, &m_largeFont, &m_clockFont})
        if (*f) {
            (*f)->Release();
            *f = nullptr;
        }
    m_font = BuildFont("Arial", 0, 14, 400, 0, 0);
    m_largeFont = BuildFont("Arial", 0, 24, 700, 0, 0);
    m_clockFont = BuildFont("Arial", 0, 18, 700, 0, 0);
    if (!m_consoleFont) RebuildConsoleFont();
    if (!m_screenFont) RebuildScreenFont();
    if (m_guiResourceFolder.IsEmpty()) m_guiResourceFolder.Assign(m_files->GetPath(nullptr, "GUI"));
    m_console.Init(CConsole::kScrollBackLines, 17, 8);
    m_console.LoadPictures(m_screen->Screen(), m_guiResourceFolder.GetText());
    m_hud.CreateFonts();
}

void CInterface::LoadConsoleBackground() {
    m_console.LoadBackgroundPicture(m_screen->Screen(), m_guiResourceFolder.GetText());
}

void CInterface::ReleaseSurfaces() {
    // The in-game screen's surface is made again at the new size, and the
    // canvas is the back buffer or, when vid_UseSeprate2DSurface is set now,
    // a surface of its own.
    delete m_guiSurface;
    m_guiSurface = nullptr;
    delete m_ownCanvas;
    m_ownCanvas = nullptr;
    m_separateCanvas = m_UseSeparate2DSurface;
    m_GUIChanged = 1;
    // The first frames at the new size show no cursor.
    m_hud.m_skipFrames = kSkipFramesAfterDisplayChange;
}

void CInterface::DrawUnitMouseInfo() {
    m_mouseInfo = 0;
    // The tooltips over everything else of the running game.
    if (m_state->GuiWord() == 0 && m_state->GameState() == 2) m_hud.DrawTooltips(Surface());
}

void CInterface::DrawMouseCursor(CE3DSurface* surface) {
    // Outside a running game (the menus) the idle arrow.
    if (m_state->GuiWord() != 0 || m_state->GameState() != 2) {
        m_hud.m_cursor = m_mouseBitmaps[0];
        m_hud.m_cursorOffset[0] = m_hud.m_cursorOffset[1] = -16;
    }
    ComposeCanvas(surface);
    m_hud.DrawMouseCursor(surface);
}

void CInterface::DrawProgressFrame() {
    CE3DSurface* surface = Surface();
    if (!surface) return;
    surface->ResetClip();
    surface->Fill(0);
    DrawProgressScreen();
}

void CInterface::DrawConsole(int noMouseInfo) {
    CSysScopedLock<CSysMutex> hold(m_console.Mutex());
    if (m_progressScreen) {
        DrawProgressScreen();
        return;
    }
    if (m_consoleRole->ConsoleDrawingOff()) return;
    SConsoleDraw d;
    d.canvas = Surface();
    d.font = m_consoleFont;
    d.lineHeight = m_ConsoleLineHeight > 0 ? m_ConsoleLineHeight : 11;
    d.commandLine = (m_state->GameState() == 2 && m_state->GuiWord() == 0) || m_state->GuiWord() == 1;
    d.edit = m_consoleRole->CommandLineEdit();
    if (m_fullConsole) m_console.m_mini = 0;
    SPanelRect panel = m_consolePanel;
    if (!panel.bound && d.canvas) {
        // No GUI has named a panel "Console" nor given the mini console its
        // rows: it takes a band of its own along the bottom of the canvas.
        if (m_console.m_miniLines < 1) m_console.m_miniLines = kBuiltInMiniConsoleRows;
        panel.bound = 1;
        panel.x = m_console.m_marginX;
        panel.width = d.canvas->m_width - 2 * m_console.m_marginX;
        panel.height = m_console.m_miniLines * d.lineHeight;
        panel.y = d.canvas->m_height - m_console.m_marginY - panel.height;
    }
    d.hasPanel = panel.bound != 0;
    d.panelLeft = panel.x;
    d.panelTop = panel.y;
    d.panelRight = panel.x + panel.width;
    d.panelBottom = panel.y + panel.height;
    m_console.Draw(d);
    if (m_console.IsVisible() && !m_console.m_mini && !noMouseInfo) {
        m_mouseInfo = 0;
        DrawUnitMouseInfo();
    }
}
