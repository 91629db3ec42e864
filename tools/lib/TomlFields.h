// The content builder's reading of TOML values: each helper takes the place
// in the sources ("file:line") for its message and throws STomlError at the
// first value that is not what the key wants. The builder's readers
// (ContentProject, GUISource) catch it and report its text.
#pragma once

#include <toml++/toml.h>

#include <cstdint>
#include <string>

struct STomlError {
    std::string text;
};

[[noreturn]] void Toml_Fail(const std::string& where, const std::string& what);
// "file:line" of a node, or the file when the node has no place.
std::string Toml_Where(const std::string& file, const toml::node& node);
// Parses the file into doc; false with "file:line: what" in error when it
// is not TOML.
bool Toml_ParseFile(const std::string& path, toml::table& doc, std::string& error);
// A colour "#rrggbb" or [red, green, blue] as 0xRRGGBB.
uint32_t Toml_Colour(const std::string& at, const toml::node& node);
// The largest number the sources may hold (content/README.md, "Limits").
constexpr double kTomlMaxNumber = 1.0e6;
// A number of the sources as a float: finite (TOML knows nan and inf) and
// within the limit, so that it stays a number once it is a float.
float Toml_Bounded(const std::string& at, const char* key, double value);
// A key's value (a number within the limit), or the fallback when the table
// has no such key.
float Toml_Number(const std::string& at, const toml::table& t, const char* key, float fallback);
int Toml_Integer(const std::string& at, const toml::table& t, const char* key, int fallback, int lo, int hi);
bool Toml_Flag(const std::string& at, const toml::table& t, const char* key, bool fallback);
std::string Toml_Text(const std::string& at, const toml::table& t, const char* key,
                      const std::string& fallback);

// Calls f(where, table) for every table of an array of tables ([[key]]).
template <typename F>
void Toml_EachTable(const std::string& file, const toml::table& parent, const char* key, F f) {
    const toml::node* n = parent.get(key);
    if (!n) return;
    const std::string what = std::string(key) + " is an array of tables ([[" + key + "]])";
    const toml::array* a = n->as_array();
    if (!a) Toml_Fail(Toml_Where(file, *n), what);
    for (const toml::node& e : *a) {
        const toml::table* t = e.as_table();
        if (!t) Toml_Fail(Toml_Where(file, e), what);
        f(Toml_Where(file, *t), *t);
    }
}
