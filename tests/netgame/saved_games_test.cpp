// Saved games through a network game of two machines: the host saves a
// running skirmish with its computer player; a new session of two machines
// starts with it (the host runs the computer player again), both load
// the same file at the same frame and go on in step; a client whose copy is
// missing or differs calls the start off on every machine, naming the file;
// damaged files (cut short, a bit changed anywhere) are refused whole with
// their name and the game that reads them stays as it was.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/CRC32.h"
#include "core/LittleEndian.h"
#include "tests/netgame/SavedSkirmish.h"
#include "tests/support/TempDir.h"

namespace {

// A session of a host and a client playing the skirmish, each with its own
// folder (its own "Save" folder).
struct SSkirmishSession {
    explicit SSkirmishSession(const CTempDir& dir) {
        host = new CSkirmishMachine("host", dir.Path() + "/host");
        client = new CSkirmishMachine("client", dir.Path() + "/client");
        session.m_machines.emplace_back(host);
        session.m_machines.emplace_back(client);
        for (CSkirmishMachine* m : {host, client}) {
            std::string error;
            ok = m->LoadDemoUnits(error) && ok;
            EXPECT_TRUE(ok) << error;
        }
    }
    bool Join() {
        if (!ok || !session.JoinAll()) return false;
        host->net->LocalPlayer()->m_raceName = "Granite";
        client->net->LocalPlayer()->m_raceName = "Coral";
        for (CSkirmishMachine* m : {host, client}) m->net->m_players.ResolvePlayerRaces();
        return true;
    }
    // Steps until the host's world has stepped ticks more ticks.
    bool Run(uint32_t ticks) {
        const uint32_t until = host->WorldTicks() + ticks;
        return session.RunUntil([&] { return host->WorldTicks() >= until && client->WorldTicks() >= until; },
                                30.0);
    }
    // The two worlds' CRC after every tick both stepped since from.
    int Compared(uint32_t from) {
        int n = 0;
        for (const auto& t : client->ticks) {
            auto h = host->ticks.find(t.first);
            if (h == host->ticks.end() || t.second.gameTime <= from) continue;
            EXPECT_EQ(h->second.worldCrc, t.second.worldCrc) << "frame " << t.first;
            ++n;
        }
        return n;
    }

