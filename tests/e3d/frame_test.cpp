// The scene tree without a device: transforms, activation, messages, the
// matrix history of the logic tick, deletion and walks that survive it.
#include "e3d/Frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "core/Math.h"
#include "e3d/View.h"

namespace {

constexpr float kHalfPi = 1.5707964f;

// A frame that writes what happens to it into a shared log.
class CProbe : public CE3DFrame {
public:
    CProbe(CE3DFrame* parent, std::string name, std::vector<std::string>* log)
        : CE3DFrame(parent), m_name(std::move(name)), m_log(log) {}
    ~CProbe() override { m_log->push_back("~" + m_name); }
    void Message(int code, void* data) override {
        m_log->push_back(m_name + ":" + std::to_string(code));
        CE3DFrame::Message(code, data);
    }
    void Update(int* depth) override {
        m_log->push_back("U" + m_name);
        if (onUpdate) {
            std::function<void()> run = onUpdate;  // it may delete this frame
            run();
        } else {
            CE3DFrame::Update(depth);
        }
    }
    void Render(int* depth) override {
        m_log->push_back("R" + m_name);
        CE3DFrame::Render(depth);
    }
    std::function<void()> onUpdate;  // replaces the walk of the children when set

private:
    std::string m_name;
    std::vector<std::string>* m_log;
};

void WorldPoint(CE3DFrame* f, float x, float y, float z, float out[3]) {
    f->UpdateMatrixUp();
    const float in[3] = {x, y, z};
    E3D_TransformPoint(f->m_world, in, out);
}

::testing::AssertionResult Near3(const float* p, float x, float y, float z) {
    if (std::fabs(p[0] - x) > 1e-4f || std::fabs(p[1] - y) > 1e-4f || std::fabs(p[2] - z) > 1e-4f)
        return ::testing::AssertionFailure() << "(" << p[0] << ", " << p[1] << ", " << p[2] << "), expected ("
                                             << x << ", " << y << ", " << z << ")";
    return ::testing::AssertionSuccess();
}
#define EXPECT_POINT(p, X, Y, Z) EXPECT_TRUE(Near3((p), (X), (Y), (Z)))

int Count(const std::vector<std::string>& log, const std::string& entry) {
    int n = 0;
    for (const std::string& e : log) n += e == entry;
    return n;
}

TEST(FrameTree, EachAngleTurnsItsAxisAndTheyComposeRollPitchYaw) {
    CE3DFrame root(nullptr);
    CE3DFrame f(&root);
    struct {
        float yaw, pitch, roll;
        float axis[3];   // a local axis
        float image[3];  // where it points in the world
    } cases[] = {
        {kHalfPi, 0, 0, {0, 0, 1}, {1, 0, 0}},  // heading turns +z towards +x
        {kHalfPi, 0, 0, {1, 0, 0}, {0, 0, -1}},      {0, kHalfPi, 0, {0, 1, 0}, {0, 0, 1}},  // pitch about x
        {0, 0, kHalfPi, {1, 0, 0}, {0, 1, 0}},                                               // roll about z
        {kHalfPi, kHalfPi, 0, {0, 1, 0}, {1, 0, 0}},  // pitch first, then yaw
        {kHalfPi, 0, kHalfPi, {1, 0, 0}, {0, 1, 0}},  // roll first, then yaw
    };
    for (const auto& c : cases) {
        f.SetOrientation(c.yaw, c.pitch, c.roll);
        float p[3];
        WorldPoint(&f, c.axis[0], c.axis[1], c.axis[2], p);
        EXPECT_POINT(p, c.image[0], c.image[1], c.image[2]) << c.yaw << " " << c.pitch << " " << c.roll;
    }
}

TEST(FrameTree, ChildrenComposeTheirParentsTransforms) {
    CE3DFrame root(nullptr);
    CE3DFrame parent(&root);
    CE3DFrame* child = new CE3DFrame(&parent);  // owned by the parent
    parent.SetPosition(10, 0, 0);
    parent.SetOrientation(kHalfPi, 0, 0);
    child->SetPosition(0, 0, 2);
    child->SetScale(2, 2, 2);
    float p[3];
    child->GetPosition(&p[0], &p[1], &p[2]);
    EXPECT_POINT(p, 12, 0, 0);
    WorldPoint(child, 0, 0, 1, p);  // scaled by the child, turned by the parent
    EXPECT_POINT(p, 14, 0, 0);
    child->GetPosition(&p[0], &p[1], &p[2], &parent);
    EXPECT_POINT(p, 2, 0, 0);
    // Placing relative to another frame's world position.
    CE3DFrame other(&root);
    other.SetPosition(1, 1, 1, child);
    other.GetPosition(&p[0], &p[1], &p[2]);
    EXPECT_POINT(p, 13, 1, 1);
    // Scale multiplies.
    child->Scale(0.5f, 1, 1);
    EXPECT_FLOAT_EQ(child->m_scale[0], 1.0f);
    EXPECT_EQ(parent.m_childCount, 1u);
}

TEST(FrameTree, AnglesWrapIntoOneTurn) {
    CE3DFrame root(nullptr);
    CE3DFrame f(&root);
    const struct {
        float in, out;
    } cases[] = {
        {-0.5f, kTwoPi - 0.5f}, {kTwoPi, 0.0f}, {7.0f, 7.0f - kTwoPi}, {-kTwoPi, 0.0f}, {1.0f, 1.0f}};
    for (const auto& c : cases) {
        f.SetOrientation(c.in, c.in, c.in);
        EXPECT_NEAR(f.m_yaw, c.out, 1e-5f) << c.in;
        EXPECT_NEAR(f.m_pitch, c.out, 1e-5f) << c.in;
        EXPECT_GE(f.m_roll, 0.0f);
        EXPECT_LT(f.m_roll, kTwoPi);
    }
}

TEST(FrameTree, AlignToTakesTheReferenceOrientation) {
    CE3DFrame root(nullptr);
    CE3DFrame ref(&root), f(&root);
    ref.SetOrientation(0.7f, 0.3f, 0.2f);
    ref.SetScale(3, 3, 3);  // the reference's scale does not count
    f.AlignTo(0, 0, 0, &ref);
    EXPECT_NEAR(f.m_yaw, 0.7f, 2e-3f);
    EXPECT_NEAR(f.m_pitch, 0.3f, 2e-3f);
    EXPECT_NEAR(f.m_roll, 0.2f, 2e-3f);
    f.AlignTo(0.1f, 0, 0, &ref);  // plus the angles given
    EXPECT_NEAR(f.m_yaw, 0.8f, 2e-3f);
    // SetOrientation with a reference turns only the yaw, relative to the parent.
    CE3DFrame turnedParent(&root);
    turnedParent.SetOrientation(0.5f, 0, 0);
    CE3DFrame* g = new CE3DFrame(&turnedParent);
    g->SetOrientation(0.25f, 1.0f, 1.0f, &ref);
    EXPECT_NEAR(g->m_yaw, 0.7f - 0.5f + 0.25f, 2e-3f);
    EXPECT_FLOAT_EQ(g->m_pitch, 0.0f);
}

TEST(FrameTree, ActivationIsCountedAndOnlyForChildrenOfTheRoot) {
    std::vector<std::string> log;
    CE3DFrame root(nullptr);
    CProbe* a = new CProbe(&root, "a", &log);
    CProbe* grandchild = new CProbe(a, "g", &log);
    for (int i = 0; i < 256; ++i) a->Activate();
    EXPECT_EQ(a->m_activeCount, 255);
    EXPECT_EQ(Count(log, "a:3"), 1);
    EXPECT_EQ(Count(log, "g:3"), 1);  // the message passes down the tree
    EXPECT_EQ(root.Scene()->activeHead, a);
    grandchild->Activate();  // not right below the root
    EXPECT_EQ(grandchild->m_activeCount, 0);
    CE3DFrame lone(nullptr);  // a root has no scene: never active
    lone.Activate();
    EXPECT_EQ(lone.m_activeCount, 0);

    a->SetActiveCount(2);
    a->Deactivate();
    EXPECT_EQ(Count(log, "a:4"), 0);
    a->Deactivate();
    a->Deactivate();  // already inactive: nothing
    EXPECT_EQ(Count(log, "a:4"), 1);
    EXPECT_EQ(root.Scene()->activeHead, nullptr);

    // Deleting an active frame leaves the active list consistent.
    CProbe* b = new CProbe(&root, "b", &log);
    a->Activate();
    b->Activate();
    delete b;
    EXPECT_EQ(root.Scene()->activeHead, a);
    EXPECT_EQ(a->m_activePrev, nullptr);
}

TEST(FrameTree, SearchStopsAtTheTarget) {
    std::vector<std::string> log;
    CE3DFrame root(nullptr);
    // Children sit in reverse order of making: c, b, a.
    CProbe* a = new CProbe(&root, "a", &log);
    CProbe* b = new CProbe(&root, "b", &log);
    new CProbe(b, "b1", &log);
    new CProbe(&root, "c", &log);
    SE3DFrameSearch search{0, b};
    root.Message(kFrameMsgSearch, &search);
    EXPECT_EQ(search.found, 1);
    EXPECT_EQ(log, (std::vector<std::string>{"c:5", "b:5"}));
    log.clear();
    root.Message(kFrameMsgSearch, &search);  // already found: at once
    EXPECT_TRUE(log.empty());
    root.Message(kFrameMsgSearch, nullptr);  // no data: nothing
    EXPECT_TRUE(log.empty());
    (void)a;
}

TEST(FrameTree, AParentThatMovesMarksItsChildrenWithoutRebuildingTheirLocalMatrix) {
    CE3DFrame root(nullptr);
    CE3DFrame parent(&root);
    CE3DFrame* child = new CE3DFrame(&parent);
    root.Scene()->StoreTick();  // everything computed and stored
    EXPECT_EQ(root.Scene()->changedHead, nullptr);
    parent.SetPosition(5, 0, 0);
    EXPECT_EQ(child->m_flagsA & kFrameOnChangedList, 0);
    parent.UpdateMatrix();
    EXPECT_NE(child->m_flagsA & kFrameOnChangedList, 0);
    EXPECT_NE(child->m_flagsB & kFrameWorldStale, 0);
    EXPECT_EQ(child->m_flagsB & kFrameLocalStale, 0);
    float p[3];
    child->GetPosition(&p[0], &p[1], &p[2]);
    EXPECT_POINT(p, 5, 0, 0);
}

TEST(FrameTree, TheHistorySettlesAfterFiveQuietTicksAndTheRenderBlendsTwoTicks) {
    CE3DFrame root(nullptr);
    CE3DFrame f(&root);
    SE3DScene* scene = root.Scene();
    f.SetPosition(0, 0, 0);
    scene->StoreTick();
    f.SetPosition(10, 0, 0);
    scene->StoreTick();
    EXPECT_NE(f.m_flagsB & kFrameOnMovedList, 0);
    // The render halfway through the second tick's period.
    f.m_flagsA &= uint8_t(~kFrameNotUpdated);
    scene->SetRenderFraction(0.5f);
    int depth = 0;
    root.UpdateRenderMatrix(&depth);
    EXPECT_FLOAT_EQ(f.m_render.m[3][0], 5.0f);
    EXPECT_FLOAT_EQ(f.m_render.m[3][3], 1.0f);
    // A frozen frame keeps its render matrix.
    f.m_flagsA |= kFrameFrozen;
    scene->SetRenderFraction(1.0f);
    root.UpdateRenderMatrix(&depth);
    EXPECT_FLOAT_EQ(f.m_render.m[3][0], 5.0f);
    EXPECT_EQ(depth, 0);
    f.m_flagsA &= uint8_t(~kFrameFrozen);

    for (int tick = 0; tick < 5; ++tick) {
        scene->StoreTick();
        scene->SetRenderFraction(1.0f);  // a render between ticks, as the game has
    }
    EXPECT_EQ(f.m_flagsB & kFrameOnMovedList, 0);
    EXPECT_EQ(scene->movedHead, nullptr);
    for (const E3DMatrix43& h : f.m_history) EXPECT_FLOAT_EQ(h[3][0], 10.0f);
}

TEST(FrameTree, AFrameMadeAfterTheLastTickIsDrawnWhereItIs) {
    CE3DFrame root(nullptr);
    CE3DFrame parent(&root);
    parent.SetPosition(1, 0, 0);
    root.Scene()->StoreTick();
    root.Scene()->StoreTick();
    root.Scene()->SetRenderFraction(0.5f);
    CE3DFrame* late = new CE3DFrame(&parent);
    late->SetPosition(0, 0, 4);
    int depth = 0;
    root.UpdateRenderMatrix(&depth);
    EXPECT_FLOAT_EQ(late->m_render.m[3][0], 1.0f);
    EXPECT_FLOAT_EQ(late->m_render.m[3][2], 4.0f);
}

TEST(FrameTree, QueuedFramesAreLeftOutAndDestroyedByTheTick) {
    std::vector<std::string> log;
    CE3DFrame root(nullptr);
    CProbe* a = new CProbe(&root, "a", &log);
    CProbe* b = new CProbe(&root, "b", &log);
    new CProbe(b, "b1", &log);
    root.Update(nullptr);
    root.Update(nullptr);  // the children's children are updated from the second walk on
    root.Render(nullptr);
    EXPECT_EQ(Count(log, "Rb1"), 1);
    b->AddToUpdateList();
    b->QueueForDeletion();  // once only
    EXPECT_EQ(root.Scene()->deletionHead, b);
    EXPECT_EQ(b->m_deletionNext, nullptr);
    log.clear();
    root.Update(nullptr);
    root.Render(nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"Ua", "Ra"}));
    log.clear();
    root.Scene()->DestroyQueued();
    EXPECT_EQ(log, (std::vector<std::string>{"~b", "~b1"}));
    EXPECT_EQ(root.m_firstChild, a);
    EXPECT_EQ(root.m_childCount, 1u);
    // A root has no scene to queue on.
    CE3DFrame lone(nullptr);
    lone.QueueForDeletion();
    EXPECT_EQ(lone.m_flagsA & kFrameQueued, 0);
}

