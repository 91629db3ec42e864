// Meshes: binding a shape, the morph animation, controllers, bounds, the
// effect messages and the hand-over of vertex lists to the scene render.
#include "e3d/Mesh.h"

#include <cstring>
#include <typeinfo>

#include "core/Math.h"
#include "e3d/Engine.h"
#include "e3d/Material.h"
#include "e3d/Screen.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "e3d/Timer.h"
#include "e3d/VertexList.h"

namespace {

// The data of message 8.
struct SShatterArgs {
    float amount;
    float fraction;
    bool spread;
};

}  // namespace

IE3DMeshScene* E3D_MeshSceneOf(CE3DFrame* frame) {
    CE3DFrame* root = frame->SceneRoot();
    return root == frame ? nullptr : dynamic_cast<IE3DMeshScene*>(root);
}

// ---------------------------------------------------------------------------
// Controllers.

CE3DMeshController::CE3DMeshController(CE3DMesh* mesh, float durationSeconds)
    : m_mesh(mesh), m_duration(durationSeconds), m_start(mesh ? mesh->Now() : 0) {
    if (m_mesh) {
        m_next = m_mesh->m_controllers;
        m_mesh->m_controllers = this;
    }
}

CE3DMeshController::~CE3DMeshController() {
    if (!m_mesh) return;
    for (CE3DMeshController** p = &m_mesh->m_controllers; *p; p = &(*p)->m_next)
        if (*p == this) {
            *p = m_next;
            break;
        }
}

void CE3DMeshController::Step() {
    CE3DMesh* mesh = m_mesh;
    ++mesh->m_controllerDepth;
    if (mesh->m_controllerDepth < 33) {
        m_elapsed = float(mesh->Now() - m_start) * 8.380951e-7f;
        m_fraction = m_duration > 0.0f ? m_elapsed / m_duration : 1.0f;
        Advance();
    } else {
        // Controllers that keep stepping each other are all dropped.
        for (CE3DMeshController* c = mesh->m_controllers; c; c = c->m_next) c->m_remove = 1;
        mesh->m_meshFlagsA |= kMeshDropControllers;
    }
    --mesh->m_controllerDepth;
}

// ---------------------------------------------------------------------------
// Life.

CE3DMesh::CE3DMesh(CE3DFrame* parent, CE3DShape* shape) : CE3DFrame(parent) {
    m_type = m_baseType = kE3DFrameMesh;
    // A frame keeps its scene for life: looked up once, not in every update
    // and render of every mesh.
    m_meshScene = E3D_MeshSceneOf(this);
    if (m_meshScene) m_meshScene->CountMesh(1);
    SetShape(shape);
}

CE3DMesh::~CE3DMesh() {
    // Asked afresh: a root being destroyed deletes its meshes after it has
    // stopped being a scene (its own part gone), and must not be called then.
    IE3DMeshScene* scene = E3D_MeshSceneOf(this);
    DestroyControllers();
    if (scene)
        for (CE3DVertexList* l = m_lists; l; l = l->m_next) scene->ListGone(l);
    DestroyLists();
    m_emitter = nullptr;
    if (scene) scene->CountMesh(-1);
}

void CE3DMesh::SetClock(int64_t (*now)(void*), void* user) {
    E3D_SetTimerClock(now, user);
}

int64_t CE3DMesh::Now() const {
    return E3D_TimerNow(m_screen ? m_screen->m_engine : nullptr);
}

void CE3DMesh::DestroyLists() {
    while (m_lists) delete m_lists;
}

void CE3DMesh::DestroyControllers() {
    while (m_controllers) delete m_controllers;
}

