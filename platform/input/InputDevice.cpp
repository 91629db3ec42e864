#include "platform/input/InputDevice.h"

#include <algorithm>
#include <cstring>

#include "platform/display/Display.h"
#include "platform/input/ScanCodes.h"

namespace {
void Listener(const SDisplayEvent& event, void* context) {
    static_cast<CInputDevices*>(context)->OnDisplayEvent(event);
}

// Window-system button numbers to device buttons: left, right, middle,
// then the two side buttons.
int DeviceButton(int button) {
    switch (button) {
        case kDisplayMouseLeft:
            return 0;
        case kDisplayMouseRight:
            return 1;
        case kDisplayMouseMiddle:
            return 2;
        case kDisplayMouseX1:
            return 3;
        case kDisplayMouseX2:
            return 4;
        default:
            return button >= 6 && button <= 8 ? button - 1 : -1;
    }
}
}  // namespace

CInputDevices::CInputDevices() = default;

CInputDevices::~CInputDevices() {
    if (m_listener) Display_RemoveListener(m_listener);
}

void CInputDevices::Create(bool mouse, bool keyboard) {
    m_mouse = m_mouse || mouse;
    m_keyboard = m_keyboard || keyboard;
    if (!m_listener) m_listener = Display_AddListener(&Listener, this);
}

void CInputDevices::AcquireMouse(bool on) {
    if (on && !m_mouseAcquired) std::memset(&m_mouseState, 0, sizeof m_mouseState);
    if (!on) m_mouseEvents.clear();
    m_mouseAcquired = on && m_mouse;
}

void CInputDevices::AcquireKeyboard(bool on) {
    // Keys pressed while another program had them are unknown to us; start
    // from a clean state either way.
    if (on != m_keyboardAcquired) std::memset(m_keyState, 0, sizeof m_keyState);
    if (!on) m_keyEvents.clear();
    m_keyboardAcquired = on && m_keyboard;
}

void CInputDevices::Push(std::vector<SInputEvent>& buffer, uint32_t offset, uint32_t data, uint32_t time) {
    if (static_cast<int>(buffer.size()) >= kInputBufferSize) return;  // overflow: dropped
    buffer.push_back({offset, data, time, ++m_sequence});
}

void CInputDevices::OnDisplayEvent(const SDisplayEvent& e) {
    switch (e.type) {
        case EDisplayEvent::KeyDown:
        case EDisplayEvent::KeyUp: {
            if (!m_keyboardAcquired || e.repeat) return;
            int code = Input_ScanCodeFromSdl(e.scancode);
            if (!code) return;
            bool down = e.type == EDisplayEvent::KeyDown;
            m_keyState[code] = down ? 0x80 : 0;
            Push(m_keyEvents, code, down ? 0x80 : 0, e.timeMs);
            break;
        }
        case EDisplayEvent::MouseMotion:
            if (!m_mouseAcquired) return;
            m_mouseState.x += e.dx;
            m_mouseState.y += e.dy;
            if (e.dx) Push(m_mouseEvents, kMouseOffsetX, static_cast<uint32_t>(e.dx), e.timeMs);
            if (e.dy) Push(m_mouseEvents, kMouseOffsetY, static_cast<uint32_t>(e.dy), e.timeMs);
            break;
        case EDisplayEvent::MouseWheel:
            if (!m_mouseAcquired || !e.wheelY) return;
            m_mouseState.z += e.wheelY * kMouseWheelStep;
            Push(m_mouseEvents, kMouseOffsetZ, static_cast<uint32_t>(e.wheelY * kMouseWheelStep), e.timeMs);
            break;
        case EDisplayEvent::MouseButtonDown:
        case EDisplayEvent::MouseButtonUp: {
            int b = DeviceButton(e.button);
            if (!m_mouseAcquired || b < 0) return;
            bool down = e.type == EDisplayEvent::MouseButtonDown;
            m_mouseState.buttons[b] = down ? 0x80 : 0;
            Push(m_mouseEvents, kMouseOffsetButton0 + b, down ? 0x80 : 0, e.timeMs);
            break;
        }
        case EDisplayEvent::FocusLost:
            // Releases we will never see: the keys count as up from here.
            std::memset(m_keyState, 0, sizeof m_keyState);
            std::memset(m_mouseState.buttons, 0, sizeof m_mouseState.buttons);
            break;
        default:
            break;
    }
}

int CInputDevices::ReadMouseEvents(SInputEvent* out, int max) {
    if (!m_mouseAcquired) return -1;
    int n = std::min(max, static_cast<int>(m_mouseEvents.size()));
    std::copy(m_mouseEvents.begin(), m_mouseEvents.begin() + n, out);
    m_mouseEvents.erase(m_mouseEvents.begin(), m_mouseEvents.begin() + n);
    return n;
}

int CInputDevices::ReadKeyboardEvents(SInputEvent* out, int max) {
    if (!m_keyboardAcquired) return -1;
    int n = std::min(max, static_cast<int>(m_keyEvents.size()));
    std::copy(m_keyEvents.begin(), m_keyEvents.begin() + n, out);
    m_keyEvents.erase(m_keyEvents.begin(), m_keyEvents.begin() + n);
    return n;
}

bool CInputDevices::ReadMouseState(SMouseState& out) {
    if (!m_mouseAcquired) return false;
    out = m_mouseState;
    m_mouseState.x = m_mouseState.y = m_mouseState.z = 0;
    return true;
}

bool CInputDevices::ReadKeyboardState(uint8_t out[256]) {
    if (!m_keyboardAcquired) return false;
    std::memcpy(out, m_keyState, 256);
    return true;
}
