#include "core/Determinism.h"
// (the lockstep guard first: frame matrices are simulation state)

#include <cmath>
#include <cstring>

#include "core/ListLinks.h"
#include "e3d/Frame.h"
#include "e3d/View.h"

namespace {
// The walks under way on this thread, innermost first.
thread_local SE3DFrameWalk* t_walks = nullptr;

// A walk that would visit the frame next steps past it.
void StepWalksPast(CE3DFrame* frame, SE3DFrameWalk::EList list) {
    for (SE3DFrameWalk* w = t_walks; w; w = w->m_outer)
        if (w->m_list == list && w->m_next == frame)
            w->m_next = list == SE3DFrameWalk::kSiblings ? frame->m_siblingNext : frame->m_activeNext;
}

// The frame's lists.
using SChangedLinks = SListLinks<CE3DFrame, &CE3DFrame::m_changedNext, &CE3DFrame::m_changedPrev>;
using SMovedLinks = SListLinks<CE3DFrame, &CE3DFrame::m_movedNext, &CE3DFrame::m_movedPrev>;
using SDeletionLinks = SListLinks<CE3DFrame, &CE3DFrame::m_deletionNext, &CE3DFrame::m_deletionPrev>;
using SActiveLinks = SListLinks<CE3DFrame, &CE3DFrame::m_activeNext, &CE3DFrame::m_activePrev>;
using SSiblingLinks = SListLinks<CE3DFrame, &CE3DFrame::m_siblingNext, &CE3DFrame::m_siblingPrev>;

// Rotation rows about z, x and y from the tables.
void RotationZ(float m[3][3], int i) {
    const float c = g_E3DCosTable[i], s = g_E3DSinTable[i];
    const float r[3][3] = {{c, s, 0.0f}, {-s, c, 0.0f}, {0.0f, 0.0f, 1.0f}};
    memcpy(m, r, sizeof r);
}
void RotationX(float m[3][3], int i) {
    const float c = g_E3DCosTable[i], s = g_E3DSinTable[i];
    const float r[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, c, s}, {0.0f, -s, c}};
    memcpy(m, r, sizeof r);
}
void RotationY(float m[3][3], int i) {
    const float c = g_E3DCosTable[i], s = g_E3DSinTable[i];
    const float r[3][3] = {{c, 0.0f, -s}, {0.0f, 1.0f, 0.0f}, {s, 0.0f, c}};
    memcpy(m, r, sizeof r);
}
// out = a x b (3 x 3); out may be a.
void Multiply33(float out[3][3], const float a[3][3], const float b[3][3]) {
    float r[3][3];
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r[i][j] = a[i][0] * b[0][j] + a[i][1] * b[1][j] + a[i][2] * b[2][j];
    memcpy(out, r, sizeof r);
}
}  // namespace

// ---------------------------------------------------------------------------
// Walks.

SE3DFrameWalk::SE3DFrameWalk(CE3DFrame* first, EList list) : m_next(first), m_list(list), m_outer(t_walks) {
    t_walks = this;
}

SE3DFrameWalk::~SE3DFrameWalk() {
    t_walks = m_outer;
}

CE3DFrame* SE3DFrameWalk::Next() {
    CE3DFrame* f = m_next;
    if (f) m_next = m_list == kSiblings ? f->m_siblingNext : f->m_activeNext;
    return f;
}

// ---------------------------------------------------------------------------
// Construction and destruction.

CE3DFrame::CE3DFrame(CE3DFrame* parent) : m_parent(parent) {
    E3D_FillTables();
    if (parent) {
        m_scene = parent->m_scene ? parent->m_scene : parent;
        m_screen = parent->m_screen;
        SSiblingLinks::Push(parent->m_firstChild, this);
        ++parent->m_childCount;
    } else {
        m_sceneData = new SE3DScene;
    }
    Invalidate();
    E3D_Matrix43Identity(m_local);
    E3D_Matrix43Identity(m_world);
    for (E3DMatrix43& h : m_history) E3D_Matrix43Identity(h);
    m_render = g_E3DIdentity44;
}

CE3DFrame::~CE3DFrame() {
    while (m_refs) m_refs->Set(nullptr);
    StepWalksPast(this, SE3DFrameWalk::kSiblings);
    StepWalksPast(this, SE3DFrameWalk::kActive);
    while (m_firstChild) delete m_firstChild;  // each child unlinks itself
    LeaveDeletionList();
    if (m_parent) {
        --m_parent->m_childCount;
        SSiblingLinks::Unlink(m_parent->m_firstChild, this);
    }
    while (m_activeCount > 0) Deactivate();
    LeaveChangedList();
    LeaveMovedList();
    delete m_sceneData;
    m_sceneData = nullptr;
}

