// The GUI packfile: the stored form of a whole interface, its sound banks and
// the tree of GUI objects with their texts, fonts, properties, frame
// sequences and the names of their pictures. The game only reads it
// (GUIPack_Parse, then CInterface::LoadGUI builds the objects); the content
// builder writes it (tools/lib/GUIPackWriter).
//
// All numbers are little-endian; u32 is 32 bits, u8 one byte, name255 a fixed
// field of 255 bytes holding text up to its first zero byte (a field without
// a zero byte holds all 255 characters).
//
//   header        8 bytes, not interpreted (the writer puts "TSKGUI\0\0")
//   version       u32, only 8 is read
//   reserved      84 bytes, skipped (zeros)
//   object count  u32, at most 0x4000
//   sound banks   u32 count, the bank records, then 3 x u32 not interpreted (zeros)
//   object tree   the root's object record; its children follow inside it
//
// A sound bank record: name255; u32 sample count; per sample name255, u32
// volume, u32 rate, u32 pan, u8 flag, the wave format (u16 tag, u16
// channels, u32 samples a second, u32 bytes a second, u16 block align, u16
// bits), u32 data size and the data (the sound engine's sample reader, which
// plays them, reads the same record).
//
// An object record, in this order:
//    1 u32 owns resources           2 name255 name
//    3 s32 x      4 s32 y      5 s32 kind      6 u32 extra A
//    7 u32 bitmap state    8 u32 visible    9 u32 children hidden
//   10 s32 layer      11 u32 extra B
//   12 kind 0: u32 bitmap id; kind 1: u32 second bitmap id; kind 2: 3 x u32
//      bitmap ids of the states 0, 1, 2, then 3 x (s32 x, s32 y) their
//      positions; any other kind: nothing
//   13 u32 font width    14 u32 font height    15 u8 extra C
//   16 u32 text alignment    17 u32 font weight index    18 u32 font attributes
//   19 u8 extra D    20 u8 extra E
//   21 3 x u32 colour 1 (the low bytes are red, green and blue)
//   22 3 x u32 colour 2
//   23 u32 n, then n x name255 text lines
//   24 u32 length, then that many bytes of command text
//   25 name255 font name    26 u32 hover flag    27 u32 sound bank (1-based, 0 none)
//   28 u32 extra F    29 5 x u32 event samples (1-based, 0 none)
//   30 u8 frame section present; only when it is not 0:
//   31    u32 count and that many frame records
//   32    u8 current frame present, then one frame record when it is not 0
//   33    u32 extra G, u32 sequence stops, u8 extra I
//   34 u32 count and that many property records (name255 name, name255 value)
//   35 u32 extra J    36 u32 not interpreted    37 s32 GUI id
//   38 u32 jump target    39 u32 jump flag
//   40 only when it owns resources: u32 count and that many resource
//      records (name255 name, u32 id)
//   41 u32 child count    42 the children's records
// A frame record: name255 name, u32 resource id, u32 duration (ms), u32 a
// further value.
//
// The reader believes no count or length beyond the bytes that are left,
// and keeps the limits below; a file that breaks one is refused whole, with
// the reason, before anything of the loaded interface changes.
//
// What the extra values hold is this system's choice (the format leaves
// them open): extra A to J are kept and written back unchanged and mean
// nothing to the game, except extra A, which is the shown flag of the HUD's
// panels (1 shown, 0 not; EnergyPanel and HeldInfo draw only when it is set);
// the writer puts 1 into extra C, 0 into the others.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

enum : uint32_t {
    kGUIPackVersion = 8,
    kGUIPackMaxObjects = 0x4000,
    kGUIPackNameBytes = 255,
    kGUIPackHeaderBytes = 8,
    kGUIPackReservedBytes = 84,
    // Limits of this reader (none is near what an interface needs).
    kGUIPackMaxDepth = 64,               // levels of children below the root
    kGUIPackMaxBanks = 256,              // sound banks
    kGUIPackMaxBankSamples = 4096,       // samples in one bank
    kGUIPackMaxCommandBytes = 64 << 10,  // one object's command text
};

