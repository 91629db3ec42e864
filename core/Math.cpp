#include "core/Math.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/sys/FloatMode.h"

namespace {

constexpr double kPi = 3.141592653589793238;
constexpr double kHalfPi = 1.570796326794896619;
constexpr double kLn2 = 0.693147180559945309;
constexpr double kInvLn2 = 1.442695040888963407;
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool IsNaN(double x) {
    return x != x;
}

// Round to the nearest integer, ties away from zero, for range reduction only.
double RoundHalfAway(double x) {
    double t = static_cast<double>(static_cast<int64_t>(x));
    double d = x - t;
    if (d >= 0.5) return t + 1.0;
    if (d <= -0.5) return t - 1.0;
    return t;
}

// sin and cos on [-pi/4, pi/4]: Taylor series to well below float precision.
double SinPoly(double r) {
    double r2 = r * r;
    return r * (1.0 + r2 * (-1.0 / 6 +
                            r2 * (1.0 / 120 +
                                  r2 * (-1.0 / 5040 +
                                        r2 * (1.0 / 362880 + r2 * (-1.0 / 39916800 +
                                                                   r2 * (1.0 / 6227020800.0 +
                                                                         r2 * (-1.0 / 1307674368000.0))))))));
}

double CosPoly(double r) {
    double r2 = r * r;
    return 1.0 +
           r2 * (-0.5 + r2 * (1.0 / 24 +
                              r2 * (-1.0 / 720 + r2 * (1.0 / 40320 +
                                                       r2 * (-1.0 / 3628800 +
                                                             r2 * (1.0 / 479001600.0 +
                                                                   r2 * (-1.0 / 87178291200.0 +
                                                                         r2 * (1.0 / 20922789888000.0))))))));
}

// Reduces x by multiples of pi/2 (Cody and Waite, three parts of pi/2).
double Reduce(double x, int& quadrant) {
    double k = RoundHalfAway(x * (2.0 / kPi));
    if (std::fabs(k) > 1e15) {  // far beyond any angle of the game: keep it finite and deterministic
        quadrant = 0;
        return 0.0;
    }
    const double p1 = 1.5707963267341256e+00, p2 = 6.0771005065061922e-11, p3 = 2.0222662487959506e-21;
    double r = ((x - k * p1) - k * p2) - k * p3;
    int64_t q = static_cast<int64_t>(k);
    quadrant = static_cast<int>(q & 3);
    return r;
}

double SinD(double x) {
    if (IsNaN(x) || x == kInf || x == -kInf) return kNaN;
    int q;
    double r = Reduce(x, q);
    switch (q) {
        case 0:
            return SinPoly(r);
        case 1:
            return CosPoly(r);
        case 2:
            return -SinPoly(r);
        default:
            return -CosPoly(r);
    }
}

double CosD(double x) {
    if (IsNaN(x) || x == kInf || x == -kInf) return kNaN;
    int q;
    double r = Reduce(x, q);
    switch (q) {
        case 0:
            return CosPoly(r);
        case 1:
            return -SinPoly(r);
        case 2:
            return -CosPoly(r);
        default:
            return SinPoly(r);
    }
}

// atan on [0, tan(pi/12)]: odd Taylor series.
double AtanSmall(double t) {
    double t2 = t * t;
    double sum = 0.0;
    for (int n = 25; n >= 1; n -= 2) sum = 1.0 / n - t2 * sum;
    return t * sum;
}

double AtanD(double t) {
    if (IsNaN(t)) return kNaN;
    bool neg = t < 0;
    if (neg) t = -t;
    double base = 0.0;
    bool invert = t > 1.0;
    if (invert) t = 1.0 / t;
    const double kTan15 = 0.267949192431122706;  // tan(pi/12)
    const double kSqrt3 = 1.732050807568877294;
    if (t > kTan15) {
        t = (t * kSqrt3 - 1.0) / (t + kSqrt3);
        base = kPi / 6;
    }
    double r = base + AtanSmall(t);
    if (invert) r = kHalfPi - r;
    return neg ? -r : r;
}

double Atan2D(double y, double x) {
    if (IsNaN(x) || IsNaN(y)) return kNaN;
    if (x == 0.0 && y == 0.0)
        return std::signbit(x) ? (std::signbit(y) ? -kPi : kPi) : (std::signbit(y) ? -0.0 : 0.0);
    if (std::fabs(x) == kInf || std::fabs(y) == kInf) {
        double ax = std::fabs(x) == kInf ? (x > 0 ? 1 : -1) : 0,
               ay = std::fabs(y) == kInf ? (y > 0 ? 1 : -1) : 0;
        if (ax == 0) return y > 0 ? kHalfPi : -kHalfPi;
        if (ay == 0) return x > 0 ? (std::signbit(y) ? -0.0 : 0.0) : (std::signbit(y) ? -kPi : kPi);
        return (x > 0 ? kPi / 4 : 3 * kPi / 4) * (y > 0 ? 1 : -1);
    }
    if (x == 0.0) return y > 0 ? kHalfPi : -kHalfPi;
    double a = AtanD(y / x);
    if (x > 0) return a;
    return y >= 0 ? a + kPi : a - kPi;
}

// 2 to the power x.
double Exp2D(double x) {
    if (IsNaN(x)) return kNaN;
    if (x > 1100) return kInf;
    if (x < -1100) return 0.0;
    double n = std::floor(x);
    double f = (x - n) * kLn2;  // in [0, ln 2)
    double sum = 1.0, term = 1.0;
    for (int k = 1; k <= 18; ++k) {
        term *= f / k;
        sum += term;
    }
    return std::ldexp(sum, static_cast<int>(n));
}

// log base 2.
double Log2D(double x) {
    if (IsNaN(x) || x < 0) return kNaN;
    if (x == 0) return -kInf;
    if (x == kInf) return kInf;
    int e;
    double m = std::frexp(x, &e);  // [0.5, 1)
    if (m < 0.70710678118654752) {
        m *= 2;
        --e;
    }
    double s = (m - 1) / (m + 1);
    double s2 = s * s;
    double sum = 0.0;
    for (int n = 23; n >= 1; n -= 2) sum = 1.0 / n + s2 * sum;
    return e + 2 * s * sum * kInvLn2;
}

double ExpD(double x) {
    return Exp2D(x * kInvLn2);
}

float F(double x) {
    return static_cast<float>(x);
}

}  // namespace

