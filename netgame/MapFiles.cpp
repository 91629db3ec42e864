#include "core/Determinism.h"
// The map load is part of the lockstep: every machine places the same objects.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "core/Math.h"
#include "core/StrBuf.h"
#include "core/SysUtil.h"
#include "core/VFSFile.h"
#include "netgame/MapFiles.h"
#include "platform/sys/Path.h"
#include "world/GameScene.h"
#include "world/MapEditor.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/UnitOrder.h"
#include "world/World.h"
#include "world/WorldRoles.h"

bool MapName_IsPlain(const char* name) {
    if (!name || !name[0]) return false;
    size_t n = std::strlen(name);
    if (n > 64 || std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) return false;
    for (size_t i = 0; i < n; ++i) {
        char c = name[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == ' ' ||
                  c == '_' || c == '.' || c == '-';
        if (!ok) return false;
    }
    return true;
}

uint32_t MapBox_Checksum(IWorldFiles& files, const char* mapFile) {
    if (!MapName_IsPlain(mapFile)) return 0;
    CStrBuf name;
    name.Format("%s\\MapData.box", mapFile);
    CStrBuf path(files.GetPath("Maps", name.GetText()));
    return CRC32_File(path.GetText());
}

namespace {
// "Maps\<map>\MapData.box<suffix>"; empty when the name is not plain.
CStrBuf MapBoxPath(IWorldFiles& files, const char* mapFile, const char* suffix) {
    CStrBuf path;
    if (!MapName_IsPlain(mapFile)) return path;
    CStrBuf name;
    name.Format("%s\\MapData.box%s", mapFile, suffix);
    path.Assign(files.GetPath("Maps", name.GetText()));
    return path;
}
}  // namespace

bool MapBox_MarkFromServer(IWorldFiles& files, const char* mapFile, uint32_t checksum) {
    CStrBuf path = MapBoxPath(files, mapFile, ".server");
    if (path.IsEmpty()) return false;
    CStrBuf text;
    text.Format("%08X", (unsigned)checksum);
    CVFSFile file;
    bool ok = file.Open(path.GetText(), CVFSFile::kModeWrite) &&
              file.Write(text.GetText(), (uint32_t)text.GetLength()) == (uint32_t)text.GetLength();
    return file.Close() && ok;
}

bool MapBox_CameFromServer(IWorldFiles& files, const char* mapFile) {
    CStrBuf path = MapBoxPath(files, mapFile, ".server");
    if (path.IsEmpty()) return false;
    CVFSFile file;
    char text[9] = {};
    if (!file.Open(path.GetText(), CVFSFile::kModeRead) || file.Read(text, 8) != 8) return false;
    char* end = nullptr;
    unsigned long mark = std::strtoul(text, &end, 16);
    if (end != text + 8) return false;
    bool found = false;
    uint32_t now = CRC32_File(MapBoxPath(files, mapFile, "").GetText(), &found);
    return found && now == static_cast<uint32_t>(mark);
}

// ---- the map objects file

namespace {
constexpr size_t kPlainRecord = 28;
constexpr size_t kScaledRecord = 32;
constexpr size_t kSpotRecord = 44;

struct SWriter {
    std::vector<uint8_t>& out;
    void U8(uint8_t v) { out.push_back(v); }
    void U16(uint16_t v) {
        uint8_t b[2];
        LE_StoreU16(b, v);
        out.insert(out.end(), b, b + 2);
    }
    void U32(uint32_t v) {
        uint8_t b[4];
        LE_StoreU32(b, v);
        out.insert(out.end(), b, b + 4);
    }
    void F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
};

struct SReader {
    const uint8_t* p;
    size_t left;
    bool ok = true;
    bool Take(size_t n) {
        if (!ok || left < n) return ok = false;
        return true;
    }
    uint8_t U8() {
        if (!Take(1)) return 0;
        uint8_t v = *p;
        ++p;
        --left;
        return v;
    }
    uint16_t U16() {
        if (!Take(2)) return 0;
        uint16_t v = LE_LoadU16(p);
        p += 2;
        left -= 2;
        return v;
    }
    uint32_t U32() {
        if (!Take(4)) return 0;
        uint32_t v = LE_LoadU32(p);
        p += 4;
        left -= 4;
        return v;
    }
    float F32() {
        uint32_t u = U32();
        float v;
        std::memcpy(&v, &u, 4);
        return v;
    }
};
}  // namespace

void MapObjects_Encode(const SMapObjects& map, std::vector<uint8_t>& out) {
    SWriter w{out};
    size_t starts = map.startX.size() < map.startZ.size() ? map.startX.size() : map.startZ.size();
    w.U32(static_cast<uint32_t>(starts));
    for (size_t i = 0; i < starts; ++i) {
        w.F32(map.startX[i]);
        w.F32(map.startZ[i]);
    }
    for (float h : map.layers) w.F32(h);
    w.U32(static_cast<uint32_t>(map.objects.size()));
    for (const SMapObjectRecord& r : map.objects) {
        const bool spot = r.kind == kMapObjectSpot;
        const bool scaled = !spot && r.scaleIncrement != 0.0f;
        w.U32(r.templateId);
        w.U16(r.projectId);
        w.U32(spot ? kMapObjectSpot : scaled ? kMapObjectScaled : kMapObjectPlain);
        w.F32(r.x);
        w.F32(r.z);
        w.U8(r.owner);
        w.U8(r.layer);
        w.U32(static_cast<uint32_t>(r.mapId));
        w.F32(r.headingIncrement);
        if (spot || scaled) w.F32(r.scaleIncrement);
        if (spot)
            for (float v : r.spot) w.F32(v);
    }
}

bool MapObjects_Decode(const uint8_t* data, size_t size, SMapObjects* out) {
    SReader r{data, size};
    SMapObjects map;
    uint32_t starts = r.U32();
    // Every count is bounded by the bytes that are really there.
    if (!r.ok || starts > r.left / 8) return false;
    map.startX.resize(starts);
    map.startZ.resize(starts);
    for (uint32_t i = 0; i < starts; ++i) {
        map.startX[i] = r.F32();
        map.startZ[i] = r.F32();
    }
    for (float& h : map.layers) h = r.F32();
    uint32_t count = r.U32();
    if (!r.ok || count > r.left / kPlainRecord) return false;
    map.objects.reserve(count);
    for (uint32_t i = 0; i < count && r.ok; ++i) {
        SMapObjectRecord o;
        o.templateId = r.U32();
        o.projectId = r.U16();
        o.kind = r.U32();
        if (r.ok && o.kind != kMapObjectSpot && o.kind != kMapObjectPlain && o.kind != kMapObjectScaled)
            return false;
        o.x = r.F32();
        o.z = r.F32();
        o.owner = r.U8();
        o.layer = r.U8();
        o.mapId = static_cast<int32_t>(r.U32());
        o.headingIncrement = r.F32();
        if (o.kind == kMapObjectSpot) {
            if (!r.Take(kSpotRecord - kPlainRecord)) return false;
            o.scaleIncrement = r.F32();
            for (float& v : o.spot) v = r.F32();
        } else if (o.kind == kMapObjectScaled) {
            if (!r.Take(kScaledRecord - kPlainRecord)) return false;
            o.scaleIncrement = r.F32();
            o.kind = kMapObjectPlain;
        }
        map.objects.push_back(o);
    }
    if (!r.ok || r.left != 0) return false;
    // Every place, height and turn a finite number: a NaN or an infinity
    // (from a box that came over the network) never reaches the world.
    auto finite = [](const float* v, size_t n) {
        for (size_t i = 0; i < n; ++i)
            if (!std::isfinite(v[i])) return false;
        return true;
    };
    if (!finite(map.startX.data(), map.startX.size()) || !finite(map.startZ.data(), map.startZ.size()) ||
        !finite(map.layers, kMapLayers))
        return false;
    for (const SMapObjectRecord& o : map.objects) {
        const float values[3] = {o.x, o.z, o.headingIncrement};
        if (!finite(values, 3) || !finite(&o.scaleIncrement, 1) || !finite(o.spot, 3)) return false;
    }
    *out = std::move(map);
    return true;
}

namespace {
// Objects the editor excluded from saving are left out of every export.
bool Exported(const CTessarakObject* o) {
    return !(o->m_flagsA & kFrameOnUpdateList);
}

// The scene's world objects in list order (the export and the file keep it).
void GatherMapObjects(CGameScene* scene, SMapObjects* map) {
    size_t starts = scene->m_startX.size();
    map->startX.assign(scene->m_startX.begin(), scene->m_startX.begin() + starts);
    map->startZ.assign(scene->m_startZ.begin(), scene->m_startZ.begin() + starts);
    for (int i = 0; i < kMapLayers; ++i) map->layers[i] = scene->m_layerPositions[i];
    for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
        if (!Exported(o) || !o->m_template) continue;
        SMapObjectRecord r;
        r.templateId = o->m_template->m_nodeId;
        r.projectId = o->m_template->m_projectId;
        r.kind = o->m_template == scene->m_spotTemplate ? kMapObjectSpot : kMapObjectPlain;
        r.x = o->m_position[0];
        r.z = o->m_position[2];
        r.owner = MapTeam_Of(o);
        r.layer = static_cast<uint8_t>(o->m_layer);
        r.mapId = o->m_mapId;
        r.headingIncrement = o->m_headingIncrement;
        r.scaleIncrement = o->m_scaleIncrement;
        if (o->m_resourceSpot) {
            r.spot[0] = o->m_resourceSpot->m_base;
            r.spot[1] = o->m_resourceSpot->m_phase;
            r.spot[2] = o->m_resourceSpot->m_speed;
        }
        map->objects.push_back(r);
    }
}

}  // namespace

