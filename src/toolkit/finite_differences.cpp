#include "finite_differences.hpp"

#include <algorithm>

#include "stop.hpp"

namespace quorl {

namespace {

[[noreturn]] void need_two() { fatal("finite_differences: x must have at least 2 elements"); }
[[noreturn]] void need_three() { fatal("finite_differences: x must have at least 3 elements"); }

// The values must cover the grid, so that no formula reads past the end of f.
inline void check_values(vview f, int n) {
    if (f.size() < n) fatal("finite_differences: f must have at least as many elements as x");
}

// Three-point first derivative at an inner point i of a non-uniform grid: each one-sided
// slope weighted by the width of the other side.
inline double diff_inner(vview f, vview x, int i) {
    const double h1 = x(i) - x(i - 1);
    const double h2 = x(i + 1) - x(i);
    return ((f(i + 1) - f(i)) * h1 / h2 + (f(i) - f(i - 1)) * h2 / h1) * (1.0 / (x(i + 1) - x(i - 1)));
}

// Second derivative centred at an inner point j.
inline double diff2_inner(vview f, vview x, int j) {
    return ((f(j + 1) - f(j)) / (x(j + 1) - x(j)) - (f(j) - f(j - 1)) / (x(j) - x(j - 1))) *
           (2.0 / (x(j + 1) - x(j - 1)));
}

// Integral over the interval from x(i-1) to x(i), i = 2..n-1, from the quadratic Taylor
// polynomial about its right end.
inline double interval_about_right_end(vview f, vview x, int i) {
    const double h = x(i) - x(i - 1);
    const double d1 = diff_inner(f, x, i);
    const double d2 = diff2_inner(f, x, i);
    return (d2 * (h * h) / 6.0 + (f(i) - d1 * h * 0.5)) * h;
}

// Integral over the last interval, from x(n-1) to x(n), about its left end.
inline double last_interval(vview f, vview x, int n) {
    const double h = x(n) - x(n - 1);
    const double d1 = diff_inner(f, x, n - 1);
    const double d2 = diff2_inner(f, x, n - 1);
    return (d2 * (h * h) / 6.0 + (d1 * h * 0.5 + f(n - 1))) * h;
}

}  // namespace

double diff_at_point_i(vview f, vview x, int i) {
    const int n = x.size();
    if (n < 2) need_two();
    check_values(f, n);
    if (n == 2 || i == 1) return (f(2) - f(1)) / (x(2) - x(1));
    // Outside 1..n the formulas below would read past the ends of the grid.
    if (i < 1 || i > n) fatal("finite_differences: i must lie between 1 and the number of elements of x");
    if (i == n) return (f(n) - f(n - 1)) / (x(n) - x(n - 1));
    return diff_inner(f, x, i);
}

double diff2_at_point_i(vview f, vview x, int i) {
    const int n = x.size();
    if (n < 3) need_three();
    check_values(f, n);
    const int j = std::min(n - 1, std::max(2, i));
    return diff2_inner(f, x, j);
}

void primitive_function(std::span<double> F, vview f, vview x) {
    const int n = x.size();
    if (!F.empty()) F[0] = 0.0;
    if (n < 2) need_two();
    if (n < 3) need_three();
    check_values(f, n);
    if (static_cast<int>(F.size()) < n) fatal("finite_differences: F must have at least as many elements as x");
    for (int i = 2; i <= n - 1; ++i)
        F[static_cast<std::size_t>(i - 1)] = F[static_cast<std::size_t>(i - 2)] + interval_about_right_end(f, x, i);
    F[static_cast<std::size_t>(n - 1)] = F[static_cast<std::size_t>(n - 2)] + last_interval(f, x, n);
}

double integral(vview f, vview x) {
    const int n = x.size();
    if (n < 2) need_two();
    if (n < 3) need_three();
    check_values(f, n);
    double sum = 0.0;
    for (int i = 2; i <= n - 1; ++i) sum = sum + interval_about_right_end(f, x, i);
    return last_interval(f, x, n) + sum;
}

// One derivative per value of f: f must not be longer than the grid (nor, as for the point
// operations, shorter).
std::vector<double> diff_at_all_points(vview x, vview f) {
    if (f.empty()) return {};
    if (x.size() < 2) need_two();
    if (f.size() > x.size()) fatal("finite_differences: f must not have more elements than x");
    std::vector<double> d(static_cast<std::size_t>(f.size()));
    for (int i = 1; i <= f.size(); ++i) d[static_cast<std::size_t>(i - 1)] = diff_at_point_i(f, x, i);
    return d;
}

std::vector<double> diff2_at_all_points(vview x, vview f) {
    if (f.empty()) return {};
    if (x.size() < 3) need_three();
    if (f.size() > x.size()) fatal("finite_differences: f must not have more elements than x");
    std::vector<double> d(static_cast<std::size_t>(f.size()));
    for (int i = 1; i <= f.size(); ++i) d[static_cast<std::size_t>(i - 1)] = diff2_at_point_i(f, x, i);
    return d;
}

}  // namespace quorl
