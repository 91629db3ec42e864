// The emitter editor's commands through the game's interpreter: a script in
// the form of the content's Emitters.cfg and EmitterMaterials.cfg builds the
// engine's emitter templates (settings, names, gradients, materials); bad
// arguments are refused with their console line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameServices.h"
#include "app/GameView.h"
#include "app/InputManager.h"
#include "commands/CommandAreas.h"
#include "console/CommandInterpreter.h"
#include "e3d/ColorTable.h"
#include "e3d/Emitter.h"
#include "e3d/EmitterTemplate.h"
#include "e3d/Engine.h"
#include "e3d/Frame.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/CommandConsole.h"
#include "tests/support/TempDir.h"
#include "ui/Interface.h"
#include "world/GameMaterial.h"
#include "world/GameScene.h"
#include "world/Project.h"

namespace {

class EmitterCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&rec);
        view = new CGameView(&game, 0);
        game.SetGameView(view);
        projects = new CProjectList(nullptr, nullptr);
        CProject* project = new CProject(projects, nullptr);
        CGameMaterial* soft = new CGameMaterial(projects, project);
        soft->m_name = "SoftParticle";
        (new CGameMaterial(projects, project))->m_name = "Particle";  // the demo project's
        game.SetProjects(projects);
        ip = console.Start(game);
    }
    void TearDown() override {
        console.Stop();
        game.SetProjects(nullptr);
        delete projects;
        game.SetGameView(nullptr);
        delete view;
        DDraw_SetFactory(nullptr);
    }
    std::vector<std::string> Run(const char* text) { return console.Run(text); }
    CE3DEmitterTemplate* ByName(const char* name) {
        return CE3DEmitterTemplate::From(view->m_engine->FindEmitterTemplateByName(name));
    }
    int TemplateCount() const {
        int n = 0;
        for (CE3DNode* node = view->m_engine->m_nodes; node; node = node->m_next)
            n += CE3DEmitterTemplate::From(node) != nullptr;
        return n;
    }

    CD3DRecorder rec;
    CGame game{nullptr, "No datafile"};
    CGameView* view = nullptr;
    CProjectList* projects = nullptr;
    CCommandInterpreter* ip = nullptr;
    CCommandConsole console;
    std::vector<std::string>& lines = console.lines;
};

using Lines = std::vector<std::string>;

const char* const kScript =
    "Emitter_Create (3, 40.0, 0, 1, 0.5, 2.0, 0.5, 200, 0.2, 0.4, 1.5, 6.28, 0.0, 0.1, 0.1, 0.2, 0.3, "
    "-0.2, 0.05, 0.3, 0.1, 2.0);\n"
    "Emitter_AddGradientPoint (1000, 0.2, 0.2, 0.2, 0.0);\n"
    "Emitter_AddGradientPoint (0, 0.5, 0.5, 0.5, 0.8);\n"
    "Emitter_SetName (\"UnitSmoke\");\n"
    "Emitter_Create (7, 10.0, 2, 0, 1.0, 1.0, 0.0, 50, 0.1, 3.14, 1.0, 6.28, 0.0, 1.0, 0.0, 0.0, 0.0, "
    "0.0, 0.0, 0.0, 0.0, 1.0);\n"
    "Emitter_AddGradientPoint (500, 1.0, 0.9, 0.6);\n"
    "Emitter_AddGradientPoint (400, 1.0, 0.9, 0.6, 0.7);\n"
    "Emitter_SetName (\"Puff\");\n"
    "Emitter_SetMaterial (3, \"softparticle\");   // UnitSmoke\n";

