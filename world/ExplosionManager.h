// The explosion manager: the game's effects object and the keeper of its
// view. Created at start-up after the world grid, restarted at every game
// start and scene clear, deleted at shutdown.
//
// It keeps the explosion types by name (the effect scripts define them with
// the Effect_Explo_ commands) and makes what the destruction of an object
// leaves (ExplodeObject): the object leaves play, a pressure wave pushes and
// hurts its neighbours, and for the view a sound, a polygon blow, the
// explosion objects of its type, thrown debris and a camera shake.
//
// What is simulation and what is view is kept strictly apart. The first two
// steps (leaving play, the pressure wave) and the one draw from the destroyed
// object's generator are simulation: every machine makes them, whatever its
// settings. Everything else is an effect of the view: objects made without an
// object id, outside the world's lists (never in a sync image, a saved game,
// the active list or a pressure wave), moved and ended here, frame by frame.
// A machine with the view effects switched off (a dedicated server, or the
// effect switches) makes none of them and its world stays bit for bit the
// same as every other machine's.
//
// Per render frame it drives the mouse-cursor light (UpdateCursorLight), ages
// the view effects and paints the fog-of-war overlay around what the camera
// looks at (Update). The camera itself is the interface's (ui/GameCamera.h).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <list>
#include <memory>
#include <vector>

#include "core/StrBuf.h"
#include "e3d/Frame.h"

class CWorld;
class CCommandInterpreter;
class CGameScene;
class CTessarakObject;
class CTessarakObjectTemplate;
class CE3DLight;
class CE3DMaterial;
class CE3DNode;
struct SWorldSample;
class CUnitWeapon;
class CGridMember;
class CUnit;
class CExplosionManager;
class CExplosionType;
struct SSurfacePixelFormat;

// One object of an explosion type: shown where the object was destroyed
// (Effect_Explo_AddObject) or thrown away from it (Effect_Explo_AddThrowObject).
class CExplosionInstance {
public:
    // Joins the front of the type's object list.
    explicit CExplosionInstance(CExplosionType* type);
    ~CExplosionInstance();
    CExplosionInstance(const CExplosionInstance&) = delete;
    CExplosionInstance& operator=(const CExplosionInstance&) = delete;

    CExplosionType* m_type;
    CStrBuf m_objectName;
    CTessarakObjectTemplate* m_template = nullptr;
    CExplosionInstance* m_next = nullptr;
    CExplosionInstance* m_prev = nullptr;
    uint8_t m_thrown = 0;
    // The ninth argument of Effect_Explo_AddObject: a shown object keeps its
    // template's heading instead of facing -pi/2.
    uint8_t m_keepHeading = 0;
    // Base values and random ranges: size (the object's scale), time (its
    // life in seconds) and speed (of a thrown object). A value is
    // (r x 0.5 - 1.0) x range + base, r drawn from the new object's own
    // generator in [0, 1].
    float m_size = 10.0f, m_sizeRange = 10.0f;
    float m_time = 1.0f, m_timeRange = 1.0f;
    float m_speed = 1.0f, m_speedRange = 0.0f;
    uint8_t m_randomPosition = 0;  // anywhere in the destroyed object's box
    uint8_t m_top = 0;             // on top of the destroyed object
};

// An explosion type: what the destruction of an object shows.
class CExplosionType {
public:
    // Joins the front of the manager's list.
    CExplosionType(CExplosionManager* manager, const char* name);
    // Leaves the list and deletes its objects; frees its sound.
    ~CExplosionType();
    CExplosionType(const CExplosionType&) = delete;
    CExplosionType& operator=(const CExplosionType&) = delete;

    CExplosionManager* m_manager;
    CStrBuf m_name;
    CExplosionInstance* m_objects = nullptr;  // newest first
    uint8_t m_locked = 0;                     // Effect_Explo_Lock: the setters change nothing
    CE3DMaterial* m_debrisMaterial = nullptr;
    CStrBuf m_debrisDescription;
    float m_polyBlowSpeed = 5.0f;
    SWorldSample* m_sound = nullptr;  // owned
    // What the debris that this type throws shows when it comes down.
    CExplosionType* m_debrisExplosion = nullptr;
    uint8_t m_scaleSet = 0;
    float m_scale[3] = {1.0f, 1.0f, 1.0f};
    float m_shake = 0.0f;
    CExplosionType* m_next = nullptr;
    CExplosionType* m_prev = nullptr;
};

