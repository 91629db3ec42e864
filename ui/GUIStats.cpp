// The statistics lists of the game's end screen (and of a game in
// progress): one row per player (colour, name, race, team, ping or what it
// built, resources, the value it destroyed, score, result) and one per team
// (name, built, resources, destroyed, score). The best score's row pulses.
// While the game runs only the names, teams, pings and resources show; once
// it is won or lost the rest does.
//
// What a player built, gathered and destroyed are its two score counters and
// its score value, which the world counts in every machine's tick (units
// and buildings finished, loads of resources delivered, the value of enemy
// units destroyed); the score is made of them (CPlayer::GetScore).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e3d/Surface.h"
#include "netgame/NetGame.h"
#include "ui/GUIListRows.h"
#include "ui/GUIObject.h"
#include "ui/GUIRoles.h"
#include "ui/Interface.h"
#include "world/ObjectTemplate.h"
#include "world/Player.h"

namespace {

using GUIRows::Child;
using GUIRows::Rows;
using GUIRows::SetLine;

constexpr uint32_t kDim = 0x8000;
enum : int32_t {
    kSysLidStatsPing = 298,
    kSysLidStatsConstructed = 299,
    kSysLidStatsNone = 300,
    kSysLidStatsUnknown = 301
};

std::string Number(int32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", (int)v);
    return text;
}

void SetVisible(CGUIObject* o, bool visible) {
    if (o) o->m_Visible = visible ? 1 : 0;
}

// The best row pulses; the others are drawn dim.
void Highlight(CGUIObject* row, size_t from, size_t to, bool best) {
    for (size_t i = from; i <= to; ++i)
        if (CGUIObject* c = Child(row, i)) {
            c->m_Pulsing = best ? 1 : 0;
            if (!best) c->m_Color1 = c->m_Color2 = kDim;
        }
}

bool Finished(CInterface* ui) {
    return ui->GUIGame().MissionWon() || ui->GUIGame().MissionLost();
}

}  // namespace

void CInterface::FillPlayerStats(CGUIObject* list, CE3DSurface* canvas) {
    CNetGame* net = NetGame();
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!net || !rows) return;
    const bool finished = Finished(this);
    // The column titles: the fourth is the ping while the game runs and what
    // was built at its end; the score's only at the end.
    SetLine(m_Panels[kPanelStatPlayerConstructed],
            GetSystemText(finished ? kSysLidStatsConstructed : kSysLidStatsPing));
    SetVisible(m_Panels[kPanelStatPlayerScore], finished);
    CPlayerList& list_ = net->m_players;
    std::vector<CPlayer*> players;
    for (CPlayer* p : list_.m_players)
        if (p != list_.m_neutral) players.push_back(p);
    // The best: the first, or a later one with a higher score.
    CPlayer* best = players.empty() ? nullptr : players[0];
    int32_t bestScore = 0;
    for (CPlayer* p : players)
        if (p->GetScore() > bestScore) {
            best = p;
            bestScore = p->GetScore();
        }
    const int32_t shown = int32_t(rows->size()), count = int32_t(players.size());
    m_playerStatsScroll = std::max(0, std::min(m_playerStatsScroll, count - shown));
    const bool network = GUIGame().GameType() == 2;
    const bool watching = GUIGame().Watching();
    CPlayer* local = list_.m_local;
    for (int32_t r = 0; r < shown; ++r) {
        CGUIObject* row = (*rows)[size_t(r)];
        const int32_t at = m_playerStatsScroll + r;
        if (at >= count) {
            row->m_ChildrenHidden = 1;
            continue;
        }
        CPlayer* p = players[size_t(at)];
        row->m_ChildrenHidden = 0;
        row->m_Visible = 1;
        // The player's colour in the swatch column.
        if (CGUIObject* swatch = Child(row, 0); swatch && canvas && swatch->m_Size[0] > 0 && canvas->Lock()) {
            canvas->DrawFilledRect(
                swatch->m_ScreenX + 4, swatch->m_ScreenY + 2, swatch->m_ScreenX + swatch->m_Size[0] - 1,
                swatch->m_ScreenY + swatch->m_Size[1] - 3, uint8_t(std::lround(p->m_colour[0])),
                uint8_t(std::lround(p->m_colour[1])), uint8_t(std::lround(p->m_colour[2])));
            canvas->Unlock();
        }
        Highlight(row, 1, 8, p == best);
        SetLine(Child(row, 1), p->m_name.GetText());
        // The race played: a player on the unit file's default race plays
        // the race its start unit belongs to.
        const CRace* played = p->m_race;
        if (played && played == list_.m_defaultRace && played->m_startUnit && played->m_startUnit->m_race)
            played = played->m_startUnit->m_race;
        std::string race = played ? played->m_name.GetText() : GetSystemText(kSysLidStatsUnknown);
        if (p == local && watching) race = "Watching";
        SetLine(Child(row, 2), race);
        SetLine(Child(row, 3), p->m_team ? p->m_team->m_name.GetText() : GetSystemText(kSysLidStatsNone));
        if (finished) {
            SetLine(Child(row, 4), Number(p->m_scoreCounters[0]));
        } else if (network) {
            char ping[32];
            std::snprintf(ping, sizeof ping, "%.2f", p->m_latency * 1000.0f);
            SetLine(Child(row, 4), ping);
        } else {
            SetLine(Child(row, 4), "-");
        }
        SetLine(Child(row, 5), Number(p->m_scoreCounters[1]));
        SetLine(Child(row, 6), finished ? Number(int32_t(std::lround(p->m_scoreValue))) : "");
        SetLine(Child(row, 7), finished ? Number(p->GetScore()) : "");
        std::string result;
        const bool racesWatch = p->m_race && p->m_race->m_watching;
        if (p == local && GUIGame().MissionWon())
            result = GetSystemText(kSysLidVictory);
        else if (p->m_categories[CPlayer::kCategoryAll].GetCount() == 0 && !racesWatch &&
                 !(p == local && watching))
            result = GetSystemText(kSysLidDefeat);
        SetLine(Child(row, 8), result);
    }
}

