// The five figures of the final state (table `plots`): machine geometry, mesh and the radial
// profiles of pressure, tangential and meridional velocity, each drawn by a matplotlib script.

#include <sys/stat.h>

#include <cstdint>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>

#include "console.hpp"
#include "curves.hpp"
#include "flowfield.hpp"
#include "job_file.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "pyplot_module.hpp"
#include "quorl.hpp"
#include "quorl_plots.hpp"
#include "stop.hpp"

namespace quorl {

namespace {

// Settings of the figures, set by create_plots and passed on as read.
std::string python = "python3";      // the interpreter command
std::string figure_format = "png";   // image format and file-name extension
std::string dpi = "75";              // resolution as decimal text

std::vector<double> values_of(vview v) {
    std::vector<double> out(static_cast<std::size_t>(v.size()));
    for (int i = 1; i <= v.size(); ++i) out[static_cast<std::size_t>(i - 1)] = v(i);
    return out;
}

void add_line(pyplot_module::pyplot& figure, vview x, vview y, std::string_view linestyle, int linewidth) {
    figure.add_plot(values_of(x), values_of(y), "", linestyle, linewidth);
}

// What shows whether a command wrote a file: its identity, size and times.
struct file_stamp {
    std::uint64_t device = 0, inode = 0;
    std::int64_t size = 0, modified_s = 0, modified_ns = 0, changed_s = 0, changed_ns = 0;
    bool operator==(const file_stamp&) const = default;
};

// Nothing when the file does not exist.
std::optional<file_stamp> stamp_of(const std::string& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) return std::nullopt;
    return file_stamp{st.st_dev,         st.st_ino,          st.st_size,         st.st_mtim.tv_sec,
                      st.st_mtim.tv_nsec, st.st_ctim.tv_sec, st.st_ctim.tv_nsec};
}

// Saves the figure as name.format; an interpreter that cannot be run ends the run (status 2),
// one that fails, or that ends well but writes no figure file, is a warning and the run goes on.
void save(pyplot_module::pyplot& figure, const std::string& name) {
    const std::string file = name + "." + figure_format;
    const auto before = stamp_of(file);
    int status = 0;
    try {
        status = figure.savefig(file, dpi, python);
    } catch (const pyplot_module::pyplot_error& e) {
        file_error(e.what());
    }
    // A figure file left as it was (a command that ignored its script) is as missing as none.
    const auto after = stamp_of(file);
    if (status != 0 || !after || after == before)
        console::warn(fmt::format("WARNING: drawing the figure {} failed: the Python command exited with status {}",
                                  file, status));
    figure.destroy();
}

// Ends the run with the message located at the value of `key` in the job file.
[[noreturn]] void settings_error(const toml_context& context, const toml::table& plots, std::string_view key,
                                 std::string_view message) {
    const std::string diagnostic = context.report(message, get_node(plots, key));
    fatal_after_output(console::record({diagnostic}) + "\n");
}

}  // namespace

void plot_curve(pyplot_module::pyplot& figure, const curve_t& curve, std::string_view linestyle, int linewidth) {
    const std::vector<double> s = linspace(curve.s_begin, curve.s_end, 100);
    const array2d x = curve.at_n(vview(s));
    add_line(figure, x.row(1), x.row(2), linestyle, linewidth);
}

void plot_machine(const std::string& name) {
    const machine_state& m = machine();
    pyplot_module::pyplot figure;
    figure.initialize(true, "z (m)", "r (m)", "Machine geometry", false, true);
    plot_curve(figure, m.hub_outline, "-k", 2);
    plot_curve(figure, m.shroud_outline, "-k", 2);
    for (const blade_row_t& row : m.blade_row) {
        const char* style = row.rotating ? "-r" : "-b";
        plot_curve(figure, row.leading_edge, style, 2);
        plot_curve(figure, row.trailing_edge, style, 2);
    }
    save(figure, name);
}

void plot_mesh(const std::string& name) {
    const mesh_state& ms = mesh();
    pyplot_module::pyplot figure;
    figure.initialize(true, "z (m)", "r (m)", "Computational mesh", false, true);
    for (int i = 1; i <= ms.number_of_quasinormals; ++i) add_line(figure, ms.z.row(i), ms.r.row(i), "-k", 1);
    for (int j = 1; j <= ms.number_of_streamlines; ++j) add_line(figure, ms.z.col(j), ms.r.col(j), "-k", 1);
    save(figure, name);
}

void plot_xy(const std::string& name, const array2d& x, const array2d& y, std::string_view xlabel,
             std::string_view ylabel, std::string_view title) {
    pyplot_module::pyplot figure;
    figure.initialize(true, xlabel, ylabel, title, false, false);
    // Odd quasi-normals (inlet line, trailing edges) red, even ones (leading edges, outlet) green.
    for (int k = 1; k <= x.size1(); ++k) add_line(figure, x.row(k), y.row(k), k % 2 == 1 ? "-r" : "-g", 1);
    save(figure, name);
}

void quorl_job_t::create_plots() {
    const toml::table* plots = get_table(table, "plots");
    if (plots == nullptr) {
        console::write_now(std::cout, {"Cannot read [plot] section, no plots will will be created"});
        return;
    }
    // A NUL character would cut the command or the file name short: no usable string either.
    const auto is_text = [](const std::string& s) { return s.find('\0') == std::string::npos; };
    if (get_value(*plots, "python", python, std::string("python3")) != stat_success || !is_text(python))
        settings_error(context, *plots, "python", "python must be string");
    if (get_value(*plots, "format", figure_format, std::string("png")) != stat_success || !is_text(figure_format))
        settings_error(context, *plots, "format", "format must be string");
    std::int32_t dpi_value = 75;
    if (get_value(*plots, "dpi", dpi_value, std::int32_t{75}) != stat_success || dpi_value <= 0)
        settings_error(context, *plots, "dpi", "dpi must be positive integer");
    dpi = std::to_string(dpi_value);

    const mesh_state& ms = mesh();
    const flowfield_state& ff = flowfield();
    plot_machine("machine");
    plot_mesh("mesh");
    array2d p_bar = ff.p;
    for (double& v : p_bar.data()) v = v / 1e5;
    plot_xy("pressure_by_r", p_bar, ms.r, "Pressure (bar)", "r (m)", "Pressure");
    plot_xy("Ct_by_r", ff.ct, ms.r, "Ct (m/s)", "r (m)", "Absolute circumferential velocity");
    plot_xy("Cm_by_r", ff.cm, ms.r, "Cm (m/s)", "r (m)", "Meridional velocity");
}

}  // namespace quorl
