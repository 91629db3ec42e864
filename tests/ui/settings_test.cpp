// The settings lists: an entry's steps, typed values, limits and read-only
// state; the lists that g_ParseSettingsList builds from the game's values
// (console variables through their own rows, the display the game asks for,
// the network game's); the graphics presets and the display chain over a
// display's modes; the connection presets.
#include "ui/Settings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "e3d/Font.h"
#include "e3d/Surface.h"
#include "platform/font/FontRaster.h"
#include "tests/support/CommandConsole.h"
#include "tests/support/TempDir.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "ui/SettingsLists.h"

namespace {

int s_calls = 0;
void Count(CSettingEntry*) {
    ++s_calls;
}

const char* Texts(int32_t i) {
    static const char* const kNames[] = {"", "", "", "", "", "", "ON", "OFF"};
    return i >= 0 && i < 8 ? kNames[i] : "?";
}

struct SOwnEntries : ::testing::Test {
    void SetUp() override {
        s_calls = 0;
        c.m_systemText = Texts;
    }
    CSettingClass c{"Test", nullptr};
    int32_t value = 10;
};

}  // namespace

TEST_F(SOwnEntries, NumbersStepWithinTheirLimitsAndTypedTextIsReadWhole) {
    CSettingEntry* e = c.AddInt(1, Count, kSettingBasic, SettingValue_Int(&value), 1, 10, 1);
    e->Increase();  // at the maximum: nothing written, no callback
    EXPECT_EQ(value, 10);
    EXPECT_EQ(s_calls, 0);
    e->Decrease();
    EXPECT_EQ(value, 9);
    EXPECT_EQ(s_calls, 1);
    struct {
        const char* text;
        int32_t expected;
    } typed[] = {{"25", 10}, {"abc", 10}, {"3 4", 10}, {"-7", 1}, {" 5 ", 5}, {"", 5}};
    for (const auto& t : typed) {
        e->SetFromText(t.text);
        EXPECT_EQ(value, t.expected) << t.text;
    }
    EXPECT_EQ(e->ValueText(), "5");
    // A stored value below the minimum is raised when the entry is built.
    int32_t low = -4;
    c.AddInt(1, nullptr, kSettingBasic, SettingValue_Int(&low), 0, 100, 5);
    EXPECT_EQ(low, 0);

    // Floats: their decimals, degrees typed and kept in radians.
    float f = 0.5f;
    SSettingValue fv;
    fv.shown = [&f] { return double(f); };
    fv.set = [&f](double x) { f = float(x); };
    CSettingEntry* precise = c.AddFloat(1, nullptr, kSettingBasic, fv, 0.0f, 10.0f, 0.25f, 3, false);
    EXPECT_EQ(precise->ValueText(), "0.500");
    f = 2.5f;
    precise->m_decimals = 0;
    EXPECT_EQ(precise->ValueText(), "3");
    CSettingEntry* angle = c.AddFloat(1, nullptr, kSettingBasic, fv, 0.0f, 7.0f, 0.1f, 2, true);
    angle->SetFromText("180");
    EXPECT_NEAR(f, 3.14159f, 1e-4f);
    angle->SetFromText("720");  // clamped after the conversion
    EXPECT_FLOAT_EQ(f, 7.0f);
}

