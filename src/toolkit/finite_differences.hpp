#pragma once
// Derivatives and integrals of values given at the points of a non-uniform grid.
// n is always the length of x; f supplies at least n values.

#include <span>
#include <vector>

#include "array2d.hpp"

namespace quorl {

// First derivative at point i (1-based): forward at i = 1 or n = 2 (whatever i), backward at
// i = n, the non-uniform three-point formula inside.
double diff_at_point_i(vview f, vview x, int i);
// Second derivative at point i, centred at min(n - 1, max(2, i)).
double diff2_at_point_i(vview f, vview x, int i);
// Cumulative integral F(1..n), F(1) = 0 (F must hold n values).
void primitive_function(std::span<double> F, vview f, vview x);
// Integral of f from x(1) to x(n).
double integral(vview f, vview x);
// The derivatives at every point of f (grid first).
std::vector<double> diff_at_all_points(vview x, vview f);
std::vector<double> diff2_at_all_points(vview x, vview f);

}  // namespace quorl
