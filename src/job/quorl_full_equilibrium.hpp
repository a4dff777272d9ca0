#pragma once
// Full radial equilibrium of one quasi-normal (the main sweeps).

#include <span>

#include "array2d.hpp"

namespace quorl {

// Solves quasi-normal j: the meridional velocity at the middle streamline that makes it carry
// the inlet mass flow.
void solve_full_equilibrium_at_qnormal(int j);
// Heun integration of u' = A u + B + C / u over the nodes x, outward from u(j0).
void solve_chinis_ode(std::span<double> u, vview x, vview A, vview B, vview C, int j0);

}  // namespace quorl
