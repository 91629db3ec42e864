// Starts the real game program in a temporary installation and reads what
// it did from its standard output, its exit code and the files it wrote.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/Installation.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"
#include "tools/lib/PackWriter.h"

namespace fs = std::filesystem;

namespace {
// A copy of the built installation: System/ with the game, Tessarak/ with
// the packs; a scratch home keeps the registry and user data apart.
class CInstallation {
public:
    CInstallation() : m_ready(Test_CopyInstallation(dir)) {}
    bool Ready() const { return m_ready; }

    struct SRun {
        int exitCode = -1;
        bool timedOut = false;
        std::string out;
    };

    // Runs the game from its System folder to its end (killed after the time).
    SRun Run(const std::vector<std::string>& args, int timeoutSeconds) {
        SProcessOptions options;
        options.program = dir.File("System/Tessarak");
        options.args = args;
        options.workDir = dir.File(cwd);
        // A read-only installation, for real even where the tests run as
        // root: the game runs as nobody, who can write only its home.
        if (asNobody && geteuid() == 0) options.asUser = 65534;
        options.env = {{"XDG_CONFIG_HOME", dir.File("home/config")},
                       {"XDG_DATA_HOME", dir.File("home/data")},
                       {"HOME", dir.File("home")},
                       {"SDL_AUDIODRIVER", "dummy"},
                       {"ALSOFT_DRIVERS", "null"},
                       {"TESSARAK_HEADLESS_DIALOGS", "1"}};
        if (!std::getenv("DISPLAY")) options.env.push_back({"SDL_VIDEODRIVER", "offscreen"});
        options.env.insert(options.env.end(), env.begin(), env.end());
        SRun run;
        CTestProcess game;
        if (!game.Start(options)) return run;
        run.exitCode = game.Wait(timeoutSeconds, &run.timedOut);
        run.out = game.Output();
        return run;
    }

    CTempDir dir;
    std::vector<std::pair<std::string, std::string>> env;  // set in the game's environment last
    std::string cwd = "System";                            // the folder it starts in, below dir
    bool asNobody = false;                                 // run as nobody when the tests run as root

private:
    bool m_ready;
};

size_t Find(const std::string& out, const char* line, size_t from = 0) {
    return out.find(line, from);
}
}  // namespace

TEST(GameStartTest, StartsRunsItsScriptsAndShutsDownInOrder) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    // Setting a console font to what it is keeps the font; a new size builds one.
    inst.dir.Write(
        "Tessarak/Scripts/Autoexec.cfg",
        "echo(\"autoexec: hello from the test\");\nConsole_Font_Height(11);\nConsole_Font_Height(12);\n"
        "Quit(1,2,3);\nQuit();\n");
    CInstallation::SRun run = inst.Run({}, 60);
    ASSERT_FALSE(run.timedOut) << run.out;
    EXPECT_EQ(run.exitCode, 0) << run.out;

    // The start-up lines, in order.
    const char* lines[] = {"Starting Tessarak Windows 2000 version",
                           "Timer resulotion",
                           "Benchmark speed ",
                           "Executing 'Startup.cfg'...",
                           "Initialzing sound engine...",
                           "...SoundEngine_Initialize()",
                           "...SoundEngine_OpenDriver() : No Output (64 channels)",
                           "autoexec: hello from the test"};
    size_t at = 0;
    for (const char* line : lines) {
        size_t found = Find(run.out, line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << run.out;
        at = found;
    }
    EXPECT_EQ(Find(run.out, "not found"), std::string::npos) << run.out;
    // A wrong call of Quit does not quit: it says the syntax (the next one quits).
    EXPECT_NE(Find(run.out, "Error in Quit: it takes 0 arguments, not 3. Syntax: Quit();"), std::string::npos)
        << run.out;
    // The interface's fonts come with the game: the console's font of the
    // start is found, not made with a warning; a size set later that the
    // game does not hold is made once, and the engine says so.
    const std::string notice =
        "Waring font dynamicly allocated (Name: MS Mincho, Width: 6, Height: 12, Weight: 400, "
        "Attributes: 4, Outline: 0)";
    const size_t first = run.out.find(notice);
    EXPECT_NE(first, std::string::npos) << run.out;
    EXPECT_EQ(run.out.find(notice, first + 1), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("Waring font dynamicly allocated"), first) << run.out;

    // The settings were written back at shutdown.
    fs::path config = inst.dir.File("Tessarak/Scripts/Config");
    ASSERT_TRUE(fs::is_directory(config)) << run.out;
    int files = 0;
    for (const auto& f : fs::directory_iterator(config)) {
        std::string text = inst.dir.Read("Tessarak/Scripts/Config/" + f.path().filename().string());
        EXPECT_EQ(text.rfind("// This file is auto generated", 0), 0u) << f.path();
        ++files;
    }
    EXPECT_GT(files, 0);

    // The installation's place was written into the machine's settings.
    std::string winDir = inst.dir.Win();
    std::string escaped;
    for (char c : winDir) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    EXPECT_NE(inst.dir.Read("registry.ini").find("\"InstalledPath\"=\"" + escaped + "\""), std::string::npos)
        << inst.dir.Read("registry.ini");
}

