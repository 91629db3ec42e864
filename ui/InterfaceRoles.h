// What the interface asks of the game around it: narrow roles, one per
// concern, beside the world it shows and gives orders to (CInterface::
// SetWorld), the session it chats on (SetNetGame) and the files role of the
// world's (IWorldFiles).
//
//   role                what it holds                                      the game's implementer
//   IInterfaceScreen    the back buffer, clearing and presenting it,       app/GameRoles.cpp (game
//                       the screen's fonts and pictures, the game view's   view and screen)
//                       viewport (pick rays, projections)
//   IInterfaceConsole   the command interpreter, the clock the console     app/GameRoles.cpp (input
//                       blinks and times its messages by, the code page,   manager, clock)
//                       the command line's edit field, whether the
//                       console draws at all
//   IInterfaceState     the game's state words and the order modes the     app/GameRoles.cpp (CGame,
//                       input holds (queue, direct move, formation),       input manager)
//                       the map editor's mode
//   IGUIGame            the game's kind, the GUI word, the frame time,     app/GameInterface.cpp
//   (ui/GUIRoles.h)     scripts at the next frame, the mission's result,   (CGame, clock, input
//                       the progress stack's top entry                     manager, world)
//   IGUISound           the GUI's sound banks on the sound engine          app/GameInterface.cpp
//   (ui/GUISound.h)                                                        (sound engine)
//
// A role that was not given is answered by a default that draws nothing and
// holds nothing; none is reached through a global.
#pragma once

#include <cstdint>

class CCommandInterpreter;
class CE3DFont;
class CE3DSurface;
class CE3DScreen;
class CE3DViewport;
class CEditField;
class IWorldFiles;
class IGUIGame;
class IGUISound;

class IInterfaceScreen {
public:
    virtual ~IInterfaceScreen() = default;
    // The surface the interface draws on (null before the display is set up).
    virtual CE3DSurface* BackSurface() = 0;
    // Fills the back buffer with colour 0.
    virtual void ClearScreen() = 0;
    // Draws the mouse cursor and presents the back buffer.
    virtual void Redraw() = 0;
    // A font of the screen in the game's character set (null when none).
    virtual CE3DFont* GetFont(const char* face, int width, int height, int weight, int attributes,
                              int outline) = 0;
    // Makes sure the screen holds that font among the fonts that come with
    // the game, so that GetFont finds it (a screen without fonts has none
    // to make).
    virtual void PrepareFont(const char* face, int width, int height, int weight, int attributes,
                             int outline) {
        (void)face, (void)width, (void)height, (void)weight, (void)attributes, (void)outline;
    }
    // The screen the console's pictures and videos live on (null before the
    // display is set up).
    virtual CE3DScreen* Screen() = 0;
    // The viewport of the game view: its pick rays and projections; null
    // without a display.
    virtual CE3DViewport* Viewport() = 0;
};

class IInterfaceConsole {
public:
    virtual ~IInterfaceConsole() = default;
    // The game clock's counter and its counts per second.
    virtual uint64_t ClockNow() = 0;
    virtual uint64_t ClockFrequency() = 0;
    virtual CCommandInterpreter* Interpreter() = 0;
    // The game's Windows code page (clipboard text is in it).
    virtual int CodePage() = 0;
    // GUI_Disable or g_DontDrawConsole: the console is not drawn.
    virtual bool ConsoleDrawingOff() = 0;
    // The edit field while it edits the console's command line (null
    // otherwise): the console draws its marks and caret.
    virtual const CEditField* CommandLineEdit() = 0;
};

class IInterfaceState {
public:
    virtual ~IInterfaceState() = default;
    // The frame dispatch's two state words: the GUI word (non-zero while an
    // interface screen runs) and the game state (2 running).
    virtual int32_t GuiWord() = 0;
    virtual int32_t GameState() = 0;
    // The modes the input holds for the next command (kCommandQueue,
    // kCommandDirect, kCommandFormation of world/WorldCommands.h).
    virtual uint32_t OrderModes() = 0;
    // The map-editing mode (M_EditMode).
    virtual bool MapEditMode() = 0;
};

// The roles an interface is given; a null one is answered by its default.
// The GUI's own two (ui/GUIRoles.h, ui/GUISound.h): the game as the GUI
// sees it, and the sound engine's side of the GUI's sound banks.
struct SInterfaceRoles {
    IWorldFiles* files = nullptr;
    IInterfaceScreen* screen = nullptr;
    IInterfaceConsole* console = nullptr;
    IInterfaceState* state = nullptr;
    IGUIGame* gui = nullptr;
    IGUISound* guiSound = nullptr;
};