TEST_F(SOwnEntries, BoolsToggleChoicesStopAtTheirEndsAndReadOnlyEntriesStay) {
    CSettingEntry* b = c.AddBool(1, Count, kSettingBasic, SettingValue_Int(&value));
    value = 1;
    EXPECT_EQ(b->ValueText(), "ON");
    b->Increase();
    EXPECT_EQ(value, 0);
    EXPECT_EQ(b->ValueText(), "OFF");
    b->Decrease();
    EXPECT_EQ(value, 1);
    EXPECT_EQ(s_calls, 2);  // each toggle, though a bool has no limits

    CSettingEntry* ch = c.AddChoice(1, Count, kSettingBasic, SettingValue_Int(&value));
    ch->AddChoiceText("Low", 3);
    ch->AddChoiceText("High", 9);
    value = 5;  // no choice has it
    EXPECT_EQ(ch->ValueText(), "|Error|");
    ch->Increase();
    EXPECT_EQ(value, 9);  // the last
    value = 5;
    ch->Decrease();
    EXPECT_EQ(value, 3);  // the first
    s_calls = 0;
    ch->Decrease();  // no wrap at either end
    EXPECT_EQ(value, 3);
    EXPECT_EQ(s_calls, 0);
    ch->SetFromText("hIgH");
    EXPECT_EQ(value, 9);
    ch->SetFromText("Medium");
    EXPECT_EQ(value, 9);

    std::string text = "kept";
    CSettingEntry* s = c.AddString(1, Count, kSettingBasic, SettingValue_Text(&text), 5);
    s->SetFromText("a name far too long");
    EXPECT_EQ(text, "a nam");
    c.SetReadOnly(true);
    s_calls = 0;
    for (CSettingEntry* e : {b, ch, s}) {
        e->Increase();
        e->Decrease();
        e->SetFromText("Low");
    }
    EXPECT_EQ(value, 9);
    EXPECT_EQ(text, "a nam");
    EXPECT_EQ(s_calls, 0);
    EXPECT_EQ(c.Count(false), 3);
    EXPECT_EQ(c.Count(true), 0);
}

namespace {

// The game's display and its drivers as a test gives them.
class CTestOptions : public IGUIGame {
public:
    bool VideoRequest(SVideoRequest& out) override {
        out = request;
        return true;
    }
    void SetVideoRequest(const SVideoRequest& r) override {
        request = r;
        ++requests;
    }
    std::vector<SDisplayDriver> DisplayDrivers() override { return drivers; }
    int32_t AIDifficulty() override { return difficulty; }
    void SetAIDifficulty(int32_t d) override { difficulty = d; }

    SVideoRequest request;
    std::vector<SDisplayDriver> drivers;
    int requests = 0;
    int32_t difficulty = 0;
};

SDisplayDriver Driver(const char* description, uint8_t id, std::vector<SGUIDisplayMode> modes) {
    SDisplayDriver d;
    d.name = description;
    d.description = description;
    d.guid[0] = id;
    d.modes = modes;
    return d;
}

class ParsedLists : public ::testing::Test {
protected:
    void SetUp() override {
        ip = console.Start(game);
        ui = game.Interface();
        ui->RegisterGUICommands(ip);
        SInterfaceRoles roles = game.Roles().Interface();
        roles.gui = &options;
        ui->SetRoles(roles);
        ui->SetNetGame(net);
        // The render options' rows the texture filters are kept in (the view
        // area registers the game's own).
        for (const char* name : {"cg_TextureMagnification", "cg_TextureMinification", "cg_TextureMipmapMode"})
            if (!ip->GetCommand(name)) {
                SCommandRow row = SCommandRow::Int(name, &filters[filterCount++], 1, 5, "", "");
                CommandTable_Register(ip, &row, 1);
            }
    }
    void TearDown() override { console.Stop(); }
    CSettingEntry* Entry(const char* list, int index) {
        return ui->FindSettingClass(list)->m_entries.at(size_t(index)).get();
    }
    std::vector<std::string> Labels(CSettingEntry* e) {
        std::vector<std::string> out;
        for (const SSettingChoice& c : e->m_choices) out.push_back(e->ChoiceLabel(c));
        return out;
    }

    CTempDir dir;
    CCommandGame session{dir.Win().c_str()};
    CGame& game = session.game;
    CNetGame* net = session.net;
    CCommandConsole console;
    CCommandInterpreter* ip = nullptr;
    CInterface* ui = nullptr;
    CTestOptions options;
    int32_t filters[3] = {2, 2, 2};
    int filterCount = 0;
};

}  // namespace