TEST(GameStartTest, MissingPacksComeFromTheSetupPath) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    fs::create_directories(inst.dir.File("setup/Tessarak"));
    fs::rename(inst.dir.File("Tessarak/Music.box"), inst.dir.File("setup/Tessarak/Music.box"));
    std::string setup = inst.dir.WinFile("setup");
    std::string escaped;
    for (char c : setup) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    inst.dir.Write("registry.ini",
                   "[Software\\Zq\\Tessarak Dodo\\Settings]\n\"SetupPath\"=\"" + escaped + "\"\n");
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", "Quit();\n");
    CInstallation::SRun run = inst.Run({}, 60);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(Find(run.out, "Starting Tessarak Windows 2000 version"), std::string::npos) << run.out;

    // A setup folder that lacks the pack is a broken installation too.
    fs::remove(inst.dir.File("setup/Tessarak/Music.box"));
    run = inst.Run({}, 60);
    EXPECT_NE(run.exitCode, 0) << run.out;
    EXPECT_NE(Find(run.out, "Tessarak has not been properly installed, please reinstall"), std::string::npos)
        << run.out;
}

// The message names what is missing or damaged; a game started from another
// folder than its System folder is told so instead.
TEST(GameStartTest, BrokenInstallationsEndWithTheMessageAndAFailureCode) {
    struct SCase {
        const char* file;     // below the installation
        const char* content;  // null: removed
        const char* cwd;
        const char* says;   // the message up to the installation's folder
        const char* named;  // and after it
    };
    const SCase cases[] = {
        {"Tessarak/Languages/English.box", nullptr, "System",
         "Tessarak has not been properly installed, please reinstall: the language pack ",
         "\\Tessarak\\Languages\\English.box is missing"},
        {"Tessarak/Music.box", nullptr, "System",
         "Tessarak has not been properly installed, please reinstall: the pack ",
         "\\Tessarak\\Music.box is missing"},
        {"Tessarak/Music.box", "not a pack", "System",
         "Tessarak has not been properly installed, please reinstall: the pack ",
         "\\Tessarak\\Music.box is damaged"},
        {"System/keep", "", ".", "Tessarak was started from ", "; start it from its System folder"},
    };
    for (const SCase& c : cases) {
        CInstallation inst;
        if (!inst.Ready()) FAIL() << "the game program is not built";
        if (c.content)
            inst.dir.Write(c.file, c.content);
        else
            fs::remove(inst.dir.File(c.file));
        inst.cwd = c.cwd;
        CInstallation::SRun run = inst.Run({}, 60);
        ASSERT_FALSE(run.timedOut) << c.file << "\n" << run.out;
        EXPECT_NE(run.exitCode, 0) << c.file << "\n" << run.out;
        const std::string says = c.says + inst.dir.Win() + c.named;
        EXPECT_NE(Find(run.out, says.c_str()), std::string::npos) << says << "\n" << run.out;
        EXPECT_EQ(Find(run.out, "Starting Tessarak"), std::string::npos) << run.out;
        // Nothing was saved over the player's settings.
        EXPECT_FALSE(fs::exists(inst.dir.File("Tessarak/Scripts/Config"))) << c.file;
    }
}

