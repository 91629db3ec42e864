// The camera of the game view, as the player steers it: the point it looks
// at, from which heading, tilt and distance, with which field of view; the
// scroll commands' turning; the object it follows. It is view state only:
// no world code reads it, no sync image or saved game holds it. The
// interface owns it (CInterface::m_camera); the View_GameScene console
// variables are its settings; the game view places its 3D camera from
// Placement every render frame.
#pragma once

#include <cstdint>
#include <initializer_list>

class CWorld;
class CCommandInterpreter;

class CGameCamera {
public:
    // ---- settings (the View_GameScene variables, View_MaxVis)
    // The focus: the view looks at the ground point (m_focusX, 0, -m_focusZ).
    float m_focusX = 0.0f, m_focusZ = 0.0f;
    float m_heading = 270.0f;  // degrees: where the eye stands around the focus
    float m_pitch = 12.0f;     // degrees from straight down
    float m_distance = 17.0f;
    float m_zoom = 1.0471976f;  // the field of view (radians)
    float m_maxVisible = 32.0f;
    // Turning (heading, tilt) by the scroll commands: a speed per second and
    // the offset it builds up (radians, within -0.1 and 0.1).
    float m_scrollSpeed[2] = {0.0f, 0.0f};
    float m_scrollOffset[2] = {0.0f, 0.0f};
    // The object the camera follows (its object id; -1 none).
    int32_t m_followed = -1;

    // The ground point the camera looks at (x, z).
    float GroundX() const { return m_focusX; }
    float GroundZ() const { return -m_focusZ; }
    // Looks at the ground point (x, z).
    void LookAt(float x, float z) {
        m_focusX = x;
        m_focusZ = -z;
    }

    // Per render frame (dt: its seconds): the focus follows the followed
    // object of world (when there is one), and the scroll offsets move with
    // their speeds or settle back toward rest.
    void Step(float dt, const CWorld* world);
    // The eye and the point it looks at (focus x, 0, -focus z). The tilt from
    // straight down is the pitch (degrees) plus its scroll offset, at least
    // 0.01 radian and, when distance x field of view exceeds 14, at most
    // ((maximum range - that) / (maximum range - 14)) cubed x pi/2.
    void Placement(float eye[3], float target[3]) const;
    // The focus on the followed object: its frame's place, or its logical
    // place on an axis where the two differ by 2.0 or more. False when
    // nothing is followed.
    bool CentreOnFollowed(const CWorld& world);
    // The focus on the mean place of the control group's units; nothing for
    // an empty group.
    void CentreOnGroup(const CWorld& world, int32_t group);
    // The focus kept over the world's map (its grid's rectangle): scrolling
    // and the focus variables never take the view off it into the void.
    void ClampToMap(const CWorld& world);
    // How far a ground point is from the focus (at least 0.01): what an
    // explosion's shake is weakened by.
    float DistanceTo(float x, float z) const;
    // ---- the view commands' steps
    // The heading turns by the degrees, kept within 0 to 360 (360 itself
    // stays).
    void Turn(float degrees);
    // The tilt moves by the degrees, kept within 1 to 45.
    void Tilt(float degrees);
    // The field of view times (or divided by) the factor, when the result
    // keeps the view's reach (distance x field of view) within the largest
    // visible range (at least 0.3) and the field of view within its
    // setting's range (0.1 to 1.5); else it stays. False when it stayed.
    bool ScaleZoom(float factor, bool divide = false);
    // Follows the object (its id; -1 none).
    void Follow(int32_t id) { m_followed = id; }

    // Registers the camera's settings (the View_ console variables, most kept
    // in Visual.cfg), bound to its own values: those named, in that order,
    // or all of them.
    void RegisterSettings(CCommandInterpreter* ip, std::initializer_list<const char*> names = {});
};
