// The explosion manager: keeps the live explosions of the world, prepares
// their drawing each frame and leaves the light of the brightest one for the
// render frame. Created at start-up, restarted at every game start.
#pragma once

#include <cstdint>

class CGameHost;

class CExplosionManager {
public:
    explicit CExplosionManager(CGameHost* game);
    ~CExplosionManager();

    // Forgets every explosion and the view focus point (a new game).
    void Restart();
    // Per frame, after the camera moved: ages the live explosions.
    void Update();
    // Per frame, before the scene render: the explosion light.
    void Draw();

    CGameHost* m_game;
    float m_focusX = 0.0f, m_focusZ = 0.0f;  // view focus set by the map finish
    float m_lightPos[3] = {0.0f, 0.0f, 0.0f};
    int32_t m_lightColour[3] = {0, 0, 0};
    int32_t m_hover = 0;
    int32_t m_liveCount = 0;
};
