#include "tools/lib/ContentProject.h"

#include <tiny_obj_loader.h>
#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "core/CRC32.h"
#include "core/Math.h"
#include "core/PackedDIB.h"
#include "e3d/Material.h"
#include "e3d/Shape.h"
#include "e3d/ShapeBlock.h"
#include "tools/lib/TomlFields.h"

namespace fs = std::filesystem;

SContentBuild::~SContentBuild() {
    for (SPackedDIB* d : images) DIB_Free(d);
}

namespace {

// Longest name the game keeps (its name buffers hold 256 bytes).
constexpr size_t kMaxName = 255;
constexpr int kMaxDepth = 16;
// An OBJ file the builder reads is at most 16 MiB (content/README.md,
// "Limits"; the numbers' limit is Toml_Bounded's).
constexpr uintmax_t kMaxObjBytes = 16u << 20;

// The values of the sources (tools/lib/TomlFields.h).
[[noreturn]] void Fail(const std::string& where, const std::string& what) {
    Toml_Fail(where, what);
}
constexpr auto Where = &Toml_Where;
constexpr auto Number = &Toml_Number;
constexpr auto Integer = &Toml_Integer;
constexpr auto Flag = &Toml_Flag;
constexpr auto Text = &Toml_Text;

uint32_t ParseColour(const std::string& at, const toml::node* n) {
    return n ? Toml_Colour(at, *n) : 0x808080;
}

void Vec3(const std::string& at, const toml::table& t, const char* key, float out[3]) {
    const toml::node* n = t.get(key);
    if (!n) return;
    const toml::array* a = n->as_array();
    if (!a || a->size() != 3) Fail(at, std::string(key) + " must be [x, y, z]");
    for (size_t i = 0; i < 3; ++i) {
        auto f = (*a)[i].value<double>();
        if (!f) Fail(at, std::string(key) + " must hold numbers");
        out[i] = Toml_Bounded(at, key, *f);
    }
}

template <typename F>
void EachTable(const std::string& file, const toml::table& parent, const char* key, F f) {
    Toml_EachTable(file, parent, key, f);
}

void CheckName(const std::string& at, const std::string& name, const char* what) {
    if (name.empty()) Fail(at, std::string(what) + " needs a name");
    if (name.size() > kMaxName) Fail(at, std::string(what) + " name longer than 255 characters: " + name);
}

// A configuration value as the game's property lists hold it: text.
std::string ValueText(const std::string& at, const std::string& key, const toml::node& n) {
    if (auto s = n.value_exact<std::string>()) return *s;
    if (auto b = n.value_exact<bool>()) return *b ? "1" : "0";
    if (auto i = n.value_exact<int64_t>()) return std::to_string(*i);
    if (auto f = n.value_exact<double>()) {
        if (!std::isfinite(*f)) Fail(at, "key " + key + ": a number must be finite");
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.9g", *f);
        return buf;
    }
    Fail(at, "key " + key + ": values are texts, numbers or true/false (or an array of them)");
}

// ---------------------------------------------------------------------------
// Textures

uint32_t Hash(uint32_t x, uint32_t y, uint32_t seed) {
    uint32_t h = x * 374761393u + y * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return h ^ (h >> 16);
}

// Smooth value noise in -1..1 over cells of the given size in pixels.
float ValueNoise(int x, int y, int cell, uint32_t seed) {
    const int cx = x / cell, cy = y / cell;
    const float fx = float(x % cell) / float(cell), fy = float(y % cell) / float(cell);
    auto at = [&](int i, int j) {
        return float(Hash(uint32_t(cx + i), uint32_t(cy + j), seed) & 0xFFFF) / 32767.5f - 1.0f;
    };
    const float sx = fx * fx * (3.0f - 2.0f * fx), sy = fy * fy * (3.0f - 2.0f * fy);
    const float top = at(0, 0) + (at(1, 0) - at(0, 0)) * sx;
    const float bottom = at(0, 1) + (at(1, 1) - at(0, 1)) * sx;
    return top + (bottom - top) * sy;
}

}  // namespace

