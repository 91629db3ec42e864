// The GUI packfile reader against a file written by hand, field by field,
// from the format's own description (not by our writer): what it reads, that
// the writer gives the same bytes back, and the files it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/Bytes.h"
#include "tools/lib/GUIPackWriter.h"
#include "ui/GUIPackfile.h"

namespace {

// A name255 field.
void Name(SBytes& b, const std::string& text) {
    for (size_t i = 0; i < 255; ++i) b.U8(i < text.size() ? uint8_t(text[i]) : 0);
}

void Frame(SBytes& b, const char* name, uint32_t id, uint32_t ms, uint32_t value) {
    Name(b, name);
    b.U32(id).U32(ms).U32(value);
}

// Fields 13 to 22 with the font "w x h", alignment and weight, two colours.
void FontAndColours(SBytes& b, uint32_t w, uint32_t h, uint32_t align, uint32_t weight) {
    b.U32(w).U32(h).U8(1).U32(align).U32(weight).U32(0).U8(0).U8(0);
    b.U32(0x10).U32(0x20).U32(0x30);     // colour 1: red 0x10, green 0x20, blue 0x30
    b.U32(0x1FF).U32(0x100).U32(0x280);  // colour 2: only the low bytes count
}

// The file: a root that owns resources, one sound bank of one sample, and
// two screens: GUI 1 with a three-state button (kind 2) that has text, a
// command, a jump and a frame section; GUI 1000 with an object of kind 3 and
// a property.
std::vector<uint8_t> HandMadeFile(uint32_t version = 8, uint32_t objectCount = 5) {
    SBytes b;
    for (char c : std::string("HANDMADE")) b.U8(uint8_t(c));
    b.U32(version);
    for (int i = 0; i < 84; ++i) b.U8(0xAA);  // reserved: skipped whatever it holds
    b.U32(objectCount);
    // Sound banks: one bank, one sample of 4 bytes of 16-bit mono PCM.
    b.U32(1);
    Name(b, "Clicks");
    b.U32(1);
    Name(b, "click");
    b.U32(90).U32(22050).U32(64).U8(0);
    b.U16(1).U16(1).U32(22050).U32(44100).U16(2).U16(16);
    b.U32(4).U32(0x7FFF0000);
    b.U32(7).U32(8).U32(9);  // three values after the banks

    // The root (kind -1: no bitmap fields).
    b.U32(1);
    Name(b, "Root");
    b.I32(0).I32(0).I32(-1).U32(0).U32(0).U32(1).U32(0).I32(-1).U32(0);
    FontAndColours(b, 6, 12, 0, 3);
    b.U32(0);  // no text
    b.U32(0);  // no command
    Name(b, "Helvetica Condensed");
    b.U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);  // hover, bank, F, samples
    b.U8(0);                                                    // no frames
    b.U32(0);                                                   // no properties
    b.U32(0).U32(0).I32(0).U32(0).U32(0);                       // J, 36, id, jump target, jump flag
    b.U32(0);                                                   // no resources
    b.U32(2);                                                   // two screens

    // GUI 1, owning two resources, with the button as its child.
    b.U32(1);
    Name(b, "Main menu");
    b.I32(0).I32(0).I32(0).U32(0).U32(0).U32(1).U32(0).I32(0).U32(0);
    b.U32(5);  // kind 0: the background's bitmap id
    FontAndColours(b, 6, 12, 0, 3);
    b.U32(0).U32(0);
    Name(b, "Helvetica Condensed");
    b.U32(0).U32(1).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);  // sound bank 1
    b.U8(0);
    b.U32(0);
    b.U32(0).U32(0).I32(1).U32(0).U32(0);  // GUI id 1
    b.U32(2);
    Name(b, "panel");
    b.U32(5);
    Name(b, "button_states");
    b.U32(6);
    b.U32(1);

    // The button: kind 2, extra A 1 (shown).
    b.U32(0);
    Name(b, "Skirmish button");
    b.I32(100).I32(-20).I32(2).U32(1).U32(2).U32(1).U32(0).I32(2).U32(0);
    b.U32(6).U32(7).U32(8);  // bitmaps of the states 0, 1, 2
    b.I32(10).I32(11).I32(12).I32(13).I32(-14).I32(15);
    FontAndColours(b, 0, 13, 1, 6);
    b.U32(2);
    Name(b, "Skirmish");
    Name(b, std::string(255, 'x'));  // a line filling its field: no zero byte
    b.U32(24);
    for (char c : std::string("G_SetActiveGUI(600);\0abc", 24)) b.U8(uint8_t(c));
    Name(b, "Tahoma");
    b.U32(1).U32(1).U32(0).U32(1).U32(2).U32(3).U32(4).U32(5);  // hover flag, bank 1, samples 1..5
    b.U8(1);                                                    // frames
    b.U32(2);
    Frame(b, "a", 6, 100, 0);
    Frame(b, "b", 7, 200, 9);
    b.U8(1);
    Frame(b, "held", 8, 50, 0);
    b.U32(3).U32(1).U8(4);  // extra G, sequence stops, extra I
    b.U32(2);
    Name(b, "ID");
    Name(b, "SkirmishButton");
    Name(b, "aLiGn");
    Name(b, "Left");
    b.U32(0).U32(0).I32(0).U32(600).U32(1);  // jump to 600
    b.U32(0);                                // no children (not owning: no resource count)

    // GUI 1000 with one object of kind 3.
    b.U32(1);
    Name(b, "HUD");
    b.I32(0).I32(0).I32(0).U32(0).U32(0).U32(1).U32(0).I32(0).U32(0);
    b.U32(0);
    FontAndColours(b, 6, 12, 0, 3);
    b.U32(0).U32(0);
    Name(b, "Helvetica Condensed");
    b.U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
    b.U8(0);
    b.U32(0);
    b.U32(0).U32(0).I32(1000).U32(0).U32(0);
    b.U32(0);
    b.U32(1);
    b.U32(0);
    Name(b, "Radar");
    b.I32(480).I32(0).I32(3).U32(0).U32(0).U32(1).U32(0).I32(3).U32(0);
    FontAndColours(b, 6, 12, 0, 3);  // the font width follows field 11 at once
    b.U32(0).U32(0);
    Name(b, "Helvetica Condensed");
    b.U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0).U32(0);
    b.U8(0);
    b.U32(1);
    Name(b, "ID");
    Name(b, "RadarPanel");
    b.U32(0).U32(0).I32(0).U32(0).U32(0);
    b.U32(0);
    return b.b;
}

