#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <strings.h>

#include <cstring>
#include <vector>

#include "core/VFSFile.h"
#include "e3d/Light.h"
#include "e3d/RecordReader.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Project.h"
#include "world/UnitVisual.h"
#include "world/World.h"

CUnitVisual::CUnitVisual(CGameScene* scene, CE3DFrame* parent, uint8_t topLevel, CProject* project)
    : CE3DMesh(parent, nullptr), m_project(project), m_gameScene(scene), m_topLevel(topLevel) {
    m_type = kFrameUnitVisual;
    if (!topLevel && parent && parent->m_type == kFrameUnitVisual) {
        CUnitVisual* p = static_cast<CUnitVisual*>(parent);
        m_root = p->m_topLevel ? p : p->m_root;
        if (m_root) m_project = m_root->m_project;
    }
    m_ownShape = new CE3DShape(m_project && m_project->m_owner ? m_project->m_owner->m_screen : nullptr);
    SetShape(m_ownShape);
    if (topLevel && m_project) {
        m_projectNext = m_project->m_templates;
        if (m_projectNext) m_projectNext->m_projectPrev = this;
        m_project->m_templates = this;
        ++m_project->m_templateCount;
    }
}

CUnitVisual::~CUnitVisual() {
    if (m_indexed && m_project && m_project->m_owner)
        m_project->m_owner->m_templateIndex.Remove(m_indexKey, this);
    if (m_topLevel) {
        // The template this one superseded takes its place again.
        if (m_referenceTarget && (m_referenceTarget->m_visualFlags & kSuperseded))
            m_referenceTarget->Message(kMsgSuperseded, reinterpret_cast<void*>(1));
        LeaveProject();
        // Newer templates that superseded this one forget it (only a
        // superseded template is referred to by a newer one).
        if ((m_visualFlags & kSuperseded) && m_project && m_project->m_owner)
            for (CProject* p = m_project->m_owner->m_projects; p; p = p->m_next)
                for (CUnitVisual* t = p->m_templates; t; t = t->m_projectNext)
                    if (t->m_referenceTarget == this) t->m_referenceTarget = nullptr;
    }
    // The children go first: they may share nothing of the shape, but the
    // frame's lists are the mesh's.
    while (m_firstChild) delete m_firstChild;
    m_light = nullptr;
    delete m_ownShape;
    m_ownShape = nullptr;
}

void CUnitVisual::LeaveProject() {
    if (!m_project || !m_topLevel) return;
    if (m_projectPrev)
        m_projectPrev->m_projectNext = m_projectNext;
    else if (m_project->m_templates == this)
        m_project->m_templates = m_projectNext;
    else
        return;  // not in the list
    if (m_projectNext) m_projectNext->m_projectPrev = m_projectPrev;
    m_projectNext = m_projectPrev = nullptr;
    --m_project->m_templateCount;
}

void CUnitVisual::Message(int code, void* data) {
    if (code == kMsgSuperseded) {
        // Superseded: off the scene's lists; back on when the newer one goes.
        if (data) {
            m_visualFlags &= ~kSuperseded;
            Message(14, this);
        } else {
            m_visualFlags |= kSuperseded;
            Message(14, nullptr);
        }
        return;
    }
    CE3DMesh::Message(code, data);
}

CUnitVisual* CUnitVisual::NextChildNode(CUnitVisual* child) const {
    for (CE3DFrame* f = child ? child->m_siblingNext : m_firstChild; f; f = f->m_siblingNext)
        if (f->m_type == kFrameUnitVisual) return static_cast<CUnitVisual*>(f);
    return nullptr;
}

CUnitVisual* CUnitVisual::FindChildById(uint16_t projectId, uint32_t nodeId) const {
    for (CUnitVisual* c = NextChildNode(nullptr); c; c = NextChildNode(c))
        if (c->m_projectId == projectId && c->m_nodeId == nodeId) return c;
    return nullptr;
}

CUnitVisual* CUnitVisual::FindSiblingById(const CUnitVisual* node) const {
    for (CUnitVisual* c = NextChildNode(nullptr); c; c = NextChildNode(c))
        if (c != node && c->m_projectId == node->m_projectId && c->m_nodeId == node->m_nodeId) return c;
    return nullptr;
}

CUnitVisual* CUnitVisual::FindChildByName(const char* name) const {
    for (CUnitVisual* c = NextChildNode(nullptr); c; c = NextChildNode(c))
        if ((c->m_classMask & 1) && std::strncmp(c->m_name.GetText(), name, 256) == 0) return c;
    return nullptr;
}

CUnitVisual* CUnitVisual::FindChildByNameNoCase(const char* name) const {
    for (CUnitVisual* c = NextChildNode(nullptr); c; c = NextChildNode(c))
        if ((c->m_classMask & 1) && strncasecmp(c->m_name.GetText(), name, 256) == 0) return c;
    return nullptr;
}

// ---------------------------------------------------------------------------
// Copies

