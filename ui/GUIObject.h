// The GUI object tree.
//
// Every screen of the interface (menus, lobby, options, briefing, game
// finish, the in-game screen) is a tree of CGUIObject nodes read from a GUI
// packfile (ui/GUIPackfile.h). The interface owns the root; its children are
// the top-level GUIs ("screens"), each with a GUI id; below them hang panels,
// buttons, lists, texts and pictures. One class serves every kind of element:
// what an element is and does follows from its record values and from its
// named properties, free name/value pairs that the designer attached ("ID"
// names the panels the code binds, "CCE_OnPressed" a command to run, ...).
//
// This file holds the object's data, the property keywords applied when an
// object is loaded, the tree operations (children, screen links, searches,
// show and hide, size) and frame sequences. The per-frame update, drawing,
// mouse handling, sounds and press actions are in ui/GUIBehaviour.cpp; the
// screens and the interface's frame in ui/GUIScreens.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/StrBuf.h"

class CInterface;
class CE3DFont;
class CE3DSurface;
class CImageHandle;
class CBitmapSurface;
class CSettingClass;
class CSettingEntry;
struct SGUIObjectRecord;

// One frame of an animated object: the picture of the screen's resource
// table shown for its duration.
struct SGUIFrame {
    int32_t resourceId = 0;
    CStrBuf name;
    int32_t duration = 0;  // milliseconds
    int32_t value = 0;     // kept from the file
};

class CGUIProperty {
public:
    CStrBuf m_Name;
    CStrBuf m_Value;
};

// Values of m_Align.
enum : int32_t { kAlignNone = 0, kAlignLeft = 1, kAlignRight = 2, kAlignTop = 3, kAlignBottom = 4 };
// The row kind of a selection slot's texts (the HUD's), its data the unit's id.
constexpr int32_t kRowSelectionSlot = 400;

class CGUIObject {
public:
    // A new object below parent (null for the root); the owns-resources flag
    // says whether it keeps its own picture table (top-level GUIs).
    CGUIObject(CInterface* ui, CGUIObject* parent, bool ownsResources);
    ~CGUIObject();
    CGUIObject(const CGUIObject&) = delete;
    CGUIObject& operator=(const CGUIObject&) = delete;

    // ---- the tree
    // A new last child.
    CGUIObject* AddChild(bool ownsResources);
    // Sets the screen of this object and all below it.
    void SetScreen(CGUIObject* screen);
    // On the root: each top-level GUI becomes the screen of its objects
    // (only when the root owns resources).
    void LinkScreens();
    // Walks this object and everything below it (an object before its
    // children, children in order) for a property with exactly this name and
    // value: the interface's search result is the last match, its found-twice
    // flag says whether there was more than one. The caller clears both first.
    void FindByProperty(const char* name, const char* value);
    // Shows (hide false) or hides every object with the property; below a
    // match nothing is visited.
    void ShowByProperty(const char* name, const char* value, bool hide);
    // The property of that exact name, null when it has none.
    const CGUIProperty* Property(const char* name) const;
    // Applies the keyword table to one property at load.
    void ParseProperty(const CGUIProperty& p);

    // Reads the object's fields from its record and makes its children (the
    // pictures, fonts and sequences are the loader's, ui/GUILoad.cpp).
    void Load(const SGUIObjectRecord& record);

    // ---- size and state
    // The larger of the bitmap's and the text's extent (the text's only
    // with textOnly); the text extent is kept in m_TextSize.
    void GetSize(int32_t size[2], bool textOnly);
    // The position of the current press state of a three-state button;
    // false (x and y unchanged) for another state.
    bool GetStatePosition(int32_t& x, int32_t& y) const;
    int32_t GetSequenceLength() const;
    void StartSequence();
    // The frame whose span holds the elapsed milliseconds becomes the current
    // one; false when none does.
    bool SelectSequenceFrame(int32_t elapsed);
    // The picture of a resource id in the object's table (its own when it owns
    // one, else its screen's); null when there is none.
    CBitmapSurface* Picture(int32_t id) const;
    // The bitmap id that the object's kind and state show.
    int32_t BitmapIdShown() const;
    bool IsButton() const { return m_Kind == 2; }
    bool HasText() const { return !m_TextLines.empty(); }
    bool IsTopLevel() const;

    // ---- settings lists (ui/SettingsRows.cpp)
    // A settings list: its rows, texts and scroll bar from its class.
    void RefreshSettingsRows();
    // A press on an object of this settings list (a row's button, the
    // scroll bar's).
    void OnSettingsRowInput(CGUIObject* pressed, int32_t event);
    // Part of a settings list (a row, cell or button), or the list itself.
    bool IsSettingsPart() const { return m_SettingsClass && m_ListOwner; }
    bool IsSettingsList() const { return m_SettingsClass && !m_ListOwner; }

    // ---- behaviour (ui/GUIBehaviour.cpp)
    // Updates and draws, for this object and those below it, what lies on
    // the draw layer, at the parent's offset; 1.
    int Update(int32_t layer, int32_t offsetX, int32_t offsetY, CE3DSurface* canvas);
    // Hit test, hover and press handling at the screen point (x, y); 1.
    int OnMouse(int32_t x, int32_t y, int32_t event);
    // Plays the sound of event 0 to 4 (0 nothing yet, 1 press, 2 release,
    // 3 hover, 4 sequence start); true when it started or there is none.
    bool PlayEventSound(int32_t event);
    // The action of a completed press; 0 while GUI input is off, else 1.
    int OnPressed(int32_t event);
    // The list refills of the update without drawing.
    void RefreshLists(int32_t layer);
    // The text lines become the text split at carriage returns (a line feed
    // right after one is skipped).
    void SetText(const char* text);
    // The text line shown (TestLocalization shows "*LOC*" in each).
    const char* ShownLine(size_t i) const;