SPackedDIB* ContentProject_MakeTexture(const STextureRecipe& r) {
    if (r.width < 1 || r.height < 1 || r.width > 1024 || r.height > 1024) return nullptr;
    SPackedDIB* dib = DIB_Create(r.width, r.height, 24);
    if (!dib) return nullptr;
    const uint32_t row = DIB_RowBytes(r.width, 24);
    uint8_t* pixels = DIB_Pixels(dib);
    for (int y = 0; y < r.height; ++y) {
        // Rows are stored bottom-up: row 0 of the picture is the last.
        uint8_t* out = pixels + size_t(r.height - 1 - y) * row;
        const float fy = (float(y) + 0.5f) / float(r.height);
        for (int x = 0; x < r.width; ++x) {
            const float fx = (float(x) + 0.5f) / float(r.width);
            uint32_t c = r.colour;
            if (r.stripes > 0) {
                const float along = r.stripesVertical ? fx : fy;
                const float phase = along * float(r.stripes);
                if (phase - float(int(phase)) < r.stripeWidth) c = r.stripeColour;
            }
            const float mask = r.maskVertical ? fx : fy;
            if (r.maskTo > r.maskFrom && mask >= r.maskFrom && mask < r.maskTo) c = 0xFFFFFF;
            float shade = 1.0f;
            if (r.noise > 0.0f) {
                const float n = 0.6f * ValueNoise(x, y, 8, r.seed) + 0.4f * ValueNoise(x, y, 2, r.seed + 1);
                shade += r.noise * n;
            }
            if (r.border > 0.0f &&
                (fx < r.border || fy < r.border || fx > 1.0f - r.border || fy > 1.0f - r.border))
                shade *= 0.55f;
            uint8_t rgb[3];
            for (int k = 0; k < 3; ++k) {
                const float v = float((c >> (16 - 8 * k)) & 0xFF) * shade;
                rgb[k] = uint8_t(v < 0.0f ? 0 : v > 255.0f ? 255 : int(v + 0.5f));
            }
            // Pixels are stored blue, green, red.
            out[x * 3 + 0] = rgb[2];
            out[x * 3 + 1] = rgb[1];
            out[x * 3 + 2] = rgb[0];
        }
    }
    return dib;
}

SPackedDIB* ContentProject_MakeRoundAlpha(int width, int height) {
    if (width < 1 || height < 1 || width > 1024 || height > 1024) return nullptr;
    SPackedDIB* dib = DIB_Create(width, height, 24);
    if (!dib) return nullptr;
    const uint32_t row = DIB_RowBytes(width, 24);
    uint8_t* pixels = DIB_Pixels(dib);
    for (int y = 0; y < height; ++y) {
        uint8_t* out = pixels + size_t(height - 1 - y) * row;
        const float dy = ((float(y) + 0.5f) / float(height) - 0.5f) * 2.0f;
        for (int x = 0; x < width; ++x) {
            const float dx = ((float(x) + 0.5f) / float(width) - 0.5f) * 2.0f;
            const float d = std::sqrt(dx * dx + dy * dy);
            const float a = d >= 1.0f ? 0.0f : (1.0f - d) * (1.0f - d) * (1.0f + 2.0f * d);  // smooth falloff
            const uint8_t v = uint8_t(int(a * 255.0f + 0.5f));
            out[x * 3 + 0] = out[x * 3 + 1] = out[x * 3 + 2] = v;
        }
    }
    return dib;
}

namespace {

// ---------------------------------------------------------------------------
// Geometry

struct SMesh {
    std::vector<float> v;   // x, y, z, nx, ny, nz
    std::vector<float> uv;  // u, v
    std::vector<uint32_t> idx;

