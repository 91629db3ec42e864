// The object-id table: every game object that has an id, found by its id.
//
// Every reference to an object that crosses a machine or a saved game
// (orders, network messages, links, records) is an object id, and every
// receiver turns it back into the object here. The table also hands out the
// ids: every machine of a network game creates objects in the same order in
// the same tick, so the one counter gives the same ids everywhere. An id is
// never given back during a map; the map loader starts the counter at 0.
//
// 8192 buckets by the low 13 bits of the id, each the head of an intrusive
// chain through the objects (their id, bucket and chain fields), so a lookup
// is one array access and a short walk and nothing is allocated. The table
// does not own the objects. It never holds two objects of one id: an object
// whose id another object already holds is refused.
#pragma once

#include <cstdint>

class CTessarakObject;

class CObjectIdTable {
public:
    static constexpr int kBuckets = 8192;

    CObjectIdTable();
    // Unhooks every object; the objects live on.
    ~CObjectIdTable();
    CObjectIdTable(const CObjectIdTable&) = delete;
    CObjectIdTable& operator=(const CObjectIdTable&) = delete;

    // The object of that id, or null (always null for -1).
    CTessarakObject* Find(int32_t id) const;
    // Hangs object at the head of its id's bucket, unhooking it first when it
    // hangs anywhere. Refused (false, nothing changes) for id -1 and for an
    // id that another object holds.
    bool Insert(CTessarakObject* object);
    // Takes object out of its chain; an object in no chain is left alone.
    static void Unhook(CTessarakObject* object);

    // The next id to hand out, then one more. An id that an object holds (a
    // counter set back by a saved game or a server) is stepped over, so a
    // fresh id is always free.
    int32_t NewId() {
        while (Find(m_counter)) ++m_counter;
        return m_counter++;
    }
    int32_t GetCounter() const { return m_counter; }
    void SetCounter(int32_t next) { m_counter = next; }

private:
    CTessarakObject* m_buckets[kBuckets];
    int32_t m_counter = 0;
};
