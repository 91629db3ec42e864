// The window, the display drivers and the event pump, on whatever video
// driver the environment gives (Xvfb in CI, offscreen or dummy elsewhere).
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/display/Display.h"

namespace {

struct SSeen {
    std::vector<SDisplayEvent> events;
    std::vector<int> order;
    int tag = 0;
};

void Record(const SDisplayEvent& e, void* ctx) {
    SSeen* s = static_cast<SSeen*>(ctx);
    s->events.push_back(e);
    s->order.push_back(s->tag);
}

}  // namespace

TEST(ScreenDisplay, DriversListPrimaryFirstWithBothDepths) {
    std::vector<SDisplayDriverInfo> drivers = Display_GetDrivers();
    ASSERT_FALSE(drivers.empty());
    EXPECT_TRUE(drivers[0].primary);
    EXPECT_STREQ(drivers[0].description, "Primary Display Driver");
    ASSERT_FALSE(drivers[0].modes.empty());
    // Every size comes at 16 and at 32 bits, side by side.
    ASSERT_EQ(drivers[0].modes.size() % 2, 0u);
    for (size_t i = 0; i < drivers[0].modes.size(); i += 2) {
        const SDisplayMode& a = drivers[0].modes[i];
        const SDisplayMode& b = drivers[0].modes[i + 1];
        EXPECT_EQ(a.bitsPerPixel, 16);
        EXPECT_EQ(b.bitsPerPixel, 32);
        EXPECT_EQ(a.width, b.width);
        EXPECT_EQ(a.height, b.height);
        EXPECT_GT(a.width, 0);
    }
}

TEST(ScreenDisplay, PumpDeliversPostedEventsInOrderToEveryListener) {
    ASSERT_TRUE(Display_Init());
    SSeen first, second;
    first.tag = 1;
    second.tag = 2;
    int a = Display_AddListener(Record, &first);
    int b = Display_AddListener(Record, &second);
    ASSERT_NE(a, 0);
    ASSERT_NE(a, b);
    Display_PumpEvents();  // drain whatever the system queued at start-up
    first.events.clear();
    second.events.clear();

    SDisplayEvent key;
    key.type = EDisplayEvent::KeyDown;
    key.scancode = 41;
    key.modifiers = kDisplayModLeftCtrl;
    SDisplayEvent text;
    text.type = EDisplayEvent::TextInput;
    strcpy(text.text, "\xc3\xa4");
    Display_PostEvent(key);
    Display_PostEvent(text);
    EXPECT_GE(Display_PumpEvents(), 2);
    ASSERT_EQ(first.events.size(), 2u);
    EXPECT_EQ(first.events[0].type, EDisplayEvent::KeyDown);
    EXPECT_EQ(first.events[0].scancode, 41);
    EXPECT_EQ(first.events[0].modifiers, kDisplayModLeftCtrl);
    EXPECT_STREQ(first.events[1].text, "\xc3\xa4");
    EXPECT_EQ(second.events.size(), 2u);

    // A removed listener hears nothing more; nothing is delivered twice.
    Display_RemoveListener(a);
    Display_PostEvent(key);
    Display_PumpEvents();
    EXPECT_EQ(first.events.size(), 2u);
    EXPECT_EQ(second.events.size(), 3u);
    Display_RemoveListener(b);
    Display_Shutdown();
}

namespace {
// A listener that removes itself and posts a new event while being called:
// the pump must neither crash nor loop.
struct SSelfRemover {
    int id = 0;
    int calls = 0;
};
void RemoveSelf(const SDisplayEvent&, void* ctx) {
    SSelfRemover* s = static_cast<SSelfRemover*>(ctx);
    ++s->calls;
    Display_RemoveListener(s->id);
    SDisplayEvent again;
    again.type = EDisplayEvent::Exposed;
    Display_PostEvent(again);
}
}  // namespace

TEST(ScreenDisplay, ListenerMayRemoveItselfAndPostDuringDispatch) {
    ASSERT_TRUE(Display_Init());
    Display_PumpEvents();
    SSelfRemover s;
    s.id = Display_AddListener(RemoveSelf, &s);
    SDisplayEvent e;
    e.type = EDisplayEvent::FocusGained;
    Display_PostEvent(e);
    Display_PostEvent(e);
    Display_PumpEvents();
    EXPECT_EQ(s.calls, 1);
    Display_PumpEvents();  // the events it posted go to nobody
    EXPECT_EQ(s.calls, 1);
    Display_Shutdown();
}

TEST(ScreenDisplay, WindowTakesClientSizeAndReportsClose) {
    CDisplayWindow* w = CDisplayWindow::Create("Tessarak", 320, 200);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->SetWindowed(0, 400, 300));
    int cw = 0, ch = 0;
    w->GetClientSize(&cw, &ch);
    EXPECT_EQ(cw, 400);
    EXPECT_EQ(ch, 300);
    EXPECT_FALSE(w->SetWindowed(0, 0, 300));
    SDisplayMode none;
    none.width = 0;
    EXPECT_FALSE(w->SetFullscreen(0, none));
    EXPECT_FALSE(w->IsFullscreen());
    delete w;
}
