#include "ui/GameCamera.h"

#include <algorithm>
#include <cmath>

#include "console/CommandTable.h"
#include "core/Math.h"
#include "world/GameScene.h"
#include "world/TessarakObject.h"
#include "world/Unit.h"
#include "world/World.h"
#include "world/WorldGrid.h"

void CGameCamera::Step(float dt, const CWorld* world) {
    if (world) {
        CentreOnFollowed(*world);
        ClampToMap(*world);
    }
    for (int i = 0; i < 2; ++i) {
        float& offset = m_scrollOffset[i];
        offset += m_scrollSpeed[i] * dt;
        if (m_scrollSpeed[i] == 0.0f) {
            // Back toward the rest position, never past it.
            const float pull = 0.7f * dt;
            if (offset > 0.0f)
                offset = offset > pull ? offset - pull : 0.0f;
            else if (offset < 0.0f)
                offset = -offset > pull ? offset + pull : 0.0f;
        }
        offset = offset > 0.1f ? 0.1f : (offset < -0.1f ? -0.1f : offset);
    }
}

void CGameCamera::Placement(float eye[3], float target[3]) const {
    target[0] = m_focusX;
    target[1] = 0.0f;
    target[2] = -m_focusZ;
    float tilt = DegToRad(m_pitch) + m_scrollOffset[1];
    const float reach = m_distance * m_zoom;
    if (reach > 14.0f && m_maxVisible > 14.0f) {
        float f = (m_maxVisible - reach) / (m_maxVisible - 14.0f);
        if (f < 0.0f) f = 0.0f;
        const float most = f * f * f * 1.5707964f;
        if (tilt > most) tilt = most;
    }
    if (tilt < 0.01f) tilt = 0.01f;
    const float heading = DegToRad(m_heading) + m_scrollOffset[0];
    const float ground = Math_Sin(tilt) * m_distance;
    eye[0] = target[0] + Math_Cos(heading) * ground;
    eye[1] = Math_Cos(tilt) * m_distance;
    eye[2] = target[2] + Math_Sin(heading) * ground;
}

bool CGameCamera::CentreOnFollowed(const CWorld& world) {
    const CTessarakObject* o = m_followed >= 0 ? world.Scene().m_idTable.Find(m_followed) : nullptr;
    if (!o || o->IsReleased()) {
        m_followed = -1;
        return false;
    }
    // Where it is drawn (between two ticks), unless that lags its place by
    // 2.0 or more (a jump).
    float x = o->m_render.m[3][0], z = o->m_render.m[3][2];
    if (!(x - o->m_position[0] < 2.0f && o->m_position[0] - x < 2.0f)) x = o->m_position[0];
    if (!(z - o->m_position[2] < 2.0f && o->m_position[2] - z < 2.0f)) z = o->m_position[2];
    LookAt(x, z);
    return true;
}

void CGameCamera::CentreOnGroup(const CWorld& world, int32_t group) {
    float sx = 0.0f, sz = 0.0f;
    int32_t n = 0;
    for (const CUnit* u = world.Scene().m_units; u; u = u->m_unitNext)
        if (u->m_group == group) {
            sx += u->m_position[0];
            sz += u->m_position[2];
            ++n;
        }
    if (n == 0) return;
    m_focusX = sx / static_cast<float>(n);
    m_focusZ = -(sz / static_cast<float>(n));
}

void CGameCamera::ClampToMap(const CWorld& world) {
    const CWorldGrid& grid = world.Grid();
    if (!(grid.m_x2 > grid.m_x1 && grid.m_y1 > grid.m_y2)) return;
    m_focusX = std::min(std::max(m_focusX, float(grid.m_x1)), float(grid.m_x2));
    m_focusZ = std::min(std::max(m_focusZ, -float(grid.m_y1)), -float(grid.m_y2));
}

float CGameCamera::DistanceTo(float x, float z) const {
    const float d = Distance2D(x, z, m_focusX, -m_focusZ);
    return d < 0.01f ? 0.01f : d;
}

void CGameCamera::Turn(float degrees) {
    float heading = m_heading + degrees;
    if (heading > 360.0f) heading = std::fmod(heading, 360.0f);
    if (heading < 0.0f) heading = std::fmod(heading, 360.0f) + 360.0f;
    if (!(heading >= 0.0f && heading <= 360.0f)) heading = m_heading;  // NaN keeps the heading
    m_heading = heading;
}

void CGameCamera::Tilt(float degrees) {
    float pitch = m_pitch + degrees;
    if (pitch > 45.0f) pitch = 45.0f;
    if (pitch < 1.0f) pitch = 1.0f;
    if (pitch == pitch) m_pitch = pitch;
}

bool CGameCamera::ScaleZoom(float factor, bool divide) {
    const float zoom = divide ? m_zoom / factor : m_zoom * factor;
    const float reach = m_distance * zoom;
    if (!(factor > 0.0f) || !(zoom >= 0.1f && zoom <= 1.5f) || reach > m_maxVisible || reach < 0.3f)
        return false;
    m_zoom = zoom;
    return true;
}

void CGameCamera::RegisterSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names) {
    const SCommandRow camera[] = {
        SCommandRow::Float("View_MaxVis", &m_maxVisible, 0.0f, 1000.0f,
                           "Tha maximum visible portion of the gamescene", "View_MaxVis(float Angle);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneAngle", &m_heading, 0.0f, 360.0f, "Sets the heading of the camera",
                           "View_GameSceneAngle(float Angle);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneAngleUp", &m_pitch, 0.0f, 89.0f, "Sets the pitch of the camera",
                           "View_GameSceneAngleUp(float Angle);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneDistance", &m_distance, 0.0f, 30.0f,
                           "Sets the distance of the camera from the gamescene",
                           "View_GameSceneDistance(float Distance);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneZoom", &m_zoom, 0.1f, 1.5f, "Sets the FOV of the camera",
                           "View_GameSceneZoom(float Zoom);")
            .Config("Visual.cfg"),
        SCommandRow::Float("View_GameSceneCenterX", &m_focusX, -10000.0f, 10000.0f,
                           "Sets the lookat position of the camera (X)", "View_GameSceneCenterX(float Pos);"),
        SCommandRow::Float("View_GameSceneCenterY", &m_focusZ, -10000.0f, 10000.0f,
                           "Sets the lookat position of the camera (Y)", "View_GameSceneCenterY(float Pos);"),
    };
    CommandTable_RegisterNamed(ip, camera, names);
}
