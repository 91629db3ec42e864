// Games meeting through the master server: the tessarak_master program runs
// as a child process on 127.0.0.1 and the games are machines of the test
// (each its own world and network game on real UDP sockets). A hosting game
// that went public is listed, a second game's browser finds it with its
// name, map, players and ping, and joins it from the list; games chat in the
// master's channels; the master killed and started again while a game runs;
// the host's pause, speed, gifts and alliances reach both machines in step.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/SysUtil.h"
#include "netgame/MasterClient.h"
#include "netgame/ServerBrowser.h"
#include "tests/netgame/NetTestMachine.h"
#include "tests/nwe/NweTestKit.h"
#include "tests/support/Process.h"
#include "tests/support/TempDir.h"

namespace {

std::string ToolPath() {
    const char* build = std::getenv("TESSARAK_BUILD");
    return std::string(build ? build : ".") + "/install/System/tessarak_master";
}

// The master server as a child process on a port of its own.
struct SMaster {
    CTestProcess process;
    uint16_t port = 0;
    // Listens on `at` (0: a free port); silent links go after `timeout` seconds.
    bool Start(uint16_t at = 0, double timeout = 15.0) {
        SProcessOptions options;
        options.program = ToolPath();
        // It says it is there twice a second: the games count it lost after 2 s.
        options.args = {"--bind",           "127.0.0.1", "--port",
                        std::to_string(at), "--timeout", std::to_string(timeout),
                        "--heartbeat",      "0.5"};
        const char* line = "LISTENING 127.0.0.1 ";
        if (!process.Start(options) || !process.WaitForLine(line, 20, true)) return false;
        std::string out = process.Output();
        int p = 0;
        std::sscanf(out.c_str() + out.find(line), "LISTENING 127.0.0.1 %d", &p);
        port = static_cast<uint16_t>(p);
        return port != 0;
    }
    void Kill() {
        ::kill(process.Pid(), SIGKILL);
        process.Wait(10);
    }
    std::string Address() const { return "127.0.0.1:" + std::to_string(port); }
};

void UseMaster(CNetMachine* m, const SMaster& master, const char* name) {
    m->net->m_master->m_address = master.Address().c_str();
    m->net->m_master->m_timeout = 2.0f;
    m->net->LocalPlayer()->m_name = name;
}

CServerListEntry* Listed(CNetMachine* m, const char* name) {
    for (auto& e : m->net->m_browser->m_entries)
        if (e->m_name == name) return e.get();
    return nullptr;
}

bool InChannel(CNetMachine* m, const char* channel, size_t users) {
    SChatChannel* c = m->net->m_master->CurrentChannel();
    return c && c->name == channel && c->users.size() == users;
}

}  // namespace