TEST(FrameTree, DeletingFramesDuringAWalkIsSafe) {
    std::vector<std::string> log;
    CE3DFrame root(nullptr);
    CProbe* other = new CProbe(&root, "other", &log);
    CProbe* parent = new CProbe(&root, "p", &log);
    CProbe* a = new CProbe(parent, "a", &log);
    CProbe* b = new CProbe(parent, "b", &log);
    CProbe* c = new CProbe(parent, "c", &log);  // walked first: c, b, a
    parent->Activate();
    other->Activate();
    root.Update(nullptr);
    // c deletes its next sibling; a deletes its own parent (and so itself)
    // in the middle of the parent's walk; the root's walk goes on to "other".
    c->onUpdate = [&] { delete b; };
    a->onUpdate = [&] { delete parent; };
    log.clear();
    root.Update(nullptr);
    EXPECT_EQ(log, (std::vector<std::string>{"Up", "Uc", "~b", "Ua", "~p", "~c", "~a", "Uother"}));
    EXPECT_EQ(root.m_firstChild, other);
    EXPECT_EQ(root.Scene()->activeHead, other);
    // The active list too: walking it while one of its frames goes.
    CProbe* d = new CProbe(&root, "d", &log);
    d->Activate();
    log.clear();
    for (SE3DFrameWalk w(root.Scene()->activeHead, SE3DFrameWalk::kActive); CE3DFrame* f = w.Next();)
        if (f == d) delete other;
    EXPECT_EQ(log, (std::vector<std::string>{"~other"}));
    EXPECT_EQ(root.Scene()->activeHead, d);
}

