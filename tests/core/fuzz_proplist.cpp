// Fuzz target: the property-list reader. The first byte picks the version;
// the rest is the stored list. A list that loads must save and load again to
// the same pairs.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/PropertyList.h"
#include "core/VFSFile.h"
#include "tests/support/MemFile.h"

namespace {

std::string Pairs(const CPropertyList& l) {
    std::string s;
    for (CProperty* p = l.GetFirst(); p; p = p->GetNext()) {
        s += p->GetName();
        s += '\1';
        s += p->GetValueText();
        s += '\2';
    }
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SMemFile input("list"), output("saved");
    if (size < 1) return 0;
    int version = data[0] % 40;
    input.Set(data + 1, size - 1);
    CVFSTable table;
    CPropertyList list;
    CVFSFile in(input.path.c_str(), 0, &table);
    if (!list.Load(in, version)) return 0;
    for (CProperty* p = list.GetFirst(); p; p = p->GetNext()) {
        p->GetInt();
        char buf[300] = {};
        p->GetString(buf, sizeof buf - 1);
        if (std::strlen(buf) > 256) std::abort();
    }
    // Texts with a zero byte inside are cut there by the string class; compare what it holds.
    {
        // Appending to the emptied in-memory file writes it in place: a plain
        // write goes through a temporary file beside it, which cannot be made
        // among the process's descriptors.
        output.Set(nullptr, 0);
        CVFSFile out(output.path.c_str(), CVFSFile::kModeWrite | CVFSFile::kModeAppend, &table);
        if (!list.Save(out, 30)) std::abort();
    }
    CPropertyList twice, thrice;
    CVFSFile back(output.path.c_str(), 0, &table);
    if (!twice.Load(back, 30)) std::abort();
    thrice = twice;  // copying reverses, as loading does
    if (Pairs(thrice) != Pairs(list)) std::abort();
    return 0;
}
