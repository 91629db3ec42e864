// The console: the game's log and its command prompt.
//
// Every subsystem prints here, from any thread: CConsole::Print stores the
// line in a scroll-back ring (6900 lines once Init ran) and, when asked to
// echo, also as a timed screen message that shows over the game for a few
// seconds. The player types command lines into the console's command line;
// ExecuteCommandLine keeps them in a history of 127 lines and runs them
// quietly through the interpreter, and a line that runs nothing goes out as
// chat. The interface object owns the one CConsole; drawing reads the state
// kept here (lines, colours, view position, screen messages, blink phase).
//
// Lines can also be copied to standard output (or any sink) as they are
// printed, which is how a headless run or a test harness reads the console.
#pragma once

#include <cstdint>
#include <vector>

#include "core/StrBuf.h"
#include "platform/sys/Thread.h"

class CCommandInterpreter;
class CE3DFont;
class CE3DSurface;
class CE3DScreen;
class CE3DVideo;
class CBitmapSurface;
class CEditField;

// What the console needs of the game around it.
class IConsoleHost {
public:
    virtual ~IConsoleHost() = default;
    // The game clock: current count and counts per second.
    virtual uint64_t ConsoleClockNow() = 0;
    virtual uint64_t ConsoleClockFrequency() = 0;
    // The interpreter that command lines run through (null: none yet).
    virtual CCommandInterpreter* ConsoleInterpreter() = 0;
    // Sends a typed line that ran no command as chat, with the local player's
    // name and colour.
    virtual void ConsoleSendChat(const char* text) = 0;
    // Clipboard text in the game's code page.
    enum EClipboard {
        kClipboardOk,
        kClipboardNotText,
        kClipboardOpenFailed,
    };
    virtual EClipboard ConsoleGetClipboard(CStrBuf& out) {
        (void)out;
        return kClipboardNotText;
    }
    virtual bool ConsoleSetClipboard(const char* text) {
        (void)text;
        return false;
    }
    // The console was shown or hidden: the interface redraws.
    virtual void ConsoleVisibilityChanged() {}
    // Draws the console and presents the frame at once (start-up and loading,
    // while no frame loop runs); flag as for CConsole::Draw.
    virtual void ConsoleRenderNow(bool flag) { (void)flag; }
};

// One line of the scroll-back, with its colour.
struct CConsoleLine {
    CStrBuf text;
    uint8_t r = 255, g = 255, b = 255;
};
// A timed screen message is held the same way.
using CConsoleScreenLine = CConsoleLine;

// What one draw of the console needs from the interface around it.
struct SConsoleDraw {
    CE3DSurface* canvas = nullptr;  // the interface's 2D canvas
    CE3DFont* font = nullptr;       // the console font
    int lineHeight = 11;
    bool commandLine = false;  // the game's state lets the command line show
    // The edit field when it edits the console's command line (the cursor
    // shows only then), else null.
    const CEditField* edit = nullptr;
    // The GUI panel "Console", in which the mini console draws.
    bool hasPanel = false;
    int panelLeft = 0, panelTop = 0, panelRight = 0, panelBottom = 0;
};

// Receives every printed line (after it is stored), on the printing thread.
typedef void (*ConsoleLineSink)(void* user, const char* text, int r, int g, int b, bool echo);

class CConsole {
public:
    enum {
        kScrollBackLines = 6900,
        kScreenLines = 2048,
        kHistoryLines = 127,
        kMaxScreenMessageRows = 10,
    };

    explicit CConsole(IConsoleHost* host = nullptr);
    ~CConsole();
    CConsole(const CConsole&) = delete;
    CConsole& operator=(const CConsole&) = delete;

    void SetHost(IConsoleHost* host) { m_host = host; }

    // Creates the rings on the first call; the margins are for drawing. The
    // pictures are loaded by the drawing side.
    bool Init(int scrollBack, int marginX, int marginY);
    bool IsInitialised() const { return !m_lines.empty(); }

    void Show();
    void Hide();
    bool IsVisible() const { return m_visible != 0; }

    bool Print(const char* text, bool replaceLast, int r, int g, int b, bool echo);
    bool Printf(const char* format, ...) __attribute__((format(printf, 2, 3)));
    // The echo flag is an int: the last named parameter before the arguments
    // must be of a type that variadic calls do not promote.
    bool PrintfColor(const char* format, int r, int g, int b, int echo, ...);
    // Prints in white and shows the console at once, for progress lines.
    bool PrintAndRender(const char* text, bool replaceLast, bool flag);
    // "Current time is : h:mm:ss d/m, yyyy" in local time.
    void PrintTime();

    // Lines also go to a sink: standard output, or a function of the caller's.
    void SetEchoToStdout(bool on) { m_echoStdout = on; }
    void SetLineSink(ConsoleLineSink sink, void* user);

