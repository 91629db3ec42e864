#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
//
// The placement of a map's objects (CGameScene::PlaceObject) and the map
// editor's work on the world (world/MapEditor.h).
#include <cstring>

#include "console/CommandTable.h"
#include "core/LittleEndian.h"
#include "core/Math.h"
#include "core/Random.h"
#include "world/GameMessages.h"
#include "world/MapEditor.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldGrid.h"
#include "world/WorldRoles.h"

namespace {
// The heading plus an increment, kept in [0, 2 pi).
float TurnedHeading(float heading, float increment) {
    float h = Math_Fmod(heading + increment, kTwoPi);
    return h < 0.0f ? h + kTwoPi : h;
}

bool OnHiddenLayer(const CGameScene& scene, uint32_t layer) {
    return layer < CGameScene::kLayers && (scene.m_layerFlags[layer] & 1);
}

void StoreF32(uint8_t* at, float v) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    LE_StoreU32(at, bits);
}
}  // namespace

void CGameScene::PlaceObject(CTessarakObject* o, const SPlacement& p) {
    const uint32_t layer = static_cast<uint32_t>(p.layer) & 0xFF;
    o->SetPosition(p.x, p.y, p.z);
    CPlayerList* players = Players();
    if (CPlayer* owner = players ? players->FindPlayerByOwnerId(p.ownerId) : nullptr) o->SetOwner(owner);
    o->m_mapTeam = static_cast<uint8_t>(p.ownerId);
    o->m_mapId = p.mapId;
    if (p.mapId > m_highestMapId) m_highestMapId = p.mapId;
    o->m_layer = layer;
    o->SetOrientation(TurnedHeading(o->m_yaw, p.headingIncrement), o->m_pitch, o->m_roll);
    o->m_headingIncrement = p.headingIncrement;
    o->m_scaleIncrement = p.scaleIncrement;
    if (p.scaleIncrement != 0.0f)
        o->SetScale(o->m_scale[0] + p.scaleIncrement, o->m_scale[1] + p.scaleIncrement,
                    o->m_scale[2] + p.scaleIncrement);
    o->UpdateRadius();
    if (p.spot && o->m_resourceSpot) {
        o->m_resourceSpot->m_base = p.spot[0];
        o->m_resourceSpot->m_phase = p.spot[1];
        o->m_resourceSpot->m_speed = p.spot[2];
    }
    if (OnHiddenLayer(*this, layer)) o->m_pendingVisibility = 1;
    o->ResetMatrixHistory();
}

namespace {
// M_SelectLayer names the layer the editor's rectangle and tools work on.
void OnSelectLayer(CConsoleCommand* record, SCommandArgs*, CVFSFile*) {
    CGameScene* scene = static_cast<CGameScene*>(record->GetContext());
    scene->m_editLayer = static_cast<uint32_t>(scene->m_editor.selectLayer & 0xFF);
}
}  // namespace

void CGameScene::RegisterEditorSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names,
                                        CommandHandler buildRestrictionChanged) {
    const SCommandRow rows[] = {
        SCommandRow::Int("M_PaintMode", &m_editor.paintMode, 0, 7,
                         "Sets the current paint mode in map editor (0-7)", "M_PaintMode( int Mode );")
            .Mask(8),
        SCommandRow::Int("M_TeamMode", &m_editor.teamMode, 0, 1024,
                         "Sets the current team mode in map editor (0-1024)", "M_TeamMode( int Mode );")
            .Mask(8),
        SCommandRow::Bool("M_CollisionMode", &m_editor.collisionMode,
                          "Sets the current collision mode in map editor (true/false)",
                          "M_CollisionMode( int Mode );")
            .Mask(8),
        SCommandRow::Int("M_SelectLayer", &m_editor.selectLayer, 0, 255,
                         "Selects which layer to work with in map editor mode", "M_SelectLayer(int Layer);")
            .Mask(8)
            .OnChange(OnSelectLayer)
            .Context(this),
        SCommandRow::Bool("m_BuildRestrictionMode", &m_buildRestrictionMode, "Description",
                          "m_BuildRestrictionMode")
            .OnChange(buildRestrictionChanged)
            .MapScript(),
        SCommandRow::Bool("m_DevmapMode", &m_DevmapMode, "Sets or unsets tessarak in development mode of map",
                          "m_DevmapMode")
            .Mask(8),
    };
    CommandTable_RegisterNamed(ip, rows, names);
}