TEST(NetMaster, PublicServerIsFoundAndJoinedFromTheList) {
    // The master's id for the server is kept in the user's registry: here,
    // a file of the test's own.
    CTempDir registry;
    Sys_RegSetFile(HKEY_CURRENT_USER, registry.File("user.ini").c_str());
    struct SRestore {
        ~SRestore() { Sys_RegSetFile(HKEY_CURRENT_USER, nullptr); }
    } restore;
    SMaster master;
    ASSERT_TRUE(master.Start()) << master.process.Output();
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* player = s.Add("player");
    UseMaster(host, master, "Hosty");
    UseMaster(player, master, "Playery");
    host->net->m_serverInfo.m_name = "Hosty's island";
    host->net->m_serverInfo.m_mapFile = "Skerry";

    ASSERT_TRUE(host->net->StartServer(0, true));
    host->net->m_master->SetPublic(true);
    ASSERT_TRUE(s.RunUntil([&] { return host->net->m_master->IsRegistered(); }));
    EXPECT_EQ(host->CountLines("Connection to master server established"), 1);
    EXPECT_NE(host->net->m_uniqueServerId, 0u);
    // The id is in the registry, and the next start of the game reads it.
    uint32_t kept = 0;
    EXPECT_TRUE(
        RegReadValue(HKEY_CURRENT_USER, CNetGame::kUniqueServerIdKey, "UniqueServerID", REG_DWORD, &kept));
    EXPECT_EQ(kept, host->net->m_uniqueServerId);
    EXPECT_EQ(CNetMachine("next start").net->m_uniqueServerId, kept);

    // The second game looks: the master's list, then the server's details
    // and its ping.
    player->net->m_browser->FindServers();
    CServerListEntry* e = nullptr;
    ASSERT_TRUE(s.RunUntil([&] {
        e = Listed(player, "Hosty's island");
        return e && e->m_ping < 9.0f && player->net->m_browser->m_step == 0;
    })) << (player->net->m_browser->Listing().size() > 1 ? player->net->m_browser->Listing()[1]
                                                         : "nothing listed");
    EXPECT_EQ(e->m_map, "Skerry");
    EXPECT_EQ(e->m_players, 1);
    EXPECT_EQ(e->m_maxPlayers, 8);
    EXPECT_EQ(e->m_sources, CServerListEntry::kSourceMaster);
    EXPECT_EQ(e->m_uniqueId, host->net->m_uniqueServerId);
    ASSERT_EQ(e->m_playerList.size(), 1u);
    EXPECT_EQ(e->m_playerList[0].name, "Hosty");
    std::vector<std::string> listing = player->net->m_browser->Listing();
    ASSERT_GE(listing.size(), 2u);
    EXPECT_NE(listing[1].find("Hosty's island"), std::string::npos) << listing[1];
    EXPECT_NE(listing[1].find("Skerry"), std::string::npos) << listing[1];
    EXPECT_NE(listing[1].find("1/8"), std::string::npos) << listing[1];
    // The details' contact ended with its answer.
    EXPECT_EQ(e->m_link, nullptr);
    // The lobby's list shows it (games that have not started).
    ASSERT_EQ(player->net->m_browser->m_visible.size(), 1u);

    // Joined from the list: the player is in the host's lobby.
    ASSERT_TRUE(player->net->Connect(e->AddressText().c_str()));
    ASSERT_TRUE(s.RunUntil([&] { return player->net->IsJoined() && host->net->CountPlayers() == 2; }));
    // The next look shows the server with both players.
    player->net->m_browser->FindServers();
    ASSERT_TRUE(s.RunUntil([&] {
        CServerListEntry* again = Listed(player, "Hosty's island");
        return again && again->m_players == 2 && player->net->m_browser->m_step == 0;
    }));

    // The server ends: its entry leaves the master's list.
    host->net->Disconnect();
    player->net->m_browser->FindServers();
    ASSERT_TRUE(s.RunUntil([&] {
        return player->net->m_browser->m_step == 0 && player->net->m_browser->m_queryState == 2 &&
               player->net->m_browser->m_entries.empty();
    }));
}

TEST(NetMaster, ChatChannelsAndUsers) {
    SMaster master;
    ASSERT_TRUE(master.Start()) << master.process.Output();
    CNetSession s;
    CNetMachine* a = s.Add("a");
    CNetMachine* b = s.Add("b");
    CNetMachine* c = s.Add("c");
    const char* names[] = {"Ann", "Bob", "Cid"};
    int i = 0;
    for (CNetMachine* m : {a, b, c}) {
        UseMaster(m, master, names[i++]);
        m->net->m_master->OpenChat();
    }
    ASSERT_TRUE(s.RunUntil([&] {
        return InChannel(a, "Main Chat", 3) && InChannel(b, "Main Chat", 3) && InChannel(c, "Main Chat", 3);
    }));

    // A line to the channel reaches everyone in it.
    a->net->SendChat("Ann", "hello all", 255, 255, 255);
    ASSERT_TRUE(s.RunUntil([&] {
        return a->CountLines("<Ann> hello all") && b->CountLines("<Ann> hello all") &&
               c->CountLines("<Ann> hello all");
    }));

    // ChatWith a user: that user only (the speaker sees where it went).
    a->net->RouteChat("bob", "Ann", "psst", 255, 255, 255);
    ASSERT_TRUE(s.RunUntil([&] { return b->CountLines("*Ann* psst") && a->CountLines("-> *Bob* psst"); }));
    EXPECT_EQ(c->CountLines("psst"), 0);
    a->net->RouteChat("Nobody", "Ann", "lost", 255, 255, 255);
    EXPECT_EQ(a->CountLines("Player Nobody not found"), 1);

    // A channel comes with its first user and goes with its last; users
    // come and go in the lists of those who stay.
    b->net->m_master->JoinChannel("Side");
    ASSERT_TRUE(s.RunUntil([&] { return InChannel(b, "Side", 1) && InChannel(a, "Main Chat", 2); }));
    ASSERT_TRUE(s.RunUntil([&] { return a->net->m_master->m_channels.size() == 2; }));
    c->net->m_master->JoinChannel("side");
    ASSERT_TRUE(s.RunUntil([&] { return InChannel(b, "Side", 2) && InChannel(c, "Side", 2); }));
    b->net->SendChat("Bob", "just us", 255, 255, 255);
    ASSERT_TRUE(s.RunUntil([&] { return c->CountLines("<Bob> just us") == 1; }));
    EXPECT_EQ(a->CountLines("just us"), 0);
    // A new name reaches the others.
    b->net->LocalPlayer()->m_name = "Bobby";
    ASSERT_TRUE(s.RunUntil([&] {
        const SChatUser* u = c->net->m_master->FindUser("Bobby");
        return u != nullptr;
    }));
    b->net->m_master->CloseChat();
    ASSERT_TRUE(s.RunUntil([&] { return InChannel(c, "Side", 1); }));
    EXPECT_FALSE(b->net->m_master->IsChatUp());
    EXPECT_TRUE(b->net->m_master->m_channels.empty());
    c->net->m_master->JoinChannel("Main Chat");
    ASSERT_TRUE(
        s.RunUntil([&] { return a->net->m_master->m_channels.size() == 1 && InChannel(a, "Main Chat", 2); }));
}

