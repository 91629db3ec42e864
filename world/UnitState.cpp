#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The unit's part of the two record forms, after the grid member's part. All
// values little-endian and unpadded, floats IEEE singles; a link is its
// target's object id, -1 when empty. [save] and [sync] mark the fields of one
// form only.
//   f32 x 3   go-to-position destination
//   u8        waypoint list present (1) or not (0); if present:
//     u32     number N of points
//     i32     index of the cursor among them (-1: none)
//     N x     u8 sidestepped, f32 x, y, z
//   f32       accumulated turn (steering float 4)
//   f32       maximum speed
//   f32 x 3   speed override, turn-rate factor, current speed (steering 1-3)
//   f32 x 9   desired heading, desired pitch, turn direction, bank, maximum
//             bank, bank rate, hover phase, hover amplitude, hover speed
//   [save] i16 group number
//   u64       game time of the last contact (the creation time at first)
//   u32       stuck counter
//   link      blocker (link 1)
//   f32 x 2   wait speed, wait deceleration
//   link      blocking object (link 2)
//   f32 x 7   heading, pitch (degrees), three floats, guard distance, a float
//   f32 x 3   the unit vector
//   link x 2  attack target, threat (links 3, 4; the previous threat is not kept)
//   u8 x 5    threat-scan counter, orbit direction, manoeuvre, mode, fifth byte
//   [save] the order tree's record, from the root (its type 0 first)
//   [sync] u8 running order (1) or none (0); if 1 its tree form (type first)
//   u32       order-id counter
//   u32       the word after the build counters
//   link x 2  build target, back-linked unit (links 7, 8)
//   u32       the word after the harvest emitter
//   link x 6  links 9, 10 (dock), 11, 12 (fence posts), 13, 14 (fence beams)
//   u8        the grid member's second byte
//   u8 x 8    capability bits 0x01 to 0x80, 0 or 1 each
//   u8        motion flags AND 3
//   u8 x 5    motion flags 0x04, 0x10, 0x20, 0x40, 0x80
//   u8 x 7    steering flags 0x01, 0x02, 0x04, 0x08, 0x10, 0x40, 0x80
//   u8 x 4    service flags 0x04, 0x10, 0x20, 0x40
//   f32 x 3   orbit radius, orbit phase, vertical amplitude
//   u32       scan word
//   u32       the word after the waypoint list
//   link      build-effect object (link 6)
//   f32       build-effect scale
//   u8        energy byte bit 0x01
// Not kept: what the view alone uses (hit flash, alarm, selection fade, the
// blink bit 0x08, the sight cell and stamp, the radar-cover byte) and what is
// rebuilt from the template (build counters, fire points, the tow byte).
#include "world/GameScene.h"
#include "world/StateArchive.h"
#include "world/Unit.h"
#include "world/WaypointList.h"

namespace {
constexpr size_t kWaypointSize = 13;

void TransferWaypoints(CStateArchive& ar, CWaypointList*& list, const CWorldGrid* bounds) {
    uint8_t present = list ? 1 : 0;
    ar.Local(present);  // the layout follows it, checking or applying
    if (!present) {
        if (ar.IsApplying() && list) {
            list->Clear();
            delete list;
            list = nullptr;
        }
        return;
    }
    if (ar.IsWriting()) {
        ar.WriteU32(static_cast<uint32_t>(list->Count()));
        ar.WriteI32(list->CursorIndex());
        for (CWaypointPoint* p = list->Head(); p; p = p->next) {
            ar.WriteU8(p->flags ? 1 : 0);
            ar.F32(p->x);
            ar.F32(p->y);
            ar.F32(p->z);
        }
        return;
    }
    uint32_t count = 0;
    ar.Count(count, kWaypointSize);
    int32_t cursor = ar.ReadI32();
    // A cursor that names no point of the list refuses the record.
    if (cursor < -1 || (cursor >= 0 && static_cast<uint32_t>(cursor) >= count)) ar.Fail();
    if (!ar.Ok()) return;
    CWaypointList* fresh = ar.IsApplying() ? new CWaypointList(bounds) : nullptr;
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t side = ar.ReadU8();
        float xyz[3] = {0.0f, 0.0f, 0.0f};
        ar.F32s(xyz, 3);
        if (fresh) {
            fresh->AppendRaw(xyz[0], xyz[1], xyz[2]);
            fresh->Tail()->flags = side ? 1 : 0;
        }
    }
    if (!fresh) return;
    fresh->SetCursorIndex(cursor);
    if (list) {
        list->Clear();
        delete list;
    }
    list = fresh;
}
}  // namespace