void MapObject_Place(CGameScene* scene, CTessarakObject* o, float x, float z, int32_t ownerId, int32_t layer,
                     int32_t mapId, float headingIncrement, float scaleIncrement, const float* spot) {
    CGameScene::SPlacement p;
    p.x = x;
    p.z = z;
    p.layer = layer & 0xFF;
    p.y = scene->m_layerPositions[p.layer];
    p.ownerId = ownerId;
    p.mapId = mapId;
    p.headingIncrement = headingIncrement;
    p.scaleIncrement = scaleIncrement;
    p.spot = spot;
    scene->PlaceObject(o, p);
}

bool WriteMapObjects(CGameScene* scene, CVFSFile* file) {
    if (!scene || !file) return false;
    SMapObjects map;
    GatherMapObjects(scene, &map);
    std::vector<uint8_t> bytes;
    MapObjects_Encode(map, bytes);
    return file->Write(bytes.data(), static_cast<uint32_t>(bytes.size())) == bytes.size();
}

bool LoadMapObjects(CGameScene* scene, CVFSFile* file, const MapObjectCreator& create) {
    if (!scene || !file) return false;
    IWorldConsole* console = &scene->World().Console();
    uint32_t size = file->GetSize();
    std::vector<uint8_t> bytes(size);
    SMapObjects map;
    if (file->Read(bytes.data(), size) != size || !MapObjects_Decode(bytes.data(), bytes.size(), &map)) {
        if (console) console->Print("Error loading map: visual.bin is damaged");
        return false;
    }
    scene->m_startX = map.startX;
    scene->m_startZ = map.startZ;
    for (int i = 0; i < kMapLayers; ++i) scene->m_layerPositions[i] = map.layers[i];
    for (const SMapObjectRecord& r : map.objects) {
        CTessarakObjectTemplate* tmpl =
            scene->FindTemplateById(r.projectId, static_cast<int32_t>(r.templateId));
        if (!tmpl) {
            if (console)
                console->Printf("Received bogus create unit call: ProjectID: %d TemplateID: %d",
                                (int)r.projectId, (int)r.templateId);
            continue;
        }
        CTessarakObject* o = create ? create(tmpl, r.x, r.z) : nullptr;
        if (!o) {
            if (console)
                console->Printf("Error creating object from template : '%s'", tmpl->m_name.GetText());
            continue;
        }
        MapObject_Place(scene, o, r.x, r.z, r.owner, r.layer, r.mapId, r.headingIncrement, r.scaleIncrement,
                        r.kind == kMapObjectSpot ? r.spot : nullptr);
    }
    return true;
}

