// Grid members: game objects that stand in the world grid (structures,
// resource fields and, through CUnit, every unit). A grid member occupies
// the path-grid cells of its footprint and sits in both link layers of the
// grid, so that path-finding, picking and the area queries find it.
// Its template, CGridMemberTemplate, adds eight keys and an icon.
#pragma once

#include <cstdint>

#include "world/GridObject.h"
#include "world/ObjectTemplate.h"
#include "world/TessarakObject.h"

class CE3DSurface;

class CGridMemberTemplate : public CTessarakObjectTemplate {
public:
    CGridMemberTemplate(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project);
    ~CGridMemberTemplate() override;

    void LoadProperties() override;
    // The scene's list of grid-member templates (message 14).
    void SetOnSceneList(bool on) override;

    uint8_t m_invisibleToPathfinding = 0;
    CE3DSurface* m_icon = nullptr;
    float m_buildTime = 1.0f;
    float m_expense = 0.0f;
    float m_splashDamageModifier = 1.0f;
    uint8_t m_noDebris = 0;
    uint8_t m_noYCollision = 0;
    uint8_t m_absoluteStill = 0;
    uint8_t m_onGridList = 0;
    CGridMemberTemplate* m_gridNext = nullptr;
    CGridMemberTemplate* m_gridPrev = nullptr;
};

class CGridMember : public CTessarakObject, public CGridObject {
public:
    // Grid flags.
    enum : uint8_t {
        kG_NoYCollision = 0x01,
        kG_Avoiding = 0x04,
        kG_Complete = 0x10,  // built: a complete member explodes what it carries
        kG_Marked = 0x20,    // a scaffold: no damage, no live membership, no footprint
        kG_Explodes = 0x80,  // set at construction: its destruction shows its explosion
    };
    // Second grid flags.
    enum : uint8_t { kG2_NoYCollision = 0x01, kG2_Phasing = 0x02, kG2_Catchable = 0x04 };

    CGridMember(CGameScene* scene, CTessarakObjectTemplate* tmpl, CE3DFrame* parent, const float* position,
                uint8_t worldObject, CPlayer* owner, int32_t id);
    ~CGridMember() override;

    bool CreateFromTemplate(CTessarakObjectTemplate* tmpl) override;
    void Release() override;
    void AfterLoad() override;
    void WriteSyncState(CStateArchive& ar) override;
    int ReadSyncState(CStateArchive& ar) override;
    void SaveState(CStateArchive& ar) override;
    bool LoadState(CStateArchive& ar) override;
    bool IsMarked() const override { return (m_gridFlags & kG_Marked) != 0; }

    // What the world grid's queries ask of it.
    int32_t GridId() const override { return m_objectId; }
    float GridX() const override { return m_position[0]; }
    float GridZ() const override { return m_position[2]; }
    float GridRadius() const override { return m_objectRadius; }
    float GridFootprintRadius() const override { return m_objectRadius; }
    uint32_t GridTraits() const override;
    const CPlayer* GridOwner() const override { return m_owner; }
    bool GridIsAlliedWith(const CPlayer* player) const override;
    const void* GridTemplate() const override { return m_template; }

    // Leaves both link layers of the world grid and gives its footprint back.
    void LeaveGridLayers();
    // Leaves the link layers only (it is out of play; the footprint goes
    // when it is released).
    void UnlinkFromLayers();
    // Marks its footprint on the path grid and links it into the layers at
    // its place, as a loaded object does.
    void EnterGrid();
    // Lets go of the carried object: a complete member explodes it, an
    // incomplete one takes it off the grid.
    void ReleaseCarried();

    // Moves it to (x, 0, z) (the unit's version also takes over orders of
    // the source unit): dust where it leaves, and where it arrives either
    // dust and the warp's sounds or, under an enemy's anti-warp unit, its
    // catch (CatchArrival).
    virtual void Relocate(class CUnit* source, float x, float z);
    // A warped object that arrived where it stands: an enemy's anti-warp
    // unit that covers the place (complete, alive, its owner's energy ratio
    // above 0.5, within its WarpMaxRange) catches it. It is destroyed by
    // force, the catcher's race's AntiWarpObject is made there for the
    // neutral player, and the caught warp is heard. True when caught.
    bool CatchArrival();
    // The grid bookkeeping of the scene's structure step: it follows its
    // place in both layers (and its footprint when it is flat).
    void KeepGridPlace();

    // The roles of the vector, the words, the byte and the float are the
    // unit's (a unit's look-ahead point, its area-check phase, its number of
    // tow cables, the grace time of an unfinished structure), all kept in
    // the records.
    float m_vector[3] = {0.0f, 0.0f, 0.0f};
    CObjectLink m_generalLink;
    CObjectLink m_lastAttacker;  // set by ApplyDamage
    // What damage by an attacker cost, for a unit: the value it lost (the
    // damage over its template's power, times its template's expense) and
    // the value its shots destroyed (the same measure with its own
    // template), summed over its life for the computer players' danger
    // maps. Read on the host only; in no record or sync image.
    float m_valueLost = 0.0f;
    float m_valueDestroyed = 0.0f;
    CObjectLink m_carried;
    CGridMember* m_gridNext = nullptr;  // the scene's grid members
    CGridMember* m_gridPrev = nullptr;
    // Where it last registered in the coarse and the fine layer of the
    // world grid (a unit registers in the fine layer by its look-ahead
    // point). The ground place starts far off, so the first registration
    // always takes place.
    static constexpr float kFarOff = -1000000.0f;
    float m_lastGridPosition[3] = {kFarOff, 0.0f, kFarOff};
    float m_lastFinePosition[3] = {kFarOff, 0.0f, kFarOff};
    uint32_t m_word = 0;
    uint8_t m_gridFlags = 0x04 | 0x08 | 0x80;
    uint8_t m_gridFlags2 = kG2_Catchable;
    uint8_t m_byte = 0;
    uint8_t m_byte2 = 0;  // not kept
    float m_float = 10.0f;

protected:
    // The grid member's part of the records (after the base's).
    void TransferPart(CStateArchive& ar, bool sync);
    void LeaveSceneList();
    // A structure joins its owner's structure list besides the list of all.
    void JoinOwnerCategories(CPlayer* newOwner) override;

    uint8_t m_onSceneList = 0;
};