TEST_F(ParsedLists, EveryListIsBuiltWithItsRowsAndTheValuesOutsideTheirLimitsPulledIn) {
    console.Run("cl_Rate(400); Interfaceopt_NumMessagesLines(0);");
    console.Run("g_ParseSettingsList();");
    const struct {
        const char* name;
        int32_t basic, advanced;
    } lists[] = {{"GraphicsClass", 0, 0},    {"GraphicsGraphicsClass", 6, 19},
                 {"SoundClass", 5, 0},       {"MusicClass", 3, 0},
                 {"InterfaceClass", 6, 0},   {"MultiplayerSettings", 3, 6},
                 {"MultiplayerLobby", 7, 5}, {"ServerStats", 6, 0},
                 {"MatchServers", 10, 26}};
    for (const auto& l : lists) {
        CSettingClass* c = ui->FindSettingClass(l.name);
        ASSERT_TRUE(c) << l.name;
        EXPECT_EQ(c->Count(false), l.basic) << l.name;
        EXPECT_EQ(c->Count(true), l.advanced) << l.name;
        // Every label and choice is a system text the language gives.
        for (auto& e : c->m_entries) {
            EXPECT_GE(e->m_name, 0) << l.name;
            for (const SSettingChoice& ch : e->m_choices)
                EXPECT_TRUE(ch.textId >= 0 || !ch.text.empty()) << l.name;
        }
    }
    EXPECT_FLOAT_EQ(net->m_clientRate, 1350.0f);
    EXPECT_EQ(ui->m_MessageLines, 1);
    // The statistics change nothing.
    CSettingEntry* stats = Entry("ServerStats", 1);
    const int32_t units = net->m_serverInfo.m_maxUnits;
    stats->Increase();
    stats->SetFromText("5");
    EXPECT_EQ(net->m_serverInfo.m_maxUnits, units);
}

TEST_F(ParsedLists, EntriesWriteTheGamesValuesThroughTheirOwners) {
    console.Run("g_ParseSettingsList();");
    // A row writes its variable as a script does, clamped as the list says.
    CSettingEntry* lines = Entry("InterfaceClass", 5);
    lines->SetFromText("25");
    EXPECT_EQ(console.Run("Interfaceopt_NumMessagesLines;"),
              std::vector<std::string>({"Interfaceopt_NumMessagesLines = 10"}));
    lines->Decrease();
    EXPECT_EQ(ui->m_MessageLines, 9);
    lines->SetFromText("0");  // the variable takes 0, the list 1 at least
    EXPECT_EQ(ui->m_MessageLines, 1);
    // The game speed's row sets the session's speed through its variable.
    CSettingEntry* speed = Entry("InterfaceClass", 2);
    speed->SetFromText("sysLID_general_VeryHigh");  // a choice's label in any case
    EXPECT_EQ(ui->m_GameSpeedSetting, 5);
    EXPECT_FLOAT_EQ(net->m_speedFactor, 100.0f);
    console.Run("Interfaceopt_GameSpeed(9);");
    EXPECT_EQ(ui->m_GameSpeedSetting, 5);
    console.Run("Interfaceopt_GameSpeed(1);");
    EXPECT_FLOAT_EQ(net->m_speedFactor, 0.2f);
    // The lobby shows what the server announced and writes the host's
    // settings; a client's change goes nowhere.
    CSettingEntry* resources = Entry("MultiplayerLobby", 2);
    net->m_joinedInfo.m_startResources = 1500;
    net->m_serverInfo.m_startResources = 1500;
    EXPECT_EQ(resources->ValueText(), "1500");
    resources->Increase();
    EXPECT_EQ(net->m_serverInfo.m_startResources, 2000);
    EXPECT_EQ(resources->ValueText(), "1500");  // until the server says so
    CSettingEntry* difficulty = Entry("MultiplayerLobby", 5);
    difficulty->SetFromText("SYSLID_HARD");
    EXPECT_EQ(options.difficulty, 2);
}

