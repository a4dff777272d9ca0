#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "flowfield.hpp"
#include "machine.hpp"
#include "machine_fixtures.hpp"
#include "mesh.hpp"
#include "performance_model_const.hpp"
#include "test_support.hpp"

namespace quorl {
namespace {

using test::machine_text;
using test::parse_toml;

constexpr int N = 5;

// A compressor rotor and stator on the straight annulus, a still flow field with rpm 0.
void setup(const std::vector<test::toml_lines>& rows) {
    load_machine_description(parse_toml(machine_text({}, rows)));
    create_mesh(N);
    flowfield_state& ff = flowfield();
    ff.boco.rpm = 0.0;
    ff.cm = array2d(mesh().number_of_quasinormals, N);
    ff.ct = array2d(mesh().number_of_quasinormals, N);
}

TEST(PerformanceModelConst, ReturnsItsValuesAtEveryStreamline) {
    setup({{},
           {{"rotating", "false"},
            {"performance_model", "{ type = \"const  \", deviation = -2.5, pressure_loss = 1.5, extra = 1 }"}}});
    const performance_model_t& rotor = *machine().blade_row(1).performance_model;
    const performance_model_t& stator = *machine().blade_row(2).performance_model;
    for (int j = 1; j <= N; ++j) {
        EXPECT_EQ(rotor.deviation(2, 3, j), 5.0);
        EXPECT_EQ(rotor.pressure_loss(2, 3, j), 0.05);
        EXPECT_EQ(stator.deviation(4, 5, j), -2.5);
        EXPECT_EQ(stator.pressure_loss(4, 5, j), 1.5);
    }
}

TEST(PerformanceModelConst, IncidenceInTheRowsConvention) {
    struct incidence_case {
        const char* what;
        bool rotating;
        double ct;          // absolute swirl at the leading edge (cm = 100)
        double expected;    // at the mid streamline, inlet blade angle 40
    };
    const std::vector<incidence_case> cases = {
        {"rotor, wt = cm", true, 100.0, 5.0},
        {"rotor, wt = -cm", true, -100.0, -85.0},
        {"stator, wt = -ct = cm", false, -100.0, 5.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        setup({{{"rotating", c.rotating ? "true" : "false"}, {"inlet_angle", "[40, 40]"}}});
        flowfield().cm(2, 3) = 100.0;
        flowfield().ct(2, 3) = c.ct;
        EXPECT_DOUBLE_EQ(machine().blade_row(1).performance_model->incidence(2, 3, 3), c.expected);
    }

    // The blade angle is looked up at the point's parameter on the trimmed edge: the hub point
    // lies at y = 0.05 of an edge whose angles run from 40 to 50 over 0 .. 0.2.
    setup({{}});
    flowfield().cm(2, 1) = 100.0;
    flowfield().ct(2, 1) = 100.0;
    const blade_row_t& row = machine().blade_row(1);
    EXPECT_NEAR(row.performance_model->incidence(2, 3, 1), 45.0 - 42.5, 1e-9);
    EXPECT_EQ(incidence_of_row(row, 2, 1), row.performance_model->incidence(2, 3, 1));
}

TEST(PerformanceModelConst, FactoryReplacesTheModelAndBindsRowK) {
    setup({{}, {}});
    std::unique_ptr<performance_model_t>& model = machine().blade_row(1).performance_model;
    const toml::table row_table = parse_toml(
        "[performance_model]\ntype = \"const\"\ndeviation = 1.0\npressure_loss = 2\n");
    create_performance_model(model, 2, row_table);
    const auto* c = dynamic_cast<const performance_model_const_t*>(model.get());
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(&c->row, &machine().blade_row(2));
    EXPECT_EQ(c->deviation(2, 3, 1), 1.0);
    EXPECT_EQ(c->pressure_loss(2, 3, 1), 2.0);
}

}  // namespace
}  // namespace quorl
