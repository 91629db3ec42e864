// A peer written from the byte layouts of the datagram format and the game
// protocol alone, with none of the engine's or the network game's code: its
// datagrams (the 10-byte unsafe form for its first contact, then the 11-byte
// sequenced form with the CRC-32 of bytes 11 to the end, seeded 13), its
// message headers, its receipts and its payloads are written here byte by
// byte, and the CRC is zlib's. It connects with protocol 13, joins a host's
// server step by step, starts the game with it, and plays: a unit is made
// for it, its order reaches every machine in a frame and asks it for the
// unit's way, and the way it sends goes to every machine in a frame. It
// pings as a client does, from the clock exchange on, and is answered. A
// peer of another version is answered {13, 0} and given nothing.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/net/Udp.h"
#include "tests/netgame/NetTestMachine.h"
#include "world/Unit.h"
#include "world/WorldGrid.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Put16(Bytes& b, uint16_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(Bytes& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutF32(Bytes& b, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(b, v);
}
void PutText(Bytes& b, const char* s) {
    b.insert(b.end(), s, s + std::strlen(s) + 1);
}
uint16_t Get16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t Get32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint32_t Crc(uint32_t seed, const uint8_t* p, size_t n) {
    return static_cast<uint32_t>(crc32(seed, p, static_cast<uInt>(n)));
}

// The ids that travel with the 4-byte short header: the system messages
// (0 to 5) and the game types the message table gives option E.
bool ShortHeader(uint16_t id) {
    static const uint16_t kShort[] = {80, 81, 82, 83,  85,  86,  90,  91,  92,  93,  95,
                                      96, 98, 99, 100, 103, 105, 107, 108, 112, 133, 158};
    if (id < 6) return true;
    for (uint16_t s : kShort)
        if (s == id) return true;
    return false;
}
// Reliability class 1 (no receipt) in the table: the rest are class 0.
bool Unacknowledged(uint16_t id) {
    static const uint16_t kClass1[] = {80, 81, 82, 83, 85, 86, 90, 91, 112};
    for (uint16_t s : kClass1)
        if (s == id) return true;
    return false;
}

struct SMessage {
    uint16_t id;
    uint16_t frame;  // 0: none
    Bytes data;
};

class CLayoutPeer {
public:
    CLayoutPeer() {
        int err = 0;
        m_socket = Net_UdpOpen(SNetAddress{kNetLoopback, 0}, &err);
    }
    ~CLayoutPeer() { Net_UdpClose(m_socket); }
    void SetServer(const SNetAddress& a) { m_server = a; }

    // The first contact: one message in the 10-byte unsafe form, its seed
    // field 0 in clear and the CRC of bytes 10 to the end.
    void SendContact(uint16_t id, const Bytes& payload) {
        Bytes body = Message(id, payload);
        Bytes d;
        Put16(d, 0x4000 | 0x2000 | 1);
        Put32(d, 0);
        Put32(d, Crc(0, body.data(), body.size()));
        d.insert(d.end(), body.begin(), body.end());
        Send(d);
    }
    // One message in the 11-byte sequenced form, CRC seeded 13 over bytes
    // 11 to the end; a receipt is asked for class 0.
    void SendMessage(uint16_t id, const Bytes& payload) {
        SendPacket({Message(id, payload)}, !Unacknowledged(id));
    }

    // Reads what came: receipts go back for every packet that wants one,
    // every datagram's CRC is checked and every message is kept.
    void Pump() {
        uint8_t buf[2048];
        for (;;) {
            size_t got = 0;
            SNetAddress from;
            int err = 0;
            if (Net_UdpReceive(m_socket, buf, sizeof buf, &got, &from, &err) != ENetIo::Ok) break;
            Read(buf, got);
        }
        if (!m_receipts.empty()) {
            std::vector<Bytes> msgs;
            for (uint32_t s : m_receipts) {
                Bytes p;
                Put32(p, s);
                msgs.push_back(Message(0, p));
            }
            m_receipts.clear();
            SendPacket(msgs, false);
        }
    }
    bool Has(uint16_t id) const {
        for (const SMessage& m : messages)
            if (m.id == id) return true;
        return false;
    }
    const SMessage* Last(uint16_t id) const {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
            if (it->id == id) return &*it;
        return nullptr;
    }

