// The solver on whole runs: initialisation, start-up sweeps and full-equilibrium sweeps.

#include <cmath>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "finite_differences.hpp"
#include "flowfield.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "quorl.hpp"
#include "quorl_full_equilibrium.hpp"
#include "quorl_simplified_equilibrium.hpp"
#include "stage_job.hpp"
#include "test_support.hpp"

namespace {

using namespace quorl;

using test::job_text;
using stage = test::stage_job;

// Runs init (and run when asked) on a job text; returns what was printed.
std::string solve(const std::string& text, bool full = true) {
    quorl_job_t job;
    job.table = test::parse_toml(text);
    return test::captured_stdout([&] {
        job.init();
        if (full) job.run();
    });
}

// The 100 full sweeps on the state that init left; returns what was printed.
std::string run_sweeps() {
    return test::captured_stdout([] { quorl_job_t{}.run(); });
}

// Every flow-field value of quasi-normal i, array by array.
std::vector<double> state_of(int i) {
    const flowfield_state& ff = flowfield();
    std::vector<double> v;
    for (const array2d* a : {&ff.p, &ff.t, &ff.rho, &ff.s, &ff.htot, &ff.cm, &ff.ct})
        for (int j = 1; j <= mesh().number_of_streamlines; ++j) v.push_back((*a)(i, j));
    return v;
}

// p, t and rho of quasi-normal i are those of its htot, s, cm and ct.
void expect_static_state_consistent(int i) {
    const flowfield_state& ff = flowfield();
    for (int j = 1; j <= mesh().number_of_streamlines; ++j) {
        const double h = ff.htot(i, j) - ff.cm(i, j) * ff.cm(i, j) / 2.0 - ff.ct(i, j) * ff.ct(i, j) / 2.0;
        EXPECT_EQ(ff.p(i, j), ff.gas->pressure_hs(h, ff.s(i, j))) << i << "," << j;
        EXPECT_EQ(ff.t(i, j), ff.gas->temperature_ps(ff.p(i, j), ff.s(i, j))) << i << "," << j;
        EXPECT_EQ(ff.rho(i, j), ff.gas->density_pt(ff.p(i, j), ff.t(i, j))) << i << "," << j;
    }
}

double omega_of(double rpm) { return ((rpm + rpm) * pi) / 60.0; }

TEST(Solver, LosslessStageConservesMassAndEntropyAndDoesEulerWork) {
    stage s;
    solve(job_text(s), false);
    // The main sweeps print nothing and never touch the inlet state of quasi-normal 1.
    const std::vector<double> inlet = state_of(1);
    EXPECT_EQ(run_sweeps(), "");
    EXPECT_EQ(state_of(1), inlet);
    const mesh_state& ms = mesh();
    const flowfield_state& ff = flowfield();
    const int n = ms.number_of_streamlines;
    ASSERT_EQ(ms.number_of_quasinormals, 6);

    // Quasi-normal 1 is set once; the others carry the inlet mass flow after the last solve.
    EXPECT_NEAR(mass_flow_rate(1), s.mdot_in, 1e-3 * s.mdot_in);
    for (int i = 2; i <= 6; ++i) EXPECT_NEAR(mass_flow_rate(i), s.mdot_in, 1e-7 * s.mdot_in) << "quasi-normal " << i;

    const double s_in = ff.s(1, 1);
    const double omega = omega_of(s.rpm);
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= 6; ++i) EXPECT_NEAR(ff.s(i, j), s_in, 1e-9 * std::fabs(s_in)) << i << "," << j;
        // Ducts and the stator carry the total enthalpy.
        for (int i : {2, 4, 5, 6}) EXPECT_EQ(ff.htot(i, j), ff.htot(i - 1, j)) << i << "," << j;
    }
    // The rotor's work is Euler's: on the hub and shroud streamlines, whose points stay put.
    for (int j : {1, n}) {
        const double euler = -omega * (ms.r(3, j) * ff.ct(3, j) - ms.r(2, j) * ff.ct(2, j));
        EXPECT_NEAR(ff.htot(3, j) - ff.htot(2, j), euler, 1e-9 * std::fabs(euler));
        EXPECT_GT(ff.htot(3, j), ff.htot(2, j) + 10e3);
    }
    // Every quasi-normal holds the static state of its last residual evaluation.
    for (int i = 2; i <= 6; ++i) expect_static_state_consistent(i);
}