TEST(FrameTree, AFrameIsNeverItsOwnAncestor) {
    CE3DFrame root(nullptr), otherRoot(nullptr);
    CE3DFrame a(&root), b(&root);
    CE3DFrame* a1 = new CE3DFrame(&a);
    CE3DFrame* a11 = new CE3DFrame(a1);
    CE3DFrame stranger(&otherRoot);
    EXPECT_FALSE(a.SetParent(&a));
    EXPECT_FALSE(a.SetParent(a11));
    EXPECT_FALSE(a.SetParent(nullptr));
    EXPECT_FALSE(a.SetParent(&stranger));
    EXPECT_FALSE(root.SetParent(&a));
    EXPECT_EQ(a1->m_parent, &a);
    // A real move: the subtree follows its new parent.
    b.SetPosition(0, 7, 0);
    a.Activate();
    ASSERT_TRUE(a.SetParent(&b));
    EXPECT_EQ(a.m_activeCount, 0);  // no longer right below the root
    EXPECT_EQ(root.m_firstChild, &b);
    EXPECT_EQ(b.m_firstChild, &a);
    float p[3];
    a11->GetPosition(&p[0], &p[1], &p[2]);
    EXPECT_POINT(p, 0, 7, 0);
    ASSERT_TRUE(a.SetParent(&root));  // back again before the frames go out of scope
}

