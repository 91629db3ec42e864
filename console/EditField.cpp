#include "console/EditField.h"

#include <algorithm>

bool IsEditWordChar(uint8_t c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c >= 192;
}

int EditInlineCodeLength(const char* text, int i) {
    auto within = [text, i](int n) {
        for (int k = 1; k < n; ++k)
            if (!text[i + k]) return false;
        return true;
    };
    uint8_t c = static_cast<uint8_t>(text[i]);
    switch (c) {
        case 0x02:
        case 0x03:
        case 0x1F:
            // The short form repeats the code two places on: code, letter, code.
            if (within(3) && static_cast<uint8_t>(text[i + 2]) == c) return 3;
            if (within(7)) return 7;
            // A cut-off sequence runs to the end of the text.
            {
                int n = 1;
                while (text[i + n]) ++n;
                return n;
            }
        case 0x0F:
            return text[i + 1] ? 2 : 1;
        case 0x16:
            return 1;
        default:
            return 0;
    }
}

CEditField::CEditField() = default;

void CEditField::BlinkReset() const {
    if (m_hooks.blinkReset) m_hooks.blinkReset();
}

void CEditField::Attach(CStrBuf* text) {
    m_attached = text;
    if (!text) return;
    m_cursor = text->GetLength();
    m_anchor = -1;
    m_displayControlCodes = 0;
    if (!m_copy.IsEmpty()) {
        for (int i = kEditHistorySize - 1; i > 0; --i) m_history[i] = m_history[i - 1];
        m_history[0] = m_copy;
    }
    m_historyIndex = -1;
    m_copy = text->GetText();
    BlinkReset();
    if (m_selectOnAttach) {
        m_selectOnAttach = 0;
        m_anchor = 0;
    }
}

bool CEditField::Sync() {
    if (!m_attached) return false;
    if (!m_attached->Equals(m_copy.GetText())) Attach(m_attached);
    return true;
}

void CEditField::Store(const std::string& text) {
    *m_attached = text.c_str();
    m_copy = text.c_str();
}

void CEditField::Erase(int from, int to) {
    std::string text = m_attached->GetText();
    from = std::clamp(from, 0, static_cast<int>(text.size()));
    to = std::clamp(to, from, static_cast<int>(text.size()));
    text.erase(from, to - from);
    Store(text);
}

void CEditField::HistoryOlder() {
    if (!Sync()) return;
    m_historyIndex = std::min(m_historyIndex + 1, kEditHistorySize - 1);
    Store(m_history[m_historyIndex].GetText());
    m_cursor = Length();
    m_anchor = -1;
}

void CEditField::HistoryNewer() {
    if (!Sync()) return;
    m_historyIndex = std::max(m_historyIndex - 1, -1);
    // The private copy follows too, or the next key would take the browsed
    // line for an outside change and push it into the history.
    Store(m_historyIndex < 0 ? "" : m_history[m_historyIndex].GetText());
    m_cursor = Length();
    m_anchor = -1;
}

void CEditField::InsertChar(char c) {
    // A zero byte would end the string in the middle.
    if (!Sync() || !c) return;
    if (HasSelection()) DeleteSelection();
    std::string text = m_attached->GetText();
    int len = static_cast<int>(text.size());
    if (m_cursor >= len)
        text += c;
    else if (m_insert)
        text.insert(text.begin() + m_cursor, c);
    else
        text[m_cursor] = c;
    ++m_cursor;
    Store(text);
    m_anchor = -1;
    BlinkReset();
}

void CEditField::DeleteSelection() {
    if (!Sync()) return;
    if (m_anchor >= 0) {
        int from = std::min(m_anchor, m_cursor), to = std::max(m_anchor, m_cursor);
        Erase(from, to);
        m_cursor = std::min(from, Length());
    }
    m_anchor = -1;
    BlinkReset();
}

void CEditField::Backspace() {
    if (!Sync()) return;
    if (HasSelection()) return DeleteSelection();
    m_anchor = -1;
    if (m_cursor > 0) {
        Erase(m_cursor - 1, m_cursor);
        --m_cursor;
    }
    BlinkReset();
}

void CEditField::Delete() {
    if (!Sync()) return;
    if (HasSelection()) return DeleteSelection();
    m_anchor = -1;
    if (m_cursor < Length()) Erase(m_cursor, m_cursor + 1);
    BlinkReset();
}

void CEditField::DeleteWord(bool left) {
    if (!Sync()) return;
    // With a selection a word delete only drops the selection.
    bool selected = HasSelection();
    m_anchor = -1;
    if (!selected) {
        // Up to two runs: the blanks next to the cursor, then the word.
        const char* t = m_attached->GetText();
        int len = Length(), end = m_cursor;
        auto wordAt = [t, left](int i) { return IsEditWordChar(static_cast<uint8_t>(t[left ? i - 1 : i])); };
        auto more = [&](int i) { return left ? i > 0 : i < len; };
        int step = left ? -1 : 1;
        while (more(end) && !wordAt(end)) end += step;
        while (more(end) && wordAt(end)) end += step;
        Erase(std::min(end, m_cursor), std::max(end, m_cursor));
        m_cursor = std::min(end, m_cursor);
    }
    BlinkReset();
}

