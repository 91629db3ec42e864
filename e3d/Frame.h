// CE3DFrame: the node of the scene tree.
//
// Every visible or positional thing of a 3D scene is a frame or derives from
// one: meshes, lights, cameras, particle emitters, beams, lightning, and
// through the mesh every game object. A frame holds a local transform (Euler
// angles, position, scale), derives its world matrix from its parent, and
// keeps a short history of world matrices so that drawing can interpolate
// between logic ticks: the logic tick stores the world matrices into the
// scene's current history slot (SE3DScene::StoreTick), the render blends two
// slots by the fraction of the tick that has passed.
//
// A frame made without a parent is the root of a scene (a camera, normally)
// and owns the scene's lists: the active frames (direct children of the root
// that take part in the render), the frames queued for deletion (the
// per-frame update list the game puts removed objects on; the logic tick
// destroys them), and the frames whose matrices must be recomputed or stored.
// Every frame below the root names the root as its scene.
//
// The tree is part of the simulation: weapon headings and fire points are
// read from it in lockstep. It needs no device, window or GL context, and all
// of its math comes from core/Math and the engine's tables, so every machine
// gets the same bits.
//
// Walking the tree is safe against deletion: a frame deleted while a walk of
// its siblings or of the active list is under way (by another frame's Update
// or Render, say) is stepped over, never touched again.
#pragma once

#include <cstdint>

#include "e3d/E3DMath.h"
#include "platform/d3d/D3DTypes.h"

class CE3DFrame;
class CE3DScreen;
class CE3DView;

// Frame type codes of the most derived class; game classes use codes above
// 255 (257 the game object, 312 the unit visual).
enum : uint32_t {
    kE3DFramePlain = 7,
    kE3DFrameMesh = 8,
    kE3DFrameCamera = 9,
    kE3DFrameLight = 10,
    kE3DFrameEmitter = 11,
    kE3DFrameLightning = 24,
    kE3DFrameBeam = 25,
};

// Flag byte A. The game's names for them: "hidden" (flag 8) is a frame on the
// per-frame update list, "not drawn" (flag 0x20) is kFrameHidden, "billboard"
// is kFrameFacing.
enum : uint8_t {
    kFrameFrozen = 0x01,         // keeps its render matrix (and so does its subtree)
    kFrameFacing = 0x02,         // turns to face the eye of the scene's view
    kFrameNotUpdated = 0x04,     // made since its parent's last update: not drawn yet
    kFrameQueued = 0x08,         // on the scene's deletion list: neither updated nor drawn
    kFrameHidden = 0x20,         // set with kFrameSubtreeHidden by the pending visibility
    kFrameSubtreeHidden = 0x40,  // the children are neither updated nor drawn
    kFrameOnChangedList = 0x80,  // its matrices must be recomputed
    kFrameOnUpdateList = kFrameQueued,
};
// Flag byte B.
enum : uint8_t {
    kFrameOnMovedList = 0x01,    // its world matrix changed and must still be stored
    kFrameWorldStale = 0x02,     // the world matrix must be rebuilt from the parent's
    kFrameLocalStale = 0x04,     // the local matrix must be rebuilt from angles, position and scale
    kFrameFollowsParent = 0x08,  // the world matrix is the local one times the parent's
    kFrameReleased = 0x20,       // the game has released the object (the engine only keeps the bit)
};

// Frame messages (Message's code).
enum : int {
    kFrameMsgViewportAttached = 1,  // data: the viewport
    kFrameMsgActivated = 3,
    kFrameMsgDeactivated = 4,
    kFrameMsgSearch = 5,  // data: SE3DFrameSearch
    kFrameMsgGatherBounds = 6,
    kFrameMsgFade = 7,
    kFrameMsgShatterStart = 8,
    kFrameMsgShatterStep = 9,
    kFrameMsgJitter = 10,
    kFrameMsgJitter2 = 11,
    kFrameMsgColor = 12,
    kFrameMsgReloadEmitter = 14,
    kFrameMsgFlag = 15,
    kFrameMsgCopyExtents = 16,
};

// The data of message 5: the walk stops at the target.
struct SE3DFrameSearch {
    int32_t found;
    CE3DFrame* target;
};