void CE3DFrameRef::Set(CE3DFrame* frame) {
    if (frame == m_frame) return;
    if (m_frame) {
        if (m_prev)
            m_prev->m_next = m_next;
        else
            m_frame->m_refs = m_next;
        if (m_next) m_next->m_prev = m_prev;
        m_next = m_prev = nullptr;
    }
    m_frame = frame;
    if (frame) {
        m_next = frame->m_refs;
        if (m_next) m_next->m_prev = this;
        frame->m_refs = this;
    }
}

// ---------------------------------------------------------------------------
// Lists.

void CE3DFrame::Invalidate() {
    m_flagsB |= kFrameLocalStale;
    MarkWorldStale();
}

// On the changed list, without marking the local matrix (the matrix builder
// uses this for the children of a frame whose world matrix changed).
void CE3DFrame::MarkWorldStale() {
    if (m_flagsA & kFrameOnChangedList) return;
    m_flagsA |= kFrameOnChangedList;
    SChangedLinks::Push(Scene()->changedHead, this);
}

void CE3DFrame::LeaveChangedList() {
    if (!(m_flagsA & kFrameOnChangedList)) return;
    m_flagsA &= uint8_t(~kFrameOnChangedList);
    SChangedLinks::Unlink(Scene()->changedHead, this);
}

void CE3DFrame::JoinMovedList() {
    if (m_flagsB & kFrameOnMovedList) return;
    m_flagsB |= kFrameOnMovedList;
    SMovedLinks::Push(Scene()->movedHead, this);
}

void CE3DFrame::LeaveMovedList() {
    if (!(m_flagsB & kFrameOnMovedList)) return;
    m_flagsB &= uint8_t(~kFrameOnMovedList);
    SMovedLinks::Unlink(Scene()->movedHead, this);
}

void CE3DFrame::QueueForDeletion() {
    if ((m_flagsA & kFrameQueued) || !m_scene) return;
    SDeletionLinks::Push(Scene()->deletionHead, this);
    m_flagsA |= kFrameQueued;
}

void CE3DFrame::LeaveDeletionList() {
    if (!(m_flagsA & kFrameQueued)) return;
    m_flagsA &= uint8_t(~kFrameQueued);
    SDeletionLinks::Unlink(Scene()->deletionHead, this);
}

void CE3DFrame::Activate() {
    if (!m_parent || m_parent != m_scene) return;
    if (m_activeCount == 0) {
        Message(kFrameMsgActivated, nullptr);
        m_activeCount = 1;
        SActiveLinks::Push(Scene()->activeHead, this);
    } else if (m_activeCount < 255) {
        ++m_activeCount;
    }
}

void CE3DFrame::SetActiveCount(uint8_t count) {
    if (!m_parent || m_parent != m_scene) return;
    if (m_activeCount > 0) {
        if (count == 0) {
            m_activeCount = 1;
            Deactivate();
        } else {
            m_activeCount = count;
        }
        return;
    }
    if (count == 0) return;
    Activate();
    m_activeCount = count;
}

void CE3DFrame::Deactivate() {
    if (m_activeCount == 0) return;
    if (--m_activeCount > 0) return;
    Message(kFrameMsgDeactivated, nullptr);
    LeaveActiveList();
}

void CE3DFrame::LeaveActiveList() {
    StepWalksPast(this, SE3DFrameWalk::kActive);
    SActiveLinks::Unlink(Scene()->activeHead, this);
}

void CE3DFrame::DeleteChildrenOfType(uint32_t type) {
    for (SE3DFrameWalk w(m_firstChild, SE3DFrameWalk::kSiblings); CE3DFrame* c = w.Next();)
        if (c->m_type == type) delete c;
}

bool CE3DFrame::SetParent(CE3DFrame* parent) {
    if (!parent || !m_parent || parent->SceneRoot() != SceneRoot()) return false;
    for (CE3DFrame* p = parent; p; p = p->m_parent)
        if (p == this) return false;
    if (parent == m_parent) return true;
    StepWalksPast(this, SE3DFrameWalk::kSiblings);
    --m_parent->m_childCount;
    SSiblingLinks::Unlink(m_parent->m_firstChild, this);
    m_parent = parent;
    SSiblingLinks::Push(parent->m_firstChild, this);
    ++parent->m_childCount;
    if (parent != m_scene)
        while (m_activeCount > 0) Deactivate();
    m_flagsB |= kFrameWorldStale;
    MarkWorldStale();
    return true;
}

// ---------------------------------------------------------------------------
// The walks of the render.