void SetFPUSinglePrecision() {
    Sys_SetFloatMode();
}

int32_t Math_RoundToInt(float x) {
    // Ties to even, whatever the rounding mode: the result must not depend on
    // what a library left behind.
    float t = std::trunc(x);
    float d = x - t;
    if (d > 0.5f || (d == 0.5f && std::fmod(t, 2.0f) != 0.0f)) t += 1.0f;
    if (d < -0.5f || (d == -0.5f && std::fmod(t, 2.0f) != 0.0f)) t -= 1.0f;
    if (!(t >= -2147483648.0f && t < 2147483648.0f)) return INT32_MIN;  // the "integer indefinite" of x87
    return static_cast<int32_t>(t);
}

int32_t Math_Truncate(float x) {
    if (!(x > -2147483649.0f && x < 2147483648.0f)) return INT32_MIN;
    return static_cast<int32_t>(x);
}

int32_t Math_AbsInt(int32_t x) {
    int64_t v = x < 0 ? -static_cast<int64_t>(x) : x;
    return v > INT32_MAX ? INT32_MIN : static_cast<int32_t>(v);
}

float Math_Sqrt(float x) {
    return std::sqrt(x);
}
float Math_Sin(float x) {
    return F(SinD(x));
}
float Math_Cos(float x) {
    return F(CosD(x));
}