uint8_t MapTeam_Of(const CTessarakObject* o) {
    return static_cast<uint8_t>(o->m_owner && !o->m_owner->IsNeutral() ? o->m_owner->m_ownerId
                                                                       : o->m_mapTeam);
}

int CreateUnit_Encode(const CGameScene& scene, const CTessarakObjectTemplate* tmpl,
                      const CGameScene::SPlacement& p, uint8_t out[50]) {
    const bool spot = tmpl == scene.m_spotTemplate;
    LE_StoreU16(out, tmpl->m_projectId);
    LE_StoreU32(out + 2, tmpl->m_nodeId);
    StoreF32(out + 6, p.x);
    StoreF32(out + 10, p.y);
    StoreF32(out + 14, p.z);
    StoreF32(out + 18, p.headingIncrement);
    StoreF32(out + 22, p.scaleIncrement);
    // The map's own id (-1: the next one where it is made). The object's id
    // is taken on every machine when the message runs: one taken here,
    // outside the lockstep, would move this machine's counter alone.
    LE_StoreU32(out + 26, static_cast<uint32_t>(p.mapId < 0 ? -1 : p.mapId));
    LE_StoreU32(out + 30, static_cast<uint32_t>(p.layer));
    LE_StoreU32(out + 34, static_cast<uint32_t>(p.ownerId));
    if (!spot) return 38;
    static const float kDefaults[3] = {1.0f, 3.1415927f, 1.0f};
    const float* values = p.spot ? p.spot : kDefaults;
    for (int i = 0; i < 3; ++i) StoreF32(out + 38 + 4 * i, values[i]);
    return 50;
}

bool CMapEditor::RequestCreate(const CTessarakObjectTemplate* tmpl, const CGameScene::SPlacement& placement) {
    if (!tmpl) return false;
    uint8_t data[50];
    const int length = CreateUnit_Encode(m_world.Scene(), tmpl, placement, data);
    return m_world.Sender().Send(NS_NOTIFYTYPE_CREATEUNIT, data, length);
}

std::vector<int32_t> CMapEditor::Marked() const {
    std::vector<int32_t> ids;
    for (CTessarakObject* o = m_world.Scene().m_allObjects; o; o = o->m_allNext)
        if ((o->m_stateA & CTessarakObject::kA_Selected) && o->m_objectId >= 0 && !o->Dying())
            ids.push_back(o->m_objectId);
    return ids;
}

namespace {
template <class F>
int ForMarked(CWorld& world, const std::vector<int32_t>& ids, F f) {
    int n = 0;
    for (int32_t id : ids)
        if (CTessarakObject* o = world.Scene().m_idTable.Find(id)) {
            f(o);
            ++n;
        }
    return n;
}
}  // namespace

int CMapEditor::DeleteMarked() {
    const std::vector<int32_t> ids = Marked();
    m_world.Commands().Kill(ids, true);
    return static_cast<int>(ids.size());
}

int CMapEditor::SetTeam(int32_t team) {
    if (team < 0 || team > 255) return -1;
    CPlayerList* players = m_world.Players();
    CPlayer* owner = players ? players->FindPlayerByOwnerId(team) : nullptr;
    if (!owner && players) owner = players->m_neutral;
    return ForMarked(m_world, Marked(), [&](CTessarakObject* o) {
        if (owner) o->SetOwner(owner);
        o->m_mapTeam = static_cast<uint8_t>(team);
    });
}

int CMapEditor::SetLayer(int32_t layer) {
    if (layer < 0 || layer >= CGameScene::kLayers) return -1;
    CGameScene& scene = m_world.Scene();
    const bool hidden = OnHiddenLayer(scene, static_cast<uint32_t>(layer));
    return ForMarked(m_world, Marked(), [&](CTessarakObject* o) {
        o->m_layer = static_cast<uint32_t>(layer);
        o->SetPosition(o->m_position[0], scene.m_layerPositions[layer], o->m_position[2]);
        o->m_pendingVisibility = hidden ? 1 : -1;
    });
}

bool CMapEditor::HideLayer(int32_t layer) {
    if (layer < 0 || layer >= CGameScene::kLayers) return false;
    CGameScene& scene = m_world.Scene();
    scene.m_layerFlags[layer] ^= 1;
    const int8_t visibility = (scene.m_layerFlags[layer] & 1) ? 1 : -1;
    for (CTessarakObject* o = scene.m_allObjects; o; o = o->m_allNext)
        if (o->m_layer == static_cast<uint32_t>(layer)) o->m_pendingVisibility = visibility;
    return true;
}

