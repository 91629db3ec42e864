// Key names and the binding tables: which lines run for which events.
#include "app/KeyBind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/KeyNames.h"

TEST(KeyNames, NamesGiveCodes) {
    struct {
        const char* name;
        int code;
    } cases[] = {
        {"JOYSTICK_BUTTON5", 288},
        {"joystick_button127", 410},
        {"JOYSTICK_BUTTON0", 0},
        {"JOYSTICK_BUTTON128", 0},
        {"#300", 300},
        {"#435", 435},
        {"#0", 0},
        {"#436", 0},
        {"#5000", 0},
        {"#", 0},
        {"#12x", 0},
        {"#99999999999999999999", 0},
        {"q", 16},
        {"Q", 16},
        {"NUM_SUBSTRACT", 74},
        {"num_-", 74},
        {"subtract", 74},
        {"/", 53},
        {"NUM_/", 181},
        {"`", 41},
        {"RETURN", 28},
        {"enter", 28},
        {"MOUSE_BUTTON1", 259},
        {"MOUSE_BUTTON10", 268},
        {"MOUSE_WHEELDOWN", 270},
        {"JOYSTICK_POV4", 282},
        {"JOYSTICK_FORCE_SLIDER2", 434},
        {"JOYSTICK_VELOCITY_AXISX", 411},
        {"ANIM_END", 435},
        {"foo", 0},
        {"", 0},
    };
    for (const auto& c : cases) EXPECT_EQ(KeyCodeFromName(c.name), c.code) << c.name;
    EXPECT_EQ(KeyCodeFromName(nullptr), 0);
}

TEST(KeyNames, CodesGivePreferredNamesThatReadBack) {
    EXPECT_EQ(KeyNameFromCode(74), "NUM_SUBSTRACT");
    EXPECT_EQ(KeyNameFromCode(84), "#84");
    EXPECT_EQ(KeyNameFromCode(288), "JOYSTICK_BUTTON5");
    EXPECT_EQ(KeyNameFromCode(28), "RETURN");
    EXPECT_EQ(KeyNameFromCode(201), "PG_UP");
    EXPECT_EQ(KeyNameFromCode(16), "q");
    EXPECT_EQ(KeyNameFromCode(-3), "#-3");
    char small[4];
    EXPECT_STREQ(KeyNameFromCode(small, sizeof small, 74), "NUM");
    for (int code = 1; code < kKeyCodeCount; ++code)
        EXPECT_EQ(KeyCodeFromName(KeyNameFromCode(code).c_str()), code) << KeyNameFromCode(code);
}

TEST(KeyNames, BindEventsAndGroups) {
    EXPECT_EQ(KeyEventFromName("down"), KEYEVENT_DOWN);
    EXPECT_EQ(KeyEventFromName("DBLCLK"), KEYEVENT_DBLCLK);
    EXPECT_EQ(KeyEventFromName("Repeat"), KEYEVENT_REPEAT);
    EXPECT_EQ(KeyEventFromName("Press"), -1);
    EXPECT_EQ(BindGroupFromModifiers(true, true, true, false), BINDGROUP_CONTROL_SHIFT_ALT);
    EXPECT_EQ(BindGroupFromModifiers(false, true, false, true), BINDGROUP_SHIFT);
    EXPECT_EQ(BindGroupFromModifiers(false, false, false, true), BINDGROUP_OVERRIDE);
    EXPECT_EQ(BindGroupFromModifiers(false, true, true, false), BINDGROUP_SHIFT_ALT);
}

namespace {
constexpr uint64_t kPerSecond = 1193182;

struct Fixture {
    std::vector<std::string> ran, printed;
    uint64_t now = 10 * kPerSecond;
    CKeyBindings keys{{[this](const char* l) { ran.push_back(l); },
                       [this](const char* l) { printed.push_back(l); }, [this] { return now; }, kPerSecond}};
    void Bind(int group, int event, int code, const char* line) {
        ASSERT_TRUE(keys.SetBinding(group, event, code, line));
    }
    std::vector<std::string> Take() {
        std::vector<std::string> r;
        r.swap(ran);
        return r;
    }
};
using Lines = std::vector<std::string>;
}  // namespace

TEST(KeyBindings, SetBindingRefusesCodesOutsideTheTable) {
    Fixture f;
    EXPECT_FALSE(f.keys.SetBinding(BINDGROUP_NONE, KEYEVENT_DOWN, 0, "x"));
    EXPECT_FALSE(f.keys.SetBinding(BINDGROUP_NONE, KEYEVENT_DOWN, 436, "x"));
    EXPECT_FALSE(f.keys.SetBinding(9, KEYEVENT_DOWN, 16, "x"));
    EXPECT_FALSE(f.keys.SetBinding(BINDGROUP_NONE, 6, 16, "x"));
    EXPECT_TRUE(f.keys.SetBinding(BINDGROUP_NONE, KEYEVENT_DOWN, 435, "x"));
    f.keys.InitBindingTables();
    EXPECT_EQ(f.keys.Binding(BINDGROUP_NONE, KEYEVENT_DOWN, 435), "");
}

