#include "core/Determinism.h"
// (core/Math only: an emitter seeded alike shows the same particles on every
// machine)

#include <cstring>

#include "core/ListLinks.h"
#include "e3d/Camera.h"
#include "e3d/ColorTable.h"
#include "e3d/EffectVertex.h"
#include "e3d/Emitter.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Material.h"
#include "e3d/Mesh.h"
#include "e3d/Screen.h"
#include "e3d/Texture.h"
#include "e3d/Timer.h"
#include "e3d/VertexList.h"

namespace {

constexpr uint32_t kStaticOutside = 0x1FFF000;

using SEmitterLinks = SListLinks<CE3DEmitter, &CE3DEmitter::m_nextEmitter, &CE3DEmitter::m_prevEmitter>;

bool Finite(float v) {
    return v - v == 0.0f;
}

// The texture's frame table: frames and their count (none without a texture).
const SE3DTexFrame* FramesOf(const CE3DTexture* texture, int32_t* count) {
    if (!texture || texture->m_frames.empty()) {
        *count = 0;
        return nullptr;
    }
    *count = int32_t(texture->m_frames.size());
    return texture->m_frames.data();
}

// Without a frame table the triangle's corners map the square it holds onto
// the whole texture: (0, 1) at the lower left, (0, -1) above, (2, 1) right.
const SE3DTexFrame kSquareFrame = {{2.0f, 1.0f, 0.0f, 1.0f, 0.0f, -1.0f, 0.0f, 0.0f}};

}  // namespace

// ---------------------------------------------------------------------------
// Life.

CE3DEmitter* CE3DEmitter::Create(CE3DFrame* parent, CE3DNode* emitterTemplate) {
    if (!parent || !CE3DEmitterTemplate::From(emitterTemplate)) return nullptr;
    return new CE3DEmitter(parent, emitterTemplate);
}

CE3DEmitter::CE3DEmitter(CE3DFrame* parent, CE3DNode* node) : CE3DFrame(parent) {
    m_type = m_baseType = kE3DFrameEmitter;
    m_random.Seed(E3D_NextEffectSeed());
    m_meshScene = E3D_MeshSceneOf(this);
    if (m_meshScene) m_meshScene->CountMesh(1);
    CE3DEmitterTemplate* t = CE3DEmitterTemplate::From(node);
    m_engine = t ? t->m_engine : (m_screen ? m_screen->m_engine : nullptr);
    if (!m_engine && m_screen) m_engine = m_screen->m_engine;
    m_list = E3D_NewEffectList(this, nullptr);
    if (CE3DCamera* camera = dynamic_cast<CE3DCamera*>(SceneRoot());
        camera && static_cast<CE3DFrame*>(camera) != this) {
        SEmitterLinks::Push(camera->m_emitterHead, this);
        ++camera->m_emitterCount;
    }
    if (!t) {
        E3DTrace(m_engine, "An emitter made without a template shows nothing", "CE3DEmitter::CE3DEmitter");
    } else {
        ++t->m_userCount;
        ApplyTemplate(t);
    }
    Activate();
}

CE3DEmitter::~CE3DEmitter() {
    delete[] m_pool;
    m_pool = nullptr;
    if (CE3DCamera* camera = dynamic_cast<CE3DCamera*>(SceneRoot());
        camera && static_cast<CE3DFrame*>(camera) != this) {
        SEmitterLinks::Unlink(camera->m_emitterHead, this);
        --camera->m_emitterCount;
    }
    if (IE3DMeshScene* scene = E3D_MeshSceneOf(this)) {
        scene->ListGone(m_list);  // deleted during a render after it queued its work
        scene->CountMesh(-1);
    }
    if (CE3DMesh* mesh = dynamic_cast<CE3DMesh*>(m_followed.Get()); mesh && mesh->m_emitter == this)
        mesh->m_emitter = nullptr;
    delete m_list;
    if (m_template) --m_template->m_userCount;
}