void CE3DMesh::SetShape(CE3DShape* shape) {
    if (!shape) return;
    DestroyLists();
    m_shape = shape;
    if (shape->m_animated) {
        m_animating = true;
        m_meshFlagsB |= kMeshAnimatedShape;
        m_duration = shape->m_duration;
        m_endMode = shape->m_endMode;
    }
    m_meshFlagsA = uint8_t((m_meshFlagsA & 0x8F) | (shape->m_displayFlags[0] ? 0x10 : 0) |
                           (shape->m_displayFlags[1] ? 0x20 : 0) | (shape->m_displayFlags[2] ? 0x40 : 0));
    std::memcpy(m_absExtents, shape->m_extents, sizeof m_absExtents);
    m_ownRadius = shape->m_largestExtent;
    for (CE3DShapeBlock* b = shape->m_blocks; b; b = b->m_next) {
        CE3DVertexList* list = new CE3DVertexList(&m_lists, this, m_screen, b);
        list->AllocFromBlock();
        list->ShareBlockIndices();
        list->m_material = b->m_material;
        list->m_materialProject = b->m_materialProject;
        list->m_materialId = b->m_materialId;
    }
    UpdateVertexLists();
}

void CE3DMesh::RestartAnimation() {
    m_animStart = Now();
    m_restartWord = 0;
    m_animating = true;
}

void CE3DMesh::SetPartParams(int32_t a, int32_t b) {
    for (CE3DVertexList* l = m_lists; l; l = l->m_next) {
        l->m_anim.curPos = a;
        l->m_anim.nextPos = b;
    }
}

void CE3DMesh::SetPartParam(float fraction) {
    for (CE3DVertexList* l = m_lists; l; l = l->m_next) l->m_anim.fracPos = fraction;
}

void CE3DMesh::Shatter(float amount, float fraction, bool spread) {
    SShatterArgs a{amount, fraction, spread};
    Message(kFrameMsgShatterStart, &a);
}

void CE3DMesh::SetFlag(bool on) {
    Message(kFrameMsgFlag, &on);
}

void CE3DMesh::Jitter(float amount) {
    Message(kFrameMsgJitter2, &amount);
}

void CE3DMesh::SetColor(float r, float g, float b) {
    float c[3] = {r, g, b};
    Message(kFrameMsgColor, c);
}

// ---------------------------------------------------------------------------
// Vertices.

