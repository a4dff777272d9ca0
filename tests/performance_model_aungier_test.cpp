#include <cmath>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "fake_gas.hpp"
#include "flowfield.hpp"
#include "machine.hpp"
#include "machine_fixtures.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "performance_model_aungier.hpp"
#include "quorl.hpp"
#include "test_support.hpp"
#include "thermo_perfect_gas.hpp"

namespace quorl {
namespace {

using test::machine_text;
using test::parse_toml;
using test::toml_lines;

constexpr int N = 5;
constexpr int i1 = 2;   // leading edge of the row
constexpr int i2 = 3;   // trailing edge
constexpr int jm = 3;   // the mid streamline

// A stand-in gas whose speed of sound is numerically its temperature and whose viscosity is
// numerically its pressure: a test sets Mach and Reynolds numbers exactly through t and p.
// Every other property is not a number, so a model that needed one would show it.
class probe_gas_t final : public test::fake_gas_t {
public:
    double sound_speed_pt(double, double T) const override { return T; }
    double viscosity_pt(double p, double) const override { return p; }
};

// A turbine with one stator (wt = ct) on the straight annulus r = 0.1 .. 0.2; its edges at
// z = 0.1 and 0.15 reach past hub and shroud unless `row` changes them.
void setup(const toml_lines& row = {}) {
    toml_lines changes = {{"rotating", "false"}, {"performance_model", "{ type = \"aungier\" }"}};
    changes.insert(changes.end(), row.begin(), row.end());
    load_machine_description(parse_toml(machine_text({{"type", "\"turbine\""}}, {changes})));
    create_mesh(N);
    flowfield_state& ff = flowfield();
    ff.gas = std::make_unique<probe_gas_t>();
    for (array2d* a : {&ff.p, &ff.t, &ff.rho, &ff.s, &ff.htot, &ff.cm, &ff.ct}) a->resize(4, N);
}

thermo_perfect_gas_t& use_air() {
    auto gas = std::make_unique<thermo_perfect_gas_t>();
    gas->r = 287.0;
    gas->cp = 1004.5;
    thermo_perfect_gas_t& air = *gas;
    flowfield().gas = std::move(gas);
    return air;
}

interp1_t constant_table(const interp1_t& table, double value) {
    return create_interp1_t(table.x_data, std::vector<double>(table.x_data.size(), value), "pchip", "extrap");
}

struct blade {
    double b1m = 0.0;     // inlet blade angle, deg
    double b2m = -40.0;   // outlet blade angle, deg
    double c = 0.0625;    // chord, m
    double tc = 0.15;     // relative thickness
    int Z = 12;
};

// Constant tables along both edges.
void set_blade(const blade& b) {
    blade_row_t& row = machine().blade_row(1);
    row.inlet_angle = constant_table(row.inlet_angle, b.b1m);
    row.outlet_angle = constant_table(row.outlet_angle, b.b2m);
    row.chord = constant_table(row.chord, b.c);
    row.relative_thickness = constant_table(row.relative_thickness, b.tc);
    row.number_of_blades = b.Z;
}

// The mid streamline's points placed exactly: axial length 0.05, radius 0.15 at the trailing
// edge, blade height 0.15 - 0.05 (the edge's parameter at hub and shroud).
void place_mid_streamline() {
    mesh_state& msh = mesh();
    msh.z(i1, jm) = 0.1;
    msh.z(i2, jm) = 0.15;
    msh.r(i2, jm) = 0.15;
    msh.y(i2, 1) = 0.05;
    msh.y(i2, N) = 0.15;
}

struct point {
    double cm;
    double ct;
    double t;          // with the probe gas: the speed of sound
    double p = 1.0;    // with the probe gas: the viscosity
    double rho = 1.0;
};

void set_point(int i, const point& s) {
    flowfield_state& ff = flowfield();
    ff.cm(i, jm) = s.cm;
    ff.ct(i, jm) = s.ct;
    ff.t(i, jm) = s.t;
    ff.p(i, jm) = s.p;
    ff.rho(i, jm) = s.rho;
}

double loss(double Kmod, double surface_roughness = 1e-16) {
    return performance_model_aungier_t(machine().blade_row(1), Kmod, surface_roughness).pressure_loss(i1, i2, jm);
}

double deviation() { return performance_model_aungier_t(machine().blade_row(1), 1.0, 1e-16).deviation(i1, i2, jm); }

// A low-speed reference state for the probe gas: M1 = 0.05, M2 = 0.1 (no compressibility
// correction), W2 = 100 at b2 = -36.87 deg, Re = 2e5 (no Reynolds correction).
constexpr double mu_ref = 7.62939453125e-06;  // 2^-17: with W2 = 100, c = 0.0625, Re = 819200 rho2 exactly
const point inlet_ref = {50.0, 0.0, 1000.0};
const point exit_ref = {80.0, -60.0, 1000.0, mu_ref, 0.244140625};

void set_reference_state() {
    setup();
    set_blade({});
    place_mid_streamline();
    set_point(i1, inlet_ref);
    set_point(i2, exit_ref);
}

TEST(PerformanceModelAungier, FactoryReadsKmodAndRoughness) {
    setup();
    struct key_case {
        const char* table;
        double Kmod;
        double surface_roughness;
    };
    const std::vector<key_case> cases = {
        {"type = \"aungier\"", 1.0, 1e-16},
        {"type = \"aungier \"\nKmod = 2\nsurface_roughness = 3.5e-6", 2.0, 3.5e-6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        std::unique_ptr<performance_model_t>& model = machine().blade_row(1).performance_model;
        create_performance_model(model, 1, parse_toml(std::string("[performance_model]\n") + c.table + "\n"));
        const auto* a = dynamic_cast<const performance_model_aungier_t*>(model.get());
        ASSERT_NE(a, nullptr);
        EXPECT_EQ(&a->row, &machine().blade_row(1));
        EXPECT_EQ(a->Kmod, c.Kmod);
        EXPECT_EQ(a->surface_roughness, c.surface_roughness);
    }

    std::unique_ptr<performance_model_t> model;
    EXPECT_STOP(create_performance_model(model, 1, parse_toml("[performance_model]\ntype = \"aungier\"\nKmod = \"high\"\n")),
                "performance_model.Kmod must be a number");
    EXPECT_STOP(create_performance_model(
                    model, 1, parse_toml("[performance_model]\ntype = \"aungier\"\nsurface_roughness = true\n")),
                "performance_model.surface_roughness must be a number");
}

// Loss and deviation against reference values of the correlations computed in double precision
// apart from this code, with perfect-gas air (r = 287, cp = 1004.5, Sutherland viscosity) and a consistent state.
TEST(PerformanceModelAungier, MatchesIndependentEvaluation) {
    struct golden_case {
        const char* what;
        blade b;
        double Kmod;
        double surface_roughness;
        double cm1, ct1, T1, p1;
        double cm2, ct2, T2, p2;
        double loss;
        double deviation;
    };
    const std::vector<golden_case> cases = {
        {"nozzle: F2 <= 27, s/c <= 0.8, -3 <= xi < 0, Mach factor, smooth Re > 5e5, H/c > 2, blended deviation",
         {0.0, -65.0, 0.04, 0.2, 30}, 1.0, 1e-16, 100, 10, 1180, 4.6e5, 200, -420, 1100, 4e5,
         0.083461415750885865, 4.1026013232737037},
        {"27 < F2 <= 30, s/c > 0.8, xi >= 1.7, M2 < 0.2, Re < 1e5",
         {10.0, -62.0, 0.03, 0.1, 20}, 1.0, 1e-16, 40, 48, 300, 2.1e4, 30, -55, 300, 2e4,
         2.1118343587808703, -0.19111886778247467},
        {"F2 > 40 (impulse blend, stalling incidence from P40), M1 > 0.566, rough surface with Rr >= 5e5",
         {40.0, -40.0, 0.06, 0.15, 20}, 1.0, 5e-6, 250, 250, 400, 8e5, 180, -190, 700, 6e5,
         0.16727426766253378, -3.1672578941268057},
        {"xi < -3, Kmod 1.5, rough surface with Rr < 5e5, supersonic deviation",
         {30.0, -70.0, 0.07, 0.2, 12}, 1.5, 2e-5, 100, 300, 350, 2e5, 160, -430, 300, 1e5,
         1.2857541781910407, 1.2845439807256689},
        {"F2 > 30 nozzle branch, 0 <= xi < 1.7, 1e5 < Re < 5e5, unblended deviation",
         {20.0, -60.0, 0.045, 0.15, 22}, 1.0, 1e-16, 120, 20, 1020, 2.2e5, 150, -250, 1000, 2e5,
         0.10733285055007846, 2.9330551626997163},
        {"the same with Kmod 0: secondary plus trailing-edge loss",
         {20.0, -60.0, 0.045, 0.15, 22}, 0.0, 1e-16, 120, 20, 1020, 2.2e5, 150, -250, 1000, 2e5,
         0.051532592745663915, 2.9330551626997163},
        {"supersonic, sine argument above 1: capped at 89 - B2",
         {0.0, -5.0, 0.045, 0.1, 20}, 1.0, 1e-16, 100, 0, 300, 1e5, 400, -50, 300, 1e5,
         0.0064779144944485008, 4.0},
        {"supersonic, asind above 89: capped at 89 - B2",
         {0.0, -12.0, 0.045, 0.1, 20}, 1.0, 1e-16, 197.85, 0, 300, 2e5, 400, -50, 300, 1e5,
         0.0050796616487710647, 11.0},
        {"supersonic, just below the cap",
         {0.0, -12.0, 0.045, 0.1, 20}, 1.0, 1e-16, 198, 0, 300, 2e5, 400, -50, 300, 1e5,
         0.0050796616487710647, 10.754379548882028},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup();
        const thermo_perfect_gas_t& air = use_air();
        set_blade(c.b);
        place_mid_streamline();
        set_point(i1, {c.cm1, c.ct1, c.T1, c.p1, air.density_pt(c.p1, c.T1)});
        set_point(i2, {c.cm2, c.ct2, c.T2, c.p2, air.density_pt(c.p2, c.T2)});
        flowfield().htot(i2, jm) = air.cp * c.T2 + (c.cm2 * c.cm2 + c.ct2 * c.ct2) / 2.0;
        flowfield().s(i2, jm) = air.entropy_pt(c.p2, c.T2);

        const performance_model_aungier_t model(machine().blade_row(1), c.Kmod, c.surface_roughness);
        EXPECT_NEAR(model.pressure_loss(i1, i2, jm), c.loss, 1e-13 * c.loss);
        EXPECT_NEAR(model.deviation(i1, i2, jm), c.deviation, 1e-12 * std::fabs(c.deviation));
    }
}

TEST(PerformanceModelAungier, ExitFlowAngleCappedAt89FromTangential) {
    // b2 + 90 above 89 counts as 89: the loss is the same for every such exit angle.
    set_reference_state();
    std::vector<double> losses;
    for (const double b2 : {-0.5, 0.0, 20.0, 60.0}) {
        set_point(i2, {100.0 * cosd(b2), 100.0 * sind(b2), exit_ref.t, exit_ref.p, exit_ref.rho});
        losses.push_back(loss(1.0));
    }
    EXPECT_TRUE(std::isfinite(losses[0]));
    for (const double L : losses) EXPECT_EQ(L, losses[0]);

    set_point(i2, {100.0 * cosd(-1.5), 100.0 * sind(-1.5), exit_ref.t, exit_ref.p, exit_ref.rho});
    EXPECT_NE(loss(1.0), losses[0]);
}

TEST(PerformanceModelAungier, IncidenceFactorAtMost20AndZeroWithoutANumber) {
    // In the reference state the loss is Yte + Ys + (Yp - Yte) K Kmod, and only K and Ys depend
    // on the inlet flow; K is 1 at zero incidence.
    set_reference_state();
    const double unit = loss(1.0) - loss(0.0);
    struct k_case {
        double ct1;
        double K;
    };
    const std::vector<k_case> cases = {
        {20.0, 9.7793262778787877},   // xi = -5.86
        {50.0, 20.0},                 // xi = -12.1: 21.7 capped
        {200.0, 20.0},
        {-200.0, 20.0},               // xi = 20.4: 190.6 capped
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.ct1);
        set_point(i1, {inlet_ref.cm, c.ct1, inlet_ref.t});
        EXPECT_NEAR((loss(1.0) - loss(0.0)) / unit, c.K, 1e-12 * c.K);
    }

    // Reverse exit flow with s/c > 0.8: the pitch correction takes a power of a negative F2,
    // the incidence parameter is not a number, and the profile loss drops out.
    set_reference_state();
    set_point(i2, {-exit_ref.cm, exit_ref.ct, exit_ref.t, exit_ref.p, exit_ref.rho});
    EXPECT_TRUE(std::isfinite(loss(0.0)));
    EXPECT_EQ(loss(1.0), loss(0.0));
    EXPECT_EQ(loss(2.5), loss(0.0));
}

TEST(PerformanceModelAungier, MachFactorUpToSonicExitOnly) {
    // Above M2 = 1 the compressibility correction no longer changes, so the loss is the same for
    // every supersonic exit; at M2 = 1 exactly the Mach factor still raises it.
    set_reference_state();
    std::vector<double> supersonic;
    for (const double a2 : {100.0 * (1.0 - std::ldexp(1.0, -40)), 80.0, 50.0}) {
        set_point(i2, {exit_ref.cm, exit_ref.ct, a2, exit_ref.p, exit_ref.rho});
        supersonic.push_back(loss(1.0));
    }
    EXPECT_EQ(supersonic[1], supersonic[0]);
    EXPECT_EQ(supersonic[2], supersonic[0]);

    set_point(i2, {exit_ref.cm, exit_ref.ct, 100.0, exit_ref.p, exit_ref.rho});  // M2 = 1
    const double sonic = loss(1.0);
    const double sonic_without_profile_loss = loss(0.0);
    EXPECT_GT(sonic, supersonic[0] * 1.01);
    set_point(i2, {exit_ref.cm, exit_ref.ct, 50.0, exit_ref.p, exit_ref.rho});
    EXPECT_EQ(loss(0.0), sonic_without_profile_loss);  // the difference is in the profile loss alone
}

TEST(PerformanceModelAungier, ReynoldsCorrection) {
    // Only Kre depends on the exit density: loss = Yte + Kre X. Kre is 1 at Re = 2e5 and 2 at
    // Re = 2.5e4, which gives Yte and X; Re = 819200 rho2 exactly with the probe gas.
    set_reference_state();
    const auto loss_at = [](double Re, double surface_roughness) {
        set_point(i2, {exit_ref.cm, exit_ref.ct, exit_ref.t, mu_ref, Re / 819200.0});
        return loss(1.0, surface_roughness);
    };
    const double X = loss_at(2.5e4, 1e-16) - loss_at(2e5, 1e-16);
    const double Yte = loss_at(2e5, 1e-16) - X;

    struct re_case {
        double Re;
        double surface_roughness;
        double Kre;
    };
    const std::vector<re_case> cases = {
        {1e5, 1e-16, 1.0},                         // first branch: sqrt(1e5 / Re)
        {4.99999e5, 1e-16, 1.0},
        {5e5, 1e-16, 0.99999992605714938},         // smooth-surface formula from 5e5 on
        {1e6, 1e-16, 0.87563755800988885},
        {2e6, 6.25e-6, 0.87563755800988885},       // Rr = 1e6: frozen at its value
        {1e6, 2.5e-5, 1.0751435181188742},         // Rr = 2.5e5 < 5e5: blended toward 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Re);
        EXPECT_NEAR((loss_at(c.Re, c.surface_roughness) - Yte) / X, c.Kre, 1e-13);
    }
}

TEST(PerformanceModelAungier, AspectRatioFactorContinuousAtTwo) {
    // H/c = 2 takes c/H = 0.5; just below, 0.5 (2c/H)^0.7 tends to the same value.
    set_reference_state();
    const auto loss_at = [](double H) {
        mesh().y(i2, 1) = 0.0;
        mesh().y(i2, N) = H;
        return loss(1.0);
    };
    const double at_two = loss_at(0.125);  // c = 0.0625
    EXPECT_NEAR(loss_at(0.125 * (1.0 - 1e-12)), at_two, 1e-11 * at_two);
    EXPECT_NEAR(loss_at(0.125 * (1.0 + 1e-12)), at_two, 1e-11 * at_two);
    EXPECT_GT(loss_at(0.1), at_two * 1.01);
}

TEST(PerformanceModelAungier, KmodZeroLeavesSecondaryAndTrailingEdgeLoss) {
    // The blade thickness enters the profile loss only (through (5 tc)^q, so q must not be 0).
    set_reference_state();
    blade b;
    b.b1m = 20.0;
    set_blade(b);
    const double thin0 = loss(0.0);
    const double thin1 = loss(1.0);
    b.tc = 0.3;
    set_blade(b);
    EXPECT_EQ(loss(0.0), thin0);
    EXPECT_NE(loss(1.0), thin1);
    EXPECT_LT(thin0, thin1);
}

TEST(PerformanceModelAungier, BladeHeightIsTheSpanAlongTheTrailingEdge) {
    // The same straight trailing edge drawn to the outlines, past them or short of them: with
    // tables constant along the edge, the loss at every streamline stays the same.
    const std::vector<const char*> edges = {
        "[[0.15, 0.1], [0.15, 0.2]]",
        "[[0.15, 0.05], [0.15, 0.2]]",
        "[[0.15, 0.0], [0.15, 0.25]]",
        "[[0.15, 0.12], [0.15, 0.18]]",
    };
    std::vector<double> first;
    for (const char* edge : edges) {
        SCOPED_TRACE(edge);
        setup({{"trailing_edge", edge}});
        set_blade({});
        for (int j = 1; j <= N; ++j) {
            flowfield().cm(i1, j) = inlet_ref.cm;
            flowfield().t(i1, j) = inlet_ref.t;
            flowfield().cm(i2, j) = exit_ref.cm;
            flowfield().ct(i2, j) = exit_ref.ct;
            flowfield().t(i2, j) = 200.0;  // M2 = 0.5: the compressibility correction enters Ks
            flowfield().p(i2, j) = mu_ref;
            flowfield().rho(i2, j) = exit_ref.rho;
        }
        const performance_model_aungier_t model(machine().blade_row(1), 1.0, 1e-16);
        for (int j = 1; j <= N; ++j) {
            const double L = model.pressure_loss(i1, i2, j);
            if (first.size() < static_cast<std::size_t>(N)) first.push_back(L);
            EXPECT_NEAR(L, first[static_cast<std::size_t>(j - 1)], 1e-12 * L) << "streamline " << j;
        }
    }
}

TEST(PerformanceModelAungier, DeviationFadesOutTowardSonicExit) {
    // W2 = 100: M2 = 100 / t2 with the probe gas. Unblended up to M2 = 0.5, then multiplied by
    // 1 - 10 v^3 + 15 v^4 - 6 v^5 with v = 2 M2 - 1.
    set_reference_state();
    const auto deviation_at = [](double M2) {
        set_point(i2, {exit_ref.cm, exit_ref.ct, 100.0 / M2, exit_ref.p, exit_ref.rho});
        return deviation();
    };
    const double d0 = deviation_at(0.25);
    EXPECT_GT(std::fabs(d0), 0.1);
    EXPECT_EQ(deviation_at(0.4), d0);
    EXPECT_EQ(deviation_at(0.5), d0);
    EXPECT_EQ(deviation_at(0.625), d0 * 0.896484375);  // v = 1/4
    EXPECT_LT(std::fabs(deviation_at(1.0 - 1e-9)), 1e-12 * std::fabs(d0));
    // An exit Mach number that is not a number (a trial state without a temperature) is neither
    // subsonic nor supersonic: no deviation either.
    EXPECT_TRUE(std::isnan(deviation_at(std::numeric_limits<double>::quiet_NaN())));
}

TEST(PerformanceModelAungier, IncidenceIsInletFlowAngleMinusBladeAngle) {
    set_reference_state();
    blade b;
    b.b1m = 20.0;
    set_blade(b);
    set_point(i1, {50.0, 50.0, 1000.0});
    const performance_model_aungier_t model(machine().blade_row(1), 1.0, 1e-16);
    EXPECT_NEAR(model.incidence(i1, i2, jm), 25.0, 1e-12);
}

}  // namespace
}  // namespace quorl
