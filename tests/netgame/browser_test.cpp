// The server browser and the chat's routing without a master server: the
// wire form of the master query and of its answer, what an answer keeps and
// drops, the lobby's filter and order, servers found by a LAN broadcast (on
// the loopback network) and pinged, a server that never answers, and where
// a chat line goes for each target.
#include <gtest/gtest.h>

#include "netgame/MasterClient.h"
#include "netgame/MasterProtocol.h"
#include "netgame/ServerBrowser.h"
#include "tests/netgame/NetTestMachine.h"
#include "tests/nwe/NweTestKit.h"
#include "world/WireText.h"

namespace {
std::vector<uint8_t> Written(const CStateArchive& ar) {
    return std::vector<uint8_t>(ar.GetData(), ar.GetData() + ar.GetSize());
}
}  // namespace

TEST(NetBrowser, QueryFilterAndAnswerOnTheWire) {
    CStateArchive ar;
    SMasterQueryFilter plain;
    plain.Write(ar);
    EXPECT_EQ(Written(ar), Hex("0202"));

    SMasterQueryFilter full;
    full.location = 9;
    full.inProgress = 1;
    full.connection = 3;
    full.maxCount = 300;
    full.dedicated = 2;
    full.name = "isle";
    full.map = "Skerry";
    full.game = "Tessarak";
    ar.Reset();
    full.Write(ar);
    CStateArchive in(ar.GetData(), ar.GetSize(), CStateArchive::kApply);
    SMasterQueryFilter back;
    ASSERT_TRUE(back.Read(in));
    EXPECT_EQ(in.GetRemaining(), 0u);
    EXPECT_EQ(back.location, 9);
    EXPECT_EQ(back.maxCount, 300);
    EXPECT_EQ(back.game, "Tessarak");
    // Cut short anywhere: refused, the filter as it was.
    for (size_t cut = 1; cut < ar.GetSize(); ++cut) {
        CStateArchive part(ar.GetData(), cut, CStateArchive::kApply);
        SMasterQueryFilter f;
        EXPECT_FALSE(f.Read(part)) << cut;
        EXPECT_EQ(f.inProgress, 2) << cut;
    }

    // An answer: a count the bytes cannot hold is refused; addresses no one
    // may be sent to, and repeats, are left out; the cap holds.
    ar.Reset();
    MasterAnswer_Write(ar, {{0x7F000001, 47222},
                            {0, 47222},
                            {0xE0000001, 5},
                            {0x7F000001, 0},
                            {0xFFFFFFFF, 1},
                            {0x7F000001, 47222},
                            {0x0A000001, 47223}});
    EXPECT_EQ(Written(ar).size(), 4u + 7 * 6);
    EXPECT_EQ(Written(ar)[4], 0x7F);  // the address in network order
    std::vector<SMasterServerAddress> got;
    CStateArchive answer(ar.GetData(), ar.GetSize(), CStateArchive::kApply);
    ASSERT_TRUE(MasterAnswer_Read(answer, 1024, &got));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].ip, 0x0A000001u);
    EXPECT_EQ(got[1].port, 47223);
    CStateArchive capped(ar.GetData(), ar.GetSize(), CStateArchive::kApply);
    ASSERT_TRUE(MasterAnswer_Read(capped, 1, &got));
    EXPECT_EQ(got.size(), 1u);
    std::vector<uint8_t> lying =
        Hex("E8030000"
            "7F000001B8B8");  // 1000 servers claimed, one there
    CStateArchive bad(lying.data(), lying.size(), CStateArchive::kApply);
    EXPECT_FALSE(MasterAnswer_Read(bad, 1024, &got));
}

