#include "ui/Settings.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "console/CommandInterpreter.h"
#include "console/ConsoleCommand.h"

namespace {

constexpr double kDegreesToRadians = 0.017453292;

// One value as a variable's argument: the variable converts, clamps, stores
// and runs its own change callback, as when a script sets it. The argument
// list is large; the settings run on the game's thread only.
void SetVariable(CConsoleCommand* record, const std::string& text) {
    static SCommandArgs args;
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back(0);
    args.count = 1;
    args.arg[0].SetText(buffer.data());
    record->Invoke(&args);
    args.arg[0].SetText(nullptr);
    args.count = 0;
}

std::string Number(double v, int32_t type) {
    char text[64];
    if (type == kCommandFloat)
        std::snprintf(text, sizeof text, "%.9g", v);
    else
        std::snprintf(text, sizeof text, "%d", (int)std::lround(v));
    return text;
}

}  // namespace

SSettingValue SettingValue_Int(int32_t* value) {
    SSettingValue v;
    v.shown = [value] { return double(*value); };
    v.set = [value](double x) { *value = int32_t(std::lround(x)); };
    return v;
}

SSettingValue SettingValue_Text(std::string* value) {
    SSettingValue v;
    v.shownText = [value] { return *value; };
    v.setText = [value](const std::string& x) { *value = x; };
    return v;
}

SSettingValue SettingValue_Variable(CCommandInterpreter* ip, const char* name) {
    // The record is looked up again each time: a variable registered after
    // the lists were built is found, and nothing points at a record that went.
    std::string n = name;
    auto record = [ip, n]() -> CConsoleCommand* {
        CConsoleCommand* r = ip ? ip->GetCommand(n.c_str()) : nullptr;
        return r && r->IsVariable() ? r : nullptr;
    };
    SSettingValue v;
    v.shown = [record]() -> double {
        CConsoleCommand* r = record();
        if (!r) return 0.0;
        if (const int32_t* i = r->IntStorage()) return *i;
        if (const float* f = r->FloatStorage()) return *f;
        if (const uint8_t* b = r->BoolStorage()) return *b ? 1.0 : 0.0;
        return 0.0;
    };
    v.set = [record](double x) {
        if (CConsoleCommand* r = record())
            SetVariable(r, r->GetType() == kCommandBool ? (x != 0.0 ? "1" : "0") : Number(x, r->GetType()));
    };
    v.shownText = [record]() -> std::string {
        CConsoleCommand* r = record();
        if (!r) return std::string();
        if (const CStrBuf* s = r->StringStorage()) return s->GetText();
        if (const char* c = r->CharArrayStorage())
            return std::string(c, strnlen(c, size_t(std::max(0, r->GetMaxLength()))));
        return std::string();
    };
    v.setText = [record](const std::string& x) {
        if (CConsoleCommand* r = record()) SetVariable(r, x);
    };
    return v;
}

// ---------------------------------------------------------------------------

CSettingEntry::CSettingEntry(CSettingClass* owner, ESettingKind kind, int32_t name, SettingCallback callback,
                             uint32_t flags, bool readOnly, SSettingValue value)
    : m_class(owner),
      m_kind(kind),
      m_name(name),
      m_callback(callback),
      m_flags(flags),
      m_readOnly(readOnly ? 1 : 0),
      m_value(std::move(value)) {}

void CSettingEntry::AddChoice(int32_t textId, int32_t value) {
    SSettingChoice c;
    c.value = value;
    c.textId = textId;
    m_choices.push_back(c);
}

void CSettingEntry::AddChoiceText(const char* text, int32_t value) {
    SSettingChoice c;
    c.value = value;
    c.textId = -1;
    c.text = text ? text : "";
    m_choices.push_back(c);
}

const SSettingChoice* CSettingEntry::FindChoice(int32_t value) const {
    for (const SSettingChoice& c : m_choices)
        if (c.value == value) return &c;
    return nullptr;
}

void CSettingEntry::Write(double value) {
    if (m_value.set) m_value.set(value);
    if (m_callback) m_callback(this);
}

void CSettingEntry::Step(int direction) {
    if (m_readOnly || !m_value.set) return;
    switch (m_kind) {
        case kSettingBool:
            // Both directions toggle.
            Write(m_value.Shown() != 0.0 ? 0.0 : 1.0);
            break;
        case kSettingInt:
        case kSettingFloat: {
            double v = m_value.Shown() + direction * m_step;
            if (m_kind == kSettingInt) v = std::floor(v + 0.5);
            v = std::min(std::max(v, m_min), m_max);
            if (m_kind == kSettingFloat) v = double(float(v));
            if (v != m_value.Target()) Write(v);
            break;
        }
        case kSettingChoice: {
            if (m_choices.empty()) return;
            const int32_t current = int32_t(std::lround(m_value.Shown()));
            const SSettingChoice* found = FindChoice(current);
            const SSettingChoice* next = nullptr;
            if (!found) {
                next = direction > 0 ? &m_choices.back() : &m_choices.front();
            } else {
                const size_t at = size_t(found - m_choices.data());
                if (direction > 0 && at + 1 < m_choices.size()) next = &m_choices[at + 1];
                if (direction < 0 && at > 0) next = &m_choices[at - 1];
            }
            if (next) Write(next->value);
            break;
        }
        default:
            break;
    }
}

