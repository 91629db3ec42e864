// A settings list on a screen: a GUI list object that a "DefineList"
// property binds to a settings class shows one row per entry of the class's
// view (basic or advanced), the entry's label on the row and its value in
// the row's value cell, with a scroll bar when there are more entries than
// rows. A press on a row's button steps the entry (left up, right down) or,
// for a text, starts editing the value cell; a double click edits a number.
//
// The structure the packfile gives a list: child 0 holds the rows; child 1
// is the scroll bar, its child 0's first child scrolls down and its child
// 1's first child up. A row's child 0 holds its cells: the label cell (its
// own children hidden while the row is used), the value cell and the button
// cell, whose first child is what the mouse presses. A list or row that
// lacks part of it is passed over, never read past its children.
#include <algorithm>

#include "ui/GUIListRows.h"
#include "ui/GUIObject.h"
#include "ui/Interface.h"
#include "ui/Settings.h"
#include "ui/SettingsLists.h"

namespace {

using GUIRows::Child;
using GUIRows::SetLine;
using GUIRows::Show;

enum : int32_t { kLeftUp = 1, kLeftPress = 5, kDoubleClick = 6, kRightPress = 7 };

// The visible entries of the class's current view, in list order.
std::vector<CSettingEntry*> Visible(CSettingClass* c) {
    std::vector<CSettingEntry*> out;
    const bool advanced = c->m_advanced != 0;
    for (std::unique_ptr<CSettingEntry>& e : c->m_entries)
        if (e->Shows(advanced)) out.push_back(e.get());
    return out;
}

// Every object below o (o included) takes the class and the list.
void BindBelow(CGUIObject* o, CSettingClass* c, CGUIObject* list) {
    for (CGUIObject* child : o->m_Children) {
        child->m_SettingsClass = c;
        child->m_ListOwner = list;
        child->m_SettingEntry = nullptr;  // the next refresh links the value cells
        BindBelow(child, c, list);
    }
}

}  // namespace

CSettingClass* CInterface::FindSettingClass(const char* name) {
    return m_settings ? m_settings->Find(name) : nullptr;
}

void CInterface::UnbindSettingsLists() {
    if (!m_settings) return;
    for (std::unique_ptr<CSettingClass>& c : m_settings->m_classes) c->m_list = nullptr;
}

void CInterface::ParseSettingsList() {
    // A value being typed belongs to the entries that go.
    LeaveEditMode(true);
    if (!m_settings) m_settings = std::make_unique<CSettingsLists>(this);
    m_settings->Parse();
    BindSettingsLists();
}

void CInterface::BindSettingsLists() {
    if (!m_GUIRoot || !m_settings || !m_settings->Built()) return;
    for (std::unique_ptr<CSettingClass>& c : m_settings->m_classes) c->m_list = nullptr;
    // Depth first: a list binds what lies below it, and a list inside a list
    // binds its own part again.
    struct SWalk {
        CInterface* ui;
        void Visit(CGUIObject* o) {
            if (!o->m_DefineList.IsEmpty()) {
                CSettingClass* c = ui->FindSettingClass(o->m_DefineList.GetText());
                if (!c) {
                    if (ui->m_unknownListsSaid.insert(o->m_DefineList.GetText()).second)
                        ui->m_console.PrintfColor("There is no settings list '%s' (DefineList of '%s')", 255,
                                                  80, 80, 0, o->m_DefineList.GetText(), o->m_Name.GetText());
                } else {
                    o->m_SettingsClass = c;
                    o->m_ListOwner = nullptr;
                    o->m_SettingEntry = nullptr;
                    c->m_list = o;
                    BindBelow(o, c, o);
                }
            }
            if (!o->m_FlipListMode.IsEmpty() && !ui->FindSettingClass(o->m_FlipListMode.GetText()) &&
                ui->m_unknownListsSaid.insert(o->m_FlipListMode.GetText()).second)
                ui->m_console.PrintfColor("There is no settings list '%s' (FlipListMode of '%s')", 255, 80,
                                          80, 0, o->m_FlipListMode.GetText(), o->m_Name.GetText());
            for (CGUIObject* child : o->m_Children) Visit(child);
        }
    } walk{this};
    walk.Visit(m_GUIRoot);
    // The flip buttons' captions follow their class's view.
    struct SCaptions {
        CInterface* ui;
        void Visit(CGUIObject* o) {
            if (!o->m_FlipListMode.IsEmpty() && o->HasText())
                if (CSettingClass* c = ui->FindSettingClass(o->m_FlipListMode.GetText())) {
                    const bool search = c->m_name == "MatchServers";
                    o->m_TextLines[0] =
                        ui->SystemTextOrName(c->m_advanced ? (search ? 177 : kSysLidBasicSettings)
                                                           : (search ? 176 : kSysLidAdvancedSettings));
                    o->m_SizeKnown = 0;
                }
            for (CGUIObject* child : o->m_Children) Visit(child);
        }
    } captions{this};
    captions.Visit(m_GUIRoot);
    m_GUIChanged = 1;
}

