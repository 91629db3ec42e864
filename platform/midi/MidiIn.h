// MIDI input.
//
// The game listens to every MIDI source the machine offers (keyboards,
// controllers) through the ALSA sequencer, when the machine has one
// (/dev/snd/seq); otherwise there are no MIDI devices and opening does
// nothing. Short channel messages reach the callback packed as the Windows
// multimedia layer packed them: status byte in bits 0 to 7, first data byte
// in bits 8 to 15, second data byte in bits 16 to 23. The callback runs on
// the MIDI thread, never on the UI thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <thread>

typedef void (*MidiInCallback)(uint32_t packedMessage, void* context);

class CMidiIn {
public:
    CMidiIn() = default;
    ~CMidiIn() { Close(); }
    CMidiIn(const CMidiIn&) = delete;
    CMidiIn& operator=(const CMidiIn&) = delete;

    // Connects to every readable source and starts the reader thread.
    // Returns the number of sources connected (0 when there is no sequencer).
    int Open(MidiInCallback callback, void* context);
    // Stops the thread and closes the sequencer; safe to call twice.
    void Close();
    int DeviceCount() const { return m_devices; }

private:
    void Run();

    void* m_seq = nullptr;  // snd_seq_t
    int m_devices = 0;
    MidiInCallback m_callback = nullptr;
    void* m_context = nullptr;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};
