// A game in a process that has played others starts from the same state as
// in a fresh process: a short FourWinds game of four computer players from
// one seed, played first, then again after a game from another seed, gives
// the same world at every tick. Anything a game leaves behind in the process
// (a static, a counter, a buffer, a template changed in place, a random
// stream) would make the later game part from a peer playing its first one.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/CRC32.h"
#include "tests/ai/AIGame.h"
#include "world/StateArchive.h"
#include "world/World.h"

namespace {

// One tick of a world: its StateHash and each object's sync image's CRC by
// id (with the template's name, to say which object parts).
struct STickState {
    uint32_t hash = 0;
    std::map<int32_t, std::pair<uint32_t, std::string>> objects;
};

std::vector<STickState> PlayShortGame(uint32_t seed, int ticks) {
    std::vector<STickState> states;
    CAISession s;
    CAIMachine* host = s.AddAI("host", "FourWinds", 80);
    if (!host->ok || !host->net->IsHosting()) return states;
    host->UseVirtualTime(1.0f / 15.0f);
    host->sidesOut.insert(host->net->LocalPlayer()->m_id);
    host->ai->m_seed = seed;
    const char* races[4] = {"Granite", "Coral", "Granite", "Coral"};
    for (int i = 0; i < 4; ++i)
        if (!host->ai->AddCommander(2 + i, races[i])) return states;
    if (!s.StartGame()) return states;
    CStateArchive image;
    for (int i = 0; i < ticks && s.RunTicks(1); ++i) {
        STickState t;
        t.hash = host->m_world->StateHash();
        for (CTessarakObject* o = host->scene->m_allObjects; o; o = o->m_allNext)
            if (o->m_objectId >= 0) {
                image.Reset();
                o->WriteSyncState(image);
                t.objects[o->m_objectId] = {CRC32_Compute(image.GetData(), image.GetSize()),
                                            o->m_template ? o->m_template->m_name.GetText() : ""};
            }
        states.push_back(std::move(t));
    }
    return states;
}

// The first tick whose worlds differ and the objects that differ there
// (empty when every tick matches).
std::string FirstDifference(const std::vector<STickState>& a, const std::vector<STickState>& b) {
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (a[i].hash == b[i].hash) continue;
        const std::string head = "tick " + std::to_string(i) + ":";
        std::string what = head;
        for (const auto& [id, object] : a[i].objects) {
            auto other = b[i].objects.find(id);
            if (other == b[i].objects.end())
                what += " object " + std::to_string(id) + " (" + object.second + ") only in the first;";
            else if (other->second.first != object.first)
                what += " object " + std::to_string(id) + " (" + object.second + ") differs;";
        }
        for (const auto& [id, object] : b[i].objects)
            if (!a[i].objects.count(id))
                what += " object " + std::to_string(id) + " (" + object.second + ") only in the second;";
        return what != head ? what : head + " the players' records or the id counter";
    }
    return a.size() == b.size() ? std::string() : "one game is shorter";
}

}  // namespace

TEST(Skirmish, AGameAfterOthersInOneProcessPlaysLikeAFirstGame) {
    // Long enough for every side to build, gather and move out.
    constexpr int kTicks = 1500;
    const std::vector<STickState> first = PlayShortGame(3, kTicks);
    ASSERT_EQ(first.size(), size_t(kTicks)) << "the installation is not built";
    ASSERT_EQ(PlayShortGame(1234, kTicks).size(), size_t(kTicks));
    const std::vector<STickState> again = PlayShortGame(3, kTicks);
    EXPECT_EQ(FirstDifference(first, again), "") << "the worlds part";
}