class CExplosionManager {
public:
    // Made by its world (CWorld), or without one (a test of its view alone).
    explicit CExplosionManager(CWorld* world);
    // Every type, every view effect, the overlay and the cursor light go
    // (after the world's scene: nothing names the types any more).
    ~CExplosionManager();
    CExplosionManager(const CExplosionManager&) = delete;
    CExplosionManager& operator=(const CExplosionManager&) = delete;

    // The first type of that name (at most 256 characters compared), or null.
    CExplosionType* FindType(const char* name) const;
    // Deletes every explosion type (before the effect scripts run again);
    // templates and races forget the types they named.
    void Load();
    // At shutdown: every type, every view effect and the fog overlay.
    void Clear();
    // A new game or a cleared scene: the view effects and the fog overlay go
    // and the overlay is made again from the effect system's fog-of-war
    // object under the scene root. False when there is no such object.
    bool Restart();
    // The view effects and the fog overlay go (before the templates they
    // show do).
    void ClearEffects();

    // The destruction of an object (see the file's head). The steps:
    //  1. it leaves the world grid and is flagged destroyed;
    //  2. its explosion type: none for DestructionMethod "None"; for
    //     "AutoExplosion" on a grid member its owner's race's type by size
    //     (its radius x 1.1 to the nearest integer: 0 small, 1 medium, 2 and
    //     3 big, above huge); a grid member not yet complete, or a scaffold,
    //     takes the race's construction explosion; a grid member without its
    //     explode flag (grid flag 0x80) and an object without a type stop;
    //  3. the simulation's draw: one of the race's debris templates is chosen
    //     by the object's own generator;
    //  4. the pressure wave of the template's SpreadingSpeed, ExplosionMass,
    //     DamagePower and DamageRadius, for a complete grid member or an
    //     object that is no grid member;
    //  5. the view: the sound, the polygon blow (a shattered copy of the
    //     object, tinted in its owner's colour, in the type's debris
    //     material), every object of the type in list order (the chosen
    //     debris template for an object that names none), the camera shake.
    // Objects without an id are effects of the view themselves: they make
    // only view effects.
    void ExplodeObject(CTessarakObject* object);
    // A polygon blow of the object for the view: a shattered copy with the
    // strength 5.0 / radius x factor (flag: the pieces spread). The object
    // itself is not changed.
    void ShatterObject(CTessarakObject* object, float factor, bool flag);
    // A laser shot for the view: a beam of the laser object's material from
    // start to end under the scene root, width wide, for burnTime game-time
    // units.
    void ShowLaserBeam(CUnitWeapon* weapon, CTessarakObjectTemplate* laserObject, float width,
                       int32_t burnTime, const float* start, const float* end);
    // What a shot shows (its muzzle flash, the spark where it lands, its
    // tracer): an object of the template for the view at the place, turned
    // to heading and pitch (radians) and, with a length above 0, stretched
    // along its depth to it; it lasts the life its template gives
    // (AutoDestructionMin plus up to AutoDestructionRandomLimit), or a fifth
    // of a second. Never part of the world: no id, in no list of the
    // world's, so a loaded or resynced world is the same without it.
    void ShowShotEffect(CTessarakObjectTemplate* tmpl, const float* at, float heading, float pitch,
                        float length);

    // Construction sites (Construction.cpp). StartConstruction gives an
    // incomplete structure its scaffold (once) in the start look of its
    // owner's race; UpdateConstruction (every tick while it is incomplete)
    // completes it once its build value reaches its BuildTime, else grows the
    // scaffold with the value. Always true.
    void StartConstruction(CGridMember* structure);
    // A builder's work effect begins (the build orders call it where the
    // work on a site begins; the unit's update drives it while the unit has
    // a build target): lightning bolts from its fire points (race look 1),
    // or the beam object of look 2, made once for the view (no id) and kept
    // as the builder's carried object.
    void StartBuilderEffect(CUnit* unit);
    bool UpdateConstruction(CGridMember* structure);
    // The builder's work effect ends (BuilderEffects.cpp): by its owner's
    // race, the lightning of its fire points is hidden or its beam shrinks.
    void StopBuilderEffect(CUnit* unit);

