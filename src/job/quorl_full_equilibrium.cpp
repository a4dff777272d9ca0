// Full radial equilibrium of the main sweeps: dCm/dy = A Cm + B + C / Cm along the quasi-normal,
// integrated by Heun's method outward from the middle streamline, whose meridional velocity is
// chosen so that the quasi-normal carries the inlet mass flow. Blade rows add the deviation of
// their exit flow angle and the total-pressure loss of their performance model.
//
// Index letters, as in the equations: j is the quasi-normal, i the streamline; every array is
// read as a(j, i) (mesh.hpp calls the same two indices (i, j)).

#include <cmath>
#include <vector>

#include "finite_differences.hpp"
#include "flowfield.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "quorl_equilibrium.hpp"
#include "quorl_full_equilibrium.hpp"
#include "stop.hpp"

namespace quorl {

void solve_chinis_ode(std::span<double> u, vview x, vview A, vview B, vview C, int j0) {
    const int n = static_cast<int>(u.size());
    auto U = [&](int k) -> double& { return u[static_cast<std::size_t>(k - 1)]; };
    auto f = [&](int k, double v) { return A(k) * v + B(k) + C(k) / v; };
    for (int k = j0; k <= n - 1; ++k) {
        const double h = x(k + 1) - x(k);
        const double v = U(k) + h * f(k, U(k));
        U(k + 1) = (U(k) + h * f(k + 1, v) + v) / 2.0;
    }
    if (j0 > 1) {
        for (int k = j0; k >= 2; --k) {
            const double h = x(k) - x(k - 1);
            const double v = U(k) - h * f(k, U(k));
            U(k - 1) = (U(k) - h * f(k - 1, v) + v) / 2.0;
        }
    }
}

namespace {

// Buffers of one solve, sized once and reused by every residual evaluation, so that an
// evaluation allocates nothing: the coefficients, the exit flow angles and their tangents, the
// derivative profiles (R = r ct in a duct; G = r tand(beta) and the rothalpy I at a blade-row
// exit), the integrated meridional velocity, and what the solve fixes before its root search
// (see solve_full_equilibrium_at_qnormal).
struct solve_buffers {
    std::vector<double> A, B, C, beta, tan_beta, R, G, I, u;
    std::vector<double> dH, dS, swirl, U2, rct1;

    explicit solve_buffers(int n) {
        const auto m = static_cast<std::size_t>(n > 0 ? n : 0);
        for (auto* v : {&A, &B, &C, &beta, &tan_beta, &R, &G, &I, &u, &dH, &dS, &swirl, &U2, &rct1})
            v->assign(m, 0.0);
    }
};

// The mesh of quasi-normal j as the coefficients read it, per streamline. The points of j move
// only when its streamlines are redistributed after the solve, and phi, lambda and kappa only
// after each sweep, so a solve works these out once for all its residual evaluations.
struct qnormal_geometry {
    std::vector<double> r;               // m
    std::vector<double> sin_phi;         // sind(phi)
    std::vector<double> sin_psi;         // sind(psi), psi = phi - lambda
    std::vector<double> dphi_cos_psi;    // dphi / cosd(psi), dphi = d(phi)/dy in rad/m
    std::vector<double> tan_psi_kappa;   // tand(psi) kappa, 1/m
    std::vector<double> kappa_cos_psi;   // kappa cosd(psi), 1/m

