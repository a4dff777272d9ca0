#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flowfield.hpp"
#include "machine.hpp"
#include "machine_fixtures.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "test_support.hpp"

namespace quorl {
namespace {

using test::machine_text;
using test::parse_toml;

constexpr int N = 5;
const char* const perfect_gas = "[thermo]\nmodel = \"perfect_gas\"\n[thermo.perfect_gas]\nr = 287.0\ncp = 1004.5\n";

void two_row_mesh(const char* type, bool rotating1, bool rotating2) {
    load_machine_description(parse_toml(machine_text(
        {{"type", std::string("\"") + type + "\""}},
        {{{"rotating", rotating1 ? "true" : "false"}},
         {{"rotating", rotating2 ? "true" : "false"}, {"axial_offset", "0.1"}}})));
    create_mesh(N);
}

TEST(Flowfield, InitReadsGasThenBoundaryConditionsAndZeroesTheArrays) {
    two_row_mesh("compressor", true, false);

    toml::table no_gas = parse_toml("[thermo]\nmodel = \"none\"\n");  // no boundary conditions either
    EXPECT_STOP(init_flowfield(no_gas), "");
    toml::table no_boco = parse_toml(perfect_gas);
    EXPECT_STOP(init_flowfield(no_boco), "Error: boundary_conditions table not found");

    toml::table root = parse_toml(std::string(perfect_gas) + test::boundary_conditions_text());
    init_flowfield(root);
    const flowfield_state& ff = flowfield();
    ASSERT_NE(ff.gas, nullptr);
    EXPECT_EQ(ff.boco.ptot_in, 100000.0);
    EXPECT_EQ(ff.boco.rpm, 3000.0);
    for (const array2d* a : {&ff.p, &ff.t, &ff.rho, &ff.s, &ff.htot, &ff.cm, &ff.ct}) {
        EXPECT_EQ(a->size1(), 6);
        EXPECT_EQ(a->size2(), N);
        EXPECT_EQ(a->data(), std::vector<double>(6 * N, 0.0));
    }

    // Nothing flows yet; only the rotor (quasi-normals 2 and 3) sees a relative swirl.
    const double omega = 2.0 * pi * 3000.0 / 60.0;
    for (int i = 1; i <= 6; ++i) {
        EXPECT_EQ(mass_flow_rate(i), 0.0);
        for (int j = 1; j <= N; ++j) {
            const double expected = (i == 2 || i == 3) ? omega * mesh().r(i, j) : 0.0;
            EXPECT_DOUBLE_EQ(wt(i, j), expected);
        }
    }
}

TEST(Flowfield, RelativeSwirlFollowsTheRowOfTheQuasiNormal) {
    struct wt_case {
        const char* type;
        bool rotating1, rotating2;
        double rpm;
        // Expected wt at quasi-normals 1..6 for ct and U: sign of ct and whether U is added.
        std::vector<int> sign;
        std::vector<bool> adds_u;
    };
    const std::vector<wt_case> cases = {
        {"compressor", true, false, 3000.0, {1, 1, 1, -1, -1, 1}, {false, true, true, false, false, false}},
        {"turbine", false, true, 3000.0, {1, 1, 1, -1, -1, 1}, {false, false, false, true, true, false}},
        {"turbine", false, true, 0.0, {1, 1, 1, -1, -1, 1}, {false, false, false, true, true, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " rpm " + std::to_string(c.rpm));
        two_row_mesh(c.type, c.rotating1, c.rotating2);
        flowfield_state& ff = flowfield();
        ff.boco.rpm = c.rpm;
        ff.ct = array2d(6, N);
        for (int i = 1; i <= 6; ++i)
            for (int j = 1; j <= N; ++j) ff.ct(i, j) = 7.0 * i + j;
        const double omega = 2.0 * pi * c.rpm / 60.0;
        for (int i = 1; i <= 6; ++i) {
            const std::size_t k = static_cast<std::size_t>(i - 1);
            for (int j = 1; j <= N; ++j) {
                const double u = c.adds_u[k] ? omega * mesh().r(i, j) : 0.0;
                EXPECT_DOUBLE_EQ(wt(i, j), c.sign[k] * (ff.ct(i, j) + u)) << "quasi-normal " << i;
            }
        }
    }
}

TEST(Flowfield, MassFlowThroughAnAnnulus) {
    two_row_mesh("compressor", true, false);
    flowfield_state& ff = flowfield();
    ff.rho = array2d(6, N, 1.2);
    ff.cm = array2d(6, N, 50.0);
    const double expected = 1.2 * 50.0 * pi * (0.2 * 0.2 - 0.1 * 0.1);
    for (int i = 1; i <= 6; ++i) EXPECT_NEAR(mass_flow_rate(i), expected, 1e-12 * expected);
    for (int j = 1; j <= N; ++j) ff.cm(4, j) = 0.0;
    EXPECT_EQ(mass_flow_rate(4), 0.0);
}

}  // namespace
}  // namespace quorl
