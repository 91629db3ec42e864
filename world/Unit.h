// Units: grid members that belong to a player and take orders (vehicles,
// harvesters, builders, factories, defence structures). A unit is made from
// a CUnitTemplate and copies its capabilities from it.
//
// Each logic tick the scene runs the unit's update (UnitUpdate.cpp): the
// unit turns its path into heading, pitch, bank and speed, sets the velocity
// that the motion step then applies (ObjectMotion.cpp), keeps its target and
// threat, and runs its builder, docking, child-unit, laser-fence, warp and
// economy behaviours; then it registers itself in the world grid and stamps
// its sight. Every random draw comes from the unit's own generator, so every
// machine of a network game computes the same unit in the same tick.
//
// The unit's records (UnitState.cpp) follow the grid member's: the saved
// record with the whole order tree, the sync image with the running order
// only and without the group number (a local choice of the player).
// Local-view state (the hit flash, the alarm, the selection fade, the sight
// stamp and the radar-cover byte) is in neither.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "world/GridMember.h"
#include "world/UnitOrder.h"
#include "world/UnitTemplate.h"

class CE3DFrame;
class CE3DFrameRef;
class CE3DLightning;
class CWaypointList;
class CWorldGrid;

// A child object named "FirePoint" of a builder: where its build beam leaves.
// Its lightning is the view's alone: the timer and the generator that pick
// where a bolt strikes are kept in no record (a loaded builder starts them
// again), so they never touch the unit's own generator.
struct SFirePoint {
    SFirePoint();
    ~SFirePoint();
    SFirePoint(SFirePoint&&) noexcept;
    SFirePoint& operator=(SFirePoint&&) noexcept;

    // The bolt drawn (none on a machine without view effects), hidden until
    // the builder works.
    CE3DLightning* Lightning() const;
    // The bolt from the point's place in the world to the bolt's end, drawn
    // anew and shown.
    void ShowBolt();

    CTessarakObject* m_object = nullptr;  // the child object (a part of the unit's tree)
    CRandom m_random;                     // seeded when the point is found
    float m_timer = -1.0f;                // the lightning's timer
    float m_boltEnd[3] = {0.0f, 0.0f, 0.0f};
    uint8_t m_boltShown = 0;
    // The lightning frame, a frame of the scene root (its points are world
    // points), which goes when the point is given up.
    std::unique_ptr<CE3DFrameRef> m_lightning;
};

class CUnit : public CGridMember {
public:
    // Capability bits, the unit state flags.
    enum : uint8_t {
        kU_Radar = 0x01,
        kU_Mobile = 0x02,
        kU_Armed = 0x04,
        kU_Builder = 0x08,
        kU_Docks = 0x10,
        kU_Warp = 0x20,
        kU_Tow = 0x40,
        kU_Alive = 0x80,
    };
    // Motion flags.
    enum : uint8_t {
        kM_WarpMade = 0x01,
        kM_Warp2 = 0x02,  // a warp unit's riders were stopped by an anti-warp unit
        kM_NoTargetScan = 0x04,
        kM_FlashPhase = 0x08,  // view only: not stored
        kM_Bit10 = 0x10,
        kM_Above = 0x20,    // drawn at construction: the side a strafing unit passes its target on
        kM_Arrived = 0x40,  // also the stop bit of the orders
        kM_FlatBlocked = 0x80,
    };
    // Steering flags.
    enum : uint8_t {
        kT_HeadingReached = 0x01,
        kT_Direct = 0x02,  // goes straight to its point (a flying unit, a unit going to an object)
        kT_KeepSteering = 0x04,
        kT_PathPending = 0x08,  // its way is being searched
        kT_PathReady = 0x10,
        kT_PathReceived = 0x20,  // the way of its current request has come (message 142); not stored
        kT_Bit40 = 0x40,
        kT_Waiting = 0x80,
    };
    // Service flags.
    enum : uint8_t {
        kS_SightStamped = 0x01,   // view only: not stored
        kS_AwaitingOrder = 0x02,  // an order was sent and its confirmation is awaited
        kS_ChildAdded = 0x04,
        kS_Bit08 = 0x08,
        kS_DockChosen = 0x10,
        kS_Docked = 0x20,
        kS_FencePost = 0x40,
    };
    // Grid flags of a unit (the grid member's byte), by their role here.
    enum : uint8_t {
        kG_Flat = kG_NoYCollision,
        kG_Moving = 0x02,
        kG_Yields = 0x08,
        kG_Blocked = 0x40,
    };
    // Unit messages (the grid member handles 0 and 1).
    enum : int {
        kMsgGroupAssign = 5,
        kMsgGroupSelect = 6,
        kMsgGroupJoin = 7,
        kMsgAttack = 8,
        kMsgHelpBuild = 9,
        kMsgGoToObject = 10,
    };
    static constexpr uint16_t kNoSightCell = 65535;
    // The weapon template whose laser gives the builders' bolts their look.
    static constexpr const char* kBuildBeamWeapon = "Weapon_Human_Repeat_Laser_Small";

