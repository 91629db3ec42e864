#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The way searches of a machine in a saved state, little-endian, unpadded:
//   u32       R requesters (at most kMaxRequesters), R x i32 their unit ids in
//             the queue's order
//   i32       the unit the path finder serves (-1: none)
//   u8        the last request ended without a way
//   u32       the jitter generator's state (15 bits)
//   kPathCaches times (clearance radius 0, 1, ...):
//     u32     E entries (at most kMaxCacheEntries)
//     E x     u64 game time stored, i32 goal x, goal y, start x, start y,
//             i32 owner id, u32 P points (at most kMaxCachePoints),
//             P x f32 x, y, z (fine cells)
#include <algorithm>
#include <vector>

#include "world/StateArchive.h"
#include "world/WorldGrid.h"

namespace {
constexpr uint32_t kMaxRequesters = 65536;
constexpr uint32_t kMaxCacheEntries = 4096;
constexpr uint32_t kMaxCachePoints = 65536;
}  // namespace

void CWorldGrid::SavePathState(CStateArchive& ar) const {
    ar.WriteU32(static_cast<uint32_t>(m_requesters.size()));
    for (int32_t id : m_requesters) ar.WriteI32(id);
    ar.WriteI32(m_pathOwner);
    ar.WriteU8(m_noPath);
    ar.WriteU32(m_jitter.GetState());
    for (const std::vector<SPathCacheEntry>& cache : m_pathCache) {
        ar.WriteU32(static_cast<uint32_t>(cache.size()));
        for (const SPathCacheEntry& e : cache) {
            uint64_t time = e.time;
            ar.U64(time);
            for (int32_t v : {e.goalX, e.goalY, e.startX, e.startY, e.ownerId}) ar.WriteI32(v);
            ar.WriteU32(static_cast<uint32_t>(e.list ? e.list->Count() : 0));
            for (const CWaypointPoint* p = e.list ? e.list->Head() : nullptr; p; p = p->next) {
                float xyz[3] = {p->x, p->y, p->z};
                ar.F32s(xyz, 3);
            }
        }
    }
}

bool CWorldGrid::LoadPathState(CStateArchive& ar) {
    const CStateArchive::EMode mode = ar.SetReadMode(CStateArchive::kApply);
    uint32_t count = 0;
    ar.Count(count, 4);
    if (count > kMaxRequesters) ar.Fail();
    std::deque<int32_t> requesters;
    for (uint32_t i = 0; ar.Ok() && i < count; ++i) requesters.push_back(ar.ReadI32());
    const int32_t owner = ar.ReadI32();
    const uint8_t noPath = ar.ReadU8();
    const uint32_t jitter = ar.ReadU32();
    if (jitter > 0x7FFF) ar.Fail();
    std::vector<SPathCacheEntry> caches[kPathCaches];
    for (std::vector<SPathCacheEntry>& cache : caches) {
        uint32_t entries = 0;
        ar.Count(entries, 32);
        if (entries > kMaxCacheEntries) ar.Fail();
        for (uint32_t i = 0; ar.Ok() && i < entries; ++i) {
            SPathCacheEntry e;
            ar.U64(e.time);
            e.goalX = ar.ReadI32();
            e.goalY = ar.ReadI32();
            e.startX = ar.ReadI32();
            e.startY = ar.ReadI32();
            e.ownerId = ar.ReadI32();
            uint32_t points = 0;
            ar.Count(points, 12);
            if (points > kMaxCachePoints) ar.Fail();
            e.list = std::make_unique<CWaypointList>();
            for (uint32_t p = 0; ar.Ok() && p < points; ++p) {
                float xyz[3] = {};
                ar.F32s(xyz, 3);
                e.list->AppendRaw(xyz[0], xyz[1], xyz[2]);
            }
            cache.push_back(std::move(e));
        }
    }
    ar.SetReadMode(mode);
    if (!ar.Ok()) return false;
    if (!ar.IsApplying()) return true;
    EndRequest();
    m_requesters = std::move(requesters);
    m_pathOwner = owner;
    m_noPath = noPath ? 1 : 0;
    m_jitter.m_state = jitter;
    for (int i = 0; i < kPathCaches; ++i) m_pathCache[i] = std::move(caches[i]);
    return true;
}
