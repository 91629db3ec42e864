// The fixture of the unit tests: a unit world with the demo templates loaded
// (the test fails at once when they cannot be), and the tick step.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "tests/support/UnitWorld.h"

class UnitWorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        ASSERT_TRUE(w.LoadDemoTemplates(error)) << error;
        dt = w.tickStep;
    }
    CGameScene& scene() { return *w.scene; }

    CUnitWorld w;
    float dt = 0.0f;
};