void CE3DMesh::UpdateVertexLists() {
    if (m_meshFlagsA & kMeshShattered) return;
    for (CE3DVertexList* l = m_lists; l; l = l->m_next) {
        CE3DShapeBlock* b = l->m_block;
        if (!b || l->VertexBytes() == 0) continue;
        SE3DAnimState a = l->m_anim;
        const int32_t P = int32_t(b->PositionSets()), Q = int32_t(b->ColorSets()), T = int32_t(b->TexSets());
        bool blendPos = a.fracPos != 0.0f, blendCol = a.fracColor != 0.0f;
        if (a.curPos < 0 || a.curPos >= P) a.curPos = 0, blendPos = false;
        if (a.nextPos >= P) a.curPos = P - 1, blendPos = false;
        if (a.nextPos < 0) a.nextPos = 0, blendPos = false;
        if (a.curColor < 0 || a.curColor >= Q) a.curColor = 0, blendCol = false;
        if (a.nextColor >= Q || a.nextColor < 0) a.curColor = Q - 1, blendCol = false;
        bool blendTex[3];
        bool anyTex = false;
        for (int s = 0; s < 3; ++s) {
            blendTex[s] = a.fracTex[s] != 0.0f && a.curTex[s] >= 0 && a.curTex[s] < T && a.nextTex[s] >= 0 &&
                          a.nextTex[s] < T;
            anyTex = anyTex || blendTex[s];
        }
        const SE3DAnimState& own = b->m_anim;
        if (!blendPos && !blendCol && !anyTex && a.curPos == own.curPos && a.curColor == own.curColor &&
            std::memcmp(a.curTex, own.curTex, sizeof a.curTex) == 0 &&
            b->m_model.size() == l->VertexBytes() && a.curPos == 0) {
            std::memcpy(l->WriteVertices(), b->m_model.data(), l->VertexBytes());
            continue;
        }
        const float* p0 = P > 0 && a.curPos >= 0 ? b->m_positions[size_t(a.curPos)].data() : nullptr;
        const float* p1 = blendPos ? b->m_positions[size_t(a.nextPos)].data() : nullptr;
        const uint32_t* c0 =
            Q > 0 && a.curColor >= 0 && a.curColor < Q ? b->m_colors[size_t(a.curColor)].data() : nullptr;
        const uint32_t* c1 = blendCol ? b->m_colors[size_t(a.nextColor)].data() : nullptr;
        const bool diffuse = (l->m_format & D3DFVF_DIFFUSE) != 0;
        const bool specular = (l->m_format & D3DFVF_SPECULAR) != 0;
        const uint32_t sets = (l->m_format >> 8) & 0xf;
        uint8_t* vertices = l->WriteVertices();
        for (uint32_t v = 0; v < l->m_vertexCount && v < b->m_vertexCount; ++v) {
            uint8_t* out = vertices + size_t(v) * l->m_stride;
            float pn[6] = {0, 0, 0, 0, 0, 0};
            if (p0) {
                for (int k = 0; k < 6; ++k) {
                    float x = p0[size_t(v) * 6 + k];
                    if (p1) x += (p1[size_t(v) * 6 + k] - x) * a.fracPos;
                    pn[k] = x;
                }
            }
            std::memcpy(out, pn, 24);
            out += 24;
            if (diffuse) {
                if (!l->m_colorLocked) {
                    uint32_t c = 0xFFFFFFFFu;
                    if (c0) {
                        c = c0[v];
                        if (c1) {
                            uint32_t mixed = 0;
                            for (int sh = 0; sh < 32; sh += 8) {
                                int from = int(c >> sh & 0xFF), to = int(c1[v] >> sh & 0xFF);
                                int x = from + Math_RoundToInt(float(to - from) * a.fracColor);
                                mixed |= uint32_t(x < 0 ? 0 : x > 255 ? 255 : x) << sh;
                            }
                            c = mixed;
                        }
                    }
                    std::memcpy(out, &c, 4);
                }
                out += 4;
            }
            if (specular) {
                const uint32_t white = 0xFFFFFFFFu;
                std::memcpy(out, &white, 4);
                out += 4;
            }
            for (uint32_t s = 0; s < sets; ++s, out += 8) {
                float uv[2] = {0, 0};
                const int32_t ci = s < 3 ? a.curTex[s] : -1;
                if (ci >= 0 && ci < T) {
                    const float* t0 = b->m_texCoords[size_t(ci)].data() + size_t(v) * 2;
                    uv[0] = t0[0];
                    uv[1] = t0[1];
                    if (s < 3 && blendTex[s]) {
                        const float* t1 = b->m_texCoords[size_t(a.nextTex[s])].data() + size_t(v) * 2;
                        uv[0] += (t1[0] - uv[0]) * a.fracTex[s];
                        uv[1] += (t1[1] - uv[1]) * a.fracTex[s];
                    }
                }
                std::memcpy(out, uv, 8);
            }
        }
    }
}

// ---------------------------------------------------------------------------
// Animation.