void CE3DFrame::Message(int code, void* data) {
    SE3DFrameSearch* search = nullptr;
    if (code == kFrameMsgSearch) {
        search = static_cast<SE3DFrameSearch*>(data);
        if (!search || search->found) return;
        if (search->target == this) {
            search->found = 1;
            return;
        }
    }
    for (SE3DFrameWalk w(m_firstChild, SE3DFrameWalk::kSiblings); CE3DFrame* c = w.Next();) {
        c->Message(code, data);
        if (search && search->found) break;
    }
}

void CE3DFrame::Update(int* frozenDepth) {
    int own = 0;
    if (!frozenDepth) frozenDepth = &own;
    // Nothing of this frame is read after the children ran: one of them may
    // have deleted it.
    const bool frozen = m_flagsA & kFrameFrozen;
    if (frozen) ++*frozenDepth;
    if (m_pendingVisibility > 0) {
        m_flagsA |= kFrameHidden | kFrameSubtreeHidden;
        m_pendingVisibility = 0;
    } else if (m_pendingVisibility < 0) {
        m_flagsA &= uint8_t(~(kFrameHidden | kFrameSubtreeHidden));
        m_pendingVisibility = 0;
    }
    if (!(m_flagsA & kFrameSubtreeHidden)) {
        for (SE3DFrameWalk w(m_firstChild, SE3DFrameWalk::kSiblings); CE3DFrame* c = w.Next();) {
            if (c->m_flagsA & kFrameQueued) continue;
            c->m_flagsA &= uint8_t(~kFrameNotUpdated);
            c->Update(frozenDepth);
        }
    }
    if (frozen) --*frozenDepth;
}

void CE3DFrame::Render(int* frozenDepth) {
    int own = 0;
    if (!frozenDepth) frozenDepth = &own;
    const bool frozen = m_flagsA & kFrameFrozen;
    if (frozen) ++*frozenDepth;
    if (!(m_flagsA & kFrameSubtreeHidden)) {
        for (SE3DFrameWalk w(m_firstChild, SE3DFrameWalk::kSiblings); CE3DFrame* c = w.Next();)
            if (!(c->m_flagsA & (kFrameNotUpdated | kFrameQueued))) c->Render(frozenDepth);
    }
    if (frozen) --*frozenDepth;
}

void CE3DFrame::UpdateRenderMatrix(int* frozenDepth) {
    int own = 0;
    if (!frozenDepth) frozenDepth = &own;
    const bool frozen = m_flagsA & kFrameFrozen;
    if (frozen) ++*frozenDepth;
    if (m_scene) {
        if (m_flagsA & kFrameFacing) {
            UpdateMatrix();
            E3D_Matrix43To44(m_world, &m_render);
        } else if (*frozenDepth == 0) {
            // A frame made since the last update has no history yet: it is
            // drawn where it is, not slid in from the origin.
            if (m_flagsA & kFrameNotUpdated) {
                UpdateMatrixUp();
                for (E3DMatrix43& h : m_history) E3D_Matrix43Copy(h, m_world);
            }
            const SE3DScene* scene = Scene();
            const E3DMatrix43& a = m_history[scene->fromSlot];
            const E3DMatrix43& b = m_history[scene->toSlot];
            const float t = scene->t;
            for (int r = 0; r < 4; ++r)
                for (int c = 0; c < 3; ++c) m_render.m[r][c] = a[r][c] + (b[r][c] - a[r][c]) * t;
        }
    }
    for (CE3DFrame* c = m_firstChild; c; c = c->m_siblingNext)
        if (!(c->m_flagsA & kFrameQueued)) c->UpdateRenderMatrix(frozenDepth);
    if (frozen) --*frozenDepth;
}

// ---------------------------------------------------------------------------
// Transform setters.

void CE3DFrame::Scale(float x, float y, float z) {
    m_scale[0] *= x;
    m_scale[1] *= y;
    m_scale[2] *= z;
    ScaleChanged();
    Invalidate();
}

void CE3DFrame::SetScale(float x, float y, float z) {
    m_scale[0] = x;
    m_scale[1] = y;
    m_scale[2] = z;
    ScaleChanged();
    Invalidate();
}

void CE3DFrame::SetPosition(float x, float y, float z, CE3DFrame* reference) {
    m_position[0] = x;
    m_position[1] = y;
    m_position[2] = z;
    if (reference) {
        reference->UpdateMatrixUp();
        for (int i = 0; i < 3; ++i) m_position[i] += reference->m_world[3][i];
    }
    Invalidate();
}