bool CMapEditor::LayerHidden(int32_t layer) const {
    return layer >= 0 && OnHiddenLayer(m_world.Scene(), static_cast<uint32_t>(layer));
}

bool CMapEditor::RaiseLayer(int32_t layer, float amount) {
    if (layer < 0 || layer >= CGameScene::kLayers) return false;
    CGameScene& scene = m_world.Scene();
    const float height = scene.m_layerPositions[layer] += amount;
    for (CTessarakObject* o = scene.m_allObjects; o; o = o->m_allNext)
        if (o->m_layer == static_cast<uint32_t>(layer))
            o->SetPosition(o->m_position[0], height, o->m_position[2]);
    return true;
}

int CMapEditor::TurnMarked(float angle) {
    return ForMarked(m_world, Marked(), [&](CTessarakObject* o) {
        o->SetOrientation(TurnedHeading(o->m_yaw, angle), o->m_pitch, o->m_roll);
        o->m_headingIncrement = TurnedHeading(o->m_headingIncrement, angle);
    });
}

int CMapEditor::GrowMarked(float amount) {
    return ForMarked(m_world, Marked(), [&](CTessarakObject* o) {
        o->SetScale(o->m_scale[0] + amount, o->m_scale[1] + amount, o->m_scale[2] + amount);
        o->m_scaleIncrement += amount;
        o->UpdateRadius();
    });
}

std::vector<const CTessarakObject*> CMapEditor::Merge(float distance) {
    std::vector<const CTessarakObject*> taken;
    std::vector<int32_t> ids;
    CGameScene& scene = m_world.Scene();
    const float limit = distance * distance;
    auto gone = [&](const CTessarakObject* o) {
        for (const CTessarakObject* t : taken)
            if (t == o) return true;
        return false;
    };
    for (CTessarakObject* a = scene.m_allObjects; a; a = a->m_allNext) {
        if (a->m_objectId < 0 || a->Dying() || gone(a)) continue;
        for (CTessarakObject* b = a->m_allNext; b; b = b->m_allNext) {
            if (b->m_objectId < 0 || b->Dying() || gone(b)) continue;
            const float dx = a->m_position[0] - b->m_position[0], dz = a->m_position[2] - b->m_position[2];
            if (dx * dx + dz * dz > limit) continue;
            taken.push_back(b);
            ids.push_back(b->m_objectId);
        }
    }
    m_world.Commands().Kill(ids, true);
    return taken;
}

int CMapEditor::ScatterSpots(int32_t count, uint32_t seed) {
    CGameScene& scene = m_world.Scene();
    const CWorldGrid& grid = m_world.Grid();
    const int32_t width = grid.m_x2 - grid.m_x1, depth = grid.m_y1 - grid.m_y2;
    if (!scene.m_spotTemplate || count <= 0 || width <= 0 || depth <= 0) return 0;
    CRandomStream random(seed);
    std::vector<float> chosen;  // x, z pairs
    int asked = 0;
    for (int32_t n = 0; n < count; ++n) {
        float x = 0.0f, z = 0.0f;
        for (int attempt = 0; attempt < 99; ++attempt) {
            x = static_cast<float>(random.Rand() % width + grid.m_x1);
            z = static_cast<float>(random.Rand() % depth + grid.m_y2);
            bool free = grid.m_layer[0].QueryAround(1.0f, x, z);
            for (size_t i = 0; free && i < chosen.size(); i += 2) {
                const float dx = chosen[i] - x, dz = chosen[i + 1] - z;
                free = dx * dx + dz * dz >= 4.0f;
            }
            if (free) break;
        }
        chosen.push_back(x);
        chosen.push_back(z);
        const float spot[3] = {
            random.Random01() * (scene.m_spotSizeMax - scene.m_spotSizeMin) + scene.m_spotSizeMin,
            random.Random01() * kTwoPi, random.Random01() * 0.2f};
        CGameScene::SPlacement p;
        p.x = x;
        p.z = z;
        p.layer = static_cast<int32_t>(scene.m_editLayer & 0xFF);
        p.y = scene.m_layerPositions[p.layer];
        p.spot = spot;
        if (RequestCreate(scene.m_spotTemplate, p)) ++asked;
    }
    return asked;
}

