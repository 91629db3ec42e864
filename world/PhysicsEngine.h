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

class CGameHost;
class CTessarakObject;

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

    explicit CPhysicsEngine(CGameHost* game);
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
    // Every record back to the free list, wherever it is (a cleared world).
    void ReleaseAllForces();
    // Destroys every record block (shutdown).
    void ClearForces();
    int32_t CountFree() const;

    CGameHost* m_game;
    float m_springConstant = 0.1f;
    float m_touchMargin = 3.0f;
    float m_maxGridMemberMovement = 0.25f;
    float m_maxTowObjectMovement = 1.0f;

private:
    SForceRecord* m_free = nullptr;
    std::vector<SForceRecord*> m_blocks;
};
