#include "core/Determinism.h"
// The lockstep guard comes first in every simulation source.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "netgame/ConnectionTexts.h"
#include "netgame/GameSocket.h"
#include "netgame/NetGame.h"
#include "netgame/NetHandlers.h"
#include "netgame/ServerBrowser.h"
#include "nwe/Socket.h"
#include "world/WireText.h"

namespace {
using Lock = std::lock_guard<std::recursive_mutex>;

CServerBrowser* Browser(void* context) {
    CNetGame* net = static_cast<CNetGame*>(context);
    return net ? net->m_browser.get() : nullptr;
}

struct SReader : CStateArchive {
    explicit SReader(NWEMessage* m) : CStateArchive(m->GetData(), m->GetSize(), kApply) {}
    bool End() const { return Ok() && GetRemaining() == 0; }
};

// A contact that only asks for a server's details, and one that chats.
constexpr float kChatContactTimeout = 10.0f;
// The smallest description record (EXTERNAL_REQUESTSERVER's answer), and a
// player's record in it.
constexpr uint32_t kRecordMin = 31;
constexpr uint32_t kPlayerRecordMin = 1 + 2 + 1 + 4;
constexpr int kServerNameLength = 63;
constexpr size_t kMaxPlayers = 256;

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
}  // namespace

// ---- entries

std::string CServerListEntry::AddressText() const {
    return Net_FormatAddress(m_address);
}

void CServerListEntry::ResetInfo() {
    m_playerList.clear();
    m_ping = 9.999f;
    m_uniqueId = 0;
    m_location = m_inProgress = m_systemKind = m_connection = 0;
    m_speed = m_players = m_maxPlayers = 0;
    m_name.clear();
    m_map.clear();
    m_game.clear();
    m_answered = 0;
}

CServerBrowser::CServerBrowser(CNetGame* net) : m_net(net), m_lanPort(kNetDefaultServerPort) {
    ReadLocalAddresses();
}

CServerBrowser::~CServerBrowser() {
    // The network game closed every socket first: the links are gone, their
    // entries with them (m_holders).
}

void CServerBrowser::ReadLocalAddresses() {
    m_localAddresses.clear();
    m_lanTargets.clear();
    for (const SNetInterfaceAddress& a : Net_LocalAddresses()) {
        m_localAddresses.push_back(a.ip);
        if (a.broadcast &&
            std::find(m_lanTargets.begin(), m_lanTargets.end(), a.broadcast) == m_lanTargets.end())
            m_lanTargets.push_back(a.broadcast);
    }
    m_lanTargets.push_back(0xFFFFFFFFu);
}

CServerListEntry* CServerBrowser::FindEntry(int32_t id) {
    Lock l(m_lock);
    for (auto& e : m_entries)
        if (e->m_id == id) return e.get();
    return nullptr;
}

CServerListEntry* CServerBrowser::FindEntry(const SNetAddress& a) {
    Lock l(m_lock);
    for (auto& e : m_entries)
        if (e->m_address == a) return e.get();
    return nullptr;
}

CServerListEntry* CServerBrowser::AddEntry(const SNetAddress& a) {
    Lock l(m_lock);
    if (CServerListEntry* e = FindEntry(a)) return e;
    if (m_entries.size() >= kMaxEntries || !MasterAddress_Usable(a.ip, a.port)) return nullptr;
    std::unique_ptr<CServerListEntry> e(new CServerListEntry);
    e->m_id = m_nextId++;
    e->m_address = a;
    e->ResetInfo();
    m_entries.push_back(std::move(e));
    m_listChanged = true;
    return m_entries.back().get();
}

void CServerBrowser::DestroyEntry(CServerListEntry* e) {
    Lock l(m_lock);
    if (!e) return;
    if (e->m_id == m_contact) Disconnect();
    CloseLink(e, true);
    m_visible.erase(std::remove(m_visible.begin(), m_visible.end(), e), m_visible.end());
    m_entries.erase(std::remove_if(m_entries.begin(), m_entries.end(),
                                   [e](const std::unique_ptr<CServerListEntry>& p) { return p.get() == e; }),
                    m_entries.end());
    m_listChanged = true;
}