bool Parse(const std::vector<uint8_t>& bytes, SGUIPack& pack, std::string& error) {
    return GUIPack_Parse(bytes.data(), bytes.size(), pack, error);
}

}  // namespace

TEST(GUIPackfile, ReadsAFileMadeFromTheLayout) {
    std::vector<uint8_t> file = HandMadeFile();
    SGUIPack pack;
    std::string error;
    ASSERT_TRUE(Parse(file, pack, error)) << error;
    EXPECT_EQ(pack.objects, 5u);
    ASSERT_EQ(pack.banks.size(), 1u);
    EXPECT_EQ(pack.banks[0].name, "Clicks");
    ASSERT_EQ(pack.banks[0].samples.size(), 1u);
    EXPECT_EQ(pack.banks[0].samples[0].name, "click");
    EXPECT_EQ(pack.banks[0].samples[0].data.size(), 4u);
    EXPECT_EQ(pack.banks[0].raw.size(), 255u + 4 + 255 + 13 + 16 + 4 + 4);
    EXPECT_EQ(pack.bankTail[2], 9u);

    const SGUIObjectRecord& root = pack.root;
    EXPECT_EQ(root.kind, -1);
    ASSERT_EQ(root.children.size(), 2u);
    const SGUIObjectRecord& menu = root.children[0];
    EXPECT_EQ(menu.guiId, 1);
    EXPECT_EQ(menu.bitmapId, 5u);
    EXPECT_EQ(menu.soundBank, 1u);
    ASSERT_EQ(menu.resources.size(), 2u);
    EXPECT_EQ(menu.resources[1].name, "button_states");
    EXPECT_EQ(menu.resources[1].id, 6);

    ASSERT_EQ(menu.children.size(), 1u);
    const SGUIObjectRecord& button = menu.children[0];
    EXPECT_EQ(button.name, "Skirmish button");
    EXPECT_EQ(button.x, 100);
    EXPECT_EQ(button.y, -20);
    EXPECT_EQ(button.kind, 2);
    EXPECT_EQ(button.extraA, 1u);
    EXPECT_EQ(button.layer, 2);
    EXPECT_EQ(button.stateBitmapIds[2], 8u);
    EXPECT_EQ(button.statePositions[2][0], -14);
    EXPECT_EQ(button.statePositions[2][1], 15);
    EXPECT_EQ(button.fontHeight, 13u);
    EXPECT_EQ(button.textAlign, 1u);
    EXPECT_EQ(button.fontWeightIndex, 6u);
    EXPECT_EQ(button.color2[0], 0x1FFu);
    ASSERT_EQ(button.textLines.size(), 2u);
    EXPECT_EQ(button.textLines[0], "Skirmish");
    EXPECT_EQ(button.textLines[1], std::string(255, 'x'));
    EXPECT_EQ(button.commandText.size(), 24u);
    EXPECT_STREQ(button.commandText.c_str(), "G_SetActiveGUI(600);");
    EXPECT_EQ(button.fontName, "Tahoma");
    EXPECT_EQ(button.eventSamples[4], 5u);
    ASSERT_EQ(button.frames.size(), 2u);
    EXPECT_EQ(button.frames[1].duration, 200);
    EXPECT_EQ(button.frames[1].value, 9);
    EXPECT_TRUE(button.hasCurrentFrame);
    EXPECT_EQ(button.currentFrame.name, "held");
    EXPECT_EQ(button.extraG, 3u);
    EXPECT_EQ(button.sequenceStops, 1u);
    EXPECT_EQ(button.extraI, 4u);
    ASSERT_EQ(button.properties.size(), 2u);
    EXPECT_EQ(button.properties[1].name, "aLiGn");
    EXPECT_EQ(button.jumpTarget, 600u);
    EXPECT_EQ(button.jumpFlag, 1u);

    const SGUIObjectRecord& radar = root.children[1].children.at(0);
    EXPECT_EQ(root.children[1].guiId, 1000);
    EXPECT_EQ(radar.kind, 3);
    EXPECT_EQ(radar.fontWidth, 6u);
    EXPECT_EQ(radar.properties.at(0).value, "RadarPanel");
}