void Shape_CopyFrom(CE3DShape& into, const CE3DShape& from) {
    into.ClearBlocks();
    std::memcpy(into.m_transform, from.m_transform, sizeof into.m_transform);
    std::memcpy(into.m_displayFlags, from.m_displayFlags, sizeof into.m_displayFlags);
    into.m_animated = from.m_animated;
    into.m_duration = from.m_duration;
    into.m_endMode = from.m_endMode;
    // Blocks join the head of the list: add them in reverse to keep the order.
    std::vector<const CE3DShapeBlock*> blocks;
    for (const CE3DShapeBlock* b = from.m_blocks; b; b = b->m_next) blocks.push_back(b);
    for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
        const CE3DShapeBlock& s = **it;
        CE3DShapeBlock* b = new CE3DShapeBlock(&into);
        b->m_materialProject = s.m_materialProject;
        b->m_materialId = s.m_materialId;
        b->m_material = s.m_material;
        b->m_name = s.m_name;
        b->m_carriedWord = s.m_carriedWord;
        std::memcpy(b->m_carriedVec, s.m_carriedVec, sizeof b->m_carriedVec);
        std::memcpy(b->m_carriedPair, s.m_carriedPair, sizeof b->m_carriedPair);
        b->m_byteChannels = s.m_byteChannels;
        b->m_positions = s.m_positions;
        b->m_positionNames = s.m_positionNames;
        b->m_colors = s.m_colors;
        b->m_texCoords = s.m_texCoords;
        b->m_anim = s.m_anim;
        b->m_vertexCount = s.m_vertexCount;
        b->m_indices = s.m_indices;
        b->m_faceCount = s.m_faceCount;
        b->m_perFace = s.m_perFace;
        b->AllocBuffers(s.m_flags);
        std::memcpy(b->m_centre, s.Centre(), sizeof b->m_centre);
        b->m_radius = s.Radius();
    }
    into.PrepareBlocks();
    into.ComputeBounds();
}

namespace {

// A template of the class of the mask; a mask of none of the four classes
// makes a plain object template, with a warning.
CUnitVisual* NewTemplateOfMask(const CUnitVisual& child, CGameScene* scene, CE3DFrame* parent) {
    static const struct {
        uint32_t mask;
        const char* key;
    } kClasses[] = {{0x80000001u, "CBaseClass"},
                    {0x80000003u, "CGridMember"},
                    {0x80000007u, "CUnit"},
                    {0x80000011u, "CUnitWeapon"}};
    for (const auto& c : kClasses)
        if (child.m_classMask == c.mask) return Project_NewTemplate(c.key, scene, parent, 0, nullptr);
    if (scene) {
        const CUnitVisual* root = child.m_root ? child.m_root : &child;
        CStrBuf line;
        line.Format(
            "Warning forcing unit to CTessarakObject ( Class name error ) : This child [ %s ] : Mother name "
            "[ %s ].",
            child.m_name.GetText(), root->m_name.GetText());
        scene->World().Console().PrintColor(255, 0, 0, false, line.GetText());
    }
    return Project_NewTemplate("CBaseClass", scene, parent, 0, nullptr);
}

// Copies the node children of from under into, in child order.
void CopyChildren(CUnitVisual& into, const CUnitVisual& from) {
    for (CUnitVisual* c = from.NextChildNode(nullptr); c; c = from.NextChildNode(c)) {
        CUnitVisual* copy = NewTemplateOfMask(*c, into.m_gameScene, &into);
        copy->CopyFrom(*c);
    }
}

// The configuration in the same order as the other's (so that look-ups and
// walks in stored order find the same entries).
void CopyConfig(CPropertyList& into, const CPropertyList& from) {
    into.Clear();
    CProperty* last = from.GetFirst();
    while (last && last->GetNext()) last = last->GetNext();
    for (CProperty* p = last; p; p = p->GetPrev()) into.Add(p->GetName(), p->GetValueText());
}

}  // namespace

bool CUnitVisual::CopyFrom(const CUnitVisual& other) {
    CopyConfig(m_config, other.m_config);
    m_name = other.m_name;
    SetPosition(other.m_position[0], other.m_position[1], other.m_position[2]);
    SetOrientation(other.m_yaw, other.m_pitch, other.m_roll);
    SetScale(other.m_scale[0], other.m_scale[1], other.m_scale[2]);
    m_flagsA = uint8_t((m_flagsA & ~(kFrameHidden | kFrameSubtreeHidden | kFrameFacing)) |
                       (other.m_flagsA & (kFrameHidden | kFrameSubtreeHidden | kFrameFacing)));
    Invalidate();
    m_projectId = other.m_projectId;
    m_nodeId = other.m_nodeId;
    m_nodeValue = other.m_nodeValue;
    if (other.m_light) {
        m_light = new CE3DLight(this);
        m_light->CopyFrom(*other.m_light);
    }
    if (other.m_ownShape) Shape_CopyFrom(*m_ownShape, *other.m_ownShape);
    CopyChildren(*this, other);
    SetShape(m_ownShape);
    return true;
}

// ---------------------------------------------------------------------------
// Reading

