// The effects area's commands through the game's interpreter: explosion
// types made once by name, their setters, their objects and the locked type
// that ignores them, with the console lines of each refusal; the effect
// settings (the explosion manager's) and the camera rows (the interface's
// camera).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameServices.h"
#include "app/InputManager.h"
#include "commands/CommandAreas.h"
#include "console/CommandInterpreter.h"
#include "e3d/Frame.h"
#include "tests/support/CommandConsole.h"
#include "ui/Interface.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/Project.h"
#include "world/World.h"

namespace {

class EffectsCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        game.CreateWorld(&root);
        effects = &game.World()->Explosions();
        ip = console.Start(game);
    }
    void TearDown() override {
        console.Stop();
        game.DeleteWorld();
    }
    std::vector<std::string> Run(const char* text) { return console.Run(text); }
    int TypeCount() const {
        int n = 0;
        for (CExplosionType* t = effects->m_types; t; t = t->m_next) ++n;
        return n;
    }

    CE3DFrame root{nullptr};
    CGame game{nullptr, "No datafile"};
    CExplosionManager* effects = nullptr;
    CCommandInterpreter* ip = nullptr;
    CCommandConsole console;
    std::vector<std::string>& lines = console.lines;
};

using Lines = std::vector<std::string>;

TEST_F(EffectsCommandsTest, TypesTheirSettersAndTheLock) {
    Run("Effect_Explo_Create(\"Big\"); Effect_Explo_Create(\"Big\"); Effect_Explo_Create(\"Debris\");");
    EXPECT_EQ(TypeCount(), 2);
    CExplosionType* big = effects->FindType("Big");
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(Run("Effect_Explo_SetShake(\"Big\", 1.5); Effect_Explo_SetScale(\"Big\", 2, 3, 4);"), Lines());
    Run("Effect_Explo_PolyBlowSpeed(\"Big\", 7); Effect_Explo_DebrisExplosion(\"Big\", \"Debris\");");
    Run("Effect_Explo_SetDescription(\"Big\", \"A burnt hull\");");
    EXPECT_FLOAT_EQ(big->m_shake, 1.5f);
    EXPECT_TRUE(big->m_scaleSet);
    EXPECT_FLOAT_EQ(big->m_scale[2], 4.0f);
    EXPECT_FLOAT_EQ(big->m_polyBlowSpeed, 7.0f);
    EXPECT_EQ(big->m_debrisExplosion, effects->FindType("Debris"));
    EXPECT_STREQ(big->m_debrisDescription.GetText(), "A burnt hull");
    // Objects: shown with its flags, thrown with its speed; a name that no
    // template has is said and kept without one.
    EXPECT_EQ(Run("Effect_Explo_AddObject(\"Big\", \"Flash\", 2, 1, 0.5, 0.25, 1, 0, 1);"),
              Lines{"Object name does not exist : Flash"});
    Run("Effect_Explo_AddThrowObject(\"Big\", \"Chunk\", 1, 0.5, 3, 1, 8, 2);");
    CExplosionInstance* thrown = big->m_objects;
    ASSERT_NE(thrown, nullptr);
    CExplosionInstance* shown = thrown->m_next;
    ASSERT_NE(shown, nullptr);
    EXPECT_TRUE(thrown->m_thrown);
    EXPECT_FLOAT_EQ(thrown->m_speed, 8.0f);
    EXPECT_FLOAT_EQ(thrown->m_speedRange, 2.0f);
    EXPECT_FALSE(shown->m_thrown);
    EXPECT_STREQ(shown->m_objectName.GetText(), "Flash");
    EXPECT_FLOAT_EQ(shown->m_timeRange, 0.25f);
    EXPECT_TRUE(shown->m_randomPosition);
    EXPECT_FALSE(shown->m_top);
    EXPECT_TRUE(shown->m_keepHeading);
    // Locked, it takes no change, and says nothing.
    Run("Effect_Explo_Lock(\"Big\");");
    EXPECT_EQ(Run("Effect_Explo_SetShake(\"Big\", 9); Effect_Explo_AddThrowObject(\"Big\", \"X\", 1, 1, 1, "
                  "1, 1, 1);"),
              Lines());
    EXPECT_FLOAT_EQ(big->m_shake, 1.5f);
    EXPECT_EQ(big->m_objects, thrown);
}

TEST_F(EffectsCommandsTest, Refusals) {
    Run("Effect_Explo_Create(\"Big\");");
    const struct {
        const char* command;
        const char* line;
    } cases[] = {
        {"Effect_Explo_SetShake(\"None\", 1);", "Explosion is not created : None"},
        {"Effect_Explo_SetPressureWave(\"None\", 1, 2, 3);", "Explosion is not created : None"},
        {"Effect_Explo_SetShake(\"Big\");", "To few arguments"},
        {"Effect_Explo_AddObject(\"Big\", \"Flash\", 2, 1, 0.5, 0.25, 1, 0);",
         "To few arguments in Explo_AddObject : Big"},
        {"Effect_Explo_AddThrowObject(\"Big\", \"Chunk\", 1, 0.5, 3, 1, 8);", "To few arguments"},
        {"Effect_Explo_SetSound(\"None\", \"boom.wav\");", "Explosion type doesn't exist : None"},
    };
    for (const auto& c : cases) EXPECT_EQ(Run(c.command), Lines{c.line}) << c.command;
    // The pressure wave of an existing type is read and kept nowhere.
    EXPECT_EQ(Run("Effect_Explo_SetPressureWave(\"Big\", 1, 2, 3);"), Lines());
    EXPECT_EQ(Run("Effect_Explo_SetSound(\"Big\");"), Lines());
    EXPECT_EQ(TypeCount(), 1);
}

