// Fuzz target of what reaches the input layer from outside: key names from
// scripts, typed and pasted text, sequences of editing keys, and MIDI
// messages from a device. The first byte chooses the part; the rest is its
// input. Checked: codes stay in the table, names read back, the edit field's
// cursor and anchor stay inside the text, and nothing reads out of bounds.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/InputManager.h"
#include "app/KeyNames.h"
#include "console/EditField.h"
#include "platform/input/Clipboard.h"

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

void FuzzKeyName(const std::string& name) {
    int code = KeyCodeFromName(name.c_str());
    Check(code >= 0 && code < kKeyCodeCount);
    if (code > 0) Check(KeyCodeFromName(KeyNameFromCode(code).c_str()) == code);
}

void FuzzEdit(const uint8_t* data, size_t size) {
    CStrBuf line;
    CEditField edit;
    std::string clip =
        "clip\x02"
        "4\x02"
        "board";
    edit.SetHooks({nullptr, nullptr, [] { return 0.0; },
                   [&clip](std::string& out) {
                       out = clip;
                       return CEditField::CLIP_OK;
                   },
                   [&clip](const std::string& in) {
                       // Copy and paste can double the line again and again;
                       // a large copy fails as a full clipboard would.
                       if (in.size() > 1024) return CEditField::CLIP_CANNOT_OPEN;
                       clip = in;
                       return CEditField::CLIP_OK;
                   }});
    edit.Attach(&line);
    bool stale = false;  // the line changed behind the field's back
    for (size_t i = 0; i < size; ++i) {
        uint8_t b = data[i];
        bool syncs = b % 24 != 21 && b % 24 != 22;
        switch (b % 24) {
            case 0:
                edit.Backspace();
                break;
            case 1:
                edit.Delete();
                break;
            case 2:
                edit.DeleteWordLeft();
                break;
            case 3:
                edit.DeleteWordRight();
                break;
            case 4:
                edit.CursorLeft();
                break;
            case 5:
                edit.CursorRight();
                break;
            case 6:
                edit.WordLeft();
                break;
            case 7:
                edit.WordRight();
                break;
            case 8:
                edit.Home();
                break;
            case 9:
                edit.End();
                break;
            case 10:
                edit.SelectLeft();
                break;
            case 11:
                edit.SelectRight();
                break;
            case 12:
                edit.SelectWordLeft();
                break;
            case 13:
                edit.SelectWordRight();
                break;
            case 14:
                edit.SelectHome();
                break;
            case 15:
                edit.SelectEnd();
                break;
            case 16:
                edit.Copy();
                break;
            case 17:
                if (line.GetLength() < 8192) edit.Paste();  // a line of bounded size
                break;
            case 18:
                edit.Cut();
                break;
            case 19:
                edit.HistoryOlder();
                break;
            case 20:
                edit.HistoryNewer();
                break;
            case 21:
                edit.m_insert ^= 1;
                break;
            case 22:
                line =
                    "changed \x0f"
                    "2elsewhere";
                break;
            default:
                edit.InsertChar(static_cast<char>(i + 1 < size ? data[++i] : b));
                break;
        }
        // Until an operation re-attaches, the old cursor may lie past the end.
        stale = (stale || b % 24 == 22) && !syncs;
        if (stale) continue;
        int len = line.GetLength();
        Check(edit.Cursor() >= 0 && edit.Cursor() <= len);
        Check(edit.Anchor() >= -1 && edit.Anchor() <= len);
    }
    CStrBuf shown;
    edit.m_displayControlCodes = size & 1;
    edit.FormatEditText(shown);
    int x = edit.CursorOffset([](uint8_t c) { return c & 7; });
    Check(x >= -1);
}

void FuzzMidi(const uint8_t* data, size_t size) {
    static SMidiState state;
    for (size_t i = 0; i + 3 <= size; i += 3)
        Input_MidiMessage(state, data[i] | (data[i + 1] << 8) | (data[i + 2] << 16) | (i & 0xff) << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const uint8_t* rest = data + 1;
    size_t n = size - 1;
    std::string text(reinterpret_cast<const char*>(rest), n);
    switch (data[0] % 4) {
        case 0:
            FuzzKeyName(text);
            break;
        case 1:
            FuzzEdit(rest, n);
            break;
        case 2:
            FuzzMidi(rest, n);
            break;
        default: {
            std::string cp = CodePage_FromUtf8(text, 1252);
            Check(cp.size() <= text.size());
            CodePage_ToUtf8(cp, 1252);
            break;
        }
    }
    return 0;
}
