#pragma once
// The throughflow job: loads the job file and drives init, run, report, figures and results.

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include <toml++/toml.h>

#include "array2d.hpp"
#include "job_file.hpp"

namespace pyplot_module {
class pyplot;
}

namespace quorl {

struct quorl_job_t {
    toml::table table;      // the parsed job document
    toml_context context;   // file name and source text, for located diagnostics
    // Set by run when the final state is no solution (not finite, or a meridional velocity that
    // is not positive): the fatal error that ends the run after its outputs. Empty otherwise.
    std::string solution_fault;

    // Machine, mesh, flow field, uniform inlet state and the 10 start-up sweeps.
    void init();
    // The 100 full-equilibrium sweeps, then the check of the final state (solution_fault).
    void run();
    // Refuses, before any output is written, an output file that is the job file, a report
    // and a results file that are one file, and a file name with a NUL character (status 2).
    void check_output_files() const;
    // The report on the console and/or in a file (table `reports`).
    void create_report();
    // The five figures (table `plots`).
    void create_plots();
    // The MAT-file (table `results`).
    void save_results();
};

// Loads and parses the job file into the job; a file that cannot be read or parsed ends the
// run with the reader's message on standard output and "ERROR STOP 1".
void create_quorl_job(quorl_job_t& job, const std::string& filename);

struct blade_row_t;
struct curve_t;

// Shared by the two equilibrium solvers.
// Row number of the passage that ends at quasi-normal j (0: duct); a negative type ends the run.
int passage_row(int j);
// Angular speed of a row, rad/s: ((rpm + rpm) * pi) / 60 for a rotor, 0 for a stator.
double row_omega(const blade_row_t& row);
// Exit flow angle (deg) of row k at streamline i of its trailing-edge quasi-normal j.
double exit_flow_angle(const blade_row_t& row, int j, int i);

// Recomputes p, t and rho of every streamline of quasi-normal q from htot, s, cm and ct.
void update_state_variables_at_quasinormal_from_htot_s_c(int q);
// Solves quasi-normal j by the simplified radial equilibrium (start-up sweeps).
void solve_simplified_equilibrium_at_qnormal(int j);
// Solves quasi-normal j by the full radial equilibrium (main sweeps).
void solve_full_equilibrium_at_qnormal(int j);
// Heun integration of u' = A u + B + C / u over the nodes x, outward from u(j0).
void solve_chinis_ode(std::span<double> u, vview x, vview A, vview B, vview C, int j0);

// Writes the complete report to `out`.
void quorl_print_report(std::ostream& out);

// Figures, each saved as name + "." + the format of the `plots` table in the working directory.
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