void CE3DEmitter::Message(int code, void* data) {
    if (code == kFrameMsgReloadEmitter && m_template) ApplyTemplate(m_template);
    CE3DFrame::Message(code, data);
}

void CE3DEmitter::ApplyTemplate(CE3DEmitterTemplate* t) {
    if (!t) return;
    t->Check();
    m_template = t;
    m_birthRate = t->BirthRate;
    m_birthDecay = t->m_birthDecay;
    m_reuse = t->ReuseParticles;
    m_frameMode = t->m_frameMode;
    m_shrink = t->Shrink;
    m_sizeVariation = t->SizeVariation;
    m_size = t->Size;
    m_spread = t->Spread;
    m_spreadCoefficient = t->SpreadCoofficient;
    m_spreadAround = t->SpreadAround;
    m_spreadAroundStart = t->SpreadAroundStart;
    m_posVariation[0] = t->PosVariationX;
    m_posVariation[1] = t->PosVariationY;
    m_posVariation[2] = t->PosVariationZ;
    m_lifeTime = t->LifeTime;
    m_variableLifeTime = t->VariableLifeTime;
    m_speed = t->Speed;
    m_speedModifier = t->SpeedModifier;
    m_acceleration = t->Acceleration;
    m_speedVariation = t->SpeedVariation;
    m_speedVariationCoefficient = t->SpeedVariationCoefficient;
    m_deathWish = t->DeathWish;
    m_colorTable = t->m_colorTable;
    m_texture = t->m_texture;
    CE3DMaterial* material = t->m_material;
    if (!material && m_screen) material = m_screen->m_defaultMaterial;
    m_list->m_material = material;
    if (!m_pool || t->NumParticles != m_poolSize) {
        AllocPool(t->NumParticles);
        AllocVertices(m_poolSize);
    }
}

void CE3DEmitter::AllocPool(int32_t count) {
    delete[] m_pool;
    m_poolSize = count < 0 ? 0 : count;
    m_pool = new SE3DParticle[size_t(m_poolSize) + 1]();  // one more: never a null pool
    m_freeHead = nullptr;
    for (int32_t i = m_poolSize; i-- > 0;) {
        m_pool[i].nextFree = m_freeHead;
        m_freeHead = &m_pool[i];
    }
    m_aliveCount = 0;
    m_accumulator = 0.0f;
    m_static = false;
    m_drawnVertices = 0;
}

bool CE3DEmitter::AllocVertices(int32_t particles) {
    if (particles < 0 || particles > CE3DEmitterTemplate::kMaxParticles) return false;
    m_list->AllocLit(uint32_t(particles) * 3);
    m_list->m_vertexCount = 0;
    m_drawnVertices = 0;
    return true;
}

// ---------------------------------------------------------------------------
// The game's switches.

void CE3DEmitter::SetRate(float perSecond) {
    if (!Finite(perSecond) || perSecond < 0.0f) perSecond = 0.0f;
    if (perSecond > CE3DEmitterTemplate::kMaxBirthRate) perSecond = CE3DEmitterTemplate::kMaxBirthRate;
    m_birthRate = perSecond;
}

void CE3DEmitter::SetSize(float x, float y, float z) {
    const float v[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) m_posVariation[i] = Finite(v[i]) ? v[i] : 0.0f;
}

void CE3DEmitter::SetSpreadRadius(float spread) {
    if (Finite(spread)) m_spread = spread;
}

void CE3DEmitter::SetJitter(float jitter) {
    if (Finite(jitter)) m_speedVariation = jitter;
}

void CE3DEmitter::SetGrowth(float growth) {
    if (Finite(growth)) m_shrink = growth - 1.0f;
}

void CE3DEmitter::SetSource(float x, float y, float z) {
    const float v[3] = {x, y, z};
    for (int i = 0; i < 3; ++i) m_source[i] = m_emissionPoint[i] = Finite(v[i]) ? v[i] : 0.0f;
}