float Math_Tan(float x) {
    double c = CosD(x);
    return F(SinD(x) / c);
}

float Math_Atan2(float y, float x) {
    return F(Atan2D(y, x));
}

float Math_Asin(float x) {
    double d = x;
    return F(Atan2D(d, std::sqrt(1.0 - d * d)));
}

float Math_Acos(float x) {
    double d = x;
    return F(Atan2D(std::sqrt(1.0 - d * d), d));
}

float Math_Exp(float x) {
    return F(ExpD(x));
}
float Math_Log(float x) {
    return F(Log2D(x) * kLn2);
}
float Math_Log10(float x) {
    return F(Log2D(x) * 0.301029995663981195);
}

float Math_Pow(float base, float exponent) {
    double b = base, e = exponent;
    if (e == 0.0) return 1.0f;
    if (IsNaN(b) || IsNaN(e)) return std::numeric_limits<float>::quiet_NaN();
    if (b > 0) return F(Exp2D(e * Log2D(b)));
    if (b == 0) return e > 0 ? 0.0f : std::numeric_limits<float>::infinity();
    // A negative base has a real power only for whole exponents.
    if (std::floor(e) != e) return std::numeric_limits<float>::quiet_NaN();
    double r = Exp2D(e * Log2D(-b));
    bool odd = std::fabs(e) < 9007199254740992.0 && std::fmod(e, 2.0) != 0.0;
    return F(odd ? -r : r);
}

float Math_Sinh(float x) {
    double a = ExpD(x), b = ExpD(-static_cast<double>(x));
    return F((a - b) / 2);
}

float Math_Cosh(float x) {
    double a = ExpD(x), b = ExpD(-static_cast<double>(x));
    return F((a + b) / 2);
}

float Math_Tanh(float x) {
    if (x > 20.0f) return 1.0f;
    if (x < -20.0f) return -1.0f;
    double a = ExpD(x), b = ExpD(-static_cast<double>(x));
    return F((a - b) / (a + b));
}

float Math_Fmod(float x, float y) {
    float q = x / y;
    return x - std::trunc(q) * y;
}

float Math_Fabs(float x) {
    return std::fabs(x);
}

float RadToDeg(float x) {
    return x * 57.2957763671875f;
}
float DegToRad(float x) {
    return x * 0.017453292f;
}

float Angle2D(float x1, float z1, float x2, float z2) {
    float a = Math_Atan2(x2 - x1, z2 - z1);
    if (a < 0) a += kTwoPi;
    return a;
}

float Angle2DDeg(float x1, float z1, float x2, float z2) {
    return RadToDeg(Angle2D(x1, z1, x2, z2));
}

bool AngleWithin(float a, float b, float limit) {
    float d = Math_Fmod(b - a, kTwoPi);
    if (d < 0) d += kTwoPi;
    return d < limit || d > kTwoPi - limit;
}

float Distance2D(float x1, float z1, float x2, float z2) {
    return Math_Sqrt(DistanceSquared2D(x1, z1, x2, z2));
}

float DistanceSquared2D(float x1, float z1, float x2, float z2) {
    float dz = z2 - z1, dx = x2 - x1;
    return dz * dz + dx * dx;
}

float Distance3D(float x1, float y1, float z1, float x2, float y2, float z2) {
    float dx = x2 - x1, dy = y2 - y1, dz = z2 - z1;
    return Math_Sqrt(dx * dx + dy * dy + dz * dz);
}

float* VectorSubtract(float* out, const float* a, const float* b) {
    out[0] = a[0] - b[0];
    out[1] = a[1] - b[1];
    out[2] = a[2] - b[2];
    return out;
}

void SwapInt(int32_t& a, int32_t& b) {
    int32_t t = a;
    a = b;
    b = t;
}

void SwapFloat(float& a, float& b) {
    float t = a;
    a = b;
    b = t;
}