    // The owner is applied by the unit itself, once it is a unit.
    CUnit(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent, const float* position,
          uint8_t worldObject, CPlayer* owner, int32_t id);
    ~CUnit() override;

    void HandleMessage(int message, intptr_t argument) override;
    // The grid member's, then the unit deselects itself and copies its
    // capabilities from the template.
    bool CreateFromTemplate(CTessarakObjectTemplate* tmpl) override;
    void Release() override;
    void WriteSyncState(CStateArchive& ar) override;
    int ReadSyncState(CStateArchive& ar) override;
    void AfterLoad() override;
    void SaveState(CStateArchive& ar) override;
    bool LoadState(CStateArchive& ar) override;
    // Moves the unit to (x, 0, z): its tow links and orders go; a unit of the
    // local player takes over the source unit's queue.
    void Relocate(CUnit* source, float x, float z) override;
    bool KeepsPlaceForNewOwner() const override { return true; }
    uint32_t GridTraits() const override;
    int GridClearance() const override { return m_footprintHalfSize; }
    float GridFootprintRadius() const override;

    // ---- the per-tick update (UnitUpdate.cpp)
    // One tick; underConstruction is set when the unit is not complete.
    void Update(uint8_t* underConstruction);
    // What only the view shows, per render frame (frame: its seconds): the
    // hit flash, the alarm and the selection ring's fade. Outside the tick:
    // nothing of it is simulated or stored.
    void StepView(float frame);
    void StrafeTarget();
    void CircleTarget();
    bool AddChildUnit();
    CUnit* FindFenceNeighbour();

    // ---- orders
    // A move to (x, 0, z) at the back of the queue, issued here: sent at
    // once unless the queue's mask keeps moves waiting (a factory's rally
    // point).
    void AddMoveOrder(float x, float z, uint8_t force);
    // The first top-level build order of that id: deleted when queued,
    // stopped on every machine (message 137) when running.
    void CancelBuildOrder(uint32_t orderId);
    // A move to (x, 0, z) at the back of the queue, issued here but not sent:
    // the queue sends it when its turn comes (a move queued behind others).
    void QueueMoveOrder(float x, float z, uint8_t force);
    // The next order id, for a confirmed order.
    uint32_t NextOrderId() { return ++m_orderIdCounter; }
    // Appends copies of the source's queued move, attack, guard, repair,
    // patrol and tow orders (front to back) at the back of this unit's queue:
    // a produced unit takes its factory's rally orders, a relocated unit the
    // queue of the unit it replaces.
    void CopyQueuedOrders(const CUnit* source);
    // The harvester's depot: where it unloads.
    CObjectLink& UnloadingUnit() { return m_link9; }
    // Set by a harvest: its go-to-position looks for a free spot twice as far.
    uint8_t& DoubleSearchRadius() { return m_orderByte0; }

    // ---- other operations
    // The resource spot nearest in the ground plane (the first of equal
    // distances), for a unit that docks; null otherwise.
    CTessarakObject* FindNearestDock();
    void PlayWeaponSound(int32_t weapon);
    void ResetFirePointBeams();
    // Its unit template; null for a unit made of another kind of template (a
    // saved unit whose template has changed its class since).
    CUnitTemplate* UnitTemplate() const {
        return m_template && (m_template->m_classMask & kClassUnit) ? static_cast<CUnitTemplate*>(m_template)
                                                                    : nullptr;
    }
    bool IsAlive() const { return (m_unitState & kU_Alive) != 0; }
    bool IsComplete() const { return (m_gridFlags & kG_Complete) != 0; }
    // A mobile unit whose template does not fly keeps to the ground: it
    // drives level, rests at its rest height (the ground's plus its hover
    // bob), falls back to it when something pushed it up and cannot sink
    // below it.
    bool KeepsToGround() const;
    float RestHeight() const;
    // The hit flash of a unit that took damage, and the refresh of the
    // selection's panels after damage to a selected unit (view only).
    void OnDamage(float amount) override;
    // The sight disc's radius: VisibleRange to the nearest integer, at most 63.
    int SightRadius() const;
    // Stamps (delta 1) or removes (delta -1) the sight disc at the stored cell.
    void StampSight(int delta);