void CE3DMesh::Animate(int64_t elapsed) {
    const CE3DShapeBlock* first = m_shape->m_blocks;
    const float t = m_duration ? float(double(elapsed) / double(m_duration)) : 1.0f;
    // Texture-coordinate sets: the nearest set and the fraction towards the
    // next one (none when the shape stops texture blending).
    const int32_t c = int32_t(first->TexSets());
    if (c > 1) {
        int32_t cur = 0, next = 0;
        float frac = 0.0f;
        if (elapsed != 0) {
            const float x = t * float(c);
            cur = Math_RoundToInt(x);
            next = Math_RoundToInt(x + 1.0f);
            frac = (m_meshFlagsA & kMeshNoTexBlend) ? 0.0f : x - float(cur);
            if (frac < 0.0f) frac = 0.0f;
            if (frac > 1.0f) frac = 1.0f;
            if (next >= c || cur >= c) cur = c - 1, frac = 0.0f;
        }
        for (CE3DVertexList* l = m_lists; l; l = l->m_next)
            for (int s = 0; s < 3; ++s) {
                l->m_anim.curTex[s] = cur;
                l->m_anim.nextTex[s] = next;
                l->m_anim.fracTex[s] = frac;
            }
    }
    // Position and colour sets: key frames spread over the duration.
    auto keyFrames = [&](int32_t n, int32_t& cur, int32_t& next, float& frac) {
        const float f = elapsed == 0 ? 0.0f : t * float(n - 1);
        cur = Math_Truncate(f);
        if (float(cur) > f) --cur;
        next = cur + 1;
        frac = f - float(cur);
        if (next >= n || cur >= n) {
            cur = n - 1;
            next = n - 1;
            frac = 0.0f;
        }
    };
    const int32_t p = int32_t(first->PositionSets());
    if (p > 1) {
        int32_t cur, next;
        float frac;
        keyFrames(p, cur, next, frac);
        for (CE3DVertexList* l = m_lists; l; l = l->m_next) {
            l->m_anim.curPos = cur;
            l->m_anim.nextPos = next;
            l->m_anim.fracPos = frac;
        }
    }
    const int32_t q = int32_t(first->ColorSets());
    if (q > 1) {
        int32_t cur, next;
        float frac;
        keyFrames(q, cur, next, frac);
        for (CE3DVertexList* l = m_lists; l; l = l->m_next) {
            l->m_anim.curColor = cur;
            l->m_anim.nextColor = next;
            l->m_anim.fracColor = frac;
        }
    }
}

void CE3DMesh::Update(int* frozenDepth) {
    const bool live = !frozenDepth || *frozenDepth == 0;
    m_meshFlagsA &= uint8_t(~kMeshDropControllers);
    for (CE3DMeshController* c = m_controllers; c;) {
        CE3DMeshController* next = c->m_next;
        c->Step();
        if (m_meshFlagsA & kMeshDropControllers) break;
        if (c->m_remove) delete c;
        c = next;
    }
    if (m_meshFlagsA & kMeshDropControllers) DestroyControllers();
    if (live && m_visibleFraction != m_visibleTarget) {
        float target = m_visibleTarget;
        Message(kFrameMsgFade, &target);
        m_visibleFraction = target;
    }
    if (m_meshFlagsA & kMeshShattered) Message(kFrameMsgShatterStep, nullptr);
    // A duration of 0 has no key frames to spread: such a shape does not animate.
    if (m_animating && !(m_meshFlagsA & kMeshShattered) && m_shape && m_shape->m_blocks && live &&
        m_duration) {
        int64_t elapsed = Now() - m_animStart;
        if (elapsed >= int64_t(m_duration)) {
            if (m_endMode == kE3DShapeEndStop) {
                m_animating = false;
            } else if (m_endMode == kE3DShapeEndHold) {
                if (m_meshFlagsA & kMeshActAtEnd) QueueForDeletion();
            } else if (m_endMode == kE3DShapeEndLoop) {
                RestartAnimation();
            }
            elapsed = Now() - m_animStart;
        }
        if (elapsed < 0) elapsed = 0;
        Animate(elapsed);
        UpdateVertexLists();
    }
    m_sphereIndex = -1;
    if (!(m_flagsA & kFrameHidden) && m_shape) {
        if (IE3DMeshScene* scene = m_meshScene) {
            // Where the mesh is drawn this frame: its render matrix.
            const float centre[3] = {m_render.m[3][0], m_render.m[3][1], m_render.m[3][2]};
            m_sphereIndex = scene->AddBoundingSphere(m_boundingRadius, centre);
        }
    }
    CE3DFrame::Update(frozenDepth);
}

// ---------------------------------------------------------------------------
// Drawing.

