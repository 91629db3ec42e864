// Fuzz target: GUI packfiles. No count or length is believed beyond the
// file; what the reader takes, the writer gives back so that it reads the
// same again; an interface builds its objects from it whatever it holds.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tools/lib/GUIPackWriter.h"
#include "ui/GUIObject.h"
#include "ui/GUIPackfile.h"
#include "ui/Interface.h"

namespace {
void Check(bool ok) {
    if (!ok) std::abort();
}

uint32_t Count(const CGUIObject* o) {
    uint32_t n = 1;
    for (const CGUIObject* c : o->m_Children) n += Count(c);
    return n;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    SGUIPack pack;
    std::string error;
    if (!GUIPack_Parse(data, size, pack, error)) {
        Check(!error.empty());
        return 0;
    }
    Check(pack.objects >= 1 && pack.objects <= kGUIPackMaxObjects);
    Check(GUIPack_CountObjects(pack.root) == pack.objects);
    // Written again, it reads the same: every record's bytes are the reader's.
    std::vector<uint8_t> again;
    Check(GUIPack_Build(pack, again, error, pack.objectCount));
    SGUIPack second;
    Check(GUIPack_Parse(again.data(), again.size(), second, error));
    std::vector<uint8_t> third;
    Check(GUIPack_Build(second, third, error, second.objectCount));
    Check(third == again);
    // The objects of the file, made by an interface without a display.
    static CInterface* ui = new CInterface;
    Check(ui->LoadGUIPack(pack, "fuzz", false));
    Check(ui->m_GUIRoot && Count(ui->m_GUIRoot) == pack.objects);
    ui->FreeGUI();
    return 0;
}
