// Energy effects between two points, drawn as flat pre-lit quads along the
// frame's z axis: CE3DBeam (frame type 25), a ribbon from its start point to
// its end point that narrows to nothing over a tenth of a second and then
// queues itself for deletion, and CE3DLightning (frame type 24), a jagged
// bolt of quads with random side branches.
//
// The creator gives the material (the game takes it from the visual of its
// effect's template) and optionally the texture frame whose four (u, v)
// pairs the quads' corners take; it sets the two points and calls
// CE3DBeam::Update or CE3DLightning::Build. Or it names two frames with
// SetEnds: the effect then takes its points from where those frames are
// drawn at every render (a bolt is built anew each time), until either
// frame is destroyed.
//
// A beam's points are relative to its parent; a bolt's are world points (it
// does not follow its parent). A bolt's trunk runs from its start point to
// its end point: its sideways drift is pulled back so that the last segment
// ends on the end point. Branches leave the trunk at random and end freely.
#pragma once

#include <cstdint>

#include "core/Random.h"
#include "e3d/Frame.h"

class CE3DMaterial;
class CE3DVertexList;
class IE3DMeshScene;
struct SE3DTexFrame;

// What beams and bolts have in common.
class CE3DEnergyFrame : public CE3DFrame {
public:
    ~CE3DEnergyFrame() override;

    // The effect's points come from the two frames from now on (null for
    // either: the points stay as they are).
    void SetEnds(CE3DFrame* from, CE3DFrame* to);
    CE3DVertexList* VertexList() const { return m_list; }
    // Restarts the effect's random stream.
    void Seed(uint32_t seed) { m_random.Seed(seed); }

    CE3DScreen* m_ownerScreen = nullptr;
    CE3DVertexList* m_list = nullptr;
    float m_start[3] = {0.0f, 0.0f, 0.0f};
    float m_end[3] = {0.0f, 0.0f, 0.0f};
    float m_tex[4][2];  // T1 to T4
    bool m_hasTexture = false;

protected:
    CE3DEnergyFrame(CE3DFrame* parent, CE3DMaterial* material, const SE3DTexFrame* frame, uint32_t type,
                    uint32_t vertices);
    // The frame at the start point, its z axis towards the end point; the
    // length.
    float Place();
    // The points from the end frames when both are there; false otherwise.
    bool PointsFromEnds();
    // Queues the vertex list for the scene render (nothing when hidden).
    void Queue();
    // The world matrix as drawn now, when the points moved the frame.
    void TakeWorldAsDrawn();

    CE3DFrameRef m_from, m_to;
    // The scene render, looked up once: a frame keeps its scene for life (the
    // destructor asks afresh, as the mesh does).
    IE3DMeshScene* m_meshScene = nullptr;
    bool m_hasEnds = false;
    CRandomStream m_random;
};

class CE3DBeam : public CE3DEnergyFrame {
public:
    static constexpr int64_t kDuration = 119318;  // a tenth of a second in timer counts
    static constexpr float kMaxHalfWidth = 0.2f;

    CE3DBeam(CE3DFrame* parent, CE3DMaterial* material, const SE3DTexFrame* frame = nullptr);

    void Render(int* frozenDepth) override;
    // Places the beam, narrows it by the time since it was made (queued for
    // deletion once its time is up) and rebuilds its six vertices.
    void Update();
    using CE3DFrame::Update;

    float m_progress = 0.0f;  // 0 to 1
    int64_t m_startTime = 0;
    int64_t m_duration = kDuration;
    float m_maxHalfWidth = kMaxHalfWidth;
};

class CE3DLightning : public CE3DEnergyFrame {
public:
    static constexpr uint32_t kMaxVertices = 1020;
    static constexpr float kHalfWidth = 0.2f;
    static constexpr float kSegmentsPerUnit = 5.0f;

    CE3DLightning(CE3DFrame* parent, CE3DMaterial* material, const SE3DTexFrame* frame = nullptr);

    void Render(int* frozenDepth) override;
    // Places the bolt and generates its vertices.
    void Build();

private:
    // One stretch of bolt from the along position z0 and sideways position
    // x0, with the vertex budget taken as it goes.
    void Generate(float z0, float x0, float halfWidth, float length, float drift, bool branching,
                  uint32_t* budget);
    void Quad(float z0, float x0, float z1, float x1, float halfWidth);
};
