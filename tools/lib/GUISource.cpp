#include "tools/lib/GUISource.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "core/ImageBMP.h"
#include "core/PackedDIB.h"
#include "platform/image/JPEGEncoder.h"
#include "tools/lib/ContentProject.h"
#include "tools/lib/GUIPackWriter.h"
#include "tools/lib/TomlFields.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------------------
// Values

void CheckKeys(const std::string& at, const toml::table& t, std::initializer_list<const char*> known) {
    for (const auto& [key, value] : t) {
        const std::string k(key.str());
        if (std::find_if(known.begin(), known.end(), [&k](const char* n) { return k == n; }) == known.end())
            Toml_Fail(at, "unknown key \"" + k + "\"");
    }
}

void Pair(const std::string& at, const toml::table& t, const char* key, int32_t out[2], int lo, int hi) {
    const toml::node* n = t.get(key);
    if (!n) return;
    const toml::array* a = n->as_array();
    if (!a || a->size() != 2) Toml_Fail(at, std::string(key) + " must be [x, y]");
    for (size_t i = 0; i < 2; ++i) {
        auto v = (*a)[i].value<int64_t>();
        if (!v || *v < lo || *v > hi)
            Toml_Fail(at, std::string(key) + " holds whole numbers from " + std::to_string(lo) + " to " +
                              std::to_string(hi));
        out[i] = int32_t(*v);
    }
}

std::vector<std::string> Lines(const std::string& at, const toml::table& t, const char* key) {
    std::vector<std::string> out;
    const toml::node* n = t.get(key);
    if (!n) return out;
    if (auto s = n->value<std::string>()) {
        out.push_back(*s);
    } else if (const toml::array* a = n->as_array()) {
        for (const toml::node& e : *a) {
            auto s = e.value<std::string>();
            if (!s) Toml_Fail(at, std::string(key) + " holds texts");
            out.push_back(*s);
        }
    } else {
        Toml_Fail(at, std::string(key) + " is a text or a list of texts");
    }
    for (const std::string& line : out)
        if (line.size() > kGUIPackNameBytes) Toml_Fail(at, "a text line is longer than 255 characters");
    return out;
}

uint32_t Colour(const std::string& at, const toml::table& t, const char* key, uint32_t fallback) {
    const toml::node* n = t.get(key);
    return n ? Toml_Colour(at, *n) : fallback;
}

// The "properties" table of an object: texts of at most 255 characters.
void Properties(const std::string& at, const toml::table& t, SGUIObjectRecord& o) {
    const toml::node* n = t.get("properties");
    if (!n) return;
    const toml::table* props = n->as_table();
    if (!props) Toml_Fail(at, "properties is a table of texts");
    for (const auto& [key, value] : *props) {
        // A list of texts gives the property once for each (Hide = ["A", "B"]).
        std::vector<std::string> texts;
        if (const toml::array* list = value.as_array()) {
            for (const toml::node& item : *list) {
                auto s = item.value<std::string>();
                if (!s) Toml_Fail(at, "properties hold texts or lists of texts");
                texts.push_back(*s);
            }
        } else if (auto s = value.value<std::string>()) {
            texts.push_back(*s);
        } else {
            Toml_Fail(at, "properties hold texts or lists of texts");
        }
        for (const std::string& text : texts) {
            if (key.str().size() > kGUIPackNameBytes || text.size() > kGUIPackNameBytes)
                Toml_Fail(at, "a property is longer than 255 characters");
            o.properties.push_back(SGUIPropertyRecord{std::string(key.str()), text});
        }
    }
}

// ---------------------------------------------------------------------------
// Pictures

// A picture in rows of blue, green, red bytes, top row first.
struct SPixels {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
    void Set(int x, int y, uint32_t rgb) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        uint8_t* p = &bgr[(size_t(y) * width + x) * 3];
        p[0] = uint8_t(rgb);
        p[1] = uint8_t(rgb >> 8);
        p[2] = uint8_t(rgb >> 16);
    }
};

uint32_t Mix(uint32_t a, uint32_t b, float t) {
    uint32_t out = 0;
    for (int s = 0; s < 24; s += 8) {
        const float v = float((a >> s) & 0xFF) * (1.0f - t) + float((b >> s) & 0xFF) * t;
        out |= uint32_t(std::clamp(int(v + 0.5f), 0, 255)) << s;
    }
    return out;
}

