#pragma once
// Simplified radial equilibrium of one quasi-normal (the start-up sweeps).

namespace quorl {

// Solves quasi-normal j: the hub static pressure that makes it carry the inlet mass flow.
void solve_simplified_equilibrium_at_qnormal(int j);

}  // namespace quorl
