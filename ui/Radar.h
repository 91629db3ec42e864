// The radar: the HUD's map of the battlefield.
//
// It is built from the map's radar picture (the map box's "radar.bik", a
// one-frame video the content builder renders from above, 2 pixels per map
// square) when a map loads, and revealed square by square as the world's
// cell map marks squares explored (it paints the fog as the cell map's
// painter). Every frame it is drawn on the interface canvas inside a
// rectangle its caller gives: the HUD's RadarPanel (turning with the
// camera, zooming itself to the map once), the whole screen
// (cg_DrawFullScreenRadar) or the top right corner while the GUI is hidden
// (north up, the whole map). It shows the objects the local player sees in
// their owners' colours, the camera's view on the ground, the map's border,
// the range circles of the selected radar units, the crystal fields, the
// rings of event markers, and it closes with noise and a shutter when the
// local player's power falls under half (and opens again).
//
// It also maps screen points back to the ground, so that a click on the
// radar is a point of the map. Its state is the interface's view alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "world/CellMap.h"

class CInterface;
class CE3DSurface;
class CBitmapSurface;

// One ring of an event's marker (the newest first in CRadar::m_rings).
struct SRadarRing {
    float x = 0.0f, z = 0.0f;
    float radius = 0.0f;  // world units
    float time = 0.0f;    // seconds; negative while it waits to start
    int32_t r = 0, g = 0, b = 0;
};

class CRadar : public CCellMapPainter {
public:
    explicit CRadar(CInterface& ui) : m_ui(ui) {}
    ~CRadar() override;
    CRadar(const CRadar&) = delete;
    CRadar& operator=(const CRadar&) = delete;

    // The radar of a map from its picture (a video file held in memory; its
    // first frame): the picture, the explored, object and composite
    // surfaces. A picture or a surface that cannot be made leaves the radar
    // off for the map with two console lines. Loading a map clears the lock
    // mode, the zoom and the rings; the radar starts closed and opens.
    bool Create(const void* data, size_t size, const char* name = "radar.bik");
    // No radar (the map has no picture, the game ended).
    void Free();
    bool Disabled() const { return m_explored == nullptr; }
    // The frames of the interface: the world it shows is the interface's.
    // Draws the radar into the rectangle of the canvas; false while it is
    // off or the rectangle is empty.
    bool Draw(CE3DSurface* canvas, int32_t x, int32_t y, int32_t width, int32_t height);

    // Screen pixel of a world point by the last draw, and back.
    void WorldToRadar(float x, float z, int32_t* sx, int32_t* sy) const;
    void RadarToWorld(int32_t sx, int32_t sy, float* x, float* z) const;
    // Whether the point lies inside the map as the radar last showed it
    // (false while the local player's power is under half).
    bool IsOverMap(int32_t sx, int32_t sy) const;

    // An event's marker: six rings around (x, z), kind 0 red, 1 blue, 2
    // orange, any other white.
    void AddMarker(float x, float z, int kind);

    // G_RadarLockMode: the radar follows the camera's focus (and zooms again).
    void ToggleLockMode();

    // ---- the cell map's painting (CCellMapPainter)
    bool BeginPaint() override;
    void EndPaint() override;
    void PaintBlock(int x, int y, uint8_t paint) override;

    // ---- state (read by the interface and its tests)
    float m_scale = 0.5f;  // pixels per world unit / 2
    float m_angle = 0.0f;  // radians: the rotation of the dots
    float m_centreX = 0.0f, m_centreZ = 0.0f;
    float m_panX = 0.0f, m_panY = 0.0f;
    int32_t m_x = 0, m_y = 0, m_width = 0, m_height = 0;  // the last draw's rectangle
    uint8_t m_lockMode = 0;
    uint8_t m_zoomDone = 0, m_zoomFlipped = 0, m_lastOutside = 0;
    int32_t m_powerState = 4;  // 0 on ... 4 off
    float m_noise = 0.0f;      // noise pixels, 0 to 1024
    float m_closeX = 0.0f, m_closeY = 0.0f;
    float m_objectTimer = 0.0f;
    std::vector<SRadarRing> m_rings;  // the newest first
    // The warnings of power lost: the radar-warned and power-warned bytes and
    // the game time of the next low-power warning.
    uint8_t m_radarWarned = 0, m_powerWarned = 0;
    uint64_t m_nextPowerWarning = 0;

    CBitmapSurface* m_picture = nullptr;
    CE3DSurface* m_explored = nullptr;
    CE3DSurface* m_objects = nullptr;
    CE3DSurface* m_composite = nullptr;

private:
    // The power step of a draw (seconds t); whether the radar is powered.
    bool StepPower(float t, int32_t width, int32_t height);
    void DrawObjectSurface();
    void DrawContent(CE3DSurface* canvas);
    void DrawTexts(CE3DSurface* canvas);

    CInterface& m_ui;
    bool m_painting = false;
};
