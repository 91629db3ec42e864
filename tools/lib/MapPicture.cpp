#include "tools/lib/MapPicture.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/lib/TomlFields.h"

namespace {

struct SLook {
    const char* name;
    uint8_t r, g, b;
    float radius;  // objects: the disc's radius in map units; 0: a ground tile
};

const SLook kLooks[] = {
    {"Ground_Grass", 79, 122, 53, 0.0f},  {"Ground_Sand", 194, 173, 122, 0.0f},
    {"Ground_Rock", 123, 118, 112, 0.0f}, {"Rock_Large", 150, 146, 140, 3.0f},
    {"Rock_Small", 150, 146, 140, 1.5f},  {"Tree_Pine", 30, 70, 30, 1.5f},
    {"Tree_Round", 40, 84, 34, 1.5f},     {"Game_Resource_Spot", 200, 60, 200, 2.0f},
};
const SLook kOtherGround = {"", 60, 70, 40, 0.0f};
const SLook kOtherObject = {"", 128, 128, 128, 1.5f};

const SLook& LookOf(const std::string& name, bool ground) {
    for (const SLook& l : kLooks)
        if (name == l.name) return l;
    return ground ? kOtherGround : kOtherObject;
}

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
    out.width = 2 * w;
    out.height = 2 * h;
    out.rgb.assign(size_t(out.width) * size_t(out.height) * 3, 0);
    const float left = -0.5f * float(w), top = 0.5f * float(h);
    // The pixels whose centres lie inside the map rectangle (x0, z0)-(x1, z1)
    // or the disc around (x, z) take the look's colour.
    auto paint = [&](float x0, float z0, float x1, float z1, const SLook& look, bool disc, float cx,
                     float cz) {
        const int px0 = std::max(0, int(std::floor(2.0f * (x0 - left))));
        const int px1 = std::min(out.width - 1, int(std::ceil(2.0f * (x1 - left))));
        const int py0 = std::max(0, int(std::floor(2.0f * (top - z1))));
        const int py1 = std::min(out.height - 1, int(std::ceil(2.0f * (top - z0))));
        for (int py = py0; py <= py1; ++py)
            for (int px = px0; px <= px1; ++px) {
                const float x = left + (float(px) + 0.5f) * 0.5f, z = top - (float(py) + 0.5f) * 0.5f;
                if (x < x0 || x > x1 || z < z0 || z > z1) continue;
                if (disc && (x - cx) * (x - cx) + (z - cz) * (z - cz) > look.radius * look.radius) continue;
                uint8_t* p = &out.rgb[(size_t(py) * size_t(out.width) + size_t(px)) * 3];
                p[0] = look.r, p[1] = look.g, p[2] = look.b;
            }
    };
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
            const SLook& look = LookOf((*t)["template"].value_or(std::string()), true);
            const float half = float(step) * 0.5f;
            for (float x = from[0]; x <= to[0] + 0.001f; x += float(step))
                for (float z = from[1]; z <= to[1] + 0.001f; z += float(step))
                    paint(x - half, z - half, x + half, z + half, look, false, x, z);
        }
    if (const toml::array* objects = doc["object"].as_array())
        for (const toml::node& o : *objects) {
            const toml::table* t = o.as_table();
            const toml::array* places = t ? (*t)["at"].as_array() : nullptr;
            if (!places) return error = Where(path, o) + ": an object needs at = [[x, z], ...]", false;
            const SLook& look = LookOf((*t)["template"].value_or(std::string()), false);
            for (const toml::node& p : *places) {
                float xz[2];
                if (!Pair(&p, xz)) return error = Where(path, p) + ": a place is [x, z]", false;
                const float r = look.radius;
                paint(xz[0] - r, xz[1] - r, xz[0] + r, xz[1] + r, look, true, xz[0], xz[1]);
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
