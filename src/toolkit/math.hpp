#pragma once
// Degree trigonometry, vector helpers and evenly spaced values.
// Conversions are a multiplication followed by a division, never a precomputed ratio.

#include <vector>

#include "array2d.hpp"

namespace quorl {

inline constexpr double pi = 3.141592653589793;
inline constexpr double two_pi = 2.0 * pi;

double sind(double x);
double cosd(double x);
double tand(double x);
double asind(double x);
double acosd(double x);
double atand(double x);
double atan2d(double y, double x);
double deg2rad(double x);
double rad2deg(double x);

// Angular speed (rad/s) of a rotor turning at rpm revolutions per minute: (2 pi rpm) / 60.
double angular_speed(double rpm);

// n evenly spaced values from start to end, both included: n <= 0 empty, n = 1 gives (end).
std::vector<double> linspace(double start, double end, int n);

// Matrix a(i) * b(j), size(a) x size(b).
array2d outer_product(vview a, vview b);
// Cross product of two 3-vectors.
std::vector<double> cross_product(vview a, vview b);
// Euclidean norm (plain sum of squares) and the sum of squares itself.
double norm(vview v);
double norm2(vview v);

// A function of one real.
class function1_t {
public:
    virtual ~function1_t() = default;
    virtual double at(double x) const = 0;
};

// Ramp: `before` below start, `after` above start + width, linear in between.
class ramp_function_t : public function1_t {
public:
    double start = 0.0;
    double width = 0.0;
    double before = 0.0;
    double after = 0.0;
    double at(double x) const override;
};

ramp_function_t new_ramp_function_t(double start, double width, double before, double after);

}  // namespace quorl
