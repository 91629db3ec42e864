// A hostile client: an engine peer of its own, written from the message
// table, that joins the server as any client does and then asks for what
// is not its own (another player's units and name, a forged player id),
// sends payloads of the wrong length and a message id the game does not
// have. Each is refused and logged, and the game of the honest machines
// goes on in step.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "tests/netgame/NetTestMachine.h"
#include "tests/nwe/NweTestKit.h"
#include "world/WireText.h"

namespace {
std::vector<uint8_t> Bytes(const CStateArchive& ar) {
    return std::vector<uint8_t>(ar.GetData(), ar.GetData() + ar.GetBuffer().size());
}

// A raw client: a raw peer whose registry is filled from the client's side
// of the table (every id with the options both sides share).
struct SRawClient : SRawPeer {
    static constexpr uint16_t kUnknown = 141;  // an id the game has not

    explicit SRawClient(const SNetAddress& server) : SRawPeer(kNetLoopback, server, 13) {
        size_t n = 0;
        const SNetMessageRow* rows = NetMessage_Table(&n);
        for (size_t i = 0; i < n; ++i)
            Register(rows[i].name, rows[i].id, rows[i].cls, rows[i].priority, rows[i].shortHeader);
        registry.Register("UNKNOWN", kUnknown, nullptr, nullptr, nullptr, nullptr, nullptr, 1, 5, 0, 1, 0);
    }
    void Send(uint16_t id, const std::vector<uint8_t>& p) {
        peer->SendMessage(id, p.data(), static_cast<uint32_t>(p.size()), nullptr, 65535, 0);
    }
    // Steps the session and this client until done (false after the
    // session's time-out).
    bool Pump(CNetSession& s, const std::function<bool()>& done) {
        return s.RunUntil([&] {
            Step();
            return done();
        });
    }
    // CONNECT with the protocol's version and no password; once the server
    // answered, the link sends with the game's seed. False without an answer.
    bool Connect(CNetSession& s) {
        CStateArchive ar;
        ar.WriteU32(kNetProtocolVersion);
        WireText_Write(ar, "");
        Send(NS_NOTIFYTYPE_CONNECT, Bytes(ar));
        if (!Pump(s, [&] { return Has(NS_NOTIFYTYPE_CONNECT); })) return false;
        peer->SetSendCrcSeed(13);
        peer->SetActive(true);
        return true;
    }
};

}  // namespace

