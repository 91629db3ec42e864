#include "app/KeyBind.h"

#include <strings.h>

#include <cstdio>
#include <utility>

int KeyEventFromName(const char* name) {
    static const char* const kNames[kKeyEventCount] = {"Down",   "Up",     "Continuous",
                                                       "Change", "Repeat", "DBLCLK"};
    if (!name) return -1;
    for (int i = 0; i < kKeyEventCount; ++i)
        if (strcasecmp(name, kNames[i]) == 0) return i;
    return -1;
}

int BindGroupFromModifiers(bool control, bool shift, bool alt, bool override) {
    if (control && shift && alt) return BINDGROUP_CONTROL_SHIFT_ALT;
    if (control && alt) return BINDGROUP_CONTROL_ALT;
    if (shift && alt) return BINDGROUP_SHIFT_ALT;
    if (control && shift) return BINDGROUP_CONTROL_SHIFT;
    if (control) return BINDGROUP_CONTROL;
    if (shift) return BINDGROUP_SHIFT;
    if (alt) return BINDGROUP_ALT;
    if (override) return BINDGROUP_OVERRIDE;
    return BINDGROUP_NONE;
}

CKeyBindings::CKeyBindings(SHooks hooks) : m_hooks(std::move(hooks)) {
    for (int i = 0; i < kKeyCodeCount; ++i) {
        m_value[i] = 0.0f;
        m_repeatTime[i] = kKeyRepeatNever;
        m_lastRelease[i] = 0;
    }
}

void CKeyBindings::InitBindingTables() {
    for (auto& group : m_table)
        for (auto& event : group)
            for (std::string& line : event) line.clear();
}

bool CKeyBindings::SetBinding(int group, int event, int code, const char* line) {
    if (group < 0 || group >= kBindGroupCount || event < 0 || event >= kKeyEventCount) return false;
    if (code < 1 || code >= kKeyCodeCount) return false;
    m_table[group][event][code] = line ? line : "";
    return true;
}

const std::string& CKeyBindings::Binding(int group, int event, int code) const {
    static const std::string kEmpty;
    if (group < 0 || group >= kBindGroupCount || event < 0 || event >= kKeyEventCount || !InRange(code))
        return kEmpty;
    return m_table[group][event][code];
}

int CKeyBindings::CurrentGroup() const {
    return BindGroupFromModifiers(m_control, m_shift, m_alt, false);
}

void CKeyBindings::RunLine(int group, int event, int code) {
    // A copy: the line may rebind its own key (a context file) while it runs.
    std::string line = m_table[group][event][code];
    if (!line.empty() && m_hooks.run) m_hooks.run(line.c_str());
}

void CKeyBindings::RunEvent(int event, int code) {
    RunLine(CurrentGroup(), event, code);
    RunLine(BINDGROUP_OVERRIDE, event, code);
}

void CKeyBindings::SetModifier(bool& flag, bool value) {
    FireBindingUp();
    flag = value;
    FireBindingDown();
}

void CKeyBindings::KeyDown(int code) {
    if (!InRange(code)) return;
    if (code == kKeyLShift || (code == kKeyRShift && !m_shift)) SetModifier(m_shift, true);
    if (code == kKeyLControl || (code == kKeyRControl && !m_control)) SetModifier(m_control, true);
    if (code == kKeyLAlt || (code == kKeyRAlt && !m_alt)) SetModifier(m_alt, true);

    RunLine(CurrentGroup(), KEYEVENT_DOWN, code);
    RunLine(CurrentGroup(), KEYEVENT_REPEAT, code);
    RunLine(BINDGROUP_OVERRIDE, KEYEVENT_DOWN, code);
    RunLine(BINDGROUP_OVERRIDE, KEYEVENT_REPEAT, code);

    m_repeatTime[code] = m_hooks.now() + static_cast<uint64_t>(m_repeatDelay * m_hooks.countsPerSecond);
    m_value[code] = 1.0f;
    Change(code);
}

void CKeyBindings::KeyUp(int code) {
    if (!InRange(code)) return;
    // Releasing one shift key clears shift even while the other is held;
    // control and alt stay set until both keys are up.
    if ((code == kKeyLShift || code == kKeyRShift) && m_shift) SetModifier(m_shift, false);
    if (m_control && ((code == kKeyLControl && m_value[kKeyRControl] == 0.0f) ||
                      (code == kKeyRControl && m_value[kKeyLControl] == 0.0f)))
        SetModifier(m_control, false);
    if (m_alt &&
        ((code == kKeyLAlt && m_value[kKeyRAlt] == 0.0f) || (code == kKeyRAlt && m_value[kKeyLAlt] == 0.0f)))
        SetModifier(m_alt, false);

    RunEvent(KEYEVENT_UP, code);
    uint64_t now = m_hooks.now();
    if (now - m_lastRelease[code] < static_cast<uint64_t>(m_doubleClickTime * m_hooks.countsPerSecond) &&
        m_lastRelease[code] != 0)
        RunEvent(KEYEVENT_DBLCLK, code);
    m_lastRelease[code] = now;
    m_value[code] = 0.0f;
    Change(code);
}

void CKeyBindings::Change(int code) {
    if (!InRange(code)) return;
    RunEvent(KEYEVENT_CHANGE, code);
    if (m_showKeys && m_repeatTime[code] != kKeyRepeatNever && m_hooks.print) {
        char line[96];
        std::snprintf(line, sizeof line, "Key Change (%d): %s", code, KeyNameFromCode(code).c_str());
        m_hooks.print(line);
    }
}

void CKeyBindings::FireBindingDown() {
    for (int code = 0; code < kKeyCodeCount; ++code) {
        if (m_value[code] == 0.0f) continue;
        RunLine(CurrentGroup(), KEYEVENT_DOWN, code);
        Change(code);
    }
}

void CKeyBindings::FireBindingUp() {
    for (int code = 0; code < kKeyCodeCount; ++code) {
        if (m_value[code] == 0.0f) continue;
        RunLine(CurrentGroup(), KEYEVENT_UP, code);
        Change(code);
    }
}

void CKeyBindings::ProcessHeldKeys(bool focus) {
    uint64_t interval = static_cast<uint64_t>(1.0f / m_repeatRate * m_hooks.countsPerSecond);
    if (interval == 0) interval = 1;
    for (int code = 0; code < kKeyCodeCount; ++code) {
        if (m_value[code] == 0.0f) continue;
        RunEvent(KEYEVENT_CONTINUOUS, code);
        uint64_t now = m_hooks.now();
        if (!focus) {
            m_repeatTime[code] = now;
            continue;
        }
        while (m_value[code] != 0.0f && m_repeatTime[code] != kKeyRepeatNever && m_repeatTime[code] <= now) {
            RunEvent(KEYEVENT_REPEAT, code);
            m_repeatTime[code] += interval;
        }
    }
}