bool CUnitVisual::Read(SPackedRead& r, bool withChildren) {
    while (m_firstChild) delete m_firstChild;
    m_light = nullptr;
    if (r.version < kContentFirstVersion) {
        if (CWorld* world = World()) world->Console().Print("Unsupported fileformat");
        return r.Fail("unsupported version");
    }
    CVFSFile& file = *r.file;
    {
        CE3DRecordReader in(file);
        in.Skip(1);
        m_projectId = in.U16();
        m_nodeId = in.U32();
        m_visualFlags = uint8_t(in.U8() & (kOverride | kReference));
        in.Skip(1);
        if (!in.Ok()) return r.Fail("a node record is cut short");
    }

    m_referenceTarget = nullptr;
    CUnitVisual* parent =
        m_parent && m_parent->m_type == kFrameUnitVisual ? static_cast<CUnitVisual*>(m_parent) : nullptr;
    if (m_topLevel) {
        CProjectList* owner = m_project ? m_project->m_owner : nullptr;
        if (CUnitVisual* older = owner ? owner->FindTemplateById(this, m_projectId, m_nodeId) : nullptr) {
            m_referenceTarget = older;
            older->Message(kMsgSuperseded, nullptr);
        }
        if (owner) {
            if (m_indexed) owner->m_templateIndex.Remove(m_indexKey, this);
            m_indexKey = CIdPairIndex::Key(m_projectId, m_nodeId);
            owner->m_templateIndex.Add(m_indexKey, this);
            m_indexed = 1;
        }
    } else if ((m_visualFlags & kReference) && parent && parent->m_referenceTarget) {
        m_referenceTarget = parent->m_referenceTarget->FindChildById(m_projectId, m_nodeId);
    }
    if ((m_visualFlags & kReference) && m_referenceTarget) CopyChildren(*this, *m_referenceTarget);
    if (!m_topLevel && (m_visualFlags & (kOverride | kReference)) && parent) {
        if (CUnitVisual* sibling = parent->FindSiblingById(this))
            delete sibling;
        else
            m_unmatched = 1;
    }

    {
        CE3DRecordReader in(file);
        CStrBuf name;
        if (!in.String(name, kContentMaxName))
            return r.Fail("a node name is cut short or longer than 255 characters");
        float v[9];
        in.Floats(v, 9);
        m_nodeValue = in.U32();
        uint8_t flags[3];
        in.Bytes(flags, 3);
        if (!in.Ok()) return r.Fail("a node record is cut short");
        m_name = name;
        SetPosition(v[0], v[1], v[2]);
        SetOrientation(v[3], v[4], v[5]);
        SetScale(v[6], v[7], v[8]);
        const uint8_t bits[3] = {kFrameHidden, kFrameSubtreeHidden, kFrameFacing};
        for (int i = 0; i < 3; ++i) {
            if (flags[i])
                m_flagsA |= bits[i];
            else
                m_flagsA &= uint8_t(~bits[i]);
        }
    }
    if (!m_ownShape->Load(file, r.version))
        return r.Fail("the shape of " + std::string(m_name.GetText()) + " is damaged");
    m_ownShape->PrepareBlocks();
    SetShape(m_ownShape);
    UpdateVertexLists();
    m_ownShape->ComputeBounds();
    GatherOwnBounds();

    uint8_t light = 0, tree = 0;
    if (!file.ReadU8(light)) return r.Fail("a node record is cut short");
    if (light) {
        m_light = new CE3DLight(this);
        if (!m_light->Load(file, r.version))
            return r.Fail("the light of " + std::string(m_name.GetText()) + " is damaged");
    }
    if (!file.ReadU8(tree)) return r.Fail("a node record is cut short");
    if (tree) {
        if (CWorld* world = World()) world->Console().Print("Tessarak does not support BSP Trees");
        return r.Fail("a node holds a BSP tree");
    }
    m_config.Clear();
    if (!m_config.Load(file, r.version))
        return r.Fail("the settings of " + std::string(m_name.GetText()) + " are damaged");

    uint32_t children = 0;
    if (!file.ReadU32(children)) return r.Fail("a node record is cut short");
    // A child takes at least its class key and the fixed part of its record.
    if (!r.CountFits(children, 64)) return r.Fail("a child count is larger than the file");
    if (children && r.depth >= kContentMaxNodeDepth) return r.Fail("templates nest too deep");
    for (uint32_t i = 0; i < children; ++i) {
        CStrBuf key;
        {
            CE3DRecordReader in(file);
            if (!in.String(key, kContentMaxName)) return r.Fail("a class key is cut short");
        }
        CUnitVisual* child = Project_NewTemplate(key.GetText(), m_gameScene, this, 0, nullptr);
        if (!child) {
            if (CWorld* world = World()) world->Console().Printf("Class not found: %s", key.GetText());
            return r.Fail("unknown class " + std::string(key.GetText()));
        }
        if (withChildren) {
            ++r.depth;
            const bool ok = child->Read(r, true);
            --r.depth;
            if (!ok) return false;
        }
    }
    return true;
}

CWorld* CUnitVisual::World() const {
    return m_gameScene ? &m_gameScene->World() : nullptr;
}

CExplosionManager* CUnitVisual::Explosions() const {
    return m_gameScene ? &m_gameScene->World().Explosions() : nullptr;
}
