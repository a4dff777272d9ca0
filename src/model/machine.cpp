#include "machine.hpp"

#include <cstdint>

#include <fmt/format.h>

#include "job_file.hpp"
#include "stop.hpp"
#include "strings.hpp"

namespace quorl {

bool machine_state::is_compressor() const { return same_word(machine_type, "compressor"); }
bool machine_state::is_turbine() const { return same_word(machine_type, "turbine"); }

machine_state& machine() {
    static machine_state state;
    return state;
}

curve_t load_curve_from_toml(const toml::table& table, std::string_view key) {
    const toml::array* array = get_array(table, key);
    if (array == nullptr) fatal(fmt::format("ERROR: load_curve_t_from_toml didn't found array {}", key));

    const int n = array_length(*array);
    if (n < 2) fatal(fmt::format("ERROR: curve_t {} requires at least 2 points", key));

    const auto point_array = [&](int i) {
        const toml::node* node = array_element(*array, i);
        const toml::array* point = node != nullptr ? node->as_array() : nullptr;
        if (point == nullptr) fatal(fmt::format("ERROR: curve_t {} point {} is not an array", key, i));
        return point;
    };

    const int d = array_length(*point_array(1));
    if (d < 2) fatal(fmt::format("ERROR: curve_t {} requires at least 2 coordinates per point", key));

    // A coordinate that is not a number and a third coordinate are reported after every point
    // has passed the count checks, so that those messages come first.
    array2d points(d, n);
    bool all_numbers = true;
    for (int i = 1; i <= n; ++i) {
        const toml::array* point = point_array(i);
        if (array_length(*point) != d) fatal(fmt::format("ERROR: curve_t {}has unequal number of coordinates", key));
        for (int c = 1; c <= d; ++c) {
            if (read_node(array_element(*point, c), points(c, i)) != stat_success) all_numbers = false;
        }
    }
    if (!all_numbers) fatal(fmt::format("ERROR: curve_t {} has a coordinate that is not a number", key));
    // The axial shift and the trimming work in the meridional plane (z, r) only.
    if (d != 2) fatal(fmt::format("ERROR: curve_t {} must have exactly 2 coordinates (z, r) per point", key));

    std::string method;
    if (get_value(table, std::string(key) + "_type", method) != stat_success) method = "pchip";
    return new_curve(points, method, "extrap");
}

interp1_t load_interpolation_from_toml(const toml::table& table, std::string_view key, const std::vector<double>& x) {
    const toml::array* array = get_array(table, key);
    if (array == nullptr) fatal(fmt::format("Didn't found '[machine.blade.{}]", key));

    std::vector<double> values;
    const int bad = array_to_reals(*array, values);
    if (values.size() != x.size())
        fatal(fmt::format("Size of '[machine.blade.{}] is icompatible with LE/TE length", key));
    if (bad != 0) fatal(fmt::format("ERROR: [machine.blade.{}] element {} is not a number", key, bad));

    return create_interp1_t(vview(x), vview(values), "pchip", "extrap");
}

void trim_blade_edge(curve_t& edge) {
    const machine_state& mach = machine();

    // Hub end: meet the hub outline, then take the parameter of that point on the edge.
    const double s0 = edge.s_begin;
    std::vector<double> guess = edge.at_1(s0);
    std::vector<double> x = intersection(mach.hub_outline, edge, &guess);
    x.resize(2);
    double s_new = s0;
    project_to_curve(x, edge, &s_new, &s0);
    edge.s_begin = s_new;

    // Shroud end, with the new s_begin already in force.
    const double s1 = edge.s_end;
    guess = edge.at_1(s1);
    x = intersection(mach.shroud_outline, edge, &guess);
    x.resize(2);
    s_new = s1;
    project_to_curve(x, edge, &s_new, &s1);
    edge.s_end = s_new;
}

namespace {

void load_blade_row(blade_row_t& row, int k, const toml::table& T, bool compressor) {
    if (get_value(T, "name", row.name) != stat_success) row.name = "blade";
    std::int32_t number_of_blades = 0;
    if (get_value(T, "number_of_blades", number_of_blades) != stat_success)
        fatal("ERROR: didn't found 'number_of_blades' key in [[machine.blade_row]]!");
    row.number_of_blades = number_of_blades;
    if (get_value(T, "rotating", row.rotating) != stat_success)
        fatal("ERROR: didn't found 'rotating' key in [[machine.blade_row]]!");

    row.frame_sign = 1;
    if (compressor) {
        if (!row.rotating) row.frame_sign = -1;
    } else {
        if (row.rotating) row.frame_sign = -1;
    }

    row.leading_edge = load_curve_from_toml(T, "leading_edge");
    row.trailing_edge = load_curve_from_toml(T, "trailing_edge");

    double axial_offset = 0.0;
    if (get_value(T, "axial_offset", axial_offset, 0.0) != stat_success)
        fatal("ERROR: axial_offset in [[machine.blade_row]] must be a number");
    const double dx[2] = {axial_offset, 0.0};
    row.leading_edge.move_by(dx);
    row.trailing_edge.move_by(dx);

    trim_blade_edge(row.leading_edge);
    trim_blade_edge(row.trailing_edge);

    row.inlet_angle = load_interpolation_from_toml(T, "inlet_angle", row.leading_edge.arc_length);
    row.outlet_angle = load_interpolation_from_toml(T, "outlet_angle", row.trailing_edge.arc_length);
    const curve_t& edge = compressor ? row.leading_edge : row.trailing_edge;
    row.chord = load_interpolation_from_toml(T, "chord", edge.arc_length);
    row.relative_thickness = load_interpolation_from_toml(T, "relative_thickness", edge.arc_length);

    create_performance_model(row.performance_model, k, T);
}

}  // namespace

void load_machine_description(const toml::table& root) {
    machine_state& mach = machine();
    mach = machine_state{};

    const toml::table* table = get_table(root, "machine");
    if (table == nullptr) fatal("ERROR: didn't found [machine] section!");

    if (get_value(*table, "type", mach.machine_type) != stat_success)
        fatal("ERROR: didn't found 'type' key in [machine]!");
    if (!mach.is_turbine() && !mach.is_compressor())
        fatal("ERROR: [machine.type] must be either 'turbine' or 'compressor'");

    mach.hub_outline = load_curve_from_toml(*table, "hub_outline");
    mach.shroud_outline = load_curve_from_toml(*table, "shroud_outline");

    const toml::array* rows = get_array(*table, "blade_row");
    if (rows == nullptr) fatal("ERROR: didn't found any [[machine.blade_row]] section!");

    // Sized once: each performance model refers back to its row.
    const int n = array_length(*rows);
    mach.blade_row = array1<blade_row_t>(n);
    const bool compressor = mach.is_compressor();
    for (int k = 1; k <= n; ++k) {
        const toml::node* node = array_element(*rows, k);
        const toml::table* T = node != nullptr ? node->as_table() : nullptr;
        if (T == nullptr) fatal(fmt::format("ERROR: [[machine.blade_row]] element {} is not a table", k));
        load_blade_row(mach.blade_row(k), k, *T, compressor);
    }
}

}  // namespace quorl
