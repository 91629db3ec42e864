// CE3DMesh: the scene frame that shows a shape. It builds one vertex list per
// block of its shape, plays the shape's morph animation over time (position,
// colour and texture-coordinate sets blended between key frames), runs the
// controllers the game attaches, answers the bounds and effect messages of
// the frame tree (fade, shatter, jitter, colour), and hands its vertex lists
// to the scene render: opaque lists to their material's queues, translucent
// ones to the scene's. Every placed game object is a mesh.
//
// The scene render that draws meshes is the scene root's: when the root of a
// mesh's scene offers IE3DMeshScene (the camera does), meshes register their
// bounding spheres with it, take its visibility results and give it their
// translucent lists; under any other root every list goes to its material's
// queue and is drawn.
#pragma once

#include <cstdint>

#include "e3d/Frame.h"

class CE3DShape;
class CE3DVertexList;
class CE3DMesh;

// What the scene render offers the meshes of its scene.
class IE3DMeshScene {
public:
    virtual ~IE3DMeshScene() = default;
    // A mesh was made (+1) or destroyed (-1) in the scene.
    virtual void CountMesh(int delta) = 0;
    // Update: a drawable mesh's bounding sphere for this frame's culling; the
    // index to ask its result by (-1: none taken).
    virtual int32_t AddBoundingSphere(float radius, const float centre[3]) = 0;
    // Render: the visibility result (D3DSTATUS bits) of a sphere added in
    // this frame's update. Each mesh asks by its own index, so a mesh that
    // was hidden or shown between its update and its render cannot shift
    // the results of the others; an index of -1 reads as out of view.
    virtual uint32_t Visibility(int32_t index) = 0;
    // Texture stages the device uses at once (1 to 3): the pass list drawn.
    virtual int StageLevel() const = 0;
    virtual bool AllowsBlending() const = 0;
    virtual void QueueTranslucent(CE3DVertexList* list, bool late) = 0;
    // The view matrix of the scene's view (environment mapping).
    virtual const D3DMATRIX& ViewMatrix() const = 0;
    // A vertex list is going (its mesh is being destroyed): a render under
    // way forgets it wherever it was queued.
    virtual void ListGone(CE3DVertexList*) {}
};

// The scene render of a frame's scene: its root when that offers one (null
// for a root itself). Meshes, emitters, beams and lightning ask it.
IE3DMeshScene* E3D_MeshSceneOf(CE3DFrame* frame);

// Something the game attaches to a mesh to drive it over time.
class CE3DMeshController {
public:
    // Joins the head of the mesh's controllers; starts at the mesh's now.
    CE3DMeshController(CE3DMesh* mesh, float durationSeconds);
    virtual ~CE3DMeshController();
    CE3DMeshController(const CE3DMeshController&) = delete;
    CE3DMeshController& operator=(const CE3DMeshController&) = delete;

    // Elapsed seconds and fraction of the duration, then the controller's own
    // step; controllers nested more than 32 deep are all dropped instead.
    void Step();
    virtual void Advance() = 0;

    CE3DMesh* m_mesh;
    CE3DMeshController* m_next = nullptr;
    float m_duration;  // seconds
    int64_t m_start;
    float m_elapsed = 0.0f;
    float m_fraction = 0.0f;
    uint8_t m_remove = 0;
};

// The bounds record of message 6.
struct SE3DBounds {
    float extents[3] = {0, 0, 0};
    float minCorner[3] = {0, 0, 0};
    float maxCorner[3] = {0, 0, 0};
    float radius3D = 0.0f;
    float radiusH = 0.0f;
};

// Flag byte A of a mesh.
enum : uint8_t {
    kMeshActAtEnd = 0x01,
    kMeshShattered = 0x02,
    kMeshDropControllers = 0x08,
    kMeshNoTexBlend = 0x40,  // the third display flag of the shape (bit 6)
};
// Flag byte B of a mesh.
enum : uint8_t {
    kMeshTranslucent = 0x01,
    kMeshLateTranslucent = 0x02,
    kMeshAnimatedShape = 0x04,
    kMeshNoBounds = 0x08,
};

class CE3DMesh : public CE3DFrame {
public:
    CE3DMesh(CE3DFrame* parent, CE3DShape* shape);
    ~CE3DMesh() override;

    void Message(int code, void* data) override;
    void Render(int* frozenDepth) override;
    void Update(int* frozenDepth) override;
    // The name a game node answers ("selection" children add no bounds).
    virtual const char* MeshName() const { return nullptr; }

    // Rebuilds the vertex lists for another shape (none: ignored).
    void SetShape(CE3DShape* shape);
    CE3DShape* Shape() const { return m_shape; }
    CE3DVertexList* VertexLists() const { return m_lists; }

    // Messages to the mesh itself.
    void CopyExtents() { Message(kFrameMsgCopyExtents, nullptr); }
    void Shatter(float amount, float fraction, bool spread);
    void ShatterStep() { Message(kFrameMsgShatterStep, nullptr); }
    void SetFlag(bool on);
    void Jitter(float amount);
    void SetColor(float r, float g, float b);

    void SetVisibleFraction(float fraction) { m_visibleTarget = fraction; }
    void RestartAnimation();
    void SetPartParams(int32_t a, int32_t b);
    void SetPartParam(float fraction);
    void UpdateVertexLists();
    void QueryBounds();
    void GatherOwnBounds();
    void UpdateRadius();

    // The engine timer's count (game-time units of 1/1193182 second) that
    // animations and controllers measure against; tests set their own clock.
    int64_t Now() const;
    static void SetClock(int64_t (*now)(void* user), void* user);

    // Gathered bounds.
    float m_maxCorner[3] = {0, 0, 0};
    float m_minCorner[3] = {0, 0, 0};
    float m_absExtents[3] = {0, 0, 0};
    float m_subtreeExtents[3] = {0, 0, 0};
    int64_t m_animStart = 0;
    CE3DShape* m_shape = nullptr;
    CE3DFrame* m_emitter = nullptr;  // the particle emitter that follows the mesh
    uint32_t m_restartWord = 0;
    CE3DVertexList* m_lists = nullptr;
    bool m_animating = false;
    uint32_t m_endMode = 2;
    uint32_t m_duration = 1000;
    CE3DMeshController* m_controllers = nullptr;
    int32_t m_controllerDepth = 0;
    float m_subtreeRadius = 0.0f, m_subtreeRadiusH = 0.0f;
    float m_ownRadius = 0.0f, m_ownRadiusH = 0.0f;
    float m_boundingRadius = 0.0f;
    float m_scaledRadius = 0.0f;
    float m_visibleFraction = 1.0f, m_visibleTarget = 1.0f;
    int32_t m_sphereIndex = -1;  // this frame's bounding sphere in the scene's test
    uint8_t m_meshFlagsA = 0x41;
    uint8_t m_meshFlagsB = 0;

protected:
    void ScaleChanged() override { UpdateRadius(); }

private:
    IE3DMeshScene* m_meshScene = nullptr;  // the scene render, looked up once
    void ScaleProduct(float s[3]);
    void DestroyLists();
    void DestroyControllers();
    void Animate(int64_t elapsed);
};
