#include "tools/lib/SavedGameWriter.h"

#include <cstring>

#include "core/CRC32.h"

namespace {

class CBytes {
public:
    std::vector<uint8_t> b;
    void U8(uint32_t v) { b.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) {
        U8(v & 0xFF);
        U8(v >> 8);
    }
    void U32(uint32_t v) {
        for (int i = 0; i < 4; ++i) U8((v >> (8 * i)) & 0xFF);
    }
    void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
    void U64(uint64_t v) {
        U32(static_cast<uint32_t>(v));
        U32(static_cast<uint32_t>(v >> 32));
    }
    void F32(float v) {
        uint32_t u;
        std::memcpy(&u, &v, 4);
        U32(u);
    }
    void Text(const std::string& s) {
        U16(static_cast<uint32_t>(s.size()));
        b.insert(b.end(), s.begin(), s.end());
    }
    // Bytes packed into an id list: u32 word count, u32 byte length, the
    // bytes four to a word.
    void Carried(const std::vector<uint8_t>& bytes) {
        const uint32_t words = static_cast<uint32_t>((bytes.size() + 3) / 4);
        U32(words + 1);
        U32(static_cast<uint32_t>(bytes.size()));
        b.insert(b.end(), bytes.begin(), bytes.end());
        for (size_t i = bytes.size(); i < size_t(words) * 4; ++i) U8(0);
    }
};

void Description(CBytes& f, const SSavedGameFixture& x) {
    f.U8(0);
    f.U8(x.fogOfWar);
    f.I32(x.maxPlayers);
    f.I32(x.maxUnits);
    f.I32(x.startResources);
    f.Text(x.mapFile);
}

void Player(CBytes& f, const SSavedGameFixture::SPlayer& p) {
    f.I32(p.id);
    f.U8(0);  // attribute
    f.U8(0);  // connection kind
    for (int i = 0; i < 3; ++i) f.U32(0);
    f.I32(p.team);
    f.I32(0);  // kills
    f.U8(p.computer);
    f.F32(1.0f);  // scale
    f.Text(p.race);
    for (int i = 0; i < 4; ++i) f.I32(0);
    f.I32(p.ownerId);
    for (float c : p.colour) f.F32(c);
    f.U8(0);
    f.F32(0.0f);  // harvested
    f.F32(p.resources);
    for (int i = 1; i < 11; ++i) f.F32(0.0f);
    f.F32(1.0f);  // second scale
    f.F32(0.0f);
    f.I32(0);
    f.I32(0);
    f.U8(0);
    f.U8(0);
    for (int i = 0; i < 9; ++i) f.U64(0);
}

}  // namespace

std::vector<uint8_t> SavedGameFixture_Write(const SSavedGameFixture& x,
                                            std::vector<std::pair<std::string, size_t>>* offsets) {
    CBytes f;
    auto mark = [&](const char* name) {
        if (offsets) offsets->emplace_back(name, f.b.size());
    };
    // 1 to 3
    f.U32(1);
    f.U32(x.gameType);
    Description(f, x);
    Description(f, x);
    f.Text("Fixture");
    f.Text("A saved game written by the fixture writer");
    f.Text(x.briefingAnimation);
    f.I32(x.nextOwnerId);
    f.U32(x.nextTeamId);
    if (!x.players.empty()) Player(f, x.players[0]);
    mark("players");
    f.U32(x.players.empty() ? 0 : static_cast<uint32_t>(x.players.size() - 1));
    for (size_t i = 1; i < x.players.size(); ++i) Player(f, x.players[i]);
    f.I32(x.nextPlayerId);
    f.Text("Maps\\" + x.mapFile);
    // 4: the grid, every cell unexplored.
    for (int32_t v : x.rect) f.I32(v);
    for (int32_t v : x.rect) f.I32(3 * v);
    const uint32_t cells = static_cast<uint32_t>((x.rect[2] - x.rect[0]) * (x.rect[1] - x.rect[3]));
    mark("grid cells");
    f.U32(cells);
    for (uint32_t i = 0; i < cells; ++i) f.U32(0);
    f.U8(0);
    // 5: the scene, without objects.
    f.U32(0);
    f.U32(x.frameCounter);
    f.U32(0xFFFFFFFFu);
    mark("lists");
    for (int i = 0; i < 253; ++i) f.U32(0);
    // No way search under way: no requester, no unit served, empty caches.
    CBytes ways;
    ways.U32(0);
    ways.I32(-1);
    ways.U8(0);
    ways.U32(0);
    for (int i = 0; i < 10; ++i) ways.U32(0);
    f.Carried(ways.b);
    f.U32(0);  // no orders of the turn
    for (int i = 0; i < 256; ++i) f.F32(0.0f);
    for (int i = 0; i < 256; ++i) f.U8(0);
    f.I32(0);
    mark("objectives");
    f.U32(0);
    f.U8(1);  // on
    f.U8(0);
    f.U8(0);
    f.F32(0.0f);
    f.F32(0.0f);
    f.U32(0);
    f.U8(0);
    f.U32(0);
    f.F32(0.0f);
    f.F32(0.0f);
    f.U8(0);
    f.F32(0.0f);
    f.I32(x.objectIdCounter);
    // 6 to 11
    for (float v : {6.5f, 2.0f, 0.2f, 2.0f, 1.0f}) f.F32(v);
    for (uint32_t v : {0u, 1u, 1u, 60u, 128u, 64u, 64u, 256u, 256u, 256u}) f.U32(v);
    for (int i = 0; i < 3; ++i) f.F32(0.7853982f);
    for (int i = 0; i < 6; ++i) f.F32(0.0f);
    f.Text(x.music);
    f.U8(x.music.empty() ? 0 : 1);
    if (!x.music.empty()) f.U32(x.musicPosition);
    f.Text(x.campaign);
    f.Text(x.mission);
    // 12: the session's record, then the parts.
    CBytes s;
    s.U8(0);
    s.U64(x.gameTime);
    s.F32(x.tickRate);
    s.F32(x.gameSpeed);
    s.I32(x.players.empty() ? -1 : x.players[0].id);
    const size_t teams = s.b.size();
    s.U32(0);
    for (const SSavedGameFixture::SPlayer& p : x.players) {
        s.Text(p.name);
        s.F32(0.0f);
        for (int i = 0; i < 4; ++i) s.F32(0.0f);
        s.U32(static_cast<uint32_t>(p.allies.size()));
        for (int32_t a : p.allies) s.I32(a);
    }
    mark("block records");
    f.U32(static_cast<uint32_t>(1 + x.parts.size()));
    f.U32(0x53534553u);  // "SESS"
    f.U32(static_cast<uint32_t>(s.b.size()));
    if (offsets) offsets->emplace_back("session teams", f.b.size() + teams);
    f.b.insert(f.b.end(), s.b.begin(), s.b.end());
    for (const auto& part : x.parts) {
        f.U32(part.first);
        f.U32(static_cast<uint32_t>(part.second.size()));
        f.b.insert(f.b.end(), part.second.begin(), part.second.end());
    }
    mark("check sum");
    f.U32(CRC32_Compute(f.b.data(), f.b.size()));
    return f.b;
}

void SavedGameFixture_Reseal(std::vector<uint8_t>& bytes) {
    if (bytes.size() < 4) return;
    const uint32_t crc = CRC32_Compute(bytes.data(), bytes.size() - 4);
    for (int i = 0; i < 4; ++i) bytes[bytes.size() - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
}
