// What ./tessarak.sh play builds: the "game" target holds the programs and the
// demo installation and none of the tests or benchmarks, and the script's play
// builds that target (the debug program too when it starts that), never the
// whole tree.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/XServer.h"

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : ".";
}

// What ninja's tool says of the target ("inputs": everything it is built
// from, one path a line; "query": what it names directly); "" when ninja
// gave no answer.
std::string Ninja(const char* tool, const std::string& target) {
    std::string command =
        "ninja -C '" + Env("TESSARAK_BUILD") + "' -t " + tool + " " + target + " 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0) out.append(buffer, n);
        pclose(p);
    }
    return out;
}

}  // namespace

TEST(PlayBuild, TheGameTargetHoldsTheProgramsAndContentButNoTests) {
    if (!Test_OnPath("ninja") || !std::ifstream(Env("TESSARAK_BUILD") + "/build.ninja"))
        GTEST_SKIP() << "needs a Ninja build";
    const std::string direct = Ninja("query", "game");
    for (const char* needed : {"install/System/Tessarak\n", "install/tessarak-launcher\n",
                               "content/content\n", "content/demo_media\n"})
        EXPECT_NE(direct.find(needed), std::string::npos) << needed << direct;
    const std::string game = Ninja("inputs", "game");
    ASSERT_NE(game.find("Tessarak_main.cpp.o"), std::string::npos);
    for (const char* unwanted :
         {"/tests/", "tests/", "/bench/", "bench/", "gtest", "benchmark", "testsupport"})
        EXPECT_EQ(game.find(unwanted), std::string::npos) << unwanted;
    // The whole tree holds them: the check above can see them.
    EXPECT_NE(Ninja("inputs", "all").find("tests/"), std::string::npos);

    std::ifstream in(Env("TESSARAK_SOURCE") + "/tessarak.sh");
    const std::string script((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t play = script.find("\n  play)");
    ASSERT_NE(play, std::string::npos);
    const std::string branch = script.substr(play, script.find(";;\n", script.find("esac", play)) - play);
    EXPECT_NE(branch.find("build game ;;"), std::string::npos) << branch;
    EXPECT_NE(branch.find("build game Tessarak_debug ;;"), std::string::npos) << branch;
    EXPECT_EQ(branch.find("    build\n"), std::string::npos) << branch;
}
