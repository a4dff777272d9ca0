// Simplified radial equilibrium of the start-up sweeps: only the centrifugal pressure rise
// dp/dr = rho Ct^2 / r is integrated across the quasi-normal, and the hub static pressure is
// chosen so that the quasi-normal carries the inlet mass flow.
//
// Index letters, as in the equations: j is the quasi-normal, i the streamline; every array is
// read as a(j, i) (mesh.hpp calls the same two indices (i, j)).

#include <cmath>

#include "flowfield.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "quorl_equilibrium.hpp"
#include "quorl_simplified_equilibrium.hpp"
#include "stop.hpp"

namespace quorl {

namespace {

// sqrt of a velocity-squared expression; a negative or undefined one gives 0.
double velocity_from_square(double square) { return std::sqrt(square > 0.0 ? square : 0.0); }

}  // namespace

void solve_simplified_equilibrium_at_qnormal(int j) {
    flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const thermo_t& gas = *ff.gas;
    const int n = ms.number_of_streamlines;
    const int k = passage_row(j);

    // Static state of streamline i at the pressure the march has reached; returns h.
    auto static_state = [&](int i) {
        ff.t(j, i) = gas.temperature_ps(ff.p(j, i), ff.s(j, i));
        ff.rho(j, i) = gas.density_pt(ff.p(j, i), ff.t(j, i));
        return gas.enthalpy_pt(ff.p(j, i), ff.t(j, i));
    };
    // One explicit step of dp/dr = rho Ct^2 / r to the next streamline.
    auto march_pressure = [&](int i) {
        if (i < n) {
            const double ct = ff.ct(j, i);
            ff.p(j, i + 1) = ff.p(j, i) + ((ct * ct * ff.rho(j, i)) / ms.r(j, i)) * (ms.r(j, i + 1) - ms.r(j, i));
        }
    };

    if (k == 0) {
        carry_through_duct(j);
        auto flux_rate_difference_with_ct = [&](double x) {
            ff.p(j, 1) = x;
            for (int i = 1; i <= n; ++i) {
                const double h = static_state(i);
                const double ct = ff.ct(j, i);
                ff.cm(j, i) = velocity_from_square(2.0 * (ff.htot(j, i) - h) - ct * ct);
                march_pressure(i);
            }
            update_state_variables_at_quasinormal_from_htot_s_c(j);
            return mass_flow_rate(j) - ff.boco.mdot_in;
        };
        search_root(flux_rate_difference_with_ct, ff.p(j - 1, 1));
        return;
    }

    const blade_row_t& row = machine().blade_row(k);
    const double omega = row_omega(row);
    for (int i = 1; i <= n; ++i) {
        ff.s(j, i) = ff.s(j - 1, i);
        ff.cm(j, i) = ff.cm(j - 1, i);
        ff.htot(j, i) = ff.htot(j - 1, i);
    }
    auto flux_rate_difference_with_beta = [&](double x) {
        ff.p(j, 1) = x;
        for (int i = 1; i <= n; ++i) {
            const double h = static_state(i);
            const double beta = exit_flow_angle(row, j, i);
            const double U1 = omega * ms.r(j - 1, i);
            const double U2 = omega * ms.r(j, i);
            const double I = U1 * ff.ct(j - 1, i) + ff.htot(j - 1, i);
            const double tb = tand(beta);
            ff.cm(j, i) = velocity_from_square((U2 * U2 + 2.0 * (I - h)) / (1.0 + tb * tb));
            ff.ct(j, i) = tb * ff.cm(j, i) - U2;
            march_pressure(i);
            ff.htot(j, i) = I - U2 * ff.ct(j, i);
        }
        update_state_variables_at_quasinormal_from_htot_s_c(j);
        return mass_flow_rate(j) - ff.boco.mdot_in;
    };
    search_root(flux_rate_difference_with_beta, ff.p(j - 1, 1));
}

}  // namespace quorl