void CGUIObject::RefreshSettingsRows() {
    CSettingClass* c = m_SettingsClass;
    CGUIObject* rowsBox = Child(this, 0);
    if (!c || !rowsBox) return;
    const bool advanced = c->m_advanced != 0;
    const int32_t total = c->Count(advanced);
    const int32_t rows = int32_t(rowsBox->m_Children.size());
    m_ListScroll = std::max(0, std::min(m_ListScroll, total - rows));
    const std::vector<CSettingEntry*> visible = Visible(c);
    // The scroll bar only when there are more entries than rows.
    Show(Child(this, 1), total > rows);
    const int32_t used = std::min(total, rows);
    size_t next = size_t(m_ListScroll);
    for (int32_t r = 0; r < rows; ++r) {
        CGUIObject* row = rowsBox->m_Children[r];
        if (r >= used || next >= visible.size()) {
            Show(row, false);
            continue;
        }
        CSettingEntry* e = visible[next++];
        Show(row, true);
        SetLine(row, m_ui->SystemTextOrName(e->m_name));
        CGUIObject* cells = Child(row, 0);
        CGUIObject* label = Child(cells, 0);
        CGUIObject* value = Child(cells, 1);
        if (label) label->m_ChildrenHidden = 1;
        if (!value) continue;
        value->m_SettingEntry = e;
        // The box being typed into keeps what is typed.
        if (value == m_ui->m_editObject) continue;
        SetLine(value, e->ValueText());
    }
}

void CGUIObject::OnSettingsRowInput(CGUIObject* pressed, int32_t event) {
    CGUIObject* rowsBox = Child(this, 0);
    for (size_t r = 0; rowsBox && r < rowsBox->m_Children.size(); ++r) {
        CGUIObject* cells = Child(rowsBox->m_Children[r], 0);
        CGUIObject* value = Child(cells, 1);
        CGUIObject* target = Child(Child(cells, 2), 0);
        if (!target || target != pressed) continue;
        CSettingEntry* e = value ? value->m_SettingEntry : nullptr;
        if (!e) return;
        const bool text = e->m_kind == kSettingChars || e->m_kind == kSettingString;
        switch (event) {
            case kLeftPress:
                if (text && !e->m_readOnly) {
                    RefreshSettingsRows();
                    m_ui->EnterEditMode(value);
                } else {
                    e->Increase();
                }
                break;
            case kRightPress:
                e->Decrease();
                break;
            case kDoubleClick:
                if (e->m_kind != kSettingBool && e->m_kind != kSettingChoice && !e->m_readOnly) {
                    RefreshSettingsRows();
                    m_ui->EnterEditMode(value);
                }
                break;
            default:
                break;
        }
        m_ui->m_GUIChanged = 1;
        return;
    }
    if (event != kLeftUp) return;
    CGUIObject* bar = Child(this, 1);
    if (pressed == Child(Child(bar, 0), 0)) ++m_ListScroll;
    if (pressed == Child(Child(bar, 1), 0)) m_ListScroll = std::max(0, m_ListScroll - 1);
}
