// Hostile clients against the master server (the tessarak_master code, run
// in the test): junk datagrams, messages a link may not send, malformed,
// oversized and out-of-range payloads, more links, channels and servers
// than it keeps, a flood from one address, a server that goes silent. None
// changes what it does not own, every list stays bounded, and an honest game
// on another address is served all along.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "netgame/MasterClient.h"
#include "netgame/ServerBrowser.h"
#include "tests/netgame/NetTestMachine.h"
#include "tests/nwe/NweTestKit.h"
#include "tools/lib/MasterServer.h"
#include "world/WireText.h"

namespace {

// A rogue game: a raw peer on an address of its own, its registry filled
// from the master's table.
struct SRogue : SRawPeer {
    SRogue(uint32_t ip, const SNetAddress& master) : SRawPeer(ip, master, kMasterCrcSeed) {
        size_t n = 0;
        const SMasterMessageRow* rows = MasterMessage_Table(&n);
        for (size_t i = 0; i < n; ++i)
            Register(rows[i].name, rows[i].id, rows[i].cls, rows[i].priority, rows[i].shortHeader);
        peer->SetSendCrcSeed(kMasterCrcSeed);
        peer->SetActive(true);
        peer->SetKeepAlive(true);
    }
    void Send(uint16_t id, const CStateArchive& ar) {
        if (id == NS_VXM_CLIENT_CONNECT || id == NS_VXM_SERVER_CONNECT)
            connects[id].assign(ar.GetData(), ar.GetData() + ar.GetSize());
        peer->SendMessage(id, ar.GetData(), static_cast<uint32_t>(ar.GetSize()));
        peer->Flush();
    }
    // The master's challenge (u32 3, u32 cookie) answered as a game answers
    // it: the last CONNECT again with the cookie appended.
    std::map<uint16_t, std::vector<uint8_t>> connects;
    std::map<uint16_t, size_t> seen;
    bool answers = true;
    void Answer() {
        for (auto& c : connects)
            for (size_t& i = seen[c.first]; i < got[c.first].size(); ++i) {
                const std::vector<uint8_t>& a = got[c.first][i];
                if (!answers || a.size() != 8 || NWE_Get32(a.data()) != kMasterChallenge) continue;
                std::vector<uint8_t> again = c.second;
                again.insert(again.end(), a.begin() + 4, a.end());
                peer->SendMessage(c.first, again.data(), static_cast<uint32_t>(again.size()));
                peer->Flush();
            }
    }
    void Send(uint16_t id, const std::vector<uint8_t>& p) {
        peer->SendMessage(id, p.data(), static_cast<uint32_t>(p.size()));
        peer->Flush();
    }
    uint32_t Status(uint16_t id) {
        return got[id].empty() || got[id].back().size() < 4 ? 0xFFFFFFFF : NWE_Get32(got[id].back().data());
    }
};

CStateArchive Connect(uint16_t id, uint32_t version, const char* name = nullptr) {
    CStateArchive ar;
    ar.WriteU32(version);
    if (id == NS_VXM_CLIENT_CONNECT) {
        ar.WriteU8(5);
        WireText_Write(ar, name ? name : "Rogue");
    } else {
        ar.WriteU32(0);
    }
    return ar;
}

CStateArchive Text(const std::string& t) {
    CStateArchive ar;
    WireText_Write(ar, t.c_str());
    return ar;
}

struct MasterHostile : ::testing::Test {
    SMasterServerConfig config;
    std::unique_ptr<CMasterServer> master;
    CNetSession session;
    CNetMachine* honest = nullptr;
    std::vector<SRogue*> rogues;

    void Start() {
        config.bind = SNetAddress{kNetLoopback, 0};
        master.reset(new CMasterServer(config));
        ASSERT_TRUE(master->Open());
        honest = session.Add("honest");
        honest->net->m_master->m_address = Net_FormatAddress(master->Address()).c_str();
        honest->net->LocalPlayer()->m_name = "Honest";
    }
    // Steps the master, the honest game and the rogues until done() holds.
    bool Run(const std::function<bool()>& done, double seconds = 10.0) {
        auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            master->Step(0);
            for (SRogue* r : rogues) {
                r->Step();
                r->Answer();
            }
            session.StepAll();
            if (done()) return true;
            if (std::chrono::steady_clock::now() > end) return false;
        }
    }
    SRogue* Rogue(uint32_t ip) {
        rogues.push_back(new SRogue(ip, master->Address()));
        return rogues.back();
    }
    void TearDown() override {
        for (SRogue* r : rogues) delete r;
    }
    const CMasterServer::SUser* User(const char* name) {
        for (const auto& u : master->Users())
            if (u.second.name == name) return &u.second;
        return nullptr;
    }
};

}  // namespace

