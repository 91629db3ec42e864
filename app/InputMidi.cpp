#include "app/InputManager.h"

SMidiState::SMidiState() {
    for (int i = 0; i < 128; ++i) {
        controller[i] = 0;
        changed[i] = 0;
        held[i] = 0;
    }
}

void Input_MidiMessage(SMidiState& state, uint32_t packed) {
    // Only channel voice messages are looked at, and their data bytes are
    // seven bits wide whatever the sender put in the high bit.
    uint8_t status = packed & 0xff;
    uint8_t number = (packed >> 8) & 0x7f;
    uint8_t value = (packed >> 16) & 0x7f;
    switch (status & 0xf0) {
        case 0x90:
            state.held[number] = value ? 1 : 0;
            break;
        case 0x80:  // note off: some senders use it instead of a zero velocity
            state.held[number] = 0;
            break;
        case 0xB0:
            if (number) {
                state.controller[number] = value;
                state.changed[number] = 1;
            }
            break;
        default:
            break;
    }
}