TEST(GameStartTest, ADisplayThatCannotOpenEndsWithAnErrorAndAFailureCode) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", "Quit();\n");
    // SDL's dummy driver has windows but nothing to draw them with.
    inst.env.push_back({"SDL_VIDEODRIVER", "dummy"});
    CInstallation::SRun run = inst.Run({}, 60);
    ASSERT_FALSE(run.timedOut) << run.out;
    EXPECT_NE(run.exitCode, 0) << run.out;
    EXPECT_NE(Find(run.out, "Error: "), std::string::npos) << run.out;
    EXPECT_EQ(Find(run.out, "Starting Tessarak"), std::string::npos) << run.out;
    EXPECT_FALSE(fs::exists(inst.dir.File("Tessarak/Scripts/Config"))) << run.out;
}

TEST(GameStartTest, AnExitBeforeTheSettingsAreReadKeepsTheSavedOnes) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    // The start-up script ends the game before it reads the saved settings.
    inst.dir.Write("Tessarak/Scripts/Startup.cfg", "Quit();\r\nExec(\"Config\\\\Console.cfg\");\r\n");
    const std::string mine = "// the player's own settings\r\n";
    inst.dir.Write("Tessarak/Scripts/Config/Console.cfg", mine);
    CInstallation::SRun run = inst.Run({}, 60);
    ASSERT_FALSE(run.timedOut) << run.out;
    EXPECT_NE(Find(run.out, "Executing 'Startup.cfg'..."), std::string::npos) << run.out;
    EXPECT_NE(Find(run.out, "Settings were not saved: start-up did not complete"), std::string::npos)
        << run.out;
    EXPECT_EQ(inst.dir.Read("Tessarak/Scripts/Config/Console.cfg"), mine);
}

// A read-only installation: the first run saves its settings in the user's
// data folder, which from then on overlays the installation (the user's
// files win where both have one) and never hides it.
TEST(GameStartTest, AReadOnlyInstallationStartsEveryTime) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg",
                   "Console_Font_Height;\nConsole_Font_Height(13);\nQuit();\n");
    fs::create_directories(inst.dir.File("home/data"));
    fs::create_directories(inst.dir.File("home/config"));
    if (geteuid() == 0) {
        // Root could write anywhere: the game runs as nobody, who owns only its home.
        inst.asNobody = true;
        ASSERT_EQ(chmod(inst.dir.Path().c_str(), 0755), 0);
        // The game program itself, not a link into a build folder that nobody
        // may not be allowed to reach (a checkout under root's home).
        const std::string game = inst.dir.File("System/Tessarak");
        const fs::path built = fs::read_symlink(game);
        fs::remove(game);
        fs::copy_file(built, game);
        ASSERT_EQ(std::system(("chown -R 65534:65534 '" + inst.dir.File("home") + "'").c_str()), 0);
    } else {
        ASSERT_EQ(std::system(
                      ("chmod -R a-w '" + inst.dir.File("Tessarak") + "' '" + inst.dir.Path() + "'").c_str()),
                  0);
    }
    const std::string userFolder = "home/data/tessarak/Tessarak/Scripts";
    for (int start = 1; start <= 3; ++start) {
        if (start == 3)
            inst.dir.Write(userFolder + "/Autoexec.cfg", "echo(\"the player's own\");\nQuit();\n");
        CInstallation::SRun run = inst.Run({}, 60);
        ASSERT_FALSE(run.timedOut) << start << "\n" << run.out;
        EXPECT_EQ(run.exitCode, 0) << start << "\n" << run.out;
        EXPECT_NE(Find(run.out, "Starting Tessarak Windows 2000 version"), std::string::npos)
            << start << run.out;
        if (start == 2) {
            EXPECT_NE(Find(run.out, "Console_Font_Height = 13"), std::string::npos) << run.out;
        }
        if (start == 3) {
            EXPECT_NE(Find(run.out, "the player's own"), std::string::npos) << run.out;
        }
    }
    EXPECT_NE(inst.dir.Read(userFolder + "/Config/Console.cfg").find("Console_Font_Height(13);"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(inst.dir.File("Tessarak/Scripts/Config")));
    if (geteuid() != 0) std::system(("chmod -R u+w '" + inst.dir.Path() + "'").c_str());
}

