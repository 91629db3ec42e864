#include "core/Determinism.h"
// (core/Math only: the frame angles come from the table-driven tree)

#include <cstring>

#include "e3d/Beam.h"
#include "e3d/EffectVertex.h"
#include "e3d/Material.h"
#include "e3d/Mesh.h"
#include "e3d/Screen.h"
#include "e3d/Texture.h"
#include "e3d/Timer.h"
#include "e3d/VertexList.h"

namespace {

// Where a frame is drawn: the render matrix of a frame in an active subtree
// that has been through a render, else its world matrix.
void DrawnPosition(CE3DFrame* frame, float out[3]) {
    CE3DFrame* top = frame;
    while (top->m_parent && top->m_parent != top->m_scene) top = top->m_parent;
    if (top->m_parent && top->m_activeCount > 0 && !(frame->m_flagsA & kFrameNotUpdated)) {
        for (int i = 0; i < 3; ++i) out[i] = frame->m_render.m[3][i];
        return;
    }
    frame->UpdateMatrixUp();
    for (int i = 0; i < 3; ++i) out[i] = frame->m_world[3][i];
}

constexpr uint32_t kWhite = 0xFFFFFFFFu;

}  // namespace

// ---------------------------------------------------------------------------
// What beams and bolts share.

CE3DEnergyFrame::CE3DEnergyFrame(CE3DFrame* parent, CE3DMaterial* material, const SE3DTexFrame* frame,
                                 uint32_t type, uint32_t vertices)
    : CE3DFrame(parent) {
    m_type = m_baseType = type;
    m_ownerScreen = m_screen;
    m_random.Seed(E3D_NextEffectSeed());
    m_list = E3D_NewEffectList(this, material);
    m_list->AllocLit(vertices);
    m_list->m_vertexCount = 0;
    static const float kDefault[4][2] = {{0.0f, 0.0f}, {1.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}};
    if (frame) {
        for (int i = 0; i < 4; ++i) {
            m_tex[i][0] = frame->uv[i * 2];
            m_tex[i][1] = frame->uv[i * 2 + 1];
        }
        m_hasTexture = true;
    } else {
        memcpy(m_tex, kDefault, sizeof m_tex);
    }
    Invalidate();
    m_meshScene = E3D_MeshSceneOf(this);
    if (m_meshScene) m_meshScene->CountMesh(1);
}

CE3DEnergyFrame::~CE3DEnergyFrame() {
    if (IE3DMeshScene* scene = E3D_MeshSceneOf(this)) {
        scene->ListGone(m_list);  // deleted during a render after it queued its work
        scene->CountMesh(-1);
    }
    delete m_list;
}

void CE3DEnergyFrame::SetEnds(CE3DFrame* from, CE3DFrame* to) {
    m_from.Set(from);
    m_to.Set(to);
    m_hasEnds = from && to;
}

bool CE3DEnergyFrame::PointsFromEnds() {
    CE3DFrame* a = m_from.Get();
    CE3DFrame* b = m_to.Get();
    if (!m_hasEnds || !a || !b) {
        m_hasEnds = false;  // an end is gone: the points stay where they were
        return false;
    }
    float pa[3], pb[3];
    DrawnPosition(a, pa);
    DrawnPosition(b, pb);
    if (m_parent && (m_flagsB & kFrameFollowsParent)) {
        // The points are the parent's.
        m_parent->UpdateMatrixUp();
        D3DMATRIX parent;
        E3D_Matrix43To44(m_parent->m_world, &parent);
        E3D_PointIntoFrame(parent, pa, m_start);
        E3D_PointIntoFrame(parent, pb, m_end);
    } else {
        memcpy(m_start, pa, sizeof pa);
        memcpy(m_end, pb, sizeof pb);
    }
    return true;
}

float CE3DEnergyFrame::Place() {
    const float d[3] = {m_end[0] - m_start[0], m_end[1] - m_start[1], m_end[2] - m_start[2]};
    const float length = Math_Sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    float yaw = 0.0f, pitch = 0.0f;
    if (length > 0.0f) {
        yaw = Math_Atan2(d[0], d[2]);
        float s = d[1] / length;
        s = s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s);
        pitch = -Math_Asin(s);
    }
    SetPosition(m_start[0], m_start[1], m_start[2]);
    SetOrientation(yaw, pitch, 0.0f);
    return length;
}

void CE3DEnergyFrame::TakeWorldAsDrawn() {
    UpdateMatrixUp();
    ResetMatrixHistory();
    E3D_Matrix43To44(m_world, &m_render);
}

void CE3DEnergyFrame::Queue() {
    if (m_flagsA & kFrameHidden) return;
    CE3DMaterial* m = m_list->m_material;
    if (!m || m_list->m_vertexCount == 0) return;
    IE3DMeshScene* scene = m_meshScene;
    if (!scene) return;
    const CE3DMaterialPass* pass = m->Passes(m->DrawLevel(scene->StageLevel()));
    if (scene->AllowsBlending() && pass && pass->m_states->m_alphaBlend) {
        scene->QueueTranslucent(m_list, false);
    } else if (m_list->m_perFace == 3) {
        m_list->m_nextQueued = m->m_triangleQueue;
        m->m_triangleQueue = m_list;
    } else {
        m_list->m_nextQueued = m->m_otherQueue;
        m->m_otherQueue = m_list;
    }
}

// ---------------------------------------------------------------------------
// The beam.