CServerListEntry* CServerBrowser::AddAddress(const char* text) {
    SNetAddress a;
    std::string t = text ? text : "";
    if (!Net_ParseAddress(t, &a)) return nullptr;
    if (a.port == 0) a.port = kNetDefaultServerPort;
    Lock l(m_lock);
    CServerListEntry* e = AddEntry(a);
    if (!e) return nullptr;
    e->m_sources |= CServerListEntry::kSourceLan;
    e->m_keep = 1;
    RequestInfo(e);
    return e;
}

CServerListEntry* CServerBrowser::EntryOf(NWEPeer* peer, const SNetAddress& from) {
    Lock l(m_lock);
    for (auto& e : m_entries)
        if (e->m_link && e->m_link->Names(peer)) return e.get();
    return FindEntry(from);
}

// ---- links to servers

bool CServerBrowser::EnsureSocket() {
    if (m_socket) return true;
    NWESocket* s = new NWESocket(m_net);
    int port = m_net->m_clientPort > 0 && m_net->m_clientPort <= 65335 ? m_net->m_clientPort + 200 : 0;
    if (!s->Open(SNetAddress{0, static_cast<uint16_t>(port)}) && !s->Open(SNetAddress{0, 0})) {
        s->Destroy();
        return false;
    }
    s->SetRateCap(std::max(m_net->m_clientRate, 400.0f));
    // Answers from servers without a link (the broadcast's, pings) come to
    // the socket's default peer.
    CGameSocket* any = new CGameSocket(m_net, s, &m_net->m_clientPreTypes);
    any->m_guard.TryShared();
    any->SetReceiveCrcSeed(13);
    any->SetSendCrcSeed(13);
    any->SetTimeoutCheck(false);
    s->SetDefaultPeer(any);
    m_default = new NWEListEntry(&m_holders, any);
    any->Release();
    m_socket = s;
    return true;
}

CGameSocket* CServerBrowser::OpenLink(CServerListEntry* e, bool chat) {
    if (!EnsureSocket()) return nullptr;
    CloseLink(e, false);
    CGameSocket* link = new CGameSocket(m_net, m_socket, &m_net->m_clientPreTypes);
    link->m_guard.TryShared();
    link->SetReceiveCrcSeed(13);
    link->SetAddress(e->m_address);
    link->SetOwnRate(std::max(m_net->m_clientRate * 0.2f, 400.0f));
    link->SetKeepAlive(chat);
    link->SetTimeout(chat ? kChatContactTimeout : std::max(m_net->m_serverUpdatePingTimeout, 1.0f));
    link->m_joinState = 4;
    e->m_link = new NWEListEntry(&m_holders, link);
    e->m_chat = chat ? 1 : 0;
    // EXTERNAL_CONNECT: u32 protocol version, u8 chat, [the player's name].
    CStateArchive ar;
    ar.WriteU32(kNetProtocolVersion);
    ar.WriteU8(chat ? 1 : 0);
    if (chat) WireText_Write(ar, m_net->LocalPlayer() ? m_net->LocalPlayer()->m_name.GetText() : "", 31);
    link->SendMessage(NS_NOTIFYTYPE_EXTERNAL_CONNECT, ar.GetData(), static_cast<uint32_t>(ar.GetSize()));
    link->Flush();
    return link;
}

void CServerBrowser::CloseLink(CServerListEntry* e, bool sayGoodbye) {
    Lock l(m_lock);
    if (!e || !e->m_link) return;
    if (NWEPeer* link = NWEEngine::GetPeer(e->m_link)) {
        if (sayGoodbye && !link->IsTimedOut()) {
            link->SendMessage(NS_NOTIFYTYPE_EXTERNAL_DISCONNECT, nullptr, 0);
            link->Flush();
        }
        link->SetKeepAlive(false);
        link->SetTimedOut(true);
        link->Release();
    }
    e->m_link->Destroy();
    e->m_link = nullptr;
    e->m_chat = 0;
}