TEST_F(EffectsCommandsTest, TheCameraAndTheSwitches) {
    Run("View_GameSceneCenterX(12); View_GameSceneCenterY(-30); View_GameSceneAngleUp(20);");
    Run("Effect_PolygonBlow(0); Effect_FogColorB(200); effect_polygonblow_amount(2);");
    const CGameCamera& camera = game.Interface()->m_camera;
    EXPECT_FLOAT_EQ(camera.m_focusX, 12.0f);
    EXPECT_FLOAT_EQ(camera.m_focusZ, -30.0f);
    EXPECT_FLOAT_EQ(camera.m_pitch, 20.0f);
    EXPECT_EQ(effects->m_polygonBlow, 0);
    EXPECT_EQ(effects->m_fogColour[2], 200);
    EXPECT_FLOAT_EQ(effects->m_polygonBlowAmount, 1.0f);  // its range ends at 1
}

// The zoom commands (the mouse wheel's): the field of view times or by the
// value, unless the view would span more than View_MaxVis or less than 0.3,
// or leave the field of view's range; a missing or wrong value is said.
TEST_F(EffectsCommandsTest, TheZoomCommandsKeepTheViewWithinWhatItMaySpan) {
    game.SetGuiWord(0);
    game.SetGameState(2);
    Run("View_GameSceneDistance(17); View_GameSceneZoom(1.0471976); View_MaxVis(32);");
    const CGameCamera& camera = game.Interface()->m_camera;
    Run("MultiplyZoom(2);");  // 17 x 2.09 = 35.6 spans more than 32
    EXPECT_FLOAT_EQ(camera.m_zoom, 1.0471976f);
    Run("DivZoom(100);");  // 17 x 0.0105 spans less than 0.3
    EXPECT_FLOAT_EQ(camera.m_zoom, 1.0471976f);
    Run("MultiplyZoom(1.25);");
    EXPECT_FLOAT_EQ(camera.m_zoom, 1.0471976f * 1.25f);
    Run("DivZoom(1.25); DivZoom(2);");
    EXPECT_FLOAT_EQ(camera.m_zoom, 1.0471976f / 2.0f);
    // Far out with room to span more, the field of view still stops at its
    // range's end (1.5).
    Run("View_MaxVis(90); View_GameSceneDistance(30); View_GameSceneZoom(1.4);");
    Run("MultiplyZoom(1.15);");
    EXPECT_FLOAT_EQ(camera.m_zoom, 1.4f);
    EXPECT_EQ(Run("MultiplyZoom(); DivZoom(\"far\"); DivZoom(0);"),
              (Lines{"Error in MultiplyZoom: To few arguments. Syntax: MultiplyZoom(float Value);",
                     "Error in DivZoom: Ivalid argument. Syntax: DivZoom(float Value);",
                     "Error in DivZoom: Ivalid argument. Syntax: DivZoom(float Value);"}));
    EXPECT_FLOAT_EQ(camera.m_zoom, 1.4f);
}

TEST_F(EffectsCommandsTest, TheDemoContentsExplosionsAreWhole) {
    // The demo's effect scripts against the demo's templates: every type the
    // races name by size exists, locked, with objects whose templates are
    // found, and no line says otherwise.
    // The build's demo project, loaded into the game's own world.
    const char* build = std::getenv("TESSARAK_BUILD");
    ASSERT_NE(build, nullptr) << "run through ctest";
    CProjectList projects(nullptr, game.Scene());
    game.World()->SetProjects(&projects);
    ASSERT_TRUE(game.Scene()->LoadUnits((std::string("Z:") + build + "/install/Tessarak/Units").c_str()));
    const char* source = std::getenv("TESSARAK_SOURCE");
    const std::string folder =
        std::string(source ? source : ".") + "/content/Tessarak/Units/Special Effects/";
    lines.clear();
    EXPECT_TRUE(ip->ExecuteFile((folder + "Explosions.cfg").c_str()));
    EXPECT_TRUE(ip->ExecuteFile((folder + "ExplosionsSettings.cfg").c_str()));
    EXPECT_EQ(lines, Lines());
    for (const char* name : {"Small", "Medium", "Big", "Huge"}) {
        CExplosionType* t = effects->FindType(name);
        ASSERT_NE(t, nullptr) << name;
        EXPECT_TRUE(t->m_locked) << name;
        ASSERT_NE(t->m_objects, nullptr) << name;
        for (CExplosionInstance* o = t->m_objects; o; o = o->m_next)
            EXPECT_NE(o->m_template, nullptr) << name;
        EXPECT_NE(t->m_debrisExplosion, nullptr) << name;
    }
    game.World()->SetProjects(nullptr);
}

}  // namespace
