// What the interface asks of the game around it, beyond what the network
// game asks (CNetGameHost): the clock for the console's caret and screen
// messages, the command interpreter, the screen's back buffer and fonts, and
// the switches that keep the console from drawing. The game object implements
// it; a test drives the interface with a host of its own.
#pragma once

#include <cstdint>

#include "netgame/NetGameHost.h"

class CCommandInterpreter;
class CE3DFont;
class CE3DSurface;
class CE3DScreen;
class CEditField;
class CNetGame;

class CInterfaceHost : public CNetGameHost {
public:
    // The session (null before it is made).
    virtual CNetGame* NetGame() = 0;
    // The game clock's counter and its counts per second.
    virtual uint64_t ClockNow() = 0;
    virtual uint64_t ClockFrequency() = 0;
    virtual CCommandInterpreter* Interpreter() = 0;
    // The game's Windows code page (clipboard text is in it).
    virtual int CodePage() = 0;
    // GUI_Disable or g_DontDrawConsole: the console is not drawn.
    virtual bool ConsoleDrawingOff() = 0;

    // The surface the interface draws on (null before the display is set up).
    virtual CE3DSurface* BackSurface() = 0;
    // Fills the back buffer with colour 0.
    virtual void ClearScreen() = 0;
    // Draws the mouse cursor and presents the back buffer.
    virtual void Redraw() = 0;
    // A font of the screen in the game's character set (null when none).
    virtual CE3DFont* GetFont(const char* face, int width, int height, int weight, int attributes,
                              int outline) = 0;
    // True while the console's command line has the typing caret, and the
    // caret's x offset in text drawn with font.
    virtual bool CommandLineHasCaret() = 0;
    virtual int CommandLineCaretX(CE3DFont* font, const char* text) = 0;
    // The edit field while it edits the console's command line (null
    // otherwise): the console draws its marks and caret.
    virtual const CEditField* CommandLineEdit() { return nullptr; }
    // The screen the console's pictures and videos live on (null before the
    // display is set up).
    virtual CE3DScreen* Screen() { return nullptr; }
};