// The colour key of the interface's pictures: what shows through.
constexpr uint32_t kKey = 0x00FFFF;

// A 5 x 7 pixel font of capitals and digits for the labels of pictures
// (each row's five low bits, the leftmost highest), "A" to "Z", then "0" to "9".
const uint8_t kGlyphs[36][7] = {
    {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // A
    {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E},  // B
    {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E},  // C
    {0x1C, 0x12, 0x11, 0x11, 0x11, 0x12, 0x1C},  // D
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F},  // E
    {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10},  // F
    {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F},  // G
    {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11},  // H
    {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},  // I
    {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C},  // J
    {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11},  // K
    {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F},  // L
    {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11},  // M
    {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11},  // N
    {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // O
    {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10},  // P
    {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D},  // Q
    {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11},  // R
    {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E},  // S
    {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04},  // T
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E},  // U
    {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04},  // V
    {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A},  // W
    {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11},  // X
    {0x11, 0x11, 0x11, 0x0A, 0x04, 0x04, 0x04},  // Y
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F},  // Z
    {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E},  // 0
    {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E},  // 1
    {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F},  // 2
    {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E},  // 3
    {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02},  // 4
    {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E},  // 5
    {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E},  // 6
    {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08},  // 7
    {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E},  // 8
    {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C},  // 9
};

const uint8_t* Glyph(char c) {
    if (c >= 'a' && c <= 'z') c = char(c - 'a' + 'A');
    if (c >= 'A' && c <= 'Z') return kGlyphs[c - 'A'];
    if (c >= '0' && c <= '9') return kGlyphs[26 + (c - '0')];
    return nullptr;  // a blank
}

// The label's lines (split at blanks) drawn centred over the picture, each
// letter in the label colour with a one-pixel rim of the edge colour so
// that it reads on any shape.
void DrawLabel(SPixels& p, const std::string& label, uint32_t ink, uint32_t rim) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : label + " ") {
        if (c != ' ') {
            line += c;
        } else if (!line.empty()) {
            lines.push_back(line);
            line.clear();
        }
    }
    if (lines.empty()) return;
    const int lineHeight = 9, total = int(lines.size()) * lineHeight - 2;
    int y0 = (p.height - total) / 2;
    for (const std::string& l : lines) {
        const int width = int(l.size()) * 6 - 1;
        const int x0 = (p.width - width) / 2;
        for (int pass = 0; pass < 2; ++pass)
            for (size_t i = 0; i < l.size(); ++i) {
                const uint8_t* g = Glyph(l[i]);
                if (!g) continue;
                for (int gy = 0; gy < 7; ++gy)
                    for (int gx = 0; gx < 5; ++gx) {
                        if (!(g[gy] & (0x10 >> gx))) continue;
                        const int x = x0 + int(i) * 6 + gx, y = y0 + gy;
                        if (pass == 1) {
                            p.Set(x, y, ink);
                            continue;
                        }
                        for (int dy = -1; dy <= 1; ++dy)
                            for (int dx = -1; dx <= 1; ++dx) p.Set(x + dx, y + dy, rim);
                    }
            }
        y0 += lineHeight;
    }
}

struct SPictureRecipe {
    std::string name, folder = "resources", format = "bmp";
    int width = 64, height = 64;
    uint32_t colour = 0x808080, colour2 = 0x808080, edge = 0x000000;
    bool gradient = false;
    float noise = 0.0f, border = 0.0f;
    int frames = 1;
    std::string shape = "rect";
    std::string label;  // a word or two drawn over it (an icon's)
    uint32_t labelColour = 0xFFFFFF;
};