    CInterface* m_ui;
    CGUIObject* m_Parent;
    std::vector<CGUIObject*> m_Children;  // owned
    CGUIObject* m_Screen = nullptr;
    int32_t m_OwnsResources;
    CStrBuf m_Name;
    int32_t m_GUIId = 0;
    int32_t m_Layer = -1;
    int32_t m_Visible = 1;
    std::vector<CGUIProperty> m_Properties;

    // Appearance.
    int32_t m_Kind = 0;  // 0 m_BitmapId, 1 m_AltBitmapId, 2 three-state button; the root -1
    int32_t m_BitmapId = 0, m_AltBitmapId = 0;
    int32_t m_StateBitmapIds[3] = {0, 0, 0};  // kind 2: pressed, released, hover
    int32_t m_StatePositions[3][2] = {{0, 0}, {0, 0}, {0, 0}};
    int32_t m_BitmapState = 0;
    int32_t m_PositionState = 1;  // 0 pressed, 1 released
    int32_t m_X = 0, m_Y = 0;
    int32_t m_ScreenX = 0, m_ScreenY = 0;  // where it was drawn last
    int32_t m_Size[2] = {0, 0};
    uint8_t m_SizeKnown = 0;
    int32_t m_TextSize[2] = {0, 0};
    int32_t m_TextBox[2] = {0, 0};
    std::vector<std::unique_ptr<CImageHandle>> m_Resources;  // top-level GUIs
    int32_t m_SoundBank = 0;                                 // 1-based, 0 none
    int32_t m_EventSamples[5] = {0, 0, 0, 0, 0};             // 1-based, 0 none

    // Text.
    std::vector<CStrBuf> m_TextLines;
    CStrBuf m_Text;  // line 0 as loaded
    int32_t m_TextLength = 0;
    CStrBuf m_FontName = "Helvetica Condensed";
    int32_t m_FontWidth = 6, m_FontHeight = 12;
    int32_t m_FontWeightIndex = 3;
    int32_t m_FontAttributes = 0;
    CE3DFont* m_Font = nullptr;                             // counted
    int32_t m_TextAlign = 0;                                // 0 left, 1 centred, 2 right
    uint32_t m_Color1 = 0x00FFFFFF, m_Color2 = 0x00FFFFFF;  // 0x00BBGGRR: normal, hover
    CStrBuf m_CommandText;
    uint8_t m_Localized = 0;

    // Record values the behaviour keeps (see ui/GUIPackfile.h for the extras).
    int32_t m_ChildrenHidden = 0;
    int32_t m_HoverFlag = 0;
    int32_t m_JumpTarget = 0, m_JumpFlag = 0;
    int32_t m_ExtraA = 0, m_ExtraB = 0, m_ExtraF = 0, m_ExtraG = 0, m_ExtraJ = 0;
    uint8_t m_ExtraC = 1, m_ExtraD = 0, m_ExtraE = 0, m_ExtraI = 0;

    // List rows: what the list fillers put on the rows they fill.
    int32_t m_RowKind = 0;
    int32_t m_RowData = 0;
    // Drawn in the pulsing green (the statistics' best row).
    uint8_t m_Pulsing = 0;

    // Set by property keywords.
    CStrBuf m_LIDText;
    CStrBuf m_OnPressedCommand;
    uint8_t m_IsBuildScroll = 0, m_OnPressedBuild = 0, m_ShowScreenConsole = 0, m_DisableTextClipping = 0;
    uint8_t m_MustBeServer = 0, m_MustBeSkirmish = 0, m_NoPressEffect = 0;
    int32_t m_OnPressedMoveChildsX = 0, m_OnPressedMoveChildsY = 0;
    int32_t m_OnConsoleModeMoveX = -1, m_OnConsoleModeMoveY = -1;
    int32_t m_OnNotConsoleModeMoveX = -1, m_OnNotConsoleModeMoveY = -1;
    int32_t m_Align = kAlignNone;
    CStrBuf m_DefineList;    // the settings class a "DefineList" names (bound when the classes exist)
    CStrBuf m_FlipListMode;  // the settings class whose view a press flips ("FlipListMode", exact case)
    // The settings class this object shows or belongs to, the list it
    // belongs to (null on the list itself), the entry a value cell shows and
    // a list's first shown entry among the visible ones.
    CSettingClass* m_SettingsClass = nullptr;
    CGUIObject* m_ListOwner = nullptr;
    CSettingEntry* m_SettingEntry = nullptr;
    int32_t m_ListScroll = 0;

    // Mouse state.
    int32_t m_PreviousPositionState = 1;
    uint8_t m_Pressed = 0;
    uint8_t m_HoverSoundPlayed = 0;

    // Frame sequence.
    std::vector<SGUIFrame> m_Frames;
    SGUIFrame* m_CurrentFrame = nullptr;  // into m_Frames, or m_OwnedFrame
    std::unique_ptr<SGUIFrame> m_OwnedFrame;
    uint8_t m_SequenceRunning = 0;
    uint64_t m_SequenceStart = 0;  // game clock counts
    int32_t m_SequenceLength = 0;
    int32_t m_SequenceStops = 0;
};
