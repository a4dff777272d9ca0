// Gas-model factory and perfect gas.

#include <cmath>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "thermo.hpp"
#include "thermo_aungier.hpp"
#include "thermo_perfect_gas.hpp"

namespace quorl {
namespace {

using test::parse_toml;

constexpr const char* air_table = R"(
[thermo.perfect_gas]
r = 287
cp = 1004.5
)";

// How a factory call ended: not stopped when it built a model.
struct stop_outcome {
    bool stopped = false;
    int status = 0;
    std::string stdout_text;
    std::string message;
};

stop_outcome factory_stop(toml::table& root) {
    stop_outcome out;
    try {
        (void)new_thermo_t(root);
    } catch (const stop_error& e) {
        out = {true, e.status(), e.stdout_text(), e.what()};
    }
    return out;
}

TEST(ThermoFactory, SelectsTheModelByItsName) {
    toml::table root = parse_toml(std::string("[thermo]\nmodel = \"perfect_gas   \"\n") + air_table);
    std::unique_ptr<thermo_t> gas = new_thermo_t(root);
    ASSERT_NE(dynamic_cast<thermo_perfect_gas_t*>(gas.get()), nullptr);
    EXPECT_EQ(gas->specific_heat_pressure_pt(1e5, 300.0), 1004.5);

    toml::table aungier = parse_toml(R"(
[thermo]
model = "aungier"
[thermo.aungier]
r = 287.0
cp0 = [1004.5]
T_crit = 132.5
V_crit = 0.00316
p_crit = 3.77e6
acentric_factor = 0.035
)");
    EXPECT_NE(dynamic_cast<thermo_aungier_t*>(new_thermo_t(aungier).get()), nullptr);
}

TEST(ThermoFactory, UnknownModelPrintsTheNameAndStopsBare) {
    struct case_t {
        const char* job;
        const char* line;  // expected standard output
    };
    const case_t cases[] = {
        {"[thermo]\nmodel = \"Perfect_gas\"\n", " Unknown thermodynamic model: Perfect_gas\n"},
        {"[thermo]\nmodel = \" perfect_gas\"\n", " Unknown thermodynamic model:  perfect_gas\n"},
        {"[thermo]\nmodel = \"ideal  \"\n", " Unknown thermodynamic model: ideal  \n"},
        {"[thermo]\nmodel = 5\n", " Unknown thermodynamic model: \n"},
        {"[thermo]\n", " Unknown thermodynamic model: \n"},
        {"title = \"no thermo table\"\n", " Unknown thermodynamic model: \n"},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.job);
        toml::table root = parse_toml(c.job);
        const stop_outcome out = factory_stop(root);
        EXPECT_TRUE(out.stopped);
        EXPECT_EQ(out.status, 1);
        EXPECT_EQ(out.stdout_text, c.line);
        EXPECT_EQ(out.message, "");
        // The table is created in the document when it was missing.
        EXPECT_NE(root["thermo"].as_table(), nullptr);
    }
}

TEST(ThermoFactory, ThermoThatIsNotATable) {
    for (const char* job : {"thermo = 5\n", "thermo = [1, 2]\n", "[[thermo]]\nmodel = \"perfect_gas\"\n"}) {
        SCOPED_TRACE(job);
        toml::table root = parse_toml(job);
        EXPECT_STOP((void)new_thermo_t(root), "Didn't found thermo table in config file.");
    }
}

TEST(ThermoFactory, CoolpropNameGoesToItsConstructor) {
    // Without a coolprop table its constructor ends the run with its own fatal error.
    toml::table root = parse_toml("[thermo]\nmodel = \"coolprop\"\n");
    const stop_outcome out = factory_stop(root);
    EXPECT_TRUE(out.stopped);
    EXPECT_EQ(out.stdout_text, "");
    EXPECT_NE(out.message.find("coolprop"), std::string::npos) << out.message;
}

TEST(PerfectGas, ReadsKeysWithDefaults) {
    const thermo_perfect_gas_t gas = new_thermo_perfect_gas_t(*parse_toml(air_table)["thermo"].as_table());
    EXPECT_EQ(gas.r, 287.0);
    EXPECT_EQ(gas.cp, 1004.5);
    EXPECT_EQ(gas.mu0, 1.716e-05);
    EXPECT_EQ(gas.T0, 273.15);
    EXPECT_EQ(gas.S, 110.4);
    EXPECT_EQ(gas.Pr, 0.72);

    const toml::table t = parse_toml("[perfect_gas]\nr = 1.0\ncp = 2\nmu0 = 3.0\nT0 = 4\nS = 5.0\nPr = 6.0\n");
    const thermo_perfect_gas_t given = new_thermo_perfect_gas_t(t);
    EXPECT_EQ(given.cp, 2.0);
    EXPECT_EQ(given.mu0, 3.0);
    EXPECT_EQ(given.T0, 4.0);
    EXPECT_EQ(given.S, 5.0);
    EXPECT_EQ(given.Pr, 6.0);
}