void CSettingEntry::SetFromText(const char* text) {
    if (m_readOnly) return;
    if (!text) text = "";
    switch (m_kind) {
        case kSettingInt:
        case kSettingFloat: {
            if (!m_value.set) return;
            // Exactly one number, nothing after it but blanks.
            char* end = nullptr;
            double v = m_kind == kSettingInt ? double(std::strtol(text, &end, 10)) : std::strtod(text, &end);
            if (end == text) return;
            while (*end == ' ' || *end == '\t') ++end;
            if (*end) return;
            if (m_kind == kSettingInt) {
                v = std::min(std::max(v, m_min), m_max);
            } else {
                if (m_degrees) v *= kDegreesToRadians;
                v = double(float(std::min(std::max(v, m_min), m_max)));
            }
            if (v != m_value.Target()) Write(v);
            break;
        }
        case kSettingChars:
        case kSettingString: {
            if (!m_value.setText) return;
            std::string cut(text);
            if (m_maxLength >= 0 && cut.size() > size_t(m_maxLength)) cut.resize(size_t(m_maxLength));
            m_value.setText(cut);
            if (m_callback) m_callback(this);
            break;
        }
        case kSettingChoice:
            if (!m_value.set) return;
            for (const SSettingChoice& c : m_choices)
                if (strcasecmp(ChoiceLabel(c), text) == 0) {
                    Write(c.value);
                    return;
                }
            break;
        default:
            break;
    }
}

const char* CSettingEntry::ChoiceLabel(const SSettingChoice& c) const {
    if (c.textId == -1) return c.text.c_str();
    const char* t = m_class->m_systemText ? m_class->m_systemText(c.textId) : nullptr;
    return t ? t : "";
}

std::string CSettingEntry::ValueText() const {
    char text[64];
    switch (m_kind) {
        case kSettingBool: {
            const int32_t id = m_value.Shown() != 0.0 ? 6 : 7;  // ON, OFF
            const char* t = m_class->m_systemText ? m_class->m_systemText(id) : nullptr;
            return t ? t : "";
        }
        case kSettingInt:
            std::snprintf(text, sizeof text, "%d", (int)std::lround(m_value.Shown()));
            return text;
        case kSettingFloat:
            if (m_decimals == 0) {
                std::snprintf(text, sizeof text, "%d", (int)std::lround(m_value.Shown()));
                return text;
            }
            if (m_decimals < 0 || m_decimals > 7) return std::string();
            std::snprintf(text, sizeof text, "%.*f", (int)m_decimals, m_value.Shown());
            return text;
        case kSettingChars:
        case kSettingString: {
            std::string s = m_value.ShownText();
            if (m_maxLength >= 0 && s.size() > size_t(m_maxLength)) s.resize(size_t(m_maxLength));
            return s;
        }
        case kSettingChoice: {
            const SSettingChoice* c = FindChoice(int32_t(std::lround(m_value.Shown())));
            return c ? ChoiceLabel(*c) : "|Error|";
        }
    }
    return std::string();
}

// ---------------------------------------------------------------------------

CSettingEntry* CSettingClass::Add(ESettingKind kind, int32_t name, SettingCallback callback, uint32_t flags,
                                  bool readOnly, SSettingValue value) {
    m_entries.push_back(
        std::make_unique<CSettingEntry>(this, kind, name, callback, flags, readOnly, std::move(value)));
    if (flags & kSettingBasic) ++m_basicCount;
    if (flags & kSettingAdvanced) ++m_advancedCount;
    return m_entries.back().get();
}

CSettingEntry* CSettingClass::AddBool(int32_t name, SettingCallback callback, uint32_t flags,
                                      SSettingValue value, bool readOnly) {
    return Add(kSettingBool, name, callback, flags, readOnly, std::move(value));
}

CSettingEntry* CSettingClass::AddInt(int32_t name, SettingCallback callback, uint32_t flags,
                                     SSettingValue value, int32_t minimum, int32_t maximum, int32_t step,
                                     bool readOnly) {
    CSettingEntry* e = Add(kSettingInt, name, callback, flags, readOnly, std::move(value));
    e->m_min = minimum;
    e->m_max = maximum;
    e->m_step = step;
    // A stored value outside the limits is pulled in at once.
    if (e->m_value.set) {
        const double v = e->m_value.Target();
        const double clamped = std::min(std::max(v, e->m_min), e->m_max);
        if (clamped != v) e->m_value.set(clamped);
    }
    return e;
}

CSettingEntry* CSettingClass::AddFloat(int32_t name, SettingCallback callback, uint32_t flags,
                                       SSettingValue value, float minimum, float maximum, float step,
                                       int32_t decimals, bool degrees, bool readOnly) {
    CSettingEntry* e = Add(kSettingFloat, name, callback, flags, readOnly, std::move(value));
    e->m_min = minimum;
    e->m_max = maximum;
    e->m_step = step;
    e->m_decimals = decimals;
    e->m_degrees = degrees ? 1 : 0;
    if (e->m_value.set) {
        const double v = e->m_value.Target();
        const double clamped = std::min(std::max(v, e->m_min), e->m_max);
        if (clamped != v) e->m_value.set(clamped);
    }
    return e;
}

CSettingEntry* CSettingClass::AddString(int32_t name, SettingCallback callback, uint32_t flags,
                                        SSettingValue value, int32_t maxLength, bool readOnly) {
    CSettingEntry* e = Add(kSettingString, name, callback, flags, readOnly, std::move(value));
    e->m_maxLength = maxLength;
    return e;
}

CSettingEntry* CSettingClass::AddChoice(int32_t name, SettingCallback callback, uint32_t flags,
                                        SSettingValue value, bool readOnly) {
    return Add(kSettingChoice, name, callback, flags, readOnly, std::move(value));
}

void CSettingClass::SetReadOnly(bool readOnly) {
    for (std::unique_ptr<CSettingEntry>& e : m_entries) e->m_readOnly = readOnly ? 1 : 0;
}
