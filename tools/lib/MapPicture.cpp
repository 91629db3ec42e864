#include "tools/lib/MapPicture.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/lib/TomlFields.h"

namespace {

bool Pair(const toml::node* n, float out[2]) {
    const toml::array* a = n ? n->as_array() : nullptr;
    if (!a || a->size() != 2) return false;
    for (size_t i = 0; i < 2; ++i) {
        std::optional<double> v = (*a)[i].value<double>();
        if (!v) return false;
        out[i] = static_cast<float>(*v);
    }
    return true;
}

std::string Where(const std::string& path, const toml::node& n) {
    return path + ":" + std::to_string(n.source().begin.line);
}

}  // namespace

bool MapPicture_Render(const std::string& folder, SMapPicture& out, std::string& error) {
    // The map's size from its start-up script.
    const std::string script = folder + "/init.vxm";
    std::ifstream in(script);
    if (!in) return error = script + ": cannot be read", false;
    std::stringstream text;
    text << in.rdbuf();
    const std::string s = text.str();
    int w = 0, h = 0;
    const size_t at = s.find("M_SetGameSceneRect(");
    if (at == std::string::npos || std::sscanf(s.c_str() + at, "M_SetGameSceneRect(%d, %d)", &w, &h) != 2 ||
        w < 1 || h < 1 || w > 2048 || h > 2048)
        return error = script + ": no M_SetGameSceneRect(width, height) of 1 to 2048 squares", false;
    MapPicture_Start(out, w, h);
    const std::string path = folder + "/visual.toml";
    toml::table doc;
    if (!Toml_ParseFile(path, doc, error)) return false;
    if (const toml::array* fills = doc["fill"].as_array())
        for (const toml::node& f : *fills) {
            const toml::table* t = f.as_table();
            float from[2], to[2];
            const double step = t ? (*t)["step"].value_or(0.0) : 0.0;
            if (!t || !Pair(t->get("from"), from) || !Pair(t->get("to"), to) || step <= 0.0)
                return error =
                           Where(path, f) + ": a fill needs from = [x, z], to = [x, z] and a step above 0",
                       false;
            const std::string name = (*t)["template"].value_or(std::string());
            const float half = float(step) * 0.5f;
            for (float x = from[0]; x <= to[0] + 0.001f; x += float(step))
                for (float z = from[1]; z <= to[1] + 0.001f; z += float(step))
                    MapPicture_PaintGround(out, name.c_str(), x, z, half);
        }
    if (const toml::array* objects = doc["object"].as_array())
        for (const toml::node& o : *objects) {
            const toml::table* t = o.as_table();
            const toml::array* places = t ? (*t)["at"].as_array() : nullptr;
            if (!places) return error = Where(path, o) + ": an object needs at = [[x, z], ...]", false;
            const std::string name = (*t)["template"].value_or(std::string());
            for (const toml::node& p : *places) {
                float xz[2];
                if (!Pair(&p, xz)) return error = Where(path, p) + ": a place is [x, z]", false;
                MapPicture_PaintObject(out, name.c_str(), xz[0], xz[1]);
            }
        }
    return true;
}

std::vector<uint8_t> MapPicture_PPM(const SMapPicture& picture) {
    const std::string header =
        "P6\n" + std::to_string(picture.width) + " " + std::to_string(picture.height) + "\n255\n";
    std::vector<uint8_t> bytes(header.begin(), header.end());
    bytes.insert(bytes.end(), picture.rgb.begin(), picture.rgb.end());
    return bytes;
}
