// CE3DNode: base of the engine's resources that are not scene frames
// (shapes, emitter templates). Every node sits in its engine's node list from
// construction to destruction, so the engine can find templates and free
// every resource at shutdown.
#pragma once

#include <cstdint>

class CE3DEngine;
class CE3DScreen;

// Node type codes of engine objects.
enum : uint32_t {
    kE3DNodeScreen = 1,
    kE3DNodeDevice = 2,
    kE3DNodeViewport = 5,
    kE3DNodeMaterial = 13,
    kE3DNodeSurface = 14,
    kE3DNodeTexture = 15,
    kE3DNodeVertexList = 16,
    kE3DNodeShapeBlock = 17,
    kE3DNodePlain = 18,
    kE3DNodeShape = 19,
    kE3DNodeEmitterTemplate = 20,
};

class CE3DNode {
public:
    explicit CE3DNode(CE3DScreen* owner);
    // A node of an engine without a screen (tests, tools).
    explicit CE3DNode(CE3DEngine* engine);
    virtual ~CE3DNode();
    CE3DNode(const CE3DNode&) = delete;
    CE3DNode& operator=(const CE3DNode&) = delete;

    // Emitter templates answer their name and id; other nodes have neither.
    virtual const char* TemplateName() const { return nullptr; }
    virtual uint32_t TemplateId() const { return 0; }

    uint32_t m_nodeType = kE3DNodePlain;
    CE3DScreen* m_owner = nullptr;
    CE3DEngine* m_engine = nullptr;
    CE3DNode* m_prev = nullptr;
    CE3DNode* m_next = nullptr;

private:
    void Link();
};