TEST(NetBrowser, AnswersKeepLanServersAndTheLobbyFiltersAndSorts) {
    CNetMachine m("player");
    CServerBrowser* b = m.net->m_browser.get();
    auto add = [&](uint32_t ip, uint8_t sources, const char* name, int location, float ping, int players,
                   bool running) {
        CServerListEntry* e = b->AddEntry(SNetAddress{ip, 47222});
        e->m_sources = sources;
        e->m_name = name;
        e->m_location = static_cast<uint8_t>(location);
        e->m_ping = ping;
        e->m_players = static_cast<uint16_t>(players);
        e->m_inProgress = running ? 1 : 0;
        return e;
    };
    const uint8_t lan = CServerListEntry::kSourceLan, master = CServerListEntry::kSourceMaster;
    add(0x0A000001, master, "Alpha", 4, 0.05f, 2, false);
    add(0x0A000002, lan | master, "Bravo", 9, 0.02f, 1, false);
    add(0x0A000003, lan, "Charlie", 12, 0.2f, 3, false);
    add(0x0A000004, master, "Delta", 6, 0.01f, 0, true);

    b->m_filter.flag = 0;
    const struct {
        int location;
        const char* shown;
    } locations[] = {{0, "ABCD"}, {4, "AD"}, {9, "BC"}, {10, "C"}, {12, "C"}, {6, "D"}};
    for (const auto& l : locations) {
        b->m_filter.location = static_cast<uint8_t>(l.location);
        b->FilterServerList();
        std::string shown;
        for (CServerListEntry* e : b->m_visible) shown += e->m_name[0];
        EXPECT_EQ(shown, l.shown) << "location " << l.location;
    }
    // As made, the lobby hides running games; it sorts by any column.
    b->m_filter = SServerListFilter();
    b->m_filter.sortColumn = 1;
    b->m_filter.sortDescending = 1;
    b->FilterServerList();
    std::string shown;
    for (CServerListEntry* e : b->m_visible) shown += e->m_name[0];
    EXPECT_EQ(shown, "CAB");
    b->m_filter.sortColumn = 2;
    b->m_filter.sortDescending = 0;
    b->m_filter.maxPing = 100;
    b->FilterServerList();
    shown.clear();
    for (CServerListEntry* e : b->m_visible) shown += e->m_name[0];
    EXPECT_EQ(shown, "BA");

    // The master lists no server now: its own entries go, the one the LAN
    // knows too stays as a LAN entry.
    b->OnMasterAnswer({});
    ASSERT_EQ(b->m_entries.size(), 2u);
    EXPECT_EQ(b->m_entries[0]->m_name, "Bravo");
    EXPECT_EQ(b->m_entries[0]->m_sources, lan);
    EXPECT_EQ(b->m_entries[1]->m_name, "Charlie");
}

TEST(NetBrowser, LanServersAreFoundAskedAndPinged) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* player = s.Add("player");
    host->net->m_serverInfo.m_name = "Next door";
    host->net->m_serverInfo.m_mapFile = "FourWinds";
    ASSERT_TRUE(host->net->StartServer(0, false));
    SNetAddress at;
    host->net->m_gameSocket->GetSocketName(&at);
    // A server that never answers anything.
    CRawEndpoint silent;

    CServerBrowser* b = player->net->m_browser.get();
    b->m_querySources = 1;  // the LAN only
    b->m_lanTargets = {0x7FFFFFFF};
    b->m_lanPort = at.port;
    player->net->m_serverUpdatePingTimeout = 0.3f;
    ASSERT_NE(b->AddAddress(Net_FormatAddress(silent.Address()).c_str()), nullptr);
    b->FindServers();
    ASSERT_TRUE(s.RunUntil([&] {
        CServerListEntry* e = b->FindEntry(SNetAddress{kNetLoopback, at.port});
        return e && e->m_answered && b->m_step == 0 && b->m_requestedStep == 0;
    }));
    CServerListEntry* e = b->FindEntry(SNetAddress{kNetLoopback, at.port});
    EXPECT_EQ(e->m_name, "Next door");
    EXPECT_EQ(e->m_map, "FourWinds");
    EXPECT_EQ(e->m_sources, CServerListEntry::kSourceLan);
    EXPECT_LT(e->m_ping, 1.0f);
    CServerListEntry* dead = b->FindEntry(silent.Address());
    ASSERT_NE(dead, nullptr);
    EXPECT_FLOAT_EQ(dead->m_ping, 9.999f);
    EXPECT_FALSE(dead->m_answered);
    EXPECT_EQ(b->m_status, "Done");
}

