#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// Building an object from its template: the constructor of its class, then
// CreateFromTemplate (look, properties and the child objects of the child
// templates, each of its own class) or Clone (a tree of plain objects). Child
// objects take fresh ids from the scene in child-template order when their
// parent has an id, so every machine gives the same ids to the same parts.
#include "world/GameScene.h"
#include "world/TessarakObject.h"
#include "world/World.h"

namespace {
// A turn drawn from the object's generator, heading, pitch and bank.
void RandomRotation(CRandom& random, CE3DFrame* frame) {
    float heading = random.RandFloat() * kTwoPi;
    float pitch = random.RandFloat() * kTwoPi;
    float bank = random.RandFloat() * kTwoPi;
    frame->SetOrientation(heading, pitch, bank);
}

}  // namespace

// The template node's gathered bounds become the object's, then its radius
// follows its scale.
void CTessarakObject::CopyBounds(const CTessarakObjectTemplate* tmpl) {
    for (int i = 0; i < 3; ++i) {
        m_maxCorner[i] = tmpl->m_maxCorner[i];
        m_minCorner[i] = tmpl->m_minCorner[i];
        m_absExtents[i] = tmpl->m_absExtents[i];
        m_subtreeExtents[i] = tmpl->m_subtreeExtents[i];
    }
    m_subtreeRadius = tmpl->m_subtreeRadius;
    m_subtreeRadiusH = tmpl->m_subtreeRadiusH;
    UpdateRadius();
}

namespace {
void ReportUnknownClass(const CTessarakObjectTemplate* tmpl) {
    if (CWorld* world = tmpl->World())
        world->Console().Printf("Class not found: template '%s' of class 0x%x is left out",
                                tmpl->m_name.GetText(), static_cast<unsigned>(tmpl->m_classMask));
}
}  // namespace

bool CTessarakObject::CreateFromTemplate(CTessarakObjectTemplate* tmpl) {
    if (!tmpl) return false;
    CGameScene* scene = m_gameScene;
    m_template = tmpl;
    for (CTessarakObjectTemplate* c = tmpl->NextChildTemplate(nullptr); c; c = tmpl->NextChildTemplate(c)) {
        uint32_t mask = c->m_classMask & ~kClassTemplate;
        if (!ClassMask_IsKnown(mask)) {
            // The project loader refuses such a tree; a template made since is
            // left out of the object rather than ending the game.
            ReportUnknownClass(c);
            continue;
        }
        int32_t id = m_objectId != -1 ? scene->m_idTable.NewId() : -1;
        CTessarakObject* child =
            scene->NewObjectOfClass(mask, c, c->m_position, this, c->m_topLevel, m_owner, id);
        child->CreateFromTemplate(c);
    }
    SortChildren();
    SetOrientation(tmpl->m_yaw, tmpl->m_pitch, tmpl->m_roll);
    SetScale(tmpl->m_scale[0], tmpl->m_scale[1], tmpl->m_scale[2]);
    UpdateRadius();
    bool moving = false;
    for (int i = 0; i < 3; ++i) {
        m_autoRotation[i] = tmpl->m_autoRotation[i];
        m_autoScaleSpeed[i] = tmpl->m_autoScaleSpeed[i];
        moving = moving || m_autoRotation[i] != 0.0f || m_autoScaleSpeed[i] != 0.0f;
    }
    if (moving) {
        Activate();
        m_stateB |= kB_AutoRotate;
    }
    for (int i = 0; i < 3; ++i) m_velocity[i] = tmpl->m_initialVelocity[i];
    m_resourceAmount = tmpl->m_resourceAmount;
    m_resourceType = static_cast<uint8_t>(tmpl->m_resourceType);
    m_resourceLayers = static_cast<uint8_t>(tmpl->m_resourceLayers);
    m_flagsA = static_cast<uint8_t>((m_flagsA & ~kFrameFacing) | (tmpl->m_flagsA & kFrameFacing));
    ResetMatrixHistory();
    m_power = m_maxPower = tmpl->m_power;
    if (tmpl->m_hasResource)
        for (CTessarakObject* c = FirstChildObject(); c; c = c->NextSiblingObject())
            RandomRotation(m_random, c);
    m_stateB = static_cast<uint8_t>(
        (m_stateB & ~(kB_AutoScale | kB_Homing | kB_AutoRotate)) | (tmpl->m_autoScale ? kB_AutoScale : 0) |
        (tmpl->m_homing ? kB_Homing : 0) | (tmpl->m_autoRotate ? kB_AutoRotate : 0));
    m_homingStrength = tmpl->m_homingStrength;
    m_clippingOff = tmpl->m_clippingOff;
    if (tmpl->m_unaffectedByPhysics)
        m_stateA |= kA_NoPhysics;
    else
        m_stateA &= ~kA_NoPhysics;
    CopyBounds(tmpl);
    if (tmpl->m_updateAlways) Activate();
    if (tmpl->m_randomRotation) RandomRotation(m_random, this);
    if (tmpl->m_hasForceRadius) m_boundingRadius = tmpl->m_forceRadius;
    // A template of limited life (a muzzle flash, a spark where a shot
    // hit): the object destroys itself when its life, drawn from its own
    // generator between the minimum and the minimum plus the random limit,
    // has run out on the active list.
    if (tmpl->m_autoDestructionRandomLimit > 0.0f)
        m_lifeTimer = tmpl->m_autoDestructionMin + m_random.RandFloat() * tmpl->m_autoDestructionRandomLimit;
    return true;
}

bool CTessarakObject::Clone(CTessarakObjectTemplate* tmpl) {
    if (!tmpl) return false;
    CGameScene* scene = m_gameScene;
    for (CTessarakObjectTemplate* c = tmpl->NextChildTemplate(nullptr); c; c = tmpl->NextChildTemplate(c)) {
        int32_t id = m_objectId != -1 ? scene->m_idTable.NewId() : -1;
        CTessarakObject* child =
            scene->NewObjectOfClass(kMaskObject, c, c->m_position, this, c->m_topLevel, m_owner, id);
        child->Clone(c);
    }
    SortChildren();
    m_template = tmpl;
    SetOrientation(tmpl->m_yaw, tmpl->m_pitch, tmpl->m_roll);
    SetScale(tmpl->m_scale[0], tmpl->m_scale[1], tmpl->m_scale[2]);
    UpdateRadius();
    CopyBounds(tmpl);
    if (tmpl->m_hasForceRadius) m_boundingRadius = tmpl->m_forceRadius;
    return true;
}