// Frame f of n: the shapes turn (arrows point, crosses spin) and pulse.
SPixels DrawShape(const SPictureRecipe& r, int frame) {
    SPixels p;
    p.width = r.width;
    p.height = r.height;
    p.bgr.assign(size_t(r.width) * r.height * 3, 0);
    const float phase = r.frames > 1 ? float(frame) / float(r.frames) : 0.0f;
    if (r.shape == "rect") {
        STextureRecipe t;
        t.width = r.width;
        t.height = r.height;
        t.colour = r.colour;
        t.noise = r.noise;
        t.border = r.border;
        t.seed = uint32_t(r.name.size() * 7919 + frame);
        SPackedDIB* dib = ContentProject_MakeTexture(t);
        const uint32_t row = DIB_RowBytes(r.width, 24);
        for (int y = 0; y < r.height; ++y) {
            const uint8_t* in = DIB_Pixels(dib) + size_t(r.height - 1 - y) * row;
            for (int x = 0; x < r.width; ++x) {
                // Stored blue, green, red: the colour 0xRRGGBB.
                uint32_t c =
                    uint32_t(in[x * 3]) | uint32_t(in[x * 3 + 1]) << 8 | uint32_t(in[x * 3 + 2]) << 16;
                if (r.gradient) c = Mix(c, r.colour2, float(y) / float(std::max(1, r.height - 1)));
                p.Set(x, y, c);
            }
        }
        DIB_Free(dib);
        return p;
    }
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) p.Set(x, y, kKey);
    const float cx = (r.width - 1) * 0.5f, cy = (r.height - 1) * 0.5f;
    const float size =
        std::min(r.width, r.height) * (0.5f - 0.1f * std::sin(phase * 6.2831855f) * (r.frames > 1));
    for (int y = 0; y < r.height; ++y)
        for (int x = 0; x < r.width; ++x) {
            const float dx = x - cx, dy = y - cy, d = std::sqrt(dx * dx + dy * dy);
            bool inside = false, edge = false;
            if (r.shape == "arrow") {
                // A pointer from the top left corner: inside the triangle of
                // the corner, the far side and the lower edge.
                const float u = float(x), v = float(y), s = float(std::min(r.width, r.height) - 1);
                inside = u <= v && u + v * 0.45f <= s;
                edge = inside && (u >= v - 1.5f || u + v * 0.45f >= s - 1.5f || u <= 1.0f);
            } else if (r.shape == "ring") {
                inside = d <= size && d >= size * 0.6f;
                edge = inside && (d >= size - 1.2f || d <= size * 0.6f + 1.2f);
            } else if (r.shape == "frame") {
                // A border of the edge colour; the inside shows through.
                inside = x < 2 || y < 2 || x >= r.width - 2 || y >= r.height - 2;
                edge = inside;
            } else if (r.shape == "disc") {
                inside = d <= size;
                edge = inside && d >= size - 1.2f;
            } else if (r.shape == "cross") {
                const float a = phase * 1.5707964f, c = std::cos(a), s = std::sin(a);
                const float u = dx * c + dy * s, v = -dx * s + dy * c;
                inside = (std::fabs(u) <= size * 0.2f || std::fabs(v) <= size * 0.2f) &&
                         std::fabs(u) <= size && std::fabs(v) <= size;
                edge = inside && (std::fabs(u) >= size - 1.0f || std::fabs(v) >= size - 1.0f);
            }
            if (inside) p.Set(x, y, edge ? r.edge : r.colour);
        }
    return p;
}

SPixels Draw(const SPictureRecipe& r, int frame) {
    SPixels p = DrawShape(r, frame);
    if (!r.label.empty()) DrawLabel(p, r.label, r.labelColour, r.edge);
    return p;
}

std::vector<uint8_t> Encode(const SPictureRecipe& r, const SPixels& p, const std::string& at) {
    std::vector<uint8_t> out;
    if (r.format == "jpg") {
        if (!Image_JPEGEncode(p.bgr.data(), p.width, p.width * 3, p.height, false, 90, out))
            Toml_Fail(at, "the picture " + r.name + " does not encode");
        return out;
    }
    SPackedDIB* dib = DIB_Create(p.width, p.height, 24);
    const uint32_t row = DIB_RowBytes(p.width, 24);
    for (int y = 0; y < p.height; ++y)
        std::copy(&p.bgr[size_t(y) * p.width * 3], &p.bgr[size_t(y + 1) * p.width * 3],
                  DIB_Pixels(dib) + size_t(p.height - 1 - y) * row);
    const bool ok = DIB_WriteBMPMemory(dib, out);
    DIB_Free(dib);
    if (!ok) Toml_Fail(at, "the picture " + r.name + " does not encode");
    return out;
}

// ---------------------------------------------------------------------------
// The description

struct SBankInfo {
    uint32_t number = 0;                      // 1-based
    std::map<std::string, uint32_t> samples;  // 1-based
};

class CReader {
public:
    explicit CReader(SGUIBuild& out) : m_out(out) {}

