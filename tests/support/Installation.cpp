#include "tests/support/Installation.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool Test_CopyInstallation(const CTempDir& dir) {
    const char* build = std::getenv("TESSARAK_BUILD");
    fs::path built = fs::path(build ? build : ".") / "install";
    if (!fs::exists(built / "System" / "Tessarak")) return false;
    std::error_code ec;
    fs::create_directories(dir.File("System"), ec);
    fs::create_symlink(built / "System" / "Tessarak", dir.File("System/Tessarak"), ec);
    if (ec) return false;
    // The debug build too, when this build makes it.
    if (fs::exists(built / "System" / "Tessarak_debug")) {
        fs::create_symlink(built / "System" / "Tessarak_debug", dir.File("System/Tessarak_debug"), ec);
        if (ec) return false;
    }
    // Only the shipped packs and scripts: what a run of the game writes beside
    // them (saved settings, the texture cache) may change under a copy.
    fs::create_directories(dir.File("Tessarak"), ec);
    for (const fs::directory_entry& e : fs::directory_iterator(built / "Tessarak", ec)) {
        std::string name = e.path().filename().string();
        if (name == "Cache") continue;
        fs::copy(e.path(), dir.File("Tessarak/" + name), fs::copy_options::recursive, ec);
        if (ec) return false;
    }
    fs::remove_all(dir.File("Tessarak/Scripts/Config"), ec);
    return true;
}