TEST_F(MasterHostile, MalformedAndForeignMessagesChangeNothingTheyDoNotOwn) {
    Start();
    // The honest game hosts a public server and chats.
    honest->net->m_serverInfo.m_name = "Honest server";
    ASSERT_TRUE(honest->net->StartServer(0, true));
    honest->net->m_master->SetPublic(true);
    honest->net->m_master->OpenChat();
    ASSERT_TRUE(Run([&] {
        return honest->net->m_master->IsRegistered() && honest->net->m_master->IsChatUp() &&
               master->ServerCount() == 1 && !master->Servers().begin()->second.name.empty();
    }));
    const uint32_t honestId = master->Servers().begin()->first;

    // Junk: no link is made for it.
    CRawEndpoint junk(0x7F000009);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> bytes(1 + (i * 37) % 1400);
        for (size_t k = 0; k < bytes.size(); ++k) bytes[k] = static_cast<uint8_t>(i * 131 + k * 7);
        junk.Send(bytes, master->Address());
    }
    // Another protocol version is told so and let go.
    SRogue* old = Rogue(0x7F000002);
    old->Send(NS_VXM_CLIENT_CONNECT, Connect(NS_VXM_CLIENT_CONNECT, 12));
    ASSERT_TRUE(Run([&] { return old->Status(NS_VXM_CLIENT_CONNECT) == kMasterWrongVersion; }));

    // A chat user that tries what is not its own.
    SRogue* user = Rogue(0x7F000003);
    user->Send(NS_VXM_CLIENT_CONNECT, Connect(NS_VXM_CLIENT_CONNECT, kMasterProtocolVersion, "Mallory"));
    ASSERT_TRUE(
        Run([&] { return user->Status(NS_VXM_CLIENT_CONNECT) == kMasterAccepted && User("Mallory"); }));
    uint64_t refused = master->RefusedCount();
    CStateArchive word;
    word.WriteU32(honestId);
    user->Send(NS_VXM_SERVER_NAME, Text("Hijacked"));                // a server's field
    user->Send(NS_VXM_SERVER_DISCONNECT, word);                      // another's entry
    user->Send(NS_VXM_CLIENT_QUERY_ANSWER_SERVER, word);             // the master's own answer
    user->Send(NS_VXM_CLIENT_CHAT_JOINCHANNEL, Text(""));            // no channel
    user->Send(NS_VXM_CLIENT_QUERY, Hex("FF01"));                    // a filter cut short
    user->Send(NS_VXM_CLIENT_CHAT_CHANGEUSERCONNECTION, Hex("63"));  // no such kind
    user->Send(NS_VXM_CLIENT_CHAT_PING, Hex("00"));                  // the ping has no data
    ASSERT_TRUE(Run([&] { return master->RefusedCount() >= refused + 7; }));
    // Long texts are cut, control bytes dropped.
    user->Send(NS_VXM_CLIENT_CHAT_CHANGEUSERNAME, Text(std::string(300, 'M') + "\x16\x02"));
    user->Send(NS_VXM_CLIENT_CHAT_JOINCHANNEL, Text("Main Chat"));
    user->Send(NS_VXM_CLIENT_CHAT_SAY, Text(std::string(4000, 'x')));
    ASSERT_TRUE(Run([&] { return honest->CountLines(std::string(200, 'x').c_str()) == 1; }));
    EXPECT_NE(User(std::string(31, 'M').c_str()), nullptr);
    EXPECT_LE(honest->FindLine("xxxx").size(), 255u + 40u);

    // A server link may change only its own entry, within range.
    SRogue* server = Rogue(0x7F000004);
    server->Send(NS_VXM_SERVER_CONNECT, Connect(NS_VXM_SERVER_CONNECT, kMasterProtocolVersion));
    ASSERT_TRUE(Run([&] {
        return server->Status(NS_VXM_SERVER_CONNECT) == kMasterAccepted && master->ServerCount() == 2;
    }));
    refused = master->RefusedCount();
    server->Send(NS_VXM_SERVER_LOCATION, Hex("C8"));
    server->Send(NS_VXM_SERVER_INPROGRESS, Hex("07"));
    server->Send(NS_VXM_SERVER_SPEED, Hex("010203"));
    server->Send(NS_VXM_CLIENT_CHAT_SAY, Text("a server does not chat"));
    server->Send(NS_VXM_SERVER_NAME, Text(std::string(500, 'S')));
    ASSERT_TRUE(Run([&] { return master->RefusedCount() >= refused + 4; }));
    ASSERT_TRUE(Run([&] {
        for (const auto& s : master->Servers())
            if (s.second.name == std::string(63, 'S')) return true;
        return false;
    }));
    EXPECT_EQ(master->Servers().at(honestId).name, "Honest server");
    EXPECT_EQ(master->Servers().at(honestId).location, 4);

    // The honest game is served all along: it finds its own server.
    honest->net->m_browser->FindServers();
    ASSERT_TRUE(Run([&] {
        CServerBrowser* b = honest->net->m_browser.get();
        return b->m_step == 0 && b->m_queryState == 2 && b->m_entries.size() == 2;
    }));
}

