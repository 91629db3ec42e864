#include "tools/lib/MapSource.h"

#include <strings.h>
#include <toml++/toml.h>

#include "netgame/MapFiles.h"

namespace {
const SPackedNode* FindTemplate(const SPackedProject& project, const std::string& name) {
    for (const SPackedNode& t : project.templates)
        if (strcasecmp(t.name.c_str(), name.c_str()) == 0) return &t;
    return nullptr;
}

std::string Where(const std::string& path, const toml::node& node) {
    return path + ":" + std::to_string(node.source().begin.line);
}

bool Pair(const toml::node* node, float out[2]) {
    const toml::array* a = node ? node->as_array() : nullptr;
    if (!a || a->size() != 2) return false;
    for (int i = 0; i < 2; ++i) {
        std::optional<double> v = (*a)[static_cast<size_t>(i)].value<double>();
        if (!v) return false;
        out[i] = static_cast<float>(*v);
    }
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
    record->headingIncrement = static_cast<float>(t["heading"].value_or(0.0));
    record->layer = static_cast<uint8_t>(t["layer"].value_or(0));
    record->owner = static_cast<uint8_t>(t["owner"].value_or(0));
    return true;
}
}  // namespace

bool MapSource_Build(const std::string& path, const SPackedProject& project, std::vector<uint8_t>& out,
                     std::string& error) {
    toml::table doc;
    try {
        doc = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        error = path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
        return false;
    }
    SMapObjects map;
    if (const toml::array* starts = doc["start"].as_array()) {
        for (const toml::node& s : *starts) {
            float xz[2];
            if (!Pair(&s, xz)) {
                error = Where(path, s) + ": a start position is [x, z]";
                return false;
            }
            map.startX.push_back(xz[0]);
            map.startZ.push_back(xz[1]);
        }
    }
    if (const toml::array* layers = doc["layers"].as_array())
        for (size_t i = 0; i < layers->size() && i < static_cast<size_t>(kMapLayers); ++i)
            map.layers[i] = static_cast<float>((*layers)[i].value_or(0.0));
    int32_t mapId = 0;
    if (const toml::array* fills = doc["fill"].as_array()) {
        for (const toml::node& f : *fills) {
            const toml::table& t = *f.as_table();
            SMapObjectRecord r;
            float from[2], to[2];
            double step = t["step"].value_or(0.0);
            if (!Template(path, project, t, &r, error)) return false;
            if (!Pair(t.get("from"), from) || !Pair(t.get("to"), to) || step <= 0.0) {
                error = Where(path, t) + ": a fill needs from = [x, z], to = [x, z] and a step above 0";
                return false;
            }
            for (float x = from[0]; x <= to[0] + 0.001f; x += static_cast<float>(step))
                for (float z = from[1]; z <= to[1] + 0.001f; z += static_cast<float>(step)) {
                    r.x = x;
                    r.z = z;
                    r.mapId = ++mapId;
                    map.objects.push_back(r);
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
                    error = Where(path, p) + ": a place is [x, z]";
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
