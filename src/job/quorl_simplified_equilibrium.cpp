// Simplified radial equilibrium of the start-up sweeps: only the centrifugal pressure rise
// dp/dr = rho Ct^2 / r is integrated across the quasi-normal, and the hub static pressure is
// chosen so that the quasi-normal carries the inlet mass flow.
//
// Index letters, as in the equations: j is the quasi-normal, i the streamline; every array is
// read as a(j, i) (mesh.hpp calls the same two indices (i, j)).

#include <cmath>
#include <vector>

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

// Each residual evaluation reads the flow state of j that the previous one left, so only what
// the solve fixes before its root search is worked out ahead: the mesh geometry of j's mass flow,
// the row's blading and its model's solve context, and what follows from the state of j - 1
// (the blade speeds and the rothalpy carried from the leading edge).
void solve_simplified_equilibrium_at_qnormal(int j) {
    flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const thermo_t& gas = *ff.gas;
    const int n = ms.number_of_streamlines;
    const int k = passage_row(j);
    const mass_flow_geometry_t flow_area = mass_flow_geometry(j);

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
            return mass_flow_rate(flow_area) - ff.boco.mdot_in;
        };
        search_root(flux_rate_difference_with_ct, ff.p(j - 1, 1));
        return;
    }

    const row_exit_t row(machine().blade_row(k), j);
    const double omega = row.omega;
    for (int i = 1; i <= n; ++i) {
        ff.s(j, i) = ff.s(j - 1, i);
        ff.cm(j, i) = ff.cm(j - 1, i);
        ff.htot(j, i) = ff.htot(j - 1, i);
    }
    // Per streamline: the blade speed at the exit and the rothalpy carried from the leading edge.
    std::vector<double> U2(static_cast<std::size_t>(n > 0 ? n : 0));
    std::vector<double> I(U2.size());
    for (int i = 1; i <= n; ++i) {
        const double U1 = omega * ms.r(j - 1, i);
        U2[static_cast<std::size_t>(i - 1)] = omega * ms.r(j, i);
        I[static_cast<std::size_t>(i - 1)] = U1 * ff.ct(j - 1, i) + ff.htot(j - 1, i);
    }
    auto flux_rate_difference_with_beta = [&](double x) {
        ff.p(j, 1) = x;
        for (int i = 1; i <= n; ++i) {
            const double h = static_state(i);
            const double beta = row.flow_angle(i);
            const double U = U2[static_cast<std::size_t>(i - 1)];
            const double Ii = I[static_cast<std::size_t>(i - 1)];
            const double tb = tand(beta);
            ff.cm(j, i) = velocity_from_square((U * U + 2.0 * (Ii - h)) / (1.0 + tb * tb));
            ff.ct(j, i) = tb * ff.cm(j, i) - U;
            march_pressure(i);
            ff.htot(j, i) = Ii - U * ff.ct(j, i);
        }
        update_state_variables_at_quasinormal_from_htot_s_c(j);
        return mass_flow_rate(flow_area) - ff.boco.mdot_in;
    };
    search_root(flux_rate_difference_with_beta, ff.p(j - 1, 1));
}

}  // namespace quorl