void CE3DMesh::Render(int* frozenDepth) {
    if (!(m_flagsA & kFrameHidden) && m_shape) {
        IE3DMeshScene* scene = m_meshScene;
        const uint32_t visibility = scene ? scene->Visibility(m_sphereIndex) : 0;
        if (!(visibility & 0xFFF000)) {
            float viewWorld[16];
            bool haveViewWorld = false;
            const int level = scene ? scene->StageLevel() : 1;
            m_meshFlagsB &= uint8_t(~kMeshTranslucent);
            for (CE3DVertexList* l = m_lists; l; l = l->m_next) {
                if (l->m_anim.envMap[0] || l->m_anim.envMap[1] || l->m_anim.envMap[2]) {
                    if (!haveViewWorld) {
                        // Row vectors: the world matrix first, then the view.
                        const D3DMATRIX& v = scene ? scene->ViewMatrix() : g_E3DIdentity44;
                        for (int r = 0; r < 4; ++r)
                            for (int c = 0; c < 4; ++c) {
                                float s = 0.0f;
                                for (int k = 0; k < 4; ++k) s += m_render.m[r][k] * v.m[k][c];
                                viewWorld[r * 4 + c] = s;
                            }
                        haveViewWorld = true;
                    }
                    l->ComputeEnvironmentUVs(viewWorld);
                }
                CE3DMaterial* m = l->m_material;
                if (!m) continue;
                const CE3DMaterialPass* pass = m->Passes(level < 1 ? 1 : level > 3 ? 3 : level);
                const bool translucent =
                    scene && scene->AllowsBlending() && pass && pass->m_states->m_alphaBlend;
                if (translucent) {
                    m_meshFlagsB |= kMeshTranslucent;
                    scene->QueueTranslucent(l, (m_meshFlagsB & kMeshLateTranslucent) != 0);
                } else if (l->m_perFace == 3) {
                    l->m_nextQueued = m->m_triangleQueue;
                    m->m_triangleQueue = l;
                } else {
                    l->m_nextQueued = m->m_otherQueue;
                    m->m_otherQueue = l;
                }
            }
        }
    }
    CE3DFrame::Render(frozenDepth);
}

// ---------------------------------------------------------------------------
// Bounds.

void CE3DMesh::ScaleProduct(float s[3]) {
    s[0] = s[1] = s[2] = 1.0f;
    for (CE3DFrame* f = this; f; f = f->m_parent)
        for (int k = 0; k < 3; ++k) s[k] *= f->m_scale[k];
}

void CE3DMesh::GatherOwnBounds() {
    for (int k = 0; k < 3; ++k) m_maxCorner[k] = m_minCorner[k] = m_absExtents[k] = 0.0f;
    m_ownRadius = m_ownRadiusH = 0.0f;
    if (m_shape) {
        float s[3];
        ScaleProduct(s);
        for (CE3DShapeBlock* b = m_shape->m_blocks; b; b = b->m_next)
            for (const auto& set : b->m_positions)
                for (uint32_t v = 0; v < b->m_vertexCount; ++v) {
                    const float* p = set.data() + size_t(v) * 6;
                    for (int k = 0; k < 3; ++k) {
                        const float a = p[k] < 0 ? -p[k] : p[k];
                        if (a > m_absExtents[k]) m_absExtents[k] = a;
                        if (p[k] > m_maxCorner[k]) m_maxCorner[k] = p[k];
                        if (p[k] < m_minCorner[k]) m_minCorner[k] = p[k];
                    }
                    const float x = p[0] * s[0], y = p[1] * s[1], z = p[2] * s[2];
                    const float r = Math_Sqrt(x * x + y * y + z * z), h = Math_Sqrt(x * x + z * z);
                    if (r > m_ownRadius) m_ownRadius = r;
                    if (h > m_ownRadiusH) m_ownRadiusH = h;
                }
        for (int k = 0; k < 3; ++k) {
            m_maxCorner[k] *= s[k];
            m_minCorner[k] *= s[k];
        }
    }
    UpdateRadius();
}

void CE3DMesh::QueryBounds() {
    SE3DBounds rec;
    Message(kFrameMsgGatherBounds, &rec);
    std::memcpy(m_subtreeExtents, rec.extents, sizeof m_subtreeExtents);
    std::memcpy(m_minCorner, rec.minCorner, sizeof m_minCorner);
    std::memcpy(m_maxCorner, rec.maxCorner, sizeof m_maxCorner);
    m_subtreeRadius = rec.radius3D;
    m_subtreeRadiusH = rec.radiusH;
    UpdateRadius();
}

