// The game's scene node: the engine mesh from which every placed game object
// derives (frame type 257). It knows the template node it shows, its world
// (the game scene), its root object and the map values that the map editor
// gives each placed object.
#pragma once

#include <cstdint>

#include "e3d/Mesh.h"

class CGameScene;
class CUnitVisual;
class CTessarakObject;
class CE3DLight;

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
};
