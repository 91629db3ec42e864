// Two game programs joined over UDP on 127.0.0.1, each in its own
// installation: the host plays a skirmish from its start-up script first
// and goes back to the lobby to host the small demo map, the other joins it
// (named "Hosty" and "Clienty"), both printing their sync CRC every fifth
// frame.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

// Starts both and joins them; false with what went wrong in why. The host's
// and the client's environments add to Test_StartGame's; the commands of
// hostAlone run on the host while it still plays alone.
bool Test_JoinTwoMachines(const CTempDir& hostDir, const CTempDir& clientDir, CTestProcess& host,
                          CTestProcess& client, std::string& why,
                          const std::vector<std::pair<std::string, std::string>>& hostEnv = {},
                          const std::string& hostAlone = "");
