// A computer player: plays one player of the session on the host. It sorts
// the player's new fighting units into attack, defend and spy groups, builds
// with its build planner, sends harvesters out, defends its structures,
// attacks the enemy where its danger grid says the enemy is weakest, and
// keeps that grid.
//
// It reads the world only through the world's query (records by value,
// objects by id) and gives orders only through the world's order interface;
// the orders take the road of any player's (queued on the host, sent as
// order messages, run by every machine in the same frame). The units it
// commands are its player's, so every order on them is its own: it needs no
// issuer on the orders. Its random numbers come from a generator of its own,
// seeded from the game and its player id.
//
// Its behaviour is set by 22 tuning parameters (a default and a spread
// each, re-rolled from the generator), read from the learning files.
// Delays given in seconds are compared with game-time differences after
// multiplication by 1,000,000 (game time counts 1,193,182 a second, so an
// "AI second" is 0.84 s).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ai/AreaGrid.h"
#include "core/Random.h"
#include "world/WorldQuery.h"

class CAIManager;
class CAIGroup;
class CAIFile;
class CWorld;
class CUnitTemplate;
class CStateArchive;
struct SAIPlayerRecord;

// A tuning value with a default and a spread.
struct SAIParameter {
    enum EKind : uint8_t { kInt, kFloat, kBool };
    const char* name;
    EKind kind;
    float def;
    float spread;
    float value;  // an int parameter holds a whole number
};

// The 22 parameters with their defaults and spreads, in the order they are
// made (CComputerPlayer::EParameter), not re-rolled yet.
enum : int { AIParameter_Count = 22 };
std::vector<SAIParameter> AIParameter_Defaults();
// Re-rolls the value from the default and the spread: an int parameter
// takes rand % (2 x spread) + default - spread (the default when the spread
// is below 1), a float one r x spread x 2 + default - spread with r from
// [0, 1), a bool one its default.
void AIParameter_Reroll(SAIParameter& p, CRandomStream& random);
// Takes the parameter's entry of a learning file (true when there is one):
// the default and the spread (cut to the default), or, for a bool, on or off
// by the first number. Numbers are cut to +-1,000,000, an int's to whole.
bool AIParameter_Read(const CAIFile& file, SAIParameter& p);

// The units of the tick, shared by the computer players: every unit alive,
// in the scene's order, and where each id stands in the list.
struct SAIUnits {
    std::vector<SUnitView> all;
    std::unordered_map<int32_t, size_t> index;  // looked up, never walked
    const SUnitView* Find(int32_t id) const {
        auto it = index.find(id);
        return it == index.end() ? nullptr : &all[it->second];
    }
};

// A player's base: the mean place of its structures, how far the farthest
// lies from it (radius) and the root of the mean squared distance (spread).
struct SAIBase {
    float x = 0.0f, z = 0.0f, radius = 0.0f, spread = 0.0f;
};

class CComputerPlayer {
public:
    // The parameters in the order they are made (and read).
    enum EParameter {
        kMinDistanceBetweenBuildings,
        kMinDistanceForGroup,
        kDefendRadius,
        kBuildDelay,
        kFirstAttackDelay,
        kFirstSpyDelay,
        kAttackDelay,
        kInstantAttack,
        kNrOfGroupsAttackingTogether,
        kWantAttackingGroups,
        kWantDefendingGroups,
        kWantSpyingGroups,
        kNumberInAttackGroups,
        kNumberInDefendGroups,
        kNumberInSpyGroups,
        kCheating,
        kLowResources,
        kLowEnergy,
        kAttackDistanceIncrement,
        kForgettingForCollisionGrid,
        kMinDistanceToOwnUnitsForWarpNuke,
        kTimeBetweenWarpTargetUpdates,
        kParameterCount
    };
    enum ERole : int32_t { kRoleAttack = 0, kRoleDefend = 1, kRoleNone = 2, kRoleSpy = 3 };
    static constexpr int32_t kPhases = 11;  // one cycle of the phase step

    // Made inactive; the parameters take their defaults, each re-rolled from
    // the generator seeded with seed.
    CComputerPlayer(CAIManager& manager, CWorld& world, int32_t playerId, uint32_t seed);
    ~CComputerPlayer();
    CComputerPlayer(const CComputerPlayer&) = delete;
    CComputerPlayer& operator=(const CComputerPlayer&) = delete;