TEST_F(EmitterCommandsTest, AScriptBuildsTemplates) {
    EXPECT_EQ(Run(kScript), Lines());
    EXPECT_EQ(TemplateCount(), 2);
    CE3DEmitterTemplate* smoke = ByName("unitsmoke");
    ASSERT_NE(smoke, nullptr);
    EXPECT_EQ(smoke->m_id, 3);
    EXPECT_FLOAT_EQ(smoke->BirthRate, 40.0f);
    EXPECT_EQ(smoke->DeathWish, 0);
    EXPECT_TRUE(smoke->ReuseParticles);
    EXPECT_FLOAT_EQ(smoke->Speed, 0.5f);
    EXPECT_FLOAT_EQ(smoke->LifeTime, 2.0f);
    EXPECT_FLOAT_EQ(smoke->VariableLifeTime, 0.5f);
    EXPECT_EQ(smoke->NumParticles, 200);
    EXPECT_FLOAT_EQ(smoke->Size, 0.2f);
    EXPECT_FLOAT_EQ(smoke->Spread, 0.4f);
    EXPECT_FLOAT_EQ(smoke->SpreadCoofficient, 1.5f);
    EXPECT_FLOAT_EQ(smoke->SpreadAround, 6.28f);
    EXPECT_FLOAT_EQ(smoke->SpreadAroundStart, 0.0f);
    EXPECT_FLOAT_EQ(smoke->SpeedModifier, 0.1f);
    EXPECT_FLOAT_EQ(smoke->PosVariationX, 0.1f);
    EXPECT_FLOAT_EQ(smoke->PosVariationY, 0.2f);
    EXPECT_FLOAT_EQ(smoke->PosVariationZ, 0.3f);
    EXPECT_FLOAT_EQ(smoke->Acceleration, -0.2f);
    EXPECT_FLOAT_EQ(smoke->SizeVariation, 0.05f);
    EXPECT_FLOAT_EQ(smoke->Shrink, 0.3f);
    EXPECT_FLOAT_EQ(smoke->SpeedVariation, 0.1f);
    EXPECT_FLOAT_EQ(smoke->SpeedVariationCoefficient, 2.0f);
    // The gradient in index order, the table filled from it.
    ASSERT_NE(smoke->m_colorTable, nullptr);
    ASSERT_EQ(smoke->m_colorTable->PointCount(), 2);
    EXPECT_EQ(smoke->m_colorTable->m_points->m_position, 0);
    EXPECT_FLOAT_EQ(smoke->m_colorTable->m_points->m_alpha, 0.8f);
    EXPECT_FLOAT_EQ(smoke->m_colorTable->Entry(999)[0], 0.5f);  // gradient position 0
    EXPECT_STREQ(smoke->m_materialName.GetText(), "softparticle");
    EXPECT_EQ(smoke->m_material, projects->FindMaterialByName("SoftParticle"));

    CE3DEmitterTemplate* puff = ByName("Puff");
    ASSERT_NE(puff, nullptr);
    EXPECT_EQ(puff->m_id, 7);
    EXPECT_EQ(puff->DeathWish, 2);
    EXPECT_FALSE(puff->ReuseParticles);
    // A point takes five values: the line with four adds nothing.
    ASSERT_EQ(puff->m_colorTable->PointCount(), 1);
    EXPECT_EQ(puff->m_colorTable->m_points->m_position, 400);
    EXPECT_FLOAT_EQ(puff->m_colorTable->m_points->m_alpha, 0.7f);
    EXPECT_EQ(puff->m_material, nullptr);

    // Run again: the same numbers are overwritten, one line each.
    EXPECT_EQ(Run("Emitter_Create (3, 5.0, 0, 0, 0.5, 2.0, 0.5, 20, 0.2, 0.4, 1.5, 6.28, 0.0, 0.1, 0.1, "
                  "0.2, 0.3, -0.2, 0.05, 0.3, 0.1, 2.0);"),
              Lines{"Already Created"});
    EXPECT_EQ(TemplateCount(), 2);
    EXPECT_EQ(ByName("UnitSmoke"), smoke);
    EXPECT_FLOAT_EQ(smoke->BirthRate, 5.0f);
    EXPECT_EQ(smoke->NumParticles, 20);
}

