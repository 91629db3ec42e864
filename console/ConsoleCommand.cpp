#include "console/ConsoleCommand.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/CommandInterpreter.h"
#include "console/CommandTable.h"
#include "console/ConfigText.h"
#include "core/ListLinks.h"

// ---- argument slots

static bool ParseInt(const char* text, int32_t& out) {
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(text, &end, 10);
    if (end == text) return false;
    // Out-of-range numbers saturate instead of wrapping into a surprise value.
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    out = static_cast<int32_t>(v);
    return true;
}

static bool ParseFloat(const char* text, float& out) {
    char* end = nullptr;
    float v = std::strtof(text, &end);
    // A NaN would pass every limit check and then poison whatever reads it.
    if (end == text || std::isnan(v)) return false;
    out = v;
    return true;
}

bool CCommandArg::GetInt(int32_t& out) const {
    return m_text && ParseInt(m_text, out);
}

bool CCommandArg::GetFloat(float& out) const {
    return m_text && ParseFloat(m_text, out);
}

static bool FlagOf(const char* text) {
    return !(text[0] == 'f' || text[0] == '0');
}

bool CCommandArg::GetBool(bool& out) const {
    if (!m_text || !*m_text) return false;
    out = FlagOf(m_text);
    return true;
}

bool CCommandArg::GetString(char* buffer, int size) const {
    if (!m_text) return false;
    if (size <= 0) return true;
    // Always terminated: callers use the buffer as a C string.
    size_t n = std::strlen(m_text);
    if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
    std::memcpy(buffer, m_text, n);
    buffer[n] = 0;
    return true;
}

bool CCommandArg::GetString(CStrBuf& out) const {
    if (!m_text) return false;
    out.Assign(m_text);
    return true;
}

char* CCommandArg::Alloc(int n) {
    Free();
    m_text = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 10));
    m_text[0] = 0;
    m_owned = 1;
    return m_text;
}

void CCommandArg::Free() {
    if (m_owned && m_text) std::free(m_text);
    m_text = nullptr;
    m_owned = 0;
}

void SCommandArgs::Clear() {
    for (int i = 0; i < used; ++i) arg[i].Free();
    used = 0;
}

int32_t StrToInt(const char* text) {
    int32_t v = 0;
    return (text && ParseInt(text, v)) ? v : 0;
}

float StrToFloat(const char* text) {
    float v = 0.0f;
    return (text && ParseFloat(text, v)) ? v : 0.0f;
}

// ---- records

CConsoleCommand::CConsoleCommand(CCommandInterpreter* interpreter, const SCommandRow& row)
    : m_context(row.context ? row.context : interpreter->GetContext()),
      m_intMin(row.intMin),
      m_intMax(row.intMax),
      m_floatMin(row.floatMin),
      m_floatMax(row.floatMax),
      m_mask(row.mask),
      m_type(row.type),
      m_interpreter(interpreter) {
    m_name.Assign(row.name ? row.name : "");
    m_description.Assign(row.description ? row.description : "");
    m_syntax.Assign(row.syntax ? row.syntax : "");
    m_configFile.Assign(row.configFile ? row.configFile : "");
    m_mapScript = (row.flags & kRowMapScript) != 0;
    if (row.usage) {
        m_usage.Assign(row.usage);
        ParseUsage();
        if (!row.usageKinds) m_argKinds.assign(m_argKinds.size(), 's');
    }
    if (m_type == kCommandFunction) {
        // A command has no callback and is never read-only.
        m_handler = row.handler;
    } else {
        m_onChange = row.handler;
        m_storage = row.storage;
        m_readOnly = (row.flags & kRowReadOnly) != 0;
        m_floatFlag = m_type == kCommandFloat && (row.flags & kRowFloatFlag) != 0;
    }
    SListLinks<CConsoleCommand, &CConsoleCommand::m_listNext, &CConsoleCommand::m_listPrev>::Push(
        interpreter->m_list, this);
    ++interpreter->m_count;
    SetHashed(true);
}

bool CConsoleCommand::AllowedInMapScript() const {
    if (m_mapScript) return true;
    const char* n = m_name.GetText();
    bool serverRow = (n[0] == 's' || n[0] == 'S') && (n[1] == 'i' || n[1] == 'I') && n[2] == '_';
    return serverRow && m_configFile.IsEmpty();
}

CConsoleCommand::~CConsoleCommand() {
    SListLinks<CConsoleCommand, &CConsoleCommand::m_listNext, &CConsoleCommand::m_listPrev>::Unlink(
        m_interpreter->m_list, this);
    --m_interpreter->m_count;
    SetHashed(false);
}

