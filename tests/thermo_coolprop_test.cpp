// The CoolProp gas model, bound through the job file's `library` key to the stand-in library
// built under tests/lib/coolprop_standin (and, when QUORL_COOLPROP_LIBRARY names one, to a real
// CoolProp library).

#include <dlfcn.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"
#include "thermo_coolprop.hpp"

namespace {

using quorl::thermo_coolprop_t;
using quorl::test::parse_toml;

// The stand-in's own functions, from the same loaded copy that the gas model binds to.
struct standin_t {
    long (*input_pair_index)(const char*);
    long (*param_index)(const char*);
    void (*refuse_name)(const char*);
    void (*fail_output)(const char*);
    void (*last_call)(long*, long*, double*, double*, long*, double*);
    const char* (*backend_of)(long);
    long (*state_count)();
};

template <class F>
F symbol(void* handle, const char* name) {
    void* s = dlsym(handle, name);
    if (s == nullptr) ADD_FAILURE() << "stand-in lacks " << name;
    return reinterpret_cast<F>(s);
}

const standin_t& standin() {
    static const standin_t hooks = [] {
        void* handle = dlopen(QUORL_COOLPROP_STANDIN, RTLD_LAZY);
        if (handle == nullptr) ADD_FAILURE() << "cannot load " << QUORL_COOLPROP_STANDIN;
        return standin_t{
            symbol<long (*)(const char*)>(handle, "get_input_pair_index"),
            symbol<long (*)(const char*)>(handle, "get_param_index"),
            symbol<void (*)(const char*)>(handle, "standin_refuse_name"),
            symbol<void (*)(const char*)>(handle, "standin_fail_output"),
            symbol<void (*)(long*, long*, double*, double*, long*, double*)>(handle, "standin_last_call"),
            symbol<const char* (*)(long)>(handle, "standin_backend_of"),
            symbol<long (*)()>(handle, "standin_state_count"),
        };
    }();
    return hooks;
}

std::string quoted(std::string_view text) {
    std::string q = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') q += '\\';
        q += c;
    }
    return q + "\"";
}

// A job file's thermo table whose coolprop table holds `keys` (TOML lines).
toml::table thermo_table(const std::string& keys) {
    toml::table root = parse_toml("[thermo]\nmodel = \"coolprop\"\n[thermo.coolprop]\n" + keys);
    return *root["thermo"].as_table();
}

toml::table thermo_table(std::string_view library, std::string_view fluid, std::string_view backend) {
    return thermo_table("library = " + quoted(library) + "\nfluid = " + quoted(fluid) + "\nbackend = " +
                        quoted(backend) + "\n");
}

std::unique_ptr<thermo_coolprop_t> new_gas(const toml::table& thermo) {
    std::unique_ptr<quorl::thermo_t> gas = quorl::new_thermo_coolprop_t(thermo);
    auto* coolprop = dynamic_cast<thermo_coolprop_t*>(gas.get());
    EXPECT_NE(coolprop, nullptr);
    gas.release();
    return std::unique_ptr<thermo_coolprop_t>(coolprop);
}

class coolprop_test : public ::testing::Test {
protected:
    void SetUp() override { clear(); }
    void TearDown() override { clear(); }

    static void clear() {
        quorl::reset_coolprop_binding_for_tests();
        standin().refuse_name(nullptr);
        standin().fail_output(nullptr);
    }
};

void expect_rel(double actual, double expected, double tolerance) {
    EXPECT_NEAR(actual, expected, std::abs(expected) * tolerance) << "expected " << expected;
}