void CE3DFrame::GetPosition(float* x, float* y, float* z, CE3DFrame* reference) {
    UpdateMatrixUp();
    float p[3] = {m_world[3][0], m_world[3][1], m_world[3][2]};
    if (reference) {
        reference->UpdateMatrixUp();
        for (int i = 0; i < 3; ++i) p[i] -= reference->m_world[3][i];
    }
    if (x) *x = p[0];
    if (y) *y = p[1];
    if (z) *z = p[2];
}

void CE3DFrame::GetDirection(float* x, float* y, float* z) {
    UpdateMatrixUp();
    if (x) *x = m_world[2][0];
    if (y) *y = m_world[2][1];
    if (z) *z = m_world[2][2];
}

void CE3DFrame::SetOrientation(float yaw, float pitch, float roll, CE3DFrame* reference) {
    if (!reference || !m_parent) {
        m_yaw = yaw;
        m_pitch = pitch;
        m_roll = roll;
    } else {
        reference->UpdateMatrixUp();
        m_parent->UpdateMatrixUp();
        const E3DMatrix43& r = reference->m_world;
        const E3DMatrix43& p = m_parent->m_world;
        m_yaw = Math_Atan2(r[2][0], r[2][2]) - Math_Atan2(p[2][0], p[2][2]) + yaw;
    }
    m_yaw = E3D_WrapAngle(m_yaw);
    m_pitch = E3D_WrapAngle(m_pitch);
    m_roll = E3D_WrapAngle(m_roll);
    Invalidate();
}

void CE3DFrame::AlignTo(float yaw, float pitch, float roll, CE3DFrame* reference) {
    if (!reference) {
        m_yaw = yaw;
        m_pitch = pitch;
        m_roll = roll;
    } else {
        reference->UpdateMatrixUp();
        // The reference's axes without its scale.
        float rot[3][3];
        for (int r = 0; r < 3; ++r) {
            for (int c = 0; c < 3; ++c) rot[r][c] = reference->m_world[r][c];
            E3D_Normalize(rot[r], 1e-20f);
        }
        const float refYaw = Math_Atan2(rot[2][0], rot[2][2]);
        const float zy = rot[2][1] > 1.0f ? 1.0f : (rot[2][1] < -1.0f ? -1.0f : rot[2][1]);
        const float refPitch = -Math_Asin(zy);
        // Undo the yaw, then the pitch: what is left turns about z only, and
        // its x axis gives the roll.
        const float cy = Math_Cos(refYaw), sy = Math_Sin(refYaw);
        const float cp = Math_Cos(refPitch), sp = Math_Sin(refPitch);
        const float undoYaw[3][3] = {{cy, 0.0f, sy}, {0.0f, 1.0f, 0.0f}, {-sy, 0.0f, cy}};
        const float undoPitch[3][3] = {{1.0f, 0.0f, 0.0f}, {0.0f, cp, -sp}, {0.0f, sp, cp}};
        Multiply33(rot, rot, undoYaw);
        Multiply33(rot, rot, undoPitch);
        const float refRoll = Math_Atan2(rot[0][1], rot[0][0]);
        m_yaw = refYaw + yaw;
        m_pitch = refPitch + pitch;
        m_roll = refRoll + roll;
    }
    m_yaw = E3D_WrapAngle(m_yaw);
    m_pitch = E3D_WrapAngle(m_pitch);
    m_roll = E3D_WrapAngle(m_roll);
    Invalidate();
}

// ---------------------------------------------------------------------------
// The matrix builder.

void CE3DFrame::UpdateMatrix() {
    const bool facing = m_flagsA & kFrameFacing;
    if (!facing && (m_flagsB & kFrameLocalStale)) {
        m_yaw = E3D_WrapAngle(m_yaw);
        m_pitch = E3D_WrapAngle(m_pitch);
        m_roll = E3D_WrapAngle(m_roll);
        float m[3][3] = {{m_scale[0], 0.0f, 0.0f}, {0.0f, m_scale[1], 0.0f}, {0.0f, 0.0f, m_scale[2]}};
        float r[3][3];
        RotationZ(r, E3D_AngleIndex(m_roll));
        Multiply33(m, m, r);
        RotationX(r, E3D_AngleIndex(m_pitch));
        Multiply33(m, m, r);
        RotationY(r, E3D_AngleIndex(m_yaw));
        Multiply33(m, m, r);
        for (int i = 0; i < 3; ++i) {
            for (int c = 0; c < 3; ++c) m_local[i][c] = m[i][c];
            m_local[3][i] = m_position[i];
        }
        m_flagsB &= uint8_t(~kFrameLocalStale);
        m_flagsB |= kFrameWorldStale;
    }
    // A frame facing the camera follows the eye, so its world matrix is
    // rebuilt on every call (its local matrix is never marked fresh).
    if ((m_flagsB & kFrameWorldStale) || facing) {
        m_storeCount = 0;
        JoinMovedList();
        for (CE3DFrame* c = m_firstChild; c; c = c->m_siblingNext) {
            c->m_flagsB |= kFrameWorldStale;
            c->MarkWorldStale();
        }
        BuildWorld();
        m_flagsB &= uint8_t(~kFrameWorldStale);
    }
    LeaveChangedList();
}