void CConsoleCommand::SetHashed(bool hashed) {
    using SHashLinks =
        SListLinks<CConsoleCommand, &CConsoleCommand::m_hashNext, &CConsoleCommand::m_hashPrev>;
    if (m_hashSlot) {
        SHashLinks::Unlink(*m_hashSlot, this);
        m_hashSlot = nullptr;
    }
    if (!hashed) return;
    m_hashSlot = &m_interpreter->m_buckets[m_interpreter->Bucket(m_name.GetText())];
    SHashLinks::Push(*m_hashSlot, this);
}

void CConsoleCommand::ReportError(const char* message) {
    m_interpreter->Printf("Error in %s: %s", GetName(), message ? message : "");
}

void CConsoleCommand::ParseUsage() {
    // The arguments lie between the first '(' and its ')': each begins with
    // its kind's word; those inside '[' ']' may be left out.
    const char* text = m_usage.GetText();
    const char* open = std::strchr(text, '(');
    if (!open) return;
    int depth = 0;
    bool atStart = true;
    for (const char* c = open + 1; *c && *c != ')'; ++c) {
        if (*c == '[') {
            ++depth;
        } else if (*c == ']') {
            --depth;
        } else if (*c == ',') {
            atStart = true;
        } else if (atStart && std::isalpha(static_cast<unsigned char>(*c))) {
            atStart = false;
            char kind = 's';
            if (std::strncmp(c, "int", 3) == 0)
                kind = 'i';
            else if (std::strncmp(c, "float", 5) == 0)
                kind = 'f';
            else if (std::strncmp(c, "bool", 4) == 0)
                kind = 'b';
            m_argKinds += kind;
            if (depth <= 0) m_requiredArgs = static_cast<int>(m_argKinds.size());
        }
    }
}

bool CConsoleCommand::CheckArguments(const SCommandArgs* args) {
    if (m_usage.IsEmpty()) return true;
    const int given = args ? args->count : 0;
    const int most = static_cast<int>(m_argKinds.size());
    char problem[320];
    problem[0] = 0;
    if (given < m_requiredArgs || given > most) {
        if (m_requiredArgs == most)
            std::snprintf(problem, sizeof problem, "it takes %d argument%s, not %d", most,
                          most == 1 ? "" : "s", given);
        else
            std::snprintf(problem, sizeof problem, "it takes %d to %d arguments, not %d", m_requiredArgs,
                          most, given);
    } else {
        for (int i = 0; i < given && !problem[0]; ++i) {
            const char* t = args->Text(i);
            const char kind = m_argKinds[static_cast<size_t>(i)];
            int32_t i32 = 0;
            float f32 = 0.0f;
            // A number as the arguments' own conversions read one.
            const bool number = t && (kind == 'i' ? ParseInt(t, i32) : ParseFloat(t, f32));
            if ((kind == 'i' || kind == 'f') && !number)
                std::snprintf(problem, sizeof problem, "argument %d, %.200s, is not a number", i + 1,
                              t ? t : "");
        }
    }
    if (!problem[0]) return true;
    m_interpreter->Printf("Error in %s: %s. Syntax: %s", GetName(), problem, GetUsage());
    return false;
}

bool CConsoleCommand::FormatValue(char* out, int size) const {
    if (m_type == kCommandFunction || !m_storage || size <= 0) return false;
    switch (m_type) {
        case kCommandInt:
            std::snprintf(out, size, "%d", *static_cast<int32_t*>(m_storage));
            break;
        case kCommandFloat:
            std::snprintf(out, size, "%f", static_cast<double>(*static_cast<float*>(m_storage)));
            break;
        case kCommandBool:
            std::snprintf(out, size, "%s", *static_cast<uint8_t*>(m_storage) ? "true" : "false");
            break;
        case kCommandString:
            std::snprintf(out, size, "%s", static_cast<CStrBuf*>(m_storage)->GetText());
            break;
        case kCommandCharArray: {
            // The array need not be terminated when its text fills it.
            const char* s = static_cast<const char*>(m_storage);
            int n = 0;
            while (n < m_intMax && n < size - 1 && s[n]) ++n;
            std::memcpy(out, s, static_cast<size_t>(n));
            out[n] = 0;
            break;
        }
        default:
            return false;
    }
    return true;
}