    void Read(const std::string& file, const toml::table& root);
    void Finish();

private:
    void Picture(const std::string& at, const toml::table& t);
    void Bank(const std::string& file, const std::string& at, const toml::table& t);
    void Object(const std::string& file, const std::string& at, const toml::table& t, SGUIObjectRecord& o,
                int32_t parentLayer);
    void Children(const std::string& file, const toml::table& t, SGUIObjectRecord& parent, int32_t layer);
    uint32_t Resource(const std::string& at, const std::string& picture);

    SGUIBuild& m_out;
    std::map<std::string, SPictureRecipe> m_pictures;
    std::map<std::string, SBankInfo> m_banks;
    std::set<int32_t> m_ids;
    // The screen being read: its bank and its resource table.
    SGUIObjectRecord* m_screen = nullptr;
    const SBankInfo* m_screenBank = nullptr;
};

void CReader::Picture(const std::string& at, const toml::table& t) {
    CheckKeys(at, t,
              {"name", "folder", "format", "size", "colour", "colour2", "edge", "noise", "border", "frames",
               "shape", "label", "label_colour"});
    SPictureRecipe r;
    r.name = Toml_Text(at, t, "name", "");
    if (r.name.empty() || r.name.size() > 200)
        Toml_Fail(at, "a picture needs a name (at most 200 characters)");
    if (m_pictures.count(r.name)) Toml_Fail(at, "two pictures named " + r.name);
    r.folder = Toml_Text(at, t, "folder", r.folder);
    if (r.folder != "resources" && r.folder != "Mouse" && r.folder != "UnitInfo" && r.folder != "Load" &&
        r.folder != "Icons" && r.folder != "GUI")
        Toml_Fail(at, "folder is \"resources\", \"Mouse\", \"UnitInfo\", \"Icons\", \"Load\" or \"GUI\"");
    r.format = Toml_Text(at, t, "format", r.folder == "Load" ? "jpg" : "bmp");
    if (r.format != "bmp" && r.format != "jpg") Toml_Fail(at, "format is \"bmp\" or \"jpg\"");
    int32_t size[2] = {64, 64};
    Pair(at, t, "size", size, 1, 1024);
    r.width = size[0];
    r.height = size[1];
    r.colour = Colour(at, t, "colour", r.colour);
    r.gradient = t.get("colour2") != nullptr;
    r.colour2 = Colour(at, t, "colour2", r.colour);
    r.edge = Colour(at, t, "edge", r.edge);
    r.noise = std::clamp(Toml_Number(at, t, "noise", 0.0f), 0.0f, 1.0f);
    r.border = std::clamp(Toml_Number(at, t, "border", 0.0f), 0.0f, 0.5f);
    r.frames = Toml_Integer(at, t, "frames", 1, 1, 999);
    r.shape = Toml_Text(at, t, "shape", r.shape);
    static const char* const kShapes[] = {"rect", "frame", "arrow", "ring", "disc", "cross"};
    if (std::find(std::begin(kShapes), std::end(kShapes), r.shape) == std::end(kShapes))
        Toml_Fail(at, "shape is \"rect\", \"frame\", \"arrow\", \"ring\", \"disc\" or \"cross\"");
    r.label = Toml_Text(at, t, "label", "");
    for (char c : r.label)
        if (c != ' ' && !Glyph(c)) Toml_Fail(at, "a label holds letters, digits and blanks");
    r.labelColour = Colour(at, t, "label_colour", r.labelColour);
    // One file, or a sequence "<name>001" and on.
    for (int f = 0; f < r.frames; ++f) {
        char number[16];
        std::snprintf(number, sizeof number, "%03d", f + 1);
        SGUIBuildFile file;
        // "GUI": the GUI folder itself (the confirm dialog's pictures);
        // "Icons": the unit icons, in the game folder's "Units\Icons".
        const bool icon = r.folder == "Icons";
        file.gameFolder = icon;
        file.path = (icon                ? std::string("Units\\Icons\\")
                     : r.folder == "GUI" ? std::string()
                                         : r.folder + "\\") +
                    r.name + (r.frames > 1 ? number : "") + "." + r.format;
        file.bytes = Encode(r, Draw(r, f), at);
        m_out.files.push_back(std::move(file));
    }
    m_pictures[r.name] = r;
}

