// The list fillers' common reading of a list panel: a list holds its rows in
// its first child, a row holds its columns (or cells) as its children. A part
// the packfile leaves out is null, never read past the children there are.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "ui/GUIObject.h"

namespace GUIRows {

inline CGUIObject* Child(CGUIObject* o, size_t i) {
    return o && i < o->m_Children.size() ? o->m_Children[i] : nullptr;
}

// The rows of a list: its first child's children.
inline std::vector<CGUIObject*>* Rows(CGUIObject* list) {
    return list && !list->m_Children.empty() ? &list->m_Children[0]->m_Children : nullptr;
}

inline void Show(CGUIObject* o, bool shown) {
    if (!o) return;
    o->m_Visible = shown ? 1 : 0;
    o->m_ChildrenHidden = shown ? 0 : 1;
}

// A text line changed only when it differs, so an unchanged list asks for
// no redraw.
inline void SetLine(CGUIObject* o, const char* text) {
    if (!o) return;
    if (o->m_TextLines.size() == 1 && o->m_TextLines[0].Equals(text)) return;
    o->SetText(text);
}
inline void SetLine(CGUIObject* o, const std::string& text) {
    SetLine(o, text.c_str());
}

// The common scroll rule: no further than a full last page, not below 0.
inline int32_t Scroll(int32_t position, int32_t records, int32_t rows) {
    return std::max(0, std::min(position, records - rows));
}

}  // namespace GUIRows
