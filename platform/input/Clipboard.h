// The system clipboard, as text in the game's code page.
//
// The game's strings are single bytes in its Windows code page (1252 unless
// the language says otherwise); the desktop's clipboard holds UTF-8. Text is
// converted on the way in and out; characters the code page lacks become '?'.
// The clipboard needs the window layer to be up; before that every call
// fails, which the callers report as a clipboard that cannot be opened.
#pragma once

#include <cstddef>
#include <string>

enum EClipboardResult {
    CLIPBOARD_OK,
    CLIPBOARD_CANNOT_OPEN,  // no window layer, or the desktop refused
    CLIPBOARD_NOT_TEXT,     // it holds something, but no text
};

EClipboardResult Clipboard_GetText(std::string& out, int codePage);
EClipboardResult Clipboard_SetText(const char* text, size_t length, int codePage);

// The conversions themselves, for any Windows code page number.
std::string CodePage_FromUtf8(const std::string& utf8, int codePage);
std::string CodePage_ToUtf8(const std::string& text, int codePage);