TEST_F(MasterHostile, BoundedListsAFloodAndASilentServer) {
    config.maxChannels = 4;
    config.maxServers = 4;
    config.linksPerAddress = 6;
    config.linkTimeout = 1.0f;
    Start();
    // More links from one address than it may hold: the rest are not made.
    std::vector<SRogue*> users, servers;
    for (int i = 0; i < 8; ++i) {
        users.push_back(Rogue(0x7F000005));
        users.back()->Send(NS_VXM_CLIENT_CONNECT, Connect(NS_VXM_CLIENT_CONNECT, kMasterProtocolVersion,
                                                          ("U" + std::to_string(i)).c_str()));
    }
    ASSERT_TRUE(Run([&] { return master->UserCount() == 6; }));
    Run([] { return false; }, 0.3);
    EXPECT_EQ(master->UserCount(), 6u);
    // Each user makes a channel: no more channels than kept.
    for (int i = 0; i < 6; ++i)
        users[i]->Send(NS_VXM_CLIENT_CHAT_JOINCHANNEL, Text("Room " + std::to_string(i)));
    ASSERT_TRUE(Run([&] { return master->RefusedCount() >= 3; }));
    EXPECT_EQ(master->ChannelCount(), 4u);
    // More servers than kept: refused with the status that says so.
    for (int i = 0; i < 6; ++i) {
        servers.push_back(Rogue(0x7F000010 + i));
        servers.back()->Send(NS_VXM_SERVER_CONNECT, Connect(NS_VXM_SERVER_CONNECT, kMasterProtocolVersion));
    }
    ASSERT_TRUE(Run([&] {
        int refusedServers = 0;
        for (SRogue* s : servers) refusedServers += s->Status(NS_VXM_SERVER_CONNECT) == kMasterRefused;
        return master->ServerCount() == 4 && refusedServers == 2;
    }));

    // One of them floods the chat: its own budget runs out, it is dropped,
    // and the honest game's chat goes on.
    honest->net->m_master->OpenChat();
    ASSERT_TRUE(
        Run([&] { return honest->net->m_master->IsChatUp() && honest->net->m_master->CurrentChannel(); }));
    SRogue* flood = users[0];
    flood->Send(NS_VXM_CLIENT_CHAT_JOINCHANNEL, Text("Main Chat"));
    for (int i = 0; i < 400; ++i) flood->Send(NS_VXM_CLIENT_CHAT_SAY, Text("spam " + std::to_string(i)));
    honest->net->SendChat("Honest", "still here", 255, 255, 255);
    ASSERT_TRUE(Run([&] { return honest->CountLines("<Honest> still here") == 1 && !User("U0"); }));
    EXPECT_LT(honest->CountLines("spam"), 100);

    // A server that goes silent leaves the list after the link's time-out.
    // (Watched by its address: on a busy machine the other rogues' links
    // may time out as well.)
    auto listed = [&](uint32_t ip) {
        for (const auto& s : master->Servers())
            if (s.second.address.ip == ip) return true;
        return false;
    };
    size_t silent = 0;
    while (silent < servers.size() && !listed(0x7F000010 + static_cast<uint32_t>(silent))) ++silent;
    ASSERT_LT(silent, servers.size());
    delete servers[silent];
    rogues.erase(std::find(rogues.begin(), rogues.end(), servers[silent]));
    ASSERT_TRUE(Run([&] { return !listed(0x7F000010 + static_cast<uint32_t>(silent)); }, 5.0));
}