void CReader::Bank(const std::string& file, const std::string& at, const toml::table& t) {
    CheckKeys(at, t, {"name", "sample"});
    SGUISoundBankRecord bank;
    bank.name = Toml_Text(at, t, "name", "");
    if (bank.name.empty() || bank.name.size() > kGUIPackNameBytes) Toml_Fail(at, "a bank needs a name");
    if (m_banks.count(bank.name)) Toml_Fail(at, "two banks named " + bank.name);
    SBankInfo info;
    info.number = uint32_t(m_out.pack.banks.size() + 1);
    Toml_EachTable(file, t, "sample", [&](const std::string& sat, const toml::table& s) {
        CheckKeys(sat, s, {"name", "tone", "length", "volume"});
        SGUIBankSampleRecord sample;
        sample.name = Toml_Text(sat, s, "name", "");
        if (sample.name.empty() || sample.name.size() > kGUIPackNameBytes)
            Toml_Fail(sat, "a sample needs a name");
        const int tone = Toml_Integer(sat, s, "tone", 880, 20, 10000);
        const int ms = Toml_Integer(sat, s, "length", 40, 1, 2000);
        sample.volume = uint32_t(Toml_Integer(sat, s, "volume", 100, 0, 127));
        sample.rate = sample.samplesPerSec = 22050;
        sample.avgBytesPerSec = 44100;
        // A tone that fades out, 16-bit mono.
        const int count = 22050 * ms / 1000;
        for (int i = 0; i < count; ++i) {
            const float fade = 1.0f - float(i) / float(count);
            const int v = int(12000.0f * fade * std::sin(6.2831855f * float(tone) * float(i) / 22050.0f));
            sample.data.push_back(char(v & 0xFF));
            sample.data.push_back(char((v >> 8) & 0xFF));
        }
        info.samples[sample.name] = uint32_t(bank.samples.size() + 1);
        bank.samples.push_back(sample);
    });
    m_banks[bank.name] = info;
    m_out.pack.banks.push_back(bank);
}

uint32_t CReader::Resource(const std::string& at, const std::string& picture) {
    if (!m_pictures.count(picture)) Toml_Fail(at, "no picture named " + picture);
    if (m_pictures[picture].folder != "resources")
        Toml_Fail(at, "the picture " + picture + " is not in resources");
    for (const SGUIResourceRecord& r : m_screen->resources)
        if (r.name == picture) return uint32_t(r.id);
    SGUIResourceRecord r;
    r.name = picture;
    r.id = int32_t(m_screen->resources.size() + 1);
    m_screen->resources.push_back(r);
    return uint32_t(r.id);
}

