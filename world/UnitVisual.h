// A node of a content project's object tree (frame type 312): an engine mesh
// that carries a template's name, its id pair, its shape, an optional light,
// its configuration section and its child nodes (turrets, fire points,
// parts). Every object template derives from it. Content is identified by
// the pair of a 16-bit project id and a 32-bit node id.
//
// Node record (little-endian; a string is a u16 length and its characters;
// the writer is tools/lib/PackedProjectWriter):
//   1 byte (not used); u16 project id; u32 node id; u8 node flags (0x01
//   override, 0x02 reference); 1 byte (not used); string name (at most 255
//   characters); position, angles (radians), scale (3 floats each); u32 node
//   value; three u8 frame flags (hidden 0x20, children hidden 0x40, facing the
//   viewer 0x02); the shape record (e3d/Shape.h); u8 light flag and, when
//   set, the light record (e3d/LightRecord.h); u8 tree flag (must be 0); the
//   configuration section: a property list in its stored form (u32 count; per
//   entry a name and a value string, core/PropertyList.h); u32 child count
//   and per child a class key string and its node record.
//
// Id pairs across projects: a top-level template with the pair of an older
// top-level one supersedes it (the older one leaves the scene's template
// list until the newer one goes). A node with the reference flag first takes
// copies of the child nodes of the node it refers to (its parent's reference
// target's child with its pair; for a top-level node the superseded one), and
// a child with the override or the reference flag replaces its parent's
// child of the same pair. So a later project can reuse an earlier project's
// sub-trees and change parts of them.
#pragma once

#include <cstdint>

#include "core/PropertyList.h"
#include "core/StrBuf.h"
#include "world/GameNode.h"

class CGameScene;
class CWorld;
class CExplosionManager;
class CProject;
class CE3DShape;
class CE3DLight;
struct SPackedRead;

// The message a superseded template gets: data 0 when a newer one takes its
// place, 1 when that one goes again.
constexpr int kMsgSuperseded = 1443;

class CUnitVisual : public CE3DMesh {
public:
    enum : uint8_t { kOverride = 0x01, kReference = 0x02, kSuperseded = 0x04 };

    // A node under parent with an empty shape of its own (on the project's
    // screen). A top-level node stands directly in a project and joins its
    // template list; a child node takes its root (the parent's root, or the
    // parent itself when that is top-level) and the root's project.
    CUnitVisual(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project);
    ~CUnitVisual() override;

    // Message 1443 (kMsgSuperseded): off the scene's template list (0) or on
    // it again (1); every message then goes to the mesh.
    void Message(int code, void* data) override;

    // The node record at the file's position, its children with it when
    // asked. False when the record is refused (the reader says why).
    bool Read(SPackedRead& r, bool withChildren);
    // Takes the other node's configuration, name, transform, id pair, shape
    // and light, and copies of its child nodes (each of its class). True.
    virtual bool CopyFrom(const CUnitVisual& other);

    // The direct child node with that id pair, or null.
    CUnitVisual* FindChildById(uint16_t projectId, uint32_t nodeId) const;
    // The child of this node, other than node, with node's id pair.
    CUnitVisual* FindSiblingById(const CUnitVisual* node) const;
    // The first direct child node whose class mask has bit 1 and whose name
    // is name (at most 256 characters compared).
    CUnitVisual* FindChildByName(const char* name) const;
    // The same without regard to case (the special nodes of the settings).
    CUnitVisual* FindChildByNameNoCase(const char* name) const;
    const char* MeshName() const override { return m_name.GetText(); }
    // The frame's next node child after child (null: the first), in child order.
    CUnitVisual* NextChildNode(CUnitVisual* child) const;

    CProject* m_project;
    uint8_t m_visualFlags = 0;
    CUnitVisual* m_referenceTarget = nullptr;
    uint8_t m_unmatched = 0;
    uint32_t m_classMask = 0;  // ORed in by the template classes
    CGameScene* m_gameScene;
    // The world of the scene the template belongs to, and its explosion
    // manager; null outside a scene.
    CWorld* World() const;
    CExplosionManager* Explosions() const;
    uint8_t m_topLevel;
    CUnitVisual* m_root = nullptr;
    CPropertyList m_config;  // the configuration section
    CStrBuf m_name;
    uint16_t m_projectId = 0;
    uint32_t m_nodeId = 0;
    uint32_t m_nodeValue = 0;
    CE3DShape* m_ownShape = nullptr;  // the mesh's shape, owned
    CE3DLight* m_light = nullptr;     // a child light, or null
    // The project's list of its top-level templates, and its place in the
    // owner's index by id pair.
    CUnitVisual* m_projectNext = nullptr;
    CUnitVisual* m_projectPrev = nullptr;
    uint64_t m_indexKey = 0;
    uint8_t m_indexed = 0;

private:
    void LeaveProject();
};

// The copy of a shape: every block with its sets, indices and material pair.
void Shape_CopyFrom(CE3DShape& into, const CE3DShape& from);
