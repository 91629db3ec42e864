// Key bindings: which command line runs when a key event happens.
//
// A binding is a command line stored per key code, per event (Down, Up,
// Continuous, Change, Repeat, DBLCLK) and per modifier group (none, override,
// control, shift, alt and their combinations). The input manager feeds key
// presses and releases in; this class tracks the modifier keys, each key's
// value, its repeat time and its last release, and runs the matching lines
// through the command runner it was given. The override group runs after the
// modifier group whatever the modifiers are, which is how a key keeps one
// meaning under every modifier. When a modifier changes while other keys are
// held, those keys get the Up line of the old group and the Down line of the
// new one, so a held key never stays in a group that no longer applies.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "app/KeyNames.h"

enum EKeyEvent {
    KEYEVENT_DOWN,
    KEYEVENT_UP,
    KEYEVENT_CONTINUOUS,
    KEYEVENT_CHANGE,
    KEYEVENT_REPEAT,
    KEYEVENT_DBLCLK
};
constexpr int kKeyEventCount = 6;

enum EBindGroup {
    BINDGROUP_NONE,
    BINDGROUP_OVERRIDE,
    BINDGROUP_CONTROL,
    BINDGROUP_SHIFT,
    BINDGROUP_ALT,
    BINDGROUP_CONTROL_SHIFT,
    BINDGROUP_SHIFT_ALT,
    BINDGROUP_CONTROL_ALT,
    BINDGROUP_CONTROL_SHIFT_ALT
};
constexpr int kBindGroupCount = 9;

constexpr uint64_t kKeyRepeatNever = 0x7fffffffffffffffULL;

// Event names as `Bind` takes them ("Down" ... "DBLCLK"), case-insensitive; -1
// when unknown.
int KeyEventFromName(const char* name);
// The group for a set of modifier flags as `Bind` chooses it: override only
// counts when no modifier is given.
int BindGroupFromModifiers(bool control, bool shift, bool alt, bool override);

class CKeyBindings {
public:
    struct SHooks {
        std::function<void(const char*)> run;    // runs a command line (not quiet)
        std::function<void(const char*)> print;  // console line, white, not echoed
        std::function<uint64_t()> now;           // game clock, in counts
        uint64_t countsPerSecond = 1193182;
    };

    explicit CKeyBindings(SHooks hooks);

    void InitBindingTables();
    // Refuses codes outside 1 to 435, groups and events outside their ranges.
    bool SetBinding(int group, int event, int code, const char* line);
    const std::string& Binding(int group, int event, int code) const;

    // The current modifier group, from the shift, control and alt bytes.
    int CurrentGroup() const;

    void KeyDown(int code);
    void KeyUp(int code);
    void Change(int code);
    // Down (or Up) line of the current group for every held key, each
    // followed by that key's Change event.
    void FireBindingDown();
    void FireBindingUp();
    // Continuous and Repeat lines of every held key; called once per frame.
    void ProcessHeldKeys(bool focus);

    float Value(int code) const { return InRange(code) ? m_value[code] : 0.0f; }
    void SetValue(int code, float v) {
        if (InRange(code)) m_value[code] = v;
    }
    uint64_t RepeatTime(int code) const { return InRange(code) ? m_repeatTime[code] : kKeyRepeatNever; }

    bool m_shift = false;
    bool m_control = false;
    bool m_alt = false;
    uint8_t m_showKeys = 0;       // kb_ShowKeys
    float m_repeatDelay = 0.25f;  // seconds before the first repeat
    float m_repeatRate = 30.0f;   // repeats per second after that
    float m_doubleClickTime = 0.5f;

private:
    static bool InRange(int code) { return code >= 0 && code < kKeyCodeCount; }
    void RunLine(int group, int event, int code);
    void RunEvent(int event, int code);  // current group, then override
    void SetModifier(bool& flag, bool value);

    SHooks m_hooks;
    std::string m_table[kBindGroupCount][kKeyEventCount][kKeyCodeCount];
    float m_value[kKeyCodeCount];
    uint64_t m_repeatTime[kKeyCodeCount];
    uint64_t m_lastRelease[kKeyCodeCount];
};
