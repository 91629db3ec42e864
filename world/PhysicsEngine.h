// The physics engine: the simple pushes and falls of objects in the world.
// One exists for the life of the game object.
//
// Forces are not applied at once: each becomes a force record with a delay
// that the object's motion step counts down, so a pressure wave reaches far
// objects later than near ones. Records are pooled in blocks of 256 and move
// between the engine's free list and the objects' record lists; they are
// never freed one by one.
#pragma once

#include <cstdint>
#include <vector>

class CWorld;
class CCommandInterpreter;
class CTessarakObject;
class CTessarakObjectTemplate;
class CUnit;

struct SForceRecord {
    SForceRecord* m_next = nullptr;  // in the object's list, or the free list
    SForceRecord* m_prev = nullptr;
    CTessarakObject* m_object = nullptr;  // the list that holds it, or null when free
    float m_delay = 0.0f;                 // seconds until it acts
    float m_impulse[3] = {0.0f, 0.0f, 0.0f};
    float m_damage = 0.0f;
};

class CPhysicsEngine {
public:
    static constexpr int kBlockSize = 256;

    explicit CPhysicsEngine(CWorld* world);
    ~CPhysicsEngine();
    CPhysicsEngine(const CPhysicsEngine&) = delete;
    CPhysicsEngine& operator=(const CPhysicsEngine&) = delete;

    // Gives object a force record with the impulse, delay and damage, at the
    // end of its list; an object that was at rest is activated and may leave
    // the active list again once it comes to rest. False when no record could
    // be had.
    bool AddForce(CTessarakObject* object, const float impulse[3], float delay, float damage);
    // Hands every record of object back to the free list.
    void ReleaseForces(CTessarakObject* object);
    // Hands one record of object back.
    void ReleaseForce(CTessarakObject* object, SForceRecord* record);
    // Every record back to the free list, wherever it is (a cleared world).
    void ReleaseAllForces();
    // Destroys every record block (shutdown).
    void ClearForces();
    int32_t CountFree() const;

    // An explosion's pressure wave from (x, y, z): every world object near
    // enough, in the scene's list order, gets a force record whose delay is
    // its distance over the spreading speed, with the explosion's damage
    // inside 0.8 of the damage radius. Always true.
    bool ApplyPressureWave(float x, float y, float z, float spreadingSpeed, float explosionMass,
                           float damagePower, float damageRadius);
    // A tow cable between two units: an object of a's race's cable template at
    // a's ground position (owned by the default owner, with a new id), its
    // rest length the two radii plus the touch margin. Null when it cannot be
    // made.
    CTessarakObject* AttachTowCable(CUnit* a, CUnit* b);
    // The same when the units are no farther apart than that rest length
    // (without the first cable step); false otherwise.
    bool TryAttachTowCable(CUnit* a, CUnit* b);
    // Every cable of unit's race that holds unit lets it go (its tow count
    // becomes 0). Always true.
    bool ReleaseLinksTo(CUnit* unit);

    // Registers the physics settings (the pe_ console variables), bound to
    // this engine's own values.
    void RegisterSettings(CCommandInterpreter* ip);

    CWorld* m_world;
    float m_springConstant = 0.1f;
    float m_touchMargin = 3.0f;
    float m_maxGridMemberMovement = 0.25f;
    float m_maxTowObjectMovement = 1.0f;

private:
    SForceRecord* m_free = nullptr;
    std::vector<SForceRecord*> m_blocks;
};

// Sizes of a template for the physics: a radius and a mass are never below
// these, so no force or cable step divides by zero (a template of density 0,
// or one without geometry).
constexpr float kMinRadius = 0.01f;
constexpr float kMinMass = 0.001f;
// The map's ground lies at this height; what falls (debris, a ground unit
// that was pushed up) falls with this pull, in world units per second
// squared.
constexpr float kGroundLevel = 0.0f;
constexpr float kGravity = 9.8f;
// The template's collision radius (at least kMinRadius), its cross-section
// pi r^2 and its mass: the volume 2.3561945 r^3 times its Density (at least
// kMinMass). A missing template counts as radius 1 and density 1.
float PhysicsEngine_Radius(const CTessarakObjectTemplate* tmpl);
float PhysicsEngine_CrossSection(const CTessarakObjectTemplate* tmpl);
float PhysicsEngine_Mass(const CTessarakObjectTemplate* tmpl);

// The number of tow cables attached to an object (a grid member's byte; 0
// for other objects).
uint8_t& Object_TowCount(CTessarakObject* object);
// One step of a tow cable object: it follows its two ends, exchanges their
// momentum while stretched, snaps beyond 1.5 times its rest length and
// destroys itself once an end is gone.
void TowCable_Update(CTessarakObject* cable);
