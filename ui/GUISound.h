// What the interface asks of the sound engine for the GUI's sound banks:
// the banks of a GUI packfile are made from their stored records, and a GUI
// object plays a sample of its screen's bank on its events (press, release,
// hover, sequence start). The game implements it over its sound engine; an
// interface without it loads the banks' records and plays nothing.
#pragma once

#include <string>

class IGUISound {
public:
    virtual ~IGUISound() = default;
    // A playable bank from its stored record; null when the engine cannot
    // make one (the GUI then plays nothing of that bank).
    virtual void* LoadBank(const std::string& record) = 0;
    virtual void FreeBank(void* bank) = 0;
    virtual int SampleCount(void* bank) = 0;
    // Plays sample index (0-based) of the bank once; true when it started.
    virtual bool PlaySample(void* bank, int index) = 0;
};