int CMapEditor::DuplicateMarked() {
    CGameScene& scene = m_world.Scene();
    int asked = 0;
    int32_t next = scene.m_highestMapId;
    ForMarked(m_world, Marked(), [&](CTessarakObject* o) {
        if (!o->m_template) return;
        CGameScene::SPlacement p;
        p.x = o->m_position[0];
        p.y = o->m_position[1];
        p.z = o->m_position[2];
        p.ownerId = MapTeam_Of(o);
        p.layer = static_cast<int32_t>(o->m_layer);
        p.mapId = ++next;
        p.headingIncrement = o->m_headingIncrement;
        p.scaleIncrement = o->m_scaleIncrement;
        float spot[3];
        if (o->m_resourceSpot) {
            spot[0] = o->m_resourceSpot->m_base;
            spot[1] = o->m_resourceSpot->m_phase;
            spot[2] = o->m_resourceSpot->m_speed;
            p.spot = spot;
        }
        if (RequestCreate(o->m_template, p)) ++asked;
    });
    return asked;
}

bool CMapEditor::MayPlace(const CTessarakObjectTemplate* tmpl, float x, float z) const {
    return tmpl && !PlacementBlocker(tmpl, x, z);
}

const CTessarakObject* CMapEditor::PlacementBlocker(const CTessarakObjectTemplate* tmpl, float x,
                                                    float z) const {
    if (!tmpl) return nullptr;
    const bool standing = (tmpl->m_classMask & kClassGridMember) != 0;
    const CGameScene& scene = m_world.Scene();
    const float hx = tmpl->m_footprintHalf[0], hz = tmpl->m_footprintHalf[1];
    const float points[9][2] = {{x, z},           {x - hx, z - hz}, {x + hx, z - hz},
                                {x - hx, z + hz}, {x + hx, z + hz}, {x, z - hz},
                                {x, z + hz},      {x - hx, z},      {x + hx, z}};
    for (const CTessarakObject* o = scene.m_allObjects; o; o = o->m_allNext) {
        if (o->m_layer != scene.m_editLayer || !o->m_template || o->Dying()) continue;
        if (((o->m_template->m_classMask & kClassGridMember) != 0) != standing) continue;
        const float ox = o->m_template->m_footprintHalf[0] * 0.9f,
                    oz = o->m_template->m_footprintHalf[1] * 0.9f;
        for (const auto& pt : points)
            if (pt[0] > o->m_position[0] - ox && pt[0] < o->m_position[0] + ox &&
                pt[1] > o->m_position[2] - oz && pt[1] < o->m_position[2] + oz)
                return o;
    }
    return nullptr;
}

namespace {
CTessarakObjectTemplate* TemplateAt(const CGameScene& scene, int32_t index) {
    CTessarakObjectTemplate* t = scene.m_templates;
    for (int32_t i = 0; t && i < index; ++i) t = t->m_listNext;
    return t;
}
}  // namespace

CTessarakObjectTemplate* CMapEditor::PanelTemplate(int32_t row) const {
    const CGameScene& scene = m_world.Scene();
    const int32_t offset = scene.m_editor.templateOffset < 0 ? 0 : scene.m_editor.templateOffset;
    return TemplateAt(scene, offset + (row < 0 ? 0 : row));
}

void CMapEditor::MoveOffset(int32_t steps) {
    CGameScene& scene = m_world.Scene();
    int32_t offset = scene.m_editor.templateOffset < 0 ? 0 : scene.m_editor.templateOffset;
    int32_t last = 0;
    for (CTessarakObjectTemplate* t = scene.m_templates; t && t->m_listNext; t = t->m_listNext) ++last;
    offset += steps;
    if (offset < 0) offset = 0;
    if (offset > last) offset = last;
    scene.m_editor.templateOffset = offset;
}

int CMapEditor::MarkFrom(int32_t firstId) {
    int n = 0;
    for (CTessarakObject* o = m_world.Scene().m_allObjects; o; o = o->m_allNext) {
        const bool mark = o->m_objectId >= firstId && !o->Dying();
        o->HandleMessage(mark ? CTessarakObject::kMsgSelect : CTessarakObject::kMsgDeselect, 0);
        n += mark ? 1 : 0;
    }
    return n;
}