TEST(NetBrowser, ChatTargets) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* client = s.Add("client");
    ASSERT_TRUE(s.JoinAll());
    host->net->LocalPlayer()->SetName("3vil");
    client->net->LocalPlayer()->SetName("Cli");
    ASSERT_TRUE(s.RunUntil([&] {
        return client->net->FindPlayerByName("3vil") != nullptr && host->net->FindPlayerByName("Cli");
    }));
    const int32_t hostId = host->net->LocalPlayer()->m_id;
    const struct {
        std::string target;
        CNetMachine* hears;  // who prints the line
        const char* mark;    // what the line shows
    } cases[] = {
        {std::to_string(hostId), host, "*Cli"},
        {"3VIL", host, "*Cli"},
        {"/allies", client, "(Allied)"},
        {"allies", client, "(Allied)"},
    };
    int n = 0;
    for (const auto& c : cases) {
        std::string text = "line " + std::to_string(++n);
        client->net->RouteChat(c.target.c_str(), "Cli", text.c_str(), 255, 255, 255);
        ASSERT_TRUE(s.RunUntil([&] { return c.hears->CountLines(text.c_str()) == 1; })) << c.target;
        EXPECT_NE(c.hears->FindLine(text.c_str()).find(c.mark), std::string::npos) << c.target;
    }
    // "3" is no player's id, and "3vil" no id at all.
    client->net->RouteChat("3", "Cli", "nobody", 255, 255, 255);
    EXPECT_EQ(client->CountLines("Player 3 not found"), 1);
}

TEST(NetBrowser, AContactChatsWithAServersPlayersBeforeJoining) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* player = s.Add("player");
    host->net->LocalPlayer()->m_name = "Hosty";
    ASSERT_TRUE(host->net->StartServer(0, true));
    SNetAddress at;
    host->net->m_gameSocket->GetSocketName(&at);
    player->net->LocalPlayer()->m_name = "Visitor";
    CServerBrowser* b = player->net->m_browser.get();
    CServerListEntry* e = b->AddAddress(Net_FormatAddress(at).c_str());
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(s.RunUntil([&] { return e->m_answered && e->m_players == 1; }));

    // The contact: the server's players hear of it, and the two talk.
    b->Connect(e);
    ASSERT_TRUE(s.RunUntil([&] { return host->CountLines("Visitor connected to chat") == 1; }));
    player->net->SendChat("Visitor", "anyone here?", 255, 255, 255);
    ASSERT_TRUE(s.RunUntil([&] { return host->CountLines("anyone here?") == 1; }));
    EXPECT_NE(host->FindLine("anyone here?").find("Visitor"), std::string::npos);
    host->net->SendChat("Hosty", "come in", 255, 255, 255);
    ASSERT_TRUE(s.RunUntil([&] { return player->CountLines("come in") == 1; }));
    EXPECT_NE(player->FindLine("come in").find("Hosty"), std::string::npos);
    // It stays while it asks for the details every second.
    s.RunUntil([] { return false; }, 1.5);
    EXPECT_EQ(b->Contact(), e);

    // Ended: the server lets the contact go, and lines go to the game again.
    b->Disconnect();
    EXPECT_EQ(b->Contact(), nullptr);
    ASSERT_TRUE(s.RunUntil([&] {
        size_t contacts = 0;
        for (NWEPeer* p = host->net->m_gameSocket->FirstPeer(); p; p = host->net->m_gameSocket->NextPeer(p))
            contacts += p->GetApplicationRegistry() == &host->net->m_serverPreTypes;
        return contacts == 0;
    }));
}