    // ---- fields, in declaration order (roles of the unit update)
    float m_hitFlashAccum = 0.0f;   // view only
    float m_hitFlashTimer = 0.0f;   // view only; 2.0 when hit
    float m_selectedDamage = 0.0f;  // view only: damage taken while selected, since the last refresh
    uint32_t m_alarm = 0;           // view only
    float m_alarmTimer = 0.0f;      // view only
    float m_beamGrowth = 0.0f;      // view only: the builder beam's growth, 0 to 1
    CUnit* m_unitNext = nullptr;    // the scene's units, newest first
    CUnit* m_unitPrev = nullptr;
    uint8_t m_updateByte = 0;  // cleared when the unit leaves the grid's special slot
    uint32_t m_scanWord = 0;   // non-zero keeps the unit arrived
    float m_gotoDestination[3] = {0.0f, 0.0f, 0.0f};
    CWaypointList* m_waypoints = nullptr;
    uint32_t m_pathWord = 0;
    float m_maxSpeed = 0.7f;
    // The steering floats.
    float m_speedOverride = 0.0f;
    float m_turnRateFactor = 1.0f;
    float m_speed = 0.0f;
    float m_accumTurn = 0.0f;       // degrees, signed
    float m_desiredHeading = 0.0f;  // degrees
    float m_desiredPitch = 0.0f;    // degrees
    float m_turnDirection = 0.0f;
    float m_bank = 0.0f;        // degrees, signed
    float m_maxBank = 0.0f;     // degrees
    float m_bankRate = 0.0f;    // degrees per second
    float m_hoverPhase = 0.0f;  // radians
    float m_hoverAmplitude = 0.0f;
    float m_hoverPhaseSpeed = 1.0f;
    float m_selectionFade = 0.0f;                            // view only
    uint16_t m_sightCell[2] = {kNoSightCell, kNoSightCell};  // view only
    uint64_t m_contactTime = 0;  // game time of the last contact; the creation time at first
    uint32_t m_stuckCount = 0;
    CObjectLink m_blocker;  // link 1
    float m_waitSpeed = 0.0f;
    float m_waitDeceleration = 0.0f;
    CObjectLink m_blocking;     // link 2: the blocking object of the blocked state
    float m_headingDeg = 0.0f;  // the seven floats: heading and pitch in degrees, ...
    float m_pitchDeg = 0.0f;
    float m_floats7[3] = {0.0f, 0.0f, 0.0f};
    float m_guardDistance = 4.0f;
    float m_float7 = 4.0f;
    float m_unitVector[3] = {0.0f, 0.0f, 0.0f};
    CObjectLink m_attackTarget;    // link 3
    CObjectLink m_threat;          // link 4
    CObjectLink m_previousThreat;  // link 5: neither stored nor resolved
    // The five state bytes.
    uint8_t m_scanCounter = 0;
    int8_t m_orbitDirection = 1;
    uint8_t m_manoeuvre = 0;
    uint8_t m_mode = 2;
    uint8_t m_stateByte5 = 3;
    float m_orbitRadius = 0.0f;
    float m_orbitPhase = 0.0f;
    float m_verticalAmplitude = 0.0f;
    uint8_t m_orderByte0 = 0;
    uint8_t m_stopByte = 0;  // set: the speed control stops the unit (cleared by RemoveAll)
    int16_t m_group = 0;
    // Set by the map's scripts (AddCustomizedControl, AddMoveOrder,
    // AddPatrolOrder): the unit follows its script, and the computer players
    // leave it alone. Not part of the sync image or the saved record.
    uint8_t m_scriptControl = 0;
    // The signal (1 to 255) the unit waits for (ss_SetWaitForSignal), 0 when
    // it waits for none: while it waits it holds its orders (none is sent
    // or stepped) and stands. Set on every machine by the turn's SIGNAL (143).
    uint16_t m_waitSignal = 0;
    COrderList* m_orderList = nullptr;
    CUnitOrder* m_runningOrder = nullptr;
    CUnitOrder* m_currentOrder = nullptr;
    CUnitOrder* m_lastPatrolPoint = nullptr;  // the patrol order of the last patrol command
    uint32_t m_orderIdCounter = 0;
    int32_t* m_buildCounters = nullptr;
    uint32_t m_buildWord = 0;
    CObjectLink m_buildEffect;  // link 6: owned, deleted on release
    float m_buildEffectScale = 0.0f;
    CE3DFrame* m_iceScaleEffect = nullptr;
    std::vector<SFirePoint> m_firePoints;
    CObjectLink m_buildTarget;  // link 7
    CObjectLink m_backLinked;   // link 8: its target links back to this unit
    // A harvester's beam: an emitter of the view under the unit, turned up
    // while it gathers or unloads (owned; a reference, as the unit's frame
    // deletes its children, and the scene root the unit, in any order).
    CE3DFrameRef m_harvestEmitter;
    float m_harvestLoad = 0.0f;          // what a harvester carries
    CObjectLink m_link9;                 // a harvester's depot (UnloadingUnit)
    CObjectLink m_dock;                  // link 10
    CE3DFrame* m_warpEmitter = nullptr;  // owned
    // The smoke of a badly damaged unit: an emitter of the view under the
    // scene's root that follows the unit (owned; a reference, as the root
    // may delete it first).
    CE3DFrameRef m_smokeEmitter;
    CObjectLink m_fence[2];      // links 11, 12: the laser-fence neighbours
    CObjectLink m_fenceBeam[2];  // links 13, 14
    float m_float1 = 1.0f;
    uint32_t m_word = 0;
    uint8_t m_unitState = kU_Alive;  // capability bits
    uint8_t m_motionFlags = 0;
    uint8_t m_steeringFlags = kT_PathReady;
    uint8_t m_towByte = 0;
    uint8_t m_areaByte = 0;  // view only: whether the local player's radar covers the unit
    uint8_t m_serviceFlags = 0;
    uint8_t m_energyByte = 0;  // 0x01: its EnergyAccelerator counts in the owner's factor