void CServerBrowser::RequestInfo(CServerListEntry* e) {
    Lock l(m_lock);
    if (!e) return;
    if (NWEPeer* link = e->m_link ? NWEEngine::GetPeer(e->m_link) : nullptr) {
        if (!link->IsTimedOut()) {
            link->SendMessage(NS_NOTIFYTYPE_EXTERNAL_REQUESTSERVER, nullptr, 0);
            link->Release();
            return;
        }
        link->Release();
    }
    if (CGameSocket* link = OpenLink(e, false)) link->Release();
}

void CServerBrowser::Ping(CServerListEntry* e) {
    Lock l(m_lock);
    if (!e || !EnsureSocket()) return;
    e->m_pinging = 1;
    ++e->m_pingCounter;
    e->m_pingSent = m_net->GetClock().Now();
    uint8_t word[4];
    NWE_Put32(word, e->m_pingCounter);
    if (NWEPeer* any = NWEEngine::GetPeer(m_default)) {
        any->SendRaw(e->m_address, NS_NOTIFYTYPE_EXTERNAL_PING, word, 4);
        any->Release();
    }
}

void CServerBrowser::Connect(CServerListEntry* e) {
    Lock l(m_lock);
    Disconnect();
    if (!e) return;
    if (CGameSocket* link = OpenLink(e, true)) {
        m_contact = e->m_id;
        m_lastContactRequest = m_net->GetClock().Now();
        link->Release();
    }
}

void CServerBrowser::Disconnect() {
    Lock l(m_lock);
    CServerListEntry* e = FindEntry(m_contact);
    m_contact = 0;
    if (e) CloseLink(e, true);
}

CServerListEntry* CServerBrowser::Contact() {
    return m_contact ? FindEntry(m_contact) : nullptr;
}

bool CServerBrowser::IsContactLink(NWEPeer* peer) {
    Lock l(m_lock);
    CServerListEntry* e = Contact();
    return e && e->m_link && e->m_link->Names(peer);
}

bool CServerBrowser::SendToContact(const char* text) {
    Lock l(m_lock);
    CServerListEntry* e = Contact();
    NWEPeer* link = e && e->m_link ? NWEEngine::GetPeer(e->m_link) : nullptr;
    if (!link) return false;
    // SM_MESSAGE: the line; the server says it under the name this contact gave.
    CStateArchive ar;
    WireText_Write(ar, text, kNetMaxChat);
    link->SendMessage(NS_NOTIFYTYPE_SM_MESSAGE, ar.GetData(), static_cast<uint32_t>(ar.GetSize()));
    link->Release();
    return true;
}

// ---- the steps

void CServerBrowser::SetStatus(int textIndex, const char* extra) {
    std::string text = NetGame_Text(m_net, textIndex);
    size_t at = text.find("%s");
    if (at != std::string::npos) text.replace(at, 2, extra ? extra : "");
    Lock l(m_lock);
    m_status = text;
}

void CServerBrowser::FindServers() {
    Lock l(m_lock);
    SNetAddress master;
    if ((m_querySources & 2) && m_net->m_master && m_net->m_master->MasterAddress(&master))
        m_net->m_master->OpenChat();
    UpdateServerBrowser();
    m_requestedStep = 1;
}

void CServerBrowser::UpdateServerBrowser() {
    Lock l(m_lock);
    // A LAN server that did not answer the last broadcast is no LAN entry
    // any more; one that did is asked for its details again.
    std::vector<CServerListEntry*> gone;
    for (auto& e : m_entries) {
        if (!e->m_keep) {
            e->m_sources &= CServerListEntry::kSourceMaster;
            if (!e->m_sources) gone.push_back(e.get());
        } else if (e->m_sources & CServerListEntry::kSourceLan) {
            RequestInfo(e.get());
        }
        e->m_keep = 0;
    }
    for (CServerListEntry* e : gone) DestroyEntry(e);
    if ((m_querySources & 1) && EnsureSocket()) {
        if (NWEPeer* any = NWEEngine::GetPeer(m_default)) {
            for (uint32_t ip : m_lanTargets)
                any->SendRaw(SNetAddress{ip, m_lanPort}, NS_NOTIFYTYPE_EXTERNAL_BROADCAST_AREYOUTHERE,
                             nullptr, 0);
            any->Release();
        }
    }
}