    // Per render frame (dt: its seconds): the view effects move and end, the
    // fog overlay is painted from the world grid's cell map around the
    // ground point (focusX, focusZ) the camera looks at.
    void Update(float dt, float focusX, float focusZ);
    // Per render frame: the light under the mouse cursor breathes and stands
    // over the point where the player listens (IWorldSound::ListeningPoint).
    void UpdateCursorLight(float dt);
    // Per render frame before the scene is drawn, step: the drawn game time
    // since the last frame (seconds; 0 while the game stands). The cursor
    // light breathes on by it, and the flash of the newest explosion fades
    // by it: the explosion light's place and colour (0 to 255 a component,
    // all 0 once it went out) are left in m_explosionLight for the screen.
    void Draw(float step);
    struct SExplosionLight {
        float position[3] = {0.0f, 0.0f, 0.0f};
        int32_t colour[3] = {0, 0, 0};
    } m_explosionLight;
    // A flash lasts this long at full colour (255, 170, 80) and fades out
    // over the second half; -1: no flash.
    static constexpr float kFlashSeconds = 0.6f;
    float m_flashAge = -1.0f;
    float m_flashAt[3] = {0.0f, 0.0f, 0.0f};
    // The flash of an explosion at a point (view only).
    void Flash(const float* at);
    // The star field (Effect_GenerateStars), a view effect: emitters of the
    // template (null: "StarsSmall" of the 3D engine) laid over the map in
    // cells of 30 units, from overlap cells before its first column and row
    // to twice as many after its last, each a
    // still box of stars 30 wide at y from yLevel to yLevel + yRandom, sized
    // from size to size + sizeRandom; count, when not 0, is the stars of
    // each (the template keeps its own). The field made before goes first,
    // whole. At most kMaxStarEmitters. The number of emitters made (0
    // without a template or a scene root).
    static constexpr int32_t kMaxStarEmitters = 4096;
    int32_t GenerateStars(CE3DNode* tmpl, int32_t count, float yLevel, float yRandom, float size,
                          float sizeRandom, float overlap);
    int32_t StarCount() const;
    // Registers the effect settings (the Effect_ console variables, most
    // kept in Effects.cfg), bound to this manager's own values: those named,
    // in that order, or all of them.
    void RegisterSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names = {});
    // Registers the sun's settings (the view area's scene_sun_ rows).
    void RegisterSunSettings(CCommandInterpreter* ip);
    // The number of view effects alive.
    int32_t EffectCount() const { return static_cast<int32_t>(m_effects.size()); }

    CWorld* m_world;

    // ---- the view's light settings (the effect scripts)
    // The sun: heading, pitch and a third angle (radians); red, green, blue
    // (256 is full strength). The game screen's sun takes them every render.
    float m_sunAngles[3] = {0.7853982f, 0.7853982f, 0.7853982f};
    int32_t m_sunColour[3] = {256, 256, 256};
    // The Light of God: the light under the mouse cursor.
    float m_lightColour[3] = {-0.2f, -0.2f, 1.0f};
    float m_lightRange = 6.5f;
    float m_lightHeight = 2.0f;
    float m_lightStrength = 0.2f;
    float m_lightVariation = 2.0f;

    // ---- effect settings (Effects.cfg and the colour scripts)
    int32_t m_fogColour[3] = {1, 1, 60};
    int32_t m_fogHalfColour[3] = {128, 64, 64};
    float m_polygonBlowAmount = 1.0f;  // the share of a mesh's polygons that fly
    uint8_t m_particles = 1;
    uint8_t m_polygonBlow = 1;
    uint8_t m_fogOfWar = 1;
    uint8_t m_lightOfGod = 1;
    // All view effects at once: a machine without a view (a dedicated
    // server, a test) switches them off. The simulation does not notice.
    uint8_t m_viewEffects = 1;

    CExplosionType* m_types = nullptr;  // newest first

    // The effect system, from the unit file's "!EffectSystem" node: the
    // materials and objects of the construction effects, the fog of war, the
    // warp sounds (owned), and the emitter templates "Puff", "UnitSmoke" and
    // "HarvestEmitter" (looked up once, after the units loaded).
    CE3DMaterial* m_iceScaleMaterial = nullptr;
    CE3DMaterial* m_wireLightningMaterial = nullptr;
    CTessarakObjectTemplate* m_intestineBlobObject = nullptr;
    CTessarakObjectTemplate* m_intestineObject = nullptr;
    CTessarakObjectTemplate* m_fogOfWarObject = nullptr;
    CTessarakObjectTemplate* m_wireLightningObject = nullptr;
    enum { kWarpedInSuccess, kWarpedInFailed, kWarpFailed, kWarpSuccess, kWarpSoundCount };
    SWorldSample* m_warpSounds[kWarpSoundCount] = {};
    // A warp heard at both ends (view only): from (fromX, fromZ) to (toX,
    // toZ), gone through or stopped.
    void PlayWarp(bool success, float fromX, float fromZ, float toX, float toZ);
    // A warped object's arrival heard where it arrives (view only): the warp
    // and the warp-in, gone through or caught.
    void PlayWarpArrival(bool caught, float x, float z);
    // Dust at a point (where a warp leaves and arrives): an emitter of the
    // "Puff" template that puffs a moment and goes. View only; nothing
    // without the template.
    void SpawnDust(float x, float y, float z);
    int32_t DustCount() const { return static_cast<int32_t>(m_dust.size()); }
    CE3DNode* m_puffTemplate = nullptr;
    CE3DNode* m_smokeTemplate = nullptr;    // "UnitSmoke": damaged units
    CE3DNode* m_harvestTemplate = nullptr;  // "HarvestEmitter": harvesters

    // The fog overlay (none without a fog-of-war object) and the cursor
    // light; both go with the scene root when it goes first.
    CTessarakObject* FogOverlay() const;
    CE3DLight* CursorLight() const;
    float m_cursorLightPhase = 0.0f;