TEST_F(coolprop_test, air_properties_come_from_the_library_that_the_job_file_names) {
    // Trailing blanks of every name are trimmed before they reach the loader and the library;
    // the stand-in knows only the exact names.
    const auto gas = new_gas(thermo_table(std::string(QUORL_COOLPROP_STANDIN) + "   ", "Air  ", "HEOS "));
    EXPECT_EQ(gas->fluid(), "Air  ");
    EXPECT_EQ(gas->backend(), "HEOS ");

    const double p = 1.0e5;
    const double T = 300.0;
    const double rho = p / (287.0 * T);
    EXPECT_DOUBLE_EQ(gas->density_pt(p, T), rho);
    EXPECT_NEAR(gas->sound_speed_pt(p, T), 347.1887, 1e-4);
    EXPECT_NEAR(gas->viscosity_pt(p, T), 1.8459e-05, 1e-9);
    EXPECT_EQ(gas->specific_heat_pressure_pt(p, T), 1004.5);
    EXPECT_EQ(gas->prandtl_pt(p, T), 0.72);

    const double h = gas->enthalpy_pt(p, T);
    const double s = gas->entropy_pt(p, T);
    EXPECT_DOUBLE_EQ(h, 1004.5 * T);
    expect_rel(gas->temperature_hp(h, p), T, 1e-13);
    expect_rel(gas->temperature_ps(p, s), T, 1e-13);
    expect_rel(gas->pressure_hs(h, s), p, 1e-12);
    expect_rel(gas->pressure_st(s, T), p, 1e-12);
    expect_rel(gas->entropy_hp(h, p), s, 1e-13);
    expect_rel(gas->enthalpy_ps(p, s), h, 1e-13);
    expect_rel(gas->density_hp(h, p), rho, 1e-13);
    expect_rel(gas->density_ps(p, s), rho, 1e-13);
    expect_rel(gas->density_hs(h, s), rho, 1e-12);
}