void CConsoleCommand::Invoke(SCommandArgs* args) {
    if (m_type == kCommandFunction) {
        if (m_handler && CheckArguments(args)) m_handler(this, args, nullptr);
        return;
    }
    if (!m_storage) return;
    if (!args || args->count <= 0) {
        switch (m_type) {
            case kCommandInt:
                m_interpreter->Printf("%s = %d", GetName(), *static_cast<int32_t*>(m_storage));
                break;
            case kCommandFloat:
                m_interpreter->Printf("%s = %f", GetName(),
                                      static_cast<double>(*static_cast<float*>(m_storage)));
                break;
            case kCommandBool:
                m_interpreter->Printf("%s = %s", GetName(),
                                      *static_cast<uint8_t*>(m_storage) ? "true" : "false");
                break;
            default: {
                char value[kMaxCommandWord * 4 + 1];
                FormatValue(value, sizeof value);
                if (m_type == kCommandString)
                    m_interpreter->Printf("%s = %s", GetName(), static_cast<CStrBuf*>(m_storage)->GetText());
                else
                    m_interpreter->Printf("%s = %s", GetName(), value);
                break;
            }
        }
        return;
    }
    if (m_readOnly) {
        m_interpreter->Printf("%s is read only", GetName());
        return;
    }
    const CCommandArg& first = args->arg[0];
    // "Name = value;" reads as the name with the arguments "=" and the
    // value: the language has no such form.
    if (first.Text() && std::strcmp(first.Text(), "=") == 0) {
        m_interpreter->Printf("Error in %s: a variable is set as %s(value), not with =. Syntax: %s",
                              GetName(), GetName(), GetSyntax());
        return;
    }
    switch (m_type) {
        case kCommandInt: {
            int32_t v;
            if (!first.GetInt(v)) {
                m_interpreter->Printf("Error in %s: %.200s is not a number. Syntax: %s", GetName(),
                                      first.Text() ? first.Text() : "", GetSyntax());
                return;
            }
            const int32_t given = v;
            if (v < m_intMin) v = m_intMin;
            if (v > m_intMax) v = m_intMax;
            if (v != given)
                m_interpreter->Printf("%s: %d lies outside %d to %d; %d is used", GetName(), given, m_intMin,
                                      m_intMax, v);
            *static_cast<int32_t*>(m_storage) = v;
            break;
        }
        case kCommandFloat: {
            float v;
            if (!first.GetFloat(v)) {
                m_interpreter->Printf("Error in %s: %.200s is not a number. Syntax: %s", GetName(),
                                      first.Text() ? first.Text() : "", GetSyntax());
                return;
            }
            const float given = v;
            if (v < m_floatMin) v = m_floatMin;
            if (v > m_floatMax) v = m_floatMax;
            if (v != given)
                m_interpreter->Printf("%s: %g lies outside %g to %g; %g is used", GetName(),
                                      static_cast<double>(given), static_cast<double>(m_floatMin),
                                      static_cast<double>(m_floatMax), static_cast<double>(v));
            *static_cast<float*>(m_storage) = v;
            break;
        }
        case kCommandCharArray:
            if (!first.Text()) return;
            first.GetString(static_cast<char*>(m_storage), m_intMax);
            break;
        case kCommandString: {
            if (!first.Text()) return;
            CStrBuf* s = static_cast<CStrBuf*>(m_storage);
            s->Assign(first.Text());
            if (m_intMax >= 0 && std::strlen(s->GetText()) > static_cast<size_t>(m_intMax))
                s->SetAt(m_intMax, 0);
            s->ShrinkToFit();
            break;
        }
        case kCommandBool: {
            const char* t = first.Text();
            if (!t) return;
            *static_cast<uint8_t*>(m_storage) = FlagOf(t) ? 1 : 0;
            break;
        }
        default:
            return;
    }
    if (m_onChange) m_onChange(this, args, nullptr);
}

bool CConsoleCommand::FormatVariableLine(CStrBuf& out) const {
    if (m_type == kCommandFunction || !m_storage) return false;
    switch (m_type) {
        case kCommandInt:
            out.Format("%s(%d);", GetName(), *static_cast<int32_t*>(m_storage));
            return true;
        case kCommandFloat:
            out.Format("%s(%f);", GetName(), static_cast<double>(*static_cast<float*>(m_storage)));
            return true;
        case kCommandBool:
            out.Format("%s(%s);", GetName(), *static_cast<uint8_t*>(m_storage) ? "true" : "false");
            return true;
        case kCommandString:
        case kCommandCharArray: {
            char value[4096];
            const char* text = value;
            if (m_type == kCommandString)
                text = static_cast<CStrBuf*>(m_storage)->GetText();
            else
                FormatValue(value, sizeof value);
            std::string quoted = ConfigText_Quote(text);
            out.Format("%s(%s);", GetName(), quoted.c_str());
            return true;
        }
        default:
            return false;
    }
}