void CServerBrowser::OnMasterAnswer(const std::vector<SMasterServerAddress>& servers) {
    Lock l(m_lock);
    for (auto& e : m_entries) e->m_queried = 0;
    for (const SMasterServerAddress& s : servers) {
        CServerListEntry* e = AddEntry(SNetAddress{s.ip, s.port});
        if (!e) continue;
        e->m_queried = 1;
        e->m_sources |= CServerListEntry::kSourceMaster;
        e->m_keep = 1;
    }
    // What the master no longer lists goes, unless the LAN knows it.
    std::vector<CServerListEntry*> gone;
    for (auto& e : m_entries) {
        if (e->m_queried || !(e->m_sources & CServerListEntry::kSourceMaster)) continue;
        if (e->m_sources & CServerListEntry::kSourceLan)
            e->m_sources = CServerListEntry::kSourceLan;
        else
            gone.push_back(e.get());
    }
    for (CServerListEntry* e : gone) DestroyEntry(e);
    if (m_step == 1) m_queryState = 2;
    m_listChanged = true;
}

void CServerBrowser::EndStep(int next) {
    m_step = 0;
    m_stepStarted = false;
    if (next >= 0) m_requestedStep = next;
    for (auto& e : m_entries) e->m_pinging = 0;
    m_progress = 0.0f;
    SetStatus(SYSLID_CONNECTION_MASTER_DONE);
}

void CServerBrowser::QueryMasterStep() {
    CMasterClient* mc = m_net->m_master.get();
    int64_t now = m_net->GetClock().Now();
    if (!m_stepStarted) {
        m_stepStarted = true;
        m_queryState = 0;
        m_stepSince = now;
    }
    if (!(m_querySources & 2) || !mc) return EndStep(2);
    if (mc->IsChatUp()) {
        if (m_queryState == 0) {
            SetStatus(SYSLID_CONNECTION_MASTER_GETTINGLIST);
            mc->Query(m_query);
            m_queryState = 1;
            m_stepSince = now;
        } else if (m_queryState == 2 ||
                   now - m_stepSince > m_net->GetClock().Ticks(std::max(mc->m_timeout, 2.0f))) {
            EndStep(2);
        }
        return;
    }
    // The chat link is still being made: the step waits for it a few
    // seconds, unless the master cannot be reached (then the LAN's servers
    // are what there is; the next look asks the master again).
    m_progress = 0.0f;
    m_queryState = 0;
    if (!mc->IsChatOpen() || mc->m_chat.reportedDown ||
        now - m_stepSince > m_net->GetClock().Ticks(kMasterWait))
        EndStep(2);
}

void CServerBrowser::UpdateServersStep() {
    if (!m_stepStarted) {
        m_stepStarted = true;
        m_progress = 0.0f;
        m_finished = 0;
        SetStatus(SYSLID_CONNECTION_MASTER_UPDATINGSERVERS);
        for (auto& e : m_entries) {
            e->m_queried = 0;
            e->m_requesting = 0;
        }
    }
    int inFlight = 0;
    for (auto& e : m_entries) inFlight += e->m_requesting;
    for (auto& e : m_entries) {
        if (inFlight >= kMaxInFlight) break;
        if (e->m_queried) continue;
        e->m_queried = 1;
        e->m_requesting = 1;
        ++inFlight;
        RequestInfo(e.get());
    }
    bool all = std::all_of(m_entries.begin(), m_entries.end(),
                           [](const std::unique_ptr<CServerListEntry>& e) { return e->m_queried != 0; });
    m_progress = m_entries.empty() ? 1.0f : static_cast<float>(m_finished) / m_entries.size();
    if (all && inFlight < 2) {
        m_step = 0;
        m_stepStarted = false;
        m_requestedStep = 3;
        m_listChanged = true;
    }
}

