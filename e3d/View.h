// CE3DView: the observer of one viewport. It keeps the eye, the target and
// the roll, the view matrix built from them, the projection matrix and a
// world matrix that the scene's camera multiplies into its own (identity
// unless set). The game view places it with LookAt and SetProjection; the
// viewport's render hands the three matrices to the device; the scene render
// and the frames that face the camera read the eye and the axes.
//
// Matrices follow the device's row-vector convention (translation in row 4);
// the view is left-handed: x right, y up, z forward. The projection takes the
// field of view across the width (m11 = cot(fov / 2)) and the aspect (width
// over height) on the height (m22 = m11 x aspect).
#pragma once

#include <cstdint>

#include "e3d/E3DMath.h"
#include "platform/d3d/D3DTypes.h"

class CE3DViewport;

constexpr uint32_t kE3DNodeView = 6;

class CE3DView {
public:
    explicit CE3DView(CE3DViewport* viewport = nullptr);
    virtual ~CE3DView() = default;

    // Places the observer. With eye and target (nearly) equal only the three
    // values are stored and the view stays as it was; likewise when no up
    // direction can be found. Positive roll turns the up vector about the
    // forward axis by the right-hand rule (towards -x when looking along +z).
    void LookAt(const D3DVECTOR& eye, const D3DVECTOR& target, float roll);
    // A perspective projection. A degenerate one (near and far within 0.01,
    // near at or below 0 or beyond far, a field of view whose half has a sine
    // below 0.01, an aspect at or below 0, anything not finite) is refused:
    // nothing changes and the answer is false.
    bool SetProjection(float nearPlane, float farPlane, float fieldOfView, float aspect, bool perspective);
    // The rotation of a frame at the world position that faces the eye: row
    // z points at the eye, row y is the view's up made perpendicular to it.
    // Identity when the position is the eye or lies straight along the up.
    void FacingMatrix(float rotation[3][3], const float position[3]) const;

    uint32_t type = kE3DNodeView;
    CE3DViewport* viewport;
    D3DMATRIX world;
    D3DMATRIX view;
    D3DMATRIX projection;
    D3DVECTOR right{1.0f, 0.0f, 0.0f};
    D3DVECTOR up{0.0f, 1.0f, 0.0f};
    D3DVECTOR forward{0.0f, 0.0f, 1.0f};
    D3DVECTOR origin{0.0f, 0.0f, 0.0f};
    D3DVECTOR eye{0.0f, 0.0f, 0.0f};
    float heading = 0.0f, elevation = 0.0f, distance = 0.0f;  // of the forward axis
    D3DVECTOR target{0.0f, 0.0f, 1.0f};
    float fieldOfView = 1.0f;
    float aspect = 1.0f;
    float roll = 0.0f;
};

// v turned about the axis by the angle (right-hand rule; the axis need not be
// of unit length; a zero axis leaves v as it is).
D3DVECTOR E3D_VectorRotate(const D3DVECTOR& v, const D3DVECTOR& axis, float angle);