    uint32_t Add(const float p[3], const float n[3], float u, float t) {
        v.insert(v.end(), {p[0], p[1], p[2], n[0], n[1], n[2]});
        uv.insert(uv.end(), {u, t});
        return uint32_t(v.size() / 6 - 1);
    }
    // A quad given as it looks from its front: top-left, top-right,
    // bottom-left, bottom-right; both triangles clockwise (the front faces).
    void Quad(uint32_t tl, uint32_t tr, uint32_t bl, uint32_t br) {
        idx.insert(idx.end(), {tl, tr, bl, bl, tr, br});
    }
};

void Box(SMesh& m) {
    static const float kFaces[6][4][3] = {
        {{-1, 1, -1}, {1, 1, -1}, {-1, -1, -1}, {1, -1, -1}},
        {{1, 1, 1}, {-1, 1, 1}, {1, -1, 1}, {-1, -1, 1}},
        {{-1, 1, 1}, {-1, 1, -1}, {-1, -1, 1}, {-1, -1, -1}},
        {{1, 1, -1}, {1, 1, 1}, {1, -1, -1}, {1, -1, 1}},
        {{-1, 1, 1}, {1, 1, 1}, {-1, 1, -1}, {1, 1, -1}},
        {{-1, -1, -1}, {1, -1, -1}, {-1, -1, 1}, {1, -1, 1}},
    };
    static const float kNormals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (int f = 0; f < 6; ++f) {
        uint32_t c[4];
        for (int k = 0; k < 4; ++k) {
            const float p[3] = {kFaces[f][k][0] * 0.5f, kFaces[f][k][1] * 0.5f, kFaces[f][k][2] * 0.5f};
            c[k] = m.Add(p, kNormals[f], float(k & 1), float(k >> 1));
        }
        m.Quad(c[0], c[1], c[2], c[3]);
    }
}

// A solid of revolution along y of unit diameter and length: smooth sides
// for a cylinder, flat ones for a prism of few sides; both ends capped.
void Round(SMesh& m, int sides, bool smooth, float startDeg) {
    const float a0 = DegToRad(startDeg), step = kTwoPi / float(sides);
    auto angle = [&](int i) { return a0 + step * float(i); };
    for (int i = 0; i < sides; ++i) {
        const float a = angle(i), b = angle(i + 1), mid = (a + b) * 0.5f;
        const float ca = Math_Cos(a), sa = Math_Sin(a), cb = Math_Cos(b), sb = Math_Sin(b);
        const float nm[3] = {Math_Cos(mid), 0.0f, Math_Sin(mid)};
        const float na[3] = {ca, 0.0f, sa}, nb[3] = {cb, 0.0f, sb};
        const float* n1 = smooth ? na : nm;
        const float* n2 = smooth ? nb : nm;
        const float tl[3] = {ca * 0.5f, 0.5f, sa * 0.5f}, tr[3] = {cb * 0.5f, 0.5f, sb * 0.5f};
        const float bl[3] = {ca * 0.5f, -0.5f, sa * 0.5f}, br[3] = {cb * 0.5f, -0.5f, sb * 0.5f};
        const float u0 = float(i) / float(sides), u1 = float(i + 1) / float(sides);
        const uint32_t q0 = m.Add(tl, n1, u0, 0), q1 = m.Add(tr, n2, u1, 0), q2 = m.Add(bl, n1, u0, 1),
                       q3 = m.Add(br, n2, u1, 1);
        m.Quad(q0, q1, q2, q3);
    }
    for (int end = 0; end < 2; ++end) {
        const float y = end == 0 ? 0.5f : -0.5f;
        const float n[3] = {0.0f, end == 0 ? 1.0f : -1.0f, 0.0f};
        const float centre[3] = {0.0f, y, 0.0f};
        const uint32_t c = m.Add(centre, n, 0.5f, 0.5f);
        for (int i = 0; i < sides; ++i) {
            const float a = angle(i), b = angle(i + 1);
            const float pa[3] = {Math_Cos(a) * 0.5f, y, Math_Sin(a) * 0.5f};
            const float pb[3] = {Math_Cos(b) * 0.5f, y, Math_Sin(b) * 0.5f};
            const uint32_t ia = m.Add(pa, n, 0.5f + pa[0], 0.5f - pa[2]);
            const uint32_t ib = m.Add(pb, n, 0.5f + pb[0], 0.5f - pb[2]);
            // Seen from above the angles run anticlockwise, from below clockwise.
            if (end == 0)
                m.idx.insert(m.idx.end(), {c, ib, ia});
            else
                m.idx.insert(m.idx.end(), {c, ia, ib});
        }
    }
}

// Reads an OBJ file through before the loader sees it, refusing with its
// file and line what the loader would take wrongly or silently: a line that
// is no OBJ statement (binary bytes among them), a coordinate that is not a
// finite number within the limit, an index that is no whole number, is 0 or
// names an element that is not there (a huge one wrapped round to a small
// one), a face of fewer than three corners, a file without faces.
void CheckObj(const std::string& at, const fs::path& path) {
    std::error_code ec;
    const uintmax_t bytes = fs::file_size(path, ec);
    if (ec) Fail(at, "cannot read " + path.string());
    if (bytes > kMaxObjBytes) Fail(at, path.string() + ": larger than 16 MiB");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) Fail(at, "cannot read " + path.string());
    std::string text(size_t(bytes), '\0');
    const size_t got = text.empty() ? 0 : std::fread(&text[0], 1, text.size(), f);
    std::fclose(f);
    if (got != text.size()) Fail(at, "cannot read " + path.string());
    static const std::set<std::string> kOther = {"o", "g", "s", "usemtl", "mtllib", "l", "p", "vp"};
    long long counts[3] = {0, 0, 0};  // v, vt, vn so far
    long long highest[3] = {0, 0, 0};
    int highestLine[3] = {0, 0, 0};
    long long faces = 0;
    int lineNo = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        ++lineNo;
        const std::string where = path.string() + ":" + std::to_string(lineNo);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (unsigned char c : line)
            if ((c < 32 && c != '\t') || c == 127) Fail(at, where + ": not a line of text");
        std::vector<std::string> words;
        for (size_t i = 0; i < line.size();) {
            while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
            size_t j = i;
            while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
            if (j > i) words.push_back(line.substr(i, j - i));
            i = j;
        }
        if (words.empty() || words[0][0] == '#') continue;
        const std::string& kw = words[0];
        int kind = kw == "v" ? 0 : kw == "vt" ? 1 : kw == "vn" ? 2 : -1;
        if (kind >= 0) {
            const size_t least = kind == 1 ? 1 : 3;
            if (words.size() < least + 1)
                Fail(at, where + ": " + kw + " needs " + std::to_string(least) + " numbers");
            for (size_t i = 1; i < words.size(); ++i) {
                char* stop = nullptr;
                const double v = std::strtod(words[i].c_str(), &stop);
                if (stop == words[i].c_str() || *stop || !std::isfinite(v) || std::fabs(v) > kTomlMaxNumber)
                    Fail(at, where + ": " + words[i] + " is not a number from -1000000 to 1000000");
            }
            ++counts[kind];
        } else if (kw == "f") {
            if (words.size() < 4) Fail(at, where + ": a face needs three corners");
            for (size_t i = 1; i < words.size(); ++i) {
                // v, v/vt, v//vn or v/vt/vn
                const std::string& w = words[i];
                size_t from = 0;
                for (int k = 0; k < 3 && from <= w.size(); ++k) {
                    size_t slash = w.find('/', from);
                    const std::string index =
                        w.substr(from, slash == std::string::npos ? std::string::npos : slash - from);
                    from = slash == std::string::npos ? w.size() + 1 : slash + 1;
                    if (index.empty() && k > 0) continue;
                    char* stop = nullptr;
                    errno = 0;
                    const long long n = std::strtoll(index.c_str(), &stop, 10);
                    // A later element may be named before it is read; the
                    // highest is checked once the file is through.
                    if (index.empty() || *stop || errno == ERANGE || n == 0 || (n < 0 && -n > counts[k]))
                        Fail(at, where + ": " + w + " names a corner that is not there");
                    if (n > highest[k]) {
                        highest[k] = n;
                        highestLine[k] = lineNo;
                    }
                }
                if (from <= w.size()) Fail(at, where + ": " + w + " is not a corner");
            }
            ++faces;
        } else if (!kOther.count(kw)) {
            Fail(at, where + ": not an OBJ statement: " + kw.substr(0, 16));
        }
    }
    for (int k = 0; k < 3; ++k)
        if (highest[k] > counts[k])
            Fail(at, path.string() + ":" + std::to_string(highestLine[k]) +
                         ": a face names a corner that is not there");
    if (faces == 0) Fail(at, path.string() + ": no faces");
}