TEST_F(coolprop_test, every_operation_reaches_the_library_as_its_name_spells) {
    using op_t = std::function<double(const thermo_coolprop_t&, double, double)>;
    struct row_t {
        const char* operation;
        op_t call;
        const char* pair;
        const char* param;
        const char* fetch_error;
        bool heos;
    };
    const char* density = "Error getting density from AbstractState object: ";
    const char* entropy = "Error getting entropy from AbstractState object: ";
    const char* enthalpy = "Error getting enthalpy from AbstractState object: ";
    const char* temperature = "Error getting temperature from AbstractState object: ";
    const char* pressure = "Error getting pressure from AbstractState object: ";
    const std::vector<row_t> rows = {
        {"density_hp", [](auto& g, double a, double b) { return g.density_hp(a, b); }, "HmassP_INPUTS", "Dmass",
         density, false},
        {"density_pt", [](auto& g, double a, double b) { return g.density_pt(a, b); }, "PT_INPUTS", "Dmass",
         density, false},
        {"density_ps", [](auto& g, double a, double b) { return g.density_ps(a, b); }, "PSmass_INPUTS", "Dmass",
         density, false},
        {"entropy_hp", [](auto& g, double a, double b) { return g.entropy_hp(a, b); }, "HmassP_INPUTS", "Smass",
         entropy, false},
        {"enthalpy_pt", [](auto& g, double a, double b) { return g.enthalpy_pt(a, b); }, "PT_INPUTS", "Hmass",
         enthalpy, false},
        {"entropy_pt", [](auto& g, double a, double b) { return g.entropy_pt(a, b); }, "PT_INPUTS", "Smass",
         entropy, false},
        {"prandtl_pt", [](auto& g, double a, double b) { return g.prandtl_pt(a, b); }, "PT_INPUTS", "Prandtl",
         "Error getting Prandtl number from AbstractState object: ", false},
        {"specific_heat_pressure_pt", [](auto& g, double a, double b) { return g.specific_heat_pressure_pt(a, b); },
         "PT_INPUTS", "Cpmass", "Error getting specific heat from AbstractState object: ", false},
        {"sound_speed_pt", [](auto& g, double a, double b) { return g.sound_speed_pt(a, b); }, "PT_INPUTS",
         "speed_of_sound", "Error getting sound speed from AbstractState object: ", false},
        {"pressure_hs", [](auto& g, double a, double b) { return g.pressure_hs(a, b); }, "HmassSmass_INPUTS", "P",
         pressure, true},
        {"viscosity_pt", [](auto& g, double a, double b) { return g.viscosity_pt(a, b); }, "PT_INPUTS",
         "viscosity", "Error getting viscosity from AbstractState object: ", false},
        {"temperature_ps", [](auto& g, double a, double b) { return g.temperature_ps(a, b); }, "PSmass_INPUTS",
         "T", temperature, false},
        {"temperature_hp", [](auto& g, double a, double b) { return g.temperature_hp(a, b); }, "HmassP_INPUTS",
         "T", temperature, false},
        {"enthalpy_ps", [](auto& g, double a, double b) { return g.enthalpy_ps(a, b); }, "PSmass_INPUTS", "Hmass",
         enthalpy, false},
        {"pressure_st", [](auto& g, double a, double b) { return g.pressure_st(a, b); }, "SmassT_INPUTS", "P",
         pressure, false},
        {"density_hs", [](auto& g, double a, double b) { return g.density_hs(a, b); }, "HmassSmass_INPUTS",
         "Dmass", density, false},
    };
    // Physical argument pairs, each with two different values, per input pair.
    const auto arguments = [](std::string_view pair) -> std::pair<double, double> {
        if (pair == "HmassP_INPUTS") return {3.1e5, 1.2e5};
        if (pair == "HmassSmass_INPUTS") return {3.1e5, 2450.0};
        if (pair == "PSmass_INPUTS") return {1.2e5, 2450.0};
        if (pair == "PT_INPUTS") return {1.2e5, 310.0};
        return {2450.0, 310.0};  // SmassT_INPUTS
    };

    const auto gas = new_gas(thermo_table(QUORL_COOLPROP_STANDIN, "Air", "STANDIN"));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.operation);
        const auto [a, b] = arguments(row.pair);
        const double result = row.call(*gas, a, b);

        long handle = -1, pair = -1, param = -1;
        double value1 = 0.0, value2 = 0.0, value = 0.0;
        standin().last_call(&handle, &pair, &value1, &value2, &param, &value);
        ASSERT_NE(standin().backend_of(handle), nullptr);
        EXPECT_STREQ(standin().backend_of(handle), row.heos ? "HEOS" : "STANDIN");
        EXPECT_EQ(pair, standin().input_pair_index(row.pair));
        EXPECT_EQ(value1, a);
        EXPECT_EQ(value2, b);
        EXPECT_EQ(param, standin().param_index(row.param));
        EXPECT_EQ(result, value);
        EXPECT_NE(result, 0.0);

        // A successful update followed by a failed output still ends the run.
        standin().fail_output(row.param);
        EXPECT_STOP(row.call(*gas, a, b), std::string(row.fetch_error) + "Output " + row.param + " not available");
        standin().fail_output(nullptr);
    }

    EXPECT_STOP(gas->density_pt(-1.0e5, 300.0),
                "Error updating AbstractState object: Inputs out of range for PT_INPUTS");
}

TEST_F(coolprop_test, pressure_from_enthalpy_and_entropy_comes_from_the_heos_state) {
    const auto standin_air = new_gas(thermo_table(QUORL_COOLPROP_STANDIN, "Air", "STANDIN"));
    const auto heos_air = new_gas(thermo_table(QUORL_COOLPROP_STANDIN, "Air", "HEOS"));
    const double p = 1.0e5;
    const double T = 300.0;
    const double h = standin_air->enthalpy_pt(p, T);
    const double s = standin_air->entropy_pt(p, T);
    // The configured backend inverts its own state; pressure_hs answers as the HEOS gas does.
    expect_rel(standin_air->pressure_st(s, T), p, 1e-12);
    const double heos_p = standin_air->pressure_hs(h, s);
    EXPECT_EQ(heos_p, heos_air->pressure_hs(h, s));
    expect_rel(heos_p, heos_air->pressure_st(s, heos_air->temperature_hp(h, p)), 1e-12);
    EXPECT_GT(std::abs(heos_p - p), 0.1 * p);
}

