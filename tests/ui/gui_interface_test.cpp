// The interface's GUI without a display: the system texts and SetLid, the
// GUI tree's searches and keywords, loading packfiles (and refusing them),
// the screens and the mouse walk with its sounds and commands. The game
// object gives the interface its console and command interpreter.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/CommandConsole.h"
#include "tests/support/TempDir.h"
#include "tools/lib/GUIPackWriter.h"
#include "ui/GUIObject.h"
#include "ui/GUISound.h"
#include "ui/Interface.h"

namespace {

// Plays nothing: counts what would play.
class CCountingSound : public IGUISound {
public:
    void* LoadBank(const std::string& record) override {
        // The sample count follows the bank's name field.
        uint32_t count = 0;
        if (record.size() >= 259) std::memcpy(&count, record.data() + 255, 4);
        banks.push_back(int(count));
        return reinterpret_cast<void*>(banks.size());
    }
    void FreeBank(void*) override {}
    int SampleCount(void* bank) override { return banks.at(reinterpret_cast<size_t>(bank) - 1); }
    bool PlaySample(void* bank, int index) override {
        played.push_back(std::to_string(reinterpret_cast<size_t>(bank)) + ":" + std::to_string(index));
        return true;
    }
    std::vector<int> banks;
    std::vector<std::string> played;
};

class GUIInterface : public ::testing::Test {
protected:
    void SetUp() override {
        ip = console.Start(game);
        ui = game.Interface();
        ui->RegisterGUICommands(ip);
        ui->m_guiSound = &sound;
        ui->m_guiResourceFolder = folder.Win().c_str();
        ui->m_console.Hide();
    }
    void TearDown() override { console.Stop(); }