// What the root of a scene owns. The tick block: the logic tick stores into
// storeSlot; the render blends history[fromSlot] to history[toSlot] by t.
struct SE3DScene {
    CE3DFrame* activeHead = nullptr;
    CE3DFrame* deletionHead = nullptr;
    CE3DFrame* changedHead = nullptr;
    CE3DFrame* movedHead = nullptr;
    float t = 1.0f;
    int32_t fromSlot = 0, toSlot = 0;
    int32_t storeSlot = 0;
    int32_t previousStoreSlot = 0;
    // The view that camera-facing frames turn to (the viewport rendering the
    // scene); null while none is attached.
    const CE3DView* facingView = nullptr;

    // Once per logic tick: the store slot moves on (skipping the two slots
    // the render blends), every moved frame is stored, every changed frame is
    // recomputed and stored.
    void StoreTick();
    // Before a render: blend from the slot stored before the last tick to the
    // last one, by t (0 to 1).
    void SetRenderFraction(float t);
    // Destroys every frame queued for deletion (their subtrees with them).
    void DestroyQueued();
};

// A pointer to a frame that its holder does not own (an emitter following a
// frame, a beam ending at one): it reads null once the frame is destroyed.
class CE3DFrameRef {
public:
    CE3DFrameRef() = default;
    ~CE3DFrameRef() { Set(nullptr); }
    CE3DFrameRef(const CE3DFrameRef&) = delete;
    CE3DFrameRef& operator=(const CE3DFrameRef&) = delete;

    void Set(CE3DFrame* frame);
    CE3DFrame* Get() const { return m_frame; }

private:
    friend class CE3DFrame;
    CE3DFrame* m_frame = nullptr;
    CE3DFrameRef* m_next = nullptr;
    CE3DFrameRef* m_prev = nullptr;
};

class CE3DFrame {
public:
    // Under the parent (at the head of its children), or a scene root without.
    explicit CE3DFrame(CE3DFrame* parent);
    // Destroys the children first, then leaves every list.
    virtual ~CE3DFrame();
    CE3DFrame(const CE3DFrame&) = delete;
    CE3DFrame& operator=(const CE3DFrame&) = delete;

    // Passes the message down the tree, children in sibling order. Message 5
    // is a search: it stops where the target is found.
    virtual void Message(int code, void* data);
    // Draws the subtree: this frame draws nothing itself. Children made since
    // the last update, queued children and hidden subtrees are left out.
    virtual void Render(int* frozenDepth);
    // The per-frame update of the subtree: applies the pending visibility,
    // then updates the children. Derived classes do their own work and then
    // call this.
    virtual void Update(int* frozenDepth);

    // A game object whose object is dying: emitters that follow it stop
    // spawning.
    virtual bool Dying() const { return false; }

    // The scene root: the scene of a frame below it, or the frame itself.
    CE3DFrame* SceneRoot() { return m_scene ? m_scene : this; }
    SE3DScene* Scene() { return SceneRoot()->m_sceneData; }

    // Marks the local matrix stale and puts the frame on the changed list.
    void Invalidate();
    // Puts the frame on the scene's deletion list (once; a frame without a
    // scene is never queued). The render leaves it out from then on; the
    // logic tick destroys it.
    void QueueForDeletion();
    // The game's name for the same list.
    void AddToUpdateList() { QueueForDeletion(); }
    // Counted activation, only for a direct child of the scene root: the
    // first sends message 3 and joins the active list (at most 255).
    void Activate();
    void SetActiveCount(uint8_t count);
    // The last deactivation sends message 4 and leaves the active list.
    void Deactivate();

    void Scale(float x, float y, float z);
    void SetScale(float x, float y, float z);
    // Relative to the parent; with a reference, offset by the reference's
    // world position.
    void SetPosition(float x, float y, float z, CE3DFrame* reference = nullptr);
    // The world position (brought up to date); with a reference, relative to
    // the reference's.
    void GetPosition(float* x, float* y, float* z, CE3DFrame* reference = nullptr);
    // The world z axis (brought up to date): where the frame points.
    void GetDirection(float* x, float* y, float* z);
    // Sets the angles; with a reference (and a parent) only the yaw, turned
    // so that it is relative to the reference's heading.
    void SetOrientation(float yaw, float pitch, float roll, CE3DFrame* reference = nullptr);
    // Sets the angles; with a reference the frame takes the reference's world
    // orientation plus the angles given.
    void AlignTo(float yaw, float pitch, float roll, CE3DFrame* reference = nullptr);