TEST_F(coolprop_test, library_is_read_only_for_the_first_gas_object) {
    const long states_before = standin().state_count();
    const auto first = new_gas(thermo_table(QUORL_COOLPROP_STANDIN, "Air", "HEOS"));
    // Once bound, a further gas object neither reads `library` nor needs it to be valid,
    // but gets two new states of its own.
    for (const std::string library_line :
         {"", "library = \"/nonexistent/libCoolProp.so\"\n", "library = 42\n"}) {
        SCOPED_TRACE(library_line);
        const auto gas = new_gas(thermo_table(library_line + "fluid = \"Air\"\nbackend = \"STANDIN\"\n"));
        EXPECT_EQ(gas->backend(), "STANDIN");
        EXPECT_NE(gas->density_pt(1.0e5, 300.0), first->density_pt(1.0e5, 300.0));
    }
    EXPECT_EQ(standin().state_count() - states_before, 8);
}

TEST_F(coolprop_test, configuration_errors_end_the_run_with_their_messages) {
    const std::string library = "library = " + quoted(QUORL_COOLPROP_STANDIN) + "\n";
    struct row_t {
        std::string keys;
        std::string message;
    };
    const std::vector<row_t> rows = {
        {"", "coolprop.library not found in thermo table"},
        {"fluid = \"Air\"\nbackend = \"HEOS\"\nlibrary = 42\n", "coolprop.library not found in thermo table"},
        {"library = \"/nonexistent/dir/libCoolProp.so   \"\nfluid = \"Air\"\nbackend = \"HEOS\"\n",
         "Error opening library: /nonexistent/dir/libCoolProp.so"},
        // An empty name would give the program itself, not a library.
        {"library = \"   \"\nfluid = \"Air\"\nbackend = \"HEOS\"\n", "Error opening library: "},
        {library + "backend = \"HEOS\"\n", "coolprop.fluid not found in thermo table"},
        {library + "fluid = true\nbackend = \"HEOS\"\n", "coolprop.fluid not found in thermo table"},
        {library + "fluid = \"Air\"\n", "coolprop.backend not found in thermo table"},
        {library + "fluid = \"Air\"\nbackend = [\"HEOS\"]\n", "coolprop.backend not found in thermo table"},
        {library + "fluid = \"Air\"\nbackend = \"heos\"\n",
         "Error creating AbstractState object: Backend not known: heos"},
        {library + "fluid = \"Water\"\nbackend = \"HEOS\"\n",
         "Error creating AbstractState object: Fluid Water is not known to backend HEOS"},
        {library + "fluid = \"StandinOnly\"\nbackend = \"STANDIN\"\n",
         "Error creating HEOS AbstractState object: Fluid StandinOnly is not known to backend HEOS"},
        // The library fills the whole buffer without a NUL: the message stops at the buffer's end.
        {library + "fluid = \"Unterminated\"\nbackend = \"HEOS\"\n",
         "Error creating AbstractState object: " + std::string(250, 'u')},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.keys);
        quorl::reset_coolprop_binding_for_tests();
        EXPECT_STOP(quorl::new_thermo_coolprop_t(thermo_table(row.keys)), row.message);
    }

    // The thermo table itself (not a job file's root).
    const std::vector<row_t> tables = {
        {"model = \"coolprop\"\n", "coolprop not found in thermo table"},
        {"coolprop = 3\n", "coolprop not found in thermo table"},
        {"[[coolprop]]\nlibrary = \"x\"\n", "coolprop not found in thermo table"},
        {"[coolprop.library]\n", "coolprop.library not found in thermo table"},
    };
    for (const auto& row : tables) {
        SCOPED_TRACE(row.keys);
        quorl::reset_coolprop_binding_for_tests();
        EXPECT_STOP(quorl::new_thermo_coolprop_t(parse_toml(row.keys)), row.message);
    }
}

