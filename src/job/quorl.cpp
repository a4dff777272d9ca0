#include "quorl.hpp"

#include <cmath>
#include <iostream>
#include <new>
#include <vector>

#include <fmt/format.h>

#include "console.hpp"
#include "finite_differences.hpp"
#include "flowfield.hpp"
#include "machine.hpp"
#include "math.hpp"
#include "mesh.hpp"
#include "optimize.hpp"
#include "quorl_full_equilibrium.hpp"
#include "quorl_simplified_equilibrium.hpp"
#include "stop.hpp"
#include "system_memory.hpp"

namespace quorl {

void create_quorl_job(quorl_job_t& job, const std::string& filename) {
    job.table = toml::table{};
    std::string error;
    if (!toml_load_file(filename, job.table, job.context, error)) fatal_after_output(error + "\n");
}

namespace {

constexpr int startup_sweeps = 10;
constexpr int main_sweeps = 100;

// Streamline count from the `solver` table (10 with a warning when it cannot be read).
int read_number_of_streamlines(const toml::table& root) {
    const toml::table* solver = get_table(root, "solver");
    if (solver == nullptr) {
        console::write_now(std::cout, {"WARNING: didn't found [solver] section! Using defaults."});
        return 10;
    }
    std::int32_t n = 10;
    if (get_value(*solver, "number_of_streamlines", n) != stat_success) {
        console::write_now(std::cout, {"WARNING: didn't found number_of_streamlines in [solver] section! Using defaults."});
        return 10;
    }
    if (n <= 0) fatal(fmt::format("ERROR: number_of_streamlines in [solver] must be positive (found {})", n));
    return n;
}

// Whether the mesh and flow-field arrays for n streamlines (14 arrays of quasi-normals x n
// reals, besides small work arrays) fit in the machine's physical memory.
bool arrays_fit_in_memory(int n) {
    const double quasinormals = 2.0 * machine().blade_row.size() + 2.0;
    const double bytes = 14.0 * quasinormals * static_cast<double>(n) * sizeof(double);
    const double memory = physical_memory_bytes();
    if (memory == 0.0) return true;  // unknown: let the allocation decide
    return bytes < memory;
}

// The uniform inlet state of quasi-normal 1, carrying exactly the inlet mass flow.
void set_inlet_state() {
    flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    const thermo_t& gas = *ff.gas;
    const int n = ms.number_of_streamlines;

    // Flow area of quasi-normal 1.
    std::vector<double> w(static_cast<std::size_t>(n));
    for (int i = 1; i <= n; ++i)
        w[static_cast<std::size_t>(i - 1)] = (two_pi * ms.r(1, i)) * cosd(ms.phi(1, i) - ms.lambda(1, i));
    const double A = integral(vview(w), ms.y.row(1));
    const double G = ff.boco.mdot_in / A;
    // A broken inlet (NaN coordinates, hub on the shroud, a NaN or non-positive mass flow)
    // would otherwise pass for a gas model without a state below.
    if (!(std::isfinite(A) && A > 0.0 && std::isfinite(G) && G > 0.0))
        fatal(fmt::format("Error: the inlet flow area of {} m2 and mdot_in = {} kg/s give no finite positive "
                          "mass flux",
                          A, ff.boco.mdot_in));

    const double ptot = ff.boco.ptot_in;
    const double Ttot = ff.boco.Ttot_in;
    const double H0 = gas.enthalpy_pt(ptot, Ttot);
    const double S0 = gas.entropy_pt(ptot, Ttot);
    for (int i = 1; i <= n; ++i) {
        ff.htot(1, i) = H0;
        ff.s(1, i) = S0;
    }
    const double a0 = gas.sound_speed_pt(ptot, Ttot);

    auto f = [&](double c) {
        const double h = ff.htot(1, 1) - (c * c) * 0.5;
        const double p = gas.pressure_hs(h, ff.s(1, 1));
        const double rho = gas.density_hp(h, p);
        return G - c * rho;
    };
    // A gas model without a static state near the inlet total state gives NaN here; the sign
    // test of the bisection would let it pass and return a meaningless velocity.
    if (std::isnan(f(0.0)) || std::isnan(f(a0)))
        fatal(fmt::format("Error: the gas model gives no static state at the inlet for ptot_in = {} Pa and "
                          "Ttot_in = {} K",
                          ptot, Ttot));
    const double cm0 = bisect(f, 0.0, a0);

    for (int i = 1; i <= n; ++i) {
        ff.cm(1, i) = cm0;
        ff.ct(1, i) = 0.0;
        ff.p(1, i) = gas.pressure_hs(ff.htot(1, 1) - ff.cm(1, 1) * ff.cm(1, 1) / 2.0, ff.s(1, 1));
        ff.t(1, i) = gas.temperature_ps(ff.p(1, 1), ff.s(1, 1));
        ff.rho(1, i) = gas.density_pt(ff.p(1, 1), ff.t(1, 1));
    }
}

template <class Solve>
void sweep(Solve solve, double relax) {
    flowfield_state& ff = flowfield();
    const int nq = mesh().number_of_quasinormals;
    for (int j = 2; j <= nq; ++j) {
        solve(j);
        redistribute_streamlines_at_quasinormal(j, ff.rho, ff.cm, relax);
    }
    recalculate_mesh_parameters();
}

// After the sweeps: a final state that is no solution, one that went non-finite or one with a
// meridional velocity that is zero or negative (stalled or reversed flow), is named by a
// warning now; the returned fatal error ends the run once the outputs are written. "" for a
// solution.
std::string check_solution() {
    const flowfield_state& ff = flowfield();
    const mesh_state& ms = mesh();
    for (int i = 1; i <= ms.number_of_quasinormals; ++i) {
        for (int j = 1; j <= ms.number_of_streamlines; ++j) {
            for (const array2d* a : {&ff.p, &ff.t, &ff.rho, &ff.s, &ff.htot, &ff.cm, &ff.ct}) {
                if (std::isfinite((*a)(i, j))) continue;
                console::warn(fmt::format(
                    "WARNING: the solution is not finite at quasi-normal {}, streamline {}; the outputs show it as it is",
                    i, j));
                return fmt::format("Error: the solution is not finite at quasi-normal {}, streamline {}", i, j);
            }
        }
    }
    for (int i = 1; i <= ms.number_of_quasinormals; ++i) {
        for (int j = 1; j <= ms.number_of_streamlines; ++j) {
            if (ff.cm(i, j) > 0.0) continue;
            console::warn(fmt::format("WARNING: the meridional velocity is not positive at quasi-normal {}, streamline "
                                      "{}; the outputs show it as it is",
                                      i, j));
            return fmt::format("Error: the meridional velocity is not positive at quasi-normal {}, streamline {}", i,
                               j);
        }
    }
    return "";
}

}  // namespace

void quorl_job_t::init() {
    load_machine_description(table);
    const int n = read_number_of_streamlines(table);
    // An absurd streamline count: say so before the allocator fails (or the machine swaps).
    const std::string too_large =
        fmt::format("ERROR: number_of_streamlines in [solver] is too large: no memory for {} streamlines", n);
    if (!arrays_fit_in_memory(n)) fatal(too_large);
    try {
        create_mesh(n);
        check_flow_order();
        init_flowfield(table);
    } catch (const std::bad_alloc&) {
        fatal(too_large);
    }
    set_inlet_state();
    flowfield_state& ff = flowfield();
    redistribute_streamlines_at_quasinormal(1, ff.rho, ff.cm, 1.0);
    recalculate_mesh_parameters();
    for (int sweep_count = 1; sweep_count <= startup_sweeps; ++sweep_count)
        sweep(solve_simplified_equilibrium_at_qnormal, 0.5);
}

void quorl_job_t::run() {
    for (int sweep_count = 1; sweep_count <= main_sweeps; ++sweep_count)
        sweep(solve_full_equilibrium_at_qnormal, 0.2);
    solution_fault = check_solution();
}

}  // namespace quorl
