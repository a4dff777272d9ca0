// The solver on whole runs: initialisation, start-up sweeps and full-equilibrium sweeps. The
// checks are those of the physics that the method must reproduce (conservation of mass,
// energy, rothalpy and angular momentum, Euler's work, the velocity triangles, the loss
// coefficient's definition, radial equilibrium), worked out from the stage's perfect gas.

#include <array>
#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "flowfield.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "quorl.hpp"
#include "quorl_equilibrium.hpp"
#include "quorl_full_equilibrium.hpp"
#include "quorl_report.hpp"
#include "quorl_simplified_equilibrium.hpp"
#include "stage_job.hpp"
#include "test_support.hpp"

namespace {

using namespace quorl;

using test::job_text;
using stage = test::stage_job;

// The stage's perfect gas, J/(kg K), and its inlet total state.
constexpr double R = 287.0;
constexpr double cp = 1004.5;
constexpr double T0_in = 288.15;    // K
constexpr double p0_in = 101325.0;  // Pa
// The stage's 9550 rpm as an angular speed: 9550 x 2 pi / 60 = 1000.07366139275085 rad/s.
constexpr double omega_9550 = 1000.0736613927509;

// The stage with a deviation and a loss in both rows.
stage lossy_stage() {
    stage s;
    s.rotor().deviation = 2.0;
    s.rotor().pressure_loss = 0.05;
    s.stator().deviation = 3.0;
    s.stator().pressure_loss = 0.06;
    return s;
}

// The stage with the changes that `change` makes to it.
template <class F>
stage with(F change) {
    stage s;
    change(s);
    return s;
}

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

// Every flow-field value of quasi-normal j, array by array.
std::vector<double> state_of(int j) {
    const flowfield_state& ff = flowfield();
    std::vector<double> v;
    for (const array2d* a : {&ff.p, &ff.t, &ff.rho, &ff.s, &ff.htot, &ff.cm, &ff.ct})
        for (int i = 1; i <= mesh().number_of_streamlines; ++i) v.push_back((*a)(j, i));
    return v;
}

// The static state of quasi-normal j is the perfect gas's at its total enthalpy, entropy and
// velocities: cp T = htot - C^2 / 2, p = rho R T, and, with s_in the entropy of the inlet total
// state, s - s_in = cp ln(T / T0_in) - R ln(p / p0_in).
void expect_static_state_consistent(int j) {
    const flowfield_state& ff = flowfield();
    const double s_in = ff.s(1, 1);
    for (int i = 1; i <= mesh().number_of_streamlines; ++i) {
        SCOPED_TRACE(fmt::format("static state at quasi-normal {}, streamline {}", j, i));
        const double T = ff.t(j, i), p = ff.p(j, i);
        const double C2 = ff.cm(j, i) * ff.cm(j, i) + ff.ct(j, i) * ff.ct(j, i);
        EXPECT_NEAR(cp * T, ff.htot(j, i) - C2 / 2.0, 1e-13 * ff.htot(j, i));
        EXPECT_NEAR(p, ff.rho(j, i) * R * T, 1e-13 * p);
        EXPECT_NEAR(ff.s(j, i) - s_in, cp * std::log(T / T0_in) - R * std::log(p / p0_in), 1e-10);
    }
}

// Velocities in the solver's frame convention: the blades move toward negative theta, so that a
// blade speed U = omega r makes the relative tangential velocity W_t = Ct + U.
double blade_speed(int j, int i, double omega) { return omega * mesh().r(j, i); }
double relative_ct(int j, int i, double omega) { return flowfield().ct(j, i) + blade_speed(j, i, omega); }

// Total enthalpy from the static temperature and the velocities: cp T + C^2 / 2.
double total_enthalpy(int j, int i) {
    const flowfield_state& ff = flowfield();
    return cp * ff.t(j, i) + (ff.cm(j, i) * ff.cm(j, i) + ff.ct(j, i) * ff.ct(j, i)) / 2.0;
}

// Rothalpy h + W^2 / 2 - U^2 / 2 in a row turning at omega, with h = cp T.
double rothalpy(int j, int i, double omega) {
    const flowfield_state& ff = flowfield();
    const double U = blade_speed(j, i, omega), Wt = relative_ct(j, i, omega);
    return cp * ff.t(j, i) + (ff.cm(j, i) * ff.cm(j, i) + Wt * Wt - U * U) / 2.0;
}

// Relative flow angle, deg, from the meridional direction: atan(W_t / Cm).
double relative_flow_angle(int j, int i, double omega) {
    return std::atan2(relative_ct(j, i, omega), flowfield().cm(j, i)) * 180.0 / pi;
}

// The total-pressure loss of the row between quasi-normals j - 1 and j on streamline i, read off
// the flow field with the perfect-gas relations T0 = T + W^2 / (2 cp), p0 = p (T0 / T)^(cp / R).
// Without loss the exit's relative total pressure would be that of the inlet's relative total
// state taken isentropically to the exit's relative total temperature.
struct row_loss {
    double p0rel1, p0rel2, p0rel2is;
    double entropy_rise;  // s(j, i) - s(j - 1, i) of the flow field
};

row_loss loss_across(int j, int i, double omega) {
    const flowfield_state& ff = flowfield();
    const auto relative_total = [&](int q) {
        const double Wt = relative_ct(q, i, omega);
        const double T = ff.t(q, i);
        const double T0 = T + (ff.cm(q, i) * ff.cm(q, i) + Wt * Wt) / (2.0 * cp);
        return std::array<double, 2>{T0, ff.p(q, i) * std::pow(T0 / T, cp / R)};
    };
    const auto [T01, p01] = relative_total(j - 1);
    const auto [T02, p02] = relative_total(j);
    return {p01, p02, p01 * std::pow(T02 / T01, cp / R), ff.s(j, i) - ff.s(j - 1, i)};
}

// The row ending at quasi-normal j lost the total pressure that its loss coefficient Y asks,
// referred to the inlet's relative dynamic pressure p0rel1 - p1 (compressor) or to the exit's,
// p0rel2 - p2 with p2 the exit static pressure `p2_before` before the solve (turbine); and its
// entropy rise is that of the lost pressure at the same relative total enthalpy,
// ds = -R ln(p0rel2 / p0rel2is).
void expect_row_loss(int j, int i, double omega, double Y, bool turbine, double p2_before = 0.0) {
    const row_loss l = loss_across(j, i, omega);
    const double head = turbine ? l.p0rel2 - p2_before : l.p0rel1 - flowfield().p(j - 1, i);
    EXPECT_NEAR((l.p0rel2is - l.p0rel2) / head, Y, 1e-9) << "loss coefficient";
    EXPECT_NEAR(l.entropy_rise, -R * std::log(l.p0rel2 / l.p0rel2is), 1e-9) << "entropy rise";
}

TEST(Solver, StagesConserveMassEnergyAndRothalpyAndDoEulerWork) {
    struct stage_case {
        const char* what;
        stage job;
        bool lossless;
    };
    const stage_case cases[] = {
        {"lossless stage", stage{}, true},
        {"lossy stage, even streamline count, rotor trailing edge leaning downstream toward the shroud",
         with([](stage& s) {
             s.streamlines = 10;
             s.rotor().trailing_edge = {{0.11, 0.18}, {0.1129, 0.20}, {0.1214, 0.25}, {0.13, 0.30}, {0.1329, 0.32}};
             s.rotor().deviation = 2.0;
             s.rotor().pressure_loss = 0.05;
             s.stator().outlet_angle = {5.0, 8.0, 12.0, 15.0, 20.0};
             s.stator().pressure_loss = 0.06;
         }),
         false},
    };
    for (const stage_case& c : cases) {
        SCOPED_TRACE(c.what);
        solve(job_text(c.job), false);
        // The main sweeps print nothing and never touch the inlet state of quasi-normal 1.
        const std::vector<double> inlet = state_of(1);
        EXPECT_EQ(run_sweeps(), "");
        EXPECT_EQ(state_of(1), inlet);
        const mesh_state& ms = mesh();
        const flowfield_state& ff = flowfield();
        const int n = ms.number_of_streamlines;
        ASSERT_EQ(ms.number_of_quasinormals, 6);

        // Quasi-normal 1 is set once; the others carry the inlet mass flow after the last solve.
        const double mdot = c.job.mdot_in;
        EXPECT_NEAR(mass_flow_rate(1), mdot, 1e-3 * mdot);
        for (int j = 2; j <= 6; ++j) EXPECT_NEAR(mass_flow_rate(j), mdot, 1e-7 * mdot) << "quasi-normal " << j;
        for (int j = 2; j <= 6; ++j) expect_static_state_consistent(j);

        for (int i = 1; i <= n; ++i) {
            SCOPED_TRACE(fmt::format("streamline {}", i));
            // Ducts and the stator carry the total enthalpy along the streamline.
            for (int j : {2, 4, 5, 6})
                EXPECT_NEAR(total_enthalpy(j, i), total_enthalpy(j - 1, i), 1e-13 * ff.htot(j, i)) << j;
            // The rotor carries the rothalpy, and its work is Euler's, done on the flow. The inner
            // points moved a little after the last solve, the hub and shroud points not at all.
            const double I = rothalpy(2, i, omega_9550);
            EXPECT_NEAR(rothalpy(3, i, omega_9550), I, 1e-11 * I);
            const double work = total_enthalpy(3, i) - total_enthalpy(2, i);
            const double euler =
                -(blade_speed(3, i, omega_9550) * ff.ct(3, i) - blade_speed(2, i, omega_9550) * ff.ct(2, i));
            EXPECT_NEAR(work, euler, 1e-9 * euler);
            EXPECT_GT(work, 10e3);
            // Entropy: carried by the ducts, raised by a row with a loss.
            for (int j : {2, 4, 6}) EXPECT_EQ(ff.s(j, i), ff.s(j - 1, i)) << j;
            for (int j : {3, 5}) {
                if (c.lossless) {
                    EXPECT_NEAR(ff.s(j, i), ff.s(j - 1, i), 1e-9 * std::fabs(ff.s(j - 1, i))) << j;
                } else {
                    EXPECT_GT(ff.s(j, i), ff.s(j - 1, i) + 1.0) << j;
                }
            }
        }
    }
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

TEST(Solver, ExitSwirlFollowsTheBladeAnglesDeviationAndFrameSign) {
    // The relative flow leaves a row at its blade angle plus deviation, turned to the row's
    // frame: a compressor's stators and a turbine's rotors take minus the angle. The rothalpy
    // (in a stator the total enthalpy) is carried along the streamline.
    struct swirl_case {
        const char* what;
        stage job;
        bool full;     // init and run, or init only
        int j;         // the trailing edge that is checked
        double beta;   // expected relative flow angle there, deg
        double omega;  // the row's angular speed, rad/s
    };
    const swirl_case cases[] = {
        {"rotor bladed axial: Ct = -U",
         with([](stage& s) {
             s.rotor().outlet_angle = {0.0, 0.0, 0.0, 0.0, 0.0};
             s.mdot_in = 20.0;
         }),
         false, 3, 0.0, omega_9550},
        {"compressor stator: frame sign -1",
         with([](stage& s) { s.stator().outlet_angle = {10.0, 10.0, 10.0, 10.0, 10.0}; }), true, 5, -10.0, 0.0},
        {"deviation adds to the blade angle before the frame sign",
         with([](stage& s) {
             s.stator().outlet_angle = {10.0, 10.0, 10.0, 10.0, 10.0};
             s.stator().deviation = 3.0;
         }),
         true, 5, -13.0, 0.0},
        {"a row that does not rotate ignores the rotational speed",
         with([](stage& s) {
             s.rotor().rotating = false;
             s.rotor().outlet_angle = {20.0, 20.0, 20.0, 20.0, 20.0};
             s.mdot_in = 20.0;
         }),
         true, 3, -20.0, 0.0},
        {"turbine rotor: frame sign -1",
         with([](stage& s) {
             s.type = "turbine";
             s.rotor().outlet_angle = {30.0, 30.0, 30.0, 30.0, 30.0};
         }),
         false, 3, -30.0, omega_9550},
        {"turbine stator: frame sign +1",
         with([](stage& s) {
             s.type = "turbine";
             s.stator().outlet_angle = {10.0, 10.0, 10.0, 10.0, 10.0};
         }),
         false, 5, 10.0, 0.0},
    };
    for (const swirl_case& c : cases) {
        SCOPED_TRACE(c.what);
        solve(job_text(c.job), c.full);
        const int n = mesh().number_of_streamlines;
        // A rotor's swirl depends on the radius that its last solve used, which only the hub and
        // shroud points keep through the redistribution that follows.
        std::vector<int> streamlines = {1, n};
        if (c.omega == 0.0)
            for (int i = 2; i < n; ++i) streamlines.push_back(i);
        for (int i : streamlines) {
            SCOPED_TRACE(fmt::format("streamline {}", i));
            EXPECT_NEAR(relative_flow_angle(c.j, i, c.omega), c.beta, 1e-9);
            EXPECT_GT(std::fabs(flowfield().ct(c.j, i)), 10.0);
            if (i == 1 || i == n) {
                const double I = rothalpy(c.j - 1, i, c.omega);
                EXPECT_NEAR(rothalpy(c.j, i, c.omega), I, 1e-12 * I);
            }
        }
    }
}

// A swirl law behind a row on the cylindrical annulus of radius 0.20 to 0.30 m: Ct(r) and,
// where one is known, the meridional velocity that radial equilibrium gives with it, from its
// value at a reference radius. The row turns at omega.
struct swirl_law {
    const char* what;
    double (*ct)(double r);
    double (*cm)(double r, double r_ref, double cm_ref, double omega);
};

// Two rows with the same blading on the cylindrical annulus, the second lossless, bladed for the
// swirl of `law` on its Cm profile through (r_ref, cm_ref): the relative flow leaves at
// tan(beta) = (Ct + omega r) / Cm, and compressor stators turn it to minus their blade angle.
// The first row sets up the swirl and the loss, and with them the change of the Cm profile that
// bends the streamlines; behind the second (trailing edge at quasi-normal 5) they run nearly
// straight.
stage twin_rows(const swirl_law& law, double omega, double rpm, double r_ref, double cm_ref, double first_loss) {
    test::blade_row_job row;
    row.name = omega == 0.0 ? "Stator" : "Rotor";
    row.rotating = omega != 0.0;
    row.number_of_blades = 40;
    const double sign = omega == 0.0 ? -1.0 : 1.0;
    for (int q = 0; q <= 60; ++q) {
        const double r = 0.19 + 0.002 * q;
        const double Wt = law.ct(r) + omega * r;
        row.outlet_angle.push_back(sign * std::atan(Wt / law.cm(r, r_ref, cm_ref, omega)) * 180.0 / pi);
    }
    row.inlet_angle = {0.0, 0.0};
    row.chord = {0.04, 0.04};
    row.relative_thickness = {0.08, 0.08};
    const auto placed = [&row](double z, double loss) {
        test::blade_row_job placed_row = row;
        placed_row.pressure_loss = loss;
        placed_row.leading_edge = test::radial_edge(z, {0.19, 0.31});
        for (int q = 0; q <= 60; ++q) placed_row.trailing_edge.push_back({z + 0.04, 0.19 + 0.002 * q});
        return placed_row;
    };
    stage s;
    s.mdot_in = 18.0;
    s.rpm = rpm;
    s.streamlines = 21;
    s.hub = {{0.0, 0.20}, {0.30, 0.20}};
    s.shroud = {{0.0, 0.30}, {0.30, 0.30}};
    s.rows = {placed(0.04, first_loss), placed(0.16, 0.0)};
    return s;
}

// Solves the twin rows bladed for `law`, and twice more bladed with the Cm that the run before
// gave at the middle streamline of quasi-normal 5 (each time about 20 times closer to the
// blading's own); returns that reference (r_ref, cm_ref) of the last run.
std::array<double, 2> solve_twin_rows(const swirl_law& law, double omega, double rpm, double first_loss = 0.0) {
    double r_ref = 0.25, cm_ref = 100.0;
    for (int pass = 1; pass <= 3; ++pass) {
        solve(job_text(twin_rows(law, omega, rpm, r_ref, cm_ref, first_loss)));
        const int mid = (mesh().number_of_streamlines + 1) / 2;
        r_ref = mesh().r(5, mid);
        cm_ref = flowfield().cm(5, mid);
    }
    return {r_ref, cm_ref};
}

// A rotor at 3800 rpm: 3800 x 2 pi / 60 = 397.935069454707144 rad/s.
constexpr double rpm_3800 = 3800.0;
constexpr double omega_3800 = 397.93506945470716;
constexpr double k = 200.0;  // solid-body swirl, 1/s
constexpr double K = 15.0;   // free-vortex swirl, m2/s

const swirl_law free_vortex = {"free vortex r Ct = -K", [](double r) { return -K / r; },
                               [](double, double, double cm_ref, double) { return cm_ref; }};
const swirl_law solid_body = {"solid body Ct = -k r", [](double r) { return -k * r; },
                              [](double r, double r_ref, double cm_ref, double omega) {
                                  return std::sqrt(cm_ref * cm_ref + 2.0 * k * (omega - k) * (r * r - r_ref * r_ref));
                              }};

TEST(Solver, ExitSwirlGivesTheRadialEquilibriumProfileOfItsLaw) {
    // Simple radial equilibrium behind a lossless row on a cylindrical annulus, with straight
    // streamlines and a uniform inlet: dp/dr = rho Ct^2 / r, dh = dp / rho, and the total
    // enthalpy h0 = h + (Cm^2 + Ct^2) / 2 that Euler's work gives, h0 = h0_in - omega r Ct in the
    // solver's frame convention, combine to
    //   d(Cm^2)/dr = 2 dh0/dr - (1 / r^2) d(r^2 Ct^2)/dr,
    // compressible or not. A free vortex (r Ct = -K) does the same work on every streamline and
    // keeps Cm uniform; a solid-body swirl Ct = -k r gives
    //   Cm^2(r) = Cm^2(r_ref) + 2 k (omega - k) (r^2 - r_ref^2),
    // in a stator (omega = 0) Cm falling by about 20 m/s from hub to shroud, in the rotor (omega
    // about 2 k) rising by as much. What remains beside the analytic profile, under 0.04 m/s, is
    // the curvature that the first row leaves (about 0.01 1/m at the second's trailing edge) and
    // the discretisation; the tolerance, 0.1 m/s, is 0.5 % of those 20 m/s.
    const struct {
        const swirl_law& law;
        double omega, rpm;
    } cases[] = {
        {free_vortex, 0.0, 0.0},
        {solid_body, 0.0, 0.0},
        {free_vortex, omega_3800, rpm_3800},
        {solid_body, omega_3800, rpm_3800},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(fmt::format("{} behind a {}", c.law.what, c.omega == 0.0 ? "stator" : "rotor"));
        const auto [r_ref, cm_ref] = solve_twin_rows(c.law, c.omega, c.rpm);
        constexpr int j = 5;  // the second row's trailing edge
        for (int i = 1; i <= mesh().number_of_streamlines; ++i) {
            const double r = mesh().r(j, i);
            EXPECT_NEAR(flowfield().ct(j, i), c.law.ct(r), 0.1) << "streamline " << i;
            EXPECT_NEAR(flowfield().cm(j, i), c.law.cm(r, r_ref, cm_ref, c.omega), 0.1) << "streamline " << i;
        }
    }
}

TEST(Solver, EntropyGradientEntersTheRadialEquilibrium) {
    // A lossy rotor raises the entropy the more, the larger its inlet relative dynamic pressure:
    // more toward the shroud, where the blades run faster. The radial equilibrium of straight
    // streamlines then reads, in Crocco's form,
    //   d(Cm^2 / 2)/dr = dh0/dr - T ds/dr - (Ct / r) d(r Ct)/dr.
    // Integrated outward from the middle streamline by the trapezoidal rule over the streamline
    // points with the computed h0, T, s and Ct, it gives Cm on every streamline behind a second,
    // lossless rotor of the same blading (a blade-row exit) and at the outlet (a duct). The
    // entropy term alone moves Cm by about 12 m/s across the span; what remains is that of the
    // lossless cases, and so is the tolerance.
    solve_twin_rows(solid_body, omega_3800, rpm_3800, 0.3);
    const flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const int n = ms.number_of_streamlines;
    const int mid = (n + 1) / 2;
    for (int j : {5, 6}) {
        SCOPED_TRACE(fmt::format("quasi-normal {}", j));
        std::vector<double> half_cm2(static_cast<std::size_t>(n + 1));
        std::vector<double> entropy_term(static_cast<std::size_t>(n + 1));
        half_cm2[static_cast<std::size_t>(mid)] = ff.cm(j, mid) * ff.cm(j, mid) / 2.0;
        const auto step = [&](int a, int b) {
            const double ra = ms.r(j, a), rb = ms.r(j, b);
            const double dh0 = ff.htot(j, b) - ff.htot(j, a);
            const double Tds = (ff.t(j, a) + ff.t(j, b)) / 2.0 * (ff.s(j, b) - ff.s(j, a));
            const double swirl = (ff.ct(j, a) / ra + ff.ct(j, b) / rb) / 2.0 * (rb * ff.ct(j, b) - ra * ff.ct(j, a));
            half_cm2[static_cast<std::size_t>(b)] = half_cm2[static_cast<std::size_t>(a)] + dh0 - Tds - swirl;
            entropy_term[static_cast<std::size_t>(b)] = entropy_term[static_cast<std::size_t>(a)] - Tds;
        };
        for (int i = mid; i < n; ++i) step(i, i + 1);
        for (int i = mid; i > 1; --i) step(i, i - 1);
        for (int i = 1; i <= n; ++i) {
            const double cm = std::sqrt(2.0 * half_cm2[static_cast<std::size_t>(i)]);
            EXPECT_NEAR(ff.cm(j, i), cm, 0.1) << "streamline " << i;
        }
        // The entropy term alone changes Cm^2 / 2 by about 1100 m2/s2 across the span.
        EXPECT_GT(entropy_term[1] - entropy_term[static_cast<std::size_t>(n)], 500.0);
    }
}

TEST(Solver, SinkFlowInAConicalAnnulus) {
    // Hub and shroud on cones about the axis with a common apex downstream: the exact flow,
    // inviscid, isentropic and swirl-free, runs along the rays toward the apex with a speed that
    // depends only on the distance rho from it, rho_gas V 2 pi rho^2 (cos 10 deg - cos 15 deg)
    // = mdot. The rays cross the leaned trailing edge and outlet line at an angle and at
    // different distances, so that the meridional angle and its change along the quasi-normal,
    // the lean, and the Mach number (0.4 at the trailing edge, 0.68 at the outlet) all enter.
    // The inlet line carries the uniform state that init puts there, not the sink flow's: the
    // streamlines leave it slightly bent, which shifts Cm by under 0.1 m/s downstream; the
    // tolerance, 0.2 m/s, is 1.6 % of the change of the speed along the trailing edge.
    constexpr double apex = 1.3;  // z of the apex, m
    const double tan_hub = std::tan(10.0 * pi / 180.0), tan_shroud = std::tan(15.0 * pi / 180.0);
    // A stator that does not turn the flow: it only places the quasi-normals of its edges.
    test::blade_row_job row;
    row.number_of_blades = 40;
    row.leading_edge = test::radial_edge(0.08, {0.15, 0.40});
    row.trailing_edge = {{0.17, 0.15}, {0.12, 0.40}};
    row.inlet_angle = {0.0, 0.0};
    row.outlet_angle = {0.0, 0.0};
    row.chord = {0.05, 0.05};
    row.relative_thickness = {0.08, 0.08};
    stage s;
    s.mdot_in = 25.0;
    s.rpm = 0.0;
    s.streamlines = 21;
    s.hub = {{0.0, apex * tan_hub}, {0.33, (apex - 0.33) * tan_hub}};
    s.shroud = {{0.0, apex * tan_shroud}, {0.3, (apex - 0.3) * tan_shroud}};
    s.rows = {row};
    solve(job_text(s));

    // The subsonic speed of the mass flux F: rho_gas V = F with rho_gas = rho0 (T / T0)^(1 / (gamma - 1))
    // and T = T0 - V^2 / (2 cp), found by bisection below the critical speed, where rho_gas V peaks.
    const double gamma = cp / (cp - R);
    const double rho0 = p0_in / (R * T0_in);
    const auto speed = [&](double F) {
        double lo = 0.0, hi = std::sqrt(2.0 * cp * T0_in * (gamma - 1.0) / (gamma + 1.0));
        for (int it = 0; it < 100; ++it) {
            const double V = (lo + hi) / 2.0;
            const double T = T0_in - V * V / (2.0 * cp);
            (rho0 * std::pow(T / T0_in, 1.0 / (gamma - 1.0)) * V < F ? lo : hi) = V;
        }
        return (lo + hi) / 2.0;
    };
    const double solid_angle = 2.0 * pi * (std::cos(10.0 * pi / 180.0) - std::cos(15.0 * pi / 180.0));
    const mesh_state& ms = mesh();
    for (int j : {3, 4}) {  // the trailing edge and the outlet line
        double lo = 1e9, hi = 0.0;
        for (int i = 1; i <= ms.number_of_streamlines; ++i) {
            const double dz = apex - ms.z(j, i), r = ms.r(j, i);
            const double V = speed(s.mdot_in / (solid_angle * (dz * dz + r * r)));
            EXPECT_NEAR(flowfield().cm(j, i), V, 0.2) << "quasi-normal " << j << ", streamline " << i;
            lo = std::min(lo, V);
            hi = std::max(hi, V);
        }
        EXPECT_GT(hi - lo, 10.0) << "quasi-normal " << j;
    }
}

// The total-to-total pressure ratio and the efficiency of the report's performance block.
std::array<double, 2> performance() {
    std::ostringstream out;
    quorl_print_report(out);
    const std::string text = out.str();
    const std::string labels[] = {" Compression  (total-total)       : ", " Efficiency                       : "};
    std::array<double, 2> values{};
    for (std::size_t k = 0; k < 2; ++k) {
        const std::size_t at = text.find(labels[k]);
        EXPECT_NE(at, std::string::npos) << labels[k];
        values[k] = at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + labels[k].size(), nullptr);
    }
    return values;
}

TEST(Solver, PerformanceConvergesAsTheStreamlinesGrowDenser) {
    // The discretisation error of the lossy stage's pressure ratio and efficiency: each doubling
    // of the streamline density at least halves the change, and the coarse mesh is already close.
    std::vector<std::array<double, 2>> values;
    for (int n : {11, 21, 41}) {
        stage s = lossy_stage();
        s.streamlines = n;
        solve(job_text(s));
        values.push_back(performance());
    }
    const char* names[] = {"total pressure ratio", "efficiency"};
    for (std::size_t k = 0; k < 2; ++k) {
        SCOPED_TRACE(names[k]);
        const double coarse = values[1][k] - values[0][k];
        const double fine = values[2][k] - values[1][k];
        EXPECT_GT(std::fabs(coarse), 0.0);
        EXPECT_LT(std::fabs(fine), 0.5 * std::fabs(coarse));
        EXPECT_LT(std::fabs(coarse), 1e-5 * values[2][k]);
    }
    EXPECT_GT(values[2][0], 1.2);
    EXPECT_GT(values[2][1], 80.0);
    EXPECT_LT(values[2][1], 95.0);
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
        // A cylindrical annulus: the inlet flow area is pi (0.3^2 - 0.2^2), in Python's doubles
        // math.pi * (0.3**2 - 0.2**2).
        {[] { stage s; s.mdot_in = -1.0; s.hub = {{0.0, 0.20}, {0.30, 0.20}}; return s; }(),
         "Error: the inlet flow area of 0.15707963267948963 m2 and mdot_in = -1 kg/s give no finite positive mass flux"},
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

TEST(Solver, EachSolveWritesWhatItsPassageAsks) {
    // Quasi-normals 2 to 5 solved once each, in order, on the state that init left: a duct
    // after the swirl-free inlet, the rotor, a duct after swirling flow, the stator. Nothing is
    // redistributed in between, so the radii are those that each solve used.
    for (const bool full : {false, true}) {
        SCOPED_TRACE(full ? "full equilibrium" : "simplified equilibrium");
        const stage s = lossy_stage();
        solve(job_text(s), false);
        const flowfield_state& ff = flowfield();
        const mesh_state& ms = mesh();
        const int n = ms.number_of_streamlines;
        const auto solve_at = [full](int j) {
            if (full) solve_full_equilibrium_at_qnormal(j);
            else solve_simplified_equilibrium_at_qnormal(j);
        };

        for (int j = 2; j <= 5; ++j) {
            const bool rotor = j == 3;
            const bool row = j == 3 || j == 5;
            const blade_row_t& blades = machine().blade_row(rotor ? 1 : 2);
            const double omega = rotor ? omega_9550 : 0.0;
            const double Y = rotor ? 0.05 : 0.06;
            const std::vector<double> before = state_of(j - 1);
            solve_at(j);
            EXPECT_EQ(state_of(j - 1), before) << "quasi-normal " << j - 1 << " changed by the solve of " << j;
            EXPECT_NEAR(mass_flow_rate(j), s.mdot_in, 1e-7 * s.mdot_in) << "quasi-normal " << j;
            expect_static_state_consistent(j);
            for (int i = 1; i <= n; ++i) {
                SCOPED_TRACE(fmt::format("quasi-normal {}, streamline {}", j, i));
                if (!row) {
                    // Total enthalpy and entropy carried, and the angular momentum r Ct.
                    EXPECT_EQ(ff.htot(j, i), ff.htot(j - 1, i));
                    EXPECT_EQ(ff.s(j, i), ff.s(j - 1, i));
                    const double rct = ms.r(j - 1, i) * ff.ct(j - 1, i);
                    EXPECT_NEAR(ms.r(j, i) * ff.ct(j, i), rct, 1e-13 * std::fabs(rct));
                    if (j == 2 && !full) {
                        // After swirl-free flow the march keeps the trial pressure: the
                        // whole quasi-normal has one static state and one velocity.
                        EXPECT_EQ(ff.ct(j, i), 0.0);
                        EXPECT_EQ(ff.cm(j, i), ff.cm(j, 1));
                        EXPECT_EQ(ff.p(j, i), ff.p(j, 1));
                    }
                    continue;
                }
                // The relative flow leaves at the row's exit flow angle, and the rothalpy is
                // carried, so the work is Euler's.
                EXPECT_NEAR(relative_flow_angle(j, i, omega), exit_flow_angle(blades, j, i), 1e-9);
                const double I = rothalpy(j - 1, i, omega);
                EXPECT_NEAR(rothalpy(j, i, omega), I, 1e-12 * I);
                if (full) {
                    expect_row_loss(j, i, omega, Y, false);
                    EXPECT_GT(ff.s(j, i), ff.s(j - 1, i));
                } else {
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
        SCOPED_TRACE(fmt::format("streamline {}", i));
        const double p_before = p_exit[static_cast<std::size_t>(i - 1)];
        expect_row_loss(3, i, omega_9550, 0.3, true, p_before);
        EXPECT_GT(std::fabs(flowfield().p(3, i) - p_before), 1.0);
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