TEST(NetHostile, RefusedRequestsLeaveTheGameGoingOn) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    CNetMachine* honest = s.Add("honest");
    ASSERT_TRUE(s.JoinAll());
    host->net->m_serverInfo.m_cheats = 1;
    ASSERT_TRUE(s.StartGame());
    host->RequestUnit(host->tank, 1.0f, 1.0f, host->net->LocalPlayer()->m_ownerId);
    ASSERT_TRUE(
        s.RunUntil([&] { return host->OwnUnits().size() == 1 && honest->scene->m_objectCount == 1; }));
    CTessarakObject* hostUnit = host->OwnUnits().front();
    const float unitX = hostUnit->m_position[0];
    // A running game refuses joins: the host's state word says otherwise
    // while the raw client joins.
    host->gameState = 1;

    SNetAddress server;
    host->net->m_gameSocket->GetSocketName(&server);
    SRawClient raw(server);
    auto pump = [&](const std::function<bool()>& done) { return raw.Pump(s, done); };
    // The join, step by step, as the wire tables give it.
    ASSERT_TRUE(raw.Connect(s));
    ASSERT_EQ(raw.got[NS_NOTIFYTYPE_CONNECT][0],
              (std::vector<uint8_t>{static_cast<uint8_t>(kNetProtocolVersion), 0, 0, 0, 0, 0, 0, 0}));
    CStateArchive ar;
    raw.Send(NS_NOTIFYTYPE_CONNECTVALIDATE, {1, 2, 3, 4});
    ASSERT_TRUE(pump([&] { return raw.Has(NS_NOTIFYTYPE_CONNECTVALIDATE); }));
    EXPECT_TRUE(raw.Has(NS_NOTIFYTYPE_SETGAMESPEED));
    raw.Send(NS_NOTIFYTYPE_PING_AND_GET_TIME, {});
    ASSERT_TRUE(pump([&] { return raw.Has(NS_NOTIFYTYPE_PING_AND_GET_TIME); }));
    EXPECT_EQ(raw.got[NS_NOTIFYTYPE_PING_AND_GET_TIME][0].size(), 10u);
    raw.Send(NS_NOTIFYTYPE_ASSIGNPLAYERID, {});
    ASSERT_TRUE(pump([&] { return raw.Has(NS_NOTIFYTYPE_ASSIGNPLAYERID); }));
    int32_t rawId = static_cast<int32_t>(NWE_Get32(raw.got[NS_NOTIFYTYPE_ASSIGNPLAYERID][0].data()));
    EXPECT_GE(rawId, 3);
    CPlayer* self = host->net->m_players.m_neutral;  // writes a record; its id is replaced below
    ar.Reset();
    self->WriteInfo(ar);
    std::vector<uint8_t> record = Bytes(ar);
    NWE_Put32(record.data(), static_cast<uint32_t>(rawId));
    raw.Send(NS_NOTIFYTYPE_PLAYER_REGISTER, record);
    raw.Send(NS_NOTIFYTYPE_CHANCHEMODECONNECTED, {});
    ASSERT_TRUE(pump([&] { return host->net->FindPlayerById(rawId) != nullptr; }));
    host->gameState = 2;
    int refusedBefore = host->CountLines("Refused message");

    // What is not the raw client's own, or does not fit.
    auto u32 = [](std::vector<uint8_t> v, uint32_t x) {
        size_t at = v.size();
        v.resize(at + 4);
        NWE_Put32(v.data() + at, x);
        return v;
    };
    std::vector<uint8_t> order = u32(u32({}, static_cast<uint32_t>(hostUnit->m_objectId)), 1);
    order.resize(44, 0);
    raw.Send(NS_NOTIFYTYPE_ORDER, order);                                     // the host's unit
    raw.Send(NS_NOTIFYTYPE_KILLUNIT, u32(u32({}, hostUnit->m_objectId), 0));  // likewise
    std::vector<uint8_t> rename = u32({}, 1);
    rename.insert(rename.end(), {'E', 'v', 'i', 'l', 0});
    raw.Send(NS_NOTIFYTYPE_PLAYER_NAME, rename);  // the host's player id
    NWE_Put32(record.data(), 1);
    raw.Send(NS_NOTIFYTYPE_PLAYER_REGISTER, record);       // a forged id
    raw.Send(NS_NOTIFYTYPE_PLAYER_COLOR, u32({}, rawId));  // 4 bytes of 16
    raw.Send(NS_NOTIFYTYPE_PING, {0, 0, 0});               // 3 bytes of 12
    raw.Send(NS_NOTIFYTYPE_PAUSE, u32({}, 1));             // only the host pauses
    raw.Send(SRawClient::kUnknown, {1, 2, 3});             // no such message
    // The clock asked for again once listed: answered, and the client list
    // still lets its entries go when the game ends.
    raw.Send(NS_NOTIFYTYPE_PING_AND_GET_TIME, {});
    const int kRefusals = 7;  // all but the unknown id, which the engine drops
    uint32_t rejected = host->net->GetRejectedCount();
    ASSERT_TRUE(pump([&] {
        return host->CountLines("Refused message") >= refusedBefore + kRefusals &&
               host->net->GetRejectedCount() > rejected;
    })) << host->FindLine("Refused");

    // Nothing of it happened, and the honest machines go on in step.
    uint16_t from = host->net->m_frameTable->GetCurrentNumber();
    ASSERT_TRUE(pump([&] { return honest->net->m_frameTable->GetCurrentNumber() > from + 20; }));
    EXPECT_EQ(hostUnit, host->scene->m_idTable.Find(hostUnit->m_objectId));
    EXPECT_EQ(hostUnit->m_position[0], unitX);
    EXPECT_GT(hostUnit->m_power, 0.0f);
    for (CNetMachine* m : {host, honest}) {
        EXPECT_STRNE(m->net->FindPlayerById(1)->m_name.GetText(), "Evil");
        EXPECT_FALSE(m->paused);
    }
    for (uint16_t f = from; f < honest->net->m_frameTable->GetCurrentNumber(); ++f)
        EXPECT_EQ(host->ticks[f].worldCrc, honest->ticks[f].worldCrc) << f;
}

// A client that has not joined yet (its CONNECT admitted, nothing more) has
// no say in the game's start, its frames or its sync: those messages are
// refused as out of turn, and the frame it asks for is not answered (joined
// clients start games and resync in the session tests).
TEST(NetHostile, AClientStillJoiningIsRefusedTheJoinedOnesMessages) {
    CNetSession s;
    CNetMachine* host = s.Add("host");
    ASSERT_TRUE(s.JoinAll());
    SNetAddress server;
    host->net->m_gameSocket->GetSocketName(&server);
    SRawClient raw(server);
    ASSERT_TRUE(raw.Connect(s));
    CStateArchive ar;
    WireText_Write(ar, host->net->m_serverInfo.m_mapFile.GetText(), 255);
    const std::pair<uint16_t, std::vector<uint8_t>> outOfTurn[] = {
        {NS_NOTIFYTYPE_FRAMEFINISHED, {1, 0}},
        {NS_NOTIFYTYPE_STARTGAME_REPLY, {}},
        {NS_NOTIFYTYPE_MAPCHANGESTART_REPLY, {}},
        {NS_NOTIFYTYPE_MAPFINISHUP_REPLY, {}},
        {NS_NOTIFYTYPE_SERVERINFO_MAPCRCMATCH, Bytes(ar)},
        {NS_NOTIFYTYPE_ASKFORFRAME, {}},
        {NS_NOTIFYTYPE_SYNC_GOTALLUNITS, {}},
        {NS_NOTIFYTYPE_SYNC_SYNCFINISHED, {}},
    };
    for (const auto& [id, payload] : outOfTurn) raw.Send(id, payload);
    // "Refused message <id> from <address> (no player): out of turn".
    auto refused = [&](uint16_t id) {
        const std::string line = host->FindLine(("Refused message " + std::to_string(id) + " from ").c_str());
        return !line.empty() && line.size() >= 11 && line.compare(line.size() - 11, 11, "out of turn") == 0;
    };
    EXPECT_TRUE(raw.Pump(s, [&] {
        for (const auto& m : outOfTurn)
            if (!refused(m.first)) return false;
        return true;
    }));
    for (const auto& m : outOfTurn) EXPECT_TRUE(refused(m.first)) << m.first;
    EXPECT_FALSE(raw.Has(NS_NOTIFYTYPE_ASKFORFRAME));
}
