// The game's scene node: the engine mesh from which every placed game object
// derives (frame type 257). It knows the template node it shows, its world
// (the game scene), its root object and the map values that the map editor
// gives each placed object.
#pragma once

#include <cstdint>

#include "e3d/Mesh.h"

class CGameScene;
class CWorld;
class CWorldGrid;
class CExplosionManager;
class CPhysicsEngine;
class CUnitVisual;
class CTessarakObject;
class CE3DLight;
class CE3DMaterial;

enum : uint32_t {
    kFrameGameNode = 257,
    kFrameUnitVisual = 312,
};

class CGameNode : public CE3DMesh {
public:
    // A mesh under parent showing the visual's shape. The root object: for a
    // child part (attachment 0) under another game node, that node's root,
    // or the node itself when it has none; null otherwise.
    CGameNode(CGameScene* scene, CUnitVisual* visual, CE3DFrame* parent, uint8_t attachment);
    ~CGameNode() override;

    // A frame is a game object when it is a game node with class bit 0.
    static CTessarakObject* AsObject(CE3DFrame* frame);
    // The name of the template node it shows.
    const char* MeshName() const override;
    // Message 1025 binds every vertex list to the screen's material of its id
    // pair (the default material when there is none); message 1026 (data: an
    // SGameNodeBinding) answers whether a list is bound to a material. Every
    // message then goes to the mesh.
    void Message(int code, void* data) override;
    // A fading light dims from its base colour to black over the fade, then
    // the mesh's update.
    void Update(int* frozenDepth) override;
    // Starts the light's fade over duration (engine-timer counts).
    void FadeLight(int64_t duration);

    // The world of the node's scene and its parts; null for a node outside
    // every scene.
    CWorld* World() const;
    CWorldGrid* WorldGrid() const;
    CExplosionManager* Explosions() const;
    CPhysicsEngine* Physics() const;

    uint32_t m_classMask = 0;
    CGameScene* m_gameScene;
    CUnitVisual* m_visual;
    CTessarakObject* m_rootObject = nullptr;
    CE3DLight* m_light = nullptr;
    uint8_t m_attachment;  // 1: a world object; 0: a part of another object
    // What the map editor gives a placed object: its map id (kept in the
    // object records as the node's word), its layer (kept in the sync image
    // as the object's further word), and the heading and scale increments it
    // was created with.
    int32_t m_mapId = 0;
    uint32_t m_layer = 0;
    float m_headingIncrement = 0.0f;
    float m_scaleIncrement = 0.0f;
    // The team (owner id) the map gives it, kept while no player of that id
    // plays (a map for four edited in a game of two): the export writes it.
    uint8_t m_mapTeam = 0;
    // The light's fade: its colour before, the start and length (engine-timer
    // counts).
    uint8_t m_lightFading = 0;
    float m_lightBase[3] = {1.0f, 1.0f, 1.0f};
    int64_t m_fadeStart = 0;
    int64_t m_fadeDuration = 0;
};

// The data of message 1026.
struct SGameNodeBinding {
    const CE3DMaterial* material;
    int32_t bound;  // set to 1 when a vertex list of the node uses the material
};

enum : int { kMsgBindMaterials = 1025, kMsgIsBoundTo = 1026 };