// ---------------------------------------------------------------------------
// Following.

void CE3DEmitter::FollowedSource(CE3DFrame* frame, float out[3], bool axis) {
    // The drawn place of an active frame, else its current one.
    const bool active = frame->m_activeCount > 0;
    float own[3], at[3], z[3];
    if (active) {
        for (int i = 0; i < 3; ++i) {
            at[i] = frame->m_render.m[3][i];
            own[i] = m_render.m[3][i];
            z[i] = frame->m_render.m[2][i];
        }
    } else {
        frame->UpdateMatrixUp();
        UpdateMatrixUp();
        for (int i = 0; i < 3; ++i) {
            at[i] = frame->m_world[3][i];
            own[i] = m_world[3][i];
            z[i] = frame->m_world[2][i];
        }
    }
    for (int i = 0; i < 3; ++i) out[i] = at[i] - own[i];
    if (axis) {
        m_heading = Math_Atan2(z[0], z[2]);
        const float y = z[1] > 1.0f ? 1.0f : (z[1] < -1.0f ? -1.0f : z[1]);
        m_elevation = -Math_Asin(y);
    }
}

void CE3DEmitter::FollowFrame(CE3DFrame* frame) {
    CE3DFrame* before = m_followed.Get();
    if (before && before != frame)
        if (CE3DMesh* mesh = dynamic_cast<CE3DMesh*>(before); mesh && mesh->m_emitter == this)
            mesh->m_emitter = nullptr;
    m_followed.Set(frame);
    m_following = frame != nullptr;
    if (!frame) return;
    frame->ResetMatrixHistory();
    float at[3];
    FollowedSource(frame, at, true);
    for (int i = 0; i < 3; ++i) m_source[i] = m_emissionPoint[i] = at[i];
    if (CE3DMesh* mesh = dynamic_cast<CE3DMesh*>(frame)) {
        // A frame feeds one emitter: the one it fed before stops following it.
        if (mesh->m_emitter && mesh->m_emitter != this)
            if (CE3DEmitter* other = dynamic_cast<CE3DEmitter*>(mesh->m_emitter)) other->FollowFrame(nullptr);
        mesh->m_emitter = this;
    }
    m_emitting = true;
}

// ---------------------------------------------------------------------------
// The update.

float CE3DEmitter::Shaped(float u, float exponent) {
    if (exponent == 1.0f) return u;
    const float v = Math_Pow(u, exponent);
    return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f;  // NaN too
}

