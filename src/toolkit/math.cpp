#include "math.hpp"

#include <cmath>

namespace quorl {

namespace {
constexpr double degrees_half_turn = 180.0;
}  // namespace

double sind(double x) { return std::sin((pi * x) / degrees_half_turn); }
double cosd(double x) { return std::cos((pi * x) / degrees_half_turn); }
double tand(double x) { return std::tan((pi * x) / degrees_half_turn); }
double asind(double x) { return (std::asin(x) * degrees_half_turn) / pi; }
double acosd(double x) { return (std::acos(x) * degrees_half_turn) / pi; }
double atand(double x) { return (std::atan(x) * degrees_half_turn) / pi; }
double atan2d(double y, double x) { return (std::atan2(y, x) * degrees_half_turn) / pi; }
double deg2rad(double x) { return (pi * x) / degrees_half_turn; }
double rad2deg(double x) { return (degrees_half_turn * x) / pi; }

// The same bits as ((rpm + rpm) * pi) / 60: doubling is exact, so both products round the
// one exact value 2 pi rpm.
double angular_speed(double rpm) { return (two_pi * rpm) / 60.0; }

std::vector<double> linspace(double start, double end, int n) {
    if (n <= 0) return {};
    if (n == 1) return {end};
    std::vector<double> v(static_cast<std::size_t>(n));
    const double step = (end - start) / static_cast<double>(n - 1);
    v.front() = start;
    v.back() = end;
    for (int i = 2; i <= n - 1; ++i) v[static_cast<std::size_t>(i - 1)] = static_cast<double>(i - 1) * step + start;
    return v;
}

array2d outer_product(vview a, vview b) {
    array2d m(a.size(), b.size());
    for (int j = 1; j <= b.size(); ++j)
        for (int i = 1; i <= a.size(); ++i) m(i, j) = a(i) * b(j);
    return m;
}

std::vector<double> cross_product(vview a, vview b) {
    return {a(2) * b(3) - a(3) * b(2), a(3) * b(1) - a(1) * b(3), a(1) * b(2) - a(2) * b(1)};
}

double norm2(vview v) {
    double sum = 0.0;
    for (int i = 1; i <= v.size(); ++i) sum = sum + v(i) * v(i);
    return sum;
}

double norm(vview v) { return std::sqrt(norm2(v)); }

double ramp_function_t::at(double x) const {
    if (x < start) return before;
    if (x > start + width) return after;
    return ((x - start) * (after - before)) / width + before;
}

ramp_function_t new_ramp_function_t(double start, double width, double before, double after) {
    ramp_function_t ramp;
    ramp.start = start;
    ramp.width = width;
    ramp.before = before;
    ramp.after = after;
    return ramp;
}

}  // namespace quorl
