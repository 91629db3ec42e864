// A node of a content project's object tree (frame type 312): an engine mesh
// that carries a template's name, its id pair, its configuration section and
// its child nodes (turrets, fire points, parts). Every object template
// derives from it. Content is identified by the pair of a 16-bit project id
// and a 32-bit node id.
#pragma once

#include <cstdint>

#include "core/PropertyList.h"
#include "core/StrBuf.h"
#include "world/GameNode.h"

class CGameScene;
class CProject;

class CUnitVisual : public CE3DMesh {
public:
    enum : uint8_t { kOverride = 0x01, kReference = 0x02, kSuperseded = 0x04 };

    // A node under parent. A top-level node stands directly in a project;
    // a child node takes its root (the parent's root, or the parent itself
    // when that is top-level) and the root's project.
    CUnitVisual(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project);
    ~CUnitVisual() override;

    // The direct child node with that id pair, or null.
    CUnitVisual* FindChildById(uint16_t projectId, uint32_t nodeId) const;
    // The first direct child node whose class mask has bit 1 and whose name
    // is name (at most 256 characters compared).
    CUnitVisual* FindChildByName(const char* name) const;
    const char* MeshName() const override { return m_name.GetText(); }
    // The frame's next node child after child (null: the first), in child order.
    CUnitVisual* NextChildNode(CUnitVisual* child) const;

    CProject* m_project;
    uint8_t m_visualFlags = 0;
    CUnitVisual* m_referenceTarget = nullptr;
    uint8_t m_unmatched = 0;
    uint32_t m_classMask = 0;  // ORed in by the template classes
    CGameScene* m_gameScene;
    uint8_t m_topLevel;
    CUnitVisual* m_root = nullptr;
    CPropertyList m_config;  // the configuration section
    CStrBuf m_name;
    uint16_t m_projectId = 0;
    uint32_t m_nodeId = 0;
    uint32_t m_nodeValue = 0;
};