TEST(Solver, InletStateIsUniformAndCarriesTheMassFlow) {
    stage s;
    s.hub = {{0.0, 0.20}, {0.30, 0.20}};
    solve(job_text(s), false);
    const flowfield_state& ff = flowfield();
    const int n = mesh().number_of_streamlines;
    for (int j = 1; j <= n; ++j) {
        EXPECT_EQ(ff.ct(1, j), 0.0);
        for (const array2d* a : {&ff.htot, &ff.s, &ff.cm, &ff.p, &ff.t, &ff.rho}) EXPECT_EQ((*a)(1, j), (*a)(1, 1));
    }
    // A radial inlet line on a cylindrical annulus: the flow area is the annulus area.
    const double area = pi * (0.30 * 0.30 - 0.20 * 0.20);
    EXPECT_NEAR(ff.rho(1, 1) * ff.cm(1, 1) * area, s.mdot_in, 1e-9 * s.mdot_in);
}

TEST(Solver, ExitSwirlFollowsTheBladeAnglesAndFrameSign) {
    // Hub and shroud points never move, so there the state is that of the last solve's geometry.
    {
        stage s;
        s.rotor().outlet_angle = {0.0, 0.0, 0.0, 0.0, 0.0};  // beta = 0 in the rotor: Ct + U = 0
        s.mdot_in = 20.0;
        solve(job_text(s), false);
        const double omega = omega_of(s.rpm);
        for (int j : {1, mesh().number_of_streamlines})
            EXPECT_EQ(flowfield().ct(3, j), 0.0 * flowfield().cm(3, j) - omega * mesh().r(3, j));
    }
    {
        stage s;
        s.stator().outlet_angle = {10.0, 10.0, 10.0, 10.0, 10.0};  // stator frame sign -1: Ct = tand(-10) Cm
        solve(job_text(s));
        for (int j : {1, mesh().number_of_streamlines}) {
            EXPECT_DOUBLE_EQ(flowfield().ct(5, j), tand(-10.0) * flowfield().cm(5, j));
            EXPECT_LT(flowfield().ct(5, j), -10.0);
        }
    }
}

TEST(Solver, StationaryRowIgnoresTheRotationalSpeed) {
    stage s;
    s.rotor().rotating = false;
    s.rotor().outlet_angle = {20.0, 20.0, 20.0, 20.0, 20.0};
    s.mdot_in = 20.0;
    solve(job_text(s));
    const flowfield_state& ff = flowfield();
    for (int j = 1; j <= mesh().number_of_streamlines; ++j) {
        EXPECT_EQ(ff.htot(3, j), ff.htot(2, j));
        EXPECT_DOUBLE_EQ(ff.ct(3, j), tand(-20.0) * ff.cm(3, j));  // a compressor stator: frame sign -1
    }
}

TEST(Solver, FreeVortexStatorLeavesUniformMeridionalVelocity) {
    // A stator on a cylindrical annulus whose exit angles give r Ct = constant for uniform Cm.
    test::blade_row_job stator;
    stator.number_of_blades = 40;
    stator.leading_edge = {{0.08, 0.19}, {0.08, 0.31}};
    for (int k = 0; k <= 12; ++k) {
        const double r = 0.19 + 0.01 * k;
        stator.trailing_edge.push_back({0.12, r});
        stator.outlet_angle.push_back(atand(12.5 / (r * 100.0)));
    }
    stator.inlet_angle = {0.0, 0.0};
    stator.chord = {0.04, 0.04};
    stator.relative_thickness = {0.08, 0.08};
    stage s;
    s.mdot_in = 18.0;
    s.rpm = 0.0;
    s.streamlines = 21;
    s.hub = {{0.0, 0.20}, {0.30, 0.20}};
    s.shroud = {{0.0, 0.30}, {0.30, 0.30}};
    s.rows = {stator};
    const std::string text = job_text(s);
    solve(text);
    const flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const int n = ms.number_of_streamlines;
    for (int i : {3, 4}) {
        double lo = ff.cm(i, 1), hi = lo;
        for (int j = 1; j <= n; ++j) {
            lo = std::min(lo, ff.cm(i, j));
            hi = std::max(hi, ff.cm(i, j));
        }
        EXPECT_LT((hi - lo) / lo, 2e-3) << "quasi-normal " << i;
        // r Ct is the same on every streamline (a free vortex) and is carried by the duct.
        const double K = ms.r(i, 1) * ff.ct(i, 1);
        EXPECT_LT(K, -5.0);
        for (int j = 1; j <= n; ++j) EXPECT_NEAR(ms.r(i, j) * ff.ct(i, j), K, 5e-3 * std::fabs(K));
    }
}

