#pragma once
// Small job files for the machine, mesh, flow-field and performance-model tests: a valid
// machine whose keys a test changes or drops one at a time.

#include <string>
#include <utility>
#include <vector>

#include <toml++/toml.h>

#include "test_support.hpp"

namespace quorl::test {

// key = value lines; a change with value "-" drops the key, a new key is appended.
using toml_lines = std::vector<std::pair<std::string, std::string>>;

inline std::string render(toml_lines base, const toml_lines& changes) {
    for (const auto& [key, value] : changes) {
        bool found = false;
        for (auto it = base.begin(); it != base.end(); ++it) {
            if (it->first == key) {
                found = true;
                if (value == "-") base.erase(it);
                else it->second = value;
                break;
            }
        }
        if (!found && value != "-") base.emplace_back(key, value);
    }
    std::string text;
    for (const auto& [key, value] : base) text += key + " = " + value + "\n";
    return text;
}

// Straight annulus: hub r = 0.1, shroud r = 0.2, z from 0 to 0.3.
inline toml_lines machine_base() {
    return {{"type", "\"compressor\""},
            {"hub_outline", "[[0.0, 0.1], [0.3, 0.1]]"},
            {"shroud_outline", "[[0.0, 0.2], [0.3, 0.2]]"}};
}

// A rotor with radial edges at z = 0.1 and 0.15 that reach past both outlines.
inline toml_lines row_base() {
    return {{"name", "\"R1\""},
            {"number_of_blades", "20"},
            {"rotating", "true"},
            {"leading_edge", "[[0.1, 0.05], [0.1, 0.25]]"},
            {"trailing_edge", "[[0.15, 0.05], [0.15, 0.25]]"},
            {"inlet_angle", "[40.0, 50.0]"},
            {"outlet_angle", "[10.0, 20.0]"},
            {"chord", "[0.05, 0.05]"},
            {"relative_thickness", "[0.1, 0.1]"},
            {"performance_model", "{ type = \"const\", deviation = 5, pressure_loss = 0.05 }"}};
}

// The machine table with one [[machine.blade_row]] per entry of `rows`.
inline std::string machine_text(const toml_lines& machine_changes, const std::vector<toml_lines>& rows) {
    std::string text = "[machine]\n" + render(machine_base(), machine_changes);
    for (const auto& row : rows) text += "[[machine.blade_row]]\n" + render(row_base(), row);
    return text;
}

inline std::string boundary_conditions_text(const toml_lines& changes = {}) {
    return "[boundary_conditions]\n" +
           render({{"ptot_in", "100000"}, {"Ttot_in", "300.0"}, {"mdot_in", "5.0"}, {"rpm", "3000"}}, changes);
}

}  // namespace quorl::test