void CServerBrowser::PingServersStep() {
    NWEClock& clock = m_net->GetClock();
    int64_t now = clock.Now();
    if (!m_stepStarted) {
        m_stepStarted = true;
        m_progress = 0.0f;
        m_finished = 0;
        SetStatus(SYSLID_CONNECTION_MASTER_PINGINGSERVERS);
        for (auto& e : m_entries) e->m_queried = e->m_pinging = 0;
    }
    int64_t timeout = clock.Ticks(std::max(m_net->m_serverUpdatePingTimeout, 0.1f));
    int pinging = 0;
    for (auto& e : m_entries) {
        if (!e->m_pinging) continue;
        if (now - e->m_pingSent >= timeout) {
            // No echo: unreachable as far as the list can tell.
            e->m_ping = 9.999f;
            e->m_pinging = 0;
            ++m_finished;
            m_listChanged = true;
        } else {
            ++pinging;
        }
    }
    CServerListEntry* last = nullptr;
    for (auto& e : m_entries) {
        if (pinging >= kMaxInFlight) break;
        if (e->m_queried) continue;
        e->m_queried = 1;
        Ping(e.get());
        ++pinging;
        last = e.get();
    }
    if (last) SetStatus(SYSLID_CONNECTION_MASTER_PINGINGSERVER, last->m_name.c_str());
    m_progress = m_entries.empty() ? 1.0f : static_cast<float>(m_finished) / m_entries.size();
    if (pinging == 0 && !last) {
        EndStep(0);
        m_listChanged = true;
    }
}

void CServerBrowser::ServiceLinks() {
    NWEClock& clock = m_net->GetClock();
    int64_t now = clock.Now();
    for (auto& e : m_entries) {
        if (!e->m_link) continue;
        NWEPeer* link = NWEEngine::GetPeer(e->m_link);
        if (link && !link->IsTimedOut()) {
            link->Release();
            continue;
        }
        if (link) link->Release();
        // The server never answered (or the contact ended): its details stay
        // as they were.
        if (e->m_requesting) {
            e->m_requesting = 0;
            ++m_finished;
        }
        if (e->m_id == m_contact) m_contact = 0;
        e->m_link->Destroy();
        e->m_link = nullptr;
        e->m_chat = 0;
    }
    // The contact asks for its server's details every second (its players
    // come and go); that also keeps the link alive.
    CServerListEntry* c = Contact();
    if (c && now - m_lastContactRequest > clock.Ticks(kContactRequest)) {
        m_lastContactRequest = now;
        if (NWEPeer* link = NWEEngine::GetPeer(c->m_link)) {
            if (link->IsActive()) link->SendMessage(NS_NOTIFYTYPE_EXTERNAL_REQUESTSERVER, nullptr, 0);
            link->Release();
        }
    }
}

void CServerBrowser::Update() {
    Lock l(m_lock);
    switch (m_step) {
        case 1:
        case 2:
        case 3:
            if (m_requestedStep != m_step) {
                EndStep(-1);
                break;
            }
            if (m_step == 1)
                QueryMasterStep();
            else if (m_step == 2)
                UpdateServersStep();
            else
                PingServersStep();
            break;
        default:
            if (m_requestedStep != m_step) {
                m_stepStarted = false;
                m_step = m_requestedStep;
            }
            break;
    }
    ServiceLinks();
    if (m_filterChanged || m_listChanged) {
        FilterServerList();
        m_filterChanged = m_listChanged = false;
    }
}

// ---- the lobby's list

