// The engine's math tables and the small matrix helpers of the scene tree.
//
// Frame matrices are part of the simulation: weapon headings and fire points
// are read from them in lockstep, so every machine must build the same bits.
// The sine and cosine tables are filled from core/Math (never the C library)
// and the matrix products below are plain float arithmetic in a fixed order.
// The tables fill themselves the first time anything asks for them, so the
// frame tree works without an engine, a window or a GL context (a dedicated
// server, the world's tests).
#pragma once

#include <cstdint>

#include "platform/d3d/D3DTypes.h"

constexpr int kE3DSineSteps = 8192;  // table steps per full turn

// A frame matrix: three rotation rows (the x, y and z axes) and the
// translation row, for row vectors (a point times the matrix).
typedef float E3DMatrix43[4][3];

extern float g_E3DIdentity43[4][3];
extern D3DMATRIX g_E3DIdentity44;
extern D3DMATRIX g_E3DZero44;
extern float g_E3DZero12[12];
// Entry i holds the sine (cosine) of i steps of 2 pi / 8192; 8194 entries.
extern float g_E3DSinTable[kE3DSineSteps + 2];
extern float g_E3DCosTable[kE3DSineSteps + 2];
extern float g_E3DAngleToIndex;  // 8192 / 2 pi, as a float: a table index is angle times this

// Fills the tables once (later calls return at once); safe from any thread.
void E3D_FillTables();

// The table index of an angle in [0, 2 pi): round(angle x 8192 / 2 pi), kept
// inside the table whatever the angle.
int E3D_AngleIndex(float angle);
// An angle wrapped into [0, 2 pi): the remainder by 6.2831855, plus 6.2831855
// when negative.
float E3D_WrapAngle(float angle);

void E3D_Matrix43Identity(E3DMatrix43 m);
void E3D_Matrix43Copy(E3DMatrix43 out, const E3DMatrix43 in);
// out = a x b for row vectors: a's rotation rows times b's, a's translation
// turned by b's rotation plus b's translation. out may not be a or b.
void E3D_Matrix43Multiply(E3DMatrix43 out, const E3DMatrix43 a, const E3DMatrix43 b);
// A point times the matrix.
void E3D_TransformPoint(const E3DMatrix43 m, const float in[3], float out[3]);
// The 4 x 4 form with the fourth column (0, 0, 0, 1).
void E3D_Matrix43To44(const E3DMatrix43 in, D3DMATRIX* out);

// Three-vector helpers.
float E3D_Dot(const float a[3], const float b[3]);
void E3D_Cross(const float a[3], const float b[3], float out[3]);
float E3D_Length(const float v[3]);
// Scales v to unit length; false (v unchanged) when its length is below the
// given limit.
bool E3D_Normalize(float v[3], float limit = 0.000001f);
