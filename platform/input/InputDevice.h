// Keyboard and mouse as buffered devices.
//
// The input manager reads the keyboard and the mouse once per frame the way
// a buffered input device delivers them: a list of events since the last read
// (a key's scan code or a mouse offset, with its data) and a state snapshot.
// This layer listens to the window's event pump and fills those buffers:
// keys as the game's scan codes (platform/input/ScanCodes.h), mouse motion as
// relative x and y deltas, the wheel as z deltas of 120 per step, buttons as
// offsets 12 to 19 (left, right, middle, then the side buttons). Nothing is
// recorded while the device is not acquired, as with a device that lost its
// focus; at most 256 events are kept per read.
#pragma once

#include <cstdint>
#include <vector>

struct SDisplayEvent;

// One buffered event: the key's scan code, or the mouse offset (0 x, 4 y,
// 8 wheel, 12 + n button n); data 0x80 for a press, 0 for a release, the
// signed delta for an axis.
struct SInputEvent {
    uint32_t offset;
    uint32_t data;
    uint32_t timeStamp;
    uint32_t sequence;
};

enum : uint32_t {
    kMouseOffsetX = 0,
    kMouseOffsetY = 4,
    kMouseOffsetZ = 8,
    kMouseOffsetButton0 = 12,
};
constexpr int kMouseWheelStep = 120;
constexpr int kInputBufferSize = 256;

struct SMouseState {
    int32_t x, y, z;  // deltas since the last state read
    uint8_t buttons[8];
};

class CInputDevices {
public:
    CInputDevices();
    ~CInputDevices();
    CInputDevices(const CInputDevices&) = delete;
    CInputDevices& operator=(const CInputDevices&) = delete;

    // Starts listening to the window's events (idempotent).
    void Create(bool mouse, bool keyboard);
    bool HasMouse() const { return m_mouse; }
    bool HasKeyboard() const { return m_keyboard; }

    void AcquireMouse(bool on);
    void AcquireKeyboard(bool on);
    bool MouseAcquired() const { return m_mouseAcquired; }
    bool KeyboardAcquired() const { return m_keyboardAcquired; }

    // Moves the buffered events out (at most max); -1 when the device is not
    // acquired (a failed read), else the count.
    int ReadMouseEvents(SInputEvent* out, int max);
    int ReadKeyboardEvents(SInputEvent* out, int max);
    bool ReadMouseState(SMouseState& out);
    bool ReadKeyboardState(uint8_t out[256]);

    // Feeds one window event (the listener calls this; tests may too).
    void OnDisplayEvent(const SDisplayEvent& event);

private:
    void Push(std::vector<SInputEvent>& buffer, uint32_t offset, uint32_t data, uint32_t time);

    bool m_mouse = false, m_keyboard = false;
    bool m_mouseAcquired = false, m_keyboardAcquired = false;
    int m_listener = 0;
    uint32_t m_sequence = 0;
    std::vector<SInputEvent> m_mouseEvents, m_keyEvents;
    SMouseState m_mouseState{};
    uint8_t m_keyState[256] = {};
};