void CUnit::TransferPart(CStateArchive& ar, bool sync) {
    const bool apply = ar.IsApplying();
    ar.F32s(m_gotoDestination, 3);
    TransferWaypoints(ar, m_waypoints, WorldGrid());
    ar.F32(m_accumTurn);
    ar.F32(m_maxSpeed);
    ar.F32(m_speedOverride);
    ar.F32(m_turnRateFactor);
    ar.F32(m_speed);
    ar.F32(m_desiredHeading);
    ar.F32(m_desiredPitch);
    ar.F32(m_turnDirection);
    ar.F32(m_bank);
    ar.F32(m_maxBank);
    ar.F32(m_bankRate);
    ar.F32(m_hoverPhase);
    ar.F32(m_hoverAmplitude);
    ar.F32(m_hoverPhaseSpeed);
    if (!sync) {
        uint16_t group = static_cast<uint16_t>(m_group);
        ar.U16(group);
        if (apply) m_group = static_cast<int16_t>(group);
    }
    ar.U64(m_contactTime);
    ar.U32(m_stuckCount);
    m_blocker.Transfer(ar);
    ar.F32(m_waitSpeed);
    ar.F32(m_waitDeceleration);
    m_blocking.Transfer(ar);
    ar.F32(m_headingDeg);
    ar.F32(m_pitchDeg);
    ar.F32s(m_floats7, 3);
    ar.F32(m_guardDistance);
    ar.F32(m_float7);
    ar.F32s(m_unitVector, 3);
    m_attackTarget.Transfer(ar);
    m_threat.Transfer(ar);
    ar.U8(m_scanCounter);
    uint8_t orbit = static_cast<uint8_t>(m_orbitDirection);
    ar.U8(orbit);
    if (apply) m_orbitDirection = static_cast<int8_t>(orbit);
    ar.U8(m_manoeuvre);
    ar.U8(m_mode);
    ar.U8(m_stateByte5);

    if (!sync) {
        // The whole order tree from its root.
        if (ar.IsWriting()) {
            if (m_orderList)
                m_orderList->SaveToFile(ar);
            else
                COrderList(nullptr).SaveToFile(ar);
        } else {
            if (ar.ReadU32() != 0) ar.Fail();
            if (!ar.Ok()) return;
            if (!m_orderList) {
                // A unit the record itself released keeps no orders: the
                // tree is read and let go.
                COrderList(nullptr).LoadFromFile(ar);
            } else {
                if (apply) {
                    m_runningOrder = nullptr;
                    m_currentOrder = m_orderList;
                    m_orderList->DeleteChildren();
                }
                m_orderList->LoadFromFile(ar);
            }
        }
    } else {
        uint8_t running = m_runningOrder ? 1 : 0;
        ar.Local(running);  // the layout follows it, checking or applying
        if (running) {
            if (ar.IsWriting()) {
                m_runningOrder->PackHeader(ar);
            } else {
                uint32_t type = ar.ReadU32();
                if (!CUnitOrder::IsKnownType(type)) ar.Fail();
                if (!ar.Ok()) return;
                if (!apply || !m_orderList) {
                    CUnitOrder* scratch = CUnitOrder::Create(type, nullptr, nullptr, nullptr);
                    scratch->UnpackTree(ar);
                    delete scratch;
                } else {
                    // The orders the image replaces stop running first: as they
                    // go they leave the unit's fields alone, the ones read
                    // above among them (the image says what those are).
                    CUnitOrder* order = m_runningOrder;
                    m_runningOrder = nullptr;
                    if (!order || order->m_type != type) {
                        delete order;
                        order = CUnitOrder::Create(type, m_orderList, m_orderList->LastChild(), this);
                    }
                    order->UnpackTree(ar);
                    m_runningOrder = order;
                    order->VisitSubOrders();
                }
            }
        } else if (apply && m_runningOrder) {
            CUnitOrder* replaced = m_runningOrder;
            m_runningOrder = nullptr;
            delete replaced;
        }
    }

    ar.U32(m_orderIdCounter);
    ar.U32(m_buildWord);
    m_buildTarget.Transfer(ar);
    m_backLinked.Transfer(ar);
    ar.F32(m_harvestLoad);
    m_link9.Transfer(ar);
    m_dock.Transfer(ar);
    for (CObjectLink& f : m_fence) f.Transfer(ar);
    for (CObjectLink& b : m_fenceBeam) b.Transfer(ar);
    ar.U8(m_byte2);
    for (int bit = 0x01; bit <= 0x80; bit <<= 1) ar.Bit(m_unitState, static_cast<uint8_t>(bit));
    uint8_t low = m_motionFlags & 3;
    ar.U8(low);
    if (apply) m_motionFlags = static_cast<uint8_t>((m_motionFlags & ~3) | (low & 3));
    for (uint8_t bit : {kM_NoTargetScan, kM_Bit10, kM_Above, kM_Arrived, kM_FlatBlocked})
        ar.Bit(m_motionFlags, bit);
    for (uint8_t bit :
         {kT_HeadingReached, kT_Direct, kT_KeepSteering, kT_PathPending, kT_PathReady, kT_Bit40, kT_Waiting})
        ar.Bit(m_steeringFlags, bit);
    for (uint8_t bit : {kS_ChildAdded, kS_DockChosen, kS_Docked, kS_FencePost}) ar.Bit(m_serviceFlags, bit);
    ar.F32(m_orbitRadius);
    ar.F32(m_orbitPhase);
    ar.F32(m_verticalAmplitude);
    ar.U32(m_scanWord);
    ar.U32(m_pathWord);
    m_buildEffect.Transfer(ar);
    ar.F32(m_buildEffectScale);
    ar.Bit(m_energyByte, 0x01);
    ar.U16(m_waitSignal);
    if (apply) {
        // The tow byte follows the capability.
        m_towByte = (m_unitState & kU_Tow) ? uint8_t(m_towByte | 0x01) : uint8_t(m_towByte & ~0x01);
    }
}

void CUnit::WriteSyncState(CStateArchive& ar) {
    CGridMember::WriteSyncState(ar);
    TransferPart(ar, true);
}

int CUnit::ReadSyncState(CStateArchive& ar) {
    int r = CGridMember::ReadSyncState(ar);
    if (r) return r;
    // While the network game holds the sync, the part is read but not taken,
    // so the reader stays in step with the image.
    CStateArchive::EMode mode = ar.GetMode();
    if (m_gameScene->m_syncHold) ar.SetReadMode(CStateArchive::kCheck);
    TransferPart(ar, true);
    ar.SetReadMode(mode);
    return ar.Ok() ? kSyncTaken : kSyncRefused;
}

void CUnit::SaveState(CStateArchive& ar) {
    CGridMember::SaveState(ar);
    TransferPart(ar, false);
}

bool CUnit::LoadState(CStateArchive& ar) {
    if (!CGridMember::LoadState(ar)) return false;
    TransferPart(ar, false);
    if (!ar.Ok()) return false;
    if (ar.IsApplying()) {
        if (m_unitState & kU_Builder) BuildFirePoints();
        MakeBuildCounters();
    }
    return true;
}
