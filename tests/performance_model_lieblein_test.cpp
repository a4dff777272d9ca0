#include <cmath>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "flowfield.hpp"
#include "machine.hpp"
#include "machine_fixtures.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "performance_model_lieblein.hpp"
#include "test_support.hpp"

namespace quorl {
namespace {

using test::machine_text;
using test::parse_toml;
using test::toml_lines;

constexpr int N = 5;
constexpr int J = 3;   // the streamline that the tests look at
const char* const perfect_gas = "[thermo]\nmodel = \"perfect_gas\"\n[thermo.perfect_gas]\nr = 287.0\ncp = 1004.5\n";

// The example cascade: a rotor of 20 blades with blade angles 45 -> 25, thickness 0.1 and a chord
// that grows with the radius so that the solidity is `sigma` on every streamline (the fixture's
// edges run radially from r = 0.05 to 0.25, and the tables are linear over them).
struct cascade {
    double beta1m = 45.0;
    double beta2m = 25.0;
    double sigma = 1.0;
    double tb = 0.1;
    std::string model_keys = {};   // extra keys of the performance_model table, e.g. ", Ksh = 0.5"
};

// The row's tables and model, and a flow field of perfect-gas air with everything 0.
void setup(const cascade& c, const toml_lines& machine_changes = {}) {
    const double pitch_hub = 6.283185307179586 * 0.05 / 20.0;
    const double pitch_tip = 6.283185307179586 * 0.25 / 20.0;
    const toml_lines row = {
        {"inlet_angle", fmt::format("[{}, {}]", c.beta1m, c.beta1m)},
        {"outlet_angle", fmt::format("[{}, {}]", c.beta2m, c.beta2m)},
        {"chord", fmt::format("[{}, {}]", c.sigma * pitch_hub, c.sigma * pitch_tip)},
        {"relative_thickness", fmt::format("[{}, {}]", c.tb, c.tb)},
        {"performance_model", "{ type = \"lieblein\"" + c.model_keys + " }"}};
    load_machine_description(parse_toml(machine_text(machine_changes, {row})));
    create_mesh(N);
    toml::table root = parse_toml(std::string(perfect_gas) + test::boundary_conditions_text());
    init_flowfield(root);
}

// The leading-edge state of streamline J: static p and T, meridional velocity cm1, no absolute
// swirl, and the blade speed set (through rpm) so that the relative swirl is wt1; cm2 behind the row.
void set_inlet(double cm1, double wt1, double cm2, double p = 1e5, double T = 300.0) {
    flowfield_state& ff = flowfield();
    ff.p(2, J) = p;
    ff.t(2, J) = T;
    ff.s(2, J) = ff.gas->entropy_pt(p, T);
    ff.htot(2, J) = 1004.5 * T + cm1 * cm1 / 2.0;
    ff.cm(2, J) = cm1;
    ff.ct(2, J) = 0.0;
    ff.boco.rpm = wt1 * 60.0 / (2.0 * pi * mesh().r(2, J));
    ff.cm(3, J) = cm2;
}

const performance_model_lieblein_t& model() {
    const auto* m = dynamic_cast<const performance_model_lieblein_t*>(machine().blade_row(1).performance_model.get());
    if (m == nullptr) throw std::runtime_error("row 1 has no Lieblein model");
    return *m;
}

// |actual - expected| within half a unit of the sixth significant figure of `expected`.
void expect_six_figures(double actual, double expected, const char* what) {
    const double half_unit = 0.5 * std::pow(10.0, std::floor(std::log10(std::fabs(expected))) - 5.0);
    EXPECT_NEAR(actual, expected, half_unit) << what;
}

TEST(PerformanceModelLieblein, WorkedExample) {
    setup({});
    set_inlet(100.0, 100.0, 100.0);
    const performance_model_lieblein_t& m = model();
    EXPECT_NEAR(m.incidence(2, 3, J), 0.0, 1e-12);

    const lieblein_design_loss_t d = m.design_loss_terms(2, 3, J);
    const lieblein_loss_t L = m.loss_terms(2, 3, J);
    expect_six_figures(m.design_incidence(2, 3, J), 0.500379, "i*");
    expect_six_figures(m.design_deviation(2, 3, J), 5.45106, "delta*");
    expect_six_figures(d.Deq, 1.53591, "Deq");
    expect_six_figures(m.design_pressure_loss(2, 3, J), 0.0300171, "omega*");
    expect_six_figures(L.beta1s, 54.4147, "beta1s");
    expect_six_figures(L.beta1ch, 36.9566, "beta1ch");
    expect_six_figures(L.M1, 0.407333, "M1");
    expect_six_figures(L.W_star, 322.154, "W*");
    expect_six_figures(L.M1c, 0.743042, "M1c");
    EXPECT_NEAR(L.im, L.i_star, 1e-12);             // Ksh = 1: both Mach factors alike
    EXPECT_NEAR(L.omegam, L.omega_star, 1e-15);     // subcritical: no increment
    expect_six_figures(L.xi, -0.0605455, "xi");
    expect_six_figures(m.pressure_loss(2, 3, J), 0.0301272, "omega");
    EXPECT_EQ(m.pressure_loss(2, 3, J), L.omega);
    const double deviation = m.deviation(2, 3, J);
    expect_six_figures(deviation, 5.38610, "delta");

    // Nothing is kept between calls: the same model sees the slower exit flow at once, and a
    // tenth less Cm behind the row adds one degree.
    flowfield().cm(3, J) = 90.0;
    expect_six_figures(m.deviation(2, 3, J), 6.38610, "delta, |cm2| = 90");
    EXPECT_NEAR(m.deviation(2, 3, J) - deviation, 1.0, 1e-9);
}

TEST(PerformanceModelLieblein, ShapeFactorVariants) {
    // Below 1, Ksh weakens the stall-side Mach correction and moves im off i*; above 1 it only
    // scales the thickness terms.
    setup({.model_keys = ", Ksh = 0.5"});
    set_inlet(100.0, 100.0, 100.0);
    const lieblein_loss_t half = model().loss_terms(2, 3, J);
    expect_six_figures(half.i_star, -1.22747, "i*, Ksh = 0.5");
    expect_six_figures(half.im, -1.10083, "im, Ksh = 0.5");
    expect_six_figures(half.omega, 0.0308876, "omega, Ksh = 0.5");

    setup({.model_keys = ", Ksh = 2"});
    set_inlet(100.0, 100.0, 100.0);
    const lieblein_loss_t twice = model().loss_terms(2, 3, J);
    EXPECT_GT(twice.i_star, 1.0);
    EXPECT_NEAR(twice.im, twice.i_star, 1e-12);
}

TEST(PerformanceModelLieblein, SupercriticalInletRaisesTheMinimumLoss) {
    // The inlet relative Mach number M1 exceeds the critical M1c, so the minimum loss gains
    // Ksh (min(M1, 1) / M1c - 1) (W1 / W*)^2. Expected values evaluated outside the code from the
    // correlations, with the perfect gas's own sonic speed W* (isentropic expansion at constant
    // relative total enthalpy).
    struct supercritical_case {
        const char* what;
        double beta1m, beta2m, wt1, Ksh;
        double M1, M1c, omegam, omega;
    };
    const std::vector<supercritical_case> cases = {
        {"M1 0.84 above M1c", 55.0, 35.0, 250.0, 1.0, 0.839738, 0.797094, 0.0725039, 0.112561},
        {"M1 above 1 counts as 1", 65.0, 45.0, 400.0, 1.0, 1.23046, 0.869412, 0.248446, 0.879354},
        {"Ksh scales the increment", 65.0, 45.0, 400.0, 0.5, 1.23046, 0.873938, 0.141804, 0.425010},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup({.beta1m = c.beta1m, .beta2m = c.beta2m, .model_keys = fmt::format(", Ksh = {}", c.Ksh)});
        set_inlet(150.0, c.wt1, 150.0);
        const lieblein_loss_t L = model().loss_terms(2, 3, J);
        expect_six_figures(L.M1, c.M1, "M1");
        expect_six_figures(L.M1c, c.M1c, "M1c");
        expect_six_figures(L.omegam, c.omegam, "omegam");
        expect_six_figures(L.omega, c.omega, "omega");
    }
}

TEST(PerformanceModelLieblein, ZeroCamberLimitsAndBracketFailures) {
    // theta = 0: both limit lines lose their camber terms, so the stall limit lies 10.3 degrees
    // above beta1* and the choke limit 9 below, within the bisections' tolerance.
    setup({.beta1m = 45.0, .beta2m = 45.0});
    set_inlet(100.0, 100.0, 100.0);
    const lieblein_loss_t L = model().loss_terms(2, 3, J);
    const double beta1_star = 45.0 + L.i_star;
    EXPECT_NEAR(L.beta1s - beta1_star, 10.3, 1e-6);
    EXPECT_NEAR(beta1_star - L.beta1ch, 9.0, 1e-6);

    // beta1* below 29 or above 79.7 leaves no sign change in a bracket; the deviation (all that
    // the start-up sweeps ask for) is still computed.
    for (const double beta1m : {25.0, 78.0}) {
        SCOPED_TRACE(beta1m);
        setup({.beta1m = beta1m, .beta2m = beta1m});
        set_inlet(100.0, 100.0 * tand(beta1m), 100.0);
        EXPECT_TRUE(std::isfinite(model().deviation(2, 3, J)));
        EXPECT_STOP(model().pressure_loss(2, 3, J), "bisect: f(a) and f(b) must have opposite signs");
    }
}

TEST(PerformanceModelLieblein, IncidenceLawFactors) {
    // 1 + xi^2 between choke-side -2 and stall-side 1, then straight lines of matching slope.
    const std::vector<std::pair<double, double>> cases = {
        {-3.0, 9.0}, {-2.0, 5.0}, {-1.0, 2.0}, {0.0, 1.0}, {0.5, 1.25}, {1.0, 2.0}, {2.0, 4.0}};
    for (const auto& [xi, factor] : cases) EXPECT_EQ(lieblein_incidence_loss_factor(xi), factor) << xi;
    for (const double edge : {-2.0, 1.0}) {
        const double h = 1e-7;
        const double below = lieblein_incidence_loss_factor(edge - h);
        const double above = lieblein_incidence_loss_factor(edge + h);
        EXPECT_NEAR((above - below) / (2.0 * h), 2.0 * edge, 1e-6) << edge;
    }
}

TEST(PerformanceModelLieblein, LossIsAtMostOneAndNaNGivesOne) {
    struct cap_case {
        const char* what;
        std::string keys;
        double cm;
        bool nan_inside;
    };
    const std::vector<cap_case> cases = {
        {"huge design loss", ", K1 = 1000", 100.0, false},
        {"no meridional flow: R = 0/0", "", 0.0, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup({.model_keys = c.keys});
        set_inlet(c.cm, 100.0, c.cm);
        const lieblein_loss_t L = model().loss_terms(2, 3, J);
        EXPECT_EQ(std::isnan(L.omegam), c.nan_inside);
        if (!c.nan_inside) {
            EXPECT_GT(L.omegam, 1.0);
        }
        EXPECT_EQ(model().pressure_loss(2, 3, J), 1.0);
    }
}

TEST(PerformanceModelLieblein, DeviationLimits) {
    struct deviation_case {
        const char* what;
        double beta1m, beta2m;
        double beta1;          // inlet flow angle (cm1 = 100)
        double cm2;
        double expected;
        double tolerance = 0.0;   // 0: the exact value
    };
    // beta1 = 78, cm2 = cm1 and the caps inactive: i*, delta* and the slope all read beta1c = 70.
    // With sigma 1, tb 0.1 ((10 tb)^q = 1, thickness factor 1), theta 20 and the single-precision
    // constants widened to double:
    //   i* = i010 + n theta = 5.08969534 - 0.333074517 * 20 = -1.57179501;
    //   delta* = P(0.7) theta + delta010 = 0.30986 * 20 + 2.56910141 = 8.76630141;
    //   slope = (1.25 / (70 / 53)^2.5 + 1) / exp(3.1) = 0.0731385596;
    //   delta = (78 - 75 - i*) slope + delta* = 9.1006759114426625 (10.0328 with beta1c = 75,
    //   10.6489 with 78).
    const std::vector<deviation_case> cases = {
        {"far below design incidence: not negative", 45.0, 25.0, 5.0, 100.0, 0.0},
        {"exit Cm halved: capped at 85 - beta2m", 80.0, 78.0, 80.0, 50.0, 7.0},
        {"85 - beta2m below 0 wins", 95.0, 90.0, 80.0, 100.0, -5.0},
        {"beta1c = 0, infinite slope, i > i*", -10.0, -30.0, 0.0, 100.0, 115.0},
        {"beta1c = 0, infinite slope, i < i*", 10.0, -10.0, 0.0, 100.0, 0.0},
        {"beta1 78: beta1c clamped to 70", 75.0, 55.0, 78.0, 100.0, 9.1006759114426625, 1e-12},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup({.beta1m = c.beta1m, .beta2m = c.beta2m});
        set_inlet(100.0, 100.0 * tand(c.beta1), c.cm2);
        EXPECT_NEAR(model().deviation(2, 3, J), c.expected, c.tolerance);
    }
}

TEST(PerformanceModelLieblein, DesignValuesAtZeroInletAngle) {
    // Solidity 2, thickness 0.1, camber 20 and beta1c = 0: the first term of i010 and all of
    // delta010 vanish, and (10 tb)^q = 1.
    //   i* = n theta - 0.1 sigma^3 exp(-17.5) with n = 0.025 sigma - 0.06 = -0.01: -0.2 - 2.0e-8;
    //   delta* = m theta with m = P(0) / sigma^b = 0.17 / 2^0.9625: 1.74476743.
    // The correlation constants are single-precision numbers widened to double; that lifts i* by
    // 4.2e-8 and delta* by 2.9e-8, which the tolerance resolves.
    setup({.sigma = 2.0});
    set_inlet(100.0, 0.0, 100.0);
    EXPECT_NEAR(model().design_incidence(2, 3, J), -0.1999999783647422, 1e-13);
    EXPECT_NEAR(model().design_deviation(2, 3, J), 1.7447674614476025, 1e-13);
}

TEST(PerformanceModelLieblein, CamberSlopePolynomial) {
    // Zero thickness leaves delta* = P(x) theta / sigma^b. At beta1c = 50, x = 0.5 and
    // b = 0.9625 - 0.17 x - 0.85 x^3 = 0.77125 (0.77124997 with the widened single-precision
    // constants), so theta / sigma^b = 20 / 2^0.77124997 = 11.718192277973149.
    const double camber_factor = 11.718192277973149;
    struct m1_case {
        const char* keys;
        double P;   // m1(1) + m1(2) x + m1(3) x^2 + ... at x = 0.5
    };
    const std::vector<m1_case> cases = {
        {"", 0.2366},                // default 0.17 - 0.0333 x + 0.333 x^2
        {", m1 = 0.2", 0.2366},      // not an array: the default
        {", m1 = []", 0.0},
        {", m1 = [0.2]", 0.2},
        {", m1 = [1, 2, 3]", 2.75},  // m1(1) is the constant term: 1 + 1 + 0.75
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        setup({.sigma = 2.0, .tb = 0.0, .model_keys = c.keys});
        set_inlet(100.0, 100.0 * tand(50.0), 100.0);
        EXPECT_NEAR(model().design_deviation(2, 3, J), c.P * camber_factor, 1e-12);
    }
}

TEST(PerformanceModelLieblein, FactoryKeys) {
    struct keys_case {
        std::string keys;
        double Ksh, K1, K2;
        std::vector<double> m1;
    };
    const std::vector<keys_case> cases = {
        {"", 1.0, 0.004, 4.0, {0.17, -0.0333, 0.333}},
        {", Ksh = 0.8, K1 = 3, K2 = 2.5, m1 = [0.1, 2]", 0.8, 3.0, 2.5, {0.1, 2.0}},
        {", m1 = { a = 1 }", 1.0, 0.004, 4.0, {0.17, -0.0333, 0.333}},
        {", m1 = []", 1.0, 0.004, 4.0, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.keys);
        // A turbine row may select the model too.
        setup({.model_keys = c.keys}, {{"type", "\"turbine\""}});
        const performance_model_lieblein_t& m = model();
        EXPECT_EQ(&m.row, &machine().blade_row(1));
        EXPECT_EQ(m.Ksh, c.Ksh);
        EXPECT_EQ(m.K1, c.K1);
        EXPECT_EQ(m.K2, c.K2);
        EXPECT_EQ(m.m1, c.m1);
    }

    const std::vector<std::pair<std::string, std::string>> errors = {
        {", Ksh = \"1\"", "performance_model.Ksh must be a number"},
        {", K1 = [0.004]", "performance_model.K1 must be a number"},
        {", K2 = true", "performance_model.K2 must be a number"},
        {", m1 = [0.17, \"x\"]", "performance_model.m1 must hold only numbers"},
    };
    for (const auto& [keys, message] : errors) {
        SCOPED_TRACE(keys);
        EXPECT_STOP(setup({.model_keys = keys}), message);
    }
}

}  // namespace
}  // namespace quorl