    // For the map the manager names (nothing without one): the groups and
    // new units go, the danger grid covers the map, the times start now, the
    // build tree is made from the player's race and the learning files are
    // read; then it plays (active).
    void Reset();
    // What is left of a unit's values goes into the danger grid, however
    // small, and the unit is forgotten (it left play).
    void FlushUnit(int32_t id, float x, float z, float valueLost, float valueDestroyed);
    // A unit that came into play: sorted into a group at the next sorting.
    void AddUnit(int32_t id);
    // One logic tick (nothing while not active).
    void Update(const SAIUnits& units);
    // Every group that finds a target attacks it.
    void SendGroupToAttack();
    // Reads InitParameters%d.ai (the map's, else the shared one).
    void ReadInitParameters();
    // ---- saved games (AIRecords.h)
    // The record of this computer player as it stands.
    void SaveState(SAIPlayerRecord& record) const;
    // Whether a record read fits this game (its map, its content and, given
    // the game time its differences count back from, that time); false with
    // the reason.
    bool CheckState(const SAIPlayerRecord& record, std::string* why, const uint64_t* now,
                    const int32_t* mapRect = nullptr) const;
    // Starts on the map as a map load does (with the record's difficulty),
    // then takes the record's state, its times counted back from now: it
    // plays on as the saved one did.
    void LoadState(const SAIPlayerRecord& record, uint64_t now);

    // ---- what the groups use
    // A move of the unit to a point at radius around (x, z) in a direction
    // of (rand % 360) degrees, clamped into the map less the unit's radius.
    void IssueMoveNear(int32_t unit, float x, float z, float radius);
    void IssueMove(int32_t unit, float x, float z);
    // An attack of the units on the target.
    void IssueAttack(const std::vector<int32_t>& units, int32_t target);
    // The units' queued orders go (the running one's end is sent).
    void StopUnits(const std::vector<int32_t>& units);
    // An enemy player to take targets from: one of the players not allied
    // with this one that still has units, chosen by rand; -1 for none.
    int32_t PickTargetPlayer();
    // A debug line "name: text" in the player's colour (while the manager's
    // debug flag is set).
    void DebugPrintf(const char* format, ...);
    int32_t Rand() { return m_random.Rand(); }
    float Random01() { return m_random.Random01(); }
    void Reroll(SAIParameter& p);

    const SAIUnits& Units() const { return *m_units; }
    const CAreaGrid& Grid() const { return m_grid; }
    CAreaGrid& Grid() { return m_grid; }
    int32_t PlayerId() const { return m_playerId; }
    bool Active() const { return m_active; }
    uint64_t Now() const { return m_now; }
    const std::string& Name() const { return m_name; }
    SAIParameter& Parameter(EParameter p) { return m_parameters[p]; }
    int32_t IntParameter(EParameter p) const { return static_cast<int32_t>(m_parameters[p].value); }
    const std::vector<SAIParameter>& Parameters() const { return m_parameters; }
    int32_t Phase() const { return m_phase; }
    const std::vector<std::unique_ptr<CAIGroup>>& Groups() const { return m_groups; }
    const SAIBase* BaseOf(int32_t playerId) const;
    CWorld& World() { return m_world; }
    CAIManager& Manager() { return m_manager; }