// Loads an OBJ file: every face as its own triangles (flat normals where the
// file has none), z mirrored and the winding turned, since OBJ files are
// right-handed with anticlockwise front faces.
void Obj(SMesh& m, const std::string& at, const fs::path& path) {
    CheckObj(at, path);
    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warn, err;
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warn, &err, path.c_str(), nullptr, true))
        Fail(at, "cannot read " + path.string() + ": " + err);
    for (const tinyobj::shape_t& s : shapes) {
        const auto& ix = s.mesh.indices;
        for (size_t f = 0; f + 2 < ix.size(); f += 3) {
            float p[3][3], n[3][3], t[3][2];
            bool haveNormals = true;
            for (int k = 0; k < 3; ++k) {
                const tinyobj::index_t& i = ix[f + size_t(k)];
                if (i.vertex_index < 0 || size_t(i.vertex_index) * 3 + 2 >= attrib.vertices.size())
                    Fail(at, path.string() + ": a face names a vertex that is not there");
                for (int c = 0; c < 3; ++c) p[k][c] = attrib.vertices[size_t(i.vertex_index) * 3 + size_t(c)];
                p[k][2] = -p[k][2];
                if (i.normal_index >= 0 && size_t(i.normal_index) * 3 + 2 < attrib.normals.size()) {
                    for (int c = 0; c < 3; ++c)
                        n[k][c] = attrib.normals[size_t(i.normal_index) * 3 + size_t(c)];
                    n[k][2] = -n[k][2];
                } else {
                    haveNormals = false;
                }
                if (i.texcoord_index >= 0 && size_t(i.texcoord_index) * 2 + 1 < attrib.texcoords.size()) {
                    t[k][0] = attrib.texcoords[size_t(i.texcoord_index) * 2];
                    t[k][1] = 1.0f - attrib.texcoords[size_t(i.texcoord_index) * 2 + 1];
                } else {
                    t[k][0] = t[k][1] = 0.0f;
                }
            }
            if (!haveNormals) {
                // The face normal of the mirrored triangle taken in its new (clockwise) order 0, 2, 1.
                float e1[3], e2[3], c[3];
                for (int k = 0; k < 3; ++k) {
                    e1[k] = p[2][k] - p[0][k];
                    e2[k] = p[1][k] - p[0][k];
                }
                c[0] = e1[1] * e2[2] - e1[2] * e2[1];
                c[1] = e1[2] * e2[0] - e1[0] * e2[2];
                c[2] = e1[0] * e2[1] - e1[1] * e2[0];
                const float len = Math_Sqrt(c[0] * c[0] + c[1] * c[1] + c[2] * c[2]);
                for (int k = 0; k < 3; ++k)
                    for (int q = 0; q < 3; ++q) n[k][q] = len > 0.0f ? c[q] / len : 0.0f;
            }
            const uint32_t a = m.Add(p[0], n[0], t[0][0], t[0][1]);
            const uint32_t b = m.Add(p[1], n[1], t[1][0], t[1][1]);
            const uint32_t c = m.Add(p[2], n[2], t[2][0], t[2][1]);
            m.idx.insert(m.idx.end(), {a, c, b});
        }
    }
}