// ---- the map export

namespace {
const char kRule[] = "/////////////////////////////////////\n";

// The map script that makes the scene again. Numbers are formatted in the C
// locale whatever the player's locale is (CStrBuf::Format does), so the
// script reads back everywhere.
void MapScriptText(CGameScene* scene, std::string& s) {
    CStrBuf line;
    s += kRule + std::string("// Tessarak Map Script\n") + kRule + "\n";
    s += kRule + std::string("// Player Start Positions\n") + kRule + "\n";
    int32_t starts = scene->StartPositionCount();
    line.Format("M_DefineStartPositions (%d);\n\n", starts);
    s += line.GetText();
    for (int32_t i = 0; i < starts; ++i) {
        line.Format("M_SetStartPosition (%d,%f,%f);\n", i, scene->m_startX[static_cast<size_t>(i)],
                    scene->m_startZ[static_cast<size_t>(i)]);
        s += line.GetText();
    }
    s += "\n";
    s += kRule + std::string("// Layer Data\n") + kRule + "\n";
    for (int i = 0; i < kMapLayers; ++i) {
        line.Format("M_SetLayerPosition (%d, %f);\n", i, scene->m_layerPositions[i]);
        s += line.GetText();
    }
    s += "\n";
    s += kRule + std::string("// Objects\n") + kRule;
    for (CTessarakObjectTemplate* t = scene->m_templates; t; t = t->m_listNext) {
        line.Format("\n// %s\n\n", t->m_name.GetText());
        s += line.GetText();
        for (CTessarakObject* o = scene->m_allObjects; o; o = o->m_allNext) {
            if (!Exported(o) || !o->m_template || !o->m_template->m_name.EqualsNoCase(t->m_name.GetText()))
                continue;
            int owner = o->IsUnit() ? MapTeam_Of(o) : 0;
            if (t == scene->m_spotTemplate) {
                SResourceSpot spot = o->m_resourceSpot ? *o->m_resourceSpot : SResourceSpot();
                // All three spot values are written (the Create command reads
                // three), so the script gives back the spot it was made from.
                line.Format("Create (\"%s\", %f, %f, %d, %d, %d, %.3f, %.3f, %.3f, %.3f, %.3f);\n",
                            t->m_name.GetText(), o->m_position[0], o->m_position[2], owner, (int)o->m_layer,
                            o->m_mapId, o->m_headingIncrement, o->m_scaleIncrement, spot.m_base, spot.m_phase,
                            spot.m_speed);
            } else {
                line.Format("Create (\"%s\", %f, %f, %d, %d, %d, %.3f, %.3f);\n", t->m_name.GetText(),
                            o->m_position[0], o->m_position[2], owner, (int)o->m_layer, o->m_mapId,
                            o->m_headingIncrement, o->m_scaleIncrement);
            }
            s += line.GetText();
        }
    }
}

// The units' move and patrol orders as a map script: the units with orders
// first (AddCustomizedControl), then each unit's orders from the one that
// runs next to the last queued. Only the orders given on this machine (by
// the player, the editor or a map script) are written; the sub-orders that
// the units' own steps make are not.
void UnitCommandsText(CGameScene* scene, std::string& s) {
    CStrBuf line;
    s += "// Tessarak Unit Commands\n";
    s += kRule;
    s += "\n// Unit Control List\n\n";
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
        if (!u->m_orderList || !u->m_orderList->FirstChild()) continue;
        line.Format("AddCustomizedControl(%d);\n", u->m_mapId);
        s += line.GetText();
    }
    s += "\n";
    for (CUnit* u = scene->m_units; u; u = u->m_unitNext) {
        line.Format("\n// Map ID %d '%s'\n", u->m_mapId,
                    u->m_template ? u->m_template->m_name.GetText() : "");
        s += line.GetText();
        if (!u->m_orderList) continue;
        for (CUnitOrder* o = u->m_orderList->LastChild(); o; o = o->Prev()) {
            if (!o->m_issuedHere) continue;
            if (o->m_type == CUnitOrder::kMove) {
                line.Format("AddMoveOrder (%d, %.2f, %.2f, %.2f, %d);\n", u->m_mapId, o->m_target[0],
                            o->m_target[1], o->m_target[2], (int)static_cast<CMoveOrder*>(o)->m_force);
                s += line.GetText();
            } else if (o->m_type == CUnitOrder::kPatrol) {
                line.Format("AddPatrolOrder (%d, %.2f, %.2f);\n", u->m_mapId, o->m_target[0], o->m_target[2]);
                s += line.GetText();
            }
        }
    }
}