TEST(PerfectGas, KeyErrors) {
    struct case_t {
        const char* thermo;  // contents of the thermo table
        const char* message;
    };
    const case_t cases[] = {
        {"[aungier]\nr = 287.0\n", "perfect_gas not found in thermo table"},
        {"perfect_gas = 1\n", "perfect_gas not found in thermo table"},
        {"[perfect_gas]\ncp = 1004.5\n", "perfect_gas.r not found in thermo table"},
        {"[perfect_gas]\nr = \"287\"\ncp = 1004.5\n", "perfect_gas.r not found in thermo table"},
        {"[perfect_gas]\nr = 287.0\n", "perfect_gas.cp not found in thermo table"},
        {"[perfect_gas]\nr = 287.0\ncp = true\n", "perfect_gas.cp not found in thermo table"},
        {"[perfect_gas]\nr = 287.0\ncp = 1004.5\nmu0 = \"x\"\n", "perfect_gas.mu0 must be a number"},
        {"[perfect_gas]\nr = 287.0\ncp = 1004.5\nT0 = false\n", "perfect_gas.T0 must be a number"},
        {"[perfect_gas]\nr = 287.0\ncp = 1004.5\nS = [1.0]\n", "perfect_gas.S must be a number"},
        {"[perfect_gas]\nr = 287.0\ncp = 1004.5\nPr = {a = 1}\n", "perfect_gas.Pr must be a number"},
    };
    for (const case_t& c : cases) {
        SCOPED_TRACE(c.thermo);
        const toml::table thermo = parse_toml(c.thermo);
        EXPECT_STOP((void)new_thermo_perfect_gas_t(thermo), c.message);
    }
}

class PerfectGasAir : public ::testing::Test {
protected:
    thermo_perfect_gas_t gas = new_thermo_perfect_gas_t(*parse_toml(air_table)["thermo"].as_table());
};

TEST_F(PerfectGasAir, SoundSpeedViscosityAndConstants) {
    EXPECT_NEAR(gas.sound_speed_pt(1e5, 300.0), 347.18870949384285, 1e-9);
    for (double p : {1.0, 1e5, 1e7}) {
        EXPECT_NEAR(gas.viscosity_pt(p, 300.0), 1.8459162511975804e-05, 1e-18);
        EXPECT_NEAR(gas.viscosity_pt(p, 273.15), gas.mu0, 1e-20);
        EXPECT_EQ(gas.prandtl_pt(p, -1.0), 0.72);
        EXPECT_EQ(gas.specific_heat_pressure_pt(p, 1e4), 1004.5);
    }
    EXPECT_EQ(gas.entropy_pt(1.0, 1.0), 0.0);
    EXPECT_EQ(gas.enthalpy_pt(1e5, 300.0), 301350.0);
    // The ideal-gas law rho = p / (r T): 1e5 / (287 * 300) and 2.5e6 / (287 * 900) by hand.
    EXPECT_NEAR(gas.density_pt(1e5, 300.0), 1.1614401858304297, 1e-15);
    EXPECT_NEAR(gas.density_pt(2.5e6, 900.0), 9.67866821525358, 1e-14);
}

TEST_F(PerfectGasAir, OperationsAreMutuallyConsistent) {
    const double states[][2] = {{1.0, 1.0}, {1e5, 300.0}, {2.5e6, 900.0}, {3e3, 150.0}};
    for (const auto& state : states) {
        const double p = state[0];
        const double T = state[1];
        SCOPED_TRACE(testing::Message() << "p = " << p << ", T = " << T);
        const double h = gas.enthalpy_pt(p, T);
        const double s = gas.entropy_pt(p, T);
        const double rho = gas.density_pt(p, T);
        EXPECT_NEAR(gas.temperature_ps(p, s), T, 1e-12 * T);
        EXPECT_NEAR(gas.pressure_hs(h, s), p, 1e-11 * p);
        EXPECT_NEAR(gas.pressure_st(s, T), p, 1e-11 * p);
        EXPECT_NEAR(gas.temperature_hp(h, p), T, 1e-12 * T);
        EXPECT_NEAR(gas.enthalpy_ps(p, s), h, 1e-12 * h);
        EXPECT_NEAR(gas.entropy_hp(h, p), s, 1e-9);
        EXPECT_NEAR(gas.density_hp(h, p), rho, 1e-12 * rho);
        EXPECT_NEAR(gas.density_ps(p, s), rho, 1e-12 * rho);
        EXPECT_NEAR(gas.density_hs(h, s), rho, 1e-11 * rho);
    }
}

// The composed operations go through the object's own operations: a model derived from the
// perfect gas that changes temperature_ps and pressure_st changes them too.
TEST_F(PerfectGasAir, ComposedOperationsDispatchOnTheDynamicType) {
    struct shifted_gas_t : thermo_perfect_gas_t {
        double temperature_ps(double, double) const override { return 500.0; }
        double pressure_st(double, double) const override { return 2e5; }
    };
    shifted_gas_t shifted;
    static_cast<thermo_perfect_gas_t&>(shifted) = gas;
    const thermo_t& model = shifted;
    // At the shifted temperature 500 K: rho = 1e5 / (287 * 500), h = 1004.5 * 500; at the shifted
    // pressure 2e5 Pa and h / cp = 300 K: rho = 2e5 / (287 * 300).
    EXPECT_NEAR(model.density_ps(1e5, 0.0), 0.6968641114982579, 1e-15);
    EXPECT_EQ(model.enthalpy_ps(1e5, 0.0), 502250.0);
    EXPECT_EQ(model.pressure_hs(301350.0, 0.0), 2e5);
    EXPECT_NEAR(shifted.density_hs(301350.0, 0.0), 2.3228803716608595, 1e-15);
}

}  // namespace
}  // namespace quorl