void CE3DMesh::UpdateRadius() {
    float s[3];
    ScaleProduct(s);
    float r = s[0] * m_absExtents[0];
    if (s[1] * m_absExtents[1] > r) r = s[1] * m_absExtents[1];
    if (s[2] * m_absExtents[2] > r) r = s[2] * m_absExtents[2];
    m_boundingRadius = r * 1.444f;
    float largest = s[0] > s[1] ? s[0] : s[1];
    if (s[2] > largest) largest = s[2];
    m_scaledRadius = largest * m_subtreeRadius;
    for (CE3DFrame* c = m_firstChild; c; c = c->m_siblingNext)
        if (c->m_baseType == kE3DFrameMesh) static_cast<CE3DMesh*>(c)->UpdateRadius();
}

// ---------------------------------------------------------------------------
// Messages.

void CE3DMesh::Message(int code, void* data) {
    switch (code) {
        case kFrameMsgGatherBounds: {
            GatherOwnBounds();
            const char* name = MeshName();
            if (m_type == 312 && name && std::strcmp(name, "selection") == 0) break;
            SE3DBounds* rec = static_cast<SE3DBounds*>(data);
            if (!rec) break;
            if (!(m_meshFlagsB & kMeshNoBounds)) {
                if (m_ownRadius > rec->radius3D) rec->radius3D = m_ownRadius;
                if (m_ownRadiusH > rec->radiusH) rec->radiusH = m_ownRadiusH;
                for (int k = 0; k < 3; ++k) {
                    if (m_absExtents[k] > rec->extents[k]) rec->extents[k] = m_absExtents[k];
                    if (m_minCorner[k] < rec->minCorner[k]) rec->minCorner[k] = m_minCorner[k];
                }
            }
            for (int k = 0; k < 3; ++k)
                if (m_maxCorner[k] > rec->maxCorner[k]) rec->maxCorner[k] = m_maxCorner[k];
            break;
        }
        case kFrameMsgFade:
            for (CE3DVertexList* l = m_lists; l; l = l->m_next)
                l->SetVisibleFraction(*static_cast<float*>(data));
            break;
        case kFrameMsgShatterStart: {
            const SShatterArgs* a = static_cast<const SShatterArgs*>(data);
            const float step = (m_screen && m_screen->m_engine && m_screen->m_engine->m_timer)
                                   ? m_screen->m_engine->m_timer->m_gameStep
                                   : 1.0f / 60.0f;
            bool any = false;
            for (CE3DVertexList* l = m_lists; l; l = l->m_next)
                any = l->Shatter(a->amount, a->fraction, a->spread, step) || any;
            if (any) m_meshFlagsA |= kMeshShattered;
            m_animating = false;
            break;
        }
        case kFrameMsgShatterStep: {
            const float step = (m_screen && m_screen->m_engine && m_screen->m_engine->m_timer)
                                   ? m_screen->m_engine->m_timer->m_gameStep
                                   : 1.0f / 60.0f;
            for (CE3DVertexList* l = m_lists; l; l = l->m_next) l->ShatterStep(step);
            break;
        }
        case kFrameMsgJitter:
            for (CE3DVertexList* l = m_lists; l; l = l->m_next) l->JitterOffset(*static_cast<float*>(data));
            break;
        case kFrameMsgJitter2:
            for (CE3DVertexList* l = m_lists; l; l = l->m_next) l->JitterScale(*static_cast<float*>(data));
            break;
        case kFrameMsgColor: {
            const float* c = static_cast<const float*>(data);
            for (CE3DVertexList* l = m_lists; l; l = l->m_next) l->SetColor(c[0], c[1], c[2]);
            if (m_lists) return;  // the tint stops at the first mesh that has vertices
            break;
        }
        case kFrameMsgFlag:
        case kFrameMsgCopyExtents:
            // Both concern the particle emitter that follows the mesh.
            break;
        default:
            break;
    }
    CE3DFrame::Message(code, data);
}