TEST_F(coolprop_test, library_without_a_function_cannot_be_used) {
    const std::vector<std::pair<const char*, const char*>> rows = {
        {QUORL_COOLPROP_STANDIN_WITHOUT_get_input_pair_index, "Error loading function get_input_pair_index"},
        {QUORL_COOLPROP_STANDIN_WITHOUT_get_param_index, "Error loading function get_param_index"},
        {QUORL_COOLPROP_STANDIN_WITHOUT_AbstractState_update, "Error loading function AbstractState_update"},
        {QUORL_COOLPROP_STANDIN_WITHOUT_AbstractState_keyed_output,
         "Error loading function AbstractState_keyed_output"},
        {QUORL_COOLPROP_STANDIN_WITHOUT_AbstractState_factory, "Error loading function AbstractState_factory"},
    };
    for (const auto& [library, message] : rows) {
        SCOPED_TRACE(library);
        quorl::reset_coolprop_binding_for_tests();
        EXPECT_STOP(quorl::new_thermo_coolprop_t(thermo_table(library, "Air", "HEOS")), message);
    }

    // A binding that failed half-way leaves nothing behind: the next gas object binds afresh.
    quorl::reset_coolprop_binding_for_tests();
    EXPECT_STOP(quorl::new_thermo_coolprop_t(thermo_table(QUORL_COOLPROP_STANDIN_WITHOUT_AbstractState_keyed_output,
                                                          "Air", "HEOS")),
                "Error loading function AbstractState_keyed_output");
    const auto gas = new_gas(thermo_table(QUORL_COOLPROP_STANDIN, "Air", "HEOS"));
    EXPECT_DOUBLE_EQ(gas->density_pt(1.0e5, 300.0), 1.0e5 / (287.0 * 300.0));
}

TEST_F(coolprop_test, unknown_index_names_end_the_binding) {
    const std::vector<std::pair<const char*, const char*>> rows = {
        {"HmassP_INPUTS", "Error getting input pair index for HmassP_INPUTS"},
        {"HmassSmass_INPUTS", "Error getting input pair index for HmassSmass_INPUTS"},
        {"PSmass_INPUTS", "Error getting input pair index for PSmass_INPUTS"},
        {"PT_INPUTS", "Error getting input pair index for PT_INPUTS"},
        {"SmassT_INPUTS", "Error getting input pair index for SmassT_INPUTS"},
        {"P", "Error getting param index for P"},
        {"T", "Error getting param index for T"},
        {"Dmass", "Error getting param index for Dmass"},
        {"Hmass", "Error getting param index for Hmass"},
        {"Smass", "Error getting param index for Smass"},
        {"viscosity", "Error getting param index for viscosity"},
        {"Prandtl", "Error getting param index for Prandtl number"},
        {"Cpmass", "Error getting param index for Cpmass"},
        {"speed_of_sound", "Error getting param index for sound_speed"},
    };
    for (const auto& [name, message] : rows) {
        SCOPED_TRACE(name);
        quorl::reset_coolprop_binding_for_tests();
        standin().refuse_name(name);
        EXPECT_STOP(quorl::new_thermo_coolprop_t(thermo_table(QUORL_COOLPROP_STANDIN, "Air", "HEOS")), message);
    }
}

// Needs a real CoolProp library: QUORL_COOLPROP_LIBRARY=/path/to/libCoolProp.so.
TEST_F(coolprop_test, real_library_gives_published_properties_of_air) {
    const char* library = std::getenv("QUORL_COOLPROP_LIBRARY");
    if (library == nullptr || *library == '\0')
        GTEST_SKIP() << "QUORL_COOLPROP_LIBRARY does not name a CoolProp shared library";
    const auto gas = new_gas(thermo_table(library, "Air", "HEOS"));
    const double p = 1.0e5;
    const double T = 300.0;
    expect_rel(gas->density_pt(p, T), 1.1614, 3e-3);
    expect_rel(gas->specific_heat_pressure_pt(p, T), 1006.5, 3e-3);
    expect_rel(gas->sound_speed_pt(p, T), 347.0, 3e-3);
    // The HEOS state inverts what the configured one gives.
    expect_rel(gas->pressure_hs(gas->enthalpy_pt(p, T), gas->entropy_pt(p, T)), p, 1e-6);
}

}  // namespace