    // Roles that the unit gives fields of its bases (all kept in the records):
    // the build value (seconds of work done on it) and the progress shown are
    // the object's two power words, the grace time before an unfinished
    // structure decays is the grid member's float (10.0 at first), the number
    // of tow cables attached is the grid member's byte.
    float& BuildValue() { return m_powerWord1; }
    // Finished at once (a map's units, start units): the whole build time
    // done, complete and fully shown.
    void MarkFinished();
    float& ProgressValue() { return m_powerWord2; }
    float& GraceTimer() { return m_float; }

    // The harvest beam (view only; nothing without the emitter). Turned down:
    // no births, a narrow spread. Toward a point: births at the rate with the
    // speed jitter and the growth given, aimed from the unit at the point.
    void TurnDownHarvestEmitter();
    void AimHarvestEmitter(const float* at, float rate, float jitter, float growth);

    // The sum of its weapons' hit damage (each weapon adds its own on its
    // first tick; not kept, the weapons add theirs again after a load).
    float m_firePower = 0.0f;

    CGridObject* GridLinkedUnit() const override;
    // The registration of step 20 of the update: the coarse layer by its
    // place, the fine layer by its look-ahead point, the footprint when flat.
    void RegisterInGrid(CWorldGrid* grid);

protected:
    // The steps of the update that have a body of their own.
    void UpkeepTarget(CPlayer* owner, CPlayer* local);
    void Steer(float dt);
    void Turn(float dt);
    void Avoid(CWorldGrid* grid);
    void LookAhead();
    void UpdateFence(float dt);
    void UpdateWarp();
    void PhasePush(CWorldGrid* grid);
    // Smoke while the power is below half the template's; view only.
    void UpdateSmoke();
    // A harvester's emitter, made from "HarvestEmitter" when the view shows
    // effects and that template exists; turned down.
    void MakeHarvestEmitter(const CUnitTemplate* t);
    void UpdateSight(CWorldGrid* grid, CPlayer* local);
    // The unit part of the two record forms.
    void TransferPart(CStateArchive& ar, bool sync);
    void LeaveOwnerUnitLists(CPlayer* oldOwner) override;
    void JoinOwnerUnitLists(CPlayer* newOwner) override;
    void TakeCountedCostFrom(CPlayer* oldOwner) override;
    void LeaveSceneUnitList();
    // The fire points of a builder, each with its bolt in the look of the
    // build beam (kBuildBeamWeapon's laser).
    void BuildFirePoints();
    // One zeroed counter per build-list entry of a builder's template.
    void MakeBuildCounters();
    void ClearFirePoints();
    uint8_t m_onUnitList = 0;
};
