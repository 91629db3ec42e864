// CE3DEmitter: a particle emitter, the frame (type 11) behind smoke, fire,
// dust, sparks and star fields. It owns a fixed pool of particles made at
// construction from its template (CE3DEmitterTemplate), spawns them at a
// birth rate from a source point that may follow another frame, moves,
// grows and ages them, colours them by age from the template's colour table
// and draws each live one as a triangle facing the camera that holds a
// square of twice the particle's size around it. Spawning and dying only
// move particles between the pool's free list and the live set: nothing is
// allocated after construction (or after a template with another pool size
// is applied).
//
// Time is the engine timer's game step (seconds since the last update).
// Random numbers come from the emitter's own stream, seeded from a fixed
// sequence at construction or by Seed, so an emitter seeded alike shows the
// same particles on every run and draws nothing from anyone else's stream.
//
// The game switches an emitter with the names it knows: emitting (on from
// FollowFrame or SetEmitting), the stop byte (SetStop: no births, the live
// particles run out), the rate, the size of the birth volume (SetSize: the
// position variations), the spread radius (the spread angle), the jitter
// (the speed variation) and the growth (the size factor per second, 1 for
// none); it reads the current and previous source positions (m_source,
// m_emissionPoint). Frame message 14 copies the template's values again.
//
// An emitter made without a template (or with a node that is not one) is
// inert: it has no particles and draws nothing. Create refuses instead.
#pragma once

#include <cstdint>

#include "core/Random.h"
#include "e3d/Frame.h"

class CE3DColorTable;
class CE3DEmitterTemplate;
class CE3DEngine;
class CE3DNode;
class CE3DTexture;
class CE3DVertexList;
class IE3DMeshScene;

// One particle of the pool.
struct SE3DParticle {
    float position[3];  // relative to the emitter frame
    float velocity[3];  // units per second
    float brightness;
    float spare[3];
    float initialLife;  // seconds
    float life;         // seconds left
    float size;         // half the side of the square drawn
    uint8_t alive;
    int32_t textureFrame;
    SE3DParticle* nextFree;
};

class CE3DEmitter : public CE3DFrame {
public:
    CE3DEmitter(CE3DFrame* parent, CE3DNode* emitterTemplate);
    ~CE3DEmitter() override;
    // An emitter under the parent, or null (and nothing made) without a
    // parent or without a template.
    static CE3DEmitter* Create(CE3DFrame* parent, CE3DNode* emitterTemplate);

    // Message 14 copies the template's values again; every message then
    // goes down the tree.
    void Message(int code, void* data) override;
    void Render(int* frozenDepth) override;
    void Update(int* frozenDepth) override;

    // Copies the template's settings, colour table, texture and material; a
    // template with another pool size gets a new pool (the live particles
    // are dropped).
    void ApplyTemplate(CE3DEmitterTemplate* emitterTemplate);
    // Vertex room for the pool (three per particle); false when the count is
    // out of range.
    bool AllocVertices(int32_t particles);
    // Births come from the frame's position from now on (null: from the
    // source position again); the emitter is switched on.
    void FollowFrame(CE3DFrame* frame);
    CE3DFrame* Followed() const { return m_followed.Get(); }
    // A star field: every particle of the pool placed once at random inside
    // the box (y from yStart to yStart + yRange, x and z between their two
    // limits), still and alive for good, sized (sizeStart + u sizeRange) x
    // the template's Size, drawn along the world axes.
    void Configure(float yStart, float yRange, float xFrom, float xTo, float zFrom, float zTo,
                   float sizeStart, float sizeRange);
    // Restarts the emitter's random stream.
    void Seed(uint32_t seed) { m_random.Seed(seed); }

