// The tree check on small trees of its own: a clean tree passes, and each
// kind of fault (an include or a link that reaches up a layer, a library
// linked twice, the linker's cycle resolution, a world source without the
// lockstep guard first, an engine source naming a type of the game, a console
// variable bound to another object's field, a file off the project's format)
// fails with its line.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

std::string Source() {
    const char* source = std::getenv("TESSARAK_SOURCE");
    return source ? source : ".";
}

struct SFile {
    const char* path;
    const char* text;
};

// A tree that passes: a world source, an application that includes the world
// and binds a console variable of its own, a program main that includes the
// commands above it, links down only; an engine type that the world's header
// declares ahead.
const SFile kCleanTree[] = {
    {"world/Scene.cpp", "#include \"core/Determinism.h\"\n\n#include \"world/Scene.h\"\n"},
    {"world/Scene.h", "#pragma once\n\nclass CE3DFrame;\n\nclass CScene {};\n"},
    {"e3d/Frame.h", "#pragma once\n\nclass CE3DFrame {};\n"},
    {"app/Game.cpp", "#include \"world/Scene.h\"\n"},
    {"app/Vars.cpp",
     "void CGame::Register() {\n    Add(SCommandRow::Int(\"x\", &m_vars.x, 0, 1, \"\", \"\"));\n}\n"},
    {"app/Tessarak_main.cpp", "#include \"commands/Areas.h\"\n"},
    {"cmake/Tessarak.cmake", "set(TESSARAK_DEPS_world    console nwe)\nset(TESSARAK_DEPS_app      ui)\n"},
    {"CMakeLists.txt", "target_link_libraries(ui PUBLIC netgame)\n"},
};

// Writes the clean tree with one file replaced or added, makes it a git work
// tree and runs the check on it.
int Check(const SFile& change, std::string* out) {
    CTempDir dir;
    std::ifstream format(Source() + "/.clang-format");
    dir.Write(".clang-format", std::string(std::istreambuf_iterator<char>(format), {}));
    for (const SFile& f : kCleanTree)
        if (std::string(f.path) != change.path) dir.Write(f.path, f.text);
    if (change.text) dir.Write(change.path, change.text);
    std::string git;
    if (Test_RunShell("cd '" + dir.Path() + "' && git init -q .", &git) != 0) {
        *out = git;
        return -1;
    }
    return Test_RunShell("bash '" + Source() + "/tools/check/tree.sh' '" + dir.Path() + "'", out);
}

}  // namespace

TEST(TreeCheck, PassesACleanTreeAndNamesEachFault) {
    const struct {
        SFile change;
        const char* says;  // null: the tree passes
    } cases[] = {
        {{"README", nullptr}, nullptr},  // the clean tree as it stands
        {{"world/Grid.cpp", "#include \"core/Determinism.h\"\n\n#include \"app/Game.h\"\n"},
         "layer: world/Grid.cpp:3 includes app/Game.h (world may not reach app)"},
        {{"netgame/Net.cpp", "#include \"ui/Interface.h\"\n"},
         "layer: netgame/Net.cpp:1 includes ui/Interface.h (netgame may not reach ui)"},
        {{"core/File.cpp", "#include \"e3d/Screen.h\"\n"}, "(core may not reach e3d)"},
        {{"cmake/Tessarak.cmake", "set(TESSARAK_DEPS_world console app)\n"},
         "link: world links app (world may not reach app)"},
        {{"cmake/Tessarak.cmake", "set(TESSARAK_DEPS_ui ui)\n"}, "link: ui links ui (ui may not reach ui)"},
        {{"CMakeLists.txt", "target_link_libraries(netgame PRIVATE core ai)\n"},
         "link: netgame links ai (netgame may not reach ai)"},
        {{"cmake/Tessarak.cmake", "set(TESSARAK_DEPS_app ui world ui)\n"}, "link: app links ui twice"},
        // The interface and the computer players are siblings.
        {{"CMakeLists.txt", "target_link_libraries(ui PUBLIC ai)\n"},
         "link: ui links ai (ui may not reach ai)"},
        {{"cmake/Tessarak.cmake", "set_property(TARGET app PROPERTY LINK_INTERFACE_MULTIPLICITY 3)\n"},
         "link: LINK_INTERFACE_MULTIPLICITY"},
        {{"world/Radar.cpp", "#include \"core/Determinism.h\"\n\n#include \"ui/InterfaceFields.h\"\n"},
         "layer: world/Radar.cpp:3 includes ui/InterfaceFields.h (world may not reach ui)"},
        {{"console/Interpreter.h", "#pragma once\n\n// The owner.\nclass CScene;\n"},
         "engine: console/Interpreter.h:4 names CScene, a type of the game"},
        {{"app/Vars.cpp",
          "void R(CScene* s) {\n    Add(SCommandRow::Float(\"fog\", &s->m_fog, 0, 1, \"\", \"\"));\n}\n"},
         "console: app/Vars.cpp:2 binds \"fog\" to &s->m_fog, a field of another object"},
        {{"world/Scene.cpp", "#include \"world/Scene.h\"\n"},
         "lockstep: world/Scene.cpp does not include core/Determinism.h first"},
        {{"app/Game.cpp", "int  f( ) { return 0; }\n"}, "format: these files differ"},
    };
    for (const auto& c : cases) {
        std::string out;
        int code = Check(c.change, &out);
        if (!c.says) {
            EXPECT_EQ(code, 0) << c.change.path << "\n" << out;
        } else {
            EXPECT_EQ(code, 1) << c.change.path << "\n" << out;
            EXPECT_NE(out.find(c.says), std::string::npos) << c.says << "\n" << out;
        }
    }
}