    explicit qnormal_geometry(int j) {
        const mesh_state& ms = mesh();
        const int n = ms.number_of_streamlines;
        for (int i = 1; i <= n; ++i) {
            const double phi = ms.phi(j, i);
            const double psi = phi - ms.lambda(j, i);
            const double kappa = ms.kappa(j, i);
            const double dphi = deg2rad(diff_at_point_i(ms.phi.row(j), ms.y.row(j), i));
            r.push_back(ms.r(j, i));
            sin_phi.push_back(sind(phi));
            sin_psi.push_back(sind(psi));
            dphi_cos_psi.push_back(dphi / cosd(psi));
            tan_psi_kappa.push_back(tand(psi) * kappa);
            kappa_cos_psi.push_back(kappa * cosd(psi));
        }
    }
};

double at(const std::vector<double>& v, int i) { return v[static_cast<std::size_t>(i - 1)]; }
double& at(std::vector<double>& v, int i) { return v[static_cast<std::size_t>(i - 1)]; }

// The bracket term of every A_i: sind(psi) Q - kappa cosd(psi), with Q from the Mach numbers,
// the meridional angle and its rate of change along the quasi-normal.
double curvature_term(const qnormal_geometry& g, int j, int i) {
    const flowfield_state& ff = flowfield();
    const double a = ff.gas->sound_speed_pt(ff.p(j, i), ff.t(j, i));
    const double Mm = ff.cm(j, i) / a;
    const double Mt = ff.ct(j, i) / a;
    const double Q = (-(1.0 + Mt * Mt) * at(g.sin_phi, i) / at(g.r, i) - at(g.dphi_cos_psi, i) -
                      at(g.tan_psi_kappa, i)) /
                     (1.0 - Mm * Mm);
    return at(g.sin_psi, i) * Q - at(g.kappa_cos_psi, i);
}

// Integrates the equation across quasi-normal j from the trial value x at the middle streamline.
void integrate_across(solve_buffers& w, int j, double x) {
    flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const int n = ms.number_of_streamlines;
    const int mid = (n + 1) / 2;
    for (int i = 1; i <= n; ++i) at(w.u, i) = ff.cm(j, i);
    at(w.u, mid) = x;
    solve_chinis_ode(w.u, ms.y.row(j), vview(w.A), vview(w.B), vview(w.C), mid);
    for (int i = 1; i <= n; ++i) ff.cm(j, i) = at(w.u, i);
}

}  // namespace

// Each residual evaluation reads the flow state of j that the previous one left, so only what
// the solve fixes before its root search is worked out ahead: the geometry of j, the row's
// blading and its model's solve context, and the state of j - 1. In a duct also the profiles of
// htot, s and r ct, which the solve sets first; at a blade-row exit the profile of s, set from the
// loss before the root search.
void solve_full_equilibrium_at_qnormal(int j) {
    flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const thermo_t& gas = *ff.gas;
    const int n = ms.number_of_streamlines;
    const int k = passage_row(j);
    solve_buffers w(n);
    const qnormal_geometry g(j);
    const mass_flow_geometry_t flow_area = mass_flow_geometry(j);
    const vview y = ms.y.row(j);

    if (k == 0) {
        carry_through_duct(j);
        for (int i = 1; i <= n; ++i) at(w.R, i) = ms.r(j, i) * ff.ct(j, i);
        for (int i = 1; i <= n; ++i) {
            at(w.dH, i) = diff_at_point_i(ff.htot.row(j), y, i);
            at(w.dS, i) = diff_at_point_i(ff.s.row(j), y, i);
            at(w.swirl, i) = (ff.ct(j, i) / ms.r(j, i)) * diff_at_point_i(vview(w.R), y, i);
        }
        auto flux_rate_difference_with_ct = [&](double x) {
            for (int i = 1; i <= n; ++i) {
                at(w.A, i) = curvature_term(g, j, i);
                at(w.B, i) = 0.0;
                at(w.C, i) = at(w.dH, i) - ff.t(j, i) * at(w.dS, i) - at(w.swirl, i);
            }
            integrate_across(w, j, x);
            update_state_variables_at_quasinormal_from_htot_s_c(j);
            return mass_flow_rate(flow_area) - ff.boco.mdot_in;
        };
        search_root(flux_rate_difference_with_ct, ff.cm(1, 1));
        return;
    }

    const row_exit_t row(machine().blade_row(k), j);
    const double omega = row.omega;
    const bool compressor = machine().is_compressor();
    const bool turbine = machine().is_turbine();
    for (int i = 1; i <= n; ++i) {
        const double U1 = omega * ms.r(j - 1, i);
        const double U2 = omega * ms.r(j, i);
        const double I = ff.htot(j - 1, i) + U1 * ff.ct(j - 1, i);
        const double p0rel1 = gas.pressure_hs(I + U1 * U1 / 2.0, ff.s(j - 1, i));
        const double h0rel2 = I + U2 * U2 / 2.0;
        const double p0rel2is = gas.pressure_hs(h0rel2, ff.s(j - 1, i));
        const double Y = row.pressure_loss(i);
        double p0rel2;
        if (compressor) {
            p0rel2 = p0rel2is - Y * (p0rel1 - ff.p(j - 1, i));
        } else if (turbine) {
            p0rel2 = (p0rel2is + Y * ff.p(j, i)) / (1.0 + Y);
        } else {
            fatal("Error: unknown machine type");
        }
        ff.s(j, i) = gas.entropy_hp(h0rel2, p0rel2);
    }
    for (int i = 1; i <= n; ++i) {
        at(w.dS, i) = diff_at_point_i(ff.s.row(j), y, i);
        at(w.U2, i) = omega * ms.r(j, i);
        at(w.rct1, i) = ms.r(j - 1, i) * ff.ct(j - 1, i);
    }
    const double two_omega = 2.0 * omega;

    auto flux_rate_difference_with_beta = [&](double x) {
        for (int i = 1; i <= n; ++i) {
            at(w.beta, i) = row.flow_angle(i);
            at(w.tan_beta, i) = tand(at(w.beta, i));
        }
        // The rothalpy profile is that of the state before this evaluation updates it.
        for (int i = 1; i <= n; ++i) {
            at(w.G, i) = ms.r(j, i) * at(w.tan_beta, i);
            at(w.I, i) = ff.htot(j, i) + at(w.U2, i) * ff.ct(j, i);
        }
        for (int i = 1; i <= n; ++i) {
            const double beta = at(w.beta, i);
            const double cb = cosd(beta);
            const double cb2 = cb * cb;
            at(w.A, i) = cb2 * (curvature_term(g, j, i) -
                                (at(w.tan_beta, i) / ms.r(j, i)) * diff_at_point_i(vview(w.G), y, i));
            // cosd(lambda) is fixed during the solve but stays here: so computed, a flow field gone
            // non-finite carries the same NaNs as before (which of two NaNs an operation returns
            // is left to the code generation).
            at(w.B, i) = two_omega * cb * sind(beta) * cosd(ms.lambda(j, i));
            at(w.C, i) = cb2 * (diff_at_point_i(vview(w.I), y, i) - ff.t(j, i) * at(w.dS, i));
        }
        integrate_across(w, j, x);
        for (int i = 1; i <= n; ++i) {
            ff.ct(j, i) = at(w.tan_beta, i) * ff.cm(j, i) - at(w.U2, i);
            ff.htot(j, i) = ff.htot(j - 1, i) - omega * (ms.r(j, i) * ff.ct(j, i) - at(w.rct1, i));
        }
        update_state_variables_at_quasinormal_from_htot_s_c(j);
        return mass_flow_rate(flow_area) - ff.boco.mdot_in;
    };
    search_root(flux_rate_difference_with_beta, ff.cm(j, 1));
}

}  // namespace quorl
