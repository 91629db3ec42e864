// A join that fails, and a joined game that ends, tell the player why with
// the interface's system text of the reason: refused for a wrong password,
// a full server, a game that runs, a server closed for joining; the server
// quit; the connection lost.
#include <gtest/gtest.h>

#include <functional>

#include "netgame/ConnectionTexts.h"
#include "tests/netgame/NetTestMachine.h"

namespace {
std::string Text(int index) {
    return "#" + std::to_string(index);
}
}  // namespace

TEST(NetJoinFailures, RefusedJoinsSayTheirReason) {
    const struct {
        const char* what;
        std::function<void(CNetMachine*)> setUp;
        int text;
    } cases[] = {
        {"wrong password", [](CNetMachine* h) { h->net->m_serverPassword = "secret"; },
         SYSLID_CONNECTION_INCORRECTPASSWORD},
        {"full", [](CNetMachine* h) { h->net->m_serverInfo.m_maxPlayers = 1; },
         SYSLID_CONNECTION_SERVERISFULL},
        {"running", [](CNetMachine* h) { h->loading = true; }, SYSLID_CONNECTION_GAMESTARTED},
        {"closed", [](CNetMachine* h) { h->net->m_serverInfo.m_flags &= ~CServerInfo::kFlagJoin; },
         SYSLID_CONNECTION_CLOSEDJOINING},
    };
    for (const auto& c : cases) {
        CNetSession s;
        CNetMachine* host = s.Add("host");
        CNetMachine* client = s.Add("client");
        client->systemTexts = true;
        ASSERT_TRUE(host->net->StartServer(0, true));
        c.setUp(host);
        SNetAddress a;
        host->net->m_gameSocket->GetSocketName(&a);
        ASSERT_TRUE(client->net->Connect(Net_FormatAddress(a).c_str()));
        ASSERT_TRUE(s.RunUntil([&] { return !client->notices.empty(); })) << c.what;
        EXPECT_EQ(client->notices.back(), Text(c.text)) << c.what;
        EXPECT_FALSE(client->net->IsJoined()) << c.what;
        EXPECT_TRUE(client->net->m_hosting) << c.what << ": back in a local game";
    }
}

TEST(NetJoinFailures, TheServerQuitAndTheLostConnectionAreSaid) {
    {
        CNetSession s;
        CNetMachine* host = s.Add("host");
        CNetMachine* client = s.Add("client");
        client->systemTexts = true;
        ASSERT_TRUE(s.JoinAll());
        host->net->Disconnect();
        ASSERT_TRUE(s.RunUntil([&] { return !client->notices.empty(); }));
        EXPECT_EQ(client->notices.back(), Text(SYSLID_CONNECTION_SERVERQUIT));
        EXPECT_EQ(client->scripts.back(), "Disconnected.cfg");
    }
    CNetSession s;
    s.Add("host");
    CNetMachine* client = s.Add("client");
    client->systemTexts = true;
    ASSERT_TRUE(s.JoinAll());
    CGameSocket* link = client->net->TakeClientLink();
    ASSERT_NE(link, nullptr);
    link->SetTimeout(0.5f);
    link->Release();
    // The host goes without a word.
    s.m_machines.front().reset();
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (client->notices.empty() && std::chrono::steady_clock::now() < end) client->Step();
    ASSERT_FALSE(client->notices.empty());
    EXPECT_EQ(client->notices.back(), Text(SYSLID_CONNECTION_CONNECTIONLOSTT));
}
