// A copy of the built installation in a scratch folder: System/ with the game
// (a link to the built program, and to its debug build when there is one)
// and Tessarak/ with the packs, without saved settings. A test that runs the
// game in it neither reads what another run saved nor changes the build's
// own installation.
#pragma once

#include "tests/support/TempDir.h"

// True when the game is built (TESSARAK_BUILD) and the copy was made.
bool Test_CopyInstallation(const CTempDir& dir);