TEST(Solver, SmallestAndEvenStreamlineCountsRun) {
    for (int n : {3, 4}) {
        stage s;
        s.streamlines = n;
        solve(job_text(s));
        ASSERT_EQ(mesh().number_of_streamlines, n);
        for (int i = 2; i <= 6; ++i) EXPECT_NEAR(mass_flow_rate(i), s.mdot_in, 1e-6 * s.mdot_in) << n << ", " << i;
    }
}

TEST(Solver, SolverTableWarningsAndStreamlineCounts) {
    const struct {
        std::string solver;
        std::string printed;
    } cases[] = {
        {"# no solver table\n", " WARNING: didn't found [solver] section! Using defaults.\n"},
        {"[solver]\n", " WARNING: didn't found number_of_streamlines in [solver] section! Using defaults.\n"},
        {"[solver]\nnumber_of_streamlines = 10.0\n",
         " WARNING: didn't found number_of_streamlines in [solver] section! Using defaults.\n"},
        {"[solver]\nnumber_of_streamlines = 'ten'\n",
         " WARNING: didn't found number_of_streamlines in [solver] section! Using defaults.\n"},
        {"[solver]\nnumber_of_streamlines = 2147483648\n",
         " WARNING: didn't found number_of_streamlines in [solver] section! Using defaults.\n"},
    };
    for (const auto& c : cases) {
        stage s;
        s.solver = c.solver;
        EXPECT_EQ(solve(job_text(s), false), c.printed);
        EXPECT_EQ(mesh().number_of_streamlines, 10);
    }
}

TEST(Solver, RunsThatCannotStartEndWithTheirMessage) {
    const struct {
        stage s;
        const char* message;
    } cases[] = {
        {[] { stage s; s.streamlines = 0; return s; }(),
         "ERROR: number_of_streamlines in [solver] must be positive (found 0)"},
        {[] { stage s; s.streamlines = -4; return s; }(),
         "ERROR: number_of_streamlines in [solver] must be positive (found -4)"},
        {[] { stage s; s.streamlines = 2147483647; return s; }(),
         "ERROR: number_of_streamlines in [solver] is too large: no memory for 2147483647 streamlines"},
        {[] { stage s; s.streamlines = 2; return s; }(), "finite_differences: x must have at least 3 elements"},
        {[] { stage s; s.streamlines = 1; return s; }(), "finite_differences: x must have at least 2 elements"},
        {[] { stage s; s.mdot_in = 80.0; return s; }(), "bisect: f(a) and f(b) must have opposite signs"},
        {[] { stage s; s.mdot_in = -1.0; return s; }(),
         "Error: the inlet flow area of 0.1570534723369031 m2 and mdot_in = -1 kg/s give no finite positive mass flux"},
        {[] { stage s; s.ptot_in = -1.0; return s; }(),
         "Error: the gas model gives no static state at the inlet for ptot_in = -1 Pa and Ttot_in = 288.15 K"},
    };
    for (const auto& c : cases) EXPECT_STOP(solve(job_text(c.s), false), c.message);
}

TEST(Solver, ChinisOdeIntegratesOutwardFromTheStartNode) {
    // u' = B: Heun is exact for a constant slope, both ways.
    std::vector<double> u = {0, 0, 5, 0, 0};
    const std::vector<double> x = {0.0, 0.5, 1.5, 2.0, 4.0};
    const std::vector<double> zero(5, 0.0), two(5, 2.0);
    solve_chinis_ode(u, x, zero, two, zero, 3);
    EXPECT_EQ(u, (std::vector<double>{2.0, 3.0, 5.0, 6.0, 10.0}));

    // u' = A u: each step multiplies by 1 + hA + (hA)^2 / 2.
    std::vector<double> v = {0, 1, 0};
    const std::vector<double> xs = {0.0, 0.1, 0.3}, A(3, 1.0);
    solve_chinis_ode(v, xs, A, zero, zero, 2);
    EXPECT_DOUBLE_EQ(v[2], 1.0 + 0.2 + 0.02);
    EXPECT_DOUBLE_EQ(v[0], 1.0 - 0.1 + 0.005);
    EXPECT_EQ(v[1], 1.0);
}