void CInterface::FillTeamStats(CGUIObject* list) {
    CNetGame* net = NetGame();
    std::vector<CGUIObject*>* rows = Rows(list);
    if (!net || !rows) return;
    const bool finished = Finished(this);
    SetVisible(m_Panels[kPanelStatTeamConstructed], finished);
    SetVisible(m_Panels[kPanelStatTeamScore], finished);
    // The teams in the order they were made, then each player without a
    // team as a side of its own (a skirmish's players have none).
    struct SSide {
        std::string name;
        int32_t constructed, resources, destroyed, score;
    };
    std::vector<SSide> sides;
    for (auto it = net->m_players.m_teams.rbegin(); it != net->m_players.m_teams.rend(); ++it) {
        const CTeam* t = *it;
        sides.push_back({t->m_name.GetText(), t->m_scoreCounters[0], t->m_scoreCounters[1],
                         int32_t(std::lround(t->m_scoreValue)), t->GetScore()});
    }
    for (const CPlayer* p : net->m_players.m_players)
        if (p != net->m_players.m_neutral && !p->m_team)
            sides.push_back({p->m_name.GetText(), p->m_scoreCounters[0], p->m_scoreCounters[1],
                             int32_t(std::lround(p->m_scoreValue)), p->GetScore()});
    size_t best = 0;
    int32_t bestScore = 0;
    for (size_t i = 0; i < sides.size(); ++i)
        if (sides[i].score > bestScore) {
            best = i;
            bestScore = sides[i].score;
        }
    const int32_t shown = int32_t(rows->size()), count = int32_t(sides.size());
    m_teamStatsScroll = std::max(0, std::min(m_teamStatsScroll, count - shown));
    for (int32_t r = 0; r < shown; ++r) {
        CGUIObject* row = (*rows)[size_t(r)];
        const int32_t at = m_teamStatsScroll + r;
        if (at >= count) {
            row->m_ChildrenHidden = 1;
            continue;
        }
        const SSide& t = sides[size_t(at)];
        row->m_ChildrenHidden = 0;
        row->m_Visible = 1;
        Highlight(row, 0, 4, size_t(at) == best);
        SetLine(Child(row, 0), t.name);
        SetLine(Child(row, 1), finished ? Number(t.constructed) : "");
        SetLine(Child(row, 2), Number(t.resources));
        SetLine(Child(row, 3), finished ? Number(t.destroyed) : "");
        SetLine(Child(row, 4), finished ? Number(t.score) : "");
    }
}