TEST(GUIPackfile, TheWriterGivesBackTheBytesItWasRead) {
    std::vector<uint8_t> file = HandMadeFile();
    SGUIPack pack;
    std::string error;
    ASSERT_TRUE(Parse(file, pack, error)) << error;
    std::vector<uint8_t> written;
    ASSERT_TRUE(GUIPack_Build(pack, written, error)) << error;
    // The reserved bytes are the one part the writer does not keep (zeros).
    for (size_t i = 12; i < 96; ++i) file[i] = 0;
    EXPECT_EQ(written, file);

    // The smallest file: a root that owns resources and nothing else.
    SGUIPack empty;
    empty.root.ownsResources = 1;
    ASSERT_TRUE(GUIPack_Build(empty, written, error));
    EXPECT_EQ(written.size(), 790u);
    ASSERT_TRUE(Parse(written, pack, error)) << error;
    EXPECT_EQ(pack.objects, 1u);
}

TEST(GUIPackfile, RefusesWhatItCannotBelieve) {
    std::string error;
    SGUIPack pack;
    EXPECT_FALSE(Parse(HandMadeFile(7), pack, error));
    EXPECT_NE(error.find("version is 7"), std::string::npos) << error;
    EXPECT_TRUE(Parse(HandMadeFile(8, 16384), pack, error)) << error;
    EXPECT_FALSE(Parse(HandMadeFile(8, 16385), pack, error));
    EXPECT_NE(error.find("16385"), std::string::npos) << error;

    // Cut anywhere, the file is refused.
    const std::vector<uint8_t> whole = HandMadeFile();
    for (size_t cut = 0; cut < whole.size(); ++cut) {
        std::vector<uint8_t> part(whole.begin(), whole.begin() + cut);
        ASSERT_FALSE(Parse(part, pack, error)) << "cut at " << cut;
    }

    // Counts and lengths that claim more than the file holds.
    const size_t root = 116 + 255 + 4 + (255 + 13 + 16 + 4 + 4);  // the header and the bank section
    struct SCase {
        const char* what;
        size_t at;
        uint32_t value;
    } cases[] = {
        {"sound bank count", 100, 300},
        {"sample count", 104 + 255, 0x7FFFFFFF},
        {"sample size", 104 + 255 + 4 + 255 + 29, 0xFFFFFFF0},
        {"root's text line count", root + 342, 0xFFFFFFFF},
        {"root's command length", root + 346, 0x10000000},
        {"root's property count", root + 638, 0x20000000},
        {"root's resource count", root + 662, 0x40000000},
        {"root's child count", root + 666, 0xFFFFFFFF},
    };
    for (const SCase& c : cases) {
        std::vector<uint8_t> bad = whole;
        for (int i = 0; i < 4; ++i) bad[c.at + i] = uint8_t(c.value >> (8 * i));
        EXPECT_FALSE(Parse(bad, pack, error)) << c.what;
    }
}

TEST(GUIPackfile, RefusesTreesTooLargeOrTooDeep) {
    std::string error;
    std::vector<uint8_t> bytes;
    SGUIPack pack;
    pack.root.ownsResources = 1;
    // A chain of objects one below the other, deeper than the reader goes.
    SGUIObjectRecord* at = &pack.root;
    for (int i = 0; i < 70; ++i) {
        at->children.emplace_back();
        at = &at->children.back();
    }
    EXPECT_FALSE(GUIPack_Build(pack, bytes, error));
    // More records than 0x4000, under a count that claims fewer.
    SGUIPack wide;
    wide.root.ownsResources = 1;
    wide.root.children.resize(kGUIPackMaxObjects);
    ASSERT_TRUE(GUIPack_Build(wide, bytes, error, 100)) << error;
    SGUIPack read;
    EXPECT_FALSE(GUIPack_Parse(bytes.data(), bytes.size(), read, error));
    EXPECT_NE(error.find("more than 16384 objects"), std::string::npos) << error;
    wide.root.children.pop_back();
    ASSERT_TRUE(GUIPack_Build(wide, bytes, error)) << error;
    EXPECT_TRUE(GUIPack_Parse(bytes.data(), bytes.size(), read, error)) << error;
    EXPECT_EQ(read.objects, kGUIPackMaxObjects);
}
