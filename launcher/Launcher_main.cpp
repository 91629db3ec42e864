// tessarak-launcher: starts the game of the installation it is run from (see
// launcher/Launcher.h).
#include <cstdio>

#include "launcher/Launcher.h"

int main(int argc, char** argv) {
    return Launcher_Main(argc, argv, stderr);
}
