// The report: boundary conditions, two tables per quasi-normal and the machine's performance,
// on the console and/or in a text file.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "clock.hpp"
#include "console.hpp"
#include "finite_differences.hpp"
#include "flowfield.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "output_file.hpp"
#include "quorl.hpp"
#include "quorl_report.hpp"
#include "stop.hpp"
#include "strings.hpp"
#include "version.hpp"

namespace quorl {

namespace {

using console::format_A;
using console::format_F;
using console::format_I;
using console::write;

const std::string dashes(103, '-');

void write_dashes(std::ostream& out) { write(out, {dashes}); }

// A fixed-format table row: "(I6,'.)',8F12.6)".
void write_row(std::ostream& out, int j, const double (&values)[8]) {
    std::string line = format_I(j, 6) + ".)";
    for (double v : values) line += format_F(v, 12, 6);
    out << line << '\n';
}

// A fixed-format table header: "(A8,8A12)".
void write_header(std::ostream& out, const char* first, const char* const (&titles)[8]) {
    std::string line = format_A(first, 8);
    for (const char* t : titles) line += format_A(t, 12);
    out << line << '\n';
}

void print_quasinormal_report(std::ostream& out, int i) {
    const mesh_state& ms = mesh();
    const flowfield_state& ff = flowfield();
    const thermo_t& gas = *ff.gas;
    const int n = ms.number_of_streamlines;

    write_header(out, "Line",
                 {"r (m)", "p (bar)", "ptot (bar)", "T (K)", "Ttot (K)", "rho (kg/m3)", "Htot (kJ/kg)", "S (J/kg/K)"});
    write_dashes(out);
    for (int j = 1; j <= n; ++j) {
        const double S = gas.entropy_pt(ff.p(i, j), ff.t(i, j));
        const double pt = gas.pressure_hs(ff.htot(i, j), S);
        const double Tt = gas.temperature_hp(ff.htot(i, j), pt);
        write_row(out, j, {ms.r(i, j), ff.p(i, j) / 1e5, pt / 1e5, ff.t(i, j), Tt, ff.rho(i, j), ff.htot(i, j) / 1e3, S});
    }
    write_dashes(out);
    write(out, {});

    write_header(out, "Line",
                 {"C (m/s)", "Cm (m/s)", "Ct (m/s)", "W (m/s)", "Wt (m/s)", "alpha (deg)", "alpha' (deg)", "Y (-)"});
    write_dashes(out);
    const int k = i >= 2 ? ms.passage_type(i - 1) : 0;
    for (int j = 1; j <= n; ++j) {
        const double cm = ff.cm(i, j);
        const double ct = ff.ct(i, j);
        const double Wt = wt(i, j);
        const double Y = k > 0 ? machine().blade_row(k).performance_model->pressure_loss(i - 1, i, j) : 0.0;
        write_row(out, j,
                  {std::sqrt(cm * cm + ct * ct), cm, ct, std::sqrt(cm * cm + Wt * Wt), Wt, atan2d(ct, cm),
                   atan2d(Wt, cm), Y});
    }
    write_dashes(out);
    write(out, {});
    write(out, {});
}

// Mass-flux-weighted average of x(1..n) on quasi-normal i (the factor 2 pi cancels).
double mass_flux_average(const std::vector<double>& x, int i) {
    const mesh_state& ms = mesh();
    const flowfield_state& ff = flowfield();
    const int n = ms.number_of_streamlines;
    std::vector<double> f(x.size());
    std::vector<double> g(static_cast<std::size_t>(n));
    for (int j = 1; j <= static_cast<int>(x.size()); ++j)
        f[static_cast<std::size_t>(j - 1)] = x[static_cast<std::size_t>(j - 1)] * ms.r(i, j) * ff.rho(i, j) *
                                             ff.cm(i, j) * cosd(ms.phi(i, j) - ms.lambda(i, j));
    for (int j = 1; j <= n; ++j)
        g[static_cast<std::size_t>(j - 1)] = ms.r(i, j) * ff.rho(i, j) * ff.cm(i, j) * cosd(ms.phi(i, j) - ms.lambda(i, j));
    return integral(vview(f), ms.y.row(i)) / integral(vview(g), ms.y.row(i));
}

std::vector<double> row_values(const array2d& a, int i) {
    std::vector<double> v(static_cast<std::size_t>(a.size2()));
    for (int j = 1; j <= a.size2(); ++j) v[static_cast<std::size_t>(j - 1)] = a(i, j);
    return v;
}

std::vector<double> total_pressures(int i) {
    const flowfield_state& ff = flowfield();
    const int n = mesh().number_of_streamlines;
    std::vector<double> v(static_cast<std::size_t>(n));
    for (int j = 1; j <= n; ++j) v[static_cast<std::size_t>(j - 1)] = ff.gas->pressure_hs(ff.htot(i, j), ff.s(i, j));
    return v;
}

// The machine's performance from mass-flux averages on the inlet and outlet quasi-normals.
struct performance_t {
    bool compressor = false;
    double mdot = 0.0;        // through the outlet, kg/s
    double power = 0.0;       // mdot (H1 - H2), W: negative when the flow takes work
    double ratio_ss = 0.0;    // static-static compression (compressor) or expansion (turbine) ratio
    double ratio_tt = 0.0;    // total-total, likewise
    double efficiency = 0.0;  // isentropic total-to-total, %
};

performance_t machine_performance() {
    const bool compressor = machine().is_compressor();
    const bool turbine = machine().is_turbine();
    if (!compressor && !turbine) fatal("Unknown machine type");
    const flowfield_state& ff = flowfield();
    const int N = mesh().number_of_quasinormals;

    performance_t perf;
    perf.compressor = compressor;
    perf.mdot = mass_flow_rate(N);
    const double p1 = mass_flux_average(row_values(ff.p, 1), 1);
    const double H1 = mass_flux_average(row_values(ff.htot, 1), 1);
    const double s1 = mass_flux_average(row_values(ff.s, 1), 1);
    const double pt1 = mass_flux_average(total_pressures(1), 1);
    const double p2 = mass_flux_average(row_values(ff.p, N), N);
    const double H2 = mass_flux_average(row_values(ff.htot, N), N);
    const double pt2 = mass_flux_average(total_pressures(N), N);
    perf.power = perf.mdot * (H1 - H2);
    perf.ratio_ss = compressor ? p2 / p1 : p1 / p2;
    perf.ratio_tt = compressor ? pt2 / pt1 : pt1 / pt2;
    const double His = ff.gas->enthalpy_ps(pt2, s1);
    perf.efficiency = compressor ? 100.0 * (H1 - His) / (H1 - H2) : 100.0 * (H1 - H2) / (H1 - His);
    return perf;
}

void print_performance(std::ostream& out) {
    const performance_t perf = machine_performance();
    write(out, {perf.compressor ? "Compressor performance:" : "Turbine performance:"});
    write(out, {"Mass flow rate                   : ", perf.mdot, "kg/s"});
    write(out, {"Power                            : ", perf.power, "W"});
    if (perf.compressor) {
        write(out, {"Compression     (static-static)  : ", perf.ratio_ss});
        write(out, {"Compression  (total-total)       : ", perf.ratio_tt});
    } else {
        write(out, {"Expansion rate  (static-static)  : ", perf.ratio_ss});
        write(out, {"Expansion rate  (total-total)    : ", perf.ratio_tt});
    }
    write(out, {"Efficiency                       : ", perf.efficiency, "%"});
}

// A figure of the warning below with three significant digits, in fixed-point form from 0.001 on.
std::string three_digits(double x) {
    if (!(std::fabs(x) >= 1e-3) || std::isinf(x)) return fmt::format("{:.3g}", x);
    const int decimals = std::max(0, 2 - static_cast<int>(std::floor(std::log10(std::fabs(x)))));
    return fmt::format("{:.{}f}", x, decimals);
}

// What makes the efficiency meaningless when the machine does not do what its type says (a
// compressor that does not compress or takes no work, a turbine that does not expand or gives
// no work): the warning that says so, "" otherwise.
std::string meaningless_efficiency_warning() {
    const performance_t perf = machine_performance();
    const std::string ratio = three_digits(perf.ratio_tt);
    const std::string power = "power " + three_digits(perf.power / 1e3) + " kW";
    // Without a turning row the machine exchanges no work at all, and the power it prints is
    // rounding noise of either sign: it is said to be what it is, not what that sign suggests.
    bool turning = false;
    for (const blade_row_t& row : machine().blade_row)
        if (row.rotating && angular_speed(flowfield().boco.rpm) != 0.0) turning = true;
    std::vector<std::string> faults;
    if (perf.compressor) {
        if (!(perf.ratio_tt > 1.0)) faults.push_back("does not compress, total-to-total pressure ratio " + ratio);
        if (!turning) faults.push_back("takes no work, " + power + " with no row turning");
        else if (perf.power > 0.0) faults.push_back("gives work, " + power);
        else if (!(perf.power < 0.0)) faults.push_back("takes no work, " + power);
    } else {
        if (!(perf.ratio_tt > 1.0)) faults.push_back("does not expand, total-to-total expansion ratio " + ratio);
        if (!turning) faults.push_back("gives no work, " + power + " with no row turning");
        else if (perf.power < 0.0) faults.push_back("takes work, " + power);
        else if (!(perf.power > 0.0)) faults.push_back("gives no work, " + power);
    }
    if (faults.empty()) return "";
    std::string text = std::string("WARNING: the ") + (perf.compressor ? "compressor " : "turbine ") + faults[0];
    if (faults.size() == 2) text += ", and " + faults[1];
    return text + ": its efficiency has no meaning";
}

// Once a report is written: the warning on its efficiency, unless the final state is no solution
// at all, which ends the run with its own error.
void warn_about_efficiency(const std::string& solution_fault) {
    if (!solution_fault.empty()) return;
    const std::string warning = meaningless_efficiency_warning();
    if (!warning.empty()) console::warn(warning);
}

std::string station_title(int i) {
    const mesh_state& ms = mesh();
    const int k = ms.passage_type(i - 1);
    if (k != 0) return machine().blade_row(k).name + ", trailing edge";
    return machine().blade_row(ms.passage_type(i)).name + ", leading edge";
}

}  // namespace

void quorl_print_report(std::ostream& out) {
    const local_time_text now = local_time_now();
    const boundary_conditions_t& bc = flowfield().boco;
    const int N = mesh().number_of_quasinormals;

    write(out, {});
    write(out, {"QUORL report, code version ", code_version, ", generated on ", now.date, " at ", now.time});
    write(out, {});
    write(out, {"Boundary conditions"});
    write(out, {"Total pressure at inlet    : ", bc.ptot_in, "Pa"});
    write(out, {"Total temperature at inlet : ", bc.Ttot_in, "K"});
    write(out, {"Mass flow rate at inlet    : ", bc.mdot_in, "kg/s"});
    write(out, {"Rotational speed           : ", bc.rpm, "rpm"});
    write(out, {});
    write(out, {"Inlet, mdot =", mass_flow_rate(1), "kg/s"});
    print_quasinormal_report(out, 1);
    for (int i = 2; i <= N - 1; ++i) {
        write(out, {station_title(i), ", mdot =", mass_flow_rate(i), "kg/s"});
        print_quasinormal_report(out, i);
    }
    write(out, {"Outlet, mdot =", mass_flow_rate(N), "kg/s"});
    print_quasinormal_report(out, N);
    write(out, {});
    write_dashes(out);
    print_performance(out);
    write_dashes(out);
    write(out, {});
    write(out, {});
}

namespace {

// The report in the file `name`, written aside and renamed over it when complete, so that a
// failure keeps the previous report; a name of one of the process's own streams is written
// through that stream as it is open.
void write_report_file(const std::string& name) {
    output_file target;
    if (!target.open(name)) file_error("Cannot create report file '" + name + "'");
    if (target.descriptor() >= 0) {
        std::ostringstream text;
        quorl_print_report(text);
        if (!target.write_to_stream(text.str())) file_error("Cannot write report file '" + name + "'");
        return;
    }
    std::ofstream out(target.path(), std::ios::out | std::ios::trunc);
    if (!out.is_open()) file_error("Cannot create report file '" + name + "'");
    quorl_print_report(out);
    out.close();
    if (out.fail() || !target.commit()) file_error("Cannot write report file '" + name + "'");
}

}  // namespace

void quorl_job_t::create_report() {
    const toml::table* reports = get_table(table, "reports");
    if (reports == nullptr) {
        console::write_now(std::cout, {"WARNING: didn't found [reports] section!"});
        return;
    }
    bool screen = false;
    if (get_value(*reports, "screen", screen, false) != stat_success) fatal("reports.screen must be a boolean");
    if (screen) quorl_print_report(std::cout);

    std::string file;
    const bool to_file = get_value(*reports, "file", file) == stat_success;
    if (to_file) {
        try {
            write_report_file(std::string(trim_right(file)));
        } catch (const stop_error&) {
            // The report on the screen still needs its warning.
            if (screen) warn_about_efficiency(solution_fault);
            throw;
        }
    }
    if (screen || to_file) warn_about_efficiency(solution_fault);
}

}  // namespace quorl