// The meridional-velocity profile that the equilibrium equation gives on quasi-normal j from
// its current state and the value at the middle streamline, with the coefficients A, B, C
// written out term by term.
std::vector<double> equilibrium_profile(int j, double omega, const blade_row_t* row, double deviation) {
    const flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const int n = ms.number_of_streamlines;
    const vview y = ms.y.row(j);
    std::vector<double> beta, G, I, R, A, B, C;
    for (int i = 1; i <= n; ++i) {
        beta.push_back(row ? (row->outlet_angle.at(ms.y(j, i)) + deviation) * row->frame_sign : 0.0);
        G.push_back(ms.r(j, i) * tand(beta.back()));
        I.push_back(ff.htot(j, i) + omega * ms.r(j, i) * ff.ct(j, i));
        R.push_back(ms.r(j, i) * ff.ct(j, i));
    }
    for (int i = 1; i <= n; ++i) {
        const double a = ff.gas->sound_speed_pt(ff.p(j, i), ff.t(j, i));
        const double Mm = ff.cm(j, i) / a, Mt = ff.ct(j, i) / a;
        const double phi = ms.phi(j, i), psi = phi - ms.lambda(j, i), kappa = ms.kappa(j, i);
        const double dphi = deg2rad(diff_at_point_i(ms.phi.row(j), y, i));
        const double Q = (-(1.0 + Mt * Mt) * sind(phi) / ms.r(j, i) - dphi / cosd(psi) - tand(psi) * kappa) /
                         (1.0 - Mm * Mm);
        const double dS = diff_at_point_i(ff.s.row(j), y, i);
        const double b = beta[static_cast<std::size_t>(i - 1)];
        if (row) {
            const double c2 = cosd(b) * cosd(b);
            A.push_back(c2 * (sind(psi) * Q - kappa * cosd(psi) - (tand(b) / ms.r(j, i)) * diff_at_point_i(G, y, i)));
            B.push_back(2.0 * omega * cosd(b) * sind(b) * cosd(ms.lambda(j, i)));
            C.push_back(c2 * (diff_at_point_i(I, y, i) - ff.t(j, i) * dS));
        } else {
            A.push_back(sind(psi) * Q - kappa * cosd(psi));
            B.push_back(0.0);
            C.push_back(diff_at_point_i(ff.htot.row(j), y, i) - ff.t(j, i) * dS -
                        (ff.ct(j, i) / ms.r(j, i)) * diff_at_point_i(R, y, i));
        }
    }
    const int mid = (n + 1) / 2;
    std::vector<double> u(static_cast<std::size_t>(n), 0.0);
    u[static_cast<std::size_t>(mid - 1)] = ff.cm(j, mid);
    solve_chinis_ode(u, y, A, B, C, mid);
    return u;
}

TEST(Solver, FullSolveEndsOnTheEquilibriumProfile) {
    // A converged solve's last evaluation took its coefficients from the state of a trial one
    // bisection step away, so its profile is the one that the equation gives on the final
    // state to within rounding; a wrong term of A, B or C, or a wrong start node, shows here.
    // An even streamline count (the trial value on streamline 5 of 10) and a rotor trailing
    // edge leaning downstream toward the shroud (lambda < 0).
    stage s;
    s.streamlines = 10;
    s.rotor().trailing_edge = {{0.11, 0.18}, {0.1129, 0.20}, {0.1214, 0.25}, {0.13, 0.30}, {0.1329, 0.32}};
    s.rotor().deviation = 2.0;
    s.rotor().pressure_loss = 0.05;
    s.stator().outlet_angle = {5.0, 8.0, 12.0, 15.0, 20.0};
    s.stator().pressure_loss = 0.06;
    solve(job_text(s), false);
    const int n = mesh().number_of_streamlines;
    for (int j = 2; j <= 6; ++j) {
        solve_full_equilibrium_at_qnormal(j);
        const bool row = j == 3 || j == 5;
        const std::vector<double> u = equilibrium_profile(j, j == 3 ? omega_of(s.rpm) : 0.0,
                                                          row ? &machine().blade_row(j == 3 ? 1 : 2) : nullptr,
                                                          j == 3 ? s.rotor().deviation : s.stator().deviation);
        for (int i = 1; i <= n; ++i) {
            const double cm = flowfield().cm(j, i);
            EXPECT_NEAR(u[static_cast<std::size_t>(i - 1)], cm, 1e-12 * std::fabs(cm)) << j << "," << i;
        }
    }
}