    std::vector<SMessage> messages;
    int badCrc = 0, datagrams = 0;
    uint16_t lastFrame = 0;  // of the last frame information

private:
    static Bytes Message(uint16_t id, const Bytes& payload) {
        Bytes m;
        m.push_back(static_cast<uint8_t>((id >> 8) & 0x7F));
        m.push_back(static_cast<uint8_t>(id));
        if (ShortHeader(id)) {
            Put16(m, static_cast<uint16_t>(payload.size()));
        } else {
            static uint32_t key = 0;
            ++key;
            m.push_back(static_cast<uint8_t>((key >> 16) & 0x7F));  // no frame number
            Put16(m, static_cast<uint16_t>(key));
            Put16(m, static_cast<uint16_t>(payload.size() | 0x8000));  // one part, the last
            Put16(m, static_cast<uint16_t>(payload.size()));           // total size
        }
        m.insert(m.end(), payload.begin(), payload.end());
        if (!ShortHeader(id)) Put16(m, 1);  // part count
        return m;
    }
    void SendPacket(const std::vector<Bytes>& msgs, bool receipt) {
        Bytes body;
        for (const Bytes& m : msgs) body.insert(body.end(), m.begin(), m.end());
        Bytes d;
        Put16(d, static_cast<uint16_t>(0x8000 | msgs.size()));
        Put32(d, m_sequence++ | (receipt ? 0x80000000u : 0u));
        d.push_back(0x80 | 127);
        Put32(d, Crc(13, body.data(), body.size()));
        d.insert(d.end(), body.begin(), body.end());
        Send(d);
    }
    void Send(const Bytes& d) {
        int err = 0;
        Net_UdpSend(m_socket, d.data(), d.size(), m_server, &err);
    }
    void Read(const uint8_t* d, size_t n) {
        ++datagrams;
        if (n < 2) return;
        uint16_t w = Get16(d);
        size_t at = 0;
        if (w & 0x8000) {
            if (n < 11 || !(d[6] & 0x80)) return;
            if (Crc(13, d + 11, n - 11) != Get32(d + 7)) {
                ++badCrc;
                return;
            }
            uint32_t s = Get32(d + 2);
            if (s & 0x80000000u) m_receipts.push_back(s & 0x7FFFFFFF);
            at = 11;
        } else if (w & 0x4000) {
            at = (w & 0x2000) ? 10 : 6;
            if (n < at) return;
            uint32_t seed = (w & 0x2000) ? Get32(d + 2) : 13;
            if (Crc(seed, d + at, n - at) != Get32(d + at - 4)) {
                ++badCrc;
                return;
            }
        } else {
            return;
        }
        unsigned count = w & 0x3FF;
        for (unsigned i = 0; i < count && at < n; ++i) {
            if (d[at] & 0x80) {
                // A continuation part: 0x80 | key high, u16 key low, u16 part
                // word, offset (u16 or u32), the bytes, the count when last.
                uint32_t key = (static_cast<uint32_t>(d[at] & 0x7F) << 16) | Get16(d + at + 1);
                uint16_t word = Get16(d + at + 3);
                at += 5;
                uint32_t offset = (word & 0x4000) ? Get32(d + at) : Get16(d + at);
                at += (word & 0x4000) ? 4 : 2;
                uint32_t len = word & 0x3FFF;
                SPartial& p = m_partial[key];
                if (p.data.size() < offset + len) p.data.resize(offset + len);
                std::memcpy(p.data.data() + offset, d + at, len);
                p.got += len;
                at += len;
                if (word & 0x8000) at += (Get16(d + at) & 0x8000) ? 4 : 2;
                Finish(key);
                continue;
            }
            uint16_t id = static_cast<uint16_t>(((d[at] & 0x7F) << 8) | d[at + 1]);
            if (ShortHeader(id)) {
                uint16_t size = Get16(d + at + 2);
                messages.push_back({id, 0, Bytes(d + at + 4, d + at + 4 + size)});
                if (id == 1) lastFrame = Get16(d + at + 4);
                at += 4 + size;
                continue;
            }
            bool framed = d[at + 2] & 0x80;
            uint32_t key = (static_cast<uint32_t>(d[at + 2] & 0x7F) << 16) | Get16(d + at + 3);
            at += 5;
            uint16_t frame = 0;
            if (framed) {
                frame = Get16(d + at);
                at += 2;
            }
            uint16_t word = Get16(d + at);
            at += 2;
            uint32_t total = (word & 0x4000) ? Get32(d + at) : Get16(d + at);
            at += (word & 0x4000) ? 4 : 2;
            uint32_t len = word & 0x3FFF;
            SPartial& p = m_partial[key];
            p.id = id;
            p.frame = frame;
            p.total = total;
            p.started = true;
            if (p.data.size() < len) p.data.resize(len);
            std::memcpy(p.data.data(), d + at, len);
            p.got += len;
            at += len;
            if (word & 0x8000) at += (Get16(d + at) & 0x8000) ? 4 : 2;
            Finish(key);
        }
    }
    void Finish(uint32_t key) {
        SPartial& p = m_partial[key];
        if (!p.started || p.got < p.total) return;
        p.data.resize(p.total);
        messages.push_back({p.id, p.frame, p.data});
        m_partial.erase(key);
    }
    struct SPartial {
        uint16_t id = 0, frame = 0;
        uint32_t total = 0, got = 0;
        bool started = false;
        Bytes data;
    };
    int m_socket = -1;
    SNetAddress m_server;
    uint32_t m_sequence = 1;
    std::vector<uint32_t> m_receipts;
    std::map<uint32_t, SPartial> m_partial;
};

