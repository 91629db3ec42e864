// The lockstep guard.
//
// Every machine of a network game runs the same simulation and must reach the
// same bits after every tick. The C library's elementary functions differ
// between versions, machines and optimisation levels, so simulation code does
// its transcendental math through core/Math only. A simulation source (world/,
// the deterministic parts of netgame/ and ai/, the frame and matrix code of
// e3d/) includes this header first; from then on the compiler refuses the C
// library's forms, std:: and float variants included. Square root, fabs and
// fmod are exact under IEEE arithmetic and stay allowed.
//
// The standard headers that use these names in their own templates are
// included here, before the names are poisoned, so a later include of them
// is harmless.
#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <valarray>
#include <vector>

#include "core/Math.h"

#pragma GCC poison sin cos tan asin acos atan atan2 sinh cosh tanh exp exp2 expm1 log log2 log10 log1p pow \
    cbrt hypot
#pragma GCC poison sinf cosf tanf asinf acosf atanf atan2f sinhf coshf tanhf expf exp2f logf log2f log10f powf
#pragma GCC poison sinl cosl tanl asinl acosl atanl atan2l expl logl powl
#pragma GCC poison rand srand srandom drand48 gettimeofday