void CReader::Object(const std::string& file, const std::string& at, const toml::table& t,
                     SGUIObjectRecord& o, int32_t parentLayer) {
    CheckKeys(at, t, {"name",         "type",      "at",         "layer",        "text",
                      "font",         "font_size", "bold",       "align",        "colour",
                      "hover_colour", "picture",   "pictures",   "press_offset", "command",
                      "jump",         "id",        "properties", "visible",      "children_hidden",
                      "shown",        "sounds",    "object",     "repeat",       "step"});
    const std::string type = Toml_Text(at, t, "type", "group");
    o.name = Toml_Text(at, t, "name", type);
    if (o.name.size() > kGUIPackNameBytes) Toml_Fail(at, "a name is longer than 255 characters");
    int32_t pos[2] = {0, 0};
    Pair(at, t, "at", pos, -4096, 4096);
    o.x = pos[0];
    o.y = pos[1];
    o.layer = Toml_Integer(at, t, "layer", parentLayer + 1, 0, 63);
    if (type == "picture") {
        o.kind = 0;
        o.bitmapId = Resource(at, Toml_Text(at, t, "picture", ""));
    } else if (type == "button") {
        o.kind = 2;
        const toml::node* n = t.get("pictures");
        if (n) {
            const toml::array* a = n->as_array();
            if (!a || a->size() != 3) Toml_Fail(at, "pictures are [pressed, released, hover]");
            for (size_t i = 0; i < 3; ++i) {
                auto s = (*a)[i].value<std::string>();
                if (!s) Toml_Fail(at, "pictures holds picture names");
                o.stateBitmapIds[i] = Resource(at, *s);
            }
        }
        int32_t press[2] = {0, 0};
        Pair(at, t, "press_offset", press, -16, 16);
        o.statePositions[0][0] = o.x + press[0];
        o.statePositions[0][1] = o.y + press[1];
        for (int i = 1; i < 3; ++i) {
            o.statePositions[i][0] = o.x;
            o.statePositions[i][1] = o.y;
        }
        o.bitmapState = 1;
    } else if (type == "text" || type == "group") {
        o.kind = 3;
    } else {
        Toml_Fail(at, "type is \"picture\", \"button\", \"text\" or \"group\"");
    }
    o.textLines = Lines(at, t, "text");
    o.fontName = Toml_Text(at, t, "font", "Arial");
    if (o.fontName.size() > kGUIPackNameBytes) Toml_Fail(at, "a font name is longer than 255 characters");
    int32_t font[2] = {0, 14};
    Pair(at, t, "font_size", font, 0, 128);
    o.fontWidth = uint32_t(font[0]);
    o.fontHeight = uint32_t(font[1]);
    o.fontWeightIndex = Toml_Flag(at, t, "bold", false) ? 6 : 3;
    const std::string align = Toml_Text(at, t, "align", "left");
    if (align == "left")
        o.textAlign = 0;
    else if (align == "centre")
        o.textAlign = 1;
    else if (align == "right")
        o.textAlign = 2;
    else
        Toml_Fail(at, "align is \"left\", \"centre\" or \"right\"");
    const uint32_t c1 = Colour(at, t, "colour", 0xFFFFFF), c2 = Colour(at, t, "hover_colour", c1);
    for (int i = 0; i < 3; ++i) {
        o.color1[i] = (c1 >> (16 - 8 * i)) & 0xFF;
        o.color2[i] = (c2 >> (16 - 8 * i)) & 0xFF;
    }
    auto property = [&](const std::string& name, const std::string& value) {
        if (value.size() > kGUIPackNameBytes) Toml_Fail(at, name + " is longer than 255 characters");
        o.properties.push_back(SGUIPropertyRecord{name, value});
    };
    if (const std::string id = Toml_Text(at, t, "id", ""); !id.empty()) property("ID", id);
    if (const std::string command = Toml_Text(at, t, "command", ""); !command.empty())
        property("CCE_OnPressed", command);
    Properties(at, t, o);
    if (const int jump = Toml_Integer(at, t, "jump", 0, 0, 0x7FFFFFFF)) {
        o.jumpTarget = uint32_t(jump);
        o.jumpFlag = 1;
    }
    o.visible = Toml_Flag(at, t, "visible", true) ? 1 : 0;
    o.childrenHidden = Toml_Flag(at, t, "children_hidden", false) ? 1 : 0;
    o.extraA = Toml_Flag(at, t, "shown", true) ? 1 : 0;
    if (const toml::node* n = t.get("sounds")) {
        const toml::table* sounds = n->as_table();
        if (!sounds || !m_screenBank) Toml_Fail(at, "sounds name samples of the screen's bank");
        static const char* const kEvents[5] = {"none", "press", "release", "hover", "sequence"};
        for (const auto& [key, value] : *sounds) {
            const auto event = std::find(std::begin(kEvents), std::end(kEvents), std::string(key.str()));
            auto s = value.value<std::string>();
            if (event == std::end(kEvents) || !s || !m_screenBank->samples.count(*s))
                Toml_Fail(at,
                          "sounds are press, release, hover or sequence, each a sample of the screen's bank");
            o.eventSamples[event - std::begin(kEvents)] = m_screenBank->samples.at(*s);
        }
    }
    Children(file, t, o, o.layer);
}

void CReader::Children(const std::string& file, const toml::table& t, SGUIObjectRecord& parent,
                       int32_t layer) {
    Toml_EachTable(file, t, "object", [&](const std::string& at, const toml::table& c) {
        const int repeat = Toml_Integer(at, c, "repeat", 1, 1, 256);
        int32_t step[2] = {0, 0};
        Pair(at, c, "step", step, -1024, 1024);
        for (int i = 0; i < repeat; ++i) {
            SGUIObjectRecord child;
            Object(file, at, c, child, layer);
            if (repeat > 1) child.name += " " + std::to_string(i + 1);
            // A "%d" in the id is the copy's number (BuildIcon%d: BuildIcon1, ...).
            for (SGUIPropertyRecord& p : child.properties)
                if (p.name == "ID")
                    if (const size_t at = p.value.find("%d"); at != std::string::npos)
                        p.value.replace(at, 2, std::to_string(i + 1));
            child.x += step[0] * i;
            child.y += step[1] * i;
            if (child.kind == 2)
                for (auto& p : child.statePositions) {
                    p[0] += step[0] * i;
                    p[1] += step[1] * i;
                }
            parent.children.push_back(std::move(child));
        }
    });
}