namespace {
// The settings lists' further filters of an entry (SServerListFilter).
bool PassesFurther(const CServerListEntry* e, const SServerListFilter& f) {
    if (e->m_players > f.maxPlayers || e->m_maxPlayers > f.maxMaxPlayers) return false;
    if (f.freeSpots > 0 && int(e->m_maxPlayers) - int(e->m_players) < f.freeSpots) return false;
    if ((f.favourites == 1 && !e->m_marked) || (f.favourites == 2 && e->m_marked)) return false;
    if (e->m_speed < f.minSpeed) return false;
    if ((f.fogOfWar == 1 && !e->m_fogOfWar) || (f.fogOfWar == 2 && e->m_fogOfWar)) return false;
    if ((f.alliedVictory == 1 && !e->m_alliedVictory) || (f.alliedVictory == 2 && e->m_alliedVictory))
        return false;
    if (f.resourcesAbove > 0 && !(e->m_startResources > f.resourcesAbove)) return false;
    if (!(e->m_startResources < f.resourcesBelow) && f.resourcesBelow < 0x7FFFFFFF) return false;
    if (f.maxUnitsAbove > 0 && !(e->m_maxUnits > f.maxUnitsAbove)) return false;
    if (!(e->m_maxUnits < f.maxUnitsBelow) && f.maxUnitsBelow < 0x7FFFFFFF) return false;
    if (f.dedicated != 0) {
        const bool dedicated = e->m_systemKind == 2 || e->m_systemKind >= 7;
        const bool wanted = f.dedicated == 2 || f.dedicated >= 7;
        if (dedicated != wanted) return false;
    }
    // A server's players carry their connection, not their speed: the
    // players' minimum speed passes every server.
    bool named = f.player.empty(), players = f.playersMinConnection == 0;
    for (const SChatUser& u : e->m_playerList) {
        named = named || MasterFilter_Contains(u.name.c_str(), f.player.c_str());
        players = players || u.kind >= f.playersMinConnection;
    }
    return named && players;
}
}  // namespace

void CServerBrowser::FilterServerList() {
    Lock l(m_lock);
    const SServerListFilter& f = m_filter;
    m_visible.clear();
    for (auto& p : m_entries) {
        CServerListEntry* e = p.get();
        if (!(e->m_sources & f.sources)) continue;
        if (!MasterFilter_Location(f.location, e->m_location)) continue;
        if (f.maxPing > 0 && !(e->m_ping * 1000.0f < static_cast<float>(f.maxPing))) continue;
        if (!MasterFilter_Connection(f.connection, e->m_connection)) continue;
        if (e->m_players < f.minPlayers || e->m_maxPlayers < f.minMaxPlayers) continue;
        if ((f.flag == 1 && !e->m_inProgress) || (f.flag == 2 && e->m_inProgress)) continue;
        if (!MasterFilter_Contains(e->m_name.c_str(), f.name.c_str()) ||
            !MasterFilter_Contains(e->m_map.c_str(), f.map.c_str()) ||
            !MasterFilter_Contains(e->m_game.c_str(), f.game.c_str()) ||
            !MasterFilter_Contains(e->AddressText().c_str(), f.address.c_str()))
            continue;
        if (!PassesFurther(e, f)) continue;
        m_visible.push_back(e);
    }
    SortVisible();
}

void CServerBrowser::SortVisible() {
    // Columns: 0 name, 1 ping, 2 players, 3 map, 4 location, 5 connection,
    // 6 maximum players, 7 game, 8 address, 9 speed, 10 in progress.
    int column = m_filter.sortColumn;
    auto key = [column](const CServerListEntry* a, const CServerListEntry* b) -> int {
        auto cmp = [](auto x, auto y) { return x < y ? -1 : y < x ? 1 : 0; };
        switch (column) {
            case 1:
                return cmp(a->m_ping, b->m_ping);
            case 2:
                return cmp(a->m_players, b->m_players);
            case 3:
                return cmp(Lower(a->m_map), Lower(b->m_map));
            case 4:
                return cmp(a->m_location, b->m_location);
            case 5:
                return cmp(a->m_connection, b->m_connection);
            case 6:
                return cmp(a->m_maxPlayers, b->m_maxPlayers);
            case 7:
                return cmp(Lower(a->m_game), Lower(b->m_game));
            case 8:
                return cmp(std::make_pair(a->m_address.ip, a->m_address.port),
                           std::make_pair(b->m_address.ip, b->m_address.port));
            case 9:
                return cmp(a->m_speed, b->m_speed);
            case 10:
                return cmp(a->m_inProgress, b->m_inProgress);
            default:
                return cmp(Lower(a->m_name), Lower(b->m_name));
        }
    };
    bool down = m_filter.sortDescending != 0;
    std::stable_sort(m_visible.begin(), m_visible.end(),
                     [&](const CServerListEntry* a, const CServerListEntry* b) {
                         int k = key(a, b);
                         if (k == 0) return a->m_id < b->m_id;
                         return down ? k > 0 : k < 0;
                     });
}

