#include "tools/lib/MapSource.h"

#include <strings.h>
#include <toml++/toml.h>

#include <cmath>

#include "netgame/MapFiles.h"
#include "tools/lib/TomlFields.h"

namespace {
const SPackedNode* FindTemplate(const SPackedProject& project, const std::string& name) {
    for (const SPackedNode& t : project.templates)
        if (strcasecmp(t.name.c_str(), name.c_str()) == 0) return &t;
    return nullptr;
}

// Limits of a map's sources (content/README.md, "Limits"): places and
// heights within 10,000 map units of the middle, at most 65,536 objects.
constexpr double kMaxPlace = 10000.0;
constexpr size_t kMaxObjects = 65536;

std::string Where(const std::string& path, const toml::node& node) {
    return path + ":" + std::to_string(node.source().begin.line);
}

// A finite number within the limit (TOML knows nan and inf, and 1e39 is no
// float).
bool Place(const toml::node& node, double limit, float* out) {
    std::optional<double> v = node.value<double>();
    if (!v || !std::isfinite(*v) || std::fabs(*v) > limit) return false;
    *out = static_cast<float>(*v);
    return true;
}

bool Pair(const toml::node* node, float out[2]) {
    const toml::array* a = node ? node->as_array() : nullptr;
    if (!a || a->size() != 2) return false;
    for (int i = 0; i < 2; ++i)
        if (!Place((*a)[static_cast<size_t>(i)], kMaxPlace, &out[i])) return false;
    return true;
}

// An optional whole number from 0 to hi.
bool Small(const toml::table& t, const char* key, int64_t hi, uint8_t* out) {
    const toml::node* n = t.get(key);
    if (!n) return true;
    std::optional<int64_t> v = n->value_exact<int64_t>();
    if (!v || *v < 0 || *v > hi) return false;
    *out = static_cast<uint8_t>(*v);
    return true;
}

bool Template(const std::string& path, const SPackedProject& project, const toml::table& t,
              SMapObjectRecord* record, std::string& error) {
    std::optional<std::string> name = t["template"].value<std::string>();
    const SPackedNode* node = name ? FindTemplate(project, *name) : nullptr;
    if (!node) {
        error = Where(path, t) + ": unknown template " + (name ? *name : std::string("(none)"));
        return false;
    }
    record->templateId = node->nodeId;
    record->projectId = node->projectId;
    record->kind =
        strcasecmp(node->name.c_str(), "Game_Resource_Spot") == 0 ? kMapObjectSpot : kMapObjectPlain;
    record->headingIncrement = 0.0f;
    if (const toml::node* h = t.get("heading"); h && !Place(*h, 1000.0, &record->headingIncrement)) {
        error = Where(path, *h) + ": heading is a number of radians from -1000 to 1000";
        return false;
    }
    record->layer = record->owner = 0;
    if (!Small(t, "layer", kMapLayers - 1, &record->layer)) {
        error = Where(path, t) + ": layer is a whole number from 0 to " + std::to_string(kMapLayers - 1);
        return false;
    }
    if (!Small(t, "owner", 255, &record->owner)) {
        error = Where(path, t) + ": owner is a whole number from 0 to 255";
        return false;
    }
    return true;
}
}  // namespace

bool MapSource_Build(const std::string& path, const SPackedProject& project, std::vector<uint8_t>& out,
                     std::string& error) {
    toml::table doc;
    if (!Toml_ParseFile(path, doc, error)) return false;
    SMapObjects map;
    if (const toml::array* starts = doc["start"].as_array()) {
        for (const toml::node& s : *starts) {
            float xz[2];
            if (!Pair(&s, xz)) {
                error = Where(path, s) + ": a start position is [x, z], each from -10000 to 10000";
                return false;
            }
            map.startX.push_back(xz[0]);
            map.startZ.push_back(xz[1]);
        }
    }
    if (const toml::array* layers = doc["layers"].as_array()) {
        if (layers->size() > static_cast<size_t>(kMapLayers)) {
            error = Where(path, *layers) + ": at most " + std::to_string(kMapLayers) + " layers";
            return false;
        }
        for (size_t i = 0; i < layers->size(); ++i)
            if (!Place((*layers)[i], kMaxPlace, &map.layers[i])) {
                error = Where(path, (*layers)[i]) + ": a layer's height is a number from -10000 to 10000";
                return false;
            }
    }
    int32_t mapId = 0;
    if (const toml::array* fills = doc["fill"].as_array()) {
        for (const toml::node& f : *fills) {
            const toml::table* tp = f.as_table();
            if (!tp) {
                error = Where(path, f) + ": a fill is a table";
                return false;
            }
            const toml::table& t = *tp;
            SMapObjectRecord r;
            float from[2], to[2];
            double step = t["step"].value_or(0.0);
            if (!Template(path, project, t, &r, error)) return false;
            if (!Pair(t.get("from"), from) || !Pair(t.get("to"), to) || !(step > 0.0) ||
                !std::isfinite(step) || from[0] > to[0] || from[1] > to[1]) {
                error = Where(path, t) +
                        ": a fill needs from = [x, z] and to = [x, z] at or beyond it, each from -10000 to "
                        "10000, and a step above 0";
                return false;
            }
            // The objects it makes, counted before any is made: at most the
            // map's limit, and never a step too small to move a coordinate.
            double across[2];
            for (int i = 0; i < 2; ++i) across[i] = std::floor((to[i] + 0.001 - from[i]) / step) + 1.0;
            if (across[0] * across[1] > static_cast<double>(kMaxObjects - map.objects.size())) {
                error = Where(path, t) + ": a fill makes more than " + std::to_string(kMaxObjects) +
                        " objects in a map";
                return false;
            }
            if (static_cast<float>(from[0] + step) == from[0] ||
                static_cast<float>(from[1] + step) == from[1]) {
                error = Where(path, t) + ": a fill's step is too small to move from its start";
                return false;
            }
            int nx = 0;
            for (float x = from[0]; x <= to[0] + 0.001f && nx < across[0];
                 x += static_cast<float>(step), ++nx) {
                int nz = 0;
                for (float z = from[1]; z <= to[1] + 0.001f && nz < across[1];
                     z += static_cast<float>(step), ++nz) {
                    r.x = x;
                    r.z = z;
                    r.mapId = ++mapId;
                    map.objects.push_back(r);
                }
            }
        }
    }
    if (const toml::array* objects = doc["object"].as_array()) {
        for (const toml::node& o : *objects) {
            const toml::table* t = o.as_table();
            const toml::array* at = t ? (*t)["at"].as_array() : nullptr;
            SMapObjectRecord r;
            if (!t || !Template(path, project, *t, &r, error)) {
                if (error.empty()) error = Where(path, o) + ": an object is a table";
                return false;
            }
            if (!at) {
                error = Where(path, *t) + ": an object needs at = [[x, z], ...]";
                return false;
            }
            for (const toml::node& p : *at) {
                float xz[2];
                if (!Pair(&p, xz)) {
                    error = Where(path, p) + ": a place is [x, z], each from -10000 to 10000";
                    return false;
                }
                if (map.objects.size() >= kMaxObjects) {
                    error =
                        Where(path, p) + ": more than " + std::to_string(kMaxObjects) + " objects in a map";
                    return false;
                }
                r.x = xz[0];
                r.z = xz[1];
                r.mapId = ++mapId;
                map.objects.push_back(r);
            }
        }
    }
    out.clear();
    MapObjects_Encode(map, out);
    return true;
}