TEST(Solver, NonFiniteSolutionEndsTheRunAfterItsOutputs) {
    // A rotor turning the flow far too much: the stator exit runs out of meridional velocity.
    stage s;
    s.mdot_in = 22.0;
    s.rotor().outlet_angle = {28.0, 30.0, 38.0, 45.0, 47.0};
    s.stator().outlet_angle = {3.0, 3.0, 3.0, 3.0, 3.0};
    s.rotor().deviation = 2.0;
    s.rotor().pressure_loss = 0.05;
    s.stator().pressure_loss = 0.06;
    const auto dir = test::fresh_dir("solver_non_finite");
    test::write_file(dir / "job.toml", job_text(s));
    const auto r = test::run_quorl({"-i", "job.toml"}, dir);
    const std::string warning =
        " WARNING: the solution is not finite at quasi-normal 5, streamline 1; the outputs show it as it is\n";
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find(" Solving ...\n" + warning), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Quorl finished successfully"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, warning + "ERROR STOP Error: the solution is not finite at quasi-normal 5, streamline 1\n");
}

// Exit entropy of the blade row ending at quasi-normal j, streamline i: the loss lowers the
// exit relative total pressure; `p_exit` is the static pressure that j held before its solve.
double exit_entropy(int j, int i, double omega, double Y, bool compressor, double p_exit) {
    const flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const double U1 = omega * ms.r(j - 1, i);
    const double U2 = omega * ms.r(j, i);
    const double I = ff.htot(j - 1, i) + U1 * ff.ct(j - 1, i);
    const double p0rel1 = ff.gas->pressure_hs(I + U1 * U1 / 2.0, ff.s(j - 1, i));
    const double h0rel2 = I + U2 * U2 / 2.0;
    const double p0rel2is = ff.gas->pressure_hs(h0rel2, ff.s(j - 1, i));
    const double p0rel2 = compressor ? p0rel2is - Y * (p0rel1 - ff.p(j - 1, i)) : (p0rel2is + Y * p_exit) / (1.0 + Y);
    return ff.gas->entropy_hp(h0rel2, p0rel2);
}

TEST(Solver, EachSolveWritesWhatItsPassageAsks) {
    // Quasi-normals 2 to 5 solved once each, in order, on the state that init left: a duct
    // after the swirl-free inlet, the rotor, a duct after swirling flow, the stator.
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "full equilibrium" : "simplified equilibrium");
        stage s;
        s.rotor().deviation = 2.0;
        s.rotor().pressure_loss = 0.05;
        s.stator().deviation = 3.0;
        s.stator().pressure_loss = 0.06;
        solve(job_text(s), false);
        const flowfield_state& ff = flowfield();
        const mesh_state& ms = mesh();
        const int n = ms.number_of_streamlines;
        const double omega = omega_of(s.rpm);
        const auto solve_at = [full](int j) {
            if (full) solve_full_equilibrium_at_qnormal(j);
            else solve_simplified_equilibrium_at_qnormal(j);
        };

        for (int j = 2; j <= 5; ++j) {
            const bool rotor = j == 3;
            const bool row = j == 3 || j == 5;
            const blade_row_t& blades = machine().blade_row(rotor ? 1 : 2);
            const double w = rotor ? omega : 0.0;
            const double deviation = rotor ? s.rotor().deviation : s.stator().deviation;
            const double Y = rotor ? s.rotor().pressure_loss : s.stator().pressure_loss;
            const std::vector<double> before = state_of(j - 1);
            solve_at(j);
            EXPECT_EQ(state_of(j - 1), before) << "quasi-normal " << j - 1 << " changed by the solve of " << j;
            EXPECT_NEAR(mass_flow_rate(j), s.mdot_in, 1e-7 * s.mdot_in) << "quasi-normal " << j;
            expect_static_state_consistent(j);
            for (int i = 1; i <= n; ++i) {
                SCOPED_TRACE(fmt::format("quasi-normal {}, streamline {}", j, i));
                if (!row) {
                    // Total enthalpy and entropy carried, r Ct constant along the streamline.
                    EXPECT_EQ(ff.htot(j, i), ff.htot(j - 1, i));
                    EXPECT_EQ(ff.s(j, i), ff.s(j - 1, i));
                    EXPECT_EQ(ff.ct(j, i), (ms.r(j - 1, i) * ff.ct(j - 1, i)) / ms.r(j, i));
                    if (j == 2 && !full) {
                        // After swirl-free flow the march keeps the trial pressure: the
                        // whole quasi-normal has one static state and one velocity.
                        EXPECT_EQ(ff.ct(j, i), 0.0);
                        EXPECT_EQ(ff.cm(j, i), ff.cm(j, 1));
                        EXPECT_EQ(ff.p(j, i), ff.p(j, 1));
                    }
                    continue;
                }
                // Exit flow angle from the outlet angle, the deviation and the frame sign;
                // rothalpy carried, so the work is Euler's.
                const double beta = (blades.outlet_angle.at(ms.y(j, i)) + deviation) * blades.frame_sign;
                const double U2 = w * ms.r(j, i);
                const double I = w * ms.r(j - 1, i) * ff.ct(j - 1, i) + ff.htot(j - 1, i);
                EXPECT_EQ(ff.ct(j, i), tand(beta) * ff.cm(j, i) - U2);
                if (full) {
                    EXPECT_EQ(ff.htot(j, i),
                              ff.htot(j - 1, i) - w * (ms.r(j, i) * ff.ct(j, i) - ms.r(j - 1, i) * ff.ct(j - 1, i)));
                    EXPECT_EQ(ff.s(j, i), exit_entropy(j, i, w, Y, true, 0.0));
                    EXPECT_GT(ff.s(j, i), ff.s(j - 1, i));
                } else {
                    EXPECT_EQ(ff.htot(j, i), I - U2 * ff.ct(j, i));
                    EXPECT_EQ(ff.s(j, i), ff.s(j - 1, i));  // no loss in the start-up sweeps
                }
                if (!rotor) {
                    EXPECT_EQ(ff.htot(j, i), ff.htot(j - 1, i));
                }
            }
        }
    }
}