TEST(NetMaster, MasterKilledAndStartedAgainWhileTheGamePlays) {
    SMaster master;
    ASSERT_TRUE(master.Start()) << master.process.Output();
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    UseMaster(host, master, "Hosty");
    UseMaster(client, master, "Clienty");
    host->net->m_serverInfo.m_name = "Running";
    ASSERT_TRUE(s.JoinAll());
    host->net->m_master->SetPublic(true);
    client->net->m_master->OpenChat();
    ASSERT_TRUE(
        s.RunUntil([&] { return host->net->m_master->IsRegistered() && client->net->m_master->IsChatUp(); }));
    ASSERT_TRUE(s.StartGame());
    host->ticks.clear();
    client->ticks.clear();

    master.Kill();
    int before = host->tickCount;
    ASSERT_TRUE(s.RunUntil([&] {
        return host->CountLines("Connection to master server lost") == 1 &&
               client->CountLines("Connection to master server lost") == 1;
    }));
    // The game went on, in step, and the loss is said once however long it lasts.
    s.RunUntil([] { return false; }, 3.0);
    EXPECT_GT(host->tickCount, before + 30);
    EXPECT_EQ(host->CountLines("Connection to master server lost"), 1);
    EXPECT_EQ(client->CountLines("Connection to master server lost"), 1);
    EXPECT_TRUE(host->Running() && client->Running());

    // The master is back on its port: the server registers again, the chat
    // comes back, and a newcomer finds the server.
    SMaster again;
    ASSERT_TRUE(again.Start(master.port)) << again.process.Output();
    ASSERT_TRUE(s.RunUntil([&] {
        return host->CountLines("Connection to master server established") == 2 &&
               client->CountLines("Connection to master server established") == 2;
    }));
    CNetMachine* newcomer = s.Add("newcomer");
    UseMaster(newcomer, again, "Newby");
    newcomer->net->m_browser->m_query.inProgress = 0;  // running games too
    newcomer->net->m_browser->FindServers();
    ASSERT_TRUE(s.RunUntil([&] {
        CServerListEntry* e = Listed(newcomer, "Running");
        return e && e->m_inProgress == 1 && newcomer->net->m_browser->m_step == 0;
    }));
    // Both machines ran the same frames to the same worlds all along.
    int compared = 0;
    for (const auto& t : client->ticks) {
        auto h = host->ticks.find(t.first);
        if (h == host->ticks.end()) continue;
        EXPECT_EQ(h->second.worldCrc, t.second.worldCrc) << "frame " << t.first;
        ++compared;
    }
    EXPECT_GT(compared, 30);
}