TEST(KeyBindings, ModifierGroupsAndOverride) {
    Fixture f;
    f.Bind(BINDGROUP_NONE, KEYEVENT_DOWN, 16, "plain down");
    f.Bind(BINDGROUP_NONE, KEYEVENT_UP, 16, "plain up");
    f.Bind(BINDGROUP_SHIFT, KEYEVENT_DOWN, 16, "shift down");
    f.Bind(BINDGROUP_SHIFT, KEYEVENT_UP, 16, "shift up");
    f.Bind(BINDGROUP_OVERRIDE, KEYEVENT_DOWN, 16, "override down");
    f.Bind(BINDGROUP_CONTROL_SHIFT, KEYEVENT_DOWN, 16, "control shift down");

    f.keys.KeyDown(16);
    EXPECT_EQ(f.Take(), (Lines{"plain down", "override down"}));
    // Pressing shift moves the held key to the shift group.
    f.keys.KeyDown(kKeyLShift);
    EXPECT_EQ(f.Take(), (Lines{"plain up", "shift down"}));
    f.keys.KeyUp(16);
    EXPECT_EQ(f.Take(), (Lines{"shift up"}));
    f.keys.KeyDown(16);
    EXPECT_EQ(f.Take(), (Lines{"shift down", "override down"}));
    f.keys.KeyUp(16);
    f.keys.KeyDown(kKeyRControl);
    f.Take();
    f.keys.KeyDown(16);
    EXPECT_EQ(f.Take(), (Lines{"control shift down", "override down"}));
}

TEST(KeyBindings, BothModifierKeysHeld) {
    Fixture f;
    f.keys.KeyDown(kKeyLControl);
    f.keys.KeyDown(kKeyRControl);
    f.keys.KeyUp(kKeyLControl);
    EXPECT_TRUE(f.keys.m_control);
    f.keys.KeyUp(kKeyRControl);
    EXPECT_FALSE(f.keys.m_control);

    f.keys.KeyDown(kKeyLAlt);
    f.keys.KeyDown(kKeyRAlt);
    f.keys.KeyUp(kKeyRAlt);
    EXPECT_TRUE(f.keys.m_alt);

    // Shift is the exception: one release clears it.
    f.keys.KeyDown(kKeyLShift);
    f.keys.KeyDown(kKeyRShift);
    f.keys.KeyUp(kKeyRShift);
    EXPECT_FALSE(f.keys.m_shift);
}

TEST(KeyBindings, RepeatAfterDelayThenAtRate) {
    Fixture f;
    f.Bind(BINDGROUP_NONE, KEYEVENT_REPEAT, 30, "r");
    f.Bind(BINDGROUP_NONE, KEYEVENT_CONTINUOUS, 30, "c");
    f.keys.KeyDown(30);
    EXPECT_EQ(f.Take(), (Lines{"r"}));
    f.now += kPerSecond / 5;  // 0.2 s: not yet
    f.keys.ProcessHeldKeys(true);
    EXPECT_EQ(f.Take(), (Lines{"c"}));
    f.now += kPerSecond / 20;  // 0.25 s
    f.keys.ProcessHeldKeys(true);
    EXPECT_EQ(f.Take(), (Lines{"c", "r"}));
    f.now += kPerSecond;  // one more second: 30 repeats
    f.keys.ProcessHeldKeys(true);
    Lines lines = f.Take();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "r"), 30);

    // Without focus the repeat time follows the clock, so nothing piles up.
    f.now += 10 * kPerSecond;
    f.keys.ProcessHeldKeys(false);
    EXPECT_EQ(f.Take(), (Lines{"c"}));
    f.now += kPerSecond / 100;
    f.keys.ProcessHeldKeys(true);
    EXPECT_EQ(f.Take(), (Lines{"c", "r"}));
    f.keys.KeyUp(30);
    f.keys.ProcessHeldKeys(true);
    EXPECT_EQ(f.Take(), Lines{});
}

TEST(KeyBindings, DoubleClickOnSecondQuickRelease) {
    Fixture f;
    f.Bind(BINDGROUP_NONE, KEYEVENT_DBLCLK, kKeyMouseButton1, "double");
    f.Bind(BINDGROUP_OVERRIDE, KEYEVENT_DBLCLK, kKeyMouseButton1, "override double");
    f.keys.KeyDown(kKeyMouseButton1);
    f.keys.KeyUp(kKeyMouseButton1);
    EXPECT_EQ(f.Take(), Lines{});
    f.now += kPerSecond / 4;
    f.keys.KeyDown(kKeyMouseButton1);
    f.keys.KeyUp(kKeyMouseButton1);
    EXPECT_EQ(f.Take(), (Lines{"double", "override double"}));
    f.now += kPerSecond;  // too slow
    f.keys.KeyDown(kKeyMouseButton1);
    f.keys.KeyUp(kKeyMouseButton1);
    EXPECT_EQ(f.Take(), Lines{});
}

TEST(KeyBindings, ShowKeysAndChange) {
    Fixture f;
    f.Bind(BINDGROUP_NONE, KEYEVENT_CHANGE, 16, "changed");
    f.keys.m_showKeys = 1;
    f.keys.KeyDown(16);
    EXPECT_EQ(f.Take(), (Lines{"changed"}));
    EXPECT_EQ(f.printed, (Lines{"Key Change (16): q"}));
    // An axis has no repeat time, so it is not shown.
    f.keys.SetValue(kKeyMouseAxisX, 0.5f);
    f.keys.Change(kKeyMouseAxisX);
    EXPECT_EQ(f.printed.size(), 1u);
}

TEST(KeyBindings, BindingRebindingItselfWhileRunning) {
    std::vector<std::string> ran;
    CKeyBindings* keys = nullptr;
    CKeyBindings k({[&](const char* l) {
                        ran.push_back(l);
                        keys->SetBinding(BINDGROUP_NONE, KEYEVENT_DOWN, 16,
                                         "second text that is longer than the first");
                    },
                    nullptr, [] { return uint64_t(1); }, kPerSecond});
    keys = &k;
    k.SetBinding(BINDGROUP_NONE, KEYEVENT_DOWN, 16, "first");
    k.KeyDown(16);
    EXPECT_EQ(ran, (Lines{"first"}));
}