// Scale, then the rotation by yaw (about y), pitch (about x) and roll (about
// z) in degrees, then the offset. Normals follow the inverse scale.
void Place(SMesh& m, const float scale[3], const float rotate[3], const float at[3]) {
    const float y = DegToRad(rotate[0]), p = DegToRad(rotate[1]), r = DegToRad(rotate[2]);
    const float cy = Math_Cos(y), sy = Math_Sin(y), cp = Math_Cos(p), sp = Math_Sin(p), cr = Math_Cos(r),
                sr = Math_Sin(r);
    auto turn = [&](float v[3]) {
        // roll about z, then pitch about x, then yaw about y
        float x = v[0] * cr - v[1] * sr, yy = v[0] * sr + v[1] * cr, z = v[2];
        float y2 = yy * cp - z * sp, z2 = yy * sp + z * cp;
        v[0] = x * cy + z2 * sy;
        v[1] = y2;
        v[2] = -x * sy + z2 * cy;
    };
    for (size_t i = 0; i + 5 < m.v.size(); i += 6) {
        float pos[3] = {m.v[i] * scale[0], m.v[i + 1] * scale[1], m.v[i + 2] * scale[2]};
        float n[3] = {m.v[i + 3] / scale[0], m.v[i + 4] / scale[1], m.v[i + 5] / scale[2]};
        const float len = Math_Sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        for (float& c : n) c = len > 0.0f ? c / len : 0.0f;
        turn(pos);
        turn(n);
        for (int k = 0; k < 3; ++k) {
            m.v[i + size_t(k)] = pos[k] + at[k];
            m.v[i + 3 + size_t(k)] = n[k];
        }
    }
}

struct SProjectState {
    std::string folder;
    uint16_t projectId = 1;
    std::map<std::string, uint32_t> materials;  // name -> material id
    std::map<std::string, uint32_t> textures;
    std::set<std::pair<uint16_t, uint32_t>> topIds;
};

void AddPart(CE3DShape& shape, const std::string& at, const toml::table& part, const SProjectState& st) {
    SMesh mesh;
    float scale[3] = {1, 1, 1}, rotate[3] = {0, 0, 0}, offset[3] = {0, 0, 0};
    Vec3(at, part, "at", offset);
    Vec3(at, part, "rotate", rotate);
    const std::string solid = Text(at, part, "solid", "");
    const std::string obj = Text(at, part, "obj", "");
    if (!obj.empty() && !solid.empty()) Fail(at, "a part is a solid or an obj file, not both");
    if (solid == "box") {
        Box(mesh);
        Vec3(at, part, "size", scale);
    } else if (solid == "cylinder" || solid == "prism") {
        const bool cyl = solid == "cylinder";
        const int sides = Integer(at, part, "sides", cyl ? 12 : 3, 3, 64);
        const std::string axis = Text(at, part, "axis", "y");
        if (axis != "x" && axis != "y" && axis != "z") Fail(at, "axis is \"x\", \"y\" or \"z\"");
        // Prisms stand on a side: a corner points up (along x or z) or forward (along y).
        const float start = cyl ? 0.0f : (axis == "y" ? 90.0f : axis == "z" ? -90.0f : 180.0f);
        Round(mesh, sides, cyl, start);
        const float d = Number(at, part, "radius", 0.5f) * 2.0f, len = Number(at, part, "length", 1.0f);
        scale[0] = d;
        scale[1] = len;
        scale[2] = d;
        float stretch[3] = {1, 1, 1};
        Vec3(at, part, "size", stretch);  // an extra stretch of the finished solid
        // Lay the solid along its axis (turns that keep the front faces).
        for (size_t i = 0; i + 5 < mesh.v.size(); i += 6)
            for (size_t k = 0; k < 3; ++k) mesh.v[i + k] *= scale[k];
        scale[0] = scale[1] = scale[2] = 1.0f;
        for (size_t i = 0; i + 5 < mesh.v.size(); i += 6)
            for (size_t base : {i, i + 3}) {
                const float x = mesh.v[base], y = mesh.v[base + 1], z = mesh.v[base + 2];
                if (axis == "z") {
                    mesh.v[base + 1] = -z;
                    mesh.v[base + 2] = y;
                } else if (axis == "x") {
                    mesh.v[base] = y;
                    mesh.v[base + 1] = -x;
                }
            }
        std::copy(stretch, stretch + 3, scale);
    } else if (!obj.empty()) {
        const fs::path path = fs::path(st.folder) / obj;
        Obj(mesh, at, path);
        if (const toml::node* s = part.get("scale"); s && s->is_number()) {
            scale[0] = scale[1] = scale[2] = Toml_Bounded(at, "scale", s->value<double>().value_or(1.0));
        } else {
            Vec3(at, part, "scale", scale);
        }
    } else {
        Fail(at, "a part needs solid = \"box\", \"cylinder\" or \"prism\", or obj = \"file.obj\"");
    }
    for (float s : scale)
        if (!(s > 0.0f)) Fail(at, "sizes and scales must be above 0");
    Place(mesh, scale, rotate, offset);
    const float uvScale = Number(at, part, "uv_scale", 1.0f);
    for (float& t : mesh.uv) t *= uvScale;

    if (mesh.v.size() / 6 > kE3DBlockMaxVertices) Fail(at, "a part has more than 65536 vertices");
    CE3DShapeBlock* b = new CE3DShapeBlock(&shape);
    b->m_vertexCount = uint32_t(mesh.v.size() / 6);
    b->m_positions.push_back(mesh.v);
    b->m_positionNames.resize(1);
    b->m_texCoords.push_back(mesh.uv);
    b->AllocIndices(uint32_t(mesh.idx.size() / 3), 3);
    for (size_t i = 0; i < mesh.idx.size(); ++i) b->m_indices[i] = uint16_t(mesh.idx[i]);
    // Team parts carry vertex colours: the owner's tint shows on them alone.
    const bool team = Flag(at, part, "team", false);
    b->AllocBuffers(0x100 | (team ? 0x040 : 0));
    const std::string material = Text(at, part, "material", "");
    if (!material.empty()) {
        auto it = st.materials.find(material);
        if (it == st.materials.end()) Fail(at, "no material named " + material + " in project.toml");
        b->m_materialProject = st.projectId;
        b->m_materialId = it->second;
    }
    b->m_name = Text(at, part, "name", "").c_str();
    b->ComputeCentre();
}

