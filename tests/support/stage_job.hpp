#pragma once
// Job text of a small perfect-gas compressor for the solver and report tests and the benchmarks:
// by default one stage, a rotor and its stator in a slightly converging annulus, with a constant
// performance model per row. A user changes the fields it needs and renders the text.
// Header-only and free of the test framework, so that the benchmarks can use it too.

#include <array>
#include <string>
#include <vector>

#include <fmt/format.h>

namespace quorl::test {

using real_list = std::vector<double>;
using point_list = std::vector<std::array<double, 2>>;  // (z, r) in m

// A real as TOML text: the shortest text that reads back as the same double, always a TOML
// float (with a decimal point or an exponent).
inline std::string toml_real(double x) {
    std::string text = fmt::format("{}", x);
    if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
    return text;
}

inline std::string toml_list(const real_list& values) {
    std::string text = "[";
    for (std::size_t k = 0; k < values.size(); ++k) {
        if (k > 0) text += ", ";
        text += toml_real(values[k]);
    }
    return text + "]";
}

inline std::string toml_points(const point_list& points) {
    std::string text = "[";
    for (std::size_t k = 0; k < points.size(); ++k)
        text += fmt::format("{}[{}, {}]", k ? ", " : "", toml_real(points[k][0]), toml_real(points[k][1]));
    return text + "]";
}

// A radial edge at axial position z through the given radii.
inline point_list radial_edge(double z, const real_list& radii) {
    point_list points;
    for (double r : radii) points.push_back({z, r});
    return points;
}

// The radii of the stage's blade edges: past hub (0.20 to 0.21 m) and shroud (0.30 m), trimmed by the mesh.
inline const real_list stage_edge_radii = {0.18, 0.20, 0.25, 0.30, 0.32};

struct blade_row_job {
    std::string name;  // the key is left out when empty
    bool rotating = false;
    int number_of_blades = 0;
    point_list leading_edge, trailing_edge;
    real_list inlet_angle, outlet_angle, chord, relative_thickness;
    double deviation = 0.0;      // constant performance model: deviation, deg
    double pressure_loss = 0.0;  // and loss coefficient
};

// The stage's rotor, bladed for about a free vortex behind it, lossless and without deviation.
inline blade_row_job stage_rotor() {
    return {"Rotor",
            true,
            30,
            radial_edge(0.08, stage_edge_radii),
            radial_edge(0.12, stage_edge_radii),
            {46.0, 48.8, 55.0, 59.7, 61.3},
            {21.5, 29.7, 44.2, 53.1, 55.8},
            {0.05, 0.05, 0.05, 0.05, 0.05},
            {0.09, 0.08, 0.07, 0.06, 0.055}};
}

// The stage's stator, turning the flow back to axial, lossless and without deviation.
inline blade_row_job stage_stator() {
    return {"Stator",
            false,
            40,
            radial_edge(0.18, stage_edge_radii),
            radial_edge(0.22, stage_edge_radii),
            {32.4, 29.7, 24.6, 20.9, 19.6},
            {0.0, 0.0, 0.0, 0.0, 0.0},
            {0.045, 0.045, 0.045, 0.045, 0.045},
            {0.08, 0.08, 0.08, 0.08, 0.08}};
}

struct stage_job {
    double r = 287.0;  // perfect gas, J/(kg K)
    double cp = 1004.5;
    double ptot_in = 101325.0;
    double Ttot_in = 288.15;
    double mdot_in = 30.0;
    double rpm = 9550.0;
    int streamlines = 11;
    std::string solver;  // replaces the [solver] table when not empty
    std::string type = "compressor";
    point_list hub = {{0.0, 0.20}, {0.15, 0.205}, {0.30, 0.21}};
    point_list shroud = {{0.0, 0.30}, {0.15, 0.30}, {0.30, 0.30}};
    std::vector<blade_row_job> rows = {stage_rotor(), stage_stator()};
    std::string tail;  // further tables, appended as they are

    // The rows of the default stage.
    blade_row_job& rotor() { return rows.at(0); }
    blade_row_job& stator() { return rows.at(1); }
};

inline std::string job_text(const stage_job& job) {
    std::string text = fmt::format(R"(
[thermo]
model = "perfect_gas"
[thermo.perfect_gas]
r = {}
cp = {}
[boundary_conditions]
ptot_in = {}
Ttot_in = {}
mdot_in = {}
rpm = {}
)",
                                   toml_real(job.r), toml_real(job.cp), toml_real(job.ptot_in),
                                   toml_real(job.Ttot_in), toml_real(job.mdot_in), toml_real(job.rpm));
    text += job.solver.empty() ? fmt::format("[solver]\nnumber_of_streamlines = {}\n", job.streamlines) : job.solver;
    text += fmt::format("[machine]\ntype = \"{}\"\nhub_outline = {}\nshroud_outline = {}\n", job.type,
                        toml_points(job.hub), toml_points(job.shroud));
    for (const blade_row_job& row : job.rows) {
        text += "[[machine.blade_row]]\n";
        if (!row.name.empty()) text += fmt::format("name = \"{}\"\n", row.name);
        text += fmt::format(R"(rotating = {}
number_of_blades = {}
leading_edge = {}
trailing_edge = {}
inlet_angle = {}
outlet_angle = {}
chord = {}
relative_thickness = {}
[machine.blade_row.performance_model]
type = "const"
deviation = {}
pressure_loss = {}
)",
                            row.rotating, row.number_of_blades, toml_points(row.leading_edge),
                            toml_points(row.trailing_edge), toml_list(row.inlet_angle), toml_list(row.outlet_angle),
                            toml_list(row.chord), toml_list(row.relative_thickness), toml_real(row.deviation),
                            toml_real(row.pressure_loss));
    }
    return text + job.tail;
}

}  // namespace quorl::test