CE3DBeam::CE3DBeam(CE3DFrame* parent, CE3DMaterial* material, const SE3DTexFrame* frame)
    : CE3DEnergyFrame(parent, material, frame, kE3DFrameBeam, 24) {
    m_startTime = E3D_TimerNow(m_screen ? m_screen->m_engine : nullptr);
    Activate();
}

void CE3DBeam::Update() {
    PointsFromEnds();
    const float length = Place();
    const int64_t now = E3D_TimerNow(m_screen ? m_screen->m_engine : nullptr);
    m_progress = m_duration > 0 ? float(double(now - m_startTime) / double(m_duration)) : 1.0f;
    if (m_progress >= 1.0f) QueueForDeletion();
    SetScale(1.0f, 1.0f, 1.0f);
    float w = (1.0f - m_progress) * m_maxHalfWidth;
    w = w > 0.0f ? (w < m_maxHalfWidth ? w : m_maxHalfWidth) : 0.0f;
    SE3DLitVertex* v = reinterpret_cast<SE3DLitVertex*>(m_list->WriteVertices());
    auto put = [&](int i, float x, float z, int t) {
        v[i] = SE3DLitVertex{x, 0.0f, z, 0, kWhite, kE3DNoFogSpecular, m_tex[t][0], m_tex[t][1]};
    };
    put(0, -w, length, 1);
    put(1, w, length, 0);
    put(2, -w, 0.0f, 2);
    put(3, w, length, 0);
    put(4, w, 0.0f, 3);
    put(5, -w, 0.0f, 2);
    m_list->m_vertexCount = 6;
    m_list->m_indexed = false;
    TakeWorldAsDrawn();
}

void CE3DBeam::Render(int* frozenDepth) {
    Update();
    CE3DFrame::Render(frozenDepth);
    Queue();
}

// ---------------------------------------------------------------------------
// Lightning.

CE3DLightning::CE3DLightning(CE3DFrame* parent, CE3DMaterial* material, const SE3DTexFrame* frame)
    : CE3DEnergyFrame(parent, material, frame, kE3DFrameLightning, kMaxVertices) {
    m_flagsB &= uint8_t(~kFrameFollowsParent);  // its points are world points
    Activate();
}

void CE3DLightning::Build() {
    PointsFromEnds();
    const float length = Place();
    m_list->m_vertexCount = 0;
    uint32_t budget = 6;
    Generate(0.0f, 0.0f, kHalfWidth, length, 0.0f, true, &budget);
    m_list->m_indexed = false;
    TakeWorldAsDrawn();
}

void CE3DLightning::Render(int* frozenDepth) {
    CE3DFrame::Render(frozenDepth);
    if (frozenDepth && *frozenDepth > 0) return;
    // A bolt between two frames follows them: a new bolt every render.
    if (m_hasEnds) Build();
    Queue();
}

void CE3DLightning::Quad(float z0, float x0, float z1, float x1, float w) {
    SE3DLitVertex* v = reinterpret_cast<SE3DLitVertex*>(m_list->WriteVertices()) + m_list->m_vertexCount;
    auto put = [&](int i, float x, float z, int t) {
        v[i] = SE3DLitVertex{x, 0.0f, z, 0, kWhite, kE3DNoFogSpecular, m_tex[t][0], m_tex[t][1]};
    };
    put(0, x1 - w, z1, 0);
    put(1, x1 + w, z1, 1);
    put(2, x0 - w, z0, 3);
    put(3, x1 + w, z1, 1);
    put(4, x0 + w, z0, 2);
    put(5, x0 - w, z0, 3);
    m_list->m_vertexCount += 6;
}

void CE3DLightning::Generate(float z0, float x0, float w, float length, float drift, bool branching,
                             uint32_t* budget) {
    constexpr int32_t kMaxSegments = int32_t(kMaxVertices / 6);
    // Segments at five per unit, as many as the budget still holds.
    if (!(length > 0.0f)) return;
    const float wanted = length * kSegmentsPerUnit;
    int32_t n = wanted < float(kMaxSegments + 1) ? Math_RoundToInt(wanted) : kMaxSegments + 1;
    if (*budget + 6u * uint32_t(n > 0 ? n : 0) >= kMaxVertices) n = int32_t(kMaxVertices - *budget) / 6;
    if (n <= 0) return;
    *budget += 6u * uint32_t(n);
    const float step = length / float(n);

    // The sideways positions first: a smoothed random walk with the drift.
    float x[kMaxSegments + 1];
    bool branch[kMaxSegments];
    x[0] = x0;
    float s = 0.0f;
    for (int32_t i = 0; i < n; ++i) {
        s = ((m_random.Random01() - 0.5f) + s) / 3.0f;
        x[i + 1] = x[i] + drift + s;
        branch[i] = branching && m_random.Rand() % 5 == 0;
    }
    // The trunk ends on its end point: what it drifted is taken back evenly.
    if (branching) {
        const float off = x[n] - x0;
        for (int32_t i = 1; i <= n; ++i) x[i] -= off * float(i) / float(n);
    }
    for (int32_t i = 0; i < n; ++i) {
        const float za = z0 + step * float(i), zb = z0 + step * float(i + 1);
        Quad(za, x[i], zb, x[i + 1], w);
        if (branch[i]) {
            // A side branch from this segment's start, half as wide, with a
            // drift of its own; it never branches again.
            const float r1 = m_random.RandomSigned();
            const float r2 = m_random.RandomSigned();
            Generate(za, x[i], w * 0.5f, r2 * length - za + 1.0f, r1 * 0.2f - 0.1f, false, budget);
        }
    }
}