void CE3DEmitter::Spawn(float count) {
    if (m_flagsA & kFrameQueued) return;
    CE3DFrame* followed = m_followed.Get();
    float source[3];
    if (followed) {
        // A frame on its way out (or a dying game object) feeds no births.
        if ((followed->m_flagsA & kFrameQueued) || followed->Dying()) return;
        FollowedSource(followed, source, true);
    } else {
        memcpy(source, m_source, sizeof source);
    }
    m_accumulator += count;
    const float n = m_accumulator;
    const float dt = m_step;
    float t = dt;
    float delta[3];
    for (int i = 0; i < 3; ++i) delta[i] = n > 0.0f ? (source[i] - m_emissionPoint[i]) / n : 0.0f;
    int32_t frames = 0;
    FramesOf(m_texture, &frames);
    // The oldest first: it starts at the old emission point and has flown the
    // whole step; later ones are younger and lie further along the path.
    while (m_accumulator > 0.0f && m_freeHead) {
        SE3DParticle* p = m_freeHead;
        m_freeHead = p->nextFree;
        p->nextFree = nullptr;
        p->alive = 1;
        for (int i = 0; i < 3; ++i) p->position[i] = m_emissionPoint[i] + Signed() * m_posVariation[i];
        const float a = m_spreadAroundStart + Uniform() * m_spreadAround;
        const float b = m_spread * Shaped(Uniform(), m_spreadCoefficient);
        const float yaw = m_heading + b * Math_Sin(a);
        const float pitch = m_elevation + b * Math_Cos(a);
        const float speed = (m_speed + m_speedVariation * Shaped(Uniform(), m_speedVariationCoefficient)) *
                            (1.0f - b * m_speedModifier);
        p->size = m_size + Uniform() * m_sizeVariation;
        const float cp = Math_Cos(pitch);
        p->velocity[0] = Math_Sin(yaw) * cp * speed;
        p->velocity[1] = Math_Sin(pitch) * speed;
        p->velocity[2] = Math_Cos(yaw) * cp * speed;
        p->initialLife = p->life = m_lifeTime + Uniform() * m_variableLifeTime;
        p->brightness = 1.0f;
        const float grow = t * m_acceleration + 1.0f;
        for (int i = 0; i < 3; ++i) {
            p->velocity[i] *= grow;
            p->position[i] += p->velocity[i] * t;
        }
        p->life -= t;
        if (m_frameMode == 2) p->textureFrame = frames > 0 ? m_random.Rand() % frames : 0;
        ++m_aliveCount;
        m_accumulator -= 1.0f;
        t -= dt / n;
        for (int i = 0; i < 3; ++i) m_emissionPoint[i] += delta[i];
    }
    // Births beyond the free particles are lost, not owed.
    if (m_accumulator > 0.0f) m_accumulator = 0.0f;
    for (int i = 0; i < 3; ++i) m_source[i] = m_emissionPoint[i] = source[i];
}

void CE3DEmitter::Update(int* frozenDepth) {
    float dt = m_engine && m_engine->m_timer ? m_engine->m_timer->m_gameStep : 0.0f;
    if (!Finite(dt) || dt < 0.0f) dt = 0.0f;
    m_step = dt;
    if (m_following && !m_followed.Get()) {
        // The followed frame is gone: no more births from its last place.
        m_following = false;
        m_emitting = false;
    }
    // A star field neither spawns nor ages.
    if (!m_static) {
        if (m_emitting && m_holdCount == 0) {
            m_birthRate -= m_birthDecay * dt;
            if (!(m_birthRate > 0.0f)) m_birthRate = 0.0f;
            if (!m_spawningOff) Spawn(dt * m_birthRate);
        }
        const float grow = m_shrink * dt + 1.0f;
        const float speedUp = m_acceleration * dt + 1.0f;
        // Locals for what the loop changes: its stores cannot then make the
        // compiler read the emitter's fields again.
        int32_t alive = 0, aliveAfter = m_aliveCount;
        SE3DParticle* freeHead = m_freeHead;
        const bool reuse = m_reuse;
        for (SE3DParticle *p = m_pool, *end = m_pool + m_poolSize; p != end; ++p) {
            if (!p->alive) continue;
            ++alive;
            p->size *= grow;
            p->velocity[0] *= speedUp;
            p->velocity[1] *= speedUp;
            p->velocity[2] *= speedUp;
            p->position[0] += p->velocity[0] * dt;
            p->position[1] += p->velocity[1] * dt;
            p->position[2] += p->velocity[2] * dt;
            p->life -= dt;
            if (p->life <= 0.0f) {
                p->alive = 0;
                p->life = 0.0f;
                --aliveAfter;
                if (reuse) {
                    p->nextFree = freeHead;
                    freeHead = p;
                }
            }
        }
        m_aliveCount = aliveAfter;
        m_freeHead = freeHead;
        if (alive == 0 && m_deathWish == 1 && !m_freeHead) QueueForDeletion();
    }
    if (m_flagsA & kFrameQueued) return;
    m_sphereIndex = -1;
    if (m_static && !(m_flagsA & kFrameHidden)) {
        if (IE3DMeshScene* scene = m_meshScene) {
            // The field's centre in the world: the followed frame's drawn
            // place, or the source position from the emitter's.
            float centre[3];
            if (CE3DFrame* f = m_followed.Get()) {
                for (int i = 0; i < 3; ++i) centre[i] = f->m_render.m[3][i];
            } else {
                for (int i = 0; i < 3; ++i)
                    centre[i] = m_render.m[3][i] + m_source[0] * m_render.m[0][i] +
                                m_source[1] * m_render.m[1][i] + m_source[2] * m_render.m[2][i];
            }
            m_sphereIndex = scene->AddBoundingSphere(m_boundingRadius, centre);
        }
    }
    CE3DFrame::Update(frozenDepth);
}