std::vector<std::string> CServerBrowser::Listing() {
    Lock l(m_lock);
    std::vector<std::string> out;
    char line[512];
    std::snprintf(line, sizeof line, "%-22s%-30s%-20s%-9s%-10s", "Address", "Name", "Map", "Players", "Ping");
    out.push_back(line);
    for (auto& e : m_entries) {
        char players[24];
        std::snprintf(players, sizeof players, "%d/%d", (int)e->m_players, (int)e->m_maxPlayers);
        std::snprintf(line, sizeof line, "%-22s%-30.29s%-20.19s%-9s%-10.1f", e->AddressText().c_str(),
                      e->m_name.c_str(), e->m_map.c_str(), players, (double)e->m_ping * 1000.0);
        out.push_back(line);
    }
    for (auto& e : m_entries) {
        if (e->m_playerList.empty()) continue;
        out.push_back("");
        std::snprintf(line, sizeof line, "Players of %s:", e->m_name.c_str());
        out.push_back(line);
        out.push_back("");
        std::snprintf(line, sizeof line, "%-30s%-10s%-10s", "Name", "Ping", "Speed");
        out.push_back(line);
        for (const SChatUser& p : e->m_playerList) {
            std::snprintf(line, sizeof line, "%-30.29s%-10.2f%-10d", p.name.c_str(), (double)p.latency,
                          (int)p.value);
            out.push_back(line);
        }
    }
    return out;
}

// ---- handlers of the server browser's contacts (the client's contact registry)

// EXTERNAL_CONNECT (80): u32 result: 0 accepted, 1 another version, 2 no chat.
void NetClient_OnExternalConnect(NWEPeer* peer, NWEMessage* m, void* context) {
    CServerBrowser* b = Browser(context);
    if (!b || m->GetSize() < 4) return;
    Lock l(b->m_lock);
    CServerListEntry* e = b->EntryOf(peer, m->GetSource());
    if (!e || !e->m_link || !e->m_link->Names(peer)) return;
    uint32_t result = NWE_Get32(m->GetData());
    if (result == 0) {
        if (peer->IsActive()) return;  // a copy
        peer->SetSendCrcSeed(13);
        peer->SetActive(true);
        peer->SendMessage(NS_NOTIFYTYPE_EXTERNAL_REQUESTSERVER, nullptr, 0);
        return;
    }
    int text = result == 1 ? SYSLID_CONNECTION_WRONGPROTOCOLVERSION : SYSLID_CONNECTION_CLOSEDCHATTING;
    b->m_net->PrintColor(255, 0, 0, true, "%s", NetGame_Text(b->m_net, text));
    peer->SetTimedOut(true);
}

// EXTERNAL_BROADCAST_IMHERE (85): the server's name. A server on the LAN.
void NetClient_OnExternalBroadcastImhere(NWEPeer* peer, NWEMessage* m, void* context) {
    (void)peer;
    CServerBrowser* b = Browser(context);
    if (!b) return;
    SReader ar(m);
    std::string name = MasterText_Read(ar, kServerNameLength);
    if (!ar.End()) return;
    Lock l(b->m_lock);
    bool fresh = !b->FindEntry(m->GetSource());
    CServerListEntry* e = b->AddEntry(m->GetSource());
    if (!e) return;
    e->m_sources |= CServerListEntry::kSourceLan;
    e->m_keep = 1;
    if (e->m_name.empty() || !e->m_answered) e->m_name = name;
    if (fresh) b->RequestInfo(e);
    b->m_listChanged = true;
}

// EXTERNAL_PING (82): the ping's number echoed.
void NetClient_OnExternalPing(NWEPeer* peer, NWEMessage* m, void* context) {
    (void)peer;
    CServerBrowser* b = Browser(context);
    if (!b || m->GetSize() < 4) return;
    Lock l(b->m_lock);
    CServerListEntry* e = b->FindEntry(m->GetSource());
    if (!e || !e->m_pinging || NWE_Get32(m->GetData()) != e->m_pingCounter) return;
    NWEClock& clock = b->m_net->GetClock();
    e->m_ping = static_cast<float>(clock.Seconds(clock.Now() - e->m_pingSent));
    e->m_pinging = 0;
    if (b->m_step == 3) ++b->m_finished;
    b->m_listChanged = true;
}