void CReader::Read(const std::string& file, const toml::table& root) {
    CheckKeys(file, root, {"picture", "bank", "screen"});
    Toml_EachTable(file, root, "picture",
                   [&](const std::string& at, const toml::table& t) { Picture(at, t); });
    Toml_EachTable(file, root, "bank",
                   [&](const std::string& at, const toml::table& t) { Bank(file, at, t); });
    Toml_EachTable(file, root, "screen", [&](const std::string& at, const toml::table& t) {
        CheckKeys(at, t, {"id", "name", "picture", "bank", "key_bindings", "properties", "object"});
        SGUIObjectRecord screen;
        screen.ownsResources = 1;
        screen.guiId = Toml_Integer(at, t, "id", 0, 0, 0x7FFFFFFF);
        if (!m_ids.insert(screen.guiId).second)
            Toml_Fail(at, "two screens with the id " + std::to_string(screen.guiId));
        screen.name = Toml_Text(at, t, "name", "Screen " + std::to_string(screen.guiId));
        screen.layer = 0;
        m_screen = &screen;
        m_screenBank = nullptr;
        if (const std::string bank = Toml_Text(at, t, "bank", ""); !bank.empty()) {
            if (!m_banks.count(bank)) Toml_Fail(at, "no bank named " + bank);
            m_screenBank = &m_banks[bank];
            screen.soundBank = m_screenBank->number;
        }
        if (const std::string picture = Toml_Text(at, t, "picture", ""); !picture.empty()) {
            screen.kind = 0;
            screen.bitmapId = Resource(at, picture);
        } else {
            screen.kind = 3;
        }
        if (const std::string keys = Toml_Text(at, t, "key_bindings", ""); !keys.empty())
            screen.properties.push_back(SGUIPropertyRecord{"KeyBindingFile", keys});
        Properties(at, t, screen);
        Children(file, t, screen, 0);
        m_screen = nullptr;
        m_out.pack.root.children.push_back(std::move(screen));
    });
}

void CReader::Finish() {
    SGUIObjectRecord& root = m_out.pack.root;
    root.ownsResources = 1;
    root.name = "Root";
    root.kind = -1;
    root.layer = -1;
    // Pictures a screen does not name still go into the resources folder:
    // the replacement of a missing picture among them.
    if (!m_pictures.count("SYSIMAGE_DELETED")) {
        SPictureRecipe r;
        r.name = "SYSIMAGE_DELETED";
        r.width = r.height = 16;
        r.colour = 0xFF00FF;
        SGUIBuildFile f;
        f.path = "resources\\SYSIMAGE_DELETED.BMP";
        f.bytes = Encode(r, Draw(r, 0), "SYSIMAGE_DELETED");
        m_out.files.push_back(std::move(f));
    }
    std::vector<uint8_t> bytes;
    std::string error;
    if (!GUIPack_Build(m_out.pack, bytes, error)) Toml_Fail("the interface", error);
}

}  // namespace

bool GUISource_Load(const std::string& folder, SGUIBuild& out, std::string& error) {
    out = SGUIBuild();
    std::vector<fs::path> files;
    std::error_code ec;
    for (const fs::directory_entry& e : fs::directory_iterator(folder, ec))
        if (e.is_regular_file() && e.path().extension() == ".toml") files.push_back(e.path());
    if (ec || files.empty()) {
        error = folder + ": no .toml files";
        return false;
    }
    std::sort(files.begin(), files.end());
    CReader reader(out);
    try {
        for (const fs::path& file : files) {
            toml::table root;
            try {
                root = toml::parse_file(file.string());
            } catch (const toml::parse_error& e) {
                const toml::source_position p = e.source().begin;
                Toml_Fail(file.string() + ":" + std::to_string(p.line), std::string(e.description()));
            }
            reader.Read(file.string(), root);
        }
        reader.Finish();
    } catch (const STomlError& e) {
        error = e.text;
        return false;
    }
    return true;
}