TEST(FrameTree, DestroyingAFrameDestroysItsSubtreeAndChildrenOfAType) {
    std::vector<std::string> log;
    CE3DFrame root(nullptr);
    CProbe* p = new CProbe(&root, "p", &log);
    CProbe* light = new CProbe(p, "light", &log);
    light->m_type = kE3DFrameLight;
    new CProbe(light, "under", &log);
    new CProbe(p, "mesh", &log);
    p->DeleteChildrenOfType(kE3DFrameLight);
    EXPECT_EQ(log, (std::vector<std::string>{"~light", "~under"}));
    EXPECT_EQ(p->m_childCount, 1u);
    log.clear();
    delete p;
    EXPECT_EQ(log, (std::vector<std::string>{"~p", "~mesh"}));
    EXPECT_EQ(root.m_firstChild, nullptr);
}

TEST(FrameTree, AFacingFrameTurnsToTheEyeOfTheScenesView) {
    CE3DFrame root(nullptr);
    CE3DFrame* holder = new CE3DFrame(&root);
    holder->SetPosition(0, 0, 10);
    CE3DFrame* sprite = new CE3DFrame(holder);
    sprite->m_flagsA |= kFrameFacing;
    sprite->SetPosition(3, 0, 0);
    sprite->SetScale(2, 2, 2);
    CE3DView view;
    view.LookAt(D3DVECTOR{3, 0, 0}, D3DVECTOR{3, 0, 10}, 0.0f);
    root.Scene()->facingView = &view;
    sprite->UpdateMatrixUp();
    sprite->UpdateMatrix();
    // Row z points back at the eye, scaled; the translation is where the
    // parent puts the frame.
    EXPECT_POINT(sprite->m_world[2], 0, 0, -2);
    EXPECT_POINT(sprite->m_world[1], 0, 2, 0);
    EXPECT_POINT(sprite->m_world[3], 3, 0, 10);
    // Without a view it simply sits at its place.
    root.Scene()->facingView = nullptr;
    sprite->UpdateMatrix();
    EXPECT_POINT(sprite->m_world[2], 0, 0, 2);
    EXPECT_POINT(sprite->m_world[3], 3, 0, 10);
}

}  // namespace
