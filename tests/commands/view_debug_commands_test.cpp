// The view, effects (the star field), developer test and debug areas'
// commands through the game's interpreter, with a game view on the
// recording display back end: the camera's turns, tilts and zooms within
// their bounds, centring, events, tracking, the radar's scale and switches,
// the scene's colours, sun and render options as the render takes them,
// the star field over the map, the timings' read-outs, the capture state
// and the local time; one console line for each bad call.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "app/Game.h"
#include "app/GameClock.h"
#include "app/GameScreen.h"
#include "app/GameView.h"
#include "app/InputManager.h"
#include "console/CommandInterpreter.h"
#include "e3d/Camera.h"
#include "e3d/Emitter.h"
#include "e3d/Frame.h"
#include "e3d/Light.h"
#include "e3d/Viewport.h"
#include "netgame/NetGame.h"
#include "platform/d3d/Recorder.h"
#include "tests/support/CommandConsole.h"
#include "ui/Interface.h"
#include "world/ExplosionManager.h"
#include "world/GameScene.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"
#include "world/TessarakObject.h"
#include "world/World.h"
#include "world/WorldCommands.h"
#include "world/WorldGrid.h"

namespace {

using Lines = std::vector<std::string>;

class ViewCommandsTest : public ::testing::Test {
protected:
    void SetUp() override {
        DDraw_SetFactory(&rec);
        view = new CGameView(&game, 0);
        game.SetGameView(view);
        ASSERT_TRUE(view->ChooseDisplay());
        game.SetClock(new CGameClock);
        net = new CNetGame(game.Roles().Net());
        game.SetNetGame(net);
        game.CreateWorld(&root);
        world = game.World();
        world->Grid().SetMapRect(-64, 64, 64, -64);
        world->Grid().Reset();
        console.Start(game);
        ui = game.Interface();
        game.SetGuiWord(0);
        game.SetGameState(2);
    }
    void TearDown() override {
        console.Stop();
        game.DeleteWorld();
        delete net;
        game.SetNetGame(nullptr);
        delete game.Clock();
        game.SetClock(nullptr);
        game.SetGameView(nullptr);
        delete view;
        DDraw_SetFactory(nullptr);
    }
    Lines Run(const std::string& text) { return console.Run(text.c_str()); }
    // An object of a template of the test's own at (x, 0, z), with an id.
    CTessarakObject* Place(float x, float z) {
        if (!rock) {
            rock = new CTessarakObjectTemplate(&world->Scene(), &root, 1, nullptr);
            rock->m_projectId = 1;
            rock->m_nodeId = 77;
            rock->m_name = "Rock";
        }
        const float at[3] = {x, 0.0f, z};
        return world->Scene().CreateObjectByClass(rock, at, nullptr, world->Scene().m_idTable.NewId());
    }

