// The single-line edit field.
//
// The game has one text-editing state, shared by the console's command line
// and the GUI's edit boxes. At most one string is attached to it at a time;
// the Edit_ commands that the key-binding files bind to keys (Home, Backspace,
// Control+Left ...) act on that string: insert or overwrite, delete by
// character or word, cursor and word moves, a selection with an anchor, the
// clipboard, and a history of the lines that were attached before. The input
// manager owns the field and attaches it each frame to whatever the current
// context edits.
//
// The field keeps a private copy of the text as it last left it. When some
// other part of the game changes the attached string behind its back (a paste
// into the console line, a GUI reset), the next operation notices the
// difference and attaches the string again, cursor at its end.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "core/StrBuf.h"

constexpr int kEditHistorySize = 128;
constexpr int kEditNotAttachedOffset = -8192;   // EditRender result with nothing attached
constexpr uint8_t kEditControlCodeGlyph = 169;  // shown for characters below 32

// Digits, ASCII letters and every byte from 192 up.
bool IsEditWordChar(uint8_t c);
// Length of the font's inline code sequence starting at text[i] (colour,
// inverse and reset codes with their parameter bytes), 0 when text[i] is not
// a code byte. Never reaches past the terminator.
int EditInlineCodeLength(const char* text, int i);

class CEditField {
public:
    enum EClipResult { CLIP_OK, CLIP_CANNOT_OPEN, CLIP_NOT_TEXT };
    struct SHooks {
        std::function<void()> blinkReset;        // show the console cursor now
        std::function<void(const char*)> print;  // console message, white
        std::function<double()> seconds;         // game clock, for the overwrite blink
        std::function<EClipResult(std::string&)> getClipboard;
        std::function<EClipResult(const std::string&)> setClipboard;
    };

    CEditField();
    void SetHooks(SHooks hooks) { m_hooks = std::move(hooks); }

    void Attach(CStrBuf* text);
    void Detach() { m_attached = nullptr; }
    CStrBuf* Attached() const { return m_attached; }

    void HistoryOlder();
    void HistoryNewer();
    void InsertChar(char c);
    void DeleteSelection();
    void Backspace();
    void Delete();
    void DeleteWordLeft() { DeleteWord(true); }
    void DeleteWordRight() { DeleteWord(false); }
    void CursorLeft() { Move(m_cursor - 1, false, true); }
    void CursorRight() { Move(m_cursor + 1, false, true); }
    void WordLeft() { Move(WordLeftOf(), false, true); }
    void WordRight() { Move(WordRightOf(), false, true); }
    void Home() { Move(0, false, true); }
    void End() { Move(Length(), false, false); }
    void SelectLeft() { Move(m_cursor - 1, true, true); }
    void SelectRight() { Move(m_cursor + 1, true, true); }
    void SelectWordLeft() { Move(WordLeftOf(), true, true); }
    void SelectWordRight() { Move(WordRightOf(), true, true); }
    void SelectHome() { Move(0, true, true); }
    void SelectEnd() { Move(Length(), true, false); }
    bool Copy();
    void Paste();
    void Cut();

    // The text as it is drawn: control characters as 169 while their display
    // is on, the selection (or the overwrite cursor) marked with inverse codes.
    void FormatEditText(CStrBuf& out) const;
    // The cursor's x offset in pixels for a font given by its advance widths;
    // -8192 with nothing attached, -1 for an empty text.
    int CursorOffset(const std::function<int(uint8_t)>& advance) const;

    int Cursor() const { return m_cursor; }
    int Anchor() const { return m_anchor; }
    bool HasSelection() const { return m_anchor >= 0 && m_anchor != m_cursor; }
    int HistoryIndex() const { return m_historyIndex; }
    const CStrBuf& History(int i) const { return m_history[i]; }

    uint8_t m_insert = 1;               // Edit_Insert
    uint8_t m_displayControlCodes = 0;  // Edit_DisplayControlCodes
    uint8_t m_selectOnAttach = 1;       // the first attach selects everything

private:
    int Length() const { return m_attached ? m_attached->GetLength() : 0; }
    // Re-attaches when the string was changed elsewhere; false when detached.
    bool Sync();
    void Move(int to, bool select, bool blink);
    void DeleteWord(bool left);
    void Store(const std::string& text);  // into the string and the private copy
    void Erase(int from, int to);
    int WordLeftOf() const;
    int WordRightOf() const;
    void BlinkReset() const;
    std::string DisplayText() const;

    CStrBuf* m_attached = nullptr;
    CStrBuf m_copy;
    CStrBuf m_history[kEditHistorySize];
    int m_historyIndex = -1;
    int m_cursor = 0;
    int m_anchor = -1;
    SHooks m_hooks;
};
