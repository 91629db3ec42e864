// A world with units to test in: the world test host with a world grid over
// a square map, two players of their own (red of the Granite race and blue
// of the Coral race, enemies), and the demo content's units as the game
// loads them (the build's packed project, through the unit loader, with the
// template sizes from their shapes). Run through ctest (the build's
// installation is found by TESSARAK_BUILD).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/WorldTestHost.h"

class CProjectList;
class CUnit;
class CUnitTemplate;
class CWorldGrid;

// The Units folder of the build's installation, as the game names it ("Z:"
// is the root); "" (with the reason in error) when TESSARAK_BUILD is not set.
std::string Test_DemoUnitsFolder(std::string& error);

class CUnitWorld : public CWorldTestHost {
public:
    // A map from -half to half on both axes.
    explicit CUnitWorld(int32_t half = 64);
    ~CUnitWorld() override;

    // The demo templates; false (with the console's lines in error) when the
    // project cannot be loaded.
    bool LoadDemoTemplates(std::string& error);
    CUnitTemplate* UnitTemplate(const char* name) const;
    // A unit of the template at (x, 0, z) with the next object id, complete
    // (built) unless told otherwise.
    CUnit* Spawn(const char* templateName, float x, float z, CPlayer* owner, bool complete = true);
    CUnit* Spawn(CTessarakObjectTemplate* tmpl, float x, float z, CPlayer* owner, bool complete = true);
    // A unit template of the test's own (a new id each), its keys read as the
    // loader reads them, with a record for every player.
    CUnitTemplate* MakeUnitTemplate(const char* name,
                                    const std::vector<std::pair<const char*, const char*>>& keys);
    // Logic ticks as the game runs them: the clock advances one tick period,
    // then an empty turn of the world.
    void Tick(int count = 1);
    // Logic ticks of a session with this machine alone: the orders, stops
    // and ways the world sent (messages 134, 137 and 142) come back as the
    // orders of the next turn, as the server's frame brings them. Returns
    // the messages taken.
    size_t Run(int count = 1);
    // Takes the order messages sent so far (the others stay in sent) as a
    // turn that steps nothing.
    size_t Deliver();
    // The order messages sent so far, as a turn's orders (the others stay
    // in sent).
    CTurnOrders TakeOrders();

    CPlayer* red = nullptr;
    CPlayer* blue = nullptr;
    CProjectList* projectList = nullptr;
    uint32_t m_nextTemplateId = 9000;
};