    // The game's switches.
    void SetEmitting(bool on) { m_emitting = on; }
    void SetStop(bool stop) { m_spawningOff = stop; }
    void SetRate(float perSecond);
    void SetSize(float x, float y, float z);
    void SetSpreadRadius(float spread);
    void SetJitter(float jitter);
    void SetGrowth(float growth);
    // The current and the previous source position (relative to the
    // emitter) at once.
    void SetSource(float x, float y, float z);
    // Births wait for the given number of renders; each of them takes the
    // followed frame's place again.
    void Hold(int32_t renders) { m_holdCount = renders < 0 ? 0 : renders; }

    int32_t PoolSize() const { return m_poolSize; }
    int32_t AliveCount() const { return m_aliveCount; }
    const SE3DParticle* Particles() const { return m_pool; }
    int32_t DrawnVertices() const { return m_drawnVertices; }
    CE3DVertexList* VertexList() const { return m_list; }
    CE3DEmitterTemplate* Template() const { return m_template; }

    // Fields, in the order of the engine's other parts.
    CE3DEngine* m_engine = nullptr;
    CE3DEmitterTemplate* m_template = nullptr;
    CE3DEmitter* m_nextEmitter = nullptr;  // in the scene's emitter list
    CE3DEmitter* m_prevEmitter = nullptr;
    bool m_emitting = false;
    bool m_spawningOff = false;
    float m_accumulator = 0.0f;  // births owed (negative: paid ahead)
    int32_t m_drawnVertices = 0;
    float m_source[3] = {0.0f, 0.0f, 0.0f};         // current source position
    float m_emissionPoint[3] = {0.0f, 0.0f, 0.0f};  // previous source position
    float m_heading = 0.0f, m_elevation = 0.0f;     // of the emission axis
    // The template's values.
    int32_t m_poolSize = 0;
    float m_birthRate = 0.0f;
    float m_birthDecay = 0.0f;
    bool m_reuse = true;
    int32_t m_frameMode = 1;
    float m_shrink = 0.0f;
    float m_sizeVariation = 0.0f;
    float m_size = 0.0f;
    float m_spread = 0.0f;
    float m_spreadCoefficient = 1.0f;
    float m_spreadAround = 0.0f;
    float m_spreadAroundStart = 0.0f;
    float m_posVariation[3] = {0.0f, 0.0f, 0.0f};
    float m_lifeTime = 1.0f;
    float m_variableLifeTime = 0.0f;
    float m_speed = 0.0f;
    float m_speedModifier = 0.0f;
    float m_acceleration = 0.0f;
    float m_speedVariation = 0.0f;
    float m_speedVariationCoefficient = 1.0f;
    int32_t m_deathWish = 0;
    bool m_static = false;
    int32_t m_holdCount = 0;
    SE3DParticle* m_freeHead = nullptr;
    SE3DParticle* m_pool = nullptr;
    float m_boundingRadius = 100.0f;
    CE3DColorTable* m_colorTable = nullptr;
    CE3DTexture* m_texture = nullptr;
    CE3DVertexList* m_list = nullptr;
    int32_t m_sphereIndex = -1;  // the static emitter's sphere in this render
    int32_t m_aliveCount = 0;
    float m_step = 0.0f;  // seconds of this update

private:
    void AllocPool(int32_t count);
    void Spawn(float count);
    // The followed frame's position relative to the emitter; with an axis,
    // its heading and elevation too.
    void FollowedSource(CE3DFrame* frame, float out[3], bool axis);
    void BuildVertices(int* frozenDepth);
    void BuildStaticVertices();
    void Queue();
    float Uniform() { return float(m_random.Rand()) * 3.051851e-05f; }        // [0, 1]
    float Signed() { return float(m_random.Rand()) * 6.103888e-05f - 1.0f; }  // [-1, 1]
    float Shaped(float u, float exponent);

    CE3DFrameRef m_followed;
    bool m_following = false;
    // The scene render, looked up once: a frame keeps its scene for life (the
    // destructor asks afresh, as the mesh does).
    IE3DMeshScene* m_meshScene = nullptr;
    CRandomStream m_random;
};
