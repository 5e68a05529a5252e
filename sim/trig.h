#pragma once
// The rules' own sine, cosine, arctangent, hypotenuse and remainder, written from IEEE
// +, -, *, / and sqrt alone (no C library call, no fused multiply-add, no x87), so the
// bits follow from this source on every CPU, compiler and system. The C library's
// versions differ between machines (an FMA and an SSE2 sine on x86-64, another on
// Windows); these give what a correctly rounding one gives, so they equal each of those
// wherever it is right.
//
// "The nearest double" below: the value is worked out to a relative error below 2^-100
// and rounded once, which gives the nearest double unless the true value lies within
// 2^-100 of a halfway point between two doubles (none does among the angles the tests
// and the sweep of every float angle in +-720 degrees look at).

// The nearest double to sin(x) and cos(x), x in radians, |x| < 2^50. Larger finite x
// (no heading reaches them: a float heading stops turning before 2^27 degrees) are
// first taken modulo the double nearest 2 pi, exactly; infinities and NaN give NaN.
double sin_radians(double x);
double cos_radians(double x);

// The nearest double to the angle of the point (x, y) from the positive x axis, in
// (-pi, pi], with the signs of zero of IEEE atan2; for |x| and |y| within 2^-400 ...
// 2^400 of each other (every pair of floats).
double atan2_radians(double y, double x);

// The nearest double to sqrt(x^2 + y^2), for |x| and |y| below 2^500 (every pair of
// floats): exact, where the C library's hypot may be an ulp off.
double hypot_of(double x, double y);
// sqrt(x^2 + y^2) in double, rounded to float: the C library's hypotf, bit for bit.
float hypot_of(float x, float y);

// x - n*m for the integer n = trunc(x/m), exactly, as the C library's fmod: the
// sign of x, magnitude below |m|. For finite x and finite m != 0.
double fmod_exact(double x, double m);