    CNetSession session;
    CSkirmishMachine* host = nullptr;
    CSkirmishMachine* client = nullptr;
    bool ok = true;
};

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The host saves a running game of two machines and a computer player
// (the host's).
std::vector<uint8_t> SaveAGame(const CTempDir& dir) {
    SSkirmishSession s(dir);
    EXPECT_TRUE(s.Join());
    EXPECT_NE(s.host->ai->AddCommander(3, "Coral"), nullptr);
    EXPECT_TRUE(s.session.StartGame());
    EXPECT_TRUE(s.Run(300));
    bool written = false;
    EXPECT_TRUE(
        s.host->net->RequestSave(s.host->net->SavedGamePath("game").c_str(),
                                 [&](bool ok, const std::string& why) { written = ok && why.empty(); }));
    EXPECT_TRUE(s.Run(5));
    EXPECT_TRUE(written);
    return ReadFile(dir.Path() + "/host/Save/game");
}

TEST(SavedGames, HostAndClientLoadTheSameFileAtTheSameFrameAndStayInStep) {
    CTempDir dir;
    const std::vector<uint8_t> saved = SaveAGame(dir);
    ASSERT_GT(saved.size(), 1000u);
    // The client has its copy of the file.
    dir.Write("client/Save/game", std::string(saved.begin(), saved.end()));

    SSkirmishSession s(dir);
    ASSERT_TRUE(s.Join());
    std::string error;
    SSavedGameInfo info;
    ASSERT_TRUE(s.host->net->HostSavedGame("game", &info, error)) << error;
    EXPECT_EQ(info.gameType, 1u);
    // The file is checked when the start names it, before its map has
    // loaded: the computer player's danger grid is held against the saved
    // game's map, not the one this machine had before.
    for (CSkirmishMachine* m : {s.host, s.client}) {
        m->grid->SetMapRect(-20, 20, 20, -20);
        m->grid->Reset();
    }
    ASSERT_TRUE(s.session.StartGame());
    // Both took the saved world in the game loop's first frame: every frame
    // since gives both the same world.
    EXPECT_GE(s.client->WorldTicks(), 300u);
    EXPECT_EQ(s.client->scene->Objectives().Listed(), 2);
    EXPECT_EQ(s.client->net->CountPlayers(), 3);
    // The host runs the computer player again, where it stood; the client
    // runs none.
    ASSERT_EQ(s.host->ai->Count(), 1u);
    EXPECT_EQ(s.host->ai->Players()[0]->PlayerId(), 3);
    EXPECT_TRUE(s.host->ai->Players()[0]->Active());
    EXPECT_EQ(s.client->ai->Count(), 0u);
    const uint64_t loadedAt = s.host->gameTime;
    ASSERT_TRUE(s.Run(400));
    EXPECT_GT(s.Compared(loadedAt), 350);
    EXPECT_EQ(s.host->FindLine("Error"), "");
    EXPECT_EQ(s.client->FindLine("Error"), "");
}

// A client without the file, or with another file of the name, cannot go
// on in step: the start is called off on every machine, and its console
// names the file and why.
TEST(SavedGames, AClientWhoseCopyDiffersCallsTheStartOff) {
    CTempDir dir;
    std::vector<uint8_t> saved = SaveAGame(dir);
    ASSERT_GT(saved.size(), 1000u);
    struct SCase {
        const char* name;
        bool copy;
        size_t flip;  // a byte of the copy changed (0: none)
        const char* why;
    };
    const SCase cases[] = {
        {"missing", false, 0, "the file is not there"},
        {"another", true, 100, "this machine's copy is not the server's"},
    };
    for (const SCase& c : cases) {
        SCOPED_TRACE(c.name);
        CTempDir here;
        std::vector<uint8_t> copy = saved;
        if (c.flip) copy[c.flip] ^= 0x10;
        here.Write(std::string("host/Save/") + c.name, std::string(saved.begin(), saved.end()));
        if (c.copy) here.Write(std::string("client/Save/") + c.name, std::string(copy.begin(), copy.end()));
        SSkirmishSession s(here);
        ASSERT_TRUE(s.Join());
        std::string error;
        ASSERT_TRUE(s.host->net->HostSavedGame(c.name, nullptr, error)) << error;
        s.host->net->SendStartRequest();
        const std::string line = std::string("Error loading saved game '") + c.name + "': " + c.why;
        ASSERT_TRUE(s.session.RunUntil([&] { return s.client->FindLine(line.c_str()) != ""; }, 20.0))
            << s.client->FindLine("Error");
        ASSERT_TRUE(s.session.RunUntil([&] { return s.host->guiWord != 0 && s.client->guiWord != 0; }, 20.0));
        EXPECT_FALSE(s.host->Running());
        EXPECT_FALSE(s.client->Running());
    }
}

// What a reader of saved games refuses, and how it names it: a file cut
// short anywhere, a bit changed anywhere (its check sum then differs; with
// the check sum made right again, the field that no longer fits, with the
// reason its reader gives), a file that is not a saved game. The world that
// was checked against stays.
TEST(SavedGames, DamagedFilesAreRefusedWholeWithTheirReason) {
    CTempDir dir;
    std::vector<uint8_t> saved = SaveAGame(dir);
    ASSERT_GT(saved.size(), 1000u);
    SSkirmishSession s(dir);
    ASSERT_TRUE(s.Join());
    CNetGame& net = *s.host->net;
    const uint32_t before = s.host->m_world->StateHash();
    auto reason = [&](const std::vector<uint8_t>& bytes) {
        CSavedGameFile file;
        std::string error;
        if (!net.ParseSavedGame(bytes, file, error)) return error;
        if (!net.CheckSavedGame(file, error)) return error;
        return std::string();
    };
    EXPECT_EQ(reason(saved), "");
    for (size_t cut : {size_t(0), size_t(10), size_t(30), size_t(100), saved.size() / 2, saved.size() - 1})
        EXPECT_NE(reason(std::vector<uint8_t>(saved.begin(), saved.begin() + static_cast<long>(cut))), "")
            << cut;
    EXPECT_EQ(reason(std::vector<uint8_t>(saved.begin(), saved.begin() + 4)), "it is cut short");
    for (size_t at = 0; at < saved.size(); at += 97) {
        std::vector<uint8_t> flipped = saved;
        flipped[at] ^= 0x04;
        EXPECT_NE(reason(flipped), "") << at;
    }
    std::vector<uint8_t> flipped = saved;
    flipped[saved.size() - 200] ^= 0x04;
    EXPECT_EQ(reason(flipped), "it is damaged (its check sum differs)");
    // The computer players' block (field 12): its records, the session's
    // first (found by its tag), each u32 tag, u32 length, its bytes.
    size_t session = saved.size();
    for (size_t at = saved.size() - 8; at > 4 && session == saved.size(); --at)
        if (LE_LoadU32(saved.data() + at) == SavedGame::kTagSession) session = at;
    ASSERT_LT(session, saved.size());
    auto record = [&](uint32_t tag) {
        size_t at = session;
        while (at + 8 <= saved.size() && LE_LoadU32(saved.data() + at) != tag)
            at += 8 + LE_LoadU32(saved.data() + at + 4);
        return at + 8;
    };
    // A count made impossible, the check sum made to fit: the field that
    // does not fit is named, with its reader's reason.
    auto recounted = [&](size_t at) {
        std::vector<uint8_t> bytes = saved;
        LE_StoreU32(bytes.data() + at, 0xFFFFFF);
        LE_StoreU32(bytes.data() + bytes.size() - 4, CRC32_Compute(bytes.data(), bytes.size() - 4));
        return bytes;
    };
    EXPECT_EQ(reason(recounted(session - 4)), "its computer players' block is cut short or damaged");
    // The session's teams (after u8, u64, f32 x 2, i32).
    EXPECT_EQ(reason(recounted(record(SavedGame::kTagSession) + 21)),
              "its session's record is cut short or damaged");
    // The computer players' records: of another version, or a record count
    // beyond its bytes.
    const std::string ai = "its computer players' block does not fit: ";
    EXPECT_EQ(reason(recounted(record(SavedGame::kTagAI))),
              ai + "the computer players' records are damaged or cut short");
    EXPECT_EQ(reason(recounted(record(SavedGame::kTagAI) + 12)),
              ai + "the computer players' records are damaged or cut short");
    // A danger grid of another map: the reason its reader gives is printed.
    {
        const size_t block = record(SavedGame::kTagAI);
        const size_t records = block + 12 + 4 + 20 * LE_LoadU32(saved.data() + block + 12);
        ASSERT_EQ(LE_LoadU32(saved.data() + records), 1u);
        const size_t rect = records + 4 + 4 + 4 + 2 + 32 + 16;
        std::vector<uint8_t> bytes = saved;
        LE_StoreU32(bytes.data() + rect, LE_LoadU32(bytes.data() + rect) - 1);
        LE_StoreU32(bytes.data() + bytes.size() - 4, CRC32_Compute(bytes.data(), bytes.size() - 4));
        EXPECT_EQ(reason(bytes), ai + "computer player 3: the danger grid is not the map's");
    }
    std::vector<uint8_t> unknown = saved;
    unknown[0] = 'X';
    EXPECT_EQ(reason(unknown), "it is not a saved game");
    EXPECT_EQ(s.host->m_world->StateHash(), before);
}

}  // namespace