// ---------------------------------------------------------------------------
// Drawing.

void CE3DEmitter::Queue() {
    if (m_flagsA & kFrameHidden) return;
    if (!m_list->m_material || m_drawnVertices == 0) return;
    if (m_meshScene) m_meshScene->QueueTranslucent(m_list, false);
}

void CE3DEmitter::BuildVertices(int* frozenDepth) {
    // A frozen subtree keeps its picture: only the dead are let go.
    if (frozenDepth && *frozenDepth > 0) return;
    float right[3] = {1.0f, 0.0f, 0.0f}, up[3] = {0.0f, 1.0f, 0.0f};
    if (IE3DMeshScene* scene = m_meshScene) {
        const D3DMATRIX& v = scene->ViewMatrix();
        const float r[3] = {v.m[0][0], v.m[1][0], v.m[2][0]};
        const float u[3] = {v.m[0][1], v.m[1][1], v.m[2][1]};
        // The view's axes in the emitter's own, so the triangles face the
        // camera whatever the emitter's frame is turned to.
        E3D_DirectionIntoFrame(m_render, r, right);
        E3D_DirectionIntoFrame(m_render, u, up);
    }
    int32_t frames = 0;
    const SE3DTexFrame* table = FramesOf(m_texture, &frames);
    const bool colours = m_colorTable && m_colorTable->m_points;
    const int32_t last = colours ? m_colorTable->m_count - 1 : 0;
    SE3DLitVertex* out = reinterpret_cast<SE3DLitVertex*>(m_list->WriteVertices());
    const size_t room = m_list->VertexBytes() / sizeof(SE3DLitVertex);
    size_t n = 0;
    for (SE3DParticle *p = m_pool, *end = m_pool + m_poolSize; p != end; ++p) {
        if (!p->alive || !(p->life > 0.0f) || n + 3 > room) continue;
        float f = p->initialLife > 0.0f ? p->life / p->initialLife : 0.0f;
        f = f < 1.0f ? f : 1.0f;
        const uint32_t colour =
            colours ? m_colorTable->Packed(Math_RoundToInt(float(last) * f)) : 0xFFFFFFFFu;
        const SE3DTexFrame* frame = &kSquareFrame;
        if (table) {
            int32_t k = m_frameMode == 1 ? Math_Truncate(float(frames - 1) * f) : p->textureFrame;
            k = k < 0 ? 0 : (k >= frames ? frames - 1 : k);
            frame = &table[k];
        }
        const float s = p->size;
        const float* q = p->position;
        SE3DLitVertex* v = out + n;
        for (int i = 0; i < 3; ++i) {
            (&v[0].x)[i] = q[i] - s * right[i] - s * up[i];
            (&v[1].x)[i] = q[i] - s * right[i] + 3.0f * s * up[i];
            (&v[2].x)[i] = q[i] + 3.0f * s * right[i] - s * up[i];
        }
        // A frame's pairs: the first vertex takes the second, the second the
        // third, the third the first.
        const int pair[3] = {1, 2, 0};
        for (int k = 0; k < 3; ++k) {
            v[k].reserved = 0;
            v[k].diffuse = colour;
            v[k].specular = kE3DNoFogSpecular;
            v[k].u = frame->uv[pair[k] * 2];
            v[k].v = frame->uv[pair[k] * 2 + 1];
        }
        n += 3;
    }
    m_drawnVertices = int32_t(n);
    m_list->m_vertexCount = uint32_t(n);
}

