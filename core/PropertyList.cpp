#include "core/PropertyList.h"

#include <locale.h>
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/ListLinks.h"
#include "core/VFSFile.h"

namespace {

constexpr int kFieldSize = 256;

locale_t CLocale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", nullptr);
    return loc;
}

}  // namespace

CProperty::CProperty(CPropertyList* list, const char* name) : m_name(name), m_list(list) {
    if (!m_list) return;
    SListLinks<CProperty, &CProperty::m_next, &CProperty::m_prev>::Push(m_list->m_first, this);
    ++m_list->m_count;
}

CProperty::~CProperty() {
    if (!m_list) return;
    SListLinks<CProperty, &CProperty::m_next, &CProperty::m_prev>::Unlink(m_list->m_first, this);
    --m_list->m_count;
}

CProperty& CProperty::operator=(const CProperty& other) {
    if (this != &other) {
        m_name.Assign(other.m_name);
        m_value.Assign(other.m_value);
    }
    return *this;
}

int32_t CProperty::GetInt() {
    char* text = const_cast<char*>(m_value.GetText());
    if (char* comma = std::strchr(text, ',')) *comma = ' ';
    if (char* stop = std::strchr(text, '.')) *stop = ' ';
    char* end = nullptr;
    errno = 0;
    long v = strtol_l(text, &end, 10, CLocale());
    if (end == text) return 0;
    if (v > INT_MAX) return INT_MAX;
    if (v < INT_MIN) return INT_MIN;
    return static_cast<int32_t>(v);
}

float CProperty::GetFloat() {
    char* text = const_cast<char*>(m_value.GetText());
    if (char* comma = std::strchr(text, ',')) *comma = '.';
    char* end = nullptr;
    float v = strtof_l(text, &end, CLocale());
    return end == text ? 0.0f : v;
}

void CProperty::GetString(char* buf, int maximum) const {
    if (!buf || maximum <= 0) return;
    const int room = maximum < kFieldSize ? maximum : kFieldSize;
    std::strncpy(buf, m_value.GetText(), static_cast<size_t>(room));
}

CStrBuf& CProperty::GetValue(CStrBuf& out) const {
    return out.Assign(m_value);
}

bool CProperty::Save(CVFSFile& file, int version) {
    if (version < 30) return false;
    return file.WriteString(m_name) && file.WriteString(m_value);
}

bool CProperty::Load(CVFSFile& file, int version) {
    if (version >= 29) return file.ReadString(m_name) && file.ReadString(m_value);
    if (version < 4) return false;
    bool ok = true;
    for (CStrBuf* field : {&m_name, &m_value}) {
        char* p = field->GetBuffer(kFieldSize);
        uint32_t got = file.Read(p, kFieldSize);
        ok = ok && got == kFieldSize;
        p[got < kFieldSize ? got : kFieldSize] = '\0';  // a field without a zero byte ends here
        field->ShrinkToFit();
    }
    return ok;
}

CPropertyList::~CPropertyList() {
    Clear();
}

void CPropertyList::Clear() {
    while (m_first) delete m_first;
}

CPropertyList& CPropertyList::operator=(const CPropertyList& other) {
    if (this == &other) return *this;
    Clear();
    for (CProperty* p = other.m_first; p; p = p->m_next) {
        CProperty* copy = new CProperty(this, "");
        *copy = *p;
    }
    return *this;
}

CProperty* CPropertyList::Add(const char* name, const char* value) {
    CProperty* p = new CProperty(this, name);
    p->SetValue(value);
    return p;
}

CProperty* CPropertyList::Find(const char* name) const {
    if (!name) return nullptr;
    for (CProperty* p = m_first; p; p = p->m_next)
        if (strncasecmp(p->GetName(), name, kFieldSize) == 0) return p;
    return nullptr;
}

bool CPropertyList::Save(CVFSFile& file, int version) {
    if (version < 30) return false;
    if (!file.WriteU32(static_cast<uint32_t>(m_count))) return false;
    for (CProperty* p = m_first; p; p = p->m_next)
        if (!p->Save(file, version)) return false;
    return true;
}

bool CPropertyList::Load(CVFSFile& file, int version) {
    Clear();
    if (version < 4) return false;
    uint32_t count = 0;
    if (!file.ReadU32(count)) return false;
    // Every entry must come from the file: a damaged count ends with the data.
    while (static_cast<uint32_t>(m_count) < count) {
        CProperty* p = new CProperty(this, "");
        if (!p->Load(file, version)) {
            delete p;
            return false;
        }
    }
    return true;
}