uint32_t AutoId(const std::string& path) {
    uint32_t id = CRC32_Compute(path.data(), path.size()) & 0x7FFFFFFFu;
    return id ? id : 1;
}

void ReadNode(SPackedNode& node, const std::string& file, const toml::table& t, const std::string& parentPath,
              int depth, SProjectState& st) {
    const std::string at = Where(file, t);
    if (depth > kMaxDepth) Fail(at, "templates nest more than 16 deep");
    node.name = Text(at, t, "name", "");
    CheckName(at, node.name, "a template");
    node.classKey = Text(at, t, "class", "CBaseClass");
    static const char* const kClasses[] = {"CBaseClass", "CUnit", "CGridMember", "CUnitWeapon"};
    if (std::find_if(std::begin(kClasses), std::end(kClasses),
                     [&](const char* k) { return node.classKey == k; }) == std::end(kClasses))
        Fail(at, "class is CBaseClass, CUnit, CGridMember or CUnitWeapon: " + node.classKey);
    const std::string path = parentPath.empty() ? node.name : parentPath + "/" + node.name;
    node.projectId = uint16_t(Integer(at, t, "project", st.projectId, 1, 65535));
    node.nodeId = uint32_t(Integer(at, t, "id", int(AutoId(path)), 1, 0x7FFFFFFF));
    node.flags =
        uint8_t((Flag(at, t, "override", false) ? 0x01 : 0) | (Flag(at, t, "reference", false) ? 0x02 : 0));
    node.value = uint32_t(Integer(at, t, "value", 0, 0, 0x7FFFFFFF));
    Vec3(at, t, "position", node.position);
    Vec3(at, t, "angles", node.angles);
    for (float& a : node.angles) a = DegToRad(a);
    Vec3(at, t, "scale", node.scale);
    node.frameFlags[0] = Flag(at, t, "hidden", false);
    node.frameFlags[1] = Flag(at, t, "children_hidden", false);
    node.frameFlags[2] = Flag(at, t, "facing", false);

    auto shape = std::make_shared<CE3DShape>(static_cast<CE3DEngine*>(nullptr));
    if (const toml::node* parts = t.get("parts")) {
        const toml::array* a = parts->as_array();
        if (!a) Fail(at, "parts is an array of tables");
        // Blocks load in reverse of their list order; add them backwards so
        // the game's list runs in the order written.
        for (size_t i = a->size(); i-- > 0;) {
            const toml::table* p = (*a)[i].as_table();
            if (!p) Fail(at, "parts is an array of tables");
            AddPart(*shape, Where(file, *p), *p, st);
        }
    }
    shape->PrepareBlocks();
    shape->ComputeBounds();
    node.shape = shape;

    if (const toml::node* l = t.get("light")) {
        const toml::table* lt = l->as_table();
        if (!lt) Fail(at, "light is a table");
        node.hasLight = true;
        const std::string type = Text(at, *lt, "type", "point");
        node.light.type = type == "point" ? 1 : type == "spot" ? 2 : type == "directional" ? 3 : 0;
        if (!node.light.type) Fail(at, "light type is point, spot or directional");
        float c[3] = {1, 1, 1};
        Vec3(at, *lt, "colour", c);
        node.light.diffuse = {c[0], c[1], c[2], 0.0f};
        node.light.range = Number(at, *lt, "range", 10.0f);
        Vec3(at, *lt, "attenuation", node.light.attenuation);
        Vec3(at, *lt, "at", node.light.position);
    }

    if (const toml::node* k = t.get("keys")) {
        const toml::table* kt = k->as_table();
        if (!kt) Fail(at, "keys is a table");
        // The file's order (the table itself is sorted by name).
        std::vector<std::pair<toml::source_position, std::pair<std::string, const toml::node*>>> keys;
        for (const auto& [key, value] : *kt)
            keys.push_back({value.source().begin, {std::string(key.str()), &value}});
        std::stable_sort(keys.begin(), keys.end(), [](const auto& a, const auto& b) {
            return a.first.line != b.first.line ? a.first.line < b.first.line
                                                : a.first.column < b.first.column;
        });
        for (const auto& [pos, kv] : keys) {
            const std::string kat = Where(file, *kv.second);
            if (kv.first.size() > kMaxName) Fail(kat, "key longer than 255 characters");
            if (const toml::array* arr = kv.second->as_array()) {
                for (const toml::node& e : *arr)
                    node.config.push_back({kv.first, ValueText(kat, kv.first, e)});
            } else {
                node.config.push_back({kv.first, ValueText(kat, kv.first, *kv.second)});
            }
        }
    }

    if (const toml::node* c = t.get("child")) {
        const toml::array* a = c->as_array();
        if (!a) Fail(at, "child is an array of tables ([[...child]])");
        std::set<std::pair<uint16_t, uint32_t>> ids;
        for (const toml::node& e : *a) {
            const toml::table* ct = e.as_table();
            if (!ct) Fail(at, "child is an array of tables ([[...child]])");
            node.children.emplace_back();
            ReadNode(node.children.back(), file, *ct, path, depth + 1, st);
            const SPackedNode& added = node.children.back();
            if (!ids.insert({added.projectId, added.nodeId}).second)
                Fail(Where(file, *ct),
                     "two children of " + node.name + " have the same id (" + added.name + ")");
        }
    }
}