struct SGUIFrameRecord {
    std::string name;
    int32_t resourceId = 0;
    int32_t duration = 0;  // milliseconds
    int32_t value = 0;
};

struct SGUIPropertyRecord {
    std::string name, value;
};

struct SGUIResourceRecord {
    std::string name;  // a picture of the GUI folder's "resources" folder, without extension
    int32_t id = 0;
};

struct SGUIObjectRecord {
    uint32_t ownsResources = 0;
    std::string name;
    int32_t x = 0, y = 0;
    int32_t kind = 0;
    uint32_t extraA = 0;
    uint32_t bitmapState = 0;
    uint32_t visible = 1;
    uint32_t childrenHidden = 0;
    int32_t layer = -1;
    uint32_t extraB = 0;
    uint32_t bitmapId = 0;     // kind 0
    uint32_t altBitmapId = 0;  // kind 1
    uint32_t stateBitmapIds[3] = {0, 0, 0};
    int32_t statePositions[3][2] = {{0, 0}, {0, 0}, {0, 0}};
    uint32_t fontWidth = 6, fontHeight = 12;
    uint8_t extraC = 1;
    uint32_t textAlign = 0;
    uint32_t fontWeightIndex = 3;
    uint32_t fontAttributes = 0;
    uint8_t extraD = 0, extraE = 0;
    uint32_t color1[3] = {255, 255, 255};
    uint32_t color2[3] = {255, 255, 255};
    std::vector<std::string> textLines;
    std::string commandText;  // the stored bytes (the game reads them up to a zero byte)
    std::string fontName = "Helvetica Condensed";
    uint32_t hoverFlag = 0;
    uint32_t soundBank = 0;
    uint32_t extraF = 0;
    uint32_t eventSamples[5] = {0, 0, 0, 0, 0};
    uint8_t hasFrames = 0;
    std::vector<SGUIFrameRecord> frames;
    uint8_t hasCurrentFrame = 0;
    SGUIFrameRecord currentFrame;
    uint32_t extraG = 0, sequenceStops = 0;
    uint8_t extraI = 0;
    std::vector<SGUIPropertyRecord> properties;
    uint32_t extraJ = 0;
    uint32_t field36 = 0;
    int32_t guiId = 0;
    uint32_t jumpTarget = 0, jumpFlag = 0;
    std::vector<SGUIResourceRecord> resources;
    std::vector<SGUIObjectRecord> children;
};

struct SGUIBankSampleRecord {
    std::string name;
    uint32_t volume = 100, rate = 22050, pan = 64;
    uint8_t flag = 0;
    uint16_t formatTag = 1, channels = 1;
    uint32_t samplesPerSec = 22050, avgBytesPerSec = 44100;
    uint16_t blockAlign = 2, bits = 16;
    std::string data;
};

struct SGUISoundBankRecord {
    std::string name;
    std::vector<SGUIBankSampleRecord> samples;
    // The record's bytes as stored: what the sound engine's bank reader takes.
    std::string raw;
};

struct SGUIPack {
    uint8_t header[kGUIPackHeaderBytes] = {'T', 'S', 'K', 'G', 'U', 'I', 0, 0};
    uint32_t version = kGUIPackVersion;
    uint32_t objectCount = 0;  // as stored; the reader counts the records itself
    std::vector<SGUISoundBankRecord> banks;
    uint32_t bankTail[3] = {0, 0, 0};
    SGUIObjectRecord root;
    uint32_t objects = 0;  // records read, the root included
};

// Reads a whole packfile held in memory; false with the reason (in plain
// English, without the file's name) when it is not one this game reads.
bool GUIPack_Parse(const uint8_t* data, size_t size, SGUIPack& out, std::string& error);
// Whether the bytes begin as a packfile of the version this game reads (its
// header and version number whole); what follows is not looked at.
bool GUIPack_IsPackfileOfOurVersion(const uint8_t* data, size_t size);