TEST_F(ParsedLists, TheDisplayChainFollowsTheDriversModes) {
    const std::vector<SGUIDisplayMode> modes = {
        {320, 200, 16, 60}, {800, 600, 32, 60}, {800, 600, 32, 75}, {1024, 768, 32, 60}, {800, 600, 16, 60}};
    options.drivers = {Driver("PRIMARY display driver", 0, modes), Driver("Twin", 0, modes),
                       Driver("Blank", 2, {}), Driver("Second", 3, {{1280, 1024, 32, 60}})};
    options.request.windowed = false;
    options.request.bitDepth = 16;
    options.request.width = 800;
    options.request.height = 600;
    console.Run("g_ParseSettingsList();");
    CSettingsLists* s = ui->m_settings.get();
    // One driver per GUID; none without modes; the primary one by its name.
    EXPECT_EQ(Labels(s->m_driverEntry), std::vector<std::string>({"Primary", "Second"}));
    EXPECT_EQ(s->m_screenMode, 16);
    // Sizes below 640 x 480 never show, each size once, smallest first.
    EXPECT_EQ(Labels(s->m_resolutionEntry), std::vector<std::string>({"800x600"}));
    s->m_screenModeEntry->Increase();  // 16 -> 32
    EXPECT_EQ(s->m_screenMode, 32);
    EXPECT_EQ(Labels(s->m_resolutionEntry), std::vector<std::string>({"800x600", "1024x768"}));
    // The refresh rates of the chosen size, the default first; a rate the
    // size lacks falls back to the default.
    EXPECT_EQ(Labels(s->m_refreshEntry), std::vector<std::string>({"SYSLID_GENERAL_DEFAULT", "60", "75"}));
    s->m_refreshEntry->Increase();
    EXPECT_EQ(options.request.refreshRate, 60);
    s->m_resolutionEntry->Increase();
    EXPECT_EQ(options.request.width, 1024);
    EXPECT_EQ(options.request.refreshRate, 60);
    // A driver of 32-bit modes only takes a 16-bit screen mode to 32.
    options.request.bitDepth = 16;
    s->m_screenMode = 16;
    s->m_driverEntry->Increase();
    EXPECT_EQ(options.request.driver, "Second");
    EXPECT_EQ(s->m_screenMode, 32);
    EXPECT_EQ(Labels(s->m_screenModeEntry),
              std::vector<std::string>(
                  {"SYSLID_GUISETTING_VIDEO_32BITFULLSCREEN", "SYSLID_GUISETTING_VIDEO_WINDOWED"}));
    // In a window the usual window sizes the display holds are offered too.
    s->m_screenModeEntry->Increase();
    EXPECT_EQ(s->m_screenMode, 0);
    EXPECT_TRUE(options.request.windowed);
    std::vector<std::string> window = Labels(s->m_resolutionEntry);
    EXPECT_EQ(window.front(), "640x480");
    EXPECT_EQ(window.back(), "1280x1024");
    EXPECT_EQ(Labels(s->m_refreshEntry), std::vector<std::string>({"SYSLID_GENERAL_DEFAULT"}));
}