void ReadProject(const std::string& file, const toml::table& root, SContentBuild& out, SProjectState& st) {
    SPackedProject& p = out.project;
    const std::string at = Where(file, root);
    if (const toml::node* n = root.get("project")) {
        const toml::table* t = n->as_table();
        if (!t) Fail(at, "[project] is a table");
        const std::string pat = Where(file, *t);
        st.projectId = uint16_t(Integer(pat, *t, "id", 1, 1, 65535));
        p.projectId = st.projectId;
        p.texts[0] = Text(pat, *t, "title", "");
        p.texts[1] = Text(pat, *t, "author", "");
        p.texts[2] = Text(pat, *t, "description", "");
        if (const toml::node* c = t->get("children")) {
            const toml::array* a = c->as_array();
            if (!a) Fail(pat, "children is an array of folder names");
            for (const toml::node& e : *a) {
                auto s = e.value<std::string>();
                // One plain folder below this project's: what the game accepts.
                if (!s || s->empty() || s->size() > 259 || s->find_first_of("\\/:") != std::string::npos ||
                    *s == "." || *s == "..")
                    Fail(pat, "a child project is one folder name below the project's own");
                p.childFolders.push_back(*s);
            }
        }
    }
    EachTable(file, root, "event", [&](const std::string& eat, const toml::table& table) {
        const toml::table* t = &table;
        SPackedEvent ev;
        ev.id = Integer(eat, *t, "id", 0, -0x7FFFFFFF, 0x7FFFFFFF);
        ev.name = Text(eat, *t, "name", "");
        CheckName(eat, ev.name, "an event");
        p.events.push_back(ev);
    });
    EachTable(file, root, "texture", [&](const std::string& tat, const toml::table& table) {
        const toml::table* t = &table;
        SPackedTexture tex;
        tex.name = Text(tat, *t, "name", "");
        CheckName(tat, tex.name, "a texture");
        if (st.textures.count(tex.name)) Fail(tat, "two textures named " + tex.name);
        STextureRecipe r;
        if (const toml::node* s = t->get("size")) {
            const toml::array* sa = s->as_array();
            if (!sa || sa->size() != 2 || !(*sa)[0].value<int64_t>() || !(*sa)[1].value<int64_t>())
                Fail(tat, "size is [width, height]");
            r.width = int((*sa)[0].value<int64_t>().value_or(0));
            r.height = int((*sa)[1].value<int64_t>().value_or(0));
        }
        r.colour = ParseColour(tat, t->get("colour"));
        r.noise = Number(tat, *t, "noise", 0.0f);
        r.seed = uint32_t(Integer(tat, *t, "seed", 1, 0, 0x7FFFFFFF));
        r.border = Number(tat, *t, "border", 0.0f);
        if (const toml::node* s = t->get("stripes")) {
            const toml::table* stt = s->as_table();
            if (!stt) Fail(tat, "stripes is a table");
            r.stripes = Integer(tat, *stt, "count", 4, 1, 256);
            r.stripeWidth = Number(tat, *stt, "width", 0.5f);
            r.stripeColour = ParseColour(tat, stt->get("colour"));
            r.stripesVertical = Flag(tat, *stt, "vertical", false);
        }
        if (const toml::node* s = t->get("team_mask")) {
            const toml::table* mt = s->as_table();
            if (!mt) Fail(tat, "team_mask is a table");
            r.maskFrom = Number(tat, *mt, "from", 0.0f);
            r.maskTo = Number(tat, *mt, "to", 1.0f);
            r.maskVertical = Flag(tat, *mt, "vertical", false);
        }
        SPackedDIB* dib = ContentProject_MakeTexture(r);
        if (!dib) Fail(tat, "texture sizes are 1 to 1024");
        out.images.push_back(dib);
        tex.colorImage = dib;
        tex.width = uint32_t(r.width);
        tex.height = uint32_t(r.height);
        tex.projectId = st.projectId;
        tex.textureId = uint32_t(Integer(tat, *t, "id", int(p.textures.size() + 1), 1, 0x7FFFFFFF));
        tex.colorDepth = 24;
        const bool round = Flag(tat, *t, "round", false);
        if (round) {
            // Soft edges need the alpha bits of a 32-bit surface.
            SPackedDIB* alpha = ContentProject_MakeRoundAlpha(r.width, r.height);
            out.images.push_back(alpha);
            tex.alphaImage = alpha;
            tex.alphaDepth = 8;
        }
        tex.wantedDepth = uint32_t(Integer(tat, *t, "depth", round ? 32 : 16, 16, 32));
        st.textures[tex.name] = tex.textureId;
        p.textures.push_back(tex);
    });
    EachTable(file, root, "material", [&](const std::string& mat, const toml::table& table) {
        const toml::table* t = &table;
        SPackedMaterial m;
        m.name = Text(mat, *t, "name", "");
        CheckName(mat, m.name, "a material");
        if (st.materials.count(m.name)) Fail(mat, "two materials named " + m.name);
        m.projectId = st.projectId;
        m.materialId = uint32_t(Integer(mat, *t, "id", int(p.materials.size() + 1), 1, 0x7FFFFFFF));
        m.twoSided = Flag(mat, *t, "two_sided", false);
        m.lit = Flag(mat, *t, "lit", true);
        const std::string texture = Text(mat, *t, "texture", "");
        uint32_t textureId = 0;
        if (!texture.empty()) {
            auto it = st.textures.find(texture);
            if (it == st.textures.end()) Fail(mat, "no texture named " + texture);
            textureId = it->second;
        }
        m.passes = PackedProject_MakePasses(texture.empty() ? 0 : st.projectId, textureId);
        CE3DMaterialPass* pass = m.passes->Passes(1);
        if (texture.empty()) {
            // No picture: the lit colour alone.
            pass->m_stages[0]->m_colorOp = D3DTOP_SELECTARG2;
            pass->m_stages[0]->m_alphaOp = D3DTOP_SELECTARG2;
        }
        if (const toml::node* c = t->get("colour")) {
            const uint32_t rgb = ParseColour(mat, c);
            D3DMATERIAL7& lm = pass->m_states->m_lightingMaterial;
            const float r = float(rgb >> 16 & 0xFF) / 255.0f, g = float(rgb >> 8 & 0xFF) / 255.0f,
                        b = float(rgb & 0xFF) / 255.0f;
            lm.diffuse = {r, g, b, 1.0f};
            lm.ambient = {r, g, b, 1.0f};
        }
        const std::string blend = Text(mat, *t, "blend", "");
        if (!blend.empty()) {
            // Blended over what is behind it (its texture's alpha times the
            // vertex colour's); it does not hide what is drawn after it.
            if (blend != "alpha" && blend != "add") Fail(mat, "blend is \"alpha\" or \"add\"");
            CE3DRenderStates* rs = pass->m_states;
            rs->m_alphaBlend = 1;
            rs->m_srcBlend = D3DBLEND_SRCALPHA;
            rs->m_destBlend = blend == "add" ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA;
            rs->m_zWrite = 0;
        }
        st.materials[m.name] = m.materialId;
        p.materials.push_back(m);
    });
}

}  // namespace

