#pragma once
// The figures of the final state, each a matplotlib script run by the `plots` table's Python.

#include <string>
#include <string_view>

#include "array2d.hpp"

namespace pyplot_module {
class pyplot;
}

namespace quorl {

struct curve_t;

// Each figure is saved as name + "." + the format of the `plots` table in the working directory.
// The machine: hub and shroud outlines, then each row's leading and trailing edge.
void plot_machine(const std::string& name);
// The mesh: the polyline of each quasi-normal, then of each streamline.
void plot_mesh(const std::string& name);
// One line per quasi-normal k: x(k, :) against y(k, :).
void plot_xy(const std::string& name, const array2d& x, const array2d& y, std::string_view xlabel,
             std::string_view ylabel, std::string_view title);
// Adds the curve to the figure as a line through 100 points over its usable range.
void plot_curve(pyplot_module::pyplot& figure, const curve_t& curve, std::string_view linestyle, int linewidth);

}  // namespace quorl
