#pragma once
// The machine description: machine type, hub and shroud outlines and the blade rows,
// held once per process.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <toml++/toml.h>

#include "array2d.hpp"
#include "curves.hpp"
#include "interpolation.hpp"
#include "performance_model.hpp"

namespace quorl {

struct blade_row_t {
    std::string name = "blade";        // shown in the report's station titles
    bool rotating = false;             // rotor: turns at 2 pi rpm / 60
    int frame_sign = 1;                // +1 compressor rotor and turbine stator, -1 otherwise
    int number_of_blades = 0;          // blade count Z
    curve_t leading_edge;              // (z, r) in m, trimmed to hub and shroud
    curve_t trailing_edge;
    interp1_t inlet_angle;             // blade angle (deg) over the leading edge's arc_length
    interp1_t outlet_angle;            // blade angle (deg) over the trailing edge's arc_length
    interp1_t chord;                   // m, over the leading (compressor) or trailing (turbine) edge
    interp1_t relative_thickness;      // thickness / chord, on the same edge as chord
    std::unique_ptr<performance_model_t> performance_model;
};

struct machine_state {
    std::string machine_type;          // "compressor" or "turbine" as read (trailing blanks kept)
    curve_t hub_outline;
    curve_t shroud_outline;
    array1<blade_row_t> blade_row;     // rows 1..n in job-file order; never resized once models exist

    bool is_compressor() const;
    bool is_turbine() const;
};

// The process-wide machine state.
machine_state& machine();

// Reads the `machine` table with its rows, trims the edges and builds each row's tables and model.
void load_machine_description(const toml::table& root);

// A curve from the array under `key` and the method under key + "_type" (default "pchip").
curve_t load_curve_from_toml(const toml::table& table, std::string_view key);
// A blade-row table over the abscissae x (an edge's arc_length), "pchip" with "extrap".
interp1_t load_interpolation_from_toml(const toml::table& table, std::string_view key, const std::vector<double>& x);
// Sets the edge's s_begin and s_end to its meeting points with the hub and the shroud outline.
void trim_blade_edge(curve_t& edge);

}  // namespace quorl
