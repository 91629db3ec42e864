// Settings lists: the rows that the option screens, the multiplayer lobby
// and the server search show. Each row is a settings entry, a typed view of
// a value that its owner keeps (a console variable of the game, the sound
// engine, the network game, the display's requested mode, the local
// player's name, ...), with a label from the system texts, limits, a step
// and an optional change callback that applies the change. Entries are
// grouped in classes; one GUI list shows one class at a time, its basic
// rows (flag 0x40) or its advanced ones (0x80).
//
// An entry never holds the address of another object's field: it reads and
// writes its value through the binding its builder gave it (SSettingValue),
// which goes through the owner: a console variable is set as a script sets
// it (clamped, its own change callback run), the player's name through the
// player's request, and so on.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CGUIObject;
class CCommandInterpreter;
class CSettingClass;
class CSettingEntry;

enum ESettingKind : int32_t {
    kSettingBool = 0,
    kSettingInt = 1,
    kSettingFloat = 2,
    kSettingChars = 3,  // a text of at most the maximum length, cut when it is written
    kSettingString = 4,
    kSettingChoice = 5,
};

// The views an entry shows in.
enum : uint32_t { kSettingBasic = 0x40, kSettingAdvanced = 0x80, kSettingBoth = 0xC0 };

// Runs after each change of an entry's value, with the entry.
typedef void (*SettingCallback)(CSettingEntry* entry);

// Where an entry's value lives. Numbers (bool 0 or 1, integers, floats, a
// choice's value) go through shown / target / set, texts through shownText /
// setText. target is the value a change is compared with (the lobby's rows
// show the server's announced value but write the host's setting); without
// it the shown value is the target. An entry without a setter changes
// nothing (the server statistics).
struct SSettingValue {
    std::function<double()> shown;
    std::function<double()> target;
    std::function<void(double)> set;
    std::function<std::string()> shownText;
    std::function<void(const std::string&)> setText;

    double Shown() const { return shown ? shown() : 0.0; }
    double Target() const { return target ? target() : Shown(); }
    std::string ShownText() const { return shownText ? shownText() : std::string(); }
};

// A value of this object's own (the owner is whoever keeps the variable).
SSettingValue SettingValue_Int(int32_t* value);
SSettingValue SettingValue_Text(std::string* value);
// A console variable by its name: read from the variable, written as a
// script writes it. A variable that is not registered reads 0 (or "") and
// takes nothing.
SSettingValue SettingValue_Variable(CCommandInterpreter* ip, const char* name);

struct SSettingChoice {
    int32_t value = 0;
    int32_t textId = -1;  // a system text, or -1: the own text
    std::string text;
};

class CSettingEntry {
public:
    CSettingEntry(CSettingClass* owner, ESettingKind kind, int32_t name, SettingCallback callback,
                  uint32_t flags, bool readOnly, SSettingValue value);

    // Choices of a choice entry, in list order.
    void AddChoice(int32_t textId, int32_t value);
    void AddChoiceText(const char* text, int32_t value);
    void ClearChoices() { m_choices.clear(); }
    // The first choice with the value, or null.
    const SSettingChoice* FindChoice(int32_t value) const;

    // One step up or down: a bool toggles, numbers move by the step within
    // the limits, a choice goes to the next or previous one (no wrap). A
    // change is written and the callback runs; a value that stays, or a
    // read-only entry, changes nothing.
    void Increase() { Step(+1); }
    void Decrease() { Step(-1); }
    // A typed value: a number read whole and clamped (degrees taken to
    // radians first), a text cut to the maximum length, a choice by its label
    // in any letter case. Text that does not read changes nothing.
    void SetFromText(const char* text);

    // What the value cell shows: ON or OFF, "%d", the float with its
    // decimals, the text cut to its length, the choice's label ("|Error|"
    // when no choice has the value).
    std::string ValueText() const;
    // A choice's label: its own text, or its system text.
    const char* ChoiceLabel(const SSettingChoice& c) const;

    bool Shows(bool advanced) const { return (m_flags & (advanced ? kSettingAdvanced : kSettingBasic)) != 0; }

    CSettingClass* m_class;
    ESettingKind m_kind;
    int32_t m_name;  // the label's system text
    SettingCallback m_callback;
    uint32_t m_flags;
    uint8_t m_readOnly;
    SSettingValue m_value;
    double m_min = 0.0, m_max = 0.0, m_step = 0.0;
    int32_t m_decimals = 0;  // floats: 0 reads as the nearest integer, 1 to 7 decimals
    uint8_t m_degrees = 0;   // floats: stored in radians, typed in degrees
    int32_t m_maxLength = 0;
    std::vector<SSettingChoice> m_choices;

private:
    void Step(int direction);
    void Write(double value);
};

class CSettingClass {
public:
    // owner is what the callbacks of its entries work on.
    CSettingClass(const char* name, void* owner) : m_name(name), m_owner(owner) {}

    CSettingEntry* AddBool(int32_t name, SettingCallback callback, uint32_t flags, SSettingValue value,
                           bool readOnly = false);
    // Builds the entry and clamps a stored value outside the limits at once.
    CSettingEntry* AddInt(int32_t name, SettingCallback callback, uint32_t flags, SSettingValue value,
                          int32_t minimum, int32_t maximum, int32_t step, bool readOnly = false);
    CSettingEntry* AddFloat(int32_t name, SettingCallback callback, uint32_t flags, SSettingValue value,
                            float minimum, float maximum, float step, int32_t decimals, bool degrees,
                            bool readOnly = false);
    CSettingEntry* AddString(int32_t name, SettingCallback callback, uint32_t flags, SSettingValue value,
                             int32_t maxLength, bool readOnly = false);
    CSettingEntry* AddChoice(int32_t name, SettingCallback callback, uint32_t flags, SSettingValue value,
                             bool readOnly = false);

    void SetReadOnly(bool readOnly);
    // The entries of the view (basic or advanced), in list order.
    int32_t Count(bool advanced) const { return advanced ? m_advancedCount : m_basicCount; }

    std::string m_name;
    void* m_owner;
    // The system texts by index (labels, ON and OFF); none: "".
    std::function<const char*(int32_t)> m_systemText;
    std::vector<std::unique_ptr<CSettingEntry>> m_entries;
    int32_t m_basicCount = 0, m_advancedCount = 0;
    uint8_t m_advanced = 0;
    // The GUI list that shows it (the last one that named it), or null.
    CGUIObject* m_list = nullptr;

private:
    CSettingEntry* Add(ESettingKind kind, int32_t name, SettingCallback callback, uint32_t flags,
                       bool readOnly, SSettingValue value);
};