void CE3DFrame::BuildWorld() {
    const bool facing = m_flagsA & kFrameFacing;
    const SE3DScene* scene = Scene();
    const CE3DView* view = facing && scene ? scene->facingView : nullptr;
    if (facing) {
        // No rotation of its own: scale and position.
        E3D_Matrix43Identity(m_local);
        for (int i = 0; i < 3; ++i) {
            m_local[i][i] = m_scale[i];
            m_local[3][i] = m_position[i];
        }
    }
    const bool follow = m_parent && (m_flagsB & kFrameFollowsParent);
    if (!view) {
        if (follow)
            E3D_Matrix43Multiply(m_world, m_local, m_parent->m_world);
        else
            E3D_Matrix43Copy(m_world, m_local);
        return;
    }
    float at[3];
    if (m_parent)
        E3D_TransformPoint(m_parent->m_world, m_position, at);
    else
        memcpy(at, m_position, sizeof at);
    float rot[3][3];
    view->FacingMatrix(rot, at);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) m_world[r][c] = rot[r][c] * m_scale[r];
        m_world[3][r] = at[r];
    }
}

void CE3DFrame::UpdateMatrixUp() {
    if (m_parent) m_parent->UpdateMatrixUp();
    if (!(m_flagsA & kFrameFacing)) UpdateMatrix();
}

void CE3DFrame::UpdateMatrixDown() {
    if (!(m_flagsA & kFrameFacing)) UpdateMatrix();
    for (CE3DFrame* c = m_firstChild; c; c = c->m_siblingNext) c->UpdateMatrixDown();
}

void CE3DFrame::StoreMatrix() {
    UpdateMatrix();
    E3D_Matrix43Copy(m_history[Scene()->storeSlot], m_world);
}

void CE3DFrame::StoreMatrixCounted() {
    if (m_storeCount >= 4) LeaveMovedList();
    ++m_storeCount;
    E3D_Matrix43Copy(m_history[Scene()->storeSlot], m_world);
}

void CE3DFrame::ResetMatrixHistory() {
    if (!(m_flagsA & kFrameFacing)) UpdateMatrix();
    for (E3DMatrix43& h : m_history) E3D_Matrix43Copy(h, m_world);
    for (CE3DFrame* c = m_firstChild; c; c = c->m_siblingNext) c->ResetMatrixHistory();
}

// ---------------------------------------------------------------------------
// The scene's tick block.

namespace {

// Asks the processor to bring the next frame of a list into its cache while
// this one is worked on: the frames lie wherever they were allocated, and
// thousands of them no longer fit its nearer cache.
void Prefetch(const CE3DFrame* f) {
    const char* p = reinterpret_cast<const char*>(f);
    for (size_t at = 0; at < sizeof(CE3DFrame); at += 64) __builtin_prefetch(p + at);
}

}  // namespace

void SE3DScene::StoreTick() {
    // The next slot that the render is not blending; when both others are in
    // use (ticks faster than frames) the newest slot is written again.
    for (int step = 1; step <= 2; ++step) {
        const int s = (storeSlot + step) % 3;
        if (s != fromSlot && s != toSlot) {
            previousStoreSlot = storeSlot;
            storeSlot = s;
            break;
        }
    }
    for (CE3DFrame* f = movedHead; f;) {
        CE3DFrame* next = f->m_movedNext;  // a frame stored often enough leaves the list
        if (next) Prefetch(next);
        f->StoreMatrixCounted();
        f = next;
    }
    while (changedHead) {  // each leaves the list, its children may join
        if (CE3DFrame* next = changedHead->m_changedNext) Prefetch(next);
        changedHead->StoreMatrix();
    }
}

void SE3DScene::SetRenderFraction(float fraction) {
    fromSlot = previousStoreSlot;
    toSlot = storeSlot;
    t = fraction < 0.0f ? 0.0f : (fraction > 1.0f ? 1.0f : fraction);
    if (!(t == t)) t = 1.0f;
}

void SE3DScene::DestroyQueued() {
    while (deletionHead) delete deletionHead;  // each leaves the list as it goes
}