    // ---- scroll-back, for drawing and the scroll commands
    int GetLineCount() const { return m_lineCount; }  // lines that hold text
    // Line i counted from the newest (0) towards older ones; null past the end.
    const CConsoleLine* GetLine(int fromNewest) const;
    // How far the view is scrolled back (0: it follows the newest line).
    int GetViewOffset() const { return m_viewOffset; }
    void ScrollOlder(int lines);
    void ScrollNewer(int lines);
    void ScrollToNewest() { m_viewOffset = 0; }
    void ScrollToOldest();

    // ---- timed screen messages
    // Moves the messages up one row when their time ran out: four seconds
    // after the last echoed print, then every two seconds.
    void AdvanceScreenMessages();
    // Advances the messages, then draws the newest ones on the canvas in the
    // screen-message font: word-wrapped, in their colours, newest at the
    // bottom of a band of m_numMessageLines rows from (80, 35), ending 280
    // pixels short of the right edge. The running game's frame calls it.
    void DrawScreenMessages(CE3DSurface* canvas, CE3DFont* font);
    const CConsoleScreenLine* GetScreenLine(int fromNewest) const;
    uint64_t GetScreenExpiry() const { return m_screenExpiry; }
    void ClearScreenMessages();
    int32_t m_numMessageLines = 4;  // rows shown while no owner's setting is bound
    // The owner's setting of the rows shown (Interfaceopt_NumMessagesLines),
    // read at every draw; null leaves m_numMessageLines in force.
    const int32_t* m_messageLinesSetting = nullptr;

    // ---- drawing (console/ConsoleDraw.cpp)
    // Draws the full console (over its background video or picture) or the
    // mini console inside the panel, with the command line; the caller holds
    // the console mutex. False when nothing could be drawn.
    bool Draw(const SConsoleDraw& d);
    // The console picture (Console.jpg) and the confirm dialog's two sprites
    // (dialog_1.bmp, dialog_2.bmp) from the GUI resource folder, each loaded
    // again; a picture that fails is reported and left out.
    void LoadPictures(CE3DScreen* screen, const char* guiFolder);
    // Loads the console picture alone again.
    void LoadBackgroundPicture(CE3DScreen* screen, const char* guiFolder);
    void ReleasePictures();
    // The background video (owned; null removes it).
    void SetBackgroundVideo(CE3DVideo* video);
    CE3DVideo* BackgroundVideo() const { return m_backgroundVideo; }
    CBitmapSurface* Picture() const { return m_picture; }
    CBitmapSurface* DialogSprite(int i) const { return i == 0 || i == 1 ? m_dialogSprites[i] : nullptr; }

    // ---- cursor blink
    void ResetBlink();
    // Toggles the phase when more than a quarter second passed; returns it.
    int UpdateBlink();
    int GetBlinkPhase() const { return m_blinkPhase; }

    // ---- command line and history
    CStrBuf& CommandLine() { return m_commandLine; }
    bool ExecuteCommandLine(const char* text);
    // History entry 0 is the oldest, 126 the newest.
    const char* GetHistory(int index) const;
    // Browse position: 0 the typed line, 1 the newest entry, 127 the oldest.
    int m_historyIndex = 0;

    // What the command-line keys do (the edit field notices the changed line
    // and re-attaches itself).
    // Runs the typed line: echoes it, runs it (or sends it as chat), keeps it
    // in the history as typed and empties the line.
    void SubmitCommandLine();
    // Keeps the typed line in the history without running it.
    void StoreCommandLine();
    void HistoryOlder();
    void HistoryNewer();
    // Completes the command name on the line; true when it became one name.
    bool CompleteCommandLine();
    bool PasteToCommandLine();
    bool CopyFromCommandLine();

    // The console mutex: held by every print and by drawing.
    CSysMutex& Mutex() { return m_mutex; }

    uint8_t m_mini = 0;
    int32_t m_miniLines = 0;
    int32_t m_marginX = 17;
    int32_t m_marginY = 8;

private:
    void PushHistory();
    // Recycles the oldest line of a ring to the front (or reuses the newest).
    static void Push(std::vector<CConsoleLine>& ring, int& newest, int& count, int* viewOffset,
                     const char* text, bool replaceLast, int r, int g, int b);
    uint64_t Now() const;
    uint64_t Frequency() const;

    IConsoleHost* m_host = nullptr;
    CSysMutex m_mutex;
    uint8_t m_visible = 0;

    std::vector<CConsoleLine> m_lines;
    int m_newest = 0;
    int m_lineCount = 0;
    int m_viewOffset = 0;

    std::vector<CConsoleScreenLine> m_screen;
    int m_screenNewest = 0;
    int m_screenCount = 0;
    uint64_t m_screenExpiry = 0;

    uint64_t m_blinkTime = 0;
    int m_blinkPhase = 0;

    CStrBuf m_history[kHistoryLines];
    CStrBuf m_commandLine;

    CBitmapSurface* m_picture = nullptr;  // counted
    CBitmapSurface* m_dialogSprites[2] = {nullptr, nullptr};
    CE3DVideo* m_backgroundVideo = nullptr;

    bool m_echoStdout = false;
    ConsoleLineSink m_sink = nullptr;
    void* m_sinkUser = nullptr;
};