    CD3DRecorder rec;
    CE3DFrame root{nullptr};
    CGame game{nullptr, "No datafile"};
    CGameView* view = nullptr;
    CNetGame* net = nullptr;
    CWorld* world = nullptr;
    CInterface* ui = nullptr;
    CTessarakObjectTemplate* rock = nullptr;
    CCommandConsole console;
};

TEST_F(ViewCommandsTest, TheCameraTurnsTiltsAndZoomsWithinItsBounds) {
    CGameCamera& camera = ui->m_camera;
    struct SCase {
        const char* setup;
        const char* command;
        float heading, pitch, zoom;
    };
    // Heading 300 + 100 is 40; 5 - 10 is 355; the tilt stops at 45 and at 1;
    // a zoom that would reach past View_MaxVis (17 x 2.09 > 32) or nearer
    // than 0.3 (17 x 0.0105) keeps the field of view.
    const SCase cases[] = {
        {"View_GameSceneAngle(300);", "MoveSceneAngle(100.0);", 40.0f, 12.0f, 1.0471976f},
        {"View_GameSceneAngle(5);", "MoveSceneAngle(-10.0);", 355.0f, 12.0f, 1.0471976f},
        {"View_GameSceneAngle(10);", "MoveSceneAngle(1070);", 0.0f, 12.0f, 1.0471976f},
        {"View_GameSceneAngleUp(12);", "MoveSceneAngleUp(100.0);", 270.0f, 45.0f, 1.0471976f},
        {"View_GameSceneAngleUp(12);", "MoveSceneAngleUp(-30);", 270.0f, 1.0f, 1.0471976f},
        {"View_GameSceneZoom(1.0471976);", "MultiplyZoom(2.0);", 270.0f, 12.0f, 1.0471976f},
        {"View_GameSceneZoom(1.0471976);", "DivZoom(100.0);", 270.0f, 12.0f, 1.0471976f},
        {"View_GameSceneZoom(1.0);", "DivZoom(2.0);", 270.0f, 12.0f, 0.5f},
        {"View_GameSceneZoom(1.0);", "MultiplyZoom(1.25);", 270.0f, 12.0f, 1.25f},
    };
    for (const SCase& k : cases) {
        Run("View_GameSceneAngle(270); View_GameSceneAngleUp(12); View_GameSceneDistance(17); "
            "View_MaxVis(32);");
        Run(k.setup);
        EXPECT_EQ(Run(k.command), Lines()) << k.command;
        EXPECT_FLOAT_EQ(camera.m_heading, k.heading) << k.command;
        EXPECT_FLOAT_EQ(camera.m_pitch, k.pitch) << k.command;
        EXPECT_FLOAT_EQ(camera.m_zoom, k.zoom) << k.command;
    }
    struct SBad {
        const char* command;
        const char* line;
    };
    const SBad bad[] = {
        {"MoveSceneAngle();",
         "Error in MoveSceneAngle: To few arguments. Syntax: MoveSceneAngle(float Value);"},
        {"MoveSceneAngle(abc);",
         "Error in MoveSceneAngle: Ivalid argument. Syntax: MoveSceneAngle(float Value);"},
        {"DivZoom(0);", "Error in DivZoom: Ivalid argument. Syntax: DivZoom(float Value);"},
        {"MultiplyZoom(-2);", "Error in MultiplyZoom: Ivalid argument. Syntax: MultiplyZoom(float Value);"},
        {"MultiplyRadarScale(abc);",
         "Error in MultiplyRadarScale: Ivalid argumtent. Syntax: MultiplyRadarScale(float Value);"},
        {"DivRadarScale(0);", "Error in DivRadarScale: Ivalid argument. Syntax: DivRadarScale(float Value);"},
    };
    for (const SBad& k : bad) EXPECT_EQ(Run(k.command), Lines{k.line}) << k.command;
    EXPECT_FLOAT_EQ(camera.m_zoom, 1.25f);
    EXPECT_FLOAT_EQ(ui->m_fields.m_radarScale, 1.0f);
}

TEST_F(ViewCommandsTest, CentringEventsTrackingAndTheRadar) {
    CGameCamera& camera = ui->m_camera;
    Run("View_GameSceneCenterX(5); View_GameSceneCenterY(7); Center();");
    EXPECT_EQ(camera.GroundX(), 0.0f);
    EXPECT_EQ(camera.GroundZ(), 0.0f);
    // Over the selected objects' mean place; nothing selected: it stays.
    CTessarakObject* one = Place(10, 20);
    CTessarakObject* two = Place(20, 40);
    camera.LookAt(3, 3);
    Run("CenterSelected();");
    EXPECT_EQ(camera.GroundX(), 3.0f);
    one->m_stateA |= CTessarakObject::kA_Selected;
    two->m_stateA |= CTessarakObject::kA_Selected;
    Run("CenterSelected();");
    EXPECT_EQ(camera.GroundX(), 15.0f);
    EXPECT_EQ(camera.GroundZ(), 30.0f);
    // The local player's last event.
    camera.LookAt(0, 0);
    Run("JumpToEvent();");
    EXPECT_EQ(camera.GroundX(), 0.0f);
    game.PostEventMessage(25, net->m_players.m_local->m_ownerId, -12, 9, "");
    Run("JumpToEvent();");
    EXPECT_EQ(camera.GroundX(), -12.0f);
    EXPECT_EQ(camera.GroundZ(), 9.0f);
    // Tracking the first selected object of the list, then not.
    Run("FlipTracking();");
    EXPECT_EQ(camera.m_followed, two->m_objectId);  // the newest is first in the list
    Run("FlipTracking();");
    EXPECT_EQ(camera.m_followed, -1);

    // The radar: its scale, and its surfaces drawn again after a change of
    // the switches.
    SInterfaceFields& f = ui->m_fields;
    f.m_radarSurfaceValid[0] = f.m_radarSurfaceValid[1] = f.m_radarSurfaceValid[2] = 1;
    Run("MultiplyRadarScale(3); DivRadarScale(4);");
    EXPECT_FLOAT_EQ(f.m_radarScale, 0.75f);
    EXPECT_EQ(f.m_radarSurfaceValid[0], 0);
    EXPECT_EQ(f.m_radarSurfaceValid[1], 1);
    f.m_guiChanged = 0;
    Run("cg_DrawGUI(false);");
    EXPECT_EQ(ui->m_drawGUI, 0);
    EXPECT_EQ(f.m_radarSurfaceValid[1], 0);
    EXPECT_EQ(f.m_guiChanged, 1);
    Run("cg_DrawRadar(false); cg_DrawFullScreenRadar(true); cg_RadarScreenPortion(2);");
    EXPECT_EQ(f.m_drawRadar, 0);
    EXPECT_EQ(f.m_fullScreenRadar, 1);
    EXPECT_FLOAT_EQ(f.m_radarScreenPortion, 0.95f);
}

TEST_F(ViewCommandsTest, TheRenderTakesTheColoursTheSunAndTheRenderOptions) {
    CGameScreen* screen = view->m_screen;
    ASSERT_TRUE(screen && screen->m_mainCamera && screen->m_sun && view->m_viewport);
    const D3DVECTOR sunWas = screen->m_sun->m_light.dvDirection;
    Run("scene_ambinet_red(200); scene_ambinet_green(300); scene_bgcolor_blue(90);"
        "scene_sun_red(128); scene_sun_green(0); scene_sun_heading(2.0); scene_sun_pitch(1.2);"
        "cg_EnableTextures(false); cg_EnableAlphaBlending(0); cg_EnableAntialiasing(1); "
        "cg_EnableDithering(0);"
        "cg_MaxNumLights(3); cg_TextureMagnification(2); cg_TextureMinification(1); cg_TextureMipmapMode(1);"
        "cg_MaxFillMode(2); cg_MaxShadeMode(1);");
    view->ApplySceneSettings();
    EXPECT_EQ(view->m_viewport->m_ambientColor[0], 200);
    EXPECT_EQ(view->m_viewport->m_ambientColor[1], 255);  // the row's range
    EXPECT_EQ(view->m_viewport->m_clearColor[2], 90);
    const SE3DRenderParams& p = screen->m_mainCamera->m_params;
    EXPECT_FALSE(p.texturesOn);
    EXPECT_FALSE(p.alphaBlendingOn);
    EXPECT_TRUE(p.antialiasingOn);
    EXPECT_FALSE(p.ditherOn);
    EXPECT_EQ(p.maxLights, 3);
    EXPECT_EQ(p.maxMagFilter, 2u);
    EXPECT_EQ(p.maxMinFilter, 1u);
    EXPECT_EQ(p.maxMipFilter, 0u);  // "None": the parameter counts from 0
    EXPECT_EQ(p.maxFillMode, 2u);
    EXPECT_EQ(p.maxShadeMode, 1u);
    const D3DCOLORVALUE& colour = screen->m_sun->m_light.dcvDiffuse;
    EXPECT_FLOAT_EQ(colour.r, 0.5f);
    EXPECT_FLOAT_EQ(colour.g, 0.0f);
    EXPECT_FLOAT_EQ(colour.b, 1.0f);
    const D3DVECTOR& sunIs = screen->m_sun->m_light.dvDirection;
    EXPECT_TRUE(sunIs.x != sunWas.x || sunIs.y != sunWas.y || sunIs.z != sunWas.z);
    // The far clipping plane follows its row.
    Run("view_FarClipping(40); view_NearClipping(3);");
    EXPECT_EQ(view->m_farMargin, 40.0f);
    EXPECT_EQ(view->m_nearPlane, 3.0f);
}

TEST_F(ViewCommandsTest, TheStarFieldCoversTheMapOnceWhateverItIsMadeAgain) {
    ASSERT_EQ(world->Engine(), view->m_engine);
    CExplosionManager& effects = world->Explosions();
    effects.m_viewEffects = 1;
    // Without a template there is no field.
    Run("Effect_GenerateStars();");
    EXPECT_EQ(effects.StarCount(), 0);
    Run("Emitter_Create (40, 0.0, 0, 1, 0.0, 1.0, 0.0, 50, 0.1, 0.0, 1.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, "
        "0.0,"
        " 0.0, 0.0, 0.0); Emitter_SetName (\"StarsSmall\");");
    // The map is 128 wide: five cells of 30 each way.
    Run("Effect_GenerateStars();");
    EXPECT_EQ(effects.StarCount(), 25);
    auto emitters = [&] {
        int n = 0;
        for (CE3DFrame* f = root.m_firstChild; f; f = f->m_siblingNext) n += f->m_type == kE3DFrameEmitter;
        return n;
    };
    EXPECT_EQ(emitters(), 25);
    // Again, with one cell of overlap: the old field goes whole.
    Run("Effect_GenerateStars(\"StarsSmall\", 10, -20, 7, 3, 0, 1);");
    EXPECT_EQ(effects.StarCount(), 64);  // from -1 to below 4.27 + 2: 8 each way
    EXPECT_EQ(emitters(), 64);
    EXPECT_EQ(
        Run("Effect_GenerateStars(\"StarsSmall\", 10);"),
        Lines{
            "Error in Effect_GenerateStars: To few arguments. Syntax: Effect_GenerateStars(str EmitterName, "
            "int NumStars, float YLevel, float YLevelRandom, float Size, float RandomSize, float OverLap);"});
    EXPECT_EQ(Run("Effect_GenerateStars(\"NoStars\", 10, -20, 7, 3, 0, 1);").size(), 1u);
    EXPECT_EQ(effects.StarCount(), 64);
}

TEST_F(ViewCommandsTest, DebugAndTestRows) {
    // The capture state the render frame reads.
    Run("Capture_Start();");
    EXPECT_EQ(game.CaptureMode(), 2);
    EXPECT_EQ(game.CaptureRate(), 30.0f);
    Run("Capture_Start(12.5);");
    EXPECT_EQ(game.CaptureRate(), 12.5f);
    Run("SaveScreenCapture();");
    EXPECT_EQ(game.CaptureMode(), 1);
    Run("Capture_Stop();");
    EXPECT_EQ(game.CaptureMode(), 0);
    const std::string syntax = ". Syntax: Capture_Start(float Fps);";
    EXPECT_EQ(Run("Capture_Start(0);"),
              Lines{"Error in Capture_Start: Ivalid argument (frames per second above 0 and at most 1000)" +
                    syntax});
    EXPECT_EQ(Run("Capture_Start(fast);").size(), 1u);
    EXPECT_EQ(game.CaptureMode(), 0);

    Lines time = Run("ShowTime();");
    ASSERT_EQ(time.size(), 1u);
    EXPECT_TRUE(std::regex_match(
        time[0], std::regex(R"(Current time is : \d{1,2}:\d{2}:\d{2} \d{1,2}/\d{1,2}, \d{4})")))
        << time[0];
    Lines chars = Run("vid_TestCharSet();");
    ASSERT_EQ(chars.size(), 255u);
    EXPECT_EQ(chars[64], "65 : A");
    EXPECT_EQ(chars[9], "10 :  ");  // a line feed's line stays one line
    Lines sizes = Run("ReportClassSizes();");
    EXPECT_EQ(sizes, (Lines{"CNWEDupPacket 112", "CNWEDataPacket 1712"}));

    // The timings: their stopwatches' lines in their order.
    const std::regex stopwatch(
        R"(([A-Za-z0-9_ ]+) : \d+ \(\d+\.\d{6} s\) \(\d+\.\d{6} ms\) \(\d+\.\d{6} \xB5s\))");
    auto watches = [&](const Lines& lines) {
        Lines names;
        std::smatch m;
        for (const std::string& l : lines)
            if (std::regex_match(l, m, stopwatch)) names.push_back(m[1]);
        return names;
    };
    EXPECT_EQ(watches(Run("TestConsoleCommands();")), (Lines{"Old GetCommand", "New GetCommand"}));
    EXPECT_EQ(watches(Run("TestSQRT();")), (Lines{"NOP", "Normal sqrt", "Fast sqrt"}));
    EXPECT_EQ(watches(Run("TestInt();")),
              (Lines{"Fast conv", "NOP", "Test conv", "Test2 conv", "Threadsafe conv", "Threadsafe 2 conv",
                     "asm conv", "Slow conv"}));
    Lines floats = watches(Run("TestFloat();"));
    ASSERT_EQ(floats.size(), 34u);
    EXPECT_EQ(floats[0], "abs");
    EXPECT_EQ(floats[33], "f_sqrt");
    // The editor's only: never a client's of another machine's game; the
    // host of a game on this machine alone may.
    const uint8_t hosting = net->m_hosting, connected = net->m_clientConnected;
    net->m_hosting = 0;
    net->m_clientConnected = 1;
    EXPECT_EQ(Run("ApplyForce(1, 2, 3);"), Lines{"ApplyForce cannot be run at this time or gamestate"});
    net->m_hosting = 1;
    net->m_clientConnected = 0;
    EXPECT_EQ(Run("ApplyForce(1, 2, 3);"), Lines{"Error in ApplyForce: To few arguments. Syntax: "
                                                 "ApplyForce(float SpreadingSpeed, float Mass, float "
                                                 "Damage, float DamageRadius);"});
    net->m_hosting = hosting;
    net->m_clientConnected = connected;
    Run("perf_Render(1);");
    EXPECT_EQ(game.Variables().perfRender, 1);
}

}  // namespace