// Named pipes in the game's folders are passed over: the start does not
// wait for a writer that never comes.
TEST(GameStartTest, PipesInTheTreeDoNotHangTheStart) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", "Quit();\n");
    for (const char* pipe :
         {"Tessarak/Scripts/pipe.cfg", "Tessarak/Pipe.box", "Tessarak/Scripts/Config/Mouse.cfg"}) {
        fs::create_directories(fs::path(inst.dir.File(pipe)).parent_path());
        ASSERT_EQ(mkfifo(inst.dir.File(pipe).c_str(), 0644), 0) << pipe;
    }
    CInstallation::SRun run = inst.Run({}, 30);
    ASSERT_FALSE(run.timedOut) << run.out;
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_NE(Find(run.out, "Starting Tessarak Windows 2000 version"), std::string::npos) << run.out;
}

// A settings file the player edited is data: a backslash that the language
// does not know costs that one statement, the rest still runs, and the
// player's copy is kept when the game writes the file again.
TEST(GameStartTest, AHandEditedSettingsFileIsReadPastItsFaultsAndKept) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    const std::string mine = "Console_Font_Name(\"C:\\Fonts\\Tahoma\");\r\nConsole_Font_Height(13);\r\n";
    inst.dir.Write("Tessarak/Scripts/Config/Console.cfg", mine);
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", "Console_Font_Height;\nQuit();\n");
    CInstallation::SRun run = inst.Run({}, 60);
    ASSERT_FALSE(run.timedOut) << run.out;
    EXPECT_EQ(run.exitCode, 0) << run.out;
    const std::string path = inst.dir.Win() + "\\Tessarak\\Scripts\\Config\\Console.cfg";
    EXPECT_NE(Find(run.out, ("Error in " + path + ", line 1: \\ has to be followed be").c_str()),
              std::string::npos)
        << run.out;
    EXPECT_NE(Find(run.out, "Console_Font_Height = 13"), std::string::npos) << run.out;
    EXPECT_NE(Find(run.out,
                   (path + " did not read cleanly: the player's copy is kept as " + path + ".bad").c_str()),
              std::string::npos)
        << run.out;
    EXPECT_EQ(inst.dir.Read("Tessarak/Scripts/Config/Console.cfg.bad"), mine);
    EXPECT_NE(inst.dir.Read("Tessarak/Scripts/Config/Console.cfg").find("Console_Font_Height(13);"),
              std::string::npos);
}