TEST_F(EmitterCommandsTest, BadArgumentsAreRefused) {
    Run(kScript);
    CE3DEmitterTemplate* smoke = ByName("UnitSmoke");
    ASSERT_NE(smoke, nullptr);
    const char* const create20 =
        "Emitter_Create (9, 1, 0, 1, 0.5, 2, 0.5, 20, 0.2, 0.4, 1.5, 6.28, 0, 0.1, 0.1, 0.2, 0.3, -0.2, "
        "0.05, "
        "0.3);";
    const struct {
        const char* command;
        Lines lines;
    } cases[] = {
        {"Emitter_Create (9, 1, 0, 1);", {"To few arguments"}},
        {create20, {}},  // the last two settings missing: nothing, silently
        {"Emitter_Create (1001, 1, 0, 1, 0.5, 2, 0.5, 20, 0.2, 0.4, 1.5, 6.28, 0, 0.1, 0.1, 0.2, 0.3, -0.2, "
         "0.05, "
         "0.3, 0.1, 2.0);",
         {"Emitter ID is not in range (0-1000)"}},
        {"Emitter_Create (-1, 1, 0, 1, 0.5, 2, 0.5, 20, 0.2, 0.4, 1.5, 6.28, 0, 0.1, 0.1, 0.2, 0.3, -0.2, "
         "0.05, "
         "0.3, 0.1, 2.0);",
         {"Emitter ID is not in range (0-1000)"}},
        {"Emitter_Create (9, \"many\", 0, 1, 0.5, 2, 0.5, 20, 0.2, 0.4, 1.5, 6.28, 0, 0.1, 0.1, 0.2, 0.3, "
         "-0.2, "
         "0.05, 0.3, 0.1, 2.0);",
         {}},
        {"Emitter_SetMaterial (3);", {"To few arguments"}},
        {"Emitter_SetMaterial (44, \"SoftParticle\");", {"Emitter Template not found"}},
        {"Emitter_SetMaterial (7, \"Glass\");", {"Material Object Not found"}},
        {"Emitter_SetName ();", {"To few arguments"}},
        {"Emitter_AddGradientPoint (1001, 1, 1, 1, 1);", {"Index is not in range (0-1000)"}},
        {"Emitter_AddGradientPoint (-1, 1, 1, 1, 1);", {"Index is not in range (0-1000)"}},
        {"Emitter_AddGradientPoint (-1, 1, 1, 1);", {}},
        {"Emitter_AddGradientPoint (10, 1, 1);", {"To few arguments"}},
        {"Emitter_AddGradientPoint (10, 1, 1, \"red\");", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(Run(c.command), c.lines) << c.command;
    EXPECT_EQ(TemplateCount(), 2);
    EXPECT_EQ(ByName("Puff")->m_material, nullptr);
    EXPECT_EQ(ByName("Puff")->m_colorTable->PointCount(), 1);
    EXPECT_EQ(smoke->m_colorTable->PointCount(), 2);
}

TEST_F(EmitterCommandsTest, TheDemoScriptsMakeTheTemplatesTheGameLooksFor) {
    const char* build = std::getenv("TESSARAK_BUILD");
    ASSERT_NE(build, nullptr) << "run through ctest";
    const std::string folder = std::string("Z:") + build + "/install/Tessarak/Units/Special Effects/";
    lines.clear();
    ASSERT_TRUE(ip->ExecuteFile((folder + "Emitters.cfg").c_str()));
    ASSERT_TRUE(ip->ExecuteFile((folder + "EmitterMaterials.cfg").c_str()));
    EXPECT_EQ(lines, Lines());
    for (const char* name : {"UnitSmoke", "Puff", "HarvestEmitter"}) {
        CE3DEmitterTemplate* t = ByName(name);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_GT(t->m_colorTable->PointCount(), 0) << name;
        EXPECT_EQ(t->m_material, projects->FindMaterialByName("Particle")) << name;
        EXPECT_TRUE(t->Check()) << name;  // nothing an emitter cannot use
    }
    // Grey smoke: every point of its gradient has equal components.
    for (CE3DGradientPoint* p = ByName("UnitSmoke")->m_colorTable->m_points; p; p = p->m_next) {
        EXPECT_FLOAT_EQ(p->m_red, p->m_green);
        EXPECT_FLOAT_EQ(p->m_green, p->m_blue);
    }
}

TEST_F(EmitterCommandsTest, SavedSettingsRebuildTheSameTemplates) {
    CTempDir dir;
    ASSERT_TRUE(dir.Write("Units/Special Effects/keep", ""));
    game.SetRootDir(dir.Win().c_str());
    Run(kScript);
    Run("Emitter_Create (5, 1, 0, 1, 0.5, 2, 0.5, 20, 0.2, 0.4, 1.5, 6.28, 0, 0.1, 0.1, 0.2, 0.3, -0.2, "
        "0.05, "
        "0.3, 0.1, 2.0);");  // without a name or points
    const Lines saved = Run("Emitter_SaveSettings();");
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0], "Saving settings to :'" + dir.WinFile("Units/Special Effects/Emitters.cfg") + "'");
    const std::string emitters = dir.Read("Units/Special Effects/Emitters.cfg");
    const std::string materials = dir.Read("Units/Special Effects/EmitterMaterials.cfg");
    EXPECT_NE(
        emitters.find("// UnitSmoke\nEmitter_Create (3, 40.000000, 0, 1, 0.500000, 2.000000, 0.500000, 200, "
                      "0.200000,"),
        std::string::npos)
        << emitters;
    EXPECT_NE(emitters.find("Emitter_AddGradientPoint (0, 0.500000, 0.500000, 0.500000, 0.800000);\n"
                            "Emitter_AddGradientPoint (1000, 0.200000, 0.200000, 0.200000, 0.000000);\n"
                            "Emitter_SetName (\"UnitSmoke\");\n\n"),
              std::string::npos)
        << emitters;
    EXPECT_EQ(materials, "Emitter_SetMaterial (3, \"softparticle\");   // UnitSmoke\n");

    // Into an engine without templates, then saved again: the same files.
    game.SetGameView(nullptr);
    delete view;
    view = new CGameView(&game, 0);
    game.SetGameView(view);
    ASSERT_EQ(TemplateCount(), 0);
    ASSERT_TRUE(ip->ExecuteFile(dir.WinFile("Units/Special Effects/Emitters.cfg").c_str()));
    ASSERT_TRUE(ip->ExecuteFile(dir.WinFile("Units/Special Effects/EmitterMaterials.cfg").c_str()));
    EXPECT_EQ(TemplateCount(), 3);
    EXPECT_EQ(ByName("UnitSmoke")->m_colorTable->PointCount(), 2);
    Run("Emitter_SaveSettings();");
    EXPECT_EQ(dir.Read("Units/Special Effects/Emitters.cfg"), emitters);
    EXPECT_EQ(dir.Read("Units/Special Effects/EmitterMaterials.cfg"), materials);
}

