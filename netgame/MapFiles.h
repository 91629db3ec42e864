// The files of a map: its name, its box's checksum, the map objects file
// ("visual.bin") and the map export.
//
// A map is a folder under "Maps" holding "MapData.box", a pack whose members
// the map load reads: "information.vxm" (the map's description), "init.vxm"
// (the map script that places its objects), "visual.bin" (the placed
// objects in binary form), "radar.bik" (the radar picture), "AI.vxm" and
// "Objective.vxm". A map name comes from scripts, from the console and from
// servers, so it is checked before any path is made of it.
//
// "visual.bin" layout (little-endian, no padding):
//   u32 start count n; n x (f32 x, f32 z) start positions;
//   255 x f32 layer heights (layers 0 to 254);
//   u32 object count; per object: u32 template id, u16 project id, u32 kind
//   (1 the scene's spot template, 2 any other), f32 x, f32 z, u8 owner id,
//   u8 layer, i32 map id, f32 heading increment; kind 1 only: f32 scale
//   increment, 3 x f32 spot values (base, phase, speed).
// A kind 2 record is 28 bytes, a kind 1 record 44. A kind 2 record carries
// no scale, so an object the editor grew or shrank is written as kind 3:
// the kind 2 record and its f32 scale increment, 32 bytes (a file of
// objects at their own scale is the same as before). A kind 3 record whose
// scale increment is 0 (or -0) says what a kind 2 record says: it reads as
// kind 2 and is written back as kind 2, the canonical spelling; the writer
// makes a kind 3 record only for a scale increment other than 0.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class CGameScene;
class IWorldFiles;
class CVFSFile;
class CTessarakObject;
class CTessarakObjectTemplate;

// True when name is one plain folder name: 1 to 64 letters, digits, blanks,
// "_", "." and "-", and neither "." nor "..".
bool MapName_IsPlain(const char* name);

// The map box's checksum: the CRC-32 of "Maps\<map>\MapData.box" (through
// the game's files role); 0 when the name is not plain or the file cannot
// be read.
uint32_t MapBox_Checksum(IWorldFiles& files, const char* mapFile);

// A map box that came from a server is marked: "MapData.box.server" beside
// it holds the box's checksum as eight hexadecimal digits. Its scripts run
// restricted whenever the box is played, also later by this machine's own
// server, as long as the box is the one that came; a box put there
// otherwise (the player's own copy) is not marked by an old mark.
bool MapBox_MarkFromServer(IWorldFiles& files, const char* mapFile, uint32_t checksum);
bool MapBox_CameFromServer(IWorldFiles& files, const char* mapFile);

enum : uint32_t { kMapObjectSpot = 1, kMapObjectPlain = 2, kMapObjectScaled = 3 };
enum { kMapLayers = 255 };

struct SMapObjectRecord {
    uint32_t templateId = 0;
    uint16_t projectId = 0;
    uint32_t kind = kMapObjectPlain;
    float x = 0.0f, z = 0.0f;
    uint8_t owner = 0;
    uint8_t layer = 0;
    int32_t mapId = 0;
    float headingIncrement = 0.0f;
    float scaleIncrement = 0.0f;  // kind 1 and 3 (0 for kind 2)
    float spot[3] = {1.0f, 3.1415927f, 1.0f};
};

struct SMapObjects {
    std::vector<float> startX, startZ;
    float layers[kMapLayers] = {};
    std::vector<SMapObjectRecord> objects;
};

// The bytes of a map objects file.
void MapObjects_Encode(const SMapObjects& map, std::vector<uint8_t>& out);
// Reads a whole map objects file (a kind 3 record reads as kind 2 with its
// scale); false (out unspecified) when a read falls short, a kind is not 1,
// 2 or 3, a count claims more records than the
// bytes hold, or bytes are left over.
bool MapObjects_Decode(const uint8_t* data, size_t size, SMapObjects* out);

// Writes the scene's start positions, layers and objects (those the editor
// has not excluded) into an open file; false when a write failed.
bool WriteMapObjects(CGameScene* scene, CVFSFile* file);

// Makes one map object: (template, x, z, map's object id) -> the new object
// or null. The game passes its unit creation.
using MapObjectCreator = std::function<CTessarakObject*(CTessarakObjectTemplate*, float, float)>;

// Places a new map object as the map says (the map objects file and the
// map scripts' Create alike): at (x, its layer's height, z), owned by the
// player with ownerId (when there is one), with its map id and layer, turned
// by the heading increment, grown by the scale increment; a spot takes the
// three spot values (null: none).
void MapObject_Place(CGameScene* scene, CTessarakObject* o, float x, float z, int32_t ownerId, int32_t layer,
                     int32_t mapId, float headingIncrement, float scaleIncrement, const float* spot);

// Reads "visual.bin" from an open file into the scene: start positions,
// layer heights, then each object made by create and placed as the map
// says. A record of an unknown template or a failed creation is skipped
// with a console line; a file that does not read whole changes nothing and
// gives false.
bool LoadMapObjects(CGameScene* scene, CVFSFile* file, const MapObjectCreator& create);

// Writes "visual.vxm" and "visual.bin" of the scene into "Maps\<map>" (the
// scene's world's files and console),
// making the folder; false when the name is not plain or a file could not
// be written (each is reported on the console).
bool ExportMapScript(CGameScene* scene, const char* mapName);

// Writes "orders.vxm" of the scene into "Maps\<map>": the units' move and
// patrol orders as a map script; false when the name is not plain or the
// file could not be written.
bool ExportUnitCommands(CGameScene* scene, const char* mapName);