// CONNECTs from addresses whose senders never hear an answer, as forged ones
// are: each is answered with the challenge and makes nothing, the links not
// yet answered stay within their bound and go after their time, and an
// honest game connects and chats all along. A CONNECT that carries a wrong
// cookie, or another address's, makes nothing either; the right one does.
TEST_F(MasterHostile, ForgedConnectsMakeNothingAndTheirLinksGo) {
    config.maxPendingLinks = 64;
    config.pendingLife = 1.0f;
    Start();
    honest->net->m_master->OpenChat();
    ASSERT_TRUE(
        Run([&] { return honest->net->m_master->IsChatUp() && honest->net->m_master->CurrentChannel(); }));
    const size_t honestLinks = master->LinkCount();

    // A game's first CONNECT datagram, as it leaves the game.
    CRawEndpoint capture(0x7F000030);
    std::vector<uint8_t> connect;
    {
        SRogue maker(0x7F000031, capture.Address());
        maker.Send(NS_VXM_CLIENT_CONNECT, Connect(NS_VXM_CLIENT_CONNECT, kMasterProtocolVersion, "Forged"));
        connect = capture.Receive();
    }
    ASSERT_FALSE(connect.empty());

    // The same datagram from 3,000 addresses that never read what comes back.
    size_t mostPending = 0, mostLinks = 0;
    int sentLine = 0;
    for (uint32_t i = 0; i < 3000; ++i) {
        {
            CRawEndpoint forger(0x7F020000 + ((i / 250) << 8) + i % 250 + 1);
            forger.Send(connect, master->Address());
        }
        if (i % 25 != 24) continue;
        master->Step(0);
        session.StepAll();
        mostPending = std::max(mostPending, master->PendingCount());
        mostLinks = std::max(mostLinks, master->LinkCount());
        if (i % 500 == 499)
            honest->net->SendChat("Honest", ("probe " + std::to_string(sentLine++)).c_str(), 255, 255, 255);
    }
    ASSERT_TRUE(Run([&] { return honest->CountLines("<Honest> probe") == sentLine; }));
    EXPECT_GT(master->ChallengeCount(), 500u);
    EXPECT_EQ(master->UserCount(), 1u);
    EXPECT_LE(mostPending, 64u);
    // The links given up wait for the socket's next check at most.
    EXPECT_LE(mostLinks, honestLinks + 2 * 64);
    // Nobody answers: they all go, and only the honest game's link is left.
    ASSERT_TRUE(Run([&] { return master->PendingCount() == 0 && master->LinkCount() == honestLinks; }, 10.0));
    EXPECT_TRUE(honest->net->m_master->IsChatUp());

    // A wrong cookie, and another address's, are answered with the challenge.
    SRogue* rogue = Rogue(0x7F000032);
    rogue->answers = false;
    CStateArchive wrong = Connect(NS_VXM_CLIENT_CONNECT, kMasterProtocolVersion, "Guesser");
    wrong.WriteU32(12345);
    rogue->Send(NS_VXM_CLIENT_CONNECT, wrong);
    CStateArchive borrowed = Connect(NS_VXM_CLIENT_CONNECT, kMasterProtocolVersion, "Guesser");
    borrowed.WriteU32(master->CurrentCookie(SNetAddress{0x7F000033, 4000}));
    rogue->Send(NS_VXM_CLIENT_CONNECT, borrowed);
    ASSERT_TRUE(Run([&] { return rogue->got[NS_VXM_CLIENT_CONNECT].size() >= 2; }));
    for (const auto& a : rogue->got[NS_VXM_CLIENT_CONNECT]) EXPECT_EQ(NWE_Get32(a.data()), kMasterChallenge);
    EXPECT_FALSE(User("Guesser"));
    // The game that answers with the cookie it was told is a user.
    rogue->Send(NS_VXM_CLIENT_CONNECT, Connect(NS_VXM_CLIENT_CONNECT, kMasterProtocolVersion, "Guesser"));
    rogue->answers = true;
    ASSERT_TRUE(Run([&] { return User("Guesser") != nullptr; }));
    EXPECT_EQ(rogue->Status(NS_VXM_CLIENT_CONNECT), kMasterAccepted);
}