    // ---- the build planner (BuildPlanner.cpp)
    struct SKnowledge {
        const CUnitTemplate* tmpl = nullptr;
        const CUnitTemplate* parent = nullptr;  // its builder in the build tree (null: the root)
        int32_t fitness = 50;
        int32_t score = 0;
        int32_t aliveMax = 10000;
        int32_t gameMax = 10000;
        int32_t built = 0;  // built in this game
        bool fitnessFound = false;
    };
    void BuildTree();
    void BuildStep();
    bool CanBuild(const SKnowledge& k, bool skipBusy) const;
    // Whether the world lets the player build the template now: the map's
    // build restriction, and "OnlySinglePlayerBuild" outside a
    // single-player game.
    bool Allowed(const CUnitTemplate* t) const;
    bool IsWorthBuilding(const CUnitTemplate* t) const;
    bool Build(const SKnowledge& k);
    void SendHelpBuilding();
    bool FindBuildSite(const CUnitTemplate* t, float* x, float* z);
    bool SpiralSearch(const CUnitTemplate* t, float cx, float cz, float* x, float* z);
    bool IsSiteFree(const CUnitTemplate* t, float clearance, float x, float z) const;
    bool FindResourceSite(const CUnitTemplate* t, float* x, float* z);
    const SAIBase* NearestEnemyBase() const;
    // The limits and the fitness of every buildable template from the
    // learning files, then the attack statistics.
    void ReadTemplateFiles();
    void ReadAttackStatistics();
    int32_t AliveCount(const CUnitTemplate* t) const;
    std::vector<SKnowledge>& Knowledge() { return m_knowledge; }
    bool HarvestPossible() const { return m_harvestPossible; }
    // The sites that builders were sent to (each until its builder takes up
    // another order).
    struct SSite {
        int32_t builder;
        const CUnitTemplate* tmpl;
        float x, z;
    };

    // The player's energy help is taken back (the computer player stops
    // playing it: AI_Active 0).
    void WithdrawEnergyHelp();

    bool m_learningMatch = false;
    // The energy help last sent (-1: none sent by this machine yet; the
    // player's own then counts).
    float m_energyHelpSent = -1.0f;
    uint64_t m_lastAttack = 0;
    // The race asked for ("": the first free one) and whether the player has
    // it (a player added before the races existed gets it at the map load).
    std::string m_wantedRace;
    bool m_raceChosen = false;

private:
    // Members that left play drop out of their groups; a group left empty goes.
    void DropLostMembers();
    void PhaseBases();
    void PhaseCensus();
    void PhaseSort();
    void PhaseDefend();
    void PhaseHarvest();
    void PhaseGroups();
    void PhaseDangerGrid();
    // The energy help goes to the session when it differs from the one sent
    // (or, none sent yet, the one given) by more than a tenth.
    void SendEnergyHelp(float help, float given);
    // Warp nukes are launched and warp units moved, one a throttle period.
    void PhaseWarp();
    // The nuke's target in the enemy's units (false: none): see the source.
    bool PickNukeTarget(const SUnitView& nuke, int32_t enemy, float ratio, float* x, float* z) const;
    // The warp unit's target in the enemy's units (false: none).
    bool PickWarpTarget(int32_t enemy, float* x, float* z) const;
    void SortUnit(const SUnitView& u);
    // Reads the learning file of the name (numbers to an entry) from the
    // map's folder for the race, else from the shared one (mapFirst false:
    // the other way round; mapOnly: the map's alone); false when none opens.
    bool OpenLearningFile(const char* name, int numbers, bool mapFirst, bool mapOnly, CAIFile* file);
    // The player's units of the tick (its own records).
    std::vector<const SUnitView*> Own() const;

    CAIManager& m_manager;
    CWorld& m_world;
    int32_t m_playerId;
    std::string m_name;
    std::string m_raceName;
    CRandomStream m_random;
    // Whether "No player to attack!!!" was said since the last target: it
    // is said once, not every tick after the game ends (debug output only).
    bool m_saidNoTarget = false;
    bool m_active = false;
    bool m_harvestPossible = true;
    int32_t m_phase = 0;
    int32_t m_groupCount[4] = {0, 0, 0, 0};
    std::vector<SAIParameter> m_parameters;
    uint64_t m_start = 0, m_now = 0, m_elapsed = 0, m_lastBuild = 0, m_lastDecay = 0, m_lastWarp = 0;
    CAreaGrid m_grid;
    std::vector<std::unique_ptr<CAIGroup>> m_groups;
    std::vector<int32_t> m_newUnits;
    std::vector<SKnowledge> m_knowledge;  // the buildable templates, the race root first
    std::vector<SSite> m_sites;
    std::vector<int32_t> m_helpers;  // builders sent to help
    // The value each unit had lost and destroyed when its grid last took it.
    std::unordered_map<int32_t, std::pair<float, float>> m_folded;  // looked up, never walked
    const SAIUnits* m_units = nullptr;
    SAIUnits m_noUnits;
};
