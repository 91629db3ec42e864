// The explosion manager: keeps the live explosions of the world, prepares
// their drawing each frame and leaves the light of the brightest one for the
// render frame. Created at start-up, restarted at every game start.
#pragma once

#include <cstdint>

#include "core/StrBuf.h"

class CGameHost;
class CTessarakObject;
class CTessarakObjectTemplate;
class CE3DMaterial;
class CE3DNode;
class SoundSample;
class CUnitWeapon;
class CGridMember;
class CUnit;

// An explosion type: what the destruction of an object of a template shows.
// The effect scripts define them by name.
class CExplosionType {
public:
    CExplosionType(class CExplosionManager* manager, const char* name);
    ~CExplosionType();
    CExplosionType(const CExplosionType&) = delete;
    CExplosionType& operator=(const CExplosionType&) = delete;

    CExplosionManager* m_manager;
    CStrBuf m_name;
    CExplosionType* m_next = nullptr;
    CExplosionType* m_prev = nullptr;
};

class CExplosionManager {
public:
    explicit CExplosionManager(CGameHost* game);
    ~CExplosionManager();

    // Forgets every explosion and the view focus point (a new game).
    void Restart();
    // The first type of that name (at most 256 characters compared), or null.
    CExplosionType* FindType(const char* name) const;
    // Deletes every explosion type (before the effect scripts run again).
    void Load();
    // The destruction of an object: it leaves play (off the grid, flag
    // destroyed) and its template's explosion, if any, follows.
    void ExplodeObject(CTessarakObject* object);
    // A laser shot for the view: a beam of the laser object's material from
    // start to end on the weapon's frame, width wide, for burnTime game-time
    // units. The view's beams are not built yet: nothing is shown.
    void ShowLaserBeam(CUnitWeapon* weapon, CTessarakObjectTemplate* laserObject, float width,
                       int32_t burnTime, const float* start, const float* end);
    // Construction sites (Construction.cpp). StartConstruction gives an
    // incomplete structure its scaffold (once) in the start look of its
    // owner's race; UpdateConstruction (every tick while it is incomplete)
    // completes it once its build value reaches its BuildTime, else grows the
    // scaffold with the value. Always true.
    void StartConstruction(CGridMember* structure);
    bool UpdateConstruction(CGridMember* structure);
    // The builder's work effect ends (BuilderEffects.cpp): by its owner's
    // race, the lightning of its fire points is hidden or its beam shrinks.
    void StopBuilderEffect(CUnit* unit);
    // Per frame, after the camera moved: ages the live explosions.
    void Update();
    // Per frame, before the scene render: the explosion light.
    void Draw();

    CGameHost* m_game;
    float m_focusX = 0.0f, m_focusZ = 0.0f;  // view focus set by the map finish
    float m_lightPos[3] = {0.0f, 0.0f, 0.0f};
    int32_t m_lightColour[3] = {0, 0, 0};
    int32_t m_hover = 0;
    int32_t m_liveCount = 0;
    CExplosionType* m_types = nullptr;  // newest first

    // The effect system, from the unit file's "!EffectSystem" node: the
    // materials and objects of the construction effects, the fog of war, the
    // warp sounds (owned), and the emitter template "Puff".
    CE3DMaterial* m_iceScaleMaterial = nullptr;
    CE3DMaterial* m_wireLightningMaterial = nullptr;
    CTessarakObjectTemplate* m_intestineBlobObject = nullptr;
    CTessarakObjectTemplate* m_intestineObject = nullptr;
    CTessarakObjectTemplate* m_fogOfWarObject = nullptr;
    CTessarakObjectTemplate* m_wireLightningObject = nullptr;
    enum { kWarpedInSuccess, kWarpedInFailed, kWarpFailed, kWarpSuccess, kWarpSoundCount };
    SoundSample* m_warpSounds[kWarpSoundCount] = {};
    CE3DNode* m_puffTemplate = nullptr;
};