// Every settings file the game writes when it closes is read back when it
// starts again: a setting of each comes back as the player left it.
TEST(GameStartTest, EverySavedSettingComesBackAtTheNextStart) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    struct SSetting {
        const char* file;
        const char* set;
        const char* shown;
    };
    const SSetting settings[] = {
        {"Sound.cfg", "se_EffectVolume(37);", "se_EffectVolume = 37"},
        {"Music.cfg", "musicopt_Volume(41);", "musicopt_Volume = 41"},
        {"Effects.cfg", "Effect_Particles(false);", "Effect_Particles = false"},
        {"Network.cfg", "nw_MaxPacketSize(1200);", "nw_MaxPacketSize = 1200"},
        {"Server.cfg", "si_MaxUnits(150);", "si_MaxUnits = 150"},
        {"Visual.cfg", "View_GameSceneDistance(25);", "View_GameSceneDistance = 25"},
        {"GUI.cfg", "sounds_RemindTime(23);", "sounds_RemindTime = 23"},
        {"Player.cfg", "cl_Password(\"pw\");", "cl_Password = pw"},
        {"Interface.cfg", "Interfaceopt_ScrollSpeed(4);", "Interfaceopt_ScrollSpeed = 4"},
        {"Interface.cfg", "Interfaceopt_ToolTips(false);", "Interfaceopt_ToolTips = false"},
    };
    std::string set, ask;
    for (const SSetting& s : settings) {
        set += std::string(s.set) + "\n";
        ask += std::string(s.set, std::strchr(s.set, '(')) + ";\n";
    }
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", set + "Quit();\n");
    CInstallation::SRun first = inst.Run({}, 60);
    ASSERT_EQ(first.exitCode, 0) << first.out;
    for (const SSetting& s : settings)
        EXPECT_NE(inst.dir.Read(std::string("Tessarak/Scripts/Config/") + s.file)
                      .find(std::string(s.set, std::strchr(s.set, '(') + 1)),
                  std::string::npos)
            << s.file;

    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", ask + "Quit();\n");
    CInstallation::SRun second = inst.Run({}, 60);
    ASSERT_EQ(second.exitCode, 0) << second.out;
    for (const SSetting& s : settings)
        EXPECT_NE(Find(second.out, s.shown), std::string::npos) << s.file << second.out;
}

// A save that was killed half-way leaves its hidden temporary file in Save;
// the next start takes away those whose writer is gone, as it does in
// Scripts/Config, and keeps the saved games and a file another running game
// is still writing.
TEST(GameStartTest, TemporariesOfInterruptedSavesAreSweptAtTheStart) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", "Quit();\n");
    pid_t child = fork();
    if (child == 0) _exit(0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string dead = std::to_string(child), alive = std::to_string(getpid());
    const std::string save = "Tessarak/Save/";
    const std::vector<std::string> gone = {save + ".Skerry (2) 1.tmp." + dead + ".Ab12Cd",
                                           save + ".Skerry (2) 2.tmp." + dead + ".Ef34Gh",
                                           save + ".FourWinds (3) 1.tmp.Ij56Kl"};
    const std::vector<std::string> kept = {save + "Skerry (2) 1", save + "Skerry (2) 2",
                                           save + ".FourWinds (3) 2.tmp." + alive + ".Mn78Op"};
    struct timeval old[2] = {{time(nullptr) - 600, 0}, {time(nullptr) - 600, 0}};
    for (const auto* list : {&gone, &kept})
        for (const std::string& f : *list) {
            ASSERT_TRUE(inst.dir.Write(f, "half a saved game"));
            utimes(inst.dir.File(f).c_str(), old);
        }
    CInstallation::SRun run = inst.Run({}, 60);
    ASSERT_EQ(run.exitCode, 0) << run.out;
    for (const std::string& f : gone) EXPECT_FALSE(fs::exists(inst.dir.File(f))) << f;
    for (const std::string& f : kept) EXPECT_TRUE(fs::exists(inst.dir.File(f))) << f;
}

TEST(GameStartTest, LanguageFromTheCommandLine) {
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    // German is not installed: its language script is missing.
    CInstallation::SRun run = inst.Run({"German"}, 60);
    EXPECT_NE(run.exitCode, 0) << run.out;
    EXPECT_NE(Find(run.out, "Tessarak has not been properly installed"), std::string::npos) << run.out;

    // Its language pack brings the script; the script runs before any other.
    CPackWriter pack;
    pack.Add("Scripts\\German.cfg", "Flip(true);\n");
    ASSERT_TRUE(pack.WriteTo(inst.dir.File("Tessarak/Languages/German.box")));
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", "Quit();\n");
    run = inst.Run({"German"}, 60);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    size_t flipped = Find(run.out, "true is read only");
    ASSERT_NE(flipped, std::string::npos) << run.out;
    EXPECT_LT(flipped, Find(run.out, "Starting Tessarak Windows 2000 version")) << run.out;
}

