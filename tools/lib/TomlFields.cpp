#include "tools/lib/TomlFields.h"

#include <cmath>
#include <cstdio>

void Toml_Fail(const std::string& where, const std::string& what) {
    throw STomlError{where + ": " + what};
}

std::string Toml_Where(const std::string& file, const toml::node& node) {
    const toml::source_position p = node.source().begin;
    if (!p) return file;
    return file + ":" + std::to_string(p.line);
}

uint32_t Toml_Colour(const std::string& at, const toml::node& n) {
    if (auto s = n.value<std::string>()) {
        const std::string& t = *s;
        unsigned v = 0;
        if (t.size() == 7 && t[0] == '#' && std::sscanf(t.c_str() + 1, "%6x", &v) == 1) return v;
        Toml_Fail(at, "a colour is \"#rrggbb\" or [red, green, blue]: " + t);
    }
    if (const toml::array* a = n.as_array(); a && a->size() == 3) {
        uint32_t v = 0;
        for (size_t i = 0; i < 3; ++i) {
            auto c = (*a)[i].value<int64_t>();
            if (!c || *c < 0 || *c > 255) Toml_Fail(at, "colour channels are 0 to 255");
            v = v << 8 | uint32_t(*c);
        }
        return v;
    }
    Toml_Fail(at, "a colour is \"#rrggbb\" or [red, green, blue]");
}

float Toml_Bounded(const std::string& at, const char* key, double value) {
    if (!std::isfinite(value) || std::fabs(value) > kTomlMaxNumber)
        Toml_Fail(at, std::string(key) + " must be a number from -1000000 to 1000000");
    return float(value);
}

float Toml_Number(const std::string& at, const toml::table& t, const char* key, float fallback) {
    const toml::node* n = t.get(key);
    if (!n) return fallback;
    if (auto f = n->value<double>()) return Toml_Bounded(at, key, *f);
    Toml_Fail(at, std::string(key) + " must be a number");
}

int Toml_Integer(const std::string& at, const toml::table& t, const char* key, int fallback, int lo, int hi) {
    const toml::node* n = t.get(key);
    if (!n) return fallback;
    auto i = n->value<int64_t>();
    if (!i || *i < lo || *i > hi)
        Toml_Fail(at, std::string(key) + " must be a whole number from " + std::to_string(lo) + " to " +
                          std::to_string(hi));
    return int(*i);
}

bool Toml_Flag(const std::string& at, const toml::table& t, const char* key, bool fallback) {
    const toml::node* n = t.get(key);
    if (!n) return fallback;
    if (auto b = n->value<bool>()) return *b;
    Toml_Fail(at, std::string(key) + " must be true or false");
}

std::string Toml_Text(const std::string& at, const toml::table& t, const char* key,
                      const std::string& fallback) {
    const toml::node* n = t.get(key);
    if (!n) return fallback;
    if (auto s = n->value<std::string>()) return *s;
    Toml_Fail(at, std::string(key) + " must be a text");
}

bool Toml_ParseFile(const std::string& path, toml::table& doc, std::string& error) {
    try {
        doc = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        error = path + ":" + std::to_string(e.source().begin.line) + ": " + std::string(e.description());
        return false;
    }
    return true;
}