bool ContentProject_Load(const std::string& folder, SContentBuild& out, std::string& error) {
    SProjectState st;
    st.folder = folder;
    try {
        const fs::path root(folder);
        const fs::path projectFile = root / "project.toml";
        if (!fs::is_regular_file(projectFile)) Fail(folder, "no project.toml");
        {
            toml::table t = toml::parse_file(projectFile.string());
            ReadProject(projectFile.string(), t, out, st);
            if (t.get("template")) Fail(projectFile.string(), "templates go in files of their own");
        }
        std::vector<fs::path> files;
        for (const auto& e : fs::recursive_directory_iterator(root))
            if (e.is_regular_file() && e.path().extension() == ".toml" && e.path() != projectFile)
                files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) {
            toml::table t = toml::parse_file(f.string());
            for (const auto& [key, value] : t)
                if (key.str() != "template")
                    Fail(Where(f.string(), value), "unknown table " + std::string(key.str()));
            const toml::node* n = t.get("template");
            if (!n) continue;
            const toml::array* a = n->as_array();
            if (!a) Fail(f.string(), "[[template]] is an array of tables");
            for (const toml::node& e : *a) {
                const toml::table* tt = e.as_table();
                if (!tt) Fail(f.string(), "[[template]] is an array of tables");
                SPackedNode node;
                ReadNode(node, f.string(), *tt, "", 0, st);
                if (!st.topIds.insert({node.projectId, node.nodeId}).second)
                    Fail(Where(f.string(), *tt), "two templates have the same id (" + node.name + ")");
                out.project.templates.push_back(std::move(node));
            }
        }
    } catch (const STomlError& e) {
        error = e.text;
        return false;
    } catch (const toml::parse_error& e) {
        const auto& src = e.source();
        error = (src.path ? *src.path : std::string(folder)) + ":" + std::to_string(src.begin.line) + ": " +
                std::string(e.description());
        return false;
    } catch (const fs::filesystem_error& e) {
        error = e.what();
        return false;
    }
    return true;
}