// Steps the host and reads the peer until done() holds (10 s at most).
bool Drive(CNetMachine* host, CLayoutPeer& peer, const std::function<bool()>& done, double seconds = 10.0) {
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        host->Step();
        peer.Pump();
        if (done()) return true;
    }
    return done();
}

Bytes U32(uint32_t v) {
    Bytes b;
    Put32(b, v);
    return b;
}

// PING: u16 slot index, u16 the average ping x 6553.5, u32 the current
// frame, f32 the frame time less the lag.
Bytes Ping(uint16_t slot, uint32_t frame) {
    Bytes ping;
    Put16(ping, slot);
    Put16(ping, 655);  // 0.1 s
    Put32(ping, frame);
    PutF32(ping, 0.05f);
    return ping;
}

}  // namespace

TEST(NetLayoutPeer, APeerBuiltFromTheLayoutsConnectsJoinsAndPlays) {
    CNetMachine host("host");
    ASSERT_TRUE(host.net->StartServer(0, true));
    SNetAddress server;
    host.net->m_gameSocket->GetSocketName(&server);
    server.ip = kNetLoopback;

    // Another version: {13, 0}, and no connection for it.
    {
        CLayoutPeer old;
        old.SetServer(server);
        Bytes connect = U32(14);
        connect.push_back(0);
        old.SendContact(81, connect);
        ASSERT_TRUE(Drive(&host, old, [&] { return old.Has(81); }));
        EXPECT_EQ(old.Last(81)->data, (Bytes{13, 0, 0, 0, 0, 0, 0, 0}));
        for (int i = 0; i < 20; ++i) {
            host.Step();
            old.Pump();
        }
        EXPECT_EQ(old.Last(92), nullptr);
        EXPECT_NE(host.FindLine("Refused a client"), "");
    }

    CLayoutPeer peer;
    peer.SetServer(server);
    // CONNECT: u32 13, the password (none) with its zero.
    Bytes connect = U32(13);
    connect.push_back(0);
    peer.SendContact(81, connect);
    ASSERT_TRUE(Drive(&host, peer, [&] { return peer.Has(81); }));
    EXPECT_EQ(peer.Last(81)->data, (Bytes{13, 0, 0, 0, 0, 0, 0, 0}));
    // The join, each request after the answer to the one before.
    peer.SendMessage(92, U32(0x01020304));
    ASSERT_TRUE(Drive(&host, peer, [&] { return peer.Has(92) && peer.Has(108); }));
    EXPECT_EQ(peer.Last(92)->data.size(), 4u);  // the server's tick rate
    peer.SendMessage(98, {});
    ASSERT_TRUE(Drive(&host, peer, [&] { return peer.Has(97); }));
    peer.SendMessage(93, {});
    ASSERT_TRUE(Drive(&host, peer, [&] { return peer.Has(93); }));
    ASSERT_EQ(peer.Last(93)->data.size(), 10u);
    // From here on the peer pings every second.
    peer.SendMessage(112, Ping(0, 0));
    ASSERT_TRUE(Drive(&host, peer, [&] { return peer.Has(112); })) << host.FindLine("lost in the void");
    EXPECT_EQ(peer.Last(112)->data.size(), 12u);
    peer.SendMessage(96, {});
    ASSERT_TRUE(Drive(&host, peer, [&] { return peer.Has(96); }));
    const uint32_t id = Get32(peer.Last(96)->data.data());
    EXPECT_GE(id, 2u);
    peer.SendMessage(99, {});
    ASSERT_TRUE(Drive(&host, peer, [&] { return peer.Has(99); }));
    EXPECT_EQ(Get32(peer.Last(99)->data.data()), 1u);  // the host's player
    // PLAYER_REGISTER: the information record, which begins with the player
    // id: u32 id, u32 team (-1), u32 race (-1), three f32 colour, u8
    // attribute, u16 attribute word, the name with its zero, u32 owner id
    // (the server's to give).
    Bytes record = U32(id);
    Put32(record, 0xFFFFFFFF);
    Put32(record, 0xFFFFFFFF);
    for (float c : {200.0f, 40.0f, 40.0f}) PutF32(record, c);
    record.push_back(0);
    Put16(record, 0);
    PutText(record, "Layout");
    Put32(record, 0);
    peer.SendMessage(125, record);
    peer.SendMessage(95, {});
    CPlayer* mine = nullptr;
    ASSERT_TRUE(Drive(&host, peer,
                      [&] {
                          mine = host.net->FindPlayerById(static_cast<int32_t>(id));
                          return mine && std::string(mine->m_name.GetText()) == "Layout" &&
                                 host.net->CountPlayers() == 2 && peer.Has(117) && peer.Has(118);
                      }))
        << host.FindLine("Refused") << " | " << (mine ? mine->m_name.GetText() : "none") << " "
        << host.net->CountPlayers() << peer.Has(117) << peer.Has(118);
    EXPECT_EQ(mine->m_colour[0], 200.0f);
    // The relayed registration carries the owner id the server gave.
    int32_t owner = -1;
    ASSERT_TRUE(Drive(&host, peer, [&] {
        for (const SMessage& m : peer.messages)
            if (m.id == 125 && m.data.size() >= 8 && Get32(m.data.data()) == id)
                owner = static_cast<int32_t>(Get32(m.data.data() + m.data.size() - 4));
        return owner >= 2;
    }));
    EXPECT_EQ(owner, mine->m_ownerId);

    // The host starts; the peer answers each step of the start.
    host.net->SendStartRequest();
    bool replied[3] = {false, false, false};
    auto answer = [&] {
        const uint16_t asks[3] = {102, 104, 106}, replies[3] = {103, 105, 107};
        for (int i = 0; i < 3; ++i)
            if (!replied[i] && peer.Has(asks[i])) {
                replied[i] = true;
                peer.SendMessage(replies[i], {});
            }
    };
    ASSERT_TRUE(Drive(&host, peer, [&] {
        answer();
        return host.Running() && peer.Has(111);
    })) << host.FindLine("");

    // Playing: the host makes a tank for the peer; the peer orders it away.
    host.net->m_serverInfo.m_cheats = 1;
    host.RequestUnit(host.tank, 0.0f, 0.0f, owner);
    CTessarakObject* tank = nullptr;
    ASSERT_TRUE(Drive(&host, peer, [&] {
        answer();
        for (CTessarakObject* o = host.scene->m_allObjects; o; o = o->m_allNext)
            if (o->IsUnit() && o->m_owner == mine) tank = o;
        return tank && peer.Has(110);
    }));
    const uint32_t pathBefore = static_cast<CUnit*>(tank)->m_pathWord;
    // ORDER: u32 unit id, u32 type 1 (move), the packed move order.
    Bytes order = U32(static_cast<uint32_t>(tank->m_objectId));
    Put32(order, 1);
    for (float v : {30.0f, 0.0f, 30.0f, 0.0f, 0.0f, 0.0f}) PutF32(order, v);
    Put32(order, 0);
    Put32(order, 1);
    Put32(order, 0);
    peer.SendMessage(134, order);
    // The order runs on every machine and asks its owner's machine, this
    // peer, for the way: WAYPOINTLIST, u32 unit id, u32 the unit's path
    // request number, u8 flags 0, f32 height, u16 count, i16 a, i16 b per
    // point (fine cells; the grid's cells of a straight line here).
    CUnit* unit = static_cast<CUnit*>(tank);
    ASSERT_TRUE(Drive(&host, peer, [&] {
        answer();
        return peer.Has(134) && unit->m_pathWord != pathBefore;
    })) << host.FindLine("Refused");
    Bytes way = U32(static_cast<uint32_t>(tank->m_objectId));
    Put32(way, unit->m_pathWord);
    way.push_back(0);
    PutF32(way, 0.0f);
    const int kPoints = 6;
    Put16(way, kPoints);
    for (int i = 1; i <= kPoints; ++i) {
        int a = 0, b = 0;
        host.grid->FineCellOf(30.0f * i / kPoints, 30.0f * i / kPoints, a, b);
        Put16(way, static_cast<uint16_t>(static_cast<int16_t>(a)));
        Put16(way, static_cast<uint16_t>(static_cast<int16_t>(b)));
    }
    peer.SendMessage(142, way);
    // The server takes the way from the unit's owner and sends it to every
    // machine in a frame.
    ASSERT_TRUE(Drive(&host, peer, [&] {
        answer();
        return peer.Has(142);
    })) << host.FindLine("Refused");
    EXPECT_EQ(peer.Last(142)->data, way);
    EXPECT_NE(peer.Last(142)->frame, 0);
    // The relayed order came in a frame, and frames keep coming.
    EXPECT_NE(peer.Last(134)->frame, 0);
    const uint16_t seen = peer.lastFrame;
    ASSERT_TRUE(Drive(&host, peer, [&] {
        answer();
        return peer.lastFrame != seen;
    }));
    // PING while playing: slot 0 is answered with the index, the game speed
    // and the server's next-tick time (12 bytes), any other slot with its
    // index.
    for (uint16_t slot : {0, 1, 7}) {
        const size_t before = peer.messages.size();
        peer.SendMessage(112, Ping(slot, peer.lastFrame));
        const SMessage* answer112 = nullptr;
        ASSERT_TRUE(Drive(&host, peer,
                          [&] {
                              answer();
                              for (size_t i = before; i < peer.messages.size(); ++i)
                                  if (peer.messages[i].id == 112) answer112 = &peer.messages[i];
                              return answer112 != nullptr;
                          }))
            << "slot " << slot << " " << host.FindLine("lost in the void");
        ASSERT_EQ(answer112->data.size(), slot == 0 ? 12u : 2u) << slot;
        EXPECT_EQ(Get16(answer112->data.data()), slot);
        if (slot == 0) {  // the next tick's time, in the clock's counts
            EXPECT_NE(Get32(answer112->data.data() + 4) | Get32(answer112->data.data() + 8), 0u);
        }
    }
    EXPECT_EQ(peer.badCrc, 0);
    EXPECT_EQ(host.CountLines("lost in the void"), 0);
}