private:
    // One object of the view: it moves (thrown debris falls), ends after its
    // life and, for thrown debris, shows its debris explosion where it ends.
    struct SViewEffect {
        std::unique_ptr<CE3DFrameRef> object;
        float life = 0.0f;
        float velocity[3] = {0.0f, 0.0f, 0.0f};
        float spin[3] = {0.0f, 0.0f, 0.0f};
        uint8_t falls = 0;
        CExplosionType* landing = nullptr;
        int depth = 0;
    };

    // The view's part of an explosion of type at the object's place.
    void ShowExplosion(CExplosionType* type, CTessarakObject* object, CTessarakObjectTemplate* debris,
                       int depth);
    // The explosion objects of type at a point (thrown debris that ends).
    void ShowObjectsAt(CExplosionType* type, const float* at, int depth);
    void ShowObject(CExplosionInstance* inst, CExplosionType* type, CTessarakObjectTemplate* tmpl,
                    const float* at, const float* boxMin, const float* boxMax, int depth);
    void PolygonBlow(CExplosionType* type, CTessarakObject* object, float strength, bool spread);
    // A plain object of the template outside every list of the world: no
    // id, no owner, in no template's instances; a view effect for life
    // seconds. Null without a scene root.
    CTessarakObject* MakeViewObject(CGameScene* scene, CTessarakObjectTemplate* tmpl, const float* at,
                                    float life);
    void PlayAt(SWorldSample* sample, float x, float z);
    void DeleteEffects();
    void PaintFog(float focusX, float focusZ);

    std::list<SViewEffect> m_effects;
    // The dust emitters and the seconds they still live.
    struct SDust {
        std::unique_ptr<CE3DFrameRef> emitter;
        float life = 0.0f;
    };
    std::vector<SDust> m_dust;
    std::vector<std::unique_ptr<CE3DFrameRef>> m_stars;
    CE3DFrameRef m_fogOverlay;
    CE3DFrameRef m_cursorLight;
    uint32_t m_effectSeed = 1;  // the seeds of view objects
};

// The fog overlay's texel of four cell states' sum (0 to 1020) in a pixel
// format: clear where the mean is 200 or more (watched), the half colour and
// half covered where explored, the fog colour and covered where unexplored.
uint32_t ExplosionManager_FogTexel(const CExplosionManager& manager, uint32_t sum,
                                   const SSurfacePixelFormat& format);
