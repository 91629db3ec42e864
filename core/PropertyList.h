// Property lists: ordered name/value pairs of text.
//
// A CPropertyList is the parsed configuration section of a node of the
// packed project: the world's templates look their settings up by name and
// read them as integers, floats or text, and save and load the list inside
// their own records. New entries always go to the front of the list, so a
// loaded list holds its entries in the reverse of their stored order (and a
// copy reverses again); lookups take the entry nearest the front.
//
// Binary form (little-endian), by the record's file version v:
//   v >= 29: u32 count; per entry name and value, each a u16 length and that
//            many characters (written for v >= 30 only);
//   v 4..28: u32 count; per entry a 256-byte name field and a 256-byte value
//            field holding zero-terminated text (read only);
//   v < 4:   not readable.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"

class CVFSFile;
class CPropertyList;

class CProperty {
public:
    CProperty(CPropertyList* list, const char* name);
    virtual ~CProperty();
    CProperty(const CProperty&) = delete;
    CProperty& operator=(const CProperty& other);

    virtual bool Save(CVFSFile& file, int version);
    virtual bool Load(CVFSFile& file, int version);

    // The first comma, then the first full stop, become blanks (in the
    // stored value, too): "1,5" gives 1 and then reads "1 5", "2.75" gives 2.
    int32_t GetInt();
    // The first comma becomes a full stop (in the stored value, too): "0,25" gives 0.25.
    float GetFloat();
    // Copies min(maximum, 256) characters, zeros after a shorter value; a
    // value of that length or more is not terminated: the caller's buffer
    // must end in a zero of its own beyond them.
    void GetString(char* buf, int maximum) const;
    CStrBuf& GetValue(CStrBuf& out) const;

    const char* GetName() const { return m_name.GetText(); }
    const char* GetValueText() const { return m_value.GetText(); }
    void SetName(const char* name) { m_name.Assign(name); }
    void SetValue(const char* value) { m_value.Assign(value); }
    CProperty* GetNext() const { return m_next; }
    CProperty* GetPrev() const { return m_prev; }

private:
    friend class CPropertyList;
    CStrBuf m_name;
    CStrBuf m_value;
    CPropertyList* m_list;
    CProperty* m_next = nullptr;
    CProperty* m_prev = nullptr;
};

class CPropertyList {
public:
    CPropertyList() = default;
    virtual ~CPropertyList();
    CPropertyList(const CPropertyList&) = delete;
    CPropertyList& operator=(const CPropertyList& other);

    virtual bool Save(CVFSFile& file, int version);
    // Stops with false at the end of the file or a damaged entry; the entries
    // read until then stay.
    virtual bool Load(CVFSFile& file, int version);

    CProperty* Find(const char* name) const;
    // A new entry at the front.
    CProperty* Add(const char* name, const char* value);
    void Clear();
    CProperty* GetFirst() const { return m_first; }
    int32_t GetCount() const { return m_count; }

private:
    friend class CProperty;
    CProperty* m_first = nullptr;
    int32_t m_count = 0;
};