int CEditField::WordLeftOf() const {
    if (!m_attached) return 0;
    const char* t = m_attached->GetText();
    int i = std::min(m_cursor, Length());
    if (i == 0) return 0;
    bool word = IsEditWordChar(static_cast<uint8_t>(t[i - 1]));
    while (i > 0 && IsEditWordChar(static_cast<uint8_t>(t[i - 1])) == word) --i;
    return i;
}

int CEditField::WordRightOf() const {
    if (!m_attached) return 0;
    const char* t = m_attached->GetText();
    int len = Length(), i = m_cursor;
    if (i >= len) return len;
    bool word = IsEditWordChar(static_cast<uint8_t>(t[i]));
    while (i < len && IsEditWordChar(static_cast<uint8_t>(t[i])) == word) ++i;
    return i;
}

void CEditField::Move(int to, bool select, bool blink) {
    if (!Sync()) return;
    // The target was worked out before a possible re-attach; keep it valid.
    to = std::clamp(to, 0, Length());
    if (select) {
        if (m_anchor < 0) m_anchor = m_cursor;
    } else {
        m_anchor = -1;
    }
    m_cursor = to;
    if (blink) BlinkReset();
}

bool CEditField::Copy() {
    if (!Sync() || !HasSelection()) return false;
    int from = std::min(m_anchor, m_cursor), to = std::max(m_anchor, m_cursor);
    std::string sel(m_attached->GetText() + from, to - from);
    if (!m_hooks.setClipboard || m_hooks.setClipboard(sel) != CLIP_OK) {
        if (m_hooks.print) m_hooks.print("Failed to open clipboard...");
        return false;
    }
    BlinkReset();
    return true;
}

void CEditField::Paste() {
    if (!Sync()) return;
    // The clipboard is read before anything is deleted, so a paste that
    // fails leaves both the text and the selection as they were.
    std::string clip;
    EClipResult r = m_hooks.getClipboard ? m_hooks.getClipboard(clip) : CLIP_CANNOT_OPEN;
    if (r != CLIP_OK) {
        if (m_hooks.print)
            m_hooks.print(r == CLIP_NOT_TEXT ? "Clipboard format is not text..."
                                             : "Failed to open clipboard...");
        return;
    }
    if (HasSelection()) DeleteSelection();
    m_anchor = -1;
    // Line breaks and colour codes from another program would break the line
    // or its drawing; they are left out.
    std::string typed;
    typed.reserve(clip.size());
    for (char c : clip)
        if (static_cast<uint8_t>(c) >= 32) typed += c;
    // The whole text goes in at once, as typing it would leave it: inserted
    // at the cursor, or in overwrite mode over the characters up to the end
    // and appended after them.
    std::string text = m_attached->GetText();
    const size_t at = std::min(static_cast<size_t>(std::max(m_cursor, 0)), text.size());
    if (m_insert)
        text.insert(at, typed);
    else
        text.replace(at, std::min(typed.size(), text.size() - at), typed);
    m_cursor = static_cast<int>(at + typed.size());
    Store(text);
    m_anchor = -1;
    BlinkReset();
}

void CEditField::Cut() {
    if (!Sync() || !HasSelection()) return;
    // Only what reached the clipboard is removed.
    if (Copy()) DeleteSelection();
}

std::string CEditField::DisplayText() const {
    std::string text = m_attached ? m_attached->GetText() : "";
    if (m_displayControlCodes)
        for (char& c : text)
            if (static_cast<uint8_t>(c) < 32) c = static_cast<char>(kEditControlCodeGlyph);
    return text;
}

void CEditField::FormatEditText(CStrBuf& out) const {
    std::string text = DisplayText();
    int len = static_cast<int>(text.size());
    int from = -1, to = -1;
    if (HasSelection()) {
        from = std::min(m_anchor, m_cursor);
        to = std::max(m_anchor, m_cursor);
    } else if (!m_insert && m_cursor < len) {
        double s = m_hooks.seconds ? m_hooks.seconds() : 0.0;
        if (static_cast<long long>(s * 4.0) % 2 == 0) {
            from = m_cursor;
            to = m_cursor + 1;
        }
    }
    if (from < 0) {
        out = text.c_str();
        return;
    }
    from = std::min(from, len);
    to = std::min(to, len);
    // Widen the marked range so that it never cuts a code sequence in two.
    for (int i = 0; i < len;) {
        int n = EditInlineCodeLength(text.c_str(), i);
        if (n == 0) {
            ++i;
            continue;
        }
        if (from > i && from < i + n) from = i;
        if (to > i && to < i + n) to = i + n;
        i += n;
    }
    std::string result = text.substr(0, from);
    result +=
        "\x0f"
        "2";
    result += text.substr(from, to - from);
    result +=
        "\x0f"
        "2";
    result += text.substr(to);
    out = result.c_str();
}

int CEditField::CursorOffset(const std::function<int(uint8_t)>& advance) const {
    if (!m_attached) return kEditNotAttachedOffset;
    std::string text = DisplayText();
    if (text.empty()) return -1;
    int end = std::min(m_cursor, static_cast<int>(text.size()));
    int x = 0;
    for (int i = 0; i < end;) {
        int n = EditInlineCodeLength(text.c_str(), i);
        if (n > 0) {
            i += n;
            continue;
        }
        x += advance(static_cast<uint8_t>(text[i]));
        ++i;
    }
    return x;
}
