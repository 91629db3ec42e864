// Float math of the simulation.
//
// Every machine in a lockstep game must compute the same bits, so the
// elementary functions here are our own: built from additions,
// multiplications and divisions in double precision (exact under IEEE
// arithmetic, with no fused multiply-adds) and rounded once to float, instead
// of the C library's, whose results differ between versions and machines.
// Square roots use the hardware instruction, which IEEE makes exact.
//
// Angles are radians unless a name says degrees; a full turn is 6.2831855,
// the float nearest 2*pi. Headings on the ground plane (x and z; y is height)
// are atan2 of the x difference over the z difference: heading 0 points along
// +z and grows towards +x.
#pragma once

#include <cstdint>

constexpr float kTwoPi = 6.2831855f;

// Sets rounding to nearest with exceptions masked on the calling thread.
void SetFPUSinglePrecision();

int32_t Math_RoundToInt(float x);  // to nearest, ties to even
int32_t Math_Truncate(float x);    // towards zero
int32_t Math_AbsInt(int32_t x);

float Math_Sqrt(float x);
float Math_Sin(float x);
float Math_Cos(float x);
float Math_Tan(float x);
float Math_Atan2(float y, float x);
float Math_Asin(float x);
float Math_Acos(float x);
float Math_Exp(float x);
float Math_Log(float x);
float Math_Log10(float x);
float Math_Pow(float base, float exponent);
float Math_Sinh(float x);
float Math_Cosh(float x);
float Math_Tanh(float x);
float Math_Fmod(float x, float y);
float Math_Fabs(float x);

float RadToDeg(float x);
float DegToRad(float x);
float Angle2D(float x1, float z1, float x2, float z2);  // [0, 2*pi)
float Angle2DDeg(float x1, float z1, float x2, float z2);
bool AngleWithin(float a, float b, float limit);
float Distance2D(float x1, float z1, float x2, float z2);
float DistanceSquared2D(float x1, float z1, float x2, float z2);
float Distance3D(float x1, float y1, float z1, float x2, float y2, float z2);
float* VectorSubtract(float* out, const float* a, const float* b);
void SwapInt(int32_t& a, int32_t& b);
void SwapFloat(float& a, float& b);