TEST_F(EmitterCommandsTest, EditingSettingsAndGradientPoints) {
    Run(kScript);
    SEmitterEditor& editor = game.EmitterEditor();
    EXPECT_EQ(editor.newEmitter, 7);
    // Stepping through the templates (numbers 3 and 7) from the selected 1.
    Run("Emitter_PrevEmitter();");
    EXPECT_EQ(editor.selected, 1);
    Run("Emitter_NextEmitter();");
    EXPECT_EQ(editor.selected, 3);
    CE3DEmitterTemplate* smoke = ByName("UnitSmoke");
    Run("Emitter_NextEmitter(); Emitter_NextEmitter();");
    EXPECT_EQ(editor.selected, 7);
    Run("Emitter_PrevEmitter();");
    EXPECT_EQ(editor.current, 3);
    // The settings by number: 1 never below 0, 2 always 0, 3 by sign, 7
    // rounded, the rest added.
    const struct {
        int steps;  // NextVariable calls from 1
        const char* value;
    } edits[] = {{0, "-100"}, {1, "5"}, {2, "-1"}, {6, "2.6"}, {7, "0.5"}, {20, "1"}};
    for (const auto& e : edits) {
        editor.variable = 1;
        for (int i = 0; i < e.steps; ++i) Run("Emitter_NextVariable();");
        Run((std::string("Emitter_AddValue(") + e.value + ");").c_str());
    }
    EXPECT_FLOAT_EQ(smoke->BirthRate, 0.0f);
    EXPECT_EQ(smoke->DeathWish, 0);
    EXPECT_FALSE(smoke->ReuseParticles);
    EXPECT_EQ(smoke->NumParticles, 203);
    EXPECT_FLOAT_EQ(smoke->Size, 0.7f);
    EXPECT_FLOAT_EQ(smoke->SpeedVariationCoefficient, 3.0f);
    EXPECT_EQ(editor.variable, 21);
    Run("Emitter_NextVariable();");
    EXPECT_EQ(editor.variable, 21);
    editor.variable = 1;
    Run("Emitter_PrevVariable();");
    EXPECT_EQ(editor.variable, 1);

    // Gradient points: the first without a current one, then by index.
    Run("Emitter_AddRedValue(0.1);");  // no current point: nothing
    EXPECT_FLOAT_EQ(smoke->m_colorTable->m_points->m_red, 0.5f);
    Run("Emitter_NextGradientPoint();");
    EXPECT_EQ(editor.point, smoke->m_colorTable->m_points);
    Run("Emitter_NextGradientPoint(); Emitter_AddRedValue(0.5); Emitter_AddBlueValue(-0.1);");
    ASSERT_EQ(editor.point->m_position, 1000);
    EXPECT_FLOAT_EQ(editor.point->m_red, 0.7f);
    EXPECT_FLOAT_EQ(editor.point->m_blue, 0.1f);
    EXPECT_NEAR(smoke->m_colorTable->Entry(0)[0], 0.7f, 1e-3f);  // the table filled again
    Run("Emitter_NextGradientPoint();");                         // none above 1000: the first
    EXPECT_EQ(editor.point->m_position, 0);
    Run("Emitter_PrevGradientPoint();");  // none above 0 below it: the first
    EXPECT_EQ(editor.point->m_position, 0);

    // The overlay shows what the commands work on, each line in its place
    // and colour: the current setting in orange, the point and the count in
    // bright green below the settings.
    const std::vector<SEmitterEditorLine> overlay = game.EmitterEditorLines();
    ASSERT_EQ(overlay.size(), 30u);
    auto is = [&](size_t i, const char* text, int y, int r, int g, int b) {
        EXPECT_EQ(overlay[i].text, text);
        EXPECT_EQ(overlay[i].y, y) << text;
        EXPECT_EQ(overlay[i].r, r) << text;
        EXPECT_EQ(overlay[i].g, g) << text;
        EXPECT_EQ(overlay[i].b, b) << text;
    };
    is(1, "Emitter Template number   : 3", 40, 0, 200, 0);
    is(2, "Name                      : UnitSmoke", 50, 0, 200, 0);
    is(3, "(To change template name write 'Emitter_SetName [TheNameHare]' in the console)", 60, 0, 200, 0);
    is(4, "BirthRate                 : 0.000000", 100, 255, 200, 0);
    is(10, "NumParticles              : 203", 160, 0, 200, 0);
    is(19, "PosVariation Z            : 0.300000", 250, 0, 200, 0);
    is(24, "SpeedVariationCoefficient : 3.000000", 300, 0, 200, 0);
    is(25, "Gradient Point Position   : 0", 330, 0, 255, 0);
    is(26, "Red Value                 : 0.500000", 340, 0, 255, 0);
    is(29, "Number of Emitters        : 0", 380, 0, 255, 0);
    // The edit mode is the game's variable (0 or 1).
    Run("Emitter_EditMode(1);");
    EXPECT_EQ(game.Variables().emitterEditMode, 1);
    Run("Emitter_EditMode(5);");
    EXPECT_EQ(game.Variables().emitterEditMode, 1);

    // The emitters made from a template take its settings again.
    CE3DFrame* root = new CE3DFrame(nullptr);
    game.CreateWorld(root);
    CE3DEmitter* emitter = new CE3DEmitter(root, smoke);
    Run("Emitter_AddValue(0.25);");  // variable 1: the birth rate
    EXPECT_FLOAT_EQ(emitter->m_birthRate, 0.0f);
    Run("Emitter_UpdateSettings();");
    EXPECT_FLOAT_EQ(emitter->m_birthRate, 0.25f);
    game.DeleteWorld();
    delete root;
}

TEST(EmitterCommandsNoTemplate, NameAndPointsWaitForACreate) {
    // Before any Emitter_Create there is no current template: nothing
    // changes, nothing breaks, also without a 3D engine.
    CGame game{nullptr, "No datafile"};
    Commands_Install();
    Game_CreateInput(&game);
    CCommandInterpreter* ip = game.InputManager()->Interpreter();
    ip->RegisterAllCommands();
    ip->Execute(
        false,
        "Emitter_SetName(\"X\"); Emitter_AddGradientPoint(0, 1, 1, 1, 1); Emitter_SetMaterial(1, \"X\");"
        "Emitter_Create (3, 40.0, 0, 1, 0.5, 2.0, 0.5, 200, 0.2, 0.4, 1.5, 6.28, 0.0, 0.1, 0.1, 0.2, "
        "0.3, -0.2, 0.05, 0.3, 0.1, 2.0);");
    EXPECT_EQ(game.Engine(), nullptr);
    Game_DeleteInput(&game);
}

}  // namespace