    // The matrix builder: local matrix from angles, position and scale when
    // stale, world matrix from the parent's when stale.
    void UpdateMatrix();
    // Up to date from the root down to this frame.
    void UpdateMatrixUp();
    // This frame and its whole subtree.
    void UpdateMatrixDown();
    // Recomputes, then copies the world matrix into the current store slot.
    void StoreMatrix();
    // Copies the world matrix into the current store slot; a frame stored
    // five times without a change leaves the moved list.
    void StoreMatrixCounted();
    // The world matrix into all three history entries, the subtree too: a
    // frame that was placed or jumped is not drawn sliding from its old place.
    void ResetMatrixHistory();
    // The render matrix of the subtree, blended between two history slots
    // (frozen frames and their subtrees keep theirs).
    void UpdateRenderMatrix(int* frozenDepth);

    void DeleteChildrenOfType(uint32_t type);
    // Moves the frame with its subtree under another frame of the same scene
    // (at the head of its children). Refused (false, nothing changes) for a
    // scene root, a parent in another scene, and a parent that is the frame
    // itself or lies below it: a frame is never its own ancestor. An active
    // frame that no longer sits right below the root is deactivated.
    bool SetParent(CE3DFrame* parent);

    // Fields, in the order the engine's other parts know them.
    CE3DFrame* m_activeNext = nullptr;
    CE3DFrame* m_activePrev = nullptr;
    CE3DFrame* m_changedNext = nullptr;
    CE3DFrame* m_changedPrev = nullptr;
    CE3DFrame* m_movedNext = nullptr;
    CE3DFrame* m_movedPrev = nullptr;
    uint32_t m_type = kE3DFramePlain;
    uint32_t m_baseType = kE3DFramePlain;  // 8: a mesh (game classes keep it)
    uint32_t m_storeCount = 0;
    CE3DScreen* m_screen = nullptr;
    CE3DFrame* m_deletionNext = nullptr;
    CE3DFrame* m_deletionPrev = nullptr;
    CE3DFrame* m_siblingPrev = nullptr;
    CE3DFrame* m_siblingNext = nullptr;
    CE3DFrame* m_firstChild = nullptr;
    uint32_t m_childCount = 0;
    CE3DFrame* m_parent = nullptr;
    CE3DFrame* m_scene = nullptr;  // the scene root; null for a root
    E3DMatrix43 m_local;
    E3DMatrix43 m_world;
    E3DMatrix43 m_history[3];
    D3DMATRIX m_render;
    float m_yaw = 0.0f, m_pitch = 0.0f, m_roll = 0.0f;  // radians in [0, 2 pi): about y, x, z
    float m_position[3] = {0.0f, 0.0f, 0.0f};
    float m_scale[3] = {1.0f, 1.0f, 1.0f};
    int8_t m_pendingVisibility = 0;  // > 0 hide, < 0 show at the next update
    uint8_t m_activeCount = 0;
    uint8_t m_flagsA = kFrameNotUpdated;
    uint8_t m_flagsB = kFrameFollowsParent;
    SE3DScene* m_sceneData = nullptr;  // owned by a scene root only

protected:
    // After the scale changed: meshes recompute their bounding radius.
    virtual void ScaleChanged() {}

private:
    friend struct SE3DScene;
    friend class CE3DFrameRef;
    CE3DFrameRef* m_refs = nullptr;  // the references that point here
    void MarkWorldStale();
    void LeaveChangedList();
    void JoinMovedList();
    void LeaveMovedList();
    void LeaveDeletionList();
    void LeaveActiveList();
    void BuildWorld();
};

// Walks a list of frames (siblings or the active list) so that deleting a
// frame during the walk is safe: the frame being deleted moves every walk
// that would visit it next on past it.
//
//     for (SE3DFrameWalk w(first, SE3DFrameWalk::kSiblings); CE3DFrame* f = w.Next();) ...
struct SE3DFrameWalk {
    enum EList { kSiblings, kActive };
    SE3DFrameWalk(CE3DFrame* first, EList list);
    ~SE3DFrameWalk();
    SE3DFrameWalk(const SE3DFrameWalk&) = delete;
    SE3DFrameWalk& operator=(const SE3DFrameWalk&) = delete;
    CE3DFrame* Next();

    CE3DFrame* m_next;
    EList m_list;
    SE3DFrameWalk* m_outer;
};