// "Maps\<map>", made with every level; empty when the name is refused.
CStrBuf MapFolder(CWorld& world, const char* mapName) {
    IWorldConsole* console = &world.Console();
    CStrBuf folder;
    if (!MapName_IsPlain(mapName)) {
        console->Printf("Invalid map name: %s", mapName ? mapName : "");
        return folder;
    }
    folder.Format("%s\\%s", world.Files().GetPath("Maps", ""), mapName);
    bool existed = Sys_IsFolder(folder.GetText());
    if (!CreateDirectoryPath(folder.GetText())) {
        console->Printf("Unable to write file : %s", folder.GetText());
        folder.Assign("");
    } else if (!existed) {
        console->Printf("Created a new map directory at :'%s'", folder.GetText());
    }
    return folder;
}
}  // namespace

namespace {
// A file the export writes goes whole through a temporary file and a
// rename: a crash or a full disk never leaves half a map behind.
bool WriteExported(IWorldConsole* console, const CStrBuf& path, const void* data, size_t size) {
    if (Sys_WriteFileAtomic(path.GetText(), data, size)) return true;
    console->Printf("Unable to write file : %s", path.GetText());
    return false;
}
}  // namespace

bool ExportMapScript(CGameScene* scene, const char* mapName) {
    if (!scene) return false;
    IWorldConsole* console = &scene->World().Console();
    CStrBuf folder = MapFolder(scene->World(), mapName);
    if (folder.IsEmpty()) return false;
    CStrBuf path;
    path.Format("%s\\visual.vxm", folder.GetText());
    console->Printf("Exporting Map To :'%s'", path.GetText());
    std::string text;
    MapScriptText(scene, text);
    bool ok = WriteExported(console, path, text.data(), text.size());
    path.Format("%s\\visual.bin", folder.GetText());
    console->Printf("Exporting Binary Mapfile To :'%s'", path.GetText());
    SMapObjects map;
    GatherMapObjects(scene, &map);
    std::vector<uint8_t> bytes;
    MapObjects_Encode(map, bytes);
    return WriteExported(console, path, bytes.data(), bytes.size()) && ok;
}

bool ExportUnitCommands(CGameScene* scene, const char* mapName) {
    if (!scene) return false;
    IWorldConsole* console = &scene->World().Console();
    CStrBuf folder = MapFolder(scene->World(), mapName);
    if (folder.IsEmpty()) return false;
    CStrBuf path;
    path.Format("%s\\orders.vxm", folder.GetText());
    console->Printf("Exporting Unit Commands To :'%s'", path.GetText());
    std::string text;
    UnitCommandsText(scene, text);
    return WriteExported(console, path, text.data(), text.size());
}