void CE3DEmitter::Render(int* frozenDepth) {
    if (!(m_flagsA & kFrameQueued)) {
        if (m_static) {
            IE3DMeshScene* scene = m_meshScene;
            const uint32_t visibility = scene ? scene->Visibility(m_sphereIndex) : 0;
            if (!(visibility & kStaticOutside) || m_boundingRadius == 0.0f) Queue();
        } else {
            if (m_holdCount > 0) {
                --m_holdCount;
                if (CE3DFrame* f = m_followed.Get()) FollowFrame(f);
            }
            BuildVertices(frozenDepth);
            Queue();
        }
    }
    CE3DFrame::Render(frozenDepth);
}

// ---------------------------------------------------------------------------
// Star fields.

void CE3DEmitter::Configure(float yStart, float yRange, float xFrom, float xTo, float zFrom, float zTo,
                            float sizeStart, float sizeRange) {
    int32_t frames = 0;
    FramesOf(m_texture, &frames);
    const float templateSize = m_template ? m_template->Size : m_size;
    const float xSpan = Math_Fabs(xTo - xFrom), zSpan = Math_Fabs(zTo - zFrom);
    for (int32_t i = 0; i < m_poolSize; ++i) {
        SE3DParticle& p = m_pool[i];
        p.position[1] = yStart + Uniform() * yRange;
        p.position[0] = xFrom + Uniform() * xSpan;
        p.position[2] = zFrom + Uniform() * zSpan;
        p.velocity[0] = p.velocity[1] = p.velocity[2] = 0.0f;
        p.brightness = 1.0f;
        p.initialLife = p.life = 1.0f;
        p.size = (sizeStart + Uniform() * sizeRange) * templateSize;
        p.alive = 1;
        p.textureFrame = frames > 0 ? m_random.Rand() % frames : 0;
        p.nextFree = nullptr;
    }
    m_freeHead = nullptr;
    m_aliveCount = m_poolSize;
    m_static = true;
    BuildStaticVertices();
}

void CE3DEmitter::BuildStaticVertices() {
    int32_t frames = 0;
    const SE3DTexFrame* table = FramesOf(m_texture, &frames);
    SE3DLitVertex* out = reinterpret_cast<SE3DLitVertex*>(m_list->WriteVertices());
    const size_t room = m_list->VertexBytes() / sizeof(SE3DLitVertex);
    size_t n = 0;
    for (int32_t i = 0; i < m_poolSize && n + 3 <= room; ++i) {
        const SE3DParticle& p = m_pool[i];
        const float b = p.brightness < 0.0f ? 0.0f : (p.brightness > 1.0f ? 1.0f : p.brightness);
        const uint32_t grey = uint32_t(b * 255.0f);
        const uint32_t colour = grey << 24 | grey << 16 | grey << 8 | grey;
        const SE3DTexFrame* frame = table ? &table[p.textureFrame] : &kSquareFrame;
        const float s = p.size, x = p.position[0], y = p.position[1], z = p.position[2];
        SE3DLitVertex* v = out + n;
        v[0] = {x - s, y - s, z, 0, colour, kE3DNoFogSpecular, frame->uv[2], frame->uv[3]};
        v[1] = {x - s, y + 3.0f * s, z, 0, colour, kE3DNoFogSpecular, frame->uv[4], frame->uv[5]};
        v[2] = {x + 3.0f * s, y - s, z, 0, colour, kE3DNoFogSpecular, frame->uv[0], frame->uv[1]};
        n += 3;
    }
    m_drawnVertices = int32_t(n);
    m_list->m_vertexCount = uint32_t(n);
}