    std::vector<std::string> Run(const char* text) { return console.Run(text); }
    static bool Has(const std::vector<std::string>& lines, const std::string& part) {
        for (const std::string& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }
    bool Load(const SGUIPack& pack, const char* name = "test.gui") {
        std::vector<uint8_t> bytes;
        std::string error;
        if (!GUIPack_Build(pack, bytes, error)) return false;
        folder.Write(name, std::string(bytes.begin(), bytes.end()));
        return ui->LoadGUI(name);
    }
    // A frame of the interface (no canvas): positions are worked out.
    void Frame() {
        ui->m_scriptsStarted = 1;
        ui->UpdateGUIContext();
        ui->Update(0, 0);
    }
    // The left button pressed and let go at a point.
    void Click(int x, int y, int upX, int upY) {
        ui->OnMouseEvent(0, x, y);
        ui->OnMouseEvent(5, x, y);
        ui->OnMouseEvent(1, upX, upY);
    }

    CGame game{nullptr, "No datafile"};
    CCommandConsole console;
    CCommandInterpreter* ip = nullptr;
    CInterface* ui = nullptr;
    CCountingSound sound;
    CTempDir folder;
};

SGUIObjectRecord Screen(int32_t id) {
    SGUIObjectRecord s;
    s.ownsResources = 1;
    s.guiId = id;
    s.kind = 3;
    s.layer = 0;
    s.name = "Screen " + std::to_string(id);
    return s;
}

// A text button at (x, y) that runs the command.
SGUIObjectRecord Button(int32_t x, int32_t y, const std::string& text, const std::string& command) {
    SGUIObjectRecord b;
    b.kind = 2;
    b.x = x;
    b.y = y;
    for (auto& p : b.statePositions) {
        p[0] = x;
        p[1] = y;
    }
    b.layer = 1;
    b.name = text;
    b.textLines = {text};
    if (!command.empty()) b.properties.push_back({"CCE_OnPressed", command});
    return b;
}

SGUIPack MenuPack() {
    SGUIPack pack;
    pack.root.ownsResources = 1;
    pack.root.kind = -1;
    SGUISoundBankRecord bank;
    bank.name = "Sounds";
    bank.samples.resize(3);
    pack.banks.push_back(bank);
    SGUIObjectRecord menu = Screen(1);
    menu.soundBank = 1;
    SGUIObjectRecord skirmish = Button(100, 100, "Skirmish", "G_SetActiveGUI(600);");
    skirmish.eventSamples[1] = 1;  // press
    skirmish.eventSamples[2] = 2;  // release
    skirmish.eventSamples[3] = 3;  // hover
    skirmish.eventSamples[4] = 9;  // beyond the bank
    menu.children.push_back(skirmish);
    SGUIObjectRecord options = Button(100, 140, "Options", "");
    options.jumpTarget = 3;
    options.jumpFlag = 1;
    menu.children.push_back(options);
    pack.root.children = {menu, Screen(3), Screen(600)};
    return pack;
}

// The menus and one more screen with one button of that panel id.
SGUIPack MenuPackWith(int32_t screen, const std::string& text, const std::string& id) {
    SGUIPack pack = MenuPack();
    SGUIObjectRecord extra = Screen(screen);
    SGUIObjectRecord button = Button(100, 100, text, "");
    button.properties.push_back({"ID", id});
    extra.children.push_back(button);
    pack.root.children.push_back(extra);
    return pack;
}

// Gives every text a measured box, as a font would (there is no display).
void Measure(CGUIObject* o) {
    if (o->HasText()) {
        o->m_TextBox[0] = 80;
        o->m_TextBox[1] = 20;
        o->m_SizeKnown = 1;
    }
    for (CGUIObject* c : o->m_Children) Measure(c);
}

std::string ReadSource(const char* relative) {
    const char* source = std::getenv("TESSARAK_SOURCE");
    std::ifstream in(std::string(source ? source : "..") + "/" + relative, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

// The shipped English script gives all 331 texts, each with the values its
// callers pass: the events two each (the sender's prefix and the argument),
// the HUD's read-outs theirs, no other text any.
TEST_F(GUIInterface, TheEnglishScriptGivesEveryTextWithTheValuesItsCallersPass) {
    const std::string script = ReadSource("content/Tessarak/Languages/English.box/Scripts/English.cfg");
    ASSERT_FALSE(script.empty());
    std::vector<char> text(script.begin(), script.end());
    text.push_back(0);
    console.lines.clear();
    ip->ExecuteScript("English.cfg", text.data(), int(script.size()));
    EXPECT_TRUE(console.lines.empty()) << console.lines.front();
    for (int i = 0; i < kSystemTextCount; ++i) {
        EXPECT_TRUE(ui->m_SystemTexts[i].set) << kSystemTextNames[i];
        EXPECT_EQ(SystemText_Conversions(ui->GetSystemText(i)), SystemText_Arguments(i))
            << kSystemTextNames[i];
        for (const unsigned char c : std::string(ui->GetSystemText(i)))
            EXPECT_LT(c, 0x80) << kSystemTextNames[i];
    }
    EXPECT_STREQ(ui->GetSystemText(kSysLidYes), "Yes");
    EXPECT_EQ(ui->FormatSystemText(kSysLidFirstEvent, {"Red :", "Light tank"}),
              "Red : Unit ready: Light tank");
    console.lines.clear();
    ui->CheckSystemTexts();
    EXPECT_TRUE(console.lines.empty());
}

TEST_F(GUIInterface, SetLidFindsTheTextByNameInAnyCaseAndTheMarkerReplacesEveryText) {
    Run("SetLid(\"sysLid_general_yes\", \"Ja\");");
    EXPECT_STREQ(ui->GetSystemText(3), "Ja");
    Run("SetLid(\"SYSLID_GENERAL_YES\", \"Oui\");");
    EXPECT_STREQ(ui->GetSystemText(3), "Oui");
    // A wrong count of values changes nothing.
    Run("SetLid(\"SYSLID_GENERAL_NO\");");
    Run("SetLid(\"SYSLID_GENERAL_NO\", \"a\", \"b\");");
    // A text never given is empty; only the settings lists show its name.
    EXPECT_STREQ(ui->GetSystemText(4), "");
    EXPECT_STREQ(ui->SystemTextOrName(4), "SYSLID_GENERAL_NO");
    EXPECT_STREQ(ui->SystemTextOrName(3), "Oui");
    console.lines.clear();
    EXPECT_EQ(ui->FormatSystemText(260, {"a", "b"}), "");  // nothing to fill in, nothing said
    EXPECT_TRUE(console.lines.empty());
    EXPECT_TRUE(Has(Run("SetLid(\"SYSLID_NOTHING\", \"x\");"),
                    "FATAL ERROR [SCRIPT/GUI]: Couldn't find GUI Localization ID (LID) 'SYSLID_NOTHING'"));
    // No text outside the table, whatever the index.
    EXPECT_STREQ(ui->GetSystemText(-1), "");
    EXPECT_STREQ(ui->GetSystemText(kSystemTextCount), "");

    Run("TestLocalization(true);");
    EXPECT_STREQ(ui->GetSystemText(3), "*LOC*");
    EXPECT_STREQ(ui->GetSystemText(200), "*LOC*");
    Run("TestLocalization(false);");
    EXPECT_STREQ(ui->GetSystemText(3), "Oui");
}

// A text is never a printf format: its conversions must be the caller's
// values, or its name shows (said once).
TEST_F(GUIInterface, ATextWhoseConversionsDoNotMatchItsValuesShowsItsName) {
    std::string out;
    EXPECT_TRUE(SystemText_Format("100%% of %s", {"it"}, out));
    EXPECT_EQ(out, "100% of it");
    struct {
        const char* text;
        std::initializer_list<const char*> values;
    } refused[] = {{"%s %s", {"one"}}, {"%s", {"one", "two"}}, {"%d units", {"3"}}, {"%n", {}}, {"50%", {}}};
    for (const auto& c : refused) EXPECT_FALSE(SystemText_Format(c.text, c.values, out)) << c.text;

    Run("SetLid(\"SYSLID_EVENT_LOWPOWER\", \"%s Low power %n %s\");");
    EXPECT_EQ(ui->FormatSystemText(260, {"a", "b"}), "SYSLID_EVENT_LOWPOWER");
    EXPECT_TRUE(Has(console.lines, "SYSLID_EVENT_LOWPOWER"));
    console.lines.clear();
    EXPECT_EQ(ui->FormatSystemText(260, {"a", "b"}), "SYSLID_EVENT_LOWPOWER");
    EXPECT_TRUE(console.lines.empty());
}

// A GUI localization object takes the text of its "LID" (exact case) before
// the system table; the checks report what was left without a text.
TEST_F(GUIInterface, GUILocalizationObjectsComeBeforeTheTable) {
    SGUIPack pack = MenuPack();
    SGUIObjectRecord caption = Button(10, 10, "Nein", "");
    caption.properties.push_back({"LID", "SYSLID_GENERAL_NO"});
    SGUIObjectRecord twice = Button(10, 30, "x", "");
    twice.properties.push_back({"LID", "TWICE"});
    SGUIObjectRecord empty;
    empty.kind = 3;
    empty.properties.push_back({"LID", "EMPTY"});
    pack.root.children[0].children.push_back(caption);
    pack.root.children[0].children.push_back(twice);
    pack.root.children[0].children.push_back(twice);
    pack.root.children[0].children.push_back(empty);
    ASSERT_TRUE(Load(pack));
    CGUIObject* object = ui->m_GUIRoot->m_Children[0]->m_Children[2];

    Run("SetLid(\"SYSLID_GENERAL_NO\", \"Non\");");
    EXPECT_STREQ(object->m_TextLines[0].GetText(), "Non");
    EXPECT_STREQ(ui->GetSystemText(4), "");
    Run("SetLid(\"sysLID_GENERAL_NO\", \"No\");");  // not the object's case: the table's
    EXPECT_STREQ(object->m_TextLines[0].GetText(), "Non");
    EXPECT_STREQ(ui->GetSystemText(4), "No");

    EXPECT_TRUE(Has(Run("SetLid(\"TWICE\", \"t\");"), "The localization object 'TWICE' was defined twice"));
    EXPECT_TRUE(
        Has(Run("SetLid(\"EMPTY\", \"e\");"), "Localization object 'EMPTY' doesn't contain any text"));
    Run("TestLocalization(true);");
    EXPECT_STREQ(object->ShownLine(0), "*LOC*");
    Run("SetLid(\"SYSLID_GENERAL_NO\", \"Non\");");
    Run("TestLocalization(false);");
    EXPECT_STREQ(object->ShownLine(0), "*|L$C|*");

    std::vector<std::string> check = Run("g_PostLocalizationCheck();");
    EXPECT_TRUE(Has(check, "LID 'EMPTY' has not been localized"));
    EXPECT_FALSE(Has(check, "LID 'SYSLID_GENERAL_NO'"));
}

TEST_F(GUIInterface, TreeSearchesKeywordsAndSequences) {
    SGUIPack pack = MenuPack();
    SGUIObjectRecord outer;
    outer.kind = 3;
    outer.properties = {{"ID", "Panel"}, {"aLiGn", "Left"}, {"G_MultiSelectButtons", "4"}};
    SGUIObjectRecord inner = outer;
    inner.properties = {{"ID", "Panel"}};
    outer.children.push_back(inner);
    pack.root.children[1].children.push_back(outer);
    ASSERT_TRUE(Load(pack));
    CGUIObject* o = ui->m_GUIRoot->m_Children[1]->m_Children[0];
    CGUIObject* i = o->m_Children[0];
    EXPECT_EQ(o->m_Screen, ui->m_GUIRoot->m_Children[1]);
    EXPECT_EQ(i->m_Screen, ui->m_GUIRoot->m_Children[1]);
    // The later one in walk order, and more than one said.
    EXPECT_EQ(ui->FindPanel("Panel"), i);
    EXPECT_TRUE(ui->m_SearchFoundTwice);
    EXPECT_EQ(ui->FindPanel("panel"), nullptr);  // values match exactly
    EXPECT_EQ(o->m_Align, kAlignLeft);
    EXPECT_EQ(ui->m_MultiSelectButtons, 4);
    // Hiding by the ID stops at the outer match.
    ui->m_GUIRoot->ShowByProperty("ID", "Panel", true);
    EXPECT_EQ(o->m_Visible, 0);
    EXPECT_EQ(i->m_Visible, 1);

    // A button in a press state of its own keeps the position it had.
    int32_t x = 7, y = 8;
    o->m_PositionState = 3;
    EXPECT_FALSE(o->GetStatePosition(x, y));
    EXPECT_EQ(x, 7);
    // Frames of 100 and 200 ms: at 150 the second shows; no length, no frame.
    o->m_Frames = {SGUIFrame{1, "a", 100, 0}, SGUIFrame{2, "b", 200, 0}};
    EXPECT_TRUE(o->SelectSequenceFrame(150));
    EXPECT_EQ(o->m_CurrentFrame->resourceId, 2);
    EXPECT_FALSE(o->SelectSequenceFrame(300));
    o->m_Frames = {SGUIFrame{1, "a", 0, 0}};
    EXPECT_FALSE(o->SelectSequenceFrame(0));
    // Text split at carriage returns: only a line feed right after one goes
    // with it.
    o->SetText("a\r\nb\rc\r");
    ASSERT_EQ(o->m_TextLines.size(), 4u);
    EXPECT_STREQ(o->m_TextLines[1].GetText(), "b");
    EXPECT_STREQ(o->m_TextLines[2].GetText(), "c");
    EXPECT_STREQ(o->m_TextLines[3].GetText(), "");
}

// A file that cannot be read is refused by name and the interface stays;
// appended screens come after the loaded ones with sound banks of their own.
TEST_F(GUIInterface, LoadingRefusesWhatItCannotReadAndKeepsTheOldTree) {
    EXPECT_TRUE(Has(Run("g_Append(\"test.gui\");"), "Can't append to nonexisting gui."));
    ASSERT_TRUE(Load(MenuPack()));
    CGUIObject* root = ui->m_GUIRoot;
    ASSERT_EQ(root->m_Children.size(), 3u);

    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(GUIPack_Build(MenuPack(), bytes, error));
    folder.Write("cut.gui", std::string(bytes.begin(), bytes.begin() + bytes.size() / 2));
    bytes[8] = 7;  // the version
    folder.Write("old.gui", std::string(bytes.begin(), bytes.end()));
    // The file's own message first, then the game goes on (it does not end
    // over an interface file).
    const char* const kWrong = "GUI file doesn't exist or has wrong version. Program will terminate.";
    for (const auto& c : {std::pair<const char*, const char*>{"cut.gui", "GUI Packfile Is Corrupt."},
                          {"old.gui", kWrong},
                          {"missing.gui", kWrong}}) {
        const char* name = c.first;
        std::vector<std::string> lines = Run(("g_Load(\"" + std::string(name) + "\");").c_str());
        EXPECT_TRUE(Has(lines, c.second)) << name;
        EXPECT_TRUE(Has(lines, name)) << name;
        EXPECT_TRUE(Has(lines, "is refused")) << name;
        EXPECT_EQ(ui->m_GUIRoot, root);
        EXPECT_EQ(root->m_Children.size(), 3u);
    }

    SGUIPack more;
    more.root.ownsResources = 1;
    more.root.kind = -1;
    more.banks.resize(1);
    more.banks[0].samples.resize(2);
    SGUIObjectRecord extra = Screen(42);
    extra.soundBank = 1;
    more.root.children.push_back(extra);
    std::vector<uint8_t> appended;
    ASSERT_TRUE(GUIPack_Build(more, appended, error));
    folder.Write("more.gui", std::string(appended.begin(), appended.end()));
    Run("g_Append(\"more.gui\");");
    ASSERT_EQ(root->m_Children.size(), 4u);
    EXPECT_EQ(root->m_Children[3]->m_GUIId, 42);
    EXPECT_EQ(root->m_Children[3]->m_SoundBank, 2);  // after the first file's bank
    EXPECT_EQ(ui->m_SoundBanks.size(), 2u);
    EXPECT_EQ(root->m_Children[3]->m_Screen, root->m_Children[3]);
}

// The mouse on a menu screen: a press and release on a button runs its
// command after the walk and plays its sounds; a release elsewhere runs
// nothing; a jump goes to its screen.
TEST_F(GUIInterface, ButtonsRunTheirCommandsAndJumpOnARelease) {
    ASSERT_TRUE(Load(MenuPack()));
    Run("g_IdentifyPanels();");
    Measure(ui->m_GUIRoot);
    Frame();
    ASSERT_EQ(ui->m_activeGUI, 1);

    // Down inside, up outside: nothing runs, nothing is released.
    Click(110, 110, 400, 400);
    EXPECT_EQ(ui->m_MenuGUIId, 1);
    EXPECT_EQ(sound.played, std::vector<std::string>({"1:0"}));
    EXPECT_FALSE(ui->m_guiPressing);

    // Hovering plays its sound once, until the mouse has left.
    sound.played.clear();
    ui->OnMouseEvent(3, 110, 110);
    ui->OnMouseEvent(3, 112, 110);
    EXPECT_EQ(sound.played, std::vector<std::string>({"1:2"}));
    EXPECT_EQ(ui->m_HoveredGUIObject, ui->m_GUIRoot->m_Children[0]->m_Children[0]);
    ui->OnMouseEvent(3, 400, 400);
    ui->OnMouseEvent(3, 110, 110);
    EXPECT_EQ(sound.played.size(), 2u);
    // A sample beyond the bank plays nothing.
    EXPECT_FALSE(ui->m_GUIRoot->m_Children[0]->m_Children[0]->PlayEventSound(4));

    sound.played.clear();
    Click(110, 110, 111, 112);
    EXPECT_EQ(sound.played, std::vector<std::string>({"1:0", "1:1"}));
    EXPECT_EQ(ui->m_MenuGUIId, 600);
    Frame();
    EXPECT_EQ(ui->m_activeGUI, 600);

    // The jump of a button, and the confirm dialog, which no button answers.
    Run("G_SetActiveGUI(1);");
    Frame();
    ui->m_mode = 4;
    Click(110, 150, 110, 150);
    EXPECT_EQ(ui->m_activeGUI, 1);
    ui->m_mode = 0;
    Click(110, 150, 110, 150);
    EXPECT_EQ(ui->m_activeGUI, 3);
}

TEST_F(GUIInterface, ScreensSwitchByIdAndTheInGameMenuKeepsTheMenuId) {
    ASSERT_TRUE(Load(MenuPack()));
    Frame();
    EXPECT_EQ(ui->m_activeGUI, 1);
    // An id no screen has: GUI 1, said once.
    console.lines.clear();
    Run("G_SetActiveGUI(42);");
    Frame();
    Frame();
    EXPECT_EQ(ui->m_activeGUI, 1);
    int said = 0;
    for (const std::string& l : console.lines) said += l == "Couln't find a GUI with Id : 42. Reset to Id 1.";
    EXPECT_EQ(said, 1);

    // The in-game menu opens on its screen and closes again; meanwhile the
    // menu id stays.
    Run("G_SetActiveGUI(600);");
    Frame();
    Run("G_JumpToMenu(3);");
    Frame();
    EXPECT_EQ(ui->m_activeGUI, 3);
    EXPECT_EQ(ui->m_MenuGUIId, 600);
    Run("G_JumpToMenu(1);");
    Frame();
    EXPECT_FALSE(ui->m_InGameMenu);
    EXPECT_EQ(ui->m_activeGUI, 600);

    // Cursor pictures that are not there are said, each with a blank line.
    std::vector<std::string> mouse = Run("G_LoadMouse();");
    ASSERT_GE(mouse.size(), 6u);
    EXPECT_EQ(mouse[0], "Failed to load 'Mouse/Idle.bmp'");
    EXPECT_EQ(mouse[1], " ");
    EXPECT_EQ(mouse[4], "Failed to load 'Mouse/IdleSub.bmp'");

    // A screen names its own key bindings; an edit box's come first.
    ui->m_GUIRoot->m_Children[2]->m_Properties.push_back(
        CGUIProperty{"KeyBindingFile", "Commands_Lobby.cfg"});
    Frame();
    EXPECT_STREQ(ui->m_guiBindingFile.GetText(), "Commands_Lobby.cfg");
    ui->m_mode = 3;
    Frame();
    EXPECT_STREQ(ui->m_guiBindingFile.GetText(), "Commands_GUISetting.cfg");
}

// An in-game screen without the HUD's panels: each one missing is named once
// as the panels are found, and the screen is shown all the same.
TEST_F(GUIInterface, AnInGameScreenWithoutTheHUDsPanelsNamesThemAndGoesOn) {
    ASSERT_TRUE(Load(MenuPackWith(1000, "Radar", "RadarPanel")));
    int build = 0, radarSaid = 0;
    for (const std::string& l : Run("g_IdentifyPanels();")) {
        build += l == "The in-game screen has no panel 'Build': the HUD goes without it";
        radarSaid += l.find("'RadarPanel'") != std::string::npos;
    }
    EXPECT_EQ(build, 1);
    EXPECT_EQ(radarSaid, 0);
    Run("G_SetActiveGUI(1000);");
    Frame();
    Frame();
    EXPECT_EQ(ui->m_activeGUI, 1000);
    // A menu-only GUI names nothing.
    ASSERT_TRUE(Load(MenuPack(), "menus.gui"));
    for (const std::string& l : Run("g_IdentifyPanels();"))
        EXPECT_EQ(l.find("has no panel"), std::string::npos) << l;
}

// The game's end: G_ScoreMenu shows screen 700; its continue button (bound
// as "GameFinish") ends the game for this machine and, outside a campaign,
// goes on with ExitToMenu.cfg.
TEST_F(GUIInterface, TheGameFinishButtonLeavesTheEndScreen) {
    ASSERT_TRUE(Load(MenuPackWith(700, "Continue", "GameFinish")));
    Run("g_IdentifyPanels(); G_ScoreMenu(true);");
    Measure(ui->m_GUIRoot);
    Frame();
    ASSERT_EQ(ui->m_activeGUI, 700);
    game.SetGuiWord(0);
    console.lines.clear();
    Click(110, 110, 110, 110);
    EXPECT_TRUE(Has(console.lines, "Not in single player or no campaign set. Executing 'ExitToMenu.cfg'"));
    EXPECT_EQ(game.GuiWord(), 1);
}