// EXTERNAL_REQUESTSERVER (87): the server's description record: u32 server
// id, u8 location, u8 in progress, u8 system kind, u16 benchmark speed, u8
// connection kind, map file, game folder, server name, u32 maximum players,
// u8 fog of war, u8 allied victory, u32 start resources, u32 maximum units,
// u32 player count, per player its name, u16 value, u8 connection kind, f32
// latency (at least 31 bytes).
void NetClient_OnExternalRequestserver(NWEPeer* peer, NWEMessage* m, void* context) {
    CServerBrowser* b = Browser(context);
    if (!b || m->GetSize() < kRecordMin) return;
    Lock l(b->m_lock);
    CServerListEntry* e = b->EntryOf(peer, m->GetSource());
    if (!e || !e->m_link || !e->m_link->Names(peer)) return;
    SReader ar(m);
    CServerListEntry d;
    d.m_uniqueId = ar.ReadU32();
    d.m_location = ar.ReadU8();
    d.m_inProgress = ar.ReadU8() ? 1 : 0;
    d.m_systemKind = ar.ReadU8();
    d.m_speed = ar.ReadU16();
    d.m_connection = ar.ReadU8();
    d.m_map = MasterText_Read(ar, kMasterMaxText);
    d.m_game = MasterText_Read(ar, kMasterMaxText);
    d.m_name = MasterText_Read(ar, kServerNameLength);
    int32_t maxPlayers = ar.ReadI32();
    d.m_fogOfWar = ar.ReadU8();
    d.m_alliedVictory = ar.ReadU8();
    d.m_startResources = ar.ReadI32();
    d.m_maxUnits = ar.ReadI32();
    uint32_t count = ar.ReadU32();
    if (!ar.Ok() || count > ar.GetRemaining() / kPlayerRecordMin) return;
    for (uint32_t i = 0; i < count; ++i) {
        SChatUser p;
        p.name = MasterText_Read(ar, kMasterMaxName);
        p.value = ar.ReadU16();
        p.kind = ar.ReadU8();
        float latency = 0.0f;
        ar.F32(latency);
        p.latency = latency == latency && latency >= 0.0f && latency < 1000.0f ? latency : 0.0f;
        if (d.m_playerList.size() < kMaxPlayers) d.m_playerList.push_back(p);
    }
    if (!ar.End()) return;
    // The record read whole: the entry takes it.
    e->m_uniqueId = d.m_uniqueId;
    e->m_location = d.m_location;
    e->m_inProgress = d.m_inProgress;
    e->m_systemKind = d.m_systemKind;
    e->m_speed = d.m_speed;
    e->m_connection = d.m_connection;
    e->m_map = d.m_map;
    e->m_game = d.m_game;
    e->m_name = d.m_name;
    e->m_maxPlayers = static_cast<uint16_t>(std::min(std::max(maxPlayers, 0), 65535));
    e->m_fogOfWar = d.m_fogOfWar;
    e->m_alliedVictory = d.m_alliedVictory;
    e->m_startResources = d.m_startResources;
    e->m_maxUnits = d.m_maxUnits;
    e->m_players = static_cast<uint16_t>(std::min<uint32_t>(count, 65535));
    e->m_playerList = std::move(d.m_playerList);
    e->m_answered = 1;
    if (e->m_requesting) {
        e->m_requesting = 0;
        ++b->m_finished;
    }
    b->m_listChanged = true;
    // A contact that only asked for the details ends here.
    if (!e->m_chat) b->CloseLink(e, true);
}

// SM_WRAPMESSAGE (89): a chat line of the contacted server's game.
void NetClient_OnSmWrapmessage(NWEPeer* peer, NWEMessage* m, void* context) {
    CServerBrowser* b = Browser(context);
    if (!b || !b->IsContactLink(peer)) return;
    NetClient_PrintMessage(static_cast<CNetGame*>(context), m);
}