TEST(Solver, TurbineLossIsReferredToTheExitStaticPressureBeforeTheSolve) {
    stage s;
    s.type = "turbine";
    s.rotor().pressure_loss = 0.3;
    solve(job_text(s), false);
    const int n = mesh().number_of_streamlines;
    std::vector<double> p_exit;
    for (int i = 1; i <= n; ++i) p_exit.push_back(flowfield().p(3, i));
    solve_full_equilibrium_at_qnormal(3);
    for (int i = 1; i <= n; ++i) {
        const double p_before = p_exit[static_cast<std::size_t>(i - 1)];
        EXPECT_EQ(flowfield().s(3, i), exit_entropy(3, i, omega_of(s.rpm), 0.3, false, p_before)) << "streamline " << i;
        EXPECT_NE(flowfield().p(3, i), p_before);
    }
}

TEST(Solver, FailedRootSearchLeavesTheLastEvaluationsState) {
    // No hub pressure carries this mass flow: the bracket search fails, quietly, and the
    // quasi-normal keeps the state of the last trial, the bracket's high-pressure end, where
    // the static enthalpy exceeds the total and no streamline carries flow.
    for (int j : {2, 3}) {
        stage s;
        solve(job_text(s), false);
        flowfield().boco.mdot_in = 1000.0;
        EXPECT_EQ(test::captured_stdout([j] { solve_simplified_equilibrium_at_qnormal(j); }), "");
        expect_static_state_consistent(j);
        for (int i = 1; i <= mesh().number_of_streamlines; ++i) EXPECT_EQ(flowfield().cm(j, i), 0.0) << j << "," << i;
        EXPECT_EQ(mass_flow_rate(j), 0.0);
    }
}

TEST(Solver, UnknownPassageAndMachineTypesEndTheRun) {
    stage s;
    solve(job_text(s), false);
    mesh().passage_type(2) = -1;
    EXPECT_STOP(solve_simplified_equilibrium_at_qnormal(3), "Error: unknown passage type");
    EXPECT_STOP(solve_full_equilibrium_at_qnormal(3), "Error: unknown passage type");
    mesh().passage_type(2) = 1;
    machine().machine_type = "compressor  ";  // trailing blanks do not count
    solve_full_equilibrium_at_qnormal(3);
    machine().machine_type = "Compressor";
    solve_full_equilibrium_at_qnormal(2);  // a duct does not read the machine type
    EXPECT_STOP(solve_full_equilibrium_at_qnormal(3), "Error: unknown machine type");
}

}  // namespace
