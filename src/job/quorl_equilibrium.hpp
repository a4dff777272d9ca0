#pragma once
// What the simplified and the full radial-equilibrium solvers share: the passage a quasi-normal
// ends, a row's angular speed, the state a duct carries, its exit flow angle, the root search of
// a solve, and the static state of a quasi-normal.
//
// Index letters, as in the solvers' equations: j is the quasi-normal, i the streamline, so
// flow-field and mesh arrays are read as a(j, i) here (mesh.hpp calls the same indices (i, j)).

#include <memory>
#include <vector>

#include "optimize.hpp"
#include "performance_model.hpp"

namespace quorl {

struct blade_row_t;

// Row number of the passage that ends at quasi-normal j (0: duct); a negative type ends the run.
int passage_row(int j);
// Angular speed of a row, rad/s: angular_speed(rpm) for a rotor, 0 for a stator.
double row_omega(const blade_row_t& row);
// Exit flow angle (deg) of a row at streamline i of its trailing-edge quasi-normal j: the outlet
// blade angle plus the model's deviation, times the row's frame sign.
double exit_flow_angle(const blade_row_t& row, int j, int i);
// Recomputes p, t and rho of every streamline of quasi-normal q from htot, s, cm and ct.
void update_state_variables_at_quasinormal_from_htot_s_c(int q);

// Carries total enthalpy and entropy from quasi-normal j - 1 to j along every streamline, and the
// swirl at constant angular momentum r Ct: the state of j that a duct sets before its root search.
void carry_through_duct(int j);

// A blade row at its trailing-edge quasi-normal j during one solve of j, with what stays fixed
// in the meantime worked out once, before the root search: the outlet blade angle at each
// streamline's point (the points of j move only when its streamlines are redistributed after the
// solve) and the performance model's solve context (performance_model.hpp).
class row_exit_t {
public:
    row_exit_t(const blade_row_t& row, int j);

    // exit_flow_angle(row, j, i) with the flow field as it stands.
    double flow_angle(int i) const;
    // The model's loss coefficient at streamline i, with the flow field as it stands.
    double pressure_loss(int i) const { return model_->pressure_loss(i); }

    const blade_row_t& row;
    const double omega;   // the row's angular speed, rad/s

private:
    std::vector<double> outlet_angle_;   // deg, at y(j, i), i = 1..n
    std::unique_ptr<performance_context_t> model_;
};

// The root search of one solve, from the start value x0. Its root and status are not used: the
// flow field keeps the state of the residual's last evaluation.
template <class F>
void search_root(F&& residual, double x0) {
    // Never read, but needed: with a status record a root search that fails (no bracket, no
    // convergence) returns instead of ending the run, and the flow field keeps the state of its
    // last residual evaluation. Without it the first such failure would stop the run.
    solver_info_t info;
    root_scalar(residual, {.x0 = x0, .info = &info});
}

}  // namespace quorl
