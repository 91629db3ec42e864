// Fuzz target: the world grid's saved-game record. A record that loads must
// size the cell map by its rectangle, and save and load again to the same
// cells.
#include <cstdint>
#include <cstdlib>

#include "core/VFSFile.h"
#include "tests/support/MemFile.h"
#include "world/WorldGrid.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SMemFile input("grid"), output("saved");
    input.Set(data, size);
    CVFSTable table;
    CWorldGrid grid(nullptr);
    {
        CVFSFile in(input.path.c_str(), 0, &table);
        if (!grid.Load(in)) return 0;
    }
    const CCellMap& map = grid.m_cellMap;
    if (map.CellCount() != (grid.m_x2 - grid.m_x1) * (grid.m_y1 - grid.m_y2)) std::abort();
    if (grid.m_pathGrid.Width() != (grid.m_x2 - grid.m_x1) * 3 + 1) std::abort();
    {
        // Appending to the emptied in-memory file writes it in place.
        output.Set(nullptr, 0);
        CVFSFile out(output.path.c_str(), CVFSFile::kModeWrite | CVFSFile::kModeAppend, &table);
        if (!grid.Save(out)) std::abort();
    }
    CWorldGrid again(nullptr);
    CVFSFile back(output.path.c_str(), 0, &table);
    if (!again.Load(back)) std::abort();
    if (again.m_cellMap.CellCount() != map.CellCount() || again.m_cellMap.m_finished != map.m_finished)
        std::abort();
    for (int i = 0; i < map.CellCount(); ++i) {
        const SMapCell &a = map.Cells()[size_t(i)], &b = again.m_cellMap.Cells()[size_t(i)];
        if (a.state != b.state || a.paint != b.paint) std::abort();
    }
    return 0;
}
