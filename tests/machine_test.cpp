#include <cmath>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "boundary_conditions.hpp"
#include "machine.hpp"
#include "machine_fixtures.hpp"
#include "performance_model_const.hpp"
#include "test_support.hpp"

namespace quorl {
namespace {

using test::machine_text;
using test::parse_toml;

struct error_case {
    const char* what;
    std::string job;
    const char* message;
};

TEST(BoundaryConditions, ReadsTheFourValuesWithIntegersAccepted) {
    const toml::table root = parse_toml(test::boundary_conditions_text({{"rpm", "0"}}));
    const boundary_conditions_t boco = init_boundary_conditions(root);
    EXPECT_EQ(boco.ptot_in, 100000.0);
    EXPECT_EQ(boco.Ttot_in, 300.0);
    EXPECT_EQ(boco.mdot_in, 5.0);
    EXPECT_EQ(boco.rpm, 0.0);
}

TEST(BoundaryConditions, EveryMessageInReadingOrder) {
    using test::boundary_conditions_text;
    const std::vector<error_case> cases = {
        {"no table", "[boundary_condition]\nptot_in = 1.0\n", "Error: boundary_conditions table not found"},
        {"not a table", "boundary_conditions = 3\n", "Error: boundary_conditions table not found"},
        {"ptot_in", boundary_conditions_text({{"ptot_in", "-"}}), "Error: ptot_in not found in boundary_conditions table"},
        {"Ttot_in before rpm", boundary_conditions_text({{"Ttot_in", "-"}, {"rpm", "-"}}),
         "Error: Ttot_in not found in boundary_conditions table"},
        {"mdot_in as string", boundary_conditions_text({{"mdot_in", "\"5\""}}),
         "Error: mdot_in not found in boundary_conditions table"},
        {"rpm", boundary_conditions_text({{"rpm", "-"}}), "Error: rpm not found in boundary_conditions table"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const toml::table root = parse_toml(c.job);
        EXPECT_STOP(init_boundary_conditions(root), c.message);
    }
}

TEST(MachineDescription, EveryMessage) {
    const std::vector<test::toml_lines> one_row = {{}};
    const auto row = [](test::toml_lines changes) { return machine_text({}, {std::move(changes)}); };
    const auto mach = [&](test::toml_lines changes) { return machine_text(std::move(changes), one_row); };
    const std::string no_rows = "[machine]\n" + test::render(test::machine_base(), {});

    const std::vector<error_case> cases = {
        {"no machine", "", "ERROR: didn't found [machine] section!"},
        {"type missing", mach({{"type", "-"}}), "ERROR: didn't found 'type' key in [machine]!"},
        {"type not a string", mach({{"type", "3"}}), "ERROR: didn't found 'type' key in [machine]!"},
        {"type case", mach({{"type", "\"Turbine\""}}), "ERROR: [machine.type] must be either 'turbine' or 'compressor'"},
        {"hub missing", mach({{"hub_outline", "-"}}), "ERROR: load_curve_t_from_toml didn't found array hub_outline"},
        {"hub not an array", mach({{"hub_outline", "5"}}), "ERROR: load_curve_t_from_toml didn't found array hub_outline"},
        {"one point", mach({{"hub_outline", "[[0.0, 0.1]]"}}), "ERROR: curve_t hub_outline requires at least 2 points"},
        {"one coordinate", mach({{"hub_outline", "[[0.0], [1.0]]"}}),
         "ERROR: curve_t hub_outline requires at least 2 coordinates per point"},
        {"unequal", mach({{"hub_outline", "[[0.0, 0.1], [1.0, 0.1, 5.0]]"}}),
         "ERROR: curve_t hub_outlinehas unequal number of coordinates"},
        {"unequal before three coordinates", mach({{"hub_outline", "[[0.0, 0.1, 0.0], [1.0, 0.1]]"}}),
         "ERROR: curve_t hub_outlinehas unequal number of coordinates"},
        {"three coordinates", mach({{"shroud_outline", "[[0.0, 0.2, 0.0], [0.3, 0.2, 0.0]]"}}),
         "ERROR: curve_t shroud_outline must have exactly 2 coordinates (z, r) per point"},
        {"first point not an array", mach({{"shroud_outline", "[0.0, 0.2]"}}),
         "ERROR: curve_t shroud_outline point 1 is not an array"},
        {"later point not an array", mach({{"hub_outline", "[[0.0, 0.1], 3]"}}),
         "ERROR: curve_t hub_outline point 2 is not an array"},
        {"coordinate not a number", mach({{"hub_outline", "[[0.0, \"a\"], [1.0, 0.1]]"}}),
         "ERROR: curve_t hub_outline has a coordinate that is not a number"},
        {"no rows", no_rows, "ERROR: didn't found any [[machine.blade_row]] section!"},
        {"single row table", no_rows + "[machine.blade_row]\nname = \"R1\"\n",
         "ERROR: didn't found any [[machine.blade_row]] section!"},
        {"row not a table", no_rows + "blade_row = [1]\n", "ERROR: [[machine.blade_row]] element 1 is not a table"},
        {"number_of_blades missing", row({{"number_of_blades", "-"}}),
         "ERROR: didn't found 'number_of_blades' key in [[machine.blade_row]]!"},
        {"number_of_blades float", row({{"number_of_blades", "20.0"}}),
         "ERROR: didn't found 'number_of_blades' key in [[machine.blade_row]]!"},
        {"rotating missing", row({{"rotating", "-"}}), "ERROR: didn't found 'rotating' key in [[machine.blade_row]]!"},
        {"rotating string", row({{"rotating", "\"yes\""}}),
         "ERROR: didn't found 'rotating' key in [[machine.blade_row]]!"},
        {"leading edge missing", row({{"leading_edge", "-"}}),
         "ERROR: load_curve_t_from_toml didn't found array leading_edge"},
        {"trailing edge one point", row({{"trailing_edge", "[[0.15, 0.05]]"}}),
         "ERROR: curve_t trailing_edge requires at least 2 points"},
        {"axial_offset string", row({{"axial_offset", "\"0.05\""}}),
         "ERROR: axial_offset in [[machine.blade_row]] must be a number"},
        {"inlet_angle size", row({{"leading_edge", "[[0.1, 0.05], [0.1, 0.15], [0.1, 0.25]]"},
                                  {"inlet_angle", "[1.0, 2.0, 3.0, 4.0]"},
                                  {"chord", "[0.05, 0.05, 0.05]"},
                                  {"relative_thickness", "[0.1, 0.1, 0.1]"}}),
         "Size of '[machine.blade.inlet_angle] is icompatible with LE/TE length"},
        {"outlet_angle missing", row({{"outlet_angle", "-"}}), "Didn't found '[machine.blade.outlet_angle]"},
        {"chord missing", row({{"chord", "-"}}), "Didn't found '[machine.blade.chord]"},
        {"table element not a number", row({{"relative_thickness", "[0.1, \"a\"]"}}),
         "ERROR: [machine.blade.relative_thickness] element 2 is not a number"},
        {"turbine chord sized to the leading edge",
         machine_text({{"type", "\"turbine\""}},
                      {{{"trailing_edge", "[[0.15, 0.05], [0.15, 0.15], [0.15, 0.25]]"},
                        {"outlet_angle", "[10.0, 15.0, 20.0]"}}}),
         "Size of '[machine.blade.chord] is icompatible with LE/TE length"},
        {"no performance model", row({{"performance_model", "-"}}), "performance_model: no performance model specified"},
        {"performance model not a table", row({{"performance_model", "3"}}),
         "performance_model: no performance model specified"},
        {"no type", row({{"performance_model", "{ deviation = 5 }"}}),
         "performance_model: no performance model type specified"},
        {"type not a string", row({{"performance_model", "{ type = 1 }"}}),
         "performance_model: no performance model type specified"},
        {"type case", row({{"performance_model", "{ type = \"Const\" }"}}), "performance_model: unknown performance model"},
        {"deviation first", row({{"performance_model", "{ type = \"const\" }"}}),
         "Missing deviation value for const performance model"},
        {"deviation string", row({{"performance_model", "{ type = \"const\", deviation = \"5\", pressure_loss = 0.1 }"}}),
         "Missing deviation value for const performance model"},
        {"pressure_loss", row({{"performance_model", "{ type = \"const\", deviation = 5 }"}}),
         "Missing pressure loss coefficient for const performance model"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const toml::table root = parse_toml(c.job);
        EXPECT_STOP(load_machine_description(root), c.message);
    }
}

TEST(MachineDescription, TypeNamesAndFrameSigns) {
    struct sign_case {
        const char* type;
        bool compressor;
        std::vector<bool> rotating;
        std::vector<int> frame_sign;
    };
    const std::vector<sign_case> cases = {
        {"compressor", true, {true, false}, {1, -1}},
        {"turbine  ", false, {false, true}, {1, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        std::vector<test::toml_lines> rows;
        for (bool rot : c.rotating) rows.push_back({{"rotating", rot ? "true" : "false"}});
        load_machine_description(parse_toml(machine_text({{"type", std::string("\"") + c.type + "\""}}, rows)));
        const machine_state& m = machine();
        EXPECT_EQ(m.machine_type, c.type);
        EXPECT_EQ(m.is_compressor(), c.compressor);
        EXPECT_EQ(m.is_turbine(), !c.compressor);
        ASSERT_EQ(m.blade_row.size(), 2);
        for (int k = 1; k <= 2; ++k) {
            EXPECT_EQ(m.blade_row(k).rotating, c.rotating[static_cast<std::size_t>(k - 1)]);
            EXPECT_EQ(m.blade_row(k).frame_sign, c.frame_sign[static_cast<std::size_t>(k - 1)]);
        }
    }
}

TEST(MachineDescription, RowValuesNamesAndModelBinding) {
    load_machine_description(parse_toml(machine_text({}, {{{"name", "-"}}, {{"name", "3"}}, {{"number_of_blades", "-7"}}})));
    const machine_state& m = machine();
    ASSERT_EQ(m.blade_row.size(), 3);
    EXPECT_EQ(m.blade_row(1).name, "blade");
    EXPECT_EQ(m.blade_row(2).name, "blade");
    EXPECT_EQ(m.blade_row(3).name, "R1");
    EXPECT_EQ(m.blade_row(1).number_of_blades, 20);
    EXPECT_EQ(m.blade_row(3).number_of_blades, -7);
    for (int k = 1; k <= 3; ++k) {
        const auto* model = dynamic_cast<const performance_model_const_t*>(m.blade_row(k).performance_model.get());
        ASSERT_NE(model, nullptr);
        EXPECT_EQ(&model->row, &m.blade_row(k));
        EXPECT_EQ(model->deviation_value, 5.0);
        EXPECT_EQ(model->pressure_loss_value, 0.05);
    }
    const interp1_t& angle = m.blade_row(1).inlet_angle;
    EXPECT_EQ(angle.method, "pchip");
    EXPECT_EQ(angle.extrap, "extrap");
    EXPECT_EQ(angle.y_data, (std::vector<double>{40.0, 50.0}));
}

TEST(MachineDescription, TrimmingShortensAndLengthensEdges) {
    // Leading edge reaches past both outlines, trailing edge stops short of both.
    load_machine_description(parse_toml(
        machine_text({}, {{{"trailing_edge", "[[0.15, 0.12], [0.15, 0.18]]"}}})));
    const blade_row_t& row = machine().blade_row(1);
    EXPECT_NEAR(row.leading_edge.s_begin, 0.05, 1e-12);
    EXPECT_NEAR(row.leading_edge.s_end, 0.15, 1e-12);
    EXPECT_NEAR(row.trailing_edge.s_begin, -0.02, 1e-12);
    EXPECT_NEAR(row.trailing_edge.s_end, 0.08, 1e-12);
    // Points and chord lengths stay; the tables extend their end pieces beyond the points.
    EXPECT_NEAR(row.trailing_edge.arc_length.back(), 0.06, 1e-15);
    EXPECT_EQ(row.trailing_edge.points(2, 1), 0.12);
    EXPECT_NEAR(row.outlet_angle.at(row.trailing_edge.s_begin), 10.0 - 0.02 / 0.06 * 10.0, 1e-9);
    EXPECT_FALSE(std::isnan(row.outlet_angle.at(row.trailing_edge.s_end)));
}

TEST(MachineDescription, AxialOffsetMovesTheEdgesOnly) {
    load_machine_description(parse_toml(machine_text({}, {{{"axial_offset", "0.05"}}, {{"axial_offset", "-1"}}})));
    const machine_state& m = machine();
    const blade_row_t& row = m.blade_row(1);
    for (int i = 1; i <= 2; ++i) {
        EXPECT_DOUBLE_EQ(row.leading_edge.points(1, i), 0.15);
        EXPECT_DOUBLE_EQ(row.trailing_edge.points(1, i), 0.2);
    }
    EXPECT_DOUBLE_EQ(m.blade_row(2).leading_edge.points(1, 1), -0.9);
    EXPECT_EQ(m.hub_outline.points(1, 1), 0.0);
    EXPECT_EQ(m.shroud_outline.points(1, 2), 0.3);
    EXPECT_NEAR(row.leading_edge.s_begin, 0.05, 1e-12);
    EXPECT_NEAR(row.leading_edge.s_end, 0.15, 1e-12);

    // The shift comes before the trimming: on outlines that rise by 0.1 m per m, the radial
    // leading edge moved from z = 0.1 to 0.15 meets the hub at r = 0.115 and the shroud at 0.215
    // (the alternating projections onto a sloping outline stop within about 1e-11).
    load_machine_description(parse_toml(machine_text(
        {{"hub_outline", "[[0.0, 0.1], [0.3, 0.13]]"}, {"shroud_outline", "[[0.0, 0.2], [0.3, 0.23]]"}},
        {{{"axial_offset", "0.05"}}})));
    const curve_t& shifted = machine().blade_row(1).leading_edge;
    EXPECT_NEAR(shifted.s_begin, 0.065, 1e-10);
    EXPECT_NEAR(shifted.s_end, 0.165, 1e-10);
}

TEST(MachineDescription, ChordAndThicknessFollowTheMachineType) {
    // Leading edge of 2 points, trailing edge of 3: chord and thickness sized to the edge
    // that the machine type selects.
    const test::toml_lines turbine_row = {{"trailing_edge", "[[0.15, 0.05], [0.15, 0.1], [0.15, 0.25]]"},
                                          {"outlet_angle", "[10.0, 15.0, 20.0]"},
                                          {"chord", "[0.04, 0.05, 0.06]"},
                                          {"relative_thickness", "[0.1, 0.1, 0.1]"}};
    load_machine_description(parse_toml(machine_text({{"type", "\"turbine\""}}, {turbine_row})));
    {
        const blade_row_t& row = machine().blade_row(1);
        EXPECT_EQ(row.chord.x_data, row.trailing_edge.arc_length);
        EXPECT_EQ(row.relative_thickness.x_data, row.trailing_edge.arc_length);
        EXPECT_EQ(row.inlet_angle.x_data, row.leading_edge.arc_length);
        EXPECT_EQ(row.outlet_angle.x_data, row.trailing_edge.arc_length);
        EXPECT_EQ(row.chord.y_data, (std::vector<double>{0.04, 0.05, 0.06}));
    }
    load_machine_description(parse_toml(machine_text({}, {{}})));
    const blade_row_t& row = machine().blade_row(1);
    EXPECT_EQ(row.chord.x_data, row.leading_edge.arc_length);
    EXPECT_EQ(row.relative_thickness.x_data, row.leading_edge.arc_length);
}

TEST(MachineDescription, EmptyRowListAndReloadingResetsTheState) {
    load_machine_description(parse_toml(machine_text({}, {{}, {}})));
    ASSERT_EQ(machine().blade_row.size(), 2);
    load_machine_description(parse_toml("[machine]\n" + test::render(test::machine_base(), {{"blade_row", "[]"}})));
    EXPECT_EQ(machine().blade_row.size(), 0);
    EXPECT_EQ(machine().machine_type, "compressor");

    // A row that fails leaves the rows before it complete.
    EXPECT_STOP(load_machine_description(parse_toml(machine_text({}, {{}, {{"performance_model", "-"}}}))),
                "performance_model: no performance model specified");
    const machine_state& m = machine();
    ASSERT_EQ(m.blade_row.size(), 2);
    EXPECT_NE(m.blade_row(1).performance_model, nullptr);
    EXPECT_EQ(m.blade_row(2).chord.y_data.size(), 2u);
    EXPECT_EQ(m.blade_row(2).performance_model, nullptr);
}

}  // namespace
}  // namespace quorl