// The window shows the console with its text. The game runs on an X server
// of its own, so that no other window can be mistaken for it.
TEST(GameStartTest, WindowShowsTheConsole) {
    if (std::system("command -v xvfb-run xdotool import >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "xvfb-run, xdotool or ImageMagick missing";
    CInstallation inst;
    if (!inst.Ready()) FAIL() << "the game program is not built";
    std::string lines;
    for (int i = 0; i < 40; ++i)
        lines += "echo(\"################################################################\");\n";
    inst.dir.Write("Tessarak/Scripts/Autoexec.cfg", lines);
    // Start, wait for the lines, photograph the window until the console's
    // light text shows in it (or 20 s passed), then ask the program to end
    // as the system would.
    inst.dir.Write(
        "run.sh",
        "cd \"$1/System\" || exit 1\n"
        "./Tessarak > \"$1/out.txt\" 2>&1 &\n"
        "pid=$!\n"
        "for i in $(seq 300); do grep -q '########' \"$1/out.txt\" && break; sleep 0.1; done\n"
        "id=$(xdotool search --sync --all --pid $pid --name '^Tessarak$' 2>/dev/null | head -1)\n"
        "for i in $(seq 200); do\n"
        "  [ -n \"$id\" ] && import -window \"$id\" -depth 8 \"txt:$1/shot.txt\"\n"
        "  [ \"$(grep -cE '#(C[89A-F]|[D-F][0-9A-F]){3}' \"$1/shot.txt\" 2>/dev/null)\" -gt 200 ] && break\n"
        "  sleep 0.1\n"
        "done\n"
        "kill -TERM $pid\n"
        "wait $pid\n"
        "echo $? > \"$1/exit.txt\"\n");
    std::string home = inst.dir.File("home");
    std::string cmd = "env XDG_CONFIG_HOME='" + home + "/config' XDG_DATA_HOME='" + home +
                      "/data' TESSARAK_HEADLESS_DIALOGS=1 SDL_AUDIODRIVER=dummy LIBGL_ALWAYS_SOFTWARE=1 "
                      "timeout 60 xvfb-run -a -s '-screen 0 1024x768x24 +extension GLX' sh '" +
                      inst.dir.File("run.sh") + "' '" + inst.dir.Path() + "'";
    // xvfb-run -a takes the first display without a lock file; another
    // server starting at the same moment may take it first. The script did
    // not run then: start again.
    for (int attempt = 0; attempt < 3 && !fs::exists(inst.dir.File("out.txt")); ++attempt)
        std::system(cmd.c_str());
    std::string out = inst.dir.Read("out.txt");
    EXPECT_EQ(inst.dir.Read("exit.txt"), "0\n") << out;
    EXPECT_TRUE(fs::exists(inst.dir.File("Tessarak/Scripts/Config/Console.cfg"))) << out;
    std::string text = inst.dir.Read("shot.txt");
    ASSERT_FALSE(text.empty()) << "no screenshot of the window\n" << out;
    // Count light pixels: the console's white text.
    size_t light = 0;
    for (size_t hash = text.find('#'); hash != std::string::npos; hash = text.find('#', hash + 1)) {
        unsigned value = (unsigned)std::strtoul(text.substr(hash + 1, 6).c_str(), nullptr, 16);
        if (((value >> 16) & 0xFF) > 200 && ((value >> 8) & 0xFF) > 200 && (value & 0xFF) > 200) ++light;
        hash = text.find('\n', hash);
        if (hash == std::string::npos) break;
    }
    EXPECT_GT(light, 200u) << "the console area is blank";
}
