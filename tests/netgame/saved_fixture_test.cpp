// Saved games written by the fixture writer (tools/lib/SavedGameWriter),
// byte by byte from the file's layout and apart from the game's writer: the
// game reads such a file and takes it (its players, its map's grid, its
// clock), and the same file with any one count made impossible is refused
// with the field and the reason, before anything of the game changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/LittleEndian.h"
#include "tests/netgame/NetTestMachine.h"
#include "tools/lib/SavedGameWriter.h"

namespace {

SSavedGameFixture TwoPlayers() {
    SSavedGameFixture x;
    SSavedGameFixture::SPlayer local;
    local.id = 1;
    local.ownerId = 1;
    local.name = "Anna";
    local.resources = 1234.0f;
    SSavedGameFixture::SPlayer other;
    other.id = 7;
    other.ownerId = 7;
    other.name = "Bert";
    other.resources = 55.0f;
    other.allies = {1};
    x.players = {local, other};
    x.rect[0] = -12;
    x.rect[1] = 10;
    x.rect[2] = 12;
    x.rect[3] = -10;
    x.gameTime = 1193182ull * 40;
    x.frameCounter = 600;
    x.objectIdCounter = 77;
    return x;
}

struct SMachine {
    SMachine() : m("fixture", false) { m.net->m_joinedInfo.m_mapFile = "Skerry"; }
    CNetMachine m;
};

TEST(SavedGameFixture, AFileWrittenFromTheLayoutIsTakenWhole) {
    SMachine s;
    CNetGame& net = *s.m.net;
    std::vector<uint8_t> bytes = SavedGameFixture_Write(TwoPlayers());
    CSavedGameFile file;
    std::string error;
    ASSERT_TRUE(net.ParseSavedGame(bytes, file, error)) << error;
    ASSERT_TRUE(net.CheckSavedGame(file, error)) << error;
    ASSERT_TRUE(net.ApplySavedGame(file, error)) << error;
    CPlayer* bert = net.FindPlayerById(7);
    ASSERT_NE(bert, nullptr);
    EXPECT_STREQ(bert->m_name.GetText(), "Bert");
    EXPECT_EQ(bert->m_resources, 55.0f);
    ASSERT_EQ(bert->m_allies.size(), 1u);
    EXPECT_EQ(bert->m_allies[0]->m_id, 1);
    int32_t rect[4];
    s.m.m_world->Query().MapRect(&rect[0], &rect[1], &rect[2], &rect[3]);
    EXPECT_EQ(rect[0], -12);
    EXPECT_EQ(rect[1], 10);
    EXPECT_EQ(rect[2], 12);
    EXPECT_EQ(rect[3], -10);
    EXPECT_EQ(s.m.scene->m_frameCounter, 600u);
    EXPECT_EQ(s.m.scene->m_idTable.GetCounter(), 77);
}

TEST(SavedGameFixture, AnImpossibleCountAnywhereIsRefusedWithItsFieldAndChangesNothing) {
    std::vector<std::pair<std::string, size_t>> at;
    const std::vector<uint8_t> good = SavedGameFixture_Write(TwoPlayers(), &at);
    auto offset = [&](const std::string& name) {
        for (const auto& o : at)
            if (o.first == name) return o.second;
        ADD_FAILURE() << name;
        return size_t(0);
    };
    struct SCase {
        const char* field;
        const char* why;
    };
    const SCase cases[] = {
        {"players", "its network game block is cut short or damaged"},
        {"grid cells", "its world grid is cut short"},
        {"lists", "its scene block is cut short or damaged"},
        {"objectives", "its scene block is cut short or damaged"},
        {"block records", "its computer players' block is cut short or damaged"},
        {"session teams", "its session's record is cut short or damaged"},
    };
    SMachine s;
    CNetGame& net = *s.m.net;
    const uint32_t before = s.m.m_world->StateHash();
    const int players = net.CountPlayers();
    auto reason = [&](const std::vector<uint8_t>& bytes) {
        CSavedGameFile file;
        std::string error;
        if (!net.ParseSavedGame(bytes, file, error) || !net.CheckSavedGame(file, error)) return error;
        return std::string();
    };
    for (const SCase& c : cases) {
        for (uint32_t count : {0xFFFFFFu, 0xFFFFFFFFu}) {
            std::vector<uint8_t> bytes = good;
            LE_StoreU32(bytes.data() + offset(c.field), count);
            SavedGameFixture_Reseal(bytes);
            EXPECT_EQ(reason(bytes), c.why) << c.field << " " << count;
        }
    }
    std::vector<uint8_t> trailing = good;
    trailing.push_back(0);
    EXPECT_EQ(reason(trailing), "it has bytes past its end");
    const size_t objectives = offset("objectives");
    ASSERT_GT(objectives, 300u);
    ASSERT_LT(objectives, good.size());
    std::vector<uint8_t> flipped = good;
    flipped.at(objectives - 300) ^= 0x01;  // a layer's height
    EXPECT_EQ(reason(flipped), "it is damaged (its check sum differs)");
    EXPECT_EQ(s.m.m_world->StateHash(), before);
    EXPECT_EQ(net.CountPlayers(), players);
    EXPECT_EQ(reason(good), "");
}

}  // namespace
