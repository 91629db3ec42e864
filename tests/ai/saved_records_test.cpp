// The computer players' records of a saved game: a game of two computer
// players on Skerry whose computer players are saved and loaded into a new
// manager plays on tick for tick as the game that kept its own; a damaged
// block is refused whole, with the reason, and changes nothing.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "ai/AIRecords.h"
#include "core/LittleEndian.h"
#include "tests/ai/AIGame.h"
#include "world/StateArchive.h"

namespace {

constexpr int kTicksPerMinute = 15 * 60;

// Two computer players on Skerry (the host's own player watches), on a
// virtual time: the same seed gives the same game.
struct SSkerry {
    CAISession session;
    CAIMachine* host = nullptr;
    bool Start() {
        host = session.AddAI("host", "Skerry", 48);
        if (!host->ok || !host->net->IsHosting()) return false;
        host->UseVirtualTime(1.0f / 15.0f);
        host->sidesOut.insert(host->net->LocalPlayer()->m_id);
        host->logCrcs = true;
        host->ai->m_seed = 99;
        return host->ai->AddCommander(2, "Granite") && host->ai->AddCommander(3, "Coral") &&
               session.StartGame();
    }
};

std::vector<uint8_t> Saved(CAIManager& ai) {
    CStateArchive ar;
    EXPECT_TRUE(ai.SaveRecords(ar));
    return ar.GetBuffer();
}

}  // namespace

// Saved after three minutes of play and loaded into a new manager of a game
// that stood where the saved one stood: both play on alike for the next
// three minutes (every tick's sync CRC), and the loaded manager saves the
// same bytes it read.
TEST(SavedRecords, ALoadedGamePlaysOnAsTheSavedOneDid) {
    SSkerry kept, loaded;
    ASSERT_TRUE(kept.Start()) << "the installation is not built";
    ASSERT_TRUE(loaded.Start());
    ASSERT_TRUE(kept.session.RunTicks(3 * kTicksPerMinute));
    ASSERT_TRUE(loaded.session.RunTicks(3 * kTicksPerMinute));
    ASSERT_EQ(kept.host->crcLog, loaded.host->crcLog);
    ASSERT_GT(kept.host->ai->Find(2)->Groups().size() + kept.host->ai->Find(3)->Groups().size(), 0u)
        << "no groups yet to carry over";
    const std::vector<uint8_t> bytes = Saved(*kept.host->ai);

    // The loaded game's computer players come from the saved block alone: a
    // new manager, started on the map as a map load starts it.
    CAIMachine* h = loaded.host;
    h->ai.reset(new CAIManager(h->m_world.get(), h->net.get()));
    h->ai->InitializeCommanders("Skerry", (h->root + "\\Maps\\Skerry").c_str());
    std::string why;
    ASSERT_TRUE(h->ai->LoadRecords(bytes.data(), bytes.size(), &why)) << why;
    ASSERT_EQ(h->ai->Count(), 2u);
    EXPECT_EQ(Saved(*h->ai), bytes);

    const size_t from = kept.host->crcLog.size();
    ASSERT_TRUE(kept.session.RunTicks(3 * kTicksPerMinute));
    ASSERT_TRUE(loaded.session.RunTicks(3 * kTicksPerMinute));
    ASSERT_EQ(kept.host->crcLog.size(), h->crcLog.size());
    size_t differing = h->crcLog.size();
    for (size_t i = from; i < h->crcLog.size() && differing == h->crcLog.size(); ++i)
        if (kept.host->crcLog[i] != h->crcLog[i]) differing = i;
    EXPECT_EQ(differing, h->crcLog.size())
        << "the games part " << differing - from << " ticks after the load";
}

// A damaged block is refused whole with its reason: cut short anywhere, a
// player that is no computer player, the same player twice, a danger grid
// not of the map, a time before the game began, a parameter that is no
// number, a block of another version. The manager stands as it was.
TEST(SavedRecords, ADamagedBlockIsRefusedWholeAndChangesNothing) {
    SSkerry game;
    ASSERT_TRUE(game.Start()) << "the installation is not built";
    ASSERT_TRUE(game.session.RunTicks(kTicksPerMinute));
    CAIManager& ai = *game.host->ai;
    const std::vector<uint8_t> good = Saved(ai);
    std::string why;
    ASSERT_TRUE(ai.LoadRecords(good.data(), good.size(), &why)) << why;

    // Where the fields of the first record lie (AIRecords.h): behind the
    // header, the bases and the record count.
    const size_t record = 16 + LE_LoadU32(good.data() + 12) * 20 + 4;
    ASSERT_EQ(LE_LoadU32(good.data() + record - 4), 2u) << "two records";
    const size_t fields = record + 4;  // behind the player id
    const size_t sinceAttack = fields + 4 + 2;
    const size_t gridRows = sinceAttack + 32 + 4;
    const uint32_t cells = LE_LoadU32(good.data() + gridRows - 4);
    const size_t afterGrid = gridRows + 4 * 3 + 32 + cells;
    const size_t firstParameter = afterGrid + 4 + 4 + 8 + 4;
    auto with = [&good](size_t at, uint32_t value) {
        std::vector<uint8_t> b = good;
        LE_StoreU32(b.data() + at, value);
        return b;
    };
    std::vector<uint8_t> twice = good;
    size_t second = 0;  // the second record's id: the first one's bytes end there
    {
        std::vector<uint8_t> one(good.begin(), good.end());
        CStateArchive ar(one.data(), one.size(), CStateArchive::kApply);
        SAIPlayerRecord r;
        ar.Rewind(fields);
        ASSERT_TRUE(AIRecord_Transfer(ar, r));
        second = ar.GetPosition();
    }
    LE_StoreU32(twice.data() + second, LE_LoadU32(good.data() + record));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    uint32_t nanBits;
    std::memcpy(&nanBits, &nan, 4);
    const struct {
        std::vector<uint8_t> bytes;
        const char* why;
    } cases[] = {
        {with(record, 1), "player 1 is no computer player of this game"},
        {twice, "two records of player 2"},
        {with(gridRows, 7), "the danger grid is not the map's"},
        {with(sinceAttack + 4, 0x7FFFFFFF), "a time before the game began"},
        {with(firstParameter + 8, nanBits), "a parameter out of range"},
        {with(0, 2), "damaged or cut short"},
    };
    const std::vector<uint8_t> before = Saved(ai);
    for (const auto& c : cases) {
        why.clear();
        EXPECT_FALSE(ai.LoadRecords(c.bytes.data(), c.bytes.size(), &why)) << c.why;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
    }
    for (size_t cut = 0; cut < good.size(); cut += 7)
        EXPECT_FALSE(ai.LoadRecords(good.data(), cut, &why)) << "cut at " << cut;
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(ai.LoadRecords(longer.data(), longer.size(), &why));
    EXPECT_EQ(Saved(ai), before);
}
