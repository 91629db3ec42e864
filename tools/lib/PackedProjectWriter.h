// Writer of the packed project file ("PackedProject.VXP"), for tests, the
// content builder and modders. The game only reads this format (world/
// PackedProject.cpp and the readers of the records it holds); this writer
// makes the same bytes from a description in memory, and can make damaged
// files by editing the result.
//
// The layout (little-endian; a string is a u16 length and its characters):
//   "Tessarak Packed Content" (23 bytes, no terminator); u32 version;
//   project record: three strings; u32 blob size and the blob; u16 project
//     id; u32 child count and per child a 260-byte zero-terminated folder name;
//   event descriptions: u32 count; per description i32 id and a string
//     (versions 18 to 28: i32 id and a 256-byte name field);
//   u32 texture count and the texture records; u32 material count and the
//     material records; u32 template count and per template a class key
//     string ("CBaseClass", "CUnit", "CGridMember", "CUnitWeapon") and the
//     node record.
//   texture record: string name; two strings; u32 width, height, texture id;
//     u32 colour depth, wanted depth, alpha depth, a fourth value; seven u8
//     (flag bytes 1 to 6 and 8: byte 5 has a colour image, byte 6 an alpha
//     image); u8 mipmapped; u32 largest reduction; u16 project id; u32 the
//     engine's word; u8 the engine's byte; u8 flags (0x10 replaced); 5 bytes
//     of zero; the colour image, then the alpha image (stored images).
//   material record: string name; u16 project id; u32 material id; u32 value;
//     u8 two-sided; u8 lit; u8 flags (0x10 replaced); 1 byte of zero; u32
//     count of one-stage passes and the passes; the same for two and three
//     stages.
//   node record: 1 byte of zero; u16 project id; u32 node id; u8 node flags
//     (0x01 override, 0x02 reference); 1 byte of zero; string name; position,
//     angles (radians), scale (3 floats each); u32 node value; three u8 frame
//     flags (hidden, subtree hidden, facing); the shape record; u8 light flag
//     and the light record; u8 tree flag (always 0); the configuration: a
//     property list in its stored form (u32 count; per entry name and value
//     strings); u32 child count and per child its class key and node record.
// Nothing is written for versions below 29.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "e3d/LightRecord.h"
#include "tools/lib/PropertyListWriter.h"

class CE3DShape;
class CE3DMaterial;
struct SPackedDIB;

constexpr char kPackedProjectSignature[] = "Tessarak Packed Content";
constexpr int kPackedProjectVersion = 30;

struct SPackedTexture {
    std::string name;
    std::string texts[2];
    uint32_t width = 0, height = 0;
    uint32_t textureId = 0;
    uint32_t colorDepth = 24, wantedDepth = 16, alphaDepth = 0, fourth = 0;
    // Flag bytes 1 to 6 and 8; bytes 5 and 6 are set from the images.
    uint8_t flags[7] = {1, 1, 0, 0, 1, 0, 0};
    uint8_t mipmapped = 1;
    uint32_t maxReduction = 16;
    uint16_t projectId = 0;
    uint32_t engineWord = 0;
    uint8_t engineByte = 0;
    uint8_t recordFlags = 0;
    // The images; not owned. A null colour image stores none.
    const SPackedDIB* colorImage = nullptr;
    const SPackedDIB* alphaImage = nullptr;
};

struct SPackedMaterial {
    std::string name;
    uint16_t projectId = 0;
    uint32_t materialId = 0;
    uint32_t value = 0;
    uint8_t twoSided = 0;
    uint8_t lit = 1;
    uint8_t flags = 0;
    // The passes of its three lists; made without a screen.
    std::shared_ptr<CE3DMaterial> passes;
};

struct SPackedNode {
    std::string classKey = "CBaseClass";
    uint16_t projectId = 0;
    uint32_t nodeId = 0;
    uint8_t flags = 0;
    std::string name;
    float position[3] = {0, 0, 0};
    float angles[3] = {0, 0, 0};
    float scale[3] = {1, 1, 1};
    uint32_t value = 0;
    uint8_t frameFlags[3] = {0, 0, 0};
    std::shared_ptr<CE3DShape> shape;  // none: an empty shape
    bool hasLight = false;
    SE3DLightRecord light;
    uint8_t treeFlag = 0;
    CPropertyPairs config;  // written in this order
    std::vector<SPackedNode> children;
};

struct SPackedEvent {
    int32_t id = 0;
    std::string name;
};

struct SPackedProject {
    int version = kPackedProjectVersion;
    std::string texts[3];
    std::string blob;
    uint16_t projectId = 1;
    std::vector<std::string> childFolders;
    std::vector<SPackedEvent> events;
    std::vector<SPackedTexture> textures;
    std::vector<SPackedMaterial> materials;
    std::vector<SPackedNode> templates;
};

// The bytes of the whole file. False (out unchanged) when a text is longer
// than its field can hold, an image cannot be stored or the version is below 29.
bool PackedProject_Build(std::vector<uint8_t>& out, const SPackedProject& project);
// The records alone, for fixtures that put files together by hand.
void PackedProject_WriteNode(std::vector<uint8_t>& out, const SPackedNode& node, int version);
bool PackedProject_WriteTexture(std::vector<uint8_t>& out, const SPackedTexture& texture, int version);
void PackedProject_WriteMaterial(std::vector<uint8_t>& out, const SPackedMaterial& material, int version);
// Builds and writes to a Linux path (through a temporary file).
bool PackedProject_WriteFile(const std::string& linuxPath, const SPackedProject& project);

// A shape of one block with no material, ready for a node: the vertices
// (x, y, z, nx, ny, nz each), the face indices (three per face) and, when not
// empty, one set of texture coordinates (u, v each) and one of colours
// (0xAARRGGBB each). The block's material id pair is given.
std::shared_ptr<CE3DShape> PackedProject_MakeShape(const std::vector<float>& vertices,
                                                   const std::vector<uint16_t>& indices,
                                                   const std::vector<float>& texCoords,
                                                   const std::vector<uint32_t>& colors,
                                                   uint16_t materialProject, uint32_t materialId);
// An axis-aligned box of the given half sizes, centred at the origin.
std::shared_ptr<CE3DShape> PackedProject_MakeBox(float hx, float hy, float hz);
// A material without a screen, with one one-stage pass (the engine's
// defaults) whose stage samples the texture of the given id pair.
std::shared_ptr<CE3DMaterial> PackedProject_MakePasses(uint16_t textureProject, uint32_t textureId);