TEST_F(ParsedLists, PresetsAreAppliedAndDetected) {
    const std::vector<SGUIDisplayMode> modes = {{640, 480, 16, 60}, {800, 600, 16, 60}, {1024, 768, 32, 60}};
    options.drivers = {Driver("Primary Display Driver", 0, modes)};
    console.Run("g_ParseSettingsList();");
    CSettingsLists* s = ui->m_settings.get();
    // "Other" applies the first preset.
    s->m_qualityPreset = 4;
    CSettingEntry* quality = Entry("GraphicsGraphicsClass", 0);
    quality->m_callback(quality);
    EXPECT_EQ(s->m_qualityPreset, 0);
    EXPECT_FALSE(options.request.windowed);
    EXPECT_EQ(options.request.bitDepth, 16);
    EXPECT_EQ(options.request.width, 640);
    EXPECT_EQ(options.request.textureDetail, 2);
    quality->Increase();
    quality->Increase();  // medium
    EXPECT_EQ(options.request.width, 800);
    EXPECT_EQ(options.request.textureDetail, 0);
    EXPECT_EQ(s->m_qualityPreset, 2);
    quality->Increase();  // high: 32 bits, trilinear
    EXPECT_EQ(options.request.width, 1024);
    EXPECT_EQ(options.request.textureQuality, 64);
    EXPECT_EQ(s->m_textureFilter, 1);
    EXPECT_EQ(s->m_qualityPreset, 3);
    // The texture filter steps bilinear, trilinear, bilinear.
    CSettingEntry* filter = Entry("GraphicsGraphicsClass", 8);
    filter->Decrease();
    EXPECT_EQ(s->m_textureFilter, 0);
    filter->Increase();
    EXPECT_EQ(s->m_textureFilter, 1);
    filter->Increase();
    EXPECT_EQ(s->m_textureFilter, 0);
    EXPECT_EQ(s->m_qualityPreset, 4);  // high's filter no more

    // Connection presets: both rates and the packet size; 1350 and 1024
    // match none.
    CSettingEntry* connection = Entry("MultiplayerSettings", 1);
    connection->SetFromText("SYSLID_CONNECTION_100MBIT");
    EXPECT_FLOAT_EQ(net->m_clientRate, 3000000.0f);
    EXPECT_EQ(net->m_maxPacketSize, 1350);
    EXPECT_EQ(s->m_connectionPreset, 13);
    console.Run("nw_MaxPacketSize(1024);");
    s->DetectConnectionPreset();
    EXPECT_EQ(s->m_connectionPreset, 0);
    EXPECT_EQ(CSettingsLists::ConnectionClassFromRate(3000000.0f), 13);
    EXPECT_EQ(CSettingsLists::ConnectionClassFromRate(2999999.0f), 12);
    EXPECT_EQ(CSettingsLists::ConnectionClassFromRate(1000000.0f), 12);
}

namespace {
// Every glyph but the blank a solid block, 8 pixels high.
class CBlockGlyphs : public IFontRasterizer {
public:
    bool Select(const SFontRequest&) override { return true; }
    bool Extent(uint8_t, int32_t& w, int32_t& h) override {
        w = 4;
        h = 8;
        return true;
    }
    void Draw(uint8_t c, SFontCanvas& canvas, int x, int y) override {
        if (c == ' ') return;
        for (int j = 0; j < 8; ++j)
            for (int i = 0; i < 3; ++i) canvas.Set(x + i, y + j);
    }
};
}  // namespace

// The interface's message-lines setting is what the screen messages show:
// five echoed lines drawn under the setting 3 light three rows, under 1 one.
TEST_F(ParsedLists, TheMessageLinesSettingDecidesTheScreenMessagesShown) {
    CBlockGlyphs glyphs;
    CE3DFont font{nullptr};
    font.Build(glyphs, "Block", 0, 8, 700, 0, 0);
    CE3DSurface canvas{nullptr};
    ASSERT_TRUE(canvas.Create(640, 200, true));
    for (int i = 0; i < 5; ++i) ui->m_console.Print("AB", false, 255, 255, 255, true);
    auto rowsLit = [&]() {
        canvas.ResetClip();
        canvas.Fill(0);
        ui->m_console.DrawScreenMessages(&canvas, &font);
        EXPECT_TRUE(canvas.Lock());
        int rows = 0;
        for (int y = 0; y < 200; ++y) {
            const uint8_t* p = canvas.Bits() + y * canvas.Pitch() + 80 * int(canvas.m_bytesPerPixel);
            const bool lit = (SoftPixel_Read(p, int(canvas.m_bytesPerPixel)) & 0xFFFFFF) != 0;
            const uint8_t* above = p - canvas.Pitch();
            const bool litAbove =
                y > 0 && (SoftPixel_Read(above, int(canvas.m_bytesPerPixel)) & 0xFFFFFF) != 0;
            rows += lit && !litAbove;  // the top of a drawn row
        }
        canvas.Unlock();
        return rows;
    };
    console.Run("Interfaceopt_NumMessagesLines(3);");
    EXPECT_EQ(rowsLit(), 3);
    console.Run("Interfaceopt_NumMessagesLines(1);");
    EXPECT_EQ(rowsLit(), 1);
}
