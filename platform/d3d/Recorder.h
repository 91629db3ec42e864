// The recording back end: a display and device that draw nothing, log every
// call with its arguments, and answer what a test scripts: the drivers and
// their modes, the devices with their capabilities, the Z-buffer and texture
// formats, the video memory available, and failures of chosen calls.
//
// Each call is logged as one line, its name first and then its arguments
// ("CreateSurface caps=0x4040 2048x2048", "SetRenderState 27 1"). A failure
// rule fails calls whose line starts with a given text, after letting a number
// of them pass, as often as asked; the failed call is logged with " -> FAIL"
// after it. Install it with DDraw_SetFactory.
#pragma once

#include <string>
#include <vector>

#include "platform/d3d/Direct3D.h"

class CD3DRecorder : public IDDFactory {
public:
    CD3DRecorder();
    ~CD3DRecorder() override;

    // --- what the test scripts.
    struct SDriver {
        uint32_t pass = 0;  // the enumeration pass that reports it
        SDDDriverRecord record;
        bool canCreate = true;  // false: DirectDraw cannot be created for it
        std::vector<DDSURFACEDESC2> modes;
    };
    std::vector<SDriver> drivers;           // one primary driver with a few modes by default
    std::vector<SD3DDeviceRecord> devices;  // RGB, HAL and T&L HAL by default
    std::vector<DDPIXELFORMAT> zFormats;    // one 16-bit Z format by default
    std::vector<DDPIXELFORMAT> textureFormats;
    // Bytes of video memory free; surfaces asked for in video memory beyond it
    // fail with DDERR_OUTOFVIDEOMEMORY. Freed when the surface is forgotten.
    int64_t videoMemory = 64ll << 20;
    // Display modes SetDisplayMode accepts: those of the drivers' lists.

    void Fail(const std::string& prefix, D3DResult code, int times = 1, int skip = 0);
    void ClearFailures() { m_rules.clear(); }

    // --- what the test reads.
    std::vector<std::string> log;
    void ClearLog() { log.clear(); }
    // Lines that start with the prefix.
    std::vector<std::string> Lines(const std::string& prefix) const;
    int Count(const std::string& prefix) const { return int(Lines(prefix).size()); }
    // Index of the first line at or after `from` that starts with the prefix, or -1.
    int Find(const std::string& prefix, int from = 0) const;

    // --- back end (called by the platform objects).
    D3DResult Call(const std::string& line);  // logs; the scripted result
    void EnumerateDrivers(uint32_t passFlags, std::vector<SDDDriverRecord>* out) override;
    bool EnumerateModes(const SDDDriverRecord& driver, std::vector<DDSURFACEDESC2>* out) override;
    D3DResult CreateDirectDraw(const SD3DGuid* guid, IDDraw** out) override;

    static DDSURFACEDESC2 Mode(uint32_t w, uint32_t h, uint32_t bits, uint32_t refresh = 60);

private:
    struct SRule {
        std::string prefix;
        D3DResult code;
        int times;
        int skip;
    };
    std::vector<SRule> m_rules;
};

std::string D3D_GuidText(const SD3DGuid& g);
