#include "ui/SystemTexts.h"

#include <strings.h>

#include <cstdio>

#include "ui/GUIObject.h"
#include "ui/Interface.h"

int SystemText_Conversions(const char* text) {
    int count = 0;
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p != '%') continue;
        if (p[1] == 's')
            ++count;
        else if (p[1] != '%')
            return -1;
        ++p;
    }
    return count;
}

bool SystemText_Format(const char* text, std::initializer_list<const char*> args, std::string& out) {
    if (SystemText_Conversions(text) != (int)args.size()) return false;
    std::string result;
    auto next = args.begin();
    for (const char* p = text ? text : ""; *p; ++p) {
        if (*p != '%') {
            result += *p;
            continue;
        }
        ++p;
        if (*p == '%') {
            result += '%';
        } else {
            result += *next ? *next : "";
            ++next;
        }
    }
    out.swap(result);
    return true;
}

int SystemText_Arguments(int index) {
    if (index >= kSysLidFirstEvent && index <= kSysLidLastEvent) return 2;
    // The HUD's read-outs: the energy made and used; the resources, the
    // storage and the two rates; the radar's unit counts; the mouse's
    // information on the object under it (its name first).
    switch (index) {
        case 102:
            return 2;
        case 106:
            return 4;
        case 250:
        case 251:
        case 252:
        case 281:
            return 1;
        case 282:
        case 283:
        case 284:
        case 286:
            return 2;
        case 285:
            return 3;
        default:
            return 0;
    }
}

namespace {
const char kMarker[] = "*LOC*";
const char kGUIMarker[] = "*|L$C|*";
}  // namespace

const char* CInterface::GetSystemText(int index) {
    if (m_TestLocalization) return kMarker;
    if (index < 0 || index >= kSystemTextCount) return "";
    const SSystemTextEntry& e = m_SystemTexts[index];
    return e.set ? e.text.GetText() : "";
}

const char* CInterface::SystemTextOrName(int index) {
    if (m_TestLocalization || index < 0 || index >= kSystemTextCount || m_SystemTexts[index].set)
        return GetSystemText(index);
    return m_SystemTexts[index].name.GetText();
}

std::string CInterface::FormatSystemText(int index, std::initializer_list<const char*> values) {
    std::string out;
    // A text never given has nothing to fill in.
    if (!m_TestLocalization && index >= 0 && index < kSystemTextCount && !m_SystemTexts[index].set)
        return out;
    if (SystemText_Format(GetSystemText(index), values, out)) return out;
    const char* name = index >= 0 && index < kSystemTextCount ? kSystemTextNames[index] : "SYSLID_?";
    if (m_formatRefused.insert(index).second)
        m_console.PrintfColor("The text of %s does not take %d value(s); its name is shown instead", 255, 0,
                              0, 0, name, (int)values.size());
    return name;
}

namespace {
// The localization faults stop nothing: they are red console lines.
void Fault(CInterface* ui, const char* text) {
    ui->m_console.Print(text, false, 255, 0, 0, false);
}
}  // namespace

void CInterface::SetLid(const char* lid, const char* text) {
    if (!lid) lid = "";
    if (!text) text = "";
    CStrBuf line;
    if (m_GUIRoot) {
        m_SearchResult = nullptr;
        m_SearchFound = m_SearchFoundTwice = 0;
        m_GUIRoot->FindByProperty("LID", lid);
        if (m_SearchFound && m_SearchResult) {
            CGUIObject* o = m_SearchResult;
            if (!o->m_TextLines.empty()) {
                o->m_TextLines[0] = m_TestLocalization ? kGUIMarker : text;
                o->m_Localized = 1;
                o->m_SizeKnown = 0;
                m_GUIChanged = 1;
            } else {
                line.Format("FATAL ERROR [GUI]: Localization object '%s' doesn't contain any text", lid);
                Fault(this, line.GetText());
            }
            if (m_SearchFoundTwice) {
                line.Format("FATAL ERROR [GUI]: The localization object '%s' was defined twice", lid);
                Fault(this, line.GetText());
            }
            return;
        }
    }
    for (SSystemTextEntry& e : m_SystemTexts)
        if (strcasecmp(e.name.GetText(), lid) == 0) {
            e.text = text;
            e.set = 1;
            return;
        }
    line.Format("FATAL ERROR [SCRIPT/GUI]: Couldn't find GUI Localization ID (LID) '%s'", lid);
    Fault(this, line.GetText());
}

void CInterface::CheckLocalization(CGUIObject* object) {
    if (!object) return;
    for (const CGUIProperty& p : object->m_Properties)
        if (p.m_Name.Equals("LID") && !p.m_Value.IsEmpty() && !object->m_Localized) {
            CStrBuf line;
            line.Format("FATAL ERROR [GUI] : The localization object width LID '%s' has not been localized",
                        p.m_Value.GetText());
            Fault(this, line.GetText());
        }
    for (CGUIObject* child : object->m_Children) CheckLocalization(child);
}

void CInterface::CheckSystemTexts() {
    CStrBuf line;
    for (int i = 0; i < kSystemTextCount; ++i)
        if (m_SystemTexts[i].name.IsEmpty()) {
            line.Format("FATAL ERROR [INTERNAL]: No local systemtext identifier is set for SYSLID %d", i);
            Fault(this, line.GetText());
        }
    for (int i = 0; i < kSystemTextCount; ++i)
        if (!m_SystemTexts[i].set) {
            line.Format("FATAL ERROR [SCRIPT]: No local text set for SYSLID %d '%s'", i,
                        m_SystemTexts[i].name.GetText());
            Fault(this, line.GetText());
        }
}
